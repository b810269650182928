#include "gpslog/gpxreader.h"

#include "gpslog/xmlsafety.h"

#include <QIODevice>
#include <QXmlStreamReader>

namespace {

bool isGpxNamespace(QStringView uri) {
    return uri.isEmpty() || uri == u"http://www.topografix.com/GPX/1/1" ||
           uri == u"http://www.topografix.com/GPX/1/0";
}

class GpxParse {
public:
    GpxParse(QXmlStreamReader& xml, Track& track) : m_xml(xml), m_track(track) {}

    void run();

private:
    bool isGpx(QStringView name) const {
        return m_xml.name() == name && m_xml.namespaceUri() == m_ns;
    }
    void readPoint(std::vector<TrackPoint>& into);

    QXmlStreamReader& m_xml;
    Track& m_track;
    QString m_ns;
    std::vector<TrackPoint> m_waypoints;
    QString m_text;
};

void GpxParse::run() {
    m_ns = m_xml.namespaceUri().toString();
    while (m_xml.readNextStartElement()) {
        if (isGpx(u"wpt")) {
            readPoint(m_waypoints);
        } else if (isGpx(u"trk") || isGpx(u"rte")) {
            const bool route = m_xml.name() == u"rte";
            m_track.beginSegment();
            while (m_xml.readNextStartElement()) {
                if (route && isGpx(u"rtept")) {
                    readPoint(m_track.points);
                } else if (!route && isGpx(u"trkseg")) {
                    m_track.beginSegment();
                    while (m_xml.readNextStartElement()) {
                        if (isGpx(u"trkpt"))
                            readPoint(m_track.points);
                        else
                            m_xml.skipCurrentElement();
                    }
                    m_track.beginSegment();
                } else {
                    m_xml.skipCurrentElement();
                }
            }
        } else {
            m_xml.skipCurrentElement();
        }
    }
    if (!m_waypoints.empty()) {
        m_track.beginSegment();
        m_track.points.insert(m_track.points.end(), m_waypoints.begin(), m_waypoints.end());
    }
}

void GpxParse::readPoint(std::vector<TrackPoint>& into) {
    TrackPoint point;
    const QXmlStreamAttributes attributes = m_xml.attributes();
    point.latitude = parseDecimal(attributes.value(QLatin1String("lat")));
    point.longitude = parseDecimal(attributes.value(QLatin1String("lon")));
    bool usable = std::abs(point.latitude) <= 90 && std::abs(point.longitude) <= 180;
    // The text of ele and time gathered in one reused buffer: a million points would otherwise
    // allocate two million strings.
    enum class Field { None, Ele, Time } field = Field::None;
    int depth = 0;
    while (!m_xml.atEnd()) {
        switch (m_xml.readNext()) {
        case QXmlStreamReader::StartElement:
            if (depth++ == 0 && isGpx(u"ele"))
                field = Field::Ele;
            else if (depth == 1 && isGpx(u"time"))
                field = Field::Time;
            m_text.clear();
            break;
        case QXmlStreamReader::Characters:
            if (field != Field::None)
                m_text += m_xml.text();
            break;
        case QXmlStreamReader::EndElement:
            if (depth-- == 0) {
                if (usable)
                    into.push_back(point);
                else
                    ++m_track.skipped;
                return;
            }
            if (field == Field::Ele) {
                point.altitude = parseDecimal(m_text);
            } else if (field == Field::Time) {
                point.timeMs = parseIsoTime(m_text);
                usable = usable && point.hasTime();
            }
            field = Field::None;
            break;
        default:
            break;
        }
    }
}

} // namespace

bool GpxReader::parse(QIODevice& device, Track& track) {
    QXmlStreamReader xml(&device);
    if (!readRootElement(xml) || xml.name() != u"gpx" || !isGpxNamespace(xml.namespaceUri())) {
        setError(xml.hasError() ? xml.errorString() : QStringLiteral("not a GPX document"),
                 xml.lineNumber());
        return false;
    }
    GpxParse(xml, track).run();
    readToEnd(xml);
    if (xml.hasError()) {
        setError(xml.errorString(), xml.lineNumber());
        return false;
    }
    track.finish(true);
    return true;
}
