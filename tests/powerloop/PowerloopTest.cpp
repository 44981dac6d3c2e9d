// The update program in-process: zip and 7z packages replacing and adding files, packages that
// must change nothing (unsafe names and links, not an archive, truncated, corrupt, empty), the
// rollback of a replacement that fails halfway, and the wait for a Stitchwell that does not end.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <sstream>

#include "powerloop/Powerloop.h"
#include "tests/powerloop/Packages.h"
#include "tests/support/TestMedia.h"
#include "tests/update/TestServer.h"

namespace {

using powerloop::runProgram;
using testsupport::TempDir;

class Powerloop : public ::testing::Test {
protected:
    void SetUp() override {
        QDir().mkpath(prog + "/zz");
        write("Stitchwell", "old program", true);
        write("说明.txt", "old notes");
        write("zz/keep.txt", "kept");
    }
    void write(const QString& rel, const QByteArray& bytes, bool executable = false) const {
        ASSERT_TRUE(testsupport::writeText(prog + "/" + rel, bytes));
        if (executable)
            QFile(prog + "/" + rel)
                .setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    int run(const QString& mode = "1") {
        std::ostringstream err;
        powerloop::Options options;
        options.waitSeconds = 0.3;
        options.pollMs = 20;
        options.shellStart = [this](const std::string& file, const std::string& params,
                                    const std::string& dir, bool hidden) {
            started << QString::fromStdString(file + "|" + params + "|" + dir) +
                           (hidden ? "|h" : "");
            return 42;
        };
        const int rc = runProgram(
            (package + "\t" + mode + "\tStitchwell\tStitchwell  发现有更新版本").toStdString(),
            prog, err, options);
        messages = QString::fromStdString(err.str());
        // the outcome record, taken out so that the folder is compared without it
        record = QString::fromUtf8(readAll(prog + "/更新结果.txt"));
        QFile::remove(prog + "/更新结果.txt");
        return rc;
    }
    QString restart() const { return prog + "/Stitchwell||" + prog; }

    TempDir tmp;
    QString parent = tmp.sub("上层 目录", true);
    QString prog = parent + "/程序 目录";
    QString package = prog + "/Stitchwell.rar";
    QStringList started;
    QString messages;
    QString record;  // what the run left for the next Stitchwell start
};

const std::vector<PackageEntry> kUpdate = {
    {"Stitchwell", "new program"},  // 0644 in the package: keeps its executable bit
    {"说明.txt", "new notes"},
    {"新/文件.txt", "added"},
};

TEST_F(Powerloop, ZipAnd7zPackagesReplaceAndAddFiles) {
    for (const auto& [format, mode] : {std::pair{"zip", "1"}, std::pair{"7zip", "0"}}) {
        QDir(prog).removeRecursively();
        SetUp();
        started.clear();
        ASSERT_TRUE(writePackage(package, format, kUpdate));
        EXPECT_EQ(run(mode), powerloop::kUpdated) << messages.toStdString();
        EXPECT_EQ(record, "replaced\r\n\r\n");
        EXPECT_EQ(readAll(prog + "/Stitchwell"), "new program");
        EXPECT_TRUE(QFileInfo(prog + "/Stitchwell").isExecutable());
        EXPECT_EQ(readAll(prog + "/说明.txt"), "new notes");
        EXPECT_EQ(readAll(prog + "/新/文件.txt"), "added");
        EXPECT_EQ(readAll(prog + "/zz/keep.txt"), "kept");
        EXPECT_FALSE(QFile::exists(package));
        // Staging and backup folders beside the program folder are gone.
        EXPECT_EQ(QDir(parent).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                  QStringList{"程序 目录"});
        EXPECT_EQ(started, QString(mode) == "1" ? QStringList{restart()} : QStringList{});
    }
}

TEST_F(Powerloop, RefusedPackagesChangeNothing) {
    std::vector<PackageEntry> good = {{"说明.txt", "new notes"}};
    const auto with = [&](PackageEntry bad) {
        auto entries = good;
        entries.push_back(bad);
        return entries;
    };
    const QString outside = tmp.sub("outside.txt");
    QByteArray valid;
    {
        TempDir scratch;
        ASSERT_TRUE(writePackage(scratch.sub("p"), "zip",
                                 {{"a.bin", noise(200000)}, {"b.bin", noise(200000)}}));
        valid = readAll(scratch.sub("p"));
    }
    QByteArray corrupt = valid;
    for (int i = 0; i < 64; ++i) corrupt[corrupt.size() * 3 / 4 + i] = char(i * 7);
    struct Case {
        const char* name;
        std::vector<PackageEntry> entries;
        const char* format;
        QByteArray raw;
    } cases[] = {
        {"dot-dot", with({"../x.txt", "bad"}), "zip", {}},
        {"absolute", with({outside, "bad"}), "zip", {}},
        {"inner dot-dot", with({"a/../../x.txt", "bad"}), "zip", {}},
        {"backslashes", with({"..\\x.txt", "bad"}), "zip", {}},
        {"link up", with({"l", {}, PackageEntry::Symlink, "../../outside.txt"}), "zip", {}},
        {"absolute link", with({"l", {}, PackageEntry::Symlink, "/etc"}), "zip", {}},
        {"hard link up", with({"h", {}, PackageEntry::Hardlink, "../x"}), "pax", {}},
        {"only a folder", {{"d", {}, PackageEntry::Folder, {}, 0755}}, "zip", {}},
        {"not an archive", {}, nullptr, noise(5000)},
        {"empty file", {}, nullptr, QByteArray("")},
        {"truncated", {}, nullptr, valid.left(valid.size() / 2)},
        {"corrupt halfway", {}, nullptr, corrupt},
    };
    for (const Case& c : cases) {
        started.clear();
        if (c.format)
            ASSERT_TRUE(writePackage(package, c.format, c.entries)) << c.name;
        else
            ASSERT_TRUE(testsupport::writeText(package, c.raw));
        const QStringList before = snapshot(tmp.path());
        EXPECT_EQ(run(), powerloop::kBadPackage) << c.name;
        EXPECT_EQ(record, "unchanged\r\n" + messages + "\r\n") << c.name;
        EXPECT_EQ(snapshot(tmp.path()), before) << c.name << ": " << messages.toStdString();
        EXPECT_EQ(started, QStringList{restart()}) << c.name;  // the old program comes back
    }
}

TEST_F(Powerloop, FailedReplacementRollsEveryFileBack) {
    auto entries = kUpdate;
    entries.push_back({"zz", "a file where the program has a folder"});
    ASSERT_TRUE(writePackage(package, "zip", entries));
    const QStringList before = snapshot(parent);
    EXPECT_EQ(run(), powerloop::kReplaceFailed);
    EXPECT_TRUE(record.startsWith("unchanged\r\n文件的位置上已有文件夹：zz"))
        << record.toStdString();
    EXPECT_EQ(snapshot(parent), before) << messages.toStdString();
    EXPECT_EQ(started, QStringList{restart()});
}

TEST_F(Powerloop, GivesUpWhileStitchwellRunsAndRefusesBadParameters) {
    ASSERT_TRUE(writePackage(package, "zip", kUpdate));
    const QStringList before = snapshot(parent);
    {
        QLockFile running(prog + "/Stitchwell.lock");
        ASSERT_TRUE(running.tryLock(0));
        EXPECT_EQ(run(), powerloop::kStillRunning);
        EXPECT_EQ(record, "gave-up-waiting\r\n程序仍在运行，放弃更新\n\r\n");
    }
    EXPECT_EQ(snapshot(parent), before);
    EXPECT_TRUE(started.isEmpty());

    std::ostringstream err;
    EXPECT_EQ(runProgram("", prog, err), powerloop::kBadParameters);
    EXPECT_TRUE(QString::fromUtf8(readAll(prog + "/更新结果.txt")).startsWith("unchanged\r\n用法"));
    QFile::remove(prog + "/更新结果.txt");
    QFile::remove(package);
    EXPECT_EQ(run(), powerloop::kNoPackage);
    EXPECT_EQ(started, QStringList{restart()});
}

}  // namespace
