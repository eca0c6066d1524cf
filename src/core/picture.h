#pragma once
// The small picture of the response that a host shows beside the track:
// run publishes what it is drawn from, the host's GUI thread draws it
// (picture.cpp). No plugin format here: a face hands the picture over and
// asks its host for redraws.
#include <cstddef>
#include <cstdint>

#include "published_float.h"
#include "../engine/inline_picture.h"
#include "../support/bit_cast.h"

namespace zt {

struct Plugin;

constexpr int kPictureKeys = 6;

struct PictureImage {  // the layout hosts take a drawn surface in
    unsigned char* data;  // 32-bit words, alpha in the top byte, premultiplied
    int width, height, stride;  // stride in bytes
};

struct HostRedraw {  // the host's request for a new picture; a face calls it, never the core
    void* handle;
    void (*request)(void* handle);
};

struct PluginPicture {
    // A PictureState float by float. Each float is current on its own: a
    // picture drawn while run publishes may mix two runs' values, and that
    // run's change asks for the next picture anyway.
    PublishedFloat published[kPictureFloats];
    uint32_t key[kPictureKeys];        // run's thread: the bits of what decides the picture, as last published
    uint32_t serial;        // run's thread: counts the changes published
    HostRedraw redraw;      // set by a face at creation, or none
    PictureImage image;     // drawing thread: the last picture (pixels owned)
    size_t capacity;        // drawing thread: pixels allocated
};

// What decides the picture: the cutoff, the band, the mix, the resonance's
// feedback and the type (whose row sets the rest of the closed form).
inline void picture_key(const FilterEngine& e, uint32_t key[kPictureKeys])
{
    const float v[kPictureKeys] = {e.cutoff_hz, e.freq_low, e.freq_high, e.mix, e.feedback_gain, e.type_value};
    for (int i = 0; i < kPictureKeys; ++i) key[i] = bit_cast<uint32_t>(v[i]);
}

// Run's one compare: whether the picture moved since it was last published.
inline bool picture_moved(const PluginPicture& pic, const FilterEngine& e)
{
    uint32_t now[kPictureKeys];
    picture_key(e, now);
    uint32_t diff = 0;
    for (int i = 0; i < kPictureKeys; ++i) diff |= now[i] ^ pic.key[i];
    return diff != 0;
}

// The picture: published at the end of every run that changed what it shows
// (picture.serial then moves, for a face to ask its host for a redraw), and
// drawn on the host's GUI thread from what was published, never blocking run.
// The image stays valid until the next render or cleanup; nullptr when out
// of memory.
void publish_picture(Plugin& p);  // after picture_moved
PictureImage* plugin_render_picture(Plugin* p, uint32_t w, uint32_t max_h);
void picture_init(Plugin& p);
void picture_free(Plugin& p);

} // namespace zt
