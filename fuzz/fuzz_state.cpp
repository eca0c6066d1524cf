// libFuzzer target: the CLAP state loader. The input's first byte sets how
// many bytes the stream hands over per read (hosts may hand over fewer than
// asked); the rest is the stream. Checked besides what the sanitizers
// check: a refused load changes no control and tells the host nothing; an
// accepted one saves back the very same bytes (the record has one form).
#include <clap/clap.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "clap/clap_plugin.h"

extern "C" const clap_plugin_entry_t clap_entry;

namespace {

struct Stream {
    const uint8_t* data;
    size_t size, at, chunk;
    uint8_t saved[256];
    size_t saved_size;
};

int g_rescans;
const void* host_extension(const clap_host_t*, const char* id)
{
    static const clap_host_params_t params{
        [](const clap_host_t*, clap_param_rescan_flags) { ++g_rescans; },
        [](const clap_host_t*, clap_id, clap_param_clear_flags) {}, [](const clap_host_t*) {}};
    return std::strcmp(id, CLAP_EXT_PARAMS) == 0 ? &params : nullptr;
}
void nothing(const clap_host_t*) {}

void fail(const char* what)
{
    std::fprintf(stderr, "zt_fuzz_state: %s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    static const clap_host_t host{CLAP_VERSION_INIT, nullptr, "fuzz", "", "", "1", host_extension,
                                  nothing, nothing, nothing};
    const auto* f = static_cast<const clap_plugin_factory_t*>(clap_entry.get_factory(CLAP_PLUGIN_FACTORY_ID));
    const clap_plugin_t* p = f->create_plugin(f, &host, "org.zirpomatik.tolm");
    if (!p || !p->init(p)) fail("create");
    const auto* state = static_cast<const clap_plugin_state_t*>(p->get_extension(p, CLAP_EXT_STATE));
    const auto& self = *static_cast<const zt::ClapPlugin*>(p->plugin_data);
    float before[zt::PORT_COUNT];
    for (uint32_t port = zt::kFirstControl; port < zt::PORT_COUNT; ++port) before[port] = clap_plugin_value(self, port);

    Stream s{data + 1, size - 1, 0, size_t(data[0] % 17) + 1, {}, 0};
    const clap_istream_t in{&s, [](const clap_istream_t* st, void* buf, uint64_t n) -> int64_t {
                                auto& s = *static_cast<Stream*>(st->ctx);
                                size_t k = s.size - s.at;
                                if (k > n) k = size_t(n);
                                if (k > s.chunk) k = s.chunk;
                                std::memcpy(buf, s.data + s.at, k);
                                s.at += k;
                                return int64_t(k);
                            }};
    const clap_ostream_t out{&s, [](const clap_ostream_t* st, const void* buf, uint64_t n) -> int64_t {
                                 auto& s = *static_cast<Stream*>(st->ctx);
                                 if (s.saved_size + n > sizeof s.saved) return -1;
                                 std::memcpy(s.saved + s.saved_size, buf, size_t(n));
                                 s.saved_size += size_t(n);
                                 return int64_t(n);
                             }};
    g_rescans = 0;
    if (state->load(p, &in)) {
        if (!state->save(p, &out) || s.saved_size != s.size || std::memcmp(s.saved, s.data, s.size) != 0)
            fail("an accepted record does not save back as itself");
    } else {
        for (uint32_t port = zt::kFirstControl; port < zt::PORT_COUNT; ++port)
            if (std::memcmp(&before[port], &self.shown[port], sizeof(float)) != 0 ||
                clap_plugin_value(self, port) != before[port])
                fail("a refused load changed a control");
        if (g_rescans != 0) fail("a refused load asked the host to rescan");
    }
    p->destroy(p);
    return 0;
}
