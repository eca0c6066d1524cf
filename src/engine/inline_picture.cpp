#include "inline_picture.h"

#include <cmath>
#include <initializer_list>

#include "response_curve.h"
#include "../support/palette.h"

namespace zt {

namespace {

// Opacities, a little stronger than the window's: a strip's picture is seen
// small and from afar.
constexpr float kBandFill = 0.16f;
constexpr float kBandEdge = 0.45f;
constexpr float kCurveFill = 0.14f;
constexpr float kRingingCurve = 0.45f;  // a loop that rings on: no steady curve, only its outline
constexpr float kCutoffLine = 0.9f;

struct Rgb {
    float r, g, b;
};

constexpr Rgb rgb(uint32_t hex)
{
    return {float((hex >> 16) & 255) / 255.0f, float((hex >> 8) & 255) / 255.0f, float(hex & 255) / 255.0f};
}

void blend(Rgb& d, const Rgb& s, float a)
{
    d.r += (s.r - d.r) * a;
    d.g += (s.g - d.g) * a;
    d.b += (s.b - d.b) * a;
}

// Opaque, so premultiplied and straight alpha read the same.
uint32_t pack(const Rgb& c)
{
    auto byte = [](float v) { return static_cast<uint32_t>(v * 255.0f + 0.5f); };
    return 0xFF000000u | byte(c.r) << 16 | byte(c.g) << 8 | byte(c.b);
}

// How much of the pixel row [row, row + 1] (or column) the span [a, b] covers.
float cover(double a, double b, int row)
{
    const double lo = a > row ? a : row, hi = b < row + 1.0 ? b : row + 1.0;
    return hi > lo ? static_cast<float>(hi - lo) : 0.0f;
}

// The engine state the closed form reads, at the cutoff drawn.
FilterEngine engine_for(const PictureState& s, float cutoff_hz)
{
    FilterEngine e;
    e.cutoff_hz = cutoff_hz;
    e.dry_gain = s.dry_gain;
    e.wet_gain = s.wet_gain;
    e.feedback_gain = s.feedback_gain;
    e.feedback_factor = s.feedback_factor;
    e.input_comp = s.input_comp;
    for (int k = 0; k < 5; ++k) e.mix_coef[k] = s.mix_coef[k];
    update_coefficients(e);
    return e;
}

struct Plot {
    const FilterEngine& engine;
    double heard;
    int width, height;

    // The curve's row position at pixel position x; NaN above the half
    // rate heard, where a slower session hears nothing.
    double curve_y(double x) const
    {
        const double hz = picture_x_to_hz(x, width);
        if (hz >= 0.5 * kEngineRate * heard) return NAN;
        const double db = response_level_db(engine, hz / heard);
        return picture_db_to_y(std::fmin(std::fmax(db, kBottomDb - 10.0), kTopDb + 10.0), height);
    }
};

// The column under pixel position x; -1 or width when off the picture
// (hostile controls can put the band's top at infinity).
int column_of(double x, int width)
{
    if (!(x >= 0.0)) return -1;
    return x < width ? static_cast<int>(x) : width;
}

// 0: none, 1: a gridline, 2: a strong one (a decade, 0 dB), for a column
// or row: the window's grid at the decades and every 12 dB, or every 24 dB
// where rows 12 dB apart would crowd a picture a strip's width high.
void mark_grid(uint8_t* rows, int height, uint8_t* columns, int width)
{
    for (int r = 0; r < height; ++r) rows[r] = 0;
    for (int c = 0; c < width; ++c) columns[c] = 0;
    const double step = height < 100 ? 24.0 : 12.0;
    for (double db = kTopDb - step; db > kBottomDb; db -= step) {
        const int r = static_cast<int>(picture_db_to_y(db, height));
        if (r >= 0 && r < height) rows[r] = db == 0.0 ? 2 : 1;
    }
    for (double hz = 100.0; hz < kHighHz; hz *= 10.0) {
        const int c = column_of(picture_hz_to_x(hz, width), width);
        if (c >= 0 && c < width) columns[c] = 2;
    }
}

} // namespace

void picture_size(uint32_t w, uint32_t max_h, int* width, int* height)
{
    const uint32_t cw = w < 1 ? 1 : w > kPictureMaxWidth ? kPictureMaxWidth : w;
    uint32_t h = cw * 9 / 16;
    if (h > max_h) h = max_h;
    if (h > kPictureMaxHeight) h = kPictureMaxHeight;
    *width = static_cast<int>(cw);
    *height = h < 1 ? 1 : static_cast<int>(h);
}

double picture_x_to_hz(double x, int width) { return kLowHz * std::pow(kHighHz / kLowHz, x / width); }

double picture_hz_to_x(double hz, int width) { return width * std::log(hz / kLowHz) / std::log(kHighHz / kLowHz); }

double picture_db_to_y(double db, int height) { return height * (kTopDb - db) / (kTopDb - kBottomDb); }

void draw_picture(const PictureState& s, double heard, uint32_t* pixels, int width, int height, int stride_words)
{
    constexpr Rgb ground = rgb(palette_hex::plot), grid = rgb(palette_hex::grid);
    constexpr Rgb grid_strong = rgb(palette_hex::grid_strong), band = rgb(palette_hex::band);
    constexpr Rgb curve = rgb(palette_hex::curve), cutoff = rgb(palette_hex::cutoff);
    if (!(heard > 0.0 && std::isfinite(heard))) heard = 1.0;
    // Before the first run there is no live cutoff: the curve stands at the
    // band's centre, as the window draws it then.
    const bool live = std::isfinite(s.cutoff_hz) && s.cutoff_hz > 0.0f;
    const float at_hz = live ? s.cutoff_hz : std::sqrt(s.freq_low * s.freq_high);
    const FilterEngine e = engine_for(s, at_hz);
    const Plot plot{e, heard, width, height};
    const bool ringing = response_pole_radius(e) >= 1.0;

    uint8_t grid_row[kPictureMaxHeight], grid_column[kPictureMaxWidth];
    mark_grid(grid_row, height, grid_column, width);
    const double band_x0 = picture_hz_to_x(s.freq_low * heard, width);
    const double band_x1 = picture_hz_to_x(s.freq_high * heard, width);
    const double cut_x = picture_hz_to_x(at_hz * heard, width);
    const int band_c0 = column_of(band_x0, width), band_c1 = column_of(band_x1, width);
    const int cut_c = column_of(cut_x, width);
    // The curve's stroke grows a little with the picture.
    const double half_stroke = 0.5 * std::fmin(1.25 + height / 112.0, 3.5);

    double y_left = plot.curve_y(0.0);
    for (int c = 0; c < width; ++c) {
        const double y_mid = plot.curve_y(c + 0.5), y_right = plot.curve_y(c + 1.0);
        // Where the curve runs steep, its stroke in this column spans
        // everything between its heights at the column's two edges.
        const bool has_curve = !std::isnan(y_mid);
        double top = 0.0, bottom = 0.0;
        if (has_curve) {
            top = bottom = y_mid;
            for (double y : {y_left, y_right})
                if (!std::isnan(y)) top = std::fmin(top, y), bottom = std::fmax(bottom, y);
            top -= half_stroke, bottom += half_stroke;
        }
        y_left = y_right;
        float band_alpha = kBandFill * cover(band_x0, band_x1, c);
        if (c == band_c0 || c == band_c1) band_alpha = kBandEdge;
        // A whole column, as the window's hairlines sit on the pixel grid.
        const float cut_alpha = live && c == cut_c ? kCutoffLine : 0.0f;
        auto shade = [&](uint8_t g, float fill, float stroke) {
            Rgb p = g == 2 ? grid_strong : g == 1 ? grid : ground;
            blend(p, band, band_alpha);
            if (!ringing) blend(p, curve, kCurveFill * fill);
            blend(p, curve, (ringing ? kRingingCurve : 1.0f) * stroke);
            blend(p, cutoff, cut_alpha);
            return pack(p);
        };
        // Only the rows the stroke touches are worked out pixel by pixel;
        // the others take one of six colours: gridline or not, above the
        // curve or filled beneath it.
        int first = height, last = height;  // rows [first, last) under the stroke
        if (has_curve) {
            first = static_cast<int>(std::floor(top < 0.0 ? 0.0 : top));
            last = static_cast<int>(std::ceil(bottom)) + 1;
            if (first > height) first = height;
            if (last > height) last = height;
        }
        uint32_t above[3], below[3];
        for (uint8_t g = 0; g < 3; ++g) above[g] = shade(g, 0.0f, 0.0f), below[g] = shade(g, 1.0f, 0.0f);
        uint32_t* px = pixels + c;
        for (int r = 0; r < height; ++r, px += stride_words) {
            const uint8_t g = grid_row[r] > grid_column[c] ? grid_row[r] : grid_column[c];
            if (r < first) *px = above[g];
            else if (r >= last) *px = below[g];
            else *px = shade(g, cover(y_mid, height, r), cover(top, bottom, r));
        }
    }

    // A dot where the cutoff meets the curve, ringed in the ground's colour.
    if (!live) return;
    const double db = response_level_db(e, at_hz);
    const double dot_y = picture_db_to_y(std::fmin(std::fmax(db, kBottomDb), kTopDb), height);
    const double radius = 1.0 + 1.2 * half_stroke;
    const int x0 = static_cast<int>(std::floor(cut_x - radius - 2)), x1 = static_cast<int>(std::ceil(cut_x + radius + 2));
    const int y0 = static_cast<int>(std::floor(dot_y - radius - 2)), y1 = static_cast<int>(std::ceil(dot_y + radius + 2));
    for (int r = y0 < 0 ? 0 : y0; r < height && r <= y1; ++r)
        for (int c = x0 < 0 ? 0 : x0; c < width && c <= x1; ++c) {
            const double d = std::hypot(c + 0.5 - cut_x, r + 0.5 - dot_y);
            const float ring = static_cast<float>(std::fmin(std::fmax(radius + 1.5 - d, 0.0), 1.0));
            if (ring == 0.0f) continue;
            const float disc = static_cast<float>(std::fmin(std::fmax(radius + 0.5 - d, 0.0), 1.0));
            uint32_t& px = pixels[r * stride_words + c];
            Rgb p = {float((px >> 16) & 255) / 255.0f, float((px >> 8) & 255) / 255.0f, float(px & 255) / 255.0f};
            blend(p, ground, ring);
            blend(p, cutoff, disc);
            px = pack(p);
        }
}

} // namespace zt
