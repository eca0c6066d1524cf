#pragma once
// A minimal host for the benchmarks: one instance through the LV2 descriptor,
// its control ports held here at the bundle's defaults, and a long input
// signal that the calls walk through so the filter sees changing audio.
#include <lv2/core/lv2.h>

#include <cstdint>
#include <vector>

namespace zt::bench {

enum : uint32_t { P_IN, P_OUT, P_MIX, P_RATE, P_GLIDE_DOWN, P_GLIDE_UP, P_SHAPE, P_RESONANCE, P_CENTER, P_OCTAVES, P_TYPE, P_COUNT };

// The bundle's defaults: mix 100 %, 7.5 Hz, glides 1 %, shape 0,
// resonance 70 %, centre 1200 Hz, 4 octaves, type 3 (4-pole low-pass).
struct ControlValues {
    float v[P_COUNT] = {0, 0, 100.0f, 7.5f, 1.0f, 1.0f, 0.0f, 70.0f, 1200.0f, 4.0f, 3.0f};
};

// A 110 Hz sawtooth at half scale, long enough that runs of a few thousand
// frames never repeat the same stretch back to back.
std::vector<float> make_saw(uint32_t frames);

struct Host {
    const LV2_Descriptor* desc = nullptr;
    LV2_Handle handle = nullptr;
    ControlValues controls;
    std::vector<float> signal;
    std::vector<float> out;
    std::vector<float> out_right;
    uint32_t pos = 0;  // where the next call reads in `signal`
    uint32_t channels = 1;

    // channels 2: a stereo instance, the right channel fed the signal half
    // its length further on.
    explicit Host(const ControlValues& c, const LV2_Feature* const* features = nullptr, uint32_t channels = 1);
    ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    // Runs `frames` frames in calls of `per_call`, continuing the signal.
    void run(uint32_t frames, uint32_t per_call);
    // Runs `frames` frames of silence in calls of `per_call`.
    void run_silence(uint32_t frames, uint32_t per_call);
};

} // namespace zt::bench
