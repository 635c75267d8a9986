#include "render/noise_field.h"

#include <cmath>
#include <cstring>
#include <emmintrin.h>
#include <limits>
#include <new>

#include "render/pattern_kernel.h"
#include "render/shape_paint.h"
#include "render/sort_by_rank.h"

namespace qf {

CellOrderCache::CellOrderCache(bool keepRecentCells, bool smallCells)
    : rowMask_(smallCells ? 3u : 1u),
      recent_(keepRecentCells ? new (std::nothrow) PreparedCell[32u * (rowMask_ + 1u)] : nullptr) {
    reset();
}

void CellOrderCache::reset() {
    forgetCells();
    startTile();
}

void CellOrderCache::startTile() {
    for (int32_t& e : entries) {
        e = 0;
    }
    entries[25] = kCellOrderNoCell;
    counted_ = false;
    sortsPerformed = 0;
    sortsSkipped = 0;
}

void CellOrderCache::forgetCells() {
    for (int32_t& e : entries) {
        e = 0;
    }
    entries[25] = kCellOrderNoCell;
    active_ = nullptr;
    counted_ = false;
    shapeKind_ = -1;
    single_.valid = false;
    if (recent_) {
        for (uint32_t i = 0; i < 32u * (rowMask_ + 1u); ++i) {
            recent_[i].valid = false;
        }
    }
}

PreparedCell* CellOrderCache::slotFor(int32_t column, int32_t row) {
    if (!recent_) {
        return &single_;
    }
    const uint32_t slot =
        (static_cast<uint32_t>(column) & 31u) | ((static_cast<uint32_t>(row) & rowMask_) << 5);
    return &recent_[slot];
}

namespace {

// A distance b such that a shape whose feature point is at least b away
// along x or along y cannot cover the point (q >= K * K however the float
// arithmetic rounds). For the first four metrics m >= |dx| holds operation
// by operation, so b = |K| is exact; the other three use their algebraic
// lower bound with a margin far above the rounding error. A shape covers
// where q < K * K, so only |K| matters (an `overlap` below -100 makes K
// negative).
double rejectionDistance(int32_t kind, float k) {
    const double kd = std::fabs(static_cast<double>(k));
    switch (kind) {
    case kTVs: // m >= (dx^2 + |dx|) / 2
        return (-1.0 + std::sqrt(1.0 + 8.0 * kd * (1.0 + 1e-4))) / 2.0;
    case kFleurons: // m >= dx^2 - 1
        return std::sqrt(kd + 1.0 + 1e-3);
    case kPoints: // m >= 0.75 |dx|
        return kd * 4.0 / 3.0 * (1.0 + 1e-4);
    default:
        return kd;
    }
}

// The smallest |x - p| over the points x whose truncated coordinate is
// `home` (home > 0: [home, home + 1); home < 0: (home - 1, home];
// home 0: (-1, 1)), worked out in T: in double for the bound of the
// candidates' reach, in single precision as the paint subtracts for the
// metric test (every point of the span lies at least this far from p after
// rounding too, so for every metric that grows with the offset, all but the
// fleurons', a shape whose metric at these offsets is not below K * K
// covers no point of the cell: the test shapesNear makes for a group of
// points, made once for the whole cell).
template <class T> T nearestInCell(int32_t home, float p) {
    const T lo = home > 0 ? T(home) : T(home) - T(1);
    const T hi = home < 0 ? T(home) : T(home) + T(1);
    const T pt = p;
    // Below the cell, above it, or inside it (both differences at most 0);
    // written without branches, which would go either way at random.
    const T below = lo - pt;
    const T above = pt - hi;
    const T outside = below > above ? below : above;
    return outside > T(0) ? outside : T(0);
}

// The bits set in v, counted by pairs, nibbles and bytes: builds without a
// population-count instruction would make the builtin a library call.
int32_t bitCount(uint32_t v) {
    v = v - ((v >> 1) & 0x55555555u);
    v = (v & 0x33333333u) + ((v >> 2) & 0x33333333u);
    return int32_t((((v + (v >> 4)) & 0x0F0F0F0Fu) * 0x01010101u) >> 24);
}

// Which of the candidates at (px, py) cannot cover any point of home cell
// (ex, ey): their metric at the cell's nearest edge (nearestInCell) is not
// below kk. Never so for the fleurons.
template <int32_t Kind>
void markUnreachable(int32_t ex, int32_t ey, const float* px, const float* py, float kk,
                     bool* unreachable) {
    for (int32_t k = 0; k < kCandidateCount; ++k) {
        const float q = shapeMetricSquared<Kind>(nearestInCell<float>(ex, px[k]),
                                                 nearestInCell<float>(ey, py[k]));
        unreachable[k] = Kind != kFleurons && !(q < kk);
    }
}

void markUnreachable(int32_t kind, int32_t ex, int32_t ey, const float* px, const float* py,
                     float kk, bool* unreachable) {
    forShapeKind(kind, [&](auto shape) {
        markUnreachable<decltype(shape)::value>(ex, ey, px, py, kk, unreachable);
    });
}

// Padding of the feature point arrays: no shape there can cover anything.
constexpr float kFarAway = 1e30f;

// Beyond this the coordinates are too coarse for the cell bounds to be
// trusted; such cells simply keep all 25 candidates.
constexpr int32_t kPruneLimit = int32_t{1} << 22;

void prepareCell(const GeneratorState& gen, int32_t ex, int32_t ey, int32_t shapeKind,
                 PreparedCell& cell) {
    const NoiseTables& t = gen.tables;
    float px[kCandidateCount];
    float py[kCandidateCount];
    float channel[kCandidateCount][3];
    int32_t ranks[kCandidateCount];

    // Index arithmetic is unsigned so it wraps instead of overflowing; the
    // masked low bits equal those of the signed sums.
    for (int32_t i = 0; i < 5; ++i) {
        for (int32_t j = 0; j < 5; ++j) {
            const int32_t k = 5 * i + j;
            const int32_t cx = ex - 2 + i;
            const int32_t cy = ey - 2 + j;
            const uint32_t ux = static_cast<uint32_t>(cx);
            const uint32_t uy = static_cast<uint32_t>(cy);
            const uint32_t jx = (31u * ux + 11u * uy + 742u) & kBaseTableMask;
            const uint32_t jy = (31u * uy + 11u * ux + 424u) & kBaseTableMask;
            px[k] = static_cast<float>(cx) + static_cast<float>(t.seededBytes[jx]) / 256.0f;
            py[k] = static_cast<float>(cy) + static_cast<float>(t.seededBytes[jy]) / 256.0f;
            ranks[k] = t.rankTable[(uy + 149u * ux) & kBaseTableMask];
            const int32_t* perm = t.channelPermutation;
            const uint32_t base = static_cast<uint32_t>(perm[ux & 255]) + uy;
            channel[k][0] = t.channelTable[perm[base & 255]];
            channel[k][1] = t.channelTable[perm[(base + 77u) & 255]];
            channel[k][2] = t.channelTable[perm[(base + 154u) & 255]];
        }
    }

    int32_t order[kCandidateCount];
    orderByRank(ranks, order, kCandidateCount);

    const bool prune =
        ex > -kPruneLimit && ex < kPruneLimit && ey > -kPruneLimit && ey < kPruneLimit;
    const double reach = rejectionDistance(shapeKind, gen.constants.shapeRadius);
    bool unreachable[kCandidateCount];
    markUnreachable(shapeKind, ex, ey, px, py,
                    gen.constants.shapeRadius * gen.constants.shapeRadius, unreachable);
    int32_t count = 0;
    // Every candidate is written at the next place and counted only when it
    // is kept (the places from shapeCount on are padded or never read).
    for (int32_t n = 0; n < kCandidateCount; ++n) {
        const int32_t k = order[n];
        const bool far =
            (int{nearestInCell<double>(ex, px[k]) >= reach} |
             int{nearestInCell<double>(ey, py[k]) >= reach} | int{unreachable[k]}) != 0;
        cell.px[count] = px[k];
        cell.py[count] = py[k];
        cell.channel[count][0] = channel[k][0];
        cell.channel[count][1] = channel[k][1];
        cell.channel[count][2] = channel[k][2];
        cell.channel[count][3] = 0.0f;
        count += prune && far ? 0 : 1;
    }
    cell.shapeCount = count;
    for (int32_t n = count; n < PreparedCell::kPaddedCount; ++n) {
        cell.px[n] = kFarAway;
        cell.py[n] = kFarAway;
    }
    for (int32_t k = 0; k < kCandidateCount; ++k) {
        cell.order[k] = static_cast<int8_t>(order[k]);
    }
    cell.column = ex;
    cell.row = ey;
    cell.valid = true;
}

} // namespace

bool CellOrderCache::lastCellIs(int32_t column, int32_t row, int32_t shapeKind) const {
    return counted_ && entries[25] == column && entries[26] == row && shapeKind_ == shapeKind;
}

void CellOrderCache::sortFor(const GeneratorState& gen, int32_t column, int32_t row,
                             int32_t shapeKind) {
    const PreparedCell& cell = cellFor(gen, column, row, shapeKind);
    // The 25 orders (0..24) widened to entries 0..15 and 9..24 from two
    // overlapping loads.
    static_assert(kCandidateCount == 25, "two loads of 16 cover the orders");
    const __m128i zero = _mm_setzero_si128();
    for (int32_t first : {0, 9}) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cell.order + first));
        const __m128i low = _mm_unpacklo_epi8(bytes, zero);
        const __m128i high = _mm_unpackhi_epi8(bytes, zero);
        __m128i* out = reinterpret_cast<__m128i*>(entries + first);
        _mm_storeu_si128(out, _mm_unpacklo_epi16(low, zero));
        _mm_storeu_si128(out + 1, _mm_unpackhi_epi16(low, zero));
        _mm_storeu_si128(out + 2, _mm_unpacklo_epi16(high, zero));
        _mm_storeu_si128(out + 3, _mm_unpackhi_epi16(high, zero));
    }
    entries[25] = column;
    entries[26] = row;
    counted_ = true;
}

void CellOrderCache::countChanges(const GeneratorState& gen, const int32_t* columns,
                                  const int32_t* rows, int32_t count, uint32_t changes,
                                  int32_t shapeKind) {
    if (count <= 0) {
        return;
    }
    // The first point sorts unless it is in the cache's last cell, every
    // later one exactly where its cell is another than the point's before
    // it. Only the last sort's order is left in the entries, so only that
    // one is made.
    uint32_t later = changes & ~1u;
    if (count < 32) {
        later &= (uint32_t{1} << count) - 1u;
    }
    const int32_t sorts = (lastCellIs(columns[0], rows[0], shapeKind) ? 0 : 1) + bitCount(later);
    sortsPerformed += uint64_t(sorts);
    sortsSkipped += uint64_t(count - sorts);
    if (sorts == 0) {
        return;
    }
    const int32_t last = later != 0 ? 31 - __builtin_clz(later) : 0;
    sortFor(gen, columns[last], rows[last], shapeKind);
}

const PreparedCell& CellOrderCache::cellFor(const GeneratorState& gen, int32_t column, int32_t row,
                                            int32_t shapeKind) {
    if (shapeKind_ != shapeKind) {
        // Which candidates can reach a cell depends on the shape.
        forgetCells();
        shapeKind_ = shapeKind;
    }
    if (active_ && active_->column == column && active_->row == row) {
        return *active_;
    }
    PreparedCell* cell = slotFor(column, row);
    if (!(cell->valid && cell->column == column && cell->row == row)) {
        prepareCell(gen, column, row, shapeKind, *cell);
    }
    active_ = cell;
    return *cell;
}

PaintConstants paintConstants(const GeneratorState& gen, int32_t mergeRule, int32_t triangleProfile,
                              int32_t doubleSmooth, int32_t shapeKind) {
    const GeneratorConstants& g = gen.constants;
    PaintConstants pc;
    pc.k = g.shapeRadius;
    pc.kk = g.shapeRadius * g.shapeRadius;
    pc.solid = 1.0f - g.edgeWidth;
    // `softness` -1 makes L exactly 0: 1 / L is then infinity, as the
    // division would give, without dividing by zero.
    pc.invEdge = g.edgeWidth != 0.0f ? 1.0f / g.edgeWidth : std::numeric_limits<float>::infinity();
    pc.stripeScale = g.stripeScale;
    pc.doublureInverse = g.doublureInverse;
    pc.warpAmount = g.warpAmount;
    pc.warpShiftX = gen.tables.seededUnits[100] * 50.0f;
    pc.warpShiftY = gen.tables.seededUnits[101] * 50.0f;
    // A shape number outside the list draws as the list's last shape,
    // points, as the metric's "any other" case does; normalised here so that
    // the candidate bounds and the cache agree with the metric.
    pc.shapeKind = shapeKind < kCircles || shapeKind > kPoints ? kPoints : shapeKind;
    pc.mergeRule = mergeRule >= 0 && mergeRule <= 2 ? mergeRule : 3;
    pc.profile = (triangleProfile != 0 ? 1 : 0) | (doubleSmooth != 0 ? 2 : 0);
    pc.nearShapesOnly = false;
    return pc;
}

int32_t cellColour(const GeneratorState& gen, PatternPoint& point, float colour[3],
                   int32_t mergeRule, int32_t triangleProfile, int32_t doubleSmooth,
                   int32_t shapeKind, CellOrderCache& cache) {
    const PaintConstants pc =
        paintConstants(gen, mergeRule, triangleProfile, doubleSmooth, shapeKind);
    Lanes x = broadcast(point.x);
    Lanes y = broadcast(point.y);
    Lanes lanes[3];
    kernel::cellColours(gen, pc, kernel::paintFor(pc), x, y, lanes, 1, cache);
    point.x = x[0];
    point.y = y[0];
    for (int32_t c = 0; c < 3; ++c) {
        colour[c] = lanes[c][0];
    }
    return 1;
}

} // namespace qf
