#pragma once
// What a shell command prints, standard error included: the tests read
// nm, readelf and sord_validate this way.
#include <cstdio>
#include <string>

inline std::string command_output(const std::string& cmd)
{
    std::string out;
    FILE* p = popen((cmd + " 2>&1").c_str(), "r");
    if (!p) return out;
    char buf[4096];
    for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    pclose(p);
    return out;
}
