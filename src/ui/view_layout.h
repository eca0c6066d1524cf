#pragma once
// Where everything sits, in logical pixels (device pixels / the layout's
// scale). The layout is a pure function of the window's size and scale, so
// drawing and hit-testing read the same rectangles.
#include <cmath>

#include "view.h"
#include "../core/port_table.h"
#include "../support/palette.h"

namespace zt {

struct Rect {
    double x, y, w, h;
    bool contains(double px, double py) const { return px >= x && px < x + w && py >= y && py < y + h; }
    double cx() const { return x + w * 0.5; }
    double cy() const { return y + h * 0.5; }
};

// The controls drawn as dials, left to right, and the groups they sit in.
constexpr uint32_t kDialPorts[] = {PORT_RATE, PORT_GLIDE_DOWN, PORT_GLIDE_UP, PORT_CENTER,
                                   PORT_OCTAVES, PORT_RESONANCE, PORT_MIX};
constexpr int kDialCount = 7;
// The shape choice offers four values: 3 draws exactly as 2 does, so it is
// shown as 2 with a note rather than as a choice of its own.
constexpr int kShapeChoices = 4;
constexpr float kShapeChoiceValue[kShapeChoices] = {0, 1, 2, 4};
constexpr int kPickerColumns = 3;

// The window's own size, logical, and the smallest it declares: the
// controls give up width down to it (the shape choice's labels first lose
// their notes in brackets, the dials' labels shrink a little), and every
// label still reads there. A host that gives less than that gets the
// smallest layout shrunk as a whole, so all of it stays in view.
constexpr double kNaturalWidth = 720.0;
constexpr double kNaturalHeight = 420.0;
constexpr double kMinWidth = 640.0;
constexpr double kMinHeight = 360.0;

struct Layout {
    double scale;           // device pixels per logical pixel: the view's, or less in a window below the minimum
    double width, height;   // logical: at least kMinWidth x kMinHeight
    Rect header;
    Rect type_button;
    Rect plot;               // the response's axes: 20 Hz...20 kHz, kTopDb...kBottomDb
    Rect graph;              // the plot's panel, labels included
    Rect controls;
    Rect group[4];           // modulation, band, filter, mix
    Rect dial[kDialCount];   // a dial's cell: name above, value below
    double dial_radius;
    Rect shape_box;
    Rect shape_row[kShapeChoices];
    Rect picker;             // the open type picker
    Rect picker_cell[kOfferedTypes];
};

Layout view_layout(const View& v);

// The layout's scale alone: the view's, shrunk in a window smaller than the
// minimum at the view's scale.
double layout_scale(const View& v);

// Dial centre of a cell.
inline double dial_cx(const Layout& l, int i) { return l.dial[i].cx(); }
inline double dial_cy(const Layout& l, int i) { return l.dial[i].y + 20.0 + l.dial_radius; }

// Plot coordinates, logical pixels: frequency as heard, level in dB.
inline double freq_to_x(const Layout& l, double hz)
{
    return l.plot.x + l.plot.w * std::log(hz / kLowHz) / std::log(kHighHz / kLowHz);
}

inline double x_to_freq(const Layout& l, double x)
{
    return kLowHz * std::pow(kHighHz / kLowHz, (x - l.plot.x) / l.plot.w);
}

inline double db_to_y(const Layout& l, double db)
{
    return l.plot.y + l.plot.h * (kTopDb - db) / (kTopDb - kBottomDb);
}

// Frequencies as heard: the engine runs at 48 kHz whatever the session's
// rate, so a control's frequency sounds at value * rate / 48000.
double heard_factor(const View& v);

// The dial's index for a port, or -1.
int dial_index(uint32_t port);

} // namespace zt

