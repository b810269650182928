#include "gpslog/matching.h"

#include "base/vbnum.h"
#include "photolist/addphotos.h"
#include "photolist/gpslogstate.h"
#include "photolist/photolist.h"

#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <utility>

namespace {

constexpr double kLatitudeLimit = 90.0;

bool impossible(const Dms& c, double limit) {
    if (c.min < 0 || !std::isfinite(c.sec) || c.sec < 0.0f)
        return true;
    const double magnitude = std::abs(c.deg) + c.min / 60.0 + c.sec / 3600.0;
    return magnitude > limit;
}

bool beyondLatitude(const std::optional<ParsedCoordinate>& value) {
    return value && std::fabs(dmsToDecimal(value->dms)) > kLatitudeLimit;
}

// The order the hemisphere letters of a line give, if they give one.
std::optional<bool> longitudeFirstByLetters(const LogEntry& entry) {
    const Axis first = entry.firstValue ? entry.firstValue->axis : Axis::Any;
    const Axis second = entry.secondValue ? entry.secondValue->axis : Axis::Any;
    if (first == Axis::Longitude || second == Axis::Latitude)
        return true;
    if (first == Axis::Latitude || second == Axis::Longitude)
        return false;
    return std::nullopt;
}

// The stored coordinate of a value read for axis; a letter of the other axis makes it unreadable.
std::optional<Dms> onAxis(const std::optional<ParsedCoordinate>& value, Axis axis) {
    if (!value || (value->axis != Axis::Any && value->axis != axis))
        return std::nullopt;
    return value->dms;
}

// Stores the altitude field in record (or notes that there is none) and returns its text.
QString takeAltitude(const QString& field, GpsLogRecord& record) {
    const std::optional<double> altitude = field.isEmpty() ? std::nullopt : vbnum::toDouble(field);
    // An altitude beyond single precision would be written as a failed rational.
    if (!altitude || !std::isfinite(static_cast<float>(*altitude))) {
        record.noAltitude = true;
        return {};
    }
    record.altitude = static_cast<float>(*altitude);
    return vbnum::fixed2(*altitude) + u'm';
}

} // namespace

QString repeatsLineText(qint64 firstLine) {
    return QStringLiteral("与第 %1 行重复").arg(firstLine);
}

const QString& LogEntry::field(qsizetype i) const {
    static const QString none;
    return i < fields.size() ? fields.at(i) : none;
}

LogEntry makeLogEntry(LogLine line, const QString& name, const QString& first,
                      const QString& second, const QString& altitude) {
    LogEntry entry = makeLogEntryValues(std::move(line), first, second);
    entry.fields = {name, first, second, altitude};
    return entry;
}

LogEntry makeLogEntryValues(LogLine line, const QString& first, const QString& second) {
    LogEntry entry;
    entry.line = std::move(line);
    entry.firstValue = readCoordinate(first);
    entry.secondValue = readCoordinate(second);
    return entry;
}

ColumnOrder decideColumnOrder(const std::vector<LogEntry>& entries) {
    bool firstBeyond = false;
    bool secondBeyond = false;
    for (const LogEntry& entry : entries) {
        firstBeyond = firstBeyond || beyondLatitude(entry.firstValue);
        secondBeyond = secondBeyond || beyondLatitude(entry.secondValue);
    }
    if (firstBeyond && secondBeyond)
        return ColumnOrder::Mixed;
    if (firstBeyond)
        return ColumnOrder::LongitudeFirst;
    if (secondBeyond)
        return ColumnOrder::LatitudeFirst;
    return ColumnOrder::LineByLine;
}

bool isLongitudeFirst(const LogEntry& entry, ColumnOrder order) {
    if (const auto byLetters = longitudeFirstByLetters(entry))
        return *byLetters;
    switch (order) {
    case ColumnOrder::LatitudeFirst:
        return false;
    case ColumnOrder::LongitudeFirst:
        return true;
    case ColumnOrder::LineByLine:
    case ColumnOrder::Mixed:
        break;
    }
    return entry.firstValue &&
           std::fabs(dmsToDecimal(entry.firstValue->dms)) > kLongitudeFirstAbove;
}

bool orderChangesSomeLine(const std::vector<LogEntry>& entries, ColumnOrder order) {
    return std::any_of(entries.begin(), entries.end(), [order](const LogEntry& entry) {
        return isLongitudeFirst(entry, order) != isLongitudeFirst(entry, ColumnOrder::LineByLine);
    });
}

size_t PhotoFolder::FoldedHash::operator()(const QString& name) const {
    size_t hash = 1469598103934665603ull; // FNV-1a
    for (const QChar c : name) {
        const char16_t u = c.unicode();
        const char16_t folded =
            u < 0x80 ? (u >= u'A' && u <= u'Z' ? u + 32 : u) : c.toCaseFolded().unicode();
        hash = (hash ^ folded) * 1099511628211ull;
    }
    return hash;
}

PhotoFolder::PhotoFolder(QString folder) : m_folder(std::move(folder)) {}

const PhotoFolder::Listing& PhotoFolder::listing(const QString& relativeDir) {
    const auto cached = m_listings.constFind(relativeDir);
    if (cached != m_listings.constEnd())
        return *cached;
    Listing listing;
    const std::vector<FolderEntry> entries = listFolder(m_folder + relativeDir);
    listing.byFoldedName.reserve(std::size_t(entries.size()));
    for (const FolderEntry& entry : entries)
        listing.byFoldedName.emplace(entry.name, entry.isDir);
    listing.unlisted =
        listing.byFoldedName.empty() && !QFileInfo(m_folder + relativeDir).isReadable();
    return *m_listings.emplace(relativeDir, std::move(listing));
}

std::optional<QString> PhotoFolder::entryIn(const QString& relativeDir, const QString& part,
                                            bool wantDir) {
    const Listing& entries = listing(relativeDir);
    if (entries.unlisted) {
        const QFileInfo info(m_folder + relativeDir + part);
        if (wantDir ? info.isDir() : info.isFile())
            return part;
        return std::nullopt;
    }
    const auto [first, last] = entries.byFoldedName.equal_range(part);
    std::optional<QString> found;
    int candidates = 0;
    for (auto it = first; it != last; ++it) {
        const auto& [name, isDir] = *it;
        if (isDir != wantDir)
            continue;
        if (name == part)
            return part;
        found = name;
        ++candidates;
    }
    // "a.jpg" and "A.JPG" both differ from "A.jpg" in case alone: neither is taken.
    return candidates == 1 ? found : std::nullopt;
}

std::optional<QString> PhotoFolder::find(const QString& name) {
    const bool inSubFolder = name.contains(u'/') || name.contains(u'\\');
    if (!inSubFolder && name != u"." && name != u"..")
        return name.isEmpty() ? std::nullopt : entryIn(QString(), name, false);
    const QString path = QString(name).replace(u'\\', u'/');
    const QStringList parts = path.split(u'/', Qt::SkipEmptyParts);
    if (parts.isEmpty())
        return std::nullopt;
    // "." and ".." have no entry of their own; such a name is looked up as written.
    if (parts.contains(QStringLiteral(".")) || parts.contains(QStringLiteral(".."))) {
        if (QFileInfo(m_folder + path).isFile())
            return path;
        return std::nullopt;
    }
    QString found;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const bool wantDir = i + 1 < parts.size();
        const std::optional<QString> real = entryIn(found, parts.at(i), wantDir);
        if (!real)
            return std::nullopt;
        found += *real;
        if (wantDir)
            found += u'/';
    }
    return found;
}

bool isImpossiblePosition(const GpsLogRecord& record) {
    return record.coordinatesUnreadable || impossible(record.lat, kLatitudeLimit) ||
           impossible(record.lon, 180.0);
}

LogRowMaker::LogRowMaker(RoadContext& ctx, bool isXml, ColumnOrder order)
    : m_ctx(ctx), m_isXml(isXml), m_order(order), m_photos(ctx.log.logFolder) {}

RecordResult LogRowMaker::AddLogRecord(const LogEntry& entry) {
    if (m_ctx.list.isFull())
        return RecordResult::ListFull;

    const bool longitudeFirst = m_isXml || isLongitudeFirst(entry, m_order);
    const QString& latText = longitudeFirst ? entry.second() : entry.first();
    const QString& lonText = longitudeFirst ? entry.first() : entry.second();
    const auto lat = onAxis(longitudeFirst ? entry.secondValue : entry.firstValue, Axis::Latitude);
    const auto lon = onAxis(longitudeFirst ? entry.firstValue : entry.secondValue, Axis::Longitude);

    PhotoRow row;
    GpsLogRecord& record = row.record;
    QString shownName = kNoMatchingPhoto;
    if (!m_isXml) {
        shownName = entry.name();
        if (m_ctx.log.autoSuffix && !shownName.contains(u'.'))
            shownName += QStringLiteral(".JPG");
        record.fileName = lookUp(shownName, record.fileExists);
        if (record.fileExists)
            shownName = record.fileName;
    }
    record.lat = lat.value_or(Dms{});
    record.lon = lon.value_or(Dms{});
    record.coordinatesUnreadable = !lat || !lon;
    const QString altitudeShown = takeAltitude(entry.altitude(), record);

    row.texts[ColFileName] = shownName;
    row.texts[ColLatitude] = lat ? latitudeText(record.lat) : latText;
    row.texts[ColLongitude] = lon ? longitudeText(record.lon) : lonText;
    row.texts[ColAltitude] = altitudeShown;
    row.texts[ColStatus] = !m_isXml && record.fileExists ? status::kPending : status::kNotFound;
    row.icon = RowIcon::New;
    row.ghosted = !record.fileExists;

    noteProblems(entry, row);

    const int index = m_ctx.list.append(std::move(row));
    if (isImpossiblePosition(m_ctx.list.record(index))) {
        if (m_firstInvalidRow < 0)
            m_firstInvalidRow = index;
        if (!m_ctx.log.invalidData) {
            m_ctx.log.invalidData = true;
            m_ctx.view.setInvalidDataShown(true);
        }
    }
    m_ctx.view.yield();
    return RecordResult::Added;
}

void LogRowMaker::noteProblems(const LogEntry& entry, PhotoRow& row) {
    const GpsLogRecord& record = row.record;
    if (record.coordinatesUnreadable) {
        row.texts[ColStatus] = kUnreadableCoordinate;
        row.icon = RowIcon::Failed;
        m_unreadable.append(entry.line);
    } else if (isImpossiblePosition(record)) {
        m_impossible.append(entry.line);
    } else if (record.fileExists) {
        // Judged on the file found, so "a.jpg" and "A.JPG" may be one photo: its copy would be
        // written twice, the later row silently replacing the earlier one.
        const auto first = m_lineOfPhoto.constFind(record.fileName);
        if (first == m_lineOfPhoto.constEnd()) {
            m_lineOfPhoto.insert(record.fileName, entry.line.number);
        } else {
            row.texts[ColStatus] = repeatsLineText(*first);
            row.ghosted = true;
            m_repeats.append({entry.line, *first});
        }
    }
}

QString LogRowMaker::lookUp(const QString& name, bool& found) {
    const std::optional<QString> real = m_photos.find(name);
    found = real.has_value();
    return found ? *real : QString(name).replace(u'\\', u'/');
}
