#include "gpslog/kmlreader.h"

#include "gpslog/xmlsafety.h"

#include <QIODevice>
#include <QXmlStreamReader>
#include <algorithm>

namespace {

const QString kGxNamespace = QStringLiteral("http://www.google.com/kml/ext/2.2");

bool isKmlNamespace(QStringView uri) {
    return uri.isEmpty() || uri.startsWith(u"http://www.opengis.net/kml/") ||
           uri.startsWith(u"http://earth.google.com/kml/");
}

bool isSpace(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}

// The white-space separated words of text.
template <typename F> void forEachWord(QStringView text, F&& f) {
    qsizetype i = 0;
    while (i < text.size()) {
        while (i < text.size() && isSpace(text[i]))
            ++i;
        const qsizetype start = i;
        while (i < text.size() && !isSpace(text[i]))
            ++i;
        if (i > start)
            f(text.mid(start, i - start));
    }
}

// "lon,lat" or "lon,lat,alt" (a gx:coord's words joined by commas read the same way).
bool readTuple(QStringView tuple, TrackPoint& point) {
    const qsizetype first = tuple.indexOf(u',');
    if (first < 0)
        return false;
    const qsizetype second = tuple.indexOf(u',', first + 1);
    point.longitude = parseDecimal(tuple.left(first));
    point.latitude =
        parseDecimal(second < 0 ? tuple.mid(first + 1) : tuple.mid(first + 1, second - first - 1));
    point.altitude =
        second < 0 ? std::numeric_limits<double>::quiet_NaN() : parseDecimal(tuple.mid(second + 1));
    return !std::isnan(point.latitude) && !std::isnan(point.longitude);
}

class KmlParse {
public:
    KmlParse(QXmlStreamReader& xml, Track& track) : m_xml(xml), m_track(track) {}

    void run();

private:
    bool isKml(QStringView name) const {
        return m_xml.name() == name && m_xml.namespaceUri() == m_ns;
    }
    bool isGx(QStringView name) const {
        return m_xml.name() == name && m_xml.namespaceUri() == kGxNamespace;
    }
    void readPlacemark();
    void readCoordinates(std::vector<TrackPoint>& into);
    void readTimeStamp(qint64& time, bool& unreadable);
    void readGxTrack();

    QXmlStreamReader& m_xml;
    Track& m_track;
    QString m_ns;
    std::vector<TrackPoint> m_timedPlacemarks;
};

void KmlParse::run() {
    m_ns = m_xml.namespaceUri().toString();
    int depth = 0;
    while (!m_xml.atEnd()) {
        const auto token = m_xml.readNext();
        if (token == QXmlStreamReader::EndElement) {
            if (depth-- == 0)
                break;
        } else if (token == QXmlStreamReader::StartElement) {
            if (isKml(u"Placemark")) {
                readPlacemark();
            } else if (isGx(u"Track") || isKml(u"Track")) {
                readGxTrack();
            } else if (isKml(u"coordinates")) {
                m_track.beginSegment();
                readCoordinates(m_track.points);
            } else {
                ++depth;
            }
        }
    }
    if (!m_timedPlacemarks.empty()) {
        m_track.beginSegment();
        m_track.points.insert(m_track.points.end(), m_timedPlacemarks.begin(),
                              m_timedPlacemarks.end());
    }
}

// A placemark's geometry takes its TimeStamp, which may stand before or after it.
void KmlParse::readPlacemark() {
    std::vector<TrackPoint> geometry;
    std::vector<size_t> starts;
    qint64 time = kNoTime;
    bool unreadableTime = false;
    int depth = 0;
    while (!m_xml.atEnd()) {
        const auto token = m_xml.readNext();
        if (token == QXmlStreamReader::EndElement) {
            if (depth-- == 0)
                break;
        } else if (token == QXmlStreamReader::StartElement) {
            if (isKml(u"TimeStamp")) {
                readTimeStamp(time, unreadableTime);
            } else if (isGx(u"Track") || isKml(u"Track")) {
                readGxTrack();
            } else if (isKml(u"coordinates")) {
                starts.push_back(geometry.size());
                readCoordinates(geometry);
            } else {
                ++depth;
            }
        }
    }
    if (unreadableTime) {
        m_track.skipped += qint64(geometry.size());
        return;
    }
    if (time != kNoTime) {
        for (TrackPoint& point : geometry) {
            point.timeMs = time;
            m_timedPlacemarks.push_back(point);
        }
        return;
    }
    for (size_t i = 0; i < geometry.size(); ++i) {
        if (std::find(starts.begin(), starts.end(), i) != starts.end())
            m_track.beginSegment();
        m_track.points.push_back(geometry[i]);
    }
}

void KmlParse::readCoordinates(std::vector<TrackPoint>& into) {
    const QString text = m_xml.readElementText(QXmlStreamReader::SkipChildElements);
    forEachWord(text, [&](QStringView tuple) {
        TrackPoint point;
        if (readTuple(tuple, point))
            into.push_back(point);
        else
            ++m_track.skipped;
    });
}

void KmlParse::readTimeStamp(qint64& time, bool& unreadable) {
    while (m_xml.readNextStartElement()) {
        if (isKml(u"when")) {
            time = parseIsoTime(m_xml.readElementText(QXmlStreamReader::SkipChildElements));
            unreadable = time == kNoTime;
        } else {
            m_xml.skipCurrentElement();
        }
    }
}

// <when> and <gx:coord> come as two lists of equal length; the i-th time goes with the i-th coord.
void KmlParse::readGxTrack() {
    std::vector<qint64> times;
    std::vector<TrackPoint> coords;
    std::vector<bool> coordUsable;
    while (m_xml.readNextStartElement()) {
        if (isKml(u"when")) {
            times.push_back(
                parseIsoTime(m_xml.readElementText(QXmlStreamReader::SkipChildElements)));
        } else if (isGx(u"coord") || isKml(u"coord")) {
            const QString text = m_xml.readElementText(QXmlStreamReader::SkipChildElements);
            QString joined;
            forEachWord(text, [&](QStringView word) {
                if (!joined.isEmpty())
                    joined += u',';
                joined += word;
            });
            TrackPoint point;
            coordUsable.push_back(readTuple(joined, point));
            coords.push_back(point);
        } else {
            m_xml.skipCurrentElement();
        }
    }
    m_track.beginSegment();
    const size_t pairs = std::min(times.size(), coords.size());
    m_track.skipped += qint64(std::max(times.size(), coords.size()) - pairs);
    for (size_t i = 0; i < pairs; ++i) {
        if (times[i] == kNoTime || !coordUsable[i]) {
            ++m_track.skipped;
            continue;
        }
        coords[i].timeMs = times[i];
        m_track.points.push_back(coords[i]);
    }
    m_track.beginSegment();
}

} // namespace

bool KmlReader::parse(QIODevice& device, Track& track) {
    QXmlStreamReader xml(&device);
    if (!readRootElement(xml) || xml.name() != u"kml" || !isKmlNamespace(xml.namespaceUri())) {
        setError(xml.hasError() ? xml.errorString() : QStringLiteral("not a KML document"),
                 xml.lineNumber());
        return false;
    }
    KmlParse(xml, track).run();
    readToEnd(xml);
    if (xml.hasError()) {
        setError(xml.errorString(), xml.lineNumber());
        return false;
    }
    track.finish(false);
    return true;
}
