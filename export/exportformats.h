#pragma once
// The kinds of export file: CSV/TSV text with one line per photo, a KML 2.2 document showing the
// photos as placemarks, one path or one polygon, and a GPX 1.1 file of waypoints. Pure
// formatting: values in, text out; the caller writes the text as UTF-8 without a byte-order mark.

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <array>
#include <optional>

namespace exportformats {

// Indices of the main window's format boxes, as stored in the settings.
enum class OutputKind { Text = 0, Kml = 1, Gpx = 2 };
enum class TextFormat { Csv = 0, Tsv = 1 };
enum class KmlVariant { Points = 0, Path = 1, Polygon = 2 };
// How a text export writes latitude and longitude; KML is always decimal.
enum class CoordinateForm { Decimal = 0, Dms = 1 };

// Every line of either kind of file ends with CR LF, the last one included.
inline constexpr auto kLineEnd = "\r\n";
inline constexpr QChar kCsvSeparator = u',';
inline constexpr QChar kTsvSeparator = u'\t';

// An optional GPS field of a text export. Text fields are UTF-8.
struct ExportField {
    int tag;                 // EXIF GPS tag number
    const char* name;        // EXIF tag name
    const char* settingKey;  // key in section "ExportOptions"
    const char* headerLabel; // column title
};

// The optional fields in their fixed column order, whatever order the user ticked them in.
inline constexpr std::array<ExportField, 5> kExportFields{{
    {13, "GPSSpeed", "GPSSpeed", "速度"},
    {15, "GPSTrack", "GPSTrack", "移动方向"},
    {17, "GPSImgDirection", "GPSImgDirection", "朝向"},
    {24, "GPSDestBearing", "GPSDestBearing", "目的地方位"},
    {26, "GPSDestDistance", "GPSDestDistance", "目的地距离"},
}};

// The table row of an EXIF tag number; nullptr when the tag is not an export field.
const ExportField* exportField(int tag);

// What was read from one photo. latitude/longitude are signed decimal degrees (south and west
// negative); altitude is in metres, negative below sea level (text and KML write 0 when the photo
// has none); labels hold one display text per selected field, in the order of the selected
// fields; time is when the photo was taken, in UTC (GPX only).
struct PhotoGpsValues {
    QString fileName; // the last component of the photo's path
    double latitude = 0.0;
    double longitude = 0.0;
    std::optional<double> altitude;
    QStringList labels;
    std::optional<QDateTime> time;
};

QChar separatorFor(TextFormat format);

// "results.csv", "results.tsv", "results.kml" or "results.gpx".
QString defaultFileName(OutputKind kind, TextFormat textFormat);

// "文件名", "纬度", "经度", "海拔高度", then the label of each selected tag, joined by separator
// (no line end). selectedFields are EXIF tag numbers from kExportFields.
QString ComposeHeaderLine(QChar separator, const QList<int>& selectedFields);

// File name, latitude, longitude, altitude, then each label, joined by separator (no line end).
// Numbers in the general form of up to 15 significant digits; with CoordinateForm::Dms latitude
// and longitude are degree-minute-second text with their hemisphere letter ("31°13′49.44″N").
// With the CSV separator a field holding a comma, a double quote or a line break is quoted, its
// quotes doubled; TSV fields are never quoted.
QString ComposeTextLine(QChar separator, const PhotoGpsValues& values,
                        CoordinateForm form = CoordinateForm::Decimal);

// "longitude,latitude,altitude", as KML orders them (no line end).
QString ComposeKmlLine(const PhotoGpsValues& values);

// The whole text file: the header line when header is on, then the lines, each ending in CR LF.
// With no line the body is one empty line.
QString ComposeTextFile(bool header, QChar separator, const QList<int>& selectedFields,
                        const QStringList& lines);

// The whole KML 2.2 document around lines made by ComposeKmlLine. With no line the points
// variant holds no placemark and a path or polygon an empty coordinate list.
QString ComposeKmlDocument(KmlVariant variant, const QStringList& lines);

// A GPX 1.1 document with one waypoint per photo, in order: lat and lon in decimal degrees, then
// ele when the photo has an altitude, time (UTC, with the photo's fraction of a second) when it
// has one, and the file name as name. creator names the program that wrote it.
QString ComposeGpxDocument(const QList<PhotoGpsValues>& photos, const QString& creator);

// The GPX time text of a UTC instant: "2024-05-01T02:11:12Z", milliseconds after a point when
// there are any ("…12.25Z").
QString gpxTime(const QDateTime& utc);

} // namespace exportformats
