#include "ui_rig.h"

#include <dlfcn.h>
#include <lv2/atom/atom.h>
#include <lv2/instance-access/instance-access.h>
#include <lv2/options/options.h>
#include <lv2/parameters/parameters.h>
#include <lv2/urid/urid.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace zt_ui_test {

namespace {

pid_t g_xvfb = 0;

void end_x_server()
{
    if (g_xvfb <= 0) return;
    kill(g_xvfb, SIGTERM);
    waitpid(g_xvfb, nullptr, 0);
    g_xvfb = 0;
}

// The host's URID map: a URI's number is its place in the list, from 1.
struct UridMap {
    std::vector<std::string> uris;
    LV2_URID_Map map{this, &UridMap::lookup};
    static LV2_URID lookup(LV2_URID_Map_Handle h, const char* uri)
    {
        auto* self = static_cast<UridMap*>(h);
        for (size_t i = 0; i < self->uris.size(); ++i)
            if (self->uris[i] == uri) return static_cast<LV2_URID>(i + 1);
        self->uris.emplace_back(uri);
        return static_cast<LV2_URID>(self->uris.size());
    }
};

void write_call(LV2UI_Controller c, uint32_t port, uint32_t size, uint32_t format, const void* buffer)
{
    auto* rig = static_cast<UiRig*>(c);
    float v = 0.0f;
    if (format == 0 && size == sizeof(float)) std::memcpy(&v, buffer, sizeof v);
    else v = NAN;  // anything but a float to a control port is wrong; the tests see it
    rig->calls.push_back({HostCall::write, port, v});
    if (rig->on_write) rig->on_write();
}

void touch_call(LV2UI_Feature_Handle h, uint32_t port, bool grabbed)
{
    static_cast<UiRig*>(h)->calls.push_back({grabbed ? HostCall::touch_begin : HostCall::touch_end, port, 0.0f});
}

int resize_call(LV2UI_Feature_Handle h, int width, int height)
{
    auto* rig = static_cast<UiRig*>(h);
    rig->resized_width = width;
    rig->resized_height = height;
    XResizeWindow(rig->display, rig->parent, static_cast<unsigned>(width), static_cast<unsigned>(height));
    return 0;
}

} // namespace

int x_server_pid() { return g_xvfb; }

void use_private_x_server()
{
    if (g_xvfb > 0) return;
    int fds[2];
    if (pipe(fds) != 0) throw std::runtime_error("pipe");
    g_xvfb = fork();
    if (g_xvfb == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);  // a test killed by its timeout takes its server along
        close(fds[0]);
        const std::string fd = std::to_string(fds[1]);
        // On TCP too: a client there is one the server cannot identify, as a
        // remote one, which is refused shared memory (window_test).
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1600x1000x24", "-listen", "tcp",
               "-noreset", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    // Xvfb writes the display number it took once it accepts clients.
    char number[32] = {};
    ssize_t got = 0;
    for (ssize_t n; got < 31 && (n = read(fds[0], number + got, 31 - got)) > 0;) {
        got += n;
        if (std::memchr(number, '\n', static_cast<size_t>(got))) break;
    }
    close(fds[0]);
    if (got <= 0) throw std::runtime_error("Xvfb did not start (Debian package xvfb)");
    number[std::strcspn(number, "\n")] = '\0';
    setenv("DISPLAY", (std::string(":") + number).c_str(), 1);
    std::atexit(end_x_server);
}

UiRig::UiRig()
{
    use_private_x_server();
    library = dlopen(kUiLibrary.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) throw std::runtime_error(dlerror());
    auto entry = reinterpret_cast<LV2UI_DescriptorFunction>(dlsym(library, "lv2ui_descriptor"));
    desc = entry ? entry(0) : nullptr;
    if (!desc) throw std::runtime_error("no lv2ui_descriptor(0)");
    idle_iface = static_cast<const LV2UI_Idle_Interface*>(desc->extension_data(LV2_UI__idleInterface));
    display = XOpenDisplay(nullptr);
    if (!display) throw std::runtime_error("cannot open the test's display");
    parent = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 400, 300, 0, 0, 0);
    XSelectInput(display, parent, SubstructureNotifyMask);
    XMapWindow(display, parent);
    XSync(display, False);
}

UiRig::~UiRig()
{
    close();
    if (display) {
        XDestroyWindow(display, parent);
        XCloseDisplay(display);
    }
    if (library) dlclose(library);
    delete static_cast<UridMap*>(map_);
}

const LV2_Feature* const* UiRig::features_for(const Offer& offer)
{
    if (!map_) map_ = new UridMap;
    auto* urids = static_cast<UridMap*>(map_);
    feature_store_.clear();
    feature_list_.clear();
    // Each option's value sits in option_store_ after the option records.
    const size_t n_opts = 2;
    option_store_.assign(sizeof(LV2_Options_Option) * (n_opts + 1) + 2 * sizeof(float), 0);
    auto* opts = reinterpret_cast<LV2_Options_Option*>(option_store_.data());
    auto* values = reinterpret_cast<float*>(option_store_.data() + sizeof(LV2_Options_Option) * (n_opts + 1));
    size_t k = 0;
    const LV2_URID t_float = urids->map.map(urids, LV2_ATOM__Float);
    if (offer.scale != 0.0) {
        values[0] = static_cast<float>(offer.scale);
        opts[k++] = {LV2_OPTIONS_INSTANCE, 0, urids->map.map(urids, LV2_UI__scaleFactor), sizeof(float), t_float, &values[0]};
    }
    if (offer.session_rate != 0.0) {
        values[1] = static_cast<float>(offer.session_rate);
        opts[k++] = {LV2_OPTIONS_INSTANCE, 0, urids->map.map(urids, LV2_PARAMETERS__sampleRate), sizeof(float), t_float, &values[1]};
    }
    opts[k] = {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr};

    touch_ = {this, touch_call};
    resize_ = {this, resize_call};
    if (offer.parent) feature_store_.push_back({LV2_UI__parent, reinterpret_cast<void*>(parent)});
    if (offer.touch) feature_store_.push_back({LV2_UI__touch, &touch_});
    if (offer.resize) feature_store_.push_back({LV2_UI__resize, &resize_});
    if (offer.instance) feature_store_.push_back({LV2_INSTANCE_ACCESS_URI, const_cast<void*>(offer.instance)});
    feature_store_.push_back({LV2_URID__map, &urids->map});
    feature_store_.push_back({LV2_OPTIONS__options, opts});
    for (const LV2_Feature& f : feature_store_) feature_list_.push_back(&f);
    feature_list_.push_back(nullptr);
    return feature_list_.data();
}

bool UiRig::open(const Offer& offer)
{
    close();
    calls.clear();
    LV2UI_Widget widget = nullptr;
    ui = desc->instantiate(desc, ZT_PLUGIN_URI, kBundle.c_str(), write_call, this, &widget, features_for(offer));
    child = ui ? static_cast<Window>(reinterpret_cast<uintptr_t>(widget)) : 0;
    return ui != nullptr;
}

void UiRig::close()
{
    if (ui) desc->cleanup(ui);
    ui = nullptr;
    child = 0;
}

int UiRig::idle()
{
    // The server must have seen our requests before the window looks for events.
    XSync(display, False);
    timespec t0{}, t1{};
    clock_gettime(CLOCK_MONOTONIC, &t0);
    const int r = idle_iface->idle(ui);
    clock_gettime(CLOCK_MONOTONIC, &t1);
    worst_idle_ms = std::max(worst_idle_ms, 1e3 * double(t1.tv_sec - t0.tv_sec) + 1e-6 * double(t1.tv_nsec - t0.tv_nsec));
    return r;
}

void UiRig::port_event(uint32_t port, float value)
{
    desc->port_event(ui, port, sizeof(float), 0, &value);
}

void UiRig::child_size(int* width, int* height) const
{
    XWindowAttributes a{};
    XGetWindowAttributes(display, child, &a);
    *width = a.width;
    *height = a.height;
}

namespace {

void send_event(Display* d, Window w, XEvent& ev, long mask)
{
    XSendEvent(d, w, False, mask, &ev);
    XSync(d, False);
}

} // namespace

void send_press(Display* d, Window w, double x, double y, unsigned button, unsigned state, Time time)
{
    XEvent ev{};
    ev.xbutton = {ButtonPress, 0, True, d, w, DefaultRootWindow(d), 0, time,
                  static_cast<int>(x), static_cast<int>(y), 0, 0, state, button, True};
    send_event(d, w, ev, ButtonPressMask);
}

void send_motion(Display* d, Window w, double x, double y, unsigned state)
{
    XEvent ev{};
    ev.xmotion = {MotionNotify, 0, True, d, w, DefaultRootWindow(d), 0, CurrentTime,
                  static_cast<int>(x), static_cast<int>(y), 0, 0, state, NotifyNormal, True};
    send_event(d, w, ev, PointerMotionMask);
}

void send_release(Display* d, Window w, double x, double y, unsigned button, Time time)
{
    XEvent ev{};
    ev.xbutton = {ButtonRelease, 0, True, d, w, DefaultRootWindow(d), 0, time,
                  static_cast<int>(x), static_cast<int>(y), 0, 0, Button1Mask, button, True};
    send_event(d, w, ev, ButtonReleaseMask);
}

void UiRig::send(XEvent& ev, long mask) { send_event(display, child, ev, mask); }

void UiRig::press(double x, double y, unsigned button, unsigned state, Time time)
{
    send_press(display, child, x, y, button, state, time);
}

void UiRig::motion(double x, double y, unsigned state) { send_motion(display, child, x, y, state); }

void UiRig::release(double x, double y, unsigned button, Time time)
{
    send_release(display, child, x, y, button, time);
}

RunningPlugin::RunningPlugin() : in(256), out(256)
{
    library = dlopen(kPluginLibrary.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) throw std::runtime_error(dlerror());
    auto entry = reinterpret_cast<LV2_Descriptor_Function>(dlsym(library, "lv2_descriptor"));
    desc = entry(0);
    handle = desc->instantiate(desc, 48000.0, kBundle.c_str(), nullptr);
    for (uint32_t p = 2; p < 11; ++p) desc->connect_port(handle, p, &control[p]);
    desc->connect_port(handle, 0, in.data());
    desc->connect_port(handle, 1, out.data());
    for (size_t i = 0; i < in.size(); ++i) in[i] = (i % 64 < 32) ? 0.01f : -0.01f;
}

RunningPlugin::~RunningPlugin()
{
    stop();
    desc->cleanup(handle);
    dlclose(library);
}

void RunningPlugin::start()
{
    running = true;
    thread = std::thread([this] {
        // About real time: 256 frames every 5.3 ms.
        while (running.load()) {
            desc->run(handle, 256);
            usleep(5333);
        }
    });
}

void RunningPlugin::stop()
{
    running = false;
    if (thread.joinable()) thread.join();
}

} // namespace zt_ui_test
