// clap.state: the controls in the record of state_format.h.
#include "clap_face.h"
#include "../core/state_format.h"

namespace zt {

namespace {

bool state_save(const clap_plugin_t* plugin, const clap_ostream_t* stream)
{
    if (!stream) return false;
    const ClapPlugin& p = clap_self(plugin);
    float values[kStateControls];
    for (uint32_t i = 0; i < kStateControls; ++i) values[i] = clap_plugin_value(p, kFirstControl + i);
    uint8_t record[kStateSize];
    state_encode(values, record);
    // A stream may take fewer bytes than offered; it is asked again.
    for (size_t done = 0; done < kStateSize;) {
        const int64_t n = stream->write(stream, record + done, kStateSize - done);
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool state_load(const clap_plugin_t* plugin, const clap_istream_t* stream)
{
    if (!stream) return false;
    // One byte more than a record holds tells an oversized stream apart.
    uint8_t record[kStateSize + 1];
    size_t got = 0;
    while (got < sizeof record) {
        const int64_t n = stream->read(stream, record + got, sizeof record - got);
        if (n < 0) return false;
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    float values[kStateControls];
    if (!state_decode(record, got, values)) return false;
    clap_load_controls(clap_self(plugin), values);
    return true;
}

} // namespace

const clap_plugin_state_t kClapState = {state_save, state_load};

} // namespace zt
