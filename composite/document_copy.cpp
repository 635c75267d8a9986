#include "composite/document_copy.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "composite/picture/pyramid_image.h"

namespace qf {

namespace {

PyramidKind kindForDepth(DepthClass depth) {
    switch (depth) {
    case DepthClass::Eight:
        return PyramidKind::RGBA8;
    case DepthClass::Sixteen:
        return PyramidKind::RGBA16;
    default:
        return PyramidKind::RGBAFloat;
    }
}

// How the samples of one pixel are laid out in the delivered rows.
struct PixelLayout {
    int32_t stride = 0; // samples per pixel
    int32_t red = 0;    // sample index of red (gray: 0)
    int32_t green = 0;
    int32_t blue = 0;
    int32_t alpha = -1; // -1: full alpha
};

template <typename T> inline T loadSample(const uint8_t* row, int32_t index) {
    T v;
    std::memcpy(&v, row + size_t(index) * sizeof(T), sizeof(T));
    return v;
}

// Converts one row of `count` pixels into the picture's samples.
void copyRow8(const uint8_t* in, uint8_t* out, int32_t count, const PixelLayout& l) {
    for (int32_t x = 0; x < count; ++x) {
        const uint8_t* p = in + size_t(x) * size_t(l.stride);
        const uint32_t a = l.alpha >= 0 ? p[l.alpha] : 255u;
        const uint32_t word = (uint32_t(p[l.red]) << 24) | (uint32_t(p[l.green]) << 16) |
                              (uint32_t(p[l.blue]) << 8) | a;
        std::memcpy(out + size_t(x) * 4, &word, 4);
    }
}

void copyRow16(const uint8_t* in, uint8_t* out, int32_t count, const PixelLayout& l) {
    for (int32_t x = 0; x < count; ++x) {
        const int32_t base = x * l.stride;
        const uint16_t s[4] = {
            loadSample<uint16_t>(in, base + l.red), loadSample<uint16_t>(in, base + l.green),
            loadSample<uint16_t>(in, base + l.blue),
            l.alpha >= 0 ? loadSample<uint16_t>(in, base + l.alpha) : uint16_t(32768)};
        std::memcpy(out + size_t(x) * 8, s, 8);
    }
}

void copyRowFloat(const uint8_t* in, uint8_t* out, int32_t count, const PixelLayout& l) {
    for (int32_t x = 0; x < count; ++x) {
        const int32_t base = x * l.stride;
        const float s[4] = {loadSample<float>(in, base + l.red),
                            loadSample<float>(in, base + l.green),
                            loadSample<float>(in, base + l.blue),
                            l.alpha >= 0 ? loadSample<float>(in, base + l.alpha) : 1.0f};
        std::memcpy(out + size_t(x) * 16, s, 16);
    }
}

} // namespace

bool copyDocumentIntoImage(PyramidImage& picture, DocumentSource& source) {
    const DocumentFormat format = source.format();
    if (!picture.hasStorage() || picture.pyramidKind() != kindForDepth(format.depth)) return false;

    picture.setFilled(false);
    source.beginCopy();

    const PyramidLevel& level = *picture.level(0);
    const int32_t border = picture.border() ? 1 : 0;
    const int32_t tiles = level.tilesPerRow * level.tileRows;
    bool complete = true;
    for (int32_t i = 0; i < tiles; ++i) {
        // The tile in storage coordinates, then the picture pixels inside it
        // (the border, if any, is not part of the document).
        const int32_t sx = (i % level.tilesPerRow) * kPyramidTileSide;
        const int32_t sy = (i / level.tilesPerRow) * kPyramidTileSide;
        PixelRect rect;
        rect.left = std::max(sx - border, 0);
        rect.top = std::max(sy - border, 0);
        rect.right = std::min(sx + kPyramidTileSide - border, picture.width());
        rect.bottom = std::min(sy + kPyramidTileSide - border, picture.height());
        if (rect.empty()) continue;

        DocumentRows rows;
        if (source.fetchRows(rect, rows) != 0) {
            source.copyStopped(kDocumentCopyFailedReason);
            complete = false;
            break;
        }
        if (!rows.data || rows.samplesPerPixel < 1) {
            complete = false; // nothing delivered: the tile keeps its content
            continue;
        }

        PixelLayout layout;
        layout.stride = rows.samplesPerPixel;
        if (format.planes >= 3 && rows.samplesPerPixel >= 3) {
            layout.green = 1;
            layout.blue = 2;
        }
        if (format.editableTransparency && format.alphaIndex >= 0 &&
            format.alphaIndex < rows.samplesPerPixel)
            layout.alpha = format.alphaIndex;

        const int32_t count = static_cast<int32_t>(rect.width());
        for (int32_t y = 0; y < rect.height(); ++y) {
            const uint8_t* in = rows.data + ptrdiff_t(y) * rows.rowBytes;
            uint8_t* out = picture.pixelAddress(rect.left + border, rect.top + y + border, 0);
            switch (format.depth) {
            case DepthClass::Eight:
                copyRow8(in, out, count, layout);
                break;
            case DepthClass::Sixteen:
                copyRow16(in, out, count, layout);
                break;
            default:
                copyRowFloat(in, out, count, layout);
                break;
            }
        }
    }

    if (complete) picture.setFilled(true);
    source.endCopy();
    return complete;
}

} // namespace qf
