// The download windows driven through DownloadWithProgress against the tests' own server: the
// texts and the bar of a download of a few megabytes, a cut transfer, a local path with "?", and
// the cancel button answered both ways (a confirmed cancel really ends the program).

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>

#include "tests/support/ScriptedDialogs.h"
#include "tests/support/TestMedia.h"
#include "tests/update/TestServer.h"
#include "update/DownloadSupport.h"
#include "update/frmDemo.h"
#include "update/frmDnLoad.h"

namespace {

using testsupport::TempDir;

// What the window showed at every progress report, and at its end.
struct Seen {
    QStringList labels;
    double maxBar = 0;
    bool shownOnTop = false;
    QString title, finalLabel;
    std::function<void(frmDnLoad&)> onReport;
};

class RecordingPair : public DownloadWindowPair {
public:
    RecordingPair(DialogService& dialogs, Seen& seen, std::function<void()> end)
        : DownloadWindowPair(dialogs, engine(this), std::move(end)), m_seen(seen) {}
    ~RecordingPair() override { m_seen.finalLabel = window().Label1->text(); }

private:
    static EngineOptions engine(RecordingPair* self) {
        EngineOptions options;
        options.pump = [self] { self->report(); };
        return options;
    }
    void report() {
        frmDnLoad& w = window();
        if (m_seen.labels.value(m_seen.labels.size() - 1) != w.Label1->text())
            m_seen.labels << w.Label1->text();
        m_seen.maxBar = std::max(m_seen.maxBar, w.progress());
        m_seen.shownOnTop = w.isVisible() && w.windowFlags().testFlag(Qt::WindowStaysOnTopHint);
        m_seen.title = w.windowTitle();
        if (m_seen.onReport) m_seen.onReport(w);
        QCoreApplication::processEvents();
    }
    Seen& m_seen;
};

class DownloadWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.running());
        server.serve("/downs/pkg", body);
        server.serve("/downs/cut", body);
        server.serve("/downs/slow", body);
        server.setBehaviour(R"({"/downs/cut": {"cut": true},
                                "/downs/slow": {"slow": [131072, 0.01]}})");
        DownloadSupport::setDownloadWindows([this]() -> std::unique_ptr<DownloadWindowPair> {
            return std::make_unique<RecordingPair>(dialogs, seen, end);
        });
        DownloadSupport::DownloadCaption = "Stitchwell....升级文件下载中...";
    }
    void TearDown() override { DownloadSupport::setDownloadWindows({}); }
    QStringList leftInFolder() const {
        return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
    }

    TempDir dir;
    TestServer server;
    ScriptedDialogs dialogs;
    Seen seen;
    std::function<void()> end;
    QByteArray body = noise(4 * 1024 * 1024);
};

TEST_F(DownloadWindowTest, CompleteDownloadShowsItsProgressAndReachesTheEnd) {
    ASSERT_TRUE(DownloadSupport::DownloadWithProgress(server.url("/downs/pkg"), dir.sub("包.rar")));
    EXPECT_EQ(DownloadSupport::DownloadPercent, 100);
    EXPECT_EQ(leftInFolder(), QStringList{"包.rar"});
    QFile saved(dir.sub("包.rar"));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_TRUE(saved.readAll() == body);

    EXPECT_EQ(seen.labels.first(), "正在检查文件下载相关信息中...连接中0kb");
    EXPECT_EQ(seen.labels.last(), "文件正在下载中...4096kb/4096kb");
    EXPECT_GT(seen.labels.filter("文件正在下载中...").size(), 1);
    EXPECT_EQ(seen.maxBar, 1.0);
    EXPECT_TRUE(seen.shownOnTop);
    EXPECT_EQ(seen.title, DownloadSupport::DownloadCaption);
    EXPECT_EQ(seen.finalLabel, "下载完毕！");
}

TEST_F(DownloadWindowTest, CutTransferFailsAndALocalPathIsCutAtItsLastQuestionMark) {
    EXPECT_FALSE(DownloadSupport::DownloadWithProgress(server.url("/downs/cut"), dir.sub("c")));
    EXPECT_TRUE(seen.finalLabel.startsWith("文件正在下载中...")) << seen.finalLabel.toStdString();
    EXPECT_LT(seen.maxBar, 1.0);
    EXPECT_TRUE(leftInFolder().isEmpty());
    EXPECT_TRUE(
        DownloadSupport::DownloadWithProgress(server.url("/downs/pkg"), dir.sub("a?b.rar?v=2")));
    EXPECT_EQ(leftInFolder(), QStringList{"a?b.rar"});
}

// The cancel button and the window's close box ask the same question; answered Cancel, the
// download goes on in the window still shown.
TEST_F(DownloadWindowTest, CancelButtonAndCloseBoxAnsweredBothWays) {
    for (const auto& [closeBox, answer] :
         {std::pair{false, MsgResult::Cancel}, std::pair{false, MsgResult::Ok},
          std::pair{true, MsgResult::Cancel}, std::pair{true, MsgResult::Ok}}) {
        SCOPED_TRACE(closeBox ? "close box" : "cancel button");
        dialogs.shown.clear();
        dialogs.answers = {answer};
        QStringList atTheEnd{"<not ended>"};
        end = [&] { atTheEnd = leftInFolder(); };  // the program would end here
        int presses = 0;
        bool stillShown = false;
        seen.onReport = [&, closeBox = closeBox](frmDnLoad& w) {
            if (w.progress() > 0.1 && presses++ == 0) {
                if (closeBox)
                    w.close();
                else
                    w.CmdCancel->click();
                stillShown = w.isVisible();
            }
        };
        const bool ok =
            DownloadSupport::DownloadWithProgress(server.url("/downs/slow"), dir.sub("s"));
        ASSERT_EQ(dialogs.shown.size(), 1u);
        EXPECT_EQ(dialogs.shown[0].text, "取消下载？");
        EXPECT_EQ(dialogs.shown[0].icon, MsgIcon::Warning);
        EXPECT_TRUE(dialogs.shown[0].cancelIsDefault);
        if (answer == MsgResult::Cancel) {  // the download goes on
            EXPECT_TRUE(ok);
            EXPECT_TRUE(stillShown);
            EXPECT_EQ(atTheEnd, QStringList{"<not ended>"});
            QFile::remove(dir.sub("s"));
        } else {  // the program ends, its partial file gone
            EXPECT_FALSE(ok);
            EXPECT_TRUE(atTheEnd.isEmpty()) << atTheEnd.join(' ').toStdString();
            EXPECT_EQ(seen.finalLabel, "成功取消下载！");
            EXPECT_TRUE(leftInFolder().isEmpty());
        }
    }
}

}  // namespace
