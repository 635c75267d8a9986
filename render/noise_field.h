// The pattern: for one point of the plane (in cell units) the colour of the
// overlapping, rank-ordered shapes around it.
#pragma once

#include <cstdint>
#include <memory>

#include "render/generator_setup.h"

namespace qf {

// A point of the pattern plane in cell units.
struct PatternPoint {
    float x;
    float y;
};

constexpr int32_t kCandidateCount = 25; // the 5 x 5 cells around the home cell
constexpr int32_t kCellOrderNoCell = -99999;

// Everything about one home cell that does not depend on the point: the
// candidates that can reach the cell, in paint order, with their feature
// points and channel values. Feature points are kept as separate arrays
// padded to a multiple of eight with far-away points, so the metric runs
// over them a group of lanes at a time.
struct PreparedCell {
    static constexpr int32_t kPaddedCount = 32;
    int32_t column;
    int32_t row;
    bool valid;
    int32_t shapeCount;
    int8_t order[kCandidateCount]; // paint order of all 25 candidates
    float px[kPaddedCount];
    float py[kPaddedCount];
    float channel[kCandidateCount][4]; // red, green, blue, unused
};

// Everything the pattern needs besides the point, worked out once per tile
// from the generator constants and the list settings. The same for every
// lane width: each width's paint (pattern_kernel.h) is chosen from
// shapeKind, mergeRule and profile, with no test of a setting per pixel.
struct PaintConstants {
    float k;       // shape radius K
    float kk;      // K * K
    float solid;   // 1 - L: radius up to which coverage is full
    float invEdge; // 1 / L
    float stripeScale;
    float doublureInverse;
    float warpAmount;
    float warpShiftX;  // seededUnits[100] * 50
    float warpShiftY;  // seededUnits[101] * 50
    int32_t shapeKind; // 0..6; other shape numbers draw as points
    int32_t mergeRule; // 0..3; any other rule merges as 3
    int32_t profile;   // bit 0: triangle profile, bit 1: double smoothing
    // Whether a group of points first drops the shapes that cannot reach
    // the box around it (worth it where cells are small); the colours are
    // the same either way.
    bool nearShapesOnly;
};

// mergeRule, the flags and shapeKind as cellColour takes them.
PaintConstants paintConstants(const GeneratorState& gen, int32_t mergeRule, int32_t triangleProfile,
                              int32_t doubleSmooth, int32_t shapeKind);

// The per-layer cache of one caller (one per pattern layer per tile job).
//
// `entries` is the paint order of the 25 candidates of the home cell in
// entries 25 (column) and 26 (row). Behind it the cache keeps a table of
// recently used home cells, so that a cell met again on a later row (cells
// only a few pixels wide) is not prepared again. If the table cannot be
// allocated the cache keeps just the current cell; the colours are the same
// either way.
//
// The cache counts, as statistics, how often a point fell in a different
// home cell than the point before it (a sort of the paint order in a cache
// of one cell) and how often in the same; the caller adds the counts to the
// render's statistics.
class CellOrderCache {
  public:
    // keepRecentCells false keeps only the current cell (what the cache
    // falls back to when its table cannot be allocated). The table keeps
    // two rows of 32 cells, or four with smallCells: where cells are only a
    // few pixels wide the points of a block of rows, warped, fall into the
    // rows of cells above and below it as well.
    explicit CellOrderCache(bool keepRecentCells = true, bool smallCells = false);
    CellOrderCache(const CellOrderCache&) = delete;
    CellOrderCache& operator=(const CellOrderCache&) = delete;

    // Forgets every cell so the next point sorts again (entry 25 is set to
    // -99999); the counts start again from 0.
    void reset();
    // As reset, but keeps the cells prepared so far (for the same
    // generator state): the next point sorts again and counts as it would
    // in a new cache.
    void startTile();

    int32_t entries[27];
    uint64_t sortsPerformed = 0;
    uint64_t sortsSkipped = 0;

    // Counts at most 32 points in turn, each a sort when its home cell is
    // another than the point's before it (and the cell's paint order then
    // the cache's entries), else a skipped sort. The caller knows which lie
    // in another home cell than the point before them: bit n of
    // `changes` for point n (bit 0 is not read; the first point is compared
    // with the cache's own last cell).
    void countChanges(const GeneratorState& gen, const int32_t* columns, const int32_t* rows,
                      int32_t count, uint32_t changes, int32_t shapeKind);
    // The prepared cell (column, row) for `shapeKind`; valid until the next
    // call.
    const PreparedCell& cellFor(const GeneratorState& gen, int32_t column, int32_t row,
                                int32_t shapeKind);

  private:
    // Whether the entries hold the order of cell (column, row) for
    // `shapeKind`, and making them so.
    bool lastCellIs(int32_t column, int32_t row, int32_t shapeKind) const;
    void sortFor(const GeneratorState& gen, int32_t column, int32_t row, int32_t shapeKind);
    void forgetCells();
    PreparedCell* slotFor(int32_t column, int32_t row);

    uint32_t rowMask_;                     // the table's rows less one (1 or 3)
    const PreparedCell* active_ = nullptr; // the cell cellFor gave last
    bool counted_ = false;                 // a point was counted since the cells were forgotten
    int32_t shapeKind_ = -1;               // the shape the cells were prepared for
    PreparedCell single_;
    std::unique_ptr<PreparedCell[]> recent_;
};

// The colour of the pattern at `point`. The point is first displaced by the
// warp noise, and the displaced point is written back. `colour` receives red,
// green and blue, unclamped (within 0..1 for settings in their ranges;
// settings far outside them can drive the colour to any float, infinities
// and NaN included). mergeRule is `merge` - 1 (0..3; any other value merges
// as 3), the flags come from `stripeKind` (triangleProfile =
// (stripeKind - 1) & 1, doubleSmooth = (stripeKind - 1) & 2, non-zero meaning
// yes), shapeKind is `shape` - 1 (0..6; any other value draws points, as 6).
// Always returns 1.
//
// Reads only the frozen generator state, so any number of threads may call
// it at once, each with its own cache. A cache belongs to one prepared
// generator state: reset it when the state is prepared again.
int32_t cellColour(const GeneratorState& gen, PatternPoint& point, float colour[3],
                   int32_t mergeRule, int32_t triangleProfile, int32_t doubleSmooth,
                   int32_t shapeKind, CellOrderCache& cache);

} // namespace qf
