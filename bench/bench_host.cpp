#include "bench_host.h"

#include <cstdlib>

#include "core/plugin.h"

extern "C" const LV2_Descriptor* lv2_descriptor(uint32_t index);

namespace zt::bench {

namespace {
constexpr uint32_t kSignalFrames = 1u << 17;
constexpr uint32_t kMaxCall = 8192;
// The stereo instance through the same kind of table as the mono plugin's
// descriptor (the stereo descriptor lives in a library of its own).
LV2_Handle stereo_instantiate(const LV2_Descriptor*, double rate, const char*, const LV2_Feature* const*)
{
    return plugin_instantiate(rate, 2);
}
void stereo_connect(LV2_Handle h, uint32_t port, void* data) { plugin_connect_port(static_cast<Plugin*>(h), port, data); }
void stereo_run(LV2_Handle h, uint32_t n) { plugin_run(static_cast<Plugin*>(h), n); }
void stereo_cleanup(LV2_Handle h) { plugin_cleanup(static_cast<Plugin*>(h)); }
void no_op(LV2_Handle) {}
const LV2_Descriptor kStereo = {"stereo", stereo_instantiate, stereo_connect, no_op,
                                stereo_run, no_op, stereo_cleanup, nullptr};
} // namespace

std::vector<float> make_saw(uint32_t frames)
{
    std::vector<float> s(frames);
    double phase = 0.0;
    for (float& v : s) {
        v = static_cast<float>(0.5 * (2.0 * phase - 1.0));
        phase += 110.0 / 48000.0;
        if (phase >= 1.0) phase -= 1.0;
    }
    return s;
}

Host::Host(const ControlValues& c, const LV2_Feature* const* features, uint32_t ch)
    : controls(c), signal(make_saw(kSignalFrames)), out(kMaxCall), out_right(kMaxCall), channels(ch)
{
    desc = ch == 2 ? &kStereo : lv2_descriptor(0);
    handle = desc->instantiate(desc, 48000.0, "", features);
    if (!handle) std::abort();
    for (uint32_t p = P_MIX; p < P_COUNT; ++p) desc->connect_port(handle, p, &controls.v[p]);
    desc->connect_port(handle, P_OUT, out.data());
    if (ch == 2) desc->connect_port(handle, PORT_OUT_R, out_right.data());
    desc->activate(handle);
}

Host::~Host()
{
    desc->deactivate(handle);
    desc->cleanup(handle);
}

void Host::run(uint32_t frames, uint32_t per_call)
{
    while (frames > 0) {
        const uint32_t n = frames < per_call ? frames : per_call;
        if (pos + n > signal.size()) pos = 0;
        desc->connect_port(handle, P_IN, signal.data() + pos);
        if (channels == 2)
            desc->connect_port(handle, PORT_IN_R, signal.data() + (pos + kSignalFrames / 2) % (kSignalFrames - kMaxCall));
        desc->run(handle, n);
        pos += n;
        frames -= n;
    }
}

void Host::run_silence(uint32_t frames, uint32_t per_call)
{
    static const std::vector<float> zeros(kMaxCall, 0.0f);
    desc->connect_port(handle, P_IN, const_cast<float*>(zeros.data()));
    if (channels == 2) desc->connect_port(handle, PORT_IN_R, const_cast<float*>(zeros.data()));
    while (frames > 0) {
        const uint32_t n = frames < per_call ? frames : per_call;
        desc->run(handle, n);
        frames -= n;
    }
}

} // namespace zt::bench
