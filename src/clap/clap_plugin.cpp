// The plugin's lifecycle and the values shared by the host's threads.
#include <bit>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "clap_face.h"
#include "../core/port_table.h"

namespace zt {

namespace {

// The record comes from the C library's allocator and is built in place, as
// the core's instance is: the library needs nothing of the C++ runtime.
bool plugin_init(const clap_plugin_t* plugin)
{
    ClapPlugin& p = clap_self(plugin);
    p.host_params = static_cast<const clap_host_params_t*>(p.host->get_extension(p.host, CLAP_EXT_PARAMS));
    p.host_presets =
        static_cast<const clap_host_preset_load_t*>(p.host->get_extension(p.host, CLAP_EXT_PRESET_LOAD));
    if (!p.host_presets)
        p.host_presets = static_cast<const clap_host_preset_load_t*>(
            p.host->get_extension(p.host, CLAP_EXT_PRESET_LOAD_COMPAT));
    // The core is made for the engine's rate: it processes at 48 kHz
    // whatever rate activate brings.
    p.core = plugin_instantiate(kEngineRate, p.channels);
    if (!p.core) return false;
    for (uint32_t port = kFirstControl; port < PORT_COUNT; ++port)
        plugin_connect_port(p.core, port, &p.controls[port]);
    return true;
}

void plugin_destroy(const clap_plugin_t* plugin)
{
    ClapPlugin* p = &clap_self(plugin);
#ifdef ZT_CLAP_GUI
    clap_gui_close(*p);
#endif
    if (p->core) plugin_cleanup(p->core);
    p->~ClapPlugin();
    std::free(p);
}

// As in LV2, activation leaves the sound's state alone (filter memories,
// the modulator's position, the ramps); only the host's rate is recorded.
bool plugin_activate(const clap_plugin_t* plugin, double sample_rate, uint32_t, uint32_t)
{
    ClapPlugin& p = clap_self(plugin);
    p.core->sample_rate = sample_rate;
    p.active = true;
    return true;
}

void plugin_deactivate(const clap_plugin_t* plugin) { clap_self(plugin).active = false; }

bool plugin_start_processing(const clap_plugin_t* plugin)
{
    clap_self(plugin).processing.store(true, std::memory_order_relaxed);
    return true;
}

void plugin_stop_processing(const clap_plugin_t* plugin)
{
    clap_self(plugin).processing.store(false, std::memory_order_relaxed);
}

void plugin_reset(const clap_plugin_t* plugin) { plugin_reset_sound(clap_self(plugin).core); }

const void* plugin_get_extension(const clap_plugin_t*, const char* id)
{
    if (!id) return nullptr;
    if (std::strcmp(id, CLAP_EXT_AUDIO_PORTS) == 0) return &kClapAudioPorts;
    if (std::strcmp(id, CLAP_EXT_PARAMS) == 0) return &kClapParams;
    if (std::strcmp(id, CLAP_EXT_STATE) == 0) return &kClapState;
    if (std::strcmp(id, CLAP_EXT_TAIL) == 0) return &kClapTail;
    if (std::strcmp(id, CLAP_EXT_PRESET_LOAD) == 0 || std::strcmp(id, CLAP_EXT_PRESET_LOAD_COMPAT) == 0)
        return &kClapPresetLoad;
#ifdef ZT_CLAP_GUI
    if (std::strcmp(id, CLAP_EXT_GUI) == 0) return &kClapGui;
    if (std::strcmp(id, CLAP_EXT_TIMER_SUPPORT) == 0) return &kClapTimer;
    if (std::strcmp(id, CLAP_EXT_POSIX_FD_SUPPORT) == 0) return &kClapPosixFd;
#endif
    return nullptr;
}

void plugin_on_main_thread(const clap_plugin_t*) {}

// One input and one output port (mono, or stereo with both channels), which
// may be the same buffers.
uint32_t ports_count(const clap_plugin_t*, bool) { return 1; }

bool ports_get(const clap_plugin_t* plugin, uint32_t index, bool is_input, clap_audio_port_info_t* info)
{
    if (index != 0 || !info) return false;
    const uint32_t channels = clap_self(plugin).channels;
    info->id = is_input ? PORT_IN : PORT_OUT;
    std::snprintf(info->name, sizeof info->name, "%s", kPorts[info->id].name);
    info->flags = CLAP_AUDIO_PORT_IS_MAIN;
    info->channel_count = channels;
    info->port_type = channels == 2 ? CLAP_PORT_STEREO : CLAP_PORT_MONO;
    info->in_place_pair = is_input ? PORT_OUT : PORT_IN;
    return true;
}

} // namespace

const clap_plugin_audio_ports_t kClapAudioPorts = {ports_count, ports_get};

const clap_plugin_t* clap_plugin_create(const clap_host_t* host, const clap_plugin_descriptor_t* desc, uint32_t channels)
{
    void* mem = std::calloc(1, sizeof(ClapPlugin));
    if (!mem) return nullptr;
    ClapPlugin* p = new (mem) ClapPlugin{};
    p->host = host;
    p->channels = channels;
    p->clap = clap_plugin_t{desc, p, plugin_init, plugin_destroy, plugin_activate,
                            plugin_deactivate, plugin_start_processing, plugin_stop_processing,
                            plugin_reset, clap_process, plugin_get_extension, plugin_on_main_thread};
    for (uint32_t port = kFirstControl; port < PORT_COUNT; ++port) {
        p->controls[port] = kPorts[port].def;
        p->shown[port].store(kPorts[port].def, std::memory_order_relaxed);
    }
    return &p->clap;
}

float clap_plugin_value(const ClapPlugin& p, uint32_t port)
{
    return is_control_port(port) ? p.shown[port].load(std::memory_order_relaxed) : 0.0f;
}

bool clap_plugin_take_host_change(ClapPlugin& p, uint32_t port, float* value)
{
    if (!is_control_port(port)) return false;
    const uint32_t bit = 1u << port;
    if (!(p.host_changed.load(std::memory_order_acquire) & bit)) return false;
    p.host_changed.fetch_and(~bit, std::memory_order_acq_rel);
    if (value) *value = p.shown[port].load(std::memory_order_relaxed);
    return true;
}

void clap_plugin_edit(ClapPlugin& p, uint32_t port, float value, bool gesture_begin, bool gesture_end)
{
    float v;
    if (!clap_take_value(port, value, &v)) return;
    const uint32_t bit = 1u << port;
    // An end whose beginning was dropped would end a gesture the host never saw.
    if (gesture_end && !gesture_begin && !(p.gestures_open & bit)) gesture_end = false;
    uint32_t open_after = p.gestures_open;
    if (gesture_begin) open_after |= bit;
    if (gesture_end) open_after &= ~bit;
    EditRing& r = p.edits;
    const uint32_t head = r.head.load(std::memory_order_relaxed);
    const uint32_t room = kEditRingSize - (head - r.tail.load(std::memory_order_acquire));
    // This edit, and a slot for the end of every gesture still open after it.
    if (room < 1 + static_cast<uint32_t>(std::popcount(open_after))) return;
    p.gestures_open = open_after;
    p.shown[port].store(v, std::memory_order_relaxed);
    r.slot[head % kEditRingSize] = ClapEdit{port, v, gesture_begin, gesture_end};
    r.head.store(head + 1, std::memory_order_release);
    if (!p.processing.load(std::memory_order_relaxed) && p.host_params)
        p.host_params->request_flush(p.host);
}

void clap_load_controls(ClapPlugin& p, const float (&values)[kControlCount])
{
    uint32_t mask = 0;
    for (uint32_t i = 0; i < kControlCount; ++i) {
        const uint32_t port = kFirstControl + i;
        p.loaded[port].store(values[i], std::memory_order_relaxed);
        p.shown[port].store(values[i], std::memory_order_relaxed);
        mask |= 1u << port;
    }
    p.loaded_mask.fetch_or(mask, std::memory_order_release);
    p.host_changed.fetch_or(mask, std::memory_order_release);
    // No audio thread runs while inactive: the values are applied here.
    if (!p.active) clap_apply_loaded(p);
    else if (p.host_params) p.host_params->request_flush(p.host);
    if (p.host_params) p.host_params->rescan(p.host, CLAP_PARAM_RESCAN_VALUES);
}

} // namespace zt
