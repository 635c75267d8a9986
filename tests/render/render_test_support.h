// Shared helpers of the pattern engine tests.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "render/generator_setup.h"
#include "render/tile_buffer.h"
#include "render/tile_renderer.h"
#include "values/settings_record.h"

namespace qf {}
using namespace qf;

// The record as a prepare leaves it: the plain defaults, seed 0.
inline SettingsRecord patternDefaults() {
    SettingsRecord s;
    std::memset(&s, 0, sizeof s);
    resetSettings(s);
    s.passIndex = -1;
    return s;
}

// The generator state is some 40 KB; keep it off the stack.
inline std::unique_ptr<GeneratorState> preparedGenerator(const SettingsRecord& s,
                                                         const PixelRect& area) {
    auto gen = std::make_unique<GeneratorState>();
    if (prepareGenerator(*gen, s, area) != kGeneratorReady) {
        return nullptr;
    }
    return gen;
}

// Renders `tile` of the render area `area` with settings `s`.
inline TileBuffer renderedTile(const SettingsRecord& s, const PixelRect& area,
                               const PixelRect& tile) {
    auto gen = preparedGenerator(s, area);
    TileBuffer buffer;
    if (gen && buffer.allocate(tile)) {
        renderTile(s, *gen, buffer);
    }
    return buffer;
}

// FNV-1a over the bit patterns of the tile's pixels (border excluded).
inline uint64_t tileHash(const TileBuffer& b, uint64_t h = 1469598103934665603ull) {
    const PixelRect r = b.rect();
    for (int32_t y = r.top; y < r.bottom; ++y) {
        for (int32_t x = r.left; x < r.right; ++x) {
            const FloatRGBA* p = b.at(x, y);
            uint32_t bits[4];
            std::memcpy(bits, p, sizeof bits);
            for (uint32_t w : bits) {
                for (int32_t k = 0; k < 4; ++k) {
                    h ^= (w >> (8 * k)) & 0xFF;
                    h *= 1099511628211ull;
                }
            }
        }
    }
    return h;
}

// True when both tiles hold bit-identical pixels over `r`.
inline bool samePixels(const TileBuffer& a, const TileBuffer& b, const PixelRect& r) {
    for (int32_t y = r.top; y < r.bottom; ++y) {
        for (int32_t x = r.left; x < r.right; ++x) {
            if (std::memcmp(a.at(x, y), b.at(x, y), sizeof(FloatRGBA)) != 0) {
                return false;
            }
        }
    }
    return true;
}
