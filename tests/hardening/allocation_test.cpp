// instantiate allocates the instance record and its engine with non-throwing
// new. When either allocation fails it returns null and gives back what it
// had already taken; instances that come and go leave the heap as it was.
// This binary replaces operator new and delete to count live blocks and to
// make a chosen allocation fail. The heap itself is watched with glibc's
// mallinfo2 (the plugin module brings its own C++ runtime, whose new goes
// straight to malloc); under AddressSanitizer, LeakSanitizer checks the
// whole process at exit as well.
#include <gtest/gtest.h>
#include <malloc.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <vector>

#include "lv2_rig.h"

namespace {

std::atomic<long> g_live{0};       // blocks from operator new not yet deleted
std::atomic<long> g_requests{0};   // operator new calls so far
std::atomic<long> g_fail_at{-1};   // g_requests value whose request fails; -1: none

void* counted_new(size_t n, bool nothrow)
{
    const long id = g_requests.fetch_add(1);
    if (id == g_fail_at.load()) {
        if (nothrow) return nullptr;
        // The plugin is built without exceptions: a throwing new cannot
        // report failure to it, so using one is a fault in itself.
        std::fputs("allocation failure injected into a throwing operator new\n", stderr);
        std::abort();
    }
    void* p = std::malloc(n ? n : 1);
    if (!p && !nothrow) std::abort();
    if (p) g_live.fetch_add(1);
    return p;
}

void counted_delete(void* p)
{
    if (!p) return;
    g_live.fetch_sub(1);
    std::free(p);
}

} // namespace

void* operator new(size_t n) { return counted_new(n, false); }
void* operator new[](size_t n) { return counted_new(n, false); }
void* operator new(size_t n, const std::nothrow_t&) noexcept { return counted_new(n, true); }
void* operator new[](size_t n, const std::nothrow_t&) noexcept { return counted_new(n, true); }
void operator delete(void* p) noexcept { counted_delete(p); }
void operator delete[](void* p) noexcept { counted_delete(p); }
void operator delete(void* p, size_t) noexcept { counted_delete(p); }
void operator delete[](void* p, size_t) noexcept { counted_delete(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { counted_delete(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { counted_delete(p); }

namespace {

size_t heap_in_use() { return mallinfo2().uordblks; }

LV2_Handle instantiate(const LV2_Descriptor* d) { return d->instantiate(d, 44100, "/nowhere", nullptr); }

TEST(FailedAllocation, EveryAllocationOfInstantiateMayFailWithoutLeaking)
{
    const LV2_Descriptor* d = zt_test::linked_descriptor();
    // A successful instantiate: how many allocations it makes. Counts are
    // taken around the plugin's calls only (the test framework allocates too).
    long live_before = g_live.load();
    const long first = g_requests.load();
    LV2_Handle h = instantiate(d);
    const long made = g_requests.load() - first;
    ASSERT_NE(h, nullptr);
    d->cleanup(h);
    EXPECT_EQ(g_live.load(), live_before);
    EXPECT_EQ(made, 2) << "the instance record and its engine";

    for (long k = 0; k < made; ++k) {
        live_before = g_live.load();
        const size_t heap_before = heap_in_use();
        g_fail_at.store(g_requests.load() + k);
        h = instantiate(d);
        g_fail_at.store(-1);
        const long live_after = g_live.load();
        const size_t heap_after = heap_in_use();
        SCOPED_TRACE(testing::Message() << "allocation " << k + 1 << " fails");
        EXPECT_EQ(h, nullptr);
        EXPECT_EQ(live_after, live_before);
        EXPECT_EQ(heap_after, heap_before);
    }
    // And the next attempt works again.
    live_before = g_live.load();
    h = instantiate(d);
    ASSERT_NE(h, nullptr);
    d->cleanup(h);
    EXPECT_EQ(g_live.load(), live_before);
}

// Full lives: instantiate, connect, activate, run, deactivate, activate
// again, run, cleanup; several instances alive at once.
void cycle_instances(const LV2_Descriptor* d, int cycles)
{
    std::vector<float> buf(256, 0.25f);
    for (int c = 0; c < cycles; ++c) {
        zt_test::Rig a(d), b(d);
        ASSERT_NE(a.handle, nullptr);
        ASSERT_NE(b.handle, nullptr);
        a.control[zt::PORT_TYPE] = static_cast<float>(c % 40);
        for (zt_test::Rig* r : {&a, &b}) {
            d->activate(r->handle);
            r->run(buf.data(), buf.data(), 256);
            d->deactivate(r->handle);
            d->activate(r->handle);
            r->run(buf.data(), buf.data(), 17);
            d->deactivate(r->handle);
        }
    }
}

TEST(Leaks, InstanceLivesLeaveTheHeapAsItWas)
{
    const LV2_Descriptor* d = zt_test::linked_descriptor();
    cycle_instances(d, 1);  // the C library's own first-use allocations
    const long live_before = g_live.load();
    const size_t heap_before = heap_in_use();
    cycle_instances(d, 300);
    const long live_after = g_live.load();
    const size_t heap_after = heap_in_use();
    EXPECT_EQ(live_after, live_before);
    EXPECT_EQ(heap_after, heap_before);
}

TEST(Leaks, ModuleInstanceLivesLeaveTheHeapAsItWas)
{
    zt_test::LoadedModule module;
    const LV2_Descriptor* d = module.descriptor();
    ASSERT_NE(d, nullptr);
    cycle_instances(d, 1);
    const size_t heap_before = heap_in_use();
    cycle_instances(d, 300);
    const size_t heap_after = heap_in_use();
    EXPECT_EQ(heap_after, heap_before);
}

} // namespace
