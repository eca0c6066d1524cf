// The view's state and input: values in from the host, edits out to it.
#include "view.h"

#include <cmath>
#include <cstring>

#include "view_layout.h"
#include "view_values.h"
#include "../core/port_table.h"
#include "../engine/response_curve.h"

namespace zt {

namespace {

// Percent to fraction, as the plugin's control intake does it.
constexpr float kPercent = 0.01f;
// A full sweep of a dial takes this many logical pixels of vertical drag;
// Shift makes the steps ten times finer.
constexpr double kDragSpan = 200.0;
constexpr double kFine = 0.1;
// One wheel notch moves a dial by this part of its sweep.
constexpr double kWheelStep = 0.02;

void mark_dirty(View& v)
{
    v.dirty = true;
    v.dirty_outside_plot = true;
}

// The cutoff the curve is drawn at: the live one, or the centre.
void update_curve_cutoff(View& v)
{
    const float hz = std::isnan(v.cutoff_hz) ? v.value[PORT_CENTER] : v.cutoff_hz;
    v.engine.cutoff_hz = hz;
    update_coefficients(v.engine);
}

// The engine's setters with the port value as the plugin's intake passes it.
void apply_to_engine(View& v, uint32_t port)
{
    FilterEngine& e = v.engine;
    const float x = v.value[port];
    switch (port) {
    case PORT_MIX: set_mix(e, x * kPercent); break;
    case PORT_RATE: set_rate(e, x); break;
    case PORT_GLIDE_DOWN: set_glide_down(e, x * kPercent); break;
    case PORT_GLIDE_UP: set_glide_up(e, x * kPercent); break;
    case PORT_SHAPE: set_shape(e, x); break;
    case PORT_RESONANCE: set_resonance(e, x * kPercent); break;
    case PORT_CENTER:
        set_center(e, x);
        update_curve_cutoff(v);
        break;
    case PORT_OCTAVES: set_octaves(e, x); break;
    case PORT_TYPE: set_type(e, x); break;
    default: break;
    }
}

// Sets a control from an edit and returns the edit to pass to the host.
ControlEdit edit(View& v, uint32_t port, float value, bool begin, bool end)
{
    if (value != v.value[port]) {
        v.value[port] = value;
        apply_to_engine(v, port);
        mark_dirty(v);
    }
    ControlEdit out;
    out.port = static_cast<int32_t>(port);
    out.value = value;
    out.gesture_begin = begin;
    out.gesture_end = end;
    return out;
}

void set_grab(View& v, Grab g, int32_t port)
{
    if (v.grab != g || v.grab_port != port) mark_dirty(v);
    v.grab = g;
    v.grab_port = port;
}

// The shape value's choice: 3 is shown as 2, which it draws exactly like.
int shape_choice(float value)
{
    for (int i = kShapeChoices - 1; i >= 0; --i)
        if (value >= kShapeChoiceValue[i]) return i;
    return 0;
}

// The picker goes, and with it the cell the pointer was over.
void close_picker(View& v)
{
    v.picker_open = false;
    v.picker_hover = -1;
    mark_dirty(v);
}

int picker_cell_at(const Layout& l, double x, double y)
{
    for (int i = 0; i < kOfferedTypes; ++i)
        if (l.picker_cell[i].contains(x, y)) return i;
    return -1;
}

int dial_at(const Layout& l, double x, double y)
{
    for (int i = 0; i < kDialCount; ++i)
        if (l.dial[i].contains(x, y)) return i;
    return -1;
}

int shape_row_at(const Layout& l, double x, double y)
{
    for (int i = 0; i < kShapeChoices; ++i)
        if (l.shape_row[i].contains(x, y)) return i;
    return -1;
}

// The cutoff's marker height in device pixels, as the plot draws it.
double marker_y(const Layout& l, const FilterEngine& e, float hz)
{
    return db_to_y(l, std::fmin(std::fmax(response_level_db(e, hz), kBottomDb), kTopDb)) * l.scale;
}

// Whether the plot at live cutoff `hz` would show what it shows at the
// present one: its line in the same device column, its marker less than
// half a device pixel away each way (the curve moves with it), the same
// label, and the filter ringing or not alike. Cheapest tests first: this
// runs at every move of the cutoff.
bool shows_the_same(const View& v, float hz)
{
    if (std::isnan(v.cutoff_hz)) return false;
    const Layout l = view_layout(v);
    const double k = heard_factor(v);
    const double x0 = freq_to_x(l, v.cutoff_hz * k) * l.scale, x1 = freq_to_x(l, hz * k) * l.scale;
    if (std::floor(x0) != std::floor(x1) || std::fabs(x1 - x0) >= 0.5) return false;
    char before[24], after[24];
    format_hz(v.cutoff_hz * k, before, sizeof before);
    format_hz(hz * k, after, sizeof after);
    if (std::strcmp(before, after) != 0) return false;
    FilterEngine e = v.engine;
    e.cutoff_hz = hz;
    update_coefficients(e);
    if (std::fabs(marker_y(l, e, hz) - marker_y(l, v.engine, v.cutoff_hz)) >= 0.5) return false;
    return (response_pole_radius(e) >= 1.0) == (response_pole_radius(v.engine) >= 1.0);
}

} // namespace

void view_init(View& v)
{
    v = View{};
    for (uint32_t p = 0; p < PORT_COUNT; ++p) {
        v.value[p] = kPorts[p].def;
        apply_to_engine(v, p);
    }
    v.cutoff_hz = NAN;
    update_curve_cutoff(v);
    mark_dirty(v);
}

void view_set_scale(View& v, double scale)
{
    if (!(scale >= 0.25 && scale <= 16.0)) scale = 1.0;
    if (scale == v.scale) return;
    v.scale = scale;
    mark_dirty(v);
}

void view_resize(View& v, int width_px, int height_px)
{
    width_px = width_px < 1 ? 1 : width_px > kViewMaxSide ? kViewMaxSide : width_px;
    height_px = height_px < 1 ? 1 : height_px > kViewMaxSide ? kViewMaxSide : height_px;
    if (width_px == v.width && height_px == v.height) return;
    v.width = width_px;
    v.height = height_px;
    mark_dirty(v);
}

void view_set_control(View& v, uint32_t port, float value)
{
    if (port >= PORT_COUNT || kPorts[port].audio) return;
    const float x = sanitize_control(port, value, v.value[port]);
    if (x == v.value[port]) return;
    v.value[port] = x;
    apply_to_engine(v, port);
    if (v.grab == Grab::dial && v.grab_port == int32_t(port)) v.grab_pos = control_position(port, x);
    mark_dirty(v);
}

void view_set_session_rate(View& v, double rate)
{
    if (!(rate > 0.0 && rate < 1e7)) rate = 0.0;
    if (rate == v.session_rate) return;
    v.session_rate = rate;
    mark_dirty(v);
}

void view_set_cutoff(View& v, float hz)
{
    // A cutoff the engine cannot hold is shown as not live.
    if (!(hz > 0.0f && hz < 1e6f)) hz = NAN;
    if (std::isnan(hz) && std::isnan(v.cutoff_hz)) return;
    if (hz == v.cutoff_hz) return;
    // Going live or not changes the header and the notes; a moving cutoff
    // changes only the plot.
    const bool whole = std::isnan(hz) != std::isnan(v.cutoff_hz);
    // A move too small to show is not taken, so the record stays the
    // picture on screen and the small moves add up until one shows.
    if (!whole && shows_the_same(v, hz)) return;
    v.cutoff_hz = hz;
    update_curve_cutoff(v);
    v.dirty = true;
    v.dirty_outside_plot |= whole;
}

bool view_take_dirty(View& v)
{
    const bool d = v.dirty;
    v.dirty = false;
    v.dirty_outside_plot = false;
    return d;
}

void view_plot_rect(const View& v, int* x, int* y, int* width, int* height)
{
    const Layout l = view_layout(v);
    const Rect& p = l.plot;
    *x = int(std::floor(p.x * l.scale));
    *y = int(std::floor(p.y * l.scale));
    *width = int(std::ceil((p.x + p.w) * l.scale)) - *x;
    *height = int(std::ceil((p.y + p.h) * l.scale)) - *y;
}

bool view_take_damage(View& v, int* x, int* y, int* width, int* height)
{
    *x = 0, *y = 0, *width = v.width, *height = v.height;
    if (v.dirty && !v.dirty_outside_plot) view_plot_rect(v, x, y, width, height);
    return view_take_dirty(v);
}

ControlEdit view_press(View& v, double x_px, double y_px, bool shift, bool double_click)
{
    (void)shift;
    const Layout l = view_layout(v);
    const double x = x_px / l.scale, y = y_px / l.scale;
    if (v.picker_open) {
        // A press on a response picks it; anywhere else closes the picker.
        const int cell = picker_cell_at(l, x, y);
        if (cell >= 0) {
            v.picker_pressed = cell;
            set_grab(v, Grab::picker, PORT_TYPE);
            return {};
        }
        close_picker(v);
        set_grab(v, Grab::none, -1);
        return {};
    }
    if (l.type_button.contains(x, y)) {
        set_grab(v, Grab::type_button, PORT_TYPE);
        return {};
    }
    if (const int d = dial_at(l, x, y); d >= 0) {
        const uint32_t port = kDialPorts[d];
        if (double_click) {
            set_grab(v, Grab::none, -1);
            return edit(v, port, kPorts[port].def, true, true);
        }
        set_grab(v, Grab::dial, int32_t(port));
        v.grab_y = y;
        v.grab_pos = control_position(port, v.value[port]);
        return edit(v, port, v.value[port], true, false);
    }
    if (const int r = shape_row_at(l, x, y); r >= 0) {
        set_grab(v, Grab::none, -1);
        if (shape_choice(v.value[PORT_SHAPE]) == r) return {};
        return edit(v, PORT_SHAPE, kShapeChoiceValue[r], true, true);
    }
    return {};
}

ControlEdit view_drag(View& v, double x_px, double y_px, bool shift)
{
    (void)x_px;
    if (v.grab != Grab::dial) return {};
    const uint32_t port = uint32_t(v.grab_port);
    const double y = y_px / layout_scale(v);
    // Relative to the last motion, so pressing or releasing Shift mid-drag
    // changes the speed without a jump.
    v.grab_pos += (v.grab_y - y) / kDragSpan * (shift ? kFine : 1.0);
    v.grab_pos = std::fmin(std::fmax(v.grab_pos, 0.0), 1.0);
    v.grab_y = y;
    return edit(v, port, control_at(port, v.grab_pos), false, false);
}

ControlEdit view_release(View& v, double x_px, double y_px)
{
    const Grab g = v.grab;
    const int32_t port = v.grab_port;
    set_grab(v, Grab::none, -1);
    if (g == Grab::dial) return edit(v, uint32_t(port), v.value[port], false, true);
    if (g == Grab::type_button) {
        v.picker_open = true;
        mark_dirty(v);
        return {};
    }
    if (g == Grab::picker) {
        const Layout l = view_layout(v);
        const int cell = picker_cell_at(l, x_px / l.scale, y_px / l.scale);
        const int pressed = v.picker_pressed;
        v.picker_pressed = -1;
        if (cell < 0 || cell != pressed) return {};
        close_picker(v);
        return edit(v, PORT_TYPE, float(cell), true, true);
    }
    return {};
}

ControlEdit view_cancel(View& v)
{
    const Grab g = v.grab;
    const int32_t port = v.grab_port;
    set_grab(v, Grab::none, -1);
    v.picker_pressed = -1;
    if (g != Grab::dial) return {};
    ControlEdit out;
    out.port = port;
    out.value = v.value[port];
    out.write = false;
    out.gesture_end = true;
    return out;
}

ControlEdit view_scroll(View& v, double x_px, double y_px, int steps, bool shift)
{
    if (steps == 0 || v.grab != Grab::none || v.picker_open) return {};
    const Layout l = view_layout(v);
    const double x = x_px / l.scale, y = y_px / l.scale;
    if (l.type_button.contains(x, y)) {
        // Wheel up goes back up the list, as in a menu.
        const float row = std::fmin(std::fmax(v.value[PORT_TYPE] - float(steps), 0.0f), float(kOfferedTypes - 1));
        if (row == v.value[PORT_TYPE]) return {};
        return edit(v, PORT_TYPE, row, true, true);
    }
    if (const int d = dial_at(l, x, y); d >= 0) {
        const uint32_t port = kDialPorts[d];
        const double pos = control_position(port, v.value[port]) + steps * kWheelStep * (shift ? kFine : 1.0);
        const float value = control_at(port, pos);
        if (value == v.value[port]) return {};
        return edit(v, port, value, true, true);
    }
    if (l.shape_box.contains(x, y)) {
        const int r = shape_choice(v.value[PORT_SHAPE]) - steps;
        if (r < 0 || r >= kShapeChoices) return {};
        return edit(v, PORT_SHAPE, kShapeChoiceValue[r], true, true);
    }
    return {};
}

void view_size_hint(const View& v, int* width_px, int* height_px)
{
    *width_px = int(std::lround(kNaturalWidth * v.scale));
    *height_px = int(std::lround(kNaturalHeight * v.scale));
}

void view_min_size(const View& v, int* width_px, int* height_px)
{
    *width_px = int(std::ceil(kMinWidth * v.scale));
    *height_px = int(std::ceil(kMinHeight * v.scale));
}

void view_hover(View& v, double x_px, double y_px)
{
    int cell = -1;
    if (v.picker_open) {
        const Layout l = view_layout(v);
        cell = picker_cell_at(l, x_px / l.scale, y_px / l.scale);
    }
    if (cell == v.picker_hover) return;
    v.picker_hover = cell;
    mark_dirty(v);
}

bool view_control_centre(const View& v, uint32_t port, double* x, double* y)
{
    const Layout l = view_layout(v);
    Rect r;
    if (const int d = dial_index(port); d >= 0) {
        *x = dial_cx(l, d) * l.scale;
        *y = dial_cy(l, d) * l.scale;
        return true;
    }
    if (port == PORT_SHAPE)
        r = l.shape_row[shape_choice(v.value[PORT_SHAPE])];
    else if (port == PORT_TYPE)
        r = l.type_button;
    else
        return false;
    *x = r.cx() * l.scale;
    *y = r.cy() * l.scale;
    return true;
}

} // namespace zt
