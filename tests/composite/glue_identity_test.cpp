// Every build must produce the same bits. These hashes cover all glue modes
// and the compositor over fixed grids of inputs; the values were recorded on
// the Linux build, and the 32-bit and 64-bit Windows builds must agree with
// them. A mismatch means platform arithmetic leaked in (x87 excess
// precision, fused multiply-add, a runtime's sin or pow).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "composite/composite_pixel.h"
#include "composite/glue_modes.h"

namespace qf {}
using namespace qf;

namespace {

struct Fnv {
    uint64_t h = 1469598103934665603ull;
    void addBytes(uint64_t v, int n) {
        for (int i = 0; i < n; ++i) {
            h ^= (v >> (8 * i)) & 0xFF;
            h *= 1099511628211ull;
        }
    }
    void add(float f) {
        uint32_t bits;
        std::memcpy(&bits, &f, sizeof bits);
        addBytes(bits, 4);
    }
    void add(const FloatRGBA& c) {
        add(c.r);
        add(c.g);
        add(c.b);
        add(c.a);
    }
};

// Levels that are not multiples of 1/32768, so truncation is exercised.
const float kLevels[] = {0.0f, 0.13f, 0.3f, 0.49f, 0.5f, 0.71f, 0.9f, 1.0f};

uint64_t glueHash(int32_t mode) {
    Fnv f;
    for (float tr : kLevels)
        for (float tg : kLevels)
            for (float tb : kLevels)
                for (float br : {0.0f, 0.37f, 0.8f})
                    for (float bg : {0.05f, 0.5f, 1.0f})
                        for (float bb : {0.2f, 0.66f}) {
                            FloatRGBA r;
                            blendGlue({tr, tg, tb, 0.75f}, {br, bg, bb, 1.0f}, r, mode);
                            f.add(r);
                        }
    return f.h;
}

TEST(GlueIdentity, AllModesHashAlike) {
    Fnv all;
    std::string perMode;
    for (int32_t mode = 1; mode <= kGlueModeCount; ++mode) {
        const uint64_t h = glueHash(mode);
        all.addBytes(h, 8);
        perMode += std::to_string(mode) + ":" + std::to_string(h) + " ";
    }
    // On a mismatch the per-mode hashes tell which modes differ between
    // builds.
    EXPECT_EQ(all.h, 15541195583503764634ull) << perMode;
}

TEST(GlueIdentity, CompositorHashesAlike) {
    // An 8-bit RGB tile with a mask and transparency, every mode.
    constexpr int32_t kSide = 16;
    std::vector<uint8_t> in(kSide * kSide * 4), out(in.size()), mask(kSide * kSide);
    for (size_t i = 0; i < in.size(); ++i) in[i] = uint8_t(i * 37 + 11);
    for (size_t i = 0; i < mask.size(); ++i) mask[i] = uint8_t(i * 53);
    CompositeTarget t;
    t.depth = DepthClass::Eight;
    t.inData = in.data();
    t.inRowBytes = kSide * 4;
    t.inPlaneCount = 4;
    t.alphaIndex = 3;
    t.maskData = mask.data();
    t.maskRowBytes = kSide;
    t.outData = out.data();
    t.outRowBytes = kSide * 4;
    t.planes = 4;
    t.outWidth = kSide;
    t.outHeight = kSide;
    const PixelRect rect{0, 0, kSide, kSide};
    Fnv f;
    for (bool editable : {false, true}) {
        t.editableTransparency = editable;
        for (int32_t mode = 1; mode <= kGlueModeCount; ++mode) {
            t.glue = mode;
            for (int32_t y = 0; y < kSide; ++y) {
                for (int32_t x = 0; x < kSide; ++x) {
                    FloatRGBA g{float(x) * 0.0731f, float(y) * 0.0677f, float(x + y) * 0.029f,
                                float((x * 7 + y) % 13) * 0.085f};
                    compositePixel(t, x, y, &g, rect, 1);
                }
            }
            for (uint8_t v : out) f.addBytes(v, 1);
        }
    }
    EXPECT_EQ(f.h, 16699486260705207252ull);
}

} // namespace
