#pragma once
// The CLAP face's instance: the host's clap_plugin_t, the format-neutral core
// under it, and what passes between the host's main thread (the window,
// state and preset loads) and its audio thread (process, flush).
#include <clap/clap.h>

#include <atomic>
#include <cstdint>

#include "../core/plugin.h"

namespace zt {

constexpr uint32_t kFirstControl = PORT_MIX;  // param ids are the LV2 port indices 2 ... 10
constexpr uint32_t kControlCount = PORT_COUNT - kFirstControl;

inline bool is_control_port(uint32_t port) { return port >= kFirstControl && port < PORT_COUNT; }

// A window edit on its way to the audio thread.
struct ClapEdit {
    uint32_t port;
    float value;
    bool gesture_begin, gesture_end;
};

// Window edits, main thread to audio thread: one writer, one reader, a fixed
// ring. A full ring drops a value (the window sends the next one soon), but
// never the end of a gesture whose beginning went in: slots are kept back for
// the ends of the gestures open, so a host never keeps a control "touched".
constexpr uint32_t kEditRingSize = 256;  // a power of two
struct EditRing {
    ClapEdit slot[kEditRingSize];
    std::atomic<uint32_t> head{0};  // written by the main thread
    std::atomic<uint32_t> tail{0};  // written by the audio thread
};

struct ClapGui;  // defined in clap_gui.cpp; null while no window is open

struct ClapPlugin {
    clap_plugin_t clap;  // first member; clap.plugin_data points back here
    const clap_host_t* host;
    const clap_host_params_t* host_params;       // null if the host has none
    const clap_host_preset_load_t* host_presets; // null if the host has none
    Plugin* core;  // the format-neutral instance (src/core)
    uint32_t channels;  // 1 (mono) or 2 (stereo), fixed at create

    // Audio thread: the values the core's control ports point at.
    float controls[PORT_COUNT];
    // Main thread's view of each value (what the host and the window show),
    // stored by whichever thread last set it.
    std::atomic<float> shown[PORT_COUNT];
    // Ports the host changed (bit = port) that the window has not yet taken.
    std::atomic<uint32_t> host_changed{0};
    // State and preset loads, main thread to audio thread: the values in
    // `loaded`, applied at the next process or flush for the ports in the mask.
    std::atomic<float> loaded[PORT_COUNT];
    std::atomic<uint32_t> loaded_mask{0};
    EditRing edits;
    uint32_t gestures_open;  // main thread: ports whose gesture began in the ring and has not ended

    bool active;                   // main thread: between activate and deactivate
    std::atomic<bool> processing;  // between start_processing and stop_processing

    ClapGui* gui;  // owned by clap_gui.cpp
};

// Main thread. The present value of a control (param id == LV2 port index 2..10), as the
// host and the window should show it: the last value applied by process/flush or queued by the window.
float clap_plugin_value(const ClapPlugin& p, uint32_t port);
// Main thread. An edit from the window: it is applied at the next process or flush and reported to
// the host as CLAP_EVENT_PARAM_GESTURE_BEGIN / CLAP_EVENT_PARAM_VALUE / CLAP_EVENT_PARAM_GESTURE_END
// output events, in that order; when the plugin is not processing it asks the host to flush
// (clap_host_params::request_flush). Lock-free (a fixed ring), never blocks, never allocates.
void clap_plugin_edit(ClapPlugin& p, uint32_t port, float value, bool gesture_begin, bool gesture_end);
// Main thread. True (and the value) when the host changed a control since the last call for that
// port (automation, the host's own sliders, state or preset load), so the window moves its dial.
// A window edit does not come back through here.
bool clap_plugin_take_host_change(ClapPlugin& p, uint32_t port, float* value);

// Defined in clap_gui.cpp, returned by get_extension when the window is built:
extern const clap_plugin_gui_t kClapGui;                  // CLAP_EXT_GUI
extern const clap_plugin_timer_support_t kClapTimer;      // CLAP_EXT_TIMER_SUPPORT
extern const clap_plugin_posix_fd_support_t kClapPosixFd; // CLAP_EXT_POSIX_FD_SUPPORT
// Called by destroy before anything else is freed: closes an open window
// (hosts may destroy the plugin without gui.destroy). Safe when no window is open.
void clap_gui_close(ClapPlugin& p);

} // namespace zt
