#pragma once
// Queuing photos: one path to one row, a folder's photos, a list of photo names, dropped files.
// The window runs the dialogs and calls these with what the user chose; they change the list, the
// button states and "LastFolder", and tell the user through the view.

#include "road/mainview.h"

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

// The camera RAW extensions: the same text is a dialog filter and the folder's photo test.
inline const QString kRawPattern =
    QStringLiteral("*.raw;*.crw;*.nef;*.cr2;*.dng;*.orf;*.arw;*.erf;*.3fr;*.dcr;*.x3f;*.mef;*.raf;"
                   "*.mrw;*.pef;*.sr2;*.srf");

// The add-files dialog (cmdOpenEx).
namespace addfilesdialog {
inline const QString kTitle = QStringLiteral("添加待处理文件");
// Explorer style, several files may be chosen.
inline constexpr qint32 kFlags = 0x80200;
// Characters; a longer selection comes back empty.
inline constexpr qint32 kBufferSize = 8192;
inline constexpr qint32 kFilterIndex = 0;
// "name|patterns|name|patterns|..."
QString filter();
} // namespace addfilesdialog

// The folder browser (cmdOpenFolder).
namespace folderbrowser {
inline const QString kTitle = QStringLiteral("请选择一个文件夹以导入图像:");
// File-system folders only.
inline constexpr qint32 kFlags = 3;
} // namespace folderbrowser

namespace addtexts {
inline const QString kAddedPrefix = QStringLiteral("成功添加 ");
inline const QString kAddedSuffix = QStringLiteral(" 个文件！");
inline const QString kAlreadyListed = QStringLiteral("文件已存在！");
inline const QString kNothingFound = QStringLiteral("未找到可添加的文件！");
inline const QString kInvalidList = QStringLiteral("无效记录文件类型！");
// A name list that is empty or holds only blank lines: the list on the window stays.
inline const QString kNoNamesInList = QStringLiteral("该文件中没有列出任何照片！");
// The 16-bit row count is full; the number of files left out goes between the two parts.
inline const QString kListFullPrefix = QStringLiteral("列表已满（最多 32767 行），另有 ");
inline const QString kListFullSuffix = QStringLiteral(" 个文件未添加！");
// Names in bytes that are no text of this system (an archive from another system): the count goes
// before it.
inline const QString kUndecodableSuffix = QStringLiteral(" 个文件名无法识别，未添加");
} // namespace addtexts

struct FolderEntry {
    QString name;
    bool isDir = false; // otherwise a file (links followed)
    bool undecodable =
        false; // the name's bytes are no text of this system (replacement characters)
};

// The files and folders directly in folder, in the order the file system gives them, hidden ones
// included. Unlike QDir, it keeps the names that cannot be decoded, so they can be counted.
std::vector<FolderEntry> listFolder(const QString& folder);

// True when name ends in a photo extension: .jpg .jpeg .tif .tiff .exi .exif or one of
// kRawPattern's, in any letter case ("f.xjpeg" is not a photo).
bool isPhotoFileName(const QString& name);

// Adds one photo row for path (a full path). 1 when the path is already listed and nothing was
// added, 0 otherwise (also when no row could be made: a recycle-bin path or a full list).
// A path that is not an existing, visible file still gets a row, ghosted, "未找到文件".
int AddPhoto(RoadContext& ctx, const QString& path, bool skipDuplicateCheck);

enum class AddPhotoResult {
    Added,
    AlreadyListed,
    Refused,  // a file in a recycle bin: never queued
    ListFull, // the list already holds PhotoList::kMaxRows rows
};

// AddPhoto with the reason when no row was made.
AddPhotoResult addPhotoRow(RoadContext& ctx, const QString& path, bool skipDuplicateCheck);

// Tells the user that leftOut files found no room in the full list; nothing when leftOut is 0.
void tellListFull(RoadContext& ctx, qint32 leftOut);

// Visits the photo files directly in folder, in name order (dot-files are passed over), and sets
// the folder as LogFolder and "LastFolder". Add mode: one "待读取" row per photo, count raised per
// row made. Assign mode: the k-th photo goes to the existing row k (name, "待处理", not ghosted;
// coordinates kept), stopping when every row has one. Names that cannot be decoded are not added
// (assign mode: see assignFolderPhotos); the user is told their number.
void AddFolderPhotos(RoadContext& ctx, const QString& folder, qint32& count, bool assignMode);

struct FolderAssignment {
    int photos = 0;      // the photo files of the folder, all of them
    int undecodable = 0; // of which the names cannot be decoded
};

// AddFolderPhotos in assign mode, telling what the folder held instead of a message. A photo whose
// name cannot be decoded keeps its place in the name order and its point, which stays unassigned
// ("文件名无法识别"), so that no other photo takes a neighbour's point.
FolderAssignment assignFolderPhotos(RoadContext& ctx, const QString& folder);

// cmdClear_Click: empties the list and disables cmdExport and cmdClear.
void clearPhotoList(RoadContext& ctx);

// cmdOpenEx_Click, before the dialog: disables cmdExport and cmdClear and, after a finished run,
// empties the list (even if the dialog is then cancelled).
void beginAddFiles(RoadContext& ctx);

// cmdOpenEx_Click, after the dialog: dialogFileName is what the dialog returned, empty when
// cancelled; either one full path or the folder and the names, separated by NUL characters.
// A single .txt/.log/.csv/.tsv file is read as a name list.
void addChosenFiles(RoadContext& ctx, const QString& dialogFileName);

// cmdOpenFolder_Click, after a folder was chosen: the list is replaced by the folder's photos.
void addFolder(RoadContext& ctx, const QString& folder);

// Reads a text file of photo names (first field of each line, looked up in the file's folder)
// into a new list. UTF-8, or GB18030 when not valid UTF-8; blank lines are skipped. An XML file
// or one that cannot be read empties the list and says "无效记录文件类型！".
void LoadFileListLog(RoadContext& ctx, const QString& path);

// The photos "添加文件夹" queues from folder, as full paths in its order; nothing is remembered.
QStringList folderPhotoPaths(const QString& folder);

// The photo paths a name list names, read as the add-files dialog reads one (autoSuffix: ".JPG"
// after a name without extension); nothing is remembered. Empty when the file is no name list
// (XML) or cannot be read.
std::optional<QStringList> nameListPaths(const QString& path, bool autoSuffix);
