#include "gpslog/logreader.h"

#include "base/settings.h"
#include "base/textlinereader.h"
#include "gpslog/matching.h"
#include "gpslog/tracklog.h"
#include "photolist/addphotos.h"
#include "photolist/gpslogstate.h"
#include "photolist/photolist.h"

#include <QFileInfo>
#include <QRegularExpression>

namespace {

QString trimSpaces(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin) == u' ')
        ++begin;
    while (end > begin && text.at(end - 1) == u' ')
        --end;
    return text.mid(begin, end - begin);
}

// The folder of an existing file, ending in "/". A relative path (from the command line) is taken
// from the working folder, so the photos and "results" are found where the log is.
QString folderOf(const QString& path) {
    return QFileInfo(path).absolutePath() + u'/';
}

QStringList splitLogLine(const QString& line, bool isXml, const QRegularExpression& blanks) {
    QStringList fields = line.split(u',');
    if (isXml) {
        if (fields.size() == 3)
            fields.prepend(QString());
    } else if (fields.size() < 3) {
        // Blanks or tabs between the fields. A run must follow a word character, so blanks at
        // the start of the line stay in the name, and "IMG -31.5" still splits before the "-".
        fields = QString(line).replace(blanks, QStringLiteral("\t")).split(u'\t');
    }
    return fields;
}

void showOutcome(RoadContext& ctx) {
    const int rows = ctx.list.count();
    ctx.view.setEnabled(Control::cmdStart, rows >= 1 && !ctx.log.invalidData);
    ctx.view.setEnabled(Control::cmdToggle, rows > 0);
    ctx.view.setTips(rows == 0 ? logtexts::kNothingLoaded
                               : logtexts::kLoadedPrefix + QString::number(rows) +
                                     logtexts::kLoadedSuffix);
}

LogLoadResult failUnreadable(RoadContext& ctx) {
    // Rows of a log read only in part would be written as if they were the whole log.
    ctx.list.clear();
    ctx.log.invalidData = false;
    ctx.view.setInvalidDataShown(false);
    showOutcome(ctx);
    ctx.view.message(titles::kError, logtexts::kUnreadable, MessageIcon::Error);
    return {LogLoadStatus::Unreadable, 0, 0};
}

} // namespace

LogLoadResult LoadGpsLog(RoadContext& ctx, const QString& path) {
    const QString logPath = trimSpaces(path);
    if (logPath.isEmpty() || !QFileInfo(logPath).isFile())
        return {};

    // Word characters and blanks in the Unicode sense: a name in Chinese characters is a word
    // like any other, so "海边 31.5 121.5" splits, and an ideographic space separates too.
    const QRegularExpression blanks(QStringLiteral("\\b\\s+"),
                                    QRegularExpression::CaseInsensitiveOption |
                                        QRegularExpression::UseUnicodePropertiesOption);

    ctx.list.clear();
    ctx.log.invalidData = false;
    ctx.view.setInvalidDataShown(false);

    ctx.log.logFolder = folderOf(logPath);
    settings::WriteSetting(settings::kBatchSetup, kLastFolderKey, ctx.log.logFolder);

    // GPX, KML and NMEA tracks have their own readers; anything else is read line by line.
    if (const std::optional<LogLoadResult> track = loadTrackLog(ctx, logPath))
        return *track;

    TextLineReader reader(logPath);
    if (!reader.open())
        return failUnreadable(ctx);

    bool isXml = false;
    qint64 leftOut = 0;
    while (const std::optional<QString> line = reader.readLine()) {
        if (!isXml && ctx.list.count() == 0 && line->contains(QLatin1String("<?xml")))
            isXml = true;
        QStringList fields = splitLogLine(*line, isXml, blanks);
        if (AddLogRecord(ctx, fields, isXml) == RecordResult::ListFull)
            ++leftOut;
    }
    if (reader.hasError())
        return failUnreadable(ctx);

    if (isXml && ctx.list.count() > 0) {
        qint32 assigned = 0;
        AddFolderPhotos(ctx, ctx.log.logFolder, assigned, true);
    }

    ctx.log.batchDone = false;
    showOutcome(ctx);
    if (leftOut > 0) {
        ctx.view.message(titles::kWarning,
                         logtexts::kListFullPrefix + QString::number(leftOut) +
                             logtexts::kListFullSuffix,
                         MessageIcon::Warning);
    }
    return {LogLoadStatus::Loaded, ctx.list.count(), leftOut};
}

void openLog(RoadContext& ctx, bool autoExtTicked,
             const std::function<QString(const QString& initialFolder)>& chooseLogFile) {
    ctx.view.setEnabled(Control::cmdOpenLog, false);
    ctx.view.setEnabled(Control::cmdStart, false);
    ctx.view.setEnabled(Control::cmdToggle, false);
    ctx.log.autoSuffix = autoExtTicked;
    const QString initialFolder = settings::ReadSetting(settings::kBatchSetup, kLastFolderKey);
    LoadGpsLog(ctx, chooseLogFile(initialFolder));
    ctx.view.setEnabled(Control::cmdOpenLog, true);
}
