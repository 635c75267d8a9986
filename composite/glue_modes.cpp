#include "composite/glue_modes.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "composite/colour_tables.h"

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

inline Wide toFixed(float v) { return glue::truncateToInt(v * kFloatToFixed); }

inline Wide hardLight(Wide t, Wide b) {
    return t < kHalf ? (t * b) >> 14 : kOne - (((kOne - t) * (kOne - b)) >> 14);
}

inline Wide overlay(Wide t, Wide b) {
    return b >= kHalf ? kOne - (((kOne - b) * (kOne - t)) >> 14) : (t * b) >> 14;
}

inline Wide pin(Wide light, Wide x) {
    return light >= kHalf ? std::max(x, 2 * light - kOne) : std::min(x, 2 * light);
}

inline Wide limitToOne(Wide v) { return std::clamp<Wide>(v, 0, kOne); }

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
    case 0: return {m2, up, m1};
    case 1: return {down, m2, m1};
    case 2: return {m1, m2, up};
    case 3: return {m1, down, m2};
    case 4: return {up, m1, m2};
    default: return {m2, m1, down};
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
        r + r * r2 *
                (-1.0 / 6.0 +
                 r2 * (1.0 / 120.0 +
                       r2 * (-1.0 / 5040.0 + r2 * (1.0 / 362880.0 + r2 * (-1.0 / 39916800.0 + r2 * (1.0 / 6227020800.0))))));
    const double cr =
        1.0 + r2 * (-0.5 + r2 * (1.0 / 24.0 +
                                 r2 * (-1.0 / 720.0 +
                                       r2 * (1.0 / 40320.0 +
                                             r2 * (-1.0 / 3628800.0 +
                                                   r2 * (1.0 / 479001600.0 + r2 * (-1.0 / 87178291200.0)))))));
    const int quadrant = int(int64_t(n) & 3);
    switch (quadrant) {
    case 0: s = float(sr); c = float(cr); break;
    case 1: s = float(cr); c = float(-sr); break;
    case 2: s = float(-sr); c = float(-cr); break;
    default: s = float(-cr); c = float(sr); break;
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

void blendGlue(const FloatRGBA& top, const FloatRGBA& base, FloatRGBA& result, int32_t mode) {
    const float topF[3] = {top.r, top.g, top.b};
    const float baseF[3] = {base.r, base.g, base.b};
    const Wide T[3] = {toFixed(top.r), toFixed(top.g), toFixed(top.b)};
    const Wide B[3] = {toFixed(base.r), toFixed(base.g), toFixed(base.b)};
    Wide R[3];

    switch (mode) {
    default:
    case kGlueNormal:
        for (int c = 0; c < 3; ++c) R[c] = T[c];
        break;
    case kGlueProceduralPlus:
        for (int c = 0; c < 3; ++c) {
            const Wide w = B[c] < kHalf ? B[c] / 2 : kHalf - B[c] / 2;
            R[c] = (T[c] * w + (kHalf - w) * B[c]) >> 14;
        }
        break;
    case kGlueProceduralMinus:
        for (int c = 0; c < 3; ++c) R[c] = std::min(kOne, T[c] + ((T[c] * B[c]) >> 15));
        break;
    case kGlueDifference:
    case kGlueExclusion:
        for (int c = 0; c < 3; ++c) R[c] = addSat((kOne - T[c]) * B[c], (kOne - B[c]) * T[c]) >> 15;
        break;
    case kGlueLighten:
        for (int c = 0; c < 3; ++c) R[c] = T[c] < B[c] ? B[c] : T[c];
        break;
    case kGlueDarken:
        for (int c = 0; c < 3; ++c) R[c] = B[c] < T[c] ? B[c] : T[c];
        break;
    case kGlueAdd:
        for (int c = 0; c < 3; ++c) R[c] = T[c] + B[c] > kOne ? kOne : T[c] + B[c];
        break;
    case kGlueSubtract:
        for (int c = 0; c < 3; ++c) R[c] = T[c] - B[c] < 0 ? 0 : T[c] - B[c];
        break;
    case kGlueMultiply:
        for (int c = 0; c < 3; ++c) R[c] = (T[c] * B[c]) >> 15;
        break;
    case kGlueScreen:
        for (int c = 0; c < 3; ++c) R[c] = T[c] + (((kOne - T[c]) * B[c]) >> 15);
        break;
    case kGlueHardLight:
        for (int c = 0; c < 3; ++c) R[c] = hardLight(T[c], B[c]);
        break;
    case kGlueOverlay:
        for (int c = 0; c < 3; ++c) R[c] = overlay(T[c], B[c]);
        break;
    case kGlueSuperlay:
        for (int c = 0; c < 3; ++c) R[c] = superlay(T[c], B[c]);
        break;
    case kGlueColor: {
        const glue::PerceptualHsl t = perceptualOf(T);
        storeRgb(glue::fromPerceptual(t.h, t.s, lumaY(B)), R);
        break;
    }
    case kGlueLuminance: {
        const glue::PerceptualHsl b = perceptualOf(B);
        storeRgb(glue::fromPerceptual(b.h, b.s, lumaY(T)), R);
        break;
    }
    case kGlueLinearLight:
        for (int c = 0; c < 3; ++c) R[c] = limitToOne(B[c] + 2 * T[c] - kOne);
        break;
    case kGluePinLight:
        for (int c = 0; c < 3; ++c) R[c] = pin(T[c], B[c]);
        break;
    case kGlueSpinLight:
        for (int c = 0; c < 3; ++c) R[c] = pin(B[c], T[c]);
        break;
    case kGlueVividA:
        for (int c = 0; c < 3; ++c) R[c] = vividA(T[c], B[c]);
        break;
    case kGlueVividB:
        for (int c = 0; c < 3; ++c) R[c] = limitToOne(2 * T[c] - B[c]);
        break;
    case kGlueSaturation: {
        const glue::PerceptualHsl t = perceptualOf(T);
        const glue::PerceptualHsl b = perceptualOf(B);
        storeRgb(glue::fromPerceptual(b.h, t.s, b.p), R);
        break;
    }
    case kGlueHue: {
        const glue::PerceptualHsl t = perceptualOf(T);
        const glue::PerceptualHsl b = perceptualOf(B);
        storeRgb(glue::fromPerceptual(t.h, b.s, b.p), R);
        break;
    }
    case kGlueSimilarity:
        for (int c = 0; c < 3; ++c) {
            const Wide d = T[c] + B[c] - kOne;
            R[c] = kOne - (d < 0 ? -d : d);
        }
        break;
    case kGlueCross:
        for (int c = 0; c < 3; ++c) R[c] = cross(T[c], B[c]);
        break;
    case kGlueHardDiff:
        for (int c = 0; c < 3; ++c) R[c] = T[c] < B[c] ? B[c] - T[c] : T[c] - B[c];
        break;
    case kGlueSoftLight:
        for (int c = 0; c < 3; ++c) R[c] = softLight(T[c], B[c]);
        break;
    case kGlueBright:
    case kGlueDim: {
        const Wide lt = maskedLuminance(T);
        const Wide lb = maskedLuminance(B);
        const bool takeBase = mode == kGlueBright ? lt < lb : lb < lt;
        for (int c = 0; c < 3; ++c) R[c] = takeBase ? B[c] : T[c];
        break;
    }
    case kGlueDodge:
        for (int c = 0; c < 3; ++c) R[c] = dodge(T[c], B[c]);
        break;
    case kGlueBurn:
        for (int c = 0; c < 3; ++c) R[c] = burn(T[c], B[c]);
        break;
    case kGlueAce:
        for (int c = 0; c < 3; ++c) R[c] = addSat(T[c] * T[c], (kOne - T[c]) * B[c]) >> 15;
        break;
    case kGlueKing:
        for (int c = 0; c < 3; ++c) R[c] = mulSat(B[c], T[c] - B[c] + kOne) >> 15;
        break;
    case kGlueQueen:
        for (int c = 0; c < 3; ++c) R[c] = mulSat(T[c], B[c] - T[c] + kOne) >> 15;
        break;
    case kGlueJack:
        for (int c = 0; c < 3; ++c) R[c] = addSat(B[c] * B[c], (kOne - B[c]) * T[c]) >> 15;
        break;
    case kGlueAnd:
        for (int c = 0; c < 3; ++c) R[c] = T[c] & B[c];
        break;
    case kGlueOr:
        for (int c = 0; c < 3; ++c) R[c] = T[c] | B[c];
        break;
    case kGlueXor:
        for (int c = 0; c < 3; ++c) R[c] = T[c] ^ B[c];
        break;
    case kGlueMultibright:
        for (int c = 0; c < 3; ++c) {
            const float m = float(T[c] * B[c]) * 9.3132257462e-10f;
            R[c] = toFixed(m * (2.0f - m));
        }
        break;
    case kGlueHot:
        for (int c = 0; c < 3; ++c) R[c] = pin(pin(B[c], T[c]), pin(B[c], kOne - T[c]));
        break;
    case kGlueCold:
        for (int c = 0; c < 3; ++c) R[c] = pin(pin(T[c], B[c]), pin(T[c], kOne - B[c]));
        break;
    case kGlueWet:
        for (int c = 0; c < 3; ++c) R[c] = pin(overlay(T[c], B[c]), kOne - hardLight(T[c], kOne - B[c]));
        break;
    case kGlueDry:
        for (int c = 0; c < 3; ++c) R[c] = pin(overlay(kOne - T[c], B[c]), hardLight(T[c], B[c]));
        break;
    case kGlueUp:
        for (int c = 0; c < 3; ++c) R[c] = pin(hardLight(T[c], B[c]), overlay(T[c], B[c]));
        break;
    case kGlueDown:
        for (int c = 0; c < 3; ++c) R[c] = pin(overlay(T[c], B[c]), hardLight(T[c], B[c]));
        break;
    case kGlueWax:
    case kGlueWane: {
        const glue::Hsl t = hslOf(T);
        const float f = lightWeight(t.l) * (mode == kGlueWax ? t.s : 1.0f - t.s);
        // The mix is on the fixed-point values themselves, so no scaling.
        for (int c = 0; c < 3; ++c) R[c] = glue::truncateToInt(float(B[c]) * (1.0f - f) + float(T[c]) * f);
        break;
    }
    case kGlueNorth:
    case kGlueSouth:
    case kGlueEast:
    case kGlueWest: {
        // Every weight comes from the inputs as they were before any output
        // channel was computed.
        Wide w[3];
        switch (mode) {
        case kGlueNorth: w[0] = T[1]; w[1] = T[2]; w[2] = T[0]; break;
        case kGlueSouth: w[0] = T[2]; w[1] = T[0]; w[2] = T[1]; break;
        case kGlueEast: w[0] = B[1]; w[1] = B[2]; w[2] = B[0]; break;
        default: w[0] = B[2]; w[1] = B[0]; w[2] = B[1]; break;
        }
        for (int c = 0; c < 3; ++c) R[c] = addSat(B[c] * w[c], (kOne - w[c]) * T[c]) >> 15;
        break;
    }
    case kGlueHardMix:
        for (int c = 0; c < 3; ++c) R[c] = T[c] + B[c] > kOne ? kOne : 0;
        break;
    case kGlueFrontal: {
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
        break;
    }
    case kGlueParietal:
    case kGlueTemporal:
    case kGlueOccipital:
    case kGlueLimbic:
        colourTableBlend(T, B, mode, R);
        break;
    case kGlueDextrous:
        for (int c = 0; c < 3; ++c) R[c] = toFixed(compareRatio(baseF[c], topF[c]));
        break;
    case kGlueSinister: {
        const glue::PerceptualHsl t = perceptualOf(T);
        storeRgb(glue::fromPerceptual(t.h, t.s, compareRatio(lumaY(B), t.p)), R);
        break;
    }
    case kGlueAnterior: {
        const glue::PerceptualHsl t = perceptualOf(T);
        const glue::PerceptualHsl b = perceptualOf(B);
        storeRgb(glue::fromPerceptual(t.h, t.s, pullTowards(t.p * b.p, t.p)), R);
        break;
    }
    case kGluePosterior: {
        const glue::PerceptualHsl t = perceptualOf(T);
        const glue::PerceptualHsl b = perceptualOf(B);
        storeRgb(glue::fromPerceptual(b.h, b.s, pullTowards(t.p * b.p, b.p)), R);
        break;
    }
    case kGlueScreendim:
        for (int c = 0; c < 3; ++c) {
            const float s = 1.0f - float((kOne - T[c]) * (kOne - B[c])) * 9.3132257462e-10f;
            R[c] = toFixed(s * s);
        }
        break;
    case kGlueStarbright: {
        float m = std::max(top.r, std::max(top.g, top.b));
        if (m > 1.0f) {
            m = 1.0f;
        }
        if (m <= 0.0f) {
            result = {0.0f, 0.0f, 0.0f, 0.0f};
        } else {
            result = {top.r / m, top.g / m, top.b / m, m};
        }
        return;
    }
    case kGlueGlow:
        for (int c = 0; c < 3; ++c) R[c] = toFixed(glow(topF[c], baseF[c]));
        break;
    case kGlueReflect:
        for (int c = 0; c < 3; ++c) R[c] = toFixed(glow(baseF[c], topF[c]));
        break;
    case kGlueShimmer:
        for (int c = 0; c < 3; ++c) R[c] = toFixed(shimmer(topF[c], baseF[c]));
        break;
    case kGlueLustre:
        for (int c = 0; c < 3; ++c) R[c] = toFixed(shimmer(baseF[c], topF[c]));
        break;
    case kGlueNegation:
        for (int c = 0; c < 3; ++c) {
            const Wide s = T[c] + B[c];
            R[c] = s <= kOne ? s : 2 * kOne - s;
        }
        break;
    case kGlueContrastNegate:
        for (int c = 0; c < 3; ++c) {
            const Wide f = T[c] > kHalf ? kOne - T[c] : T[c];
            R[c] = B[c] <= kHalf ? kOne - f : f;
        }
        break;
    }

    result.r = float(R[0]) * kFixedToFloat;
    result.g = float(R[1]) * kFixedToFloat;
    result.b = float(R[2]) * kFixedToFloat;
    result.a = top.a;
}
