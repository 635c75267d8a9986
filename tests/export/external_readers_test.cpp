// Files we write, opened by readers nobody here wrote. Native builds only;
// a reader that is not installed skips its test.
#ifndef _WIN32

#include "composite/picture/pyramid_image.h"
#include "export/exif_block.h"
#include "export/iptc_block.h"
#include "export/jpeg_writer.h"
#include "platform/file.h"
#include "shell_tools.h"
#include "tests/common/test_paths.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace qf {}
using namespace qf;

using namespace shelltools;

namespace {

class ExternalReaders : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(image.create(64, 48, kPyramidRGBAFloat));
        for (int y = 0; y < 48; ++y) {
            for (int x = 0; x < 64; ++x)
                image.storePixel(x, y, 0, FloatRGBA{x / 63.0f, y / 47.0f, 0.25f, 1.0f});
        }
        addIptcKeyword(iptc, "points");
        addIptcKeyword(iptc, "stripe_b");
        addIptcKeyword(iptc, "merge_3");
        buildIptcBlock(iptc, true, IptcDate{2024, 3, 7});
        path = scratch.file("picture.jpg");
        File file;
        ASSERT_EQ(file.openForWriting(path.c_str()), kFileOk);
        JpegRequest request;
        request.source = &image;
        request.rect = PixelRect{0, 0, 48, 64};
        request.file = &file;
        request.quality = 80;
        request.iptc = &iptc;
        request.exif = &exif;
        ASSERT_EQ(writeJpeg(request), kJpegWriteOk);
        ASSERT_EQ(file.close(), kFileOk);
    }

    ScratchFiles scratch;
    PyramidImage image;
    IptcBlock iptc;
    ExifBlock exif;
    std::string path;
};

} // namespace

TEST_F(ExternalReaders, OpenImageIoReadsThePicture) {
    if (!toolPresent("iinfo")) GTEST_SKIP() << "iinfo is not installed";
    int status = 0;
    const std::string info = run("iinfo -v " + shellQuoted(path), status);
    EXPECT_EQ(status, 0) << info;
    EXPECT_NE(info.find("64 x   48, 3 channel, uint8 jpeg"), std::string::npos) << info;
    EXPECT_NE(info.find("Software: \"Quillfire\""), std::string::npos) << info;
    EXPECT_NE(info.find("Keywords: \"Quillfire; points; stripe_b; merge_3\""), std::string::npos)
        << info;
    EXPECT_NE(info.find("IPTC:Caption: \"Made with Quillfire\""), std::string::npos) << info;
    if (toolPresent("oiiotool")) {
        const std::string stats = run("oiiotool " + shellQuoted(path) + " --stats", status);
        EXPECT_EQ(status, 0) << stats;
        EXPECT_EQ(stats.find("rror"), std::string::npos) << stats;
    }
}

TEST_F(ExternalReaders, ImageMagickIdentifiesThePicture) {
    if (!toolPresent("identify")) GTEST_SKIP() << "identify is not installed";
    int status = 0;
    const std::string info = run("identify -regard-warnings " + shellQuoted(path), status);
    EXPECT_EQ(status, 0) << info;
    EXPECT_NE(info.find("JPEG 64x48"), std::string::npos) << info;
    const std::string comment = run("identify -format '%c' " + shellQuoted(path), status);
    EXPECT_EQ(status, 0);
    EXPECT_NE(comment.find("http://www.tallowmere.example/"), std::string::npos) << comment;
}

TEST_F(ExternalReaders, ExiftoolShowsSoftwareCaptionDateAndKeywords) {
    if (!toolPresent("exiftool")) GTEST_SKIP() << "exiftool is not installed";
    int status = 0;
    const std::string tags =
        run("exiftool -s -s -Software -Caption-Abstract -DateCreated -Keywords -Source "
            "-Warning " +
                shellQuoted(path),
            status);
    EXPECT_EQ(status, 0) << tags;
    EXPECT_NE(tags.find("Software: Quillfire"), std::string::npos) << tags;
    EXPECT_NE(tags.find("Caption-Abstract: Made with Quillfire"), std::string::npos) << tags;
    EXPECT_NE(tags.find("DateCreated: 2024:03:07"), std::string::npos) << tags;
    EXPECT_NE(tags.find("Keywords: Quillfire, points, stripe_b, merge_3"), std::string::npos)
        << tags;
    EXPECT_NE(tags.find("Source: http://www.tallowmere.example/"), std::string::npos) << tags;
    EXPECT_EQ(tags.find("Warning"), std::string::npos) << tags;
}

TEST_F(ExternalReaders, DjpegDecodesThePicture) {
    if (!toolPresent("djpeg")) GTEST_SKIP() << "djpeg is not installed";
    int status = 0;
    const std::string ppm = scratch.file("picture.ppm");
    const std::string out =
        run("djpeg -ppm -outfile " + shellQuoted(ppm) + " " + shellQuoted(path), status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_TRUE(out.empty()) << "no warnings: " << out;
    const std::vector<uint8_t> bytes = scratch.read("picture.ppm");
    const std::string head(bytes.begin(), bytes.begin() + std::min<size_t>(bytes.size(), 13));
    EXPECT_EQ(head, "P6\n64 48\n255\n");
    ASSERT_EQ(bytes.size(), 13u + 64 * 48 * 3);
    // Top-left is dark red-free, bottom-right bright in red and green.
    EXPECT_LT(bytes[13], 12);
    const size_t last = 13 + (47 * 64 + 63) * 3;
    EXPECT_GT(bytes[last], 240);
    EXPECT_GT(bytes[last + 1], 240);
    EXPECT_NEAR(bytes[last + 2], 64, 8);
}

#endif
