#include "reference_model.h"

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>

#if defined(__x86_64__) || defined(__i386__)
#include <xmmintrin.h>
#endif

namespace ztref {

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

float from_bits(uint32_t b) { return std::bit_cast<float>(b); }

// Weights c0 ... c4, feedback factor, input compensation; 40 rows.
const float kTypes[40][7] = {
    {0, -1, 0, 0, 0, 1, 0.5f},          {0, 0, 1, 0, 0, 1.25f, 0.7f},
    {0, 0, 0, -1, 0, 1.5f, 0.5f},       {0, 0, 0, 0, 1, 1.7f, 0.5f},
    {1, 1, 0, 0, 0, 1.6f, 0},           {1, 2, 1, 0, 0, 1.8f, 0},
    {1, 3, 3, 1, 0, 1.88f, 0},          {0, 2, 2, 0, 0, 1.5f, 0},
    {0, 0, 4, 8, 4, 1.5f, 0},           {1, 2, 2, 0, 0, 2, 0},
    {-1, -6, -12, -8, 0, 1.2f, 0.2f},   {0, 3, 6, 3, 0, 1.4f, 0},
    {0, 3, 9, 9, 3, 1.55f, 0},          {0, 1, 2, 2, 0, 1.75f, 1},
    {0, 1, 3, 6, 4, 1.5f, 0.25f},       {0, 3, 6, 3, 0, 1.2f, 0.25f},
    {-1, -2, 0, 0, 0, 1.3f, 0.2f},      {1, 4, 4, 0, 0, 1.3f, 0.2f},
    {-1, -6, -12, -8, 0, 1.3f, 0.2f},   {1, 8, 24, 32, 16, 1.3f, 0.2f},
    {1, 1, 0, 0, 0, 1.6f, 0},           {1, 2, 2, 0, 0, 2, 0},
    {1, 3, 6, 4, 0, 1.5f, 0},           {1, 4, 12, 16, 8, 1.5f, 0},
    {1, 4, 6, 4, 1, 1.975f, 0},         {0, -4, -7, -4, 0, 1.5f, 0},
    {0, -4, -8, -5, 0, 1.3f, 0.25f},    {0, 0, 4, 8, 5, 1.3f, 0.35f},
    {0.25f, 0.5f, 1.25f, 0, 0, 1.6f, 0.3f}, {1.5f, 3, 2, 0, 0, 1.6f, 0.3f},
    {1, 4, 10, 12, 6, 1.7f, 0},         {1, 4, 10.25f, 12.5f, 6.25f, 1.7f, 0},
    {1, 4, 11, 14, 7, 1.5f, 0},         {1, 4, 12, 16, 8, 1.4f, 0},
    {0.75f, 3, 10.5f, 15, 7.5f, 1.4f, 0}, {1, 0, 4, 8, 4, 1, 0},
    {1, 2, 2, 0, 0, 2, 0},              {0, 0, 0, 0, 0, 0, 0},
    {0, 0, 0, 0, 0, 0, 0},              {0, 0, 0, 0, 0, 0, 0},
};

// Float to signed 32-bit: truncate, saturate, NaN gives 0.
int32_t to_int32(float v)
{
    if (std::isnan(v)) return 0;
    if (v >= 2147483648.0f) return 2147483647;
    if (v <= -2147483648.0f) return -2147483647 - 1;
    return static_cast<int32_t>(v);
}

// Float to unsigned 64-bit: truncate, saturate, negative and NaN give 0.
uint64_t to_uint64(float v)
{
    if (std::isnan(v) || v <= 0.0f) return 0;
    if (v >= 18446744073709551616.0f) return UINT64_MAX;
    return static_cast<uint64_t>(v);
}

// Two's-complement decrement: the counters wrap at the 32-bit limits.
int32_t minus_one(int32_t v) { return std::bit_cast<int32_t>(std::bit_cast<uint32_t>(v) - 1u); }

uint64_t rotl(uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }

// ---- Engine setters ---------------------------------------------------------

void glide_length_rule(Model& m)
{
    m.glide_length = (m.period <= 0 && m.period < m.glide_remaining) ? 1 : m.period;
}

void coefficients(Model& m)
{
    const float k = std::exp(m.cutoff_hz * from_bits(0xB909421Fu));
    for (float& c : m.coef) c = k;
}

// Keeps the previous band when the new bottom is not a positive finite
// number or the ratio is NaN.
void band(Model& m)
{
    const double c = m.center_hz;
    const float lo = static_cast<float>(c * std::pow(2.0, -static_cast<double>(m.octaves_down)));
    const float hi = static_cast<float>(c * std::pow(2.0, static_cast<double>(m.octaves_up)));
    const float ratio = hi / lo;
    if (!(lo > 0.0f) || std::isinf(lo) || std::isnan(ratio)) return;
    m.freq_low = lo;
    m.freq_high = hi;
    m.freq_ratio = ratio;
}

void mix_to(Model& m, float v)
{
    if (v == m.mix) return;
    m.mix = v;
    const float theta = static_cast<float>(static_cast<double>(v) * 0.7853981633974483);
    float s, c;
    sincosf(theta, &s, &c);
    m.dry_gain = (c - s) * 0.70710677f;
    m.wet_gain = (c + s) * 0.70710677f;
}

void rate_to(Model& m, float v)
{
    if (v == m.rate_hz) return;
    m.rate_hz = v;
    m.period = to_int32(48000.0f / v);
    glide_length_rule(m);
}

// glide_down or glide_up.
void fraction_to(Model& m, float& fraction, float v)
{
    if (v == fraction) return;
    fraction = v;
    glide_length_rule(m);
}

void shape_to(Model& m, float v)
{
    if (v == m.shape_value) return;
    m.shape_value = v;
    m.shape = to_int32(v);
}

void resonance_to(Model& m, float v)
{
    if (v == m.resonance) return;
    m.resonance = v;
    m.feedback_gain = v + v;
    coefficients(m);
}

void center_to(Model& m, float v)
{
    if (v == m.center_hz) return;
    m.center_hz = v;
    band(m);
}

void octaves_to(Model& m, float v)
{
    if (v == m.octaves) return;
    m.octaves = v;
    m.octaves_down = m.octaves_up = v * 0.5f;
    band(m);
}

void type_to(Model& m, float v)
{
    if (v == m.type_value) return;
    m.type_value = v;
    const uint64_t row = to_uint64(v);
    if (row >= 40) return;
    std::memcpy(m.weight, kTypes[row], sizeof m.weight);
    m.feedback_factor = kTypes[row][5];
    m.input_comp = kTypes[row][6];
}

// ---- Sample path and modulator ----------------------------------------------

float clamp1(float v) { return v > 1.0f ? 1.0f : (v < -1.0f ? -1.0f : v); }

float filter(Model& m, float s)
{
    float x = s;
    if (m.feedback_gain != 0.0f) {
        const float gain = std::fma(m.feedback_gain, m.input_comp, 1.0f);
        const float e = (m.feedback_gain * m.feedback_sample) * m.feedback_factor;
        x = std::fma(s, gain, -e);
    }
    float y[5] = {x};
    for (int k = 1; k <= 4; ++k) {
        y[k] = clamp1(std::fma(m.coef[k - 1], m.state[k - 1] - y[k - 1], y[k - 1]));
        m.state[k - 1] = y[k];
    }
    m.feedback_sample = y[4];
    const float* c = m.weight;
    const float p = std::fma(c[0], x, -(c[1] * y[1]));
    const float q = std::fma(c[2], y[2], -(c[3] * y[3]));
    const float filtered = std::fma(c[4], y[4], q + p);
    const float out = std::fma(s, m.dry_gain, filtered * m.wet_gain);
    if (std::isnan(out) || std::fabs(out) > FLT_MAX) {
        // A frame that is not finite is silent and the filter starts over.
        for (float& st : m.state) st = 0.0f;
        m.feedback_sample = 0.0f;
        return 0.0f;
    }
    return out;
}

void glide(Model& m)
{
    if (m.glide_remaining == 0) return;
    m.glide_remaining = minus_one(m.glide_remaining);
    float value;
    if (m.glide_remaining == 0) {
        m.settled = m.target;
        value = m.target;
    } else if (m.glide_length == 0) {
        return;  // no divisor: the cutoff holds
    } else {
        const float span = (m.settled - m.target) * static_cast<float>(m.glide_remaining);
        value = m.target + span / static_cast<float>(m.glide_length);
    }
    m.cutoff_hz = static_cast<float>(static_cast<double>(m.freq_low) *
                                     std::pow(static_cast<double>(m.freq_ratio), static_cast<double>(value)));
    m.feedback_gain = m.resonance + m.resonance;
    coefficients(m);
}

// The call's copy of the shared generator, taken at its first draw.
struct Draws {
    Rng* shared;
    Rng copy;
    bool taken;
};

float draw(Draws& d)
{
    if (!d.taken) {
        d.copy = *d.shared;
        d.taken = true;
    }
    return rng_unit(d.copy);
}

void tick(Model& m, Draws& d)
{
    m.countdown = minus_one(m.countdown);
    if (m.countdown > 0) return;
    m.countdown = m.period;
    if (m.octaves_down == 0.0f && m.octaves_up == 0.0f) m.cutoff_hz = m.center_hz;
    switch (m.shape) {
    case 0: m.target = draw(d); break;
    case 1: {
        m.toggle = (m.toggle == 1) ? 0 : m.toggle + 1;
        const float low = 0.4f * draw(d);
        m.target = m.toggle != 0 ? static_cast<float>(1.1 - static_cast<double>(low)) : low;
        break;
    }
    case 2:
    case 3: {
        const float r0 = draw(d);
        const float r1 = draw(d);
        const float r2 = draw(d);
        m.target = r2 * (r1 * r0);
        break;
    }
    case 4: {
        const float r = draw(d);
        m.target = std::fma(r, r - 0.5f, 0.5f);
        break;
    }
    default: break;
    }
    const float fraction = m.settled < m.target ? m.glide_up : m.glide_down;
    m.glide_remaining = m.glide_length = to_int32(static_cast<float>(m.period) * fraction);
}

// ---- Controls ---------------------------------------------------------------

// Starts a hair off its value, so the first block always reaches the engine.
Ramp ramp(float v, float step)
{
    return Ramp{v, v * 0.9999f, step};
}

// One step per block (every ramp here has an interval of one block). True
// when the ramp moved and its value must reach the engine.
bool ramp_step(Ramp& r)
{
    if (r.current == r.target) return false;
    if (r.current < r.target) {
        r.current += r.step;
        if (r.current >= r.target) r.current = r.target;
    } else {
        r.current -= r.step;
        if (r.current <= r.target) r.current = r.target;
    }
    return true;
}

// NaN on a smoothed port leaves the target alone.
void aim(Ramp& r, float v)
{
    if (!std::isnan(v) && v != r.target) r.target = v;
}

bool changed(float& last, float v)
{
    if (v == last) return false;
    last = v;
    return true;
}

void intake(Model& m, const float* c)
{
    aim(m.ramp[0], c[kMix] * 0.01f);
    aim(m.ramp[1], c[kRate]);
    if (changed(m.last[0], c[kGlideDown])) fraction_to(m, m.glide_down, c[kGlideDown] * 0.01f);
    if (changed(m.last[1], c[kGlideUp])) fraction_to(m, m.glide_up, c[kGlideUp] * 0.01f);
    if (changed(m.last[2], c[kShape])) shape_to(m, c[kShape]);
    // A NaN resonance is ignored altogether.
    if (!std::isnan(c[kResonance]) && changed(m.last[3], c[kResonance]))
        resonance_to(m, c[kResonance] * 0.01f);
    aim(m.ramp[2], c[kCenter]);
    aim(m.ramp[3], c[kOctaves]);
    if (changed(m.last[4], c[kType])) type_to(m, c[kType]);
}

void step_ramps(Model& m)
{
    if (ramp_step(m.ramp[0])) mix_to(m, m.ramp[0].current);
    if (ramp_step(m.ramp[1])) rate_to(m, m.ramp[1].current);
    if (ramp_step(m.ramp[2])) center_to(m, m.ramp[2].current);
    if (ramp_step(m.ramp[3])) octaves_to(m, m.ramp[3].current);
}

} // namespace

uint64_t rng_next(Rng& g)
{
    uint64_t* s = g.s;
    const uint64_t result = rotl(s[1] * 5, 7) * 9;
    const uint64_t t = s[1] << 17;
    s[2] ^= s[0];
    s[3] ^= s[1];
    s[1] ^= s[2];
    s[0] ^= s[3];
    s[2] ^= t;
    s[3] = rotl(s[3], 45);
    return result;
}

float rng_unit(Rng& g)
{
    return static_cast<float>(static_cast<double>(rng_next(g) & 0xFFFFFFu) / 16777216.0);
}

Model model_new()
{
    Model m{};
    m.mix = 1.0f;
    m.dry_gain = 0.0f;
    m.wet_gain = 1.0f;
    m.rate_hz = 8.0f;
    m.glide_down = m.glide_up = 0.01f;
    m.resonance = 0.7f;
    m.center_hz = 440.0f;
    m.octaves = 2.0f;
    m.octaves_down = m.octaves_up = 1.0f;
    m.countdown = 100;
    m.period = 6000;
    m.target = 1.0f;
    m.settled = 0.5f;
    m.glide_length = 6000;
    m.cutoff_hz = m.freq_low = 220.0f;
    m.freq_high = 880.0f;
    m.freq_ratio = 4.0f;
    m.feedback_gain = 1.4f;
    m.feedback_factor = 1.0f;
    for (float& c : m.coef) c = 0.97161275f;
    m.weight[4] = 1.0f;
    m.ramp[0] = ramp(1.0f, from_bits(0x3F2AAAABu));
    m.ramp[1] = ramp(7.5f, 0.053f);
    m.ramp[2] = ramp(1200.0f, from_bits(0x419F7777u));
    m.ramp[3] = ramp(4.0f, from_bits(0x3CDA740Eu));
    for (float& l : m.last) l = kNaN;
    return m;
}

void model_run(Model& m, Rng& shared, const float controls[kControlCount], const float* in,
               float* out, uint32_t n)
{
    intake(m, controls);
    if (n == 0) return;
    Draws d{&shared, {}, false};
    for (uint32_t j = 0; j < n; ++j) {
        if (m.block_pos == 0) step_ramps(m);
        m.block_pos = (m.block_pos + 1) % 16;
        const float s = in[j];
        glide(m);
        const float y = filter(m, s);
        tick(m, d);
        out[j] = y;
    }
    if (d.taken) shared = d.copy;
}

void use_plugin_fp_mode()
{
#if defined(__x86_64__) || defined(__i386__)
    _mm_setcsr(0x9FC0);  // FTZ, DAZ, exceptions masked, nearest
#elif defined(__aarch64__)
    const uint64_t fpcr = 0x1000000;  // FZ
    __asm__ __volatile__("msr fpcr, %0" : : "r"(fpcr));
#elif defined(__arm__)
    const uint32_t fpscr = 0x1000000;  // FZ
    __asm__ __volatile__("vmsr fpscr, %0" : : "r"(fpscr));
#endif
}

} // namespace ztref
