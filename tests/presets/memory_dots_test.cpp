#include "composite/picture/pyramid_image.h"
#include "platform/file.h"
#include "platform/temp_folder.h"
#include "presets/memory_dots.h"
#include "presets/presets_file.h"
#include "presets_support.h"
#include "tests/common/test_paths.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace qf {}
using namespace qf;

namespace {

// A uniform preview of one colour, three planes, wider than high so the
// thumbnail is the centred square.
class UniformPreview {
  public:
    UniformPreview(uint8_t r, uint8_t g, uint8_t b) { fill(r, g, b); }
    UniformPreview(const UniformPreview&) = delete;
    UniformPreview& operator=(const UniformPreview&) = delete;

    void fill(uint8_t r, uint8_t g, uint8_t b) {
        std::memset(bytes_.data(), r, kPlane);
        std::memset(bytes_.data() + kPlane, g, kPlane);
        std::memset(bytes_.data() + 2 * kPlane, b, kPlane);
    }
    PreviewPlanes planes() const { return PreviewPlanes{bytes_.data(), 40, 30, 3}; }

  private:
    static constexpr size_t kPlane = size_t(40) * 30;
    std::vector<uint8_t> bytes_ = std::vector<uint8_t>(3 * kPlane);
};

// Every pixel of the viewer is the colour, give or take what the JPEG
// round trip costs.
void expectViewerColour(const MemoryDots& dots, uint8_t r, uint8_t g, uint8_t b) {
    const PyramidImage* viewer = dots.viewer();
    ASSERT_NE(viewer, nullptr);
    ASSERT_EQ(viewer->width(), 88);
    ASSERT_EQ(viewer->height(), 88);
    ASSERT_EQ(viewer->kind(), kPyramidRGBA8);
    int off = 0;
    for (int y = 0; y < 88; ++y) {
        for (int x = 0; x < 88; ++x) {
            const FloatRGBA c = viewer->samplePoint(x, y, 0);
            const float tolerance = 4.0f / 255.0f;
            if (std::fabs(c.r - r / 255.0f) > tolerance ||
                std::fabs(c.g - g / 255.0f) > tolerance ||
                std::fabs(c.b - b / 255.0f) > tolerance || c.a != 1.0f)
                ++off;
        }
    }
    EXPECT_EQ(off, 0) << "viewer pixels off the stored colour";
}

class MemoryDotsTest : public testing::Test {
  protected:
    void SetUp() override {
        settings = distinctSettings();
        copyName(settings.settingsName, "before");
        ASSERT_TRUE(runThumbnail.create(128, 128, kPyramidRGBA8));
        dots.openDialog();
        dots.markRemembered();
    }

    std::string dotFile(int index) const { return scratch.file(dotFileName(index)); }
    bool dotFileExists(int index) const { return fileExists(dotFile(index).c_str()); }

    DotClick click(int index, bool ctrl = false, bool right = false) {
        return dots.click(index, ctrl, right, settings, preview.planes(), &runThumbnail);
    }

    // The dialog of the next run: the map as the end of this run wrote it.
    MemoryDots nextRun() const {
        EXPECT_EQ(dots.saveMap(), kFileOk);
        MemoryDots next(scratch.folder());
        EXPECT_EQ(next.loadMap(), kFileOk);
        next.openDialog();
        next.markRemembered();
        return next;
    }

    ScratchFiles scratch;
    MemoryDots dots{scratch.folder()};
    SettingsRecord settings{};
    PyramidImage runThumbnail;
    UniformPreview preview{200, 50, 10};
};

} // namespace

TEST(DotFiles, NamesFollowTheDotIndex) {
    EXPECT_EQ(dotFileName(0), "Quillfire A memory dot 0.sa9");
    EXPECT_EQ(dotFileName(24), "Quillfire A memory dot 24.sa9");
    EXPECT_EQ(dotFileName(kBatchSlotIndex), "Quillfire A memory dot 25.sa9");
    std::string path;
    ASSERT_TRUE(dotFilePath(3, path));
    EXPECT_EQ(path.size(), temporaryFolder().size() + dotFileName(3).size());
    EXPECT_EQ(path.substr(temporaryFolder().size()), dotFileName(3));
    // A folder that leaves no room for the name gives no path at all.
    // The path and its final zero fit 260 characters, or there is none.
    const std::string name = "Quillfire memdot map 3";
    EXPECT_TRUE(folderFilePath(std::string(259 - name.size() - 1, 'x') + "/", kDotMapName, path));
    EXPECT_EQ(path.size(), 259u);
    EXPECT_FALSE(folderFilePath(std::string(260 - name.size() - 1, 'x') + "/", kDotMapName, path));
    EXPECT_TRUE(path.empty());
}

TEST(DotBitmaps, ChosenByStateRememberedAndPressed) {
    // state, remembered, normal, pressed
    const int table[][4] = {{kDotEmpty, 0, 203, 210},   {kDotEmpty, 1, 203, 210},
                            {kDotFilled, 1, 215, 216},  {kDotFilled, 0, 213, 214},
                            {kDotCurrent, 1, 208, 212}, {kDotCurrent, 0, 202, 211}};
    for (const auto& row : table) {
        const DotState state = DotState(row[0]);
        EXPECT_EQ(dotBitmapId(state, row[1] != 0, false), row[2]) << row[0] << " " << row[1];
        EXPECT_EQ(dotBitmapId(state, row[1] != 0, true), row[3]) << row[0] << " " << row[1];
    }
}

TEST(DotMapFile, WritesVersionAndEntriesBigEndianAndCutsALongerFile) {
    ScratchFiles scratch;
    const std::string path = scratch.file(kDotMapName);
    scratch.write(kDotMapName, std::vector<uint8_t>(500, 0xAB));
    DotMap map{};
    for (int i = 0; i < kDotCount; ++i) map.entry[i] = i % 3 == 0 ? 1 : 0;
    map.entry[7] = -2;
    map.entry[24] = 0x01020304;
    ASSERT_EQ(writeDotMap(path.c_str(), map), kFileOk);

    FileBytes expected;
    expected.i32(200);
    for (int i = 0; i < kDotCount; ++i) expected.i32(i % 3 == 0 ? 1 : 0);
    expected.bytes[4 + 4 * 7 + 0] = 0xFF;
    expected.bytes[4 + 4 * 7 + 1] = 0xFF;
    expected.bytes[4 + 4 * 7 + 2] = 0xFF;
    expected.bytes[4 + 4 * 7 + 3] = 0xFE;
    expected.bytes[100] = 1;
    expected.bytes[101] = 2;
    expected.bytes[102] = 3;
    expected.bytes[103] = 4;
    EXPECT_EQ(scratch.read(kDotMapName), expected.bytes);
    EXPECT_EQ(expected.bytes.size(), kDotMapSize);

    DotMap back;
    std::memset(&back, 0x5A, sizeof back);
    EXPECT_EQ(readDotMap(path.c_str(), back), kFileOk);
    EXPECT_EQ(std::memcmp(&back, &map, sizeof map), 0);
}

TEST(DotMapFile, ShortMissingAndHostileFilesAreHarmless) {
    ScratchFiles scratch;
    const std::string path = scratch.file(kDotMapName);
    DotMap map;

    // Any version; three whole entries and half of a fourth.
    scratch.write(kDotMapName, FileBytes().i32(-999).i32(1).i32(0).i32(7).fill(2, 0xFF).bytes);
    std::memset(&map, 0x5A, sizeof map);
    EXPECT_EQ(readDotMap(path.c_str(), map), kFileReadFailed);
    const int32_t shortExpected[kDotCount] = {1, 0, 7};
    EXPECT_EQ(std::memcmp(map.entry, shortExpected, sizeof map.entry), 0);

    // Only part of the version.
    scratch.write(kDotMapName, {0, 0});
    std::memset(&map, 0x5A, sizeof map);
    EXPECT_EQ(readDotMap(path.c_str(), map), kFileReadFailed);
    const DotMap zero{};
    EXPECT_EQ(std::memcmp(&map, &zero, sizeof map), 0);

    // Missing.
    std::memset(&map, 0x5A, sizeof map);
    EXPECT_EQ(readDotMap(scratch.file("no such map").c_str(), map), kFileCannotOpen);
    EXPECT_EQ(std::memcmp(&map, &zero, sizeof map), 0);

    // Long and full of ones: every dot counts as remembered, nothing beyond
    // the 25 entries is read.
    scratch.write(kDotMapName, std::vector<uint8_t>(5000, 0xFF));
    MemoryDots dots(scratch.folder());
    EXPECT_EQ(dots.loadMap(), kFileOk);
    dots.openDialog();
    dots.markRemembered();
    for (int i = 0; i < kDotCount; ++i) {
        EXPECT_EQ(dots.map().entry[i], -1);
        EXPECT_EQ(dots.state(i), kDotFilled);
        EXPECT_EQ(dots.bitmapId(i, false), 215);
    }
}

TEST(DotMapFile, AFolderWithoutRoomGivesAnEmptyMap) {
    DotMap map;
    std::memset(&map, 0x5A, sizeof map);
    EXPECT_EQ(loadDotMap(map, std::string(300, 'x') + "/"), kFileCannotOpen);
    const DotMap zero{};
    EXPECT_EQ(std::memcmp(&map, &zero, sizeof map), 0);
    EXPECT_EQ(saveDotMap(map, std::string(300, 'x') + "/"), kFileCannotOpen);
}

TEST_F(MemoryDotsTest, StoringIntoDotOneWritesIndexZeroAndRecallNamesItDotOne) {
    const SettingsRecord stored = settings;
    EXPECT_EQ(click(0), DotClick::Stored);
    ASSERT_TRUE(dotFileExists(0));
    for (int i = 1; i <= kBatchSlotIndex; ++i) EXPECT_FALSE(dotFileExists(i)) << i;
    EXPECT_EQ(dots.state(0), kDotCurrent);
    EXPECT_EQ(dots.map().entry[0], 1);
    EXPECT_EQ(dots.bitmapId(0, false), 208);
    EXPECT_EQ(dots.viewedDot(), 0);
    expectViewerColour(dots, 200, 50, 10);

    // The file is a presets file with the settings and a picture.
    const std::vector<uint8_t> bytes = scratch.read(dotFileName(0));
    ASSERT_GT(bytes.size(), 116u);
    const std::vector<int32_t> fields = distinctFileFields();
    for (size_t i = 0; i < fields.size(); ++i) EXPECT_EQ(be32(bytes, 4 * i), fields[i]) << i;
    EXPECT_EQ(be32(bytes, 100), 1);
    EXPECT_EQ(size_t(be32(bytes, 112)), bytes.size() - 116);
    // The run's thumbnail is the centred square of the preview.
    EXPECT_EQ(runThumbnail.width(), 30);
    EXPECT_EQ(runThumbnail.height(), 30);

    // Change everything, then recall.
    settings = sentinelSettings();
    copyName(settings.settingsName, "changed");
    runThumbnail.release();
    EXPECT_EQ(click(0), DotClick::Recalled);
    EXPECT_STREQ(settings.settingsName, "dot 1");
    EXPECT_EQ(settings.glue, stored.glue);
    EXPECT_EQ(settings.overlap, stored.overlap);
    EXPECT_EQ(settings.doublure, stored.doublure);
    EXPECT_EQ(settings.shape, stored.shape);
    EXPECT_EQ(settings.stripeKind, stored.stripeKind);
    EXPECT_EQ(settings.randomSeed, stored.randomSeed);
    EXPECT_EQ(settings.gradientColor2[2], stored.gradientColor2[2]);
    EXPECT_FLOAT_EQ(settings.legacyPercent[1], 0.25f);
    // The dot's picture became the run's thumbnail again.
    EXPECT_EQ(runThumbnail.width(), 128);
    EXPECT_EQ(dots.state(0), kDotCurrent);
    EXPECT_EQ(dots.map().entry[0], 1);
}

TEST_F(MemoryDotsTest, RecallReadsOverTheSettingsWithoutDefaults) {
    // An old dot file without gradient colours: they keep what the settings
    // held, not the defaults.
    FileBytes old;
    old.i32(180);
    for (int i = 0; i < 11; ++i) old.i32(30 + i);
    old.i32(10).i32(20).i32(30);      // percentages
    old.i32(2).i32(4).i32(0).i32(77); // shape, stripe kind, no legacy picture, seed
    scratch.write(dotFileName(24), old.bytes);
    dots.map().entry[24] = 1;
    dots.markRemembered();
    settings.gradientColor1[0] = 11;

    EXPECT_EQ(click(24), DotClick::Recalled);
    EXPECT_STREQ(settings.settingsName, "dot 25");
    EXPECT_EQ(settings.glue, 30);
    EXPECT_EQ(settings.merge, 40);
    EXPECT_EQ(settings.shape, 2);
    EXPECT_EQ(settings.randomSeed, 77);
    EXPECT_EQ(settings.gradientColor1[0], 11);
    EXPECT_EQ(settings.gradientColor2[2], 255);
}

TEST_F(MemoryDotsTest, RecallingAMissingFileKeepsTheSettingsButMakesTheDotCurrent) {
    // Remembered from an earlier run whose file has gone since.
    dots.map().entry[4] = 1;
    dots.markRemembered();
    ASSERT_EQ(dots.state(4), kDotFilled);
    ASSERT_EQ(click(9), DotClick::Stored);
    SettingsRecord before = settings;
    EXPECT_EQ(click(4), DotClick::Recalled);
    EXPECT_STREQ(settings.settingsName, "dot 5");
    copyName(before.settingsName, "dot 5");
    EXPECT_EQ(std::memcmp(&settings, &before, sizeof settings), 0);
    EXPECT_EQ(dots.state(4), kDotCurrent);
    EXPECT_EQ(dots.state(9), kDotFilled);
}

TEST_F(MemoryDotsTest, ASecondStoreDemotesTheFirstCurrentDot) {
    EXPECT_EQ(click(2), DotClick::Stored);
    EXPECT_EQ(click(17), DotClick::Stored);
    EXPECT_EQ(dots.state(2), kDotFilled);
    EXPECT_EQ(dots.bitmapId(2, false), 215);
    EXPECT_EQ(dots.state(17), kDotCurrent);
    // A recall moves the current mark as well.
    EXPECT_EQ(click(2), DotClick::Recalled);
    EXPECT_EQ(dots.state(2), kDotCurrent);
    EXPECT_EQ(dots.state(17), kDotFilled);
    dots.demoteCurrent();
    for (int i = 0; i < kDotCount; ++i) EXPECT_NE(dots.state(i), kDotCurrent) << i;
    EXPECT_EQ(dots.state(2), kDotFilled);
}

TEST_F(MemoryDotsTest, CtrlOnAnEmptyDotStoresButTheNextRunForgetsIt) {
    EXPECT_EQ(click(6, true), DotClick::Stored);
    EXPECT_TRUE(dotFileExists(6));
    EXPECT_EQ(dots.state(6), kDotCurrent);
    EXPECT_EQ(dots.map().entry[6], 0);
    EXPECT_EQ(dots.bitmapId(6, false), 202);
    EXPECT_EQ(dots.bitmapId(6, true), 211);
    EXPECT_EQ(click(8), DotClick::Stored);
    EXPECT_EQ(dots.bitmapId(6, false), 213);

    MemoryDots next = nextRun();
    EXPECT_EQ(next.state(6), kDotEmpty);
    EXPECT_EQ(next.state(8), kDotFilled);
    EXPECT_EQ(next.bitmapId(8, false), 215);
    for (int i = 0; i < kDotCount; ++i) {
        EXPECT_EQ(next.state(i), i == 8 ? kDotFilled : kDotEmpty) << i;
    }
}

TEST_F(MemoryDotsTest, RightClickOnAnEmptyDotStoresLikeALeftClick) {
    EXPECT_EQ(click(11, false, true), DotClick::Stored);
    EXPECT_TRUE(dotFileExists(11));
    EXPECT_EQ(dots.state(11), kDotCurrent);
    EXPECT_EQ(dots.map().entry[11], 1);
    EXPECT_EQ(nextRun().state(11), kDotFilled);
}

TEST_F(MemoryDotsTest, RightClickEmptiesAndCtrlForgetsAFilledDot) {
    ASSERT_EQ(click(1), DotClick::Stored);
    ASSERT_EQ(click(3), DotClick::Stored);
    ASSERT_NE(dots.viewer(), nullptr);
    const SettingsRecord before = settings;

    EXPECT_EQ(click(1, false, true), DotClick::Emptied);
    EXPECT_EQ(dots.state(1), kDotEmpty);
    EXPECT_EQ(dots.map().entry[1], 0);
    EXPECT_EQ(dots.viewer(), nullptr);
    EXPECT_EQ(dots.viewedDot(), -1);
    EXPECT_TRUE(dotFileExists(1)); // emptying keeps the file

    EXPECT_EQ(click(3, true), DotClick::Forgotten);
    EXPECT_EQ(dots.state(3), kDotCurrent);
    EXPECT_EQ(dots.map().entry[3], 0);
    EXPECT_EQ(dots.bitmapId(3, false), 202);
    EXPECT_EQ(std::memcmp(&settings, &before, sizeof settings), 0);

    MemoryDots next = nextRun();
    EXPECT_EQ(next.state(1), kDotEmpty);
    EXPECT_EQ(next.state(3), kDotEmpty);
}

TEST_F(MemoryDotsTest, AStoredDotIsFilledInTheNextRun) {
    EXPECT_EQ(click(0), DotClick::Stored);
    EXPECT_EQ(click(24), DotClick::Stored);
    MemoryDots next = nextRun();
    EXPECT_EQ(next.state(0), kDotFilled);
    EXPECT_EQ(next.state(24), kDotFilled);
    EXPECT_EQ(next.viewer(), nullptr);
    // ... and recalls what was stored.
    SettingsRecord later = sentinelSettings();
    EXPECT_EQ(next.click(24, false, false, later, PreviewPlanes{}, nullptr), DotClick::Recalled);
    EXPECT_EQ(later.overlap, settings.overlap);
    EXPECT_EQ(later.randomSeed, settings.randomSeed);
}

TEST_F(MemoryDotsTest, IndexesOutsideTheDotsDoNothing) {
    const SettingsRecord before = settings;
    for (int index : {-1, kDotCount, kBatchSlotIndex + 1}) {
        EXPECT_EQ(click(index), DotClick::None) << index;
        EXPECT_FALSE(dots.hover(index));
        EXPECT_EQ(dots.recall(index, settings, &runThumbnail), kFileCannotOpen);
        EXPECT_EQ(dots.store(index, settings, preview.planes(), &runThumbnail), kFileCannotOpen);
        EXPECT_EQ(dots.state(index), kDotEmpty);
    }
    EXPECT_FALSE(dotFileExists(kBatchSlotIndex));
    EXPECT_EQ(std::memcmp(&settings, &before, sizeof settings), 0);
}

TEST_F(MemoryDotsTest, WithoutPreviewTheRunThumbnailIsStored) {
    UniformPreview green(0, 255, 0);
    ASSERT_TRUE(makeThumbnailFromPreview(green.planes(), runThumbnail));
    EXPECT_EQ(dots.store(5, settings, PreviewPlanes{}, &runThumbnail), kFileOk);
    expectViewerColour(dots, 0, 255, 0);

    // No thumbnail at all: a file without picture; the viewer keeps what
    // it showed.
    EXPECT_EQ(dots.store(6, settings, PreviewPlanes{}, nullptr), kFileOk);
    EXPECT_EQ(scratch.read(dotFileName(6)).size(), kPresetsSizeWithoutPicture);
    EXPECT_EQ(dots.state(6), kDotCurrent);
    EXPECT_EQ(dots.viewedDot(), 5);
    expectViewerColour(dots, 0, 255, 0);
}

TEST_F(MemoryDotsTest, HoverShowsFilledDotsOnceAndClearsOverEmptyOnes) {
    ASSERT_EQ(click(0), DotClick::Stored);
    preview.fill(20, 40, 240);
    ASSERT_EQ(click(1), DotClick::Stored);
    ASSERT_EQ(click(2), DotClick::Stored);
    dots.openDialog();
    dots.markRemembered();
    ASSERT_EQ(dots.viewer(), nullptr);

    EXPECT_TRUE(dots.hover(0));
    EXPECT_EQ(dots.viewedDot(), 0);
    expectViewerColour(dots, 200, 50, 10);
    EXPECT_FALSE(dots.hover(0)); // shown already: not read again

    EXPECT_TRUE(dots.hover(1));
    EXPECT_EQ(dots.viewedDot(), 1);
    expectViewerColour(dots, 20, 40, 240);

    EXPECT_TRUE(dots.hover(7)); // empty
    EXPECT_EQ(dots.viewer(), nullptr);
    EXPECT_EQ(dots.viewedDot(), -1);
    EXPECT_FALSE(dots.hover(7));
    EXPECT_TRUE(dots.hover(1)); // shown again after the viewer was cleared
    expectViewerColour(dots, 20, 40, 240);

    // A dot whose file went missing, or lost its picture, leaves the viewer
    // as it was.
    std::remove(dotFile(0).c_str());
    EXPECT_FALSE(dots.hover(0));
    EXPECT_EQ(dots.viewedDot(), 1);
    expectViewerColour(dots, 20, 40, 240);
    FileBytes noPicture;
    for (int32_t v : distinctFileFields()) noPicture.i32(v);
    scratch.write(dotFileName(2), noPicture.i32(0).bytes);
    EXPECT_FALSE(dots.hover(2));
    EXPECT_EQ(dots.viewedDot(), 1);
    expectViewerColour(dots, 20, 40, 240);
}
