// zt_wav: the 32-bit float samples of a WAV file exactly as a host wrote
// them, read from the data chunk. sox carries samples through 32-bit
// integers (clipping at ±1, rounding away values below about 2^-31), so
// tests that compare renders read the bits here instead.
//
//   zt_wav dump FILE                  the data chunk's bytes to stdout
//   zt_wav stats FILE                 samples, beyond ±1, non-finite
//   zt_wav compare REF OTHER [N] [--clip]
//       the first N samples (default: all of REF) bit for bit; with --clip
//       a sample of OTHER may also be a REF sample beyond ±1 clipped to ±1
//       (hosts that write through a clipping converter). Prints the count
//       of clipped samples; exits 1 on any other difference.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct WavData {
  std::vector<float> samples;  // interleaved, as stored
  unsigned channels = 0;
};

uint32_t le32(const unsigned char* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t le16(const unsigned char* p) { return uint16_t(p[0] | p[1] << 8); }

bool fail(const char* path, const char* why) {
  std::fprintf(stderr, "zt_wav: %s: %s\n", path, why);
  return false;
}

// Walks the RIFF chunks; only IEEE float data of 32 bits is accepted, plain
// or in the extensible format (whose sub-format GUID starts with the tag).
bool read_wav(const char* path, WavData& out) {
  FILE* f = std::fopen(path, "rb");
  if (!f) return fail(path, "cannot open");
  std::vector<unsigned char> bytes;
  unsigned char buf[65536];
  for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) bytes.insert(bytes.end(), buf, buf + n);
  std::fclose(f);
  if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) || std::memcmp(bytes.data() + 8, "WAVE", 4))
    return fail(path, "not a RIFF WAVE file");
  bool have_fmt = false;
  for (size_t pos = 12; pos + 8 <= bytes.size();) {
    const unsigned char* id = bytes.data() + pos;
    // Streaming writers may leave the data size unset: take what is there.
    size_t size = std::min<size_t>(le32(id + 4), bytes.size() - pos - 8);
    const unsigned char* body = id + 8;
    if (!std::memcmp(id, "fmt ", 4)) {
      if (size < 16) return fail(path, "short fmt chunk");
      uint16_t tag = le16(body);
      if (tag == 0xFFFE && size >= 26) tag = le16(body + 24);
      if (tag != 3 || le16(body + 14) != 32) return fail(path, "samples are not 32-bit floats");
      out.channels = le16(body + 2);
      have_fmt = true;
    } else if (!std::memcmp(id, "data", 4)) {
      if (!have_fmt) return fail(path, "data before fmt");
      out.samples.resize(size / 4);
      std::memcpy(out.samples.data(), body, out.samples.size() * 4);
      return true;
    }
    pos += 8 + size + (size & 1);
  }
  return fail(path, "no data chunk");
}

uint32_t bits(float x) {
  uint32_t u;
  std::memcpy(&u, &x, 4);
  return u;
}

int stats(const WavData& w) {
  size_t beyond = 0, nonfinite = 0;
  for (float x : w.samples) {
    if (!std::isfinite(x)) ++nonfinite;
    else if (std::fabs(x) > 1.0f) ++beyond;
  }
  std::printf("samples %zu beyond_full_scale %zu nonfinite %zu\n", w.samples.size(), beyond, nonfinite);
  return 0;
}

int compare(const WavData& ref, const WavData& other, size_t n, bool clip) {
  if (ref.channels != other.channels) {
    std::printf("channels differ: %u and %u\n", ref.channels, other.channels);
    return 1;
  }
  if (ref.samples.size() < n || other.samples.size() < n) {
    std::printf("too short: %zu and %zu samples, %zu compared\n", ref.samples.size(), other.samples.size(), n);
    return 1;
  }
  size_t differ = 0, clipped = 0, first = 0;
  for (size_t i = 0; i < n; ++i) {
    const float r = ref.samples[i], o = other.samples[i];
    if (bits(r) == bits(o)) continue;
    if (clip && std::fabs(r) > 1.0f && o == std::copysign(1.0f, r)) {
      ++clipped;
      continue;
    }
    if (differ++ == 0) first = i;
  }
  if (differ) {
    std::printf("%zu of %zu samples differ, the first at %zu: %.9g against %.9g\n", differ, n, first,
                double(ref.samples[first]), double(other.samples[first]));
    return 1;
  }
  std::printf("%zu samples agree, %zu of them clipped to ±1 by the host\n", n, clipped);
  return 0;
}

int usage() {
  std::fprintf(stderr, "usage: zt_wav dump FILE | stats FILE | compare REF OTHER [N] [--clip]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return usage();
  const std::string mode = argv[1];
  WavData a;
  if (!read_wav(argv[2], a)) return 2;
  if (mode == "dump" && argc == 3) {
    return std::fwrite(a.samples.data(), 4, a.samples.size(), stdout) == a.samples.size() ? 0 : 2;
  }
  if (mode == "stats" && argc == 3) return stats(a);
  if (mode == "compare" && argc >= 4 && argc <= 6) {
    WavData b;
    if (!read_wav(argv[3], b)) return 2;
    size_t n = a.samples.size();
    bool clip = false;
    for (int i = 4; i < argc; ++i) {
      if (!std::strcmp(argv[i], "--clip")) clip = true;
      else n = std::strtoull(argv[i], nullptr, 10);
    }
    return compare(a, b, n, clip);
  }
  return usage();
}
