#include "event_segments.h"

namespace zt {

namespace {

// A ramped control takes a new target at every call's intake but moves only
// at the smoothing step on every 16th frame of the stream. A change to it
// can wait for the next step (or for the next change that needs a cut
// anyway) without changing a bit: the call is cut less often.
bool is_smoothed(uint32_t port)
{
    return port == PORT_MIX || port == PORT_RATE || port == PORT_CENTER || port == PORT_OCTAVES;
}

void run_to(EventSegments& s, uint32_t to)
{
    if (to > s.pos) s.sink.run(s.sink.context, s.pos, to), s.pos = to;
}

void apply_held(EventSegments& s)
{
    for (uint32_t port = PORT_MIX; s.held; ++port)
        if (s.held & (1u << port)) s.sink.apply(s.sink.context, port, s.value[port]), s.held &= ~(1u << port);
}

} // namespace

void segments_begin(EventSegments& s, const SegmentSink& sink, uint32_t block_pos, uint32_t frames)
{
    s.sink = sink;
    s.frames = frames;
    s.pos = 0;
    s.phase = block_pos;
    s.held = 0;
    s.due = 0;
}

void segments_event(EventSegments& s, uint32_t port, float value, uint32_t at)
{
    if (at > s.frames) at = s.frames;
    if (s.held && s.due <= at) {
        run_to(s, s.due);
        apply_held(s);
    }
    if (is_smoothed(port)) {
        if (!s.held) s.due = at + (kBlockSize - (s.phase + at) % kBlockSize) % kBlockSize;
        s.held |= 1u << port;
        s.value[port] = value;
        return;
    }
    // Changes at the same frame are applied together: a run call of no
    // frames between them would take in a value no LV2 host ever sets.
    run_to(s, at);
    apply_held(s);
    s.sink.apply(s.sink.context, port, value);
}

void segments_end(EventSegments& s)
{
    if (s.held) {
        if (s.due < s.frames) run_to(s, s.due);
        apply_held(s);
    }
    if (s.pos < s.frames || s.frames == 0) s.sink.run(s.sink.context, s.pos, s.frames);
}

} // namespace zt
