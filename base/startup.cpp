#include "base/startup.h"

#include "base/settings.h"
#include "base/vbnum.h"

#include <QDir>
#include <QFileInfo>
#include <QProcessEnvironment>

namespace {

const QString kVersionRecord = QStringLiteral("Corvexa/Corvexa.conf");

// Strips the quotes a launcher may have left around a path; false for an unpaired quote.
bool unquote(QString& text) {
    text = text.trimmed().replace(QLatin1Char('\''), QLatin1Char('"'));
    const qsizetype first = text.indexOf(QLatin1Char('"'));
    if (first < 0)
        return true;
    const qsizetype second = text.indexOf(QLatin1Char('"'), first + 1);
    if (second < 0)
        return false;
    text = text.mid(first + 1, second - first - 1).trimmed();
    return true;
}

QStringList configFolders(const QString& appDir) {
    const auto env = QProcessEnvironment::systemEnvironment();
    QString user = env.value(QStringLiteral("XDG_CONFIG_HOME"));
    if (user.isEmpty())
        user = QDir::homePath() + QStringLiteral("/.config");
    QStringList folders{user, QDir::cleanPath(appDir + QStringLiteral("/../etc/xdg"))};
    QString system = env.value(QStringLiteral("XDG_CONFIG_DIRS"));
    if (system.isEmpty())
        system = QStringLiteral("/etc/xdg");
    folders += system.split(QLatin1Char(':'), Qt::SkipEmptyParts);
    return folders;
}

bool isTimeOption(const QString& argument) {
    return argument.startsWith(QLatin1String("--tz=")) ||
           argument.startsWith(QLatin1String("--clock=")) ||
           argument.startsWith(QLatin1String("--max-gap="));
}

bool readTimeOption(const QString& argument, TimeOverrides& time) {
    const QString value = argument.section(u'=', 1);
    if (argument.startsWith(QLatin1String("--tz="))) {
        time.cameraZoneMinutes = timesettings::parseZone(value);
        return time.cameraZoneMinutes.has_value();
    }
    if (argument.startsWith(QLatin1String("--clock="))) {
        time.clockSeconds = timesettings::parseClock(value);
        return time.clockSeconds.has_value();
    }
    time.maxGapSeconds = timesettings::parseMaxGap(value);
    return time.maxGapSeconds.has_value();
}

} // namespace

CommandLine parseCommandLine(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return parseCommandLine(arguments);
}

CommandLine parseCommandLine(const QStringList& arguments) {
    CommandLine result;
    if (!arguments.isEmpty() && arguments.first() == QLatin1String("--export")) {
        result.exportMode = true;
        result.exportArguments = arguments.mid(1);
        return result;
    }
    bool havePath = false;
    for (const QString& argument : arguments) {
        const QString trimmed = argument.trimmed();
        if (trimmed.compare(QLatin1String("-silent"), Qt::CaseInsensitive) == 0) {
            result.silent = true;
        } else if (trimmed == QLatin1String("--help") || trimmed == QLatin1String("-h")) {
            result.help = true;
        } else if (trimmed == QLatin1String("--version")) {
            result.version = true;
        } else if (isTimeOption(trimmed)) {
            if (!readTimeOption(trimmed, result.time))
                result.malformed = true;
        } else if (!havePath) {
            havePath = true;
            QString path = trimmed;
            if (!unquote(path))
                result.malformed = true;
            else
                result.logPath = path;
        }
    }
    return result;
}

QString readEditorVersion(const QString& appDir) {
    for (const QString& folder : configFolders(appDir)) {
        const QString file = folder + QLatin1Char('/') + kVersionRecord;
        if (!QFileInfo(file).isFile())
            continue;
        const QString value =
            settings::ReadSetting(QStringLiteral("AppInfo"), QStringLiteral("EditorVersion"), file);
        if (!value.isEmpty())
            return value;
    }
    return QStringLiteral("0");
}

bool editorVersionAccepted(const QString& versionText) {
    return vbnum::leadingValue(versionText) >= kMinimumEditorVersion;
}
