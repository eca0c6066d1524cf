#include "clap_rig.h"

#include <cmath>

#include "core/port_table.h"
#include "support/random_gen.h"

namespace zt_test {

namespace {

ClapRig& rig_of(const clap_host_t* h) { return *static_cast<ClapRig*>(h->host_data); }

const void* host_extension(const clap_host_t* h, const char* id)
{
    ClapRig& r = rig_of(h);
    if (std::strcmp(id, CLAP_EXT_PARAMS) == 0) return &r.host_params;
    if (std::strcmp(id, CLAP_EXT_PRESET_LOAD) == 0) return &r.host_presets;
    return nullptr;
}

void host_nothing(const clap_host_t*) {}

uint32_t events_size(const clap_input_events_t* l)
{
    return uint32_t(static_cast<ClapRig*>(l->ctx)->events.size());
}

const clap_event_header_t* events_get(const clap_input_events_t* l, uint32_t i)
{
    return &static_cast<ClapRig*>(l->ctx)->events[i].header;
}

bool events_push(const clap_output_events_t* l, const clap_event_header_t* h)
{
    auto& out = static_cast<ClapRig*>(l->ctx)->out;
    if (h->type == CLAP_EVENT_PARAM_VALUE) {
        const auto* v = reinterpret_cast<const clap_event_param_value_t*>(h);
        out.push_back({h->type, v->param_id, v->value});
    } else {
        out.push_back({h->type, reinterpret_cast<const clap_event_param_gesture_t*>(h)->param_id, 0.0});
    }
    return true;
}

} // namespace

ClapRig::ClapRig(bool activate, const char* id)
{
    host = clap_host_t{CLAP_VERSION_INIT, this, "clap rig", "", "", "1", host_extension,
                       host_nothing, host_nothing, host_nothing};
    host_params.rescan = [](const clap_host_t* h, clap_param_rescan_flags) { ++rig_of(h).log.rescans; };
    host_params.clear = [](const clap_host_t*, clap_id, clap_param_clear_flags) {};
    host_params.request_flush = [](const clap_host_t* h) { ++rig_of(h).log.flush_requests; };
    host_presets.on_error = [](const clap_host_t* h, uint32_t, const char*, const char*, int32_t, const char*) {
        ++rig_of(h).log.preset_errors;
    };
    host_presets.loaded = [](const clap_host_t* h, uint32_t, const char*, const char* key) {
        rig_of(h).log.loaded_key = key ? key : "";
    };
    const auto* f = static_cast<const clap_plugin_factory_t*>(clap_entry.get_factory(CLAP_PLUGIN_FACTORY_ID));
    plugin = f->create_plugin(f, &host, id);
    if (!plugin || !plugin->init(plugin)) return;
    params = ext<clap_plugin_params_t>(CLAP_EXT_PARAMS);
    // A rate other than 48 kHz: the plugin processes at 48 kHz all the same.
    if (activate) plugin->activate(plugin, 44100.0, 1, 8192), plugin->start_processing(plugin);
}

ClapRig::~ClapRig()
{
    if (!plugin) return;
    if (self().active) plugin->stop_processing(plugin), plugin->deactivate(plugin);
    plugin->destroy(plugin);
}

double ClapRig::value(uint32_t id) const
{
    double v = -1e300;
    params->get_value(plugin, id, &v);
    return v;
}

void ClapRig::event(uint32_t at, uint32_t id, double v)
{
    clap_event_param_value_t ev{};
    ev.header = clap_event_header_t{sizeof ev, at, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_VALUE, 0};
    ev.param_id = id;
    ev.note_id = ev.port_index = ev.channel = ev.key = -1;
    ev.value = v;
    events.push_back(ev);
}

clap_process_status ClapRig::process(const float* in, float* out_buf, uint32_t n)
{
    float* in_ch[1] = {const_cast<float*>(in)};
    float* out_ch[1] = {out_buf};
    clap_audio_buffer_t ain{in_ch, nullptr, 1, 0, 0}, aout{out_ch, nullptr, 1, 0, 0};
    const clap_input_events_t ie{this, events_size, events_get};
    const clap_output_events_t oe{this, events_push};
    const clap_process_t pr{-1, n, nullptr, &ain, &aout, 1, 1, &ie, &oe};
    const clap_process_status st = plugin->process(plugin, &pr);
    events.clear();
    return st;
}

std::vector<float> test_input(size_t frames)
{
    std::vector<float> v(frames);
    uint32_t x = 12345;
    for (float& s : v) x = x * 1664525u + 1013904223u, s = float(int32_t(x) >> 8) * 0x1p-23f * 0.7f;
    return v;
}

std::vector<float> render_lv2(const std::vector<float>& in, uint32_t block, const std::vector<Move>& first_block)
{
    zt::g_random = zt::kRandomStart;
    const LV2_Descriptor* d = lv2_descriptor(0);
    static const LV2_Feature* const none[] = {nullptr};
    LV2_Handle h = d->instantiate(d, 44100.0, "", none);
    float controls[zt::PORT_COUNT];
    for (uint32_t p = zt::PORT_MIX; p < zt::PORT_COUNT; ++p) {
        controls[p] = zt::kPorts[p].def;
        d->connect_port(h, p, &controls[p]);
    }
    std::vector<float> out(in.size());
    d->activate(h);
    // The first block is split at every move; later ones run whole.
    uint32_t pos = 0;
    for (const Move& m : first_block) {
        if (m.at > pos) {
            d->connect_port(h, zt::PORT_IN, const_cast<float*>(&in[pos]));
            d->connect_port(h, zt::PORT_OUT, &out[pos]);
            d->run(h, m.at - pos);
            pos = m.at;
        }
        if (!std::isnan(m.lv2)) controls[m.port] = m.lv2;
    }
    for (uint32_t end = block; pos < in.size(); end += block) {
        d->connect_port(h, zt::PORT_IN, const_cast<float*>(&in[pos]));
        d->connect_port(h, zt::PORT_OUT, &out[pos]);
        d->run(h, end - pos);
        pos = end;
    }
    d->deactivate(h);
    d->cleanup(h);
    return out;
}

std::vector<float> render_clap(ClapRig& rig, const std::vector<float>& in, uint32_t block,
                               const std::vector<Move>& first_block)
{
    zt::g_random = zt::kRandomStart;
    std::vector<float> out(in.size());
    for (const Move& m : first_block) rig.event(m.at, m.port, m.sent);
    for (size_t pos = 0; pos < in.size(); pos += block) rig.process(&in[pos], &out[pos], block);
    return out;
}

bool same_bits(const std::vector<float>& a, const std::vector<float>& b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

} // namespace zt_test
