#include "composite/picture/pyramid_image.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "composite/picture/pyramid_kind_traits.h"

namespace qf {

PyramidImage::~PyramidImage() {
    release();
}

PyramidImage::PyramidImage(PyramidImage&& other) noexcept {
    *this = std::move(other);
}

PyramidImage& PyramidImage::operator=(PyramidImage&& other) noexcept {
    if (this == &other) return *this;
    release();
    layout_ = other.layout_;
    storage_ = std::move(other.storage_);
    wrapMode_ = other.wrapMode_;
    inputScale_ = other.inputScale_;
    outputScale_ = other.outputScale_;
    filled_ = other.filled_;
    levelsBuilt_ = other.levelsBuilt_;
    other.release();
    return *this;
}

void PyramidImage::release() {
    storage_.release();
    layout_ = PyramidLayout{};
    wrapMode_ = kPyramidClamp;
    inputScale_ = outputScale_ = 0.0f;
    filled_ = false;
    levelsBuilt_ = false;
}

void PyramidImage::releaseTilesAbove(int32_t tileRow) {
    if (!hasStorage()) return;
    const PyramidLevel& top = layout_.levels[0];
    const int32_t rows = std::min(tileRow, top.tileRows);
    for (int32_t i = 0; i < rows * top.tilesPerRow; ++i) storage_.releaseTile(top.firstTile + i);
    for (int32_t i = top.firstTile + top.tileRows * top.tilesPerRow; i < storage_.tileCount(); ++i)
        storage_.releaseTile(i);
}

bool PyramidImage::create(int32_t width, int32_t height, int32_t kind, int32_t wrapMode,
                          bool border) {
    const std::optional<PyramidKind> k = pyramidKindFromNumber(kind);
    if (!k) {
        release();
        return false;
    }
    return create(width, height, *k, wrapMode, border);
}

bool PyramidImage::create(int32_t width, int32_t height, PyramidKind kind, int32_t wrapMode,
                          bool border) {
    release();
    PyramidLayout layout;
    if (wrapMode < kPyramidClamp || wrapMode > kPyramidWrapHorizontal ||
        !PyramidLayout::plan(width, height, kind, border, layout))
        return false;
    if (!storage_.allocate(layout)) return false;
    layout_ = layout;
    wrapMode_ = wrapMode;
    inputScale_ = layout.info.scale;
    outputScale_ = 1.0f / layout.info.scale;
    return true;
}

bool createImage(PyramidImage* image, int32_t width, int32_t height, int32_t kind, int32_t wrapMode,
                 bool border) {
    return image != nullptr && image->create(width, height, kind, wrapMode, border);
}

bool createImage(PyramidImage* image, int32_t width, int32_t height, int32_t simpleType) {
    const PyramidKind kind = simpleType == 1   ? PyramidKind::Gray8
                             : simpleType == 2 ? PyramidKind::Channel16
                                               : PyramidKind::RGBA8;
    return image != nullptr && image->create(width, height, kind, kPyramidClamp, false);
}

int32_t PyramidImage::levelWidth(int32_t level) const {
    const PyramidLevel* L = this->level(level);
    return L ? L->width : 0;
}

int32_t PyramidImage::levelHeight(int32_t level) const {
    const PyramidLevel* L = this->level(level);
    return L ? L->height : 0;
}

const PyramidLevel* PyramidImage::level(int32_t level) const {
    return hasStorage() && level >= 0 && level <= layout_.lastLevel ? &layout_.levels[level]
                                                                    : nullptr;
}

const PyramidTile* PyramidImage::tile(int32_t index) const {
    return index >= 0 && index < storage_.tileCount() ? &storage_.tiles()[size_t(index)] : nullptr;
}

uint8_t* PyramidImage::pixelAddress(int32_t x, int32_t y, int32_t lvl) {
    return const_cast<uint8_t*>(std::as_const(*this).pixelAddress(x, y, lvl));
}

const uint8_t* PyramidImage::pixelAddress(int32_t x, int32_t y, int32_t lvl) const {
    const PyramidLevel* L = level(lvl);
    if (!L || x < 0 || y < 0 || x >= L->width || y >= L->height) return nullptr;
    return pyramid_detail::addressInside(storage_.tiles(), *L, layout_.info.bytesPerPixel, x, y);
}

} // namespace qf
