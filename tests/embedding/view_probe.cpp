// Prints where the window draws a control, in device pixels, for a window
// of the given size and scale: the host test aims its pointer with it.
// Usage: zt_view_probe WIDTH HEIGHT SCALE PORT
#include <cstdio>
#include <cstdlib>

#include "ui/view.h"

int main(int argc, char** argv)
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s WIDTH HEIGHT SCALE PORT\n", argv[0]);
        return 2;
    }
    zt::View v;
    zt::view_init(v);
    zt::view_set_scale(v, std::atof(argv[3]));
    zt::view_resize(v, std::atoi(argv[1]), std::atoi(argv[2]));
    double x = 0, y = 0;
    if (!zt::view_control_centre(v, static_cast<uint32_t>(std::atoi(argv[4])), &x, &y)) return 1;
    std::printf("%d %d\n", static_cast<int>(x), static_cast<int>(y));
    return 0;
}
