// instantiate allocates the instance record and its engine from malloc.
// When either allocation fails it returns null and gives back what it had
// already taken; instances that come and go leave the heap as it was.
// This binary is linked with --wrap for the C library's allocation calls,
// so every such call made by the plugin's objects linked into it (and by
// nothing else in the process) passes through the counters below, which
// can make a chosen allocation fail. The heap itself is watched with
// glibc's mallinfo2, which also covers the module loaded from the bundle;
// under AddressSanitizer, LeakSanitizer checks the whole process at exit
// as well.
#include <gtest/gtest.h>
#include <malloc.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "lv2_rig.h"

extern "C" {
void* __real_malloc(size_t);
void* __real_calloc(size_t, size_t);
void* __real_realloc(void*, size_t);
void __real_free(void*);
}

namespace {

std::atomic<long> g_live{0};       // blocks allocated and not yet freed
std::atomic<long> g_requests{0};   // allocation calls so far
std::atomic<long> g_fail_at{-1};   // g_requests value whose request fails; -1: none

bool fails_now() { return g_requests.fetch_add(1) == g_fail_at.load(); }

void* counted(void* p)
{
    if (p) g_live.fetch_add(1);
    return p;
}

} // namespace

// The test's own objects are wrapped too; they allocate through operator
// new, which lives in the shared C++ runtime and is not wrapped.
extern "C" {
void* __wrap_malloc(size_t n) { return fails_now() ? nullptr : counted(__real_malloc(n)); }
void* __wrap_calloc(size_t k, size_t n) { return fails_now() ? nullptr : counted(__real_calloc(k, n)); }
void* __wrap_realloc(void* p, size_t n)
{
    // A grown block is still one block: only a fresh one counts.
    if (fails_now()) return nullptr;
    void* q = __real_realloc(p, n);
    return p ? q : counted(q);
}
void __wrap_free(void* p)
{
    if (p) g_live.fetch_sub(1);
    __real_free(p);
}
}

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
