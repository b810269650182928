#include "photofile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace codec::detail {

namespace {

constexpr std::size_t kCopyBuffer = 1024 * 1024;
// Most JPEG headers end within this; a longer one costs a second read.
constexpr std::size_t kHeadBlock = 16 * 1024;
constexpr off_t kPage = 4096;

FileIdentity identityFromStat(const struct stat& st) {
    return {st.st_dev, st.st_ino, st.st_size,
            std::int64_t(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec,
            S_ISREG(st.st_mode)};
}

bool readAt(int fd, off_t offset, char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t got = ::pread(fd, data, size, offset);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        data += got;
        offset += got;
        size -= std::size_t(got);
    }
    return true;
}

// The first block of the file read at once: most headers end inside it, so walking the segments
// costs one read; later segments fall back to pread.
class HeaderReader {
public:
    HeaderReader(int fd, off_t fileSize) : m_fd(fd), m_fileSize(fileSize) {
        const auto first = std::size_t(std::min<off_t>(fileSize, off_t(kHeadBlock)));
        m_head.resize(first);
        if (!readAt(fd, 0, m_head.data(), first))
            m_head.clear();
    }

    bool read(off_t offset, char* data, std::size_t size) const {
        if (offset < 0 || offset + off_t(size) > m_fileSize)
            return false;
        if (offset + off_t(size) <= off_t(m_head.size())) {
            std::memcpy(data, m_head.data() + offset, size);
            return true;
        }
        return readAt(m_fd, offset, data, size);
    }

private:
    int m_fd;
    off_t m_fileSize;
    std::vector<char> m_head;
};

unsigned be16(const unsigned char* p) {
    return unsigned(p[0]) << 8 | p[1];
}

} // namespace

std::optional<FileIdentity> identityOf(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return std::nullopt;
    return identityFromStat(st);
}

std::optional<FileIdentity> identityOf(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return std::nullopt;
    return identityFromStat(st);
}

Fd& Fd::operator=(Fd&& other) noexcept {
    if (this != &other) {
        close();
        m_fd = other.release();
    }
    return *this;
}

Fd::~Fd() {
    close();
}

int Fd::release() {
    const int fd = m_fd;
    m_fd = -1;
    return fd;
}

bool Fd::close() {
    if (m_fd < 0)
        return true;
    const int fd = release();
    return ::close(fd) == 0;
}

Fd openForReading(const QString& path) {
    return Fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
}

std::optional<JpegLayout> readJpegLayout(int fd, off_t fileSize) {
    const HeaderReader reader(fd, fileSize);
    unsigned char soi[2];
    if (!reader.read(0, reinterpret_cast<char*>(soi), 2) || soi[0] != 0xff || soi[1] != 0xd8)
        return std::nullopt;

    JpegLayout layout;
    layout.exifStart = layout.exifEnd = 2;
    bool exifFound = false;
    bool onlyApp0SoFar = true;
    off_t offset = 2;
    for (;;) {
        const off_t segmentStart = offset;
        unsigned char head[4];
        if (!reader.read(offset, reinterpret_cast<char*>(head), 2) || head[0] != 0xff)
            return std::nullopt;
        // Any number of 0xFF may pad the space before a marker.
        while (head[1] == 0xff) {
            ++offset;
            if (!reader.read(offset + 1, reinterpret_cast<char*>(head + 1), 1))
                return std::nullopt;
        }
        const unsigned marker = head[1];
        if (marker == 0xda)
            break;
        // EOI before any scan, markers without a length, or a stray zero: not a header we splice.
        if (marker == 0xd9 || marker == 0x00 || marker == 0x01 ||
            (marker >= 0xd0 && marker <= 0xd7))
            return std::nullopt;
        if (!reader.read(offset + 2, reinterpret_cast<char*>(head + 2), 2))
            return std::nullopt;
        const unsigned length = be16(head + 2);
        const off_t segmentEnd = offset + 2 + off_t(length);
        if (length < 2 || segmentEnd > fileSize)
            return std::nullopt;

        if (marker == 0xe1 && !exifFound && length >= 8) {
            char id[6];
            if (!reader.read(offset + 4, id, 6))
                return std::nullopt;
            if (std::memcmp(id, "Exif\0\0", 6) == 0) {
                exifFound = true;
                layout.exifStart = segmentStart;
                layout.exifEnd = segmentEnd;
                layout.exif.resize(qsizetype(length - 8));
                if (!reader.read(offset + 10, layout.exif.data(), std::size_t(length - 8)))
                    return std::nullopt;
            }
        }
        if (marker == 0xe0 && onlyApp0SoFar && !exifFound)
            layout.exifStart = layout.exifEnd = segmentEnd;
        else
            onlyApp0SoFar = false;
        offset = segmentEnd;
    }
    return layout;
}

bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t put = ::write(fd, data, size);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        data += put;
        size -= std::size_t(put);
    }
    return true;
}

bool copyRange(int in, off_t offset, off_t length, int out, std::vector<char>& buffer) {
    const off_t position = ::lseek(out, 0, SEEK_CUR);
    if (position < 0)
        return false;
    off_t from = offset;
    off_t left = length;
    if ((position - offset) % kPage == 0) {
        while (left > 0) {
            const ssize_t copied = ::copy_file_range(in, &from, out, nullptr, std::size_t(left), 0);
            if (copied < 0 && errno == EINTR)
                continue;
            if (copied < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL ||
                               errno == EOPNOTSUPP || errno == EBADF))
                break; // the buffered copy below takes over where it stopped
            if (copied <= 0)
                return false; // the source ended early or the device failed
            left -= copied;
        }
        if (left == 0)
            return true;
    }

    if (buffer.size() < kCopyBuffer)
        buffer.resize(kCopyBuffer);
    // The first piece brings the destination to a page boundary; every later write is whole pages.
    auto chunk = std::size_t((kPage - (position + (from - offset)) % kPage) % kPage);
    while (left > 0) {
        if (chunk == 0)
            chunk = buffer.size();
        chunk = std::size_t(std::min<off_t>(left, off_t(chunk)));
        if (!readAt(in, from, buffer.data(), chunk) || !writeAll(out, buffer.data(), chunk))
            return false;
        from += off_t(chunk);
        left -= off_t(chunk);
        chunk = 0;
    }
    return true;
}

std::optional<QByteArray> gpsOnlyTiff(const QByteArray& tiff) {
    const auto size = std::size_t(tiff.size());
    if (size < 8)
        return std::nullopt;
    const auto* bytes = reinterpret_cast<const unsigned char*>(tiff.constData());
    const bool little = bytes[0] == 'I' && bytes[1] == 'I';
    if (!little && !(bytes[0] == 'M' && bytes[1] == 'M'))
        return std::nullopt;
    auto u16 = [bytes, little](std::size_t at) {
        return little ? unsigned(bytes[at] | bytes[at + 1] << 8) : be16(bytes + at);
    };
    auto u32 = [&u16, little](std::size_t at) {
        return little ? std::size_t(u16(at)) | std::size_t(u16(at + 2)) << 16
                      : std::size_t(u16(at)) << 16 | std::size_t(u16(at + 2));
    };
    if (u16(2) != 42)
        return std::nullopt;
    const std::size_t ifd0 = u32(4);
    if (ifd0 < 8 || ifd0 + 2 + 12 + 4 > size)
        return std::nullopt;
    const unsigned count = u16(ifd0);
    if (ifd0 + 2 + 12 * std::size_t(count) > size)
        return std::nullopt;

    QByteArray result = tiff;
    char* out = result.data();
    unsigned kept = 0;
    for (unsigned i = 0; i < count && kept == 0; ++i) {
        const std::size_t entry = ifd0 + 2 + 12 * std::size_t(i);
        if (u16(entry) == 0x8825) {
            std::memmove(out + ifd0 + 2, out + entry, 12);
            kept = 1;
        }
    }
    out[ifd0] = char(little ? kept : 0);
    out[ifd0 + 1] = char(little ? 0 : kept);
    std::memset(out + ifd0 + 2 + 12 * kept, 0, 4); // no next directory
    return result;
}

std::optional<TempFile> TempFile::createBeside(const QString& destination) {
    const QFileInfo info(destination);
    for (int attempt = 0; attempt < 16; ++attempt) {
        const QString name =
            QStringLiteral(".%1.%2.tmp")
                .arg(info.fileName())
                .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
        const QString path = info.absoluteDir().filePath(name);
        const int fd = ::open(QFile::encodeName(path).constData(),
                              O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0)
            return TempFile(Fd(fd), path, info.absoluteFilePath());
        if (errno != EEXIST)
            return std::nullopt;
    }
    return std::nullopt;
}

TempFile::TempFile(Fd fd, QString path, QString destination)
    : m_fd(std::move(fd)), m_path(std::move(path)), m_destination(std::move(destination)) {}

TempFile::TempFile(TempFile&& other) noexcept
    : m_fd(std::move(other.m_fd)), m_path(std::move(other.m_path)),
      m_destination(std::move(other.m_destination)), m_done(other.m_done) {
    other.m_done = true;
}

TempFile::~TempFile() {
    m_fd.close();
    if (!m_done)
        ::unlink(QFile::encodeName(m_path).constData());
}

bool TempFile::commit() {
    if (m_done || !m_fd.close())
        return false;
    if (::rename(QFile::encodeName(m_path).constData(),
                 QFile::encodeName(m_destination).constData()) != 0)
        return false;
    m_done = true;
    return true;
}

} // namespace codec::detail
