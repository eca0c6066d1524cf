#pragma once
// What the VST3 face's files share among themselves; the host sees none of
// it but the three exports of vst3_entry.cpp.
//
// The plugin is the usual pair of objects: the component (the sound: the
// core, its buses, the processor, the state) and the edit controller (the
// parameters as the host shows them, the presets, the window). Each is one
// calloc'd record holding one small interface record per VST3 interface it
// offers; every interface record starts with its table of functions, as
// the ABI wants, and points back at its owner. Nothing here needs the C++
// runtime.
#include <vst3_c_api.h>

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "../core/plugin.h"
#include "../core/preset_table.h"

namespace zt {

constexpr uint32_t kFirstControl = PORT_MIX;  // param ids are the LV2 port indices 2 ... 10
constexpr uint32_t kControlCount = PORT_COUNT - kFirstControl;
// The program-change parameter of the factory preset list, apart from the
// controls' ids so that a new control never takes its id.
constexpr Steinberg_Vst_ParamID kProgramParam = 1000;
constexpr Steinberg_Vst_ProgramListID kProgramList = 1;
constexpr int32_t kVst3ProgramCount = int32_t(sizeof kPresets / sizeof kPresets[0]);

inline bool is_control_port(uint32_t port) { return port >= kFirstControl && port < PORT_COUNT; }

// One plugin of the factory: its two classes and its buses.
struct Vst3Class {
    const char* name;
    Steinberg_TUID component_id;
    Steinberg_TUID controller_id;
    uint32_t channels;  // of the one input and the one output bus
    Steinberg_Vst_SpeakerArrangement arrangement;
};

extern const Vst3Class kVst3Classes[];
extern const uint32_t kVst3ClassCount;

// An interface as the host holds it: the table first, then its owner.
struct Vst3Face {
    const void* vtbl;
    void* self;
};

template <class T> T& vst3_self(void* face) { return *static_cast<T*>(static_cast<Vst3Face*>(face)->self); }

inline bool vst3_same_iid(const Steinberg_TUID a, const Steinberg_TUID b)
{
    for (int i = 0; i < 16; ++i)
        if (a[i] != b[i]) return false;
    return true;
}

struct Vst3Controller;

struct Vst3Component {
    Vst3Face component;     // IComponent (and FUnknown, IPluginBase)
    Vst3Face processor;     // IAudioProcessor
    Vst3Face connection;    // IConnectionPoint
    Vst3Face requirements;  // IProcessContextRequirements
    std::atomic<uint32_t> refs;
    const Vst3Class* cls;
    Steinberg_FUnknown* host;  // the context of initialize, held
    Plugin* core;              // from initialize to terminate

    // Audio thread: the values the core's control ports point at.
    float controls[PORT_COUNT];
    // Each control as last applied by process or loaded by setState, for
    // getState and the tail, stored by whichever thread set it.
    std::atomic<float> shown[PORT_COUNT];
    // setState while the host may be processing: the values in `loaded`,
    // taken in by the next process for the ports in the mask.
    std::atomic<float> loaded[PORT_COUNT];
    std::atomic<uint32_t> loaded_mask;

    bool active;  // main thread: between setActive(true) and setActive(false)
    Steinberg_Vst_IConnectionPoint* peer;  // the host's end of our connection, held
    Vst3Controller* controller;            // the controller, when the host connected us directly
};

struct Vst3View;  // vst3_view.cpp

struct Vst3Controller {
    Vst3Face controller;  // IEditController (and FUnknown, IPluginBase)
    Vst3Face units;       // IUnitInfo
    Vst3Face connection;  // IConnectionPoint
    std::atomic<uint32_t> refs;
    const Vst3Class* cls;
    Steinberg_FUnknown* host;                  // the context of initialize, held
    Steinberg_Vst_IComponentHandler* handler;  // held; null until the host sets one

    // Main thread: the plain value of each control as the host and the
    // window show it, and the ports the host changed (bit = port) that the
    // window has not taken yet.
    float value[PORT_COUNT];
    uint32_t host_changed;
    int32_t program;  // the preset last chosen

    Steinberg_Vst_IConnectionPoint* peer;  // the host's end of our connection, held
    Vst3Component* component;              // the component, when the host connected us directly
    Vst3View* view;                        // the open window, or null
};

// Parameters (vst3_params.cpp): the host's normalised values and the
// controls' plain ones. Every plain value the controls take comes back from
// its normalised value as the same float.
double vst3_to_normalized(uint32_t port, double plain);
// The plain value, a float inside the range; false (nothing written) for an
// unknown id or a normalised value that is not a number.
bool vst3_to_plain(uint32_t port, double normalized, float* plain);
int32_t vst3_program_of(double normalized);
double vst3_program_normalized(int32_t program);
// What hosts list: the nine controls, then the preset list's parameter.
constexpr int32_t kVst3ParamCount = int32_t(kControlCount) + 1;
bool vst3_param_info(int32_t index, Steinberg_Vst_ParameterInfo* info);
// A value as text (the control's unit, a list's label, a preset's name),
// and text as the normalised value; false for an unknown id or text that
// is no value.
bool vst3_param_text(Steinberg_Vst_ParamID id, double normalized, Steinberg_Vst_String128 out);
bool vst3_param_parse(Steinberg_Vst_ParamID id, const Steinberg_Vst_TChar* text, double* normalized);

// UTF-8 into a host's string of 128 UTF-16 units, always terminated.
void vst3_string(const char* text, Steinberg_Vst_String128 out);

// The state record through the host's stream (vst3_state.cpp): a load reads
// until the stream ends (short reads looped over) and accepts exactly one
// valid record; anything else is refused and `values` stays as it was.
bool vst3_read_state(Steinberg_IBStream* stream, float (&values)[kControlCount]);
bool vst3_write_state(Steinberg_IBStream* stream, const float (&values)[kControlCount]);

// The component's processor (vst3_processor.cpp).
extern const Steinberg_Vst_IAudioProcessorVtbl kVst3ProcessorVtbl;
extern const Steinberg_Vst_IProcessContextRequirementsVtbl kVst3RequirementsVtbl;
void vst3_take_loaded(Vst3Component& c);

// The controller's preset list (vst3_units.cpp).
extern const Steinberg_Vst_IUnitInfoVtbl kVst3UnitsVtbl;
// Main thread: all nine controls of factory preset `program`, as the host
// will hear them; the window follows.
void vst3_controller_load_program(Vst3Controller& c, int32_t program);

// The two connection points (vst3_component.cpp, vst3_controller.cpp).
extern const Steinberg_Vst_IConnectionPointVtbl kVst3ComponentConnectionVtbl;
extern const Steinberg_Vst_IConnectionPointVtbl kVst3ControllerConnectionVtbl;

// Creation from the factory, with one reference held by the caller.
Vst3Component* vst3_component_create(const Vst3Class& cls);
Vst3Controller* vst3_controller_create(const Vst3Class& cls);

// What the window asks of the controller (main thread).
// The present plain value of a control (param id == LV2 port index 2 ... 10).
float vst3_controller_value(const Vst3Controller& c, uint32_t port);
// An edit from the window, told the host as beginEdit / performEdit /
// endEdit; the controller shows the value at once. Without `write` (a drag
// cut short) the gesture only begins or ends.
void vst3_controller_edit(Vst3Controller& c, uint32_t port, float value, bool write, bool gesture_begin,
                          bool gesture_end);
// True (and the value) when the host changed a control since the last call
// for that port (automation, its own sliders, state or preset load). A
// window edit does not come back through here.
bool vst3_controller_take_host_change(Vst3Controller& c, uint32_t port, float* value);
// The running instance, for the live cutoff and the session's rate; null
// while the component is not connected to us directly.
const Plugin* vst3_controller_core(const Vst3Controller& c);

// The window (vst3_view.cpp): a new view for createView("editor"), with one
// reference held by the caller, or null; and the controller going away
// under an open view, which then lets go of it.
Steinberg_IPlugView* vst3_view_create(Vst3Controller& c);
void vst3_view_controller_gone(Vst3Controller& c);

} // namespace zt
