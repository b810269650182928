#pragma once
// Which track format a file holds, told by its content (not its name), and reading it whole.

#include "gpslog/track.h"

#include <QString>

// The format of the file's first bytes: an XML root element gpx or kml, or NMEA sentences.
// None for anything else (text logs, other XML, unreadable files).
TrackFormat sniffTrackFormat(const QString& path);

struct TrackFile {
    TrackFormat format = TrackFormat::None;
    bool ok = false; // read to its end without error
    Track track;
    QString errorString; // the parser's reason when not ok
    qint64 errorLine = 0;
    qint64 badChecksums = 0; // NMEA sentences refused for their checksum
    qint64 invalidFixes = 0; // NMEA fixes their receiver marked invalid
};

// Reads path with the reader of its format (format None: nothing is read, ok false).
TrackFile readTrackFile(const QString& path);
