#pragma once
// When a photo was taken, read straight from its EXIF structure: a few small reads of the JPEG's
// EXIF segment or of a TIFF-structured file, and nothing handed to a metadata parser, so it is
// safe on any file and costs next to nothing beside the position read.

#include <QString>
#include <optional>

namespace codec {

// The Exif directory's DateTimeOriginal (0x9003, "2024:05:01 10:11:12"), SubSecTimeOriginal
// (0x9291, digits of a fraction of a second) and OffsetTimeOriginal (0x9011, "+08:00"), as the
// photo holds them, less trailing NULs and blanks; empty for a tag the photo lacks or holds with a
// type other than ASCII.
struct OriginalTime {
    QString dateTime;
    QString subSec;
    QString offset;
};

// Reads JPEG files (their APP1 EXIF segment) and TIFF-structured files (TIFF, DNG, NEF, CR2, PEF,
// ARW and other RAW kinds that start with a TIFF header). nullopt when the file is of another
// kind, has no EXIF block or no Exif directory, or its structure points outside itself.
std::optional<OriginalTime> readOriginalTime(const QString& path);

} // namespace codec
