// The paint-order sort, equal ranks included.
#include <gtest/gtest.h>

#include <random>

#include "render/sort_by_rank.h"

namespace qf {}
using namespace qf;

namespace {

TEST(SortByRank, EqualRanksLeaveTheQuicksortsOrder) {
    // Worked by hand: the middle element is parked at the end as pivot and
    // the scans meet at the end, so equal ranks come out as 0, 2, 1.
    int32_t ranks[3] = {7, 7, 7};
    int32_t carried[3] = {0, 1, 2};
    sortByRank(ranks, carried, 0, 2);
    EXPECT_EQ(carried[0], 0);
    EXPECT_EQ(carried[1], 2);
    EXPECT_EQ(carried[2], 1);

    // The two 2s come out in reverse order; a stable sort would give 1, 0, 2.
    int32_t ranks2[3] = {2, 1, 2};
    int32_t carried2[3] = {0, 1, 2};
    sortByRank(ranks2, carried2, 0, 2);
    EXPECT_EQ(ranks2[0], 1);
    EXPECT_EQ(carried2[0], 1);
    EXPECT_EQ(carried2[1], 2);
    EXPECT_EQ(carried2[2], 0);
}

TEST(SortByRank, TwoElementsSwapOnlyWhenOutOfOrder) {
    int32_t ranks[2] = {4, 4};
    int32_t carried[2] = {0, 1};
    sortByRank(ranks, carried, 0, 1);
    EXPECT_EQ(carried[0], 0);
    int32_t ranks2[2] = {5, 4};
    sortByRank(ranks2, carried, 0, 1);
    EXPECT_EQ(carried[0], 1);
    EXPECT_EQ(ranks2[0], 4);
}

TEST(SortByRank, SortsAscendingAndCarriesTheCandidates) {
    std::mt19937 rng(12345);
    for (int32_t round = 0; round < 2000; ++round) {
        int32_t original[25];
        int32_t ranks[25];
        int32_t carried[25];
        // Narrow ranges give many ties.
        const int32_t span = round % 3 == 0 ? 4 : 2048;
        for (int32_t k = 0; k < 25; ++k) {
            original[k] = ranks[k] = static_cast<int32_t>(rng() % span);
            carried[k] = k;
        }
        sortByRank(ranks, carried, 0, 24);
        bool seen[25] = {};
        for (int32_t k = 0; k < 25; ++k) {
            if (k > 0) {
                ASSERT_LE(ranks[k - 1], ranks[k]);
            }
            ASSERT_EQ(ranks[k], original[carried[k]]);
            ASSERT_FALSE(seen[carried[k]]);
            seen[carried[k]] = true;
        }
    }
}

// The quick order must be sortByRank's own for every input: all ranks
// distinct, a few equal (as the rank table gives), many equal, all equal,
// negative and extreme ranks, and every count up to 32.
TEST(SortByRank, OrderByRankIsTheQuicksortsOrder) {
    std::mt19937 rng(77);
    int32_t mismatches = 0;
    for (int32_t round = 0; round < 20000; ++round) {
        const int32_t count = round < 64 ? 1 + round % 32 : 25;
        const uint32_t spread = round % 4 == 0 ? 2048u : (round % 4 == 1 ? 9u : 0xFFFFFFFFu);
        int32_t ranks[32];
        int32_t copy[32];
        for (int32_t k = 0; k < count; ++k) {
            const uint32_t r = spread == 0xFFFFFFFFu ? rng() : rng() % spread;
            ranks[k] = round % 97 == 3 ? 5 : static_cast<int32_t>(r);
            copy[k] = ranks[k];
        }
        int32_t want[32];
        for (int32_t k = 0; k < count; ++k) {
            want[k] = k;
        }
        sortByRank(copy, want, 0, count - 1);
        int32_t got[32];
        orderByRank(ranks, got, count);
        for (int32_t k = 0; k < count; ++k) {
            if (got[k] != want[k]) {
                ++mismatches;
                break;
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
}

} // namespace
