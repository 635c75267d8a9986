#include "composite/picture/pyramid_composite_image.h"

#include <algorithm>
#include <cstring>

#include "composite/picture/pyramid_image.h"

namespace qf {

FloatRGBA PyramidCompositeImage::readPixel(int32_t x, int32_t y) const {
    // samplePoint clamps to the picture; keep the difference in range first.
    const int64_t px = std::clamp<int64_t>(int64_t(x) - originX_, INT32_MIN, INT32_MAX);
    const int64_t py = std::clamp<int64_t>(int64_t(y) - originY_, INT32_MIN, INT32_MAX);
    // The kinds that hold a document copy are read the way the compositor
    // reads the host's samples (a division by the sample scale), so that a
    // render into a picture sees exactly the source values a final render
    // sees; the reciprocal multiply of samplePoint can differ in the last bit.
    const PyramidKind kind = image_.pyramidKind();
    if (image_.hasStorage() && pyramidKindIsRGBA(kind)) {
        const int32_t cx = int32_t(std::clamp<int64_t>(px, 0, std::max(image_.width() - 1, 0)));
        const int32_t cy = int32_t(std::clamp<int64_t>(py, 0, std::max(image_.height() - 1, 0)));
        const uint8_t* p = image_.pixelAddress(cx, cy, 0);
        if (!p) return FloatRGBA{0.0f, 0.0f, 0.0f, 0.0f};
        if (kind == PyramidKind::RGBA8) {
            uint32_t w;
            std::memcpy(&w, p, 4);
            return FloatRGBA{float(w >> 24) / 255.0f, float((w >> 16) & 0xFF) / 255.0f,
                             float((w >> 8) & 0xFF) / 255.0f, float(w & 0xFF) / 255.0f};
        }
        if (kind == PyramidKind::RGBA16) {
            uint16_t v[4];
            std::memcpy(v, p, 8);
            return FloatRGBA{float(v[0]) / 32768.0f, float(v[1]) / 32768.0f, float(v[2]) / 32768.0f,
                             float(v[3]) / 32768.0f};
        }
        FloatRGBA c;
        std::memcpy(&c, p, 16);
        return c;
    }
    return image_.samplePoint(int32_t(px), int32_t(py), 0);
}

void PyramidCompositeImage::storePixel(int32_t x, int32_t y, const FloatRGBA& c) {
    const int64_t px = int64_t(x) - originX_;
    const int64_t py = int64_t(y) - originY_;
    if (px < INT32_MIN || px > INT32_MAX || py < INT32_MIN || py > INT32_MAX) return;
    image_.storePixel(int32_t(px), int32_t(py), 0, c);
}

bool PyramidCompositeImage::holdsFloat() const {
    return image_.holdsFloat();
}

} // namespace qf
