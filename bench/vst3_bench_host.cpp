#include "vst3_bench_host.h"

#include <cstdlib>

extern "C" Steinberg_IPluginFactory* GetPluginFactory();

namespace zt::bench {

namespace {

constexpr uint32_t kSignalFrames = 1u << 17;
constexpr uint32_t kMaxCall = 8192;

Steinberg_tresult no_query(void*, const Steinberg_TUID, void** obj) { return *obj = nullptr, Steinberg_kNoInterface; }
uint32_t no_ref(void*) { return 1; }

Vst3BenchQueue& queue(void* q) { return *static_cast<Vst3BenchQueue*>(q); }
Steinberg_Vst_IParamValueQueueVtbl kQueueVtbl = {
    no_query, no_ref, no_ref, [](void* q) { return Steinberg_Vst_ParamID(queue(q).id); },
    [](void* q) { return queue(q).count; },
    [](void* q, int32_t i, int32_t* at, double* v) {
        *at = queue(q).offset[i], *v = queue(q).value[i];
        return Steinberg_kResultOk;
    },
    [](void*, int32_t, double, int32_t*) { return Steinberg_kResultFalse; }};

Vst3BenchChanges& changes(void* c) { return *static_cast<Vst3BenchChanges*>(c); }
Steinberg_Vst_IParameterChangesVtbl kChangesVtbl = {
    no_query, no_ref, no_ref, [](void* c) { return changes(c).count; },
    [](void* c, int32_t i) { return reinterpret_cast<Steinberg_Vst_IParamValueQueue*>(&changes(c).queue[i]); },
    [](void*, const Steinberg_Vst_ParamID*, int32_t*) -> Steinberg_Vst_IParamValueQueue* { return nullptr; }};

} // namespace

Vst3BenchHost::Vst3BenchHost(const ControlValues& c) : signal(make_saw(kSignalFrames)), out(kMaxCall)
{
    Steinberg_IPluginFactory* f = GetPluginFactory();
    Steinberg_PClassInfo info;
    Steinberg_TUID cid;
    void* obj = nullptr;
    f->lpVtbl->getClassInfo(f, 0, &info);
    f->lpVtbl->createInstance(f, info.cid, Steinberg_Vst_IComponent_iid, &obj);
    comp = static_cast<Steinberg_Vst_IComponent*>(obj);
    comp->lpVtbl->initialize(comp, nullptr);
    comp->lpVtbl->queryInterface(comp, Steinberg_Vst_IAudioProcessor_iid, &obj);
    proc = static_cast<Steinberg_Vst_IAudioProcessor*>(obj);
    comp->lpVtbl->getControllerClassId(comp, cid);
    f->lpVtbl->createInstance(f, cid, Steinberg_Vst_IEditController_iid, &obj);
    ctl = static_cast<Steinberg_Vst_IEditController*>(obj);
    Steinberg_Vst_ProcessSetup setup{Steinberg_Vst_ProcessModes_kRealtime, Steinberg_Vst_SymbolicSampleSizes_kSample32,
                                     int32_t(kMaxCall), 48000.0};
    if (!proc || !ctl || proc->lpVtbl->setupProcessing(proc, &setup) != Steinberg_kResultOk) std::abort();
    comp->lpVtbl->setActive(comp, 1);
    proc->lpVtbl->setProcessing(proc, 1);
    changes.lpVtbl = &kChangesVtbl;
    changes.count = 0;
    for (uint32_t p = P_MIX; p < P_COUNT; ++p) {
        Vst3BenchQueue& q = changes.queue[changes.count++];
        q = Vst3BenchQueue{&kQueueVtbl, p, 1, {0}, {ctl->lpVtbl->plainParamToNormalized(ctl, p, c.v[p])}};
    }
}

Vst3BenchHost::~Vst3BenchHost()
{
    proc->lpVtbl->setProcessing(proc, 0);
    comp->lpVtbl->setActive(comp, 0);
    proc->lpVtbl->release(proc);
    comp->lpVtbl->terminate(comp);
    comp->lpVtbl->release(comp);
    ctl->lpVtbl->release(ctl);
}

void Vst3BenchHost::run(uint32_t frames, uint32_t per_call, uint32_t points_per_call)
{
    // Resonance 70 and 71 %, as the normalised values a host sends.
    const double kValues[2] = {0.70, 0.71};
    while (frames > 0) {
        const uint32_t n = frames < per_call ? frames : per_call;
        if (pos + n > signal.size()) pos = 0;
        if (points_per_call > 0) {
            Vst3BenchQueue& q = changes.queue[changes.count++];
            q.lpVtbl = &kQueueVtbl, q.id = P_RESONANCE, q.count = int32_t(points_per_call);
            for (uint32_t e = 0; e < points_per_call; ++e, ++flip)
                q.offset[e] = int32_t(e * n / points_per_call), q.value[e] = kValues[flip & 1];
        }
        float* in_ch[1] = {signal.data() + pos};
        float* out_ch[1] = {out.data()};
        Steinberg_Vst_AudioBusBuffers ain{1, 0, {in_ch}}, aout{1, 0, {out_ch}};
        Steinberg_Vst_ProcessData d{Steinberg_Vst_ProcessModes_kRealtime, Steinberg_Vst_SymbolicSampleSizes_kSample32,
                                    int32_t(n), 1, 1, &ain, &aout,
                                    reinterpret_cast<Steinberg_Vst_IParameterChanges*>(&changes), nullptr, nullptr,
                                    nullptr, nullptr};
        proc->lpVtbl->process(proc, &d);
        changes.count = 0;
        pos += n;
        frames -= n;
    }
}

} // namespace zt::bench
