// The window through the CLAP face, in a small CLAP host on the LV2 window
// rig's X server: opening in the host's parent with the host's fd watch and
// timer, pointer edits reaching the host as param gestures and values, host
// values moving the dials, and untimely or repeated closing.
// googletest first: Xlib's macros (None, Bool, ...) would break its headers.
#include <gtest/gtest.h>

#include <X11/Xatom.h>

#include <algorithm>
#include <cmath>

#include "core/port_table.h"
#include "gui_host.h"
#include "ui/view.h"

// fontconfig keeps its configuration in a form LeakSanitizer cannot follow
// (see the LV2 window's test; valgrind checks the CLAP window's lifetimes).
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

namespace zt_clap_test {
namespace {

using zt_ui_test::send_motion;
using zt_ui_test::send_press;
using zt_ui_test::send_release;

// The view at a scale, sized as it asks: the window's size and its controls' places.
zt::View view_at(double scale)
{
    zt::View v;
    zt::view_init(v);
    zt::view_set_scale(v, scale);
    int w = 0, h = 0;
    zt::view_size_hint(v, &w, &h);
    zt::view_resize(v, w, h);
    return v;
}

// Embedded X11 only; nothing on screen and nothing asked of the host before
// set_parent; at the host's scale (else the desktop's, see the LV2 window);
// hidden, shown, resized; the host's fd and ~30 Hz timer held while it lives.
TEST(ClapWindow, OpensOnlyEmbeddedInTheHostsParentAtItsScaleWithItsFdAndTimer)
{
    GuiHost host;
    const clap_plugin_t* p = host.plugin;
    EXPECT_FALSE(host.gui->is_api_supported(p, CLAP_WINDOW_API_X11, true));
    EXPECT_FALSE(host.gui->create(p, CLAP_WINDOW_API_WAYLAND, false));
    host.gui->destroy(p);  // before create
    EXPECT_FALSE(host.gui->show(p));
    for (double scale : {1.0, 2.0}) {
        ASSERT_TRUE(host.gui->create(p, CLAP_WINDOW_API_X11, false));
        EXPECT_FALSE(host.gui->create(p, CLAP_WINDOW_API_X11, false));
        for (double bad : {double(NAN), 0.0, -1.0, double(INFINITY), 1e9})
            EXPECT_FALSE(host.gui->set_scale(p, bad)) << bad;
        EXPECT_TRUE(host.gui->set_scale(p, scale));
        EXPECT_FALSE(host.set_parent(0x7ffffff0)) << "no such window on the server";
        EXPECT_TRUE(host.child() == 0 && host.fds.empty() && host.timers.empty());
        const zt::View v = view_at(scale);
        uint32_t w = 0, h = 0;
        ASSERT_TRUE(host.gui->get_size(p, &w, &h));
        EXPECT_TRUE(w == uint32_t(v.width) && h == uint32_t(v.height));
        int min_w = 0, min_h = 0;
        zt::view_min_size(v, &min_w, &min_h);
        w = h = 1;
        EXPECT_TRUE(host.gui->adjust_size(p, &w, &h) && w == uint32_t(min_w) && h == uint32_t(min_h));
        EXPECT_FALSE(host.gui->set_size(p, 1, 1));
        // A size the host kept from its last session, set before the window exists, holds.
        if (scale == 2.0) EXPECT_TRUE(host.gui->set_size(p, w + 1, h + 2));
        ASSERT_TRUE(host.set_parent(host.parent) && host.gui->show(p));
        XWindowAttributes a = host.child_attributes();
        EXPECT_EQ(a.width, scale == 2.0 ? min_w + 1 : v.width);
        EXPECT_EQ(a.height, scale == 2.0 ? min_h + 2 : v.height);
        EXPECT_EQ(a.map_state, IsViewable);
        EXPECT_TRUE(host.fds.size() == 1 && host.timers.size() == 1);
        EXPECT_TRUE(host.period_ms >= 25 && host.period_ms <= 40) << host.period_ms;
        EXPECT_TRUE(host.gui->hide(p));
        EXPECT_EQ(host.child_attributes().map_state, IsUnmapped);
        EXPECT_TRUE(host.gui->show(p));
        EXPECT_TRUE(host.gui->set_size(p, v.width + 3, v.height));
        host.idle();
        EXPECT_EQ(host.child_attributes().width, v.width + 3);
        host.gui->destroy(p);
        XSync(host.display, False);
        EXPECT_TRUE(host.child() == 0 && host.fds.empty() && host.timers.empty());
    }
    // No scale from the host: the desktop's Xft.dpi of 144 means 1.5, and
    // the host is asked for the window's size at it.
    const char* dpi = "Xft.dpi:\t144\n";
    XChangeProperty(host.display, DefaultRootWindow(host.display), XA_RESOURCE_MANAGER, XA_STRING, 8,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(dpi), 13);
    XSync(host.display, False);
    ASSERT_TRUE(host.open());
    XDeleteProperty(host.display, DefaultRootWindow(host.display), XA_RESOURCE_MANAGER);
    EXPECT_EQ(host.resize_height, uint32_t(view_at(1.5).height));
    EXPECT_EQ(host.child_attributes().width, view_at(1.5).width);
}

// Checks one gesture on `param`: begin, values moving one way from `from`, end.
void expect_gesture(const std::vector<OutEvent>& events, clap_id param, double from, double direction)
{
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(events.front().type, CLAP_EVENT_PARAM_GESTURE_BEGIN);
    EXPECT_EQ(events.back().type, CLAP_EVENT_PARAM_GESTURE_END);
    const double start = from;
    for (size_t i = 0; i < events.size(); ++i) {
        EXPECT_EQ(events[i].param, param);
        if (i == 0 || i + 1 == events.size()) continue;
        EXPECT_EQ(events[i].type, CLAP_EVENT_PARAM_VALUE);
        EXPECT_GE((events[i].value - from) * direction, 0.0) << i;
        from = events[i].value;
    }
    EXPECT_NE(from, start);
}

// A drag reaches the host by flush while the plugin is not processing (it
// asks for one) and by process while it is; the host's value moves the dial
// the wheel then moves on from; the timer alone or the fd alone carry it all.
TEST(ClapWindow, PointerEditsReachTheHostAsParamGesturesAndHostValuesMoveTheDials)
{
    for (const bool timer : {true, false}) {
        GuiHost host(timer, !timer);
        ASSERT_TRUE(host.open(2.0));
        double x = 0, y = 0;
        ASSERT_TRUE(zt::view_control_centre(view_at(2.0), zt::PORT_MIX, &x, &y));
        const auto drag = [&](double dy, Time t) {
            send_press(host.display, host.child(), x, y, Button1, 0, t);
            for (int i = 1; i <= 4; ++i) send_motion(host.display, host.child(), x, y + dy * i / 4), host.idle();
            send_release(host.display, host.child(), x, y + dy, Button1, t + 500);
            host.idle();
        };
        drag(80, 1000);
        EXPECT_GT(host.flush_requests, 0);
        host.flush();
        const std::vector<OutEvent> down = host.take_events();
        expect_gesture(down, zt::PORT_MIX, zt::kPorts[zt::PORT_MIX].def, -1);
        ASSERT_TRUE(host.plugin->start_processing(host.plugin));
        drag(-40, 3000);
        host.process(64);
        expect_gesture(host.take_events(), zt::PORT_MIX, down[down.size() - 2].value, +1);
        host.plugin->stop_processing(host.plugin);

        host.flush(zt::PORT_MIX, 20.0);
        host.idle();
        send_press(host.display, host.child(), x, y, Button4, 0, 5000);
        host.idle();
        host.flush();
        const std::vector<OutEvent> wheel = host.take_events();
        ASSERT_EQ(wheel.size(), 3u);
        EXPECT_TRUE(wheel[1].value > 20.0 && wheel[1].value < 30.0) << wheel[1].value;
    }
}

// Moved to another parent; closed with a parent destroyed under it (with
// and without a turn of the loop between), 100 times in the middle of a
// drag, and by the plugin's destroy: nothing stays on screen or with the
// host, every gesture begun ends once, nothing leaks (the sanitizer build's
// LeakSanitizer; valgrind in clap_gui_unload).
TEST(ClapWindow, ClosesCleanlyAtAnyMomentAndManyTimesOver)
{
    GuiHost host;
    // A second set_parent moves the window, watched and timed once still.
    ASSERT_TRUE(host.open());
    const Window first = host.parent;
    host.parent = XCreateSimpleWindow(host.display, DefaultRootWindow(host.display), 0, 0, 400, 300, 0, 0, 0);
    XSync(host.display, False);
    ASSERT_TRUE(host.set_parent(host.parent));
    EXPECT_TRUE(host.child() != 0 && host.fds.size() == 1 && host.timers.size() == 1);
    XDestroyWindow(host.display, first);
    host.gui->destroy(host.plugin);
    for (const bool idle_between : {false, true}) {
        ASSERT_TRUE(host.open());
        host.idle();
        XDestroyWindow(host.display, host.parent);
        XSync(host.display, False);
        if (idle_between) host.idle();
        EXPECT_TRUE(!idle_between || host.fds.empty()) << "a watch on a connection nothing reads";
        host.gui->destroy(host.plugin);
        host.parent = XCreateSimpleWindow(host.display, DefaultRootWindow(host.display), 0, 0, 400, 300, 0, 0, 0);
        XSync(host.display, False);
    }
    for (int i = 0; i < 100; ++i) {
        const double scale = 1.0 + (i % 3) * 0.5;
        ASSERT_TRUE(host.open(scale)) << i;
        host.flush(zt::PORT_TYPE, i % 40);
        double x = 0, y = 0;
        zt::view_control_centre(view_at(scale), zt::PORT_RATE, &x, &y);
        send_press(host.display, host.child(), x, y, Button1, 0, 1000);
        host.idle();
        send_motion(host.display, host.child(), x, y + 20);  // never read
        if (i % 2) host.gui->hide(host.plugin);
        host.gui->destroy(host.plugin);
        host.flush();
        const std::vector<OutEvent> e = host.take_events();
        const auto count = [&](uint16_t type) {
            return std::count_if(e.begin(), e.end(), [&](const OutEvent& o) { return o.type == type; });
        };
        ASSERT_TRUE(count(CLAP_EVENT_PARAM_GESTURE_BEGIN) == 1 && count(CLAP_EVENT_PARAM_GESTURE_END) == 1 &&
                    e.back().type == CLAP_EVENT_PARAM_GESTURE_END) << i << (i % 2 ? " hidden" : "");
    }
    ASSERT_TRUE(host.open());
    host.plugin->deactivate(host.plugin);
    host.plugin->destroy(host.plugin);
    host.plugin = nullptr;
    XSync(host.display, False);
    EXPECT_TRUE(host.child() == 0 && host.fds.empty() && host.timers.empty());
}

} // namespace
} // namespace zt_clap_test
