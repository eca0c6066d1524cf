#pragma once
// Control slots. Four controls glide to their port value by a linear ramp
// stepped once per block; the other five reach the engine when they change.
#include <cstdint>
#include <limits>

namespace zt {

struct Smoother {
    uint64_t interval;  // blocks between steps
    uint64_t counter;   // blocks since the last step
    float target;       // where the ramp heads (the port value)
    float current;      // the ramp's present value, handed to the engine
    float step;         // largest change of current per step
};

// Starts just off the initial value, so the first block always hands a
// value to the engine.
inline Smoother make_smoother(float v, float step)
{
    return Smoother{1, 0, v, v * 0.9999f, step};
}

// One block. Returns true when current moved (and must reach the engine).
// The last step lands exactly on the target, never past it.
inline bool smoother_step(Smoother& s)
{
    if (++s.counter < s.interval) return false;
    s.counter = 0;
    if (s.current == s.target) return false;
    if (s.current < s.target) {
        s.current = s.current + s.step;
        if (s.current >= s.target) s.current = s.target;
    } else {
        s.current = s.current - s.step;
        if (s.current <= s.target) s.current = s.target;
    }
    return true;
}

struct SmoothedParam {
    const float* port;
    Smoother smoother;
};

struct PlainParam {
    const float* port;
    float last;  // port value at the previous intake
};

// An empty `last`: NaN compares unequal to every value, so the first intake
// always counts as a change.
constexpr float kNoValue = std::numeric_limits<float>::quiet_NaN();

// Initial values and per-block steps of the four ramps.
constexpr float kMixStep = 0x1.555556p-1f;      // bits 0x3F2AAAAB, 2/3: full range in 3 blocks
constexpr float kRateStep = 0.053f;             // Hz per block
constexpr float kCenterStep = 0x1.3eeeeep+4f;   // bits 0x419F7777, 19.933332 Hz per block
constexpr float kOctavesStep = 0x1.b4e81cp-6f;  // bits 0x3CDA740E, 0.026666667 octave per block

} // namespace zt
