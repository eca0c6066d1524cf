#pragma once
// The floating-point mode the filter's results are defined under: flush-to-
// zero (and denormals-are-zero on x86), round to nearest, no traps. Without
// it the stage memories fill with subnormal numbers once the input falls
// silent: slow on x86, and the bits differ.
#include <cstdint>

#if defined(__x86_64__) || defined(__i386__)
#include <xmmintrin.h>
#endif

namespace zt {

#if defined(__x86_64__) || defined(__i386__)
// MXCSR: FTZ (bit 15), DAZ (bit 6), all six exceptions masked, nearest.
constexpr uint32_t kFpMode = 0x9FC0;
inline uint32_t fp_mode_get() { return _mm_getcsr(); }
inline void fp_mode_set(uint32_t m) { _mm_setcsr(m); }
#elif defined(__aarch64__)
// FPCR: FZ alone; round to nearest, traps off.
constexpr uint32_t kFpMode = 0x1000000;
inline uint32_t fp_mode_get()
{
    uint64_t v;
    __asm__ __volatile__("mrs %0, fpcr" : "=r"(v));
    return static_cast<uint32_t>(v);
}
// The memory clobber keeps the loads and stores around floating-point work
// (and so the work they feed and keep) on their side of the mode change.
inline void fp_mode_set(uint32_t m)
{
    const uint64_t v = m;
    __asm__ __volatile__("msr fpcr, %0" : : "r"(v) : "memory");
}
#elif defined(__arm__) && defined(__ARM_FP)
// FPSCR: FZ alone (it flushes inputs and results alike); round to nearest,
// traps off, no short vectors. The register also holds the comparison and
// the sticky exception flags, so a caller's value rarely equals the mode and
// is written back whole.
constexpr uint32_t kFpMode = 0x1000000;
inline uint32_t fp_mode_get()
{
    uint32_t v;
    __asm__ __volatile__("vmrs %0, fpscr" : "=r"(v));
    return v;
}
inline void fp_mode_set(uint32_t m) { __asm__ __volatile__("vmsr fpscr, %0" : : "r"(m) : "memory"); }
#else
#error "no flush-to-zero mode known for this processor"
#endif

// Holds the filter's mode for the lifetime of a host call and gives the
// caller's mode back afterwards. Hosts call run from threads of their own
// whose mode is not the one set at load.
struct FpModeScope {
    uint32_t saved;
    FpModeScope() : saved(fp_mode_get())
    {
        if (saved != kFpMode) fp_mode_set(kFpMode);
    }
    ~FpModeScope()
    {
        if (saved != kFpMode) fp_mode_set(saved);
    }
    FpModeScope(const FpModeScope&) = delete;
    FpModeScope& operator=(const FpModeScope&) = delete;
};

} // namespace zt
