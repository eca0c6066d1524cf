// The factory presets as a host sees them: the built bundle loaded through
// lilv, each preset read back as the state a host would apply.
#include <gtest/gtest.h>
#include <lilv/lilv.h>

#include "built_bundle.h"
#include <lv2/atom/atom.h>
#include <lv2/presets/presets.h>
#include <lv2/urid/urid.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

// The URID map a host passes to lilv; the states only need it to type values.
struct UridMap {
    std::vector<std::string> uris;
    LV2_URID_Map map{this, &UridMap::lookup};

    static LV2_URID lookup(LV2_URID_Map_Handle h, const char* uri)
    {
        auto& uris = static_cast<UridMap*>(h)->uris;
        for (size_t i = 0; i < uris.size(); ++i)
            if (uris[i] == uri) return LV2_URID(i + 1);
        uris.emplace_back(uri);
        return LV2_URID(uris.size());
    }
};

struct PortValue {
    float value;
    LV2_URID type;
};

struct Preset {
    std::string uri;
    std::string label;
    std::map<std::string, PortValue> values;  // by port symbol
};

struct ControlPort {
    uint32_t index;
    float min, max, def;
    bool integer;
    std::set<float> scale_points;  // empty unless the port is an enumeration
};

// The bundle from the build tree, its plugin, its control ports and its presets.
struct Bundle {
    LilvWorld* world = lilv_world_new();
    UridMap urids;
    const LilvPlugin* plugin = nullptr;
    std::map<std::string, ControlPort> controls;  // by symbol
    std::vector<Preset> presets;

    Bundle()
    {
        plugin = load_built_plugin(world);
        if (plugin) {
            read_controls();
            read_presets();
        }
    }
    ~Bundle() { lilv_world_free(world); }
    Bundle(const Bundle&) = delete;
    Bundle& operator=(const Bundle&) = delete;

    void read_controls()
    {
        LilvNode* control = lilv_new_uri(world, LV2_CORE__ControlPort);
        LilvNode* input = lilv_new_uri(world, LV2_CORE__InputPort);
        LilvNode* integer = lilv_new_uri(world, LV2_CORE__integer);
        LilvNode* enumeration = lilv_new_uri(world, LV2_CORE__enumeration);
        const uint32_t n = lilv_plugin_get_num_ports(plugin);
        std::vector<float> mins(n), maxs(n), defs(n);
        lilv_plugin_get_port_ranges_float(plugin, mins.data(), maxs.data(), defs.data());
        for (uint32_t i = 0; i < n; ++i) {
            const LilvPort* port = lilv_plugin_get_port_by_index(plugin, i);
            if (!lilv_port_is_a(plugin, port, control) || !lilv_port_is_a(plugin, port, input)) continue;
            ControlPort c{i, mins[i], maxs[i], defs[i], lilv_port_has_property(plugin, port, integer), {}};
            if (lilv_port_has_property(plugin, port, enumeration)) {
                LilvScalePoints* points = lilv_port_get_scale_points(plugin, port);
                LILV_FOREACH (scale_points, it, points)
                    c.scale_points.insert(lilv_node_as_float(lilv_scale_point_get_value(lilv_scale_points_get(points, it))));
                lilv_scale_points_free(points);
            }
            controls[lilv_node_as_string(lilv_port_get_symbol(plugin, port))] = c;
        }
        for (LilvNode* node : {control, input, integer, enumeration}) lilv_node_free(node);
    }

    void read_presets()
    {
        LilvNode* preset_class = lilv_new_uri(world, LV2_PRESETS__Preset);
        LilvNodes* related = lilv_plugin_get_related(plugin, preset_class);
        LILV_FOREACH (nodes, it, related) {
            const LilvNode* node = lilv_nodes_get(related, it);
            lilv_world_load_resource(world, node);
            LilvState* state = lilv_state_new_from_world(world, &urids.map, node);
            if (!state) continue;
            Preset p{lilv_node_as_uri(node), lilv_state_get_label(state) ? lilv_state_get_label(state) : "", {}};
            lilv_state_emit_port_values(state, &Bundle::collect, &p.values);
            presets.push_back(p);
            lilv_state_free(state);
        }
        lilv_nodes_free(related);
        lilv_node_free(preset_class);
    }

    static void collect(const char* symbol, void* data, const void* value, uint32_t size, uint32_t type)
    {
        auto& values = *static_cast<std::map<std::string, PortValue>*>(data);
        float v = NAN;
        if (size == sizeof(float)) std::memcpy(&v, value, sizeof v);
        values[symbol] = PortValue{v, type};
    }
};

TEST(Presets, HostsListAHandfulOfDistinctPresets)
{
    Bundle b;
    ASSERT_NE(b.plugin, nullptr);
    EXPECT_GE(b.presets.size(), 5u);
    std::set<std::string> labels;
    std::set<std::map<std::string, float>> settings;
    for (const Preset& p : b.presets) {
        EXPECT_FALSE(p.label.empty()) << p.uri;
        labels.insert(p.label);
        std::map<std::string, float> s;
        for (const auto& [symbol, pv] : p.values) s[symbol] = pv.value;
        settings.insert(s);
    }
    EXPECT_EQ(labels.size(), b.presets.size()) << "two presets share a label";
    EXPECT_EQ(settings.size(), b.presets.size()) << "two presets share every setting";
}

// Any host can get back to the starting sound through the preset menu.
TEST(Presets, DefaultSetsEveryControlToItsTurtleDefault)
{
    Bundle b;
    ASSERT_NE(b.plugin, nullptr);
    const auto it = std::find_if(b.presets.begin(), b.presets.end(),
                                 [](const Preset& p) { return p.label == "Default"; });
    ASSERT_NE(it, b.presets.end()) << "no preset named Default";
    ASSERT_EQ(it->values.size(), b.controls.size());
    for (const auto& [symbol, c] : b.controls) EXPECT_EQ(it->values.at(symbol).value, c.def) << symbol;
}

TEST(Presets, EachSetsEveryControlToAFloatInsideItsRange)
{
    Bundle b;
    ASSERT_NE(b.plugin, nullptr);
    ASSERT_FALSE(b.presets.empty());
    const LV2_URID float_type = UridMap::lookup(&b.urids, LV2_ATOM__Float);
    for (const Preset& p : b.presets) {
        SCOPED_TRACE(p.label);
        EXPECT_EQ(p.values.size(), b.controls.size());
        for (const auto& [symbol, c] : b.controls) {
            SCOPED_TRACE(symbol);
            const auto it = p.values.find(symbol);
            ASSERT_NE(it, p.values.end()) << "control not set";
            // Hosts that only take float values (jalv among them for control
            // ports) would otherwise drop or misread the setting.
            EXPECT_EQ(it->second.type, float_type);
            const float v = it->second.value;
            EXPECT_GE(v, c.min);
            EXPECT_LE(v, c.max);
            if (c.integer) EXPECT_EQ(v, std::trunc(v));
            if (!c.scale_points.empty()) EXPECT_TRUE(c.scale_points.count(v)) << v << " is no listed choice";
        }
        // A glide shorter than one frame never runs, and the cutoff then
        // never moves in that direction: a preset would sound stuck.
        const float period = 48000.0f / p.values.at("rate").value;
        for (const char* glide : {"glide_down", "glide_up"})
            EXPECT_GE(period * (p.values.at(glide).value * 0.01f), 1.0f) << glide;
    }
}

// Each preset must be usable as it stands: the plugin, loaded by lilv as a
// host loads it, run with the preset on a sawtooth for four seconds gives
// finite output that is clearly audible and not much louder than the input.
TEST(Presets, EachSoundsThroughThePlugin)
{
    Bundle b;
    ASSERT_NE(b.plugin, nullptr);
    ASSERT_FALSE(b.presets.empty());
    constexpr uint32_t kBlock = 256;
    constexpr uint32_t kBlocks = 4 * 48000 / kBlock;
    for (const Preset& p : b.presets) {
        SCOPED_TRACE(p.label);
        LilvInstance* instance = lilv_plugin_instantiate(b.plugin, 48000.0, nullptr);
        ASSERT_NE(instance, nullptr);
        std::vector<float> controls(lilv_plugin_get_num_ports(b.plugin));
        for (const auto& [symbol, c] : b.controls) {
            controls[c.index] = p.values.at(symbol).value;
            lilv_instance_connect_port(instance, c.index, &controls[c.index]);
        }
        float in[kBlock], out[kBlock];
        lilv_instance_connect_port(instance, 0, in);
        lilv_instance_connect_port(instance, 1, out);
        lilv_instance_activate(instance);
        double in_energy = 0.0, out_energy = 0.0, peak = 0.0, phase = 0.0;
        bool finite = true;
        for (uint32_t block = 0; block < kBlocks; ++block) {
            for (float& s : in) {
                s = float(phase - 0.5);  // 110 Hz sawtooth at -6 dBFS
                phase += 110.0 / 48000.0;
                if (phase >= 1.0) phase -= 1.0;
                in_energy += double(s) * s;
            }
            lilv_instance_run(instance, kBlock);
            for (float s : out) {
                finite = finite && std::isfinite(s);
                out_energy += double(s) * s;
                peak = std::fmax(peak, std::fabs(double(s)));
            }
        }
        lilv_instance_deactivate(instance);
        lilv_instance_free(instance);
        const double gain_db = 10.0 * std::log10(out_energy / in_energy);
        std::printf("%-28s gain %6.1f dB, peak %.2f\n", p.label.c_str(), gain_db, peak);
        EXPECT_TRUE(finite);
        EXPECT_GT(gain_db, -20.0);
        EXPECT_LT(gain_db, 6.0);
        EXPECT_LT(peak, 2.0);
    }
}

} // namespace
