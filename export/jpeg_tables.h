// The JPEG writer's own quantization tables and luminance sampling, one set
// per quality decile. The data lives in jpeg_tables.cpp, made by
// tools/make_jpeg_tables.py.
#pragma once

#include <cstdint>

namespace qf {

constexpr int kJpegDecileCount = 11;

// Quantization steps in natural (row-major) order: [decile][row * 8 + column].
extern const uint8_t kLuminanceQuantTables[kJpegDecileCount][64];
extern const uint8_t kChrominanceQuantTables[kJpegDecileCount][64];
// Horizontal and vertical sampling factor of the luminance component: 2 for
// deciles 0 to 4, 1 above. The chrominance components are always 1 x 1.
extern const uint8_t kLuminanceSampling[kJpegDecileCount];

// The writer's quality range: below 0 counts as 0, 100 and above as 99.
constexpr int clampJpegQuality(int quality) {
    return quality < 0 ? 0 : (quality >= 100 ? 99 : quality);
}

// The decile whose tables a quality selects (0..9 for every quality the
// writer accepts; decile 10 exists for callers that pick tables directly).
constexpr int jpegQualityDecile(int quality) {
    return clampJpegQuality(quality) / 10;
}

} // namespace qf
