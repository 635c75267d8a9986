// The weights of the filtered picture sampler: a five-tap kernel (a
// lanczos2 window supersampled over one pixel) at 128 sub-pixel phases.
// Tap 0 weighs the pixel two to the right of (or below) the centre pixel,
// tap 4 the pixel two to the left of (or above) it. The tables are constant
// data made by tools/make_lanczos_tables.py, so every build samples with the
// same numbers.
#pragma once

#include <cstdint>

namespace qf {

constexpr int32_t kLanczosPhases = 128;
constexpr int32_t kLanczosTaps = 5;

struct LanczosTables {
    // Float weights; the five of a phase add up to 1.
    float weights[kLanczosPhases][kLanczosTaps];
    // Integer weights of the 8-bit kinds; every phase sums to 2048.
    int32_t weights2048[kLanczosPhases][kLanczosTaps];
    // Integer weights of the 16-bit kinds; every phase sums to 32768.
    int32_t weights32768[kLanczosPhases][kLanczosTaps];
};

extern const LanczosTables kLanczosTables;

} // namespace qf
