#include "codec/capturetime.h"

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
constexpr uint16_t kExifIfdPointer = 0x8769;

QString photoText(const Exiv2::ExifData& exif, uint16_t tag) {
    const auto it = exif.findKey(Exiv2::ExifKey(tag, "Photo"));
    if (it == exif.end())
        return {};
    // ASCII values may carry their closing NUL and padding blanks.
    return QString::fromStdString(it->toString()).section(QChar(0), 0, 0).trimmed();
}

// The EXIF block of a JPEG read from its first bytes, as far as the capture time needs it: IFD0's
// pointer to the Exif directory and three ASCII tags there. Exiv2 parses every tag and the maker
// note, ten times the cost of reading the file's head, for three values.
class TiffView {
public:
    explicit TiffView(QByteArrayView tiff) : m_tiff(tiff) {}

    // Empty when the structure is not one this reader follows (the caller asks Exiv2 then).
    std::optional<std::optional<CaptureTime>> captureTime() const {
        if (m_tiff.size() < 8 || !(m_tiff.startsWith("II") || m_tiff.startsWith("MM")))
            return std::nullopt;
        const quint32 ifd0 = u32(4);
        const std::optional<quint32> exifIfd = pointer(ifd0, kExifIfdPointer);
        if (!exifIfd)
            return std::nullopt;
        const std::optional<QString> dateTime = ascii(*exifIfd, kDateTimeOriginal);
        if (!dateTime)
            return std::nullopt;
        const auto local =
            parseExifDateTime(*dateTime, ascii(*exifIfd, kSubSecTimeOriginal).value_or(QString()));
        if (!local)
            return std::optional<CaptureTime>{};
        const auto offset =
            parseExifOffset(ascii(*exifIfd, kOffsetTimeOriginal).value_or(QString()));
        return std::optional<CaptureTime>{CaptureTime{*local, offset}};
    }

private:
    bool little() const { return m_tiff[0] == 'I'; }
    bool inside(quint64 offset, quint64 size) const {
        return offset + size <= quint64(m_tiff.size());
    }
    quint16 u16(quint64 at) const {
        const auto b = [&](int i) { return quint16(quint8(m_tiff[qsizetype(at) + i])); };
        return little() ? quint16(b(0) | b(1) << 8) : quint16(b(0) << 8 | b(1));
    }
    quint32 u32(quint64 at) const {
        const quint32 a = u16(at), b = u16(at + 2);
        return little() ? (a | b << 16) : (a << 16 | b);
    }
    // The entry of tag in the directory at ifd: its offset in the TIFF, or empty. The directory
    // must lie inside the bytes read; otherwise the caller cannot tell absence from truncation.
    std::optional<quint64> entry(quint32 ifd, quint16 tag, bool& complete) const {
        complete = inside(ifd, 2) && inside(ifd + 2, quint64(u16(ifd)) * 12);
        if (!complete)
            return std::nullopt;
        const quint16 count = u16(ifd);
        for (quint16 i = 0; i < count; ++i) {
            const quint64 at = ifd + 2 + quint64(i) * 12;
            if (u16(at) == tag)
                return at;
        }
        return std::nullopt;
    }
    // The directory offset a pointer tag holds.
    std::optional<quint32> pointer(quint32 ifd, quint16 tag) const {
        bool complete = false;
        const auto at = entry(ifd, tag, complete);
        if (!at)
            return std::nullopt;
        return u32(*at + 8);
    }
    // An ASCII tag's text; empty optional when the directory cannot be read, empty text when the
    // tag is absent.
    std::optional<QString> ascii(quint32 ifd, quint16 tag) const {
        bool complete = false;
        const auto at = entry(ifd, tag, complete);
        if (!complete)
            return std::nullopt;
        if (!at)
            return QString();
        if (u16(*at + 2) != 2)
            return QString();
        const quint32 count = u32(*at + 4);
        const quint64 value = count <= 4 ? *at + 8 : u32(*at + 8);
        if (!inside(value, count))
            return std::nullopt;
        return QString::fromLatin1(m_tiff.sliced(qsizetype(value), count).data(), count)
            .section(QChar(0), 0, 0)
            .trimmed();
    }

    QByteArrayView m_tiff;
};

// The TIFF block of a JPEG's EXIF segment among the first bytes of the file; empty when the file
// is no JPEG, has no EXIF segment before its image data, or the segment is cut off.
std::optional<QByteArrayView> jpegExif(QByteArrayView head) {
    if (head.size() < 4 || quint8(head[0]) != 0xFF || quint8(head[1]) != 0xD8)
        return std::nullopt;
    qsizetype at = 2;
    while (at + 4 <= head.size() && quint8(head[at]) == 0xFF) {
        const quint8 marker = quint8(head[at + 1]);
        if (marker == 0xDA || marker == 0xD9)
            return std::nullopt;
        const qsizetype length = quint8(head[at + 2]) << 8 | quint8(head[at + 3]);
        if (length < 2 || at + 2 + length > head.size())
            return std::nullopt;
        const QByteArrayView payload = head.sliced(at + 4, length - 2);
        if (marker == 0xE1 && payload.startsWith(QByteArrayView("Exif\0\0", 6)))
            return payload.sliced(6);
        at += 2 + length;
    }
    return std::nullopt;
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
    // An EXIF segment is at most 64 KiB; it may start after an APP0, so rarely a second read.
    constexpr qint64 kHeadBytes = 64 * 1024;
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) {
        QByteArray head = file.read(kHeadBytes);
        std::optional<QByteArrayView> tiff = jpegExif(head);
        if (!tiff && head.size() == kHeadBytes) {
            head += file.read(kHeadBytes);
            tiff = jpegExif(head);
        }
        if (tiff) {
            if (const auto found = TiffView(*tiff).captureTime())
                return *found;
        }
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
