// The CLAP window's whole lifetime as a host goes through it, many times
// over: load the .clap, make the plugin, then 20 times open the window in a
// parent, process (the cutoff moves), run the host's timer and fd watch,
// close it; destroy the plugin, unload. Run under valgrind by
// ui_unload_check.sh, which compares what stays behind after 1 and after N
// lifetimes. Usage: zt_clap_gui_cycle N
#include <cairo.h>

#include <cstdio>
#include <cstdlib>

#include "gui_host.h"

int main(int argc, char** argv)
{
    const int n = argc > 1 ? std::atoi(argv[1]) : 1;
    // Held loaded as any host with a GUI holds them (see zt_ui_cycle).
    std::printf("cairo %s\n", cairo_version_string());
    for (int i = 0; i < n; ++i) {
        zt_clap_test::GuiHost host;  // dlopen
        host.plugin->start_processing(host.plugin);
        for (int window = 0; window < 20; ++window) {
            if (!host.open(1.0)) {
                std::fprintf(stderr, "the window did not open\n");
                return 1;
            }
            for (int k = 0; k < 10; ++k) {
                for (int block = 0; block < 8; ++block) host.process(256);
                host.idle();
            }
            host.gui->destroy(host.plugin);
        }
        host.plugin->stop_processing(host.plugin);
    }  // dlclose
    return 0;
}
