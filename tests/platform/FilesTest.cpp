// Files and folders with real files: names with blanks, apostrophes and Chinese characters,
// read-only entries, another file system.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDate>
#include <QDir>
#include <QTime>
#include <functional>

#include "platform/Diagnostics.h"
#include "platform/Platform.h"
#include "tests/support/TestMedia.h"

namespace {

using testsupport::TempDir;

bool put(const std::string& path, const std::string& text) {
    return platform::writeFile(path, text);
}
std::string get(const std::string& path) {
    return platform::readFile(path).value_or("<missing>");
}

// Every entry of a folder, hidden ones included.
QStringList allEntries(const std::string& dir) {
    return QDir(QString::fromStdString(dir))
        .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                   QDir::Name);
}

TEST(MoveFileNoReplace, MovesWithinAFileSystemAndNeverReplaces) {
    TempDir tmp;
    const std::string a = tmp.str() + "/素材 it's a.mp4", b = tmp.str() + "/已用 it's b.mp4";
    ASSERT_TRUE(put(a, "A"));
    EXPECT_TRUE(platform::moveFileNoReplace(a, b));
    EXPECT_FALSE(platform::pathExists(a));
    EXPECT_EQ(get(b), "A");

    const std::string c = tmp.str() + "/c d.mp4";
    ASSERT_TRUE(put(c, "C"));
    EXPECT_FALSE(platform::moveFileNoReplace(c, b));
    EXPECT_EQ(get(b), "A");
    EXPECT_EQ(get(c), "C");
    EXPECT_FALSE(platform::moveFileNoReplace(tmp.str() + "/missing", tmp.str() + "/x"));
    EXPECT_FALSE(platform::moveFileNoReplace(c, tmp.str() + "/no folder/c.mp4"));
    EXPECT_EQ(get(c), "C");

    // Folders move as a whole.
    const std::string dir = tmp.sub("文件夹 one", true).toStdString();
    ASSERT_TRUE(put(dir + "/f", "F"));
    EXPECT_TRUE(platform::moveFileNoReplace(dir, tmp.str() + "/文件夹 two"));
    EXPECT_EQ(get(tmp.str() + "/文件夹 two/f"), "F");
}

TEST(MoveFileNoReplace, CopiesAcrossFileSystems) {
    struct stat tmpStat {
    }, shmStat{};
    TempDir tmp;
    if (::stat(tmp.str().c_str(), &tmpStat) != 0 || ::stat("/dev/shm", &shmStat) != 0 ||
        tmpStat.st_dev == shmStat.st_dev || ::access("/dev/shm", W_OK) != 0)
        GTEST_SKIP() << "no second writable file system (/dev/shm) on this machine";
    const std::string other = "/dev/shm/sw-move-" + std::to_string(::getpid());
    ASSERT_TRUE(platform::makeSurePathExists(other));
    const std::string from = tmp.str() + "/跨 it's.mp3", to = other + "/跨 it's.mp3";
    const std::string content(300000, 'x');
    ASSERT_TRUE(put(from, content));
    ASSERT_EQ(::chmod(from.c_str(), 0640), 0);
    EXPECT_TRUE(platform::moveFileNoReplace(from, to));
    EXPECT_FALSE(platform::pathExists(from));
    EXPECT_EQ(get(to), content);
    struct stat st {};
    ASSERT_EQ(::stat(to.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);

    ASSERT_TRUE(put(from, "new"));
    EXPECT_FALSE(platform::moveFileNoReplace(from, to));
    EXPECT_EQ(get(from), "new");
    EXPECT_EQ(get(to), content);
    EXPECT_TRUE(platform::deleteTree(other));
}

TEST(CopyFileReplace, ReplacesThroughATemporaryNameAndLeavesNothingBehind) {
    TempDir tmp;
    const std::string from = tmp.str() + "/Vidforge.dll",
                      to = tmp.str() + "/目标 it's/Vidforge.exe";
    ASSERT_TRUE(put(from, "program"));
    ASSERT_TRUE(platform::makeSurePathExists(tmp.str() + "/目标 it's"));
    EXPECT_TRUE(platform::copyFileReplace(from, to));
    EXPECT_EQ(get(to), "program");
    ASSERT_TRUE(put(from, "newer program"));
    EXPECT_TRUE(platform::copyFileReplace(from, to));
    EXPECT_EQ(get(to), "newer program");
    EXPECT_EQ(get(from), "newer program");
    EXPECT_EQ(allEntries(tmp.str() + "/目标 it's"), QStringList{"Vidforge.exe"});

    EXPECT_FALSE(platform::copyFileReplace(tmp.str() + "/missing", to));
    EXPECT_EQ(get(to), "newer program");
    EXPECT_FALSE(platform::copyFileReplace(from, tmp.str() + "/no folder/x"));
    EXPECT_FALSE(platform::copyFileReplace(tmp.str(), tmp.str() + "/folder copy"));
    EXPECT_EQ(allEntries(tmp.str() + "/目标 it's"), QStringList{"Vidforge.exe"});
}

TEST(ListFiles, VisibleRegularFilesSortedByName) {
    TempDir tmp;
    const std::string d = tmp.str();
    for (const char* name : {"b clip.mp4", "a'1.MP4", "中文.mp4", ".hidden.mp4", "A.avi"})
        ASSERT_TRUE(put(d + "/" + name, "x"));
    ASSERT_TRUE(platform::makeSurePathExists(d + "/sub.mp4"));
    ASSERT_EQ(::symlink((d + "/A.avi").c_str(), (d + "/link.mp4").c_str()), 0);
    ASSERT_EQ(::symlink((d + "/sub.mp4").c_str(), (d + "/dirlink.mp4").c_str()), 0);
    const auto files = platform::listFiles(d);
    ASSERT_TRUE(files.has_value());
    EXPECT_EQ(*files,
              (std::vector<std::string>{"A.avi", "a'1.MP4", "b clip.mp4", "link.mp4", "中文.mp4"}));
    EXPECT_EQ(platform::listFiles(d + "/sub.mp4"), std::vector<std::string>{});
    EXPECT_FALSE(platform::listFiles(d + "/missing").has_value());
    EXPECT_FALSE(platform::listFiles(d + "/A.avi").has_value());
    EXPECT_FALSE(platform::listFiles("").has_value());
}

TEST(DeleteTree, RemovesReadOnlyFilesAndFoldersSilently) {
    TempDir tmp;
    const std::string root = tmp.str() + "/Tmps";
    const std::string outside = tmp.str() + "/keep";
    ASSERT_TRUE(platform::makeSurePathExists(outside));
    ASSERT_TRUE(put(outside + "/precious.mp4", "keep me"));
    ::chmod(outside.c_str(), 0777);
    ::chmod((outside + "/precious.mp4").c_str(), 0666);
    const bool ok = testsupport::asOrdinaryUser(tmp.str(), [&] {
        bool made = platform::makeSurePathExists(root + "/只读 sub's/deeper") &&
                    put(root + "/0.mp4", "0") && put(root + "/List.txt", "l") &&
                    put(root + "/只读 sub's/a.mp3", "a") &&
                    put(root + "/只读 sub's/deeper/x", "x") &&
                    ::symlink(outside.c_str(), (root + "/link to keep").c_str()) == 0;
        made = made && ::chmod((root + "/0.mp4").c_str(), 0444) == 0 &&
               ::chmod((root + "/只读 sub's/deeper/x").c_str(), 0444) == 0 &&
               ::chmod((root + "/只读 sub's/deeper").c_str(), 0555) == 0 &&
               ::chmod((root + "/只读 sub's").c_str(), 0500) == 0 &&
               ::chmod(root.c_str(), 0555) == 0;
        // The read-only rights are real for this user: a plain removal fails.
        made = made && ::unlink((root + "/0.mp4").c_str()) != 0;
        return made && platform::deleteTree(root) && !platform::pathExists(root);
    });
    EXPECT_TRUE(ok);
    EXPECT_FALSE(platform::pathExists(root));
    EXPECT_EQ(get(outside + "/precious.mp4"), "keep me");  // links are removed, not followed

    EXPECT_FALSE(platform::deleteTree(tmp.str() + "/missing"));
    // Names that would reach beyond the named folder are refused.
    const std::string inner = tmp.sub("a/b", true).toStdString();
    EXPECT_FALSE(platform::deleteTree(inner + "/.."));
    EXPECT_FALSE(platform::deleteTree(inner + "/."));
    EXPECT_TRUE(platform::dirExists(inner));
    ASSERT_TRUE(put(tmp.str() + "/single file", "s"));
    EXPECT_TRUE(platform::deleteTree(tmp.str() + "/single file"));
    EXPECT_FALSE(platform::pathExists(tmp.str() + "/single file"));
}

TEST(FileBasics, CreateAppendReadWriteDelete) {
    TempDir tmp;
    const std::string d = tmp.str() + "/a b/中/c'd";
    EXPECT_TRUE(platform::makeSurePathExists(d));
    EXPECT_TRUE(platform::makeSurePathExists(d));
    EXPECT_TRUE(platform::dirExists(d));
    const std::string list = d + "/CompList.txt";
    EXPECT_FALSE(platform::readFile(list).has_value());
    EXPECT_EQ(platform::fileSize(list), 0);
    EXPECT_TRUE(platform::appendToFile(list, "/o/000000.mp4\r\n"));
    EXPECT_TRUE(platform::appendToFile(list, "/o/000001.mp4\r\n"));
    EXPECT_EQ(get(list), "/o/000000.mp4\r\n/o/000001.mp4\r\n");
    EXPECT_EQ(platform::fileSize(list), 30);
    EXPECT_TRUE(platform::writeFile(list, "short"));
    EXPECT_EQ(get(list), "short");
    EXPECT_TRUE(platform::fileExists(list));
    EXPECT_FALSE(platform::fileExists(d));
    EXPECT_TRUE(platform::pathExists(d));
    EXPECT_FALSE(platform::dirExists(list));
    EXPECT_FALSE(platform::makeSurePathExists(list + "/below a file"));
    EXPECT_FALSE(platform::readFile(d).has_value());
    EXPECT_FALSE(platform::deleteFile(d));
    EXPECT_TRUE(platform::deleteFile(list));
    EXPECT_FALSE(platform::deleteFile(list));
    EXPECT_FALSE(platform::appendToFile(d + "/missing/x", "y"));
}

TEST(Environment, ProgramFolderClockAndDate) {
    char buf[4096] = {};
    ASSERT_GT(::readlink("/proc/self/exe", buf, sizeof buf - 1), 0);
    const std::string exe(buf);
    EXPECT_EQ(platform::programFolder(), exe.substr(0, exe.rfind('/')));
    EXPECT_EQ(platform::sepStr(), "/");

    const double now = platform::secondsSinceMidnight();
    const double qtNow = QTime::currentTime().msecsSinceStartOfDay() / 1000.0;
    EXPECT_GE(now, 0.0);
    EXPECT_LT(now, 86400.0);
    if (qtNow > 1 && qtNow < 86399) {
        EXPECT_NEAR(now, qtNow, 1.0);
    }
    const auto d = platform::today();
    const QDate q = QDate::currentDate();
    if (qtNow > 1 && qtNow < 86399) {
        EXPECT_EQ(d.year, q.year());
        EXPECT_EQ(d.month, q.month());
        EXPECT_EQ(d.day, q.day());
    }
}

}  // namespace

namespace {

TEST(FileFacts, ChangeAgeFreeSpaceCanonicalPathAndWritableFolder) {
    TempDir tmp;
    const std::string file = tmp.str() + "/新 clip.mp4";
    EXPECT_FALSE(platform::secondsSinceChange(file));
    ASSERT_TRUE(put(file, "x"));
    const auto fresh = platform::secondsSinceChange(file);
    ASSERT_TRUE(fresh);
    EXPECT_LT(*fresh, 60.0);
    // A modification time set back (as a copying program does) does not make it old.
    const timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), old, 0), 0);
    EXPECT_LT(*platform::secondsSinceChange(file), 60.0);

    const auto free = platform::freeSpace(tmp.str());
    ASSERT_TRUE(free);
    EXPECT_GT(*free, 0);
    EXPECT_FALSE(platform::freeSpace(tmp.str() + "/none"));

    const std::string real = tmp.sub("真 dir", true).toStdString();
    ASSERT_EQ(::symlink(real.c_str(), (tmp.str() + "/link").c_str()), 0);
    const std::string canonicalReal = platform::canonicalPath(real);
    EXPECT_EQ(platform::canonicalPath(tmp.str() + "/link/"), canonicalReal);
    EXPECT_EQ(platform::canonicalPath(real + "/../真 dir/./"), canonicalReal);
    EXPECT_EQ(platform::canonicalPath(tmp.str() + "/link/Tmps/sub"), canonicalReal + "/Tmps/sub");
    EXPECT_EQ(platform::canonicalPath(""), "");

    EXPECT_TRUE(platform::folderWritable(real));
    EXPECT_FALSE(platform::folderWritable(real + "/none"));
    EXPECT_TRUE(allEntries(real).isEmpty());
    ASSERT_EQ(::chmod(real.c_str(), 0555), 0);
    EXPECT_TRUE(
        testsupport::asOrdinaryUser(tmp.str(), [&] { return !platform::folderWritable(real); }));
    ::chmod(real.c_str(), 0755);
}

// On a full file system a copy fails, leaves the target as it was and nothing else behind, and
// gives every block back.
TEST(CopyFileReplace, FailsCleanlyOnAFullFileSystem) {
    testsupport::SmallFileSystem small(1 << 20);
    if (small.path().empty()) GTEST_SKIP() << small.whyNot();
    TempDir tmp;
    const std::string source = tmp.str() + "/big.mp4", target = small.path() + "/000000.mp4";
    ASSERT_TRUE(put(source, std::string(600000, 'n')));
    ASSERT_TRUE(put(target, "old video"));
    const std::int64_t before = platform::freeSpace(small.path()).value_or(-1);
    ASSERT_TRUE(platform::copyFileReplace(source, small.path() + "/first.mp4"));
    EXPECT_FALSE(platform::copyFileReplace(source, target));
    EXPECT_EQ(get(target), "old video");
    EXPECT_EQ(allEntries(small.path()), (QStringList{"000000.mp4", "first.mp4"}));
    ASSERT_TRUE(platform::deleteFile(small.path() + "/first.mp4"));
    // Blocks of a failed copy held by a leaked descriptor would stay taken.
    EXPECT_EQ(platform::freeSpace(small.path()).value_or(-2), before);
    EXPECT_FALSE(platform::folderWritable(small.path()) && testsupport::fillUp(small.path()) &&
                 platform::folderWritable(small.path()));
}

// A failure a developer would need to know about leaves a note with its reason; the expected
// refusals (nothing to move, the target taken) leave none.
std::vector<std::string> g_notes;
void keepNote(diag::Area area, const std::string& message) {
    if (area == diag::Area::Files) g_notes.push_back(message);
}

TEST(FileDiagnostics, UnexpectedFailuresAreNotedWithTheirReason) {
    TempDir tmp;
    const std::string file = tmp.str() + "/a file", taken = tmp.str() + "/taken";
    ASSERT_TRUE(put(file, "x") && put(taken, "y"));
    diag::setSink(keepNote);
    g_notes.clear();
    EXPECT_FALSE(platform::moveFileNoReplace(tmp.str() + "/missing", tmp.str() + "/b"));
    EXPECT_FALSE(platform::moveFileNoReplace(file, taken));
    EXPECT_TRUE(g_notes.empty()) << g_notes.front();
    EXPECT_FALSE(platform::makeSurePathExists(file + "/below"));
    EXPECT_FALSE(platform::copyFileReplace(file, file + "/below/copy"));
    diag::setSink(nullptr);
    ASSERT_EQ(g_notes.size(), 2u);
    EXPECT_NE(g_notes[0].find(file + "/below"), std::string::npos) << g_notes[0];
    EXPECT_NE(g_notes[1].find("Not a directory"), std::string::npos) << g_notes[1];
}

}  // namespace
