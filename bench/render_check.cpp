// zt-render-check: renders a long, fixed programme through a built plugin
// library and prints one hash per scene (and writes every output sample to
// a file when asked). Two builds of the library give the same hashes exactly
// when they produce the same bits, so a speed change is checked against the
// build before it:
//
//   zt-render-check OLD/libzirpomatik-tolm.so > old.txt
//   zt-render-check NEW/libzirpomatik-tolm.so > new.txt && diff old.txt new.txt
//
// The scenes cover every shape and response type, resonance 0 and heavy
// clipping, glides of every kind (long, abandoned, negative, zero), odd call
// sizes and partial blocks, ramps of the smoothed controls, in-place buffers,
// silence after loud input and non-finite input. The library is loaded with
// dlopen, as a host does, so the code under test is the shipped one.
#include <dlfcn.h>
#include <lv2/core/lv2.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <vector>

namespace {

enum Port { IN, OUT, MIX, RATE, GDOWN, GUP, SHAPE, RESO, CENTER, OCT, TYPE, NPORTS };

struct Controls {
    float v[NPORTS] = {0, 0, 100, 7.5f, 1, 1, 0, 70, 1200, 4, 3};
};

// Deterministic test signals; no library randomness, so runs are repeatable.
struct Signal {
    uint32_t lcg = 12345;
    double phase = 0;
    float next(int kind, double hz, float gain)
    {
        phase += hz / 48000.0;
        phase -= std::floor(phase);
        switch (kind) {
        case 0: return gain * static_cast<float>(2.0 * phase - 1.0);  // saw
        case 1:
            lcg = lcg * 1664525u + 1013904223u;
            return gain * (static_cast<float>(lcg >> 8) * 0x1p-23f - 1.0f);  // noise
        case 2: return gain * static_cast<float>(std::sin(6.283185307179586 * phase));
        case 3: return phase < hz / 48000.0 ? gain : 0.0f;  // impulse train
        default: return 0.0f;  // silence
        }
    }
};

struct Lib {
    void* handle = nullptr;
    const LV2_Descriptor* desc = nullptr;
};

struct Instance {
    const LV2_Descriptor* d;
    LV2_Handle h;
    Controls c;
    std::vector<float> in, out;
};

uint64_t fnv(uint64_t h, const float* p, size_t n)
{
    const auto* b = reinterpret_cast<const unsigned char*>(p);
    for (size_t i = 0; i < n * sizeof(float); ++i) h = (h ^ b[i]) * 0x100000001B3ull;
    return h;
}

FILE* g_dump = nullptr;

struct Scene {
    const char* name;
    Instance inst;
    uint64_t hash = 0xCBF29CE484222325ull;
    uint64_t frames = 0;
    Signal sig;
};

void open_scene(Scene& s, const Lib& lib, const char* name)
{
    s.name = name;
    s.inst.d = lib.desc;
    s.inst.h = lib.desc->instantiate(lib.desc, 44100.0, "", nullptr);
    if (!s.inst.h) {
        std::fprintf(stderr, "instantiate failed\n");
        std::exit(1);
    }
    s.inst.in.assign(8192, 0.0f);
    s.inst.out.assign(8192, 0.0f);
    for (int p = MIX; p < NPORTS; ++p) s.inst.d->connect_port(s.inst.h, p, &s.inst.c.v[p]);
    s.inst.d->activate(s.inst.h);
}

// Renders `total` frames in calls of `call` frames (the last may be shorter).
// in_place runs the plugin with one buffer for input and output.
void render(Scene& s, uint64_t total, uint32_t call, int kind, double hz, float gain, bool in_place = false)
{
    Instance& in = s.inst;
    while (total > 0) {
        const uint32_t n = static_cast<uint32_t>(total < call ? total : call);
        for (uint32_t i = 0; i < n; ++i) in.in[i] = s.sig.next(kind, hz, gain);
        float* o = in_place ? in.in.data() : in.out.data();
        if (in_place) {
            in.d->connect_port(in.h, IN, in.in.data());
            in.d->connect_port(in.h, OUT, in.in.data());
        } else {
            in.d->connect_port(in.h, IN, in.in.data());
            in.d->connect_port(in.h, OUT, in.out.data());
        }
        in.d->run(in.h, n);
        s.hash = fnv(s.hash, o, n);
        if (g_dump) std::fwrite(o, sizeof(float), n, g_dump);
        s.frames += n;
        total -= n;
    }
}

void close_scene(Scene& s)
{
    s.inst.d->deactivate(s.inst.h);
    s.inst.d->cleanup(s.inst.h);
    std::printf("%-34s %10llu frames  %016llx\n", s.name, static_cast<unsigned long long>(s.frames),
                static_cast<unsigned long long>(s.hash));
}

void set(Scene& s, Port p, float v) { s.inst.c.v[p] = v; }

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s LIBRARY.so [DUMP_FILE]\n", argv[0]);
        return 2;
    }
    Lib lib;
    lib.handle = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (!lib.handle) {
        std::fprintf(stderr, "%s\n", dlerror());
        return 1;
    }
    auto entry = reinterpret_cast<const LV2_Descriptor* (*)(uint32_t)>(dlsym(lib.handle, "lv2_descriptor"));
    lib.desc = entry ? entry(0) : nullptr;
    if (!lib.desc) return 1;
    if (argc > 2) g_dump = std::fopen(argv[2], "wb");

    {   // Defaults, a saw, two seconds.
        Scene s;
        open_scene(s, lib, "defaults saw");
        render(s, 96000, 256, 0, 110, 0.5f);
        close_scene(s);
    }
    // Every shape x a spread of types and resonances, with long glides.
    for (int shape = -1; shape <= 5; ++shape) {
        for (int type = 0; type < 40; type += 3) {
            Scene s;
            char name[64];
            std::snprintf(name, sizeof name, "shape %d type %d", shape, type);
            open_scene(s, lib, name);
            set(s, SHAPE, static_cast<float>(shape));
            set(s, TYPE, static_cast<float>(type));
            set(s, RESO, static_cast<float>((type * 7 + shape * 13) % 101));
            set(s, RATE, 20.0f + static_cast<float>(type));
            set(s, GUP, static_cast<float>(10 + 2 * type));
            set(s, GDOWN, static_cast<float>(80 - type));
            set(s, MIX, static_cast<float>(type * 5 - 100));
            render(s, 12000, 64, (type + shape + 8) % 4, 97 + type, 0.8f);
            close_scene(s);
        }
    }
    // Every type once more with a noise input and strong resonance.
    for (int type = 0; type < 40; ++type) {
        Scene s;
        char name[64];
        std::snprintf(name, sizeof name, "noise reso 95 type %d", type);
        open_scene(s, lib, name);
        set(s, TYPE, static_cast<float>(type));
        set(s, RESO, 95);
        set(s, RATE, 30);
        set(s, GUP, 50);
        set(s, GDOWN, 30);
        render(s, 6000, 128, 1, 0, 0.9f);
        close_scene(s);
    }
    {   // Loud input drives every stage into the clamp.
        Scene s;
        open_scene(s, lib, "clipping x10");
        set(s, RESO, 100);
        set(s, TYPE, 19);
        render(s, 24000, 512, 0, 55, 10.0f);
        close_scene(s);
    }
    {   // Resonance 0 skips the feedback term.
        Scene s;
        open_scene(s, lib, "resonance 0");
        set(s, RESO, 0);
        set(s, TYPE, 24);
        set(s, GUP, 100);
        set(s, GDOWN, 100);
        render(s, 48000, 4096, 0, 220, 0.7f);
        set(s, RESO, 40);
        render(s, 4800, 4096, 0, 220, 0.7f);
        set(s, RESO, 0);
        render(s, 4800, 16, 2, 330, 0.7f);
        close_scene(s);
    }
    {   // Glides every frame, abandoned before they end (fractions > 1).
        Scene s;
        open_scene(s, lib, "glides over 100 percent");
        set(s, GUP, 250);
        set(s, GDOWN, 180);
        set(s, RATE, 40);
        set(s, SHAPE, 1);
        render(s, 48000, 4096, 0, 150, 0.6f);
        close_scene(s);
    }
    {   // Negative glide fractions and a negative rate: glides that never end.
        Scene s;
        open_scene(s, lib, "negative glides");
        set(s, GUP, -30);
        set(s, GDOWN, -5);
        set(s, RATE, 25);
        render(s, 20000, 333, 0, 150, 0.6f);
        set(s, RATE, -7);
        render(s, 20000, 1000, 0, 150, 0.6f);
        set(s, RATE, 60000);
        render(s, 2000, 100, 0, 150, 0.6f);
        set(s, RATE, 0);
        render(s, 4000, 100, 0, 150, 0.6f);
        close_scene(s);
    }
    {   // Zero glides, a zero band, odd call sizes and partial blocks.
        Scene s;
        open_scene(s, lib, "odd calls zero band");
        set(s, GUP, 0);
        set(s, GDOWN, 0);
        set(s, OCT, 0);
        set(s, RATE, 45);
        const uint32_t calls[] = {1, 7, 16, 33, 5, 100, 3, 4096, 17, 15};
        for (int r = 0; r < 6; ++r)
            for (uint32_t c : calls) render(s, c, c, r % 4, 180, 0.7f);
        set(s, OCT, 6);
        set(s, GUP, 3);
        for (int r = 0; r < 6; ++r)
            for (uint32_t c : calls) render(s, c * 3, c, 0, 180, 0.7f);
        close_scene(s);
    }
    {   // Smoothed controls ramping, every call size, in-place buffers.
        Scene s;
        open_scene(s, lib, "ramps and in-place");
        const uint32_t calls[] = {16, 64, 256, 4096, 48, 31};
        int k = 0;
        for (uint32_t c : calls) {
            set(s, MIX, static_cast<float>(k * 37 % 200 - 100));
            set(s, CENTER, static_cast<float>(200 + k * 900));
            set(s, OCT, static_cast<float>(k % 7));
            set(s, RATE, static_cast<float>(3 + k * 4));
            set(s, RESO, static_cast<float>(k * 19 % 100));
            render(s, 8000, c, k % 3, 90 + 40 * k, 0.5f, k % 2 == 1);
            ++k;
        }
        close_scene(s);
    }
    {   // Long glides while the band ramps, the resonance switches the
        // feedback term on and off, and calls split blocks at odd places.
        Scene s;
        open_scene(s, lib, "glides under moving band");
        set(s, GUP, 90);
        set(s, GDOWN, 70);
        set(s, RATE, 11);
        const uint32_t calls[] = {37, 5, 16, 129, 3, 64, 250};
        for (int k = 0; k < 60; ++k) {
            set(s, CENTER, static_cast<float>(300 + (k * 997) % 5000));
            set(s, OCT, static_cast<float>(k % 9) * 0.75f);
            set(s, RESO, (k % 3 == 0) ? 0.0f : static_cast<float>(20 + k));
            set(s, SHAPE, static_cast<float>(k % 5));
            render(s, 700, calls[k % 7], k % 4, 70 + 13 * k, 0.6f);
        }
        close_scene(s);
    }
    {   // Short glides of every length around the batch sizes.
        Scene s;
        open_scene(s, lib, "short glides");
        set(s, RATE, 480);  // period 100
        for (int g = 1; g <= 40; ++g) {
            set(s, GUP, static_cast<float>(g));
            set(s, GDOWN, static_cast<float>(41 - g));
            render(s, 500, 48, g % 4, 200 + g, 0.7f);
        }
        close_scene(s);
    }
    {   // Silence after loud input: the memories must decay to exact zero.
        Scene s;
        open_scene(s, lib, "silent tail");
        set(s, RESO, 85);
        render(s, 9600, 256, 0, 110, 1.0f);
        render(s, 96000, 256, 4, 0, 0.0f);
        close_scene(s);
    }
    {   // Non-finite input restarts the filter.
        Scene s;
        open_scene(s, lib, "non-finite input");
        render(s, 4800, 64, 0, 110, 0.5f);
        s.sig.phase = 0;
        set(s, RESO, 60);
        Instance& in = s.inst;
        const float specials[] = {std::numeric_limits<float>::infinity(),
                                  std::numeric_limits<float>::quiet_NaN(), 3e38f, -1e30f};
        for (float f : specials) {
            for (uint32_t i = 0; i < 64; ++i) in.in[i] = (i == 20) ? f : 0.25f;
            in.d->connect_port(in.h, IN, in.in.data());
            in.d->connect_port(in.h, OUT, in.out.data());
            in.d->run(in.h, 64);
            s.hash = fnv(s.hash, in.out.data(), 64);
            s.frames += 64;
            render(s, 960, 64, 0, 110, 0.5f);
        }
        set(s, RESO, 1e9f);  // feedback gain so large the input step overflows
        render(s, 960, 64, 0, 110, 0.5f);
        close_scene(s);
    }
    if (g_dump) std::fclose(g_dump);
    return 0;
}
