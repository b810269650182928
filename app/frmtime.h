#pragma once
// "时间校正": the camera's time zone, whether a photo's own zone wins, the camera clock's error and
// the longest gap inside a track segment. Every change is announced at once, so the rows of a
// timed track re-match while the user turns the values.

#include "base/timesettings.h"

#include <QDialog>
#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

class FrmTime : public QDialog {
    Q_OBJECT
public:
    // suggestedZone: the camera zone that would put the photos inside the track, offered with a
    // button; empty when there is none.
    FrmTime(const TimeSettings& values, std::optional<int> suggestedZone,
            QWidget* parent = nullptr);

    const TimeSettings& values() const { return m_values; }

signals:
    void valuesChanged(const TimeSettings& values);

private:
    void readControls();
    void applySuggestion();

    TimeSettings m_values;
    std::optional<int> m_suggestedZone;
    QComboBox* cboZone = nullptr;
    QCheckBox* chkPhotoZone = nullptr;
    QLineEdit* txtClock = nullptr;
    QSpinBox* spnMaxGap = nullptr;
    QLabel* lblSuggestion = nullptr;
    QPushButton* cmdSuggestion = nullptr;
};

// The zone box's entries: this computer's zone first (no value), then UTC−12:00 to UTC+14:00.
QList<std::optional<int>> zoneChoices();
