// The random cutoff modulator on a bare engine: events, shapes, glides and
// the unusual glide lengths.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>

#include "gen_util.h"

namespace zt::test {
namespace {

constexpr float kU0 = 120960 * 0x1p-24f;  // the first two draws after load
constexpr float kU2 = 132480 * 0x1p-24f;  // the third

float cutoff_for(const FilterEngine& e, float m)
{
    return static_cast<float>(e.freq_low * std::pow(static_cast<double>(e.freq_ratio), static_cast<double>(m)));
}

// A new engine fires its first event on frame 100; each shape's first target
// and the draws it took, and a 60-frame glide (1 % of the 8 Hz period).
TEST(Modulator, FirstTargetByShape)
{
    const struct {
        float shape, target;
        double about;
        int draws, skip = 0;
    } rows[] = {
        {0, kU0, 0.0072098, 1},
        {1, static_cast<float>(1.1 - static_cast<double>(0.4f * kU0)), 1.0971, 1},
        {2, kU2 * (kU0 * kU0), 4.1e-7, 3},
        {3, kU2 * (kU0 * kU0), 4.1e-7, 3},
        {4, std::fma(kU0, kU0 - 0.5f, 0.5f), 0.4964, 1},
        // Later draws where another rounding or grouping gives other bits:
        // 1.1f - x in float (0.901636541), (r2 * r1) * r0 (2.688839e-06), and
        // the product rounded on its own (0.895285964).
        {1, 0.901636481f, 0.9016, 1, 5},
        {2, 2.68883878e-06f, 2.6888e-6, 3, 3},
        {4, 0.895286024f, 0.8953, 1, 21},
        {5, 1.0f, 1.0, 0},  // unknown shapes keep the target and draw nothing
        {-1, 1.0f, 1.0, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.shape);
        g_random = advanced(row.skip);
        FilterEngine e;
        set_shape(e, row.shape);
        frames(e, 99);
        EXPECT_EQ(e.target, 1.0f);
        EXPECT_TRUE(same(g_random, advanced(row.skip)));
        frames(e, 1);
        EXPECT_EQ(bits(e.target), bits(row.target));
        EXPECT_NEAR(e.target, row.about, 1e-4);
        EXPECT_TRUE(same(g_random, advanced(row.skip + row.draws)));
        EXPECT_EQ(e.countdown, 6000);
        EXPECT_EQ(e.glide_remaining, 60);
        EXPECT_EQ(e.glide_length, 60);
    }
}

TEST(Modulator, AlternatingShapeSwingsAndKeepsItsPhase)
{
    g_random = kRandomStart;
    FilterEngine e;
    set_shape(e, 1);
    for (int k = 1; k <= 7; ++k) {
        frames(e, k == 1 ? 100 : 6000);
        if (k % 2) EXPECT_GT(e.target, 0.7f) << k;
        else EXPECT_LT(e.target, 0.4f) << k;
        if (k == 2) EXPECT_NEAR(e.target, 0.0029, 1e-4);
    }
    // An event of another shape in between leaves the phase alone: after
    // seven events the next alternating one is low.
    set_shape(e, 0);
    frames(e, 6000);
    set_shape(e, 1);
    frames(e, 6000);
    EXPECT_LT(e.target, 0.4f);
}

// Every glide frame: m = target + (((settled - target) * remaining) / length),
// each operation rounded to float, then the power in double. (With this
// glide, grouping remaining / length first or working in double changes the
// cutoff of several frames.)
TEST(Modulator, GlideInterpolatesFrameByFrameThenHolds)
{
    g_random = kRandomStart;
    FilterEngine e;
    set_shape(e, 1);
    frames(e, 100);
    ASSERT_EQ(e.glide_remaining, 60);
    const float t = e.target, s = e.settled;
    for (int k = 1; k <= 60; ++k) {
        frames(e, 1);
        const float m = t + (((s - t) * static_cast<float>(60 - k)) / 60.0f);
        ASSERT_EQ(bits(e.cutoff_hz), bits(cutoff_for(e, m))) << k;
        ASSERT_EQ(e.stage[3].coef, expf(e.cutoff_hz * kCoefScale)) << k;
    }
    EXPECT_EQ(e.settled, t);
    EXPECT_EQ(e.glide_remaining, 0);
    // Between glides nothing recomputes the cutoff or the coefficients.
    e.cutoff_hz = -1.0f;
    for (Stage& st : e.stage) st.coef = 0.25f;
    frames(e, 5900);
    EXPECT_EQ(e.cutoff_hz, -1.0f);
    for (const Stage& st : e.stage) EXPECT_EQ(st.coef, 0.25f);
}

// Fractions giving a glide length of 0: nothing moves, settled stays.
TEST(Modulator, ZeroLengthGlideChangesNothing)
{
    for (float fraction : {0.0f, 0.0001f}) {  // 6000 * 0.0001 = 0.6 truncates to 0
        g_random = kRandomStart;
        FilterEngine e;
        set_glide_down(e, fraction);  // the first target falls below settled
        e.cutoff_hz = 300.0f;
        frames(e, 150);
        EXPECT_EQ(e.target, kU0);
        EXPECT_EQ(e.glide_remaining, 0);
        EXPECT_EQ(e.settled, 0.5f);
        EXPECT_EQ(e.cutoff_hz, 300.0f);
        EXPECT_EQ(e.stage[0].coef, FilterEngine{}.stage[0].coef);
    }
}

// A glide longer than the period is abandoned at the next event, which glides
// again from settled: the cutoff jumps back to where the first glide began.
TEST(Modulator, GlideLongerThanThePeriodRestartsFromSettled)
{
    g_random = kRandomStart;
    FilterEngine e;
    set_glide_down(e, 2.0f);
    frames(e, 101);
    ASSERT_EQ(e.glide_remaining, 11999);
    const float first_frame = e.cutoff_hz;
    frames(e, 5998);
    EXPECT_LT(e.cutoff_hz, first_frame * 0.8f);
    EXPECT_EQ(e.settled, 0.5f);
    frames(e, 1);  // the second event; its target equals the first (same draw)
    EXPECT_EQ(e.glide_remaining, 12000);
    frames(e, 1);
    EXPECT_EQ(e.cutoff_hz, first_frame);
}

// A negative glide counts away from 0 and never completes: m runs past
// settled, away from the target. A period of 0 set meanwhile leaves a divisor
// of 0, and the cutoff then holds.
TEST(Modulator, NegativeGlideRunsAwayAndZeroDivisorHolds)
{
    FilterEngine e;
    set_glide_down(e, -0.01f);
    frames(e, 100);
    EXPECT_EQ(e.glide_remaining, -60);
    float last = cutoff_for(e, e.settled);
    for (int k = 1; k <= 50; ++k) {
        frames(e, 1);
        ASSERT_GT(e.cutoff_hz, last) << k;
        last = e.cutoff_hz;
    }
    EXPECT_EQ(e.glide_remaining, -110);
    EXPECT_EQ(e.settled, 0.5f);

    set_rate(e, 96000.0f);  // period 48000 / 96000 truncates to 0
    ASSERT_EQ(e.period, 0);
    ASSERT_EQ(e.glide_length, 0);
    frames(e, 20);
    EXPECT_EQ(e.cutoff_hz, last);
    EXPECT_EQ(e.glide_remaining, -130);
}

// The counters wrap like two's-complement integers at the 32-bit limit.
TEST(Modulator, CountersWrapAtTheLimit)
{
    FilterEngine e;
    e.glide_remaining = INT_MIN;
    e.glide_length = INT_MAX;
    e.countdown = INT_MIN;
    frames(e, 1);
    EXPECT_EQ(e.glide_remaining, INT_MAX);
    EXPECT_EQ(e.countdown, INT_MAX);
    EXPECT_EQ(e.target, 1.0f);  // no event
    EXPECT_TRUE(std::isfinite(e.cutoff_hz));
}

// With no band the event sets the cutoff to the centre, and glides stay there.
TEST(Modulator, ZeroOctavesPinTheCutoffToTheCentre)
{
    g_random = kRandomStart;
    FilterEngine e;
    set_octaves(e, 0.0f);
    set_glide_down(e, 0.0f);
    e.cutoff_hz = 1000.0f;
    frames(e, 100);
    EXPECT_EQ(e.cutoff_hz, 440.0f);
    set_glide_up(e, 0.5f);
    set_shape(e, 1);  // the next target is high: a rising 3000-frame glide
    frames(e, 6000);
    e.cutoff_hz = 1000.0f;
    frames(e, 50);
    EXPECT_EQ(e.glide_remaining, 2950);
    EXPECT_EQ(e.cutoff_hz, 440.0f);
}

// A new rate applies from the next event; the running countdown is kept.
TEST(Modulator, RateChangeKeepsTheRunningCountdown)
{
    FilterEngine e;
    set_shape(e, 5);
    set_rate(e, 1.0f);
    frames(e, 100);
    ASSERT_EQ(e.countdown, 48000);
    set_rate(e, 10.0f);
    EXPECT_EQ(e.countdown, 48000);
    frames(e, 47999);
    EXPECT_EQ(e.countdown, 1);
    frames(e, 1);
    EXPECT_EQ(e.countdown, 4800);
}

} // namespace
} // namespace zt::test
