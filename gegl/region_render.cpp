#include "gegl/region_render.h"

#include <cstring>
#include <new>
#include <vector>

#include "render/generator_setup.h"
#include "render/pattern_settings.h"
#include "render/tile_buffer.h"
#include "render/tile_composite.h"
#include "render/tile_renderer.h"
#include "render/worker_pool.h"

namespace qf {

namespace {

// The deepest level rendered through the preview path; GEGL never asks for
// more than a handful of levels, and 2^30 still fits the reduction.
constexpr int32_t kDeepestLevel = 30;

int32_t clampToInt32(int64_t v) {
    return v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : static_cast<int32_t>(v);
}

// Floor division by a power of two, for negative coordinates too.
int64_t floorDivide(int64_t v, int32_t reduction) {
    const int64_t q = v / reduction;
    return (v % reduction != 0 && v < 0) ? q - 1 : q;
}

// Copies `height` rows of `count` 16-bit samples, converting each.
void convertRows16(const uint8_t* from, int64_t fromRowBytes, uint8_t* to, int64_t toRowBytes,
                   int64_t count, int64_t height, uint16_t (*convert)(uint16_t)) {
    for (int64_t row = 0; row < height; ++row) {
        const uint8_t* src = from + row * fromRowBytes;
        uint8_t* dst = to + row * toRowBytes;
        for (int64_t i = 0; i < count; ++i) {
            uint16_t v;
            std::memcpy(&v, src + 2 * i, 2);
            v = convert(v);
            std::memcpy(dst + 2 * i, &v, 2);
        }
    }
}

} // namespace

uint16_t fileToDocument16(uint16_t v) {
    return uint16_t((uint32_t(v) * 32768u + 32767u) / 65535u);
}

uint16_t documentToFile16(uint16_t v) {
    const uint32_t h = v > 32768 ? 32768u : v;
    return uint16_t((h * 65535u + 16384u) / 32768u);
}

int32_t levelReduction(int32_t level) {
    if (level <= 0) return 1;
    return int32_t{1} << (level > kDeepestLevel ? kDeepestLevel : level);
}

PixelRect levelArea(int64_t x, int64_t y, int64_t width, int64_t height, int32_t level) {
    const int32_t reduction = levelReduction(level);
    const int64_t left = floorDivide(x, reduction);
    const int64_t top = floorDivide(y, reduction);
    const int64_t right = -floorDivide(-(x + (width > 0 ? width : 0)), reduction);
    const int64_t bottom = -floorDivide(-(y + (height > 0 ? height : 0)), reduction);
    return PixelRect{clampToInt32(top), clampToInt32(left), clampToInt32(bottom),
                     clampToInt32(right)};
}

RegionRenderer::RegionRenderer() = default;
RegionRenderer::~RegionRenderer() = default;

bool RegionRenderer::prepare(const SettingsRecord& settings, const PixelRect& area, int32_t level) {
    ready_ = false;
    if (!generator_) {
        generator_.reset(new (std::nothrow) GeneratorState);
        if (!generator_) return false;
    }
    settings_ = settings;
    settings_.renderTarget = kTargetFinal;
    settings_.previewZoom = levelReduction(level);
    settings_.previewOffsetX = 0;
    settings_.previewOffsetY = 0;
    area_ = area;
    if (prepareGenerator(*generator_, settings_, area_) != kGeneratorReady) return false;
    ready_ = true;
    return true;
}

bool RegionRenderer::render(const PixelRect& region, const RegionLayout& layout, const void* in,
                            int64_t inRowBytes, void* out, int64_t outRowBytes) const {
    if (!ready_ || !in || !out) return false;
    if (region.empty()) return true;
    const int64_t pixelBytes = layout.pixelBytes();
    const int64_t channels = layout.channels();
    if (inRowBytes < region.width() * pixelBytes || outRowBytes < region.width() * pixelBytes ||
        inRowBytes > INT32_MAX || outRowBytes > INT32_MAX)
        return false;

    const PatternSettings pattern = patternSettings(settings_);
    const bool sixteen = layout.depth == DepthClass::Sixteen;
    std::vector<uint8_t> inCopy, outCopy;
    if (sixteen) {
        const size_t bytes = size_t(kTileSize) * size_t(kTileSize) * size_t(pixelBytes);
        try {
            inCopy.resize(bytes);
            outCopy.resize(bytes);
        } catch (const std::bad_alloc&) {
            return false;
        }
    }

    CompositeTarget target;
    target.renderTarget = kTargetFinal;
    target.glue = settings_.glue;
    target.depth = layout.depth;
    target.gray = layout.gray;
    target.editableTransparency = layout.alpha;
    target.inPlaneCount = int32_t(channels);
    target.alphaIndex = layout.colourChannels();
    target.planes = int32_t(channels);

    TileBuffer buffer;
    for (int64_t top = region.top; top < region.bottom; top += kTileSize) {
        const int64_t bottom = top + kTileSize < region.bottom ? top + kTileSize : region.bottom;
        for (int64_t left = region.left; left < region.right; left += kTileSize) {
            const int64_t right = left + kTileSize < region.right ? left + kTileSize : region.right;
            // The tile in the coordinates of the filter rectangle, whose
            // top-left corner anchors the pattern.
            const PixelRect tile{clampToInt32(top - area_.top), clampToInt32(left - area_.left),
                                 clampToInt32(bottom - area_.top),
                                 clampToInt32(right - area_.left)};
            if (!buffer.allocate(tile)) return false;
            renderTile(pattern, *generator_, buffer);

            const int64_t width = right - left;
            const int64_t height = bottom - top;
            const uint8_t* src = static_cast<const uint8_t*>(in) + (top - region.top) * inRowBytes +
                                 (left - region.left) * pixelBytes;
            uint8_t* dst = static_cast<uint8_t*>(out) + (top - region.top) * outRowBytes +
                           (left - region.left) * pixelBytes;
            target.outWidth = int32_t(width);
            target.outHeight = int32_t(height);
            if (sixteen) {
                const int64_t rowBytes = width * pixelBytes;
                convertRows16(src, inRowBytes, inCopy.data(), rowBytes, width * channels, height,
                              fileToDocument16);
                target.inData = inCopy.data();
                target.inRowBytes = int32_t(rowBytes);
                target.outData = outCopy.data();
                target.outRowBytes = int32_t(rowBytes);
                compositeTile(target, buffer);
                convertRows16(outCopy.data(), rowBytes, dst, outRowBytes, width * channels, height,
                              documentToFile16);
            } else {
                target.inData = src;
                target.inRowBytes = int32_t(inRowBytes);
                target.outData = dst;
                target.outRowBytes = int32_t(outRowBytes);
                compositeTile(target, buffer);
            }
        }
    }
    return true;
}

} // namespace qf
