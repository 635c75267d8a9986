// The fixed base table and the seeded tables built from it.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <memory>
#include <set>
#include <vector>

#include "render/base_table.h"
#include "render/noise_tables.h"

namespace qf {}
using namespace qf;

namespace {

std::unique_ptr<NoiseTables> tablesFor(int32_t seed) {
    auto t = std::make_unique<NoiseTables>();
    std::memset(t.get(), 0, sizeof *t);
    buildNoiseTables(*t, seed);
    buildChannelPermutation(*t);
    buildWarpTables(*t, seed);
    return t;
}

bool sameTables(const NoiseTables& a, const NoiseTables& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

TEST(BaseTable, HasTheFixedEndsAndSpread) {
    const int32_t first[16] = {1317, 807, 1939, 1586, 314,  127,  1935, 1264,
                               1847, 969, 1075, 1400, 1616, 1864, 282,  1750};
    const int32_t last[16] = {74,  1260, 1903, 1878, 1290, 2006, 1899, 1288,
                              846, 557,  4,    1845, 955,  26,   391,  1023};
    for (int32_t i = 0; i < 16; ++i) {
        EXPECT_EQ(baseTable[i], first[i]) << i;
        EXPECT_EQ(baseTable[kBaseTableSize - 16 + i], last[i]) << i;
    }
    const std::set<int32_t> distinct(baseTable, baseTable + kBaseTableSize);
    EXPECT_EQ(distinct.size(), 1345u);
    EXPECT_EQ(*distinct.begin(), 0);
    EXPECT_EQ(*distinct.rbegin(), 2047);
}

TEST(NoiseTables, SeededBytesMatchTheLastWriterOfEachSlot) {
    // The swap sequence seen from each slot: a slot ends with the value of
    // the last later step that swapped into it, or else its own base byte.
    // A step carries what its own slot held just before it ran, which is the
    // value of the last earlier step that swapped into it.
    for (int32_t seed : {0, 1234, -77}) {
        auto t = tablesFor(seed);
        auto target = [&](int32_t i) { return int32_t{baseTable[(seed + i) & kBaseTableMask]}; };
        std::vector<int32_t> before(kBaseTableSize);
        for (int32_t i = 0; i < kBaseTableSize; ++i) {
            int32_t writer = -1;
            for (int32_t k = 0; k < i; ++k) {
                writer = target(k) == i ? k : writer;
            }
            before[i] = writer < 0 ? (baseTable[i] & 255) : before[writer];
        }
        for (int32_t p = 0; p < kBaseTableSize; ++p) {
            int32_t writer = -1;
            for (int32_t i = p + 1; i < kBaseTableSize; ++i) {
                writer = target(i) == p ? i : writer;
            }
            ASSERT_EQ(t->seededBytes[p], writer < 0 ? (baseTable[p] & 255) : before[writer])
                << seed << " " << p;
            ASSERT_EQ(t->rankTable[p], baseTable[p]);
            ASSERT_EQ(t->seededUnits[p], static_cast<float>(t->seededBytes[p] * 0.003921568627451));
        }
    }
}

TEST(NoiseTables, ChannelPermutationIsAPermutationWithRepeats) {
    for (int32_t seed : {0, 5, -1}) {
        auto t = tablesFor(seed);
        EXPECT_EQ(std::set<int32_t>(t->channelPermutation, t->channelPermutation + 256).size(),
                  256u);
        for (int32_t i = 0; i < 258; ++i) {
            EXPECT_EQ(t->channelPermutation[256 + i], t->channelPermutation[i]) << i;
        }
    }
}

TEST(NoiseTables, ChannelPermutationDrawsFromCursor3111) {
    // Every seeded byte 0 except the first draw's: k = 255 swaps with 7, then
    // k = 254..1 each swap with entry 0.
    NoiseTables t;
    std::memset(&t, 0, sizeof t);
    t.seededBytes[3111 & 2047] = 7;
    buildChannelPermutation(t);
    int32_t expect[256];
    for (int32_t i = 0; i < 256; ++i) {
        expect[i] = i;
    }
    std::swap(expect[255], expect[7]);
    for (int32_t k = 254; k >= 1; --k) {
        std::swap(expect[k], expect[0]);
    }
    EXPECT_EQ(std::memcmp(expect, t.channelPermutation, sizeof expect), 0);
}

TEST(NoiseTables, WarpTablesAreTheReferenceRotatedBySeed) {
    auto t0 = tablesFor(0);
    const int32_t head[6] = {151, 160, 137, 91, 90, 15};
    const int32_t tail[6] = {78, 66, 215, 61, 156, 180};
    for (int32_t i = 0; i < 6; ++i) {
        EXPECT_EQ(t0->warpPermutation[i], head[i]);
        EXPECT_EQ(t0->warpPermutation[250 + i], tail[i]);
    }
    auto t1 = tablesFor(1);
    auto tm1 = tablesFor(-1);
    for (int32_t i = 0; i < 256; ++i) {
        EXPECT_EQ(t1->warpPermutation[i], t0->warpPermutation[(i + 1) & 255]);
        EXPECT_EQ(tm1->warpPermutation[i], t0->warpPermutation[(i + 255) & 255]);
        EXPECT_EQ(t0->warpPermutation[256 + i], t0->warpPermutation[i]);
    }
    // Entries 13 and 14 are this pattern's own, not the usual gradients.
    EXPECT_EQ(t0->warpGradients[13][0], -1.0f);
    EXPECT_EQ(t0->warpGradients[13][1], 1.0f);
    EXPECT_EQ(t0->warpGradients[14][0], 0.0f);
    EXPECT_EQ(t0->warpGradients[14][1], 1.0f);
}

TEST(NoiseTables, OnlyTheLowBitsOfTheSeedMatter) {
    auto t0 = tablesFor(0);
    EXPECT_TRUE(sameTables(*t0, *tablesFor(INT_MIN))); // INT_MIN & 2047 == 0
    EXPECT_TRUE(sameTables(*t0, *tablesFor(2048 * 1000)));
    EXPECT_TRUE(sameTables(*tablesFor(-1), *tablesFor(INT_MAX)));
    EXPECT_FALSE(sameTables(*t0, *tablesFor(1)));
}

} // namespace
