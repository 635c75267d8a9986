// The layered PSD file, read back by a strict reader of the format's
// layout: the sections, the resources in their order, the layer record,
// the layer's planes and the merged image at 8, 16 and 32 bits.
#include "composite/picture/pyramid_image.h"
#include "export/exif_block.h"
#include "export/iptc_block.h"
#include "export/maker.h"
#include "export/psd_writer.h"
#include "platform/file.h"
#include "psd_test_file.h"
#include "psd_test_writer.h"
#include "tests/common/test_paths.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace qf {}
using namespace qf;
using qftest::parsePsd;
using qftest::PsdFile;

namespace {

// The samples the tests put into pictures, channel c (red, green, blue,
// alpha) of pixel (x, y): every value of the range turns up, the ends
// included.
uint32_t sample8(int32_t x, int32_t y, int c) {
    return uint32_t((x * 7 + y * 13 + c * 71) % 256);
}
uint32_t sample16(int32_t x, int32_t y, int c) {
    return uint32_t((x * 1009 + y * 4099 + c * 9001) % 32769);
}
float sampleFloat(int32_t x, int32_t y, int c) {
    return float(x - 3 * c) * 0.125f - float(y) * 0.5f; // negative, above 1, fractions
}

// A picture of `kind` filled with the samples above, written directly.
void fill(PyramidImage& p, int32_t w, int32_t h, int32_t kind) {
    ASSERT_TRUE(p.create(w, h, kind));
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            uint8_t* px = p.pixelAddress(x, y, 0);
            if (kind == kPyramidRGBA8) {
                const uint32_t word = (sample8(x, y, 0) << 24) | (sample8(x, y, 1) << 16) |
                                      (sample8(x, y, 2) << 8) | sample8(x, y, 3);
                std::memcpy(px, &word, 4);
            } else if (kind == kPyramidRGBA16) {
                for (int c = 0; c < 4; ++c) {
                    const uint16_t v = uint16_t(sample16(x, y, c));
                    std::memcpy(px + 2 * c, &v, 2);
                }
            } else {
                for (int c = 0; c < 4; ++c) {
                    const float v = sampleFloat(x, y, c);
                    std::memcpy(px + 4 * c, &v, 4);
                }
            }
        }
}

// The file's 16-bit value of a sample of 0..32768.
uint32_t wide(uint32_t v) {
    return v == 32768 ? 65535 : 2 * v;
}

bool white(int32_t x, int32_t y) {
    return ((x ^ y) & 8) == 0;
}

// One plane as the file should hold it: the layer's (merged = false) or
// the merged image's, channel c, big-endian samples row by row.
std::vector<uint8_t> expectedPlane(int32_t w, int32_t h, int bytes, int c, bool merged) {
    std::vector<uint8_t> out;
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            if (bytes == 1) {
                const uint32_t v = sample8(x, y, c), a = sample8(x, y, 3);
                const uint32_t checker = white(x, y) ? 255 : 204;
                out.push_back(uint8_t(merged ? ((255 - a) * checker + v * a) / 255 : v));
            } else if (bytes == 2) {
                uint32_t v = sample16(x, y, c);
                const uint32_t a = sample16(x, y, 3);
                const uint32_t checker = white(x, y) ? 32640 : 26112;
                if (merged) v = (checker * (32768 - a) + a * v) >> 15;
                out.push_back(uint8_t(wide(v) >> 8));
                out.push_back(uint8_t(wide(v)));
            } else {
                const float f = sampleFloat(x, y, c);
                uint32_t bits;
                std::memcpy(&bits, &f, 4);
                for (int s = 24; s >= 0; s -= 8) out.push_back(uint8_t(bits >> s));
            }
        }
    return out;
}

std::vector<uint8_t> concat(const std::vector<std::vector<uint8_t>>& parts) {
    std::vector<uint8_t> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

class PsdWriter : public testing::Test {
  protected:
    // Writes `picture` with IPTC and Exif blocks (and a profile when
    // given) and reads the file back.
    std::vector<uint8_t> write(const PyramidImage& picture, const std::vector<uint8_t>& icc = {}) {
        qftest::writeTestPsd(picture, scratch.file("out.psd"), icc, &iptcBytes, &exifBytes);
        return scratch.read("out.psd");
    }

    ScratchFiles scratch;
    std::vector<uint8_t> iptcBytes, exifBytes;
};

std::vector<uint16_t> resourceIds(const PsdFile& f) {
    std::vector<uint16_t> ids;
    for (const auto& r : f.resources) ids.push_back(r.id);
    return ids;
}

} // namespace

TEST(PsdSides, AreLimitedToTwoToThirtyThousand) {
    EXPECT_EQ(clampPsdSide(-5), 2);
    EXPECT_EQ(clampPsdSide(1), 2);
    EXPECT_EQ(clampPsdSide(2), 2);
    EXPECT_EQ(clampPsdSide(3), 3);
    EXPECT_EQ(clampPsdSide(29999), 29999);
    EXPECT_EQ(clampPsdSide(30000), 30000);
    EXPECT_EQ(clampPsdSide(30001), 30000);
    EXPECT_EQ(clampPsdSide(40000), 30000);
    EXPECT_EQ(clampPsdSide(int64_t(1) << 40), 30000);
}

// The layer section's 32-bit lengths bound the pixel count n: the layer
// info is 2 + 114 (the record) + 4 x (2 + bytes x n); 8-bit files always
// fit, 16-bit ones take 32 bytes of blocks around it and float ones 72.
TEST(PsdSides, TheLayerSectionMustFitItsLengthField) {
    EXPECT_TRUE(psdSizeFits(30000, 30000, 1));
    EXPECT_TRUE(psdSizeFits(16000, 16000, 4));
    EXPECT_FALSE(psdSizeFits(16384, 16384, 4));
    // 196 + 16 n <= 2^32 - 1: n <= 268435443.
    EXPECT_TRUE(psdSizeFits(268435443, 1, 4));
    EXPECT_FALSE(psdSizeFits(268435444, 1, 4));
    // 156 + 8 n <= 2^32 - 1: n <= 536870892.
    EXPECT_TRUE(psdSizeFits(536870892, 1, 2));
    EXPECT_FALSE(psdSizeFits(536870893, 1, 2));
    EXPECT_FALSE(psdSizeFits(0, 10, 1));
    EXPECT_EQ(psdBytesPerSample(kPyramidRGBA8), 1);
    EXPECT_EQ(psdBytesPerSample(kPyramidRGBA16), 2);
    EXPECT_EQ(psdBytesPerSample(kPyramidRGBAFloat), 4);
    EXPECT_EQ(psdBytesPerSample(kPyramidGray8), 0);
}

// The 10 x 10 8-bit file byte by byte where the layout fixes it.
TEST_F(PsdWriter, TenByTenEightBitFileHasTheFixedLayout) {
    PyramidImage p;
    fill(p, 10, 10, kPyramidRGBA8);
    const std::vector<uint8_t> bytes = write(p);
    const PsdFile f = parsePsd(bytes);
    ASSERT_TRUE(f.ok) << f.error;

    const uint8_t header[26] = {'8', 'B', 'P', 'S', 0,  1, 0, 0, 0,  0, 0, 0, 0,
                                3,   0,   0,   0,   10, 0, 0, 0, 10, 0, 8, 0, 3};
    ASSERT_GE(bytes.size(), 30u);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 26),
              std::vector<uint8_t>(header, header + 26));
    EXPECT_TRUE(f.colourModeData.empty());

    EXPECT_EQ(resourceIds(f),
              (std::vector<uint16_t>{1001, 1005, 1011, 1016, 1035, 1028, 1058, 1024, 1026}));
    const auto* print = f.resource(1001);
    ASSERT_EQ(print->data.size(), 120u);
    EXPECT_EQ(print->data[0], 0);
    EXPECT_EQ(print->data[1], 40);
    EXPECT_EQ(print->data[16], 0xFF); // -9
    EXPECT_EQ(print->data[17], 0xF7);
    EXPECT_EQ(print->data[118], 24864 >> 8);
    EXPECT_EQ(print->data[119], 24864 & 0xFF);
    EXPECT_EQ(f.resource(1005)->data,
              (std::vector<uint8_t>{0, 72, 0, 0, 0, 1, 0, 1, 0, 72, 0, 0, 0, 1, 0, 1}));
    EXPECT_EQ(f.resource(1011)->data, (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 0, 0, 1}));
    const auto& transfer = f.resource(1016)->data;
    ASSERT_EQ(transfer.size(), 112u);
    for (size_t fn = 0; fn < 4; ++fn) {
        std::vector<uint8_t> curve = {0, 0};
        for (int i = 0; i < 11; ++i) curve.insert(curve.end(), {0xFF, 0xFF});
        curve.insert(curve.end(), {1000 >> 8, 1000 & 0xFF, 0, 0});
        EXPECT_EQ(std::vector<uint8_t>(transfer.begin() + std::ptrdiff_t(28 * fn),
                                       transfer.begin() + std::ptrdiff_t(28 * fn + 28)),
                  curve);
    }
    EXPECT_EQ(std::string(f.resource(1035)->data.begin(), f.resource(1035)->data.end()),
              kMakerWebAddress);
    // The IPTC block is its own resource header; the Exif block goes in
    // without its segment header.
    ASSERT_GE(iptcBytes.size(), 12u);
    EXPECT_EQ(std::string(iptcBytes.begin(), iptcBytes.begin() + 4), "8BIM");
    EXPECT_EQ(f.resource(1028)->data,
              std::vector<uint8_t>(iptcBytes.begin() + 12, iptcBytes.end()));
    EXPECT_EQ(std::string(exifBytes.begin(), exifBytes.begin() + 2), "MM");
    EXPECT_EQ(f.resource(1058)->data, exifBytes);
    EXPECT_EQ(f.resource(1024)->data, (std::vector<uint8_t>{0, 1}));
    EXPECT_EQ(f.resource(1026)->data, (std::vector<uint8_t>{0, 0}));

    // No tagged blocks in an 8-bit file: the layer info stands alone.
    EXPECT_TRUE(f.blockKeys.empty());
    ASSERT_EQ(f.layers.size(), 1u);
    const qftest::PsdLayer& l = f.layers[0];
    EXPECT_EQ(l.top, 0);
    EXPECT_EQ(l.left, 0);
    EXPECT_EQ(l.bottom, 10);
    EXPECT_EQ(l.right, 10);
    EXPECT_EQ(l.blendKey, "norm");
    EXPECT_EQ(l.opacity, 255);
    EXPECT_EQ(l.clipping, 0);
    EXPECT_EQ(l.flags, 40);
    EXPECT_EQ(l.extraLength, 56u);
    EXPECT_EQ(l.name, "layer 1");
    std::vector<uint8_t> ranges;
    for (int i = 0; i < 5; ++i) ranges.insert(ranges.end(), {0, 0, 255, 255, 0, 0, 255, 255});
    EXPECT_EQ(l.blendingRanges, ranges);
    // Four planes of 102 bytes (2 + 100): transparency, red, green, blue.
    ASSERT_EQ(l.channels.size(), 4u);
    const int16_t ids[4] = {-1, 0, 1, 2};
    const int source[4] = {3, 0, 1, 2};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(l.channels[i].id, ids[i]);
        EXPECT_EQ(l.channels[i].length, 102u);
        EXPECT_EQ(l.channels[i].compression, 0);
        EXPECT_EQ(l.channels[i].samples, expectedPlane(10, 10, 1, source[i], false));
    }
    // The merged image: red, green, blue and the alpha-made plane, each
    // over the checkerboard; nothing after it.
    EXPECT_EQ(f.mergedCompression, 0);
    EXPECT_EQ(f.merged,
              concat({expectedPlane(10, 10, 1, 0, true), expectedPlane(10, 10, 1, 1, true),
                      expectedPlane(10, 10, 1, 2, true), expectedPlane(10, 10, 1, 3, true)}));
}

// Fully transparent pixels show the checkerboard in the merged image: 255
// on white squares, 204 on grey ones, for every plane.
TEST_F(PsdWriter, TransparentPixelsShowTheCheckerboardInTheMergedImage) {
    PyramidImage p;
    ASSERT_TRUE(p.create(20, 17, kPyramidRGBA8));
    for (int32_t y = 0; y < 17; ++y)
        for (int32_t x = 0; x < 20; ++x) {
            const uint32_t word = 0x12345600u; // some colour, alpha 0
            std::memcpy(p.pixelAddress(x, y, 0), &word, 4);
        }
    const PsdFile f = parsePsd(write(p));
    ASSERT_TRUE(f.ok) << f.error;
    ASSERT_EQ(f.merged.size(), 4u * 20 * 17);
    for (int plane = 0; plane < 4; ++plane)
        for (int32_t y = 0; y < 17; ++y)
            for (int32_t x = 0; x < 20; ++x) {
                const bool whiteSquare = (x < 8 || x >= 16) == (y < 8 || y >= 16);
                EXPECT_EQ(f.merged[size_t(plane * 340 + y * 20 + x)], whiteSquare ? 255 : 204)
                    << plane << " " << x << "," << y;
            }
}

// Wider than a tile and than the write buffer: the rows come through in
// runs, and every sample must land in its place.
TEST_F(PsdWriter, SixteenBitFileDoublesSamplesAndWritesTheMergedAlphaTwice) {
    const int32_t w = 600, h = 9;
    PyramidImage p;
    fill(p, w, h, kPyramidRGBA16);
    const PsdFile f = parsePsd(write(p));
    ASSERT_TRUE(f.ok) << f.error;
    EXPECT_EQ(f.channels, 4);
    EXPECT_EQ(f.depth, 16);
    EXPECT_EQ(f.width, uint32_t(w));
    EXPECT_EQ(f.height, uint32_t(h));
    EXPECT_TRUE(f.colourModeData.empty());
    EXPECT_EQ(resourceIds(f),
              (std::vector<uint16_t>{1001, 1005, 1011, 1016, 1035, 1028, 1058, 1024, 1026}));
    EXPECT_EQ(f.blockKeys, (std::vector<std::string>{"Mt16", "Lr16"}));
    EXPECT_TRUE(f.blockData[0].empty());
    ASSERT_EQ(f.layers.size(), 1u);
    EXPECT_EQ(f.layers[0].flags, 40);
    const int source[4] = {3, 0, 1, 2};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(f.layers[0].channels[i].length, uint32_t(2 * w * h + 2));
        EXPECT_EQ(f.layers[0].channels[i].samples, expectedPlane(w, h, 2, source[i], false));
    }
    EXPECT_EQ(f.merged, concat({expectedPlane(w, h, 2, 0, true), expectedPlane(w, h, 2, 1, true),
                                expectedPlane(w, h, 2, 2, true), expectedPlane(w, h, 2, 3, true),
                                expectedPlane(w, h, 2, 3, true)}));
}

TEST(PsdSamples, SixteenBitEndsAndCheckerboardValues) {
    // The range's ends as the file holds them, from a hand-made pixel row.
    ScratchFiles scratch;
    PyramidImage p;
    ASSERT_TRUE(p.create(9, 2, kPyramidRGBA16));
    const uint16_t px[4][4] = {{32768, 16384, 0, 32768}, // opaque
                               {32767, 1, 0, 0},         // transparent, white square
                               {100, 200, 300, 16384},   // half
                               {40000, 0, 0, 32768}};    // beyond the range
    for (int i = 0; i < 4; ++i) std::memcpy(p.pixelAddress(i, 0, 0), px[i], 8);
    std::memcpy(p.pixelAddress(8, 0, 0), px[1], 8); // transparent on a grey square
    const std::string path = scratch.file("ends.psd");
    File file;
    ASSERT_EQ(file.openForWriting(path.c_str()), kFileOk);
    PsdRequest r;
    r.picture = &p;
    r.file = &file;
    ASSERT_EQ(writePsd(r), kPsdWriteOk);
    file.close();
    const PsdFile f = parsePsd(scratch.read("ends.psd"));
    ASSERT_TRUE(f.ok) << f.error;
    // No IPTC or Exif block given: their resources are left out.
    EXPECT_EQ(resourceIds(f), (std::vector<uint16_t>{1001, 1005, 1011, 1016, 1035, 1024, 1026}));
    auto at = [](const std::vector<uint8_t>& plane, size_t i) {
        return (plane[2 * i] << 8) | plane[2 * i + 1];
    };
    const auto& red = f.layers[0].channels[1].samples;
    EXPECT_EQ(at(red, 0), 65535);
    EXPECT_EQ(at(red, 1), 65534);
    EXPECT_EQ(at(red, 2), 200);
    EXPECT_EQ(at(red, 3), 65535);
    const auto& green = f.layers[0].channels[2].samples;
    EXPECT_EQ(at(green, 0), 32768);
    EXPECT_EQ(at(green, 1), 2);
    const size_t planeSamples = 18;
    // Merged red: opaque stays; transparent shows 32640 doubled on white and
    // 26112 doubled on grey; half alpha: (32640 * 16384 + 16384 * 100) >> 15.
    EXPECT_EQ(at(f.merged, 0), 65535);
    EXPECT_EQ(at(f.merged, 1), 2 * 32640);
    EXPECT_EQ(at(f.merged, 8), 2 * 26112);
    EXPECT_EQ(at(f.merged, 2), 2 * ((32640 * 16384 + 16384 * 100) >> 15));
    // Merged alpha-made plane of the transparent pixel, both copies.
    EXPECT_EQ(at(f.merged, 3 * planeSamples + 1), 2 * 32640);
    EXPECT_EQ(at(f.merged, 4 * planeSamples + 8), 2 * 26112);
    EXPECT_EQ(f.merged.size(), 5 * planeSamples * 2);
}

TEST_F(PsdWriter, FloatFileCarriesItsOwnBlocksAndRawMergedPlanes) {
    const int32_t w = 513, h = 3;
    PyramidImage p;
    fill(p, w, h, kPyramidRGBAFloat);
    const std::vector<uint8_t> icc = {'p', 'r', 'o', 'f', 'i', 'l', 'e'};
    const PsdFile f = parsePsd(write(p, icc));
    ASSERT_TRUE(f.ok) << f.error;
    EXPECT_EQ(f.channels, 3);
    EXPECT_EQ(f.depth, 32);
    ASSERT_EQ(f.colourModeData.size(), 74u);
    EXPECT_EQ(std::string(f.colourModeData.begin(), f.colourModeData.begin() + 4), "hdrt");
    EXPECT_EQ(f.colourModeData[73], 0);
    EXPECT_EQ(f.colourModeData[70], 0x3F);
    EXPECT_EQ(f.colourModeData[71], 0x80);
    EXPECT_EQ(resourceIds(f), (std::vector<uint16_t>{1001, 1005, 1011, 1016, 1035, 1039, 1028, 1058,
                                                     1069, 1072, 1024, 1026}));
    EXPECT_EQ(f.resource(1039)->data, icc);
    EXPECT_EQ(f.resource(1069)->data, (std::vector<uint8_t>{0, 1, 0, 0, 0, 12}));
    EXPECT_EQ(f.resource(1072)->data, (std::vector<uint8_t>{1}));
    EXPECT_EQ(f.blockKeys, (std::vector<std::string>{"Mt32", "Lr32", "LMsk", "Pat3"}));
    EXPECT_EQ(f.blockData[2], (std::vector<uint8_t>{0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00,
                                                    0x00, 0x00, 0x00, 0x32, 0x80, 0x00}));
    EXPECT_TRUE(f.blockData[3].empty());
    ASSERT_EQ(f.layers.size(), 1u);
    EXPECT_EQ(f.layers[0].flags, 8);
    const int source[4] = {3, 0, 1, 2};
    for (size_t i = 0; i < 4; ++i)
        EXPECT_EQ(f.layers[0].channels[i].samples, expectedPlane(w, h, 4, source[i], false));
    EXPECT_EQ(f.merged,
              concat({expectedPlane(w, h, 4, 0, false), expectedPlane(w, h, 4, 1, false),
                      expectedPlane(w, h, 4, 2, false), expectedPlane(w, h, 4, 3, false)}));
}

TEST(PsdRefusals, NoPictureOtherKindsAndFailingWrites) {
    ScratchFiles scratch;
    File file;
    const std::string path = scratch.file("refused.psd");
    ASSERT_EQ(file.openForWriting(path.c_str()), kFileOk);
    PsdRequest r;
    r.file = &file;
    EXPECT_EQ(writePsd(r), kPsdNoPicture);
    PyramidImage empty;
    r.picture = &empty;
    EXPECT_EQ(writePsd(r), kPsdNoPicture);
    PyramidImage gray;
    ASSERT_TRUE(gray.create(4, 4, kPyramidGray8));
    r.picture = &gray;
    EXPECT_EQ(writePsd(r), kPsdNoPicture);
    file.close();
    EXPECT_TRUE(scratch.read("refused.psd").empty());

    // A file open only for reading refuses every write.
    PyramidImage p;
    fill(p, 40, 30, kPyramidRGBA8);
    File reader;
    ASSERT_EQ(reader.openForReading(path.c_str()), kFileOk);
    r.picture = &p;
    r.file = &reader;
    EXPECT_EQ(writePsd(r), kPsdWriteFailed);
    r.file = nullptr;
    EXPECT_EQ(writePsd(r), kPsdWriteFailed);
}
