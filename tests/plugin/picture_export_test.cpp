// Exports through the descriptor keys our command-line host sends: the
// pattern rendered over a copy of the document, written as a JPEG file.
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/file.h"
#include "platform/temp_folder.h"
#include "plugin/picture_export.h"
#include "plugin_test_support.h"

using host::ColorModel;
using host::Descriptor;
using host::Document;
using host::FilterHost;
using host::RunOptions;

namespace {

std::vector<uint8_t> readAll(const std::string& path) {
    std::vector<uint8_t> bytes;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        int c;
        while ((c = std::fgetc(f)) != EOF) bytes.push_back(uint8_t(c));
        std::fclose(f);
    }
    return bytes;
}

host::RunRecord exportTo(const std::string& path, int32_t w, int32_t h, Document& doc) {
    FilterHost host(qftest::entry);
    Descriptor d;
    d.putText(kKeyExportPath, path).putInteger(kKeyExportWidth, w).putInteger(kKeyExportHeight, h);
    d.putInteger(fourCC("0014"), 99);
    RunOptions run;
    run.descriptor = d;
    return host.run(doc, run);
}

} // namespace

TEST(PictureExport, WritesAJpegAtTheRequestedSizeAndLeavesTheDocument) {
    for (int depth : {8, 16, 32}) {
        const std::string path = temporaryFolder() + "export-" + std::to_string(depth) + ".jpg";
        deleteFile(path.c_str());
        Document doc = qftest::filled(120, 90, ColorModel::rgb, depth, depth == 32 ? 0.5 : 100);
        const Document before = doc;
        const host::RunRecord r = exportTo(path, 333, 222, doc);
        ASSERT_TRUE(r.ok()) << host::describeResult(r.result);
        EXPECT_EQ(qftest::countChanged(before, doc), 0);
        const std::vector<uint8_t> jpeg = readAll(path);
        ASSERT_GT(jpeg.size(), 1000u);
        EXPECT_EQ(jpeg[0], 0xFF);
        EXPECT_EQ(jpeg[1], 0xD8);
        // The frame header carries the requested size.
        bool sized = false;
        for (size_t i = 0; i + 8 < jpeg.size(); ++i)
            if (jpeg[i] == 0xFF && (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC2)) {
                EXPECT_EQ((jpeg[i + 5] << 8) | jpeg[i + 6], 222);
                EXPECT_EQ((jpeg[i + 7] << 8) | jpeg[i + 8], 333);
                sized = true;
                break;
            }
        EXPECT_TRUE(sized);
        EXPECT_FALSE(fileExists((path + ".partial").c_str()));
        deleteFile(path.c_str());
    }
}

TEST(PictureExport, AnUnwritablePathFailsAndLeavesNothingBehind) {
    const std::string path = temporaryFolder() + "no-such-folder/out.jpg";
    Document doc = qftest::filled(60, 40, ColorModel::gray, 8, 10);
    const host::RunRecord r = exportTo(path, 0, 0, doc);
    EXPECT_EQ(r.result, writErr);
    EXPECT_FALSE(fileExists(path.c_str()));
    EXPECT_FALSE(fileExists((path + ".partial").c_str()));
}
