#pragma once
// The main window as the merge run sees it. The run reads the controls, rewrites the folder list,
// the music label and the status line, locks and unlocks the window, asks the user, and pumps
// window events only through this interface; Form1 implements it, tests use a scripted fake.
// Texts are UTF-8.

#include <string>

class MergeHost {
public:
    virtual ~MergeHost() = default;

    // ---- List1: the source folder entries (bare folder path or the counted form)
    virtual int folderCount() const = 0;
    virtual std::string folderEntry(int row) const = 0;
    virtual void setFolderEntry(int row, const std::string& text) = 0;
    virtual void selectFolder(int row) = 0;

    // ---- LAudio: the music folder caption and its tag (the mp3 count as decimal text)
    virtual std::string audioCaption() const = 0;
    virtual void setAudioCaption(const std::string& text) = 0;
    virtual std::string audioTag() const = 0;
    virtual void setAudioTag(const std::string& tag) = 0;

    // ---- LST: the status line (its change also feeds the status bar and the tray tip) and tag
    virtual std::string statusText() const = 0;
    virtual void setStatus(const std::string& text) = 0;
    virtual void setStatusTag(const std::string& tag) = 0;

    // ---- job parameters, read when a run starts
    virtual std::string sizeText() const = 0;    // CmbSize, "W×H"
    virtual std::string fpsText() const = 0;     // TPfs
    virtual std::string bitsText() const = 0;    // TBits
    virtual std::string lengthText() const = 0;  // TLeng, "0" = no target length
    virtual bool muteTicked() const = 0;         // ChAn
    virtual bool musicTicked() const = 0;        // ChAudio
    virtual bool compressTicked() const = 0;     // ChComp
    virtual bool backgroundTicked() const = 0;   // ChBack
    // ---- read afresh for every clip
    virtual bool rotateClockwiseTicked() const = 0;   // ChRotate
    virtual bool hardwareTicked() const = 0;          // ChSpeed
    virtual std::string acceleratorText() const = 0;  // selected text of CmbAcc, empty for none
    virtual int acceleratorIndex() const = 0;         // list index of CmbAcc, -1 for none
    virtual bool parallelTicked() const = 0;          // ChMul
    // ---- folders and caption
    virtual std::string outputFolder() const = 0;  // LDir
    virtual std::string usedRoot() const = 0;      // LMove
    virtual std::string windowCaption() const = 0;

    // One key of the settings store, section "Default".
    virtual void writeSetting(const std::string& key, const std::string& value) = 0;

    // ---- window state
    // Disables MenuFiles, MenuMerge, Frame1, List1 and TDir, enables MenuStop.
    virtual void lockWindow() = 0;
    // Enables Frame1, MenuFiles, MenuMerge, List1 and TDir, disables MenuStop.
    virtual void unlockWindow() = 0;
    virtual void setStopEnabled(bool enabled) = 0;  // MenuStop
    // Background mode: the tray icon with the given tip, then the window hidden.
    virtual void addTrayIconAndHide(const std::string& tip) = 0;
    virtual void refreshTrayTip(const std::string& tip) = 0;
    virtual void showWindow() = 0;

    // ---- the user (message boxes titled "消息")
    virtual void showError(const std::string& text) = 0;    // error icon, OK
    virtual bool askOkCancel(const std::string& text) = 0;  // information icon; true on OK
    virtual bool askYesNo(const std::string& text) = 0;     // information icon; true on Yes
    virtual void openFolder(const std::string& path) = 0;   // the desktop's file manager
    // Handles pending window events, then waits for new ones for at most ~10 ms (the pump
    // between two polls of a wait).
    virtual void pumpEvents() = 0;
    // The same with a longer wait (at most maxWaitMs), handling events as they arrive: the pause
    // between two polls of the process list.
    virtual void pumpEventsFor(int maxWaitMs) = 0;
    // Handles pending window events without waiting (the pump between two listed names).
    virtual void processPendingEvents() = 0;

    // ---- run state shared with the window's other handlers
    virtual bool running() const = 0;
    virtual void setRunning(bool running) = 0;
    virtual bool stopRequested() const = 0;
    virtual void setStopRequested(bool stop) = 0;
    virtual int madeCount() const = 0;
    virtual void setMadeCount(int count) = 0;
};
