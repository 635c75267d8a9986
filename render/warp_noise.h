// The warp noise: two-dimensional gradient noise (the reference improved
// noise on the plane z = 0) with the seeded permutation and the warp
// gradients of NoiseTables. Roughly -1..1. Single precision throughout.
#pragma once

#include <cmath>

#include "render/float_index.h"
#include "render/noise_tables.h"

namespace qf {

namespace warp_detail {

inline float fade(float t) {
    return t * t * t * (t * (6.0f * t - 15.0f) + 10.0f);
}

inline float lerp(float p, float q, float t) {
    return p + (q - p) * t;
}

inline float corner(const NoiseTables& t, int32_t hash, float u, float v) {
    const float* g = t.warpGradients[hash & 15];
    return g[0] * u + g[1] * v;
}

} // namespace warp_detail

inline float warpNoise(const NoiseTables& t, float x, float y) {
    using namespace warp_detail;
    const float fx0 = std::floor(x);
    const float fy0 = std::floor(y);
    const float fx = x - fx0;
    const float fy = y - fy0;
    const int32_t xi = truncToIndex(fx0) & 255;
    const int32_t yi = truncToIndex(fy0) & 255;
    const int32_t* p = t.warpPermutation;
    const int32_t a = p[xi];
    const int32_t b = p[xi + 1];
    const int32_t h00 = p[p[a + yi]];
    const int32_t h10 = p[p[b + yi]];
    const int32_t h01 = p[p[a + yi + 1]];
    const int32_t h11 = p[p[b + yi + 1]];
    const float u = fade(fx);
    const float top = lerp(corner(t, h00, fx, fy), corner(t, h10, fx - 1.0f, fy), u);
    const float bottom =
        lerp(corner(t, h01, fx, fy - 1.0f), corner(t, h11, fx - 1.0f, fy - 1.0f), u);
    return lerp(top, bottom, fade(fy));
}

} // namespace qf
