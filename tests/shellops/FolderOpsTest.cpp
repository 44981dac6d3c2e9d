// RunShellFileOperation on real folders: silent deletes of read-only trees, moves, copies and
// renames, and the failures that must stay contained.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

#include "platform/Platform.h"
#include "shell/FolderOps.h"
#include "tests/support/TestMedia.h"

namespace {

using testsupport::TempDir;

std::string get(const std::string& path) {
    return platform::readFile(path).value_or("<missing>");
}

TEST(RunShellFileOperation, DeleteRemovesAReadOnlyWorkFolderWithoutAsking) {
    TempDir tmp;
    const std::string tmps = tmp.str() + "/程序 it's/Tmps";
    const bool ok = testsupport::asOrdinaryUser(tmp.str(), [&] {
        bool made = platform::makeSurePathExists(tmps + "/sub 中/inner") &&
                    platform::writeFile(tmps + "/0.mp4", "0") &&
                    platform::writeFile(tmps + "/a.mp3", "a") &&
                    platform::writeFile(tmps + "/sub 中/List.txt", "l") &&
                    platform::writeFile(tmps + "/sub 中/inner/x", "x");
        made = made && ::chmod((tmps + "/0.mp4").c_str(), 0444) == 0 &&
               ::chmod((tmps + "/sub 中/inner/x").c_str(), 0444) == 0 &&
               ::chmod((tmps + "/sub 中/inner").c_str(), 0555) == 0 &&
               ::chmod((tmps + "/sub 中").c_str(), 0555) == 0;
        return made && FolderOps::RunShellFileOperation(tmps, "", FolderOps::FileOp::Delete) &&
               !platform::pathExists(tmps) && platform::dirExists(tmp.str() + "/程序 it's");
    });
    EXPECT_TRUE(ok);
    EXPECT_FALSE(platform::pathExists(tmps));
}

TEST(RunShellFileOperation, FailuresAreContained) {
    TempDir tmp;
    const std::string dir = tmp.sub("d", true).toStdString();
    ASSERT_TRUE(platform::writeFile(dir + "/f", "f"));
    EXPECT_FALSE(FolderOps::RunShellFileOperation(tmp.str() + "/missing", "", "3"));
    EXPECT_FALSE(FolderOps::RunShellFileOperation("", "", "3"));
    for (const char* code : {"", "x", "3x", "三", "0", "5", "-3", "99999999999"})
        EXPECT_FALSE(FolderOps::RunShellFileOperation(dir, "", code)) << code;
    EXPECT_EQ(get(dir + "/f"), "f");
    // Blanks around the number are allowed, as a numeric conversion allows them.
    EXPECT_TRUE(FolderOps::RunShellFileOperation(dir, "", " 3 "));
    EXPECT_FALSE(platform::pathExists(dir));
}

TEST(RunShellFileOperation, MoveCopyAndRename) {
    TempDir tmp;
    const std::string src = tmp.str() + "/源 it's";
    ASSERT_TRUE(platform::makeSurePathExists(src + "/sub"));
    ASSERT_TRUE(platform::writeFile(src + "/a.mp4", "A"));
    ASSERT_TRUE(platform::writeFile(src + "/sub/b.mp4", "B"));
    const std::string dest = tmp.sub("目标", true).toStdString();

    // Copy into an existing folder, whole tree; the source stays.
    EXPECT_TRUE(FolderOps::RunShellFileOperation(src, dest, "2"));
    EXPECT_EQ(get(dest + "/源 it's/sub/b.mp4"), "B");
    EXPECT_EQ(get(src + "/a.mp4"), "A");
    // A file copied over an existing copy replaces it.
    ASSERT_TRUE(platform::writeFile(src + "/a.mp4", "A2"));
    EXPECT_TRUE(FolderOps::RunShellFileOperation(src + "/a.mp4", dest + "/源 it's/a.mp4", "2"));
    EXPECT_EQ(get(dest + "/源 it's/a.mp4"), "A2");

    // Rename within the folder by a bare name; never over an existing entry.
    EXPECT_TRUE(FolderOps::RunShellFileOperation(src + "/a.mp4", "renamed a.mp4", "4"));
    EXPECT_EQ(get(src + "/renamed a.mp4"), "A2");
    ASSERT_TRUE(platform::writeFile(src + "/other.mp4", "O"));
    EXPECT_FALSE(FolderOps::RunShellFileOperation(src + "/other.mp4", "renamed a.mp4", "4"));
    EXPECT_EQ(get(src + "/renamed a.mp4"), "A2");

    // Move into a folder; a move never replaces what is there.
    const std::string moved = tmp.sub("moved", true).toStdString();
    EXPECT_TRUE(FolderOps::RunShellFileOperation(src, moved, "1"));
    EXPECT_FALSE(platform::pathExists(src));
    EXPECT_EQ(get(moved + "/源 it's/renamed a.mp4"), "A2");
    ASSERT_TRUE(platform::writeFile(tmp.str() + "/renamed a.mp4", "new"));
    EXPECT_FALSE(
        FolderOps::RunShellFileOperation(tmp.str() + "/renamed a.mp4", moved + "/源 it's", "1"));
    EXPECT_EQ(get(moved + "/源 it's/renamed a.mp4"), "A2");
    EXPECT_EQ(get(tmp.str() + "/renamed a.mp4"), "new");
    // Move, copy and rename need a destination.
    for (const char* code : {"1", "2", "4"})
        EXPECT_FALSE(FolderOps::RunShellFileOperation(tmp.str() + "/renamed a.mp4", "", code));
}

}  // namespace
