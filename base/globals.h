#pragma once
// Small helpers shared by the windows and the roads.

#include <QString>

class QRegularExpression;

namespace globals {

// The last component of a path; "/" and "\" both separate, blanks at both ends are removed.
QString GetFileName(const QString& path);

// The characters before the first NUL.
QString TrimAtNull(const QString& text);

// Every match of pattern in source replaced, matching without regard to case, with the ASCII
// meaning of \b, \s and \w. A pattern that does not compile leaves source unchanged.
QString RegexReplace(const QString& pattern, const QString& replacement, const QString& source);

} // namespace globals
