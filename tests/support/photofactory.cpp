#include "photofactory.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <cmath>
#include <exiv2/exiv2.hpp>

namespace {

QImage drawImage(const PhotoRecipe& recipe) {
    QImage image(recipe.width, recipe.height, QImage::Format_RGB32);
    if (recipe.noise) {
        // A seeded generator: the same recipe gives the same bytes, so corpora are reproducible.
        QRandomGenerator random(quint32(recipe.width * 31 + recipe.height));
        for (int y = 0; y < image.height(); ++y) {
            auto* line = reinterpret_cast<quint32*>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x)
                line[x] = 0xff000000u | (random.generate() & 0x00ffffffu);
        }
        return image;
    }
    QPainter painter(&image);
    QLinearGradient gradient(0, 0, recipe.width, recipe.height);
    gradient.setColorAt(0, QColor(40, 90, 160));
    gradient.setColorAt(1, QColor(230, 200, 120));
    painter.fillRect(image.rect(), gradient);
    painter.setPen(Qt::white);
    painter.drawEllipse(image.rect().adjusted(8, 8, -8, -8));
    return image;
}

QByteArray jpegBytes(const QImage& image, int quality) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", quality);
    return bytes;
}

QString rationalDms(double value) {
    const double a = std::fabs(value);
    const double deg = std::floor(a);
    const double min = std::floor((a - deg) * 60);
    const auto tenThousandths = std::llround(((a - deg) * 60 - min) * 60 * 10000);
    return QStringLiteral("%1/1 %2/1 %3/10000").arg(deg).arg(min).arg(tenThousandths);
}

void addCameraExif(Exiv2::ExifData& exif, const PhotoRecipe& recipe) {
    exif["Exif.Image.Make"] = "Corvexa Test Camera Co.";
    exif["Exif.Image.Model"] = "CTC-1";
    exif["Exif.Image.Orientation"] = uint16_t(1);
    exif["Exif.Image.XResolution"] = Exiv2::URational(72, 1);
    exif["Exif.Image.YResolution"] = Exiv2::URational(72, 1);
    exif["Exif.Image.ResolutionUnit"] = uint16_t(2);
    exif["Exif.Image.Software"] = "photofactory";
    exif["Exif.Image.DateTime"] = "2024:05:01 10:20:30";
    exif["Exif.Image.Artist"] = "Test Photographer";
    exif["Exif.Image.Copyright"] = "(c) Test Photographer";
    exif["Exif.Photo.ExposureTime"] = Exiv2::URational(1, 125);
    exif["Exif.Photo.FNumber"] = Exiv2::URational(56, 10);
    exif["Exif.Photo.ExposureProgram"] = uint16_t(2);
    exif["Exif.Photo.ISOSpeedRatings"] = uint16_t(200);
    exif["Exif.Photo.DateTimeOriginal"] = "2024:05:01 10:20:30";
    exif["Exif.Photo.DateTimeDigitized"] = "2024:05:01 10:20:30";
    exif["Exif.Photo.ExposureBiasValue"] = Exiv2::Rational(-1, 3);
    exif["Exif.Photo.MeteringMode"] = uint16_t(5);
    exif["Exif.Photo.Flash"] = uint16_t(16);
    exif["Exif.Photo.FocalLength"] = Exiv2::URational(50, 1);
    exif["Exif.Photo.ColorSpace"] = uint16_t(1);
    exif["Exif.Photo.PixelXDimension"] = uint32_t(recipe.width);
    exif["Exif.Photo.PixelYDimension"] = uint32_t(recipe.height);
    exif["Exif.Photo.WhiteBalance"] = uint16_t(0);
    exif["Exif.Photo.LensModel"] = "CTC 50mm F1.8";
    Exiv2::ExifKey version("Exif.Photo.ExifVersion");
    Exiv2::Value::AutoPtr undefined = Exiv2::Value::create(Exiv2::undefined);
    undefined->read("48 50 51 48");
    exif.add(version, undefined.get());
}

void addGps(Exiv2::ExifData& exif, const GpsSpec& gps) {
    Exiv2::Value::AutoPtr version = Exiv2::Value::create(Exiv2::unsignedByte);
    version->read("2 2 0 0");
    exif["Exif.GPSInfo.GPSVersionID"].setValue(version.get());
    exif["Exif.GPSInfo.GPSLatitudeRef"] = gps.latitude < 0 ? "S" : "N";
    exif["Exif.GPSInfo.GPSLatitude"].setValue(rationalDms(gps.latitude).toStdString());
    exif["Exif.GPSInfo.GPSLongitudeRef"] = gps.longitude < 0 ? "W" : "E";
    exif["Exif.GPSInfo.GPSLongitude"].setValue(rationalDms(gps.longitude).toStdString());
    if (gps.altitude) {
        Exiv2::Value::AutoPtr ref = Exiv2::Value::create(Exiv2::unsignedByte);
        ref->read(*gps.altitude < 0 ? "1" : "0");
        exif["Exif.GPSInfo.GPSAltitudeRef"].setValue(ref.get());
        exif["Exif.GPSInfo.GPSAltitude"] =
            Exiv2::URational(uint32_t(std::llround(std::fabs(*gps.altitude) * 100)), 100);
    }
    exif["Exif.GPSInfo.GPSTimeStamp"].setValue(std::string("10/1 20/1 30/1"));
    exif["Exif.GPSInfo.GPSMapDatum"] = "WGS-84";
    exif["Exif.GPSInfo.GPSDateStamp"] = "2024:05:01";
}

void addMakerNote(Exiv2::ExifData& exif) {
    exif["Exif.Image.Make"] = "Canon";
    exif["Exif.Image.Model"] = "Canon EOS 5D";
    exif["Exif.Canon.FirmwareVersion"] = "Firmware Version 1.1.1";
    exif["Exif.Canon.OwnerName"] = "Test Photographer";
    exif["Exif.Canon.ModelID"] = uint32_t(0x80000213);
}

void addThumbnail(Exiv2::ExifData& exif) {
    PhotoRecipe small;
    small.width = 160;
    small.height = 120;
    const QByteArray jpeg = jpegBytes(drawImage(small), 70);
    Exiv2::ExifThumb thumb(exif);
    thumb.setJpegThumbnail(reinterpret_cast<const Exiv2::byte*>(jpeg.constData()),
                           long(jpeg.size()));
}

void applyTags(Exiv2::ExifData& exif, const QMap<QString, QString>& tags) {
    for (auto it = tags.begin(); it != tags.end(); ++it) {
        const std::string key = it.key().toStdString();
        if (it.value().isEmpty()) {
            const auto found = exif.findKey(Exiv2::ExifKey(key));
            if (found != exif.end())
                exif.erase(found);
            continue;
        }
        exif[key].setValue(it.value().toStdString());
    }
}

bool writeMetadata(const QString& path, const PhotoRecipe& recipe) {
    try {
        auto image = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
        image->readMetadata();
        Exiv2::ExifData& exif = image->exifData();
        if (recipe.exif)
            addCameraExif(exif, recipe);
        if (recipe.gps)
            addGps(exif, *recipe.gps);
        if (recipe.makerNote)
            addMakerNote(exif);
        if (recipe.thumbnail)
            addThumbnail(exif);
        applyTags(exif, recipe.tags);
        image->writeMetadata();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size() && file.flush();
}

void put16(QByteArray& out, quint16 v) {
    out.append(char(v & 0xff));
    out.append(char(v >> 8));
}

void put32(QByteArray& out, quint32 v) {
    put16(out, quint16(v & 0xffff));
    put16(out, quint16(v >> 16));
}

// A little-endian, uncompressed RGB TIFF with one strip: the smallest file every reader takes.
QByteArray tiffBytes(const QImage& image) {
    const int width = image.width();
    const int height = image.height();
    const quint32 pixelBytes = quint32(width * height * 3);
    const quint16 entries = 11;
    const quint32 ifdOffset = 8;
    const quint32 bitsOffset = ifdOffset + 2 + entries * 12 + 4;
    const quint32 pixelOffset = bitsOffset + 6;

    QByteArray out("II*\0", 4);
    put32(out, ifdOffset);
    put16(out, entries);
    auto entry = [&out](quint16 tag, quint16 type, quint32 count, quint32 value) {
        put16(out, tag);
        put16(out, type);
        put32(out, count);
        if (type == 3 && count == 1) {
            put16(out, quint16(value));
            put16(out, 0);
        } else {
            put32(out, value);
        }
    };
    entry(256, 4, 1, quint32(width));
    entry(257, 4, 1, quint32(height));
    entry(258, 3, 3, bitsOffset);
    entry(259, 3, 1, 1);
    entry(262, 3, 1, 2);
    entry(273, 4, 1, pixelOffset);
    entry(277, 3, 1, 3);
    entry(278, 4, 1, quint32(height));
    entry(279, 4, 1, pixelBytes);
    entry(284, 3, 1, 1);
    entry(296, 3, 1, 1);
    put32(out, 0);
    put16(out, 8);
    put16(out, 8);
    put16(out, 8);
    for (int y = 0; y < height; ++y) {
        const auto* line = reinterpret_cast<const quint32*>(image.constScanLine(y));
        for (int x = 0; x < width; ++x) {
            out.append(char(qRed(line[x])));
            out.append(char(qGreen(line[x])));
            out.append(char(qBlue(line[x])));
        }
    }
    return out;
}

QString finish(const QString& path, const PhotoRecipe& recipe) {
    const bool anyMetadata =
        recipe.exif || recipe.gps || recipe.makerNote || recipe.thumbnail || !recipe.tags.isEmpty();
    if (anyMetadata && !writeMetadata(path, recipe)) {
        QFile::remove(path);
        return {};
    }
    return path;
}

} // namespace

QString makeJpeg(const QString& dir, const QString& name, const PhotoRecipe& recipe) {
    const QString path = QDir(dir).filePath(name);
    if (!writeFile(path, jpegBytes(drawImage(recipe), recipe.quality)))
        return {};
    return finish(path, recipe);
}

QString makeTiff(const QString& dir, const QString& name, const PhotoRecipe& recipe) {
    const QString path = QDir(dir).filePath(name);
    if (!writeFile(path, tiffBytes(drawImage(recipe))))
        return {};
    return finish(path, recipe);
}

QString makeExv(const QString& dir, const QString& name, const PhotoRecipe& recipe) {
    const QString path = QDir(dir).filePath(name);
    try {
        auto image = Exiv2::ImageFactory::create(Exiv2::ImageType::exv,
                                                 QFile::encodeName(path).toStdString());
        image->writeMetadata();
    } catch (const std::exception&) {
        return {};
    }
    return finish(path, recipe);
}

bool setPhotoTags(const QString& path, const QMap<QString, QString>& tags) {
    try {
        auto image = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
        image->readMetadata();
        applyTags(image->exifData(), tags);
        image->writeMetadata();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

QMap<QString, QString> readPhotoTags(const QString& path, const QString& prefix) {
    QMap<QString, QString> tags;
    try {
        auto image = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
        image->readMetadata();
        for (const auto& datum : image->exifData()) {
            const QString key = QString::fromStdString(datum.key());
            if (key.startsWith(prefix))
                tags.insert(key, QString::fromStdString(datum.toString()));
        }
    } catch (const std::exception&) {
        tags.clear();
    }
    return tags;
}

QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
