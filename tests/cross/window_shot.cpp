// The window's library as a host built for the same processor meets it:
// opened in a parent window on a private X server, drawn, dragged on a
// dial, and photographed twice (as opened, after the drag) into OUTDIR as
// open.ppm and dragged.ppm; the host calls the drag made go to standard
// output. The build for each processor writes its own, and the stage
// compares them with the x86-64 ones (tests/embedding checks what a drag
// must write).
//
//   zt_window_shot OUTDIR
#include <X11/Xutil.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/plugin.h"
#include "ui/view.h"
#include "../embedding/ui_rig.h"

namespace {

using namespace zt_ui_test;

int g_failures = 0;

void check(bool ok, const char* what)
{
    if (ok) return;
    std::fprintf(stderr, "zt_window_shot: %s\n", what);
    ++g_failures;
}

// A few idle calls, as a host's timer makes them, with time for the server.
void settle(UiRig& rig)
{
    for (int i = 0; i < 5; ++i) {
        rig.idle();
        usleep(20000);
    }
}

bool photograph(UiRig& rig, const std::string& path)
{
    XSync(rig.display, False);
    int w = 0, h = 0;
    rig.child_size(&w, &h);
    XImage* image = XGetImage(rig.display, rig.child, 0, 0, static_cast<unsigned>(w), static_cast<unsigned>(h),
                              AllPlanes, ZPixmap);
    if (!image) return false;
    std::vector<unsigned char> rgb;
    rgb.reserve(static_cast<size_t>(w) * h * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const unsigned long p = XGetPixel(image, x, y);
            rgb.push_back(static_cast<unsigned char>(p >> 16));
            rgb.push_back(static_cast<unsigned char>(p >> 8));
            rgb.push_back(static_cast<unsigned char>(p));
        }
    XDestroyImage(image);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    std::fprintf(f, "P6\n%d %d\n255\n", w, h);
    const bool ok = std::fwrite(rgb.data(), 1, rgb.size(), f) == rgb.size();
    return std::fclose(f) == 0 && ok;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: zt_window_shot OUTDIR\n");
        return 2;
    }
    const std::string out = argv[1];
    UiRig rig;
    Offer offer;
    offer.scale = 1.0;
    if (!rig.open(offer)) {
        std::fprintf(stderr, "zt_window_shot: the window did not open\n");
        return 1;
    }
    settle(rig);
    check(photograph(rig, out + "/open.ppm"), "cannot photograph the opened window");

    // Mix dragged 80 pixels down in four steps.
    const uint32_t port = zt::PORT_MIX;
    zt::View v;
    zt::view_init(v);
    zt::view_set_scale(v, 1.0);
    int w = 0, h = 0;
    rig.child_size(&w, &h);
    zt::view_resize(v, w, h);
    double x = 0, y = 0;
    check(zt::view_control_centre(v, port, &x, &y), "no centre for the mix dial");
    rig.press(x, y, Button1, 0, 1000);
    rig.idle();
    for (int step = 1; step <= 4; ++step) {
        rig.motion(x, y + 20 * step);
        rig.idle();
    }
    rig.release(x, y + 80, Button1, 1500);
    settle(rig);
    // What the host was told, for comparison with the other processors'.
    for (const HostCall& c : rig.calls) {
        const char* kind = c.kind == HostCall::write ? "write" : c.kind == HostCall::touch_begin ? "begin" : "end";
        std::printf("%s %u %.9g\n", kind, c.port, static_cast<double>(c.value));
    }
    check(photograph(rig, out + "/dragged.ppm"), "cannot photograph the dragged window");
    rig.close();
    return g_failures == 0 ? 0 : 1;
}
