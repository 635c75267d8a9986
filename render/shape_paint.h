// The arithmetic of painting one shape at one point: its metric, its soft
// edge, its stripe profile, the channel fold and the four merge rules.
// Single precision, in exactly this order of operations: the pattern is
// defined down to the rounding of every step. Every formula takes a plain
// float (one pixel) or Lanes (four pixels, pixel_lanes.h); branches are
// written as selects, which pick exactly what the branch would compute.
#pragma once

#include <cmath>
#include <cstdint>
#include <type_traits>

#include "render/pixel_lanes.h"

namespace qf {
inline namespace QF_SIMD_NAMESPACE {

enum ShapeKind : int32_t { kCircles, kDiamonds, kSquares, kOctagons, kTVs, kFleurons, kPoints };

// q of a shape at offset (dx, dy) from its feature point: the squared
// Euclidean distance for circles, the square of the shape's metric m for the
// others (fleurons may have a negative m; q is still m * m).
template <int32_t Kind, class V> inline V shapeMetricSquared(V dx, V dy) {
    const V ax = absolute(dx);
    const V ay = absolute(dy);
    V m;
    if constexpr (Kind == kCircles) {
        return dx * dx + dy * dy;
    } else if constexpr (Kind == kDiamonds) {
        m = ax + ay;
    } else if constexpr (Kind == kSquares) {
        m = larger(ax, ay);
    } else if constexpr (Kind == kOctagons) {
        m = larger(ay + ax / 2.0f, ax + ay / 2.0f);
    } else if constexpr (Kind == kTVs) {
        m = (dx * dx + dy * dy + larger(ax, ay)) / 2.0f;
    } else if constexpr (Kind == kFleurons) {
        m = dx * dx + dy * dy - 2.0f * smaller(ax, ay);
    } else {
        m = 0.75f * (3.0f * ax * ay + ax + ay);
    }
    return m * m;
}

// f(std::integral_constant<int32_t, kind>{}) for a shape kind known only at
// run time; any number outside the list is points, the list's last shape.
template <class F> inline decltype(auto) forShapeKind(int32_t kind, F&& f) {
    switch (kind) {
    case kCircles:
        return f(std::integral_constant<int32_t, kCircles>{});
    case kDiamonds:
        return f(std::integral_constant<int32_t, kDiamonds>{});
    case kSquares:
        return f(std::integral_constant<int32_t, kSquares>{});
    case kOctagons:
        return f(std::integral_constant<int32_t, kOctagons>{});
    case kTVs:
        return f(std::integral_constant<int32_t, kTVs>{});
    case kFleurons:
        return f(std::integral_constant<int32_t, kFleurons>{});
    default:
        return f(std::integral_constant<int32_t, kPoints>{});
    }
}

inline float shapeMetricSquared(int32_t kind, float dx, float dy) {
    return forShapeKind(
        kind, [&](auto shape) { return shapeMetricSquared<decltype(shape)::value>(dx, dy); });
}

// Coverage of a shape at normalised radius r (0 at the feature point): full
// up to 1 - L, then a soft fall over the rim, eased. `solid` is 1 - L and
// `invEdge` 1 / L.
template <class V> inline V shapeCoverage(V r, float solid, float invEdge) {
    const V rim = invEdge - r * invEdge;
    const V a = r <= solid ? splat<V>(1.0f) : rim;
    const V rest = 1.0f - a;
    return 1.0f - rest * rest;
}

// The stripe profile at profile input s = r * stripeScale: a smooth fall,
// or a triangle (down, up, down), each optionally passed through the smooth
// fall once more.
template <class V> inline V stripeProfile(V s, bool triangleProfile, bool doubleSmooth) {
    V f;
    if (triangleProfile) {
        f = s < 0.333333f ? 1.0f - 3.0f * s : (s < 0.6666667f ? 3.0f * s - 1.0f : 3.0f - 3.0f * s);
    } else {
        f = 1.0f - s * s * (3.0f - 2.0f * s);
    }
    if (doubleSmooth) {
        f = 1.0f - f * f * (3.0f - 2.0f * f);
    }
    return f;
}

// Folds a channel value after its gain: above 1 it is reflected down, and a
// result below 0 is mirrored up (2.5 becomes 0.5). V is float, or a vector
// of floats that holds the three channels side by side (element-wise the
// same operations).
template <class V> inline V foldChannel(V v) {
    // v > 1 ? 2 - v : v, then v < 0 ? -v : v, each as one minimum or
    // maximum (two operations fewer than compare and select): 2 - v lies
    // below v exactly when v is above 1 (from 1 to 2 the difference is
    // exact), -v above v exactly when v is below 0, and where the
    // comparison fails (equal values, -0, NaN) both pick v as the selects
    // do.
    v = smaller(2.0f - v, v);
    return larger(-v, v);
}

// The value u that a shape of channel value v lays over the value w below
// it, by merge rule 0..3 (`merge` - 1).
template <class V> inline V mergeChannel(int32_t rule, V w, V v) {
    const V h = v;
    const V i = 1.0f - v;
    switch (rule) {
    case 0:
        return i < 0.5f ? 2.0f * i * w : 1.0f - 2.0f * (1.0f - w) * (1.0f - i);
    case 1: {
        const V wi = 1.0f - w;
        return i < 0.5f ? 2.0f * i * wi : 1.0f - 2.0f * (1.0f - wi) * (1.0f - i);
    }
    case 2: {
        const V wi = 1.0f - w;
        return h < 0.5f ? 2.0f * h * wi : 1.0f - 2.0f * (1.0f - wi) * i;
    }
    default:
        return h < 0.5f ? 2.0f * h * w : 1.0f - 2.0f * (1.0f - w) * i;
    }
}

} // namespace QF_SIMD_NAMESPACE
} // namespace qf
