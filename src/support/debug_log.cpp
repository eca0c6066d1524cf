#include "debug_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdarg>
#include <cstdio>

namespace zt {

std::atomic<int32_t> g_log_level{0};

namespace {

// /tmp is writable by everyone: the file at the path may be a symbolic link
// to someone else's file, a FIFO that never answers, or belong to another
// user. Open without following links and without blocking, then accept only
// a regular file owned by the user running the host.
FILE* open_log(const char* path, int flags, const char* mode)
{
    const int fd = open(path, flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0) return nullptr;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid()) {
        close(fd);
        return nullptr;
    }
    // A regular file never blocks; drop O_NONBLOCK to be plain again.
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    FILE* f = fdopen(fd, mode);
    if (!f) close(fd);
    return f;
}

// Reads a leading decimal integer as "%d" would (leading white space
// skipped, optional sign), but saturates at the 32-bit limits instead of
// leaving an out-of-range number undefined. Returns false when none is there.
bool read_level(FILE* f, int32_t& level)
{
    int c;
    do c = fgetc(f); while (c != EOF && std::isspace(c));
    bool negative = false;
    if (c == '+' || c == '-') {
        negative = (c == '-');
        c = fgetc(f);
    }
    if (c == EOF || !std::isdigit(c)) return false;
    int64_t magnitude = 0;
    for (; c != EOF && std::isdigit(c); c = fgetc(f))
        if (magnitude <= INT32_MAX) magnitude = magnitude * 10 + (c - '0');
    const int64_t v = negative ? -magnitude : magnitude;
    level = v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : static_cast<int32_t>(v);
    return true;
}

void vlog(const char* path, int32_t level, const char* format, va_list args)
{
    if (level > g_log_level.load(std::memory_order_relaxed)) return;
    // O_CREAT as "a+" would: the file may have gone since it was read.
    FILE* f = open_log(path, O_RDWR | O_APPEND | O_CREAT, "a+");
    if (!f) return;  // dropped; nothing is ever reported to the host
    vfprintf(f, format, args);
    fputc('\n', f);
    fclose(f);
}

} // namespace

void debug_log_init_at(const char* path)
{
    FILE* f = open_log(path, O_RDONLY, "r");
    if (!f) {
        g_log_level.store(0, std::memory_order_relaxed);
        return;
    }
    int32_t level = 1;
    if (!read_level(f, level)) level = 1;
    fclose(f);
    g_log_level.store(level, std::memory_order_relaxed);
    debug_log_at(path, 0, "### log is active now ### ");
}

void debug_log_at(const char* path, int32_t level, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    vlog(path, level, format, args);
    va_end(args);
}

void debug_log_init() { debug_log_init_at(kLogPath); }

void debug_log(int32_t level, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    vlog(kLogPath, level, format, args);
    va_end(args);
}

} // namespace zt
