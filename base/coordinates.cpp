#include "base/coordinates.h"

#include "base/vbnum.h"

#include <QList>
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>

namespace {

std::optional<qint16> toInt16(double value) {
    if (!(value >= std::numeric_limits<qint16>::min() &&
          value <= std::numeric_limits<qint16>::max()))
        return std::nullopt;
    return static_cast<qint16>(value);
}

bool isBlank(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\u3000' || c == u'\u00A0';
}

QStringView trimmedView(QStringView text) {
    while (!text.isEmpty() && isBlank(text.front()))
        text = text.mid(1);
    while (!text.isEmpty() && isBlank(text.back()))
        text.chop(1);
    return text;
}

// Digits with at most one "." and nothing else: no sign, no exponent, no blanks.
std::optional<double> unsignedNumber(QStringView text) {
    std::array<char, 64> ascii{};
    if (text.isEmpty() || text.size() >= qsizetype(ascii.size()))
        return std::nullopt;
    bool point = false;
    bool digit = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c >= u'0' && c <= u'9')
            digit = true;
        else if (c == u'.' && !point)
            point = true;
        else
            return std::nullopt;
        ascii[size_t(i)] = char(c.unicode());
    }
    if (!digit)
        return std::nullopt;
    double value = 0;
    const auto [end, ec] = std::from_chars(ascii.data(), ascii.data() + text.size(), value);
    if (ec != std::errc() || end != ascii.data() + text.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

// Up to three numbers: degrees, minutes, seconds.
struct Parts {
    std::array<double, 3> values{};
    int count = 0;
};

std::optional<Parts> colonParts(QStringView text) {
    Parts parts;
    qsizetype start = 0;
    while (true) {
        const qsizetype colon = text.indexOf(u':', start);
        if (parts.count == 3)
            return std::nullopt;
        const QStringView piece = text.mid(start, colon < 0 ? -1 : colon - start);
        const auto value = unsignedNumber(trimmedView(piece));
        if (!value)
            return std::nullopt;
        parts.values[size_t(parts.count++)] = *value;
        if (colon < 0)
            return parts;
        start = colon + 1;
    }
}

// 0 degrees, 1 minutes, 2 seconds, -1 no mark.
int markKind(QChar c) {
    switch (c.unicode()) {
    case u'°':
    case u'º':
        return 0;
    case u'′':
    case u'\'':
    case u'’':
        return 1;
    case u'″':
    case u'"':
    case u'”':
        return 2;
    default:
        return -1;
    }
}

bool hasMark(QStringView text) {
    return std::any_of(text.begin(), text.end(), [](QChar c) { return markKind(c) >= 0; });
}

// "31°13′49.44″", "31°13'49.44\"", "31° 13.5'": marks in order, the degrees first; the last
// number may go without its mark.
std::optional<Parts> markedParts(QStringView text) {
    Parts parts;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        int kind = markKind(text[i]);
        if (kind < 0)
            continue;
        const bool twoApostrophes = text[i] == u'\'' && i + 1 < text.size() && text[i + 1] == u'\'';
        if (twoApostrophes)
            kind = 2;
        if (kind != parts.count)
            return std::nullopt;
        const auto value = unsignedNumber(trimmedView(text.mid(start, i - start)));
        if (!value)
            return std::nullopt;
        parts.values[size_t(parts.count++)] = *value;
        if (twoApostrophes)
            ++i;
        start = i + 1;
    }
    const QStringView rest = trimmedView(text.mid(start));
    if (!rest.isEmpty()) {
        if (parts.count == 0 || parts.count == 3)
            return std::nullopt;
        const auto value = unsignedNumber(rest);
        if (!value)
            return std::nullopt;
        parts.values[size_t(parts.count++)] = *value;
    }
    return parts;
}

std::optional<Dms> fromParts(const Parts& parts, bool negative) {
    const auto& v = parts.values;
    if (parts.count == 1)
        return decimalToDms(negative ? -v[0] : v[0]);
    // Only the last number may have decimals: "31.5:10" says two different things.
    for (int i = 0; i + 1 < parts.count; ++i)
        if (v[size_t(i)] != std::floor(v[size_t(i)]))
            return std::nullopt;
    const double minutes = v[1];
    const double seconds = parts.count == 3 ? v[2] : (minutes - std::floor(minutes)) * 60.0;
    const auto deg = toInt16(v[0]);
    if (!deg || minutes >= 60.0 || seconds >= 60.0)
        return std::nullopt;
    Dms dms;
    dms.deg = static_cast<qint16>(negative ? -*deg : *deg);
    dms.min = static_cast<qint16>(std::floor(minutes));
    dms.sec = static_cast<float>(seconds);
    // "-0:30:00": the degrees are 0, the sign is only in the text.
    dms.negative = negative;
    return dms;
}

std::optional<Axis> hemisphereAxis(QChar c, bool& negative) {
    switch (c.toUpper().unicode()) {
    case u'N':
        return Axis::Latitude;
    case u'S':
        negative = true;
        return Axis::Latitude;
    case u'E':
        return Axis::Longitude;
    case u'W':
        negative = true;
        return Axis::Longitude;
    default:
        return std::nullopt;
    }
}

bool isSign(QChar c) {
    return c == u'+' || c == u'-' || c == u'\u2212';
}

// The writer rounds seconds to three decimals before it picks their fraction; seconds that
// round to 60 are stored as the next minute, so that the list, the copy and any reader agree.
Dms carried(Dms dms) {
    if (!(dms.sec >= 59.999f) || vbnum::upTo3Decimals(dms.sec) != u"60.0")
        return dms;
    if (dms.min < 59) {
        dms.sec = 0.0f;
        ++dms.min;
        return dms;
    }
    if (std::abs(int{dms.deg}) == std::numeric_limits<qint16>::max())
        return dms;
    dms.sec = 0.0f;
    dms.min = 0;
    dms.deg = static_cast<qint16>(dms.isNegative() ? dms.deg - 1 : dms.deg + 1);
    return dms;
}

// Seconds as the writer stores them: it rounds to three decimals (halves away from zero) and
// writes one or two decimals exactly; a third decimal makes it write a finer fraction, shown to
// seven significant digits. Written into out; returns the end.
char* secondsText(float sec, char* out, char* end) {
    const double thousandths = std::round(static_cast<double>(sec) * 1000.0);
    if (!std::isfinite(sec) || std::fabs(thousandths) > 1e15 || std::fmod(thousandths, 10.0) != 0.0)
        return std::to_chars(out, end, sec, std::chars_format::general, 7).ptr;
    const auto hundredths = static_cast<long long>(thousandths / 10.0);
    const long long magnitude = hundredths < 0 ? -hundredths : hundredths;
    if (hundredths < 0)
        *out++ = '-';
    out = std::to_chars(out, end, magnitude / 100).ptr;
    const int fraction = static_cast<int>(magnitude % 100);
    if (fraction != 0) {
        *out++ = '.';
        *out++ = static_cast<char>('0' + fraction / 10);
        if (fraction % 10 != 0)
            *out++ = static_cast<char>('0' + fraction % 10);
    }
    return out;
}

// One allocation per text: a list of 32767 rows makes 65534 of them.
QString dmsText(const Dms& value, QChar hemisphere) {
    const Dms shown = carried(value);
    std::array<char, 80> ascii{};
    char* const end = ascii.data() + ascii.size();
    char* degEnd = std::to_chars(ascii.data(), end, std::abs(int{shown.deg})).ptr;
    char* minEnd = std::to_chars(degEnd, end, int{shown.min}).ptr;
    char* secEnd = secondsText(shown.sec, minEnd, end);
    std::array<char16_t, 84> text{};
    qsizetype n = 0;
    const auto copy = [&](const char* from, const char* to) {
        for (; from != to; ++from)
            // The general form writes "e" where a reader expects "E" (only huge invalid values).
            text[size_t(n++)] = *from == 'e' ? u'E' : char16_t(*from);
    };
    copy(ascii.data(), degEnd);
    text[size_t(n++)] = u'°';
    copy(degEnd, minEnd);
    text[size_t(n++)] = u'′';
    copy(minEnd, secEnd);
    text[size_t(n++)] = u'″';
    if (!hemisphere.isNull())
        text[size_t(n++)] = hemisphere.unicode();
    return QString(reinterpret_cast<const QChar*>(text.data()), n);
}

} // namespace

std::optional<ParsedCoordinate> readCoordinate(QStringView text) {
    QStringView body = trimmedView(text);
    if (body.isEmpty())
        return std::nullopt;
    bool negative = false;
    std::optional<Axis> axis = hemisphereAxis(body.front(), negative);
    if (axis) {
        body = trimmedView(body.mid(1));
    } else if ((axis = hemisphereAxis(body.back(), negative))) {
        body = trimmedView(body.chopped(1));
    }
    if (!body.isEmpty() && isSign(body.front())) {
        if (axis) // "-31.5S" says the sign twice
            return std::nullopt;
        negative = body.front() != u'+';
        body = body.mid(1);
    }
    std::optional<Parts> parts;
    if (body.contains(u':')) {
        parts = colonParts(body);
    } else if (hasMark(body)) {
        parts = markedParts(body);
    } else if (const auto value = unsignedNumber(body)) {
        parts = Parts{{*value, 0, 0}, 1};
    }
    if (!parts)
        return std::nullopt;
    const auto dms = fromParts(*parts, negative);
    if (!dms)
        return std::nullopt;
    return ParsedCoordinate{*dms, axis.value_or(Axis::Any)};
}

std::optional<Dms> parseCoordinate(QStringView text, Axis axis) {
    const auto parsed = readCoordinate(text);
    if (!parsed || (axis != Axis::Any && parsed->axis != Axis::Any && parsed->axis != axis))
        return std::nullopt;
    return parsed->dms;
}

std::optional<Dms> decimalToDms(double value) {
    if (!std::isfinite(value))
        return std::nullopt;
    const bool negative = value < 0;
    const double a = std::fabs(value);
    const double whole = std::floor(a);
    const auto deg = toInt16(whole);
    if (!deg)
        return std::nullopt;
    // Minutes are floored: a value a hair below a whole minute keeps 59 minutes and nearly 60
    // seconds, which carried() then turns into the whole minute it stands for.
    const double minutes = (a - whole) * 60.0;
    const double min = std::floor(minutes);
    Dms dms;
    dms.deg = static_cast<qint16>(negative ? -*deg : *deg);
    dms.min = static_cast<qint16>(min);
    dms.sec = static_cast<float>((minutes - min) * 60.0);
    dms.negative = negative;
    return carried(dms);
}

QString FormatDms(const Dms& value) {
    return dmsText(value, QChar());
}

QChar latitudeRef(const Dms& value) {
    return value.isNegative() ? u'S' : u'N';
}

QChar longitudeRef(const Dms& value) {
    return value.isNegative() ? u'W' : u'E';
}

QString latitudeText(const Dms& value) {
    return dmsText(value, latitudeRef(value));
}

QString longitudeText(const Dms& value) {
    return dmsText(value, longitudeRef(value));
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
