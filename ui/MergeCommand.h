#pragma once
// The merge and stop commands of the main window: Form1 serves as the window of a MergeRun
// (FormMergeHost reads and writes its public controls), and installMergeCommands points the
// window's mergeCommand and stopCommand hooks at that run.

#include <functional>
#include <memory>
#include <string>

#include "merge/MergeHost.h"

class Form1;
class MergeRun;

class FormMergeHost : public MergeHost {
public:
    explicit FormMergeHost(Form1& form) : m_form(form) {}

    int folderCount() const override;
    std::string folderEntry(int row) const override;
    void setFolderEntry(int row, const std::string& text) override;
    void selectFolder(int row) override;
    std::string audioCaption() const override;
    void setAudioCaption(const std::string& text) override;
    std::string audioTag() const override;
    void setAudioTag(const std::string& tag) override;
    std::string statusText() const override;
    void setStatus(const std::string& text) override;
    void setStatusTag(const std::string& tag) override;
    std::string sizeText() const override;
    std::string fpsText() const override;
    std::string bitsText() const override;
    std::string lengthText() const override;
    bool muteTicked() const override;
    bool musicTicked() const override;
    bool compressTicked() const override;
    bool backgroundTicked() const override;
    bool rotateClockwiseTicked() const override;
    bool hardwareTicked() const override;
    std::string acceleratorText() const override;
    int acceleratorIndex() const override;
    bool parallelTicked() const override;
    std::string outputFolder() const override;
    std::string usedRoot() const override;
    std::string windowCaption() const override;
    void writeSetting(const std::string& key, const std::string& value) override;
    void lockWindow() override;
    void unlockWindow() override;
    void setStopEnabled(bool enabled) override;
    void addTrayIconAndHide(const std::string& tip) override;
    void refreshTrayTip(const std::string& tip) override;
    void showWindow() override;
    void showError(const std::string& text) override;
    bool askOkCancel(const std::string& text) override;
    bool askYesNo(const std::string& text) override;
    void openFolder(const std::string& path) override;
    void pumpEvents() override;
    void pumpEventsFor(int maxWaitMs) override;
    void processPendingEvents() override;
    bool running() const override;
    void setRunning(bool running) override;
    bool stopRequested() const override;
    void setStopRequested(bool stop) override;
    int madeCount() const override;
    void setMadeCount(int count) override;

private:
    void setLocked(bool locked);
    Form1& m_form;
};

// Sets form.mergeCommand and form.stopCommand to a merge run working in the form's program
// folder. onToolStart (may be empty) sees every tool start of the run before it happens.
// Returns the run, which lives as long as the form's hooks.
std::shared_ptr<MergeRun> installMergeCommands(
    Form1& form,
    std::function<void(const std::string& file, const std::string& params)> onToolStart = {});
