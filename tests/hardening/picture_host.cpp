// A host that shows the mixer strip's picture, for valgrind: loads the
// bundle through lilv, instantiates with queue_draw, runs, and renders at
// every request that Ardour and Carla make (growing, shrinking, absurd)
// while the cutoff moves; then cleans up and unloads. Exits non-zero when a
// picture is missing or not opaque.
#include <lilv/lilv.h>

#include <cstdio>
#include <vector>

#include "built_bundle.h"
#include "lv2/inline_display.h"

int main()
{
    LilvWorld* world = lilv_world_new();
    const LilvPlugin* plugin = load_built_plugin(world);
    if (!plugin) return 2;
    int asked = 0;
    zt::InlineDisplayQueueDraw queue{&asked, [](void* h) { ++*static_cast<int*>(h); }};
    const LV2_Feature feature{ZT_INLINE_DISPLAY__queue_draw, &queue};
    const LV2_Feature* features[] = {&feature, nullptr};
    LilvInstance* instance = lilv_plugin_instantiate(plugin, 44100, features);
    if (!instance) return 3;
    float control[zt::PORT_COUNT] = {0, 0, 100, 20, 50, 50, 0, 70, 1200, 4, 3};
    std::vector<float> in(512, 0.25f), out(512);
    lilv_instance_connect_port(instance, zt::PORT_IN, in.data());
    lilv_instance_connect_port(instance, zt::PORT_OUT, out.data());
    for (uint32_t p = zt::PORT_MIX; p < zt::PORT_COUNT; ++p) lilv_instance_connect_port(instance, p, &control[p]);
    const auto* display = static_cast<const zt::InlineDisplayInterface*>(
        lilv_instance_get_extension_data(instance, ZT_INLINE_DISPLAY__interface));
    if (!display) return 4;
    const uint32_t sizes[][2] = {{80, 112}, {200, 112}, {64, 64}, {300, 224}, {0, 0}, {1u << 30, 1u << 30}, {120, 1}};
    int bad = 0, call = 0;
    for (const auto& s : sizes)
        for (int i = 0; i < 4; ++i, ++call) {
            control[zt::PORT_TYPE] = float(call % 37);
            lilv_instance_run(instance, 512);
            const zt::InlineDisplaySurface* pic = display->render(lilv_instance_get_handle(instance), s[0], s[1]);
            if (!pic) {
                ++bad;
                continue;
            }
            for (int y = 0; y < pic->height; ++y)
                for (int x = 0; x < pic->width; ++x)
                    bad += reinterpret_cast<const uint32_t*>(pic->data + y * pic->stride)[x] >> 24 != 0xFF;
        }
    lilv_instance_free(instance);
    lilv_world_free(world);
    std::printf("%d runs, %d redraws asked, %d bad pixels or pictures\n", call, asked, bad);
    return bad == 0 && asked > 0 ? 0 : 1;
}
