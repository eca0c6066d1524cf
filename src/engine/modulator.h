#pragma once
// Random cutoff modulation: a sample-and-hold clocked every `period` frames,
// gliding to each new value over a fraction of the period, mapped onto the
// band as cutoff = freq_low * freq_ratio^m (evenly in octaves).
#include <cmath>

#include "filter_engine.h"
#include "sample_path.h"
#include "../support/float_convert.h"
#include "../support/random_gen.h"

namespace zt {

enum : int32_t {
    SHAPE_UNIFORM = 0,
    SHAPE_ALTERNATING = 1,
    SHAPE_PRODUCT3 = 2,
    SHAPE_PRODUCT3_ALT = 3,
    SHAPE_UPPER = 4,
};

// The modulation value of a glide frame, given the glide count after that
// frame's step (0 on the frame that completes the glide). Evaluated left to
// right, each step rounded to float:
//   m = target + ((settled - target) * remaining) / length.
inline float glide_position(const FilterEngine& e, int32_t remaining)
{
    if (remaining == 0) return e.target;
    return e.target + (((e.settled - e.target) * static_cast<float>(remaining)) /
                       static_cast<float>(e.glide_length));
}

// cutoff = freq_low * freq_ratio^m: the power and the product in double,
// rounded to float once.
inline float band_cutoff(float freq_low, float freq_ratio, float m)
{
    return static_cast<float>(static_cast<double>(freq_low) *
                              std::pow(static_cast<double>(freq_ratio), static_cast<double>(m)));
}

// The stage coefficient for a cutoff, as update_coefficients computes it.
inline float cutoff_coef(float cutoff_hz) { return expf(cutoff_hz * kCoefScale); }

// Before the sample path: one step of a running glide.
inline void glide_step(FilterEngine& e)
{
    if (e.glide_remaining == 0) return;
    e.glide_remaining = wrapping_dec(e.glide_remaining);
    if (e.glide_remaining == 0) {
        e.settled = e.target;
    } else if (e.glide_length == 0) {
        // A rate change to a period of 0 during a glide of negative length
        // leaves no divisor: the cutoff holds until the glide is replaced.
        return;
    }
    e.cutoff_hz = band_cutoff(e.freq_low, e.freq_ratio, glide_position(e, e.glide_remaining));
    e.feedback_gain = e.resonance + e.resonance;
    update_coefficients(e);
}

inline float draw_target(FilterEngine& e, RandomCall& rng)
{
    switch (e.shape) {
    case SHAPE_UNIFORM:
        return draw_unit(rng);
    case SHAPE_ALTERNATING: {
        e.toggle = (e.toggle == 1) ? 0 : e.toggle + 1;
        const float low = 0.4f * draw_unit(rng);
        if (e.toggle == 0) return low;
        return static_cast<float>(1.1 - static_cast<double>(low));
    }
    case SHAPE_PRODUCT3:
    case SHAPE_PRODUCT3_ALT: {
        const float r0 = draw_unit(rng);
        const float r1 = draw_unit(rng);
        const float r2 = draw_unit(rng);
        return r2 * (r1 * r0);  // leans towards 0
    }
    case SHAPE_UPPER: {
        const float r = draw_unit(rng);
        return std::fma(r, r - 0.5f, 0.5f);  // in [0.4375, 1)
    }
    default:
        return e.target;  // unknown shape: no draw, target unchanged
    }
}

// A new glide from settled to target; its length depends on the direction.
inline void begin_glide(FilterEngine& e)
{
    const float frac = (e.settled < e.target) ? e.glide_up : e.glide_down;
    const int32_t length = to_i32(static_cast<float>(e.period) * frac);
    e.glide_remaining = length;
    e.glide_length = length;
}

// After the sample path: the clock. The event fires on the frame whose
// countdown reaches 0 (or below, for a period that is not positive).
inline void modulator_tick(FilterEngine& e, RandomCall& rng)
{
    e.countdown = wrapping_dec(e.countdown);
    if (e.countdown > 0) return;
    e.countdown = e.period;
    if (e.octaves_down == 0.0f && e.octaves_up == 0.0f) e.cutoff_hz = e.center_hz;
    e.target = draw_target(e, rng);
    begin_glide(e);
}

inline float process_frame(FilterEngine& e, RandomCall& rng, float s)
{
    glide_step(e);
    const float y = process_sample(e, s);
    modulator_tick(e, rng);
    return y;
}

} // namespace zt
