#pragma once
// A small CLAP host for the window's tests: the built .clap loaded with
// dlopen, one active plugin, the host's fd watch and timers run by hand as
// an event loop runs them, a parent window on the LV2 window rig's private X
// server, and the param events the plugin sends the host, in order.
#include <X11/Xlib.h>
#include <clap/clap.h>
#include <dlfcn.h>
#include <poll.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "ui_rig.h"

namespace zt_clap_test {

struct OutEvent {
    uint16_t type;  // CLAP_EVENT_PARAM_GESTURE_BEGIN, _VALUE or _GESTURE_END
    clap_id param;
    double value;
};

template <class T> bool drop(std::vector<T>& v, T x)
{
    const auto it = std::find(v.begin(), v.end(), x);
    return it != v.end() && (v.erase(it), true);
}

struct GuiHost {
    bool offer_timer, offer_fd;
    std::vector<int> fds;         // watched now
    std::vector<clap_id> timers;  // running now
    uint32_t period_ms = 0, resize_width = 0, resize_height = 0;
    int flush_requests = 0;
    std::vector<OutEvent> events;
    void* library = nullptr;
    const clap_plugin_entry_t* entry = nullptr;
    const clap_plugin_t* plugin = nullptr;
    const clap_plugin_gui_t* gui = nullptr;
    Display* display = nullptr;   // the host's own connection
    Window parent = 0;

    static GuiHost& of(const clap_host_t* h) { return *static_cast<GuiHost*>(h->host_data); }
    static constexpr clap_host_timer_support_t kTimer = {
        [](const clap_host_t* h, uint32_t ms, clap_id* id) {
            of(h).period_ms = ms;
            *id = static_cast<clap_id>(of(h).timers.size() + 7);
            of(h).timers.push_back(*id);
            return true;
        },
        [](const clap_host_t* h, clap_id id) { return drop(of(h).timers, id); }};
    static constexpr clap_host_posix_fd_support_t kFd = {
        [](const clap_host_t* h, int fd, clap_posix_fd_flags_t) { return of(h).fds.push_back(fd), true; },
        [](const clap_host_t*, int, clap_posix_fd_flags_t) { return true; },
        [](const clap_host_t* h, int fd) { return drop(of(h).fds, fd); }};
    static constexpr clap_host_params_t kParams = {[](const clap_host_t*, clap_param_rescan_flags) {},
                                                   [](const clap_host_t*, clap_id, clap_param_clear_flags) {},
                                                   [](const clap_host_t* h) { ++of(h).flush_requests; }};
    static constexpr clap_host_gui_t kGui = {
        [](const clap_host_t*) {},
        [](const clap_host_t* h, uint32_t w, uint32_t hh) {
            of(h).resize_width = w, of(h).resize_height = hh;
            return true;
        },
        [](const clap_host_t*) { return true; }, [](const clap_host_t*) { return true; },
        [](const clap_host_t*, bool) {}};
    const clap_host_t host = {
        CLAP_VERSION_INIT, this, "zt window test", "zt", "", "1",
        [](const clap_host_t* h, const char* id) -> const void* {
            const std::string name = id;
            if (name == CLAP_EXT_TIMER_SUPPORT) return of(h).offer_timer ? &kTimer : nullptr;
            if (name == CLAP_EXT_POSIX_FD_SUPPORT) return of(h).offer_fd ? &kFd : nullptr;
            if (name == CLAP_EXT_PARAMS) return &kParams;
            return name == CLAP_EXT_GUI ? &kGui : nullptr;
        },
        [](const clap_host_t*) {}, [](const clap_host_t*) {}, [](const clap_host_t*) {}};

    explicit GuiHost(bool timer = true, bool fd = true) : offer_timer(timer), offer_fd(fd)
    {
        zt_ui_test::use_private_x_server();
        const std::string file = ZT_BUNDLE_PARENT "/zirpomatik-tolm.clap";
        library = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
        entry = library ? static_cast<const clap_plugin_entry_t*>(dlsym(library, "clap_entry")) : nullptr;
        if (!entry || !entry->init(file.c_str())) throw std::runtime_error("no clap_entry in " + file);
        auto factory = static_cast<const clap_plugin_factory_t*>(entry->get_factory(CLAP_PLUGIN_FACTORY_ID));
        plugin = factory->create_plugin(factory, &host, "org.zirpomatik.tolm");
        if (!plugin->init(plugin) || !plugin->activate(plugin, 48000.0, 1, 4096)) throw std::runtime_error("start");
        gui = static_cast<const clap_plugin_gui_t*>(plugin->get_extension(plugin, CLAP_EXT_GUI));
        display = XOpenDisplay(nullptr);
        parent = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 400, 300, 0, 0, 0);
        XMapWindow(display, parent);
        XSync(display, False);  // the plugin's own connection must find it
    }
    ~GuiHost()
    {
        if (plugin) plugin->deactivate(plugin), plugin->destroy(plugin);  // with the window open or not
        XDestroyWindow(display, parent);
        XCloseDisplay(display);
        entry->deinit();
        dlclose(library);
    }

    bool set_parent(Window w)
    {
        clap_window_t window{CLAP_WINDOW_API_X11, {}};
        window.x11 = w;
        return gui->set_parent(plugin, &window);
    }
    // A host's order: create, set_scale (unless 0), get_size, set_parent, show.
    bool open(double scale = 0.0)
    {
        uint32_t w = 0, h = 0;
        return gui->create(plugin, CLAP_WINDOW_API_X11, false) && (scale == 0.0 || gui->set_scale(plugin, scale)) &&
               gui->get_size(plugin, &w, &h) && set_parent(parent) && gui->show(plugin);
    }
    // The plugin's window in the parent (0 if none) and its attributes.
    Window child() const
    {
        Window root, up, *children = nullptr, found = 0;
        unsigned n = 0;
        if (XQueryTree(display, parent, &root, &up, &children, &n) && n > 0) found = children[0];
        if (children) XFree(children);
        return found;
    }
    XWindowAttributes child_attributes() const
    {
        XWindowAttributes a{};
        XGetWindowAttributes(display, child(), &a);
        return a;
    }
    // One turn of the event loop: readable fds, then due timers (all, here).
    void idle()
    {
        XSync(display, False);  // the server has seen our requests before the window looks
        auto fd_ext = static_cast<const clap_plugin_posix_fd_support_t*>(
            plugin->get_extension(plugin, CLAP_EXT_POSIX_FD_SUPPORT));
        auto timer_ext =
            static_cast<const clap_plugin_timer_support_t*>(plugin->get_extension(plugin, CLAP_EXT_TIMER_SUPPORT));
        for (const int fd : std::vector<int>(fds)) {
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, 0) > 0) fd_ext->on_fd(plugin, fd, CLAP_POSIX_FD_READ);
        }
        for (const clap_id t : std::vector<clap_id>(timers)) timer_ext->on_timer(plugin, t);
    }

    // The events flush and process take (none, or one host value) and give.
    clap_event_param_value_t in_event{};
    const clap_input_events_t in_events{
        this, [](const clap_input_events_t* l) -> uint32_t { return of_list(l).in_event.param_id != CLAP_INVALID_ID; },
        [](const clap_input_events_t* l, uint32_t) -> const clap_event_header_t* { return &of_list(l).in_event.header; }};
    const clap_output_events_t out_events{this, [](const clap_output_events_t* l, const clap_event_header_t* ev) {
        const auto* v = reinterpret_cast<const clap_event_param_value_t*>(ev);
        const auto* g = reinterpret_cast<const clap_event_param_gesture_t*>(ev);
        const bool value = ev->type == CLAP_EVENT_PARAM_VALUE;
        of_list(l).events.push_back({ev->type, value ? v->param_id : g->param_id, value ? v->value : 0.0});
        return true;
    }};
    template <class List> static GuiHost& of_list(const List* l) { return *static_cast<GuiHost*>(l->ctx); }

    // params.flush, with one host value for `param` unless it is CLAP_INVALID_ID.
    void flush(clap_id param = CLAP_INVALID_ID, double value = 0.0)
    {
        in_event = {{sizeof in_event, 0, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_VALUE, 0}, param, nullptr,
                    -1, -1, -1, -1, value};
        static_cast<const clap_plugin_params_t*>(plugin->get_extension(plugin, CLAP_EXT_PARAMS))
            ->flush(plugin, &in_events, &out_events);
    }
    void process(uint32_t frames)
    {
        std::vector<float> buffer(frames, 0.01f);
        float* data = buffer.data();
        clap_audio_buffer_t audio{&data, nullptr, 1, 0, 0};
        in_event.param_id = CLAP_INVALID_ID;
        const clap_process_t p{-1, frames, nullptr, &audio, &audio, 1, 1, &in_events, &out_events};
        plugin->process(plugin, &p);
    }
    std::vector<OutEvent> take_events() { return std::exchange(events, {}); }
};

} // namespace zt_clap_test
