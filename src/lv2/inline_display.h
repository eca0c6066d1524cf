#pragma once
// A host's small picture of the plugin beside the track ("inline display",
// shown by Ardour and the hosts built from it in the mixer strip, and by
// Carla). Not part of LV2 itself, so its few types are declared here.
#include <lv2/core/lv2.h>

#include "../core/plugin.h"

#define ZT_INLINE_DISPLAY_URI "http://harrisonconsoles.com/lv2/inlinedisplay"
#define ZT_INLINE_DISPLAY__interface ZT_INLINE_DISPLAY_URI "#interface"
#define ZT_INLINE_DISPLAY__queue_draw ZT_INLINE_DISPLAY_URI "#queue_draw"
#define ZT_INLINE_DISPLAY__in_gui ZT_INLINE_DISPLAY_URI "#in_gui"

namespace zt {

// The surface a render returns: the host's layout, which PictureImage keeps.
using InlineDisplaySurface = PictureImage;

// The data of the queue_draw feature, which a plugin may call from run.
struct InlineDisplayQueueDraw {
    void* handle;
    void (*queue_draw)(void* handle);
};

// What extension_data returns for the interface. render belongs to the
// host's GUI thread; the surface is the plugin's until the next render or
// cleanup.
struct InlineDisplayInterface {
    InlineDisplaySurface* (*render)(LV2_Handle instance, uint32_t w, uint32_t max_h);
};

} // namespace zt
