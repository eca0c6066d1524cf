#pragma once
// Checks of the near forms in engine/glide_maths.h against the library
// calls they stand in for, shared by the test (small samples) and by the
// zt_glide_maths_check tool (every float, or billions of glide frames).
#include <cmath>
#include <cstdint>
#include <random>

#include "engine/glide_maths.h"
#include "engine/modulator.h"

namespace zt::check {

struct Tally {
    uint64_t tested = 0;
    uint64_t unsure = 0;      // left to the library
    uint64_t mismatched = 0;  // claimed sure, yet not the library's bits
};

// cutoff_coef_near for every `stride`-th bit pattern in [first, last].
inline Tally check_coefs(uint32_t first, uint32_t last, uint32_t stride)
{
    Tally t;
    for (uint64_t bits = first; bits <= last; bits += stride) {
        const float cutoff = std::bit_cast<float>(static_cast<uint32_t>(bits));
        const NearFloat near = cutoff_coef_near(cutoff);
        ++t.tested;
        if (!near.sure) {
            ++t.unsure;
            continue;
        }
        const float want = cutoff_coef(cutoff);
        if (std::bit_cast<uint32_t>(want) != std::bit_cast<uint32_t>(near.value)) ++t.mismatched;
    }
    return t;
}

struct GlideTally {
    Tally cutoff;
    Tally coef;
};

// Whole glides as the modulator runs them: random bands (centre 20 Hz ...
// 20 kHz, 0 ... 12 octaves), random start and target (beyond 0 ... 1 too),
// lengths from 1 to 46000; with `wild`, one band in 16 far outside and one
// glide in 11 of negative length (which runs away from its target for
// good). Every frame of each glide goes through glide_batch_near and is
// compared with glide_step's direct formula.
inline GlideTally check_glides(uint64_t seed, uint64_t glides, uint32_t max_frames_per_glide, bool wild_bands)
{
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    GlideTally t;
    FilterEngine e;
    for (uint64_t g = 0; g < glides; ++g) {
        const bool wild = wild_bands && (g % 16) == 0;
        set_center(e, wild ? std::exp2(unit(rng) * 40.0f - 10.0f) : 20.0f * std::exp2(unit(rng) * 10.0f));
        set_octaves(e, wild ? unit(rng) * 300.0f : std::floor(unit(rng) * 49.0f) * 0.25f);
        e.target = unit(rng) * 1.6f - 0.3f;
        e.settled = (g % 7 == 0) ? e.target : unit(rng) * 1.6f - 0.3f;
        int32_t length = 1 + static_cast<int32_t>(std::exp2(unit(rng) * 15.5f));
        if (wild_bands && g % 11 == 0) length = -length;
        e.glide_length = length;
        const GlideInputs in{e.target, e.settled, e.glide_length, e.freq_low,
                             std::log2(static_cast<double>(e.freq_ratio))};
        // Counts from the first frame's down to 0 (or on, for negative glides).
        const int32_t first = length - 1;
        const uint32_t frames = std::min<uint32_t>(max_frames_per_glide, length > 0 ? static_cast<uint32_t>(length)
                                                                                      : max_frames_per_glide);
        int32_t base = first & ~(kGlideBatch - 1);
        GlideBatch b;
        for (uint32_t done = 0; done < frames;) {
            glide_batch_near(b, in, base);
            for (int i = 0; i < kGlideBatch && done < frames; ++i) {
                const int32_t count = base + (kGlideBatch - 1 - i);
                if (count > first) continue;
                ++done;
                const float want_cutoff = band_cutoff(e.freq_low, e.freq_ratio, glide_position(e, count));
                ++t.cutoff.tested;
                if (!b.cutoff_sure[i]) ++t.cutoff.unsure;
                else if (std::bit_cast<uint32_t>(want_cutoff) != std::bit_cast<uint32_t>(b.cutoff_hz[i]))
                    ++t.cutoff.mismatched;
                if (!b.cutoff_sure[i]) continue;
                ++t.coef.tested;
                if (!b.coef_sure[i]) ++t.coef.unsure;
                else if (std::bit_cast<uint32_t>(cutoff_coef(want_cutoff)) != std::bit_cast<uint32_t>(b.coef[i]))
                    ++t.coef.mismatched;
            }
            base -= kGlideBatch;
        }
    }
    return t;
}

// Largest relative error of exp2_near over `points` values spread over
// [-kExp2Limit, kExp2Limit], against the long double exp2.
inline double exp2_near_error(uint64_t points, uint64_t seed)
{
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> pick(-kExp2Limit, kExp2Limit);
    double worst = 0.0;
    for (uint64_t k = 0; k < points; ++k) {
        // Every fourth point close to a half-integer, where |f| is largest.
        double y = pick(rng);
        if (k % 4 == 0) y = std::floor(y) + 0.5 - 1e-9 * static_cast<double>(k % 7);
        const long double want = exp2l(static_cast<long double>(y));
        const long double err = fabsl((static_cast<long double>(exp2_near(y)) - want) / want);
        if (static_cast<double>(err) > worst) worst = static_cast<double>(err);
    }
    return worst;
}

} // namespace zt::check
