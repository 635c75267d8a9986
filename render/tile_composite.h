// Handing a finished tile to the compositor.
#pragma once

#include "composite/composite_target.h"
#include "render/tile_buffer.h"

namespace qf {

// Composites every generated colour of the buffer's tile with one
// compositeBlock call over the tile rectangle. Main thread only, after the
// tile's worker has finished. The buffer itself is left unchanged (the
// compositor conditions a copy of each colour).
void compositeTile(const CompositeTarget& target, const TileBuffer& buffer);

} // namespace qf
