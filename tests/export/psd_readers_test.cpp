// Our PSD files opened by readers nobody here wrote, at 8, 16 and 32 bits:
// OpenImageIO, ImageMagick, GIMP in batch mode and the ag-psd reader of the
// npm registry (installed by scripts/setup-psd-readers.sh). Their pixels
// must equal ours within what each reader keeps of the samples. Native
// builds only; a missing reader skips its test, except under CI, where it
// fails.
#ifndef _WIN32

#include "composite/picture/pyramid_image.h"
#include "psd_test_writer.h"
#include "shell_tools.h"
#include "tests/common/test_paths.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace qf {}
using namespace qf;

using namespace shelltools;

namespace {

constexpr int32_t kW = 40, kH = 24;

// The picture's channel c (red, green, blue, alpha) at (x, y) as a value
// 0..1; alpha runs from 0 to 1 across the picture.
double channelValue(int32_t x, int32_t y, int c) {
    if (c == 3) return double(x) / double(kW - 1);
    return double((x * 5 + y * 11 + c * 37) % 64) / 63.0;
}

// The picture's samples at each depth, exactly as stored.
uint32_t sample8(int32_t x, int32_t y, int c) {
    return uint32_t(std::lround(channelValue(x, y, c) * 255));
}
uint32_t sample16(int32_t x, int32_t y, int c) {
    return uint32_t(std::lround(channelValue(x, y, c) * 32768));
}
float sampleFloat(int32_t x, int32_t y, int c) {
    return float(channelValue(x, y, c));
}

// The file's sample of the layer (as each format stores it, scaled to
// 0..1) and of the merged image's colour planes.
double layerValue(int bits, int32_t x, int32_t y, int c) {
    if (bits == 8) return sample8(x, y, c) / 255.0;
    if (bits == 16) {
        const uint32_t v = sample16(x, y, c);
        return (v == 32768 ? 65535 : 2 * v) / 65535.0;
    }
    return sampleFloat(x, y, c);
}

double mergedValue(int bits, int32_t x, int32_t y, int c) {
    const bool white = ((x ^ y) & 8) == 0;
    if (bits == 8) {
        const uint32_t a = sample8(x, y, 3), v = sample8(x, y, c);
        return ((255 - a) * (white ? 255u : 204u) + v * a) / 255 / 255.0;
    }
    if (bits == 16) {
        const uint32_t a = sample16(x, y, 3), v = sample16(x, y, c);
        const uint32_t m = ((white ? 32640u : 26112u) * (32768 - a) + a * v) >> 15;
        return (m == 32768 ? 65535 : 2 * m) / 65535.0;
    }
    return sampleFloat(x, y, c);
}

// Skips, or fails under CI, when a reader is missing.
#define REQUIRE_READER(present, what)                                                              \
    do {                                                                                           \
        if (!(present)) {                                                                          \
            if (std::getenv("CI")) FAIL() << what << " is not installed";                          \
            GTEST_SKIP() << what << " is not installed";                                           \
        }                                                                                          \
    } while (0)

// Lines of `text` that begin with `prefix` (after spaces), the prefix cut.
std::vector<std::string> linesAfter(const std::string& text, const std::string& prefix) {
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        const size_t start = line.find_first_not_of(' ');
        if (start != std::string::npos && line.compare(start, prefix.size(), prefix) == 0)
            out.push_back(line.substr(start + prefix.size()));
    }
    return out;
}

class PsdReaders : public testing::TestWithParam<int> {
  protected:
    void SetUp() override {
        bits = GetParam();
        const int32_t kind = bits == 8    ? kPyramidRGBA8
                             : bits == 16 ? kPyramidRGBA16
                                          : kPyramidRGBAFloat;
        ASSERT_TRUE(picture.create(kW, kH, kind));
        for (int32_t y = 0; y < kH; ++y)
            for (int32_t x = 0; x < kW; ++x) {
                uint8_t* p = picture.pixelAddress(x, y, 0);
                if (bits == 8) {
                    const uint32_t word = (sample8(x, y, 0) << 24) | (sample8(x, y, 1) << 16) |
                                          (sample8(x, y, 2) << 8) | sample8(x, y, 3);
                    std::memcpy(p, &word, 4);
                } else if (bits == 16) {
                    for (int c = 0; c < 4; ++c) {
                        const uint16_t v = uint16_t(sample16(x, y, c));
                        std::memcpy(p + 2 * c, &v, 2);
                    }
                } else {
                    for (int c = 0; c < 4; ++c) {
                        const float v = sampleFloat(x, y, c);
                        std::memcpy(p + 4 * c, &v, 4);
                    }
                }
            }
        path = scratch.file("picture.psd");
        qftest::writeTestPsd(picture, path);
    }

    // The tolerance of a reader that keeps `keptBits` bits of a sample.
    static double step(int keptBits) { return 1.0 / double((1u << keptBits) - 1) + 1e-9; }

    ScratchFiles scratch;
    PyramidImage picture;
    std::string path;
    int bits = 8;
};

std::string depthName(int bits) {
    return bits == 8 ? "uint8" : bits == 16 ? "uint16" : "float";
}

} // namespace

// OpenImageIO 2.4 knows the layer of 8-bit files (a second subimage) but
// not the tagged layer blocks of 16-bit and 32-bit ones; the merged image
// it reads at every depth.
TEST_P(PsdReaders, OpenImageIo) {
    REQUIRE_READER(toolPresent("oiiotool"), "oiiotool");
    int status = 0;
    const std::string info = run("oiiotool --info -v " + shellQuoted(path), status);
    ASSERT_EQ(status, 0) << info;
    EXPECT_NE(info.find("40 x   24, 3 channel, " + depthName(bits) + " psd"), std::string::npos)
        << info;
    const std::string dump =
        run("oiiotool -a --iconfig oiio:UnassociatedAlpha 1 --info --dumpdata " + shellQuoted(path),
            status);
    ASSERT_EQ(status, 0) << dump;
    const std::vector<std::string> pixels = linesAfter(dump, "Pixel (");
    const bool layered = bits == 8;
    ASSERT_EQ(pixels.size(), size_t(kW * kH * (layered ? 2 : 1))) << dump.substr(0, 2000);
    if (layered) {
        EXPECT_NE(dump.find("2 subimages"), std::string::npos);
    }
    const double maxValue = bits == 8 ? 255.0 : 65535.0;
    for (size_t i = 0; i < pixels.size(); ++i) {
        const bool layer = i >= size_t(kW * kH);
        const int32_t x = int32_t(i % kW), y = int32_t((i / kW) % kH);
        int px = -1, py = -1;
        double v[4] = {0, 0, 0, 0};
        const int got = std::sscanf(pixels[i].c_str(), "%d, %d): %lf %lf %lf %lf", &px, &py, &v[0],
                                    &v[1], &v[2], &v[3]);
        ASSERT_EQ(px, x);
        ASSERT_EQ(py, y);
        ASSERT_GE(got, layer ? 6 : 5) << pixels[i];
        for (int c = 0; c < (layer ? 4 : 3); ++c) {
            const double read = bits == 32 ? v[c] : v[c] / maxValue;
            const double ours = layer ? layerValue(bits, x, y, c) : mergedValue(bits, x, y, c);
            EXPECT_NEAR(read, ours, bits == 32 ? 1e-6 : 1e-9)
                << (layer ? "layer " : "merged ") << x << "," << y << " channel " << c;
        }
    }
}

// ImageMagick reads the merged image as image 0 and the layer as image 1
// at every depth (at 16 bits a sample; floats limited to 0..1).
TEST_P(PsdReaders, ImageMagick) {
    REQUIRE_READER(toolPresent("identify") && toolPresent("convert"), "ImageMagick");
    int status = 0;
    const std::string info = run("identify -regard-warnings " + shellQuoted(path), status);
    ASSERT_EQ(status, 0) << info;
    const std::string size = "40x24 40x24+0+0 " + std::to_string(bits) + "-bit";
    EXPECT_NE(info.find("[0] PSD " + size), std::string::npos) << info;
    EXPECT_NE(info.find("[1] PSD " + size), std::string::npos) << info;
    const std::string label = run("identify -format '%l|' " + shellQuoted(path), status);
    EXPECT_EQ(label, "|layer 1|");
    for (int image = 0; image < 2; ++image) {
        const std::string text = run(
            "convert " + shellQuoted(path + "[" + std::to_string(image) + "]") + " -depth 16 txt:-",
            status);
        ASSERT_EQ(status, 0) << text;
        std::istringstream in(text);
        std::string line;
        int count = 0;
        while (std::getline(in, line)) {
            int x = 0, y = 0;
            double v[4] = {0, 0, 0, 65535};
            if (std::sscanf(line.c_str(), "%d,%d: (%lf,%lf,%lf,%lf", &x, &y, &v[0], &v[1], &v[2],
                            &v[3]) < 5)
                continue;
            ++count;
            for (int c = 0; c < (image == 1 ? 4 : 3); ++c) {
                double ours = image == 1 ? layerValue(bits, x, y, c) : mergedValue(bits, x, y, c);
                if (image == 0 && bits == 16) {
                    // A 16-bit file announces four planes: ImageMagick takes
                    // the fourth for alpha and removes a white matte with it
                    // (results below 0 wrap around there, and are not
                    // compared).
                    const double alpha = mergedValue(bits, x, y, 3);
                    EXPECT_NEAR(v[3] / 65535.0, alpha, step(16)) << x << "," << y;
                    ours = (ours - (1 - alpha)) / alpha;
                    if (ours < 0) continue;
                }
                ours = std::fmin(1.0, std::fmax(0.0, ours));
                EXPECT_NEAR(v[c] / 65535.0, ours, 2 * step(16))
                    << "image " << image << " at " << x << "," << y << " channel " << c;
            }
        }
        EXPECT_EQ(count, kW * kH) << text.substr(0, 500);
    }
}

// GIMP 2.10 (Debian 12) opens the layer of 8-bit files; of 16-bit files it
// opens the merged image alone, and 32-bit files it refuses, because it
// reads no colour-mode data in RGB files. Those two cases check what the
// installed GIMP does and hold it to the full check once it can.
TEST_P(PsdReaders, GimpBatchMode) {
    REQUIRE_READER(toolPresent("gimp-console"), "gimp-console");
    const std::string script =
        "(let* ((img (car (gimp-file-load RUN-NONINTERACTIVE \"" + path + "\" \"" + path +
        "\")))"
        " (layers (gimp-image-get-layers img)) (layer (aref (cadr layers) 0))"
        " (pixel (gimp-drawable-get-pixel layer 30 5)))"
        " (gimp-message (string-append \"RESULT layers=\" (number->string (car layers))"
        " \" name=\" (car (gimp-item-get-name layer))"
        " \" size=\" (number->string (car (gimp-image-width img))) \"x\""
        " (number->string (car (gimp-image-height img)))"
        " \" precision=\" (number->string (car (gimp-image-get-precision img)))"
        " \" pixel=\" (number->string (aref (cadr pixel) 0)) \",\""
        " (number->string (aref (cadr pixel) (- (car pixel) 1))) \";\")))";
    int status = 0;
    const std::string out =
        run("HOME=" + shellQuoted(scratch.folder()) + " gimp-console -i -d -f -b " +
                shellQuoted(script) + " -b '(gimp-quit 0)' </dev/null",
            status);
    const std::string version = run("gimp-console --version", status);
    const bool gimp210 = version.find("version 2.10") != std::string::npos;
    if (gimp210 && bits == 32 && out.find("Unexpected end of file") != std::string::npos)
        GTEST_SKIP() << "GIMP 2.10 reads no colour-mode data in RGB files";
    const size_t at = out.find("RESULT ");
    ASSERT_NE(at, std::string::npos) << out;
    const std::string result = out.substr(at, out.find(';', at) - at);
    if (gimp210 && bits == 16) {
        EXPECT_EQ(result.substr(0, 33), "RESULT layers=1 name=Background s") << result;
        EXPECT_NE(result.find("size=40x24 precision=250"), std::string::npos) << result;
        return;
    }
    EXPECT_NE(result.find("RESULT layers=1 name=layer 1 size=40x24 precision="), std::string::npos)
        << result;
    // Precision of 8 and 16-bit files: non-linear integers.
    if (bits != 32) {
        EXPECT_NE(result.find(bits == 8 ? "precision=150" : "precision=250"), std::string::npos)
            << result;
    }
    if (bits == 8) {
        EXPECT_NE(result.find("pixel=" + std::to_string(sample8(30, 5, 0)) + "," +
                              std::to_string(sample8(30, 5, 3))),
                  std::string::npos)
            << result;
    }
}

// ag-psd reads the layer with its name and bounds and its samples as the
// file holds them, the merged image and the resources it knows.
TEST_P(PsdReaders, AgPsd) {
    const char* sourceDir = std::getenv("QF_SOURCE_DIR");
    const std::string nodeDir = std::string(sourceDir ? sourceDir : ".") + "/build/cache/node";
    const bool present =
        toolPresent("node") &&
        std::system(
            ("test -f " + shellQuoted(nodeDir + "/node_modules/ag-psd/package.json")).c_str()) == 0;
    REQUIRE_READER(present, "ag-psd (scripts/setup-psd-readers.sh)");
    const std::string script = scratch.file("read.js");
    {
        FILE* f = std::fopen(script.c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fputs(
            "const ag = require(process.argv[2] + '/node_modules/ag-psd');\n"
            "ag.initializeCanvas(() => { throw new Error('no canvas'); },\n"
            "  (w, h) => ({ width: w, height: h, data: new Uint8ClampedArray(w * h * 4) }));\n"
            "const psd = ag.readPsd(require('fs').readFileSync(process.argv[3]),\n"
            "  { useImageData: true, skipThumbnail: true });\n"
            "console.log('size', psd.width, psd.height, psd.bitsPerChannel);\n"
            "console.log('resources', Object.keys(psd.imageResources || {}).sort().join(','));\n"
            "for (const l of psd.children || []) {\n"
            "  console.log('layer', JSON.stringify(l.name), l.top, l.left, l.bottom, l.right);\n"
            "  const d = l.imageData.data;\n"
            "  for (let i = 0; i < d.length; i += 4)\n"
            "    console.log('px', d[i], d[i + 1], d[i + 2], d[i + 3]);\n"
            "}\n",
            f);
        std::fclose(f);
    }
    int status = 0;
    const std::string out =
        run("node " + shellQuoted(script) + " " + shellQuoted(nodeDir) + " " + shellQuoted(path),
            status);
    ASSERT_EQ(status, 0) << out;
    EXPECT_NE(out.find("size 40 24 " + std::to_string(bits) + "\n"), std::string::npos) << out;
    for (const char* resource : {"layerState", "printFlags", "resolutionInfo", "url"})
        EXPECT_NE(out.find(resource), std::string::npos) << resource << "\n" << out;
    EXPECT_NE(out.find("layer \"layer 1\" 0 0 24 40\n"), std::string::npos) << out;
    const std::vector<std::string> pixels = linesAfter(out, "px ");
    ASSERT_EQ(pixels.size(), size_t(kW * kH));
    const double maxValue = bits == 8 ? 255.0 : bits == 16 ? 65535.0 : 1.0;
    for (size_t i = 0; i < pixels.size(); ++i) {
        const int32_t x = int32_t(i % kW), y = int32_t(i / kW);
        double v[4];
        ASSERT_EQ(std::sscanf(pixels[i].c_str(), "%lf %lf %lf %lf", &v[0], &v[1], &v[2], &v[3]), 4);
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(v[c] / maxValue, layerValue(bits, x, y, c)) << x << "," << y << " " << c;
    }
}

INSTANTIATE_TEST_SUITE_P(Depths, PsdReaders, testing::Values(8, 16, 32),
                         [](const testing::TestParamInfo<int>& depth) {
                             return "Bits" + std::to_string(depth.param);
                         });

#endif
