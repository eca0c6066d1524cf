#pragma once
// The small picture of the response a host shows in its mixer strip: the
// level heard (dry and wet mixed, from the closed form the window draws) at
// the live cutoff, the band shaded, the cutoff marked, in the window's
// colours. Drawn pixel by pixel into 32-bit words (alpha in the top byte,
// every pixel opaque) with no drawing library: per column, the curve is a
// vertical span whose two end pixels are covered in part.
#include <cstddef>
#include <cstdint>

#include "filter_engine.h"

namespace zt {

// What the picture is drawn from: the engine state the closed form reads,
// the band, and the cutoff. Floats only, so that run can publish it one
// relaxed float at a time.
struct PictureState {
    float cutoff_hz;          // engine rate; NaN: no live cutoff (drawn at the band's centre, unmarked)
    float freq_low, freq_high;
    float dry_gain, wet_gain;
    float feedback_gain, feedback_factor, input_comp;
    float mix_coef[5];
};
constexpr size_t kPictureFloats = sizeof(PictureState) / sizeof(float);
static_assert(sizeof(PictureState) == kPictureFloats * sizeof(float), "no padding: compared and copied as floats");

inline PictureState picture_state_of(const FilterEngine& e)
{
    return {e.cutoff_hz, e.freq_low, e.freq_high, e.dry_gain, e.wet_gain, e.feedback_gain,
            e.feedback_factor, e.input_comp,
            {e.mix_coef[0], e.mix_coef[1], e.mix_coef[2], e.mix_coef[3], e.mix_coef[4]}};
}

// Sizes beyond these are drawn at these: a strip is a few hundred pixels
// wide, and a host asking for more gets a picture it can scale.
constexpr int kPictureMaxWidth = 2048;
constexpr int kPictureMaxHeight = 1152;

// The size drawn for a host's request: the width (clamped to 1 ...
// kPictureMaxWidth) and min(max_h, w * 9 / 16), at least 1.
void picture_size(uint32_t w, uint32_t max_h, int* width, int* height);

// The plotted ranges, as the window's: 20 Hz ... 20 kHz heard, +24 ... -48 dB.
// The frequency heard at pixel position x (0 ... width), and the row
// position of a level (0 at the top edge, height at the bottom).
double picture_x_to_hz(double x, int width);
double picture_hz_to_x(double hz, int width);
double picture_db_to_y(double db, int height);

// Draws into `pixels` (stride in 32-bit words). `heard` is the session's
// rate over the engine's: the frequencies on the axis are those heard.
void draw_picture(const PictureState& s, double heard, uint32_t* pixels, int width, int height,
                  int stride_words);

} // namespace zt
