// Generator setup: turns the settings into the constants and seeded tables
// the pattern reads. Runs once per render on the thread that starts it,
// before any worker starts; afterwards the state is read-only until the
// render ends, and workers share it through const references.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "render/noise_tables.h"
#include "render/pattern_settings.h"
#include "values/pixel_types.h"
#include "values/result_codes.h"
#include "values/settings_record.h"

namespace qf {

// Every member is a single float computed from one slider. The ranges in the
// comments are those of sliders at 0..100; other values give whatever the
// formula gives (a K of 0 or below, an L of 0, a D of 0 with an infinite
// inverse).
struct GeneratorConstants {
    float shapeRadius;     // K: overlap / 100 + 1, 1..2 cells
    float stripeScale;     // stripes / 100
    float edgeWidth;       // L: (softness + 1) / 101, 1/101..1
    float doublureGain;    // D: doublure / 100 * 0.66666666666 + 0.33333333333
    float doublureInverse; // 1 / D, from D as a float; infinity when D is 0
    float warpAmount;      // warping / 100
    float colourAmount;    // m: color / 100
};

// Row bookkeeping of the render, reset by every setup.
struct RowBookkeeping {
    int32_t currentRow = 0;
    int32_t rowLimit = 0;
    int32_t rowFlags[3] = {0, 0, 0};
};

// How often the paint order of a home cell was sorted and how often a sort
// was saved because consecutive points shared the home cell. Statistics
// only; nothing reads them to make a picture. Workers count into their own
// caches and add the totals here once per tile with relaxed atomic adds, so
// concurrent tiles never race and the hot loop never touches shared memory.
struct SortStatistics {
    std::atomic<uint64_t> sortsPerformed{0};
    std::atomic<uint64_t> sortsSkipped{0};

    void reset() {
        sortsPerformed.store(0, std::memory_order_relaxed);
        sortsSkipped.store(0, std::memory_order_relaxed);
    }
    void add(uint64_t performed, uint64_t skipped) {
        sortsPerformed.fetch_add(performed, std::memory_order_relaxed);
        sortsSkipped.fetch_add(skipped, std::memory_order_relaxed);
    }
};

struct GeneratorState {
    GeneratorConstants constants{};
    NoiseTables tables{};

    // Scratch integers sized for the render width. Nothing in the pattern
    // reads them; they are kept sized and cleared as part of every setup.
    std::unique_ptr<int32_t[]> scratch;
    size_t scratchCapacityBytes = 0;

    RowBookkeeping rows;

    // The one member workers write, through a const reference.
    mutable SortStatistics sortStatistics;
};

// Results of prepareGenerator.
constexpr int32_t kGeneratorReady = 0;
// The scratch array could not be grown; this is also the host result code
// the render must report (out of memory, never a cancel), and no tiles may
// be rendered.
constexpr int32_t kGeneratorOutOfMemory = kResultOutOfMemory;

// Scratch requests above this many bytes are refused as out of memory
// rather than attempted (a render that wide cannot be held anyway).
constexpr size_t kMaxScratchBytes = size_t{1} << 30;

// Prepares `gen` for a render of `renderArea` with the settings `s`.
int32_t prepareGenerator(GeneratorState& gen, const SettingsRecord& s, const PixelRect& renderArea);

// The constants alone (step 5 of the setup), for any slider values.
GeneratorConstants computeGeneratorConstants(const PatternSettings& p);

// channelTable[i] = (1 - m) + m * seededUnits[i], in extended precision.
void fillChannelTable(NoiseTables& t, float colourAmount);

} // namespace qf
