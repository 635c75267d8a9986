// The pixel compositor on small host buffers of every depth, gray and RGB,
// with and without editable transparency, for all three render targets.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "composite/composite_pixel.h"
#include "composite/glue_modes.h"

namespace qf {}
using namespace qf;

namespace {

constexpr PixelRect kTile{10, 20, 12, 23}; // 3 wide, 2 high, at (20, 10)

// A host tile of one sample type: planes interleaved per pixel, rows padded
// to a stride larger than the row so stride mistakes show.
template <typename Sample> struct HostTile {
    int32_t planes;
    int32_t rowSamples;
    std::vector<Sample> in;
    std::vector<Sample> out;
    std::vector<uint8_t> mask;

    explicit HostTile(int32_t planeCount)
        : planes(planeCount), rowSamples(kTile.width() * planeCount + 5),
          in(size_t(rowSamples) * kTile.height()), out(in.size()),
          mask(size_t(kTile.width() + 3) * kTile.height(), 255) {}

    size_t index(int32_t x, int32_t y, int32_t plane) const {
        return size_t(y - kTile.top) * rowSamples + size_t(x - kTile.left) * planes + plane;
    }
    void setIn(int32_t x, int32_t y, std::initializer_list<Sample> samples) {
        int32_t p = 0;
        for (Sample s : samples) in[index(x, y, p++)] = s;
    }
    Sample outAt(int32_t x, int32_t y, int32_t plane) const { return out[index(x, y, plane)]; }
    void setMask(int32_t x, int32_t y, uint8_t v) {
        mask[size_t(y - kTile.top) * (kTile.width() + 3) + (x - kTile.left)] = v;
    }

    CompositeTarget target(DepthClass depth, int32_t glue, bool editable = false) {
        CompositeTarget t;
        t.renderTarget = 0;
        t.glue = glue;
        t.depth = depth;
        t.gray = planes - (editable ? 1 : 0) < 3;
        t.editableTransparency = editable;
        t.inData = in.data();
        t.inRowBytes = int32_t(rowSamples * sizeof(Sample));
        t.inPlaneCount = planes;
        t.alphaIndex = planes - 1;
        t.maskData = nullptr;
        t.maskRowBytes = kTile.width() + 3;
        t.outData = out.data();
        t.outRowBytes = t.inRowBytes;
        t.planes = planes;
        t.outWidth = kTile.width();
        t.outHeight = kTile.height();
        return t;
    }
};

void composite(const CompositeTarget& t, int32_t x, int32_t y, FloatRGBA generated) {
    compositePixel(t, x, y, &generated, kTile, 1);
}

TEST(CompositePixel, NearlyOpaqueBecomesOpaqueOnlyBelowFloat) {
    HostTile<uint8_t> h8(4);
    composite(h8.target(DepthClass::Eight, kGlueNormal, true), 21, 11, {1.0f, 1.0f, 1.0f, 0.995f});
    EXPECT_EQ(h8.outAt(21, 11, 3), 255); // 0.995 x 1.007 is clamped to 1

    HostTile<float> hf(4);
    composite(hf.target(DepthClass::Float, kGlueNormal, true), 21, 11, {1.0f, 1.0f, 1.0f, 0.995f});
    EXPECT_EQ(hf.outAt(21, 11, 3), 0.995f);
}

TEST(CompositePixel, SpreadOverflow) {
    FloatRGBA c{1.4f, 0.5f, 0.2f, 1.0f};
    spreadOverflow(c); // excess 0.4: h = 0.046875
    EXPECT_EQ(c.r, 1.4f);
    EXPECT_NEAR(c.g, 0.546875f, 1e-6f);
    EXPECT_NEAR(c.b, 0.246875f, 1e-6f);

    // Green pushed over 1 passes its own excess on to blue.
    c = {2.0f, 0.99f, 0.2f, 1.0f}; // f = 0.234375, h = 0.1171875
    spreadOverflow(c);
    EXPECT_NEAR(c.g, 1.1071875f, 1e-6f);
    EXPECT_NEAR(c.b, 0.2f + 0.1171875f + 0.1071875f, 1e-6f);

    c = {1.5f, 1.5f, 0.25f, 1.0f}; // two channels over: the third gets all of f
    spreadOverflow(c);
    EXPECT_EQ(c.r, 1.5f);
    EXPECT_EQ(c.g, 1.5f);
    EXPECT_EQ(c.b, 0.25f + 0.234375f);

    c = {1.5f, 1.5f, 1.5f, 1.0f};
    spreadOverflow(c);
    EXPECT_EQ(c.b, 1.5f);

    // Through the compositor: red clips to 1 after the glue mode; the spread
    // green (0.546875 exactly) and blue (8089/32768) are stored truncated.
    HostTile<uint8_t> h(3);
    composite(h.target(DepthClass::Eight, kGlueNormal), 20, 10, {1.4f, 0.5f, 0.2f, 1.0f});
    EXPECT_EQ(h.outAt(20, 10, 0), 255);
    EXPECT_EQ(h.outAt(20, 10, 1), 139);
    EXPECT_EQ(h.outAt(20, 10, 2), 62);
}

TEST(CompositePixel, GrayDocumentsStoreTheWeightedGrey) {
    HostTile<uint8_t> h(1);
    h.setIn(22, 11, {200});
    composite(h.target(DepthClass::Eight, kGlueNormal), 22, 11, {1.0f, 0.0f, 0.0f, 1.0f});
    // 0.3 red, 9830/32768 after the glue mode: 76.497.
    EXPECT_EQ(h.outAt(22, 11, 0), 76);

    const FloatRGBA src =
        readSourcePixel(h.target(DepthClass::Eight, kGlueNormal), 22, 11, kTile, 1);
    EXPECT_EQ(src.r, 200.0f / 255.0f);
    EXPECT_EQ(src.g, src.r);
    EXPECT_EQ(src.b, src.r);
    EXPECT_EQ(src.a, 1.0f);
}

TEST(CompositePixel, FloatDocumentsBypassTheGlueModeButTheirPreviewDoesNot) {
    HostTile<float> h(3);
    h.setIn(20, 11, {0.5f, 0.5f, 0.5f});
    composite(h.target(DepthClass::Float, kGlueMultiply), 20, 11, {70000.0f, 0.5f, 0.25f, 0.5f});
    EXPECT_EQ(h.outAt(20, 11, 0), 65535.0f);
    EXPECT_EQ(h.outAt(20, 11, 1), 0.5f);
    EXPECT_EQ(h.outAt(20, 11, 2), 0.25f);

    // The preview of the same document is not float: 0.5 x 0.5 = 0.25,
    // opaque over the checkerboard, 63.75 stored as 63.
    std::vector<uint8_t> preview(40 * 20 * 3, 7);
    CompositeTarget t = h.target(DepthClass::Float, kGlueMultiply);
    t.renderTarget = 1;
    t.previewData = preview.data();
    t.previewWidth = 40;
    t.previewHeight = 20;
    t.previewPlaneDistance = 40 * 20;
    t.previewPlanes = 3;
    composite(t, 20, 11, {0.5f, 0.5f, 0.5f, 1.0f});
    const size_t at = 40 * 11 + 20;
    EXPECT_EQ(preview[at], 63);
    EXPECT_EQ(preview[at + 800], 63);
    EXPECT_EQ(preview[at + 1600], 63);
}

TEST(CompositePixel, HalfTransparentNormal) {
    // Without editable transparency the colour is laid over the source with
    // alpha 0.5 x 1.007 = 0.5035.
    HostTile<uint8_t> h(3);
    h.setIn(20, 10, {0, 0, 0});
    h.setIn(21, 10, {255, 255, 255});
    CompositeTarget t = h.target(DepthClass::Eight, kGlueNormal);
    composite(t, 20, 10, {1.0f, 1.0f, 1.0f, 0.5f});
    composite(t, 21, 10, {0.0f, 0.0f, 0.0f, 0.5f});
    EXPECT_EQ(h.outAt(20, 10, 0), 128); // 0.5035 x 255 = 128.39
    EXPECT_EQ(h.outAt(21, 10, 0), 126); // 0.4965 x 255 = 126.61

    // With editable transparency the colour is stored as generated and the
    // alpha goes into the transparency plane.
    HostTile<uint8_t> e(4);
    e.setIn(20, 10, {0, 0, 0, 255});
    composite(e.target(DepthClass::Eight, kGlueNormal, true), 20, 10, {1.0f, 1.0f, 1.0f, 0.5f});
    EXPECT_EQ(e.outAt(20, 10, 0), 255);
    EXPECT_EQ(e.outAt(20, 10, 3), 128);
}

TEST(CompositePixel, PreviewShowsTheCheckerboardBehindTransparency) {
    std::vector<uint8_t> preview(32 * 32, 7);
    CompositeTarget t;
    t.renderTarget = 1;
    t.glue = kGlueNormal;
    t.previewData = preview.data();
    t.previewWidth = 32;
    t.previewHeight = 32;
    t.previewPlaneDistance = 32 * 32;
    t.previewPlanes = 1;
    const PixelRect all{0, 0, 32, 32};
    for (int32_t y = 0; y < 32; ++y) {
        for (int32_t x = 0; x < 32; ++x) {
            FloatRGBA g{0.0f, 0.0f, 0.0f, 0.0f};
            compositePixel(t, x, y, &g, all, 1);
        }
    }
    EXPECT_EQ(preview[0], 255);
    EXPECT_EQ(preview[8], 204);      // (8 ^ 0) & 8
    EXPECT_EQ(preview[32 * 8], 204); // (0 ^ 8) & 8
    EXPECT_EQ(preview[32 * 8 + 8], 255);
    EXPECT_EQ(preview[32 * 31 + 23], 204); // (23 ^ 31) & 8 == 8
    EXPECT_EQ(preview[32 * 31 + 24], 255); // (24 ^ 31) & 8 == 0

    const FloatRGBA c = checkerColour(9, 1);
    EXPECT_EQ(c.r, 0.8f);
    EXPECT_EQ(c.a, 1.0f);
}

TEST(CompositePixel, PreviewWritesClampToTheBuffer) {
    std::vector<uint8_t> preview(4 * 3 * 3, 0);
    CompositeTarget t;
    t.renderTarget = 1;
    t.previewData = preview.data();
    t.previewWidth = 4;
    t.previewHeight = 3;
    t.previewPlaneDistance = 12;
    t.previewPlanes = 3;
    writePixel(t, 9, -5, {1.0f, 0.5f, 0.25f, 1.0f}, kTile, 1);
    EXPECT_EQ(preview[3], 255); // column 3 of row 0
    EXPECT_EQ(preview[12 + 3], 127);
    EXPECT_EQ(preview[24 + 3], 63);

    t.previewData = nullptr; // nothing to write to: nothing happens
    writePixel(t, 0, 0, {1.0f, 1.0f, 1.0f, 1.0f}, kTile, 1);
}

TEST(CompositePixel, MaskCoverage) {
    HostTile<uint8_t> h(3);
    h.setIn(20, 10, {0, 0, 0});
    h.setIn(21, 10, {255, 255, 255});
    h.setIn(22, 10, {0, 0, 0});
    h.setMask(20, 10, 0);
    h.setMask(21, 10, 128);
    h.setMask(22, 10, 128);
    CompositeTarget t = h.target(DepthClass::Eight, kGlueNormal);
    t.maskData = h.mask.data();
    composite(t, 20, 10, {1.0f, 1.0f, 1.0f, 1.0f});
    composite(t, 21, 10, {0.0f, 0.0f, 0.0f, 1.0f});
    composite(t, 22, 10, {1.0f, 1.0f, 1.0f, 1.0f});
    EXPECT_EQ(h.outAt(20, 10, 0), 0);   // mask 0 keeps the source
    EXPECT_EQ(h.outAt(21, 10, 0), 126); // 1 - 128/255 = 0.49804, truncated
    EXPECT_EQ(h.outAt(22, 10, 0), 128);

    EXPECT_EQ(maskValue(t, 21, 10, kTile, 1), 128.0f / 255.0f);
    EXPECT_EQ(maskValue(t, 19, 10, kTile, 1), 0.0f); // outside the tile
    EXPECT_EQ(maskValue(t, 20, 12, kTile, 1), 0.0f);
    t.maskData = nullptr;
    EXPECT_EQ(maskValue(t, 19, 10, kTile, 1), 1.0f);
}

TEST(CompositePixel, SampleScalesTruncate) {
    HostTile<uint8_t> h8(3);
    HostTile<uint16_t> h16(3);
    const CompositeTarget t8 = h8.target(DepthClass::Eight, kGlueNormal);
    const CompositeTarget t16 = h16.target(DepthClass::Sixteen, kGlueNormal);
    writePixel(t8, 20, 10, {1.0f, 0.9999f, 0.0f, 1.0f}, kTile, 1);
    writePixel(t16, 20, 10, {1.0f, 0.9999f, 0.0f, 1.0f}, kTile, 1);
    EXPECT_EQ(h8.outAt(20, 10, 0), 255);
    EXPECT_EQ(h8.outAt(20, 10, 1), 254);
    EXPECT_EQ(h16.outAt(20, 10, 0), 32768);
    EXPECT_EQ(h16.outAt(20, 10, 1), 32764);

    // Values the sample type cannot hold are limited instead of wrapping.
    writePixel(t8, 21, 10, {-0.5f, 3.0f, 0.0f, 1.0f}, kTile, 1);
    writePixel(t16, 21, 10, {-0.5f, 3.0f, 0.0f, 1.0f}, kTile, 1);
    EXPECT_EQ(h8.outAt(21, 10, 0), 0);
    EXPECT_EQ(h8.outAt(21, 10, 1), 255);
    EXPECT_EQ(h16.outAt(21, 10, 0), 0);
    EXPECT_EQ(h16.outAt(21, 10, 1), 65535);
}

TEST(CompositePixel, ByteSamplesAndMaskAreDividedBy255) {
    HostTile<uint8_t> h(1);
    CompositeTarget t = h.target(DepthClass::Eight, kGlueNormal);
    t.maskData = h.mask.data();
    volatile float scale = 255.0f; // divide at run time, as the host data would be
    for (int v = 0; v < 256; ++v) {
        h.setIn(21, 11, {uint8_t(v)});
        h.setMask(21, 11, uint8_t(v));
        ASSERT_EQ(readSourcePixel(t, 21, 11, kTile, 1).g, float(v) / scale) << v;
        ASSERT_EQ(maskValue(t, 21, 11, kTile, 1), float(v) / scale) << v;
    }
}

TEST(CompositePixel, SixteenBitRowsAndPlanes) {
    HostTile<uint16_t> h(4);
    h.setIn(22, 11, {32768, 16384, 8192, 16384});
    const CompositeTarget t = h.target(DepthClass::Sixteen, kGlueMultiply, true);
    const FloatRGBA src = readSourcePixel(t, 22, 11, kTile, 1);
    EXPECT_EQ(src.r, 1.0f);
    EXPECT_EQ(src.g, 0.5f);
    EXPECT_EQ(src.b, 0.25f);
    EXPECT_EQ(src.a, 0.5f);

    // Multiply by 0.5, opaque; with editable transparency nothing is laid
    // over the source, the alpha is stored.
    composite(t, 22, 11, {0.5f, 0.5f, 0.5f, 1.0f});
    EXPECT_EQ(h.outAt(22, 11, 0), 16384);
    EXPECT_EQ(h.outAt(22, 11, 1), 8192);
    EXPECT_EQ(h.outAt(22, 11, 2), 4096);
    EXPECT_EQ(h.outAt(22, 11, 3), 32768);
}

TEST(CompositePixel, RowModeOtherThanOneUsesTheRowPointer) {
    // The caller points the buffers at the current row.
    HostTile<uint8_t> h(3);
    CompositeTarget t = h.target(DepthClass::Eight, kGlueNormal);
    h.setIn(21, 11, {10, 20, 30});
    t.inData = h.in.data() + h.rowSamples;
    t.outData = h.out.data() + h.rowSamples;
    const FloatRGBA src = readSourcePixel(t, 21, 11, kTile, 0);
    EXPECT_EQ(src.g, 20.0f / 255.0f);
    FloatRGBA g{0.0f, 0.0f, 0.0f, 0.0f};
    compositePixel(t, 21, 11, &g, kTile, 0);
    EXPECT_EQ(h.outAt(21, 11, 1), 20); // transparent: the source shows
}

TEST(CompositePixel, OutsideTheTileOrOutputNothingIsWritten) {
    HostTile<uint8_t> h(3);
    CompositeTarget t = h.target(DepthClass::Eight, kGlueNormal);
    const std::vector<uint8_t> before = h.out;
    writePixel(t, 19, 10, {1.0f, 1.0f, 1.0f, 1.0f}, kTile, 1);
    writePixel(t, 20, 12, {1.0f, 1.0f, 1.0f, 1.0f}, kTile, 1);
    t.outWidth = 2; // the host's output rectangle is narrower than the tile
    writePixel(t, 22, 10, {1.0f, 1.0f, 1.0f, 1.0f}, kTile, 1);
    EXPECT_EQ(h.out, before);

    const FloatRGBA src = readSourcePixel(t, 30, 10, kTile, 1);
    EXPECT_EQ(src.a, 0.0f);
    t.inData = nullptr;
    EXPECT_EQ(readSourcePixel(t, 20, 10, kTile, 1).a, 0.0f);
}

TEST(CompositePixel, OverComposite) {
    FloatRGBA bottom{0.0f, 1.0f, 0.5f, 0.5f};
    overComposite({1.0f, 0.0f, 0.5f, 0.5f}, bottom);
    // d = 0.5 / (0.5 + 0.5 - 0.25) = 2/3; alpha 0.5 + 0.5 x 0.5.
    EXPECT_FLOAT_EQ(bottom.r, 2.0f / 3.0f);
    EXPECT_FLOAT_EQ(bottom.g, 1.0f / 3.0f);
    EXPECT_EQ(bottom.b, 0.5f);
    EXPECT_EQ(bottom.a, 0.75f);

    FloatRGBA kept{0.25f, 0.25f, 0.25f, 1.0f};
    overComposite({1.0f, 1.0f, 1.0f, 0.0f}, kept);
    EXPECT_EQ(kept.r, 0.25f);
}

class MemoryImage : public CompositeImage {
  public:
    explicit MemoryImage(bool isFloat) : isFloat_(isFloat) {}
    FloatRGBA readPixel(int32_t, int32_t) const override { return {0.5f, 0.5f, 0.5f, 1.0f}; }
    void storePixel(int32_t x, int32_t y, const FloatRGBA& c) override {
        lastX = x;
        lastY = y;
        stored = c;
    }
    bool holdsFloat() const override { return isFloat_; }

    int32_t lastX = -1, lastY = -1;
    FloatRGBA stored{-1.0f, -1.0f, -1.0f, -1.0f};

  private:
    bool isFloat_;
};

TEST(CompositePixel, ImageTargetBlendsUnlessItHoldsFloats) {
    MemoryImage bytes(false);
    CompositeTarget t;
    t.renderTarget = 2;
    t.glue = kGlueMultiply;
    t.image = &bytes;
    FloatRGBA g{0.5f, 0.5f, 2.0f, 0.5f};
    compositePixel(t, 5, 6, &g, kTile, 1);
    EXPECT_EQ(bytes.lastX, 5);
    EXPECT_EQ(bytes.lastY, 6);
    // Blue spreads h = 0.1171875 to red and green (20224/32768), then all
    // three are multiplied by 0.5 and limited to 1.
    EXPECT_EQ(bytes.stored.r, 10112.0f / 32768.0f);
    EXPECT_EQ(bytes.stored.g, 10112.0f / 32768.0f);
    EXPECT_EQ(bytes.stored.b, 1.0f);
    EXPECT_EQ(bytes.stored.a, 0.5f * 1.007f); // not laid over anything

    MemoryImage floats(true);
    t.image = &floats;
    g = {0.5f, 0.5f, 2.0f, 0.5f};
    compositePixel(t, 5, 6, &g, kTile, 1);
    EXPECT_EQ(floats.stored.r, 0.5f);
    EXPECT_EQ(floats.stored.b, 2.0f);
    EXPECT_EQ(floats.stored.a, 0.5f);
}

} // namespace
