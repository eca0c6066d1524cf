// A whole file through lv2apply, a stock LV2 host: it passes the Turtle
// defaults for every control not given with -c, activates the instance and
// runs it one frame per call. The float data it writes must be the
// reference's to the bit.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include "lv2_host.h"

namespace zthost {
namespace {

using namespace ztref;

void put32(std::string& b, uint32_t v) { b.append(reinterpret_cast<const char*>(&v), 4); }
void put16(std::string& b, uint16_t v) { b.append(reinterpret_cast<const char*>(&v), 2); }

// Mono 48 kHz IEEE-float WAV (little-endian host assumed).
void write_wav(const std::string& path, const std::vector<float>& samples)
{
    const uint32_t data = uint32_t(samples.size() * 4);
    std::string b = "RIFF";
    put32(b, 36 + data);
    b += "WAVEfmt ";
    put32(b, 16);
    put16(b, 3);  // IEEE float
    put16(b, 1);
    put32(b, 48000);
    put32(b, 48000 * 4);
    put16(b, 4);
    put16(b, 32);
    b += "data";
    put32(b, data);
    b.append(reinterpret_cast<const char*>(samples.data()), data);
    std::ofstream(path, std::ios::binary) << b;
}

// The samples of a mono float WAV; empty if it is anything else.
std::vector<float> read_wav(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    const std::string b{std::istreambuf_iterator<char>(f), {}};
    if (b.size() < 12 || b.compare(0, 4, "RIFF") || b.compare(8, 4, "WAVE")) return {};
    bool is_float = false;
    for (size_t at = 12; at + 8 <= b.size();) {
        uint32_t len;
        std::memcpy(&len, &b[at + 4], 4);
        const std::string id = b.substr(at, 4);
        if (id == "fmt " && len >= 16) {
            uint16_t tag, channels, width;
            std::memcpy(&tag, &b[at + 8], 2);
            std::memcpy(&channels, &b[at + 10], 2);
            std::memcpy(&width, &b[at + 22], 2);
            is_float = (tag == 3 || tag == 0xFFFE) && channels == 1 && width == 32;
        } else if (id == "data" && is_float) {
            std::vector<float> s(std::min<size_t>(len, b.size() - at - 8) / 4);
            std::memcpy(s.data(), &b[at + 8], s.size() * 4);
            return s;
        }
        at += 8 + len + (len & 1);
    }
    return {};
}

TEST(Lv2apply, RendersAFileBitForBitAsTheReference)
{
    char dir[] = "/tmp/zt-lv2apply-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string in = std::string(dir) + "/in.wav", out = std::string(dir) + "/out.wav";
    std::vector<float> input(96000);
    for (size_t i = 0; i < input.size(); ++i) input[i] = input_sample(kMusic, i);
    write_wav(in, input);

    struct Given {
        const char* symbol;
        int control;
        float value;
    };
    const Given given[] = {{"shape", kShape, 1}, {"type", kType, 24}, {"resonance", kResonance, 85},
                           {"mix", kMix, 60}, {"center", kCenter, 800}, {"glide_up", kGlideUp, 20}};
    std::string cmd = "LV2_PATH='" + std::string(ZT_BUNDLE_PARENT) + "' lv2apply -i " + in + " -o " + out;
    for (const Given& g : given) cmd += " -c " + std::string(g.symbol) + " " + std::to_string(g.value);
    cmd += " " + std::string(ZT_PLUGIN_URI);
    const int status = std::system(cmd.c_str());
    const std::vector<float> got = read_wav(out);
    std::remove(in.c_str());
    std::remove(out.c_str());
    rmdir(dir);
    ASSERT_EQ(status, 0) << cmd;

    std::vector<float> controls = Lv2World().control_defaults();
    for (const Given& g : given) controls[g.control] = g.value;
    Model m = model_new();
    Rng rng = kRngStart;
    std::vector<float> want(input.size());
    for (size_t i = 0; i < input.size(); ++i) model_run(m, rng, controls.data(), &input[i], &want[i], 1);
    EXPECT_TRUE(same_bits(got, want));
}

} // namespace
} // namespace zthost
