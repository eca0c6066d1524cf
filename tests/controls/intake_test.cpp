// Control intake: percent scaling, when plain controls reach the engine, and
// values no control should be able to break the filter with.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <tuple>

#include "engine/modulator.h"
#include "engine/response_types.h"
#include "rig.h"

namespace zt::test {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

uint32_t bits(float f) { return std::bit_cast<uint32_t>(f); }

// Percentages are scaled by a multiply with 0.01f, which for these values
// differs from a division by 100 in the last bit (20 * 0.01f = 0.19999999).
TEST(Intake, ZeroFrameRunTakesEveryControlAndStepsNothing)
{
    Rig r;
    r.run(16);
    const Plugin before = *r.p;
    const FilterEngine e0 = r.e();
    const float ports[] = {-30.0f, 3.0f, 33.0f, 20.0f, 4.0f, 60.0f, 500.0f, 1.0f, 8.0f};
    for (uint32_t i = PORT_MIX; i < PORT_COUNT; ++i) r.port[i] = ports[i - PORT_MIX];
    plugin_connect_port(r.p, PORT_IN, nullptr);  // a 0-frame run touches no buffer
    plugin_connect_port(r.p, PORT_OUT, nullptr);
    r.run(0);

    const FilterEngine& e = r.e();
    EXPECT_EQ(bits(r.p->mix.smoother.target), 0xBE999999u);  // not -0.3f (0xBE99999A)
    EXPECT_EQ(r.p->rate.smoother.target, 3.0f);
    EXPECT_EQ(r.p->center.smoother.target, 500.0f);
    EXPECT_EQ(r.p->octaves.smoother.target, 1.0f);
    EXPECT_EQ(bits(e.glide_down), 0x3EA8F5C2u);  // not 0.33f (0x3EA8F5C3)
    EXPECT_EQ(bits(e.glide_up), 0x3E4CCCCCu);    // not 0.2f (0x3E4CCCCD)
    EXPECT_EQ(e.shape, 4);
    EXPECT_EQ(bits(e.resonance), 0x3F199999u);  // not 0.6f (0x3F19999A)
    EXPECT_EQ(bits(e.feedback_gain), 0x3F999999u);
    EXPECT_EQ(0, std::memcmp(e.mix_coef, kResponseTypes[8].mix_coef, sizeof e.mix_coef));

    for (auto slot : {&Plugin::mix, &Plugin::rate, &Plugin::center, &Plugin::octaves})
        EXPECT_EQ((r.p->*slot).smoother.current, (before.*slot).smoother.current);
    EXPECT_EQ(r.p->block_pos, before.block_pos);
    EXPECT_EQ(e.mix, e0.mix);
    EXPECT_EQ(e.rate_hz, e0.rate_hz);
    EXPECT_EQ(e.center_hz, e0.center_hz);
    EXPECT_EQ(e.octaves, e0.octaves);
    EXPECT_EQ(e.countdown, e0.countdown);
}

// After the first run, unchanged plain controls call no setter: engine
// fields nudged by one ulp stay as they are until the port changes.
TEST(Intake, UnchangedPlainControlCallsNoSetter)
{
    Rig r;
    r.run(16);
    FilterEngine& e = r.e();
    float FilterEngine::*fields[] = {&FilterEngine::glide_down, &FilterEngine::glide_up,
                                     &FilterEngine::shape_value, &FilterEngine::resonance,
                                     &FilterEngine::type_value};
    for (auto f : fields) e.*f = std::nextafter(e.*f, 100.0f);
    const FilterEngine nudged = e;
    r.run(0);
    r.run(37);
    r.run(160);
    for (auto f : fields) EXPECT_EQ(e.*f, nudged.*f);
    r.port[PORT_RESONANCE] = 50.0f;
    r.run(0);
    EXPECT_EQ(e.resonance, 0.5f);
}

// A plain change is seen before the first frame of its run: the event on
// that very frame uses the new glide time or shape, and its sample the new
// resonance or type. Checked against the engine stepped by hand.
TEST(Intake, PlainChangesActBeforeTheFirstFrame)
{
    const struct {
        uint32_t port;
        float from, to, shape;
        void (*set)(FilterEngine&, float);
        float scale;
    } rows[] = {
        {PORT_GLIDE_DOWN, 1, 50, 0, set_glide_down, 0.01f},  // first target falls
        {PORT_GLIDE_UP, 1, 50, 1, set_glide_up, 0.01f},      // first target rises
        {PORT_SHAPE, 0, 5, 0, set_shape, 1},
        {PORT_RESONANCE, 70, 20, 0, set_resonance, 0.01f},
        {PORT_TYPE, 3, 8, 0, set_type, 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.port);
        g_random = kRandomStart;
        Rig r;
        r.port[PORT_SHAPE] = row.shape;
        r.port[row.port] = row.from;
        r.run(99);  // the next frame fires the first event; no block starts on it
        FilterEngine want = r.e(), stale = r.e();
        RandomCall draw_want{g_random, nullptr, kRandomShared}, draw_stale = draw_want;
        row.set(want, row.to * row.scale);
        const float y_want = process_frame(want, draw_want, r.in[0]);
        const float y_stale = process_frame(stale, draw_stale, r.in[0]);

        r.port[row.port] = row.to;
        r.run(1);
        EXPECT_EQ(bits(r.out[0]), bits(y_want));
        EXPECT_EQ(0, std::memcmp(&r.e(), &want, sizeof want));
        auto seen = [](const FilterEngine& e, float y) {
            return std::tuple{bits(y), e.target, e.glide_length, e.stage[0].state};
        };
        EXPECT_NE(seen(stale, y_stale), seen(want, y_want));  // the change matters on that frame
    }
}

// NaN on a ramped port is ignored: the ramp goes on to its previous target.
TEST(Intake, NanOnRampedPortKeepsTheTarget)
{
    const struct {
        uint32_t port;
        float value;
        SmoothedParam Plugin::*slot;
        float FilterEngine::*field;
    } rows[] = {
        {PORT_MIX, -100.0f, &Plugin::mix, &FilterEngine::mix},
        {PORT_RATE, 2.0f, &Plugin::rate, &FilterEngine::rate_hz},
        {PORT_CENTER, 440.0f, &Plugin::center, &FilterEngine::center_hz},
        {PORT_OCTAVES, 2.0f, &Plugin::octaves, &FilterEngine::octaves},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.port);
        Rig r;
        r.port[row.port] = row.value;
        r.run(16);
        const float target = (r.p->*row.slot).smoother.target;
        r.port[row.port] = kNaN;
        EXPECT_TRUE(r.run_long(16 * 200));
        EXPECT_EQ((r.p->*row.slot).smoother.target, target);
        EXPECT_EQ((r.p->*row.slot).smoother.current, target);
        EXPECT_EQ(r.e().*row.field, target);
    }
}

// NaN on resonance keeps the previous resonance; on glide, shape and type it
// acts as the conversions make it: glide length 0, shape 0, row 0.
TEST(Intake, NanOnPlainPorts)
{
    g_random = kRandomStart;
    Rig r;
    r.port[PORT_RESONANCE] = 20.0f;
    r.run(16);
    for (uint32_t port : {PORT_GLIDE_DOWN, PORT_SHAPE, PORT_RESONANCE, PORT_TYPE}) r.port[port] = kNaN;
    r.run(96);  // the first event, on frame 100: shape 0, falling
    const FilterEngine& e = r.e();
    EXPECT_EQ(e.target, 120960 * 0x1p-24f);
    EXPECT_EQ(e.glide_remaining, 0);
    EXPECT_EQ(e.shape, 0);
    EXPECT_EQ(e.resonance, 20.0f * 0.01f);
    EXPECT_EQ(e.feedback_gain, e.resonance + e.resonance);
    EXPECT_EQ(r.p->resonance.last, 20.0f);
    EXPECT_EQ(0, std::memcmp(e.mix_coef, kResponseTypes[0].mix_coef, sizeof e.mix_coef));
    EXPECT_EQ(e.input_comp, kResponseTypes[0].input_comp);
    EXPECT_TRUE(r.run_long(48000));
}

// A centre of 0 or below, or a band of 300 octaves whose ends leave the float
// range: the setter stores the value, the last band with a positive finite
// bottom stays (a ratio of +inf is allowed), and the output stays finite.
TEST(Intake, UnusableBandsKeepTheLastUsableOne)
{
    const struct {
        float center, octaves;
        int blocks;
        bool infinite_ratio;
    } rows[] = {
        {0.0f, 4.0f, 100, false},
        {-100.0f, 4.0f, 100, false},
        {-100.0f, 0.0f, 200, false},
        {1200.0f, 300.0f, 11200, true},  // 11099 blocks to get there
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.octaves);
        Rig r;
        r.port[PORT_CENTER] = row.center;
        r.port[PORT_OCTAVES] = row.octaves;
        r.port[PORT_RATE] = 40.0f;
        r.port[PORT_GLIDE_UP] = r.port[PORT_GLIDE_DOWN] = 50.0f;
        EXPECT_TRUE(r.run_long(16ull * row.blocks));
        const FilterEngine& e = r.e();
        EXPECT_EQ(e.center_hz, row.center);
        EXPECT_EQ(e.octaves, row.octaves);
        EXPECT_GT(e.freq_low, 0.0f);
        EXPECT_TRUE(std::isfinite(e.freq_low));
        EXPECT_EQ(std::isinf(e.freq_ratio), row.infinite_ratio);
        EXPECT_FALSE(std::isnan(e.freq_ratio));
        EXPECT_TRUE(r.run_long(48000));
    }
}

} // namespace
} // namespace zt::test
