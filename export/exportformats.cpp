#include "export/exportformats.h"

#include "base/coordinates.h"
#include "base/vbnum.h"

#include <algorithm>
#include <cstdio>

namespace exportformats {
namespace {

// RFC 4180: a field holding the separator, a quote or a line break is quoted, quotes doubled.
QString csvField(const QString& field) {
    if (!field.contains(u',') && !field.contains(u'"') && !field.contains(u'\r') &&
        !field.contains(u'\n'))
        return field;
    QString quoted = field;
    quoted.replace(u'"', QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

QString coordinateText(double value, bool latitude, CoordinateForm form) {
    if (form == CoordinateForm::Dms) {
        if (const auto dms = decimalToDms(value))
            return latitude ? latitudeText(*dms) : longitudeText(*dms);
    }
    return vbnum::generalDouble(value);
}

// xsd:decimal, as GPX wants its numbers: no exponent, nine decimals at most (well under a
// millimetre), no trailing zeros.
QString gpxDecimal(double value) {
    char text[400];
    int length = std::snprintf(text, sizeof text, "%.9f", value);
    if (length <= 0 || length >= int(sizeof text))
        return QStringLiteral("0");
    while (text[length - 1] == '0')
        --length;
    if (text[length - 1] == '.')
        --length;
    if (length == 2 && text[0] == '-' && text[1] == '0')
        return QStringLiteral("0");
    return QString::fromLatin1(text, length);
}

// Element text: the markup characters escaped, and the characters XML 1.0 cannot hold at all
// (control characters, unpaired surrogates) left out.
QString xmlText(const QString& text) {
    const bool plain = std::all_of(text.begin(), text.end(), [](QChar c) {
        return c.unicode() >= 0x20 && c.unicode() < 0xd800 && c != u'&' && c != u'<' && c != u'>';
    });
    if (plain)
        return text;
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            out += c;
            out += text.at(++i);
        } else if (c == u'&') {
            out += QStringLiteral("&amp;");
        } else if (c == u'<') {
            out += QStringLiteral("&lt;");
        } else if (c == u'>') {
            out += QStringLiteral("&gt;");
        } else if ((c.unicode() >= 0x20 && !c.isSurrogate() && c.unicode() < 0xfffe) ||
                   c == u'\t' || c == u'\n' || c == u'\r') {
            out += c;
        }
    }
    return out;
}

QString joinFields(QChar separator, QStringList fields) {
    if (separator != kTsvSeparator) {
        for (QString& field : fields)
            field = csvField(field);
    }
    return fields.join(separator);
}

} // namespace

const ExportField* exportField(int tag) {
    for (const ExportField& field : kExportFields) {
        if (field.tag == tag)
            return &field;
    }
    return nullptr;
}

QChar separatorFor(TextFormat format) {
    return format == TextFormat::Tsv ? kTsvSeparator : kCsvSeparator;
}

QString defaultFileName(OutputKind kind, TextFormat textFormat) {
    if (kind == OutputKind::Kml)
        return QStringLiteral("results.kml");
    if (kind == OutputKind::Gpx)
        return QStringLiteral("results.gpx");
    return textFormat == TextFormat::Tsv ? QStringLiteral("results.tsv")
                                         : QStringLiteral("results.csv");
}

QString ComposeHeaderLine(QChar separator, const QList<int>& selectedFields) {
    QStringList fields{QStringLiteral("文件名"), QStringLiteral("纬度"), QStringLiteral("经度"),
                       QStringLiteral("海拔高度")};
    for (const int tag : selectedFields) {
        if (const ExportField* field = exportField(tag))
            fields.append(QString::fromUtf8(field->headerLabel));
    }
    return joinFields(separator, fields);
}

QString ComposeTextLine(QChar separator, const PhotoGpsValues& values, CoordinateForm form) {
    QStringList fields{values.fileName, coordinateText(values.latitude, true, form),
                       coordinateText(values.longitude, false, form),
                       vbnum::generalDouble(values.altitude.value_or(0.0))};
    fields.append(values.labels);
    return joinFields(separator, fields);
}

QString ComposeKmlLine(const PhotoGpsValues& values) {
    return vbnum::generalDouble(values.longitude) + u',' + vbnum::generalDouble(values.latitude) +
           u',' + vbnum::generalDouble(values.altitude.value_or(0.0));
}

QString ComposeTextFile(bool header, QChar separator, const QList<int>& selectedFields,
                        const QStringList& lines) {
    QString text;
    if (header)
        text += ComposeHeaderLine(separator, selectedFields) + kLineEnd;
    text += lines.join(kLineEnd) + kLineEnd;
    return text;
}

QString ComposeKmlDocument(KmlVariant variant, const QStringList& lines) {
    QStringList out{
        QStringLiteral(R"(<?xml version="1.0" encoding="UTF-8"?>)"),
        QStringLiteral(R"(<kml xmlns="http://www.opengis.net/kml/2.2"><Document>)"),
    };
    switch (variant) {
    case KmlVariant::Points:
        for (const QString& line : lines)
            out.append(QStringLiteral("<Placemark><Point><coordinates>") + line +
                       QStringLiteral("</coordinates></Point></Placemark>"));
        break;
    case KmlVariant::Path:
        out.append(QStringLiteral(
            R"(<Style id="BlueLine"><LineStyle><color>99ff0000</color><width>2.5</width></LineStyle></Style>)"));
        out.append(QStringLiteral(
            "<Placemark><styleUrl>#BlueLine</styleUrl><LineString><tessellate>1</tessellate>"
            "<altitudeMode>relativeToGround</altitudeMode>"));
        out.append(QStringLiteral("<coordinates>"));
        out.append(lines);
        out.append(QStringLiteral("</coordinates>"));
        out.append(QStringLiteral("</LineString></Placemark>"));
        break;
    case KmlVariant::Polygon:
        out.append(QStringLiteral(
            R"(<Style id="transBluePoly"><LineStyle><width>1.5</width></LineStyle><PolyStyle><color>7dff0000</color></PolyStyle></Style>)"));
        out.append(QStringLiteral(
            "<Placemark><styleUrl>#transBluePoly</styleUrl><Polygon><extrude>1</extrude>"
            "<altitudeMode>relativeToGround</altitudeMode><outerBoundaryIs><LinearRing>"));
        out.append(QStringLiteral("<coordinates>"));
        out.append(lines);
        out.append(QStringLiteral("</coordinates>"));
        out.append(QStringLiteral("</LinearRing></outerBoundaryIs></Polygon></Placemark>"));
        break;
    }
    out.append(QStringLiteral("</Document></kml>"));
    return out.join(kLineEnd) + kLineEnd;
}

QString gpxTime(const QDateTime& utc) {
    const QDateTime t = utc.toUTC();
    const QDate d = t.date();
    const QTime h = t.time();
    char text[64];
    int length = std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", d.year(),
                               d.month(), d.day(), h.hour(), h.minute(), h.second(), h.msec());
    if (length <= 0 || length >= int(sizeof text))
        return {};
    while (text[length - 1] == '0')
        --length;
    if (text[length - 1] == '.')
        --length;
    text[length++] = 'Z';
    return QString::fromLatin1(text, length);
}

QString ComposeGpxDocument(const QList<PhotoGpsValues>& photos, const QString& creator) {
    QStringList out{
        QStringLiteral(R"(<?xml version="1.0" encoding="UTF-8"?>)"),
        QStringLiteral(R"(<gpx version="1.1" creator=")") +
            xmlText(creator).replace(u'"', QStringLiteral("&quot;")) +
            QStringLiteral(R"(" xmlns="http://www.topografix.com/GPX/1/1" )"
                           R"(xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance" )"
                           R"(xsi:schemaLocation="http://www.topografix.com/GPX/1/1 )"
                           R"(http://www.topografix.com/GPX/1/1/gpx.xsd">)"),
    };
    // The schema fixes the order of a waypoint's children: ele, time, then name.
    for (const PhotoGpsValues& photo : photos) {
        QString wpt = QStringLiteral(R"(<wpt lat=")") + gpxDecimal(photo.latitude) +
                      QStringLiteral(R"(" lon=")") + gpxDecimal(photo.longitude) +
                      QStringLiteral(R"(">)");
        if (photo.altitude)
            wpt += QStringLiteral("<ele>") + gpxDecimal(*photo.altitude) + QStringLiteral("</ele>");
        if (photo.time && photo.time->isValid())
            wpt += QStringLiteral("<time>") + gpxTime(*photo.time) + QStringLiteral("</time>");
        wpt += QStringLiteral("<name>") + xmlText(photo.fileName) + QStringLiteral("</name></wpt>");
        out.append(wpt);
    }
    out.append(QStringLiteral("</gpx>"));
    return out.join(kLineEnd) + kLineEnd;
}

} // namespace exportformats
