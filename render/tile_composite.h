// Handing a finished tile to the compositor.
#pragma once

#include "composite/composite_target.h"
#include "render/tile_buffer.h"

namespace qf {

// Passes every generated colour of the buffer's tile, row by row from the
// top, to compositePixel with the tile rectangle and row mode 1. Main thread
// only, after the tile's worker has finished. The buffer itself is left
// unchanged (the compositor conditions a copy of each colour).
void compositeTile(const CompositeTarget& target, const TileBuffer& buffer);

} // namespace qf
