#pragma once
// What a written copy must carry over: every tag of every EXIF directory, the XMP and the IPTC
// data, compared value by value with what the codec meant to write. Only the numbers that say
// where a block sits in the file may differ; the blocks themselves must not.

#include <exiv2/exiv2.hpp>

namespace codec::detail {

// The same tags in every directory (maker note and GPS included), with the same types, counts,
// values and data areas (thumbnails), whatever their order or the byte order of the file.
bool sameExif(const Exiv2::ExifData& expected, const Exiv2::ExifData& actual);

bool sameXmp(const Exiv2::XmpData& expected, const Exiv2::XmpData& actual);
bool sameIptc(const Exiv2::IptcData& expected, const Exiv2::IptcData& actual);

// Removes the GPS properties of the EXIF schema (exif:GPSLatitude and the rest), so a copy holds
// one position only. True when there was any.
bool eraseXmpGps(Exiv2::XmpData& xmp);

} // namespace codec::detail
