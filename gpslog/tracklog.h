#pragma once
// Loading GPX, KML and NMEA tracks into the import list. An untimed track keeps the folder-order
// assignment of KML logs: one row per point, the folder's images given to the points in name
// order. A timed track gives one row per image of the log's folder, matched by capture time.

#include "codec/capturetime.h"
#include "gpslog/logreader.h"
#include "gpslog/track.h"

#include <optional>
#include <vector>

namespace tracktexts {
inline const QString kInterpolated = QStringLiteral("待处理（插值）");
// "相差 8 秒": the photo took a segment's end this many seconds away.
inline const QString kOffByPrefix = QStringLiteral("相差 ");
inline const QString kOffBySuffix = QStringLiteral(" 秒");
inline const QString kOutOfRange = QStringLiteral("不在轨迹时间范围内");
inline const QString kNoCaptureTime = QStringLiteral("无拍摄时间");
} // namespace tracktexts

// A timed track and the photos of its rows (row i is photo i), kept while its list is shown.
struct TimedTrack {
    Track track;
    std::vector<QString> photoNames;
    std::vector<std::optional<codec::CaptureTime>> captures;
    // What the load found, shown in the tips before any suggestion.
    QString loadNote;
    // The camera zone that would put most photos inside the track when none is; set by matching.
    std::optional<int> suggestedZoneMinutes;
};

// What loadTrackLog did with a file.
struct TrackLoad {
    // The outcome when the file was loaded as a track; empty when the caller is to read it line
    // by line: no track at all, a KML file that is not well-formed XML, or an untimed KML file,
    // whose tuples the line reader takes one by one, damaged ones keeping their place.
    std::optional<LogLoadResult> result;
    // Well-formed KML: its tuples are read even without "<?xml" (a file that is not well-formed
    // is a track only with that line).
    bool kml = false;
};

// Loads path when its content is a GPX or NMEA track, or a KML file with timed points. Expects
// the list cleared and LogFolder set. Uses ctx.log.time for timed tracks.
TrackLoad loadTrackLog(RoadContext& ctx, const QString& path);

// Matches the rows of the current timed track again with ctx.log.time (after the user changed
// it); nothing while a batch runs, after it has finished, in the export action, or when the list
// is no timed track's.
void rematchTimedTrack(RoadContext& ctx);

// "照片时间与轨迹相差约 8 小时：相机时区可能应为 UTC+08:00"
QString zoneSuggestionText(int shiftHours, int zoneMinutes);
