#include "tests/faults/FaultSupport.h"

#include <signal.h>
#include <stdlib.h>

#include <QCryptographicHash>
#include <QDirIterator>
#include <QFile>
#include <chrono>
#include <thread>

#include "media/General.h"
#include "platform/Platform.h"
#include "tests/platform/ToolProcess.h"

namespace faults {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kPatience = std::chrono::minutes(2);

struct Bases {
    testsupport::TempDir dir;
    std::map<Kind, std::string> paths;
    int serial = 0;
    Bases() {
        const auto make = [this](Kind k, const char* name, auto&& maker) {
            const QString p = dir.sub(name);
            if (maker(p)) paths[k] = p.toStdString();
        };
        make(Kind::Landscape, "l.mp4",
             [](const QString& p) { return testsupport::makeVideo(p, 176, 144, 1, true); });
        make(Kind::Portrait, "p.mp4",
             [](const QString& p) { return testsupport::makeVideo(p, 144, 204, 1, true); });
        make(Kind::Square, "s.mp4",
             [](const QString& p) { return testsupport::makeVideo(p, 144, 144, 1, true); });
        make(Kind::Mp3Short, "short.mp3",
             [](const QString& p) { return testsupport::makeMp3(p, 1); });
        make(Kind::Mp3Long, "long.mp3",
             [](const QString& p) { return testsupport::makeMp3(p, 8); });
    }
};

Bases& bases() {
    static Bases b;
    return b;
}

std::string cmdlineOf(int pid) {
    std::string text = platform::readFile("/proc/" + std::to_string(pid) + "/cmdline").value_or("");
    for (char& c : text)
        if (c == '\0') c = ' ';
    return text;
}

}  // namespace

bool putMedia(Kind kind, const std::string& target) {
    Bases& b = bases();
    const auto it = b.paths.find(kind);
    if (it == b.paths.end()) return false;
    const bool mp3 = kind == Kind::Mp3Short || kind == Kind::Mp3Long;
    // Written elsewhere first, so the folder never shows a half-made file.
    const std::string part = b.dir.str() + "/part" + (mp3 ? ".mp3" : ".mp4");
    if (!testsupport::runFfmpeg({"-v", "error", "-i", QString::fromStdString(it->second), "-c",
                                 "copy", "-metadata", QString("title=%1").arg(++b.serial), "-y",
                                 QString::fromStdString(part)}))
        return false;
    return platform::moveFileNoReplace(part, target) ||
           (platform::copyFileReplace(part, target) && platform::deleteFile(part));
}

std::map<std::string, int> inventory(const std::vector<std::string>& folders) {
    std::map<std::string, int> counts;
    for (const auto& folder : folders) {
        QDirIterator it(QString::fromStdString(folder), QDir::Files | QDir::Hidden,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile f(it.next());
            if (!f.open(QIODevice::ReadOnly)) continue;
            ++counts[QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha1)
                         .toHex()
                         .toStdString()];
        }
    }
    return counts;
}

Driven::Driven() {
    program = tmp.sub("程序 folder", true).toStdString();
    control = tmp.sub("control", true).toStdString();
    output = tmp.sub("输出 out", true).toStdString();
    used = tmp.sub("used 素材").toStdString();
    home = tmp.sub("home", true).toStdString();
    settings = tmp.str() + "/settings.ini";
    testsupport::stageProgramFolder(QString::fromStdString(program),
                                    {"Vidforge.dll", "Accelerate.dll", "Pressling.dll"});
    tooltest::stageCopy(DRIVEN_STITCHWELL, program, "Stitchwell");
    platform::writeFile(settings,
                        "[Default]\nAccelerate=1\nSaveDir=" + output + "\nMoveDir=" + used + "\n");
    // Nothing of the user's: a home of the test's own.
    ::setenv("HOME", home.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
}

Driven::~Driven() {
    for (int pid : started) platform::endStarted(pid);
}

std::string Driven::folder(const std::string& name) const {
    return tmp.sub(QString::fromStdString(name), true).toStdString();
}

int Driven::start(const std::vector<std::string>& job) {
    std::string text = "settings=" + settings + "\ncontrol=" + control + "\n";
    for (const auto& line : job) text += line + "\n";
    const std::string jobFile = control + "/job.txt";
    platform::writeFile(jobFile, text);
    platform::deleteFile(control + "/status.log");
    int pid = 0;
    if (platform::startTool(program + "/Stitchwell", "\"" + jobFile + "\"", program, true, &pid) !=
        42)
        return 0;
    started.push_back(pid);
    return pid;
}

std::vector<std::string> Driven::log() const {
    std::vector<std::string> lines;
    const std::string text = platform::readFile(control + "/status.log").value_or("");
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find('\n', start);
        if (end == std::string::npos) break;  // a line still being written
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

bool Driven::waitForLine(const std::function<bool(const std::string&)>& test) const {
    const auto until = Clock::now() + kPatience;
    while (Clock::now() < until) {
        for (const auto& line : log())
            if (test(line)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

bool Driven::waitForStatus(const std::string& prefix) const {
    return waitForLine([&](const std::string& l) { return l.rfind("S " + prefix, 0) == 0; });
}

bool Driven::sawLine(const std::string& line) const {
    const auto lines = log();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

int Driven::made() const {
    int count = 0;
    for (const auto& line : log())
        if (line.rfind("M ", 0) == 0) count = std::atoi(line.c_str() + 2);
    return count;
}

bool Driven::waitForEnd(int pid) const {
    const auto until = Clock::now() + kPatience;
    while (Clock::now() < until) {
        if (!platform::startedRunning(pid)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

std::vector<int> Driven::tools(const std::string& piece) const {
    std::vector<int> pids;
    for (const auto& p : platform::listProcesses()) {
        if (p.path != program + "/Vidforge.exe") continue;
        if (piece.empty() || cmdlineOf(p.pid).find(piece) != std::string::npos)
            pids.push_back(p.pid);
    }
    return pids;
}

bool Driven::killTool(const std::string& piece) const {
    const auto until = Clock::now() + kPatience;
    while (Clock::now() < until) {
        const auto pids = tools(piece);
        if (!pids.empty()) return ::kill(pids.front(), SIGKILL) == 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

bool Driven::outputsAllGood(std::vector<std::string>* names) const {
    const auto all = platform::listFiles(output, true).value_or(std::vector<std::string>{});
    if (names) *names = all;
    for (const auto& n : all)
        if (!(General::ReadDuration(output + "/" + n).value_or(0) > 0)) return false;
    return true;
}

}  // namespace faults
