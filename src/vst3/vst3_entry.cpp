// The library's face towards the VST3 host: the module's entry and exit,
// and one plugin factory with a component and an edit controller for each
// plugin.
#include <cstdio>
#include <cstring>

#include "vst3_face.h"

namespace zt {

// Each class id is the first 16 bytes of the SHA-256 of the plugin's name
// with "/component" or "/controller" after it ("Zirpomatik Tolm/component"):
// fixed for good, since hosts find the plugin of a saved session by it.
const Vst3Class kVst3Classes[] = {
    {"Zirpomatik Tolm",
     SMTG_INLINE_UID(0xad62d939, 0xf4dd1085, 0x1f980be8, 0xcb01d3da),
     SMTG_INLINE_UID(0x55b32107, 0x6ff551ca, 0xd1aff1e6, 0xf029e5c7), 1, Steinberg_Vst_SpeakerArr_kMono},
    {"Zirpomatik Tolm Stereo",
     SMTG_INLINE_UID(0x0205ce57, 0x966cf272, 0x4f573a5e, 0xb87c903f),
     SMTG_INLINE_UID(0xc68ed669, 0x310a597a, 0xa9deeb14, 0x10791115), 2, Steinberg_Vst_SpeakerArr_kStereo},
};
const uint32_t kVst3ClassCount = sizeof kVst3Classes / sizeof kVst3Classes[0];

namespace {

constexpr const char* kComponentCategory = "Audio Module Class";
constexpr const char* kControllerCategory = "Component Controller Class";
constexpr const char* kSubCategories = "Fx|Filter";

struct FactoryClass {
    const Vst3Class* cls;
    bool controller;
    const char* name;
};

// Class index 2k is plugin k's component, 2k + 1 its controller.
bool factory_class(int32_t index, FactoryClass* out)
{
    if (index < 0 || uint32_t(index) >= 2 * kVst3ClassCount) return false;
    const Vst3Class& cls = kVst3Classes[index / 2];
    *out = FactoryClass{&cls, (index & 1) != 0, cls.name};
    return true;
}

template <size_t N> void copy(char (&out)[N], const char* text) { std::snprintf(out, N, "%s", text); }

template <size_t N> void copy16(Steinberg_char16 (&out)[N], const char* text)
{
    static_assert(N == 64);
    Steinberg_Vst_String128 wide;
    vst3_string(text, wide);
    for (size_t i = 0; i < N; ++i) out[i] = wide[i];
    out[N - 1] = 0;
}

Steinberg_tresult factory_query(void* self, const Steinberg_TUID iid, void** obj)
{
    if (!obj) return Steinberg_kInvalidArgument;
    if (vst3_same_iid(iid, Steinberg_FUnknown_iid) || vst3_same_iid(iid, Steinberg_IPluginFactory_iid) ||
        vst3_same_iid(iid, Steinberg_IPluginFactory2_iid) || vst3_same_iid(iid, Steinberg_IPluginFactory3_iid)) {
        *obj = self;
        return Steinberg_kResultOk;
    }
    *obj = nullptr;
    return Steinberg_kNoInterface;
}

// The factory is a static object: counting its references would free nothing.
uint32_t factory_add_ref(void*) { return 1; }
uint32_t factory_release(void*) { return 1; }

Steinberg_tresult factory_info(void*, Steinberg_PFactoryInfo* info)
{
    if (!info) return Steinberg_kInvalidArgument;
    *info = Steinberg_PFactoryInfo{};
    copy(info->vendor, ZT_VENDOR);
    copy(info->url, ZT_URL);
    copy(info->email, "");
    info->flags = Steinberg_Vst_kDefaultFactoryFlags;
    return Steinberg_kResultOk;
}

int32_t factory_count(void*) { return int32_t(2 * kVst3ClassCount); }

Steinberg_tresult factory_class_info(void*, int32_t index, Steinberg_PClassInfo* info)
{
    FactoryClass fc;
    if (!info || !factory_class(index, &fc)) return Steinberg_kInvalidArgument;
    *info = Steinberg_PClassInfo{};
    std::memcpy(info->cid, fc.controller ? fc.cls->controller_id : fc.cls->component_id, sizeof info->cid);
    info->cardinality = Steinberg_PClassInfo_ClassCardinality_kManyInstances;
    copy(info->category, fc.controller ? kControllerCategory : kComponentCategory);
    copy(info->name, fc.name);
    return Steinberg_kResultOk;
}

Steinberg_tresult factory_class_info2(void* self, int32_t index, Steinberg_PClassInfo2* info)
{
    FactoryClass fc;
    if (!info || !factory_class(index, &fc)) return Steinberg_kInvalidArgument;
    Steinberg_PClassInfo base;
    factory_class_info(self, index, &base);
    *info = Steinberg_PClassInfo2{};
    std::memcpy(info->cid, base.cid, sizeof info->cid);
    info->cardinality = base.cardinality;
    copy(info->category, base.category);
    copy(info->name, base.name);
    copy(info->subCategories, fc.controller ? "" : kSubCategories);
    copy(info->vendor, ZT_VENDOR);
    copy(info->version, ZT_VERSION);
    copy(info->sdkVersion, Steinberg_Vst_SDKVersionString);
    return Steinberg_kResultOk;
}

Steinberg_tresult factory_class_info_w(void* self, int32_t index, Steinberg_PClassInfoW* info)
{
    Steinberg_PClassInfo2 narrow;
    if (!info || factory_class_info2(self, index, &narrow) != Steinberg_kResultOk) return Steinberg_kInvalidArgument;
    *info = Steinberg_PClassInfoW{};
    std::memcpy(info->cid, narrow.cid, sizeof info->cid);
    info->cardinality = narrow.cardinality;
    copy(info->category, narrow.category);
    copy16(info->name, narrow.name);
    copy(info->subCategories, narrow.subCategories);
    copy16(info->vendor, narrow.vendor);
    copy16(info->version, narrow.version);
    copy16(info->sdkVersion, narrow.sdkVersion);
    return Steinberg_kResultOk;
}

Steinberg_tresult factory_create(void*, Steinberg_FIDString cid, Steinberg_FIDString iid, void** obj)
{
    if (!obj) return Steinberg_kInvalidArgument;
    *obj = nullptr;
    if (!cid || !iid) return Steinberg_kInvalidArgument;
    for (uint32_t k = 0; k < kVst3ClassCount; ++k) {
        const Vst3Class& cls = kVst3Classes[k];
        Steinberg_FUnknown* made = nullptr;
        if (vst3_same_iid(cid, cls.component_id)) {
            Vst3Component* c = vst3_component_create(cls);
            if (!c) return Steinberg_kOutOfMemory;
            made = reinterpret_cast<Steinberg_FUnknown*>(&c->component);
        } else if (vst3_same_iid(cid, cls.controller_id)) {
            Vst3Controller* c = vst3_controller_create(cls);
            if (!c) return Steinberg_kOutOfMemory;
            made = reinterpret_cast<Steinberg_FUnknown*>(&c->controller);
        } else {
            continue;
        }
        // The caller's reference comes from queryInterface; creation's own
        // goes, and with it the object when the interface is not ours.
        const Steinberg_tresult r = made->lpVtbl->queryInterface(made, iid, obj);
        made->lpVtbl->release(made);
        return r;
    }
    return Steinberg_kNoInterface;
}

Steinberg_tresult factory_set_host_context(void*, Steinberg_FUnknown*) { return Steinberg_kResultOk; }

const Steinberg_IPluginFactory3Vtbl kFactoryVtbl = {
    factory_query,       factory_add_ref,     factory_release,      factory_info,
    factory_count,       factory_class_info,  factory_create,       factory_class_info2,
    factory_class_info_w, factory_set_host_context};

Steinberg_IPluginFactory3 g_factory = {const_cast<Steinberg_IPluginFactory3Vtbl*>(&kFactoryVtbl)};

} // namespace

} // namespace zt

// The module's exports: the factory, and the entry and exit Linux hosts call
// around everything else. Nothing is set up at entry, so nothing is left at exit.
extern "C" {
__attribute__((visibility("default"))) Steinberg_IPluginFactory* GetPluginFactory()
{
    return reinterpret_cast<Steinberg_IPluginFactory*>(&zt::g_factory);
}
__attribute__((visibility("default"))) bool ModuleEntry(void*) { return true; }
__attribute__((visibility("default"))) bool ModuleExit() { return true; }
}
