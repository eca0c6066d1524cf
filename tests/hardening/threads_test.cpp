// Instances share one random generator, and hosts run instances on several
// threads at once. A run leases the shared state lock-free at its first draw
// and writes it back at its end; a run that finds it leased draws from its
// instance's private stream instead, so nothing waits and nothing races.
// The stress case is meant for the ThreadSanitizer build, which fails the
// process on any data race; in the plain build it checks the same outputs.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <thread>
#include <vector>

#include "lv2_rig.h"
#include "lv2/inline_display.h"
#include "support/random_gen.h"

namespace {

bool same(const zt::RandomGen& a, const zt::RandomGen& b)
{
    return a.s0 == b.s0 && a.s1 == b.s1 && a.s2 == b.s2 && a.s3 == b.s3;
}

TEST(SharedGenerator, OverlappingCallDrawsFromItsOwnStreamAndLeavesTheSharedOneAlone)
{
    zt::g_random = zt::kRandomStart;
    zt::RandomGen own_a = zt::random_private_stream();
    zt::RandomGen own_b = zt::random_private_stream();
    const zt::RandomGen b_start = own_b;
    zt::RandomGen shared = zt::kRandomStart;   // what the shared sequence gives
    zt::RandomGen private_b = own_b;           // and b's own

    zt::RandomCall a = zt::random_call_begin(&own_a);
    EXPECT_EQ(zt::draw_unit(a), zt::next_unit(shared));
    EXPECT_EQ(a.held, zt::kRandomShared);

    zt::RandomCall b = zt::random_call_begin(&own_b);
    EXPECT_EQ(zt::draw_unit(b), zt::next_unit(private_b));
    EXPECT_EQ(zt::draw_unit(b), zt::next_unit(private_b));
    EXPECT_EQ(b.held, zt::kRandomOwn);
    zt::random_call_release(b);
    EXPECT_TRUE(same(own_b, private_b)) << "the private stream did not advance";
    EXPECT_FALSE(same(own_b, b_start));
    EXPECT_TRUE(same(zt::g_random, zt::kRandomStart)) << "the overlapping call touched the shared state";

    EXPECT_EQ(zt::draw_unit(a), zt::next_unit(shared));
    zt::random_call_release(a);
    EXPECT_TRUE(same(zt::g_random, shared));

    // Released: the next call continues the shared sequence.
    zt::RandomCall c = zt::random_call_begin(&own_a);
    EXPECT_EQ(zt::draw_unit(c), zt::next_unit(shared));
    EXPECT_EQ(c.held, zt::kRandomShared);
    zt::random_call_release(c);
}

TEST(SharedGenerator, CallWithoutDrawsTakesNoLease)
{
    zt::g_random = zt::kRandomStart;
    zt::RandomGen own_a = zt::random_private_stream();
    zt::RandomGen own_b = zt::random_private_stream();
    zt::RandomCall idle = zt::random_call_begin(&own_a);
    zt::RandomCall drawing = zt::random_call_begin(&own_b);
    zt::draw_unit(drawing);
    EXPECT_EQ(drawing.held, zt::kRandomShared);
    zt::random_call_release(drawing);
    zt::random_call_release(idle);
    zt::RandomGen expect = zt::kRandomStart;
    zt::next_u64(expect);
    EXPECT_TRUE(same(zt::g_random, expect));
}

// Eight instances on four threads, each call 256 frames, with controls that
// make events (and draws) frequent, while a fifth thread keeps creating,
// running and destroying further instances.
TEST(Threads, EightInstancesOnFourThreadsWhileOthersComeAndGo)
{
    const LV2_Descriptor* d = zt_test::linked_descriptor();
    constexpr int kThreads = 4;
    constexpr int kCalls = 1500;
    constexpr uint32_t kFrames = 256;
    std::atomic<int> running{kThreads};
    std::atomic<int> non_finite{0};
    std::atomic<int> churned{0};

    auto worker = [&](int id) {
        zt_test::Rig rigs[2] = {zt_test::Rig(d), zt_test::Rig(d)};
        std::vector<float> in(kFrames), out(kFrames);
        for (int r = 0; r < 2; ++r) {
            // A negative rate gives a negative period: an event every frame
            // once the ramp has crossed 0 (after about 2300 frames).
            rigs[r].control[zt::PORT_RATE] = (id + r) % 2 ? -2.0f : 50.0f;
            rigs[r].control[zt::PORT_SHAPE] = static_cast<float>((id + 2 * r) % 5);
            rigs[r].control[zt::PORT_GLIDE_UP] = 30;
        }
        for (int call = 0; call < kCalls; ++call) {
            for (uint32_t j = 0; j < kFrames; ++j)
                in[j] = std::sin(0.01f * static_cast<float>(call * kFrames + j) * static_cast<float>(id + 1));
            for (zt_test::Rig& rig : rigs) {
                rig.control[zt::PORT_TYPE] = static_cast<float>((call / 50 + id) % 40);
                rig.run(in.data(), out.data(), kFrames);
                for (float y : out)
                    if (!std::isfinite(y)) non_finite.fetch_add(1);
            }
        }
        running.fetch_sub(1);
    };
    auto churn = [&] {
        std::vector<float> buf(64, 0.5f);
        while (running.load() > 0) {
            zt_test::Rig rig(d);
            rig.control[zt::PORT_RATE] = -2.0f;
            rig.control[zt::PORT_SHAPE] = 2;
            for (int i = 0; i < 40; ++i) rig.run(buf.data(), buf.data(), 64);
            churned.fetch_add(1);
        }
    };

    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) threads.emplace_back(worker, t);
    threads.emplace_back(churn);
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(non_finite.load(), 0);
    EXPECT_GT(churned.load(), 0);
}

// A window reads the published cutoff from the UI thread while run writes
// it from the audio thread. Each call publishes the engine's cutoff as the
// call leaves it (NaN before the first call); read concurrently, every value
// is one of those (inside the band), and the ThreadSanitizer build fails on
// any race between the two threads.
TEST(Threads, WindowReadsThePublishedCutoffWhileRunWritesIt)
{
    const LV2_Descriptor* d = zt_test::linked_descriptor();
    zt_test::Rig rig(d);
    rig.control[zt::PORT_RATE] = 50;
    rig.control[zt::PORT_GLIDE_DOWN] = 100;
    rig.control[zt::PORT_GLIDE_UP] = 100;
    rig.control[zt::PORT_OCTAVES] = 6;
    const zt::Plugin& p = *static_cast<const zt::Plugin*>(rig.handle);
    EXPECT_TRUE(std::isnan(zt::plugin_live_cutoff(p))) << "a cutoff before the first run";
    std::vector<float> in(256, 0.1f), out(256);
    int changes = 0;
    float last = zt::plugin_live_cutoff(p);
    for (int call = 0; call < 200; ++call) {
        rig.run(in.data(), out.data(), call % 2 ? 256 : 17);
        ASSERT_EQ(zt::plugin_live_cutoff(p), p.engine->cutoff_hz) << "call " << call;
        if (zt::plugin_live_cutoff(p) != last) ++changes;
        last = zt::plugin_live_cutoff(p);
    }
    EXPECT_GT(changes, 150) << "gliding all the time, the cutoff should move at nearly every call";

    // The band: 1200 Hz, 3 octaves either side.
    const float low = 1200.0f / 8.0f * 0.999f, high = 1200.0f * 8.0f * 1.001f;
    std::atomic<bool> done{false};
    std::thread audio([&] {
        std::vector<float> a(256, 0.1f), b(256);
        for (int call = 0; call < 4000; ++call) rig.run(a.data(), b.data(), 256);
        done.store(true);
    });
    int reads = 0, outside = 0;
    while (!done.load()) {
        const float hz = zt::plugin_live_cutoff(p);
        ++reads;
        if (!(hz >= low && hz <= high)) ++outside;
    }
    audio.join();
    EXPECT_EQ(outside, 0) << "of " << reads << " reads";
    EXPECT_EQ(zt::plugin_live_cutoff(p), p.engine->cutoff_hz);
}

} // namespace

namespace {

// The mixer strip's picture: run publishes on the audio thread what the
// host's GUI thread draws from, and asks for redraws through queue_draw.
// Every picture drawn meanwhile is whole and opaque; the ThreadSanitizer
// build fails on any race between the two.
TEST(Threads, HostDrawsThePictureWhileRunPublishesIt)
{
    std::atomic<int> asked{0};
    zt::InlineDisplayQueueDraw queue{&asked, [](void* h) { static_cast<std::atomic<int>*>(h)->fetch_add(1); }};
    const LV2_Feature feature{ZT_INLINE_DISPLAY__queue_draw, &queue};
    const LV2_Feature* features[] = {&feature, nullptr};
    const LV2_Descriptor* d = zt_test::linked_descriptor();
    zt_test::Rig rig(d, 48000, features);
    rig.control[zt::PORT_RATE] = 50;
    rig.control[zt::PORT_GLIDE_DOWN] = rig.control[zt::PORT_GLIDE_UP] = 100;
    const auto* display = static_cast<const zt::InlineDisplayInterface*>(d->extension_data(ZT_INLINE_DISPLAY__interface));
    ASSERT_NE(display, nullptr);

    std::atomic<bool> done{false};
    std::thread audio([&] {
        std::vector<float> a(256, 0.1f), b(256);
        for (int call = 0; call < 3000; ++call) {
            rig.control[zt::PORT_TYPE] = float(call / 100 % 37);  // the controls move too
            rig.control[zt::PORT_MIX] = float(call % 201 - 100);
            rig.run(a.data(), b.data(), 256);
        }
        done.store(true);
    });
    int pictures = 0, not_opaque = 0;
    for (; !done.load(); ++pictures) {
        const zt::InlineDisplaySurface* s = display->render(rig.handle, 120, 112);
        ASSERT_NE(s, nullptr);
        const uint32_t* px = reinterpret_cast<const uint32_t*>(s->data);  // stride: the width
        not_opaque += int(std::count_if(px, px + s->width * s->height, [](uint32_t p) { return p >> 24 != 0xFF; }));
    }
    audio.join();
    EXPECT_EQ(not_opaque, 0) << "in " << pictures << " pictures";
    EXPECT_GT(pictures, 0);
    EXPECT_GT(asked.load(), 1000) << "the cutoff glides at nearly every call";
    EXPECT_LE(asked.load(), 3000) << "at most once per run";
}

} // namespace
