// The tiles of a picture and the process-wide budget they are taken from.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "composite/picture/pyramid_layout.h"

namespace qf {

// One tile's storage: 512 pixels per row, as many rows as the level has
// inside the tile (at most 512).
struct PyramidTile {
    uint8_t* pixels = nullptr;
    int32_t rows = 0;
    size_t bytes = 0;
};

// Process-wide limit on the bytes all pictures together may hold, so that a
// picture the machine cannot hold is refused instead of being promised by
// the system and failing when touched. The default suits the build (about
// 1.5 GiB on 32-bit builds, 32 GiB on 64-bit ones).
void setPyramidStorageLimit(uint64_t bytes);
uint64_t pyramidStorageLimit();
// Bytes currently held by all pictures.
uint64_t pyramidStorageInUse();

// The bytes a picture of this layout holds: its pixels and its tile records.
uint64_t pyramidStorageBytes(const PyramidLayout& layout);
// Whether a picture of this layout fits the whole budget, whatever the
// other pictures hold; a picture that does not is refused before anything
// is allocated.
bool pyramidStorageFits(const PyramidLayout& layout);

// The tiles of one picture, all pixels 0 when made. Every allocation
// reserves its bytes from the budget as it goes and gives them back when
// freed.
class PyramidStorage {
  public:
    PyramidStorage() = default;
    ~PyramidStorage() { release(); }
    PyramidStorage(const PyramidStorage&) = delete;
    PyramidStorage& operator=(const PyramidStorage&) = delete;
    PyramidStorage(PyramidStorage&& other) noexcept;
    PyramidStorage& operator=(PyramidStorage&& other) noexcept;

    // Makes the tiles of `layout`, releasing any held first. False, holding
    // nothing, when the layout does not fit the budget or an allocation
    // meets the limit or is refused by the system half-way.
    bool allocate(const PyramidLayout& layout);
    // Frees every tile.
    void release();
    // Frees one tile's pixels and gives their bytes back; its record stays,
    // with no pixels. Nothing for an index outside the table.
    void releaseTile(int32_t index);

    int32_t tileCount() const { return tileCount_; }
    // The tile records in tile order; null without storage.
    const PyramidTile* tiles() const { return tiles_.get(); }
    uint64_t bytesHeld() const { return bytesHeld_; }

  private:
    std::unique_ptr<PyramidTile[]> tiles_;
    int32_t tileCount_ = 0;
    uint64_t bytesHeld_ = 0;
};

} // namespace qf
