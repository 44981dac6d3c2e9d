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
    int acceleratorRow = -1;
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

    // run state
    bool Running = false, StopRequested = false;
    int MadeCount = 0;

    std::function<void()> onPump;
    int pumps = 0;

    int folderCount() const override { return int(entries.size()); }
    std::string folderEntry(int row) const override { return entries.at(row); }
    void setFolderEntry(int row, const std::string& text) override { entries.at(row) = text; }
    void selectFolder(int row) override { selectedRow = row; }
    std::string audioCaption() const override { return audio; }
    void setAudioCaption(const std::string& text) override { audio = text; }
    std::string audioTag() const override { return audioTagText; }
    void setAudioTag(const std::string& tag) override { audioTagText = tag; }
    std::string statusText() const override { return status; }
    void setStatus(const std::string& text) override;
    void setStatusTag(const std::string& tag) override { statusTag = tag; }
    std::string sizeText() const override { return size; }
    std::string fpsText() const override { return fps; }
    std::string bitsText() const override { return bits; }
    std::string lengthText() const override { return length; }
    bool muteTicked() const override { return mute; }
    bool musicTicked() const override { return music; }
    bool compressTicked() const override { return compress; }
    bool backgroundTicked() const override { return background; }
    bool rotateClockwiseTicked() const override { return rotateClockwise; }
    bool hardwareTicked() const override { return hardware; }
    std::string acceleratorText() const override { return accelerator; }
    int acceleratorIndex() const override { return acceleratorRow; }
    bool parallelTicked() const override { return parallel; }
    std::string outputFolder() const override { return output; }
    std::string usedRoot() const override { return used; }
    std::string windowCaption() const override { return caption; }
    void writeSetting(const std::string& key, const std::string& value) override {
        settings[key] = value;
    }
    void lockWindow() override;
    void unlockWindow() override;
    void setStopEnabled(bool enabled) override { stopEnabled = enabled; }
    void addTrayIconAndHide(const std::string& tip) override;
    void refreshTrayTip(const std::string& tip) override { tips.push_back(tip); }
    void showWindow() override;
    void showError(const std::string& text) override;
    bool askOkCancel(const std::string& text) override;
    bool askYesNo(const std::string& text) override;
    void openFolder(const std::string& path) override { opened.push_back(path); }
    void pumpEvents() override;
    void pumpEventsFor(int maxWaitMs) override;
    void processPendingEvents() override {}
    bool running() const override { return Running; }
    void setRunning(bool r) override { Running = r; }
    bool stopRequested() const override { return StopRequested; }
    void setStopRequested(bool s) override { StopRequested = s; }
    int madeCount() const override { return MadeCount; }
    void setMadeCount(int c) override { MadeCount = c; }

    bool sawStatus(const std::string& text) const;
    int countAsked(const std::string& kind) const;

private:
    bool answer();
};
