// clap.tail: how long the output rings on once the input is silent.
#include "clap_face.h"
#include "../core/tail.h"

namespace zt {

namespace {

// Any value from INT32_MAX up stands for a tail that never ends, as the
// core's kTailEndless does.
uint32_t tail_get(const clap_plugin_t* plugin)
{
    const ClapPlugin& p = clap_self(plugin);
    float value[PORT_COUNT] = {};
    for (uint32_t port = kFirstControl; port < PORT_COUNT; ++port) value[port] = clap_plugin_value(p, port);
    return tail_frames(value);
}

} // namespace

const clap_plugin_tail_t kClapTail = {tail_get};

} // namespace zt
