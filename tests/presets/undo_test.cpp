#include "presets/presets_file.h"
#include "presets/undo.h"
#include "presets_support.h"
#include "tests/common/test_paths.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace qf {}
using namespace qf;

namespace {

class UndoTest : public testing::Test {
  protected:
    void SetUp() override {
        settings = distinctSettings();
        copyName(settings.settingsName, "S0");
        undo.reset();
    }

    // A change of several fields, named after the state it makes.
    void change(int32_t overlap, const char* name) {
        settings.overlap = overlap;
        settings.stripes = overlap + 1;
        settings.randomSeed = overlap * 1000;
        copyName(settings.settingsName, name);
    }
    void expectState(int32_t overlap, const char* name) {
        EXPECT_EQ(settings.overlap, overlap);
        EXPECT_EQ(settings.stripes, overlap + 1);
        EXPECT_EQ(settings.randomSeed, overlap * 1000);
        EXPECT_STREQ(settings.settingsName, name);
    }

    ScratchFiles scratch;
    UndoSlots undo{scratch.folder()};
    SettingsRecord settings{};
};

} // namespace

TEST_F(UndoTest, NothingToUndoRightAfterTheStart) {
    EXPECT_FALSE(undo.undo(settings));
    undo.push(settings, true); // the push just before the dialog opens
    EXPECT_EQ(undo.index(), 1);
    const SettingsRecord before = settings;
    EXPECT_FALSE(undo.undo(settings));
    EXPECT_EQ(std::memcmp(&settings, &before, sizeof settings), 0);
    EXPECT_EQ(undo.index(), 1);
    // Only the slot that was pushed has a file.
    EXPECT_TRUE(fileExists(scratch.file("Quillfire undo 1").c_str()));
    EXPECT_FALSE(fileExists(scratch.file("Quillfire undo 0").c_str()));
}

TEST_F(UndoTest, TogglesBetweenTheLastTwoStatesOnly) {
    change(10, "S0");
    undo.push(settings, true);
    change(11, "S1");
    undo.push(settings, false);
    change(12, "S2");
    undo.push(settings, false);
    change(13, "S3");
    undo.push(settings, false);

    EXPECT_TRUE(undo.undo(settings));
    expectState(12, "S2");
    EXPECT_TRUE(undo.undo(settings));
    expectState(13, "S3");
    EXPECT_TRUE(undo.undo(settings));
    expectState(12, "S2");
    EXPECT_EQ(undo.index(), 1);

    // After an undo, a new change pushes next to the restored state.
    change(14, "S4");
    undo.push(settings, false);
    EXPECT_TRUE(undo.undo(settings));
    expectState(12, "S2");

    // A new run forgets both.
    undo.reset();
    EXPECT_EQ(undo.index(), 0);
    EXPECT_FALSE(undo.undo(settings));
    expectState(12, "S2");
}

TEST_F(UndoTest, APushWithFileBringsBackWhatTheCopyDoesNotHold) {
    settings.legacyPercent[0] = 0.25f;
    settings.legacyPercent[2] = 0.5f;
    undo.push(settings, true);
    const std::vector<uint8_t> written = scratch.read("Quillfire undo 1");
    EXPECT_EQ(written.size(), kPresetsSizeWithoutPicture);
    EXPECT_EQ(be32(written, 48), 25);
    EXPECT_EQ(be32(written, 100), 0);

    // A Load replaces everything, the percentages included.
    settings = sentinelSettings();
    copyName(settings.settingsName, "loaded.sa9");
    undo.push(settings, true);
    EXPECT_TRUE(undo.undo(settings));
    EXPECT_FLOAT_EQ(settings.legacyPercent[0], 0.25f);
    EXPECT_FLOAT_EQ(settings.legacyPercent[1], 0.25f);
    EXPECT_FLOAT_EQ(settings.legacyPercent[2], 0.5f);
    EXPECT_EQ(settings.glue, distinctSettings().glue);
    EXPECT_EQ(settings.gradientColor2[2], 255);
    EXPECT_STREQ(settings.settingsName, "S0");
    // ... and forward again: the sentinels, from the other file.
    EXPECT_TRUE(undo.undo(settings));
    EXPECT_FLOAT_EQ(settings.legacyPercent[0], 9.0f);
    EXPECT_STREQ(settings.settingsName, "loaded.sa9");
}

TEST_F(UndoTest, APushWithoutFileRestoresOnlyTheCopy) {
    settings.legacyPercent[0] = 0.25f;
    undo.push(settings, false);
    settings.legacyPercent[0] = 0.75f;
    settings.overlap = 1;
    undo.push(settings, false);
    EXPECT_TRUE(undo.undo(settings));
    EXPECT_EQ(settings.overlap, distinctSettings().overlap);
    EXPECT_FLOAT_EQ(settings.legacyPercent[0], 0.75f);
    EXPECT_FALSE(fileExists(scratch.file("Quillfire undo 0").c_str()));
    EXPECT_FALSE(fileExists(scratch.file("Quillfire undo 1").c_str()));
}

TEST_F(UndoTest, TheFileIsReadOverTheCopy) {
    undo.push(settings, true);
    // What the file says wins over the slot's copy.
    std::vector<uint8_t> bytes = scratch.read("Quillfire undo 1");
    bytes[8 + 3] = 99; // overlap
    scratch.write("Quillfire undo 1", bytes);
    change(50, "later");
    undo.push(settings, false);
    EXPECT_TRUE(undo.undo(settings));
    EXPECT_EQ(settings.overlap, 99);
    EXPECT_EQ(settings.stripes, distinctSettings().stripes);
    EXPECT_STREQ(settings.settingsName, "S0");
}

TEST_F(UndoTest, AMissingOrCutFileLeavesTheCopy) {
    undo.push(settings, true);
    std::remove(scratch.file("Quillfire undo 1").c_str());
    change(50, "later");
    undo.push(settings, true);
    EXPECT_TRUE(undo.undo(settings));
    EXPECT_EQ(settings.overlap, distinctSettings().overlap);
    EXPECT_STREQ(settings.settingsName, "S0");

    // A file cut after glue and overlap: those two from the file, the rest
    // from the copy.
    std::vector<uint8_t> bytes = scratch.read("Quillfire undo 0");
    bytes.resize(12);
    bytes[8 + 3] = 77;
    scratch.write("Quillfire undo 0", bytes);
    EXPECT_TRUE(undo.undo(settings));
    EXPECT_EQ(settings.overlap, 77);
    EXPECT_EQ(settings.stripes, 51);
    EXPECT_STREQ(settings.settingsName, "later");
}

TEST(Undo, AFolderWithoutRoomStillUndoesFromTheCopy) {
    UndoSlots undo(std::string(300, 'x') + "/");
    SettingsRecord s = distinctSettings();
    undo.push(s, true);
    s.overlap = 3;
    undo.push(s, true);
    EXPECT_TRUE(undo.undo(s));
    EXPECT_EQ(s.overlap, distinctSettings().overlap);
    std::string path;
    EXPECT_FALSE(undo.filePath(0, path));
}
