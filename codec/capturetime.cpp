#include "codec/capturetime.h"

#include "codec/exifpeek.h"
#include "codec/exiv2log.h"

#include <QDateTime>
#include <QFile>
#include <QRegularExpression>
#include <QTimeZone>
#include <exiv2/exiv2.hpp>

namespace codec {
namespace {

// Tag numbers in the Exif (Photo) directory; OffsetTimeOriginal is newer than some Exiv2 tables.
constexpr uint16_t kDateTimeOriginal = 0x9003;
constexpr uint16_t kOffsetTimeOriginal = 0x9011;
constexpr uint16_t kSubSecTimeOriginal = 0x9291;

QString photoText(const Exiv2::ExifData& exif, uint16_t tag) {
    const auto it = exif.findKey(Exiv2::ExifKey(tag, "Photo"));
    if (it == exif.end())
        return {};
    // ASCII values may carry their closing NUL and padding blanks.
    return QString::fromStdString(it->toString()).section(QChar(0), 0, 0).trimmed();
}

} // namespace

std::optional<qint64> parseExifDateTime(const QString& dateTime, const QString& subSeconds) {
    static const QRegularExpression form(
        QStringLiteral("^(\\d{4})[:-](\\d{2})[:-](\\d{2})[ T](\\d{2}):(\\d{2}):(\\d{2})$"));
    const QRegularExpressionMatch m = form.match(dateTime.trimmed());
    if (!m.hasMatch())
        return std::nullopt;
    const QDate date(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    const QTime time(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt());
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    qint64 ms = QDateTime(date, time, QTimeZone::utc()).toMSecsSinceEpoch();
    // SubSecTime holds the decimal digits of the fraction: "5" is .5 s, "050" is .05 s.
    const QString digits = subSeconds.trimmed().left(3);
    bool ok = false;
    const int fraction = digits.toInt(&ok);
    if (ok && fraction >= 0) {
        int scaled = fraction;
        for (qsizetype n = digits.size(); n < 3; ++n)
            scaled *= 10;
        ms += scaled;
    }
    return ms;
}

std::optional<int> parseExifOffset(const QString& offset) {
    static const QRegularExpression form(QStringLiteral("^([+-])(\\d{2}):(\\d{2})$"));
    const QRegularExpressionMatch m = form.match(offset.trimmed());
    if (!m.hasMatch())
        return std::nullopt;
    const int hours = m.captured(2).toInt();
    const int minutes = m.captured(3).toInt();
    if (hours > 14 || minutes > 59)
        return std::nullopt;
    return (m.captured(1) == u'-' ? -1 : 1) * (hours * 60 + minutes);
}

std::optional<CaptureTime> readCaptureTime(const QString& path) {
    // Exiv2 parses every tag and the maker note, ten times the cost of reading the file's head,
    // for three values: a JPEG's or TIFF's Exif directory is looked at directly first.
    if (const std::optional<OriginalTime> original = peekPhoto(path, {.time = true}).time) {
        const auto local = parseExifDateTime(original->dateTime, original->subSec);
        if (!local)
            return std::nullopt;
        return CaptureTime{*local, parseExifOffset(original->offset)};
    }
    detail::installExiv2LogHandler();
    try {
        auto image = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
        if (!image.get())
            return std::nullopt;
        image->readMetadata();
        const Exiv2::ExifData& exif = image->exifData();
        const auto local = parseExifDateTime(photoText(exif, kDateTimeOriginal),
                                             photoText(exif, kSubSecTimeOriginal));
        if (!local)
            return std::nullopt;
        return CaptureTime{*local, parseExifOffset(photoText(exif, kOffsetTimeOriginal))};
    } catch (...) {
        // A damaged or unknown file has no capture time; the caller says so in its row.
        return std::nullopt;
    }
}

} // namespace codec
