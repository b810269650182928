#include "app/frmtime.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTimeZone>
#include <QVBoxLayout>

namespace {

QString localZoneText() {
    const int minutes = QDateTime::currentDateTime().offsetFromUtc() / 60;
    return QStringLiteral("本机时区（%1）").arg(timesettings::zoneText(minutes));
}

} // namespace

QList<std::optional<int>> zoneChoices() {
    QList<std::optional<int>> zones{std::nullopt};
    for (int m = timesettings::kMinZoneMinutes; m <= timesettings::kMaxZoneMinutes;
         m += timesettings::kZoneStepMinutes)
        zones.append(m);
    return zones;
}

FrmTime::FrmTime(const TimeSettings& values, std::optional<int> suggestedZone, QWidget* parent)
    : QDialog(parent), m_values(values), m_suggestedZone(suggestedZone) {
    setObjectName(QStringLiteral("frmTime"));
    setWindowTitle(QStringLiteral("时间校正"));

    cboZone = new QComboBox(this);
    cboZone->setObjectName(QStringLiteral("cboZone"));
    const QList<std::optional<int>> zones = zoneChoices();
    for (const std::optional<int>& zone : zones)
        cboZone->addItem(zone ? timesettings::zoneText(*zone) : localZoneText());
    cboZone->setCurrentIndex(std::max<qsizetype>(0, zones.indexOf(values.cameraZoneMinutes)));

    chkPhotoZone = new QCheckBox(QStringLiteral("照片自带时区优先"), this);
    chkPhotoZone->setObjectName(QStringLiteral("chkPhotoZone"));
    chkPhotoZone->setChecked(values.photoZoneFirst);

    txtClock = new QLineEdit(timesettings::clockText(values.clockSeconds), this);
    txtClock->setObjectName(QStringLiteral("txtClock"));
    txtClock->setToolTip(QStringLiteral("加到照片时间上的校正，时:分:秒，可带正负号"));

    spnMaxGap = new QSpinBox(this);
    spnMaxGap->setObjectName(QStringLiteral("spnMaxGap"));
    spnMaxGap->setRange(1, 7 * 86400);
    spnMaxGap->setSuffix(QStringLiteral(" 秒"));
    spnMaxGap->setValue(values.maxGapSeconds);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("相机时区："), cboZone);
    form->addRow(QString(), chkPhotoZone);
    form->addRow(QStringLiteral("时钟校正："), txtClock);
    form->addRow(QStringLiteral("最大间隔："), spnMaxGap);

    lblSuggestion = new QLabel(this);
    lblSuggestion->setObjectName(QStringLiteral("lblSuggestion"));
    cmdSuggestion = new QPushButton(QStringLiteral("采用建议(&U)"), this);
    cmdSuggestion->setObjectName(QStringLiteral("cmdSuggestion"));
    const bool suggest = suggestedZone.has_value();
    lblSuggestion->setVisible(suggest);
    cmdSuggestion->setVisible(suggest);
    if (suggest)
        lblSuggestion->setText(QStringLiteral("建议相机时区：") +
                               timesettings::zoneText(*suggestedZone));
    auto* suggestion = new QHBoxLayout;
    suggestion->addWidget(lblSuggestion, 1);
    suggestion->addWidget(cmdSuggestion);

    auto* cmdClose = new QPushButton(QStringLiteral("关闭"), this);
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdClose);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(suggestion);
    layout->addLayout(buttons);

    connect(cboZone, &QComboBox::currentIndexChanged, this, &FrmTime::readControls);
    connect(chkPhotoZone, &QCheckBox::toggled, this, &FrmTime::readControls);
    connect(txtClock, &QLineEdit::textChanged, this, &FrmTime::readControls);
    connect(spnMaxGap, &QSpinBox::valueChanged, this, &FrmTime::readControls);
    connect(cmdSuggestion, &QPushButton::clicked, this, &FrmTime::applySuggestion);
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::accept);
}

void FrmTime::readControls() {
    TimeSettings values = m_values;
    values.cameraZoneMinutes = zoneChoices().value(cboZone->currentIndex());
    values.photoZoneFirst = chkPhotoZone->isChecked();
    // A clock text being typed keeps the last value that could be read.
    const std::optional<int> clock = timesettings::parseClock(txtClock->text());
    txtClock->setStyleSheet(clock ? QString() : QStringLiteral("color: #C00000;"));
    if (clock)
        values.clockSeconds = *clock;
    values.maxGapSeconds = spnMaxGap->value();
    if (values == m_values)
        return;
    m_values = values;
    emit valuesChanged(m_values);
}

void FrmTime::applySuggestion() {
    if (m_suggestedZone)
        cboZone->setCurrentIndex(int(zoneChoices().indexOf(m_suggestedZone)));
}
