#pragma once
// A debug log switched on by the presence of its file: when the file exists
// as an instance is created, its first number (1 if it has none) becomes the
// level, and messages at or below that level are appended to it. Written
// only from instantiate, never from run.
#include <atomic>
#include <cstdint>

namespace zt {

constexpr const char* kLogPath = "/tmp/zirpomatik.log";

// Process-wide, shared by all instances; 0 until the first instantiate.
extern std::atomic<int32_t> g_log_level;

void debug_log_init();
void debug_log(int32_t level, const char* format, ...) __attribute__((format(printf, 2, 3)));

// The same against another path (the tests use their own files).
void debug_log_init_at(const char* path);
void debug_log_at(const char* path, int32_t level, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

} // namespace zt
