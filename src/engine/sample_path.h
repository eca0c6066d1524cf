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

// A NaN that reached a stage would stay in its memory for good and silence
// the instance. Every NaN inside the filter shows in the output (clamps keep
// the memories finite otherwise), so one test of the output, off the
// feedback path, catches it: a non-finite or overflowing frame (a non-finite
// input sample, or a feedback gain so large that the input step overflows)
// comes out as silence and the filter restarts from rest.
inline float recover_from_overflow(FilterEngine& e)
{
    for (Stage& st : e.stage) st.state = 0.0f;
    e.feedback_sample = 0.0f;
    return 0.0f;
}

inline float process_sample(FilterEngine& e, float s)
{
    float x = s;
    if (e.feedback_gain != 0.0f) {
        const float gain = std::fma(e.feedback_gain, e.input_comp, 1.0f);
        const float fb = (e.feedback_gain * e.feedback_sample) * e.feedback_factor;
        x = std::fma(s, gain, -fb);
    }
    float y[5];
    y[0] = x;
    for (int k = 0; k < 4; ++k) {
        Stage& st = e.stage[k];
        y[k + 1] = clamp_unit(std::fma(st.coef, st.state - y[k], y[k]));
        st.state = y[k + 1];
    }
    e.feedback_sample = y[4];
    const float* c = e.mix_coef;
    const float p = std::fma(c[0], x, -(c[1] * y[1]));
    const float q = std::fma(c[2], y[2], -(c[3] * y[3]));
    const float filtered = std::fma(c[4], y[4], q + p);
    const float out = std::fma(s, e.dry_gain, filtered * e.wet_gain);
    if (!(std::fabs(out) <= 3.40282347e38f)) [[unlikely]]
        return recover_from_overflow(e);
    return out;
}

} // namespace zt
