#pragma once
// Float-to-integer conversions used by the setters: truncate toward zero,
// saturate at the limits of the target type, NaN gives 0. A plain cast is
// undefined behaviour outside the target range, so every path is explicit.
#include <cstdint>

namespace zt {

inline int32_t to_i32(float v)
{
    if (v != v) return 0;
    if (v >= 2147483648.0f) return INT32_MAX;
    if (v <= -2147483648.0f) return INT32_MIN;
    return static_cast<int32_t>(v);
}

inline uint64_t to_u64(float v)
{
    if (!(v > 0.0f)) return 0;  // negative, zero and NaN
    if (v >= 18446744073709551616.0f) return UINT64_MAX;
    return static_cast<uint64_t>(v);
}

// Counters that may run past the 32-bit limits (negative periods or glide
// fractions) wrap around like two's-complement hardware instead of
// overflowing into undefined behaviour.
inline int32_t wrapping_dec(int32_t v)
{
    return static_cast<int32_t>(static_cast<uint32_t>(v) - 1u);
}

} // namespace zt
