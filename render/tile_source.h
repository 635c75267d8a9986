// Loading the host's source pixels of a tile into its buffer.
#pragma once

#include "composite/composite_target.h"
#include "render/tile_buffer.h"

namespace qf {

// Reads the source colour of every pixel of the buffer's tile into the
// buffer, as the compositor reads it (host samples divided by 255, 32768 or
// 1 by the document depth). Call on the main thread right after the host
// delivered the tile; the host buffer holds exactly the tile. Without input
// data the pixels become transparent black.
// For pattern tiles renderTile overwrites every one of these colours; what
// matters there is the host request that precedes the load.
void loadTileSource(const CompositeTarget& target, TileBuffer& buffer);

} // namespace qf
