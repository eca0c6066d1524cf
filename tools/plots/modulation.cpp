// The random modulation at work: white noise through the plugin as a host
// runs it (controls on their ports, run in 256-frame calls), the cutoff
// recorded after every call, and a short-time spectrum of the output shown
// as its gain over the input.
#include "plot_data.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fft.h"
#include "core/plugin.h"

namespace ztplots {

namespace {

struct Control {
    const char* symbol;
    uint32_t port;
    float value;  // starts at the port's default
};

constexpr uint32_t kHop = 256;      // frames per run call and per spectrum column
constexpr size_t kWindow = 2048;    // 43 ms: fast enough for the glides, 23 Hz bins
constexpr int kRows = 240;          // log-spaced from kLowHz to kHighHz
constexpr double kLowHz = 40.0;
constexpr double kHighHz = 20000.0;

// Deterministic white noise, uniform in [-0.5, 0.5): variance 1/12. Its own
// generator, so the plugin's random sequence is left as a host would see it.
struct Noise {
    uint32_t s = 0x9E3779B9u;
    float next()
    {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        return float(double(s >> 8) * 0x1p-24 - 0.5);
    }
};

bool set_control(std::vector<Control>& controls, const char* arg)
{
    const char* eq = std::strchr(arg, '=');
    if (!eq) return false;
    for (Control& c : controls) {
        if (std::strlen(c.symbol) == size_t(eq - arg) && std::strncmp(c.symbol, arg, size_t(eq - arg)) == 0) {
            c.value = std::strtof(eq + 1, nullptr);
            return true;
        }
    }
    return false;
}

// Power in bins k-1 ... k+1: a little smoothing keeps the ratio of two noisy
// spectra steady without blurring the filter's shape.
double band_power(const Spectrum& s, size_t k)
{
    double p = 0.0;
    for (size_t i = k - 1; i <= k + 1; ++i) p += std::norm(s[i]);
    return p;
}

} // namespace

int write_modulation(const std::string& prefix, double seconds, int argc, char** argv)
{
    std::vector<Control> controls = {
        {"mix", zt::PORT_MIX, 100.0f},        {"rate", zt::PORT_RATE, 7.5f},
        {"glide_down", zt::PORT_GLIDE_DOWN, 1.0f}, {"glide_up", zt::PORT_GLIDE_UP, 1.0f},
        {"shape", zt::PORT_SHAPE, 0.0f},      {"resonance", zt::PORT_RESONANCE, 70.0f},
        {"center", zt::PORT_CENTER, 1200.0f}, {"octaves", zt::PORT_OCTAVES, 4.0f},
        {"type", zt::PORT_TYPE, 3.0f},
    };
    for (int i = 0; i < argc; ++i) {
        if (!set_control(controls, argv[i])) {
            std::fprintf(stderr, "unknown control setting '%s'\n", argv[i]);
            return 2;
        }
    }

    const size_t calls = size_t(seconds * kRate) / kHop;
    std::vector<float> in(calls * kHop), out(calls * kHop);
    Noise noise;
    for (float& s : in) s = noise.next();

    zt::Plugin* p = zt::plugin_instantiate(kRate);
    if (!p) return 1;
    for (Control& c : controls) zt::plugin_connect_port(p, c.port, &c.value);
    FILE* cutoff = std::fopen((prefix + ".cutoff").c_str(), "w");
    if (!cutoff) return 1;
    for (size_t i = 0; i < calls; ++i) {
        zt::plugin_connect_port(p, zt::PORT_IN, &in[i * kHop]);
        zt::plugin_connect_port(p, zt::PORT_OUT, &out[i * kHop]);
        zt::plugin_run(p, kHop);
        std::fprintf(cutoff, "%.5f %.2f\n", double((i + 1) * kHop) / kRate, double(p->engine->cutoff_hz));
    }
    std::fclose(cutoff);
    zt::plugin_cleanup(p);

    std::vector<double> window(kWindow);
    for (size_t n = 0; n < kWindow; ++n)
        window[n] = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * double(n) / double(kWindow));
    std::vector<size_t> starts;
    for (size_t s = 0; s + kWindow <= out.size(); s += kHop) starts.push_back(s);

    FILE* gram = std::fopen((prefix + ".gram").c_str(), "w");
    if (!gram) return 1;
    std::fprintf(gram, "%zu", starts.size());
    for (size_t s : starts) std::fprintf(gram, " %.5f", double(s + kWindow / 2) / kRate);
    std::fprintf(gram, "\n");
    std::vector<std::vector<float>> gain(starts.size(), std::vector<float>(kRows));
    for (size_t col = 0; col < starts.size(); ++col) {
        Spectrum x(kWindow), y(kWindow);
        for (size_t n = 0; n < kWindow; ++n) {
            x[n] = window[n] * in[starts[col] + n];
            y[n] = window[n] * out[starts[col] + n];
        }
        fft(x);
        fft(y);
        for (int row = 0; row < kRows; ++row) {
            const double f = kLowHz * std::pow(kHighHz / kLowHz, double(row) / (kRows - 1));
            const size_t k = size_t(std::lround(f * double(kWindow) / kRate));
            gain[col][size_t(row)] = float(10.0 * std::log10(band_power(y, k) / band_power(x, k) + 1e-12));
        }
    }
    for (int row = 0; row < kRows; ++row) {
        const double f = kLowHz * std::pow(kHighHz / kLowHz, double(row) / (kRows - 1));
        std::fprintf(gram, "%.4f", std::log2(f));
        for (size_t col = 0; col < starts.size(); ++col) std::fprintf(gram, " %.1f", double(gain[col][size_t(row)]));
        std::fprintf(gram, "\n");
    }
    std::fclose(gram);
    return 0;
}

} // namespace ztplots
