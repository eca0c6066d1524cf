#pragma once
// The window as the X server sees it: a child of the host's window on a
// display connection of its own, whose events become view calls and whose
// picture is the view's. The one file that speaks Xlib; it knows nothing of
// LV2 (the caller passes the host's parent window and takes the edits).
// Everything runs in the caller's thread, in short calls that wait for the
// server only when a buffer is made (to learn whether it took the buffer's
// shared memory): events are read only while some are pending.
#include <X11/Xlib.h>
#include <X11/extensions/XShm.h>
#include <cairo.h>

#include "view.h"

namespace zt {

struct X11Window {
    Display* display = nullptr;          // our own connection, closed with the window
    Window window = 0;
    // The picture is drawn here, in client memory, and put on the window
    // with XShmPutImage or XPutImage. cairo's own Xlib surfaces keep a
    // record per connection that outlives it when text was drawn or part of
    // a picture uploaded (a leak for every window opened), so they are used
    // only on a display whose pixels are not 24-bit RGB, which a buffer
    // cannot be put on directly.
    cairo_surface_t* buffer = nullptr;
    int buffer_x = 0, buffer_y = 0;      // its place in the window, device pixels
    bool direct = false;                 // the buffer's pixels are the window's
    cairo_surface_t* surface = nullptr;  // otherwise: the window through cairo's Xlib surface
    // Shared memory (MIT-SHM): the buffer's pixels lie in a segment the
    // server maps too, so a picture goes over as one short request instead
    // of through the socket. Off where the server lacks it (remote X) or
    // refused our segment; the buffer is then our own memory, put through
    // the socket.
    bool shm_usable = false;             // the server offers it and has not refused it
    XShmSegmentInfo shm{0, -1, nullptr, True};  // the buffer's segment, when it has one (shmaddr set)
    int shm_completion = 0;              // the event type that says a put from the segment is done
    int shm_busy = 0;                    // idle calls since the last put, while the server may still read it
    // The plot's ground, grid and band as last drawn, at the plot's place in
    // the buffer: while only the cutoff moves, the curve goes on a copy of
    // it rather than on a plot drawn from nothing.
    cairo_surface_t* plot_base = nullptr;
    int plot_x = 0, plot_y = 0;          // where it sits in the window, device pixels
    PlotBaseInputs plot_base_inputs{};   // what it was drawn from: drawn again only when that changes
    // What the server has shown of the window since its size last changed
    // (its exposures, within the view's bound kViewMaxSide), device pixels
    // from x0, y0 to x1, y1: the buffer covers this and no more, so a window
    // far bigger than the screen costs what the screen shows of it.
    int shown_x0 = 0, shown_y0 = 0, shown_x1 = 0, shown_y1 = 0;
    int width = 0, height = 0;           // device pixels, as the server last said
    Window parent = 0;                   // the host's window: hiding it hides ours
    bool exposed = false;                // the server asked for pixels the view still has
    bool button_held = false;            // left button pressed inside the window, its release not yet seen
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
//
// A drag lasts only while the server says the button is held: motion or
// crossing without it, our window or its parent unmapped, the focus or the
// pointer grabbed away, a second press, or the window destroyed under us
// ends it through x11_end_drag. The view sees at most the bounded size
// (kViewMaxSide); the rest of a bigger window is left plain.
void x11_idle(X11Window& w, View& v, EditSink sink, void* context);

// Ends what the pointer holds as if the button had come up unseen: an open
// gesture's end goes to `sink`, nothing is written. For a face that hides
// the window itself; x11_idle and x11_close call it where they must.
void x11_end_drag(X11Window& w, View& v, EditSink sink, void* context);

// Ends an open gesture (to `sink`, while the host still listens), then
// destroys the window and closes the connection; safe on a half-open or
// closed window.
void x11_close(X11Window& w, View& v, EditSink sink, void* context);

} // namespace zt
