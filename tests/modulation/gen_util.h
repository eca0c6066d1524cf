#pragma once
// Small helpers for driving the modulator and comparing generator states.
#include <bit>
#include <cstdint>

#include "engine/modulator.h"
#include "support/random_gen.h"

namespace zt::test {

inline uint32_t bits(float f) { return std::bit_cast<uint32_t>(f); }

inline bool same(const RandomGen& a, const RandomGen& b)
{
    return a.s0 == b.s0 && a.s1 == b.s1 && a.s2 == b.s2 && a.s3 == b.s3;
}

// The start state stepped n times.
inline RandomGen advanced(int n)
{
    RandomGen g = kRandomStart;
    while (n-- > 0) next_u64(g);
    return g;
}

// n frames of silence through the engine, drawing as one run call does.
inline void frames(FilterEngine& e, int n)
{
    RandomGen own{1, 2, 3, 4};
    RandomCall call = random_call_begin(&own);
    for (int i = 0; i < n; ++i) process_frame(e, call, 0.0f);
    random_call_release(call);
}

} // namespace zt::test
