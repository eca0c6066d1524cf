#pragma once
// What the host and the window show of each port: symbol, names, the one-line
// comment, group, range, default, unit and scale. The bundle's Turtle is
// written from this table at build time and the window reads it, so the
// ranges a host offers and the ones the window draws cannot drift apart.
// Nothing here is read by the sound path.
#include <cstddef>
#include <cstdint>

#include "plugin.h"

namespace zt {

enum class PortUnit : uint8_t { none, percent, hz, octaves };

// The port groups: hosts that read them show related controls together.
enum class PortGroup : uint8_t { input, output, modulation, band, filter, mix, count };

struct PortGroupInfo {
    const char* symbol;  // also the fragment of the group's URI
    const char* label;
};

inline constexpr PortGroupInfo kPortGroups[size_t(PortGroup::count)] = {
    {"main_in", "Main input"},
    {"main_out", "Main output"},
    {"modulation", "Random modulation"},
    {"band", "Band"},
    {"filter", "Filter"},
    {"output", "Output"},
};

struct ScalePoint {
    float value;
    const char* label;
};

// The shape control's five values; 2 and 3 draw the same way.
inline constexpr ScalePoint kShapePoints[] = {
    {0, "Uniform"},
    {1, "Alternating high and low"},
    {2, "Product of three (leans low)"},
    {3, "Product of three (same as 2)"},
    {4, "Upper half"},
};

// Rows 37 to 39 of the response table hold nothing and are not offered.
constexpr int kOfferedTypes = 37;

struct PortInfo {
    const char* symbol;
    const char* name;
    const char* short_name;  // at most 16 characters
    const char* comment;     // one line, in the user's terms
    PortGroup group;
    bool audio;
    bool input;
    float min, max, def;     // controls only
    PortUnit unit;
    bool logarithmic;
    bool integer;            // integer and enumeration: a menu in hosts
};

inline constexpr PortInfo kPorts[PORT_COUNT] = {
    {"in", "In", "In", "Mono audio input", PortGroup::input, true, true, 0, 0, 0,
     PortUnit::none, false, false},
    {"out", "Out", "Out", "Mono audio output: the filtered signal blended with the input",
     PortGroup::output, true, false, 0, 0, 0, PortUnit::none, false, false},
    {"mix", "Mix", "Mix",
     "Blend of dry input and filtered signal at equal power: -100 dry only, 0 both, +100 filtered only",
     PortGroup::mix, false, true, -100, 100, 100, PortUnit::percent, false, false},
    {"rate", "Rate", "Rate", "How many times a second the cutoff picks a new random place in the band",
     PortGroup::modulation, false, true, 0.1f, 50, 7.5f, PortUnit::hz, true, false},
    {"glide_down", "Glide down", "Glide down",
     "Glide time of a falling move, in percent of the time between moves (100 always gliding, 1 steps, 0 never falls)",
     PortGroup::modulation, false, true, 0, 100, 1, PortUnit::percent, false, false},
    {"glide_up", "Glide up", "Glide up",
     "Glide time of a rising move, in percent of the time between moves (100 always gliding, 1 steps, 0 never rises)",
     PortGroup::modulation, false, true, 0, 100, 1, PortUnit::percent, false, false},
    {"shape", "Shape", "Shape", "How each new random place is drawn: evenly, alternating high and low, leaning low, or in the upper half",
     PortGroup::modulation, false, true, 0, 4, 0, PortUnit::none, false, true},
    {"resonance", "Resonance", "Resonance", "Emphasis at the cutoff: the feedback gain is twice this fraction",
     PortGroup::filter, false, true, 0, 100, 70, PortUnit::percent, false, false},
    {"center", "Centre", "Centre", "Centre frequency of the band the cutoff moves in",
     PortGroup::band, false, true, 20, 20000, 1200, PortUnit::hz, true, false},
    {"octaves", "Octaves", "Octaves", "Width of the band, half below and half above the centre (0 holds the cutoff at the centre)",
     PortGroup::band, false, true, 0, 10, 4, PortUnit::octaves, false, false},
    {"type", "Type", "Type", "Response type: low-pass, high-pass, band-pass, notch, all-pass, phaser and combinations",
     PortGroup::filter, false, true, 0, kOfferedTypes - 1, 3, PortUnit::none, false, true},
};

// The stereo plugin's audio ports: the left channel's at the mono plugin's
// indices 0 and 1, the right channel's at 11 and 12; its controls are the
// ones above.
inline constexpr PortInfo kStereoAudioPorts[4] = {
    {"in_l", "In L", "In L", "Left audio input", PortGroup::input, true, true, 0, 0, 0,
     PortUnit::none, false, false},
    {"out_l", "Out L", "Out L", "Left audio output: the filtered signal blended with the input",
     PortGroup::output, true, false, 0, 0, 0, PortUnit::none, false, false},
    {"in_r", "In R", "In R", "Right audio input", PortGroup::input, true, true, 0, 0, 0,
     PortUnit::none, false, false},
    {"out_r", "Out R", "Out R", "Right audio output: the filtered signal blended with the input",
     PortGroup::output, true, false, 0, 0, 0, PortUnit::none, false, false},
};

// Port `index` of the plugin with `channels` channels (1 or 2).
constexpr const PortInfo& port_info(uint32_t index, uint32_t channels)
{
    if (channels == 2) {
        if (index == PORT_IN || index == PORT_OUT) return kStereoAudioPorts[index - PORT_IN];
        if (index == PORT_IN_R || index == PORT_OUT_R) return kStereoAudioPorts[2 + index - PORT_IN_R];
    }
    return kPorts[index];
}

constexpr uint32_t port_count(uint32_t channels) { return channels == 2 ? STEREO_PORT_COUNT : PORT_COUNT; }

// The label of response type `row` as hosts and the window list it: the
// row's name, with " #row" added where another offered row has the same name.
// Writes at most `size` bytes, always terminated.
void type_label(int row, char* out, size_t size);

} // namespace zt
