// The window's face towards the VST3 host: the same X11 window as the
// other faces', embedded in the host's window through IPlugView. Edits go
// to the host as beginEdit / performEdit / endEdit through the controller;
// the host's changes and the live cutoff come back on a timer of the
// host's run loop, X events on its watch of our display connection. The
// record is calloc'd and placement-constructed: nothing here needs the C++
// runtime.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

#include "vst3_face.h"
#include "../ui/view.h"
#include "../ui/x11_window.h"
#include "../support/bit_cast.h"

namespace zt {

struct Vst3View {
    Vst3Face view;    // IPlugView (and FUnknown)
    Vst3Face scale;   // IPlugViewContentScaleSupport
    Vst3Face events;  // Linux::IEventHandler
    Vst3Face timer;   // Linux::ITimerHandler
    std::atomic<uint32_t> refs;
    Vst3Controller* controller;  // held; null once the controller went away
    Steinberg_IPlugFrame* frame;          // the host's, not held (it outlives the view)
    Steinberg_Linux_IRunLoop* run_loop;   // held while attached
    View v;
    X11Window win;
    bool fd_watched;
    bool timer_running;
    bool scale_from_host;  // setContentScaleFactor was heard: the desktop's Xft.dpi is not asked
    uint32_t shown_cutoff;  // bits of the cutoff last handed to the view
};

namespace {

// 30 pictures a second of a moving cutoff, as the LV2 hosts' idle calls give.
constexpr uint64_t kTimerMs = 33;

Vst3View& self(void* face) { return vst3_self<Vst3View>(face); }

void send_edit(void* context, const ControlEdit& edit)
{
    Vst3View& w = *static_cast<Vst3View*>(context);
    if (edit.port < 0 || !w.controller) return;
    vst3_controller_edit(*w.controller, static_cast<uint32_t>(edit.port), edit.value, edit.write,
                         edit.gesture_begin, edit.gesture_end);
}

// The host's run loop lets go of the window's handlers, and the window goes.
// A gesture the pointer still holds ends through the controller, while the
// host still listens.
void close_window(Vst3View& w)
{
    if (w.run_loop) {
        if (w.fd_watched)
            w.run_loop->lpVtbl->unregisterEventHandler(w.run_loop, reinterpret_cast<Steinberg_Linux_IEventHandler*>(&w.events));
        if (w.timer_running)
            w.run_loop->lpVtbl->unregisterTimer(w.run_loop, reinterpret_cast<Steinberg_Linux_ITimerHandler*>(&w.timer));
        w.run_loop->lpVtbl->release(w.run_loop);
    }
    w.run_loop = nullptr;
    w.fd_watched = w.timer_running = false;
    x11_close(w.win, w.v, send_edit, &w);
}

// The host's changes and the live cutoff into the view, then the window's
// events and picture.
void tick(Vst3View& w)
{
    if (!w.controller) return;
    float value;
    for (uint32_t port = kFirstControl; port < PORT_COUNT; ++port)
        if (vst3_controller_take_host_change(*w.controller, port, &value)) view_set_control(w.v, port, value);
    if (const Plugin* core = vst3_controller_core(*w.controller)) {
        // A new cutoff means a new picture; the same bits mean nothing to do.
        const float hz = plugin_live_cutoff(*core);
        const uint32_t bits = bit_cast<uint32_t>(hz);
        if (bits != w.shown_cutoff) {
            w.shown_cutoff = bits;
            view_set_cutoff(w.v, hz);
        }
        view_set_session_rate(w.v, core->sample_rate);
    }
    x11_idle(w.win, w.v, send_edit, &w);
    // The host destroyed our parent, and with it the window: nothing reads
    // the connection any more, and a watch on it would fire without end.
    if (!w.win.window && w.fd_watched && w.run_loop) {
        w.run_loop->lpVtbl->unregisterEventHandler(w.run_loop, reinterpret_cast<Steinberg_Linux_IEventHandler*>(&w.events));
        w.fd_watched = false;
    }
}

// The size the host may give the window, in device pixels: no smaller than
// the view's minimum at its scale, no bigger than the view is ever drawn.
void fit_size(const View& v, Steinberg_ViewRect* r)
{
    int min_w = 0, min_h = 0;
    view_min_size(v, &min_w, &min_h);
    const int32_t w = std::clamp(r->right - r->left, int32_t(min_w), int32_t(kViewMaxSide));
    const int32_t h = std::clamp(r->bottom - r->top, int32_t(min_h), int32_t(kViewMaxSide));
    r->right = r->left + w;
    r->bottom = r->top + h;
}

void resize(Vst3View& w, int width, int height)
{
    view_resize(w.v, width, height);
    x11_resize(w.win, width, height);
}

// The view at its natural size for the present scale, and the host asked to
// give the window that size.
void natural_size(Vst3View& w)
{
    int width = 0, height = 0, min_w = 0, min_h = 0;
    view_size_hint(w.v, &width, &height);
    view_min_size(w.v, &min_w, &min_h);
    x11_size_hints(w.win, min_w, min_h, width, height);
    resize(w, width, height);
    if (w.frame && w.win.window) {
        Steinberg_ViewRect r{0, 0, width, height};
        w.frame->lpVtbl->resizeView(w.frame, reinterpret_cast<Steinberg_IPlugView*>(&w.view), &r);
    }
}

void destroy(Vst3View& w)
{
    close_window(w);
    if (Vst3Controller* c = w.controller) {
        c->view = nullptr;
        static_cast<const Steinberg_Vst_IEditControllerVtbl*>(c->controller.vtbl)->release(&c->controller);
    }
    w.~Vst3View();
    std::free(&w);
}

Steinberg_tresult query(void* face, const Steinberg_TUID iid, void** obj)
{
    if (!obj) return Steinberg_kInvalidArgument;
    Vst3View& w = self(face);
    Vst3Face* found = nullptr;
    if (vst3_same_iid(iid, Steinberg_FUnknown_iid) || vst3_same_iid(iid, Steinberg_IPlugView_iid))
        found = &w.view;
    else if (vst3_same_iid(iid, Steinberg_IPlugViewContentScaleSupport_iid))
        found = &w.scale;
    else if (vst3_same_iid(iid, Steinberg_Linux_IEventHandler_iid))
        found = &w.events;
    else if (vst3_same_iid(iid, Steinberg_Linux_ITimerHandler_iid))
        found = &w.timer;
    *obj = found;
    if (!found) return Steinberg_kNoInterface;
    w.refs.fetch_add(1, std::memory_order_relaxed);
    return Steinberg_kResultOk;
}

uint32_t add_ref(void* face) { return self(face).refs.fetch_add(1, std::memory_order_relaxed) + 1; }

uint32_t release(void* face)
{
    Vst3View& w = self(face);
    const uint32_t left = w.refs.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) destroy(w);
    return left;
}

Steinberg_tresult platform_supported(void*, Steinberg_FIDString type)
{
    return type && std::strcmp(type, Steinberg_kPlatformTypeX11EmbedWindowID) == 0 ? Steinberg_kResultTrue
                                                                                    : Steinberg_kResultFalse;
}

// The window is made here, in the host's window, and the host's run loop
// (which the frame offers) watches its connection and ticks its timer.
// Without a run loop the window would never hear of its events.
Steinberg_tresult attached(void* face, void* parent, Steinberg_FIDString type)
{
    Vst3View& w = self(face);
    if (!parent || platform_supported(face, type) != Steinberg_kResultTrue) return Steinberg_kInvalidArgument;
    if (!w.controller || w.win.window || !w.frame) return Steinberg_kResultFalse;
    void* loop = nullptr;
    if (w.frame->lpVtbl->queryInterface(w.frame, Steinberg_Linux_IRunLoop_iid, &loop) != Steinberg_kResultOk || !loop)
        return Steinberg_kResultFalse;
    w.run_loop = static_cast<Steinberg_Linux_IRunLoop*>(loop);
    if (!x11_open(w.win, reinterpret_cast<uintptr_t>(parent), w.v.width, w.v.height)) {
        close_window(w);
        return Steinberg_kResultFalse;
    }
    // No word from the host: the desktop's Xft.dpi, as the LV2 window takes it.
    if (!w.scale_from_host && x11_dpi_scale(w.win) > 0.0 && x11_dpi_scale(w.win) != w.v.scale) {
        view_set_scale(w.v, x11_dpi_scale(w.win));
        natural_size(w);
    } else {
        int min_w = 0, min_h = 0, width = 0, height = 0;
        view_min_size(w.v, &min_w, &min_h);
        view_size_hint(w.v, &width, &height);
        x11_size_hints(w.win, min_w, min_h, width, height);
    }
    const int fd = ConnectionNumber(w.win.display);
    w.fd_watched = w.run_loop->lpVtbl->registerEventHandler(
                       w.run_loop, reinterpret_cast<Steinberg_Linux_IEventHandler*>(&w.events), fd) == Steinberg_kResultOk;
    w.timer_running = w.run_loop->lpVtbl->registerTimer(
                          w.run_loop, reinterpret_cast<Steinberg_Linux_ITimerHandler*>(&w.timer), kTimerMs) == Steinberg_kResultOk;
    return Steinberg_kResultOk;
}

Steinberg_tresult removed(void* face)
{
    close_window(self(face));
    return Steinberg_kResultOk;
}

// Keys and the wheel come to the window through X itself.
Steinberg_tresult on_wheel(void*, float) { return Steinberg_kResultFalse; }
Steinberg_tresult on_key(void*, Steinberg_char16, int16_t, int16_t) { return Steinberg_kResultFalse; }

Steinberg_tresult get_size(void* face, Steinberg_ViewRect* r)
{
    if (!r) return Steinberg_kInvalidArgument;
    const Vst3View& w = self(face);
    *r = Steinberg_ViewRect{0, 0, w.v.width, w.v.height};
    return Steinberg_kResultOk;
}

Steinberg_tresult on_size(void* face, Steinberg_ViewRect* r)
{
    if (!r) return Steinberg_kInvalidArgument;
    Vst3View& w = self(face);
    Steinberg_ViewRect fit = *r;
    fit_size(w.v, &fit);
    resize(w, fit.right - fit.left, fit.bottom - fit.top);
    return Steinberg_kResultOk;
}

Steinberg_tresult on_focus(void*, Steinberg_TBool) { return Steinberg_kResultOk; }

Steinberg_tresult set_frame(void* face, Steinberg_IPlugFrame* frame)
{
    self(face).frame = frame;
    return Steinberg_kResultOk;
}

// The layout takes any size between its bounds, in either direction.
Steinberg_tresult can_resize(void*) { return Steinberg_kResultTrue; }

Steinberg_tresult check_size(void* face, Steinberg_ViewRect* r)
{
    if (!r) return Steinberg_kInvalidArgument;
    fit_size(self(face).v, r);
    return Steinberg_kResultTrue;
}

const Steinberg_IPlugViewVtbl kViewVtbl = {query,     add_ref,  release,  platform_supported, attached,
                                           removed,   on_wheel, on_key,   on_key,             get_size,
                                           on_size,   on_focus, set_frame, can_resize,        check_size};

Steinberg_tresult set_scale(void* face, float factor)
{
    Vst3View& w = self(face);
    if (!std::isfinite(factor) || factor <= 0.0f) return Steinberg_kInvalidArgument;
    const double before = w.v.scale;
    view_set_scale(w.v, factor);
    if (w.v.scale != double(factor)) {  // outside what the view draws at
        view_set_scale(w.v, before);
        return Steinberg_kResultFalse;
    }
    w.scale_from_host = true;
    if (w.v.scale != before) natural_size(w);
    return Steinberg_kResultOk;
}

const Steinberg_IPlugViewContentScaleSupportVtbl kScaleVtbl = {query, add_ref, release, set_scale};

void on_fd(void* face, Steinberg_Linux_FileDescriptor fd)
{
    Vst3View& w = self(face);
    if (w.fd_watched && w.win.display && fd == ConnectionNumber(w.win.display)) tick(w);
}

const Steinberg_Linux_IEventHandlerVtbl kEventsVtbl = {query, add_ref, release, on_fd};

void on_timer(void* face)
{
    Vst3View& w = self(face);
    if (w.timer_running) tick(w);
}

const Steinberg_Linux_ITimerHandlerVtbl kTimerVtbl = {query, add_ref, release, on_timer};

} // namespace

Steinberg_IPlugView* vst3_view_create(Vst3Controller& c)
{
    void* memory = std::calloc(1, sizeof(Vst3View));
    if (!memory) return nullptr;
    Vst3View* w = new (memory) Vst3View{};
    w->view = Vst3Face{&kViewVtbl, w};
    w->scale = Vst3Face{&kScaleVtbl, w};
    w->events = Vst3Face{&kEventsVtbl, w};
    w->timer = Vst3Face{&kTimerVtbl, w};
    w->refs.store(1, std::memory_order_relaxed);
    // The controller stays while its window does.
    static_cast<const Steinberg_Vst_IEditControllerVtbl*>(c.controller.vtbl)->addRef(&c.controller);
    w->controller = &c;
    view_init(w->v);
    for (uint32_t port = kFirstControl; port < PORT_COUNT; ++port)
        view_set_control(w->v, port, vst3_controller_value(c, port));
    // Values taken now need not come again as host changes.
    for (uint32_t port = kFirstControl; port < PORT_COUNT; ++port) vst3_controller_take_host_change(c, port, nullptr);
    int width = 0, height = 0;
    view_size_hint(w->v, &width, &height);
    view_resize(w->v, width, height);
    c.view = w;
    return reinterpret_cast<Steinberg_IPlugView*>(&w->view);
}

// The controller is terminated under an open view: the window goes (its
// open gesture ends while the host still listens), and the view lets go of
// the controller and speaks to it no more.
void vst3_view_controller_gone(Vst3Controller& c)
{
    Vst3View* w = c.view;
    if (!w) return;
    close_window(*w);
    c.view = nullptr;
    w->controller = nullptr;
    static_cast<const Steinberg_Vst_IEditControllerVtbl*>(c.controller.vtbl)->release(&c.controller);
}

} // namespace zt
