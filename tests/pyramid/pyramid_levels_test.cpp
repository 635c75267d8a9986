// Building the coarser levels: the 6 x 6 weights, the brightening of the
// integer kinds, clamping at the edges, and the worker pool giving the same
// pixels as a build on one thread.
#include <cstring>

#include <gtest/gtest.h>

#include "composite/picture/pyramid_image.h"
#include "pyramid_test_support.h"
#include "render/pyramid_levels.h"

namespace qf {}
using namespace qf;

namespace {

using namespace pyramid_test;

bool samePixels(const PyramidImage& a, const PyramidImage& b, int32_t level) {
    for (int32_t y = 0; y < a.levelHeight(level); ++y)
        for (int32_t x = 0; x < a.levelWidth(level); ++x)
            if (std::memcmp(a.pixelAddress(x, y, level), b.pixelAddress(x, y, level),
                            size_t(a.kindInfo().bytesPerPixel)))
                return false;
    return true;
}

TEST(PyramidLevels, UniformEightBitLevelsBrightenSlightly) {
    // 200 * 1640 / 1630 = 201.2 and 100 * 1640 / 1630 = 100.6, truncated;
    // white stays white.
    const int pairs[][2] = {{255, 255}, {200, 201}, {100, 100}, {0, 0}};
    for (int32_t kind : {kPyramidRGBA8, kPyramidGray8}) {
        for (const auto& p : pairs) {
            PyramidImage image;
            ASSERT_TRUE(createImage(&image, 37, 21, kind, kPyramidClamp, false));
            fillUniform(image, 0, p[0]);
            buildLevelsHere(image, 0);
            for (int32_t y = 0; y < image.levelHeight(1); ++y)
                for (int32_t x = 0; x < image.levelWidth(1); ++x) {
                    double v[4];
                    readRaw(image, x, y, 1, v);
                    ASSERT_EQ(v[0], p[1]) << kind << " " << p[0];
                    if (kind == kPyramidRGBA8) {
                        ASSERT_EQ(v[3], p[1]);
                    }
                }
        }
    }
    PyramidImage sixteen;
    ASSERT_TRUE(createImage(&sixteen, 9, 9, kPyramidRGBA16, kPyramidClamp, false));
    fillUniform(sixteen, 0, 32768);
    buildLevelsHere(sixteen, 0);
    double v[4];
    readRaw(sixteen, 2, 2, 1, v);
    EXPECT_EQ(v[0], 32768); // limited to the 16-bit scale
}

TEST(PyramidLevels, BuiltPixelsMatchTheWeightTable) {
    for (int32_t kind : {kPyramidGray8, kPyramidGray16, kPyramidChannel16, kPyramidRGBA8,
                         kPyramidRGBA16, kPyramidGrayFloat, kPyramidRGB16, kPyramidRGBAFloat}) {
        PyramidImage image;
        // Odd sizes: the padded columns and rows come from clamped fetches.
        ASSERT_TRUE(createImage(&image, 1031, 45, kind, kPyramidClamp, false));
        fillRandom(image, 100u + uint32_t(kind));
        buildLevelsHere(image, 0);
        EXPECT_TRUE(image.levelsBuilt());
        for (int32_t level = 0; level < image.lastLevel(); ++level) {
            const int32_t w = image.levelWidth(level + 1);
            const int32_t h = image.levelHeight(level + 1);
            for (int32_t y = 0; y < h; y += (level == 0 ? 3 : 1))
                for (int32_t x = 0; x < w; x += (level == 0 ? 7 : 1)) {
                    double got[4], want[4];
                    readRaw(image, x, y, level + 1, got);
                    referenceLevelPixel(image, level, x, y, want);
                    for (int c = 0; c < channelsOf(kind); ++c)
                        ASSERT_EQ(got[c], want[c]) << "kind " << kind << " level " << level + 1
                                                   << " at " << x << "," << y << " channel " << c;
                }
        }
    }
}

TEST(PyramidLevels, TileBuildsOnlyItsRectangle) {
    PyramidImage image;
    ASSERT_TRUE(createImage(&image, 64, 64, kPyramidRGBA8, kPyramidClamp, false));
    fillUniform(image, 0, 200);
    buildLevelTile(image, 0, PixelRect{4, 8, 10, 20});
    for (int32_t y = 0; y < 32; ++y)
        for (int32_t x = 0; x < 32; ++x) {
            double v[4];
            readRaw(image, x, y, 1, v);
            const bool inside = y >= 4 && y < 10 && x >= 8 && x < 20;
            ASSERT_EQ(v[0], inside ? 201 : 0) << x << "," << y;
        }
    // Rectangles reaching outside the level and levels outside the chain
    // are harmless.
    buildLevelTile(image, 0, PixelRect{-50, -50, 500, 500});
    buildLevelTile(image, image.lastLevel(), PixelRect{0, 0, 1, 1});
    buildLevelTile(image, -1, PixelRect{0, 0, 1, 1});
    double v[4];
    readRaw(image, 31, 31, 1, v);
    EXPECT_EQ(v[0], 201);
}

TEST(PyramidLevels, WorkerPoolBuildsTheSamePixelsOnAnyNumberOfProcessors) {
    for (int32_t kind : {kPyramidRGBA8, kPyramidRGBA16, kPyramidRGBAFloat}) {
        PyramidImage here, one, many;
        for (PyramidImage* p : {&here, &one, &many}) {
            ASSERT_TRUE(createImage(p, 700, 333, kind, kPyramidClamp, false));
            fillRandom(*p, 55);
        }
        ASSERT_TRUE(buildLevelsHere(here, 0));
        ASSERT_TRUE(buildLevels(one, 0, 1));
        ASSERT_TRUE(buildLevels(many, 0, 4));
        EXPECT_TRUE(many.levelsBuilt());
        for (int32_t level = 1; level <= here.lastLevel(); ++level) {
            EXPECT_TRUE(samePixels(here, one, level)) << kind << " level " << level;
            EXPECT_TRUE(samePixels(here, many, level)) << kind << " level " << level;
        }
    }
    PyramidImage empty;
    EXPECT_FALSE(buildLevels(empty, 0));
}

TEST(PyramidLevels, BuildingFromALaterLevelLeavesEarlierOnesAlone) {
    PyramidImage image;
    ASSERT_TRUE(createImage(&image, 40, 40, kPyramidRGBA8, kPyramidClamp, false));
    fillUniform(image, 0, 200);
    fillUniform(image, 1, 100);
    ASSERT_TRUE(buildLevels(image, 1, 2));
    double v[4];
    readRaw(image, 3, 3, 1, v);
    EXPECT_EQ(v[0], 100);
    readRaw(image, 3, 3, 2, v);
    EXPECT_EQ(v[0], 100);
}

TEST(PyramidLevels, BorderPicturesBuildFromTheirInterior) {
    // A bordered picture's level pixels equal the plain picture's, one pixel
    // in.
    PyramidImage plain, bordered;
    ASSERT_TRUE(createImage(&plain, 50, 34, kPyramidRGBA16, kPyramidClamp, false));
    ASSERT_TRUE(createImage(&bordered, 50, 34, kPyramidRGBA16, kPyramidClamp, true));
    fillRandom(plain, 12);
    for (int32_t y = 0; y < bordered.levelHeight(0); ++y)
        for (int32_t x = 0; x < bordered.levelWidth(0); ++x) {
            double v[4];
            readRaw(plain, std::clamp(x - 1, 0, 49), std::clamp(y - 1, 0, 33), 0, v);
            writeRaw(bordered, x, y, 0, v);
        }
    buildLevelsHere(plain, 0);
    buildLevelsHere(bordered, 0);
    for (int32_t y = 2; y < 15; ++y)
        for (int32_t x = 2; x < 23; ++x) {
            double a[4], b[4];
            readRaw(plain, x, y, 1, a);
            readRaw(bordered, x + 1, y + 1, 1, b);
            ASSERT_EQ(a[0], b[0]) << x << "," << y;
            ASSERT_EQ(a[3], b[3]);
        }
}

} // namespace
