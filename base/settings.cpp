#include "base/settings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringList>

namespace settings {
namespace {

// The longest value a reader gets back, in bytes of the file's encoding.
constexpr qsizetype kMaxValueBytes = 254;

QString blanksTrimmed(QStringView text) {
    qsizetype start = 0;
    qsizetype end = text.size();
    while (start < end && (text[start] == u' ' || text[start] == u'\t'))
        ++start;
    while (end > start && (text[end - 1] == u' ' || text[end - 1] == u'\t'))
        --end;
    return text.mid(start, end - start).toString();
}

// A settings file carried over from a Chinese Windows installation is GB18030, not UTF-8.
QString decodeFile(const QByteArray& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8(bytes);
    if (!utf8.hasError())
        return text;
    QStringDecoder gb18030("GB18030");
    if (gb18030.isValid()) {
        text = gb18030(bytes);
        if (!gb18030.hasError())
            return text;
    }
    return QString::fromUtf8(bytes);
}

std::optional<QStringList> readLines(const QString& file) {
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly))
        return std::nullopt;
    QString text = decodeFile(in.readAll());
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    QStringList lines = text.split(u'\n');
    for (QString& line : lines) {
        if (line.endsWith(u'\r'))
            line.chop(1);
    }
    // The text ends with a line end: no line after it.
    if (!lines.isEmpty() && lines.constLast().isEmpty())
        lines.removeLast();
    return lines;
}

// The section name of a "[name]" line, or empty when the line is no section header.
std::optional<QString> sectionName(const QString& line) {
    const QString trimmed = blanksTrimmed(line);
    if (!trimmed.startsWith(u'['))
        return std::nullopt;
    const qsizetype close = trimmed.indexOf(u']');
    if (close < 0)
        return std::nullopt;
    return blanksTrimmed(QStringView(trimmed).mid(1, close - 1));
}

bool isKeyLine(const QString& line, const QString& key) {
    const qsizetype eq = line.indexOf(u'=');
    return eq >= 0 &&
           blanksTrimmed(QStringView(line).left(eq)).compare(key, Qt::CaseInsensitive) == 0;
}

// Index range [first, end) of the body of the first section called name, if any.
std::optional<std::pair<qsizetype, qsizetype>> findSection(const QStringList& lines,
                                                           const QString& name) {
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const auto found = sectionName(lines[i]);
        if (!found || found->compare(name, Qt::CaseInsensitive) != 0)
            continue;
        qsizetype end = i + 1;
        while (end < lines.size() && !sectionName(lines[end]))
            ++end;
        return std::pair{i + 1, end};
    }
    return std::nullopt;
}

// Cut to kMaxValueBytes of UTF-8 without splitting a character.
QString cutValue(const QString& value) {
    if (value.toUtf8().size() <= kMaxValueBytes)
        return value;
    qsizetype bytes = 0;
    qsizetype i = 0;
    while (i < value.size()) {
        const qsizetype step = value[i].isHighSurrogate() && i + 1 < value.size() ? 2 : 1;
        const qsizetype size = QStringView(value).mid(i, step).toUtf8().size();
        if (bytes + size > kMaxValueBytes)
            break;
        bytes += size;
        i += step;
    }
    return value.left(i);
}

bool hasLineBreakOrNul(const QString& text) {
    return text.contains(u'\n') || text.contains(u'\r') || text.contains(QChar(u'\0'));
}

// An installed program keeps its settings per user even where root could write beside it: its
// folder is shared by every user, and a package manager owns it.
bool isInstalled(const QString& appDir) {
    static const QStringList systemPrefixes{QStringLiteral("/usr/"), QStringLiteral("/opt/"),
                                            QStringLiteral("/bin"), QStringLiteral("/sbin")};
    const QString dir = QDir::cleanPath(appDir) + QLatin1Char('/');
    for (const QString& prefix : systemPrefixes) {
        if (dir.startsWith(prefix))
            return true;
    }
    return QFileInfo::exists(appDir + QStringLiteral("/../share/applications/corvexa-gps.desktop"));
}

QString resolve(const QString& file) {
    return file.isEmpty() ? defaultSettingsFile() : file;
}

} // namespace

QString defaultSettingsFile() {
    const QString fromEnvironment = qEnvironmentVariable("CORVEXA_SETTINGS_FILE");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    if (QCoreApplication::instance()) {
        const QString appDir = QCoreApplication::applicationDirPath();
        if (!appDir.isEmpty() && QFileInfo(appDir).isWritable() && !isInstalled(appDir))
            return appDir + QStringLiteral("/SETTINGS.INI");
    }
    QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (configHome.isEmpty() || QDir::isRelativePath(configHome))
        configHome = QDir::homePath() + QStringLiteral("/.config");
    return configHome + QStringLiteral("/Corvexa/SETTINGS.INI");
}

QString ReadSetting(const QString& section, const QString& key, const QString& file) {
    const auto lines = readLines(resolve(file));
    if (!lines)
        return {};
    const auto range = findSection(*lines, blanksTrimmed(section));
    if (!range)
        return {};
    const QString wanted = blanksTrimmed(key);
    for (qsizetype i = range->first; i < range->second; ++i) {
        const QString& line = lines->at(i);
        if (isKeyLine(line, wanted))
            return cutValue(blanksTrimmed(QStringView(line).mid(line.indexOf(u'=') + 1)));
    }
    return {};
}

bool WriteSetting(const QString& section, const QString& key, const QString& value,
                  const QString& file) {
    const QString name = blanksTrimmed(section);
    const QString wanted = blanksTrimmed(key);
    // Such texts would add or break lines of the file instead of setting one key.
    if (name.isEmpty() || wanted.isEmpty() || hasLineBreakOrNul(section) ||
        hasLineBreakOrNul(key) || hasLineBreakOrNul(value) || name.contains(u']') ||
        wanted.contains(u'=') || wanted.startsWith(u'['))
        return false;

    const QString path = resolve(file);
    QStringList lines;
    if (QFileInfo::exists(path)) {
        auto existing = readLines(path);
        if (!existing)
            return false;
        lines = std::move(*existing);
    }

    const QString record = wanted + u'=' + value;
    if (const auto range = findSection(lines, name)) {
        qsizetype insertAt = range->first;
        bool replaced = false;
        for (qsizetype i = range->first; i < range->second; ++i) {
            if (isKeyLine(lines[i], wanted)) {
                lines[i] = record;
                replaced = true;
                break;
            }
            if (!blanksTrimmed(lines[i]).isEmpty())
                insertAt = i + 1;
        }
        if (!replaced)
            lines.insert(insertAt, record);
    } else {
        lines.append(u'[' + name + u']');
        lines.append(record);
    }

    const QFileInfo info(path);
    if (!QDir().mkpath(info.absolutePath()))
        return false;
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    const QByteArray bytes = (lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8();
    if (out.write(bytes) != bytes.size())
        return false;
    return out.commit();
}

} // namespace settings
