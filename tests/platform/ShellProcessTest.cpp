// The shell start and the process list with real programs: a helper that records how it was
// started, copies of system programs and of the transcoder under chosen names.

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <map>
#include <thread>

#include "platform/Platform.h"
#include "tests/platform/ToolProcess.h"
#include "tests/support/TestMedia.h"

namespace {

using testsupport::TempDir;

struct EchoRecord {
    int pid = 0, sid = 0;
    std::string stdinKind, outputKind, terminal, raw;
    std::vector<std::string> args;
};

void waitForFile(const std::string& path, const std::string& other = {}) {
    while (!platform::fileExists(path) && (other.empty() || !platform::fileExists(other)))
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

// Reads the record the helper wrote into its working folder (waiting until it is there).
EchoRecord readEcho(const std::string& folder) {
    const std::string path = folder + "/args.txt";
    waitForFile(path);
    const std::string text = platform::readFile(path).value_or("");
    std::vector<std::string> fields;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\0') continue;
        fields.push_back(text.substr(start, i - start));
        start = i + 1;
    }
    EchoRecord r;
    if (fields.size() < 7) return r;
    r.pid = std::stoi(fields[0]);
    r.sid = std::stoi(fields[1]);
    r.stdinKind = fields[2];
    r.outputKind = fields[3];
    r.terminal = fields[4];
    r.raw = fields[5];
    r.args.assign(fields.begin() + 7, fields.end());
    EXPECT_EQ(r.args.size(), static_cast<size_t>(std::stoi(fields[6])));
    return r;
}

// No child of ours is left, ended or not.
void expectNoChildren() {
    int status = 0;
    errno = 0;
    EXPECT_EQ(::waitpid(-1, &status, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

// A started program never lingers as a zombie of ours: once it has ended, the next read of the
// process list leaves no child behind.
void expectNoZombieAfterEnd(int pid) {
    ASSERT_GT(pid, 0);
    siginfo_t info{};
    // Waits for the end without reaping; a program that is not our child is reaped elsewhere.
    if (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT) != 0) {
        EXPECT_EQ(errno, ECHILD);
    }
    platform::listProcesses();
    expectNoChildren();
}

std::string stageEcho(const std::string& folder, const std::string& name) {
    return tooltest::stageCopy(ARGECHO_PATH, folder, name);
}

TEST(ShellExecute, HiddenChildGetsExactlyTheIntendedArguments) {
    TempDir tmp;
    const std::string folder = tmp.str() + "/程序 folder's 1";
    const std::string exe = stageEcho(folder, "Arg Echo.exe");
    ASSERT_FALSE(exe.empty());
    const std::string params =
        R"("/视频 素材/it's a clip.mp4" -vf "scale=176:144" "C:\dir with blank\\" )"
        R"(\\server\share "he said \"hi\"" 'single' plain)";
    ASSERT_EQ(platform::shellExecute(exe, params, folder, true), 42);
    const EchoRecord r = readEcho(folder);
    EXPECT_EQ(r.args, platform::splitCommandLine(params));
    EXPECT_EQ(r.args,
              (std::vector<std::string>{"/视频 素材/it's a clip.mp4", "-vf", "scale=176:144",
                                        R"(C:\dir with blank\)", R"(\\server\share)",
                                        R"(he said "hi")", "'single'", "plain"}));
    EXPECT_EQ(r.raw, params);
    EXPECT_EQ(r.stdinKind, "stdin-null");
    EXPECT_EQ(r.outputKind, "output-null");
    EXPECT_EQ(r.terminal, "no-terminal");
    EXPECT_NE(r.sid, ::getsid(0));
    EXPECT_NE(r.sid, 0);
    expectNoZombieAfterEnd(r.pid);
}

TEST(ShellExecute, TabSeparatedTextOfAFolderWithBlanksArrivesWhole) {
    TempDir tmp;
    const std::string folder = tmp.str() + "/压缩 程序 dir";
    const std::string exe = stageEcho(folder, "Pressling.exe");
    const std::string params =
        folder + "\tVidforge.exe\t" + folder + "/CompList.txt\t32\t25\t10000";
    ASSERT_EQ(platform::shellExecute(exe, params, folder, true), 42);
    const EchoRecord r = readEcho(folder);
    EXPECT_EQ(r.raw, params);
    // The arguments themselves are split at the folder's blanks as well.
    EXPECT_EQ(r.args, platform::splitCommandLine(params));
    EXPECT_GT(r.args.size(), 6u);
}

TEST(ShellExecute, NormalStartKeepsOutputButNeverTheTerminalInput) {
    TempDir tmp;
    const std::string folder = tmp.str() + "/shown";
    const std::string exe = stageEcho(folder, "echo.exe");
    ASSERT_EQ(platform::shellExecute(exe, "one", folder, false), 42);
    const EchoRecord r = readEcho(folder);
    EXPECT_EQ(r.args, std::vector<std::string>{"one"});
    EXPECT_EQ(r.stdinKind, "stdin-null");
    EXPECT_EQ(r.terminal, "no-terminal");
    expectNoZombieAfterEnd(r.pid);
}

TEST(ShellExecute, BareNameComesFromTheWorkingFolderFirstThenTheSearchPath) {
    TempDir tmp;
    const std::string work = tmp.str() + "/work dir";
    const std::string onPath = tmp.str() + "/on path 中";
    stageEcho(work, "twin.exe");
    stageEcho(onPath, "pathonly.exe");
    // The search path's twin would leave a different file behind.
    ASSERT_TRUE(platform::writeFile(onPath + "/twin.exe", "#!/bin/sh\necho x > from-path.txt\n"));
    ASSERT_EQ(::chmod((onPath + "/twin.exe").c_str(), 0755), 0);
    const std::string oldPath = platform::environmentVariable("PATH");
    ::setenv("PATH", (onPath + ":" + oldPath).c_str(), 1);

    EXPECT_EQ(platform::shellExecute("twin.exe", "w", work, true), 42);
    waitForFile(work + "/args.txt", work + "/from-path.txt");
    EXPECT_EQ(readEcho(work).args, std::vector<std::string>{"w"});

    const std::string other = tmp.sub("other", true).toStdString();
    EXPECT_EQ(platform::shellExecute("pathonly.exe", "p", other, true), 42);
    EXPECT_EQ(readEcho(other).args, std::vector<std::string>{"p"});
    ::setenv("PATH", oldPath.c_str(), 1);
}

TEST(ShellExecute, FilesThatCannotRunGiveTwo) {
    TempDir tmp;
    const std::string folder = tmp.sub("bad", true).toStdString();
    EXPECT_EQ(platform::shellExecute(folder + "/missing.exe", "", folder, true), 2);
    EXPECT_EQ(platform::shellExecute("missing-anywhere.exe", "", folder, true), 2);
    EXPECT_EQ(platform::shellExecute("", "", folder, true), 2);
    ASSERT_TRUE(platform::writeFile(folder + "/plain.exe", "not a program"));
    EXPECT_EQ(platform::shellExecute(folder + "/plain.exe", "", folder, true), 2);
    // Marked runnable but not a program: the failure comes from the start itself.
    ASSERT_TRUE(platform::writeFile(folder + "/garbage.exe", std::string("\x7f"
                                                                         "ELF garbage")));
    ASSERT_EQ(::chmod((folder + "/garbage.exe").c_str(), 0755), 0);
    EXPECT_EQ(platform::shellExecute(folder + "/garbage.exe", "", folder, true), 2);
    EXPECT_EQ(platform::shellExecute(folder, "", folder, true), 2);
    const std::string exe = stageEcho(folder, "echo.exe");
    EXPECT_EQ(platform::shellExecute(exe, "", folder + "/no such folder", true), 2);
    expectNoChildren();
}

TEST(ProcessList, NamesComeFromTheExecutableWholeAndUncut) {
    TempDir tmp;
    const auto self = platform::listProcesses();
    const std::string ownName =
        testing::internal::GetArgvs()[0].substr(testing::internal::GetArgvs()[0].rfind('/') + 1);
    bool foundSelf = false;
    for (size_t i = 0; i < self.size(); ++i) {
        if (i > 0) {
            EXPECT_LT(self[i - 1].pid, self[i].pid);
        }
        if (self[i].pid == platform::currentProcessId()) {
            foundSelf = true;
            EXPECT_EQ(self[i].name, ownName);
        }
    }
    EXPECT_TRUE(foundSelf);

    // Longer than the kernel's 15-character short name, with a blank and Chinese characters.
    const std::string longName = "CompVidforge 长名字.exe";
    const std::string exe = tooltest::stageCopy("/bin/sleep", tmp.str(), longName);
    const int pid = tooltest::startAndFind(exe, "3600");
    ASSERT_GT(pid, 0);
    EXPECT_EQ(tooltest::pidsNamed(longName), std::vector<int>{pid});
    EXPECT_EQ(platform::processName(pid), longName);
    EXPECT_EQ(platform::findProcess([&](std::string_view n) { return n == longName; }), pid);
    EXPECT_EQ(platform::findProcess([](std::string_view n) { return n == "no such program"; }), 0);

    // A program whose file was deleted while it runs keeps its name.
    ASSERT_TRUE(platform::deleteFile(exe));
    EXPECT_EQ(tooltest::pidsNamed(longName), std::vector<int>{pid});

    EXPECT_TRUE(platform::killProcess(pid));
    tooltest::waitForExit(pid);
    EXPECT_TRUE(tooltest::pidsNamed(longName).empty());
    EXPECT_EQ(platform::processName(pid), "");
    EXPECT_FALSE(platform::killProcess(0));
    EXPECT_FALSE(platform::killProcess(0x7fffffff));
}

TEST(ProcessList, EndedButUnreapedProcessesAreLeftOut) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) ::_exit(0);
    // Wait (without reaping) until the child is a zombie.
    siginfo_t info{};
    ASSERT_EQ(::waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOWAIT), 0);
    const std::string stat =
        platform::readFile("/proc/" + std::to_string(child) + "/stat").value_or("");
    EXPECT_NE(stat.find(") Z "), std::string::npos) << stat;
    for (const auto& p : platform::listProcesses()) EXPECT_NE(p.pid, child);
    int status = 0;
    ::waitpid(child, &status, 0);
}

}  // namespace

namespace {

// True once /proc no longer lists the pid (ended and reaped). Gives up after a minute, which a
// program that ends at once never needs.
bool goneFromProcessTable(int pid) {
    const std::string entry = "/proc/" + std::to_string(pid);
    for (int i = 0; i < 60000 && platform::pathExists(entry); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return !platform::pathExists(entry);
}

// True once the process has ended: gone, or ended and waiting for a parent that is not us (an
// orphan is handed to the namespace's first process, which a test run may be itself).
bool ended(int pid) {
    const std::string stat = "/proc/" + std::to_string(pid) + "/stat";
    for (int i = 0; i < 60000; ++i) {
        const auto text = platform::readFile(stat);
        if (!text || text->find(") Z ") != std::string::npos) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

}  // namespace

TEST(StartTool, EndedToolIsReapedAtOnceAndCanBeAskedAbout) {
    TempDir tmp;
    const std::string folder = tmp.str() + "/tool dir";
    const std::string exe = stageEcho(folder, "Vidforge.exe");
    int pid = 0;
    ASSERT_EQ(platform::startTool(exe, "a b", folder, true, &pid), 42);
    ASSERT_GT(pid, 0);
    EXPECT_EQ(readEcho(folder).pid, pid);
    // Nothing of ours runs in between: the end alone takes it out of the process table.
    EXPECT_TRUE(goneFromProcessTable(pid));
    EXPECT_FALSE(platform::startedRunning(pid));
    EXPECT_FALSE(platform::endStarted(pid));
    expectNoChildren();

    int none = -1;
    EXPECT_EQ(platform::startTool(folder + "/missing.exe", "", folder, true, &none), 2);
    EXPECT_EQ(none, 0);
    EXPECT_FALSE(platform::startedRunning(0));
}

TEST(StartTool, EndStartedEndsOnlyThatTool) {
    TempDir tmp;
    const std::string a = tooltest::stageCopy("/bin/sleep", tmp.str(), "Vidforge.exe");
    int first = 0, second = 0;
    ASSERT_EQ(platform::startTool(a, "3600", tmp.str(), true, &first), 42);
    ASSERT_EQ(platform::startTool(a, "3600", tmp.str(), true, &second), 42);
    EXPECT_TRUE(platform::startedRunning(first));
    EXPECT_TRUE(platform::endStarted(first));
    EXPECT_TRUE(goneFromProcessTable(first));
    EXPECT_FALSE(platform::startedRunning(first));
    EXPECT_TRUE(platform::startedRunning(second));
    EXPECT_EQ(platform::processName(second), "Vidforge.exe");
    // Not a program this process started.
    EXPECT_FALSE(platform::endStarted(platform::currentProcessId()));
    EXPECT_TRUE(platform::endStarted(second));
    EXPECT_TRUE(goneFromProcessTable(second));
    expectNoChildren();
}

// A tool dies with its starter, however the starter ends; a program handed work does not.
TEST(StartTool, ToolDiesWithItsKilledStarterButAProgramOutlivesIt) {
    TempDir tmp;
    const std::string folder = tmp.str() + "/it's 程序";
    const std::string tool = tooltest::stageCopy("/bin/sleep", folder, "Vidforge.exe");
    const std::string starter = tooltest::stageCopy(STARTER_PATH, folder, "Stitchwell");
    ASSERT_FALSE(tool.empty());
    ASSERT_FALSE(starter.empty());
    const std::string pidFile = folder + "/tool.pid";
    const std::string params = "\"" + tool + "\" 3600 \"" + folder + "\" \"" + pidFile + "\"";
    const int starterPid = tooltest::startAndFind(starter, params);
    ASSERT_GT(starterPid, 0);
    waitForFile(pidFile);
    const int toolPid = std::stoi(platform::readFile(pidFile).value_or("0"));
    ASSERT_GT(toolPid, 0);
    EXPECT_EQ(platform::processName(toolPid), "Vidforge.exe");
    tooltest::killAndWait(starterPid);
    EXPECT_TRUE(ended(toolPid));

    // The same start without the tie: the program lives on.
    int program = 0;
    ASSERT_EQ(platform::shellExecute(tool, "3600", folder, true), 42);
    for (const auto& p : platform::listProcesses())
        if (p.name == "Vidforge.exe" && p.path == tool) program = p.pid;
    ASSERT_GT(program, 0);
    tooltest::killAndWait(program);
}

TEST(ProcessList, CarriesTheExecutablePath) {
    TempDir tmp;
    const std::string a = tooltest::stageCopy("/bin/sleep", tmp.str() + "/a 目录", "Vidforge.exe");
    const std::string b = tooltest::stageCopy("/bin/sleep", tmp.str() + "/b", "Vidforge.exe");
    const int pa = tooltest::startAndFind(a, "3600"), pb = tooltest::startAndFind(b, "3600");
    std::map<int, std::string> paths;
    for (const auto& p : platform::listProcesses()) paths[p.pid] = p.path;
    EXPECT_EQ(paths[pa], a);
    EXPECT_EQ(paths[pb], b);
    tooltest::killAndWait(pa);
    tooltest::killAndWait(pb);
}
