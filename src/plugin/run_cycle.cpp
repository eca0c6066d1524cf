#include "fp_mode.h"
#include "plugin.h"
#include "../engine/modulator.h"

namespace zt {

namespace {

// The fused multiply-adds of the sample path are exact by definition, so the
// results are the same bits with or without hardware FMA; the clone for
// processors that have it only makes them fast. Baseline x86-64 falls back
// to the C library's (exact, slower) fma.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(ZT_NO_CLONES)
#define ZT_FMA_CLONES __attribute__((target_clones("arch=x86-64-v3", "default")))
#else
#define ZT_FMA_CLONES
#endif

// Frames between events with no glide running: nothing but the filter, every
// value in registers, and the modulator's countdown settled afterwards.
template <bool Feedback>
inline void run_idle(SampleRegs& regs, const float* in, float* out, uint32_t n)
{
    SampleRegs r = regs;
    // Each frame's input is read before its output is stored, so the host
    // may pass one buffer for both.
    for (uint32_t j = 0; j < n; ++j) out[j] = sample_step<Feedback>(r, in[j]);
    regs = r;
}

// One frame with the modulator around it: a glide step (new coefficients)
// before the sample, the countdown and maybe an event after it.
template <bool Feedback>
inline float run_modulated(FilterEngine& e, SampleRegs& r, RandomCall& rng, float s)
{
    if (e.glide_remaining != 0) {
        glide_step(e);
        load_params(r, e);
    }
    const float y = sample_step<Feedback>(r, s);
    modulator_tick(e, rng);
    return y;
}

// Frames [j, end) of one smoothing block. Returns early (at the frame it has
// reached) if a glide step switched the feedback term on or off.
template <bool Feedback>
inline uint32_t run_block(FilterEngine& e, SampleRegs& r, RandomCall& rng,
                          const float* in, float* out, uint32_t j, uint32_t end)
{
    while (j < end) {
        if (e.glide_remaining == 0 && e.countdown > 1) {
            // Up to the frame on which the countdown reaches 0.
            const uint32_t before_event = static_cast<uint32_t>(e.countdown - 1);
            const uint32_t n = (end - j < before_event) ? end - j : before_event;
            run_idle<Feedback>(r, in + j, out + j, n);
            e.countdown -= static_cast<int32_t>(n);
            j += n;
            continue;
        }
        out[j] = run_modulated<Feedback>(e, r, rng, in[j]);
        ++j;
        if ((r.feedback_gain != 0.0f) != Feedback) break;
    }
    return j;
}

ZT_FMA_CLONES
void run_frames(Plugin& p, RandomCall& rng, uint32_t n)
{
    FilterEngine& e = *p.engine;
    const float* in = p.in;
    float* out = p.out;
    SampleRegs r = load_sample_regs(e);
    uint32_t j = 0;
    while (j < n) {
        if (p.block_pos == 0) {
            step_smoothers(p);
            r.dry_gain = e.dry_gain;
            r.wet_gain = e.wet_gain;
        }
        const uint32_t room = kBlockSize - p.block_pos;
        const uint32_t end = (n - j < room) ? n : j + room;
        const uint32_t done = (r.feedback_gain != 0.0f) ? run_block<true>(e, r, rng, in, out, j, end)
                                                        : run_block<false>(e, r, rng, in, out, j, end);
        p.block_pos = (p.block_pos + (done - j)) % kBlockSize;
        j = done;
    }
    store_memories(e, r);
}

} // namespace

void plugin_run(Plugin* p, uint32_t n)
{
    const FpModeScope mode;
    intake_controls(*p);
    if (n == 0) return;
    RandomCall rng = random_call_begin(&p->own_random);
    run_frames(*p, rng, n);
    random_call_release(rng);
}

} // namespace zt
