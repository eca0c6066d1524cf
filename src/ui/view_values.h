#pragma once
// Port values as the window shows and edits them: every range, default,
// unit and scale comes from kPorts, so the window and the Turtle agree.
#include <cstddef>
#include <cstdint>

#include "../core/control_text.h"  // format_control, format_hz

namespace zt {

// A port_event value as drawn: NaN keeps `previous` (the engine ignores a
// NaN too), infinities and out-of-range values go to the nearer end, and the
// menu ports are truncated to a whole number as the engine truncates them.
float sanitize_control(uint32_t port, float value, float previous);

// A dial's position 0...1 for a value, and back; logarithmic where the
// table says so.
double control_position(uint32_t port, float value);
float control_at(uint32_t port, double position);

} // namespace zt
