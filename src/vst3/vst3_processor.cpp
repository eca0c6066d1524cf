// The component's processor: 32-bit buses of the class's channels, and
// process, which merges the host's parameter queues by sample offset and
// renders the block in segments between the points (the core's
// event_segments.h), so the output is the LV2 plugin's bit for bit.
#include "vst3_face.h"
#include "../core/event_segments.h"
#include "../core/fp_mode.h"
#include "../core/preset_table.h"
#include "../core/tail.h"

namespace zt {

namespace {

Vst3Component& self(void* face) { return vst3_self<Vst3Component>(face); }

Steinberg_tresult query(void* face, const Steinberg_TUID iid, void** obj)
{
    Vst3Face& c = self(face).component;
    return static_cast<const Steinberg_Vst_IComponentVtbl*>(c.vtbl)->queryInterface(&c, iid, obj);
}

uint32_t add_ref(void* face)
{
    Vst3Face& c = self(face).component;
    return static_cast<const Steinberg_Vst_IComponentVtbl*>(c.vtbl)->addRef(&c);
}

uint32_t release(void* face)
{
    Vst3Face& c = self(face).component;
    return static_cast<const Steinberg_Vst_IComponentVtbl*>(c.vtbl)->release(&c);
}

// The class's arrangement on its one input and one output, nothing else.
Steinberg_tresult set_arrangements(void* face, Steinberg_Vst_SpeakerArrangement* inputs, int32_t num_ins,
                                   Steinberg_Vst_SpeakerArrangement* outputs, int32_t num_outs)
{
    const Steinberg_Vst_SpeakerArrangement want = self(face).cls->arrangement;
    const bool ok = num_ins == 1 && num_outs == 1 && inputs && outputs && inputs[0] == want && outputs[0] == want;
    return ok ? Steinberg_kResultTrue : Steinberg_kResultFalse;
}

Steinberg_tresult get_arrangement(void* face, Steinberg_Vst_BusDirection dir, int32_t index,
                                  Steinberg_Vst_SpeakerArrangement* arr)
{
    if (!arr || index != 0 ||
        (dir != Steinberg_Vst_BusDirections_kInput && dir != Steinberg_Vst_BusDirections_kOutput))
        return Steinberg_kInvalidArgument;
    *arr = self(face).cls->arrangement;
    return Steinberg_kResultOk;
}

// The filter is defined in single precision: 64-bit buffers are refused.
Steinberg_tresult can_process(void*, int32_t size)
{
    return size == Steinberg_Vst_SymbolicSampleSizes_kSample32 ? Steinberg_kResultTrue : Steinberg_kResultFalse;
}

uint32_t latency(void*) { return 0; }

// Any rate and block size: the rate is recorded, processing is at 48 kHz.
Steinberg_tresult setup(void* face, Steinberg_Vst_ProcessSetup* setup)
{
    Vst3Component& c = self(face);
    if (!setup || !c.core) return Steinberg_kInvalidArgument;
    if (setup->symbolicSampleSize != Steinberg_Vst_SymbolicSampleSizes_kSample32) return Steinberg_kResultFalse;
    c.core->sample_rate = setup->sampleRate;
    return Steinberg_kResultOk;
}

// Processing starts and stops as the host calls process: nothing to do.
Steinberg_tresult set_processing(void*, Steinberg_TBool) { return Steinberg_kResultOk; }

struct Vst3Run {
    Vst3Component& c;
    float* const* in;
    float* const* out;
};

void run_segment(void* context, uint32_t from, uint32_t to)
{
    Vst3Run& r = *static_cast<Vst3Run*>(context);
    if (to == from) return;  // a flush renders nothing
    static constexpr uint32_t kIn[kMaxChannels] = {PORT_IN, PORT_IN_R}, kOut[kMaxChannels] = {PORT_OUT, PORT_OUT_R};
    for (uint32_t ch = 0; ch < r.c.cls->channels; ++ch) {
        plugin_connect_port(r.c.core, kIn[ch], r.in[ch] + from);
        plugin_connect_port(r.c.core, kOut[ch], r.out[ch] + from);
    }
    plugin_run_in_mode(r.c.core, to - from);
}

void apply_value(void* context, uint32_t port, float value)
{
    Vst3Component& c = static_cast<Vst3Run*>(context)->c;
    c.controls[port] = value;
    c.shown[port].store(value, std::memory_order_relaxed);
}

// A point of a queue: a control's new value, or a factory preset, which
// sets all nine controls at its offset as an LV2 preset load does.
void take_point(EventSegments& s, Steinberg_Vst_ParamID id, double normalized, uint32_t at)
{
    if (id == kProgramParam) {
        if (normalized != normalized) return;
        const PresetInfo& preset = kPresets[vst3_program_of(normalized)];
        for (uint32_t i = 0; i < kControlCount; ++i) segments_event(s, kFirstControl + i, preset.value[i], at);
        return;
    }
    float value;
    if (vst3_to_plain(id, normalized, &value)) segments_event(s, id, value, at);
}

// The queues one block brings: one per parameter the host moved, each in
// the order of its offsets. More than a parameter for each of ours is a
// host's mistake, and the rest is left out.
constexpr int32_t kMaxQueues = 2 * (kControlCount + 1);

struct Queue {
    Steinberg_Vst_IParamValueQueue* q;
    Steinberg_Vst_ParamID id;
    int32_t next, count;
    int32_t offset;  // of point `next`
    double value;
};

bool load_point(Queue& q)
{
    while (q.next < q.count) {
        if (q.q->lpVtbl->getPoint(q.q, q.next, &q.offset, &q.value) == Steinberg_kResultOk) return true;
        ++q.next;
    }
    return false;
}

void take_changes(Steinberg_Vst_IParameterChanges* changes, EventSegments& s)
{
    if (!changes) return;
    Queue queue[kMaxQueues];
    int32_t queues = 0;
    const int32_t total = changes->lpVtbl->getParameterCount(changes);
    for (int32_t i = 0; i < total && queues < kMaxQueues; ++i) {
        Steinberg_Vst_IParamValueQueue* q = changes->lpVtbl->getParameterData(changes, i);
        if (!q) continue;
        const Steinberg_Vst_ParamID id = q->lpVtbl->getParameterId(q);
        if (!is_control_port(id) && id != kProgramParam) continue;
        Queue& slot = queue[queues];
        slot = Queue{q, id, 0, q->lpVtbl->getPointCount(q), 0, 0.0};
        if (load_point(slot)) ++queues;
    }
    // Merged by offset; points at the same offset go in the queues' order.
    while (queues > 0) {
        int32_t first = 0;
        for (int32_t i = 1; i < queues; ++i)
            if (queue[i].offset < queue[first].offset) first = i;
        Queue& q = queue[first];
        take_point(s, q.id, q.value, q.offset > 0 ? uint32_t(q.offset) : 0);
        ++q.next;
        if (!load_point(q)) {
            for (int32_t i = first; i + 1 < queues; ++i) queue[i] = queue[i + 1];
            --queues;
        }
    }
}

bool bus_ok(const Steinberg_Vst_AudioBusBuffers* bus, int32_t count, uint32_t channels)
{
    if (count < 1 || !bus || bus->numChannels != int32_t(channels) || !bus->Steinberg_Vst_AudioBusBuffers_channelBuffers32)
        return false;
    for (uint32_t ch = 0; ch < channels; ++ch)
        if (!bus->Steinberg_Vst_AudioBusBuffers_channelBuffers32[ch]) return false;
    return true;
}

// Silence in, and the filter's memories run out to exact zeros: silence
// out, which the host may skip. The output is looked at only then.
uint64_t output_silence(const Steinberg_Vst_AudioBusBuffers& in, const Steinberg_Vst_AudioBusBuffers& out,
                        uint32_t channels, uint32_t n)
{
    const uint64_t all = (uint64_t(1) << channels) - 1;
    if ((in.silenceFlags & all) != all) return 0;
    uint64_t flags = 0;
    for (uint32_t ch = 0; ch < channels; ++ch) {
        const float* o = out.Steinberg_Vst_AudioBusBuffers_channelBuffers32[ch];
        uint32_t i = 0;
        while (i < n && o[i] == 0.0f) ++i;
        if (i == n) flags |= uint64_t(1) << ch;
    }
    return flags;
}

// Audio thread. A block of no frames, or one without the buffers it needs,
// takes in the parameter changes and renders nothing.
Steinberg_tresult process(void* face, Steinberg_Vst_ProcessData* d)
{
    Vst3Component& c = self(face);
    if (!d || !c.core) return Steinberg_kInvalidArgument;
    vst3_take_loaded(c);
    const uint32_t channels = c.cls->channels;
    const bool audio = d->numSamples > 0 && d->symbolicSampleSize == Steinberg_Vst_SymbolicSampleSizes_kSample32 &&
                       bus_ok(d->inputs, d->numInputs, channels) && bus_ok(d->outputs, d->numOutputs, channels);
    const uint32_t n = audio ? uint32_t(d->numSamples) : 0;
    Vst3Run run{c, audio ? d->inputs[0].Steinberg_Vst_AudioBusBuffers_channelBuffers32 : nullptr,
                audio ? d->outputs[0].Steinberg_Vst_AudioBusBuffers_channelBuffers32 : nullptr};
    EventSegments segments;
    segments_begin(segments, SegmentSink{&run, run_segment, apply_value}, c.core->block_pos, n);
    {
        // One mode change for the whole call, however many runs its points
        // cut it into, and one publication after them.
        const FpModeScope mode;
        take_changes(d->inputParameterChanges, segments);
        segments_end(segments);
        if (audio) plugin_publish(c.core);
    }
    if (!audio) return d->numSamples < 0 ? Steinberg_kInvalidArgument : Steinberg_kResultOk;
    d->outputs[0].silenceFlags = output_silence(d->inputs[0], d->outputs[0], channels, n);
    return Steinberg_kResultOk;
}

// The modulator runs on through silence, and the filter may ring for ever:
// the core says how long the output goes on.
uint32_t tail(void* face)
{
    const Vst3Component& c = self(face);
    float value[PORT_COUNT] = {};
    for (uint32_t port = kFirstControl; port < PORT_COUNT; ++port)
        value[port] = c.shown[port].load(std::memory_order_relaxed);
    const uint32_t frames = tail_frames(value);
    return frames >= kTailEndless ? Steinberg_Vst_kInfiniteTail : frames;
}

// Nothing of the host's transport is needed.
uint32_t requirements(void*) { return 0; }

} // namespace

void vst3_take_loaded(Vst3Component& c)
{
    // A plain load first: most blocks find nothing, and skip the exchange.
    if (!c.loaded_mask.load(std::memory_order_relaxed)) return;
    const uint32_t mask = c.loaded_mask.exchange(0, std::memory_order_acquire);
    for (uint32_t port = kFirstControl; port < PORT_COUNT; ++port)
        if (mask & (1u << port)) c.controls[port] = c.loaded[port].load(std::memory_order_relaxed);
}

const Steinberg_Vst_IAudioProcessorVtbl kVst3ProcessorVtbl = {
    query, add_ref, release, set_arrangements, get_arrangement, can_process, latency,
    setup, set_processing, process, tail};

const Steinberg_Vst_IProcessContextRequirementsVtbl kVst3RequirementsVtbl = {query, add_ref, release,
                                                                             requirements};

} // namespace zt
