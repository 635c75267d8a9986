// The warp noise: two-dimensional gradient noise (the reference improved
// noise on the plane z = 0) with the seeded permutation and the warp
// gradients of NoiseTables. Roughly -1..1. Single precision throughout.
#pragma once

#include <cmath>

#include "render/float_index.h"
#include "render/noise_tables.h"
#include "render/pixel_lanes.h"

namespace qf {
inline namespace QF_SIMD_NAMESPACE {

namespace warp_detail {

template <class V> inline V fade(V t) {
    return t * t * t * (t * (6.0f * t - 15.0f) + 10.0f);
}

template <class V> inline V lerp(V p, V q, V t) {
    return p + (q - p) * t;
}

template <class V> inline V corner(V gx, V gy, V u, V v) {
    return gx * u + gy * v;
}

// floor, for every float: from 2^23 on every float is a whole number.
inline float floorOf(float v) {
    return std::floor(v);
}
inline Lanes floorOf(Lanes v) {
#if defined(QF_SIMD_AVX2)
    // The rounding instruction's floor is IEEE floor for every float (-0,
    // NaN and the infinities included), as the steps below are.
    return reinterpret_cast<Lanes>(_mm256_round_ps(reinterpret_cast<NativeLanes>(v),
                                                   _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC));
#else
    return absolute(v) < 8388608.0f ? floorLanes(v) : v;
#endif
}

// The hashed gradients of the four corners of the lattice square at
// (xi, yi): corners 00, 10, 01, 11, each x then y.
inline const float* squareGradient(const NoiseTables& t, int32_t xi, int32_t yi, int32_t corner) {
    const int32_t column = t.warpPermutation[xi + (corner & 1)];
    return t.warpCornerGradients[column + yi + (corner >> 1)];
}

inline void squareGradients(const NoiseTables& t, int32_t xi, int32_t yi, float g[4][2]) {
    for (int32_t c = 0; c < 4; ++c) {
        const float* grad = squareGradient(t, xi, yi, c);
        g[c][0] = grad[0];
        g[c][1] = grad[1];
    }
}

inline void squareGradients(const NoiseTables& t, LaneInts xi, LaneInts yi, Lanes g[4][2]) {
    // Neighbouring points mostly share their lattice square, or lie in one
    // of two: then each square's four corners are hashed once for all lanes.
    const LaneMask first = (xi == xi[0]) & (yi == yi[0]);
    const uint32_t firstBits = laneBits(first);
    if (firstBits == kAllLanes) {
        for (int32_t c = 0; c < 4; ++c) {
            const float* grad = squareGradient(t, xi[0], yi[0], c);
            g[c][0] = broadcast(grad[0]);
            g[c][1] = broadcast(grad[1]);
        }
        return;
    }
    const int32_t other = __builtin_ctz(~firstBits);
    const LaneMask second = (xi == xi[other]) & (yi == yi[other]);
    if ((firstBits | laneBits(second)) == kAllLanes) {
        for (int32_t c = 0; c < 4; ++c) {
            const float* a = squareGradient(t, xi[0], yi[0], c);
            const float* b = squareGradient(t, xi[other], yi[other], c);
            g[c][0] = first ? broadcast(a[0]) : broadcast(b[0]);
            g[c][1] = first ? broadcast(a[1]) : broadcast(b[1]);
        }
        return;
    }
    float gx[4][kLaneCount];
    float gy[4][kLaneCount];
    for (int32_t lane = 0; lane < kLaneCount; ++lane) {
        for (int32_t c = 0; c < 4; ++c) {
            const float* grad = squareGradient(t, xi[lane], yi[lane], c);
            gx[c][lane] = grad[0];
            gy[c][lane] = grad[1];
        }
    }
    for (int32_t c = 0; c < 4; ++c) {
        g[c][0] = loadUnaligned(gx[c]);
        g[c][1] = loadUnaligned(gy[c]);
    }
}

// What the noise at (x, y) takes from y alone.
template <class V> struct RowPart {
    V fy;
    V fy1;
    V weight; // fade(fy)
    decltype(truncToIndex(V{})) index;
};

template <class V> inline RowPart<V> rowPart(V y) {
    const V fy0 = floorOf(y);
    const V fy = y - fy0;
    return {fy, fy - 1.0f, fade(fy), truncToIndex(fy0) & 255};
}

template <class V> inline V noiseAt(const NoiseTables& t, V x, const RowPart<V>& row) {
    const V fx0 = floorOf(x);
    const V fx = x - fx0;
    V g[4][2]; // every corner written by squareGradients
    squareGradients(t, truncToIndex(fx0) & 255, row.index, g);
    const V u = fade(fx);
    const V fx1 = fx - 1.0f;
    const V fy = row.fy;
    const V fy1 = row.fy1;
    const V top = lerp(corner(g[0][0], g[0][1], fx, fy), corner(g[1][0], g[1][1], fx1, fy), u);
    const V bottom = lerp(corner(g[2][0], g[2][1], fx, fy1), corner(g[3][0], g[3][1], fx1, fy1), u);
    return lerp(top, bottom, row.weight);
}

} // namespace warp_detail

// One point (float) or four (Lanes, each lane getting exactly what its
// point alone gets).
template <class V> inline V warpNoise(const NoiseTables& t, V x, V y) {
    return warp_detail::noiseAt(t, x, warp_detail::rowPart(y));
}

// The warp's two samples of a point, at (x, y) and (x + 70, y): the same
// values as two warpNoise calls, with what they share of y worked out once.
template <class V> inline void warpNoisePair(const NoiseTables& t, V x, V y, V& first, V& second) {
    const warp_detail::RowPart<V> row = warp_detail::rowPart(y);
    first = warp_detail::noiseAt(t, x, row);
    second = warp_detail::noiseAt(t, x + 70.0f, row);
}

} // namespace QF_SIMD_NAMESPACE
} // namespace qf
