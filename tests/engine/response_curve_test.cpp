// The closed-form response the window draws, against the sample path itself:
// an impulse too small for any clamp to act, run through process_sample,
// measured at the third-octave points by a direct Fourier sum.
#include <gtest/gtest.h>

#include <cmath>

#include "engine/response_curve.h"
#include "engine/response_types.h"
#include "engine/sample_path.h"

namespace zt {
namespace {

constexpr int kPoints = 31;        // 20 Hz ... 20 kHz in thirds of an octave
constexpr int kLength = 1 << 16;   // long enough for the slowest decay tested
constexpr float kImpulse = 1e-4f;
constexpr int kOfferedRows = 37;

double third_octave(int i) { return 1000.0 * std::pow(10.0, (i - 17) / 10.0); }

FilterEngine engine_for(int row, float resonance, float mix, float cutoff_hz)
{
    FilterEngine e;
    set_type(e, 39.0f);  // a fresh engine ignores a first type equal to its own 0
    set_type(e, static_cast<float>(row));
    set_resonance(e, resonance);
    set_mix(e, mix);
    e.cutoff_hz = cutoff_hz;
    update_coefficients(e);
    return e;
}

// Levels in dB at the third-octave points, from the impulse response. Returns
// false when the response has not died away by the end of the run.
bool measured_levels(FilterEngine e, double* level_db)
{
    double re[kPoints] = {}, im[kPoints] = {};
    double rot_re[kPoints], rot_im[kPoints], ph_re[kPoints], ph_im[kPoints];
    for (int i = 0; i < kPoints; ++i) {
        const double w = 2.0 * M_PI * third_octave(i) / kEngineRate;
        rot_re[i] = std::cos(w), rot_im[i] = -std::sin(w);
        ph_re[i] = 1.0, ph_im[i] = 0.0;
    }
    // Stops once a whole block stays a billion times below the peak.
    double peak = 0.0, block_peak = 0.0;
    for (int n = 0; n < kLength; ++n) {
        const double h = process_sample(e, n == 0 ? kImpulse : 0.0f) / kImpulse;
        peak = std::fmax(peak, std::fabs(h));
        block_peak = std::fmax(block_peak, std::fabs(h));
        if (n % 1024 == 1023) {
            if (block_peak <= 1e-9 * peak) break;
            if (n == kLength - 1) return false;
            block_peak = 0.0;
        }
        for (int i = 0; i < kPoints; ++i) {
            re[i] += h * ph_re[i], im[i] += h * ph_im[i];
            const double r = ph_re[i] * rot_re[i] - ph_im[i] * rot_im[i];
            ph_im[i] = ph_re[i] * rot_im[i] + ph_im[i] * rot_re[i];
            ph_re[i] = r;
        }
    }
    for (int i = 0; i < kPoints; ++i) level_db[i] = 10.0 * std::log10(re[i] * re[i] + im[i] * im[i] + 1e-30);
    return true;
}

// The largest loop memory (stage 4's output) in the last 1024 of 16384
// frames after a tiny impulse: a filter that rings on its own still
// oscillates there, held by its clamps. (The output can be small then: some
// rows' weights nearly cancel at half the rate, where the ringing sits.)
float late_peak(FilterEngine e)
{
    constexpr int frames = 1 << 14;  // a pole of radius 0.999 decays by 1e-7 in this time
    float late = 0.0f;
    for (int n = 0; n < frames; ++n) {
        process_sample(e, n == 0 ? kImpulse : 0.0f);
        if (n >= frames - 1024) late = std::fmax(late, std::fabs(e.feedback_sample));
    }
    return late;
}

// Every row (the empty ones too: only the dry part remains), with and
// without resonance, filtered only and half dry, at a low, the default and
// a high cutoff. At 18 kHz and 70 % many rows have no linear response:
// their loop has a pole outside the unit circle, so the sample path rings
// on its own (checked) and there is nothing to compare.
TEST(ResponseCurve, MatchesTheSamplePathWithinATenthOfADecibel)
{
    int compared = 0, ringing = 0;
    for (int row = 0; row < int(kResponseTypeCount); ++row)
        for (float resonance : {0.0f, 0.7f})
            for (float mix : {1.0f, 0.0f})
                for (float cutoff : {150.0f, 1200.0f, 6000.0f, 18000.0f}) {
                    const FilterEngine e = engine_for(row, resonance, mix, cutoff);
                    if (response_pole_radius(e) > 1.0) {
                        ++ringing;
                        EXPECT_GT(late_peak(e), 0.01f) << "row " << row << " cutoff " << cutoff;
                        continue;
                    }
                    double measured[kPoints];
                    ASSERT_TRUE(measured_levels(e, measured))
                        << "row " << row << " res " << resonance << " cutoff " << cutoff;
                    for (int i = 0; i < kPoints; ++i) {
                        const double computed = response_level_db(e, third_octave(i));
                        if (computed < -60.0) continue;
                        ++compared;
                        EXPECT_NEAR(computed, measured[i], 0.1)
                            << "row " << row << " resonance " << resonance << " mix " << mix
                            << " cutoff " << cutoff << " at " << third_octave(i) << " Hz";
                    }
                }
    EXPECT_GT(compared, 15000);
    EXPECT_EQ(ringing, 2 * 15);  // the 15 rows with a feedback factor of 1.55 or more, at both mixes
}

// The pole radius against what the sample path does, over the whole range
// of cutoffs at full resonance and beyond it (hosts pass 300 % unclamped):
// a pole outside the unit circle rings on, one inside dies away.
TEST(ResponseCurve, PoleRadiusTellsWhichSettingsRingOnTheirOwn)
{
    int unstable = 0, stable = 0;
    for (int row = 0; row < kOfferedRows; ++row)
        for (float resonance : {1.0f, 3.0f})
            for (float cutoff : {300.0f, 3000.0f, 12000.0f, 19000.0f}) {
                const FilterEngine e = engine_for(row, resonance, 1.0f, cutoff);
                const double radius = response_pole_radius(e);
                if (std::fabs(radius - 1.0) < 1e-3) continue;  // too close to call in float
                (radius > 1.0 ? unstable : stable)++;
                EXPECT_EQ(radius > 1.0, late_peak(e) > 0.01f)
                    << "row " << row << " resonance " << resonance << " cutoff " << cutoff << " radius " << radius;
            }
    EXPECT_GT(unstable, 50);
    EXPECT_GT(stable, 50);
}

} // namespace
} // namespace zt
