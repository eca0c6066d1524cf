#pragma once
// The response types: all four stages are always the same one-pole low-pass;
// a row weights the input and the stage outputs into the output and sets how
// strongly the feedback acts. The output mixture uses alternating signs,
//   filtered = c0*x - c1*y1 + c2*y2 - c3*y3 + c4*y4,
// so the binomial rows of (1 - L)^n are high-passes.
#include <cstddef>
#include <cstdint>

namespace zt {

struct ResponseType {
    float mix_coef[5];      // c0 (feedback-adjusted input) ... c4 (stage 4)
    float feedback_factor;  // scales the fed-back stage-4 output
    float input_comp;       // input gain is 1 + feedback_gain * input_comp
    char name[32];          // label; not read by the engine
    uint32_t category;      // groups the rows; not read by the engine
};

constexpr size_t kResponseTypeCount = 40;

extern const ResponseType kResponseTypes[kResponseTypeCount];

} // namespace zt
