#pragma once
// Form1, the main window "Stitchwell".
//
// What the rest of the program relies on:
//  - Construction: Form1(dialogs, settings, programFolder). Start-up (load) is run by main before
//    the window is shown; the window itself only builds its controls with their design-time
//    values.
//  - The controls (Form1Controls) are the window's own: start-up, the updater and the merge run
//    reach the window through the intent methods below and through MergeHost and UpdateHost,
//    which the window implements; the window's tests reach the controls with controlsOf()
//    (tests/support).
//  - Tags: LFolds (its heading), LAudio (the mp3 count) and LST (the videos made) keep a text tag
//    in the dynamic property "tag"; use tag() / setTag().
//  - Every write of the status line LST goes through setStatus(), which also updates status
//    panel 5 and, while a run goes on in background mode, the tray tip.
//  - Run state: the merge run owns it (RunState); the window reads it once attachRun() was
//    called (installMergeCommands does).
//  - Hooks: MenuDo runs mergeCommand (after validateParameters()), MenuStop runs stopCommand,
//    MenuUpdate runs updateCommand; closeRequest decides a close (true = close; unset = close).
//  - Background mode: hideBehindTray(), refreshTrayTip(), removeTrayIcon(), showMainWindow().
//    A click on the tray icon arrives at Form_MouseMove with 514 as X.
//
// Paths typed into TDir: a text is not a usable path when it holds a NUL, another control
// character (TAB, CR, LF, ...) or one of | < > " * ? — such a text brings the hint back. A text
// that does not begin with "/" (not absolute) names nothing, so typing can go on.

#include <QMainWindow>
#include <QString>
#include <array>
#include <functional>
#include <optional>
#include <vector>

#include "merge/MergeHost.h"
#include "shell/TrayRecord.h"
#include "update/UpdateHost.h"

class QAction;
class QCheckBox;
class QComboBox;
class QGridLayout;
class QGroupBox;
class QIcon;
class QLayout;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QSpinBox;
class QStatusBar;
class QTimer;
class DialogService;
class Settings;
struct RunState;

// The text tag of a control (dynamic property "tag"); "" when none was set.
QString tag(const QObject* object);
void setTag(QObject* object, const QString& value);

// The window's controls, named as the user's documentation names them. TPfs is the read-only text
// of the spinner UpDown1 (TPfs->text() is the frame rate). MenuFiles and MenuMerge are menus;
// MenuStop, MenuUpdate and MenuHelp are commands in the menu bar. Stb's five panels are
// StbPanels[0..4] (panel 5 repeats LST).
struct Form1Controls {
    // Source folder list and paste box.
    QLabel* LFolds = nullptr;
    QListWidget* List1 = nullptr;
    QLineEdit* TDir = nullptr;
    // Parameter area.
    QGroupBox* Frame1 = nullptr;
    QLabel* LabelSize = nullptr;  // "分辨率："
    QComboBox* CmbSize = nullptr;
    QLabel* Label7 = nullptr;  // "帧频："
    QSpinBox* UpDown1 = nullptr;
    QLineEdit* TPfs = nullptr;  // the spinner's read-only text
    QLabel* Label6 = nullptr;   // "码率："
    QLineEdit* TBits = nullptr;
    QLabel* Label2 = nullptr;  // "播放总时长："
    QLineEdit* TLeng = nullptr;
    QLabel* Label3 = nullptr;  // "秒"
    QCheckBox* ChAn = nullptr;
    QCheckBox* ChRotate = nullptr;
    QCheckBox* ChSpeed = nullptr;
    QComboBox* CmbAcc = nullptr;
    QCheckBox* ChAudio = nullptr;
    QCheckBox* ChComp = nullptr;
    QCheckBox* ChBack = nullptr;
    QCheckBox* ChMul = nullptr;
    // Folder displays and the status line.
    QLabel* Label1 = nullptr;  // "保存目录："
    QLabel* LDir = nullptr;
    QLabel* Label4 = nullptr;  // "背景音乐目录："
    QLabel* LAudio = nullptr;
    QLabel* Label5 = nullptr;  // "已使用素材移动到："
    QLabel* LMove = nullptr;
    QLabel* LST = nullptr;
    QLineEdit* TV = nullptr;  // hidden; the program's version number "005"
    // Menus.
    QMenu* MenuFiles = nullptr;
    QAction* MunuFolds = nullptr;
    QAction* MemuAudio = nullptr;
    QAction* MenuOutDir = nullptr;
    QMenu* MenuMerge = nullptr;
    QAction* MenuDo = nullptr;
    QAction* MenuStop = nullptr;
    QAction* MenuUpdate = nullptr;
    QAction* MenuHelp = nullptr;
    // Status bar: panels 1 to 5 are StbPanels[0] to StbPanels[4].
    QStatusBar* Stb = nullptr;
    std::array<QLabel*, 5> StbPanels{};
};

class Form1 : public QMainWindow, public MergeHost, public UpdateHost, private Form1Controls {
    Q_OBJECT
public:
    Form1(DialogService& dialogs, Settings& settings, const QString& programFolder,
          QWidget* parent = nullptr);
    ~Form1() override;

    // The window's notification-icon record (88-byte form), filled by the background mode, and
    // the characters its tip keeps (which the field may hold only in part).
    TrayRecord trayRecord;
    QString trayTipText;

    // ---- hooks -------------------------------------------------------------------------------
    std::function<void()> mergeCommand;
    std::function<void()> stopCommand;
    std::function<void()> updateCommand;
    std::function<bool()> closeRequest;
    // Ends a run that goes on when the window closes (set with the merge commands).
    std::function<void()> endRunForClose;

    // ---- the merge run's state, read by the window's handlers ----------------------------------
    void attachRun(const RunState* state) { m_run = state; }
    bool running() const;
    bool stopRequested() const;
    int madeCount() const;
    // Whether the desktop has a notification area (QSystemTrayIcon::isSystemTrayAvailable);
    // tests replace it to take the tray path on a desktop without one.
    std::function<bool()> systemTrayAvailable;

    // ---- services ----------------------------------------------------------------------------
    QString programFolder() const override { return m_programFolder; }
    DialogService& dialogs() const override { return m_dialogs; }
    Settings& settings() const { return m_settings; }

    // Sets LST and runs its change behaviour.
    void setStatus(const QString& text);
    QString statusText() const;

    // ---- what start-up and the updater ask of the window ---------------------------------------
    // LDir and LMove: the output folder and the used-material root shown.
    void showOutputFolder(const QString& folder);
    void showUsedRoot(const QString& folder);
    QString outputFolder() const;
    QString usedRoot() const;
    // The acceleration probe's findings: ChSpeed enabled, the entries added to CmbAcc with how
    // many sessions of each may run at once (sessions[i] for entries[i]), the preferred encoder
    // taken when given and selected.
    void offerAccelerators(const QStringList& entries, const std::vector<int>& sessions,
                           std::optional<int> preferred);
    int preferredEncoderIndex() const { return m_preferredEncoderIndex; }
    void setPreferredEncoderIndex(int index) { m_preferredEncoderIndex = index; }
    QStringList acceleratorEntries() const;
    // TV, the program's version number "005".
    QString versionText() const override;
    // MenuUpdate: enabled with "  发现有更新版本" appended to the caption, or disabled.
    void offerUpdate(bool offered) override;
    // The updater's entries: its start-up check becomes the one of the load sequence, its update
    // command the hook of MenuUpdate.
    void setUpdateEntries(std::function<void(UpdateHost&)> startupCheck,
                          std::function<void()> command) override;

    // Restores ChSpeed, the preferred encoder and CmbAcc (each entry with the session count stored
    // at its position) from the settings when "Accelerate" is set; false (nothing touched) when
    // it is not, so the acceleration probe has to run.
    bool restoreAccelerationSettings();

    // Selects entry index of CmbAcc when there is one; false (selection unchanged) otherwise.
    bool selectAccelerator(int index);
    // Adds a hardware-encoder entry to CmbAcc without changing its selection (a combo box of this
    // toolkit would select the first entry added to an empty list), with how many of its sessions
    // may run at once; without a count a run takes the merge host's default for it.
    void addAccelerator(const QString& entry, std::optional<int> sessions = std::nullopt);

    // Brings the parameter fields into their valid forms (the checks that run when a field is
    // left), e.g. before a run reads them while one of them still has the focus.
    void validateParameters();

    // ---- background mode ---------------------------------------------------------------------
    // The handle of this window and of its icon in tray records.
    std::uint32_t windowHandle() const { return m_windowHandle; }
    std::uint32_t iconHandle() const { return m_iconHandle; }
    // Fills every field of trayRecord (size 88, this window, icon, flags 7, message 512) with
    // the given tip text (its first 63 characters, a NUL, blank-filled to the 64-byte field).
    void fillTrayRecord(const QString& tip);
    // Run start in background mode: tip = caption CR LF "已生成视频数：" count CR LF LST; adds the
    // icon and hides the window. Without a system tray the window is minimised instead and the
    // status line says so.
    void hideBehindTray() override;
    // Refills trayRecord with the run's tip (caption, count, status line) and sends it as a
    // modify request.
    void refreshTrayTip() override;
    // Refills trayRecord with tip and sends it as a modify request.
    void refreshTrayTip(const QString& tip);
    // Deletes the tray icon (harmless when none is shown).
    void removeTrayIcon();
    // Restores the window to its normal size, shows and activates it.
    void showMainWindow();
    void showWindow() override { showMainWindow(); }
    // True while the tray icon of this window is shown.
    bool trayIconShown() const;

    // Source folder list: the common acceptance steps for a folder (duplicate test, empty-folder
    // test, append or replace entry 20). True when the folder was listed.
    bool acceptSourceFolder(const QString& folder);

    static const QStringList& sizeEntries();
    static QString usageText();
    static const QString& homepageAddress();
    static const QString& contactText();

signals:
    // The window was closed (the close was granted).
    void closed();
    // The status line LST took a new text (its change event).
    void statusChanged(const QString& text);

public slots:
    void MunuFolds_Click();
    void MemuAudio_Click();
    void MenuOutDir_Click();
    void MenuDo_Click();
    void MenuStop_Click();
    void MenuUpdate_Click();
    void MenuHelp_Click();
    void ChSpeed_Click();
    void ChAudio_Click();
    void CmbSize_Validate();
    void TLeng_Validate();
    void TBits_Validate();
    void TDir_Change();
    void List1_DblClick();
    void List1_MouseUp(Qt::MouseButton button, Qt::MouseButtons stillDown);
    void Stb_PanelDblClick(int panel);
    void Form_DblClick();
    // Mouse movement with the X coordinate in pixels; the tray icon's mouse messages arrive here
    // in place of X (514: a click).
    void Form_MouseMove(int x);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    // The status bar's clock runs while the window is shown (hidden behind the tray icon for
    // hours, it would wake the program every second for nobody); it is right again when shown.
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    friend Form1Controls& controlsOf(Form1& form);  // the window's tests
    friend const Form1Controls& controlsOf(const Form1& form);

    // ---- the window as the merge run sees it (MergeHost) ------------------------------------
    JobInputs jobInputs() const override;
    ClipInputs clipInputs() const override;
    std::vector<std::string> folderEntries() const override;
    void setFolderEntry(int row, const std::string& text) override;
    void selectFolder(int row) override;
    std::string audioCaption() const override;
    void setAudio(const std::string& caption, int count) override;
    void showStatus(const std::string& text) override;
    void setMadeTag(int made) override;
    void storeRunChoices() override;
    void lock(bool locked) override;
    void setStopEnabled(bool enabled) override;
    bool ask(Ask kind, const std::string& text) override;
    void openFolder(const std::string& path) override;
    void pumpEvents(int maxWaitMs) override;

    // ---- the window as the updater sees it (UpdateHost; its other methods are public) --------
    QString caption() const override { return windowTitle(); }
    void hideWindow() override { hide(); }
    QWidget* dialogOwner() override { return this; }

    // Adds the icon with the current record and hides the window; minimises it instead where the
    // desktop has no notification area.
    void hideBehindTrayIcon();
    void buildMenus();
    void buildControls();
    QLayout* buildFolderList(QWidget* central);
    QGroupBox* buildParameters(QWidget* central);
    void addSizeAndRateFields(QGridLayout* fields);
    void addBitsAndLengthFields(QGridLayout* fields);
    QLayout* buildTickBoxes();
    QLayout* buildFolderDisplays(QWidget* central);
    static QIcon makeWindowIcon();
    void buildStatusBar();
    void updateClock();
    void showLFoldsCount();
    // False (after telling the user) when a chosen folder cannot be used in a path.
    bool checkChosenFolder(const QString& folder);
    void error(const QString& text);
    QString trayTip(const QString& head) const;

    const RunState* m_run = nullptr;
    int m_preferredEncoderIndex = 0;
    DialogService& m_dialogs;
    Settings& m_settings;
    QString m_programFolder;
    QTimer* m_clock = nullptr;
    std::uint32_t m_windowHandle = 0;
    std::uint32_t m_iconHandle = 0;
    bool m_inTDirChange = false;
    bool m_inMergeCommand = false;
    bool m_rejectionBeeped = false;
};
