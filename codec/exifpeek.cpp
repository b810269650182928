#include "codec/exifpeek.h"

#include "codec/exiv2codec.h"

#include <QFile>
#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace codec {
namespace {

constexpr unsigned kExifPointer = 0x8769;
constexpr unsigned kGpsPointer = 0x8825;
constexpr unsigned kDateTimeOriginal = 0x9003;
constexpr unsigned kOffsetTimeOriginal = 0x9011;
constexpr unsigned kSubSecTimeOriginal = 0x9291;

enum TiffType : unsigned { Byte = 1, Ascii = 2, Short = 3, Long = 4, URational = 5, Ifd = 13 };

// No real directory comes near this; a damaged count must not make us read megabytes.
constexpr unsigned kMaxEntries = 1000;
constexpr unsigned kMaxText = 64;
constexpr std::size_t kMaxGpsEntries = 256;
constexpr off_t kBlock = 4096;

// Reads through one cached block: the header, the EXIF directories and the segment heads of a
// JPEG mostly share the first few kilobytes.
class BlockFile {
public:
    explicit BlockFile(const QString& path)
        : m_fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)) {}
    ~BlockFile() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    BlockFile(const BlockFile&) = delete;
    BlockFile& operator=(const BlockFile&) = delete;

    // A regular file of a size the codec accepts.
    bool open() {
        struct stat st {};
        if (m_fd < 0 || ::fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 8 ||
            st.st_size > kMaxPhotoBytes)
            return false;
        m_size = st.st_size;
        m_device = st.st_dev;
        m_inode = st.st_ino;
        return true;
    }
    off_t size() const { return m_size; }
    quint64 device() const { return m_device; }
    quint64 inode() const { return m_inode; }

    bool read(off_t at, void* out, std::size_t length) {
        if (at < 0 || off_t(length) > m_size || at > m_size - off_t(length))
            return false;
        auto* bytes = static_cast<char*>(out);
        while (length > 0) {
            if (at < m_blockStart || at >= m_blockStart + m_blockLength) {
                if (!fill(at))
                    return false;
            }
            const std::size_t n =
                std::min<std::size_t>(length, std::size_t(m_blockStart + m_blockLength - at));
            std::memcpy(bytes, m_block.data() + (at - m_blockStart), n);
            bytes += n;
            at += off_t(n);
            length -= n;
        }
        return true;
    }

private:
    bool fill(off_t at) {
        const off_t start = at - at % 4096;
        const std::size_t want = std::size_t(std::min(kBlock, m_size - start));
        std::size_t got = 0;
        while (got < want) {
            const ssize_t n = ::pread(m_fd, m_block.data() + got, want - got, start + off_t(got));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            got += std::size_t(n);
        }
        m_blockStart = start;
        m_blockLength = off_t(got);
        return true;
    }

    int m_fd;
    off_t m_size = 0;
    quint64 m_device = 0;
    quint64 m_inode = 0;
    std::array<char, kBlock> m_block; // filled before it is read
    off_t m_blockStart = 0;
    off_t m_blockLength = 0;
};

// The bytes of one value: no value the look reads is longer than a 64-byte text.
struct Value {
    std::array<unsigned char, kMaxText> bytes;
    std::size_t size = 0;

    const unsigned char* data() const { return bytes.data(); }
    const unsigned char* begin() const { return bytes.data(); }
    const unsigned char* end() const { return bytes.data() + size; }
    unsigned char front() const { return bytes[0]; }
};

struct Entry {
    unsigned tag = 0;
    unsigned type = 0;
    std::uint32_t count = 0;
    unsigned char value[4]{}; // the value itself, or its offset
};

// A TIFF structure at [base, base + size) of the file; offsets inside it are relative to base.
class Tiff {
public:
    Tiff(BlockFile& file, off_t base, off_t size) : m_file(file), m_base(base), m_size(size) {}

    // Reads the header; false when it is no TIFF header with magic 42.
    bool open() {
        unsigned char header[8];
        if (m_size < 8 || !m_file.read(m_base, header, 8))
            return false;
        if (header[0] == 'I' && header[1] == 'I')
            m_little = true;
        else if (header[0] == 'M' && header[1] == 'M')
            m_little = false;
        else
            return false;
        m_magic = u16(header + 2);
        m_ifd0 = u32(header + 4);
        return m_ifd0 >= 8;
    }
    bool isTiff42() const { return m_magic == 42; }
    std::uint32_t ifd0() const { return m_ifd0; }

    // The entries of the directory at offset; empty when it does not fit.
    std::optional<std::vector<Entry>> directory(std::uint32_t offset) const {
        unsigned char countBytes[2];
        if (offset < 8 || !inside(offset, 2) || !m_file.read(m_base + offset, countBytes, 2))
            return std::nullopt;
        const unsigned count = u16(countBytes);
        if (count > kMaxEntries || !inside(std::uint64_t(offset) + 2, std::uint64_t(count) * 12))
            return std::nullopt;
        std::array<unsigned char, kMaxEntries * 12> raw;
        if (!m_file.read(m_base + offset + 2, raw.data(), std::size_t(count) * 12))
            return std::nullopt;
        std::vector<Entry> entries(count);
        for (unsigned i = 0; i < count; ++i) {
            const unsigned char* e = raw.data() + std::size_t(i) * 12;
            entries[i].tag = u16(e);
            entries[i].type = u16(e + 2);
            entries[i].count = u32(e + 4);
            std::memcpy(entries[i].value, e + 8, 4);
        }
        return entries;
    }

    // The value bytes of an entry whose values take size bytes each; empty when they lie
    // outside the structure.
    std::optional<Value> bytes(const Entry& entry, unsigned size) const {
        const std::uint64_t length = std::uint64_t(entry.count) * size;
        Value out;
        out.size = std::size_t(length);
        if (length <= 4) {
            std::copy(entry.value, entry.value + length, out.bytes.begin());
            return out;
        }
        const std::uint32_t at = u32(entry.value);
        if (length > kMaxText || at < 8 || !inside(at, length))
            return std::nullopt;
        if (!m_file.read(m_base + at, out.bytes.data(), out.size))
            return std::nullopt;
        return out;
    }

    // An ASCII value less trailing NULs and blanks; empty for another type.
    QString ascii(const Entry& entry) const {
        if (entry.type != Ascii || entry.count == 0 || entry.count > kMaxText)
            return {};
        const auto value = bytes(entry, 1);
        if (!value)
            return {};
        const auto end = std::find(value->begin(), value->end(), '\0');
        return QString::fromLatin1(reinterpret_cast<const char*>(value->data()),
                                   qsizetype(end - value->begin()))
            .trimmed();
    }

    std::uint32_t u32(const unsigned char* p) const {
        return m_little ? std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 |
                              std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24
                        : std::uint32_t(p[3]) | std::uint32_t(p[2]) << 8 |
                              std::uint32_t(p[1]) << 16 | std::uint32_t(p[0]) << 24;
    }
    unsigned u16(const unsigned char* p) const {
        return m_little ? unsigned(p[0]) | unsigned(p[1]) << 8
                        : unsigned(p[1]) | unsigned(p[0]) << 8;
    }

    bool inside(std::uint64_t offset, std::uint64_t length) const {
        return offset <= std::uint64_t(m_size) && length <= std::uint64_t(m_size) - offset;
    }

private:
    BlockFile& m_file;
    off_t m_base;
    off_t m_size;
    bool m_little = true;
    unsigned m_magic = 0;
    std::uint32_t m_ifd0 = 0;
};

struct Span {
    off_t base = 0;
    off_t size = 0;
};

// The TIFF structure of the first "Exif" APP1 segment, walking the segments up to the image data
// by the rules the codec's splice uses; empty when the header breaks them anywhere (the codec then
// reads the file another way) or holds no EXIF segment.
std::optional<Span> jpegExif(BlockFile& file) {
    std::optional<Span> exif;
    off_t offset = 2;
    for (;;) {
        unsigned char head[4];
        if (!file.read(offset, head, 2) || head[0] != 0xff)
            return std::nullopt;
        while (head[1] == 0xff) {
            ++offset;
            if (!file.read(offset + 1, head + 1, 1))
                return std::nullopt;
        }
        const unsigned marker = head[1];
        if (marker == 0xda)
            return exif;
        if (marker == 0xd9 || marker == 0x00 || marker == 0x01 ||
            (marker >= 0xd0 && marker <= 0xd7))
            return std::nullopt;
        if (!file.read(offset + 2, head + 2, 2))
            return std::nullopt;
        const off_t length = off_t(head[2]) << 8 | head[3];
        const off_t end = offset + 2 + length;
        if (length < 2 || end > file.size())
            return std::nullopt;
        if (marker == 0xe1 && !exif && length >= 8) {
            char id[6];
            if (!file.read(offset + 4, id, 6))
                return std::nullopt;
            if (std::memcmp(id, "Exif\0\0", 6) == 0)
                exif = Span{offset + 10, length - 8};
        }
        offset = end;
    }
}

const Entry* only(const std::vector<Entry>& entries, unsigned tag, bool& repeated) {
    const Entry* found = nullptr;
    for (const Entry& entry : entries) {
        if (entry.tag == tag) {
            if (found)
                repeated = true;
            found = &entry;
        }
    }
    return found;
}

// The unsigned rationals of an entry as numbers; empty for another type or count, an offset
// outside, a zero denominator.
std::optional<std::array<double, 3>> rationals(const Tiff& tiff, const Entry& entry,
                                               std::uint32_t count) {
    if (entry.type != URational || entry.count != count || count > 3)
        return std::nullopt;
    const auto raw = tiff.bytes(entry, 8);
    if (!raw)
        return std::nullopt;
    std::array<double, 3> values{};
    for (std::uint32_t i = 0; i < count; ++i) {
        const double num = tiff.u32(raw->data() + i * 8);
        const double den = tiff.u32(raw->data() + i * 8 + 4);
        if (den == 0)
            return std::nullopt;
        values[i] = num / den;
    }
    return values;
}

std::optional<double> coordinate(const Tiff& tiff, const Entry* entry, double limit) {
    if (!entry)
        return std::nullopt;
    const auto dms = rationals(tiff, *entry, 3);
    if (!dms)
        return std::nullopt;
    const double value = (*dms)[0] + (*dms)[1] / 60 + (*dms)[2] / 3600;
    return std::isfinite(value) && value <= limit ? std::optional(value) : std::nullopt;
}

// The reference letter as the codec takes it: up to the first NUL, blanks trimmed, upper case.
QChar refLetter(const Tiff& tiff, const Entry* entry, QStringView allowed) {
    // A letter and its NUL sit in the entry itself; anything longer is left to the codec.
    if (!entry || entry->type != Ascii || entry->count == 0 || entry->count > 4)
        return {};
    const auto value = tiff.bytes(*entry, 1);
    if (!value)
        return {};
    const auto end = std::find(value->begin(), value->end(), '\0');
    const QString text = QString::fromLatin1(reinterpret_cast<const char*>(value->data()),
                                             qsizetype(end - value->begin()))
                             .trimmed()
                             .toUpper();
    return text.size() == 1 && allowed.contains(text.front()) ? text.front() : QChar();
}

// Only the common, clean shape is answered: one GPS directory, each position tag once, the
// coordinates as three unsigned rationals. Anything else is the codec's to judge.
std::optional<PeekedPosition> gpsPosition(const Tiff& tiff, const std::vector<Entry>& ifd0) {
    bool repeated = false;
    const Entry* pointer = only(ifd0, kGpsPointer, repeated);
    if (!pointer || repeated || pointer->count != 1 ||
        (pointer->type != Long && pointer->type != Ifd))
        return std::nullopt;
    const std::uint32_t offset = tiff.u32(pointer->value);
    if (offset == tiff.ifd0())
        return std::nullopt;
    const auto gps = tiff.directory(offset);
    // Exiv2 reads no directory of more entries than this.
    if (!gps || gps->size() > kMaxGpsEntries)
        return std::nullopt;
    const Entry* tags[7] = {};
    for (unsigned tag = 1; tag <= 6; ++tag)
        tags[tag] = only(*gps, tag, repeated);
    if (repeated)
        return std::nullopt;
    const QChar latRef = refLetter(tiff, tags[1], u"NS");
    const QChar lonRef = refLetter(tiff, tags[3], u"EW");
    const auto latitude = coordinate(tiff, tags[2], 90);
    const auto longitude = coordinate(tiff, tags[4], 180);
    if (latRef.isNull() || lonRef.isNull() || !latitude || !longitude)
        return std::nullopt;

    PeekedPosition position{latRef == u'S' ? -*latitude : *latitude,
                            lonRef == u'W' ? -*longitude : *longitude, std::nullopt};
    if (const Entry* altitude = tags[6]) {
        if (altitude->type != URational || altitude->count != 1)
            return std::nullopt;
        const auto raw = tiff.bytes(*altitude, 8);
        if (!raw)
            return std::nullopt;
        // A zero denominator makes the altitude unusable, not the position.
        const double den = tiff.u32(raw->data() + 4);
        if (den != 0)
            position.altitude = tiff.u32(raw->data()) / den;
    }
    if (position.altitude) {
        // EXIF gives the reference one BYTE (a SHORT is read alike), 0 above and 1 below sea
        // level; any other reference leaves the altitude without a sure sign, so it counts as
        // absent, as the codec takes it.
        if (const Entry* ref = tags[5]) {
            if (ref->count != 1 || (ref->type != Byte && ref->type != Short)) {
                position.altitude.reset();
                return position;
            }
            const auto value = tiff.bytes(*ref, ref->type == Byte ? 1 : 2);
            if (!value)
                return std::nullopt;
            const unsigned first = ref->type == Byte ? value->front() : tiff.u16(value->data());
            if (first > 1)
                position.altitude.reset();
            else if (first == 1)
                position.altitude = -*position.altitude;
        }
    }
    return position;
}

std::optional<OriginalTime> originalTime(const Tiff& tiff, const std::vector<Entry>& ifd0) {
    bool repeated = false;
    const Entry* pointer = only(ifd0, kExifPointer, repeated);
    if (!pointer || pointer->count != 1)
        return std::nullopt;
    const auto exif = tiff.directory(tiff.u32(pointer->value));
    if (!exif)
        return std::nullopt;
    OriginalTime time;
    for (const Entry& entry : *exif) {
        if (entry.tag == kDateTimeOriginal)
            time.dateTime = tiff.ascii(entry);
        else if (entry.tag == kSubSecTimeOriginal)
            time.subSec = tiff.ascii(entry);
        else if (entry.tag == kOffsetTimeOriginal)
            time.offset = tiff.ascii(entry);
    }
    return time;
}

} // namespace

PhotoPeek peekPhoto(const QString& path, const PeekRequest& request) {
    PhotoPeek peek;
    BlockFile file(path);
    unsigned char magic[2];
    if (!file.open())
        return peek;
    peek.device = file.device();
    peek.inode = file.inode();
    if (!file.read(0, magic, 2))
        return peek;
    Span span{0, file.size()};
    const bool jpeg = magic[0] == 0xff && magic[1] == 0xd8;
    if (jpeg) {
        const auto exif = jpegExif(file);
        if (!exif)
            return peek;
        span = *exif;
    }
    Tiff tiff(file, span.base, span.size);
    if (!tiff.open())
        return peek;
    const auto ifd0 = tiff.directory(tiff.ifd0());
    if (!ifd0)
        return peek;
    // TIFF files are read whole by the codec, where damage anywhere may refuse the photo; only a
    // JPEG's GPS directory is read the same way alone. The codec's reading also needs room for
    // IFD0's link to a next directory.
    if (request.position && jpeg && tiff.isTiff42() &&
        tiff.inside(tiff.ifd0(), 2 + 12 * ifd0->size() + 4))
        peek.position = gpsPosition(tiff, *ifd0);
    if (request.time)
        peek.time = originalTime(tiff, *ifd0);
    return peek;
}

} // namespace codec
