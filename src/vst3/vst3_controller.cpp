// The edit controller: the parameters as the host shows them, the
// component's state as the host hands it over, the window, and its end of
// the connection to the component. Everything here runs on the host's
// main thread.
#include <cstdlib>
#include <cstring>
#include <new>

#include "vst3_face.h"
#include "../core/port_table.h"

namespace zt {

namespace {

Vst3Controller& self(void* face) { return vst3_self<Vst3Controller>(face); }

void destroy(Vst3Controller& c);

Steinberg_tresult query(void* face, const Steinberg_TUID iid, void** obj)
{
    if (!obj) return Steinberg_kInvalidArgument;
    Vst3Controller& c = self(face);
    Vst3Face* found = nullptr;
    if (vst3_same_iid(iid, Steinberg_FUnknown_iid) || vst3_same_iid(iid, Steinberg_IPluginBase_iid) ||
        vst3_same_iid(iid, Steinberg_Vst_IEditController_iid))
        found = &c.controller;
    else if (vst3_same_iid(iid, Steinberg_Vst_IUnitInfo_iid))
        found = &c.units;
    else if (vst3_same_iid(iid, Steinberg_Vst_IConnectionPoint_iid))
        found = &c.connection;
    *obj = found;
    if (!found) return Steinberg_kNoInterface;
    c.refs.fetch_add(1, std::memory_order_relaxed);
    return Steinberg_kResultOk;
}

uint32_t add_ref(void* face) { return self(face).refs.fetch_add(1, std::memory_order_relaxed) + 1; }

uint32_t release(void* face)
{
    Vst3Controller& c = self(face);
    const uint32_t left = c.refs.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) destroy(c);
    return left;
}

void unlink(Vst3Controller& c)
{
    if (c.component) c.component->controller = nullptr;
    c.component = nullptr;
    if (c.peer) c.peer->lpVtbl->release(c.peer);
    c.peer = nullptr;
}

Steinberg_tresult initialize(void* face, Steinberg_FUnknown* context)
{
    Vst3Controller& c = self(face);
    if (c.host) return Steinberg_kResultFalse;
    if (context) context->lpVtbl->addRef(context);
    c.host = context;
    return Steinberg_kResultOk;
}

Steinberg_tresult terminate(void* face)
{
    Vst3Controller& c = self(face);
    if (c.view) vst3_view_controller_gone(c);
    unlink(c);
    if (c.handler) c.handler->lpVtbl->release(c.handler);
    c.handler = nullptr;
    if (c.host) c.host->lpVtbl->release(c.host);
    c.host = nullptr;
    return Steinberg_kResultOk;
}

void destroy(Vst3Controller& c)
{
    terminate(&c.controller);
    c.~Vst3Controller();
    std::free(&c);
}

// The component's record, refused whole when it is not one.
Steinberg_tresult set_component_state(void* face, Steinberg_IBStream* stream)
{
    Vst3Controller& c = self(face);
    float values[kControlCount];
    if (!vst3_read_state(stream, values)) return Steinberg_kResultFalse;
    for (uint32_t i = 0; i < kControlCount; ++i) {
        c.value[kFirstControl + i] = values[i];
        c.host_changed |= 1u << (kFirstControl + i);
    }
    return Steinberg_kResultOk;
}

// Everything the controller shows is the component's: it keeps no state
// of its own.
Steinberg_tresult set_state(void*, Steinberg_IBStream* stream)
{
    return stream ? Steinberg_kResultOk : Steinberg_kInvalidArgument;
}

Steinberg_tresult get_state(void*, Steinberg_IBStream* stream)
{
    return stream ? Steinberg_kResultOk : Steinberg_kInvalidArgument;
}

int32_t param_count(void*) { return kVst3ParamCount; }

Steinberg_tresult param_info(void*, int32_t index, Steinberg_Vst_ParameterInfo* info)
{
    return vst3_param_info(index, info) ? Steinberg_kResultOk : Steinberg_kInvalidArgument;
}

Steinberg_tresult param_text(void*, Steinberg_Vst_ParamID id, Steinberg_Vst_ParamValue normalized,
                             Steinberg_Vst_String128 out)
{
    return vst3_param_text(id, normalized, out) ? Steinberg_kResultOk : Steinberg_kInvalidArgument;
}

Steinberg_tresult param_parse(void*, Steinberg_Vst_ParamID id, Steinberg_Vst_TChar* text,
                              Steinberg_Vst_ParamValue* normalized)
{
    return vst3_param_parse(id, text, normalized) ? Steinberg_kResultOk : Steinberg_kInvalidArgument;
}

Steinberg_Vst_ParamValue to_plain(void*, Steinberg_Vst_ParamID id, Steinberg_Vst_ParamValue normalized)
{
    if (id == kProgramParam) return vst3_program_of(normalized);
    float v;
    return vst3_to_plain(id, normalized, &v) ? v : 0.0;
}

Steinberg_Vst_ParamValue to_normalized(void*, Steinberg_Vst_ParamID id, Steinberg_Vst_ParamValue plain)
{
    if (id == kProgramParam) {
        if (plain != plain) return 0.0;
        const double last = kVst3ProgramCount - 1;
        return vst3_program_normalized(int32_t(plain < 0.0 ? 0.0 : plain > last ? last : plain));
    }
    return vst3_to_normalized(id, plain);
}

Steinberg_Vst_ParamValue get_normalized(void* face, Steinberg_Vst_ParamID id)
{
    const Vst3Controller& c = self(face);
    if (id == kProgramParam) return vst3_program_normalized(c.program);
    return is_control_port(id) ? vst3_to_normalized(id, c.value[id]) : 0.0;
}

// The host's change of a parameter (its automation, its own sliders): the
// window's dial follows. A factory preset sets all nine controls, which the
// host is told to read again.
Steinberg_tresult set_normalized(void* face, Steinberg_Vst_ParamID id, Steinberg_Vst_ParamValue normalized)
{
    Vst3Controller& c = self(face);
    if (id == kProgramParam) {
        if (normalized != normalized) return Steinberg_kInvalidArgument;
        const int32_t program = vst3_program_of(normalized);
        if (program == c.program) return Steinberg_kResultOk;
        vst3_controller_load_program(c, program);
        if (c.handler) c.handler->lpVtbl->restartComponent(c.handler, Steinberg_Vst_RestartFlags_kParamValuesChanged);
        return Steinberg_kResultOk;
    }
    float v;
    if (!vst3_to_plain(id, normalized, &v)) return Steinberg_kInvalidArgument;
    // The echo of the window's own edit moves nothing.
    if (v != c.value[id]) {
        c.value[id] = v;
        c.host_changed |= 1u << id;
    }
    return Steinberg_kResultOk;
}

Steinberg_tresult set_handler(void* face, Steinberg_Vst_IComponentHandler* handler)
{
    Vst3Controller& c = self(face);
    if (handler == c.handler) return Steinberg_kResultOk;
    if (handler) handler->lpVtbl->addRef(handler);
    if (c.handler) c.handler->lpVtbl->release(c.handler);
    c.handler = handler;
    return Steinberg_kResultOk;
}

Steinberg_IPlugView* create_view(void* face, Steinberg_FIDString name)
{
    Vst3Controller& c = self(face);
    if (!name || std::strcmp(name, "editor") != 0 || c.view) return nullptr;
    return vst3_view_create(c);
}

const Steinberg_Vst_IEditControllerVtbl kControllerVtbl = {
    query,         add_ref,       release,     initialize,     terminate,     set_component_state,
    set_state,     get_state,     param_count, param_info,     param_text,    param_parse,
    to_plain,      to_normalized, get_normalized, set_normalized, set_handler, create_view};

// The connection, as on the component's side (vst3_component.cpp).
Steinberg_tresult connect(void* face, Steinberg_Vst_IConnectionPoint* other)
{
    Vst3Controller& c = self(face);
    if (!other) return Steinberg_kInvalidArgument;
    if (c.peer) return Steinberg_kResultFalse;
    other->lpVtbl->addRef(other);
    c.peer = other;
    if (other->lpVtbl == &kVst3ComponentConnectionVtbl) {
        Vst3Component& comp = vst3_self<Vst3Component>(other);
        if (comp.cls == c.cls) {
            c.component = &comp;
            comp.controller = &c;
        }
    }
    return Steinberg_kResultOk;
}

Steinberg_tresult disconnect(void* face, Steinberg_Vst_IConnectionPoint* other)
{
    Vst3Controller& c = self(face);
    if (!other || other != c.peer) return Steinberg_kInvalidArgument;
    unlink(c);
    return Steinberg_kResultOk;
}

Steinberg_tresult notify(void*, Steinberg_Vst_IMessage* message)
{
    return message ? Steinberg_kResultFalse : Steinberg_kInvalidArgument;
}

} // namespace

const Steinberg_Vst_IConnectionPointVtbl kVst3ControllerConnectionVtbl = {query, add_ref, release,
                                                                         connect, disconnect, notify};

Vst3Controller* vst3_controller_create(const Vst3Class& cls)
{
    void* mem = std::calloc(1, sizeof(Vst3Controller));
    if (!mem) return nullptr;
    Vst3Controller* c = new (mem) Vst3Controller{};
    c->controller = Vst3Face{&kControllerVtbl, c};
    c->units = Vst3Face{&kVst3UnitsVtbl, c};
    c->connection = Vst3Face{&kVst3ControllerConnectionVtbl, c};
    c->refs.store(1, std::memory_order_relaxed);
    c->cls = &cls;
    for (uint32_t port = kFirstControl; port < PORT_COUNT; ++port) c->value[port] = kPorts[port].def;
    return c;
}

float vst3_controller_value(const Vst3Controller& c, uint32_t port)
{
    return is_control_port(port) ? c.value[port] : 0.0f;
}

void vst3_controller_edit(Vst3Controller& c, uint32_t port, float value, bool write, bool gesture_begin,
                          bool gesture_end)
{
    if (!is_control_port(port) || (write && value != value)) return;
    const PortInfo& pi = kPorts[port];
    if (write) c.value[port] = value < pi.min ? pi.min : value > pi.max ? pi.max : value;
    Steinberg_Vst_IComponentHandler* h = c.handler;
    if (!h) return;
    if (gesture_begin) h->lpVtbl->beginEdit(h, port);
    if (write) h->lpVtbl->performEdit(h, port, vst3_to_normalized(port, c.value[port]));
    if (gesture_end) h->lpVtbl->endEdit(h, port);
}

bool vst3_controller_take_host_change(Vst3Controller& c, uint32_t port, float* value)
{
    if (!is_control_port(port) || !(c.host_changed & (1u << port))) return false;
    c.host_changed &= ~(1u << port);
    if (value) *value = c.value[port];
    return true;
}

const Plugin* vst3_controller_core(const Vst3Controller& c) { return c.component ? c.component->core : nullptr; }

} // namespace zt
