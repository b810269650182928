#include "base/timesettings.h"

#include "base/settings.h"

#include <QRegularExpression>
#include <cstdlib>

namespace timesettings {
namespace {

const QString kZoneKey = QStringLiteral("CameraTimeZone");
const QString kPhotoZoneKey = QStringLiteral("PhotoZoneFirst");
const QString kClockKey = QStringLiteral("ClockCorrection");
const QString kMaxGapKey = QStringLiteral("MaxGap");
constexpr int kMaxGapLimit = 7 * 86400;
// A camera clock more than a year off is a wrong date, not a drift.
constexpr int kMaxClockSeconds = 366 * 86400;

QString stored(const QString& key) {
    return settings::ReadSetting(QLatin1String(settings::kBatchSetup), key).trimmed();
}

void store(const QString& key, const QString& value) {
    settings::WriteSetting(QLatin1String(settings::kBatchSetup), key, value);
}

} // namespace

TimeSettings read() {
    TimeSettings values;
    values.cameraZoneMinutes = parseZone(stored(kZoneKey));
    values.photoZoneFirst = stored(kPhotoZoneKey) != u'0';
    values.clockSeconds = parseClock(stored(kClockKey)).value_or(0);
    values.maxGapSeconds = parseMaxGap(stored(kMaxGapKey)).value_or(kDefaultMaxGapSeconds);
    return values;
}

void write(const TimeSettings& values) {
    // The computer's own zone is stored as an empty value.
    store(kZoneKey, values.cameraZoneMinutes
                        ? zoneText(*values.cameraZoneMinutes).mid(3).replace(QChar(0x2212), u'-')
                        : QString());
    store(kPhotoZoneKey, values.photoZoneFirst ? QStringLiteral("1") : QStringLiteral("0"));
    store(kClockKey, QString::number(values.clockSeconds));
    store(kMaxGapKey, QString::number(values.maxGapSeconds));
}

TimeSettings withOverrides(TimeSettings values, const TimeOverrides& overrides) {
    if (overrides.cameraZoneMinutes)
        values.cameraZoneMinutes = overrides.cameraZoneMinutes;
    if (overrides.clockSeconds)
        values.clockSeconds = *overrides.clockSeconds;
    if (overrides.maxGapSeconds)
        values.maxGapSeconds = *overrides.maxGapSeconds;
    return values;
}

QString zoneText(int minutes) {
    const QChar sign = minutes < 0 ? QChar(0x2212) : QChar(u'+');
    const int a = std::abs(minutes);
    return QStringLiteral("UTC%1%2:%3")
        .arg(sign)
        .arg(a / 60, 2, 10, QLatin1Char('0'))
        .arg(a % 60, 2, 10, QLatin1Char('0'));
}

std::optional<int> parseZone(QString text) {
    text = text.trimmed().replace(QChar(0x2212), u'-');
    if (text.startsWith(QLatin1String("UTC"), Qt::CaseInsensitive))
        text = text.mid(3);
    if (text == u'Z' || text == u'z' || text == u'0')
        return 0;
    static const QRegularExpression form(QStringLiteral("^([+-])(\\d{1,2})(?::?(\\d{2}))?$"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    const int magnitude = m.captured(2).toInt() * 60 + m.captured(3).toInt();
    const int minutes = (m.captured(1) == u'-' ? -1 : 1) * magnitude;
    if (m.captured(3).toInt() > 59 || minutes < kMinZoneMinutes || minutes > kMaxZoneMinutes ||
        minutes % kZoneStepMinutes != 0)
        return std::nullopt;
    return minutes;
}

std::optional<int> parseClock(const QString& text) {
    static const QRegularExpression form(
        QStringLiteral("^([+-]?)(\\d+)(?::(\\d{1,2}))?(?::(\\d{1,2}))?$"));
    const QRegularExpressionMatch m =
        form.match(QString(text.trimmed()).replace(QChar(0x2212), u'-'));
    if (!m.hasMatch())
        return std::nullopt;
    bool ok = false;
    const qint64 first = m.captured(2).toLongLong(&ok);
    if (!ok)
        return std::nullopt;
    qint64 seconds = first;
    if (m.hasCaptured(4)) // h:m:s
        seconds = first * 3600 + m.captured(3).toInt() * 60 + m.captured(4).toInt();
    else if (m.hasCaptured(3)) // m:s
        seconds = first * 60 + m.captured(3).toInt();
    if ((m.hasCaptured(3) && m.captured(3).toInt() > 59) ||
        (m.hasCaptured(4) && m.captured(4).toInt() > 59) || seconds > kMaxClockSeconds)
        return std::nullopt;
    return static_cast<int>(m.captured(1) == u'-' ? -seconds : seconds);
}

QString clockText(int seconds) {
    const int a = std::abs(seconds);
    return QStringLiteral("%1%2:%3:%4")
        .arg(seconds < 0 ? QStringLiteral("-") : QStringLiteral("+"))
        .arg(a / 3600)
        .arg(a / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(a % 60, 2, 10, QLatin1Char('0'));
}

std::optional<int> parseMaxGap(const QString& text) {
    bool ok = false;
    const int seconds = text.trimmed().toInt(&ok);
    if (!ok || seconds < 1 || seconds > kMaxGapLimit)
        return std::nullopt;
    return seconds;
}

} // namespace timesettings
