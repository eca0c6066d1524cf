// The parameters as VST3 hosts see them: the nine controls from the one
// port table (param id = LV2 port index, so ids never change), each
// between 0 and 1 in the host's lanes, and the preset list's parameter.
//
// Normalised to plain: rate and centre on a logarithmic scale (an octave
// is the same length of lane everywhere), the others linear; the two
// lists in equal steps. The sums are done in double and rounded to float
// once, so every float of a range comes back from its normalised value as
// the same float, down to a millionth of the range and a good way below;
// nearer to a linear range's zero than double precision resolves at the
// middle of the lane (mix within about 1e-14 of 0) it comes back as 0.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "vst3_face.h"
#include "../core/control_text.h"
#include "../core/port_table.h"
#include "../core/preset_table.h"

namespace zt {

namespace {

constexpr int32_t kProgramCount = kVst3ProgramCount;

double clamp01(double v) { return v < 0.0 ? 0.0 : v > 1.0 ? 1.0 : v; }

int32_t steps(const PortInfo& pi) { return int32_t(pi.max - pi.min); }

const char* unit_text(PortUnit unit)
{
    switch (unit) {
    case PortUnit::percent: return "%";
    case PortUnit::hz: return "Hz";
    case PortUnit::octaves: return "oct";
    case PortUnit::none: break;
    }
    return "";
}

// UTF-16 from a host into UTF-8 for the parser; false when it does not fit.
bool narrow(const Steinberg_Vst_TChar* text, char* out, size_t size)
{
    size_t n = 0;
    for (size_t i = 0; i < 128 && text[i]; ++i) {
        uint32_t c = uint16_t(text[i]);
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < 128 && uint16_t(text[i + 1]) >= 0xDC00 &&
            uint16_t(text[i + 1]) < 0xE000)
            c = 0x10000 + ((c - 0xD800) << 10) + (uint16_t(text[++i]) - 0xDC00);
        const int len = c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
        if (n + size_t(len) >= size) return false;
        if (len == 1) {
            out[n++] = char(c);
            continue;
        }
        static constexpr uint8_t kLead[5] = {0, 0, 0xC0, 0xE0, 0xF0};
        out[n++] = char(kLead[len] | (c >> (6 * (len - 1))));
        for (int k = len - 2; k >= 0; --k) out[n++] = char(0x80 | ((c >> (6 * k)) & 0x3F));
    }
    out[n] = '\0';
    return true;
}

} // namespace

double vst3_to_normalized(uint32_t port, double plain)
{
    if (!is_control_port(port) || plain != plain) return 0.0;
    const PortInfo& pi = kPorts[port];
    const double lo = pi.min, hi = pi.max;
    plain = plain < lo ? lo : plain > hi ? hi : plain;
    // The core takes a list's value by its whole part, so does this.
    if (pi.integer) return std::trunc(plain - lo) / steps(pi);
    if (pi.logarithmic) return std::log(plain / lo) / std::log(hi / lo);
    return (plain - lo) / (hi - lo);
}

bool vst3_to_plain(uint32_t port, double normalized, float* plain)
{
    if (!is_control_port(port) || normalized != normalized) return false;
    const PortInfo& pi = kPorts[port];
    const double n = clamp01(normalized), lo = pi.min, hi = pi.max;
    double v;
    // A list's n steps share the lane equally, the last one ending at 1.
    if (pi.integer)
        v = lo + std::fmin(double(steps(pi)), std::floor(n * (steps(pi) + 1)));
    else if (pi.logarithmic)
        v = lo * std::exp(n * std::log(hi / lo));
    else
        v = lo + n * (hi - lo);
    const float f = static_cast<float>(v);
    *plain = f < pi.min ? pi.min : f > pi.max ? pi.max : f;
    return true;
}

int32_t vst3_program_of(double normalized)
{
    const double n = clamp01(normalized == normalized ? normalized : 0.0);
    return int32_t(std::fmin(double(kProgramCount - 1), std::floor(n * kProgramCount)));
}

double vst3_program_normalized(int32_t program) { return double(program) / (kProgramCount - 1); }

void vst3_string(const char* text, Steinberg_Vst_String128 out)
{
    size_t n = 0;
    const auto* s = reinterpret_cast<const unsigned char*>(text ? text : "");
    while (*s && n + 2 < 128) {
        uint32_t c = *s++;
        int more = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
        c &= more == 3 ? 0x07 : more == 2 ? 0x0F : more == 1 ? 0x1F : 0x7F;
        for (; more > 0 && (*s & 0xC0) == 0x80; --more) c = (c << 6) | (*s++ & 0x3F);
        if (c >= 0x10000) {
            out[n++] = Steinberg_char16(0xD800 + ((c - 0x10000) >> 10));
            out[n++] = Steinberg_char16(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out[n++] = Steinberg_char16(c);
        }
    }
    out[n] = 0;
}

bool vst3_param_info(int32_t index, Steinberg_Vst_ParameterInfo* info)
{
    if (!info || index < 0 || index >= kVst3ParamCount) return false;
    *info = Steinberg_Vst_ParameterInfo{};
    info->unitId = Steinberg_Vst_kRootUnitId;
    if (index == int32_t(kControlCount)) {
        info->id = kProgramParam;
        vst3_string("Factory preset", info->title);
        vst3_string("Preset", info->shortTitle);
        info->stepCount = kProgramCount - 1;
        info->defaultNormalizedValue = 0.0;
        info->flags = Steinberg_Vst_ParameterInfo_ParameterFlags_kIsProgramChange |
                      Steinberg_Vst_ParameterInfo_ParameterFlags_kIsList;
        return true;
    }
    const uint32_t port = kFirstControl + uint32_t(index);
    const PortInfo& pi = kPorts[port];
    info->id = port;
    vst3_string(pi.name, info->title);
    vst3_string(pi.short_name, info->shortTitle);
    vst3_string(unit_text(pi.unit), info->units);
    info->stepCount = pi.integer ? steps(pi) : 0;
    info->defaultNormalizedValue = vst3_to_normalized(port, pi.def);
    info->flags = Steinberg_Vst_ParameterInfo_ParameterFlags_kCanAutomate;
    if (pi.integer) info->flags |= Steinberg_Vst_ParameterInfo_ParameterFlags_kIsList;
    return true;
}

bool vst3_param_text(Steinberg_Vst_ParamID id, double normalized, Steinberg_Vst_String128 out)
{
    if (!out) return false;
    if (id == kProgramParam) {
        vst3_string(kPresets[vst3_program_of(normalized)].label, out);
        return true;
    }
    float v;
    if (!vst3_to_plain(id, normalized, &v)) return false;
    char text[128];
    control_text(id, v, text, sizeof text);
    vst3_string(text, out);
    return true;
}

bool vst3_param_parse(Steinberg_Vst_ParamID id, const Steinberg_Vst_TChar* text, double* normalized)
{
    char s[256];
    if (!text || !normalized || !narrow(text, s, sizeof s)) return false;
    if (id == kProgramParam) {
        for (int32_t i = 0; i < kProgramCount; ++i)
            if (std::strcmp(s, kPresets[i].label) == 0) return *normalized = vst3_program_normalized(i), true;
        return false;
    }
    double v;
    if (!is_control_port(id) || !parse_control_text(id, s, &v)) return false;
    *normalized = vst3_to_normalized(id, v);
    return true;
}

} // namespace zt
