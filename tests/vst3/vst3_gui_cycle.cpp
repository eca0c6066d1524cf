// The VST3 window's lifetime as a host goes through it, N times over: load
// the library and make the plugin, then 20 times open the window, process
// (the cutoff moves) and run the host's loop, close it; let go, unload.
// Run under valgrind by ui_unload_check.sh. Usage: zt_vst3_gui_cycle N
#include <cairo.h>

#include <cstdio>
#include <cstdlib>

#include "vst3_gui_host.h"

int main(int argc, char** argv)
{
    std::printf("cairo %s\n", cairo_version_string());  // held loaded, as by any host with a GUI
    for (int i = 0, n = argc > 1 ? std::atoi(argv[1]) : 1; i < n; ++i) {
        zt_vst3_test::GuiHost host;
        for (int window = 0; window < 20; ++window) {
            if (!host.open(1.0f)) return std::fprintf(stderr, "the window did not open\n"), 1;
            for (int k = 0; k < 80; ++k) {
                host.process(256);
                if (k % 8 == 7) host.idle();
            }
            host.close();
        }
    }
    return 0;
}
