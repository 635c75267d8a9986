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
#include <limits>

#include "render/block_sort.h"
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

// The first `used` lanes of v stored from p on (float or int lanes).
template <class T, class V> inline void storeRun(T* p, V v, int32_t used) {
    if (used == kLaneCount) {
        storeUnaligned(p, v);
        return;
    }
    for (int32_t lane = 0; lane < used; ++lane) {
        p[lane] = v[lane];
    }
}

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
    w = blendLanes(covered, u * a + w * keep, w);
}

// The shapes of `cell` that may cover one of the lanes' points, one bit per
// shape (bit n for shape n). Each shape is tested once against the box
// around all the points: its metric at the offset (dx, dy) from the box's
// nearest edge. For every metric but the fleurons' each step of the metric
// only grows with |dx| and |dy|, and a rounded float operation keeps that
// order, so the metric at the box edge is at most the metric computed at
// any point inside: a shape whose edge value is not below K * K covers
// none of the points, exactly as its own test would find. Fleurons and
// points that are not finite keep every shape (`all`, a bit for each of
// the cell's shapes).
template <int32_t Kind>
uint32_t shapesNear(const PreparedCell& cell, const PaintConstants& pc, Lanes x, Lanes y,
                    uint32_t all) {
    if constexpr (Kind == kFleurons) {
        return all;
    } else {
        constexpr float kFinite = std::numeric_limits<float>::infinity();
        if (!lanesWithin(x, kFinite) || !lanesWithin(y, kFinite)) {
            return all;
        }
        const Lanes minX = extremeLane<true>(x);
        const Lanes maxX = extremeLane<false>(x);
        const Lanes minY = extremeLane<true>(y);
        const Lanes maxY = extremeLane<false>(y);
        uint32_t near = 0;
        for (int32_t n = 0; n < cell.shapeCount; n += kLaneCount) {
            const Lanes px = loadUnaligned(cell.px + n);
            const Lanes py = loadUnaligned(cell.py + n);
            const Lanes dx = larger(larger(minX - px, px - maxX), Lanes{});
            const Lanes dy = larger(larger(minY - py, py - maxY), Lanes{});
            const Lanes q = shapeMetricSquared<Kind>(dx, dy);
            near |= lanesBelow(q, pc.kk) << n;
        }
        return near & all;
    }
}

template <int32_t Kind, int32_t Rule, int32_t Profile>
void paintCell(const PreparedCell& cell, const PaintConstants& pc, Lanes x, Lanes y,
               Lanes colour[3]) {
    constexpr bool triangleProfile = (Profile & 1) != 0;
    constexpr bool doubleSmooth = (Profile & 2) != 0;
    // The cell holds only the shapes that can reach it (prepareCell), and
    // with nearShapesOnly only the ones near the lanes' points are tested
    // (in paint order); a shape that covers none of the lanes costs its
    // metric, its radius and one test.
    const uint32_t all = (uint32_t{1} << cell.shapeCount) - 1u;
    uint32_t near = pc.nearShapesOnly ? shapesNear<Kind>(cell, pc, x, y, all) : all;
    // First the normalised radius of every near shape, the shapes that
    // cover a lane kept in paint order (without a branch on the test, so
    // the square roots and divisions of one shape overlap the next's), then
    // the paint of those.
    Lanes radius[PreparedCell::kPaddedCount];
    LaneMask coveredLanes[PreparedCell::kPaddedCount];
    int32_t shape[PreparedCell::kPaddedCount];
    int32_t count = 0;
    while (near != 0) {
        const int32_t n = __builtin_ctz(near);
        near &= near - 1u;
        const Lanes q = shapeMetricSquared<Kind>(x - cell.px[n], y - cell.py[n]);
        const LaneMask covered = q < pc.kk;
        radius[count] = squareRoot(q) / pc.k;
        coveredLanes[count] = covered;
        shape[count] = n;
        count += anyLane(covered) ? 1 : 0;
    }
    Lanes red{};
    Lanes green{};
    Lanes blue{};
    for (int32_t i = 0; i < count; ++i) {
        const float* channel = cell.channel[shape[i]];
        const LaneMask covered = coveredLanes[i];
        const Lanes r = radius[i];
        const Lanes a = shapeCoverage(r, pc.solid, pc.invEdge);
        const Lanes f = stripeProfile(r * pc.stripeScale, triangleProfile, doubleSmooth);
        const Lanes keep = 1.0f - a;
        paintChannel<Rule>(red, channel[0], f, pc.doublureInverse, a, keep, covered);
        paintChannel<Rule>(green, channel[1], f, pc.doublureInverse, a, keep, covered);
        paintChannel<Rule>(blue, channel[2], f, pc.doublureInverse, a, keep, covered);
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

// Paints warped points (x, y) with home cells (ex, ey). Usually all the
// points share their home cell and are painted in one pass; otherwise one
// pass per cell, each kept for its own lanes.
inline void paintLanes(const GeneratorState& gen, const PaintConstants& pc, PaintFunction paint,
                       Lanes x, Lanes y, LaneInts ex, LaneInts ey, Lanes colour[3], int32_t used,
                       CellOrderCache& cache) {
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

// The lanes whose home cell (ex, ey) is another than their left
// neighbour's, one bit each (lane 0's bit means nothing).
inline uint32_t cellChanges(LaneInts ex, LaneInts ey) {
    return laneBits((ex != previousLanes(ex)) | (ey != previousLanes(ey)));
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
    Lanes along;
    Lanes across;
    warpNoisePair(t, nx, ny, along, across);
    x += along * pc.warpAmount;
    y += across * pc.warpAmount;

    // Home cells by truncation toward zero: cells -1 and 0 share home 0.
    const LaneInts ex = truncToIndex(x);
    const LaneInts ey = truncToIndex(y);
    int32_t columns[kLaneCount];
    int32_t rows[kLaneCount];
    storeUnaligned(columns, ex);
    storeUnaligned(rows, ey);
    cache.countChanges(gen, columns, rows, used, cellChanges(ex, ey), pc.shapeKind);

    paintLanes(gen, pc, paint, x, y, ex, ey, colour, used, cache);
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

// Lanes first .. first + 3 of v in an SSE register.
inline __m128 quarterOf(Lanes v, int32_t first) {
    __m128 q;
    std::memcpy(&q, reinterpret_cast<const float*>(&v) + first, sizeof q);
    return q;
}

// The layers' mix of one group of lanes turned into the stored colours:
// clamped, the hue rotated, clamped again, alpha 1.
inline void storeFinished(FloatRGBA* out, const Lanes colour[3], float hueShift, int32_t used) {
    HslValues<Lanes> hsl =
        rgbToHsl(clampUnit(colour[0]), clampUnit(colour[1]), clampUnit(colour[2]));
    hsl.h = shiftHueOf(clampUnit(hsl.h), hueShift);
    const RgbValues<Lanes> rgb = hslToRgb(hsl.h, clampUnit(hsl.s), clampUnit(hsl.l));
    const Lanes r = clampUnit(rgb.r);
    const Lanes g = clampUnit(rgb.g);
    const Lanes b = clampUnit(rgb.b);
    if (used == kLaneCount) {
        // Four pixels at a time, turned from channels into pixels in
        // registers.
        static_assert(sizeof(FloatRGBA) == 4 * sizeof(float), "FloatRGBA is four floats");
        for (int32_t lane = 0; lane < kLaneCount; lane += 4) {
            __m128 red = quarterOf(r, lane);
            __m128 green = quarterOf(g, lane);
            __m128 blue = quarterOf(b, lane);
            __m128 alpha = _mm_set1_ps(1.0f);
            _MM_TRANSPOSE4_PS(red, green, blue, alpha);
            float* p = &out[lane].r;
            _mm_storeu_ps(p, red);
            _mm_storeu_ps(p + 4, green);
            _mm_storeu_ps(p + 8, blue);
            _mm_storeu_ps(p + 12, alpha);
        }
        return;
    }
    for (int32_t lane = 0; lane < used; ++lane) {
        out[lane] = FloatRGBA{r[lane], g[lane], b[lane], 1.0f};
    }
}

// The lanes of pixels i .. i + used - 1, the last repeated in the lanes
// beyond (as the row loop fills them).
inline Lanes loadRun(const float* p, int32_t used) {
    Lanes v = loadUnaligned(p);
    if (used < kLaneCount) {
        const LaneInts lane = laneIndices();
        v = lane < used ? v : broadcast(p[used - 1]);
    }
    return v;
}

// Where a full group holds neighbouring columns of two rows (the top row's
// pixel p, the bottom row's q, then p + 1, q + 1 and so on, as sortByCell
// lays a band out), its colours go to the two rows as two runs of half a
// group each, instead of lane by lane. False, storing nothing, for any
// other group (and always for sixteen lanes).
inline bool storePairedColumns(BlockScratch& s, int32_t i, const Lanes colour[3]) {
#if defined(QF_SIMD_AVX512)
    (void)s;
    (void)i;
    (void)colour;
    return false;
#else
    const int32_t top = s.order[i];
    const int32_t bottom = s.order[i + 1];
    const __m128i counted = pairedColumns(top, bottom);
#if defined(QF_SIMD_AVX2)
    const __m128i order = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s.order + i));
    if (_mm_movemask_epi8(_mm_cmpeq_epi16(counted, order)) != 0xFFFF) {
        return false;
    }
    const __m256i split = _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7);
    for (int32_t ch = 0; ch < 3; ++ch) {
        const __m256 v = _mm256_permutevar8x32_ps(reinterpret_cast<__m256>(colour[ch]), split);
        _mm_storeu_ps(s.layer[ch] + top, _mm256_castps256_ps128(v));
        _mm_storeu_ps(s.layer[ch] + bottom, _mm256_extractf128_ps(v, 1));
    }
#else
    const __m128i order = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(s.order + i));
    if ((_mm_movemask_epi8(_mm_cmpeq_epi16(counted, order)) & 0xFF) != 0xFF) {
        return false;
    }
    for (int32_t ch = 0; ch < 3; ++ch) {
        const __m128 c = reinterpret_cast<__m128>(colour[ch]);
        const __m128 v = _mm_shuffle_ps(c, c, _MM_SHUFFLE(3, 1, 2, 0));
        _mm_storel_pi(reinterpret_cast<__m64*>(s.layer[ch] + top), v);
        _mm_storeh_pi(reinterpret_cast<__m64*>(s.layer[ch] + bottom), v);
    }
#endif
    return true;
#endif
}

// Paints the block's warped points into s.layer, cell by cell.
inline void paintByCell(BlockScratch& s, int32_t cells, const GeneratorState& gen,
                        const PaintConstants& pc, PaintFunction paint, CellOrderCache& cache) {
    for (int32_t c = 0; c < cells; ++c) {
        const PreparedCell& cell = cache.cellFor(gen, s.cellX[c], s.cellY[c], pc.shapeKind);
        for (int32_t i = s.start[c]; i < s.start[c + 1]; i += kLaneCount) {
            const int32_t used = s.start[c + 1] - i < kLaneCount ? s.start[c + 1] - i : kLaneCount;
            Lanes colour[3];
            paint(cell, pc, loadRun(s.sortedX + i, used), loadRun(s.sortedY + i, used), colour);
            if (used == kLaneCount && storePairedColumns(s, i, colour)) {
                continue;
            }
            for (int32_t lane = 0; lane < used; ++lane) {
                const int32_t p = s.order[i + lane];
                s.layer[0][p] = colour[0][lane];
                s.layer[1][p] = colour[1][lane];
                s.layer[2][p] = colour[2][lane];
            }
        }
    }
}

// Paints the block's warped points into s.layer a row's group of lanes at a
// time, once per home cell among the group's lanes.
inline void paintByGroup(BlockScratch& s, const PixelRect& tile, int32_t rows,
                         const GeneratorState& gen, const PaintConstants& pc, PaintFunction paint,
                         CellOrderCache& cache) {
    const int32_t width = tile.right - tile.left;
    for (int32_t row = 0; row < rows; ++row) {
        for (int32_t c0 = 0; c0 < width; c0 += kLaneCount) {
            const int32_t used = width - c0 < kLaneCount ? width - c0 : kLaneCount;
            const int32_t i = row * width + c0;
            const Lanes x = loadRun(s.x + i, used);
            const Lanes y = loadRun(s.y + i, used);
            LaneInts ex;
            LaneInts ey;
            for (int32_t lane = 0; lane < kLaneCount; ++lane) {
                const int32_t p = i + (lane < used ? lane : used - 1);
                ex[lane] = s.ex[p];
                ey[lane] = s.ey[p];
            }
            Lanes colour[3] = {};
            paintLanes(gen, pc, paint, x, y, ex, ey, colour, used, cache);
            for (int32_t ch = 0; ch < 3; ++ch) {
                storeRun(s.layer[ch] + i, colour[ch], used);
            }
        }
    }
}

// One layer of a block of `rows` rows from tile.top: warps the points
// (the first layer's from the pixel coordinates, a later one's from where
// the previous warp left them, moved along x by shift1 then shift2),
// paints them into s.layer.
inline void blockLayer(BlockScratch& s, const TileKernelArgs& k, const PixelRect& tile,
                       int32_t rows, int32_t layerIndex, float shift1, float shift2,
                       PaintFunction paint) {
    const GeneratorState& gen = *k.gen;
    const PaintConstants& pc = k.pc;
    CellOrderCache& cache = *k.caches[layerIndex];
    const NoiseTables& t = gen.tables;
    const int32_t width = tile.right - tile.left;
    s.runs = 0;
    for (int32_t row = 0; row < rows; ++row) {
        s.rowRun[row] = static_cast<int16_t>(s.runs);
        const float py = pixelCoordinate(tile.top + row, k.panY) * k.scale;
        for (int32_t c0 = 0; c0 < width; c0 += kLaneCount) {
            const int32_t x0 = tile.left + c0;
            const int32_t used = width - c0 < kLaneCount ? width - c0 : kLaneCount;
            const int32_t i = row * width + c0;
            Lanes x;
            Lanes y;
            if (layerIndex == 0) {
                const int64_t first = int64_t{x0} + k.panX;
                if (first > -kExactSum && first < kExactSum) {
                    // The sums fit an int32 and convert as the 64-bit ones
                    // do; built in the register (lane by lane through
                    // memory stalls the load that follows).
                    const LaneInts lane = laneIndices();
                    const LaneInts sum =
                        static_cast<int32_t>(first) + (lane < used ? lane : used - 1);
                    x = toLanes(sum) * k.scale;
                } else {
                    for (int32_t lane = 0; lane < kLaneCount; ++lane) {
                        x[lane] =
                            pixelCoordinate(x0 + (lane < used ? lane : used - 1), k.panX) * k.scale;
                    }
                }
                y = broadcast(py);
            } else {
                // Each later layer starts where the previous warp left the
                // point, moved along x only.
                x = (loadRun(s.x + i, used) + shift1) + shift2;
                y = loadRun(s.y + i, used);
            }
            // Warp: both samples start from the same noise coordinates, the
            // second shifted by 70 along x.
            const Lanes nx = pc.warpShiftX + x;
            const Lanes ny = pc.warpShiftY + y;
            Lanes along;
            Lanes across;
            warpNoisePair(t, nx, ny, along, across);
            x += along * pc.warpAmount;
            y += across * pc.warpAmount;
            storeRun(s.x + i, x, used);
            storeRun(s.y + i, y, used);
            // Home cells by truncation toward zero: cells -1 and 0 share
            // home 0.
            const LaneInts ex = truncToIndex(x);
            const LaneInts ey = truncToIndex(y);
            storeRun(s.ex + i, ex, used);
            storeRun(s.ey + i, ey, used);
            const uint32_t moved = cellChanges(ex, ey);
            cache.countChanges(gen, &s.ex[i], &s.ey[i], used, moved, pc.shapeKind);
            for (uint32_t starts = (moved | 1u) & ((uint32_t{1} << used) - 1u); starts != 0;
                 starts &= starts - 1u) {
                s.runStart[s.runs++] = static_cast<int16_t>(i + __builtin_ctz(starts));
            }
        }
    }
    s.rowRun[rows] = static_cast<int16_t>(s.runs);
    int32_t cells = 0;
    if (sortByCell(s, rows, width, cells)) {
        paintByCell(s, cells, gen, pc, paint, cache);
    } else {
        paintByGroup(s, tile, rows, gen, pc, paint, cache);
    }
}

// kLaneCount pixels of a row at a time; at the end of a row the lanes left
// over repeat its last pixel and are not stored. Used where cells are large
// and for rows too wide for a block.
inline void renderByRows(const TileKernelArgs& k, PaintFunction paint) {
    const GeneratorState& gen = *k.gen;
    const PaintConstants& pc = k.pc;
    const PixelRect tile = k.tile;
    for (int32_t y = tile.top; y < tile.bottom; ++y) {
        const float py = pixelCoordinate(y, k.panY) * k.scale;
        FloatRGBA* out = k.pixels + static_cast<ptrdiff_t>(y - tile.top) * k.stride;
        for (int32_t x0 = tile.left; x0 < tile.right; x0 += kLaneCount) {
            const int32_t used = tile.right - x0 < kLaneCount ? tile.right - x0 : kLaneCount;
            Lanes px;
            for (int32_t lane = 0; lane < kLaneCount; ++lane) {
                px[lane] = pixelCoordinate(x0 + (lane < used ? lane : used - 1), k.panX) * k.scale;
            }
            Lanes pyLanes = broadcast(py);
            Lanes colour[3];
            cellColours(gen, pc, paint, px, pyLanes, colour, used, *k.caches[0]);
            if (k.secondWeight > 0.0f) {
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
            storeFinished(out, colour, k.hueShift, used);
            out += used;
        }
    }
}

// Cells at least this many pixels wide are painted row by row: a group of
// lanes seldom spans two of them, and sorting the points by cell would cost
// more than it saves (measured with bench_render_tile and bench_preview).
constexpr int32_t kBlockThreshold = 32;

inline void renderTileRows(const TileKernelArgs& k) {
    const PaintFunction paint = paintFor(k.pc);
    const PixelRect tile = k.tile;
    const int32_t width = tile.right - tile.left;
    if (width <= 0 || tile.bottom <= tile.top) {
        return;
    }
    if (width > kBlockPixels || !(k.scale * float(kBlockThreshold) > 1.0f)) {
        renderByRows(k, paint);
        return;
    }
    const int32_t blockRows = kBlockPixels / width;
    TileKernelArgs blockArgs = k;
    blockArgs.pc.nearShapesOnly = true;
    BlockScratch s;
    // Groups of lanes are loaded up to kLaneCount - 1 places past a block's
    // last pixel (and those lanes never stored): keep them defined.
    std::memset(s.colour, 0, sizeof s.colour);
    std::memset(s.layer, 0, sizeof s.layer);
    std::memset(s.sortedX, 0, sizeof s.sortedX);
    std::memset(s.sortedY, 0, sizeof s.sortedY);
    const float weights[3] = {1.0f, k.secondWeight, k.thirdWeight};
    const float shifts[3][2] = {{0.0f, 0.0f},
                                {kSecondLayerShift1, kSecondLayerShift2},
                                {kThirdLayerShift1, kThirdLayerShift2}};
    // (Counted from the tile's top: a tile may end at INT32_MAX.)
    const int32_t height = tile.bottom - tile.top;
    for (int32_t done = 0; done < height; done += blockRows) {
        const int32_t rows = height - done < blockRows ? height - done : blockRows;
        const int32_t top = tile.top + done;
        const PixelRect block{top, tile.left, top + rows, tile.right};
        const int32_t n = rows * width;
        for (int32_t layer = 0; layer < 3; ++layer) {
            if (!(weights[layer] > 0.0f)) {
                continue;
            }
            blockLayer(s, blockArgs, block, rows, layer, shifts[layer][0], shifts[layer][1], paint);
            if (layer == 0) {
                for (int32_t ch = 0; ch < 3; ++ch) {
                    std::memcpy(s.colour[ch], s.layer[ch], sizeof(float) * size_t(n));
                }
                continue;
            }
            for (int32_t i = 0; i < n; i += kLaneCount) {
                Lanes a[3];
                Lanes e[3];
                for (int32_t ch = 0; ch < 3; ++ch) {
                    a[ch] = loadUnaligned(s.colour[ch] + i);
                    e[ch] = loadUnaligned(s.layer[ch] + i);
                }
                mixLayer(a, e, weights[layer]);
                for (int32_t ch = 0; ch < 3; ++ch) {
                    storeRun(s.colour[ch] + i, a[ch], kLaneCount);
                }
            }
        }
        for (int32_t row = 0; row < rows; ++row) {
            FloatRGBA* out = k.pixels + static_cast<ptrdiff_t>(top + row - tile.top) * k.stride;
            for (int32_t c0 = 0; c0 < width; c0 += kLaneCount) {
                const int32_t used = width - c0 < kLaneCount ? width - c0 : kLaneCount;
                const int32_t i = row * width + c0;
                const Lanes colour[3] = {loadUnaligned(s.colour[0] + i),
                                         loadUnaligned(s.colour[1] + i),
                                         loadUnaligned(s.colour[2] + i)};
                storeFinished(out + c0, colour, k.hueShift, used);
            }
        }
    }
}

} // namespace kernel
} // namespace QF_SIMD_NAMESPACE
} // namespace qf
