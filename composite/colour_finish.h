// What follows the blend for 8-bit colour pixels of the host targets (the
// final render's output and the dialog's preview), one pixel or four
// neighbours at a time in SSE2 registers (pixel_register.h). Only the
// compositing source includes this: these are the steps of its per-pixel
// finish, written for the register.
#pragma once

#include <emmintrin.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "composite/composite_pixel.h"
#include "composite/pixel_register.h"

namespace qf {
namespace colour_finish {

// Values of `renderTarget`.
constexpr int32_t kFinal = 0;
constexpr int32_t kPreview = 1;
constexpr int32_t kImage = 2;

// The preview's samples of (x, y), kept inside the preview: red, green and
// blue in their planes, or green alone in a one-plane preview.
inline void writePreviewSamples(const CompositeTarget& target, int32_t x, int32_t y, uint8_t r,
                                uint8_t g, uint8_t b) {
    if (target.previewData == nullptr || target.previewWidth <= 0 || target.previewHeight <= 0) {
        return;
    }
    const int32_t cx = x < 0 ? 0 : (x >= target.previewWidth ? target.previewWidth - 1 : x);
    const int32_t cy = y < 0 ? 0 : (y >= target.previewHeight ? target.previewHeight - 1 : y);
    uint8_t* p = target.previewData + ptrdiff_t(target.previewWidth) * cy + cx;
    if (target.previewPlanes < 3) {
        p[0] = g;
        return;
    }
    const ptrdiff_t plane = target.previewPlaneDistance;
    p[0] = r;
    p[plane] = g;
    p[2 * plane] = b;
}

// finishAt for 8-bit colour pixels of the host targets, the pixel in one
// register (pixel_register.h).
template <int32_t Target>
inline void finishColourAt(const CompositeTarget& target, int32_t x, int32_t y,
                           const FloatRGBA& blended, const FloatRGBA& source, uint8_t* dst,
                           float m) {
    namespace pr = pixel_register;
    pr::Pixel result = pr::load(blended);
    const pr::Pixel under = pr::load(source);
    if constexpr (Target == kFinal) {
        if (pr::alphaValue(result) < 1.0f && !target.editableTransparency) {
            result = pr::over(result, under);
        }
    }
    result = pr::limitColourToOne(result);
    pr::Pixel background = under;
    if constexpr (Target == kPreview) {
        background = pr::load(checkerColour(x, y));
        result = pr::over(result, background);
    }
    if (m < 1.0f) {
        result = pr::mixOver(background, result, m);
    }
    const uint32_t bytes = pr::toBytes(result);
    const auto r = uint8_t(bytes), g = uint8_t(bytes >> 8), b = uint8_t(bytes >> 16);
    if constexpr (Target == kPreview) {
        writePreviewSamples(target, x, y, r, g, b);
    } else if (dst) {
        dst[0] = r;
        dst[1] = g;
        dst[2] = b;
        if (target.editableTransparency) {
            dst[target.alphaIndex] = uint8_t(bytes >> 24);
        }
    }
}

// finishColourAt for four neighbours at once, (x, y) to (x + 3, y), each
// written where finishColourAt would write it: the preview's samples lie
// inside the preview and the host's four destinations are all there (the
// caller checks). `dst` is the first pixel's host samples, `m` the four
// selection coverages.
template <int32_t Target>
inline void finishFourColoursAt(const CompositeTarget& target, int32_t x, int32_t y,
                                const FloatRGBA* blended, const FloatRGBA* source, uint8_t* dst,
                                __m128 m) {
    namespace pr = pixel_register;
    pr::Quad result = pr::loadQuad(blended);
    const pr::Quad under = pr::loadQuad(source);
    if constexpr (Target == kFinal) {
        // (Pattern tiles are opaque: mostly no pixel is laid over.)
        const __m128 translucent = _mm_cmplt_ps(result.a, pr::splat(1.0f));
        if (!target.editableTransparency && _mm_movemask_ps(translucent) != 0) {
            result = pr::selectQuad(translucent, pr::over(result, under), result);
        }
    }
    result = pr::limitColourToOne(result);
    pr::Quad background = under;
    if constexpr (Target == kPreview) {
        const __m128 grey = _mm_setr_ps(checkerValue(x, y), checkerValue(x + 1, y),
                                        checkerValue(x + 2, y), checkerValue(x + 3, y));
        background = {grey, grey, grey, pr::splat(1.0f)};
        result = pr::over(result, background);
    }
    result = pr::mixOver(background, result, m);
    const uint32_t r = pr::toBytes(result.r), g = pr::toBytes(result.g), b = pr::toBytes(result.b);
    if constexpr (Target == kPreview) {
        uint8_t* p = target.previewData + ptrdiff_t(target.previewWidth) * y + x;
        if (target.previewPlanes < 3) {
            std::memcpy(p, &g, 4);
            return;
        }
        const ptrdiff_t plane = target.previewPlaneDistance;
        std::memcpy(p, &r, 4);
        std::memcpy(p + plane, &g, 4);
        std::memcpy(p + 2 * plane, &b, 4);
    } else {
        const uint32_t a = target.editableTransparency ? pr::toBytes(result.a) : 0u;
        for (int32_t k = 0; k < 4; ++k, dst += target.planes) {
            const int32_t shift = 8 * k;
            dst[0] = uint8_t(r >> shift);
            dst[1] = uint8_t(g >> shift);
            dst[2] = uint8_t(b >> shift);
            if (target.editableTransparency) {
                dst[target.alphaIndex] = uint8_t(a >> shift);
            }
        }
    }
}

// Whether finishFourColoursAt may write pixels (x, y) to (x + 3, y), the
// first of them column i of the host's output row `out`: a preview pixel
// is written only where it lies inside the preview (finishColourAt clamps
// the others onto its edge), a final one only where the host's output row
// holds all four.
template <int32_t Target>
inline bool fourWritable(const CompositeTarget& target, int32_t x, int32_t y, const uint8_t* out,
                         int64_t i) {
    if constexpr (Target == kPreview) {
        return target.previewData != nullptr && x >= 0 && y >= 0 &&
               int64_t(x) + 4 <= target.previewWidth && y < target.previewHeight;
    } else {
        return out != nullptr && i + 4 <= target.outWidth;
    }
}

} // namespace colour_finish
} // namespace qf
