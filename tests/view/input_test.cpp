// The window's input calls give the host the edits it must write, with
// their gestures, and values from the host are drawn within their ranges.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "core/port_table.h"
#include "ui/view.h"
#include "ui/view_layout.h"

namespace zt {
namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();

// A drag of 100 logical pixels moves a dial over half its sweep, whatever
// the scale; Shift ten times less; centre is logarithmic, so half its sweep
// is the geometric middle of 20 Hz and 20 kHz.
TEST(ViewInput, DragWritesTheDialsPortWithAGesture)
{
    for (double scale : {1.0, 2.0}) {
        static View v;
        view_init(v);
        view_set_scale(v, scale);
        view_resize(v, int(720 * scale), int(420 * scale));
        view_set_control(v, PORT_CENTER, 20.0f);
        double x, y;
        ASSERT_TRUE(view_control_centre(v, PORT_CENTER, &x, &y));
        ControlEdit e = view_press(v, x, y, false, false);
        EXPECT_EQ(e.port, int32_t(PORT_CENTER));
        EXPECT_TRUE(e.gesture_begin);
        EXPECT_FALSE(e.gesture_end);
        e = view_drag(v, x, y - 100 * scale, false);
        EXPECT_EQ(e.port, int32_t(PORT_CENTER));
        EXPECT_NEAR(e.value, 632.456f, 0.01f);  // sqrt(20 * 20000)
        EXPECT_FALSE(e.gesture_begin || e.gesture_end);
        e = view_drag(v, x, y - 200 * scale, true);  // fine: a twentieth of the sweep
        EXPECT_NEAR(e.value, 632.456f * std::pow(1000.0f, 0.05f), 0.05f);
        e = view_drag(v, x, y - 2000 * scale, false);
        EXPECT_EQ(e.value, 20000.0f);  // the end, exactly
        e = view_release(v, x, y);
        EXPECT_EQ(e.port, int32_t(PORT_CENTER));
        EXPECT_TRUE(e.gesture_end);
        EXPECT_TRUE(view_take_dirty(v));
        EXPECT_FALSE(view_take_dirty(v));
        EXPECT_EQ(view_drag(v, x, y, false).port, -1);  // nothing held
    }
}

TEST(ViewInput, DoubleClickWheelShapeAndPicker)
{
    static View v;
    view_init(v);
    double x, y;
    ASSERT_TRUE(view_control_centre(v, PORT_MIX, &x, &y));
    ControlEdit e = view_scroll(v, x, y, -3, false);  // three notches down, 2 % of 200 each
    EXPECT_EQ(e.port, int32_t(PORT_MIX));
    EXPECT_NEAR(e.value, 88.0f, 1e-4f);
    EXPECT_TRUE(e.gesture_begin && e.gesture_end);
    e = view_press(v, x, y, false, true);
    EXPECT_EQ(e.value, 100.0f);
    EXPECT_TRUE(e.gesture_begin && e.gesture_end);
    view_release(v, x, y);

    // The shape: four choices, 3 being drawn as 2.
    ASSERT_TRUE(view_control_centre(v, PORT_SHAPE, &x, &y));
    const Layout l = view_layout(v);
    e = view_press(v, l.shape_row[3].cx(), l.shape_row[3].cy(), false, false);
    EXPECT_EQ(e.port, int32_t(PORT_SHAPE));
    EXPECT_EQ(e.value, 4.0f);
    view_release(v, 0, 0);
    view_set_control(v, PORT_SHAPE, 3.0f);
    ASSERT_TRUE(view_control_centre(v, PORT_SHAPE, &x, &y));
    EXPECT_TRUE(l.shape_row[2].contains(x, y));

    // The type: a click opens the picker, a click on a response picks it.
    ASSERT_TRUE(view_control_centre(v, PORT_TYPE, &x, &y));
    EXPECT_EQ(view_press(v, x, y, false, false).port, -1);
    EXPECT_EQ(view_release(v, x, y).port, -1);
    EXPECT_TRUE(v.picker_open);
    const Rect& cell = l.picker_cell[24];
    view_press(v, cell.cx(), cell.cy(), false, false);
    e = view_release(v, cell.cx(), cell.cy());
    EXPECT_EQ(e.port, int32_t(PORT_TYPE));
    EXPECT_EQ(e.value, 24.0f);
    EXPECT_FALSE(v.picker_open);
    e = view_scroll(v, x, y, 1, false);  // up the list
    EXPECT_EQ(e.value, 23.0f);
}

// Values the host sends: NaN keeps what is drawn (as the engine ignores it),
// the rest is held to the range; the menus truncate as the engine does.
TEST(ViewInput, HostileValuesAreDrawnAsTheNearestSensibleOne)
{
    static View v;
    view_init(v);
    view_take_dirty(v);
    const float hostile[] = {NAN, kInf, -kInf, 1e30f, -1e30f, 3.9f, -0.0f, 1e-40f};
    for (uint32_t port = 0; port < PORT_COUNT + 3; ++port)
        for (float x : hostile) {
            view_set_control(v, port, x);
            if (port >= PORT_COUNT || kPorts[port].audio) continue;
            EXPECT_GE(v.value[port], kPorts[port].min);
            EXPECT_LE(v.value[port], kPorts[port].max);
        }
    EXPECT_EQ(v.value[PORT_TYPE], 0.0f);   // -0 after 3.9
    view_set_control(v, PORT_TYPE, 1e9f);
    EXPECT_EQ(v.value[PORT_TYPE], 36.0f);
    view_set_control(v, PORT_SHAPE, 3.9f);
    EXPECT_EQ(v.value[PORT_SHAPE], 3.0f);
    view_set_control(v, PORT_RESONANCE, 50.0f);
    view_set_control(v, PORT_RESONANCE, NAN);
    EXPECT_EQ(v.value[PORT_RESONANCE], 50.0f);
    view_set_cutoff(v, kInf);
    EXPECT_TRUE(std::isnan(v.cutoff_hz));
    view_set_session_rate(v, -1.0);
    EXPECT_EQ(v.session_rate, 0.0);
    view_set_scale(v, NAN);
    EXPECT_EQ(v.scale, 1.0);
    view_resize(v, 32767, 5000);  // drawn at the bound, whatever the window's size
    EXPECT_EQ(v.width, 4096);
    EXPECT_EQ(v.height, 4096);
    EXPECT_TRUE(view_take_dirty(v));
    // Nothing changes: nothing to redraw.
    view_set_control(v, PORT_RESONANCE, 50.0f);
    view_set_cutoff(v, NAN);
    EXPECT_FALSE(view_take_dirty(v));
}

} // namespace
} // namespace zt
