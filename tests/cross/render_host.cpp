// A minimal LV2 host for comparing builds of the plugin across processors.
// It loads the library with dlopen, drives it through lv2_descriptor as a
// script says (control changes, frame counts, in-place buffers, the calling
// thread's floating-point mode) and writes each session's output as raw
// 32-bit floats, NAME.f32 in the output folder. Every input is made by exact
// integer and float arithmetic, so builds for different processors that
// compute the same bits write the same files.
//
//   render_host [--in-range] [--block FRAMES] [--right | --stereo] LIBRARY SCRIPT OUTDIR
//
// LIBRARY is the LV2 library or the .clap. Through CLAP, every control the
// script changes between two runs is a param event at that frame, and runs
// are gathered into process calls of up to FRAMES frames (0, the default:
// one process call per run), so a session must render the same bits through
// both faces whatever the blocks. The CLAP plugin takes a value outside a
// range as its end and ignores one that is not finite; --in-range makes the
// LV2 side pass on the values that way, for comparing the two.
//
// Every input line sets a left and a right signal (the right one of the
// same kind, half a period on and with noise of its own). The mono plugin
// is fed the left one, or with --right the right one (NAME.right.f32);
// --stereo runs the stereo plugin on both and writes NAME.f32 and
// NAME.right.f32, which must be the two mono renders bit for bit.
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
//   same-as NAME               the output so far equals session NAME's (LV2 without --in-range)
#include <clap/clap.h>
#include <dlfcn.h>
#include <lv2/core/lv2.h>

#include <algorithm>
#include <cinttypes>
#include <cmath>
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
// The bundle's defaults and ranges, in port order 2 ... 10.
constexpr float kControlDefaults[kControlCount] = {100.0f, 7.5f, 1.0f, 1.0f, 0.0f,
                                                   70.0f, 1200.0f, 4.0f, 3.0f};
constexpr float kControlMin[kControlCount] = {-100.0f, 0.1f, 0.0f, 0.0f, 0.0f, 0.0f, 20.0f, 0.0f, 0.0f};
constexpr float kControlMax[kControlCount] = {100.0f, 50.0f, 100.0f, 100.0f, 4.0f,
                                              100.0f, 20000.0f, 10.0f, 36.0f};

int control_index(const std::string& symbol)
{
    for (int i = 0; i < kControlCount; ++i)
        if (symbol == kControlSymbols[i]) return i;
    return -1;
}

// The CLAP side: the plugin, the frames and param events gathered for the
// next process call, and the values the plugin was last sent.
struct ClapSide {
    const clap_plugin_entry_t* entry = nullptr;
    const clap_plugin_factory_t* factory = nullptr;
    const clap_plugin_t* plugin = nullptr;
    uint32_t block = 0;
    uint32_t pending = 0;
    std::vector<clap_event_param_value_t> events;
    float sent[kControlCount];
};

const void* host_extension(const clap_host_t*, const char*) { return nullptr; }
void host_request(const clap_host_t*) {}
const clap_host_t kClapHost = {CLAP_VERSION_INIT, nullptr, "render_host", "zirpomatik", "", "1",
                               host_extension, host_request, host_request, host_request};

uint32_t events_size(const clap_input_events_t* list)
{
    return uint32_t(static_cast<const std::vector<clap_event_param_value_t>*>(list->ctx)->size());
}
const clap_event_header_t* events_get(const clap_input_events_t* list, uint32_t i)
{
    return &(*static_cast<const std::vector<clap_event_param_value_t>*>(list->ctx))[i].header;
}
bool events_push(const clap_output_events_t*, const clap_event_header_t*) { return true; }

struct Host {
    bool clap = false;
    bool in_range = false;
    ClapSide cs;
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
    float lv2_controls[kControlCount];  // what the LV2 plugin reads
    std::vector<float> in_buf = std::vector<float>(kMaxFrames);
    std::vector<float> out_buf = std::vector<float>(kMaxFrames);
    bool shared = false;
    uint32_t caller_mode = 0;
    SignalSource source;
    // --right: `source` is the right signal; --stereo: the second channel.
    bool right = false, stereo = false;
    SignalSource right_source;
    std::vector<float> rendered_right, in_r_buf = std::vector<float>(kMaxFrames), out_r_buf = in_r_buf;
};

float* out_of(Host& h, bool right)
{
    return right ? (h.shared ? h.in_r_buf : h.out_r_buf).data() : (h.shared ? h.in_buf : h.out_buf).data();
}

void keep_output(Host& h, uint32_t n)
{
    h.rendered.insert(h.rendered.end(), out_of(h, false), out_of(h, false) + n);
    if (h.stereo) h.rendered_right.insert(h.rendered_right.end(), out_of(h, true), out_of(h, true) + n);
}

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
    if (h.clap) return;
    h.desc->connect_port(h.handle, 0, h.in_buf.data());
    h.desc->connect_port(h.handle, 1, out_of(h, false));
    if (h.stereo)
        h.desc->connect_port(h.handle, 11, h.in_r_buf.data()), h.desc->connect_port(h.handle, 12, out_of(h, true));
    for (int i = 0; i < kControlCount; ++i)
        h.desc->connect_port(h.handle, kFirstControlPort + i, &h.lv2_controls[i]);
}

// A value as the CLAP plugin takes it: the nearer end of the range, or the
// value before when it is not finite.
float in_range(int i, float v, float before)
{
    return std::isfinite(v) ? std::clamp(v, kControlMin[i], kControlMax[i]) : before;
}

void clap_check(Host& h, bool ok, const char* what);

// The gathered frames as one process call.
void clap_process_pending(Host& h, bool even_empty = false)
{
    ClapSide& c = h.cs;
    if (c.pending == 0 && c.events.empty() && !even_empty) return;
    float* in_ch[2] = {h.in_buf.data(), h.in_r_buf.data()};
    float* out_ch[2] = {out_of(h, false), out_of(h, true)};
    const uint32_t channels = h.stereo ? 2 : 1;
    clap_audio_buffer_t ain{in_ch, nullptr, channels, 0, 0};
    clap_audio_buffer_t aout{out_ch, nullptr, channels, 0, 0};
    const clap_input_events_t in_events{&c.events, events_size, events_get};
    const clap_output_events_t out_events{nullptr, events_push};
    const clap_process_t pr{-1, c.pending, nullptr, &ain, &aout, 1, 1, &in_events, &out_events};
    mode_set(h.caller_mode);
    const clap_process_status st = c.plugin->process(c.plugin, &pr);
    const uint32_t after = mode_get() & ~kModes.status_bits;
    mode_set(h.loaded_mode);
    clap_check(h, st == CLAP_PROCESS_CONTINUE, "process did not ask to continue");
    clap_check(h, after == h.caller_mode, "process left the caller's mode changed");
    keep_output(h, c.pending);
    c.pending = 0;
    c.events.clear();
}

// The controls the script changed since they were last sent, as events at
// the frame the next run starts at.
void clap_queue_changes(Host& h)
{
    ClapSide& c = h.cs;
    for (int i = 0; i < kControlCount; ++i) {
        if (std::memcmp(&c.sent[i], &h.controls[i], sizeof(float)) == 0) continue;
        clap_event_param_value_t ev{};
        ev.header = clap_event_header_t{sizeof ev, c.pending, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_VALUE, 0};
        ev.param_id = kFirstControlPort + i;
        ev.note_id = ev.port_index = ev.channel = ev.key = -1;
        ev.value = h.controls[i];
        c.events.push_back(ev);
        c.sent[i] = h.controls[i];
    }
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
    if (h.clap) {
        if (!h.cs.plugin) return;
        clap_process_pending(h);
        h.cs.plugin->stop_processing(h.cs.plugin);
        h.cs.plugin->deactivate(h.cs.plugin);
        h.cs.plugin->destroy(h.cs.plugin);
        h.cs.plugin = nullptr;
    } else {
        if (!h.handle) return;
        h.desc->deactivate(h.handle);
        h.desc->cleanup(h.handle);
        h.handle = nullptr;
    }
    for (int right = 0; right <= int(h.stereo); ++right) {
        const std::vector<float>& r = right ? h.rendered_right : h.rendered;
        const std::string name = h.name + (right || h.right ? ".right" : "");
        const std::string path = h.out_dir + "/" + name + ".f32";
        std::FILE* f = std::fopen(path.c_str(), "wb");
        if (!f || std::fwrite(r.data(), sizeof(float), r.size(), f) != r.size() || std::fclose(f) != 0)
            die("cannot write " + path);
        std::printf("%-22s %8zu frames  fnv %016" PRIx64 "\n", name.c_str(), r.size(), fnv1a(r));
    }
    h.finished[h.name] = std::move(h.rendered);
    h.rendered.clear();
    h.rendered_right.clear();
    ++h.sessions;
}

void begin_session(Host& h, const std::string& name, double rate)
{
    end_session(h);
    if (name.empty() || h.finished.count(name)) die("session needs a new name");
    h.name = name;
    std::memcpy(h.controls, kControlDefaults, sizeof h.controls);
    std::memcpy(h.lv2_controls, kControlDefaults, sizeof h.controls);
    h.shared = false;
    h.caller_mode = h.loaded_mode;
    h.source = SignalSource{};
    h.right_source = SignalSource{};  // the right signal's noise, of a seed of its own:
    (h.right ? h.source : h.right_source).noise = 88675123u;
    if (h.clap) {
        ClapSide& c = h.cs;
        c.plugin = c.factory->create_plugin(c.factory, &kClapHost, h.stereo ? "org.zirpomatik.tolm.stereo"
                                                                              : "org.zirpomatik.tolm");
        if (!c.plugin || !c.plugin->init(c.plugin)) die("create or init failed");
        std::memcpy(c.sent, kControlDefaults, sizeof c.sent);
        c.pending = 0;
        c.events.clear();
        // The params the plugin offers are the controls above, ranges and all.
        const auto* params = static_cast<const clap_plugin_params_t*>(c.plugin->get_extension(c.plugin, CLAP_EXT_PARAMS));
        if (!params || params->count(c.plugin) != uint32_t(kControlCount)) die("unexpected params");
        for (int i = 0; i < kControlCount; ++i) {
            clap_param_info_t info;
            if (!params->get_info(c.plugin, uint32_t(i), &info) || info.id != kFirstControlPort + uint32_t(i) ||
                info.min_value != kControlMin[i] || info.max_value != kControlMax[i] ||
                info.default_value != kControlDefaults[i])
                die(std::string("unexpected param info for ") + kControlSymbols[i]);
        }
        if (!c.plugin->activate(c.plugin, rate, 1, kMaxFrames) || !c.plugin->start_processing(c.plugin))
            die("activate failed");
        return;
    }
    static const LV2_Feature* const no_features[] = {nullptr};
    h.handle = h.desc->instantiate(h.desc, rate, h.bundle_dir.c_str(), no_features);
    if (!h.handle) die("instantiate failed");
    connect_all(h);
    h.desc->activate(h.handle);
}

void clap_check(Host& h, bool ok, const char* what)
{
    if (!ok) fail(h, what);
}

void clap_run_once(Host& h, uint32_t n)
{
    ClapSide& c = h.cs;
    if (c.pending > 0 && c.pending + n > c.block) clap_process_pending(h);
    clap_queue_changes(h);
    for (uint32_t j = c.pending; j < c.pending + n; ++j)
        h.in_buf[j] = h.source.next(), h.in_r_buf[j] = h.right_source.next();
    c.pending += n;
    // One call per run (of no frames too, as LV2 hosts make them), or a
    // full block.
    if (c.block == 0 || c.pending >= c.block) clap_process_pending(h, true);
}

void run_once(Host& h, uint32_t n)
{
    if (h.clap) {
        clap_run_once(h, n);
        return;
    }
    for (int i = 0; i < kControlCount; ++i)
        h.lv2_controls[i] = h.in_range ? in_range(i, h.controls[i], h.lv2_controls[i]) : h.controls[i];
    for (uint32_t j = 0; j < n; ++j) h.in_buf[j] = h.source.next(), h.in_r_buf[j] = h.right_source.next();
    mode_set(h.caller_mode);
    h.desc->run(h.handle, n);
    const uint32_t after = mode_get() & ~kModes.status_bits;
    if (after != h.caller_mode) {
        char msg[96];
        std::snprintf(msg, sizeof msg, "run left the mode at 0x%X, caller had 0x%X", after, h.caller_mode);
        fail(h, msg);
    }
    mode_set(h.loaded_mode);
    keep_output(h, n);
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
    if (!h.handle && !h.cs.plugin) die("command before the first session");
    // What follows a run's frames but the next control change or input
    // needs them rendered.
    if (h.clap && cmd != "set" && cmd != "input" && cmd != "run") clap_process_pending(h);
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
        if (!h.source.select(a, amp, period) || !h.right_source.select(a, amp, period)) die("bad input " + a);
        (h.right ? h.source : h.right_source).phase = uint32_t(period / 2);
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
    } else if (cmd == "cycle" && h.clap) {
        const clap_plugin_t* pl = h.cs.plugin;
        pl->stop_processing(pl);
        pl->deactivate(pl);
        if (!pl->activate(pl, 48000.0, 1, kMaxFrames) || !pl->start_processing(pl)) die("activate failed");
    } else if (cmd == "cycle") {
        h.desc->deactivate(h.handle);
        h.desc->activate(h.handle);
    } else if (cmd == "zero-tail") {
        size_t frames = 0;
        words >> frames;
        check_zero_tail(h, frames);
    } else if (cmd == "same-as") {
        words >> a;
        // Values brought into range draw from the shared generator where the
        // script's did not (shape 5 draws nothing), so the later session
        // starts at another point of the sequence: only the raw run checks.
        if (!h.clap && !h.in_range) check_same_as(h, a);
    } else {
        die("unknown command " + cmd);
    }
}

} // namespace

int main(int argc, char** argv)
{
    Host h;
    int arg = 1;
    for (; arg < argc && argv[arg][0] == '-'; ++arg) {
        const std::string opt = argv[arg];
        if (opt == "--in-range") h.in_range = true;
        else if (opt == "--right") h.right = true;
        else if (opt == "--stereo") h.stereo = true;
        else if (opt == "--block" && arg + 1 < argc) h.cs.block = uint32_t(std::strtoul(argv[++arg], nullptr, 10));
        else break;
    }
    if (argc - arg != 3 || h.cs.block > kMaxFrames) {
        std::fprintf(stderr, "usage: render_host [--in-range] [--block FRAMES] LIBRARY SCRIPT OUTDIR\n");
        return 2;
    }
    const char* library = argv[arg];
    const uint32_t before = mode_get() & ~kModes.status_bits;
    // Kept mapped at dlclose: the .clap brings in its window's libraries,
    // whose load-time allocations (pixman's) no unload gives back, which
    // the leak checker of the sanitizer builds would report.
    void* lib = dlopen(library, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!lib) die(dlerror());
    const std::string lib_path = library;
    h.bundle_dir = lib_path.substr(0, lib_path.rfind('/') + 1);
    h.out_dir = argv[arg + 2];
    h.loaded_mode = mode_get() & ~kModes.status_bits;
    if (h.loaded_mode != kModes.at_load) {
        std::fprintf(stderr, "render_host: loading set the mode 0x%X (was 0x%X), expected 0x%X\n",
                     h.loaded_mode, before, kModes.at_load);
        ++h.failures;
    }
    h.clap = lib_path.size() > 5 && lib_path.compare(lib_path.size() - 5, 5, ".clap") == 0;
    if (h.clap) {
        h.cs.entry = static_cast<const clap_plugin_entry_t*>(dlsym(lib, "clap_entry"));
        if (!h.cs.entry || !h.cs.entry->init(library)) die("no clap_entry, or its init failed");
        h.cs.factory = static_cast<const clap_plugin_factory_t*>(h.cs.entry->get_factory(CLAP_PLUGIN_FACTORY_ID));
        if (!h.cs.factory || h.cs.factory->get_plugin_count(h.cs.factory) != 2) die("unexpected factory");
    } else {
        auto entry = reinterpret_cast<LV2_Descriptor_Function>(dlsym(lib, "lv2_descriptor"));
        if (!entry) die("no lv2_descriptor");
        h.desc = entry(0);
        if (!h.desc || entry(1) != nullptr || !std::strstr(h.desc->URI, "/plugins/zirpomatik-tolm") ||
            h.desc->extension_data(LV2_CORE__isLive) != nullptr)
            die("unexpected descriptor");
    }

    std::ifstream script(argv[arg + 1]);
    if (!script) die(std::string("cannot read ") + argv[arg + 1]);
    std::string line;
    while (std::getline(script, line)) {
        ++g_line;
        execute(h, line);
    }
    end_session(h);
    if (h.clap) h.cs.entry->deinit();
    dlclose(lib);
    std::printf("render_host: %d sessions, %d failed checks\n", h.sessions, h.failures);
    return h.failures == 0 ? 0 : 1;
}
