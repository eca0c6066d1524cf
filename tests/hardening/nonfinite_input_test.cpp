// A non-finite frame must not silence the instance for good. A frame whose
// output is not finite (NaN or infinite input, or a feedback so strong that
// the input step overflows) comes out as 0 and restarts the filter from rest:
// afterwards the engine gives exactly what a fresh one with the same
// settings gives. Finite outputs, however large, pass unchanged.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <vector>

#include "engine/filter_engine.h"
#include "engine/sample_path.h"
#include "lv2_rig.h"

namespace {

using zt::FilterEngine;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

std::vector<float> tone(size_t n, float amplitude = 0.8f)
{
    std::vector<float> v(n);
    for (size_t j = 0; j < n; ++j) v[j] = amplitude * std::sin(0.0523f * static_cast<float>(j));
    return v;
}

// Resonant 4-pole low-pass at the default cutoff, through the setters only.
FilterEngine configured(float resonance)
{
    FilterEngine e;
    zt::set_resonance(e, resonance);
    zt::set_type(e, 3.0f);
    return e;
}

void expect_at_rest(const FilterEngine& e)
{
    for (const zt::Stage& st : e.stage) EXPECT_EQ(std::bit_cast<uint32_t>(st.state), 0u);
    EXPECT_EQ(std::bit_cast<uint32_t>(e.feedback_sample), 0u);
}

// After the bad frame, the engine and a fresh one with the same settings
// give the same bits for the same input.
void expect_fresh_continuation(FilterEngine& e, float resonance)
{
    FilterEngine fresh = configured(resonance);
    const std::vector<float> in = tone(2000);
    for (size_t j = 0; j < in.size(); ++j) {
        const float y = zt::process_sample(e, in[j]);
        ASSERT_TRUE(std::isfinite(y)) << "frame " << j;
        ASSERT_EQ(std::bit_cast<uint32_t>(y), std::bit_cast<uint32_t>(zt::process_sample(fresh, in[j])))
            << "frame " << j;
    }
}

TEST(NonFiniteInput, NaNAndInfinitiesGiveSilenceThenAFreshFilter)
{
    for (float bad : {kNaN, kInf, -kInf}) {
        SCOPED_TRACE(bad);
        FilterEngine e = configured(0.9f);
        for (float s : tone(700)) zt::process_sample(e, s);  // memories well away from rest
        EXPECT_EQ(std::bit_cast<uint32_t>(zt::process_sample(e, bad)), 0u);
        expect_at_rest(e);
        expect_fresh_continuation(e, 0.9f);
    }
}

// Finite input, but a resonance so large that the feedback term overflows:
// gain 3e38 times stage 4's output 1, times the row's factor 1.7.
TEST(NonFiniteInput, OverflowingFeedbackStepRestartsTheFilter)
{
    FilterEngine e = configured(1.5e38f);
    e.feedback_sample = 1.0f;
    EXPECT_EQ(std::bit_cast<uint32_t>(zt::process_sample(e, 0.5f)), 0u);
    expect_at_rest(e);
    expect_fresh_continuation(e, 1.5e38f);
}

// Huge finite input against a huge resonance: the input step overflows on
// the first frame already; the output stays finite throughout.
TEST(NonFiniteInput, HugeInputWithHugeResonanceStaysFinite)
{
    FilterEngine e = configured(1e30f);
    EXPECT_EQ(std::bit_cast<uint32_t>(zt::process_sample(e, 3e38f)), 0u);
    expect_at_rest(e);
    for (float s : tone(4000, 3e38f)) ASSERT_TRUE(std::isfinite(zt::process_sample(e, s)));
}

// The guard sits at the float range, not below it: a dry output of nearly
// the largest float is passed on as computed.
TEST(NonFiniteInput, LargeFiniteOutputPassesUnchanged)
{
    FilterEngine e;
    zt::set_resonance(e, 0.0f);
    zt::set_mix(e, -1.0f);  // dry only: wet gain exactly 0
    ASSERT_EQ(e.wet_gain, 0.0f);
    const float s = 3.0e38f;
    EXPECT_EQ(zt::process_sample(e, s), s * e.dry_gain);
    EXPECT_NE(e.stage[0].state, 0.0f);  // no restart
}

// The same through the plugin as a host drives it: the bad frames come out
// as 0, every frame is finite, and the filter goes on sounding afterwards.
TEST(NonFiniteInput, PluginOutputRecoversWithinTheSameRun)
{
    zt_test::Rig rig(zt_test::linked_descriptor());
    ASSERT_NE(rig.handle, nullptr);
    std::vector<float> in = tone(4096);
    const size_t bad_at[] = {1000, 2000, 3000};
    in[bad_at[0]] = kNaN;
    in[bad_at[1]] = kInf;
    in[bad_at[2]] = -kInf;
    for (bool in_place : {false, true}) {
        SCOPED_TRACE(in_place ? "in place" : "separate buffers");
        std::vector<float> out(in.size());
        if (in_place) out = in;
        rig.run(in_place ? out.data() : in.data(), out.data(), static_cast<uint32_t>(in.size()));
        for (size_t j = 0; j < out.size(); ++j) ASSERT_TRUE(std::isfinite(out[j])) << "frame " << j;
        for (size_t j : bad_at) EXPECT_EQ(out[j], 0.0f) << "frame " << j;
        double energy = 0;
        for (size_t j = 3001; j < out.size(); ++j) energy += double(out[j]) * out[j];
        EXPECT_GT(energy, 1.0) << "silent after the last bad frame";
    }
}

} // namespace
