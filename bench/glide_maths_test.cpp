// The glide frames take their cutoff and coefficient from the near forms of
// engine/glide_maths.h wherever those claim to be sure. A near form that
// claimed it wrongly would change the plugin's output bits; one that lost
// accuracy would send many more frames to the library (and slow them down).
#include <gtest/gtest.h>

#include "glide_maths_check.h"

namespace zt::check {
namespace {

TEST(GlideMaths, Exp2NearStaysWithinTheErrorItsMarginsAssume)
{
    EXPECT_LT(exp2_near_error(400000, 7), 0x1p-46);
}

TEST(GlideMaths, CoefficientsAreExpfWheneverSure)
{
    // Every 4099th float: the positive cutoffs (all the modulator makes),
    // then the negative ones a negative centre can give.
    const Tally pos = check_coefs(0x00000000u, 0x7F800000u, 4099);
    const Tally neg = check_coefs(0x80000000u, 0xFF800000u, 4099);
    EXPECT_EQ(pos.mismatched, 0u);
    EXPECT_EQ(neg.mismatched, 0u);
    // Outside |x| <= 80 nothing is sure; inside, about one in 200.
    const Tally band = check_coefs(std::bit_cast<uint32_t>(1.0f), std::bit_cast<uint32_t>(600000.0f), 101);
    EXPECT_EQ(band.mismatched, 0u);
    EXPECT_LT(static_cast<double>(band.unsure) / static_cast<double>(band.tested), 0.02);
}

TEST(GlideMaths, GlideFramesMatchTheDirectFormulaOverManyGlides)
{
    const GlideTally wild = check_glides(2024, 2000, 1500, true);
    EXPECT_EQ(wild.cutoff.mismatched, 0u);
    EXPECT_EQ(wild.coef.mismatched, 0u);
    // Musical bands: hardly a cutoff needs the library; coefficients do
    // where they are not sure, about one in 200, and wherever the cutoff
    // passes 611 kHz (|x| > 80), which the widest bands here reach.
    const GlideTally t = check_glides(2025, 2000, 1500, false);
    ASSERT_GT(t.cutoff.tested, 1000000u);
    EXPECT_EQ(t.cutoff.mismatched, 0u);
    EXPECT_EQ(t.coef.mismatched, 0u);
    EXPECT_LT(static_cast<double>(t.cutoff.unsure) / static_cast<double>(t.cutoff.tested), 1e-3);
    EXPECT_LT(static_cast<double>(t.coef.unsure) / static_cast<double>(t.coef.tested), 0.05);
}

} // namespace
} // namespace zt::check
