// The seeded tables the pattern reads. They are rebuilt from `randomSeed`
// before every render and stay read-only while tiles are being rendered, so
// any number of worker threads may read them at once.
#pragma once

#include <cstdint>

#include "render/base_table.h"

namespace qf {

constexpr int32_t kChannelPermutationSize = 514;
constexpr int32_t kWarpPermutationSize = 512;
constexpr int32_t kWarpGradientCount = 16;

struct NoiseTables {
    int32_t seededBytes[kBaseTableSize]; // 0..255
    int32_t rankTable[kBaseTableSize];   // stacking rank of a cell
    float seededUnits[kBaseTableSize];   // seededBytes / 255
    float channelTable[kBaseTableSize];  // filled by the generator setup
    int32_t channelPermutation[kChannelPermutationSize];
    int32_t warpPermutation[kWarpPermutationSize];
    float warpGradients[kWarpGradientCount][2]; // gx, gy
    // The gradient of lattice corner (x, y) for n = warpPermutation[x] + y:
    // warpGradients[warpPermutation[warpPermutation[n]] & 15], so that a
    // corner takes two dependent look-ups instead of four.
    float warpCornerGradients[kWarpPermutationSize][2];
};

// Fills `seededBytes`, `rankTable` and `seededUnits` from the base table and
// the seed. Any 32-bit seed is valid; only its low eleven bits matter.
void buildNoiseTables(NoiseTables& t, int32_t seed);

// Fills `channelPermutation` from `seededBytes`; run after buildNoiseTables.
void buildChannelPermutation(NoiseTables& t);

// Fills `warpPermutation` (the reference gradient-noise permutation rotated
// by the seed), `warpGradients` and `warpCornerGradients`.
void buildWarpTables(NoiseTables& t, int32_t seed);

} // namespace qf
