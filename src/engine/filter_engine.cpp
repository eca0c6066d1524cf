#include "filter_engine.h"

#include <cmath>

#include "response_types.h"
#include "../support/float_convert.h"

namespace zt {

namespace {

// A rate, glide_up or glide_down change replaces the divisor of a running
// glide by the period, which may leave it at 0 (see glide_step).
void apply_glide_length_rule(FilterEngine& e)
{
    e.glide_length = (e.period <= 0 && e.period < e.glide_remaining) ? 1 : e.period;
}

} // namespace

void set_mix(FilterEngine& e, float v)
{
    if (v == e.mix) return;
    e.mix = v;
    // Equal-power crossfade: theta in [-pi/4, pi/4] rotates (1, 1)/sqrt2.
    const float theta = static_cast<float>(static_cast<double>(v) * 0.7853981633974483);
    float s, c;
    sincosf(theta, &s, &c);
    e.dry_gain = (c - s) * 0.70710677f;
    e.wet_gain = (c + s) * 0.70710677f;
}

void set_rate(FilterEngine& e, float v)
{
    if (v == e.rate_hz) return;
    e.rate_hz = v;
    e.period = to_i32(static_cast<float>(kEngineRate) / v);
    apply_glide_length_rule(e);
}

void set_glide_down(FilterEngine& e, float v)
{
    if (v == e.glide_down) return;
    e.glide_down = v;
    apply_glide_length_rule(e);
}

void set_glide_up(FilterEngine& e, float v)
{
    if (v == e.glide_up) return;
    e.glide_up = v;
    apply_glide_length_rule(e);
}

void set_shape(FilterEngine& e, float v)
{
    if (v == e.shape_value) return;
    e.shape_value = v;
    e.shape = to_i32(v);
}

void set_resonance(FilterEngine& e, float v)
{
    if (v == e.resonance) return;
    e.resonance = v;
    e.feedback_gain = v + v;
    update_coefficients(e);
}

void set_center(FilterEngine& e, float v)
{
    if (v == e.center_hz) return;
    e.center_hz = v;
    update_band(e);
}

void set_octaves(FilterEngine& e, float v)
{
    if (v == e.octaves) return;
    e.octaves = v;
    e.octaves_down = v * 0.5f;
    e.octaves_up = v * 0.5f;
    update_band(e);
}

void set_type(FilterEngine& e, float v)
{
    if (v == e.type_value) return;
    e.type_value = v;
    const uint64_t i = to_u64(v);
    if (i >= kResponseTypeCount) return;  // keeps the previous row in force
    const ResponseType& row = kResponseTypes[i];
    for (int k = 0; k < 5; ++k) e.mix_coef[k] = row.mix_coef[k];
    e.feedback_factor = row.feedback_factor;
    e.input_comp = row.input_comp;
}

// The band is exponential: cutoff = freq_low * freq_ratio^m for m in 0 ... 1.
// A band whose bottom is not a positive finite number (centre 0 or below,
// hundreds of octaves) would put NaN or coefficients above 1 into the stages
// for good, so such a band is refused and the previous one stays in force.
void update_band(FilterEngine& e)
{
    const double c = e.center_hz;
    const float low = static_cast<float>(c * std::pow(2.0, -static_cast<double>(e.octaves_down)));
    const float high = static_cast<float>(c * std::pow(2.0, static_cast<double>(e.octaves_up)));
    const float ratio = high / low;
    if (!(low > 0.0f && std::isfinite(low)) || std::isnan(ratio)) return;
    e.freq_low = low;
    e.freq_high = high;
    e.freq_ratio = ratio;
}

void update_coefficients(FilterEngine& e)
{
    const float k = expf(e.cutoff_hz * kCoefScale);
    for (Stage& s : e.stage) s.coef = k;
}

} // namespace zt
