#pragma once
// Reading the GPS directory of Exiv2's EXIF data: which tags are usable, their plain and display
// texts, the signed position, and the edits a rewrite makes (clearing the old GPS directory,
// leaving the maker note out).

#include <QString>
#include <exiv2/exiv2.hpp>
#include <optional>
#include <utility>
#include <vector>

namespace codec::detail {

// GPS tag numbers the program reads by meaning.
enum GpsTag : int {
    VersionId = 0,
    LatitudeRef = 1,
    Latitude = 2,
    LongitudeRef = 3,
    Longitude = 4,
    AltitudeRef = 5,
    Altitude = 6,
    TimeStamp = 7,
    SpeedRef = 12,
    Speed = 13,
    TrackRef = 14,
    Track = 15,
    ImgDirectionRef = 16,
    ImgDirection = 17,
    DestBearingRef = 23,
    DestBearing = 24,
    DestDistanceRef = 25,
    DestDistance = 26,
};

// The GPS tags of an ExifData by number: one pass over the data instead of a key search (which
// builds a text per entry) for every query. Holds pointers into exif; rebuild after changing it.
class GpsDirectory {
public:
    GpsDirectory() = default;
    explicit GpsDirectory(Exiv2::ExifData& exif);

    Exiv2::Exifdatum* find(int tag) const;
    const Exiv2::ExifData* exif() const { return m_exif; }

private:
    Exiv2::ExifData* m_exif = nullptr;
    std::vector<std::pair<int, Exiv2::Exifdatum*>> m_tags;
};

// True when the tag is present and, for the tags read by meaning, holds what EXIF prescribes:
// a known reference letter, three rationals without a zero denominator within ±90/±180, one
// altitude rational, an altitude reference of one BYTE 0 or 1. A malformed tag counts as absent,
// so no caller turns it into a position; so does an altitude whose reference is malformed.
bool hasUsableGpsTag(const GpsDirectory& gps, int tag);

// Plain texts: the reference letter, "0"/"1" for the altitude reference, the altitude in metres;
// Exiv2's value text for other tags. Empty when the tag is not usable.
QString gpsTagString(const GpsDirectory& gps, int tag);

// Display texts: 31°13′49.44″ for the coordinates, values with their units or references.
QString gpsTagLabel(const GpsDirectory& gps, int tag);

struct GpsPosition {
    double latitude;
    double longitude;
};

// Signed decimal degrees, south and west negative.
std::optional<GpsPosition> gpsPosition(const GpsDirectory& gps);

bool isGpsTag(const Exiv2::Exifdatum& datum);
void eraseGpsTags(Exiv2::ExifData& exif);
void eraseMakerNote(Exiv2::ExifData& exif);

// The GPS directories hold the same tags with the same types, counts and values.
bool sameGpsTags(const Exiv2::ExifData& expected, const Exiv2::ExifData& actual);

} // namespace codec::detail
