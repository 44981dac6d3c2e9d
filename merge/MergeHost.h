#pragma once
// The main window as the merge run sees it: the job's inputs read when a run starts, the inputs
// read afresh for every clip, the folder list, the music label and the status line written, the
// user asked, the window locked, hidden behind its tray icon and shown, and one event pump.
// Form1 implements it, tests use a scripted fake. Texts are UTF-8.

#include <string>
#include <vector>

class MergeHost {
public:
    virtual ~MergeHost() = default;

    // Read when a run starts (the window is locked while it goes on).
    struct JobInputs {
        std::string size, fps, bits, length;  // CmbSize "W×H", TPfs, TBits, TLeng ("0": none)
        bool mute = false, music = false, compress = false, background = false;
        std::string outputFolder, usedRoot;  // LDir, LMove
    };
    // Read afresh for every clip and for the final run.
    struct ClipInputs {
        bool rotateClockwise = false, hardware = false,
             parallel = false;    // ChRotate, ChSpeed, ChMul
        std::string accelerator;  // the selected entry of CmbAcc, empty for none
        // How many sessions of the selected hardware form may run at once, as the acceleration
        // probe established it (2 where nothing usable is stored).
        int hardwareSessions = 2;
    };
    enum class Ask { Error, OkCancel, YesNo };

    virtual JobInputs jobInputs() const = 0;
    virtual ClipInputs clipInputs() const = 0;

    // List1: the source folder entries (a bare folder path or the counted form).
    virtual std::vector<std::string> folderEntries() const = 0;
    virtual void setFolderEntry(int row, const std::string& text) = 0;
    virtual void selectFolder(int row) = 0;
    // LAudio: the music folder caption, and its tag (the mp3 count).
    virtual std::string audioCaption() const = 0;
    virtual void setAudio(const std::string& caption, int count) = 0;
    // LST: the status line (its change also feeds the status bar and the tray tip); its tag holds
    // the count of videos made.
    virtual void showStatus(const std::string& text) = 0;
    virtual void setMadeTag(int made) = 0;

    // The choices a run remembers in the settings store (output and used-material folders,
    // hardware encoding and the selected encoder).
    virtual void storeRunChoices() = 0;
    // Locked: MenuFiles, MenuMerge, Frame1, List1 and TDir disabled, MenuStop enabled; unlocked
    // the other way round.
    virtual void lock(bool locked) = 0;
    virtual void setStopEnabled(bool enabled) = 0;  // MenuStop
    // Background mode: the tray icon (its tip: caption, count, status line), then the window
    // hidden; the tip refreshed; the window shown.
    virtual void hideBehindTray() = 0;
    virtual void refreshTrayTip() = 0;
    virtual void showWindow() = 0;

    // A message box titled "消息" (Error: error icon, OK; the others: information icon); true on
    // OK or Yes.
    virtual bool ask(Ask kind, const std::string& text) = 0;
    virtual void openFolder(const std::string& path) = 0;  // the desktop's file manager
    // Handles pending window events, then waits for new ones for at most maxWaitMs (0: no wait).
    virtual void pumpEvents(int maxWaitMs) = 0;
};
