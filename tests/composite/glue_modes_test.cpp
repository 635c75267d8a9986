// Glue modes checked against values worked out by hand from the formulas, on
// fixed-point inputs (32768 = 1.0) that convert exactly.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "composite/glue_modes.h"

namespace qf {}
using namespace qf;

namespace {

constexpr float kUnit = 32768.0f;

FloatRGBA grey(int32_t v, float alpha = 1.0f) {
    const float f = float(v) / kUnit;
    return {f, f, f, alpha};
}

FloatRGBA fixedColour(int32_t r, int32_t g, int32_t b, float alpha = 1.0f) {
    return {float(r) / kUnit, float(g) / kUnit, float(b) / kUnit, alpha};
}

FloatRGBA blend(int32_t mode, const FloatRGBA& top, const FloatRGBA& base) {
    FloatRGBA result{-1.0f, -1.0f, -1.0f, -1.0f};
    blendGlue(top, base, result, mode);
    return result;
}

// Result channels in fixed-point units; every channel-mode result is a
// multiple of 1/32768, so the conversion is exact.
struct Fixed3 {
    double r, g, b;
};

Fixed3 fixedOf(const FloatRGBA& c) {
    return {c.r * kUnit, c.g * kUnit, c.b * kUnit};
}

struct ChannelCase {
    int32_t mode;
    int32_t top;
    int32_t base;
    int32_t expected;
};

// One row per worked example; the same value goes into all three channels.
const ChannelCase kChannelCases[] = {
    {kGlueNormal, 8192, 24576, 8192},
    {kGlueProceduralPlus, 24576, 8192, 12288}, // w = 4096
    {kGlueProceduralPlus, 8192, 24576, 20480}, // w = 16384 - 12288
    {kGlueProceduralMinus, 16384, 16384, 24576},
    {kGlueProceduralMinus, 24576, 24576, 32768}, // 43008 limited
    {kGlueDifference, 32768, 8192, 24576},       // 1.0 over 0.25 gives 0.75
    {kGlueDifference, 16384, 16384, 16384},
    {kGlueExclusion, 32768, 8192, 24576},
    {kGlueExclusion, 16384, 16384, 16384},
    {kGlueLighten, 8192, 24576, 24576},
    {kGlueLighten, 24576, 8192, 24576},
    {kGlueDarken, 8192, 24576, 8192},
    {kGlueDarken, 24576, 8192, 8192},
    {kGlueAdd, 24576, 16384, 32768}, // 0.75 + 0.5 saturates
    {kGlueAdd, 8192, 16384, 24576},
    {kGlueSubtract, 8192, 16384, 0}, // 0.25 - 0.5 floors at 0
    {kGlueSubtract, 24576, 8192, 16384},
    {kGlueMultiply, 16384, 24576, 12288},
    {kGlueScreen, 16384, 16384, 24576},
    {kGlueHardLight, 8192, 24576, 12288},
    {kGlueHardLight, 24576, 8192, 20480},
    {kGlueOverlay, 8192, 24576, 20480},
    {kGlueOverlay, 24576, 8192, 12288},
    {kGlueSuperlay, 16384, 16384, 26880}, // k = 14336 < 16384
    {kGlueSuperlay, 24576, 24576, 32719}, // k = 26496, uu = 128
    {kGlueSuperlay, 32768, 32768, 32768},
    {kGlueLinearLight, 24576, 16384, 32768},
    {kGlueLinearLight, 8192, 8192, 0},
    {kGlueLinearLight, 16384, 8192, 8192},
    {kGluePinLight, 24576, 8192, 16384},
    {kGluePinLight, 8192, 24576, 16384},
    {kGluePinLight, 8192, 4096, 4096},
    {kGlueSpinLight, 8192, 24576, 16384},
    {kGlueVividA, 16384, 16384, 16448}, // t8 = b8 = 128, v = 128
    {kGlueVividA, 8192, 16384, 385},    // t8 = 64, v = 3
    {kGlueVividA, 32767, 16384, 32768}, // T + 1 has bit 15: t8 = 255
    {kGlueVividA, 32767, 0, 0},
    {kGlueVividB, 16384, 8192, 24576},
    {kGlueVividB, 4096, 16384, 0},
    {kGlueVividB, 24576, 8192, 32768},
    {kGlueSimilarity, 24576, 16384, 24576}, // 0.75 over 0.5 gives 0.75
    {kGlueSimilarity, 8192, 8192, 16384},
    {kGlueNegation, 24576, 16384, 24576},
    {kGlueNegation, 8192, 8192, 16384},
    {kGlueCross, 24576, 16384, 24576},
    {kGlueCross, 16384, 0, 0},
    {kGlueCross, 0, 8192, 8192},
    {kGlueCross, 32768, 32768, 32768},
    {kGlueHardDiff, 8192, 24576, 16384},
    {kGlueHardDiff, 24576, 8192, 16384},
    {kGlueSoftLight, 8192, 16384, 12288},  // lower half
    {kGlueSoftLight, 24576, 16384, 20352}, // 8-bit half: i = 127, t = 192
    {kGlueSoftLight, 32768, 32768, 32768}, // inner -2 shifts to -1
    {kGlueSoftLight, 16384, 0, 0},
    {kGlueDodge, 32768, 8192, 32768}, // top exactly 1.0
    {kGlueDodge, 16384, 8192, 16384}, // 0.5 over 0.25 gives 0.5
    {kGlueDodge, 24576, 16384, 32768},
    {kGlueBurn, 16384, 24576, 16385},
    {kGlueBurn, 0, 16384, 0},
    {kGlueBurn, 32767, 32768, 32768},
    {kGlueAce, 16384, 8192, 12288},
    {kGlueKing, 16384, 8192, 10240},
    {kGlueQueen, 16384, 8192, 12288},
    {kGlueJack, 16384, 8192, 14336},
    {kGlueAnd, 32768, 32767, 0}, // 1.0 is the single bit 32768
    {kGlueAnd, 24576, 16384, 16384},
    {kGlueOr, 8192, 16384, 24576},
    {kGlueOr, 32768, 32767, 65535},
    {kGlueXor, 24576, 16384, 8192},
    {kGlueMultibright, 16384, 16384, 14336}, // m = 0.25
    {kGlueMultibright, 32768, 32768, 32768},
    {kGlueHot, 8192, 24576, 24576},
    {kGlueHot, 24576, 8192, 8192},
    {kGlueCold, 24576, 8192, 24576},
    {kGlueCold, 8192, 4096, 8192},
    {kGlueWet, 8192, 24576, 28672},
    {kGlueDry, 8192, 24576, 24576},
    {kGlueUp, 8192, 24576, 20480},
    {kGlueUp, 24576, 8192, 12288},
    {kGlueDown, 8192, 24576, 12288},
    {kGlueHardMix, 16384, 16384, 0}, // the sum must exceed 1.0
    {kGlueHardMix, 16385, 16384, 32768},
    {kGlueDextrous, 16384, 8192, 8192},
    {kGlueDextrous, 8192, 16384, 24576},
    {kGlueDextrous, 12288, 12288, 16384},
    {kGlueDextrous, 0, 0, 32768},
    {kGlueScreendim, 16384, 16384, 18432}, // s = 0.75
    {kGlueGlow, 16384, 16384, 16384},
    {kGlueGlow, 24576, 16384, 32768},
    {kGlueGlow, 8192, 32768, 32768}, // no room below the base
    {kGlueReflect, 16384, 8192, 4096},
    {kGlueReflect, 32768, 8192, 32768},
    {kGlueShimmer, 16384, 16384, 8192},
    {kGlueShimmer, 24576, 16384, 18204}, // v = 0.5625 folds to 0.5556
    {kGlueLustre, 16384, 24576, 18204},
    {kGlueContrastNegate, 24576, 8192, 24576},
    {kGlueContrastNegate, 8192, 24576, 8192},
};

TEST(GlueModes, ChannelModesMatchWorkedExamples) {
    for (const ChannelCase& c : kChannelCases) {
        const FloatRGBA top = grey(c.top, 0.625f);
        const Fixed3 got = fixedOf(blend(c.mode, top, grey(c.base)));
        EXPECT_EQ(got.r, c.expected) << "mode " << c.mode << " top " << c.top << " base " << c.base;
        EXPECT_EQ(got.g, c.expected) << "mode " << c.mode;
        EXPECT_EQ(got.b, c.expected) << "mode " << c.mode;
        EXPECT_EQ(blend(c.mode, top, grey(c.base)).a, 0.625f)
            << "the top alpha passes through, mode " << c.mode;
    }
}

TEST(GlueModes, EntryConversionTruncates) {
    // 0.99999 is 32767.67 fixed-point units: truncated to 32767, not rounded.
    const FloatRGBA r = blend(kGlueNormal, {0.99999f, 0.5f, 1.0f / 65536.0f, 1.0f}, grey(0));
    EXPECT_EQ(r.r * kUnit, 32767.0f);
    EXPECT_EQ(r.g * kUnit, 16384.0f);
    EXPECT_EQ(r.b * kUnit, 0.0f);
}

TEST(GlueModes, ModesOutsideTheRangeActAsNormal) {
    const FloatRGBA top = fixedColour(1000, 2000, 3000, 0.25f);
    const FloatRGBA base = grey(20000);
    for (int32_t mode : {0, -1, 70, 1000}) {
        const FloatRGBA r = blend(mode, top, base);
        EXPECT_EQ(r.r, top.r) << mode;
        EXPECT_EQ(r.g, top.g) << mode;
        EXPECT_EQ(r.b, top.b) << mode;
        EXPECT_EQ(r.a, 0.25f) << mode;
    }
}

TEST(GlueModes, BrightAndDimSwapWholeColours) {
    // Top luminance 77 x 16384, base 150 x 8192: the top is brighter.
    const FloatRGBA top = fixedColour(16384, 0, 0);
    const FloatRGBA base = fixedColour(0, 8192, 0);
    const Fixed3 bright = fixedOf(blend(kGlueBright, top, base));
    EXPECT_EQ(bright.r, 16384);
    EXPECT_EQ(bright.g, 0);
    EXPECT_EQ(bright.b, 0);
    const Fixed3 dim = fixedOf(blend(kGlueDim, top, base));
    EXPECT_EQ(dim.r, 0);
    EXPECT_EQ(dim.g, 8192);
    EXPECT_EQ(dim.b, 0);

    // Equal luminance (77 x 3584 = 28 x 9856): both give the top colour.
    const FloatRGBA red = fixedColour(3584, 0, 0);
    const FloatRGBA blue = fixedColour(0, 0, 9856);
    for (int32_t mode : {kGlueBright, kGlueDim}) {
        const Fixed3 r = fixedOf(blend(mode, red, blue));
        EXPECT_EQ(r.r, 3584) << mode;
        EXPECT_EQ(r.b, 0) << mode;
    }

    // The low 8 bits of the luminance are cleared: 77 over black counts as
    // equal, so dim keeps the top.
    const Fixed3 tiny = fixedOf(blend(kGlueDim, fixedColour(1, 0, 0), grey(0)));
    EXPECT_EQ(tiny.r, 1);
}

TEST(GlueModes, CrossChannelWeightsComeFromTheInputs) {
    const FloatRGBA top = fixedColour(32768, 0, 16384);
    const FloatRGBA base = fixedColour(0, 32768, 8192);
    struct Expect {
        int32_t mode;
        int32_t r, g, b;
    };
    const Expect cases[] = {
        {kGlueNorth, 32768, 16384, 8192},
        {kGlueSouth, 16384, 32768, 16384},
        {kGlueEast, 0, 8192, 16384},
        {kGlueWest, 24576, 0, 8192},
    };
    for (const Expect& e : cases) {
        const Fixed3 r = fixedOf(blend(e.mode, top, base));
        EXPECT_EQ(r.r, e.r) << e.mode;
        EXPECT_EQ(r.g, e.g) << e.mode;
        EXPECT_EQ(r.b, e.b) << e.mode;
    }
}

TEST(GlueModes, StarbrightNormalisesByTheBrightestChannel) {
    FloatRGBA r = blend(kGlueStarbright, {0.5f, 0.25f, 0.0f, 0.3f}, grey(16384));
    EXPECT_EQ(r.r, 1.0f);
    EXPECT_EQ(r.g, 0.5f);
    EXPECT_EQ(r.b, 0.0f);
    EXPECT_EQ(r.a, 0.5f); // the top alpha is ignored

    r = blend(kGlueStarbright, {2.0f, 1.0f, 0.0f, 0.3f}, grey(0));
    EXPECT_EQ(r.r, 2.0f);
    EXPECT_EQ(r.g, 1.0f);
    EXPECT_EQ(r.b, 0.0f);
    EXPECT_EQ(r.a, 1.0f);

    r = blend(kGlueStarbright, {0.0f, 0.0f, 0.0f, 1.0f}, grey(32768));
    EXPECT_EQ(r.r, 0.0f);
    EXPECT_EQ(r.g, 0.0f);
    EXPECT_EQ(r.b, 0.0f);
    EXPECT_EQ(r.a, 0.0f);
}

TEST(GlueModes, CompareRatio) {
    EXPECT_EQ(compareRatio(0.3f, 0.3f), 0.5f);
    EXPECT_EQ(compareRatio(0.0f, 0.0f), 1.0f);
    EXPECT_EQ(compareRatio(0.25f, 0.5f), 0.25f);
    EXPECT_EQ(compareRatio(0.5f, 0.25f), 0.75f);
    EXPECT_EQ(compareRatio(1.0f, 0.0f), 1.0f);
    // A negative base under a zero top would divide by zero.
    EXPECT_EQ(compareRatio(-0.5f, 0.0f), 0.0f);
}

// Float results of the hue models are truncated to fixed point; one unit of
// slack absorbs the rounding of the single-precision steps.
void expectNear(const FloatRGBA& got, int32_t r, int32_t g, int32_t b, const char* what) {
    const Fixed3 f = fixedOf(got);
    EXPECT_NEAR(f.r, r, 1.0) << what;
    EXPECT_NEAR(f.g, g, 1.0) << what;
    EXPECT_NEAR(f.b, b, 1.0) << what;
}

TEST(GlueModes, PerceptualModes) {
    const FloatRGBA red = fixedColour(32768, 0, 0);
    const FloatRGBA half = grey(16384);

    // Red (hue brightness 0.28) at the luminance of mid grey, 16320/32768:
    // L = (0.49805 - 0.28) / 0.72 / 2 + 0.5 = 0.65142, so the other two
    // channels are 2L - 1 = 0.30284.
    expectNear(blend(kGlueColor, red, half), 32768, 9923, 9923, "color");
    expectNear(blend(kGlueLuminance, half, red), 32768, 9923, 9923, "luminance");

    // On a white base the lightness is the luminance of white, 32640/32768.
    expectNear(blend(kGlueColor, half, grey(32768)), 32640, 32640, 32640, "color on white");

    // Grey top: no saturation, so the perceptual lightness of red (0.28)
    // becomes a grey of 0.28.
    expectNear(blend(kGlueSaturation, half, red), 9175, 9175, 9175, "saturation");
    // Grey base: no saturation to keep, the grey's own lightness stays.
    expectNear(blend(kGlueHue, red, half), 16384, 16384, 16384, "hue");

    // Sinister: compareRatio(16320/32768, 0.5) = 0.49805.
    expectNear(blend(kGlueSinister, half, half), 16320, 16320, 16320, "sinister");
    // Anterior: q = 0.25, A = 0.4375; a white top pulls A up to 1.
    expectNear(blend(kGlueAnterior, half, half), 14336, 14336, 14336, "anterior");
    expectNear(blend(kGlueAnterior, grey(32768), half), 32768, 32768, 32768, "anterior white");
    // Posterior with a dark base (P 0.125): q = 0.0625, A = 0.12109, pulled
    // by 0.375 x (0.125 - A) to 0.12256.
    expectNear(blend(kGluePosterior, half, grey(4096)), 4016, 4016, 4016, "posterior");
}

TEST(GlueModes, WaxWaneAndFrontal) {
    const FloatRGBA red = fixedColour(32768, 0, 0);
    const FloatRGBA base = fixedColour(4096, 8192, 12288);
    // Red has L = 0.5 (weight 1) and S = 1: wax takes the top, wane the base.
    expectNear(blend(kGlueWax, red, base), 32768, 0, 0, "wax red");
    expectNear(blend(kGlueWane, red, base), 4096, 8192, 12288, "wane red");
    // A grey of 0.25 has weight 1 - 0.5^4 = 0.9375 and no saturation.
    expectNear(blend(kGlueWax, grey(8192), base), 4096, 8192, 12288, "wax grey");
    expectNear(blend(kGlueWane, grey(8192), grey(0)), 7680, 7680, 7680, "wane grey");

    // Both red at L = 0.5: the base vector (1, 0) wins, its angle is 0 and
    // the new hue 3pi/2 / 2pi = 0.75, sector 4 at f = 0.5.
    expectNear(blend(kGlueFrontal, red, red), 16384, 0, 32768, "frontal");
    // A black top has weight 0 and lightness 0.
    expectNear(blend(kGlueFrontal, grey(0), red), 0, 0, 0, "frontal black");
}

TEST(GlueModels, PureRedSurvivesTheHueWrap) {
    // Red comes out of the hexcone rule as hue 6/6, one full turn.
    const glue::Hsl hsl = glue::toHsl(1.0f, 0.0f, 0.0f);
    EXPECT_EQ(hsl.h, 1.0f);
    const glue::Rgb back = glue::fromHsl(hsl.h, hsl.s, hsl.l);
    EXPECT_EQ(back.r, 1.0f);
    EXPECT_EQ(back.g, 0.0f);
    EXPECT_EQ(back.b, 0.0f);
}

TEST(GlueModels, HslRoundTrip) {
    const float samples[][3] = {{0.2f, 0.4f, 0.6f}, {0.9f, 0.1f, 0.5f},    {0.3f, 0.3f, 0.1f},
                                {0.0f, 1.0f, 0.5f}, {0.75f, 0.75f, 0.75f}, {0.5f, 0.0f, 1.0f}};
    for (const auto& s : samples) {
        const glue::Hsl hsl = glue::toHsl(s[0], s[1], s[2]);
        const glue::Rgb c = glue::fromHsl(hsl.h, hsl.s, hsl.l);
        EXPECT_NEAR(c.r, s[0], 1e-5f);
        EXPECT_NEAR(c.g, s[1], 1e-5f);
        EXPECT_NEAR(c.b, s[2], 1e-5f);
        const glue::PerceptualHsl p = glue::toPerceptual(s[0], s[1], s[2]);
        const glue::Rgb q = glue::fromPerceptual(p.h, p.s, p.p);
        EXPECT_NEAR(q.r, s[0], 1e-5f);
        EXPECT_NEAR(q.g, s[1], 1e-5f);
        EXPECT_NEAR(q.b, s[2], 1e-5f);
    }
    // Black and greys carry no hue or saturation.
    const glue::Hsl black = glue::toHsl(0.0f, 0.0f, 0.0f);
    EXPECT_EQ(black.s, 0.0f);
    EXPECT_EQ(black.l, 0.0f);
    EXPECT_EQ(glue::toHsl(0.4f, 0.4f, 0.4f).s, 0.0f);
}

TEST(GlueModels, OctantAngle) {
    constexpr float q = 0.7853981634f;
    EXPECT_EQ(glue::octantAngle(0.0f, 0.0f), 0.0f);
    EXPECT_FLOAT_EQ(glue::octantAngle(1.0f, 0.5f), 0.5f * q);  // flat, first quadrant
    EXPECT_FLOAT_EQ(glue::octantAngle(0.5f, 1.0f), 1.5f * q);  // steep
    EXPECT_FLOAT_EQ(glue::octantAngle(-1.0f, 0.5f), 3.5f * q); // x <= 0, y > 0, flat
    EXPECT_FLOAT_EQ(glue::octantAngle(-0.5f, 1.0f), 2.5f * q);
    EXPECT_FLOAT_EQ(glue::octantAngle(-1.0f, -0.5f), 4.5f * q);
    EXPECT_FLOAT_EQ(glue::octantAngle(-0.5f, -1.0f), 5.5f * q);
    EXPECT_FLOAT_EQ(glue::octantAngle(1.0f, -0.5f), 7.5f * q);
    EXPECT_FLOAT_EQ(glue::octantAngle(0.5f, -1.0f), 6.5f * q);
    EXPECT_FLOAT_EQ(glue::octantAngle(0.0f, 1.0f), 2.0f * q);
    EXPECT_FLOAT_EQ(glue::octantAngle(0.0f, -1.0f), 6.0f * q);
    EXPECT_FLOAT_EQ(glue::octantAngle(-1.0f, 0.0f), 4.0f * q);
}

TEST(GlueModels, SinCosAgreesWithTheExactValues) {
    for (int i = 0; i <= 64; ++i) {
        const float angle = 6.2831853f * float(i) / 64.0f;
        float s, c;
        glue::sinCos(angle, s, c);
        EXPECT_NEAR(s, std::sin(double(angle)), 1e-7) << angle;
        EXPECT_NEAR(c, std::cos(double(angle)), 1e-7) << angle;
    }
}

} // namespace
