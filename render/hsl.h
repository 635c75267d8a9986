// Single-precision conversions between RGB and hue, saturation, lightness,
// used by the hue rotation of every generated pixel. Inputs are expected in
// 0..1. Each takes plain floats (one pixel) or Lanes (four pixels, with the
// same bits per lane); the branches of the conversion are selects.
#pragma once

#include <cstdint>

#include "render/pixel_lanes.h"

namespace qf {
inline namespace QF_SIMD_NAMESPACE {

template <class V> struct HslValues { V h, s, l; };

template <class V> struct RgbValues { V r, g, b; };

using HslColour = HslValues<float>;
using RgbColour = RgbValues<float>;

namespace hsl_detail {

// The sextant of h6 as a float: its whole part when 0 <= h6 < 6, else 0.
inline float sextantOf(float h6) {
    return (h6 >= 0.0f && h6 < 6.0f) ? static_cast<float>(static_cast<int32_t>(h6)) : 0.0f;
}
inline Lanes sextantOf(Lanes h6) {
    const LaneMask inRange = (h6 >= 0.0f) & (h6 < 6.0f);
    return inRange ? toLanes(truncateLanes(h6)) : Lanes{};
}

} // namespace hsl_detail

template <class V> inline HslValues<V> rgbToHsl(V r, V g, V b) {
    const V mx = r > g ? larger(r, b) : larger(g, b);
    const V mn = r < g ? smaller(r, b) : smaller(g, b);
    const V l = (mx + mn) / 2.0f;
    const V d = mx - mn;
    // Black and greys keep hue and saturation 0; what the other branches
    // compute there is not used.
    const auto grey = (l <= 0.0f) | (d <= 0.0f);
    // s = d / (mx + mn) up to l = 0.5, else d / (2 - mx - mn); and h is
    // one of 5 + bc, 1 - gc (red on top), 1 + rc, 3 - bc (green), 3 + gc,
    // 5 - rc (blue), with xc = (mx - x) / d. Each lane needs one of the
    // three quotients only: it is chosen before the division, and a - q
    // is a + (-q) exactly, so every lane gets the bits of its branch with
    // two divisions instead of five.
    const V s = d / (l <= 0.5f ? mx + mn : 2.0f - mx - mn);
    const auto redTop = r == mx;
    const auto greenTop = g == mx;
    const auto redLow = g == mn;
    const auto greenLow = b == mn;
    const auto blueLow = r == mn;
    const V x = redTop ? (redLow ? b : g) : (greenTop ? (greenLow ? r : b) : (blueLow ? g : r));
    const V base = redTop ? (redLow ? splat<V>(5.0f) : splat<V>(1.0f))
                          : (greenTop ? (greenLow ? splat<V>(1.0f) : splat<V>(3.0f))
                                      : (blueLow ? splat<V>(3.0f) : splat<V>(5.0f)));
    const auto adds = redTop ? redLow : (greenTop ? greenLow : blueLow);
    const V q = (mx - x) / d;
    const V h = (base + (adds ? q : -q)) * 0.16666667f;
    return HslValues<V>{grey ? V{} : h, grey ? V{} : s, l};
}

template <class V> inline RgbValues<V> hslToRgb(V h, V s, V l) {
    const V v = l <= 0.5f ? l * (1.0f + s) : l + s - l * s;
    const V m = l + l - v;
    const V sv = (v - m) / v;
    const V h6 = h * 6.0f;
    // Also keeps the conversion defined for a hue outside 0..1.
    const V sextant = hsl_detail::sextantOf(h6);
    const V f = h6 - sextant;
    const V t = v * sv * f;
    const V up = m + t;
    const V down = v - t;
    // By sextant: 0 (v, up, m), 1 (down, v, m), 2 (m, v, up), 3 (m, down, v),
    // 4 (up, m, v), 5 (v, m, down).
    const auto s0 = sextant == 0.0f;
    const auto s1 = sextant == 1.0f;
    const auto s2 = sextant == 2.0f;
    const auto s3 = sextant == 3.0f;
    const auto s4 = sextant == 4.0f;
    const V red = s0 ? v : (s1 ? down : (s2 ? m : (s3 ? m : (s4 ? up : v))));
    const V green = s0 ? up : (s1 ? v : (s2 ? v : (s3 ? down : m)));
    const V blue = s0 ? m : (s1 ? m : (s2 ? up : (s3 ? v : (s4 ? v : down))));
    const auto black = v <= 0.0f;
    return RgbValues<V>{black ? V{} : red, black ? V{} : green, black ? V{} : blue};
}

} // namespace QF_SIMD_NAMESPACE
} // namespace qf
