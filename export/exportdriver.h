#pragma once
// The export: reads the GPS position of every queued photo through the codec and writes one CSV,
// TSV, KML or GPX file. The core takes values and reports through a small progress interface:
//
//   const ExportRead read = readExportPhotos(factory, photos, options, progress);
//   if (!read.codecFailed && !read.photos.isEmpty())
//       writeExportFile(path, composeExport(options, read.photos), read.files);
//
// runExport is the window's run behind "开始导出(&E)..." on top of it; the command line drives
// the same three steps (export/exportcommand.h).

#include "codec/codec.h"
#include "export/exportfile.h"
#include "export/exportformats.h"
#include "road/mainview.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

enum class ExportType { Csv, Tsv, KmlPoints, KmlPath, KmlPolygon, Gpx };

inline bool isTextExport(ExportType type) {
    return type == ExportType::Csv || type == ExportType::Tsv;
}

// Everything an export needs to know besides the photos and the file.
struct ExportOptions {
    ExportType type = ExportType::Csv;
    bool dms = false;    // text: latitude and longitude as degrees, minutes and seconds
    QList<int> columns;  // text: optional fields, EXIF tags of kExportFields, in any order
    bool header = false; // text: a header line first
};

// The optional fields of options in their fixed column order; none for KML and GPX.
QList<int> exportColumns(const ExportOptions& options);

// The window's three format boxes (cboOutFormat 0, 1 and 2) at the moment of the click.
struct ExportChoice {
    int outputKind = 0; // 0 text, 1 KML, 2 GPX
    int subFormat = 0;  // text: 0 CSV, 1 TSV; KML: 0 points, 1 path, 2 polygon
    int dataFormat = 0; // 0 decimal degrees, 1 degrees, minutes and seconds (text files only)
};

// What the boxes and the stored text options (columns, header) ask for together.
ExportOptions exportOptions(const ExportChoice& choice, const QList<int>& columns, bool header);

namespace exportdialog {
inline const QString kTitle = QStringLiteral("导出 GPS 数据");
inline const QString kFilter = QStringLiteral("全部文件(*.*)|*.*");
// Ask before an existing file is replaced.
inline constexpr int kFlags = 2;
} // namespace exportdialog

namespace exportmessages {
inline const QString kNothingRead = QStringLiteral("未找到有效 GPS 数据！");
// "成功导出到 " + path + "！"
QString exported(const QString& path);
} // namespace exportmessages

// What the save dialog is given: title, filter, the initial folder (the window passes its
// "LastFolder" setting) and "results.csv", "results.tsv", "results.kml" or "results.gpx".
struct SaveDialogSetup {
    QString title;
    QString filter;
    QString initDir;
    QString fileName;
    int flags = 0;
};
SaveDialogSetup exportSaveDialog(const ExportChoice& choice, const QString& initialFolder);

// One queued photo; skip marks a row that is not read at all (a missing file's ghosted row).
struct ExportPhoto {
    QString path;
    bool skip = false;
};

enum class PhotoReadStatus { Read, Skipped, OpenFailed, NoGps };

struct PhotoReadResult {
    PhotoReadStatus status = PhotoReadStatus::Skipped;
    qint32 openResult = 0; // the codec's OpenFile result, for OpenFailed
    // Read only: the list's texts, "31°13′49.44″N" and "12.5m" (empty without altitude).
    QString latitudeText;
    QString longitudeText;
    QString altitudeText;
};

// Why a photo gave no position, in a few Chinese words ("无 GPS 数据", "不是支持的照片格式").
QString photoReadReason(const PhotoReadResult& result);

class IExportProgress : public IProgress {
public:
    // False when nobody shows the rows' texts (latitudeText and the others stay empty then).
    virtual bool wantsRowTexts() const { return true; }
    virtual void photoStarted(int index) = 0;
    virtual void photoDone(int index, const PhotoReadResult& result) = 0;
};

struct ExportRead {
    bool codecFailed = false; // the codec could not be made or raised: write nothing
    QList<exportformats::PhotoGpsValues> photos; // the photos that have a position, in queue order
    QList<QueuedFile> files;                     // every photo done, for the check of the target
};

// Reads the photos in order through one codec object, made here and released at the end. The
// progress hears of every photo before and after it is read and is let yield after each start.
// Labels of the optional columns are read for text exports only, the time of taking for GPX only.
ExportRead readExportPhotos(const codec::CodecFactory& factory, const QList<ExportPhoto>& photos,
                            const ExportOptions& options, IExportProgress& progress);

// The whole file for options, UTF-8 without byte-order mark, CR LF line ends. With no photo the
// text kinds hold the header (if on) and one empty line, KML and GPX their empty frame.
QByteArray composeExport(const ExportOptions& options,
                         const QList<exportformats::PhotoGpsValues>& photos);

enum class ExportOutcome {
    NothingToDo, // empty list or cancelled dialog: nothing shown, nothing changed
    Exported,    // the file was written and holds at least one photo
    NothingRead, // the file was written, but no photo had a position
    WriteFailed, // the file could not be written; an earlier file of that name is untouched
    ReadFailed,  // the codec failed; no file was written
};

// False when the list has no row: the click then does nothing, not even the dialog.
bool beginExport(const RoadContext& ctx);

// The window's run after the save dialog. outputPath is the dialog's FileName as returned: it is
// cut at its first NUL and trimmed, and used as it is otherwise (no extension added); empty means
// the user cancelled and nothing happens. The run disables the window's commands, sets
// batchRunning for its whole length (drops and closing are refused meanwhile), shows each photo's
// result in its row, writes the file, tells the outcome through ctx.view.message and gives the
// controls back on every path.
ExportOutcome runExport(RoadContext& ctx, const ExportOptions& options, const QString& outputPath);
