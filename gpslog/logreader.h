#pragma once
// Reading a GPS log into the photo list: a text log (one photo, latitude, longitude and optional
// altitude per line, separated by commas, tabs or blanks, as spreadsheets write CSV) or a KML/XML
// track (longitude,latitude[,altitude] tuples in the text between its tags, the folder's images
// given to the points in name order). The two are told apart by content: a "<?xml" line before
// the first row makes a track.

#include "gpslog/matching.h"
#include "road/mainview.h"

#include <QString>
#include <functional>
#include <vector>

// The open-log dialog, as the window shows it.
namespace openlogdialog {
inline const QString kTitle = QStringLiteral("选择记录文件");
// "name|patterns|name|patterns|..."; the first pair is shown first.
inline const QString kFilter =
    QStringLiteral("全部可读文件 (*.txt;*.log;*.csv;*.tsv;*.kml;*.xml;*.gpx;*.nmea)|"
                   "*.txt;*.log;*.csv;*.tsv;*.kml;*.xml;*.gpx;*.nmea|"
                   "文本文件 (*.txt;*.log;*.csv;*.tsv)|*.txt;*.log;*.csv;*.tsv|"
                   "KML文件 (*.kml;*.xml)|*.kml;*.xml|"
                   "GPS 轨迹 (*.gpx;*.nmea)|*.gpx;*.nmea|"
                   "所有文件 (*.*)|*.*");
inline constexpr int kFilterIndex = 0;
} // namespace openlogdialog

// The setting of section "BatchSetup" that remembers the folder of the last log or addition.
inline const QString kLastFolderKey = QStringLiteral("LastFolder");

namespace logtexts {
inline const QString kNothingLoaded = QStringLiteral("未找到可添加的数据！");
inline const QString kLoadedPrefix = QStringLiteral("共载入");
inline const QString kLoadedSuffix = QStringLiteral("条数据！");
inline const QString kUnreadable = QStringLiteral("无法读取记录文件！");
// The 16-bit row count is full; the number of lines left out goes between the two parts.
inline const QString kListFullPrefix = QStringLiteral("列表最多容纳 32767 条数据，记录文件中另有 ");
inline const QString kListFullSuffix = QStringLiteral(" 条数据未载入！");
inline const QString kHeader = QStringLiteral("第 1 行为表头，未载入。");
inline const QString kLongitudeFirst =
    QStringLiteral("记录文件中有超过 90° 的首列坐标，已按经度在前读取。");
inline const QString kLatitudeFirst =
    QStringLiteral("记录文件中有超过 90° 的次列坐标，已按纬度在前读取。");
inline const QString kMixedOrder =
    QStringLiteral("记录文件的经纬度顺序前后不一，已逐行判断，请核对！");
} // namespace logtexts

enum class LogLoadStatus {
    NoSuchFile, // empty path or not an existing file: nothing was changed
    Unreadable, // the file could not be read: the list is left empty, the user was told
    Loaded,     // the list holds the log's rows (possibly none)
};

struct LogLoadResult {
    LogLoadStatus status = LogLoadStatus::NoSuchFile;
    int rows = 0;
    // Usable lines beyond the list's 32767 rows; the user was told their number.
    qint64 leftOut = 0;
    bool isTrack = false;
    bool headerSkipped = false; // the first line named the columns
    ColumnOrder order = ColumnOrder::LineByLine;
    // The user hears of the order when it is not the usual one or overrules the 85° rule.
    bool orderTold = false;
    // Non-blank lines that gave no row (markup of a track aside), the first kListedLines of them.
    qint64 unusedCount = 0;
    QList<LogLine> unused;
    QList<LogLine> unreadable; // rows whose coordinates could not be read
    QList<LogLine> impossible; // rows beyond 90°/180°
    QList<LogRowMaker::Repeat> repeats;
    // Tracks: the images of the folder, and those whose names cannot be decoded (they keep
    // their place and their point, unused).
    int folderPhotos = 0;
    int undecodableNames = 0;
    // What a track's reader left out (points without a readable time, refused NMEA sentences).
    QString note;

    static constexpr int kListedLines = 20;
    // Every line of the log became a row of its own and every image of a track's folder has a
    // point: nothing was left out, repeated or left over.
    bool nothingLeftOut() const;
};

// The tips text of a load: the count, then what was left out or decided ("共载入12条数据！…").
QString loadTips(const LogLoadResult& result);

// Replaces the list with the log at path (blanks around it ignored): clears the list and the
// invalid-data indicator, makes the log's folder LogFolder and "LastFolder", appends one row per
// usable line, assigns the folder's images to a track's points, sets batchDone false, enables
// cmdStart (rows and no invalid data) and cmdToggle (rows), and sets the tips text. Rows with
// invalid data: the first is shown and, in the window, a message counts them. Lines are read as
// UTF-8, or GB18030 when the file is not valid UTF-8; numbers always use ".".
LogLoadResult LoadGpsLog(RoadContext& ctx, const QString& path);

// The rows of an untimed track whose reader already found its points (GPX, NMEA, KML read as
// XML): each point a "longitude,latitude[,altitude]" tuple, the folder's images given to them in
// name order, exactly as a KML/XML log's tuples are; note is added to the tips.
LogLoadResult loadUntimedTrack(RoadContext& ctx, std::vector<LogEntry> points, const QString& note);

// A log handed over from outside (command line, desktop entry, a drop): the window switches to the
// import action first, as if the user had chosen it, then loads the log.
LogLoadResult openLogInImportAction(RoadContext& ctx, const QString& path);

// True when the file at path is a position log rather than a list of photo names: its name ends
// in .txt, .log, .csv, .tsv, .kml or .xml, and before its tenth non-blank line it declares XML or
// holds a line whose second and third fields are both coordinates.
bool looksLikeGpsLog(const QString& path);

// cmdOpenLog_Click without its dialog: disables cmdOpenLog, cmdStart and cmdToggle, takes the auto
// suffix from chkAutoExt, asks chooseLogFile (given the "LastFolder" setting, empty when unset)
// for a log and loads it, then enables cmdOpenLog. A cancelled dialog (empty answer) leaves the
// list as it was, with cmdStart and cmdToggle disabled.
void openLog(RoadContext& ctx, bool autoExtTicked,
             const std::function<QString(const QString& initialFolder)>& chooseLogFile);
