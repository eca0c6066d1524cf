#pragma once
// The window's colours as 0xRRGGBB and its plotted ranges, for the two
// pictures of the response: the window (cairo) and the small one the audio
// library draws for a host's mixer strip. Both read them here so that they
// look like one product.
#include <cstdint>

namespace zt::palette_hex {
constexpr uint32_t window = 0x101317;
constexpr uint32_t panel = 0x181c22;
constexpr uint32_t panel_edge = 0x272d36;
constexpr uint32_t plot = 0x0c0f13;
constexpr uint32_t grid = 0x222831;
constexpr uint32_t grid_strong = 0x38414d;
constexpr uint32_t text = 0xd5dce4;
constexpr uint32_t text_dim = 0x7f8a97;
constexpr uint32_t caption = 0x66717e;
constexpr uint32_t curve = 0x5fd4ff;
constexpr uint32_t band = 0xffb040;
constexpr uint32_t cutoff = 0xff5c86;
constexpr uint32_t track = 0x2a3039;
constexpr uint32_t knob_top = 0x3a414b;
constexpr uint32_t knob_bottom = 0x20252c;
} // namespace zt::palette_hex

namespace zt {
// The plotted ranges, the same in both pictures.
constexpr double kLowHz = 20.0;
constexpr double kHighHz = 20000.0;
constexpr double kTopDb = 24.0;
constexpr double kBottomDb = -48.0;
} // namespace zt
