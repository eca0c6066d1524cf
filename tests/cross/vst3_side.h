#pragma once
// The render host's VST3 side: the few host objects a VST3 plugin is
// driven through (parameter queues, a memory stream), written against the
// C API header alone, and the plugin's two halves connected directly.
#include <vst3_c_api.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace zt_cross {

template <class T> T& com_self(void* p) { return *static_cast<T*>(p); }
inline Steinberg_tresult com_query(void*, const Steinberg_TUID, void** obj) { return *obj = nullptr, Steinberg_kNoInterface; }
inline uint32_t com_ref(void*) { return 1; }

struct Point {
    int32_t offset;
    double value;
};

struct Vst3Queue {
    Steinberg_Vst_IParamValueQueueVtbl* lpVtbl;
    Steinberg_Vst_ParamID id;
    std::vector<Point> points;
};

inline Steinberg_Vst_IParamValueQueueVtbl g_queue_vtbl = {
    com_query, com_ref, com_ref, [](void* q) { return com_self<Vst3Queue>(q).id; },
    [](void* q) { return int32_t(com_self<Vst3Queue>(q).points.size()); },
    [](void* q, int32_t i, int32_t* offset, double* value) {
        const auto& p = com_self<Vst3Queue>(q).points;
        if (i < 0 || size_t(i) >= p.size()) return Steinberg_kInvalidArgument;
        return *offset = p[size_t(i)].offset, *value = p[size_t(i)].value, Steinberg_kResultOk;
    },
    [](void*, int32_t, double, int32_t*) { return Steinberg_kResultFalse; }};

// The changes of one process call, a queue per parameter in the order the
// parameters first changed.
struct Vst3Changes {
    Steinberg_Vst_IParameterChangesVtbl* lpVtbl;
    std::vector<Vst3Queue> queues;

    void add(Steinberg_Vst_ParamID id, int32_t offset, double value)
    {
        for (Vst3Queue& q : queues)
            if (q.id == id) return q.points.push_back({offset, value});
        queues.push_back({&g_queue_vtbl, id, {{offset, value}}});
    }
};

inline Steinberg_Vst_IParameterChangesVtbl g_changes_vtbl = {
    com_query, com_ref, com_ref, [](void* c) { return int32_t(com_self<Vst3Changes>(c).queues.size()); },
    [](void* c, int32_t i) {
        auto& q = com_self<Vst3Changes>(c).queues;
        return i >= 0 && size_t(i) < q.size() ? reinterpret_cast<Steinberg_Vst_IParamValueQueue*>(&q[size_t(i)]) : nullptr;
    },
    [](void*, const Steinberg_Vst_ParamID*, int32_t*) -> Steinberg_Vst_IParamValueQueue* { return nullptr; }};

// A stream over bytes that hands over at most `chunk` bytes per call, and
// refuses to read at all when `broken`.
struct Vst3Stream {
    Steinberg_IBStreamVtbl* lpVtbl;
    std::vector<uint8_t> data;
    size_t pos = 0, chunk = 1 << 20;
    bool broken = false;
};

inline Steinberg_IBStreamVtbl g_stream_vtbl = {
    com_query, com_ref, com_ref,
    [](void* s, void* buf, int32_t n, int32_t* got) {
        Vst3Stream& st = com_self<Vst3Stream>(s);
        const size_t take = std::min({size_t(n < 0 ? 0 : n), st.chunk, st.data.size() - st.pos});
        if (st.broken) return Steinberg_kInternalError;
        if (take) std::memcpy(buf, st.data.data() + st.pos, take);
        return st.pos += take, *got = int32_t(take), Steinberg_kResultOk;
    },
    [](void* s, void* buf, int32_t n, int32_t* put) {
        Vst3Stream& st = com_self<Vst3Stream>(s);
        const size_t take = std::min(size_t(n < 0 ? 0 : n), st.chunk);
        st.data.insert(st.data.end(), static_cast<uint8_t*>(buf), static_cast<uint8_t*>(buf) + take);
        return *put = int32_t(take), Steinberg_kResultOk;
    },
    [](void*, int64_t, int32_t, int64_t*) { return Steinberg_kNotImplemented; },
    [](void*, int64_t*) { return Steinberg_kNotImplemented; }};

inline Vst3Stream make_stream(std::vector<uint8_t> bytes = {}, size_t chunk = 1 << 20)
{
    return Vst3Stream{&g_stream_vtbl, std::move(bytes), 0, chunk};
}

template <class T> T* as(void* p) { return static_cast<T*>(p); }
#define VCALL(obj, fn, ...) ((obj)->lpVtbl->fn((obj), ##__VA_ARGS__))

// Plugin `index` of the factory (0 mono, 1 stereo) as hosts make it: the
// component and its controller initialised and connected directly; taken
// apart again in the opposite order by close, which says how many
// references are left (0 when nothing leaked).
struct Vst3Pair {
    Steinberg_Vst_IComponent* comp = nullptr;
    Steinberg_Vst_IAudioProcessor* proc = nullptr;
    Steinberg_Vst_IEditController* ctl = nullptr;
    Steinberg_Vst_IConnectionPoint *comp_cp = nullptr, *ctl_cp = nullptr;

    bool open(Steinberg_IPluginFactory* f, int32_t index)
    {
        Steinberg_PClassInfo info;
        Steinberg_TUID cid;
        void *c = nullptr, *e = nullptr, *p = nullptr, *cc = nullptr, *ec = nullptr;
        if (!f || VCALL(f, getClassInfo, 2 * index, &info) != 0 ||
            VCALL(f, createInstance, info.cid, Steinberg_Vst_IComponent_iid, &c) != 0 ||
            VCALL(as<Steinberg_Vst_IComponent>(c), getControllerClassId, cid) != 0 ||
            VCALL(f, createInstance, cid, Steinberg_Vst_IEditController_iid, &e) != 0)
            return false;
        comp = as<Steinberg_Vst_IComponent>(c), ctl = as<Steinberg_Vst_IEditController>(e);
        if (VCALL(comp, initialize, nullptr) != 0 || VCALL(ctl, initialize, nullptr) != 0 ||
            VCALL(comp, queryInterface, Steinberg_Vst_IAudioProcessor_iid, &p) != 0 ||
            VCALL(comp, queryInterface, Steinberg_Vst_IConnectionPoint_iid, &cc) != 0 ||
            VCALL(ctl, queryInterface, Steinberg_Vst_IConnectionPoint_iid, &ec) != 0)
            return false;
        proc = as<Steinberg_Vst_IAudioProcessor>(p);
        comp_cp = as<Steinberg_Vst_IConnectionPoint>(cc), ctl_cp = as<Steinberg_Vst_IConnectionPoint>(ec);
        return VCALL(comp_cp, connect, ctl_cp) == 0 && VCALL(ctl_cp, connect, comp_cp) == 0;
    }
    uint32_t close()
    {
        VCALL(comp_cp, disconnect, ctl_cp);
        VCALL(ctl_cp, disconnect, comp_cp);
        VCALL(comp_cp, release), VCALL(ctl_cp, release), VCALL(proc, release);
        VCALL(ctl, terminate), VCALL(comp, terminate);
        const uint32_t left = VCALL(ctl, release) + VCALL(comp, release);
        comp = nullptr;
        return left;
    }
};

} // namespace zt_cross
