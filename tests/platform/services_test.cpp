// The small services: processor count, clocks, messages, shell open.
#include "platform/clock.h"
#include "platform/message.h"
#include "platform/processor_count.h"
#include "platform/shell_open.h"

#include "tests/common/test_paths.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace qf {}
using namespace qf;

TEST(ProcessorCount, IsAtLeastOneAndMatchesTheRuntime) {
    const int count = processorCount();
    EXPECT_GE(count, 1);
    const unsigned hardware = std::thread::hardware_concurrency();
    if (hardware > 0) {
        EXPECT_LE(count, static_cast<int>(hardware));
    }
}

TEST(Clock, MonotonicMillisecondsAdvanceWithTime) {
    const uint64_t first = monotonicMilliseconds();
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    const uint64_t second = monotonicMilliseconds();
    EXPECT_GE(second - first, 45u);
    EXPECT_LT(second - first, 5000u);
}

TEST(Clock, CurrentTimeIsTheWallClockInSeconds) {
    const int64_t now = currentTimeSeconds();
    const int64_t reference = static_cast<int64_t>(std::time(nullptr));
    EXPECT_LE(std::llabs(now - reference), 2);
    EXPECT_GT(now, 1600000000); // after September 2020
}

namespace {

struct Seen {
    std::vector<std::string> messages;
};

void record(const char* title, const char* text, void* context) {
    static_cast<Seen*>(context)->messages.push_back(std::string(title) + "|" + text);
}

} // namespace

TEST(Message, AnObserverSeesWhatWouldBeShown) {
    Seen outer, inner;
    {
        ScopedMessageHandler observe(record, &outer);
        showMessage("Quillfire", "This filter needs an RGB or grayscale image.");
        {
            ScopedMessageHandler nested(record, &inner);
            showMessage("t", "nested");
        }
        showMessage(nullptr, nullptr); // missing texts show as empty
    }
    EXPECT_EQ(outer.messages, (std::vector<std::string>{
                                  "Quillfire|This filter needs an RGB or grayscale image.", "|"}));
    EXPECT_EQ(inner.messages, (std::vector<std::string>{"t|nested"}));

    setMessageHandler(record, &outer);
    showMessage("a", "b");
    EXPECT_EQ(outer.messages.size(), 3u);
#ifndef _WIN32
    // Null brings the default back: standard error on Linux.
    setMessageHandler(nullptr);
    testing::internal::CaptureStderr();
    showMessage("Title", "Text");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Title: Text\n");
    EXPECT_EQ(outer.messages.size(), 3u);
#else
    setMessageHandler(nullptr);
#endif
}

#ifndef _WIN32
namespace {

class ScopedPath {
  public:
    explicit ScopedPath(const std::string& value) {
        const char* old = std::getenv("PATH");
        had_ = old != nullptr;
        if (old) old_ = old;
        setenv("PATH", value.c_str(), 1);
    }
    ~ScopedPath() {
        if (had_) {
            setenv("PATH", old_.c_str(), 1);
        } else {
            unsetenv("PATH");
        }
    }

  private:
    std::string old_;
    bool had_ = false;
};

// Puts an "xdg-open" into the scratch folder that writes its argument into
// `record` after `delay` seconds.
void plantOpener(const ScratchFolder& scratch, const std::string& record, int delay) {
    scratch.write("xdg-open", "#!/bin/sh\n/bin/sleep " + std::to_string(delay) +
                                  "\nprintf '%s|%s' \"$#\" \"$1\" > '" + record +
                                  ".part'\n/bin/mv '" + record + ".part' '" + record + "'\n");
    chmod(scratch.file("xdg-open").c_str(), 0755);
}

std::string waitForFile(const ScratchFolder& scratch, const std::string& name) {
    const uint64_t end = monotonicMilliseconds() + 10000;
    while (monotonicMilliseconds() < end) {
        if (std::filesystem::exists(scratch.file(name))) return scratch.read(name);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return "(nothing)";
}

} // namespace

TEST(ShellOpen, RunsTheOpenerWithTheTargetAsItsOneArgument) {
    ScratchFolder scratch;
    plantOpener(scratch, scratch.file("opened"), 0);
    ScopedPath path("/nonexistent:" + scratch.folder());
    const std::string url = "https://example.org/a page?x=1&y='2' $(touch no)";
    ASSERT_EQ(shellOpen(url.c_str()), kPlatformOk);
    EXPECT_EQ(waitForFile(scratch, "opened"), "1|" + url);
    EXPECT_FALSE(std::filesystem::exists(scratch.file("no")));

    // A target that looks like an option is passed as a path.
    std::filesystem::remove(scratch.file("opened"));
    ASSERT_EQ(shellOpen("-page.html"), kPlatformOk);
    EXPECT_EQ(waitForFile(scratch, "opened"), "1|./-page.html");
}

TEST(ShellOpen, DoesNotWaitForTheOpener) {
    ScratchFolder scratch;
    plantOpener(scratch, scratch.file("opened"), 3);
    ScopedPath path(scratch.folder());
    const uint64_t before = monotonicMilliseconds();
    ASSERT_EQ(shellOpen("page.html"), kPlatformOk);
    EXPECT_LT(monotonicMilliseconds() - before, 2000u);
    EXPECT_FALSE(std::filesystem::exists(scratch.file("opened")));
    EXPECT_EQ(waitForFile(scratch, "opened"), "1|page.html");
}

TEST(ShellOpen, ReportsAnOpenerThatCannotStart) {
    ScratchFolder scratch;
    EXPECT_EQ(shellOpen(""), kPlatformFailed);
    EXPECT_EQ(shellOpen(nullptr), kPlatformFailed);
    {
        ScopedPath path(scratch.folder()); // no opener there
        EXPECT_EQ(shellOpen("page.html"), kPlatformFailed);
    }
    // Not executable: skipped in the search.
    scratch.write("xdg-open", "#!/bin/sh\nexit 0\n");
    chmod(scratch.file("xdg-open").c_str(), 0644);
    {
        ScopedPath path(scratch.folder());
        EXPECT_EQ(shellOpen("page.html"), kPlatformFailed);
    }
    // Executable but no program: the exec fails in the child, and we hear
    // of it.
    scratch.write("xdg-open", std::string("\x7f"
                                          "ELF garbage",
                                          12));
    chmod(scratch.file("xdg-open").c_str(), 0755);
    {
        ScopedPath path(scratch.folder());
        EXPECT_EQ(shellOpen("page.html"), kPlatformFailed);
    }
}
#endif
