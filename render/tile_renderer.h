// The tile renderer: the generated colour of every pixel of one tile.
#pragma once

#include <cstdint>

#include "render/generator_setup.h"
#include "render/noise_field.h"
#include "render/pattern_settings.h"
#include "render/tile_buffer.h"
#include "render/tile_kernel.h"
#include "values/settings_record.h"

namespace qf {

// Cells per document pixel, in thousandths: 200 at `zoom` 0,
// 25 at 50, 5 at 86, 3 at 100. Any `zoom` follows the same formula: above
// 100 the cells grow further (0 from 128 on: one flat cell), below 0 they
// shrink, and the factor saturates at INT32_MAX.
int32_t zoomFactor(int32_t zoom);

// Weights of the second and third pattern layer for `complexity`.
struct LayerWeights {
    float second;
    float third;
};
LayerWeights layerWeights(int32_t complexity);

// The hue step of every pixel: h + shift, less its whole turns (truncation
// toward zero, so a negative result stays negative), clamped to 0..1. A
// negative result therefore ends at 0, which is red.
float shiftHue(float h, float hueShift);

// Fills every pixel of the buffer's tile (its rectangle, in render-area
// coordinates) with the pattern: up to three layers mixed by `complexity`,
// the hue rotated by `hue`, alpha exactly 1. `gen` must have been prepared
// for these settings. Reads only `s` and `gen` and writes only `buffer`, so
// tiles may be rendered on several threads at once. Settings outside their
// ranges reach the formulas unchanged (see pattern_settings.h).
void renderTile(const SettingsRecord& s, const GeneratorState& gen, TileBuffer& buffer);

// The same with settings already taken from the record by patternSettings
// (the render driver freezes them once per render).
void renderTile(const PatternSettings& p, const GeneratorState& gen, TileBuffer& buffer);

// The same with a lane width of the caller's choice (tests and benchmarks
// compare them); a width the processor lacks renders with the widest it
// has below it.
void renderTile(const PatternSettings& p, const GeneratorState& gen, TileBuffer& buffer,
                SimdWidth width);

// The tables of recent cells of the three pattern layers, kept by one
// thread from one of its tiles to the next: a cell met again at a tile's
// border is not prepared again. Made for one render's settings and used
// with its prepared generator state only; each tile starts its counts
// afresh, so the colours and statistics are those of new tables.
class LayerCaches {
  public:
    explicit LayerCaches(const PatternSettings& p);
    // Whether tables made for p's render serve this one too (they have the
    // same shape: cells as small, the same layers drawn); forget() then
    // makes them as new.
    bool suits(const PatternSettings& p) const;
    void forget();
    CellOrderCache layer[3];

  private:
    bool smallCells_;
    bool drawn_[3];
};

// renderTile with the caller's tables.
void renderTile(const PatternSettings& p, const GeneratorState& gen, TileBuffer& buffer,
                SimdWidth width, LayerCaches& caches);

} // namespace qf
