// clap.params: the nine controls from the one port table, param id = LV2
// port index, so that ids never change and automation written for one
// version plays in the next.
#include <cmath>
#include <cstdio>

#include "clap_face.h"
#include "../core/control_text.h"
#include "../core/port_table.h"

namespace zt {

namespace {

uint32_t params_count(const clap_plugin_t*) { return kControlCount; }

bool params_get_info(const clap_plugin_t*, uint32_t index, clap_param_info_t* info)
{
    if (index >= kControlCount || !info) return false;
    const uint32_t port = kFirstControl + index;
    const PortInfo& pi = kPorts[port];
    *info = clap_param_info_t{};
    info->id = port;
    info->flags = CLAP_PARAM_IS_AUTOMATABLE;
    if (pi.integer) info->flags |= CLAP_PARAM_IS_STEPPED;
    if (port == PORT_SHAPE || port == PORT_TYPE) info->flags |= CLAP_PARAM_IS_ENUM;
    info->cookie = nullptr;
    std::snprintf(info->name, sizeof info->name, "%s", pi.name);
    std::snprintf(info->module, sizeof info->module, "%s", kPortGroups[size_t(pi.group)].label);
    info->min_value = pi.min;
    info->max_value = pi.max;
    info->default_value = pi.def;
    return true;
}

bool params_get_value(const clap_plugin_t* plugin, clap_id id, double* value)
{
    if (!is_control_port(id) || !value) return false;
    *value = clap_plugin_value(clap_self(plugin), id);
    return true;
}

bool params_value_to_text(const clap_plugin_t*, clap_id id, double value, char* out, uint32_t size)
{
    float v;
    if (!out || size == 0 || !clap_take_value(id, value, &v)) return false;
    control_text(id, v, out, size);
    return true;
}

bool params_text_to_value(const clap_plugin_t*, clap_id id, const char* text, double* value)
{
    double v;
    if (!value || !parse_control_text(id, text, &v)) return false;
    const PortInfo& pi = kPorts[id];
    *value = std::fmin(std::fmax(v, double(pi.min)), double(pi.max));
    return true;
}

void params_flush(const clap_plugin_t* plugin, const clap_input_events_t* in, const clap_output_events_t* out)
{
    clap_flush(clap_self(plugin), in, out);
}

} // namespace

bool clap_take_value(uint32_t port, double value, float* out)
{
    if (!is_control_port(port) || !std::isfinite(value)) return false;
    const PortInfo& pi = kPorts[port];
    *out = static_cast<float>(std::fmin(std::fmax(value, double(pi.min)), double(pi.max)));
    return true;
}

const clap_plugin_params_t kClapParams = {params_count,         params_get_info,       params_get_value,
                                          params_value_to_text, params_text_to_value,  params_flush};

} // namespace zt
