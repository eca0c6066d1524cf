#include "clap_face.h"
namespace zt {
namespace {
bool state_save(const clap_plugin_t*, const clap_ostream_t*) { return false; }
bool state_load(const clap_plugin_t*, const clap_istream_t*) { return false; }
uint32_t tail_get(const clap_plugin_t*) { return 0; }
bool preset_from_location(const clap_plugin_t*, uint32_t, const char*, const char*) { return false; }
uint32_t discovery_count(const clap_preset_discovery_factory_t*) { return 0; }
const clap_preset_discovery_provider_descriptor_t* discovery_get(const clap_preset_discovery_factory_t*, uint32_t) { return nullptr; }
const clap_preset_discovery_provider_t* discovery_create(const clap_preset_discovery_factory_t*, const clap_preset_discovery_indexer_t*, const char*) { return nullptr; }
}
const clap_plugin_state_t kClapState = {state_save, state_load};
const clap_plugin_tail_t kClapTail = {tail_get};
const clap_plugin_preset_load_t kClapPresetLoad = {preset_from_location};
const clap_preset_discovery_factory_t kClapPresetDiscovery = {discovery_count, discovery_get, discovery_create};
}
