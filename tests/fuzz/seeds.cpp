#include "seeds.h"

#include "support/photofactory.h"

#include <QDir>
#include <QFile>
#include <QProcess>

namespace fuzz {

namespace {

bool run(const QString& program, const QStringList& arguments) {
    if (program.isEmpty())
        return false;
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(program, arguments);
    return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

// A full camera photo: EXIF, GPS with altitude, thumbnail and a Canon maker note.
PhotoRecipe cameraRecipe() {
    PhotoRecipe recipe;
    recipe.gps = GpsSpec{31.2304, 121.4737, 12.5};
    recipe.thumbnail = true;
    recipe.makerNote = true;
    return recipe;
}

// A position below sea level in the south-west, in EXIF and XMP, as ExifTool writes it.
QStringList exiftoolTags(const QString& thumbnail) {
    QStringList tags{QStringLiteral("-Make=NIKON CORPORATION"),
                     QStringLiteral("-Model=NIKON D750"),
                     QStringLiteral("-DateTimeOriginal=2024:05:01 10:20:30"),
                     QStringLiteral("-GPSVersionID=2.3.0.0"),
                     QStringLiteral("-GPSLatitude=33.856789"),
                     QStringLiteral("-GPSLatitudeRef=S"),
                     QStringLiteral("-GPSLongitude=70.654321"),
                     QStringLiteral("-GPSLongitudeRef=W"),
                     QStringLiteral("-GPSAltitude=12.25"),
                     QStringLiteral("-GPSAltitudeRef=1"),
                     QStringLiteral("-GPSTimeStamp=10:20:30"),
                     QStringLiteral("-GPSImgDirection=123.4"),
                     QStringLiteral("-XMP:GPSLatitude=33.856789 S"),
                     QStringLiteral("-XMP:GPSLongitude=70.654321 W")};
    if (!thumbnail.isEmpty())
        tags.append(QStringLiteral("-ThumbnailImage<=") + thumbnail);
    return tags;
}

// An ImageMagick picture of the given format, tagged by ExifTool (big-endian EXIF when asked).
QString tagged(const QString& dir, const QString& name, const SeedTools& tools, bool bigEndian,
               const QString& thumbnail) {
    const QString path = QDir(dir).filePath(name);
    QStringList picture{QStringLiteral("-size"), QStringLiteral("160x120"),
                        QStringLiteral("gradient:navy-gold")};
    if (bigEndian)
        picture += {QStringLiteral("-endian"), QStringLiteral("MSB")}; // a Motorola TIFF
    if (!run(tools.convert, picture + QStringList{path}))
        return {};
    QStringList arguments{QStringLiteral("-q"), QStringLiteral("-q"),
                          QStringLiteral("-overwrite_original")};
    if (bigEndian)
        arguments.append(QStringLiteral("-ExifByteOrder=MM"));
    arguments += exiftoolTags(thumbnail);
    arguments.append(path);
    return run(tools.exiftool, arguments) ? path : QString();
}

// A TIFF-based raw file from our TIFF: the same structure under another magic number.
QString withMagic(const QString& tiffPath, const QString& path, const QByteArray& magic) {
    QByteArray bytes = fileBytes(tiffPath);
    if (bytes.size() < 8)
        return {};
    bytes.replace(0, magic.size(), magic);
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() ? path : QString();
}

} // namespace

std::vector<Seed> makeSeeds(const QString& dir, const SeedTools& tools, QStringList& missing) {
    const PhotoRecipe camera = cameraRecipe();
    PhotoRecipe dng = camera;
    dng.makerNote = false;
    dng.tags.insert(QStringLiteral("Exif.Image.DNGVersion"), QStringLiteral("1 4 0 0"));
    PhotoRecipe nikon = camera;
    nikon.makerNote = false;
    nikon.tags.insert(QStringLiteral("Exif.Image.Make"), QStringLiteral("NIKON CORPORATION"));

    const QString thumbnail = QDir(dir).filePath(QStringLiteral("thumb.jpg"));
    run(tools.convert, {QStringLiteral("-size"), QStringLiteral("160x120"),
                        QStringLiteral("gradient:red-blue"), thumbnail});
    const QString tiff = makeTiff(dir, QStringLiteral("tiff.tif"), camera);
    const QString d = dir + u'/';

    struct Made {
        QString kind;
        QString path;
    };
    const std::vector<Made> made{
        {QStringLiteral("jpeg"), makeJpeg(dir, QStringLiteral("jpeg.jpg"), camera)},
        {QStringLiteral("jpeg-exiftool-mm"),
         tagged(dir, QStringLiteral("jpeg-mm.jpg"), tools, true, thumbnail)},
        {QStringLiteral("tiff"), tiff},
        {QStringLiteral("tiff-exiftool-mm"),
         tagged(dir, QStringLiteral("tiff-mm.tif"), tools, true, {})},
        {QStringLiteral("dng"), makeTiff(dir, QStringLiteral("dng.dng"), dng)},
        {QStringLiteral("nef"), makeTiff(dir, QStringLiteral("nef.nef"), nikon)},
        {QStringLiteral("orf"), withMagic(tiff, d + QStringLiteral("orf.orf"), "IIRO")},
        {QStringLiteral("exv"), makeExv(dir, QStringLiteral("exv.exv"), camera)},
        {QStringLiteral("png"), tagged(dir, QStringLiteral("png.png"), tools, false, {})},
        {QStringLiteral("webp"), tagged(dir, QStringLiteral("webp.webp"), tools, false, {})},
        {QStringLiteral("heic"), tagged(dir, QStringLiteral("heic.heic"), tools, true, {})},
    };
    std::vector<Seed> seeds;
    for (const Made& m : made) {
        const QByteArray bytes = m.path.isEmpty() ? QByteArray() : fileBytes(m.path);
        if (bytes.isEmpty())
            missing.append(m.kind);
        else
            seeds.push_back({m.kind, m.path.section(u'.', -1), bytes});
    }
    return seeds;
}

} // namespace fuzz
