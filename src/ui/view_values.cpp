#include "view_values.h"

#include <cmath>
#include <cstdio>

#include "../core/port_table.h"

namespace zt {

float sanitize_control(uint32_t port, float value, float previous)
{
    if (port >= PORT_COUNT) return previous;
    const PortInfo& p = kPorts[port];
    if (std::isnan(value)) return previous;
    float v = std::fmin(std::fmax(value, p.min), p.max);
    if (p.integer) v = std::trunc(v);
    return v;
}

double control_position(uint32_t port, float value)
{
    const PortInfo& p = kPorts[port];
    double pos = p.logarithmic ? std::log(double(value) / p.min) / std::log(double(p.max) / p.min)
                               : (double(value) - p.min) / (double(p.max) - p.min);
    return std::fmin(std::fmax(pos, 0.0), 1.0);
}

float control_at(uint32_t port, double position)
{
    const PortInfo& p = kPorts[port];
    const double pos = std::fmin(std::fmax(position, 0.0), 1.0);
    const double v = p.logarithmic ? p.min * std::pow(double(p.max) / p.min, pos)
                                   : p.min + pos * (double(p.max) - p.min);
    // The ends land exactly on the table's limits.
    if (pos <= 0.0) return p.min;
    if (pos >= 1.0) return p.max;
    return static_cast<float>(v);
}

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

} // namespace zt
