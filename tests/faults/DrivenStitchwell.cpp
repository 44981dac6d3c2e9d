// Stitchwell with a scripted user, for the fault suite: the real start-up, window, merge run and
// close request in a process of its own that a test can kill at any moment. The test stages it
// in a program folder as "Stitchwell" and starts it with a job file:
//
//   settings=<ini file>      the settings store (SaveDir, MoveDir, ... as start-up reads them)
//   control=<folder>         where it writes status.log and looks for the files "stop", "close"
//   source=<folder>          one line per source folder, in order
//   music=<folder>           background music (ticked when given)
//   length=10  parallel=1  compress=0  size=144×204  bits=800
//   stopAfter=N              presses stop once N videos are made
//
// status.log gets one line per event: "S <status text>", "D <message box text>", "M <videos
// made> <resident kB>" after every counted video, "E" when the window has closed.

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <fstream>

#include "platform/Platform.h"
#include "tests/support/FormAccess.h"
#include "tests/support/ScriptedDialogs.h"
#include "ui/Form1.h"
#include "ui/MergeCommand.h"
#include "ui/Settings.h"
#include "ui/Startup.h"

namespace {

struct Job {
    QString settings, control, music, length = "10", size = "144×204", bits = "800";
    QStringList sources;
    bool parallel = true, compress = false;
    int stopAfter = 0;
};

Job readJob(const QString& path) {
    Job job;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return job;
    for (const QString& line : QString::fromUtf8(file.readAll()).split('\n')) {
        const int eq = line.indexOf('=');
        if (eq < 0) continue;
        const QString key = line.left(eq), value = line.mid(eq + 1);
        if (key == "settings") job.settings = value;
        if (key == "control") job.control = value;
        if (key == "source") job.sources << value;
        if (key == "music") job.music = value;
        if (key == "length") job.length = value;
        if (key == "size") job.size = value;
        if (key == "bits") job.bits = value;
        if (key == "parallel") job.parallel = value == "1";
        if (key == "compress") job.compress = value == "1";
        if (key == "stopAfter") job.stopAfter = value.toInt();
    }
    return job;
}

long residentKb() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * 4;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    if (argc < 2) return 2;
    const Job job = readJob(QString::fromLocal8Bit(argv[1]));
    std::ofstream log((job.control + "/status.log").toStdString(), std::ios::app);
    const auto note = [&log](const QString& line) { log << line.toStdString() << std::endl; };

    ScriptedDialogs dialogs;
    dialogs.onMessage = [&note](const QString& text) { note("D " + text); };
    Settings settings(job.settings);
    Form1 window(dialogs, settings, QString::fromStdString(platform::programFolder()));
    window.systemTrayAvailable = [] { return true; };
    QObject::connect(&window, &Form1::statusChanged,
                     [&](const QString& text) { note("S " + text); });
    QObject::connect(&window, &Form1::closed, &app, &QCoreApplication::quit);
    if (!runStartup(window, settings, dialogs)) return 0;
    installCloseRequest(window, dialogs);
    installMergeCommands(window);
    window.show();

    int lastMade = 0;
    bool stopPressed = false;
    QTimer control;
    control.setInterval(50);
    QObject::connect(&control, &QTimer::timeout, [&] {
        if (window.madeCount() != lastMade) {
            lastMade = window.madeCount();
            note(QString("M %1 %2").arg(lastMade).arg(residentKb()));
        }
        const bool stopFile = QFile::exists(job.control + "/stop");
        if (window.running() && !stopPressed &&
            (stopFile || (job.stopAfter > 0 && window.madeCount() >= job.stopAfter))) {
            stopPressed = true;
            controlsOf(window).MenuStop->trigger();
        }
        if (QFile::exists(job.control + "/close")) {
            QFile::remove(job.control + "/close");
            window.close();
        }
    });
    control.start();

    QTimer::singleShot(0, &window, [&] {
        for (const QString& folder : job.sources) {
            dialogs.folders.push_back(folder);
            controlsOf(window).MunuFolds->trigger();
        }
        controlsOf(window).ChAudio->setChecked(!job.music.isEmpty());
        if (!job.music.isEmpty()) {
            dialogs.folders.push_back(job.music);
            controlsOf(window).MemuAudio->trigger();
        }
        controlsOf(window).CmbSize->setEditText(job.size);
        controlsOf(window).TLeng->setText(job.length);
        controlsOf(window).TBits->setText(job.bits);
        controlsOf(window).ChMul->setChecked(job.parallel);
        controlsOf(window).ChComp->setChecked(job.compress);
        controlsOf(window).ChBack->setChecked(false);
        controlsOf(window).MenuDo->trigger();
        // The run is over (stopped, or the window closed while it went on).
        if (window.isVisible()) window.close();
    });
    const int rc = app.exec();
    note("E");
    return rc;
}
