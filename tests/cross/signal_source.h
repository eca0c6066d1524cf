#pragma once
// Test inputs for the render host. Every sample comes from integer
// arithmetic and single correctly rounded float operations, so any
// processor produces the same bits (no maths library, no contraction).
#include <cstdint>
#include <string>

namespace zt_cross {

struct SignalSource {
    enum Kind { SILENCE, NOISE, SAW, PULSE, IMPULSE, DC } kind = SILENCE;
    float amp = 0.0f;
    uint32_t period = 100;   // frames, for saw, pulse and impulse
    uint32_t phase = 0;      // frames since the period began
    uint32_t noise = 2463534242u;  // xorshift32 state, kept across selections

    bool select(const std::string& name, float a, long p)
    {
        static const char* const names[] = {"silence", "noise", "saw", "pulse", "impulse", "dc"};
        for (int k = 0; k < 6; ++k) {
            if (name != names[k]) continue;
            if (p < 1 || p > 1000000) return false;
            kind = Kind(k);
            amp = a;
            period = uint32_t(p);
            phase = 0;
            return true;
        }
        return false;
    }

    float next()
    {
        const uint32_t t = phase;
        phase = (phase + 1 == period) ? 0 : phase + 1;
        switch (kind) {
        case NOISE: {
            noise ^= noise << 13;
            noise ^= noise >> 17;
            noise ^= noise << 5;
            // A signed 24-bit value, exact in float, scaled by a power of two.
            const float unit = float(int32_t(noise) >> 8) * 0x1p-23f;
            return unit * amp;
        }
        case SAW:
            return (float(t) / float(period) * 2.0f - 1.0f) * amp;
        case PULSE:
            return t < period / 2 ? amp : -amp;
        case IMPULSE:
            return t == 0 ? amp : 0.0f;
        case DC:
            return amp;
        case SILENCE:
            break;
        }
        return 0.0f;
    }
};

} // namespace zt_cross
