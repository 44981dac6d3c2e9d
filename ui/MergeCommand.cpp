#include "ui/MergeCommand.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>

#include "media/General.h"
#include "merge/MergeRun.h"
#include "ui/DialogService.h"
#include "ui/Form1.h"
#include "ui/Settings.h"

namespace {

QString q(const std::string& text) {
    return QString::fromStdString(text);
}
std::string s(const QString& text) {
    return text.toStdString();
}

}  // namespace

int FormMergeHost::folderCount() const {
    return m_form.List1->count();
}

std::string FormMergeHost::folderEntry(int row) const {
    const QListWidgetItem* item = m_form.List1->item(row);
    return item ? s(item->text()) : std::string();
}

void FormMergeHost::setFolderEntry(int row, const std::string& text) {
    if (QListWidgetItem* item = m_form.List1->item(row)) item->setText(q(text));
}

void FormMergeHost::selectFolder(int row) {
    m_form.List1->setCurrentRow(row);
}

std::string FormMergeHost::audioCaption() const {
    return s(m_form.LAudio->text());
}
void FormMergeHost::setAudioCaption(const std::string& text) {
    m_form.LAudio->setText(q(text));
}
std::string FormMergeHost::audioTag() const {
    return s(tag(m_form.LAudio));
}
void FormMergeHost::setAudioTag(const std::string& value) {
    setTag(m_form.LAudio, q(value));
}

std::string FormMergeHost::statusText() const {
    return s(m_form.LST->text());
}
void FormMergeHost::setStatus(const std::string& text) {
    m_form.setStatus(q(text));
}
void FormMergeHost::setStatusTag(const std::string& value) {
    setTag(m_form.LST, q(value));
}

std::string FormMergeHost::sizeText() const {
    return s(m_form.CmbSize->currentText());
}
std::string FormMergeHost::fpsText() const {
    return s(m_form.TPfs->text());
}
std::string FormMergeHost::bitsText() const {
    return s(m_form.TBits->text());
}
std::string FormMergeHost::lengthText() const {
    return s(m_form.TLeng->text());
}
bool FormMergeHost::muteTicked() const {
    return m_form.ChAn->isChecked();
}
bool FormMergeHost::musicTicked() const {
    return m_form.ChAudio->isChecked();
}
bool FormMergeHost::compressTicked() const {
    return m_form.ChComp->isChecked();
}
bool FormMergeHost::backgroundTicked() const {
    return m_form.ChBack->isChecked();
}
bool FormMergeHost::rotateClockwiseTicked() const {
    return m_form.ChRotate->isChecked();
}
bool FormMergeHost::hardwareTicked() const {
    return m_form.ChSpeed->isChecked();
}

std::string FormMergeHost::acceleratorText() const {
    return m_form.CmbAcc->currentIndex() < 0 ? std::string() : s(m_form.CmbAcc->currentText());
}

int FormMergeHost::acceleratorIndex() const {
    return m_form.CmbAcc->currentIndex();
}
bool FormMergeHost::parallelTicked() const {
    return m_form.ChMul->isChecked();
}
std::string FormMergeHost::outputFolder() const {
    return s(m_form.LDir->text());
}
std::string FormMergeHost::usedRoot() const {
    return s(m_form.LMove->text());
}
std::string FormMergeHost::windowCaption() const {
    return s(m_form.windowTitle());
}

void FormMergeHost::writeSetting(const std::string& key, const std::string& value) {
    m_form.settings().WriteSetting(q(key), q(value));
}

void FormMergeHost::setLocked(bool locked) {
    m_form.MenuFiles->setEnabled(!locked);
    m_form.MenuFiles->menuAction()->setEnabled(!locked);
    m_form.MenuMerge->setEnabled(!locked);
    m_form.MenuMerge->menuAction()->setEnabled(!locked);
    m_form.Frame1->setEnabled(!locked);
    m_form.List1->setEnabled(!locked);
    m_form.MenuStop->setEnabled(locked);
    m_form.TDir->setEnabled(!locked);
}

void FormMergeHost::lockWindow() {
    setLocked(true);
}
void FormMergeHost::unlockWindow() {
    setLocked(false);
}
void FormMergeHost::setStopEnabled(bool enabled) {
    m_form.MenuStop->setEnabled(enabled);
}

// The window composes the same tip (caption, count, status line) into its tray record.
void FormMergeHost::addTrayIconAndHide(const std::string&) {
    m_form.addTrayIconAndHide();
}

void FormMergeHost::refreshTrayTip(const std::string& tip) {
    m_form.refreshTrayTip(q(tip) + QChar(u'\0'));
}

void FormMergeHost::showWindow() {
    m_form.showMainWindow();
}

void FormMergeHost::showError(const std::string& text) {
    m_form.dialogs().message(&m_form, q(text), MsgIcon::Error, MsgButtons::Ok);
}

bool FormMergeHost::askOkCancel(const std::string& text) {
    return m_form.dialogs().message(&m_form, q(text), MsgIcon::Information, MsgButtons::OkCancel) ==
           MsgResult::Ok;
}

bool FormMergeHost::askYesNo(const std::string& text) {
    return m_form.dialogs().message(&m_form, q(text), MsgIcon::Information, MsgButtons::YesNo) ==
           MsgResult::Yes;
}

void FormMergeHost::openFolder(const std::string& path) {
    m_form.dialogs().openLocation(q(path));
}
void FormMergeHost::pumpEvents() {
    General::PumpEvents();
}
void FormMergeHost::pumpEventsFor(int maxWaitMs) {
    General::PumpEvents(maxWaitMs);
}
void FormMergeHost::processPendingEvents() {
    QCoreApplication::processEvents();
}
bool FormMergeHost::running() const {
    return m_form.Running;
}
void FormMergeHost::setRunning(bool running) {
    m_form.Running = running;
}
bool FormMergeHost::stopRequested() const {
    return m_form.StopRequested;
}
void FormMergeHost::setStopRequested(bool stop) {
    m_form.StopRequested = stop;
}
int FormMergeHost::madeCount() const {
    return m_form.MadeCount;
}
void FormMergeHost::setMadeCount(int count) {
    m_form.MadeCount = count;
}

std::shared_ptr<MergeRun> installMergeCommands(
    Form1& form, std::function<void(const std::string&, const std::string&)> onToolStart) {
    auto host = std::make_shared<FormMergeHost>(form);
    auto run = std::shared_ptr<MergeRun>(
        new MergeRun(*host, MergeEnv{s(form.programFolder()), std::move(onToolStart), {}}),
        [host](MergeRun* r) { delete r; });  // the host outlives the run
    form.mergeCommand = [run] { run->MenuDo_Click(); };
    form.stopCommand = [run] { run->MenuStop_Click(); };
    form.endRunForClose = [run] { run->EndForClose(); };
    return run;
}
