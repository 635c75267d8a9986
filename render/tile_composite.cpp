#include "render/tile_composite.h"

#include "composite/composite_pixel.h"

namespace qf {

void compositeTile(const CompositeTarget& target, const TileBuffer& buffer) {
    if (!buffer.valid()) {
        return;
    }
    const PixelRect tile = buffer.rect();
    for (int32_t y = tile.top; y < tile.bottom; ++y) {
        for (int32_t x = tile.left; x < tile.right; ++x) {
            const FloatRGBA* stored = buffer.at(x, y);
            if (!stored) {
                continue;
            }
            FloatRGBA generated = *stored;
            compositePixel(target, x, y, &generated, tile, 1);
        }
    }
}

} // namespace qf
