// The same pictures sample to the same bits on every build (Linux, 32-bit
// and 64-bit Windows): hashes of built levels, filtered samples and
// resampled pictures, checked against the values all builds agree on.
#include <cstdio>
#include <cstring>

#include <gtest/gtest.h>

#include "composite/picture/pyramid_image.h"
#include "pyramid_test_support.h"
#include "render/pyramid_levels.h"

namespace qf {}
using namespace qf;

namespace {

using namespace pyramid_test;

uint64_t hashPicture(const PyramidImage& image) {
    uint64_t h = 0xCBF29CE484222325ull;
    for (int32_t level = 0; level <= image.lastLevel(); ++level)
        for (int32_t y = 0; y < image.levelHeight(level); ++y)
            for (int32_t x = 0; x < image.levelWidth(level); ++x)
                h = fnv1a(h, image.pixelAddress(x, y, level),
                          size_t(image.kindInfo().bytesPerPixel));
    return h;
}

uint64_t hashSamples(const PyramidImage& image, uint32_t seed) {
    Lcg rng(seed);
    uint64_t h = 0xCBF29CE484222325ull;
    for (int i = 0; i < 4000; ++i) {
        const float u = float(rng.next(1 << 20)) / float(1 << 19) - 0.5f; // -0.5 .. 1.5
        const float v = float(rng.next(1 << 20)) / float(1 << 19) - 0.5f;
        const int32_t level = int32_t(rng.next(uint32_t(image.lastLevel()) + 1));
        const float fraction = float(rng.next(1000)) / 1000.0f;
        const FloatRGBA c = image.sampleFiltered(level, fraction, u, v);
        h = fnv1a(h, &c, sizeof c);
    }
    return h;
}

struct Golden {
    int32_t kind;
    int32_t wrap;
    uint64_t levels;
    uint64_t samples;
    uint64_t resampled;
};

TEST(PyramidGolden, HashesAgreeAcrossBuilds) {
    const Golden goldens[] = {
        {kPyramidRGBA8, kPyramidClamp, 0xCA60BD9727299637ull, 0x99DF264AA76689C4ull,
         0xFE906995AF76F6F8ull},
        {kPyramidRGBA16, kPyramidWrap, 0x24E38852079442A9ull, 0xA109F2DFDD3EAC02ull,
         0x2C48DAFFFDB97D0Full},
        {kPyramidRGBAFloat, kPyramidWrapHorizontal, 0x43751EC9193DB7E2ull, 0x0ABC27F340ABB015ull,
         0x9947533F81C879B7ull},
        {kPyramidGray8, kPyramidWrap, 0x61A704792F486EACull, 0x9A7CC4FA838EE8C9ull,
         0x1CD88E1D14910C5Aull},
        {kPyramidRGB16, kPyramidClamp, 0x91465FDEC0D1B49Aull, 0x56CA3FF6CC5D9013ull,
         0x19A3C65D2D1E5C45ull},
    };
    for (const Golden& g : goldens) {
        PyramidImage image;
        ASSERT_TRUE(createImage(&image, 613, 419, g.kind, g.wrap, false));
        fillRandom(image, 2024u + uint32_t(g.kind));
        ASSERT_TRUE(buildLevels(image, 0, 2));
        const uint64_t levels = hashPicture(image);
        const uint64_t samples = hashSamples(image, 99);
        PyramidImage thumb;
        ASSERT_TRUE(createImage(&thumb, 128, 96,
                                g.kind == kPyramidRGBAFloat ? kPyramidRGBAFloat : kPyramidRGBA16,
                                kPyramidClamp, false));
        ASSERT_TRUE(resampleImage(image, thumb, PixelRect{10, 20, 400, 600},
                                  PixelRect{0, 0, 96, 128}, 0.3f));
        const uint64_t resampled = hashPicture(thumb);
        if (levels != g.levels || samples != g.samples || resampled != g.resampled)
            std::printf("kind %d, wrap %d: 0x%016llXull, 0x%016llXull, 0x%016llXull\n", g.kind,
                        g.wrap, (unsigned long long)levels, (unsigned long long)samples,
                        (unsigned long long)resampled);
        EXPECT_EQ(levels, g.levels) << "kind " << g.kind;
        EXPECT_EQ(samples, g.samples) << "kind " << g.kind;
        EXPECT_EQ(resampled, g.resampled) << "kind " << g.kind;
    }
}

} // namespace
