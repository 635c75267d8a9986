// Resampling one picture into another: the level chosen from the width
// ratio, the sampling positions, the limits on stored colours and the
// clipping of the destination rectangle.
#include <cmath>
#include <cstring>

#include <gtest/gtest.h>

#include "composite/picture/pyramid_image.h"
#include "pyramid_test_support.h"

namespace qf {}
using namespace qf;

namespace {

using namespace pyramid_test;

TEST(Resample, LevelFollowsTheWidthRatioAndBias) {
    int32_t level;
    float fraction;
    resampleLevel(200, 100, 0.0f, 7, level, fraction);
    EXPECT_EQ(level, 1);
    EXPECT_EQ(fraction, 0.0f);
    resampleLevel(1024, 1, 0.0f, 19, level, fraction);
    EXPECT_EQ(level, 10);
    EXPECT_EQ(fraction, 0.0f);
    resampleLevel(200, 100, 1.0f, 7, level, fraction);
    EXPECT_EQ(level, 0);
    EXPECT_EQ(fraction, 0.0f);
    resampleLevel(400, 100, 0.5f, 7, level, fraction);
    EXPECT_EQ(level, 1);
    EXPECT_EQ(fraction, 0.5f);
    resampleLevel(300, 100, 0.0f, 7, level, fraction);
    EXPECT_EQ(level, 1);
    EXPECT_NEAR(fraction, std::log2(3.0) - 1.0, 1e-7);
    resampleLevel(1000, 7, 0.0f, 19, level, fraction);
    EXPECT_NEAR(level + fraction, std::log2(1000.0 / 7.0), 1e-6);
    // Enlarging uses level 0; the chain's end limits the level.
    resampleLevel(100, 300, 0.0f, 7, level, fraction);
    EXPECT_EQ(level, 0);
    EXPECT_EQ(fraction, 0.0f);
    resampleLevel(1 << 20, 1, 0.0f, 7, level, fraction);
    EXPECT_EQ(level, 7);
    EXPECT_EQ(fraction, 0.0f);
    resampleLevel(100, 0, 0.0f, 7, level, fraction);
    EXPECT_EQ(level, 0);
}

TEST(Resample, HalfWidthSamplesLevelOneAtPixelCentres) {
    PyramidImage source, destination;
    ASSERT_TRUE(createImage(&source, 128, 96, kPyramidRGBA8, kPyramidClamp, false));
    ASSERT_TRUE(createImage(&destination, 64, 48, kPyramidRGBA16, kPyramidClamp, false));
    fillRandom(source, 31);
    buildLevelsHere(source, 0);
    ASSERT_TRUE(resampleImage(source, destination, PixelRect{0, 0, 96, 128},
                              PixelRect{0, 0, 48, 64}, 0.0f));
    for (int32_t y = 0; y < 48; y += 5)
        for (int32_t x = 0; x < 64; x += 3) {
            const float u = (0.0f + (float(x) + 0.5f) * 2.0f) * (1.0f / 128.0f);
            const float v = (0.0f + (float(y) + 0.5f) * 2.0f) * (1.0f / 96.0f);
            FloatRGBA c = source.sampleFiltered(1, 0.0f, u, v);
            auto lim = [](float f) { return std::min(std::max(f, 0.0f), 1.0f); };
            c = FloatRGBA{lim(c.r), lim(c.g), lim(c.b), lim(c.a)};
            double raw[4];
            readRaw(destination, x, y, 0, raw);
            ASSERT_EQ(raw[0], double(int32_t(c.r * 32768.0f))) << x << "," << y;
            ASSERT_EQ(raw[3], double(int32_t(c.a * 32768.0f)));
        }
}

TEST(Resample, ColoursAreLimitedByDestinationKind) {
    // A hard black-white edge rings below 0 and above 1.
    PyramidImage source, toInts, toFloats;
    ASSERT_TRUE(createImage(&source, 32, 8, kPyramidRGBAFloat, kPyramidClamp, false));
    for (int32_t y = 0; y < 8; ++y)
        for (int32_t x = 0; x < 32; ++x) {
            const double v = x < 16 ? 0.0 : 3.0;
            const double px[4] = {v, v, v, x < 16 ? 0.0 : 1.0};
            writeRaw(source, x, y, 0, px);
        }
    ASSERT_TRUE(createImage(&toInts, 32, 8, kPyramidRGBA8, kPyramidClamp, false));
    ASSERT_TRUE(createImage(&toFloats, 32, 8, kPyramidRGBAFloat, kPyramidClamp, false));
    ASSERT_TRUE(
        resampleImage(source, toInts, PixelRect{0, 0, 8, 32}, PixelRect{0, 0, 8, 32}, 0.0f));
    ASSERT_TRUE(
        resampleImage(source, toFloats, PixelRect{0, 0, 8, 32}, PixelRect{0, 0, 8, 32}, 0.0f));
    bool sawOvershoot = false;
    for (int32_t x = 0; x < 32; ++x) {
        const FloatRGBA raw =
            source.sampleFiltered(0, 0.0f, (float(x) + 0.5f) / 32.0f, 4.5f / 8.0f);
        double f[4], i[4];
        readRaw(toFloats, x, 4, 0, f);
        readRaw(toInts, x, 4, 0, i);
        EXPECT_GE(f[0], 0.0);
        EXPECT_LE(f[3], 1.0);
        EXPECT_GE(f[3], 0.0);
        EXPECT_LE(i[0], 255.0);
        if (raw.r > 3.0f) {
            sawOvershoot = true;
            EXPECT_EQ(f[0], double(raw.r)); // floats keep colours above 1
            EXPECT_EQ(i[0], 255.0);
        }
        if (raw.r < 0.0f) {
            EXPECT_EQ(f[0], 0.0);
            EXPECT_EQ(i[0], 0.0);
        }
    }
    EXPECT_TRUE(sawOvershoot);
}

TEST(Resample, DestinationRectangleIsOffsetAndClipped) {
    PyramidImage source, destination;
    ASSERT_TRUE(createImage(&source, 16, 16, kPyramidRGBA8, kPyramidClamp, false));
    ASSERT_TRUE(createImage(&destination, 20, 20, kPyramidRGBA8, kPyramidClamp, false));
    fillUniform(source, 0, 180);
    // Partly outside on the right and bottom: only pixels inside are written.
    ASSERT_TRUE(resampleImage(source, destination, PixelRect{0, 0, 16, 16},
                              PixelRect{12, 10, 28, 26}, 0.0f));
    for (int32_t y = 0; y < 20; ++y)
        for (int32_t x = 0; x < 20; ++x) {
            double v[4];
            readRaw(destination, x, y, 0, v);
            ASSERT_EQ(v[0], (x >= 10 && y >= 12) ? 180.0 : 0.0) << x << "," << y;
        }
    EXPECT_FALSE(
        resampleImage(source, destination, PixelRect{0, 0, 16, 0}, PixelRect{0, 0, 5, 5}, 0.0f));
    EXPECT_FALSE(
        resampleImage(source, destination, PixelRect{0, 0, 16, 16}, PixelRect{5, 5, 5, 9}, 0.0f));
    PyramidImage none;
    EXPECT_FALSE(
        resampleImage(none, destination, PixelRect{0, 0, 1, 1}, PixelRect{0, 0, 1, 1}, 0.0f));
    // Rectangles far outside the destination write nothing and do not fail.
    EXPECT_TRUE(resampleImage(source, destination, PixelRect{0, 0, 16, 16},
                              PixelRect{-1000000, -1000000, -999990, -999990}, 0.0f));
}

} // namespace
