#pragma once
// A host call with control changes at frames inside it, rendered as an LV2
// host would: run up to the change's frame, set the control, run on. Every
// face with sample-accurate events cuts its calls here, so all of them give
// the LV2 plugin's output bit for bit. A call without changes is one run.
#include <cstdint>

#include "plugin.h"

namespace zt {

// What the face does for the cutter: render frames [from, to) of the call
// (under the mode the face holds), and set a control before the next run.
struct SegmentSink {
    void* context;
    void (*run)(void* context, uint32_t from, uint32_t to);
    void (*apply)(void* context, uint32_t port, float value);
};

struct EventSegments {
    SegmentSink sink;
    uint32_t frames;   // in the call
    uint32_t pos;      // frames rendered so far
    uint32_t phase;    // frames of the stream's 16-frame step run before the call
    uint32_t held;     // ramped controls whose change waits (bit = port) ...
    uint32_t due;      // ... for the frame of the next step, where they must be in
    float value[PORT_COUNT];
};

// `block_pos` is the core's Plugin::block_pos before the call.
void segments_begin(EventSegments& s, const SegmentSink& sink, uint32_t block_pos, uint32_t frames);
// Changes in the order of their frames; a frame past the call's end is
// taken as its end.
void segments_event(EventSegments& s, uint32_t port, float value, uint32_t at);
// Renders the rest of the call.
void segments_end(EventSegments& s);

} // namespace zt
