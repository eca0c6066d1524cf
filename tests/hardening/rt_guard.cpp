// Replacements for the functions the audio thread must never reach. Each one
// records the call when the net is armed and forwards to the real function:
// allocation to glibc's __libc_* entry points, everything else to the next
// definition found by dlsym(RTLD_NEXT), resolved on first use.
#include "rt_guard.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <pthread.h>
#include <semaphore.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>

extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void __libc_free(void*);
void* __libc_memalign(size_t, size_t);
void* __libc_valloc(size_t);
void* __libc_pvalloc(size_t);
}

namespace rt_guard {
namespace {

// Plain atomics, constant-initialised: usable before any constructor runs
// and without touching anything these replacements replace.
std::atomic<bool> g_armed{false};
std::atomic<uint32_t> g_count{0};
std::atomic<const char*> g_names[kNames];

inline void note(const char* name)
{
    if (!g_armed.load(std::memory_order_relaxed)) return;
    g_count.fetch_add(1, std::memory_order_relaxed);
    for (std::atomic<const char*>& slot : g_names) {
        const char* seen = nullptr;
        if (slot.compare_exchange_strong(seen, name) || seen == name) return;
    }
}

} // namespace

void arm() { g_armed.store(true); }
void disarm() { g_armed.store(false); }

Catch take()
{
    Catch c{g_count.exchange(0), {}};
    for (int i = 0; i < kNames; ++i) c.names[i] = g_names[i].exchange(nullptr);
    return c;
}

bool Catch::has(const char* name) const
{
    for (const char* n : names)
        if (n && std::strcmp(n, name) == 0) return true;
    return false;
}

} // namespace rt_guard

using rt_guard::note;

// ---- allocation -----------------------------------------------------------

extern "C" {
void* malloc(size_t n) { note("malloc"); return __libc_malloc(n); }
void* calloc(size_t k, size_t n) { note("calloc"); return __libc_calloc(k, n); }
void* realloc(void* p, size_t n) { note("realloc"); return __libc_realloc(p, n); }
void free(void* p) { note("free"); __libc_free(p); }
void* memalign(size_t a, size_t n) { note("memalign"); return __libc_memalign(a, n); }
void* aligned_alloc(size_t a, size_t n) { note("aligned_alloc"); return __libc_memalign(a, n); }
void* valloc(size_t n) { note("valloc"); return __libc_valloc(n); }
void* pvalloc(size_t n) { note("pvalloc"); return __libc_pvalloc(n); }
int posix_memalign(void** out, size_t a, size_t n)
{
    note("posix_memalign");
    void* p = __libc_memalign(a, n);
    if (!p) return ENOMEM;
    *out = p;
    return 0;
}
}

namespace {
void* new_impl(size_t n, const char* name)
{
    note(name);
    return __libc_malloc(n ? n : 1);
}
void* new_aligned(size_t n, std::align_val_t a, const char* name)
{
    note(name);
    return __libc_memalign(static_cast<size_t>(a), n ? n : 1);
}
void delete_impl(void* p, const char* name)
{
    note(name);
    __libc_free(p);
}
} // namespace

void* operator new(size_t n) { if (void* p = new_impl(n, "operator new")) return p; std::abort(); }
void* operator new[](size_t n) { if (void* p = new_impl(n, "operator new[]")) return p; std::abort(); }
void* operator new(size_t n, const std::nothrow_t&) noexcept { return new_impl(n, "operator new"); }
void* operator new[](size_t n, const std::nothrow_t&) noexcept { return new_impl(n, "operator new[]"); }
void* operator new(size_t n, std::align_val_t a) { if (void* p = new_aligned(n, a, "operator new")) return p; std::abort(); }
void* operator new[](size_t n, std::align_val_t a) { if (void* p = new_aligned(n, a, "operator new[]")) return p; std::abort(); }
void* operator new(size_t n, std::align_val_t a, const std::nothrow_t&) noexcept { return new_aligned(n, a, "operator new"); }
void* operator new[](size_t n, std::align_val_t a, const std::nothrow_t&) noexcept { return new_aligned(n, a, "operator new[]"); }
void operator delete(void* p) noexcept { delete_impl(p, "operator delete"); }
void operator delete[](void* p) noexcept { delete_impl(p, "operator delete[]"); }
void operator delete(void* p, size_t) noexcept { delete_impl(p, "operator delete"); }
void operator delete[](void* p, size_t) noexcept { delete_impl(p, "operator delete[]"); }
void operator delete(void* p, std::align_val_t) noexcept { delete_impl(p, "operator delete"); }
void operator delete[](void* p, std::align_val_t) noexcept { delete_impl(p, "operator delete[]"); }
void operator delete(void* p, size_t, std::align_val_t) noexcept { delete_impl(p, "operator delete"); }
void operator delete[](void* p, size_t, std::align_val_t) noexcept { delete_impl(p, "operator delete[]"); }
void operator delete(void* p, const std::nothrow_t&) noexcept { delete_impl(p, "operator delete"); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { delete_impl(p, "operator delete[]"); }

// ---- files, locks, sleeps, system calls -------------------------------------

// The real function behind a name. A function-scope static with a constant
// initialiser has no guard, so nothing here can recurse into a lock.
#define ZT_REAL(ret, name, params)                                                          \
    static ret(*real) params = nullptr;                                                     \
    if (!real) real = reinterpret_cast<ret(*) params>(dlsym(RTLD_NEXT, #name));

#define ZT_FORWARD(ret, name, params, args) \
    extern "C" ret name params              \
    {                                       \
        note(#name);                        \
        ZT_REAL(ret, name, params)          \
        return real args;                   \
    }

ZT_FORWARD(FILE*, fopen, (const char* p, const char* m), (p, m))
ZT_FORWARD(FILE*, fopen64, (const char* p, const char* m), (p, m))
ZT_FORWARD(FILE*, freopen, (const char* p, const char* m, FILE* f), (p, m, f))
ZT_FORWARD(FILE*, fdopen, (int fd, const char* m), (fd, m))
ZT_FORWARD(int, fclose, (FILE* f), (f))
ZT_FORWARD(int, fflush, (FILE* f), (f))
ZT_FORWARD(size_t, fwrite, (const void* b, size_t s, size_t n, FILE* f), (b, s, n, f))
ZT_FORWARD(size_t, fread, (void* b, size_t s, size_t n, FILE* f), (b, s, n, f))
ZT_FORWARD(int, fputc, (int c, FILE* f), (c, f))
ZT_FORWARD(int, fgetc, (FILE* f), (f))
ZT_FORWARD(int, vfprintf, (FILE* f, const char* fmt, va_list a), (f, fmt, a))
ZT_FORWARD(int, vfscanf, (FILE* f, const char* fmt, va_list a), (f, fmt, a))
ZT_FORWARD(int, close, (int fd), (fd))
ZT_FORWARD(ssize_t, read, (int fd, void* b, size_t n), (fd, b, n))
ZT_FORWARD(ssize_t, write, (int fd, const void* b, size_t n), (fd, b, n))
ZT_FORWARD(int, creat, (const char* p, mode_t m), (p, m))
ZT_FORWARD(void*, mmap, (void* a, size_t n, int pr, int fl, int fd, off_t o), (a, n, pr, fl, fd, o))
ZT_FORWARD(int, munmap, (void* a, size_t n), (a, n))
ZT_FORWARD(int, pthread_mutex_lock, (pthread_mutex_t* m), (m))
ZT_FORWARD(int, pthread_mutex_trylock, (pthread_mutex_t* m), (m))
ZT_FORWARD(int, pthread_mutex_unlock, (pthread_mutex_t* m), (m))
ZT_FORWARD(int, pthread_rwlock_rdlock, (pthread_rwlock_t* l), (l))
ZT_FORWARD(int, pthread_rwlock_wrlock, (pthread_rwlock_t* l), (l))
ZT_FORWARD(int, pthread_rwlock_unlock, (pthread_rwlock_t* l), (l))
ZT_FORWARD(int, pthread_spin_lock, (pthread_spinlock_t* l), (l))
ZT_FORWARD(int, pthread_cond_wait, (pthread_cond_t* c, pthread_mutex_t* m), (c, m))
ZT_FORWARD(int, pthread_cond_timedwait, (pthread_cond_t* c, pthread_mutex_t* m, const timespec* t), (c, m, t))
ZT_FORWARD(int, pthread_cond_signal, (pthread_cond_t* c), (c))
ZT_FORWARD(int, pthread_cond_broadcast, (pthread_cond_t* c), (c))
ZT_FORWARD(int, sem_wait, (sem_t* s), (s))
ZT_FORWARD(int, sem_post, (sem_t* s), (s))
ZT_FORWARD(int, nanosleep, (const timespec* r, timespec* rem), (r, rem))
ZT_FORWARD(int, clock_nanosleep, (clockid_t c, int f, const timespec* r, timespec* rem), (c, f, r, rem))
ZT_FORWARD(int, usleep, (useconds_t u), (u))
ZT_FORWARD(unsigned, sleep, (unsigned s), (s))
ZT_FORWARD(int, sched_yield, (), ())

extern "C" int fprintf(FILE* f, const char* fmt, ...)
{
    note("fprintf");
    va_list a;
    va_start(a, fmt);
    ZT_REAL(int, vfprintf, (FILE*, const char*, va_list))
    const int r = real(f, fmt, a);
    va_end(a);
    return r;
}

extern "C" int fscanf(FILE* f, const char* fmt, ...)
{
    note("fscanf");
    va_list a;
    va_start(a, fmt);
    ZT_REAL(int, vfscanf, (FILE*, const char*, va_list))
    const int r = real(f, fmt, a);
    va_end(a);
    return r;
}

// open and openat carry a mode only when they may create the file.
static mode_t open_mode(int flags, va_list a)
{
    return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? static_cast<mode_t>(va_arg(a, int)) : 0;
}

#define ZT_FORWARD_OPEN(name)                                     \
    extern "C" int name(const char* p, int flags, ...)            \
    {                                                             \
        note(#name);                                              \
        va_list a;                                                \
        va_start(a, flags);                                       \
        const mode_t m = open_mode(flags, a);                     \
        va_end(a);                                                \
        ZT_REAL(int, name, (const char*, int, ...))               \
        return real(p, flags, m);                                 \
    }
ZT_FORWARD_OPEN(open)
ZT_FORWARD_OPEN(open64)

extern "C" int openat(int dir, const char* p, int flags, ...)
{
    note("openat");
    va_list a;
    va_start(a, flags);
    const mode_t m = open_mode(flags, a);
    va_end(a);
    ZT_REAL(int, openat, (int, const char*, int, ...))
    return real(dir, p, flags, m);
}

extern "C" long syscall(long nr, ...)
{
    note("syscall");
    va_list a;
    va_start(a, nr);
    long x[6];
    for (long& v : x) v = va_arg(a, long);
    va_end(a);
    ZT_REAL(long, syscall, (long, ...))
    return real(nr, x[0], x[1], x[2], x[3], x[4], x[5]);
}
