#pragma once
// File handling under the codec's save: the identity of a source file, the segment layout of a
// JPEG header, byte-range copies and the temporary file that becomes the destination. No Exiv2
// here: these work on descriptors and offsets only.

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>
#include <sys/types.h>
#include <vector>

namespace codec::detail {

// Enough of stat() to tell whether a file is the one we opened, unchanged.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    std::int64_t modifiedNs = 0;
    bool regular = false; // a regular file, not a folder, device or pipe

    bool sameFile(const FileIdentity& other) const {
        return device == other.device && inode == other.inode;
    }
    bool operator==(const FileIdentity&) const = default;
};

std::optional<FileIdentity> identityOf(int fd);
std::optional<FileIdentity> identityOf(const QString& path);

// A descriptor closed on destruction.
class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : m_fd(fd) {}
    Fd(Fd&& other) noexcept : m_fd(other.release()) {}
    Fd& operator=(Fd&& other) noexcept;
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd();

    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    int release();
    // Closes now and reports whether the kernel accepted the last writes (NFS reports late).
    bool close();

private:
    int m_fd = -1;
};

// Opens without blocking on a pipe; errno tells why it failed.
Fd openForReading(const QString& path);

// Where the EXIF APP1 segment of a JPEG sits: [exifStart, exifEnd) is the segment to replace,
// marker included; when the photo has none, both equal the offset where a new one goes (after
// SOI and any leading APP0). exif holds the old TIFF structure after "Exif\0\0".
struct JpegLayout {
    off_t exifStart = 0;
    off_t exifEnd = 0;
    QByteArray exif;
};

// Walks the segments from SOI to SOS. Empty when the header is not the plain sequence of
// length-prefixed segments this splice relies on (Exiv2's own reader and writer take those).
std::optional<JpegLayout> readJpegLayout(int fd, off_t fileSize);

// A copy of an EXIF TIFF structure in which IFD0 keeps only its GPS pointer and links to no
// further directory, so a decoder reads the GPS directory and nothing else. Empty when the
// header or IFD0 is malformed.
std::optional<QByteArray> gpsOnlyTiff(const QByteArray& tiff);

// Writes all of data at the descriptor's position; false on any short or failed write.
bool writeAll(int fd, const char* data, std::size_t size);

// Copies [offset, offset + length) of in to the current position of out: copy_file_range when
// source and destination share their place within a page (and the kernel offers it), otherwise
// through buffer with page-aligned writes. Shifted by a few bytes, the kernel's own copy writes
// every page in two pieces and takes half as long again; a buffer of 1 MiB keeps the extra copy
// through user space near the speed of the kernel's.
bool copyRange(int in, off_t offset, off_t length, int out, std::vector<char>& buffer);

// A new, empty file beside the destination, under a hidden name; removed on destruction unless
// renamed onto the destination by commit().
class TempFile {
public:
    static std::optional<TempFile> createBeside(const QString& destination);
    TempFile(TempFile&& other) noexcept;
    TempFile& operator=(TempFile&&) = delete;
    TempFile(const TempFile&) = delete;
    ~TempFile();

    int fd() const { return m_fd.get(); }
    const QString& path() const { return m_path; }
    bool closeFd() { return m_fd.close(); }
    // Atomically replaces the destination; the temporary name is gone afterwards either way.
    bool commit();

private:
    TempFile(Fd fd, QString path, QString destination);

    Fd m_fd;
    QString m_path;
    QString m_destination;
    bool m_done = false;
};

} // namespace codec::detail
