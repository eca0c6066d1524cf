#include <bit>
#include <cstring>

#include "fp_mode.h"
#include "plugin.h"
#include "../engine/glide_maths.h"
#include "../engine/modulator.h"

namespace zt {

namespace {

// The fused multiply-adds of the sample path are exact by definition, so the
// results are the same bits with or without hardware FMA; the clone for
// processors that have it only makes them fast. Baseline x86-64 falls back
// to the C library's (exact, slower) fma. Every function that runs the
// sample path carries the clones, and everything it calls in its loop is
// inlined into each clone. The frame loops are functions of their own, with
// no call inside, so that the compiler keeps the filter's chain in registers.
#if defined(__x86_64__) && defined(__clang__) && !defined(ZT_NO_CLONES)
#define ZT_FMA_CLONES __attribute__((target_clones("arch=x86-64-v3", "default")))  // never inlined
#elif defined(__x86_64__) && defined(__GNUC__) && !defined(ZT_NO_CLONES)
#define ZT_FMA_CLONES __attribute__((target_clones("arch=x86-64-v3", "default"), noinline))
#else
#define ZT_FMA_CLONES __attribute__((noinline))
#endif
#define ZT_INLINE __attribute__((always_inline)) inline

// A glide frame's values (its cutoff and stage coefficient) depend only on
// its glide count and the glide's inputs, which stay fixed between events
// and smoother steps. They are computed a batch at a time, one batch ahead
// of the frames that use them, so that the power and exponential of later
// frames run beside the filter's chain instead of in front of it. The two
// slots alternate; they are kept for one run call and emptied whenever the
// inputs change. A batch with lanes the near forms cannot vouch for waits
// for `settle`, outside the frame loop, to ask the library.
struct GlideAhead {
    enum : uint8_t { kEmpty, kReady, kUnsure };
    uint32_t target = 0, settled = 0, freq_low = 0, freq_ratio = 0;
    int32_t length = 0;
    double log2_ratio = 0.0;
    uint8_t state[2] = {kEmpty, kEmpty};
    GlideBatch batch[2];

    static int slot_of(int32_t base) { return (base / kGlideBatch) & 1; }

    void follow(const FilterEngine& e)
    {
        const uint32_t t = std::bit_cast<uint32_t>(e.target), s = std::bit_cast<uint32_t>(e.settled);
        const uint32_t lo = std::bit_cast<uint32_t>(e.freq_low), ra = std::bit_cast<uint32_t>(e.freq_ratio);
        const bool kept = state[0] != kEmpty || state[1] != kEmpty;
        if (kept && t == target && s == settled && lo == freq_low && ra == freq_ratio && e.glide_length == length)
            return;
        if (!kept || ra != freq_ratio) log2_ratio = std::log2(static_cast<double>(e.freq_ratio));
        target = t, settled = s, freq_low = lo, freq_ratio = ra, length = e.glide_length;
        state[0] = state[1] = kEmpty;
    }

    // True when the batch at `base` is there and sure, computing it if need be.
    ZT_INLINE bool ensure(const FilterEngine& e, int32_t base)
    {
        const int k = slot_of(base);
        if (state[k] != kEmpty && batch[k].base == base) return state[k] == kReady;
        GlideBatch& b = batch[k];
        glide_batch_near(b, GlideInputs{e.target, e.settled, e.glide_length, e.freq_low, log2_ratio}, base);
        int32_t sure = 1;
        for (int i = 0; i < kGlideBatch; ++i) sure &= b.cutoff_sure[i] & b.coef_sure[i];
        state[k] = sure ? kReady : kUnsure;
        return sure;
    }

    // The library's values for the lanes of unsure batches.
    void settle(const FilterEngine& e)
    {
        for (int k = 0; k < 2; ++k) {
            if (state[k] != kUnsure) continue;
            GlideBatch& b = batch[k];
            for (int i = 0; i < kGlideBatch; ++i) {
                if (!b.cutoff_sure[i]) {
                    const int32_t remaining =
                        static_cast<int32_t>(static_cast<uint32_t>(b.base) + (kGlideBatch - 1 - i));
                    b.cutoff_hz[i] = band_cutoff(e.freq_low, e.freq_ratio, glide_position(e, remaining));
                    b.coef_sure[i] = 0;
                }
                if (!b.coef_sure[i]) b.coef[i] = cutoff_coef(b.cutoff_hz[i]);
            }
            state[k] = kReady;
        }
    }
};

// Each channel's buffers, from some frame on.
template <uint32_t C> struct Audio {
    const float* in[C];
    float* out[C];

    ZT_INLINE Audio from(uint32_t j) const
    {
        Audio a;
        for (uint32_t c = 0; c < C; ++c) a.in[c] = in[c] + j, a.out[c] = out[c] + j;
        return a;
    }
};

// The channels' chains share every coefficient and gain but no memory, so
// they run side by side in one pass: their loop-carried latencies overlap
// instead of adding up. The first channel's memories are the engine's.
// Each channel's values are a variable of their own (not an array indexed
// by channel), which the compiler keeps in registers.
template <uint32_t C> struct Regs;
template <> struct Regs<1> { SampleRegs left; };
template <> struct Regs<2> { SampleRegs left, right; };

template <uint32_t C> ZT_INLINE Regs<C> load_regs(const Plugin& p)
{
    Regs<C> r;
    r.left = load_sample_regs(*p.engine);
    if constexpr (C == 2) {
        r.right = r.left;
        load_memories(r.right, p.right);
    }
    return r;
}

template <uint32_t C> ZT_INLINE void store_regs(Plugin& p, const Regs<C>& r)
{
    store_memories(*p.engine, r.left);
    if constexpr (C == 2) store_memories(p.right, r.right);
}

template <uint32_t C> ZT_INLINE void set_coef(Regs<C>& r, float coef)
{
    for (float& c : r.left.coef) c = coef;
    if constexpr (C == 2)
        for (float& c : r.right.coef) c = coef;
}

// One frame of every channel. All its inputs are read before any output is
// stored, so the host may pass one buffer for input and output.
template <bool Feedback> ZT_INLINE void frame_step(Regs<1>& r, const Audio<1>& a, uint32_t j)
{
    a.out[0][j] = sample_step<Feedback>(r.left, a.in[0][j]);
}

template <bool Feedback> ZT_INLINE void frame_step(Regs<2>& r, const Audio<2>& a, uint32_t j)
{
    const float s0 = a.in[0][j], s1 = a.in[1][j];
    const float y0 = sample_step<Feedback>(r.left, s0);
    const float y1 = sample_step<Feedback>(r.right, s1);
    a.out[0][j] = y0;
    a.out[1][j] = y1;
}

// Frames between events with no glide running: nothing but the filter, every
// value in registers.
template <uint32_t C, bool Feedback>
ZT_INLINE void idle_loop(Regs<C>& r, const Audio<C>& a, uint32_t n)
{
    for (uint32_t j = 0; j < n; ++j) frame_step<Feedback>(r, a, j);
}

// Up to n glide frames with no event among them: the steps of glide_step,
// with the cutoff and coefficient taken from the batches. Stops after the
// frame that completes the glide, and before a frame whose batch is unsure
// (possibly the first). Returns the frames run.
template <uint32_t C, bool Feedback>
ZT_INLINE uint32_t glide_loop(FilterEngine& e, Regs<C>& r, GlideAhead& ahead, const Audio<C>& a,
                              uint32_t n)
{
    int32_t remaining = e.glide_remaining;
    float cutoff_hz = e.cutoff_hz;
    uint32_t j = 0;
    bool completed = false;
    while (j < n && !completed) {
        const int32_t count = wrapping_dec(remaining);
        const int32_t base = count & ~(kGlideBatch - 1);
        if (!ahead.ensure(e, base)) [[unlikely]]
            break;
        // The next batch starts now and runs beside this one's frames,
        // unless the glide completes in this batch (at count 0).
        if (base != 0) ahead.ensure(e, static_cast<int32_t>(static_cast<uint32_t>(base) - kGlideBatch));
        const GlideBatch& b = ahead.batch[GlideAhead::slot_of(base)];
        // The frames of this batch: counts from `count` down to `base`.
        const uint32_t lane = kGlideBatch - 1 - static_cast<uint32_t>(count & (kGlideBatch - 1));
        const uint32_t stop = (n - j < kGlideBatch - lane) ? lane + (n - j) : kGlideBatch;
        for (uint32_t i = lane; i < stop; ++i) {
            set_coef(r, b.coef[i]);
            frame_step<Feedback>(r, a, j);
            ++j;
        }
        cutoff_hz = b.cutoff_hz[stop - 1];
        remaining = static_cast<int32_t>(static_cast<uint32_t>(base) + (kGlideBatch - stop));
        if (remaining == 0) {
            e.settled = e.target;
            completed = true;
        }
    }
    if (j > 0) {
        e.glide_remaining = remaining;
        e.cutoff_hz = cutoff_hz;
        for (Stage& st : e.stage) st.coef = r.left.coef[0];
    }
    return j;
}

// The segments of the frame loop. Each takes the filter from the engine and
// puts its memories back, so that between segments (and calls) the chain
// passes through memory once.
template <uint32_t C> ZT_INLINE void idle_segment(Plugin& p, const Audio<C>& a, uint32_t n)
{
    Regs<C> r = load_regs<C>(p);
    if (r.left.feedback_gain != 0.0f) idle_loop<C, true>(r, a, n);
    else idle_loop<C, false>(r, a, n);
    store_regs(p, r);
}

template <uint32_t C> ZT_INLINE uint32_t glide_segment(Plugin& p, GlideAhead& ahead, const Audio<C>& a, uint32_t n)
{
    FilterEngine& e = *p.engine;
    ahead.follow(e);
    e.feedback_gain = e.resonance + e.resonance;  // as the first glide step sets it
    Regs<C> r = load_regs<C>(p);
    const uint32_t done = (r.left.feedback_gain != 0.0f) ? glide_loop<C, true>(e, r, ahead, a, n)
                                                       : glide_loop<C, false>(e, r, ahead, a, n);
    store_regs(p, r);
    return done;
}

// The event frame, or a glide step that has no divisor: process_frame for
// one channel; for two, its steps with both channels between the glide step
// and the clock.
template <uint32_t C> ZT_INLINE void single_frame(Plugin& p, RandomCall& rng, const Audio<C>& a, uint32_t j)
{
    FilterEngine& e = *p.engine;
    if constexpr (C == 1) {
        a.out[0][j] = process_frame(e, rng, a.in[0][j]);
    } else {
        glide_step(e);
        Regs<C> r = load_regs<C>(p);
        if (e.feedback_gain != 0.0f) frame_step<true>(r, a, j);
        else frame_step<false>(r, a, j);
        store_regs(p, r);
        modulator_tick(e, rng);
    }
}

ZT_FMA_CLONES void idle_frames(Plugin& p, Audio<1> a, uint32_t n) { idle_segment(p, a, n); }
ZT_FMA_CLONES void idle_frames(Plugin& p, Audio<2> a, uint32_t n) { idle_segment(p, a, n); }

ZT_FMA_CLONES uint32_t glide_frames(Plugin& p, GlideAhead& ahead, Audio<1> a, uint32_t n)
{
    return glide_segment(p, ahead, a, n);
}
ZT_FMA_CLONES uint32_t glide_frames(Plugin& p, GlideAhead& ahead, Audio<2> a, uint32_t n)
{
    return glide_segment(p, ahead, a, n);
}

// The four ramps, to see whether a smoothing step changed anything.
struct RampsSnapshot {
    Smoother s[4];
    explicit RampsSnapshot(const Plugin& p)
        : s{p.mix.smoother, p.rate.smoother, p.center.smoother, p.octaves.smoother} {}
    bool same_as(const Plugin& p) const
    {
        return std::memcmp(&s[0], &p.mix.smoother, sizeof(Smoother)) == 0 &&
               std::memcmp(&s[1], &p.rate.smoother, sizeof(Smoother)) == 0 &&
               std::memcmp(&s[2], &p.center.smoother, sizeof(Smoother)) == 0 &&
               std::memcmp(&s[3], &p.octaves.smoother, sizeof(Smoother)) == 0;
    }
};

template <uint32_t C> ZT_INLINE void run_frames(Plugin& p, RandomCall& rng, uint32_t n)
{
    FilterEngine& e = *p.engine;
    Audio<C> a;
    for (uint32_t c = 0; c < C; ++c) a.in[c] = p.in[c], a.out[c] = p.out[c];
    GlideAhead ahead;
    // A smoothing step that left every ramp as it was has brought them to
    // rest: each further step in this call would do the same nothing (the
    // ramps change only at the intake, and a setter given the value it
    // holds does nothing), so the frames run on across block boundaries.
    bool at_rest = false;
    uint32_t j = 0;
    while (j < n) {
        const uint32_t room = kBlockSize - p.block_pos;
        if (p.block_pos == 0 && !at_rest) {
            if (n - j > room) {  // only worth knowing if the call goes on
                const RampsSnapshot before(p);
                step_smoothers(p);
                at_rest = before.same_as(p);
            } else {
                step_smoothers(p);
            }
        }
        const uint32_t end = (at_rest || n - j < room) ? n : j + room;
        p.block_pos = (p.block_pos + (end - j)) % kBlockSize;
        while (j < end) {
            if (e.countdown > 1) {
                // Frames before the one on which the countdown reaches 0.
                const uint32_t before_event = static_cast<uint32_t>(e.countdown - 1);
                const uint32_t k = (end - j < before_event) ? end - j : before_event;
                if (e.glide_remaining == 0) {
                    idle_frames(p, a.from(j), k);
                    e.countdown -= static_cast<int32_t>(k);
                    j += k;
                    continue;
                }
                if (e.glide_length != 0 || e.glide_remaining == 1) {
                    const uint32_t done = glide_frames(p, ahead, a.from(j), k);
                    ahead.settle(e);  // a batch that stopped it is sure now
                    e.countdown -= static_cast<int32_t>(done);
                    j += done;
                    continue;
                }
            }
            single_frame(p, rng, a, j);
            ++j;
        }
    }
}

ZT_FMA_CLONES void run_mono(Plugin& p, RandomCall& rng, uint32_t n) { run_frames<1>(p, rng, n); }
ZT_FMA_CLONES void run_stereo(Plugin& p, RandomCall& rng, uint32_t n) { run_frames<2>(p, rng, n); }

} // namespace

void plugin_run_in_mode(Plugin* p, uint32_t n)
{
    intake_controls(*p);
    if (n != 0) {
        RandomCall rng = random_call_begin(&p->own_random);
        if (p->channels == 2) run_stereo(*p, rng, n);
        else run_mono(*p, rng, n);
        if (rng.held != kRandomNone) random_call_release(rng);  // most calls draw nothing
    }
}

// For the window and the host's picture: relaxed stores, read by nothing on
// this thread, and only when something they show moved.
void plugin_publish(Plugin* p)
{
    if (picture_moved(p->picture, *p->engine)) publish_picture(*p);
}

void plugin_run(Plugin* p, uint32_t n)
{
    const FpModeScope mode;
    plugin_run_in_mode(p, n);
    plugin_publish(p);
}

} // namespace zt
