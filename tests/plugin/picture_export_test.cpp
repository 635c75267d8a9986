// Exports through the descriptor keys our command-line host sends: the
// pattern rendered over a copy of the document, written as a JPEG file.
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>

#include "../export/psd_test_file.h"
#include "composite/picture/pyramid_storage.h"
#include "export/jpeg_codec.h"
#include "platform/file.h"
#include "platform/temp_folder.h"
#include "plugin/picture_export.h"
#include "plugin/scripting.h"
#include "plugin_test_support.h"

namespace qf {}
using namespace qf;

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

host::HostOptions ourHost() {
    host::HostOptions o;
    o.hostSig = kOwnHostSignature;
    return o;
}

host::RunRecord exportTo(const std::string& path, int32_t w, int32_t h, Document& doc,
                         host::HostOptions options = ourHost()) {
    FilterHost host(qftest::entry, options);
    Descriptor d;
    d.putText(kKeyExportPath, path).putInteger(kKeyExportWidth, w).putInteger(kKeyExportHeight, h);
    d.putInteger(fourCC("0014"), 99);
    RunOptions run;
    run.descriptor = d;
    return host.run(doc, run);
}

bool collectRow(void* context, int y, const uint8_t* samples, int width, int components) {
    auto& rows = *static_cast<std::vector<uint8_t>*>(context);
    const size_t n = size_t(width) * size_t(components);
    rows.resize(std::max(rows.size(), size_t(y + 1) * n));
    std::copy(samples, samples + n, rows.begin() + ptrdiff_t(size_t(y) * n));
    return true;
}

// A document with some structure, so that every glue mode has something
// to work on.
Document gradient(int32_t w, int32_t h) {
    Document d = Document::make(w, h, ColorModel::rgb, 8, host::Transparency::none);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            d.setSample(x, y, 0, double((x * 255) / (w - 1)));
            d.setSample(x, y, 1, double((y * 255) / (h - 1)));
            d.setSample(x, y, 2, double(((x + y) * 7) % 256));
        }
    return d;
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

// A recorded action replayed in an editor may carry our export keys: they
// would overwrite any file the user can write. Only our own host is heard.
TEST(PictureExport, ExportKeysFromAnEditorAreIgnoredAndTheFilterRuns) {
    const std::string path = temporaryFolder() + "precious.txt";
    {
        File f;
        ASSERT_EQ(f.openForWriting(path.c_str()), kFileOk);
        const char text[] = "keep me";
        ASSERT_EQ(f.write(text, sizeof text - 1), kFileOk);
        f.setEndOfFile();
        f.close();
    }
    Document doc = qftest::filled(64, 48, ColorModel::rgb, 8, 100);
    const Document before = doc;
    const host::RunRecord r = exportTo(path, 100, 100, doc, host::HostOptions{});
    ASSERT_TRUE(r.ok()) << host::describeResult(r.result);
    EXPECT_EQ(readAll(path), (std::vector<uint8_t>{'k', 'e', 'e', 'p', ' ', 'm', 'e'}));
    EXPECT_EQ(qftest::countChanged(before, doc), 64 * 48); // filtered instead
    deleteFile(path.c_str());
}

// The exported picture is what applying the filter gives, for every glue
// mode, those with partly transparent results included: within the error
// of the JPEG compression at the highest quality.
TEST(PictureExport, EveryGlueModeMatchesTheFinalRenderWithinJpegError) {
    const int32_t w = 96, h = 64;
    const std::string path = temporaryFolder() + "glue-export.jpg";
    for (int glue = 1; glue <= 69; ++glue) {
        SCOPED_TRACE("glue " + std::to_string(glue));
        Descriptor settings;
        settings.putEnumerated(fourCC("GLUE"), fourCC("GLty"), glueEnumValue(glue));
        settings.putInteger(fourCC("0014"), 1234);

        Document applied = gradient(w, h);
        {
            FilterHost host(qftest::entry);
            RunOptions run;
            run.descriptor = settings;
            ASSERT_TRUE(host.run(applied, run).ok());
        }
        Document source = gradient(w, h);
        {
            FilterHost host(qftest::entry, ourHost());
            Descriptor d = settings;
            d.putText(kKeyExportPath, path).putInteger(kKeyExportQuality, 100);
            RunOptions run;
            run.descriptor = d;
            ASSERT_TRUE(host.run(source, run).ok());
        }
        const std::vector<uint8_t> jpeg = readAll(path);
        std::vector<uint8_t> rows;
        JpegPictureInfo info;
        ASSERT_EQ(
            decompressJpeg(jpeg.data(), jpeg.size(), JpegDecodeLimits{}, collectRow, &rows, &info),
            0);
        ASSERT_EQ(info.width, w);
        ASSERT_EQ(info.height, h);
        ASSERT_EQ(info.components, 3);
        double squared = 0;
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x)
                for (int c = 0; c < 3; ++c) {
                    const double d =
                        double(rows[size_t((y * w + x) * 3 + c)]) - applied.sample(x, y, c);
                    squared += d * d;
                }
        const double psnr =
            10.0 * std::log10(255.0 * 255.0 / std::max(squared / (w * h * 3), 1e-9));
        EXPECT_GT(psnr, 30.0);
    }
    deleteFile(path.c_str());
}

TEST(PictureExport, ReportsProgressUpToItsTotalAndCanBeCancelled) {
    const std::string path = temporaryFolder() + "progress.jpg";
    deleteFile(path.c_str());
    Document doc = qftest::filled(64, 64, ColorModel::rgb, 8, 100);
    host::HostOptions o = ourHost();
    int32_t last = -1, total = 0;
    bool beyond = false;
    o.onProgress = [&](int32_t done, int32_t all) {
        beyond |= done > all;
        last = done;
        total = all;
    };
    const host::RunRecord r = exportTo(path, 2000, 1500, doc, o);
    ASSERT_TRUE(r.ok());
    EXPECT_FALSE(beyond);
    EXPECT_GT(r.progressCalls, 0);
    EXPECT_EQ(total, 1000);
    EXPECT_LE(last, 1000);
    EXPECT_GT(r.abortCalls, 0);

    // Cancelled at the first abort test: nothing is written, the result
    // says so and an older file stays as it was.
    const std::vector<uint8_t> old = readAll(path);
    ASSERT_FALSE(old.empty());
    host::HostOptions cancel = ourHost();
    cancel.onAbortTest = [] { return true; };
    const host::RunRecord c = exportTo(path, 2000, 1500, doc, cancel);
    EXPECT_EQ(c.result, userCanceledErr);
    EXPECT_EQ(readAll(path), old);
    EXPECT_FALSE(fileExists((path + ".partial").c_str()));
    deleteFile(path.c_str());
}

namespace {

// The temporary files an export may have left in a folder.
int partialFilesIn(const std::string& folder) {
    int n = 0;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        n += e.path().extension() == ".partial";
    return n;
}

std::string iptcText(const qftest::PsdFile& f) {
    const qftest::PsdResource* r = f.resource(1028);
    return r ? std::string(r->data.begin(), r->data.end()) : std::string();
}

} // namespace

// The PSD export at each depth: the layer is the rendered picture, exactly
// the final render of the same settings over an opaque document, at the
// document's depth; the keywords name the pattern.
TEST(PsdExport, WritesTheRenderedLayerAtTheDocumentsDepth) {
    for (int depth : {8, 16, 32}) {
        SCOPED_TRACE(depth);
        const std::string path = temporaryFolder() + "export-" + std::to_string(depth) + ".PSD";
        deleteFile(path.c_str());
        Document doc = qftest::filled(70, 50, ColorModel::rgb, depth, depth == 32 ? 0.5 : 100);
        Document applied = doc;
        {
            FilterHost host(qftest::entry);
            Descriptor d;
            d.putInteger(fourCC("0014"), 99);
            RunOptions run;
            run.descriptor = d;
            ASSERT_TRUE(host.run(applied, run).ok());
        }
        const host::RunRecord r = exportTo(path, 0, 0, doc);
        ASSERT_TRUE(r.ok()) << host::describeResult(r.result);
        const qftest::PsdFile f = qftest::parsePsd(readAll(path));
        ASSERT_TRUE(f.ok) << f.error;
        EXPECT_EQ(f.depth, depth);
        EXPECT_EQ(f.width, 70u);
        EXPECT_EQ(f.height, 50u);
        ASSERT_EQ(f.layers.size(), 1u);
        EXPECT_EQ(f.layers[0].name, "layer 1");
        const std::string iptc = iptcText(f);
        EXPECT_EQ(iptc.find("HDR") != std::string::npos, depth == 32);
        // The defaults: points, stripe kind b, merge rule 3.
        for (const char* keyword : {"Quillfire", "points", "stripe_b", "merge_3"})
            EXPECT_NE(iptc.find(keyword), std::string::npos) << keyword;
        // Layer planes: transparency, red, green, blue; the colours are the
        // applied document's samples (16-bit doubled, floats as they are).
        const size_t bytes = size_t(depth / 8);
        for (int c = 0; c < 3; ++c) {
            const std::vector<uint8_t>& plane = f.layers[0].channels[size_t(c) + 1].samples;
            ASSERT_EQ(plane.size(), 70u * 50u * bytes);
            int differing = 0;
            for (int32_t y = 0; y < 50; ++y)
                for (int32_t x = 0; x < 70; ++x) {
                    const uint8_t* p = &plane[(size_t(y) * 70 + size_t(x)) * bytes];
                    double value = 0;
                    if (depth == 8) value = p[0];
                    if (depth == 16) {
                        const int v = (p[0] << 8) | p[1];
                        value = v == 65535 ? 32768 : v / 2;
                    }
                    if (depth == 32) {
                        const uint32_t bits = (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) |
                                              (uint32_t(p[2]) << 8) | p[3];
                        float fv;
                        std::memcpy(&fv, &bits, 4);
                        value = fv;
                    }
                    differing += value != applied.sample(x, y, c);
                }
            EXPECT_EQ(differing, 0) << "channel " << c;
        }
        EXPECT_EQ(partialFilesIn(temporaryFolder()), 0);
        deleteFile(path.c_str());
    }
}

// Sides typed beyond the limits are stored as 2 and 30000.
TEST(PsdExport, SidesAreLimitedToTwoToThirtyThousand) {
    const std::string path = temporaryFolder() + "sides.psd";
    Document doc = qftest::filled(20, 10, ColorModel::gray, 8, 60);
    ASSERT_TRUE(exportTo(path, 1, 1, doc).ok());
    qftest::PsdFile f = qftest::parsePsd(readAll(path));
    ASSERT_TRUE(f.ok) << f.error;
    EXPECT_EQ(f.width, 2u);
    EXPECT_EQ(f.height, 2u);
    ASSERT_TRUE(exportTo(path, 40000, 1, doc).ok());
    f = qftest::parsePsd(readAll(path));
    ASSERT_TRUE(f.ok) << f.error;
    EXPECT_EQ(f.width, 30000u);
    EXPECT_EQ(f.height, 2u);
    deleteFile(path.c_str());
}

// A file that cannot be created: the file layer's code, and nothing is
// rendered. A picture that cannot be had: -99 and nothing written.
TEST(PsdExport, FailuresLeaveNothingAndAnOlderFileAsItWas) {
    Document doc = qftest::filled(64, 48, ColorModel::rgb, 8, 100);
    host::HostOptions o = ourHost();
    const host::RunRecord missing =
        exportTo(temporaryFolder() + "no-such-folder/out.psd", 0, 0, doc, o);
    EXPECT_EQ(missing.result, kExportCannotCreate);
    EXPECT_EQ(missing.progressCalls, 0);

    const std::string path = temporaryFolder() + "older.psd";
    {
        File f;
        ASSERT_EQ(f.openForWriting(path.c_str()), kFileOk);
        ASSERT_EQ(f.write("older", 5), kFileOk);
        f.setEndOfFile();
        f.close();
    }
    const std::vector<uint8_t> older = readAll(path);
    const uint64_t limit = pyramidStorageLimit();
    setPyramidStorageLimit(1000);
    const host::RunRecord tooBig = exportTo(path, 0, 0, doc, o);
    setPyramidStorageLimit(limit);
    EXPECT_EQ(tooBig.result, kExportNoPicture);
    EXPECT_EQ(tooBig.progressCalls, 0);
    EXPECT_EQ(readAll(path), older);

    host::HostOptions cancel = ourHost();
    cancel.onAbortTest = [] { return true; };
    const host::RunRecord cancelled = exportTo(path, 600, 600, doc, cancel);
    EXPECT_EQ(cancelled.result, userCanceledErr);
    EXPECT_EQ(readAll(path), older);
    EXPECT_EQ(partialFilesIn(temporaryFolder()), 0);

    // A float layer too large for the format's lengths is refused before
    // anything is made.
    Document wide = qftest::filled(16, 16, ColorModel::rgb, 32, 0.5);
    const host::RunRecord refused = exportTo(path, 30000, 30000, wide, o);
    EXPECT_EQ(refused.result, paramErr);
    EXPECT_EQ(readAll(path), older);
    deleteFile(path.c_str());
}
