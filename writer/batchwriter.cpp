#include "writer/batchwriter.h"

#include "base/coordinates.h"
#include "codec/codec.h"
#include "photolist/gpslogstate.h"
#include "photolist/photolist.h"
#include "writer/serialworker.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimeZone>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <deque>
#include <exception>
#include <future>
#include <limits>
#include <memory>
#include <numeric>
#include <optional>
#include <sys/stat.h>
#include <unordered_set>
#include <utility>
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

// GPSTimeStamp (hours, minutes, seconds with milliseconds) and GPSDateStamp ("2024:05:01") of a
// UTC time, as the photo was matched to a timed track.
void appendGpsTime(std::vector<TagWrite>& tags, qint64 utcMs) {
    const QDateTime utc = QDateTime::fromMSecsSinceEpoch(utcMs, QTimeZone::utc());
    const QTime time = utc.time();
    const qint32 ms = time.second() * 1000 + time.msec();
    const qint32 divisor = std::gcd(ms, 1000);
    tags.push_back(
        {7, codec::Rational, 3,
         std::vector<qint32>{time.hour(), 1, time.minute(), 1, ms / divisor, 1000 / divisor}});
    tags.push_back({29, codec::Ascii, 11, utc.date().toString(QStringLiteral("yyyy:MM:dd"))});
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
    if (record.gpsTimeMs)
        appendGpsTime(tags, *record.gpsTimeMs);
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
QString openFailed(const QString& reason, qint32 result) {
    return reason.isEmpty() ? status::kOpenFailed + QString::number(result)
                            : QStringLiteral("打开失败：") + reason;
}

QString saveFailed(const QString& reason) {
    return reason.isEmpty() ? status::kSaveFailed : QStringLiteral("保存失败：") + reason;
}

// What a row asks of the codec, settled on the interface thread before the codec is asked.
struct RowPlan {
    QString source;
    QString destination;
    std::vector<TagWrite> tags;
    QString refusal; // why no copy can be written for the row; empty when one can
};

// The file a path leads to, as device and inode; empty when there is none.
using FileId = std::optional<std::pair<dev_t, ino_t>>;

FileId fileAt(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return std::nullopt;
    return std::pair{st.st_dev, st.st_ino};
}

// The codec's half of a row: the photo opened and tagged, and its copy made ready where the
// codec saves in two steps.
struct PreparedRow {
    bool readMakerNote = true; // the choice the photo was opened with
    FileId source;             // what the source's name led to just before it was opened
    qint32 opened = codec::Opened;
    QString openFailure;                       // the codec's reason when the photo did not open
    std::unique_ptr<codec::PreparedSave> save; // empty: SaveToJPEG writes the copy
};

// ahead: the photo is prepared before its turn, and the file its name leads to is noted, so the
// row can tell at its turn whether an earlier row's copy has taken that name meanwhile. check:
// the copy's checks are done here too, rather than by the thread that writes it.
PreparedRow prepareRow(codec::ICodec& codec, const RowPlan& plan, bool readMakerNote, bool ahead,
                       bool check = false) {
    PreparedRow prepared;
    prepared.readMakerNote = readMakerNote;
    if (ahead)
        prepared.source = fileAt(plan.source);
    prepared.opened = codec.OpenFile(plan.source, readMakerNote, true);
    if (!codec::isOpened(prepared.opened)) {
        prepared.openFailure = codec.LastError();
        return prepared;
    }
    for (const TagWrite& tag : plan.tags)
        codec.AddTag(tag.tag, codec::kGpsDirectory, tag.type, tag.count, tag.value, false);
    prepared.save = codec.PrepareSave(plan.destination);
    if (prepared.save && check)
        prepared.save->check();
    return prepared;
}

class BatchRun {
public:
    explicit BatchRun(RoadContext& ctx) : m_ctx(ctx), m_rows(ctx.list.count()) {}

    BatchResult run();

private:
    // A row being prepared on the worker while a row before it is written.
    struct Ahead {
        int row;
        std::future<PreparedRow> prepared;
    };
    // So many rows are prepared ahead that the worker seldom waits for the next one; each holds
    // only its metadata and an open descriptor. They are handed over a few at a time, so the
    // worker is woken for several photos at once.
    static constexpr std::size_t kRowsAhead = 4;

    bool writeRow(int i);
    bool processRow(int i);
    bool rowFailed(int i, const QString& status);
    QString copyPath(const QString& fileName) const;
    RowPlan planRow(const PhotoRow& row) const;
    PreparedRow takePrepared(int i, const RowPlan& plan);
    void prepareAhead(int from);
    void waitForAhead();
    void stopAhead();
    bool ensureCopyFolder(const QString& folder);
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
    std::unordered_set<QString> m_copyFolders; // made (or found) during this batch
    // While one photo's image data is copied here, the worker opens the next ones and encodes
    // their metadata, with a codec object of its own so the two threads never share one. It
    // starts once the codec has shown it saves in two steps.
    bool m_aheadRefused = false;
    // The worker also checks the copies it prepares while it keeps ahead of the writing (large
    // photos, whose copying is the longer work); once the writing waits for it, the writing
    // thread checks them. So both threads stay near even, whatever the photos' size.
    std::atomic<bool> m_checkAhead = true;
    int m_nextAhead = 0; // the first row not yet considered for preparing ahead
    std::unique_ptr<codec::ICodec> m_workerCodec;
    std::unique_ptr<SerialWorker> m_worker;
    std::deque<Ahead> m_ahead;
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
    if (!row.record.fileExists)
        return rowFailed(i, status::kMissing);
    const RowPlan plan = planRow(row);
    if (!plan.refusal.isEmpty())
        return rowFailed(i, saveFailed(plan.refusal));

    m_photoOpened = true;
    const PreparedRow prepared = takePrepared(i, plan);
    if (!codec::isOpened(prepared.opened))
        return rowFailed(i, openFailed(prepared.openFailure, prepared.opened));
    // A log may name a photo in a sub-folder; its copy goes to the same sub-folder of results.
    const QString folder = QFileInfo(plan.destination).path();
    if (!ensureCopyFolder(folder))
        return rowFailed(
            i, saveFailed(QStringLiteral("无法创建文件夹 ") + QDir::toNativeSeparators(folder)));
    QString failure;
    if (prepared.save) {
        // The next photos are prepared while this one is copied.
        prepareAhead(i + 1);
        failure = prepared.save->commit();
    } else if (waitForAhead(); !m_codec->SaveToJPEG(plan.destination)) {
        // A stand-in codec may give no reason; the row still fails.
        failure = m_codec->LastError();
        if (failure.isEmpty())
            return rowFailed(i, status::kSaveFailed);
    }
    if (!failure.isEmpty())
        return rowFailed(i, saveFailed(failure));
    m_ctx.list.setStatus(i, status::kWritten, RowIcon::Done);
    return true;
}

// The source, the copy's path and the tags of a row, or why no copy can be written for it.
RowPlan BatchRun::planRow(const PhotoRow& row) const {
    const GpsLogRecord& record = row.record;
    RowPlan plan;
    auto tags = gpsTags(record);
    if (!tags) {
        plan.refusal = QStringLiteral("坐标无法写成 EXIF 数值");
        return plan;
    }
    plan.destination = copyPath(record.fileName);
    if (plan.destination.isEmpty()) {
        plan.refusal = QStringLiteral("文件名指向 results 子文件夹之外");
        return plan;
    }
    plan.source = m_ctx.log.logFolder + record.fileName;
    plan.tags = std::move(*tags);
    return plan;
}

// Row i's photo as the worker prepared it, or prepared now: when nothing was prepared ahead,
// when the maker-note choice changed since (it is read afresh for every photo), when its name
// leads to another file than before (a log may name an earlier row's copy), and for a photo
// that saves in one step, which must be open in this thread's codec for SaveToJPEG.
PreparedRow BatchRun::takePrepared(int i, const RowPlan& plan) {
    const bool readMakerNote = !m_ctx.view.skipMakerNote();
    while (!m_ahead.empty() && m_ahead.front().row < i)
        m_ahead.pop_front();
    if (!m_ahead.empty() && m_ahead.front().row == i) {
        Ahead ahead = std::move(m_ahead.front());
        m_ahead.pop_front();
        m_checkAhead.store(ahead.prepared.wait_for(std::chrono::seconds(0)) ==
                               std::future_status::ready,
                           std::memory_order_relaxed);
        PreparedRow prepared = ahead.prepared.get(); // raises what the codec raised
        if (prepared.readMakerNote == readMakerNote &&
            (prepared.save || !codec::isOpened(prepared.opened)) &&
            prepared.source == fileAt(plan.source))
            return prepared;
    }
    waitForAhead();
    return prepareRow(*m_codec, plan, readMakerNote, false);
}

// Hands the next rows that need the codec to the worker, up to kRowsAhead of them.
void BatchRun::prepareAhead(int from) {
    if (m_aheadRefused || m_ahead.size() > kRowsAhead / 2)
        return;
    if (!m_worker) {
        m_workerCodec = m_ctx.app.codecFactory.create(QString::fromLatin1(codec::kProgId));
        m_aheadRefused = !m_workerCodec;
        if (m_aheadRefused)
            return;
        m_worker = std::make_unique<SerialWorker>();
    }
    m_nextAhead = std::max(m_nextAhead, from);
    while (m_ahead.size() < kRowsAhead && m_nextAhead < m_rows) {
        const int j = m_nextAhead++;
        const PhotoRow& row = m_ctx.list.row(j);
        if (row.ghosted || !row.record.fileExists)
            continue;
        RowPlan plan = planRow(row);
        if (!plan.refusal.isEmpty())
            continue;
        m_ahead.push_back(
            {j, m_worker->run([codec = m_workerCodec.get(), plan = std::move(plan),
                               readMakerNote = !m_ctx.view.skipMakerNote(), check = &m_checkAhead] {
                 return prepareRow(*codec, plan, readMakerNote, true,
                                   check->load(std::memory_order_relaxed));
             })});
    }
}

// Exiv2's readers and writers of whole files parse XMP, which the XMP toolkit does not allow on
// two threads at once: this thread's codec works only while the worker has nothing in hand.
void BatchRun::waitForAhead() {
    for (const Ahead& ahead : m_ahead)
        ahead.prepared.wait();
}

void BatchRun::stopAhead() {
    m_ahead.clear();
    m_worker.reset(); // waits for the photo in hand
    m_workerCodec.reset();
}

// Made (or found) once per batch, not asked again for every photo.
bool BatchRun::ensureCopyFolder(const QString& folder) {
    if (m_copyFolders.count(folder) > 0)
        return true;
    if (!QDir().mkpath(folder))
        return false;
    m_copyFolders.insert(folder);
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
    stopAhead();
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
    stopAhead();
    m_ctx.view.message(titles::kError, kBatchFailed, MessageIcon::Error);
    m_codec.reset();
    m_ctx.app.batchRunning = false;
    setControlsEnabled(m_ctx.view, kControlsAfterBatch, true);
    return {BatchEnd::Aborted, m_rows, m_written};
}

BatchResult BatchRun::finish() {
    stopAhead();
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
