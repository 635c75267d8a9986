#include "render/tile_renderer.h"

#include <cmath>
#include <cstdint>

#include "render/float_index.h"
#include "render/hsl.h"
#include "render/noise_field.h"
#include "render/pattern_settings.h"
#include "render/pixel_lanes.h"

namespace qf {

namespace {

// 2^e for the zoom factor, from basic double arithmetic only so that every
// build computes the same value (runtime libraries differ in their exp2).
// The zoom factors lie at least 0.0046 away from the next integer, far
// beyond the error of this series, so the truncated factor is exact.
double powerOfTwo(double e) {
    const double whole = std::floor(e);
    const double frac = e - whole; // 0 <= frac < 1
    // 2^frac = exp(frac * ln 2) by its Taylor series; 25 terms reach far
    // below double precision for an argument under ln 2.
    const double x = frac * 0.69314718055994530942;
    double term = 1.0;
    double sum = 1.0;
    for (int32_t n = 1; n <= 25; ++n) {
        term = term * x / n;
        sum += term;
    }
    double scale = 1.0;
    const int32_t steps = static_cast<int32_t>(whole);
    for (int32_t i = 0; i < steps; ++i) {
        scale *= 2.0;
    }
    for (int32_t i = 0; i > steps; --i) {
        scale /= 2.0;
    }
    return sum * scale;
}

// NaN counts as 0: settings far outside their ranges can overflow the
// pattern's arithmetic to inf - inf, and every pixel must stay a colour.
template <class V> inline V clampUnit(V v) {
    v = v >= 0.0f ? v : V{};
    return v > 1.0f ? splat<V>(1.0f) : v;
}

// trunc, for every float: from 2^23 on every float is a whole number. Like
// trunc it keeps the sign of a zero (-0.5 gives -0).
inline Lanes truncOf(Lanes v) {
    return absolute(v) < 8388608.0f ? withSignOf(toLanes(truncateLanes(v)), v) : v;
}
inline float truncOf(float v) {
    return std::trunc(v);
}

template <class V> inline V shiftHueOf(V h, float hueShift) {
    h = h + hueShift;
    h = h - truncOf(h);
    return clampUnit(h);
}

// Lays layer colour e over a with weight w: each channel of a moves towards
// a mix that darkens dark values and lightens light ones by e.
inline void mixLayer(Lanes a[3], const Lanes e[3], float w) {
    for (int32_t c = 0; c < 3; ++c) {
        const Lanes av = a[c];
        const Lanes b = av < 0.5f ? 2.0f * av : 2.0f - 2.0f * av;
        const Lanes m = av * (1.0f - b) + b * e[c];
        a[c] = av + (m - av) * w;
    }
}

// The single-precision offsets that move the second and third layer along x.
constexpr float kSecondLayerShift1 = 287.34f;
constexpr float kSecondLayerShift2 = 183.745f;
constexpr float kThirdLayerShift1 = 237.74f;
constexpr float kThirdLayerShift2 = 123.145f;

// The pattern-plane pixel coordinate of area coordinate v with the pan
// already divided by the reduction; summed in 64 bits so that no pan can
// overflow it.
float pixelCoordinate(int32_t v, int32_t pan) {
    return static_cast<float>(int64_t{v} + pan);
}

// `value` - 1 for a list setting (`merge`, `shape`, `stripeKind`), wrapping
// as two's complement instead of overflowing at INT32_MIN.
int32_t lessOne(int32_t value) {
    return static_cast<int32_t>(static_cast<uint32_t>(value) - 1u);
}

} // namespace

int32_t zoomFactor(int32_t zoom) {
    const float inner = static_cast<float>(static_cast<double>(zoom) * 6.0 / 100.0 + 6.0);
    const double e = 7.0 - static_cast<double>(inner);
    // Below 2^-7 the factor truncates to 0: no need to halve millions of
    // times for a `zoom` far above 100.
    if (e < -7.0) {
        return 0;
    }
    // From about `zoom` -390 down the factor no longer fits an int32: it
    // saturates instead of overflowing the conversion.
    if (e > 31.0) {
        return INT32_MAX;
    }
    const double factor = 100.0 * powerOfTwo(e);
    return factor < 2147483648.0 ? static_cast<int32_t>(factor) : INT32_MAX;
}

LayerWeights layerWeights(int32_t complexity) {
    const float a = static_cast<float>(complexity) * 0.02f;
    LayerWeights w{0.0f, 0.0f};
    if (a > 0.0f) {
        w.second = a > 1.0f ? 1.0f : a;
    }
    if (a > 1.0f) {
        w.third = a - 1.0f;
        if (w.third > 1.0f) {
            w.third = 1.0f;
        }
    }
    return w;
}

float shiftHue(float h, float hueShift) {
    return shiftHueOf(h, hueShift);
}

void renderTile(const SettingsRecord& record, const GeneratorState& gen, TileBuffer& buffer) {
    renderTile(patternSettings(record), gen, buffer);
}

void renderTile(const PatternSettings& p, const GeneratorState& gen, TileBuffer& buffer) {
    if (!buffer.valid()) {
        return;
    }
    const float hueShift = static_cast<float>(p.hue) * 0.01f;
    const LayerWeights w = layerWeights(p.complexity);
    const float scale =
        static_cast<float>(zoomFactor(p.zoom)) * 0.001f * static_cast<float>(p.previewZoom);

    const int32_t mergeRule = lessOne(p.merge);
    const int32_t triangleProfile = lessOne(p.stripeKind) & 1;
    const int32_t doubleSmooth = lessOne(p.stripeKind) & 2;
    const int32_t shapeKind = lessOne(p.shape);

    // The pan is in document pixels; the divisions truncate toward zero.
    const int32_t panX = p.previewOffsetX / p.previewZoom;
    const int32_t panY = p.previewOffsetY / p.previewZoom;

    // Layers that are not drawn need no table of recent cells.
    CellOrderCache caches[3] = {CellOrderCache(true), CellOrderCache(w.second > 0.0f),
                                CellOrderCache(w.third > 0.0f)};
    const PaintConstants pc =
        paintConstants(gen, mergeRule, triangleProfile, doubleSmooth, shapeKind);

    // Four pixels of a row at a time, one per lane; at the end of a row the
    // lanes left over repeat its last pixel and are not stored.
    const PixelRect tile = buffer.rect();
    for (int32_t y = tile.top; y < tile.bottom; ++y) {
        const float py = pixelCoordinate(y, panY) * scale;
        FloatRGBA* out = buffer.at(tile.left, y);
        for (int32_t x0 = tile.left; x0 < tile.right; x0 += kLaneCount) {
            const int32_t used = tile.right - x0 < kLaneCount ? tile.right - x0 : kLaneCount;
            Lanes px;
            for (int32_t lane = 0; lane < kLaneCount; ++lane) {
                px[lane] = pixelCoordinate(x0 + (lane < used ? lane : used - 1), panX) * scale;
            }
            Lanes pyLanes = broadcast(py);
            Lanes colour[3];
            cellColours(gen, pc, px, pyLanes, colour, used, caches[0]);
            if (w.second > 0.0f) {
                // Each later layer starts where the previous warp left the
                // point, moved along x only.
                px = (px + kSecondLayerShift1) + kSecondLayerShift2;
                Lanes second[3];
                cellColours(gen, pc, px, pyLanes, second, used, caches[1]);
                mixLayer(colour, second, w.second);
            }
            if (w.third > 0.0f) {
                px = (px + kThirdLayerShift1) + kThirdLayerShift2;
                Lanes third[3];
                cellColours(gen, pc, px, pyLanes, third, used, caches[2]);
                mixLayer(colour, third, w.third);
            }

            HslValues<Lanes> hsl =
                rgbToHsl(clampUnit(colour[0]), clampUnit(colour[1]), clampUnit(colour[2]));
            hsl.h = shiftHueOf(clampUnit(hsl.h), hueShift);
            const RgbValues<Lanes> rgb = hslToRgb(hsl.h, clampUnit(hsl.s), clampUnit(hsl.l));
            const Lanes r = clampUnit(rgb.r);
            const Lanes g = clampUnit(rgb.g);
            const Lanes b = clampUnit(rgb.b);
            // The tile's own pixels always lie inside its buffer.
            for (int32_t lane = 0; lane < used; ++lane, ++out) {
                *out = FloatRGBA{r[lane], g[lane], b[lane], 1.0f};
            }
        }
    }

    uint64_t performed = 0;
    uint64_t skipped = 0;
    for (const CellOrderCache& c : caches) {
        performed += c.sortsPerformed;
        skipped += c.sortsSkipped;
    }
    gen.sortStatistics.add(performed, skipped);
}

} // namespace qf
