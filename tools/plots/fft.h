#pragma once
// In-place iterative radix-2 FFT (decimation in time) on complex doubles, for
// the measurement tool only; the plugin itself never transforms anything.
#include <complex>
#include <cstddef>
#include <numbers>
#include <utility>
#include <vector>

namespace ztplots {

using Spectrum = std::vector<std::complex<double>>;

// X[k] = sum_n x[n] e^(-2 pi i k n / N); N must be a power of two.
inline void fft(Spectrum& a)
{
    const size_t n = a.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(a[i], a[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        const size_t half = len / 2;
        for (size_t k = 0; k < half; ++k) {
            // Each twiddle from its own polar(): no drift over long transforms.
            const auto w = std::polar(1.0, -2.0 * std::numbers::pi * double(k) / double(len));
            for (size_t i = k; i < n; i += len) {
                const auto u = a[i];
                const auto v = a[i + half] * w;
                a[i] = u + v;
                a[i + half] = u - v;
            }
        }
    }
}

} // namespace ztplots
