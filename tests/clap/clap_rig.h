#pragma once
// A small CLAP host over the face's objects linked into the test, beside the
// LV2 descriptor over the same core, so that renders through the two faces
// can be compared bit for bit. Both draw from the one generator in this
// process: a comparison starts each render from the generator's start.
#include <clap/clap.h>
#include <lv2/core/lv2.h>

#include <cstring>
#include <string>
#include <vector>

#include "clap/clap_plugin.h"

extern "C" const clap_plugin_entry_t clap_entry;
extern "C" const LV2_Descriptor* lv2_descriptor(uint32_t index);

namespace zt_test {

// What the host heard from the plugin.
struct HostLog {
    int rescans = 0, flush_requests = 0, preset_errors = 0;
    std::string loaded_key;
};

struct OutEvent {
    uint16_t type;
    uint32_t param;
    double value;
};

struct ClapRig {
    HostLog log;
    clap_host_t host;
    clap_host_params_t host_params;
    clap_host_preset_load_t host_presets;
    const clap_plugin_t* plugin = nullptr;
    const clap_plugin_params_t* params = nullptr;
    std::vector<clap_event_param_value_t> events;
    std::vector<OutEvent> out;

    explicit ClapRig(bool activate = true, const char* id = "org.zirpomatik.tolm");
    ~ClapRig();
    zt::ClapPlugin& self() const { return *static_cast<zt::ClapPlugin*>(plugin->plugin_data); }
    template <typename T> const T* ext(const char* id) const
    {
        return static_cast<const T*>(plugin->get_extension(plugin, id));
    }
    double value(uint32_t id) const;
    void event(uint32_t at, uint32_t id, double v);
    // One process call over the queued events, which it empties.
    clap_process_status process(const float* in, float* out_buf, uint32_t n);
};

// A control change of a comparison: what the CLAP host sends at frame `at`
// of its block, and what an LV2 host sets for the same effect (NaN: nothing).
struct Move {
    uint32_t at, port;
    double sent;
    float lv2;
};

// The same input, rendered by both faces from the generator's start.
std::vector<float> test_input(size_t frames);
std::vector<float> render_lv2(const std::vector<float>& in, uint32_t block, const std::vector<Move>& first_block);
std::vector<float> render_clap(ClapRig& rig, const std::vector<float>& in, uint32_t block,
                               const std::vector<Move>& first_block);
bool same_bits(const std::vector<float>& a, const std::vector<float>& b);

} // namespace zt_test
