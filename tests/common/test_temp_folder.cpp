// Every test program gets the temporary folder ctest made for its suite
// (QF_TEST_TMP), so that files the module keeps there between runs (the
// cached settings, memory dots, undo files) never leak between suites or
// into the user's own folder.
//
// On Linux ctest's TMPDIR already does this. A Windows program under Wine
// does not keep the TMP and TEMP it was started with: Wine replaces them
// with the folder from the prefix's registry, which every suite shares. So,
// before any test runs, the folder is set again inside the program, where
// GetTempPath (which reads TMP first) and the programs it starts, which
// inherit its environment, see it.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#ifdef _WIN32
#include <windows.h>
#endif

namespace qf {}
using namespace qf;

namespace {

#ifdef _WIN32
bool useSuiteTemporaryFolder() {
    const char* folder = std::getenv("QF_TEST_TMP");
    if (!folder || !*folder) return false;
    const std::string value = folder;
    for (const char* name : {"TMP", "TEMP"}) {
        // The process environment, read by GetTempPath and handed to child
        // processes, and the C runtime's copy, read by getenv and system.
        SetEnvironmentVariableA(name, value.c_str());
        _putenv_s(name, value.c_str());
    }
    return true;
}

const bool kSuiteTemporaryFolderSet = useSuiteTemporaryFolder();
#endif

std::string withoutTrailingSeparators(std::string path) {
    while (path.size() > 1 && (path.back() == '/' || path.back() == '\\')) path.pop_back();
    return path;
}

// The folder the module reads as its temporary folder.
std::string systemTemporaryFolder() {
#ifdef _WIN32
    char buffer[MAX_PATH + 2];
    const DWORD length = GetTempPathA(sizeof buffer, buffer);
    return length > 0 && length < sizeof buffer ? std::string(buffer, length) : std::string();
#else
    const char* folder = std::getenv("TMPDIR");
    return folder ? folder : "";
#endif
}

// What the program and the programs it starts see before any test runs (a
// test may point the folder elsewhere for itself).
struct FirstSight {
    bool taken = false;
    std::string program;
    std::string child;
};
FirstSight g_firstSight;

#ifdef _WIN32
// What programs started through the command processor see, as the CLI
// tests start the CLI.
std::string childTemporaryFolder() {
    FILE* child = _popen("cmd /c echo %TMP%", "r");
    if (!child) return "(cannot start cmd)";
    std::string seen;
    char chunk[512];
    while (size_t n = std::fread(chunk, 1, sizeof chunk, child)) seen.append(chunk, n);
    _pclose(child);
    while (!seen.empty() && (seen.back() == '\n' || seen.back() == '\r' || seen.back() == ' '))
        seen.pop_back();
    return seen;
}
#endif

class FirstSightOfTheTemporaryFolder : public ::testing::Environment {
  public:
    void SetUp() override {
        const char* expected = std::getenv("QF_TEST_TMP");
        if (!expected || !*expected) return;
        g_firstSight.taken = true;
        g_firstSight.program = systemTemporaryFolder();
#ifdef _WIN32
        g_firstSight.child = childTemporaryFolder();
#endif
    }
};

::testing::Environment* const kFirstSight =
    ::testing::AddGlobalTestEnvironment(new FirstSightOfTheTemporaryFolder);

TEST(SuiteTemporaryFolder, IsTheOneCtestMadeForThisSuite) {
    const char* expected = std::getenv("QF_TEST_TMP");
    if (!expected || !*expected) GTEST_SKIP() << "not run by ctest: QF_TEST_TMP is not set";
    ASSERT_TRUE(g_firstSight.taken);
    const std::string folder = withoutTrailingSeparators(expected);
    EXPECT_EQ(withoutTrailingSeparators(g_firstSight.program), folder);
#ifdef _WIN32
    EXPECT_TRUE(kSuiteTemporaryFolderSet);
    EXPECT_EQ(withoutTrailingSeparators(g_firstSight.child), folder);
#endif
}

} // namespace
