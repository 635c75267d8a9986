// Private to the glue modes: reading the 16 x 16 x 16 colour tables of
// parietal, temporal, occipital and limbic, in a header so that the loops
// that run the modes can inline it (glue_modes.h offers it to everyone else).
#pragma once

#include <algorithm>
#include <cstdint>
#include <utility>

#include "composite/glue_modes.h"

namespace qf::glue_detail {
// Internal linkage, as in the one file that runs the modes, which leaves
// the compiler free to inline them into its loops as it sees fit.
namespace {

using glue::TableAxis;

TableAxis tableAxis(int32_t v) {
    constexpr float kCell = 2184.5334f; // 32768 / 15
    const int32_t clamped = std::clamp<int32_t>(v, 0, 32768);
    int32_t node = int32_t(float(clamped) / kCell);
    if (node > 15) {
        node = 15;
    }
    const int32_t fraction = int32_t(float(clamped) - kCell * float(node));
    return {node, fraction};
}

void tableLookup(const uint8_t* table, const int32_t in[3], int32_t out[3]) {
    constexpr int32_t kStride[3] = {3, 3 * 16, 3 * 256};
    constexpr float kCell = 2184.5334f;
    TableAxis axis[3];
    int32_t step[3];
    int32_t base = 0;
    for (int c = 0; c < 3; ++c) {
        axis[c] = tableAxis(in[c]);
        base += axis[c].node * kStride[c];
        // A step past the last node only happens with a zero fraction, whose
        // weight is zero; staying put keeps the read inside the table.
        step[c] = axis[c].node < 15 ? kStride[c] : 0;
    }
    // Order the axes by fraction, largest first. Ties do not matter: the
    // node whose choice they would change gets weight zero.
    int a0 = 0, a1 = 1, a2 = 2;
    if (axis[a0].fraction < axis[a1].fraction) std::swap(a0, a1);
    if (axis[a1].fraction < axis[a2].fraction) std::swap(a1, a2);
    if (axis[a0].fraction < axis[a1].fraction) std::swap(a0, a1);
    const int32_t f0 = axis[a0].fraction;
    const int32_t f1 = axis[a1].fraction;
    const int32_t f2 = axis[a2].fraction;
    const int32_t w0 = int32_t(kCell - float(f0));
    const int32_t w1 = f0 - f1;
    const int32_t w2 = f1 - f2;
    const int32_t w3 = f2;
    const uint8_t* n0 = table + base;
    const uint8_t* n1 = n0 + step[a0];
    const uint8_t* n2 = n1 + step[a1];
    const uint8_t* n3 = n2 + step[a2];
    for (int c = 0; c < 3; ++c) {
        out[c] = (w0 * n0[c] + w1 * n1[c] + w2 * n2[c] + w3 * n3[c]) / 17;
    }
}

} // namespace
} // namespace qf::glue_detail
