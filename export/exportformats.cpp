#include "export/exportformats.h"

#include "base/coordinates.h"
#include "base/vbnum.h"

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
                       vbnum::generalDouble(values.altitude)};
    fields.append(values.labels);
    return joinFields(separator, fields);
}

QString ComposeKmlLine(const PhotoGpsValues& values) {
    return vbnum::generalDouble(values.longitude) + u',' + vbnum::generalDouble(values.latitude) +
           u',' + vbnum::generalDouble(values.altitude);
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

} // namespace exportformats
