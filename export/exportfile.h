#pragma once
// Writing an export file safely: all or nothing, never over a queued photo, never over something
// that is not a file, and a reason when it cannot be done.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// A queued photo as the write compares it with the target: its path, and its device and inode
// when the read already took them from the open file (known).
struct QueuedFile {
    QString path;
    bool known = false;
    quint64 device = 0;
    quint64 inode = 0;
};

enum class ExportWriteStatus {
    Written,
    QueuedPhoto,       // the target is (a name or link of) one of the queued photos
    NotAFile,          // the target exists and is a folder, device, pipe, ...
    FolderMissing,     // the target's folder does not exist
    FolderNotWritable, // no permission, or a read-only file system
    DiskFull,          // no space, quota exceeded or the file-size limit
    Failed,            // any other system error
};

struct ExportWriteResult {
    ExportWriteStatus status = ExportWriteStatus::Failed;
    QString systemReason; // the system's text for Failed
    bool ok() const { return status == ExportWriteStatus::Written; }
};

// Writes bytes to path so that the name holds the whole new content or stays as it was: the
// bytes go to an unnamed file in the target's folder that replaces the target in one rename (a
// named, hidden temporary only where the file system has no unnamed files). A target that is a
// symbolic link keeps the link and replaces the file it leads to; a replaced file keeps its
// permission bits. An existing target is compared as a real file (device and inode, after
// following links, so hard links count too) with every queued photo, and refused if it is one.
ExportWriteResult writeExportFile(const QString& path, const QByteArray& bytes,
                                  const QList<QueuedFile>& queuedPhotos);

// The message for a failed write: "导出失败：磁盘空间不足！" and the like.
QString exportWriteFailure(const ExportWriteResult& result);
