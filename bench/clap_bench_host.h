#pragma once
// The benchmarks' host for the CLAP face: one instance through clap_entry,
// the controls sent once as param events, then process calls that walk
// through the same signal as the LV2 host's, with `events_per_call` param
// events spread evenly over each call.
#include <clap/clap.h>

#include <cstdint>
#include <vector>

#include "bench_host.h"

namespace zt::bench {

struct ClapBenchHost {
    clap_host_t host;
    const clap_plugin_t* plugin = nullptr;
    std::vector<float> signal;
    std::vector<float> out;
    std::vector<clap_event_param_value_t> events;
    uint32_t pos = 0;
    uint32_t flip = 0;

    explicit ClapBenchHost(const ControlValues& c);
    ~ClapBenchHost();
    ClapBenchHost(const ClapBenchHost&) = delete;
    ClapBenchHost& operator=(const ClapBenchHost&) = delete;

    static constexpr uint32_t kMixedEvents = 4;
    // `moved`: 0 resonance, 1 mix, 2 centre, 3 width, kMixedEvents all four.
    void run(uint32_t frames, uint32_t per_call, uint32_t events_per_call = 0, uint32_t moved = 0);
};

} // namespace zt::bench
