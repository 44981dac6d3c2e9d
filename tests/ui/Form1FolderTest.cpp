// The source folder list, the music folder and the output folder: picker, paste box, removal,
// and folders that must be refused.
#include <QAction>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPainter>
#include <QTest>

#include "tests/ui/FormTestSupport.h"

using namespace ui_test;

namespace {

const QString kDuplicate = "您刚指定的视频素材来源文件夹已经存在于列表了，禁止重复指定，请更换！";
const QString kNoClips = "该目录未存在任何mp4视频文件！";
const QString kHint = "在此直接粘贴视频素材来源有效文件夹的正确全路径";

class FolderTest : public FormTest {
protected:
    void addThroughPicker(const QString& folder) {
        dialogs.folders.push_back(folder);
        clickMenuItem(form.get(), controlsOf(*form).MenuFiles, controlsOf(*form).MunuFolds);
    }
    QStringList entries() const {
        QStringList out;
        for (int i = 0; i < controlsOf(*form).List1->count(); ++i)
            out << controlsOf(*form).List1->item(i)->text();
        return out;
    }
    QPoint rowCentre(int row) const {
        return controlsOf(*form).List1->visualItemRect(controlsOf(*form).List1->item(row)).center();
    }
};

TEST_F(FolderTest, PickerAddsFoldersWithANumberedPrompt) {
    const QString a = makeFolder(tmp, "d1/clips", {"a.mp4"});
    const QString b = makeFolder(tmp, "d1/more", {"b.mp4"});
    const QString c = makeFolder(tmp, "d1/其他 素材", {"readme.txt"});  // any file will do
    addThroughPicker(a);
    addThroughPicker(b + "/");  // the picker's trailing separator goes
    addThroughPicker(c);
    EXPECT_EQ(entries(), QStringList({a, b, c}));
    ASSERT_EQ(dialogs.prompts.size(), 3);
    EXPECT_EQ(dialogs.prompts[0], QString("指定1号视频素材来源文件夹："));
    EXPECT_EQ(dialogs.prompts[2], QString("指定3号视频素材来源文件夹："));
    EXPECT_TRUE(dialogs.shown.empty());
    // Adding leaves the heading and the paste box alone.
    EXPECT_EQ(controlsOf(*form).LFolds->text(), QString("视频素材来源文件夹列表(最多20条)："));
    EXPECT_EQ(controlsOf(*form).TDir->text(), kHint);

    // Cancel adds nothing.
    clickMenuItem(form.get(), controlsOf(*form).MenuFiles, controlsOf(*form).MunuFolds);
    EXPECT_EQ(controlsOf(*form).List1->count(), 3);
}

TEST_F(FolderTest, FoldersWithTheSameLastNameAreDuplicates) {
    const QString d = makeFolder(tmp, "D/clips", {"a.mp4"});
    const QString e = makeFolder(tmp, "E/clips", {"b.mp4"});
    const QString upper = makeFolder(tmp, "F/Clips", {"c.mp4"});
    addThroughPicker(d);
    addThroughPicker(e);
    EXPECT_EQ(entries(), QStringList({d}));
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, kDuplicate);
    EXPECT_EQ(dialogs.shown[0].icon, MsgIcon::Error);
    EXPECT_EQ(dialogs.shown[0].buttons, MsgButtons::Ok);
    // The name is compared exactly, case included.
    addThroughPicker(upper);
    EXPECT_EQ(entries(), QStringList({d, upper}));

    // After a run rewrote the entries into their counted form, duplicates are still found.
    controlsOf(*form).List1->item(0)->setText("MP4视频数：1\t" + d);
    controlsOf(*form).List1->item(1)->setText("MP4视频数：1\t" + upper);
    addThroughPicker(e);
    EXPECT_EQ(dialogs.lastText(), kDuplicate);
    const QString fresh = makeFolder(tmp, "G/new", {"n.mp4"});
    addThroughPicker(fresh);
    EXPECT_EQ(controlsOf(*form).List1->count(), 3);
    EXPECT_EQ(controlsOf(*form).List1->item(2)->text(), fresh);
}

TEST_F(FolderTest, FoldersWithoutOrdinaryFilesAreRefused) {
    const QString subOnly = makeFolder(tmp, "subonly", {"inner/a.mp4"});
    const QString hidden = makeFolder(tmp, "hidden", {".a.mp4"});
    const QString empty = makeFolder(tmp, "empty", {});
    for (const QString& f : {subOnly, hidden, empty}) {
        dialogs.shown.clear();
        addThroughPicker(f);
        ASSERT_EQ(dialogs.shown.size(), 1u) << f.toStdString();
        EXPECT_EQ(dialogs.shown[0].text, kNoClips);
        EXPECT_EQ(dialogs.shown[0].icon, MsgIcon::Error);
    }
    // A folder that cannot be listed any more, and a file chosen instead of a folder.
    addThroughPicker(tmp.sub("gone"));
    EXPECT_EQ(dialogs.lastText(), kNoClips);
    const QString file = makeFolder(tmp, "files", {"clip.mp4"}) + "/clip.mp4";
    addThroughPicker(file);
    EXPECT_EQ(dialogs.lastText(), kNoClips);
    EXPECT_EQ(controlsOf(*form).List1->count(), 0);
}

TEST_F(FolderTest, TheTwentyFirstFolderReplacesTheTwentieth) {
    for (int i = 0; i < 21; ++i)
        addThroughPicker(makeFolder(tmp, QString("many/f%1").arg(i), {"a.mp4"}));
    ASSERT_EQ(controlsOf(*form).List1->count(), 20);
    EXPECT_EQ(controlsOf(*form).List1->item(18)->text(), tmp.sub("many/f18"));
    EXPECT_EQ(controlsOf(*form).List1->item(19)->text(), tmp.sub("many/f20"));
    EXPECT_EQ(dialogs.prompts.last(), QString("指定21号视频素材来源文件夹："));
    addThroughPicker(makeFolder(tmp, "many/f21", {"a.mp4"}));
    EXPECT_EQ(controlsOf(*form).List1->count(), 20);
    EXPECT_EQ(controlsOf(*form).List1->item(19)->text(), tmp.sub("many/f21"));
}

TEST_F(FolderTest, PickedFolderWithCharactersNoCommandCanCarryIsRefused) {
    const QString quoted = makeFolder(tmp, "say \"cheese\"", {"a.mp4"});
    addThroughPicker(quoted);
    EXPECT_EQ(controlsOf(*form).List1->count(), 0);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_TRUE(dialogs.shown[0].text.contains("不能使用的字符"));
    // Blanks, apostrophes and Chinese characters are fine.
    const QString odd = makeFolder(tmp, "it's 视频 素材", {"a.mp4"});
    addThroughPicker(odd);
    EXPECT_EQ(entries(), QStringList({odd}));
}

TEST_F(FolderTest, PastingAFolderAddsIt) {
    const QString f = makeFolder(tmp, "paste/片段 一", {"a.mp4"});
    QTest::mouseClick(controlsOf(*form).TDir, Qt::LeftButton);  // the hint gets selected as a whole
    QTest::qWait(0);
    pasteText(controlsOf(*form).TDir, f);
    EXPECT_EQ(entries(), QStringList({f}));
    EXPECT_EQ(controlsOf(*form).TDir->text(), f);  // the box keeps the text
    EXPECT_TRUE(dialogs.shown.empty());

    // A trailing separator is not kept in the entry; the same folder again is a duplicate.
    focusAndSelectAll(controlsOf(*form).TDir);
    pasteText(controlsOf(*form).TDir, f + "/");
    EXPECT_EQ(controlsOf(*form).List1->count(), 1);
    EXPECT_EQ(dialogs.lastText(), kDuplicate);
}

TEST_F(FolderTest, PastingTextThatCannotBeAPathBringsTheHintBack) {
    for (const QString& bad : {QString("/tmp/a|b"), QString("/tmp/<x>"), QString("/tmp/\"q\""),
                               QString("/tmp/*"), QString("/tmp/a?")}) {
        focusAndSelectAll(controlsOf(*form).TDir);
        pasteText(controlsOf(*form).TDir, bad);
        EXPECT_EQ(controlsOf(*form).TDir->text(), kHint) << bad.toStdString();
    }
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(controlsOf(*form).List1->count(), 0);
}

TEST_F(FolderTest, PastingAMissingOrRelativePathDoesNothing) {
    for (const QString& text : {tmp.sub("not/there"), QString("relative/clips")}) {
        focusAndSelectAll(controlsOf(*form).TDir);
        pasteText(controlsOf(*form).TDir, text);
        EXPECT_EQ(controlsOf(*form).TDir->text(), text);
    }
    focusAndSelectAll(controlsOf(*form).TDir);
    QTest::keyClick(controlsOf(*form).TDir, Qt::Key_Backspace);
    EXPECT_EQ(controlsOf(*form).TDir->text(), QString());
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(controlsOf(*form).List1->count(), 0);
}

TEST_F(FolderTest, PastingAFilePathIsRefused) {
    const QString file = makeFolder(tmp, "pf", {"clip.mp4"}) + "/clip.mp4";
    focusAndSelectAll(controlsOf(*form).TDir);
    pasteText(controlsOf(*form).TDir, file);
    EXPECT_EQ(dialogs.lastText(), kNoClips);
    EXPECT_EQ(controlsOf(*form).List1->count(), 0);
}

TEST_F(FolderTest, TypingAddsAsSoonAsTheTextNamesAFolderWithFiles) {
    const QString ab = makeFolder(tmp, "typed/ab", {"x.mp4"});
    const QString abc = makeFolder(tmp, "typed/abc", {"y.mp4"});
    focusAndSelectAll(controlsOf(*form).TDir);
    // The parent holds only folders: it is refused when the text reaches it.
    pasteText(controlsOf(*form).TDir, tmp.sub("typed") + "/");
    EXPECT_EQ(dialogs.lastText(), kNoClips);
    EXPECT_EQ(controlsOf(*form).List1->count(), 0);
    typeText(controlsOf(*form).TDir, "a");  // names nothing yet: silent
    EXPECT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(controlsOf(*form).List1->count(), 0);
    typeText(controlsOf(*form).TDir, "b");
    EXPECT_EQ(entries(), QStringList({ab}));
    typeText(controlsOf(*form).TDir, "c");  // another name, another folder
    EXPECT_EQ(entries(), QStringList({ab, abc}));
    EXPECT_EQ(controlsOf(*form).TDir->text(), abc);
    EXPECT_EQ(dialogs.shown.size(), 1u);
}

TEST_F(FolderTest, DoubleClickRemovesTheSelectedEntry) {
    const QString a = makeFolder(tmp, "r/a", {"1.mp4"});
    const QString b = makeFolder(tmp, "r/b", {"1.mp4"});
    const QString c = makeFolder(tmp, "r/c", {"1.mp4"});
    for (const QString& f : {a, b, c}) addThroughPicker(f);
    // A double click begins with a click that selects the row.
    QTest::mouseClick(controlsOf(*form).List1->viewport(), Qt::LeftButton, {}, rowCentre(1));
    QTest::mouseDClick(controlsOf(*form).List1->viewport(), Qt::LeftButton, {}, rowCentre(1));
    EXPECT_EQ(entries(), QStringList({a, c}));
    EXPECT_EQ(controlsOf(*form).LFolds->text(),
              QString("视频素材来源文件夹列表(最多20条；现有2条)："));

    // No entry selected: nothing is removed, the heading shows the count.
    controlsOf(*form).List1->clearSelection();
    controlsOf(*form).List1->setCurrentRow(-1);
    QTest::mouseDClick(controlsOf(*form).List1->viewport(), Qt::LeftButton, {},
                       QPoint(5, controlsOf(*form).List1->viewport()->height() - 5));
    EXPECT_EQ(entries(), QStringList({a, c}));
    EXPECT_EQ(controlsOf(*form).LFolds->text(),
              QString("视频素材来源文件夹列表(最多20条；现有2条)："));
}

TEST_F(FolderTest, RightClickClearsTheListAfterAsking) {
    // Empty list: no question.
    QTest::mouseClick(controlsOf(*form).List1->viewport(), Qt::RightButton);
    EXPECT_TRUE(dialogs.shown.empty());

    addThroughPicker(makeFolder(tmp, "c/a", {"1.mp4"}));
    addThroughPicker(makeFolder(tmp, "c/b", {"1.mp4"}));
    dialogs.answers = {MsgResult::Cancel};
    QTest::mouseClick(controlsOf(*form).List1->viewport(), Qt::RightButton);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, QString("清空视频素材来源文件夹列表？"));
    EXPECT_EQ(dialogs.shown[0].icon, MsgIcon::Information);
    EXPECT_EQ(dialogs.shown[0].buttons, MsgButtons::OkCancel);
    EXPECT_TRUE(dialogs.shown[0].cancelIsDefault);
    EXPECT_EQ(controlsOf(*form).List1->count(), 2);

    // The left button does not ask.
    QTest::mouseClick(controlsOf(*form).List1->viewport(), Qt::LeftButton);
    EXPECT_EQ(dialogs.shown.size(), 1u);

    dialogs.answers = {MsgResult::Ok};
    QTest::mouseClick(controlsOf(*form).List1->viewport(), Qt::RightButton);
    EXPECT_EQ(controlsOf(*form).List1->count(), 0);
    EXPECT_EQ(controlsOf(*form).LFolds->text(),
              QString("视频素材来源文件夹列表(最多20条；现有0条)："));
}

// ---- music and output folders -------------------------------------------------------------------

TEST_F(FolderTest, MusicFolderIsShownWithItsMp3Count) {
    QStringList files;
    for (int i = 0; i < 6; ++i) files << QString("song%1.mp3").arg(i);
    for (int i = 0; i < 6; ++i) files << QString("曲 %1.MP3").arg(i);
    files << "cover.jpg"
          << ".hidden.mp3"
          << "sub/x.mp3";
    const QString music = makeFolder(tmp, "音乐 folder", files);
    dialogs.folders.push_back(music);
    clickMenuItem(form.get(), controlsOf(*form).MenuFiles, controlsOf(*form).MemuAudio);
    EXPECT_EQ(dialogs.prompts.last(), QString("指定mp3背景音频来源文件夹："));
    EXPECT_EQ(controlsOf(*form).LAudio->text(), "背景mp3音乐数：12   " + music);
    EXPECT_EQ(tag(controlsOf(*form).LAudio), QString("12"));
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(FolderTest, MusicFolderWithoutMp3FilesIsRefused) {
    const QString music = makeFolder(tmp, "m", {"a.mp3"});
    dialogs.folders.push_back(music);
    clickMenuItem(form.get(), controlsOf(*form).MenuFiles, controlsOf(*form).MemuAudio);
    const QString shown = controlsOf(*form).LAudio->text();

    for (const QString& bad :
         {makeFolder(tmp, "nomp3", {"a.wav", "b.mp3x"}), tmp.sub("nowhere"), music + "/a.mp3"}) {
        dialogs.folders.push_back(bad);
        clickMenuItem(form.get(), controlsOf(*form).MenuFiles, controlsOf(*form).MemuAudio);
        EXPECT_EQ(dialogs.lastText(), QString("该目录未存在任何mp3音频文件！"));
        EXPECT_EQ(dialogs.shown.back().icon, MsgIcon::Error);
        EXPECT_EQ(controlsOf(*form).LAudio->text(), shown);  // the previous folder stays in force
        EXPECT_EQ(tag(controlsOf(*form).LAudio), QString("1"));
    }
    // Cancel changes nothing and asks nothing.
    const size_t before = dialogs.shown.size();
    clickMenuItem(form.get(), controlsOf(*form).MenuFiles, controlsOf(*form).MemuAudio);
    EXPECT_EQ(dialogs.shown.size(), before);
    EXPECT_EQ(controlsOf(*form).LAudio->text(), shown);
}

TEST_F(FolderTest, OutputFolderIsChosenWithTheNewFolderStyle) {
    const QString out = makeFolder(tmp, "输出 out", {});
    dialogs.folders.push_back(out + "//");
    clickMenuItem(form.get(), controlsOf(*form).MenuFiles, controlsOf(*form).MenuOutDir);
    EXPECT_EQ(dialogs.prompts.last(), QString("指定输出目录："));
    EXPECT_EQ(controlsOf(*form).LDir->text(), out);

    // Cancel keeps it; a file instead of a folder is refused with a message.
    clickMenuItem(form.get(), controlsOf(*form).MenuFiles, controlsOf(*form).MenuOutDir);
    EXPECT_EQ(controlsOf(*form).LDir->text(), out);
    const QString file = makeFolder(tmp, "o2", {"f.txt"}) + "/f.txt";
    dialogs.folders.push_back(file);
    clickMenuItem(form.get(), controlsOf(*form).MenuFiles, controlsOf(*form).MenuOutDir);
    EXPECT_EQ(controlsOf(*form).LDir->text(), out);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].icon, MsgIcon::Error);
}

}  // namespace

// The list draws the TAB of a counted entry as a gap (a tab stop); the entry's text is kept.
TEST_F(FolderTest, CountedEntryIsDrawnWithAGapAtItsTab) {
    QListWidget* list = controlsOf(*form).List1;
    list->addItem(
        QStringLiteral("MP4视频数：3\t/home/user/a long folder name/素材 一/more/more/more/more"));
    list->addItem(
        QStringLiteral("MP4视频数：3/home/user/a long folder name/素材 一/more/more/more/more"));
    // the widest run of blank columns between inked ones in the entry's drawing
    const auto widestGap = [list](int row) {
        QStyleOptionViewItem option;
        option.initFrom(list->viewport());
        option.rect = QRect(0, 0, 400, 30);
        option.font = list->font();
        option.widget = list;
        QImage image(400, 30, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        list->itemDelegate()->paint(&painter, option, list->model()->index(row, 0));
        painter.end();
        int widest = 0, run = 0;
        bool inked = false;
        for (int x = 0; x < image.width(); ++x) {
            bool blank = true;
            for (int y = 0; y < image.height() && blank; ++y)
                blank = image.pixel(x, y) == image.pixel(image.width() - 1, 0);
            if (!blank) {
                if (inked) widest = std::max(widest, run);
                inked = true;
                run = 0;
            } else {
                ++run;
            }
        }
        return widest;
    };
    const int withTab = widestGap(0), without = widestGap(1);
    EXPECT_GT(withTab, without + 10);  // a tab stop, not nothing
    EXPECT_TRUE(list->item(0)->text().startsWith(QStringLiteral("MP4视频数：3\t/home")));
}
