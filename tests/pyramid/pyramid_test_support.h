// Helpers of the picture tests: raw sample access written independently of
// the picture code, deterministic fills, and reference computations of the
// filtered sample and of a built level pixel straight from their
// definitions.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "composite/picture/lanczos_tables.h"
#include "composite/picture/pyramid_image.h"

namespace qf {}
using namespace qf;

namespace pyramid_test {

// The house generator, for reproducible picture contents.
struct Lcg {
    uint32_t state;
    explicit Lcg(uint32_t seed) : state(seed) {}
    uint32_t next15() {
        state = state * 214013u + 2531011u;
        return (state >> 16) & 0x7FFF;
    }
    uint32_t next(uint32_t n) { return ((next15() << 15) | next15()) % n; }
};

inline int channelsOf(int32_t kind) {
    return pyramidKindInfo(kind).channels;
}

// Raw channel values of pixel (x, y) (storage coordinates), as doubles.
inline void readRaw(const PyramidImage& image, int32_t x, int32_t y, int32_t level, double* out) {
    const uint8_t* p = image.pixelAddress(x, y, level);
    const int32_t kind = image.kind();
    for (int c = 0; c < 4; ++c) out[c] = 0.0;
    switch (kind) {
    case kPyramidGray8:
        out[0] = p[0];
        break;
    case kPyramidRGBA8: {
        uint32_t w;
        std::memcpy(&w, p, 4);
        out[0] = w >> 24;
        out[1] = (w >> 16) & 0xFF;
        out[2] = (w >> 8) & 0xFF;
        out[3] = w & 0xFF;
        break;
    }
    case kPyramidGrayFloat:
    case kPyramidRGBAFloat:
        for (int c = 0; c < channelsOf(kind); ++c) {
            float f;
            std::memcpy(&f, p + 4 * c, 4);
            out[c] = f;
        }
        break;
    default:
        for (int c = 0; c < channelsOf(kind); ++c) {
            uint16_t v;
            std::memcpy(&v, p + 2 * c, 2);
            out[c] = v;
        }
        break;
    }
}

// Writes raw channel values (any kind).
inline void writeRaw(PyramidImage& image, int32_t x, int32_t y, int32_t level, const double* v) {
    uint8_t* p = image.pixelAddress(x, y, level);
    const int32_t kind = image.kind();
    switch (kind) {
    case kPyramidGray8:
        p[0] = uint8_t(v[0]);
        break;
    case kPyramidRGBA8: {
        const uint32_t w = (uint32_t(v[0]) << 24) | (uint32_t(v[1]) << 16) | (uint32_t(v[2]) << 8) |
                           uint32_t(v[3]);
        std::memcpy(p, &w, 4);
        break;
    }
    case kPyramidGrayFloat:
    case kPyramidRGBAFloat:
        for (int c = 0; c < channelsOf(kind); ++c) {
            const float f = float(v[c]);
            std::memcpy(p + 4 * c, &f, 4);
        }
        break;
    default:
        for (int c = 0; c < channelsOf(kind); ++c) {
            const uint16_t s = uint16_t(v[c]);
            std::memcpy(p + 2 * c, &s, 2);
        }
        break;
    }
}

// The largest raw value a fill uses for a kind.
inline uint32_t fillRange(int32_t kind) {
    switch (kind) {
    case kPyramidGray8:
    case kPyramidRGBA8:
        return 256;
    case kPyramidGray16:
    case kPyramidRGBA16:
        return 32769;
    default:
        return 65536;
    }
}

// Fills every pixel of level 0 (border included) with reproducible values;
// float kinds get multiples of 1/1024 in 0..2.
inline void fillRandom(PyramidImage& image, uint32_t seed) {
    Lcg rng(seed);
    const int32_t kind = image.kind();
    const bool isFloat = pyramidKindInfo(kind).isFloat;
    for (int32_t y = 0; y < image.levelHeight(0); ++y)
        for (int32_t x = 0; x < image.levelWidth(0); ++x) {
            double v[4];
            for (int c = 0; c < 4; ++c)
                v[c] = isFloat ? rng.next(2049) / 1024.0 : rng.next(fillRange(kind));
            writeRaw(image, x, y, 0, v);
        }
}

inline void fillUniform(PyramidImage& image, int32_t level, double value) {
    const double v[4] = {value, value, value, value};
    for (int32_t y = 0; y < image.levelHeight(level); ++y)
        for (int32_t x = 0; x < image.levelWidth(level); ++x) writeRaw(image, x, y, level, v);
}

// The filtered sample of one level straight from the definition, before the
// output scale: centre pixel and phase from u * (width0 / 2^level), the 5 x 5
// window with clamped or wrapped coordinates, integer weights for the
// integer kinds. Positions must be non-negative and moderate.
inline void referenceSample(const PyramidImage& image, int32_t level, float u, float v,
                            double* out) {
    const PyramidLevel& L = *image.level(level);
    const int32_t kind = image.kind();
    const PyramidKindInfo info = pyramidKindInfo(kind);
    const float b = image.border() ? 1.0f : 0.0f;
    const float fx = (u * L.scaleX - 0.5f) + 0.5f + b;
    const float fy = (v * L.scaleY - 0.5f) + 0.5f + b;
    const int32_t g = int32_t(std::floor(fx));
    const int32_t h = int32_t(std::floor(fy));
    const int32_t px = int32_t((fx - float(g)) * 128.0f);
    const int32_t py = int32_t((fy - float(h)) * 128.0f);
    const bool wrapX = image.wrapMode() != kPyramidClamp;
    const bool wrapY = image.wrapMode() == kPyramidWrap;
    auto mapCoord = [](int32_t i, int32_t size, bool wrap) {
        if (wrap) return ((i % size) + size) % size;
        return std::clamp(i, 0, size - 1);
    };
    const bool eight = kind == kPyramidGray8 || kind == kPyramidRGBA8;
    for (int ch = 0; ch < 4; ++ch) {
        if (info.isFloat) {
            float sum = 0.0f;
            for (int r = 0; r < 5; ++r) {
                float row = 0.0f;
                for (int c = 0; c < 5; ++c) {
                    double s[4];
                    readRaw(image, mapCoord(g - 2 + c, L.width, wrapX),
                            mapCoord(h - 2 + r, L.height, wrapY), level, s);
                    row += kLanczosTables.weights[px][4 - c] * float(s[ch]);
                }
                sum += kLanczosTables.weights[py][4 - r] * row;
            }
            out[ch] = sum;
        } else {
            const auto& w = eight ? kLanczosTables.weights2048 : kLanczosTables.weights32768;
            int64_t sum = 0;
            for (int r = 0; r < 5; ++r)
                for (int c = 0; c < 5; ++c) {
                    double s[4];
                    readRaw(image, mapCoord(g - 2 + c, L.width, wrapX),
                            mapCoord(h - 2 + r, L.height, wrapY), level, s);
                    sum += int64_t(w[py][4 - r]) * w[px][4 - c] * int64_t(s[ch]);
                }
            out[ch] = float(double(sum) / (eight ? 4194304.0 : 1073741824.0));
        }
    }
    if (info.channels == 1) out[1] = out[2] = out[0];
    if (info.channels < 4) out[3] = info.scale;
}

// One pixel of level + 1 straight from the 6 x 6 weight table, without
// border.
inline void referenceLevelPixel(const PyramidImage& image, int32_t level, int32_t x, int32_t y,
                                double* out) {
    static const int weights[6][6] = {{0, 1, 4, 4, 1, 0},       {1, 16, 64, 64, 16, 1},
                                      {4, 64, 256, 256, 64, 4}, {4, 64, 256, 256, 64, 4},
                                      {1, 16, 64, 64, 16, 1},   {0, 1, 4, 4, 1, 0}};
    const PyramidLevel& L = *image.level(level);
    const PyramidKindInfo info = pyramidKindInfo(image.kind());
    for (int ch = 0; ch < info.channels; ++ch) {
        // Integer sums are exact in a double; float kinds add up in single
        // precision, row by row, left to right.
        double sum = 0.0;
        float fsum = 0.0f;
        for (int r = 0; r < 6; ++r)
            for (int c = 0; c < 6; ++c) {
                double s[4];
                readRaw(image, std::clamp(2 * x - 2 + c, 0, L.lastColumn),
                        std::clamp(2 * y - 2 + r, 0, L.lastRow), level, s);
                sum += weights[r][c] * s[ch];
                fsum += float(weights[r][c]) * float(s[ch]);
            }
        if (info.isFloat) {
            out[ch] = std::min(fsum * 0.0006097561f, 65535.0f);
        } else {
            const float value = std::min(float(sum) * 0.00061349693f, float(info.largestSample));
            out[ch] = double(int32_t(value));
        }
    }
}

inline uint64_t fnv1a(uint64_t hash, const void* data, size_t size) {
    const auto* p = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < size; ++i) {
        hash ^= p[i];
        hash *= 0x100000001B3ull;
    }
    return hash;
}

} // namespace pyramid_test
