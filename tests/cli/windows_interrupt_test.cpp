// Ctrl-C on Windows: quillfire.exe started on this test's console with a
// long render over an existing file, interrupted at several moments (while
// it renders, and once its temporary file exists), must end cancelled,
// leave the old file exactly as it was and no temporary beside it. A
// second Ctrl-C ends a run whose main thread takes no notice, and removes
// its temporaries first.
#ifdef _WIN32

#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>

#include "cli_support.h"
#include "platform/safe_write.h"

using namespace clitest;

namespace {

std::string contentsOf(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int filesIn(const fs::path& folder) {
    int n = 0;
    for (const auto& e : fs::directory_iterator(folder)) {
        (void)e;
        ++n;
    }
    return n;
}

BOOL WINAPI swallowInterrupt(DWORD event) {
    return event == CTRL_C_EVENT ? TRUE : FALSE;
}

// What the system ends a program with on Ctrl-C.
constexpr DWORD kEndedByConsole = 0xC000013A;

// The test handles the interrupts it sends with a handler of its own:
// ignoring them (a null handler) would be inherited by its children.
bool handleInterruptsHere() {
    return SetConsoleCtrlHandler(nullptr, FALSE) && SetConsoleCtrlHandler(swallowInterrupt, TRUE);
}

struct Interrupted {
    bool started = false;
    bool sent = false;
    bool sawTemporary = false;
    DWORD exitCode = 0;
};

// Runs the CLI with `args` in `folder` and sends Ctrl-C to the console once
// `delayMs` have passed, or, with `atTemporary`, as soon as a second file
// appears in the folder.
Interrupted interrupt(const std::string& args, const fs::path& folder, int delayMs,
                      bool atTemporary) {
    Interrupted r;
    std::string command = "\"";
    command.append(cliPath()).append("\" ").append(args);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    const std::string cwd = folder.string();
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, cwd.c_str(),
                        &si, &pi))
        return r;
    r.started = true;
    const auto start = std::chrono::steady_clock::now();
    const auto limit = start + std::chrono::seconds(120);
    bool sent = false;
    while (WaitForSingleObject(pi.hProcess, 5) == WAIT_TIMEOUT) {
        const auto now = std::chrono::steady_clock::now();
        if (now > limit) {
            TerminateProcess(pi.hProcess, 99);
            break;
        }
        if (sent) continue;
        const bool due =
            atTemporary ? filesIn(folder) > 1 : now - start > std::chrono::milliseconds(delayMs);
        if (due) {
            r.sawTemporary = filesIn(folder) > 1;
            // Everyone on the console gets it; this process ignores it.
            r.sent = GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0) != 0;
            sent = true;
        }
    }
    GetExitCodeProcess(pi.hProcess, &r.exitCode);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return r;
}

// A folder of its own holding the user's old file, and this test's
// console, which the programs it starts share.
class WindowsInterrupt : public ::testing::Test {
  protected:
    void SetUp() override {
        // Under Wine a console program has a console only when started on
        // a terminal: the ctest entry cli_interrupt runs these tests under
        // `script`, which gives them one, and says so.
        if (!GetConsoleWindow() && !AllocConsole()) {
            if (std::getenv("QF_REQUIRE_CONSOLE")) FAIL() << "no console to send Ctrl-C on";
            GTEST_SKIP() << "no console; the ctest entry cli_interrupt gives it one";
        }
        ASSERT_TRUE(handleInterruptsHere());
        folder = fs::path(testFolder()) /
                 ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(folder);
        fs::create_directories(folder);
        old = folder / "old.bmp";
        std::ofstream(old, std::ios::binary) << oldBytes;
    }
    void TearDown() override {
        if (!folder.empty()) fs::remove_all(folder);
    }
    fs::path folder, old;
    const std::string oldBytes = "not a picture, but the user's file";
};

TEST_F(WindowsInterrupt, CtrlCLeavesTheOldFileAndNoTemporary) {
    // While it renders: cancelled, the old file kept.
    Interrupted r = interrupt("render --size 3000x3000 old.bmp", folder, 300, false);
    ASSERT_TRUE(r.started);
    EXPECT_TRUE(r.sent);
    EXPECT_EQ(r.exitCode, 130u);
    EXPECT_TRUE(contentsOf(old) == oldBytes) << "the old file was replaced";
    EXPECT_EQ(filesIn(folder), 1) << "a temporary is left";

    // Once its temporary exists: the encoded picture (75 MB, uncompressed)
    // is being written. Ctrl-C may still come too late, after the new file
    // took the old one's place: then the new file is whole and the run
    // succeeded. Either way no temporary is left; one of a few tries must
    // catch the write itself.
    int caught = 0;
    for (int attempt = 0; attempt < 3 && caught == 0; ++attempt) {
        r = interrupt("render --size 5000x5000 old.bmp", folder, 0, true);
        ASSERT_TRUE(r.started);
        EXPECT_TRUE(r.sent);
        EXPECT_EQ(filesIn(folder), 1) << "a temporary is left";
        if (r.exitCode == 130u && contentsOf(old) == oldBytes) {
            caught += r.sawTemporary ? 1 : 0;
        } else {
            EXPECT_EQ(r.exitCode, 0u) << "neither cancelled nor complete";
            EXPECT_EQ(fs::file_size(old), 54u + 5000u * 5000u * 3u) << "a partial picture";
            std::ofstream(old, std::ios::binary | std::ios::trunc) << oldBytes;
        }
    }
    EXPECT_EQ(caught, 1) << "Ctrl-C never came during the write";
}

// The child of the next test: a writer whose main thread holds eight
// temporaries open and takes no notice of interrupts; only the console's
// events can end it. Runs only when that test starts it.
TEST(WindowsInterruptChild, HoldsItsTemporariesUntilEnded) {
    const char* target = std::getenv("QF_INTERRUPT_CHILD_TARGET");
    if (!target) GTEST_SKIP() << "started by WindowsInterrupt.SecondCtrlCEndsAnyRun";
    qf::installWriteSignalHandlers();
    std::unique_ptr<qf::SafeWrite> files[8];
    for (auto& file : files) {
        file = std::make_unique<qf::SafeWrite>();
        ASSERT_EQ(file->open(target), qf::kFileOk);
        ASSERT_EQ(file->write("a partial picture", 17), qf::kFileOk);
    }
    Sleep(60000);
    FAIL() << "Ctrl-C did not end the run";
}

// Whatever the main thread is doing, a second Ctrl-C removes every
// temporary and ends the program; a third one, hard on its heels, does not
// cut that clean-up short.
TEST_F(WindowsInterrupt, SecondCtrlCEndsAnyRun) {
    char self[MAX_PATH];
    ASSERT_GT(GetModuleFileNameA(nullptr, self, MAX_PATH), 0u);
    std::string command = std::string("\"") + self + "\" --gtest_filter=WindowsInterruptChild.*";
    ASSERT_TRUE(SetEnvironmentVariableA("QF_INTERRUPT_CHILD_TARGET", old.string().c_str()));
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    const BOOL started = CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0,
                                        nullptr, nullptr, &si, &pi);
    SetEnvironmentVariableA("QF_INTERRUPT_CHILD_TARGET", nullptr);
    ASSERT_TRUE(started);
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (filesIn(folder) < 9 && std::chrono::steady_clock::now() < limit &&
           WaitForSingleObject(pi.hProcess, 5) == WAIT_TIMEOUT) {
    }
    EXPECT_EQ(filesIn(folder), 9) << "the child's temporaries";
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0));
        // The first only asks; give the child time to take it as such.
        if (i == 0) Sleep(300);
    }
    if (WaitForSingleObject(pi.hProcess, 30000) == WAIT_TIMEOUT) {
        TerminateProcess(pi.hProcess, 99);
        WaitForSingleObject(pi.hProcess, 5000);
        ADD_FAILURE() << "a second Ctrl-C did not end the run";
    }
    DWORD exitCode = 0;
    GetExitCodeProcess(pi.hProcess, &exitCode);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    EXPECT_EQ(exitCode, kEndedByConsole);
    EXPECT_EQ(filesIn(folder), 1) << "temporaries are left";
    EXPECT_TRUE(contentsOf(old) == oldBytes) << "the old file was replaced";
}

} // namespace

#endif
