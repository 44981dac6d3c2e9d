// The main window as the merge run sees it (MergeHost): the job's inputs, the folder list, the
// music label and the status line, the settings of a run, the lock, the questions and the pump.

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>

#include "media/General.h"
#include "shell/DialogService.h"
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

MergeHost::JobInputs Form1::jobInputs() const {
    JobInputs in;
    in.size = s(CmbSize->currentText());
    in.fps = s(TPfs->text());
    in.bits = s(TBits->text());
    in.length = s(TLeng->text());
    in.mute = ChAn->isChecked();
    in.music = ChAudio->isChecked();
    in.compress = ChComp->isChecked();
    in.background = ChBack->isChecked();
    in.outputFolder = s(LDir->text());
    in.usedRoot = s(LMove->text());
    return in;
}

MergeHost::ClipInputs Form1::clipInputs() const {
    ClipInputs in;
    in.rotateClockwise = ChRotate->isChecked();
    in.hardware = ChSpeed->isChecked();
    in.parallel = ChMul->isChecked();
    if (CmbAcc->currentIndex() >= 0) {
        in.accelerator = s(CmbAcc->currentText());
        if (const QVariant sessions = CmbAcc->currentData(); sessions.isValid())
            in.hardwareSessions = sessions.toInt();
    }
    return in;
}

std::vector<std::string> Form1::folderEntries() const {
    std::vector<std::string> entries;
    for (int i = 0; i < List1->count(); ++i) entries.push_back(s(List1->item(i)->text()));
    return entries;
}

void Form1::setFolderEntry(int row, const std::string& text) {
    if (QListWidgetItem* item = List1->item(row)) item->setText(q(text));
}

void Form1::selectFolder(int row) {
    List1->setCurrentRow(row);
}

std::string Form1::audioCaption() const {
    return s(LAudio->text());
}

void Form1::setAudio(const std::string& caption, int count) {
    LAudio->setText(q(caption));
    setTag(LAudio, QString::number(count));
}

void Form1::showStatus(const std::string& text) {
    setStatus(q(text));
}

void Form1::setMadeTag(int made) {
    setTag(LST, QString::number(made));
}

void Form1::storeRunChoices() {
    m_settings.setSaveDir(LDir->text());
    m_settings.setMoveDir(LMove->text());
    m_settings.setSpeed(ChSpeed->isChecked());
    m_settings.setCmbAcc(CmbAcc->currentIndex());
}

void Form1::lock(bool locked) {
    MenuFiles->setEnabled(!locked);
    MenuFiles->menuAction()->setEnabled(!locked);
    MenuMerge->setEnabled(!locked);
    MenuMerge->menuAction()->setEnabled(!locked);
    Frame1->setEnabled(!locked);
    List1->setEnabled(!locked);
    MenuStop->setEnabled(locked);
    TDir->setEnabled(!locked);
}

void Form1::setStopEnabled(bool enabled) {
    MenuStop->setEnabled(enabled);
}

bool Form1::ask(Ask kind, const std::string& text) {
    switch (kind) {
        case Ask::Error:
            m_dialogs.message(this, q(text), MsgIcon::Error, MsgButtons::Ok);
            return true;
        case Ask::OkCancel:
            return m_dialogs.message(this, q(text), MsgIcon::Information, MsgButtons::OkCancel) ==
                   MsgResult::Ok;
        case Ask::YesNo:
            return m_dialogs.message(this, q(text), MsgIcon::Information, MsgButtons::YesNo) ==
                   MsgResult::Yes;
    }
    return false;
}

void Form1::openFolder(const std::string& path) {
    m_dialogs.openLocation(q(path));
}

void Form1::pumpEvents(int maxWaitMs) {
    if (maxWaitMs <= 0)
        QCoreApplication::processEvents();
    else
        General::PumpEvents(maxWaitMs);
}
