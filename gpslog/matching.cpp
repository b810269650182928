#include "gpslog/matching.h"

#include "base/vbnum.h"
#include "photolist/gpslogstate.h"
#include "photolist/photolist.h"

#include <QFileInfo>
#include <cmath>

namespace {

bool impossible(const Dms& c, double limit) {
    if (c.min < 0 || !std::isfinite(c.sec) || c.sec < 0.0f)
        return true;
    const double magnitude = std::abs(c.deg) + c.min / 60.0 + c.sec / 3600.0;
    return magnitude > limit;
}

} // namespace

bool isImpossiblePosition(const GpsLogRecord& record) {
    return impossible(record.lat, 90.0) || impossible(record.lon, 180.0);
}

RecordResult AddLogRecord(RoadContext& ctx, QStringList& fields, bool isXml) {
    if (fields.size() < 3)
        return RecordResult::Unusable;

    const bool longitudeFirst =
        isXml || std::abs(vbnum::leadingValue(fields.at(1))) > kLongitudeFirstAbove;
    const std::optional<Dms> lat = parseCoordinate(fields.at(longitudeFirst ? 2 : 1));
    const std::optional<Dms> lon = parseCoordinate(fields.at(longitudeFirst ? 1 : 2));
    // A markup line with two commas in it is not a point; made into one, it would sit at 0°0′0″
    // and shift every later photo of the folder onto the wrong point.
    if (isXml && (!lat || !lon))
        return RecordResult::Unusable;
    if (ctx.list.isFull())
        return RecordResult::ListFull;

    if (!isXml && ctx.log.autoSuffix && !fields.at(0).contains(u'.'))
        fields[0] += QStringLiteral(".JPG");
    while (fields.size() > 4)
        fields.removeLast();
    if (fields.size() < 4)
        fields.append(QString());

    PhotoRow row;
    GpsLogRecord& record = row.record;
    if (isXml) {
        fields[0] = kNoMatchingPhoto;
    } else {
        record.fileName = fields.at(0);
        record.fileExists = QFileInfo(ctx.log.logFolder + fields.at(0)).isFile();
    }
    record.lat = lat.value_or(Dms{});
    record.lon = lon.value_or(Dms{});
    const std::optional<double> altitude = vbnum::toDouble(fields.at(3));
    // An altitude beyond single precision would be written as a failed rational.
    if (altitude && std::isfinite(static_cast<float>(*altitude)))
        record.altitude = static_cast<float>(*altitude);
    else
        record.noAltitude = true;

    if (isImpossiblePosition(record) && !ctx.log.invalidData) {
        ctx.log.invalidData = true;
        ctx.view.setInvalidDataShown(true);
    }

    row.texts[ColFileName] = fields.at(0);
    row.texts[ColLatitude] = latitudeText(record.lat);
    row.texts[ColLongitude] = longitudeText(record.lon);
    row.texts[ColAltitude] = record.noAltitude ? QString() : altitudeText(fields.at(3));
    row.texts[ColStatus] = !isXml && record.fileExists ? status::kPending : status::kNotFound;
    row.icon = RowIcon::New;
    row.ghosted = !record.fileExists;
    ctx.list.append(std::move(row));

    ctx.view.yield();
    return RecordResult::Added;
}
