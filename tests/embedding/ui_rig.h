#pragma once
// A small LV2 UI host for the window's tests: an X server of the process's
// own (Xvfb), a parent window, the features a host offers, and a record of
// everything the window tells the host. The window's library is the one in
// the bundle of the build tree, loaded with dlopen as hosts load it.
#include <X11/Xlib.h>
#include <lv2/core/lv2.h>
#include <lv2/ui/ui.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace zt_ui_test {

const std::string kBundle = ZT_BUNDLE_PARENT "/zirpomatik-tolm.lv2/";
const std::string kUiLibrary = kBundle + "libzirpomatik-tolm-ui.so";
const std::string kPluginLibrary = kBundle + "libzirpomatik-tolm.so";
const std::string kUiUri = ZT_PLUGIN_URI "#ui";

// Starts Xvfb on a free display once per process and points DISPLAY at it;
// the server is ended when the process exits.
void use_private_x_server();
int x_server_pid();  // that server's process id, 0 before it runs

// Pointer input as the server delivers it to a window (sent events: the
// window treats them as any other).
void send_press(Display* d, Window w, double x, double y, unsigned button = Button1, unsigned state = 0,
                Time time = 1000);
void send_motion(Display* d, Window w, double x, double y, unsigned state = Button1Mask);
void send_release(Display* d, Window w, double x, double y, unsigned button = Button1, Time time = 1100);

// What the window told the host, in order.
struct HostCall {
    enum Kind { touch_begin, write, touch_end } kind;
    uint32_t port;
    float value;  // write only
};

struct Offer {
    bool parent = true;
    bool touch = true;
    bool resize = true;
    const void* instance = nullptr;  // instance-access, when set
    double scale = 0.0;              // ui:scaleFactor, when not 0
    double session_rate = 0.0;       // param:sampleRate, when not 0
};

struct UiRig {
    void* library = nullptr;
    const LV2UI_Descriptor* desc = nullptr;
    const LV2UI_Idle_Interface* idle_iface = nullptr;
    Display* display = nullptr;   // the host's own connection
    Window parent = 0;
    LV2UI_Handle ui = nullptr;
    Window child = 0;             // the widget the window handed back
    std::vector<HostCall> calls;
    int resized_width = 0, resized_height = 0;
    std::function<void()> on_write;  // the host's work inside write_function, after the call is recorded
    double worst_idle_ms = 0.0;      // the longest idle call so far

    UiRig();   // loads the library, opens the host's display and parent window
    ~UiRig();  // closes the window if open, unloads everything
    UiRig(const UiRig&) = delete;
    UiRig& operator=(const UiRig&) = delete;

    bool open(const Offer& offer = {});
    void close();
    int idle();  // one idle call, as a host's timer makes it
    void port_event(uint32_t port, float value);
    void child_size(int* width, int* height) const;

    // Pointer input as the server delivers it to the window (sent events:
    // the window treats them as any other).
    void press(double x, double y, unsigned button = Button1, unsigned state = 0, Time time = 1000);
    void motion(double x, double y, unsigned state = Button1Mask);
    void release(double x, double y, unsigned button = Button1, Time time = 1100);

    const LV2_Feature* const* features_for(const Offer& offer);  // kept alive until close
    void send(XEvent& ev, long mask);  // any event, as sent to the window

private:
    std::vector<LV2_Feature> feature_store_;
    std::vector<const LV2_Feature*> feature_list_;
    std::vector<std::string> uris_;
    std::vector<uint8_t> option_store_;
    LV2UI_Touch touch_{};
    LV2UI_Resize resize_{};
    void* map_ = nullptr;
};

// The plugin itself, loaded from the bundle and run in a thread of its
// own as a host's audio thread runs it, with controls that keep the cutoff
// moving (fast events, gliding all the time, a wide band).
struct RunningPlugin {
    void* library = nullptr;
    const LV2_Descriptor* desc = nullptr;
    LV2_Handle handle = nullptr;
    float control[11] = {0, 0, 100, 50, 100, 100, 0, 50, 1000, 6, 3};
    std::vector<float> in, out;
    std::atomic<bool> running{false};
    std::thread thread;

    RunningPlugin();
    ~RunningPlugin();
    void start();
    void stop();
};

} // namespace zt_ui_test
