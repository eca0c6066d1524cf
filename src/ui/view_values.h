#pragma once
// Port values as the window shows and edits them: every range, default,
// unit and scale comes from kPorts, so the window and the Turtle agree.
#include <cstddef>
#include <cstdint>

namespace zt {

// A port_event value as drawn: NaN keeps `previous` (the engine ignores a
// NaN too), infinities and out-of-range values go to the nearer end, and the
// menu ports are truncated to a whole number as the engine truncates them.
float sanitize_control(uint32_t port, float value, float previous);

// A dial's position 0...1 for a value, and back; logarithmic where the
// table says so.
double control_position(uint32_t port, float value);
float control_at(uint32_t port, double position);

// The value in the port's unit, e.g. "1.20 kHz", "70 %", "4.0 oct".
void format_control(uint32_t port, float value, char* out, size_t size);

// A frequency for the plot's notes, e.g. "954 Hz", "4.16 kHz".
void format_hz(double hz, char* out, size_t size);

} // namespace zt
