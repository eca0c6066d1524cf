// The component's state through the host's stream: the core's record of
// the nine controls (state_format.h), which the controller reads too.
#include "vst3_face.h"
#include "../core/state_format.h"

namespace zt {

bool vst3_read_state(Steinberg_IBStream* stream, float (&values)[kControlCount])
{
    if (!stream) return false;
    // One byte more than a record holds tells an oversized stream apart.
    uint8_t record[kStateSize + 1];
    size_t got = 0;
    while (got < sizeof record) {
        int32_t n = 0;
        const Steinberg_tresult r =
            stream->lpVtbl->read(stream, record + got, int32_t(sizeof record - got), &n);
        if (n < 0 || size_t(n) > sizeof record - got) return false;
        got += size_t(n);
        // Streams say their end with no bytes, or with a refusal.
        if (r != Steinberg_kResultOk || n == 0) break;
    }
    return state_decode(record, got, values);
}

bool vst3_write_state(Steinberg_IBStream* stream, const float (&values)[kControlCount])
{
    if (!stream) return false;
    uint8_t record[kStateSize];
    state_encode(values, record);
    // A stream may take fewer bytes than offered; it is asked again.
    for (size_t done = 0; done < kStateSize;) {
        int32_t n = 0;
        const Steinberg_tresult r = stream->lpVtbl->write(stream, record + done, int32_t(kStateSize - done), &n);
        if (r != Steinberg_kResultOk || n <= 0 || size_t(n) > kStateSize - done) return false;
        done += size_t(n);
    }
    return true;
}

} // namespace zt
