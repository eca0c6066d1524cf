#include "random_gen.h"

#include <atomic>

namespace zt {

RandomGen g_random = kRandomStart;

namespace {
// Set while one run call holds g_random. Acquire/release on this flag orders
// every access to g_random, so runs on different threads never race on it.
std::atomic<bool> g_random_busy{false};
std::atomic<uint64_t> g_private_streams{0};

uint64_t splitmix64(uint64_t& x)
{
    uint64_t z = (x += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}
} // namespace

void random_call_acquire(RandomCall& c)
{
    if (!g_random_busy.exchange(true, std::memory_order_acquire)) {
        c.gen = g_random;
        c.held = kRandomShared;
    } else {
        c.gen = *c.own;
        c.held = kRandomOwn;
    }
}

void random_call_release(RandomCall& c)
{
    if (c.held == kRandomShared) {
        g_random = c.gen;
        g_random_busy.store(false, std::memory_order_release);
    } else if (c.held == kRandomOwn) {
        *c.own = c.gen;
    }
    c.held = kRandomNone;
}

RandomGen random_private_stream()
{
    uint64_t x = g_private_streams.fetch_add(1, std::memory_order_relaxed) ^ 0x5A17E0C3D2B1A987ull;
    RandomGen g{splitmix64(x), splitmix64(x), splitmix64(x), splitmix64(x)};
    return g;
}

} // namespace zt
