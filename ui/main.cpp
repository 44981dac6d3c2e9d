// Stitchwell: the main window program.

#include <QApplication>
#include <QFont>
#include <QFontDatabase>

#include "media/DiagnosticLog.h"
#include "platform/Platform.h"
#include "shell/DialogService.h"
#include "ui/Form1.h"
#include "ui/MergeCommand.h"
#include "ui/Settings.h"
#include "ui/Startup.h"
#include "update/Updater.h"

namespace {

// Every text the user sees is Chinese: prefer a Simplified Chinese face so that the Han
// characters come from one font with the mainland glyph forms.
void useChineseFont(QApplication& app) {
    const QStringList wanted = {QStringLiteral("Noto Sans CJK SC"),
                                QStringLiteral("Source Han Sans SC"),
                                QStringLiteral("WenQuanYi Micro Hei"),
                                QStringLiteral("Microsoft YaHei"), QStringLiteral("SimSun")};
    const QStringList installed = QFontDatabase::families();
    for (const QString& family : wanted) {
        if (installed.contains(family)) {
            QFont font = app.font();
            font.setFamilies({family});
            app.setFont(font);
            return;
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Stitchwell"));
    // The window may hide behind its tray icon while a run goes on; the program ends when the
    // main window is closed, not when the last visible window goes.
    QApplication::setQuitOnLastWindowClosed(false);
    useChineseFont(app);
    DiagnosticLog::install();

    QtDialogService dialogs;
    Settings settings;
    Form1 window(dialogs, settings, QString::fromStdString(platform::programFolder()));
    QObject::connect(&window, &Form1::closed, &app, &QCoreApplication::quit);
    installUpdater(window);
    if (!runStartup(window, settings, dialogs)) return 0;
    installCloseRequest(window, dialogs);
    installMergeCommands(window);
    window.show();
    return app.exec();
}
