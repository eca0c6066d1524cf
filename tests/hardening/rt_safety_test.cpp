// run is real-time code: no allocation, no file access, no locks, no sleeps.
// Every run call (and every connect_port, also an audio-thread call) of a
// long session is made with the rt_guard net armed; the session moves every
// control through its range and far beyond, every shape and response type,
// glides of every kind and every frame count from 0 to 8192. It runs once on
// the objects linked into this binary and once on the built module as lilv
// loads it.
#include <gtest/gtest.h>
#include <pthread.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>

#include "lv2_rig.h"
#include "lv2/inline_display.h"
#include "rt_guard.h"

namespace {

using zt_test::Rig;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr uint32_t kMaxFrames = 8192;
constexpr uint32_t kPad = 64;  // frames past n that must stay untouched
constexpr uint32_t kSentinel = 0x7FA5A5A5u;  // a NaN no finite output can equal

// What each control takes during the session: its declared range, its
// edges, and what hosts pass on unfiltered (out of range, NaN, infinities).
std::vector<float> session_values(uint32_t port)
{
    switch (port) {
    case zt::PORT_MIX: return {-100, 0, 100, 50, -37.5f, 1e30f, -1e30f, kNaN, kInf, -kInf};
    case zt::PORT_RATE: return {0.1f, 7.5f, 50, 0, -5, 48001, 1e9f, kInf, kNaN, 13};
    case zt::PORT_GLIDE_DOWN:
    case zt::PORT_GLIDE_UP: return {0, 1, 50, 100, 300, -20, 1e9f, kNaN, kInf, -kInf, 0.001f};
    case zt::PORT_SHAPE: return {-1, 0, 1, 2, 3, 4, 5, 2.9f, -0.5f, kNaN, 1e20f};
    case zt::PORT_RESONANCE: return {0, 70, 100, 400, -50, 1e30f, kNaN, kInf, 35};
    case zt::PORT_CENTER: return {20, 1200, 20000, 0, -100, 1e30f, kNaN, kInf, 440};
    case zt::PORT_OCTAVES: return {0, 4, 10, 300, -4, kNaN, kInf, 1};
    default: {  // PORT_TYPE: every row, past the table, negative, fractional
        std::vector<float> v;
        for (int t = 0; t < 40; ++t) v.push_back(static_cast<float>(t));
        for (float t : {40.0f, 1000.0f, -3.0f, 2.9f, kNaN, kInf}) v.push_back(t);
        return v;
    }
    }
}

// A sawtooth with the odd non-finite or huge sample, so the recovery path
// after a non-finite frame runs under the net as well.
std::vector<float> session_input(size_t length)
{
    std::vector<float> v(length);
    for (size_t j = 0; j < length; ++j) v[j] = static_cast<float>(j % 109) / 54.5f - 1.0f;
    for (size_t j = 997; j < length; j += 4099) v[j] = kNaN;
    for (size_t j = 1999; j < length; j += 5003) v[j] = kInf;
    for (size_t j = 2999; j < length; j += 6007) v[j] = -3e38f;
    return v;
}

class RealTimeSafety : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override
    {
        if (GetParam()) {
            module_ = std::make_unique<zt_test::LoadedModule>();
            desc_ = module_->descriptor();
            ASSERT_NE(desc_, nullptr) << "the module was not found through LV2_PATH";
        } else {
            desc_ = zt_test::linked_descriptor();
        }
        rt_guard::take();
    }

    // One armed run: separate buffers, the same buffer, or buffers moved to
    // other addresses (hosts such as Ardour pass new pointers every cycle).
    // Checks that every frame below n was written and none past it touched.
    void armed_run(Rig& rig, uint32_t n, uint32_t call)
    {
        const uint32_t mode = call % 3;
        const size_t shift = (mode == 2) ? 4 : 0;
        const float* src = input_.data() + (call * 131u) % (input_.size() - kMaxFrames - kPad);
        float* out = out_.data() + shift;
        float* in = in_.data() + shift;
        std::memcpy(in, src, n * sizeof(float));
        const float sentinel = std::bit_cast<float>(kSentinel);
        std::fill(out, out + n + kPad, sentinel);
        if (mode == 1) {
            std::memcpy(out, src, n * sizeof(float));
            in = out;
        }
        {
            const rt_guard::Armed armed;
            rig.connect(in, out);
            rig.run(n);
        }
        const rt_guard::Catch c = rt_guard::take();
        ASSERT_EQ(c.count, 0u) << c.first() << " called from run (call " << call << ", " << n << " frames)";
        for (uint32_t j = 0; j < n; ++j)
            ASSERT_TRUE(std::isfinite(out[j])) << "frame " << j << " of call " << call;
        for (uint32_t j = n; j < n + kPad; ++j)
            ASSERT_EQ(std::bit_cast<uint32_t>(out[j]), kSentinel) << "frame " << j << " >= n = " << n;
    }

    std::unique_ptr<zt_test::LoadedModule> module_;
    const LV2_Descriptor* desc_ = nullptr;
    std::vector<float> input_ = session_input(1 << 20);
    std::vector<float> in_ = std::vector<float>(kMaxFrames + kPad + 4);
    std::vector<float> out_ = std::vector<float>(kMaxFrames + kPad + 4);
};

// With the host's request for a new mixer-strip picture given: run calls it
// from inside the net, at most once per call.
TEST_P(RealTimeSafety, EveryFrameCountWithEveryControlMoving)
{
    uint32_t asked = 0;
    zt::InlineDisplayQueueDraw queue{&asked, [](void* h) { ++*static_cast<uint32_t*>(h); }};
    const LV2_Feature feature{ZT_INLINE_DISPLAY__queue_draw, &queue};
    const LV2_Feature* features[] = {&feature, nullptr};
    Rig rig(desc_, 48000, features);
    ASSERT_NE(rig.handle, nullptr);
    std::vector<float> values[zt::PORT_COUNT];
    for (uint32_t p = zt::PORT_MIX; p < zt::PORT_COUNT; ++p) values[p] = session_values(p);
    // Call n runs n frames, after changing one control to its next value;
    // the first call runs with the defaults.
    for (uint32_t n = 0; n <= kMaxFrames; ++n) {
        if (n > 0) {
            const uint32_t port = zt::PORT_MIX + n % 9;
            const std::vector<float>& v = values[port];
            rig.control[port] = v[(n / 9) % v.size()];
        }
        armed_run(rig, n, n);
        if (HasFatalFailure()) return;
    }
    EXPECT_GT(asked, kMaxFrames / 2) << "a control changes before nearly every call";
    EXPECT_LE(asked, kMaxFrames + 1);
}

TEST_P(RealTimeSafety, EveryShapeWithGlidesOfEveryKind)
{
    Rig rig(desc_);
    ASSERT_NE(rig.handle, nullptr);
    rig.control[zt::PORT_RATE] = 50;  // events every 960 frames once the ramp arrives
    uint32_t call = 0;
    for (float shape : {-1.0f, 0.0f, 1.0f, 2.0f, 3.0f, 4.0f, 5.0f}) {
        rig.control[zt::PORT_SHAPE] = shape;
        // No glide, a short one, most of the period, longer than the period
        // (abandoned), negative (never completes), unequal up and down.
        for (auto [down, up] : {std::pair{0.0f, 0.0f}, {1.0f, 1.0f}, {90.0f, 90.0f}, {250.0f, 250.0f},
                                {-20.0f, -20.0f}, {0.0f, 100.0f}, {100.0f, -5.0f}}) {
            rig.control[zt::PORT_GLIDE_DOWN] = down;
            rig.control[zt::PORT_GLIDE_UP] = up;
            for (uint32_t n : {2048u, 16u, 1u, 4095u}) {
                armed_run(rig, n, call++);
                if (HasFatalFailure()) return;
            }
        }
    }
    // A rate ramp through zero to negative periods: an event, with three
    // draws, on every frame, and glides of negative length.
    rig.control[zt::PORT_SHAPE] = 2;
    rig.control[zt::PORT_GLIDE_DOWN] = rig.control[zt::PORT_GLIDE_UP] = -20;
    rig.control[zt::PORT_RATE] = -1e6f;
    for (int i = 0; i < 60; ++i) {
        armed_run(rig, kMaxFrames, call++);
        if (HasFatalFailure()) return;
    }
}

INSTANTIATE_TEST_SUITE_P(LinkedAndLoaded, RealTimeSafety, ::testing::Values(false, true),
                         [](const auto& p) { return p.param ? "ModuleThroughLilv" : "LinkedObjects"; });

// The net itself: it must catch calls made from this binary and from other
// shared objects, or the tests above prove nothing.
TEST(RtGuard, CatchesAllocationFilesAndLocksFromAnyObject)
{
    void* (*volatile alloc)(size_t) = std::malloc;
    void* (*volatile new_op)(size_t) = ::operator new;
    FILE* (*volatile open_file)(const char*, const char*) = std::fopen;
    int (*volatile lock)(pthread_mutex_t*) = pthread_mutex_lock;
    pthread_mutex_t m = PTHREAD_MUTEX_INITIALIZER;
    LilvWorld* world = lilv_world_new();
    rt_guard::take();

    void* p = nullptr;
    {
        const rt_guard::Armed armed;
        p = alloc(24);
    }
    EXPECT_TRUE(rt_guard::take().has("malloc"));
    std::free(p);
    {
        const rt_guard::Armed armed;
        p = new_op(24);
    }
    EXPECT_TRUE(rt_guard::take().has("operator new"));
    ::operator delete(p);
    FILE* f = nullptr;
    {
        const rt_guard::Armed armed;
        f = open_file("/dev/null", "r");
    }
    EXPECT_TRUE(rt_guard::take().has("fopen"));
    if (f) std::fclose(f);
    {
        const rt_guard::Armed armed;
        lock(&m);
    }
    EXPECT_TRUE(rt_guard::take().has("pthread_mutex_lock"));
    pthread_mutex_unlock(&m);
    // liblilv allocates through its own reference to malloc.
    LilvNode* node = nullptr;
    {
        const rt_guard::Armed armed;
        node = lilv_new_string(world, "caught");
    }
    EXPECT_TRUE(rt_guard::take().has("malloc"));
    lilv_node_free(node);
    lilv_world_free(world);
    rt_guard::take();
}

// The module's own calls reach the net: its instantiate opens the log path
// and allocates (malloc, bound to this binary's definition), both caught.
TEST(RtGuard, CatchesTheModulesOwnCalls)
{
    zt_test::LoadedModule module;
    const LV2_Descriptor* d = module.descriptor();
    ASSERT_NE(d, nullptr);
    rt_guard::take();
    LV2_Handle h;
    {
        const rt_guard::Armed armed;
        h = d->instantiate(d, 48000, "", nullptr);
    }
    const rt_guard::Catch c = rt_guard::take();
    EXPECT_TRUE(c.has("malloc"));
    EXPECT_TRUE(c.has("open"));
    d->cleanup(h);
}

} // namespace
