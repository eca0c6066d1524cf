// The window's picture: header, response plot and controls, drawn from the
// view record alone.
#include "view_draw.h"

#include <cmath>
#include <cstdio>
#include <initializer_list>

#include "view_values.h"
#include "../engine/response_curve.h"
#include "../core/port_table.h"

namespace zt {

void set_colour(cairo_t* cr, Colour c, double alpha) { cairo_set_source_rgba(cr, c.r, c.g, c.b, alpha); }

void rounded_rect(cairo_t* cr, const Rect& r, double radius)
{
    constexpr double kQuarter = M_PI / 2;
    cairo_new_sub_path(cr);
    cairo_arc(cr, r.x + r.w - radius, r.y + radius, radius, -kQuarter, 0);
    cairo_arc(cr, r.x + r.w - radius, r.y + r.h - radius, radius, 0, kQuarter);
    cairo_arc(cr, r.x + radius, r.y + r.h - radius, radius, kQuarter, 2 * kQuarter);
    cairo_arc(cr, r.x + radius, r.y + radius, radius, 2 * kQuarter, 3 * kQuarter);
    cairo_close_path(cr);
}

namespace {

void select_font(cairo_t* cr, double size, bool bold)
{
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL,
                           bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, size);
}

} // namespace

double text_width(cairo_t* cr, const char* s, double size, bool bold)
{
    select_font(cr, size, bold);
    cairo_text_extents_t ext;
    cairo_text_extents(cr, s, &ext);
    return ext.x_advance;
}

double draw_text(cairo_t* cr, const char* s, double x, double y, double size, Align align, bool bold)
{
    const double w = text_width(cr, s, size, bold);
    if (align == Align::centre) x -= w * 0.5;
    if (align == Align::right) x -= w;
    cairo_move_to(cr, x, y);
    cairo_show_text(cr, s);
    return w;
}

void draw_panel(cairo_t* cr, const Rect& r, Colour edge)
{
    rounded_rect(cr, r, 6);
    set_colour(cr, palette::panel);
    cairo_fill_preserve(cr);
    set_colour(cr, edge);
    cairo_set_line_width(cr, 1.0);
    cairo_stroke(cr);
}

void hairline(cairo_t* cr, double scale, double x0, double y0, double x1, double y1)
{
    auto snap = [scale](double v) { return (std::floor(v * scale) + 0.5) / scale; };
    if (x0 == x1) x0 = x1 = snap(x0);
    if (y0 == y1) y0 = y1 = snap(y0);
    cairo_set_line_width(cr, 1.0 / scale);
    cairo_move_to(cr, x0, y0);
    cairo_line_to(cr, x1, y1);
    cairo_stroke(cr);
}

namespace {

// Gridlines at 1, 2 and 5 of each decade; labels where they do not crowd.
void draw_grid(cairo_t* cr, const Layout& l)
{
    const Rect& p = l.plot;
    for (double decade = 10.0; decade <= 10000.0; decade *= 10.0)
        for (double m : {1.0, 2.0, 5.0}) {
            const double f = decade * m;
            if (f <= kLowHz || f >= kHighHz) continue;
            set_colour(cr, m == 1.0 ? palette::grid_strong : palette::grid);
            hairline(cr, l.scale, freq_to_x(l, f), p.y, freq_to_x(l, f), p.y + p.h);
        }
    for (double db = kTopDb; db >= kBottomDb; db -= 12.0) {
        set_colour(cr, db == 0.0 ? palette::grid_strong : palette::grid);
        hairline(cr, l.scale, p.x, db_to_y(l, db), p.x + p.w, db_to_y(l, db));
    }
}

void draw_axis_labels(cairo_t* cr, const Layout& l)
{
    const Rect& p = l.plot;
    set_colour(cr, palette::text_dim);
    const double freqs[] = {20, 50, 100, 200, 500, 1000, 2000, 5000, 10000, 20000};
    const char* names[] = {"20", "50", "100", "200", "500", "1k", "2k", "5k", "10k", "20k"};
    for (int i = 0; i < 10; ++i) {
        const Align a = i == 0 ? Align::left : i == 9 ? Align::right : Align::centre;
        draw_text(cr, names[i], freq_to_x(l, freqs[i]), p.y + p.h + 14, 10, a);
    }
    char s[16];
    for (double db = kTopDb; db >= kBottomDb; db -= 12.0) {
        std::snprintf(s, sizeof s, db > 0 ? "+%.0f" : "%.0f", db);
        draw_text(cr, s, p.x - 6, db_to_y(l, db) + 3.5, 10, Align::right);
    }
    draw_text(cr, "dB", p.x - 6, p.y + p.h + 14, 10, Align::right);
}

// The band from its bottom to its top, at the frequencies heard.
void draw_band(cairo_t* cr, const View& v, const Layout& l)
{
    const double k = heard_factor(v);
    const Rect& p = l.plot;
    const double x0 = freq_to_x(l, v.engine.freq_low * k), x1 = freq_to_x(l, v.engine.freq_high * k);
    cairo_rectangle(cr, x0, p.y, x1 - x0, p.h);
    set_colour(cr, palette::band, 0.11);
    cairo_fill(cr);
    set_colour(cr, palette::band, 0.45);
    hairline(cr, l.scale, x0, p.y, x0, p.y + p.h);
    hairline(cr, l.scale, x1, p.y, x1, p.y + p.h);
    // The centre: a dashed line and a marker on the top edge.
    const double xc = freq_to_x(l, v.value[PORT_CENTER] * k);
    const double dash[] = {4.0, 3.0};
    cairo_set_dash(cr, dash, 2, 0);
    set_colour(cr, palette::band, 0.8);
    hairline(cr, l.scale, xc, p.y, xc, p.y + p.h);
    cairo_set_dash(cr, nullptr, 0, 0);
    cairo_move_to(cr, xc - 5, p.y);
    cairo_line_to(cr, xc + 5, p.y);
    cairo_line_to(cr, xc, p.y + 6);
    cairo_close_path(cr);
    cairo_fill(cr);
}

// Leaves out the points of a polyline that lie within `tolerance` of the
// segment drawn through them: the curve is worked out at every device
// column, but where it runs straight (most of it) one segment draws many
// columns, and filling and stroking cost by the segment. Keeps, from the
// last point drawn, the range of slopes that pass every point since within
// the tolerance; a point outside that range ends the segment before it.
struct PolylineThinner {
    double tolerance;
    bool started = false;
    double ax = 0, ay = 0;          // the last point drawn
    double lx = 0, ly = 0;          // the last point seen
    bool pending = false;           // (lx, ly) not drawn yet
    double lo = -HUGE_VAL, hi = HUGE_VAL;

    void add(cairo_t* cr, double x, double y)
    {
        if (!started) {
            cairo_line_to(cr, x, y);
            started = true;
            ax = x, ay = y;
            return;
        }
        const double dx = x - ax;
        const double slope = (y - ay) / dx;
        if (pending && (slope < lo || slope > hi)) {
            cairo_line_to(cr, lx, ly);
            ax = lx, ay = ly;
            lo = -HUGE_VAL, hi = HUGE_VAL;
            return add(cr, x, y);
        }
        lo = std::fmax(lo, (y - tolerance - ay) / (x - ax));
        hi = std::fmin(hi, (y + tolerance - ay) / (x - ax));
        lx = x, ly = y;
        pending = true;
    }

    void finish(cairo_t* cr)
    {
        if (pending) cairo_line_to(cr, lx, ly);
    }
};

// The response, one point per device column: the level of what is heard
// at that column's frequency, from the engine's state.
// When the loop rings on its own the formula describes no steady level:
// the curve is then only a faint dashed outline.
void draw_curve(cairo_t* cr, const View& v, const Layout& l, bool ringing)
{
    const Rect& p = l.plot;
    const double k = heard_factor(v);
    const int columns = int(std::ceil(p.w * l.scale));
    // A session below 40 kHz hears nothing above its own half rate.
    const double nyquist_heard = 0.5 * kEngineRate * k;
    cairo_new_path(cr);
    PolylineThinner thin{0.1 / l.scale};
    double last_x = p.x;
    for (int c = 0; c <= columns; ++c) {
        const double x = p.x + c / l.scale;
        const double heard = x_to_freq(l, x);
        if (heard >= nyquist_heard) break;
        double db = response_level_db(v.engine, heard / k);
        db = std::fmin(std::fmax(db, kBottomDb - 10.0), kTopDb + 10.0);
        thin.add(cr, x, db_to_y(l, db));
        last_x = x;
    }
    thin.finish(cr);
    if (ringing) {
        const double dash[] = {3.0, 4.0};
        cairo_set_dash(cr, dash, 2, 0);
        set_colour(cr, palette::curve, 0.45);
        cairo_set_line_width(cr, 1.5);
        cairo_stroke(cr);
        cairo_set_dash(cr, nullptr, 0, 0);
        return;
    }
    cairo_path_t* path = cairo_copy_path(cr);
    // A faint fill beneath. Plain rather than fading: a gradient is worked
    // out pixel by pixel, and this layer is drawn at every move of the cutoff.
    cairo_line_to(cr, last_x, p.y + p.h);
    cairo_line_to(cr, p.x, p.y + p.h);
    cairo_close_path(cr);
    set_colour(cr, palette::curve, 0.07);
    cairo_fill(cr);
    cairo_new_path(cr);
    cairo_append_path(cr, path);
    cairo_path_destroy(path);
    set_colour(cr, palette::curve);
    cairo_set_line_width(cr, 2.0);
    // Round joins: where a segment stands for many columns its neighbour may
    // turn by several degrees, and a bevel would show as a flat corner.
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_stroke(cr);
}

void draw_live_cutoff(cairo_t* cr, const View& v, const Layout& l)
{
    if (std::isnan(v.cutoff_hz)) return;
    const Rect& p = l.plot;
    const double heard = v.cutoff_hz * heard_factor(v);
    const double x = freq_to_x(l, heard);
    set_colour(cr, palette::cutoff, 0.9);
    hairline(cr, l.scale, x, p.y, x, p.y + p.h);
    const double db = std::fmin(std::fmax(response_level_db(v.engine, v.cutoff_hz), kBottomDb), kTopDb);
    cairo_new_path(cr);
    cairo_arc(cr, x, db_to_y(l, db), 4.0, 0, 2 * M_PI);
    set_colour(cr, palette::cutoff);
    cairo_fill_preserve(cr);
    set_colour(cr, palette::plot);
    cairo_set_line_width(cr, 1.5);
    cairo_stroke(cr);
    char s[24];
    format_hz(heard, s, sizeof s);
    // Beside the line, on the side with room; a cutoff heard beyond the
    // plot (a fast session) keeps its label at the edge.
    const double lx = std::fmin(std::fmax(x, p.x), p.x + p.w);
    const bool left = lx > p.x + p.w - 70;
    set_colour(cr, palette::cutoff);
    draw_text(cr, s, left ? lx - 6 : lx + 6, p.y + p.h - 8, 11, left ? Align::right : Align::left, true);
}

// What the plot cannot show by itself: the session's rate and whether the
// cutoff is live.
void draw_notes(cairo_t* cr, const View& v, const Layout& l, bool ringing)
{
    char lines[3][96];
    int n = 0;
    if (v.session_rate > 0.0 && v.session_rate != kEngineRate) {
        const double change = std::fabs(v.session_rate / kEngineRate - 1.0) * 100.0;
        std::snprintf(lines[n++], sizeof lines[0],
                      change < 9.95 ? "%.4g kHz session: frequencies sound %.1f %% %s than the controls read"
                                    : "%.4g kHz session: frequencies sound %.0f %% %s than the controls read",
                      v.session_rate / 1000.0, change, v.session_rate < kEngineRate ? "lower" : "higher");
    }
    if (std::isnan(v.cutoff_hz))
        std::snprintf(lines[n++], sizeof lines[0], "Cutoff not live: the curve is drawn at the centre");
    if (ringing)
        std::snprintf(lines[n++], sizeof lines[0], "At this cutoff the filter rings on its own, held by its clamps: no steady curve");
    // While a dial is held, what it does, in the table's words.
    const char* comment = v.grab == Grab::dial ? kPorts[v.grab_port].comment : nullptr;
    for (int i = 0; i < n + (comment ? 1 : 0); ++i) {
        const char* text = i < n ? lines[i] : comment;
        const double y = l.plot.y + 22 + i * 16;  // below the centre's marker
        double size = 11;
        while (size > 8.5 && text_width(cr, text, size) > l.plot.w - 20) size -= 0.5;
        const double w = text_width(cr, text, size);
        set_colour(cr, palette::plot, 0.8);
        cairo_rectangle(cr, l.plot.x + 4, y - 12, w + 12, 16);
        cairo_fill(cr);
        set_colour(cr, i < n ? palette::text : palette::curve);
        draw_text(cr, text, l.plot.x + 10, y, size, Align::left);
    }
}

// What stays put while the cutoff moves: the plot's ground, grid and band.
void draw_plot_base(cairo_t* cr, const View& v, const Layout& l)
{
    const Rect& p = l.plot;
    cairo_save(cr);
    cairo_rectangle(cr, p.x, p.y, p.w, p.h);
    cairo_clip(cr);
    set_colour(cr, palette::plot);
    cairo_paint(cr);
    draw_grid(cr, l);
    draw_band(cr, v, l);
    cairo_restore(cr);
}

// What follows the cutoff: the curve at it, its line, and the notes above.
void draw_plot_live(cairo_t* cr, const View& v, const Layout& l)
{
    const Rect& p = l.plot;
    const bool ringing = response_pole_radius(v.engine) >= 1.0;
    cairo_save(cr);
    cairo_rectangle(cr, p.x, p.y, p.w, p.h);
    cairo_clip(cr);
    draw_curve(cr, v, l, ringing);
    draw_live_cutoff(cr, v, l);
    draw_notes(cr, v, l, ringing);
    cairo_restore(cr);
}

void draw_graph(cairo_t* cr, const View& v, const Layout& l)
{
    draw_panel(cr, l.graph);
    draw_plot_base(cr, v, l);
    draw_plot_live(cr, v, l);
    draw_axis_labels(cr, l);
}

void draw_header(cairo_t* cr, const View& v, const Layout& l)
{
    set_colour(cr, palette::text);
    draw_text(cr, "zirpomatik", 16, 26, 16, Align::left, true);
    const double w = text_width(cr, "zirpomatik", 16, true);
    set_colour(cr, palette::curve);
    draw_text(cr, "tolm", 16 + w + 4, 26, 16, Align::left, false);
    draw_type_button(cr, v, l);
    // Whether the cutoff follows the running instance.
    const bool live = !std::isnan(v.cutoff_hz);
    const double x = l.width - 16;
    set_colour(cr, live ? palette::text : palette::text_dim);
    const double tw = draw_text(cr, live ? "cutoff live" : "cutoff not live", x, 25, 11, Align::right);
    cairo_new_path(cr);
    cairo_arc(cr, x - tw - 9, 21, 3.5, 0, 2 * M_PI);
    if (live) {
        set_colour(cr, palette::cutoff);
        cairo_fill(cr);
    } else {
        set_colour(cr, palette::text_dim);
        cairo_set_line_width(cr, 1.0);
        cairo_stroke(cr);
    }
}

} // namespace

namespace {

// Device pixels in, logical lengths drawn, antialiasing by scale.
void begin_drawing(const Layout& l, cairo_t* cr)
{
    cairo_save(cr);
    // From 2x up a pixel is too small to see the difference between the
    // coarse and the fine antialiasing, and the coarse one costs a third less.
    cairo_set_antialias(cr, l.scale >= 1.5 ? CAIRO_ANTIALIAS_FAST : CAIRO_ANTIALIAS_DEFAULT);
    cairo_scale(cr, l.scale, l.scale);
}

} // namespace

void view_draw(const View& v, cairo_t* cr)
{
    const Layout l = view_layout(v);
    begin_drawing(l, cr);
    cairo_rectangle(cr, 0, 0, l.width, l.height);
    set_colour(cr, palette::window);
    cairo_fill(cr);
    // Parts outside the host's clip (a redraw of the plot alone) or under
    // the open picker are not drawn at all.
    double x0, y0, x1, y1;
    cairo_clip_extents(cr, &x0, &y0, &x1, &y1);
    auto visible = [&](const Rect& r) { return r.x < x1 && r.x + r.w > x0 && r.y < y1 && r.y + r.h > y0; };
    if (visible(l.header)) draw_header(cr, v, l);
    if (!v.picker_open && visible(l.graph)) draw_graph(cr, v, l);
    if (!v.picker_open && visible(l.controls)) draw_controls(cr, v, l);
    if (v.picker_open) draw_picker(cr, v, l);
    cairo_restore(cr);
}

void view_draw_plot_base(const View& v, cairo_t* cr)
{
    if (v.picker_open) return;
    const Layout l = view_layout(v);
    begin_drawing(l, cr);
    draw_plot_base(cr, v, l);
    cairo_restore(cr);
}

PlotBaseInputs view_plot_base_inputs(const View& v)
{
    return {v.scale, v.width, v.height, v.session_rate, v.engine.freq_low, v.engine.freq_high, v.value[PORT_CENTER]};
}

void view_draw_plot_live(const View& v, cairo_t* cr)
{
    if (v.picker_open) return;
    const Layout l = view_layout(v);
    begin_drawing(l, cr);
    draw_plot_live(cr, v, l);
    cairo_restore(cr);
}

} // namespace zt
