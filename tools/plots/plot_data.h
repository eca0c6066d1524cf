#pragma once
// The data behind the README's pictures, measured on the real engine and
// plugin code; gnuplot draws them (make-plots.sh).
#include <string>

namespace ztplots {

constexpr double kRate = 48000.0;      // the engine's fixed rate
constexpr float kCutoffHz = 1000.0f;   // where the response curves are measured
constexpr int kPlottedTypes = 37;      // rows 37 ... 39 are empty and not offered

// dir/responses.dat (one block per type: frequency, then the gain in dB at
// each measured resonance) and dir/responses-names.gp (panel titles).
// Prints a summary table; returns non-zero when a curve is not a clean
// linear steady state.
int write_responses(const std::string& dir);

// prefix.gram (gnuplot nonuniform matrix: time in s across, log2 of the
// frequency down, output-over-input gain in dB) and prefix.cutoff (time,
// cutoff in Hz) for white noise through the plugin for the given seconds,
// with controls given as symbol=value (the rest at their defaults).
int write_modulation(const std::string& prefix, double seconds, int argc, char** argv);

} // namespace ztplots
