#include "composite/picture/pyramid_layout.h"

#include <algorithm>

namespace qf {

bool PyramidLayout::plan(int32_t width, int32_t height, PyramidKind kind, bool border,
                         PyramidLayout& out) {
    const PyramidKindInfo info = pyramidKindInfo(kind);
    if (!info.valid || width < 1 || height < 1 || width > kPyramidMaxSide ||
        height > kPyramidMaxSide)
        return false;

    // Level geometry on the sizes without border.
    int32_t sizes[kPyramidMaxLevels][2] = {};
    sizes[0][0] = width;
    sizes[0][1] = height;
    int32_t last = kPyramidMaxLevels - 1;
    for (int32_t n = 1; n < kPyramidMaxLevels; ++n) {
        for (int axis = 0; axis < 2; ++axis) {
            int32_t s = (sizes[n - 1][axis] + 1) / 2;
            if (s > 2) s += s & 1;
            sizes[n][axis] = s;
        }
        if (sizes[n][0] == 1 && sizes[n][1] == 1) {
            last = n;
            break;
        }
    }

    // Level records and the bytes they need, counted in 64 bits.
    PyramidLayout layout;
    layout.kind = kind;
    layout.info = info;
    layout.width = width;
    layout.height = height;
    layout.border = border;
    layout.lastLevel = last;
    const int32_t b = border ? 2 : 0;
    uint64_t tiles = 0;
    for (int32_t n = 0; n <= last; ++n) {
        PyramidLevel& L = layout.levels[n];
        L.width = sizes[n][0] + b;
        L.height = sizes[n][1] + b;
        L.lastColumn = L.width - 1;
        L.lastRow = L.height - 1;
        L.inverseWidth = 1.0f / float(sizes[n][0]);
        L.inverseHeight = 1.0f / float(sizes[n][1]);
        L.scaleX = float(width) / float(uint32_t{1} << n);
        L.scaleY = float(height) / float(uint32_t{1} << n);
        L.tilesPerRow = (L.width + kPyramidTileSide - 1) >> kPyramidTileShift;
        L.tileRows = (L.height + kPyramidTileSide - 1) >> kPyramidTileShift;
        L.firstTile = int32_t(tiles); // at most INT32_MAX, checked on the level before
        tiles += uint64_t(L.tilesPerRow) * uint64_t(L.tileRows);
        layout.pixelBytes += uint64_t(L.tilesPerRow) * uint64_t(L.height) * kPyramidTileSide *
                             uint64_t(info.bytesPerPixel);
        if (tiles > uint64_t(INT32_MAX)) return false;
    }
    layout.tileCount = int32_t(tiles);
    out = layout;
    return true;
}

int32_t PyramidLayout::rowsInTileRow(int32_t level, int32_t tileRow) const {
    return std::min(kPyramidTileSide, levels[level].height - tileRow * kPyramidTileSide);
}

} // namespace qf
