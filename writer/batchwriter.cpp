#include "writer/batchwriter.h"

#include "base/coordinates.h"
#include "codec/codec.h"
#include "photolist/gpslogstate.h"
#include "photolist/photolist.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cmath>
#include <exception>
#include <limits>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <vector>

namespace {

const QString kBatchFailed = QStringLiteral("批处理过程中发生严重错误，将终止操作！");
const QString kFinishedTitle = QStringLiteral("完成处理");
const QString kResultsFolder = QStringLiteral("results/");

constexpr Control kBatchControls[] = {Control::cmdOpenLog, Control::cmdStart, Control::cmdToggle,
                                      Control::cboAction, Control::chkMakerNote};
// cmdStart and cmdToggle stay disabled after a batch: a new batch needs a new load.
constexpr Control kControlsAfterBatch[] = {Control::cmdOpenLog, Control::cboAction,
                                           Control::chkMakerNote};

template <size_t N>
void setControlsEnabled(IMainView& view, const Control (&controls)[N], bool on) {
    for (const Control control : controls)
        view.setEnabled(control, on);
}

// EXIF RATIONAL is unsigned with a non-zero denominator: a negative, infinite or undefined value
// has no form that a reader would take back as what the log said.
std::optional<Rational> exifRational(float x) {
    if (!std::isfinite(x) || x < 0)
        return std::nullopt;
    const Rational rational = GetRational(x, 6);
    if (rational.den > 0 && rational.num >= 0)
        return rational;
    // The fraction search gave up (or the value is too large for hundredths): keep as many
    // decimals as 32 bits allow.
    for (const qint32 den : {1000, 100, 10, 1}) {
        const double num = std::round(static_cast<double>(x) * den);
        if (num <= std::numeric_limits<qint32>::max())
            return Rational{static_cast<qint32>(num), den};
    }
    return std::nullopt;
}

struct TagWrite {
    int tag;
    int type;
    qint16 count;
    codec::TagValue value;
};

// |deg|/1, |min|/1, seconds: the order of the EXIF GPSLatitude and GPSLongitude rationals.
std::optional<std::vector<qint32>> dmsRationals(const Dms& value) {
    const auto seconds = exifRational(value.sec);
    if (!seconds)
        return std::nullopt;
    return std::vector<qint32>{
        qAbs(qint32(value.deg)), 1, qAbs(qint32(value.min)), 1, seconds->num, seconds->den};
}

// The GPS tags of one record, in the order they are written; empty when a value cannot be written.
// Texts of type 2 count their closing NUL.
std::optional<std::vector<TagWrite>> gpsTags(const GpsLogRecord& record) {
    const auto latitude = dmsRationals(record.lat);
    const auto longitude = dmsRationals(record.lon);
    if (!latitude || !longitude)
        return std::nullopt;
    std::vector<TagWrite> tags{
        {0, codec::Byte, 4, QByteArray("\x02\x03\x00\x00", 4)},
        {1, codec::Ascii, 2, record.lat.isNegative() ? QStringLiteral("S") : QStringLiteral("N")},
        {2, codec::Rational, 3, *latitude},
        {3, codec::Ascii, 2, record.lon.isNegative() ? QStringLiteral("W") : QStringLiteral("E")},
        {4, codec::Rational, 3, *longitude},
    };
    if (!record.noAltitude) {
        const auto altitude = exifRational(std::fabs(record.altitude));
        if (!altitude)
            return std::nullopt;
        tags.push_back({5, codec::Byte, 1, QByteArray(1, record.altitude < 0 ? 1 : 0)});
        tags.push_back({6, codec::Rational, 1, std::vector<qint32>{altitude->num, altitude->den}});
    }
    return tags;
}

// Why the folder could not be made (the system's reason); empty when it is there.
QString ensureFolder(const QString& path) {
    if (QFileInfo(path).isDir() ||
        ::mkdir(QFile::encodeName(path).constData(), S_IRWXU | S_IRWXG | S_IRWXO) == 0)
        return {};
    return codec::systemErrorText(errno);
}

// The row statuses keep their first words and say why after them.
QString openFailed(const codec::ICodec& codec, qint32 result) {
    const QString reason = codec.LastError();
    return reason.isEmpty() ? status::kOpenFailed + QString::number(result)
                            : QStringLiteral("打开失败：") + reason;
}

QString saveFailed(const QString& reason) {
    return reason.isEmpty() ? status::kSaveFailed : QStringLiteral("保存失败：") + reason;
}

class BatchRun {
public:
    explicit BatchRun(RoadContext& ctx) : m_ctx(ctx), m_rows(ctx.list.count()) {}

    BatchResult run();

private:
    bool writeRow(int i);
    bool processRow(int i);
    bool rowFailed(int i, const QString& status);
    QString copyPath(const QString& fileName) const;
    BatchResult coreFailed(const QString& message);
    BatchResult aborted();
    BatchResult finish();

    RoadContext& m_ctx;
    const int m_rows;
    std::unique_ptr<codec::ICodec> m_codec;
    QString m_resultsFolder;
    // From the first OpenFile on, a raised failure aborts the batch instead of counting as a
    // failure to start it.
    bool m_photoOpened = false;
    int m_written = 0;
};

BatchResult BatchRun::run() {
    if (m_ctx.log.invalidData) {
        m_ctx.view.message(titles::kError, invalidDataMessage(), MessageIcon::Error);
        return {BatchEnd::Refused, m_rows, 0};
    }
    m_ctx.app.batchRunning = true;
    m_ctx.log.batchDone = false;
    try {
        m_codec = m_ctx.app.codecFactory.create(QString::fromLatin1(codec::kProgId));
        if (!m_codec)
            return coreFailed(kCoreCallFailed);
        setControlsEnabled(m_ctx.view, kBatchControls, false);
        m_resultsFolder = m_ctx.log.logFolder + kResultsFolder;
        if (const QString failure = ensureFolder(m_resultsFolder); !failure.isEmpty())
            return coreFailed(
                QStringLiteral("无法创建 results 子文件夹：%1！\n%2")
                    .arg(failure, QDir::toNativeSeparators(QDir::cleanPath(m_resultsFolder))));
        for (int i = 0; i < m_rows; ++i) {
            if (writeRow(i))
                ++m_written;
        }
    } catch (const std::exception&) {
        return m_photoOpened ? aborted() : coreFailed(kCoreCallFailed);
    }
    return finish();
}

bool BatchRun::writeRow(int i) {
    m_ctx.list.setStatus(i, status::kWorking, RowIcon::Working);
    m_ctx.view.showRow(i);
    m_ctx.view.setTips(QStringLiteral("正在处理 %1/%2 ...").arg(i + 1).arg(m_rows));
    m_ctx.view.yield();
    const bool saved = processRow(i);
    m_ctx.view.yield();
    return saved;
}

bool BatchRun::processRow(int i) {
    const PhotoRow row = m_ctx.list.row(i);
    if (row.ghosted)
        return rowFailed(i, status::kSkipped);
    const GpsLogRecord& record = row.record;
    if (!record.fileExists)
        return rowFailed(i, status::kMissing);
    const auto tags = gpsTags(record);
    if (!tags)
        return rowFailed(i, saveFailed(QStringLiteral("坐标无法写成 EXIF 数值")));
    const QString destination = copyPath(record.fileName);
    if (destination.isEmpty())
        return rowFailed(i, saveFailed(QStringLiteral("文件名指向 results 子文件夹之外")));

    m_photoOpened = true;
    const qint32 opened =
        m_codec->OpenFile(m_ctx.log.logFolder + record.fileName, !m_ctx.view.skipMakerNote(), true);
    if (!codec::isOpened(opened))
        return rowFailed(i, openFailed(*m_codec, opened));
    for (const TagWrite& tag : *tags)
        m_codec->AddTag(tag.tag, codec::kGpsDirectory, tag.type, tag.count, tag.value, false);
    // A log may name a photo in a sub-folder; its copy goes to the same sub-folder of results.
    const QString folder = QFileInfo(destination).path();
    if (!QDir().mkpath(folder))
        return rowFailed(
            i, saveFailed(QStringLiteral("无法创建文件夹 ") + QDir::toNativeSeparators(folder)));
    if (!m_codec->SaveToJPEG(destination))
        return rowFailed(i, saveFailed(m_codec->LastError()));
    m_ctx.list.setStatus(i, status::kWritten, RowIcon::Done);
    return true;
}

bool BatchRun::rowFailed(int i, const QString& status) {
    m_ctx.list.setStatus(i, status, RowIcon::Failed);
    return false;
}

// Where the copy of fileName goes; empty when the name climbs out of results ("../x.jpg"), where
// the copy could replace another original.
QString BatchRun::copyPath(const QString& fileName) const {
    const QString destination = m_resultsFolder + fileName;
    const QString root = QDir::cleanPath(m_resultsFolder) + u'/';
    const QString cleaned = QDir::cleanPath(destination);
    if (!cleaned.startsWith(root) || cleaned.size() == root.size())
        return {};
    return destination;
}

BatchResult BatchRun::coreFailed(const QString& message) {
    m_ctx.view.message(titles::kError, message, MessageIcon::Error);
    m_codec.reset();
    m_ctx.app.batchRunning = false;
    // Nothing was written: give the controls back so the user can try again.
    setControlsEnabled(m_ctx.view, kBatchControls, true);
    m_ctx.view.setEnabled(Control::cmdStart, m_rows > 0);
    m_ctx.view.setEnabled(Control::cmdToggle, m_rows > 0);
    return {BatchEnd::CoreFailed, m_rows, m_written};
}

// The row in hand keeps "正在处理..." so the user sees where the batch stopped.
BatchResult BatchRun::aborted() {
    m_ctx.view.message(titles::kError, kBatchFailed, MessageIcon::Error);
    m_codec.reset();
    m_ctx.app.batchRunning = false;
    setControlsEnabled(m_ctx.view, kControlsAfterBatch, true);
    return {BatchEnd::Aborted, m_rows, m_written};
}

BatchResult BatchRun::finish() {
    m_ctx.view.showRow(-1);
    m_ctx.app.batchRunning = false;
    m_ctx.log.batchDone = true;
    m_codec.reset();
    if (m_ctx.app.silentMode) {
        m_ctx.view.closeWindow();
        return {BatchEnd::Finished, m_rows, m_written};
    }
    m_ctx.view.setTips(QStringLiteral("成功处理 %1 个文件！").arg(m_written));
    setControlsEnabled(m_ctx.view, kControlsAfterBatch, true);
    m_ctx.view.message(kFinishedTitle, batchSummary(m_written), MessageIcon::Information);
    return {BatchEnd::Finished, m_rows, m_written};
}

} // namespace

BatchResult cmdStart_Click(RoadContext& ctx) {
    return BatchRun(ctx).run();
}

QString batchSummary(int written) {
    return QStringLiteral("成功处理 %1 个文件").arg(written) +
           (written > 0 ? QStringLiteral("，处理结果已保存到 results 子文件夹中！")
                        : QStringLiteral("！"));
}

QString invalidDataMessage() {
    return QStringLiteral("列表中含无效数据！请交换经纬度或修正记录文件后重试！");
}
