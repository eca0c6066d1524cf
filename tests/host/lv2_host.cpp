#include "lv2_host.h"

#include "built_bundle.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>

#if defined(__x86_64__) || defined(__i386__)
#include <xmmintrin.h>
#endif

namespace zthost {

namespace {

// The plugin's results are defined under flush-to-zero; the model runs in
// this process's main thread, so that thread gets the same mode.
const bool kFpMode = (ztref::use_plugin_fp_mode(), true);

constexpr uint32_t kControls = ztref::kControlCount;

// The plugin is called from a thread in the processor's default mode (no
// flush-to-zero), as a JACK thread is: run must set its own mode and give
// the caller's back. True when the caller's mode survived the call.
bool run_in_default_mode(LilvInstance* instance, uint32_t n)
{
#if defined(__x86_64__) || defined(__i386__)
    const uint32_t plain = 0x1F80;
    _mm_setcsr(plain);
    lilv_instance_run(instance, n);
    const bool kept = _mm_getcsr() == plain;
    ztref::use_plugin_fp_mode();
    return kept;
#else
    lilv_instance_run(instance, n);
    return true;
#endif
}

uint64_t mix64(uint64_t x)
{
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

uint32_t bits(float f)
{
    uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

struct Slot {
    LilvInstance* instance = nullptr;
    float controls[kControls];
    ztref::Model model = ztref::model_new();
    uint64_t frame = 0;  // position in this instance's input stream
};

} // namespace

std::string bundle_dir() { return std::string(ZT_BUNDLE_PARENT) + "/zirpomatik-tolm.lv2/"; }

Lv2World::Lv2World() : world(lilv_world_new()), plugin(load_built_plugin(world)) {}

Lv2World::~Lv2World() { lilv_world_free(world); }

std::vector<float> Lv2World::control_defaults() const
{
    std::vector<float> def(lilv_plugin_get_num_ports(plugin));
    lilv_plugin_get_port_ranges_float(plugin, nullptr, nullptr, def.data());
    return std::vector<float>(def.begin() + 2, def.end());
}

// A sawtooth near 110 Hz with noise, silent for the last quarter of every
// second so the filter decays to rest; kHot is four times louder and
// carries non-finite and huge samples.
float input_sample(int signal, uint64_t i)
{
    if (i % 48000 >= 36000) return 0.0f;
    const float saw = float(i % 437) / 218.5f - 1.0f;
    const float noise = float(mix64(i + 1) >> 40) / 8388608.0f - 1.0f;
    const float s = 0.5f * saw + 0.25f * noise;
    if (signal != kHot) return s;
    if (i % 10007 == 5000) return std::numeric_limits<float>::infinity();
    if (i % 13001 == 7000) return std::numeric_limits<float>::quiet_NaN();
    if (i % 17011 == 100) return -std::numeric_limits<float>::infinity();
    if (i % 9001 == 1) return 1e30f;
    return 4.0f * s;
}

Outputs play(const Session& s, uint32_t split)
{
    Lv2World host;
    const std::vector<float> defaults = host.control_defaults();
    std::vector<std::unique_ptr<Slot>> slots;
    ztref::Rng rng = ztref::kRngStart;
    Slot* cur = nullptr;
    bool inplace = false;
    Outputs o;
    auto select = [&](uint32_t k) {
        while (slots.size() <= k) {
            auto slot = std::make_unique<Slot>();
            slot->instance = lilv_plugin_instantiate(host.plugin, 48000.0, nullptr);
            std::copy(defaults.begin(), defaults.end(), slot->controls);
            for (uint32_t c = 0; c < kControls; ++c)
                lilv_instance_connect_port(slot->instance, c + 2, &slot->controls[c]);
            lilv_instance_activate(slot->instance);
            slots.push_back(std::move(slot));
            o.plugin.emplace_back();
            o.model.emplace_back();
        }
        cur = slots[k].get();
        return k;
    };
    uint32_t k = select(0);
    for (const Step& st : s.steps) {
        switch (st.kind) {
        case Step::Set: cur->controls[st.a] = st.v; break;
        case Step::Activate: lilv_instance_activate(cur->instance); break;
        case Step::Deactivate: lilv_instance_deactivate(cur->instance); break;
        case Step::Use: k = select(st.a); break;
        case Step::InPlace: inplace = st.b != 0; break;
        case Step::Run: {
            const uint32_t n = st.a;
            std::vector<float> in(n + 1), got(n + 1), want(n + 1);
            for (uint32_t j = 0; j < n; ++j) in[j] = input_sample(s.signal, cur->frame + j);
            cur->frame += n;
            if (inplace) got = want = in;
            // The plugin, in calls of `split` (or the scripted) frames.
            const uint32_t per = split ? split : (st.b ? st.b : n);
            uint32_t j = 0;
            do {
                const uint32_t len = std::min(per, n - j);
                lilv_instance_connect_port(cur->instance, 0, (inplace ? got.data() : in.data()) + j);
                lilv_instance_connect_port(cur->instance, 1, got.data() + j);
                o.mode_lost += !run_in_default_mode(cur->instance, len);
                j += len;
            } while (j < n);
            // The model, in the scripted calls.
            const uint32_t mper = st.b ? st.b : n;
            j = 0;
            do {
                const uint32_t len = std::min(mper, n - j);
                ztref::model_run(cur->model, rng, cur->controls, (inplace ? want.data() : in.data()) + j,
                                 want.data() + j, len);
                j += len;
            } while (j < n);
            o.plugin[k].insert(o.plugin[k].end(), got.begin(), got.begin() + n);
            o.model[k].insert(o.model[k].end(), want.begin(), want.begin() + n);
            break;
        }
        }
    }
    for (auto& slot : slots) {
        lilv_instance_deactivate(slot->instance);
        lilv_instance_free(slot->instance);
    }
    return o;
}

testing::AssertionResult same_bits(const std::vector<float>& got, const std::vector<float>& want)
{
    if (got.size() != want.size())
        return testing::AssertionFailure() << got.size() << " frames, expected " << want.size();
    for (size_t i = 0; i < got.size(); ++i) {
        if (bits(got[i]) != bits(want[i])) {
            char msg[160];
            std::snprintf(msg, sizeof msg, "frame %zu: plugin %a (0x%08X), reference %a (0x%08X)", i,
                          double(got[i]), bits(got[i]), double(want[i]), bits(want[i]));
            return testing::AssertionFailure() << msg;
        }
    }
    return testing::AssertionSuccess();
}

} // namespace zthost
