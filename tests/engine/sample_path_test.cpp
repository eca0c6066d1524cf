// The per-frame path: clamped stages with feedback, the weighted mixture,
// the dry/wet blend, and the restart after a frame that is not finite.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "engine/sample_path.h"
#include "core/fp_mode.h"
#include "core/plugin.h"

using namespace zt;

namespace {
uint32_t bits(float f) { return std::bit_cast<uint32_t>(f); }

// Full-scale pseudo-random input, reproducible.
std::vector<float> noise(size_t n, float amplitude)
{
    std::vector<float> v(n);
    uint32_t x = 12345;
    for (float& s : v) {
        x = x * 1664525u + 1013904223u;
        s = amplitude * (static_cast<float>(x >> 8) * 0x1p-23f - 1.0f);
    }
    return v;
}
}  // namespace

TEST(SamplePath, DefaultImpulseResponseStaysWithinUnit)
{
    FilterEngine e;
    float peak = 0.0f;
    for (int j = 0; j < 48000; ++j) {
        const float y = process_sample(e, j == 0 ? 1.0f : 0.0f);
        peak = std::max(peak, std::fabs(y));
    }
    EXPECT_GT(peak, 0.0f);
    EXPECT_LE(peak, 1.0f);
}

// The first frames are exact (fused forms, feedback from frame 2 on):
// stage 1 reaches +1.0 on the 4th frame and holds it; the later stages
// approach +1 without passing it.
TEST(SamplePath, ConstantTenClampsStageOneOnTheFourthFrame)
{
    const uint32_t golden[4][5] = {  // stage states 1..4, then the output
        {0x3E9157BC, 0x3C040735, 0x396FDDDB, 0x36D9E496, 0x36D9E496},
        {0x3F0F479D, 0x3CC24B5B, 0x3A6AC28B, 0x38051726, 0x38051726},
        {0x3F53E22D, 0x3D3EA049, 0x3B0F9B03, 0x38C31B41, 0x38C31B41},
        {0x3F800000, 0x3D96BE99, 0x3B8A3B65, 0x395C5A51, 0x395C5A51},
    };
    FilterEngine e;
    for (int j = 0; j < 48000; ++j) {
        const float y = process_sample(e, 10.0f);
        if (j < 4) {
            for (int k = 0; k < 4; ++k) EXPECT_EQ(bits(e.stage[k].state), golden[j][k]) << j << " " << k;
            EXPECT_EQ(bits(y), golden[j][4]) << j;
        } else {
            ASSERT_EQ(e.stage[0].state, 1.0f) << j;
        }
        for (const Stage& s : e.stage) ASSERT_LE(s.state, 1.0f);
        ASSERT_LE(std::fabs(y), 1.0f);
    }
    EXPECT_GT(e.stage[3].state, 0.999f);
}

// Every term at once (feedback with input compensation and factor, all five
// weights, both gains): the fused forms give exactly these samples. Stage
// coefficients of 0.5 let the feedback act from the first frames.
TEST(SamplePath, ExactSamplesWithFeedbackAndEveryWeight)
{
    const float in[8] = {0.9f, 0.9f, -0.4f, 0.7f, 0.1f, -0.95f, 0.3f, 0.6f};
    const uint32_t out[8] = {0x3F209C1C, 0x3F1BB660, 0xBEC6AD0A, 0x3EC02626,
                             0xBD263111, 0xBF46D2F6, 0x3E6159C8, 0x3EF22511};
    FilterEngine e;
    set_mix(e, 0.5f);
    e.feedback_factor = 1.88f;
    e.input_comp = 0.7f;
    const float w[5] = {0.25f, 0.5f, 1.25f, 1.5f, 0.75f};
    std::memcpy(e.mix_coef, w, sizeof w);
    for (Stage& st : e.stage) st.coef = 0.5f;
    for (int j = 0; j < 8; ++j) EXPECT_EQ(bits(process_sample(e, in[j])), out[j]) << j;
}

// A frame that is not finite comes out as 0 and restarts the filter from
// rest; coefficients, weights and gains stay as they were.
TEST(SamplePath, NonFiniteFrameRestartsFromRest)
{
    const float inf = std::numeric_limits<float>::infinity();
    struct Case { float bad; float resonance; };
    const Case cases[] = {
        {std::numeric_limits<float>::quiet_NaN(), 0.7f}, {inf, 0.7f}, {-inf, 0.0f},
        {10.0f, 1e38f},  // finite input: the feedback step overflows
    };
    const std::vector<float> in = noise(400, 0.9f);
    for (const Case& c : cases) {
        FilterEngine e;
        e.input_comp = 0.5f;
        set_resonance(e, c.resonance);
        for (int j = 0; j < 200; ++j) process_sample(e, in[j]);
        FilterEngine rest = e;
        for (Stage& s : rest.stage) s.state = 0.0f;
        rest.feedback_sample = 0.0f;
        EXPECT_EQ(bits(process_sample(e, c.bad)), 0u) << c.bad;
        EXPECT_EQ(std::memcmp(&e, &rest, sizeof e), 0) << c.bad;
        for (int j = 200; j < 400; ++j) {
            const float y = process_sample(e, in[j]);
            ASSERT_EQ(bits(y), bits(process_sample(rest, in[j])));
        }
    }
}

TEST(SamplePath, HugeFiniteOutputIsKept)
{
    FilterEngine e;
    set_mix(e, 0.0f);
    const float y = process_sample(e, 1e30f);
    EXPECT_EQ(e.stage[0].state, 1.0f);
    EXPECT_EQ(bits(y), bits(std::fma(1e30f, e.dry_gain, e.stage[3].state * e.wet_gain)));
}

// Under the mode the library sets at load (flush to zero), the memories of
// a loud filter fall to exactly 0 in silence instead of lingering subnormal.
TEST(SamplePath, SilenceAfterLoudInputDecaysToExactZero)
{
    const FpModeScope mode;
    struct Case { float resonance, factor, comp; };
    const Case cases[] = {{0.7f, 1.0f, 0.0f}, {0.7f, 1.7f, 0.5f}, {0.0f, 1.0f, 0.0f}};
    const std::vector<float> loud = noise(4800, 8.0f);
    for (const Case& c : cases) {
        FilterEngine e;
        set_resonance(e, c.resonance);
        e.feedback_factor = c.factor;
        e.input_comp = c.comp;
        for (float s : loud) process_sample(e, s);
        for (int j = 0; j < 48000; ++j) process_sample(e, 0.0f);
        EXPECT_EQ(bits(process_sample(e, 0.0f)), 0u) << c.resonance;
        for (const Stage& s : e.stage) EXPECT_EQ(bits(s.state), 0u) << c.resonance;
        EXPECT_EQ(bits(e.feedback_sample), 0u) << c.resonance;
    }
}

// One buffer for input and output gives the same samples as two, with the
// modulator drawing the same random values (the generator is rewound).
TEST(SamplePath, InPlaceEqualsSeparateBuffers)
{
    float port[PORT_COUNT] = {0, 0, 40.0f, 30.0f, 20.0f, 60.0f, 1.0f, 90.0f, 800.0f, 3.0f, 23.0f};
    const std::vector<float> in = noise(8192, 1.0f);
    const RandomGen start = g_random;
    auto render = [&](bool in_place) {
        g_random = start;
        std::vector<float> a = in, b(in.size());
        float* out = in_place ? a.data() : b.data();
        Plugin* p = plugin_instantiate(48000.0);
        for (uint32_t i = PORT_MIX; i < PORT_COUNT; ++i) plugin_connect_port(p, i, &port[i]);
        for (size_t j = 0; j < in.size(); j += 512) {
            plugin_connect_port(p, PORT_IN, a.data() + j);
            plugin_connect_port(p, PORT_OUT, out + j);
            plugin_run(p, 512);
        }
        plugin_cleanup(p);
        return std::vector<float>(out, out + in.size());
    };
    const std::vector<float> separate = render(false), same = render(true);
    EXPECT_EQ(std::memcmp(separate.data(), same.data(), separate.size() * sizeof(float)), 0);
    EXPECT_NE(std::memcmp(separate.data(), in.data(), in.size() * sizeof(float)), 0);
}
