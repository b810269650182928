#include "gpslog/logreader.h"

#include "base/settings.h"
#include "base/textlinereader.h"
#include "gpslog/matching.h"
#include "gpslog/tracklog.h"
#include "photolist/addphotos.h"
#include "photolist/gpslogstate.h"
#include "photolist/photolist.h"

#include <QFileInfo>
#include <algorithm>
#include <vector>

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

bool isFieldBlank(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\u3000' || c == u'\u00A0';
}

bool isComma(QChar c) {
    return c == u',' || c == u'，';
}

QStringView trimmedField(QStringView field) {
    while (!field.isEmpty() && isFieldBlank(field.front()))
        field = field.mid(1);
    while (!field.isEmpty() && isFieldBlank(field.back()))
        field.chop(1);
    return field;
}

// Blanks around the field and inside its quotes go, then the quotes.
QString unquoted(QStringView field) {
    field = trimmedField(field);
    if (field.size() >= 2 && field.front() == u'"' && field.back() == u'"')
        return trimmedField(field.mid(1, field.size() - 2))
            .toString()
            .replace(QLatin1String("\"\""), QLatin1String("\""));
    return field.toString();
}

// Splits at the separators outside quotes, as spreadsheets write CSV: a field that starts with
// '"' runs to the next lone '"' ("" stands for one quote inside). A quote elsewhere is text, so
// 31°13'49.44" stays one field. With mergeRuns, a run of separators counts once and separators
// at both ends give no field.
template <typename IsSeparator>
QStringList splitOutsideQuotes(QStringView line, IsSeparator isSeparator, bool mergeRuns) {
    QStringList fields;
    fields.reserve(6); // name, two coordinates, altitude and a little more, without regrowing
    qsizetype start = 0;
    bool quoted = false;
    bool fieldHasText = false;
    const auto close = [&](qsizetype end) {
        if (!mergeRuns || fieldHasText)
            fields.append(unquoted(line.mid(start, end - start)));
        start = end + 1;
        fieldHasText = false;
    };
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (quoted) {
            if (c == u'"') {
                if (i + 1 < line.size() && line[i + 1] == u'"')
                    ++i;
                else
                    quoted = false;
            }
        } else if (isSeparator(c)) {
            close(i);
        } else if (c == u'"' && !fieldHasText) {
            quoted = true;
            fieldHasText = true;
        } else if (!isFieldBlank(c)) {
            fieldHasText = true;
        }
    }
    close(line.size());
    return fields;
}

bool isHemisphereLetter(const QString& field) {
    return field.size() == 1 && QStringLiteral("NSEWnsew").contains(field.front());
}

bool hasLetter(const QString& field) {
    return std::any_of(field.begin(), field.end(), [](QChar c) { return c.isLetter(); });
}

// "a.jpg 31.2304 N 121.4737 E" and "a.jpg N 31.2304 E 121.4737": a hemisphere letter standing
// alone joins the number it belongs to, after it when that number has no letter yet.
void joinHemisphereLetters(QStringList& fields) {
    for (qsizetype i = 1; i < fields.size(); ++i) {
        if (!isHemisphereLetter(fields.at(i)))
            continue;
        if (i >= 2 && !hasLetter(fields.at(i - 1))) {
            fields[i - 1] += fields.at(i);
            fields.removeAt(i--);
        } else if (i + 1 < fields.size()) {
            fields[i + 1].prepend(fields.at(i));
            fields.removeAt(i--);
        }
    }
}

// The fields of a text log's line: commas (also the full-width "，") when they give three fields
// or more, otherwise tabs, otherwise runs of blanks (U+3000 too).
QStringList textLogFields(const QString& line) {
    QStringList fields;
    if (std::any_of(line.begin(), line.end(), [](QChar c) { return isComma(c); })) {
        // Lambdas rather than function pointers: called per character, they are inlined.
        fields = splitOutsideQuotes(
            line, [](QChar c) { return isComma(c); }, false);
        if (fields.size() >= 3)
            return fields;
    }
    if (line.contains(u'\t')) {
        fields = splitOutsideQuotes(
            line, [](QChar c) { return c == u'\t'; }, false);
        if (fields.size() >= 3)
            return fields;
    }
    fields = splitOutsideQuotes(
        line, [](QChar c) { return isFieldBlank(c); }, true);
    joinHemisphereLetters(fields);
    return fields;
}

// A column title: text without a digit that is no coordinate ("纬度", "Latitude", "lat").
bool isWord(const QString& field) {
    return !field.isEmpty() &&
           std::none_of(field.begin(), field.end(), [](QChar c) { return c.isDigit(); }) &&
           !readCoordinate(field);
}

// The positions of a KML/XML track are its "longitude,latitude[,altitude]" tuples, separated by
// blanks in the text between the tags; the text of any other element (names, descriptions) is
// never a point, and a tag never is either, however many commas or colons it holds. Inside
// <coordinates> a word without a comma is a line the user should hear of, and a tuple that
// cannot be read is a row that says so.
class TrackTupleScanner {
public:
    void scanLine(const LogLine& line, std::vector<LogEntry>& points, bool& unused) {
        unused = false;
        const QString& text = line.text;
        // A line that is a tuple and nothing else is a point wherever it stands.
        const bool bareLine = !m_inTag && !text.contains(u'<') && !text.contains(u'>');
        qsizetype i = 0;
        while (i < text.size()) {
            if (!m_skipUntil.isEmpty()) {
                const qsizetype end = text.indexOf(m_skipUntil, i);
                if (end < 0)
                    return;
                i = end + m_skipUntil.size();
                m_skipUntil.clear();
                continue;
            }
            if (m_inTag) {
                const qsizetype end = text.indexOf(u'>', i);
                if (m_tagName.isNull())
                    m_tagName = text.mid(i, (end < 0 ? text.size() : end) - i);
                if (end < 0)
                    return;
                closeTag();
                i = end + 1;
                continue;
            }
            const qsizetype open = text.indexOf(u'<', i);
            const qsizetype end = open < 0 ? text.size() : open;
            scanText(line, QStringView(text).mid(i, end - i), bareLine, points, unused);
            if (open < 0)
                return;
            // Comments and character data may hold anything, "<coordinates>" too.
            const QStringView rest = QStringView(text).mid(open);
            if (rest.startsWith(u"<!--") || rest.startsWith(u"<![CDATA[")) {
                m_skipUntil =
                    rest.startsWith(u"<!--") ? QStringLiteral("-->") : QStringLiteral("]]>");
                i = open + 4;
                continue;
            }
            m_inTag = true;
            m_tagName = QString();
            i = open + 1;
        }
    }

private:
    void closeTag() {
        m_inTag = false;
        QStringView name(m_tagName);
        const bool closing = name.startsWith(u'/');
        if (closing)
            name = name.mid(1);
        const auto blank =
            std::find_if(name.begin(), name.end(), [](QChar c) { return c.isSpace(); });
        name = name.left(blank - name.begin());
        if (name.endsWith(u'/'))
            return;                              // <coordinates/> holds nothing
        name = name.mid(name.indexOf(u':') + 1); // kml:coordinates
        if (name.compare(u"coordinates", Qt::CaseInsensitive) == 0)
            m_inCoordinates = !closing;
    }

    void scanText(const LogLine& line, QStringView text, bool bareLine,
                  std::vector<LogEntry>& points, bool& unused) const {
        for (const QStringView word : text.split(u' ', Qt::SkipEmptyParts)) {
            for (const QStringView token : word.split(u'\t', Qt::SkipEmptyParts)) {
                const QList<QStringView> values = token.split(u',');
                if (values.size() < 2) {
                    unused = unused || m_inCoordinates;
                    continue;
                }
                LogEntry point =
                    values.size() > 3
                        ? makeLogEntry(line, QString(), token.toString(), QString(), QString())
                        : makeLogEntry(line, QString(), values[0].toString(), values[1].toString(),
                                       values.size() == 3 ? values[2].toString() : QString());
                // Inside <coordinates> a damaged tuple keeps its place as an unreadable row:
                // dropped, it would move every later photo onto its neighbour's point.
                const bool isPoint = point.firstValue && point.secondValue;
                if (m_inCoordinates || (bareLine && isPoint))
                    points.push_back(std::move(point));
            }
        }
    }

    bool m_inTag = false;
    QString m_tagName;
    bool m_inCoordinates = false;
    QString m_skipUntil; // the end of a comment or of character data
};

// What one pass over the log found, before any row is made: the column order can only be told
// from the whole file.
struct LogScan {
    bool isXml = false;
    bool headerSkipped = false;
    std::vector<LogEntry> entries;
    qint64 unusedCount = 0;
    QList<LogLine> unused;
};

void noteUnused(LogScan& scan, const LogLine& line) {
    ++scan.unusedCount;
    if (scan.unused.size() < LogLoadResult::kListedLines)
        scan.unused.append(line);
}

LogScan scanLog(TextLineReader& reader, bool kml) {
    LogScan scan;
    scan.isXml = kml;
    TrackTupleScanner track;
    bool firstLine = true;
    qint64 number = 0;
    while (const std::optional<QString> text = reader.readLine()) {
        const LogLine line{++number, *text};
        if (!scan.isXml && scan.entries.empty() && text->contains(QLatin1String("<?xml")))
            scan.isXml = true;
        if (scan.isXml) {
            bool unused = false;
            track.scanLine(line, scan.entries, unused);
            if (unused)
                noteUnused(scan, line);
            continue;
        }
        if (QStringView(*text).trimmed().isEmpty())
            continue;
        const QStringList fields = textLogFields(*text);
        // A spreadsheet writes its empty rows as ",,,": a blank line all the same.
        if (std::all_of(fields.begin(), fields.end(), [](const QString& f) { return f.isEmpty(); }))
            continue;
        const bool header =
            firstLine && fields.size() >= 3 && isWord(fields.at(1)) && isWord(fields.at(2));
        firstLine = false;
        if (header) {
            scan.headerSkipped = true;
        } else if (fields.size() < 3) {
            noteUnused(scan, line);
        } else {
            // The fields are split from the line again when its row is made (fieldsBack): held
            // for every line of a long log, they would weigh more than the lines themselves.
            scan.entries.push_back(makeLogEntryValues(line, fields.at(1), fields.at(2)));
        }
    }
    return scan;
}

// The fields of a text log's entry, as scanLog split them.
void fieldsBack(LogEntry& entry) {
    entry.fields = textLogFields(entry.line.text);
}

void showOutcome(RoadContext& ctx, const LogLoadResult& result) {
    const int rows = ctx.list.count();
    ctx.view.setEnabled(Control::cmdStart, rows >= 1 && !ctx.log.invalidData);
    ctx.view.setEnabled(Control::cmdToggle, rows > 0);
    ctx.view.setTips(loadTips(result));
}

// The window hides the tips while the invalid-data indicator shows: a message counts the rows
// and names the first, which is selected.
void tellInvalidRows(RoadContext& ctx, const LogLoadResult& result, int firstInvalidRow) {
    if (firstInvalidRow < 0)
        return;
    ctx.view.showRow(firstInvalidRow);
    if (ctx.app.silentMode)
        return;
    const auto earlier = [](const LogLine& a, const LogLine& b) { return a.number < b.number; };
    const LogLine* first = nullptr;
    for (const QList<LogLine>* lines : {&result.unreadable, &result.impossible})
        if (!lines->isEmpty() && (!first || earlier(lines->first(), *first)))
            first = &lines->first();
    if (!first)
        return;
    ctx.view.message(titles::kWarning,
                     QStringLiteral("记录文件中有 %1 行坐标无法识别、%2 行坐标超出范围"
                                    "（第一处在第 %3 行：%4），这些数据不会写入。"
                                    "请修正记录文件或交换经纬度后重试！")
                         .arg(result.unreadable.size())
                         .arg(result.impossible.size())
                         .arg(first->number)
                         .arg(first->text),
                     MessageIcon::Warning);
}

LogLoadResult failUnreadable(RoadContext& ctx) {
    // Rows of a log read only in part would be written as if they were the whole log.
    ctx.list.clear();
    ctx.log.invalidData = false;
    ctx.view.setInvalidDataShown(false);
    LogLoadResult result;
    result.status = LogLoadStatus::Unreadable;
    showOutcome(ctx, result);
    ctx.view.message(titles::kError, logtexts::kUnreadable, MessageIcon::Error);
    return result;
}

} // namespace

bool LogLoadResult::nothingLeftOut() const {
    const bool photosMatchPoints = !isTrack || folderPhotos == rows;
    return leftOut == 0 && unusedCount == 0 && repeats.isEmpty() && photosMatchPoints &&
           undecodableNames == 0;
}

QString loadTips(const LogLoadResult& result) {
    QString tips = result.rows == 0 ? logtexts::kNothingLoaded
                                    : logtexts::kLoadedPrefix + QString::number(result.rows) +
                                          logtexts::kLoadedSuffix;
    if (result.headerSkipped)
        tips += logtexts::kHeader;
    if (result.orderTold) {
        switch (result.order) {
        case ColumnOrder::LongitudeFirst:
            tips += logtexts::kLongitudeFirst;
            break;
        case ColumnOrder::LatitudeFirst:
            tips += logtexts::kLatitudeFirst;
            break;
        case ColumnOrder::Mixed:
            tips += logtexts::kMixedOrder;
            break;
        case ColumnOrder::LineByLine:
            break;
        }
    }
    if (result.unusedCount > 0)
        tips += QStringLiteral("另有 %1 行无法识别，未载入！").arg(result.unusedCount);
    if (!result.unreadable.isEmpty())
        tips += QStringLiteral("%1 行坐标无法识别！").arg(result.unreadable.size());
    if (!result.repeats.isEmpty())
        tips += QStringLiteral("%1 行重复了前面的照片，不会写入！").arg(result.repeats.size());
    if (result.isTrack && result.rows > 0 && result.folderPhotos != result.rows)
        tips += QStringLiteral("轨迹有 %1 个点，文件夹中有 %2 张照片，数量不一致！")
                    .arg(result.rows)
                    .arg(result.folderPhotos);
    if (result.undecodableNames > 0)
        tips += QString::number(result.undecodableNames) + addtexts::kUndecodableSuffix;
    return tips + result.note;
}

// Rows from what the scan found, the folder's images for a track's points, and the outcome.
LogLoadResult loadScannedLog(RoadContext& ctx, LogScan scan, const QString& note) {
    LogLoadResult result;
    result.status = LogLoadStatus::Loaded;
    result.note = note;
    result.isTrack = scan.isXml;
    result.headerSkipped = scan.headerSkipped;
    result.order = scan.isXml ? ColumnOrder::LongitudeFirst : decideColumnOrder(scan.entries);
    result.orderTold = !scan.isXml && (result.order == ColumnOrder::LongitudeFirst ||
                                       result.order == ColumnOrder::Mixed ||
                                       orderChangesSomeLine(scan.entries, result.order));
    result.unusedCount = scan.unusedCount;
    result.unused = std::move(scan.unused);

    LogRowMaker rows(ctx, scan.isXml, result.order);
    ctx.list.reserve(qsizetype(scan.entries.size()));
    for (LogEntry& entry : scan.entries) {
        if (!scan.isXml)
            fieldsBack(entry);
        if (rows.AddLogRecord(entry) == RecordResult::ListFull)
            ++result.leftOut;
        // Its row holds what is shown: the texts of the line go, for the next rows to take
        // their place rather than add to the peak of a long log.
        entry = {};
    }
    result.rows = ctx.list.count();
    result.unreadable = rows.unreadable();
    result.impossible = rows.impossible();
    result.repeats = rows.repeats();

    if (scan.isXml && result.rows > 0) {
        const FolderAssignment assignment = assignFolderPhotos(ctx, ctx.log.logFolder);
        result.folderPhotos = assignment.photos;
        result.undecodableNames = assignment.undecodable;
    }

    ctx.log.batchDone = false;
    showOutcome(ctx, result);
    tellInvalidRows(ctx, result, rows.firstInvalidRow());
    if (result.leftOut > 0) {
        ctx.view.message(titles::kWarning,
                         logtexts::kListFullPrefix + QString::number(result.leftOut) +
                             logtexts::kListFullSuffix,
                         MessageIcon::Warning);
    }
    return result;
}

LogLoadResult loadUntimedTrack(RoadContext& ctx, std::vector<LogEntry> points,
                               const QString& note) {
    LogScan scan;
    scan.isXml = true;
    scan.entries = std::move(points);
    return loadScannedLog(ctx, std::move(scan), note);
}

LogLoadResult LoadGpsLog(RoadContext& ctx, const QString& path) {
    const QString logPath = trimSpaces(path);
    if (logPath.isEmpty() || !QFileInfo(logPath).isFile())
        return {};

    ctx.list.clear();
    ctx.log.invalidData = false;
    ctx.view.setInvalidDataShown(false);

    ctx.log.logFolder = folderOf(logPath);
    settings::WriteSetting(settings::kBatchSetup, kLastFolderKey, ctx.log.logFolder);

    // GPX, KML and NMEA tracks have their own readers; anything else is read line by line.
    const TrackLoad track = loadTrackLog(ctx, logPath);
    if (track.result)
        return *track.result;

    TextLineReader reader(logPath);
    if (!reader.open())
        return failUnreadable(ctx);
    LogScan scan = scanLog(reader, track.kml);
    if (reader.hasError())
        return failUnreadable(ctx);

    return loadScannedLog(ctx, std::move(scan), {});
}

LogLoadResult openLogInImportAction(RoadContext& ctx, const QString& path) {
    ctx.view.setAction(0);
    return LoadGpsLog(ctx, path);
}

bool looksLikeGpsLog(const QString& path) {
    static const QStringList kLogExtensions{"txt", "log", "csv", "tsv", "kml", "xml"};
    if (!kLogExtensions.contains(QFileInfo(path).suffix().toLower()))
        return false;
    TextLineReader reader(path);
    if (!reader.open())
        return false;
    constexpr int kLinesLookedAt = 10;
    int lines = 0;
    while (const std::optional<QString> line = reader.readLine()) {
        if (line->contains(QLatin1String("<?xml")))
            return true;
        if (QStringView(*line).trimmed().isEmpty())
            continue;
        const QStringList fields = textLogFields(*line);
        if (fields.size() >= 3 && readCoordinate(fields.at(1)) && readCoordinate(fields.at(2)))
            return true;
        if (++lines == kLinesLookedAt)
            break;
    }
    return false;
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
