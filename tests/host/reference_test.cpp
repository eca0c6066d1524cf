// The reference model against numbers the filter is known to give (first
// draws of the generator, ramp values, first targets), so that the model and
// the plugin cannot share a misreading unnoticed.
#include <cmath>

#include "lv2_host.h"

namespace zthost {
namespace {

using namespace ztref;

// The Turtle defaults, as a host passes them, with one control changed.
struct Fresh {
    Model m = model_new();
    Rng rng = kRngStart;
    float c[kControlCount] = {100, 7.5f, 1, 1, 0, 70, 1200, 4, 3};
    void frames(uint32_t n)
    {
        std::vector<float> buf(n, 0.0f);
        model_run(m, rng, c, buf.data(), buf.data(), n);
    }
};

TEST(Reference, GeneratorStartsWithTheDefinedOutputs)
{
    Rng g = kRngStart;
    EXPECT_EQ(rng_next(g), 120960u);
    EXPECT_EQ(rng_next(g), 120960u);
    EXPECT_EQ(rng_next(g), 0x3B1020580u);
    g = kRngStart;
    for (int i = 0; i < 5; ++i) EXPECT_LT(rng_unit(g), 0.008f);
    EXPECT_NEAR(rng_unit(g), 0.49591f, 1e-5f);
}

TEST(Reference, RampsMoveByTheirStepsAndLandOnTheTarget)
{
    Fresh mix;
    mix.c[kMix] = -100;
    for (float want : {0.3332333f, -0.3334334f, -1.0f}) {
        mix.frames(16);
        EXPECT_FLOAT_EQ(mix.m.mix, want);
    }
    Fresh center;
    center.c[kCenter] = 440;
    center.frames(16);
    EXPECT_FLOAT_EQ(center.m.center_hz, 1179.9467f);
    center.frames(37 * 16);
    EXPECT_GT(center.m.center_hz, 440.0f);
    center.frames(16);
    EXPECT_EQ(center.m.center_hz, 440.0f);  // 39 blocks, exactly on the target

    Fresh rate;
    rate.c[kRate] = 7;
    rate.frames(10 * 16);
    EXPECT_EQ(rate.m.period, 6857);
    rate.c[kRate] = 0;
    rate.frames(200 * 16);
    EXPECT_EQ(rate.m.period, 2147483647);
}

TEST(Reference, FirstEventsDrawTheDefinedTargets)
{
    Fresh uniform;
    uniform.frames(99);
    EXPECT_EQ(uniform.m.target, 1.0f);  // the engine default, until frame 100
    uniform.frames(1);
    EXPECT_NEAR(uniform.m.target, 0.0072098f, 1e-7f);
    EXPECT_EQ(uniform.m.glide_remaining, uniform.m.period / 100);

    Fresh alternating;
    alternating.c[kShape] = 1;
    alternating.frames(100);
    EXPECT_NEAR(alternating.m.target, 1.0971f, 1e-4f);
    alternating.frames(alternating.m.period);
    EXPECT_NEAR(alternating.m.target, 0.0029f, 1e-4f);

    Fresh upper;
    upper.c[kShape] = 4;
    upper.frames(100);
    EXPECT_NEAR(upper.m.target, 0.4964f, 1e-4f);
}

} // namespace
} // namespace zthost
