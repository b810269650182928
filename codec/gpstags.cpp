#include "gpstags.h"

#include "base/coordinates.h"
#include "base/vbnum.h"

#include <QStringList>
#include <cmath>
#include <map>
#include <tuple>

namespace codec::detail {

namespace {

bool isRational(const Exiv2::Exifdatum& datum) {
    return datum.typeId() == Exiv2::unsignedRational || datum.typeId() == Exiv2::signedRational;
}

// The n-th rational as a number; empty for a zero denominator or a negative part where EXIF
// only knows unsigned values.
std::optional<double> rationalAt(const Exiv2::Exifdatum& datum, long n) {
    if (!isRational(datum) || n >= datum.count())
        return std::nullopt;
    double num = 0;
    double den = 0;
    // Unsigned parts above 2^31 would turn negative through toRational().
    if (const auto* unsignedValue = dynamic_cast<const Exiv2::URationalValue*>(&datum.value())) {
        num = unsignedValue->value_.at(std::size_t(n)).first;
        den = unsignedValue->value_.at(std::size_t(n)).second;
    } else {
        const Exiv2::Rational r = datum.toRational(n);
        num = r.first;
        den = r.second;
    }
    if (den == 0)
        return std::nullopt;
    const double value = num / den;
    if (!std::isfinite(value) || value < 0)
        return std::nullopt;
    return value;
}

// The reference letter without its NUL padding, upper case; empty unless it is one of allowed.
QString refLetter(const Exiv2::Exifdatum& datum, QStringView allowed) {
    // The string itself, not toString(), which formats through a stream.
    const auto* ascii = datum.typeId() == Exiv2::asciiString
                            ? dynamic_cast<const Exiv2::StringValueBase*>(&datum.value())
                            : nullptr;
    if (!ascii)
        return {};
    const QString text = QString::fromLatin1(ascii->value_.c_str()).trimmed().toUpper();
    return text.size() == 1 && allowed.contains(text.front()) ? text : QString();
}

QStringView allowedRefs(int tag) {
    switch (tag) {
    case LatitudeRef:
    case 19: // GPSDestLatitudeRef
        return u"NS";
    case LongitudeRef:
    case 21: // GPSDestLongitudeRef
        return u"EW";
    case SpeedRef:
    case DestDistanceRef:
        return u"KMN";
    case TrackRef:
    case ImgDirectionRef:
    case DestBearingRef:
        return u"TM";
    default:
        return {};
    }
}

bool isRefTag(int tag) {
    return !allowedRefs(tag).isEmpty();
}

// The magnitude of a coordinate in degrees, from its degree, minute and second rationals.
std::optional<double> coordinateMagnitude(const Exiv2::Exifdatum& datum, double limit) {
    if (datum.count() != 3)
        return std::nullopt;
    const auto deg = rationalAt(datum, 0);
    const auto min = rationalAt(datum, 1);
    const auto sec = rationalAt(datum, 2);
    if (!deg || !min || !sec)
        return std::nullopt;
    const double value = *deg + *min / 60 + *sec / 3600;
    if (value > limit)
        return std::nullopt;
    return value;
}

std::optional<double> usableNumber(const GpsDirectory& gps, int tag) {
    const Exiv2::Exifdatum* datum = gps.find(tag);
    if (!datum)
        return std::nullopt;
    if (tag == Latitude)
        return coordinateMagnitude(*datum, 90);
    if (tag == Longitude)
        return coordinateMagnitude(*datum, 180);
    if (datum->count() != 1)
        return std::nullopt;
    return rationalAt(*datum, 0);
}

// EXIF gives GPSAltitudeRef one BYTE, 0 above and 1 below sea level; a SHORT of the same value
// is read alike. A text, a rational, several values or another number mean nothing sure.
bool usableAltitudeRef(const Exiv2::Exifdatum& datum) {
    if (datum.count() != 1 ||
        (datum.typeId() != Exiv2::unsignedByte && datum.typeId() != Exiv2::unsignedShort))
        return false;
    const long value = datum.toLong(0);
    return value == 0 || value == 1;
}

bool hasNumberMeaning(int tag) {
    switch (tag) {
    case Latitude:
    case Longitude:
    case Altitude:
    case Speed:
    case Track:
    case ImgDirection:
    case DestBearing:
    case DestDistance:
        return true;
    default:
        return false;
    }
}

// Speed and distance units, and bearing references, as a Chinese reader names them.
QString unitLabel(int valueTag, const QString& ref) {
    switch (valueTag) {
    case Speed:
        return ref == u"M"   ? QStringLiteral(" 英里/时")
               : ref == u"N" ? QStringLiteral(" 节")
                             : QStringLiteral(" km/h");
    case DestDistance:
        return ref == u"M"   ? QStringLiteral(" 英里")
               : ref == u"N" ? QStringLiteral(" 海里")
                             : QStringLiteral(" km");
    default: // bearings: true north unless the photo says magnetic
        return ref == u"M"   ? QStringLiteral("° (磁北)")
               : ref == u"T" ? QStringLiteral("° (真北)")
                             : QStringLiteral("°");
    }
}

QString refOf(const GpsDirectory& gps, int valueTag) {
    const Exiv2::Exifdatum* ref = gps.find(valueTag - 1);
    return ref ? refLetter(*ref, allowedRefs(valueTag - 1)) : QString();
}

QString refLabel(int tag, const QString& letter) {
    static const std::map<std::pair<int, QChar>, QString> labels{
        {{LatitudeRef, u'N'}, QStringLiteral("北纬")},
        {{LatitudeRef, u'S'}, QStringLiteral("南纬")},
        {{LongitudeRef, u'E'}, QStringLiteral("东经")},
        {{LongitudeRef, u'W'}, QStringLiteral("西经")},
    };
    const auto found = labels.find({tag, letter.isEmpty() ? QChar() : letter.front()});
    return found != labels.end() ? found->second : letter;
}

QString timeStampLabel(const Exiv2::Exifdatum& datum) {
    if (datum.count() != 3)
        return {};
    QStringList parts;
    for (long i = 0; i < 3; ++i) {
        const auto value = rationalAt(datum, i);
        if (!value)
            return {};
        const QString text = vbnum::generalSingle(float(*value));
        parts.append(i < 2 && *value < 10 ? QLatin1Char('0') + text : text);
    }
    return parts.join(QLatin1Char(':'));
}

using TagSignature = std::tuple<int, long, std::string>;

std::map<int, TagSignature> gpsSignatures(const Exiv2::ExifData& exif) {
    std::map<int, TagSignature> tags;
    for (const auto& datum : exif) {
        if (isGpsTag(datum))
            tags[datum.tag()] = {int(datum.typeId()), datum.count(), datum.toString()};
    }
    return tags;
}

// Exiv2 keeps its directory numbers internal; the GPS one is learnt from a key once.
int gpsIfdId() {
    static const int id = Exiv2::ExifKey("Exif.GPSInfo.GPSVersionID").ifdId();
    return id;
}

} // namespace

bool isGpsTag(const Exiv2::Exifdatum& datum) {
    return datum.ifdId() == gpsIfdId();
}

GpsDirectory::GpsDirectory(Exiv2::ExifData& exif) : m_exif(&exif) {
    for (auto& datum : exif) {
        if (isGpsTag(datum))
            m_tags.emplace_back(datum.tag(), &datum);
    }
}

Exiv2::Exifdatum* GpsDirectory::find(int tag) const {
    for (const auto& [number, datum] : m_tags) {
        if (number == tag)
            return datum;
    }
    return nullptr;
}

bool hasUsableGpsTag(const GpsDirectory& gps, int tag) {
    const Exiv2::Exifdatum* datum = gps.find(tag);
    if (!datum || datum->count() == 0)
        return false;
    if (isRefTag(tag))
        return !refLetter(*datum, allowedRefs(tag)).isEmpty();
    if (tag == AltitudeRef)
        return usableAltitudeRef(*datum);
    // An altitude whose reference cannot be read has no sign: better none than the wrong one.
    if (tag == Altitude) {
        const Exiv2::Exifdatum* ref = gps.find(AltitudeRef);
        if (ref && !usableAltitudeRef(*ref))
            return false;
    }
    if (hasNumberMeaning(tag))
        return usableNumber(gps, tag).has_value();
    return true;
}

QString gpsTagString(const GpsDirectory& gps, int tag) {
    if (!hasUsableGpsTag(gps, tag))
        return {};
    const Exiv2::Exifdatum& datum = *gps.find(tag);
    if (isRefTag(tag))
        return refLetter(datum, allowedRefs(tag));
    if (tag == AltitudeRef)
        return QString::number(datum.toLong(0));
    if (tag == Altitude)
        return vbnum::generalDouble(*usableNumber(gps, tag));
    return QString::fromStdString(datum.toString());
}

QString gpsTagLabel(const GpsDirectory& gps, int tag) {
    if (!hasUsableGpsTag(gps, tag))
        return {};
    const Exiv2::Exifdatum& datum = *gps.find(tag);
    if (tag == Latitude || tag == Longitude) {
        const auto dms = decimalToDms(*usableNumber(gps, tag));
        return dms ? FormatDms(*dms) : QString();
    }
    if (isRefTag(tag))
        return refLabel(tag, refLetter(datum, allowedRefs(tag)));
    switch (tag) {
    case VersionId: {
        QStringList parts;
        for (long i = 0; i < datum.count(); ++i)
            parts.append(QString::number(datum.toLong(i)));
        return parts.join(QLatin1Char('.'));
    }
    case AltitudeRef:
        return datum.toLong(0) == 0 ? QStringLiteral("海平面以上") : QStringLiteral("海平面以下");
    case Altitude:
        return vbnum::generalSingle(float(*usableNumber(gps, tag))) + QStringLiteral(" m");
    case TimeStamp:
        return timeStampLabel(datum);
    case Speed:
    case Track:
    case ImgDirection:
    case DestBearing:
    case DestDistance:
        return vbnum::generalSingle(float(*usableNumber(gps, tag))) +
               unitLabel(tag, refOf(gps, tag));
    default:
        return QString::fromStdString(datum.print(gps.exif()));
    }
}

std::optional<GpsPosition> gpsPosition(const GpsDirectory& gps) {
    if (!hasUsableGpsTag(gps, LatitudeRef) || !hasUsableGpsTag(gps, LongitudeRef))
        return std::nullopt;
    const auto latitude = usableNumber(gps, Latitude);
    const auto longitude = usableNumber(gps, Longitude);
    if (!latitude || !longitude)
        return std::nullopt;
    const bool south = gpsTagString(gps, LatitudeRef) == u"S";
    const bool west = gpsTagString(gps, LongitudeRef) == u"W";
    return GpsPosition{south ? -*latitude : *latitude, west ? -*longitude : *longitude};
}

void eraseGpsTags(Exiv2::ExifData& exif) {
    for (auto it = exif.begin(); it != exif.end();) {
        if (isGpsTag(*it))
            it = exif.erase(it);
        else
            ++it;
    }
}

void eraseMakerNote(Exiv2::ExifData& exif) {
    for (auto it = exif.begin(); it != exif.end();) {
        const std::string group = it->groupName();
        const bool makerNote = group == "MakerNote" || Exiv2::ExifTags::isMakerGroup(group) ||
                               it->key() == "Exif.Photo.MakerNote";
        if (makerNote)
            it = exif.erase(it);
        else
            ++it;
    }
}

bool sameGpsTags(const Exiv2::ExifData& expected, const Exiv2::ExifData& actual) {
    return gpsSignatures(expected) == gpsSignatures(actual);
}

} // namespace codec::detail
