#pragma once

#include "base/coordinates.h"

#include <QString>
#include <optional>

// One row's record. For a log row fileName is relative to the log folder; for a photo added for
// export it is the full path. A new record is zero-filled.
struct GpsLogRecord {
    QString fileName;
    bool fileExists = false;
    Dms lat;
    Dms lon;
    float altitude = 0.0f;
    bool noAltitude = false;
    // Photos matched to a track by time: their corrected capture time in UTC, milliseconds since
    // 1970, written as GPSDateStamp and GPSTimeStamp.
    std::optional<qint64> gpsTimeMs;
    // The log's latitude or longitude text is no coordinate: lat and lon hold nothing to write.
    bool coordinatesUnreadable = false;
};
