#pragma once
// xoshiro256** with a fixed start state, shared by every instance in the
// process. Never reseeded: a freshly loaded library always yields the same
// sequence, and instances run one after another continue one sequence.
#include <cstdint>

namespace zt {

struct RandomGen {
    uint64_t s0, s1, s2, s3;
};

// The process-wide generator. Only touched through a RandomCall lease.
extern RandomGen g_random;

constexpr RandomGen kRandomStart{32, 21, 32, 55};

inline uint64_t rotl(uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }

inline uint64_t next_u64(RandomGen& g)
{
    const uint64_t result = rotl(g.s1 * 5, 7) * 9;
    const uint64_t t = g.s1 << 17;
    g.s2 ^= g.s0;
    g.s3 ^= g.s1;
    g.s1 ^= g.s2;
    g.s0 ^= g.s3;
    g.s2 ^= t;
    g.s3 = rotl(g.s3, 45);
    return result;
}

// The low 24 bits (not the high ones) scaled by 2^-24: [0, 1), exact in float.
inline float next_unit(RandomGen& g)
{
    return static_cast<float>(static_cast<double>(next_u64(g) & 0xFFFFFFu) * 0x1p-24);
}

// One run call's view of the generator. The shared state is leased on the
// first draw of the call (a lock-free try, never a wait) and written back at
// the end of the call. If another instance holds the lease at that moment,
// its run overlaps ours on another thread; this call then draws from the
// instance's own stream instead, so nothing blocks and nothing races.
struct RandomCall {
    RandomGen gen;
    RandomGen* own;   // the instance's private stream, used when the lease is taken
    uint8_t held;     // kNone, kShared or kOwn
};

enum : uint8_t { kRandomNone = 0, kRandomShared = 1, kRandomOwn = 2 };

void random_call_acquire(RandomCall& c);
void random_call_release(RandomCall& c);

inline RandomCall random_call_begin(RandomGen* own) { return RandomCall{{}, own, kRandomNone}; }

inline float draw_unit(RandomCall& c)
{
    if (c.held == kRandomNone) random_call_acquire(c);
    return next_unit(c.gen);
}

// Start state of an instance's private stream: distinct per instance,
// derived with splitmix64 from a process-wide instance counter.
RandomGen random_private_stream();

} // namespace zt
