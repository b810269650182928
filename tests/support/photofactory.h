#pragma once
// Photos made on the spot for tests and benchmarks: a JPEG drawn with QImage, a small uncompressed
// TIFF, or an Exiv2 .exv template, each with an optional camera-like EXIF block, GPS position,
// thumbnail and maker note written through Exiv2.
//
//   PhotoRecipe recipe;
//   recipe.gps = GpsSpec{31.2304, 121.4737, 12.5};
//   const QString path = makeJpeg(dir.path(), "a.jpg", recipe);
//
// Every function returns the path of the file it wrote, or an empty text when it failed.

#include <QByteArray>
#include <QMap>
#include <QString>
#include <optional>

struct GpsSpec {
    double latitude = 0;            // signed decimal degrees, south negative
    double longitude = 0;           // signed decimal degrees, west negative
    std::optional<double> altitude; // metres, negative below sea level
};

struct PhotoRecipe {
    int width = 160;
    int height = 120;
    int quality = 85;           // JPEG quality
    bool noise = false;         // random pixels, so the file is as large as a camera's
    bool exif = true;           // Make, Model, dates, exposure, as a camera writes them
    std::optional<GpsSpec> gps; // a camera's GPS block: version 2.2, refs, rationals, altitude
    bool thumbnail = false;     // a 160x120 JPEG thumbnail in IFD1
    bool makerNote = false;     // a Canon maker note (Make becomes "Canon")
    // Further Exiv2 keys and their values as Exiv2 reads them from text, applied last, e.g.
    // {"Exif.GPSInfo.GPSLatitude", "33/1 52/1 768/100"}; an empty value removes the key.
    QMap<QString, QString> tags;
};

QString makeJpeg(const QString& dir, const QString& name, const PhotoRecipe& recipe = {});
QString makeTiff(const QString& dir, const QString& name, const PhotoRecipe& recipe = {});
QString makeExv(const QString& dir, const QString& name, const PhotoRecipe& recipe = {});

// Sets (or with an empty value removes) Exiv2 keys in an existing photo, in place.
bool setPhotoTags(const QString& path, const QMap<QString, QString>& tags);

// The EXIF tags of a photo as Exiv2 reads them, key to value text, only keys starting with
// prefix ("Exif.GPSInfo." for the GPS block). Empty when the file cannot be read.
QMap<QString, QString> readPhotoTags(const QString& path, const QString& prefix = {});

// The whole content of a file, to prove it did not change.
QByteArray fileBytes(const QString& path);
