// FilterEngine defaults and setters: exact numbers, conversions at the edges,
// and the rule that a setter given its stored value does nothing at all.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "engine/filter_engine.h"

using namespace zt;

namespace {
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();
uint32_t bits(float f) { return std::bit_cast<uint32_t>(f); }
}  // namespace

TEST(Defaults, PlainLowPassAt220HzWithItsBand)
{
    const FilterEngine e;
    FilterEngine f;  // the default coefficient is the one the formula gives
    update_coefficients(f);
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(bits(e.stage[k].coef), 0x3F78BB9Du);  // 0.97161275
        EXPECT_EQ(f.stage[k].coef, e.stage[k].coef);
    }
    const float weights[5] = {0, 0, 0, 0, 1};
    EXPECT_EQ(std::memcmp(e.mix_coef, weights, sizeof weights), 0);
    EXPECT_EQ(e.feedback_factor, 1.0f);
    EXPECT_EQ(e.input_comp, 0.0f);
    EXPECT_EQ(e.feedback_gain, 1.4f);
    EXPECT_EQ(e.period, 6000);
    EXPECT_EQ(e.freq_ratio, 4.0f);
}

TEST(Setters, MixIsAnEqualPowerCrossfade)
{
    struct Case { float v, dry, wet; };
    const Case cases[] = {
        {-1.0f, 1.0f, 0.0f},
        {-0.5f, 0.92387953f, 0.38268343f},
        {0.5f, 0.38268343f, 0.92387953f},  // theta = pi/8
        {1.0f, 0.0f, 1.0f},
    };
    for (const Case& c : cases) {
        FilterEngine e;
        e.mix = 7.0f;  // so that 1.0 is a change
        set_mix(e, c.v);
        EXPECT_EQ(e.mix, c.v);
        EXPECT_NEAR(e.dry_gain, c.dry, 2e-7) << c.v;
        EXPECT_NEAR(e.wet_gain, c.wet, 2e-7) << c.v;
    }
    FilterEngine e;  // sin 0 and cos 0 are exact: both gains are the constant
    set_mix(e, 0.0f);
    EXPECT_EQ(bits(e.dry_gain), 0x3F3504F3u);
    EXPECT_EQ(bits(e.wet_gain), 0x3F3504F3u);
}

// The period truncates and saturates; a change of rate rewrites the divisor
// of a running glide (1 when the period is not positive and below the
// frames remaining) but never the countdown.
TEST(Setters, RatePeriodAndGlideLength)
{
    struct Case { float v; int32_t remaining, period, length; };
    const Case cases[] = {
        {7.0f, 0, 6857, 6857},
        {0.0f, 0, INT32_MAX, INT32_MAX},   // 48000 / 0 = +inf
        {1e-6f, 0, INT32_MAX, INT32_MAX},
        {48001.0f, 0, 0, 0},
        {48001.0f, 5, 0, 1},
        {-8.0f, 0, -6000, 1},
        {-8.0f, -3, -6000, 1},
        {-8.0f, -7000, -6000, -6000},
        {-0.0f, 0, INT32_MIN, 1},          // 48000 / -0 = -inf
        {kNaN, 12, 0, 1},
        {kNaN, -12, 0, 0},
    };
    for (const Case& c : cases) {
        FilterEngine e;
        e.glide_remaining = c.remaining;
        set_rate(e, c.v);
        EXPECT_EQ(bits(e.rate_hz), bits(c.v));
        EXPECT_EQ(e.period, c.period) << c.v;
        EXPECT_EQ(e.glide_length, c.length) << c.v << " " << c.remaining;
        EXPECT_EQ(e.glide_remaining, c.remaining);
        EXPECT_EQ(e.countdown, 100);
    }
    FilterEngine e;  // the glide setters apply the same rule
    e.period = -10;
    e.glide_remaining = -3;
    set_glide_up(e, 0.5f);
    EXPECT_EQ(e.glide_up, 0.5f);
    EXPECT_EQ(e.glide_length, 1);
    e.glide_remaining = -20;
    set_glide_down(e, 0.2f);
    EXPECT_EQ(e.glide_down, 0.2f);
    EXPECT_EQ(e.glide_length, -10);
}

TEST(Setters, ShapeTruncatesTowardZeroAndSaturates)
{
    struct Case { float v; int32_t shape; };
    const Case cases[] = {
        {2.9f, 2}, {-0.5f, 0}, {-1.5f, -1}, {4.0f, 4}, {kNaN, 0},
        {2147483520.0f, 2147483520}, {3e9f, INT32_MAX}, {-3e9f, INT32_MIN}, {-kInf, INT32_MIN},
    };
    for (const Case& c : cases) {
        FilterEngine e;
        set_shape(e, c.v);
        EXPECT_EQ(e.shape, c.shape) << c.v;
        EXPECT_EQ(bits(e.shape_value), bits(c.v));
    }
}

// The coefficient constant is -2 pi / 48000 with 2 pi rounded to float
// first; the correctly rounded constant gives other bits at these cutoffs.
TEST(Setters, ResonanceSetsFeedbackAndRecomputesCoefficients)
{
    struct Case { float cutoff; uint32_t coef; };
    const Case cases[] = {
        {440.0f, 0x3F71AC0Au}, {1000.0f, 0x3F60971Cu}, {5000.0f, 0x3F050B3Bu}, {20000.0f, 0x3D95664Fu},
    };
    for (const Case& c : cases) {
        FilterEngine e;
        e.cutoff_hz = c.cutoff;
        for (Stage& s : e.stage) s.state = 0.25f;
        set_resonance(e, 0.25f);
        EXPECT_EQ(e.feedback_gain, 0.5f);
        for (const Stage& s : e.stage) {
            EXPECT_EQ(bits(s.coef), c.coef) << c.cutoff;
            EXPECT_EQ(s.state, 0.25f);
        }
    }
    FilterEngine e;
    set_resonance(e, 0.0f);
    EXPECT_EQ(e.feedback_gain, 0.0f);
}

// A band whose bottom is not a positive finite number, or whose ratio is
// NaN, is refused: the setter keeps the value, the previous band stays.
TEST(Setters, CenterAndOctavesSetTheBand)
{
    struct Case { float center, octaves, low, high, ratio; };
    const Case cases[] = {
        {1000.0f, 0.0f, 1000.0f, 1000.0f, 1.0f},
        {1000.0f, 3.0f, 353.55339059f, 2828.4271247f, 8.0f},  // 1000 * 2^(-/+1.5)
        {440.0f, -2.0f, 880.0f, 220.0f, 0.25f},
        {0.0f, 2.0f, 220.0f, 880.0f, 4.0f},
        {-100.0f, 2.0f, 220.0f, 880.0f, 4.0f},
        {kNaN, 2.0f, 220.0f, 880.0f, 4.0f},
        {kInf, 2.0f, 220.0f, 880.0f, 4.0f},
        {440.0f, kNaN, 220.0f, 880.0f, 4.0f},
        {440.0f, 400.0f, 220.0f, 880.0f, 4.0f},  // bottom underflows to 0
    };
    for (const Case& c : cases) {
        FilterEngine e;
        set_center(e, c.center);
        set_octaves(e, c.octaves);
        EXPECT_EQ(bits(e.center_hz), bits(c.center));
        EXPECT_EQ(bits(e.octaves), bits(c.octaves));
        EXPECT_EQ(bits(e.octaves_down), bits(c.octaves * 0.5f));
        EXPECT_EQ(bits(e.octaves_up), bits(c.octaves * 0.5f));
        EXPECT_EQ(e.freq_low, c.low) << c.center << " " << c.octaves;
        EXPECT_EQ(e.freq_high, c.high) << c.center << " " << c.octaves;
        EXPECT_EQ(e.freq_ratio, c.ratio) << c.center << " " << c.octaves;
        EXPECT_EQ(e.cutoff_hz, 220.0f);  // the next glide step uses the band
        EXPECT_EQ(bits(e.stage[0].coef), 0x3F78BB9Du);
    }
}

// Each setter, given the value it holds, leaves every field alone (even
// derived ones poked out of step); given another value, it acts.
TEST(Setters, EqualValueChangesNothing)
{
    struct Case {
        void (*set)(FilterEngine&, float);
        void (*poke)(FilterEngine&);
        float held, other;
    };
    const Case cases[] = {
        {set_mix, [](FilterEngine& e) { e.dry_gain = 5.0f; }, 1.0f, 0.5f},
        {set_rate, [](FilterEngine& e) { e.period = 1; }, 8.0f, 7.0f},
        {set_glide_down, [](FilterEngine& e) { e.glide_length = 3; }, 0.01f, 0.02f},
        {set_glide_up, [](FilterEngine& e) { e.glide_length = 3; }, 0.01f, 0.02f},
        {set_shape, [](FilterEngine& e) { e.shape = 3; }, 0.0f, 1.0f},
        {set_resonance, [](FilterEngine& e) { e.stage[2].coef = 0.5f; }, 0.7f, 0.6f},
        {set_center, [](FilterEngine& e) { e.freq_low = 1.0f; }, 440.0f, 450.0f},
        {set_octaves, [](FilterEngine& e) { e.freq_ratio = 9.0f; }, 2.0f, 3.0f},
        {set_type, [](FilterEngine& e) { e.mix_coef[0] = 7.0f; }, 0.0f, 1.0f},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        FilterEngine e;
        cases[i].poke(e);
        const FilterEngine before = e;
        cases[i].set(e, cases[i].held);
        EXPECT_EQ(std::memcmp(&e, &before, sizeof e), 0) << "setter " << i;
        cases[i].set(e, cases[i].other);
        EXPECT_NE(std::memcmp(&e, &before, sizeof e), 0) << "setter " << i;
    }
}
