// The memory-dots page as the dialog publishes it: the filled dots only,
// each rendered with its own settings over the document at 300 pixels on
// the larger side, and the run's settings untouched afterwards.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "export/jpeg_codec.h"
#include "platform/temp_folder.h"
#include "plugin/dialog_run.h"
#include "plugin/dots_page.h"
#include "plugin_test_support.h"
#include "presets/memory_dots.h"
#include "presets/presets_file.h"
#include "tests/common/test_paths.h"
#include "values/scripting_terms.h"

using host::ColorModel;
using host::Descriptor;
using host::Document;
using host::FilterHost;
using host::RunOptions;

namespace {

Descriptor settingsDescriptor(uint32_t glue, int32_t seed) {
    Descriptor d;
    d.putEnumerated(fourCC("GLUE"), fourCC("GLty"), glue).putInteger(kKeyRandomSeed, seed);
    return d;
}

bool collect(void* context, int y, const uint8_t* samples, int width, int components) {
    auto& rows = *static_cast<std::vector<uint8_t>*>(context);
    const size_t n = size_t(width) * size_t(components);
    rows.resize(std::max(rows.size(), size_t(y + 1) * n));
    std::copy(samples, samples + n, rows.begin() + ptrdiff_t(size_t(y) * n));
    return true;
}

std::vector<uint8_t> decodedFile(const std::string& path, JpegPictureInfo& info) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> stream((std::istreambuf_iterator<char>(in)),
                                      std::istreambuf_iterator<char>());
    std::vector<uint8_t> rows;
    decompressJpeg(stream.data(), stream.size(), JpegDecodeLimits{}, collect, &rows, &info);
    return rows;
}

Document wideDocument() {
    Document d = Document::make(1000, 250, ColorModel::rgb, 8, host::Transparency::none);
    for (int32_t y = 0; y < 250; ++y)
        for (int32_t x = 0; x < 1000; ++x) {
            d.setSample(x, y, 0, double((x * 255) / 999));
            d.setSample(x, y, 1, double((y * 255) / 249));
            d.setSample(x, y, 2, 60.0);
        }
    return d;
}

TEST(DotsPage, PicturesAre300PixelsOnTheLargerSide) {
    struct Case {
        int32_t w, h, outW, outH;
    } cases[] = {
        {1000, 250, 300, 75}, {250, 1000, 75, 300}, {300, 300, 300, 300}, {7, 3, 300, 128},
        {1000, 1, 300, 1},    {1, 100000, 1, 300},  {0, 0, 1, 1},         {601, 2, 300, 1},
    };
    for (const Case& c : cases) {
        int32_t w = 0, h = 0;
        dotsPageImageSize(c.w, c.h, w, h);
        EXPECT_EQ(w, c.outW) << c.w << "x" << c.h;
        EXPECT_EQ(h, c.outH) << c.w << "x" << c.h;
    }
}

TEST(DotsPage, TheDialogPublishesTheFilledDotsOnly) {
    const std::string temp = temporaryFolder();
    // Dots 2 and 5 are remembered; dot 8 has a file but the dialog shows it
    // empty.
    const int indexes[] = {1, 4, 7};
    const uint32_t glues[] = {fourCC("GL04"), fourCC("GL07"), fourCC("GL10")};
    for (int k = 0; k < 3; ++k) {
        SettingsRecord s{};
        applyPlainDefaults(s);
        s.glue = 4 + 3 * k;
        s.randomSeed = 100 + indexes[k];
        ASSERT_EQ(
            writeSettingsFile((temp + dotFileName(indexes[k])).c_str(), s, nullptr, kOpenOwnedOnly),
            kFileOk);
    }
    DotMap map{};
    map.entry[1] = map.entry[4] = 1;
    ASSERT_EQ(saveDotMap(map), kFileOk);

    ScratchFiles out;
    const std::string page = out.file("dots.html");
    Document doc = wideDocument();
    host::RunRecord r;
    {
        // A right-click on the dot viewer asks for the page's file.
        qftest::DialogScript script("file " + page +
                                    "\npress 378 519 right\nrelease 378 519\nok\n");
        host::HostOptions options;
        options.descriptors.playInfo = plugInDialogDisplay;
        RunOptions run;
        run.showDialog = true;
        run.descriptor = settingsDescriptor(fourCC("GL05"), 321);
        r = FilterHost(qftest::entry, options).run(doc, run);
    }
    ASSERT_TRUE(r.ok()) << r.hostError;

    // The run's own settings rendered the document, as without the page.
    Document plain = wideDocument();
    ASSERT_TRUE(FilterHost(qftest::entry)
                    .run(plain,
                         [] {
                             RunOptions o;
                             o.descriptor = settingsDescriptor(fourCC("GL05"), 321);
                             return o;
                         }())
                    .ok());
    EXPECT_EQ(doc.bytes(), plain.bytes());

    std::ifstream in(page, std::ios::binary);
    const std::string html((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(html.empty());
    EXPECT_NE(html.find("<title>Quillfire memory dots</title>"), std::string::npos);
    EXPECT_NE(html.find("src=\"web_images/dot%202.jpg\" alt=\"dot 2.jpg\" width=\"300\" "
                        "height=\"75\""),
              std::string::npos);
    EXPECT_NE(html.find("src=\"web_images/dot%205.jpg\" alt=\"dot 5.jpg\" width=\"300\" "
                        "height=\"75\""),
              std::string::npos);
    EXPECT_EQ(html.find("dot 8"), std::string::npos);
    size_t pictures = 0;
    for (size_t p = html.find("alt=\""); p != std::string::npos; p = html.find("alt=\"", p + 1))
        ++pictures;
    EXPECT_EQ(pictures, 2u);
    // Two pictures and two empty cells end the one row.
    EXPECT_NE(html.find("</b></font></p>\r\n</div>\r\n</td>\r\n\r\n</tr>"), std::string::npos);

    // Each picture is the dot's settings over the document, exactly as the
    // JPEG export renders them at that size and quality.
    for (int k = 0; k < 2; ++k) {
        const std::string name = "dot " + std::to_string(indexes[k] + 1);
        JpegPictureInfo pageInfo, exportInfo;
        const std::vector<uint8_t> shown =
            decodedFile(out.file("web_images/" + name + ".jpg"), pageInfo);
        EXPECT_EQ(pageInfo.width, 300) << name;
        EXPECT_EQ(pageInfo.height, 75) << name;

        const std::string exported = out.file(name + " export.jpg");
        host::HostOptions ours;
        ours.hostSig = kOwnHostSignature;
        Descriptor d = settingsDescriptor(glues[k], 100 + indexes[k]);
        d.putText(kKeyExportPath, exported)
            .putInteger(kKeyExportWidth, 300)
            .putInteger(kKeyExportHeight, 75)
            .putInteger(kKeyExportQuality, 80);
        RunOptions exportRun;
        exportRun.descriptor = d;
        Document source = wideDocument();
        ASSERT_TRUE(FilterHost(qftest::entry, ours).run(source, exportRun).ok());
        EXPECT_EQ(shown, decodedFile(exported, exportInfo)) << name;
    }
    for (int index : indexes) std::remove((temp + dotFileName(index)).c_str());
    std::remove((temp + kDotMapName).c_str());
}

} // namespace
