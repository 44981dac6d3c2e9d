// The shell start and the process list with real Windows programs: a helper that records how it
// was started, one that runs until told to stop, one that starts a tool tied to itself.

#include <gtest/gtest.h>
#include <windows.h>
// After windows.h:
#include <shellapi.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <iostream>
#include <set>
#include <thread>

#include "merge/MergeTexts.h"
#include "platform/Platform.h"
#include "platform/win32/CodePage.h"
#include "tests/win32/WinTestSupport.h"

namespace {

using wintest::TempDir;

struct EchoRecord {
    int pid = 0;
    std::string folder, show, raw;
    std::vector<std::string> args;
};

// The record the echo helper wrote into its working folder (waiting until it is there).
EchoRecord readEcho(const std::string& folder) {
    const std::string path = folder + "\\args.txt";
    EXPECT_TRUE(wintest::waitForFile(path)) << path;
    const auto fields = wintest::readRecords(path);
    EchoRecord r;
    if (fields.size() < 5) return r;
    r.pid = std::stoi(fields[0]);
    r.folder = fields[1];
    r.show = fields[2];
    r.raw = fields[3];
    r.args.assign(fields.begin() + 5, fields.end());
    EXPECT_EQ(r.args.size(), static_cast<size_t>(std::stoi(fields[4])));
    return r;
}

std::string stageEcho(const std::string& folder, const std::string& name) {
    return wintest::stageCopy(wintest::builtHelper("sw_win_argecho.exe"), folder, name);
}
std::string stageSleeper(const std::string& folder, const std::string& name) {
    return wintest::stageCopy(wintest::builtHelper("sw_win_sleeper.exe"), folder, name);
}

// Starts exePath through the shell start and returns the pid of the new process of its name.
int startAndFind(const std::string& exePath, const std::string& params) {
    const std::string name = exePath.substr(exePath.rfind('\\') + 1);
    const auto before = wintest::pidsNamed(name);
    const std::set<int> known(before.begin(), before.end());
    if (platform::shellExecute(exePath, params, exePath.substr(0, exePath.rfind('\\')), true) != 42)
        return -1;
    for (int i = 0; i < 12000; ++i) {
        for (int pid : wintest::pidsNamed(name))
            if (!known.count(pid)) return pid;
        ::Sleep(5);
    }
    return -1;
}

bool sameIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

TEST(ShellStart, HiddenChildGetsExactlyTheIntendedArgumentsInItsFolder) {
    WINTEST_NEEDS_GBK();
    TempDir tmp;
    const std::string folder = tmp.str() + "\\程序 folder's 1";
    const std::string exe = stageEcho(folder, "Arg Echo.exe");
    ASSERT_FALSE(exe.empty());
    const std::string params =
        R"("C:\视频 素材\it's a clip.mp4" -vf "scale=176:144" "C:\dir with blank\\" )"
        R"(\\server\share "he said \"hi\"" 'single' 中文 plain)";
    ASSERT_EQ(platform::shellExecute(exe, params, folder, true), 42);
    const EchoRecord r = readEcho(folder);
    EXPECT_EQ(r.args, platform::splitCommandLine(params));
    EXPECT_EQ(r.args,
              (std::vector<std::string>{"C:\\视频 素材\\it's a clip.mp4", "-vf", "scale=176:144",
                                        "C:\\dir with blank\\", "\\\\server\\share",
                                        R"(he said "hi")", "'single'", "中文", "plain"}));
    EXPECT_EQ(r.raw, params);
    EXPECT_EQ(r.show, "hidden");
    EXPECT_TRUE(sameIgnoringCase(r.folder, folder)) << r.folder;
    EXPECT_TRUE(wintest::waitForExit(r.pid));

    const std::string shown = tmp.sub("shown", true);
    ASSERT_EQ(platform::shellExecute(stageEcho(shown, "echo.exe"), "one", shown, false), 42);
    const EchoRecord s = readEcho(shown);
    EXPECT_EQ(s.args, std::vector<std::string>{"one"});
    EXPECT_EQ(s.show, "shown");
}

// Wine's shell answers 33 for a started program where Windows answers 42; callers see 42 either
// way, and a failure as the shell's own value.
TEST(ShellStart, SuccessIs42AndFailuresAreTheShellsValue) {
    TempDir tmp;
    const std::string folder = tmp.sub("bad", true);
    const std::string exe = stageEcho(folder, "echo.exe");
    const auto ansiExe = platform::win32::toCodePage(exe),
               ansiFolder = platform::win32::toCodePage(folder);
    const auto raw = reinterpret_cast<std::intptr_t>(
        ::ShellExecuteA(nullptr, "open", ansiExe->c_str(), "raw", ansiFolder->c_str(), SW_HIDE));
    std::cout << "the shell itself answered " << raw << " for a started program\n";
    EXPECT_GT(raw, 32);
    EXPECT_EQ(readEcho(folder).args, std::vector<std::string>{"raw"});
    ASSERT_TRUE(platform::deleteFile(folder + "\\args.txt"));
    EXPECT_EQ(platform::shellExecute(exe, "layer", folder, true), 42);
    EXPECT_EQ(readEcho(folder).args, std::vector<std::string>{"layer"});

    EXPECT_EQ(platform::shellExecute(folder + "\\missing.exe", "", folder, true), 2);
    EXPECT_EQ(platform::shellExecute("missing-anywhere.exe", "", folder, true), 2);
    EXPECT_EQ(platform::shellExecute("", "", folder, true), 2);
    EXPECT_EQ(platform::shellExecute(folder, "", folder, true), 2);
    int pid = -1;
    EXPECT_EQ(platform::startTool(folder + "\\missing.exe", "", folder, true, &pid), 2);
    EXPECT_EQ(pid, 0);
    // A text that the code page cannot carry starts nothing.
    ASSERT_TRUE(platform::deleteFile(folder + "\\args.txt"));
    EXPECT_EQ(platform::shellExecute(exe, "clip😀.mp4", folder, true), 2);
    EXPECT_EQ(platform::shellExecute(folder + "\\echo 😀.exe", "", folder, true), 2);
    ::Sleep(200);
    EXPECT_FALSE(platform::pathExists(folder + "\\args.txt"));
}

TEST(ShellStart, BareNameComesFromTheWorkingFolder) {
    TempDir tmp;
    const std::string work = tmp.str() + "\\work dir";
    stageEcho(work, "twin.exe");
    EXPECT_EQ(platform::shellExecute("twin.exe", "w", work, true), 42);
    EXPECT_EQ(readEcho(work).args, std::vector<std::string>{"w"});
}

// Pressling's start: the six TAB-separated fields of a program folder with blanks arrive whole in
// the raw command line.
TEST(RawCommandLine, SixTabSeparatedFieldsArriveWhole) {
    WINTEST_NEEDS_GBK();
    TempDir tmp;
    const std::string folder = tmp.str() + "\\压缩 程序 dir";
    const std::string exe = stageEcho(folder, "Pressling.exe");
    const std::string params = MergeTexts::CompressorParams(folder, '\\');
    ASSERT_EQ(platform::shellExecute(exe, params, folder, true), 42);
    const EchoRecord r = readEcho(folder);
    EXPECT_EQ(r.raw, params);
    std::vector<std::string> fields;
    size_t start = 0;
    for (size_t tab; (tab = r.raw.find('\t', start)) != std::string::npos; start = tab + 1)
        fields.push_back(r.raw.substr(start, tab - start));
    fields.push_back(r.raw.substr(start));
    EXPECT_EQ(fields, (std::vector<std::string>{folder, "Vidforge.exe", folder + "\\CompList.txt",
                                                "32", "25", "10000"}));
    // The C runtime's own split breaks the folder at its blanks.
    EXPECT_GT(r.args.size(), 6u);
}

// What the tool supervision asks (the last match's name, then the list by name): true while the
// tool runs, false at the first call after it ended, even while someone still holds a handle.
TEST(ProcessList, ToolSeenWhileRunningAndGoneAtTheFirstCallAfterItEnds) {
    TempDir tmp;
    const std::string folder = tmp.str() + "\\tool dir";
    const std::string exe = stageSleeper(folder, "Vidforge.exe");
    const std::string stop = folder + "\\stop";
    const int pid = startAndFind(exe, "\"" + stop + "\"");
    ASSERT_GT(pid, 0);
    const auto isTool = [](std::string_view name) {
        return sameIgnoringCase(name, "VIDFORGE.EXE");
    };
    EXPECT_EQ(platform::findProcess(isTool), pid);
    EXPECT_EQ(platform::processName(pid), "Vidforge.exe");
    EXPECT_EQ(platform::findProcess([](std::string_view n) { return n == "Vidforge"; }), 0);
    std::string path;
    for (const auto& p : platform::listProcesses())
        if (p.pid == pid) path = p.path;
    EXPECT_TRUE(sameIgnoringCase(platform::canonicalPath(path), platform::canonicalPath(exe)))
        << path;

    HANDLE watch = ::OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
    ASSERT_TRUE(watch);
    ASSERT_TRUE(platform::writeFile(stop, ""));
    ASSERT_EQ(::WaitForSingleObject(watch, 60000), WAIT_OBJECT_0);
    EXPECT_EQ(platform::processName(pid), "");
    EXPECT_EQ(platform::findProcess(isTool), 0);
    EXPECT_TRUE(wintest::pidsNamed("Vidforge.exe").empty());
    EXPECT_FALSE(platform::killProcess(pid));
    ::CloseHandle(watch);
}

// Processes that start and end while the list is read (some end between the snapshot and their
// opening): every entry read is whole, and the caller is always there under its own name.
TEST(ProcessList, ProcessesComingAndGoingWhileTheListIsRead) {
    TempDir tmp;
    const std::string exe = stageEcho(tmp.str(), "short lived.exe");
    std::atomic<bool> done{false};
    std::thread starter([&] {
        while (!done) platform::shellExecute(exe, "x", tmp.str(), true);
    });
    const std::string self = platform::processName(platform::currentProcessId());
    EXPECT_EQ(self.substr(self.size() - 4), ".exe");
    for (int i = 0; i < 100; ++i) {
        const auto list = platform::listProcesses();
        bool foundSelf = false;
        for (size_t k = 0; k < list.size(); ++k) {
            EXPECT_GT(list[k].pid, 0);
            EXPECT_FALSE(list[k].name.empty());
            if (k > 0) {
                EXPECT_LT(list[k - 1].pid, list[k].pid);
            }
            if (list[k].pid == platform::currentProcessId()) foundSelf = list[k].name == self;
        }
        EXPECT_TRUE(foundSelf);
    }
    done = true;
    starter.join();
    for (int pid : wintest::pidsNamed("short lived.exe")) EXPECT_TRUE(wintest::waitForExit(pid));
    EXPECT_FALSE(platform::killProcess(0));
    EXPECT_EQ(platform::processName(0), "");
}

TEST(StartTool, EndedToolIsForgottenAndCanBeAskedAbout) {
    TempDir tmp;
    const std::string folder = tmp.str() + "\\tool dir";
    const std::string exe = stageEcho(folder, "Vidforge.exe");
    int pid = 0;
    ASSERT_EQ(platform::startTool(exe, "a b", folder, true, &pid), 42);
    ASSERT_GT(pid, 0);
    EXPECT_EQ(readEcho(folder).pid, pid);
    EXPECT_TRUE(wintest::waitForExit(pid));
    EXPECT_FALSE(platform::startedRunning(pid));
    EXPECT_FALSE(platform::endStarted(pid));
    EXPECT_FALSE(platform::startedRunning(0));
}

TEST(StartTool, EndStartedEndsOnlyThatTool) {
    TempDir tmp;
    const std::string exe = stageSleeper(tmp.str(), "Vidforge.exe");
    int first = 0, second = 0;
    ASSERT_EQ(platform::startTool(exe, "", tmp.str(), true, &first), 42);
    ASSERT_EQ(platform::startTool(exe, "", tmp.str(), true, &second), 42);
    EXPECT_TRUE(platform::startedRunning(first));
    EXPECT_TRUE(platform::endStarted(first));
    EXPECT_TRUE(wintest::waitForExit(first));
    EXPECT_FALSE(platform::startedRunning(first));
    EXPECT_TRUE(platform::startedRunning(second));
    EXPECT_EQ(platform::processName(second), "Vidforge.exe");
    // Not a program this process started.
    EXPECT_FALSE(platform::endStarted(platform::currentProcessId()));
    EXPECT_TRUE(platform::endStarted(second));
    EXPECT_TRUE(wintest::waitForExit(second));
    EXPECT_FALSE(platform::startedRunning(second));
}

// The end of a started tool, by itself or ended by us, signals the event an event loop watches,
// so a wait for it need not look again and again.
TEST(StartTool, EndOfAToolSignalsTheEndedEvent) {
    TempDir tmp;
    const std::string exe = stageSleeper(tmp.str(), "Vidforge.exe");
    const auto ended = static_cast<HANDLE>(platform::startedEndedEvent());
    ASSERT_NE(ended, nullptr);
    for (const bool endedByUs : {false, true}) {
        SCOPED_TRACE(endedByUs ? "ended by us" : "ends by itself");
        const std::string stop = tmp.str() + (endedByUs ? "\\never" : "\\stop");
        int pid = 0;
        ASSERT_EQ(platform::startTool(exe, "\"" + stop + "\"", tmp.str(), true, &pid), 42);
        ASSERT_TRUE(platform::startedRunning(pid));
        platform::drainStartedEnded();
        if (endedByUs)
            EXPECT_TRUE(platform::endStarted(pid));
        else
            ASSERT_TRUE(platform::writeFile(stop, ""));
        EXPECT_EQ(::WaitForSingleObject(ended, 60000), WAIT_OBJECT_0);
        EXPECT_TRUE(wintest::waitForExit(pid));
        EXPECT_FALSE(platform::startedRunning(pid));
    }
}

// A tool dies with its starter, however the starter ends; a program handed work does not.
TEST(StartTool, ToolDiesWithItsKilledStarterButAProgramOutlivesIt) {
    WINTEST_NEEDS_GBK();
    TempDir tmp;
    const std::string folder = tmp.str() + "\\it's 程序";
    const std::string tool = stageSleeper(folder, "Vidforge.exe");
    const std::string starter =
        wintest::stageCopy(wintest::builtHelper("sw_win_starter.exe"), folder, "Stitchwell.exe");
    ASSERT_FALSE(tool.empty());
    ASSERT_FALSE(starter.empty());
    const std::string pidFile = folder + "\\tool.pid";
    const std::string params = "\"" + tool + "\" \"\" \"" + folder + "\" \"" + pidFile + "\"";
    const int starterPid = startAndFind(starter, params);
    ASSERT_GT(starterPid, 0);
    ASSERT_TRUE(wintest::waitForFile(pidFile));
    const int toolPid = std::stoi(platform::readFile(pidFile).value_or("0"));
    ASSERT_GT(toolPid, 0);
    EXPECT_EQ(platform::processName(toolPid), "Vidforge.exe");
    wintest::killAndWait(starterPid);
    EXPECT_TRUE(wintest::waitForExit(toolPid));
    EXPECT_EQ(platform::processName(toolPid), "");

    // The same start without the tie: the program lives on.
    const int program = startAndFind(tool, "");
    ASSERT_GT(program, 0);
    EXPECT_EQ(platform::processName(program), "Vidforge.exe");
    wintest::killAndWait(program);
}

}  // namespace
