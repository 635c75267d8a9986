// A deliberately plain evaluation of the pattern at one point, step by step
// as the algorithm is defined: all 25 candidates computed for every point,
// sorted every time, painted with no shortcuts. The renderer's cellColour
// caches per home cell and drops candidates that cannot reach the cell; the
// two must agree to the last bit.
#pragma once

#include <cmath>
#include <cstdint>

#include "render/generator_setup.h"
#include "render/noise_field.h"
#include "render/shape_paint.h"
#include "render/sort_by_rank.h"
#include "render/warp_noise.h"

namespace qf {}
using namespace qf;

inline void referenceCellColour(const GeneratorState& gen, PatternPoint& point, float colour[3],
                                int32_t mergeRule, bool triangle, bool doubleSmooth,
                                int32_t shapeKind) {
    const NoiseTables& t = gen.tables;
    const GeneratorConstants& g = gen.constants;
    float x = point.x;
    float y = point.y;
    const float nx = t.seededUnits[100] * 50.0f + x;
    const float ny = t.seededUnits[101] * 50.0f + y;
    x += warpNoise(t, nx, ny) * g.warpAmount;
    y += warpNoise(t, nx + 70.0f, ny) * g.warpAmount;
    point = PatternPoint{x, y};

    const int32_t ex = static_cast<int32_t>(x);
    const int32_t ey = static_cast<int32_t>(y);
    int32_t cxs[25], cys[25], ranks[25], order[25];
    float qs[25];
    for (int32_t cx = ex - 2; cx <= ex + 2; ++cx) {
        for (int32_t cy = ey - 2; cy <= ey + 2; ++cy) {
            const int32_t k = 5 * (cx - ex + 2) + (cy - ey + 2);
            const int32_t jx = (31 * cx + 11 * cy + 742) & 2047;
            const int32_t jy = (31 * cy + 11 * cx + 424) & 2047;
            const float px = cx + t.seededBytes[jx] / 256.0f;
            const float py = cy + t.seededBytes[jy] / 256.0f;
            qs[k] = shapeMetricSquared(shapeKind, x - px, y - py);
            ranks[k] = t.rankTable[(cy + 149 * cx) & 2047];
            cxs[k] = cx;
            cys[k] = cy;
            order[k] = k;
        }
    }
    sortByRank(ranks, order, 0, 24);

    colour[0] = colour[1] = colour[2] = 0.0f;
    const float K = g.shapeRadius;
    const float L = g.edgeWidth;
    for (int32_t n = 0; n < 25; ++n) {
        const int32_t k = order[n];
        const float q = qs[k];
        if (!(q < K * K)) {
            continue;
        }
        const float r = std::sqrt(q) / K;
        float a;
        if (r <= 1.0f - L) {
            a = 1.0f;
        } else {
            a = 1.0f / L - r * (1.0f / L);
        }
        a = 1.0f - (1.0f - a) * (1.0f - a);
        const float s = r * g.stripeScale;
        const float f = stripeProfile(s, triangle, doubleSmooth);
        const int32_t* cp = t.channelPermutation;
        const int32_t offsets[3] = {0, 77, 154};
        for (int32_t c = 0; c < 3; ++c) {
            float v = t.channelTable[cp[(cp[cxs[k] & 255] + offsets[c] + cys[k]) & 255]] * f *
                      g.doublureInverse;
            if (v > 1.0f) v = 2.0f - v;
            if (v < 0.0f) v = -v;
            const float w = colour[c];
            colour[c] = mergeChannel(mergeRule, w, v) * a + w * (1.0f - a);
        }
    }
}
