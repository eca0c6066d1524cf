#pragma once
// The window as the X server sees it: a child of the host's window on a
// display connection of its own, whose events become view calls and whose
// picture is the view's. The one file that speaks Xlib; it knows nothing of
// LV2 (the caller passes the host's parent window and takes the edits).
// Everything runs in the caller's thread, in short calls that never wait
// for the server: events are read only while some are pending.
#include <X11/Xlib.h>
#include <cairo.h>

#include "view.h"

namespace zt {

struct X11Window {
    Display* display = nullptr;          // our own connection, closed with the window
    Window window = 0;
    // The picture is drawn here, in client memory, and put on the window
    // with XPutImage. cairo's own Xlib surfaces keep a record per
    // connection that outlives it when text was drawn or part of a picture
    // uploaded (a leak for every window opened), so they are used only on
    // a display whose pixels are not 24-bit RGB, which a buffer cannot be
    // put on directly.
    cairo_surface_t* buffer = nullptr;
    bool direct = false;                 // the buffer's pixels are the window's
    cairo_surface_t* surface = nullptr;  // otherwise: the window through cairo's Xlib surface
    // The plot's ground, grid and band as last drawn, at the plot's place in
    // the buffer: while only the cutoff moves, the curve goes on a copy of
    // it rather than on a plot drawn from nothing.
    cairo_surface_t* plot_base = nullptr;
    int plot_x = 0, plot_y = 0;          // where it sits in the window, device pixels
    int width = 0, height = 0;           // device pixels, as the server last said
    bool exposed = false;                // the server asked for pixels the view still has
    bool button_held = false;            // left button pressed inside the window
    Time last_press = 0;                 // server time of the last left press ...
    double last_x = 0.0, last_y = 0.0;   // ... and where it was, for double-clicks
    bool last_press_valid = false;       // a third click does not make a second double-click
};

// Where the edits of one batch of events go (the LV2 side writes them to the host).
using EditSink = void (*)(void* context, const ControlEdit& edit);

// Opens the display named by DISPLAY and creates the window, mapped, as a
// child of `parent` with the given size in device pixels. False (with
// nothing left open) when the display or the window cannot be had.
bool x11_open(X11Window& w, unsigned long parent, int width, int height);

// Xft.dpi / 96 from the server's resources (what desktop settings set for
// every application), or 0 when the server has none.
double x11_dpi_scale(const X11Window& w);

// The sizes embedding hosts read (device pixels): the smallest the window
// works at and the one it would have.
void x11_size_hints(X11Window& w, int min_width, int min_height, int width, int height);

// Asks for another size (device pixels); the view hears of it, as of any
// size change, from the server.
void x11_resize(X11Window& w, int width, int height);

// Shows or hides the window in its parent (hosts that keep the window
// while it is out of sight).
void x11_set_mapped(X11Window& w, bool mapped);

// Handles every pending event: pointer input becomes view calls, whose
// edits go to `sink`; size changes reach the view. Then draws the view if
// its picture changed or the server lost pixels. Never blocks.
void x11_idle(X11Window& w, View& v, EditSink sink, void* context);

// Destroys the window and closes the connection; safe on a half-open or
// closed window.
void x11_close(X11Window& w);

} // namespace zt
