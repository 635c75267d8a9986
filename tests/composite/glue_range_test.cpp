// Inputs outside 0..1 must not overflow anything: 16-bit sources reach 2.0,
// the preview of a 32-bit document carries channels up to 65535, overflow
// spreading pushes generated channels above 1, and a broken host can hand us
// anything. Run under the sanitizers, these tests prove every mode well
// defined; the checks prove the wide arithmetic keeps results that fit.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "composite/composite_pixel.h"
#include "composite/glue_modes.h"

namespace qf {}
using namespace qf;

namespace {

const float kWild[] = {
    0.0f,
    1.0f,
    2.0f,
    -1.0f / 32768.0f, // burn's divisor T + 1 becomes zero
    -1.0f,
    65535.0f,
    65535.99f,
    65536.0f,
    -65536.0f,
    1.0e9f,
    -1.0e9f,
    std::numeric_limits<float>::max(),
    std::numeric_limits<float>::lowest(),
    std::numeric_limits<float>::infinity(),
    -std::numeric_limits<float>::infinity(),
    std::numeric_limits<float>::quiet_NaN(),
    std::numeric_limits<float>::denorm_min(),
};

TEST(GlueRange, EveryModeIsDefinedForEveryInput) {
    int checked = 0;
    for (int32_t mode = 0; mode <= kGlueModeCount + 1; ++mode) {
        for (float t : kWild) {
            for (float b : kWild) {
                // Mixed channels so the cross-channel and hue modes see
                // uneven colours too.
                const FloatRGBA top{t, b, 0.5f, 1.0f};
                const FloatRGBA base{b, 0.25f, t, 1.0f};
                FloatRGBA r;
                blendGlue(top, base, r, mode);
                if (mode != kGlueStarbright) {
                    // Everything else passes through integers, so no NaN.
                    ASSERT_FALSE(std::isnan(r.r) || std::isnan(r.g) || std::isnan(r.b))
                        << "mode " << mode << " t " << t << " b " << b;
                }
                ++checked;
            }
        }
    }
    EXPECT_EQ(checked, 71 * 17 * 17);
}

TEST(GlueRange, ConversionSaturates) {
    EXPECT_EQ(glue::truncateToInt(2147483648.0f), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(glue::truncateToInt(-2147483648.0f), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(glue::truncateToInt(-3.0e9f), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(glue::truncateToInt(std::numeric_limits<float>::quiet_NaN()), 0);
    EXPECT_EQ(glue::truncateToInt(-2.9f), -2);
    EXPECT_EQ(glue::truncateToInt(2147483520.0f), 2147483520); // largest float below 2^31
}

FloatRGBA blendGrey(int32_t mode, float t, float b) {
    FloatRGBA r;
    blendGlue({t, t, t, 1.0f}, {b, b, b, 1.0f}, r, mode);
    return r;
}

TEST(GlueRange, WideResultsAreExact) {
    // Each of these overflows 32-bit arithmetic; in 64 bits the formula's
    // own value comes out.
    // 100 x 100: (3276800 x 3276800) >> 15.
    EXPECT_EQ(blendGrey(kGlueMultiply, 100.0f, 100.0f).r, 10000.0f);
    // Screen: 3276800 + ((32768 - 3276800) x 3276800 >> 15) = -9800.0.
    EXPECT_EQ(blendGrey(kGlueScreen, 100.0f, 100.0f).r, -9800.0f);
    // Difference of 100 and 0.5: (-99 x 0.5 + 0.5 x 100) = 0.5.
    EXPECT_EQ(blendGrey(kGlueDifference, 100.0f, 0.5f).r, 0.5f);
    // Ace with a top of 3.0 over 0: T x T >> 15 = 9.0.
    EXPECT_EQ(blendGrey(kGlueAce, 3.0f, 0.0f).r, 9.0f);
    // King: 2.0 x (3.0 - 2.0 + 1.0) = 4; queen: 2.0 x (2.0 - 2.0 + 1.0) = 2.
    EXPECT_EQ(blendGrey(kGlueKing, 3.0f, 2.0f).r, 4.0f);
    EXPECT_EQ(blendGrey(kGlueQueen, 2.0f, 2.0f).r, 2.0f);
    // Bitwise modes keep the high bits: 4.0 OR 0.5.
    EXPECT_EQ(blendGrey(kGlueOr, 4.0f, 0.5f).r, 4.5f);
}

TEST(GlueRange, SaturatedProductsKeepTheirSign) {
    // Superlay of huge values: m' and s' are both hugely negative, so
    // 2 m' s' is hugely positive even after the products saturate.
    EXPECT_GT(blendGrey(kGlueSuperlay, 60000.0f, 60000.0f).r, 1.0f);
    // Soft light of a huge top over 0.5: the 8-bit branch grows with t8.
    EXPECT_GT(blendGrey(kGlueSoftLight, 60000.0f, 0.5f).r, 1.0f);
    // Burn with a top of -1/32768 takes the limit instead of dividing by 0.
    EXPECT_EQ(blendGrey(kGlueBurn, -1.0f / 32768.0f, 0.5f).r, 0.0f);
    EXPECT_EQ(blendGrey(kGlueBurn, -1.0f / 32768.0f, 1.0f).r, 1.0f);
}

TEST(GlueRange, CompositorHandlesOverBrightAndBrokenInputs) {
    // A float document previewed: source samples far above 1 and NaN.
    const float samples[] = {1.0e6f, 65535.0f, std::numeric_limits<float>::quiet_NaN(),
                             -5.0f,  0.5f,     0.5f};
    std::vector<uint8_t> preview(4 * 4 * 3, 0);
    CompositeTarget t;
    t.renderTarget = 1;
    t.depth = DepthClass::Float;
    t.inData = samples;
    t.inPlaneCount = 3;
    t.inRowBytes = int32_t(sizeof(samples));
    t.previewData = preview.data();
    t.previewWidth = 4;
    t.previewHeight = 4;
    t.previewPlaneDistance = 16;
    t.previewPlanes = 3;
    const PixelRect rect{0, 0, 1, 2};
    for (int32_t mode = 1; mode <= kGlueModeCount; ++mode) {
        t.glue = mode;
        for (int32_t x = 0; x < 2; ++x) {
            FloatRGBA g{3.0e9f, std::numeric_limits<float>::infinity(), 2.0f, 0.7f};
            compositePixel(t, x, 0, &g, rect, 1);
        }
    }
    // Normal: the saturated top is limited to 1 and, at alpha 0.7049 over
    // the white square of the checkerboard, stays white.
    t.glue = kGlueNormal;
    FloatRGBA g{3.0e9f, std::numeric_limits<float>::infinity(), 2.0f, 0.7f};
    compositePixel(t, 0, 0, &g, rect, 1);
    EXPECT_EQ(preview[0], 255);
    EXPECT_EQ(preview[16], 255);
    EXPECT_EQ(preview[32], 255);
}

} // namespace
