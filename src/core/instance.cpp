// The instance's life: creation, port connection and cleanup, the same for
// every plugin format.
#include "plugin.h"

#include <cstddef>
#include <cstdlib>
#include <limits>
#include <new>

#include "fp_mode.h"
#include "../support/debug_log.h"

namespace zt {

namespace {

// The loading thread gets the filter's floating-point mode at load time.
__attribute__((constructor)) void set_load_time_fp_mode() { fp_mode_set(kFpMode); }

void connect_param(SmoothedParam& sp, void* data) { sp.port = static_cast<const float*>(data); }
void connect_param(PlainParam& pp, void* data) { pp.port = static_cast<const float*>(data); }

// The instance and its engine come straight from the C library's allocator
// and are built in place: the library then needs nothing of the C++ runtime,
// which would bring along a heap block of its own at every load (the
// exception pool behind operator new) and lose it at every unload.
template <typename T> T* create()
{
    static_assert(alignof(T) <= alignof(std::max_align_t), "malloc aligns no further");
    void* mem = std::malloc(sizeof(T));
    return mem ? new (mem) T{} : nullptr;
}

template <typename T> void destroy(T* t)
{
    if (!t) return;
    t->~T();
    std::free(t);
}

} // namespace

// Instantiation threading class.
Plugin* plugin_instantiate(double sample_rate, uint32_t channels)
{
    if (channels < 1 || channels > kMaxChannels) return nullptr;
    debug_log_init();
    Plugin* p = create<Plugin>();
    if (!p) return nullptr;
    p->engine = create<FilterEngine>();
    if (!p->engine) {
        destroy(p);
        return nullptr;
    }
    plugin_reset_sound(p);
    p->sample_rate = sample_rate;
    p->channels = channels;
    p->own_random = random_private_stream();
    return p;
}

// Audio threading class: nothing allocated, the connections kept.
void plugin_reset_sound(Plugin* p)
{
    *p->engine = FilterEngine{};
    p->right = ChannelMemory{};
    p->mix.smoother = make_smoother(1.0f, kMixStep);
    p->rate.smoother = make_smoother(7.5f, kRateStep);
    p->center.smoother = make_smoother(1200.0f, kCenterStep);
    p->octaves.smoother = make_smoother(4.0f, kOctavesStep);
    for (PlainParam* pp : {&p->glide_down, &p->glide_up, &p->shape, &p->resonance, &p->type})
        pp->last = kNoValue;
    p->block_pos = 0;
    p->live_cutoff.store(std::numeric_limits<float>::quiet_NaN());
    picture_init(*p);
}

// Audio threading class: stores the pointer only.
void plugin_connect_port(Plugin* p, uint32_t port, void* data)
{
    switch (port) {
    case PORT_IN: p->in[0] = static_cast<const float*>(data); break;
    case PORT_OUT: p->out[0] = static_cast<float*>(data); break;
    case PORT_IN_R: p->in[1] = static_cast<const float*>(data); break;
    case PORT_OUT_R: p->out[1] = static_cast<float*>(data); break;
    case PORT_MIX: connect_param(p->mix, data); break;
    case PORT_RATE: connect_param(p->rate, data); break;
    case PORT_GLIDE_DOWN: connect_param(p->glide_down, data); break;
    case PORT_GLIDE_UP: connect_param(p->glide_up, data); break;
    case PORT_SHAPE: connect_param(p->shape, data); break;
    case PORT_RESONANCE: connect_param(p->resonance, data); break;
    case PORT_CENTER: connect_param(p->center, data); break;
    case PORT_OCTAVES: connect_param(p->octaves, data); break;
    case PORT_TYPE: connect_param(p->type, data); break;
    default: break;
    }
}

// Instantiation threading class.
void plugin_cleanup(Plugin* p)
{
    picture_free(*p);
    destroy(p->engine);
    destroy(p);
}

} // namespace zt
