#pragma once
// Conversions between the forms a position takes: the log's text, the stored degrees, minutes and
// seconds, the list's display text and the EXIF rationals written into photos.

#include <QString>
#include <QStringView>
#include <optional>

// A stored coordinate. Degrees carry the sign as they always have; `negative` also holds it, so
// that values between -1 and 0 degrees (whose whole degrees are 0) keep their hemisphere.
struct Dms {
    qint16 deg = 0;
    qint16 min = 0;
    float sec = 0.0f;
    bool negative = false;

    bool isNegative() const { return negative || deg < 0; }
    bool operator==(const Dms&) const = default;
};

struct Rational {
    qint32 num = 0;
    qint32 den = 0;
    bool operator==(const Rational&) const = default;
};

// Which coordinate a hemisphere letter names: N and S a latitude, E and W a longitude.
enum class Axis { Any, Latitude, Longitude };

struct ParsedCoordinate {
    Dms dms;
    Axis axis = Axis::Any; // the axis of the hemisphere letter given, Any without one
};

// The strict reading of one log field; the whole field must be one of:
//  - a decimal number with "." ("31.2304", "-33.8688", "+1.5", "−0.5" with U+2212), no exponent;
//  - 1 to 3 ":"-separated numbers ("31:13:49.44", "31:13.824"), the last one may have decimals;
//  - the same with marks: 31°13′49.44″, 31°13'49.44", 31°13.824′ (blanks between the parts);
// each optionally with a hemisphere letter N/S/E/W (either case, a blank allowed) before or
// after it; S and W make it negative. Only the degrees take a sign, never together with a letter;
// minutes and seconds lie in [0, 60). Empty for anything else, also for NaN, infinities and
// degrees beyond 16 bits. Seconds that would be written as 60 are carried into the minutes.
std::optional<ParsedCoordinate> readCoordinate(QStringView text);

// readCoordinate as a stored coordinate; empty too when the letter names the other axis.
std::optional<Dms> parseCoordinate(QStringView text, Axis axis = Axis::Any);

// Decimal degrees to degrees, minutes, seconds; seconds that would be written as 60 are carried
// into the next minute. Empty for NaN, infinities and degrees beyond 16 bits.
std::optional<Dms> decimalToDms(double value);

// "31°13′49.44″": |degrees|, minutes and seconds; no hemisphere letter. The seconds are shown as
// they are written into a photo: rounded to two decimals where the writer rounds them, otherwise
// to seven significant digits, never in exponent form, and 60 carried into the minutes.
QString FormatDms(const Dms& value);

// FormatDms with "N"/"S" or "E"/"W".
QString latitudeText(const Dms& value);
QString longitudeText(const Dms& value);
QChar latitudeRef(const Dms& value);
QChar longitudeRef(const Dms& value);

// Signed decimal degrees of a stored coordinate.
double dmsToDecimal(const Dms& value);

// "12.50m": two decimals, "m" appended. Empty when the field is not a number.
QString altitudeText(QStringView field);

// The EXIF rational of x: one or two decimals over 10 or 100, otherwise the shortest fraction
// within 10^-precision; 0 gives 0/10 and a failure 0/0.
Rational GetRational(float x, int precision = 6);
