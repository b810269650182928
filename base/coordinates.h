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

// "31.2304" or "31:13:49.44" (also "-33:52:7.68", "31:12"); empty when the text is neither a
// number nor in the ":" form, or the degrees do not fit 16 bits.
std::optional<Dms> parseCoordinate(QStringView text);

// Decimal degrees to degrees, minutes, seconds; the 60-second case of rounding is kept as is.
std::optional<Dms> decimalToDms(double value);

// "31°13′49.44″": |degrees|, minutes and seconds (general single form); no hemisphere letter.
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
