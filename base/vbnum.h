#pragma once
// Number rules shared by the settings, the coordinates, the log reader and the export:
// the reading and writing conventions the stored files and logs were made with.
// Every function uses "." as decimal point whatever the user's locale.

#include <QString>
#include <QStringView>
#include <optional>

namespace vbnum {

// The leading number of the text: blanks, tabs and line feeds anywhere are ignored, reading stops
// at the first character that cannot continue the number, "&H" and "&O" introduce hexadecimal and
// octal digits; 0 when there is no number ("12abc" -> 12, "abc" -> 0, " 1 2" -> 12). Hex and
// octal values of up to 16 bits are signed 16-bit ("&HFFFF" -> -1), of up to 32 bits signed 32-bit.
double leadingValue(QStringView text);

// Strict conversion: the whole text, less leading and trailing blanks, must be one number
// (sign, digits, ".", exponent). Empty when it is not.
std::optional<double> toDouble(QStringView text);

// True when toDouble succeeds.
bool isNumeric(QStringView text);

// Rounds half to even (2.5 -> 2, 3.5 -> 4, -2.5 -> -2).
double roundHalfEven(double value);

// Rounds half to even into a 32-bit integer; empty when the result does not fit.
std::optional<qint32> toInt32(double value);

// The general form of a single-precision number: at most 7 significant digits, no trailing
// zeros or point, exponent form ("1.705303E-12") for very small or very large magnitudes.
QString generalSingle(float value);

// The general form of a double: at most 15 significant digits, otherwise as generalSingle.
QString generalDouble(double value);

// Pattern "##0.00": at least one integer digit, exactly two decimals, no grouping. Rounded from
// the value's 15-significant-digit decimal text, halves away from zero (2.675 -> "2.68").
QString fixed2(double value);

// Pattern "#######0.0##": at least one integer digit, one to three decimals, rounded as fixed2.
QString upTo3Decimals(double value);

} // namespace vbnum
