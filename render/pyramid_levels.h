// Building the coarser levels of a picture on the worker pool.
#pragma once

#include <cstdint>

namespace qf {

class PyramidImage;

// Builds every level after `firstLevel` from the level before it, one level
// after the other, each as 128 x 128 tile jobs on the worker pool (at most
// `processors` at once; 0 asks the system), then marks the levels built.
// Gives the same pixels as buildLevelsHere. Asks nothing of the host and
// cannot be cancelled. False when the picture has no storage.
bool buildLevels(PyramidImage& image, int32_t firstLevel, int32_t processors = 0);

} // namespace qf
