// Resampling one picture into another by filtered sampling at the blur
// level that matches the size ratio.
#pragma once

#include <cstdint>

#include "values/pixel_types.h"

namespace qf {

class PyramidImage;

// The blur level that resampling a source span of `sourceWidth` pixels into
// `destinationWidth` pixels uses: log2(ratio) - bias, limited to
// 0..lastLevel, split into its whole part and fraction.
void resampleLevel(int32_t sourceWidth, int32_t destinationWidth, float bias, int32_t lastLevel,
                   int32_t& level, float& fraction);

// Fills the destination rectangle of `destination` (level 0) from the source
// rectangle of `source` by filtered sampling at the level that matches the
// width ratio. Colours are limited to 0..1 (float destinations: colour
// channels 0..65535, alpha 0..1). The source's coarser levels must have
// been built when the destination is smaller. False when either picture
// has no storage or a rectangle is empty; the destination rectangle is
// clipped to the destination picture.
bool resampleImage(const PyramidImage& source, PyramidImage& destination,
                   const PixelRect& sourceRect, const PixelRect& destinationRect, float bias);

} // namespace qf
