// Pixels side by side: single floats in the lanes of one vector register,
// four in an SSE2 register (every x86 build has SSE2, the 32-bit one
// included), eight in an AVX2 register or sixteen in an AVX-512 one. Each
// lane does exactly the operations one pixel would do alone: IEEE addition,
// subtraction, multiplication, division and square root round the same in
// every lane width, so a pixel computed in a lane has the same bits as the
// pixel computed on its own. Branches become selects that pick what the branch
// would have computed, with the same answer for not-a-number.
//
// The helpers are overloaded for plain floats too, so that formulas written
// once serve a single pixel and a group of lanes.
//
// Every width lives in a namespace of its own (qf::sse2, qf::avx2,
// qf::avx512), made inline so that callers just write qf::Lanes. A source
// compiled for AVX2 defines QF_SIMD_AVX2 before its first include, one for
// AVX-512 QF_SIMD_AVX512; everything else gets the SSE2 namespace. So no
// inline function is ever shared between the widths, and the linker cannot
// hand narrower code a copy compiled with wider instructions.
#pragma once

#if defined(QF_SIMD_AVX512)
#if !defined(__AVX512F__)
#error "a source that defines QF_SIMD_AVX512 must be compiled with -mavx512f"
#endif
#include <immintrin.h>
#define QF_SIMD_NAMESPACE avx512
#elif defined(QF_SIMD_AVX2)
#if !defined(__AVX2__)
#error "a source that defines QF_SIMD_AVX2 must be compiled with -mavx2"
#endif
#include <immintrin.h>
#define QF_SIMD_NAMESPACE avx2
#else
#include <emmintrin.h>
#define QF_SIMD_NAMESPACE sse2
#endif

#include <cmath>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace qf {
inline namespace QF_SIMD_NAMESPACE {

#if defined(QF_SIMD_AVX512)
// (The AVX-512 intrinsics below are the masked forms with every lane
// selected: GCC 12 warns that the plain ones' undefined start value may
// be used.)
constexpr int32_t kLaneCount = 16;
using NativeLanes = __m512;
using NativeInts = __m512i;
#elif defined(QF_SIMD_AVX2)
constexpr int32_t kLaneCount = 8;
using NativeLanes = __m256;
using NativeInts = __m256i;
#else
constexpr int32_t kLaneCount = 4;
using NativeLanes = __m128;
using NativeInts = __m128i;
#endif

using Lanes = float __attribute__((vector_size(4 * kLaneCount)));
using LaneMask = int32_t __attribute__((vector_size(4 * kLaneCount)));
using LaneInts = int32_t __attribute__((vector_size(4 * kLaneCount)));

// One bit per lane, lane 0 lowest, for every lane.
constexpr uint32_t kAllLanes = (1u << kLaneCount) - 1u;

inline Lanes broadcast(float v) {
#if defined(QF_SIMD_AVX512)
    return Lanes{v, v, v, v, v, v, v, v, v, v, v, v, v, v, v, v};
#elif defined(QF_SIMD_AVX2)
    return Lanes{v, v, v, v, v, v, v, v};
#else
    return Lanes{v, v, v, v};
#endif
}

// A constant as a plain float or in all four lanes.
template <class V> inline V splat(float v) {
    if constexpr (std::is_same_v<V, float>) {
        return v;
    } else {
        return broadcast(v);
    }
}

// 0, 1, 2, ... in the lanes.
inline LaneInts laneIndices() {
#if defined(QF_SIMD_AVX512)
    return LaneInts{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
#elif defined(QF_SIMD_AVX2)
    return LaneInts{0, 1, 2, 3, 4, 5, 6, 7};
#else
    return LaneInts{0, 1, 2, 3};
#endif
}

// Lanes from and to any float's or int's place, aligned or not: the
// processor's unaligned moves (a whole-register memcpy was once compiled
// into a string copy through the stack, and a vector type with a smaller
// alignment is not read alike by every compiler).
inline Lanes loadUnaligned(const float* p) {
#if defined(QF_SIMD_AVX512)
    return reinterpret_cast<Lanes>(_mm512_loadu_ps(p));
#elif defined(QF_SIMD_AVX2)
    return reinterpret_cast<Lanes>(_mm256_loadu_ps(p));
#else
    return reinterpret_cast<Lanes>(_mm_loadu_ps(p));
#endif
}
inline void storeUnaligned(float* p, Lanes v) {
#if defined(QF_SIMD_AVX512)
    _mm512_storeu_ps(p, reinterpret_cast<NativeLanes>(v));
#elif defined(QF_SIMD_AVX2)
    _mm256_storeu_ps(p, reinterpret_cast<NativeLanes>(v));
#else
    _mm_storeu_ps(p, reinterpret_cast<NativeLanes>(v));
#endif
}
inline void storeUnaligned(int32_t* p, LaneInts v) {
#if defined(QF_SIMD_AVX512)
    _mm512_storeu_si512(p, reinterpret_cast<NativeInts>(v));
#elif defined(QF_SIMD_AVX2)
    _mm256_storeu_si256(reinterpret_cast<NativeInts*>(p), reinterpret_cast<NativeInts>(v));
#else
    _mm_storeu_si128(reinterpret_cast<NativeInts*>(p), reinterpret_cast<NativeInts>(v));
#endif
}

// Each lane's left neighbour: {0, v[0], v[1], ..., v[kLaneCount - 2]}.
inline LaneInts previousLanes(LaneInts v) {
#if defined(QF_SIMD_AVX512)
    return reinterpret_cast<LaneInts>(_mm512_maskz_alignr_epi32(
        __mmask16(0xFFFF), reinterpret_cast<NativeInts>(v), _mm512_setzero_si512(), 15));
#elif defined(QF_SIMD_AVX2)
    const __m256i moved = _mm256_permutevar8x32_epi32(reinterpret_cast<NativeInts>(v),
                                                      _mm256_setr_epi32(0, 0, 1, 2, 3, 4, 5, 6));
    return reinterpret_cast<LaneInts>(_mm256_blend_epi32(moved, _mm256_setzero_si256(), 1));
#else
    return reinterpret_cast<LaneInts>(_mm_slli_si128(reinterpret_cast<NativeInts>(v), 4));
#endif
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
#if defined(QF_SIMD_AVX512)
    return reinterpret_cast<Lanes>(
        _mm512_maskz_sqrt_ps(__mmask16(0xFFFF), reinterpret_cast<NativeLanes>(v)));
#elif defined(QF_SIMD_AVX2)
    return reinterpret_cast<Lanes>(_mm256_sqrt_ps(reinterpret_cast<NativeLanes>(v)));
#else
    return reinterpret_cast<Lanes>(_mm_sqrt_ps(reinterpret_cast<NativeLanes>(v)));
#endif
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

// ifSet in the lanes where m (a comparison's result, every bit of a lane
// set or clear) holds, ifClear elsewhere: as m ? ifSet : ifClear, but
// without testing each lane of m against 0 again when m comes from memory.
inline Lanes blendLanes(LaneMask m, Lanes ifSet, Lanes ifClear) {
#if defined(QF_SIMD_AVX512)
    const __mmask16 k =
        _mm512_cmplt_epi32_mask(reinterpret_cast<NativeInts>(m), _mm512_setzero_si512());
    return reinterpret_cast<Lanes>(_mm512_mask_blend_ps(k, reinterpret_cast<NativeLanes>(ifClear),
                                                        reinterpret_cast<NativeLanes>(ifSet)));
#elif defined(QF_SIMD_AVX2)
    return reinterpret_cast<Lanes>(_mm256_blendv_ps(reinterpret_cast<NativeLanes>(ifClear),
                                                    reinterpret_cast<NativeLanes>(ifSet),
                                                    reinterpret_cast<NativeLanes>(m)));
#else
    return m ? ifSet : ifClear;
#endif
}

// The lanes where a comparison holds, one bit per lane (lane 0 lowest).
inline uint32_t laneBits(LaneMask m) {
#if defined(QF_SIMD_AVX512)
    return static_cast<uint32_t>(
        _mm512_cmplt_epi32_mask(reinterpret_cast<NativeInts>(m), _mm512_setzero_si512()));
#elif defined(QF_SIMD_AVX2)
    return static_cast<uint32_t>(_mm256_movemask_ps(reinterpret_cast<NativeLanes>(m)));
#else
    return static_cast<uint32_t>(_mm_movemask_ps(reinterpret_cast<NativeLanes>(m)));
#endif
}

// laneBits(a < b): NaN lanes are not below. (On AVX-512 the compare's own
// mask, without making a vector of it first.)
inline uint32_t lanesBelow(Lanes a, float b) {
#if defined(QF_SIMD_AVX512)
    return static_cast<uint32_t>(_mm512_mask_cmp_ps_mask(0xFFFF, reinterpret_cast<NativeLanes>(a),
                                                         _mm512_set1_ps(b), _CMP_LT_OQ));
#else
    return laneBits(a < b);
#endif
}

// Whether any lane of a comparison holds.
inline bool anyLane(LaneMask m) {
    return laneBits(m) != 0;
}
inline bool allLanes(LaneMask m) {
    return laneBits(m) == kAllLanes;
}

// Truncation toward zero of lanes known to lie well inside the int32 range.
inline LaneInts truncateLanes(Lanes v) {
#if defined(QF_SIMD_AVX512)
    return reinterpret_cast<LaneInts>(
        _mm512_maskz_cvttps_epi32(__mmask16(0xFFFF), reinterpret_cast<NativeLanes>(v)));
#elif defined(QF_SIMD_AVX2)
    return reinterpret_cast<LaneInts>(_mm256_cvttps_epi32(reinterpret_cast<NativeLanes>(v)));
#else
    return reinterpret_cast<LaneInts>(_mm_cvttps_epi32(reinterpret_cast<NativeLanes>(v)));
#endif
}
inline Lanes toLanes(LaneInts v) {
#if defined(QF_SIMD_AVX512)
    return reinterpret_cast<Lanes>(
        _mm512_maskz_cvtepi32_ps(__mmask16(0xFFFF), reinterpret_cast<NativeInts>(v)));
#elif defined(QF_SIMD_AVX2)
    return reinterpret_cast<Lanes>(_mm256_cvtepi32_ps(reinterpret_cast<NativeInts>(v)));
#else
    return reinterpret_cast<Lanes>(_mm_cvtepi32_ps(reinterpret_cast<NativeInts>(v)));
#endif
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

// The smallest (Lowest) or the largest lane, in every lane (lanes holding
// not-a-number give no meaningful answer).
template <bool Lowest> inline Lanes extremeLane(Lanes v) {
    const auto pick = [](Lanes a, Lanes b) -> Lanes {
        if constexpr (Lowest) {
            return a < b ? a : b;
        } else {
            return a > b ? a : b;
        }
    };
#if defined(QF_SIMD_AVX512)
    v = pick(v,
             __builtin_shufflevector(v, v, 8, 9, 10, 11, 12, 13, 14, 15, 0, 1, 2, 3, 4, 5, 6, 7));
    v = pick(v,
             __builtin_shufflevector(v, v, 4, 5, 6, 7, 0, 1, 2, 3, 12, 13, 14, 15, 8, 9, 10, 11));
    v = pick(v,
             __builtin_shufflevector(v, v, 2, 3, 0, 1, 6, 7, 4, 5, 10, 11, 8, 9, 14, 15, 12, 13));
    v = pick(v,
             __builtin_shufflevector(v, v, 1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14));
#elif defined(QF_SIMD_AVX2)
    v = pick(v, __builtin_shufflevector(v, v, 4, 5, 6, 7, 0, 1, 2, 3));
    v = pick(v, __builtin_shufflevector(v, v, 2, 3, 0, 1, 6, 7, 4, 5));
    v = pick(v, __builtin_shufflevector(v, v, 1, 0, 3, 2, 5, 4, 7, 6));
#else
    v = pick(v, __builtin_shufflevector(v, v, 2, 3, 0, 1));
    v = pick(v, __builtin_shufflevector(v, v, 1, 0, 3, 2));
#endif
    return v;
}

// Whether every lane lies strictly within +-limit (not-a-number fails).
inline bool lanesWithin(Lanes v, float limit) {
    return allLanes(absolute(v) < limit);
}

} // namespace QF_SIMD_NAMESPACE
} // namespace qf
