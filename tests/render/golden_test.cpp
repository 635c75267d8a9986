// Golden pictures: a fixed matrix of settings rendered into float tiles and
// hashed (FNV-1a over the bits of every channel). The hashes are the same
// on Linux x86-64, 32-bit Windows and 64-bit Windows; a change in any of
// them means the pattern changed.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>

#include "render_test_support.h"

namespace qf {}
using namespace qf;

namespace {

struct GoldenCase {
    int32_t shape, stripeKind, merge, complexity, hue, seed, zoom, softness, doublure, overlap,
        warping, stripes, color;
    uint64_t hash;
    int32_t previewZoom = 1;
    int32_t previewOffsetX = 0;
    int32_t previewOffsetY = 0;
};

// Every shape with every stripe kind; merges, complexities, hues, seeds
// (negative, large and the two ends of the integers), zooms, softness,
// doublure, overlap, warping, stripes and colour each at their ends and a
// middle value, spread over the rows. The last rows add preview reduction
// and pan.
const GoldenCase kCases[] = {
    {1, 1, 3, 100, 47, INT32_MIN, 0, 23, 100, 0, 0, 27, 100, 0xe4a3fc906d549e3cull},
    {1, 2, 4, 0, 100, 2147483647, 100, 0, 40, 100, 0, 0, 98, 0xb40b4ebd269f34bfull},
    {1, 3, 1, 50, 100, -987654, 86, 100, 0, 73, 0, 100, 0, 0x013e0ac9181c237eull},
    {1, 4, 2, 100, 100, 0, 50, 23, 100, 0, 0, 27, 100, 0x20946a6b46b10603ull},
    {2, 1, 4, 0, 0, 1, 20, 0, 100, 73, 100, 100, 98, 0xf330c5c9244e97caull},
    {2, 2, 1, 50, 47, -1, 0, 100, 40, 0, 100, 27, 0, 0x24983f0f574bd996ull},
    {2, 3, 2, 100, 0, 2047, 100, 23, 0, 100, 100, 100, 100, 0x953f506944b9fec4ull},
    {2, 4, 3, 0, 0, 123456789, 86, 0, 100, 73, 100, 100, 98, 0xde8a8b1229e1061eull},
    {3, 1, 1, 50, 100, INT32_MIN, 50, 100, 100, 100, 41, 0, 100, 0x0c0edb15834e362bull},
    {3, 2, 2, 100, 100, 2147483647, 20, 23, 40, 73, 41, 100, 100, 0x3b6a40b45261db4eull},
    {3, 3, 3, 0, 47, -987654, 0, 0, 0, 0, 41, 27, 98, 0x825a64b5949f5bedull},
    {3, 4, 4, 50, 100, 0, 100, 100, 100, 100, 41, 100, 0, 0x13012a23b65d0303ull},
    {4, 1, 2, 100, 0, 1, 86, 23, 100, 0, 0, 27, 100, 0x377a6187d2748d0eull},
    {4, 2, 3, 0, 0, -1, 50, 0, 40, 100, 0, 0, 98, 0x6ba370f5d1cbd04bull},
    {4, 3, 4, 50, 0, 2047, 20, 100, 0, 73, 0, 100, 0, 0xac7646a363198f8bull},
    {4, 4, 1, 100, 47, 123456789, 0, 23, 100, 0, 0, 27, 100, 0x2003fa1574d6c5dbull},
    {5, 1, 3, 0, 100, INT32_MIN, 100, 0, 100, 73, 100, 100, 98, 0x6c73d360113c45eaull},
    {5, 2, 4, 50, 100, 2147483647, 86, 100, 40, 0, 100, 27, 0, 0xf1acea26bbb19b07ull},
    {5, 3, 1, 100, 100, -987654, 50, 23, 0, 100, 100, 100, 100, 0x315705ebd4908e5bull},
    {5, 4, 2, 0, 100, 0, 20, 0, 100, 73, 100, 100, 98, 0xf2b34ad2bacb17adull},
    {6, 1, 4, 50, 47, 1, 0, 100, 100, 100, 41, 0, 100, 0x5517df7e1ca880cdull},
    {6, 2, 1, 100, 0, -1, 100, 23, 40, 73, 41, 100, 100, 0x7ee19880bdb34d1eull},
    {6, 3, 2, 0, 0, 2047, 86, 0, 0, 0, 41, 27, 98, 0xabe63393ae085434ull},
    {6, 4, 3, 50, 0, 123456789, 50, 100, 100, 100, 41, 100, 0, 0x96749161a652d321ull},
    {7, 1, 1, 100, 100, INT32_MIN, 20, 23, 100, 0, 0, 27, 100, 0x6df80cf90d525b4cull},
    {7, 2, 2, 0, 47, 2147483647, 0, 0, 40, 100, 0, 0, 98, 0x0ebbbde33b5e72c5ull},
    {7, 3, 3, 50, 100, -987654, 100, 100, 0, 73, 0, 100, 0, 0x41b209ba9a36bea3ull},
    {7, 4, 4, 100, 100, 0, 86, 23, 100, 0, 0, 27, 100, 0xd75a4e0e72e476d5ull},
    {7, 2, 3, 0, 47, 0, 86, 23, 40, 73, 41, 27, 98, 0xa0f6d115162193a3ull, 3, -50, 20},
    {1, 1, 1, 100, 0, -5, 0, 0, 0, 100, 100, 100, 100, 0x65e99974371e02cdull, 2, 7, -9},
    {5, 4, 2, 50, 100, 77777, 100, 100, 100, 0, 0, 0, 0, 0x83501a20c5458328ull, 16, 1000, 3},
};

SettingsRecord settingsOf(const GoldenCase& c) {
    SettingsRecord s = patternDefaults();
    s.shape = c.shape;
    s.stripeKind = c.stripeKind;
    s.merge = c.merge;
    s.complexity = c.complexity;
    s.hue = c.hue;
    s.randomSeed = c.seed;
    s.zoom = c.zoom;
    s.softness = c.softness;
    s.doublure = c.doublure;
    s.overlap = c.overlap;
    s.warping = c.warping;
    s.stripes = c.stripes;
    s.color = c.color;
    s.previewZoom = c.previewZoom;
    s.previewOffsetX = c.previewOffsetX;
    s.previewOffsetY = c.previewOffsetY;
    return s;
}

// A 48 x 40 tile somewhere in a large area, a different place per case.
PixelRect tileOf(int32_t i) {
    const int32_t top = 13 * i + (i % 3) * 500;
    const int32_t left = 29 * i + (i % 4) * 700;
    return PixelRect{top, left, top + 40, left + 48};
}

TEST(Golden, MatrixOfSettingsGivesTheCommittedPixels) {
    const PixelRect area{0, 0, 3000, 3000};
    int32_t index = 0;
    int32_t mismatches = 0;
    for (const GoldenCase& c : kCases) {
        const uint64_t hash = tileHash(renderedTile(settingsOf(c), area, tileOf(index)));
        if (hash != c.hash) {
            ++mismatches;
            std::printf("case %d: 0x%016llxull\n", index, static_cast<unsigned long long>(hash));
        }
        ++index;
    }
    EXPECT_EQ(mismatches, 0);
}

} // namespace
