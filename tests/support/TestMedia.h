#pragma once
// Helpers for tests: a temporary folder that cleans up after itself, and real media made with the
// real ffmpeg (lavfi sources).

#include <QString>
#include <QStringList>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class QTemporaryDir;

namespace testsupport {

// A fresh temporary folder, removed with everything in it when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    QString path() const;
    std::string str() const { return path().toStdString(); }
    // path() + "/" + name, made as a folder (with parents) when mkdir is true.
    QString sub(const QString& name, bool mkdir = false) const;

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

// Pids of the live processes with exactly this name (the whole machine's, or the test's own pid
// namespace when it runs in one).
std::vector<int> pidsNamed(const std::string& name);
// True while a process with this pid is listed.
bool isListed(int pid);
// Polls the condition every few milliseconds until it holds.
void waitUntil(const std::function<bool()>& condition);

// Runs the system's ffmpeg with the arguments; true when it exited 0.
bool runFfmpeg(const QStringList& args, QString* errorOutput = nullptr);
// An H.264 mp4 of the given size and length (testsrc2), with a sine audio track when audio.
bool makeVideo(const QString& path, int width, int height, double seconds, bool audio = false);
// An mp3 of the given length (sine).
bool makeMp3(const QString& path, double seconds);
// The container duration ffprobe reports, or -1.
double probeDuration(const QString& path);
// Width, height and frame rate of the first video stream as ffprobe reports them.
struct StreamInfo {
    int width = 0, height = 0;
    double fps = 0;
    QString codec;
};
StreamInfo probeVideo(const QString& path);
bool writeText(const QString& path, const QByteArray& bytes);

// Small clips and mp3 files made once per test program with the real ffmpeg, to be copied into
// the tests' own folders: landscape 176×144, portrait 144×204 and square 144×144 clips of 1 s
// and a landscape one of 2 s (no sound); mp3 files of any length, made on first use.
class SharedMedia {
public:
    static SharedMedia& get();
    std::string land, port, square, longer;
    std::string mp3(int seconds);

private:
    SharedMedia();
    std::unique_ptr<TempDir> m_dir;
    std::map<int, std::string> m_mp3;
};

// Runs fn as an unprivileged user (nobody) when the tests run as root, after handing the folder to
// that user: root ignores read-only rights, so they would not be tested otherwise. True when fn
// returned true.
bool asOrdinaryUser(const std::string& folder, const std::function<bool()>& fn);

// A small tmpfs mounted at a fresh folder, in a mount namespace of this process's own (nothing
// outside the process and its children sees it; it goes when the process ends). Where the machine
// does not allow it (not root, no mount rights), path() is empty and whyNot() says why.
class SmallFileSystem {
public:
    explicit SmallFileSystem(long long bytes);
    ~SmallFileSystem();
    SmallFileSystem(const SmallFileSystem&) = delete;
    SmallFileSystem& operator=(const SmallFileSystem&) = delete;
    const std::string& path() const { return m_path; }
    const std::string& whyNot() const { return m_whyNot; }

private:
    std::string m_path, m_whyNot;
};
// Fills the file system that holds folder with one file until nothing more fits.
bool fillUp(const std::string& folder);

// Path of the staged program folder of the build (read only for tests).
QString builtBinDir();
// Makes a program folder of the test's own: copies the named files from the build's bin/
// (e.g. "Vidforge.dll") into dir.
bool stageProgramFolder(const QString& dir, const QStringList& files);

}  // namespace testsupport
