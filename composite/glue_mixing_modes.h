// Private to the glue modes: the modes that mix the colour channels, on the
// fixed-point values: through a hue model, by luminance, by weights from
// other channels, through the colour tables; and starbright on the floats.
#pragma once

#include <algorithm>
#include <cmath>

#include "composite/colour_tables.h"
#include "composite/glue_colour_models.h"
#include "composite/glue_fixed_point.h"
#include "composite/glue_modes.h"
#include "composite/glue_table_lookup.h"
#include "values/pixel_types.h"

namespace qf::glue_detail {
// Internal linkage, as in the one file that runs the modes, which leaves
// the compiler free to inline them into its loops as it sees fit.
namespace {

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
    return toHsl(modelChannel(c[0]), modelChannel(c[1]), modelChannel(c[2]));
}

inline glue::PerceptualHsl perceptualOf(const Wide c[3]) {
    return toPerceptual(modelChannel(c[0]), modelChannel(c[1]), modelChannel(c[2]));
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

// Components of the colour-table modes.
inline void colourTableBlend(const Wide top[3], const Wide base[3], int32_t mode, Wide out[3]) {
    int32_t in[3];
    int32_t t[3];
    int32_t b[3];
    for (int c = 0; c < 3; ++c) {
        in[c] = int32_t(std::clamp<Wide>(top[c], 0, kOne));
    }
    tableLookup(forwardColourTable, in, t);
    for (int c = 0; c < 3; ++c) {
        in[c] = int32_t(std::clamp<Wide>(base[c], 0, kOne));
    }
    tableLookup(forwardColourTable, in, b);

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
    tableLookup(inverseColourTable, mixed, rgb);
    for (int c = 0; c < 3; ++c) {
        out[c] = rgb[c];
    }
}

// Hue and saturation of the top, lightness (luminance Y) of the base.
void color(const Wide T[3], const Wide B[3], Wide R[3]) {
    const glue::PerceptualHsl t = perceptualOf(T);
    storeRgb(fromPerceptual(t.h, t.s, lumaY(B)), R);
}

void luminance(const Wide T[3], const Wide B[3], Wide R[3]) {
    const glue::PerceptualHsl b = perceptualOf(B);
    storeRgb(fromPerceptual(b.h, b.s, lumaY(T)), R);
}

void saturationMode(const Wide T[3], const Wide B[3], Wide R[3]) {
    const glue::PerceptualHsl t = perceptualOf(T);
    const glue::PerceptualHsl b = perceptualOf(B);
    storeRgb(fromPerceptual(b.h, t.s, b.p), R);
}

void hueMode(const Wide T[3], const Wide B[3], Wide R[3]) {
    const glue::PerceptualHsl t = perceptualOf(T);
    const glue::PerceptualHsl b = perceptualOf(B);
    storeRgb(fromPerceptual(t.h, b.s, b.p), R);
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
    sinCos(kTwoPi * t.h, ts, tc);
    sinCos(kTwoPi * b.h, bs, bc);
    const float tx = t.s * tc, ty = t.s * ts;
    const float bx = b.s * bc, by = b.s * bs;
    const float k = lightWeight(b.l) * lightWeight(t.l);
    const float vx = tx + k * (bx - tx);
    const float vy = ty + k * (by - ty);
    const float saturation = std::sqrt(vx * vx + vy * vy);
    float hue = kThreeHalfPi - octantAngle(vx, vy);
    if (hue < 0.0f) {
        hue += kTwoPi;
    }
    hue /= kTwoPi;
    storeRgb(fromHsl(hue, saturation, std::min(b.l, t.l)), R);
}

// Parietal, temporal, occipital and limbic blend in the colour-table space.
template <int32_t mode> void throughColourTables(const Wide T[3], const Wide B[3], Wide R[3]) {
    colourTableBlend(T, B, mode, R);
}

void sinister(const Wide T[3], const Wide B[3], Wide R[3]) {
    const glue::PerceptualHsl t = perceptualOf(T);
    storeRgb(fromPerceptual(t.h, t.s, compareRatio(lumaY(B), t.p)), R);
}

void anterior(const Wide T[3], const Wide B[3], Wide R[3]) {
    const glue::PerceptualHsl t = perceptualOf(T);
    const glue::PerceptualHsl b = perceptualOf(B);
    storeRgb(fromPerceptual(t.h, t.s, pullTowards(t.p * b.p, t.p)), R);
}

void posterior(const Wide T[3], const Wide B[3], Wide R[3]) {
    const glue::PerceptualHsl t = perceptualOf(T);
    const glue::PerceptualHsl b = perceptualOf(B);
    storeRgb(fromPerceptual(b.h, b.s, pullTowards(t.p * b.p, b.p)), R);
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

} // namespace
} // namespace qf::glue_detail
