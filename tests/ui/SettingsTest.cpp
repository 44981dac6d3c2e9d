// The settings store, and restoring the acceleration choices into the window.
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QSettings>

#include "tests/ui/FormTestSupport.h"

namespace {

TEST(Settings, ReadsDefaultsAndKeepsWrittenTextAcrossInstances) {
    testsupport::TempDir tmp;
    const QString ini = tmp.sub("store/Stitchwell.ini");
    {
        Settings s(ini);
        EXPECT_EQ(s.ReadSetting("Accelerate", 0), QString("0"));
        EXPECT_EQ(s.ReadSetting("SaveDir", "C:\\Temp"), QString("C:\\Temp"));
        EXPECT_EQ(s.accelerate(), false);
        EXPECT_EQ(s.accIndex(), 0);
        EXPECT_TRUE(s.accs().isEmpty());
        EXPECT_EQ(s.cmbAcc(1), 1);  // defaults to the index given
        s.setAccelerate(true);
        s.setAccIndex(1);
        s.setAccs({"Intel显卡硬件加速", "NVIDIA显卡硬件加速"});
        s.setAccSessions({3, 1});
        s.setSpeed(true);
        s.setCmbAcc(-1);
        s.setSaveDir("/视频/输出, 第一批");
        s.setMoveDir("/used \"q\"");
    }
    Settings s(ini);
    EXPECT_EQ(s.ReadSetting("Accelerate", 0), QString("1"));
    EXPECT_EQ(s.ReadSetting("Accs", ""), QString("Intel显卡硬件加速\r\nNVIDIA显卡硬件加速\r\n"));
    EXPECT_EQ(s.accs(), QStringList({"Intel显卡硬件加速", "NVIDIA显卡硬件加速"}));
    EXPECT_EQ(s.accSessions(), (std::vector<int>{3, 1}));
    EXPECT_EQ(s.ReadSetting("Speed", 0), QString("1"));
    EXPECT_EQ(s.cmbAcc(0), -1);
    EXPECT_EQ(s.saveDir("x"), QString("/视频/输出, 第一批"));
    EXPECT_EQ(s.moveDir("x"), QString("/used \"q\""));

    // Every key lives in the section "Default" of the file.
    QSettings raw(ini, QSettings::IniFormat);
    EXPECT_EQ(raw.childGroups(), QStringList({"Default"}));
    raw.beginGroup("Default");
    QStringList keys = raw.childKeys();
    keys.sort();
    EXPECT_EQ(keys, QStringList({"AccIndex", "AccSessions", "Accelerate", "Accs", "CmbAcc",
                                 "MoveDir", "SaveDir", "Speed"}));
}

TEST(Settings, TheUsersStoreIsAddressedByTheApplicationName) {
    testsupport::TempDir tmp;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, tmp.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, tmp.path());
    {
        Settings s;
        s.WriteSetting("SaveDir", "/out");
        EXPECT_TRUE(s.location().startsWith(tmp.path() + "/Stitchwell/Stitchwell"));
    }
    QFile file(QDir(tmp.path() + "/Stitchwell").entryInfoList(QDir::Files).value(0).filePath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    EXPECT_TRUE(text.contains("[Default]"));
    EXPECT_TRUE(text.contains("SaveDir=/out"));
}

TEST(Settings, ConvertsStoredText) {
    EXPECT_EQ(Settings::toBool("1"), true);
    EXPECT_EQ(Settings::toBool("0"), false);
    EXPECT_EQ(Settings::toBool("-1"), true);
    EXPECT_EQ(Settings::toBool("True"), true);
    EXPECT_EQ(Settings::toBool("abc"), std::nullopt);
    EXPECT_EQ(Settings::toBool(""), std::nullopt);
    EXPECT_EQ(Settings::toInt16(" 1 "), 1);
    EXPECT_EQ(Settings::toInt16("-1"), -1);
    EXPECT_EQ(Settings::toInt16("2.5"), 2);  // halves to even
    EXPECT_EQ(Settings::toInt16("3.5"), 4);
    EXPECT_EQ(Settings::toInt16("32767"), 32767);
    EXPECT_EQ(Settings::toInt16("32768"), std::nullopt);
    EXPECT_EQ(Settings::toInt16("x1"), std::nullopt);
    EXPECT_EQ(Settings::toInt16(""), std::nullopt);
}

TEST(Settings, FolderDefaults) {
    EXPECT_EQ(Settings::defaultMoveDir("/opt/sw"), QString("/opt/sw/已使用素材"));
    const QString save = Settings::defaultSaveDir();
    EXPECT_TRUE(QDir::isAbsolutePath(save)) << save.toStdString();
    EXPECT_TRUE(save.endsWith("/Stitchwell")) << save.toStdString();
    EXPECT_FALSE(save.startsWith(QDir::tempPath())) << "a folder wiped at reboot";
}

// ---- restoring into the window ---------------------------------------------------------------

class RestoreTest : public FormTest {
protected:
    void store(const char* key, const QString& value) { settings->WriteSetting(key, value); }
};

TEST_F(RestoreTest, WithoutTheFlagNothingIsRestored) {
    store("Speed", "1");
    store("Accs", "Intel显卡硬件加速\r\n");
    EXPECT_FALSE(form->restoreAccelerationSettings());
    store("Accelerate", "0");
    EXPECT_FALSE(form->restoreAccelerationSettings());
    store("Accelerate", "yes?");
    EXPECT_FALSE(form->restoreAccelerationSettings());
    EXPECT_FALSE(controlsOf(*form).ChSpeed->isEnabled());
    EXPECT_EQ(controlsOf(*form).CmbAcc->count(), 0);
}

TEST_F(RestoreTest, FlagWithoutEncodersEnablesOnlyTheTick) {
    store("Accelerate", "1");
    ASSERT_TRUE(form->restoreAccelerationSettings());
    EXPECT_TRUE(controlsOf(*form).ChSpeed->isEnabled());
    EXPECT_FALSE(controlsOf(*form).ChSpeed->isChecked());
    EXPECT_EQ(controlsOf(*form).CmbAcc->count(), 0);
    EXPECT_EQ(controlsOf(*form).CmbAcc->currentIndex(), -1);
}

TEST_F(RestoreTest, SelectionOutsideTheListFailsSilently) {
    store("Accelerate", "1");
    store("Accs", "Intel显卡硬件加速\r\n");
    store("CmbAcc", "1");
    ASSERT_TRUE(form->restoreAccelerationSettings());
    ASSERT_EQ(controlsOf(*form).CmbAcc->count(), 1);
    EXPECT_EQ(controlsOf(*form).CmbAcc->itemText(0), QString("Intel显卡硬件加速"));
    EXPECT_EQ(controlsOf(*form).CmbAcc->currentIndex(), -1);
}

TEST_F(RestoreTest, RestoredTickEnablesTheListAndSelectsTheStoredEntry) {
    store("Accelerate", "1");
    store("Speed", "1");
    store("AccIndex", "1");
    store("Accs", "\r\nIntel显卡硬件加速\r\n\r\nNVIDIA显卡硬件加速\r\n");
    ASSERT_TRUE(form->restoreAccelerationSettings());
    EXPECT_TRUE(controlsOf(*form).ChSpeed->isChecked());
    EXPECT_TRUE(controlsOf(*form).CmbAcc->isEnabled());
    EXPECT_EQ(form->preferredEncoderIndex(), 1);
    ASSERT_EQ(controlsOf(*form).CmbAcc->count(), 2);
    EXPECT_EQ(controlsOf(*form).CmbAcc->currentIndex(), 1);  // "CmbAcc" absent: the preferred index
}

TEST_F(RestoreTest, ValuesThatCannotBeConvertedLeaveTheControls) {
    store("Accelerate", "1");
    store("Speed", "abc");
    store("AccIndex", "zz");
    store("Accs", "Intel显卡硬件加速\r\nNVIDIA显卡硬件加速\r\n");
    store("CmbAcc", "1");
    ASSERT_TRUE(form->restoreAccelerationSettings());
    EXPECT_TRUE(controlsOf(*form).ChSpeed->isEnabled());
    EXPECT_FALSE(controlsOf(*form).ChSpeed->isChecked());
    EXPECT_EQ(form->preferredEncoderIndex(), 0);
    EXPECT_EQ(controlsOf(*form).CmbAcc->currentIndex(), 1);

    store("CmbAcc", "many");
    store("Speed", "2");
    rebuild();
    ASSERT_TRUE(form->restoreAccelerationSettings());
    EXPECT_FALSE(controlsOf(*form).ChSpeed->isChecked());
    EXPECT_EQ(controlsOf(*form).CmbAcc->currentIndex(), -1);
}

}  // namespace
