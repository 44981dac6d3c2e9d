// Ten videos from generated material through the real main window (offscreen), in both modes,
// and beside it the same transcoder commands run back to back by a plain shell script.
// Prints: the run's wall time, Stitchwell's own CPU time as a share of it (the transcoders are
// other processes), the script's wall time (the limit) and the pauses the run prescribes.
//
//   merge_bench [videos [one-by-one|parallel]]   (run it under `flock /tmp/sw-tools.lock`,
//   offscreen)

#include <sys/resource.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QTimer>
#include <cstdio>
#include <memory>

#include "media/General.h"
#include "platform/Platform.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/TestMedia.h"
#include "ui/Form1.h"
#include "ui/MergeCommand.h"
#include "ui/Settings.h"

namespace {

using testsupport::TempDir;

struct ToolStart {
    std::string file, params, listText;  // listText: Tmps/List.txt as it was at the start
};

double cpuSeconds() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_utime.tv_usec / 1e6 + u.ru_stime.tv_sec +
           u.ru_stime.tv_usec / 1e6;
}

std::string shellQuote(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

bool copyTree(const QString& from, const QString& to) {
    return QProcess::execute("cp", {"-a", from, to}) == 0;
}

struct Result {
    double wall = 0, cpu = 0, limit = 0;
    int videos = 0, clipStarts = 0, passes = 0, tools = 0;
};

// The material: three folders of 2 × videos clips (landscape, portrait, square, 1–2 s), a music
// folder of 2 × videos mp3 files of 4–20 s.
void makeMaterial(const QString& root, int videos) {
    const int perFolder = 2 * videos;
    for (int f = 0; f < 3; ++f) {
        const QString dir = root + QString("/src%1").arg(f);
        QDir().mkpath(dir);
        for (int i = 0; i < perFolder; ++i) {
            const int kind = (i + f) % 3;
            const int w = kind == 0 ? 176 : 144, h = kind == 0 ? 144 : (kind == 1 ? 204 : 144);
            testsupport::makeVideo(dir + QString("/clip %1.mp4").arg(i), w, h, 1 + (i % 2));
        }
    }
    QDir().mkpath(root + "/music");
    for (int i = 0; i < perFolder; ++i)
        testsupport::makeMp3(root + QString("/music/m%1.mp3").arg(i), 4 + (i * 16) / perFolder);
}

Result runOnce(const QString& pristine, int videos, bool parallel) {
    Result r;
    TempDir tmp;
    const QString program = tmp.sub("program", true), out = tmp.sub("out", true),
                  material = tmp.sub("material");
    copyTree(pristine, material);
    testsupport::stageProgramFolder(program, {"Vidforge.dll"});
    QFile::rename(program + "/Vidforge.dll", program + "/Vidforge.exe");

    ScriptedDialogs dialogs;
    Settings settings(tmp.sub("settings.ini"));
    Form1 form(dialogs, settings, program);
    form.LMove->setText(tmp.sub("used"));
    form.show();
    std::vector<ToolStart> starts;
    const std::string listFile = (program + "/Tmps/List.txt").toStdString();
    installMergeCommands(form, [&](const std::string& f, const std::string& p) {
        std::string list;
        if (p.find("Tmps/List.txt") != std::string::npos)
            list = platform::readFile(listFile).value_or("");
        starts.push_back({f, p, list});
    });
    for (int f = 0; f < 3; ++f) form.acceptSourceFolder(material + QString("/src%1").arg(f));
    dialogs.folders = {material + "/music", out};
    form.MemuAudio->trigger();
    form.MenuOutDir->trigger();
    form.CmbSize->setCurrentText("144×204");
    form.TLeng->setText("10");
    form.TBits->setText("800");
    form.ChComp->setChecked(false);
    form.ChBack->setChecked(false);
    form.ChMul->setChecked(parallel);

    QTimer timer;
    timer.setInterval(250);  // the bench's own check, kept rare so it costs next to nothing
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (form.Running && !form.StopRequested && form.MadeCount >= videos)
            form.MenuStop->trigger();
    });
    timer.start();
    const double cpu0 = cpuSeconds();
    QElapsedTimer clock;
    clock.start();
    form.MenuDo->trigger();
    r.wall = clock.elapsed() / 1000.0;
    r.cpu = cpuSeconds() - cpu0;
    timer.stop();
    r.videos = form.MadeCount;
    r.tools = int(starts.size());

    // The plain script: the same commands in the same order, one after the other, from the
    // same material (restored), the work folder emptied where a pass begins.
    TempDir replay;
    QProcess::execute("rm", {"-rf", material});
    copyTree(pristine, material);
    const std::string tmps = (program + "/Tmps/").toStdString();
    std::string script = "set -u\ncd " + shellQuote(program.toStdString()) + "\n";
    for (const ToolStart& s : starts) {
        if (s.file != "Vidforge.exe") continue;
        const bool clip = s.params.find("List.txt") == std::string::npos &&
                          s.params.find("\"" + tmps) != std::string::npos && s.params.size() > 5 &&
                          s.params.compare(s.params.size() - 5, 5, ".mp4\"") == 0;
        if (clip) ++r.clipStarts;
        if (clip && s.params.find(tmps + "0.mp4\"") != std::string::npos) {
            script += "rm -rf Tmps; mkdir Tmps\n";
            ++r.passes;
        }
        if (s.params.find("Tmps/List.txt") != std::string::npos)
            script += "printf '%s' " + shellQuote(s.listText) + " > Tmps/List.txt\n";
        script += shellQuote(FFMPEG_EXECUTABLE);
        for (const auto& a : platform::splitCommandLine(s.params)) script += " " + shellQuote(a);
        script += " </dev/null >/dev/null 2>&1\n";
    }
    const QString scriptFile = replay.sub("replay.sh");
    testsupport::writeText(scriptFile, QByteArray::fromStdString(script));
    QElapsedTimer limitClock;
    limitClock.start();
    QProcess::execute("bash", {scriptFile});
    r.limit = limitClock.elapsed() / 1000.0;
    form.close();
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const int videos = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;

    TempDir pristine;
    QElapsedTimer made;
    made.start();
    makeMaterial(pristine.path(), videos);
    std::printf("material: 3 folders x %d clips, %d mp3 (made in %.1f s)\n", 2 * videos, 2 * videos,
                made.elapsed() / 1000.0);
    std::printf("%-15s %7s %9s %9s %8s %9s %10s %12s %11s\n", "mode", "videos", "wall s",
                "own CPU s", "CPU %", "limit s", "pauses s", "limit+pauses", "wall/(l+p)");
    const std::string only = argc > 2 ? argv[2] : "";  // "one-by-one" or "parallel": that mode only
    for (bool parallel : {false, true}) {
        if (!only.empty() && only != (parallel ? "parallel" : "one-by-one")) continue;
        const Result r = runOnce(pristine.path(), videos, parallel);
        // prescribed: 2 s after every clip start, 0.5 s per work-folder re-creation
        const double pauses = 2.0 * r.clipStarts + 0.5 * r.passes;
        std::printf("%-15s %7d %9.2f %9.3f %7.2f%% %9.2f %10.1f %12.2f %10.2fx\n",
                    parallel ? "parallel" : "one-by-one", r.videos, r.wall, r.cpu,
                    100.0 * r.cpu / r.wall, r.limit, pauses, r.limit + pauses,
                    r.wall / (r.limit + pauses));
    }
    std::printf(
        "limit: the run's %s commands replayed back to back by bash with the system's "
        "ffmpeg; pauses: 2 s per clip start + 0.5 s per pass, as prescribed (the wait "
        "rounds its start to a whole second, so a pause actually lasts 0-2 s)\n",
        "transcoder");
    return 0;
}
