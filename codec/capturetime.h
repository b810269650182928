#pragma once
// When a photo was taken, as its camera wrote it: DateTimeOriginal with SubSecTimeOriginal, and
// the zone of OffsetTimeOriginal when the camera records one (EXIF 2.31).

#include <QString>
#include <optional>

namespace codec {

struct CaptureTime {
    // The camera's wall-clock time, counted as if it were UTC: milliseconds since 1970.
    qint64 localMs = 0;
    // Minutes east of UTC from OffsetTimeOriginal ("+08:00"); empty when the photo has none.
    std::optional<int> offsetMinutes;
};

// Empty when the file cannot be read or holds no readable DateTimeOriginal. Never throws.
std::optional<CaptureTime> readCaptureTime(const QString& path);

// "2024:05:01 16:00:00" (EXIF's form; "-" and "T" also taken) with its sub-second digits
// ("5" is 500 ms) as wall-clock milliseconds; empty when the text is no such time.
std::optional<qint64> parseExifDateTime(const QString& dateTime, const QString& subSeconds = {});

// "+08:00" or "-05:30" to minutes east of UTC; empty for anything else.
std::optional<int> parseExifOffset(const QString& offset);

} // namespace codec
