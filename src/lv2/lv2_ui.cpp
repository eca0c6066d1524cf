// The window's face towards the LV2 host: one X11 UI descriptor. Values come
// in through port_event, edits go out through write_function (with touch
// gestures around them when the host offers them), and all the work happens
// in the host's idle calls. Built without the C++ runtime: the instance is
// calloc'd and placement-constructed, and nothing here allocates otherwise.
#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/instance-access/instance-access.h>
#include <lv2/options/options.h>
#include <lv2/parameters/parameters.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

#include "../ui/x11_window.h"
#include "../ui/view.h"
#include "../core/plugin.h"

namespace zt {

namespace {

struct Ui {
    LV2UI_Write_Function write = nullptr;
    LV2UI_Controller controller = nullptr;
    const LV2UI_Touch* touch = nullptr;       // optional
    const Plugin* instance = nullptr;         // optional (instance-access): the live cutoff
    uint32_t shown_cutoff = 0;                // bits of the cutoff last handed to the view
    X11Window win;
    View view;
};

// What the host's features tell the window.
struct HostOffer {
    unsigned long parent = 0;
    bool has_parent = false;
    const LV2UI_Resize* resize = nullptr;
    const LV2UI_Touch* touch = nullptr;
    const Plugin* instance = nullptr;
    double scale = 0.0;        // 0: the host did not say
    double session_rate = 0.0; // 0: the host did not say
};

// A number option of any of the atom types hosts use for them; 0 otherwise.
double option_number(const LV2_Options_Option& o, LV2_URID t_float, LV2_URID t_double, LV2_URID t_int)
{
    if (!o.value) return 0.0;
    if (o.type == t_float && o.size == sizeof(float)) return *static_cast<const float*>(o.value);
    if (o.type == t_double && o.size == sizeof(double)) return *static_cast<const double*>(o.value);
    if (o.type == t_int && o.size == sizeof(int32_t)) return *static_cast<const int32_t*>(o.value);
    return 0.0;
}

HostOffer read_features(const LV2_Feature* const* features)
{
    HostOffer h;
    const LV2_URID_Map* map = nullptr;
    const LV2_Options_Option* options = nullptr;
    for (const LV2_Feature* const* f = features; f && *f; ++f) {
        const char* uri = (*f)->URI;
        void* data = (*f)->data;
        if (!uri) continue;
        if (!std::strcmp(uri, LV2_UI__parent)) {
            h.parent = reinterpret_cast<uintptr_t>(data);
            h.has_parent = data != nullptr;
        } else if (!std::strcmp(uri, LV2_UI__resize)) {
            h.resize = static_cast<const LV2UI_Resize*>(data);
        } else if (!std::strcmp(uri, LV2_UI__touch)) {
            h.touch = static_cast<const LV2UI_Touch*>(data);
        } else if (!std::strcmp(uri, LV2_INSTANCE_ACCESS_URI)) {
            // The handle our own plugin's instantiate returned.
            h.instance = static_cast<const Plugin*>(data);
        } else if (!std::strcmp(uri, LV2_URID__map)) {
            map = static_cast<const LV2_URID_Map*>(data);
        } else if (!std::strcmp(uri, LV2_OPTIONS__options)) {
            options = static_cast<const LV2_Options_Option*>(data);
        }
    }
    if (map && map->map && options) {
        const LV2_URID scale_key = map->map(map->handle, LV2_UI__scaleFactor);
        const LV2_URID rate_key = map->map(map->handle, LV2_PARAMETERS__sampleRate);
        const LV2_URID t_float = map->map(map->handle, LV2_ATOM__Float);
        const LV2_URID t_double = map->map(map->handle, LV2_ATOM__Double);
        const LV2_URID t_int = map->map(map->handle, LV2_ATOM__Int);
        for (const LV2_Options_Option* o = options; o->key != 0; ++o) {
            const double x = option_number(*o, t_float, t_double, t_int);
            if (o->key == scale_key && std::isfinite(x) && x >= 0.25 && x <= 8.0) h.scale = x;
            if (o->key == rate_key && std::isfinite(x) && x > 0.0 && x <= 1e7) h.session_rate = x;
        }
    }
    return h;
}

void send_edit(void* context, const ControlEdit& edit)
{
    Ui* ui = static_cast<Ui*>(context);
    const uint32_t port = static_cast<uint32_t>(edit.port);
    const bool touch = ui->touch && ui->touch->touch && edit.port >= 0;
    if (touch && edit.gesture_begin) ui->touch->touch(ui->touch->handle, port, true);
    if (edit.port >= 0 && edit.write && ui->write) ui->write(ui->controller, port, sizeof(float), 0, &edit.value);
    if (touch && edit.gesture_end) ui->touch->touch(ui->touch->handle, port, false);
}

// A gesture still open ends here, while the host's callbacks still hold.
void destroy(Ui* ui)
{
    x11_close(ui->win, ui->view, send_edit, ui);
    ui->~Ui();
    std::free(ui);
}

// UI threading class, as every function here.
LV2UI_Handle instantiate(const LV2UI_Descriptor*, const char* plugin_uri, const char*,
                         LV2UI_Write_Function write, LV2UI_Controller controller, LV2UI_Widget* widget,
                         const LV2_Feature* const* features)
{
    // The one window serves the mono and the stereo plugin: the same controls.
    if (!plugin_uri || (std::strcmp(plugin_uri, ZT_PLUGIN_URI) != 0 && std::strcmp(plugin_uri, ZT_STEREO_URI) != 0) ||
        !widget)
        return nullptr;
    const HostOffer host = read_features(features);
    if (!host.has_parent) return nullptr;  // required in the Turtle; a host without it cannot embed us

    void* memory = std::calloc(1, sizeof(Ui));
    if (!memory) return nullptr;
    Ui* ui = new (memory) Ui{};
    ui->write = write;
    ui->controller = controller;
    ui->touch = host.touch;
    ui->instance = host.instance;
    view_init(ui->view);
    view_set_session_rate(ui->view, host.session_rate);

    // The scale is known only once the display is open (Xft.dpi), and the
    // window's size only from the scale: open at the logical size first.
    int width = 0, height = 0;
    view_size_hint(ui->view, &width, &height);
    if (!x11_open(ui->win, host.parent, width, height)) {
        destroy(ui);
        return nullptr;
    }
    double scale = host.scale;
    if (scale == 0.0) scale = x11_dpi_scale(ui->win);
    if (scale == 0.0) scale = 1.0;
    view_set_scale(ui->view, scale);
    view_size_hint(ui->view, &width, &height);
    int min_width = 0, min_height = 0;
    view_min_size(ui->view, &min_width, &min_height);
    x11_size_hints(ui->win, min_width, min_height, width, height);
    x11_resize(ui->win, width, height);
    view_resize(ui->view, width, height);
    if (host.resize && host.resize->ui_resize) host.resize->ui_resize(host.resize->handle, width, height);

    *widget = reinterpret_cast<LV2UI_Widget>(static_cast<uintptr_t>(ui->win.window));
    return ui;
}

void cleanup(LV2UI_Handle handle)
{
    if (handle) destroy(static_cast<Ui*>(handle));
}

void port_event(LV2UI_Handle handle, uint32_t port, uint32_t size, uint32_t format, const void* buffer)
{
    Ui* ui = static_cast<Ui*>(handle);
    if (!ui || format != 0 || size != sizeof(float) || !buffer || port >= PORT_COUNT) return;
    float value;
    std::memcpy(&value, buffer, sizeof value);  // hosts may pass any alignment
    view_set_control(ui->view, port, value);
}

int idle(LV2UI_Handle handle)
{
    Ui* ui = static_cast<Ui*>(handle);
    if (!ui) return 1;
    if (ui->instance) {
        // A new cutoff means a new picture; the same bits mean nothing to do.
        const float hz = plugin_live_cutoff(*ui->instance);
        const uint32_t bits = std::bit_cast<uint32_t>(hz);
        if (bits != ui->shown_cutoff) {
            ui->shown_cutoff = bits;
            view_set_cutoff(ui->view, hz);
        }
    }
    x11_idle(ui->win, ui->view, send_edit, ui);
    return 0;
}

const LV2UI_Idle_Interface kIdle = {idle};

const void* extension_data(const char* uri)
{
    if (uri && !std::strcmp(uri, LV2_UI__idleInterface)) return &kIdle;
    return nullptr;
}

// The Turtle names the window with the same URI.
const LV2UI_Descriptor kDescriptor = {ZT_PLUGIN_URI "#ui", instantiate, cleanup, port_event, extension_data};

} // namespace

} // namespace zt

LV2_SYMBOL_EXPORT const LV2UI_Descriptor* lv2ui_descriptor(uint32_t index)
{
    return index == 0 ? &zt::kDescriptor : nullptr;
}
