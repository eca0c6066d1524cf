// Several instances and one generator: runs one after another continue one
// sequence, on one thread or several; overlapping runs neither block nor break.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "controls/rig.h"
#include "gen_util.h"

namespace zt::test {
namespace {

// Events every 6 frames from the first run on (the rate ramp would take
// hours of blocks to get there from its start value).
void fast_events(Rig& r, float shape)
{
    r.port[PORT_SHAPE] = shape;
    r.port[PORT_RATE] = 8000.0f;
    r.p->rate.smoother.current = 8000.0f;
    set_rate(r.e(), 8000.0f);
}

TEST(Sharing, InstancesRunInTurnContinueOneSequence)
{
    g_random = kRandomStart;
    Rig a, b;
    a.port[PORT_SHAPE] = 0;
    b.port[PORT_SHAPE] = 2;
    a.run(112);  // one event each, on frame 100
    b.run(112);
    constexpr float u0 = 120960 * 0x1p-24f, u1 = u0, u2 = 132480 * 0x1p-24f;
    RandomGen g = advanced(3);
    const float u3 = next_unit(g);
    EXPECT_EQ(a.e().target, u0);
    EXPECT_EQ(bits(b.e().target), bits(u3 * (u2 * u1)));
    EXPECT_TRUE(same(g_random, advanced(4)));
    a.run(16);  // no event: nothing drawn, nothing written back
    EXPECT_TRUE(same(g_random, advanced(4)));
}

// Three instances take turns on three threads; the result equals the same
// schedule on one thread, so handing the generator between threads loses
// nothing.
TEST(Sharing, TurnsOnSeveralThreadsEqualOneThread)
{
    constexpr int kInstances = 3, kTurns = 20;
    auto schedule = [](bool threaded) {
        g_random = kRandomStart;
        std::vector<std::unique_ptr<Rig>> rigs;
        for (int i = 0; i < kInstances; ++i) {
            rigs.push_back(std::make_unique<Rig>(64));
            fast_events(*rigs.back(), static_cast<float>(i % 3 * 2));  // shapes 0, 2, 4
        }
        std::vector<float> targets;
        auto turn = [&](int i) { rigs[i]->run(64); targets.push_back(rigs[i]->e().target); };
        if (!threaded) {
            for (int k = 0; k < kTurns * kInstances; ++k) turn(k % kInstances);
        } else {
            std::mutex m;
            std::condition_variable cv;
            int next = 0;
            std::vector<std::thread> threads;
            for (int i = 0; i < kInstances; ++i)
                threads.emplace_back([&, i] {
                    for (int k = 0; k < kTurns; ++k) {
                        std::unique_lock lock(m);
                        cv.wait(lock, [&] { return next % kInstances == i; });
                        turn(i);
                        ++next;
                        cv.notify_all();
                    }
                });
            for (std::thread& t : threads) t.join();
        }
        return std::pair{targets, g_random};
    };
    const auto [targets_one, gen_one] = schedule(false);
    const auto [targets_many, gen_many] = schedule(true);
    EXPECT_EQ(targets_one, targets_many);
    EXPECT_TRUE(same(gen_one, gen_many));
    EXPECT_FALSE(same(gen_one, kRandomStart));
}

// Runs overlapping on four threads with an event every 6 frames: no crash,
// no hang, finite output; afterwards the generator is free again and a
// single instance sees the start sequence.
TEST(Sharing, OverlappingRunsNeverBlock)
{
    constexpr int kThreads = 4;
    std::atomic<int> ready{0};
    std::atomic<bool> all_finite{true};
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i)
        threads.emplace_back([&, i] {
            Rig r(256);
            fast_events(r, static_cast<float>(i % 5));
            ready.fetch_add(1);
            while (ready.load() < kThreads) std::this_thread::yield();
            for (int k = 0; k < 300; ++k)
                if (!r.run_long(256)) all_finite = false;
        });
    for (std::thread& t : threads) t.join();
    EXPECT_TRUE(all_finite);

    g_random = kRandomStart;
    Rig r;
    r.run(112);
    EXPECT_EQ(r.e().target, 120960 * 0x1p-24f);
    EXPECT_TRUE(same(g_random, advanced(1)));
}

} // namespace
} // namespace zt::test
