#include "platform/folder_listing.h"

#include "platform/file.h"
#include "platform/path.h"
#include "tests/common/test_paths.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace qf {}
using namespace qf;

using Names = std::vector<std::string>;

TEST(FolderListing, PatternsIgnoreLetterCase) {
    EXPECT_TRUE(matchesPattern("look.sa9", "*.sa9"));
    EXPECT_TRUE(matchesPattern("LOOK.SA9", "*.sa9"));
    EXPECT_TRUE(matchesPattern(".sa9", "*.sa9"));
    EXPECT_FALSE(matchesPattern("look.sa9.bak", "*.sa9"));
    EXPECT_FALSE(matchesPattern("looksa9", "*.sa9"));
    // "Contains" is spelled with a star at each end.
    EXPECT_TRUE(matchesPattern("look.sa9.bak", "*.sa9*"));
    EXPECT_TRUE(matchesPattern("my Q9Q look.sa9", "*q9q*"));
    EXPECT_FALSE(matchesPattern("my q5 look", "*q9q*"));
    // "*.*" is every name, dotted or not.
    EXPECT_TRUE(matchesPattern("README", "*.*"));
    EXPECT_FALSE(matchesPattern("README", "*.?*"));
    EXPECT_TRUE(matchesPattern("dot 12.jpg", "dot ??.jpg"));
    EXPECT_FALSE(matchesPattern("dot 1.jpg", "dot ??.jpg"));
    EXPECT_TRUE(matchesPattern("abcabcabd", "*abd"));
    EXPECT_TRUE(matchesPattern("aXbXc", "a*b*c"));
    EXPECT_FALSE(matchesPattern("aXbXd", "a*b*c"));
    // Letters beyond ASCII compare as bytes.
    EXPECT_TRUE(matchesPattern("\xC4pfel.sa9", "\xC4*.SA9"));
    EXPECT_FALSE(matchesPattern("\xE4pfel.sa9", "\xC4*.sa9"));
    // A pathological pattern ends quickly.
    EXPECT_FALSE(matchesPattern(std::string(5000, 'a'), std::string(200, '*') + "b"));
}

TEST(FolderListing, OrderIsCaseBlindWithTiesByBytes) {
    EXPECT_TRUE(nameLess("apple", "Banana"));
    EXPECT_TRUE(nameLess("Apple", "banana"));
    EXPECT_TRUE(nameLess("dot", "dot 1"));
    EXPECT_TRUE(nameLess("B", "b"));
    EXPECT_FALSE(nameLess("b", "B"));
    EXPECT_FALSE(nameLess("same", "same"));
    // Case is folded to lower case: 'z' (0x7A) comes after '_' (0x5F).
    EXPECT_TRUE(nameLess("_", "Z"));
    EXPECT_FALSE(nameLess("Z", "_"));
}

TEST(FolderListing, ListsMatchingFilesSortedAndSkipsFolders) {
    ScratchFolder scratch;
    for (const char* name : {"zeta.sa9", "Alpha.SA9", "beta.sa9", "notes.txt", "gamma.sa9.bak",
                             "Beta2.Sa9", "noextension"}) {
        scratch.write(name, "x");
    }
    ASSERT_EQ(createFolder(scratch.file("folder.sa9").c_str()), kFileOk);

    Names names = {"stale"};
    ASSERT_EQ(listFiles(scratch.folder().c_str(), "*.sa9", names), kFileOk);
    EXPECT_EQ(names, (Names{"Alpha.SA9", "beta.sa9", "Beta2.Sa9", "zeta.sa9"}));

    // The folder path may end with a separator.
    const std::string withSeparator = scratch.folder() + kPathSeparator;
    ASSERT_EQ(listFiles(withSeparator.c_str(), "*.*", names), kFileOk);
    EXPECT_EQ(names, (Names{"Alpha.SA9", "beta.sa9", "Beta2.Sa9", "gamma.sa9.bak", "noextension",
                            "notes.txt", "zeta.sa9"}));

    ASSERT_EQ(listFiles(scratch.folder().c_str(), "*.psd", names), kFileOk);
    EXPECT_TRUE(names.empty());
}

TEST(FolderListing, EntriesCarryFolderAndReadOnlyFlags) {
    ScratchFolder scratch;
    scratch.write("writable q9q.sa9", "x");
    scratch.write("locked q9q.sa9", "x");
    ASSERT_EQ(createFolder(scratch.file("sub q9q").c_str()), kFileOk);
    std::filesystem::permissions(scratch.file("locked q9q.sa9"),
                                 std::filesystem::perms::owner_write |
                                     std::filesystem::perms::group_write |
                                     std::filesystem::perms::others_write,
                                 std::filesystem::perm_options::remove);

    std::vector<FolderEntry> entries;
    ASSERT_EQ(listFolder(scratch.folder().c_str(), entries), kFileOk);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].name, "locked q9q.sa9");
    EXPECT_FALSE(entries[0].isFolder);
    // The flag tells what the user may do, and root may write anywhere.
    bool privileged = false;
#ifndef _WIN32
    privileged = ::geteuid() == 0;
#endif
    EXPECT_EQ(entries[0].isReadOnly, !privileged);
    EXPECT_EQ(entries[1].name, "sub q9q");
    EXPECT_TRUE(entries[1].isFolder);
    EXPECT_EQ(entries[2].name, "writable q9q.sa9");
    EXPECT_FALSE(entries[2].isFolder);
    EXPECT_FALSE(entries[2].isReadOnly);

    // Lets the scratch folder be removed on every system.
    std::filesystem::permissions(scratch.file("locked q9q.sa9"),
                                 std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add);
}

TEST(FolderListing, EmptyAndMissingFolders) {
    ScratchFolder scratch;
    std::vector<FolderEntry> entries(2);
    EXPECT_EQ(listFolder(scratch.folder().c_str(), entries), kFileOk);
    EXPECT_TRUE(entries.empty());

    Names names = {"stale"};
    EXPECT_EQ(listFiles(scratch.file("missing").c_str(), "*.sa9", names), kFileCannotOpen);
    EXPECT_TRUE(names.empty());
    scratch.write("plain", "x");
    EXPECT_EQ(listFolder(scratch.file("plain").c_str(), entries), kFileCannotOpen);
    EXPECT_EQ(listFolder("", entries), kFileCannotOpen);
    EXPECT_EQ(listFolder(nullptr, entries), kFileCannotOpen);
}

#ifndef _WIN32
TEST(FolderListing, LinksCountAsWhatTheyPointAtAndDanglingOnesAreLeftOut) {
    ScratchFolder scratch;
    scratch.write("real.sa9", "x");
    ASSERT_EQ(createFolder(scratch.file("dir").c_str()), kFileOk);
    ASSERT_EQ(::symlink(scratch.file("real.sa9").c_str(), scratch.file("link.sa9").c_str()), 0);
    ASSERT_EQ(::symlink(scratch.file("dir").c_str(), scratch.file("dirlink.sa9").c_str()), 0);
    ASSERT_EQ(::symlink(scratch.file("gone").c_str(), scratch.file("dangling.sa9").c_str()), 0);
    Names names;
    ASSERT_EQ(listFiles(scratch.folder().c_str(), "*.sa9", names), kFileOk);
    EXPECT_EQ(names, (Names{"link.sa9", "real.sa9"}));
}
#endif
