// The CLAP face against the LV2 face over the same core: param events at any
// frame, hostile values, odd block sizes and lifecycles render the LV2
// plugin's bits; params, state, presets, tail and the window's edit queue
// behave as hosts expect.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <thread>

#include "clap_rig.h"
#include "clap/state_format.h"
#include "core/port_table.h"
#include "core/preset_table.h"
#include "support/random_gen.h"

namespace {

using namespace zt;
using zt_test::ClapRig;
using zt_test::Move;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr float kNone = std::numeric_limits<float>::quiet_NaN();

struct SplitCase {
    const char* name;
    std::vector<Move> moves;  // sorted by frame
};

// Each case: one 512-frame block with the moves, then 60 more blocks.
const SplitCase kSplitCases[] = {
    {"at frame 0", {{0, PORT_TYPE, 7, 7}, {0, PORT_RESONANCE, 95, 95}}},
    {"at frame 1", {{1, PORT_CENTER, 4000, 4000}}},
    {"around a smoothing step", {{15, PORT_CENTER, 300, 300}, {16, PORT_OCTAVES, 8, 8}, {17, PORT_MIX, -20, -20}}},
    {"same frame, last wins", {{100, PORT_SHAPE, 1, 1}, {100, PORT_SHAPE, 4, 4}, {100, PORT_RATE, 40, 40}}},
    {"last frame", {{511, PORT_GLIDE_UP, 100, 100}, {511, PORT_GLIDE_DOWN, 100, 100}}},
    {"rate back and forth", {{7, PORT_RATE, 50, 50}, {200, PORT_RATE, 0.1, 0.1f}, {333, PORT_RATE, 13, 13}}},
    {"every control at odd frames",
     {{3, PORT_MIX, 30, 30}, {29, PORT_RATE, 21, 21}, {61, PORT_GLIDE_DOWN, 70, 70}, {97, PORT_GLIDE_UP, 2, 2},
      {131, PORT_SHAPE, 2, 2}, {173, PORT_RESONANCE, 88, 88}, {211, PORT_CENTER, 2500, 2500},
      {257, PORT_OCTAVES, 3, 3}, {313, PORT_TYPE, 23, 23}}},
    // Hostile values: clamped to the range, or ignored when not finite;
    // unknown ids are ignored.
    {"out of range",
     {{5, PORT_RATE, 1e9, 50}, {9, PORT_CENTER, -7, 20}, {11, PORT_TYPE, 39, 36}, {12, PORT_SHAPE, -1, 0},
      {40, PORT_MIX, 1e300, 100}, {41, PORT_OCTAVES, 11, 10}}},
    {"not finite",
     {{5, PORT_RESONANCE, kNaN, kNone}, {6, PORT_CENTER, kInf, kNone}, {7, PORT_MIX, -kInf, kNone},
      {8, PORT_TYPE, kNaN, kNone}, {9, PORT_RATE, 20, 20}}},
    {"unknown ids",
     {{4, PORT_IN, 1, kNone}, {4, PORT_OUT, 1, kNone}, {4, PORT_COUNT, 1, kNone}, {4, 0xFFFFFFFFu, 1, kNone},
      {4, PORT_TYPE, 20, 20}}},
};

TEST(ClapFace, EventAtFrameKIsTheLv2RunSplitAtK)
{
    const auto in = zt_test::test_input(512 * 61);
    for (const SplitCase& c : kSplitCases) {
        ClapRig rig;
        EXPECT_TRUE(zt_test::same_bits(zt_test::render_clap(rig, in, 512, c.moves),
                                       zt_test::render_lv2(in, 512, c.moves)))
            << c.name;
        float last[PORT_COUNT] = {};
        for (uint32_t p = kFirstControl; p < PORT_COUNT; ++p) last[p] = kPorts[p].def;
        for (const Move& m : c.moves)
            if (!std::isnan(m.lv2) && is_control_port(m.port)) last[m.port] = m.lv2;
        for (uint32_t p = kFirstControl; p < PORT_COUNT; ++p) EXPECT_EQ(rig.value(p), last[p]) << c.name;
    }
}

// Calls of no frames and of the most frames, deactivate and activate: the
// LV2 output of one stream cut anywhere.
TEST(ClapFace, ZeroAndMaxFrameCallsAndReactivation)
{
    const auto in = zt_test::test_input(40000);
    const auto lv2 = zt_test::render_lv2(in, 1000, {});
    ClapRig rig;
    zt::g_random = zt::kRandomStart;
    std::vector<float> out(in.size());
    size_t pos = 0;
    for (uint32_t n : {0u, 8192u, 0u, 1u, 7u, 333u, 0u, 8192u, 16u, 8192u, 5000u}) {
        if (n == 333) rig.plugin->stop_processing(rig.plugin), rig.plugin->deactivate(rig.plugin),
                      rig.plugin->activate(rig.plugin, 96000.0, 1, 8192), rig.plugin->start_processing(rig.plugin);
        ASSERT_EQ(rig.process(&in[pos], &out[pos], n), CLAP_PROCESS_CONTINUE);
        pos += n;
    }
    rig.process(&in[pos], &out[pos], uint32_t(in.size() - pos));
    EXPECT_TRUE(zt_test::same_bits(out, lv2));
}

// reset: the sound of a fresh instance from there on.
TEST(ClapFace, ResetSoundsLikeAFreshInstance)
{
    const auto in = zt_test::test_input(9000);
    std::vector<float> a(in.size()), b(in.size());
    ClapRig used, fresh;
    used.process(in.data(), a.data(), 3000);
    used.plugin->reset(used.plugin);
    const RandomGen at = g_random;
    used.process(in.data(), a.data(), uint32_t(in.size()));
    g_random = at;
    fresh.process(in.data(), b.data(), uint32_t(in.size()));
    EXPECT_TRUE(zt_test::same_bits(a, b));
}

TEST(ClapFace, DestroyWithoutInitOrActivate)
{
    const auto* f = static_cast<const clap_plugin_factory_t*>(clap_entry.get_factory(CLAP_PLUGIN_FACTORY_ID));
    ClapRig rig(false);
    for (bool init : {false, true}) {
        const clap_plugin_t* p = f->create_plugin(f, &rig.host, "org.zirpomatik.tolm");
        ASSERT_NE(p, nullptr);
        if (init) ASSERT_TRUE(p->init(p));
        p->destroy(p);
    }
    EXPECT_EQ(f->create_plugin(f, &rig.host, "org.zirpomatik.other"), nullptr);
}

// Streams that hand over a few bytes per call, as hosts may.
struct Chunked {
    std::vector<uint8_t> bytes;
    size_t at = 0, chunk = 3;
    bool fail = false;
    clap_istream_t in{this, [](const clap_istream_t* s, void* buf, uint64_t size) -> int64_t {
                          auto& c = *static_cast<Chunked*>(s->ctx);
                          if (c.fail) return -1;
                          const size_t n = std::min<size_t>({size_t(size), c.chunk, c.bytes.size() - c.at});
                          if (n) std::memcpy(buf, c.bytes.data() + c.at, n);
                          c.at += n;
                          return int64_t(n);
                      }};
    clap_ostream_t out{this, [](const clap_ostream_t* s, const void* buf, uint64_t size) -> int64_t {
                           auto& c = *static_cast<Chunked*>(s->ctx);
                           const size_t n = std::min<size_t>(size_t(size), c.chunk);
                           c.bytes.insert(c.bytes.end(), (const uint8_t*)buf, (const uint8_t*)buf + n);
                           return int64_t(n);
                       }};
};

TEST(ClapState, SaveLoadProcessGivesTheSameBits)
{
    const auto in = zt_test::test_input(512 * 40);
    const std::vector<Move> moves = {{0, PORT_RATE, 31, 31},      {0, PORT_SHAPE, 3, 3},  {0, PORT_TYPE, 19, 19},
                                     {0, PORT_CENTER, 777.7, 777.7f}, {0, PORT_MIX, -1e9, -100}};
    ClapRig a;
    zt_test::render_clap(a, in, 512, moves);
    Chunked saved;
    const auto* state = a.ext<clap_plugin_state_t>(CLAP_EXT_STATE);
    ASSERT_TRUE(state->save(a.plugin, &saved.out));
    ASSERT_EQ(saved.bytes.size(), kStateSize);
    ClapRig b;
    ASSERT_TRUE(state->load(b.plugin, &saved.in));
    EXPECT_EQ(b.log.rescans, 1);
    for (uint32_t p = kFirstControl; p < PORT_COUNT; ++p) EXPECT_EQ(b.value(p), a.value(p)) << p;
    ClapRig st(true, "org.zirpomatik.tolm.stereo");  // the stereo plugin takes the same record
    saved.at = 0;
    ASSERT_TRUE(state->load(st.plugin, &saved.in));
    for (uint32_t p = kFirstControl; p < PORT_COUNT; ++p) EXPECT_EQ(st.value(p), a.value(p)) << p;
    EXPECT_TRUE(zt_test::same_bits(zt_test::render_clap(b, in, 512, {}), zt_test::render_lv2(in, 512, moves)));
}

TEST(ClapState, BadStreamsAreRefusedAndChangeNothing)
{
    float values[kStateControls] = {10, 2, 3, 4, 1, 50, 600, 7, 8};
    uint8_t good[kStateSize];
    state_encode(values, good);
    const std::vector<uint8_t> record(good, good + kStateSize);
    auto recoded = [&](int index, float v) {
        float w[kStateControls];
        std::memcpy(w, values, sizeof w);
        w[index] = v;
        uint8_t r[kStateSize];
        state_encode(w, r);
        return std::vector<uint8_t>(r, r + kStateSize);
    };
    std::vector<std::pair<std::string, std::vector<uint8_t>>> cases = {
        {"empty", {}},
        {"truncated", std::vector<uint8_t>(good, good + kStateSize - 1)},
        {"header only", std::vector<uint8_t>(good, good + 8)},
        {"one byte more", record},
        {"twice", record},
        {"garbage", std::vector<uint8_t>(kStateSize, 0xA5)},
        {"NaN value", recoded(5, NAN)},
        {"out of range", recoded(8, 37)},
        {"below range", recoded(6, 19.9f)},
    };
    cases[3].second.push_back(0);
    cases[4].second.insert(cases[4].second.end(), good, good + kStateSize);
    std::vector<uint8_t> v2 = record;
    v2[4] = 2;  // another version, the CRC made to match
    float dummy[kStateControls];
    EXPECT_FALSE(state_decode(v2.data(), v2.size(), dummy));
    cases.push_back({"wrong version", v2});
    for (size_t bit = 0; bit < kStateSize * 8; ++bit) {
        std::vector<uint8_t> r = record;
        r[bit / 8] ^= uint8_t(1u << (bit % 8));
        cases.push_back({"bit " + std::to_string(bit), r});
    }
    ClapRig rig;
    rig.event(0, PORT_CENTER, 5000);
    float none[1];
    rig.process(none, none, 0);
    const auto* state = rig.ext<clap_plugin_state_t>(CLAP_EXT_STATE);
    for (auto& [name, bytes] : cases) {
        Chunked s;
        s.bytes = bytes;
        EXPECT_FALSE(state->load(rig.plugin, &s.in)) << name;
    }
    Chunked broken;
    broken.bytes = record;
    broken.fail = true;
    EXPECT_FALSE(state->load(rig.plugin, &broken.in));
    for (uint32_t p = kFirstControl; p < PORT_COUNT; ++p)
        EXPECT_EQ(rig.value(p), p == PORT_CENTER ? 5000 : kPorts[p].def) << p;
    EXPECT_EQ(rig.log.rescans, 0);
    Chunked ok;
    ok.bytes = record;
    ok.chunk = 1;
    EXPECT_TRUE(state->load(rig.plugin, &ok.in));
    EXPECT_EQ(rig.value(PORT_CENTER), 600);
}

TEST(ClapParams, InfoAndTexts)
{
    ClapRig rig(false);
    // Ids, ranges and defaults: the render host checks them against its own table.
    for (uint32_t i = 0; i < 9; ++i) {
        clap_param_info_t info;
        ASSERT_TRUE(rig.params->get_info(rig.plugin, i, &info));
        EXPECT_EQ(info.flags & CLAP_PARAM_IS_AUTOMATABLE, uint32_t(CLAP_PARAM_IS_AUTOMATABLE));
        EXPECT_EQ((info.flags & CLAP_PARAM_IS_STEPPED) != 0, info.id == PORT_SHAPE || info.id == PORT_TYPE);
    }
    struct Text { uint32_t port; double value; const char* text; double back; };
    const Text texts[] = {
        {PORT_MIX, 100, "+100 %", 100},      {PORT_MIX, -37.5, "-38 %", -38},  {PORT_MIX, 0, "0 %", 0},
        {PORT_RATE, 7.5, "7.50 Hz", 7.5},    {PORT_RATE, 50, "50.0 Hz", 50},  {PORT_GLIDE_UP, 1, "1.0 %", 1},
        {PORT_CENTER, 1200, "1.20 kHz", 1200}, {PORT_CENTER, 20000, "20.0 kHz", 20000},
        {PORT_CENTER, 440, "440 Hz", 440},   {PORT_OCTAVES, 4, "4.0 oct", 4}, {PORT_RESONANCE, 70, "70 %", 70},
        {PORT_SHAPE, 1, "Alternating high and low", 1}, {PORT_SHAPE, 4, "Upper half", 4},
    };
    char s[CLAP_NAME_SIZE];
    for (const Text& t : texts) {
        ASSERT_TRUE(rig.params->value_to_text(rig.plugin, t.port, t.value, s, sizeof s)) << t.text;
        EXPECT_STREQ(s, t.text);
        double back = -1;
        EXPECT_TRUE(rig.params->text_to_value(rig.plugin, t.port, t.text, &back)) << t.text;
        EXPECT_EQ(back, t.back) << t.text;
    }
    for (int row = 0; row < kOfferedTypes; ++row) {
        char label[48];
        type_label(row, label, sizeof label);
        ASSERT_TRUE(rig.params->value_to_text(rig.plugin, PORT_TYPE, row, s, sizeof s));
        EXPECT_STREQ(s, label);
        double back = -1;
        EXPECT_TRUE(rig.params->text_to_value(rig.plugin, PORT_TYPE, label, &back));
        EXPECT_EQ(back, row) << label;
    }
    double v;
    for (const char* bad : {"", "loud", "12 furlongs", "nan", "inf Hz"})
        EXPECT_FALSE(rig.params->text_to_value(rig.plugin, PORT_CENTER, bad, &v)) << bad;
    EXPECT_TRUE(rig.params->text_to_value(rig.plugin, PORT_CENTER, " 1.5khz", &v));
    EXPECT_EQ(v, 1500);
    EXPECT_TRUE(rig.params->text_to_value(rig.plugin, PORT_CENTER, "99 kHz", &v));
    EXPECT_EQ(v, 20000);
    EXPECT_FALSE(rig.params->value_to_text(rig.plugin, PORT_CENTER, kNaN, s, sizeof s));
    EXPECT_FALSE(rig.params->value_to_text(rig.plugin, PORT_OUT, 1, s, sizeof s));
}

// Indexer and receiver that collect what the provider declares.
struct Listing {
    int locations = 0;
    std::vector<std::pair<std::string, std::string>> presets;  // name, key
    int stereo = 0;  // presets listed for the stereo plugin too
};

TEST(ClapPresets, ListedByNameAndLoadedAsTheLv2Presets)
{
    const auto* f = static_cast<const clap_preset_discovery_factory_t*>(
        clap_entry.get_factory(CLAP_PRESET_DISCOVERY_FACTORY_ID));
    ASSERT_EQ(f->count(f), 1u);
    Listing l;
    clap_preset_discovery_indexer_t indexer{CLAP_VERSION_INIT, "rig", "", "", "", &l,
        [](const clap_preset_discovery_indexer_t*, const clap_preset_discovery_filetype_t*) { return true; },
        [](const clap_preset_discovery_indexer_t* i, const clap_preset_discovery_location_t* loc) {
            ++static_cast<Listing*>(i->indexer_data)->locations;
            return loc->kind == CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN && loc->location == nullptr;
        },
        [](const clap_preset_discovery_indexer_t*, const clap_preset_discovery_soundpack_t*) { return true; },
        [](const clap_preset_discovery_indexer_t*, const char*) -> const void* { return nullptr; }};
    const clap_preset_discovery_provider_t* p = f->create(f, &indexer, f->get_descriptor(f, 0)->id);
    ASSERT_NE(p, nullptr);
    ASSERT_TRUE(p->init(p));
    EXPECT_EQ(l.locations, 1);
    clap_preset_discovery_metadata_receiver_t r{};
    r.receiver_data = &l;
    r.begin_preset = [](const clap_preset_discovery_metadata_receiver_t* r, const char* name, const char* key) {
        static_cast<Listing*>(r->receiver_data)->presets.push_back({name, key});
        return true;
    };
    r.add_plugin_id = [](const clap_preset_discovery_metadata_receiver_t* r, const clap_universal_plugin_id_t* id) {
        static_cast<Listing*>(r->receiver_data)->stereo += std::string(id->id) == "org.zirpomatik.tolm.stereo";
    };
    r.set_flags = [](const clap_preset_discovery_metadata_receiver_t*, uint32_t) {};
    r.set_description = [](const clap_preset_discovery_metadata_receiver_t*, const char*) {};
    r.add_creator = [](const clap_preset_discovery_metadata_receiver_t*, const char*) {};
    ASSERT_TRUE(p->get_metadata(p, CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr, &r));
    p->destroy(p);
    ASSERT_EQ(l.presets.size(), kPresetCount);
    EXPECT_EQ(l.presets[0].first, "Default");
    EXPECT_EQ(size_t(l.stereo), kPresetCount);

    ClapRig rig;
    const auto* load = rig.ext<clap_plugin_preset_load_t>(CLAP_EXT_PRESET_LOAD);
    for (size_t i = 0; i < kPresetCount; ++i) {
        EXPECT_EQ(l.presets[i].first, kPresets[i].label);
        ASSERT_TRUE(load->from_location(rig.plugin, CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr,
                                        l.presets[i].second.c_str()));
        EXPECT_EQ(rig.log.loaded_key, l.presets[i].second);
        for (uint32_t c = 0; c < kPresetControls; ++c) EXPECT_EQ(rig.value(PORT_MIX + c), kPresets[i].value[c]);
    }
    EXPECT_FALSE(load->from_location(rig.plugin, CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr, "nothing"));
    EXPECT_EQ(rig.log.preset_errors, 1);
}

TEST(ClapTail, FromThePoleRadius)
{
    ClapRig rig;
    const auto* tail = rig.ext<clap_plugin_tail_t>(CLAP_EXT_TAIL);
    const uint32_t frames = tail->get(rig.plugin);
    EXPECT_GT(frames, 100u);
    EXPECT_LT(frames, 48000u);
    // The output of a burst falls 120 dB within the tail.
    auto in = zt_test::test_input(48000 + frames);
    std::fill(in.begin() + 48000, in.end(), 0.0f);
    std::vector<float> out(in.size());
    for (size_t pos = 0; pos < in.size(); pos += 4096)
        rig.process(&in[pos], &out[pos], uint32_t(std::min<size_t>(4096, in.size() - pos)));
    float peak = 0, last = 0;
    for (size_t i = 0; i < 48000; ++i) peak = std::fmax(peak, std::fabs(out[i]));
    for (size_t i = out.size() - 64; i < out.size(); ++i) last = std::fmax(last, std::fabs(out[i]));
    EXPECT_LT(last, peak * 1e-6f);
    rig.event(0, PORT_MIX, -100);
    float none[1];
    rig.process(none, none, 0);
    EXPECT_EQ(tail->get(rig.plugin), 0u);  // dry only
    for (auto [port, v] : {std::pair{PORT_MIX, 100.0}, {PORT_RESONANCE, 100.0}, {PORT_CENTER, 20000.0}})
        rig.event(0, port, v);
    rig.process(none, none, 0);
    EXPECT_GE(tail->get(rig.plugin), uint32_t(INT32_MAX));  // rings on its own
}

// A window that edits faster than the host processes fills the ring: values
// are dropped, never the end of a gesture that began, and a gesture whose
// beginning found no room leaves no end either.
TEST(ClapWindowQueue, AFullRingKeepsEveryGesturePaired)
{
    ClapRig rig(false);
    ClapPlugin& p = rig.self();
    clap_plugin_edit(p, PORT_CENTER, 1000, true, false);
    for (int i = 0; i < 400; ++i) clap_plugin_edit(p, PORT_CENTER, float(1001 + i), false, false);
    clap_plugin_edit(p, PORT_CENTER, 2000, false, true);
    clap_plugin_edit(p, PORT_RATE, 9, true, false);  // no room: dropped, and so is its end
    clap_plugin_edit(p, PORT_RATE, 10, false, true);
    rig.plugin->activate(rig.plugin, 48000, 1, 512);
    rig.plugin->start_processing(rig.plugin);
    float buf[16] = {};
    rig.process(buf, buf, 16);
    ASSERT_EQ(rig.out.size(), kEditRingSize + 2);
    EXPECT_EQ(rig.out.front().type, CLAP_EVENT_PARAM_GESTURE_BEGIN);
    EXPECT_EQ(rig.out.back().type, CLAP_EVENT_PARAM_GESTURE_END);
    EXPECT_EQ(rig.out[rig.out.size() - 2].value, 2000);
    EXPECT_EQ(p.controls[PORT_CENTER], 2000);
    EXPECT_EQ(p.controls[PORT_RATE], 7.5f);
}

// The window and the host's main thread at work while the audio thread
// processes: edits, state loads, presets, values, tail (the sanitizer builds
// look for races in the queue and the shared values).
TEST(ClapFace, MainThreadWorkWhileProcessing)
{
    ClapRig rig;
    ClapPlugin& p = rig.self();
    std::atomic<bool> done{false};
    std::thread audio([&] {
        auto in = zt_test::test_input(128);
        for (int block = 0; block < 3000 || !done.load(); ++block) rig.process(in.data(), in.data(), 128);
    });
    const auto* state = rig.ext<clap_plugin_state_t>(CLAP_EXT_STATE);
    const auto* presets = rig.ext<clap_plugin_preset_load_t>(CLAP_EXT_PRESET_LOAD);
    const auto* tail = rig.ext<clap_plugin_tail_t>(CLAP_EXT_TAIL);
    for (int i = 0; i < 2000; ++i) {
        clap_plugin_edit(p, PORT_CENTER + i % 3, float(100 + i), i % 7 == 0, i % 7 == 6);
        float v;
        clap_plugin_take_host_change(p, PORT_RATE, &v);
        if (i % 50 == 0) presets->from_location(rig.plugin, CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr, kPresets[i % 7].key);
        if (i % 50 == 25) {
            Chunked s;
            ASSERT_TRUE(state->save(rig.plugin, &s.out));
            ASSERT_TRUE(state->load(rig.plugin, &s.in));
        }
        EXPECT_TRUE(std::isfinite(clap_plugin_value(p, PORT_OCTAVES)));
        tail->get(rig.plugin);
    }
    done = true;
    audio.join();
}

} // namespace
