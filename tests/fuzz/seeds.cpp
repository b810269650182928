#include "seeds.h"

#include "mutator.h"
#include "support/photofactory.h"

#include <QDir>
#include <QFile>
#include <QList>
#include <QMap>
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

QString writeBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() ? path : QString();
}

void putBig32(QByteArray& bytes, qsizetype at, quint32 value) {
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = char(value >> (24 - 8 * i));
}

quint32 little32(const QByteArray& bytes, qsizetype at) {
    quint32 value = 0;
    for (int i = 3; i >= 0; --i)
        value = value << 8 | quint8(bytes[at + i]);
    return value;
}

void putLittle32(QByteArray& bytes, qsizetype at, quint32 value) {
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = char(value >> (8 * i));
}

// A little-endian TIFF whose 8-byte header becomes header (CR2's 16 bytes, RW2's 24): every
// offset in every directory moves by the bytes added.
QString withHeader(const QString& tiffPath, const QString& path, const QByteArray& header) {
    QByteArray bytes = fileBytes(tiffPath);
    const fuzz::TiffMap map = fuzz::mapTiff(bytes);
    if (bytes.size() < 8 || map.entries.empty() || map.entries.front().at.bigEndian)
        return {};
    const auto shift = quint32(header.size() - 8);
    const auto move = [&bytes, shift](qsizetype at) {
        if (const quint32 offset = little32(bytes, at))
            putLittle32(bytes, at, offset + shift);
    };
    static const QMap<quint16, int> kSizes{{1, 1}, {2, 1}, {3, 2}, {4, 4},  {5, 8},  {6, 1},
                                           {7, 1}, {8, 2}, {9, 4}, {10, 8}, {11, 4}, {12, 8}};
    // Tags whose value is an offset even when it fits the entry.
    static const QList<quint16> kPointers{0x0111, 0x014a, 0x0201, 0x8769, 0x8825, 0xa005};
    for (const fuzz::Entry& entry : map.entries) {
        const qsizetype at = entry.at.position;
        const quint16 tag = quint16(quint8(bytes[at]) | quint8(bytes[at + 1]) << 8);
        const quint16 type = quint16(quint8(bytes[at + 2]) | quint8(bytes[at + 3]) << 8);
        if (qint64(kSizes.value(type, 1)) * little32(bytes, at + 4) > 4 || kPointers.contains(tag))
            move(at + 8);
    }
    for (const fuzz::Field& next : map.nextLinks)
        move(next.position);
    bytes.replace(0, 8, header);
    return writeBytes(path, bytes);
}

// Fujifilm RAF: a fixed header naming where the preview JPEG (which holds the EXIF, in an APP1
// segment right after SOI) and the raw data's TIFF structure lie, big-endian offsets.
QString raf(const QString& jpegPath, const QString& tiffPath, const QString& path) {
    const QByteArray camera = fileBytes(jpegPath);
    const QByteArray tiff = fileBytes(tiffPath);
    const qsizetype exif = camera.indexOf(QByteArray("Exif\0\0", 6));
    if (exif < 4 || tiff.isEmpty())
        return {};
    const QByteArray jpeg = QByteArray("\xff\xd8") + camera.mid(exif - 4);
    QByteArray bytes("FUJIFILMCCD-RAW 0201FF383501");
    bytes.append(160 - bytes.size(), '\0');
    putBig32(bytes, 84, 160);
    putBig32(bytes, 88, quint32(jpeg.size()));
    putBig32(bytes, 100, quint32(160 + jpeg.size()));
    putBig32(bytes, 104, quint32(tiff.size()));
    return writeBytes(path, bytes + jpeg + tiff);
}

// Minolta MRW: an MRM block holding a TTW block, which is the TIFF structure.
QString mrw(const QString& tiffPath, const QString& path) {
    const QByteArray tiff = fileBytes(tiffPath);
    if (tiff.isEmpty())
        return {};
    QByteArray bytes("\0MRM\0\0\0\0\0TTW\0\0\0\0", 16);
    putBig32(bytes, 4, quint32(8 + tiff.size()));
    putBig32(bytes, 12, quint32(tiff.size()));
    return writeBytes(path, bytes + tiff);
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
    const QString jpeg = makeJpeg(dir, QStringLiteral("jpeg.jpg"), camera);
    const QString d = dir + u'/';

    struct Made {
        QString kind;
        QString path;
    };
    const std::vector<Made> made{
        {QStringLiteral("jpeg"), jpeg},
        {QStringLiteral("jpeg-exiftool-mm"),
         tagged(dir, QStringLiteral("jpeg-mm.jpg"), tools, true, thumbnail)},
        {QStringLiteral("tiff"), tiff},
        {QStringLiteral("tiff-exiftool-mm"),
         tagged(dir, QStringLiteral("tiff-mm.tif"), tools, true, {})},
        {QStringLiteral("dng"), makeTiff(dir, QStringLiteral("dng.dng"), dng)},
        {QStringLiteral("nef"), makeTiff(dir, QStringLiteral("nef.nef"), nikon)},
        {QStringLiteral("orf"), withMagic(tiff, d + QStringLiteral("orf.orf"), "IIRO")},
        {QStringLiteral("cr2"), withHeader(tiff, d + QStringLiteral("cr2.cr2"),
                                           QByteArray("II*\0\x10\0\0\0CR\x02\0\0\0\0\0", 16))},
        {QStringLiteral("rw2"), withHeader(tiff, d + QStringLiteral("rw2.rw2"),
                                           QByteArray("IIU\0\x18\0\0\0", 8) + QByteArray(16, 0))},
        {QStringLiteral("raf"), raf(jpeg, tiff, d + QStringLiteral("raf.raf"))},
        {QStringLiteral("mrw"), mrw(tiff, d + QStringLiteral("mrw.mrw"))},
        {QStringLiteral("exv"), makeExv(dir, QStringLiteral("exv.exv"), camera)},
        {QStringLiteral("png"), tagged(dir, QStringLiteral("png.png"), tools, false, {})},
        {QStringLiteral("webp"), tagged(dir, QStringLiteral("webp.webp"), tools, false, {})},
        {QStringLiteral("heic"), tagged(dir, QStringLiteral("heic.heic"), tools, true, {})},
        {QStringLiteral("avif"), tagged(dir, QStringLiteral("avif.avif"), tools, false, {})},
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
