// The whole-tile compositor against the one-pixel compositor: for every
// render target, depth, colour model, transparency, mask and glue mode, a
// block composited at once must leave every byte of every destination as
// compositePixel called pixel by pixel leaves it.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "composite/composite_pixel.h"
#include "composite/glue_modes.h"

namespace qf {}
using namespace qf;

namespace {

// An in-memory picture that records every store in order.
class RecordingImage : public CompositeImage {
  public:
    RecordingImage(bool isFloat, uint32_t seed) : isFloat_(isFloat), seed_(seed) {}
    FloatRGBA readPixel(int32_t x, int32_t y) const override {
        const uint32_t h = (uint32_t(x) * 73856093u) ^ (uint32_t(y) * 19349663u) ^ seed_;
        return {float(h & 255) / 255.0f, float((h >> 8) & 255) / 255.0f,
                float((h >> 16) & 255) / 255.0f, float((h >> 24) & 3) / 3.0f};
    }
    void storePixel(int32_t x, int32_t y, const FloatRGBA& c) override {
        stores.push_back({float(x), float(y), 0.0f, 0.0f});
        stores.push_back(c);
    }
    bool holdsFloat() const override { return isFloat_; }

    std::vector<FloatRGBA> stores;

  private:
    bool isFloat_;
    uint32_t seed_;
};

// Host buffers of one tile and everything they are compared by.
struct Buffers {
    std::vector<uint8_t> in, out, mask, preview;
};

struct Case {
    int32_t renderTarget;
    DepthClass depth;
    bool gray;
    bool editable;
    bool mask;
    bool flatten;
    int32_t glue;
    // 1: a host output rectangle and a preview that end inside the tile's
    // first four columns; 2: a preview that ends above the tile's bottom.
    // The pixels past the preview's edges are written onto the edge, those
    // past the output rectangle not at all.
    int32_t cut = 0;
};

constexpr PixelRect kRect{3, 5, 3 + 6, 5 + 7}; // 7 wide, 6 high, at (5, 3)
constexpr int32_t kPadding = 3;                // extra samples at the end of every row

Buffers makeBuffers(const Case& c, std::mt19937& rng) {
    const int32_t bytes = bytesPerSample(c.depth);
    const int32_t planes = (c.gray ? 1 : 3) + (c.editable ? 1 : 0);
    const size_t rowBytes = size_t(kRect.width() * planes + kPadding) * size_t(bytes);
    Buffers b;
    b.in.resize(rowBytes * size_t(kRect.height()));
    b.out.resize(b.in.size());
    b.mask.resize(size_t(kRect.width() + kPadding) * size_t(kRect.height()));
    b.preview.resize(size_t(16 * 16 * 3));
    std::uniform_int_distribution<int32_t> byte(0, 255);
    for (uint8_t& v : b.mask) v = uint8_t(byte(rng));
    b.mask[0] = 0;
    b.mask[1] = 255;
    for (size_t i = 0; i < b.in.size(); i += size_t(bytes)) {
        if (c.depth == DepthClass::Float) {
            const float f = float(byte(rng)) / 200.0f; // beyond 1 too
            std::memcpy(&b.in[i], &f, 4);
        } else if (c.depth == DepthClass::Sixteen) {
            const uint16_t v = uint16_t(byte(rng) * 129); // up to 32895, past 32768
            std::memcpy(&b.in[i], &v, 2);
        } else {
            b.in[i] = uint8_t(byte(rng));
        }
    }
    for (uint8_t& v : b.out) v = uint8_t(byte(rng));
    for (uint8_t& v : b.preview) v = uint8_t(byte(rng));
    return b;
}

CompositeTarget makeTarget(const Case& c, Buffers& b, CompositeImage* image) {
    const int32_t bytes = bytesPerSample(c.depth);
    const int32_t planes = (c.gray ? 1 : 3) + (c.editable ? 1 : 0);
    CompositeTarget t;
    t.renderTarget = c.renderTarget;
    t.glue = c.glue;
    t.depth = c.depth;
    t.gray = c.gray;
    t.editableTransparency = c.editable;
    t.inData = b.in.data();
    t.inRowBytes = (kRect.width() * planes + kPadding) * bytes;
    t.inPlaneCount = planes;
    t.alphaIndex = planes - 1;
    t.maskData = c.mask ? b.mask.data() : nullptr;
    t.maskRowBytes = kRect.width() + kPadding;
    t.outData = b.out.data();
    t.outRowBytes = t.inRowBytes;
    t.planes = planes;
    // The host's output rectangle is one column and one row short of the
    // tile (or narrow): the columns and the row past it must not be written.
    t.outWidth = c.cut == 1 ? 3 : kRect.width() - 1;
    t.outHeight = kRect.height() - 1;
    t.previewData = b.preview.data();
    t.previewWidth = c.cut == 1 ? 8 : 16;
    t.previewHeight = c.cut == 2 ? 6 : 16;
    t.previewPlaneDistance = 256;
    t.previewPlanes = c.gray ? 1 : 3;
    t.image = image;
    t.flattenImage = c.flatten;
    return t;
}

std::vector<FloatRGBA> generatedColours(std::mt19937& rng, int32_t stride) {
    std::uniform_real_distribution<float> u(-0.2f, 1.6f);
    std::vector<FloatRGBA> g(size_t(stride) * size_t(kRect.height()));
    for (FloatRGBA& c : g) c = {u(rng), u(rng), u(rng), u(rng)};
    g[0] = {1.0f, 1.0f, 1.0f, 1.0f};
    g[1] = {0.0f, 0.0f, 0.0f, 0.0f};
    g[2] = {2.0f, 0.5f, 1.2f, 0.995f};
    // Values no pattern gives but every path must treat alike: NaN, both
    // infinities, negative zero, alpha beyond both ends.
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    g[3] = {nan, -0.0f, inf, 0.5f};
    g[4] = {0.25f, -inf, 0.75f, nan};
    g[5] = {0.5f, nan, 3.0f, 1.5f};
    g[6] = {-1.0f, 0.5f, 0.5f, -0.5f};
    // The same again in the next row, at other places among four
    // neighbours.
    for (int32_t k = 0; k < 4; ++k) {
        g[size_t(stride + k)] = g[size_t(3 + (k + 1) % 4)];
    }
    return g;
}

void expectSameComposite(const Case& c, uint32_t seed) {
    std::mt19937 rng(seed);
    const int32_t stride = kRect.width() + 2;
    const std::vector<FloatRGBA> colours = generatedColours(rng, stride);
    Buffers one = makeBuffers(c, rng);
    Buffers block = one;
    const bool floatImage = c.depth == DepthClass::Float;
    RecordingImage imageOne(floatImage, seed), imageBlock(floatImage, seed);
    const CompositeTarget tOne = makeTarget(c, one, &imageOne);
    const CompositeTarget tBlock = makeTarget(c, block, &imageBlock);

    for (int32_t y = kRect.top; y < kRect.bottom; ++y) {
        for (int32_t x = kRect.left; x < kRect.right; ++x) {
            FloatRGBA g = colours[size_t((y - kRect.top) * stride + (x - kRect.left))];
            compositePixel(tOne, x, y, &g, kRect, 1);
        }
    }
    const std::vector<FloatRGBA> before = colours;
    compositeBlock(tBlock, colours.data(), stride, kRect);

    const auto describe = [&c] {
        return ::testing::Message()
               << "target " << c.renderTarget << " depth " << int(c.depth) << " gray " << c.gray
               << " editable " << c.editable << " mask " << c.mask << " flatten " << c.flatten
               << " glue " << c.glue << " cut " << c.cut;
    };
    EXPECT_EQ(one.out, block.out) << describe();
    EXPECT_EQ(one.preview, block.preview) << describe();
    ASSERT_EQ(imageOne.stores.size(), imageBlock.stores.size()) << describe();
    // (No stores at all for the host targets: memcmp must not see null.)
    EXPECT_TRUE(imageOne.stores.empty() ||
                std::memcmp(imageOne.stores.data(), imageBlock.stores.data(),
                            imageOne.stores.size() * sizeof(FloatRGBA)) == 0)
        << describe();
    EXPECT_EQ(std::memcmp(before.data(), colours.data(), before.size() * sizeof(FloatRGBA)), 0);
}

TEST(CompositeBlock, EveryGlueModeMatchesThePixelByPixelPath) {
    // All 69 modes and two outside the list, on 8-bit RGB and 16-bit gray
    // final renders with a mask, transparency alternating.
    for (int32_t glue = 0; glue <= 70; ++glue) {
        const bool editable = glue % 2 == 0;
        expectSameComposite({0, DepthClass::Eight, false, editable, true, false, glue},
                            uint32_t(glue));
        expectSameComposite({0, DepthClass::Sixteen, true, !editable, true, false, glue},
                            uint32_t(glue) + 1000u);
    }
}

TEST(CompositeBlock, EveryTargetDepthAndModelMatchesThePixelByPixelPath) {
    const int32_t glues[] = {kGlueNormal, kGlueMultiply, kGlueColor, kGlueParietal,
                             kGlueStarbright};
    uint32_t seed = 1;
    for (int32_t target = 0; target <= 3; ++target) {
        for (DepthClass depth : {DepthClass::Eight, DepthClass::Sixteen, DepthClass::Float}) {
            for (int32_t flags = 0; flags < 16; ++flags) {
                const Case c{target,           depth,
                             (flags & 1) != 0, (flags & 2) != 0,
                             (flags & 4) != 0, (flags & 8) != 0,
                             glues[seed % 5],  int32_t(seed % 3)};
                expectSameComposite(c, seed++);
            }
        }
    }
}

TEST(CompositeBlock, MissingHostBuffersReadTransparentBlackAndWriteNothing) {
    std::mt19937 rng(7);
    const Case c{0, DepthClass::Eight, false, true, true, false, kGlueNormal};
    Buffers one = makeBuffers(c, rng);
    Buffers block = one;
    CompositeTarget tOne = makeTarget(c, one, nullptr);
    CompositeTarget tBlock = makeTarget(c, block, nullptr);
    tOne.inData = tBlock.inData = nullptr;
    const int32_t stride = kRect.width();
    const std::vector<FloatRGBA> colours = generatedColours(rng, stride);
    for (int32_t y = kRect.top; y < kRect.bottom; ++y) {
        for (int32_t x = kRect.left; x < kRect.right; ++x) {
            FloatRGBA g = colours[size_t((y - kRect.top) * stride + (x - kRect.left))];
            compositePixel(tOne, x, y, &g, kRect, 1);
        }
    }
    compositeBlock(tBlock, colours.data(), stride, kRect);
    EXPECT_EQ(one.out, block.out);

    // No output buffer: nothing changes at all.
    const std::vector<uint8_t> untouched = block.out;
    tBlock.outData = nullptr;
    compositeBlock(tBlock, colours.data(), stride, kRect);
    EXPECT_EQ(block.out, untouched);
}

} // namespace
