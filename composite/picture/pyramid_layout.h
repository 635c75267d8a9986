// The shape of a picture before it has any storage: the chain of levels,
// each level's tiles, and the bytes the pixels need. A layout is a plain
// value, so a picture can be weighed against the storage budget before
// anything is allocated.
#pragma once

#include <cstdint>

#include "composite/picture/pyramid_kind.h"

namespace qf {

constexpr int32_t kPyramidTileSide = 512;
constexpr int32_t kPyramidTileShift = 9;
constexpr int32_t kPyramidMaxLevels = 20;
// The largest width or height of a picture; larger sizes are refused.
constexpr int32_t kPyramidMaxSide = 1 << 28;

// One level of the pyramid. Sizes include the optional one-pixel border.
struct PyramidLevel {
    int32_t width = 0;
    int32_t height = 0;
    int32_t lastColumn = 0;     // width - 1
    int32_t lastRow = 0;        // height - 1
    float inverseWidth = 0.0f;  // 1 / the width without border
    float inverseHeight = 0.0f; // 1 / the height without border
    // Normalised coordinate (0..1 across the picture) to pixel coordinate
    // of this level: level-0 width / 2^level and height / 2^level.
    float scaleX = 0.0f;
    float scaleY = 0.0f;
    int32_t firstTile = 0;
    int32_t tilesPerRow = 0;
    int32_t tileRows = 0;
};

struct PyramidLayout {
    PyramidKind kind = PyramidKind::Gray8;
    PyramidKindInfo info{};
    int32_t width = 0;  // level 0, without border
    int32_t height = 0; // level 0, without border
    bool border = false;
    int32_t lastLevel = 0;
    PyramidLevel levels[kPyramidMaxLevels]{};
    int32_t tileCount = 0;   // over all levels
    uint64_t pixelBytes = 0; // the pixels of every tile

    // Levels: each halves the one before rounding up, a result above 2 is
    // rounded up to even, and the chain ends with the first 1 x 1 level
    // after level 0 (at most kPyramidMaxLevels levels). A border makes
    // every level 2 pixels wider and higher. Tiles are numbered level by
    // level, row by row; a tile holds 512 pixels per row and as many rows
    // as its level has there. Nothing for a size below 1 or above
    // kPyramidMaxSide, or for more tiles than an int32_t counts.
    static bool plan(int32_t width, int32_t height, PyramidKind kind, bool border,
                     PyramidLayout& out);

    // The rows tile row `tileRow` of a level holds (at most 512).
    int32_t rowsInTileRow(int32_t level, int32_t tileRow) const;
};

} // namespace qf
