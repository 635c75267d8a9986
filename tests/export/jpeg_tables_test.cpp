#include "export/jpeg_tables.h"

#include <gtest/gtest.h>

#include <vector>

namespace qf {}
using namespace qf;

namespace {

std::vector<int> row(const uint8_t (&table)[64], int r) {
    return std::vector<int>(table + r * 8, table + r * 8 + 8);
}

int sum(const uint8_t (&table)[64]) {
    int s = 0;
    for (uint8_t q : table) s += q;
    return s;
}

} // namespace

TEST(JpegTables, KeepTheRowsOlderFilesCarry) {
    EXPECT_EQ(row(kLuminanceQuantTables[0], 0), (std::vector<int>{20, 17, 26, 41, 51, 39, 34, 17}));
    EXPECT_EQ(row(kLuminanceQuantTables[5], 0), (std::vector<int>{13, 7, 7, 13, 15, 18, 20, 17}));
    EXPECT_EQ(row(kLuminanceQuantTables[8], 0), (std::vector<int>{2, 2, 2, 2, 3, 4, 5, 6}));
    EXPECT_EQ(row(kLuminanceQuantTables[10], 0), std::vector<int>(8, 1));
    EXPECT_EQ(row(kLuminanceQuantTables[10], 1), std::vector<int>(8, 1));
    EXPECT_EQ(row(kChrominanceQuantTables[0], 0),
              (std::vector<int>{21, 26, 33, 34, 20, 20, 17, 17}));
    EXPECT_EQ(row(kChrominanceQuantTables[9], 0), (std::vector<int>{1, 1, 2, 4, 7, 8, 8, 8}));
}

TEST(JpegTables, GetFinerWithEveryDecile) {
    for (const auto* tables : {kLuminanceQuantTables, kChrominanceQuantTables}) {
        for (int d = 0; d < kJpegDecileCount; ++d) {
            for (int i = 0; i < 64; ++i) {
                EXPECT_GE(tables[d][i], 1) << "decile " << d << " entry " << i;
                if (d > 0) {
                    EXPECT_LE(tables[d][i], tables[d - 1][i]) << "decile " << d << " entry " << i;
                }
            }
            if (d > 0) {
                EXPECT_LT(sum(tables[d]), sum(tables[d - 1])) << "decile " << d;
            }
        }
        int ones = 0;
        for (uint8_t q : tables[10]) ones += q == 1;
        EXPECT_GE(ones, 56) << "decile 10 is 1 nearly everywhere";
    }
}

TEST(JpegTables, LuminanceIsSubsampledBelowQualityFifty) {
    for (int d = 0; d < kJpegDecileCount; ++d)
        EXPECT_EQ(kLuminanceSampling[d], d <= 4 ? 2 : 1) << d;
}

TEST(JpegTables, QualityIsClampedBeforeTheDecileIsTaken) {
    EXPECT_EQ(clampJpegQuality(100), 99);
    EXPECT_EQ(clampJpegQuality(250), 99);
    EXPECT_EQ(clampJpegQuality(-5), 0);
    EXPECT_EQ(clampJpegQuality(80), 80);
    EXPECT_EQ(jpegQualityDecile(100), 9);
    EXPECT_EQ(jpegQualityDecile(-5), 0);
    EXPECT_EQ(jpegQualityDecile(49), 4);
    EXPECT_EQ(jpegQualityDecile(50), 5);
    EXPECT_EQ(jpegQualityDecile(99), 9);
}
