// The per-pixel work of the tile renderer, written once for any lane width:
// the paint of one prepared cell, the colour of a group of points, the
// layer mix and hue rotation, and the loop over a tile's rows. Everything
// here lives in the lane width's own namespace (see pixel_lanes.h); each
// width's source (pattern_kernel_sse2.cpp, pattern_kernel_avx2.cpp) puts
// the loop behind a plain function of tile_kernel.h.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

#include "render/float_index.h"
#include "render/hsl.h"
#include "render/noise_field.h"
#include "render/pixel_lanes.h"
#include "render/shape_paint.h"
#include "render/tile_kernel.h"
#include "render/warp_noise.h"

namespace qf {
inline namespace QF_SIMD_NAMESPACE {
namespace kernel {

// Paints the shapes of one prepared cell at the lanes' points (x, y) and
// stores red, green and blue of each point in `colour`.
using PaintFunction = void (*)(const PreparedCell& cell, const PaintConstants& pc, Lanes x, Lanes y,
                               Lanes colour[3]);

// One channel of one shape laid over the lanes' channel value w where the
// shape covers them: gain, fold, merge, then a mix by the coverage a
// (`keep` is 1 - a).
template <int32_t Rule>
inline void paintChannel(Lanes& w, float gain, Lanes f, float doublureInverse, Lanes a, Lanes keep,
                         LaneMask covered) {
    const Lanes v = foldChannel(broadcast(gain) * f * doublureInverse);
    const Lanes u = mergeChannel(Rule, w, v);
    w = covered ? u * a + w * keep : w;
}

template <int32_t Kind, int32_t Rule, int32_t Profile>
void paintCell(const PreparedCell& cell, const PaintConstants& pc, Lanes x, Lanes y,
               Lanes colour[3]) {
    constexpr bool triangleProfile = (Profile & 1) != 0;
    constexpr bool doubleSmooth = (Profile & 2) != 0;
    Lanes red{};
    Lanes green{};
    Lanes blue{};
    // The cell holds only the shapes that can reach it (prepareCell); a
    // shape that covers none of the lanes costs its metric and one test.
    for (int32_t n = 0; n < cell.shapeCount; ++n) {
        const Lanes q = shapeMetricSquared<Kind>(x - cell.px[n], y - cell.py[n]);
        const LaneMask covered = q < pc.kk;
        if (!anyLane(covered)) {
            continue;
        }
        const Lanes r = squareRoot(q) / pc.k;
        const Lanes a = shapeCoverage(r, pc.solid, pc.invEdge);
        const Lanes f = stripeProfile(r * pc.stripeScale, triangleProfile, doubleSmooth);
        const Lanes keep = 1.0f - a;
        paintChannel<Rule>(red, cell.channel[n][0], f, pc.doublureInverse, a, keep, covered);
        paintChannel<Rule>(green, cell.channel[n][1], f, pc.doublureInverse, a, keep, covered);
        paintChannel<Rule>(blue, cell.channel[n][2], f, pc.doublureInverse, a, keep, covered);
    }
    colour[0] = red;
    colour[1] = green;
    colour[2] = blue;
}

template <int32_t Kind, int32_t Rule> PaintFunction paintForProfile(int32_t profile) {
    switch (profile) {
    case 0:
        return paintCell<Kind, Rule, 0>;
    case 1:
        return paintCell<Kind, Rule, 1>;
    case 2:
        return paintCell<Kind, Rule, 2>;
    default:
        return paintCell<Kind, Rule, 3>;
    }
}

template <int32_t Kind> PaintFunction paintForRule(int32_t rule, int32_t profile) {
    switch (rule) {
    case 0:
        return paintForProfile<Kind, 0>(profile);
    case 1:
        return paintForProfile<Kind, 1>(profile);
    case 2:
        return paintForProfile<Kind, 2>(profile);
    default: // any rule but 0..2 merges as rule 3 (mergeChannel)
        return paintForProfile<Kind, 3>(profile);
    }
}

// The paint for the constants' shape, merge rule and stripe profile.
inline PaintFunction paintFor(const PaintConstants& pc) {
    switch (pc.shapeKind) {
    case kCircles:
        return paintForRule<kCircles>(pc.mergeRule, pc.profile);
    case kDiamonds:
        return paintForRule<kDiamonds>(pc.mergeRule, pc.profile);
    case kSquares:
        return paintForRule<kSquares>(pc.mergeRule, pc.profile);
    case kOctagons:
        return paintForRule<kOctagons>(pc.mergeRule, pc.profile);
    case kTVs:
        return paintForRule<kTVs>(pc.mergeRule, pc.profile);
    case kFleurons:
        return paintForRule<kFleurons>(pc.mergeRule, pc.profile);
    default:
        return paintForRule<kPoints>(pc.mergeRule, pc.profile);
    }
}

// cellColour for a group of points at once: the points in lanes x and y
// (warped in place), the colours in `colour`. Only the first `used` lanes
// (1..kLaneCount) count as points in the cache's statistics; the other
// lanes must repeat the last used point. Each lane gets exactly the bits
// cellColour gives its point.
inline void cellColours(const GeneratorState& gen, const PaintConstants& pc, PaintFunction paint,
                        Lanes& x, Lanes& y, Lanes colour[3], int32_t used, CellOrderCache& cache) {
    // Warp: both samples start from the same noise coordinates, the second
    // shifted by 70 along x.
    const NoiseTables& t = gen.tables;
    const Lanes nx = pc.warpShiftX + x;
    const Lanes ny = pc.warpShiftY + y;
    x += warpNoise(t, nx, ny) * pc.warpAmount;
    y += warpNoise(t, nx + 70.0f, ny) * pc.warpAmount;

    // Home cells by truncation toward zero: cells -1 and 0 share home 0.
    const LaneInts ex = truncToIndex(x);
    const LaneInts ey = truncToIndex(y);
    for (int32_t lane = 0; lane < used; ++lane) {
        cache.countPoint(gen, ex[lane], ey[lane], pc.shapeKind);
    }

    // Usually all the points share their home cell and are painted in one
    // pass; otherwise one pass per cell, each kept for its own lanes.
    uint32_t painted = 0;
    for (int32_t lane = 0; lane < used; ++lane) {
        if ((painted >> lane) & 1u) {
            continue;
        }
        const PreparedCell& cell = cache.cellFor(gen, ex[lane], ey[lane], pc.shapeKind);
        const LaneMask same = (ex == ex[lane]) & (ey == ey[lane]);
        const uint32_t lanes = laneBits(same);
        if (lanes == kAllLanes) {
            paint(cell, pc, x, y, colour);
            return;
        }
        Lanes part[3];
        paint(cell, pc, x, y, part);
        for (int32_t c = 0; c < 3; ++c) {
            colour[c] = same ? part[c] : colour[c];
        }
        painted |= lanes;
    }
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
inline float pixelCoordinate(int32_t v, int32_t pan) {
    return static_cast<float>(int64_t{v} + pan);
}

// Sums of a coordinate and a pan below this (in magnitude) leave room for
// the lanes' offsets within an int32.
constexpr int64_t kExactSum = int64_t{1} << 30;

// kLaneCount pixels of a row at a time, one per lane; at the end of a row
// the lanes left over repeat its last pixel and are not stored.
inline void renderTileRows(const TileKernelArgs& k) {
    const GeneratorState& gen = *k.gen;
    const PaintConstants& pc = k.pc;
    const PaintFunction paint = paintFor(pc);
    const PixelRect tile = k.tile;
    for (int32_t y = tile.top; y < tile.bottom; ++y) {
        const float py = pixelCoordinate(y, k.panY) * k.scale;
        FloatRGBA* out = k.pixels + static_cast<ptrdiff_t>(y - tile.top) * k.stride;
        for (int32_t x0 = tile.left; x0 < tile.right; x0 += kLaneCount) {
            const int32_t used = tile.right - x0 < kLaneCount ? tile.right - x0 : kLaneCount;
            Lanes px;
            const int64_t first = int64_t{x0} + k.panX;
            if (first > -kExactSum && first < kExactSum) {
                // The sums fit an int32 and convert as the 64-bit ones do;
                // built in the register (lane by lane through memory stalls
                // the load that follows).
                const LaneInts lane = laneIndices();
                const LaneInts sum = static_cast<int32_t>(first) + (lane < used ? lane : used - 1);
                px = toLanes(sum) * k.scale;
            } else {
                for (int32_t lane = 0; lane < kLaneCount; ++lane) {
                    px[lane] =
                        pixelCoordinate(x0 + (lane < used ? lane : used - 1), k.panX) * k.scale;
                }
            }
            Lanes pyLanes = broadcast(py);
            Lanes colour[3];
            cellColours(gen, pc, paint, px, pyLanes, colour, used, *k.caches[0]);
            if (k.secondWeight > 0.0f) {
                // Each later layer starts where the previous warp left the
                // point, moved along x only.
                px = (px + kSecondLayerShift1) + kSecondLayerShift2;
                Lanes second[3];
                cellColours(gen, pc, paint, px, pyLanes, second, used, *k.caches[1]);
                mixLayer(colour, second, k.secondWeight);
            }
            if (k.thirdWeight > 0.0f) {
                px = (px + kThirdLayerShift1) + kThirdLayerShift2;
                Lanes third[3];
                cellColours(gen, pc, paint, px, pyLanes, third, used, *k.caches[2]);
                mixLayer(colour, third, k.thirdWeight);
            }

            HslValues<Lanes> hsl =
                rgbToHsl(clampUnit(colour[0]), clampUnit(colour[1]), clampUnit(colour[2]));
            hsl.h = shiftHueOf(clampUnit(hsl.h), k.hueShift);
            const RgbValues<Lanes> rgb = hslToRgb(hsl.h, clampUnit(hsl.s), clampUnit(hsl.l));
            const Lanes r = clampUnit(rgb.r);
            const Lanes g = clampUnit(rgb.g);
            const Lanes b = clampUnit(rgb.b);
            for (int32_t lane = 0; lane < used; ++lane, ++out) {
                *out = FloatRGBA{r[lane], g[lane], b[lane], 1.0f};
            }
        }
    }
}

} // namespace kernel
} // namespace QF_SIMD_NAMESPACE
} // namespace qf
