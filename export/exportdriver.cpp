#include "export/exportdriver.h"

#include "base/coordinates.h"
#include "base/globals.h"
#include "base/vbnum.h"
#include "codec/capturetime.h"
#include "codec/exifpeek.h"
#include "photolist/gpslogstate.h"
#include "photolist/photolist.h"

#include <QDateTime>
#include <QTimeZone>
#include <algorithm>
#include <cmath>
#include <exception>
#include <memory>
#include <optional>

using namespace exportformats;

namespace {

constexpr int kGps = codec::kGpsDirectory;
constexpr int kLatitudeRef = 1;
constexpr int kLatitude = 2;
constexpr int kLongitudeRef = 3;
constexpr int kLongitude = 4;
constexpr int kAltitudeRef = 5;
constexpr int kAltitude = 6;

// Metres, negative below sea level; empty when the photo has no altitude or its text is not a
// number (one odd photo must not cost the lines already read).
std::optional<double> readAltitude(const codec::ICodec& codec) {
    if (!codec.IsTagExisted(kAltitude, kGps))
        return std::nullopt;
    const std::optional<double> value = vbnum::toDouble(codec.TagValueString(kAltitude, kGps));
    if (!value || !std::isfinite(*value))
        return std::nullopt;
    const bool below = vbnum::leadingValue(codec.TagValueString(kAltitudeRef, kGps)) != 0;
    return below ? -*value : *value;
}

// The moment the photo was taken, in UTC: DateTimeOriginal with its fraction of a second, in the
// zone OffsetTimeOriginal names, else in this computer's zone (cameras keep local time).
std::optional<QDateTime> takenUtc(const std::optional<codec::OriginalTime>& original) {
    if (!original)
        return std::nullopt;
    const std::optional<qint64> wall =
        codec::parseExifDateTime(original->dateTime, original->subSec);
    if (!wall)
        return std::nullopt;
    if (const std::optional<int> offset = codec::parseExifOffset(original->offset))
        return QDateTime::fromMSecsSinceEpoch(*wall - qint64(*offset) * 60'000, QTimeZone::utc());
    // No zone in the photo: this computer's, with its own rule for that day.
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(*wall, QTimeZone::utc());
    return QDateTime(local.date(), local.time(), QTimeZone::systemTimeZone()).toUTC();
}

// Metres as the codec's altitude text gives them: 15 significant digits.
std::optional<double> altitudeAsRead(std::optional<double> metres) {
    if (!metres)
        return std::nullopt;
    const std::optional<double> value = vbnum::toDouble(vbnum::generalDouble(*metres));
    return value && std::isfinite(*value) ? value : std::nullopt;
}

// One photo through the codec: the status, and the values when it holds a position.
PhotoReadResult readWithCodec(codec::ICodec& codec, const QString& path, const QList<int>& columns,
                              PhotoGpsValues& values) {
    PhotoReadResult result;
    // The export never needs maker-note data, whatever "忽略厂商注释数据" says.
    const qint32 opened = codec.OpenFile(path, false, false);
    double latitude = 0;
    double longitude = 0;
    if (!codec::isOpened(opened)) {
        result.status = PhotoReadStatus::OpenFailed;
        result.openResult = opened;
        return result;
    }
    // A position whose rationals or references are unusable counts as none: writing 0,0 would
    // put the photo off the coast of Africa.
    if (!codec.IsTagExisted(kLatitude, kGps) || !codec.IsTagExisted(kLongitude, kGps) ||
        !codec.GetGpsCoordinate(latitude, longitude)) {
        result.status = PhotoReadStatus::NoGps;
        return result;
    }
    result.status = PhotoReadStatus::Read;
    result.latitudeText = codec.TagValueLabel(kLatitude, kGps) +
                          globals::TrimAtNull(codec.TagValueString(kLatitudeRef, kGps));
    result.longitudeText = codec.TagValueLabel(kLongitude, kGps) +
                           globals::TrimAtNull(codec.TagValueString(kLongitudeRef, kGps));
    values.latitude = latitude;
    values.longitude = longitude;
    values.altitude = readAltitude(codec);
    result.altitudeText =
        values.altitude ? vbnum::generalDouble(*values.altitude) + u'm' : QString();
    for (const int tag : columns)
        values.labels.append(codec.TagValueLabel(tag, kGps));
    return result;
}

// A coordinate as the codec's label and reference give it: 31°13′49.44″N. The sign bit, not the
// value, tells the hemisphere: 0° south is -0.
QString coordinateText(double value, QChar positive, QChar negative) {
    const std::optional<Dms> dms = decimalToDms(std::abs(value));
    return (dms ? FormatDms(*dms) : QString()) + (std::signbit(value) ? negative : positive);
}

// The row texts of a position taken from the quick look, the same the codec's texts make.
void setRowTexts(PhotoReadResult& result, const PhotoGpsValues& values) {
    result.latitudeText = coordinateText(values.latitude, u'N', u'S');
    result.longitudeText = coordinateText(values.longitude, u'E', u'W');
    result.altitudeText =
        values.altitude ? vbnum::generalDouble(*values.altitude) + u'm' : QString();
}

// The read phase; throws what a codec member throws. Where no label is asked for, a JPEG's
// position is taken from a quick look at its GPS directory, and the codec reads only what that
// look leaves open.
void readAll(codec::ICodec& codec, const QList<ExportPhoto>& photos, const ExportOptions& options,
             IExportProgress& progress, ExportRead& read) {
    const QList<int> columns = exportColumns(options);
    const bool gpx = options.type == ExportType::Gpx;
    const bool quick = columns.isEmpty();
    const bool texts = progress.wantsRowTexts();
    for (int i = 0; i < photos.size(); ++i) {
        progress.photoStarted(i);
        progress.yield();
        const ExportPhoto& photo = photos.at(i);
        PhotoReadResult result;
        QueuedFile file{photo.path};
        if (!photo.skip) {
            PhotoGpsValues values;
            values.fileName = globals::GetFileName(photo.path);
            const codec::PhotoPeek peek =
                quick || gpx ? codec::peekPhoto(photo.path, {quick, gpx}) : codec::PhotoPeek{};
            if (peek.device != 0 || peek.inode != 0)
                file = {photo.path, true, peek.device, peek.inode};
            if (peek.position) {
                result.status = PhotoReadStatus::Read;
                values.latitude = peek.position->latitude;
                values.longitude = peek.position->longitude;
                values.altitude = altitudeAsRead(peek.position->altitude);
                if (texts)
                    setRowTexts(result, values);
            } else {
                result = readWithCodec(codec, photo.path, columns, values);
            }
            if (result.status == PhotoReadStatus::Read) {
                if (gpx)
                    values.time = takenUtc(peek.time);
                read.photos.append(std::move(values));
            }
        }
        read.files.append(std::move(file));
        progress.photoDone(i, result);
    }
}

KmlVariant kmlVariant(ExportType type) {
    switch (type) {
    case ExportType::KmlPath:
        return KmlVariant::Path;
    case ExportType::KmlPolygon:
        return KmlVariant::Polygon;
    default:
        return KmlVariant::Points;
    }
}

} // namespace

QList<int> exportColumns(const ExportOptions& options) {
    QList<int> ordered;
    if (!isTextExport(options.type))
        return ordered;
    for (const ExportField& field : kExportFields) {
        if (options.columns.contains(field.tag))
            ordered.append(field.tag);
    }
    return ordered;
}

ExportOptions exportOptions(const ExportChoice& choice, const QList<int>& columns, bool header) {
    ExportOptions options;
    switch (choice.outputKind) {
    case 1:
        options.type = choice.subFormat == 1   ? ExportType::KmlPath
                       : choice.subFormat == 2 ? ExportType::KmlPolygon
                                               : ExportType::KmlPoints;
        return options;
    case 2:
        options.type = ExportType::Gpx;
        return options;
    default:
        options.type = choice.subFormat == 0 ? ExportType::Csv : ExportType::Tsv;
        options.dms = choice.dataFormat != 0;
        options.columns = columns;
        options.header = header;
        return options;
    }
}

QString exportmessages::exported(const QString& path) {
    return QStringLiteral("成功导出到 ") + path + QStringLiteral("！");
}

SaveDialogSetup exportSaveDialog(const ExportChoice& choice, const QString& initialFolder) {
    const auto kind = choice.outputKind == 1   ? OutputKind::Kml
                      : choice.outputKind == 2 ? OutputKind::Gpx
                                               : OutputKind::Text;
    const auto format = choice.subFormat == 0 ? TextFormat::Csv : TextFormat::Tsv;
    return {exportdialog::kTitle, exportdialog::kFilter, initialFolder,
            defaultFileName(kind, format), exportdialog::kFlags};
}

QString photoReadReason(const PhotoReadResult& result) {
    switch (result.status) {
    case PhotoReadStatus::Read:
        return {};
    case PhotoReadStatus::Skipped:
        return QStringLiteral("跳过");
    case PhotoReadStatus::NoGps:
        return QStringLiteral("无 GPS 数据");
    case PhotoReadStatus::OpenFailed:
        break;
    }
    switch (result.openResult) {
    case codec::FileMissing:
        return QStringLiteral("未找到文件");
    case codec::NotAFile:
        return QStringLiteral("不是普通文件");
    case codec::TooLarge:
        return QStringLiteral("文件过大");
    case codec::UnknownType:
        return QStringLiteral("不是支持的照片格式");
    case codec::DamagedMetadata:
        return QStringLiteral("元数据已损坏");
    case codec::ReadError:
        return QStringLiteral("读取失败");
    default:
        return QStringLiteral("打开失败（%1）").arg(result.openResult);
    }
}

ExportRead readExportPhotos(const codec::CodecFactory& factory, const QList<ExportPhoto>& photos,
                            const ExportOptions& options, IExportProgress& progress) {
    ExportRead read;
    try {
        const std::unique_ptr<codec::ICodec> codec =
            factory.create ? factory.create(QString::fromLatin1(codec::kProgId)) : nullptr;
        if (!codec) {
            read.codecFailed = true;
            return read;
        }
        readAll(*codec, photos, options, progress, read);
    } catch (const std::exception&) {
        read.codecFailed = true;
    }
    return read;
}

QByteArray composeExport(const ExportOptions& options, const QList<PhotoGpsValues>& photos) {
    if (options.type == ExportType::Gpx)
        return ComposeGpxDocument(photos, QStringLiteral("corvexa-gps " CORVEXA_VERSION)).toUtf8();
    QStringList lines;
    lines.reserve(photos.size());
    if (!isTextExport(options.type)) {
        for (const PhotoGpsValues& photo : photos)
            lines.append(ComposeKmlLine(photo));
        return ComposeKmlDocument(kmlVariant(options.type), lines).toUtf8();
    }
    const QChar separator = options.type == ExportType::Tsv ? kTsvSeparator : kCsvSeparator;
    const CoordinateForm form = options.dms ? CoordinateForm::Dms : CoordinateForm::Decimal;
    for (const PhotoGpsValues& photo : photos)
        lines.append(ComposeTextLine(separator, photo, form));
    return ComposeTextFile(options.header, separator, exportColumns(options), lines).toUtf8();
}

namespace {

// The commands that could start a competing command while the run yields.
constexpr Control kRunLocked[] = {Control::cboAction, Control::cmdExport,  Control::cmdOpenEx,
                                  Control::cmdClear,  Control::cmdOptions, Control::cmdOpenFolder};

// Clears batchRunning on every way out of the run, exceptions included.
class BatchRunningGuard {
public:
    explicit BatchRunningGuard(AppState& app) : m_app(app) { m_app.batchRunning = true; }
    ~BatchRunningGuard() { m_app.batchRunning = false; }
    BatchRunningGuard(const BatchRunningGuard&) = delete;
    BatchRunningGuard& operator=(const BatchRunningGuard&) = delete;

private:
    AppState& m_app;
};

// The window's rows follow the read: "正在处理..." while a photo is read, then its result.
class RowProgress final : public IExportProgress {
public:
    explicit RowProgress(RoadContext& ctx) : m_ctx(ctx) {}

    void yield() override { m_ctx.view.yield(); }
    void photoStarted(int i) override {
        if (i >= m_ctx.list.count())
            return;
        m_ctx.list.setStatus(i, status::kWorking, RowIcon::Working);
        m_ctx.view.showRow(i);
    }
    void photoDone(int i, const PhotoReadResult& result) override {
        PhotoList& list = m_ctx.list;
        if (i >= list.count())
            return; // only a list emptied meanwhile; the commands that could are off
        switch (result.status) {
        case PhotoReadStatus::Skipped:
            list.setStatus(i, status::kSkipped, RowIcon::Failed);
            break;
        case PhotoReadStatus::OpenFailed:
            list.setStatus(i, status::kReadOpenFailed, RowIcon::Failed);
            break;
        case PhotoReadStatus::NoGps:
            list.setStatus(i, status::kNoGps, RowIcon::Failed);
            break;
        case PhotoReadStatus::Read:
            list.setText(i, ColLatitude, result.latitudeText);
            list.setText(i, ColLongitude, result.longitudeText);
            list.setText(i, ColAltitude, result.altitudeText);
            list.setStatus(i, status::kRead, RowIcon::Done);
            break;
        }
    }

private:
    RoadContext& m_ctx;
};

// After a complete run the list counts as processed, so "开始导出" stays off until photos are
// added; the options only apply to text output.
void giveControlsBack(RoadContext& ctx, const ExportOptions& options, bool exportAgain) {
    for (const Control c :
         {Control::cboAction, Control::cmdOpenEx, Control::cmdClear, Control::cmdOpenFolder})
        ctx.view.setEnabled(c, true);
    ctx.view.setEnabled(Control::cmdExport, exportAgain);
    ctx.view.setEnabled(Control::cmdOptions, isTextExport(options.type));
}

} // namespace

bool beginExport(const RoadContext& ctx) {
    return ctx.list.count() > 0;
}

ExportOutcome runExport(RoadContext& ctx, const ExportOptions& options, const QString& outputPath) {
    const QString path = globals::TrimAtNull(outputPath).trimmed();
    if (path.isEmpty() || ctx.list.count() == 0)
        return ExportOutcome::NothingToDo;

    const BatchRunningGuard running(ctx.app);
    // The count is taken once; the commands that could change the list are off meanwhile.
    QList<ExportPhoto> photos;
    for (int i = 0; i < ctx.list.count(); ++i)
        photos.append({ctx.list.record(i).fileName, ctx.list.row(i).ghosted});
    ctx.log.batchDone = false;
    for (const Control control : kRunLocked)
        ctx.view.setEnabled(control, false);

    RowProgress progress(ctx);
    const ExportRead read = readExportPhotos(ctx.app.codecFactory, photos, options, progress);
    if (read.codecFailed) {
        ctx.view.message(titles::kError, kCoreCallFailed, MessageIcon::Error);
        // Nothing was written and the list is not done: the user may try again.
        giveControlsBack(ctx, options, true);
        return ExportOutcome::ReadFailed;
    }

    const ExportWriteResult written =
        writeExportFile(path, composeExport(options, read.photos), read.files);
    ExportOutcome outcome;
    if (!written.ok()) {
        ctx.view.message(titles::kError, exportWriteFailure(written), MessageIcon::Error);
        outcome = ExportOutcome::WriteFailed;
    } else if (read.photos.isEmpty()) {
        ctx.view.message(titles::kNotice, exportmessages::kNothingRead, MessageIcon::Warning);
        outcome = ExportOutcome::NothingRead;
    } else {
        ctx.view.message(titles::kNotice, exportmessages::exported(path), MessageIcon::Information);
        outcome = ExportOutcome::Exported;
    }
    giveControlsBack(ctx, options, false);
    ctx.view.setEnabled(Control::chkMakerNote, true);
    ctx.log.batchDone = true;
    return outcome;
}
