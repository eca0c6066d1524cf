#pragma once
// The sample path's small-signal response in closed form, from the engine's
// own state: what the listener hears of a quiet sine while nothing clamps.
// With a = the shared stage coefficient, each stage
//   y_k[n] = y_(k-1)[n] + a*(y_k[n-1] - y_(k-1)[n])
// is L(z) = (1 - a) / (1 - a z^-1). The feedback reads stage 4 one frame late,
//   x = s*(1 + g*comp) - g*factor*z^-1*y4,  y4 = L^4 x,
// so X/S = (1 + g*comp) / (1 + g*factor*z^-1*L^4), and the output is
//   out/S = dry + wet*(c0 - c1 L + c2 L^2 - c3 L^3 + c4 L^4) * X/S.
// Everything here is double; frequencies are those of the engine's 48 kHz.
#include "filter_engine.h"

namespace zt {

struct Cplx {
    double re, im;
};

// Output over input at `freq_hz` (engine rate).
Cplx response_at(const FilterEngine& e, double freq_hz);

// 20*log10 |response|; very deep notches come out near -300 dB, not -inf.
double response_level_db(const FilterEngine& e, double freq_hz);

// The largest pole radius of the feedback loop: at 1 or above the linear
// filter rings on without input and only the stages' clamps bound it, so
// response_at describes no steady state. With strong resonance this
// happens at high cutoffs (the 4 pole low-pass above about 17 kHz at 70 %
// and 14.5 kHz at 100 %; the rows with the strongest feedback from 15.7
// and 13.5 kHz): the stages pass nearly everything and the feedback, one
// frame late, outweighs the input near half the rate.
double response_pole_radius(const FilterEngine& e);

} // namespace zt
