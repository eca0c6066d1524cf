// The library's face towards the CLAP host: the entry, one plugin factory
// with the mono and the stereo plugin, and the preset discovery factory.
#include <cstring>

#include "clap_face.h"

namespace zt {

namespace {

const char* const kFeatures[] = {CLAP_PLUGIN_FEATURE_AUDIO_EFFECT, CLAP_PLUGIN_FEATURE_FILTER,
                                 CLAP_PLUGIN_FEATURE_MONO, nullptr};
const char* const kStereoFeatures[] = {CLAP_PLUGIN_FEATURE_AUDIO_EFFECT, CLAP_PLUGIN_FEATURE_FILTER,
                                       CLAP_PLUGIN_FEATURE_STEREO, nullptr};

// The plugins by factory index; the index plus one is the channel count.
const clap_plugin_descriptor_t* const kPlugins[] = {&kClapDescriptor, &kClapStereoDescriptor};

uint32_t factory_count(const clap_plugin_factory_t*) { return 2; }

const clap_plugin_descriptor_t* factory_descriptor(const clap_plugin_factory_t*, uint32_t index)
{
    return index < 2 ? kPlugins[index] : nullptr;
}

const clap_plugin_t* factory_create(const clap_plugin_factory_t*, const clap_host_t* host, const char* id)
{
    if (!host || !id || !clap_version_is_compatible(host->clap_version)) return nullptr;
    for (uint32_t i = 0; i < 2; ++i)
        if (std::strcmp(id, kPlugins[i]->id) == 0) return clap_plugin_create(host, kPlugins[i], i + 1);
    return nullptr;
}

const clap_plugin_factory_t kFactory = {factory_count, factory_descriptor, factory_create};

bool entry_init(const char*) { return true; }
void entry_deinit() {}

const void* entry_factory(const char* id)
{
    if (!id) return nullptr;
    if (std::strcmp(id, CLAP_PLUGIN_FACTORY_ID) == 0) return &kFactory;
    if (std::strcmp(id, CLAP_PRESET_DISCOVERY_FACTORY_ID) == 0 ||
        std::strcmp(id, CLAP_PRESET_DISCOVERY_FACTORY_ID_COMPAT) == 0)
        return &kClapPresetDiscovery;
    return nullptr;
}

} // namespace

// Name, vendor, URL and version come from the build, as for the Turtle.
const clap_plugin_descriptor_t kClapDescriptor = {
    CLAP_VERSION_INIT,
    "org.zirpomatik.tolm",
    "Zirpomatik Tolm",
    ZT_VENDOR,
    ZT_URL,
    "",
    "",
    ZT_VERSION,
    "Resonant filter with a randomly moving cutoff",
    kFeatures,
};

const clap_plugin_descriptor_t kClapStereoDescriptor = {
    CLAP_VERSION_INIT,
    "org.zirpomatik.tolm.stereo",
    "Zirpomatik Tolm Stereo",
    ZT_VENDOR,
    ZT_URL,
    "",
    "",
    ZT_VERSION,
    "Resonant stereo filter with one randomly moving cutoff for both channels",
    kStereoFeatures,
};

} // namespace zt

extern "C" CLAP_EXPORT const clap_plugin_entry_t clap_entry = {
    CLAP_VERSION_INIT,
    zt::entry_init,
    zt::entry_deinit,
    zt::entry_factory,
};
