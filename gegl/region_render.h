// The pattern over one region of a GEGL buffer, as the operation renders
// it: the generator is set up for the whole filter rectangle, and every
// region is cut into tiles that are rendered and composited on the calling
// thread, so any region, in any order and on any thread, gives the pixels
// of the same region of a whole render. Nothing here knows GEGL: the
// operation hands over rows of samples in the layout it asked GEGL for.
#pragma once

#include <cstdint>
#include <memory>

#include "composite/composite_target.h"
#include "values/pixel_types.h"
#include "values/settings_record.h"

namespace qf {

struct GeneratorState;

// How the samples of a region are laid out: interleaved, `channels()` per
// pixel, colour first and alpha last.
struct RegionLayout {
    DepthClass depth = DepthClass::Float;
    bool gray = false;
    bool alpha = true;

    int32_t colourChannels() const { return gray ? 1 : 3; }
    int32_t channels() const { return colourChannels() + (alpha ? 1 : 0); }
    int32_t pixelBytes() const { return channels() * bytesPerSample(depth); }
};

// 16-bit samples as files and GEGL hold them (0..65535) and as the
// compositor works on them (0..32768), rounded as the CLI converts a 16-bit
// file into a document and back.
uint16_t fileToDocument16(uint16_t v);
uint16_t documentToFile16(uint16_t v);

// The reduction of GEGL mipmap level `level`: 2^level, limited to what the
// pattern's preview path can take.
int32_t levelReduction(int32_t level);

// The filter rectangle at `level`: the bounding box (x, y, width, height at
// full size) divided by the reduction, its top-left corner rounded down.
PixelRect levelArea(int64_t x, int64_t y, int64_t width, int64_t height, int32_t level);

class RegionRenderer {
  public:
    RegionRenderer();
    ~RegionRenderer();
    RegionRenderer(const RegionRenderer&) = delete;
    RegionRenderer& operator=(const RegionRenderer&) = delete;

    // Sets up the generator for `settings` (the fourteen settings; every
    // other field is ignored) over `area` at mipmap `level`. False when
    // the memory could not be had.
    bool prepare(const SettingsRecord& settings, const PixelRect& area, int32_t level);

    // Renders `region` (coordinates of the same level as the area; it may
    // reach beyond the area) over the samples at `in` and writes the result
    // to `out`, both laid out as `layout` with the given row strides in
    // bytes. `in` and `out` must not overlap. False when a tile's memory
    // could not be had; the region is then partly written.
    bool render(const PixelRect& region, const RegionLayout& layout, const void* in,
                int64_t inRowBytes, void* out, int64_t outRowBytes) const;

  private:
    std::unique_ptr<GeneratorState> generator_;
    SettingsRecord settings_{};
    PixelRect area_{};
    bool ready_ = false;
};

} // namespace qf
