#pragma once
// The plugin from the bundle in the build tree, never another copy installed
// on the machine: lilv loads that one bundle only.
#include <lilv/lilv.h>

inline const LilvPlugin* load_built_plugin(LilvWorld* world)
{
    LilvNode* bundle = lilv_new_file_uri(world, nullptr, ZT_BUNDLE_PARENT "/zirpomatik-tolm.lv2/");
    lilv_world_load_bundle(world, bundle);
    lilv_node_free(bundle);
    LilvNode* uri = lilv_new_uri(world, ZT_PLUGIN_URI);
    const LilvPlugin* plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), uri);
    lilv_node_free(uri);
    return plugin;
}
