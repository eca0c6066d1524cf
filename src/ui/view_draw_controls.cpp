// The controls: dials, the shape choice, the type button and its picker.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "view_draw.h"
#include "view_values.h"
#include "../engine/response_curve.h"
#include "../core/port_table.h"

namespace zt {

namespace {

// A dial sweeps 270 degrees, from lower left through the top to lower right.
constexpr double kSweepStart = 0.75 * M_PI;
constexpr double kSweep = 1.5 * M_PI;

const char* const kGroupCaptions[4] = {"RANDOM MODULATION", "BAND", "FILTER", "OUTPUT"};

// A dial's name or value at its own size, or smaller in a narrow cell.
double fitted_size(cairo_t* cr, const char* s, double size, double max_w, bool bold)
{
    while (size > 8.0 && text_width(cr, s, size, bold) > max_w) size -= 0.5;
    return size;
}

void draw_dial(cairo_t* cr, const View& v, const Layout& l, int i)
{
    const uint32_t port = kDialPorts[i];
    const PortInfo& info = kPorts[port];
    const double cx = dial_cx(l, i), cy = dial_cy(l, i), r = l.dial_radius;
    const double pos = control_position(port, v.value[port]);
    const bool active = v.grab == Grab::dial && v.grab_port == int32_t(port);

    const double room = l.dial[i].w - 1;
    set_colour(cr, palette::text_dim);
    draw_text(cr, info.name, cx, l.dial[i].y + 10, fitted_size(cr, info.name, 11, room, false), Align::centre);

    // The track, and the value's arc: from the start, or from the middle
    // for a control whose range straddles zero.
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_width(cr, 3.5);
    set_colour(cr, palette::track);
    cairo_new_path(cr);
    cairo_arc(cr, cx, cy, r, kSweepStart, kSweepStart + kSweep);
    cairo_stroke(cr);
    const double from = info.min < 0.0f ? 0.5 : 0.0;
    const double a0 = kSweepStart + kSweep * std::fmin(from, pos), a1 = kSweepStart + kSweep * std::fmax(from, pos);
    set_colour(cr, palette::curve, active ? 1.0 : 0.85);
    if (a1 - a0 > 1e-3) {
        cairo_new_path(cr);
        cairo_arc(cr, cx, cy, r, a0, a1);
        cairo_stroke(cr);
    }
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
    // The default, a small tick outside the track.
    const double ad = kSweepStart + kSweep * control_position(port, info.def);
    set_colour(cr, palette::text_dim, 0.8);
    cairo_set_line_width(cr, 1.2);
    cairo_move_to(cr, cx + (r + 4) * std::cos(ad), cy + (r + 4) * std::sin(ad));
    cairo_line_to(cr, cx + (r + 7) * std::cos(ad), cy + (r + 7) * std::sin(ad));
    cairo_stroke(cr);

    // The knob and its pointer.
    const double kr = r - 6;
    cairo_pattern_t* body = cairo_pattern_create_linear(0, cy - kr, 0, cy + kr);
    cairo_pattern_add_color_stop_rgb(body, 0, palette::knob_top.r, palette::knob_top.g, palette::knob_top.b);
    cairo_pattern_add_color_stop_rgb(body, 1, palette::knob_bottom.r, palette::knob_bottom.g, palette::knob_bottom.b);
    cairo_new_path(cr);
    cairo_arc(cr, cx, cy, kr, 0, 2 * M_PI);
    cairo_set_source(cr, body);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(body);
    set_colour(cr, active ? palette::curve : rgb(0x0a0c0f), active ? 0.9 : 1.0);
    cairo_set_line_width(cr, 1.0);
    cairo_stroke(cr);
    const double a = kSweepStart + kSweep * pos;
    set_colour(cr, palette::text);
    cairo_set_line_width(cr, 2.2);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_move_to(cr, cx + kr * 0.25 * std::cos(a), cy + kr * 0.25 * std::sin(a));
    cairo_line_to(cr, cx + kr * 0.85 * std::cos(a), cy + kr * 0.85 * std::sin(a));
    cairo_stroke(cr);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);

    char s[24];
    format_control(port, v.value[port], s, sizeof s);
    set_colour(cr, palette::text);
    draw_text(cr, s, cx, cy + r + 18, fitted_size(cr, s, 11.5, room, true), Align::centre, true);
}

// The label fits its place: a little smaller if need be; failing that it
// loses its note in brackets, and only then shrinks further.
void draw_fitted(cairo_t* cr, const char* label, double x, double y, double max_w, bool bold)
{
    char s[64];
    std::snprintf(s, sizeof s, "%s", label);
    double size = 11;
    while (size > 9.5 && text_width(cr, s, size, bold) > max_w) size -= 0.5;
    if (text_width(cr, s, size, bold) > max_w) {
        if (char* bracket = std::strstr(s, " (")) *bracket = '\0';
        size = 11;
    }
    while (size > 8 && text_width(cr, s, size, bold) > max_w) size -= 0.5;
    draw_text(cr, s, x, y, size, Align::left, bold);
}

void draw_shape(cairo_t* cr, const View& v, const Layout& l)
{
    const Rect& b = l.shape_box;
    set_colour(cr, palette::text_dim);
    draw_text(cr, kPorts[PORT_SHAPE].name, b.cx(), b.y + 10, 11, Align::centre);
    const float value = v.value[PORT_SHAPE];
    for (int i = 0; i < kShapeChoices; ++i) {
        const Rect& r = l.shape_row[i];
        const bool on = value == kShapeChoiceValue[i] || (i == 2 && value == 3.0f);
        if (on) {
            rounded_rect(cr, {r.x, r.y + 1, r.w, r.h - 2}, 4);
            set_colour(cr, palette::curve, 0.16);
            cairo_fill(cr);
        }
        // A radio mark, then the table's label; a shape of 3 shows its own
        // label, which says it is the same as 2.
        cairo_new_path(cr);
        cairo_arc(cr, r.x + 10, r.cy(), 4, 0, 2 * M_PI);
        set_colour(cr, on ? palette::curve : palette::text_dim);
        if (on) {
            cairo_fill(cr);
        } else {
            cairo_set_line_width(cr, 1.0);
            cairo_stroke(cr);
        }
        const int point = (i == 2 && value == 3.0f) ? 3 : int(kShapeChoiceValue[i]);
        set_colour(cr, on ? palette::text : palette::text_dim);
        draw_fitted(cr, kShapePoints[point].label, r.x + 20, r.cy() + 4, r.w - 24, on);
    }
}

} // namespace

void draw_mini_curve(cairo_t* cr, const View& v, int row, const Rect& r, Colour c)
{
    FilterEngine e = v.engine;
    set_type(e, float(row));
    set_mix(e, 1.0f);
    e.cutoff_hz = 1000.0f;
    update_coefficients(e);
    const int steps = int(std::ceil(r.w * v.scale));
    cairo_new_path(cr);
    for (int i = 0; i <= steps; ++i) {
        const double t = double(i) / steps;
        const double db = response_level_db(e, kLowHz * std::pow(kHighHz / kLowHz, t));
        const double u = std::fmin(std::fmax((kTopDb - db) / (kTopDb - kBottomDb), 0.0), 1.0);
        cairo_line_to(cr, r.x + t * r.w, r.y + u * r.h);
    }
    set_colour(cr, c);
    cairo_set_line_width(cr, 1.3);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_stroke(cr);
}

void draw_type_button(cairo_t* cr, const View& v, const Layout& l)
{
    const Rect& b = l.type_button;
    const bool pressed = v.grab == Grab::type_button || v.picker_open;
    rounded_rect(cr, b, 5);
    set_colour(cr, pressed ? palette::track : palette::panel);
    cairo_fill_preserve(cr);
    set_colour(cr, palette::panel_edge);
    cairo_set_line_width(cr, 1.0);
    cairo_stroke(cr);
    set_colour(cr, palette::text_dim);
    const double cap = draw_text(cr, "Type", b.x + 10, b.y + 17, 11, Align::left);
    const int row = int(v.value[PORT_TYPE]);
    const Rect icon{b.x + 18 + cap, b.y + 5, 34, b.h - 10};
    cairo_rectangle(cr, icon.x - 2, icon.y - 1, icon.w + 4, icon.h + 2);
    set_colour(cr, palette::plot);
    cairo_fill(cr);
    draw_mini_curve(cr, v, row, icon, palette::curve);
    char label[48];
    type_label(row, label, sizeof label);
    set_colour(cr, palette::text);
    draw_fitted(cr, label, icon.x + icon.w + 10, b.y + 17, b.x + b.w - 26 - (icon.x + icon.w + 10), true);
    // The menu's chevron.
    const double x = b.x + b.w - 14, y = b.cy();
    set_colour(cr, palette::text_dim);
    cairo_set_line_width(cr, 1.5);
    cairo_move_to(cr, x - 4, y - 2);
    cairo_line_to(cr, x, y + 2);
    cairo_line_to(cr, x + 4, y - 2);
    cairo_stroke(cr);
}

void draw_controls(cairo_t* cr, const View& v, const Layout& l)
{
    draw_panel(cr, l.controls);
    for (int g = 0; g < 4; ++g) {
        const Rect& r = l.group[g];
        set_colour(cr, palette::caption);
        draw_text(cr, kGroupCaptions[g], r.cx(), r.y + 14, 9, Align::centre, true);
        if (g > 0) {
            set_colour(cr, palette::panel_edge);
            hairline(cr, l.scale, r.x - 7, r.y + 10, r.x - 7, r.y + r.h - 10);
        }
    }
    for (int i = 0; i < kDialCount; ++i) draw_dial(cr, v, l, i);
    draw_shape(cr, v, l);
}

void draw_picker(cairo_t* cr, const View& v, const Layout& l)
{
    cairo_rectangle(cr, 0, 0, l.width, l.height);
    set_colour(cr, palette::window, 0.6);
    cairo_fill(cr);
    const Rect& p = l.picker;
    draw_panel(cr, p, palette::grid_strong);
    set_colour(cr, palette::text);
    const double w = draw_text(cr, "Response type", p.x + 12, p.y + 19, 12, Align::left, true);
    set_colour(cr, palette::text_dim);
    draw_text(cr, "filtered signal at the present resonance, cutoff 1 kHz; click one to choose", p.x + 22 + w,
              p.y + 19, 10, Align::left);
    const int current = int(v.value[PORT_TYPE]);
    for (int i = 0; i < kOfferedTypes; ++i) {
        const Rect& c = l.picker_cell[i];
        const bool on = i == current, pressed = v.grab == Grab::picker && v.picker_pressed == i;
        const bool hovered = v.picker_hover == i;
        if (on || pressed || hovered) {
            rounded_rect(cr, c, 4);
            set_colour(cr, palette::curve, (on ? 0.18 : pressed ? 0.09 : 0.0) + (hovered ? 0.07 : 0.0));
            cairo_fill(cr);
        }
        const Rect icon{c.x + 6, c.y + 3, 38, c.h - 6};
        cairo_rectangle(cr, icon.x - 1, icon.y, icon.w + 2, icon.h);
        set_colour(cr, palette::plot);
        cairo_fill(cr);
        draw_mini_curve(cr, v, i, icon, on ? palette::curve : palette::text_dim);
        char label[48];
        type_label(i, label, sizeof label);
        set_colour(cr, on || hovered ? palette::text : rgb(0xaeb7c2));
        draw_fitted(cr, label, icon.x + icon.w + 8, c.cy() + 4, c.x + c.w - (icon.x + icon.w + 12), on);
    }
}

} // namespace zt
