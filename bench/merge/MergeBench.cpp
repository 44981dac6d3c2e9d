// The merge run through the real main window (offscreen) at the sizes users work with, beside
// plain shell replays of its own transcoder commands and beside MLT's melt doing the same job.
//
//   merge_bench [--small|--many] [--videos N] [--mode one-by-one|ChMul] [--repeat K]
//               [--material DIR] [--scripts DIR] [--run-only] [--window]
//
// Default (realistic): the material of scripts/sample-material (1080p phone-style clips, 3-6 s),
// 720×1280, 25 fps, 10000 kbit/s, length 15 s, three folders, music on, software encoding,
// 6 videos, both modes, 后台运行 ticked as by default (the window hides behind its tray icon
// during the run). --small: generated 144×204 material of 1-2 s, length 10 s, 800 kbit/s,
// 10 videos. --many: twenty folders (the most the list takes) of 300 small clips each, 144×204,
// length 5 s, 800 kbit/s, 6 videos: what the run itself costs when the transcoders have little
// to do. --material uses a folder made by scripts/sample-material (copied, never changed)
// instead of making one. --repeat runs every mode K times; --run-only leaves out the replays and
// melt (for profiling the run); --scripts keeps a copy of every replay and melt script in DIR.
// --window shows the window on the current display and only runs (for scripts/screenshot): no
// replays, no figures.
//
// Per run it prints the wall time per video, videos per hour, Stitchwell's own CPU per video
// and its share of the run, the peak and per-video resident memory, and the wall time of
//  (a) the run's transcoder commands replayed back to back by a plain shell script,
//  (b) the same commands on the old fixed schedule: every clip command followed by a 2 s sleep
//      while it runs and, one by one, waited for; in ChMul mode the clip commands started 2 s
//      apart and all waited for before the music and final commands; 0.5 s after the work
//      folder is made at the start of every video,
// and the same videos made by melt (when installed). The last lines, one per mode:
//   result mode=... per_video_s=... limit_ratio=... melt_ratio=... cpu_ms_per_video=...
//   peak_rss_mb=...
// Run it under `unshare --pid --fork --mount-proc` so that no other Vidforge.exe is seen.

#include <sys/resource.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <optional>
#include <regex>
#include <thread>

#include "media/DiagnosticLog.h"
#include "platform/Platform.h"
#include "tests/support/FormAccess.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/TestMedia.h"
#include "ui/Form1.h"
#include "ui/MergeCommand.h"
#include "ui/Settings.h"

namespace {

using testsupport::TempDir;

// ---- what is measured ---------------------------------------------------------------------------

struct Profile {
    bool small = false, many = false;
    QString size = "720×1280";
    int fps = 25, bits = 10000, length = 15, videos = 6;
};

// Material: clip folders and a music folder under one root.
struct Material {
    QString root;
    QStringList clipFolders;  // names under root, in list order
    QString musicFolder;      // name under root
};

const QStringList kSampleClipFolders = {"片段1-横屏", "片段2-竖屏", "片段3-混合"};
const QString kSampleMusicFolder = "音乐";

enum class Kind { Clip, MusicJoin, MusicCut, Final };

struct ToolStart {
    std::string params, listText;  // listText: Tmps/List.txt as it was at the start
    double t = 0;                  // seconds since the merge command
    Kind kind = Kind::Clip;
    std::vector<std::string> args, inputs;
};

struct Result {
    double wall = 0;            // merge command to the count of the last wanted video
    double cpu = 0;             // own CPU seconds in that time
    std::vector<double> cpuAt;  // own CPU seconds since the merge command as each video was counted
    double peakRss = 0;         // MB
    std::vector<double> rssAfter;
    int videos = 0;
    double replayA = -1, replayB = -1, melt = -1;  // wall s for all videos; -1: not run
    int meltMade = 0;
    std::string loads;  // the load average as each part began
};

double cpuSeconds() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_utime.tv_usec / 1e6 + u.ru_stime.tv_sec +
           u.ru_stime.tv_usec / 1e6;
}

// A field of /proc/self/status in MB ("VmRSS", "VmHWM").
double statusMb(const char* field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    const std::string key = std::string(field) + ":";
    while (std::getline(in, line)) {
        if (line.rfind(key, 0) == 0) return std::atof(line.c_str() + key.size()) / 1024.0;
    }
    return 0;
}

// Starts a new peak of the resident set (VmHWM) from the present size.
bool resetPeakRss() {
    std::ofstream out("/proc/self/clear_refs");
    out << "5";
    return bool(out.flush());
}

std::string loadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string a, b, c;
    in >> a >> b >> c;
    return a + " " + b + " " + c;
}

std::string shellQuote(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

bool copyTree(const QString& from, const QString& to) {
    return QProcess::execute("cp", {"-a", from, to}) == 0;
}

double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// ---- material -----------------------------------------------------------------------------------

// --small: three folders of 2 × videos clips (landscape, portrait, square, 1-2 s), a music folder
// of 2 × videos mp3 files of 4-20 s.
Material makeSmallMaterial(const QString& root, int videos) {
    Material m{root, {}, "music"};
    const int perFolder = 2 * videos;
    for (int f = 0; f < 3; ++f) {
        const QString name = QString("src%1").arg(f);
        m.clipFolders << name;
        QDir().mkpath(root + "/" + name);
        for (int i = 0; i < perFolder; ++i) {
            const int kind = (i + f) % 3;
            const int w = kind == 0 ? 176 : 144, h = kind == 0 ? 144 : (kind == 1 ? 204 : 144);
            testsupport::makeVideo(root + "/" + name + QString("/clip %1.mp4").arg(i), w, h,
                                   1 + (i % 2));
        }
    }
    QDir().mkpath(root + "/music");
    for (int i = 0; i < perFolder; ++i)
        testsupport::makeMp3(root + QString("/music/m%1.mp3").arg(i), 4 + (i * 16) / perFolder);
    return m;
}

// --many: twenty folders of 300 clips (six distinct small clips of 1-2 s under 300 names each),
// a music folder of 2 × videos mp3 files of 4-20 s.
Material makeManyMaterial(const QString& root, int videos) {
    Material m{root, {}, "music"};
    const QString base = root + "/base";
    QDir().mkpath(base);
    for (int k = 0; k < 6; ++k) {
        const int w = k % 3 == 0 ? 176 : 144, h = k % 3 == 1 ? 204 : 144;
        testsupport::makeVideo(base + QString("/%1.mp4").arg(k), w, h, 1 + (k % 2));
    }
    for (int f = 0; f < 20; ++f) {
        const QString name = QString("src%1").arg(f, 2, 10, QChar('0'));
        m.clipFolders << name;
        QDir().mkpath(root + "/" + name);
        for (int i = 0; i < 300; ++i)
            QFile::copy(base + QString("/%1.mp4").arg((i + f) % 6),
                        root + "/" + name + QString("/clip %1.mp4").arg(i));
    }
    QDir(base).removeRecursively();
    QDir().mkpath(root + "/music");
    const int songs = 2 * videos;
    for (int i = 0; i < songs; ++i)
        testsupport::makeMp3(root + QString("/music/m%1.mp3").arg(i), 4 + (i * 16) / songs);
    return m;
}

int countFiles(const QString& dir) {
    return int(QDir(dir).entryList(QDir::Files).size());
}

// The material of scripts/sample-material, made into root when root is empty or missing.
std::optional<Material> sampleMaterial(const QString& root, bool make, int videos) {
    if (make) {
        const QString script = QString(STITCHWELL_SOURCE_DIR) + "/scripts/sample-material";
        if (QProcess::execute("bash", {script, root}) != 0) {
            std::fprintf(stderr, "merge_bench: %s failed\n", script.toUtf8().constData());
            return std::nullopt;
        }
    }
    Material m{root, kSampleClipFolders, kSampleMusicFolder};
    for (const QString& f : m.clipFolders + QStringList{m.musicFolder}) {
        if (countFiles(root + "/" + f) < videos) {
            std::fprintf(stderr,
                         "merge_bench: %s needs at least %d files in %s (made by "
                         "scripts/sample-material)\n",
                         root.toUtf8().constData(), videos, f.toUtf8().constData());
            return std::nullopt;
        }
    }
    return m;
}

// ---- the tool-start record ----------------------------------------------------------------------

bool endsWith(const std::string& s, const std::string& end) {
    return s.size() >= end.size() && s.compare(s.size() - end.size(), end.size(), end) == 0;
}

// What a transcoder command does, read from its own arguments: a music step copies audio
// ("-acodec copy"), the final run and the music join read the join list, everything else
// normalises one clip.
void classify(ToolStart& s) {
    s.args = platform::splitCommandLine(s.params);
    bool readsList = false, copiesAudio = false;
    for (size_t i = 0; i + 1 < s.args.size(); ++i) {
        if (s.args[i] == "-i") {
            s.inputs.push_back(s.args[i + 1]);
            readsList = readsList || endsWith(s.args[i + 1], "List.txt");
        }
        if (s.args[i] == "-acodec" && s.args[i + 1] == "copy") copiesAudio = true;
    }
    if (readsList)
        s.kind = copiesAudio ? Kind::MusicJoin : Kind::Final;
    else
        s.kind = copiesAudio ? Kind::MusicCut : Kind::Clip;
}

// The commands of the passes, split at the first clip command of every pass.
std::vector<std::vector<const ToolStart*>> passesOf(const std::vector<ToolStart>& starts) {
    std::vector<std::vector<const ToolStart*>> passes;
    Kind previous = Kind::Final;
    for (const ToolStart& s : starts) {
        if (s.kind == Kind::Clip && previous != Kind::Clip) passes.emplace_back();
        if (!passes.empty()) passes.back().push_back(&s);
        previous = s.kind;
    }
    return passes;
}

// A text with every claim folder of a path taken out ("/.stitchwell-claims-<8 hex>" removed).
std::string unclaimed(std::string text) {
    static const std::regex claimFolder("/\\.stitchwell-claims-[0-9a-f]{8}");
    return std::regex_replace(text, claimFolder, "");
}

std::string commandLine(const ToolStart& s) {
    std::string line = shellQuote(FFMPEG_EXECUTABLE);
    for (const auto& a : s.args) line += " " + shellQuote(a);
    return line + " </dev/null >/dev/null 2>&1";
}

// The replay scripts: the same commands in the same order from the program folder, the work
// folder emptied where a pass begins, the join list written as it was when each command began.
// scheduled: the old fixed pauses and waits; otherwise back to back.
std::string replayScript(const std::string& program,
                         const std::vector<std::vector<const ToolStart*>>& passes, bool parallel,
                         bool scheduled) {
    std::string script = "set -u\ncd " + shellQuote(program) + "\n";
    for (const auto& pass : passes) {
        script += "rm -rf Tmps; mkdir Tmps\n";
        if (scheduled) script += "sleep 0.5\n";
        bool clipsRunning = false;
        for (const ToolStart* s : pass) {
            if (s->kind != Kind::Clip && clipsRunning) {
                script += "wait\n";
                clipsRunning = false;
            }
            if (!s->listText.empty() && (s->kind == Kind::MusicJoin || s->kind == Kind::Final))
                script += "printf '%s' " + shellQuote(s->listText) + " > Tmps/List.txt\n";
            if (scheduled && s->kind == Kind::Clip) {
                script += commandLine(*s) + " &\nsleep 2\n";
                if (parallel)
                    clipsRunning = true;
                else
                    script += "wait\n";
            } else {
                script += commandLine(*s) + "\n";
            }
        }
        if (clipsRunning) script += "wait\n";
    }
    return script;
}

// Where --scripts keeps a copy of every script run ("" for nowhere).
QString g_keepScripts;

double runScript(const QString& file, const std::string& script, const QString& keepAs) {
    testsupport::writeText(file, QByteArray::fromStdString(script));
    if (!g_keepScripts.isEmpty())
        testsupport::writeText(g_keepScripts + "/" + keepAs, QByteArray::fromStdString(script));
    QElapsedTimer clock;
    clock.start();
    QProcess::execute("bash", {file});
    return clock.elapsed() / 1000.0;
}

bool haveMelt() {
    return !QStandardPaths::findExecutable("melt").isEmpty();
}

// The same videos by melt: the pass's three clips joined (their own sound off), scaled to the
// job's size and frame rate, the pass's mp3 under them, cut to the target length, libx264 at the
// job's bit rate, AAC sound.
std::string meltScript(const QString& dir, const Profile& p,
                       const std::vector<std::vector<const ToolStart*>>& passes) {
    const QStringList wh = p.size.split(u'×');
    const int w = wh.value(0).toInt(), h = wh.value(1).toInt();
    const QString profile = dir + "/melt-profile";
    testsupport::writeText(profile, QString("description=bench\nframe_rate_num=%1\n"
                                            "frame_rate_den=1\nwidth=%2\nheight=%3\n"
                                            "progressive=1\nsample_aspect_num=1\n"
                                            "sample_aspect_den=1\ndisplay_aspect_num=%2\n"
                                            "display_aspect_den=%3\ncolorspace=709\n")
                                        .arg(p.fps)
                                        .arg(w)
                                        .arg(h)
                                        .toUtf8());
    std::string script = "set -u\n";
    int n = 0;
    for (const auto& pass : passes) {
        std::string clips, mp3;
        for (const ToolStart* s : pass) {
            if (s->kind == Kind::Clip && !s->inputs.empty())
                clips += " " + shellQuote(s->inputs.front()) + " audio_index=-1";
            if (s->kind == Kind::MusicCut && !s->inputs.empty() &&
                !endsWith(s->inputs.front(), "M.mp3"))
                mp3 = s->inputs.front();
            if (s->kind == Kind::MusicJoin) {  // file '<mp3>' lines
                const auto a = s->listText.find('\''), b = s->listText.find('\'', a + 1);
                if (a != std::string::npos && b != std::string::npos)
                    mp3 = s->listText.substr(a + 1, b - a - 1);
            }
        }
        const std::string out = (dir + QString("/melt%1.mp4").arg(n++)).toStdString();
        script += "melt -quiet -profile " + shellQuote(profile.toStdString()) + clips +
                  " -audio-track " + shellQuote(mp3) + " -consumer avformat:" + shellQuote(out) +
                  " vcodec=libx264 vb=" + std::to_string(p.bits) +
                  "k acodec=aac ab=128k real_time=-2 out=" + std::to_string(p.length * p.fps - 1) +
                  " </dev/null >/dev/null 2>&1\n";
    }
    return script;
}

// ---- one run ------------------------------------------------------------------------------------

void useChineseFont() {
    for (const QString& family :
         {QStringLiteral("Noto Sans CJK SC"), QStringLiteral("WenQuanYi Micro Hei")}) {
        if (QFontDatabase::families().contains(family)) {
            QFont font = QApplication::font();
            font.setFamilies({family});
            QApplication::setFont(font);
            return;
        }
    }
}

Result runOnce(const Material& pristine, const Profile& p, bool parallel, bool window, bool compare,
               const QString& name) {
    Result r;
    TempDir tmp;
    const QString program = tmp.sub("program", true), out = tmp.sub("out", true),
                  material = tmp.sub("material");
    copyTree(pristine.root, material);
    // The run passes over clips whose files changed within the last second: the copies must be
    // older than that when the merge command is given.
    QElapsedTimer copied;
    copied.start();
    testsupport::stageProgramFolder(program, {"Vidforge.dll"});
    QFile::rename(program + "/Vidforge.dll", program + "/Vidforge.exe");

    ScriptedDialogs dialogs;
    Settings settings(tmp.sub("settings.ini"));
    Form1 form(dialogs, settings, program);
    controlsOf(form).LMove->setText(tmp.sub("used"));
    form.show();
    std::vector<ToolStart> starts;
    QElapsedTimer clock;
    const std::string listFile = (program + "/Tmps/List.txt").toStdString();
    installMergeCommands(form, [&](const std::string& f, const std::string& params) {
        if (f != "Vidforge.exe") return;
        ToolStart s;
        // the replays read the material where the run found it, not in the run's claim folders
        s.params = unclaimed(params);
        s.t = clock.elapsed() / 1000.0;
        if (params.find("List.txt") != std::string::npos)
            s.listText = unclaimed(platform::readFile(listFile).value_or(""));
        classify(s);
        if (window && starts.empty()) {
            std::printf("window: run under way\n");
            std::fflush(stdout);
        }
        starts.push_back(std::move(s));
    });
    for (const QString& f : pristine.clipFolders) form.acceptSourceFolder(material + "/" + f);
    dialogs.folders = {material + "/" + pristine.musicFolder, out};
    controlsOf(form).MemuAudio->trigger();
    controlsOf(form).MenuOutDir->trigger();
    controlsOf(form).CmbSize->setCurrentText(p.size);
    controlsOf(form).TBits->setText(QString::number(p.bits));
    controlsOf(form).TLeng->setText(QString::number(p.length));
    controlsOf(form).ChComp->setChecked(false);
    // As users run it: 后台运行 ticked (its default), the window behind its tray icon for the
    // run; --window keeps it on the screen for the picture.
    form.systemTrayAvailable = [] { return true; };
    controlsOf(form).ChBack->setChecked(!window);
    controlsOf(form).ChMul->setChecked(parallel);

    // The count of every finished video is told by the status line; the stop is pressed at the
    // next pump once the wanted number is reached.
    int counted = 0;
    double cpu0 = 0;
    QObject::connect(&form, &Form1::statusChanged, [&](const QString&) {
        if (form.madeCount() <= counted) return;
        counted = form.madeCount();
        r.rssAfter.push_back(statusMb("VmRSS"));
        r.cpuAt.push_back(cpuSeconds() - cpu0);
        if (counted == p.videos) {
            r.wall = clock.elapsed() / 1000.0;
            r.cpu = cpuSeconds() - cpu0;
        }
        if (window) {
            std::printf("window: video %d made\n", counted);
            std::fflush(stdout);
        }
        if (counted >= p.videos)
            QTimer::singleShot(0, &form, [&form] {
                if (form.running() && !form.stopRequested()) controlsOf(form).MenuStop->trigger();
            });
    });
    while (copied.elapsed() < 2000) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    r.loads = "run " + loadAverage() + "; ";
    const bool peakReset = resetPeakRss();
    cpu0 = cpuSeconds();
    clock.start();
    controlsOf(form).MenuDo->trigger();
    r.peakRss = statusMb("VmHWM");
    if (r.wall == 0) {  // fewer videos than wanted: the whole run
        r.wall = clock.elapsed() / 1000.0;
        r.cpu = cpuSeconds() - cpu0;
    }
    if (!peakReset) std::printf("  (peak memory could not be reset: it is the process's peak)\n");
    r.videos = std::min(form.madeCount(), p.videos);
    form.close();
    if (window || !compare || r.videos < p.videos) return r;

    // Only the commands of the wanted videos: a pass begun before the stop is left out.
    std::vector<ToolStart> used;
    for (const ToolStart& s : starts) {
        if (s.t <= r.wall) used.push_back(s);
    }
    const auto passes = passesOf(used);

    // The replays and melt read the material where the run found it.
    QProcess::execute("rm", {"-rf", material});
    copyTree(pristine.root, material);
    const std::string prog = program.toStdString();
    r.loads += "(a) " + loadAverage() + "; ";
    r.replayA = runScript(tmp.sub("replay-a.sh"), replayScript(prog, passes, parallel, false),
                          name + "-replay-a.sh");
    r.loads += "(b) " + loadAverage() + "; ";
    r.replayB = runScript(tmp.sub("replay-b.sh"), replayScript(prog, passes, parallel, true),
                          name + "-replay-b.sh");
    if (haveMelt()) {
        const QString dir = tmp.sub("melt", true);
        r.loads += "melt " + loadAverage() + "; ";
        r.melt = runScript(tmp.sub("melt.sh"), meltScript(dir, p, passes), name + "-melt.sh");
        for (int i = 0; i < int(passes.size()); ++i) {
            if (testsupport::probeDuration(dir + QString("/melt%1.mp4").arg(i)) > 0) ++r.meltMade;
        }
    }
    return r;
}

// Own CPU per video from the first counted video to the last: the run's one-time start (the
// folders' first listing, binding the media library, showing the window) left out, as a long run
// has it. -1 with fewer than two videos.
double steadyCpuMs(const Result& r) {
    if (r.cpuAt.size() < 2) return -1;
    return 1000.0 * (r.cpuAt.back() - r.cpuAt.front()) / double(r.cpuAt.size() - 1);
}

void printRun(const Result& r, const Profile& p) {
    const double n = std::max(1, r.videos);
    std::printf(
        "  Stitchwell  %d videos: %.2f s/video, %.0f videos/h; own CPU %.1f ms/video "
        "(%.3f%% of the run); peak RSS %.1f MB\n",
        r.videos, r.wall / n, 3600.0 * n / r.wall, 1000.0 * r.cpu / n, 100.0 * r.cpu / r.wall,
        r.peakRss);
    if (steadyCpuMs(r) >= 0)
        std::printf("  own CPU from the first video to the last: %.1f ms/video\n", steadyCpuMs(r));
    std::printf("  RSS after each video (MB):");
    for (double m : r.rssAfter) std::printf(" %.1f", m);
    if (r.rssAfter.size() > 1)
        std::printf("  (%+.1f MB from the first to the last)", r.rssAfter.back() - r.rssAfter[0]);
    std::printf("\n");
    if (r.videos < p.videos) {
        std::printf("  the run made only %d of %d videos: no replay\n", r.videos, p.videos);
        return;
    }
    if (r.replayA < 0) return;  // --run-only
    std::printf("  load average as each part began: %s\n", r.loads.c_str());
    std::printf("  (a) replay back to back:      %.2f s/video   run/(a) %.3f\n", r.replayA / n,
                r.wall / r.replayA);
    std::printf("  (b) replay on the schedule:   %.2f s/video   run/(b) %.3f  (limit_ratio)\n",
                r.replayB / n, r.wall / r.replayB);
    if (r.melt < 0)
        std::printf("  melt: not installed (apt-get install melt): no comparison\n");
    else
        std::printf(
            "  melt, same job:               %.2f s/video   run/melt %.3f  (%d of %d "
            "videos made)\n",
            r.melt / n, r.wall / r.melt, r.meltMade, r.videos);
}

}  // namespace

int main(int argc, char** argv) {
    Profile p;
    bool window = false, compare = true;
    int repeat = 1, videos = 0;
    QString only, materialDir;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--small") {
            p.small = true;
        } else if (a == "--many") {
            p.many = true;
        } else if (a == "--window") {
            window = true;
        } else if (a == "--run-only") {
            compare = false;
        } else if (a == "--videos" && hasValue) {
            videos = std::max(1, std::atoi(argv[++i]));
        } else if (a == "--repeat" && hasValue) {
            repeat = std::max(1, std::atoi(argv[++i]));
        } else if (a == "--mode" && hasValue) {
            only = argv[++i];
        } else if (a == "--scripts" && hasValue) {
            g_keepScripts = QString::fromLocal8Bit(argv[++i]);
            QDir().mkpath(g_keepScripts);
        } else if (a == "--material" && hasValue) {
            materialDir = QString::fromLocal8Bit(argv[++i]);
        } else {
            std::fprintf(
                stderr,
                "usage: merge_bench [--small|--many] [--videos N] [--mode one-by-one|ChMul] "
                "[--repeat K] [--material DIR] [--scripts DIR] [--run-only] [--window]\n");
            return 2;
        }
    }
    if (p.small) {
        p.size = "144×204";
        p.bits = 800;
        p.length = 10;
        p.videos = 10;
    }
    if (p.many) {
        p.size = "144×204";
        p.bits = 800;
        p.length = 5;
        p.videos = 6;
    }
    if (videos > 0) p.videos = videos;
    if (!only.isEmpty() && only != "one-by-one" && only != "ChMul") {
        std::fprintf(stderr, "merge_bench: --mode is one-by-one or ChMul\n");
        return 2;
    }
    if (window) {
        if (only.isEmpty()) only = "ChMul";
    } else {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    useChineseFont();
    // The program's diagnostics, for a timeline of the run: QT_LOGGING_RULES and
    // QT_MESSAGE_PATTERN="%{time process} %{category}: %{message}".
    DiagnosticLog::install();

    TempDir pristine;
    QElapsedTimer made;
    made.start();
    std::optional<Material> material;
    if (p.small)
        material = makeSmallMaterial(pristine.path(), p.videos);
    else if (p.many)
        material = makeManyMaterial(pristine.path(), p.videos);
    else if (!materialDir.isEmpty())
        material = sampleMaterial(QDir(materialDir).absolutePath(), false, p.videos);
    else
        material = sampleMaterial(pristine.sub("sample"), true, p.videos);
    if (!material) return 1;
    const std::string mode = p.small ? "small" : p.many ? "many folders" : "realistic";
    std::printf(
        "merge_bench (%s): %s, %d fps, %d kbit/s, length %d s, %d folders, music on, "
        "software encoding, %d videos per run; material %s (%.1f s)\n",
        mode.c_str(), p.size.toUtf8().constData(), p.fps, p.bits, p.length,
        int(material->clipFolders.size()), p.videos, material->root.toUtf8().constData(),
        made.elapsed() / 1000.0);
    if (window) {
        runOnce(*material, p, only == "ChMul", true, false, "window");
        return 0;
    }
    if (!haveMelt()) std::printf("melt is not installed (apt-get install melt): no melt row\n");

    std::vector<std::string> results;
    std::map<std::string, double> perMode;  // median seconds per video of each mode
    for (bool parallel : {false, true}) {
        const QString name = parallel ? "ChMul" : "one-by-one";
        if (!only.isEmpty() && only != name) continue;
        std::vector<Result> runs;
        for (int k = 0; k < repeat; ++k) {
            std::printf("== %s, run %d of %d (load %s)\n", name.toUtf8().constData(), k + 1, repeat,
                        loadAverage().c_str());
            std::fflush(stdout);
            runs.push_back(
                runOnce(*material, p, parallel, false, compare, name + QString("-%1").arg(k + 1)));
            printRun(runs.back(), p);
            std::fflush(stdout);
        }
        std::vector<double> perVideo, limit, melt, cpu, steady, toA;
        double peak = 0;
        for (const Result& r : runs) {
            if (r.videos < p.videos) continue;
            perVideo.push_back(r.wall / r.videos);
            if (r.replayB > 0) limit.push_back(r.wall / r.replayB);
            if (r.replayA > 0) toA.push_back(r.wall / r.replayA);
            if (r.melt > 0) melt.push_back(r.wall / r.melt);
            cpu.push_back(1000.0 * r.cpu / r.videos);
            if (steadyCpuMs(r) >= 0) steady.push_back(steadyCpuMs(r));
            peak = std::max(peak, r.peakRss);
        }
        if (perVideo.empty()) {
            results.push_back("result mode=" + name.toStdString() + " failed");
            continue;
        }
        const auto spread = [](const char* what, const std::vector<double>& v) {
            if (v.size() < 2) return;
            std::printf("  %-18s min %.3f  median %.3f  max %.3f\n", what,
                        *std::min_element(v.begin(), v.end()), median(v),
                        *std::max_element(v.begin(), v.end()));
        };
        if (perVideo.size() > 1)
            std::printf("-- %s over %zu runs\n", name.toUtf8().constData(), perVideo.size());
        spread("per_video_s", perVideo);
        spread("limit_ratio", limit);
        spread("a_ratio", toA);
        spread("melt_ratio", melt);
        spread("cpu_ms_per_video", cpu);
        spread("steady_cpu_ms", steady);
        const std::string limitText = limit.empty()
                                          ? std::string("none")
                                          : QString::number(median(limit), 'f', 3).toStdString();
        const std::string aText =
            toA.empty() ? std::string("none") : QString::number(median(toA), 'f', 3).toStdString();
        perMode[name.toStdString()] = median(perVideo);
        const std::string steadyText = steady.empty()
                                           ? std::string("none")
                                           : QString::number(median(steady), 'f', 1).toStdString();
        char line[360];
        const std::string meltText = melt.empty()
                                         ? std::string("none")
                                         : QString::number(median(melt), 'f', 3).toStdString();
        std::snprintf(line, sizeof line,
                      "result mode=%s per_video_s=%.2f a_ratio=%s limit_ratio=%s melt_ratio=%s "
                      "cpu_ms_per_video=%.1f steady_cpu_ms=%s peak_rss_mb=%.1f",
                      name.toUtf8().constData(), median(perVideo), aText.c_str(), limitText.c_str(),
                      meltText.c_str(), median(cpu), steadyText.c_str(), peak);
        results.push_back(line);
    }
    std::printf(
        "(a): the run's transcoder commands back to back; (b): the same on the schedule of "
        "fixed pauses the run had before its pauses ended with its transcoders; a_ratio = "
        "run/(a); limit_ratio = run/(b); melt_ratio = run/melt; figures are medians over the "
        "runs\n");
    for (const std::string& line : results) std::printf("%s\n", line.c_str());
    if (perMode.count("ChMul") && perMode.count("one-by-one"))
        std::printf("result parallel_to_one_by_one=%.3f\n",
                    perMode["ChMul"] / perMode["one-by-one"]);
    return 0;
}
