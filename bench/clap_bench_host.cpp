#include "clap_bench_host.h"

#include <cstdlib>

extern "C" const clap_plugin_entry_t clap_entry;

namespace zt::bench {

namespace {

constexpr uint32_t kSignalFrames = 1u << 17;
constexpr uint32_t kMaxCall = 8192;

const void* no_extension(const clap_host_t*, const char*) { return nullptr; }
void nothing(const clap_host_t*) {}

uint32_t events_size(const clap_input_events_t* l)
{
    return uint32_t(static_cast<const ClapBenchHost*>(l->ctx)->events.size());
}
const clap_event_header_t* events_get(const clap_input_events_t* l, uint32_t i)
{
    return &static_cast<const ClapBenchHost*>(l->ctx)->events[i].header;
}
bool events_push(const clap_output_events_t*, const clap_event_header_t*) { return true; }

clap_event_param_value_t value_event(uint32_t at, uint32_t id, double v)
{
    clap_event_param_value_t ev{};
    ev.header = clap_event_header_t{sizeof ev, at, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_VALUE, 0};
    ev.param_id = id;
    ev.note_id = ev.port_index = ev.channel = ev.key = -1;
    ev.value = v;
    return ev;
}

} // namespace

ClapBenchHost::ClapBenchHost(const ControlValues& c) : signal(make_saw(kSignalFrames)), out(kMaxCall)
{
    host = clap_host_t{CLAP_VERSION_INIT, this, "zt_bench", "", "", "1", no_extension, nothing, nothing, nothing};
    const auto* f = static_cast<const clap_plugin_factory_t*>(clap_entry.get_factory(CLAP_PLUGIN_FACTORY_ID));
    plugin = f->create_plugin(f, &host, "org.zirpomatik.tolm");
    if (!plugin || !plugin->init(plugin) || !plugin->activate(plugin, 48000.0, 1, kMaxCall) ||
        !plugin->start_processing(plugin))
        std::abort();
    events.reserve(256);
    for (uint32_t p = P_MIX; p < P_COUNT; ++p) events.push_back(value_event(0, p, c.v[p]));
}

ClapBenchHost::~ClapBenchHost()
{
    plugin->stop_processing(plugin);
    plugin->deactivate(plugin);
    plugin->destroy(plugin);
}

// Events on one control (`moved`, alternating between two values, so each
// one reaches the engine), or, with kMixedEvents, on resonance, mix, centre
// and width in turn (each ramp then steps the band or the gains too).
void ClapBenchHost::run(uint32_t frames, uint32_t per_call, uint32_t events_per_call, uint32_t moved)
{
    static const uint32_t kMoved[4] = {P_RESONANCE, P_MIX, P_CENTER, P_OCTAVES};
    static const double kValues[4][2] = {{70.0, 71.0}, {100.0, 99.0}, {1200.0, 1210.0}, {4.0, 4.1}};
    while (frames > 0) {
        const uint32_t n = frames < per_call ? frames : per_call;
        if (pos + n > signal.size()) pos = 0;
        for (uint32_t e = 0; e < events_per_call; ++e, ++flip) {
            const uint32_t k = moved == kMixedEvents ? flip % 4 : moved;
            events.push_back(value_event(e * n / events_per_call, kMoved[k], kValues[k][(flip / 4) & 1]));
        }
        float* in_ch[1] = {signal.data() + pos};
        float* out_ch[1] = {out.data()};
        clap_audio_buffer_t ain{in_ch, nullptr, 1, 0, 0}, aout{out_ch, nullptr, 1, 0, 0};
        const clap_input_events_t in_events{this, events_size, events_get};
        const clap_output_events_t out_events{nullptr, events_push};
        const clap_process_t pr{-1, n, nullptr, &ain, &aout, 1, 1, &in_events, &out_events};
        plugin->process(plugin, &pr);
        events.clear();
        pos += n;
        frames -= n;
    }
}

} // namespace zt::bench
