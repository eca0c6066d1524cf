#pragma once
// The benchmarks' host for the VST3 face: one mono component through
// GetPluginFactory, the controls sent once as queue points, then process
// calls that walk through the same signal as the LV2 host's, with
// `points_per_call` points spread evenly over each call on one queue.
#include <vst3_c_api.h>

#include <cstdint>
#include <vector>

#include "bench_host.h"

namespace zt::bench {

struct Vst3BenchQueue {
    Steinberg_Vst_IParamValueQueueVtbl* lpVtbl;
    uint32_t id;
    int32_t count;
    int32_t offset[256];
    double value[256];
};

struct Vst3BenchChanges {
    Steinberg_Vst_IParameterChangesVtbl* lpVtbl;
    int32_t count;
    Vst3BenchQueue queue[P_COUNT];
};

struct Vst3BenchHost {
    Steinberg_Vst_IComponent* comp = nullptr;
    Steinberg_Vst_IAudioProcessor* proc = nullptr;
    Steinberg_Vst_IEditController* ctl = nullptr;
    Vst3BenchChanges changes;
    std::vector<float> signal;
    std::vector<float> out;
    uint32_t pos = 0;
    uint32_t flip = 0;

    explicit Vst3BenchHost(const ControlValues& c);
    ~Vst3BenchHost();
    Vst3BenchHost(const Vst3BenchHost&) = delete;
    Vst3BenchHost& operator=(const Vst3BenchHost&) = delete;

    // Points on resonance, alternating between two values, so each one
    // reaches the engine.
    void run(uint32_t frames, uint32_t per_call, uint32_t points_per_call = 0);
};

} // namespace zt::bench
