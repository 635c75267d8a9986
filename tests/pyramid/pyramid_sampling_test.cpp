// Filtered sampling: agreement with the definition on every path (inside a
// tile, at tile seams, at the edges with clamping and wrapping), the level
// fraction, and positions far outside the picture.
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

bool sameBits(const FloatRGBA& a, const FloatRGBA& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// Checks sampleFiltered at level `level`, fraction 0, against the reference
// for a set of positions that hit the interior, the seams and the edges.
void expectMatchesReference(const PyramidImage& image, int32_t level, uint32_t seed) {
    const PyramidLevel& L = *image.level(level);
    Lcg rng(seed);
    std::vector<float> xs = {0.0f,   0.3f,   1.0f,    2.5f,   509.25f,
                             510.5f, 511.0f, 511.75f, 512.0f, 513.5f};
    for (int i = 0; i < 12; ++i) xs.push_back(float(rng.next(uint32_t(L.width) * 128)) / 128.0f);
    xs.push_back(L.scaleX - 0.01f);
    xs.push_back(L.scaleX);
    for (float px : xs) {
        for (float py :
             {0.0f, 1.75f, float(rng.next(uint32_t(L.height) * 128)) / 128.0f, L.scaleY - 0.5f}) {
            const float u = px / L.scaleX;
            const float v = py / L.scaleY;
            const FloatRGBA got = image.sampleFiltered(level, 0.0f, u, v);
            double ref[4];
            referenceSample(image, level, u, v, ref);
            const float out = image.outputScale();
            const FloatRGBA want{float(ref[0]) * out, float(ref[1]) * out, float(ref[2]) * out,
                                 float(ref[3]) * out};
            ASSERT_TRUE(sameBits(got, want))
                << "kind " << image.kind() << " wrap " << image.wrapMode() << " level " << level
                << " at " << px << ", " << py << ": " << got.r << " vs " << want.r;
        }
    }
}

TEST(PyramidSampling, EveryKindAndWrapModeMatchesTheDefinition) {
    for (int32_t kind : {kPyramidGray8, kPyramidGray16, kPyramidChannel16, kPyramidRGBA8,
                         kPyramidRGBA16, kPyramidGrayFloat, kPyramidRGB16, kPyramidRGBAFloat}) {
        for (int32_t wrap : {kPyramidClamp, kPyramidWrap, kPyramidWrapHorizontal}) {
            PyramidImage image;
            // Wider than one tile so that seams are crossed.
            ASSERT_TRUE(createImage(&image, 700, 530, kind, wrap, false));
            fillRandom(image, 17u + uint32_t(kind));
            buildLevelsHere(image, 0);
            expectMatchesReference(image, 0, 5u + uint32_t(kind));
            expectMatchesReference(image, 2, 9u);
        }
    }
}

TEST(PyramidSampling, BorderPicturesSampleTheirInterior) {
    PyramidImage plain, bordered;
    ASSERT_TRUE(createImage(&plain, 40, 30, kPyramidRGBA16, kPyramidClamp, false));
    ASSERT_TRUE(createImage(&bordered, 40, 30, kPyramidRGBA16, kPyramidClamp, true));
    fillRandom(plain, 3);
    for (int32_t y = 0; y < 30; ++y)
        for (int32_t x = 0; x < 40; ++x) {
            double v[4];
            readRaw(plain, x, y, 0, v);
            writeRaw(bordered, x + 1, y + 1, 0, v);
        }
    for (float u : {0.2f, 0.5f, 0.77f})
        for (float v : {0.3f, 0.6f})
            EXPECT_TRUE(sameBits(plain.sampleFiltered(0, 0.0f, u, v),
                                 bordered.sampleFiltered(0, 0.0f, u, v)));
    expectMatchesReference(bordered, 0, 4);
}

TEST(PyramidSampling, FastPathAndSeamPathAgree) {
    // The same window contents once across a tile seam (pixel by pixel) and
    // once inside one tile (read straight from the tile).
    PyramidImage seam, inside;
    ASSERT_TRUE(createImage(&seam, 1024, 16, kPyramidRGBA8, kPyramidClamp, false));
    ASSERT_TRUE(createImage(&inside, 2048, 16, kPyramidRGBA8, kPyramidClamp, false));
    fillRandom(seam, 11);
    for (int32_t y = 0; y < 16; ++y)
        for (int32_t x = 0; x < 1024; ++x) {
            double v[4];
            readRaw(seam, x, y, 0, v);
            writeRaw(inside, x + 8, y, 0, v);
        }
    int compared = 0;
    for (int32_t g = 505; g <= 516; ++g)
        for (int32_t phase : {0, 1, 64, 127}) {
            const float fx = float(g) + float(phase) / 128.0f;
            const FloatRGBA a = seam.sampleFiltered(0, 0.0f, fx / 1024.0f, 8.5f / 16.0f);
            const FloatRGBA b = inside.sampleFiltered(0, 0.0f, (fx + 8.0f) / 2048.0f, 8.5f / 16.0f);
            EXPECT_TRUE(sameBits(a, b)) << g << " " << phase;
            ++compared;
        }
    EXPECT_EQ(compared, 48);
}

TEST(PyramidSampling, WrapModesDecideWhatLiesLeftOfTheFirstColumn) {
    // First column 200, last column 0, everything else 100.
    auto make = [](PyramidImage& image, int32_t wrap, int32_t lastValue) {
        ASSERT_TRUE(createImage(&image, 16, 16, kPyramidRGBA8, wrap, false));
        for (int32_t y = 0; y < 16; ++y)
            for (int32_t x = 0; x < 16; ++x) {
                const double value = x == 0 ? 200 : x == 15 ? lastValue : 100;
                const double v[4] = {value, value, value, 255};
                writeRaw(image, x, y, 0, v);
            }
    };
    PyramidImage clampA, clampB, wrapA, wrapB, hwrap;
    make(clampA, kPyramidClamp, 0);
    make(clampB, kPyramidClamp, 50);
    make(wrapA, kPyramidWrap, 0);
    make(wrapB, kPyramidWrap, 50);
    make(hwrap, kPyramidWrapHorizontal, 0);
    const float v = 0.5f;
    // Clamping repeats the first column: the last column does not matter.
    EXPECT_TRUE(
        sameBits(clampA.sampleFiltered(0, 0.0f, 0.0f, v), clampB.sampleFiltered(0, 0.0f, 0.0f, v)));
    // Wrapping mixes in the last column, so u = 0 lies between 0 and 200.
    const FloatRGBA a = wrapA.sampleFiltered(0, 0.0f, 0.0f, v);
    const FloatRGBA b = wrapB.sampleFiltered(0, 0.0f, 0.0f, v);
    EXPECT_LT(a.r, b.r);
    EXPECT_GT(a.r, 0.2f);
    EXPECT_LT(a.r, 0.6f);
    EXPECT_GT(clampA.sampleFiltered(0, 0.0f, 0.0f, v).r, 0.7f);
    // Horizontal wrapping alone behaves the same across columns.
    EXPECT_TRUE(sameBits(a, hwrap.sampleFiltered(0, 0.0f, 0.0f, v)));
    // Alpha of an opaque picture stays 1 everywhere (the weights sum exactly).
    EXPECT_EQ(a.a, 1.0f);
}

TEST(PyramidSampling, FractionMixesWithTheNextLevelAndLevelsAreClamped) {
    PyramidImage image;
    ASSERT_TRUE(createImage(&image, 64, 48, kPyramidRGBAFloat, kPyramidClamp, false));
    fillRandom(image, 21);
    buildLevelsHere(image, 0);
    const float u = 0.37f, v = 0.61f;
    const FloatRGBA a = image.sampleFiltered(1, 0.0f, u, v);
    const FloatRGBA b = image.sampleFiltered(2, 0.0f, u, v);
    const FloatRGBA m = image.sampleFiltered(1, 0.25f, u, v);
    EXPECT_EQ(m.r, a.r + 0.25f * (b.r - a.r));
    EXPECT_EQ(m.a, a.a + 0.25f * (b.a - a.a));
    // Levels beyond the chain sample the last level but one; negative ones
    // level 0.
    const int32_t top = image.lastLevel() - 1;
    EXPECT_TRUE(
        sameBits(image.sampleFiltered(99, 0.0f, u, v), image.sampleFiltered(top, 0.0f, u, v)));
    EXPECT_TRUE(
        sameBits(image.sampleFiltered(-3, 0.0f, u, v), image.sampleFiltered(0, 0.0f, u, v)));
    // The pixel form: the centre of pixel (x, y) of the level.
    EXPECT_TRUE(
        sameBits(image.sampleFilteredAt(1, 0.0f, 5.0f, 7.0f),
                 image.sampleFiltered(1, 0.0f, 5.5f * (1.0f / 32.0f), 7.5f * (1.0f / 24.0f))));
}

TEST(PyramidSampling, PositionsFarOutsideStayInsideTheStorage) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (int32_t wrap : {kPyramidClamp, kPyramidWrap, kPyramidWrapHorizontal}) {
        PyramidImage image;
        ASSERT_TRUE(createImage(&image, 20, 10, kPyramidRGBA8, wrap, false));
        fillUniform(image, 0, 80);
        for (float u : {-1e9f, -3.0f, -0.01f, 1.01f, 7.5f, 3e9f, nan, inf, -inf}) {
            const FloatRGBA c = image.sampleFiltered(0, 0.0f, u, u);
            EXPECT_EQ(c.r, 80.0f / 255.0f) << wrap << " " << u;
        }
    }
    // Just left of the picture the window rounds down: a phase inside the
    // table, the same as the definition with clamped columns.
    PyramidImage image;
    ASSERT_TRUE(createImage(&image, 20, 10, kPyramidRGBA8, kPyramidClamp, false));
    fillRandom(image, 8);
    const float u = -0.3f / 20.0f;
    double ref[4];
    referenceSample(image, 0, u, 0.5f, ref);
    EXPECT_EQ(image.sampleFiltered(0, 0.0f, u, 0.5f).g, float(ref[1]) * (1.0f / 255.0f));
}

} // namespace
