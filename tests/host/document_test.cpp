#include "host/document.h"

#include <gtest/gtest.h>

namespace qf {}
using namespace qf;

using host::ColorModel;
using host::Document;
using host::Transparency;

namespace {

struct FormatCase {
    ColorModel model;
    int depth;
    Transparency transparency;
    bool mask;
    int16_t mode;
    int16_t planes;
    int16_t filterCase;
};

class DocumentFormat : public testing::TestWithParam<FormatCase> {};

TEST_P(DocumentFormat, ReportsModePlanesAndFilterCase) {
    const FormatCase& c = GetParam();
    std::string error;
    Document d = Document::make(5, 4, c.model, c.depth, c.transparency, &error, 2);
    ASSERT_TRUE(d.valid()) << error;
    if (c.mask) {
        ASSERT_TRUE(d.setMask(std::vector<uint8_t>(20, 255)));
    }
    EXPECT_EQ(d.imageMode(), c.mode);
    EXPECT_EQ(d.planes(), c.planes);
    EXPECT_EQ(d.filterCase(), c.filterCase);
    EXPECT_EQ(d.bytes().size(), 5u * 4u * d.pixelBytes());
}

INSTANTIATE_TEST_SUITE_P(
    AllFormats, DocumentFormat,
    testing::Values(FormatCase{ColorModel::gray, 8, Transparency::none, false, 1, 1, 1},
                    FormatCase{ColorModel::gray, 16, Transparency::none, false, 10, 1, 1},
                    FormatCase{ColorModel::gray, 32, Transparency::none, true, 17, 1, 2},
                    FormatCase{ColorModel::rgb, 8, Transparency::none, true, 3, 3, 2},
                    FormatCase{ColorModel::rgb, 16, Transparency::editable, false, 11, 4, 4},
                    FormatCase{ColorModel::rgb, 32, Transparency::editable, true, 16, 4, 5},
                    FormatCase{ColorModel::gray, 8, Transparency::locked, false, 1, 1, 6},
                    FormatCase{ColorModel::rgb, 16, Transparency::locked, true, 11, 3, 7},
                    FormatCase{ColorModel::multichannel, 8, Transparency::none, false, 7, 2, 1},
                    FormatCase{ColorModel::multichannel, 16, Transparency::none, false, 14, 2, 1}));

TEST(Document, RefusesImpossibleFormats) {
    std::string error;
    EXPECT_FALSE(Document::make(0, 4, ColorModel::rgb, 8, Transparency::none, &error).valid());
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(Document::make(4, -1, ColorModel::rgb, 8).valid());
    EXPECT_FALSE(Document::make(400000, 1, ColorModel::rgb, 8).valid());
    EXPECT_FALSE(Document::make(4, 4, ColorModel::rgb, 12).valid());
    EXPECT_FALSE(Document::make(4, 4, ColorModel::multichannel, 32).valid());
    EXPECT_FALSE(
        Document::make(4, 4, ColorModel::multichannel, 8, Transparency::none, nullptr, 0).valid());
}

TEST(Document, SamplesAtEveryDepthAndOpaqueTransparency) {
    for (int depth : {8, 16, 32}) {
        Document d = Document::make(7, 3, ColorModel::rgb, depth, Transparency::editable);
        ASSERT_TRUE(d.valid());
        EXPECT_EQ(d.sample(2, 1, 3), d.maxSample()) << "transparency starts opaque";
        EXPECT_EQ(d.sample(2, 1, 0), 0.0);
        d.fill({1, 2, 3, 4});
        for (int32_t y = 0; y < 3; ++y)
            for (int32_t x = 0; x < 7; ++x)
                for (int c = 0; c < 4; ++c)
                    ASSERT_EQ(d.sample(x, y, c), double(c + 1)) << x << "," << y << " " << c;
        d.setSample(1, 1, 1, depth == 32 ? 0.25 : 200);
        EXPECT_EQ(d.sample(1, 1, 1), depth == 32 ? 0.25 : 200.0);
        EXPECT_EQ(d.sample(0, 1, 1), 2.0) << "neighbours untouched";
    }
}

TEST(Document, SelectionBoundsCoverTheSelectedPixels) {
    Document d = Document::make(10, 8, ColorModel::gray, 8);
    EXPECT_EQ(d.selectionBounds().right, 10) << "no mask: the whole document";
    std::vector<uint8_t> mask(80, 0);
    mask[2 * 10 + 3] = 1;
    mask[5 * 10 + 7] = 255;
    ASSERT_TRUE(d.setMask(mask));
    VRect r = d.selectionBounds();
    EXPECT_EQ(r.top, 2);
    EXPECT_EQ(r.left, 3);
    EXPECT_EQ(r.bottom, 6);
    EXPECT_EQ(r.right, 8);
    ASSERT_TRUE(d.setMask(std::vector<uint8_t>(80, 0)));
    r = d.selectionBounds();
    EXPECT_TRUE(r.bottom <= r.top) << "an empty mask selects nothing";
    EXPECT_FALSE(d.setMask(std::vector<uint8_t>(79, 255))) << "wrong size refused";
}

} // namespace
