#include "render/noise_tables.h"

#include <utility>

namespace qf {

namespace {

// The 256-entry permutation of the published reference gradient noise.
constexpr int32_t kReferencePermutation[256] = {
    151, 160, 137, 91,  90,  15,  131, 13,  201, 95,  96,  53,  194, 233, 7,   225, 140, 36,  103,
    30,  69,  142, 8,   99,  37,  240, 21,  10,  23,  190, 6,   148, 247, 120, 234, 75,  0,   26,
    197, 62,  94,  252, 219, 203, 117, 35,  11,  32,  57,  177, 33,  88,  237, 149, 56,  87,  174,
    20,  125, 136, 171, 168, 68,  175, 74,  165, 71,  134, 139, 48,  27,  166, 77,  146, 158, 231,
    83,  111, 229, 122, 60,  211, 133, 230, 220, 105, 92,  41,  55,  46,  245, 40,  244, 102, 143,
    54,  65,  25,  63,  161, 1,   216, 80,  73,  209, 76,  132, 187, 208, 89,  18,  169, 200, 196,
    135, 130, 116, 188, 159, 86,  164, 100, 109, 198, 173, 186, 3,   64,  52,  217, 226, 250, 124,
    123, 5,   202, 38,  147, 118, 126, 255, 82,  85,  212, 207, 206, 59,  227, 47,  16,  58,  17,
    182, 189, 28,  42,  223, 183, 170, 213, 119, 248, 152, 2,   44,  154, 163, 70,  221, 153, 101,
    155, 167, 43,  172, 9,   129, 22,  39,  253, 19,  98,  108, 110, 79,  113, 224, 232, 178, 185,
    112, 104, 218, 246, 97,  228, 251, 34,  242, 193, 238, 210, 144, 12,  191, 179, 162, 241, 81,
    51,  145, 235, 249, 14,  239, 107, 49,  192, 214, 31,  181, 199, 106, 157, 184, 84,  204, 176,
    115, 121, 50,  45,  127, 4,   150, 254, 138, 236, 205, 93,  222, 114, 67,  29,  24,  72,  243,
    141, 128, 195, 78,  66,  215, 61,  156, 180,
};

// Gradients of the warp noise, indexed by a 4-bit corner hash. Entries 13
// and 14 are (-1, 1) and (0, 1), which is what gives the warp its look.
constexpr float kWarpGradients[kWarpGradientCount][2] = {
    {1, 1}, {-1, 1}, {1, -1}, {-1, -1}, {1, 0}, {-1, 0}, {1, 0}, {-1, 0},
    {0, 1}, {0, -1}, {0, 1},  {0, -1},  {1, 1}, {-1, 1}, {0, 1}, {0, -1},
};

// 1/255 as the decimal the pattern was designed with, in double precision.
constexpr double kByteToUnit = 0.003921568627451;

} // namespace

void buildNoiseTables(NoiseTables& t, int32_t seed) {
    for (int32_t i = 0; i < kBaseTableSize; ++i) {
        t.seededBytes[i] = baseTable[i] & 255;
    }
    // Seed arithmetic is unsigned so that any 32-bit seed wraps instead of
    // overflowing; the low bits are those of the two's-complement sum.
    const uint32_t useed = static_cast<uint32_t>(seed);
    for (int32_t i = 0; i < kBaseTableSize; ++i) {
        const int32_t j = baseTable[(useed + static_cast<uint32_t>(i)) & kBaseTableMask];
        std::swap(t.seededBytes[i], t.seededBytes[j]);
        // The swap only matters for what it carries into position j; the
        // slot itself gets its own value back.
        t.seededBytes[i] = baseTable[i] & 255;
        t.rankTable[i] = baseTable[i];
    }
    for (int32_t i = 0; i < kBaseTableSize; ++i) {
        t.seededUnits[i] = static_cast<float>(static_cast<double>(t.seededBytes[i]) * kByteToUnit);
    }
}

void buildChannelPermutation(NoiseTables& t) {
    int32_t* p = t.channelPermutation;
    for (int32_t i = 0; i < 256; ++i) {
        p[i] = i;
    }
    uint32_t cursor = 3111;
    for (int32_t k = 255; k >= 1; --k) {
        const int32_t j = t.seededBytes[cursor & kBaseTableMask];
        cursor += 2;
        std::swap(p[k], p[j]);
    }
    for (int32_t i = 0; i < 258; ++i) {
        p[256 + i] = p[i];
    }
}

void buildWarpTables(NoiseTables& t, int32_t seed) {
    const uint32_t useed = static_cast<uint32_t>(seed);
    for (int32_t i = 0; i < 256; ++i) {
        t.warpPermutation[i] = kReferencePermutation[(static_cast<uint32_t>(i) + useed) & 255];
        t.warpPermutation[256 + i] = t.warpPermutation[i];
    }
    for (int32_t h = 0; h < kWarpGradientCount; ++h) {
        t.warpGradients[h][0] = kWarpGradients[h][0];
        t.warpGradients[h][1] = kWarpGradients[h][1];
    }
    for (int32_t n = 0; n < kWarpPermutationSize; ++n) {
        const int32_t h = t.warpPermutation[t.warpPermutation[n]] & 15;
        t.warpCornerGradients[n][0] = t.warpGradients[h][0];
        t.warpCornerGradients[n][1] = t.warpGradients[h][1];
    }
}

} // namespace qf
