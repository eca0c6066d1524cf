// The shared xoshiro256** generator: its fixed sequence after load, the unit
// conversion, and how a run call leases the shared state.
#include <gtest/gtest.h>

#include "gen_util.h"

namespace zt::test {
namespace {

constexpr float kUnit = 0x1p-24f;

// Inverts the output function rotl(s1 * 5, 7) * 9, so a test can choose
// what the next draw returns.
uint64_t s1_for_output(uint64_t out)
{
    auto inverse = [](uint64_t a) {  // Newton's iteration for odd a mod 2^64
        uint64_t x = a;
        for (int i = 0; i < 6; ++i) x *= 2 - a * x;
        return x;
    };
    const uint64_t r = out * inverse(9);
    return ((r >> 7) | (r << 57)) * inverse(5);
}

TEST(RandomGen, FixedSequenceAfterLoad)
{
    ASSERT_TRUE(same(g_random, RandomGen{32, 21, 32, 55}));
    RandomGen g = g_random;
    EXPECT_EQ(next_u64(g), 120960u);
    EXPECT_EQ(next_u64(g), 120960u);
    EXPECT_EQ(next_u64(g), 0x3B1020580u);

    RandomGen h = kRandomStart;
    float u[6];
    for (float& x : u) x = next_unit(h);
    EXPECT_EQ(u[0], 120960 * kUnit);
    EXPECT_EQ(u[1], 120960 * kUnit);
    EXPECT_EQ(u[2], 132480 * kUnit);  // low 24 bits of 0x3B1020580
    for (int i = 0; i < 5; ++i) EXPECT_LT(u[i], 0.008f) << i;
    EXPECT_NEAR(u[5], 0.49591, 5e-6);
}

TEST(RandomGen, UnitTakesTheLow24Bits)
{
    const struct {
        uint64_t out;
        float unit;
    } rows[] = {
        {0xFFFFFF, 16777215 * kUnit},  // the largest value, still below 1
        {0xFFFFFFFFFF000000u, 0.0f},   // the high bits play no part
        {0x0123456789ABCDEFu, 0xABCDEF * kUnit},
    };
    for (const auto& row : rows) {
        RandomGen g{0, s1_for_output(row.out), 0, 0}, h = g;
        ASSERT_EQ(next_u64(h), row.out);
        EXPECT_EQ(next_unit(g), row.unit) << std::hex << row.out;
    }
    EXPECT_LT(16777215 * kUnit, 1.0f);
}

// A call takes g_random at its first draw and gives it back at its end, and
// only if it drew. A call that finds it taken (another instance's run on
// another thread) draws from its instance's own stream and leaves it alone.
TEST(RandomCall, LeasesAtFirstDrawAndWritesBackOnlyWhenDrawn)
{
    RandomGen own_a{1, 2, 3, 4}, own_b{5, 6, 7, 8};
    const RandomGen other{9, 10, 11, 12};

    RandomCall idle = random_call_begin(&own_a);
    g_random = other;  // another instance's progress during this call
    random_call_release(idle);
    EXPECT_TRUE(same(g_random, other));

    RandomCall a = random_call_begin(&own_a);
    RandomGen want_a = other, want_b = own_b;
    EXPECT_EQ(draw_unit(a), next_unit(want_a));
    RandomCall b = random_call_begin(&own_b);
    EXPECT_EQ(draw_unit(b), next_unit(want_b));
    random_call_release(b);
    EXPECT_TRUE(same(own_b, want_b));
    EXPECT_TRUE(same(g_random, other));
    EXPECT_EQ(draw_unit(a), next_unit(want_a));
    random_call_release(a);
    EXPECT_TRUE(same(g_random, want_a));
    EXPECT_TRUE(same(own_a, RandomGen{1, 2, 3, 4}));

    // The lease is free again: the next call continues the shared sequence.
    RandomCall c = random_call_begin(&own_b);
    EXPECT_EQ(draw_unit(c), next_unit(want_a));
    random_call_release(c);
    EXPECT_TRUE(same(g_random, want_a));
}

} // namespace
} // namespace zt::test
