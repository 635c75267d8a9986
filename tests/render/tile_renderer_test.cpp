// Tiles: zoom, layers, hue, buffers, out-of-range settings.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <random>
#include <thread>
#include <utility>
#include <vector>

#include "reference_pattern.h"
#include "render/hsl.h"
#include "render/tile_buffer.h"
#include "render/tile_composite.h"
#include "render/tile_renderer.h"
#include "render_test_support.h"
#include "values/settings_record.h"

namespace qf {}
using namespace qf;

namespace {

const PixelRect kArea{0, 0, 96, 128};

TEST(TileRenderer, ZoomFactors) {
    EXPECT_EQ(zoomFactor(0), 200);
    EXPECT_EQ(zoomFactor(50), 25);
    EXPECT_EQ(zoomFactor(86), 5);
    EXPECT_EQ(zoomFactor(100), 3);
    // Out of range the formula goes on: larger cells above 100, down to a
    // factor of 0 (one flat cell) from 128 on; smaller ones below 0, until
    // the factor no longer fits an int32 and saturates.
    EXPECT_EQ(zoomFactor(101), 2);
    EXPECT_EQ(zoomFactor(127), 1);
    EXPECT_EQ(zoomFactor(128), 0);
    EXPECT_EQ(zoomFactor(1000), 0);
    EXPECT_EQ(zoomFactor(INT_MAX), 0);
    EXPECT_EQ(zoomFactor(-1), 208);
    EXPECT_EQ(zoomFactor(-100), 12800);
    EXPECT_EQ(zoomFactor(INT_MIN), INT32_MAX);
    // Against the runtime's exp2 (a test may use it; the renderer does not),
    // across both ends of the int32 range of the factor.
    int32_t saturatedFrom = 0;
    for (int32_t z = -1000; z <= 1000; ++z) {
        const float inner = static_cast<float>(z * 6.0 / 100.0 + 6.0);
        const double f = 100.0 * std::exp2(7.0 - inner);
        const int32_t want = f < 2147483648.0 ? static_cast<int32_t>(f) : INT32_MAX;
        ASSERT_EQ(zoomFactor(z), want) << z;
        if (want == INT32_MAX) {
            saturatedFrom = z;
        }
        if (z > -1000) {
            ASSERT_LE(zoomFactor(z), zoomFactor(z - 1)) << z;
        }
    }
    EXPECT_EQ(saturatedFrom, -390); // 100 * 2^24.4 is just above INT32_MAX
    EXPECT_LT(zoomFactor(-389), INT32_MAX);
}

TEST(TileRenderer, LayerWeights) {
    auto w = [](int32_t c) {
        const LayerWeights l = layerWeights(c);
        return std::pair{l.second, l.third};
    };
    EXPECT_EQ(w(0), std::pair(0.0f, 0.0f));
    EXPECT_EQ(w(25), std::pair(0.5f, 0.0f));
    EXPECT_EQ(w(50), std::pair(1.0f, 0.0f));
    EXPECT_EQ(w(75), std::pair(1.0f, 0.5f));
    EXPECT_EQ(w(100), std::pair(1.0f, 1.0f));
}

// The renderer paints four pixels of a row at a time; every pixel must have
// the bits the plain one-pixel evaluation gives it: all shapes, merge rules
// and stripe kinds, cells smaller than four pixels (lanes in different home
// cells), strong warping, rows whose width leaves one to three pixels over,
// negative coordinates from the pan, and settings beyond their ranges.
// The cache statistics a tile reports, counted point by point: per layer,
// in reading order, a sort for the first point and for every point in
// another home cell than the point before it, a skipped sort otherwise.
std::pair<uint64_t, uint64_t> referenceSorts(const GeneratorState& gen, const SettingsRecord& s,
                                             const PixelRect& tile) {
    const int32_t previewZoom = s.previewZoom < 1 ? 1 : s.previewZoom;
    const float scale =
        static_cast<float>(zoomFactor(s.zoom)) * 0.001f * static_cast<float>(previewZoom);
    const int32_t kind = s.stripeKind - 1;
    const LayerWeights w = layerWeights(s.complexity);
    const bool used[3] = {true, w.second > 0.0f, w.third > 0.0f};
    const float shifts[3][2] = {{0.0f, 0.0f}, {287.34f, 183.745f}, {237.74f, 123.145f}};
    uint64_t performed = 0, skipped = 0;
    std::pair<int32_t, int32_t> last[3];
    bool counted[3] = {false, false, false};
    for (int32_t y = tile.top; y < tile.bottom; ++y) {
        for (int32_t x = tile.left; x < tile.right; ++x) {
            PatternPoint p{static_cast<float>(int64_t{x} + s.previewOffsetX / previewZoom) * scale,
                           static_cast<float>(int64_t{y} + s.previewOffsetY / previewZoom) * scale};
            for (int32_t layer = 0; layer < 3 && used[layer]; ++layer) {
                p.x = (p.x + shifts[layer][0]) + shifts[layer][1];
                float c[3];
                referenceCellColour(gen, p, c, s.merge - 1, (kind & 1) != 0, (kind & 2) != 0,
                                    s.shape - 1);
                const std::pair<int32_t, int32_t> cell{truncToIndex(p.x), truncToIndex(p.y)};
                if (counted[layer] && last[layer] == cell) {
                    ++skipped;
                } else {
                    ++performed;
                }
                counted[layer] = true;
                last[layer] = cell;
            }
        }
    }
    return {performed, skipped};
}

TEST(TileRenderer, FourPixelsAtATimeMatchThePlainEvaluation) {
    std::mt19937 rng(20240517);
    const auto pick = [&rng](int32_t lo, int32_t hi) {
        return std::uniform_int_distribution<int32_t>(lo, hi)(rng);
    };
    int32_t mismatches = 0;
    for (int32_t round = 0; round < 48; ++round) {
        SettingsRecord s = patternDefaults();
        s.shape = 1 + round % 7;
        s.merge = 1 + round / 7 % 4;
        s.stripeKind = 1 + round % 4;
        s.complexity = pick(0, 100);
        s.zoom = round % 3 == 0 ? pick(0, 10) : pick(0, 100);
        s.warping = pick(0, 100);
        s.overlap = pick(0, 100);
        s.softness = pick(0, 100);
        s.stripes = pick(0, 100);
        s.doublure = pick(0, 100);
        s.color = pick(0, 100);
        s.hue = pick(0, 100);
        s.randomSeed = pick(INT32_MIN, INT32_MAX);
        if (round % 8 == 5) {
            // Out of range: larger cells than zoom 100, stripes beyond the
            // rim, folding gains, a hue past a full turn, a shape and a rule
            // outside the lists.
            s.zoom = pick(101, 127);
            s.stripes = pick(100, 400);
            s.doublure = pick(-150, -60);
            s.hue = pick(-250, 250);
            s.shape = pick(8, 20);
            s.merge = pick(5, 9);
            s.complexity = pick(100, 300);
        }
        if (round % 5 == 2) {
            s.previewZoom = pick(1, 4);
            s.previewOffsetX = pick(-900, 100);
            s.previewOffsetY = pick(-900, 100);
        }
        const PixelRect area{0, 0, 40, 40};
        auto gen = preparedGenerator(s, area);
        ASSERT_TRUE(gen);
        const int32_t left = pick(0, 9);
        const int32_t top = pick(0, 9);
        const PixelRect tile{top, left, top + pick(1, 9), left + pick(1, 23)};
        TileBuffer b;
        ASSERT_TRUE(b.allocate(tile));
        renderTile(s, *gen, b);
        // The layers' caches count what the points met one after another.
        const auto [performed, skipped] = referenceSorts(*gen, s, tile);
        EXPECT_EQ(gen->sortStatistics.sortsPerformed.load(), performed) << "round " << round;
        EXPECT_EQ(gen->sortStatistics.sortsSkipped.load(), skipped) << "round " << round;
        for (int32_t y = tile.top; y < tile.bottom; ++y) {
            for (int32_t x = tile.left; x < tile.right; ++x) {
                const FloatRGBA want = referencePixel(*gen, s, x, y);
                if (std::memcmp(&want, b.at(x, y), sizeof want) != 0 && ++mismatches < 5) {
                    ADD_FAILURE() << "round " << round << " pixel " << x << "," << y;
                }
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(TileRenderer, OneCellColourCallPerLayerAndPixel) {
    // Every cellColour call is either a sort or a skipped sort.
    for (const auto& [complexity, layers] : {std::pair{0, 1}, std::pair{30, 2}, std::pair{50, 2},
                                             std::pair{51, 3}, std::pair{100, 3}}) {
        SettingsRecord s = patternDefaults();
        s.complexity = complexity;
        s.zoom = 20;
        auto gen = preparedGenerator(s, kArea);
        TileBuffer b;
        ASSERT_TRUE(b.allocate(PixelRect{0, 0, 40, 50}));
        renderTile(s, *gen, b);
        const uint64_t calls =
            gen->sortStatistics.sortsPerformed + gen->sortStatistics.sortsSkipped;
        EXPECT_EQ(calls, uint64_t(40 * 50 * layers)) << complexity;
        EXPECT_GT(gen->sortStatistics.sortsSkipped.load(),
                  gen->sortStatistics.sortsPerformed.load());
    }
}

// A slot's tables are kept from one render to the next: forgotten, they
// must give the next render's tile exactly what new ones give, statistics
// included, and they serve only renders that need them in the same shape.
TEST(TileRenderer, KeptTablesForgottenServeTheNextRenderAsNewOnes) {
    SettingsRecord a = patternDefaults();
    a.complexity = 100;
    a.previewZoom = 10; // small cells: the tables of four rows
    SettingsRecord b = a;
    b.randomSeed = a.randomSeed + 7;
    b.overlap = 20;
    const PixelRect area{0, 0, 64, 64};
    auto genA = preparedGenerator(a, area);
    auto genB = preparedGenerator(b, area);
    ASSERT_TRUE(genA && genB);
    LayerCaches kept(patternSettings(b));
    ASSERT_TRUE(kept.suits(patternSettings(a)));
    TileBuffer tile;
    ASSERT_TRUE(tile.allocate(PixelRect{0, 0, 40, 40}));
    renderTile(patternSettings(b), *genB, tile, activeSimdWidth(), kept);
    kept.forget();
    ASSERT_TRUE(tile.allocate(PixelRect{8, 16, 48, 56}));
    renderTile(patternSettings(a), *genA, tile, activeSimdWidth(), kept);
    const auto [performed, skipped] = referenceSorts(*genA, a, tile.rect());
    EXPECT_EQ(genA->sortStatistics.sortsPerformed.load(), performed);
    EXPECT_EQ(genA->sortStatistics.sortsSkipped.load(), skipped);
    int32_t mismatches = 0;
    for (int32_t y = 8; y < 48; ++y)
        for (int32_t x = 16; x < 56; ++x) {
            const FloatRGBA want = referencePixel(*genA, a, x, y);
            if (std::memcmp(&want, tile.at(x, y), sizeof want) != 0) ++mismatches;
        }
    EXPECT_EQ(mismatches, 0);

    SettingsRecord fewerLayers = a;
    fewerLayers.complexity = 50;
    SettingsRecord largeCells = a;
    largeCells.previewZoom = 1;
    EXPECT_FALSE(kept.suits(patternSettings(fewerLayers)));
    EXPECT_FALSE(kept.suits(patternSettings(largeCells)));
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
        for (const PixelRect& r :
             {PixelRect{0, 0, 50, 77}, PixelRect{50, 77, 96, 128}, PixelRect{13, 100, 14, 101}}) {
            TileBuffer part;
            ASSERT_TRUE(part.allocate(r));
            renderTile(s, *gen, part);
            EXPECT_TRUE(samePixels(whole, part, r));
        }
    }
}

TEST(TileRenderer, TablesKeptFromTileToTileChangeNothing) {
    // A worker keeps its layers' tables of cells from one tile to the next:
    // tile after tile, the pixels and the statistics must be those of new
    // tables. Small cells (blocks of rows) and large ones, with every layer.
    for (const int32_t previewZoom : {1, 10}) {
        SettingsRecord s = patternDefaults();
        s.complexity = 100;
        s.zoom = previewZoom == 1 ? 40 : 86;
        s.previewZoom = previewZoom;
        const PatternSettings p = patternSettings(s);
        auto gen = preparedGenerator(s, kArea);
        LayerCaches kept(p);
        const PixelRect tiles[] = {{0, 0, 48, 64},    {0, 64, 48, 128}, {48, 0, 96, 64},
                                   {48, 64, 96, 128}, {0, 0, 96, 128},  {20, 30, 21, 31}};
        for (const PixelRect& r : tiles) {
            TileBuffer fresh;
            TileBuffer reused;
            ASSERT_TRUE(fresh.allocate(r) && reused.allocate(r));
            gen->sortStatistics.reset();
            renderTile(p, *gen, fresh, activeSimdWidth());
            const uint64_t performed = gen->sortStatistics.sortsPerformed;
            const uint64_t skipped = gen->sortStatistics.sortsSkipped;
            gen->sortStatistics.reset();
            renderTile(p, *gen, reused, activeSimdWidth(), kept);
            EXPECT_TRUE(samePixels(fresh, reused, r)) << previewZoom;
            EXPECT_EQ(gen->sortStatistics.sortsPerformed.load(), performed) << previewZoom;
            EXPECT_EQ(gen->sortStatistics.sortsSkipped.load(), skipped) << previewZoom;
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
    const PixelRect quarters[4] = {
        {0, 0, 48, 64}, {0, 64, 48, 128}, {48, 0, 96, 64}, {48, 64, 96, 128}};
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

namespace {

// The conversion branch by branch, every quotient worked out as written.
HslColour branchingRgbToHsl(float r, float g, float b) {
    const float mx = r > g ? (r > b ? r : b) : (g > b ? g : b);
    const float mn = r < g ? (r < b ? r : b) : (g < b ? g : b);
    HslColour out{0.0f, 0.0f, (mx + mn) / 2.0f};
    const float d = mx - mn;
    if (out.l <= 0.0f || d <= 0.0f) return out;
    out.s = out.l <= 0.5f ? d / (mx + mn) : d / (2.0f - mx - mn);
    const float rc = (mx - r) / d, gc = (mx - g) / d, bc = (mx - b) / d;
    float h;
    if (r == mx)
        h = g == mn ? 5.0f + bc : 1.0f - gc;
    else if (g == mx)
        h = b == mn ? 1.0f + rc : 3.0f - bc;
    else
        h = r == mn ? 3.0f + gc : 5.0f - rc;
    out.h = h * 0.16666667f;
    return out;
}

} // namespace

// Ties between channels decide the branch, so eighths are mixed in.
TEST(Hsl, EveryPixelGetsTheBitsOfItsBranch) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> d(0.0f, 1.0f);
    std::uniform_int_distribution<int> eighth(0, 8);
    const auto pick = [&] { return rng() % 3 == 0 ? float(eighth(rng)) / 8.0f : d(rng); };
    for (int32_t i = 0; i < 40000; i += kLaneCount) {
        Lanes r{}, g{}, b{};
        for (int32_t lane = 0; lane < kLaneCount; ++lane) {
            r[lane] = pick();
            g[lane] = pick();
            b[lane] = pick();
        }
        const HslValues<Lanes> lanes = rgbToHsl(r, g, b);
        for (int32_t lane = 0; lane < kLaneCount; ++lane) {
            const HslColour want = branchingRgbToHsl(r[lane], g[lane], b[lane]);
            const HslColour one = rgbToHsl(r[lane], g[lane], b[lane]);
            const HslColour inLane{lanes.h[lane], lanes.s[lane], lanes.l[lane]};
            for (const HslColour& got : {one, inLane}) {
                ASSERT_EQ(std::memcmp(&got, &want, sizeof want), 0)
                    << r[lane] << " " << g[lane] << " " << b[lane];
            }
        }
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
            ASSERT_EQ(std::memcmp(panned.at(x, y), plain.at(x - 3, y + 4), sizeof(FloatRGBA)), 0)
                << x << "," << y;
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
    writeTilePixel(b, 894, 260, FloatRGBA{1, 1, 1, 1});          // outside: nothing
    writeTilePixel(b, 895, 260, FloatRGBA{0.1f, 0.2f, 0.3f, 1}); // border: stored
    EXPECT_EQ(b.at(895, 260)->g, 0.2f);
    EXPECT_FALSE(b.allocate(PixelRect{0, 0, 10, -5}));
    EXPECT_FALSE(b.allocate(PixelRect{0, INT_MIN, 10, INT_MAX}));
}

// The plain per-pixel evaluation of a one-layer tile (complexity 0), from
// the plain pattern of reference_pattern.h: the settings go into the
// formulas exactly as the record holds them.
TileBuffer referenceTile(const SettingsRecord& s, const PixelRect& area, const PixelRect& tile) {
    auto gen = preparedGenerator(s, area);
    TileBuffer b;
    if (!gen || !b.allocate(tile)) {
        return b;
    }
    auto unit = [](float v) { return v >= 0.0f ? (v > 1.0f ? 1.0f : v) : 0.0f; }; // NaN to 0
    const float scale = static_cast<float>(zoomFactor(s.zoom)) * 0.001f;
    const int64_t merge = int64_t{s.merge} - 1;
    const int64_t kind = int64_t{s.stripeKind} - 1;
    const int64_t shape = int64_t{s.shape} - 1;
    for (int32_t y = tile.top; y < tile.bottom; ++y) {
        for (int32_t x = tile.left; x < tile.right; ++x) {
            PatternPoint p{static_cast<float>(x) * scale, static_cast<float>(y) * scale};
            float c[3];
            referenceCellColour(*gen, p, c,
                                merge >= 0 && merge <= 3 ? static_cast<int32_t>(merge) : 3,
                                (kind & 1) != 0, (kind & 2) != 0,
                                shape >= 0 && shape <= 6 ? static_cast<int32_t>(shape) : 6);
            HslColour h = rgbToHsl(unit(c[0]), unit(c[1]), unit(c[2]));
            h.h = shiftHue(unit(h.h), static_cast<float>(s.hue) * 0.01f);
            const RgbColour rgb = hslToRgb(h.h, unit(h.s), unit(h.l));
            writeTilePixel(b, x, y, FloatRGBA{unit(rgb.r), unit(rgb.g), unit(rgb.b), 1.0f});
        }
    }
    return b;
}

TEST(TileRenderer, OutOfRangeValuesReachTheFormulasUnchanged) {
    const PixelRect tile{3, 5, 27, 29};
    struct Change {
        const char* what;
        void (*apply)(SettingsRecord&);
    };
    const Change changes[] = {
        {"in range", [](SettingsRecord&) {}},
        {"stripes 150", [](SettingsRecord& s) { s.stripes = 150; }},
        {"stripes -70", [](SettingsRecord& s) { s.stripes = -70; }},
        {"overlap 150", [](SettingsRecord& s) { s.overlap = 150; }},
        {"overlap -100 (K 0)", [](SettingsRecord& s) { s.overlap = -100; }},
        {"overlap -250 (K < 0)", [](SettingsRecord& s) { s.overlap = -250; }},
        {"warping 150", [](SettingsRecord& s) { s.warping = 150; }},
        {"warping -300", [](SettingsRecord& s) { s.warping = -300; }},
        {"zoom 120", [](SettingsRecord& s) { s.zoom = 120; }},
        {"zoom -30", [](SettingsRecord& s) { s.zoom = -30; }},
        {"softness -1 (L 0)", [](SettingsRecord& s) { s.softness = -1; }},
        {"softness 300", [](SettingsRecord& s) { s.softness = 300; }},
        {"doublure -50 (D 0)", [](SettingsRecord& s) { s.doublure = -50; }},
        {"doublure 250", [](SettingsRecord& s) { s.doublure = 250; }},
        {"color 180", [](SettingsRecord& s) { s.color = 180; }},
        {"hue -230", [](SettingsRecord& s) { s.hue = -230; }},
        {"shape 0", [](SettingsRecord& s) { s.shape = 0; }},
        {"shape 9", [](SettingsRecord& s) { s.shape = 9; }},
        {"merge 0", [](SettingsRecord& s) { s.merge = 0; }},
        {"merge INT_MIN", [](SettingsRecord& s) { s.merge = INT_MIN; }},
        {"stripe kind 7", [](SettingsRecord& s) { s.stripeKind = 7; }},
        {"stripe kind INT_MIN", [](SettingsRecord& s) { s.stripeKind = INT_MIN; }},
    };
    for (const Change& c : changes) {
        SettingsRecord s = patternDefaults();
        s.complexity = 0;
        s.zoom = 40;
        s.hue = 13;
        c.apply(s);
        const TileBuffer want = referenceTile(s, kArea, tile);
        const TileBuffer got = renderedTile(s, kArea, tile);
        ASSERT_TRUE(got.valid());
        EXPECT_TRUE(samePixels(got, want, tile)) << c.what;
    }
}

TEST(TileRenderer, OutOfRangeValuesRenderAsTheirRulesGive) {
    auto hashWith = [](auto change) {
        SettingsRecord s = patternDefaults();
        s.complexity = 60;
        change(s);
        return tileHash(renderedTile(s, kArea, PixelRect{0, 0, 40, 40}));
    };
    // Sliders beyond 100 go on where 100 stops: 150 is not 100.
    for (int32_t SettingsRecord::*field : {&SettingsRecord::stripes, &SettingsRecord::overlap,
                                           &SettingsRecord::warping, &SettingsRecord::zoom}) {
        EXPECT_NE(hashWith([&](SettingsRecord& s) { s.*field = 150; }),
                  hashWith([&](SettingsRecord& s) { s.*field = 100; }));
    }
    // The stripe kind's flags are the low bits of stripeKind - 1.
    const uint64_t kindA = hashWith([](SettingsRecord& s) { s.stripeKind = 1; });
    const uint64_t kindC = hashWith([](SettingsRecord& s) { s.stripeKind = 3; });
    const uint64_t kindD = hashWith([](SettingsRecord& s) { s.stripeKind = 4; });
    EXPECT_EQ(hashWith([](SettingsRecord& s) { s.stripeKind = 5; }), kindA);
    EXPECT_EQ(hashWith([](SettingsRecord& s) { s.stripeKind = 7; }), kindC);
    EXPECT_EQ(hashWith([](SettingsRecord& s) { s.stripeKind = 0; }), kindD);
    EXPECT_EQ(hashWith([](SettingsRecord& s) { s.stripeKind = INT_MIN; }), kindD);
    EXPECT_EQ(hashWith([](SettingsRecord& s) { s.stripeKind = INT_MAX; }),
              kindC); // INT_MAX - 1 is even
    EXPECT_NE(kindC, kindD);
    // A shape or merge rule outside the list takes the list's last entry.
    const uint64_t points = hashWith([](SettingsRecord& s) { s.shape = 7; });
    EXPECT_EQ(hashWith([](SettingsRecord& s) { s.shape = 0; }), points);
    EXPECT_EQ(hashWith([](SettingsRecord& s) { s.shape = 8; }), points);
    EXPECT_EQ(hashWith([](SettingsRecord& s) { s.shape = INT_MIN; }), points);
    EXPECT_NE(hashWith([](SettingsRecord& s) { s.shape = 1; }), points);
    const uint64_t rule4 = hashWith([](SettingsRecord& s) { s.merge = 4; });
    EXPECT_EQ(hashWith([](SettingsRecord& s) { s.merge = 0; }), rule4);
    EXPECT_EQ(hashWith([](SettingsRecord& s) { s.merge = 5; }), rule4);
    EXPECT_EQ(hashWith([](SettingsRecord& s) { s.merge = INT_MIN; }), rule4);
    EXPECT_NE(hashWith([](SettingsRecord& s) { s.merge = 1; }), rule4);
    // Layer weights stop at 0 and 1 by their own formula.
    auto with = [&](int32_t SettingsRecord::*field, int32_t value) {
        return hashWith([&](SettingsRecord& s) { s.*field = value; });
    };
    EXPECT_EQ(with(&SettingsRecord::complexity, -50), with(&SettingsRecord::complexity, 0));
    EXPECT_EQ(with(&SettingsRecord::complexity, 1000), with(&SettingsRecord::complexity, 100));
    // Only the seed's low eleven bits count.
    EXPECT_EQ(with(&SettingsRecord::randomSeed, INT_MIN), with(&SettingsRecord::randomSeed, 0));
    // The preview reduction is a divisor: below 1 it counts as 1.
    EXPECT_EQ(with(&SettingsRecord::previewZoom, 0), with(&SettingsRecord::previewZoom, 1));
    EXPECT_EQ(with(&SettingsRecord::previewZoom, -8), with(&SettingsRecord::previewZoom, 1));
}

TEST(TileRenderer, ZoomFromOneHundredAndTwentyEightOnIsOneFlatColour) {
    for (int32_t zoom : {128, 5000, INT_MAX}) {
        SettingsRecord s = patternDefaults();
        s.zoom = zoom;
        const TileBuffer b = renderedTile(s, kArea, PixelRect{0, 0, 16, 16});
        ASSERT_TRUE(b.valid());
        for (int32_t y = 0; y < 16; ++y) {
            for (int32_t x = 0; x < 16; ++x) {
                ASSERT_EQ(std::memcmp(b.at(x, y), b.at(0, 0), sizeof(FloatRGBA)), 0) << zoom;
            }
        }
    }
    SettingsRecord s = patternDefaults();
    s.zoom = 127;
    const TileBuffer b = renderedTile(s, kArea, PixelRect{0, 0, 16, 16});
    EXPECT_NE(std::memcmp(b.at(0, 0), b.at(15, 15), sizeof(FloatRGBA)), 0);
}

// Every pixel of `b` is an opaque colour with channels in 0..1 (so never
// NaN or infinite).
::testing::AssertionResult validColours(const TileBuffer& b) {
    if (!b.valid()) {
        return ::testing::AssertionFailure() << "no tile";
    }
    const PixelRect r = b.rect();
    for (int32_t y = r.top; y < r.bottom; ++y) {
        for (int32_t x = r.left; x < r.right; ++x) {
            const FloatRGBA& c = *b.at(x, y);
            for (float ch : {c.r, c.g, c.b}) {
                if (!(ch >= 0.0f && ch <= 1.0f)) {
                    return ::testing::AssertionFailure()
                           << "channel " << ch << " at " << x << "," << y;
                }
            }
            if (c.a != 1.0f) {
                return ::testing::AssertionFailure() << "alpha " << c.a << " at " << x << "," << y;
            }
        }
    }
    return ::testing::AssertionSuccess();
}

// The bytes a tile composites into an 8 x 8 preview with glue `glue`.
std::vector<uint8_t> compositedWith(const TileBuffer& b, int32_t glue) {
    std::vector<uint8_t> preview(8 * 8 * 3, 7);
    CompositeTarget t;
    t.renderTarget = kTargetPreview;
    t.glue = glue;
    t.previewData = preview.data();
    t.previewWidth = 8;
    t.previewHeight = 8;
    t.previewPlaneDistance = 64;
    t.previewPlanes = 3;
    compositeTile(t, b);
    return preview;
}

TEST(TileRenderer, ExtremeValuesOfEveryFieldStayDefined) {
    // Nothing here may overflow, divide by zero, convert a float out of an
    // integer's range or index outside a table (the sanitizer build checks);
    // every pixel stays a colour, and the same settings give the same pixels.
    const int32_t extremes[] = {INT_MIN, -1, 101, 1000, 1000000, INT_MAX, -100, -50, 0, 128};
    using Field = int32_t SettingsRecord::*;
    const Field fields[] = {&SettingsRecord::overlap,       &SettingsRecord::stripes,
                            &SettingsRecord::warping,       &SettingsRecord::softness,
                            &SettingsRecord::doublure,      &SettingsRecord::color,
                            &SettingsRecord::zoom,          &SettingsRecord::complexity,
                            &SettingsRecord::hue,           &SettingsRecord::merge,
                            &SettingsRecord::shape,         &SettingsRecord::stripeKind,
                            &SettingsRecord::randomSeed,    &SettingsRecord::glue,
                            &SettingsRecord::previewZoom,   &SettingsRecord::previewOffsetX,
                            &SettingsRecord::previewOffsetY};
    const PixelRect tiles[] = {PixelRect{0, 0, 8, 8},
                               PixelRect{INT_MAX - 8, INT_MIN, INT_MAX, INT_MIN + 8}};
    int32_t renders = 0;
    auto check = [&](const SettingsRecord& s, const char* what, size_t field, int32_t v) {
        for (const PixelRect& tile : tiles) {
            const TileBuffer b = renderedTile(s, kArea, tile);
            ASSERT_TRUE(validColours(b)) << what << " " << field << " " << v;
            ASSERT_EQ(tileHash(b), tileHash(renderedTile(s, kArea, tile)))
                << what << " " << field << " " << v;
            ++renders;
        }
        // A glue mode outside 1..69 composites as "normal".
        const TileBuffer b = renderedTile(s, kArea, tiles[0]);
        const bool glueInRange = s.glue >= 1 && s.glue <= 69;
        if (!glueInRange) {
            ASSERT_EQ(compositedWith(b, s.glue), compositedWith(b, 1))
                << what << " " << field << " " << v;
        }
    };
    // Each field alone.
    for (size_t f = 0; f < std::size(fields); ++f) {
        for (int32_t v : extremes) {
            SettingsRecord s = patternDefaults();
            s.complexity = 100; // all three layers
            s.*fields[f] = v;
            check(s, "field", f, v);
        }
    }
    // All at once, and random mixtures.
    for (int32_t v : extremes) {
        SettingsRecord s = patternDefaults();
        for (Field field : fields) {
            s.*field = v;
        }
        check(s, "all", 0, v);
    }
    std::mt19937 rng(1234);
    for (int32_t round = 0; round < 300; ++round) {
        SettingsRecord s = patternDefaults();
        for (Field field : fields) {
            if (rng() % 2 == 0) {
                s.*field = extremes[rng() % std::size(extremes)];
            }
        }
        check(s, "mixture", 0, round);
    }
    EXPECT_GT(renders, 600);
}

} // namespace
