// Writes the VST3 bundle's Contents/Resources/moduleinfo.json from the
// plugin factory itself, so that what hosts read before loading the module
// is what the module then says.
//
//   zt_vst3_moduleinfo OUTPUT MODULE_NAME
#include <vst3_c_api.h>

#include <cstdio>
#include <string>

extern "C" Steinberg_IPluginFactory* GetPluginFactory();

namespace {

// The texts are the plugin's own: plain ASCII with no quote or backslash.
std::string quoted(const char* s) { return std::string("\"") + s + "\""; }

std::string sub_categories(const char* s)
{
    std::string out = "[", item;
    for (const char* c = s;; ++c) {
        if (*c == '|' || *c == '\0') {
            if (!item.empty()) out += (out.size() > 1 ? ", " : "") + quoted(item.c_str());
            item.clear();
            if (*c == '\0') break;
        } else {
            item += *c;
        }
    }
    return out + "]";
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) return std::fprintf(stderr, "usage: zt_vst3_moduleinfo OUTPUT MODULE_NAME\n"), 2;
    void* f = GetPluginFactory();
    auto* f2 = static_cast<Steinberg_IPluginFactory2*>(f);
    Steinberg_PFactoryInfo fi;
    if (!f || f2->lpVtbl->getFactoryInfo(f2, &fi) != Steinberg_kResultOk) return 1;
    std::string json = "{\n  \"Name\": " + quoted(argv[2]) + ",\n";
    std::string version;
    std::string classes;
    for (int32_t i = 0, n = f2->lpVtbl->countClasses(f2); i < n; ++i) {
        Steinberg_PClassInfo2 c;
        if (f2->lpVtbl->getClassInfo2(f2, i, &c) != Steinberg_kResultOk) return 1;
        char cid[33];
        for (int k = 0; k < 16; ++k) std::snprintf(cid + 2 * k, 3, "%02X", unsigned(uint8_t(c.cid[k])));
        version = c.version;
        classes += std::string(i ? ",\n" : "") + "    {\n      \"CID\": " + quoted(cid) +
                   ",\n      \"Category\": " + quoted(c.category) + ",\n      \"Name\": " + quoted(c.name) +
                   ",\n      \"Vendor\": " + quoted(c.vendor) + ",\n      \"Version\": " + quoted(c.version) +
                   ",\n      \"SDKVersion\": " + quoted(c.sdkVersion) +
                   ",\n      \"Sub Categories\": " + sub_categories(c.subCategories) +
                   ",\n      \"Class Flags\": " + std::to_string(c.classFlags) +
                   ",\n      \"Cardinality\": " + std::to_string(c.cardinality) + ",\n      \"Snapshots\": []\n    }";
    }
    auto flag = [&](int bit) { return (fi.flags & bit) ? "true" : "false"; };
    json += "  \"Version\": " + quoted(version.c_str()) + ",\n  \"Factory Info\": {\n    \"Vendor\": " +
            quoted(fi.vendor) + ",\n    \"URL\": " + quoted(fi.url) + ",\n    \"E-Mail\": " + quoted(fi.email) +
            ",\n    \"Flags\": {\n      \"Unicode\": " + flag(Steinberg_PFactoryInfo_FactoryFlags_kUnicode) +
            ",\n      \"Classes Discardable\": " + flag(Steinberg_PFactoryInfo_FactoryFlags_kClassesDiscardable) +
            ",\n      \"Component Non Discardable\": " +
            flag(Steinberg_PFactoryInfo_FactoryFlags_kComponentNonDiscardable) +
            "\n    }\n  },\n  \"Compatibility\": [],\n  \"Classes\": [\n" + classes + "\n  ]\n}\n";
    std::FILE* out = std::fopen(argv[1], "w");
    if (!out || std::fputs(json.c_str(), out) < 0 || std::fclose(out) != 0) return 1;
    return 0;
}
