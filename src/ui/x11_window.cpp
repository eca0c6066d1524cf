// Xlib events in, view calls out, the view's picture on screen.
#include "x11_window.h"

#include <X11/Xutil.h>
#include <cairo-xlib.h>

#include <pthread.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace zt {

namespace {

constexpr Time kDoubleClickMs = 400;      // the common desktop default
constexpr double kDoubleClickSlop = 8.0;  // device pixels the pointer may wander between the clicks
constexpr double kMaxDpiScale = 4.0;      // the most a desktop's Xft.dpi may enlarge the window
// Idle calls a new picture waits for the server to finish reading the last
// one from shared memory; a server that never says so is not waited for
// longer (about a second at a host's 30 calls a second).
constexpr int kShmPatience = 30;

// Xlib's default error handler ends the whole process, and the host's
// handler is global too. While one of our calls runs, errors on our own
// connection are only counted (the host may have destroyed our window's
// parent, and with it our window, before it calls cleanup); errors of any
// other connection go to the handler that was there before. Only our calls
// read our connection, so its errors arrive inside them.
//
// Traps nest (a host's write_function may open another of our windows
// while an idle call runs) and overlap (a host may idle two windows from
// two threads), so they are kept in one list under a lock: ours stays
// installed while any trap is open, and the last to close gives back the
// handler that was there before the first. A handler someone else sets
// meanwhile takes the place of the one to forward to and give back.
struct ErrorTrap {
    Display* display;
    int errors = 0;            // errors on `display` since the trap opened
    ErrorTrap* next = nullptr;
    explicit ErrorTrap(Display* d);
    ~ErrorTrap();
    ErrorTrap(const ErrorTrap&) = delete;
    ErrorTrap& operator=(const ErrorTrap&) = delete;
};

pthread_mutex_t g_trap_lock = PTHREAD_MUTEX_INITIALIZER;
ErrorTrap* g_traps = nullptr;       // every open trap, in any thread, the newest first
XErrorHandler g_outer = nullptr;    // the handler that was there before ours

int on_x_error(Display* d, XErrorEvent* e)
{
    pthread_mutex_lock(&g_trap_lock);
    for (ErrorTrap* t = g_traps; t; t = t->next)
        if (t->display == d) {
            ++t->errors;
            pthread_mutex_unlock(&g_trap_lock);
            return 0;
        }
    const XErrorHandler outer = g_outer;
    pthread_mutex_unlock(&g_trap_lock);
    return outer ? outer(d, e) : 0;
}

// Puts ours in and notes what it replaced, unless that was ours.
void install_ours()
{
    const XErrorHandler before = XSetErrorHandler(on_x_error);
    if (before != on_x_error) g_outer = before;
}

ErrorTrap::ErrorTrap(Display* d) : display(d)
{
    pthread_mutex_lock(&g_trap_lock);
    install_ours();
    next = g_traps;
    g_traps = this;
    pthread_mutex_unlock(&g_trap_lock);
}

ErrorTrap::~ErrorTrap()
{
    pthread_mutex_lock(&g_trap_lock);
    ErrorTrap** link = &g_traps;
    while (*link != this) link = &(*link)->next;
    *link = next;
    if (g_traps) {
        install_ours();  // in case a handler set meanwhile pushed ours out
    } else {
        const XErrorHandler current = XSetErrorHandler(g_outer);
        if (current != on_x_error) XSetErrorHandler(current);  // set by someone else since: theirs stays
        g_outer = nullptr;
    }
    pthread_mutex_unlock(&g_trap_lock);
}

// The buffer goes, and with it our side of its segment; the server lets go
// of its side once it has read what it was asked to (the requests keep
// their order).
void drop_buffer(X11Window& w)
{
    if (w.buffer) cairo_surface_destroy(w.buffer);
    w.buffer = nullptr;
    if (w.shm.shmaddr) {
        XShmDetach(w.display, &w.shm);
        shmdt(w.shm.shmaddr);
    }
    w.shm.shmaddr = nullptr;
    w.shm_busy = 0;
}

// A buffer of the given size in shared memory when the server takes it,
// otherwise in our own. The segment is marked for removal as soon as we
// hold it (Linux still lets the server attach it), so nothing of it
// outlives the last process that maps it, however this one ends. A server
// that cannot reach it (a remote one, or one that cannot check who we are
// and so finds it private) refuses the attach with an error, which the
// trap takes; the window then goes on without shared memory.
cairo_surface_t* make_buffer(X11Window& w, int width, int height)
{
    if (w.shm_usable) {
        const int stride = cairo_format_stride_for_width(CAIRO_FORMAT_RGB24, width);
        const int id = shmget(IPC_PRIVATE, size_t(stride) * size_t(height), IPC_CREAT | 0600);
        void* at = id >= 0 ? shmat(id, nullptr, 0) : reinterpret_cast<void*>(-1);
        if (id >= 0) shmctl(id, IPC_RMID, nullptr);
        if (at != reinterpret_cast<void*>(-1)) {
            w.shm.shmid = id;
            w.shm.shmaddr = static_cast<char*>(at);
            w.shm.readOnly = True;  // the server only reads from it
            const ErrorTrap trap(w.display);
            const bool attached = XShmAttach(w.display, &w.shm);
            XSync(w.display, False);
            if (attached && trap.errors == 0)
                return cairo_image_surface_create_for_data(static_cast<unsigned char*>(at), CAIRO_FORMAT_RGB24,
                                                           width, height, stride);
            shmdt(at);
            w.shm.shmaddr = nullptr;
        }
        w.shm_usable = false;
    }
    return cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
}

void forget_window(X11Window& w)
{
    if (w.surface) cairo_surface_destroy(w.surface);
    drop_buffer(w);
    if (w.plot_base) cairo_surface_destroy(w.plot_base);
    w.surface = nullptr;
    w.plot_base = nullptr;
    w.window = 0;
}

// The part of the window the view is drawn in, from its top-left corner:
// all of it up to the bound.
int drawn(int window_px) { return window_px < kViewMaxSide ? window_px : kViewMaxSide; }

// The memory the kept pictures may hold together: a buffer at the bound
// alone fills it, and the plot's lower layer is kept only beside a smaller one.
constexpr double kHeldBytes = 64.0 * 1024 * 1024;

// Adds an exposed rectangle to what the server has shown, within the bound.
void add_shown(X11Window& w, int x, int y, int width, int height)
{
    const int x0 = std::max(x, 0), y0 = std::max(y, 0);
    const int x1 = std::min(x + width, drawn(w.width)), y1 = std::min(y + height, drawn(w.height));
    if (x0 >= x1 || y0 >= y1) return;
    if (w.shown_x0 >= w.shown_x1 || w.shown_y0 >= w.shown_y1) {
        w.shown_x0 = x0, w.shown_y0 = y0, w.shown_x1 = x1, w.shown_y1 = y1;
        return;
    }
    w.shown_x0 = std::min(w.shown_x0, x0), w.shown_y0 = std::min(w.shown_y0, y0);
    w.shown_x1 = std::max(w.shown_x1, x1), w.shown_y1 = std::max(w.shown_y1, y1);
}

// Keeps the plot's lower layer of a picture just drawn whole; dropped when
// the picker covers the plot, the plot is not all in the buffer, or there is
// no room or no memory for it.
void keep_plot_base(X11Window& w, const View& v)
{
    int x, y, width, height;
    view_plot_rect(v, &x, &y, &width, &height);
    const int bw = cairo_image_surface_get_width(w.buffer), bh = cairo_image_surface_get_height(w.buffer);
    const bool inside = x >= w.buffer_x && y >= w.buffer_y && x + width <= w.buffer_x + bw &&
                        y + height <= w.buffer_y + bh;
    const double pixels = double(width) * height + double(bw) * bh;
    if (v.picker_open || width <= 0 || height <= 0 || !inside || 4.0 * pixels > kHeldBytes) {
        if (w.plot_base) cairo_surface_destroy(w.plot_base);
        w.plot_base = nullptr;
        return;
    }
    const PlotBaseInputs inputs = view_plot_base_inputs(v);
    if (w.plot_base && x == w.plot_x && y == w.plot_y && inputs == w.plot_base_inputs &&
        cairo_image_surface_get_width(w.plot_base) == width && cairo_image_surface_get_height(w.plot_base) == height)
        return;  // still the layer of this picture
    // The last one, when it has the size, saves memory fresh from the system.
    if (!w.plot_base || cairo_image_surface_get_width(w.plot_base) != width ||
        cairo_image_surface_get_height(w.plot_base) != height) {
        if (w.plot_base) cairo_surface_destroy(w.plot_base);
        w.plot_base = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    }
    if (cairo_surface_status(w.plot_base) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(w.plot_base);
        w.plot_base = nullptr;
        return;
    }
    w.plot_x = x, w.plot_y = y;
    w.plot_base_inputs = inputs;
    cairo_t* cr = cairo_create(w.plot_base);
    cairo_translate(cr, -x, -y);
    view_draw_plot_base(v, cr);
    cairo_destroy(cr);
}

// Draws the view's picture within the given rectangle (device pixels) into
// the buffer, then shows that part at once: no flicker of half pictures.
// Only what the server has shown is drawn. `plot_only`: the rectangle is
// the plot and only the cutoff moved since the last picture, so the kept
// lower layer still holds.
void present(X11Window& w, const View& v, int x, int y, int width, int height, bool plot_only)
{
    const int bx = w.shown_x0, by = w.shown_y0, bw = w.shown_x1 - w.shown_x0, bh = w.shown_y1 - w.shown_y0;
    if (bw <= 0 || bh <= 0) return;  // nothing on screen yet: the exposure will come
    if (!w.buffer || w.buffer_x != bx || w.buffer_y != by || cairo_image_surface_get_width(w.buffer) != bw ||
        cairo_image_surface_get_height(w.buffer) != bh) {
        drop_buffer(w);
        w.buffer = make_buffer(w, bw, bh);
        w.buffer_x = bx, w.buffer_y = by;
        x = bx, y = by, width = bw, height = bh;  // a new buffer holds nothing yet
        plot_only = false;
    }
    if (cairo_surface_status(w.buffer) != CAIRO_STATUS_SUCCESS) return;  // out of memory: try again next time
    const int x0 = std::max(x, bx), y0 = std::max(y, by);
    const int x1 = std::min(x + width, bx + bw), y1 = std::min(y + height, by + bh);
    if (x0 >= x1 || y0 >= y1) return;
    x = x0, y = y0, width = x1 - x0, height = y1 - y0;
    cairo_t* cr = cairo_create(w.buffer);
    cairo_translate(cr, -bx, -by);
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
    if (!plot_only) keep_plot_base(w, v);
    cairo_surface_flush(w.buffer);

    if (w.direct) {
        // An XImage over the buffer's memory: Xlib copies the rectangle out
        // and allocates nothing.
        XImage image{};
        image.width = bw;
        image.height = bh;
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
        GC gc = DefaultGC(w.display, DefaultScreen(w.display));
        if (w.shm.shmaddr) {
            // The server reads the rectangle from the segment; the buffer is
            // not drawn into again until it says it is done.
            image.obdata = reinterpret_cast<char*>(&w.shm);
            XShmPutImage(w.display, w.window, gc, &image, x - bx, y - by, x, y, static_cast<unsigned>(width),
                         static_cast<unsigned>(height), True);
            w.shm_busy = 1;
            return;
        }
        XPutImage(w.display, w.window, gc, &image, x - bx, y - by, x, y, static_cast<unsigned>(width),
                  static_cast<unsigned>(height));
        return;
    }
    cr = cairo_create(w.surface);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_surface(cr, w.buffer, bx, by);
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

// A motion event and the ones right behind it in the queue come to the
// last: the view needs only where the pointer is now. Motion behind a press
// or a release stays behind it, so the button state it carries holds.
void latest_motion(Display* d, Window win, XEvent& ev)
{
    XEvent next;
    while (XEventsQueued(d, QueuedAlready) > 0) {
        XPeekEvent(d, &next);
        if (next.type != MotionNotify || next.xmotion.window != win) break;
        XNextEvent(d, &ev);
    }
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
        // The last press's release never came: its gesture ends before this one begins.
        x11_end_drag(w, v, sink, context);
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
        if (w.button_held && !(ev.xmotion.state & Button1Mask)) {
            // The button came up where we could not see it: the drag is over.
            x11_end_drag(w, v, sink, context);
        }
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
    case EnterNotify:
    case LeaveNotify:
        // Crossing the edge is part of a drag, unless the button is up or
        // someone else grabbed the pointer (its release will not reach us).
        if (!(ev.xcrossing.state & Button1Mask) || ev.xcrossing.mode == NotifyGrab) x11_end_drag(w, v, sink, context);
        if (ev.type == LeaveNotify) view_hover(v, -1.0, -1.0);
        return;
    case FocusOut:
        // Another window took the keyboard (a dialog, a menu, a desktop switch).
        if (ev.xfocus.mode != NotifyUngrab && ev.xfocus.detail != NotifyInferior && ev.xfocus.detail != NotifyPointer)
            x11_end_drag(w, v, sink, context);
        return;
    default:
        return;
    }
    if (edit.port >= 0 || edit.gesture_begin || edit.gesture_end) sink(context, edit);
}

// Our window is gone (its parent destroyed, or an error says so): what the
// pointer held ends, and nothing more is drawn.
void lose_window(X11Window& w, View& v, EditSink sink, void* context)
{
    x11_end_drag(w, v, sink, context);
    forget_window(w);
}

void close_connection(X11Window& w)
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
                           PointerMotionMask | EnterWindowMask | LeaveWindowMask | FocusChangeMask;
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
        if (trap.errors != 0) {
            w.window = 0;
        } else {
            // The host hiding its window hides ours without a word to it;
            // a drag must hear of it (a selection of our own connection,
            // beside whatever the host selected).
            w.parent = static_cast<Window>(parent);
            XSelectInput(w.display, w.parent, StructureNotifyMask);
            // Named and classed for window lists and for scripts that look for it.
            XStoreName(w.display, w.window, "Zirpomatik Tolm");
            XClassHint class_hint = {const_cast<char*>("zirpomatik-tolm"), const_cast<char*>("Zirpomatik-tolm")};
            XSetClassHint(w.display, w.window, &class_hint);
            w.direct = rgb24_visual(w.display);
            w.shm_usable = w.direct && XShmQueryExtension(w.display);
            if (w.shm_usable) w.shm_completion = XShmGetEventBase(w.display) + ShmCompletion;
            if (!w.direct)
                w.surface = cairo_xlib_surface_create(w.display, w.window, DefaultVisual(w.display, screen),
                                                      drawn(width), drawn(height));
            w.width = width;
            w.height = height;
            XMapRaised(w.display, w.window);
            XSync(w.display, False);
            if (trap.errors != 0) forget_window(w);
        }
    }
    if (w.window == 0) {
        close_connection(w);
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
            // Beyond 4 the window would outgrow any screen; the view's
            // bound would cut it.
            return (dpi >= 24.0 && dpi <= 960.0) ? std::fmin(dpi / 96.0, kMaxDpiScale) : 0.0;
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
    if (trap.errors != 0) forget_window(w);
}

void x11_idle(X11Window& w, View& v, EditSink sink, void* context)
{
    if (!w.display || !w.window) return;
    const ErrorTrap trap(w.display);
    while (w.window && XPending(w.display) > 0) {
        XEvent ev;
        XNextEvent(w.display, &ev);
        if (w.shm_completion && ev.type == w.shm_completion) {
            if (reinterpret_cast<const XShmCompletionEvent&>(ev).shmseg == w.shm.shmseg) w.shm_busy = 0;
            continue;
        }
        switch (ev.type) {
        case Expose:
            add_shown(w, ev.xexpose.x, ev.xexpose.y, ev.xexpose.width, ev.xexpose.height);
            if (ev.xexpose.count == 0) w.exposed = true;
            break;
        case ConfigureNotify:
            if (ev.xconfigure.window != w.window) break;
            if (ev.xconfigure.width != w.width || ev.xconfigure.height != w.height) {
                w.width = ev.xconfigure.width;
                w.height = ev.xconfigure.height;
                // The server forgets the pixels of a resized window and
                // exposes what it shows of it anew.
                w.shown_x0 = w.shown_y0 = w.shown_x1 = w.shown_y1 = 0;
                if (w.surface) cairo_xlib_surface_set_size(w.surface, drawn(w.width), drawn(w.height));
                view_resize(v, w.width, w.height);
            }
            break;
        case UnmapNotify:
            // Hidden mid-drag: the release will go elsewhere.
            x11_end_drag(w, v, sink, context);
            break;
        case ReparentNotify:
            // A host that moves us into another frame hides us with that one.
            if (ev.xreparent.window == w.window && ev.xreparent.parent != w.parent) {
                w.parent = ev.xreparent.parent;
                XSelectInput(w.display, w.parent, StructureNotifyMask);
            }
            break;
        case DestroyNotify:
            // The host destroyed the parent, and with it this window.
            if (ev.xdestroywindow.window == w.window || ev.xdestroywindow.window == w.parent)
                lose_window(w, v, sink, context);
            break;
        default:
            pointer_event(w, v, ev, sink, context);
            break;
        }
    }
    if (!w.window) return;
    // A picture the server may still be reading waits; what changed
    // meanwhile stays marked in the view and goes with the next one.
    const bool waiting = w.shm_busy > 0 && ++w.shm_busy <= kShmPatience;
    // While only the live cutoff moves, only the plot is drawn again.
    int x = 0, y = 0, width = 0, height = 0;
    bool plot_only = v.dirty && !v.dirty_outside_plot;
    const bool changed = !waiting && view_take_damage(v, &x, &y, &width, &height);
    if (w.exposed) x = 0, y = 0, width = drawn(w.width), height = drawn(w.height), plot_only = false;
    if (!waiting && (changed || w.exposed)) {
        w.exposed = false;
        present(w, v, x, y, width, height, plot_only);
        XFlush(w.display);
    }
    if (trap.errors != 0) lose_window(w, v, sink, context);  // the window went away under us
}

void x11_end_drag(X11Window& w, View& v, EditSink sink, void* context)
{
    w.button_held = false;
    const ControlEdit edit = view_cancel(v);
    if (edit.port >= 0 && sink) sink(context, edit);
}

void x11_close(X11Window& w, View& v, EditSink sink, void* context)
{
    x11_end_drag(w, v, sink, context);
    close_connection(w);
}

} // namespace zt
