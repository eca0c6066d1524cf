// The shipped VST3 library, loaded with dlopen as hosts load it: every
// control's plain value comes back from its normalised one as the same
// float, a factory preset acts as the LV2 preset at its offset, and process
// is real-time code under the rt_guard net.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <lv2/core/lv2.h>

#include <bit>
#include <cmath>

#include "core/preset_table.h"
#include "cross/vst3_side.h"
#include "rt_guard.h"

namespace {

using namespace zt_cross;

constexpr const char* kLibrary = ZT_BUNDLE_PARENT "/zirpomatik-tolm.vst3/Contents/" ZT_VST3_ARCH "/zirpomatik-tolm.so";

struct Plugin {
    void* lib = dlopen(kLibrary, RTLD_NOW | RTLD_LOCAL);
    Vst3Pair v;

    Plugin()
    {
        if (lib && !v.open(reinterpret_cast<Steinberg_IPluginFactory* (*)()>(dlsym(lib, "GetPluginFactory"))(), 0))
            dlclose(lib), lib = nullptr;
    }
    ~Plugin()
    {
        if (lib) v.close(), dlclose(lib);
    }
    float round_trip(uint32_t id, float x)
    {
        const double n = VCALL(v.ctl, plainParamToNormalized, id, x);
        return float(VCALL(v.ctl, normalizedParamToPlain, id, n));
    }
};

TEST(Vst3Face, PlainValuesComeBackFromTheirNormalisedValues)
{
    Plugin p;
    ASSERT_TRUE(p.lib) << dlerror();
    uint64_t x = 0x9E3779B97F4A7C15ull;
    auto next = [&] { return x ^= x << 13, x ^= x >> 7, x ^= x << 17; };
    for (uint32_t port = zt::PORT_MIX; port < zt::PORT_COUNT; ++port) {
        const zt::PortInfo& pi = zt::kPorts[port];
        std::vector<float> values = {pi.def, pi.min, pi.max};
        for (const zt::PresetInfo& preset : zt::kPresets) values.push_back(preset.value[port - zt::PORT_MIX]);
        if (pi.integer) {
            for (float v = pi.min; v <= pi.max; ++v) values.push_back(v);
        } else {
            // Evenly over the range, and evenly in magnitude from a millionth
            // of the range up, either side of zero.
            const double range = double(pi.max) - pi.min, tiny = 1e-6 * range;
            for (int i = 0; i < 100000; ++i) {
                const double u = double(next() >> 11) * 0x1p-53;
                const float even = float(pi.min + u * range);
                const float mag = float(tiny * std::pow(double(pi.max) / tiny, u)) * (next() & 1 ? -1.0f : 1.0f);
                values.push_back(std::fmin(std::fmax(even, pi.min), pi.max));
                if (mag >= pi.min && mag <= pi.max) values.push_back(mag);
            }
        }
        for (float v : values)
            ASSERT_EQ(std::bit_cast<uint32_t>(p.round_trip(port, v)), std::bit_cast<uint32_t>(v))
                << pi.symbol << " " << v;
    }
    // Closer to mix's zero than double precision tells apart at the lane's
    // middle, a value comes back as zero.
    EXPECT_EQ(p.round_trip(zt::PORT_MIX, 1e-30f), 0.0f);
}

// A preset chosen shows its nine values in the controller and, as a point
// at an odd offset, renders what the LV2 plugin renders when a host sets
// the nine controls at that frame.
TEST(Vst3Face, AFactoryPresetActsAsTheLv2PresetAtItsOffset)
{
    Plugin p;
    ASSERT_TRUE(p.lib) << dlerror();
    Steinberg_Vst_ProcessSetup setup{Steinberg_Vst_ProcessModes_kRealtime, Steinberg_Vst_SymbolicSampleSizes_kSample32,
                                     512, 48000.0};
    VCALL(p.v.proc, setupProcessing, &setup);
    VCALL(p.v.comp, setActive, 1);
    const LV2_Descriptor* d = lv2_descriptor(0);
    LV2_Handle h = d->instantiate(d, 48000.0, "", nullptr);
    float lv2[zt::PORT_COUNT];
    for (uint32_t port = zt::PORT_MIX; port < zt::PORT_COUNT; ++port) d->connect_port(h, port, &(lv2[port] = zt::kPorts[port].def));
    std::vector<float> in(512), out(512), want(512);
    float *ch[1] = {in.data()}, *och[1] = {out.data()};
    Steinberg_Vst_AudioBusBuffers ain{1, 0, {ch}}, aout{1, 0, {och}};
    const int32_t count = int32_t(std::size(zt::kPresets));
    for (int32_t k = 0; k < count; ++k) {
        const zt::PresetInfo& preset = zt::kPresets[(k + 1) % count];  // from a change, Default last
        const double n = double((k + 1) % count) / (count - 1);
        VCALL(p.v.ctl, setParamNormalized, 1000, n);
        for (uint32_t i = 0; i < zt::kPresetControls; ++i) {
            const double v = VCALL(p.v.ctl, getParamNormalized, zt::PORT_MIX + i);
            EXPECT_EQ(float(VCALL(p.v.ctl, normalizedParamToPlain, zt::PORT_MIX + i, v)), preset.value[i]);
        }
        for (size_t j = 0; j < in.size(); ++j) in[j] = float((j * 37 + size_t(k)) % 200) / 100.0f - 1.0f;
        const uint32_t at = 101 + 2 * uint32_t(k);
        Vst3Changes changes{&g_changes_vtbl, {}};
        changes.add(1000, int32_t(at), n);
        Steinberg_Vst_ProcessData pd{Steinberg_Vst_ProcessModes_kRealtime, Steinberg_Vst_SymbolicSampleSizes_kSample32,
                                     512, 1, 1, &ain, &aout, reinterpret_cast<Steinberg_Vst_IParameterChanges*>(&changes),
                                     nullptr, nullptr, nullptr, nullptr};
        ASSERT_EQ(VCALL(p.v.proc, process, &pd), 0);
        d->connect_port(h, zt::PORT_IN, in.data());
        d->connect_port(h, zt::PORT_OUT, want.data());
        d->run(h, at);
        for (uint32_t i = 0; i < zt::kPresetControls; ++i) lv2[zt::PORT_MIX + i] = preset.value[i];
        d->connect_port(h, zt::PORT_IN, in.data() + at);
        d->connect_port(h, zt::PORT_OUT, want.data() + at);
        d->run(h, 512 - at);
        ASSERT_EQ(std::memcmp(out.data(), want.data(), 512 * sizeof(float)), 0) << preset.key;
    }
    d->cleanup(h);
    VCALL(p.v.comp, setActive, 0);
}

TEST(Vst3Face, ProcessAndTailCallNothingOutside)
{
    Plugin p;
    ASSERT_TRUE(p.lib) << dlerror();
    Steinberg_Vst_ProcessSetup setup{Steinberg_Vst_ProcessModes_kRealtime, Steinberg_Vst_SymbolicSampleSizes_kSample32,
                                     8192, 44100.0};
    ASSERT_EQ(VCALL(p.v.proc, setupProcessing, &setup), Steinberg_kResultOk);
    VCALL(p.v.comp, setActive, 1);
    VCALL(p.v.proc, setProcessing, 1);
    const double values[] = {0, 1, 0.5, 0.03, 0.97, 1e30, -1e30, NAN, INFINITY, -INFINITY, 0.25, 1.0 / 3};
    std::vector<float> buf(8192);
    for (size_t j = 0; j < buf.size(); ++j) buf[j] = float(j % 109) / 54.5f - 1.0f;
    float* ch[1] = {buf.data()};
    Steinberg_Vst_AudioBusBuffers audio{1, 0, {ch}};
    uint32_t k = 0;
    for (uint32_t n = 0; n <= 8192; n += (n < 64 ? 1 : 97)) {
        // Points at odd offsets for every control, the preset list and ids
        // that are no parameter.
        Vst3Changes changes{&g_changes_vtbl, {}};
        for (uint32_t e = 0; e < 12; ++e, ++k) {
            const uint32_t ids[] = {2, 3, 4, 5, 6, 7, 8, 9, 10, 1000, 11, 0};
            changes.add(ids[k % std::size(ids)], n ? int32_t(e * (n - 1) / 11) : 0, values[k % std::size(values)]);
        }
        Steinberg_Vst_ProcessData d{Steinberg_Vst_ProcessModes_kRealtime, Steinberg_Vst_SymbolicSampleSizes_kSample32,
                                    int32_t(n), 1, 1, &audio, &audio,
                                    reinterpret_cast<Steinberg_Vst_IParameterChanges*>(&changes), nullptr, nullptr,
                                    nullptr, nullptr};
        {
            rt_guard::Armed net;
            VCALL(p.v.proc, process, &d);
            VCALL(p.v.proc, getTailSamples);
        }
        const rt_guard::Catch c = rt_guard::take();
        ASSERT_EQ(c.count, 0u) << n << " frames: " << c.first();
        for (float s : buf) ASSERT_TRUE(std::isfinite(s)) << n;
    }
    VCALL(p.v.proc, setProcessing, 0);
    VCALL(p.v.comp, setActive, 0);
}

} // namespace
