// A minimal LV2 host for comparing builds of the plugin across processors.
// It loads the library with dlopen, drives it through lv2_descriptor as a
// script says (control changes, frame counts, in-place buffers, the calling
// thread's floating-point mode) and writes each session's output as raw
// 32-bit floats, NAME.f32 in the output folder. Every input is made by exact
// integer and float arithmetic, so builds for different processors that
// compute the same bits write the same files.
//
//   render_host LIBRARY SCRIPT OUTDIR
//
// Script lines (words separated by blanks, # starts a comment):
//   session NAME [RATE]        a new instance (the previous one is cleaned up)
//   set PORT VALUE ...         control values by port symbol
//   input KIND [AMP [PERIOD]]  noise, saw, pulse, impulse, dc or silence
//   buffers shared|separate    output written over the input, or not
//   caller load|default|towardzero   the mode each run is called under
//   run FRAMES [xCOUNT] [PORT+=STEP ...]   COUNT runs, controls moved after each
//   cycle                      deactivate, then activate again
//   zero-tail FRAMES           the last FRAMES frames rendered are exactly 0
//   same-as NAME               the output so far equals session NAME's
#include <dlfcn.h>
#include <lv2/core/lv2.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "caller_fp_mode.h"
#include "signal_source.h"

namespace {

using namespace zt_cross;

constexpr uint32_t kMaxFrames = 8192;
constexpr const char* kControlSymbols[] = {"mix",    "rate",   "glide_down", "glide_up", "shape",
                                           "resonance", "center", "octaves", "type"};
constexpr int kControlCount = 9;
constexpr uint32_t kFirstControlPort = 2;
// The bundle's defaults, in port order 2 ... 10.
constexpr float kControlDefaults[kControlCount] = {100.0f, 7.5f, 1.0f, 1.0f, 0.0f,
                                                   70.0f, 1200.0f, 4.0f, 3.0f};

int control_index(const std::string& symbol)
{
    for (int i = 0; i < kControlCount; ++i)
        if (symbol == kControlSymbols[i]) return i;
    return -1;
}

struct Host {
    const LV2_Descriptor* desc = nullptr;
    uint32_t loaded_mode = 0;
    std::string bundle_dir;  // the library's folder, with the trailing slash
    std::string out_dir;
    std::map<std::string, std::vector<float>> finished;
    int failures = 0;
    int sessions = 0;

    // The running session.
    LV2_Handle handle = nullptr;
    std::string name;
    std::vector<float> rendered;
    float controls[kControlCount];
    std::vector<float> in_buf = std::vector<float>(kMaxFrames);
    std::vector<float> out_buf = std::vector<float>(kMaxFrames);
    bool shared = false;
    uint32_t caller_mode = 0;
    SignalSource source;
};

int g_line = 0;

void fail(Host& h, const std::string& what)
{
    std::fprintf(stderr, "render_host: line %d (session %s): %s\n", g_line, h.name.c_str(), what.c_str());
    ++h.failures;
}

[[noreturn]] void die(const std::string& what)
{
    std::fprintf(stderr, "render_host: line %d: %s\n", g_line, what.c_str());
    std::exit(2);
}

void connect_all(Host& h)
{
    h.desc->connect_port(h.handle, 0, h.in_buf.data());
    h.desc->connect_port(h.handle, 1, h.shared ? h.in_buf.data() : h.out_buf.data());
    for (int i = 0; i < kControlCount; ++i)
        h.desc->connect_port(h.handle, kFirstControlPort + i, &h.controls[i]);
}

uint64_t fnv1a(const std::vector<float>& v)
{
    uint64_t x = 1469598103934665603ull;
    const auto* b = reinterpret_cast<const unsigned char*>(v.data());
    for (size_t i = 0; i < v.size() * sizeof(float); ++i) x = (x ^ b[i]) * 1099511628211ull;
    return x;
}

void end_session(Host& h)
{
    if (!h.handle) return;
    h.desc->deactivate(h.handle);
    h.desc->cleanup(h.handle);
    h.handle = nullptr;
    const std::string path = h.out_dir + "/" + h.name + ".f32";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || std::fwrite(h.rendered.data(), sizeof(float), h.rendered.size(), f) != h.rendered.size() ||
        std::fclose(f) != 0)
        die("cannot write " + path);
    std::printf("%-16s %8zu frames  fnv %016" PRIx64 "\n", h.name.c_str(), h.rendered.size(), fnv1a(h.rendered));
    h.finished[h.name] = std::move(h.rendered);
    h.rendered.clear();
    ++h.sessions;
}

void begin_session(Host& h, const std::string& name, double rate)
{
    end_session(h);
    if (name.empty() || h.finished.count(name)) die("session needs a new name");
    h.name = name;
    static const LV2_Feature* const no_features[] = {nullptr};
    h.handle = h.desc->instantiate(h.desc, rate, h.bundle_dir.c_str(), no_features);
    if (!h.handle) die("instantiate failed");
    std::memcpy(h.controls, kControlDefaults, sizeof h.controls);
    h.shared = false;
    h.caller_mode = h.loaded_mode;
    h.source = SignalSource{};
    connect_all(h);
    h.desc->activate(h.handle);
}

void run_once(Host& h, uint32_t n)
{
    for (uint32_t j = 0; j < n; ++j) h.in_buf[j] = h.source.next();
    mode_set(h.caller_mode);
    h.desc->run(h.handle, n);
    const uint32_t after = mode_get() & ~kModes.status_bits;
    if (after != h.caller_mode) {
        char msg[96];
        std::snprintf(msg, sizeof msg, "run left the mode at 0x%X, caller had 0x%X", after, h.caller_mode);
        fail(h, msg);
    }
    mode_set(h.loaded_mode);
    const float* out = h.shared ? h.in_buf.data() : h.out_buf.data();
    h.rendered.insert(h.rendered.end(), out, out + n);
}

// run FRAMES [xCOUNT] [PORT+=STEP ...]
void run_command(Host& h, std::istringstream& words)
{
    long frames = -1;
    words >> frames;
    if (frames < 0 || frames > long(kMaxFrames)) die("run needs 0 ... 8192 frames");
    long count = 1;
    struct Step { int port; float delta; };
    std::vector<Step> steps;
    std::string w;
    while (words >> w) {
        if (w[0] == 'x') {
            count = std::strtol(w.c_str() + 1, nullptr, 10);
            continue;
        }
        const size_t at = w.find("+=");
        const int port = control_index(w.substr(0, at));
        if (at == std::string::npos || port < 0) die("bad control step " + w);
        steps.push_back({port, std::strtof(w.c_str() + at + 2, nullptr)});
    }
    for (long i = 0; i < count; ++i) {
        run_once(h, uint32_t(frames));
        for (const Step& s : steps) h.controls[s.port] += s.delta;
    }
}

void check_zero_tail(Host& h, size_t frames)
{
    if (frames > h.rendered.size()) die("zero-tail longer than the output");
    for (size_t i = h.rendered.size() - frames; i < h.rendered.size(); ++i) {
        if (h.rendered[i] != 0.0f) {
            char msg[96];
            std::snprintf(msg, sizeof msg, "frame %zu is %a, not 0 (subnormals not flushed?)", i,
                          double(h.rendered[i]));
            fail(h, msg);
            return;
        }
    }
}

void check_same_as(Host& h, const std::string& other)
{
    auto it = h.finished.find(other);
    if (it == h.finished.end()) die("same-as names no finished session");
    const std::vector<float>& a = it->second;
    if (a.size() != h.rendered.size() ||
        std::memcmp(a.data(), h.rendered.data(), a.size() * sizeof(float)) != 0)
        fail(h, "output differs from session " + other);
}

void execute(Host& h, const std::string& line)
{
    std::istringstream words(line.substr(0, line.find('#')));
    std::string cmd;
    if (!(words >> cmd)) return;
    if (cmd == "session") {
        std::string name;
        double rate = 48000.0;
        words >> name >> rate;
        begin_session(h, name, rate);
        return;
    }
    if (!h.handle) die("command before the first session");
    std::string a, b;
    if (cmd == "set") {
        while (words >> a >> b) {
            const int port = control_index(a);
            if (port < 0) die("no control " + a);
            h.controls[port] = std::strtof(b.c_str(), nullptr);
        }
    } else if (cmd == "input") {
        float amp = 1.0f;
        long period = 100;
        words >> a >> amp >> period;
        if (!h.source.select(a, amp, period)) die("bad input " + a);
    } else if (cmd == "buffers") {
        words >> a;
        if (a != "shared" && a != "separate") die("buffers shared|separate");
        h.shared = a == "shared";
        connect_all(h);
    } else if (cmd == "caller") {
        words >> a;
        if (a == "load") h.caller_mode = h.loaded_mode;
        else if (a == "default") h.caller_mode = kModes.c_default;
        else if (a == "towardzero") h.caller_mode = kModes.toward_zero;
        else die("caller load|default|towardzero");
    } else if (cmd == "run") {
        run_command(h, words);
    } else if (cmd == "cycle") {
        h.desc->deactivate(h.handle);
        h.desc->activate(h.handle);
    } else if (cmd == "zero-tail") {
        size_t frames = 0;
        words >> frames;
        check_zero_tail(h, frames);
    } else if (cmd == "same-as") {
        words >> a;
        check_same_as(h, a);
    } else {
        die("unknown command " + cmd);
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: render_host LIBRARY SCRIPT OUTDIR\n");
        return 2;
    }
    const uint32_t before = mode_get() & ~kModes.status_bits;
    void* lib = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (!lib) die(dlerror());
    Host h;
    const std::string lib_path = argv[1];
    h.bundle_dir = lib_path.substr(0, lib_path.rfind('/') + 1);
    h.out_dir = argv[3];
    h.loaded_mode = mode_get() & ~kModes.status_bits;
    if (h.loaded_mode != kModes.at_load) {
        std::fprintf(stderr, "render_host: loading set the mode 0x%X (was 0x%X), expected 0x%X\n",
                     h.loaded_mode, before, kModes.at_load);
        ++h.failures;
    }
    auto entry = reinterpret_cast<LV2_Descriptor_Function>(dlsym(lib, "lv2_descriptor"));
    if (!entry) die("no lv2_descriptor");
    h.desc = entry(0);
    if (!h.desc || entry(1) != nullptr || !std::strstr(h.desc->URI, "/plugins/zirpomatik-tolm") ||
        h.desc->extension_data(LV2_CORE__isLive) != nullptr)
        die("unexpected descriptor");

    std::ifstream script(argv[2]);
    if (!script) die(std::string("cannot read ") + argv[2]);
    std::string line;
    while (std::getline(script, line)) {
        ++g_line;
        execute(h, line);
    }
    end_session(h);
    dlclose(lib);
    std::printf("render_host: %d sessions, %d failed checks\n", h.sessions, h.failures);
    return h.failures == 0 ? 0 : 1;
}
