// clap.state and clap.tail.
#include <cmath>
#include <cstdint>

#include "clap_face.h"
#include "state_format.h"
#include "../core/port_table.h"
#include "../engine/response_curve.h"

namespace zt {

namespace {

// Any value from INT32_MAX up stands for a tail that never ends.
constexpr uint32_t kEndless = INT32_MAX;

bool state_save(const clap_plugin_t* plugin, const clap_ostream_t* stream)
{
    if (!stream) return false;
    const ClapPlugin& p = clap_self(plugin);
    float values[kStateControls];
    for (uint32_t i = 0; i < kStateControls; ++i) values[i] = clap_plugin_value(p, kFirstControl + i);
    uint8_t record[kStateSize];
    state_encode(values, record);
    // A stream may take fewer bytes than offered; it is asked again.
    for (size_t done = 0; done < kStateSize;) {
        const int64_t n = stream->write(stream, record + done, kStateSize - done);
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool state_load(const clap_plugin_t* plugin, const clap_istream_t* stream)
{
    if (!stream) return false;
    // One byte more than a record holds tells an oversized stream apart.
    uint8_t record[kStateSize + 1];
    size_t got = 0;
    while (got < sizeof record) {
        const int64_t n = stream->read(stream, record + got, sizeof record - got);
        if (n < 0) return false;
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    float values[kStateControls];
    if (!state_decode(record, got, values)) return false;
    clap_load_controls(clap_self(plugin), values);
    return true;
}

// The frames for the output to fall 120 dB once the input is silent: the
// loop's largest pole radius r decays as r^n. The cutoff goes on moving
// through the band, so the slowest place in the band decides; at r >= 1 the
// filter rings on its own, and the tail never ends.
uint32_t tail_get(const clap_plugin_t* plugin)
{
    const ClapPlugin& p = clap_self(plugin);
    auto value = [&](uint32_t port) { return clap_plugin_value(p, port); };
    FilterEngine e{};
    set_mix(e, value(PORT_MIX) * 0.01f);
    if (e.wet_gain == 0.0f) return 0;  // dry only
    set_resonance(e, value(PORT_RESONANCE) * 0.01f);
    set_type(e, value(PORT_TYPE));
    set_center(e, value(PORT_CENTER));
    set_octaves(e, value(PORT_OCTAVES));
    constexpr int kPlaces = 16;
    double radius = 0.0;
    for (int i = 0; i <= kPlaces; ++i) {
        const double cutoff = e.freq_low * std::pow(double(e.freq_ratio), double(i) / kPlaces);
        const float coef = std::exp(static_cast<float>(cutoff) * kCoefScale);
        for (Stage& s : e.stage) s.coef = coef;
        radius = std::fmax(radius, response_pole_radius(e));
    }
    if (!(radius < 1.0)) return kEndless;
    const double frames = std::ceil(std::log(1e-6) / std::log(radius));
    return frames < double(INT32_MAX) ? static_cast<uint32_t>(frames) : kEndless;
}

} // namespace

const clap_plugin_state_t kClapState = {state_save, state_load};
const clap_plugin_tail_t kClapTail = {tail_get};

} // namespace zt
