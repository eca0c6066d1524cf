#pragma once
// The calling thread's floating-point control register, read and written
// with the C library's own means rather than the plugin's, so that the
// renderer checks the plugin's mode handling instead of sharing its code.
#include <cstdint>

#if defined(__x86_64__)
#include <xmmintrin.h>
#elif defined(__aarch64__) || defined(__arm__)
#include <fpu_control.h>
#else
#error "the render host knows the floating-point register of x86-64 and Arm only"
#endif

namespace zt_cross {

struct CallerModes {
    uint32_t at_load;       // what the library's load-time initialiser must set
    uint32_t c_default;     // the C library's start-up mode: nearest, no flush
    uint32_t toward_zero;   // round toward zero, no flush: every rounding differs
    uint32_t status_bits;   // sticky exception flags kept in the same register
};

#if defined(__x86_64__)
// MXCSR: FTZ 0x8000 | DAZ 0x40 | exceptions masked 0x1F80; rounding field
// 0x6000; the flags raised by arithmetic sit in bits 5:0.
constexpr CallerModes kModes{0x9FC0, 0x1F80, 0x7F80, 0x3F};
inline uint32_t mode_get() { return _mm_getcsr(); }
inline void mode_set(uint32_t m) { _mm_setcsr(m); }
#else
#if defined(__aarch64__)
// FPCR: FZ is bit 24, the rounding mode bits 23:22 (3 = toward zero); the
// flags live in FPSR, a register of their own.
constexpr CallerModes kModes{0x1000000, 0x0, 0xC00000, 0x0};
#else
// FPSCR: the same FZ and rounding bits as FPCR, but one register with the
// comparison flags (31:27) and the sticky exception flags (7, 4:0).
constexpr CallerModes kModes{0x1000000, 0x0, 0xC00000, 0xF800009F};
#endif
inline uint32_t mode_get()
{
    fpu_control_t cw;
    _FPU_GETCW(cw);
    return static_cast<uint32_t>(cw);
}
inline void mode_set(uint32_t m)
{
    fpu_control_t cw = m;
    _FPU_SETCW(cw);
}
#endif

} // namespace zt_cross
