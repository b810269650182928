#include "photolist/addphotos.h"

#include "base/globals.h"
#include "base/settings.h"
#include "base/textlinereader.h"
#include "photolist/gpslogstate.h"
#include "photolist/photolist.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <dirent.h>
#include <memory>
#include <sys/stat.h>
#include <utility>
#include <vector>

namespace {

const QString kLastFolder = QStringLiteral("LastFolder");
const QString kUndecodableName = QStringLiteral("文件名无法识别");

// More chosen files than this are queued without the duplicate check, which is quadratic.
constexpr qsizetype kDuplicateCheckLimit = 20;
// An addition of more files than this says how many it added.
constexpr qint32 kQuietAdditionLimit = 5;

bool isSeparator(QChar c) {
    return c == u'/' || c == u'\\';
}

// The path up to and including its last separator; empty when it has none.
QString folderOf(const QString& path) {
    for (qsizetype i = path.size() - 1; i >= 0; --i)
        if (isSeparator(path.at(i)))
            return path.left(i + 1);
    return {};
}

QString withClosingSeparator(const QString& folder) {
    if (!folder.isEmpty() && isSeparator(folder.back()))
        return folder;
    return folder + u'/';
}

void rememberFolder(RoadContext& ctx, const QString& folder) {
    ctx.log.logFolder = folder;
    settings::WriteSetting(QString::fromLatin1(settings::kBatchSetup), kLastFolder, folder);
}

// Windows volumes keep deleted files in "$RECYCLE.BIN"; the desktop's trash lives in
// ~/.local/share/Trash and, on other volumes, in ".Trash-<uid>" or ".Trash".
bool isInRecycleBin(const QString& path) {
    if (path.contains(QStringLiteral("$RECYCLE"), Qt::CaseInsensitive))
        return true;
    static const QRegularExpression trash(
        QStringLiteral(R"((^|[/\\])(\.Trash(-\d+)?|\.local[/\\]share[/\\]Trash)[/\\])"));
    return trash.match(path).hasMatch();
}

// Dot-files are this platform's hidden files, and a hidden photo counts as missing.
bool isVisibleFile(const QString& path) {
    const QFileInfo info(path);
    return info.isFile() && !info.fileName().startsWith(u'.');
}

bool isListed(const PhotoList& list, const QString& path) {
    for (int i = 0; i < list.count(); ++i)
        if (list.record(i).fileName == path)
            return true;
    return false;
}

void tellAdded(RoadContext& ctx, qint32 count) {
    ctx.view.message(titles::kNotice,
                     addtexts::kAddedPrefix + QString::number(count) + addtexts::kAddedSuffix,
                     MessageIcon::Information);
}

void setAddingControlsEnabled(RoadContext& ctx, bool enabled) {
    for (const Control c : {Control::cboAction, Control::cmdExport, Control::cmdOpenEx,
                            Control::cmdClear, Control::cmdOpenFolder})
        ctx.view.setEnabled(c, enabled);
}

void enableForRows(RoadContext& ctx) {
    const bool any = ctx.list.count() > 0;
    ctx.view.setEnabled(Control::cmdExport, any);
    ctx.view.setEnabled(Control::cmdClear, any);
}

// The controls an addition ends with: the add commands back, export and clear only with rows.
void endAddition(RoadContext& ctx) {
    for (const Control c : {Control::cboAction, Control::cmdOpenEx, Control::cmdOpenFolder})
        ctx.view.setEnabled(c, true);
    enableForRows(ctx);
}

// Case-insensitive name order, as the usual Windows and desktop listings show a folder; the
// photo files only, dot-files passed over.
std::vector<FolderEntry> photosIn(const QString& folder) {
    std::vector<FolderEntry> photos = listFolder(folder);
    std::erase_if(photos, [](const FolderEntry& e) {
        return e.isDir || e.name.startsWith(u'.') || !isPhotoFileName(e.name);
    });
    std::sort(photos.begin(), photos.end(), [](const FolderEntry& a, const FolderEntry& b) {
        const int c = a.name.compare(b.name, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a.name < b.name;
    });
    return photos;
}

struct FolderVisit {
    qint32 leftOut = 0; // photos left out because the list was full
    FolderAssignment found;
};

void assignPhoto(RoadContext& ctx, int row, const QString& name) {
    GpsLogRecord record = ctx.list.record(row);
    record.fileName = name;
    record.fileExists = true;
    ctx.list.setRecord(row, record);
    ctx.list.setText(row, ColFileName, name);
    ctx.list.setStatus(row, status::kPending, RowIcon::New);
    ctx.list.setGhosted(row, false);
}

void addFoundPhoto(RoadContext& ctx, const QString& path, qint32& count, qint32& leftOut) {
    switch (addPhotoRow(ctx, path, true)) {
    case AddPhotoResult::Added: {
        // A photo the listing found is queued even where the row was made as missing.
        const int row = ctx.list.count() - 1;
        if (!ctx.list.record(row).fileExists) {
            GpsLogRecord record = ctx.list.record(row);
            record.fileExists = true;
            ctx.list.setRecord(row, record);
            ctx.list.setStatus(row, status::kToRead, RowIcon::New);
            ctx.list.setGhosted(row, false);
        }
        ++count;
        break;
    }
    case AddPhotoResult::ListFull:
        ++leftOut;
        break;
    case AddPhotoResult::AlreadyListed:
    case AddPhotoResult::Refused:
        break;
    }
}

FolderVisit addFolderPhotos(RoadContext& ctx, const QString& folderIn, qint32& count,
                            bool assignMode) {
    const QString folder = withClosingSeparator(folderIn);
    const std::vector<FolderEntry> photos = photosIn(folder);
    rememberFolder(ctx, folder);

    FolderVisit visit;
    for (const FolderEntry& photo : photos) {
        ++visit.found.photos;
        visit.found.undecodable += photo.undecodable ? 1 : 0;
        if (assignMode) {
            // Past the last point the photos are only counted.
            if (count >= ctx.list.count())
                continue;
            if (photo.undecodable)
                ctx.list.setStatus(count, kUndecodableName, RowIcon::Failed);
            else
                assignPhoto(ctx, count, photo.name);
            ++count;
        } else if (!photo.undecodable) {
            addFoundPhoto(ctx, folder + photo.name, count, visit.leftOut);
        }
        ctx.view.yield();
    }
    return visit;
}

void tellUndecodable(RoadContext& ctx, int undecodable) {
    if (undecodable > 0)
        ctx.view.message(titles::kNotice,
                         QString::number(undecodable) + addtexts::kUndecodableSuffix,
                         MessageIcon::Warning);
}

bool isNameListFile(const QString& path) {
    const QString e4 = path.right(4).toUpper();
    return e4 == u".LOG" || e4 == u".TXT" || e4 == u".CSV" || e4 == u".TSV";
}

// The first field of a name-list line: "," separates; without three comma fields, runs of white
// space between two words do (so "IMG_0001 -31.5 -70.2" is one field: no word starts at "-").
QString nameField(const QString& line) {
    QStringList fields = line.split(u',');
    if (fields.size() < 3)
        fields = globals::RegexReplace(QStringLiteral(R"(\b\s+\b)"), QStringLiteral("\t"), line)
                     .split(u'\t');
    return fields.first().trimmed();
}

// False only for a readable file without a non-blank line; a file that cannot be read is left to
// the reader's own failure path.
bool namesAnything(const QString& path) {
    TextLineReader reader(path);
    if (!reader.open())
        return true;
    while (const std::optional<QString> line = reader.readLine()) {
        if (!line->trimmed().isEmpty())
            return true;
    }
    return reader.hasError();
}

} // namespace

std::vector<FolderEntry> listFolder(const QString& folder) {
    std::vector<FolderEntry> entries;
    const QByteArray dirPath = QFile::encodeName(withClosingSeparator(folder));
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(dirPath.constData()), ::closedir);
    if (!dir)
        return entries;
    while (const dirent* entry = ::readdir(dir.get())) {
        const QByteArray raw(entry->d_name);
        if (raw == "." || raw == "..")
            continue;
        bool isDir = entry->d_type == DT_DIR;
        bool isFile = entry->d_type == DT_REG;
        if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
            struct stat target {};
            if (::stat((dirPath + raw).constData(), &target) != 0)
                continue;
            isDir = S_ISDIR(target.st_mode);
            isFile = S_ISREG(target.st_mode);
        }
        if (!isDir && !isFile)
            continue;
        const QString name = QFile::decodeName(raw);
        entries.push_back({name, isDir, QFile::encodeName(name) != raw});
    }
    return entries;
}

QString addfilesdialog::filter() {
    return QStringLiteral("全部可读类型|*.jpg;*.jpeg;*.tif;*.tiff;*.exi;*.exif;*.txt;*.log;*.csv;"
                          "*.tsv;") +
           kRawPattern +
           QStringLiteral("|JPEG 图像 (*.jpg;*.jpeg)|*.jpg;*.jpeg|TIFF 图像 (*.tif;*.tiff)|*.tif;"
                          "*.tiff|EXIF 模板 (*.exi;*.exif)|*.exi;*.exif|相机 RAW 文件|") +
           kRawPattern + QStringLiteral("|记录文件|*.txt;*.log;*.csv;*.tsv|所有文件 (*.*)|*.*");
}

bool isPhotoFileName(const QString& name) {
    const QString e4 = name.right(4).toUpper();
    const QString e5 = name.right(5).toUpper();
    if (e4 == u".JPG" || e4 == u".TIF" || e4 == u".EXI")
        return true;
    if (e4 == u"JPEG" || e4 == u"TIFF" || e4 == u"EXIF")
        return e5 == u'.' + e4;
    // One of the pattern's extensions, not any four characters of its text: a bare "nef" or "e",
    // or a name ending ";*.c", is no photo.
    return e4.size() == 4 && e4.startsWith(u'.') &&
           (kRawPattern + u';').contains(u'*' + e4 + u';', Qt::CaseInsensitive);
}

AddPhotoResult addPhotoRow(RoadContext& ctx, const QString& path, bool skipDuplicateCheck) {
    if (!skipDuplicateCheck && ctx.list.count() > 0 && isListed(ctx.list, path))
        return AddPhotoResult::AlreadyListed;
    if (isInRecycleBin(path))
        return AddPhotoResult::Refused;
    if (ctx.list.isFull())
        return AddPhotoResult::ListFull;

    PhotoRow row;
    row.record.fileName = path;
    row.record.fileExists = isVisibleFile(path);
    row.texts[ColFileName] = globals::GetFileName(path);
    row.texts[ColLatitude] = row.texts[ColLongitude] = row.texts[ColAltitude] = QStringLiteral("-");
    row.texts[ColStatus] = row.record.fileExists ? status::kToRead : status::kNotFound;
    row.icon = RowIcon::New;
    row.ghosted = !row.record.fileExists;
    return ctx.list.append(std::move(row)) < 0 ? AddPhotoResult::ListFull : AddPhotoResult::Added;
}

void tellListFull(RoadContext& ctx, qint32 leftOut) {
    if (leftOut <= 0)
        return;
    ctx.view.message(titles::kNotice,
                     addtexts::kListFullPrefix + QString::number(leftOut) +
                         addtexts::kListFullSuffix,
                     MessageIcon::Warning);
}

int AddPhoto(RoadContext& ctx, const QString& path, bool skipDuplicateCheck) {
    return addPhotoRow(ctx, path, skipDuplicateCheck) == AddPhotoResult::AlreadyListed ? 1 : 0;
}

void AddFolderPhotos(RoadContext& ctx, const QString& folder, qint32& count, bool assignMode) {
    const FolderVisit visit = addFolderPhotos(ctx, folder, count, assignMode);
    tellListFull(ctx, visit.leftOut);
    tellUndecodable(ctx, visit.found.undecodable);
}

FolderAssignment assignFolderPhotos(RoadContext& ctx, const QString& folder) {
    qint32 count = 0;
    return addFolderPhotos(ctx, folder, count, true).found;
}

void clearPhotoList(RoadContext& ctx) {
    ctx.list.clear();
    ctx.view.setEnabled(Control::cmdExport, false);
    ctx.view.setEnabled(Control::cmdClear, false);
}

void beginAddFiles(RoadContext& ctx) {
    ctx.view.setEnabled(Control::cmdExport, false);
    ctx.view.setEnabled(Control::cmdClear, false);
    if (ctx.log.batchDone)
        clearPhotoList(ctx);
}

void addChosenFiles(RoadContext& ctx, const QString& dialogFileName) {
    QStringList parts;
    for (const QString& part : dialogFileName.split(QChar(0))) {
        const QString trimmed = part.trimmed();
        if (!trimmed.isEmpty())
            parts.append(trimmed);
    }
    if (parts.isEmpty()) {
        enableForRows(ctx);
        return;
    }

    QString folder;
    if (parts.size() > 1) {
        setAddingControlsEnabled(ctx, false);
        ctx.view.setBusyCursor(true);
        folder = withClosingSeparator(parts.takeFirst());
        const bool skipDuplicateCheck = parts.size() > kDuplicateCheckLimit;
        qint32 added = 0;
        qint32 leftOut = 0;
        for (const QString& name : std::as_const(parts)) {
            const AddPhotoResult result = addPhotoRow(ctx, folder + name, skipDuplicateCheck);
            if (result == AddPhotoResult::Added)
                ++added;
            else if (result == AddPhotoResult::ListFull)
                ++leftOut;
            ctx.view.yield();
        }
        for (const Control c : {Control::cboAction, Control::cmdOpenEx, Control::cmdOpenFolder})
            ctx.view.setEnabled(c, true);
        ctx.view.setBusyCursor(false);
        if (added > kQuietAdditionLimit)
            tellAdded(ctx, added);
        tellListFull(ctx, leftOut);
    } else {
        const QString& path = parts.first();
        folder = folderOf(path);
        if (isNameListFile(path)) {
            LoadFileListLog(ctx, path);
        } else {
            switch (addPhotoRow(ctx, path, false)) {
            case AddPhotoResult::AlreadyListed:
                ctx.view.message(titles::kReminder, addtexts::kAlreadyListed, MessageIcon::Warning);
                break;
            case AddPhotoResult::ListFull:
                tellListFull(ctx, 1);
                break;
            case AddPhotoResult::Added:
            case AddPhotoResult::Refused:
                break;
            }
        }
    }

    rememberFolder(ctx, folder);
    ctx.view.setFocus(Control::cmdExport);
    ctx.log.batchDone = false;
    enableForRows(ctx);
}

void addFolder(RoadContext& ctx, const QString& chosen) {
    const QString folder = globals::TrimAtNull(chosen);
    if (folder.isEmpty())
        return;
    clearPhotoList(ctx);
    setAddingControlsEnabled(ctx, false);
    ctx.view.setBusyCursor(true);
    qint32 count = 0;
    const FolderVisit visit = addFolderPhotos(ctx, folder, count, false);
    ctx.view.setBusyCursor(false);
    if (count < 1)
        ctx.view.message(titles::kNotice, addtexts::kNothingFound, MessageIcon::Warning);
    else
        tellAdded(ctx, count);
    tellListFull(ctx, visit.leftOut);
    tellUndecodable(ctx, visit.found.undecodable);
    endAddition(ctx);
    ctx.log.batchDone = false;
}

void LoadFileListLog(RoadContext& ctx, const QString& pathIn) {
    const QString path = pathIn.trimmed();
    const auto finish = [&ctx] {
        ctx.log.batchDone = false;
        endAddition(ctx);
    };
    const auto fail = [&ctx, &finish] {
        ctx.list.clear();
        ctx.view.message(titles::kError, addtexts::kInvalidList, MessageIcon::Error);
        finish();
    };
    if (path.isEmpty() || !QFileInfo(path).isFile()) {
        fail();
        return;
    }
    if (!namesAnything(path)) {
        ctx.view.message(titles::kNotice, addtexts::kNoNamesInList, MessageIcon::Warning);
        finish();
        return;
    }

    setAddingControlsEnabled(ctx, false);
    ctx.list.clear();
    rememberFolder(ctx, folderOf(path));

    TextLineReader reader(path);
    if (!reader.open()) {
        fail();
        return;
    }
    qint32 leftOut = 0;
    while (const std::optional<QString> line = reader.readLine()) {
        if (ctx.list.count() == 0 && line->contains(QStringLiteral("<?xml"))) {
            fail();
            return;
        }
        // A blank line between names is a slip of the editor, not a reason to lose the list.
        if (line->trimmed().isEmpty())
            continue;
        QString name = nameField(*line);
        if (!name.contains(u'.') && ctx.log.autoSuffix)
            name += QStringLiteral(".JPG");
        if (addPhotoRow(ctx, ctx.log.logFolder + name, true) == AddPhotoResult::ListFull)
            ++leftOut;
    }
    if (reader.hasError()) {
        fail();
        return;
    }
    tellListFull(ctx, leftOut);
    finish();
}

// The folder's files straight from the directory entries: a stat only where the entry does not
// tell its kind (a link, a file system without types), not one per photo as QDir's listing does.
QStringList folderPhotoPaths(const QString& folderIn) {
    const QString folder = withClosingSeparator(folderIn);
    DIR* dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return {};
    QStringList names;
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        const QString name = QFile::decodeName(entry->d_name);
        if (!isPhotoFileName(name))
            continue;
        bool file = entry->d_type == DT_REG;
        if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
            struct stat st {};
            file = ::stat(QFile::encodeName(folder + name).constData(), &st) == 0 &&
                   S_ISREG(st.st_mode);
        }
        if (file)
            names.append(name);
    }
    ::closedir(dir);
    // The order of photoNamesIn, with each name folded once instead of in every comparison.
    std::vector<std::pair<QString, QString>> keyed;
    keyed.reserve(std::size_t(names.size()));
    for (const QString& name : std::as_const(names))
        keyed.emplace_back(name.toCaseFolded(), name);
    std::sort(keyed.begin(), keyed.end());
    for (qsizetype i = 0; i < names.size(); ++i)
        names[i] = keyed[std::size_t(i)].second;
    QStringList paths;
    paths.reserve(names.size());
    const bool binned = isInRecycleBin(folder);
    for (const QString& name : std::as_const(names)) {
        // Only a name holding a separator or a "$" can make a path a recycle bin's.
        const bool odd = name.contains(u'\\') || name.contains(u'$');
        if (!binned && (!odd || !isInRecycleBin(folder + name)))
            paths.append(folder + name);
    }
    return paths;
}

std::optional<QStringList> nameListPaths(const QString& pathIn, bool autoSuffix) {
    const QString path = pathIn.trimmed();
    TextLineReader reader(path);
    if (path.isEmpty() || !QFileInfo(path).isFile() || !reader.open())
        return std::nullopt;
    const QString folder = folderOf(path);
    QStringList paths;
    while (const std::optional<QString> line = reader.readLine()) {
        if (paths.isEmpty() && line->contains(QStringLiteral("<?xml")))
            return std::nullopt;
        if (line->trimmed().isEmpty())
            continue;
        QString name = nameField(*line);
        if (!name.contains(u'.') && autoSuffix)
            name += QStringLiteral(".JPG");
        paths.append(folder + name);
    }
    if (reader.hasError())
        return std::nullopt;
    return paths;
}
