// libFuzzer target: the fuzz input is a program of host operations on up to
// three instances — control values (any float bits), runs of 0 … 8192
// frames on separate or shared buffers with all kinds of input, control
// ports moved to other storage, deactivate/activate, instances replaced,
// connections to port indices that do not exist, empty runs with the audio
// ports on memory that must not be touched.
//
// Checked on every run, besides what the sanitizers check: every output
// frame is finite; the input buffer is left alone; nothing before frame 0 or
// at or beyond frame n is read or written (the buffers sit between poisoned
// canaries, so AddressSanitizer stops at the first touch, and the canary
// bits are compared afterwards as well).
#include <lv2/core/lv2.h>
#include <sanitizer/asan_interface.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "core/plugin.h"

namespace {

constexpr uint32_t kMaxFrames = 8192;
constexpr uint32_t kFrameBudget = 1u << 17;  // per fuzz input, to keep runs fast
constexpr uint32_t kSlots = 3;
constexpr uint32_t kCanary = 8;              // floats on each side of a buffer
constexpr uint32_t kCanaryBits = 0x7FC0DEADu;

void fail(const char* what, uint32_t detail)
{
    std::fprintf(stderr, "zt_fuzz_run: %s (%u)\n", what, detail);
    std::abort();
}

// Reads the fuzz input front to back; past its end everything reads as 0.
struct Reader {
    const uint8_t* p;
    size_t left;
    bool empty() const { return left == 0; }
    uint8_t byte()
    {
        if (!left) return 0;
        --left;
        return *p++;
    }
    uint32_t u16() { return byte() | (uint32_t{byte()} << 8); }
    uint32_t u32() { return u16() | (u16() << 16); }
};

// Values worth trying on any control, picked by one byte; other bytes take
// the next four bytes as raw float bits (every NaN payload included).
float control_value(Reader& r)
{
    static constexpr float kTable[] = {
        std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
        -std::numeric_limits<float>::infinity(), 0.0f, -0.0f, 1e30f, -1e30f,
        std::numeric_limits<float>::max(), -std::numeric_limits<float>::max(),
        std::numeric_limits<float>::denorm_min(), 1, -1, 100, -100, 50, 0.1f, 7.5f, 1200, 20000, 20, 10,
        4, 2.9f, 39, 40, 5, 0.5f, 300, 1e9f, 48001, -2, 2147483648.0f};
    constexpr uint8_t kCount = sizeof(kTable) / sizeof(kTable[0]);
    const uint8_t pick = r.byte();
    if (pick < kCount) return kTable[pick];
    return std::bit_cast<float>(r.u32());
}

// A buffer of n frames between two canaries that the sanitizer watches.
struct Guarded {
    float* block = nullptr;
    uint32_t n = 0;

    explicit Guarded(uint32_t frames) : n(frames)
    {
        // malloc gives 16-byte alignment, and so does the canary before the
        // frames: the alignment hosts are known to give.
        block = static_cast<float*>(std::malloc((n + 2 * kCanary) * sizeof(float)));
        for (uint32_t i = 0; i < kCanary; ++i) {
            block[i] = std::bit_cast<float>(kCanaryBits);
            block[kCanary + n + i] = std::bit_cast<float>(kCanaryBits);
        }
        ASAN_POISON_MEMORY_REGION(block, kCanary * sizeof(float));
        ASAN_POISON_MEMORY_REGION(block + kCanary + n, kCanary * sizeof(float));
    }
    ~Guarded()
    {
        ASAN_UNPOISON_MEMORY_REGION(block, kCanary * sizeof(float));
        ASAN_UNPOISON_MEMORY_REGION(block + kCanary + n, kCanary * sizeof(float));
        for (uint32_t i = 0; i < kCanary; ++i)
            if (std::bit_cast<uint32_t>(block[i]) != kCanaryBits ||
                std::bit_cast<uint32_t>(block[kCanary + n + i]) != kCanaryBits)
                fail("a canary around a buffer changed; n =", n);
        std::free(block);
    }
    Guarded(const Guarded&) = delete;
    Guarded& operator=(const Guarded&) = delete;
    float* data() { return block + kCanary; }
};

// Memory no call may touch: what empty runs and bogus port indices get.
struct Forbidden {
    alignas(16) float cells[8] = {};
    Forbidden() { ASAN_POISON_MEMORY_REGION(cells, sizeof cells); }
    ~Forbidden() { ASAN_UNPOISON_MEMORY_REGION(cells, sizeof cells); }
};

struct Slot {
    LV2_Handle handle = nullptr;
    float control[2][zt::PORT_COUNT] = {};  // two sets of control storage
    int active = 0;                         // the set the ports point at
};

// The input of one run; returns whether every sample is finite.
bool fill_input(Reader& r, float* in, uint32_t n)
{
    const uint8_t kind = r.byte() % 7;
    const float level = control_value(r);
    uint32_t seed = r.u16() + 1;
    for (uint32_t j = 0; j < n; ++j) {
        seed = seed * 1664525u + 1013904223u;
        const float noise = static_cast<float>(static_cast<int32_t>(seed)) * 0x1p-31f;
        switch (kind) {
        case 0: in[j] = 0.0f; break;
        case 1: in[j] = level * std::sin(0.05f * static_cast<float>(j)); break;
        case 2: in[j] = level * noise; break;
        case 3: in[j] = (j == 0) ? level : 0.0f; break;
        case 4: in[j] = (j & 1) ? 3e38f : -3e38f; break;
        case 5: in[j] = noise; break;
        default:  // noise with the odd NaN or infinity
            in[j] = (seed >> 28) == 0 ? std::numeric_limits<float>::infinity()
                  : (seed >> 28) == 1 ? std::numeric_limits<float>::quiet_NaN() : noise;
            break;
        }
    }
    for (uint32_t j = 0; j < n; ++j)
        if (!std::isfinite(in[j])) return false;
    return true;
}

void connect_controls(const LV2_Descriptor* d, Slot& s)
{
    for (uint32_t p = zt::PORT_MIX; p < zt::PORT_COUNT; ++p) d->connect_port(s.handle, p, &s.control[s.active][p]);
}

void open_slot(const LV2_Descriptor* d, Slot& s, double rate)
{
    s.handle = d->instantiate(d, rate, "", nullptr);
    if (!s.handle) fail("instantiate returned null", 0);
    static constexpr float kDefaults[zt::PORT_COUNT] = {0, 0, 100, 7.5f, 1, 1, 0, 70, 1200, 4, 3};
    for (auto& set : s.control) std::memcpy(set, kDefaults, sizeof kDefaults);
    s.active = 0;
    connect_controls(d, s);
}

void run_checked(Reader& r, const LV2_Descriptor* d, Slot& s, uint32_t n)
{
    const bool in_place = r.byte() & 1;
    Guarded a(n), b(n);
    float* in = a.data();
    float* out = in_place ? a.data() : b.data();
    const bool finite_input = fill_input(r, in, n);
    float* copy = static_cast<float*>(std::malloc((n + 1) * sizeof(float)));
    std::memcpy(copy, in, n * sizeof(float));
    d->connect_port(s.handle, zt::PORT_IN, in);
    d->connect_port(s.handle, zt::PORT_OUT, out);
    d->run(s.handle, n);
    // The rule is stricter than finite-in, finite-out: a frame whose output
    // would not be finite comes out as 0, whatever the input.
    for (uint32_t j = 0; j < n; ++j)
        if (!std::isfinite(out[j]))
            fail(finite_input ? "non-finite output for finite input, frame" : "non-finite output, frame", j);
    if (!in_place && std::memcmp(copy, in, n * sizeof(float)) != 0) fail("run wrote to the input buffer", n);
    std::free(copy);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const LV2_Descriptor* d = lv2_descriptor(0);
    Reader r{data, size};
    Slot slots[kSlots];
    uint32_t current = 0;
    uint32_t budget = kFrameBudget;
    open_slot(d, slots[0], 48000);
    Forbidden forbidden;

    for (int ops = 0; ops < 512 && !r.empty(); ++ops) {
        Slot& s = slots[current];
        switch (r.byte() % 8) {
        case 0: {  // a control value
            const uint32_t port = zt::PORT_MIX + r.byte() % 9;
            s.control[s.active][port] = control_value(r);
            break;
        }
        case 1:  // a run; the total is bounded per input
        case 2: {
            uint32_t n = r.u16() % (kMaxFrames + 1);
            if (n > budget) n = budget;
            budget -= n;
            run_checked(r, d, s, n);
            break;
        }
        case 3:  // the control ports move to the other storage (same values or not)
            s.active ^= 1;
            if (r.byte() & 1) std::memcpy(s.control[s.active], s.control[s.active ^ 1], sizeof s.control[0]);
            connect_controls(d, s);
            break;
        case 4:
            d->deactivate(s.handle);
            d->activate(s.handle);
            break;
        case 5:  // the instance is replaced by a new one
            d->cleanup(s.handle);
            open_slot(d, s, static_cast<double>(control_value(r)));
            break;
        case 6: {  // another instance becomes current, created on first use
            current = r.byte() % kSlots;
            if (!slots[current].handle) open_slot(d, slots[current], 44100);
            break;
        }
        default: {  // ports that do not exist, and an empty run over forbidden audio
            d->connect_port(s.handle, zt::PORT_COUNT + r.byte(), forbidden.cells);
            d->connect_port(s.handle, zt::PORT_IN, forbidden.cells);
            d->connect_port(s.handle, zt::PORT_OUT, forbidden.cells);
            d->run(s.handle, 0);
            break;
        }
        }
    }
    for (Slot& s : slots)
        if (s.handle) d->cleanup(s.handle);
    return 0;
}
