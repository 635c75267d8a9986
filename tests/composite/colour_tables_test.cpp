// The colour tables and their tetrahedral lookup.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "composite/colour_tables.h"
#include "composite/glue_modes.h"

namespace qf {}
using namespace qf;

namespace {

struct Node {
    int i, j, k;
    int v0, v1, v2;
};

void expectNode(const uint8_t* table, const Node& n, const char* which) {
    const size_t off = size_t(3 * (n.i + 16 * n.j + 256 * n.k));
    EXPECT_EQ(table[off], n.v0) << which << " node " << n.i << "," << n.j << "," << n.k;
    EXPECT_EQ(table[off + 1], n.v1) << which << " node " << n.i << "," << n.j << "," << n.k;
    EXPECT_EQ(table[off + 2], n.v2) << which << " node " << n.i << "," << n.j << "," << n.k;
}

TEST(ColourTables, ReferenceRows) {
    const Node forward[] = {
        {0, 0, 0, 0, 128, 128},      {3, 3, 3, 72, 128, 128},    {8, 8, 8, 163, 128, 128},
        {15, 15, 15, 255, 128, 128}, {15, 0, 0, 144, 208, 208},  {0, 15, 0, 214, 51, 207},
        {0, 0, 15, 104, 158, 33},    {15, 15, 0, 243, 119, 222}, {0, 15, 15, 228, 75, 111},
    };
    for (const Node& n : forward) expectNode(forwardColourTable, n, "forward");
    const Node inverse[] = {
        {15, 8, 8, 255, 249, 237},
        {8, 8, 8, 125, 104, 95},
        {0, 8, 8, 15, 0, 1},
    };
    for (const Node& n : inverse) expectNode(inverseColourTable, n, "inverse");
}

TEST(ColourTables, EveryGreyHasNeutralOpponentsAndRisingLightness) {
    int previous = -1;
    for (int i = 0; i < 16; ++i) {
        const size_t off = size_t(3 * (i + 16 * i + 256 * i));
        EXPECT_EQ(forwardColourTable[off + 1], 128) << i;
        EXPECT_EQ(forwardColourTable[off + 2], 128) << i;
        EXPECT_GT(int(forwardColourTable[off]), previous) << i;
        previous = forwardColourTable[off];
    }
}

TEST(ColourTables, AxisCoversTheWholeRange) {
    // Every in-range input lands in a cell below the last node with a
    // fraction inside the cell, so in-range lookups never need the guard
    // that keeps out-of-range ones inside the table.
    for (int32_t v = 0; v <= 32768; ++v) {
        const glue::TableAxis a = glue::tableAxis(v);
        ASSERT_LE(a.node, 14) << v;
        ASSERT_GE(a.fraction, 0) << v;
        ASSERT_LE(a.fraction, 2184) << v;
        ASSERT_NEAR(a.node * 2184.5334 + a.fraction, v, 1.0) << v;
    }
    EXPECT_EQ(glue::tableAxis(-5).node, 0);
    EXPECT_EQ(glue::tableAxis(-5).fraction, 0);
    EXPECT_EQ(glue::tableAxis(1 << 30).node, glue::tableAxis(32768).node);
}

TEST(ColourTables, LookupAtTheCorners) {
    int32_t out[3];
    const int32_t black[3] = {0, 0, 0};
    glue::tableLookup(forwardColourTable, black, out);
    // 128 x 2184 / 17 = 16444.2
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[1], 16444);
    EXPECT_EQ(out[2], 16444);
    const int32_t white[3] = {32768, 32768, 32768};
    glue::tableLookup(forwardColourTable, white, out);
    EXPECT_EQ(out[0], 32760); // 255 x 2184 / 17
    EXPECT_EQ(out[1], 16444);
    // Halfway between nodes 0 and 1 of the red axis: (0 + 4) x 1092 / 17.
    const int32_t halfRed[3] = {1092, 0, 0};
    glue::tableLookup(forwardColourTable, halfRed, out);
    const int32_t expected =
        (forwardColourTable[0] * (2184 - 1092) + forwardColourTable[3] * 1092) / 17;
    EXPECT_EQ(out[0], expected);
    // Out-of-range inputs are limited to the table.
    const int32_t wild[3] = {-100000, 1 << 30, 40000};
    glue::tableLookup(forwardColourTable, wild, out);
    int32_t limited[3];
    const int32_t edge[3] = {0, 32768, 32768};
    glue::tableLookup(forwardColourTable, edge, limited);
    EXPECT_EQ(out[0], limited[0]);
    EXPECT_EQ(out[1], limited[1]);
    EXPECT_EQ(out[2], limited[2]);
}

// Forward then inverse, in 0..255 units.
void roundTrip(int r, int g, int b, double back[3]) {
    const int32_t in[3] = {int32_t(std::lround(r * 32768.0 / 255.0)),
                           int32_t(std::lround(g * 32768.0 / 255.0)),
                           int32_t(std::lround(b * 32768.0 / 255.0))};
    int32_t lab[3];
    int32_t rgb[3];
    glue::tableLookup(forwardColourTable, in, lab);
    glue::tableLookup(inverseColourTable, lab, rgb);
    for (int c = 0; c < 3; ++c) back[c] = rgb[c] * 255.0 / 32768.0;
}

TEST(ColourTables, RoundTripKeepsGreysGrey) {
    for (int v = 0; v <= 255; v += 3) {
        double back[3];
        roundTrip(v, v, v, back);
        const double spread = *std::max_element(back, back + 3) - *std::min_element(back, back + 3);
        const double mean = (back[0] + back[1] + back[2]) / 3.0;
        if (v >= 16 && v <= 224) {
            EXPECT_LE(spread, 4.0) << v;
            EXPECT_NEAR(mean, v, 3.0) << v;
        } else {
            // Next to black and white the interpolation reaches nodes whose
            // colours were clipped to 0 or 255 (the inverse reference nodes
            // (0,8,8) and (15,8,8) are such nodes), so a tint remains.
            EXPECT_LE(spread, 14.0) << v;
            EXPECT_NEAR(mean, v, 10.0) << v;
        }
    }
}

TEST(ColourTables, RoundTripKeepsColoursClose) {
    double total = 0.0;
    int count = 0;
    int far = 0;
    for (int r = 0; r <= 255; r += 15) {
        for (int g = 0; g <= 255; g += 15) {
            for (int b = 0; b <= 255; b += 15) {
                double back[3];
                roundTrip(r, g, b, back);
                const double err = std::max(
                    {std::fabs(back[0] - r), std::fabs(back[1] - g), std::fabs(back[2] - b)});
                total += err;
                ++count;
                far += err > 15.0 ? 1 : 0;
                // Even at the edge of the gamut, where nodes outside it were
                // clipped, a colour keeps its character.
                EXPECT_LE(err, 48.0) << r << "," << g << "," << b;
            }
        }
    }
    EXPECT_LE(total / count, 6.0);
    EXPECT_LE(far, count / 10);
}

TEST(ColourTables, LimbicAndOccipitalOfAColourOverItselfIsTheRoundTrip) {
    // PIN(x, x) = x for every component, so only the tables act.
    const int samples[][3] = {{200, 40, 90}, {10, 10, 10}, {128, 200, 255}, {255, 255, 0}};
    for (const auto& s : samples) {
        const FloatRGBA c{s[0] / 255.0f, s[1] / 255.0f, s[2] / 255.0f, 1.0f};
        const int32_t in[3] = {int32_t(c.r * 32768.0f), int32_t(c.g * 32768.0f),
                               int32_t(c.b * 32768.0f)};
        int32_t lab[3];
        int32_t rgb[3];
        glue::tableLookup(forwardColourTable, in, lab);
        glue::tableLookup(inverseColourTable, lab, rgb);
        for (int32_t mode : {kGlueOccipital, kGlueLimbic}) {
            FloatRGBA r;
            blendGlue(c, c, r, mode);
            EXPECT_EQ(r.r * 32768.0f, float(rgb[0])) << mode;
            EXPECT_EQ(r.g * 32768.0f, float(rgb[1])) << mode;
            EXPECT_EQ(r.b * 32768.0f, float(rgb[2])) << mode;
        }
    }
}

TEST(ColourTables, ParietalDarkensAndTemporalLightens) {
    const FloatRGBA colour{0.8f, 0.5f, 0.3f, 1.0f};
    const FloatRGBA black{0.0f, 0.0f, 0.0f, 1.0f};
    const FloatRGBA white{1.0f, 1.0f, 1.0f, 1.0f};
    FloatRGBA r;
    blendGlue(colour, black, r, kGlueParietal); // lightness multiplied by 0
    EXPECT_LT(std::max({r.r, r.g, r.b}), 0.2f);
    blendGlue(colour, white, r, kGlueTemporal); // lightness screened with 1
    EXPECT_GT(r.r, colour.r);
    EXPECT_GT(r.g, colour.g);
    EXPECT_GT(r.b, colour.b);
    // Temporal over black keeps the top's lightness: the colour comes back
    // with its order of channels.
    blendGlue(colour, black, r, kGlueTemporal);
    EXPECT_GT(r.r, r.g);
    EXPECT_GT(r.g, r.b);
}

} // namespace
