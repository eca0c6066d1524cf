// The library's face towards the LV2 host: one descriptor, one plugin.
#include <lv2/core/lv2.h>

#include "../core/plugin.h"

namespace zt {

namespace {

LV2_Handle lv2_instantiate(const LV2_Descriptor*, double rate, const char*, const LV2_Feature* const*)
{
    return plugin_instantiate(rate);
}

void lv2_connect_port(LV2_Handle h, uint32_t port, void* data)
{
    plugin_connect_port(static_cast<Plugin*>(h), port, data);
}

// activate and deactivate leave every state alone: filter memories, the
// modulator's position and the ramps carry over.
void lv2_activate(LV2_Handle) {}
void lv2_deactivate(LV2_Handle) {}

void lv2_run(LV2_Handle h, uint32_t n) { plugin_run(static_cast<Plugin*>(h), n); }

void lv2_cleanup(LV2_Handle h) { plugin_cleanup(static_cast<Plugin*>(h)); }

const void* lv2_extension_data(const char*) { return nullptr; }

} // namespace

// ZT_PLUGIN_URI comes from the build, which writes the same URI into the Turtle.
const LV2_Descriptor kDescriptor = {
    ZT_PLUGIN_URI, lv2_instantiate, lv2_connect_port, lv2_activate,
    lv2_run,       lv2_deactivate,  lv2_cleanup,      lv2_extension_data,
};

} // namespace zt

LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index)
{
    return index == 0 ? &zt::kDescriptor : nullptr;
}
