#pragma once
// The export run behind "开始导出(&E)...": reads the GPS position of every queued photo through the
// codec, shows each result in its row, and writes one CSV, TSV or KML file. The window asks for the
// output file between beginExport and runExport; everything else happens here.
//
//   if (!beginExport(ctx)) return;
//   const ExportChoice choice{kind, subFormat, dataFormat};
//   const SaveDialogSetup setup = exportSaveDialog(choice);
//   ... show the save dialog with setup ...
//   runExport(ctx, choice, dialog.FileName);

#include "road/mainview.h"

#include <QList>
#include <QString>

// The window's three format boxes (cboOutFormat 0, 1 and 2) at the moment of the click.
struct ExportChoice {
    int outputKind = 0; // 0 text, 1 KML
    int subFormat = 0;  // text: 0 CSV, 1 TSV; KML: 0 points, 1 path, 2 polygon
    int dataFormat = 0; // 0 decimal degrees, 1 degrees, minutes and seconds (text files only)

    bool isKml() const { return outputKind == 1; }
};

namespace exportdialog {
inline const QString kTitle = QStringLiteral("导出 GPS 数据");
inline const QString kFilter = QStringLiteral("全部文件(*.*)|*.*");
// Ask before an existing file is replaced.
inline constexpr int kFlags = 2;
} // namespace exportdialog

namespace exportmessages {
inline const QString kWriteFailed = QStringLiteral("遇到未知错误，导出失败！");
inline const QString kNothingRead = QStringLiteral("未找到有效 GPS 数据！");
// "成功导出到 " + path + "！"
QString exported(const QString& path);
} // namespace exportmessages

// What the save dialog is given: title, filter, the "LastFolder" setting as initial folder, and
// "results.csv", "results.tsv" or "results.kml" as proposed name.
struct SaveDialogSetup {
    QString title;
    QString filter;
    QString initDir;
    QString fileName;
    int flags = 0;
};
SaveDialogSetup exportSaveDialog(const ExportChoice& choice);

enum class ExportOutcome {
    NothingToDo, // empty list or cancelled dialog: nothing shown, nothing changed
    Exported,    // the file was written and holds at least one photo
    NothingRead, // the file was written, but no photo had a position
    WriteFailed, // the file could not be written; an earlier file of that name is untouched
    ReadFailed,  // the codec failed; no file was written
};

// The optional text fields switched on in section "ExportOptions", as EXIF tag numbers in their
// fixed column order.
QList<int> selectedExportFields();

// False when the list has no row: the click then does nothing, not even the dialog.
bool beginExport(const RoadContext& ctx);

// The run after the save dialog. outputPath is the dialog's FileName as returned: it is cut at its
// first NUL and trimmed, and used as it is otherwise (no extension added); empty means the user
// cancelled and nothing happens. The run disables the window's commands, sets batchRunning for
// its whole length (drops and closing are refused meanwhile), yields once per row, writes the file
// only when every byte can be written, tells the outcome through ctx.view.message and gives the
// controls back on every path.
ExportOutcome runExport(RoadContext& ctx, const ExportChoice& choice, const QString& outputPath);
