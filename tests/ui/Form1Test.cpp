// The main window's controls, their start values and the input rules of the parameter fields,
// driven with real keys and mouse clicks.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QSpinBox>
#include <QStatusBar>
#include <QTest>
#include <QTime>

#include "tests/ui/FormTestSupport.h"
#include "ui/ParamRules.h"

using namespace ui_test;

namespace {

TEST_F(FormTest, StartsWithTheDesignTimeControls) {
    Form1& f = *form;
    Form1Controls& c = controlsOf(f);
    EXPECT_EQ(f.windowTitle(), QString("Stitchwell"));
    EXPECT_EQ(c.Frame1->title(), QString("参数设置区："));
    EXPECT_EQ(c.LFolds->text(), QString("视频素材来源文件夹列表(最多20条)："));
    EXPECT_EQ(tag(c.LFolds), QString("视频素材来源文件夹列表(最多20条"));
    EXPECT_EQ(c.List1->count(), 0);
    EXPECT_EQ(c.List1->toolTip(), QString("双击删除当前行；右键全部清空"));
    EXPECT_EQ(c.TDir->text(), QString("在此直接粘贴视频素材来源有效文件夹的正确全路径"));
    EXPECT_EQ(tag(c.TDir), c.TDir->text());
    EXPECT_EQ(c.TDir->maxLength(), 200);

    ASSERT_EQ(c.CmbSize->count(), 27);
    EXPECT_TRUE(c.CmbSize->isEditable());
    EXPECT_EQ(c.CmbSize->currentText(), QString("720×1280"));
    EXPECT_EQ(c.CmbSize->itemText(1), QString("640×480 "));
    EXPECT_EQ(c.CmbSize->itemText(3), QString("540×960 "));
    EXPECT_EQ(c.CmbSize->itemText(17), QString("72×104"));
    EXPECT_EQ(c.CmbSize->itemText(26), QString("1366×768"));

    EXPECT_EQ(c.TPfs->text(), QString("25"));
    EXPECT_TRUE(c.TPfs->isReadOnly());
    EXPECT_EQ(c.UpDown1->maximum(), 50);
    EXPECT_EQ(c.TBits->text(), QString("10000"));
    EXPECT_EQ(c.TBits->toolTip(), QString("200-50000"));
    EXPECT_EQ(c.TBits->maxLength(), 5);
    EXPECT_EQ(c.TLeng->text(), QString("10"));
    EXPECT_EQ(c.TLeng->toolTip(),
              QString("5-60秒；0表示不限制时长，按实际视频组合数的时长普通合并"));
    EXPECT_EQ(c.Label3->text(), QString("秒"));
    EXPECT_EQ(c.Label2->text(), QString("播放总时长："));
    EXPECT_EQ(c.Label6->text(), QString("码率："));
    EXPECT_EQ(c.Label7->text(), QString("帧频："));

    struct Tick {
        QCheckBox* box;
        const char* text;
        bool checked;
        const char* tip;
    };
    const Tick ticks[] = {
        {c.ChAn, "消音", true, ""},
        {c.ChRotate, "顺时针旋转90°", false, "默认为逆时针旋转90度"},
        {c.ChSpeed, "硬件加速", false, "如果本机支持显卡硬件加速，则处理速度会提高2-10倍"},
        {c.ChAudio, "添加背景音乐", true, ""},
        {c.ChComp, "压缩生成的视频", true,
         "未压缩时可能是100M,压缩后可能是2M，启用则处理速度变慢。"},
        {c.ChBack, "后台运行", true, ""},
        {c.ChMul, "多线程", true, "如果本机开启多线程时，处理速度并未明显加快，请取消多线程"},
    };
    for (const Tick& t : ticks) {
        EXPECT_EQ(t.box->text(), QString(t.text));
        EXPECT_EQ(t.box->isChecked(), t.checked) << t.text;
        EXPECT_EQ(t.box->toolTip(), QString(t.tip)) << t.text;
    }
    EXPECT_FALSE(c.ChSpeed->isEnabled());
    EXPECT_FALSE(c.CmbAcc->isEnabled());
    EXPECT_FALSE(c.CmbAcc->isEditable());
    EXPECT_EQ(c.CmbAcc->count(), 0);

    EXPECT_EQ(c.Label1->text(), QString("保存目录："));
    EXPECT_EQ(c.LDir->text(), QString("保存目录未指定"));
    EXPECT_EQ(c.Label4->text(), QString("背景音乐目录："));
    EXPECT_EQ(c.LAudio->text(), QString("Mp3背景音乐文件夹未指定"));
    EXPECT_EQ(tag(c.LAudio), QString("0"));
    EXPECT_EQ(c.Label5->text(), QString("已使用素材移动到："));
    EXPECT_EQ(c.LMove->text(), QString());
    EXPECT_EQ(c.LST->text(), QString("状态：未就绪"));
    EXPECT_EQ(c.TV->text(), QString("005"));
    EXPECT_FALSE(c.TV->isVisible());
}

TEST_F(FormTest, MenuBarHoldsItsMenusInOrderWithTheirStartStates) {
    Form1& f = *form;
    Form1Controls& c = controlsOf(f);
    const QList<QAction*> top = f.menuBar()->actions();
    ASSERT_EQ(top.size(), 5);
    EXPECT_EQ(top[0], c.MenuFiles->menuAction());
    EXPECT_EQ(top[1], c.MenuMerge->menuAction());
    EXPECT_EQ(top[2], c.MenuStop);
    EXPECT_EQ(top[3], c.MenuUpdate);
    EXPECT_EQ(top[4], c.MenuHelp);
    EXPECT_EQ(c.MenuFiles->title(), QString("文件(&F)"));
    EXPECT_EQ(c.MenuMerge->title(), QString("视频合并(&M)"));
    EXPECT_EQ(c.MenuStop->text(), QString("终止(&S)"));
    EXPECT_EQ(c.MenuUpdate->text(), QString("更新(&U)"));
    EXPECT_EQ(c.MenuHelp->text(), QString("用法(&H)"));
    EXPECT_EQ(c.MenuFiles->actions(), QList<QAction*>({c.MunuFolds, c.MemuAudio, c.MenuOutDir}));
    EXPECT_EQ(c.MunuFolds->text(), QString("添加素材视频所在的文件夹(&V...)"));
    EXPECT_EQ(c.MemuAudio->text(), QString("指定mp3背景音乐文件夹(&A...)"));
    EXPECT_EQ(c.MenuOutDir->text(), QString("指定输出文件夹(&O...)"));
    EXPECT_EQ(c.MenuMerge->actions(), QList<QAction*>({c.MenuDo}));
    EXPECT_EQ(c.MenuDo->text(), QString("合并视频(&R)"));
    EXPECT_TRUE(c.MenuFiles->menuAction()->isEnabled());
    EXPECT_TRUE(c.MenuMerge->menuAction()->isEnabled());
    EXPECT_FALSE(c.MenuStop->isEnabled());
    EXPECT_FALSE(c.MenuUpdate->isEnabled());
    EXPECT_TRUE(c.MenuHelp->isEnabled());

    // Locking the menus the way a run does reaches the menu bar.
    c.MenuFiles->setEnabled(false);
    EXPECT_FALSE(c.MenuFiles->menuAction()->isEnabled());
    c.MenuFiles->setEnabled(true);
    EXPECT_TRUE(c.MenuFiles->menuAction()->isEnabled());
}

TEST_F(FormTest, MenuCommandsRunTheirHooks) {
    int merges = 0, stops = 0;
    form->mergeCommand = [&] { ++merges; };
    form->stopCommand = [&] { ++stops; };
    clickMenuItem(form.get(), controlsOf(*form).MenuMerge, controlsOf(*form).MenuDo);
    EXPECT_EQ(merges, 1);
    controlsOf(*form).MenuStop->setEnabled(true);
    clickMenuBarCommand(form.get(), controlsOf(*form).MenuStop);
    EXPECT_EQ(stops, 1);

    // A second merge command from inside a running one is refused.
    form->mergeCommand = [&] {
        ++merges;
        if (merges < 5) controlsOf(*form).MenuDo->trigger();
    };
    controlsOf(*form).MenuDo->trigger();
    EXPECT_EQ(merges, 2);
    EXPECT_EQ(dialogs.beeps, 1);
}

TEST_F(FormTest, MergeCommandFindsFieldsInTheirValidForms) {
    // A size typed but not yet left is made valid before the run reads it.
    focusAndSelectAll(controlsOf(*form).CmbSize);
    typeText(controlsOf(*form).CmbSize, "721×1279");
    QString seen;
    form->mergeCommand = [&] { seen = controlsOf(*form).CmbSize->currentText(); };
    clickMenuItem(form.get(), controlsOf(*form).MenuMerge, controlsOf(*form).MenuDo);
    EXPECT_EQ(seen, QString("722×1280"));
}

TEST_F(FormTest, UsageHelpShowsTheEightLines) {
    clickMenuBarCommand(form.get(), controlsOf(*form).MenuHelp);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    const auto& box = dialogs.shown[0];
    EXPECT_EQ(box.icon, MsgIcon::Information);
    EXPECT_EQ(box.buttons, MsgButtons::Ok);
    const QStringList lines = box.text.split("\r\n");
    ASSERT_EQ(lines.size(), 8);
    EXPECT_EQ(lines[0],
              QString("1.往视频素材来源文件夹中添加至少3个文件夹，代表待合并的视频片段数，"
                      "每个片段随机取自每个文件夹"));
    EXPECT_EQ(lines[3], QString("4.设定后台运行、多线程、硬件加速等模式"));
    EXPECT_EQ(lines[7], QString("8.执行视频合并指令，程序后台源源不断合并视频，只需不断往素材文件夹"
                                "中补充新视频片段mp4和背景音乐mp3"));
    for (int i = 0; i < 8; ++i) EXPECT_TRUE(lines[i].startsWith(QString::number(i + 1) + "."));
}

TEST_F(FormTest, StatusBarHasFivePanels) {
    Form1& f = *form;
    Form1Controls& c = controlsOf(f);
    EXPECT_EQ(c.StbPanels[0]->text(), QString("主页"));
    EXPECT_EQ(c.StbPanels[0]->toolTip(), QString("双击访问主页"));
    EXPECT_TRUE(c.StbPanels[1]->text().startsWith("联系方式："));
    EXPECT_GT(c.StbPanels[1]->text().size(), QString("联系方式：").size());
    EXPECT_EQ(c.StbPanels[2]->text(), QDate::currentDate().toString("yyyy-M-d"));
    const QTime shown = QTime::fromString(c.StbPanels[3]->text(), "HH:mm:ss");
    ASSERT_TRUE(shown.isValid());
    EXPECT_LE(std::abs(shown.secsTo(QTime::currentTime())), 5);
    EXPECT_EQ(c.StbPanels[4]->text(), QString("状态：未就绪"));
    for (QLabel* panel : c.StbPanels) EXPECT_EQ(panel->parentWidget(), c.Stb);

    // The clock keeps going.
    const QString before = c.StbPanels[3]->text();
    EXPECT_TRUE(QTest::qWaitFor([&] { return c.StbPanels[3]->text() != before; }, 60000));
    // Hidden (behind the tray icon) it rests; shown again it is right at once.
    f.hide();
    const QString hidden = c.StbPanels[3]->text();
    QTest::qWait(1500);
    EXPECT_EQ(c.StbPanels[3]->text(), hidden);
    f.show();
    EXPECT_NE(c.StbPanels[3]->text(), hidden);

    // A double click on panel 1 opens the homepage; other panels do nothing.
    QTest::mouseDClick(c.StbPanels[1], Qt::LeftButton);
    EXPECT_TRUE(dialogs.opened.isEmpty());
    QTest::mouseDClick(c.StbPanels[0], Qt::LeftButton);
    ASSERT_EQ(dialogs.opened.size(), 1);
    EXPECT_TRUE(dialogs.opened[0].startsWith("https://"));
}

TEST_F(FormTest, StatusLineFeedsPanelFive) {
    form->setStatus("状态：处理中...1/3");
    EXPECT_EQ(controlsOf(*form).LST->text(), QString("状态：处理中...1/3"));
    EXPECT_EQ(controlsOf(*form).StbPanels[4]->text(), QString("状态：处理中...1/3"));
}

// ---- frame size -------------------------------------------------------------------------------

TEST_F(FormTest, SizeFieldTakesOnlyDigitsBackspaceAndTimesSign) {
    focusAndSelectAll(controlsOf(*form).CmbSize);
    typeText(controlsOf(*form).CmbSize, "1a2b×c3 x-");
    EXPECT_EQ(controlsOf(*form).CmbSize->currentText(), QString("12×3"));
    EXPECT_EQ(dialogs.beeps, 6);  // a b c blank x -
    QTest::keyClick(controlsOf(*form).CmbSize, Qt::Key_Backspace);
    EXPECT_EQ(controlsOf(*form).CmbSize->currentText(), QString("12×"));
    EXPECT_EQ(dialogs.beeps, 6);
    typeText(controlsOf(*form).CmbSize, "中");
    EXPECT_EQ(controlsOf(*form).CmbSize->currentText(), QString("12×"));
    EXPECT_EQ(dialogs.beeps, 7);
}

TEST_F(FormTest, SizeIsMadeEvenWhenTheFieldIsLeft) {
    struct Case {
        const char* typed;
        const char* result;
        int beeps;
    };
    const Case cases[] = {
        {"721×1279", "722×1280", 0}, {"0×720", "0×720", 0},
        {"144×204", "144×204", 0},   {"720×", "720×1280", 1},
        {"×720", "720×1280", 1},     {"", "720×1280", 1},
        {"640×0", "720×1280", 1},    {"99999999999×2", "720×1280", 1},
        {"1×2×3", "2×2", 0},
    };
    for (const Case& c : cases) {
        dialogs.beeps = 0;
        controlsOf(*form).CmbSize->setCurrentIndex(5);
        focusAndSelectAll(controlsOf(*form).CmbSize);
        QTest::keyClick(controlsOf(*form).CmbSize, Qt::Key_Backspace);
        typeText(controlsOf(*form).CmbSize, c.typed);
        leaveField(controlsOf(*form).CmbSize);
        EXPECT_FALSE(controlsOf(*form).CmbSize->hasFocus())
            << c.typed;  // validation never holds the focus
        EXPECT_EQ(controlsOf(*form).CmbSize->currentText(), QString(c.result)) << c.typed;
        EXPECT_EQ(dialogs.beeps, c.beeps) << c.typed;
        if (c.beeps) {
            EXPECT_EQ(controlsOf(*form).CmbSize->currentIndex(), 0) << c.typed;
        }
    }
}

TEST_F(FormTest, SizePickedFromTheListLosesItsBlank) {
    QTest::mouseClick(controlsOf(*form).CmbSize, Qt::LeftButton);
    controlsOf(*form).CmbSize->showPopup();
    // Down arrow from 720×1280 to "640×480 ", Enter picks it.
    QWidget* popup = controlsOf(*form).CmbSize->view();
    ASSERT_TRUE(QTest::qWaitFor([popup] { return popup->isVisible(); }));
    QTest::keyClick(popup, Qt::Key_Down);
    QTest::keyClick(popup, Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([popup] { return !popup->isVisible(); }));
    EXPECT_EQ(controlsOf(*form).CmbSize->currentText(), QString("640×480 "));
    leaveField(controlsOf(*form).CmbSize);
    EXPECT_EQ(controlsOf(*form).CmbSize->currentText(), QString("640×480"));
    EXPECT_EQ(dialogs.beeps, 0);
}

TEST(ParamRules, SizeAndLengthRules) {
    EXPECT_EQ(ParamRules::NormalizedSize(" 721 × 1279 "), QString("722×1280"));
    EXPECT_EQ(ParamRules::NormalizedSize("2147483647×2"), std::nullopt);  // odd width overflows
    EXPECT_EQ(ParamRules::NormalizedSize("2147483646×2"), QString("2147483646×2"));
    EXPECT_EQ(ParamRules::NormalizedSize("-4×2"), std::nullopt);
    EXPECT_EQ(ParamRules::NormalizedSize("720x1280"), std::nullopt);  // the letter x
    EXPECT_EQ(ParamRules::ClampedLength("99999999999999999999"), QString("60"));
    EXPECT_EQ(ParamRules::ClampedLength("007"), QString("7"));
    EXPECT_TRUE(ParamRules::IsUsablePathText("/tmp/a b/'单引号'/中文"));
    for (const char* bad : {"/a|b", "/a<b", "/a>b", "/a\"b", "/a*", "/a?", "/a\tb", "/a\nb"})
        EXPECT_FALSE(ParamRules::IsUsablePathText(bad)) << bad;
    EXPECT_FALSE(ParamRules::IsUsablePathText(QString("/a") + QChar(u'\0')));
}

// ---- play length and bit rate -----------------------------------------------------------------

TEST_F(FormTest, PlayLengthIsClampedWhenTheFieldIsLeft) {
    struct Case {
        const char* typed;
        const char* result;
    };
    const Case cases[] = {{"3", "5"}, {"75", "60"}, {"0", "0"},     {"", "0"},
                          {"5", "5"}, {"60", "60"}, {"00012", "12"}};
    for (const Case& c : cases) {
        focusAndSelectAll(controlsOf(*form).TLeng);
        QTest::keyClick(controlsOf(*form).TLeng, Qt::Key_Backspace);
        typeText(controlsOf(*form).TLeng, c.typed);
        leaveField(controlsOf(*form).TLeng);
        EXPECT_EQ(controlsOf(*form).TLeng->text(), QString(c.result)) << c.typed;
    }
}

TEST_F(FormTest, PlayLengthAndBitRateTakeDigitsOnly) {
    for (QLineEdit* field : {controlsOf(*form).TLeng, controlsOf(*form).TBits}) {
        dialogs.beeps = 0;
        focusAndSelectAll(field);
        typeText(field, "1a.2-3 ");
        EXPECT_EQ(field->text(), QString("123"));
        EXPECT_EQ(dialogs.beeps, 4);
        // Pasted text that is not all digits is refused as a whole, with a beep.
        pasteText(field, "4x5");
        EXPECT_EQ(field->text(), QString("123"));
        EXPECT_EQ(dialogs.beeps, 5);
        pasteText(field, "45");
        EXPECT_EQ(field->text(), QString("12345"));
    }
}

TEST_F(FormTest, BitRateHoldsFiveDigitsAsTyped) {
    for (const char* typed : {"99999", "0", "50"}) {
        focusAndSelectAll(controlsOf(*form).TBits);
        typeText(controlsOf(*form).TBits, typed);
        leaveField(controlsOf(*form).TBits);
        EXPECT_EQ(controlsOf(*form).TBits->text(), QString(typed));
    }
    focusAndSelectAll(controlsOf(*form).TBits);
    typeText(controlsOf(*form).TBits, "1234567");
    EXPECT_EQ(controlsOf(*form).TBits->text(), QString("12345"));
    // An emptied field gets its start value back when it is left.
    focusAndSelectAll(controlsOf(*form).TBits);
    QTest::keyClick(controlsOf(*form).TBits, Qt::Key_Backspace);
    leaveField(controlsOf(*form).TBits);
    EXPECT_EQ(controlsOf(*form).TBits->text(), QString("10000"));
}

TEST_F(FormTest, FrameRateSpinnerStepsByOneUpToFifty) {
    QTest::mouseClick(controlsOf(*form).UpDown1, Qt::LeftButton);
    QTest::keyClick(controlsOf(*form).UpDown1, Qt::Key_Up);
    EXPECT_EQ(controlsOf(*form).TPfs->text(), QString("26"));
    for (int i = 0; i < 40; ++i) QTest::keyClick(controlsOf(*form).UpDown1, Qt::Key_Up);
    EXPECT_EQ(controlsOf(*form).TPfs->text(), QString("50"));
    // The text itself cannot be typed into.
    typeText(controlsOf(*form).TPfs, "7");
    EXPECT_EQ(controlsOf(*form).TPfs->text(), QString("50"));
}

// ---- tick boxes ---------------------------------------------------------------------------------

TEST_F(FormTest, HardwareTickEnablesTheEncoderListAndSelectsThePreferredEncoder) {
    controlsOf(*form).ChSpeed->setEnabled(true);
    form->addAccelerator("Intel显卡硬件加速");
    form->addAccelerator("NVIDIA显卡硬件加速");
    EXPECT_EQ(controlsOf(*form).CmbAcc->currentIndex(), -1);
    form->setPreferredEncoderIndex(1);

    QTest::mouseClick(controlsOf(*form).ChSpeed, Qt::LeftButton);
    EXPECT_TRUE(controlsOf(*form).ChSpeed->isChecked());
    EXPECT_TRUE(controlsOf(*form).CmbAcc->isEnabled());
    EXPECT_EQ(controlsOf(*form).CmbAcc->currentIndex(), 1);

    controlsOf(*form).CmbAcc->setCurrentIndex(0);
    QTest::mouseClick(controlsOf(*form).ChSpeed, Qt::LeftButton);
    EXPECT_FALSE(controlsOf(*form).ChSpeed->isChecked());
    EXPECT_FALSE(controlsOf(*form).CmbAcc->isEnabled());
    EXPECT_EQ(controlsOf(*form).CmbAcc->currentIndex(),
              1);  // unticking also selects the preferred one

    // A preferred index outside the list leaves the selection.
    form->setPreferredEncoderIndex(5);
    QTest::mouseClick(controlsOf(*form).ChSpeed, Qt::LeftButton);
    EXPECT_EQ(controlsOf(*form).CmbAcc->currentIndex(), 1);
}

TEST_F(FormTest, MusicTickEnablesTheMusicFolderCommand) {
    QTest::mouseClick(controlsOf(*form).ChAudio, Qt::LeftButton);
    EXPECT_FALSE(controlsOf(*form).ChAudio->isChecked());
    EXPECT_FALSE(controlsOf(*form).MemuAudio->isEnabled());
    QTest::mouseClick(controlsOf(*form).ChAudio, Qt::LeftButton);
    EXPECT_TRUE(controlsOf(*form).MemuAudio->isEnabled());
}

}  // namespace

namespace {

// Whatever is typed or pasted into the fields, each ends in a form a run can use.
TEST_F(FormTest, AnyTextInAnyFieldEndsValid) {
    const QStringList nasty = {"",
                               " ",
                               "abc",
                               "720x1280",
                               "×",
                               "××××",
                               "１２３×４５６",  // full-width digits
                               "-1×-1",
                               "1e5×2",
                               "99999999999999999999×99999999999999999999",
                               "中文路径\"'|<>*?",
                               QString(300, QChar(u'9')),
                               QString("12") + QChar(u'\0') + "34",
                               "\t\r\n"};
    for (const QString& text : nasty) {
        for (QWidget* field : {static_cast<QWidget*>(controlsOf(*form).CmbSize),
                               static_cast<QWidget*>(controlsOf(*form).TLeng),
                               static_cast<QWidget*>(controlsOf(*form).TBits)}) {
            ui_test::focusAndSelectAll(field);
            ui_test::pasteText(field, text);
            ui_test::typeText(field, text.left(20));
            ui_test::leaveField(field);
        }
        EXPECT_TRUE(
            ParamRules::NormalizedSize(controlsOf(*form).CmbSize->currentText()).has_value())
            << controlsOf(*form).CmbSize->currentText().toStdString();
        const QString len = controlsOf(*form).TLeng->text();
        bool ok = false;
        const int v = len.toInt(&ok);
        EXPECT_TRUE(ok && (v == 0 || (v >= 5 && v <= 60))) << len.toStdString();
        const QString bits = controlsOf(*form).TBits->text();
        EXPECT_TRUE(!bits.isEmpty() && bits.size() <= 5 &&
                    bits.toStdString().find_first_not_of("0123456789") == std::string::npos)
            << bits.toStdString();
    }
    // The paste box takes any text without losing its limit of 200 characters.
    for (const QString& text : nasty) {
        ui_test::focusAndSelectAll(controlsOf(*form).TDir);
        ui_test::pasteText(controlsOf(*form).TDir, text);
        EXPECT_LE(controlsOf(*form).TDir->text().size(), 200);
    }
    EXPECT_EQ(controlsOf(*form).List1->count(), 0);
}

}  // namespace
