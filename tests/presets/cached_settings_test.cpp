#include "platform/temp_folder.h"
#include "presets/cached_settings.h"
#include "presets/presets_file.h"
#include "presets_support.h"
#include "tests/common/test_paths.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace qf {}
using namespace qf;

namespace {

// Points the system's temporary folder at a scratch folder for one test.
class TemporaryFolderHere {
  public:
    explicit TemporaryFolderHere(const std::string& folder) {
        const char* old = std::getenv(kVariable);
        hadOld_ = old != nullptr;
        if (old) old_ = old;
        set(folder.c_str());
    }
    ~TemporaryFolderHere() {
        if (hadOld_) {
            set(old_.c_str());
        } else {
            unset();
        }
    }

  private:
#ifdef _WIN32
    static constexpr const char* kVariable = "TMP";
    static void set(const char* value) {
        _putenv_s(kVariable, value);
    }
    static void unset() {
        _putenv_s(kVariable, "");
    }
#else
    static constexpr const char* kVariable = "TMPDIR";
    static void set(const char* value) {
        setenv(kVariable, value, 1);
    }
    static void unset() {
        unsetenv(kVariable);
    }
#endif
    bool hadOld_ = false;
    std::string old_;
};

class CachedSettings : public testing::Test {
  protected:
    void SetUp() override {
        std::error_code error;
        // Both end with a separator; compare the folders themselves.
        const std::filesystem::path reported =
            std::filesystem::path(temporaryFolder()).parent_path();
        const std::filesystem::path wanted = std::filesystem::path(scratch.folder()).parent_path();
        if (!std::filesystem::equivalent(reported, wanted, error)) {
            GTEST_SKIP() << "the temporary folder cannot be redirected here: " << temporaryFolder()
                         << " vs " << scratch.folder() << " " << error.message();
        }
        // The name as the system spells the folder, so it can be compared.
        path = temporaryFolder() + kCachedSettingsName;
    }

    ScratchFiles scratch;
    TemporaryFolderHere redirect{scratch.folder()};
    std::string path;
};

} // namespace

TEST_F(CachedSettings, AMissingFileLeavesTheSettings) {
    SettingsRecord s = sentinelSettings();
    const SettingsRecord before = s;
    EXPECT_EQ(readCachedSettings(s), kFileCannotOpen);
    EXPECT_EQ(std::memcmp(&s, &before, sizeof s), 0);
}

TEST_F(CachedSettings, WritesAFileWithoutPictureAndReadsItBack) {
    SettingsRecord s = distinctSettings();
    ASSERT_EQ(writeCachedSettings(s), kFileOk);
    const std::vector<uint8_t> bytes = scratch.read(kCachedSettingsName);
    ASSERT_EQ(bytes.size(), kPresetsSizeWithoutPicture);
    EXPECT_EQ(be32(bytes, 0), 200);
    EXPECT_EQ(be32(bytes, 100), 0);
    SettingsRecord back = sentinelSettings();
    EXPECT_EQ(readCachedSettings(back), kFileOk);
    EXPECT_EQ(back.glue, s.glue);
    EXPECT_EQ(back.stripes, s.stripes);
    EXPECT_EQ(back.shape, s.shape);
    EXPECT_EQ(back.randomSeed, s.randomSeed);
    EXPECT_EQ(back.gradientColor2[2], s.gradientColor2[2]);
    EXPECT_FLOAT_EQ(back.legacyPercent[0], 0.70f);
}

TEST_F(CachedSettings, RewritingCutsAnOlderLongerFile) {
    scratch.write(kCachedSettingsName, std::vector<uint8_t>(3000, 0x11));
    SettingsRecord s = distinctSettings();
    ASSERT_EQ(writeCachedSettings(s), kFileOk);
    EXPECT_EQ(scratch.read(kCachedSettingsName).size(), kPresetsSizeWithoutPicture);
}

#ifndef _WIN32
TEST_F(CachedSettings, ASymbolicLinkIsNotFollowed) {
    const std::string target = scratch.file("elsewhere");
    scratch.write("elsewhere", std::vector<uint8_t>(104, 0));
    std::filesystem::create_symlink(target, path);
    SettingsRecord s = sentinelSettings();
    const SettingsRecord before = s;
    EXPECT_EQ(readCachedSettings(s), kFileCannotOpen);
    EXPECT_EQ(std::memcmp(&s, &before, sizeof s), 0);
    SettingsRecord written = distinctSettings();
    EXPECT_EQ(writeCachedSettings(written), kFileCannotOpen);
    EXPECT_EQ(scratch.read("elsewhere"), std::vector<uint8_t>(104, 0))
        << "the link's target is untouched";
}

TEST_F(CachedSettings, AFileOfAnotherUserIsNotUsed) {
    if (geteuid() != 0) GTEST_SKIP() << "making a file of another user needs root";
    SettingsRecord s = distinctSettings();
    ASSERT_EQ(writeCachedSettings(s), kFileOk);
    ASSERT_EQ(chown(path.c_str(), 54321, 54321), 0);
    SettingsRecord back = sentinelSettings();
    EXPECT_EQ(readCachedSettings(back), kFileCannotOpen);
    EXPECT_EQ(back.randomSeed, 4242);
    const std::vector<uint8_t> before = scratch.read(kCachedSettingsName);
    SettingsRecord other = sentinelSettings();
    EXPECT_EQ(writeCachedSettings(other), kFileCannotOpen);
    EXPECT_EQ(scratch.read(kCachedSettingsName), before);
}
#endif

TEST(CachedSettingsPath, ExplicitPathsWork) {
    ScratchFiles scratch;
    const std::string path = scratch.file("cached");
    SettingsRecord s = distinctSettings();
    ASSERT_EQ(writeCachedSettingsTo(path.c_str(), s), kFileOk);
    SettingsRecord back = sentinelSettings();
    EXPECT_EQ(readCachedSettingsFrom(path.c_str(), back), kFileOk);
    EXPECT_EQ(back.hue, s.hue);
    EXPECT_EQ(writeCachedSettingsTo(scratch.file("no/such/folder").c_str(), s), kFileCannotOpen);
    EXPECT_EQ(readCachedSettingsFrom(nullptr, back), kFileCannotOpen);
}
