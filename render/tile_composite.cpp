#include "render/tile_composite.h"

#include "composite/composite_pixel.h"

namespace qf {

void compositeTile(const CompositeTarget& target, const TileBuffer& buffer) {
    if (!buffer.valid()) {
        return;
    }
    const PixelRect tile = buffer.rect();
    compositeBlock(target, buffer.at(tile.left, tile.top), buffer.bufferWidth(), tile);
}

} // namespace qf
