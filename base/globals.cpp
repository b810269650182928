#include "base/globals.h"

#include <QRegularExpression>

namespace globals {
namespace {

// Blanks only, as the paths and names of the logs are trimmed everywhere else.
QString trimBlanks(const QString& text) {
    qsizetype start = 0;
    qsizetype end = text.size();
    while (start < end && text[start] == u' ')
        ++start;
    while (end > start && text[end - 1] == u' ')
        --end;
    return text.mid(start, end - start);
}

// The replacement syntax the callers' patterns were written for: $1..$99, $& (the whole match)
// and $$; every other character, a backslash included, is literal.
QString expandReplacement(const QString& replacement, const QRegularExpressionMatch& match) {
    QString out;
    const qsizetype n = replacement.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = replacement[i];
        if (c != u'$' || i + 1 == n) {
            out.append(c);
            continue;
        }
        const QChar next = replacement[i + 1];
        if (next == u'$') {
            out.append(u'$');
            ++i;
        } else if (next == u'&') {
            out.append(match.captured(0));
            ++i;
        } else if (next.isDigit() && next.unicode() < 128) {
            int group = next.digitValue();
            qsizetype used = 1;
            if (i + 2 < n && replacement[i + 2].unicode() < 128 && replacement[i + 2].isDigit() &&
                group * 10 + replacement[i + 2].digitValue() <= match.lastCapturedIndex()) {
                group = group * 10 + replacement[i + 2].digitValue();
                used = 2;
            }
            if (group == 0 || group > match.lastCapturedIndex()) {
                out.append(c);
                continue;
            }
            out.append(match.captured(group));
            i += used;
        } else {
            out.append(c);
        }
    }
    return out;
}

} // namespace

QString GetFileName(const QString& path) {
    QString text = path;
    text.replace(u'/', u'\\');
    text = trimBlanks(text);
    return text.mid(text.lastIndexOf(u'\\') + 1);
}

QString TrimAtNull(const QString& text) {
    const qsizetype nul = text.indexOf(QChar(u'\0'));
    return nul < 0 ? text : text.left(nul);
}

QString RegexReplace(const QString& pattern, const QString& replacement, const QString& source) {
    // Unicode properties stay off: \b, \s and \w keep their ASCII meaning.
    const QRegularExpression regex(pattern, QRegularExpression::CaseInsensitiveOption);
    if (!regex.isValid())
        return source;
    QString out;
    qsizetype last = 0;
    auto matches = regex.globalMatch(source);
    while (matches.hasNext()) {
        const auto match = matches.next();
        out.append(QStringView(source).mid(last, match.capturedStart() - last));
        out.append(expandReplacement(replacement, match));
        last = match.capturedEnd();
    }
    out.append(QStringView(source).mid(last));
    return out;
}

} // namespace globals
