#include "port_table.h"

#include <cstring>

#include "../engine/response_types.h"

namespace zt {

void type_label(int row, char* out, size_t size)
{
    if (size == 0) return;
    out[0] = '\0';
    if (row < 0 || row >= int(kResponseTypeCount)) return;
    const char* name = kResponseTypes[row].name;
    bool shared = false;
    for (int other = 0; other < kOfferedTypes; ++other)
        shared |= other != row && std::strcmp(name, kResponseTypes[other].name) == 0;
    size_t n = 0;
    auto put = [&](char c) {
        if (n + 1 < size) out[n++] = c;
    };
    for (const char* c = name; *c; ++c) put(*c);
    if (shared) {
        put(' ');
        put('#');
        if (row >= 10) put(char('0' + row / 10));
        put(char('0' + row % 10));
    }
    out[n] = '\0';
}

} // namespace zt
