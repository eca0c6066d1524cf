// The response picture's two sides: run publishes what it is drawn from,
// the host's GUI thread draws it. Nothing here draws on run's thread.
#include <cstdlib>
#include <cstring>
#include <limits>

#include "plugin.h"

namespace zt {

namespace {

void store(PluginPicture& pic, const PictureState& s)
{
    float f[kPictureFloats];
    std::memcpy(f, &s, sizeof f);
    for (size_t i = 0; i < kPictureFloats; ++i) pic.published[i].store(f[i]);
}

PictureState load(const PluginPicture& pic)
{
    float f[kPictureFloats];
    for (size_t i = 0; i < kPictureFloats; ++i) f[i] = pic.published[i].load();
    PictureState s;
    std::memcpy(&s, f, sizeof s);
    return s;
}

} // namespace

// Before the first run the cutoff is not live.
void picture_init(Plugin& p)
{
    PictureState s = picture_state_of(*p.engine);
    s.cutoff_hz = std::numeric_limits<float>::quiet_NaN();
    picture_key(*p.engine, p.picture.key);
    p.picture.key[0] = bit_cast<uint32_t>(s.cutoff_hz);
    store(p.picture, s);
}

// Audio threading class, after picture_moved: a dozen relaxed stores.
void publish_picture(Plugin& p)
{
    p.live_cutoff.store(p.engine->cutoff_hz);
    picture_key(*p.engine, p.picture.key);
    store(p.picture, picture_state_of(*p.engine));
    ++p.picture.serial;
}

// The host's GUI thread. Allocates only when asked for more pixels than ever before.
PictureImage* plugin_render_picture(Plugin* p, uint32_t w, uint32_t max_h)
{
    PluginPicture& pic = p->picture;
    int width, height;
    picture_size(w, max_h, &width, &height);
    const size_t need = static_cast<size_t>(width) * static_cast<size_t>(height);
    if (need > pic.capacity) {
        void* mem = std::malloc(need * sizeof(uint32_t));
        if (!mem) return nullptr;
        std::free(pic.image.data);
        pic.image.data = static_cast<unsigned char*>(mem);
        pic.capacity = need;
    }
    pic.image.width = width;
    pic.image.height = height;
    pic.image.stride = width * static_cast<int>(sizeof(uint32_t));
    const double heard = p->sample_rate / kEngineRate;
    draw_picture(load(pic), heard, reinterpret_cast<uint32_t*>(pic.image.data), width, height, width);
    return &pic.image;
}

void picture_free(Plugin& p)
{
    std::free(p.picture.image.data);
    p.picture.image.data = nullptr;
    p.picture.capacity = 0;
}

} // namespace zt
