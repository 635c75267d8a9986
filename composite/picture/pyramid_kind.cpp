#include "composite/picture/pyramid_kind.h"

namespace qf {

std::optional<PyramidKind> pyramidKindFromNumber(int32_t number) {
    switch (number) {
    case kPyramidGray8:
    case kPyramidGray16:
    case kPyramidChannel16:
    case kPyramidRGBA8:
    case kPyramidRGBA16:
    case kPyramidGrayFloat:
    case kPyramidRGB16:
    case kPyramidRGBAFloat:
        return PyramidKind(number);
    default:
        return std::nullopt;
    }
}

PyramidKindInfo pyramidKindInfo(PyramidKind kind) {
    switch (kind) {
    case PyramidKind::Gray8:
        return {true, 1, 1, 255.0f, false, false, 255};
    case PyramidKind::Gray16:
        return {true, 2, 1, 32768.0f, false, true, 32768};
    case PyramidKind::Channel16:
        return {true, 2, 1, 1.0f, false, true, 65535};
    case PyramidKind::RGBA8:
        return {true, 4, 4, 255.0f, false, false, 255};
    case PyramidKind::RGBA16:
        return {true, 8, 4, 32768.0f, false, true, 32768};
    case PyramidKind::GrayFloat:
        return {true, 4, 1, 1.0f, true, false, 0};
    case PyramidKind::RGB16:
        return {true, 6, 3, 1.0f, false, true, 65535};
    case PyramidKind::RGBAFloat:
        return {true, 16, 4, 1.0f, true, false, 0};
    }
    return {};
}

PyramidKindInfo pyramidKindInfo(int32_t kind) {
    const std::optional<PyramidKind> k = pyramidKindFromNumber(kind);
    return k ? pyramidKindInfo(*k) : PyramidKindInfo{};
}

} // namespace qf
