#include "app/frmoptions.h"

#include "base/settings.h"
#include "base/vbnum.h"
#include "controls/olecolor.h"
#include "controls/uclistview.h"
#include "export/exportformats.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int kIconSize = 22;
constexpr quint32 kMagenta = 0xFF00FF;
// The fraction tile of the icon strip: every row shows it.
constexpr int kRowIcon = 4;
// Latitude, longitude and altitude: every export writes them, so their rows cannot be cleared.
constexpr int kFixedRows = 3;

const quint32 kCheckedBack = olecolor::rgb(255, 255, 204);
const quint32 kFixedBack = olecolor::rgb(248, 248, 248);

struct OptionRow {
    QString item;
    QString tagNames;
    int tag;
};

const OptionRow kFixed[kFixedRows] = {
    {QStringLiteral("GPS 纬度坐标"), QStringLiteral("GPSLatitude, GPSLatitudeRef"), 2},
    {QStringLiteral("GPS 经度坐标"), QStringLiteral("GPSLongitude, GPSLongitudeRef"), 4},
    {QStringLiteral("GPS 海拔高度"), QStringLiteral("GPSAltitude, GPSAltitudeRef"), 6},
};

// The optional rows are the export's field table, in its order.
OptionRow optionalRow(const exportformats::ExportField& field) {
    const QString name = QString::fromUtf8(field.name);
    return {QStringLiteral("GPS ") + QString::fromUtf8(field.headerLabel),
            name + QStringLiteral(", ") + name + QStringLiteral("Ref"), field.tag};
}

QString setting(const char* section, const QString& key) {
    return settings::ReadSetting(QString::fromUtf8(section), key);
}

bool settingOn(const char* section, const QString& key) {
    return vbnum::leadingValue(setting(section, key)) != 0;
}

// The ten 22 by 22 images of the list's strip, on magenta: closed and open folder, tiles with
// "123", "ABC", a fraction, "1011" and "?", then a white cross on red, a ring on green and a
// circular arrow on blue. Edges touching the magenta are drawn without antialiasing so that no
// pink fringe survives the mask.
QImage optionIconStrip() {
    QImage strip(kIconSize * 10, kIconSize, QImage::Format_RGB32);
    strip.fill(QColor(255, 0, 255));
    QPainter p(&strip);

    const auto cell = [](int index) { return QRect(index * kIconSize, 0, kIconSize, kIconSize); };
    const auto folder = [&](int index, bool open) {
        const QRect r = cell(index);
        p.setPen(QColor(160, 120, 20));
        p.setBrush(QColor(240, 200, 80));
        p.drawRect(r.x() + 2, r.y() + 5, 8, 3);
        p.drawRect(r.x() + 2, r.y() + 7, 17, 11);
        if (open) {
            p.setBrush(QColor(250, 220, 120));
            p.drawPolygon(
                QPolygon({QPoint(r.x() + 5, r.y() + 11), QPoint(r.x() + 21, r.y() + 11),
                          QPoint(r.x() + 18, r.y() + 18), QPoint(r.x() + 2, r.y() + 18)}));
        }
    };
    const auto tile = [&](int index, const QColor& colour) {
        const QRect r = cell(index).adjusted(1, 1, -1, -1);
        p.fillRect(r, colour);
        return r;
    };
    const auto tileText = [&](int index, const QColor& colour, const QString& text, int pixels) {
        const QRect r = tile(index, colour);
        QFont font = p.font();
        font.setPixelSize(pixels);
        font.setBold(true);
        p.setFont(font);
        p.setPen(Qt::white);
        p.setRenderHint(QPainter::TextAntialiasing);
        p.drawText(r, Qt::AlignCenter, text);
    };

    folder(0, false);
    folder(1, true);
    tileText(2, QColor(40, 90, 160), QStringLiteral("123"), 9);
    tileText(3, QColor(40, 120, 60), QStringLiteral("ABC"), 8);
    {
        const QRect r = tile(4, QColor(120, 70, 150));
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(Qt::white, 1.6));
        p.drawLine(r.left() + 5, r.bottom() - 3, r.right() - 4, r.top() + 4);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawEllipse(QPointF(r.left() + 6.5, r.top() + 6.5), 2, 2);
        p.drawEllipse(QPointF(r.right() - 5.5, r.bottom() - 5.5), 2, 2);
        p.setRenderHint(QPainter::Antialiasing, false);
    }
    tileText(5, QColor(90, 90, 90), QStringLiteral("1011"), 7);
    tileText(6, QColor(60, 60, 140), QStringLiteral("?"), 13);
    {
        const QRect r = tile(7, QColor(190, 40, 40));
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(Qt::white, 2.4, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(r.topLeft() + QPoint(6, 6), r.bottomRight() - QPoint(5, 5));
        p.drawLine(QPoint(r.right() - 5, r.top() + 6), QPoint(r.left() + 6, r.bottom() - 5));
    }
    {
        const QRect r = tile(8, QColor(40, 140, 60));
        p.setPen(QPen(Qt::white, 2.2));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QRectF(r).adjusted(5, 5, -5, -5));
    }
    {
        const QRect r = tile(9, QColor(40, 80, 180));
        const QRectF ring = QRectF(r).adjusted(5, 5, -5, -5);
        p.setPen(QPen(Qt::white, 2.2, Qt::SolidLine, Qt::FlatCap));
        p.drawArc(ring, 90 * 16, 270 * 16);
        QPainterPath head;
        head.moveTo(ring.center().x(), ring.top() - 3.5);
        head.lineTo(ring.center().x() + 4, ring.top());
        head.lineTo(ring.center().x(), ring.top() + 3.5);
        head.closeSubpath();
        p.fillPath(head, Qt::white);
    }
    return strip;
}

} // namespace

StoredTextOptions storedTextOptions() {
    StoredTextOptions stored;
    stored.header = settingOn(settings::kBatchSetup, QStringLiteral("ExportHeader"));
    for (const exportformats::ExportField& field : exportformats::kExportFields) {
        if (settingOn(settings::kExportOptions, QString::fromUtf8(field.settingKey)))
            stored.columns.append(field.tag);
    }
    return stored;
}

FrmOptions::FrmOptions(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmOptions"));
    setWindowTitle(QStringLiteral("自定义导出选项"));
    setModal(true);
    // A dialog does not inherit its owner's font by itself; it should look like the window.
    if (parent)
        setFont(parent->font());

    lvOptions = new UcListView(this);
    lvOptions->setObjectName(QStringLiteral("lvOptions"));
    lvOptions->setAccessibleName(QStringLiteral("导出字段"));
    lvOptions->setMinimumSize(384, 236);
    chkHeader = new QCheckBox(QStringLiteral("同时导出表头(&H)"), this);
    chkHeader->setObjectName(QStringLiteral("chkHeader"));
    cmdOK = new QPushButton(QStringLiteral("确定"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    cmdOK->setMinimumWidth(88);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(chkHeader);
    bottom->addStretch();
    bottom->addWidget(cmdOK);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lvOptions);
    layout->addLayout(bottom);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(lvOptions, &UcListView::ItemCheck, this, &FrmOptions::lvOptions_ItemCheck);
    connect(lvOptions, &UcListView::OnSubItemPrePaint, this,
            &FrmOptions::lvOptions_OnSubItemPrePaint);
    connect(cmdOK, &QPushButton::clicked, this, &FrmOptions::cmdOK_Click);

    Form_Load();
}

FrmOptions::~FrmOptions() = default;

void FrmOptions::Form_Load() {
    chkHeader->setChecked(settingOn(settings::kBatchSetup, QStringLiteral("ExportHeader")));

    lvOptions->Initialize();
    lvOptions->InitializeImageListSmall(kIconSize, kIconSize);
    lvOptions->ImageListSmall_AddBitmap(optionIconStrip(), kMagenta);
    lvOptions->setBorderStyle(1);
    lvOptions->setFullRowSelect(true);
    lvOptions->setHideSelection(false);
    lvOptions->setViewMode(UcListView::ViewReport);
    lvOptions->setOLEDropMode(1);
    lvOptions->setCheckBoxes(true);
    lvOptions->setUseTheme(true);
    lvOptions->setRaiseSubItemPrePaint(true);

    lvOptions->ColumnAdd(0, QStringLiteral("项目"), 160);
    lvOptions->ColumnAdd(1, QStringLiteral("标签名"), 218);
    const auto addRow = [this](int index, const OptionRow& row) {
        lvOptions->ItemAdd(index, row.item, 0, kRowIcon, row.tag);
        lvOptions->SubItemSet(index, 1, row.tagNames);
    };
    for (int i = 0; i < kFixedRows; ++i)
        addRow(i, kFixed[i]);
    for (int i = 0; i < kFixedRows; ++i) {
        lvOptions->setItemChecked(i, true);
        lvOptions->setItemGhosted(i, true);
    }
    int index = kFixedRows;
    for (const exportformats::ExportField& field : exportformats::kExportFields) {
        addRow(index, optionalRow(field));
        lvOptions->setItemChecked(
            index, settingOn(settings::kExportOptions, QString::fromUtf8(field.settingKey)));
        ++index;
    }
}

void FrmOptions::lvOptions_ItemCheck(int Item) {
    if (lvOptions->ItemGhosted(Item) && !lvOptions->ItemChecked(Item))
        lvOptions->setItemChecked(Item, true);
}

void FrmOptions::lvOptions_OnSubItemPrePaint(int Item, int, quint32& TextBackColor,
                                             quint32& TextForeColor, bool& Process) {
    if (lvOptions->ItemChecked(Item)) {
        TextBackColor = kCheckedBack;
        Process = true;
    }
    if (lvOptions->ItemGhosted(Item)) {
        TextForeColor = olecolor::kGrayText;
        TextBackColor = kFixedBack;
        Process = true;
    }
}

// The fixed rows are not stored: they are always exported.
void FrmOptions::cmdOK_Click() {
    // Nobody could act on a failed write here; the next export reads what is on disk.
    settings::WriteSetting(QString::fromUtf8(settings::kBatchSetup), QStringLiteral("ExportHeader"),
                           chkHeader->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
    int index = kFixedRows;
    for (const exportformats::ExportField& field : exportformats::kExportFields) {
        settings::WriteSetting(
            QString::fromUtf8(settings::kExportOptions), QString::fromUtf8(field.settingKey),
            lvOptions->ItemChecked(index) ? QStringLiteral("1") : QStringLiteral("0"));
        ++index;
    }
    accept();
}
