#pragma once
// Control values as text, the same for the window and for a host's own
// sliders: the value in the port's unit ("1.20 kHz", "+70 %", "4.0 oct"),
// or the label of a menu entry, and back.
#include <cstddef>
#include <cstdint>

namespace zt {

// The value in the port's unit, e.g. "1.20 kHz", "70 %", "4.0 oct".
void format_control(uint32_t port, float value, char* out, size_t size);

// A frequency for the plot's notes, e.g. "954 Hz", "4.16 kHz".
void format_hz(double hz, char* out, size_t size);

// As format_control, but the menu ports (shape, type) give their entry's
// label, as the Turtle lists it.
void control_text(uint32_t port, float value, char* out, size_t size);

// Reads what control_text writes, and plain numbers with or without the
// port's unit ("1200", "1.2 kHz", "70%", "Notch"). False for anything else.
bool parse_control_text(uint32_t port, const char* text, double* value);

} // namespace zt
