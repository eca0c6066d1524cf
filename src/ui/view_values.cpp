#include "view_values.h"

#include <cmath>

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

} // namespace zt
