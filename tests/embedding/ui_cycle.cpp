// The window's whole lifetime as a host goes through it, N times over: load
// the library, open the window in a parent, take values and idle calls,
// close it, unload the library. Run under valgrind by ui_unload_check.sh,
// which compares what stays behind after 1 and after N lifetimes.
// Usage: zt_ui_cycle N
#include <cairo.h>

#include <cstdio>
#include <cstdlib>

#include "ui_rig.h"

int main(int argc, char** argv)
{
    const int n = argc > 1 ? std::atoi(argv[1]) : 1;
    // Every host with a GUI of its own holds cairo, fontconfig and Xlib
    // loaded. So does this one: unloading the window's library then unloads
    // only what is ours, and what stays behind is ours to answer for (a
    // fontconfig unloaded with us would drop its configuration each time).
    std::printf("cairo %s\n", cairo_version_string());
    zt_ui_test::use_private_x_server();
    // The plugin runs in this thread between the window's idle calls, so
    // that the window follows a moving cutoff, drawing just the plot.
    zt_ui_test::RunningPlugin plugin;
    zt_ui_test::Offer offer;
    offer.instance = plugin.handle;
    for (int i = 0; i < n; ++i) {
        zt_ui_test::UiRig rig;  // dlopen
        if (!rig.open(offer)) {
            std::fprintf(stderr, "the window did not open\n");
            return 1;
        }
        // The same values every time: cairo caches the glyphs of the text
        // drawn (bounded), and new digits would grow that cache.
        for (uint32_t port = 2; port < 11; ++port) rig.port_event(port, static_cast<float>(port));
        for (int k = 0; k < 40; ++k) {
            for (int call = 0; call < 8; ++call) plugin.desc->run(plugin.handle, 256);
            rig.idle();
        }
        rig.close();
    }  // dlclose
    return 0;
}
