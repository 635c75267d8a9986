#include "ui/random_change.h"
#include "values/random_source.h"
#include "values/settings_record.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace qf {}
using namespace qf;

namespace {

// The first raw numbers after seedRandom(37), worked out by hand from
// state := state * 214013 + 2531011 (mod 2^32), raw = (state >> 16) & 0x7FFF:
// 37 * 214013 + 2531011 = 10449492 = 0x009F7254, raw 0x9F = 159, and so on.
const int32_t kSeed37[] = {159,   12194, 26852, 8043,  30046, 26014, 25222,
                           22280, 31555, 32510, 381,   29730, 1081,  22671,
                           22447, 2070,  18170, 19890, 5197,  356,   17366};

// A scripted raw source: the test lists the raw numbers, and checks that
// exactly those were drawn.
std::vector<int32_t> g_script;
size_t g_next = 0;
bool g_overrun = false;

int32_t scripted() {
    if (g_next < g_script.size()) return g_script[g_next++];
    g_overrun = true;
    return 0;
}

void script(std::vector<int32_t> raws) {
    g_script = std::move(raws);
    g_next = 0;
    g_overrun = false;
}

bool scriptUsedUp() {
    return g_next == g_script.size() && !g_overrun;
}

// The outcome of every draw of one change, in the order the change draws
// them. A value below 0 (or 0 for the 1-based ones) means "not drawn".
struct Draws {
    int32_t overlap = 50, warping = 50, softness = 50, doublure = 50;
    int32_t zoom = 40, zoomGate = 0, zoomOther = -1;
    int32_t hue = 50, color = 50;
    int32_t mergeGate = 100, merge = 0;
    int32_t stripes = 50;
    int32_t shapeGate = 100, shape = 0;
    int32_t complexityGate = 0, complexity = -1;
    int32_t kindGate = 100, kindRaw = -1;
};

// Raw numbers that make R(a, b) give a + offset at the first try (offset
// within the mask).
int32_t first(int32_t offset) {
    return offset << 4;
}

std::vector<int32_t> raws(const Draws& d) {
    std::vector<int32_t> r;
    for (int32_t v : {d.overlap, d.warping, d.softness, d.doublure}) r.push_back(first(v));
    r.push_back(first(d.zoom - 8));
    r.push_back(first(d.zoomGate));
    if (d.zoomOther >= 0) r.push_back(first(d.zoomOther));
    r.push_back(first(d.hue));
    r.push_back(first(d.color));
    r.push_back(first(d.mergeGate));
    if (d.merge > 0) r.push_back(first(d.merge - 1));
    r.push_back(first(d.stripes));
    r.push_back(first(d.shapeGate));
    if (d.shape > 0) r.push_back(first(d.shape - 1));
    r.push_back(first(d.complexityGate));
    if (d.complexity >= 0) r.push_back(first(d.complexity));
    r.push_back(first(d.kindGate));
    if (d.kindRaw >= 0) r.push_back(d.kindRaw);
    return r;
}

SettingsRecord defaults() {
    SettingsRecord s;
    std::memset(&s, 0, sizeof s);
    resetSettings(s);
    s.randomSeed = 1234;
    s.legacyPercent[0] = 0.5f;
    return s;
}

} // namespace

TEST(RandomInRange, FollowsTheSourceByHand) {
    seedRandom(37);
    for (int32_t expected : kSeed37) ASSERT_EQ(nextRandom(), expected);

    seedRandom(37);
    EXPECT_EQ(randomInRange(0, 100), 9); // 159 >> 4 = 9
    // 12194 >> 4 = 762, & 127 = 122: past 100, drawn again;
    // 26852 >> 4 = 1678, & 127 = 14.
    EXPECT_EQ(randomInRange(100, 0), 14);
    EXPECT_EQ(nextRandom(), 8043);

    // A range of one value still has the mask 1: 30046 >> 4 = 1877 is odd
    // (6, drawn again), 26014 >> 4 = 1625 odd again, 25222 >> 4 = 1576 even.
    EXPECT_EQ(randomInRange(5, 5), 5);
    EXPECT_EQ(nextRandom(), 22280);
}

TEST(RandomInRange, MaskIsTheSmallestCoveringTheSpan) {
    // span, the raw offset given, the result (-1: drawn again)
    struct Case {
        int32_t a, b, offset, result;
    } const cases[] = {
        {0, 1, 1, 1},      {0, 1, 2, 0},       // mask 1: bit 1 is dropped
        {0, 2, 3, -1},     {0, 3, 3, 3},       // mask 3
        {0, 3, 4, 0},      {0, 4, 4, 4},       // 4 is outside mask 3, inside 7
        {0, 4, 5, -1},     {10, 17, 7, 17},    // mask 7
        {0, 100, 127, -1}, {0, 100, 100, 100}, // mask 127
        {0, 100, 128, 0},  {-3, 3, 6, 3},      {3, -3, 7, -1},
    };
    for (const Case& c : cases) {
        // The offset, then an offset of 0 that any range accepts.
        script({first(c.offset), 0});
        const int32_t r = randomInRange(c.a, c.b, scripted);
        const int32_t low = c.a < c.b ? c.a : c.b;
        EXPECT_EQ(r, c.result < 0 ? low : c.result) << c.a << ".." << c.b << " offset " << c.offset;
        EXPECT_EQ(g_next, c.result < 0 ? 2u : 1u) << c.a << ".." << c.b << " offset " << c.offset;
    }
    // Spans beyond the raw number's 11 bits: never past the end, no
    // overflow at the ends of the integers.
    script({0x7FFF});
    EXPECT_EQ(randomInRange(0, 5000, scripted), 2047);
    script({0x7FFF});
    EXPECT_EQ(randomInRange(INT32_MIN, INT32_MAX, scripted), INT32_MIN + 2047);
    script({0x7FFF});
    EXPECT_EQ(randomInRange(INT32_MAX, INT32_MAX - 3, scripted), INT32_MAX);
    EXPECT_TRUE(scriptUsedUp());
}

TEST(RandomChange, OneDice3ChangeWorkedOutByHand) {
    SettingsRecord s = defaults();
    copyName(s.settingsName, "mine");
    const SettingsRecord before = s;
    seedRandom(37);
    randomChange(s, kDice3Strength);
    // Draws (raw >> 4, masked) and blends v + 0.333 (target - v), truncated:
    //  overlap   159 -> 9:                          73 - 21.312 = 51.688
    //  warping   12194 -> 122 (again), 26852 -> 14: 41 -  8.991 = 32.009
    //  softness  8043 -> 118 (again), 30046 -> 85:  23 + 20.646 = 43.646
    //  doublure  26014 -> 89:                       40 + 16.317 = 56.317
    //  zoom      25222 -> 8 + (1576 & 127 = 40) = 48; 22280 -> 112 (again),
    //            31555 -> 52, not above 90:         86 - 12.654 = 73.346
    //  hue       32510 -> 111 (again), 381 -> 23:   47 -  7.992 = 39.008
    //  color     29730 -> 66:                       98 - 10.656 = 87.344
    //  merge     1081 -> 67 > 11.0889: kept at 3
    //  stripes   22671 -> 8:                        27 -  6.327 = 20.673
    //  shape     22447 -> 122 (again), 2070 -> 1 <= 11.0889: R(1, 7):
    //            18170 -> 1 + (1135 & 7 = 7) = 8 (again), 19890 -> 1 + 3 = 4
    //  complexity 5197 -> 68, not above 95: target 0, stays 0
    //  stripe kind 356 -> 22 > 11.0889: kept at 2
    EXPECT_EQ(s.overlap, 51);
    EXPECT_EQ(s.warping, 32);
    EXPECT_EQ(s.softness, 43);
    EXPECT_EQ(s.doublure, 56);
    EXPECT_EQ(s.zoom, 73);
    EXPECT_EQ(s.hue, 39);
    EXPECT_EQ(s.color, 87);
    EXPECT_EQ(s.merge, 3);
    EXPECT_EQ(s.stripes, 20);
    EXPECT_EQ(s.shape, 4);
    EXPECT_EQ(s.complexity, 0);
    EXPECT_EQ(s.stripeKind, 2);
    EXPECT_EQ(nextRandom(), 17366); // twenty draws taken, no more
    // Nothing else moved: glue, the seed, the name, the rest of the record.
    SettingsRecord rest = s;
    rest.overlap = before.overlap;
    rest.warping = before.warping;
    rest.softness = before.softness;
    rest.doublure = before.doublure;
    rest.zoom = before.zoom;
    rest.hue = before.hue;
    rest.color = before.color;
    rest.stripes = before.stripes;
    rest.shape = before.shape;
    EXPECT_EQ(std::memcmp(&rest, &before, sizeof rest), 0);
}

TEST(RandomChange, ChoicesChangeOnlyWhenTheDrawIsWithinTheSquaredStrength) {
    // (strength, draw, changes): s = t * t * 100 is 1.0000000000000002 for
    // Dice3_, 11.0889 for Dice3 and 100 for Randomize.
    struct Case {
        double strength;
        int32_t draw;
        bool changes;
    } const cases[] = {
        {kDice3SmallStrength, 0, true},  {kDice3SmallStrength, 1, true},
        {kDice3SmallStrength, 2, false}, {kDice3SmallStrength, 100, false},
        {kDice3Strength, 11, true},      {kDice3Strength, 12, false},
        {kRandomizeStrength, 100, true},
    };
    for (const Case& c : cases) {
        SettingsRecord s = defaults();
        s.merge = s.shape = s.stripeKind = 0; // no draw gives 0
        Draws d;
        d.mergeGate = d.shapeGate = d.kindGate = c.draw;
        if (c.changes) {
            d.merge = 4;
            d.shape = 7;
            d.kindRaw = 32767; // 32767 % 4 + 1 = 4
        }
        script(raws(d));
        randomChange(s, c.strength, scripted);
        EXPECT_TRUE(scriptUsedUp()) << c.strength << " draw " << c.draw;
        EXPECT_EQ(s.merge, c.changes ? 4 : 0) << c.strength << " draw " << c.draw;
        EXPECT_EQ(s.shape, c.changes ? 7 : 0) << c.strength << " draw " << c.draw;
        EXPECT_EQ(s.stripeKind, c.changes ? 4 : 0) << c.strength << " draw " << c.draw;
    }
    // The stripe kind takes the raw number itself modulo 4.
    for (int32_t raw : {0, 1, 2, 3, 32764}) {
        SettingsRecord s = defaults();
        Draws d;
        d.merge = 1;
        d.shape = 1;
        d.kindRaw = raw;
        script(raws(d));
        randomChange(s, kRandomizeStrength, scripted);
        EXPECT_TRUE(scriptUsedUp());
        EXPECT_EQ(s.stripeKind, raw % 4 + 1) << raw;
    }
}

TEST(RandomChange, SecondDrawsOfZoomAndComplexityAndTheBlend) {
    struct Case {
        int32_t zoomGate, zoomOther, complexityGate, complexity;
        int32_t zoom, complexityResult;
    } const cases[] = {
        {90, -1, 95, -1, 40, 0}, // at the limits: no second draw
        {91, 3, 96, 50, 3, 50},  // just past them
        {100, 100, 100, 0, 100, 0},
    };
    for (const Case& c : cases) {
        SettingsRecord s = defaults();
        s.complexity = 30;
        Draws d;
        d.merge = 2;
        d.shape = 3;
        d.kindRaw = 0;
        d.zoomGate = c.zoomGate;
        d.zoomOther = c.zoomOther;
        d.complexityGate = c.complexityGate;
        d.complexity = c.complexity;
        script(raws(d));
        randomChange(s, kRandomizeStrength, scripted);
        EXPECT_TRUE(scriptUsedUp()) << c.zoomGate << " " << c.complexityGate;
        EXPECT_EQ(s.zoom, c.zoom);
        EXPECT_EQ(s.complexity, c.complexityResult);
    }

    // Blends truncate toward zero, also below it (a file may hold anything).
    SettingsRecord s = defaults();
    s.overlap = -50;   // toward 0 by 0.333: -33.35
    s.warping = 0;     // toward 100: 33.3
    s.softness = 1000; // toward 0: 667.0
    Draws d;
    d.overlap = 0;
    d.warping = 100;
    d.softness = 0;
    d.mergeGate = d.shapeGate = d.kindGate = 100;
    script(raws(d));
    randomChange(s, kDice3Strength, scripted);
    EXPECT_TRUE(scriptUsedUp());
    EXPECT_EQ(s.overlap, -33);
    EXPECT_EQ(s.warping, 33);
    EXPECT_EQ(s.softness, 667); // not limited to 0..100 first
    // Dice3_ from the defaults toward 0: 73 - 7.3 = 65.7.
    s = defaults();
    d = Draws();
    d.overlap = 0;
    d.mergeGate = d.shapeGate = d.kindGate = 100;
    script(raws(d));
    randomChange(s, kDice3SmallStrength, scripted);
    EXPECT_TRUE(scriptUsedUp());
    EXPECT_EQ(s.overlap, 65);
}

TEST(RandomResult, AcceptanceRulesAtTheirBoundaries) {
    // stripe kind, merge, stripes, doublure, acceptable
    const int32_t cases[][5] = {
        // a: merge 1 or 4 with stripes below 60 and doublure from 40
        {1, 1, 59, 40, 0},
        {1, 4, 59, 40, 0},
        {1, 1, 60, 40, 1},
        {1, 1, 59, 39, 1},
        {1, 1, 19, 45, 0},
        {1, 2, 0, 100, 1},
        {1, 3, 0, 100, 1},
        // b: merge 1, stripes below 25, doublure from 50
        {2, 1, 24, 50, 0},
        {2, 1, 25, 50, 1},
        {2, 1, 24, 49, 1},
        {2, 4, 0, 100, 1},
        // c: merge 1 (stripes < 50, doublure >= 50), 3 (stripes < 33),
        // 4 (stripes < doublure / 5 + 40)
        {3, 1, 49, 50, 0},
        {3, 1, 50, 50, 1},
        {3, 1, 49, 49, 1},
        {3, 3, 32, 0, 0},
        {3, 3, 33, 0, 1},
        {3, 4, 59, 100, 0},
        {3, 4, 60, 100, 1},
        {3, 4, 39, 4, 0},
        {3, 4, 40, 4, 1},
        {3, 4, 40, 5, 0},
        {3, 4, 41, 9, 1},
        {3, 2, 0, 100, 1},
        // d: merge 1 or 4, stripes below 17
        {4, 1, 16, 0, 0},
        {4, 4, 16, 0, 0},
        {4, 1, 17, 0, 1},
        {4, 2, 0, 0, 1},
        {4, 3, 0, 0, 1},
        // kinds outside 1..4 (from a file) are never refused
        {0, 1, 0, 100, 1},
        {5, 1, 0, 100, 1},
    };
    for (const auto& c : cases) {
        SettingsRecord s = defaults();
        s.stripeKind = c[0];
        s.merge = c[1];
        s.stripes = c[2];
        s.doublure = c[3];
        EXPECT_EQ(randomResultAcceptable(s), c[4] != 0)
            << "kind " << c[0] << " merge " << c[1] << " stripes " << c[2] << " doublure " << c[3];
    }
}

TEST(Randomize, KeepsTheTwentiethOfTwentyDullResults) {
    // Every attempt gives stripe kind c, merge 3 and stripes 10: refused.
    // The overlap tells the attempts apart.
    std::vector<int32_t> all;
    for (int attempt = 1; attempt <= 21; ++attempt) {
        Draws d;
        d.overlap = attempt;
        d.merge = 3;
        d.stripes = 10;
        d.shape = 2;
        d.kindRaw = 2; // 2 % 4 + 1 = 3
        const std::vector<int32_t> one = raws(d);
        all.insert(all.end(), one.begin(), one.end());
    }
    const size_t perAttempt = all.size() / 21;
    script(all);
    SettingsRecord s = defaults();
    copyName(s.settingsName, "mine");
    EXPECT_EQ(randomize(s, scripted), 20);
    EXPECT_EQ(g_next, 20 * perAttempt);
    EXPECT_EQ(s.overlap, 20);
    EXPECT_EQ(s.stripeKind, 3);
    EXPECT_EQ(s.merge, 3);
    EXPECT_EQ(s.stripes, 10);
    EXPECT_FALSE(randomResultAcceptable(s));
    EXPECT_STREQ(s.settingsName, "mine");
    EXPECT_EQ(s.glue, 1);
    EXPECT_EQ(s.randomSeed, 1234);

    // The first acceptable result ends it: attempt 5 has stripes 33.
    std::vector<int32_t> some(all.begin(), all.begin() + std::ptrdiff_t(5 * perAttempt));
    some[4 * perAttempt + 10] = first(33); // attempt 5's stripes
    script(some);
    s = defaults();
    EXPECT_EQ(randomize(s, scripted), 5);
    EXPECT_TRUE(scriptUsedUp());
    EXPECT_EQ(s.overlap, 5);
    EXPECT_EQ(s.stripes, 33);
}

TEST(Randomize, FromTheProcessSourceByHand) {
    // Seed 25, worked out by hand as above: the first change gives kind d,
    // merge 4, stripes 15 (refused, stripes below 17), the second kind d,
    // merge 4, stripes 3 (refused), the third kind b, merge 4: kept. 61 raw
    // numbers in all.
    SettingsRecord s = defaults();
    seedRandom(25);
    EXPECT_EQ(randomize(s), 3);
    EXPECT_EQ(s.overlap, 78);
    EXPECT_EQ(s.warping, 37);
    EXPECT_EQ(s.softness, 7);
    EXPECT_EQ(s.doublure, 79);
    EXPECT_EQ(s.zoom, 92);
    EXPECT_EQ(s.hue, 69);
    EXPECT_EQ(s.color, 9);
    EXPECT_EQ(s.merge, 4);
    EXPECT_EQ(s.stripes, 76);
    EXPECT_EQ(s.shape, 2);
    EXPECT_EQ(s.complexity, 0);
    EXPECT_EQ(s.stripeKind, 2);
    EXPECT_EQ(nextRandom(), 31516); // the 62nd
}

TEST(RandomSeedDraw, TakesTheLowElevenBits) {
    script({0x7FFF, 0x0800, 0x07FF, 0});
    EXPECT_EQ(randomSeedDraw(scripted), 2047);
    EXPECT_EQ(randomSeedDraw(scripted), 0);
    EXPECT_EQ(randomSeedDraw(scripted), 2047);
    EXPECT_EQ(randomSeedDraw(scripted), 0);
    seedRandom(37);
    EXPECT_EQ(randomSeedDraw(), 159);
    EXPECT_EQ(randomSeedDraw(), 12194 - 5 * 2048);
}
