#include "render/tile_buffer.h"

#include <algorithm>
#include <new>

namespace qf {

bool TileBuffer::allocate(const PixelRect& tile) {
    pixels_.reset();
    capacity_ = 0;
    return reuseFor(tile, true);
}

bool TileBuffer::reuseFor(const PixelRect& tile, bool clearInside) {
    rect_ = PixelRect{};
    bufferWidth_ = 0;
    bufferHeight_ = 0;
    const int64_t w = int64_t{tile.right} - tile.left;
    const int64_t h = int64_t{tile.bottom} - tile.top;
    if (w < 0 || h < 0 || w > kMaxTileSide || h > kMaxTileSide) {
        pixels_.reset();
        capacity_ = 0;
        return false;
    }
    const size_t count = static_cast<size_t>((w + 2) * (h + 2));
    if (!pixels_ || capacity_ < count) {
        pixels_.reset();
        capacity_ = 0;
        // Not value-initialised: what must be clear is cleared below.
        pixels_.reset(new (std::nothrow) FloatRGBA[count]);
        if (!pixels_) {
            return false;
        }
        capacity_ = count;
    }
    const size_t rowLength = static_cast<size_t>(w + 2);
    const size_t rows = static_cast<size_t>(h + 2);
    FloatRGBA* p = pixels_.get();
    if (clearInside) {
        std::fill(p, p + count, FloatRGBA{});
    } else {
        // The border: the first and last row, and both ends of every row
        // between.
        std::fill(p, p + rowLength, FloatRGBA{});
        std::fill(p + (rows - 1) * rowLength, p + count, FloatRGBA{});
        for (size_t row = 1; row + 1 < rows; ++row) {
            p[row * rowLength] = FloatRGBA{};
            p[row * rowLength + rowLength - 1] = FloatRGBA{};
        }
    }
    rect_ = tile;
    bufferWidth_ = static_cast<int32_t>(w + 2);
    bufferHeight_ = static_cast<int32_t>(h + 2);
    return true;
}

FloatRGBA* TileBuffer::at(int32_t x, int32_t y) {
    if (!pixels_) {
        return nullptr;
    }
    const int64_t col = int64_t{x} - rect_.left + 1;
    const int64_t row = int64_t{y} - rect_.top + 1;
    if (col < 0 || col >= bufferWidth_ || row < 0 || row >= bufferHeight_) {
        return nullptr;
    }
    return pixels_.get() + row * bufferWidth_ + col;
}

const FloatRGBA* TileBuffer::at(int32_t x, int32_t y) const {
    return const_cast<TileBuffer*>(this)->at(x, y);
}

void writeTilePixel(TileBuffer& buffer, int32_t x, int32_t y, const FloatRGBA& colour) {
    if (FloatRGBA* p = buffer.at(x, y)) {
        *p = colour;
    }
}

} // namespace qf
