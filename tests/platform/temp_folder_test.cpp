#include "platform/temp_folder.h"

#include "platform/file.h"
#include "platform/path.h"
#include "tests/common/test_paths.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#ifdef _WIN32
#include <windows.h>
#endif

namespace qf {}
using namespace qf;

namespace {

// Sets an environment variable for the lifetime of the object.
class ScopedEnvironment {
  public:
    ScopedEnvironment(const char* name, const char* value) : name_(name) {
        const char* old = std::getenv(name);
        hadValue_ = old != nullptr;
        if (old) oldValue_ = old;
        assign(value);
    }
    ~ScopedEnvironment() { assign(hadValue_ ? oldValue_.c_str() : nullptr); }

  private:
    void assign(const char* value) {
#ifdef _WIN32
        // Both the C runtime's copy and the process environment, which is
        // what GetTempPath reads.
        _putenv_s(name_.c_str(), value ? value : "");
        SetEnvironmentVariableA(name_.c_str(), value);
#else
        if (value) {
            setenv(name_.c_str(), value, 1);
        } else {
            unsetenv(name_.c_str());
        }
#endif
    }
    std::string name_;
    std::string oldValue_;
    bool hadValue_ = false;
};

#ifdef _WIN32
const char* const kTempVariable = "TMP";
#else
const char* const kTempVariable = "TMPDIR";
#endif

} // namespace

TEST(TemporaryFolder, EndsWithASeparatorAndIsAFolder) {
    const std::string folder = temporaryFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), kPathSeparator);
    EXPECT_LT(folder.size(), static_cast<size_t>(kPathLength));
    EXPECT_TRUE(std::filesystem::is_directory(folder));
}

TEST(TemporaryFolder, FollowsTheSystemSettingAndAddsTheSeparator) {
    ScratchFolder scratch;
    std::string given = scratch.folder();
    while (!given.empty() && isPathSeparator(given.back())) given.pop_back();
    ScopedEnvironment environment(kTempVariable, given.c_str());
    const std::string folder = temporaryFolder();
    EXPECT_EQ(folder, given + kPathSeparator);

    // A file made through temporaryPath lands there.
    char path[kPathLength];
    ASSERT_EQ(temporaryPath("Quillfire undo 0", path, sizeof path), kPlatformOk);
    EXPECT_EQ(std::string(path), given + kPathSeparator + "Quillfire undo 0");
    File file;
    ASSERT_EQ(file.openForWriting(path), kFileOk);
    file.close();
    EXPECT_TRUE(fileExists(scratch.file("Quillfire undo 0").c_str()));
}

#ifndef _WIN32
TEST(TemporaryFolder, UnusableTmpdirFallsBackToTmp) {
    ScratchFolder scratch;
    scratch.write("plain", "x");
    const std::string notAFolder = scratch.file("plain");
    const std::string missing = scratch.file("missing");
    for (const char* value : {"", "relative/tmp", missing.c_str(), notAFolder.c_str()}) {
        ScopedEnvironment environment("TMPDIR", value);
        EXPECT_EQ(temporaryFolder(), "/tmp/") << "TMPDIR=" << value;
    }
    {
        ScopedEnvironment environment("TMPDIR", nullptr);
        EXPECT_EQ(temporaryFolder(), "/tmp/");
    }
    // A folder the user may not write to is no temporary folder.
    if (::geteuid() != 0) {
        const std::string locked = scratch.file("locked");
        ASSERT_EQ(createFolder(locked.c_str()), kFileOk);
        ASSERT_EQ(::chmod(locked.c_str(), 0500), 0);
        ScopedEnvironment environment("TMPDIR", locked.c_str());
        EXPECT_EQ(temporaryFolder(), "/tmp/");
        ::chmod(locked.c_str(), 0700);
    }
}
#endif

TEST(TemporaryFolder, TheFallbackRule) {
    const char* fallback = "C:\\Windows\\Temp\\";
    EXPECT_EQ(temporaryFolderFrom(nullptr, fallback), fallback);
    EXPECT_EQ(temporaryFolderFrom("", fallback), fallback);
    const std::string sep(1, kPathSeparator);
    EXPECT_EQ(temporaryFolderFrom("/var/tmp", fallback), "/var/tmp" + sep);
    EXPECT_EQ(temporaryFolderFrom("/var/tmp/", fallback), "/var/tmp/");
    // 259 characters with the separator still fit a 260-byte buffer, 260
    // do not.
    const std::string longest(258, 'a');
    EXPECT_EQ(temporaryFolderFrom(longest.c_str(), fallback), longest + sep);
    const std::string tooLong(259, 'a');
    EXPECT_EQ(temporaryFolderFrom(tooLong.c_str(), fallback), fallback);
}

TEST(TemporaryFolder, TemporaryPathRefusesWhatDoesNotFit) {
    const std::string folder = temporaryFolder();
    char path[kPathLength];
    ASSERT_EQ(temporaryPath("Quillfire cached settings D", path, sizeof path), kPlatformOk);
    EXPECT_EQ(std::string(path), folder + "Quillfire cached settings D");

    // Exactly fitting, and one byte short: never a cut path.
    const std::string name = "name";
    std::string buffer(folder.size() + name.size() + 1, '#');
    EXPECT_EQ(temporaryPath(name.c_str(), buffer.data(), buffer.size()), kPlatformOk);
    EXPECT_EQ(std::string(buffer.c_str()), folder + name);
    EXPECT_EQ(temporaryPath(name.c_str(), buffer.data(), buffer.size() - 1), kPlatformFailed);
    EXPECT_EQ(buffer[0], '\0');

    const std::string huge(kPathLength, 'n');
    EXPECT_EQ(temporaryPath(huge.c_str(), path, sizeof path), kPlatformFailed);
    EXPECT_EQ(path[0], '\0');
    EXPECT_EQ(temporaryPath(nullptr, path, sizeof path), kPlatformFailed);
    EXPECT_EQ(temporaryPath("x", nullptr, 10), kPlatformFailed);
}
