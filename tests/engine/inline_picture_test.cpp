// The mixer strip's picture through the LV2 descriptor, as Ardour asks for
// it: its size, its pixels, the curve where the closed form puts it and the
// cutoff where the instance has it, and when run asks for a new one.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "core/plugin.h"
#include "engine/response_curve.h"
#include "lv2/inline_display.h"

extern "C" const LV2_Descriptor* lv2_descriptor(uint32_t index);

namespace zt {
namespace {

struct Host {
    const LV2_Descriptor* d = lv2_descriptor(0);
    float control[PORT_COUNT] = {0, 0, 100, 7.5f, 1, 1, 0, 70, 1200, 4, 3};
    std::vector<float> in = std::vector<float>(256, 0.1f), out = std::vector<float>(256);
    uint32_t asked = 0;
    InlineDisplayQueueDraw queue{&asked, [](void* h) { ++*static_cast<uint32_t*>(h); }};
    LV2_Handle h;
    const auto* display() const
    {
        return static_cast<const InlineDisplayInterface*>(d->extension_data(ZT_INLINE_DISPLAY__interface));
    }

    explicit Host(bool with_queue_draw, double rate = 48000)
    {
        const LV2_Feature feature{ZT_INLINE_DISPLAY__queue_draw, &queue};
        const LV2_Feature* features[] = {&feature, nullptr};
        h = d->instantiate(d, rate, "", with_queue_draw ? features : nullptr);
        d->connect_port(h, PORT_IN, in.data());
        d->connect_port(h, PORT_OUT, out.data());
        for (uint32_t p = PORT_MIX; p < PORT_COUNT; ++p) d->connect_port(h, p, &control[p]);
    }
    ~Host() { d->cleanup(h); }
    void run(int calls)
    {
        for (int i = 0; i < calls; ++i) d->run(h, 256);
    }
    const InlineDisplaySurface* render(uint32_t w, uint32_t max_h) { return display()->render(h, w, max_h); }
    float cutoff() const { return plugin_live_cutoff(*static_cast<const Plugin*>(h)); }
};

uint32_t pixel(const InlineDisplaySurface* s, int x, int y)
{
    return reinterpret_cast<const uint32_t*>(s->data + y * s->stride)[x];
}
// The curve's cyan and the cutoff's pink, wherever they cover most of a pixel.
bool is_curve(uint32_t p) { return (p & 255) > 180 && (p >> 8 & 255) > 150 && (p >> 16 & 255) < 140; }
bool is_cutoff(uint32_t p) { return (p >> 16 & 255) > 180 && (p & 255) > (p >> 8 & 255); }

TEST(InlinePicture, SizeStrideAndEveryPixelOpaqueForAnyRequest)
{
    Host host(true);
    ASSERT_NE(host.display(), nullptr);
    host.run(20);
    // w, max_h asked; width and height drawn, absurd requests clamped. One
    // instance, so the pixels grow, shrink and grow again.
    const struct { uint32_t w, max_h; int width, height; } cases[] = {
        {100, 112, 100, 56}, {300, 112, 300, 112}, {300, 200, 300, 168}, {64, 64, 64, 36}, {0, 112, 1, 1},
        {100, 0, 100, 1},    {100000, 100000, 2048, 1152}, {4000000000u, 50, 2048, 50}, {17, 9, 17, 9},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << " x " << c.max_h);
        const InlineDisplaySurface* s = host.render(c.w, c.max_h);
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(s->width, c.width);
        EXPECT_EQ(s->height, c.height);
        EXPECT_EQ(s->stride, c.width * 4);
        int not_opaque = 0;
        for (int y = 0; y < s->height; ++y)
            for (int x = 0; x < s->width; ++x) not_opaque += pixel(s, x, y) >> 24 != 0xFF;
        EXPECT_EQ(not_opaque, 0);
    }
    // Controls no host should send: a band reaching infinity, no resonance limit.
    host.control[PORT_CENTER] = 1e30f, host.control[PORT_OCTAVES] = 300, host.control[PORT_RESONANCE] = 1e30f;
    host.run(1000);  // the octaves' ramp takes its time
    ASSERT_TRUE(std::isinf(static_cast<const Plugin*>(host.h)->engine->freq_high));
    const InlineDisplaySurface* s = host.render(200, 112);
    ASSERT_NE(s, nullptr);
    for (int y = 0; y < s->height; ++y)
        for (int x = 0; x < s->width; ++x) ASSERT_EQ(pixel(s, x, y) >> 24, 0xFFu);
}

TEST(InlinePicture, CurveAndCutoffWhereTheClosedFormAndTheInstancePutThem)
{
    const struct { float type, resonance, mix; double rate; } cases[] = {
        {3, 70, 100, 48000}, {5, 85, 100, 48000}, {7, 40, 100, 44100}, {9, 0, 100, 96000},
        {3, 70, 30, 48000},  {1, 95, 100, 48000}, {20, 50, 60, 48000},
    };
    constexpr int w = 300, h = 168;
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << ", resonance " << c.resonance << ", mix " << c.mix
                                        << ", rate " << c.rate);
        Host host(false, c.rate);
        host.control[PORT_TYPE] = c.type, host.control[PORT_RESONANCE] = c.resonance, host.control[PORT_MIX] = c.mix;
        host.run(40);  // every ramp settled
        const InlineDisplaySurface* s = host.render(w, h);
        ASSERT_NE(s, nullptr);
        // The window's way to the curve: the setters from the port values.
        FilterEngine e;
        set_type(e, 39.0f);  // a fresh engine ignores a first type equal to its own 0
        set_type(e, c.type);
        set_resonance(e, c.resonance * 0.01f);
        set_mix(e, c.mix * 0.01f);
        e.cutoff_hz = host.cutoff();
        update_coefficients(e);
        const double heard = c.rate / kEngineRate, cut_x = picture_hz_to_x(host.cutoff() * heard, w);
        auto y_at = [&](double x) { return picture_db_to_y(response_level_db(e, picture_x_to_hz(x, w) / heard), h); };

        int checked = 0;
        for (int x = 0; x < w && picture_x_to_hz(x + 1.0, w) < 0.5 * kEngineRate * heard; ++x) {
            const double y = y_at(x + 0.5);
            // Not where the cutoff's line and dot cover it, steep or off the plot.
            if (std::fabs(x + 0.5 - cut_x) < 8 || std::fabs(y_at(x + 1.0) - y_at(x)) > 1.0 || y < 3 || y > h - 3)
                continue;
            double sum = 0;
            int n = 0;
            for (int r = 0; r < h; ++r)
                if (is_curve(pixel(s, x, r))) sum += r + 0.5, ++n;
            ASSERT_GT(n, 0) << "no curve in column " << x;
            EXPECT_NEAR(sum / n, y, 1.0) << "column " << x;
            ++checked;
        }
        EXPECT_GT(checked, w / 3);

        int best = -1, most = 0;
        for (int x = 0; x < w; ++x) {
            int n = 0;
            for (int r = 0; r < h; ++r) n += is_cutoff(pixel(s, x, r));
            if (n > most) most = n, best = x;
        }
        EXPECT_EQ(best, int(cut_x)) << "cutoff at x = " << cut_x;
        EXPECT_GT(most, h / 2);
    }
}

// With the band 0 octaves wide the cutoff stays at the centre whatever the
// modulator draws, so two instances show the same picture: queue_draw only
// asks for pictures, once per run that changed something and never otherwise.
TEST(InlinePicture, SamePictureWithOrWithoutQueueDrawWhichAsksOncePerChange)
{
    Host given(true), not_given(false);
    for (Host* host : {&given, &not_given}) {
        host->control[PORT_OCTAVES] = 0;
        host->run(60);
    }
    const uint32_t settled = given.asked;
    EXPECT_GT(settled, 0u);
    given.run(50);
    EXPECT_EQ(given.asked, settled) << "nothing moved, nothing to draw";
    given.control[PORT_TYPE] = not_given.control[PORT_TYPE] = 7;
    given.run(1);
    not_given.run(1);
    EXPECT_EQ(given.asked, settled + 1) << "a new type, one request";
    given.control[PORT_RATE] = 20;  // the picture does not show the rate
    given.run(1);
    EXPECT_EQ(given.asked, settled + 1);

    auto words = [](const InlineDisplaySurface* s) { return reinterpret_cast<const uint32_t*>(s->data); };
    const std::vector<uint32_t> first(words(given.render(200, 112)), words(given.render(200, 112)) + 200 * 112);
    EXPECT_TRUE(std::equal(first.begin(), first.end(), words(not_given.render(200, 112))));
}

} // namespace
} // namespace zt
