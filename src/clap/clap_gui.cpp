// The window's face towards the CLAP host: the same X11 window as the LV2
// face's, embedded in the host's window through set_parent. Edits go to the
// plugin as queued edits (which the host hears of as param gestures and
// values); the host's changes and the live cutoff come back on the host's
// timer, X events on the host's watch of our display connection. The record
// is calloc'd and placement-constructed: nothing here needs the C++ runtime.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

#include "clap_face.h"
#include "../ui/view.h"
#include "../ui/x11_window.h"
#include "../support/bit_cast.h"

namespace zt {

struct ClapGui {
    View view;
    X11Window win;
    const clap_host_timer_support_t* host_timer = nullptr;  // null if the host has none
    const clap_host_posix_fd_support_t* host_fd = nullptr; // null if the host has none
    const clap_host_gui_t* host_gui = nullptr;              // null if the host has none
    clap_id timer = CLAP_INVALID_ID;
    int fd = -1;                   // the display connection, while the host watches it
    bool scale_from_host = false;  // set_scale was heard: the desktop's Xft.dpi is not asked
    bool hidden = false;
    uint32_t shown_cutoff = 0;     // bits of the cutoff last handed to the view
};

namespace {

// 30 pictures a second of a moving cutoff, as the LV2 hosts' idle calls give.
constexpr uint32_t kTimerMs = 33;

ClapGui* gui_of(const clap_plugin_t* plugin) { return plugin ? clap_self(plugin).gui : nullptr; }

void send_edit(void* context, const ControlEdit& edit)
{
    if (edit.port < 0) return;
    ClapPlugin& p = *static_cast<ClapPlugin*>(context);
    const uint32_t port = static_cast<uint32_t>(edit.port);
    // A drag cut short writes nothing new: its end carries the value the
    // host already has.
    const float value = edit.write ? edit.value : clap_plugin_value(p, port);
    clap_plugin_edit(p, port, value, edit.gesture_begin, edit.gesture_end);
}

// The host's changes and the live cutoff into the view, then the window's
// events and picture. Called from the host's timer and its watch of the fd.
void tick(ClapPlugin& p)
{
    ClapGui& g = *p.gui;
    float value;
    for (uint32_t port = kFirstControl; port < PORT_COUNT; ++port)
        if (clap_plugin_take_host_change(p, port, &value)) view_set_control(g.view, port, value);
    if (p.core && !g.hidden) {
        // A new cutoff means a new picture; the same bits mean nothing to do.
        const float hz = plugin_live_cutoff(*p.core);
        const uint32_t bits = bit_cast<uint32_t>(hz);
        if (bits != g.shown_cutoff) {
            g.shown_cutoff = bits;
            view_set_cutoff(g.view, hz);
        }
        view_set_session_rate(g.view, p.core->sample_rate);
    }
    x11_idle(g.win, g.view, send_edit, &p);
    // The host destroyed our parent, and with it the window: nothing reads
    // the connection any more, and a watch on it would fire without end.
    if (!g.win.window && g.fd >= 0) {
        g.host_fd->unregister_fd(p.host, g.fd);
        g.fd = -1;
    }
}

// The window goes, and with it the host's watch of its connection and its
// timer. A gesture the pointer still holds ends through the plugin, while
// the host still listens.
void close_window(ClapPlugin& p)
{
    ClapGui& g = *p.gui;
    if (g.fd >= 0 && g.host_fd) g.host_fd->unregister_fd(p.host, g.fd);
    g.fd = -1;
    if (g.timer != CLAP_INVALID_ID && g.host_timer) g.host_timer->unregister_timer(p.host, g.timer);
    g.timer = CLAP_INVALID_ID;
    x11_close(g.win, g.view, send_edit, &p);
}

// The size the host may give the window, in device pixels: no smaller than
// the view's minimum at its scale, no bigger than the view is ever drawn.
void fit_size(const View& v, uint32_t* width, uint32_t* height)
{
    int min_w = 0, min_h = 0;
    view_min_size(v, &min_w, &min_h);
    *width = std::clamp(*width, static_cast<uint32_t>(min_w), static_cast<uint32_t>(kViewMaxSide));
    *height = std::clamp(*height, static_cast<uint32_t>(min_h), static_cast<uint32_t>(kViewMaxSide));
}

// The view, and the window when there is one, at a new size.
void resize(ClapGui& g, int width, int height)
{
    view_resize(g.view, width, height);
    x11_resize(g.win, width, height);
}

// The sizes hosts read from the window, at the view's present scale; with
// `resize`, the window takes the natural one.
void natural_size(ClapGui& g, bool resize_too = true)
{
    int width = 0, height = 0, min_w = 0, min_h = 0;
    view_size_hint(g.view, &width, &height);
    view_min_size(g.view, &min_w, &min_h);
    x11_size_hints(g.win, min_w, min_h, width, height);
    if (resize_too) resize(g, width, height);
}

bool is_api_supported(const clap_plugin_t*, const char* api, bool is_floating)
{
    return api && std::strcmp(api, CLAP_WINDOW_API_X11) == 0 && !is_floating;
}

bool get_preferred_api(const clap_plugin_t*, const char** api, bool* is_floating)
{
    if (api) *api = CLAP_WINDOW_API_X11;
    if (is_floating) *is_floating = false;
    return api && is_floating;
}

bool create(const clap_plugin_t* plugin, const char* api, bool is_floating)
{
    if (!plugin || !is_api_supported(plugin, api, is_floating)) return false;
    ClapPlugin& p = clap_self(plugin);
    if (p.gui || !p.host || !p.host->get_extension) return false;
    const auto* timer =
        static_cast<const clap_host_timer_support_t*>(p.host->get_extension(p.host, CLAP_EXT_TIMER_SUPPORT));
    const auto* fd =
        static_cast<const clap_host_posix_fd_support_t*>(p.host->get_extension(p.host, CLAP_EXT_POSIX_FD_SUPPORT));
    // Without either the window would never hear of its events.
    const bool has_timer = timer && timer->register_timer && timer->unregister_timer;
    const bool has_fd = fd && fd->register_fd && fd->unregister_fd;
    if (!has_timer && !has_fd) return false;

    void* memory = std::calloc(1, sizeof(ClapGui));
    if (!memory) return false;
    ClapGui* g = new (memory) ClapGui{};
    g->host_timer = has_timer ? timer : nullptr;
    g->host_fd = has_fd ? fd : nullptr;
    g->host_gui = static_cast<const clap_host_gui_t*>(p.host->get_extension(p.host, CLAP_EXT_GUI));
    view_init(g->view);
    for (uint32_t port = kFirstControl; port < PORT_COUNT; ++port)
        view_set_control(g->view, port, clap_plugin_value(p, port));
    // Values taken now need not come again as host changes.
    for (uint32_t port = kFirstControl; port < PORT_COUNT; ++port) clap_plugin_take_host_change(p, port, nullptr);
    natural_size(*g);
    p.gui = g;
    return true;
}

void destroy(const clap_plugin_t* plugin)
{
    if (plugin) clap_gui_close(clap_self(plugin));
}

bool set_scale(const clap_plugin_t* plugin, double scale)
{
    ClapGui* g = gui_of(plugin);
    if (!g || !std::isfinite(scale) || scale <= 0.0) return false;
    const double before = g->view.scale;
    view_set_scale(g->view, scale);
    if (g->view.scale != scale) {  // outside what the view draws at
        view_set_scale(g->view, before);
        return false;
    }
    g->scale_from_host = true;
    if (scale != before) natural_size(*g);
    return true;
}

bool get_size(const clap_plugin_t* plugin, uint32_t* width, uint32_t* height)
{
    const ClapGui* g = gui_of(plugin);
    if (!g || !width || !height) return false;
    *width = static_cast<uint32_t>(g->view.width);
    *height = static_cast<uint32_t>(g->view.height);
    return true;
}

// The layout takes any size between its bounds, in either direction.
bool can_resize(const clap_plugin_t*) { return true; }

bool get_resize_hints(const clap_plugin_t*, clap_gui_resize_hints_t* hints)
{
    if (!hints) return false;
    *hints = clap_gui_resize_hints_t{true, true, false, 0, 0};
    return true;
}

bool adjust_size(const clap_plugin_t* plugin, uint32_t* width, uint32_t* height)
{
    const ClapGui* g = gui_of(plugin);
    if (!g || !width || !height) return false;
    fit_size(g->view, width, height);
    return true;
}

bool set_size(const clap_plugin_t* plugin, uint32_t width, uint32_t height)
{
    ClapGui* g = gui_of(plugin);
    if (!g) return false;
    uint32_t w = width, h = height;
    fit_size(g->view, &w, &h);
    if (w != width || h != height) return false;
    resize(*g, static_cast<int>(w), static_cast<int>(h));
    return true;
}

// The window is made here, in its parent: nothing is drawn before. A second
// parent moves the window by making it anew there.
bool set_parent(const clap_plugin_t* plugin, const clap_window_t* window)
{
    ClapGui* g = gui_of(plugin);
    if (!g || !window || !window->api || std::strcmp(window->api, CLAP_WINDOW_API_X11) != 0 || !window->x11)
        return false;
    ClapPlugin& p = clap_self(plugin);
    close_window(p);
    if (!x11_open(g->win, window->x11, g->view.width, g->view.height)) return false;
    const double scale = g->view.scale;
    // No word from the host: the desktop's Xft.dpi, as the LV2 window takes it.
    if (!g->scale_from_host && x11_dpi_scale(g->win) > 0.0) view_set_scale(g->view, x11_dpi_scale(g->win));
    natural_size(*g, g->view.scale != scale);  // a size the host set stays
    if (g->view.scale != scale && g->host_gui && g->host_gui->request_resize)
        g->host_gui->request_resize(p.host, static_cast<uint32_t>(g->view.width),
                                    static_cast<uint32_t>(g->view.height));
    if (g->hidden) x11_set_mapped(g->win, false);
    const int fd = ConnectionNumber(g->win.display);
    if (g->host_fd && g->host_fd->register_fd(p.host, fd, CLAP_POSIX_FD_READ | CLAP_POSIX_FD_ERROR)) g->fd = fd;
    if (g->host_timer && !g->host_timer->register_timer(p.host, kTimerMs, &g->timer)) g->timer = CLAP_INVALID_ID;
    return true;
}

bool set_transient(const clap_plugin_t*, const clap_window_t*) { return false; }  // floating windows only

void suggest_title(const clap_plugin_t*, const char*) {}

bool show(const clap_plugin_t* plugin)
{
    ClapGui* g = gui_of(plugin);
    if (!g) return false;
    g->hidden = false;
    x11_set_mapped(g->win, true);
    return true;
}

bool hide(const clap_plugin_t* plugin)
{
    ClapGui* g = gui_of(plugin);
    if (!g) return false;
    g->hidden = true;
    x11_end_drag(g->win, g->view, send_edit, &clap_self(plugin));  // the release will go elsewhere
    x11_set_mapped(g->win, false);
    return true;
}

void on_timer(const clap_plugin_t* plugin, clap_id timer_id)
{
    const ClapGui* g = gui_of(plugin);
    if (g && timer_id == g->timer && timer_id != CLAP_INVALID_ID) tick(clap_self(plugin));
}

void on_fd(const clap_plugin_t* plugin, int fd, clap_posix_fd_flags_t)
{
    const ClapGui* g = gui_of(plugin);
    if (g && fd == g->fd && fd >= 0) tick(clap_self(plugin));
}

} // namespace

const clap_plugin_gui_t kClapGui = {is_api_supported, get_preferred_api, create,      destroy,
                                    set_scale,        get_size,          can_resize,  get_resize_hints,
                                    adjust_size,      set_size,          set_parent,  set_transient,
                                    suggest_title,    show,              hide};
const clap_plugin_timer_support_t kClapTimer = {on_timer};
const clap_plugin_posix_fd_support_t kClapPosixFd = {on_fd};

void clap_gui_close(ClapPlugin& p)
{
    if (!p.gui) return;
    close_window(p);
    p.gui->~ClapGui();
    std::free(p.gui);
    p.gui = nullptr;
}

} // namespace zt
