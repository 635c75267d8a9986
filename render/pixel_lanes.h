// Four pixels side by side: single floats in the four lanes of one SSE2
// register (every x86 build has SSE2, the 32-bit one included). Each lane
// does exactly the operations one pixel would do alone: IEEE addition,
// subtraction, multiplication, division and square root round the same in
// every lane width, so a pixel computed in a lane has the same bits as the
// pixel computed on its own. Branches become selects that pick what the
// branch would have computed, with the same answer for not-a-number.
//
// The helpers are overloaded for plain floats too, so that formulas written
// once serve a single pixel and four.
#pragma once

#include <emmintrin.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace qf {

using Lanes = float __attribute__((vector_size(16)));
using LaneMask = int32_t __attribute__((vector_size(16)));
using LaneInts = int32_t __attribute__((vector_size(16)));

constexpr int32_t kLaneCount = 4;

inline Lanes broadcast(float v) {
    return Lanes{v, v, v, v};
}

// A constant as a plain float or in all four lanes.
template <class V> inline V splat(float v) {
    if constexpr (std::is_same_v<V, float>) {
        return v;
    } else {
        return broadcast(v);
    }
}

// The bits of the lanes as integers, and back.
inline LaneInts bitsOf(Lanes v) {
    return reinterpret_cast<LaneInts>(v);
}
inline Lanes fromBits(LaneInts v) {
    return reinterpret_cast<Lanes>(v);
}

inline float absolute(float v) {
    return std::fabs(v);
}
inline Lanes absolute(Lanes v) {
    return fromBits(bitsOf(v) & 0x7FFFFFFF);
}

inline float squareRoot(float v) {
    return std::sqrt(v);
}
inline Lanes squareRoot(Lanes v) {
    return reinterpret_cast<Lanes>(_mm_sqrt_ps(reinterpret_cast<__m128>(v)));
}

// The larger and the smaller of two values as `a > b ? a : b` picks them.
inline float larger(float a, float b) {
    return a > b ? a : b;
}
inline Lanes larger(Lanes a, Lanes b) {
    return a > b ? a : b;
}
inline float smaller(float a, float b) {
    return a < b ? a : b;
}
inline Lanes smaller(Lanes a, Lanes b) {
    return a < b ? a : b;
}

// Whether any lane of a comparison holds.
inline bool anyLane(LaneMask m) {
    return _mm_movemask_ps(reinterpret_cast<__m128>(m)) != 0;
}
inline bool allLanes(LaneMask m) {
    return _mm_movemask_ps(reinterpret_cast<__m128>(m)) == 0xF;
}

// Truncation toward zero of lanes known to lie well inside the int32 range.
inline LaneInts truncateLanes(Lanes v) {
    return reinterpret_cast<LaneInts>(_mm_cvttps_epi32(reinterpret_cast<__m128>(v)));
}
inline Lanes toLanes(LaneInts v) {
    return reinterpret_cast<Lanes>(_mm_cvtepi32_ps(reinterpret_cast<__m128i>(v)));
}

// t with the sign bit of v added (t is a whole number no further from zero
// than v, so only a zero t changes: truncation of -0.5 gives -0).
inline Lanes withSignOf(Lanes t, Lanes v) {
    return fromBits(bitsOf(t) | (bitsOf(v) & int32_t(0x80000000u)));
}

// floor of lanes that all lie within +-2^23 (where truncation is exact and
// a step of one is representable); the caller checks the range. Like floor,
// it keeps the sign of a zero: -0 stays -0.
inline Lanes floorLanes(Lanes v) {
    const Lanes t = toLanes(truncateLanes(v));
    return t > v ? t - 1.0f : withSignOf(t, v);
}

// Whether every lane lies strictly within +-limit (not-a-number fails).
inline bool lanesWithin(Lanes v, float limit) {
    return allLanes(absolute(v) < limit);
}

} // namespace qf
