// The factory presets the usual VST3 way: one unit, the root, with one
// program list, chosen through the list's program-change parameter. A
// preset sets all nine controls, as the LV2 preset does.
#include <cstring>

#include "vst3_face.h"

namespace zt {

namespace {

Vst3Controller& self(void* face) { return vst3_self<Vst3Controller>(face); }

Steinberg_tresult query(void* face, const Steinberg_TUID iid, void** obj)
{
    Vst3Face& c = self(face).controller;
    return static_cast<const Steinberg_Vst_IEditControllerVtbl*>(c.vtbl)->queryInterface(&c, iid, obj);
}

uint32_t add_ref(void* face)
{
    Vst3Face& c = self(face).controller;
    return static_cast<const Steinberg_Vst_IEditControllerVtbl*>(c.vtbl)->addRef(&c);
}

uint32_t release(void* face)
{
    Vst3Face& c = self(face).controller;
    return static_cast<const Steinberg_Vst_IEditControllerVtbl*>(c.vtbl)->release(&c);
}

int32_t unit_count(void*) { return 1; }

Steinberg_tresult unit_info(void*, int32_t index, Steinberg_Vst_UnitInfo* info)
{
    if (index != 0 || !info) return Steinberg_kInvalidArgument;
    info->id = Steinberg_Vst_kRootUnitId;
    info->parentUnitId = Steinberg_Vst_kNoParentUnitId;
    vst3_string("Root", info->name);
    info->programListId = kProgramList;
    return Steinberg_kResultOk;
}

int32_t list_count(void*) { return 1; }

Steinberg_tresult list_info(void*, int32_t index, Steinberg_Vst_ProgramListInfo* info)
{
    if (index != 0 || !info) return Steinberg_kInvalidArgument;
    info->id = kProgramList;
    vst3_string("Factory presets", info->name);
    info->programCount = kVst3ProgramCount;
    return Steinberg_kResultOk;
}

bool is_program(Steinberg_Vst_ProgramListID list, int32_t index)
{
    return list == kProgramList && index >= 0 && index < kVst3ProgramCount;
}

Steinberg_tresult program_name(void*, Steinberg_Vst_ProgramListID list, int32_t index, Steinberg_Vst_String128 name)
{
    if (!name || !is_program(list, index)) return Steinberg_kInvalidArgument;
    vst3_string(kPresets[index].label, name);
    return Steinberg_kResultOk;
}

// The one attribute the presets have beyond their names.
Steinberg_tresult program_info(void*, Steinberg_Vst_ProgramListID list, int32_t index, Steinberg_Vst_CString attribute,
                               Steinberg_Vst_String128 value)
{
    if (!attribute || !value || !is_program(list, index)) return Steinberg_kInvalidArgument;
    if (std::strcmp(attribute, "Comment") != 0) return Steinberg_kResultFalse;
    vst3_string(kPresets[index].comment, value);
    return Steinberg_kResultOk;
}

Steinberg_tresult has_pitch_names(void*, Steinberg_Vst_ProgramListID, int32_t) { return Steinberg_kResultFalse; }

Steinberg_tresult pitch_name(void*, Steinberg_Vst_ProgramListID, int32_t, int16_t, Steinberg_Vst_String128)
{
    return Steinberg_kResultFalse;
}

Steinberg_Vst_UnitID selected_unit(void*) { return Steinberg_Vst_kRootUnitId; }

Steinberg_tresult select_unit(void*, Steinberg_Vst_UnitID unit)
{
    return unit == Steinberg_Vst_kRootUnitId ? Steinberg_kResultOk : Steinberg_kInvalidArgument;
}

Steinberg_tresult unit_by_bus(void*, Steinberg_Vst_MediaType type, Steinberg_Vst_BusDirection, int32_t bus, int32_t,
                              Steinberg_Vst_UnitID* unit)
{
    if (!unit || type != Steinberg_Vst_MediaTypes_kAudio || bus != 0) return Steinberg_kInvalidArgument;
    *unit = Steinberg_Vst_kRootUnitId;
    return Steinberg_kResultOk;
}

Steinberg_tresult unit_program_data(void*, int32_t, int32_t, Steinberg_IBStream*) { return Steinberg_kNotImplemented; }

} // namespace

const Steinberg_Vst_IUnitInfoVtbl kVst3UnitsVtbl = {
    query,        add_ref,      release,         unit_count, unit_info,     list_count,  list_info,
    program_name, program_info, has_pitch_names, pitch_name, selected_unit, select_unit, unit_by_bus,
    unit_program_data};

void vst3_controller_load_program(Vst3Controller& c, int32_t program)
{
    if (program < 0 || program >= kVst3ProgramCount) return;
    c.program = program;
    for (uint32_t i = 0; i < kControlCount; ++i) {
        c.value[kFirstControl + i] = kPresets[program].value[i];
        c.host_changed |= 1u << (kFirstControl + i);
    }
}

} // namespace zt
