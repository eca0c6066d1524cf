#include "response_curve.h"

#include <cmath>

namespace zt {

namespace {

// A few complex operations spelt out: the window's library links no C++
// runtime, and the library's complex division would drag in its helpers.
Cplx add(Cplx a, Cplx b) { return {a.re + b.re, a.im + b.im}; }
Cplx sub(Cplx a, Cplx b) { return {a.re - b.re, a.im - b.im}; }
Cplx mul(Cplx a, Cplx b) { return {a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re}; }
Cplx scale(Cplx a, double k) { return {a.re * k, a.im * k}; }
Cplx div(Cplx a, Cplx b)
{
    const double d = b.re * b.re + b.im * b.im;
    return {(a.re * b.re + a.im * b.im) / d, (a.im * b.re - a.re * b.im) / d};
}
double norm2(Cplx a) { return a.re * a.re + a.im * a.im; }

constexpr double kTwoPi = 6.283185307179586;

} // namespace

Cplx response_at(const FilterEngine& e, double freq_hz)
{
    const double w = kTwoPi * freq_hz / kEngineRate;
    const Cplx zinv{std::cos(w), -std::sin(w)};
    const double a = e.stage[0].coef;
    const Cplx one{1.0, 0.0};
    const Cplx lp = div({1.0 - a, 0.0}, sub(one, scale(zinv, a)));
    const double g = e.feedback_gain;
    Cplx lk = one;  // L^k
    Cplx weights{e.mix_coef[0], 0.0};
    for (int k = 1; k <= 4; ++k) {
        lk = mul(lk, lp);
        const double sign = (k & 1) ? -1.0 : 1.0;
        weights = add(weights, scale(lk, sign * e.mix_coef[k]));
    }
    const double input_gain = 1.0 + g * static_cast<double>(e.input_comp);
    const Cplx loop = add(one, scale(mul(zinv, lk), g * static_cast<double>(e.feedback_factor)));
    const Cplx x = div({input_gain, 0.0}, loop);
    return add({static_cast<double>(e.dry_gain), 0.0}, scale(mul(weights, x), e.wet_gain));
}

double response_level_db(const FilterEngine& e, double freq_hz)
{
    return 10.0 * std::log10(norm2(response_at(e, freq_hz)) + 1e-30);
}

// The poles are the roots of (z - a)^4 + k z^3 with k = g*factor*(1 - a)^4;
// Durand-Kerner finds all four at once and converges fast for a quartic.
double response_pole_radius(const FilterEngine& e)
{
    const double a = e.stage[0].coef;
    const double k = static_cast<double>(e.feedback_gain) * e.feedback_factor * std::pow(1.0 - a, 4.0);
    if (k == 0.0) return std::fabs(a);  // no feedback: the stages' own pole
    const double c[5] = {1.0, k - 4.0 * a, 6.0 * a * a, -4.0 * a * a * a, a * a * a * a};
    auto poly = [&](Cplx z) {
        Cplx p{c[0], 0.0};
        for (int i = 1; i < 5; ++i) p = add(mul(p, z), {c[i], 0.0});
        return p;
    };
    Cplx r[4];
    Cplx seed{0.4, 0.9};  // the customary seed: not real, not a root of unity
    Cplx p = {1.0, 0.0};
    for (Cplx& ri : r) ri = p = mul(p, seed);
    for (int iter = 0; iter < 500; ++iter) {
        double moved = 0.0;
        for (int i = 0; i < 4; ++i) {
            Cplx d{1.0, 0.0};
            for (int j = 0; j < 4; ++j)
                if (j != i) d = mul(d, sub(r[i], r[j]));
            const Cplx step = div(poly(r[i]), d);
            r[i] = sub(r[i], step);
            moved = std::fmax(moved, norm2(step));
        }
        if (moved < 1e-28) break;
    }
    double radius = 0.0;
    for (const Cplx& ri : r) radius = std::fmax(radius, std::sqrt(norm2(ri)));
    return radius;
}

} // namespace zt
