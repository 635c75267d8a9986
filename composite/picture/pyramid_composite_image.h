// The compositor's view of a picture, for renders into a picture.
#pragma once

#include <cstdint>

#include "composite/composite_target.h"
#include "values/pixel_types.h"

namespace qf {

class PyramidImage;

// Level 0 of the picture, with an optional origin that is subtracted from
// the compositor's coordinates.
class PyramidCompositeImage : public CompositeImage {
  public:
    explicit PyramidCompositeImage(PyramidImage& image, int32_t originX = 0, int32_t originY = 0)
        : image_(image), originX_(originX), originY_(originY) {}
    FloatRGBA readPixel(int32_t x, int32_t y) const override;
    void storePixel(int32_t x, int32_t y, const FloatRGBA& c) override;
    bool holdsFloat() const override;

  private:
    PyramidImage& image_;
    int32_t originX_;
    int32_t originY_;
};

} // namespace qf
