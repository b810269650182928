#pragma once
// Usable log lines to records and rows of the photo list. A text log names its photo in the first
// field, looked up in the log's own folder (exactly, or the one file differing only in letter
// case); a KML/XML track names none, and the folder's images are given to its points afterwards,
// in name order (AddFolderPhotos in assign mode).

#include "base/coordinates.h"
#include "photolist/gpslogrecord.h"
#include "photolist/photolist.h"
#include "road/mainview.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>
#include <unordered_map>
#include <vector>

// Column 0 of a track point that has no photo yet.
inline const QString kNoMatchingPhoto = QStringLiteral("(无对应)");
// The status of a row whose latitude or longitude text is no coordinate.
inline const QString kUnreadableCoordinate = QStringLiteral("坐标无法识别");

// "与第 3 行重复": the status of a row naming the photo of an earlier line (its line number).
QString repeatsLineText(qint64 firstLine);

// Without proof from the whole log, a first coordinate beyond this many degrees cannot be a
// latitude worth trusting, and the line is taken to give the longitude first. 85, not 90: exactly
// 85 keeps the order.
inline constexpr double kLongitudeFirstAbove = 85.0;

// A line of the log as the user sees it in the file.
struct LogLine {
    qint64 number = 0; // from 1
    QString text;
};

// One line of a log that holds a position: its fields without surrounding blanks and quotes.
struct LogEntry {
    LogLine line;
    // name (text logs: the photo's name as written; empty for track points), first and second
    // (the coordinate fields in the order of the line) and altitude (empty when the line gives
    // none), in one list: a long log's entries wait for their rows with the list left empty.
    QStringList fields;
    std::optional<ParsedCoordinate> firstValue, secondValue; // empty when unreadable

    const QString& name() const { return field(0); }
    const QString& first() const { return field(1); }
    const QString& second() const { return field(2); }
    const QString& altitude() const { return field(3); }

private:
    const QString& field(qsizetype i) const;
};

// name, first, second and the optional altitude of a text log's fields (two or more after the
// name); a track tuple passes an empty name and longitude, latitude, altitude.
LogEntry makeLogEntry(LogLine line, const QString& name, const QString& first,
                      const QString& second, const QString& altitude);
// The same with the values alone; fields stays empty, for the caller to fill when needed.
LogEntry makeLogEntryValues(LogLine line, const QString& first, const QString& second);

enum class ColumnOrder {
    LineByLine,     // nothing proves the order: the 85° rule decides each line
    LatitudeFirst,  // some second value is beyond 90°, no first one is
    LongitudeFirst, // some first value is beyond 90°, no second one is (tracks always)
    Mixed,          // lines contradict each other: the 85° rule decides each line
};

// The order the whole text log proves: a value beyond 90° cannot be a latitude.
ColumnOrder decideColumnOrder(const std::vector<LogEntry>& entries);

// Whether entry gives the longitude in its first coordinate field, under order. Hemisphere
// letters decide their own line (N/S name the latitude, E/W the longitude).
bool isLongitudeFirst(const LogEntry& entry, ColumnOrder order);

// True when order reads some entry otherwise than the 85° rule alone would.
bool orderChangesSomeLine(const std::vector<LogEntry>& entries, ColumnOrder order);

// The files below a folder, each sub-folder listed once (a log of 32767 lines would otherwise
// look up every name on its own).
class PhotoFolder {
public:
    explicit PhotoFolder(QString folder);

    // The path below the folder, with "/" and the real names of the file and its sub-folders,
    // of the file that name (separated by "/" or "\") names exactly or, failing that, of the only
    // one whose name differs in letter case alone. Empty when there is none or more than one.
    std::optional<QString> find(const QString& name);

private:
    // Hashing and comparing without regard to letter case, with no lower-case copy of the name.
    struct FoldedHash {
        size_t operator()(const QString& name) const;
    };
    struct FoldedEqual {
        bool operator()(const QString& a, const QString& b) const {
            return a.compare(b, Qt::CaseInsensitive) == 0;
        }
    };
    struct Listing {
        // Every real name, found by any letter case; each with whether it is a folder. One node
        // per name: a folder of 32767 photos costs under 2 MB.
        std::unordered_multimap<QString, bool, FoldedHash, FoldedEqual> byFoldedName;
        // A folder that may be entered but not listed: only exact names can be found in it.
        bool unlisted = false;
    };
    const Listing& listing(const QString& relativeDir);
    std::optional<QString> entryIn(const QString& relativeDir, const QString& part, bool wantDir);

    QString m_folder;
    QHash<QString, Listing> m_listings;
};

enum class RecordResult {
    Added,
    ListFull, // the list already holds PhotoList::kMaxRows rows
};

// True when the record's position cannot be written as a real one: a coordinate that could not be
// read, latitude beyond 90 degrees or longitude beyond 180 (degrees, minutes and seconds together,
// so 90°30′ counts), or negative minutes or seconds, which EXIF's unsigned rationals cannot hold.
bool isImpossiblePosition(const GpsLogRecord& record);

// Makes the rows of one load, in the order of the log.
class LogRowMaker {
public:
    struct Repeat {
        LogLine line;
        qint64 firstLine = 0;
    };

    LogRowMaker(RoadContext& ctx, bool isXml, ColumnOrder order);

    // Appends the row for entry. Text rows: name (".JPG" appended under the auto suffix), latitude,
    // longitude, altitude. A coordinate that cannot be read keeps the log's text and the status
    // "坐标无法识别"; it and an impossible position raise the invalid-data indicator. A photo
    // already named by an earlier line is not written again ("与第 N 行重复", ghosted). Yields once
    // per row.
    RecordResult AddLogRecord(const LogEntry& entry);

    const QList<LogLine>& unreadable() const { return m_unreadable; }
    const QList<LogLine>& impossible() const { return m_impossible; }
    const QList<Repeat>& repeats() const { return m_repeats; }
    // The first row holding invalid data; -1 when none does.
    int firstInvalidRow() const { return m_firstInvalidRow; }

private:
    QString lookUp(const QString& name, bool& found);
    // Unreadable, impossible or repeated: noted, and the row says so.
    void noteProblems(const LogEntry& entry, PhotoRow& row);

    RoadContext& m_ctx;
    const bool m_isXml;
    const ColumnOrder m_order;
    PhotoFolder m_photos;
    QHash<QString, qint64> m_lineOfPhoto; // found path -> first line naming it
    QList<LogLine> m_unreadable;
    QList<LogLine> m_impossible;
    QList<Repeat> m_repeats;
    int m_firstInvalidRow = -1;
};
