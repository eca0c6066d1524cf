#include "control_text.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "port_table.h"

namespace zt {

void format_hz(double hz, char* out, size_t size)
{
    if (hz >= 10000.0)
        std::snprintf(out, size, "%.1f kHz", hz / 1000.0);
    else if (hz >= 1000.0)
        std::snprintf(out, size, "%.2f kHz", hz / 1000.0);
    else if (hz >= 100.0)
        std::snprintf(out, size, "%.0f Hz", hz);
    else if (hz >= 10.0)
        std::snprintf(out, size, "%.1f Hz", hz);
    else
        std::snprintf(out, size, "%.2f Hz", hz);
}

void format_control(uint32_t port, float value, char* out, size_t size)
{
    const PortInfo& p = kPorts[port];
    const double v = value;
    switch (p.unit) {
    case PortUnit::percent:
        // Mix runs from -100 (dry) to +100 (filtered): the sign says which way.
        if (p.min < 0.0f && std::fabs(v) >= 0.5)
            std::snprintf(out, size, "%+.0f %%", v);
        else
            std::snprintf(out, size, std::fabs(v) < 9.95 && v != 0.0 ? "%.1f %%" : "%.0f %%", v);
        break;
    case PortUnit::hz: format_hz(v, out, size); break;
    case PortUnit::octaves: std::snprintf(out, size, "%.1f oct", v); break;
    case PortUnit::none: std::snprintf(out, size, "%.0f", v); break;
    }
}

namespace {

// The menu entry a value stands for, as the engine truncates it.
int menu_entry(uint32_t port, float value)
{
    const PortInfo& p = kPorts[port];
    const float v = std::fmin(std::fmax(value, p.min), p.max);
    return int(v);
}

const char* skip_blanks(const char* s)
{
    while (*s == ' ' || *s == '\t') ++s;
    return s;
}

// True when `s` is `word` (any case) with nothing but blanks after it.
bool is_word(const char* s, const char* word)
{
    const size_t n = std::strlen(word);
    return strncasecmp(s, word, n) == 0 && *skip_blanks(s + n) == '\0';
}

} // namespace

void control_text(uint32_t port, float value, char* out, size_t size)
{
    if (size == 0) return;
    out[0] = '\0';
    if (port < PORT_MIX || port >= PORT_COUNT || !std::isfinite(value)) return;
    if (port == PORT_SHAPE)
        std::snprintf(out, size, "%s", kShapePoints[menu_entry(port, value)].label);
    else if (port == PORT_TYPE)
        type_label(menu_entry(port, value), out, size);
    else
        format_control(port, value, out, size);
}

bool parse_control_text(uint32_t port, const char* text, double* value)
{
    if (!text || port < PORT_MIX || port >= PORT_COUNT) return false;
    const char* s = skip_blanks(text);
    if (port == PORT_SHAPE) {
        for (const ScalePoint& sp : kShapePoints)
            if (is_word(s, sp.label)) return *value = sp.value, true;
    } else if (port == PORT_TYPE) {
        char label[48];
        for (int row = 0; row < kOfferedTypes; ++row) {
            type_label(row, label, sizeof label);
            if (is_word(s, label)) return *value = row, true;
        }
    }
    char* end = nullptr;
    const double v = std::strtod(s, &end);
    if (end == s || !std::isfinite(v)) return false;
    const char* unit = skip_blanks(end);
    double scale = 1.0;
    if (*unit != '\0') {
        switch (kPorts[port].unit) {
        case PortUnit::percent:
            if (!is_word(unit, "%")) return false;
            break;
        case PortUnit::hz:
            if (is_word(unit, "kHz")) scale = 1000.0;
            else if (!is_word(unit, "Hz")) return false;
            break;
        case PortUnit::octaves:
            if (!is_word(unit, "oct") && !is_word(unit, "octaves")) return false;
            break;
        case PortUnit::none: return false;
        }
    }
    *value = v * scale;
    return true;
}

} // namespace zt
