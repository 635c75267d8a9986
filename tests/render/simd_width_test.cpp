// The four-lane (SSE2), eight-lane (AVX2) and sixteen-lane (AVX-512) builds
// of the tile loop give every pixel the same bits, and QUILLFIRE_SIMD picks
// the width.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

#include "reference_pattern.h"
#include "render/pattern_settings.h"
#include "render/tile_kernel.h"
#include "render_test_support.h"

namespace {

TileBuffer tileWith(SimdWidth width, const SettingsRecord& s, const GeneratorState& gen,
                    const PixelRect& tile) {
    TileBuffer buffer;
    if (buffer.allocate(tile)) {
        renderTile(patternSettings(s), gen, buffer, width);
    }
    return buffer;
}

// Every width; one this processor lacks renders with the widest below it.
constexpr SimdWidth kWidths[] = {SimdWidth::sse2, SimdWidth::avx2, SimdWidth::avx512};

SimdWidth widestHere() {
    if (processorHasAvx512()) return SimdWidth::avx512;
    return processorHasAvx2() ? SimdWidth::avx2 : SimdWidth::sse2;
}

// Settings over all their ranges and somewhat beyond (overlap, softness and
// zoom past their ends reach the arithmetic unchanged), tiles of every
// width from 1 to 19 pixels (so that both widths end rows in part-filled
// lane groups) at places all over a large area, with reduction and pan.
TEST(SimdWidths, EveryWidthGivesTheSameBitsOnTheSameTiles) {
    if (!processorHasAvx2()) {
        GTEST_SKIP() << "this processor has no AVX2";
    }
    std::mt19937 random(20240);
    auto pick = [&](int32_t lo, int32_t hi) {
        return std::uniform_int_distribution<int32_t>(lo, hi)(random);
    };
    const PixelRect area{0, 0, 30000, 30000};
    int32_t differing = 0;
    for (int32_t i = 0; i < 120; ++i) {
        SettingsRecord s = patternDefaults();
        s.shape = pick(0, 8);
        s.stripeKind = pick(1, 4);
        s.merge = pick(0, 5);
        s.complexity = pick(0, 3) == 0 ? 100 : pick(0, 100);
        s.hue = pick(0, 100);
        s.randomSeed = pick(INT32_MIN, INT32_MAX);
        s.zoom = pick(0, 9) == 0 ? pick(-60, 140) : pick(0, 100);
        s.softness = pick(0, 9) == 0 ? -1 : pick(0, 100);
        s.doublure = pick(0, 100);
        s.overlap = pick(0, 9) == 0 ? pick(-250, 250) : pick(0, 100);
        s.warping = pick(0, 100);
        s.stripes = pick(0, 100);
        s.color = pick(0, 100);
        s.previewZoom = pick(0, 2) == 0 ? pick(2, 16) : 1;
        s.previewOffsetX = pick(-5000, 5000);
        s.previewOffsetY = pick(-5000, 5000);
        auto gen = preparedGenerator(s, area);
        ASSERT_NE(gen, nullptr);
        const int32_t width = 1 + i % 19;
        const int32_t top = pick(-40, 29000);
        const int32_t left = pick(-40, 29000);
        const PixelRect tile{top, left, top + 1 + pick(0, 6), left + width};
        const TileBuffer four = tileWith(SimdWidth::sse2, s, *gen, tile);
        for (const SimdWidth wide : {SimdWidth::avx2, SimdWidth::avx512}) {
            const TileBuffer other = tileWith(wide, s, *gen, tile);
            ASSERT_TRUE(four.valid() && other.valid());
            if (!samePixels(four, other, tile)) {
                ++differing;
                ADD_FAILURE() << simdWidthName(wide) << " case " << i << ": shape " << s.shape
                              << " merge " << s.merge << " zoom " << s.zoom << " overlap "
                              << s.overlap;
            }
        }
    }
    EXPECT_EQ(differing, 0);

    // A whole 128 x 128 tile at the defaults and at complexity 100.
    for (const int32_t complexity : {0, 100}) {
        SettingsRecord s = patternDefaults();
        s.complexity = complexity;
        auto gen = preparedGenerator(s, area);
        ASSERT_NE(gen, nullptr);
        const PixelRect tile{384, 256, 512, 384};
        for (const SimdWidth wide : {SimdWidth::avx2, SimdWidth::avx512}) {
            EXPECT_TRUE(samePixels(tileWith(SimdWidth::sse2, s, *gen, tile),
                                   tileWith(wide, s, *gen, tile), tile))
                << simdWidthName(wide) << " " << complexity;
        }
    }
}

// Pans at and beyond the point where a row's coordinates stop fitting the
// lanes' 32-bit sums, on both sides: every pixel as the plain evaluation
// gives it, with every width.
TEST(SimdWidths, HugePansGiveThePlainEvaluationsBits) {
    const PixelRect area{0, 0, 40, 40};
    const int32_t pans[] = {(1 << 30) - 9,  (1 << 30) + 3,  -(1 << 30) - 9,
                            -(1 << 30) + 5, INT32_MAX - 20, INT32_MIN + 1};
    for (const int32_t pan : pans) {
        SettingsRecord s = patternDefaults();
        s.zoom = 100;
        s.previewOffsetX = pan;
        s.previewOffsetY = pan / 3;
        auto gen = preparedGenerator(s, area);
        ASSERT_NE(gen, nullptr);
        const PixelRect tile{0, 0, 2, 21};
        for (const SimdWidth width : kWidths) {
            const TileBuffer b = tileWith(width, s, *gen, tile);
            ASSERT_TRUE(b.valid());
            for (int32_t y = tile.top; y < tile.bottom; ++y) {
                for (int32_t x = tile.left; x < tile.right; ++x) {
                    const FloatRGBA want = referencePixel(*gen, s, x, y);
                    ASSERT_EQ(std::memcmp(&want, b.at(x, y), sizeof want), 0)
                        << simdWidthName(width) << " pan " << pan << " pixel " << x << "," << y;
                }
            }
        }
    }
}

// Small cells are painted cell by cell in blocks of rows, and cells smaller
// than a pixel (more cells in a block than it sorts) group by group: both
// as the plain evaluation, for every layer, with every width, over tiles
// of several blocks with a part-filled last row of lane groups. There each
// group of lanes skips the shapes that cannot reach the box around its
// points: every shape, with tiny, full and out-of-range overlaps (a
// negative radius among them) and strong warping that spreads a group's
// points wide.
TEST(SimdWidths, SmallCellsGiveThePlainEvaluationsBits) {
    const PixelRect area{0, 0, 400, 400};
    struct Case {
        int32_t zoom, previewZoom, complexity, shape;
        int32_t overlap = 73;
        int32_t warping = 41;
    };
    for (const Case c :
         {Case{0, 1, 100, 7}, Case{0, 8, 100, 1}, Case{-40, 1, 60, 3}, Case{20, 3, 30, 5},
          Case{0, 2, 100, 2, 100, 100}, Case{10, 1, 50, 4, 0, 0}, Case{0, 1, 100, 6, 100, 100},
          Case{0, 3, 0, 7, -250, 100}, Case{5, 1, 100, 1, 400, 300}, Case{0, 1, 60, 5, -99, 41}}) {
        SettingsRecord s = patternDefaults();
        s.zoom = c.zoom;
        s.previewZoom = c.previewZoom;
        s.complexity = c.complexity;
        s.shape = c.shape;
        s.overlap = c.overlap;
        s.warping = c.warping;
        s.previewOffsetX = -33;
        auto gen = preparedGenerator(s, area);
        ASSERT_NE(gen, nullptr);
        const PixelRect tile{3, 5, 3 + 61, 5 + 37};
        for (const SimdWidth width : kWidths) {
            const TileBuffer b = tileWith(width, s, *gen, tile);
            ASSERT_TRUE(b.valid());
            int32_t wrong = 0;
            for (int32_t y = tile.top; y < tile.bottom; ++y) {
                for (int32_t x = tile.left; x < tile.right; ++x) {
                    const FloatRGBA want = referencePixel(*gen, s, x, y);
                    if (std::memcmp(&want, b.at(x, y), sizeof want) != 0 && ++wrong < 4) {
                        ADD_FAILURE()
                            << simdWidthName(width) << " zoom " << c.zoom << " shape " << c.shape
                            << " overlap " << c.overlap << " pixel " << x << "," << y;
                    }
                }
            }
            EXPECT_EQ(wrong, 0);
        }
    }
}

// The golden suites run once per forced width (ctest entries *_sse2 and
// *_avx2): this makes sure the variable really forced it.
TEST(SimdWidths, EnvironmentVariableForcesTheWidth) {
    const char* forced = std::getenv("QUILLFIRE_SIMD");
    SimdWidth want = widestHere();
    if (forced && std::strcmp(forced, "sse2") == 0) {
        want = SimdWidth::sse2;
    } else if (forced && std::strcmp(forced, "avx2") == 0 && processorHasAvx2()) {
        want = SimdWidth::avx2;
    }
    // Nothing or anything else: the widest this processor runs.
    std::printf("widest width here: %s\n", simdWidthName(widestHere()));
    EXPECT_EQ(activeSimdWidth(), want);
    EXPECT_STREQ(simdWidthName(activeSimdWidth()), simdWidthName(want));
    EXPECT_STREQ(simdWidthName(SimdWidth::avx512), "avx512");
    // A wider processor has every narrower width too.
    EXPECT_TRUE(!processorHasAvx512() || processorHasAvx2());
}

} // namespace
