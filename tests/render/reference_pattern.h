// A deliberately plain evaluation of the pattern at one point, step by step
// as the algorithm is defined: all 25 candidates computed for every point,
// sorted every time, painted with no shortcuts. The renderer's cellColour
// caches per home cell and drops candidates that cannot reach the cell; the
// two must agree to the last bit.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "render/generator_setup.h"
#include "render/noise_field.h"
#include "render/shape_paint.h"
#include "render/sort_by_rank.h"
#include "render/tile_renderer.h"
#include "render/warp_noise.h"
#include "values/settings_record.h"

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

// The generated colour of pixel (x, y) as the tile renderer defines it, one
// pixel at a time with plain branches: layers from referenceCellColour,
// mixed by `complexity`, clamped, the hue rotated through a plain HSL
// round trip, clamped again.
inline FloatRGBA referencePixel(const GeneratorState& gen, const SettingsRecord& s, int32_t x,
                                int32_t y) {
    const auto unit = [](float v) { return v > 1.0f ? 1.0f : (v >= 0.0f ? v : 0.0f); };
    const int32_t previewZoom = s.previewZoom < 1 ? 1 : s.previewZoom;
    const float scale =
        static_cast<float>(zoomFactor(s.zoom)) * 0.001f * static_cast<float>(previewZoom);
    PatternPoint p{static_cast<float>(int64_t{x} + s.previewOffsetX / previewZoom) * scale,
                   static_cast<float>(int64_t{y} + s.previewOffsetY / previewZoom) * scale};
    const int32_t kind = s.stripeKind - 1;
    float c[3];
    referenceCellColour(gen, p, c, s.merge - 1, (kind & 1) != 0, (kind & 2) != 0, s.shape - 1);
    const LayerWeights w = layerWeights(s.complexity);
    const float shifts[2][2] = {{287.34f, 183.745f}, {237.74f, 123.145f}};
    const float weights[2] = {w.second, w.third};
    for (int32_t layer = 0; layer < 2; ++layer) {
        if (!(weights[layer] > 0.0f)) continue;
        p.x = (p.x + shifts[layer][0]) + shifts[layer][1];
        float e[3];
        referenceCellColour(gen, p, e, s.merge - 1, (kind & 1) != 0, (kind & 2) != 0, s.shape - 1);
        for (int32_t ch = 0; ch < 3; ++ch) {
            const float a = c[ch];
            const float b = a < 0.5f ? 2.0f * a : 2.0f - 2.0f * a;
            const float m = a * (1.0f - b) + b * e[ch];
            c[ch] = a + (m - a) * weights[layer];
        }
    }
    const float r = unit(c[0]), g = unit(c[1]), b = unit(c[2]);

    // RGB to HSL.
    const float mx = std::max({r, g, b});
    const float mn = std::min({r, g, b});
    float h = 0.0f, sat = 0.0f;
    const float l = (mx + mn) / 2.0f;
    const float d = mx - mn;
    if (l > 0.0f && d > 0.0f) {
        sat = l <= 0.5f ? d / (mx + mn) : d / (2.0f - mx - mn);
        const float rc = (mx - r) / d, gc = (mx - g) / d, bc = (mx - b) / d;
        if (r == mx) {
            h = g == mn ? 5.0f + bc : 1.0f - gc;
        } else if (g == mx) {
            h = b == mn ? 1.0f + rc : 3.0f - bc;
        } else {
            h = r == mn ? 3.0f + gc : 5.0f - rc;
        }
        h = h * 0.16666667f;
    }
    h = unit(h) + static_cast<float>(s.hue) * 0.01f;
    h = unit(h - std::trunc(h));

    // HSL to RGB.
    const float ls = unit(l), ss = unit(sat);
    const float v = ls <= 0.5f ? ls * (1.0f + ss) : ls + ss - ls * ss;
    const float m = ls + ls - v;
    float out[3] = {0.0f, 0.0f, 0.0f};
    if (v > 0.0f) {
        const float sv = (v - m) / v;
        const float h6 = h * 6.0f;
        const int32_t sextant = h6 >= 0.0f && h6 < 6.0f ? static_cast<int32_t>(h6) : 0;
        const float t = v * sv * (h6 - static_cast<float>(sextant));
        const float up = m + t, down = v - t;
        const float table[6][3] = {{v, up, m},   {down, v, m}, {m, v, up},
                                   {m, down, v}, {up, m, v},   {v, m, down}};
        for (int32_t ch = 0; ch < 3; ++ch) out[ch] = table[sextant][ch];
    }
    return FloatRGBA{unit(out[0]), unit(out[1]), unit(out[2]), 1.0f};
}
