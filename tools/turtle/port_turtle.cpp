// Writes a Turtle file of the bundle from its template and the port table:
//   port_turtle TEMPLATE OUTPUT PLUGIN_URI [CHANNELS]
// In the template, a line "$PORTS$" becomes the port list, "$GROUPS$" the
// port group descriptions and "$PRESETS$" the factory presets (the preset
// table, "Default" among them). Run at build time, so the description hosts
// read, the presets and the window's ranges come from the same tables.
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "core/port_table.h"
#include "core/preset_table.h"

namespace {

using zt::kPorts;
using zt::PortInfo;
using zt::PortUnit;

// Shortest text that reads back as the same float; whole values of a
// non-integer port keep a ".0" so that Turtle reads them as decimals.
std::string number(float v, bool integer)
{
    char buf[32];
    const auto res = std::to_chars(buf, buf + sizeof buf, v);
    std::string s(buf, res.ptr);
    if (!integer && s.find_first_of(".e") == std::string::npos) s += ".0";
    return s;
}

// Turtle string: quotes and backslashes escaped.
std::string quoted(const char* text)
{
    std::string s = "\"";
    for (const char* c = text; *c; ++c) {
        if (*c == '"' || *c == '\\') s += '\\';
        s += *c;
    }
    return s + "\"";
}

const char* unit_name(PortUnit u)
{
    switch (u) {
    case PortUnit::percent: return "units:pc";
    case PortUnit::hz: return "units:hz";
    case PortUnit::octaves: return "units:oct";
    case PortUnit::none: break;
    }
    return nullptr;
}

std::string group_ref(const std::string& uri, const PortInfo& p)
{
    return "<" + uri + "#" + zt::kPortGroups[size_t(p.group)].symbol + ">";
}

void write_scale_points(std::ostream& out, uint32_t index)
{
    out << " ;\n        lv2:scalePoint";
    const char* sep = "\n";
    if (index == zt::PORT_SHAPE) {
        for (const zt::ScalePoint& sp : zt::kShapePoints) {
            out << sep << "            [ rdfs:label " << quoted(sp.label) << " ; rdf:value "
                << number(sp.value, true) << " ]";
            sep = " ,\n";
        }
        return;
    }
    for (int row = 0; row < zt::kOfferedTypes; ++row) {
        char label[48];
        zt::type_label(row, label, sizeof label);
        out << sep << "            [ rdfs:label " << quoted(label) << " ; rdf:value " << row << " ]";
        sep = " ,\n";
    }
}

void write_port(std::ostream& out, const std::string& uri, uint32_t index, uint32_t channels)
{
    const PortInfo& p = zt::port_info(index, channels);
    out << "        a lv2:" << (p.input ? "InputPort" : "OutputPort") << " , lv2:"
        << (p.audio ? "AudioPort" : "ControlPort") << " ;\n"
        << "        lv2:index " << index << " ;\n"
        << "        lv2:symbol " << quoted(p.symbol) << " ;\n"
        << "        lv2:name " << quoted(p.name) << " ;\n"
        << "        lv2:shortName " << quoted(p.short_name) << " ;\n"
        << "        rdfs:comment " << quoted(p.comment) << " ;\n"
        << "        pg:group " << group_ref(uri, p);
    if (p.audio) {
        const bool right = index == zt::PORT_IN_R || index == zt::PORT_OUT_R;
        out << " ;\n        lv2:designation " << (channels == 1 ? "pg:center" : right ? "pg:right" : "pg:left");
        return;
    }
    out << " ;\n        lv2:default " << number(p.def, p.integer) << " ;\n"
        << "        lv2:minimum " << number(p.min, p.integer) << " ;\n"
        << "        lv2:maximum " << number(p.max, p.integer);
    std::string props;
    if (p.logarithmic) props += ", pprops:logarithmic ";
    if (p.integer) props += ", lv2:integer , lv2:enumeration ";
    if (!props.empty()) out << " ;\n        lv2:portProperty " << props.substr(2, props.size() - 3);
    if (const char* u = unit_name(p.unit)) out << " ;\n        units:unit " << u;
    if (p.integer) write_scale_points(out, index);
}

void write_ports(std::ostream& out, const std::string& uri, uint32_t channels)
{
    out << "    lv2:port [\n";
    const uint32_t count = zt::port_count(channels);
    for (uint32_t i = 0; i < count; ++i) {
        write_port(out, uri, i, channels);
        out << (i + 1 < count ? "\n    ] , [\n" : "\n    ] .\n");
    }
}

void write_groups(std::ostream& out, const std::string& uri, uint32_t channels)
{
    const std::string audio = channels == 1 ? " , pg:MonoGroup" : " , pg:StereoGroup";
    for (size_t g = 0; g < size_t(zt::PortGroup::count); ++g) {
        const zt::PortGroupInfo& info = zt::kPortGroups[g];
        const std::string kind = g == size_t(zt::PortGroup::input)    ? "pg:InputGroup" + audio
                                 : g == size_t(zt::PortGroup::output) ? "pg:OutputGroup" + audio
                                                                      : "pg:Group";
        out << "\n<" << uri << "#" << info.symbol << ">\n    a " << kind << " ;\n"
            << "    lv2:symbol " << quoted(info.symbol) << " ;\n"
            << "    rdfs:label " << quoted(info.label) << " .\n";
    }
}

void write_presets(std::ostream& out, const std::string& uri)
{
    const char* gap = "";
    for (const zt::PresetInfo& preset : zt::kPresets) {
        out << gap << "<" << uri << "#preset-" << preset.key << ">\n"
            << "    a pset:Preset ;\n"
            << "    lv2:appliesTo <" << uri << "> ;\n"
            << "    rdfs:label " << quoted(preset.label) << " ;\n"
            << "    rdfs:comment " << quoted(preset.comment) << " ;\n"
            << "    lv2:port [\n";
        const char* sep = "";
        for (uint32_t i = 0; i < zt::kPresetControls; ++i) {
            out << sep << "        lv2:symbol " << quoted(kPorts[zt::PORT_MIX + i].symbol) << " ; pset:value "
                << number(preset.value[i], false);
            sep = "\n    ] , [\n";
        }
        out << "\n    ] .\n";
        gap = "\n";
    }
}

} // namespace

int main(int argc, char** argv)
{
    const uint32_t channels = argc == 5 ? uint32_t(std::atoi(argv[4])) : 1;
    if ((argc != 4 && argc != 5) || (channels != 1 && channels != 2)) {
        std::cerr << "usage: port_turtle TEMPLATE OUTPUT PLUGIN_URI [CHANNELS]\n";
        return 2;
    }
    std::ifstream in(argv[1]);
    if (!in) {
        std::cerr << "port_turtle: cannot read " << argv[1] << "\n";
        return 1;
    }
    const std::string uri = argv[3];
    std::ostringstream text;
    int markers = 0;
    for (std::string line; std::getline(in, line);) {
        if (line == "$PORTS$") {
            write_ports(text, uri, channels);
        } else if (line == "$GROUPS$") {
            write_groups(text, uri, channels);
        } else if (line == "$PRESETS$") {
            write_presets(text, uri);
        } else {
            text << line << "\n";
            continue;
        }
        ++markers;
    }
    if (markers == 0) {
        std::cerr << "port_turtle: " << argv[1] << " has no $PORTS$, $GROUPS$ or $PRESETS$ line\n";
        return 1;
    }
    std::ofstream out(argv[2]);
    out << text.str();
    out.close();
    if (!out) {
        std::cerr << "port_turtle: cannot write " << argv[2] << "\n";
        return 1;
    }
    return 0;
}
