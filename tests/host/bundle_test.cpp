// What a host sees before it runs anything: the bundle's description as
// lilv reads it, the library's exports, and the Turtle against the schemas.
#include <dlfcn.h>
#include <lv2/core/lv2.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

#include "command_output.h"
#include "lv2_host.h"

namespace zthost {
namespace {

// Each plugin's library, with the URI of its one descriptor.
const std::pair<std::string, const char*> kLibraries[] = {{bundle_dir() + "libzirpomatik-tolm.so", ZT_PLUGIN_URI},
                                                          {bundle_dir() + "libzirpomatik-tolm-stereo.so", ZT_STEREO_URI}};

bool has_uri(const LilvNodes* nodes, const char* uri)
{
    LILV_FOREACH (nodes, i, nodes)
        if (std::string(lilv_node_as_uri(lilv_nodes_get(nodes, i))) == uri) return true;
    return false;
}

TEST(Bundle, DescribesOnePluginWithItsElevenPorts)
{
    Lv2World host;
    ASSERT_EQ(lilv_plugins_size(lilv_world_get_all_plugins(host.world)), 2u);  // and the stereo one
    ASSERT_NE(host.plugin, nullptr) << "no plugin " << ZT_PLUGIN_URI;
    const LilvPlugin* p = host.plugin;

    const char* units = "http://lv2plug.in/ns/extensions/units#";
    struct Port {
        const char* symbol;
        bool audio, input;
        const char* unit;
    };
    const Port ports[] = {
        {"in", true, true, nullptr},         {"out", true, false, nullptr},
        {"mix", false, true, "pc"},          {"rate", false, true, "hz"},
        {"glide_down", false, true, "pc"},   {"glide_up", false, true, "pc"},
        {"shape", false, true, nullptr},     {"resonance", false, true, "pc"},
        {"center", false, true, "hz"},       {"octaves", false, true, "oct"},
        {"type", false, true, nullptr},
    };
    ASSERT_EQ(lilv_plugin_get_num_ports(p), 11u);
    float min[11], max[11], def[11];
    lilv_plugin_get_port_ranges_float(p, min, max, def);
    LilvNode* audio = host.uri(LV2_CORE__AudioPort);
    LilvNode* control = host.uri(LV2_CORE__ControlPort);
    LilvNode* input = host.uri(LV2_CORE__InputPort);
    LilvNode* output = host.uri(LV2_CORE__OutputPort);
    LilvNode* unit = host.uri((std::string(units) + "unit").c_str());
    for (uint32_t i = 0; i < 11; ++i) {
        SCOPED_TRACE(ports[i].symbol);
        const LilvPort* port = lilv_plugin_get_port_by_index(p, i);
        EXPECT_STREQ(lilv_node_as_string(lilv_port_get_symbol(p, port)), ports[i].symbol);
        EXPECT_TRUE(lilv_port_is_a(p, port, ports[i].audio ? audio : control));
        EXPECT_TRUE(lilv_port_is_a(p, port, ports[i].input ? input : output));
        LilvNodes* u = lilv_port_get_value(p, port, unit);
        if (ports[i].unit)
            EXPECT_TRUE(u && has_uri(u, (std::string(units) + ports[i].unit).c_str()));
        else
            EXPECT_EQ(u, nullptr);
        lilv_nodes_free(u);
        if (!ports[i].audio) {
            EXPECT_LE(min[i], def[i]);
            EXPECT_LE(def[i], max[i]);
        }
    }
    for (LilvNode* n : {audio, control, input, output, unit}) lilv_node_free(n);

    LilvNodes* required = lilv_plugin_get_required_features(p);
    LilvNodes* optional = lilv_plugin_get_optional_features(p);
    EXPECT_EQ(lilv_nodes_size(required), 0u);
    EXPECT_TRUE(has_uri(optional, LV2_CORE__hardRTCapable));
    lilv_nodes_free(required);
    lilv_nodes_free(optional);
}

// What a host's generic editor shows: a description, and for every port a
// one-line comment, a short name that fits a narrow strip, and its group.
TEST(Bundle, EveryPortIsDescribedShortNamedAndGrouped)
{
    Lv2World host;
    ASSERT_NE(host.plugin, nullptr);
    const LilvPlugin* p = host.plugin;
    const std::string base = std::string(ZT_PLUGIN_URI) + "#";
    const char* lv2 = "http://lv2plug.in/ns/lv2core#";
    const char* pg = "http://lv2plug.in/ns/ext/port-groups#";
    LilvNode* comment = host.uri("http://www.w3.org/2000/01/rdf-schema#comment");
    LilvNode* label = host.uri("http://www.w3.org/2000/01/rdf-schema#label");
    LilvNode* short_name = host.uri((std::string(lv2) + "shortName").c_str());
    LilvNode* symbol = host.uri((std::string(lv2) + "symbol").c_str());
    LilvNode* project = host.uri((std::string(lv2) + "project").c_str());
    LilvNode* group = host.uri((std::string(pg) + "group").c_str());
    LilvNode* main_in = host.uri((std::string(pg) + "mainInput").c_str());
    LilvNode* main_out = host.uri((std::string(pg) + "mainOutput").c_str());
    // Either property takes a port's automation lane away in Ardour.
    LilvNode* artifacts = host.uri("http://lv2plug.in/ns/ext/port-props#causesArtifacts");
    LilvNode* not_automatic = host.uri("http://lv2plug.in/ns/ext/port-props#notAutomatic");

    LilvNodes* about = lilv_plugin_get_value(p, comment);
    ASSERT_NE(about, nullptr);
    EXPECT_NE(std::string(lilv_node_as_string(lilv_nodes_get_first(about))).find("48 kHz"), std::string::npos);
    lilv_nodes_free(about);
    for (LilvNode* pred : {project, main_in, main_out}) {
        LilvNodes* v = lilv_plugin_get_value(p, pred);
        EXPECT_EQ(lilv_nodes_size(v), 1u) << lilv_node_as_uri(pred);
        lilv_nodes_free(v);
    }

    const std::map<std::string, std::string> groups = {
        {"in", "main_in"},        {"out", "main_out"},         {"mix", "output"},
        {"rate", "modulation"},   {"shape", "modulation"},     {"glide_down", "modulation"},
        {"glide_up", "modulation"}, {"center", "band"},        {"octaves", "band"},
        {"type", "filter"},       {"resonance", "filter"},
    };
    for (uint32_t i = 0; i < lilv_plugin_get_num_ports(p); ++i) {
        const LilvPort* port = lilv_plugin_get_port_by_index(p, i);
        const std::string sym = lilv_node_as_string(lilv_port_get_symbol(p, port));
        SCOPED_TRACE(sym);
        LilvNodes* c = lilv_port_get_value(p, port, comment);
        ASSERT_EQ(lilv_nodes_size(c), 1u);
        const std::string text = lilv_node_as_string(lilv_nodes_get_first(c));
        EXPECT_GT(text.size(), 10u);
        EXPECT_EQ(text.find('\n'), std::string::npos);
        lilv_nodes_free(c);
        LilvNodes* sn = lilv_port_get_value(p, port, short_name);
        ASSERT_EQ(lilv_nodes_size(sn), 1u);
        const std::string sname = lilv_node_as_string(lilv_nodes_get_first(sn));
        EXPECT_GE(sname.size(), 1u);
        EXPECT_LE(sname.size(), 16u);
        lilv_nodes_free(sn);
        LilvNodes* g = lilv_port_get_value(p, port, group);
        ASSERT_EQ(lilv_nodes_size(g), 1u);
        const LilvNode* gn = lilv_nodes_get_first(g);
        EXPECT_EQ(lilv_node_as_uri(gn), base + groups.at(sym));
        // A group without its symbol and label shows as a bare URI.
        for (LilvNode* pred : {symbol, label}) {
            LilvNode* v = lilv_world_get(host.world, gn, pred, nullptr);
            EXPECT_NE(v, nullptr);
            lilv_node_free(v);
        }
        lilv_nodes_free(g);
        EXPECT_FALSE(lilv_port_has_property(p, port, artifacts));
        EXPECT_FALSE(lilv_port_has_property(p, port, not_automatic));
    }
    for (LilvNode* n : {comment, label, short_name, symbol, project, group, main_in, main_out, artifacts, not_automatic})
        lilv_node_free(n);
}

TEST(Library, OffersOneDescriptorAndExportsNothingElse)
{
  for (const auto& [kLibrary, uri] : kLibraries) {
    void* lib = dlopen(kLibrary.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib, nullptr) << dlerror();
    auto entry = reinterpret_cast<LV2_Descriptor_Function>(dlsym(lib, "lv2_descriptor"));
    ASSERT_NE(entry, nullptr);
    ASSERT_NE(entry(0), nullptr);
    EXPECT_STREQ(entry(0)->URI, uri);
    EXPECT_EQ(entry(1), nullptr);
    dlclose(lib);

    std::istringstream nm(command_output("nm -D --defined-only " + kLibrary));
    std::vector<std::string> names;
    for (std::string addr, kind, name; nm >> addr >> kind >> name;) names.push_back(name);
    EXPECT_EQ(names, std::vector<std::string>{"lv2_descriptor"});

    // The C and maths libraries and nothing else: no C++ runtime, shared
    // or (since it would need the dynamic loader's TLS and unwinding entry
    // points) static. Sanitizer builds add their runtimes.
    const std::string dynamic = command_output("readelf -d " + kLibrary);
    std::vector<std::string> needed;
    std::istringstream lines(dynamic);
    for (std::string line; std::getline(lines, line);) {
        const size_t open = line.find("(NEEDED)") != std::string::npos ? line.find('[') : std::string::npos;
        if (open == std::string::npos) continue;
        const std::string name = line.substr(open + 1, line.find(']') - open - 1);
        if (name.starts_with("libasan.") || name.starts_with("libubsan.") || name.starts_with("libtsan."))
            continue;
        needed.push_back(name);
    }
    std::sort(needed.begin(), needed.end());
    EXPECT_EQ(needed, (std::vector<std::string>{"libc.so.6", "libm.so.6"})) << dynamic;
    const std::string undefined = command_output("nm -D --undefined-only " + kLibrary);
    for (const char* runtime : {"_Znw", "_Zna", "_Zdl", "_Zda", "__cxa_guard", "__cxa_pure", "_Unwind_", "__gxx_personality"})
        EXPECT_EQ(undefined.find(runtime), std::string::npos) << runtime << " in\n" << undefined;
  }
}

bool is_vocabulary_bundle(const std::filesystem::path& dir)
{
    std::ifstream manifest(dir / "manifest.ttl");
    const std::string text{std::istreambuf_iterator<char>(manifest), {}};
    return text.find("lv2:Specification") != std::string::npos ||
           text.find("owl:Ontology") != std::string::npos;
}

// Every vocabulary installed with LV2 (core, units, port-props, ..., and the
// schemas of doap, foaf, rdf, owl) is loaded; plugin bundles are not.
// sord_validate exits 0 whatever it finds: its error lines are the verdict.
TEST(Bundle, TurtleValidatesAgainstTheInstalledSchemas)
{
    std::string cmd = "sord_validate -l";
    size_t schemas = 0;
    for (const auto& dir : std::filesystem::directory_iterator("/usr/lib/lv2")) {
        if (!is_vocabulary_bundle(dir.path())) continue;
        for (const auto& f : std::filesystem::directory_iterator(dir.path())) {
            if (f.path().extension() != ".ttl") continue;
            cmd += " " + f.path().string();
            ++schemas;
        }
    }
    ASSERT_GT(schemas, 20u) << "LV2 schemas missing under /usr/lib/lv2";
    size_t ours = 0;
    for (const auto& f : std::filesystem::directory_iterator(bundle_dir())) {
        if (f.path().extension() != ".ttl") continue;
        cmd += " " + f.path().string();
        ++ours;
    }
    ASSERT_GE(ours, 2u);
    const std::string out = command_output(cmd);
    EXPECT_NE(out.find("Found 0 errors"), std::string::npos) << out;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) EXPECT_NE(line.rfind("error", 0), 0u) << line;
}

} // namespace
} // namespace zthost
