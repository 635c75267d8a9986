#include "platform/file.h"
#include "platform/safe_write.h"
#include "tests/common/test_paths.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace qf {}
using namespace qf;

namespace {

namespace fs = std::filesystem;

// Every name in the folder, so that a left-over temporary shows.
std::set<std::string> names(const ScratchFolder& folder) {
    std::set<std::string> out;
    for (const auto& entry : fs::directory_iterator(folder.path()))
        out.insert(entry.path().filename().string());
    return out;
}

std::string pattern(size_t size, char seed) {
    std::string s(size, '\0');
    for (size_t i = 0; i < size; ++i) s[i] = char(seed + char(i * 7 % 251));
    return s;
}

int writeWhole(const std::string& target, const std::string& content, int* error = nullptr) {
    SafeWrite out;
    int status = out.open(target.c_str());
    if (status == kFileOk) status = out.write(content.data(), content.size());
    if (status == kFileOk) status = out.commit();
    if (error) *error = out.error();
    return status;
}

} // namespace

TEST(SafeWrite, ReplacesOnlyWithACompleteFileAndLeavesNothingBehind) {
    ScratchFolder folder;
    const std::string target = folder.file("picture.png");
    folder.write("picture.png", pattern(100000, 'a'));

    // A shorter file replaces a longer one exactly, and the temporary kept
    // the extension while it existed.
    {
        SafeWrite out;
        ASSERT_EQ(out.open(target.c_str()), kFileOk);
        const std::string temp = out.temporaryPath();
        EXPECT_EQ(fs::path(temp).parent_path(), folder.path());
        EXPECT_EQ(fs::path(temp).extension(), ".png");
        EXPECT_TRUE(fs::exists(temp));
        const std::string content = pattern(4321, 'x');
        ASSERT_EQ(out.write(content.data(), 1000), kFileOk);
        ASSERT_EQ(out.write(content.data() + 1000, content.size() - 1000), kFileOk);
        // Before the commit the old file is whole.
        EXPECT_EQ(folder.read("picture.png"), pattern(100000, 'a'));
        ASSERT_EQ(out.commit(), kFileOk);
        EXPECT_EQ(out.error(), kSafeWriteOk);
        EXPECT_STREQ(out.temporaryPath(), "");
        EXPECT_EQ(folder.read("picture.png"), content);
    }
    EXPECT_EQ(names(folder), std::set<std::string>{"picture.png"});

    // Abandoned (destructor), discarded, or failed by the caller's writer:
    // the old file stays, the temporary goes.
    const std::string kept = folder.read("picture.png");
    {
        SafeWrite out;
        ASSERT_EQ(out.open(target.c_str()), kFileOk);
        ASSERT_EQ(out.write("partial", 7), kFileOk);
    }
    {
        SafeWrite out;
        ASSERT_EQ(out.open(target.c_str()), kFileOk);
        out.discard();
        EXPECT_EQ(out.commit(), kFileCannotOpen);
        EXPECT_EQ(out.error(), kSafeWriteNotOpen);
    }
    {
        SafeWrite out;
        ASSERT_EQ(out.open(target.c_str()), kFileOk);
        ASSERT_EQ(out.write("partial", 7), kFileOk);
        out.fail();
        EXPECT_EQ(out.write("more", 4), kFileWriteFailed);
        EXPECT_EQ(out.commit(), kFileWriteFailed);
        EXPECT_EQ(out.error(), kSafeWriteFailed);
    }
    EXPECT_EQ(folder.read("picture.png"), kept);
    EXPECT_EQ(names(folder), std::set<std::string>{"picture.png"});

    // A new file, and an empty one.
    ASSERT_EQ(writeWhole(folder.file("new.bin"), "abc"), kFileOk);
    ASSERT_EQ(writeWhole(folder.file("empty"), ""), kFileOk);
    EXPECT_EQ(folder.read("new.bin"), "abc");
    EXPECT_EQ(fs::file_size(folder.file("empty")), 0u);
    EXPECT_EQ(names(folder), (std::set<std::string>{"picture.png", "new.bin", "empty"}));
}

TEST(SafeWrite, WriteAtFillsInAndHandOverLetsOtherWritersWrite) {
    ScratchFolder folder;
    const std::string target = folder.file("a.sa9");
    {
        SafeWrite out;
        ASSERT_EQ(out.open(target.c_str()), kFileOk);
        ASSERT_EQ(out.write("0000tail", 8), kFileOk);
        ASSERT_EQ(out.writeAt(0, "head", 4), kFileOk);
        ASSERT_EQ(out.write("!", 1), kFileOk); // appends after the furthest write()
        EXPECT_EQ(out.writeAt(-1, "x", 1), kFileWriteFailed);
        EXPECT_EQ(out.error(), kSafeWriteNotOpen);
        EXPECT_EQ(out.commit(), kFileWriteFailed);
    }
    EXPECT_FALSE(fs::exists(target));
    {
        SafeWrite out;
        ASSERT_EQ(out.open(target.c_str()), kFileOk);
        ASSERT_EQ(out.write("0000tail", 8), kFileOk);
        ASSERT_EQ(out.writeAt(0, "head", 4), kFileOk);
        ASSERT_EQ(out.write("!", 1), kFileOk);
        ASSERT_EQ(out.commit(), kFileOk);
    }
    EXPECT_EQ(folder.read("a.sa9"), "headtail!");

    // A writer that opens the temporary by name.
    {
        SafeWrite out;
        ASSERT_EQ(out.open(target.c_str()), kFileOk);
        const char* temp = out.handOver();
        ASSERT_NE(temp, nullptr);
        EXPECT_EQ(out.write("x", 1), kFileWriteFailed) << "no writes after the hand-over";
        EXPECT_EQ(out.error(), kSafeWriteNotOpen);
    }
    EXPECT_EQ(folder.read("a.sa9"), "headtail!");
    {
        SafeWrite out;
        ASSERT_EQ(out.open(target.c_str()), kFileOk);
        File file;
        ASSERT_EQ(file.openForWriting(out.handOver()), kFileOk);
        ASSERT_EQ(file.write("by name", 7), kFileOk);
        ASSERT_EQ(file.close(), kFileOk);
        ASSERT_EQ(out.commit(), kFileOk);
    }
    EXPECT_EQ(folder.read("a.sa9"), "by name");
    // ... or renames its own complete file onto that name.
    {
        SafeWrite out;
        ASSERT_EQ(out.open(target.c_str()), kFileOk);
        const std::string temp = out.handOver();
        folder.write("own.partial", "renamed in");
        ASSERT_EQ(replaceFile(folder.file("own.partial").c_str(), temp.c_str()), kFileOk);
        ASSERT_EQ(out.commit(), kFileOk);
    }
    EXPECT_EQ(folder.read("a.sa9"), "renamed in");
    EXPECT_EQ(names(folder), std::set<std::string>{"a.sa9"});
}

TEST(SafeWrite, RefusesTargetsThatAreNotFilesAndNamesOfAnyLength) {
    ScratchFolder folder;
    fs::create_directory(folder.path() / "sub");
    int error = 0;
    EXPECT_EQ(writeWhole(folder.file("sub"), "x", &error), kFileCannotOpen);
    EXPECT_EQ(error, kSafeWriteNotRegular);
    EXPECT_TRUE(fs::is_directory(folder.path() / "sub"));
    EXPECT_EQ(writeWhole(folder.file("missing/x.png"), "x", &error), kFileCannotOpen);
    EXPECT_EQ(error, kSafeWriteCannotCreate);
    EXPECT_EQ(writeWhole("", "x", &error), kFileCannotOpen);
    EXPECT_EQ(writeWhole(std::string(5000, 'a'), "x", &error), kFileCannotOpen);
    EXPECT_EQ(error, kSafeWriteCannotCreate);

    // The longest name the folder allows still gets a temporary beside it.
    // (Windows keeps whole paths under 260 characters.)
#ifdef _WIN32
    const size_t longest = 250 - folder.folder().size();
#else
    const size_t longest = 255;
#endif
    const std::string name = std::string(longest - 4, 'n') + ".png";
    ASSERT_EQ(writeWhole(folder.file(name), "long", &error), kFileOk) << error;
    EXPECT_EQ(folder.read(name), "long");
    // A name without an extension, and one with a long one.
    ASSERT_EQ(writeWhole(folder.file("plain"), "p"), kFileOk);
    ASSERT_EQ(writeWhole(folder.file("x.averyveryverylongextension"), "e"), kFileOk);
    EXPECT_EQ(names(folder),
              (std::set<std::string>{"sub", name, "plain", "x.averyveryverylongextension"}));

#ifndef _WIN32
    // A pipe is neither opened (no hang) nor replaced; nor is a device.
    const std::string fifo = folder.file("pipe.png");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(writeWhole(fifo, "x", &error), kFileCannotOpen);
    EXPECT_EQ(error, kSafeWriteNotRegular);
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_EQ(writeWhole("/dev/null", "x", &error), kFileCannotOpen);
    EXPECT_EQ(error, kSafeWriteNotRegular);
    // A pipe that takes the name while the file is written is not replaced
    // either.
    const std::string late = folder.file("late.png");
    {
        SafeWrite out;
        ASSERT_EQ(out.open(late.c_str()), kFileOk);
        ASSERT_EQ(out.write("x", 1), kFileOk);
        ASSERT_EQ(::mkfifo(late.c_str(), 0600), 0);
        EXPECT_EQ(out.commit(), kFileCannotOpen);
        EXPECT_EQ(out.error(), kSafeWriteNotRegular);
    }
    EXPECT_TRUE(fs::is_fifo(late));
    fs::remove(late);
    fs::remove(fifo);
    fs::remove_all(folder.path() / "sub");
    fs::remove(folder.file("plain"));
    fs::remove(folder.file("x.averyveryverylongextension"));
    fs::remove(folder.file(name));
    EXPECT_TRUE(names(folder).empty());
#endif
}

#ifndef _WIN32

TEST(SafeWrite, KeepsPermissionBitsAndSymbolicLinks) {
    ScratchFolder folder;
    const std::string target = folder.file("private.png");
    folder.write("private.png", "old");
    ASSERT_EQ(::chmod(target.c_str(), 0600), 0);
    ASSERT_EQ(writeWhole(target, "new"), kFileOk);
    struct stat info;
    ASSERT_EQ(::stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    ASSERT_EQ(::chmod(target.c_str(), 0754), 0);
    ASSERT_EQ(writeWhole(target, "newer"), kFileOk);
    ASSERT_EQ(::stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0754u);

    // A new file: the umask's defaults.
    const mode_t mask = ::umask(022);
    ASSERT_EQ(writeWhole(folder.file("fresh"), "f"), kFileOk);
    ::umask(mask);
    ASSERT_EQ(::stat(folder.file("fresh").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0644u);

    // Through a link: the link stays, the file it names is replaced.
    fs::create_directory(folder.path() / "real");
    folder.write("real/file.png", "linked old");
    fs::create_symlink(folder.path() / "real/file.png", folder.path() / "link.png");
    ASSERT_EQ(writeWhole(folder.file("link.png"), "linked new"), kFileOk);
    EXPECT_TRUE(fs::is_symlink(folder.path() / "link.png"));
    EXPECT_EQ(folder.read("real/file.png"), "linked new");
    EXPECT_EQ(names(folder), (std::set<std::string>{"private.png", "fresh", "real", "link.png"}));
    // A dangling link is replaced by the file.
    fs::create_symlink(folder.path() / "nowhere", folder.path() / "dangling");
    ASSERT_EQ(writeWhole(folder.file("dangling"), "d"), kFileOk);
    EXPECT_FALSE(fs::is_symlink(folder.path() / "dangling"));
    EXPECT_EQ(folder.read("dangling"), "d");
}

TEST(SafeWrite, ParallelWritersOfOneTargetNeverMix) {
    ScratchFolder folder;
    const std::string target = folder.file("shared.jpg");
    constexpr int kWriters = 8;
    std::vector<std::thread> threads;
    std::vector<int> results(kWriters, -1);
    for (int i = 0; i < kWriters; ++i)
        threads.emplace_back([&, i] {
            const std::string content = pattern(200000 + size_t(i) * 1000, char('A' + i));
            SafeWrite out;
            int status = out.open(target.c_str());
            for (size_t at = 0; status == kFileOk && at < content.size(); at += 4096)
                status =
                    out.write(content.data() + at, std::min<size_t>(4096, content.size() - at));
            // Every second writer fails and must leave no trace.
            if (status == kFileOk && i % 2 == 1) {
                out.fail();
                status = -1;
            }
            if (status == kFileOk) status = out.commit();
            results[size_t(i)] = status;
        });
    for (std::thread& t : threads) t.join();
    const std::string final = folder.read("shared.jpg");
    bool fromASuccess = false;
    for (int i = 0; i < kWriters; i += 2) {
        EXPECT_EQ(results[size_t(i)], kFileOk);
        fromASuccess |= final == pattern(200000 + size_t(i) * 1000, char('A' + i));
    }
    EXPECT_TRUE(fromASuccess) << "the file holds " << final.size()
                              << " bytes of no successful writer";
    EXPECT_EQ(names(folder), std::set<std::string>{"shared.jpg"});
}

// The process-wide parts: the file-size limit and the signals. Each case
// runs in a child process of its own so that the handlers and limits stay
// there.
namespace {

// Runs `body` in a child; its exit status, or 1000 + the signal that ended it.
template <class Body> int inChild(Body body) {
    const pid_t child = ::fork();
    if (child == 0) {
        const int code = body();
        ::_exit(code);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
}

} // namespace

TEST(SafeWrite, FileSizeLimitIsAWriteErrorNotADeath) {
    ScratchFolder folder;
    const std::string target = folder.file("big.tif");
    folder.write("big.tif", "old");
    const int code = inChild([&] {
        installWriteSignalHandlers();
        struct rlimit limit;
        ::getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = 64 * 1024;
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return 10;
        const std::string content = pattern(100000, 'b');
        SafeWrite out;
        if (out.open(target.c_str()) != kFileOk) return 11;
        if (out.write(content.data(), content.size()) != kFileWriteFailed) return 12;
        if (out.error() != kSafeWriteTooLarge) return 13;
        if (out.commit() != kFileWriteFailed) return 14;
        // A writer by name that ignores the failure is caught by the signal.
        SafeWrite byName;
        if (byName.open(target.c_str()) != kFileOk) return 15;
        File file;
        if (file.openForWriting(byName.handOver()) != kFileOk) return 16;
        file.write(content.data(), content.size());
        file.close();
        if (byName.commit() != kFileWriteFailed || byName.error() != kSafeWriteTooLarge) return 17;
        return 0;
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(folder.read("big.tif"), "old");
    EXPECT_EQ(names(folder), std::set<std::string>{"big.tif"});
}

TEST(SafeWrite, InterruptStopsTheWriteAndASecondOneOrTerminationCleansUp) {
    ScratchFolder folder;
    const std::string target = folder.file("out.png");
    folder.write("out.png", "old");
    // The first interrupt: writes and the commit are refused, the process
    // goes on.
    EXPECT_EQ(inChild([&] {
                  installWriteSignalHandlers();
                  SafeWrite out;
                  if (out.open(target.c_str()) != kFileOk) return 1;
                  if (out.write("new", 3) != kFileOk) return 2;
                  ::raise(SIGINT);
                  if (!writeInterruptRequested()) return 3;
                  if (out.write("more", 4) != kFileWriteFailed) return 4;
                  if (out.error() != kSafeWriteInterrupted) return 5;
                  if (out.commit() != kFileWriteFailed) return 6;
                  // Once forgotten, writing works again.
                  clearWriteInterrupt();
                  return writeWhole(folder.file("after.png"), "after") == kFileOk ? 0 : 7;
              }),
              0);
    EXPECT_EQ(folder.read("after.png"), "after");
    fs::remove(folder.file("after.png"));
    // A second interrupt, SIGTERM and SIGHUP end the process and take every
    // open temporary with them.
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        const int code = inChild([&] {
            installWriteSignalHandlers();
            SafeWrite a, b;
            if (a.open(target.c_str()) != kFileOk || b.open(folder.file("other.png").c_str()))
                return 1;
            a.write("partial", 7);
            if (sig == SIGINT) ::raise(SIGINT);
            ::raise(sig);
            return 2; // not reached
        });
        EXPECT_EQ(code, 1000 + sig) << "signal " << sig;
        EXPECT_EQ(names(folder), std::set<std::string>{"out.png"}) << "signal " << sig;
    }
    EXPECT_EQ(folder.read("out.png"), "old");
}

TEST(SafeWrite, FullDiskIsReportedAndTheOldFileKept) {
    if (::geteuid() != 0) GTEST_SKIP() << "mounting a small tmpfs needs root";
    ScratchFolder folder;
    const std::string mount = folder.file("disk");
    fs::create_directory(mount);
    if (::mount("tmpfs", mount.c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here";
    const std::string target = mount + "/kept.sa9";
    const std::string old = pattern(20000, 'o');
    ASSERT_EQ(writeWhole(target, old), kFileOk);
    int error = 0;
    EXPECT_EQ(writeWhole(target, pattern(60000, 'n'), &error), kFileWriteFailed);
    EXPECT_EQ(error, kSafeWriteNoSpace);
    EXPECT_STREQ(safeWriteErrorText(error), "no space left on the disk");
    std::set<std::string> left;
    for (const auto& entry : fs::directory_iterator(mount))
        left.insert(entry.path().filename().string());
    EXPECT_EQ(left, std::set<std::string>{"kept.sa9"});
    std::string read;
    {
        std::ifstream in(target, std::ios::binary);
        read.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    EXPECT_EQ(read, old);
    ::umount(mount.c_str());
}

#endif
