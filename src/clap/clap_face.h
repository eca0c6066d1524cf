#pragma once
// What the CLAP face's files share among themselves; the host sees none of it
// but clap_entry.
#include <clap/clap.h>

#include "clap_plugin.h"

namespace zt {

inline ClapPlugin& clap_self(const clap_plugin_t* plugin)
{
    return *static_cast<ClapPlugin*>(plugin->plugin_data);
}

extern const clap_plugin_descriptor_t kClapDescriptor;        // mono
extern const clap_plugin_descriptor_t kClapStereoDescriptor;  // stereo

// The plugin's lifecycle (clap_plugin.cpp); channels 1 or 2.
const clap_plugin_t* clap_plugin_create(const clap_host_t* host, const clap_plugin_descriptor_t* desc,
                                        uint32_t channels);

// A host's value for a control as the plugin takes it: clamped to the range,
// false (and nothing taken) for a non-finite value or an unknown id.
bool clap_take_value(uint32_t port, double value, float* out);

// Audio thread, or main thread while inactive: the last state or preset
// load, and the window edits (reported to the host through `out`), applied
// to the controls.
void clap_apply_loaded(ClapPlugin& p);
void clap_apply_edits(ClapPlugin& p, const clap_output_events_t* out);

// Main thread: values for all nine controls (a state or preset load), shown
// at once and applied at the next process or flush.
void clap_load_controls(ClapPlugin& p, const float (&values)[kControlCount]);

void clap_flush(ClapPlugin& p, const clap_input_events_t* in, const clap_output_events_t* out);
clap_process_status clap_process(const clap_plugin_t* plugin, const clap_process_t* process);

extern const clap_plugin_audio_ports_t kClapAudioPorts;
extern const clap_plugin_params_t kClapParams;
extern const clap_plugin_state_t kClapState;
extern const clap_plugin_tail_t kClapTail;
extern const clap_plugin_preset_load_t kClapPresetLoad;
extern const clap_preset_discovery_factory_t kClapPresetDiscovery;

} // namespace zt
