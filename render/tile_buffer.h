// The generated colours of one tile, with a one-pixel border.
#pragma once

#include <cstdint>
#include <memory>

#include "values/pixel_types.h"

namespace qf {

// (w + 2) x (h + 2) colours, row-major, for a tile of w x h pixels: pixel
// (x, y) of the tile is element (y - top + 1) * (w + 2) + (x - left + 1).
// The tile rectangle is in render-area coordinates.
class TileBuffer {
  public:
    TileBuffer() = default;
    TileBuffer(const TileBuffer&) = delete;
    TileBuffer& operator=(const TileBuffer&) = delete;
    TileBuffer(TileBuffer&&) = default;
    TileBuffer& operator=(TileBuffer&&) = default;

    // Makes the buffer for `tile`, filled with transparent black. False (and
    // an empty buffer) when the memory cannot be had or the rectangle is
    // inverted or absurdly large.
    bool allocate(const PixelRect& tile);

    // Makes the buffer hold `tile`, keeping its memory when that is large
    // enough (a worker slot renders tile after tile into one buffer). The
    // border is transparent black; so is the inside when `clearInside`,
    // otherwise the inside holds whatever was there before, for a caller
    // that writes every pixel of the tile. False (and an empty buffer) as
    // for allocate.
    bool reuseFor(const PixelRect& tile, bool clearInside);

    bool valid() const { return pixels_ != nullptr; }
    const PixelRect& rect() const { return rect_; }
    int32_t bufferWidth() const { return bufferWidth_; }   // tile width + 2
    int32_t bufferHeight() const { return bufferHeight_; } // tile height + 2

    // The element for pixel (x, y), or null when that lies outside the
    // buffer (the border included, so x may run from left - 1 to right).
    FloatRGBA* at(int32_t x, int32_t y);
    const FloatRGBA* at(int32_t x, int32_t y) const;

    FloatRGBA* data() { return pixels_.get(); }
    const FloatRGBA* data() const { return pixels_.get(); }

  private:
    PixelRect rect_{};
    int32_t bufferWidth_ = 0;
    int32_t bufferHeight_ = 0;
    size_t capacity_ = 0; // elements behind pixels_
    std::unique_ptr<FloatRGBA[]> pixels_;
};

// The largest tile a buffer is made for, in pixels per side. Tiles are
// normally 128 x 128.
constexpr int32_t kMaxTileSide = 16384;

// Stores `colour` at (x, y) when that lies inside the buffer; otherwise does
// nothing.
void writeTilePixel(TileBuffer& buffer, int32_t x, int32_t y, const FloatRGBA& colour);

} // namespace qf
