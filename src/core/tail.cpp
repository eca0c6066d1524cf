#include "tail.h"

#include <cmath>

#include "../engine/response_curve.h"

namespace zt {

// The loop's largest pole radius r decays as r^n. The cutoff goes on moving
// through the band, so the slowest place in the band decides; at r >= 1 the
// filter rings on its own, and the tail never ends.
uint32_t tail_frames(const float (&value)[PORT_COUNT])
{
    FilterEngine e{};
    set_mix(e, value[PORT_MIX] * 0.01f);
    if (e.wet_gain == 0.0f) return 0;  // dry only
    set_resonance(e, value[PORT_RESONANCE] * 0.01f);
    set_type(e, value[PORT_TYPE]);
    set_center(e, value[PORT_CENTER]);
    set_octaves(e, value[PORT_OCTAVES]);
    constexpr int kPlaces = 16;
    double radius = 0.0;
    for (int i = 0; i <= kPlaces; ++i) {
        const double cutoff = e.freq_low * std::pow(double(e.freq_ratio), double(i) / kPlaces);
        const float coef = std::exp(static_cast<float>(cutoff) * kCoefScale);
        for (Stage& s : e.stage) s.coef = coef;
        radius = std::fmax(radius, response_pole_radius(e));
    }
    if (!(radius < 1.0)) return kTailEndless;
    const double frames = std::ceil(std::log(1e-6) / std::log(radius));
    return frames < double(kTailEndless) ? static_cast<uint32_t>(frames) : kTailEndless;
}

} // namespace zt
