// Scripted sessions through lilv, compared bit for bit with the reference
// model. Every case runs in a process of its own, so the plugin's shared
// generator and the model's start from the same state.
#include <cmath>
#include <limits>

#include "lv2_host.h"

namespace zthost {
namespace {

using namespace ztref;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr uint32_t kSecond = 48000;

std::vector<Session> sessions()
{
    std::vector<Session> all;
    // Turtle defaults, several seconds, every shape and two unknown ones.
    for (float shape : {0.0f, 1.0f, 2.0f, 3.0f, 4.0f, 5.0f, -1.0f}) {
        const std::string name = shape < 0 ? "minus1" : std::to_string(int(shape));
        all.push_back({"shape_" + name, kMusic, {set(kShape, shape), run(5 * kSecond, 512)}});
    }
    // Every row of the response table, then indices past it, rounded and negative.
    Session types{"every_type", kMusic, {set(kResonance, 99.25f)}};
    for (float t = 0; t < 40; ++t) types.steps.insert(types.steps.end(), {set(kType, t), run(4800, 256)});
    for (float t : {40.0f, 3.0f, 99.0f, 2.9f, -3.0f, 1e30f, 35.0f})
        types.steps.insert(types.steps.end(), {set(kType, t), run(4800, 256)});
    all.push_back(types);

    all.push_back({"mix_and_rate", kMusic,
                   {set(kMix, -100), run(4800, 128), set(kMix, 0), run(4800, 128), set(kMix, 37.5f),
                    set(kRate, 16), run(24000, 128), set(kMix, 150), set(kRate, 0.1f), run(24000, 128),
                    set(kMix, -250), set(kRate, 50), run(24000, 128), set(kMix, 80), run(4800, 128)}});
    all.push_back({"glides", kMusic,
                   {set(kRate, 8), set(kGlideUp, 0), set(kGlideDown, 100), run(24000, 256),
                    set(kGlideUp, 150), set(kGlideDown, 0.01f), run(24000, 256), set(kGlideUp, -20),
                    set(kGlideDown, -20), run(24000, 256), set(kGlideUp, -4e7f), set(kGlideDown, -4e7f),
                    run(24000, 256), set(kGlideUp, 50), set(kGlideDown, 3), run(24000, 256)}});
    all.push_back({"shapes_changing", kMusic,
                   {set(kRate, 30), set(kShape, 1), run(9000, 300), set(kShape, 2.9f), run(9000, 300),
                    set(kShape, -0.5f), run(9000, 300), set(kShape, -1.5f), run(9000, 300),
                    set(kShape, 4), run(9000, 300), set(kShape, 7), run(9000, 300), set(kShape, 1),
                    run(9000, 300)}});
    all.push_back({"band_edges", kMusic,
                   {set(kCenter, 0), run(4800, 256), set(kCenter, -500), run(9600, 256),
                    set(kCenter, 20000), run(48000, 1024), set(kCenter, 99999), run(48000, 1024),
                    set(kOctaves, 0), set(kCenter, 440), run(48000, 1024), set(kGlideUp, 0),
                    set(kGlideDown, 0), set(kCenter, 600), run(24000, 1024), set(kResonance, 50),
                    run(24000, 1024), set(kGlideUp, 1), set(kOctaves, -4),
                    run(24000, 1024), set(kOctaves, 10), run(24000, 1024)}});
    all.push_back({"band_300_octaves", kMusic, {set(kRate, 40), set(kOctaves, 300), run(4 * kSecond, 1024)}});
    all.push_back({"resonance_range", kMusic,
                   {set(kResonance, 0), run(9600, 256), set(kResonance, 100), set(kType, 24),
                    run(9600, 256), set(kResonance, 300), run(9600, 256), set(kResonance, -50),
                    run(9600, 256), set(kResonance, 1e37f), run(2000, 256), set(kResonance, 70),
                    run(9600, 256)}});
    all.push_back({"rate_extremes", kMusic,
                   {set(kRate, -5), set(kShape, 4), run(20000, 512), set(kGlideUp, -150),
                    run(4000, 512), set(kRate, -1e-6f), run(8000, 512), set(kRate, 0), run(4000, 512)}});
    // Past 48000 Hz the period is 0: the glide-length rule then leaves a
    // glide of negative length without a divisor, and the cutoff holds. The
    // rate ramp needs about 15 million frames to get there.
    Session beyond{"rate_beyond_48k", kMusic, {set(kGlideUp, -150), set(kGlideDown, -150), set(kRate, 49000)}};
    for (int i = 0; i < 16; ++i) beyond.steps.push_back(run(1000000, 8192));
    all.push_back(beyond);
    // NaN per port kind: ignored on the ramps and on the resonance; literal
    // on the glides, shape and type (their setters then run in every call).
    all.push_back({"nan_controls", kMusic,
                   {set(kGlideUp, 50), run(4800, 100), set(kMix, kNaN), set(kRate, kNaN), set(kCenter, kNaN),
                    set(kOctaves, kNaN), set(kResonance, kNaN), run(9600, 100), set(kMix, 50),
                    set(kRate, 12), set(kCenter, 700), set(kOctaves, 3), set(kResonance, 85),
                    run(9600, 100), set(kGlideDown, kNaN), run(9600, 100), set(kShape, kNaN),
                    set(kType, kNaN), run(9600, 100), set(kGlideDown, 10), set(kShape, 1), set(kType, 7),
                    run(9600, 100)}});
    // Zero-frame calls still take the controls in: a glide-time change and
    // back, seen only by a run of 0 frames, still resets a running glide.
    all.push_back({"odd_and_zero_counts", kMusic,
                   {set(kGlideUp, 60), set(kGlideDown, 60), set(kCenter, 300), set(kRate, 20), run(1), run(7), run(13), run(333), run(0),
                    set(kType, 5), run(15), run(17), run(4097), set(kGlideUp, 61), run(0), set(kGlideUp, 60),
                    run(0), run(3001, 7), set(kShape, 2), run(0), run(12345, 11), run(1)}});
    all.push_back({"deactivate_activate", kMusic,
                   {run(7000, 256), deactivate(), activate(), set(kShape, 1), run(7000, 256),
                    deactivate(), set(kType, 9), activate(), run(7000, 256)}});
    all.push_back({"instances_in_turn", kMusic,
                   {run(3000, 64), use(1), set(kShape, 2), set(kRate, 25), run(5000, 64), use(2),
                    set(kShape, 1), set(kType, 17), run(777), use(0), run(4096, 512), use(1), run(9000, 500),
                    use(2), run(12000, 1000), use(0), run(8000, 16)}});
    all.push_back({"in_place", kMusic,
                   {in_place(true), set(kShape, 1), set(kType, 24), set(kMix, 70), run(2 * kSecond, 256)}});
    all.push_back({"hot_input", kHot,
                   {set(kResonance, 100), set(kType, 19), set(kRate, 20), run(2 * kSecond, 64)}});
    return all;
}

class HostSession : public testing::TestWithParam<Session> {};

TEST_P(HostSession, PluginMatchesReference)
{
    const Outputs o = play(GetParam());
    EXPECT_EQ(o.mode_lost, 0u);
    ASSERT_EQ(o.plugin.size(), o.model.size());
    for (size_t i = 0; i < o.plugin.size(); ++i) {
        EXPECT_TRUE(same_bits(o.plugin[i], o.model[i])) << "instance " << i;
        double energy = 0;
        for (float y : o.model[i]) energy += double(y) * y;
        EXPECT_GT(energy, 0.0) << "instance " << i << " is silent";
    }
}

INSTANTIATE_TEST_SUITE_P(Sessions, HostSession, testing::ValuesIn(sessions()),
                         [](const auto& info) { return info.param.name; });

// However a host cuts the stream into calls, the output is the same. Glides
// fill every period and the ramps run for hundreds of blocks, so a ramp step
// one frame early or late shows in the cutoff.
Session split_session()
{
    return {"split", kMusic,
            {set(kShape, 1), set(kType, 24), set(kMix, 60), set(kCenter, 500), set(kGlideUp, 100),
             set(kGlideDown, 100), set(kRate, 20), run(20000), set(kResonance, 95), set(kCenter, 5000),
             set(kOctaves, 8), run(30000), set(kCenter, 300), set(kOctaves, 1), set(kMix, -40),
             set(kType, 33), set(kRate, 3), run(30000)}};
}

class HostSplit : public testing::TestWithParam<uint32_t> {};

TEST_P(HostSplit, OutputDoesNotDependOnFramesPerCall)
{
    const Outputs o = play(split_session(), GetParam());
    EXPECT_TRUE(same_bits(o.plugin[0], o.model[0]));
}

INSTANTIATE_TEST_SUITE_P(Frames, HostSplit, testing::Values(1u, 5u, 16u, 64u, 1000u));

} // namespace
} // namespace zthost
