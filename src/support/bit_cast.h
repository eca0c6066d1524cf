#pragma once
// std::bit_cast where the standard library has it. GCC 10's (Debian 11's,
// which builds the release archives for older systems) lacks it; there a
// copy of the bytes gives the same bits, though not in constant
// expressions, which is why constants are written as hex-float literals.
#include <bit>
#include <cstring>
#include <type_traits>

namespace zt {

template <class To, class From>
constexpr To bit_cast(const From& from) noexcept
{
    static_assert(sizeof(To) == sizeof(From) && std::is_trivially_copyable_v<To> &&
                  std::is_trivially_copyable_v<From>);
#if defined(__cpp_lib_bit_cast)
    return std::bit_cast<To>(from);
#else
    To to;
    std::memcpy(&to, &from, sizeof to);
    return to;
#endif
}

} // namespace zt
