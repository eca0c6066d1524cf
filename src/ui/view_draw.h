#pragma once
// What the drawing files share: the palette, text and shape helpers.
#include <cairo.h>

#include "view_layout.h"
#include "../support/palette.h"

namespace zt {

struct Colour {
    double r, g, b;
};

constexpr Colour rgb(unsigned hex)
{
    return {((hex >> 16) & 255) / 255.0, ((hex >> 8) & 255) / 255.0, (hex & 255) / 255.0};
}

// One palette for the window, its values shared with the mixer strip's
// picture (support/palette.h). The curve's cyan is the only colour with
// much blue and little red, which the offscreen test relies on to find it.
namespace palette {
constexpr Colour window = rgb(palette_hex::window);
constexpr Colour panel = rgb(palette_hex::panel);
constexpr Colour panel_edge = rgb(palette_hex::panel_edge);
constexpr Colour plot = rgb(palette_hex::plot);
constexpr Colour grid = rgb(palette_hex::grid);
constexpr Colour grid_strong = rgb(palette_hex::grid_strong);
constexpr Colour text = rgb(palette_hex::text);
constexpr Colour text_dim = rgb(palette_hex::text_dim);
constexpr Colour caption = rgb(palette_hex::caption);
constexpr Colour curve = rgb(palette_hex::curve);
constexpr Colour band = rgb(palette_hex::band);
constexpr Colour cutoff = rgb(palette_hex::cutoff);
constexpr Colour track = rgb(palette_hex::track);
constexpr Colour knob_top = rgb(palette_hex::knob_top);
constexpr Colour knob_bottom = rgb(palette_hex::knob_bottom);
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
