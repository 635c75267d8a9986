// Basic pixel and rectangle types shared by the host access, the renderer and
// the compositor.
#pragma once

#include <cstdint>

namespace qf {

// One colour: red, green, blue, alpha as single floats. Nominal range 0..1;
// colour channels of 32-bit documents may exceed 1 (limited to 65535).
struct FloatRGBA {
    float r;
    float g;
    float b;
    float a;
};

// A rectangle of pixels in the host's field order. bottom and right are
// exclusive.
struct PixelRect {
    int32_t top;
    int32_t left;
    int32_t bottom;
    int32_t right;

    // In 64 bits: a rectangle from a host may span more than INT32_MAX (or
    // be inverted by as much), which 32-bit arithmetic would overflow.
    int64_t width() const { return int64_t{right} - left; }
    int64_t height() const { return int64_t{bottom} - top; }
    bool empty() const { return right <= left || bottom <= top; }
    bool operator==(const PixelRect&) const = default;
};

} // namespace qf
