#include "composite/picture/pyramid_level_build.h"

#include <algorithm>
#include <type_traits>

#include "composite/picture/pyramid_image.h"
#include "composite/picture/pyramid_kind_traits.h"

namespace qf {

using pyramid_detail::addressInside;
using pyramid_detail::dispatchKind;
using pyramid_detail::KindTraits;

namespace {

// The 6 x 6 weights of one pixel of the next level (rows top to bottom,
// columns left to right, over columns 2x - 2..2x + 3 and rows likewise);
// they sum to 1640.
constexpr int32_t kLevelWeights[6][6] = {
    {0, 1, 4, 4, 1, 0},       {1, 16, 64, 64, 16, 1}, {4, 64, 256, 256, 64, 4},
    {4, 64, 256, 256, 64, 4}, {1, 16, 64, 64, 16, 1}, {0, 1, 4, 4, 1, 0},
};

// Output pixels are made in blocks; the source pixels of a block are
// gathered (with clamping) into a small buffer first.
constexpr int32_t kBlockWidth = 32;
constexpr int32_t kBlockHeight = 8;
constexpr int32_t kSourceWidth = 2 * kBlockWidth + 4;
constexpr int32_t kSourceHeight = 2 * kBlockHeight + 4;

template <PyramidKind Kind>
void buildLevelRect(const PyramidTile* tiles, const PyramidLevel& from, const PyramidLevel& to,
                    int32_t border, int32_t largest, const PixelRect& rect) {
    using T = KindTraits<Kind>;
    using S = typename T::Sample;
    constexpr int C = T::channels;
    S src[kSourceHeight][kSourceWidth][size_t(C > 0 ? C : 1)];
    for (int32_t by = rect.top; by < rect.bottom; by += kBlockHeight) {
        const int32_t bh = std::min(kBlockHeight, rect.bottom - by);
        for (int32_t bx = rect.left; bx < rect.right; bx += kBlockWidth) {
            const int32_t bw = std::min(kBlockWidth, rect.right - bx);
            // Output (X, Y) reads source columns 2X - border - 2 .. + 3.
            const int32_t sx0 = 2 * bx - border - 2;
            const int32_t sy0 = 2 * by - border - 2;
            const int32_t sw = 2 * bw + 4;
            const int32_t sh = 2 * bh + 4;
            for (int32_t r = 0; r < sh; ++r) {
                const int32_t y = std::clamp(sy0 + r, 0, from.lastRow);
                // The row's start in the tile that holds it; a new tile is
                // looked up only where the columns cross a seam.
                int32_t tileColumn = -1;
                const uint8_t* rowStart = nullptr;
                for (int32_t c = 0; c < sw; ++c) {
                    const int32_t x = std::clamp(sx0 + c, 0, from.lastColumn);
                    if ((x >> kPyramidTileShift) != tileColumn) {
                        tileColumn = x >> kPyramidTileShift;
                        rowStart = addressInside(tiles, from, T::bytes,
                                                 tileColumn << kPyramidTileShift, y);
                    }
                    S s[4];
                    T::read(rowStart + size_t(x & (kPyramidTileSide - 1)) * T::bytes, s);
                    for (int ch = 0; ch < C; ++ch) src[r][c][ch] = s[ch];
                }
            }
            if constexpr (std::is_same_v<S, float>) {
                // Floats: the weighted sum in the table's order, row by row,
                // left to right.
                for (int32_t oy = 0; oy < bh; ++oy)
                    for (int32_t ox = 0; ox < bw; ++ox) {
                        S out[4];
                        for (int ch = 0; ch < C; ++ch) {
                            float sum = 0.0f;
                            for (int r = 0; r < 6; ++r)
                                for (int c = 0; c < 6; ++c)
                                    if (kLevelWeights[r][c] != 0)
                                        sum += float(kLevelWeights[r][c]) *
                                               src[2 * oy + r][2 * ox + c][ch];
                            float value = sum * 0.0006097561f; // 1 / 1640
                            if (value > 65535.0f) value = 65535.0f;
                            out[ch] = value;
                        }
                        T::write(addressInside(tiles, to, T::bytes, bx + ox, by + oy), out);
                    }
            } else {
                // Integers: the table is (b b^T - the four corners) / 16 with
                // b = 1, 16, 64, 64, 16, 1, and integer sums are exact in any
                // order, so the rows are filtered once and shared by the
                // output rows (at most 65535 * 162^2 < 2^31).
                static constexpr int32_t b[6] = {1, 16, 64, 64, 16, 1};
                S rowSums[kSourceHeight][kBlockWidth][size_t(C)];
                for (int32_t r = 0; r < sh; ++r)
                    for (int32_t ox = 0; ox < bw; ++ox)
                        for (int ch = 0; ch < C; ++ch) {
                            int32_t h = 0;
                            for (int c = 0; c < 6; ++c) h += b[c] * src[r][2 * ox + c][ch];
                            rowSums[r][ox][ch] = h;
                        }
                for (int32_t oy = 0; oy < bh; ++oy)
                    for (int32_t ox = 0; ox < bw; ++ox) {
                        S out[4];
                        for (int ch = 0; ch < C; ++ch) {
                            int32_t v = 0;
                            for (int r = 0; r < 6; ++r) v += b[r] * rowSums[2 * oy + r][ox][ch];
                            v -= src[2 * oy][2 * ox][ch] + src[2 * oy][2 * ox + 5][ch] +
                                 src[2 * oy + 5][2 * ox][ch] + src[2 * oy + 5][2 * ox + 5][ch];
                            // 1 / 1630: integer levels come out a little brighter.
                            float value = float(v / 16) * 0.00061349693f;
                            if (value > float(largest)) value = float(largest);
                            out[ch] = int32_t(value);
                        }
                        T::write(addressInside(tiles, to, T::bytes, bx + ox, by + oy), out);
                    }
            }
        }
    }
}

} // namespace

void buildLevelTile(PyramidImage& image, int32_t level, const PixelRect& rect) {
    if (!image.hasStorage() || level < 0 || level >= image.lastLevel()) return;
    const PyramidLayout& layout = image.layout();
    const PyramidLevel& from = layout.levels[level];
    const PyramidLevel& to = layout.levels[level + 1];
    PixelRect r;
    r.top = std::max(rect.top, 0);
    r.left = std::max(rect.left, 0);
    r.bottom = std::min(rect.bottom, to.height);
    r.right = std::min(rect.right, to.width);
    if (r.empty()) return;
    const int32_t border = layout.border ? 1 : 0;
    const int32_t largest = layout.info.largestSample;
    const PyramidTile* tiles = image.storage().tiles();
    dispatchKind(layout.kind, [&]<PyramidKind Kind>() {
        buildLevelRect<Kind>(tiles, from, to, border, largest, r);
    });
}

bool buildLevelsHere(PyramidImage& image, int32_t firstLevel) {
    if (!image.hasStorage()) return false;
    for (int32_t n = std::max(firstLevel, 0); n < image.lastLevel(); ++n)
        buildLevelTile(image, n,
                       PixelRect{0, 0, image.levelHeight(n + 1), image.levelWidth(n + 1)});
    image.setLevelsBuilt(true);
    return true;
}

} // namespace qf
