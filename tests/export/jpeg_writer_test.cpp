#include "composite/picture/pyramid_image.h"
#include "export/exif_block.h"
#include "export/iptc_block.h"
#include "export/jpeg_codec.h"
#include "export/jpeg_writer.h"
#include "export/maker.h"
#include "jpeg_stream.h"
#include "platform/file.h"
#include "tests/common/test_paths.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace qf {}
using namespace qf;

namespace {

// A float RGBA picture filled by a function of the position.
template <typename Fill> PyramidImage floatPicture(int width, int height, Fill fill) {
    PyramidImage image;
    EXPECT_TRUE(image.create(width, height, kPyramidRGBAFloat));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) image.storePixel(x, y, 0, fill(x, y));
    }
    return image;
}

PyramidImage uniform(int width, int height, float r, float g, float b) {
    return floatPicture(width, height, [&](int, int) { return FloatRGBA{r, g, b, 1.0f}; });
}

struct Rgb {
    std::vector<uint8_t> samples;
    JpegPictureInfo info;
    uint8_t at(int x, int y, int c) const { return samples[(size_t(y) * info.width + x) * 3 + c]; }
};

bool collect(void* context, int, const uint8_t* samples, int width, int components) {
    Rgb* out = static_cast<Rgb*>(context);
    out->samples.insert(out->samples.end(), samples, samples + size_t(width) * components);
    return true;
}

Rgb decodeStream(const std::vector<uint8_t>& stream) {
    Rgb out;
    EXPECT_EQ(decompressJpeg(stream.data(), stream.size(), {}, collect, &out, &out.info),
              kJpegCodecOk);
    return out;
}

uint32_t be32(const std::vector<uint8_t>& b, size_t at) {
    return (uint32_t(b[at]) << 24) | (uint32_t(b[at + 1]) << 16) | (uint32_t(b[at + 2]) << 8) |
           b[at + 3];
}

JpegRequest requestFor(const PyramidImage& image, int quality = 90) {
    JpegRequest r;
    r.source = &image;
    r.rect = PixelRect{0, 0, image.height(), image.width()};
    r.quality = quality;
    return r;
}

} // namespace

TEST(JpegWriter, ReportsAMissingSourcePixelsOrFile) {
    ScratchFiles scratch;
    File file;
    ASSERT_EQ(file.openForWriting(scratch.file("out.jpg").c_str()), kFileOk);
    JpegRequest request;
    request.file = &file;
    request.headerFlag = true;
    EXPECT_EQ(writeJpeg(request), kJpegNoSource);
    PyramidImage empty;
    request.source = &empty;
    request.rect = PixelRect{0, 0, 16, 16};
    EXPECT_EQ(writeJpeg(request), kJpegNoPixelStorage);
    file.close();
    EXPECT_TRUE(scratch.read("out.jpg").empty()) << "nothing written";

    PyramidImage image = uniform(16, 16, 0.5f, 0.5f, 0.5f);
    JpegRequest noFile = requestFor(image);
    EXPECT_EQ(writeJpeg(noFile), kJpegWriteFailed);
}

TEST(JpegWriter, StoresChannelsLimitedAndTruncated) {
    EXPECT_EQ(jpegChannelByte(1.5f), 255);
    EXPECT_EQ(jpegChannelByte(-0.2f), 0);
    EXPECT_EQ(jpegChannelByte(0.999f), 254);
    EXPECT_EQ(jpegChannelByte(1.0f), 255);
    EXPECT_EQ(jpegChannelByte(0.5f), 127);
    EXPECT_EQ(jpegChannelByte(std::nanf("")), 0);
    EXPECT_EQ(jpegChannelByte(INFINITY), 255);
    EXPECT_EQ(jpegChannelByte(-INFINITY), 0);
    // The same through a whole stream: flat colours survive compression
    // within the rounding of the colour conversion.
    PyramidImage image = uniform(16, 16, 1.5f, -0.2f, 0.999f);
    JpegRequest request = requestFor(image, 99);
    std::vector<uint8_t> stream;
    ASSERT_EQ(encodeJpeg(request, stream), kJpegWriteOk);
    const Rgb rgb = decodeStream(stream);
    EXPECT_NEAR(rgb.at(5, 5, 0), 255, 1);
    EXPECT_NEAR(rgb.at(5, 5, 1), 0, 1);
    EXPECT_NEAR(rgb.at(5, 5, 2), 254, 1);
}

TEST(JpegWriter, RaisesSmallPicturesToSixteenRepeatingTheEdge) {
    // Left half dark, right half bright; an 8 x 8 picture.
    PyramidImage image = floatPicture(8, 8, [](int x, int) {
        const float v = x < 4 ? 0.1f : 0.9f;
        return FloatRGBA{v, v, v, 1.0f};
    });
    JpegRequest request = requestFor(image, 99);
    EXPECT_EQ(jpegOutputWidth(request.rect), 16);
    EXPECT_EQ(jpegOutputHeight(request.rect), 16);
    std::vector<uint8_t> stream;
    ASSERT_EQ(encodeJpeg(request, stream), kJpegWriteOk);
    const Rgb rgb = decodeStream(stream);
    EXPECT_EQ(rgb.info.width, 16);
    EXPECT_EQ(rgb.info.height, 16);
    EXPECT_NEAR(rgb.at(1, 1, 0), 25, 6);
    EXPECT_NEAR(rgb.at(14, 14, 0), 229, 6) << "the right edge repeats beyond the picture";
    EXPECT_NEAR(rgb.at(1, 14, 0), 25, 6) << "the bottom edge repeats";
}

TEST(JpegWriter, WritesThePartOfThePictureInTheRectangle) {
    PyramidImage image = floatPicture(64, 32, [](int x, int) {
        return x < 32 ? FloatRGBA{1, 0, 0, 1} : FloatRGBA{0, 0, 1, 1};
    });
    JpegRequest request = requestFor(image, 95);
    request.rect = PixelRect{0, 32, 32, 64};
    std::vector<uint8_t> stream;
    ASSERT_EQ(encodeJpeg(request, stream), kJpegWriteOk);
    const Rgb rgb = decodeStream(stream);
    EXPECT_EQ(rgb.info.width, 32);
    for (int x : {0, 15, 31}) {
        EXPECT_LT(rgb.at(x, 10, 0), 10) << x;
        EXPECT_GT(rgb.at(x, 10, 2), 245) << x;
    }
}

TEST(JpegWriter, HeaderFormLeadsWithOneWidthHeightAndLength) {
    ScratchFiles scratch;
    PyramidImage image = uniform(8, 20, 0.2f, 0.4f, 0.6f);
    File file;
    ASSERT_EQ(file.openForWriting(scratch.file("block").c_str()), kFileOk);
    JpegRequest request = requestFor(image, 80);
    request.file = &file;
    request.headerFlag = true;
    ASSERT_EQ(writeJpeg(request), kJpegWriteOk);
    ASSERT_EQ(file.close(), kFileOk);
    const std::vector<uint8_t> bytes = scratch.read("block");
    ASSERT_GT(bytes.size(), 16u);
    EXPECT_EQ(be32(bytes, 0), 1u);
    EXPECT_EQ(be32(bytes, 4), 16u);
    EXPECT_EQ(be32(bytes, 8), 20u);
    EXPECT_EQ(be32(bytes, 12), bytes.size() - 16);
    const std::vector<uint8_t> stream(bytes.begin() + 16, bytes.end());
    EXPECT_EQ(stream[0], 0xFF);
    EXPECT_EQ(stream[1], 0xD8);
    EXPECT_EQ(stream[stream.size() - 2], 0xFF);
    EXPECT_EQ(stream.back(), 0xD9);
    std::vector<uint8_t> alone;
    ASSERT_EQ(encodeJpeg(request, alone), kJpegWriteOk);
    EXPECT_EQ(alone, stream);

    // Without the flag the file is the stream alone.
    File plain;
    ASSERT_EQ(plain.openForWriting(scratch.file("plain.jpg").c_str()), kFileOk);
    request.file = &plain;
    request.headerFlag = false;
    ASSERT_EQ(writeJpeg(request), kJpegWriteOk);
    plain.close();
    EXPECT_EQ(scratch.read("plain.jpg"), stream);
}

TEST(JpegWriter, CarriesTheMetadataBlocksAndTheProfile) {
    PyramidImage image = uniform(16, 16, 0.3f, 0.3f, 0.3f);
    IptcBlock iptc;
    addIptcKeyword(iptc, "points");
    ExifBlock exif;
    std::vector<uint8_t> profile(300, 0x5A);
    JpegRequest request = requestFor(image);
    request.iptc = &iptc;
    request.exif = &exif;
    request.iccProfile = profile.data();
    request.iccLength = profile.size();
    std::vector<uint8_t> stream;
    ASSERT_EQ(encodeJpeg(request, stream), kJpegWriteOk);
    ASSERT_FALSE(iptc.bytes.empty()) << "built on the way";
    ASSERT_FALSE(exif.bytes.empty());
    int found = 0;
    for (const JpegSegment& seg : jpegSegments(stream)) {
        if (seg.marker == 0xE1) found += seg.payload == exif.bytes;
        if (seg.marker == 0xED) found += seg.payload == iptc.bytes;
        if (seg.marker == 0xE2)
            found += std::vector<uint8_t>(seg.payload.begin() + 14, seg.payload.end()) == profile;
    }
    EXPECT_EQ(found, 3);
    // Blocks that hold data already are used as they are.
    const std::vector<uint8_t> built = iptc.bytes;
    addIptcKeyword(iptc, "later");
    ASSERT_EQ(encodeJpeg(request, stream), kJpegWriteOk);
    EXPECT_EQ(iptc.bytes, built);
}

TEST(JpegWriter, FailuresLeaveAPresetsBlockReadable) {
    ScratchFiles scratch;
    PyramidImage image = uniform(16, 16, 0.3f, 0.3f, 0.3f);
    File file;
    ASSERT_EQ(file.openForWriting(scratch.file("wide").c_str()), kFileOk);
    JpegRequest request = requestFor(image);
    request.rect = PixelRect{0, 0, 16, 70000}; // wider than the format allows
    request.file = &file;
    request.headerFlag = true;
    EXPECT_EQ(writeJpeg(request), kJpegCompressionFailed);
    request.headerFlag = false;
    EXPECT_EQ(writeJpeg(request), kJpegCompressionFailed);
    file.close();
    EXPECT_EQ(scratch.read("wide"), (std::vector<uint8_t>{0, 0, 0, 0}))
        << "one zero word, only with the flag";

    // A file that refuses writes.
    scratch.write("readonly", {1, 2, 3});
    File reader;
    ASSERT_EQ(reader.openForReading(scratch.file("readonly").c_str()), kFileOk);
    JpegRequest refused = requestFor(image);
    refused.file = &reader;
    EXPECT_EQ(writeJpeg(refused), kJpegWriteFailed);
}
