#include "gui_host.h"

#include <dlfcn.h>
#include <poll.h>

#include <algorithm>
#include <stdexcept>

#include "ui_rig.h"

namespace zt_clap_test {

namespace {

GuiHost& self(const clap_host_t* h) { return *static_cast<GuiHost*>(h->host_data); }

uint32_t no_events(const clap_input_events_t*) { return 0; }
const clap_event_header_t* no_event(const clap_input_events_t*, uint32_t) { return nullptr; }

// One host value, as the host's own slider or automation sends it.
struct OneEvent {
    clap_event_param_value_t ev{};
    clap_input_events_t list{this, size, get};
    static uint32_t size(const clap_input_events_t* l)
    {
        return static_cast<const OneEvent*>(l->ctx)->ev.param_id == CLAP_INVALID_ID ? 0 : 1;
    }
    static const clap_event_header_t* get(const clap_input_events_t* l, uint32_t)
    {
        return &static_cast<const OneEvent*>(l->ctx)->ev.header;
    }
};

} // namespace

GuiHost::GuiHost(HostOffer offer) : offer_(offer)
{
    zt_ui_test::use_private_x_server();
    library = dlopen(kClapFile.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) throw std::runtime_error(dlerror());
    entry = static_cast<const clap_plugin_entry_t*>(dlsym(library, "clap_entry"));
    if (!entry || !entry->init(kClapFile.c_str())) throw std::runtime_error("clap_entry");
    host_ = {CLAP_VERSION_INIT, this, "zt gui test", "zt", "", "1", get_extension,
             [](const clap_host_t*) {}, [](const clap_host_t*) {}, [](const clap_host_t*) {}};
    host_timer_ = {[](const clap_host_t* h, uint32_t period, clap_id* id) {
                       GuiHost& g = self(h);
                       g.last_period_ms = period;
                       *id = g.next_timer_++;
                       g.timers.push_back(*id);
                       return true;
                   },
                   [](const clap_host_t* h, clap_id id) {
                       auto& t = self(h).timers;
                       const auto it = std::find(t.begin(), t.end(), id);
                       if (it == t.end()) return false;
                       t.erase(it);
                       return true;
                   }};
    host_fd_ = {[](const clap_host_t* h, int fd, clap_posix_fd_flags_t) {
                    self(h).fds.push_back(fd);
                    return true;
                },
                [](const clap_host_t*, int, clap_posix_fd_flags_t) { return true; },
                [](const clap_host_t* h, int fd) {
                    auto& f = self(h).fds;
                    const auto it = std::find(f.begin(), f.end(), fd);
                    if (it == f.end()) return false;
                    f.erase(it);
                    return true;
                }};
    host_params_ = {[](const clap_host_t*, clap_param_rescan_flags) {},
                    [](const clap_host_t*, clap_id, clap_param_clear_flags) {},
                    [](const clap_host_t* h) { ++self(h).flush_requests; }};
    host_gui_ = {[](const clap_host_t*) {},
                 [](const clap_host_t* h, uint32_t w, uint32_t hh) {
                     GuiHost& g = self(h);
                     g.resize_width = w, g.resize_height = hh;
                     XResizeWindow(g.display, g.parent, w, hh);
                     return true;
                 },
                 [](const clap_host_t*) { return true; }, [](const clap_host_t*) { return true; },
                 [](const clap_host_t*, bool) {}};
    auto factory = static_cast<const clap_plugin_factory_t*>(entry->get_factory(CLAP_PLUGIN_FACTORY_ID));
    plugin = factory->create_plugin(factory, &host_, "org.zirpomatik.tolm");
    if (!plugin || !plugin->init(plugin) || !plugin->activate(plugin, 48000.0, 1, 4096))
        throw std::runtime_error("the plugin did not start");
    gui = static_cast<const clap_plugin_gui_t*>(plugin->get_extension(plugin, CLAP_EXT_GUI));
    params = static_cast<const clap_plugin_params_t*>(plugin->get_extension(plugin, CLAP_EXT_PARAMS));
    timer = static_cast<const clap_plugin_timer_support_t*>(plugin->get_extension(plugin, CLAP_EXT_TIMER_SUPPORT));
    fd = static_cast<const clap_plugin_posix_fd_support_t*>(plugin->get_extension(plugin, CLAP_EXT_POSIX_FD_SUPPORT));
    if (!gui || !params || !timer || !fd) throw std::runtime_error("the plugin has no window");
    display = XOpenDisplay(nullptr);
    if (!display) throw std::runtime_error("cannot open the test's display");
    parent = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 400, 300, 0, 0, 0);
    XMapWindow(display, parent);
    XSync(display, False);
}

GuiHost::~GuiHost()
{
    if (plugin) {
        plugin->deactivate(plugin);
        plugin->destroy(plugin);
    }
    if (display) {
        XDestroyWindow(display, parent);
        XCloseDisplay(display);
    }
    if (entry) entry->deinit();
    if (library) dlclose(library);
}

const void* GuiHost::get_extension(const clap_host_t* h, const char* id)
{
    GuiHost& g = self(h);
    const std::string name = id;
    if (name == CLAP_EXT_TIMER_SUPPORT) return g.offer_.timer ? &g.host_timer_ : nullptr;
    if (name == CLAP_EXT_POSIX_FD_SUPPORT) return g.offer_.fd ? &g.host_fd_ : nullptr;
    if (name == CLAP_EXT_PARAMS) return &g.host_params_;
    if (name == CLAP_EXT_GUI) return &g.host_gui_;
    return nullptr;
}

bool GuiHost::open(double scale)
{
    if (!gui->create(plugin, CLAP_WINDOW_API_X11, false)) return false;
    if (scale != 0.0 && !gui->set_scale(plugin, scale)) return false;
    uint32_t w = 0, h = 0;
    if (!gui->get_size(plugin, &w, &h)) return false;
    XResizeWindow(display, parent, w, h);
    clap_window_t window{CLAP_WINDOW_API_X11, {}};
    window.x11 = parent;
    return gui->set_parent(plugin, &window) && gui->show(plugin);
}

Window GuiHost::child() const
{
    Window root, up, *children = nullptr, found = 0;
    unsigned n = 0;
    if (XQueryTree(display, parent, &root, &up, &children, &n) && n > 0) found = children[0];
    if (children) XFree(children);
    return found;
}

void GuiHost::child_size(int* width, int* height) const
{
    XWindowAttributes a{};
    XGetWindowAttributes(display, child(), &a);
    *width = a.width, *height = a.height;
}

bool GuiHost::viewable() const
{
    XWindowAttributes a{};
    return XGetWindowAttributes(display, child(), &a) && a.map_state == IsViewable;
}

void GuiHost::idle()
{
    XSync(display, False);  // the server has seen our requests before the window looks
    for (const int f : std::vector<int>(fds)) {
        pollfd p{f, POLLIN, 0};
        if (poll(&p, 1, 0) > 0) fd->on_fd(plugin, f, CLAP_POSIX_FD_READ);
    }
    for (const clap_id t : std::vector<clap_id>(timers)) timer->on_timer(plugin, t);
}

bool GuiHost::try_push(const clap_output_events_t* list, const clap_event_header_t* ev)
{
    GuiHost& g = *static_cast<GuiHost*>(list->ctx);
    if (ev->space_id != CLAP_CORE_EVENT_SPACE_ID) return true;
    if (ev->type == CLAP_EVENT_PARAM_VALUE) {
        const auto* v = reinterpret_cast<const clap_event_param_value_t*>(ev);
        g.events.push_back({OutEvent::value, v->param_id, v->value});
    } else if (ev->type == CLAP_EVENT_PARAM_GESTURE_BEGIN || ev->type == CLAP_EVENT_PARAM_GESTURE_END) {
        const auto* gesture = reinterpret_cast<const clap_event_param_gesture_t*>(ev);
        g.events.push_back({ev->type == CLAP_EVENT_PARAM_GESTURE_BEGIN ? OutEvent::begin : OutEvent::end,
                            gesture->param_id, 0.0});
    }
    return true;
}

void GuiHost::flush(clap_id param, double value)
{
    OneEvent one;
    one.ev.header = {sizeof one.ev, 0, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_VALUE, 0};
    one.ev.param_id = param;
    one.ev.value = value;
    const clap_output_events_t out{this, try_push};
    params->flush(plugin, &one.list, &out);
}

void GuiHost::process(uint32_t frames)
{
    std::vector<float> in(frames, 0.01f), out(frames);
    float* in_ptr = in.data();
    float* out_ptr = out.data();
    clap_audio_buffer_t ain{&in_ptr, nullptr, 1, 0, 0}, aout{&out_ptr, nullptr, 1, 0, 0};
    const clap_input_events_t no_in{nullptr, no_events, no_event};
    const clap_output_events_t events_out{this, try_push};
    const clap_process_t p{-1, frames, nullptr, &ain, &aout, 1, 1, &no_in, &events_out};
    plugin->process(plugin, &p);
}

std::vector<OutEvent> GuiHost::take_events()
{
    std::vector<OutEvent> out;
    out.swap(events);
    return out;
}

} // namespace zt_clap_test
