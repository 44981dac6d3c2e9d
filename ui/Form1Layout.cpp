// The main window's layout: its icon, menus, controls with their design-time values, status bar,
// and the fixed texts it shows.

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QRegularExpressionValidator>
#include <QSpinBox>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

#include "shell/DialogService.h"
#include "ui/ElidedLabel.h"
#include "ui/Form1.h"
#include "ui/TabStopDelegate.h"

namespace {

const QString kFoldsHeading = QStringLiteral("视频素材来源文件夹列表(最多20条");
const QString kPasteHint = QStringLiteral("在此直接粘贴视频素材来源有效文件夹的正确全路径");
const Qt::Alignment kLabelAlign =
    Qt::AlignRight | Qt::AlignVCenter;  // captions beside their fields

}  // namespace

QIcon Form1::makeWindowIcon() {
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

    QLayout* listColumn = buildFolderList(central);
    buildParameters(central);
    QLayout* folders = buildFolderDisplays(central);

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

// The source folder list with its heading and paste box.
QLayout* Form1::buildFolderList(QWidget* central) {
    LFolds = new QLabel(QStringLiteral("视频素材来源文件夹列表(最多20条)："), central);
    setTag(LFolds, kFoldsHeading);
    List1 = new QListWidget(central);
    List1->setToolTip(QStringLiteral("双击删除当前行；右键全部清空"));
    List1->setSelectionMode(QAbstractItemView::SingleSelection);
    List1->setMinimumSize(420, 240);
    List1->setItemDelegate(new TabStopDelegate(List1));  // a counted entry's TAB as a gap
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

    return listColumn;
}

// The parameter area: the fields, then the tick boxes.
QGroupBox* Form1::buildParameters(QWidget* central) {
    Frame1 = new QGroupBox(QStringLiteral("参数设置区："), central);
    auto* fields = new QGridLayout;
    fields->setHorizontalSpacing(8);
    fields->setVerticalSpacing(8);
    addSizeAndRateFields(fields);
    addBitsAndLengthFields(fields);
    for (QWidget* w : {static_cast<QWidget*>(CmbSize), static_cast<QWidget*>(UpDown1),
                       static_cast<QWidget*>(TBits), static_cast<QWidget*>(TLeng)})
        w->setMinimumWidth(110);
    fields->setColumnStretch(1, 1);

    auto* frameLayout = new QVBoxLayout(Frame1);
    frameLayout->addLayout(fields);
    frameLayout->addSpacing(6);
    frameLayout->addLayout(buildTickBoxes());
    frameLayout->addStretch(1);
    return Frame1;
}

// Rows 0 and 1 of the parameter fields: the size list and the frame-rate spinner.
void Form1::addSizeAndRateFields(QGridLayout* fields) {
    LabelSize = new QLabel(QStringLiteral("分辨率："), Frame1);
    CmbSize = new QComboBox(Frame1);
    CmbSize->setEditable(true);
    CmbSize->setInsertPolicy(QComboBox::NoInsert);
    CmbSize->setCompleter(nullptr);  // typed digits must stay as typed
    CmbSize->addItems(sizeEntries());
    CmbSize->setCurrentIndex(0);
    CmbSize->setMaxVisibleItems(12);
    CmbSize->installEventFilter(this);
    fields->addWidget(LabelSize, 0, 0, kLabelAlign);
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
    fields->addWidget(Label7, 1, 0, kLabelAlign);
    fields->addWidget(UpDown1, 1, 1);
}

// Rows 2 and 3 of the parameter fields: the bit rate and the play length, digits only.
void Form1::addBitsAndLengthFields(QGridLayout* fields) {
    Label6 = new QLabel(QStringLiteral("码率："), Frame1);
    TBits = new QLineEdit(QStringLiteral("10000"), Frame1);
    TBits->setMaxLength(5);
    TBits->setToolTip(QStringLiteral("200-50000"));
    TBits->installEventFilter(this);
    fields->addWidget(Label6, 2, 0, kLabelAlign);
    fields->addWidget(TBits, 2, 1);

    Label2 = new QLabel(QStringLiteral("播放总时长："), Frame1);
    TLeng = new QLineEdit(QStringLiteral("10"), Frame1);
    TLeng->setToolTip(QStringLiteral("5-60秒；0表示不限制时长，按实际视频组合数的时长普通合并"));
    TLeng->installEventFilter(this);
    Label3 = new QLabel(QStringLiteral("秒"), Frame1);
    fields->addWidget(Label2, 3, 0, kLabelAlign);
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
}

QLayout* Form1::buildTickBoxes() {
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

    return ticks;
}

// The folder displays: output, music and used-material folders.
QLayout* Form1::buildFolderDisplays(QWidget* central) {
    auto* folders = new QGridLayout;
    folders->setHorizontalSpacing(8);
    Label1 = new QLabel(QStringLiteral("保存目录："), central);
    LDir = new ElidedLabel(QStringLiteral("保存目录未指定"), central);
    Label4 = new QLabel(QStringLiteral("背景音乐目录："), central);
    LAudio = new ElidedLabel(QStringLiteral("Mp3背景音乐文件夹未指定"), central);
    setTag(LAudio, QStringLiteral("0"));
    Label5 = new QLabel(QStringLiteral("已使用素材移动到："), central);
    LMove = new ElidedLabel(QString(), central);
    folders->addWidget(Label1, 0, 0, kLabelAlign);
    folders->addWidget(LDir, 0, 1);
    folders->addWidget(Label4, 1, 0, kLabelAlign);
    folders->addWidget(LAudio, 1, 1);
    folders->addWidget(Label5, 2, 0, kLabelAlign);
    folders->addWidget(LMove, 2, 1);
    folders->setColumnStretch(1, 1);

    return folders;
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

void Form1::showEvent(QShowEvent* event) {
    updateClock();
    m_clock->start();
    QMainWindow::showEvent(event);
}

void Form1::hideEvent(QHideEvent* event) {
    m_clock->stop();
    QMainWindow::hideEvent(event);
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
    return lines.join(QStringLiteral("\r\n"));
}

const QString& Form1::homepageAddress() {
    static const QString address = QStringLiteral("https://www.stitchwell.example/");
    return address;
}

const QString& Form1::contactText() {
    static const QString contact = QStringLiteral("support@stitchwell.example");
    return contact;
}
