#pragma once
// The window as a plain record: the nine control values, the host's rate,
// the live cutoff, the size and scale, and what the pointer is doing. The
// picture is drawn from this record alone into any cairo context, and input
// arrives as plain pointer calls, so nothing here knows of X11 or LV2 and a
// test can render the window into an image surface.
//
// Threading: every call belongs to the host's UI thread.
#include <cairo.h>
#include <cstdint>

#include "../engine/filter_engine.h"
#include "../core/plugin.h"

namespace zt {

// What the pointer is holding.
enum class Grab : int8_t {
    none,
    dial,        // a rotary control under vertical drag
    shape,       // the shape choice (a press picks, a drag slides along it)
    type_button, // pressed on the type button; release opens the picker
    picker,      // pressed inside the open picker
};

// The most device pixels the view is laid out and drawn at, each way: a
// bigger window shows it at this size in its top-left corner. The picture
// is held in memory once or twice, so this bounds what any window, however
// big, costs in memory and in time.
constexpr int kViewMaxSide = 4096;

struct View {
    float value[PORT_COUNT];   // port values as drawn: finite and inside their range
    double scale = 1.0;        // device pixels per logical pixel
    int width = 720;           // device pixels
    int height = 420;
    double session_rate = 0.0; // host's rate; 0 when unknown
    float cutoff_hz = 0.0f;    // live cutoff at the engine's rate; NaN when not live
    // The window's own engine, fed through the engine's setters with the
    // values above: the curve is computed from its state.
    FilterEngine engine;
    bool picker_open = false;  // the type picker covers the window
    Grab grab = Grab::none;
    int32_t grab_port = -1;    // the port the grab edits
    double grab_y = 0.0;       // pointer height where the drag last moved the value
    double grab_pos = 0.0;     // the grabbed dial's position 0...1, unquantised
    int32_t picker_pressed = -1; // picker cell under the press
    int32_t picker_hover = -1;   // picker cell under the pointer, drawn highlighted
    bool dirty = true;
    bool dirty_outside_plot = true; // false while only the live cutoff moved
};

void view_init(View& v);                                   // every control at its default, scale 1, 720x420, cutoff not live
void view_set_scale(View& v, double scale);                // logical -> device pixel factor
void view_resize(View& v, int width_px, int height_px);    // device pixels, at most kViewMaxSide each way
void view_set_control(View& v, uint32_t port, float value); // from port_event; NaN/inf/out-of-range drawn as the nearest sensible value
void view_set_session_rate(View& v, double rate);          // host rate; 0 = unknown (then no frequency note)
// The live cutoff read from the instance; NaN = not live. A move that would
// change nothing on screen (less than half a device pixel, the same label)
// is left out: cutoff_hz keeps the value drawn, and no redraw is asked for.
void view_set_cutoff(View& v, float hz);
void view_draw(const View& v, cairo_t* cr);                // the whole window, in device pixels
bool view_take_dirty(View& v);                             // true once after any change that alters the picture

struct ControlEdit {              // what the host must be told after an input event
    int32_t port = -1;            // -1: nothing to write
    float value = 0.0f;           // the port value to write_function
    bool write = true;            // false: the gesture only ends (a drag cut short), nothing is written
    bool gesture_begin = false;   // ui:touch(port, true) before the write
    bool gesture_end = false;     // ui:touch(port, false) after the write (a click/scroll/double-click may set all three)
};

ControlEdit view_press(View& v, double x, double y, bool shift, bool double_click); // left button, device pixels
ControlEdit view_drag(View& v, double x, double y, bool shift);                     // pointer motion with the button held
ControlEdit view_release(View& v, double x, double y);
// The pointer's hold ends without a release the window saw: the button came
// up where the window could not see it (hidden, grabbed away, unfocused), a
// second press came first, or the window is going away. An open gesture
// ends with nothing written, and a pressed button or picker cell is let go
// without acting. Every gesture view_press begins ends exactly once, through
// view_release or this; calling it with nothing held returns no edit.
ControlEdit view_cancel(View& v);
ControlEdit view_scroll(View& v, double x, double y, int steps, bool shift);         // steps > 0: wheel up
void view_size_hint(const View& v, int* width_px, int* height_px);                  // preferred size at the present scale
void view_min_size(const View& v, int* width_px, int* height_px);                   // smallest size whose labels all read
// The pointer moved with no button held (x < 0: it left the window). Marks
// the view dirty only when the picker cell under it changes.
void view_hover(View& v, double x_px, double y_px);

// Like view_take_dirty, and also the part of the window, in device pixels,
// that needs drawing again: only the plot while nothing but the live cutoff
// moved, otherwise the whole window. A host that clips to it before
// view_draw saves most of the work of following a moving cutoff.
bool view_take_damage(View& v, int* x, int* y, int* width, int* height);

// The plot's rectangle in device pixels (the damage while only the cutoff moves).
void view_plot_rect(const View& v, int* x, int* y, int* width, int* height);

// The plot in two layers, each drawn exactly as view_draw draws it: the
// ground, grid and band, which stay put while only the cutoff moves, and
// the curve, the cutoff and the notes above them. A host that keeps the
// first as a picture draws only the second for a damage of the plot alone.
void view_draw_plot_base(const View& v, cairo_t* cr);
// Everything the lower layer is drawn from: while it stays the same, a kept
// copy of the layer still holds.
struct PlotBaseInputs {
    double scale;
    int width, height;
    double session_rate;
    float freq_low, freq_high, center;
    bool operator==(const PlotBaseInputs&) const = default;
};
PlotBaseInputs view_plot_base_inputs(const View& v);
void view_draw_plot_live(const View& v, cairo_t* cr);

// Where a control sits (its dial's centre, the shape choice's selected
// segment, the type button), in device pixels; false for a port with no control.
bool view_control_centre(const View& v, uint32_t port, double* x, double* y);

} // namespace zt
