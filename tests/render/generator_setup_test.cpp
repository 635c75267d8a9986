// Generator setup: constants, channel table, scratch array, failure path.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <limits>

#include "render/generator_setup.h"
#include "render_test_support.h"

namespace qf {}
using namespace qf;

namespace {

const PixelRect kArea{0, 0, 300, 1000};

TEST(GeneratorSetup, ConstantsAtTheEndsOfTheSliders) {
    PatternSettings p{};
    GeneratorConstants c = computeGeneratorConstants(p);
    EXPECT_EQ(c.shapeRadius, 1.0f);
    EXPECT_EQ(c.edgeWidth, static_cast<float>(1.0L / 101.0L)); // hard, never 0
    // The doublure decimals are their own, not 1/3: the gain is about 3.
    EXPECT_EQ(c.doublureGain, static_cast<float>(0.33333333333L));
    EXPECT_EQ(c.doublureInverse, static_cast<float>(1.0L / static_cast<float>(0.33333333333L)));
    EXPECT_NEAR(c.doublureInverse, 3.0f, 1e-6f);
    p.overlap = p.softness = p.doublure = p.stripes = p.warping = p.color = 100;
    c = computeGeneratorConstants(p);
    EXPECT_EQ(c.shapeRadius, 2.0f);
    EXPECT_EQ(c.edgeWidth, 1.0f); // every shape fades from its centre
    EXPECT_EQ(c.doublureGain, static_cast<float>(0.99999999999L));
    EXPECT_EQ(c.doublureInverse, 1.0f);
    EXPECT_EQ(c.stripeScale, 1.0f);
    EXPECT_EQ(c.warpAmount, 1.0f);
}

TEST(GeneratorSetup, ConstantsFollowTheirFormulasOutsideTheSliderRange) {
    PatternSettings p{};
    p.stripes = 150;
    p.overlap = -100; // K = 0: no shape covers anything
    p.softness = -1;  // L = 0: hard edges
    p.doublure = -50; // D = 0: an infinite gain, without a division by zero
    p.warping = -300;
    p.color = 250;
    GeneratorConstants c = computeGeneratorConstants(p);
    EXPECT_EQ(c.stripeScale, 1.5f);
    EXPECT_EQ(c.shapeRadius, 0.0f);
    EXPECT_EQ(c.edgeWidth, 0.0f);
    EXPECT_EQ(c.doublureGain, 0.0f);
    EXPECT_EQ(c.doublureInverse, std::numeric_limits<float>::infinity());
    EXPECT_EQ(c.warpAmount, -3.0f);
    EXPECT_EQ(c.colourAmount, 2.5f);
    // One step either side of D = 0 divides as usual.
    p.doublure = -49;
    EXPECT_EQ(
        computeGeneratorConstants(p).doublureInverse,
        static_cast<float>(1.0L / static_cast<float>(-0.49L * 0.66666666666L + 0.33333333333L)));
    p.doublure = -51;
    EXPECT_LT(computeGeneratorConstants(p).doublureInverse, -100.0f);
    // The ends of the integers stay finite.
    for (int32_t v : {INT32_MIN, INT32_MAX}) {
        p.overlap = p.stripes = p.softness = p.doublure = p.warping = p.color = v;
        c = computeGeneratorConstants(p);
        for (float f : {c.shapeRadius, c.stripeScale, c.edgeWidth, c.doublureGain,
                        c.doublureInverse, c.warpAmount, c.colourAmount}) {
            EXPECT_TRUE(std::isfinite(f)) << v;
        }
    }
}

TEST(GeneratorSetup, ConstantsDoNotDependOnExtendedPrecision) {
    // A host may lower the x87 precision of its thread to double. For every
    // slider value the floats come out the same in double, so that cannot
    // change the picture.
    NoiseTables t;
    for (int32_t i = 0; i < 256; ++i) {
        t.seededUnits[i] = static_cast<float>(i * 0.003921568627451);
    }
    for (int32_t v = 0; v <= 100; ++v) {
        PatternSettings p{};
        p.overlap = p.softness = p.doublure = p.color = v;
        const GeneratorConstants c = computeGeneratorConstants(p);
        const double d = v;
        ASSERT_EQ(c.shapeRadius, static_cast<float>(d / 100.0 + 1.0)) << v;
        ASSERT_EQ(c.edgeWidth, static_cast<float>((d + 1.0) / 101.0)) << v;
        ASSERT_EQ(c.doublureGain, static_cast<float>(d / 100.0 * 0.66666666666 + 0.33333333333))
            << v;
        ASSERT_EQ(c.doublureInverse, static_cast<float>(1.0 / c.doublureGain)) << v;
        fillChannelTable(t, c.colourAmount);
        const double m = c.colourAmount;
        for (int32_t i = 0; i < 256; ++i) {
            ASSERT_EQ(t.channelTable[i], static_cast<float>((1.0 - m) + m * t.seededUnits[i]))
                << v << " " << i;
        }
    }
}

TEST(GeneratorSetup, ColourZeroIsWhiteAndFullColourIsTheSeededUnits) {
    SettingsRecord s = patternDefaults();
    s.color = 0;
    auto grey = preparedGenerator(s, kArea);
    s.color = 100;
    auto full = preparedGenerator(s, kArea);
    for (int32_t i = 0; i < kBaseTableSize; ++i) {
        ASSERT_EQ(grey->tables.channelTable[i], 1.0f) << i;
        ASSERT_EQ(full->tables.channelTable[i], full->tables.seededUnits[i]) << i;
    }
}

TEST(GeneratorSetup, TablesDependOnSeedAndColourOnly) {
    SettingsRecord s = patternDefaults();
    s.randomSeed = -123456;
    auto a = preparedGenerator(s, kArea);
    // Another target, area and reduction, and other constants: same tables.
    s.renderTarget = kTargetPreview;
    s.previewZoom = 4;
    s.overlap = 5;
    s.softness = 90;
    auto b = preparedGenerator(s, PixelRect{0, 0, 50, 70});
    EXPECT_EQ(std::memcmp(&a->tables, &b->tables, sizeof(NoiseTables)), 0);
    // Colour changes the channel table and nothing else.
    s.color = 10;
    auto c = preparedGenerator(s, kArea);
    EXPECT_NE(
        std::memcmp(a->tables.channelTable, c->tables.channelTable, sizeof a->tables.channelTable),
        0);
    std::memcpy(c->tables.channelTable, a->tables.channelTable, sizeof a->tables.channelTable);
    EXPECT_EQ(std::memcmp(&a->tables, &c->tables, sizeof(NoiseTables)), 0);
}

TEST(GeneratorSetup, ScratchGrowsAndIsClearedRowsAndCountersReset) {
    GeneratorState gen;
    SettingsRecord s = patternDefaults();
    ASSERT_EQ(prepareGenerator(gen, s, PixelRect{10, 20, 110, 220}), kGeneratorReady);
    EXPECT_EQ(gen.scratchCapacityBytes, size_t{(200 + 4) * 16});
    for (int32_t i = 0; i < 202; ++i) {
        gen.scratch[i] = 99;
    }
    gen.sortStatistics.add(5, 6);
    gen.rows.currentRow = 40;
    // A narrower area keeps the larger array and clears its first W + 2.
    ASSERT_EQ(prepareGenerator(gen, s, PixelRect{0, 0, 7, 50}), kGeneratorReady);
    EXPECT_EQ(gen.scratchCapacityBytes, size_t{(200 + 4) * 16});
    for (int32_t i = 0; i < 52; ++i) {
        EXPECT_EQ(gen.scratch[i], 0) << i;
    }
    EXPECT_EQ(gen.scratch[52], 99);
    EXPECT_EQ(gen.rows.currentRow, 0);
    EXPECT_EQ(gen.rows.rowLimit, 8);
    EXPECT_EQ(gen.rows.rowFlags[0] * 100 + gen.rows.rowFlags[1] * 10 + gen.rows.rowFlags[2], 101);
    EXPECT_EQ(gen.sortStatistics.sortsPerformed.load() + gen.sortStatistics.sortsSkipped.load(),
              0u);
}

TEST(GeneratorSetup, ScratchThatCannotBeHadFailsTheSetup) {
    GeneratorState gen;
    const SettingsRecord s = patternDefaults();
    EXPECT_EQ(prepareGenerator(gen, s, PixelRect{0, 0, 10, INT_MAX}), kGeneratorOutOfMemory);
    EXPECT_EQ(prepareGenerator(gen, s, PixelRect{0, INT_MIN, 10, INT_MAX}), kGeneratorOutOfMemory);
    // An inverted area is an empty one.
    EXPECT_EQ(prepareGenerator(gen, s, PixelRect{10, 10, 0, 0}), kGeneratorReady);
    EXPECT_EQ(gen.scratchCapacityBytes, size_t{4 * 16});
}

} // namespace
