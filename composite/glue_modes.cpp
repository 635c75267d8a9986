#include "composite/glue_modes.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <utility>

#include "composite/colour_tables.h"

namespace qf {

// Fixed-point arithmetic is done in 64 bits. The formulas were laid out for
// 15-bit values whose products fit in 32 bits, but nothing limits the inputs:
// 16-bit sources reach 2.0, the preview of a 32-bit document carries channels
// up to 65535 and the overflow spreading pushes generated channels above 1.
// In 64 bits every product of two channel values fits, so every result the
// 32-bit formulas produce without overflowing is reproduced exactly. Where
// even 64 bits are not enough (products of three or more channel values,
// sums of two full products) the operations saturate instead of wrapping.

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

// Luminance used by bright and dim: low 8 bits cleared.
inline Wide maskedLuminance(const Wide c[3]) {
    return (77 * c[0] + 150 * c[1] + 28 * c[2]) & ~Wide(255);
}

// Luminance Y of color, luminance and sinister (white gives 32640/32768).
inline float lumaY(const Wide c[3]) {
    return float((77 * c[0] + 150 * c[1] + 28 * c[2]) >> 8) * kFixedToFloat;
}

// The hue models are defined on 0..1; channels outside it are limited first
// so that no lightness reaches 1 with a non-zero spread (a zero divisor).
inline float modelChannel(Wide v) {
    return std::clamp(float(v) * kFixedToFloat, 0.0f, 1.0f);
}

inline glue::Hsl hslOf(const Wide c[3]) {
    return glue::toHsl(modelChannel(c[0]), modelChannel(c[1]), modelChannel(c[2]));
}

inline glue::PerceptualHsl perceptualOf(const Wide c[3]) {
    return glue::toPerceptual(modelChannel(c[0]), modelChannel(c[1]), modelChannel(c[2]));
}

inline void storeRgb(const glue::Rgb& c, Wide out[3]) {
    out[0] = toFixed(c.r);
    out[1] = toFixed(c.g);
    out[2] = toFixed(c.b);
}

// 0 at black and white, 1 at lightness one half.
inline float lightWeight(float x) {
    const float k = 2.0f * x <= 1.0f ? 2.0f * x : 2.0f - 2.0f * x;
    const float p = 1.0f - k;
    const float p2 = p * p;
    return 1.0f - p2 * p2;
}

// Pulls A towards the pivot lightness near black and white (anterior and
// posterior).
inline float pullTowards(float q, float pivot) {
    float a = q * (2.0f - q);
    if (pivot > 0.8f) {
        a = a + (pivot - 0.8f) * 5.0f * (pivot - a);
    }
    if (pivot < 0.2f) {
        a = a + (0.2f - pivot) * 5.0f * (pivot - a);
    }
    return std::clamp(a, 0.0f, 1.0f);
}

inline Wide vividA(Wide t, Wide b) {
    const auto eightBit = [](Wide v) -> Wide {
        const Wide n = v + 1;
        return (n & 0x8000) != 0 ? 255 : (n >> 7) & 511;
    };
    const Wide t8 = eightBit(t);
    const Wide b8 = eightBit(b);
    // Both divisors are odd, so never zero.
    const Wide v = t8 < 128 ? (b8 * 256 - 65280) / (2 * t8 + 1) + 255 : b8 * 256 / (511 - 2 * t8);
    if (v < 0) {
        return 0;
    }
    if (v >= 255) {
        return kOne;
    }
    return v * 128 + v / 2;
}

inline Wide superlay(Wide t, Wide b) {
    const Wide m = (t * b) >> 15;
    const Wide u = kOne - (((kOne - t) * b) >> 15) - t;
    const Wide k = kOne - (mulSat(kOne - m, kOne - m) >> 15);
    const Wide uu = mulSat(u, u) >> 15;
    if (k < kHalf) {
        return mulSat(kOne - uu, k) >> 14;
    }
    return kOne - (mulSat(uu, kOne - k) >> 14);
}

inline Wide softLight(Wide t, Wide b) {
    if (t < kHalf) {
        return addSat(t * b, mulSat((b * b) / kOne, kHalf - t)) >> 14;
    }
    // The upper half is worked at 8-bit precision; 130 and 258 belong to it.
    const Wide i = 255 - b / 128;
    const Wide t8 = t / 128;
    const Wide inner = addSat(mulSat((i * i) / 256, t8 - 130), (258 - t8) * i);
    return mulSat(255 - (inner >> 7), 128);
}

inline Wide cross(Wide t, Wide b) {
    const Wide d = (t - kHalf) * (t - kHalf) / 8192 - (b - kHalf) * (b - kHalf) / 8192;
    const Wide r = kOne - (d < 0 ? -d : d);
    return r < 0 ? 0 : r;
}

inline Wide burn(Wide t, Wide b) {
    const Wide divisor = t + 1;
    if (divisor == 0) {
        // A top of -1/32768 only comes from out-of-range input; take the
        // limit of the formula (an infinite quotient, then limited).
        return b >= kOne ? kOne : 0;
    }
    return limitToOne((b - kOne) * kOne / divisor + kOne);
}

inline Wide dodge(Wide t, Wide b) {
    if (t == kOne) {
        return t;
    }
    return limitToOne(b * kOne / (kOne - t));
}

// The curve modes 64 to 67 on the float channels.
inline float glow(float t, float b) {
    const float room = 1.0f - b;
    return room > 0.0f ? std::min(1.0f, t * t / room) : 1.0f;
}

inline float shimmer(float t, float b) {
    const float room = 1.0f - b;
    if (!(room > 0.0f)) {
        return 1.0f;
    }
    float v = t * t * 0.5f / room;
    if (v > 0.5f) {
        v = 1.0f - 0.25f / v;
    }
    return v;
}

// Components of the colour-table modes.
inline void colourTableBlend(const Wide top[3], const Wide base[3], int32_t mode, Wide out[3]) {
    int32_t in[3];
    int32_t t[3];
    int32_t b[3];
    for (int c = 0; c < 3; ++c) {
        in[c] = int32_t(std::clamp<Wide>(top[c], 0, kOne));
    }
    glue::tableLookup(forwardColourTable, in, t);
    for (int c = 0; c < 3; ++c) {
        in[c] = int32_t(std::clamp<Wide>(base[c], 0, kOne));
    }
    glue::tableLookup(forwardColourTable, in, b);

    int32_t mixed[3];
    switch (mode) {
    case kGlueParietal:
    case kGlueTemporal:
        mixed[0] = mode == kGlueParietal ? (t[0] * b[0]) >> 15
                                         : int32_t(kOne - (((kOne - b[0]) * (kOne - t[0])) >> 15));
        for (int c = 1; c < 3; ++c) {
            mixed[c] = int32_t(overlay(t[c], b[c]));
        }
        break;
    case kGlueOccipital:
        for (int c = 0; c < 3; ++c) {
            mixed[c] = int32_t(pin(t[c], b[c]));
        }
        break;
    default: // limbic
        for (int c = 0; c < 3; ++c) {
            mixed[c] = int32_t(pin(b[c], t[c]));
        }
        break;
    }
    int32_t rgb[3];
    glue::tableLookup(inverseColourTable, mixed, rgb);
    for (int c = 0; c < 3; ++c) {
        out[c] = rgb[c];
    }
}

} // namespace

namespace glue {

int32_t truncateToInt(float v) {
    if (v >= -2147483648.0f && v < 2147483648.0f) {
        return int32_t(v);
    }
    if (v > 0.0f) {
        return std::numeric_limits<int32_t>::max();
    }
    if (v < 0.0f) {
        return std::numeric_limits<int32_t>::min();
    }
    return 0; // NaN
}

Hsl toHsl(float r, float g, float b) {
    const float mx = std::max(r, std::max(g, b));
    const float mn = std::min(r, std::min(g, b));
    const float l = (mx + mn) / 2.0f;
    if (l <= 0.0f) {
        return {0.0f, 0.0f, l};
    }
    const float d = mx - mn;
    if (d <= 0.0f) {
        return {0.0f, 0.0f, l};
    }
    const float s = l <= 0.5f ? d / (mx + mn) : d / (2.0f - mx - mn);
    const float rd = (mx - r) / d;
    const float gd = (mx - g) / d;
    const float bd = (mx - b) / d;
    float h;
    if (r == mx) {
        h = g == mn ? 5.0f + bd : 1.0f - gd;
    } else if (g == mx) {
        h = b == mn ? 1.0f + rd : 3.0f - bd;
    } else {
        h = r == mn ? 3.0f + gd : 5.0f - rd;
    }
    return {h * 0.16666667f, s, l};
}

Rgb fromHsl(float h, float s, float l) {
    const float m2 = l <= 0.5f ? l * (1.0f + s) : l + s - l * s;
    const float m1 = 2.0f * l - m2;
    if (m2 <= 0.0f) {
        return {0.0f, 0.0f, 0.0f};
    }
    const float h6 = h * 6.0f;
    int32_t k = h6 >= 0.0f && h6 < 7.0f ? int32_t(h6) : 0;
    // The fraction is taken before a full turn wraps to sector 0, so a hue
    // of exactly 1 (pure red comes out of toHsl that way) is red again.
    const float f = h6 - float(k);
    if (k >= 6) {
        k = 0;
    }
    const float up = m1 + f * (m2 - m1);
    const float down = m2 - f * (m2 - m1);
    switch (k) {
    case 0:
        return {m2, up, m1};
    case 1:
        return {down, m2, m1};
    case 2:
        return {m1, m2, up};
    case 3:
        return {m1, down, m2};
    case 4:
        return {up, m1, m2};
    default:
        return {m2, m1, down};
    }
}

namespace {
float hueBrightness(float h, float s) {
    const Rgb c = fromHsl(h, s, 0.5f);
    return 0.28f * c.r + 0.52f * c.g + 0.2f * c.b;
}
} // namespace

PerceptualHsl toPerceptual(float r, float g, float b) {
    const Hsl hsl = toHsl(r, g, b);
    const float yh = hueBrightness(hsl.h, hsl.s);
    const float p = hsl.l > 0.5f ? yh + (hsl.l - 0.5f) * 2.0f * (1.0f - yh) : hsl.l * 2.0f * yh;
    return {hsl.h, hsl.s, p};
}

Rgb fromPerceptual(float h, float s, float p) {
    const float yc = std::clamp(hueBrightness(h, s), 0.0f, 1.0f);
    float l;
    if (p >= 1.0f) {
        l = 1.0f;
    } else if (p <= 0.0f) {
        l = 0.0f;
    } else if (yc < p) {
        l = (p - yc) / (1.0f - yc) * 0.5f + 0.5f;
    } else {
        l = p / yc * 0.5f;
    }
    return fromHsl(h, s, l);
}

float octantAngle(float x, float y) {
    constexpr float q = 0.7853981634f;
    if (x == 0.0f && y == 0.0f) {
        return 0.0f;
    }
    const float ax = std::fabs(x);
    const float ay = std::fabs(y);
    const bool flat = ay <= ax;
    const float r = flat ? ay / ax : ax / ay;
    if (x > 0.0f) {
        if (y > 0.0f) {
            return flat ? r * q : (2.0f - r) * q;
        }
        return flat ? (8.0f - r) * q : (6.0f + r) * q;
    }
    if (y > 0.0f) {
        return flat ? (4.0f - r) * q : (2.0f + r) * q;
    }
    return flat ? (4.0f + r) * q : (6.0f - r) * q;
}

void sinCos(float angle, float& s, float& c) {
    double x = angle;
    if (!(std::fabs(x) < 1.0e6)) {
        s = 0.0f;
        c = 1.0f;
        return;
    }
    // Reduce to -pi/4..pi/4 by the nearest multiple of pi/2, with pi/2 split
    // in two parts so the reduction loses nothing for these small angles.
    constexpr double kTwoOverPi = 0.63661977236758134308;
    constexpr double kHalfPiHigh = 1.57079632673412561417e+00;
    constexpr double kHalfPiLow = 6.07710050650619224932e-11;
    const double n = std::floor(x * kTwoOverPi + 0.5);
    const double r = (x - n * kHalfPiHigh) - n * kHalfPiLow;
    const double r2 = r * r;
    // Taylor series; at |r| <= pi/4 the omitted terms are below 1e-13.
    const double sr =
        r +
        r * r2 *
            (-1.0 / 6.0 +
             r2 * (1.0 / 120.0 + r2 * (-1.0 / 5040.0 +
                                       r2 * (1.0 / 362880.0 + r2 * (-1.0 / 39916800.0 +
                                                                    r2 * (1.0 / 6227020800.0))))));
    const double cr =
        1.0 +
        r2 * (-0.5 + r2 * (1.0 / 24.0 +
                           r2 * (-1.0 / 720.0 + r2 * (1.0 / 40320.0 +
                                                      r2 * (-1.0 / 3628800.0 +
                                                            r2 * (1.0 / 479001600.0 +
                                                                  r2 * (-1.0 / 87178291200.0)))))));
    const int quadrant = int(int64_t(n) & 3);
    switch (quadrant) {
    case 0:
        s = float(sr);
        c = float(cr);
        break;
    case 1:
        s = float(cr);
        c = float(-sr);
        break;
    case 2:
        s = float(-sr);
        c = float(-cr);
        break;
    default:
        s = float(-cr);
        c = float(sr);
        break;
    }
}

TableAxis tableAxis(int32_t v) {
    constexpr float kCell = 2184.5334f; // 32768 / 15
    const int32_t clamped = std::clamp<int32_t>(v, 0, 32768);
    int32_t node = int32_t(float(clamped) / kCell);
    if (node > 15) {
        node = 15;
    }
    const int32_t fraction = int32_t(float(clamped) - kCell * float(node));
    return {node, fraction};
}

void tableLookup(const uint8_t* table, const int32_t in[3], int32_t out[3]) {
    constexpr int32_t kStride[3] = {3, 3 * 16, 3 * 256};
    constexpr float kCell = 2184.5334f;
    TableAxis axis[3];
    int32_t step[3];
    int32_t base = 0;
    for (int c = 0; c < 3; ++c) {
        axis[c] = tableAxis(in[c]);
        base += axis[c].node * kStride[c];
        // A step past the last node only happens with a zero fraction, whose
        // weight is zero; staying put keeps the read inside the table.
        step[c] = axis[c].node < 15 ? kStride[c] : 0;
    }
    // Order the axes by fraction, largest first. Ties do not matter: the
    // node whose choice they would change gets weight zero.
    int a0 = 0, a1 = 1, a2 = 2;
    if (axis[a0].fraction < axis[a1].fraction) std::swap(a0, a1);
    if (axis[a1].fraction < axis[a2].fraction) std::swap(a1, a2);
    if (axis[a0].fraction < axis[a1].fraction) std::swap(a0, a1);
    const int32_t f0 = axis[a0].fraction;
    const int32_t f1 = axis[a1].fraction;
    const int32_t f2 = axis[a2].fraction;
    const int32_t w0 = int32_t(kCell - float(f0));
    const int32_t w1 = f0 - f1;
    const int32_t w2 = f1 - f2;
    const int32_t w3 = f2;
    const uint8_t* n0 = table + base;
    const uint8_t* n1 = n0 + step[a0];
    const uint8_t* n2 = n1 + step[a1];
    const uint8_t* n3 = n2 + step[a2];
    for (int c = 0; c < 3; ++c) {
        out[c] = (w0 * n0[c] + w1 * n1[c] + w2 * n2[c] + w3 * n3[c]) / 17;
    }
}

} // namespace glue

float compareRatio(float b, float t) {
    float v;
    if (t > b) {
        // t == 0 here needs a negative base: far below the top, so 0.
        v = t != 0.0f ? b * 0.5f / t : 0.0f;
    } else if (b > 0.0f) {
        v = 1.0f - t * 0.5f / b;
    } else {
        v = 1.0f;
    }
    return v > 1.0f ? 1.0f : v;
}

namespace {

// A mode: blends one pixel. The table below holds one per mode number; each
// is a whole pixel's work, so a pixel costs one lookup and one call.
using GlueFn = void (*)(const FloatRGBA& top, const FloatRGBA& base, FloatRGBA& result);

inline void fixedOf(const FloatRGBA& c, Wide out[3]) {
    out[0] = toFixed(c.r);
    out[1] = toFixed(c.g);
    out[2] = toFixed(c.b);
}

// The fixed-point colour back to floats; the alpha is the top alpha.
inline void storeResult(const Wide R[3], float alpha, FloatRGBA& result) {
    result.r = float(R[0]) * kFixedToFloat;
    result.g = float(R[1]) * kFixedToFloat;
    result.b = float(R[2]) * kFixedToFloat;
    result.a = alpha;
}

// Modes that work on each colour channel alone, from the fixed-point values
// or from the floats.
template <Wide (*op)(Wide t, Wide b)>
void fixedChannels(const FloatRGBA& top, const FloatRGBA& base, FloatRGBA& result) {
    Wide T[3], B[3], R[3];
    fixedOf(top, T);
    fixedOf(base, B);
    for (int c = 0; c < 3; ++c) R[c] = op(T[c], B[c]);
    storeResult(R, top.a, result);
}

template <Wide (*op)(float t, float b)>
void floatChannels(const FloatRGBA& top, const FloatRGBA& base, FloatRGBA& result) {
    const float topF[3] = {top.r, top.g, top.b};
    const float baseF[3] = {base.r, base.g, base.b};
    Wide R[3];
    for (int c = 0; c < 3; ++c) R[c] = op(topF[c], baseF[c]);
    storeResult(R, top.a, result);
}

// Modes that mix the channels, on the fixed-point values.
template <void (*mix)(const Wide T[3], const Wide B[3], Wide R[3])>
void crossChannels(const FloatRGBA& top, const FloatRGBA& base, FloatRGBA& result) {
    Wide T[3], B[3], R[3];
    fixedOf(top, T);
    fixedOf(base, B);
    mix(T, B, R);
    storeResult(R, top.a, result);
}

// ---- Per-channel operations: the top value t over the base value b. ----

Wide normal(Wide t, Wide) {
    return t;
}

Wide proceduralPlus(Wide t, Wide b) {
    const Wide w = b < kHalf ? b / 2 : kHalf - b / 2;
    return (t * w + (kHalf - w) * b) >> 14;
}

Wide proceduralMinus(Wide t, Wide b) {
    return std::min(kOne, t + ((t * b) >> 15));
}
Wide difference(Wide t, Wide b) {
    return addSat((kOne - t) * b, (kOne - b) * t) >> 15;
}
Wide lighten(Wide t, Wide b) {
    return t < b ? b : t;
}
Wide darken(Wide t, Wide b) {
    return b < t ? b : t;
}
Wide add(Wide t, Wide b) {
    return t + b > kOne ? kOne : t + b;
}
Wide subtract(Wide t, Wide b) {
    return t - b < 0 ? 0 : t - b;
}
Wide multiply(Wide t, Wide b) {
    return (t * b) >> 15;
}
Wide screen(Wide t, Wide b) {
    return t + (((kOne - t) * b) >> 15);
}
Wide linearLight(Wide t, Wide b) {
    return limitToOne(b + 2 * t - kOne);
}
Wide pinLight(Wide t, Wide b) {
    return pin(t, b);
}
Wide spinLight(Wide t, Wide b) {
    return pin(b, t);
}
Wide vividB(Wide t, Wide b) {
    return limitToOne(2 * t - b);
}

Wide similarity(Wide t, Wide b) {
    const Wide d = t + b - kOne;
    return kOne - (d < 0 ? -d : d);
}

Wide hardDiff(Wide t, Wide b) {
    return t < b ? b - t : t - b;
}
Wide ace(Wide t, Wide b) {
    return addSat(t * t, (kOne - t) * b) >> 15;
}
Wide king(Wide t, Wide b) {
    return mulSat(b, t - b + kOne) >> 15;
}
Wide queen(Wide t, Wide b) {
    return mulSat(t, b - t + kOne) >> 15;
}
Wide jack(Wide t, Wide b) {
    return addSat(b * b, (kOne - b) * t) >> 15;
}
Wide bitAnd(Wide t, Wide b) {
    return t & b;
}
Wide bitOr(Wide t, Wide b) {
    return t | b;
}
Wide bitXor(Wide t, Wide b) {
    return t ^ b;
}

Wide multibright(Wide t, Wide b) {
    const float m = float(t * b) * 9.3132257462e-10f;
    return toFixed(m * (2.0f - m));
}

Wide hot(Wide t, Wide b) {
    return pin(pin(b, t), pin(b, kOne - t));
}
Wide cold(Wide t, Wide b) {
    return pin(pin(t, b), pin(t, kOne - b));
}
Wide wet(Wide t, Wide b) {
    return pin(overlay(t, b), kOne - hardLight(t, kOne - b));
}
Wide dry(Wide t, Wide b) {
    return pin(overlay(kOne - t, b), hardLight(t, b));
}
Wide up(Wide t, Wide b) {
    return pin(hardLight(t, b), overlay(t, b));
}
Wide down(Wide t, Wide b) {
    return pin(overlay(t, b), hardLight(t, b));
}
Wide hardMix(Wide t, Wide b) {
    return t + b > kOne ? kOne : 0;
}

Wide screendim(Wide t, Wide b) {
    const float s = 1.0f - float((kOne - t) * (kOne - b)) * 9.3132257462e-10f;
    return toFixed(s * s);
}

Wide negation(Wide t, Wide b) {
    const Wide s = t + b;
    return s <= kOne ? s : 2 * kOne - s;
}

Wide contrastNegate(Wide t, Wide b) {
    const Wide f = t > kHalf ? kOne - t : t;
    return b <= kHalf ? kOne - f : f;
}

Wide dextrous(float t, float b) {
    return toFixed(compareRatio(b, t));
}
Wide glowMode(float t, float b) {
    return toFixed(glow(t, b));
}
Wide reflect(float t, float b) {
    return toFixed(glow(b, t));
}
Wide shimmerMode(float t, float b) {
    return toFixed(shimmer(t, b));
}
Wide lustre(float t, float b) {
    return toFixed(shimmer(b, t));
}

// ---- Modes that mix the channels. ----

// Hue and saturation of the top, lightness (luminance Y) of the base.
void color(const Wide T[3], const Wide B[3], Wide R[3]) {
    const glue::PerceptualHsl t = perceptualOf(T);
    storeRgb(glue::fromPerceptual(t.h, t.s, lumaY(B)), R);
}

void luminance(const Wide T[3], const Wide B[3], Wide R[3]) {
    const glue::PerceptualHsl b = perceptualOf(B);
    storeRgb(glue::fromPerceptual(b.h, b.s, lumaY(T)), R);
}

void saturationMode(const Wide T[3], const Wide B[3], Wide R[3]) {
    const glue::PerceptualHsl t = perceptualOf(T);
    const glue::PerceptualHsl b = perceptualOf(B);
    storeRgb(glue::fromPerceptual(b.h, t.s, b.p), R);
}

void hueMode(const Wide T[3], const Wide B[3], Wide R[3]) {
    const glue::PerceptualHsl t = perceptualOf(T);
    const glue::PerceptualHsl b = perceptualOf(B);
    storeRgb(glue::fromPerceptual(t.h, b.s, b.p), R);
}

// Bright and dim take the whole top or the whole base pixel by luminance.
void takePixel(const Wide T[3], const Wide B[3], bool takeBase, Wide R[3]) {
    for (int c = 0; c < 3; ++c) R[c] = takeBase ? B[c] : T[c];
}

void bright(const Wide T[3], const Wide B[3], Wide R[3]) {
    takePixel(T, B, maskedLuminance(T) < maskedLuminance(B), R);
}

void dim(const Wide T[3], const Wide B[3], Wide R[3]) {
    takePixel(T, B, maskedLuminance(B) < maskedLuminance(T), R);
}

// Wax and wane mix base and top by a weight from the top's lightness and
// saturation. The mix is on the fixed-point values themselves, so no scaling.
void mixByWeight(const Wide T[3], const Wide B[3], float f, Wide R[3]) {
    for (int c = 0; c < 3; ++c)
        R[c] = glue::truncateToInt(float(B[c]) * (1.0f - f) + float(T[c]) * f);
}

void wax(const Wide T[3], const Wide B[3], Wide R[3]) {
    const glue::Hsl t = hslOf(T);
    mixByWeight(T, B, lightWeight(t.l) * t.s, R);
}

void wane(const Wide T[3], const Wide B[3], Wide R[3]) {
    const glue::Hsl t = hslOf(T);
    mixByWeight(T, B, lightWeight(t.l) * (1.0f - t.s), R);
}

// North, south, east and west weigh each channel by another channel of the
// top or the base, all taken from the inputs before any output is written.
void mixByChannels(const Wide T[3], const Wide B[3], const Wide w[3], Wide R[3]) {
    for (int c = 0; c < 3; ++c) R[c] = addSat(B[c] * w[c], (kOne - w[c]) * T[c]) >> 15;
}

void north(const Wide T[3], const Wide B[3], Wide R[3]) {
    const Wide w[3] = {T[1], T[2], T[0]};
    mixByChannels(T, B, w, R);
}

void south(const Wide T[3], const Wide B[3], Wide R[3]) {
    const Wide w[3] = {T[2], T[0], T[1]};
    mixByChannels(T, B, w, R);
}

void east(const Wide T[3], const Wide B[3], Wide R[3]) {
    const Wide w[3] = {B[1], B[2], B[0]};
    mixByChannels(T, B, w, R);
}

void west(const Wide T[3], const Wide B[3], Wide R[3]) {
    const Wide w[3] = {B[2], B[0], B[1]};
    mixByChannels(T, B, w, R);
}

// Frontal mixes the two hues as vectors on the colour wheel, the more towards
// the base the nearer both lightnesses are to one half.
void frontal(const Wide T[3], const Wide B[3], Wide R[3]) {
    constexpr float kTwoPi = 6.2831853f;
    constexpr float kThreeHalfPi = 4.712389f;
    const glue::Hsl t = hslOf(T);
    const glue::Hsl b = hslOf(B);
    float ts, tc, bs, bc;
    glue::sinCos(kTwoPi * t.h, ts, tc);
    glue::sinCos(kTwoPi * b.h, bs, bc);
    const float tx = t.s * tc, ty = t.s * ts;
    const float bx = b.s * bc, by = b.s * bs;
    const float k = lightWeight(b.l) * lightWeight(t.l);
    const float vx = tx + k * (bx - tx);
    const float vy = ty + k * (by - ty);
    const float saturation = std::sqrt(vx * vx + vy * vy);
    float hue = kThreeHalfPi - glue::octantAngle(vx, vy);
    if (hue < 0.0f) {
        hue += kTwoPi;
    }
    hue /= kTwoPi;
    storeRgb(glue::fromHsl(hue, saturation, std::min(b.l, t.l)), R);
}

// Parietal, temporal, occipital and limbic blend in the colour-table space.
template <int32_t mode> void throughColourTables(const Wide T[3], const Wide B[3], Wide R[3]) {
    colourTableBlend(T, B, mode, R);
}

void sinister(const Wide T[3], const Wide B[3], Wide R[3]) {
    const glue::PerceptualHsl t = perceptualOf(T);
    storeRgb(glue::fromPerceptual(t.h, t.s, compareRatio(lumaY(B), t.p)), R);
}

void anterior(const Wide T[3], const Wide B[3], Wide R[3]) {
    const glue::PerceptualHsl t = perceptualOf(T);
    const glue::PerceptualHsl b = perceptualOf(B);
    storeRgb(glue::fromPerceptual(t.h, t.s, pullTowards(t.p * b.p, t.p)), R);
}

void posterior(const Wide T[3], const Wide B[3], Wide R[3]) {
    const glue::PerceptualHsl t = perceptualOf(T);
    const glue::PerceptualHsl b = perceptualOf(B);
    storeRgb(glue::fromPerceptual(b.h, b.s, pullTowards(t.p * b.p, b.p)), R);
}

// Starbright works on the top's floats alone and sets the alpha: the colour
// divided by its largest channel, that channel (at most 1) as the alpha.
void starbright(const FloatRGBA& top, const FloatRGBA&, FloatRGBA& result) {
    float m = std::max(top.r, std::max(top.g, top.b));
    if (m > 1.0f) {
        m = 1.0f;
    }
    if (m <= 0.0f) {
        result = {0.0f, 0.0f, 0.0f, 0.0f};
    } else {
        result = {top.r / m, top.g / m, top.b / m, m};
    }
}

// The modes by number; slot 0 is unused.
using GlueTable = std::array<GlueFn, kGlueModeCount + 1>;

constexpr GlueTable makeGlueTable() {
    GlueTable t{};
    t[kGlueNormal] = fixedChannels<normal>;
    t[kGlueProceduralPlus] = fixedChannels<proceduralPlus>;
    t[kGlueProceduralMinus] = fixedChannels<proceduralMinus>;
    t[kGlueDifference] = fixedChannels<difference>;
    t[kGlueLighten] = fixedChannels<lighten>;
    t[kGlueDarken] = fixedChannels<darken>;
    t[kGlueAdd] = fixedChannels<add>;
    t[kGlueSubtract] = fixedChannels<subtract>;
    t[kGlueMultiply] = fixedChannels<multiply>;
    t[kGlueScreen] = fixedChannels<screen>;
    t[kGlueHardLight] = fixedChannels<hardLight>;
    t[kGlueOverlay] = fixedChannels<overlay>;
    t[kGlueSuperlay] = fixedChannels<superlay>;
    t[kGlueExclusion] = fixedChannels<difference>; // the same formula
    t[kGlueColor] = crossChannels<color>;
    t[kGlueLuminance] = crossChannels<luminance>;
    t[kGlueLinearLight] = fixedChannels<linearLight>;
    t[kGluePinLight] = fixedChannels<pinLight>;
    t[kGlueSpinLight] = fixedChannels<spinLight>;
    t[kGlueVividA] = fixedChannels<vividA>;
    t[kGlueVividB] = fixedChannels<vividB>;
    t[kGlueSaturation] = crossChannels<saturationMode>;
    t[kGlueHue] = crossChannels<hueMode>;
    t[kGlueSimilarity] = fixedChannels<similarity>;
    t[kGlueCross] = fixedChannels<cross>;
    t[kGlueHardDiff] = fixedChannels<hardDiff>;
    t[kGlueSoftLight] = fixedChannels<softLight>;
    t[kGlueBright] = crossChannels<bright>;
    t[kGlueDim] = crossChannels<dim>;
    t[kGlueDodge] = fixedChannels<dodge>;
    t[kGlueBurn] = fixedChannels<burn>;
    t[kGlueAce] = fixedChannels<ace>;
    t[kGlueKing] = fixedChannels<king>;
    t[kGlueQueen] = fixedChannels<queen>;
    t[kGlueJack] = fixedChannels<jack>;
    t[kGlueAnd] = fixedChannels<bitAnd>;
    t[kGlueOr] = fixedChannels<bitOr>;
    t[kGlueXor] = fixedChannels<bitXor>;
    t[kGlueMultibright] = fixedChannels<multibright>;
    t[kGlueHot] = fixedChannels<hot>;
    t[kGlueCold] = fixedChannels<cold>;
    t[kGlueWet] = fixedChannels<wet>;
    t[kGlueDry] = fixedChannels<dry>;
    t[kGlueUp] = fixedChannels<up>;
    t[kGlueDown] = fixedChannels<down>;
    t[kGlueWax] = crossChannels<wax>;
    t[kGlueWane] = crossChannels<wane>;
    t[kGlueNorth] = crossChannels<north>;
    t[kGlueSouth] = crossChannels<south>;
    t[kGlueEast] = crossChannels<east>;
    t[kGlueWest] = crossChannels<west>;
    t[kGlueHardMix] = fixedChannels<hardMix>;
    t[kGlueFrontal] = crossChannels<frontal>;
    t[kGlueParietal] = crossChannels<throughColourTables<kGlueParietal>>;
    t[kGlueTemporal] = crossChannels<throughColourTables<kGlueTemporal>>;
    t[kGlueOccipital] = crossChannels<throughColourTables<kGlueOccipital>>;
    t[kGlueLimbic] = crossChannels<throughColourTables<kGlueLimbic>>;
    t[kGlueDextrous] = floatChannels<dextrous>;
    t[kGlueSinister] = crossChannels<sinister>;
    t[kGlueAnterior] = crossChannels<anterior>;
    t[kGluePosterior] = crossChannels<posterior>;
    t[kGlueStarbright] = starbright;
    t[kGlueScreendim] = fixedChannels<screendim>;
    t[kGlueGlow] = floatChannels<glowMode>;
    t[kGlueReflect] = floatChannels<reflect>;
    t[kGlueShimmer] = floatChannels<shimmerMode>;
    t[kGlueLustre] = floatChannels<lustre>;
    t[kGlueNegation] = fixedChannels<negation>;
    t[kGlueContrastNegate] = fixedChannels<contrastNegate>;
    return t;
}

constexpr GlueTable kGlueTable = makeGlueTable();

// (Every slot 1..69 is filled: the glue tests run each mode.)

// One loop per mode, each with its blend known to the compiler.
template <GlueFn Blend>
void blendRun(const FloatRGBA* top, const FloatRGBA* base, FloatRGBA* result, size_t count) {
    for (size_t i = 0; i < count; ++i) Blend(top[i], base[i], result[i]);
}

using GlueRunFn = void (*)(const FloatRGBA*, const FloatRGBA*, FloatRGBA*, size_t);

template <size_t... Mode>
constexpr std::array<GlueRunFn, sizeof...(Mode)> makeRunTable(std::index_sequence<Mode...>) {
    // Slot 0 is never used; it holds normal's loop rather than nothing.
    return {blendRun<kGlueTable[Mode == 0 ? size_t(kGlueNormal) : Mode]>...};
}

constexpr auto kGlueRunTable = makeRunTable(std::make_index_sequence<kGlueModeCount + 1>());

} // namespace

void blendGlue(const FloatRGBA& top, const FloatRGBA& base, FloatRGBA& result, int32_t mode) {
    const bool known = mode >= 1 && mode <= kGlueModeCount;
    kGlueTable[known ? size_t(mode) : size_t(kGlueNormal)](top, base, result);
}

void blendGlueRow(const FloatRGBA* top, const FloatRGBA* base, FloatRGBA* result, size_t count,
                  int32_t mode) {
    const bool known = mode >= 1 && mode <= kGlueModeCount;
    kGlueRunTable[known ? size_t(mode) : size_t(kGlueNormal)](top, base, result, count);
}

} // namespace qf
