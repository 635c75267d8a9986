#include "render/generator_setup.h"

#include <cstring>
#include <limits>
#include <new>

namespace qf {

namespace {

// The two decimals of the doublure gain are part of the look: they are not
// 2/3 and 1/3.
constexpr long double kDoublureSpan = 0.66666666666L;
constexpr long double kDoublureBase = 0.33333333333L;

float percent(int32_t v) {
    return static_cast<float>(static_cast<long double>(v) / 100.0L);
}

// Grows the scratch array to hold `bytes`; never shrinks it.
bool growScratch(GeneratorState& gen, int64_t bytes) {
    if (bytes > static_cast<int64_t>(kMaxScratchBytes)) {
        return false;
    }
    if (gen.scratch && static_cast<size_t>(bytes) <= gen.scratchCapacityBytes) {
        return true;
    }
    const size_t count = static_cast<size_t>(bytes) / sizeof(int32_t);
    std::unique_ptr<int32_t[]> grown(new (std::nothrow) int32_t[count]);
    if (!grown) {
        return false;
    }
    gen.scratch = std::move(grown);
    gen.scratchCapacityBytes = count * sizeof(int32_t);
    return true;
}

} // namespace

GeneratorConstants computeGeneratorConstants(const PatternSettings& p) {
    GeneratorConstants c{};
    c.shapeRadius = static_cast<float>(static_cast<long double>(p.overlap) / 100.0L + 1.0L);
    c.stripeScale = percent(p.stripes);
    c.edgeWidth = static_cast<float>((static_cast<long double>(p.softness) + 1.0L) / 101.0L);
    c.doublureGain = static_cast<float>(
        static_cast<long double>(p.doublure) / 100.0L * kDoublureSpan + kDoublureBase);
    // `doublure` -50 makes D exactly 0; its inverse is then infinity, as the
    // division would give, but without dividing by zero.
    c.doublureInverse = c.doublureGain != 0.0f
                            ? static_cast<float>(1.0L / static_cast<long double>(c.doublureGain))
                            : std::numeric_limits<float>::infinity();
    c.warpAmount = percent(p.warping);
    c.colourAmount = percent(p.color);
    return c;
}

void fillChannelTable(NoiseTables& t, float colourAmount) {
    const long double m = colourAmount;
    const long double keep = 1.0L - m;
    for (int32_t i = 0; i < kBaseTableSize; ++i) {
        t.channelTable[i] =
            static_cast<float>(keep + m * static_cast<long double>(t.seededUnits[i]));
    }
}

int32_t prepareGenerator(GeneratorState& gen, const SettingsRecord& s,
                         const PixelRect& renderArea) {
    const PatternSettings p = patternSettings(s);

    // An inverted area counts as empty.
    const int64_t width =
        renderArea.right > renderArea.left ? int64_t{renderArea.right} - renderArea.left : 0;
    const int64_t height =
        renderArea.bottom > renderArea.top ? int64_t{renderArea.bottom} - renderArea.top : 0;

    if (!growScratch(gen, (width + 4) * 16)) {
        return kGeneratorOutOfMemory;
    }
    std::memset(gen.scratch.get(), 0, static_cast<size_t>(width + 2) * sizeof(int32_t));
    gen.rows.currentRow = 0;
    gen.rows.rowLimit = static_cast<int32_t>(height + 1 > INT32_MAX ? INT32_MAX : height + 1);
    gen.rows.rowFlags[0] = 1;
    gen.rows.rowFlags[1] = 0;
    gen.rows.rowFlags[2] = 1;

    buildNoiseTables(gen.tables, p.randomSeed);
    buildChannelPermutation(gen.tables);
    buildWarpTables(gen.tables, p.randomSeed);
    gen.constants = computeGeneratorConstants(p);
    fillChannelTable(gen.tables, gen.constants.colourAmount);
    gen.sortStatistics.reset();
    return kGeneratorReady;
}

} // namespace qf
