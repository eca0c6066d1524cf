#pragma once
// The factory presets, one table for every format: the LV2 presets' Turtle
// is written from it at build time and the CLAP face lists and loads it.
// Every preset sets every control, so loading one always gives the same
// sound whatever was set before. Glides are never 0 %: a glide of no frames
// is never heard, so moves in that direction would freeze.
#include "port_table.h"

namespace zt {

constexpr uint32_t kPresetControls = PORT_COUNT - PORT_MIX;

struct PresetInfo {
    const char* key;      // the LV2 preset's URI ends in "#preset-" key
    const char* label;
    const char* comment;
    float value[kPresetControls];  // ports 2 ... 10: mix, rate, glide down, glide up,
                                   // shape, resonance, centre, octaves, type
};

inline constexpr PresetInfo kPresets[] = {
    {"default", "Default", "Every control at its default: the sound the plugin starts with.",
     {kPorts[2].def, kPorts[3].def, kPorts[4].def, kPorts[5].def, kPorts[6].def, kPorts[7].def,
      kPorts[8].def, kPorts[9].def, kPorts[10].def}},
    {"slow-sweep", "Slow random sweep",
     "A resonant 4-pole low-pass gliding all the time between random highs and lows, a new turn every 2.5 seconds.",
     {100, 0.4f, 100, 100, 1, 75, 700, 5, 3}},
    {"chirps", "Fast random chirps",
     "A ringing band-pass moving to a new random pitch ten times a second: quick jumps up, long slides down.",
     {100, 10, 70, 2, 0, 90, 1800, 4, 7}},
    {"phaser", "Random phaser",
     "Two notches and a peak sweeping up and down over four octaves, every turn at a new random point.",
     {100, 0.7f, 100, 100, 1, 50, 900, 4, 23}},
    {"notch", "Wandering notch",
     "A deep notch drifting to a new random place every two thirds of a second; the rest of the spectrum stays nearly flat.",
     {100, 1.5f, 100, 100, 0, 10, 1000, 4, 9}},
    {"wobble", "Gentle band-pass wobble",
     "A soft band-pass rocking between low and high within two octaves, with some of the dry signal under it.",
     {50, 2.5f, 50, 50, 1, 40, 900, 2, 7}},
    {"thinning", "Random high-pass thinning",
     "A resonant high-pass that mostly sits low and now and then snaps up to thin the sound out, nine steps a second.",
     {100, 9, 1, 1, 2, 80, 500, 5, 5}},
};

constexpr uint32_t kPresetCount = sizeof kPresets / sizeof kPresets[0];

} // namespace zt
