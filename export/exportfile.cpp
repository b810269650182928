#include "export/exportfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

QByteArray nativePath(const QString& path) {
    return QFile::encodeName(path);
}

ExportWriteResult failure(int error) {
    switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
        return {ExportWriteStatus::FolderNotWritable, {}};
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return {ExportWriteStatus::DiskFull, {}};
    case ENOENT:
    case ENOTDIR:
        return {ExportWriteStatus::FolderMissing, {}};
    default:
        return {ExportWriteStatus::Failed, QString::fromLocal8Bit(std::strerror(error))};
    }
}

bool samePhoto(const struct stat& target, const QueuedFile& photo) {
    if (photo.known)
        return photo.device == quint64(target.st_dev) && photo.inode == quint64(target.st_ino);
    struct stat st {};
    return ::stat(nativePath(photo.path).constData(), &st) == 0 && st.st_dev == target.st_dev &&
           st.st_ino == target.st_ino;
}

// A descriptor closed on every way out.
class Fd {
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    Fd& operator=(Fd&& other) noexcept {
        if (this != &other) {
            if (m_fd >= 0)
                ::close(m_fd);
            m_fd = std::exchange(other.m_fd, -1);
        }
        return *this;
    }
    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    // Closes now: the kernel may report a failed write only here (NFS).
    bool close() {
        const int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0;
    }

private:
    int m_fd;
};

bool writeAll(int fd, const QByteArray& bytes) {
    const char* data = bytes.constData();
    std::size_t left = std::size_t(bytes.size());
    while (left > 0) {
        const ssize_t n = ::write(fd, data, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            return false;
        }
        data += n;
        left -= std::size_t(n);
    }
    return true;
}

QString hiddenName(const QString& folder, const QString& name) {
    return folder + QStringLiteral("/.%1.%2.tmp")
                        .arg(name)
                        .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
}

// The content goes into an unnamed file first; only a complete file gets a name, so an
// interrupted export leaves nothing behind. File systems without unnamed files get a hidden
// named one, removed on failure.
ExportWriteResult writeReplacing(const QString& target, const QByteArray& bytes,
                                 std::optional<mode_t> keepMode) {
    const QFileInfo info(target);
    const QString folder = info.absolutePath();
    const QByteArray nativeFolder = nativePath(folder);
    QString named;
    Fd fd(::open(nativeFolder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
    if (!fd.valid()) {
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
            return failure(errno);
        for (int attempt = 0; attempt < 16 && !fd.valid(); ++attempt) {
            named = hiddenName(folder, info.fileName());
            fd = Fd(::open(nativePath(named).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                           0666));
            if (!fd.valid() && errno != EEXIST)
                return failure(errno);
        }
        if (!fd.valid())
            return failure(EEXIST);
    }
    const auto removeNamed = [&named] {
        if (!named.isEmpty())
            ::unlink(nativePath(named).constData());
    };
    if (!writeAll(fd.get(), bytes) || (keepMode && ::fchmod(fd.get(), *keepMode) != 0)) {
        const int error = errno;
        removeNamed();
        return failure(error);
    }
    if (named.isEmpty()) {
        // An unnamed file cannot replace a name itself: it is linked under a hidden name first,
        // which the rename below takes away at once.
        named = hiddenName(folder, info.fileName());
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd.get());
        if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, nativePath(named).constData(),
                     AT_SYMLINK_FOLLOW) != 0) {
            const int error = errno;
            named.clear();
            return failure(error);
        }
    }
    if (!fd.close()) {
        const int error = errno;
        removeNamed();
        return failure(error);
    }
    if (::rename(nativePath(named).constData(), nativePath(target).constData()) != 0) {
        const int error = errno;
        removeNamed();
        return failure(error);
    }
    return {ExportWriteStatus::Written, {}};
}

} // namespace

ExportWriteResult writeExportFile(const QString& path, const QByteArray& bytes,
                                  const QList<QueuedFile>& queuedPhotos) {
    if (path.isEmpty())
        return {ExportWriteStatus::FolderMissing, {}};
    QString target = QFileInfo(path).absoluteFilePath();
    std::optional<mode_t> keepMode;
    struct stat st {};
    if (::stat(nativePath(target).constData(), &st) == 0) {
        if (!S_ISREG(st.st_mode))
            return {ExportWriteStatus::NotAFile, {}};
        for (const QueuedFile& photo : queuedPhotos) {
            if (samePhoto(st, photo))
                return {ExportWriteStatus::QueuedPhoto, {}};
        }
        keepMode = st.st_mode & 07777;
        // A link keeps leading where it led: the file it names is the one replaced.
        char real[PATH_MAX];
        if (::realpath(nativePath(target).constData(), real))
            target = QFile::decodeName(real);
    } else if (errno != ENOENT) {
        return failure(errno);
    }
    if (!QFileInfo(QFileInfo(target).absolutePath()).isDir())
        return {ExportWriteStatus::FolderMissing, {}};
    return writeReplacing(target, bytes, keepMode);
}

QString exportWriteFailure(const ExportWriteResult& result) {
    const QString prefix = QStringLiteral("导出失败：");
    switch (result.status) {
    case ExportWriteStatus::Written:
        return {};
    case ExportWriteStatus::QueuedPhoto:
        return prefix + QStringLiteral("目标文件是待导出的照片，不能覆盖！");
    case ExportWriteStatus::NotAFile:
        return prefix + QStringLiteral("目标不是普通文件！");
    case ExportWriteStatus::FolderMissing:
        return prefix + QStringLiteral("文件夹不存在！");
    case ExportWriteStatus::FolderNotWritable:
        return prefix + QStringLiteral("文件夹不可写入！");
    case ExportWriteStatus::DiskFull:
        return prefix + QStringLiteral("磁盘空间不足！");
    case ExportWriteStatus::Failed:
        break;
    }
    return prefix + result.systemReason + QStringLiteral("！");
}
