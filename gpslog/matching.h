#pragma once
// One split log line to one record and one row of the photo list. A text log names its photo in
// the first field, looked up in the log's own folder; a KML/XML track names none, and the folder's
// images are given to its points afterwards, in name order (AddFolderPhotos in assign mode).

#include "photolist/gpslogrecord.h"
#include "road/mainview.h"

#include <QString>
#include <QStringList>

// Column 0 of a track point that has no photo yet.
inline const QString kNoMatchingPhoto = QStringLiteral("(无对应)");

// A first coordinate beyond this many degrees cannot be a latitude worth trusting, so a text log
// with such a value is taken to give the longitude first. 85, not 90: exactly 85 keeps the order.
inline constexpr double kLongitudeFirstAbove = 85.0;

enum class RecordResult {
    Added,
    Unusable, // fewer than three fields, or a track line that holds no position
    ListFull, // the list already holds PhotoList::kMaxRows rows
};

// True when the record's position cannot be written as a real one: latitude beyond 90 degrees or
// longitude beyond 180 (degrees, minutes and seconds together, so 90°30′ counts), or negative
// minutes or seconds, which EXIF's unsigned rationals cannot hold.
bool isImpossiblePosition(const GpsLogRecord& record);

// Appends the row for fields (first field at index 0; changed in place: ".JPG" appended under the
// auto suffix, padded to four). Text rows: name, latitude, longitude, optional altitude; a first
// coordinate beyond 85 degrees swaps the two. Track rows (isXml): ignored field, longitude,
// latitude, altitude. A coordinate that cannot be read is kept as 0°0′0″ in a text row, while a
// track line without both coordinates is no track point. Raises the invalid-data indicator
// (ctx.log.invalidData and the view) for an impossible position, and yields once per row.
RecordResult AddLogRecord(RoadContext& ctx, QStringList& fields, bool isXml);
