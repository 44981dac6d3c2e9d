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
#include "shell/NewDir.h"
#include "ui/DialogService.h"
#include "ui/ElidedLabel.h"
#include "ui/ParamRules.h"
#include "ui/Settings.h"

#ifndef STITCHWELL_VERSION_MAJOR
#define STITCHWELL_VERSION_MAJOR 1
#define STITCHWELL_VERSION_MINOR 0
#define STITCHWELL_VERSION_PATCH 0
#endif

namespace {

const QString kCrLf = QStringLiteral("\r\n");
const QString kFoldsHeading = QStringLiteral("视频素材来源文件夹列表(最多20条");
const QString kPasteHint = QStringLiteral("在此直接粘贴视频素材来源有效文件夹的正确全路径");
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
const QString kNoTray = QStringLiteral("状态：系统托盘不可用，窗口已最小化，合并继续在后台运行");
constexpr int kMaxFolders = 20;

QChar sep() {
    return QChar::fromLatin1(platform::kSep);
}

// The name the file system reports for the last component of a path; "" when nothing exists
// there. The root has no last component and is known by its own path.
QString folderIdentity(const QString& path) {
    if (path.isEmpty() || !QFileInfo::exists(path)) return QString();
    const QString clean = QDir::cleanPath(path);
    const QString name = QFileInfo(clean).fileName();
    return name.isEmpty() ? clean : name;
}

QIcon makeWindowIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x2b, 0x6c, 0xb0));
        p.drawRoundedRect(QRectF(0, 0, size, size), size * 0.18, size * 0.18);
        // Three frames of a film strip stitched by one seam.
        p.setBrush(Qt::white);
        const double m = size * 0.16, w = (size - 2 * m) / 3.0;
        for (int i = 0; i < 3; ++i)
            p.drawRect(QRectF(m + i * w + size * 0.02, size * 0.3, w - size * 0.04, size * 0.4));
        p.setBrush(QColor(0xf0, 0xa0, 0x30));
        p.drawRect(QRectF(m, size * 0.47, size - 2 * m, size * 0.06));
        p.end();
        icon.addPixmap(pm);
    }
    return icon;
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

void Form1::buildMenus() {
    MenuFiles = menuBar()->addMenu(QStringLiteral("文件(&F)"));
    MunuFolds = MenuFiles->addAction(QStringLiteral("添加素材视频所在的文件夹(&V...)"));
    MemuAudio = MenuFiles->addAction(QStringLiteral("指定mp3背景音乐文件夹(&A...)"));
    MenuOutDir = MenuFiles->addAction(QStringLiteral("指定输出文件夹(&O...)"));
    MenuMerge = menuBar()->addMenu(QStringLiteral("视频合并(&M)"));
    MenuDo = MenuMerge->addAction(QStringLiteral("合并视频(&R)"));
    MenuStop = menuBar()->addAction(QStringLiteral("终止(&S)"));
    MenuUpdate = menuBar()->addAction(QStringLiteral("更新(&U)"));
    MenuHelp = menuBar()->addAction(QStringLiteral("用法(&H)"));
    MenuStop->setEnabled(false);
    MenuUpdate->setEnabled(false);

    connect(MunuFolds, &QAction::triggered, this, &Form1::MunuFolds_Click);
    connect(MemuAudio, &QAction::triggered, this, &Form1::MemuAudio_Click);
    connect(MenuOutDir, &QAction::triggered, this, &Form1::MenuOutDir_Click);
    connect(MenuDo, &QAction::triggered, this, &Form1::MenuDo_Click);
    connect(MenuStop, &QAction::triggered, this, &Form1::MenuStop_Click);
    connect(MenuUpdate, &QAction::triggered, this, &Form1::MenuUpdate_Click);
    connect(MenuHelp, &QAction::triggered, this, &Form1::MenuHelp_Click);
}

void Form1::buildControls() {
    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("background"));
    setCentralWidget(central);
    central->installEventFilter(this);

    // Source folder list with its heading and paste box.
    LFolds = new QLabel(QStringLiteral("视频素材来源文件夹列表(最多20条)："), central);
    setTag(LFolds, kFoldsHeading);
    List1 = new QListWidget(central);
    List1->setToolTip(QStringLiteral("双击删除当前行；右键全部清空"));
    List1->setSelectionMode(QAbstractItemView::SingleSelection);
    List1->setMinimumSize(420, 240);
    List1->viewport()->installEventFilter(this);
    TDir = new QLineEdit(kPasteHint, central);
    setTag(TDir, kPasteHint);
    TDir->setMaxLength(200);
    TDir->installEventFilter(this);
    connect(TDir, &QLineEdit::textChanged, this, &Form1::TDir_Change);

    auto* listColumn = new QVBoxLayout;
    listColumn->addWidget(LFolds);
    listColumn->addWidget(List1, 1);
    listColumn->addWidget(TDir);

    // Parameter area.
    Frame1 = new QGroupBox(QStringLiteral("参数设置区："), central);
    auto* fields = new QGridLayout;
    fields->setHorizontalSpacing(8);
    fields->setVerticalSpacing(8);
    const Qt::Alignment labelAlign = Qt::AlignRight | Qt::AlignVCenter;

    LabelSize = new QLabel(QStringLiteral("分辨率："), Frame1);
    CmbSize = new QComboBox(Frame1);
    CmbSize->setEditable(true);
    CmbSize->setInsertPolicy(QComboBox::NoInsert);
    CmbSize->setCompleter(nullptr);  // typed digits must stay as typed
    CmbSize->addItems(sizeEntries());
    CmbSize->setCurrentIndex(0);
    CmbSize->setMaxVisibleItems(12);
    CmbSize->installEventFilter(this);
    fields->addWidget(LabelSize, 0, 0, labelAlign);
    fields->addWidget(CmbSize, 0, 1, 1, 2);

    Label7 = new QLabel(QStringLiteral("帧频："), Frame1);
    class UpDownSpin : public QSpinBox {
    public:
        using QSpinBox::QSpinBox;
        QLineEdit* text() const { return lineEdit(); }
    };
    auto* spin = new UpDownSpin(Frame1);
    UpDown1 = spin;
    UpDown1->setRange(1, 50);
    UpDown1->setSingleStep(1);
    UpDown1->setValue(25);
    TPfs = spin->text();
    TPfs->setReadOnly(true);
    fields->addWidget(Label7, 1, 0, labelAlign);
    fields->addWidget(UpDown1, 1, 1);

    Label6 = new QLabel(QStringLiteral("码率："), Frame1);
    TBits = new QLineEdit(QStringLiteral("10000"), Frame1);
    TBits->setMaxLength(5);
    TBits->setToolTip(QStringLiteral("200-50000"));
    TBits->installEventFilter(this);
    fields->addWidget(Label6, 2, 0, labelAlign);
    fields->addWidget(TBits, 2, 1);

    Label2 = new QLabel(QStringLiteral("播放总时长："), Frame1);
    TLeng = new QLineEdit(QStringLiteral("10"), Frame1);
    TLeng->setToolTip(QStringLiteral("5-60秒；0表示不限制时长，按实际视频组合数的时长普通合并"));
    TLeng->installEventFilter(this);
    Label3 = new QLabel(QStringLiteral("秒"), Frame1);
    fields->addWidget(Label2, 3, 0, labelAlign);
    fields->addWidget(TLeng, 3, 1);
    fields->addWidget(Label3, 3, 2);

    // Digits only, also for text that is pasted or composed by an input method.
    const QRegularExpression digits(QStringLiteral("[0-9]*"));
    for (QLineEdit* edit : {TBits, TLeng}) {
        edit->setValidator(new QRegularExpressionValidator(digits, edit));
        // One refused paste may be reported more than once: beep once per user action.
        connect(edit, &QLineEdit::inputRejected, this, [this] {
            if (m_rejectionBeeped) return;
            m_rejectionBeeped = true;
            m_dialogs.beep();
        });
    }
    for (QWidget* w : {static_cast<QWidget*>(CmbSize), static_cast<QWidget*>(UpDown1),
                       static_cast<QWidget*>(TBits), static_cast<QWidget*>(TLeng)})
        w->setMinimumWidth(110);
    fields->setColumnStretch(1, 1);

    ChAn = new QCheckBox(QStringLiteral("消音"), Frame1);
    ChAn->setChecked(true);
    ChRotate = new QCheckBox(QStringLiteral("顺时针旋转90°"), Frame1);
    ChRotate->setToolTip(QStringLiteral("默认为逆时针旋转90度"));
    ChSpeed = new QCheckBox(QStringLiteral("硬件加速"), Frame1);
    ChSpeed->setToolTip(QStringLiteral("如果本机支持显卡硬件加速，则处理速度会提高2-10倍"));
    ChSpeed->setEnabled(false);
    CmbAcc = new QComboBox(Frame1);
    CmbAcc->setEnabled(false);
    CmbAcc->setMinimumWidth(150);
    CmbAcc->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    CmbAcc->setMinimumContentsLength(10);
    ChAudio = new QCheckBox(QStringLiteral("添加背景音乐"), Frame1);
    ChAudio->setChecked(true);
    ChComp = new QCheckBox(QStringLiteral("压缩生成的视频"), Frame1);
    ChComp->setChecked(true);
    ChComp->setToolTip(QStringLiteral("未压缩时可能是100M,压缩后可能是2M，启用则处理速度变慢。"));
    ChBack = new QCheckBox(QStringLiteral("后台运行"), Frame1);
    ChBack->setChecked(true);
    ChMul = new QCheckBox(QStringLiteral("多线程"), Frame1);
    ChMul->setChecked(true);
    ChMul->setToolTip(QStringLiteral("如果本机开启多线程时，处理速度并未明显加快，请取消多线程"));
    connect(ChSpeed, &QCheckBox::toggled, this, &Form1::ChSpeed_Click);
    connect(ChAudio, &QCheckBox::toggled, this, &Form1::ChAudio_Click);

    auto* ticks = new QGridLayout;
    ticks->setHorizontalSpacing(16);
    ticks->setVerticalSpacing(8);
    ticks->addWidget(ChAn, 0, 0);
    ticks->addWidget(ChRotate, 0, 1);
    ticks->addWidget(ChAudio, 1, 0);
    ticks->addWidget(ChComp, 1, 1);
    ticks->addWidget(ChBack, 2, 0);
    ticks->addWidget(ChMul, 2, 1);
    ticks->addWidget(ChSpeed, 3, 0);
    ticks->addWidget(CmbAcc, 3, 1);
    ticks->setColumnStretch(1, 1);

    auto* frameLayout = new QVBoxLayout(Frame1);
    frameLayout->addLayout(fields);
    frameLayout->addSpacing(6);
    frameLayout->addLayout(ticks);
    frameLayout->addStretch(1);

    // Folder displays and the status line.
    auto* folders = new QGridLayout;
    folders->setHorizontalSpacing(8);
    Label1 = new QLabel(QStringLiteral("保存目录："), central);
    LDir = new ElidedLabel(QStringLiteral("保存目录未指定"), central);
    Label4 = new QLabel(QStringLiteral("背景音乐目录："), central);
    LAudio = new ElidedLabel(QStringLiteral("Mp3背景音乐文件夹未指定"), central);
    setTag(LAudio, QStringLiteral("0"));
    Label5 = new QLabel(QStringLiteral("已使用素材移动到："), central);
    LMove = new ElidedLabel(QString(), central);
    folders->addWidget(Label1, 0, 0, labelAlign);
    folders->addWidget(LDir, 0, 1);
    folders->addWidget(Label4, 1, 0, labelAlign);
    folders->addWidget(LAudio, 1, 1);
    folders->addWidget(Label5, 2, 0, labelAlign);
    folders->addWidget(LMove, 2, 1);
    folders->setColumnStretch(1, 1);

    LST = new ElidedLabel(QStringLiteral("状态：未就绪"), central);
    LST->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    LST->setMargin(3);

    TV = new QLineEdit(QStringLiteral("005"), central);
    TV->hide();

    auto* top = new QHBoxLayout;
    top->setSpacing(12);
    top->addLayout(listColumn, 1);
    top->addWidget(Frame1);

    auto* main = new QVBoxLayout(central);
    main->setContentsMargins(10, 8, 10, 6);
    main->setSpacing(8);
    main->addLayout(top, 1);
    main->addLayout(folders);
    main->addWidget(LST);
}

void Form1::buildStatusBar() {
    Stb = statusBar();
    Stb->setSizeGripEnabled(true);
    StbPanels[0] = new QLabel(QStringLiteral("主页"), Stb);
    StbPanels[0]->setToolTip(QStringLiteral("双击访问主页"));
    StbPanels[1] = new QLabel(QStringLiteral("联系方式：") + contactText(), Stb);
    StbPanels[2] = new QLabel(Stb);
    StbPanels[3] = new QLabel(Stb);
    StbPanels[4] = new ElidedLabel(QStringLiteral("状态：未就绪"), Stb);
    for (int i = 0; i < 5; ++i) {
        StbPanels[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        StbPanels[i]->setContentsMargins(4, 1, 4, 1);
        StbPanels[i]->installEventFilter(this);
        Stb->addWidget(StbPanels[i], i == 4 ? 1 : 0);
    }
    m_clock = new QTimer(this);
    m_clock->setInterval(1000);
    connect(m_clock, &QTimer::timeout, this, &Form1::updateClock);
    m_clock->start();
    updateClock();
}

void Form1::updateClock() {
    const QDateTime now = QDateTime::currentDateTime();
    StbPanels[2]->setText(now.toString(QStringLiteral("yyyy-M-d")));
    StbPanels[3]->setText(now.toString(QStringLiteral("HH:mm:ss")));
}

// ---- fixed texts ----------------------------------------------------------------------------

const QStringList& Form1::sizeEntries() {
    static const QStringList entries = {
        QStringLiteral("720×1280"), QStringLiteral("640×480 "), QStringLiteral("1920×1080"),
        QStringLiteral("540×960 "), QStringLiteral("480×480"),  QStringLiteral("144×204"),
        QStringLiteral("176×112"),  QStringLiteral("176×144"),  QStringLiteral("216×360"),
        QStringLiteral("252×360"),  QStringLiteral("288×432"),  QStringLiteral("320×240"),
        QStringLiteral("352×240"),  QStringLiteral("352×288"),  QStringLiteral("352×480"),
        QStringLiteral("352×576"),  QStringLiteral("360×504"),  QStringLiteral("72×104"),
        QStringLiteral("720×480"),  QStringLiteral("720×576"),  QStringLiteral("792×1008"),
        QStringLiteral("800×600"),  QStringLiteral("1024×768"), QStringLiteral("1280×760"),
        QStringLiteral("1280×768"), QStringLiteral("1360×768"), QStringLiteral("1366×768")};
    return entries;
}

QString Form1::usageText() {
    const QStringList lines = {
        QStringLiteral("1.往视频素材来源文件夹中添加至少3个文件夹，代表待合并的视频片段数，每个片段"
                       "随机取自每个文件夹"),
        QStringLiteral("2.指定合并之后最终视频的播放时长，程序自动调节播放速度"),
        QStringLiteral("3.设定其他参数如码率、帧频、消音、分辨率，添加背景音乐"),
        QStringLiteral("4.设定后台运行、多线程、硬件加速等模式"),
        QStringLiteral("5.指定用过的视频片段移动到文件夹"),
        QStringLiteral("6.指定合并后输出视频的输出目录"),
        QStringLiteral("7.指定背景音乐来自哪个文件夹"),
        QStringLiteral(
            "8.执行视频合并指令，程序后台源源不断合并视频，只需不断往素材文件夹中补充新视"
            "频片段mp4和背景音乐mp3")};
    return lines.join(kCrLf);
}

const QString& Form1::homepageAddress() {
    static const QString address = QStringLiteral("https://www.stitchwell.example/");
    return address;
}

const QString& Form1::contactText() {
    static const QString contact = QStringLiteral("support@stitchwell.example");
    return contact;
}

// ---- status line and tray -------------------------------------------------------------------

void Form1::setStatus(const QString& text) {
    LST->setText(text);
    // The change behaviour of the status line.
    if (running() && ChBack->isChecked()) refreshTrayTip(trayTip(windowTitle(), true));
    StbPanels[4]->setText(text);
    emit statusChanged(text);
}

QString Form1::trayTip(const QString& head, bool withNul) const {
    QString tip = head + kCrLf + QStringLiteral("已生成视频数：") + QString::number(madeCount()) +
                  kCrLf + LST->text();
    if (withNul) tip += QChar(u'\0');
    return tip;
}

void Form1::fillTrayRecord(const QString& tip) {
    trayRecord.cbSize = tray::kRecordSize;
    trayRecord.hWnd = m_windowHandle;
    trayRecord.uID = m_iconHandle;
    trayRecord.uFlags = tray::kFlagsAll;
    trayRecord.uCallbackMessage = tray::kMouseMove;
    trayRecord.hIcon = m_iconHandle;
    const QByteArray bytes = tip.toUtf8();
    trayRecord.setTip(std::string(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

void Form1::hideBehindTray() {
    fillTrayRecord(trayTip(windowTitle(), false));
    hideBehindTrayIcon();
}

void Form1::hideBehindTrayIcon() {
    if (!systemTrayAvailable || !systemTrayAvailable()) {
        // Hiding without an icon would leave no way back to the window.
        showMinimized();
        setStatus(kNoTray);
        return;
    }
    tray::NotifyIcon(tray::kAdd, trayRecord);
    hide();
}

void Form1::refreshTrayTip() {
    refreshTrayTip(trayTip(windowTitle(), true));
}

void Form1::refreshTrayTip(const QString& tip) {
    fillTrayRecord(tip);
    tray::NotifyIcon(tray::kModify, trayRecord);
}

void Form1::removeTrayIcon() {
    TrayRecord record = trayRecord;
    record.cbSize = tray::kRecordSize;
    record.hWnd = m_windowHandle;
    record.uID = m_iconHandle;
    tray::NotifyIcon(tray::kDelete, record);
}

bool Form1::trayIconShown() const {
    return tray::ShownIcon(m_windowHandle, m_iconHandle);
}

void Form1::showMainWindow() {
    showNormal();
    show();
    raise();
    activateWindow();
}

void Form1::Form_DblClick() {
    if (!running() || !ChBack->isChecked()) return;
    if (isVisible() && !isMinimized()) {
        if (trayRecord.cbSize == 0) fillTrayRecord(trayTip(windowTitle(), false));
        hideBehindTrayIcon();
    } else {
        removeTrayIcon();
        showMainWindow();
    }
}

void Form1::Form_MouseMove(int x) {
    if (x == static_cast<int>(tray::kLeftButtonUp)) showMainWindow();
    if (ChBack->isChecked()) {
        const QString version = QStringLiteral("(版本 %1.%2.%3)")
                                    .arg(STITCHWELL_VERSION_MAJOR)
                                    .arg(STITCHWELL_VERSION_MINOR)
                                    .arg(STITCHWELL_VERSION_PATCH);
        refreshTrayTip(trayTip(windowTitle() + version, false));
    }
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

void Form1::offerAccelerators(const QStringList& entries, std::optional<int> preferred) {
    if (preferred) m_preferredEncoderIndex = *preferred;
    if (entries.isEmpty()) return;
    ChSpeed->setEnabled(true);
    for (const QString& entry : entries) addAccelerator(entry);
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

// ---- settings --------------------------------------------------------------------------------

bool Form1::selectAccelerator(int index) {
    if (index < 0 || index >= CmbAcc->count()) return false;
    CmbAcc->setCurrentIndex(index);
    return true;
}

void Form1::addAccelerator(const QString& entry) {
    const int before = CmbAcc->currentIndex();
    CmbAcc->addItem(entry);
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
    for (const QString& entry : m_settings.accs()) {
        if (known.contains(entry) && CmbAcc->findText(entry) < 0) addAccelerator(entry);
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
        const QString other = folderIdentity(ParamRules::EntryFolder(List1->item(i)->text()));
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
        acceptSourceFolder(ParamRules::WithoutTrailingSeparators(text, sep()));
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
        sources.push_back(ParamRules::EntryFolder(List1->item(i)->text()).toStdString());
    if (MergeRun::OutputFolderRefused(folder.toStdString(), m_programFolder.toStdString(), sources,
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
