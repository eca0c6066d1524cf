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

ZT_FMA_CLONES
void run_frames(Plugin& p, RandomCall& rng, uint32_t n)
{
    FilterEngine& e = *p.engine;
    const float* in = p.in;
    float* out = p.out;
    uint32_t j = 0;
    while (j < n) {
        if (p.block_pos == 0) step_smoothers(p);
        const uint32_t room = kBlockSize - p.block_pos;
        const uint32_t end = (n - j < room) ? n : j + room;
        p.block_pos = (p.block_pos + (end - j)) % kBlockSize;
        // Each frame's input is read before its output is stored, so the
        // host may pass one buffer for both.
        for (; j < end; ++j) out[j] = process_frame(e, rng, in[j]);
    }
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
