// Copying a document into a picture, with a fake document that serves
// rectangles of a synthetic image at any depth, plane count and row padding.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "composite/document_copy.h"
#include "composite/picture/pyramid_image.h"
#include "pyramid_test_support.h"

namespace qf {}
using namespace qf;

namespace {

using namespace pyramid_test;

// A document whose sample (x, y, plane) is a fixed function of its
// position, delivered interleaved with `padding` spare bytes after each row.
class FakeDocument : public DocumentSource {
  public:
    FakeDocument(DepthClass depth, int32_t planes, bool transparency, int32_t alphaIndex)
        : format_{depth, planes, transparency, alphaIndex} {}

    DocumentFormat format() const override { return format_; }
    void beginCopy() override { calls += "begin;"; }
    int16_t fetchRows(const PixelRect& rect, DocumentRows& rows) override {
        calls += "fetch;";
        fetched.push_back(rect);
        if (failAt >= 0 && int(fetched.size()) - 1 == failAt) return failCode;
        const int32_t bytes = format_.depth == DepthClass::Eight     ? 1
                              : format_.depth == DepthClass::Sixteen ? 2
                                                                     : 4;
        const int32_t rowBytes = rect.width() * format_.planes * bytes + padding;
        buffer.assign(size_t(rowBytes) * size_t(rect.height()), 0xEE);
        for (int32_t y = 0; y < rect.height(); ++y)
            for (int32_t x = 0; x < rect.width(); ++x)
                for (int32_t p = 0; p < format_.planes; ++p) {
                    uint8_t* at = buffer.data() + size_t(y) * rowBytes +
                                  (size_t(x) * format_.planes + p) * bytes;
                    const uint32_t v = sample(rect.left + x, rect.top + y, p);
                    if (bytes == 1) {
                        at[0] = uint8_t(v);
                    } else if (bytes == 2) {
                        const uint16_t s = uint16_t(v);
                        std::memcpy(at, &s, 2);
                    } else {
                        const float f = float(v) / 256.0f;
                        std::memcpy(at, &f, 4);
                    }
                }
        rows.data = buffer.data();
        rows.rowBytes = rowBytes;
        rows.samplesPerPixel = format_.planes;
        return 0;
    }
    void copyStopped(int32_t reason) override {
        calls += "stopped " + std::to_string(reason) + ";";
    }
    void endCopy() override { calls += "end;"; }

    // The value of plane p at (x, y), in the depth's range.
    uint32_t sample(int32_t x, int32_t y, int32_t p) const {
        const uint32_t v = uint32_t(x * 7 + y * 13 + p * 50);
        switch (format_.depth) {
        case DepthClass::Eight:
            return v % 256;
        case DepthClass::Sixteen:
            return (v * 37) % 32769;
        default:
            return v % 512;
        }
    }

    DocumentFormat format_;
    int32_t padding = 3;
    int failAt = -1;
    int16_t failCode = 0;
    std::string calls;
    std::vector<PixelRect> fetched;
    std::vector<uint8_t> buffer;
};

TEST(DocumentCopy, GrayEightBitGivesEqualColoursAndFullAlpha) {
    FakeDocument doc(DepthClass::Eight, 1, false, 1);
    PyramidImage picture;
    ASSERT_TRUE(createImage(&picture, 600, 520, kPyramidRGBA8, kPyramidClamp, false));
    EXPECT_TRUE(copyDocumentIntoImage(picture, doc));
    EXPECT_TRUE(picture.filled());
    EXPECT_EQ(doc.calls, "begin;fetch;fetch;fetch;fetch;end;");
    // Tiles in index order, each limited to the picture.
    ASSERT_EQ(doc.fetched.size(), 4u);
    EXPECT_EQ(doc.fetched[0], (PixelRect{0, 0, 512, 512}));
    EXPECT_EQ(doc.fetched[1], (PixelRect{0, 512, 512, 600}));
    EXPECT_EQ(doc.fetched[2], (PixelRect{512, 0, 520, 512}));
    EXPECT_EQ(doc.fetched[3], (PixelRect{512, 512, 520, 600}));
    for (int32_t y : {0, 1, 300, 511, 512, 519})
        for (int32_t x : {0, 5, 511, 512, 599}) {
            uint32_t word;
            std::memcpy(&word, picture.pixelAddress(x, y, 0), 4);
            const uint32_t g = doc.sample(x, y, 0);
            EXPECT_EQ(word, (g << 24) | (g << 16) | (g << 8) | 255u) << x << "," << y;
        }
}

TEST(DocumentCopy, RgbWithTransparencyCopiesEverySampleUnchanged) {
    struct Case {
        DepthClass depth;
        int32_t kind;
    };
    for (const Case& c :
         {Case{DepthClass::Eight, kPyramidRGBA8}, Case{DepthClass::Sixteen, kPyramidRGBA16},
          Case{DepthClass::Float, kPyramidRGBAFloat}}) {
        // Five planes: colour, transparency at plane 3, one more after it.
        FakeDocument doc(c.depth, 5, true, 3);
        PyramidImage picture;
        ASSERT_TRUE(createImage(&picture, 530, 40, c.kind, kPyramidClamp, false));
        EXPECT_TRUE(copyDocumentIntoImage(picture, doc));
        for (int32_t y : {0, 17, 39})
            for (int32_t x : {0, 100, 511, 512, 529}) {
                double raw[4];
                readRaw(picture, x, y, 0, raw);
                for (int p = 0; p < 4; ++p) {
                    const double want = c.depth == DepthClass::Float ? doc.sample(x, y, p) / 256.0
                                                                     : doc.sample(x, y, p);
                    ASSERT_EQ(raw[p], want)
                        << int(c.depth) << " " << x << "," << y << " plane " << p;
                }
            }
    }
}

TEST(DocumentCopy, OpaqueDocumentsGetTheDepthsFullAlpha) {
    FakeDocument sixteen(DepthClass::Sixteen, 3, false, 3);
    PyramidImage a;
    ASSERT_TRUE(createImage(&a, 10, 10, kPyramidRGBA16, kPyramidClamp, false));
    EXPECT_TRUE(copyDocumentIntoImage(a, sixteen));
    double raw[4];
    readRaw(a, 4, 5, 0, raw);
    EXPECT_EQ(raw[3], 32768);
    EXPECT_EQ(raw[2], sixteen.sample(4, 5, 2));

    FakeDocument floats(DepthClass::Float, 2, false, 1); // gray with a spare plane
    PyramidImage b;
    ASSERT_TRUE(createImage(&b, 10, 10, kPyramidRGBAFloat, kPyramidClamp, false));
    EXPECT_TRUE(copyDocumentIntoImage(b, floats));
    readRaw(b, 9, 9, 0, raw);
    EXPECT_EQ(raw[3], 1.0);
    EXPECT_EQ(raw[0], floats.sample(9, 9, 0) / 256.0);
    EXPECT_EQ(raw[1], raw[0]);
    EXPECT_EQ(raw[2], raw[0]);

    // A transparency plane the delivery does not hold is not read.
    FakeDocument bad(DepthClass::Eight, 3, true, 7);
    PyramidImage c;
    ASSERT_TRUE(createImage(&c, 4, 4, kPyramidRGBA8, kPyramidClamp, false));
    EXPECT_TRUE(copyDocumentIntoImage(c, bad));
    readRaw(c, 1, 1, 0, raw);
    EXPECT_EQ(raw[3], 255);
}

TEST(DocumentCopy, PictureOfTheWrongKindIsLeftUntouched) {
    FakeDocument doc(DepthClass::Sixteen, 3, false, 3);
    for (int32_t kind : {kPyramidRGBA8, kPyramidRGBAFloat, kPyramidRGB16, kPyramidGray16}) {
        PyramidImage picture;
        ASSERT_TRUE(createImage(&picture, 8, 8, kind, kPyramidClamp, false));
        fillUniform(picture, 0, 77);
        EXPECT_FALSE(copyDocumentIntoImage(picture, doc));
        EXPECT_FALSE(picture.filled());
        double raw[4];
        readRaw(picture, 3, 3, 0, raw);
        EXPECT_EQ(raw[0], 77);
    }
    EXPECT_EQ(doc.calls, ""); // the host was not even asked
    PyramidImage none;
    EXPECT_FALSE(copyDocumentIntoImage(none, doc));
}

TEST(DocumentCopy, HostFailureStopsAtTheFailingTile) {
    FakeDocument doc(DepthClass::Eight, 3, false, 3);
    doc.failAt = 2;
    doc.failCode = -108;
    PyramidImage picture;
    ASSERT_TRUE(createImage(&picture, 1100, 600, kPyramidRGBA8, kPyramidClamp, false));
    fillUniform(picture, 0, 9);
    picture.setFilled(true);
    EXPECT_FALSE(copyDocumentIntoImage(picture, doc));
    EXPECT_FALSE(picture.filled());
    EXPECT_EQ(doc.calls, "begin;fetch;fetch;fetch;stopped 231;end;");
    double raw[4];
    readRaw(picture, 600, 100, 0, raw); // tile 1: copied
    EXPECT_EQ(raw[0], doc.sample(600, 100, 0));
    readRaw(picture, 1050, 100, 0, raw); // tile 2: failed, previous content
    EXPECT_EQ(raw[0], 9);
    readRaw(picture, 10, 550, 0, raw); // tile 3: never asked for
    EXPECT_EQ(raw[0], 9);
}

TEST(DocumentCopy, BorderPicturesReceiveTheDocumentInside) {
    FakeDocument doc(DepthClass::Eight, 3, false, 3);
    PyramidImage picture;
    ASSERT_TRUE(createImage(&picture, 520, 6, kPyramidRGBA8, kPyramidClamp, true));
    EXPECT_TRUE(copyDocumentIntoImage(picture, doc));
    ASSERT_EQ(doc.fetched.size(), 2u);
    EXPECT_EQ(doc.fetched[0], (PixelRect{0, 0, 6, 511}));
    EXPECT_EQ(doc.fetched[1], (PixelRect{0, 511, 6, 520}));
    double raw[4];
    readRaw(picture, 1 + 515, 1 + 4, 0, raw);
    EXPECT_EQ(raw[1], doc.sample(515, 4, 1));
    readRaw(picture, 0, 0, 0, raw);
    EXPECT_EQ(raw[0], 0); // the border itself is not part of the document
}

} // namespace
