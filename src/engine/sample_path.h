#pragma once
// One input sample to one output sample:
//   x  = s*(1 + g*comp) - g*fb*factor          (resonance feedback, g = 2*resonance)
//   yk = clamp(y(k-1) + coef*(state_k - y(k-1)), -1, 1),  k = 1..4, y0 = x
//   out = s*dry + (c0*x - c1*y1 + c2*y2 - c3*y3 + c4*y4)*wet
// The fused multiply-adds stand exactly where the results are defined with a
// single rounding; every other operation rounds on its own.
#include <cmath>

#include "filter_engine.h"

namespace zt {

// NaN passes the clamp unchanged.
inline float clamp_unit(float v)
{
    if (v > 1.0f) return 1.0f;
    if (v < -1.0f) return -1.0f;
    return v;
}

// What the sample path reads and writes, copied out of the engine so that a
// run of frames keeps it in registers: the output buffer may alias any float
// of the engine as far as the compiler knows, so working on the engine's
// fields directly would reload and store all of them every frame. Stage 4's
// output is the loop-carried value; everything else is constant for the run.
struct SampleRegs {
    float coef[4];
    float state[4];
    float feedback_sample;
    float feedback_gain;
    float input_gain;       // 1 + feedback_gain * input_comp, one rounding
    float feedback_factor;
    float mix_coef[5];
    float dry_gain;
    float wet_gain;
};

inline SampleRegs load_sample_regs(const FilterEngine& e)
{
    SampleRegs r;
    for (int k = 0; k < 4; ++k) {
        r.coef[k] = e.stage[k].coef;
        r.state[k] = e.stage[k].state;
    }
    r.feedback_sample = e.feedback_sample;
    r.feedback_gain = e.feedback_gain;
    r.input_gain = std::fma(e.feedback_gain, e.input_comp, 1.0f);
    r.feedback_factor = e.feedback_factor;
    for (int k = 0; k < 5; ++k) r.mix_coef[k] = e.mix_coef[k];
    r.dry_gain = e.dry_gain;
    r.wet_gain = e.wet_gain;
    return r;
}

// Only the memories change while frames run.
inline void store_memories(FilterEngine& e, const SampleRegs& r)
{
    for (int k = 0; k < 4; ++k) e.stage[k].state = r.state[k];
    e.feedback_sample = r.feedback_sample;
}

inline void load_memories(SampleRegs& r, const ChannelMemory& m)
{
    for (int k = 0; k < 4; ++k) r.state[k] = m.state[k];
    r.feedback_sample = m.feedback_sample;
}

inline void store_memories(ChannelMemory& m, const SampleRegs& r)
{
    for (int k = 0; k < 4; ++k) m.state[k] = r.state[k];
    m.feedback_sample = r.feedback_sample;
}

// A NaN that reached a stage would stay in its memory for good and silence
// the instance. Every NaN inside the filter shows in the output (clamps keep
// the memories finite otherwise), so one test of the output, off the
// feedback path, catches it: a non-finite or overflowing frame (a non-finite
// input sample, or a feedback gain so large that the input step overflows)
// comes out as silence and the filter restarts from rest.
inline float recover_from_overflow(SampleRegs& r)
{
    for (float& st : r.state) st = 0.0f;
    r.feedback_sample = 0.0f;
    return 0.0f;
}

// One frame. Feedback is feedback_gain != 0; a zero gain skips the term
// entirely, so x is exactly s and the stages of successive frames overlap.
template <bool Feedback>
inline float sample_step(SampleRegs& r, float s)
{
    float x = s;
    if constexpr (Feedback) {
        const float fb = (r.feedback_gain * r.feedback_sample) * r.feedback_factor;
        x = std::fma(s, r.input_gain, -fb);
    }
    float y[5];
    y[0] = x;
    for (int k = 0; k < 4; ++k) {
        y[k + 1] = clamp_unit(std::fma(r.coef[k], r.state[k] - y[k], y[k]));
        r.state[k] = y[k + 1];
    }
    r.feedback_sample = y[4];
    const float* c = r.mix_coef;
    const float p = std::fma(c[0], x, -(c[1] * y[1]));
    const float q = std::fma(c[2], y[2], -(c[3] * y[3]));
    const float filtered = std::fma(c[4], y[4], q + p);
    const float out = std::fma(s, r.dry_gain, filtered * r.wet_gain);
    if (!(std::fabs(out) <= 3.40282347e38f)) [[unlikely]]
        return recover_from_overflow(r);
    return out;
}

inline float process_sample(FilterEngine& e, float s)
{
    SampleRegs r = load_sample_regs(e);
    const float out = (e.feedback_gain != 0.0f) ? sample_step<true>(r, s) : sample_step<false>(r, s);
    store_memories(e, r);
    return out;
}

} // namespace zt
