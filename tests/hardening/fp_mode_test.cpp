// run processes under flush-to-zero whatever the mode of the thread that
// calls it, and gives that thread its own mode back. Host audio threads are
// not the thread that loaded the library and usually run in the default
// mode, in which the stage memories would fill with subnormal numbers once
// the input falls silent (and stick at the smallest one instead of reaching
// 0). The same session is run from the loading thread and from fresh
// threads in other modes, and must give the same bits.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <thread>
#include <vector>

#include "lv2_rig.h"
#include "core/fp_mode.h"
#include "support/random_gen.h"

#if defined(__x86_64__) || defined(__i386__)
#include <xmmintrin.h>

namespace {

constexpr uint32_t kFilterMode = 0x9FC0;   // FTZ + DAZ, all exceptions masked, nearest
constexpr uint32_t kDefaultMode = 0x1F80;  // the C library's start-up mode

constexpr uint32_t kLoud = 9600;      // frames of input
constexpr uint32_t kSilence = 96000;  // then two seconds of silence
constexpr uint32_t kCall = 512;

constexpr uint32_t kFlags = 0x3F;  // sticky exception flags; the rest is the mode

// The caller's mode is back after run, and no exception flag the caller
// had raised was cleared. (Flags that the filter's own arithmetic raises
// in a caller that already runs in its mode may stay raised, as after any
// other floating-point code.)
bool caller_state_kept(uint32_t before, uint32_t after)
{
    return (after & ~kFlags) == (before & ~kFlags) && (after & before & kFlags) == (before & kFlags);
}

struct Session {
    std::vector<float> out;
    bool mode_kept = true;  // caller_state_kept after every run
};

// A loud tone, then silence. Made once, in the loading thread: its own
// arithmetic must not depend on the mode of the thread under test.
const std::vector<float>& session_input()
{
    static const std::vector<float> in = [] {
        std::vector<float> v(kLoud + kSilence, 0.0f);
        for (uint32_t j = 0; j < kLoud; ++j) v[j] = 0.9f * std::sin(0.031f * static_cast<float>(j));
        return v;
    }();
    return in;
}

// The session in calls of up to 512 frames. The shared generator starts
// over, so every session draws the same modulation.
Session run_session()
{
    const std::vector<float>& in = session_input();
    zt::g_random = zt::kRandomStart;
    zt_test::Rig rig(zt_test::linked_descriptor());
    rig.control[zt::PORT_CENTER] = 400;
    rig.control[zt::PORT_OCTAVES] = 2;
    rig.control[zt::PORT_RESONANCE] = 90;
    Session s;
    s.out.assign(in.size(), 0.0f);
    for (uint32_t j = 0; j < in.size(); j += kCall) {
        const uint32_t before = _mm_getcsr();
        rig.run(in.data() + j, s.out.data() + j, std::min<uint32_t>(kCall, static_cast<uint32_t>(in.size()) - j));
        s.mode_kept = s.mode_kept && caller_state_kept(before, _mm_getcsr());
    }
    return s;
}

Session run_in_thread(uint32_t mode)
{
    Session s;
    std::thread t([&] {
        _mm_setcsr(mode);
        s = run_session();
    });
    t.join();
    return s;
}

size_t first_mismatch(const std::vector<float>& a, const std::vector<float>& b)
{
    for (size_t j = 0; j < a.size(); ++j)
        if (std::bit_cast<uint32_t>(a[j]) != std::bit_cast<uint32_t>(b[j])) return j;
    return a.size();
}

TEST(FloatingPointMode, LoadingThreadHasTheFilterModeAndSilenceDecaysToZero)
{
    EXPECT_EQ(_mm_getcsr() & ~0x3Fu, kFilterMode) << "the load-time initialiser did not run";
    const Session s = run_session();
    EXPECT_TRUE(s.mode_kept);
    // The tail reaches exactly 0 and stays there for the last second.
    for (size_t j = s.out.size() - 48000; j < s.out.size(); ++j)
        ASSERT_EQ(std::bit_cast<uint32_t>(s.out[j]), 0u) << "frame " << j;
    double energy = 0;
    for (uint32_t j = 0; j < kLoud; ++j) energy += double(s.out[j]) * s.out[j];
    EXPECT_GT(energy, 10.0);
}

TEST(FloatingPointMode, OtherThreadsAndModesGiveTheSameBitsAndKeepTheirMode)
{
    session_input();
    const Session reference = run_session();
    // Default mode; round toward zero; round down with a sticky flag raised.
    for (uint32_t mode : {kDefaultMode, 0x7F80u, 0x3FA0u}) {
        SCOPED_TRACE(testing::Message() << "MXCSR 0x" << std::hex << mode);
        const Session s = run_in_thread(mode);
        EXPECT_TRUE(s.mode_kept) << "run did not restore the caller's mode";
        EXPECT_EQ(first_mismatch(s.out, reference.out), s.out.size()) << "first differing frame";
    }
}

// A caller already in the filter's mode, with or without flags raised,
// keeps its mode and flags.
TEST(FloatingPointMode, CallerInTheFilterModeKeepsIt)
{
    for (uint32_t mode : {kFilterMode, kFilterMode | 0x3D}) {
        uint32_t after = 0;
        std::thread t([&] {
            _mm_setcsr(mode);
            zt_test::Rig rig(zt_test::linked_descriptor());
            std::vector<float> buf(64, 0.25f);
            rig.run(buf.data(), buf.data(), 64);
            after = _mm_getcsr();
        });
        t.join();
        EXPECT_TRUE(caller_state_kept(mode, after)) << std::hex << mode << " became " << after;
    }
}

} // namespace
#endif
