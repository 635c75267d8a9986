// Pixel compositing: turns one generated colour into the final pixel of the
// render target. The generated colour is conditioned for the document's depth
// and colour model, blended with the source pixel by the glue mode, laid over
// the source or the preview checkerboard where it is not opaque, weighted by
// the selection mask and stored.
//
// compositeBlock is what renders use. compositePixel, readSourcePixel,
// maskValue and writePixel with their row mode are the same work one pixel
// at a time: the interface the tests and benchmarks hold the block path to,
// which must give the very same bits.
#pragma once

#include <cstddef>
#include <cstdint>

#include "composite/composite_target.h"
#include "values/pixel_types.h"

namespace qf {

// Composites the generated colour of pixel (x, y) of the tile `rect` into the
// target. `generated` is conditioned in place; the caller must not reuse its
// contents afterwards. With row mode 1 the host buffers hold the whole tile
// and a row offset is added to every address; otherwise they already point
// at the current row.
void compositePixel(const CompositeTarget& target, int32_t x, int32_t y, FloatRGBA* generated,
                    const PixelRect& rect, int32_t rowMode);

// compositePixel for every pixel of `rect`, row by row from the top, with
// row mode 1: the generated colour of (x, y) is
// colours[(y - rect.top) * stride + (x - rect.left)], conditioned in a copy
// (the block is left as it was). The target's kind is chosen once and the
// host rows are located once per row.
void compositeBlock(const CompositeTarget& target, const FloatRGBA* colours, ptrdiff_t stride,
                    const PixelRect& rect);

// The source pixel under (x, y): from the host's input buffer for the final
// render and the preview, from the in-memory picture for the image target.
// Transparent black when there is no source or (x, y) is outside the tile.
FloatRGBA readSourcePixel(const CompositeTarget& target, int32_t x, int32_t y,
                          const PixelRect& rect, int32_t rowMode);

// Selection coverage 0..1: 1 without a mask, 0 outside the tile.
float maskValue(const CompositeTarget& target, int32_t x, int32_t y, const PixelRect& rect,
                int32_t rowMode);

// Stores the final colour in the target. Samples are truncated toward zero
// and limited to what the sample type holds.
void writePixel(const CompositeTarget& target, int32_t x, int32_t y, const FloatRGBA& colour,
                const PixelRect& rect, int32_t rowMode);

// The preview background: 8 x 8 squares of white and 0.8 grey, opaque.
// checkerValue is the grey of each of its colour channels.
inline float checkerValue(int32_t x, int32_t y) {
    return ((x ^ y) & 8) != 0 ? 0.8f : 1.0f;
}
FloatRGBA checkerColour(int32_t x, int32_t y);

// Lays `top` over `bottom` (neither premultiplied); the result replaces bottom.
void overComposite(const FloatRGBA& top, FloatRGBA& bottom);

// Moves the excess of channels above 1 into the other channels, so an
// over-bright colour turns lighter instead of merely clipping.
void spreadOverflow(FloatRGBA& colour);

} // namespace qf
