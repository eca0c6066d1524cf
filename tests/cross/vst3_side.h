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

inline Steinberg_Vst_ParamID queue_id(void* q) { return com_self<Vst3Queue>(q).id; }
inline int32_t queue_count(void* q) { return int32_t(com_self<Vst3Queue>(q).points.size()); }
inline Steinberg_tresult queue_get(void* q, int32_t i, int32_t* offset, double* value)
{
    const auto& p = com_self<Vst3Queue>(q).points;
    if (i < 0 || size_t(i) >= p.size()) return Steinberg_kInvalidArgument;
    *offset = p[size_t(i)].offset, *value = p[size_t(i)].value;
    return Steinberg_kResultOk;
}
inline Steinberg_tresult queue_add(void*, int32_t, double, int32_t*) { return Steinberg_kResultFalse; }
inline Steinberg_Vst_IParamValueQueueVtbl g_queue_vtbl = {com_query, com_ref, com_ref, queue_id, queue_count,
                                                          queue_get, queue_add};

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

inline int32_t changes_count(void* c) { return int32_t(com_self<Vst3Changes>(c).queues.size()); }
inline Steinberg_Vst_IParamValueQueue* changes_get(void* c, int32_t i)
{
    auto& q = com_self<Vst3Changes>(c).queues;
    return i >= 0 && size_t(i) < q.size() ? reinterpret_cast<Steinberg_Vst_IParamValueQueue*>(&q[size_t(i)]) : nullptr;
}
inline Steinberg_Vst_IParamValueQueue* changes_add(void*, const Steinberg_Vst_ParamID*, int32_t*) { return nullptr; }
inline Steinberg_Vst_IParameterChangesVtbl g_changes_vtbl = {com_query, com_ref, com_ref, changes_count, changes_get,
                                                             changes_add};

// A stream over bytes that hands over at most `chunk` bytes per call, and
// refuses to read at all when `broken`.
struct Vst3Stream {
    Steinberg_IBStreamVtbl* lpVtbl;
    std::vector<uint8_t> data;
    size_t pos = 0, chunk = 1 << 20;
    bool broken = false;
};

inline Steinberg_tresult stream_read(void* s, void* buf, int32_t n, int32_t* got)
{
    Vst3Stream& st = com_self<Vst3Stream>(s);
    if (st.broken) return Steinberg_kInternalError;
    const size_t take = std::min({size_t(n < 0 ? 0 : n), st.chunk, st.data.size() - st.pos});
    std::memcpy(buf, st.data.data() + st.pos, take);
    st.pos += take;
    if (got) *got = int32_t(take);
    return Steinberg_kResultOk;
}
inline Steinberg_tresult stream_write(void* s, void* buf, int32_t n, int32_t* put)
{
    Vst3Stream& st = com_self<Vst3Stream>(s);
    const size_t take = std::min(size_t(n < 0 ? 0 : n), st.chunk);
    st.data.insert(st.data.end(), static_cast<uint8_t*>(buf), static_cast<uint8_t*>(buf) + take);
    if (put) *put = int32_t(take);
    return Steinberg_kResultOk;
}
inline Steinberg_tresult stream_seek(void*, int64_t, int32_t, int64_t*) { return Steinberg_kNotImplemented; }
inline Steinberg_tresult stream_tell(void* s, int64_t* pos)
{
    *pos = int64_t(com_self<Vst3Stream>(s).pos);
    return Steinberg_kResultOk;
}
inline Steinberg_IBStreamVtbl g_stream_vtbl = {com_query, com_ref, com_ref, stream_read, stream_write, stream_seek,
                                               stream_tell};

inline Vst3Stream make_stream(std::vector<uint8_t> bytes = {}, size_t chunk = 1 << 20)
{
    Vst3Stream s{&g_stream_vtbl, std::move(bytes)};
    s.chunk = chunk;
    return s;
}

template <class T> T* as(void* p) { return static_cast<T*>(p); }
#define VCALL(obj, fn, ...) ((obj)->lpVtbl->fn((obj), ##__VA_ARGS__))

} // namespace zt_cross
