// Files and folders through the Windows calls, with real files: names with blanks, apostrophes
// and Chinese characters, read-only, hidden and system entries, names the code page cannot carry.

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <iostream>
#include <thread>

#include "platform/Platform.h"
#include "platform/win32/CodePage.h"
#include "tests/win32/WinTestSupport.h"

namespace {

using wintest::allEntries;
using wintest::TempDir;
using Names = std::vector<std::string>;

bool put(const std::string& path, const std::string& text) {
    return platform::writeFile(path, text);
}
std::string get(const std::string& path) {
    return platform::readFile(path).value_or("<missing>");
}
// The path as the A calls take it.
std::string ansi(const std::string& path) {
    return platform::win32::toCodePage(path).value_or("");
}
bool mark(const std::string& path, DWORD attributes) {
    return ::SetFileAttributesA(ansi(path).c_str(), attributes) != FALSE;
}

TEST(MoveFileNoReplace, MovesAndNeverReplaces) {
    WINTEST_NEEDS_GBK();
    TempDir tmp;
    const std::string a = tmp.str() + "\\素材 it's a.mp4", b = tmp.str() + "\\已用 it's b.mp4";
    ASSERT_TRUE(put(a, "A"));
    EXPECT_TRUE(platform::moveFileNoReplace(a, b));
    EXPECT_FALSE(platform::pathExists(a));
    EXPECT_EQ(get(b), "A");
    const std::string c = tmp.str() + "\\c d.mp4";
    ASSERT_TRUE(put(c, "C"));
    EXPECT_FALSE(platform::moveFileNoReplace(c, b));
    EXPECT_EQ(get(b), "A");
    EXPECT_EQ(get(c), "C");
    EXPECT_FALSE(platform::moveFileNoReplace(tmp.str() + "\\missing", tmp.str() + "\\x"));
    EXPECT_FALSE(platform::moveFileNoReplace(c, tmp.str() + "\\no folder\\c.mp4"));
    EXPECT_EQ(get(c), "C");
    // Folders move whole.
    const std::string dir = tmp.sub("文件夹 one", true);
    ASSERT_TRUE(put(dir + "\\f", "F"));
    EXPECT_TRUE(platform::moveFileNoReplace(dir, tmp.str() + "\\文件夹 two"));
    EXPECT_EQ(get(tmp.str() + "\\文件夹 two\\f"), "F");
}

TEST(CopyFileReplace, ReplacesThroughATemporaryNameAndLeavesNothingBehind) {
    WINTEST_NEEDS_GBK();
    TempDir tmp;
    const std::string from = tmp.str() + "\\Vidforge.dll", folder = tmp.sub("目标 it's", true);
    const std::string to = folder + "\\Vidforge.exe";
    ASSERT_TRUE(put(from, "program"));
    EXPECT_TRUE(platform::copyFileReplace(from, to));
    EXPECT_EQ(get(to), "program");
    // A read-only copy is replaced as well, and the copy is not left hidden.
    ASSERT_TRUE(mark(to, FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(put(from, "newer program"));
    EXPECT_TRUE(platform::copyFileReplace(from, to));
    EXPECT_EQ(get(to), "newer program");
    EXPECT_EQ(get(from), "newer program");
    EXPECT_EQ(::GetFileAttributesA(ansi(to).c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);
    EXPECT_EQ(allEntries(folder), Names{"Vidforge.exe"});
    EXPECT_EQ(platform::listFiles(folder), Names{"Vidforge.exe"});

    EXPECT_FALSE(platform::copyFileReplace(tmp.str() + "\\missing", to));
    EXPECT_EQ(get(to), "newer program");
    EXPECT_FALSE(platform::copyFileReplace(from, tmp.str() + "\\no folder\\x"));
    EXPECT_FALSE(platform::copyFileReplace(tmp.str(), tmp.str() + "\\folder copy"));
    EXPECT_EQ(allEntries(folder), Names{"Vidforge.exe"});
}

TEST(ListFiles, VisibleFilesSortedByNameWithoutHiddenOrSystemUncarriedNamesTold) {
    WINTEST_NEEDS_GBK();
    TempDir tmp;
    const std::string d = tmp.str();
    for (const char* name : {"b clip.mp4", "a'1.MP4", "中文.mp4", "hidden.mp4", "system.mp4",
                             "both.mp4", "A.avi", "read only.mp4"})
        ASSERT_TRUE(put(d + "\\" + name, "x"));
    ASSERT_TRUE(mark(d + "\\hidden.mp4", FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(mark(d + "\\system.mp4", FILE_ATTRIBUTE_SYSTEM));
    ASSERT_TRUE(mark(d + "\\both.mp4", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    ASSERT_TRUE(mark(d + "\\read only.mp4", FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(platform::makeSurePathExists(d + "\\sub.mp4"));
    // A name outside GBK: listed, so that the caller can say why it passes it over, and told as
    // one that the A calls cannot name.
    ASSERT_TRUE(wintest::makeFileWide(d + "\\clip 😀.mp4"));
    ASSERT_EQ(allEntries(d).size(), 10u);
    EXPECT_EQ(platform::listFiles(d),
              (Names{"A.avi", "a'1.MP4", "b clip.mp4", "clip 😀.mp4", "read only.mp4", "中文.mp4"}));
    EXPECT_FALSE(platform::systemCarries(d + "\\clip 😀.mp4"));
    EXPECT_TRUE(platform::systemCarries(d + "\\中文.mp4"));
    EXPECT_EQ(platform::toSystemText("file '中文.mp4'\r\n"),
              std::string("file '\xD6\xD0\xCE\xC4.mp4'\r\n"));
    EXPECT_EQ(platform::toSystemText("clip 😀.mp4"), std::nullopt);
    EXPECT_EQ(platform::fromSystemText("\xD6\xD0\xCE\xC4"), std::string("中文"));
    EXPECT_EQ(platform::listFiles(d + "/"), platform::listFiles(d));
    EXPECT_EQ(platform::listFiles(d + "\\sub.mp4"), Names{});
    EXPECT_FALSE(platform::listFiles(d + "\\missing").has_value());
    EXPECT_FALSE(platform::listFiles(d + "\\A.avi").has_value());
    EXPECT_FALSE(platform::listFiles("").has_value());
    EXPECT_FALSE(platform::listFiles(d + "\\😀").has_value());
}

// A folder deleted and made again while it is listed: each listing is either no listing or a
// sorted part of what was there, never a crash or a name that never existed.
TEST(ListFiles, AFolderThatVanishesWhileListedGivesNoListingOrAPart) {
    TempDir tmp;
    const std::string d = tmp.str() + "\\going";
    Names all;
    for (int i = 0; i < 40; ++i) all.push_back("clip " + std::to_string(100 + i) + ".mp4");
    const auto fill = [&] {
        if (!platform::makeSurePathExists(d)) return false;
        for (const auto& n : all)
            if (!put(d + "\\" + n, "x")) return false;
        return true;
    };
    ASSERT_TRUE(fill());
    std::atomic<bool> done{false};
    std::thread churn([&] {
        while (!done) {
            platform::deleteTree(d);
            fill();
        }
    });
    int none = 0, partial = 0;
    for (int i = 0; i < 300; ++i) {
        const auto listed = platform::listFiles(d);
        if (!listed) {
            ++none;
            continue;
        }
        EXPECT_TRUE(std::is_sorted(listed->begin(), listed->end()));
        for (const auto& n : *listed) EXPECT_NE(std::find(all.begin(), all.end(), n), all.end());
        if (listed->size() < all.size()) ++partial;
    }
    done = true;
    churn.join();
    std::cout << "listings without a folder: " << none << ", partial: " << partial << "\n";
}

TEST(DeleteTree, RemovesReadOnlyFilesAndFoldersSilently) {
    WINTEST_NEEDS_GBK();
    TempDir tmp;
    const std::string root = tmp.str() + "\\Tmps", keep = tmp.str() + "\\keep";
    ASSERT_TRUE(platform::makeSurePathExists(root + "\\只读 sub's\\deeper"));
    ASSERT_TRUE(platform::makeSurePathExists(keep));
    ASSERT_TRUE(put(keep + "\\precious.mp4", "keep me"));
    for (const char* f :
         {"\\0.mp4", "\\List.txt", "\\只读 sub's\\a.mp3", "\\只读 sub's\\deeper\\x"})
        ASSERT_TRUE(put(root + f, "x"));
    ASSERT_TRUE(mark(root + "\\0.mp4", FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(mark(root + "\\只读 sub's\\deeper\\x", FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(
        mark(root + "\\只读 sub's\\a.mp3", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(mark(root + "\\只读 sub's", FILE_ATTRIBUTE_READONLY));
    // The read-only mark is real: a plain delete refuses the file.
    ASSERT_FALSE(::DeleteFileA(ansi(root + "\\0.mp4").c_str()));
    EXPECT_TRUE(platform::deleteTree(root));
    EXPECT_FALSE(platform::pathExists(root));
    EXPECT_EQ(get(keep + "\\precious.mp4"), "keep me");

    EXPECT_FALSE(platform::deleteTree(tmp.str() + "\\missing"));
    EXPECT_FALSE(platform::deleteTree(""));
    // Names that would reach beyond the named folder are refused; so are wildcards.
    const std::string inner = tmp.sub("a\\b", true);
    EXPECT_FALSE(platform::deleteTree(inner + "\\.."));
    EXPECT_FALSE(platform::deleteTree(inner + "\\."));
    EXPECT_FALSE(platform::deleteTree(keep + "\\*"));
    EXPECT_FALSE(platform::deleteTree(keep + "\\precious.mp?"));
    EXPECT_TRUE(platform::dirExists(inner));
    EXPECT_EQ(get(keep + "\\precious.mp4"), "keep me");
    // A single file, read-only or not.
    ASSERT_TRUE(mark(keep + "\\precious.mp4", FILE_ATTRIBUTE_READONLY));
    EXPECT_TRUE(platform::deleteTree(keep + "\\precious.mp4"));
    EXPECT_FALSE(platform::pathExists(keep + "\\precious.mp4"));
}

TEST(FileBasics, CreateAppendReadWriteDelete) {
    WINTEST_NEEDS_GBK();
    TempDir tmp;
    const std::string d = tmp.str() + "\\a b\\中/c'd";
    EXPECT_TRUE(platform::makeSurePathExists(d));
    EXPECT_TRUE(platform::makeSurePathExists(d + "\\"));
    EXPECT_TRUE(platform::dirExists(tmp.str() + "\\a b\\中\\c'd"));
    const std::string list = d + "\\CompList.txt";
    EXPECT_FALSE(platform::readFile(list).has_value());
    EXPECT_EQ(platform::fileSize(list), 0);
    EXPECT_TRUE(platform::appendToFile(list, "D:\\o\\000000.mp4\r\n"));
    EXPECT_TRUE(platform::appendToFile(list, "D:\\o\\000001.mp4\r\n"));
    EXPECT_EQ(get(list), "D:\\o\\000000.mp4\r\nD:\\o\\000001.mp4\r\n");
    EXPECT_EQ(platform::fileSize(list), 34);
    EXPECT_TRUE(platform::writeFile(list, "short"));
    EXPECT_EQ(get(list), "short");
    EXPECT_TRUE(platform::fileExists(list));
    EXPECT_FALSE(platform::fileExists(d));
    EXPECT_TRUE(platform::pathExists(d));
    EXPECT_FALSE(platform::dirExists(list));
    EXPECT_EQ(platform::fileSize(d), 0);
    EXPECT_FALSE(platform::makeSurePathExists(list + "\\below a file"));
    EXPECT_FALSE(platform::readFile(d).has_value());
    EXPECT_FALSE(platform::deleteFile(d));
    ASSERT_TRUE(mark(list, FILE_ATTRIBUTE_READONLY));
    EXPECT_TRUE(platform::deleteFile(list));
    EXPECT_FALSE(platform::deleteFile(list));
    EXPECT_FALSE(platform::appendToFile(d + "\\missing\\x", "y"));
}

// Every call refuses a name outside the code page instead of using an altered one.
TEST(UncarriedNames, FailInsteadOfNamingSomethingElse) {
    TempDir tmp;
    const std::string bad = tmp.str() + "\\clip 😀.mp4", good = tmp.str() + "\\good.mp4";
    ASSERT_TRUE(wintest::makeFileWide(bad));
    ASSERT_TRUE(put(good, "g"));
    const Names before = allEntries(tmp.str());
    EXPECT_FALSE(platform::pathExists(bad));
    EXPECT_FALSE(platform::fileExists(bad));
    EXPECT_FALSE(platform::readFile(bad).has_value());
    EXPECT_FALSE(platform::secondsSinceChange(bad).has_value());
    EXPECT_FALSE(platform::deleteFile(bad));
    EXPECT_FALSE(platform::deleteTree(bad));
    EXPECT_FALSE(platform::moveFileNoReplace(bad, tmp.str() + "\\moved.mp4"));
    EXPECT_FALSE(platform::moveFileNoReplace(good, tmp.str() + "\\移 😀.mp4"));
    EXPECT_FALSE(platform::copyFileReplace(good, tmp.str() + "\\copy 😀.mp4"));
    EXPECT_FALSE(platform::writeFile(tmp.str() + "\\new 😀.txt", "n"));
    EXPECT_FALSE(platform::appendToFile(tmp.str() + "\\new 😀.txt", "n"));
    EXPECT_FALSE(platform::makeSurePathExists(tmp.str() + "\\dir 😀"));
    EXPECT_EQ(platform::canonicalPath(bad), "");
    EXPECT_EQ(allEntries(tmp.str()), before);
    EXPECT_EQ(get(good), "g");
}

TEST(FileFacts, ChangeAgeFreeSpaceCanonicalPathAndWritableFolder) {
    WINTEST_NEEDS_GBK();
    TempDir tmp;
    const std::string file = tmp.str() + "\\新 clip.mp4";
    EXPECT_FALSE(platform::secondsSinceChange(file));
    ASSERT_TRUE(put(file, "x"));
    const auto fresh = platform::secondsSinceChange(file);
    ASSERT_TRUE(fresh);
    EXPECT_LT(*fresh, 60.0);
    EXPECT_GT(*fresh, -1.0);
    // A last-write time set back (as a copying program does) does not make it old.
    HANDLE h = ::CreateFileA(ansi(file).c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                             OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    SYSTEMTIME old{2001, 9, 0, 9, 1, 46, 40, 0};
    FILETIME oldTime{};
    ASSERT_TRUE(::SystemTimeToFileTime(&old, &oldTime));
    ASSERT_TRUE(::SetFileTime(h, nullptr, nullptr, &oldTime));
    ::CloseHandle(h);
    EXPECT_LT(*platform::secondsSinceChange(file), 60.0);
    EXPECT_FALSE(platform::secondsSinceChange(tmp.str()));

    for (const std::string& p : {tmp.str(), file}) {
        const auto free = platform::freeSpace(p);
        ASSERT_TRUE(free) << p;
        EXPECT_GT(*free, 0);
    }
    EXPECT_FALSE(platform::freeSpace(tmp.str() + "\\none"));

    const std::string real = tmp.sub("真 dir", true);
    const std::string canonical = platform::canonicalPath(real);
    ASSERT_FALSE(canonical.empty());
    EXPECT_EQ(canonical.find('/'), std::string::npos);
    EXPECT_EQ(platform::canonicalPath(real + "\\..\\真 dir\\.\\"), canonical);
    EXPECT_EQ(platform::canonicalPath(tmp.str() + "/真 dir/"), canonical);
    EXPECT_EQ(platform::canonicalPath(real + "\\Tmps\\sub"), canonical + "\\Tmps\\sub");
    EXPECT_EQ(platform::canonicalPath(""), "");

    EXPECT_TRUE(platform::folderWritable(real));
    EXPECT_FALSE(platform::folderWritable(real + "\\none"));
    EXPECT_FALSE(platform::folderWritable(file));
    EXPECT_TRUE(allEntries(real).empty());
}

}  // namespace
