// The window through the VST3 face, in a small VST3 host on the LV2 window
// rig's X server: embedded X11 only, opening in the host's parent with the
// run loop's fd watch and timer, the host's scale and size bounds, pointer
// edits reaching the host as begin/perform/end edits, host values moving
// the dials, and untimely closing.
// googletest first: Xlib's macros (None, Bool, ...) would break its headers.
#include <gtest/gtest.h>

#include <cmath>

#include "ui/view.h"
#include "vst3_gui_host.h"

extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

namespace zt_vst3_test {
namespace {

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

TEST(Vst3Window, EmbedsAtTheHostsScaleWithinBoundsAndTalksThroughTheHost)
{
    GuiHost host;
    ASSERT_TRUE(host.open(2.0f));
    const zt::View v = view_at(2.0);
    XWindowAttributes a{};
    ASSERT_TRUE(host.child() && XGetWindowAttributes(host.display, host.child(), &a));
    EXPECT_TRUE(a.width == v.width && a.height == v.height);
    ASSERT_TRUE(host.fds.size() == 1 && host.timers.size() == 1);
    EXPECT_EQ(host.timers[0].second, 33u);

    // Sizes within the view's bounds; scales the view draws at.
    int min_w = 0, min_h = 0;
    zt::view_min_size(v, &min_w, &min_h);
    Steinberg_ViewRect r{0, 0, 1, 1};
    EXPECT_TRUE(VCALL(host.view, checkSizeConstraint, &r) == Steinberg_kResultTrue && r.right == min_w &&
                r.bottom == min_h);
    r = {0, 0, 100000, 100000};
    EXPECT_TRUE(VCALL(host.view, checkSizeConstraint, &r) == Steinberg_kResultTrue && r.right == zt::kViewMaxSide);
    void* s = nullptr;
    VCALL(host.view, queryInterface, Steinberg_IPlugViewContentScaleSupport_iid, &s);
    auto* scale = as<Steinberg_IPlugViewContentScaleSupport>(s);
    for (float bad : {NAN, 0.0f, -1.0f, INFINITY, 1e9f}) EXPECT_NE(VCALL(scale, setContentScaleFactor, bad), 0) << bad;
    ASSERT_EQ(VCALL(scale, setContentScaleFactor, 1.0f), 0);
    const zt::View v1 = view_at(1.0);
    EXPECT_TRUE(host.asked.right == v1.width && host.asked.bottom == v1.height) << "the host is asked to resize";
    VCALL(scale, release);

    // A drag on mix: begin, performs, end, in order; the controller shows it.
    double x = 0, y = 0;
    zt::view_control_centre(v1, zt::PORT_MIX, &x, &y);
    zt_ui_test::send_press(host.display, host.child(), x, y);
    zt_ui_test::send_motion(host.display, host.child(), x, y + 40);
    zt_ui_test::send_release(host.display, host.child(), x, y + 40);
    host.idle();
    ASSERT_GE(host.edits.size(), 3u);
    EXPECT_EQ(host.edits.front(), (Edit{'b', 2, 0}));
    EXPECT_EQ(host.edits.back(), (Edit{'e', 2, 0}));
    const Edit last = host.edits[host.edits.size() - 2];
    EXPECT_TRUE(last.kind == 'p' && last.value < 1.0 && last.value == VCALL(host.ctl, getParamNormalized, 2));
    host.edits.clear();

    // The host's value moves the dial: a wheel step goes on from it.
    VCALL(host.ctl, setParamNormalized, 7, 0.2);
    host.idle();
    zt::View want = v1;
    zt::view_set_control(want, zt::PORT_RESONANCE, 20.0f);
    zt::view_control_centre(v1, zt::PORT_RESONANCE, &x, &y);
    const zt::ControlEdit step = zt::view_scroll(want, x, y, 1, false);
    zt_ui_test::send_press(host.display, host.child(), x, y, Button4);
    zt_ui_test::send_release(host.display, host.child(), x, y, Button4);
    host.idle();
    ASSERT_EQ(host.edits.size(), 3u);
    EXPECT_FLOAT_EQ(float(VCALL(host.ctl, normalizedParamToPlain, 7, host.edits[1].value)), step.value);

    // A held drag ends through the host when the window goes; the run loop
    // is let go of; the controller takes a new view.
    zt::view_control_centre(v1, zt::PORT_RATE, &x, &y);
    zt_ui_test::send_press(host.display, host.child(), x, y);
    host.idle();
    host.edits.clear();
    host.close();
    EXPECT_EQ(host.edits, (std::vector<Edit>{{'e', 3, 0}}));
    EXPECT_TRUE(host.fds.empty() && host.timers.empty() && !host.child());
    ASSERT_TRUE(host.open());
    // The controller terminated under the open window: the window goes.
    VCALL(host.ctl, terminate);
    EXPECT_TRUE(host.fds.empty() && host.timers.empty() && !host.child());
    VCALL(host.ctl, initialize, nullptr);
}

} // namespace
} // namespace zt_vst3_test
