#include <gtest/gtest.h>

#include "platform/Platform.h"
#include "shell/NewDir.h"
#include "tests/support/ScriptedDialogs.h"

namespace {

struct Case {
    const char* chosen;
    const char* expected;
};

TEST(NewDir, NormalisesWindowsChoices) {
    const Case cases[] = {
        {"D:\\clips", "D:\\clips"},
        {"D:\\", "D:"},                              // a drive root keeps drive and colon only
        {"\\\\server\\share", "\\\\server\\share"},  // a network share keeps its "\\"
        {"\\\\server\\share\\", "\\\\server\\share"},
        {"D:\\clips\\", "D:\\clips"},
        {"D:\\a\\\\b", "D:\\a\\b"},
        {"D:\\a\\\\\\b", "D:\\a\\\\b"},  // one replacement pass: three leave two
        {"D:\\视频 素材", "D:\\视频 素材"},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(NewDir::NormalizeFolder(c.chosen, '\\'), c.expected) << c.chosen;
}

TEST(NewDir, NormalisesPosixChoices) {
    const Case cases[] = {
        {"/", "/"},
        {"//", "/"},
        {"/home/x/clips/", "/home/x/clips"},
        {"/home//x///clips", "/home/x/clips"},
        {"/home/x/clips", "/home/x/clips"},
        {"/tmp/a b/\"q\"/中文//", "/tmp/a b/\"q\"/中文"},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(NewDir::NormalizeFolder(c.chosen, '/'), c.expected) << c.chosen;
}

TEST(NewDir, InitialFolderEndsInOneSeparator) {
    EXPECT_EQ(NewDir::InitialFolderText("D:\\clips", '\\'), "D:\\clips\\");
    EXPECT_EQ(NewDir::InitialFolderText("D:\\clips\\", '\\'), "D:\\clips\\");
    EXPECT_EQ(NewDir::InitialFolderText("/home/x", '/'), "/home/x/");
    EXPECT_EQ(NewDir::InitialFolderText("", '/'), "");
}

TEST(NewDir, BrowsesThroughTheDialogService) {
    ScriptedDialogs dialogs;
    const std::string s = platform::sepStr();
    const QString chosen = QString::fromStdString(s + "home" + s + s + "x" + s + "clips" + s);
    dialogs.folders = {chosen, QString()};
    EXPECT_EQ(NewDir::BrowseForFolder(dialogs, "指定输出目录：", QString(), true),
              QString::fromStdString(s + "home" + s + "x" + s + "clips"));
    // Cancel gives the empty text.
    EXPECT_EQ(NewDir::BrowseForFolder(dialogs, "指定mp3背景音频来源文件夹：", QString(), false),
              QString());
    EXPECT_EQ(dialogs.prompts, QStringList({"指定输出目录：", "指定mp3背景音频来源文件夹："}));
}

}  // namespace
