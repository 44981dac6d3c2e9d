#pragma once
// A scripted stand-in for the main window: plain fields for every control the merge run reads,
// a record of what the run wrote and asked, and a hook called at every event pump (where a test
// presses stop, copies files in, or starts a second merge command).

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "merge/MergeHost.h"
#include "merge/MergeRun.h"

class ScriptedHost : public MergeHost {
public:
    struct Asked {
        std::string kind;  // "error", "okcancel", "yesno"
        std::string text;
    };

    // controls
    std::vector<std::string> entries;
    int selectedRow = -1;
    std::string audio = "Mp3背景音乐文件夹未指定", audioTagText = "0";
    std::string status = "状态：未就绪", statusTag;
    std::string size = "144×204", fps = "25", bits = "1000", length = "10";
    bool mute = true, music = true, compress = false, background = false;
    bool rotateClockwise = false, hardware = false, parallel = false;
    std::string accelerator;
    int acceleratorRow = -1, hardwareSessions = 2;
    std::string output, used, caption = "Stitchwell";

    // window state
    bool locked = false, stopEnabled = false, visible = true, trayIcon = false;
    int showCalls = 0;
    std::vector<std::string> tips;
    std::map<std::string, std::string> settings;
    std::vector<std::string> statusLog;  // every distinct status text, in order
    std::vector<std::string> opened;

    // dialogs: answers in order, then defaultAnswer
    std::deque<bool> answers;
    bool defaultAnswer = true;
    std::vector<Asked> asked;
    std::function<void(const std::string&)> onAsk;

    // the run's state, for the tray tips (set by the test)
    const RunState* run = nullptr;

    std::function<void()> onPump;
    int pumps = 0;

    JobInputs jobInputs() const override;
    ClipInputs clipInputs() const override;
    std::vector<std::string> folderEntries() const override { return entries; }
    void setFolderEntry(int row, const std::string& text) override { entries.at(row) = text; }
    void selectFolder(int row) override { selectedRow = row; }
    std::string audioCaption() const override { return audio; }
    void setAudio(const std::string& caption, int count) override;
    void showStatus(const std::string& text) override;
    void setMadeTag(int made) override { statusTag = std::to_string(made); }
    void storeRunChoices() override;
    void lock(bool locked) override;
    void setStopEnabled(bool enabled) override { stopEnabled = enabled; }
    void hideBehindTray() override;
    void refreshTrayTip() override;
    void showWindow() override;
    bool ask(Ask kind, const std::string& text) override;
    void openFolder(const std::string& path) override { opened.push_back(path); }
    void pumpEvents(int maxWaitMs) override;

    bool sawStatus(const std::string& text) const;
    int countAsked(const std::string& kind) const;

private:
    bool answer();
    std::string trayTip() const;
};
