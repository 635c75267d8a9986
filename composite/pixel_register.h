// One pixel in one SSE2 register: red, green, blue and alpha in lanes 0 to
// 3, as FloatRGBA lays them out. The steps of compositing an 8-bit colour
// pixel written on whole registers: every lane meets the very operations, in
// the same order, that the one-channel code of composite_pixel.cpp applies
// to its channel, so the results are the same bits (SSE2 is the floating
// point of every build). Comparisons keep a NaN where the channel code
// keeps it: `x < 0 ? 0 : x` is max(0, x) with 0 first, `x > 1 ? 1 : x` is
// min(1, x) with 1 first.
#pragma once

#include <emmintrin.h>

#include <cstdint>

#include "values/pixel_types.h"

namespace qf::pixel_register {

using Pixel = __m128;

inline Pixel load(const FloatRGBA& c) {
    return _mm_loadu_ps(&c.r);
}
inline void store(FloatRGBA& c, Pixel v) {
    _mm_storeu_ps(&c.r, v);
}
inline Pixel splat(float v) {
    return _mm_set1_ps(v);
}
// Lanes of a where the mask is set, of b elsewhere.
inline Pixel select(Pixel mask, Pixel a, Pixel b) {
    return _mm_or_ps(_mm_and_ps(mask, a), _mm_andnot_ps(mask, b));
}
// Set in the colour lanes, clear in alpha's.
inline Pixel colourLanes() {
    return _mm_castsi128_ps(_mm_setr_epi32(-1, -1, -1, 0));
}
inline Pixel alphaOf(Pixel v) {
    return _mm_shuffle_ps(v, v, _MM_SHUFFLE(3, 3, 3, 3));
}
inline float alphaValue(Pixel v) {
    return _mm_cvtss_f32(alphaOf(v));
}

// x > 1 ? 1 : x in the colour lanes; alpha as it was.
inline Pixel limitColourToOne(Pixel v) {
    return select(colourLanes(), _mm_min_ps(splat(1.0f), v), v);
}

// The generated colour made ready to blend on an 8-bit target (see
// conditionGenerated): alpha lifted by 1.007 and limited to 0..1, negative
// colour channels 0. True when a colour channel is above 1, where the
// overflow is still to be spread.
inline bool conditionGenerated(Pixel& v) {
    const Pixel lifted = _mm_mul_ps(v, splat(1.007f));
    v = select(colourLanes(), v, lifted);
    v = _mm_max_ps(_mm_setzero_ps(), v); // alpha < 0 gives 0 as the colours do
    const Pixel alphaAbove = _mm_andnot_ps(colourLanes(), _mm_cmpgt_ps(v, splat(1.0f)));
    v = select(alphaAbove, splat(1.0f), v);
    return (_mm_movemask_ps(_mm_cmpgt_ps(v, splat(1.0f))) & 7) != 0;
}

// from + t * (to - from), lane by lane.
inline Pixel towards(Pixel from, Pixel to, Pixel t) {
    return _mm_add_ps(from, _mm_mul_ps(t, _mm_sub_ps(to, from)));
}

// Lays `top` over `bottom` (see overComposite) and gives the new bottom.
inline Pixel over(Pixel top, Pixel bottom) {
    const float a = alphaValue(top);
    if (a <= 0.0f) {
        return bottom;
    }
    const Pixel av = alphaOf(top);
    const Pixel bv = alphaOf(bottom);
    const Pixel d = _mm_div_ps(av, _mm_sub_ps(_mm_add_ps(av, bv), _mm_mul_ps(av, bv)));
    const Pixel colour = towards(bottom, top, d);
    const Pixel alpha = _mm_add_ps(bv, _mm_mul_ps(av, _mm_sub_ps(splat(1.0f), bv)));
    return select(colourLanes(), colour, alpha);
}

// background + m * (v - background) in every lane.
inline Pixel mixOver(Pixel background, Pixel v, float m) {
    return towards(background, v, splat(m));
}

// The four lanes as 8-bit samples, truncated toward zero and limited to
// 0..255 (NaN gives 0), in the four low bytes of the result: red first (or,
// for one channel of a Quad, pixel 0 first).
inline uint32_t toBytes(Pixel v) {
    const Pixel scaled = _mm_mul_ps(v, splat(255.0f));
    const __m128i whole = _mm_and_si128(_mm_cvttps_epi32(_mm_min_ps(scaled, splat(255.0f))),
                                        _mm_castps_si128(_mm_cmpgt_ps(scaled, _mm_setzero_ps())));
    const __m128i words = _mm_packs_epi32(whole, whole);
    return uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(words, words)));
}

// The colour lanes through the glue modes' 15-bit fixed point and back
// (times 32768, truncated toward zero, times 2^-15), alpha as it was: the
// normal glue mode. False, with v untouched, where a colour lane is NaN or
// beyond what an int32 holds; the channel code saturates those.
inline bool throughFixedPoint(Pixel& v) {
    const Pixel scaled = _mm_mul_ps(v, splat(32768.0f));
    const Pixel inRange = _mm_and_ps(_mm_cmpge_ps(scaled, splat(-2147483648.0f)),
                                     _mm_cmplt_ps(scaled, splat(2147483648.0f)));
    if ((_mm_movemask_ps(inRange) & 7) != 7) {
        return false;
    }
    const Pixel back =
        _mm_mul_ps(_mm_cvtepi32_ps(_mm_cvttps_epi32(scaled)), splat(0.000030517578125f));
    v = select(colourLanes(), back, v);
    return true;
}

// Four pixels side by side, a register a channel: lane n of each register
// is pixel n. The steps below apply to every lane the operations the
// one-pixel steps above apply to that pixel's channel, in the same order.
struct Quad {
    __m128 r, g, b, a;
};

inline Quad loadQuad(const FloatRGBA* p) {
    Quad q{load(p[0]), load(p[1]), load(p[2]), load(p[3])};
    _MM_TRANSPOSE4_PS(q.r, q.g, q.b, q.a);
    return q;
}
inline Quad selectQuad(__m128 mask, const Quad& a, const Quad& b) {
    return {select(mask, a.r, b.r), select(mask, a.g, b.g), select(mask, a.b, b.b),
            select(mask, a.a, b.a)};
}
inline Quad limitColourToOne(const Quad& v) {
    const Pixel one = splat(1.0f);
    return {_mm_min_ps(one, v.r), _mm_min_ps(one, v.g), _mm_min_ps(one, v.b), v.a};
}
// over() for each pixel: bottom where top's alpha is at most 0 (a NaN alpha
// is laid over like any other).
inline Quad over(const Quad& top, const Quad& bottom) {
    const Pixel av = top.a;
    const Pixel bv = bottom.a;
    const Pixel d = _mm_div_ps(av, _mm_sub_ps(_mm_add_ps(av, bv), _mm_mul_ps(av, bv)));
    const Quad laid{towards(bottom.r, top.r, d), towards(bottom.g, top.g, d),
                    towards(bottom.b, top.b, d),
                    _mm_add_ps(bv, _mm_mul_ps(av, _mm_sub_ps(splat(1.0f), bv)))};
    return selectQuad(_mm_cmple_ps(av, _mm_setzero_ps()), bottom, laid);
}
// mixOver() for each pixel whose m is below 1; the others as they were.
inline Quad mixOver(const Quad& background, const Quad& v, Pixel m) {
    const Quad mixed{towards(background.r, v.r, m), towards(background.g, v.g, m),
                     towards(background.b, v.b, m), towards(background.a, v.a, m)};
    return selectQuad(_mm_cmplt_ps(m, splat(1.0f)), mixed, v);
}
} // namespace qf::pixel_register
