#include "base/coordinates.h"

#include "base/vbnum.h"

#include <QList>
#include <cmath>
#include <limits>

namespace {

std::optional<qint16> toInt16(double value) {
    if (!(value >= std::numeric_limits<qint16>::min() &&
          value <= std::numeric_limits<qint16>::max()))
        return std::nullopt;
    return static_cast<qint16>(value);
}

} // namespace

std::optional<Dms> parseCoordinate(QStringView text) {
    if (!text.contains(u':')) {
        const auto value = vbnum::toDouble(text);
        if (!value)
            return std::nullopt;
        return decimalToDms(*value);
    }

    const auto parts = text.split(u':');
    const double degValue = vbnum::leadingValue(parts[0]);
    const auto deg = toInt16(std::floor(degValue));
    const auto min = toInt16(std::floor(vbnum::leadingValue(parts[1])));
    if (!deg || !min)
        return std::nullopt;
    Dms dms;
    dms.deg = *deg;
    dms.min = *min;
    dms.sec = parts.size() > 2 ? static_cast<float>(vbnum::leadingValue(parts[2])) : 0.0f;
    // "-0:30:00": the degrees are 0, the sign is only in the text.
    dms.negative = std::signbit(degValue);
    return dms;
}

std::optional<Dms> decimalToDms(double value) {
    if (std::isnan(value))
        return std::nullopt;
    const bool negative = value < 0;
    const double a = std::fabs(value);
    const double whole = std::floor(a);
    const auto deg = toInt16(whole);
    if (!deg)
        return std::nullopt;
    // Minutes are floored, not rounded: a value a hair below a whole minute keeps 59 minutes
    // and nearly 60 seconds, which the single-precision seconds then show as 60.
    const double minutes = (a - whole) * 60.0;
    const double min = std::floor(minutes);
    Dms dms;
    dms.deg = static_cast<qint16>(negative ? -*deg : *deg);
    dms.min = static_cast<qint16>(min);
    dms.sec = static_cast<float>((minutes - min) * 60.0);
    dms.negative = negative;
    return dms;
}

QString FormatDms(const Dms& value) {
    return QString::number(std::abs(int{value.deg})) + u'°' + QString::number(value.min) + u'′' +
           vbnum::generalSingle(value.sec) + u'″';
}

QChar latitudeRef(const Dms& value) {
    return value.isNegative() ? u'S' : u'N';
}

QChar longitudeRef(const Dms& value) {
    return value.isNegative() ? u'W' : u'E';
}

QString latitudeText(const Dms& value) {
    return FormatDms(value) + latitudeRef(value);
}

QString longitudeText(const Dms& value) {
    return FormatDms(value) + longitudeRef(value);
}

double dmsToDecimal(const Dms& value) {
    const double magnitude =
        std::abs(int{value.deg}) + value.min / 60.0 + static_cast<double>(value.sec) / 3600.0;
    return value.isNegative() ? -magnitude : magnitude;
}

QString altitudeText(QStringView field) {
    const auto value = vbnum::toDouble(field);
    if (!value)
        return {};
    return vbnum::fixed2(*value) + u'm';
}

Rational GetRational(float x, int precision) {
    if (x == 0.0f)
        return {0, 10};
    if (!std::isfinite(x))
        return {0, 0};
    const double value = x;
    const QString text = vbnum::upTo3Decimals(value);
    const qsizetype decimals = text.size() - text.lastIndexOf(u'.') - 1;
    if (decimals == 1 || decimals == 2) {
        const qint32 den = decimals == 1 ? 10 : 100;
        const auto num = vbnum::toInt32(value * den);
        if (!num)
            return {0, 0};
        return {*num, den};
    }

    // Three decimals: the smallest numerator whose denominator lands within the tolerance.
    const double tolerance = std::pow(0.1, precision);
    const auto accept = [&](qint64 i) -> std::optional<Rational> {
        const double q = static_cast<double>(i) / value;
        const double nearest = vbnum::roundHalfEven(q);
        if (std::fabs(q - nearest) >= tolerance)
            return std::nullopt;
        const auto den = vbnum::toInt32(nearest);
        if (!den || *den == std::numeric_limits<qint32>::min())
            return Rational{0, 0};
        if (*den < 0)
            return Rational{static_cast<qint32>(-i), -*den};
        return Rational{static_cast<qint32>(i), *den};
    };
    constexpr qint64 kLargestNumerator = std::numeric_limits<qint32>::max();
    const double magnitude = std::fabs(value);
    // Walking i = 1, 2, 3, ... takes up to a million steps on six-decimal logs. But the first i
    // that passes comes closer to a whole multiple of 1/x than every smaller one, so it is the
    // denominator of a convergent of 1/x's continued fraction: testing those alone finds the
    // same numerator in a few dozen steps. A float is an exact binary fraction, so the
    // expansion runs on integers, without rounding.
    int exponent = 0;
    const double mantissa = std::frexp(magnitude, &exponent); // magnitude = mantissa * 2^exponent
    constexpr int kMantissaBits = std::numeric_limits<float>::digits;
    const auto significand = static_cast<quint64>(std::ldexp(mantissa, kMantissaBits));
    const int shift = kMantissaBits - exponent; // magnitude = significand / 2^shift
    if (shift > 62 || shift < -38) {
        // Outside the 64-bit form: 1/x beyond every numerator, or x beyond every denominator.
        if (const auto found = accept(1); found && 1.0 / magnitude <= kLargestNumerator + 0.5)
            return *found;
        return {0, 0};
    }
    // 1/x = top / bottom.
    quint64 top = shift >= 0 ? quint64{1} << shift : 1;
    quint64 bottom = shift >= 0 ? significand : significand << -shift;
    qint64 previous = 0; // convergent denominators q(k-1) and q(k), from q(-1) = 0, q(0) = 1
    qint64 current = 1;
    top %= bottom;
    std::swap(top, bottom);
    for (;;) {
        // Past this no denominator fits 32 bits: the search can only fail.
        if (static_cast<double>(current) / magnitude > kLargestNumerator + 0.5)
            return {0, 0};
        if (const auto found = accept(current))
            return *found;
        if (bottom == 0)
            return {0, 0}; // 1/x ended; its last convergent is exact and always passes
        const quint64 quotient = top / bottom;
        top %= bottom;
        std::swap(top, bottom);
        if (quotient > quint64(kLargestNumerator - previous) / quint64(current))
            return {0, 0};
        const qint64 next = qint64(quotient) * current + previous;
        previous = current;
        current = next;
    }
}
