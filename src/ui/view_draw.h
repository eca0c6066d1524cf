#pragma once
// What the drawing files share: the palette, text and shape helpers.
#include <cairo.h>

#include "view_layout.h"

namespace zt {

struct Colour {
    double r, g, b;
};

constexpr Colour rgb(unsigned hex)
{
    return {((hex >> 16) & 255) / 255.0, ((hex >> 8) & 255) / 255.0, (hex & 255) / 255.0};
}

// One palette for the window. The curve's cyan is the only colour with
// much blue and little red, which the offscreen test relies on to find it.
namespace palette {
constexpr Colour window = rgb(0x101317);
constexpr Colour panel = rgb(0x181c22);
constexpr Colour panel_edge = rgb(0x272d36);
constexpr Colour plot = rgb(0x0c0f13);
constexpr Colour grid = rgb(0x222831);
constexpr Colour grid_strong = rgb(0x38414d);
constexpr Colour text = rgb(0xd5dce4);
constexpr Colour text_dim = rgb(0x7f8a97);
constexpr Colour caption = rgb(0x66717e);
constexpr Colour curve = rgb(0x5fd4ff);
constexpr Colour band = rgb(0xffb040);
constexpr Colour cutoff = rgb(0xff5c86);
constexpr Colour track = rgb(0x2a3039);
constexpr Colour knob_top = rgb(0x3a414b);
constexpr Colour knob_bottom = rgb(0x20252c);
} // namespace palette

enum class Align { left, centre, right };

void set_colour(cairo_t* cr, Colour c, double alpha = 1.0);
void rounded_rect(cairo_t* cr, const Rect& r, double radius);
void draw_panel(cairo_t* cr, const Rect& r, Colour edge = palette::panel_edge);  // a rounded panel with its edge
// Text with its baseline at y; returns its width.
double draw_text(cairo_t* cr, const char* s, double x, double y, double size, Align align, bool bold = false);
double text_width(cairo_t* cr, const char* s, double size, bool bold = false);
// A one-device-pixel line, placed on the pixel grid so it stays sharp at any scale.
void hairline(cairo_t* cr, double scale, double x0, double y0, double x1, double y1);

// A small picture of response type `row` at the present resonance, filtered
// signal only, its cutoff in the middle of the audible range.
void draw_mini_curve(cairo_t* cr, const View& v, int row, const Rect& r, Colour c);

void draw_controls(cairo_t* cr, const View& v, const Layout& l);
void draw_type_button(cairo_t* cr, const View& v, const Layout& l);
void draw_picker(cairo_t* cr, const View& v, const Layout& l);

} // namespace zt
