#pragma once
// One plugin instance with its eleven ports wired to local buffers, driven
// through the same operations the host calls.
#include <cmath>
#include <cstdint>
#include <vector>

#include "core/plugin.h"

namespace zt::test {

struct Rig {
    Plugin* p = plugin_instantiate(48000.0);
    // The bundle's port defaults.
    float port[PORT_COUNT] = {0, 0, 100.0f, 7.5f, 1.0f, 1.0f, 0.0f, 70.0f, 1200.0f, 4.0f, 3.0f};
    std::vector<float> in, out;

    explicit Rig(uint32_t frames = 4096) : in(frames), out(frames)
    {
        // A sawtooth keeps the stages busy so that every setting shows.
        for (uint32_t j = 0; j < frames; ++j) in[j] = static_cast<float>(j % 97) / 48.0f - 1.0f;
        plugin_connect_port(p, PORT_IN, in.data());
        plugin_connect_port(p, PORT_OUT, out.data());
        for (uint32_t i = PORT_MIX; i < PORT_COUNT; ++i) plugin_connect_port(p, i, &port[i]);
    }
    ~Rig() { plugin_cleanup(p); }
    Rig(const Rig&) = delete;
    Rig& operator=(const Rig&) = delete;

    FilterEngine& e() { return *p->engine; }
    void run(uint32_t n) { plugin_run(p, n); }
    // Runs any number of frames in calls of at most the buffer size; true
    // when every output sample was finite.
    bool run_long(uint64_t n)
    {
        bool finite = true;
        while (n > 0) {
            const uint32_t k = static_cast<uint32_t>(n < in.size() ? n : in.size());
            run(k);
            for (uint32_t j = 0; j < k; ++j) finite = finite && std::isfinite(out[j]);
            n -= k;
        }
        return finite;
    }
};

} // namespace zt::test
