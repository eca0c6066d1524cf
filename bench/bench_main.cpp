// Speed of the plugin's run, in nanoseconds per frame, against the floor set
// by the filter's loop-carried chain, all measured in one process. Each case
// runs a number of repetitions in random interleaving; the minimum over the
// repetitions stands for the case (interference only ever adds time). After
// the table come the target ratios with PASS or FAIL.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "bench_host.h"
#include "clap_bench_host.h"
#include "floor_kernel.h"
#include "engine/filter_engine.h"
#include "core/fp_mode.h"
#include "core/plugin.h"
#include "lv2/inline_display.h"

namespace zt::bench {

namespace {

constexpr uint32_t kFramesPerIteration = 4096;
constexpr uint32_t kDefaultCall = 256;
constexpr uint32_t kWarmUpFrames = 48000;

// The processor's reset mode: subnormal numbers kept, nothing flushed.
#if defined(__x86_64__) || defined(__i386__)
constexpr uint32_t kKeepSubnormals = 0x1F80;  // MXCSR: exceptions masked, no FTZ or DAZ
#else
constexpr uint32_t kKeepSubnormals = 0;       // FPCR
#endif

void set_frames(benchmark::State& state, uint32_t frames_per_iteration)
{
    state.counters["frames"] = frames_per_iteration;
}

void bm_floor_kernel(benchmark::State& state)
{
    // The plugin's default filter: 4-pole low-pass at 1200 Hz (the band's
    // centre), feedback gain 1.4, row 3's feedback factor and compensation.
    const FloorParams p{0.85463f, 1.4f, 1.7f, 1.0f + 1.4f * 0.5f};
    FloorState st;
    const std::vector<float> in = make_saw(1u << 17);
    std::vector<float> out(kDefaultCall);
    uint32_t pos = 0;
    for (auto _ : state) {
        for (uint32_t done = 0; done < kFramesPerIteration; done += kDefaultCall) {
            if (pos + kDefaultCall > in.size()) pos = 0;
            floor_kernel(st, p, in.data() + pos, out.data(), kDefaultCall);
            pos += kDefaultCall;
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    set_frames(state, kFramesPerIteration);
}

void bm_run_channels(benchmark::State& state, ControlValues c, uint32_t per_call, uint32_t channels)
{
    Host host(c, nullptr, channels);
    host.run(kWarmUpFrames, per_call);
    for (auto _ : state) {
        host.run(kFramesPerIteration, per_call);
        benchmark::ClobberMemory();
    }
    set_frames(state, kFramesPerIteration);
}

void bm_run(benchmark::State& state, ControlValues c, uint32_t per_call) { bm_run_channels(state, c, per_call, 1); }

// The same through the CLAP face, with `events` param events per call.
void bm_clap_process(benchmark::State& state, ControlValues c, uint32_t per_call, uint32_t events, uint32_t moved)
{
    ClapBenchHost host(c);
    host.run(kWarmUpFrames, per_call);
    for (auto _ : state) {
        host.run(kFramesPerIteration, per_call, events, moved);
        benchmark::ClobberMemory();
    }
    set_frames(state, kFramesPerIteration);
}

// Loud input, then silence, on a thread whose own mode keeps subnormal
// numbers: only the silence is timed.
void bm_silent_tail_no_ftz(benchmark::State& state)
{
    const uint32_t saved = fp_mode_get();
    fp_mode_set(kKeepSubnormals);
    ControlValues c;
    c.v[P_RESONANCE] = 85.0f;
    Host host(c);
    for (auto _ : state) {
        state.PauseTiming();
        host.run(512, kDefaultCall);
        state.ResumeTiming();
        host.run_silence(kFramesPerIteration, kDefaultCall);
        benchmark::ClobberMemory();
    }
    fp_mode_set(saved);
    set_frames(state, kFramesPerIteration);
}

void bm_instantiate_cleanup(benchmark::State& state)
{
    const LV2_Descriptor* d = Host(ControlValues{}).desc;
    for (auto _ : state) {
        LV2_Handle h = d->instantiate(d, 48000.0, "", nullptr);
        benchmark::DoNotOptimize(h);
        d->cleanup(h);
    }
    set_frames(state, 0);
}

// A host that shows the mixer strip's picture: the run asks for a redraw
// after every call that moved the cutoff, here every call.
void bm_run_queue_draw(benchmark::State& state, ControlValues c)
{
    uint64_t asked = 0;
    InlineDisplayQueueDraw queue{&asked, [](void* h) { ++*static_cast<uint64_t*>(h); }};
    const LV2_Feature feature{ZT_INLINE_DISPLAY__queue_draw, &queue};
    const LV2_Feature* features[] = {&feature, nullptr};
    Host host(c, features);
    host.run(kWarmUpFrames, kDefaultCall);
    for (auto _ : state) {
        host.run(kFramesPerIteration, kDefaultCall);
        benchmark::ClobberMemory();
    }
    benchmark::DoNotOptimize(asked);
    set_frames(state, kFramesPerIteration);
}

// The picture at the size of Ardour's strip, on the host's GUI thread
// (ns per picture).
void bm_render(benchmark::State& state)
{
    ControlValues c;
    Host host(c);
    host.run(kWarmUpFrames, kDefaultCall);
    const auto* display = static_cast<const InlineDisplayInterface*>(host.desc->extension_data(ZT_INLINE_DISPLAY__interface));
    for (auto _ : state) benchmark::DoNotOptimize(display->render(host.handle, 200, 112));
    set_frames(state, 0);
}

double min_of(const std::vector<double>& v)
{
    double m = v.empty() ? 0.0 : v[0];
    for (double x : v) m = x < m ? x : m;
    return m;
}

// Prints one line per case (the minimum over the repetitions, or the only
// run) and keeps its time per frame for the ratios.
class FrameReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> ns_per_frame;  // per operation where frames is 0

    FrameReporter() : ConsoleReporter(OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override
    {
        std::vector<Run> shown;
        for (const Run& r : runs) {
            const bool single = r.run_type == Run::RT_Iteration && r.repetitions <= 1;
            const bool min = r.run_type == Run::RT_Aggregate && r.aggregate_name == "min";
            if (!single && !min) continue;
            const std::string name = r.run_name.str();
            const auto f = r.counters.find("frames");
            const double frames = (f == r.counters.end() || f->second.value == 0) ? 1.0 : f->second.value;
            ns_per_frame[name] = r.GetAdjustedCPUTime() / frames;
            shown.push_back(r);
        }
        if (!shown.empty()) ConsoleReporter::ReportRuns(shown);
    }
};

struct Target {
    const char* what;
    const char* num;
    const char* den;
    double limit;
};

// Case names in the order they were registered, for the summary.
std::vector<std::string> g_case_order;

int print_summary(const FrameReporter& rep)
{
    std::printf("\n%-34s %12s\n", "case", "ns/frame");
    for (const std::string& n : g_case_order) {
        const auto it = rep.ns_per_frame.find(n);
        if (it != rep.ns_per_frame.end()) std::printf("%-34s %12.2f\n", n.c_str(), it->second);
    }
    std::printf("\ninstance: Plugin %zu bytes + FilterEngine %zu bytes = %zu bytes, no allocation after instantiate\n",
                sizeof(Plugin), sizeof(FilterEngine), sizeof(Plugin) + sizeof(FilterEngine));
    const Target targets[] = {
        {"default (between glides) / floor kernel", "run/default", "floor_kernel", 1.10},
        {"every frame gliding / default", "run/glide_every_frame", "run/default", 1.5},
        {"resonance 0 / default", "run/resonance_0", "run/default", 0.6},
        {"16 frames per call / 4096 per call", "run/frames_per_call:16", "run/frames_per_call:4096", 1.15},
        {"stereo / mono per frame (default)", "run/stereo_default", "run/default", 1.3},
        {"stereo / mono per frame (1% glides)", "run/stereo_default_with_1%_glides", "run/default_with_1%_glides", 1.3},
        {"CLAP process / LV2 run (default)", "clap/default", "run/default", 1.03},
        {"CLAP process / LV2 run (1% glides)", "clap/default_with_1%_glides", "run/default_with_1%_glides", 1.03},
        {"CLAP 64 events per 512 / no events", "clap/512_with_64_events", "clap/512_no_events", 1.3},
        // A compare and a call per run: the same within this machine's noise.
        {"queue_draw given / not, every frame gliding", "run/glide_every_frame_queue_draw", "run/glide_every_frame", 1.05},
    };
    int failed = 0;
    std::printf("\n%-42s %8s %8s  %s\n", "target", "ratio", "limit", "result");
    for (const Target& t : targets) {
        const auto a = rep.ns_per_frame.find(t.num);
        const auto b = rep.ns_per_frame.find(t.den);
        if (a == rep.ns_per_frame.end() || b == rep.ns_per_frame.end()) {
            std::printf("%-42s %8s %8.2f  SKIPPED (case filtered out)\n", t.what, "-", t.limit);
            continue;
        }
        const double ratio = a->second / b->second;
        const bool pass = ratio <= t.limit;
        failed += pass ? 0 : 1;
        std::printf("%-42s %8.3f %8.2f  %s\n", t.what, ratio, t.limit, pass ? "PASS" : "FAIL");
    }
    // The picture is drawn on the host's GUI thread between its redraws.
    constexpr double kRenderLimitNs = 300000.0;
    if (const auto r = rep.ns_per_frame.find("render/200x112"); r != rep.ns_per_frame.end()) {
        const bool pass = r->second < kRenderLimitNs;
        failed += pass ? 0 : 1;
        std::printf("%-42s %8.1f %8.1f  %s\n", "picture 200x112, microseconds", r->second / 1000.0,
                    kRenderLimitNs / 1000.0, pass ? "PASS" : "FAIL");
    }
    return failed;
}

template <class... Args>
benchmark::internal::Benchmark* add(const std::string& name, Args&&... args)
{
    g_case_order.push_back(name);
    return benchmark::RegisterBenchmark(name.c_str(), std::forward<Args>(args)...);
}

void register_all()
{
    const auto min_stat = [](const std::vector<double>& v) { return min_of(v); };
    std::vector<benchmark::internal::Benchmark*> all;
    all.push_back(add("floor_kernel", bm_floor_kernel));

    // Between glides: the defaults with glide fractions of 0, so the events
    // still fire but no frame ever glides.
    ControlValues between;
    between.v[P_GLIDE_UP] = between.v[P_GLIDE_DOWN] = 0.0f;
    all.push_back(add("run/default", bm_run, between, kDefaultCall));
    all.push_back(add("run/default_with_1%_glides", bm_run, ControlValues{}, kDefaultCall));

    // Both channels per frame, beside the mono figures above.
    all.push_back(add("run/stereo_default", bm_run_channels, between, kDefaultCall, 2u));
    all.push_back(add("run/stereo_default_with_1%_glides", bm_run_channels, ControlValues{}, kDefaultCall, 2u));

    ControlValues gliding;  // each glide lasts the whole period
    gliding.v[P_GLIDE_UP] = gliding.v[P_GLIDE_DOWN] = 100.0f;
    all.push_back(add("run/glide_every_frame", bm_run, gliding, kDefaultCall));
    all.push_back(add("run/glide_every_frame_queue_draw", bm_run_queue_draw, gliding));

    ControlValues dry_loop = between;
    dry_loop.v[P_RESONANCE] = 0.0f;
    all.push_back(add("run/resonance_0", bm_run, dry_loop, kDefaultCall));

    for (uint32_t n : {16u, 64u, 256u, 4096u}) {
        const std::string name = "run/frames_per_call:" + std::to_string(n);
        all.push_back(add(name, bm_run, between, n));
    }
    for (int type = 0; type < 40; ++type) {
        ControlValues c = between;
        c.v[P_TYPE] = static_cast<float>(type);
        const std::string name = "run/type:" + std::to_string(type);
        all.push_back(add(name, bm_run, c, kDefaultCall));
    }
    all.push_back(add("clap/default", bm_clap_process, between, kDefaultCall, 0u, 0u));
    all.push_back(add("clap/default_with_1%_glides", bm_clap_process, ControlValues{}, kDefaultCall, 0u, 0u));
    all.push_back(add("clap/512_no_events", bm_clap_process, between, 512u, 0u, 0u));
    all.push_back(add("clap/512_with_64_events", bm_clap_process, between, 512u, 64u, 0u));
    all.push_back(add("clap/512_with_64_mixed_events", bm_clap_process, between, 512u, 64u,
                      ClapBenchHost::kMixedEvents));
    all.push_back(add("run/silent_tail_no_ftz", bm_silent_tail_no_ftz));
    all.push_back(add("instantiate_cleanup", bm_instantiate_cleanup));
    all.push_back(add("render/200x112", bm_render));
    for (auto* b : all) b->Unit(benchmark::kNanosecond)->ComputeStatistics("min", min_stat);
}

} // namespace

} // namespace zt::bench

int main(int argc, char** argv)
{
    zt::bench::register_all();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 2;
    zt::bench::FrameReporter rep;
    benchmark::RunSpecifiedBenchmarks(&rep);
    benchmark::Shutdown();
    return zt::bench::print_summary(rep) == 0 ? 0 : 1;
}
