#pragma once
// A minimal LV2 host for the hardening tests: one instance with its control
// values, driven through the plugin's descriptor as a host would. Either
// the descriptor of the objects linked into the test, or that of the built
// module loaded through lilv (see LoadedModule).
#include <lilv/lilv.h>

#include "built_bundle.h"
#include <lv2/core/lv2.h>

#include <array>
#include <cstdint>
#include <memory>

#include "core/plugin.h"

namespace zt_test {

// The bundle's defaults, by port index.
constexpr std::array<float, zt::PORT_COUNT> kDefaults = {0, 0, 100, 7.5f, 1, 1, 0, 70, 1200, 4, 3};

struct Rig {
    const LV2_Descriptor* desc;
    LV2_Handle handle;
    std::array<float, zt::PORT_COUNT> control = kDefaults;

    Rig(const LV2_Descriptor* d, double rate = 48000, const LV2_Feature* const* features = nullptr)
        : desc(d), handle(d->instantiate(d, rate, "", features))
    {
        for (uint32_t p = zt::PORT_MIX; p < zt::PORT_COUNT; ++p) desc->connect_port(handle, p, &control[p]);
    }
    ~Rig()
    {
        if (handle) desc->cleanup(handle);
    }
    Rig(const Rig&) = delete;
    Rig& operator=(const Rig&) = delete;

    void connect(const float* in, float* out)
    {
        desc->connect_port(handle, zt::PORT_IN, const_cast<float*>(in));
        desc->connect_port(handle, zt::PORT_OUT, out);
    }
    void run(uint32_t n) { desc->run(handle, n); }
    void run(const float* in, float* out, uint32_t n)
    {
        connect(in, out);
        run(n);
    }
};

// The descriptor of the objects linked into the test binary.
inline const LV2_Descriptor* linked_descriptor() { return lv2_descriptor(0); }

// The built module, loaded by lilv from its bundle in the build tree.
// The library stays loaded for the life of this object.
struct LoadedModule {
    LilvWorld* world = lilv_world_new();
    LilvInstance* loader = nullptr;

    LoadedModule()
    {
        const LilvPlugin* p = load_built_plugin(world);
        // An instance keeps the module loaded; its descriptor serves every Rig.
        if (p) loader = lilv_plugin_instantiate(p, 48000, nullptr);
    }
    ~LoadedModule()
    {
        if (loader) lilv_instance_free(loader);
        lilv_world_free(world);
    }
    const LV2_Descriptor* descriptor() const { return loader ? lilv_instance_get_descriptor(loader) : nullptr; }
};

} // namespace zt_test
