// Xlib events in, view calls out, the view's picture on screen.
#include "x11_window.h"

#include <X11/Xutil.h>
#include <cairo-xlib.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace zt {

namespace {

constexpr Time kDoubleClickMs = 400;      // the common desktop default
constexpr double kDoubleClickSlop = 8.0;  // device pixels the pointer may wander between the clicks

// Xlib's default error handler ends the whole process, and the host's
// handler is global too. While one of our calls runs, errors on our own
// connection are only counted (the host may have destroyed our window's
// parent, and with it our window, before it calls cleanup); errors of any
// other connection go to the handler that was there before. Only our calls
// read our connection, so its errors arrive inside them.
Display* g_trapped = nullptr;
XErrorHandler g_previous = nullptr;
int g_errors = 0;

int on_x_error(Display* d, XErrorEvent* e)
{
    if (d == g_trapped) {
        ++g_errors;
        return 0;
    }
    return g_previous ? g_previous(d, e) : 0;
}

struct ErrorTrap {
    explicit ErrorTrap(Display* d)
    {
        g_trapped = d;
        g_errors = 0;
        g_previous = XSetErrorHandler(on_x_error);
    }
    ~ErrorTrap()
    {
        XSetErrorHandler(g_previous);
        g_trapped = nullptr;
        g_previous = nullptr;
    }
    ErrorTrap(const ErrorTrap&) = delete;
    ErrorTrap& operator=(const ErrorTrap&) = delete;
};

void forget_window(X11Window& w)
{
    if (w.surface) cairo_surface_destroy(w.surface);
    if (w.buffer) cairo_surface_destroy(w.buffer);
    if (w.plot_base) cairo_surface_destroy(w.plot_base);
    w.surface = nullptr;
    w.buffer = nullptr;
    w.plot_base = nullptr;
    w.window = 0;
}

// Keeps the plot's lower layer of a picture just drawn whole; dropped when
// the picker covers the plot or there is no memory for it.
void keep_plot_base(X11Window& w, const View& v, int x, int y, int width, int height)
{
    if (w.plot_base) cairo_surface_destroy(w.plot_base);
    w.plot_base = nullptr;
    if (v.picker_open || width <= 0 || height <= 0) return;
    w.plot_base = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    if (cairo_surface_status(w.plot_base) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(w.plot_base);
        w.plot_base = nullptr;
        return;
    }
    w.plot_x = x, w.plot_y = y;
    cairo_t* cr = cairo_create(w.plot_base);
    cairo_translate(cr, -x, -y);
    view_draw_plot_base(v, cr);
    cairo_destroy(cr);
}

// Draws the view's picture within the given rectangle (device pixels) into
// the buffer, then shows that part at once: no flicker of half pictures.
// `plot_only`: the rectangle is the plot and only the cutoff moved since
// the last picture, so the kept lower layer still holds.
void present(X11Window& w, const View& v, int x, int y, int width, int height, bool plot_only)
{
    if (!w.buffer || cairo_image_surface_get_width(w.buffer) != w.width ||
        cairo_image_surface_get_height(w.buffer) != w.height) {
        if (w.buffer) cairo_surface_destroy(w.buffer);
        w.buffer = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w.width, w.height);
        x = 0, y = 0, width = w.width, height = w.height;  // a new buffer holds nothing yet
    }
    if (cairo_surface_status(w.buffer) != CAIRO_STATUS_SUCCESS) return;  // out of memory: try again next time
    cairo_t* cr = cairo_create(w.buffer);
    cairo_rectangle(cr, x, y, width, height);
    cairo_clip(cr);
    const bool reuse = plot_only && w.plot_base && !v.picker_open && x == w.plot_x && y == w.plot_y &&
                       width == cairo_image_surface_get_width(w.plot_base) &&
                       height == cairo_image_surface_get_height(w.plot_base);
    if (reuse) {
        cairo_set_source_surface(cr, w.plot_base, x, y);
        cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
        cairo_paint(cr);
        cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
        view_draw_plot_live(v, cr);
    } else {
        view_draw(v, cr);
    }
    cairo_destroy(cr);
    if (!plot_only) {
        int px, py, pw, ph;
        view_plot_rect(v, &px, &py, &pw, &ph);
        keep_plot_base(w, v, px, py, pw, ph);
    }

    cairo_surface_flush(w.buffer);

    if (w.direct) {
        // An XImage over the buffer's memory: Xlib copies the rectangle out
        // and allocates nothing.
        XImage image{};
        image.width = w.width;
        image.height = w.height;
        image.format = ZPixmap;
        image.data = reinterpret_cast<char*>(cairo_image_surface_get_data(w.buffer));
        // cairo's RGB24 is a native-endian 32-bit word per pixel, 0x00RRGGBB.
        image.byte_order = (__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__) ? LSBFirst : MSBFirst;
        image.bitmap_unit = 32;
        image.bitmap_bit_order = image.byte_order;
        image.bitmap_pad = 32;
        image.depth = 24;
        image.bytes_per_line = cairo_image_surface_get_stride(w.buffer);
        image.bits_per_pixel = 32;
        image.red_mask = 0xff0000;
        image.green_mask = 0x00ff00;
        image.blue_mask = 0x0000ff;
        if (!XInitImage(&image)) return;
        XPutImage(w.display, w.window, DefaultGC(w.display, DefaultScreen(w.display)), &image, x, y, x, y,
                  static_cast<unsigned>(width), static_cast<unsigned>(height));
        return;
    }
    cr = cairo_create(w.surface);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_surface(cr, w.buffer, 0, 0);
    cairo_rectangle(cr, x, y, width, height);
    cairo_fill(cr);
    cairo_destroy(cr);
    cairo_surface_flush(w.surface);
}

// True when the screen's own visual takes the buffer's pixels as they are.
bool rgb24_visual(Display* d)
{
    const Visual* v = DefaultVisual(d, DefaultScreen(d));
    return DefaultDepth(d, DefaultScreen(d)) == 24 && v->c_class == TrueColor && v->red_mask == 0xff0000 &&
           v->green_mask == 0x00ff00 && v->blue_mask == 0x0000ff;
}

// A motion event and every later one already queued come to the last:
// the view needs only where the pointer is now.
void latest_motion(Display* d, Window win, XEvent& ev)
{
    while (XCheckTypedWindowEvent(d, win, MotionNotify, &ev)) {}
}

void pointer_event(X11Window& w, View& v, XEvent& ev, EditSink sink, void* context)
{
    ControlEdit edit;
    switch (ev.type) {
    case ButtonPress: {
        const XButtonEvent& b = ev.xbutton;
        const bool shift = (b.state & ShiftMask) != 0;
        if (b.button == Button4 || b.button == Button5) {
            edit = view_scroll(v, b.x, b.y, b.button == Button4 ? 1 : -1, shift);
            break;
        }
        if (b.button != Button1) return;
        const bool double_click = w.last_press_valid && b.time - w.last_press <= kDoubleClickMs &&
                                  std::fabs(b.x - w.last_x) <= kDoubleClickSlop &&
                                  std::fabs(b.y - w.last_y) <= kDoubleClickSlop;
        w.last_press_valid = !double_click;
        w.last_press = b.time;
        w.last_x = b.x;
        w.last_y = b.y;
        w.button_held = true;
        edit = view_press(v, b.x, b.y, shift, double_click);
        break;
    }
    case MotionNotify:
        latest_motion(w.display, w.window, ev);
        if (!w.button_held) {
            view_hover(v, ev.xmotion.x, ev.xmotion.y);
            return;
        }
        edit = view_drag(v, ev.xmotion.x, ev.xmotion.y, (ev.xmotion.state & ShiftMask) != 0);
        break;
    case ButtonRelease:
        if (ev.xbutton.button != Button1 || !w.button_held) return;
        w.button_held = false;
        edit = view_release(v, ev.xbutton.x, ev.xbutton.y);
        break;
    case LeaveNotify:
        view_hover(v, -1.0, -1.0);
        return;
    default:
        return;
    }
    if (edit.port >= 0 || edit.gesture_begin || edit.gesture_end) sink(context, edit);
}

} // namespace

bool x11_open(X11Window& w, unsigned long parent, int width, int height)
{
    w = X11Window{};
    w.display = XOpenDisplay(nullptr);
    if (!w.display) return false;
    {
        const ErrorTrap trap(w.display);
        XSetWindowAttributes attrs{};
        attrs.event_mask = ExposureMask | StructureNotifyMask | ButtonPressMask | ButtonReleaseMask |
                           PointerMotionMask | LeaveWindowMask;
        const int screen = DefaultScreen(w.display);
        attrs.background_pixel = BlackPixel(w.display, screen);
        attrs.border_pixel = 0;
        // The screen's visual, whatever the parent's (a toolkit's window may
        // have one with alpha); with its colormap, which a visual of another
        // depth than the parent's needs.
        attrs.colormap = DefaultColormap(w.display, screen);
        // A parent the server does not know fails here, not in the host later.
        w.window = XCreateWindow(w.display, static_cast<Window>(parent), 0, 0, static_cast<unsigned>(width),
                                 static_cast<unsigned>(height), 0, DefaultDepth(w.display, screen), InputOutput,
                                 DefaultVisual(w.display, screen),
                                 CWEventMask | CWBackPixel | CWBorderPixel | CWColormap, &attrs);
        XSync(w.display, False);
        if (g_errors != 0) {
            w.window = 0;
        } else {
            // Named and classed for window lists and for scripts that look for it.
            XStoreName(w.display, w.window, "Zirpomatik Tolm");
            XClassHint class_hint = {const_cast<char*>("zirpomatik-tolm"), const_cast<char*>("Zirpomatik-tolm")};
            XSetClassHint(w.display, w.window, &class_hint);
            w.direct = rgb24_visual(w.display);
            if (!w.direct)
                w.surface = cairo_xlib_surface_create(w.display, w.window, DefaultVisual(w.display, screen), width,
                                                      height);
            w.width = width;
            w.height = height;
            XMapRaised(w.display, w.window);
            XSync(w.display, False);
            if (g_errors != 0) forget_window(w);
        }
    }
    if (w.window == 0) {
        x11_close(w);
        return false;
    }
    return true;
}

double x11_dpi_scale(const X11Window& w)
{
    // The resource string holds lines such as "Xft.dpi:\t144"; read without
    // a resource database, which would allocate for every name in it.
    const char* resources = w.display ? XResourceManagerString(w.display) : nullptr;
    if (!resources) return 0.0;
    for (const char* line = resources; *line;) {
        if (std::strncmp(line, "Xft.dpi:", 8) == 0) {
            const double dpi = std::strtod(line + 8, nullptr);
            return (dpi >= 24.0 && dpi <= 960.0) ? dpi / 96.0 : 0.0;
        }
        const char* next = std::strchr(line, '\n');
        if (!next) break;
        line = next + 1;
    }
    return 0.0;
}

void x11_size_hints(X11Window& w, int min_width, int min_height, int width, int height)
{
    if (!w.display || !w.window) return;
    XSizeHints* hints = XAllocSizeHints();
    if (!hints) return;
    // suil's X11-in-GTK wrapper (jalv.gtk3, and hosts built on GTK or
    // wxWidgets) takes the minimum as the widget's minimum and the base size,
    // only when both are set, as its natural size; without them it would
    // take the window's size at the time it looks.
    hints->flags = PMinSize | PBaseSize;
    hints->min_width = min_width;
    hints->min_height = min_height;
    hints->base_width = width;
    hints->base_height = height;
    XSetWMNormalHints(w.display, w.window, hints);
    XFree(hints);
}

void x11_resize(X11Window& w, int width, int height)
{
    if (!w.display || !w.window || width < 1 || height < 1) return;
    XResizeWindow(w.display, w.window, static_cast<unsigned>(width), static_cast<unsigned>(height));
    XFlush(w.display);
}

void x11_set_mapped(X11Window& w, bool mapped)
{
    if (!w.display || !w.window) return;
    const ErrorTrap trap(w.display);
    if (mapped) XMapRaised(w.display, w.window);
    else XUnmapWindow(w.display, w.window);
    XSync(w.display, False);  // a parent gone meanwhile shows here, not in the host later
    if (g_errors != 0) forget_window(w);
}

void x11_idle(X11Window& w, View& v, EditSink sink, void* context)
{
    if (!w.display || !w.window) return;
    const ErrorTrap trap(w.display);
    while (w.window && XPending(w.display) > 0) {
        XEvent ev;
        XNextEvent(w.display, &ev);
        switch (ev.type) {
        case Expose:
            if (ev.xexpose.count == 0) w.exposed = true;
            break;
        case ConfigureNotify:
            if (ev.xconfigure.window != w.window) break;
            if (ev.xconfigure.width != w.width || ev.xconfigure.height != w.height) {
                w.width = ev.xconfigure.width;
                w.height = ev.xconfigure.height;
                if (w.surface) cairo_xlib_surface_set_size(w.surface, w.width, w.height);
                view_resize(v, w.width, w.height);
            }
            break;
        case DestroyNotify:
            // The host destroyed the parent, and with it this window.
            if (ev.xdestroywindow.window == w.window) forget_window(w);
            break;
        default:
            pointer_event(w, v, ev, sink, context);
            break;
        }
    }
    if (!w.window) return;
    // While only the live cutoff moves, only the plot is drawn again.
    int x = 0, y = 0, width = 0, height = 0;
    bool plot_only = v.dirty && !v.dirty_outside_plot;
    const bool changed = view_take_damage(v, &x, &y, &width, &height);
    if (w.exposed) x = 0, y = 0, width = w.width, height = w.height, plot_only = false;
    if (changed || w.exposed) {
        w.exposed = false;
        present(w, v, x, y, width, height, plot_only);
        XFlush(w.display);
    }
    if (g_errors != 0) forget_window(w);  // the window went away under us
}

void x11_close(X11Window& w)
{
    if (!w.display) return;
    {
        const ErrorTrap trap(w.display);
        if (w.surface) cairo_surface_finish(w.surface);
        if (w.window) XDestroyWindow(w.display, w.window);
        forget_window(w);
        XSync(w.display, True);
        XCloseDisplay(w.display);
    }
    w.display = nullptr;
}

} // namespace zt
