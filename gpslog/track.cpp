#include "gpslog/track.h"

#include <algorithm>
#include <charconv>

namespace {

class Cursor {
public:
    explicit Cursor(QStringView text) : m_text(text) {}

    // Exactly n digits.
    bool digits(int n, int& value) {
        value = 0;
        for (int i = 0; i < n; ++i, ++m_pos) {
            if (m_pos >= m_text.size() || !isDigit(m_text[m_pos]))
                return false;
            value = value * 10 + (m_text[m_pos].unicode() - '0');
        }
        return true;
    }
    bool take(char16_t c) {
        if (m_pos < m_text.size() && m_text[m_pos] == c) {
            ++m_pos;
            return true;
        }
        return false;
    }
    // Fraction digits after a ".", as milliseconds (further digits are dropped, not rounded, as a
    // clock that writes them would).
    int fractionMs() {
        int ms = 0;
        int scale = 100;
        while (m_pos < m_text.size() && isDigit(m_text[m_pos])) {
            ms += (m_text[m_pos].unicode() - '0') * scale;
            scale /= 10;
            ++m_pos;
        }
        return ms;
    }
    bool atEnd() const { return m_pos >= m_text.size(); }

private:
    static bool isDigit(QChar c) { return c >= u'0' && c <= u'9'; }

    QStringView m_text;
    qsizetype m_pos = 0;
};

} // namespace

// H. Hinnant's days_from_civil.
qint64 daysFromCivil(qint64 y, unsigned m, unsigned d) {
    y -= m <= 2;
    const qint64 era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<qint64>(doe) - 719468;
}

void Track::beginSegment() {
    if (segmentStarts.empty() || segmentStarts.back() != points.size())
        segmentStarts.push_back(points.size());
}

void Track::finish(bool countUntimed) {
    const bool anyTimed =
        std::any_of(points.begin(), points.end(), [](const TrackPoint& p) { return p.hasTime(); });
    if (anyTimed) {
        std::vector<size_t> starts;
        std::vector<TrackPoint> kept;
        kept.reserve(points.size());
        for (size_t s = 0; s < segmentStarts.size(); ++s) {
            starts.push_back(kept.size());
            for (size_t i = segmentStarts[s]; i < segmentEnd(s); ++i) {
                const TrackPoint& p = points[i];
                // A receiver's position beyond ±90/±180 is no position at all.
                const bool inRange = std::abs(p.latitude) <= 90 && std::abs(p.longitude) <= 180;
                if (p.hasTime() && inRange)
                    kept.push_back(p);
                else if (countUntimed || p.hasTime())
                    ++skipped;
            }
        }
        points = std::move(kept);
        segmentStarts = std::move(starts);
    }
    // Drop empty segments, then sort each by time: loggers write in order, but waypoints and
    // placemarks need not be.
    std::vector<size_t> starts;
    for (size_t s = 0; s < segmentStarts.size(); ++s) {
        if (segmentStarts[s] < segmentEnd(s) &&
            (starts.empty() || starts.back() != segmentStarts[s]))
            starts.push_back(segmentStarts[s]);
    }
    segmentStarts = std::move(starts);
    if (anyTimed) {
        for (size_t s = 0; s < segmentStarts.size(); ++s) {
            const auto first = points.begin() + static_cast<std::ptrdiff_t>(segmentStarts[s]);
            const auto last = points.begin() + static_cast<std::ptrdiff_t>(segmentEnd(s));
            const auto byTime = [](const TrackPoint& a, const TrackPoint& b) {
                return a.timeMs < b.timeMs;
            };
            if (!std::is_sorted(first, last, byTime))
                std::stable_sort(first, last, byTime);
        }
    }
}

qint64 parseIsoTime(QStringView text) {
    Cursor c(text.trimmed());
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (!c.digits(4, year) || !c.take(u'-') || !c.digits(2, month) || !c.take(u'-') ||
        !c.digits(2, day) || !(c.take(u'T') || c.take(u't') || c.take(u' ')) ||
        !c.digits(2, hour) || !c.take(u':') || !c.digits(2, minute) || !c.take(u':') ||
        !c.digits(2, second))
        return kNoTime;
    int ms = c.take(u'.') ? c.fractionMs() : 0;
    int offsetMinutes = 0;
    if (c.take(u'Z') || c.take(u'z')) {
    } else if (const bool plus = c.take(u'+'); plus || c.take(u'-')) {
        int oh = 0, om = 0;
        if (!c.digits(2, oh) || !(c.take(u':'), c.digits(2, om)) || oh > 14 || om > 59)
            return kNoTime;
        offsetMinutes = (plus ? 1 : -1) * (oh * 60 + om);
    }
    if (!c.atEnd() || month < 1 || month > 12 || day < 1 || day > 31 || hour > 24 || minute > 59 ||
        second > 60)
        return kNoTime;
    const qint64 days = daysFromCivil(year, unsigned(month), unsigned(day));
    const qint64 seconds = days * 86400 + hour * 3600 + minute * 60 + second - offsetMinutes * 60;
    return seconds * 1000 + ms;
}

double parseDecimal(QStringView text) {
    text = text.trimmed();
    char buffer[64];
    if (text.isEmpty() || text.size() >= qsizetype(sizeof buffer))
        return std::numeric_limits<double>::quiet_NaN();
    qsizetype n = 0;
    // from_chars takes no leading "+"; a number text never holds anything beyond ASCII.
    for (qsizetype i = text.front() == u'+' ? 1 : 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c > 0x7f)
            return std::numeric_limits<double>::quiet_NaN();
        buffer[n++] = static_cast<char>(c);
    }
    double value = 0;
    const auto [end, error] = std::from_chars(buffer, buffer + n, value);
    if (error != std::errc() || end != buffer + n || !std::isfinite(value))
        return std::numeric_limits<double>::quiet_NaN();
    return value;
}
