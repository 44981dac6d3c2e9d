#include "ui/Form1.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QRegularExpressionValidator>
#include <QSpinBox>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QVBoxLayout>

#include "merge/MergeRun.h"
#include "merge/MergeTexts.h"
#include "platform/Platform.h"
#include "platform/Text.h"
#include "shell/DialogService.h"
#include "shell/NewDir.h"
#include "ui/ElidedLabel.h"
#include "ui/ParamRules.h"
#include "ui/Settings.h"
#include "ui/Startup.h"

namespace {

const QString kDuplicateFolder =
    QStringLiteral("您刚指定的视频素材来源文件夹已经存在于列表了，禁止重复指定，请更换！");
const QString kNoClips = QStringLiteral("该目录未存在任何mp4视频文件！");
const QString kNoMp3 = QStringLiteral("该目录未存在任何mp3音频文件！");
const QString kBadFolderText =
    QStringLiteral("所选文件夹的路径中含有不能使用的字符（| < > \" * ? 或控制字符），请更换！");
const QString kOutputNotWritable =
    QStringLiteral("所选输出目录不能写入文件，生成的视频将无法保存，请更换！");
const QString kOutputFolderRefused = QStringLiteral(
    "输出目录不能是程序文件夹、工作文件夹Tmps、视频素材来源文件夹或已使用素材文件夹，请更换！");
constexpr int kMaxFolders = 20;

// The session count of encoder entry i; none where the list of counts ends before it.
std::optional<int> countAt(const std::vector<int>& sessions, int i) {
    if (i < 0 || i >= std::ssize(sessions)) return std::nullopt;
    return sessions[i];
}

// The name the file system reports for the last component of a path; "" when nothing exists
// there. The root has no last component and is known by its own path.
// The folder a source list entry names (the bare path, or the folder of a counted entry).
QString entryFolder(const QListWidgetItem* item) {
    return QString::fromStdString(MergeTexts::EntryFolder(item->text().toStdString()));
}

QString folderIdentity(const QString& path) {
    if (path.isEmpty() || !QFileInfo::exists(path)) return QString();
    const QString clean = QDir::cleanPath(path);
    const QString name = QFileInfo(clean).fileName();
    return name.isEmpty() ? clean : name;
}

}  // namespace

QString tag(const QObject* object) {
    return object ? object->property("tag").toString() : QString();
}

void setTag(QObject* object, const QString& value) {
    if (object) object->setProperty("tag", value);
}

// ---- construction ----------------------------------------------------------------------------

Form1::Form1(DialogService& dialogs, Settings& settings, const QString& programFolder,
             QWidget* parent)
    : QMainWindow(parent),
      m_dialogs(dialogs),
      m_settings(settings),
      m_programFolder(programFolder) {
    setWindowTitle(QStringLiteral("Stitchwell"));
    setWindowIcon(makeWindowIcon());
    buildMenus();
    buildControls();
    buildStatusBar();

    m_iconHandle = tray::RegisterIcon(windowIcon());
    m_windowHandle = tray::RegisterWindow([this](std::uint32_t message, std::uint32_t mouse) {
        if (message == tray::kMouseMove) Form_MouseMove(static_cast<int>(mouse));
    });
    systemTrayAvailable = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
}

Form1::~Form1() {
    removeTrayIcon();
    tray::UnregisterWindow(m_windowHandle);
}

// ---- what start-up and the updater ask of the window ----------------------------------------

bool Form1::running() const {
    return m_run && m_run->Running;
}

bool Form1::stopRequested() const {
    return m_run && m_run->StopRequested;
}

int Form1::madeCount() const {
    return m_run ? m_run->MadeCount : 0;
}

QString Form1::statusText() const {
    return LST->text();
}

void Form1::showOutputFolder(const QString& folder) {
    LDir->setText(folder);
}

void Form1::showUsedRoot(const QString& folder) {
    LMove->setText(folder);
}

QString Form1::outputFolder() const {
    return LDir->text();
}

QString Form1::usedRoot() const {
    return LMove->text();
}

void Form1::offerAccelerators(const QStringList& entries, const std::vector<int>& sessions,
                              std::optional<int> preferred) {
    if (preferred) m_preferredEncoderIndex = *preferred;
    if (entries.isEmpty()) return;
    ChSpeed->setEnabled(true);
    for (int i = 0; i < entries.size(); ++i) addAccelerator(entries[i], countAt(sessions, i));
    selectAccelerator(m_preferredEncoderIndex);
}

QStringList Form1::acceleratorEntries() const {
    QStringList entries;
    for (int i = 0; i < CmbAcc->count(); ++i) entries << CmbAcc->itemText(i);
    return entries;
}

QString Form1::versionText() const {
    return TV->text();
}

void Form1::offerUpdate(bool offered) {
    MenuUpdate->setEnabled(offered);
    if (offered) setWindowTitle(windowTitle() + QStringLiteral("  发现有更新版本"));
}

void Form1::setUpdateEntries(std::function<void(UpdateHost&)> startupCheck,
                             std::function<void()> command) {
    setStartupCheck([check = std::move(startupCheck)](Form1& window) { check(window); });
    updateCommand = std::move(command);
}

// ---- settings --------------------------------------------------------------------------------

bool Form1::selectAccelerator(int index) {
    if (index < 0 || index >= CmbAcc->count()) return false;
    CmbAcc->setCurrentIndex(index);
    return true;
}

void Form1::addAccelerator(const QString& entry, std::optional<int> sessions) {
    const int before = CmbAcc->currentIndex();
    CmbAcc->addItem(entry, sessions ? QVariant(*sessions) : QVariant());
    CmbAcc->setCurrentIndex(before);  // adding never selects
}

bool Form1::restoreAccelerationSettings() {
    const std::optional<bool> accelerate = m_settings.accelerate();
    if (!accelerate || !*accelerate) return false;
    ChSpeed->setEnabled(true);
    if (const auto speed = m_settings.speed(); speed && (*speed == 0 || *speed == 1))
        ChSpeed->setChecked(*speed == 1);  // a change runs the click behaviour
    if (const auto index = m_settings.accIndex()) m_preferredEncoderIndex = *index;
    // Only the encoders a probe can find; a stored list that holds anything else (or an entry
    // twice) is not taken at its word.
    const QStringList known = {QStringLiteral("Intel显卡硬件加速"),
                               QStringLiteral("NVIDIA显卡硬件加速")};
    const QStringList stored = m_settings.accs();
    const std::vector<int> sessions = m_settings.accSessions();
    for (int i = 0; i < stored.size(); ++i) {
        if (!known.contains(stored[i]) || CmbAcc->findText(stored[i]) >= 0) continue;
        addAccelerator(stored[i], countAt(sessions, i));
    }
    if (const auto selected = m_settings.cmbAcc(m_preferredEncoderIndex))
        selectAccelerator(*selected);
    return true;
}

// ---- parameter controls --------------------------------------------------------------------

void Form1::ChSpeed_Click() {
    CmbAcc->setEnabled(ChSpeed->isChecked());
    selectAccelerator(m_preferredEncoderIndex);
}

void Form1::ChAudio_Click() {
    MemuAudio->setEnabled(ChAudio->isChecked());
}

void Form1::CmbSize_Validate() {
    if (const auto size = ParamRules::NormalizedSize(CmbSize->currentText())) {
        if (*size != CmbSize->currentText()) CmbSize->setEditText(*size);
        return;
    }
    CmbSize->setCurrentIndex(0);
    CmbSize->setEditText(CmbSize->itemText(0));
    m_dialogs.beep();
}

void Form1::TLeng_Validate() {
    const QString v = ParamRules::ClampedLength(TLeng->text());
    if (v != TLeng->text()) TLeng->setText(v);
}

void Form1::TBits_Validate() {
    // An empty bit rate would make every transcoder command fail: put the start value back.
    if (TBits->text().isEmpty()) TBits->setText(QStringLiteral("10000"));
}

void Form1::validateParameters() {
    CmbSize_Validate();
    TLeng_Validate();
    TBits_Validate();
}

// ---- source folder list ----------------------------------------------------------------------

void Form1::error(const QString& text) {
    m_dialogs.message(this, text, MsgIcon::Error, MsgButtons::Ok);
}

bool Form1::checkChosenFolder(const QString& folder) {
    if (ParamRules::IsUsablePathText(folder)) return true;
    error(kBadFolderText);
    return false;
}

bool Form1::acceptSourceFolder(const QString& folder) {
    const QString name = folderIdentity(folder);
    for (int i = 0; i < List1->count(); ++i) {
        const QString other = folderIdentity(entryFolder(List1->item(i)));
        if (!name.isEmpty() && name == other) {
            error(kDuplicateFolder);
            return false;
        }
    }
    const auto files = platform::listFiles(folder.toStdString());
    if (!files || files->empty()) {
        error(kNoClips);
        return false;
    }
    if (List1->count() >= kMaxFolders)
        List1->item(kMaxFolders - 1)->setText(folder);
    else
        List1->addItem(folder);
    return true;
}

void Form1::MunuFolds_Click() {
    const QString prompt = QStringLiteral("指定") + QString::number(List1->count() + 1) +
                           QStringLiteral("号视频素材来源文件夹：");
    const QString folder = NewDir::BrowseForFolder(m_dialogs, prompt, QString(), false, this);
    if (folder.isEmpty() || !checkChosenFolder(folder)) return;
    acceptSourceFolder(folder);
}

void Form1::TDir_Change() {
    if (m_inTDirChange) return;
    m_inTDirChange = true;
    const QString text = TDir->text();
    if (!ParamRules::IsUsablePathText(text)) {
        TDir->setText(tag(TDir));
    } else if (QDir::isAbsolutePath(text) && QFileInfo::exists(text)) {
        acceptSourceFolder(QString::fromStdString(
            text::withoutTrailingSeparators(text.toStdString(), platform::kSep)));
    }
    m_inTDirChange = false;
}

void Form1::showLFoldsCount() {
    LFolds->setText(tag(LFolds) + QStringLiteral("；现有") + QString::number(List1->count()) +
                    QStringLiteral("条)："));
}

void Form1::List1_DblClick() {
    const int row = List1->currentRow();
    if (row >= 0 && List1->item(row)->isSelected()) delete List1->takeItem(row);
    showLFoldsCount();
}

void Form1::List1_MouseUp(Qt::MouseButton button, Qt::MouseButtons stillDown) {
    if (button != Qt::RightButton || stillDown != Qt::NoButton || List1->count() == 0) return;
    const MsgResult answer = m_dialogs.message(this, QStringLiteral("清空视频素材来源文件夹列表？"),
                                               MsgIcon::Information, MsgButtons::OkCancel, true);
    if (answer != MsgResult::Ok) return;
    List1->clear();
    showLFoldsCount();
}

// ---- menus -----------------------------------------------------------------------------------

void Form1::MemuAudio_Click() {
    const QString folder = NewDir::BrowseForFolder(
        m_dialogs, QStringLiteral("指定mp3背景音频来源文件夹："), QString(), false, this);
    if (folder.isEmpty() || !checkChosenFolder(folder)) return;
    int count = 0;
    if (const auto files = platform::listFiles(folder.toStdString()))
        for (const std::string& name : *files)
            if (MergeTexts::IsMp3Name(name)) ++count;
    if (count == 0) {
        error(kNoMp3);
        return;
    }
    LAudio->setText(QString::fromStdString(MergeTexts::CountedAudio(count, folder.toStdString())));
    setTag(LAudio, QString::number(count));
}

void Form1::MenuOutDir_Click() {
    const QString folder =
        NewDir::BrowseForFolder(m_dialogs, QStringLiteral("指定输出目录："), QString(), true, this);
    if (folder.isEmpty() || !checkChosenFolder(folder)) return;
    const QFileInfo info(folder);
    if (!info.isDir() || !info.isWritable()) {
        error(kOutputNotWritable);
        return;
    }
    std::vector<std::string> sources;
    for (int i = 0; i < List1->count(); ++i)
        sources.push_back(entryFolder(List1->item(i)).toStdString());
    if (OutputFolder::Refused(folder.toStdString(), m_programFolder.toStdString(), sources,
                              LMove->text().toStdString())) {
        error(kOutputFolderRefused);
        return;
    }
    LDir->setText(folder);
}

void Form1::MenuDo_Click() {
    // The merge command pumps events while it runs; a second start from inside it is refused.
    if (m_inMergeCommand) {
        m_dialogs.beep();
        return;
    }
    validateParameters();
    if (!mergeCommand) return;
    m_inMergeCommand = true;
    mergeCommand();
    m_inMergeCommand = false;
}

void Form1::MenuStop_Click() {
    if (stopCommand) stopCommand();
}

void Form1::MenuUpdate_Click() {
    if (updateCommand) updateCommand();
}

void Form1::MenuHelp_Click() {
    m_dialogs.message(this, usageText(), MsgIcon::Information, MsgButtons::Ok);
}

void Form1::Stb_PanelDblClick(int panel) {
    if (panel == 1) m_dialogs.openLocation(homepageAddress());
}

// ---- events ----------------------------------------------------------------------------------

namespace {

// The typed characters of a key event that is not a shortcut; empty for keys without text.
QString typedText(const QKeyEvent* key) {
    if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return QString();
    return key->text();
}

// True when every typed character passes; control characters (backspace, Enter, Tab, ...)
// are not typed text and always pass.
template <typename Accept>
bool keyAccepted(const QKeyEvent* key, Accept accept) {
    for (QChar c : typedText(key)) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f) continue;
        if (!accept(c)) return false;
    }
    return true;
}

bool leavesField(const QFocusEvent* focus) {
    return focus->reason() != Qt::PopupFocusReason &&
           focus->reason() != Qt::ActiveWindowFocusReason;
}

}  // namespace

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if ((watched == TLeng || watched == TBits) &&
        (type == QEvent::KeyPress || type == QEvent::MouseButtonPress ||
         type == QEvent::ContextMenu || type == QEvent::InputMethod))
        m_rejectionBeeped = false;  // a new user action on the field
    if (type == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        bool accepted = true;
        if (watched == CmbSize)
            accepted = keyAccepted(key, ParamRules::IsSizeChar);
        else if (watched == TLeng || watched == TBits)
            accepted = keyAccepted(key, ParamRules::IsDigitChar);
        if (!accepted) {
            m_dialogs.beep();
            return true;
        }
    } else if (type == QEvent::FocusOut && leavesField(static_cast<QFocusEvent*>(event))) {
        if (watched == CmbSize)
            CmbSize_Validate();
        else if (watched == TLeng)
            TLeng_Validate();
        else if (watched == TBits)
            TBits_Validate();
    } else if (type == QEvent::FocusIn && watched == TDir && TDir->text() == tag(TDir)) {
        // The hint is replaced as a whole by what the user pastes or types.
        QTimer::singleShot(0, TDir, &QLineEdit::selectAll);
    } else if (type == QEvent::MouseButtonDblClick) {
        if (watched == List1->viewport()) {
            List1_DblClick();
        } else if (watched == centralWidget()) {
            Form_DblClick();
        } else {
            for (int i = 0; i < 5; ++i)
                if (watched == StbPanels[i]) Stb_PanelDblClick(i + 1);
        }
    } else if (type == QEvent::MouseButtonRelease && watched == List1->viewport()) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        List1_MouseUp(mouse->button(), mouse->buttons());
    }
    return QMainWindow::eventFilter(watched, event);
}

void Form1::closeEvent(QCloseEvent* event) {
    if (closeRequest && !closeRequest()) {
        event->ignore();
        return;
    }
    removeTrayIcon();
    event->accept();
    emit closed();
}
