// The four ramped controls: start values, per-block steps, when their setters
// run, and state carried across calls, reactivation and any frame split.
#include <gtest/gtest.h>

#include <lv2/core/lv2.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>
#include <vector>

#include "engine/modulator.h"
#include "rig.h"

namespace zt::test {
namespace {

uint32_t bits(float f) { return std::bit_cast<uint32_t>(f); }

TEST(Smoothers, StartValuesAndStepsToTheBit)
{
    Rig r;
    const struct {
        const Smoother& s;
        float target;
        uint32_t current, step;
    } rows[] = {
        {r.p->mix.smoother, 1.0f, 0x3F7FF972u, 0x3F2AAAABu},           // 0.9999, 2/3
        {r.p->rate.smoother, 7.5f, 0x40EFF9DBu, bits(0.053f)},         // 7.49925
        {r.p->center.smoother, 1200.0f, 0x4495FC29u, 0x419F7777u},     // 1199.88, 19.933332
        {r.p->octaves.smoother, 4.0f, 0x407FF972u, 0x3CDA740Eu},       // 3.9996, 0.026666667
    };
    for (const auto& row : rows) {
        EXPECT_EQ(row.s.target, row.target);
        EXPECT_EQ(bits(row.s.current), row.current);
        EXPECT_EQ(bits(row.s.step), row.step);
        EXPECT_EQ(row.s.interval, 1u);
        EXPECT_EQ(row.s.counter, 0u);
    }
}

// What the engine receives block by block from a port set before the first
// run; the last step lands on the port value exactly.
TEST(Smoothers, RampsFromTheStartValues)
{
    const struct {
        uint32_t port;
        float value;
        SmoothedParam Plugin::*slot;
        float FilterEngine::*field;
        std::vector<float> first;
        int blocks;
    } rows[] = {
        // 0.9999 + 2/3 passes 1.0, so the first step lands on it
        {PORT_MIX, 100.0f, &Plugin::mix, &FilterEngine::mix, {1.0f}, 1},
        {PORT_MIX, -100.0f, &Plugin::mix, &FilterEngine::mix, {0.3332333f, -0.3334334f, -1.0f}, 3},
        {PORT_CENTER, 440.0f, &Plugin::center, &FilterEngine::center_hz, {1179.9467f, 1160.0133f}, 39},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.value);
        Rig r;
        r.port[row.port] = row.value;
        const Smoother& s = (r.p->*row.slot).smoother;
        for (int b = 1; b <= row.blocks; ++b) {
            r.run(16);
            EXPECT_EQ(r.e().*row.field, s.current) << b;
            if (b <= static_cast<int>(row.first.size())) EXPECT_EQ(s.current, row.first[b - 1]) << b;
            EXPECT_EQ(s.current == s.target, b == row.blocks) << b;
        }
    }
    // Mix at +100 from the start never touches the default gains.
    Rig r;
    r.run(64);
    EXPECT_EQ(r.e().dry_gain, 0.0f);
    EXPECT_EQ(r.e().wet_gain, 1.0f);
}

// Each block, every moving ramp hands its value to the engine, and a settled
// one calls nothing: a NaN put into the engine field is overwritten by any
// setter call, since NaN equals no value.
TEST(Smoothers, SetterPerBlockWhileMovingNoneAfter)
{
    Rig r;
    r.port[PORT_MIX] = -100.0f;
    r.port[PORT_RATE] = 1.0f;
    r.port[PORT_CENTER] = 440.0f;
    r.port[PORT_OCTAVES] = 2.0f;
    const struct {
        const Smoother& s;
        float FilterEngine::*field;
    } slots[] = {{r.p->mix.smoother, &FilterEngine::mix},
                 {r.p->rate.smoother, &FilterEngine::rate_hz},
                 {r.p->center.smoother, &FilterEngine::center_hz},
                 {r.p->octaves.smoother, &FilterEngine::octaves}};
    auto moving_blocks = [&](int blocks) {
        std::vector<int> moved(4, 0);
        for (int b = 0; b < blocks; ++b) {
            float before[4];
            for (int i = 0; i < 4; ++i) {
                before[i] = slots[i].s.current;
                r.e().*slots[i].field = std::numeric_limits<float>::quiet_NaN();
            }
            r.run(16);
            for (int i = 0; i < 4; ++i) {
                float& field = r.e().*slots[i].field;
                if (slots[i].s.current != before[i]) {
                    ++moved[i];
                    EXPECT_EQ(field, slots[i].s.current) << i << " block " << b;
                } else {
                    EXPECT_TRUE(std::isnan(field)) << i << " block " << b;
                }
                field = slots[i].s.current;
            }
        }
        return moved;
    };
    EXPECT_EQ(moving_blocks(200), (std::vector<int>{3, 123, 39, 75}));
    r.port[PORT_RATE] = 16.0f;
    EXPECT_EQ(moving_blocks(300), (std::vector<int>{0, 284, 0, 0}));  // ceil(15 / 0.053)
}

// One run over all frames, the same frames in odd-sized calls with
// deactivate/activate in between, and the run cycle stepped by hand (the
// smoothers at every 16th frame, then the engine's frame operation) all give
// the same samples and the same state.
TEST(RunCycle, AnySplitReactivationAndStepByStepAgree)
{
    const struct {
        float ports[9];  // mix ... type
        float rate_now;  // where the rate ramp starts, or 0 for the normal start
        uint32_t frames;
    } rows[] = {
        {{20, 40, 150, 30, 1, 80, 300, 3, 8}, 0, 20000},          // ramps, glides past the next event
        {{100, 47637, -150, -150, 2, 70, 1200, 4, 3}, 47637, 4000},  // an event every frame, negative glides
        // The period falls from 1 to 0 during a negative glide, leaving it
        // without a divisor for a frame.
        {{-50, 48010, -300, -150, 4, 90, 600, 2, 3}, 47995, 4000},
    };
    const uint32_t splits[] = {1, 15, 0, 16, 7, 33, 100, 0, 250, 3, 64, 1000};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.ports[1]);
        Rig whole(row.frames), split(row.frames);
        for (Rig* r : {&whole, &split}) {
            for (uint32_t i = PORT_MIX; i < PORT_COUNT; ++i) r->port[i] = row.ports[i - PORT_MIX];
            if (row.rate_now != 0) {
                r->p->rate.smoother.current = row.rate_now;
                set_rate(r->e(), row.rate_now);
            }
        }
        Plugin by_hand = *whole.p;
        FilterEngine by_hand_engine = whole.e();
        by_hand.engine = &by_hand_engine;

        g_random = kRandomStart;
        whole.run(row.frames);
        const RandomGen after = g_random;

        g_random = kRandomStart;
        const LV2_Descriptor* d = lv2_descriptor(0);
        d->activate(split.p);
        for (uint32_t j = 0, k = 0; j < row.frames; ++k) {
            const uint32_t n = std::min(splits[k % std::size(splits)], row.frames - j);
            plugin_connect_port(split.p, PORT_IN, split.in.data() + j);
            plugin_connect_port(split.p, PORT_OUT, split.out.data() + j);
            split.run(n);
            j += n;
            if (k % 3 == 2) {
                d->deactivate(split.p);
                d->activate(split.p);
            }
        }
        EXPECT_EQ(0, std::memcmp(&after, &g_random, sizeof(RandomGen)));
        EXPECT_NE(0, std::memcmp(&after, &kRandomStart, sizeof(RandomGen)));

        g_random = kRandomStart;
        std::vector<float> out(row.frames);
        RandomCall draw = random_call_begin(&by_hand.own_random);
        intake_controls(by_hand);
        for (uint32_t j = 0; j < row.frames; ++j) {
            if (j % kBlockSize == 0) step_smoothers(by_hand);
            out[j] = process_frame(by_hand_engine, draw, whole.in[j]);
        }
        random_call_release(draw);
        EXPECT_EQ(0, std::memcmp(&after, &g_random, sizeof(RandomGen)));

        for (uint32_t j = 0; j < row.frames; ++j) {
            ASSERT_EQ(bits(whole.out[j]), bits(split.out[j])) << "frame " << j;
            ASSERT_EQ(bits(whole.out[j]), bits(out[j])) << "frame " << j;
        }
        EXPECT_EQ(0, std::memcmp(whole.p->engine, split.p->engine, sizeof(FilterEngine)));
        EXPECT_EQ(0, std::memcmp(whole.p->engine, &by_hand_engine, sizeof(FilterEngine)));
        EXPECT_EQ(whole.p->block_pos, split.p->block_pos);
        for (auto slot : {&Plugin::mix, &Plugin::rate, &Plugin::center, &Plugin::octaves}) {
            EXPECT_EQ(bits((whole.p->*slot).smoother.current), bits((split.p->*slot).smoother.current));
            EXPECT_EQ(bits((whole.p->*slot).smoother.current), bits((by_hand.*slot).smoother.current));
            EXPECT_EQ((whole.p->*slot).smoother.counter, (split.p->*slot).smoother.counter);
        }
    }
}

} // namespace
} // namespace zt::test
