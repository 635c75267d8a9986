// Reading and writing a picture's pixels: the point sample and store of
// one pixel, and the filtered sample (a separable 5 x 5 Lanczos window at
// 128 sub-pixel phases, optionally mixed with the next level).
#include <algorithm>
#include <type_traits>

#include "composite/picture/lanczos_tables.h"
#include "composite/picture/pyramid_image.h"
#include "composite/picture/pyramid_kind_traits.h"

namespace qf {

using pyramid_detail::addressInside;
using pyramid_detail::channelsToColour;
using pyramid_detail::dispatchKind;
using pyramid_detail::KindTraits;

namespace {

// A colour channel times the input scale, truncated toward zero and limited
// to what the sample can hold (negative values and NaN become 0).
inline uint32_t toSample(float value, float scale, uint32_t largest) {
    const float t = value * scale;
    if (!(t > 0.0f)) return 0;
    if (t >= float(largest)) return largest;
    return uint32_t(t);
}

} // namespace

namespace {

// The colour of the pixel at `p` times the output scale `out`.
template <PyramidKind Kind> FloatRGBA pointColour(const uint8_t* p, float out) {
    using T = KindTraits<Kind>;
    typename T::Sample s[4] = {};
    T::read(p, s);
    FloatRGBA c = channelsToColour<T::channels>(s, 1.0f);
    c.r *= out;
    c.g *= out;
    c.b *= out;
    if (T::channels == 4) c.a *= out;
    return c;
}

} // namespace

FloatRGBA PyramidImage::samplePoint(int32_t x, int32_t y, int32_t lvl) const {
    const PyramidLevel* L = level(lvl);
    if (!L) return FloatRGBA{0.0f, 0.0f, 0.0f, 0.0f};
    x = std::clamp(x, 0, L->lastColumn);
    y = std::clamp(y, 0, L->lastRow);
    const uint8_t* p = addressInside(storage_.tiles(), *L, layout_.info.bytesPerPixel, x, y);
    return dispatchKind(layout_.kind,
                        [&]<PyramidKind Kind>() { return pointColour<Kind>(p, outputScale_); });
}

void PyramidImage::samplePointRow(int32_t x, int32_t y, int32_t lvl, int32_t count,
                                  FloatRGBA* out) const {
    const PyramidLevel* L = level(lvl);
    if (!L) {
        for (int32_t i = 0; i < count; ++i) out[i] = FloatRGBA{0.0f, 0.0f, 0.0f, 0.0f};
        return;
    }
    y = std::clamp(y, 0, L->lastRow);
    const int32_t bytesPerPixel = layout_.info.bytesPerPixel;
    dispatchKind(layout_.kind, [&]<PyramidKind Kind>() {
        int32_t i = 0;
        while (i < count) {
            // Inside the level a run goes on to the tile's edge; outside it
            // the edge pixel stands alone.
            const int64_t wanted = int64_t(x) + i;
            const int32_t column = int32_t(std::clamp<int64_t>(wanted, 0, L->lastColumn));
            int32_t run = 1;
            if (wanted == column) {
                run = std::min({count - i, kPyramidTileSide - (column & (kPyramidTileSide - 1)),
                                L->lastColumn - column + 1});
            }
            const uint8_t* p = addressInside(storage_.tiles(), *L, bytesPerPixel, column, y);
            for (int32_t k = 0; k < run; ++k, p += bytesPerPixel)
                out[i + k] = pointColour<Kind>(p, outputScale_);
            i += run;
        }
        return 0;
    });
}

void PyramidImage::storePixel(int32_t x, int32_t y, int32_t lvl, const FloatRGBA& colour) {
    const PyramidKind kind = layout_.kind;
    if (!pyramidKindIsRGBA(kind)) return;
    uint8_t* p = pixelAddress(x, y, lvl);
    if (!p) return;
    if (kind == PyramidKind::RGBA8) {
        const int32_t s[4] = {int32_t(toSample(colour.r, inputScale_, 255)),
                              int32_t(toSample(colour.g, inputScale_, 255)),
                              int32_t(toSample(colour.b, inputScale_, 255)),
                              int32_t(toSample(colour.a, inputScale_, 255))};
        KindTraits<PyramidKind::RGBA8>::write(p, s);
    } else if (kind == PyramidKind::RGBA16) {
        const int32_t s[4] = {int32_t(toSample(colour.r, inputScale_, 65535)),
                              int32_t(toSample(colour.g, inputScale_, 65535)),
                              int32_t(toSample(colour.b, inputScale_, 65535)),
                              int32_t(toSample(colour.a, inputScale_, 65535))};
        KindTraits<PyramidKind::RGBA16>::write(p, s);
    } else {
        const float s[4] = {colour.r, colour.g, colour.b, colour.a};
        KindTraits<PyramidKind::RGBAFloat>::write(p, s);
    }
}

namespace {

// Splits a pixel position into its centre pixel and sub-pixel phase
// (0..127). Positions are kept within a range where the arithmetic cannot
// overflow; NaN counts as 0. Negative positions round down, so the phase
// stays inside the table.
inline void splitPosition(float fx, int32_t& centre, int32_t& phase) {
    constexpr float kLimit = 1073741824.0f; // 2^30
    if (fx != fx) fx = 0.0f;
    fx = std::clamp(fx, -kLimit, kLimit);
    int32_t g = int32_t(fx);
    if (float(g) > fx) g -= 1;
    int32_t p = int32_t((fx - float(g)) * 128.0f);
    centre = g;
    phase = std::clamp(p, 0, kLanczosPhases - 1);
}

inline int32_t wrapIndex(int32_t i, int32_t size) {
    int32_t m = i % size;
    return m < 0 ? m + size : m;
}

// The 5 x 5 window around the centre pixel, gathered straight from one tile
// when it lies inside the level and one tile, else pixel by pixel with the
// coordinates clamped or wrapped.
template <PyramidKind Kind>
void gatherWindow(const PyramidTile* tiles, const PyramidLevel& L, int32_t wrapMode, int32_t g,
                  int32_t h, typename KindTraits<Kind>::Sample (*win)[5][4]) {
    using T = KindTraits<Kind>;
    const int32_t x0 = g - 2;
    const int32_t y0 = h - 2;
    if (x0 >= 0 && y0 >= 0 && g + 2 <= L.lastColumn && h + 2 <= L.lastRow &&
        (x0 & (kPyramidTileSide - 1)) <= kPyramidTileSide - 5 &&
        (y0 & (kPyramidTileSide - 1)) <= kPyramidTileSide - 5) {
        const uint8_t* base = addressInside(tiles, L, T::bytes, x0, y0);
        for (int r = 0; r < 5; ++r) {
            const uint8_t* row = base + size_t(r) * kPyramidTileSide * T::bytes;
            for (int c = 0; c < 5; ++c) T::read(row + c * T::bytes, win[r][c]);
        }
        return;
    }
    const bool wrapX = wrapMode == kPyramidWrap || wrapMode == kPyramidWrapHorizontal;
    const bool wrapY = wrapMode == kPyramidWrap;
    int32_t cols[5];
    int32_t rows[5];
    for (int i = 0; i < 5; ++i) {
        cols[i] = wrapX ? wrapIndex(x0 + i, L.width) : std::clamp(x0 + i, 0, L.lastColumn);
        rows[i] = wrapY ? wrapIndex(y0 + i, L.height) : std::clamp(y0 + i, 0, L.lastRow);
    }
    for (int r = 0; r < 5; ++r)
        for (int c = 0; c < 5; ++c)
            T::read(addressInside(tiles, L, T::bytes, cols[c], rows[r]), win[r][c]);
}

// The weighted sum of a gathered window. Column c of the window (pixel
// g - 2 + c) takes tap 4 - c, row r likewise.
template <PyramidKind Kind>
FloatRGBA weighWindow(const typename KindTraits<Kind>::Sample (*win)[5][4], int32_t phaseX,
                      int32_t phaseY, float alpha) {
    using T = KindTraits<Kind>;
    constexpr int C = T::channels;
    float result[4] = {};
    if constexpr (std::is_same_v<typename T::Sample, float>) {
        const float* wx = kLanczosTables.weights[phaseX];
        const float* wy = kLanczosTables.weights[phaseY];
        for (int ch = 0; ch < C; ++ch) {
            float sum = 0.0f;
            for (int r = 0; r < 5; ++r) {
                float row = 0.0f;
                for (int c = 0; c < 5; ++c) row += wx[4 - c] * win[r][c][ch];
                sum += wy[4 - r] * row;
            }
            result[ch] = sum;
        }
    } else if constexpr (Kind == PyramidKind::Gray8 || Kind == PyramidKind::RGBA8) {
        // 2048-scaled weights: no phase weighs more than 2428 in absolute
        // sum, so |sum| stays below 255 * 2428^2 < 2^31.
        const int32_t* wx = kLanczosTables.weights2048[phaseX];
        const int32_t* wy = kLanczosTables.weights2048[phaseY];
        for (int ch = 0; ch < C; ++ch) {
            int32_t sum = 0;
            for (int r = 0; r < 5; ++r) {
                int32_t row = 0;
                for (int c = 0; c < 5; ++c) row += wx[4 - c] * win[r][c][ch];
                sum += wy[4 - r] * row;
            }
            // 2^-22, exact before the one rounding
            result[ch] = float(double(sum) * (1.0 / 4194304.0));
        }
    } else {
        // 32768-scaled weights: the sums need 64 bits.
        const int32_t* wx = kLanczosTables.weights32768[phaseX];
        const int32_t* wy = kLanczosTables.weights32768[phaseY];
        for (int ch = 0; ch < C; ++ch) {
            int64_t sum = 0;
            for (int r = 0; r < 5; ++r) {
                int64_t row = 0;
                for (int c = 0; c < 5; ++c) row += int64_t(wx[4 - c]) * win[r][c][ch];
                sum += int64_t(wy[4 - r]) * row;
            }
            result[ch] = float(double(sum) * (1.0 / 1073741824.0)); // 2^-30
        }
    }
    return channelsToColour<C>(result, alpha);
}

} // namespace

FloatRGBA PyramidImage::sampleLevel(int32_t lvl, float u, float v) const {
    const PyramidLevel& L = layout_.levels[lvl];
    const float offset = layout_.border ? 1.0f : 0.0f;
    const float x = u * L.scaleX - 0.5f;
    const float y = v * L.scaleY - 0.5f;
    int32_t g, h, phaseX, phaseY;
    splitPosition(x + 0.5f + offset, g, phaseX);
    splitPosition(y + 0.5f + offset, h, phaseY);
    const PyramidTile* tiles = storage_.tiles();
    const int32_t wrap = wrapMode_;
    const float alpha = inputScale_;
    return dispatchKind(layout_.kind, [&]<PyramidKind Kind>() {
        typename KindTraits<Kind>::Sample win[5][5][4];
        gatherWindow<Kind>(tiles, L, wrap, g, h, win);
        return weighWindow<Kind>(win, phaseX, phaseY, alpha);
    });
}

FloatRGBA PyramidImage::sampleFiltered(int32_t lvl, float fraction, float u, float v) const {
    if (!hasStorage()) return FloatRGBA{0.0f, 0.0f, 0.0f, 0.0f};
    const int32_t last = layout_.lastLevel;
    lvl = std::clamp(lvl, 0, std::max(last - 1, 0));
    FloatRGBA c = sampleLevel(lvl, u, v);
    if (fraction != 0.0f && lvl + 1 <= last) {
        const FloatRGBA n = sampleLevel(lvl + 1, u, v);
        c.r = c.r + fraction * (n.r - c.r);
        c.g = c.g + fraction * (n.g - c.g);
        c.b = c.b + fraction * (n.b - c.b);
        c.a = c.a + fraction * (n.a - c.a);
    }
    const float out = outputScale_;
    return FloatRGBA{c.r * out, c.g * out, c.b * out, c.a * out};
}

FloatRGBA PyramidImage::sampleFilteredAt(int32_t lvl, float fraction, float x, float y) const {
    if (!hasStorage()) return FloatRGBA{0.0f, 0.0f, 0.0f, 0.0f};
    const PyramidLevel& L = layout_.levels[std::clamp(lvl, 0, layout_.lastLevel)];
    return sampleFiltered(lvl, fraction, (x + 0.5f) * L.inverseWidth, (y + 0.5f) * L.inverseHeight);
}

} // namespace qf
