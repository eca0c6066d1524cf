#pragma once
// The loop-carried part of the filter and nothing else: the feedback term
// (two multiplies and a fused multiply-add) and four stages of subtract,
// fused multiply-add and clamp, with every value held in registers. No frame
// can start before the previous one has finished this chain, so its time per
// frame is the floor for the plugin's run; the benchmarks measure both in the
// same process and report the ratio.
#include <cstdint>

namespace zt::bench {

struct FloorState {
    float feedback = 0.0f;
    float stage[4] = {0.0f, 0.0f, 0.0f, 0.0f};
};

struct FloorParams {
    float coef;             // the same for all four stages, as in the plugin
    float feedback_gain;
    float feedback_factor;
    float input_gain;       // 1 + feedback_gain * input_comp
};

// Writes stage 4's output per frame so that nothing can be left out.
void floor_kernel(FloorState& st, const FloorParams& p, const float* in, float* out, uint32_t n);

} // namespace zt::bench
