// The window's library as a host meets it: what the bundle declares and the
// library exports, opening in a parent at the host's scale, pointer input
// turned into writes and gestures, hostile values and untimely closing, and
// the live cutoff (redraws counted by the X server's damage reports).
// googletest first: Xlib's macros (None, Bool, ...) would break its headers.
#include <gtest/gtest.h>
#include <lilv/lilv.h>
#include <malloc.h>
#include <unistd.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <iterator>
#include <limits>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

#include "command_output.h"
#include "built_bundle.h"
#include "core/plugin.h"
#include "core/port_table.h"
#include "ui/view.h"
#include "ui_rig.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xdamage.h>

// fontconfig loads its configuration once per process, the first time the
// window draws text, and keeps it in a form LeakSanitizer cannot follow;
// the valgrind check (ui_unload_check.sh) shows it does not grow with
// every window opened.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

// cairo keeps a pool of freed patterns that one thread's drawing hands to
// another's through atomic operations; in the system's uninstrumented
// library ThreadSanitizer sees only the copies, not the atomics that order
// them. Races in our own code between two windows in two threads still show.
extern "C" const char* __tsan_default_suppressions() { return "race:libcairo.so\n"; }

namespace zt_ui_test {
namespace {

std::set<std::string> uris_of(const LilvNodes* nodes)
{
    std::set<std::string> out;
    LILV_FOREACH (nodes, i, nodes) out.insert(lilv_node_as_uri(lilv_nodes_get(nodes, i)));
    return out;
}

// What LV2 UI linting checks: an X11 UI in a binary of its own that needs
// only the parent window, declares instance-access optional, and whose
// extension_data answers for every interface it declares.
TEST(UiBundle, DeclaresAnX11UiWhoseLibraryKeepsEveryPromise)
{
    LilvWorld* world = lilv_world_new();
    const LilvPlugin* plugin = load_built_plugin(world);
    ASSERT_NE(plugin, nullptr);
    LilvUIs* uis = lilv_plugin_get_uis(plugin);
    ASSERT_EQ(lilv_uis_size(uis), 1u);
    const LilvUI* ui = lilv_uis_get(uis, lilv_uis_begin(uis));
    EXPECT_EQ(std::string(lilv_node_as_uri(lilv_ui_get_uri(ui))), kUiUri);
    LilvNode* x11 = lilv_new_uri(world, LV2_UI__X11UI);
    EXPECT_TRUE(lilv_ui_is_a(ui, x11));
    EXPECT_STRNE(lilv_node_as_uri(lilv_ui_get_binary_uri(ui)),
                 lilv_node_as_uri(lilv_plugin_get_library_uri(plugin)));
    EXPECT_NE(std::string(lilv_node_as_uri(lilv_ui_get_binary_uri(ui))).find("libzirpomatik-tolm-ui.so"),
              std::string::npos);
    // The stereo plugin has the same window.
    LilvNode* stereo_uri = lilv_new_uri(world, ZT_STEREO_URI);
    LilvUIs* stereo_uis = lilv_plugin_get_uis(lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), stereo_uri));
    EXPECT_TRUE(stereo_uis && lilv_uis_get_by_uri(stereo_uis, lilv_ui_get_uri(ui)));
    lilv_uis_free(stereo_uis), lilv_node_free(stereo_uri);

    // Hosts read the window's own description (ui.ttl) before they load it.
    ASSERT_GE(lilv_world_load_resource(world, lilv_ui_get_uri(ui)), 1);
    auto nodes_of = [&](const char* predicate) {
        LilvNode* p = lilv_new_uri(world, predicate);
        LilvNodes* n = lilv_world_find_nodes(world, lilv_ui_get_uri(ui), p, nullptr);
        std::set<std::string> out = n ? uris_of(n) : std::set<std::string>{};
        lilv_nodes_free(n);
        lilv_node_free(p);
        return out;
    };
    EXPECT_EQ(nodes_of(LV2_CORE__requiredFeature), std::set<std::string>{LV2_UI__parent});
    const std::set<std::string> optional = nodes_of(LV2_CORE__optionalFeature);
    EXPECT_TRUE(optional.count("http://lv2plug.in/ns/ext/instance-access"));
    EXPECT_TRUE(optional.count(LV2_UI__touch) && optional.count(LV2_UI__resize));
    const std::set<std::string> extensions = nodes_of(LV2_CORE__extensionData);
    EXPECT_TRUE(extensions.count(LV2_UI__idleInterface));

    UiRig rig;
    EXPECT_EQ(std::string(rig.desc->URI), kUiUri);
    for (const std::string& uri : extensions) EXPECT_NE(rig.desc->extension_data(uri.c_str()), nullptr) << uri;
    EXPECT_EQ(rig.desc->extension_data(LV2_UI__showInterface), nullptr);

    lilv_node_free(x11);
    lilv_uis_free(uis);
    lilv_world_free(world);

    // The library: a soname, one export, and no runtime beyond C, X11 and
    // cairo (libXext, X11's shared memory, comes with cairo).
    std::istringstream nm(command_output("nm -D --defined-only " + kUiLibrary));
    std::vector<std::string> names;
    for (std::string addr, kind, name; nm >> addr >> kind >> name;) names.push_back(name);
    EXPECT_EQ(names, std::vector<std::string>{"lv2ui_descriptor"});
    std::istringstream dynamic(command_output("readelf -d " + kUiLibrary));
    const std::set<std::string> allowed = {"libc.so.6", "libm.so.6", "libX11.so.6", "libXext.so.6", "libcairo.so.2"};
    bool soname = false;
    for (std::string line; std::getline(dynamic, line);) {
        const size_t open = line.find('['), close = line.find(']');
        if (open == std::string::npos || close == std::string::npos) continue;
        const std::string value = line.substr(open + 1, close - open - 1);
        if (line.find("(SONAME)") != std::string::npos) soname = value == "libzirpomatik-tolm-ui.so";
        // The sanitizer builds add their runtimes.
        if (line.find("(NEEDED)") != std::string::npos && value.find("san.so") == std::string::npos)
            EXPECT_TRUE(allowed.count(value)) << "needs " << value;
    }
    EXPECT_TRUE(soname);
    // Nothing of the C++ runtime, shared or static (its exception pool would
    // leak at every unload).
    std::istringstream undefined(command_output("nm -u " + kUiLibrary));
    for (std::string kind, name; undefined >> kind >> name;) {
        EXPECT_NE(name.rfind("_Z", 0), 0u) << name;
        EXPECT_TRUE(name.rfind("__cxa", 0) != 0 || name.rfind("__cxa_finalize", 0) == 0) << name;
    }
    std::istringstream defined(command_output("nm " + kUiLibrary));
    for (std::string line; std::getline(defined, line);)
        EXPECT_EQ(line.find("emergency_pool"), std::string::npos) << line;
}

TEST(Window, RefusesToOpenWithoutAParentOrForAnotherPlugin)
{
    UiRig rig;
    Offer no_parent;
    no_parent.parent = false;
    EXPECT_FALSE(rig.open(no_parent));
    LV2UI_Widget widget = nullptr;
    EXPECT_EQ(rig.desc->instantiate(rig.desc, "http://example.org/other", kBundle.c_str(), nullptr, nullptr,
                                    &widget, rig.features_for({})),
              nullptr);
    ASSERT_TRUE(rig.open());
}

// Size in device pixels: the host's scale factor first, then Xft.dpi / 96.
TEST(Window, OpensInItsParentAtTheHostsScale)
{
    UiRig rig;
    for (double scale : {1.0, 2.0}) {
        SCOPED_TRACE(scale);
        Offer offer;
        offer.scale = scale;
        ASSERT_TRUE(rig.open(offer));
        Window root, parent, *children = nullptr;
        unsigned n = 0;
        XQueryTree(rig.display, rig.child, &root, &parent, &children, &n);
        if (children) XFree(children);
        EXPECT_EQ(parent, rig.parent);
        rig.idle();
        int w = 0, h = 0;
        rig.child_size(&w, &h);
        EXPECT_EQ(w, static_cast<int>(std::lround(720 * scale)));
        EXPECT_EQ(h, static_cast<int>(std::lround(420 * scale)));
        EXPECT_EQ(rig.resized_width, w);
        EXPECT_EQ(rig.resized_height, h);
        // suil hands GTK hosts the minimum, and the base size as the natural one.
        XSizeHints hints{};
        long supplied = 0;
        ASSERT_TRUE(XGetWMNormalHints(rig.display, rig.child, &hints, &supplied));
        EXPECT_EQ(hints.flags & (PMinSize | PBaseSize), PMinSize | PBaseSize);
        EXPECT_EQ(std::vector<int>({hints.min_width, hints.min_height, hints.base_width, hints.base_height}),
                  std::vector<int>({int(640 * scale), int(360 * scale), w, h}));
        XWindowAttributes a{};
        XGetWindowAttributes(rig.display, rig.child, &a);
        EXPECT_EQ(a.map_state, IsViewable);
    }
    // No scale from the host: the desktop's Xft.dpi of 144 means 1.5.
    const char* resources = "Xft.antialias:\t1\nXft.dpi:\t144\n";
    XChangeProperty(rig.display, DefaultRootWindow(rig.display), XA_RESOURCE_MANAGER, XA_STRING, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(resources), static_cast<int>(std::strlen(resources)));
    XSync(rig.display, False);
    ASSERT_TRUE(rig.open());
    int w = 0, h = 0;
    rig.child_size(&w, &h);
    EXPECT_EQ(w, 1080);
    EXPECT_EQ(h, 630);
    XDeleteProperty(rig.display, DefaultRootWindow(rig.display), XA_RESOURCE_MANAGER);
    // A host that resizes the window: the window follows without a word to the host.
    rig.resized_width = 0;
    XResizeWindow(rig.display, rig.child, 900, 500);
    rig.idle();
    rig.child_size(&w, &h);
    EXPECT_EQ(w, 900);
    EXPECT_EQ(rig.resized_width, 0);
}

// Where the window draws a control, at the window's present scale and size.
void centre_of(const UiRig& rig, double scale, uint32_t port, double* x, double* y)
{
    zt::View v;
    zt::view_init(v);
    zt::view_set_scale(v, scale);
    int w = 0, h = 0;
    rig.child_size(&w, &h);
    zt::view_resize(v, w, h);
    ASSERT_TRUE(zt::view_control_centre(v, port, x, y)) << port;
}

std::vector<HostCall> take_calls(UiRig& rig)
{
    std::vector<HostCall> out;
    out.swap(rig.calls);
    return out;
}

// A drag writes the dragged port only, between a gesture's begin and end;
// a double-click brings the default back; the wheel steps, as one gesture.
TEST(Window, PointerEditsReachTheHostBetweenTouchGestures)
{
    UiRig rig;
    Offer offer;
    offer.scale = 2.0;
    ASSERT_TRUE(rig.open(offer));
    rig.idle();
    const uint32_t port = zt::PORT_MIX;
    const float def = zt::kPorts[port].def;
    double x = 0, y = 0;
    centre_of(rig, 2.0, port, &x, &y);

    rig.press(x, y, Button1, 0, 1000);
    rig.idle();
    for (int step = 1; step <= 4; ++step) {
        rig.motion(x, y + 20 * step);
        rig.idle();
    }
    rig.release(x, y + 80, Button1, 1500);
    rig.idle();
    std::vector<HostCall> calls = take_calls(rig);
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(calls.front().kind, HostCall::touch_begin);
    EXPECT_EQ(calls.back().kind, HostCall::touch_end);
    float last = def;
    int writes = 0;
    for (const HostCall& c : calls) {
        EXPECT_EQ(c.port, port);
        if (c.kind != HostCall::write) continue;
        ++writes;
        EXPECT_LE(c.value, last) << "a downward drag raised the value";
        EXPECT_GE(c.value, zt::kPorts[port].min);
        last = c.value;
    }
    EXPECT_GE(writes, 1);
    EXPECT_LT(last, def) << "dragging down did not lower " << zt::kPorts[port].symbol;

    // Double-click: two presses 150 ms apart on the same spot.
    rig.press(x, y, Button1, 0, 3000);
    rig.release(x, y, Button1, 3050);
    rig.press(x, y, Button1, 0, 3150);
    rig.release(x, y, Button1, 3200);
    rig.idle();
    calls = take_calls(rig);
    float written = NAN;
    for (const HostCall& c : calls)
        if (c.kind == HostCall::write && c.port == port) written = c.value;
    EXPECT_EQ(written, def);
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back().kind, HostCall::touch_end);

    // The same drag with Shift held moves the dial in finer steps.
    rig.press(x, y, Button1, ShiftMask, 4000);
    for (int step = 1; step <= 4; ++step) {
        rig.motion(x, y + 20 * step, Button1Mask | ShiftMask);
        rig.idle();
    }
    rig.release(x, y + 80, Button1, 4500);
    rig.idle();
    calls = take_calls(rig);
    float fine = def;
    for (const HostCall& c : calls)
        if (c.kind == HostCall::write && c.port == port) fine = c.value;
    EXPECT_LT(fine, def);
    EXPECT_LT(def - fine, (def - last) / 2) << "Shift did not make the drag finer";
    rig.press(x, y, Button1, 0, 4700);  // and back to the default
    rig.release(x, y, Button1, 4750);
    rig.press(x, y, Button1, 0, 4800);
    rig.release(x, y, Button1, 4850);
    rig.idle();
    take_calls(rig);

    // One wheel step down, one gesture.
    rig.press(x, y, Button5, 0, 5000);
    rig.release(x, y, Button5, 5010);
    rig.idle();
    calls = take_calls(rig);
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(calls[0].kind, HostCall::touch_begin);
    EXPECT_EQ(calls[1].kind, HostCall::write);
    EXPECT_LT(calls[1].value, def);
    EXPECT_EQ(calls.back().kind, HostCall::touch_end);

    // Without ui:touch the same edits are plain writes.
    Offer no_touch = offer;
    no_touch.touch = false;
    ASSERT_TRUE(rig.open(no_touch));
    rig.idle();
    rig.press(x, y, Button5, 0, 7000);
    rig.idle();
    calls = take_calls(rig);
    ASSERT_FALSE(calls.empty());
    for (const HostCall& c : calls) EXPECT_EQ(c.kind, HostCall::write);
}

// NaN, infinities, huge and tiny values, wrong ports, sizes and formats:
// nothing crashes or hangs, and edits afterwards are still sane values.
TEST(Window, SurvivesHostileValuesAndClosingAtAnyMoment)
{
    UiRig rig;
    ASSERT_TRUE(rig.open());
    const float inf = std::numeric_limits<float>::infinity();
    const float hostile[] = {NAN, -NAN, inf, -inf, 3.4e38f, -3.4e38f, 1e-45f, -0.0f, 1e9f, -1e9f, 0.5f, 36.7f};
    for (int round = 0; round < 20; ++round)
        for (uint32_t port = 0; port < 16; ++port) {
            rig.port_event(port, hostile[(port + round) % std::size(hostile)]);
            if (port % 4 == 0) rig.idle();
        }
    const double d = 1.0;
    rig.desc->port_event(rig.ui, zt::PORT_MIX, sizeof d, 0, &d);       // a double where a float belongs
    rig.desc->port_event(rig.ui, zt::PORT_MIX, sizeof(float), 77, &d);  // an event format
    rig.desc->port_event(rig.ui, zt::PORT_MIX, sizeof(float), 0, nullptr);
    rig.desc->port_event(rig.ui, 0xffffffffu, sizeof(float), 0, &hostile[0]);
    EXPECT_EQ(rig.idle(), 0);

    // Every dial, wheeled after the storm, writes a finite value in its range.
    for (uint32_t port = zt::PORT_MIX; port < zt::PORT_COUNT; ++port) {
        double x = 0, y = 0;
        centre_of(rig, 1.0, port, &x, &y);
        rig.press(x, y, Button4, 0, 1000 + port * 1000);
        rig.idle();
    }
    for (const HostCall& c : rig.calls) {
        if (c.kind != HostCall::write) continue;
        EXPECT_TRUE(std::isfinite(c.value)) << c.port;
        EXPECT_GE(c.value, zt::kPorts[c.port].min) << c.port;
        EXPECT_LE(c.value, zt::kPorts[c.port].max) << c.port;
    }

    // Closed in the middle of a drag, with events still queued.
    rig.press(10, 10);
    rig.motion(20, 20);
    rig.close();
    // The host destroys the parent (and so the window) before cleanup,
    // with and without an idle call in between.
    for (bool idle_between : {false, true}) {
        ASSERT_TRUE(rig.open());
        rig.idle();
        XDestroyWindow(rig.display, rig.parent);
        XSync(rig.display, False);
        if (idle_between) EXPECT_EQ(rig.idle(), 0);
        rig.close();
        rig.parent = XCreateSimpleWindow(rig.display, DefaultRootWindow(rig.display), 0, 0, 400, 300, 0, 0, 0);
        XMapWindow(rig.display, rig.parent);
        XSync(rig.display, False);
    }

    // Opened and closed 100 times in one process: the sanitizer build's
    // LeakSanitizer checks that nothing stays behind.
    for (int i = 0; i < 100; ++i) {
        ASSERT_TRUE(rig.open()) << i;
        rig.port_event(zt::PORT_TYPE, static_cast<float>(i % 40));
        rig.idle();
        rig.close();
    }
}

// The host's own X error handler, which must be the one installed after
// every call into the window.
int g_host_errors = 0;
int host_error_handler(Display*, XErrorEvent*)
{
    ++g_host_errors;
    return 0;
}

// The heap the process holds: what the allocator handed out and has not had
// back (the sanitizers' runtimes keep freed blocks a while; their own count
// leaves them out, and they draw several times slower).
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
extern "C" size_t __sanitizer_get_current_allocated_bytes();
double heap_in_use() { return double(__sanitizer_get_current_allocated_bytes()); }
constexpr double kIdleBoundMs = 1500.0;
#else
double heap_in_use() { const struct mallinfo2 m = mallinfo2(); return double(m.uordblks + m.hblkhd); }
constexpr double kIdleBoundMs = 400.0;
#endif

// Each touch gesture ends once, before the next begins; writes come only
// inside their port's gesture.
void expect_gestures_closed(const std::vector<HostCall>& calls)
{
    int64_t open = -1;
    for (const HostCall& c : calls) {
        EXPECT_EQ(open, c.kind == HostCall::touch_begin ? -1 : int64_t(c.port)) << "call " << &c - calls.data();
        open = c.kind == HostCall::touch_end ? -1 : int64_t(c.port);
    }
    EXPECT_EQ(open, -1) << "a gesture is still open";
}

void send_crossing(UiRig& r, int type, unsigned state, int mode)
{
    XEvent ev{};
    ev.xcrossing = {type, 0, True, r.display, r.child, DefaultRootWindow(r.display), 0, CurrentTime,
                    5, 5, 0, 0, mode, NotifyAncestor, False, True, state};
    r.send(ev, type == EnterNotify ? EnterWindowMask : LeaveWindowMask);
}

// What a host, its desktop or an unlucky moment may do in the middle of a
// drag on the Mix dial. Every case keeps the host's gestures closed and its
// X error handler installed; the window holds at most 64 MB, and no idle
// call takes long (about 100 ms at most; the bound leaves room for a busy
// machine). Where the drag's release can no longer come, the drag ends
// there: its gesture ends and nothing more is written.
struct Mishap {
    const char* name;
    const char* resources;  // the desktop's X resources while the window opens, or null
    bool ends_drag;
    std::function<void(UiRig&)> act;
};

TEST(Window, SurvivesAHostileHostMidDrag)
{
    const Mishap mishaps[] = {
        {"motion without the button", nullptr, true,
         [](UiRig& r) {
             r.motion(50, 50, 0);
             r.idle();
         }},
        {"the host unmaps its frame", nullptr, true,
         [](UiRig& r) {
             XUnmapWindow(r.display, r.parent);
             r.idle();
             XMapWindow(r.display, r.parent);
         }},
        {"the pointer enters without the button", nullptr, true,
         [](UiRig& r) { send_crossing(r, EnterNotify, 0, NotifyNormal); }},
        {"another client grabs the pointer", nullptr, true,
         [](UiRig& r) { send_crossing(r, LeaveNotify, Button1Mask, NotifyGrab); }},
        {"the focus goes to another window", nullptr, true,
         [](UiRig& r) {
             XEvent ev{};
             ev.xfocus = {FocusOut, 0, True, r.display, r.child, NotifyNormal, NotifyNonlinear};
             r.send(ev, FocusChangeMask);
         }},
        {"a second press without a release", nullptr, true,
         [](UiRig& r) {
             double x, y;
             centre_of(r, 1.0, zt::PORT_RESONANCE, &x, &y);
             r.press(x, y, Button1, 0, 9000);
         }},
        {"cleanup mid-drag", nullptr, true, [](UiRig& r) { r.close(); }},
        {"the parent destroyed", nullptr, true,
         [](UiRig& r) {
             XDestroyWindow(r.display, r.parent);
             r.idle();
             r.close();
             r.parent = XCreateSimpleWindow(r.display, DefaultRootWindow(r.display), 0, 0, 400, 300, 0, 0, 0);
             XMapWindow(r.display, r.parent);
         }},
        {"the frame and the window resized to 32767 x 32767", nullptr, false,
         [](UiRig& r) {
             XMoveResizeWindow(r.display, r.parent, 10, 0, 32767, 32767);  // clear of the pointer
             XResizeWindow(r.display, r.child, 32767, 32767);
             r.idle();
         }},
        {"a 960-dpi desktop", "Xft.dpi:\t960\n", false, [](UiRig&) {}},
        {"write_function opens another window", nullptr, false,
         [](UiRig& r) {
             r.on_write = [] {
                 UiRig nested;
                 ASSERT_TRUE(nested.open());
                 nested.idle();
             };
             r.motion(50, 200);
             r.idle();
             r.on_write = nullptr;
         }},
        {"two windows idled from two threads", nullptr, false,
         [](UiRig& r) {
             UiRig other;
             ASSERT_TRUE(other.open());
             auto idle_often = [](UiRig* rig) {
                 for (int i = 0; i < 100; ++i) {
                     rig->port_event(zt::PORT_TYPE, float(i % 37));
                     rig->idle();
                 }
             };
             std::thread t(idle_often, &other);
             idle_often(&r);
             t.join();
         }},
    };
    UiRig rig;
    // Out of the way of the growing windows: the pointer is not where the
    // tests' drags are, and its crossings do not say the button is held.
    XWarpPointer(rig.display, 0, DefaultRootWindow(rig.display), 0, 0, 0, 0, 0, 999);
    ASSERT_TRUE(rig.open());
    rig.idle();  // the process's first drawing loads the fonts' configuration
    for (const Mishap& m : mishaps) {
        SCOPED_TRACE(m.name);
        XSetErrorHandler(host_error_handler);
        const char* resources = m.resources ? m.resources : "";
        XChangeProperty(rig.display, DefaultRootWindow(rig.display), XA_RESOURCE_MANAGER, XA_STRING, 8,
                        PropModeReplace, reinterpret_cast<const unsigned char*>(resources), int(std::strlen(resources)));
        XSync(rig.display, False);
        rig.close();
        const double heap_before = heap_in_use();
        ASSERT_TRUE(rig.open());
        rig.worst_idle_ms = 0.0;
        rig.idle();
        int w = 0, h = 0;
        rig.child_size(&w, &h);
        if (m.resources) EXPECT_EQ(w, 2880) << "Xft.dpi enlarges the window 4 times at most";
        const double scale = w / 720.0;
        double x = 0, y = 0;
        centre_of(rig, scale, zt::PORT_MIX, &x, &y);
        rig.press(x, y, Button1, 0, 1000);
        rig.motion(x, y + 10 * scale);
        rig.idle();

        const size_t before_act = rig.calls.size();
        m.act(rig);
        if (rig.ui) {
            rig.motion(x, y + 40 * scale);
            rig.idle();
            EXPECT_LE(heap_in_use() - heap_before, 64.0 * 1024 * 1024);
            rig.release(x, y + 40 * scale, Button1, 9500);
            rig.idle();
        }
        rig.close();
        EXPECT_LT(rig.worst_idle_ms, kIdleBoundMs);
        expect_gestures_closed(rig.calls);
        int mix_writes = 0;
        for (size_t i = before_act; i < rig.calls.size(); ++i)
            mix_writes += rig.calls[i].kind == HostCall::write && rig.calls[i].port == zt::PORT_MIX;
        EXPECT_EQ(mix_writes == 0, m.ends_drag) << mix_writes << " writes after it";

        // The host's handler is installed, and is given the host's errors.
        EXPECT_EQ(XSetErrorHandler(host_error_handler), &host_error_handler);
        const int errors = g_host_errors;
        XMapWindow(rig.display, 0x7fffffff);  // no such window
        XSync(rig.display, False);
        EXPECT_EQ(g_host_errors, errors + 1);
    }
    XDeleteProperty(rig.display, DefaultRootWindow(rig.display), XA_RESOURCE_MANAGER);
    XSetErrorHandler(nullptr);
}

// Damage reports from the server: one per drawing the window makes. The
// damage record ends with the window.
struct DamageCounter {
    Display* d;
    Damage damage = 0;
    int event_base = 0, error_base = 0;
    DamageCounter(Display* display, Window w) : d(display)
    {
        int major = 1, minor = 1;  // the server takes no damage request before the version talk
        if (XDamageQueryExtension(d, &event_base, &error_base) && XDamageQueryVersion(d, &major, &minor))
            damage = XDamageCreate(d, w, XDamageReportRawRectangles);
    }
    // Drawings since the last call.
    int take()
    {
        XSync(d, False);
        int n = 0;
        XEvent ev;
        while (XCheckTypedEvent(d, event_base + XDamageNotify, &ev)) ++n;
        return n;
    }
};

// Waits up to `seconds` for the window's next drawing to reach the server.
bool drew_within(DamageCounter& damage, double seconds)
{
    for (double waited = 0; waited < seconds; waited += 0.002) {
        if (damage.take() > 0) return true;
        usleep(2000);
    }
    return false;
}

// Waits (at most 2 s) until the running plugin has published a cutoff that
// shows on screen as a move from `last` (2 %, two device pixels at 1x), and
// returns it: the audio thread may lag on a busy machine.
uint32_t next_cutoff(const zt::Plugin& p, uint32_t last)
{
    for (int i = 0; i < 1000; ++i) {
        const uint32_t bits = std::bit_cast<uint32_t>(zt::plugin_live_cutoff(p));
        const double move = std::log(std::bit_cast<float>(bits) / std::bit_cast<float>(last));
        if (bits != last && !(std::fabs(move) <= 0.02)) return bits;  // from NaN (not yet live) any move shows
        usleep(2000);
    }
    return last;
}

// Shared memory segments made by this process that still exist (attached,
// or left behind unremoved).
int segments_of_this_process()
{
    return std::stoi(command_output("awk 'NR > 1 && $5 == " + std::to_string(getpid()) + "' /proc/sysvipc/shm | wc -l"));
}

// The window sends its pictures through shared memory where the server
// takes it, and through the socket where attaching the segment fails (a
// client on TCP: the server cannot tell who it is and finds the segment
// private, as a remote server would): the same pixels either way, whole or
// plot alone as the cutoff moves, and no segment left once the window closes.
TEST(LiveCutoff, SharedMemoryOrNotTheSamePicturesAndNoSegmentLeft)
{
    use_private_x_server();
    const std::string local = getenv("DISPLAY");
    RunningPlugin plugin;  // never started: the test publishes the cutoff itself
    zt::PublishedFloat& published = static_cast<zt::Plugin*>(plugin.handle)->live_cutoff;
    Offer offer;
    offer.instance = plugin.handle;
    offer.scale = 2.0;
    const struct {
        std::string display;
        int segments;  // while the window is open
    } cases[] = {{local, 1}, {"127.0.0.1" + local, 0}};
    std::vector<char> pictures[2];
    for (int i = 0; i < 2; ++i) {
        setenv("DISPLAY", cases[i].display.c_str(), 1);
        UiRig rig;
        ASSERT_TRUE(rig.open(offer));
        DamageCounter damage(rig.display, rig.child);
        for (float hz : {700.0f, 1500.0f, 3100.0f}) {
            published.store(hz);
            rig.idle();
            EXPECT_TRUE(drew_within(damage, 2.0)) << hz;
        }
        EXPECT_EQ(segments_of_this_process(), cases[i].segments) << cases[i].display;
        XImage* shown = XGetImage(rig.display, rig.child, 0, 0, 1440, 840, AllPlanes, ZPixmap);
        ASSERT_NE(shown, nullptr);
        pictures[i].assign(shown->data, shown->data + shown->bytes_per_line * shown->height);
        XDestroyImage(shown);
        rig.close();
        EXPECT_EQ(segments_of_this_process(), 0) << cases[i].display;
    }
    setenv("DISPLAY", local.c_str(), 1);
    EXPECT_TRUE(pictures[0] == pictures[1]);
}

// With instance-access the window follows the running plugin's cutoff: one
// drawing for every idle call after the cutoff moved, none while it stands
// still. The plugin's audio thread writes the cutoff while the window reads
// it (the ThreadSanitizer build checks that for races). Without
// instance-access the window stays still, however the cutoff moves.
TEST(LiveCutoff, RedrawsAtEveryIdleWhileTheCutoffMovesAndNeverWhenStill)
{
    RunningPlugin plugin;
    const zt::Plugin& instance = *static_cast<const zt::Plugin*>(plugin.handle);
    UiRig rig;
    Offer offer;
    offer.instance = plugin.handle;
    ASSERT_TRUE(rig.open(offer));
    {
        DamageCounter damage(rig.display, rig.child);
        ASSERT_NE(damage.damage, 0u) << "the X server has no DAMAGE extension";
        rig.idle();
        drew_within(damage, 0.5);  // the first picture
        plugin.start();
        int moved = 0, drew = 0;
        uint32_t cutoff = std::bit_cast<uint32_t>(zt::plugin_live_cutoff(instance));
        for (int i = 0; i < 30; ++i) {
            const uint32_t next = next_cutoff(instance, cutoff);
            moved += next != cutoff;
            rig.idle();
            // The cutoff may have moved again between the wait and the idle
            // call: the next wait starts from a value read after the idle
            // call took its own, so the window always has a new one to draw.
            cutoff = std::bit_cast<uint32_t>(zt::plugin_live_cutoff(instance));
            drew += drew_within(damage, 2.0);
        }
        plugin.stop();
        EXPECT_EQ(moved, 30);
        EXPECT_EQ(drew, 30) << "idle calls after the cutoff moved that drew";

        rig.idle();  // takes the last cutoff
        usleep(200000);
        damage.take();
        int still = 0;
        for (int i = 0; i < 5; ++i) {
            rig.idle();
            still += drew_within(damage, 0.2);
        }
        EXPECT_EQ(still, 0) << "drawings while nothing changed";
    }

    ASSERT_TRUE(rig.open());  // no instance-access
    DamageCounter blind(rig.display, rig.child);
    rig.idle();
    usleep(200000);
    blind.take();
    plugin.start();
    int drew = 0;
    for (int i = 0; i < 5; ++i) {
        usleep(30000);
        rig.idle();
        drew += drew_within(blind, 0.2);
    }
    plugin.stop();
    EXPECT_EQ(drew, 0);
}

} // namespace
} // namespace zt_ui_test
