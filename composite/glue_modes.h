// Glue modes: how a generated colour (the top) is combined with the source
// pixel under it (the base). Most modes work channel by channel on 15-bit
// fixed-point values (32768 stands for 1.0); some go through a
// hue/saturation/lightness model, four through the colour tables, and a few
// work on the floats directly.
#pragma once

#include <cstddef>
#include <cstdint>

#include "values/name_tables.h"
#include "values/pixel_types.h"

namespace qf {

// The mode numbers the settings record stores in `glue`.
enum GlueMode : int32_t {
    kGlueNormal = 1,
    kGlueProceduralPlus = 2,
    kGlueProceduralMinus = 3,
    kGlueDifference = 4,
    kGlueLighten = 5,
    kGlueDarken = 6,
    kGlueAdd = 7,
    kGlueSubtract = 8,
    kGlueMultiply = 9,
    kGlueScreen = 10,
    kGlueHardLight = 11,
    kGlueOverlay = 12,
    kGlueSuperlay = 13,
    kGlueExclusion = 14,
    kGlueColor = 15,
    kGlueLuminance = 16,
    kGlueLinearLight = 17,
    kGluePinLight = 18,
    kGlueSpinLight = 19,
    kGlueVividA = 20,
    kGlueVividB = 21,
    kGlueSaturation = 22,
    kGlueHue = 23,
    kGlueSimilarity = 24,
    kGlueCross = 25,
    kGlueHardDiff = 26,
    kGlueSoftLight = 27,
    kGlueBright = 28,
    kGlueDim = 29,
    kGlueDodge = 30,
    kGlueBurn = 31,
    kGlueAce = 32,
    kGlueKing = 33,
    kGlueQueen = 34,
    kGlueJack = 35,
    kGlueAnd = 36,
    kGlueOr = 37,
    kGlueXor = 38,
    kGlueMultibright = 39,
    kGlueHot = 40,
    kGlueCold = 41,
    kGlueWet = 42,
    kGlueDry = 43,
    kGlueUp = 44,
    kGlueDown = 45,
    kGlueWax = 46,
    kGlueWane = 47,
    kGlueNorth = 48,
    kGlueSouth = 49,
    kGlueEast = 50,
    kGlueWest = 51,
    kGlueHardMix = 52,
    kGlueFrontal = 53,
    kGlueParietal = 54,
    kGlueTemporal = 55,
    kGlueOccipital = 56,
    kGlueLimbic = 57,
    kGlueDextrous = 58,
    kGlueSinister = 59,
    kGlueAnterior = 60,
    kGluePosterior = 61,
    kGlueScreendim = 62,
    kGlueStarbright = 63,
    kGlueGlow = 64,
    kGlueReflect = 65,
    kGlueShimmer = 66,
    kGlueLustre = 67,
    kGlueNegation = 68,
    kGlueContrastNegate = 69,
};

static_assert(kGlueContrastNegate == kGlueModeCount, "the last mode closes the list");

// Blends top over base by the glue mode into result. Modes outside 1..69
// behave as normal. The result alpha is the top alpha except for starbright.
// Any float input is accepted: channels far outside 0..1, infinities and NaN
// give well-defined (if meaningless) results.
void blendGlue(const FloatRGBA& top, const FloatRGBA& base, FloatRGBA& result, int32_t mode);

// blendGlue for `count` pixels (result[i] from top[i] over base[i]) with the
// mode chosen once: the same results, without a call per pixel.
void blendGlueRow(const FloatRGBA* top, const FloatRGBA* base, FloatRGBA* result, size_t count,
                  int32_t mode);

// Compares a base and a top value: 0.5 when equal, towards 0 when the base is
// the smaller, towards 1 when it is the larger; 1 when both are 0.
float compareRatio(float b, float t);

// The pieces blendGlue is built from, exposed for the tests.
namespace glue {

// Truncates a float toward zero into a 32-bit integer. Values beyond the
// integer range saturate and NaN gives 0, so no input is undefined.
int32_t truncateToInt(float v);

struct Hsl {
    float h; // 0..1
    float s;
    float l;
};

struct Rgb {
    float r;
    float g;
    float b;
};

Hsl toHsl(float r, float g, float b);
Rgb fromHsl(float h, float s, float l);

// Perceptual lightness: the plain lightness re-scaled so that it accounts for
// how bright the hue itself looks.
struct PerceptualHsl {
    float h;
    float s;
    float p;
};
PerceptualHsl toPerceptual(float r, float g, float b);
Rgb fromPerceptual(float h, float s, float p);

// Angle of (x, y) in 0..2pi by the piecewise-linear octant approximation.
float octantAngle(float x, float y);

// Sine and cosine computed with plain IEEE arithmetic, so every build gets
// the same bits (the C runtimes of the targets do not agree on sinf/cosf).
void sinCos(float angle, float& s, float& c);

// One input axis of a colour-table lookup: the node below the value and the
// distance from it, in fixed-point units (0..2184).
struct TableAxis {
    int32_t node;
    int32_t fraction;
};
TableAxis tableAxis(int32_t v);

// Tetrahedral interpolation of a 16x16x16 table at a fixed-point input
// (0..32768 per component; values outside are limited to it). Outputs are
// 0..32760.
void tableLookup(const uint8_t* table, const int32_t in[3], int32_t out[3]);

} // namespace glue

} // namespace qf
