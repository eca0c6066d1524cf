// The component's lifecycle, its buses, its state and its end of the
// connection to the controller.
#include <cstdlib>
#include <new>

#include "vst3_face.h"
#include "../core/port_table.h"

namespace zt {

namespace {

Vst3Component& self(void* face) { return vst3_self<Vst3Component>(face); }

void destroy(Vst3Component& c);

Steinberg_tresult query(void* face, const Steinberg_TUID iid, void** obj)
{
    if (!obj) return Steinberg_kInvalidArgument;
    Vst3Component& c = self(face);
    Vst3Face* found = nullptr;
    if (vst3_same_iid(iid, Steinberg_FUnknown_iid) || vst3_same_iid(iid, Steinberg_IPluginBase_iid) ||
        vst3_same_iid(iid, Steinberg_Vst_IComponent_iid))
        found = &c.component;
    else if (vst3_same_iid(iid, Steinberg_Vst_IAudioProcessor_iid))
        found = &c.processor;
    else if (vst3_same_iid(iid, Steinberg_Vst_IConnectionPoint_iid))
        found = &c.connection;
    else if (vst3_same_iid(iid, Steinberg_Vst_IProcessContextRequirements_iid))
        found = &c.requirements;
    *obj = found;
    if (!found) return Steinberg_kNoInterface;
    c.refs.fetch_add(1, std::memory_order_relaxed);
    return Steinberg_kResultOk;
}

uint32_t add_ref(void* face) { return self(face).refs.fetch_add(1, std::memory_order_relaxed) + 1; }

uint32_t release(void* face)
{
    Vst3Component& c = self(face);
    const uint32_t left = c.refs.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) destroy(c);
    return left;
}

void unlink(Vst3Component& c)
{
    if (c.controller) c.controller->component = nullptr;
    c.controller = nullptr;
    if (c.peer) c.peer->lpVtbl->release(c.peer);
    c.peer = nullptr;
}

// The core is made for the engine's rate: it processes at 48 kHz whatever
// rate setupProcessing brings.
Steinberg_tresult initialize(void* face, Steinberg_FUnknown* context)
{
    Vst3Component& c = self(face);
    if (c.core) return Steinberg_kResultFalse;
    c.core = plugin_instantiate(kEngineRate, c.cls->channels);
    if (!c.core) return Steinberg_kOutOfMemory;
    for (uint32_t port = kFirstControl; port < PORT_COUNT; ++port)
        plugin_connect_port(c.core, port, &c.controls[port]);
    if (context) context->lpVtbl->addRef(context);
    c.host = context;
    return Steinberg_kResultOk;
}

Steinberg_tresult terminate(void* face)
{
    Vst3Component& c = self(face);
    unlink(c);
    if (c.core) plugin_cleanup(c.core);
    c.core = nullptr;
    if (c.host) c.host->lpVtbl->release(c.host);
    c.host = nullptr;
    return Steinberg_kResultOk;
}

void destroy(Vst3Component& c)
{
    terminate(&c.component);
    c.~Vst3Component();
    std::free(&c);
}

Steinberg_tresult controller_class_id(void* face, Steinberg_TUID id)
{
    if (!id) return Steinberg_kInvalidArgument;
    for (int i = 0; i < 16; ++i) id[i] = self(face).cls->controller_id[i];
    return Steinberg_kResultOk;
}

Steinberg_tresult set_io_mode(void*, Steinberg_Vst_IoMode) { return Steinberg_kNotImplemented; }

// One audio input and one audio output, each of the class's channels; no
// event buses.
int32_t bus_count(void*, Steinberg_Vst_MediaType type, Steinberg_Vst_BusDirection)
{
    return type == Steinberg_Vst_MediaTypes_kAudio ? 1 : 0;
}

bool is_bus(Steinberg_Vst_MediaType type, Steinberg_Vst_BusDirection dir, int32_t index)
{
    return type == Steinberg_Vst_MediaTypes_kAudio && index == 0 &&
           (dir == Steinberg_Vst_BusDirections_kInput || dir == Steinberg_Vst_BusDirections_kOutput);
}

Steinberg_tresult bus_info(void* face, Steinberg_Vst_MediaType type, Steinberg_Vst_BusDirection dir, int32_t index,
                           Steinberg_Vst_BusInfo* bus)
{
    if (!bus || !is_bus(type, dir, index)) return Steinberg_kInvalidArgument;
    const bool input = dir == Steinberg_Vst_BusDirections_kInput;
    bus->mediaType = type;
    bus->direction = dir;
    bus->channelCount = int32_t(self(face).cls->channels);
    vst3_string(kPorts[input ? PORT_IN : PORT_OUT].name, bus->name);
    bus->busType = Steinberg_Vst_BusTypes_kMain;
    bus->flags = Steinberg_Vst_BusInfo_BusFlags_kDefaultActive;
    return Steinberg_kResultOk;
}

Steinberg_tresult routing_info(void*, Steinberg_Vst_RoutingInfo*, Steinberg_Vst_RoutingInfo*)
{
    return Steinberg_kNotImplemented;
}

Steinberg_tresult activate_bus(void*, Steinberg_Vst_MediaType type, Steinberg_Vst_BusDirection dir, int32_t index,
                               Steinberg_TBool)
{
    return is_bus(type, dir, index) ? Steinberg_kResultOk : Steinberg_kInvalidArgument;
}

// As in LV2, activation leaves the sound's state alone (filter memories,
// the modulator's position, the ramps).
Steinberg_tresult set_active(void* face, Steinberg_TBool state)
{
    Vst3Component& c = self(face);
    if (!c.core) return Steinberg_kNotInitialized;
    c.active = state != 0;
    return Steinberg_kResultOk;
}

Steinberg_tresult set_state(void* face, Steinberg_IBStream* stream)
{
    Vst3Component& c = self(face);
    float values[kControlCount];
    if (!vst3_read_state(stream, values)) return Steinberg_kResultFalse;
    uint32_t mask = 0;
    for (uint32_t i = 0; i < kControlCount; ++i) {
        const uint32_t port = kFirstControl + i;
        c.loaded[port].store(values[i], std::memory_order_relaxed);
        c.shown[port].store(values[i], std::memory_order_relaxed);
        mask |= 1u << port;
    }
    c.loaded_mask.fetch_or(mask, std::memory_order_release);
    // No audio thread runs while inactive: the values are taken in here.
    if (!c.active) vst3_take_loaded(c);
    return Steinberg_kResultOk;
}

Steinberg_tresult get_state(void* face, Steinberg_IBStream* stream)
{
    const Vst3Component& c = self(face);
    float values[kControlCount];
    for (uint32_t i = 0; i < kControlCount; ++i)
        values[i] = c.shown[kFirstControl + i].load(std::memory_order_relaxed);
    return vst3_write_state(stream, values) ? Steinberg_kResultOk : Steinberg_kResultFalse;
}

const Steinberg_Vst_IComponentVtbl kComponentVtbl = {
    query,        add_ref,     release,      initialize,   terminate,  controller_class_id, set_io_mode,
    bus_count,    bus_info,    routing_info, activate_bus, set_active, set_state,           get_state};

// The connection: the host hands each end the other's (its own proxy, or
// the object itself). Reached directly, the controller can read the
// running instance for the window's live cutoff; through a proxy the two
// get on without: the parameters and the state come through the host.
Steinberg_tresult connect(void* face, Steinberg_Vst_IConnectionPoint* other)
{
    Vst3Component& c = self(face);
    if (!other) return Steinberg_kInvalidArgument;
    if (c.peer) return Steinberg_kResultFalse;
    other->lpVtbl->addRef(other);
    c.peer = other;
    if (other->lpVtbl == &kVst3ControllerConnectionVtbl) {
        Vst3Controller& ctl = vst3_self<Vst3Controller>(other);
        if (ctl.cls == c.cls) {
            c.controller = &ctl;
            ctl.component = &c;
        }
    }
    return Steinberg_kResultOk;
}

Steinberg_tresult disconnect(void* face, Steinberg_Vst_IConnectionPoint* other)
{
    Vst3Component& c = self(face);
    if (!other || other != c.peer) return Steinberg_kInvalidArgument;
    unlink(c);
    return Steinberg_kResultOk;
}

Steinberg_tresult notify(void*, Steinberg_Vst_IMessage* message)
{
    return message ? Steinberg_kResultFalse : Steinberg_kInvalidArgument;
}

} // namespace

const Steinberg_Vst_IConnectionPointVtbl kVst3ComponentConnectionVtbl = {
    query, add_ref, release, connect, disconnect, notify};

Vst3Component* vst3_component_create(const Vst3Class& cls)
{
    void* mem = std::calloc(1, sizeof(Vst3Component));
    if (!mem) return nullptr;
    Vst3Component* c = new (mem) Vst3Component{};
    c->component = Vst3Face{&kComponentVtbl, c};
    c->processor = Vst3Face{&kVst3ProcessorVtbl, c};
    c->connection = Vst3Face{&kVst3ComponentConnectionVtbl, c};
    c->requirements = Vst3Face{&kVst3RequirementsVtbl, c};
    c->refs.store(1, std::memory_order_relaxed);
    c->cls = &cls;
    for (uint32_t port = kFirstControl; port < PORT_COUNT; ++port) {
        c->controls[port] = kPorts[port].def;
        c->shown[port].store(kPorts[port].def, std::memory_order_relaxed);
    }
    return c;
}

} // namespace zt
