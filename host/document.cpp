#include "host/document.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstring>
#include <new>
#include <stdexcept>

namespace qf::host {
namespace {

// The largest side an editor document may have.
constexpr int32_t kMaxSide = 300000;

void setError(std::string* error, const char* text) {
    if (error) *error = text;
}

} // namespace

Document Document::make(int32_t width, int32_t height, ColorModel model, int depth,
                        Transparency transparency, std::string* error, int channels) {
    Document d;
    if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide) {
        setError(error, "document size out of range");
        return d;
    }
    if (depth != 8 && depth != 16 && depth != 32) {
        setError(error, "depth must be 8, 16 or 32 bits per channel");
        return d;
    }
    int colors = model == ColorModel::gray ? 1 : model == ColorModel::rgb ? 3 : channels;
    if (model == ColorModel::multichannel) {
        if (channels < 1 || channels > 16) {
            setError(error, "a multichannel document has 1 to 16 channels");
            return d;
        }
        if (depth == 32) {
            setError(error, "multichannel documents are 8 or 16 bits per channel");
            return d;
        }
    }
    d.model_ = model;
    d.depth_ = depth;
    d.colors_ = colors;
    d.transparency_ = transparency;
    // Bounded by the side limit above: at most 3e5 * 17 * 4 bytes per row.
    size_t rowBytes = size_t(width) * d.pixelBytes();
    if (size_t(height) > SIZE_MAX / 2 / rowBytes) {
        setError(error, "document too large for this computer");
        return Document();
    }
    try {
        d.bytes_.assign(rowBytes * size_t(height), 0);
    } catch (const std::bad_alloc&) {
        setError(error, "out of memory");
        return Document();
    } catch (const std::length_error&) {
        setError(error, "out of memory");
        return Document();
    }
    d.width_ = width;
    d.height_ = height;
    if (transparency != Transparency::none) {
        for (int32_t y = 0; y < height; ++y)
            for (int32_t x = 0; x < width; ++x) d.setSample(x, y, colors, d.opaque());
    }
    return d;
}

int16_t Document::imageMode() const {
    switch (model_) {
    case ColorModel::gray:
        return depth_ == 8    ? plugInModeGrayScale
               : depth_ == 16 ? plugInModeGray16
                              : plugInModeGray32;
    case ColorModel::rgb:
        return depth_ == 8 ? plugInModeRGBColor : depth_ == 16 ? plugInModeRGB48 : plugInModeRGB96;
    case ColorModel::multichannel:
        return depth_ == 8 ? plugInModeMultichannel : plugInModeDeepMultichannel;
    }
    return plugInModeRGBColor;
}

int16_t Document::planes() const {
    return int16_t(colors_ + (transparency_ == Transparency::editable ? 1 : 0));
}

int16_t Document::filterCase() const {
    bool sel = hasMask();
    switch (transparency_) {
    case Transparency::none:
        return sel ? filterCaseFlatImageWithSelection : filterCaseFlatImageNoSelection;
    case Transparency::editable:
        return sel ? filterCaseEditableTransparencyWithSelection
                   : filterCaseEditableTransparencyNoSelection;
    case Transparency::locked:
        return sel ? filterCaseProtectedTransparencyWithSelection
                   : filterCaseProtectedTransparencyNoSelection;
    }
    return filterCaseFlatImageNoSelection;
}

double Document::maxSample() const {
    return depth_ == 8 ? 255.0 : depth_ == 16 ? 32768.0 : 1.0;
}

double Document::sample(int32_t x, int32_t y, int c) const {
    assert(x >= 0 && x < width_ && y >= 0 && y < height_ && c >= 0 && c < channels());
    const uint8_t* p = row(y) + size_t(x) * pixelBytes() + size_t(c) * size_t(bytesPerSample());
    if (depth_ == 8) return *p;
    if (depth_ == 16) {
        uint16_t v;
        std::memcpy(&v, p, 2);
        return v;
    }
    float f;
    std::memcpy(&f, p, 4);
    return f;
}

void Document::setSample(int32_t x, int32_t y, int c, double value) {
    assert(x >= 0 && x < width_ && y >= 0 && y < height_ && c >= 0 && c < channels());
    uint8_t* p = row(y) + size_t(x) * pixelBytes() + size_t(c) * size_t(bytesPerSample());
    if (value != value && depth_ != 32) value = 0; // NaN has no integer sample
    if (depth_ == 8) {
        *p = uint8_t(std::clamp(std::lround(value), 0L, 255L));
    } else if (depth_ == 16) {
        uint16_t v = uint16_t(std::clamp(std::lround(value), 0L, 65535L));
        std::memcpy(p, &v, 2);
    } else {
        float f = float(value);
        std::memcpy(p, &f, 4);
    }
}

void Document::fill(const std::vector<double>& values) {
    if (!valid()) return;
    // Build one pixel, double it along the first row, then copy that row.
    for (int c = 0; c < channels(); ++c)
        setSample(0, 0, c, c < int(values.size()) ? values[size_t(c)] : 0.0);
    const size_t whole = rowBytes();
    uint8_t* first = row(0);
    for (size_t filled = pixelBytes(); filled < whole;) {
        const size_t n = std::min(filled, whole - filled);
        std::memcpy(first + filled, first, n);
        filled += n;
    }
    for (int32_t y = 1; y < height_; ++y) std::memcpy(row(y), first, whole);
}

bool Document::setMask(std::vector<uint8_t> mask) {
    if (!valid() || mask.size() != size_t(width_) * size_t(height_)) return false;
    mask_ = std::move(mask);
    return true;
}

VRect Document::selectionBounds() const {
    if (!hasMask()) return VRect{0, 0, height_, width_};
    int32_t top = height_, left = width_, bottom = 0, right = 0;
    for (int32_t y = 0; y < height_; ++y) {
        const uint8_t* m = mask_.data() + size_t(y) * size_t(width_);
        for (int32_t x = 0; x < width_; ++x) {
            if (!m[x]) continue;
            top = std::min(top, y);
            bottom = std::max(bottom, y + 1);
            left = std::min(left, x);
            right = std::max(right, x + 1);
        }
    }
    if (bottom == 0) return VRect{0, 0, 0, 0};
    return VRect{top, left, bottom, right};
}

} // namespace qf::host
