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
    mode_t permissions = 0; // the permission bits (07777)
    bool regular = false;   // a regular file, not a folder, device or pipe

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
    // The first XMP segment, [xmpStart, xmpEnd) with its packet; both 0 when there is none.
    off_t xmpStart = 0;
    off_t xmpEnd = 0;
    QByteArray xmp;
};

// The signature that opens an XMP segment of a JPEG, NUL included.
inline constexpr char kXmpSignature[] = "http://ns.adobe.com/xap/1.0/";
inline constexpr int kXmpSignatureSize = sizeof(kXmpSignature); // 29

// Walks the segments from SOI to SOS. Empty when the header is not the plain sequence of
// length-prefixed segments this splice relies on (Exiv2's own reader and writer take those).
std::optional<JpegLayout> readJpegLayout(int fd, off_t fileSize);

// A copy of an EXIF TIFF structure in which IFD0 keeps only its GPS pointer and links to no
// further directory, so a decoder reads the GPS directory and nothing else. Empty when the
// header or IFD0 is malformed.
std::optional<QByteArray> gpsOnlyTiff(const QByteArray& tiff);

// Reads exactly size bytes at offset; false (errno set, or 0 at the end of the file) otherwise.
bool readAt(int fd, off_t offset, char* data, std::size_t size);

// Writes all of data at the descriptor's position; false on any short or failed write.
bool writeAll(int fd, const char* data, std::size_t size);

// Copies [offset, offset + length) of in to the current position of out: copy_file_range when
// source and destination share their place within a page (and the kernel offers it), otherwise
// by writing from a mapping of the source (shifted by a few bytes, the kernel's own copy writes
// every page in two pieces and takes half as long again), and through buffer where the source
// cannot be mapped.
bool copyRange(int in, off_t offset, off_t length, int out, std::vector<char>& buffer);

// A new, empty file that becomes the destination once complete. Where the file system allows,
// it has no name at all while it is written (O_TMPFILE), so nothing is left behind whatever ends
// the program; elsewhere it has a hidden name beside the destination, removed on destruction and
// by SIGINT, SIGTERM and SIGHUP (which then end the program as they would have). Failures leave
// errno set.
class TempFile {
public:
    // permissions are given as cp gives them to a new file: the kernel takes off the umask.
    static std::optional<TempFile> create(const QString& destination, mode_t permissions);
    TempFile(TempFile&& other) noexcept;
    TempFile& operator=(TempFile&&) = delete;
    TempFile(const TempFile&) = delete;
    ~TempFile();

    int fd() const { return m_fd.get(); }
    bool isNamed() const { return !m_path.isEmpty(); }
    // Atomically puts the complete file in place of the destination (replacing a file there).
    bool commit();

    // Tests only: pretend the file system refuses unnamed files.
    static void setUnnamedAllowed(bool allowed);

private:
    TempFile(Fd fd, QString path, QString destination);
    bool linkUnnamed();

    Fd m_fd;
    QString m_path; // empty for an unnamed file
    QString m_destination;
    int m_slot = -1; // where the signal handlers find the name
    bool m_done = false;
};

} // namespace codec::detail
