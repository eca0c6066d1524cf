#pragma once
// A glide frame's two maths-library calls, for eight frames at once and
// without calls, giving the same float bits as the calls themselves:
//   cutoff = float(double(freq_low) * pow(double(freq_ratio), double(m)))
//   coef   = expf(cutoff * kCoefScale)
// Each value is evaluated in double to a known relative error and bracketed
// by that error plus the library's own. When both ends of the bracket round
// to the same float, the library's result, which lies inside the bracket,
// rounds to that float too; otherwise the lane is marked unsure and the
// caller asks the library (for musical bands about one cutoff in a million
// and one coefficient in 70, most of them near 1 where floats are densest).
// The lanes are independent and branch-free, so the compiler turns the loop
// into vector code (eight lanes: floats in one AVX2 register, doubles in
// two).
#include <cmath>
#include <cstdint>

#include "filter_engine.h"
#include "../support/bit_cast.h"

namespace zt {

// Largest |y| exp2_near takes: 2^y then stays a normal double.
constexpr double kExp2Limit = 1000.0;

// 2^y for |y| <= kExp2Limit, relative error below 2^-46: y = q + f with q
// an integer and |f| <= 1/2; 2^f by its Taylor series to degree 11 (the
// remainder is below 2^-46.6, the rounding of the terms near 2^-51), summed
// in pairs (Estrin's scheme: a quarter of the latency of Horner's), and 2^q
// added to the exponent field. Plain multiplies and adds, the same on every
// processor.
inline double exp2_near(double y)
{
    constexpr double kRound = 0x1.8p52;  // adding it rounds to an integer
    const double shifted = y + kRound;
    const uint64_t q = bit_cast<uint64_t>(shifted);  // low bits: round(y)
    const double f = y - (shifted - kRound);          // exact
    // (ln 2)^n / n!, each correctly rounded.
    constexpr double c1 = 0x1.62e42fefa39efp-1, c2 = 0x1.ebfbdff82c58fp-3, c3 = 0x1.c6b08d704a0c0p-5,
                     c4 = 0x1.3b2ab6fba4e77p-7, c5 = 0x1.5d87fe78a6731p-10, c6 = 0x1.430912f86c787p-13,
                     c7 = 0x1.ffcbfc588b0c7p-17, c8 = 0x1.62c0223a5c824p-20, c9 = 0x1.b5253d395e7c4p-24,
                     c10 = 0x1.e4cf5158b8ecap-28, c11 = 0x1.e8cac7351bb25p-32;
    const double f2 = f * f, f4 = f2 * f2, f8 = f4 * f4;
    const double a0 = 1.0 + c1 * f, a1 = c2 + c3 * f, a2 = c4 + c5 * f;
    const double a3 = c6 + c7 * f, a4 = c8 + c9 * f, a5 = c10 + c11 * f;
    const double b0 = a0 + a1 * f2, b1 = a2 + a3 * f2, b2 = a4 + a5 * f2;
    const double p = (b0 + b1 * f4) + b2 * f8;
    return bit_cast<double>(bit_cast<uint64_t>(p) + (q << 52));
}

// Error budgets, relative, each margin at least four times its sum:
// - cutoff: log2(freq_ratio) and the product with m carry 2^-50.5 of |y|,
//   which becomes |y| * 2^-51 in 2^y; exp2_near and the product with
//   freq_low add 2^-45.9; pow and its product are taken to be within
//   2^-50.5 (the C library's pow is within one unit in the last place).
// - coefficient: the product x * log2(e) carries 2^-52 of |y| <= 116, so
//   2^-45.6 in 2^y, with exp2_near 2^-44.8; the C library's expf rounds a
//   double whose relative error is below 2^-33.
constexpr double kCutoffMarginPerY = 0x1p-49;
constexpr double kCutoffMargin = 0x1p-43;
constexpr double kCoefMargin = 0x1p-31;
constexpr float kCoefArgLimit = 80.0f;  // e^±80 stays a normal float

// A float and whether it is certainly the library's.
struct NearFloat {
    float value;
    int32_t sure;
};

// The float that every value in [v(1 - margin), v(1 + margin)] rounds to,
// if there is one.
inline NearFloat single_rounding(double v, double margin)
{
    const double d = v * margin;
    const float lo = static_cast<float>(v - d);
    return NearFloat{lo, lo == static_cast<float>(v + d)};  // false for NaN
}

// band_cutoff(freq_low, freq_ratio, m), given log2(double(freq_ratio)).
inline NearFloat band_cutoff_near(float freq_low, float m, double log2_ratio)
{
    const double y = static_cast<double>(m) * log2_ratio;
    const double v = static_cast<double>(freq_low) * exp2_near(y);
    NearFloat r = single_rounding(v, std::fabs(y) * kCutoffMarginPerY + kCutoffMargin);
    r.sure &= std::fabs(y) <= kExp2Limit;
    return r;
}

// cutoff_coef(cutoff_hz), that is expf(cutoff_hz * kCoefScale).
inline NearFloat cutoff_coef_near(float cutoff_hz)
{
    constexpr double kLog2e = 0x1.71547652b82fep+0;
    const float x = cutoff_hz * kCoefScale;
    NearFloat r = single_rounding(exp2_near(static_cast<double>(x) * kLog2e), kCoefMargin);
    r.sure &= std::fabs(x) <= kCoefArgLimit;
    return r;
}

constexpr int kGlideBatch = 8;

// Lane i holds the glide frame whose count after its step is
// base + kGlideBatch - 1 - i, the order in which the frames come.
struct GlideBatch {
    int32_t base;
    float cutoff_hz[kGlideBatch];
    float coef[kGlideBatch];
    int32_t cutoff_sure[kGlideBatch];  // 0: ask the library for the cutoff
    int32_t coef_sure[kGlideBatch];    // 0: ask the library for the coefficient
};

// The glide's inputs, fixed while a batch is in use.
struct GlideInputs {
    float target;
    float settled;
    int32_t length;
    float freq_low;
    double log2_ratio;  // log2(double(freq_ratio))
};

inline void glide_batch_near(GlideBatch& b, const GlideInputs& g, int32_t base)
{
    b.base = base;
    const float span = g.settled - g.target;
    const float length = static_cast<float>(g.length);
    for (int i = 0; i < kGlideBatch; ++i) {
        const int32_t remaining = static_cast<int32_t>(static_cast<uint32_t>(base) + (kGlideBatch - 1 - i));
        // glide_position: the target itself on the frame that completes the
        // glide; picked with a mask so that the loop has no branch.
        const float along = g.target + ((span * static_cast<float>(remaining)) / length);
        const uint32_t done = 0u - static_cast<uint32_t>(remaining == 0);
        const float m = bit_cast<float>((bit_cast<uint32_t>(g.target) & done) |
                                        (bit_cast<uint32_t>(along) & ~done));
        const NearFloat cutoff = band_cutoff_near(g.freq_low, m, g.log2_ratio);
        const NearFloat coef = cutoff_coef_near(cutoff.value);
        b.cutoff_hz[i] = cutoff.value;
        b.coef[i] = coef.value;
        b.cutoff_sure[i] = cutoff.sure;
        b.coef_sure[i] = coef.sure;
    }
}

} // namespace zt
