#include "tests/support/TestMedia.h"

#include <gtest/gtest.h>

#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/Platform.h"

namespace testsupport {

std::vector<int> pidsNamed(const std::string& name) {
    std::vector<int> pids;
    for (const auto& p : platform::listProcesses())
        if (p.name == name) pids.push_back(p.pid);
    return pids;
}

SharedMedia& SharedMedia::get() {
    static SharedMedia media;
    return media;
}

SharedMedia::SharedMedia() : m_dir(std::make_unique<TempDir>()) {
    const auto make = [this](const char* name, int width, int height, double seconds) {
        const QString path = m_dir->sub(name);
        if (!makeVideo(path, width, height, seconds))
            ADD_FAILURE() << "cannot make the test clip " << name << " with ffmpeg";
        return path.toStdString();
    };
    land = make("land.mp4", 176, 144, 1);
    port = make("port.mp4", 144, 204, 1);
    square = make("square.mp4", 144, 144, 1);
    longer = make("longer.mp4", 176, 144, 2);
}

std::string SharedMedia::mp3(int seconds) {
    auto it = m_mp3.find(seconds);
    if (it != m_mp3.end()) return it->second;
    const QString path = m_dir->sub(QString("%1 s.mp3").arg(seconds));
    if (!makeMp3(path, seconds)) ADD_FAILURE() << "cannot make a " << seconds << " s mp3";
    return m_mp3.emplace(seconds, path.toStdString()).first->second;
}

bool isListed(int pid) {
    for (const auto& p : platform::listProcesses())
        if (p.pid == pid) return true;
    return false;
}

void waitUntil(const std::function<bool()>& condition) {
    while (!condition()) QThread::msleep(10);
}

TempDir::TempDir() : m_dir(std::make_unique<QTemporaryDir>()) {}
TempDir::~TempDir() = default;
QString TempDir::path() const {
    return m_dir->path();
}
QString TempDir::sub(const QString& name, bool mkdir) const {
    const QString p = path() + "/" + name;
    if (mkdir) QDir().mkpath(p);
    return p;
}

static bool runTool(const QString& program, const QStringList& args, QString* out, QString* err) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForStarted(10000)) return false;
    p.closeWriteChannel();
    p.waitForFinished(300000);
    if (out) *out = QString::fromUtf8(p.readAllStandardOutput());
    if (err) *err = QString::fromUtf8(p.readAllStandardError());
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

bool runFfmpeg(const QStringList& args, QString* errorOutput) {
    QStringList all{"-v", "error", "-nostdin", "-y"};
    all << args;
    return runTool(FFMPEG_EXECUTABLE, all, nullptr, errorOutput);
}

bool makeVideo(const QString& path, int width, int height, double seconds, bool audio) {
    QStringList args{
        "-f", "lavfi", "-i",
        QString("testsrc2=size=%1x%2:rate=25:duration=%3").arg(width).arg(height).arg(seconds)};
    if (audio)
        args << "-f"
             << "lavfi"
             << "-i" << QString("sine=frequency=440:duration=%1").arg(seconds);
    args << "-c:v"
         << "libx264"
         << "-preset"
         << "ultrafast"
         << "-pix_fmt"
         << "yuv420p";
    if (audio)
        args << "-c:a"
             << "aac"
             << "-shortest";
    args << "-f"
         << "mp4" << path;
    return runFfmpeg(args);
}

bool makeMp3(const QString& path, double seconds) {
    return runFfmpeg({"-f", "lavfi", "-i", QString("sine=frequency=330:duration=%1").arg(seconds),
                      "-c:a", "libmp3lame", "-b:a", "64k", "-f", "mp3", path});
}

static QString ffprobe() {
    QString p = QString(FFMPEG_EXECUTABLE);
    p.replace(QRegularExpression("ffmpeg$"), "ffprobe");
    return p;
}

double probeDuration(const QString& path) {
    QString out;
    if (!runTool(ffprobe(),
                 {"-v", "error", "-show_entries", "format=duration", "-of",
                  "default=noprint_wrappers=1:nokey=1", path},
                 &out, nullptr))
        return -1;
    bool ok = false;
    const double d = out.trimmed().toDouble(&ok);
    return ok ? d : -1;
}

StreamInfo probeVideo(const QString& path) {
    StreamInfo info;
    QString out;
    if (!runTool(ffprobe(),
                 {"-v", "error", "-select_streams", "v:0", "-show_entries",
                  "stream=width,height,avg_frame_rate,codec_name", "-of",
                  "default=noprint_wrappers=1", path},
                 &out, nullptr))
        return info;
    for (const QString& line : out.split('\n', Qt::SkipEmptyParts)) {
        const QString key = line.section('=', 0, 0), value = line.section('=', 1).trimmed();
        if (key == "width") info.width = value.toInt();
        if (key == "height") info.height = value.toInt();
        if (key == "codec_name") info.codec = value;
        if (key == "avg_frame_rate") {
            const double num = value.section('/', 0, 0).toDouble();
            const double den = value.section('/', 1, 1).toDouble();
            info.fps = den > 0 ? num / den : num;
        }
    }
    return info;
}

bool writeText(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    return f.write(bytes) == bytes.size();
}

bool asOrdinaryUser(const std::string& folder, const std::function<bool()>& fn) {
    if (::geteuid() != 0) return fn();
    if (::chown(folder.c_str(), 65534, 65534) != 0) return false;
    const pid_t child = ::fork();
    if (child < 0) return false;
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(3);
        ::_exit(fn() ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

SmallFileSystem::SmallFileSystem(long long bytes) {
    static bool ownNamespace = false;
    if (::geteuid() != 0) {
        m_whyNot = "mounting a small file system needs root";
        return;
    }
    if (!ownNamespace) {
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
            m_whyNot = std::string("no mount namespace of our own: ") + std::strerror(errno);
            return;
        }
        ownNamespace = true;
    }
    char tmpl[] = "/tmp/sw-smallfs-XXXXXX";
    if (!::mkdtemp(tmpl)) {
        m_whyNot = "no folder for the mount";
        return;
    }
    const std::string options = "size=" + std::to_string(bytes);
    if (::mount("tmpfs", tmpl, "tmpfs", 0, options.c_str()) != 0) {
        m_whyNot = std::string("cannot mount a tmpfs: ") + std::strerror(errno);
        ::rmdir(tmpl);
        return;
    }
    m_path = tmpl;
}

SmallFileSystem::~SmallFileSystem() {
    if (m_path.empty()) return;
    ::umount2(m_path.c_str(), MNT_DETACH);
    ::rmdir(m_path.c_str());
}

bool fillUp(const std::string& folder) {
    FILE* f = std::fopen((folder + "/filler").c_str(), "wb");
    if (!f) return false;
    std::vector<char> block(1 << 16, 'f');
    while (std::fwrite(block.data(), 1, block.size(), f) == block.size()) {
    }
    std::fclose(f);
    // Whatever is left below one block goes too.
    FILE* g = std::fopen((folder + "/filler2").c_str(), "wb");
    if (g) {
        while (std::fputc('f', g) != EOF && std::fflush(g) == 0) {
        }
        std::fclose(g);
    }
    return true;
}

QString builtBinDir() {
    return QString(STITCHWELL_BIN_DIR);
}

bool stageProgramFolder(const QString& dir, const QStringList& files) {
    QDir().mkpath(dir);
    for (const QString& name : files) {
        QFile::remove(dir + "/" + name);
        if (!QFile::copy(builtBinDir() + "/" + name, dir + "/" + name)) return false;
        QFile(dir + "/" + name)
            .setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                            QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                            QFile::ExeOther);
    }
    return true;
}

}  // namespace testsupport
