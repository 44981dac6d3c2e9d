// The merge command up to the confirmation, and the run's own rules for names, with a scripted
// window. No tool is started here: every run is refused or cancelled at the confirmation.

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <set>

#include "merge/MergeRun.h"
#include "platform/Platform.h"
#include "tests/merge/ScriptedHost.h"
#include "tests/support/TestMedia.h"

namespace {

using testsupport::TempDir;

const std::string S = platform::sepStr();

void touch(const std::string& path) {
    std::ofstream(path) << "x";
}

std::string makeFolder(const TempDir& tmp, const std::string& name,
                       const std::vector<std::string>& files) {
    const std::string dir = tmp.sub(QString::fromStdString(name), true).toStdString();
    for (const auto& f : files) touch(dir + S + f);
    return dir;
}

struct Fixture {
    TempDir tmp;
    std::string program = tmp.sub("program", true).toStdString();
    ScriptedHost host;
    MergeRun run{host, MergeEnv{program, nullptr, nullptr}};
    Fixture() {
        host.run = &run.state();
        host.output = tmp.sub("out", true).toStdString();
        host.used = tmp.sub("used").toStdString();
    }
};

std::vector<std::string> clips(int n, const std::string& ext = ".mp4") {
    std::vector<std::string> v;
    for (int i = 0; i < n; ++i) v.push_back("c" + std::to_string(i) + ext);
    return v;
}

void expectUntouchedWindow(const ScriptedHost& host) {
    EXPECT_FALSE(host.locked);
    EXPECT_FALSE(host.run->Running);
    EXPECT_FALSE(host.trayIcon);
    EXPECT_TRUE(host.settings.empty());
}

}  // namespace

TEST(MergeSetup, RefusesWithoutMusicFolderOrSourceFolders) {
    Fixture f;
    f.host.entries = {makeFolder(f.tmp, "a", clips(2))};
    f.host.music = true;  // label still shows "Mp3背景音乐文件夹未指定"
    f.run.MenuDo_Click();
    ASSERT_EQ(f.host.asked.size(), 1u);
    EXPECT_EQ(f.host.asked[0].kind, "error");
    EXPECT_EQ(f.host.asked[0].text, "背景音乐文件夹未指定，操作被取消！");
    EXPECT_EQ(f.host.entries[0], f.tmp.sub("a").toStdString());  // not scanned
    expectUntouchedWindow(f.host);

    // a bare folder path that is gone is refused the same way
    f.host.asked.clear();
    f.host.audio = f.tmp.sub("gone").toStdString();
    f.run.MenuDo_Click();
    ASSERT_EQ(f.host.asked.size(), 1u);
    EXPECT_EQ(f.host.asked[0].text, "背景音乐文件夹未指定，操作被取消！");

    // music off: the label is ignored and not rewritten
    f.host.asked.clear();
    f.host.music = false;
    f.host.audio = "Mp3背景音乐文件夹未指定";
    f.host.answers = {false};
    f.run.MenuDo_Click();
    ASSERT_EQ(f.host.asked.size(), 1u);
    EXPECT_EQ(f.host.asked[0].kind, "okcancel");
    EXPECT_EQ(f.host.audio, "Mp3背景音乐文件夹未指定");

    Fixture g;
    g.host.music = false;
    g.run.MenuDo_Click();
    ASSERT_EQ(g.host.asked.size(), 1u);
    EXPECT_EQ(g.host.asked[0].kind, "error");
    EXPECT_EQ(g.host.asked[0].text, "视频素材来源文件夹列表数少于1个！操作被取消！");
    expectUntouchedWindow(g.host);

    // a size text that is not two whole numbers is refused before anything is read
    Fixture h;
    h.host.entries = {makeFolder(h.tmp, "a", clips(1))};
    h.host.size = "720×";
    h.run.MenuDo_Click();
    ASSERT_EQ(h.host.asked.size(), 1u);
    EXPECT_EQ(h.host.asked[0].kind, "error");
    expectUntouchedWindow(h.host);
}

TEST(MergeSetup, CountsClipsAndMusicIntoTheConfirmation) {
    Fixture f;
    const std::string a = makeFolder(f.tmp, "a", clips(5));
    const std::string b = makeFolder(f.tmp, "b", {"a.mp4", "b.MOV", "c.txt", "d", ".hidden.mp4"});
    const std::string c = makeFolder(f.tmp, "c", clips(7, ".mkv"));
    f.host.entries = {a, "MP4视频数：99\t" + b, c};
    f.host.music = false;
    f.host.answers = {false};
    f.run.MenuDo_Click();
    ASSERT_EQ(f.host.countAsked("okcancel"), 1);
    EXPECT_EQ(f.host.asked[0].text, MergeTexts::ConfirmText(2));
    EXPECT_EQ(f.host.asked[0].text.rfind("本次操作最多可生成2个视频", 0), 0u);
    // bare and counted entries both end in the counted form with the fresh count
    EXPECT_EQ(f.host.entries[0], "MP4视频数：5\t" + a);
    EXPECT_EQ(f.host.entries[1], "MP4视频数：2\t" + b);
    EXPECT_EQ(f.host.entries[2], "MP4视频数：7\t" + c);
    EXPECT_EQ(f.host.selectedRow, 2);
    EXPECT_TRUE(f.host.sawStatus("状态：初始化视频信息中...1/3"));
    EXPECT_EQ(f.host.status, "状态：初始化视频信息中...3/3");
    EXPECT_EQ(f.host.run->MadeCount, 0);
    expectUntouchedWindow(f.host);  // cancel: nothing saved, nothing locked

    // music on: one mp3 bounds the count; a counted label is re-read and rewritten
    const std::string music = makeFolder(f.tmp, "music", {"only.MP3", "notes.txt"});
    f.host.music = true;
    f.host.audio = "背景mp3音乐数：3   " + music;
    f.host.asked.clear();
    f.host.answers = {false};
    f.run.MenuDo_Click();
    EXPECT_EQ(f.host.asked.back().text, MergeTexts::ConfirmText(1));
    EXPECT_EQ(f.host.audio, "背景mp3音乐数：1   " + music);
    EXPECT_EQ(f.host.audioTagText, "1");

    // a bare music path passes the check, is listed and stays as it is
    for (int i = 0; i < 4; ++i) touch(music + S + "m" + std::to_string(i) + ".mp3");
    f.host.audio = music;
    f.host.asked.clear();
    f.host.answers = {false};
    f.run.MenuDo_Click();
    EXPECT_EQ(f.host.asked.back().text, MergeTexts::ConfirmText(2));
    EXPECT_EQ(f.host.audio, music);
    EXPECT_EQ(f.host.audioTagText, "5");
}

TEST(MergeSetup, FolderThatIsGoneCountsZeroAndKeepsItsPath) {
    Fixture f;
    const std::string gone = f.tmp.sub("gone").toStdString();
    f.host.entries = {gone, "MP4视频数：4\t" + gone};
    f.host.music = false;
    f.host.answers = {false};
    f.run.MenuDo_Click();
    EXPECT_EQ(f.host.asked.back().text, MergeTexts::ConfirmText(0));
    EXPECT_EQ(f.host.entries[0], "MP4视频数：0\t" + gone);
    EXPECT_EQ(f.host.entries[1], "MP4视频数：0\t" + gone);
}

TEST(MergeSetup, NamesACommandCannotCarryAreNotClips) {
    Fixture f;
    const std::string a =
        makeFolder(f.tmp, "a", {"ok one.mp4", "it's.mp4", "中文.mp4", "q\"uote.mp4", "e.mp"});
    const std::string q = makeFolder(f.tmp, "fold\"er", clips(3));
    f.host.entries = {a, q};
    f.host.music = false;
    f.host.answers = {false};
    f.run.MenuDo_Click();
    EXPECT_EQ(f.host.entries[0], "MP4视频数：4\t" + a);  // the shortened .mp counts, the quote not
    EXPECT_EQ(f.host.entries[1], "MP4视频数：0\t" + q);
}

TEST(MergeSetup, SecondMergeCommandDuringTheScanIsRefused) {
    Fixture f;
    f.host.entries = {makeFolder(f.tmp, "a", clips(2)), makeFolder(f.tmp, "b", clips(2))};
    f.host.music = false;
    f.host.answers = {false};
    int nested = 0;
    f.host.onPump = [&] {
        if (f.run.commandActive() && nested++ == 0) f.run.MenuDo_Click();
    };
    f.run.MenuDo_Click();
    EXPECT_GE(nested, 1);
    EXPECT_EQ(f.host.countAsked("okcancel"), 1);  // one confirmation, from the first command
    EXPECT_FALSE(f.run.commandActive());
}

// An output folder whose videos would be lost or fed back in is refused, a stored one included;
// the comparison sees through links.
TEST(MergeSetup, OutputFolderThatWouldLoseOrReuseVideosIsRefused) {
    Fixture f;
    const std::string a = makeFolder(f.tmp, "a", clips(1));
    const std::string tmps = makeFolder(f.tmp, "program/Tmps", {});
    const std::string link = f.tmp.str() + "/link to program";
    ASSERT_EQ(::symlink(f.program.c_str(), link.c_str()), 0);
    makeFolder(f.tmp, "used/2024-1-1", {});
    const std::pair<std::string, bool> outputs[] = {
        {f.program, true},
        {link + S, true},
        {tmps, true},
        {tmps + S + "inner", true},
        {a, true},
        {f.host.used, true},
        {f.host.used + S + "2024-1-1", true},
        {f.tmp.sub("out").toStdString(), false},
        {a + S + "sub", false},  // a folder inside a source is not listed with it
        {f.program + S + "Tmps2", false},
    };
    for (const auto& [output, refused] : outputs) {
        SCOPED_TRACE(output);
        EXPECT_EQ(OutputFolder::Refused(output, f.program, {"", a}, f.host.used), refused);
        ScriptedHost& host = f.host;
        host.asked.clear();
        host.entries = {a};
        host.music = false;
        host.output = output;
        host.answers = {false};
        f.run.MenuDo_Click();
        ASSERT_EQ(host.asked.size(), 1u);
        EXPECT_EQ(host.asked[0].kind, refused ? "error" : "okcancel");
        if (refused) expectUntouchedWindow(host);
    }
}
