#pragma once
// A quick look into a photo's EXIF structure without a metadata parser: a few small reads of a
// JPEG's EXIF segment or of a TIFF file, walked by hand. It answers only where the answer is
// certain; everything else is left to the codec, which stays the authority:
//
//   const PhotoPeek peek = peekPhoto(path, {.position = true, .time = true});
//   if (!peek.position) ... ask the codec ...

#include <QString>
#include <QtGlobal>
#include <optional>

namespace codec {

// A position the codec would read exactly so: latitude and longitude signed decimal degrees
// (south and west negative), altitude in metres as the photo's rational gives it, negative below
// sea level, empty when the photo has no usable altitude.
struct PeekedPosition {
    double latitude = 0;
    double longitude = 0;
    std::optional<double> altitude;
};

// The Exif directory's DateTimeOriginal (0x9003, "2024:05:01 10:11:12"), SubSecTimeOriginal
// (0x9291, digits of a fraction of a second) and OffsetTimeOriginal (0x9011, "+08:00"), as the
// photo holds them, less trailing NULs and blanks; empty for a tag the photo lacks or holds with a
// type other than ASCII.
struct OriginalTime {
    QString dateTime;
    QString subSec;
    QString offset;
};

struct PeekRequest {
    bool position = false;
    bool time = false;
};

struct PhotoPeek {
    // The file's device and inode when it could be opened (both 0 otherwise).
    quint64 device = 0;
    quint64 inode = 0;
    // Set only for a regular JPEG (the header the codec splices) or a TIFF (magic 42) whose GPS
    // directory is well-formed and holds a usable position; a photo without one, or with anything
    // unusual on the way, gets nothing here, and the codec says what it holds.
    std::optional<PeekedPosition> position;
    // Set when the Exif directory was found (JPEG and TIFF-structured RAW files too).
    std::optional<OriginalTime> time;
};

PhotoPeek peekPhoto(const QString& path, const PeekRequest& request);

} // namespace codec
