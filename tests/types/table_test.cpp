// The response-type table and set_type: the rows as designed, the index
// conversion, rows that leave only the dry part, and the binomial rows.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "engine/response_types.h"
#include "engine/sample_path.h"
#include "core/plugin.h"

using namespace zt;

namespace {

struct Row { double c[5], factor, comp; const char* name; uint32_t category; };

const Row kDesigned[kResponseTypeCount] = {
    {{0, -1, 0, 0, 0}, 1, 0.5, "6 lp(inv)", 5},
    {{0, 0, 1, 0, 0}, 1.25, 0.7, "2 pole lp", 5},
    {{0, 0, 0, -1, 0}, 1.5, 0.5, "3 pole lp(inv)", 5},
    {{0, 0, 0, 0, 1}, 1.7, 0.5, "4 pole lp", 5},
    {{1, 1, 0, 0, 0}, 1.6, 0, "1 pole hp", 9},
    {{1, 2, 1, 0, 0}, 1.8, 0, "2 pole hp", 9},
    {{1, 3, 3, 1, 0}, 1.88, 0, "3 pole hp", 9},
    {{0, 2, 2, 0, 0}, 1.5, 0, "2 pole bp", 17},
    {{0, 0, 4, 8, 4}, 1.5, 0, "4 pole bp", 17},
    {{1, 2, 2, 0, 0}, 2, 0, "2 pole notch", 33},
    {{-1, -6, -12, -8, 0}, 1.2, 0.2, "3 pole ap (inv)", 65},
    {{0, 3, 6, 3, 0}, 1.4, 0, "2 pole hp + 1 pole lp", 257},
    {{0, 3, 9, 9, 3}, 1.55, 0, "3 pole hp + 1 pole lp", 257},
    {{0, 1, 2, 2, 0}, 1.75, 1, "2 pole notch + 1 pole lp", 257},
    {{0, 1, 3, 6, 4}, 1.5, 0.25, "3 pole ap + 1 pole lp", 257},
    {{0, 3, 6, 3, 0}, 1.2, 0.25, "2 pole hp + 1 pole lp", 257},
    {{-1, -2, 0, 0, 0}, 1.3, 0.2, "* 1 pole ap (inv)", 128},
    {{1, 4, 4, 0, 0}, 1.3, 0.2, "* 2 pole ap", 128},
    {{-1, -6, -12, -8, 0}, 1.3, 0.2, "* 3 pole ap (inv)", 128},
    {{1, 8, 24, 32, 16}, 1.3, 0.2, "* 4 pole ap", 128},
    {{1, 1, 0, 0, 0}, 1.6, 0, "* 1 pole phaser", 128},
    {{1, 2, 2, 0, 0}, 2, 0, "* 2 pole phaser", 128},
    {{1, 3, 6, 4, 0}, 1.5, 0, "* 3 pole phaser", 128},
    {{1, 4, 12, 16, 8}, 1.5, 0, "* 4 pole phaser", 128},
    {{1, 4, 6, 4, 1}, 1.975, 0, "* 4 pole hp", 8},
    {{0, -4, -7, -4, 0}, 1.5, 0, "* double lp exp(inv)", 260},
    {{0, -4, -8, -5, 0}, 1.3, 0.25, "* LP 1 + Notch -12(inv)", 256},
    {{0, 0, 4, 8, 5}, 1.3, 0.35, "* LP 2 + Notch -12", 256},
    {{0.25, 0.5, 1.25, 0, 0}, 1.6, 0.3, "* Reso before Notch", 256},
    {{1.5, 3, 2, 0, 0}, 1.6, 0.3, "* Reso after Notch", 256},
    {{1, 4, 10, 12, 6}, 1.7, 0, "* Double Notch A (+- Octaves)", 256},
    {{1, 4, 10.25, 12.5, 6.25}, 1.7, 0, "* Double Notch Octaves", 256},
    {{1, 4, 11, 14, 7}, 1.5, 0, "* Double Notch B", 256},
    {{1, 4, 12, 16, 8}, 1.4, 0, "* Double Notch C (Varel)", 256},
    {{0.75, 3, 10.5, 15, 7.5}, 1.4, 0, "* Double Notch D", 256},
    {{1, 0, 4, 8, 4}, 1, 0, "Bell", 16},
    {{1, 2, 2, 0, 0}, 2, 0, "2 pole notch", 512},
    {{0, 0, 0, 0, 0}, 0, 0, "", 0},
    {{0, 0, 0, 0, 0}, 0, 0, "", 0},
    {{0, 0, 0, 0, 0}, 0, 0, "", 0},
};

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// The numbers set_type copies, as one comparable record.
struct Loaded {
    float c[5], factor, comp;
    bool operator==(const Loaded&) const = default;
};
Loaded loaded(const FilterEngine& e)
{
    return {{e.mix_coef[0], e.mix_coef[1], e.mix_coef[2], e.mix_coef[3], e.mix_coef[4]},
            e.feedback_factor, e.input_comp};
}
Loaded designed(int row)
{
    if (row < 0) return loaded(FilterEngine{});  // the engine defaults
    const Row& r = kDesigned[row];
    Loaded l{};
    for (int k = 0; k < 5; ++k) l.c[k] = static_cast<float>(r.c[k]);
    l.factor = static_cast<float>(r.factor);
    l.comp = static_cast<float>(r.comp);
    return l;
}

}  // namespace

TEST(ResponseTable, RowsAreStoredAsDesigned)
{
    static_assert(sizeof(ResponseType::name) == 32);
    for (size_t i = 0; i < kResponseTypeCount; ++i) {
        const ResponseType& t = kResponseTypes[i];
        const Row& r = kDesigned[i];
        for (int k = 0; k < 5; ++k) EXPECT_EQ(t.mix_coef[k], static_cast<float>(r.c[k])) << i;
        EXPECT_EQ(t.feedback_factor, static_cast<float>(r.factor)) << i;
        EXPECT_EQ(t.input_comp, static_cast<float>(r.comp)) << i;
        EXPECT_EQ(t.category, r.category) << i;
        char padded[32] = {};
        std::strncpy(padded, r.name, sizeof padded - 1);
        EXPECT_EQ(std::memcmp(t.name, padded, 32), 0) << i << " " << r.name;
    }
}

// The index truncates toward zero (negative and NaN give row 0); 40 and
// above keep the row in force, though type_value still follows. A value
// of 0 on a new engine is no change: the defaults stay, and they are not
// row 0. Row -1 below stands for the engine defaults.
TEST(SetType, SelectsRowsByTruncatedIndex)
{
    struct Case { std::vector<float> values; int row; };
    const Case cases[] = {
        {{0.0f}, -1}, {{-0.0f}, -1}, {{0.5f}, 0}, {{-3.0f}, 0}, {{kNaN}, 0}, {{2.9f}, 2},
        {{39.99f}, 39}, {{40.0f}, -1}, {{5.0f, 40.0f}, 5}, {{5.0f, 1e30f}, 5},
        {{5.0f, std::numeric_limits<float>::infinity()}, 5}, {{24.0f, 3.0f}, 3},
    };
    for (const Case& c : cases) {
        FilterEngine e;
        for (float v : c.values) set_type(e, v);
        EXPECT_TRUE(loaded(e) == designed(c.row)) << c.values.back() << " expected row " << c.row;
        const float v = c.values.back();
        EXPECT_TRUE(e.type_value == v || (std::isnan(v) && std::isnan(e.type_value))) << v;
    }
    FilterEngine e;  // a row selected again after an index of 40 is loaded anew
    set_type(e, 5.0f);
    set_type(e, 40.0f);
    e.mix_coef[0] = 99.0f;
    set_type(e, 5.0f);
    EXPECT_TRUE(loaded(e) == designed(5));
}

TEST(SetType, KeepsStagesCoefficientsAndFeedback)
{
    FilterEngine e;
    for (int j = 0; j < 100; ++j) process_sample(e, j % 7 ? 0.3f : -0.8f);
    FilterEngine before = e;
    set_type(e, 24.0f);
    std::memcpy(before.mix_coef, e.mix_coef, sizeof e.mix_coef);
    before.feedback_factor = e.feedback_factor;
    before.input_comp = e.input_comp;
    before.type_value = 24.0f;
    EXPECT_EQ(std::memcmp(&e, &before, sizeof e), 0);
}

// Through the plugin: a type control at 0 from the start loads nothing;
// at 3 it loads row 3, whose feedback differs from the defaults although
// both are the 4-pole low-pass.
TEST(SetType, TypeControlAtStartUp)
{
    struct Case { float port; int row; };
    for (const Case c : {Case{0.0f, -1}, Case{3.0f, 3}, Case{0.4f, 0}, Case{37.0f, 37}, Case{40.0f, -1}}) {
        float port[PORT_COUNT] = {0, 0, 100.0f, 7.5f, 1.0f, 1.0f, 0.0f, 70.0f, 1200.0f, 4.0f, c.port};
        float buf[kBlockSize] = {};
        Plugin* p = plugin_instantiate(48000.0);
        plugin_connect_port(p, PORT_IN, buf);
        plugin_connect_port(p, PORT_OUT, buf);
        for (uint32_t i = PORT_MIX; i < PORT_COUNT; ++i) plugin_connect_port(p, i, &port[i]);
        plugin_run(p, kBlockSize);
        EXPECT_TRUE(loaded(*p->engine) == designed(c.row)) << c.port;
        plugin_cleanup(p);
    }
}

// Without feedback, "N pole lp" is exactly stage N's output and
// "N pole hp" is (1 - L)^N: x - N*y1 + ... with binomial weights.
TEST(SetType, LowAndHighPassRowsAreStageOutputsAndBinomials)
{
    struct Case { float row; int poles; bool high; };
    const Case cases[] = {{0, 1, false}, {1, 2, false}, {2, 3, false}, {3, 4, false},
                          {4, 1, true}, {5, 2, true}, {6, 3, true}, {24, 4, true}};
    for (const Case& c : cases) {
        FilterEngine e;
        set_resonance(e, 0.0f);
        set_type(e, 40.0f);  // so that 0 is a change
        set_type(e, c.row);
        for (int j = 0; j < 3000; ++j) {
            const float s = std::sin(static_cast<float>(j) * 0.05f) + (j % 5 ? 0.0f : 0.4f);
            const float y = process_sample(e, s);
            if (!c.high) {
                ASSERT_EQ(y, e.stage[c.poles - 1].state) << c.row;
                continue;
            }
            double ref = s, binomial = 1.0;
            for (int k = 1; k <= c.poles; ++k) {
                binomial = binomial * (c.poles - k + 1) / k;
                ref += (k % 2 ? -binomial : binomial) * e.stage[k - 1].state;
            }
            ASSERT_NEAR(y, ref, 1e-5) << c.row << " frame " << j;
        }
    }
}

TEST(SetType, EmptyRowsLeaveOnlyTheDryPart)
{
    for (float row : {37.0f, 38.0f, 39.0f}) {
        FilterEngine e;
        set_mix(e, 0.0f);
        set_type(e, row);
        for (int j = 0; j < 500; ++j) {
            const float s = std::sin(static_cast<float>(j) * 0.01f);
            const float y = process_sample(e, s);
            ASSERT_EQ(y, s * e.dry_gain) << row;
        }
        EXPECT_NE(e.stage[3].state, 0.0f);  // the stages keep running
    }
}
