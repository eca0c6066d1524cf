#pragma once
// A net under the audio thread's calls. This test binary replaces the C
// library's allocation, file, lock and sleep functions (and operator new and
// delete) with versions that count every call made while the net is armed and
// then do the real work. The executable's definitions come first in symbol
// lookup, so calls from the plugin module loaded through lilv land here too.
#include <cstdint>

namespace rt_guard {

constexpr int kNames = 8;

struct Catch {
    uint32_t count;              // calls made while armed
    const char* names[kNames];   // the first distinct functions called, in order
    const char* first() const { return names[0] ? names[0] : "(nothing)"; }
    bool has(const char* name) const;
};

void arm();
void disarm();
// What was caught since the last take; clears it.
Catch take();

// Arms the net for one scope.
struct Armed {
    Armed() { arm(); }
    ~Armed() { disarm(); }
    Armed(const Armed&) = delete;
    Armed& operator=(const Armed&) = delete;
};

} // namespace rt_guard
