// The merge run driven through the real main window, offscreen: folders chosen through the menus,
// fields typed with key events, the merge and stop commands pressed, dialogs answered by script;
// the real transcoder (staged as Vidforge.exe) and the real media library do the work.

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <set>

#include "media/General.h"
#include "merge/MergeTexts.h"
#include "platform/Platform.h"
#include "tests/support/FormAccess.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/TestMedia.h"
#include "tests/support/ToolStarts.h"
#include "ui/Form1.h"
#include "ui/MergeCommand.h"
#include "ui/Settings.h"

namespace {

using testsupport::TempDir;

std::vector<std::string> names(const QString& dir) {
    return platform::listFiles(dir.toStdString()).value_or(std::vector<std::string>{});
}

void copyFile(const QString& from, const QString& to) {
    ASSERT_TRUE(platform::copyFileReplace(from.toStdString(), to.toStdString()))
        << to.toStdString();
}

void moveAll(const QString& from, const QString& to) {
    for (const auto& n : names(from)) {
        ASSERT_TRUE(platform::moveFileNoReplace((from + "/").toStdString() + n,
                                                (to + "/").toStdString() + n));
    }
}

// The shared clips as the window's paths, and four mp3 files.
struct Media {
    QString land, port, square, land2, mp3[4];
    double mp3Seconds[4] = {4, 7, 12, 20};  // the 4 s one is shorter than the 10 s target
    static Media& get() {
        static Media m;
        return m;
    }

private:
    Media() {
        testsupport::SharedMedia& s = testsupport::SharedMedia::get();
        land = QString::fromStdString(s.land);
        port = QString::fromStdString(s.port);
        square = QString::fromStdString(s.square);
        land2 = QString::fromStdString(s.longer);
        for (int i = 0; i < 4; ++i) mp3[i] = QString::fromStdString(s.mp3(int(mp3Seconds[i])));
    }
};

// The real window in a program folder of its own, with the merge commands installed.
struct Window {
    TempDir tmp;
    QString program = tmp.sub("prog dir", true);
    QString out = tmp.sub("输出 out", true);
    QString used = tmp.sub("used");
    Settings settings{tmp.sub("settings.ini")};
    ScriptedDialogs dialogs;
    std::unique_ptr<Form1> form;
    testsupport::ToolStarts starts;
    std::vector<std::string> statuses;  // every text the status line took, in order
    QString runDate;

    Window() {
        EXPECT_TRUE(testsupport::stageProgramFolder(program, {"Vidforge.dll"}));
        EXPECT_TRUE(QFile::rename(program + "/Vidforge.dll", program + "/Vidforge.exe"));
        form = std::make_unique<Form1>(dialogs, settings, program);
        form->systemTrayAvailable = [] { return true; };
        controlsOf(*form).LMove->setText(used);  // what start-up restores from "MoveDir"
        form->show();
        QObject::connect(form.get(), &Form1::statusChanged,
                         [this](const QString& text) { statuses.push_back(text.toStdString()); });
        installMergeCommands(
            *form, [this](const std::string& f, const std::string& p) { starts.add(f, p); });
        const platform::Date d = platform::today();
        runDate = QString::fromStdString(MergeTexts::RunDateText(d.year, d.month, d.day));
    }
    ~Window() {
        form->removeTrayIcon();
        form->close();
    }
    QString usedVideos() const { return used + "/" + runDate + "/视频"; }
    QString usedAudio() const { return used + "/" + runDate + "/音频"; }

    void addSourceFolder(const QString& folder) {
        dialogs.folders.push_back(folder);
        controlsOf(*form).MunuFolds->trigger();
    }
    void chooseMusic(const QString& folder) {
        dialogs.folders.push_back(folder);
        controlsOf(*form).MemuAudio->trigger();
    }
    void chooseOutput(const QString& folder) {
        dialogs.folders.push_back(folder);
        controlsOf(*form).MenuOutDir->trigger();
    }
    // Replaces the text of a field by typing, then leaves it with Tab.
    static void type(QWidget* field, const QString& text) {
        field->setFocus();
        QTest::keyClick(field, Qt::Key_End);
        for (int i = 0; i < 12; ++i) QTest::keyClick(field, Qt::Key_Backspace);
        QTest::keyClicks(field, text);
        QTest::keyClick(field, Qt::Key_Tab);
    }
    static void setTicked(QCheckBox* box, bool ticked) {
        if (box->isChecked() != ticked)
            QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
        ASSERT_EQ(box->isChecked(), ticked);
    }
    void setJob(const QString& length, bool parallel, bool background) {
        type(controlsOf(*form).CmbSize, "144×204");
        type(controlsOf(*form).TLeng, length);
        type(controlsOf(*form).TBits, "800");
        setTicked(controlsOf(*form).ChAudio, true);
        setTicked(controlsOf(*form).ChComp, false);
        setTicked(controlsOf(*form).ChMul, parallel);
        setTicked(controlsOf(*form).ChBack, background);
        ASSERT_EQ(controlsOf(*form).CmbSize->currentText(), "144×204");
        ASSERT_EQ(controlsOf(*form).TLeng->text(), length);
    }
    // Presses the merge command; `script` runs every 20 ms while the run pumps events.
    void runMerge(const std::function<void()>& script) {
        QTimer timer;
        timer.setInterval(20);
        QObject::connect(&timer, &QTimer::timeout, script);
        timer.start();
        controlsOf(*form).MenuDo->trigger();
        timer.stop();
    }
    void pressStop() { controlsOf(*form).MenuStop->trigger(); }
    std::string status() const { return controlsOf(*form).LST->text().toStdString(); }
    int startsWith(const std::string& piece) const { return starts.holding(piece); }

    void expectUnlockedAfterCompletion() {
        ASSERT_FALSE(dialogs.shown.empty());
        const auto& last = dialogs.shown.back();
        EXPECT_EQ(last.text, "处理完毕！\r\n要打开输出目录吗？");
        EXPECT_EQ(last.buttons, MsgButtons::YesNo);
        EXPECT_EQ(last.icon, MsgIcon::Information);
        EXPECT_TRUE(controlsOf(*form).MenuFiles->menuAction()->isEnabled());
        EXPECT_TRUE(controlsOf(*form).MenuMerge->menuAction()->isEnabled());
        EXPECT_TRUE(controlsOf(*form).MenuDo->isEnabled());
        EXPECT_FALSE(controlsOf(*form).MenuStop->isEnabled());
        EXPECT_TRUE(controlsOf(*form).Frame1->isEnabled());
        EXPECT_TRUE(controlsOf(*form).List1->isEnabled());
        EXPECT_TRUE(controlsOf(*form).TDir->isEnabled());
        EXPECT_FALSE(form->running());
        EXPECT_FALSE(form->stopRequested());
        EXPECT_TRUE(form->isVisible());
        EXPECT_FALSE(General::CountToolProcesses("Vidforge.exe"));
    }
};

const std::string kWaitFolder2 = "状态：2号视频素材来源文件夹中的视频已用完，等待补充新视频中...";
const std::string kWaitMusic = "状态：背景音乐素材来源文件夹中的mp3已用完，等待补充新音乐文件中...";

// Three folders of four clips each (landscape, portrait, square; blanks, an apostrophe and
// Chinese characters in the names).
struct Material {
    QString folders[3];
    QString music;
    std::set<std::string> clipNames[3];

    explicit Material(const Window& w) {
        Media& m = Media::get();
        const QString sources[4] = {m.land, m.port, m.square, m.land2};
        const QString stems[3] = {"a clip ", "it's b", "中文 c"};
        for (int f = 0; f < 3; ++f) {
            folders[f] = w.tmp.sub(QString("素材 %1").arg(f + 1), true);
            for (int i = 0; i < 4; ++i) {
                const QString name = stems[f] + QString::number(i) + (i == 3 ? ".mov" : ".mp4");
                copyFile(sources[(i + f) % 4], folders[f] + "/" + name);
                clipNames[f].insert(name.toStdString());
            }
        }
        music = w.tmp.sub("背景 music", true);
        for (int i = 0; i < 4; ++i)
            copyFile(m.mp3[i], music + QString("/%1 曲's.mp3").arg(m.mp3Seconds[i]));
    }
};

void expectThreeVideos(Window& w, const Material& mat) {
    EXPECT_EQ(names(w.out), (std::vector<std::string>{"000000.mp4", "000001.mp4", "000002.mp4"}));
    for (const auto& n : names(w.out)) {
        SCOPED_TRACE(n);
        const QString path = w.out + "/" + QString::fromStdString(n);
        EXPECT_NEAR(testsupport::probeDuration(path), 10.0, 0.5);
        EXPECT_NEAR(General::ReadDuration(path.toStdString()).value_or(-1), 10.0, 0.5);
        const auto info = testsupport::probeVideo(path);
        EXPECT_EQ(info.width, 144);
        EXPECT_EQ(info.height, 204);
        EXPECT_NEAR(info.fps, 25.0, 0.01);
    }
    // exactly nine clips and three mp3 were used; every unused clip is still in its folder
    const auto usedClips = names(w.usedVideos());
    EXPECT_EQ(usedClips.size(), 9u);
    EXPECT_EQ(names(w.usedAudio()).size(), 3u);
    EXPECT_EQ(names(mat.music).size(), 1u);
    for (int f = 0; f < 3; ++f) {
        const auto left = names(mat.folders[f]);
        EXPECT_EQ(left.size(), 1u);
        std::set<std::string> seen(left.begin(), left.end());
        for (const auto& u : usedClips)
            if (mat.clipNames[f].count(u)) seen.insert(u);
        EXPECT_EQ(seen, mat.clipNames[f]);
    }
    // Each counted video shows its count; the stop may come while the next pass has begun, so
    // the count is the last one shown, not necessarily the last status text.
    std::vector<std::string> counted;
    for (const auto& s : w.statuses)
        if (s.rfind("状态：生成合并视频中...已生成：", 0) == 0 &&
            (counted.empty() || counted.back() != s))
            counted.push_back(s);
    EXPECT_EQ(counted,
              (std::vector<std::string>{
                  "状态：生成合并视频中...已生成：0", "状态：生成合并视频中...已生成：1",
                  "状态：生成合并视频中...已生成：2", "状态：生成合并视频中...已生成：3"}));
    EXPECT_EQ(controlsOf(*w.form).StbPanels[4]->text().toStdString(), w.status());
    EXPECT_EQ(w.form->madeCount(), 3);
    EXPECT_EQ(tag(controlsOf(*w.form).LST), "3");
    EXPECT_EQ(w.dialogs.opened, QStringList{w.out});  // completion answered Yes
}

}  // namespace

// One after another, in background mode: the run waits at an empty second folder (window shown)
// and at an empty music folder, goes on by itself when material is copied in, uses a short mp3
// that has to be repeated, and is stopped after its third video.
TEST(MergeWindow, OneAfterAnotherWaitsForMaterialAndStopsAfterThreeVideos) {
    Window w;
    Material mat(w);
    for (const QString& f : mat.folders) w.addSourceFolder(f);
    ASSERT_EQ(controlsOf(*w.form).List1->count(), 3);
    w.chooseMusic(mat.music);
    w.chooseOutput(w.out);
    ASSERT_EQ(controlsOf(*w.form).LDir->text(), w.out);
    w.setJob("10", false, true);
    // the second folder and the music folder run dry before the run starts
    const QString hold2 = w.tmp.sub("hold2", true), holdMusic = w.tmp.sub("holdMusic", true);
    moveAll(mat.folders[1], hold2);
    moveAll(mat.music, holdMusic);
    // The first folder's clips have been in place for a while, as a user's material has: the
    // run starts on them at once, its window hidden, and first waits at the second folder.
    QTest::qSleep(1100);

    int stage = 0;
    bool hiddenAtStart = false, shownAtFolderWait = false, shownAtMusicWait = false;
    size_t startsAtFolderWait = 0;
    const QString shortMp3 = QString("%1 曲's.mp3").arg(4);
    w.runMerge([&] {
        if (!w.form->running()) return;
        if (stage == 0) {
            hiddenAtStart = !w.form->isVisible() && w.form->trayIconShown();
            stage = 1;
        } else if (stage == 1 && w.status() == kWaitFolder2) {
            shownAtFolderWait = w.form->isVisible();
            startsAtFolderWait = w.starts.size();
            moveAll(hold2, mat.folders[1]);
            stage = 2;
        } else if (stage == 2 && w.status() == kWaitMusic) {
            shownAtMusicWait = w.form->isVisible();
            copyFile(holdMusic + "/" + shortMp3, mat.music + "/" + shortMp3);
            QFile::remove(holdMusic + "/" + shortMp3);
            stage = 3;
        } else if (stage == 3 && w.form->madeCount() >= 1) {
            moveAll(holdMusic, mat.music);
            stage = 4;
        } else if (stage == 4 && w.form->madeCount() == 3) {
            w.pressStop();
            stage = 5;
        }
    });
    EXPECT_EQ(stage, 5);
    EXPECT_TRUE(hiddenAtStart);
    EXPECT_TRUE(shownAtFolderWait);
    EXPECT_TRUE(shownAtMusicWait);
    EXPECT_EQ(startsAtFolderWait, 1u);  // folder 1's clip started, nothing for folder 2 yet
    ASSERT_GE(w.dialogs.shown.size(), 3u);
    EXPECT_EQ(w.dialogs.shown[0].text.toStdString(), MergeTexts::ConfirmText(0));
    EXPECT_EQ(w.dialogs.shown[1].text, "终止视频合并操作？");
    EXPECT_EQ(w.dialogs.shown[1].buttons, MsgButtons::OkCancel);
    // the short mp3 went into the first video: joined from three copies, then cut to 10 s
    EXPECT_TRUE(platform::fileExists((w.usedAudio() + "/" + shortMp3).toStdString()));
    EXPECT_GE(w.startsWith("-safe 0 -f concat -i \"" + w.program.toStdString() +
                           "/Tmps/List.txt\"  -y -acodec copy"),
              1);
    EXPECT_EQ(w.startsWith("-ss 0 -t 10 -i \""), 3);
    EXPECT_TRUE(controlsOf(*w.form).List1->item(0)->text().startsWith("MP4视频数："));
    expectThreeVideos(w, mat);
    w.expectUnlockedAfterCompletion();
}

// All clips of a pass at once (ChMul), window in the foreground.
TEST(MergeWindow, ParallelModeStopsAfterThreeVideos) {
    Window w;
    Material mat(w);
    for (const QString& f : mat.folders) w.addSourceFolder(f);
    w.chooseMusic(mat.music);
    w.chooseOutput(w.out);
    w.setJob("10", true, false);
    bool pressed = false;
    w.runMerge([&] {
        if (w.form->running() && !pressed && w.form->madeCount() == 3) {
            w.pressStop();
            pressed = true;
        }
    });
    EXPECT_TRUE(pressed);
    EXPECT_EQ(w.dialogs.shown[0].text.toStdString(), MergeTexts::ConfirmText(4));
    // every pass starts its three clips before anything else
    const std::vector<std::string> written = w.starts.written();
    for (size_t i = 0; i + 2 < written.size(); ++i) {
        if (written[i] != "0.mp4") continue;
        EXPECT_EQ(written[i + 1], "1.mp4");
        EXPECT_EQ(written[i + 2], "2.mp4");
    }
    EXPECT_FALSE(w.form->trayIconShown());
    // what the run remembers of the window's choices
    EXPECT_EQ(w.settings.saveDir({}), w.out);
    EXPECT_EQ(w.settings.moveDir({}), w.used);
    EXPECT_EQ(w.settings.speed(), 0);
    EXPECT_EQ(w.settings.cmbAcc(7), -1);
    expectThreeVideos(w, mat);
    w.expectUnlockedAfterCompletion();
}

// Without a target length the video plays at natural speed and the music is cut to the summed
// length of the clips.
TEST(MergeWindow, NoTargetLengthKeepsNaturalSpeed) {
    Window w;
    Media& m = Media::get();
    const QString a = w.tmp.sub("a", true), b = w.tmp.sub("b", true), music = w.tmp.sub("m", true);
    copyFile(m.land2, a + "/two seconds.mp4");
    copyFile(m.port, b + "/one second.mp4");
    copyFile(m.mp3[1], music + "/seven.mp3");
    w.addSourceFolder(a);
    w.addSourceFolder(b);
    w.chooseMusic(music);
    w.chooseOutput(w.out);
    w.setJob("0", false, false);
    w.runMerge([&] {
        if (w.form->running() && !w.form->stopRequested() && w.form->madeCount() == 1)
            w.pressStop();
    });
    const double sum =
        General::ReadDuration((w.usedVideos() + "/two seconds.mp4").toStdString()).value_or(0) +
        General::ReadDuration((w.usedVideos() + "/one second.mp4").toStdString()).value_or(0);
    EXPECT_NEAR(sum, 3.0, 0.1);
    EXPECT_NEAR(testsupport::probeDuration(w.out + "/000000.mp4"), sum, 0.3);
    EXPECT_EQ(w.startsWith("-ss 0 -t " + MergeTexts::PlainNumber(sum) + " -i \""), 1);
    EXPECT_EQ(w.startsWith("-filter:v"), 0);
    w.expectUnlockedAfterCompletion();
}

// The stop command ends the running final encode: the unreadable video is deleted and not
// counted, its clips stay, and no transcoder is started after the stop. A stop while the run
// waits for an empty folder starts none either.
TEST(MergeWindow, StopEndsTheRunningTranscoderAndStartsNoOther) {
    Media& m = Media::get();
    {
        Window w;
        const QString a = w.tmp.sub("a", true), music = w.tmp.sub("m", true);
        copyFile(m.port, a + "/it's.mp4");
        copyFile(m.mp3[3], music + "/20.mp3");
        w.addSourceFolder(a);
        w.chooseMusic(music);
        w.chooseOutput(w.out);
        w.setJob("60", false, false);
        w.type(controlsOf(*w.form).CmbSize, "360×504");  // a final encode that takes a while
        size_t startsAtStop = 0;
        w.runMerge([&] {
            if (!w.form->running() || w.form->stopRequested()) return;
            if (w.status().rfind("状态：生成合并视频中...", 0) == 0 &&
                platform::fileSize(
                    MergeTexts::PartialOutputFile(w.out.toStdString(), 0, platform::kSep)) > 0) {
                startsAtStop = w.starts.size();
                w.pressStop();
            }
        });
        EXPECT_GT(startsAtStop, 0u);
        EXPECT_EQ(w.starts.size(), startsAtStop);
        EXPECT_TRUE(names(w.out).empty());
        EXPECT_EQ(w.form->madeCount(), 0);
        EXPECT_EQ(names(a), std::vector<std::string>{"it's.mp4"});
        EXPECT_EQ(names(music), std::vector<std::string>{"20.mp3"});
        EXPECT_TRUE(names(w.usedVideos()).empty());
        w.expectUnlockedAfterCompletion();
    }
    {
        Window w;
        const QString a = w.tmp.sub("a", true), b = w.tmp.sub("b", true),
                      music = w.tmp.sub("m", true);
        copyFile(m.port, a + "/p.mp4");
        copyFile(m.port, b + "/p.mp4");
        copyFile(m.mp3[0], music + "/4.mp3");
        w.addSourceFolder(a);
        w.addSourceFolder(b);
        w.chooseMusic(music);
        w.chooseOutput(w.out);
        w.setJob("10", false, false);
        QFile::remove(b + "/p.mp4");
        size_t startsAtStop = 0;
        w.runMerge([&] {
            if (w.form->running() && !w.form->stopRequested() && w.status() == kWaitFolder2) {
                startsAtStop = w.starts.size();
                w.pressStop();
            }
        });
        EXPECT_EQ(startsAtStop, 1u);
        EXPECT_EQ(w.starts.size(), 1u);
        EXPECT_EQ(controlsOf(*w.form).List1->item(1)->text(), "MP4视频数：0\t" + b);
        EXPECT_EQ(names(a).size(), 1u);
        w.expectUnlockedAfterCompletion();
    }
}
