// The table of the glue modes and the loops that run them. The formulas
// stand in the headers included below so that every loop has its blend
// inlined.
#include "composite/glue_modes.h"

#include <array>
#include <cstdint>
#include <limits>
#include <utility>

#include "composite/glue_channel_modes.h"
#include "composite/glue_fixed_point.h"
#include "composite/glue_mixing_modes.h"
#include "composite/pixel_register.h"

namespace qf {

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

using namespace glue_detail;

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

// The normal mode's loop a register a pixel (pixel_register.h); a pixel the
// register cannot take goes the channel way.
void normalRun(const FloatRGBA* top, const FloatRGBA* base, FloatRGBA* result, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        pixel_register::Pixel v = pixel_register::load(top[i]);
        if (pixel_register::throughFixedPoint(v)) {
            pixel_register::store(result[i], v);
        } else {
            fixedChannels<normal>(top[i], base[i], result[i]);
        }
    }
}

using GlueRunFn = void (*)(const FloatRGBA*, const FloatRGBA*, FloatRGBA*, size_t);

template <size_t... Mode>
constexpr std::array<GlueRunFn, sizeof...(Mode)> makeRunTable(std::index_sequence<Mode...>) {
    // Slot 0 is never used; it holds normal's loop rather than nothing.
    return {(Mode == 0 || Mode == size_t(kGlueNormal)) ? normalRun : blendRun<kGlueTable[Mode]>...};
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
