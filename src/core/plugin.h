#pragma once
// The per-instance record handed to the host, and the operations the host
// calls on it.
#include <cstdint>

#include "picture.h"
#include "published_float.h"
#include "smoother.h"
#include "../engine/filter_engine.h"
#include "../support/random_gen.h"

namespace zt {

constexpr uint32_t kBlockSize = 16;  // frames per smoothing step

enum PortIndex : uint32_t {
    PORT_IN = 0,
    PORT_OUT = 1,
    PORT_MIX = 2,
    PORT_RATE = 3,
    PORT_GLIDE_DOWN = 4,
    PORT_GLIDE_UP = 5,
    PORT_SHAPE = 6,
    PORT_RESONANCE = 7,
    PORT_CENTER = 8,
    PORT_OCTAVES = 9,
    PORT_TYPE = 10,
    PORT_COUNT = 11,      // the mono plugin's ports
    // The stereo plugin's right channel, after the mono plugin's ports so
    // that both plugins share every other index.
    PORT_IN_R = 11,
    PORT_OUT_R = 12,
    STEREO_PORT_COUNT = 13,
};

constexpr uint32_t kMaxChannels = 2;

struct Plugin {
    FilterEngine* engine;   // owned
    double sample_rate;     // recorded only: processing always runs at kEngineRate
    uint32_t channels;      // 1 or 2, fixed at instantiate
    // Each channel's audio (PORT_IN / PORT_OUT, PORT_IN_R / PORT_OUT_R).
    const float* in[kMaxChannels];
    float* out[kMaxChannels];
    // The right channel's filter memories; the left channel's are the
    // engine's own, so a mono instance runs exactly as it always has.
    ChannelMemory right;
    SmoothedParam mix;      // port percent * 0.01
    SmoothedParam rate;
    PlainParam glide_down;
    PlainParam glide_up;
    PlainParam shape;
    PlainParam resonance;
    SmoothedParam center;
    SmoothedParam octaves;
    PlainParam type;
    // Frames already run in the current block. Kept across calls so that the
    // smoothers step at every 16th frame of the stream, whatever the split.
    uint32_t block_pos;
    // Drawn from instead of g_random while another instance's run holds it.
    RandomGen own_random;
    // The cutoff at the end of the last run call, for a window that has the
    // instance (instance-access) to read at its own pace from the host's UI
    // thread. NaN until the first run.
    PublishedFloat live_cutoff;
    // The picture a host may show beside the track (picture.h).
    PluginPicture picture;
};

// The cutoff the instance last published (Hz at the engine's 48 kHz; NaN
// before its first run). Safe from any thread while run goes on.
inline float plugin_live_cutoff(const Plugin& p) { return p.live_cutoff.load(); }

// Host operations (the descriptor's function pointers). A stereo instance
// (channels 2) runs both channels from one modulator and one set of
// smoothers: each channel comes out as a mono instance would write it for
// that channel alone, and the generator is drawn from as by one instance.
Plugin* plugin_instantiate(double sample_rate, uint32_t channels = 1);
void plugin_connect_port(Plugin* p, uint32_t port, void* data);
void plugin_run(Plugin* p, uint32_t n);
void plugin_cleanup(Plugin* p);
// plugin_run in its parts, for a face that cuts one host call into several
// runs at its events: the caller holds the filter's floating-point mode
// (FpModeScope) around them all, and publishes for the window and the
// host's picture once after the last.
void plugin_run_in_mode(Plugin* p, uint32_t n);
void plugin_publish(Plugin* p);
// Back to the state of a fresh instance (filter memories, modulator, ramps),
// as hosts ask for when they jump in the timeline. The random sequence goes on.
void plugin_reset_sound(Plugin* p);

// Control intake and smoothing, run by plugin_run.
void intake_controls(Plugin& p);
void step_smoothers(Plugin& p);

} // namespace zt
