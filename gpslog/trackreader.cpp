#include "gpslog/trackreader.h"

#include "gpslog/gpxreader.h"
#include "gpslog/kmlreader.h"
#include "gpslog/nmeareader.h"

#include <QFile>
#include <memory>

namespace {

constexpr qint64 kSniffBytes = 4096;

// The local name of the first element, past the declaration, comments and document type.
QByteArray rootElementName(const QByteArray& head) {
    qsizetype i = head.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    while (i < head.size()) {
        const qsizetype open = head.indexOf('<', i);
        if (open < 0 || open + 1 >= head.size())
            return {};
        const char next = head[open + 1];
        if (next == '?' || next == '!') {
            const QByteArray close = head.mid(open, 4) == "<!--" ? "-->" : ">";
            const qsizetype end = head.indexOf(close, open + 2);
            if (end < 0)
                return {};
            i = end + close.size();
            continue;
        }
        qsizetype end = open + 1;
        while (end < head.size() && !QByteArrayView(" \t\r\n/>").contains(head[end]))
            ++end;
        QByteArray name = head.mid(open + 1, end - open - 1);
        const qsizetype colon = name.indexOf(':');
        return colon < 0 ? name : name.mid(colon + 1);
    }
    return {};
}

} // namespace

TrackFormat sniffTrackFormat(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return TrackFormat::None;
    const QByteArray head = file.read(kSniffBytes);
    const QByteArray root = rootElementName(head);
    if (root == "gpx")
        return TrackFormat::Gpx;
    if (root == "kml")
        return TrackFormat::Kml;
    return looksLikeNmea(head) ? TrackFormat::Nmea : TrackFormat::None;
}

TrackFile readTrackFile(const QString& path) {
    TrackFile result;
    result.format = sniffTrackFormat(path);
    std::unique_ptr<TrackReader> reader;
    switch (result.format) {
    case TrackFormat::Gpx:
        reader = std::make_unique<GpxReader>();
        break;
    case TrackFormat::Kml:
        reader = std::make_unique<KmlReader>();
        break;
    case TrackFormat::Nmea:
        reader = std::make_unique<NmeaReader>();
        break;
    case TrackFormat::None:
        return result;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.errorString = file.errorString();
        return result;
    }
    result.ok = reader->parse(file, result.track) && file.error() == QFileDevice::NoError;
    if (!result.ok) {
        result.errorString = reader->errorString();
        result.errorLine = reader->errorLine();
    }
    if (const auto* nmea = dynamic_cast<const NmeaReader*>(reader.get())) {
        result.badChecksums = nmea->badChecksums();
        result.invalidFixes = nmea->invalidFixes();
    }
    return result;
}
