#pragma once
// Drives the built bundle through lilv, the library real LV2 hosts use, and
// plays scripted sessions on it and on the reference model side by side.
#include <lilv/lilv.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "../reference/reference_model.h"

namespace zthost {

// A lilv world that knows only the bundle in the build tree.
struct Lv2World {
    LilvWorld* world;
    const LilvPlugin* plugin;
    Lv2World();
    ~Lv2World();
    Lv2World(const Lv2World&) = delete;
    Lv2World& operator=(const Lv2World&) = delete;
    LilvNode* uri(const char* s) const { return lilv_new_uri(world, s); }
    // The Turtle defaults of the nine control ports, as hosts read them.
    std::vector<float> control_defaults() const;
};

std::string bundle_dir();  // .../zirpomatik-tolm.lv2/

// One step of a session. Runs go to the current instance, which is created
// (instantiated, controls connected, activated) on its first use.
struct Step {
    enum Kind : uint8_t { Set, Run, Activate, Deactivate, Use, InPlace } kind;
    uint32_t a = 0;  // Set: control (0 ... 8 = port 2 ... 10); Run: frames; Use: instance
    uint32_t b = 0;  // Run: frames per call (0: one call); InPlace: 1 or 0
    float v = 0;     // Set: value
};
inline Step set(int control, float v) { return {Step::Set, uint32_t(control), 0, v}; }
inline Step run(uint32_t frames, uint32_t per_call = 0) { return {Step::Run, frames, per_call}; }
inline Step activate() { return {Step::Activate}; }
inline Step deactivate() { return {Step::Deactivate}; }
inline Step use(uint32_t instance) { return {Step::Use, instance}; }
inline Step in_place(bool on) { return {Step::InPlace, 0, on ? 1u : 0u}; }

enum Signal : int { kMusic, kHot };  // kHot: loud, with inf, NaN and 1e30 samples
float input_sample(int signal, uint64_t frame);

struct Session {
    std::string name;
    int signal;
    std::vector<Step> steps;
};
inline void PrintTo(const Session& s, std::ostream* os) { *os << s.name; }

// Output of every instance, concatenated over its runs.
struct Outputs {
    std::vector<std::vector<float>> plugin, model;
    uint64_t mode_lost = 0;  // run calls after which the caller's FP mode had changed
};

// Plays the session on fresh instances of the plugin and of the model (one
// generator each, fresh for the process). split != 0 cuts every plugin run
// into calls of that many frames; the model keeps the scripted calls.
Outputs play(const Session& s, uint32_t split = 0);

testing::AssertionResult same_bits(const std::vector<float>& got, const std::vector<float>& want);

} // namespace zthost
