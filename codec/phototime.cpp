#include "codec/phototime.h"

#include <QFile>
#include <array>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace codec {
namespace {

constexpr unsigned kExifPointer = 0x8769;
constexpr unsigned kDateTimeOriginal = 0x9003;
constexpr unsigned kOffsetTimeOriginal = 0x9011;
constexpr unsigned kSubSecTimeOriginal = 0x9291;
constexpr unsigned kAscii = 2;
// No real directory comes near this; a damaged count must not make us read megabytes.
constexpr unsigned kMaxEntries = 1000;
constexpr unsigned kMaxText = 64;

class File {
public:
    explicit File(const QString& path)
        : m_fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)) {}
    ~File() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    bool valid() const { return m_fd >= 0; }
    int fd() const { return m_fd; }

    bool read(off_t at, void* out, std::size_t size) const {
        auto* bytes = static_cast<char*>(out);
        std::size_t got = 0;
        while (got < size) {
            const ssize_t n = ::pread(m_fd, bytes + got, size - got, at + off_t(got));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            got += std::size_t(n);
        }
        return true;
    }

private:
    int m_fd;
};

// A TIFF structure at [base, base + size) of the file; offsets inside it are relative to base.
class Tiff {
public:
    Tiff(const File& file, off_t base, off_t size) : m_file(file), m_base(base), m_size(size) {}

    // Reads the header; false when it is no TIFF header.
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
        // 42 for TIFF; ORF and RW2 use their own magic numbers over the same structure.
        const unsigned magic = u16(header + 2);
        if (magic != 42 && magic != 0x4f52 && magic != 0x5352 && magic != 0x55)
            return false;
        m_ifd0 = u32(header + 4);
        return true;
    }

    std::uint32_t ifd0() const { return m_ifd0; }

    // Calls visit(tag, type, count, valueOrOffset, entryOffset) for every entry of the directory
    // at offset; false when the directory does not fit.
    template <typename Visit> bool forEachEntry(std::uint32_t offset, Visit visit) const {
        unsigned char countBytes[2];
        if (!inside(offset, 2) || !m_file.read(m_base + offset, countBytes, 2))
            return false;
        const unsigned count = u16(countBytes);
        if (count > kMaxEntries || !inside(offset + 2, std::size_t(count) * 12))
            return false;
        std::array<unsigned char, kMaxEntries * 12> entries;
        if (!m_file.read(m_base + offset + 2, entries.data(), std::size_t(count) * 12))
            return false;
        for (unsigned i = 0; i < count; ++i) {
            const unsigned char* e = entries.data() + std::size_t(i) * 12;
            visit(u16(e), u16(e + 2), u32(e + 4), e + 8);
        }
        return true;
    }

    // An ASCII value: in the entry itself up to 4 bytes, elsewhere through its offset.
    QString ascii(unsigned type, std::uint32_t count, const unsigned char* value) const {
        if (type != kAscii || count == 0 || count > kMaxText)
            return {};
        char text[kMaxText];
        if (count <= 4) {
            std::copy(value, value + count, text);
        } else {
            const std::uint32_t at = u32(value);
            if (!inside(at, count) || !m_file.read(m_base + at, text, count))
                return {};
        }
        std::size_t length = 0;
        while (length < count && text[length] != '\0')
            ++length;
        return QString::fromLatin1(text, qsizetype(length)).trimmed();
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

private:
    bool inside(std::uint64_t offset, std::uint64_t length) const {
        return offset <= std::uint64_t(m_size) && length <= std::uint64_t(m_size) - offset;
    }

    const File& m_file;
    off_t m_base;
    off_t m_size;
    bool m_little = true;
    std::uint32_t m_ifd0 = 0;
};

struct Span {
    off_t base = 0;
    off_t size = 0;
};

// Where the TIFF structure of a JPEG's EXIF segment sits: the segments from SOI up to the image
// data, each read by its four-byte head only.
std::optional<Span> jpegExif(const File& file, off_t fileSize) {
    off_t at = 2;
    for (int segments = 0; segments < 256 && at + 4 <= fileSize; ++segments) {
        unsigned char head[4];
        if (!file.read(at, head, 4) || head[0] != 0xff)
            return std::nullopt;
        const unsigned marker = head[1];
        if (marker == 0xd8 || (marker >= 0xd0 && marker <= 0xd7) || marker == 0x01) {
            at += 2;
            continue;
        }
        if (marker == 0xda || marker == 0xd9)
            return std::nullopt; // image data: no EXIF segment before it
        const off_t length = off_t(head[2]) << 8 | head[3];
        if (length < 2 || at + 2 + length > fileSize)
            return std::nullopt;
        if (marker == 0xe1 && length >= 8 + 8) {
            char id[6];
            if (file.read(at + 4, id, 6) && std::equal(id, id + 6, "Exif\0\0"))
                return Span{at + 10, length - 8};
        }
        at += 2 + length;
    }
    return std::nullopt;
}

} // namespace

std::optional<OriginalTime> readOriginalTime(const QString& path) {
    const File file(path);
    struct stat st {};
    if (!file.valid() || ::fstat(file.fd(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    unsigned char magic[2];
    if (st.st_size < 8 || !file.read(0, magic, 2))
        return std::nullopt;
    Span span{0, st.st_size};
    if (magic[0] == 0xff && magic[1] == 0xd8) {
        const auto exif = jpegExif(file, st.st_size);
        if (!exif)
            return std::nullopt;
        span = *exif;
    }
    Tiff tiff(file, span.base, span.size);
    if (!tiff.open())
        return std::nullopt;

    std::optional<std::uint32_t> exifIfd;
    const bool ifd0 = tiff.forEachEntry(
        tiff.ifd0(), [&](unsigned tag, unsigned, std::uint32_t count, const unsigned char* value) {
            if (tag == kExifPointer && count == 1)
                exifIfd = tiff.u32(value);
        });
    if (!ifd0 || !exifIfd)
        return std::nullopt;
    OriginalTime time;
    const bool read =
        tiff.forEachEntry(*exifIfd, [&](unsigned tag, unsigned type, std::uint32_t count,
                                        const unsigned char* value) {
            if (tag == kDateTimeOriginal)
                time.dateTime = tiff.ascii(type, count, value);
            else if (tag == kSubSecTimeOriginal)
                time.subSec = tiff.ascii(type, count, value);
            else if (tag == kOffsetTimeOriginal)
                time.offset = tiff.ascii(type, count, value);
        });
    if (!read)
        return std::nullopt;
    return time;
}

} // namespace codec
