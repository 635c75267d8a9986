// Building the coarser levels of a picture from the finer ones.
#pragma once

#include <cstdint>

#include "values/pixel_types.h"

namespace qf {

class PyramidImage;

// Computes the pixels of level + 1 inside `rect` (level + 1 coordinates)
// from level `level`: a 6 x 6 weighted sum per pixel, fetches clamped to the
// level. Different rectangles may be built on different threads at once.
void buildLevelTile(PyramidImage& image, int32_t level, const PixelRect& rect);

// Builds every level after `firstLevel` on this thread alone and marks the
// levels built; the same pixels as the worker pool's buildLevels. False
// without storage.
bool buildLevelsHere(PyramidImage& image, int32_t firstLevel);

} // namespace qf
