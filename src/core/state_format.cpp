#include "state_format.h"

#include <cmath>

#include "port_table.h"
#include "../support/bit_cast.h"

namespace zt {

namespace {

constexpr uint8_t kMagic[4] = {'Z', 'T', 'l', 'm'};
constexpr size_t kCrcAt = kStateSize - 4;

void put_u32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t get_u32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Bitwise CRC-32: 44 bytes once per save or load need no table.
uint32_t crc32(const uint8_t* p, size_t n)
{
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = 0; i < n; ++i) {
        c ^= p[i];
        for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
    }
    return ~c;
}

} // namespace

void state_encode(const float (&values)[kStateControls], uint8_t (&out)[kStateSize])
{
    for (int i = 0; i < 4; ++i) out[i] = kMagic[i];
    put_u32(out + 4, kStateVersion);
    for (uint32_t i = 0; i < kStateControls; ++i) put_u32(out + 8 + 4 * i, bit_cast<uint32_t>(values[i]));
    put_u32(out + kCrcAt, crc32(out, kCrcAt));
}

bool state_decode(const uint8_t* data, size_t size, float (&values)[kStateControls])
{
    if (!data || size != kStateSize) return false;
    for (int i = 0; i < 4; ++i)
        if (data[i] != kMagic[i]) return false;
    if (get_u32(data + 4) != kStateVersion) return false;
    if (get_u32(data + kCrcAt) != crc32(data, kCrcAt)) return false;
    float read[kStateControls];
    for (uint32_t i = 0; i < kStateControls; ++i) {
        const float v = bit_cast<float>(get_u32(data + 8 + 4 * i));
        const PortInfo& p = kPorts[PORT_MIX + i];
        if (!std::isfinite(v) || v < p.min || v > p.max) return false;
        read[i] = v;
    }
    for (uint32_t i = 0; i < kStateControls; ++i) values[i] = read[i];
    return true;
}

} // namespace zt
