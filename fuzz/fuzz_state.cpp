// libFuzzer target: the CLAP and the VST3 state loaders. The input's first
// byte sets how many bytes the stream hands over per read (hosts may hand
// over fewer than asked); the rest is the stream. Checked besides what the
// sanitizers check: a refused load changes no control and tells the host
// nothing; an accepted one saves back the very same bytes (the record has
// one form). The VST3 controller takes or refuses what the component does.
#include <clap/clap.h>
#include <vst3_c_api.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "clap/clap_plugin.h"

extern "C" const clap_plugin_entry_t clap_entry;
extern "C" Steinberg_IPluginFactory* GetPluginFactory();

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

// A VST3 stream over the same bytes, or one that gathers what is written.
struct Vst3Stream {
    Steinberg_IBStreamVtbl* lpVtbl;
    Stream* s;
    bool writing;
};
Vst3Stream& vs(void* p) { return *static_cast<Vst3Stream*>(p); }
Steinberg_IBStreamVtbl g_stream_vtbl = {
    [](void*, const Steinberg_TUID, void** obj) { return *obj = nullptr, Steinberg_kNoInterface; },
    [](void*) -> uint32_t { return 1; }, [](void*) -> uint32_t { return 1; },
    [](void* p, void* buf, int32_t n, int32_t* got) {
        Stream& s = *vs(p).s;
        size_t k = std::min({s.size - s.at, size_t(n < 0 ? 0 : n), s.chunk});
        std::memcpy(buf, s.data + s.at, k);
        s.at += k;
        return *got = int32_t(k), Steinberg_kResultOk;
    },
    [](void* p, void* buf, int32_t n, int32_t* put) {
        Stream& s = *vs(p).s;
        if (n < 0 || s.saved_size + size_t(n) > sizeof s.saved) return Steinberg_kResultFalse;
        std::memcpy(s.saved + s.saved_size, buf, size_t(n));
        s.saved_size += size_t(n);
        return *put = n, Steinberg_kResultOk;
    },
    [](void*, int64_t, int32_t, int64_t*) { return Steinberg_kNotImplemented; },
    [](void*, int64_t*) { return Steinberg_kNotImplemented; }};

void vst3_load(const uint8_t* data, size_t size)
{
    Steinberg_IPluginFactory* f = GetPluginFactory();
    Steinberg_PClassInfo info;
    void* obj = nullptr;
    f->lpVtbl->getClassInfo(f, 0, &info);
    f->lpVtbl->createInstance(f, info.cid, Steinberg_Vst_IComponent_iid, &obj);
    auto* comp = static_cast<Steinberg_Vst_IComponent*>(obj);
    Steinberg_TUID cid;
    if (!comp || comp->lpVtbl->initialize(comp, nullptr) != 0 || comp->lpVtbl->getControllerClassId(comp, cid) != 0 ||
        f->lpVtbl->createInstance(f, cid, Steinberg_Vst_IEditController_iid, &obj) != 0)
        fail("VST3 create");
    auto* ctl = static_cast<Steinberg_Vst_IEditController*>(obj);
    Stream before{nullptr, 0, 0, 1 << 10, {}, 0}, in{data + 1, size - 1, 0, size_t(data[0] % 17) + 1, {}, 0};
    Stream in2 = in, after = before;
    Vst3Stream b{&g_stream_vtbl, &before, true}, i{&g_stream_vtbl, &in, false}, i2{&g_stream_vtbl, &in2, false},
        a{&g_stream_vtbl, &after, true};
    auto st = [](Vst3Stream& v) { return reinterpret_cast<Steinberg_IBStream*>(&v); };
    comp->lpVtbl->getState(comp, st(b));
    const bool taken = comp->lpVtbl->setState(comp, st(i)) == Steinberg_kResultOk;
    if (taken != (ctl->lpVtbl->setComponentState(ctl, st(i2)) == Steinberg_kResultOk))
        fail("the VST3 controller and component disagree on a state");
    comp->lpVtbl->getState(comp, st(a));
    const uint8_t* want_bytes = taken ? in.data : before.saved;
    const size_t want_size = taken ? in.size : before.saved_size;
    if (after.saved_size != want_size || std::memcmp(after.saved, want_bytes, want_size) != 0)
        fail(taken ? "an accepted VST3 record does not save back as itself" : "a refused VST3 load changed the state");
    comp->lpVtbl->terminate(comp);
    comp->lpVtbl->release(comp);
    ctl->lpVtbl->release(ctl);
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
    vst3_load(data, size);
    return 0;
}
