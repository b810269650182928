#include "photofile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace codec::detail {

namespace {

constexpr std::size_t kCopyBuffer = 1024 * 1024;
// Most JPEG headers end within this; a longer one costs a second read.
constexpr std::size_t kHeadBlock = 16 * 1024;
constexpr off_t kPage = 4096;
// A mapped copy maps at most this much of the source at a time, so the memory a copy holds stays
// small whatever the photo's size.
constexpr off_t kMapWindow = 8 * 1024 * 1024;

FileIdentity identityFromStat(const struct stat& st) {
    return {
        st.st_dev,          st.st_ino,
        st.st_size,         std::int64_t(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec,
        st.st_mode & 07777, S_ISREG(st.st_mode)};
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

// Names of temporary files that a termination signal must remove. The handler may only touch
// lock-free atomics and call async-signal-safe functions, hence fixed slots of plain bytes.
struct PendingName {
    enum State : int { Free, Busy, Named };
    std::atomic<int> state{Free};
    char path[PATH_MAX];
};
constexpr int kPendingSlots = 8;
PendingName g_pendingNames[kPendingSlots];
std::atomic<bool> g_unnamedAllowed{true};

extern "C" void removePendingNames(int signal) {
    const int savedErrno = errno;
    for (PendingName& slot : g_pendingNames) {
        if (slot.state.load() == PendingName::Named)
            ::unlink(slot.path);
    }
    errno = savedErrno;
    // SA_RESETHAND has put back the default action: once this handler returns, the signal ends
    // the program just as it would have without us.
    ::raise(signal);
}

// Only where nobody else handles the signal: the window closes itself on SIGINT and SIGTERM, and
// a signal ignored on purpose (nohup) stays ignored. Asked afresh for every name, since a
// handler may be set or reset after the first one.
void installNameRemoval() {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction current {};
        if (::sigaction(signal, nullptr, &current) != 0 || (current.sa_flags & SA_SIGINFO) ||
            current.sa_handler != SIG_DFL)
            continue;
        struct sigaction action {};
        action.sa_handler = removePendingNames;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESETHAND;
        ::sigaction(signal, &action, nullptr);
    }
}

// The slot now holding path, or -1 when every slot is taken or the name is too long (the file
// is then removed on destruction only).
int registerName(const QByteArray& path) {
    if (path.size() >= PATH_MAX)
        return -1;
    installNameRemoval();
    for (int i = 0; i < kPendingSlots; ++i) {
        int expected = PendingName::Free;
        if (g_pendingNames[i].state.compare_exchange_strong(expected, PendingName::Busy)) {
            std::memcpy(g_pendingNames[i].path, path.constData(), std::size_t(path.size()) + 1);
            g_pendingNames[i].state.store(PendingName::Named);
            return i;
        }
    }
    return -1;
}

void unregisterName(int slot) {
    if (slot >= 0)
        g_pendingNames[slot].state.store(PendingName::Free);
}

QString hiddenNameBeside(const QFileInfo& destination) {
    return destination.absoluteDir().filePath(
        QStringLiteral(".%1.%2.tmp")
            .arg(destination.fileName())
            .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0')));
}

} // namespace

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
        if (marker == 0xe1 && layout.xmpEnd == 0 && length >= 2 + kXmpSignatureSize) {
            char id[kXmpSignatureSize];
            if (!reader.read(offset + 4, id, sizeof id))
                return std::nullopt;
            if (std::memcmp(id, kXmpSignature, sizeof id) == 0) {
                layout.xmpStart = segmentStart;
                layout.xmpEnd = segmentEnd;
                layout.xmp.resize(qsizetype(length - 2 - kXmpSignatureSize));
                if (!reader.read(offset + 4 + kXmpSignatureSize, layout.xmp.data(),
                                 std::size_t(layout.xmp.size())))
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

namespace {

// Copies through a read-only mapping of the source, moving from and left on: write() takes the
// bytes straight from the source's page cache, one copy instead of the two of read() and write().
// Stops early, true, where the source cannot be mapped. A source cut short fails the copy: beyond
// its last page write() stops with EFAULT (the kernel's copy from a mapping never raises SIGBUS),
// and within it the mapping reads zeros, which the size checked after each window catches.
bool copyMapped(int in, off_t& from, off_t& left, int out) {
    while (left > 0) {
        const off_t base = from - from % kPage;
        const auto span = std::size_t(std::min<off_t>(left + (from - base), kMapWindow));
        void* const map = ::mmap(nullptr, span, PROT_READ, MAP_SHARED | MAP_POPULATE, in, base);
        if (map == MAP_FAILED)
            return true;
        const auto skip = std::size_t(from - base);
        const bool written = writeAll(out, static_cast<const char*>(map) + skip, span - skip);
        const int error = errno;
        ::munmap(map, span);
        errno = error;
        struct stat st {};
        if (!written || ::fstat(in, &st) != 0)
            return false;
        if (st.st_size < base + off_t(span)) {
            errno = EIO;
            return false;
        }
        from += off_t(span - skip);
        left -= off_t(span - skip);
    }
    return true;
}

} // namespace

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
    if (!copyMapped(in, from, left, out))
        return false;

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

std::optional<TempFile> TempFile::create(const QString& destination, mode_t permissions) {
    const QFileInfo info(destination);
    // cp gives a new file the source's permission bits less the umask, without set-id bits.
    const mode_t mode = permissions & 0777;
    // An unnamed file is given its name through /proc (or by a privilege a user lacks).
    static const bool canName = ::access("/proc/self/fd", X_OK) == 0 || ::geteuid() == 0;
    if (g_unnamedAllowed.load() && canName) {
        const int fd = ::open(QFile::encodeName(info.absolutePath()).constData(),
                              O_TMPFILE | O_RDWR | O_CLOEXEC, mode);
        if (fd >= 0)
            return TempFile(Fd(fd), QString(), info.absoluteFilePath());
    }
    // The file system takes no unnamed files (or refuses for a reason the named open reports too).
    for (int attempt = 0; attempt < 16; ++attempt) {
        const QString path = hiddenNameBeside(info);
        const QByteArray encoded = QFile::encodeName(path);
        // Registered before it exists, so no moment passes in which a signal would miss it.
        const int slot = registerName(encoded);
        const int fd = ::open(encoded.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0) {
            TempFile temp(Fd(fd), path, info.absoluteFilePath());
            temp.m_slot = slot;
            return temp;
        }
        const int error = errno;
        unregisterName(slot);
        errno = error;
        if (error != EEXIST)
            return std::nullopt;
    }
    return std::nullopt;
}

void TempFile::setUnnamedAllowed(bool allowed) {
    g_unnamedAllowed.store(allowed);
}

TempFile::TempFile(Fd fd, QString path, QString destination)
    : m_fd(std::move(fd)), m_path(std::move(path)), m_destination(std::move(destination)) {}

TempFile::TempFile(TempFile&& other) noexcept
    : m_fd(std::move(other.m_fd)), m_path(std::move(other.m_path)),
      m_destination(std::move(other.m_destination)), m_slot(other.m_slot), m_done(other.m_done) {
    other.m_slot = -1;
    other.m_done = true;
}

TempFile::~TempFile() {
    const int error = errno; // a failed save reports why it failed, not what cleaning up did
    m_fd.close();
    if (!m_done && isNamed())
        ::unlink(QFile::encodeName(m_path).constData());
    unregisterName(m_slot);
    errno = error;
}

// Gives the unnamed file the destination's name: directly when the name is free, otherwise under
// a hidden name first and then by rename, which replaces the old file in one step.
bool TempFile::linkUnnamed() {
    const QByteArray source = QByteArrayLiteral("/proc/self/fd/") + QByteArray::number(m_fd.get());
    auto linkTo = [this, &source](const QByteArray& name) {
        if (::linkat(AT_FDCWD, source.constData(), AT_FDCWD, name.constData(), AT_SYMLINK_FOLLOW) ==
            0)
            return true;
        // Without /proc, linking by descriptor needs CAP_DAC_READ_SEARCH.
        return errno == ENOENT &&
               ::linkat(m_fd.get(), "", AT_FDCWD, name.constData(), AT_EMPTY_PATH) == 0;
    };
    const QByteArray destination = QFile::encodeName(m_destination);
    if (linkTo(destination))
        return true;
    if (errno != EEXIST)
        return false;
    const QByteArray hidden = QFile::encodeName(hiddenNameBeside(QFileInfo(m_destination)));
    const int slot = registerName(hidden);
    bool linked = linkTo(hidden);
    if (linked && ::rename(hidden.constData(), destination.constData()) != 0) {
        const int error = errno;
        ::unlink(hidden.constData());
        errno = error;
        linked = false;
    }
    unregisterName(slot);
    return linked;
}

bool TempFile::commit() {
    if (m_done)
        return false;
    if (!isNamed()) {
        if (!linkUnnamed())
            return false;
        m_done = true;
        // The data is in place; a late write error (NFS) would still make the copy untrustworthy.
        if (!m_fd.close()) {
            const int error = errno;
            ::unlink(QFile::encodeName(m_destination).constData());
            errno = error;
            return false;
        }
        return true;
    }
    if (!m_fd.close())
        return false;
    if (::rename(QFile::encodeName(m_path).constData(),
                 QFile::encodeName(m_destination).constData()) != 0)
        return false;
    m_done = true;
    unregisterName(m_slot);
    m_slot = -1;
    return true;
}

} // namespace codec::detail
