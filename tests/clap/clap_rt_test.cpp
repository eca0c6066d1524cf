// process and flush are real-time code: no allocation, no file access, no
// locks, no sleeps. The shipped .clap, loaded with dlopen, runs a session of
// every frame count from 0 to 8192 with param events at odd frames (values
// in range, far out of it, not finite, unknown ids) with the rt_guard net
// armed over every audio-thread call, tail included.
#include <clap/clap.h>
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "rt_guard.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

const void* no_extension(const clap_host_t*, const char*) { return nullptr; }
void nothing(const clap_host_t*) {}

std::vector<clap_event_param_value_t> g_events;
uint32_t events_size(const clap_input_events_t*) { return uint32_t(g_events.size()); }
const clap_event_header_t* events_get(const clap_input_events_t*, uint32_t i) { return &g_events[i].header; }
bool events_push(const clap_output_events_t*, const clap_event_header_t*) { return true; }

TEST(ClapRtSafety, ProcessFlushAndTailCallNothingOutside)
{
    void* lib = dlopen(ZT_BUNDLE_PARENT "/zirpomatik-tolm.clap", RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib, nullptr) << dlerror();
    const auto* entry = static_cast<const clap_plugin_entry_t*>(dlsym(lib, "clap_entry"));
    ASSERT_TRUE(entry && entry->init(ZT_BUNDLE_PARENT "/zirpomatik-tolm.clap"));
    const auto* f = static_cast<const clap_plugin_factory_t*>(entry->get_factory(CLAP_PLUGIN_FACTORY_ID));
    const clap_host_t host{CLAP_VERSION_INIT, nullptr, "rt", "", "", "1", no_extension, nothing, nothing, nothing};
    const clap_plugin_t* p = f->create_plugin(f, &host, "org.zirpomatik.tolm");
    ASSERT_TRUE(p && p->init(p) && p->activate(p, 44100, 0, 8192));
    const auto* params = static_cast<const clap_plugin_params_t*>(p->get_extension(p, CLAP_EXT_PARAMS));
    const auto* tail = static_cast<const clap_plugin_tail_t*>(p->get_extension(p, CLAP_EXT_TAIL));
    const double values[] = {0, 1, 3, 7.5, 36, 100, 1200, 20000, -1e30, 1e30, kNaN, kInf, -kInf, 2.9, 0.1};
    std::vector<float> buf(8192);
    for (size_t j = 0; j < buf.size(); ++j) buf[j] = float(j % 109) / 54.5f - 1.0f;
    g_events.reserve(64);
    float* ch[1] = {buf.data()};
    clap_audio_buffer_t audio{ch, nullptr, 1, 0, 0};
    const clap_input_events_t in{nullptr, events_size, events_get};
    const clap_output_events_t out{nullptr, events_push};
    uint32_t k = 0;
    for (uint32_t n = 0; n <= 8192; n += (n < 64 ? 1 : 97)) {
        g_events.clear();
        for (uint32_t e = 0; e < 12; ++e, ++k) {
            clap_event_param_value_t ev{};
            const uint32_t at = n ? (e * 131 + k) % n : 0;
            ev.header = {sizeof ev, at, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_VALUE, 0};
            ev.param_id = k % 13;  // 11 and 12 are no params
            ev.value = values[k % std::size(values)];
            g_events.push_back(ev);
        }
        std::sort(g_events.begin(), g_events.end(),
                  [](const auto& a, const auto& b) { return a.header.time < b.header.time; });
        const clap_process_t pr{-1, n, nullptr, &audio, &audio, 1, 1, &in, &out};
        {
            rt_guard::Armed net;
            if (n == 0) p->start_processing(p);
            p->process(p, &pr);
            params->flush(p, &in, &out);
            tail->get(p);
        }
        const rt_guard::Catch c = rt_guard::take();
        ASSERT_EQ(c.count, 0u) << n << " frames: " << c.first();
        for (float s : buf) ASSERT_TRUE(std::isfinite(s)) << n;
    }
    p->stop_processing(p);
    p->deactivate(p);
    p->destroy(p);
    entry->deinit();
    dlclose(lib);
}

} // namespace
