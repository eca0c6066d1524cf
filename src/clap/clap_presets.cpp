// The factory presets for CLAP hosts: the preset discovery factory lists the
// preset table under one location inside the plugin, and clap.preset-load
// loads an entry by its key, setting all nine controls as the LV2 preset of
// the same key does.
#include <cstdlib>
#include <cstring>

#include "clap_face.h"
#include "../core/preset_table.h"

namespace zt {

namespace {

const PresetInfo* preset_by_key(const char* key)
{
    if (!key) return nullptr;
    for (const PresetInfo& preset : kPresets)
        if (std::strcmp(preset.key, key) == 0) return &preset;
    return nullptr;
}

bool preset_from_location(const clap_plugin_t* plugin, uint32_t kind, const char* location, const char* key)
{
    ClapPlugin& p = clap_self(plugin);
    const PresetInfo* preset = kind == CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN ? preset_by_key(key) : nullptr;
    if (!preset) {
        if (p.host_presets && p.host_presets->on_error)
            p.host_presets->on_error(p.host, kind, location, key, 0, "no such factory preset");
        return false;
    }
    clap_load_controls(p, preset->value);
    if (p.host_presets && p.host_presets->loaded) p.host_presets->loaded(p.host, kind, location, key);
    return true;
}

const clap_preset_discovery_provider_descriptor_t kProviderDescriptor = {
    CLAP_VERSION_INIT, "org.zirpomatik.tolm.factory-presets", "Zirpomatik Tolm factory presets", ZT_VENDOR};

bool provider_init(const clap_preset_discovery_provider_t* provider)
{
    const auto* indexer = static_cast<const clap_preset_discovery_indexer_t*>(provider->provider_data);
    const clap_preset_discovery_location_t location = {
        CLAP_PRESET_DISCOVERY_IS_FACTORY_CONTENT, "Factory presets", CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN,
        nullptr};
    return indexer->declare_location(indexer, &location);
}


bool provider_get_metadata(const clap_preset_discovery_provider_t*, uint32_t kind, const char*,
                           const clap_preset_discovery_metadata_receiver_t* receiver)
{
    if (kind != CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN || !receiver) return false;
    // Every preset is for both plugins: they have the same controls.
    const clap_universal_plugin_id_t ids[] = {{"clap", kClapDescriptor.id}, {"clap", kClapStereoDescriptor.id}};
    for (const PresetInfo& preset : kPresets) {
        if (!receiver->begin_preset(receiver, preset.label, preset.key)) return true;
        for (const clap_universal_plugin_id_t& id : ids) receiver->add_plugin_id(receiver, &id);
        receiver->set_flags(receiver, CLAP_PRESET_DISCOVERY_IS_FACTORY_CONTENT);
        receiver->set_description(receiver, preset.comment);
        receiver->add_creator(receiver, ZT_VENDOR);
    }
    return true;
}

const void* provider_get_extension(const clap_preset_discovery_provider_t*, const char*) { return nullptr; }

uint32_t discovery_count(const clap_preset_discovery_factory_t*) { return 1; }

const clap_preset_discovery_provider_descriptor_t* discovery_get(const clap_preset_discovery_factory_t*,
                                                                  uint32_t index)
{
    return index == 0 ? &kProviderDescriptor : nullptr;
}

void provider_free(const clap_preset_discovery_provider_t* provider);

const clap_preset_discovery_provider_t* discovery_create(const clap_preset_discovery_factory_t*,
                                                         const clap_preset_discovery_indexer_t* indexer,
                                                         const char* provider_id)
{
    if (!indexer || !provider_id || std::strcmp(provider_id, kProviderDescriptor.id) != 0) return nullptr;
    void* mem = std::calloc(1, sizeof(clap_preset_discovery_provider_t));
    if (!mem) return nullptr;
    // The provider keeps nothing but the indexer it is handed.
    auto* provider = static_cast<clap_preset_discovery_provider_t*>(mem);
    *provider = clap_preset_discovery_provider_t{&kProviderDescriptor, const_cast<clap_preset_discovery_indexer_t*>(indexer),
                                                 provider_init, provider_free, provider_get_metadata,
                                                 provider_get_extension};
    return provider;
}

void provider_free(const clap_preset_discovery_provider_t* provider)
{
    std::free(const_cast<clap_preset_discovery_provider_t*>(provider));
}

} // namespace

const clap_plugin_preset_load_t kClapPresetLoad = {preset_from_location};
const clap_preset_discovery_factory_t kClapPresetDiscovery = {discovery_count, discovery_get, discovery_create};

} // namespace zt
