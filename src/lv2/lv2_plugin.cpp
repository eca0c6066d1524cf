// The library's face towards the LV2 host: one descriptor, one plugin. The
// mono and the stereo plugin are each a library of this file, built with
// their own URI and channel count.
#include <lv2/core/lv2.h>

#include <cstring>

#include "inline_display.h"
#include "../core/plugin.h"

namespace zt {

namespace {

// Instantiation threading class.
LV2_Handle lv2_instantiate(const LV2_Descriptor*, double rate, const char*, const LV2_Feature* const* features)
{
    Plugin* p = plugin_instantiate(rate, ZT_PLUGIN_CHANNELS);
    if (!p) return nullptr;
    for (const LV2_Feature* const* f = features; f && *f; ++f)
        if (std::strcmp((*f)->URI, ZT_INLINE_DISPLAY__queue_draw) == 0 && (*f)->data) {
            const auto* q = static_cast<const InlineDisplayQueueDraw*>((*f)->data);
            p->picture.redraw = HostRedraw{q->handle, q->queue_draw};
        }
    return p;
}

// The stereo plugin's ports are the mono plugin's (left at 0 and 1) with the
// right channel's at 11 and 12: the core's indices, passed on as they are.
void lv2_connect_port(LV2_Handle h, uint32_t port, void* data)
{
    plugin_connect_port(static_cast<Plugin*>(h), port, data);
}

// activate and deactivate leave every state alone: filter memories, the
// modulator's position and the ramps carry over.
void lv2_activate(LV2_Handle) {}
void lv2_deactivate(LV2_Handle) {}

// Audio threading class. A run that changed the picture asks the host for
// a new one, once.
void lv2_run(LV2_Handle h, uint32_t n)
{
    Plugin* p = static_cast<Plugin*>(h);
    const uint32_t seen = p->picture.serial;
    plugin_run(p, n);
    if (p->picture.serial != seen && p->picture.redraw.request) p->picture.redraw.request(p->picture.redraw.handle);
}

void lv2_cleanup(LV2_Handle h) { plugin_cleanup(static_cast<Plugin*>(h)); }

InlineDisplaySurface* lv2_render(LV2_Handle h, uint32_t w, uint32_t max_h)
{
    return plugin_render_picture(static_cast<Plugin*>(h), w, max_h);
}

const InlineDisplayInterface kInlineDisplay = {lv2_render};

const void* lv2_extension_data(const char* uri)
{
    if (std::strcmp(uri, ZT_INLINE_DISPLAY__interface) == 0) return &kInlineDisplay;
    return nullptr;
}

} // namespace

// ZT_PLUGIN_URI and ZT_PLUGIN_CHANNELS come from the build, which writes the same URI into the Turtle.
const LV2_Descriptor kDescriptor = {
    ZT_PLUGIN_URI, lv2_instantiate, lv2_connect_port, lv2_activate,
    lv2_run,       lv2_deactivate,  lv2_cleanup,      lv2_extension_data,
};

} // namespace zt

LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index)
{
    return index == 0 ? &zt::kDescriptor : nullptr;
}
