#pragma once
// A second, independent computation of the plugin's output that shares no
// code with the plugin's sources: its own response table, generator,
// setters, sample path, modulator, ramps and run cycle, all in one record.
// The host tests feed the same controls and audio to the real plugin
// (through an LV2 host) and to this model and require equal bits.
//
// Floating-point mode: the results hold under flush-to-zero with
// denormals-are-zero and round to nearest, the mode the plugin's run uses.
// Call use_plugin_fp_mode() once on the thread that runs the model.
#include <cstdint>

namespace ztref {

// xoshiro256**, one process-wide sequence starting at {32, 21, 32, 55}.
struct Rng {
    uint64_t s[4];
};
constexpr Rng kRngStart{{32, 21, 32, 55}};
uint64_t rng_next(Rng& g);
float rng_unit(Rng& g);  // low 24 bits of rng_next scaled by 2^-24

// Control ports 2 ... 10, in port order; controls[i] is port i + 2.
enum Control : int { kMix, kRate, kGlideDown, kGlideUp, kShape, kResonance, kCenter, kOctaves, kType, kControlCount };

// One linear ramp per smoothed control, stepped every block of 16 frames.
struct Ramp {
    float target, current, step;
};

// Everything one instance holds: the engine, the four ramps, the last values
// seen on the five plain ports, and the position inside the 16-frame block.
struct Model {
    float mix, dry_gain, wet_gain, rate_hz, glide_down, glide_up, shape_value;
    int32_t shape;
    float resonance, center_hz, octaves, octaves_down, octaves_up, type_value;
    int32_t toggle, countdown, period;
    float target, settled;
    int32_t glide_remaining, glide_length;
    float cutoff_hz, freq_low, freq_high, freq_ratio;
    float feedback_sample, feedback_gain, input_comp, feedback_factor;
    float coef[4], state[4], weight[5];
    Ramp ramp[4];       // mix, rate, center, octaves
    float last[5];      // glide down, glide up, shape, resonance, type; NaN = none yet
    uint32_t block_pos; // frames already run in the current 16-frame block
};

// A freshly instantiated plugin.
Model model_new();

// One run call of n frames. in and out may be the same buffer. Draws step
// `shared`, the process-wide generator.
void model_run(Model& m, Rng& shared, const float controls[kControlCount], const float* in,
               float* out, uint32_t n);

// Flush-to-zero, denormals-are-zero, round to nearest, no traps.
void use_plugin_fp_mode();

} // namespace ztref
