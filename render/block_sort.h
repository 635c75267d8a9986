// The points of a block of rows sorted by their home cell, so that a group
// of lanes holds the points of one cell: the block's scratch space and the
// sort. Lives in the lane width's own namespace (see pixel_lanes.h), like
// the rest of the kernel that includes it.
#pragma once

#include <cstdint>

#include "render/pixel_lanes.h"

namespace qf {
inline namespace QF_SIMD_NAMESPACE {
namespace kernel {

// Where cells are small (kBlockThreshold), the tile goes in blocks of whole
// rows, at most kBlockPixels pixels. In a block each layer is done in two
// steps. First, row by row and kLaneCount
// pixels at a time, every point is warped and its home cell counted, in
// the order of the pixels (the cache's statistics count cell changes from
// one pixel to the next). Then the points are painted cell by cell: the
// points of one home cell, gathered from all rows of the block, fill the
// lanes together. Where cells are only a few pixels wide that takes a
// fraction of the passes a row's neighbours would, each group of which
// spans several cells and is painted once per cell. Every lane does what
// its own point alone would, so the bits are those of painting pixel by
// pixel.
constexpr int32_t kBlockPixels = 1024;
// A block whose points fall in more home cells than this (cells smaller
// than a few pixels) is painted group by group instead.
constexpr int32_t kBlockCells = 256;
constexpr int32_t kCellSlots = 1024; // hash slots for the block's cells

struct BlockScratch {
    // Per pixel of the block, in row order; padded so that a full group of
    // lanes can be loaded from the last pixel on.
    float x[kBlockPixels + kLaneCount];
    float y[kBlockPixels + kLaneCount];
    float colour[3][kBlockPixels + kLaneCount]; // the layers mixed so far
    float layer[3][kBlockPixels + kLaneCount];  // the layer being painted
    int32_t ex[kBlockPixels];
    int32_t ey[kBlockPixels];
    // The pixels by home cell (see sortByCell), and their points in the
    // same order, padded as x and y are.
    int16_t order[kBlockPixels];
    float sortedX[kBlockPixels + kLaneCount];
    float sortedY[kBlockPixels + kLaneCount];
    // Where runs of points in one home cell start, in order: every group's
    // first point and every point in another cell than the one before it
    // (so no run crosses from one row into the next). rowRun[row] is the
    // row's first run, rowRun[rows] the number of runs.
    int16_t runStart[kBlockPixels];
    int16_t runCell[kBlockPixels]; // each run's cell, as cellIndex numbers them
    int16_t rowRun[kBlockPixels + 1];
    int32_t runs;
    int32_t cellX[kBlockCells];
    int32_t cellY[kBlockCells];
    int32_t start[kBlockCells + 1];
    int16_t slot[kCellSlots];
};

// The block's number of home cell (cx, cy), numbered as first met; a new
// cell gets the next number, -1 when there are kBlockCells already.
inline int32_t cellIndex(BlockScratch& s, int32_t cx, int32_t cy, int32_t& cells) {
    uint32_t h =
        (static_cast<uint32_t>(cx) * 0x9E3779B1u) ^ (static_cast<uint32_t>(cy) * 0x85EBCA77u);
    h = (h ^ (h >> 15)) & (kCellSlots - 1);
    for (;;) {
        const int32_t c = s.slot[h];
        if (c < 0) {
            if (cells == kBlockCells) {
                return -1;
            }
            s.slot[h] = static_cast<int16_t>(cells);
            s.cellX[cells] = cx;
            s.cellY[cells] = cy;
            s.start[cells + 1] = 0;
            return cells++;
        }
        if (s.cellX[c] == cx && s.cellY[c] == cy) {
            return c;
        }
        h = (h + 1) & (kCellSlots - 1);
    }
}

// Appends the points of pixels from .. to - 1 to the list that `fill`
// points into (see sortByCell), one after the other.
inline void appendPoints(BlockScratch& s, int32_t& fill, int32_t from, int32_t to) {
    for (int32_t i = from; i < to; ++i, ++fill) {
        s.order[fill] = static_cast<int16_t>(i);
        s.sortedX[fill] = s.x[i];
        s.sortedY[fill] = s.y[i];
    }
}

// Pixel numbers p, q, p + 1, q + 1, p + 2, q + 2, p + 3, q + 3: four
// columns of a band's top row p and bottom row q, as appendColumns lays
// them out (int16 each).
inline __m128i pairedColumns(int32_t top, int32_t bottom) {
    const uint32_t pair = uint32_t(uint16_t(top)) | (uint32_t(uint16_t(bottom)) << 16);
    return _mm_add_epi16(_mm_set1_epi32(int32_t(pair)), _mm_setr_epi16(0, 0, 1, 1, 2, 2, 3, 3));
}

// Appends the points of two rows' pixels top .. top + count - 1 and
// bottom .. bottom + count - 1 to one list, column by column.
inline void appendColumns(BlockScratch& s, int32_t& fill, int32_t top, int32_t bottom,
                          int32_t count) {
    int32_t c = 0;
    // Four columns at a time: the two rows' points interleaved in SSE
    // registers, the pixel numbers counted up in pairs.
    for (; c + 4 <= count; c += 4, fill += 8) {
        const __m128 xTop = _mm_loadu_ps(s.x + top + c);
        const __m128 xBottom = _mm_loadu_ps(s.x + bottom + c);
        _mm_storeu_ps(s.sortedX + fill, _mm_unpacklo_ps(xTop, xBottom));
        _mm_storeu_ps(s.sortedX + fill + 4, _mm_unpackhi_ps(xTop, xBottom));
        const __m128 yTop = _mm_loadu_ps(s.y + top + c);
        const __m128 yBottom = _mm_loadu_ps(s.y + bottom + c);
        _mm_storeu_ps(s.sortedY + fill, _mm_unpacklo_ps(yTop, yBottom));
        _mm_storeu_ps(s.sortedY + fill + 4, _mm_unpackhi_ps(yTop, yBottom));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(s.order + fill),
                         pairedColumns(top + c, bottom + c));
    }
    for (; c < count; ++c, fill += 2) {
        s.order[fill] = static_cast<int16_t>(top + c);
        s.order[fill + 1] = static_cast<int16_t>(bottom + c);
        s.sortedX[fill] = s.x[top + c];
        s.sortedX[fill + 1] = s.x[bottom + c];
        s.sortedY[fill] = s.y[top + c];
        s.sortedY[fill + 1] = s.y[bottom + c];
    }
}

// Sorts the block's points (`rows` rows of `width`, with the runs
// blockLayer recorded) by home cell into s.order, s.sortedX and s.sortedY:
// cells in order of their first point, each cell's points in bands of two
// rows, column by column within a band (the top row's point first), so that
// a group of lanes holds a compact patch of neighbours rather than a long
// stretch of one row. False when they fall in more than kBlockCells cells.
inline bool sortByCell(BlockScratch& s, int32_t rows, int32_t width, int32_t& cells) {
    const int32_t n = rows * width;
    for (int32_t i = 0; i < kCellSlots; ++i) {
        s.slot[i] = -1;
    }
    cells = 0;
    // Each run's cell is looked up once, and its count added to
    // s.start[cell + 1]. A run in the cell of the run before it, or of the
    // one before that (where the warp makes a cell border zigzag), needs no
    // look-up.
    int32_t last = -1;
    int32_t before = -1;
    s.start[0] = 0;
    const auto runEnd = [&s, n](int32_t r) { return r + 1 < s.runs ? s.runStart[r + 1] : n; };
    const auto isCell = [&s](int32_t c, int32_t cx, int32_t cy) {
        return c >= 0 && s.cellX[c] == cx && s.cellY[c] == cy;
    };
    for (int32_t r = 0; r < s.runs; ++r) {
        const int32_t from = s.runStart[r];
        const int32_t cx = s.ex[from];
        const int32_t cy = s.ey[from];
        if (!isCell(last, cx, cy)) {
            const int32_t c = isCell(before, cx, cy) ? before : cellIndex(s, cx, cy, cells);
            if (c < 0) {
                return false;
            }
            before = last;
            last = c;
        }
        s.runCell[r] = static_cast<int16_t>(last);
        s.start[last + 1] += runEnd(r) - from;
    }
    for (int32_t c = 0; c < cells; ++c) {
        s.start[c + 1] += s.start[c];
    }
    int32_t fill[kBlockCells];
    for (int32_t c = 0; c < cells; ++c) {
        fill[c] = s.start[c];
    }
    // A band's two rows go side by side a stretch at a time: a stretch ends
    // where a run of either row ends. Where both rows' runs are in one cell
    // the stretch's columns go to it in pairs; otherwise each row's part
    // goes to its own cell.
    for (int32_t band = 0; band < rows; band += 2) {
        if (band + 1 == rows) {
            for (int32_t r = s.rowRun[band]; r < s.rowRun[band + 1]; ++r) {
                appendPoints(s, fill[s.runCell[r]], s.runStart[r], runEnd(r));
            }
            break;
        }
        const int32_t topRow = band * width;
        const int32_t bottomRow = topRow + width;
        int32_t a = s.rowRun[band];
        int32_t b = s.rowRun[band + 1];
        for (int32_t column = 0; column < width;) {
            const int32_t topEnd = runEnd(a) - topRow;
            const int32_t bottomEnd = runEnd(b) - bottomRow;
            const int32_t end = topEnd < bottomEnd ? topEnd : bottomEnd;
            const int32_t ca = s.runCell[a];
            const int32_t cb = s.runCell[b];
            if (ca == cb) {
                appendColumns(s, fill[ca], topRow + column, bottomRow + column, end - column);
            } else {
                appendPoints(s, fill[ca], topRow + column, topRow + end);
                appendPoints(s, fill[cb], bottomRow + column, bottomRow + end);
            }
            column = end;
            a += topEnd == end ? 1 : 0;
            b += bottomEnd == end ? 1 : 0;
        }
    }
    return true;
}

} // namespace kernel
} // namespace QF_SIMD_NAMESPACE
} // namespace qf
