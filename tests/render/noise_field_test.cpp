// The pattern at single points: warp noise, shape arithmetic, cellColour.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "reference_pattern.h"
#include "render/noise_field.h"
#include "render/shape_paint.h"
#include "render/warp_noise.h"
#include "render_test_support.h"

namespace qf {}
using namespace qf;

namespace {

const PixelRect kArea{0, 0, 64, 64};

TEST(WarpNoise, VanishesOnTheLattice) {
    NoiseTables t;
    buildWarpTables(t, 42);
    for (float x : {0.0f, 1.0f, 7.0f, -3.0f, 255.0f, 256.0f, -1000.0f}) {
        for (float y : {0.0f, 2.0f, -5.0f, 300.0f}) {
            EXPECT_EQ(warpNoise(t, x, y), 0.0f) << x << " " << y;
        }
    }
}

TEST(WarpNoise, InterpolatesTheTableGradients) {
    // With every gradient (1, 0) each corner contributes its x offset, and
    // the noise reduces to fx - fade(fx), whatever the hashes.
    NoiseTables t;
    buildWarpTables(t, 3);
    // Each corner's gradient as the permutation picks it from the sixteen.
    for (int32_t n = 0; n < kWarpPermutationSize; ++n) {
        const int32_t h = t.warpPermutation[t.warpPermutation[n]] & 15;
        ASSERT_EQ(t.warpCornerGradients[n][0], t.warpGradients[h][0]) << n;
        ASSERT_EQ(t.warpCornerGradients[n][1], t.warpGradients[h][1]) << n;
    }
    for (auto& g : t.warpCornerGradients) {
        g[0] = 1.0f;
        g[1] = 0.0f;
    }
    const float fx = 0.25f;
    const float fade = fx * fx * fx * (fx * (6.0f * fx - 15.0f) + 10.0f);
    EXPECT_FLOAT_EQ(warpNoise(t, 10.25f, 3.7f), fx - fade);
    EXPECT_FLOAT_EQ(warpNoise(t, -9.75f, -0.2f), fx - fade);
}

TEST(ShapePaint, MetricsOfEveryShape) {
    // Offsets whose metrics are exact in single precision.
    const float dx = 0.5f;
    const float dy = -0.25f;
    EXPECT_EQ(shapeMetricSquared(kCircles, 3.0f, 4.0f), 25.0f);
    EXPECT_EQ(shapeMetricSquared(kDiamonds, dx, dy), 0.5625f);     // 0.75^2
    EXPECT_EQ(shapeMetricSquared(kSquares, dx, dy), 0.25f);        // 0.5^2
    EXPECT_EQ(shapeMetricSquared(kOctagons, dx, dy), 0.390625f);   // max(0.5, 0.625)^2
    EXPECT_EQ(shapeMetricSquared(kTVs, dx, dy), 0.1650390625f);    // 0.40625^2
    EXPECT_EQ(shapeMetricSquared(kFleurons, dx, dy), 0.03515625f); // (-0.1875)^2
    EXPECT_EQ(shapeMetricSquared(kPoints, dx, dy), 0.7119140625f); // 0.84375^2
    // Every shape is symmetric in the two axes and in sign.
    for (int32_t kind = kCircles; kind <= kPoints; ++kind) {
        EXPECT_EQ(shapeMetricSquared(kind, dx, dy), shapeMetricSquared(kind, dy, -dx)) << kind;
    }
}

TEST(ShapePaint, CoverageAndProfile) {
    // On the feature point (r = 0): full coverage; profile 1 for stripe
    // kinds a and b, 0 for c and d.
    EXPECT_EQ(shapeCoverage(0.0f, 1.0f - 1.0f / 101.0f, 101.0f), 1.0f);
    EXPECT_EQ(shapeCoverage(0.0f, 0.0f, 1.0f), 1.0f);
    EXPECT_EQ(stripeProfile(0.0f, false, false), 1.0f);
    EXPECT_EQ(stripeProfile(0.0f, true, false), 1.0f);
    EXPECT_EQ(stripeProfile(0.0f, false, true), 0.0f);
    EXPECT_EQ(stripeProfile(0.0f, true, true), 0.0f);
    // softness 100 (L = 1) fades from the centre; softness 0 keeps full
    // coverage up to 1 - 1/101 and then falls steeply.
    EXPECT_EQ(shapeCoverage(0.5f, 0.0f, 1.0f), 0.75f);
    EXPECT_EQ(shapeCoverage(1.0f, 0.0f, 1.0f), 0.0f);
    const float L = static_cast<float>(1.0L / 101.0L);
    EXPECT_EQ(shapeCoverage(0.98f, 1.0f - L, 1.0f / L), 1.0f);
    EXPECT_LT(shapeCoverage(0.999f, 1.0f - L, 1.0f / L), 0.2f);
    // The triangle goes down, up, down; its breaks are the single floats
    // 0.33333299 and 0.6666667.
    EXPECT_FLOAT_EQ(stripeProfile(0.25f, true, false), 0.25f);
    EXPECT_FLOAT_EQ(stripeProfile(0.5f, true, false), 0.5f);
    EXPECT_FLOAT_EQ(stripeProfile(0.75f, true, false), 0.75f);
    EXPECT_EQ(stripeProfile(0.333333f, true, false), 3.0f * 0.333333f - 1.0f);
    EXPECT_EQ(stripeProfile(0.33333f, true, false), 1.0f - 3.0f * 0.33333f);
    EXPECT_EQ(stripeProfile(0.6666667f, true, false), 3.0f - 3.0f * 0.6666667f);
    EXPECT_EQ(stripeProfile(0.5f, false, false), 0.5f);
    EXPECT_EQ(stripeProfile(1.0f, false, false), 0.0f);
}

TEST(ShapePaint, FoldingAndMerging) {
    EXPECT_EQ(foldChannel(2.5f), 0.5f);
    EXPECT_EQ(foldChannel(1.25f), 0.75f);
    EXPECT_EQ(foldChannel(-0.25f), 0.25f);
    EXPECT_EQ(foldChannel(0.3f), 0.3f);
    // v = 0.25 over w = 0.5: rules 0 and 1 test i = 0.75, rules 2 and 3
    // test h = 0.25; rules 1 and 2 invert what lies below.
    EXPECT_EQ(mergeChannel(0, 0.5f, 0.25f), 0.75f);
    EXPECT_EQ(mergeChannel(2, 0.5f, 0.25f), 0.25f);
    EXPECT_EQ(mergeChannel(3, 0.0f, 0.75f), 0.5f);
    EXPECT_EQ(mergeChannel(2, 0.0f, 0.25f), 0.5f);
    EXPECT_EQ(mergeChannel(1, 1.0f, 0.75f), 0.0f);
    EXPECT_EQ(mergeChannel(0, 1.0f, 0.75f), 0.5f);
}

TEST(CellColour, MatchesThePlainEvaluationEverywhere) {
    std::mt19937 rng(2024);
    auto pick = [&](int32_t lo, int32_t hi) {
        return lo + static_cast<int32_t>(rng() % uint32_t(hi - lo + 1));
    };
    std::uniform_real_distribution<float> coord(-30.0f, 60.0f);
    std::uniform_real_distribution<float> nearCell(-0.02f, 0.02f);
    for (int32_t round = 0; round < 120; ++round) {
        SettingsRecord s = patternDefaults();
        s.shape = 1 + round % 7;
        s.merge = pick(1, 4);
        s.stripeKind = pick(1, 4);
        s.overlap = round % 5 == 0 ? 0 : (round % 5 == 1 ? 100 : pick(0, 100));
        s.softness = pick(0, 100);
        s.stripes = pick(0, 100);
        s.doublure = pick(0, 100);
        s.warping = round % 4 == 0 ? 0 : pick(0, 100);
        s.color = pick(0, 100);
        s.randomSeed = static_cast<int32_t>(rng());
        auto gen = preparedGenerator(s, kArea);
        CellOrderCache cache;
        const int32_t tri = (s.stripeKind - 1) & 1;
        const int32_t dbl = (s.stripeKind - 1) & 2;
        for (int32_t i = 0; i < 400; ++i) {
            // Walk in short steps so the cache is both reused and refreshed,
            // and visit the edges of cells (negative ones included).
            float x = coord(rng);
            float y = coord(rng);
            if (i % 3 == 0) {
                x = std::round(x) + nearCell(rng);
                y = std::round(y) + nearCell(rng);
            }
            for (int32_t step = 0; step < 4; ++step) {
                PatternPoint p{x + step * 0.07f, y};
                PatternPoint q = p;
                float got[3];
                float want[3];
                cellColour(*gen, p, got, s.merge - 1, tri, dbl, s.shape - 1, cache);
                referenceCellColour(*gen, q, want, s.merge - 1, tri != 0, dbl != 0, s.shape - 1);
                ASSERT_EQ(std::memcmp(got, want, sizeof got), 0)
                    << "shape " << s.shape << " overlap " << s.overlap << " at " << x << "," << y;
                ASSERT_EQ(std::memcmp(&p, &q, sizeof p), 0);
            }
        }
    }
}

TEST(CellColour, PointsOnFeaturePointsMatchThePlainEvaluation) {
    // r = 0 exactly: no division by zero, full coverage, profile 1 or 0.
    for (int32_t kind = 1; kind <= 4; ++kind) {
        SettingsRecord s = patternDefaults();
        s.warping = 0;
        s.stripeKind = kind;
        s.shape = 1 + kind;
        auto gen = preparedGenerator(s, kArea);
        const NoiseTables& t = gen->tables;
        CellOrderCache cache;
        for (int32_t cx = -3; cx < 6; ++cx) {
            for (int32_t cy = -2; cy < 4; ++cy) {
                const float px = cx + t.seededBytes[(31 * cx + 11 * cy + 742) & 2047] / 256.0f;
                const float py = cy + t.seededBytes[(31 * cy + 11 * cx + 424) & 2047] / 256.0f;
                PatternPoint p{px, py};
                PatternPoint q = p;
                float got[3];
                float want[3];
                cellColour(*gen, p, got, 2, (kind - 1) & 1, (kind - 1) & 2, s.shape - 1, cache);
                referenceCellColour(*gen, q, want, 2, (kind - 1) & 1, (kind - 1) & 2, s.shape - 1);
                ASSERT_EQ(std::memcmp(got, want, sizeof got), 0);
                for (float c : got) {
                    ASSERT_TRUE(c >= 0.0f && c <= 1.0f);
                }
            }
        }
    }
}

TEST(CellColour, TableOfRecentCellsIsOnlyAShortcut) {
    SettingsRecord s = patternDefaults();
    s.zoom = 0;
    auto gen = preparedGenerator(s, kArea);
    CellOrderCache withTable;
    CellOrderCache single(false);
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> step(-0.3f, 0.9f);
    float x = 0.5f;
    float y = 0.5f;
    for (int32_t i = 0; i < 5000; ++i) {
        // Wander back and forth over a strip of cells.
        x = i % 400 == 0 ? 0.5f : x + step(rng);
        y = 0.5f + (i % 97) * 0.031f;
        PatternPoint a{x, y};
        PatternPoint b{x, y};
        float ca[3];
        float cb[3];
        cellColour(*gen, a, ca, 2, 1, 0, 6, withTable);
        cellColour(*gen, b, cb, 2, 1, 0, 6, single);
        ASSERT_EQ(std::memcmp(ca, cb, sizeof ca), 0);
        ASSERT_EQ(std::memcmp(withTable.entries, single.entries, sizeof single.entries), 0);
    }
    EXPECT_EQ(withTable.sortsPerformed, single.sortsPerformed);
    EXPECT_EQ(withTable.sortsSkipped, single.sortsSkipped);
}

TEST(CellColour, ColourZeroIsGrey) {
    SettingsRecord s = patternDefaults();
    s.color = 0;
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> coord(0.0f, 40.0f);
    for (int32_t shape = 0; shape < 7; ++shape) {
        for (int32_t merge = 0; merge < 4; ++merge) {
            auto gen = preparedGenerator(s, kArea);
            CellOrderCache cache;
            for (int32_t i = 0; i < 200; ++i) {
                PatternPoint p{coord(rng), coord(rng)};
                float c[3];
                cellColour(*gen, p, c, merge, 1, 0, shape, cache);
                ASSERT_EQ(c[0], c[1]);
                ASSERT_EQ(c[1], c[2]);
            }
        }
    }
}

TEST(CellColour, CacheSortsOncePerHomeCellAndTruncatesTowardZero) {
    SettingsRecord s = patternDefaults();
    s.warping = 0;
    auto gen = preparedGenerator(s, kArea);
    CellOrderCache cache;
    float c[3];
    // x = -0.5 and x = 0.5 share home cell 0 (truncation, not floor).
    for (float x : {-0.5f, -0.1f, 0.2f, 0.9f}) {
        PatternPoint p{x, 0.5f};
        cellColour(*gen, p, c, 2, 1, 0, 6, cache);
    }
    EXPECT_EQ(cache.sortsPerformed, 1u);
    EXPECT_EQ(cache.sortsSkipped, 3u);
    EXPECT_EQ(cache.entries[25], 0);
    EXPECT_EQ(cache.entries[26], 0);
    PatternPoint p{-1.5f, 0.5f};
    cellColour(*gen, p, c, 2, 1, 0, 6, cache);
    EXPECT_EQ(cache.entries[25], -1);
    EXPECT_EQ(cache.sortsPerformed, 2u);
    // Entries 0..24 are a permutation of the candidates.
    bool seen[25] = {};
    for (int32_t k = 0; k < 25; ++k) {
        ASSERT_GE(cache.entries[k], 0);
        ASSERT_LT(cache.entries[k], 25);
        seen[cache.entries[k]] = true;
    }
    for (bool b : seen) {
        EXPECT_TRUE(b);
    }
    cache.reset();
    EXPECT_EQ(cache.entries[25], kCellOrderNoCell);
}

TEST(CellColour, ShapesAndMergeRulesOutsideTheListTakeTheLastOne) {
    SettingsRecord s = patternDefaults();
    auto gen = preparedGenerator(s, kArea);
    auto colourAt = [&](int32_t merge, int32_t shape) {
        CellOrderCache cache;
        PatternPoint p{12.3f, 4.5f};
        float c[3];
        cellColour(*gen, p, c, merge, 1, 0, shape, cache);
        return std::vector<float>(c, c + 3);
    };
    const std::vector<float> last = colourAt(3, 6);
    EXPECT_EQ(colourAt(-1, -1), last);
    EXPECT_EQ(colourAt(4, 7), last);
    EXPECT_EQ(colourAt(INT32_MIN, INT32_MAX), last);
    EXPECT_NE(colourAt(0, 0), last);
}

TEST(CellColour, OutOfRangeSettingsMatchThePlainEvaluation) {
    // Sliders, shapes, merge rules and stripe kinds well outside their
    // ranges (K of 0 and below, L of 0, D of 0 among them): the shortcuts of
    // cellColour must still give the plain evaluation's colour to the bit.
    std::mt19937 rng(77);
    auto pick = [&](int32_t lo, int32_t hi) {
        return lo + static_cast<int32_t>(rng() % uint32_t(hi - lo + 1));
    };
    std::uniform_real_distribution<float> coord(-30.0f, 60.0f);
    const int32_t singular[] = {-100, -1, -50}; // K = 0, L = 0, D = 0
    for (int32_t round = 0; round < 150; ++round) {
        SettingsRecord s = patternDefaults();
        s.shape = pick(-2, 9);
        s.merge = pick(-2, 6);
        s.stripeKind = pick(-3, 9);
        s.overlap = round % 6 == 0 ? singular[0] : pick(-400, 400);
        s.softness = round % 6 == 1 ? singular[1] : pick(-400, 400);
        s.doublure = round % 6 == 2 ? singular[2] : pick(-400, 400);
        s.stripes = pick(-400, 400);
        s.warping = pick(-400, 400);
        s.color = pick(-400, 400);
        s.randomSeed = static_cast<int32_t>(rng());
        auto gen = preparedGenerator(s, kArea);
        CellOrderCache cache;
        const int32_t tri = (s.stripeKind - 1) & 1;
        const int32_t dbl = (s.stripeKind - 1) & 2;
        for (int32_t i = 0; i < 200; ++i) {
            const float x = coord(rng);
            const float y = coord(rng);
            for (int32_t step = 0; step < 3; ++step) {
                PatternPoint p{x + step * 0.07f, y};
                PatternPoint q = p;
                float got[3];
                float want[3];
                cellColour(*gen, p, got, s.merge - 1, tri, dbl, s.shape - 1, cache);
                referenceCellColour(*gen, q, want, s.merge - 1, tri != 0, dbl != 0, s.shape - 1);
                ASSERT_EQ(std::memcmp(got, want, sizeof got), 0)
                    << "shape " << s.shape << " merge " << s.merge << " overlap " << s.overlap
                    << " softness " << s.softness << " doublure " << s.doublure << " at " << x
                    << "," << y;
                ASSERT_EQ(std::memcmp(&p, &q, sizeof p), 0);
            }
        }
    }
}

} // namespace
