#include "exiv2codec.h"

#include "exiv2log.h"
#include "filekind.h"
#include "gpstags.h"
#include "metadatacheck.h"
#include "photofile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <exiv2/exiv2.hpp>
#include <exiv2/webpimage.hpp>
#include <string_view>

namespace codec {

using detail::LogCapture;

struct Exiv2Codec::Photo {
    QString path; // absolute
    QString suffix;
    detail::FileKind kind = detail::FileKind::Unknown;
    int imageType = Exiv2::ImageType::none;
    detail::FileIdentity identity;
    Exiv2::ExifData exif;
    detail::GpsDirectory gps; // into exif
    Exiv2::ByteOrder byteOrder = Exiv2::invalidByteOrder;
    std::optional<detail::JpegLayout> jpeg; // where EXIF and XMP sit, for the splice
    bool forWriting = false;
    bool makerNoteDropped = false;
    bool hadGps = false;     // the EXIF read held GPS tags
    bool tagRefused = false; // an AddTag failed: a copy would lack that tag
    detail::Fd file;         // open for a save, so the copy is made of the bytes that were read
};

namespace {

namespace reasons {
const QString kNoSuchFile = QStringLiteral("文件不存在");
const QString kNotAFile = QStringLiteral("不是普通文件");
const QString kTooLarge = QStringLiteral("文件超过 2 GB");
const QString kEmpty = QStringLiteral("文件为空");
const QString kNotAPhoto = QStringLiteral("不是支持的照片格式");
const QString kDamaged = QStringLiteral("元数据已损坏");
const QString kPartlyUnreadable = QStringLiteral("部分元数据已损坏，副本会丢失它们");
const QString kNotOpened = QStringLiteral("照片未打开");
const QString kTagRefused = QStringLiteral("GPS 数值无效");
const QString kSourceItself = QStringLiteral("目标就是源文件");
const QString kSourceChanged = QStringLiteral("源文件在处理期间被改动");
const QString kNotEncoded = QStringLiteral("元数据无法完整写入");
const QString kExifTooLarge = QStringLiteral("EXIF 数据超过 64 KB");
const QString kXmpDamaged = QStringLiteral("XMP 数据已损坏，无法移除其中的旧位置");
const QString kMismatch = QStringLiteral("写入后校验不一致");
} // namespace reasons

// The reason errno gives for the call that just failed.
QString ioFailure() {
    return errno != 0 ? systemErrorText(errno) : QStringLiteral("写入失败");
}

std::string exiv2Path(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

// "Directory Canon with 300 entries considered invalid; not read." and the like: a complaint
// about one directory, named right after the word.
bool isAboutMakerNote(const std::string& text) {
    constexpr std::string_view prefix = "Directory ";
    if (text.compare(0, prefix.size(), prefix) != 0)
        return false;
    const auto end = text.find_first_of(" ,:", prefix.size());
    const std::string group = text.substr(prefix.size(), end - prefix.size());
    return Exiv2::ExifTags::isMakerGroup(group) || group == "MakerNote";
}

// Messages after which part of the metadata was not read (or not encoded): a copy written from
// what was read would silently lack it. Benign notes ("unexpected next pointer; ignored") pass.
bool meansLoss(const LogCapture::Message& message, bool makerNoteDropped) {
    if (makerNoteDropped && isAboutMakerNote(message.text))
        return false;
    if (message.level >= Exiv2::LogMsg::error)
        return true;
    static constexpr std::array<std::string_view, 10> kLossTexts{
        "not read",       "ignoring",         "truncating",   "exceeds",     "out of bounds",
        "outside of the", "failed to decode", "format error", "cannot read", "not encoded"};
    std::string lower = message.text;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return std::any_of(kLossTexts.begin(), kLossTexts.end(), [&lower](std::string_view loss) {
        return lower.find(loss) != std::string::npos;
    });
}

bool anyLoss(const LogCapture& log, bool makerNoteDropped) {
    const auto& messages = log.messages();
    return std::any_of(messages.begin(), messages.end(), [makerNoteDropped](const auto& message) {
        return meansLoss(message, makerNoteDropped);
    });
}

std::unique_ptr<Exiv2::Value> tagValue(int type, qint16 count, const TagValue& value) {
    switch (type) {
    case Byte: {
        const auto* bytes = std::get_if<QByteArray>(&value);
        if (!bytes || bytes->size() < count)
            return nullptr;
        auto result = std::make_unique<Exiv2::DataValue>(Exiv2::unsignedByte);
        result->read(reinterpret_cast<const Exiv2::byte*>(bytes->constData()), count,
                     Exiv2::littleEndian);
        return result;
    }
    case Ascii: {
        const auto* text = std::get_if<QString>(&value);
        if (!text)
            return nullptr;
        const QString body =
            text->left(text->indexOf(QChar(0)) < 0 ? text->size() : text->indexOf(QChar(0)));
        const bool ascii = std::all_of(body.begin(), body.end(), [](QChar c) {
            return c.unicode() >= 0x20 && c.unicode() < 0x7f;
        });
        // The count includes the closing NUL, as EXIF stores it.
        if (!ascii || body.size() + 1 != count)
            return nullptr;
        auto result = std::make_unique<Exiv2::AsciiValue>();
        result->read(body.toStdString());
        return result;
    }
    case Rational: {
        const auto* numbers = std::get_if<std::vector<qint32>>(&value);
        if (!numbers || numbers->size() < std::size_t(count) * 2)
            return nullptr;
        auto result = std::make_unique<Exiv2::URationalValue>();
        for (qint16 i = 0; i < count; ++i) {
            const qint32 num = (*numbers)[std::size_t(i) * 2];
            const qint32 den = (*numbers)[std::size_t(i) * 2 + 1];
            // EXIF RATIONAL is unsigned; 0/0 is how a failed conversion looks.
            if (num < 0 || den <= 0)
                return nullptr;
            result->value_.emplace_back(uint32_t(num), uint32_t(den));
        }
        return result;
    }
    default:
        return nullptr;
    }
}

// The new APP1 segment: marker, length, "Exif\0\0" and the TIFF structure that Exiv2's JPEG
// writer would produce from the same data. Given the old structure, Exiv2 updates it in place
// where it can; without it, it builds a new one. Empty bytes when nothing is left to write; a
// reason when the data cannot be encoded.
struct Encoded {
    QByteArray bytes;
    QString failure;
};

Encoded encodeExifSegment(const Exiv2::ExifData& exif, Exiv2::ByteOrder byteOrder,
                          QByteArray oldTiff, bool makerNoteDropped) {
    if (exif.empty())
        return {};
    LogCapture log;
    Exiv2::Blob blob;
    const Exiv2::ByteOrder order =
        byteOrder == Exiv2::invalidByteOrder ? Exiv2::littleEndian : byteOrder;
    // Non-intrusive encoding updates the old structure in place, hence the copy.
    const Exiv2::WriteMethod method =
        Exiv2::ExifParser::encode(blob, reinterpret_cast<const Exiv2::byte*>(oldTiff.constData()),
                                  uint32_t(oldTiff.size()), order, exif);
    if (anyLoss(log, makerNoteDropped))
        return {{}, reasons::kNotEncoded};
    const char* tiff = oldTiff.constData();
    qsizetype size = oldTiff.size();
    if (method == Exiv2::wmIntrusive) {
        tiff = blob.empty() ? nullptr : reinterpret_cast<const char*>(blob.data());
        size = qsizetype(blob.size());
    }
    if (size == 0)
        return {};
    if (size + 8 > 0xffff)
        return {{}, reasons::kExifTooLarge};
    QByteArray segment;
    segment.reserve(size + 10);
    segment.append(char(0xff)).append(char(0xe1));
    segment.append(char((size + 8) >> 8)).append(char((size + 8) & 0xff));
    segment.append("Exif\0\0", 6);
    segment.append(tiff, size);
    return {segment, {}};
}

// Decodes the GPS directory of an EXIF TIFF structure and nothing else: all the codec reads,
// at a fraction of the cost of the whole block (a camera's maker note alone has hundreds of
// entries). False when the structure could not be decoded at all.
bool decodeGpsOnly(const QByteArray& tiff, Exiv2::ExifData& exif) {
    const auto gpsOnly = detail::gpsOnlyTiff(tiff);
    if (!gpsOnly)
        return false;
    const Exiv2::ByteOrder order =
        Exiv2::ExifParser::decode(exif, reinterpret_cast<const Exiv2::byte*>(gpsOnly->constData()),
                                  uint32_t(gpsOnly->size()));
    if (order == Exiv2::invalidByteOrder)
        exif.clear();
    return order != Exiv2::invalidByteOrder;
}

// Whether an EXIF segment made by encodeExifSegment decodes to exactly the expected tags: a
// damaged source can make Exiv2's in-place update write over other entries.
bool segmentHolds(const QByteArray& segment, const Exiv2::ExifData& expected,
                  bool makerNoteDropped) {
    LogCapture log;
    Exiv2::ExifData decoded;
    if (!segment.isEmpty()) {
        const QByteArray tiff = segment.mid(10);
        if (Exiv2::ExifParser::decode(decoded,
                                      reinterpret_cast<const Exiv2::byte*>(tiff.constData()),
                                      uint32_t(tiff.size())) == Exiv2::invalidByteOrder)
            return false;
    }
    return !anyLoss(log, makerNoteDropped) && detail::sameExif(expected, decoded);
}

// The EXIF segment of the copy: Exiv2's update of the old structure (encodeExifSegment with
// oldTiff) when that reads back as meant, else a structure built anew.
Encoded exifSegmentFor(Encoded updated, const Exiv2::ExifData& exif, Exiv2::ByteOrder byteOrder,
                       const QByteArray& oldTiff, bool makerNoteDropped) {
    if (updated.failure.isEmpty() && segmentHolds(updated.bytes, exif, makerNoteDropped))
        return updated;
    if (oldTiff.isEmpty())
        return {{}, updated.failure.isEmpty() ? reasons::kMismatch : updated.failure};
    Encoded rebuilt = encodeExifSegment(exif, byteOrder, {}, makerNoteDropped);
    if (rebuilt.failure.isEmpty() && !segmentHolds(rebuilt.bytes, exif, makerNoteDropped))
        rebuilt.failure = reasons::kMismatch;
    return rebuilt;
}

// True when the XMP packet holds a GPS property; the packet without them goes to xmp.
bool xmpWithoutGps(const QByteArray& packet, Exiv2::XmpData& xmp) {
    if (!packet.contains("GPS"))
        return false;
    LogCapture log;
    if (Exiv2::XmpParser::decode(xmp, packet.toStdString()) != 0)
        throw std::runtime_error("damaged XMP");
    return detail::eraseXmpGps(xmp);
}

// The XMP segment of the copy, the old one without its GPS properties. Empty bytes when nothing
// is left of it.
Encoded xmpSegmentWithoutGps(const Exiv2::XmpData& xmp) {
    if (xmp.empty())
        return {};
    std::string packet;
    // The form Exiv2's JPEG writer gives a packet it serialises.
    if (Exiv2::XmpParser::encode(packet, xmp,
                                 Exiv2::XmpParser::useCompactFormat |
                                     Exiv2::XmpParser::omitAllFormatting) != 0)
        return {{}, reasons::kXmpDamaged};
    Exiv2::XmpData readBack;
    if (Exiv2::XmpParser::decode(readBack, packet) != 0 || !detail::sameXmp(xmp, readBack))
        return {{}, reasons::kMismatch};
    const qsizetype length = 2 + detail::kXmpSignatureSize + qsizetype(packet.size());
    if (length > 0xffff)
        return {{}, reasons::kNotEncoded};
    QByteArray segment;
    segment.append(char(0xff)).append(char(0xe1));
    segment.append(char(length >> 8)).append(char(length & 0xff));
    segment.append(detail::kXmpSignature, detail::kXmpSignatureSize);
    segment.append(packet.data(), qsizetype(packet.size()));
    return {segment, {}};
}

// A stretch of the source that the copy holds in another form.
struct Replacement {
    off_t start;
    off_t end;
    QByteArray bytes;
};

QString readBackFailure(int fd, off_t offset, const QByteArray& expected) {
    QByteArray onDisk(expected.size(), Qt::Uninitialized);
    if (!expected.isEmpty() &&
        !detail::readAt(fd, offset, onDisk.data(), std::size_t(onDisk.size())))
        return ioFailure();
    return onDisk == expected ? QString() : reasons::kMismatch;
}

// The fast road for JPEG: the photo's own segments stay as they are, only the EXIF segment (and
// an XMP segment that held a position) is replaced, and the image data is copied by the kernel
// (or from a mapping of the source). The new segments are made (planJpegSplice) and checked
// (settleJpegSplice) before anything is written, the first while the copy is prepared, the second
// then too (PreparedSave::check) or just before writing, and read back from the disk after
// (writeJpegSplice). A batch prepares the next photos on its worker while this one is written.
struct JpegSplice {
    Encoded exifUpdate;                    // Exiv2's update of the old EXIF structure
    bool fromOldStructure = false;         // else exifUpdate is a structure built anew
    std::vector<Replacement> replacements; // in file order once settled
    QString xmpFailure;
};

// hadGps: the old structure had a GPS directory. Without one, the new directory needs a new entry
// in the first directory, which Exiv2 can never write in place: the structure it builds then is
// the same with or without the old one, which it would only parse in vain.
JpegSplice planJpegSplice(const detail::JpegLayout& layout, const Exiv2::ExifData& exif,
                          Exiv2::ByteOrder byteOrder, bool makerNoteDropped, bool hadGps) {
    JpegSplice splice;
    splice.fromOldStructure = hadGps;
    splice.exifUpdate =
        encodeExifSegment(exif, byteOrder, hadGps ? layout.exif : QByteArray(), makerNoteDropped);
    if (layout.xmpEnd > 0) {
        Exiv2::XmpData xmp;
        try {
            if (xmpWithoutGps(layout.xmp, xmp)) {
                const Encoded xmpSegment = xmpSegmentWithoutGps(xmp);
                if (!xmpSegment.failure.isEmpty())
                    splice.xmpFailure = xmpSegment.failure;
                else
                    splice.replacements.push_back(
                        {layout.xmpStart, layout.xmpEnd, xmpSegment.bytes});
            }
        } catch (const std::exception&) {
            splice.xmpFailure = reasons::kXmpDamaged;
        }
    }
    return splice;
}

// The reason the splice cannot be written; empty when its segments are checked and in order.
QString settleJpegSplice(JpegSplice& splice, const detail::JpegLayout& layout,
                         const Exiv2::ExifData& exif, Exiv2::ByteOrder byteOrder,
                         bool makerNoteDropped) {
    const Encoded exifSegment =
        exifSegmentFor(std::move(splice.exifUpdate), exif, byteOrder,
                       splice.fromOldStructure ? layout.exif : QByteArray(), makerNoteDropped);
    if (!exifSegment.failure.isEmpty())
        return exifSegment.failure;
    if (!splice.xmpFailure.isEmpty())
        return splice.xmpFailure;
    splice.replacements.push_back({layout.exifStart, layout.exifEnd, exifSegment.bytes});
    std::sort(splice.replacements.begin(), splice.replacements.end(),
              [](const auto& a, const auto& b) {
                  return std::tie(a.start, a.end) < std::tie(b.start, b.end);
              });
    return {};
}

// The reason it failed; empty when it worked.
QString writeJpegSplice(int source, off_t sourceSize, const std::vector<Replacement>& replacements,
                        detail::TempFile& temp, std::vector<char>& buffer) {
    off_t from = 0;
    for (const Replacement& replacement : replacements) {
        if (!detail::copyRange(source, from, replacement.start - from, temp.fd(), buffer) ||
            !detail::writeAll(temp.fd(), replacement.bytes.constData(),
                              std::size_t(replacement.bytes.size())))
            return ioFailure();
        from = replacement.end;
    }
    if (!detail::copyRange(source, from, sourceSize - from, temp.fd(), buffer))
        return ioFailure();

    off_t shift = 0;
    for (const Replacement& replacement : replacements) {
        if (const QString failure =
                readBackFailure(temp.fd(), replacement.start + shift, replacement.bytes);
            !failure.isEmpty())
            return failure;
        shift += off_t(replacement.bytes.size()) - (replacement.end - replacement.start);
    }
    const auto written = detail::identityOf(temp.fd());
    return written && written->size == sourceSize + shift ? QString() : reasons::kMismatch;
}

// What a copy written by Exiv2's own writer must read back as.
struct Expected {
    const Exiv2::ExifData& exif;
    Exiv2::XmpData xmp;
    Exiv2::IptcData iptc;
};

QString readBackWhole(int fd, int imageType, const Expected& expected) {
    const auto identity = detail::identityOf(fd);
    if (!identity)
        return ioFailure();
    std::vector<char> bytes(std::size_t(identity->size));
    if (!detail::readAt(fd, 0, bytes.data(), bytes.size()))
        return ioFailure();
    try {
        LogCapture log;
        auto image = Exiv2::ImageFactory::open(reinterpret_cast<const Exiv2::byte*>(bytes.data()),
                                               long(bytes.size()));
        if (!image.get() || image->imageType() != imageType)
            return reasons::kMismatch;
        image->readMetadata();
        const bool same = !anyLoss(log, false) &&
                          detail::sameExif(expected.exif, image->exifData()) &&
                          detail::sameXmp(expected.xmp, image->xmpData()) &&
                          detail::sameIptc(expected.iptc, image->iptcData());
        return same ? QString() : reasons::kMismatch;
    } catch (const Exiv2::AnyError&) {
        return reasons::kMismatch;
    }
}

// Every other writable format: Exiv2's own writer for that format, on a copy of the source in
// memory; the result goes to the temporary file and is read back from there.
QString writeWithExiv2(int source, off_t sourceSize, const Exiv2::ExifData& exif, int imageType,
                       bool makerNoteDropped, detail::TempFile& temp) {
    std::vector<char> original(static_cast<std::size_t>(sourceSize));
    if (!detail::readAt(source, 0, original.data(), original.size()))
        return ioFailure();
    Expected expected{exif, {}, {}};
    {
        LogCapture log;
        auto image = Exiv2::ImageFactory::open(
            reinterpret_cast<const Exiv2::byte*>(original.data()), long(original.size()));
        if (!image.get() || image->imageType() != imageType)
            return reasons::kSourceChanged;
        image->readMetadata();
        expected.xmp = image->xmpData();
        expected.iptc = image->iptcData();
        if (detail::eraseXmpGps(expected.xmp)) {
            image->setXmpData(expected.xmp);
            image->writeXmpFromPacket(false);
        } else {
            // Keep the XMP packet byte for byte rather than re-serialising it.
            image->writeXmpFromPacket(true);
        }
        image->setExifData(exif);
        image->writeMetadata();
        if (anyLoss(log, makerNoteDropped))
            return reasons::kNotEncoded;
        Exiv2::BasicIo& io = image->io();
        if (io.open() != 0)
            return reasons::kNotEncoded;
        const long size = io.size();
        const Exiv2::byte* data = size > 0 ? io.mmap() : nullptr;
        const bool written =
            data &&
            detail::writeAll(temp.fd(), reinterpret_cast<const char*>(data), std::size_t(size));
        const int error = errno;
        io.munmap();
        io.close();
        errno = error;
        if (!written)
            return ioFailure();
    }
    return readBackWhole(temp.fd(), imageType, expected);
}

} // namespace

bool writableFormat(int imageType, const QString& suffix) {
    // Exiv2 also "writes" ARW, SR2, SRF and CRW, but drops the GPS tags or a private block there;
    // RAF, MRW, RW2, ORF and the rest it cannot write at all.
    static const QStringList jpeg{QStringLiteral("jpg"), QStringLiteral("jpeg"),
                                  QStringLiteral("jpe"), QStringLiteral("jfif"),
                                  QStringLiteral("jif")};
    static const QStringList tiff{QStringLiteral("tif"), QStringLiteral("tiff"),
                                  QStringLiteral("dng"), QStringLiteral("nef"),
                                  QStringLiteral("pef"), QStringLiteral("srw")};
    static const QStringList exv{QStringLiteral("exv"), QStringLiteral("exi"),
                                 QStringLiteral("exif")};
    switch (imageType) {
    case Exiv2::ImageType::jpeg:
        return jpeg.contains(suffix);
    case Exiv2::ImageType::tiff:
        return tiff.contains(suffix);
    case Exiv2::ImageType::exv:
        return exv.contains(suffix);
    case Exiv2::ImageType::cr2:
        return suffix == u"cr2";
    default:
        return false;
    }
}

namespace {

// Why a photo of this kind and name is not written.
QString unwritableReason(detail::FileKind kind, int imageType, const QString& suffix) {
    const bool writableContent = imageType == Exiv2::ImageType::jpeg ||
                                 imageType == Exiv2::ImageType::exv ||
                                 imageType == Exiv2::ImageType::cr2;
    const bool otherKindsName = writableFormat(Exiv2::ImageType::jpeg, suffix) ||
                                writableFormat(Exiv2::ImageType::exv, suffix) || suffix.isEmpty();
    if (writableContent || (imageType == Exiv2::ImageType::tiff && otherKindsName))
        return QStringLiteral("扩展名与文件内容不符（%1）").arg(detail::kindName(kind));
    // A TIFF-based RAW is known by its extension; the other kinds by their content.
    const QString name = kind == detail::FileKind::Tiff && !suffix.isEmpty()
                             ? suffix.toUpper()
                             : detail::kindName(kind);
    return QStringLiteral("此格式不支持写入（%1）").arg(name);
}

// The Exiv2 image types that may come of each kind of content.
bool typeFitsKind(int imageType, detail::FileKind kind) {
    using detail::FileKind;
    namespace type = Exiv2::ImageType;
    switch (kind) {
    case FileKind::Jpeg:
        return imageType == type::jpeg;
    case FileKind::Tiff:
        return imageType == type::tiff || imageType == type::cr2;
    case FileKind::Orf:
        return imageType == type::orf;
    case FileKind::Rw2:
        return imageType == type::rw2;
    case FileKind::Crw:
        return imageType == type::crw;
    case FileKind::Raf:
        return imageType == type::raf;
    case FileKind::Mrw:
        return imageType == type::mrw;
    case FileKind::Png:
        return imageType == type::png;
    case FileKind::WebP:
        return imageType == Exiv2::ImageType::webp;
    case FileKind::Exv:
        return imageType == type::exv;
    case FileKind::Heif:
    case FileKind::Avif:
    case FileKind::Cr3:
        return imageType == type::bmff;
    default:
        return false;
    }
}

QByteArray readHead(int fd, off_t fileSize) {
    QByteArray head(qsizetype(std::min<off_t>(fileSize, detail::kSniffBytes)), Qt::Uninitialized);
    return detail::readAt(fd, 0, head.data(), std::size_t(head.size())) ? head : QByteArray();
}

} // namespace

Exiv2Codec::Exiv2Codec() {
    detail::installExiv2LogHandler();
    // HEIF, AVIF and CR3 are read through Exiv2's reader of ISO media files, off by default.
    Exiv2::enableBMFF(true);
}

Exiv2Codec::~Exiv2Codec() = default;

QString Exiv2Codec::LastError() const {
    return m_lastError;
}

qint32 Exiv2Codec::failed(qint32 result, const QString& reason) {
    m_lastError = reason;
    return result;
}

qint32 Exiv2Codec::OpenFile(const QString& path, bool readMakerNote, bool forWriting) {
    m_photo.reset();
    m_lastError.clear();
    try {
        return open(path, readMakerNote, forWriting);
    } catch (const Exiv2::AnyError&) {
        return failed(DamagedMetadata, reasons::kDamaged);
    } catch (const std::exception&) {
        return failed(DamagedMetadata, reasons::kDamaged);
    } catch (...) {
        return failed(ReadError, reasons::kDamaged);
    }
}

qint32 Exiv2Codec::open(const QString& path, bool readMakerNote, bool forWriting) {
    if (path.isEmpty())
        return failed(FileMissing, reasons::kNoSuchFile);
    const QFileInfo info(path);
    auto photo = std::make_unique<Photo>();
    photo->path = info.absoluteFilePath();
    photo->suffix = info.suffix().toLower();
    // One open and one fstat answer every question about the file itself.
    detail::Fd file = detail::openForReading(photo->path);
    if (!file.valid()) {
        const int error = errno;
        return error == ENOENT || error == ENOTDIR ? failed(FileMissing, reasons::kNoSuchFile)
                                                   : failed(ReadError, systemErrorText(error));
    }
    const auto identity = detail::identityOf(file.get());
    if (!identity)
        return failed(ReadError, systemErrorText(errno));
    if (!identity->regular)
        return failed(NotAFile, reasons::kNotAFile);
    if (identity->size > kMaxPhotoBytes)
        return failed(TooLarge, reasons::kTooLarge);
    if (identity->size == 0)
        return failed(UnknownType, reasons::kEmpty);
    // The content decides, before any metadata reader sees the file.
    const QByteArray head = readHead(file.get(), identity->size);
    if (head.isEmpty())
        return failed(ReadError, systemErrorText(errno));
    photo->kind = detail::sniffFileKind(head);
    if (!detail::isPhotoKind(photo->kind)) {
        const QString kind = detail::kindName(photo->kind);
        return failed(UnknownType, kind.isEmpty() ? reasons::kNotAPhoto
                                                  : reasons::kNotAPhoto + u'（' + kind + u'）');
    }
    photo->identity = *identity;
    photo->forWriting = forWriting;
    photo->makerNoteDropped = forWriting && !readMakerNote;

    LogCapture log;
    bool decoded = true;
    if (photo->kind == detail::FileKind::Jpeg)
        photo->jpeg = detail::readJpegLayout(file.get(), identity->size);
    if (photo->jpeg)
        decoded = decodeJpegExif(*photo);
    else if (const qint32 failure = readWithExiv2(*photo); failure != Opened)
        return failure;

    if (forWriting) {
        // A rewrite from what was read would silently leave out what was not.
        if (!decoded || anyLoss(log, photo->makerNoteDropped))
            return failed(PartlyUnreadable, reasons::kPartlyUnreadable);
        // A new position must never sit beside an old altitude, speed or direction.
        photo->hadGps = std::any_of(photo->exif.begin(), photo->exif.end(),
                                    [](const auto& datum) { return detail::isGpsTag(datum); });
        detail::eraseGpsTags(photo->exif);
        if (photo->makerNoteDropped)
            detail::eraseMakerNote(photo->exif);
    } else {
        photo->jpeg.reset();
    }
    photo->gps = detail::GpsDirectory(photo->exif);
    if (forWriting)
        photo->file = std::move(file);
    m_photo = std::move(photo);
    return decoded && log.empty() ? Opened : OpenedWithWarnings;
}

// All the codec reads or rewrites of a JPEG is its EXIF segment (and an XMP segment holding a
// position); IPTC, ICC and the rest are carried over byte for byte, so they are not parsed.
// Reading needs the GPS directory only (every query names directory 3): damage elsewhere in the
// block does not concern the reader.
bool Exiv2Codec::decodeJpegExif(Photo& photo) {
    photo.imageType = Exiv2::ImageType::jpeg;
    const QByteArray& tiff = photo.jpeg->exif;
    if (tiff.isEmpty())
        return true;
    if (!photo.forWriting)
        return decodeGpsOnly(tiff, photo.exif);
    photo.byteOrder = Exiv2::ExifParser::decode(
        photo.exif, reinterpret_cast<const Exiv2::byte*>(tiff.constData()), uint32_t(tiff.size()));
    return photo.byteOrder != Exiv2::invalidByteOrder;
}

// Every other kind through Exiv2's image classes, once the class Exiv2 picks agrees with the
// content. Opened, or the failure to report.
qint32 Exiv2Codec::readWithExiv2(Photo& photo) {
    Exiv2::Image::AutoPtr image;
    try {
        image = Exiv2::ImageFactory::open(exiv2Path(photo.path));
    } catch (const Exiv2::AnyError& error) {
        return error.code() == Exiv2::kerFileContainsUnknownImageType
                   ? failed(UnknownType, reasons::kNotAPhoto)
                   : failed(ReadError, reasons::kDamaged);
    }
    if (!image.get() || !typeFitsKind(image->imageType(), photo.kind))
        return failed(UnknownType, reasons::kNotAPhoto);
    try {
        image->readMetadata();
    } catch (const Exiv2::AnyError& error) {
        const bool unreadable = error.code() == Exiv2::kerDataSourceOpenFailed ||
                                error.code() == Exiv2::kerInputDataReadFailed;
        return unreadable ? failed(ReadError, systemErrorText(EIO))
                          : failed(DamagedMetadata, reasons::kDamaged);
    }
    photo.imageType = image->imageType();
    photo.byteOrder = image->byteOrder();
    photo.exif = std::move(image->exifData());
    return Opened;
}

bool Exiv2Codec::IsTagExisted(int tag, int directory) const {
    try {
        return m_photo && directory == kGpsDirectory && detail::hasUsableGpsTag(m_photo->gps, tag);
    } catch (...) {
        return false;
    }
}

QString Exiv2Codec::TagValueString(int tag, int directory) const {
    try {
        if (!m_photo || directory != kGpsDirectory)
            return {};
        return detail::gpsTagString(m_photo->gps, tag);
    } catch (...) {
        return {};
    }
}

QString Exiv2Codec::TagValueLabel(int tag, int directory) const {
    try {
        if (!m_photo || directory != kGpsDirectory)
            return {};
        return detail::gpsTagLabel(m_photo->gps, tag);
    } catch (...) {
        return {};
    }
}

bool Exiv2Codec::GetGpsCoordinate(double& latitude, double& longitude) const {
    latitude = longitude = 0;
    try {
        if (!m_photo)
            return false;
        const auto position = detail::gpsPosition(m_photo->gps);
        if (!position)
            return false;
        latitude = position->latitude;
        longitude = position->longitude;
        return true;
    } catch (...) {
        return false;
    }
}

bool Exiv2Codec::AddTag(int tag, int directory, int type, qint16 count, const TagValue& value,
                        bool /*flag*/) {
    if (!m_photo)
        return false;
    bool added = false;
    try {
        added = directory == kGpsDirectory && addTag(tag, type, count, value);
    } catch (...) {
        added = false;
    }
    // The writer does not look at this result; its save must not pass off a copy without the tag.
    if (!added)
        m_photo->tagRefused = true;
    return added;
}

bool Exiv2Codec::addTag(int tag, int type, qint16 count, const TagValue& value) {
    if (tag < 0 || tag > 0xffff || count <= 0)
        return false;
    const auto exiv2Value = tagValue(type, count, value);
    if (!exiv2Value)
        return false;
    if (Exiv2::Exifdatum* existing = m_photo->gps.find(tag)) {
        existing->setValue(exiv2Value.get());
        return true;
    }
    m_photo->exif.add(Exiv2::ExifKey(uint16_t(tag), "GPSInfo"), exiv2Value.get());
    m_photo->gps = detail::GpsDirectory(m_photo->exif);
    return true;
}

bool Exiv2Codec::SaveToJPEG(const QString& destination) {
    try {
        m_lastError = save(destination);
    } catch (...) {
        m_lastError = reasons::kNotEncoded;
    }
    return m_lastError.isEmpty();
}

// A copy made ready by prepare(): the photo, and for a JPEG the new segments, checked.
class Exiv2Codec::Prepared final : public PreparedSave {
public:
    Prepared(std::unique_ptr<Photo> photo, QString destination, QString failure);
    Prepared(Prepared&&) noexcept;
    ~Prepared() override;

    void check() override;
    QString commit() override;
    std::unique_ptr<Photo> releasePhoto();

private:
    friend class Exiv2Codec;
    QString write();
    void settle();

    std::unique_ptr<Photo> m_photo;
    QString m_destination;
    QString m_failure; // a refusal found while preparing
    JpegSplice m_splice;
    bool m_settled = false;
};

QString Exiv2Codec::save(const QString& destination) {
    Prepared prepared = prepare(destination);
    const QString failure = prepared.commit();
    // The photo stays open, as after any save.
    m_photo = prepared.releasePhoto();
    return failure;
}

std::unique_ptr<PreparedSave> Exiv2Codec::PrepareSave(const QString& destination) {
    // Only the JPEG splice parts metadata work from file work; Exiv2's writers do both at once.
    if (!m_photo || !m_photo->jpeg || m_photo->imageType != Exiv2::ImageType::jpeg)
        return nullptr;
    m_lastError.clear();
    try {
        return std::make_unique<Prepared>(prepare(destination));
    } catch (...) {
        return std::make_unique<Prepared>(std::move(m_photo), destination, reasons::kNotEncoded);
    }
}

// Takes the photo; a refusal goes with the result, for commit() to give.
Exiv2Codec::Prepared Exiv2Codec::prepare(const QString& destination) {
    if (!m_photo || !m_photo->forWriting)
        return {std::move(m_photo), destination, reasons::kNotOpened};
    if (m_photo->tagRefused)
        return {std::move(m_photo), destination, reasons::kTagRefused};
    const Photo& photo = *m_photo;
    if (!writableFormat(photo.imageType, photo.suffix)) {
        QString reason = unwritableReason(photo.kind, photo.imageType, photo.suffix);
        return {std::move(m_photo), destination, std::move(reason)};
    }
    if (destination.isEmpty())
        return {std::move(m_photo), destination, systemErrorText(ENOENT)};
    Prepared prepared(std::move(m_photo), destination, {});
    if (photo.imageType == Exiv2::ImageType::jpeg && photo.jpeg) {
        prepared.m_splice = planJpegSplice(*photo.jpeg, photo.exif, photo.byteOrder,
                                           photo.makerNoteDropped, photo.hadGps);
    }
    return prepared;
}

Exiv2Codec::Prepared::Prepared(std::unique_ptr<Photo> photo, QString destination, QString failure)
    : m_photo(std::move(photo)), m_destination(std::move(destination)),
      m_failure(std::move(failure)) {}

Exiv2Codec::Prepared::Prepared(Prepared&&) noexcept = default;
Exiv2Codec::Prepared::~Prepared() = default;

QString Exiv2Codec::Prepared::commit() {
    try {
        return write();
    } catch (...) {
        return reasons::kNotEncoded;
    }
}

QString Exiv2Codec::Prepared::write() {
    if (!m_failure.isEmpty() || !m_photo)
        return m_failure.isEmpty() ? reasons::kNotOpened : m_failure;
    const Photo& photo = *m_photo;
    const bool splice = photo.imageType == Exiv2::ImageType::jpeg && photo.jpeg;
    if (splice && !m_settled) {
        settle();
        if (!m_failure.isEmpty())
            return m_failure;
    }
    // Never the source, whether named directly, through a symbolic link or as another name of
    // its inode: stat() resolves them all to the source's device and inode. (A missing folder
    // is reported by the file's creation below.)
    const QString target = QFileInfo(m_destination).absoluteFilePath();
    if (const auto existing = detail::identityOf(target);
        existing && existing->sameFile(photo.identity))
        return reasons::kSourceItself;

    // The descriptor the metadata was read from: the copy is made of those very bytes.
    const detail::Fd reopened =
        photo.file.valid() ? detail::Fd() : detail::openForReading(photo.path);
    const int source = photo.file.valid() ? photo.file.get() : reopened.get();
    if (source < 0)
        return systemErrorText(errno);
    // The EXIF we hold was read from these bytes; a file changed since cannot take it.
    const auto now = detail::identityOf(source);
    if (!now || !(*now == photo.identity))
        return reasons::kSourceChanged;

    auto temp = detail::TempFile::create(target, photo.identity.permissions);
    if (!temp)
        return systemErrorText(errno);
    // One buffer per thread that writes copies, reused by every copy it writes.
    thread_local std::vector<char> buffer;
    errno = 0; // a short read at the end of a file sets none, and must not borrow an old one

    const QString failure =
        splice ? writeJpegSplice(source, photo.identity.size, m_splice.replacements, *temp, buffer)
               : writeWithExiv2(source, photo.identity.size, photo.exif, photo.imageType,
                                photo.makerNoteDropped, *temp);
    if (!failure.isEmpty())
        return failure;
    return temp->commit() ? QString() : systemErrorText(errno);
}

void Exiv2Codec::Prepared::check() {
    try {
        if (m_failure.isEmpty() && m_photo && m_photo->jpeg &&
            m_photo->imageType == Exiv2::ImageType::jpeg && !m_settled)
            settle();
    } catch (...) {
        m_failure = reasons::kNotEncoded;
    }
}

void Exiv2Codec::Prepared::settle() {
    m_settled = true;
    m_failure = settleJpegSplice(m_splice, *m_photo->jpeg, m_photo->exif, m_photo->byteOrder,
                                 m_photo->makerNoteDropped);
}

std::unique_ptr<Exiv2Codec::Photo> Exiv2Codec::Prepared::releasePhoto() {
    return std::move(m_photo);
}

} // namespace codec
