// The folder operations and the terminator on Windows: silent deletes of read-only trees through
// the shell, moves, copies and renames, and ending exactly one process of a name.

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <set>

#include "platform/Platform.h"
#include "platform/win32/CodePage.h"
#include "shell/FolderOps.h"
#include "shell/ShutDownP.h"
#include "tests/win32/WinTestSupport.h"

namespace {

using wintest::TempDir;

std::string get(const std::string& path) {
    return platform::readFile(path).value_or("<missing>");
}
bool markReadOnly(const std::string& path) {
    const auto p = platform::win32::toCodePage(path);
    return p && ::SetFileAttributesA(p->c_str(), FILE_ATTRIBUTE_READONLY);
}

TEST(RunShellFileOperation, DeleteRemovesAReadOnlyWorkFolderWithoutAsking) {
    WINTEST_NEEDS_GBK();
    TempDir tmp;
    const std::string tmps = tmp.str() + "\\程序 it's\\Tmps";
    ASSERT_TRUE(platform::makeSurePathExists(tmps + "\\sub 中\\inner"));
    for (const char* f : {"\\0.mp4", "\\a.mp3", "\\sub 中\\List.txt", "\\sub 中\\inner\\x"})
        ASSERT_TRUE(platform::writeFile(tmps + f, "x"));
    for (const char* f : {"\\0.mp4", "\\sub 中\\inner\\x", "\\sub 中\\inner", "\\sub 中"})
        ASSERT_TRUE(markReadOnly(tmps + f)) << f;
    EXPECT_TRUE(FolderOps::RunShellFileOperation(tmps, "", "3"));
    EXPECT_FALSE(platform::pathExists(tmps));
    EXPECT_TRUE(platform::dirExists(tmp.str() + "\\程序 it's"));
}

TEST(RunShellFileOperation, FailuresAreContained) {
    TempDir tmp;
    const std::string dir = tmp.sub("d", true);
    ASSERT_TRUE(platform::writeFile(dir + "\\f", "f"));
    EXPECT_FALSE(FolderOps::RunShellFileOperation(tmp.str() + "\\missing", "", "3"));
    EXPECT_FALSE(FolderOps::RunShellFileOperation("", "", "3"));
    for (const char* code : {"", "x", "3x", "三", "0", "5", "-3", "99999999999"})
        EXPECT_FALSE(FolderOps::RunShellFileOperation(dir, "", code)) << code;
    EXPECT_EQ(get(dir + "\\f"), "f");
    EXPECT_TRUE(FolderOps::RunShellFileOperation(dir, "", " 3 "));
    EXPECT_FALSE(platform::pathExists(dir));
}

TEST(RunShellFileOperation, MoveCopyAndRename) {
    WINTEST_NEEDS_GBK();
    TempDir tmp;
    const std::string src = tmp.str() + "\\源 it's";
    ASSERT_TRUE(platform::makeSurePathExists(src + "\\sub"));
    ASSERT_TRUE(platform::writeFile(src + "\\a.mp4", "A"));
    ASSERT_TRUE(platform::writeFile(src + "\\sub\\b.mp4", "B"));
    const std::string dest = tmp.sub("目标", true);
    EXPECT_TRUE(FolderOps::RunShellFileOperation(src, dest, "2"));
    EXPECT_EQ(get(dest + "\\源 it's\\sub\\b.mp4"), "B");
    EXPECT_EQ(get(src + "\\a.mp4"), "A");
    ASSERT_TRUE(platform::writeFile(src + "\\a.mp4", "A2"));
    EXPECT_TRUE(FolderOps::RunShellFileOperation(src + "\\a.mp4", dest + "\\源 it's\\a.mp4", "2"));
    EXPECT_EQ(get(dest + "\\源 it's\\a.mp4"), "A2");

    EXPECT_TRUE(FolderOps::RunShellFileOperation(src + "\\a.mp4", "renamed a.mp4", "4"));
    EXPECT_EQ(get(src + "\\renamed a.mp4"), "A2");
    ASSERT_TRUE(platform::writeFile(src + "\\other.mp4", "O"));
    EXPECT_FALSE(FolderOps::RunShellFileOperation(src + "\\other.mp4", "renamed a.mp4", "4"));
    EXPECT_EQ(get(src + "\\renamed a.mp4"), "A2");

    const std::string moved = tmp.sub("moved", true);
    EXPECT_TRUE(FolderOps::RunShellFileOperation(src, moved, "1"));
    EXPECT_FALSE(platform::pathExists(src));
    EXPECT_EQ(get(moved + "\\源 it's\\renamed a.mp4"), "A2");
    ASSERT_TRUE(platform::writeFile(tmp.str() + "\\renamed a.mp4", "new"));
    EXPECT_FALSE(
        FolderOps::RunShellFileOperation(tmp.str() + "\\renamed a.mp4", moved + "\\源 it's", "1"));
    EXPECT_EQ(get(moved + "\\源 it's\\renamed a.mp4"), "A2");
    EXPECT_EQ(get(tmp.str() + "\\renamed a.mp4"), "new");
}

TEST(TerminateProcessByName, EndsExactlyOneOfTwoAndNeverTheCaller) {
    TempDir tmp;
    ASSERT_TRUE(wintest::pidsNamed("Vidforge.exe").empty());
    const std::string exe =
        wintest::stageCopy(wintest::builtHelper("sw_win_sleeper.exe"), tmp.str(), "Vidforge.exe");
    ASSERT_FALSE(exe.empty());
    ASSERT_EQ(platform::shellExecute(exe, "", tmp.str(), true), 42);
    ASSERT_EQ(platform::shellExecute(exe, "", tmp.str(), true), 42);
    std::vector<int> both;
    for (int i = 0; i < 12000 && both.size() < 2; ++i, ::Sleep(5))
        both = wintest::pidsNamed("Vidforge.exe");
    ASSERT_EQ(both.size(), 2u);

    EXPECT_EQ(ShutDownP::TerminateProcessByName("VIDFORGE.EXE"), 1);
    // The first in list order went; the other runs on.
    EXPECT_TRUE(wintest::waitForExit(both[0]));
    EXPECT_EQ(wintest::pidsNamed("Vidforge.exe"), std::vector<int>{both[1]});
    EXPECT_EQ(ShutDownP::TerminateProcessByName("vidforge.exe"), 1);
    EXPECT_TRUE(wintest::waitForExit(both[1]));
    EXPECT_TRUE(wintest::pidsNamed("Vidforge.exe").empty());
    EXPECT_EQ(ShutDownP::TerminateProcessByName("Vidforge.exe"), 0);
    EXPECT_EQ(ShutDownP::TerminateProcessByName("Vidforge"), 0);
    EXPECT_EQ(ShutDownP::TerminateProcessByName(""), 0);

    const std::string self = platform::processName(platform::currentProcessId());
    ASSERT_FALSE(self.empty());
    EXPECT_EQ(ShutDownP::TerminateProcessByName(self), 0);
    EXPECT_EQ(wintest::pidsNamed(self), std::vector<int>{platform::currentProcessId()});
}

}  // namespace
