#include "app/frmgps.h"

#include "app/frmoptions.h"
#include "app/frmtime.h"
#include "app/icons.h"
#include "app/messagebox.h"
#include "app/uiglobals.h"
#include "base/settings.h"
#include "base/vbnum.h"
#include "controls/commdialog.h"
#include "controls/uchyperlink.h"
#include "controls/uclistview.h"
#include "export/exportdriver.h"
#include "gpslog/drops.h"
#include "gpslog/logreader.h"
#include "gpslog/swap.h"
#include "gpslog/tracklog.h"
#include "photolist/addphotos.h"
#include "writer/batchwriter.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <iterator>
#include <utility>

namespace {

// The dialog's answer did not fit its buffer; nothing was added, and the user should know why.
const QString kTooManyFiles =
    QStringLiteral("一次选择的文件过多，未能添加！请分批添加，或使用“添加文件夹”。");
const QString kMakerNoteWarning = QStringLiteral("除非处理过程中发生错误，否则不建议勾选此项");

// Window layout in pixels: client area and the places of the top-level controls.
constexpr QSize kClientSize(755, 348);
constexpr QRect kListRect(9, 9, 592, 328);
constexpr QRect kActionRect(612, 9, 128, 24);
constexpr QRect kImportRect(609, 45, 133, 262);
constexpr QRect kExportRect(609, 42, 133, 265);
constexpr QRect kLinkRect(633, 312, 99, 15);
constexpr QSize kButtonSize(127, 31);

// The link's colours (COLORREF, 0x00BBGGRR): grey at rest and after use, blue under the mouse.
constexpr quint32 kLinkGrey = 0x404040;
constexpr quint32 kLinkBlue = 0xC55627;

// Row colours of the photo list (COLORREF values).
constexpr quint32 kEvenRowBack = 0xF8F8F8;
constexpr quint32 kGhostedText = 0x999999;
constexpr quint32 kWhite = 0xFFFFFF;

QString readBatchSetup(const char* key) {
    return settings::ReadSetting(QLatin1String(settings::kBatchSetup), QLatin1String(key));
}

void writeBatchSetup(const char* key, int value) {
    settings::WriteSetting(QLatin1String(settings::kBatchSetup), QLatin1String(key),
                           QString::number(value));
}

// "numeric value 0 gives 0, any other value gives 1"
int zeroOrOne(const QString& text) {
    return vbnum::leadingValue(text) == 0 ? 0 : 1;
}

// The value rounded to an integer; out of 0..last (or not a 32-bit number) gives 0.
int indexInRange(const QString& text, int last) {
    const auto value = vbnum::toInt32(vbnum::leadingValue(text));
    return value && *value >= 0 && *value <= last ? *value : 0;
}

QPushButton* makeButton(QWidget* parent, const char* name, const QString& caption, int top) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(QRect(QPoint(3, top), kButtonSize));
    // Enter presses the focused button; with the focus elsewhere it reaches keyPressEvent.
    button->setAutoDefault(true);
    return button;
}

QFrame* makeGroup(QWidget* parent, const char* name, const QRect& place) {
    auto* frame = new QFrame(parent);
    frame->setObjectName(QLatin1String(name));
    frame->setFrameShape(QFrame::NoFrame);
    frame->setGeometry(place);
    return frame;
}

// The link's font in both of its states: "Segoe UI" 9 pt, or the nearest installed.
QFont linkFont() {
    QFont font(QStringLiteral("Segoe UI"), 9);
    font.setFamilies({QStringLiteral("Segoe UI"), QStringLiteral("DejaVu Sans"),
                      QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC")});
    return font;
}

} // namespace

QString userGuidePath() {
    return QDir::cleanPath(QCoreApplication::applicationDirPath() +
                           QStringLiteral("/../share/doc/corvexa-gps/README.html"));
}

QFont windowFont() {
    QFont font(QStringLiteral("Microsoft YaHei"), 9);
    font.setFamilies({QStringLiteral("Microsoft YaHei"), QStringLiteral("微软雅黑"),
                      QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC"),
                      QStringLiteral("Noto Sans SC")});
    return font;
}

FrmGps::FrmGps(AppState& app, QWidget* parent) : QWidget(parent), m_app(app) {
    setObjectName(QStringLiteral("frmGPS"));
    setWindowTitle(kWindowTitle);
    setFont(windowFont());
    setFixedSize(kClientSize);
    m_showRowShot.setSingleShot(true);
    m_showRowShot.setInterval(0);
    connect(&m_showRowShot, &QTimer::timeout, this, &FrmGps::showPendingRow);
    createControls();
    describeControls();
    orderTabs();
    bindPhotoList();
    Form_Load();
}

FrmGps::~FrmGps() {
    while (m_busyDepth > 0)
        setBusyCursor(false);
}

void FrmGps::createControls() {
    lvFiles = new UcListView(this);
    lvFiles->setObjectName(QStringLiteral("lvFiles"));
    lvFiles->setGeometry(kListRect);

    cboAction = new QComboBox(this);
    cboAction->setObjectName(QStringLiteral("cboAction"));
    cboAction->setGeometry(kActionRect);
    ignoreWheelUnlessFocused(*cboAction);

    createImportGroup();
    createExportGroup();

    // Always ticked and never shown: text logs get ".JPG" after a name without extension.
    chkAutoExt = new QCheckBox(QStringLiteral("自动添加后缀(&A)"), this);
    chkAutoExt->setObjectName(QStringLiteral("chkAutoExt"));
    chkAutoExt->setChecked(true);
    chkAutoExt->setGeometry(9, 330, 120, 16);
    chkAutoExt->setVisible(false);

    lnkWebsite = new UcHyperLink(this);
    lnkWebsite->setObjectName(QStringLiteral("lnkWebsite"));
    lnkWebsite->setGeometry(kLinkRect);
    lnkWebsite->setCaption(QStringLiteral("Corvexa 官网"));
    lnkWebsite->setFontNormal(linkFont());
    lnkWebsite->setFontHover(linkFont());
    lnkWebsite->setColorNormal(kLinkGrey);
    lnkWebsite->setColorUsed(kLinkGrey);
    lnkWebsite->setColorHover(kLinkBlue);

    imgWebsite = new QLabel(this);
    imgWebsite->setObjectName(QStringLiteral("imgWebsite"));
    imgWebsite->setPixmap(icons::websitePixmap());
    imgWebsite->setGeometry(612, kLinkRect.top(), 16, 16);

    connect(cboAction, &QComboBox::activated, this, [this] { cboAction_Click(); });
    connect(cmdOpenLog, &QPushButton::clicked, this, &FrmGps::cmdOpenLog_Click);
    connect(cmdToggle, &QPushButton::clicked, this, &FrmGps::cmdToggle_Click);
    connect(cmdStart, &QPushButton::clicked, this, &FrmGps::cmdStart_Click);
    connect(cmdTime, &QPushButton::clicked, this, &FrmGps::cmdTime_Click);
    connect(chkMakerNote, &QCheckBox::clicked, this, &FrmGps::chkMakerNote_Click);
    for (int i = 0; i < int(cboOutFormat.size()); ++i)
        connect(cboOutFormat[i], &QComboBox::activated, this, [this, i] { cboOutFormat_Click(i); });
    connect(cmdOpenEx, &QPushButton::clicked, this, &FrmGps::cmdOpenEx_Click);
    connect(cmdOpenFolder, &QPushButton::clicked, this, &FrmGps::cmdOpenFolder_Click);
    connect(cmdClear, &QPushButton::clicked, this, &FrmGps::cmdClear_Click);
    connect(cmdOptions, &QPushButton::clicked, this, &FrmGps::cmdOptions_Click);
    connect(cmdExport, &QPushButton::clicked, this, &FrmGps::cmdExport_Click);
    connect(lvFiles, &UcListView::Click, this, &FrmGps::lvFiles_Click);
    connect(lvFiles, &UcListView::OnSubItemPrePaint, this, &FrmGps::lvFiles_OnSubItemPrePaint);
    connect(lvFiles, &UcListView::OLEDragDrop, this,
            [this](const QStringList& files) { lvFiles_OLEDragDrop(files); });
    connect(lnkWebsite, &UcHyperLink::Jump, this, &FrmGps::lnkWebsite_Jump);
}

void FrmGps::createImportGroup() {
    fraImport = makeGroup(this, "fraImport", kImportRect);
    cmdOpenLog = makeButton(fraImport, "cmdOpenLog", QStringLiteral("打开记录文件(&O)..."), 0);
    cmdToggle = makeButton(fraImport, "cmdToggle", QStringLiteral("交换经纬度(&T)"), 37);
    cmdStart = makeButton(fraImport, "cmdStart", QStringLiteral("开始处理(&S)"), 74);
    cmdTime = makeButton(fraImport, "cmdTime", QStringLiteral("时间校正(&J)..."), 111);
    cmdToggle->setEnabled(false);
    cmdStart->setEnabled(false);

    chkMakerNote = new QCheckBox(QStringLiteral("忽略厂商注释数据"), fraImport);
    chkMakerNote->setObjectName(QStringLiteral("chkMakerNote"));
    chkMakerNote->setGeometry(5, 149, 127, 20);

    imgError = new QLabel(fraImport);
    imgError->setObjectName(QStringLiteral("imgError"));
    imgError->setPixmap(icons::errorPixmap());
    imgError->setGeometry(5, 179, 16, 16);
    lblError = new QLabel(QStringLiteral("列表中含无效数据！"), fraImport);
    lblError->setObjectName(QStringLiteral("lblError"));
    lblError->setGeometry(24, 177, 108, 20);
    lblError->setStyleSheet(QStringLiteral("color: #C00000;"));
    imgError->setVisible(false);
    lblError->setVisible(false);

    lblTips = new QLabel(fraImport);
    lblTips->setObjectName(QStringLiteral("lblTips"));
    lblTips->setGeometry(5, 177, 127, 84);
    lblTips->setWordWrap(true);
    lblTips->setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

void FrmGps::createExportGroup() {
    fraExport = makeGroup(this, "fraExport", kExportRect);
    for (int i = 0; i < int(cboOutFormat.size()); ++i) {
        cboOutFormat[i] = new QComboBox(fraExport);
        cboOutFormat[i]->setObjectName(QStringLiteral("cboOutFormat(%1)").arg(i));
        ignoreWheelUnlessFocused(*cboOutFormat[i]);
    }
    cboOutFormat[0]->setGeometry(3, 3, 127, 24);
    cboOutFormat[1]->setGeometry(3, 32, 127, 24);
    cmdOpenEx = makeButton(fraExport, "cmdOpenEx", QStringLiteral("添加文件(&O)..."), 62);
    cmdOpenFolder = makeButton(fraExport, "cmdOpenFolder", QStringLiteral("添加文件夹(&F)..."), 96);
    cmdClear = makeButton(fraExport, "cmdClear", QStringLiteral("清空(&C)"), 130);
    cmdOptions = makeButton(fraExport, "cmdOptions", QStringLiteral("自定义(&C)..."), 164);
    cmdExport = makeButton(fraExport, "cmdExport", QStringLiteral("开始导出(&E)..."), 198);
    cboOutFormat[2]->setGeometry(3, 238, 127, 24);
    cmdExport->setDefault(true);
    cmdClear->setEnabled(false);
    cmdExport->setEnabled(false);
    fraExport->setVisible(false);
}

// What a screen reader says of each control beyond its caption.
void FrmGps::describeControls() {
    const auto describe = [](QWidget* widget, const QString& name, const QString& description) {
        if (!name.isEmpty())
            widget->setAccessibleName(name);
        widget->setAccessibleDescription(description);
    };
    describe(lvFiles, QStringLiteral("照片列表"),
             QStringLiteral("每行一张照片：文件名、纬度、经度、海拔高度和状态"));
    describe(cboAction, QStringLiteral("操作"),
             QStringLiteral("导入或导出 GPS 数据；切换会清空列表"));
    describe(cmdOpenLog, {}, QStringLiteral("载入 GPS 记录文件，每行对应一张照片"));
    describe(cmdToggle, {}, QStringLiteral("交换列表中每行的纬度和经度"));
    describe(cmdStart, {}, QStringLiteral("把位置写入照片副本，保存到 results 子文件夹"));
    describe(cmdTime, {}, QStringLiteral("按时间匹配轨迹时的相机时区、时钟校正和最大间隔"));
    describe(chkMakerNote, {}, QStringLiteral("写入时不保留厂商注释数据"));
    // The tips' own text is what is read; only the description is added.
    describe(lblTips, {}, QStringLiteral("载入和处理的进度"));
    describe(cboOutFormat[0], QStringLiteral("输出格式"), QStringLiteral("文本或 KML"));
    describe(cboOutFormat[1], QStringLiteral("输出子格式"),
             QStringLiteral("CSV 或 TSV；KML 的地标、轨迹或区域"));
    describe(cboOutFormat[2], QStringLiteral("数据格式"),
             QStringLiteral("坐标写为十进制数据或度分秒"));
    describe(cmdOpenEx, {}, QStringLiteral("选择照片，或一个列出照片名的文本文件"));
    describe(cmdOpenFolder, {}, QStringLiteral("列出一个文件夹中的全部照片"));
    describe(cmdClear, {}, QStringLiteral("清空照片列表"));
    describe(cmdOptions, {}, QStringLiteral("选择文本输出中的附加字段和标题行"));
    describe(cmdExport, {}, QStringLiteral("读出列表中照片的位置，写入一个文件"));
    describe(lnkWebsite, lnkWebsite->Caption(), QStringLiteral("在浏览器中打开用户手册"));
}

// The photo list, then the right column from top to bottom, then the link.
void FrmGps::orderTabs() {
    QWidget* const order[] = {lvFiles,         cboAction, cmdOpenLog,      cmdToggle,
                              cmdStart,        cmdTime,   chkMakerNote,    cboOutFormat[0],
                              cboOutFormat[1], cmdOpenEx, cmdOpenFolder,   cmdClear,
                              cmdOptions,      cmdExport, cboOutFormat[2], lnkWebsite};
    for (size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

// The list view mirrors the core's photo list row by row.
void FrmGps::bindPhotoList() {
    connect(&m_list, &PhotoList::rowAppended, this, [this](int i) {
        const PhotoRow& row = m_list.row(i);
        lvFiles->ItemAdd(i, row.texts[ColFileName], 0, static_cast<int>(row.icon), i);
        showListRow(i);
    });
    connect(&m_list, &PhotoList::rowChanged, this, &FrmGps::showListRow);
    connect(&m_list, &PhotoList::cleared, this, [this] {
        m_pendingRow.reset();
        lvFiles->Clear();
    });
}

void FrmGps::showListRow(int i) {
    const PhotoRow& row = m_list.row(i);
    lvFiles->setItemText(i, row.texts[ColFileName]);
    for (int column = ColLatitude; column < ColumnCount; ++column)
        lvFiles->SubItemSet(i, column, row.texts[column], -1);
    lvFiles->setItemIcon(i, static_cast<int>(row.icon));
    lvFiles->setItemGhosted(i, row.ghosted);
}

void FrmGps::setUpPhotoList() {
    lvFiles->Initialize();
    lvFiles->InitializeImageListSmall(icons::kStatusSize, icons::kStatusSize);
    lvFiles->ImageListSmall_AddBitmap(icons::statusStrip().toImage());
    lvFiles->setBorderStyle(1);
    lvFiles->setFullRowSelect(true);
    lvFiles->setHideSelection(false);
    lvFiles->setViewMode(UcListView::ViewReport);
    lvFiles->setOLEDropMode(1);
    lvFiles->setRaiseSubItemPrePaint(true);
    lvFiles->setUseTheme(true);
    lvFiles->ColumnAdd(ColFileName, QStringLiteral("文件名"), 130);
    lvFiles->ColumnAdd(ColLatitude, QStringLiteral("纬度坐标"), 130);
    lvFiles->ColumnAdd(ColLongitude, QStringLiteral("经度坐标"), 130);
    lvFiles->ColumnAdd(ColAltitude, QStringLiteral("海拔高度"), 80);
    lvFiles->ColumnAdd(ColStatus, QStringLiteral("状态"), 100);
}

void FrmGps::Form_Load() {
    SetWindowIcon(*this);
    m_formLoading = true;
    setUpPhotoList();

    cboAction->addItems({QStringLiteral("导入 GPS 数据"), QStringLiteral("导出 GPS 数据")});
    cboAction->setCurrentIndex(zeroOrOne(readBatchSetup("Action")));
    cboAction_Click();

    cboOutFormat[0]->addItems({QStringLiteral("输出为文本格式"), QStringLiteral("输出为 KML 格式"),
                               QStringLiteral("输出为 GPX 格式")});
    cboOutFormat[0]->setCurrentIndex(indexInRange(readBatchSetup("OutputFormat"), 2));
    cboOutFormat_Click(0);

    cboOutFormat[2]->addItems({QStringLiteral("十进制数据"), QStringLiteral("度°分′秒″")});
    cboOutFormat[2]->setCurrentIndex(zeroOrOne(readBatchSetup("OutputDataFormat")));

    chkMakerNote->setChecked(vbnum::leadingValue(readBatchSetup("SkipMakerNote")) != 0);
    chkMakerNote_Click();

    m_log.autoSuffix = true;
    m_log.time = timesettings::withOverrides(timesettings::read(), m_app.timeOverrides);

    const QString& path = m_app.commandLinePath;
    if (path.length() > 5 && QFileInfo(path).isFile()) {
        auto ctx = context();
        openLogInImportAction(ctx, path);
        cmdStart->setFocus();
    }
    m_formLoading = false;
}

void FrmGps::Form_QueryUnload(bool& cancel) {
    if (m_app.batchRunning)
        cancel = true;
}

void FrmGps::Form_Unload() {
    const int outputFormat = cboOutFormat[0]->currentIndex();
    writeBatchSetup("Action", cboAction->currentIndex());
    writeBatchSetup("OutputFormat", outputFormat);
    writeBatchSetup("OutputDataFormat", cboOutFormat[2]->currentIndex());
    writeBatchSetup("SkipMakerNote", chkMakerNote->isChecked() ? 1 : 0);
    if (outputFormat == 0)
        writeBatchSetup("OutputSubFormatTEXT", cboOutFormat[1]->currentIndex());
    else if (outputFormat == 1)
        writeBatchSetup("OutputSubFormatKML", cboOutFormat[1]->currentIndex());
}

void FrmGps::closeEvent(QCloseEvent* event) {
    bool cancel = false;
    Form_QueryUnload(cancel);
    if (cancel) {
        event->ignore();
        return;
    }
    Form_Unload();
    event->accept();
}

// Enter presses the export button, the window's default button.
void FrmGps::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && fraExport->isVisible() && cmdExport->isEnabled()) {
        cmdExport->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void FrmGps::cboAction_Click() {
    const bool import = cboAction->currentIndex() == 0;
    fraImport->setVisible(import);
    fraExport->setVisible(!import);
    m_list.clear();
    // An empty list holds no impossible position; a stale indicator would only mislead.
    m_log.invalidData = false;
    setInvalidDataShown(false);
    // The counts and progress of the list just emptied.
    setTips(QString());
    for (QPushButton* button : {cmdClear, cmdExport, cmdToggle, cmdStart})
        button->setEnabled(false);
}

void FrmGps::cboOutFormat_Click(int index) {
    if (index != 0)
        return;
    QComboBox* subFormat = cboOutFormat[1];
    subFormat->clear();
    int wanted = 0;
    switch (cboOutFormat[0]->currentIndex()) {
    case 0:
        subFormat->addItems({QStringLiteral("CSV 格式"), QStringLiteral("TSV 格式")});
        wanted = indexInRange(readBatchSetup("OutputSubFormatTEXT"), 1);
        break;
    case 1:
        subFormat->addItems({QStringLiteral("地标 (点)"), QStringLiteral("轨迹 (路径)"),
                             QStringLiteral("区域 (平面)")});
        wanted = indexInRange(readBatchSetup("OutputSubFormatKML"), 2);
        break;
    case 2:
        // GPX holds the photos as waypoints only.
        subFormat->addItems({QStringLiteral("航点 (点)")});
        break;
    default:
        break;
    }
    subFormat->setCurrentIndex(wanted);
    const bool text = cboOutFormat[0]->currentIndex() == 0;
    cboOutFormat[2]->setEnabled(text);
    cmdOptions->setEnabled(text);
}

void FrmGps::chkMakerNote_Click() {
    if (chkMakerNote->isChecked() && !m_formLoading)
        message(titles::kWarning, kMakerNoteWarning, MessageIcon::Warning);
}

void FrmGps::cmdClear_Click() {
    auto ctx = context();
    clearPhotoList(ctx);
}

void FrmGps::cmdOptions_Click() {
    FrmOptions options(this);
    options.exec();
}

void FrmGps::cmdOpenLog_Click() {
    auto ctx = context();
    openLog(ctx, chkAutoExt->isChecked(), [this](const QString& initialFolder) {
        CommDialog dialog;
        dialog.setHwnd(this);
        dialog.setDialogTitle(openlogdialog::kTitle);
        dialog.setFilter(openlogdialog::kFilter);
        dialog.setInitDir(initialFolder);
        dialog.setFilterIndex(openlogdialog::kFilterIndex);
        dialog.ShowOpen();
        activateWindow();
        return dialog.FileName();
    });
}

void FrmGps::cmdToggle_Click() {
    auto ctx = context();
    swapLatLon(ctx);
}

void FrmGps::cmdStart_Click() {
    auto ctx = context();
    ::cmdStart_Click(ctx);
}

// The rows of a timed track re-match while the values change; the values are kept on closing.
void FrmGps::cmdTime_Click() {
    const std::optional<int> suggested =
        m_log.timedTrack ? m_log.timedTrack->suggestedZoneMinutes : std::nullopt;
    FrmTime dialog(m_log.time, suggested, this);
    connect(&dialog, &FrmTime::valuesChanged, this, [this](const TimeSettings& values) {
        m_log.time = values;
        auto ctx = context();
        rematchTimedTrack(ctx);
    });
    dialog.exec();
    timesettings::write(m_log.time);
}

void FrmGps::cmdOpenEx_Click() {
    auto ctx = context();
    beginAddFiles(ctx);
    CommDialog dialog;
    dialog.setHwnd(this);
    dialog.setDialogTitle(addfilesdialog::kTitle);
    dialog.setFlags(addfilesdialog::kFlags);
    dialog.setFilter(addfilesdialog::filter());
    dialog.setInitDir(readBatchSetup("LastFolder"));
    dialog.setBufferSize(addfilesdialog::kBufferSize);
    dialog.setFilterIndex(addfilesdialog::kFilterIndex);
    dialog.ShowOpen();
    activateWindow();
    if (dialog.ExtendedError() == CommDialog::FNERR_BUFFERTOOSMALL)
        message(titles::kNotice, kTooManyFiles, MessageIcon::Warning);
    addChosenFiles(ctx, dialog.FileName());
}

void FrmGps::cmdOpenFolder_Click() {
    CommDialog dialog;
    dialog.setHwnd(this);
    dialog.setDialogTitle(folderbrowser::kTitle);
    dialog.ShowFolder();
    const QString folder = dialog.FileName();
    if (folder.isEmpty())
        return;
    auto ctx = context();
    addFolder(ctx, folder);
}

void FrmGps::cmdExport_Click() {
    auto ctx = context();
    if (!beginExport(ctx))
        return;
    const ExportChoice choice{cboOutFormat[0]->currentIndex(), cboOutFormat[1]->currentIndex(),
                              cboOutFormat[2]->currentIndex()};
    const SaveDialogSetup setup = exportSaveDialog(choice, readBatchSetup("LastFolder"));
    CommDialog dialog;
    dialog.setHwnd(this);
    dialog.setDialogTitle(setup.title);
    dialog.setFilter(setup.filter);
    dialog.setInitDir(setup.initDir);
    dialog.setFileName(setup.fileName);
    dialog.setFlags(static_cast<quint32>(setup.flags));
    dialog.ShowSave();
    activateWindow();
    // The options dialog's choices as stored now: the export reads them at every run.
    const StoredTextOptions stored = storedTextOptions();
    runExport(ctx, exportOptions(choice, stored.columns, stored.header), dialog.FileName());
}

void FrmGps::lvFiles_Click() {}

void FrmGps::lvFiles_OnSubItemPrePaint(int Item, int /*SubItem*/, quint32& TextBackColor,
                                       quint32& TextForeColor, bool& Process) {
    if (Item % 2 == 0) {
        TextBackColor = kEvenRowBack;
        Process = true;
    }
    if (Item >= 0 && Item < m_list.count() && m_list.row(Item).ghosted) {
        TextForeColor = kGhostedText;
        Process = true;
    }
    if (Process && Item % 2 == 1)
        TextBackColor = kWhite;
}

void FrmGps::lvFiles_OLEDragDrop(const QStringList& files) {
    auto ctx = context();
    dropFiles(ctx, files);
}

void FrmGps::lnkWebsite_Jump() {
    QDesktopServices::openUrl(QUrl::fromLocalFile(userGuidePath()));
}

// IMainView

void FrmGps::message(const QString& title, const QString& text, MessageIcon icon) {
    if (m_messageSink)
        m_messageSink->message(title, text, icon);
    else
        showMessageBox(this, title, text, icon);
}

// The roads yield after every row; the window repaints and answers input at most once per
// frame, so a 32767-row log loads in well under a second instead of repainting 32767 times.
void FrmGps::yield() {
    constexpr qint64 kFrameMs = 16;
    if (m_sinceYield.isValid() && m_sinceYield.elapsed() < kFrameMs)
        return;
    showPendingRow();
    QCoreApplication::processEvents();
    m_sinceYield.start();
}

QWidget* FrmGps::control(Control c) const {
    switch (c) {
    case Control::cboAction:
        return cboAction;
    case Control::cmdOpenLog:
        return cmdOpenLog;
    case Control::cmdToggle:
        return cmdToggle;
    case Control::cmdStart:
        return cmdStart;
    case Control::chkMakerNote:
        return chkMakerNote;
    case Control::cmdOpenEx:
        return cmdOpenEx;
    case Control::cmdOpenFolder:
        return cmdOpenFolder;
    case Control::cmdClear:
        return cmdClear;
    case Control::cmdOptions:
        return cmdOptions;
    case Control::cmdExport:
        return cmdExport;
    }
    return nullptr;
}

void FrmGps::setEnabled(Control c, bool enabled) {
    QWidget* widget = control(c);
    if (!widget)
        return;
    widget->setEnabled(enabled);
    if (m_pendingFocus == c) {
        m_pendingFocus.reset();
        if (enabled)
            widget->setFocus();
    }
}

// A road may hand the focus to a button it enables only afterwards (the export button after an
// addition): the focus then waits for that button.
void FrmGps::setFocus(Control c) {
    QWidget* widget = control(c);
    if (!widget)
        return;
    m_pendingFocus.reset();
    if (widget->isEnabled())
        widget->setFocus();
    else
        m_pendingFocus = c;
}

void FrmGps::setTips(const QString& text) {
    lblTips->setText(text);
}

void FrmGps::setInvalidDataShown(bool shown) {
    imgError->setVisible(shown);
    lblError->setVisible(shown);
    lblTips->setVisible(!shown);
}

void FrmGps::setBusyCursor(bool busy) {
    if (busy) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        ++m_busyDepth;
    } else if (m_busyDepth > 0) {
        QApplication::restoreOverrideCursor();
        --m_busyDepth;
    }
}

void FrmGps::showRow(int i) {
    if (i < 0) {
        m_pendingRow.reset();
        m_showRowShot.stop();
        for (int selected = lvFiles->ItemFindState(); selected >= 0;
             selected = lvFiles->ItemFindState(selected))
            lvFiles->setItemSelected(selected, false);
        return;
    }
    m_pendingRow = i;
    if (!m_showRowShot.isActive())
        m_showRowShot.start();
}

void FrmGps::showPendingRow() {
    m_showRowShot.stop();
    if (!m_pendingRow)
        return;
    const int i = *std::exchange(m_pendingRow, std::nullopt);
    lvFiles->setItemSelected(i, true);
    lvFiles->ItemEnsureVisible(i);
    lvFiles->setFocus();
}

bool FrmGps::skipMakerNote() const {
    return chkMakerNote->isChecked();
}

int FrmGps::action() const {
    return cboAction->currentIndex();
}

void FrmGps::setAction(int index) {
    if (cboAction->currentIndex() == index)
        return;
    cboAction->setCurrentIndex(index);
    cboAction_Click();
}

void FrmGps::closeWindow() {
    close();
}
