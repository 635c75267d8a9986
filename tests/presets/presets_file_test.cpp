#include "composite/picture/pyramid_image.h"
#include "platform/file.h"
#include "platform/path.h"
#include "presets/presets_file.h"
#include "presets_support.h"
#include "tests/common/test_paths.h"
#include "tests/export/jpeg_stream.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace qf {}
using namespace qf;

namespace {

// A 128 x 128 8-bit thumbnail with a smooth pattern.
PyramidImage gradientThumbnail(int side = 128) {
    PyramidImage image;
    EXPECT_TRUE(image.create(side, side, kPyramidRGBA8));
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            image.storePixel(x, y, 0, FloatRGBA{float(x) / side, float(y) / side, 0.5f, 1.0f});
        }
    }
    return image;
}

std::vector<uint8_t> writeToMemory(ScratchFiles& scratch, SettingsRecord& s,
                                   PyramidImage* thumbnail) {
    const std::string path = scratch.file("written.sa9");
    EXPECT_EQ(writeSettingsFile(path.c_str(), s, thumbnail), kFileOk);
    return scratch.read("written.sa9");
}

// Reads `bytes` in load mode into `s`.
int load(const std::vector<uint8_t>& bytes, SettingsRecord& s, PyramidImage* thumbnail = nullptr,
         bool* pictureRead = nullptr) {
    return readSettingsMemory(bytes.data(), bytes.size(), kPresetsLoad, &s, thumbnail, pictureRead);
}

void expectPatternEqual(const SettingsRecord& a, const SettingsRecord& b) {
    EXPECT_EQ(a.glue, b.glue);
    EXPECT_EQ(a.overlap, b.overlap);
    EXPECT_EQ(a.stripes, b.stripes);
    EXPECT_EQ(a.warping, b.warping);
    EXPECT_EQ(a.softness, b.softness);
    EXPECT_EQ(a.doublure, b.doublure);
    EXPECT_EQ(a.color, b.color);
    EXPECT_EQ(a.zoom, b.zoom);
    EXPECT_EQ(a.complexity, b.complexity);
    EXPECT_EQ(a.hue, b.hue);
    EXPECT_EQ(a.merge, b.merge);
    EXPECT_EQ(a.shape, b.shape);
    EXPECT_EQ(a.stripeKind, b.stripeKind);
    EXPECT_EQ(a.randomSeed, b.randomSeed);
}

// A version-200 file from distinctSettings() with a picture block of our
// choosing.
std::vector<uint8_t> fileWithPicture(int32_t kind, int32_t width, int32_t height, int32_t count,
                                     const std::vector<uint8_t>& data) {
    FileBytes f;
    for (int32_t v : distinctFileFields()) f.i32(v);
    f.i32(kind).i32(width).i32(height).i32(count).raw(data);
    return f.bytes;
}

// A real JPEG picture as the writer makes it, taken from a written file.
std::vector<uint8_t> writtenPictureStream(ScratchFiles& scratch) {
    SettingsRecord s = distinctSettings();
    PyramidImage thumbnail = gradientThumbnail();
    const std::vector<uint8_t> bytes = writeToMemory(scratch, s, &thumbnail);
    return std::vector<uint8_t>(bytes.begin() + 116, bytes.end());
}

} // namespace

// ------------------------------------------------------------------ writing

TEST(PresetsWriter, WritesTheVersion200LayoutWithoutPicture) {
    ScratchFiles scratch;
    SettingsRecord s = distinctSettings();
    s.fileVersion = 3;
    const std::vector<uint8_t> bytes = writeToMemory(scratch, s, nullptr);
    ASSERT_EQ(bytes.size(), 104u);
    EXPECT_EQ(s.fileVersion, 200);
    const std::vector<int32_t> fields = distinctFileFields();
    for (size_t i = 0; i < fields.size(); ++i)
        EXPECT_EQ(be32(bytes, 4 * i), fields[i]) << "offset " << 4 * i;
    EXPECT_EQ(be32(bytes, 100), 0) << "no picture";
    // A thumbnail without pixels gives no picture either.
    PyramidImage empty;
    EXPECT_EQ(writeToMemory(scratch, s, &empty), bytes);
}

TEST(PresetsWriter, ZeroExtendsColourWordsAndTruncatesPercentages) {
    ScratchFiles scratch;
    SettingsRecord s = distinctSettings();
    s.gradientColor1[0] = -1;
    s.legacyPercent[0] = 0.999f;
    s.legacyPercent[1] = -0.257f;
    s.legacyPercent[2] = std::nanf("");
    const std::vector<uint8_t> bytes = writeToMemory(scratch, s, nullptr);
    EXPECT_EQ(be32(bytes, 60), 65535);
    EXPECT_EQ(be32(bytes, 48), 99);
    EXPECT_EQ(be32(bytes, 52), -25);
    EXPECT_EQ(be32(bytes, 56), 0);
}

// A file written over an older, longer one ends where its own data ends:
// nothing of the old file is left after it.
TEST(PresetsWriter, WritingOverALongerFileCutsItsTail) {
    ScratchFiles scratch;
    scratch.write("written.sa9", std::vector<uint8_t>(500, 0xEE));
    SettingsRecord s = distinctSettings();
    const std::vector<uint8_t> bytes = writeToMemory(scratch, s, nullptr);
    ASSERT_EQ(bytes.size(), 104u);
    EXPECT_EQ(be32(bytes, 100), 0);
    SettingsRecord back = sentinelSettings();
    EXPECT_EQ(load(bytes, back), kFileOk);
    expectPatternEqual(back, s);
}

TEST(PresetsWriter, ReportsFilesThatCannotBeOpenedOrWritten) {
    ScratchFiles scratch;
    SettingsRecord s = distinctSettings();
    EXPECT_EQ(writeSettingsFile(scratch.file("missing/x.sa9").c_str(), s, nullptr),
              kFileCannotOpen);
    scratch.write("reader.sa9", {1, 2, 3});
    File reader;
    ASSERT_EQ(reader.openForReading(scratch.file("reader.sa9").c_str()), kFileOk);
    PyramidImage thumbnail = gradientThumbnail();
    EXPECT_EQ(writeSettings(reader, s, &thumbnail), kFileWriteFailed);
}

// ---------------------------------------------------------------- reading

TEST(PresetsReader, ReadsBackWhatWasWritten) {
    ScratchFiles scratch;
    SettingsRecord s = distinctSettings();
    const std::vector<uint8_t> bytes = writeToMemory(scratch, s, nullptr);
    SettingsRecord back = sentinelSettings();
    bool pictureRead = true;
    EXPECT_EQ(readSettingsFile(scratch.file("written.sa9").c_str(), kPresetsLoad, &back, nullptr,
                               &pictureRead),
              kFileOk);
    EXPECT_FALSE(pictureRead);
    expectPatternEqual(back, s);
    EXPECT_EQ(back.fileVersion, 200);
    // 0.7071 went out as 70 and comes back as 0.70.
    EXPECT_FLOAT_EQ(back.legacyPercent[0], 0.70f);
    EXPECT_FLOAT_EQ(back.legacyPercent[1], 0.25f);
    EXPECT_FLOAT_EQ(back.legacyPercent[2], -0.5f);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(back.gradientColor1[i], s.gradientColor1[i]);
        EXPECT_EQ(back.gradientColor2[i], s.gradientColor2[i]);
    }
    // Written again, the percentage stays at 70.
    const std::vector<uint8_t> again = writeToMemory(scratch, back, nullptr);
    EXPECT_EQ(again, bytes);
}

TEST(PresetsReader, StoresParametersAsTheFileHoldsThemAndTakesLowColourBits) {
    FileBytes f;
    f.i32(200).i32(1000);                                // glue
    for (int i = 0; i < 9; ++i) f.i32(i % 2 ? -5 : 250); // the sliders
    f.i32(9).i32(0).i32(0).i32(0);                       // merge, percentages
    f.i32(0x12345678).i32(0xFFFF).i32(-1).i32(0x10000).i32(255).i32(0x8000);
    f.i32(-3).i32(77).i32(0).i32(INT32_MIN).i32(0); // shape, stripe kind, flag, seed, no picture
    SettingsRecord s = sentinelSettings();
    EXPECT_EQ(load(f.bytes, s), kFileOk);
    // Out-of-range values reach the record unchanged, as from a descriptor;
    // the renderer and the glue modes take care of them.
    EXPECT_EQ(s.glue, 1000);
    EXPECT_EQ(s.overlap, 250);
    EXPECT_EQ(s.stripes, -5);
    EXPECT_EQ(s.hue, 250);
    EXPECT_EQ(s.merge, 9);
    EXPECT_EQ(s.shape, -3);
    EXPECT_EQ(s.stripeKind, 77);
    EXPECT_EQ(s.randomSeed, INT32_MIN) << "any seed is a seed";
    EXPECT_EQ(s.gradientColor1[0], 0x5678);
    EXPECT_EQ(s.gradientColor1[1], -1);
    EXPECT_EQ(s.gradientColor1[2], -1);
    EXPECT_EQ(s.gradientColor2[0], 0);
    EXPECT_EQ(s.gradientColor2[1], 255);
    EXPECT_EQ(uint16_t(s.gradientColor2[2]), 0x8000);
}

TEST(PresetsReader, Version180HasNeitherColoursNorPicture) {
    FileBytes f;
    f.i32(180);
    for (int32_t v : {21, 31, 32, 33, 34, 35, 36, 37, 38, 39, 2}) f.i32(v);
    f.i32(50).i32(60).i32(70);         // percentages
    f.i32(3).i32(4).i32(0).i32(999);   // shape, stripe kind, flag, seed
    f.i32(1).i32(128).i32(128).i32(4); // bytes that are no picture block here
    SettingsRecord s = sentinelSettings();
    PyramidImage thumbnail = gradientThumbnail(16);
    bool pictureRead = true;
    EXPECT_EQ(load(f.bytes, s, &thumbnail, &pictureRead), kFileOk);
    EXPECT_EQ(s.fileVersion, 180);
    EXPECT_EQ(s.glue, 21);
    EXPECT_EQ(s.overlap, 31);
    EXPECT_EQ(s.hue, 39);
    EXPECT_EQ(s.merge, 2);
    EXPECT_FLOAT_EQ(s.legacyPercent[2], 0.70f);
    EXPECT_EQ(s.shape, 3);
    EXPECT_EQ(s.stripeKind, 4);
    EXPECT_EQ(s.randomSeed, 999);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(s.gradientColor1[i], 777) << "kept";
        EXPECT_EQ(s.gradientColor2[i], 888) << "kept";
    }
    EXPECT_FALSE(pictureRead);
    EXPECT_EQ(thumbnail.width(), 16) << "thumbnail untouched";
}

TEST(PresetsReader, Version195HasColoursButEndsAfterTheSeed) {
    ScratchFiles scratch;
    const std::vector<uint8_t> stream = writtenPictureStream(scratch);
    std::vector<uint8_t> bytes = fileWithPicture(1, 128, 128, int32_t(stream.size()), stream);
    bytes[3] = 195; // the version
    SettingsRecord s = sentinelSettings();
    PyramidImage thumbnail;
    bool pictureRead = true;
    EXPECT_EQ(load(bytes, s, &thumbnail, &pictureRead), kFileOk);
    EXPECT_EQ(s.fileVersion, 195);
    EXPECT_EQ(s.gradientColor2[2], 255);
    EXPECT_EQ(s.randomSeed, distinctSettings().randomSeed);
    EXPECT_FALSE(pictureRead) << "a version-195 file has no picture block";
    EXPECT_FALSE(thumbnail.hasStorage());
}

TEST(PresetsReader, EachVersionBoundaryDecidesWhichBlocksAreRead) {
    // Files built for their own version: the colours from 190 on, the
    // picture block from 200 on. A block the version lacks is not in the
    // file; the bytes that follow (here a whole picture block) are not read.
    ScratchFiles scratch;
    const std::vector<uint8_t> stream = writtenPictureStream(scratch);
    const SettingsRecord d = distinctSettings();
    for (int32_t version : {INT32_MIN, -1, 0, 189, 190, 191, 199, 200, 201, INT32_MAX}) {
        const bool colours = version >= 190;
        const bool picture = version >= 200;
        FileBytes f;
        f.i32(version);
        for (int32_t v : {d.glue, d.overlap, d.stripes, d.warping, d.softness, d.doublure, d.color,
                          d.zoom, d.complexity, d.hue, d.merge}) {
            f.i32(v);
        }
        f.i32(70).i32(25).i32(-50);
        if (colours) {
            for (int i = 0; i < 3; ++i) f.i32(d.gradientColor1[i]);
            for (int i = 0; i < 3; ++i) f.i32(d.gradientColor2[i]);
        }
        f.i32(d.shape).i32(d.stripeKind).i32(0).i32(d.randomSeed);
        f.i32(1).i32(128).i32(128).i32(int32_t(stream.size())).raw(stream);

        SettingsRecord s = sentinelSettings();
        PyramidImage thumbnail;
        bool pictureRead = !picture;
        EXPECT_EQ(load(f.bytes, s, &thumbnail, &pictureRead), kFileOk) << version;
        EXPECT_EQ(s.fileVersion, version);
        expectPatternEqual(s, d);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(s.gradientColor1[i], colours ? d.gradientColor1[i] : 777) << version;
            EXPECT_EQ(s.gradientColor2[i], colours ? d.gradientColor2[i] : 888) << version;
        }
        EXPECT_EQ(pictureRead, picture) << version;
        EXPECT_EQ(thumbnail.hasStorage(), picture) << version;
    }
}

TEST(PresetsReader, PassesOverALegacyPictureWhateverItsSide) {
    for (int32_t side : {0, 64, 1 << 30, -1}) {
        FileBytes f;
        f.i32(195);
        for (int i = 0; i < 20; ++i) f.i32(i + 1);
        f.i32(2).i32(3);           // shape, stripe kind
        f.i32(1).i32(side).i32(0); // flag, side, unused
        f.fill(size_t(kLegacyPictureBytes), 0x7F);
        f.i32(31337); // seed
        SettingsRecord s = sentinelSettings();
        EXPECT_EQ(load(f.bytes, s), kFileOk) << side;
        EXPECT_EQ(s.stripeKind, 3) << side;
        EXPECT_EQ(s.randomSeed, 31337) << side;
    }
    // A legacy picture cut short: the seed is not there and keeps its value.
    FileBytes cut;
    cut.i32(195);
    for (int i = 0; i < 22; ++i) cut.i32(1);
    cut.i32(1).i32(64).i32(0).fill(100, 0);
    SettingsRecord s = sentinelSettings();
    EXPECT_EQ(load(cut.bytes, s), kFileReadFailed);
    EXPECT_EQ(s.randomSeed, 4242);
}

TEST(PresetsReader, KeepsEveryValueAFileCutShortDoesNotHold) {
    ScratchFiles scratch;
    SettingsRecord written = distinctSettings();
    PyramidImage thumbnail = gradientThumbnail();
    const std::vector<uint8_t> full = writeToMemory(scratch, written, &thumbnail);
    const std::vector<int32_t> fields = distinctFileFields();
    const SettingsRecord sentinel = sentinelSettings();
    for (size_t length = 0; length <= full.size(); ++length) {
        const std::vector<uint8_t> part(full.begin(), full.begin() + length);
        SettingsRecord s = sentinel;
        PyramidImage target;
        bool pictureRead = false;
        const int status = load(part, s, &target, &pictureRead);
        EXPECT_EQ(status, length == full.size() ? kFileOk : kFileReadFailed) << length;
        auto expect = [&](int32_t actual, size_t index, int32_t kept) {
            const bool present = 4 * index + 4 <= length;
            EXPECT_EQ(actual, present ? fields[index] : kept)
                << "field " << index << " at length " << length;
        };
        expect(s.fileVersion, 0, sentinel.fileVersion);
        expect(s.glue, 1, sentinel.glue);
        expect(s.overlap, 2, sentinel.overlap);
        expect(s.merge, 11, sentinel.merge);
        expect(int32_t(s.legacyPercent[1] * 100.0f + (s.legacyPercent[1] < 0 ? -0.5f : 0.5f)), 13,
               int32_t(sentinel.legacyPercent[1] * 100.0f + 0.5f));
        expect(uint16_t(s.gradientColor2[2]), 20, uint16_t(sentinel.gradientColor2[2]));
        expect(s.shape, 21, sentinel.shape);
        expect(s.stripeKind, 22, sentinel.stripeKind);
        expect(s.randomSeed, 24, sentinel.randomSeed);
        EXPECT_EQ(pictureRead, length == full.size()) << length;
        EXPECT_EQ(target.hasStorage(), length == full.size()) << length;
    }
}

TEST(PresetsReader, SurvivesHostilePictureCounts) {
    ScratchFiles scratch;
    const std::vector<uint8_t> stream = writtenPictureStream(scratch);
    for (int32_t count : {-1, 0, 49153, INT32_MAX, INT32_MIN}) {
        // The stream itself follows, but the count does not describe it.
        const std::vector<uint8_t> bytes = fileWithPicture(1, 128, 128, count, stream);
        SettingsRecord s = sentinelSettings();
        PyramidImage thumbnail = gradientThumbnail(16);
        bool pictureRead = true;
        const int status = load(bytes, s, &thumbnail, &pictureRead);
        EXPECT_TRUE(status == kFileOk || status == kFileReadFailed) << count;
        EXPECT_FALSE(pictureRead) << count;
        EXPECT_EQ(thumbnail.width(), 16) << count << ": the thumbnail stays";
        expectPatternEqual(s, distinctSettings());
    }
    // A picture of exactly the limit is read.
    std::vector<uint8_t> padded = stream;
    padded.resize(kPresetsPictureLimit, 0);
    PyramidImage thumbnail;
    bool pictureRead = false;
    SettingsRecord s = sentinelSettings();
    EXPECT_EQ(load(fileWithPicture(1, 128, 128, kPresetsPictureLimit, padded), s, &thumbnail,
                   &pictureRead),
              kFileOk);
    EXPECT_TRUE(pictureRead);
}

TEST(PresetsReader, SurvivesPicturesThatAreNoJpegOrAreCutShort) {
    ScratchFiles scratch;
    const std::vector<uint8_t> stream = writtenPictureStream(scratch);
    {
        std::vector<uint8_t> junk(300);
        for (size_t i = 0; i < junk.size(); ++i) junk[i] = uint8_t(i * 37 + 11);
        SettingsRecord s = sentinelSettings();
        PyramidImage thumbnail = gradientThumbnail(16);
        bool pictureRead = true;
        EXPECT_EQ(load(fileWithPicture(1, 128, 128, 300, junk), s, &thumbnail, &pictureRead),
                  kFileOk);
        EXPECT_FALSE(pictureRead);
        EXPECT_EQ(thumbnail.width(), 16);
        expectPatternEqual(s, distinctSettings());
    }
    // The stream cut at many points, its count telling the truth about the cut.
    int decoded = 0;
    for (size_t cut = 1; cut < stream.size(); cut += 5) {
        const std::vector<uint8_t> part(stream.begin(), stream.begin() + cut);
        SettingsRecord s = sentinelSettings();
        PyramidImage thumbnail;
        bool pictureRead = false;
        EXPECT_EQ(
            load(fileWithPicture(1, 128, 128, int32_t(cut), part), s, &thumbnail, &pictureRead),
            kFileOk);
        EXPECT_EQ(pictureRead, thumbnail.hasStorage()) << cut;
        decoded += pictureRead;
        EXPECT_EQ(s.randomSeed, distinctSettings().randomSeed);
    }
    EXPECT_GT(decoded, 0) << "a stream cut inside its image data still gives a picture";
}

TEST(PresetsReader, ClampsThePictureSizeAndSkipsWhatItCannotHold) {
    ScratchFiles scratch;
    const std::vector<uint8_t> stream = writtenPictureStream(scratch);
    const int32_t n = int32_t(stream.size());
    struct Case {
        int32_t kind, width, height;
        bool read;
        int32_t expectWidth, expectHeight;
    };
    const Case cases[] = {{1, 500, 129, true, 128, 128}, {1, 64, 32, true, 64, 32},
                          {1, -4, 128, false, 0, 0},     {1, 128, 0, false, 0, 0},
                          {2, 128, 128, false, 0, 0},    {1, INT32_MIN, INT32_MAX, false, 0, 0}};
    for (const Case& c : cases) {
        SettingsRecord s = sentinelSettings();
        PyramidImage thumbnail;
        bool pictureRead = false;
        EXPECT_EQ(load(fileWithPicture(c.kind, c.width, c.height, n, stream), s, &thumbnail,
                       &pictureRead),
                  kFileOk);
        EXPECT_EQ(pictureRead, c.read) << c.kind << " " << c.width << "x" << c.height;
        if (c.read) {
            EXPECT_EQ(thumbnail.width(), c.expectWidth);
            EXPECT_EQ(thumbnail.height(), c.expectHeight);
        }
    }
    // Without a place for the picture it is passed over.
    SettingsRecord s = sentinelSettings();
    bool pictureRead = true;
    EXPECT_EQ(load(fileWithPicture(1, 128, 128, n, stream), s, nullptr, &pictureRead), kFileOk);
    EXPECT_FALSE(pictureRead);
    expectPatternEqual(s, distinctSettings());
}

TEST(PresetsReader, DecodesThePictureIntoAnEightBitThumbnail) {
    ScratchFiles scratch;
    SettingsRecord s = distinctSettings();
    PyramidImage original = gradientThumbnail();
    const std::vector<uint8_t> bytes = writeToMemory(scratch, s, &original);
    // The picture block after the seed: 1, 128, 128, the count, the stream.
    ASSERT_GT(bytes.size(), 116u);
    EXPECT_EQ(be32(bytes, 100), 1);
    EXPECT_EQ(be32(bytes, 104), 128);
    EXPECT_EQ(be32(bytes, 108), 128);
    EXPECT_EQ(bytes.size(), 116u + size_t(be32(bytes, 112)));
    EXPECT_LE(be32(bytes, 112), kPresetsPictureLimit);
    EXPECT_EQ(bytes[116], 0xFF);
    EXPECT_EQ(bytes[117], 0xD8);

    PyramidImage thumbnail;
    bool pictureRead = false;
    SettingsRecord back = sentinelSettings();
    ASSERT_EQ(readSettingsFile(scratch.file("written.sa9").c_str(), kPresetsLoad, &back, &thumbnail,
                               &pictureRead),
              kFileOk);
    ASSERT_TRUE(pictureRead);
    EXPECT_EQ(thumbnail.kind(), kPyramidRGBA8);
    EXPECT_EQ(thumbnail.width(), 128);
    EXPECT_EQ(thumbnail.height(), 128);
    double error = 0;
    for (int y = 4; y < 124; y += 3) {
        for (int x = 4; x < 124; x += 3) {
            const FloatRGBA a = original.samplePoint(x, y, 0);
            const FloatRGBA b = thumbnail.samplePoint(x, y, 0);
            error += std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b);
            ASSERT_EQ(b.a, 1.0f);
        }
    }
    EXPECT_LT(error / (40 * 40 * 3), 0.02);
}

TEST(PresetsReader, ThumbnailOnlyModeLeavesTheSettingsAlone) {
    ScratchFiles scratch;
    SettingsRecord s = distinctSettings();
    PyramidImage original = gradientThumbnail();
    writeToMemory(scratch, s, &original);
    SettingsRecord untouched = sentinelSettings();
    const SettingsRecord before = untouched;
    PyramidImage thumbnail;
    bool pictureRead = false;
    EXPECT_EQ(readSettingsFile(scratch.file("written.sa9").c_str(), kPresetsThumbnailOnly,
                               &untouched, &thumbnail, &pictureRead),
              kFileOk);
    EXPECT_TRUE(pictureRead);
    EXPECT_EQ(std::memcmp(&untouched, &before, sizeof before), 0);
    PyramidImage second;
    EXPECT_EQ(readSettingsFile(scratch.file("written.sa9").c_str(), kPresetsThumbnailOnly, nullptr,
                               &second, &pictureRead),
              kFileOk);
    EXPECT_TRUE(second.hasStorage());
    EXPECT_EQ(readSettingsFile(scratch.file("none.sa9").c_str(), kPresetsThumbnailOnly, nullptr,
                               &second, &pictureRead),
              kFileCannotOpen);
    EXPECT_FALSE(pictureRead);
}

TEST(PresetsPicture, OneComponentStreamsGiveGrey) {
    // The writer always makes three components; a grey stream comes from
    // the library itself.
    const std::vector<uint8_t> stream =
        libraryJpeg(16, 16, 1, false, std::vector<uint8_t>(16 * 16, 200));

    PyramidImage picture;
    ASSERT_TRUE(decodePresetsPicture(stream.data(), stream.size(), 16, 16, picture));
    const FloatRGBA c = picture.samplePoint(7, 7, 0);
    EXPECT_NEAR(c.r * 255.0f, 200.0f, 1.5f);
    EXPECT_EQ(c.r, c.g);
    EXPECT_EQ(c.r, c.b);
    EXPECT_EQ(c.a, 1.0f);
    // A picture larger than the stream keeps 0 where the stream has nothing.
    PyramidImage larger;
    ASSERT_TRUE(decodePresetsPicture(stream.data(), stream.size(), 20, 24, larger));
    EXPECT_EQ(larger.samplePoint(19, 23, 0).a, 0.0f);
    EXPECT_NEAR(larger.samplePoint(15, 15, 0).r * 255.0f, 200.0f, 1.5f);
    PyramidImage untouched;
    EXPECT_FALSE(decodePresetsPicture(stream.data(), stream.size(), 0, 16, untouched));
    EXPECT_FALSE(untouched.hasStorage());
}

// ----------------------------------------------------------- Save and Load

TEST(PresetsSave, ThumbnailIsTheCentredSquareOfThePreview) {
    // Three planes, 40 x 30: each sample tells its plane and position.
    const int w = 40, h = 30;
    std::vector<uint8_t> planes(size_t(w) * h * 3);
    for (int p = 0; p < 3; ++p) {
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x)
                planes[size_t(p) * w * h + y * w + x] = uint8_t(p * 80 + x + y);
        }
    }
    PyramidImage thumbnail;
    ASSERT_TRUE(makeThumbnailFromPreview(PreviewPlanes{planes.data(), w, h, 3}, thumbnail));
    EXPECT_EQ(thumbnail.kind(), kPyramidRGBA8);
    ASSERT_EQ(thumbnail.width(), 30);
    ASSERT_EQ(thumbnail.height(), 30);
    for (int y : {0, 13, 29}) {
        for (int x : {0, 7, 29}) {
            const FloatRGBA c = thumbnail.samplePoint(x, y, 0);
            EXPECT_EQ(int(c.r * 255.0f + 0.5f), 0 * 80 + (x + 5) + y) << x << "," << y;
            EXPECT_EQ(int(c.g * 255.0f + 0.5f), 1 * 80 + (x + 5) + y);
            EXPECT_EQ(int(c.b * 255.0f + 0.5f), 2 * 80 + (x + 5) + y);
            EXPECT_EQ(c.a, 1.0f);
        }
    }
    // Tall and grey: one plane, 20 x 50, square from row 15.
    std::vector<uint8_t> grey(20 * 50);
    for (size_t i = 0; i < grey.size(); ++i) grey[i] = uint8_t(i / 20);
    ASSERT_TRUE(makeThumbnailFromPreview(PreviewPlanes{grey.data(), 20, 50, 1}, thumbnail));
    ASSERT_EQ(thumbnail.width(), 20);
    const FloatRGBA c = thumbnail.samplePoint(3, 0, 0);
    EXPECT_EQ(int(c.r * 255.0f + 0.5f), 15);
    EXPECT_EQ(c.r, c.g);
    EXPECT_EQ(c.r, c.b);
}

TEST(PresetsSave, WithoutPreviewThePreviousThumbnailStays) {
    PyramidImage thumbnail = gradientThumbnail(16);
    std::vector<uint8_t> planes(12, 9);
    EXPECT_FALSE(makeThumbnailFromPreview(PreviewPlanes{}, thumbnail));
    EXPECT_FALSE(makeThumbnailFromPreview(PreviewPlanes{planes.data(), 0, 4, 3}, thumbnail));
    EXPECT_FALSE(makeThumbnailFromPreview(PreviewPlanes{planes.data(), 4, 1, 0}, thumbnail));
    EXPECT_EQ(thumbnail.width(), 16);
}

TEST(PresetsSave, ALargeThumbnailIsScaledDownForTheFile) {
    ScratchFiles scratch;
    const int side = 300;
    std::vector<uint8_t> planes(size_t(side) * side * 3);
    for (size_t i = 0; i < planes.size(); ++i) planes[i] = uint8_t((i % side) * 255 / side);
    PyramidImage thumbnail;
    ASSERT_TRUE(makeThumbnailFromPreview(PreviewPlanes{planes.data(), side, side, 3}, thumbnail));
    SettingsRecord s = distinctSettings();
    writeToMemory(scratch, s, &thumbnail);
    PyramidImage back;
    bool pictureRead = false;
    ASSERT_EQ(readSettingsFile(scratch.file("written.sa9").c_str(), kPresetsThumbnailOnly, nullptr,
                               &back, &pictureRead),
              kFileOk);
    ASSERT_TRUE(pictureRead);
    EXPECT_EQ(back.width(), 128);
    // A horizontal ramp: dark on the left, bright on the right.
    EXPECT_LT(back.samplePoint(4, 64, 0).r, 0.1f);
    EXPECT_GT(back.samplePoint(123, 64, 0).r, 0.85f);
    EXPECT_NEAR(back.samplePoint(64, 64, 0).r, 0.5f, 0.06f);
}

TEST(PresetsNames, DefaultFileNameReplacesTheExtension) {
    EXPECT_EQ(defaultSettingsFileName(""), "Quillfire settings.sa9");
    EXPECT_EQ(defaultSettingsFileName(nullptr), "Quillfire settings.sa9");
    EXPECT_EQ(defaultSettingsFileName(".sa9"), "Quillfire settings.sa9");
    EXPECT_EQ(defaultSettingsFileName("plain settings"), "plain settings.sa9");
    EXPECT_EQ(defaultSettingsFileName("look.sa9"), "look.sa9");
    EXPECT_EQ(defaultSettingsFileName("my.look.SA9"), "my.look.sa9");
    EXPECT_EQ(defaultSettingsFileName("old.q9q"), "old.sa9");
    EXPECT_EQ(defaultSettingsFileName("v1.2/name"), "v1.2/name.sa9")
        << "a dot in a folder is no extension";
    EXPECT_EQ(settingsFileStem("look.sa9"), "look");
    EXPECT_EQ(settingsFileStem(""), "Quillfire settings");
    const std::string longName(259, 'a');
    const std::string offered = defaultSettingsFileName(longName.c_str());
    EXPECT_EQ(offered.size(), 259u);
    EXPECT_EQ(offered.substr(255), ".sa9");
}

TEST(PresetsNames, AChosenPathSetsNameAndFolder) {
    SettingsRecord s = distinctSettings();
    const std::string sep(1, kPathSeparator);
    const std::string path = sep + "home" + sep + "me" + sep + "looks.sa9";
    takeChosenSettingsPath(s, path.c_str());
    EXPECT_EQ(std::string(s.settingsName), "looks.sa9");
    EXPECT_EQ(std::string(s.settingsFolder), sep + "home" + sep + "me" + sep);
    takeChosenSettingsPath(s, "bare.sa9");
    EXPECT_EQ(std::string(s.settingsName), "bare.sa9");
    EXPECT_EQ(std::string(s.settingsFolder), "");
    const std::string deep = sep + std::string(300, 'f') + sep + std::string(300, 'n');
    takeChosenSettingsPath(s, deep.c_str());
    EXPECT_EQ(std::string(s.settingsName).size(), 259u);
    EXPECT_EQ(std::string(s.settingsFolder).size(), 259u);
}
