// process: the block is rendered in segments between the host's param
// events, each event applied to the control the core reads at the start of
// the next segment. That is what an LV2 host does when it ends run at the
// event's frame and sets the control before the next call, so the output is
// the LV2 plugin's bit for bit. A block without events is one run call.
#include "clap_face.h"
#include "../core/fp_mode.h"

namespace zt {

namespace {

void push_gesture(const clap_output_events_t* out, uint16_t type, uint32_t port)
{
    clap_event_param_gesture_t ev{};
    ev.header = clap_event_header_t{sizeof ev, 0, CLAP_CORE_EVENT_SPACE_ID, type, 0};
    ev.param_id = port;
    out->try_push(out, &ev.header);
}

void push_value(const clap_output_events_t* out, uint32_t port, float value)
{
    clap_event_param_value_t ev{};
    ev.header = clap_event_header_t{sizeof ev, 0, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_VALUE, 0};
    ev.param_id = port;
    ev.note_id = -1;
    ev.port_index = -1;
    ev.channel = -1;
    ev.key = -1;
    ev.value = value;
    out->try_push(out, &ev.header);
}

// The port a param value event sets, and its value; false for any other
// event, an unknown id or a value that is not a number.
bool host_value(const clap_event_header_t* h, uint32_t* port, float* value)
{
    if (h->space_id != CLAP_CORE_EVENT_SPACE_ID || h->type != CLAP_EVENT_PARAM_VALUE ||
        h->size < sizeof(clap_event_param_value_t))
        return false;
    const auto* ev = reinterpret_cast<const clap_event_param_value_t*>(h);
    if (!clap_take_value(ev->param_id, ev->value, value)) return false;
    *port = ev->param_id;
    return true;
}

void apply_host_value(ClapPlugin& p, uint32_t port, float value)
{
    p.controls[port] = value;
    p.shown[port].store(value, std::memory_order_relaxed);
    p.host_changed.fetch_or(1u << port, std::memory_order_release);
}

// A ramped control takes a new target at every call's intake but moves only
// at the smoothing step on every 16th frame of the stream. An event for it
// can wait for the next step (or for the next event that needs a split
// anyway) without changing a bit: the block is cut less often.
bool is_smoothed(uint32_t port)
{
    return port == PORT_MIX || port == PORT_RATE || port == PORT_CENTER || port == PORT_OCTAVES;
}

struct Deferred {
    uint32_t phase;  // frames of the stream's 16-frame step run before this block
    uint32_t mask = 0;
    uint32_t due = 0;  // the frame of the next step, where they must be in
    float value[PORT_COUNT];

    void hold(ClapPlugin& p, uint32_t port, float v, uint32_t at)
    {
        if (!mask) due = at + (kBlockSize - (phase + at) % kBlockSize) % kBlockSize;
        mask |= 1u << port;
        value[port] = v;
        p.shown[port].store(v, std::memory_order_relaxed);
    }

    void apply(ClapPlugin& p)
    {
        for (uint32_t port = kFirstControl; mask; ++port)
            if (mask & (1u << port)) apply_host_value(p, port, value[port]), mask &= ~(1u << port);
    }
};

// Each channel's buffers of the host's main ports.
struct Channels {
    float* in[kMaxChannels];
    float* out[kMaxChannels];
};

constexpr uint32_t kInPort[kMaxChannels] = {PORT_IN, PORT_IN_R};
constexpr uint32_t kOutPort[kMaxChannels] = {PORT_OUT, PORT_OUT_R};

void run_segment(ClapPlugin& p, const Channels& ch, uint32_t from, uint32_t to)
{
    for (uint32_t c = 0; c < p.channels; ++c) {
        plugin_connect_port(p.core, kInPort[c], ch.in[c] + from);
        plugin_connect_port(p.core, kOutPort[c], ch.out[c] + from);
    }
    plugin_run_in_mode(p.core, to - from);
}

// False unless the host gave every channel of both ports a buffer.
bool take_channels(const ClapPlugin& p, const clap_process_t* pr, Channels* ch)
{
    if (pr->audio_inputs_count < 1 || pr->audio_outputs_count < 1) return false;
    const clap_audio_buffer_t& in = pr->audio_inputs[0];
    const clap_audio_buffer_t& out = pr->audio_outputs[0];
    if (!in.data32 || !out.data32 || in.channel_count < p.channels || out.channel_count < p.channels) return false;
    for (uint32_t c = 0; c < p.channels; ++c) {
        ch->in[c] = in.data32[c];
        ch->out[c] = out.data32[c];
        if (!ch->in[c] || !ch->out[c]) return false;
    }
    return true;
}

} // namespace

void clap_apply_loaded(ClapPlugin& p)
{
    // A plain load first: most calls find nothing, and skip the exchange.
    if (!p.loaded_mask.load(std::memory_order_relaxed)) return;
    const uint32_t mask = p.loaded_mask.exchange(0, std::memory_order_acquire);
    for (uint32_t port = kFirstControl; port < PORT_COUNT; ++port)
        if (mask & (1u << port)) p.controls[port] = p.loaded[port].load(std::memory_order_relaxed);
}

void clap_apply_edits(ClapPlugin& p, const clap_output_events_t* out)
{
    EditRing& r = p.edits;
    const uint32_t head = r.head.load(std::memory_order_acquire);
    uint32_t tail = r.tail.load(std::memory_order_relaxed);
    if (tail == head) return;
    for (; tail != head; ++tail) {
        const ClapEdit& e = r.slot[tail % kEditRingSize];
        p.controls[e.port] = e.value;
        if (!out) continue;
        if (e.gesture_begin) push_gesture(out, CLAP_EVENT_PARAM_GESTURE_BEGIN, e.port);
        push_value(out, e.port, e.value);
        if (e.gesture_end) push_gesture(out, CLAP_EVENT_PARAM_GESTURE_END, e.port);
    }
    r.tail.store(tail, std::memory_order_release);
}

void clap_flush(ClapPlugin& p, const clap_input_events_t* in, const clap_output_events_t* out)
{
    clap_apply_loaded(p);
    clap_apply_edits(p, out);
    if (!in) return;
    const uint32_t count = in->size(in);
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t port;
        float value;
        if (host_value(in->get(in, i), &port, &value)) apply_host_value(p, port, value);
    }
}

clap_process_status clap_process(const clap_plugin_t* plugin, const clap_process_t* pr)
{
    ClapPlugin& p = clap_self(plugin);
    clap_apply_loaded(p);
    clap_apply_edits(p, pr->out_events);
    const uint32_t n = pr->frames_count;
    Channels ch;
    if (!take_channels(p, pr, &ch)) {
        clap_flush(p, pr->in_events, nullptr);
        return CLAP_PROCESS_ERROR;
    }
    // One mode change for the whole call, however many runs its events cut
    // it into, and one publication after them.
    const FpModeScope mode;
    pr->audio_outputs[0].constant_mask = 0;

    const clap_input_events_t* events = pr->in_events;
    const uint32_t count = events ? events->size(events) : 0;
    uint32_t pos = 0;
    Deferred d{p.core->block_pos, 0, 0, {}};
    for (uint32_t i = 0; i < count; ++i) {
        const clap_event_header_t* h = events->get(events, i);
        uint32_t port;
        float value;
        if (!h || !host_value(h, &port, &value)) continue;
        // Events come sorted by time; one past the block's end (a host's
        // mistake) is applied after the block's last frame.
        const uint32_t at = h->time < n ? h->time : n;
        if (d.mask && d.due <= at) {
            if (d.due > pos) run_segment(p, ch, pos, d.due), pos = d.due;
            d.apply(p);
        }
        if (is_smoothed(port)) {
            d.hold(p, port, value, at);
            continue;
        }
        // Events at the same frame are applied together: a run call of no
        // frames between them would take in a value no LV2 host ever sets.
        if (at > pos) run_segment(p, ch, pos, at), pos = at;
        d.apply(p);
        apply_host_value(p, port, value);
    }
    if (d.mask) {
        if (d.due < n && d.due > pos) run_segment(p, ch, pos, d.due), pos = d.due;
        d.apply(p);
    }
    if (pos < n || n == 0) run_segment(p, ch, pos, n);
    plugin_publish(p.core);
    // The modulator runs on through silence, so the host must keep calling
    // for the sound to stay the LV2 plugin's.
    return CLAP_PROCESS_CONTINUE;
}

} // namespace zt
