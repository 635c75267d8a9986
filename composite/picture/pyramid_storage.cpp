#include "composite/picture/pyramid_storage.h"

#include <atomic>
#include <new>
#include <utility>

namespace qf {

namespace {

constexpr uint64_t kDefaultStorageLimit =
    sizeof(void*) <= 4 ? uint64_t{0x60000000} : uint64_t{32} << 30;

std::atomic<uint64_t> gStorageLimit{kDefaultStorageLimit};
std::atomic<uint64_t> gStorageInUse{0};

bool reserveStorage(uint64_t bytes) {
    uint64_t inUse = gStorageInUse.load();
    for (;;) {
        const uint64_t limit = gStorageLimit.load();
        if (bytes > limit || inUse > limit - bytes) return false;
        if (gStorageInUse.compare_exchange_weak(inUse, inUse + bytes)) return true;
    }
}

void returnStorage(uint64_t bytes) {
    gStorageInUse.fetch_sub(bytes);
}

uint64_t tableBytes(const PyramidLayout& layout) {
    return uint64_t(layout.tileCount) * sizeof(PyramidTile);
}

} // namespace

void setPyramidStorageLimit(uint64_t bytes) {
    gStorageLimit.store(bytes);
}
uint64_t pyramidStorageLimit() {
    return gStorageLimit.load();
}
uint64_t pyramidStorageInUse() {
    return gStorageInUse.load();
}

uint64_t pyramidStorageBytes(const PyramidLayout& layout) {
    return layout.pixelBytes + tableBytes(layout);
}

bool pyramidStorageFits(const PyramidLayout& layout) {
    const uint64_t total = pyramidStorageBytes(layout);
    return total <= uint64_t(SIZE_MAX) / 2 && total <= pyramidStorageLimit();
}

PyramidStorage::PyramidStorage(PyramidStorage&& other) noexcept {
    *this = std::move(other);
}

PyramidStorage& PyramidStorage::operator=(PyramidStorage&& other) noexcept {
    if (this == &other) return *this;
    release();
    tiles_ = std::move(other.tiles_);
    tileCount_ = std::exchange(other.tileCount_, 0);
    bytesHeld_ = std::exchange(other.bytesHeld_, 0);
    return *this;
}

void PyramidStorage::release() {
    if (tiles_) {
        for (int32_t i = 0; i < tileCount_; ++i) delete[] tiles_[size_t(i)].pixels;
        tiles_.reset();
    }
    if (bytesHeld_ > 0) returnStorage(bytesHeld_);
    bytesHeld_ = 0;
    tileCount_ = 0;
}

void PyramidStorage::releaseTile(int32_t index) {
    if (index < 0 || index >= tileCount_) return;
    PyramidTile& t = tiles_[size_t(index)];
    if (!t.pixels) return;
    delete[] t.pixels;
    returnStorage(t.bytes);
    bytesHeld_ -= t.bytes;
    t = PyramidTile{};
}

bool PyramidStorage::allocate(const PyramidLayout& layout) {
    release();
    if (layout.tileCount < 1 || !pyramidStorageFits(layout)) return false;
    // A picture that meets the limit (or a refusal of the system) half-way
    // is taken apart again.
    const uint64_t arrayBytes = tableBytes(layout);
    if (!reserveStorage(arrayBytes)) return false;
    bytesHeld_ = arrayBytes;
    tiles_.reset(new (std::nothrow) PyramidTile[size_t(layout.tileCount)]());
    if (!tiles_) {
        release();
        return false;
    }
    tileCount_ = layout.tileCount;
    const size_t bytesPerPixel = size_t(layout.info.bytesPerPixel);
    for (int32_t n = 0; n <= layout.lastLevel; ++n) {
        const PyramidLevel& L = layout.levels[n];
        for (int32_t row = 0; row < L.tileRows; ++row) {
            const int32_t rows = layout.rowsInTileRow(n, row);
            for (int32_t col = 0; col < L.tilesPerRow; ++col) {
                PyramidTile& t =
                    tiles_[size_t(L.firstTile) + size_t(row) * size_t(L.tilesPerRow) + size_t(col)];
                const size_t bytes = size_t(rows) * kPyramidTileSide * bytesPerPixel;
                if (!reserveStorage(bytes)) {
                    release();
                    return false;
                }
                bytesHeld_ += bytes;
                t.pixels = new (std::nothrow) uint8_t[bytes]();
                if (!t.pixels) {
                    release();
                    return false;
                }
                t.rows = rows;
                t.bytes = bytes;
            }
        }
    }
    return true;
}

} // namespace qf
