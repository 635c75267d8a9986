// Creation, level geometry, storage and plain pixel access of pictures.
#include <cmath>
#include <cstring>
#include <limits>

#include <gtest/gtest.h>

#include "composite/picture/pyramid_image.h"
#include "pyramid_test_support.h"

namespace qf {}
using namespace qf;

namespace {

using namespace pyramid_test;

TEST(PyramidGeometry, HundredBySixtyHalvesToTheListedChain) {
    PyramidImage image;
    ASSERT_TRUE(createImage(&image, 100, 60, kPyramidRGBA8, kPyramidClamp, false));
    const int32_t widths[] = {100, 50, 26, 14, 8, 4, 2, 1};
    const int32_t heights[] = {60, 30, 16, 8, 4, 2, 1, 1};
    EXPECT_EQ(image.lastLevel(), 7);
    for (int n = 0; n <= 7; ++n) {
        EXPECT_EQ(image.levelWidth(n), widths[n]) << n;
        EXPECT_EQ(image.levelHeight(n), heights[n]) << n;
        EXPECT_EQ(image.level(n)->lastColumn, widths[n] - 1);
        EXPECT_FLOAT_EQ(image.level(n)->inverseWidth, 1.0f / widths[n]);
        // Coordinate scales follow level 0, not the rounded level sizes.
        EXPECT_EQ(image.level(n)->scaleX, 100.0f / float(1 << n));
        EXPECT_EQ(image.level(n)->scaleY, 60.0f / float(1 << n));
    }
    EXPECT_EQ(image.levelWidth(8), 0);
    EXPECT_EQ(image.levelHeight(8), 0);
    EXPECT_EQ(image.level(8), nullptr);
    EXPECT_EQ(image.levelWidth(-1), 0);
}

TEST(PyramidGeometry, OneByOneHasTwoLevelsAndLongChainsStopAtTwenty) {
    PyramidImage one;
    ASSERT_TRUE(createImage(&one, 1, 1, kPyramidGray8, kPyramidClamp, false));
    EXPECT_EQ(one.lastLevel(), 1);
    EXPECT_EQ(one.levelWidth(1), 1);
    EXPECT_EQ(one.levelHeight(1), 1);

    PyramidImage wide;
    ASSERT_TRUE(createImage(&wide, 1 << 21, 1, kPyramidGray8, kPyramidClamp, false));
    EXPECT_EQ(wide.lastLevel(), 19);
    EXPECT_EQ(wide.levelWidth(19), 4);
    EXPECT_EQ(wide.levelHeight(19), 1);

    PyramidImage bordered;
    ASSERT_TRUE(createImage(&bordered, 100, 60, kPyramidRGBA8, kPyramidClamp, true));
    EXPECT_EQ(bordered.lastLevel(), 7);
    EXPECT_EQ(bordered.levelWidth(2), 28);
    EXPECT_EQ(bordered.levelHeight(7), 3);
    EXPECT_FLOAT_EQ(bordered.level(2)->inverseWidth, 1.0f / 26.0f);
}

TEST(PyramidGeometry, TilesAreLaidOutLevelByLevelRowByRow) {
    PyramidImage image;
    ASSERT_TRUE(createImage(&image, 1100, 600, kPyramidRGBA16, kPyramidClamp, false));
    const PyramidLevel& l0 = *image.level(0);
    const PyramidLevel& l1 = *image.level(1);
    EXPECT_EQ(l0.tilesPerRow, 3);
    EXPECT_EQ(l0.tileRows, 2);
    EXPECT_EQ(l0.firstTile, 0);
    EXPECT_EQ(l1.firstTile, 6);
    EXPECT_EQ(l1.tilesPerRow, 2); // 550 wide
    // Pixel (x, y) lies in tile first + (y / 512) * perRow + x / 512 at
    // (y mod 512) * 512 + x mod 512.
    const int32_t x = 1030, y = 515;
    const PyramidTile* t = image.tile(0 + 1 * 3 + 2);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(image.pixelAddress(x, y, 0), t->pixels + (size_t(3) * 512 + 6) * 8);
    EXPECT_EQ(t->rows, 88); // only the rows the level has
    EXPECT_EQ(image.pixelAddress(1100, 0, 0), nullptr);
    EXPECT_EQ(image.pixelAddress(0, -1, 0), nullptr);
    EXPECT_EQ(image.pixelAddress(0, 0, image.lastLevel() + 1), nullptr);
}

TEST(PyramidCreate, RefusesBadArgumentsCleanly) {
    const uint64_t before = pyramidStorageInUse();
    PyramidImage image;
    EXPECT_FALSE(createImage(nullptr, 10, 10, kPyramidRGBA8, kPyramidClamp, false));
    EXPECT_FALSE(createImage(&image, 0, 10, kPyramidRGBA8, kPyramidClamp, false));
    EXPECT_FALSE(createImage(&image, 10, -5, kPyramidRGBA8, kPyramidClamp, false));
    EXPECT_FALSE(createImage(&image, 1 << 30, 1 << 30, kPyramidRGBA8, kPyramidClamp, false));
    EXPECT_FALSE(createImage(&image, std::numeric_limits<int32_t>::max(), 1, kPyramidGray8,
                             kPyramidClamp, true));
    EXPECT_FALSE(createImage(&image, 10, 10, 6, kPyramidClamp, false));
    EXPECT_FALSE(createImage(&image, 10, 10, kPyramidRGBA8, 3, false));
    EXPECT_FALSE(image.hasStorage());
    EXPECT_EQ(pyramidStorageInUse(), before);
    // A picture without storage reads as zero and ignores stores.
    image.storePixel(0, 0, 0, FloatRGBA{1, 1, 1, 1});
    const FloatRGBA c = image.samplePoint(0, 0, 0);
    EXPECT_EQ(c.r + c.g + c.b + c.a, 0.0f);
    const FloatRGBA f = image.sampleFiltered(0, 0.5f, 0.5f, 0.5f);
    EXPECT_EQ(f.r + f.a, 0.0f);
}

TEST(PyramidCreate, StorageLimitRefusesWholeAndHalfWayPicturesWithoutLeftovers) {
    const uint64_t savedLimit = pyramidStorageLimit();
    const uint64_t before = pyramidStorageInUse();
    {
        PyramidImage held;
        ASSERT_TRUE(createImage(&held, 1024, 1024, kPyramidRGBA8, kPyramidClamp, false));
        const uint64_t heldBytes = pyramidStorageInUse() - before;
        EXPECT_GE(heldBytes, uint64_t(1024) * 1024 * 4 * 4 / 3);

        // Larger than the whole limit: refused before anything is allocated.
        setPyramidStorageLimit(before + heldBytes + (1 << 20));
        PyramidImage big;
        EXPECT_FALSE(createImage(&big, 4096, 4096, kPyramidRGBA8, kPyramidClamp, false));
        EXPECT_EQ(pyramidStorageInUse(), before + heldBytes);

        // Fits the limit alone but not beside `held`: the tiles already
        // made are given back.
        setPyramidStorageLimit(before + heldBytes + heldBytes / 2);
        PyramidImage second;
        EXPECT_FALSE(createImage(&second, 1024, 1024, kPyramidRGBA8, kPyramidClamp, false));
        EXPECT_FALSE(second.hasStorage());
        EXPECT_EQ(pyramidStorageInUse(), before + heldBytes);
        setPyramidStorageLimit(savedLimit);
        // The same object is usable again afterwards.
        EXPECT_TRUE(createImage(&second, 1024, 1024, kPyramidRGBA8, kPyramidClamp, false));
        EXPECT_EQ(pyramidStorageInUse(), before + 2 * heldBytes);
        // Re-creating releases the old storage first.
        EXPECT_TRUE(createImage(&second, 16, 16, kPyramidGray8, kPyramidClamp, false));
        EXPECT_LT(pyramidStorageInUse(), before + 2 * heldBytes);
        // Moving hands the storage over.
        PyramidImage moved(std::move(second));
        EXPECT_TRUE(moved.hasStorage());
        EXPECT_FALSE(second.hasStorage());
    }
    setPyramidStorageLimit(savedLimit);
    EXPECT_EQ(pyramidStorageInUse(), before);
}

TEST(PyramidCreate, ConvenienceFormPicksTheKind) {
    PyramidImage a, b, c;
    ASSERT_TRUE(createImage(&a, 5, 5, 1));
    ASSERT_TRUE(createImage(&b, 5, 5, 2));
    ASSERT_TRUE(createImage(&c, 5, 5, 7));
    EXPECT_EQ(a.kind(), kPyramidGray8);
    EXPECT_EQ(b.kind(), kPyramidChannel16);
    EXPECT_EQ(c.kind(), kPyramidRGBA8);
    EXPECT_EQ(c.wrapMode(), kPyramidClamp);
    EXPECT_FALSE(c.border());
    EXPECT_EQ(a.inputScale(), 255.0f);
    EXPECT_EQ(a.outputScale(), 1.0f / 255.0f);
    EXPECT_FALSE(a.holdsFloat());
}

TEST(PyramidPixels, StoreConvertsByKindAndSampleReadsBack) {
    PyramidImage rgba8, rgba16, rgbaf;
    ASSERT_TRUE(createImage(&rgba8, 4, 4, kPyramidRGBA8, kPyramidClamp, false));
    ASSERT_TRUE(createImage(&rgba16, 4, 4, kPyramidRGBA16, kPyramidClamp, false));
    ASSERT_TRUE(createImage(&rgbaf, 4, 4, kPyramidRGBAFloat, kPyramidClamp, false));
    const FloatRGBA c{1.0f, 0.5f, 0.9999f, 0.25f};
    rgba8.storePixel(1, 2, 0, c);
    rgba16.storePixel(1, 2, 0, c);
    rgbaf.storePixel(1, 2, 0, FloatRGBA{3.5f, -1.0f, 0.5f, 1.0f});

    uint32_t word;
    std::memcpy(&word, rgba8.pixelAddress(1, 2, 0), 4);
    EXPECT_EQ(word, 0xFF7FFE3Fu); // red in the top byte, alpha in the lowest; truncated
    double raw[4];
    readRaw(rgba16, 1, 2, 0, raw);
    EXPECT_EQ(raw[0], 32768);
    EXPECT_EQ(raw[1], 16384);
    EXPECT_EQ(raw[2], 32764);
    EXPECT_EQ(raw[3], 8192);

    const FloatRGBA r8 = rgba8.samplePoint(1, 2, 0);
    EXPECT_EQ(r8.r, 255.0f * (1.0f / 255.0f));
    EXPECT_EQ(r8.g, 127.0f * (1.0f / 255.0f));
    EXPECT_EQ(r8.a, 63.0f * (1.0f / 255.0f));
    const FloatRGBA rf = rgbaf.samplePoint(1, 2, 0);
    EXPECT_EQ(rf.r, 3.5f);
    EXPECT_EQ(rf.g, -1.0f);
    EXPECT_TRUE(rgbaf.holdsFloat());

    // Coordinates are clamped to the level when sampling...
    const FloatRGBA corner = rgba16.samplePoint(-7, 99, 0);
    const FloatRGBA expected = rgba16.samplePoint(0, 3, 0);
    EXPECT_EQ(std::memcmp(&corner, &expected, sizeof corner), 0);
    // ...and ignored when storing.
    rgba8.storePixel(4, 0, 0, c);
    rgba8.storePixel(0, -1, 0, c);
    rgba8.storePixel(0, 0, 9, c);
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 4; ++x)
            if (x != 1 || y != 2) {
                std::memcpy(&word, rgba8.pixelAddress(x, y, 0), 4);
                EXPECT_EQ(word, 0u);
            }
}

TEST(PyramidPixels, OutOfRangeColoursAreLimitedToTheSample) {
    PyramidImage rgba8, rgba16;
    ASSERT_TRUE(createImage(&rgba8, 2, 2, kPyramidRGBA8, kPyramidClamp, false));
    ASSERT_TRUE(createImage(&rgba16, 2, 2, kPyramidRGBA16, kPyramidClamp, false));
    const FloatRGBA wild{1.7f, -0.3f, std::numeric_limits<float>::quiet_NaN(), 1e30f};
    rgba8.storePixel(0, 0, 0, wild);
    rgba16.storePixel(0, 0, 0, wild);
    uint32_t word;
    std::memcpy(&word, rgba8.pixelAddress(0, 0, 0), 4);
    EXPECT_EQ(word, 0xFF0000FFu);
    double raw[4];
    readRaw(rgba16, 0, 0, 0, raw);
    EXPECT_EQ(raw[0], 55705); // 1.7 * 32768 still fits 16 bits
    EXPECT_EQ(raw[1], 0);
    EXPECT_EQ(raw[2], 0);
    EXPECT_EQ(raw[3], 65535);
}

TEST(PyramidPixels, OtherKindsAreNotWrittenAndGrayReadsAsGray) {
    for (int32_t kind :
         {kPyramidGray8, kPyramidGray16, kPyramidChannel16, kPyramidGrayFloat, kPyramidRGB16}) {
        PyramidImage image;
        ASSERT_TRUE(createImage(&image, 3, 3, kind, kPyramidClamp, false));
        image.storePixel(1, 1, 0, FloatRGBA{1, 1, 1, 1});
        const FloatRGBA zero = image.samplePoint(1, 1, 0);
        EXPECT_EQ(zero.r, 0.0f) << kind;
        const double v[4] = {200, 100, 50, 0};
        writeRaw(image, 1, 1, 0, v);
        const FloatRGBA c = image.samplePoint(1, 1, 0);
        const float out = image.outputScale();
        EXPECT_EQ(c.r, 200.0f * out) << kind;
        if (channelsOf(kind) == 1) {
            EXPECT_EQ(c.g, c.r);
            EXPECT_EQ(c.b, c.r);
        } else {
            EXPECT_EQ(c.g, 100.0f * out);
            EXPECT_EQ(c.b, 50.0f * out);
        }
        EXPECT_EQ(c.a, 1.0f) << kind;
    }
}

TEST(PyramidPixels, CompositorViewReadsAndStoresLevelZero) {
    PyramidImage image;
    ASSERT_TRUE(createImage(&image, 8, 8, kPyramidRGBA16, kPyramidClamp, false));
    PyramidCompositeImage view(image, 100, 50);
    EXPECT_FALSE(view.holdsFloat());
    view.storePixel(103, 52, FloatRGBA{0.5f, 0.25f, 1.0f, 1.0f});
    double raw[4];
    readRaw(image, 3, 2, 0, raw);
    EXPECT_EQ(raw[0], 16384);
    const FloatRGBA back = view.readPixel(103, 52);
    EXPECT_EQ(back.g, 0.25f);
    view.storePixel(std::numeric_limits<int32_t>::min(), 52,
                    FloatRGBA{1, 1, 1, 1}); // outside: ignored
    (void)view.readPixel(std::numeric_limits<int32_t>::max(), 0);

    PyramidImage floats;
    ASSERT_TRUE(createImage(&floats, 2, 2, kPyramidGrayFloat, kPyramidClamp, false));
    EXPECT_TRUE(PyramidCompositeImage(floats).holdsFloat());
}

} // namespace
