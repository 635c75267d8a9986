#include "render/noise_field.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <new>

#include "render/shape_paint.h"
#include "render/sort_by_rank.h"
#include "render/warp_noise.h"

namespace qf {

CellOrderCache::CellOrderCache(bool keepRecentCells)
    : recent_(keepRecentCells ? new (std::nothrow) PreparedCell[kRecentCells] : nullptr) {
    reset();
}

void CellOrderCache::reset() {
    forgetCells();
    sortsPerformed = 0;
    sortsSkipped = 0;
}

void CellOrderCache::forgetCells() {
    for (int32_t& e : entries) {
        e = 0;
    }
    entries[25] = kCellOrderNoCell;
    active_ = nullptr;
    shapeKind_ = -1;
    single_.valid = false;
    if (recent_) {
        for (int32_t i = 0; i < kRecentCells; ++i) {
            recent_[size_t(i)].valid = false;
        }
    }
}

PreparedCell* CellOrderCache::slotFor(int32_t column, int32_t row) {
    if (!recent_) {
        return &single_;
    }
    // Two rows of 32 cells: a tile row of small cells and the row of cells
    // below it (which the warp mixes in) stay side by side.
    const uint32_t slot =
        (static_cast<uint32_t>(column) & 31u) | ((static_cast<uint32_t>(row) & 1u) << 5);
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
// home 0: (-1, 1)).
double nearestInCell(int32_t home, float p) {
    const double lo = home > 0 ? home : home - 1.0;
    const double hi = home < 0 ? home : home + 1.0;
    const double pd = p;
    if (pd < lo) {
        return lo - pd;
    }
    if (pd > hi) {
        return pd - hi;
    }
    return 0.0;
}

// Red, green and blue (and an unused lane) of one shape or one point.
using ChannelVector = float __attribute__((vector_size(16)));

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
    for (int32_t k = 0; k < kCandidateCount; ++k) {
        order[k] = k;
    }
    sortByRank(ranks, order, 0, kCandidateCount - 1);

    const bool prune =
        ex > -kPruneLimit && ex < kPruneLimit && ey > -kPruneLimit && ey < kPruneLimit;
    const double reach = rejectionDistance(shapeKind, gen.constants.shapeRadius);
    int32_t count = 0;
    for (int32_t n = 0; n < kCandidateCount; ++n) {
        const int32_t k = order[n];
        if (prune && (nearestInCell(ex, px[k]) >= reach || nearestInCell(ey, py[k]) >= reach)) {
            continue;
        }
        cell.px[count] = px[k];
        cell.py[count] = py[k];
        cell.channel[count][0] = channel[k][0];
        cell.channel[count][1] = channel[k][1];
        cell.channel[count][2] = channel[k][2];
        cell.channel[count][3] = 0.0f;
        ++count;
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

struct PaintParameters {
    float k;       // shape radius K
    float kk;      // K * K
    float solid;   // 1 - L: radius up to which coverage is full
    float invEdge; // 1 / L
    float stripeScale;
    float doublureInverse;
    int32_t mergeRule;
    bool triangleProfile;
    bool doubleSmooth;
};

template <int32_t Kind>
void paintShapes(const PreparedCell& cell, const PaintParameters& pp, float x, float y,
                 float colour[3]) {
    // First the metric of every candidate (a loop the compiler runs four
    // wide), then the paint of those that cover the point, in order.
    const int32_t count = cell.shapeCount;
    const int32_t padded = (count + 3) & ~3;
    float q[PreparedCell::kPaddedCount];
    for (int32_t n = 0; n < padded; ++n) {
        q[n] = shapeMetricSquared<Kind>(x - cell.px[n], y - cell.py[n]);
    }
    // The three channels are painted side by side in one vector; each lane
    // does exactly the operations of one channel.
    ChannelVector col = {colour[0], colour[1], colour[2], 0.0f};
    for (int32_t n = 0; n < count; ++n) {
        if (!(q[n] < pp.kk)) {
            continue;
        }
        const float r = std::sqrt(q[n]) / pp.k;
        const float a = shapeCoverage(r, pp.solid, pp.invEdge);
        const float f = stripeProfile(r * pp.stripeScale, pp.triangleProfile, pp.doubleSmooth);
        ChannelVector gain;
        std::memcpy(&gain, cell.channel[n], sizeof gain);
        // Channel gain, then fold: above 1 back down, below 0 mirrored up.
        const ChannelVector v = foldChannel(gain * f * pp.doublureInverse);
        const ChannelVector u = mergeChannel(pp.mergeRule, col, v);
        col = u * a + col * (1.0f - a);
    }
    colour[0] = col[0];
    colour[1] = col[1];
    colour[2] = col[2];
}

} // namespace

int32_t cellColour(const GeneratorState& gen, PatternPoint& point, float colour[3],
                   int32_t mergeRule, int32_t triangleProfile, int32_t doubleSmooth,
                   int32_t shapeKind, CellOrderCache& cache) {
    const NoiseTables& t = gen.tables;
    const GeneratorConstants& g = gen.constants;
    // A shape number outside the list draws as the list's last shape,
    // points, as the metric's "any other" case does; normalised here so that
    // the candidate bounds and the cache agree with the metric.
    if (shapeKind < kCircles || shapeKind > kPoints) {
        shapeKind = kPoints;
    }

    // Warp: both samples start from the same noise coordinates, the second
    // shifted by 70 along x.
    float x = point.x;
    float y = point.y;
    const float nx = t.seededUnits[100] * 50.0f + x;
    const float ny = t.seededUnits[101] * 50.0f + y;
    x += warpNoise(t, nx, ny) * g.warpAmount;
    y += warpNoise(t, nx + 70.0f, ny) * g.warpAmount;
    point.x = x;
    point.y = y;

    // Home cell by truncation toward zero: cells -1 and 0 share home 0.
    const int32_t ex = truncToIndex(x);
    const int32_t ey = truncToIndex(y);
    if (cache.active_ && cache.entries[25] == ex && cache.entries[26] == ey &&
        cache.shapeKind_ == shapeKind) {
        ++cache.sortsSkipped;
    } else {
        if (cache.shapeKind_ != shapeKind) {
            // Which candidates can reach a cell depends on the shape.
            cache.forgetCells();
            cache.shapeKind_ = shapeKind;
        }
        PreparedCell* cell = cache.slotFor(ex, ey);
        if (!(cell->valid && cell->column == ex && cell->row == ey)) {
            prepareCell(gen, ex, ey, shapeKind, *cell);
        }
        cache.active_ = cell;
        for (int32_t k = 0; k < kCandidateCount; ++k) {
            cache.entries[k] = cell->order[k];
        }
        cache.entries[25] = ex;
        cache.entries[26] = ey;
        ++cache.sortsPerformed;
    }
    const PreparedCell& cell = *cache.active_;

    PaintParameters pp;
    pp.k = g.shapeRadius;
    pp.kk = g.shapeRadius * g.shapeRadius;
    pp.solid = 1.0f - g.edgeWidth;
    // `softness` -1 makes L exactly 0: 1 / L is then infinity, as the
    // division would give, without dividing by zero.
    pp.invEdge = g.edgeWidth != 0.0f ? 1.0f / g.edgeWidth : std::numeric_limits<float>::infinity();
    pp.stripeScale = g.stripeScale;
    pp.doublureInverse = g.doublureInverse;
    pp.mergeRule = mergeRule; // any rule but 0..2 merges as rule 3 (mergeChannel)
    pp.triangleProfile = triangleProfile != 0;
    pp.doubleSmooth = doubleSmooth != 0;

    colour[0] = 0.0f;
    colour[1] = 0.0f;
    colour[2] = 0.0f;
    switch (shapeKind) {
    case kCircles:
        paintShapes<kCircles>(cell, pp, x, y, colour);
        break;
    case kDiamonds:
        paintShapes<kDiamonds>(cell, pp, x, y, colour);
        break;
    case kSquares:
        paintShapes<kSquares>(cell, pp, x, y, colour);
        break;
    case kOctagons:
        paintShapes<kOctagons>(cell, pp, x, y, colour);
        break;
    case kTVs:
        paintShapes<kTVs>(cell, pp, x, y, colour);
        break;
    case kFleurons:
        paintShapes<kFleurons>(cell, pp, x, y, colour);
        break;
    default:
        paintShapes<kPoints>(cell, pp, x, y, colour);
        break;
    }
    return 1;
}

} // namespace qf
