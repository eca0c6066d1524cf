#pragma once
// The sound engine's state: dry/wet gains, four one-pole stages with
// resonance feedback, output weights, and the random modulator's clock,
// glide and band. Knows nothing of LV2; everything runs at kEngineRate.
#include <bit>
#include <cstdint>

namespace zt {

constexpr int32_t kEngineRate = 48000;

// -2*pi/48000 with 2*pi first rounded to float; one ulp away from the
// correctly rounded quotient (0xB909421E), and the one the filter is tuned to.
constexpr float kCoefScale = std::bit_cast<float>(0xB909421Fu);

struct Stage {
    float coef;   // e^(-2*pi*f/48000)
    float state;  // last (clamped) output
};

struct FilterEngine {
    float mix = 1.0f;             // -1 dry only ... +1 filtered only
    float dry_gain = 0.0f;
    float wet_gain = 1.0f;
    float rate_hz = 8.0f;         // modulator events per second
    float glide_down = 0.01f;     // fraction of the period, falling moves
    float glide_up = 0.01f;       // fraction of the period, rising moves
    float shape_value = 0.0f;
    int32_t shape = 0;
    float resonance = 0.7f;       // port percent * 0.01
    float center_hz = 440.0f;
    float octaves = 2.0f;         // total band width
    float octaves_down = 1.0f;
    float octaves_up = 1.0f;
    float type_value = 0.0f;
    int32_t toggle = 0;           // phase of the alternating shape
    int32_t countdown = 100;      // frames until the next event
    int32_t period = 6000;        // frames between events
    float target = 1.0f;          // modulation value the glide heads for
    float settled = 0.5f;         // value where the last completed glide ended
    int32_t glide_remaining = 0;  // 0: no glide running
    int32_t glide_length = 6000;  // divisor of the glide interpolation
    float cutoff_hz = 220.0f;
    float freq_low = 220.0f;
    float freq_high = 880.0f;
    float freq_ratio = 4.0f;
    float feedback_sample = 0.0f; // stage 4's last output
    float feedback_gain = 1.4f;   // 2 * resonance
    float input_comp = 0.0f;
    float feedback_factor = 1.0f;
    Stage stage[4] = {{0.97161275f, 0.0f}, {0.97161275f, 0.0f},
                      {0.97161275f, 0.0f}, {0.97161275f, 0.0f}};
    float mix_coef[5] = {0.0f, 0.0f, 0.0f, 0.0f, 1.0f};
};

// The memories of a channel beside the engine's own: the four stages and
// the feedback, all that differs between channels driven by one engine.
struct ChannelMemory {
    float state[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    float feedback_sample = 0.0f;
};

// Setters: each ignores a value equal to the one it holds (exact compare).
void set_mix(FilterEngine& e, float v);
void set_rate(FilterEngine& e, float v);
void set_glide_down(FilterEngine& e, float v);
void set_glide_up(FilterEngine& e, float v);
void set_shape(FilterEngine& e, float v);
void set_resonance(FilterEngine& e, float v);
void set_center(FilterEngine& e, float v);
void set_octaves(FilterEngine& e, float v);
void set_type(FilterEngine& e, float v);

void update_band(FilterEngine& e);
void update_coefficients(FilterEngine& e);

} // namespace zt
