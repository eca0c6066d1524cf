#pragma once
// How long the output rings on once the input is silent, for every face
// that tells its host.
#include <cstdint>

#include "plugin.h"

namespace zt {

// Frames from here on stand for a tail that never ends.
constexpr uint32_t kTailEndless = INT32_MAX;

// The frames for the output to fall 120 dB once the input is silent, for
// the control values `value[port]` (ports 2 ... 10); kTailEndless when the
// filter rings on its own.
uint32_t tail_frames(const float (&value)[PORT_COUNT]);

} // namespace zt
