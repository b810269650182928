#include "exiv2codec.h"

#include "exiv2log.h"
#include "gpstags.h"
#include "photofile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <exiv2/exiv2.hpp>
#include <string_view>

namespace codec {

using detail::LogCapture;

struct Exiv2Codec::Photo {
    QString path; // absolute
    QString suffix;
    int imageType = Exiv2::ImageType::none;
    detail::FileIdentity identity;
    Exiv2::ExifData exif;
    detail::GpsDirectory gps; // into exif
    Exiv2::ByteOrder byteOrder = Exiv2::invalidByteOrder;
    std::optional<detail::JpegLayout> jpeg; // where the EXIF segment sits, for the splice
    bool forWriting = false;
    bool makerNoteDropped = false;
    bool tagRefused = false; // an AddTag failed: a copy would lack that tag
};

namespace {

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
// writer would produce from the same data. Empty result with ok when nothing is left to write.
struct ExifSegment {
    bool ok = false;
    QByteArray bytes;
};

ExifSegment encodeExifSegment(const Exiv2::ExifData& exif, Exiv2::ByteOrder byteOrder,
                              QByteArray oldTiff, bool makerNoteDropped) {
    if (exif.empty())
        return {true, {}};
    LogCapture log;
    Exiv2::Blob blob;
    const Exiv2::ByteOrder order =
        byteOrder == Exiv2::invalidByteOrder ? Exiv2::littleEndian : byteOrder;
    // Non-intrusive encoding updates the old structure in place, hence the copy.
    const Exiv2::WriteMethod method =
        Exiv2::ExifParser::encode(blob, reinterpret_cast<const Exiv2::byte*>(oldTiff.constData()),
                                  uint32_t(oldTiff.size()), order, exif);
    if (anyLoss(log, makerNoteDropped))
        return {};
    const char* tiff = oldTiff.constData();
    qsizetype size = oldTiff.size();
    if (method == Exiv2::wmIntrusive) {
        tiff = blob.empty() ? nullptr : reinterpret_cast<const char*>(blob.data());
        size = qsizetype(blob.size());
    }
    if (size == 0)
        return {true, {}};
    if (size + 8 > 0xffff)
        return {}; // does not fit one JPEG segment
    QByteArray segment;
    segment.reserve(size + 10);
    segment.append(char(0xff)).append(char(0xe1));
    segment.append(char((size + 8) >> 8)).append(char((size + 8) & 0xff));
    segment.append("Exif\0\0", 6);
    segment.append(tiff, size);
    return {true, segment};
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

// Reads the segment back from the written file and decodes it: the bytes on disk must be ours
// and must carry the GPS directory we meant to write.
bool verifySegment(int fd, off_t offset, const QByteArray& segment,
                   const Exiv2::ExifData& expected) {
    QByteArray onDisk(segment.size(), Qt::Uninitialized);
    qsizetype got = 0;
    while (got < onDisk.size()) {
        const ssize_t n =
            ::pread(fd, onDisk.data() + got, std::size_t(onDisk.size() - got), offset + got);
        if (n <= 0)
            return false;
        got += n;
    }
    if (onDisk != segment)
        return false;
    if (segment.isEmpty())
        return detail::sameGpsTags(expected, Exiv2::ExifData());
    LogCapture log;
    Exiv2::ExifData readBack;
    return decodeGpsOnly(onDisk.mid(10), readBack) && log.empty() &&
           detail::sameGpsTags(expected, readBack);
}

// The fast road for JPEG: the photo's own segments stay as they are, only the EXIF segment is
// replaced, and the image data is copied by the kernel (or through one reused buffer).
bool spliceJpeg(int source, off_t sourceSize, const detail::JpegLayout& layout,
                const Exiv2::ExifData& exif, Exiv2::ByteOrder byteOrder, bool makerNoteDropped,
                detail::TempFile& temp, std::vector<char>& buffer) {
    const ExifSegment segment = encodeExifSegment(exif, byteOrder, layout.exif, makerNoteDropped);
    if (!segment.ok)
        return false;
    const off_t tail = sourceSize - layout.exifEnd;
    const off_t expectedSize = layout.exifStart + off_t(segment.bytes.size()) + tail;
    const bool written =
        detail::copyRange(source, 0, layout.exifStart, temp.fd(), buffer) &&
        detail::writeAll(temp.fd(), segment.bytes.constData(), std::size_t(segment.bytes.size())) &&
        detail::copyRange(source, layout.exifEnd, tail, temp.fd(), buffer);
    if (!written)
        return false;
    const auto result = detail::identityOf(temp.fd());
    return result && result->size == expectedSize &&
           verifySegment(temp.fd(), layout.exifStart, segment.bytes, exif);
}

bool readBackMatches(const QString& path, int imageType, const Exiv2::ExifData& expected) {
    LogCapture log;
    auto image = Exiv2::ImageFactory::open(exiv2Path(path));
    if (!image.get() || image->imageType() != imageType)
        return false;
    image->readMetadata();
    return !anyLoss(log, false) && detail::sameGpsTags(expected, image->exifData());
}

// Every other writable format: a byte copy beside the destination, rewritten by Exiv2's own
// writer for that format, then read back.
bool writeWithExiv2(int source, off_t sourceSize, const Exiv2::ExifData& exif, int imageType,
                    bool makerNoteDropped, detail::TempFile& temp, std::vector<char>& buffer) {
    if (!detail::copyRange(source, 0, sourceSize, temp.fd(), buffer))
        return false;
    const auto copied = detail::identityOf(temp.fd());
    if (!copied || copied->size != sourceSize || !temp.closeFd())
        return false;
    {
        LogCapture log;
        auto image = Exiv2::ImageFactory::open(exiv2Path(temp.path()));
        if (!image.get() || image->imageType() != imageType)
            return false;
        image->readMetadata();
        // Keep the XMP packet byte for byte rather than re-serialising it.
        image->writeXmpFromPacket(true);
        image->setExifData(exif);
        image->writeMetadata();
        if (anyLoss(log, makerNoteDropped))
            return false;
    }
    return readBackMatches(temp.path(), imageType, exif);
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

Exiv2Codec::Exiv2Codec() {
    detail::installExiv2LogHandler();
}

Exiv2Codec::~Exiv2Codec() = default;

qint32 Exiv2Codec::OpenFile(const QString& path, bool readMakerNote, bool forWriting) {
    m_photo.reset();
    try {
        return open(path, readMakerNote, forWriting);
    } catch (const Exiv2::AnyError&) {
        return DamagedMetadata;
    } catch (const std::exception&) {
        return DamagedMetadata;
    } catch (...) {
        return ReadError;
    }
}

qint32 Exiv2Codec::open(const QString& path, bool readMakerNote, bool forWriting) {
    if (path.isEmpty())
        return FileMissing;
    const QFileInfo info(path);
    auto photo = std::make_unique<Photo>();
    photo->path = info.absoluteFilePath();
    photo->suffix = info.suffix().toLower();
    // One open and one fstat answer every question about the file itself.
    const detail::Fd file = detail::openForReading(photo->path);
    if (!file.valid())
        return errno == ENOENT || errno == ENOTDIR ? FileMissing : ReadError;
    const auto identity = detail::identityOf(file.get());
    if (!identity)
        return ReadError;
    if (!identity->regular)
        return NotAFile;
    if (identity->size > kMaxPhotoBytes)
        return TooLarge;
    if (identity->size == 0)
        return UnknownType;
    photo->identity = *identity;
    photo->forWriting = forWriting;
    photo->makerNoteDropped = forWriting && !readMakerNote;

    LogCapture log;
    bool decoded = true;
    photo->jpeg = detail::readJpegLayout(file.get(), identity->size);
    if (photo->jpeg)
        decoded = decodeJpegExif(*photo);
    else if (const qint32 failure = readWithExiv2(*photo); failure != Opened)
        return failure;

    if (forWriting) {
        // A rewrite from what was read would silently leave out what was not.
        if (!decoded || anyLoss(log, photo->makerNoteDropped))
            return PartlyUnreadable;
        // A new position must never sit beside an old altitude, speed or direction.
        detail::eraseGpsTags(photo->exif);
        if (photo->makerNoteDropped)
            detail::eraseMakerNote(photo->exif);
    } else {
        photo->jpeg.reset();
    }
    photo->gps = detail::GpsDirectory(photo->exif);
    m_photo = std::move(photo);
    return decoded && log.empty() ? Opened : OpenedWithWarnings;
}

// All the codec reads or rewrites of a JPEG is its EXIF segment; XMP, IPTC, ICC and the rest
// are carried over byte for byte, so they are not parsed. Reading needs the GPS directory only
// (every query names directory 3): damage elsewhere in the block does not concern the reader.
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

// Every other format through Exiv2's image classes. Opened, or the failure to report.
qint32 Exiv2Codec::readWithExiv2(Photo& photo) {
    Exiv2::Image::AutoPtr image;
    try {
        image = Exiv2::ImageFactory::open(exiv2Path(photo.path));
    } catch (const Exiv2::AnyError& error) {
        return error.code() == Exiv2::kerFileContainsUnknownImageType ? UnknownType : ReadError;
    }
    if (!image.get())
        return UnknownType;
    try {
        image->readMetadata();
    } catch (const Exiv2::AnyError& error) {
        const bool unreadable = error.code() == Exiv2::kerDataSourceOpenFailed ||
                                error.code() == Exiv2::kerInputDataReadFailed;
        return unreadable ? ReadError : DamagedMetadata;
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
        return save(destination);
    } catch (...) {
        return false;
    }
}

bool Exiv2Codec::save(const QString& destination) {
    if (!m_photo || !m_photo->forWriting || m_photo->tagRefused || destination.isEmpty())
        return false;
    const Photo& photo = *m_photo;
    if (!writableFormat(photo.imageType, photo.suffix))
        return false;

    const QFileInfo target(destination);
    if (!target.absoluteDir().exists())
        return false;
    // Never the source, whether named directly, through a symbolic link or as another name of
    // its inode: stat() resolves them all to the source's device and inode.
    if (const auto existing = detail::identityOf(target.absoluteFilePath());
        existing && existing->sameFile(photo.identity))
        return false;

    const detail::Fd source = detail::openForReading(photo.path);
    if (!source.valid())
        return false;
    // The EXIF we hold was read from these bytes; a file changed since cannot take it.
    const auto now = detail::identityOf(source.get());
    if (!now || !(*now == photo.identity))
        return false;

    auto temp = detail::TempFile::createBeside(target.absoluteFilePath());
    if (!temp)
        return false;
    const bool written =
        photo.imageType == Exiv2::ImageType::jpeg && photo.jpeg
            ? spliceJpeg(source.get(), photo.identity.size, *photo.jpeg, photo.exif,
                         photo.byteOrder, photo.makerNoteDropped, *temp, m_copyBuffer)
            : writeWithExiv2(source.get(), photo.identity.size, photo.exif, photo.imageType,
                             photo.makerNoteDropped, *temp, m_copyBuffer);
    return written && temp->commit();
}

} // namespace codec
