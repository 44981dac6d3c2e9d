#pragma once
// What the main window does when it is loaded (before it is first shown) and when it is asked to
// close: the second-copy guard, the updater's start-up check, the stored settings or the
// hardware-acceleration probe, the output and work folders, and the transcoder put in place;
// closing ends the transcoder and removes its runnable copy.

#include <QString>
#include <functional>

class DialogService;
class Form1;
class Settings;

// The updater's start-up version check; it runs as the third load step, before any step that can
// fail silently. Empty (nothing runs) until the updater registers one.
using StartupCheck = std::function<void(Form1&)>;
void setStartupCheck(StartupCheck check);

struct StartupOptions {
    // File name of this program's executable, the name a stale copy runs under. Empty: the name
    // of the running executable.
    QString exeName;
};

// The load sequence. False when the user chose to give up this second copy: the program is to
// end at once without showing the window. While the window lives it holds the program folder's
// single-copy lock.
bool runStartup(Form1& form, Settings& settings, DialogService& dialogs,
                const StartupOptions& options = {});

// The close request: asks "关闭程序？" (Cancel as default); on OK removes the tray icon, ends the
// transcoder and deletes its runnable copy, and lets the window close.
void installCloseRequest(Form1& form, DialogService& dialogs);

// ---- the pieces -----------------------------------------------------------------------------

// The message of the second-copy guard.
QString secondCopyMessage();
// Default output folder: a folder the user can write that survives a reboot: the user's videos
// folder + "/Stitchwell" when that folder exists, else the home folder + "/Stitchwell".
QString defaultOutputFolder();

// Finds out whether the graphics hardware can encode H.264: one Intel and one NVIDIA attempt on
// the sample clip with the transcoder of the program folder. Fills ChSpeed and CmbAcc and writes
// the settings after an attempt that produced a playable output.
void AccelerationProbe(Form1& form, Settings& settings);
