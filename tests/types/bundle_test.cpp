// The response types as a host sees them, through lilv and the built
// bundle: the type control's labels, and the magnitude responses of the
// rows whose names promise a low-pass, high-pass, band-pass or notch.
#include <gtest/gtest.h>
#include <lilv/lilv.h>
#include <lv2/core/lv2.h>
#include <lv2/port-groups/port-groups.h>

#include "built_bundle.h"

#include <cmath>
#include <cstring>
#include <map>
#include <numbers>
#include <set>
#include <string>
#include <vector>

#include "engine/response_types.h"

using namespace zt;

namespace {

constexpr int kOffered = 37;  // rows 37 to 39 are empty and not offered

// The built bundle only, never another copy installed on the machine.
struct Host {
    LilvWorld* world = lilv_world_new();
    const LilvPlugin* plugin = nullptr;
    Host()
    {
        plugin = load_built_plugin(world);
    }
    ~Host() { lilv_world_free(world); }
    const LilvPort* port(const char* symbol)
    {
        LilvNode* s = lilv_new_string(world, symbol);
        const LilvPort* p = lilv_plugin_get_port_by_symbol(plugin, s);
        lilv_node_free(s);
        return p;
    }
};

std::string expected_label(int row)
{
    const std::string name = kResponseTypes[row].name;
    for (int other = 0; other < kOffered; ++other)
        if (other != row && name == kResponseTypes[other].name) return name + " #" + std::to_string(row);
    return name;
}

// Gain of the plugin at each probe frequency, with the cutoff held at
// 1000 Hz: no resonance, a band of 0 octaves, fully wet.
std::vector<double> measure(Host& h, int row, const std::vector<double>& freqs)
{
    // Type 40 loads no row but makes the type a change, so that row 0, too,
    // is loaded on the next call (0 from the start would keep the defaults).
    float port[11] = {0, 0, 100, 7.5f, 1, 1, 0, 0, 1000, 0, 40};
    LilvInstance* inst = lilv_plugin_instantiate(h.plugin, 48000.0, nullptr);
    std::vector<float> in(512), out(512);
    lilv_instance_connect_port(inst, 0, in.data());
    lilv_instance_connect_port(inst, 1, out.data());
    for (uint32_t i = 2; i < 11; ++i) lilv_instance_connect_port(inst, i, &port[i]);
    lilv_instance_activate(inst);
    // The band narrows to 0 octaves by block 150; the event after that
    // (frame 6500) puts the cutoff on the centre for good.
    for (int b = 0; b < 16; ++b) {
        lilv_instance_run(inst, 512);
        port[10] = static_cast<float>(row);
    }
    std::vector<double> gains;
    const double amplitude = 0.25;  // no stage clamps
    for (double f : freqs) {
        const double w = 2 * std::numbers::pi * f / 48000;
        const int settle = 2560, window = 4608;  // whole periods of every probe
        double re = 0, im = 0;
        for (int j0 = 0; j0 < settle + window; j0 += 512) {
            for (int j = 0; j < 512; ++j) in[j] = static_cast<float>(amplitude * std::sin(w * (j0 + j)));
            lilv_instance_run(inst, 512);
            for (int j = 0; j < 512; ++j)
                if (const int t = j0 + j; t >= settle && t < settle + window) {
                    re += out[j] * std::cos(w * t);
                    im += out[j] * std::sin(w * t);
                }
        }
        gains.push_back(2 * std::hypot(re, im) / window / amplitude);
    }
    lilv_instance_deactivate(inst);
    lilv_instance_free(inst);
    return gains;
}

}  // namespace

TEST(TypeControl, LabelsAreTheUniqueRowNames)
{
    Host h;
    ASSERT_NE(h.plugin, nullptr);
    const LilvPort* type = h.port("type");
    ASSERT_NE(type, nullptr);
    LilvNode *def = nullptr, *min = nullptr, *max = nullptr;
    lilv_port_get_range(h.plugin, type, &def, &min, &max);
    ASSERT_TRUE(min && max);
    EXPECT_EQ(lilv_node_as_float(min), 0.0f);
    EXPECT_EQ(lilv_node_as_float(max), static_cast<float>(kOffered - 1));
    for (LilvNode* n : {def, min, max}) lilv_node_free(n);

    std::map<float, std::string> labels;
    std::set<std::string> unique;
    LilvScalePoints* points = lilv_port_get_scale_points(h.plugin, type);
    LILV_FOREACH (scale_points, i, points) {
        const LilvScalePoint* sp = lilv_scale_points_get(points, i);
        const std::string label = lilv_node_as_string(lilv_scale_point_get_label(sp));
        labels[lilv_node_as_float(lilv_scale_point_get_value(sp))] = label;
        unique.insert(label);
    }
    lilv_scale_points_free(points);
    ASSERT_EQ(labels.size(), static_cast<size_t>(kOffered));
    EXPECT_EQ(unique.size(), labels.size());
    for (int row = 0; row < kOffered; ++row) {
        ASSERT_EQ(labels.count(static_cast<float>(row)), 1u) << row;
        EXPECT_EQ(labels[static_cast<float>(row)], expected_label(row)) << row;
    }
    EXPECT_EQ(expected_label(9), "2 pole notch #9");  // the duplicated names
    EXPECT_EQ(expected_label(15), "2 pole hp + 1 pole lp #15");
}

// What each row's name promises: high-pass poles (slope below the centre),
// low-pass poles (slope above it), a dip at the centre. "6 lp" is one pole,
// "N pole bp" has N/2 on each side. A pole gives 5.5 to 6 dB per octave an
// octave or two from the centre. The other rows (all-pass, phaser and the
// starred combinations) promise no such shape.
TEST(TypeControl, ResponsesBehaveAsTheNamesSay)
{
    struct Promise { int row, hp, lp; bool notch; };
    const Promise promises[] = {
        {0, 0, 1, false}, {1, 0, 2, false}, {2, 0, 3, false}, {3, 0, 4, false},      // N pole lp
        {4, 1, 0, false}, {5, 2, 0, false}, {6, 3, 0, false}, {24, 4, 0, false},     // N pole hp
        {7, 1, 1, false}, {8, 2, 2, false},                                          // N pole bp
        {11, 2, 1, false}, {12, 3, 1, false}, {15, 2, 1, false},                     // hp + 1 pole lp
        {9, 0, 0, true}, {36, 0, 0, true}, {13, 0, 1, true},                         // notch (+ lp)
    };
    Host h;
    ASSERT_NE(h.plugin, nullptr);
    for (const Promise& p : promises) {
        const std::vector<double> g = measure(h, p.row, {125, 250, 1000, 4000, 8000});
        const double below = 20 * std::log10(g[1] / g[0]), above = 20 * std::log10(g[3] / g[4]);
        SCOPED_TRACE(std::string("row ") + std::to_string(p.row) + " " + kResponseTypes[p.row].name);
        EXPECT_GE(below, p.hp ? 4.5 * p.hp : -1.5);
        EXPECT_LE(below, p.hp ? 6.5 * p.hp : 1.5);
        EXPECT_GE(above, p.lp ? 4.5 * p.lp : -1.5);
        EXPECT_LE(above, p.lp ? 6.5 * p.lp : 1.5);
        if (p.lp && !p.hp && !p.notch) EXPECT_GT(g[0], 0.9);
        if (p.hp && !p.lp) EXPECT_GT(g[4], 0.7);
        if (p.hp && p.lp) EXPECT_GT(g[2], 1.5 * std::max(g[0], g[4]));
        if (p.notch) EXPECT_LT(g[2], 0.5 * std::min(g[1], g[3]));
    }
}

// The stereo plugin's audio ports (its controls are the mono plugin's, from
// the same table): the left and the right side of its groups.
TEST(StereoPlugin, ChannelsAreTheLeftAndTheRightSideOfItsGroups)
{
    Host h;
    LilvNode* uri = lilv_new_uri(h.world, ZT_STEREO_URI);
    LilvNode* designation = lilv_new_uri(h.world, LV2_CORE__designation);
    const LilvPlugin* st = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(h.world), uri);
    ASSERT_TRUE(st && lilv_plugin_get_num_ports(st) == 13);
    for (const auto& [i, want] : {std::pair<uint32_t, std::string>{0, "in_l left"}, {1, "out_l left"},
                                  {11, "in_r right"}, {12, "out_r right"}}) {
        const LilvPort* port = lilv_plugin_get_port_by_index(st, i);
        LilvNodes* d = lilv_port_get_value(st, port, designation);
        ASSERT_TRUE(d) << want;
        EXPECT_EQ(std::string(lilv_node_as_string(lilv_port_get_symbol(st, port))) + " " +
                      (lilv_node_as_uri(lilv_nodes_get_first(d)) + strlen(LV2_PORT_GROUPS_PREFIX)), want);
        lilv_nodes_free(d);
    }
    lilv_node_free(uri), lilv_node_free(designation);
}
