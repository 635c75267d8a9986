#include "render/tile_source.h"

#include "composite/composite_pixel.h"

namespace qf {

void loadTileSource(const CompositeTarget& target, TileBuffer& buffer) {
    if (!buffer.valid()) {
        return;
    }
    // The compositor's reader knows the host's sample layout; the host
    // buffer holds exactly this tile (row mode 1).
    const PixelRect tile = buffer.rect();
    for (int32_t y = tile.top; y < tile.bottom; ++y) {
        for (int32_t x = tile.left; x < tile.right; ++x) {
            writeTilePixel(buffer, x, y, readSourcePixel(target, x, y, tile, 1));
        }
    }
}

} // namespace qf
