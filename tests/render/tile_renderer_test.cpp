// Tiles: zoom, layers, hue, buffers, out-of-range settings.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "render/hsl.h"
#include "render/tile_buffer.h"
#include "render/tile_renderer.h"
#include "render/tile_source.h"
#include "render_test_support.h"

namespace {

const PixelRect kArea{0, 0, 96, 128};

TEST(TileRenderer, ZoomFactors) {
    EXPECT_EQ(zoomFactor(0), 200);
    EXPECT_EQ(zoomFactor(50), 25);
    EXPECT_EQ(zoomFactor(86), 5);
    EXPECT_EQ(zoomFactor(100), 3);
    // Out of range: the nearest end.
    EXPECT_EQ(zoomFactor(1000), 3);
    EXPECT_EQ(zoomFactor(-40), 200);
    EXPECT_EQ(zoomFactor(INT_MIN), 200);
    // Against the runtime's exp2 (a test may use it; the renderer does not).
    for (int32_t z = 0; z <= 100; ++z) {
        const float inner = static_cast<float>(z * 6.0 / 100.0 + 6.0);
        EXPECT_EQ(zoomFactor(z), static_cast<int32_t>(100.0 * std::exp2(7.0 - inner))) << z;
        if (z > 0) {
            EXPECT_LE(zoomFactor(z), zoomFactor(z - 1));
        }
    }
}

TEST(TileRenderer, LayerWeights) {
    auto w = [](int32_t c) { const LayerWeights l = layerWeights(c); return std::pair{l.second, l.third}; };
    EXPECT_EQ(w(0), std::pair(0.0f, 0.0f));
    EXPECT_EQ(w(25), std::pair(0.5f, 0.0f));
    EXPECT_EQ(w(50), std::pair(1.0f, 0.0f));
    EXPECT_EQ(w(75), std::pair(1.0f, 0.5f));
    EXPECT_EQ(w(100), std::pair(1.0f, 1.0f));
}

TEST(TileRenderer, OneCellColourCallPerLayerAndPixel) {
    // Every cellColour call is either a sort or a skipped sort.
    for (const auto& [complexity, layers] : {std::pair{0, 1}, std::pair{30, 2}, std::pair{50, 2}, std::pair{51, 3},
                                             std::pair{100, 3}}) {
        SettingsRecord s = patternDefaults();
        s.complexity = complexity;
        s.zoom = 20;
        auto gen = preparedGenerator(s, kArea);
        TileBuffer b;
        ASSERT_TRUE(b.allocate(PixelRect{0, 0, 40, 50}));
        renderTile(s, *gen, b);
        const uint64_t calls = gen->sortStatistics.sortsPerformed + gen->sortStatistics.sortsSkipped;
        EXPECT_EQ(calls, uint64_t(40 * 50 * layers)) << complexity;
        EXPECT_GT(gen->sortStatistics.sortsSkipped.load(), gen->sortStatistics.sortsPerformed.load());
    }
}

TEST(TileRenderer, TilingDoesNotChangeThePicture) {
    // One tile over the area, or the area cut into uneven tiles: the same
    // pixels, because every cache decision is a shortcut only.
    for (int32_t complexity : {0, 100}) {
        SettingsRecord s = patternDefaults();
        s.complexity = complexity;
        s.zoom = 30;
        const TileBuffer whole = renderedTile(s, kArea, kArea);
        auto gen = preparedGenerator(s, kArea);
        for (const PixelRect& r : {PixelRect{0, 0, 50, 77}, PixelRect{50, 77, 96, 128}, PixelRect{13, 100, 14, 101}}) {
            TileBuffer part;
            ASSERT_TRUE(part.allocate(r));
            renderTile(s, *gen, part);
            EXPECT_TRUE(samePixels(whole, part, r));
        }
    }
}

TEST(TileRenderer, WorkersShareOneGeneratorState) {
    // Four threads render the four quarters of the area from one prepared
    // state at once; the pixels and the statistics match one thread's.
    SettingsRecord s = patternDefaults();
    s.complexity = 60;
    s.zoom = 25;
    auto gen = preparedGenerator(s, kArea);
    const PixelRect quarters[4] = {{0, 0, 48, 64}, {0, 64, 48, 128}, {48, 0, 96, 64}, {48, 64, 96, 128}};
    std::vector<TileBuffer> parallel(4);
    std::vector<std::thread> workers;
    for (int32_t i = 0; i < 4; ++i) {
        ASSERT_TRUE(parallel[i].allocate(quarters[i]));
        workers.emplace_back([&, i] { renderTile(s, *gen, parallel[i]); });
    }
    for (std::thread& w : workers) {
        w.join();
    }
    const uint64_t performed = gen->sortStatistics.sortsPerformed;
    const uint64_t skipped = gen->sortStatistics.sortsSkipped;
    gen->sortStatistics.reset();
    for (int32_t i = 0; i < 4; ++i) {
        TileBuffer alone;
        ASSERT_TRUE(alone.allocate(quarters[i]));
        renderTile(s, *gen, alone);
        EXPECT_TRUE(samePixels(alone, parallel[i], quarters[i])) << i;
    }
    EXPECT_EQ(gen->sortStatistics.sortsPerformed.load(), performed);
    EXPECT_EQ(gen->sortStatistics.sortsSkipped.load(), skipped);
}

TEST(TileRenderer, FullHueTurnGivesTheSamePicture) {
    // hue 100 adds exactly 1 to every hue and takes it off again; only the
    // rounding of h + 1 remains.
    SettingsRecord s = patternDefaults();
    s.hue = 0;
    const TileBuffer a = renderedTile(s, kArea, kArea);
    s.hue = 100;
    const TileBuffer b = renderedTile(s, kArea, kArea);
    for (int32_t y = 0; y < 96; ++y) {
        for (int32_t x = 0; x < 128; ++x) {
            ASSERT_NEAR(a.at(x, y)->r, b.at(x, y)->r, 2e-6f);
            ASSERT_NEAR(a.at(x, y)->g, b.at(x, y)->g, 2e-6f);
            ASSERT_NEAR(a.at(x, y)->b, b.at(x, y)->b, 2e-6f);
        }
    }
}

TEST(TileRenderer, HueStep) {
    EXPECT_FLOAT_EQ(shiftHue(0.7f, 0.47f), 0.17f);
    EXPECT_EQ(shiftHue(0.25f, 0.0f), 0.25f);
    // A negative result does not wrap: it is clamped to 0, red.
    EXPECT_EQ(shiftHue(0.3f, -0.5f), 0.0f);
    EXPECT_EQ(shiftHue(0.3f, -1.5f), 0.0f);
    EXPECT_FLOAT_EQ(shiftHue(0.8f, -0.5f), 0.3f);
    const RgbColour red = hslToRgb(shiftHue(0.3f, -0.5f), 1.0f, 0.5f);
    EXPECT_EQ(red.r, 1.0f);
    EXPECT_EQ(red.g, 0.0f);
    EXPECT_EQ(red.b, 0.0f);
}

TEST(Hsl, KnownColoursAndRoundTrip) {
    const HslColour red = rgbToHsl(1.0f, 0.0f, 0.0f);
    EXPECT_EQ(red.h, 1.0f); // 6 * 0.16666667: red sits at the top of the range
    EXPECT_EQ(red.s, 1.0f);
    EXPECT_EQ(red.l, 0.5f);
    EXPECT_FLOAT_EQ(rgbToHsl(0.0f, 1.0f, 0.0f).h, 1.0f / 3.0f);
    EXPECT_FLOAT_EQ(rgbToHsl(0.0f, 0.0f, 1.0f).h, 2.0f / 3.0f);
    EXPECT_EQ(rgbToHsl(0.4f, 0.4f, 0.4f).s, 0.0f);
    EXPECT_EQ(hslToRgb(0.5f, 1.0f, 0.0f).g, 0.0f);
    std::mt19937 rng(99);
    std::uniform_real_distribution<float> d(0.0f, 1.0f);
    for (int32_t i = 0; i < 20000; ++i) {
        const float r = d(rng), g = d(rng), b = d(rng);
        const HslColour h = rgbToHsl(r, g, b);
        const RgbColour back = hslToRgb(h.h < 1.0f ? h.h : 0.0f, h.s, h.l);
        ASSERT_NEAR(back.r, r, 1e-5f);
        ASSERT_NEAR(back.g, g, 1e-5f);
        ASSERT_NEAR(back.b, b, 1e-5f);
    }
}

TEST(TileRenderer, PanOffsetsShiftByWholePixelsTruncatingTowardZero) {
    SettingsRecord s = patternDefaults();
    s.zoom = 10;
    s.previewZoom = 2;
    const TileBuffer plain = renderedTile(s, kArea, kArea);
    s.previewOffsetX = -7; // -7 / 2 is -3, not -4
    s.previewOffsetY = 9;  // 9 / 2 is 4
    const TileBuffer panned = renderedTile(s, kArea, PixelRect{0, 3, 90, 128});
    for (int32_t y = 0; y < 90; ++y) {
        for (int32_t x = 3; x < 128; ++x) {
            ASSERT_EQ(std::memcmp(panned.at(x, y), plain.at(x - 3, y + 4), sizeof(FloatRGBA)), 0) << x << "," << y;
        }
    }
}

TEST(TileRenderer, EdgeTilesAreSizedToTheTile) {
    // The last tile of a 1000 x 300 area is 104 x 44.
    TileBuffer b;
    ASSERT_TRUE(b.allocate(PixelRect{256, 896, 300, 1000}));
    EXPECT_EQ(b.bufferWidth(), 106);
    EXPECT_EQ(b.bufferHeight(), 46);
    EXPECT_EQ(b.at(896, 256), b.data() + 107); // element 1 * 106 + 1
    EXPECT_EQ(b.at(1000, 300), b.data() + 46 * 106 - 1);
    EXPECT_EQ(b.at(1001, 300), nullptr);
    writeTilePixel(b, 894, 260, FloatRGBA{1, 1, 1, 1}); // outside: nothing
    writeTilePixel(b, 895, 260, FloatRGBA{0.1f, 0.2f, 0.3f, 1}); // border: stored
    EXPECT_EQ(b.at(895, 260)->g, 0.2f);
    EXPECT_FALSE(b.allocate(PixelRect{0, 0, 10, -5}));
    EXPECT_FALSE(b.allocate(PixelRect{0, INT_MIN, 10, INT_MAX}));
}

TEST(TileRenderer, OutOfRangeSettingsRenderAsTheNearestValidOnes) {
    auto hashWith = [](auto change) {
        SettingsRecord s = patternDefaults();
        change(s);
        return tileHash(renderedTile(s, kArea, PixelRect{0, 0, 40, 40}));
    };
    EXPECT_EQ(hashWith([](SettingsRecord& s) { s.shape = 0; }), hashWith([](SettingsRecord& s) { s.shape = 1; }));
    EXPECT_EQ(hashWith([](SettingsRecord& s) { s.shape = 9; }), hashWith([](SettingsRecord& s) { s.shape = 7; }));
    EXPECT_EQ(hashWith([](SettingsRecord& s) { s.merge = 0; }), hashWith([](SettingsRecord& s) { s.merge = 1; }));
    EXPECT_EQ(hashWith([](SettingsRecord& s) { s.stripeKind = 7; }),
              hashWith([](SettingsRecord& s) { s.stripeKind = 4; }));
    EXPECT_EQ(hashWith([](SettingsRecord& s) { s.zoom = 1000; }), hashWith([](SettingsRecord& s) { s.zoom = 100; }));
    EXPECT_EQ(hashWith([](SettingsRecord& s) { s.complexity = -50; }),
              hashWith([](SettingsRecord& s) { s.complexity = 0; }));
    EXPECT_EQ(hashWith([](SettingsRecord& s) { s.overlap = INT_MIN; s.softness = -1; s.doublure = -300; }),
              hashWith([](SettingsRecord& s) { s.overlap = 0; s.softness = 0; s.doublure = 0; }));
    EXPECT_EQ(hashWith([](SettingsRecord& s) { s.stripes = INT_MAX; s.warping = 101; s.color = 1 << 20; }),
              hashWith([](SettingsRecord& s) { s.stripes = 100; s.warping = 100; s.color = 100; }));
    EXPECT_EQ(hashWith([](SettingsRecord& s) { s.randomSeed = INT_MIN; }),
              hashWith([](SettingsRecord& s) { s.randomSeed = 0; }));
    EXPECT_EQ(hashWith([](SettingsRecord& s) { s.previewZoom = 0; }),
              hashWith([](SettingsRecord& s) { s.previewZoom = 1; }));
    EXPECT_EQ(hashWith([](SettingsRecord& s) { s.previewZoom = -8; }),
              hashWith([](SettingsRecord& s) { s.previewZoom = 1; }));
}

TEST(TileRenderer, ExtremeValuesStayDefined) {
    // Nothing here may overflow, divide by zero or index outside a table
    // (the sanitizer builds check); every pixel stays a valid colour.
    const int32_t extremes[] = {INT_MIN, -1, INT_MAX};
    for (int32_t v : extremes) {
        SettingsRecord s = patternDefaults();
        s.overlap = s.stripes = s.warping = s.softness = s.doublure = s.color = s.zoom = s.complexity = v;
        s.hue = s.merge = s.shape = s.stripeKind = s.randomSeed = v;
        s.previewZoom = v;
        s.previewOffsetX = v;
        s.previewOffsetY = ~v;
        for (const PixelRect& tile : {PixelRect{0, 0, 8, 8}, PixelRect{INT_MAX - 8, INT_MIN, INT_MAX, INT_MIN + 8}}) {
            const TileBuffer b = renderedTile(s, kArea, tile);
            ASSERT_TRUE(b.valid());
            for (int32_t y = tile.top; y < tile.bottom; ++y) {
                for (int32_t x = tile.left; x < tile.right; ++x) {
                    const FloatRGBA& c = *b.at(x, y);
                    for (float ch : {c.r, c.g, c.b}) {
                        ASSERT_TRUE(ch >= 0.0f && ch <= 1.0f) << v;
                    }
                    ASSERT_EQ(c.a, 1.0f);
                }
            }
            EXPECT_EQ(tileHash(b), tileHash(renderedTile(s, kArea, tile)));
        }
    }
}

TEST(TileSource, ReadsTheHostSamplesIntoTheTile) {
    const PixelRect tile{4, 6, 6, 9}; // 3 x 2 pixels
    TileBuffer b;
    ASSERT_TRUE(b.allocate(tile));
    // 8-bit RGB rows with a padded stride.
    uint8_t rgb[2][12] = {{255, 0, 51, 1, 2, 3, 4, 5, 6}, {10, 20, 30, 40, 50, 60, 70, 80, 90}};
    CompositeTarget t;
    t.inData = rgb;
    t.inRowBytes = 12;
    t.inPlaneCount = 3;
    loadTileSource(t, b);
    EXPECT_EQ(b.at(6, 4)->r, 1.0f);
    EXPECT_FLOAT_EQ(b.at(6, 4)->b, 0.2f);
    EXPECT_FLOAT_EQ(b.at(7, 4)->r, 1.0f / 255.0f);
    EXPECT_FLOAT_EQ(b.at(8, 5)->g, 80.0f / 255.0f);
    EXPECT_EQ(b.at(8, 5)->a, 1.0f);
    EXPECT_EQ(b.at(5, 4)->a, 0.0f); // the border is not part of the tile
    // 16-bit gray: one plane, 0..32768.
    uint16_t gray[2][3] = {{32768, 16384, 0}, {1, 2, 3}};
    t.inData = gray;
    t.inRowBytes = 6;
    t.inPlaneCount = 1;
    t.gray = true;
    t.depth = DepthClass::Sixteen;
    loadTileSource(t, b);
    EXPECT_EQ(b.at(7, 4)->r, 0.5f);
    EXPECT_EQ(b.at(7, 4)->b, 0.5f);
}

} // namespace
