#pragma once
// Matching photos to a timed track by time. A photo's time is its capture time in the zone of its
// own OffsetTimeOriginal (unless the user turned that off) or else the chosen camera zone, plus
// the clock correction. Inside a segment the position is interpolated linearly; a photo within
// 60 s of a segment's end takes that end; segments are never bridged.

#include "base/timesettings.h"
#include "codec/capturetime.h"
#include "gpslog/track.h"

#include <optional>
#include <vector>

// A photo this close to either end of a segment takes that end.
inline constexpr qint64 kEndToleranceMs = 60'000;

// The photo's time in UTC (milliseconds since 1970) with the settings applied.
qint64 photoUtcMs(const codec::CaptureTime& capture, const TimeSettings& settings);

enum class MatchKind {
    Interpolated, // inside a segment's time span
    AtEnd,        // within kEndToleranceMs before or after a segment: takes that end
    OutOfRange,   // neither: not matched
};

struct TimeMatch {
    MatchKind kind = MatchKind::OutOfRange;
    double latitude = 0;
    double longitude = 0;
    double altitude = std::numeric_limits<double>::quiet_NaN(); // NaN when not known
    qint64 nearestMs = 0; // time to the nearest track point, >= 0
};

// The segments of a timed track after cutting it wherever two neighbours lie further apart than
// the maximum gap, ordered by start time for a binary search per photo.
class TimeIndex {
public:
    TimeIndex(const Track& track, int maxGapSeconds);

    TimeMatch match(qint64 utcMs) const;
    // How many of utcTimes fall inside a segment or within kEndToleranceMs of one.
    int countMatched(const std::vector<qint64>& utcTimes) const;
    size_t segmentCount() const { return m_spans.size(); }

private:
    struct Span {
        size_t begin; // points [begin, end) of the track
        size_t end;
        qint64 startMs;
        qint64 endMs;
    };
    TimeMatch interpolate(const Span& span, qint64 utcMs) const;

    const Track& m_track;
    std::vector<Span> m_spans;
    std::vector<qint64> m_maxEndSoFar; // the latest end among spans [0, i]
};

// When no photo is matched but moving every photo by a whole number of hours would match more than
// half of them, that number of hours (added to the photos' UTC times; the camera zone should then
// be the zone used minus these hours). Empty otherwise.
std::optional<int> suggestShiftHours(const TimeIndex& index, const std::vector<qint64>& utcTimes);
