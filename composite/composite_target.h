// Everything the compositor needs to know about where a render's pixels come
// from and go to. The plug-in fills it from the host's answers before each
// tile is composited (the host buffers move with every fetch); the compositor
// never looks at the host record itself.
#pragma once

#include <cstdint>

#include "values/pixel_types.h"

namespace qf {

enum class DepthClass : int32_t { Eight = 0, Sixteen = 1, Float = 2 };

// Bytes of one sample of a depth class.
constexpr int32_t bytesPerSample(DepthClass d) {
    return d == DepthClass::Eight ? 1 : d == DepthClass::Sixteen ? 2 : 4;
}

// An in-memory picture that an `image` render reads its source from and
// stores its result into.
class CompositeImage {
  public:
    virtual ~CompositeImage() = default;
    // The picture's pixel at (x, y); the colour starts as all zero.
    virtual FloatRGBA readPixel(int32_t x, int32_t y) const = 0;
    virtual void storePixel(int32_t x, int32_t y, const FloatRGBA& c) = 0;
    // Kinds 5 and 9 hold floats.
    virtual bool holdsFloat() const = 0;
};

struct CompositeTarget {
    int32_t renderTarget = 0; // 0 final, 1 preview, 2 image
    int32_t glue = 1;         // glue mode 1..69
    DepthClass depth = DepthClass::Eight;
    bool gray = false;                 // fewer than 3 planes
    bool editableTransparency = false; // filter case 4 or 5

    // Host input buffer (final and preview targets).
    const void* inData = nullptr;
    int32_t inRowBytes = 0;
    int32_t inPlaneCount = 0; // high input plane - low input plane + 1
    int32_t alphaIndex = 0;   // the host's count of layer colour planes

    // Host selection mask, 8 bits per sample.
    const uint8_t* maskData = nullptr;
    int32_t maskRowBytes = 0;

    // Host output buffer (final target).
    void* outData = nullptr;
    int32_t outRowBytes = 0;
    int32_t planes = 0;
    int32_t outWidth = 0; // size of the host's output rectangle
    int32_t outHeight = 0;

    // Preview plane buffer (preview target): 8 bits, planar.
    uint8_t* previewData = nullptr;
    int32_t previewWidth = 0; // also the row stride
    int32_t previewHeight = 0;
    int32_t previewPlaneDistance = 0;
    int32_t previewPlanes = 0;

    // In-memory picture (image target).
    CompositeImage* image = nullptr;
    // An image render for a flat file (no transparency to keep): partly
    // transparent results are laid over the source as in a final render.
    bool flattenImage = false;

    // The float-document test of the render target: final follows the host
    // document, preview is never float, image follows the picture's kind.
    bool floatTarget() const {
        switch (renderTarget) {
        case 0:
            return depth == DepthClass::Float;
        case 2:
            return image != nullptr && image->holdsFloat();
        default:
            return false;
        }
    }
};

} // namespace qf
