#include "platform/file.h"

#include "tests/common/test_paths.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>

#ifndef _WIN32
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace qf {}
using namespace qf;

namespace {

int writeText(File& file, const std::string& text) {
    return file.write(text.data(), text.size());
}

} // namespace

TEST(File, WritingCreatesMissingFileAndKeepsTheTailOfALongerOne) {
    ScratchFolder scratch;
    const std::string path = scratch.file("settings");
    ASSERT_FALSE(fileExists(path.c_str()));

    File file;
    ASSERT_EQ(file.openForWriting(path.c_str()), kFileOk);
    EXPECT_TRUE(file.isOpen());
    EXPECT_TRUE(file.isWriter());
    EXPECT_EQ(writeText(file, "0123456789"), kFileOk);
    EXPECT_EQ(file.close(), kFileOk);
    EXPECT_EQ(scratch.read("settings"), "0123456789");

    // Open-always: the existing content stays, the new bytes overwrite from
    // the start, and without setEndOfFile the old tail survives.
    ASSERT_EQ(file.openForWriting(path.c_str()), kFileOk);
    EXPECT_EQ(file.position(), 0);
    EXPECT_EQ(file.size(), 10);
    EXPECT_EQ(writeText(file, "abc"), kFileOk);
    EXPECT_EQ(file.close(), kFileOk);
    EXPECT_EQ(scratch.read("settings"), "abc3456789");

    // With setEndOfFile the file ends where the writer stopped.
    ASSERT_EQ(file.openForWriting(path.c_str()), kFileOk);
    EXPECT_EQ(writeText(file, "XY"), kFileOk);
    EXPECT_EQ(file.setEndOfFile(), kFileOk);
    EXPECT_EQ(file.size(), 2);
    EXPECT_EQ(file.close(), kFileOk);
    EXPECT_EQ(scratch.read("settings"), "XY");
}

TEST(File, ReadsExactCountsAndReportsShortReads) {
    ScratchFolder scratch;
    scratch.write("data", "abcdefgh");
    File file;
    ASSERT_EQ(file.openForReading(scratch.file("data").c_str()), kFileOk);
    EXPECT_FALSE(file.isWriter());
    EXPECT_EQ(file.size(), 8);

    char buffer[16] = {};
    size_t got = 99;
    EXPECT_EQ(file.read(buffer, 3, &got), kFileOk);
    EXPECT_EQ(got, 3u);
    EXPECT_EQ(std::string(buffer, 3), "abc");
    EXPECT_EQ(file.position(), 3);

    // Skipping forward and reading from the end.
    EXPECT_EQ(file.seek(2, kSeekFromCurrent), kFileOk);
    EXPECT_EQ(file.read(buffer, 1), kFileOk);
    EXPECT_EQ(buffer[0], 'f');
    EXPECT_EQ(file.seek(-1, kSeekFromEnd), kFileOk);
    EXPECT_EQ(file.read(buffer, 1), kFileOk);
    EXPECT_EQ(buffer[0], 'h');

    // A read past the end delivers what there is and fails; the sequence
    // can carry on after it.
    ASSERT_EQ(file.seek(6), kFileOk);
    EXPECT_EQ(file.read(buffer, 4, &got), kFileReadFailed);
    EXPECT_EQ(got, 2u);
    EXPECT_EQ(std::string(buffer, 2), "gh");
    EXPECT_EQ(file.read(buffer, 1, &got), kFileReadFailed);
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(file.seek(0), kFileOk);
    EXPECT_EQ(file.read(buffer, 8), kFileOk);
    EXPECT_EQ(std::string(buffer, 8), "abcdefgh");

    // Seeking beyond the end is allowed, before the start is not.
    EXPECT_EQ(file.seek(100), kFileOk);
    EXPECT_EQ(file.read(buffer, 1), kFileReadFailed);
    EXPECT_EQ(file.seek(-1), kFileReadFailed);
}

TEST(File, FailuresGiveTheFileStatusCodes) {
    ScratchFolder scratch;
    const std::string missing = scratch.file("missing");
    File file;
    EXPECT_EQ(file.openForReading(missing.c_str()), kFileCannotOpen);
    EXPECT_FALSE(file.isOpen());
    EXPECT_FALSE(fileExists(missing.c_str())); // reading never creates
    EXPECT_EQ(file.openForWriting(scratch.file("no such folder/file").c_str()), kFileCannotOpen);
    EXPECT_EQ(file.openForReading(""), kFileCannotOpen);
    EXPECT_EQ(file.openForWriting(nullptr), kFileCannotOpen);
    // A folder is not a file, neither for reading nor for writing.
    EXPECT_EQ(file.openForReading(scratch.folder().c_str()), kFileCannotOpen);
    EXPECT_EQ(file.openForWriting(scratch.folder().c_str()), kFileCannotOpen);

    // Operations without an open file.
    char byte = 0;
    size_t got = 7;
    EXPECT_EQ(file.read(&byte, 1, &got), kFileReadFailed);
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(file.write(&byte, 1), kFileWriteFailed);
    EXPECT_EQ(file.setEndOfFile(), kFileWriteFailed);
    EXPECT_EQ(file.position(), -1);
    EXPECT_EQ(file.size(), -1);
    EXPECT_EQ(file.close(), kFileOk);

    // Writing through a reader, reading through a writer.
    scratch.write("data", "abc");
    ASSERT_EQ(file.openForReading(scratch.file("data").c_str()), kFileOk);
    EXPECT_EQ(file.write("x", 1), kFileWriteFailed);
    EXPECT_EQ(file.setEndOfFile(), kFileWriteFailed);
    ASSERT_EQ(file.openForWriting(scratch.file("data").c_str()), kFileOk);
    EXPECT_EQ(file.read(&byte, 1), kFileReadFailed);
    EXPECT_EQ(file.seek(-5), kFileWriteFailed);
    EXPECT_EQ(file.close(), kFileOk);
    EXPECT_EQ(scratch.read("data"), "abc");
}

TEST(File, AFileOpenForWritingCanBeReadAtTheSameTime) {
    ScratchFolder scratch;
    const std::string path = scratch.file("shared");
    File writer;
    ASSERT_EQ(writer.openForWriting(path.c_str()), kFileOk);
    ASSERT_EQ(writeText(writer, "hello"), kFileOk);

    File reader;
    ASSERT_EQ(reader.openForReading(path.c_str()), kFileOk);
    char buffer[5];
    EXPECT_EQ(reader.read(buffer, 5), kFileOk);
    EXPECT_EQ(std::string(buffer, 5), "hello");

    // And a second reader beside the first.
    File second;
    ASSERT_EQ(second.openForReading(path.c_str()), kFileOk);
    EXPECT_EQ(second.read(buffer, 5), kFileOk);

    // The writer is not disturbed by its readers.
    EXPECT_EQ(writeText(writer, "!"), kFileOk);
    EXPECT_EQ(writer.setEndOfFile(), kFileOk);
    EXPECT_EQ(writer.close(), kFileOk);
    EXPECT_EQ(scratch.read("shared"), "hello!");
}

#ifdef _WIN32
TEST(File, OnlyOneWriterAtATime) {
    ScratchFolder scratch;
    const std::string path = scratch.file("exclusive");
    File first, second;
    ASSERT_EQ(first.openForWriting(path.c_str()), kFileOk);
    EXPECT_EQ(second.openForWriting(path.c_str()), kFileCannotOpen);
    first.close();
    EXPECT_EQ(second.openForWriting(path.c_str()), kFileOk);
}
#endif

TEST(File, MovingHandsTheOpenFileOverAndTheDestructorCloses) {
    ScratchFolder scratch;
    const std::string path = scratch.file("moved");
    {
        File first;
        ASSERT_EQ(first.openForWriting(path.c_str()), kFileOk);
        File second(std::move(first));
        EXPECT_FALSE(first.isOpen());
        EXPECT_TRUE(second.isOpen());
        EXPECT_TRUE(second.isWriter());
        EXPECT_EQ(writeText(second, "ab"), kFileOk);
        File third;
        ASSERT_EQ(third.openForReading(path.c_str()), kFileOk);
        third = std::move(second); // closes the reader, takes the writer
        EXPECT_TRUE(third.isWriter());
        EXPECT_EQ(writeText(third, "cd"), kFileOk);
    } // closed here
    EXPECT_EQ(scratch.read("moved"), "abcd");
    // Closed means closed: the file can be replaced and deleted now, which
    // Windows refuses while a handle is open.
    EXPECT_EQ(deleteFile(path.c_str()), kFileOk);
    EXPECT_FALSE(fileExists(path.c_str()));
}

TEST(File, ReplaceDeleteAndCreateFolder) {
    ScratchFolder scratch;
    scratch.write("old", "old content");
    scratch.write("new", "new");
    const std::string oldPath = scratch.file("old"), newPath = scratch.file("new");

    EXPECT_EQ(replaceFile(newPath.c_str(), oldPath.c_str()), kFileOk);
    EXPECT_EQ(scratch.read("old"), "new");
    EXPECT_FALSE(fileExists(newPath.c_str()));
    // Onto a name that does not exist yet, too.
    EXPECT_EQ(replaceFile(oldPath.c_str(), newPath.c_str()), kFileOk);
    EXPECT_EQ(scratch.read("new"), "new");
    EXPECT_EQ(replaceFile(oldPath.c_str(), newPath.c_str()), kFileCannotOpen);
    EXPECT_EQ(scratch.read("new"), "new");

    EXPECT_EQ(deleteFile(newPath.c_str()), kFileOk);
    EXPECT_FALSE(fileExists(newPath.c_str()));
    EXPECT_EQ(deleteFile(newPath.c_str()), kFileOk); // already gone

    // A reader does not stand in the way of deleting its file; the file is
    // gone once the reader has closed it at the latest.
    scratch.write("read", "r");
    const std::string readPath = scratch.file("read");
    {
        File reader;
        ASSERT_EQ(reader.openForReading(readPath.c_str()), kFileOk);
        EXPECT_EQ(deleteFile(readPath.c_str()), kFileOk);
    }
    EXPECT_FALSE(fileExists(readPath.c_str()));
    EXPECT_EQ(deleteFile(""), kFileCannotOpen);

    const std::string folder = scratch.file("web_images");
    EXPECT_EQ(createFolder(folder.c_str()), kFileOk);
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    EXPECT_EQ(createFolder(folder.c_str()), kFileOk); // exists already
    EXPECT_FALSE(fileExists(folder.c_str()));         // a folder is no file
    scratch.write("plain", "x");
    EXPECT_EQ(createFolder(scratch.file("plain").c_str()), kFileCannotOpen);
    EXPECT_EQ(createFolder(scratch.file("a/b/c").c_str()), kFileCannotOpen);
}

#ifndef _WIN32
TEST(File, OwnedOnlyRefusesSymbolicLinks) {
    ScratchFolder scratch;
    scratch.write("target", "secret");
    const std::string target = scratch.file("target");
    const std::string link = scratch.file("Quillfire cached settings D");
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);

    File file;
    // Plain opens follow the link, owned-only opens refuse it.
    EXPECT_EQ(file.openForReading(link.c_str()), kFileOk);
    file.close();
    EXPECT_EQ(file.openForReading(link.c_str(), kOpenOwnedOnly), kFileCannotOpen);
    EXPECT_EQ(file.openForWriting(link.c_str(), kOpenOwnedOnly), kFileCannotOpen);
    EXPECT_EQ(scratch.read("target"), "secret");
    EXPECT_FALSE(isOwnedRegularFile(link.c_str()));
    EXPECT_TRUE(isOwnedRegularFile(target.c_str()));
    EXPECT_TRUE(fileExists(link.c_str()));

    // A dangling link must not make the writer create its target.
    const std::string dangling = scratch.file("dangling");
    const std::string planted = scratch.file("planted");
    ASSERT_EQ(::symlink(planted.c_str(), dangling.c_str()), 0);
    EXPECT_EQ(file.openForWriting(dangling.c_str(), kOpenOwnedOnly), kFileCannotOpen);
    EXPECT_FALSE(fileExists(planted.c_str()));

    // The real file opens, and a file created owned-only is private.
    EXPECT_EQ(file.openForReading(target.c_str(), kOpenOwnedOnly), kFileOk);
    const std::string fresh = scratch.file("fresh");
    EXPECT_EQ(file.openForWriting(fresh.c_str(), kOpenOwnedOnly), kFileOk);
    file.close();
    struct stat info;
    ASSERT_EQ(::stat(fresh.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_TRUE(isOwnedRegularFile(fresh.c_str()));
    EXPECT_FALSE(isOwnedRegularFile(scratch.file("missing").c_str()));
    EXPECT_FALSE(isOwnedRegularFile(scratch.folder().c_str()));
}

TEST(File, OwnedOnlyRefusesAnotherUsersFile) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to give a file away";
    ScratchFolder scratch;
    scratch.write("foreign", "planted");
    const std::string path = scratch.file("foreign");
    ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
    File file;
    EXPECT_EQ(file.openForReading(path.c_str(), kOpenOwnedOnly), kFileCannotOpen);
    EXPECT_EQ(file.openForWriting(path.c_str(), kOpenOwnedOnly), kFileCannotOpen);
    EXPECT_FALSE(isOwnedRegularFile(path.c_str()));
    EXPECT_EQ(file.openForReading(path.c_str()), kFileOk); // plain opens do not care
}

TEST(File, APipeUnderAFileNameIsRefusedWithoutBlocking) {
    ScratchFolder scratch;
    const std::string path = scratch.file("pipe");
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    File file;
    // Opening a FIFO for reading would wait for a writer forever.
    EXPECT_EQ(file.openForReading(path.c_str()), kFileCannotOpen);
    EXPECT_EQ(file.openForReading(path.c_str(), kOpenOwnedOnly), kFileCannotOpen);
    EXPECT_FALSE(fileExists(path.c_str()));
}

TEST(File, AWriteTheSystemRefusesReportsMinusTwenty) {
    ScratchFolder scratch;
    const std::string path = scratch.file("limited");
    File file;
    ASSERT_EQ(file.openForWriting(path.c_str()), kFileOk);
    // Cap the size of files this process may write at 4 bytes: the write
    // of 10 stops there and fails, as on a full disk.
    struct rlimit saved;
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    void (*savedHandler)(int) = ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limited = saved;
    limited.rlim_cur = 4;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    const int status = file.write("0123456789", 10);
    const int after = file.write("x", 1); // the sequence carries on, failing
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::signal(SIGXFSZ, savedHandler);
    EXPECT_EQ(status, kFileWriteFailed);
    EXPECT_EQ(after, kFileWriteFailed);
    EXPECT_EQ(file.close(), kFileOk);
    EXPECT_EQ(scratch.read("limited"), "0123");

    // A device is refused as a file at open already.
    EXPECT_EQ(file.openForWriting("/dev/full"), kFileCannotOpen);
}
#endif
