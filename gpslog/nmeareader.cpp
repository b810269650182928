#include "gpslog/nmeareader.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QIODevice>
#include <QList>
#include <charconv>
#include <cmath>
#include <optional>

namespace {

constexpr qint64 kDayMs = 86'400'000;

double number(QByteArrayView field) {
    double value = std::numeric_limits<double>::quiet_NaN();
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
    if (error != std::errc() || end != field.data() + field.size())
        return std::numeric_limits<double>::quiet_NaN();
    return value;
}

// "ddmm.mmmm" / "dddmm.mmmm" with its hemisphere letter to signed degrees.
double degrees(QByteArrayView value, QByteArrayView hemisphere, char negative, char positive) {
    const double raw = number(value);
    if (std::isnan(raw) || raw < 0 || hemisphere.size() != 1)
        return std::numeric_limits<double>::quiet_NaN();
    const double whole = std::floor(raw / 100);
    const double result = whole + (raw - whole * 100) / 60;
    if (hemisphere[0] == negative)
        return -result;
    return hemisphere[0] == positive ? result : std::numeric_limits<double>::quiet_NaN();
}

// "hhmmss[.sss]" to milliseconds since midnight; -1 when malformed.
qint64 timeOfDay(QByteArrayView field) {
    const double raw = number(field);
    if (field.size() < 6 || std::isnan(raw) || raw < 0)
        return -1;
    const auto hhmmss = static_cast<qint64>(raw);
    const qint64 h = hhmmss / 10000, m = hhmmss / 100 % 100, s = hhmmss % 100;
    if (h > 23 || m > 59 || s > 60)
        return -1;
    return (h * 3600 + m * 60 + s) * 1000 + std::llround((raw - double(hhmmss)) * 1000);
}

// "ddmmyy" to the day number since 1970 (two-digit years are 1980..2079, as GPS receivers mean).
std::optional<qint64> dateDays(QByteArrayView field) {
    if (field.size() != 6)
        return std::nullopt;
    const double raw = number(field);
    if (std::isnan(raw))
        return std::nullopt;
    const auto v = static_cast<qint64>(raw);
    const qint64 d = v / 10000, m = v / 100 % 100, yy = v % 100;
    if (d < 1 || d > 31 || m < 1 || m > 12)
        return std::nullopt;
    return daysFromCivil(yy < 80 ? 2000 + yy : 1900 + yy, unsigned(m), unsigned(d));
}

// The fields of a sentence between "$" and "*", or nothing when its checksum is wrong.
enum class Check { Good, Bad, NotNmea };
Check checkSentence(QByteArrayView line, QByteArrayView& body) {
    const qsizetype dollar = line.indexOf('$');
    if (dollar < 0)
        return Check::NotNmea;
    line = line.sliced(dollar + 1);
    const qsizetype star = line.lastIndexOf('*');
    body = star < 0 ? line : line.first(star);
    if (star < 0)
        return Check::Good;
    unsigned char sum = 0;
    for (const char c : body)
        sum ^= static_cast<unsigned char>(c);
    const QByteArrayView given = line.sliced(star + 1).trimmed();
    bool ok = false;
    const int expected = QByteArray(given.data(), given.size()).toInt(&ok, 16);
    return ok && given.size() == 2 && expected == sum ? Check::Good : Check::Bad;
}

struct Fix {
    qint64 timeOfDayMs = -1;
    std::optional<qint64> day;
    TrackPoint point;
    bool valid = true;
    bool havePosition = false;
};

} // namespace

bool looksLikeNmea(const QByteArray& head) {
    for (const QByteArray& line : head.split('\n')) {
        const QByteArray t = line.trimmed();
        if (t.size() > 6 && t[0] == '$' && (t.mid(3, 4) == "RMC," || t.mid(3, 4) == "GGA,"))
            return true;
    }
    return false;
}

bool NmeaReader::parse(QIODevice& device, Track& track) {
    m_badChecksums = 0;
    m_invalidFixes = 0;
    track.beginSegment();
    Fix fix;
    std::optional<qint64> lastDay;
    qint64 lastTimeOfDay = -1;
    auto flush = [&] {
        if (fix.timeOfDayMs < 0)
            return;
        if (!fix.valid) {
            ++m_invalidFixes;
            return;
        }
        if (!fix.havePosition)
            return;
        std::optional<qint64> day = fix.day;
        // A GGA alone takes the date of the last RMC, a day later once the clock passed midnight.
        if (!day && lastDay)
            day = *lastDay + (fix.timeOfDayMs < lastTimeOfDay ? 1 : 0);
        if (!day) {
            ++track.skipped;
            return;
        }
        fix.point.timeMs = *day * kDayMs + fix.timeOfDayMs;
        track.points.push_back(fix.point);
        lastDay = day;
        lastTimeOfDay = fix.timeOfDayMs;
    };

    qint64 lineNumber = 0;
    while (!device.atEnd()) {
        const QByteArray line = device.readLine();
        ++lineNumber;
        QByteArrayView body;
        const Check check = checkSentence(line, body);
        if (check == Check::NotNmea)
            continue;
        if (check == Check::Bad) {
            ++m_badChecksums;
            continue;
        }
        const QList<QByteArray> f = QByteArray(body.data(), body.size()).split(',');
        if (f.isEmpty() || f[0].size() != 5)
            continue;
        const QByteArray type = f[0].mid(2);
        const bool rmc = type == "RMC" && f.size() >= 10;
        const bool gga = type == "GGA" && f.size() >= 10;
        if (!rmc && !gga)
            continue;
        const qint64 tod = timeOfDay(f[1]);
        if (tod < 0)
            continue;
        if (tod != fix.timeOfDayMs) {
            flush();
            fix = Fix{};
            fix.timeOfDayMs = tod;
        }
        const int at = rmc ? 3 : 2;
        const double lat = degrees(f[at], f[at + 1], 'S', 'N');
        const double lon = degrees(f[at + 2], f[at + 3], 'W', 'E');
        if (rmc) {
            fix.valid = fix.valid && f[2] == "A" && !(f.size() >= 13 && f[12].startsWith('N'));
            fix.day = dateDays(f[9]);
        } else {
            fix.valid = fix.valid && number(f[6]) > 0;
            const double altitude = number(f[9]);
            if (!std::isnan(altitude))
                fix.point.altitude = altitude;
        }
        if (!std::isnan(lat) && !std::isnan(lon)) {
            fix.point.latitude = lat;
            fix.point.longitude = lon;
            fix.havePosition = true;
        } else {
            fix.valid = false;
        }
    }
    flush();
    track.finish(false);
    if (track.points.empty() && m_badChecksums + m_invalidFixes + track.skipped == 0) {
        setError(QStringLiteral("no RMC or GGA sentence"), lineNumber);
        return false;
    }
    return true;
}
