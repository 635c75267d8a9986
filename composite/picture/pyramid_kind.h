// The sample kinds of a picture. A kind fixes the bytes per pixel, the
// channel count and the sample value that stands for 1.0:
//   0  1 byte   gray            255
//   1  2 bytes  gray            32768
//   2  2 bytes  single channel  1
//   3  4 bytes  RGBA            255   one 32-bit word: red in the most
//                                     significant byte, alpha in the least
//   4  8 bytes  RGBA            32768 four 16-bit values red, green, blue, alpha
//   5  4 bytes  float gray      1
//   7  6 bytes  RGB             1     three 16-bit values
//   9  16 bytes float RGBA      1
// The numbers are part of the pictures' outside interface (callers and
// stored thumbnails name kinds by number), so they are kept as they are,
// gaps included.
#pragma once

#include <cstdint>
#include <optional>

namespace qf {

enum class PyramidKind : int32_t {
    Gray8 = 0,
    Gray16 = 1,
    Channel16 = 2,
    RGBA8 = 3,
    RGBA16 = 4,
    GrayFloat = 5,
    RGB16 = 7,
    RGBAFloat = 9,
};

// The kinds by number, for callers that hold a kind as a plain integer.
constexpr int32_t kPyramidGray8 = int32_t(PyramidKind::Gray8);
constexpr int32_t kPyramidGray16 = int32_t(PyramidKind::Gray16);
constexpr int32_t kPyramidChannel16 = int32_t(PyramidKind::Channel16);
constexpr int32_t kPyramidRGBA8 = int32_t(PyramidKind::RGBA8);
constexpr int32_t kPyramidRGBA16 = int32_t(PyramidKind::RGBA16);
constexpr int32_t kPyramidGrayFloat = int32_t(PyramidKind::GrayFloat);
constexpr int32_t kPyramidRGB16 = int32_t(PyramidKind::RGB16);
constexpr int32_t kPyramidRGBAFloat = int32_t(PyramidKind::RGBAFloat);

// The kind a number names; nothing for a number that names no kind.
std::optional<PyramidKind> pyramidKindFromNumber(int32_t number);

struct PyramidKindInfo {
    bool valid = false;
    int32_t bytesPerPixel = 0;
    int32_t channels = 0;
    float scale = 0.0f;        // the sample value of 1.0
    bool isFloat = false;      // kinds 5 and 9
    bool wideWeights = false;  // 16-bit kinds: 32768-scaled filter weights
    int32_t largestSample = 0; // integer kinds: the limit of a built level
};

PyramidKindInfo pyramidKindInfo(PyramidKind kind);
// Not valid for a number that names no kind.
PyramidKindInfo pyramidKindInfo(int32_t kind);

// The kinds that hold floats (5 and 9).
constexpr bool pyramidKindIsFloat(PyramidKind kind) {
    return kind == PyramidKind::GrayFloat || kind == PyramidKind::RGBAFloat;
}

// The kinds a colour can be stored into (3, 4 and 9), the same kinds a
// document copy fills.
constexpr bool pyramidKindIsRGBA(PyramidKind kind) {
    return kind == PyramidKind::RGBA8 || kind == PyramidKind::RGBA16 ||
           kind == PyramidKind::RGBAFloat;
}

} // namespace qf
