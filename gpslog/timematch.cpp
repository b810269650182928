#include "gpslog/timematch.h"

#include <QDateTime>
#include <QTimeZone>
#include <algorithm>

qint64 photoUtcMs(const codec::CaptureTime& capture, const TimeSettings& settings) {
    qint64 offsetMs = 0;
    if (settings.photoZoneFirst && capture.offsetMinutes) {
        offsetMs = qint64(*capture.offsetMinutes) * 60'000;
    } else if (settings.cameraZoneMinutes) {
        offsetMs = qint64(*settings.cameraZoneMinutes) * 60'000;
    } else {
        // The computer's zone as it was on the photo's date (summer time included).
        const QDateTime wall = QDateTime::fromMSecsSinceEpoch(capture.localMs, QTimeZone::utc());
        const QDateTime local(wall.date(), wall.time(), QTimeZone::systemTimeZone());
        offsetMs = qint64(local.offsetFromUtc()) * 1000;
    }
    return capture.localMs - offsetMs + qint64(settings.clockSeconds) * 1000;
}

TimeIndex::TimeIndex(const Track& track, int maxGapSeconds) : m_track(track) {
    const qint64 maxGapMs = qint64(maxGapSeconds) * 1000;
    const auto& p = track.points;
    for (size_t s = 0; s < track.segmentStarts.size(); ++s) {
        size_t begin = track.segmentStarts[s];
        const size_t end = track.segmentEnd(s);
        for (size_t i = begin + 1; i <= end; ++i) {
            if (i == end || p[i].timeMs - p[i - 1].timeMs > maxGapMs) {
                m_spans.push_back({begin, i, p[begin].timeMs, p[i - 1].timeMs});
                begin = i;
            }
        }
    }
    std::sort(m_spans.begin(), m_spans.end(),
              [](const Span& a, const Span& b) { return a.startMs < b.startMs; });
    qint64 latest = std::numeric_limits<qint64>::min();
    for (const Span& span : m_spans) {
        latest = std::max(latest, span.endMs);
        m_maxEndSoFar.push_back(latest);
    }
}

TimeMatch TimeIndex::interpolate(const Span& span, qint64 t) const {
    const auto first = m_track.points.begin() + std::ptrdiff_t(span.begin);
    const auto last = m_track.points.begin() + std::ptrdiff_t(span.end);
    const auto after = std::upper_bound(
        first, last, t, [](qint64 value, const TrackPoint& point) { return value < point.timeMs; });
    TimeMatch m;
    m.kind = MatchKind::Interpolated;
    const TrackPoint& a = *(after - 1);
    if (after == last || after->timeMs == a.timeMs) {
        m.latitude = a.latitude;
        m.longitude = a.longitude;
        m.altitude = a.altitude;
        m.nearestMs = t - a.timeMs;
        return m;
    }
    const TrackPoint& b = *after;
    const double f = double(t - a.timeMs) / double(b.timeMs - a.timeMs);
    m.latitude = a.latitude + f * (b.latitude - a.latitude);
    // The short way round: a track crossing 180° goes from 179.9 to -179.9, not across 0.
    double dLon = b.longitude - a.longitude;
    if (dLon > 180)
        dLon -= 360;
    else if (dLon < -180)
        dLon += 360;
    m.longitude = a.longitude + f * dLon;
    if (m.longitude > 180)
        m.longitude -= 360;
    else if (m.longitude < -180)
        m.longitude += 360;
    m.altitude = a.altitude + f * (b.altitude - a.altitude); // NaN when either lacks one
    m.nearestMs = std::min(t - a.timeMs, b.timeMs - t);
    return m;
}

TimeMatch TimeIndex::match(qint64 t) const {
    // Spans starting no later than t + tolerance, scanned from the latest start backwards while
    // one of them may still reach t.
    const auto upper =
        std::upper_bound(m_spans.begin(), m_spans.end(), t + kEndToleranceMs,
                         [](qint64 value, const Span& span) { return value < span.startMs; });
    const Span* nearEnd = nullptr;
    qint64 nearEndDistance = kEndToleranceMs + 1;
    for (auto i = std::distance(m_spans.begin(), upper) - 1; i >= 0; --i) {
        if (m_maxEndSoFar[size_t(i)] < t - kEndToleranceMs)
            break;
        const Span& span = m_spans[size_t(i)];
        if (t >= span.startMs && t <= span.endMs)
            return interpolate(span, t);
        const qint64 distance = t < span.startMs ? span.startMs - t : t - span.endMs;
        if (distance < nearEndDistance) {
            nearEndDistance = distance;
            nearEnd = &span;
        }
    }
    if (!nearEnd)
        return {};
    const TrackPoint& end =
        t < nearEnd->startMs ? m_track.points[nearEnd->begin] : m_track.points[nearEnd->end - 1];
    return {MatchKind::AtEnd, end.latitude, end.longitude, end.altitude, nearEndDistance};
}

int TimeIndex::countMatched(const std::vector<qint64>& utcTimes) const {
    return int(std::count_if(utcTimes.begin(), utcTimes.end(),
                             [this](qint64 t) { return match(t).kind != MatchKind::OutOfRange; }));
}

std::optional<int> suggestShiftHours(const TimeIndex& index, const std::vector<qint64>& utcTimes) {
    if (utcTimes.empty() || index.countMatched(utcTimes) > 0)
        return std::nullopt;
    // Zones run from UTC−12 to UTC+14: a camera set to any of them, read as any other, is off by
    // at most 26 hours.
    std::optional<int> best;
    int bestCount = 0;
    for (int hours = -26; hours <= 26; ++hours) {
        std::vector<qint64> shifted(utcTimes);
        for (qint64& t : shifted)
            t += qint64(hours) * 3'600'000;
        const int count = index.countMatched(shifted);
        if (count > bestCount) {
            bestCount = count;
            best = hours;
        }
    }
    if (best && bestCount * 2 > int(utcTimes.size()))
        return best;
    return std::nullopt;
}
