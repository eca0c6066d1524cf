#pragma once
// The plugin's state, the same record for every format that saves one:
// the nine controls in a small fixed record, so that a session saved today
// loads in every later version. Little-endian whatever the machine:
//   0  "ZTlm"                  magic
//   4  u32 version             1
//   8  9 x f32                 ports 2 ... 10 (mix ... type), as the host shows them
//   44 u32 CRC-32 of bytes 0 ... 43 (the zlib polynomial)
// 48 bytes in all. Nothing else reaches the sound: the filter's memories and
// the modulator's position are the run's, not the session's.
#include <cstddef>
#include <cstdint>

#include "plugin.h"

namespace zt {

constexpr uint32_t kStateVersion = 1;
constexpr size_t kStateSize = 48;
constexpr uint32_t kStateControls = PORT_COUNT - PORT_MIX;

void state_encode(const float (&values)[kStateControls], uint8_t (&out)[kStateSize]);

// True (and the values) only for a record of exactly kStateSize bytes with
// the magic, this version, a matching CRC and every value a finite number
// inside its port's range. Anything else leaves `values` untouched.
bool state_decode(const uint8_t* data, size_t size, float (&values)[kStateControls]);

} // namespace zt
