#pragma once
// A float that run publishes and another thread reads, without a lock.
#include <atomic>

namespace zt {

// Relaxed: a reader needs the latest value of this one float, ordered with
// nothing else. Copies (tests snapshot a whole Plugin) take the present value.
struct PublishedFloat {
    std::atomic<float> value{0.0f};
    PublishedFloat() = default;
    PublishedFloat(const PublishedFloat& o) : value(o.load()) {}
    PublishedFloat& operator=(const PublishedFloat& o)
    {
        store(o.load());
        return *this;
    }
    float load() const { return value.load(std::memory_order_relaxed); }
    void store(float v) { value.store(v, std::memory_order_relaxed); }
};
static_assert(std::atomic<float>::is_always_lock_free, "run must not take a lock to publish a value");

} // namespace zt
