// Hosts load and unload plugin libraries many times (scanning, opening
// sessions, replacing a plugin). The built module is loaded with dlopen,
// instantiated, run, cleaned up and unloaded a thousand times: each unload
// must really take it out of the process, and the process's mapped memory
// and heap must end where they began. A library that allocated at load and
// lost it at unload (as a static C++ runtime does with its exception pool,
// 71 kB a time) would grow the process by tens of megabytes here.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <lv2/core/lv2.h>
#include <malloc.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <string>

#include "core/plugin.h"

namespace {

const std::string kLibrary = ZT_BUNDLE_PARENT "/zirpomatik-tolm.lv2/libzirpomatik-tolm.so";

// The process's whole address space, from the first field of statm.
long mapped_bytes()
{
    long pages = -1;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld", &pages) != 1) pages = -1;
        std::fclose(f);
    }
    return pages * sysconf(_SC_PAGESIZE);
}

#ifdef ZT_SANITIZED
// From the sanitizer runtimes' allocator interface (GCC installs no header).
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

// Bytes of heap in use. A sanitizer's allocator replaces glibc's and
// counts its own.
size_t heap_bytes()
{
#ifdef ZT_SANITIZED
    return __sanitizer_get_current_allocated_bytes();
#else
    return mallinfo2().uordblks;
#endif
}

// One life of the library as a host gives it. Returns false, with the
// reason recorded, when a step fails.
bool load_run_unload()
{
    void* lib = dlopen(kLibrary.c_str(), RTLD_NOW | RTLD_LOCAL);
    EXPECT_NE(lib, nullptr) << dlerror();
    if (!lib) return false;
    auto entry = reinterpret_cast<LV2_Descriptor_Function>(dlsym(lib, "lv2_descriptor"));
    const LV2_Descriptor* d = entry ? entry(0) : nullptr;
    LV2_Handle h = d ? d->instantiate(d, 48000, "", nullptr) : nullptr;
    EXPECT_NE(h, nullptr);
    if (h) {
        std::array<float, zt::PORT_COUNT> control = {0, 0, 100, 7.5f, 1, 1, 0, 70, 1200, 4, 3};
        std::array<float, 256> in, out;
        in.fill(0.25f);
        for (uint32_t p = zt::PORT_MIX; p < zt::PORT_COUNT; ++p) d->connect_port(h, p, &control[p]);
        d->connect_port(h, zt::PORT_IN, in.data());
        d->connect_port(h, zt::PORT_OUT, out.data());
        d->activate(h);
        d->run(h, 256);
        d->deactivate(h);
        d->cleanup(h);
    }
    dlclose(lib);
    // Still mapped after the last dlclose would mean something pinned it
    // (a unique symbol of a C++ runtime does), and then nothing here would
    // be unloaded at all.
    void* still = dlopen(kLibrary.c_str(), RTLD_NOW | RTLD_NOLOAD);
    EXPECT_EQ(still, nullptr) << "the library stayed loaded after dlclose";
    if (still) dlclose(still);
    return h && !still;
}

TEST(LoadCycles, AThousandLoadsLeaveTheProcessAsItWas)
{
    // The first lives settle the C library's and the loader's own caches.
    for (int i = 0; i < 10; ++i) ASSERT_TRUE(load_run_unload());
    const long mapped_before = mapped_bytes();
    const size_t heap_before = heap_bytes();
    for (int i = 0; i < 1000; ++i) ASSERT_TRUE(load_run_unload()) << "life " << i;
    const long mapped_after = mapped_bytes();
    const size_t heap_after = heap_bytes();
    ASSERT_GT(mapped_before, 0);
    // One lost byte per load would show in the heap figure.
    EXPECT_EQ(heap_after, heap_before);
#ifdef ZT_SANITIZED
    GTEST_SKIP() << "mapped memory not compared in a sanitizer build, whose allocator keeps freed "
                    "blocks in quarantine and maps more as it goes ("
                 << mapped_before << " -> " << mapped_after << " bytes); the heap was compared";
#endif
    // Noise: an arena or a loader structure that happens to move.
    EXPECT_LE(mapped_after - mapped_before, 256 * 1024) << mapped_before << " -> " << mapped_after;
}

} // namespace
