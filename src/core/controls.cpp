#include <cmath>

#include "plugin.h"

namespace zt {

namespace {

// Percent to fraction: a multiply by the float nearest 0.01 (not a division
// by 100; the two differ for many integer percentages).
constexpr float kPercent = 0.01f;

// A NaN on a smoothed port is ignored: the ramp keeps its target and settles.
void take_target(SmoothedParam& sp, float t)
{
    if (!std::isnan(t) && t != sp.smoother.target) sp.smoother.target = t;
}

// True (and remembered) when the port value differs from the last one seen.
bool changed(PlainParam& pp, float v)
{
    if (v == pp.last) return false;
    pp.last = v;
    return true;
}

} // namespace

void intake_controls(Plugin& p)
{
    FilterEngine& e = *p.engine;
    take_target(p.mix, *p.mix.port * kPercent);
    take_target(p.rate, *p.rate.port);
    if (const float v = *p.glide_down.port; changed(p.glide_down, v)) set_glide_down(e, v * kPercent);
    if (const float v = *p.glide_up.port; changed(p.glide_up, v)) set_glide_up(e, v * kPercent);
    if (const float v = *p.shape.port; changed(p.shape, v)) set_shape(e, v);
    // A NaN resonance would make the feedback gain NaN and silence the
    // instance for good: it is ignored and the previous resonance stays.
    if (const float v = *p.resonance.port; !std::isnan(v) && changed(p.resonance, v))
        set_resonance(e, v * kPercent);
    take_target(p.center, *p.center.port);
    take_target(p.octaves, *p.octaves.port);
    if (const float v = *p.type.port; changed(p.type, v)) set_type(e, v);
}

void step_smoothers(Plugin& p)
{
    FilterEngine& e = *p.engine;
    if (smoother_step(p.mix.smoother)) set_mix(e, p.mix.smoother.current);
    if (smoother_step(p.rate.smoother)) set_rate(e, p.rate.smoother.current);
    if (smoother_step(p.center.smoother)) set_center(e, p.center.smoother.current);
    if (smoother_step(p.octaves.smoother)) set_octaves(e, p.octaves.smoother.current);
}

} // namespace zt
