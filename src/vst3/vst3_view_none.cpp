// The controller without a window, for builds without cairo.
#include "vst3_face.h"

namespace zt {

Steinberg_IPlugView* vst3_view_create(Vst3Controller&) { return nullptr; }
void vst3_view_controller_gone(Vst3Controller& c) { c.view = nullptr; }

} // namespace zt
