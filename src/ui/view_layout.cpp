#include "view_layout.h"

#include <algorithm>

namespace zt {

namespace {

constexpr double kMargin = 8.0;
constexpr double kHeaderHeight = 40.0;
constexpr double kControlsHeight = 140.0;
constexpr double kGroupGap = 14.0;
constexpr double kShapeWidth = 190.0;     // at the natural width and above
constexpr double kShapeMinWidth = 150.0;  // at the minimum: its longest label still fits at 8.5 px
constexpr double kInnerPad = 8.0;         // the controls' panel to its groups
constexpr double kGroupLabel = 20.0;   // the group's caption above its controls

} // namespace

double heard_factor(const View& v)
{
    return v.session_rate > 0.0 ? v.session_rate / kEngineRate : 1.0;
}

int dial_index(uint32_t port)
{
    for (int i = 0; i < kDialCount; ++i)
        if (kDialPorts[i] == port) return i;
    return -1;
}

double layout_scale(const View& v)
{
    const double fit = std::min(v.width / v.scale / kMinWidth, v.height / v.scale / kMinHeight);
    return fit < 1.0 ? v.scale * fit : v.scale;
}

Layout view_layout(const View& v)
{
    Layout l{};
    l.scale = layout_scale(v);
    l.width = v.width / l.scale;
    l.height = v.height / l.scale;
    const double w = l.width, h = l.height;

    l.header = {0, 0, w, kHeaderHeight};
    l.type_button = {172, 7, std::min(300.0, w - 172 - kMargin), 26};
    l.controls = {kMargin, h - kControlsHeight - kMargin, w - 2 * kMargin, kControlsHeight};
    l.graph = {kMargin, kHeaderHeight + 4, w - 2 * kMargin, l.controls.y - kMargin - kHeaderHeight - 4};
    l.plot = {l.graph.x + 36, l.graph.y + 10, l.graph.w - 36 - 12, l.graph.h - 10 - 22};

    // Dials of equal width; the modulation group also holds the shape
    // choice. Below the natural width the shape choice gives up half of what
    // is lost and the seven dials the rest, which keeps both readable down to
    // the minimum.
    const double inner_x = l.controls.x + kInnerPad, inner_w = l.controls.w - 2 * kInnerPad;
    constexpr double natural_inner = kNaturalWidth - 2 * kMargin - 2 * kInnerPad;
    constexpr double min_inner = kMinWidth - 2 * kMargin - 2 * kInnerPad;
    double shape_w = kShapeWidth;
    if (inner_w < natural_inner)
        shape_w = kShapeMinWidth + (kShapeWidth - kShapeMinWidth) * (inner_w - min_inner) / (natural_inner - min_inner);
    const double cell = (inner_w - shape_w - 3 * kGroupGap) / kDialCount;
    const double top = l.controls.y + kGroupLabel;
    const int group_dials[4] = {3, 2, 1, 1};
    double x = inner_x;
    int d = 0;
    for (int g = 0; g < 4; ++g) {
        const double gw = group_dials[g] * cell + (g == 0 ? shape_w : 0.0);
        l.group[g] = {x, l.controls.y, gw, l.controls.h};
        for (int k = 0; k < group_dials[g]; ++k, ++d) l.dial[d] = {x + k * cell, top, cell, l.controls.h - kGroupLabel - 6};
        if (g == 0) {
            l.shape_box = {x + 3 * cell + 6, top, shape_w - 6, l.controls.h - kGroupLabel - 8};
            const double row_h = (l.shape_box.h - 18) / kShapeChoices;
            for (int r = 0; r < kShapeChoices; ++r)
                l.shape_row[r] = {l.shape_box.x, l.shape_box.y + 18 + r * row_h, l.shape_box.w, row_h};
        }
        x += gw + kGroupGap;
    }
    l.dial_radius = std::clamp(cell * 0.5 - 10.0, 10.0, 23.0);

    l.picker = {kMargin, kHeaderHeight + 4, w - 2 * kMargin, h - kHeaderHeight - 4 - kMargin};
    constexpr int rows = (kOfferedTypes + kPickerColumns - 1) / kPickerColumns;
    const double cw = (l.picker.w - 16) / kPickerColumns, ch = (l.picker.h - 34) / rows;
    for (int i = 0; i < kOfferedTypes; ++i) {
        const int col = i / rows, row = i % rows;  // down the columns: neighbours in the table stay together
        l.picker_cell[i] = {l.picker.x + 8 + col * cw, l.picker.y + 28 + row * ch, cw - 4, ch - 2};
    }
    return l;
}

} // namespace zt
