// Conversion of pattern coordinates to integer cell indices.
//
// Coordinates come from pixel positions, pan offsets and the warp; with
// extreme settings they can leave the range of a 32-bit integer, where a
// plain conversion is undefined. Indices are therefore clamped to
// +-2^30, far beyond any picture (a 32767-pixel area spans at most about
// 6600 cells), which also leaves room for the neighbouring cells
// (index +-2) without overflow. Not-a-number maps to 0.
#pragma once

#include <cstdint>

#include "render/pixel_lanes.h"

namespace qf {
inline namespace QF_SIMD_NAMESPACE {

constexpr int32_t kCellIndexLimit = int32_t{1} << 30;

// Truncation toward zero, clamped.
inline int32_t truncToIndex(float v) {
    constexpr float limit = static_cast<float>(kCellIndexLimit);
    if (v >= limit) {
        return kCellIndexLimit;
    }
    if (v <= -limit) {
        return -kCellIndexLimit;
    }
    if (!(v == v)) {
        return 0;
    }
    return static_cast<int32_t>(v);
}

// The same for a group of lanes: clamped first (a NaN comes out of the
// clamp as -limit), converted, and NaN lanes then cleared.
inline LaneInts truncToIndex(Lanes v) {
    constexpr float limit = static_cast<float>(kCellIndexLimit);
    const LaneInts index = truncateLanes(smaller(larger(v, broadcast(-limit)), broadcast(limit)));
    return index & (v == v);
}

} // namespace QF_SIMD_NAMESPACE
} // namespace qf
