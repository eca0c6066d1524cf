// Steady-state magnitude responses of the response types, measured through
// the real sample path. The modulator is held still: the cutoff is fixed once
// and only process_sample runs, so no event or glide ever moves it. The
// impulse is small enough that no stage comes near its clamp at +-1 (the
// filter's only non-linearity), so the transform of the impulse response is
// the steady-state response a sine sweep would measure; both conditions are
// checked, not assumed.
#include "plot_data.h"

#include <cmath>
#include <cstdio>

#include "engine/filter_engine.h"
#include "engine/response_types.h"
#include "engine/sample_path.h"
#include "fft.h"

namespace ztplots {

namespace {

constexpr size_t kLength = size_t{1} << 16;  // 1.37 s: the most resonant curve rings out well before
constexpr float kImpulse = 1e-4f;
constexpr float kResonances[] = {0.0f, 70.0f, 90.0f};  // port percent; 70 is the default
constexpr int kPoints = 400;                            // log-spaced, 20 Hz ... 20 kHz

struct Curve {
    std::vector<double> gain_db;  // one per frequency point
    float peak_state;             // largest stage memory seen: must stay far below 1
    double tail_db;               // energy of the last eighth against the whole
};

Curve measure(int type, float resonance_pc, const std::vector<double>& freqs)
{
    zt::FilterEngine e;
    // A new engine holds type value 0 with weights of its own (not row 0);
    // passing through an index past the table makes the setter load any row.
    zt::set_type(e, float(zt::kResponseTypeCount));
    zt::set_type(e, float(type));
    zt::set_resonance(e, resonance_pc * 0.01f);
    e.cutoff_hz = kCutoffHz;
    zt::update_coefficients(e);

    Spectrum h(kLength);
    Curve c{{}, 0.0f, 0.0};
    double total = 0.0, tail = 0.0;
    for (size_t n = 0; n < kLength; ++n) {
        const double y = zt::process_sample(e, n == 0 ? kImpulse : 0.0f) / double(kImpulse);
        h[n] = y;
        total += y * y;
        if (n >= kLength - kLength / 8) tail += y * y;
        for (const zt::Stage& st : e.stage) c.peak_state = std::fmax(c.peak_state, std::fabs(st.state));
    }
    c.tail_db = 10.0 * std::log10(tail / total + 1e-300);
    fft(h);
    for (double f : freqs) {
        // Linear interpolation of the magnitude between the two nearest bins.
        const double pos = f * double(kLength) / kRate;
        const size_t k = size_t(pos);
        const double frac = pos - double(k);
        const double mag = (1.0 - frac) * std::abs(h[k]) + frac * std::abs(h[k + 1]);
        c.gain_db.push_back(20.0 * std::log10(std::fmax(mag, 1e-10)));
    }
    return c;
}

} // namespace

int write_responses(const std::string& dir)
{
    std::vector<double> freqs;
    for (int i = 0; i < kPoints; ++i) freqs.push_back(20.0 * std::pow(1000.0, double(i) / (kPoints - 1)));

    FILE* data = std::fopen((dir + "/responses.dat").c_str(), "w");
    FILE* names = std::fopen((dir + "/responses-names.gp").c_str(), "w");
    if (!data || !names) return 1;
    std::fprintf(names, "array type_name[%d]\n", kPlottedTypes);
    std::printf("%-3s %-30s %8s %8s %8s %14s\n", "row", "name", "100 Hz", "1 kHz", "10 kHz", "peak (res 70)");
    int status = 0;
    for (int t = 0; t < kPlottedTypes; ++t) {
        std::vector<Curve> curves;
        for (float r : kResonances) curves.push_back(measure(t, r, freqs));
        for (const Curve& c : curves) {
            if (c.peak_state > 0.5f || c.tail_db > -60.0) {
                std::fprintf(stderr, "row %d: not a linear steady state (peak %g, tail %.1f dB)\n", t,
                             double(c.peak_state), c.tail_db);
                status = 1;
            }
        }
        std::fprintf(data, "# row %d %s\n", t, zt::kResponseTypes[t].name);
        for (size_t i = 0; i < freqs.size(); ++i) {
            std::fprintf(data, "%.3f", freqs[i]);
            for (const Curve& c : curves) std::fprintf(data, " %.3f", c.gain_db[i]);
            std::fprintf(data, "\n");
        }
        std::fprintf(data, "\n\n");
        std::fprintf(names, "type_name[%d] = \"%d: %s\"\n", t + 1, t, zt::kResponseTypes[t].name);

        // A plain summary at the default resonance, for the README and for eyes.
        const Curve& d = curves[1];
        size_t peak = 0;
        for (size_t i = 0; i < freqs.size(); ++i)
            if (d.gain_db[i] > d.gain_db[peak]) peak = i;
        auto at = [&](double f) { return d.gain_db[size_t(std::lround(std::log(f / 20.0) / std::log(1000.0) * (kPoints - 1)))]; };
        std::printf("%-3d %-30s %8.1f %8.1f %8.1f %6.1f @%5.0f\n", t, zt::kResponseTypes[t].name, at(100.0),
                    at(1000.0), at(10000.0), d.gain_db[peak], freqs[peak]);
    }
    std::fclose(data);
    std::fclose(names);
    return status;
}

} // namespace ztplots
