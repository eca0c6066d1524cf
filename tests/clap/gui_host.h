#pragma once
// A small CLAP host for the window's tests: the built .clap loaded with
// dlopen, one plugin instance, the host's timer and fd watch driven by hand
// (as a host's event loop drives them), a parent window on the process's own
// X server (the LV2 window's rig starts it), and a record of the param
// events the plugin sends the host.
#include <X11/Xlib.h>
#include <clap/clap.h>

#include <cstdint>
#include <string>
#include <vector>

namespace zt_clap_test {

const std::string kClapFile = ZT_BUNDLE_PARENT "/zirpomatik-tolm.clap";

// A param event the plugin sent the host.
struct OutEvent {
    enum Kind { begin, value, end } kind;
    clap_id param;
    double v;  // value only
};

struct HostOffer {
    bool timer = true;
    bool fd = true;
};

struct GuiHost {
    void* library = nullptr;
    const clap_plugin_entry_t* entry = nullptr;
    const clap_plugin_t* plugin = nullptr;
    const clap_plugin_gui_t* gui = nullptr;
    const clap_plugin_params_t* params = nullptr;
    const clap_plugin_timer_support_t* timer = nullptr;
    const clap_plugin_posix_fd_support_t* fd = nullptr;
    Display* display = nullptr;  // the host's own connection
    Window parent = 0;

    // What the plugin asked of the host.
    std::vector<int> fds;          // watched now
    std::vector<clap_id> timers;   // running now
    uint32_t last_period_ms = 0;
    int flush_requests = 0;
    uint32_t resize_width = 0, resize_height = 0;
    std::vector<OutEvent> events;  // from process and flush, in order

    explicit GuiHost(HostOffer offer = {});  // loads the library, makes and activates the plugin
    ~GuiHost();                              // destroys the plugin (window or not), unloads
    GuiHost(const GuiHost&) = delete;
    GuiHost& operator=(const GuiHost&) = delete;

    bool open(double scale = 0.0);  // create, set_scale (unless 0), set_parent, show
    Window child() const;           // the plugin's window in the parent, 0 if none
    void child_size(int* width, int* height) const;
    bool viewable() const;
    void idle();                    // the fd watch and the timers, as an event loop runs them
    void flush(clap_id param = CLAP_INVALID_ID, double value = 0.0);  // with one host value when param is set
    void process(uint32_t frames);  // while processing
    std::vector<OutEvent> take_events();

private:
    clap_host_t host_{};
    clap_host_timer_support_t host_timer_{};
    clap_host_posix_fd_support_t host_fd_{};
    clap_host_params_t host_params_{};
    clap_host_gui_t host_gui_{};
    HostOffer offer_;
    clap_id next_timer_ = 7;
    static const void* get_extension(const clap_host_t* h, const char* id);
    static bool try_push(const clap_output_events_t* list, const clap_event_header_t* ev);
};

} // namespace zt_clap_test
