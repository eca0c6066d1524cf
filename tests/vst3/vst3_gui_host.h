#pragma once
// A small VST3 host for the window's tests: the bundle's library loaded
// with dlopen, the component and controller connected, the frame's run loop
// run by hand as an event loop runs it, a parent window on the LV2 window
// rig's private X server, and the edits the window sends the host, in order.
#include <X11/Xlib.h>
#include <dlfcn.h>
#include <poll.h>

#include <stdexcept>
#include <vector>

#include "cross/vst3_side.h"
#include "ui_rig.h"

namespace zt_vst3_test {

using namespace zt_cross;

struct Edit {
    char kind;  // 'b'egin, 'p'erform, 'e'nd
    uint32_t id;
    double value;
    bool operator==(const Edit&) const = default;
};

struct GuiHost;
template <class V> struct Obj {
    V* lpVtbl;
    GuiHost* host;
};
template <class O> GuiHost& host_of(void* o) { return *static_cast<O*>(o)->host; }

struct GuiHost {
    std::vector<std::pair<Steinberg_Linux_IEventHandler*, int>> fds;
    std::vector<std::pair<Steinberg_Linux_ITimerHandler*, uint64_t>> timers;
    std::vector<Edit> edits;
    Steinberg_ViewRect asked{};  // the last resizeView
    void* library = nullptr;
    Vst3Pair p;
    Steinberg_Vst_IEditController*& ctl = p.ctl;
    Steinberg_IPlugView* view = nullptr;
    Display* display = nullptr;
    Window parent = 0;

    static Steinberg_Linux_IRunLoopVtbl kLoop;
    static Steinberg_IPlugFrameVtbl kFrame;
    static Steinberg_Vst_IComponentHandlerVtbl kHandler;
    Obj<Steinberg_Linux_IRunLoopVtbl> loop{&kLoop, this};
    Obj<Steinberg_IPlugFrameVtbl> frame{&kFrame, this};
    Obj<Steinberg_Vst_IComponentHandlerVtbl> handler{&kHandler, this};

    GuiHost()
    {
        zt_ui_test::use_private_x_server();
        library = dlopen(ZT_BUNDLE_PARENT "/zirpomatik-tolm.vst3/Contents/" ZT_VST3_ARCH "/zirpomatik-tolm.so",
                         RTLD_NOW | RTLD_LOCAL);
        if (!library) throw std::runtime_error(dlerror());
        if (!p.open(reinterpret_cast<Steinberg_IPluginFactory* (*)()>(dlsym(library, "GetPluginFactory"))(), 0))
            throw std::runtime_error("cannot make the plugin");
        VCALL(ctl, setComponentHandler, as<Steinberg_Vst_IComponentHandler>(&handler));
        VCALL(p.comp, setActive, 1);
        display = XOpenDisplay(nullptr);
        parent = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 400, 300, 0, 0, 0);
        XMapWindow(display, parent);
        XSync(display, False);  // the plugin's own connection must find it
    }
    ~GuiHost()
    {
        if (view) VCALL(view, removed), VCALL(view, release);
        VCALL(p.comp, setActive, 0);
        p.close();
        XDestroyWindow(display, parent);
        XCloseDisplay(display);
        dlclose(library);
    }

    // A host's order: createView, setContentScaleFactor (unless 0), getSize,
    // setFrame, attached.
    bool open(float scale = 0.0f)
    {
        view = VCALL(ctl, createView, "editor");
        if (!view) return false;
        void* s = nullptr;
        Steinberg_ViewRect r;
        if (scale != 0.0f && (VCALL(view, queryInterface, Steinberg_IPlugViewContentScaleSupport_iid, &s) != 0 ||
                              VCALL(as<Steinberg_IPlugViewContentScaleSupport>(s), setContentScaleFactor, scale) != 0))
            return false;
        if (s) VCALL(as<Steinberg_IPlugViewContentScaleSupport>(s), release);
        return VCALL(view, getSize, &r) == 0 && VCALL(view, setFrame, as<Steinberg_IPlugFrame>(&frame)) == 0 &&
               VCALL(view, attached, reinterpret_cast<void*>(parent), "X11EmbedWindowID") == 0;
    }
    void close()
    {
        VCALL(view, removed);
        VCALL(view, release);
        view = nullptr;
    }
    Window child() const
    {
        Window root, up, *children = nullptr, found = 0;
        unsigned n = 0;
        if (XQueryTree(display, parent, &root, &up, &children, &n) && n > 0) found = children[0];
        if (children) XFree(children);
        return found;
    }
    // One turn of the event loop: readable fds, then every timer.
    void idle()
    {
        XSync(display, False);
        for (auto [h, fd] : std::vector(fds)) {
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, 0) > 0) VCALL(h, onFDIsSet, fd);
        }
        for (auto [t, ms] : std::vector(timers)) VCALL(t, onTimer);
    }
};

inline Steinberg_Linux_IRunLoopVtbl GuiHost::kLoop = {
    com_query, com_ref, com_ref,
    [](void* o, Steinberg_Linux_IEventHandler* h, int fd) { return host_of<Obj<Steinberg_Linux_IRunLoopVtbl>>(o).fds.push_back({h, fd}), 0; },
    [](void* o, Steinberg_Linux_IEventHandler* h) { return int(std::erase_if(host_of<Obj<Steinberg_Linux_IRunLoopVtbl>>(o).fds, [&](auto& f) { return f.first == h; })) - 1; },
    [](void* o, Steinberg_Linux_ITimerHandler* h, uint64_t ms) { return host_of<Obj<Steinberg_Linux_IRunLoopVtbl>>(o).timers.push_back({h, ms}), 0; },
    [](void* o, Steinberg_Linux_ITimerHandler* h) { return int(std::erase_if(host_of<Obj<Steinberg_Linux_IRunLoopVtbl>>(o).timers, [&](auto& t) { return t.first == h; })) - 1; }};
inline Steinberg_IPlugFrameVtbl GuiHost::kFrame = {
    [](void* o, const Steinberg_TUID iid, void** obj) {
        const bool loop = std::memcmp(iid, Steinberg_Linux_IRunLoop_iid, 16) == 0;
        *obj = loop ? &host_of<Obj<Steinberg_IPlugFrameVtbl>>(o).loop : nullptr;
        return loop ? Steinberg_kResultOk : Steinberg_kNoInterface;
    },
    com_ref, com_ref,
    [](void* o, Steinberg_IPlugView*, Steinberg_ViewRect* r) { return host_of<Obj<Steinberg_IPlugFrameVtbl>>(o).asked = *r, 0; }};
inline Steinberg_Vst_IComponentHandlerVtbl GuiHost::kHandler = {
    com_query, com_ref, com_ref,
    [](void* o, uint32_t id) { return host_of<Obj<Steinberg_Vst_IComponentHandlerVtbl>>(o).edits.push_back({'b', id, 0}), 0; },
    [](void* o, uint32_t id, double v) { return host_of<Obj<Steinberg_Vst_IComponentHandlerVtbl>>(o).edits.push_back({'p', id, v}), 0; },
    [](void* o, uint32_t id) { return host_of<Obj<Steinberg_Vst_IComponentHandlerVtbl>>(o).edits.push_back({'e', id, 0}), 0; },
    [](void*, int32_t) { return 0; }};
} // namespace zt_vst3_test
