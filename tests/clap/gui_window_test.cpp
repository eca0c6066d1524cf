// The window through the CLAP face: which windows it offers, opening in the
// host's parent at the host's scale, the host's fd watch and timer, pointer
// edits reaching the host as param gestures and values, host changes moving
// the dials, sizes, and hostile or untimely calls.
// googletest first: Xlib's macros (None, Bool, ...) would break its headers.
#include <gtest/gtest.h>

#include <X11/Xatom.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "core/plugin.h"
#include "core/port_table.h"
#include "gui_host.h"
#include "ui/view.h"
#include "ui_rig.h"

// fontconfig keeps its configuration, loaded at the first text drawn, in a
// form LeakSanitizer cannot follow (see the LV2 window's test).
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

namespace zt_clap_test {
namespace {

using zt_ui_test::send_motion;
using zt_ui_test::send_press;
using zt_ui_test::send_release;

// The window's size and a control's place at a scale, as the view has them.
zt::View view_at(double scale, int width = 0, int height = 0)
{
    zt::View v;
    zt::view_init(v);
    zt::view_set_scale(v, scale);
    int w = width, h = height;
    if (w == 0) zt::view_size_hint(v, &w, &h);
    zt::view_resize(v, w, h);
    return v;
}

TEST(ClapWindow, OffersAnEmbeddedX11WindowOnlyAndRefusesCallsOutOfOrder)
{
    GuiHost host;
    const clap_plugin_t* p = host.plugin;
    EXPECT_TRUE(host.gui->is_api_supported(p, CLAP_WINDOW_API_X11, false));
    EXPECT_FALSE(host.gui->is_api_supported(p, CLAP_WINDOW_API_X11, true));
    EXPECT_FALSE(host.gui->is_api_supported(p, CLAP_WINDOW_API_WAYLAND, false));
    EXPECT_FALSE(host.gui->is_api_supported(p, nullptr, false));
    const char* api = nullptr;
    bool floating = true;
    EXPECT_TRUE(host.gui->get_preferred_api(p, &api, &floating));
    EXPECT_STREQ(api, CLAP_WINDOW_API_X11);
    EXPECT_FALSE(floating);

    // Before create: nothing to size, show or embed; destroy does nothing.
    uint32_t w = 0, h = 0;
    clap_window_t window{CLAP_WINDOW_API_X11, {}};
    window.x11 = host.parent;
    host.gui->destroy(p);
    EXPECT_FALSE(host.gui->get_size(p, &w, &h));
    EXPECT_FALSE(host.gui->set_scale(p, 2.0));
    EXPECT_FALSE(host.gui->set_parent(p, &window));
    EXPECT_FALSE(host.gui->show(p));
    EXPECT_FALSE(host.gui->create(p, CLAP_WINDOW_API_X11, true));
    EXPECT_FALSE(host.gui->create(p, "cocoa", false));

    // Created, but nothing on screen before set_parent; hostile parents fail.
    ASSERT_TRUE(host.gui->create(p, CLAP_WINDOW_API_X11, false));
    EXPECT_FALSE(host.gui->create(p, CLAP_WINDOW_API_X11, false));
    EXPECT_TRUE(host.gui->get_size(p, &w, &h));
    EXPECT_TRUE(host.gui->show(p));
    EXPECT_EQ(host.child(), 0u);
    EXPECT_TRUE(host.fds.empty() && host.timers.empty());
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (double bad : {nan, 0.0, -1.0, std::numeric_limits<double>::infinity(), 1e9})
        EXPECT_FALSE(host.gui->set_scale(p, bad)) << bad;
    uint32_t w2 = 0, h2 = 0;
    host.gui->get_size(p, &w2, &h2);
    EXPECT_EQ(w2, w) << "a refused scale changed the size";
    clap_window_t bad = window;
    bad.x11 = 0x7ffffff0;  // no such window on the server
    EXPECT_FALSE(host.gui->set_parent(p, &bad));
    bad = window;
    bad.api = CLAP_WINDOW_API_WAYLAND;
    EXPECT_FALSE(host.gui->set_parent(p, &bad));
    EXPECT_FALSE(host.gui->set_parent(p, nullptr));
    EXPECT_TRUE(host.fds.empty() && host.timers.empty());
    host.gui->destroy(p);
    host.gui->destroy(p);

    // A host that offers neither a timer nor an fd watch cannot run the window.
    HostOffer none;
    none.timer = none.fd = false;
    GuiHost blind(none);
    EXPECT_FALSE(blind.gui->create(blind.plugin, CLAP_WINDOW_API_X11, false));
}

// Sizes in device pixels: the host's scale, else Xft.dpi / 96; the window
// lives while the host watches its connection and runs a ~30 Hz timer.
TEST(ClapWindow, OpensInItsParentAtTheHostsScaleWithTheHostsFdAndTimer)
{
    GuiHost host;
    for (double scale : {1.0, 2.0}) {
        SCOPED_TRACE(scale);
        ASSERT_TRUE(host.open(scale));
        const zt::View v = view_at(scale);
        uint32_t w = 0, h = 0;
        ASSERT_TRUE(host.gui->get_size(host.plugin, &w, &h));
        EXPECT_EQ(w, static_cast<uint32_t>(v.width));
        EXPECT_EQ(h, static_cast<uint32_t>(v.height));
        host.idle();
        int cw = 0, ch = 0;
        host.child_size(&cw, &ch);
        EXPECT_EQ(cw, v.width);
        EXPECT_EQ(ch, v.height);
        EXPECT_TRUE(host.viewable());
        ASSERT_EQ(host.fds.size(), 1u);
        ASSERT_EQ(host.timers.size(), 1u);
        EXPECT_GE(host.last_period_ms, 16u);
        EXPECT_LE(host.last_period_ms, 40u);
        EXPECT_TRUE(host.gui->hide(host.plugin));
        host.idle();
        EXPECT_FALSE(host.viewable());
        EXPECT_TRUE(host.gui->show(host.plugin));
        EXPECT_TRUE(host.viewable());
        host.gui->destroy(host.plugin);
        XSync(host.display, False);
        EXPECT_EQ(host.child(), 0u);
        EXPECT_TRUE(host.fds.empty() && host.timers.empty());
    }

    // No scale from the host: the desktop's Xft.dpi of 144 means 1.5, and
    // the host is asked for the larger size.
    const char* resources = "Xft.dpi:\t144\n";
    XChangeProperty(host.display, DefaultRootWindow(host.display), XA_RESOURCE_MANAGER, XA_STRING, 8,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(resources),
                    static_cast<int>(std::strlen(resources)));
    XSync(host.display, False);
    ASSERT_TRUE(host.open());
    XDeleteProperty(host.display, DefaultRootWindow(host.display), XA_RESOURCE_MANAGER);
    const zt::View big = view_at(1.5);
    EXPECT_EQ(host.resize_width, static_cast<uint32_t>(big.width));
    EXPECT_EQ(host.resize_height, static_cast<uint32_t>(big.height));

    // Resizing by the host: adjusted into bounds, then followed exactly.
    uint32_t w = 1, h = 1;
    ASSERT_TRUE(host.gui->can_resize(host.plugin));
    ASSERT_TRUE(host.gui->adjust_size(host.plugin, &w, &h));
    EXPECT_GT(w, 1u);
    EXPECT_GT(h, 1u);
    EXPECT_FALSE(host.gui->set_size(host.plugin, 1, 1));
    EXPECT_TRUE(host.gui->set_size(host.plugin, w, h));
    EXPECT_TRUE(host.gui->set_size(host.plugin, 900, 500));
    host.idle();
    int cw = 0, ch = 0;
    host.child_size(&cw, &ch);
    EXPECT_EQ(cw, 900);
    EXPECT_EQ(ch, 500);
    ASSERT_TRUE(host.gui->get_size(host.plugin, &w, &h));
    EXPECT_EQ(w, 900u);
    EXPECT_EQ(h, 500u);

    // A second parent: the window moves there, watched once.
    const Window first = host.parent;
    host.parent = XCreateSimpleWindow(host.display, DefaultRootWindow(host.display), 0, 0, 900, 500, 0, 0, 0);
    XMapWindow(host.display, host.parent);
    XSync(host.display, False);
    clap_window_t window{CLAP_WINDOW_API_X11, {}};
    window.x11 = host.parent;
    ASSERT_TRUE(host.gui->set_parent(host.plugin, &window));
    XSync(host.display, False);
    EXPECT_NE(host.child(), 0u);
    EXPECT_EQ(host.fds.size(), 1u);
    EXPECT_EQ(host.timers.size(), 1u);
    XDestroyWindow(host.display, first);
}

struct Drag {
    GuiHost& host;
    double x, y;
    void by(double dy, int steps, Time t0)
    {
        send_press(host.display, host.child(), x, y, Button1, 0, t0);
        host.idle();
        for (int i = 1; i <= steps; ++i) {
            send_motion(host.display, host.child(), x, y + dy * i / steps);
            host.idle();
        }
        send_release(host.display, host.child(), x, y + dy, Button1, t0 + 500);
        host.idle();
    }
};

// Checks one gesture on `param`: begin, values all moving one way, end.
void expect_gesture(const std::vector<OutEvent>& events, clap_id param, double from, bool down)
{
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(events.front().kind, OutEvent::begin);
    EXPECT_EQ(events.back().kind, OutEvent::end);
    double last = from;
    for (size_t i = 0; i < events.size(); ++i) {
        EXPECT_EQ(events[i].param, param);
        if (i == 0 || i + 1 == events.size()) continue;
        ASSERT_EQ(events[i].kind, OutEvent::value) << i;
        EXPECT_TRUE(down ? events[i].v <= last : events[i].v >= last) << i;
        last = events[i].v;
    }
    EXPECT_NE(last, from);
}

// A drag reaches the host as gesture-begin, values and gesture-end, by
// flush while the plugin is not processing (it asks for one) and by process
// while it is; a host's value moves the dial the next drag starts from.
TEST(ClapWindow, PointerEditsReachTheHostAsParamGesturesAndHostValuesMoveTheDials)
{
    GuiHost host;
    ASSERT_TRUE(host.open(2.0));
    host.idle();
    const uint32_t port = zt::PORT_MIX;
    const float def = zt::kPorts[port].def;
    double x = 0, y = 0;
    ASSERT_TRUE(zt::view_control_centre(view_at(2.0), port, &x, &y));
    Drag drag{host, x, y};

    drag.by(80, 4, 1000);
    EXPECT_GT(host.flush_requests, 0);
    host.flush();
    const std::vector<OutEvent> first = host.take_events();
    expect_gesture(first, port, def, true);

    ASSERT_TRUE(host.plugin->start_processing(host.plugin));
    host.flush_requests = 0;
    drag.by(-40, 2, 3000);
    host.process(64);
    expect_gesture(host.take_events(), port, first[first.size() - 2].v, false);
    EXPECT_EQ(host.flush_requests, 0);
    host.plugin->stop_processing(host.plugin);

    // The host sets 20 %: one wheel step up moves on from there.
    host.flush(port, 20.0);
    host.idle();
    host.take_events();
    send_press(host.display, host.child(), x, y, Button4, 0, 5000);
    host.idle();
    host.flush();
    const std::vector<OutEvent> wheel = host.take_events();
    ASSERT_EQ(wheel.size(), 3u);
    EXPECT_GT(wheel[1].v, 20.0);
    EXPECT_LT(wheel[1].v, 30.0);
}

// The window without the host's fd watch (timer only) or timer (fd only)
// still takes the pointer; a parent destroyed under the window, a plugin
// destroyed with its window open, and 100 windows opened and closed leave
// nothing behind (the sanitizer build's LeakSanitizer checks).
TEST(ClapWindow, SurvivesHalfHostsUntimelyClosingAndManyLifetimes)
{
    for (bool timer : {false, true}) {
        HostOffer offer;
        offer.timer = timer;
        offer.fd = !timer;
        GuiHost host(offer);
        ASSERT_TRUE(host.open(1.0));
        host.idle();
        double x = 0, y = 0;
        ASSERT_TRUE(zt::view_control_centre(view_at(1.0), zt::PORT_RATE, &x, &y));
        send_press(host.display, host.child(), x, y, Button5, 0, 1000);
        host.idle();
        host.flush();
        EXPECT_EQ(host.take_events().size(), 3u) << (timer ? "timer only" : "fd only");
    }

    GuiHost host;
    for (bool idle_between : {false, true}) {
        ASSERT_TRUE(host.open());
        host.idle();
        XDestroyWindow(host.display, host.parent);
        XSync(host.display, False);
        if (idle_between) {
            host.idle();
            EXPECT_TRUE(host.fds.empty()) << "a watch on a connection nothing reads";
        }
        host.gui->destroy(host.plugin);
        host.parent = XCreateSimpleWindow(host.display, DefaultRootWindow(host.display), 0, 0, 400, 300, 0, 0, 0);
        XMapWindow(host.display, host.parent);
        XSync(host.display, False);
    }

    // Closed in the middle of a drag, by gui destroy and by plugin destroy.
    for (int i = 0; i < 100; ++i) {
        ASSERT_TRUE(host.open(1.0 + (i % 3) * 0.5)) << i;
        host.flush(zt::PORT_TYPE, static_cast<double>(i % 40));
        host.idle();
        send_press(host.display, host.child(), 100, 300, Button1, 0, 1000);
        send_motion(host.display, host.child(), 100, 320);
        host.gui->destroy(host.plugin);
    }
    ASSERT_TRUE(host.open());
    host.idle();
    host.plugin->deactivate(host.plugin);
    host.plugin->destroy(host.plugin);
    host.plugin = nullptr;
    XSync(host.display, False);
    EXPECT_EQ(host.child(), 0u);
    EXPECT_TRUE(host.fds.empty() && host.timers.empty());
}

} // namespace
} // namespace zt_clap_test
