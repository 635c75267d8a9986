// Private to the glue modes: the 15-bit fixed-point arithmetic most modes
// work in (32768 stands for 1.0).
#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>

#include "composite/glue_modes.h"

// Fixed-point arithmetic is done in 64 bits. The formulas were laid out for
// 15-bit values whose products fit in 32 bits, but nothing limits the inputs:
// 16-bit sources reach 2.0, the preview of a 32-bit document carries channels
// up to 65535 and the overflow spreading pushes generated channels above 1.
// In 64 bits every product of two channel values fits, so every result the
// 32-bit formulas produce without overflowing is reproduced exactly. Where
// even 64 bits are not enough (products of three or more channel values,
// sums of two full products) the operations saturate instead of wrapping.

namespace qf::glue_detail {
// Internal linkage, as the loops of the one file that runs the modes want:
// the compiler then inlines these as it sees fit.
namespace {

using Wide = int64_t;

constexpr Wide kOne = 32768;
constexpr Wide kHalf = 16384;
constexpr float kFixedToFloat = 0.000030517578125f; // 2 to the -15
constexpr float kFloatToFixed = 32768.0f;
constexpr Wide kWideMax = std::numeric_limits<Wide>::max();
constexpr Wide kWideMin = std::numeric_limits<Wide>::min();

inline Wide addSat(Wide a, Wide b) {
    Wide r;
    if (__builtin_add_overflow(a, b, &r)) {
        return a < 0 ? kWideMin : kWideMax;
    }
    return r;
}

inline Wide mulSat(Wide a, Wide b) {
    Wide r;
    if (__builtin_mul_overflow(a, b, &r)) {
        return (a < 0) != (b < 0) ? kWideMin : kWideMax;
    }
    return r;
}

inline Wide toFixed(float v) {
    return glue::truncateToInt(v * kFloatToFixed);
}

inline Wide hardLight(Wide t, Wide b) {
    return t < kHalf ? (t * b) >> 14 : kOne - (((kOne - t) * (kOne - b)) >> 14);
}

inline Wide overlay(Wide t, Wide b) {
    return b >= kHalf ? kOne - (((kOne - b) * (kOne - t)) >> 14) : (t * b) >> 14;
}

inline Wide pin(Wide light, Wide x) {
    return light >= kHalf ? std::max(x, 2 * light - kOne) : std::min(x, 2 * light);
}

inline Wide limitToOne(Wide v) {
    return std::clamp<Wide>(v, 0, kOne);
}

} // namespace
} // namespace qf::glue_detail
