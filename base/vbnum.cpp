#include "base/vbnum.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <string_view>

namespace vbnum {
namespace {

bool isBlank(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\n';
}

bool isDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

// "&H" and "&O" numbers keep the integer width the digits fit: up to 16 bits they are signed
// 16-bit values ("&HFFFF" is -1), up to 32 bits signed 32-bit values, as stored files expect.
int digitValue(QChar c) {
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return 99;
}

double radixValue(QStringView digits, int radix) {
    quint64 value = 0;
    qsizetype count = 0;
    for (const QChar c : digits) {
        const int digit = digitValue(c);
        if (digit >= radix)
            break;
        value = value * radix + digit;
        ++count;
        if (value > 0xFFFFFFFFull)
            return static_cast<double>(value);
    }
    if (count == 0)
        return 0.0;
    if (value <= 0xFFFF)
        return static_cast<double>(static_cast<qint16>(static_cast<quint16>(value)));
    return static_cast<double>(static_cast<qint32>(static_cast<quint32>(value)));
}

// Shortest text that C's %G would print with `digits` significant digits, locale-free.
template <typename T> QString generalForm(T value, int digits) {
    if (value == 0)
        return QStringLiteral("0");
    std::array<char, 64> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                      std::chars_format::general, digits);
    QString text = QString::fromLatin1(buffer.data(), result.ptr - buffer.data());
    text.replace(u'e', u'E');
    return text;
}

// Fixed decimals the way the stored patterns always rounded: from the 15-significant-digit
// decimal text of the value, halves away from zero, so 2.675 gives 2.68 and 12.125 gives 12.13.
QString fixedForm(double value, int decimals) {
    if (!std::isfinite(value))
        return {};
    std::array<char, 32> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(),
                                      std::fabs(value), std::chars_format::scientific, 14);
    const std::string_view text(buffer.data(), result.ptr - buffer.data());
    const auto ePos = text.find('e');
    std::string digits;
    for (const char c : text.substr(0, ePos)) {
        if (c != '.')
            digits += c;
    }
    const int exponent = std::stoi(std::string(text.substr(ePos + 1)));

    // The digits of round(|value| * 10^decimals).
    const int keep = exponent + 1 + decimals;
    std::string number;
    if (keep > 0)
        number = digits.substr(0, std::min<std::size_t>(keep, digits.size()));
    if (keep > 0 && static_cast<std::size_t>(keep) > digits.size())
        number.append(keep - digits.size(), '0');
    if (keep >= 0 && static_cast<std::size_t>(keep) < digits.size() && digits[keep] >= '5') {
        int i = static_cast<int>(number.size()) - 1;
        while (i >= 0 && number[i] == '9')
            number[i--] = '0';
        if (i < 0)
            number.insert(number.begin(), '1');
        else
            ++number[i];
    }
    if (number.size() < static_cast<std::size_t>(decimals) + 1)
        number.insert(0, decimals + 1 - number.size(), '0');
    const bool zero = number.find_first_not_of('0') == std::string::npos;
    if (decimals > 0)
        number.insert(number.size() - decimals, 1, '.');
    if (value < 0 && !zero)
        number.insert(number.begin(), '-');
    return QString::fromLatin1(number.data(), static_cast<qsizetype>(number.size()));
}

} // namespace

double leadingValue(QStringView text) {
    QString s;
    s.reserve(text.size());
    for (const QChar c : text)
        if (!isBlank(c))
            s.append(c);

    if (s.size() >= 2 && s[0] == u'&') {
        const QChar kind = s[1].toUpper();
        if (kind == u'H')
            return radixValue(QStringView(s).mid(2), 16);
        if (kind == u'O')
            return radixValue(QStringView(s).mid(2), 8);
        return 0.0;
    }

    // sign, digits, optional "." and digits, optional exponent ("E" or "D") with its own sign
    qsizetype i = 0;
    const qsizetype n = s.size();
    QByteArray number;
    if (i < n && (s[i] == u'+' || s[i] == u'-'))
        number.append(static_cast<char>(s[i++].unicode()));
    bool anyDigit = false;
    while (i < n && isDigit(s[i])) {
        number.append(static_cast<char>(s[i++].unicode()));
        anyDigit = true;
    }
    if (i < n && s[i] == u'.') {
        number.append('.');
        ++i;
        while (i < n && isDigit(s[i])) {
            number.append(static_cast<char>(s[i++].unicode()));
            anyDigit = true;
        }
    }
    if (!anyDigit)
        return 0.0;
    if (i < n && (s[i].toUpper() == u'E' || s[i].toUpper() == u'D')) {
        qsizetype j = i + 1;
        QByteArray exponent("e");
        if (j < n && (s[j] == u'+' || s[j] == u'-'))
            exponent.append(static_cast<char>(s[j++].unicode()));
        if (j < n && isDigit(s[j])) {
            while (j < n && isDigit(s[j]))
                exponent.append(static_cast<char>(s[j++].unicode()));
            number.append(exponent);
        }
    }
    if (number.startsWith('+'))
        number.remove(0, 1);
    double value = 0.0;
    const auto result = std::from_chars(number.constData(), number.constData() + number.size(),
                                        value, std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range)
        return number.startsWith('-') ? -std::numeric_limits<double>::infinity()
                                      : std::numeric_limits<double>::infinity();
    return value;
}

std::optional<double> toDouble(QStringView text) {
    const QByteArray s = text.trimmed().toLatin1();
    if (s.isEmpty() || text.trimmed().size() != s.size())
        return std::nullopt;
    // from_chars accepts neither a leading "+" nor blanks, and accepts "inf"/"nan": check the shape
    qsizetype i = 0;
    if (s[i] == '+' || s[i] == '-')
        ++i;
    bool anyDigit = false;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
        ++i;
        anyDigit = true;
    }
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
            ++i;
            anyDigit = true;
        }
    }
    if (!anyDigit)
        return std::nullopt;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-'))
            ++i;
        if (i == s.size() || s[i] < '0' || s[i] > '9')
            return std::nullopt;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9')
            ++i;
    }
    if (i != s.size())
        return std::nullopt;

    const qsizetype start = s[0] == '+' ? 1 : 0;
    double value = 0.0;
    const auto result = std::from_chars(s.constData() + start, s.constData() + s.size(), value);
    if (result.ec != std::errc{} || result.ptr != s.constData() + s.size())
        return std::nullopt;
    return value;
}

bool isNumeric(QStringView text) {
    return toDouble(text).has_value();
}

double roundHalfEven(double value) {
    if (!std::isfinite(value))
        return value;
    const double lower = std::floor(value);
    const double diff = value - lower;
    if (diff < 0.5)
        return lower;
    if (diff > 0.5)
        return lower + 1.0;
    return std::fmod(lower, 2.0) == 0.0 ? lower : lower + 1.0;
}

std::optional<qint32> toInt32(double value) {
    const double rounded = roundHalfEven(value);
    if (!(rounded >= std::numeric_limits<qint32>::min() &&
          rounded <= std::numeric_limits<qint32>::max()))
        return std::nullopt;
    return static_cast<qint32>(rounded);
}

QString generalSingle(float value) {
    return generalForm(value, 7);
}

QString generalDouble(double value) {
    return generalForm(value, 15);
}

QString fixed2(double value) {
    return fixedForm(value, 2);
}

QString upTo3Decimals(double value) {
    QString text = fixedForm(value, 3);
    while (text.endsWith(u'0') && text.at(text.size() - 2) != u'.')
        text.chop(1);
    return text;
}

} // namespace vbnum
