#include "gpslog/tracklog.h"

#include "gpslog/matching.h"
#include "gpslog/timematch.h"
#include "gpslog/trackreader.h"
#include "photolist/addphotos.h"
#include "photolist/gpslogstate.h"
#include "photolist/photolist.h"

#include <QDateTime>
#include <QDir>
#include <QLocale>
#include <QTimeZone>
#include <algorithm>

namespace {

const QString kBrokenTrack = QStringLiteral("记录文件第 %1 行有误，未载入任何数据！");
const QString kPointsLeftOut = QStringLiteral("另有 %1 个点无法读取，未载入。");
const QString kNoPhotos = QStringLiteral("记录文件所在文件夹中没有照片！");
const QString kNmeaRefused = QStringLiteral("%1 条语句校验和错误、%2 个无效定位未采用。");

QString numberText(double value) {
    return std::isnan(value) ? QString()
                             : QString::number(value, 'g', QLocale::FloatingPointShortest);
}

// Case-insensitive name order, as the folder assignment of KML logs takes the images.
QStringList photoNames(const QString& folder) {
    QStringList names = QDir(folder).entryList(QDir::Files, QDir::NoSort);
    names.removeIf([](const QString& n) { return n.startsWith(u'.') || !isPhotoFileName(n); });
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        const int c = a.compare(b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
    return names;
}

// What the reader left out of the file, for the tips.
QString leftOutNote(const TrackFile& file) {
    QString note;
    if (file.track.skipped > 0)
        note += kPointsLeftOut.arg(file.track.skipped);
    if (file.badChecksums + file.invalidFixes > 0)
        note += kNmeaRefused.arg(file.badChecksums).arg(file.invalidFixes);
    return note;
}

// "共载入N条数据！" (or "未找到可添加的数据！") and what was left out of the file.
QString loadNote(const TrackFile& file, qint64 points) {
    return (points == 0
                ? logtexts::kNothingLoaded
                : logtexts::kLoadedPrefix + QString::number(points) + logtexts::kLoadedSuffix) +
           leftOutNote(file);
}

LogLoadResult failBroken(RoadContext& ctx, const TrackFile& file) {
    ctx.view.setEnabled(Control::cmdStart, false);
    ctx.view.setEnabled(Control::cmdToggle, false);
    ctx.view.setTips(logtexts::kNothingLoaded);
    ctx.view.message(titles::kError, kBrokenTrack.arg(file.errorLine), MessageIcon::Error);
    LogLoadResult result;
    result.status = LogLoadStatus::Unreadable;
    return result;
}

// An untimed track reads as a KML/XML log does: one tuple per point, text in, so that coordinates
// and altitudes are read exactly as a line reader reads them; then the folder's images in name
// order.
LogLoadResult loadByOrder(RoadContext& ctx, const TrackFile& file) {
    std::vector<LogEntry> points;
    points.reserve(file.track.points.size());
    qint64 number = 0;
    for (const TrackPoint& point : file.track.points) {
        const QString lon = numberText(point.longitude);
        const QString lat = numberText(point.latitude);
        const QString alt = numberText(point.altitude);
        const QString tuple = alt.isEmpty() ? lon + u',' + lat : lon + u',' + lat + u',' + alt;
        points.push_back(makeLogEntry({++number, tuple}, QString(), lon, lat, alt));
    }
    return loadUntimedTrack(ctx, std::move(points), leftOutNote(file));
}

// The zone the photos' times were read in: the chosen one, or this computer's at the first photo.
int zoneInUse(const TimedTrack& timed, const TimeSettings& settings) {
    if (settings.cameraZoneMinutes)
        return *settings.cameraZoneMinutes;
    for (const auto& capture : timed.captures) {
        if (capture) {
            const QDateTime wall =
                QDateTime::fromMSecsSinceEpoch(capture->localMs, QTimeZone::utc());
            return QDateTime(wall.date(), wall.time(), QTimeZone::systemTimeZone())
                       .offsetFromUtc() /
                   60;
        }
    }
    return 0;
}

PhotoRow timedRow(const QString& name, const std::optional<codec::CaptureTime>& capture,
                  const TimeIndex& index, const TimeSettings& settings) {
    PhotoRow row;
    GpsLogRecord& record = row.record;
    record.fileName = name;
    record.fileExists = true;
    record.noAltitude = true;
    row.texts[ColFileName] = name;
    row.icon = RowIcon::New;
    row.ghosted = true;
    if (!capture) {
        row.texts[ColStatus] = tracktexts::kNoCaptureTime;
        return row;
    }
    const qint64 utc = photoUtcMs(*capture, settings);
    const TimeMatch match = index.match(utc);
    if (match.kind == MatchKind::OutOfRange) {
        row.texts[ColStatus] = tracktexts::kOutOfRange;
        return row;
    }
    record.lat = decimalToDms(match.latitude).value_or(Dms{});
    record.lon = decimalToDms(match.longitude).value_or(Dms{});
    record.gpsTimeMs = utc;
    if (!std::isnan(match.altitude) && std::isfinite(float(match.altitude))) {
        record.altitude = float(match.altitude);
        record.noAltitude = false;
        row.texts[ColAltitude] = altitudeText(QString::number(match.altitude, 'f', 2));
    }
    row.texts[ColLatitude] = latitudeText(record.lat);
    row.texts[ColLongitude] = longitudeText(record.lon);
    row.texts[ColStatus] = match.kind == MatchKind::Interpolated
                               ? tracktexts::kInterpolated
                               : tracktexts::kOffByPrefix +
                                     QString::number((match.nearestMs + 500) / 1000) +
                                     tracktexts::kOffBySuffix;
    row.ghosted = false;
    return row;
}

// Fills (append) or refills the rows of the timed track and shows the outcome.
void matchRows(RoadContext& ctx, TimedTrack& timed, bool append) {
    const TimeSettings& settings = ctx.log.time;
    const TimeIndex index(timed.track, settings.maxGapSeconds);
    std::vector<qint64> times;
    int matched = 0;
    for (size_t i = 0; i < timed.photoNames.size(); ++i) {
        PhotoRow row = timedRow(timed.photoNames[i], timed.captures[i], index, settings);
        if (timed.captures[i])
            times.push_back(photoUtcMs(*timed.captures[i], settings));
        matched += row.ghosted ? 0 : 1;
        const int r = int(i);
        if (append) {
            ctx.list.append(std::move(row));
            ctx.view.yield();
            continue;
        }
        ctx.list.setRecord(r, row.record);
        for (int column = ColFileName; column < ColumnCount; ++column)
            ctx.list.setText(r, column, row.texts[column]);
        ctx.list.setIcon(r, row.icon);
        ctx.list.setGhosted(r, row.ghosted);
    }

    QString tips = timed.loadNote;
    if (timed.photoNames.empty())
        tips += u'\n' + kNoPhotos;
    timed.suggestedZoneMinutes.reset();
    if (const auto shift = suggestShiftHours(index, times)) {
        const int zone = zoneInUse(timed, settings) - *shift * 60;
        if (zone >= timesettings::kMinZoneMinutes && zone <= timesettings::kMaxZoneMinutes) {
            timed.suggestedZoneMinutes = zone;
            tips += u'\n' + zoneSuggestionText(*shift, zone);
        }
    }
    ctx.view.setTips(tips);
    ctx.view.setEnabled(Control::cmdStart, matched > 0);
    // Swapping columns means nothing for positions a receiver recorded.
    ctx.view.setEnabled(Control::cmdToggle, false);
}

LogLoadResult loadTimed(RoadContext& ctx, TrackFile& file) {
    auto timed = std::make_shared<TimedTrack>();
    timed->loadNote = loadNote(file, qint64(file.track.points.size()));
    timed->track = std::move(file.track);

    qint64 leftOut = 0;
    for (const QString& name : photoNames(ctx.log.logFolder)) {
        if (int(timed->photoNames.size()) >= PhotoList::kMaxRows) {
            ++leftOut;
            continue;
        }
        timed->photoNames.push_back(name);
        timed->captures.push_back(codec::readCaptureTime(ctx.log.logFolder + name));
        ctx.view.yield();
    }
    ctx.log.timedTrack = timed;
    ctx.log.batchDone = false;
    matchRows(ctx, *timed, true);
    if (leftOut > 0) {
        ctx.view.message(titles::kWarning,
                         logtexts::kListFullPrefix + QString::number(leftOut) +
                             logtexts::kListFullSuffix,
                         MessageIcon::Warning);
    }
    LogLoadResult result;
    result.status = LogLoadStatus::Loaded;
    result.rows = ctx.list.count();
    result.leftOut = leftOut;
    return result;
}

} // namespace

TrackLoad loadTrackLog(RoadContext& ctx, const QString& path) {
    ctx.log.timedTrack.reset();
    TrackFile file = readTrackFile(path);
    if (file.format == TrackFormat::None)
        return {};
    const bool kml = file.format == TrackFormat::Kml;
    // An untimed KML file, or one that is not well-formed XML, goes to the line reader: it
    // keeps a damaged tuple in its place, so no photo takes its neighbour's point.
    if (kml && (!file.ok || !file.track.timed()))
        return {std::nullopt, file.ok};
    if (!file.ok)
        return {failBroken(ctx, file), false};
    if (file.track.timed())
        return {loadTimed(ctx, file), kml};
    return {loadByOrder(ctx, file), false};
}

void rematchTimedTrack(RoadContext& ctx) {
    const std::shared_ptr<TimedTrack> timed = ctx.log.timedTrack;
    if (!timed || ctx.app.batchRunning || ctx.log.batchDone || ctx.view.action() != 0 ||
        ctx.list.count() != int(timed->photoNames.size()))
        return;
    matchRows(ctx, *timed, false);
}

QString zoneSuggestionText(int shiftHours, int zoneMinutes) {
    return QStringLiteral("照片时间与轨迹相差约 %1 小时：相机时区可能应为 %2")
        .arg(std::abs(shiftHours))
        .arg(timesettings::zoneText(zoneMinutes));
}
