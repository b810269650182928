#include "export/exportdriver.h"

#include "base/globals.h"
#include "base/settings.h"
#include "base/vbnum.h"
#include "codec/codec.h"
#include "export/exportformats.h"
#include "photolist/gpslogstate.h"
#include "photolist/photolist.h"

#include <QFileInfo>
#include <QSaveFile>
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

bool settingOn(const char* section, const char* key) {
    return vbnum::leadingValue(
               settings::ReadSetting(QString::fromUtf8(section), QString::fromUtf8(key))) != 0;
}

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

// The file appears under its name only once every byte is on disk: QSaveFile writes a temporary
// file beside it and renames it over the target at commit, so a full disk or a failed write leaves
// an earlier file of that name as it was. Unbuffered, because QSaveFile::commit ignores a write
// that fails while its buffer is flushed and would rename a truncated file into place.
bool writeWholeFile(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    if (file.write(bytes) != bytes.size() || !file.flush() || file.size() != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

class ExportRun {
public:
    ExportRun(RoadContext& ctx, const ExportChoice& choice)
        : m_ctx(ctx), m_choice(choice),
          m_fields(choice.isKml() ? QList<int>{} : selectedExportFields()),
          m_separator(choice.isKml() || choice.subFormat == 0 ? kCsvSeparator : kTsvSeparator),
          m_form(choice.dataFormat != 0 ? CoordinateForm::Dms : CoordinateForm::Decimal) {}

    ExportOutcome run(const QString& outputPath) {
        const BatchRunningGuard running(m_ctx.app);
        if (!readAll()) {
            m_codec.reset();
            m_ctx.view.message(titles::kError, kCoreCallFailed, MessageIcon::Error);
            // Nothing was written and the list is not done: the user may try again.
            giveControlsBack(true);
            return ExportOutcome::ReadFailed;
        }
        m_codec.reset();

        const bool written =
            !isListedPhoto(outputPath) && writeWholeFile(outputPath, compose().toUtf8());
        ExportOutcome outcome;
        if (!written) {
            m_ctx.view.message(titles::kError, exportmessages::kWriteFailed, MessageIcon::Error);
            outcome = ExportOutcome::WriteFailed;
        } else if (m_lines.isEmpty()) {
            m_ctx.view.message(titles::kNotice, exportmessages::kNothingRead, MessageIcon::Warning);
            outcome = ExportOutcome::NothingRead;
        } else {
            m_ctx.view.message(titles::kNotice, exportmessages::exported(outputPath),
                               MessageIcon::Information);
            outcome = ExportOutcome::Exported;
        }
        giveControlsBack(false);
        m_ctx.view.setEnabled(Control::chkMakerNote, true);
        m_ctx.log.batchDone = true;
        return outcome;
    }

private:
    // The read phase. False when the codec could not be created or one of its members raised;
    // the row in hand then keeps "正在处理...".
    bool readAll() {
        try {
            m_codec = m_ctx.app.codecFactory.create
                          ? m_ctx.app.codecFactory.create(QString::fromLatin1(codec::kProgId))
                          : nullptr;
            if (!m_codec)
                return false;
            m_ctx.log.batchDone = false;
            for (const Control control : kRunLocked)
                m_ctx.view.setEnabled(control, false);

            // The count is taken once; the commands that could change the list are off, and
            // the second bound only keeps a list emptied meanwhile from being read past its end.
            const int rowCount = m_ctx.list.count();
            for (int i = 0; i < rowCount && i < m_ctx.list.count(); ++i)
                readRow(i);
            return true;
        } catch (const std::exception&) {
            return false;
        }
    }

    void readRow(int i) {
        PhotoList& list = m_ctx.list;
        list.setStatus(i, status::kWorking, RowIcon::Working);
        m_ctx.view.showRow(i);
        m_ctx.view.yield();

        if (list.row(i).ghosted) {
            list.setStatus(i, status::kSkipped, RowIcon::Failed);
            return;
        }
        const QString path = list.record(i).fileName;
        // The export never needs maker-note data, whatever "忽略厂商注释数据" says.
        if (!codec::isOpened(m_codec->OpenFile(path, false, false))) {
            list.setStatus(i, status::kReadOpenFailed, RowIcon::Failed);
            return;
        }
        double latitude = 0;
        double longitude = 0;
        // A position whose rationals or references are unusable counts as none: writing 0,0
        // would put the photo off the coast of Africa.
        if (!m_codec->IsTagExisted(kLatitude, kGps) || !m_codec->IsTagExisted(kLongitude, kGps) ||
            !m_codec->GetGpsCoordinate(latitude, longitude)) {
            list.setStatus(i, status::kNoGps, RowIcon::Failed);
            return;
        }
        list.setText(i, ColLatitude,
                     m_codec->TagValueLabel(kLatitude, kGps) +
                         globals::TrimAtNull(m_codec->TagValueString(kLatitudeRef, kGps)));
        list.setText(i, ColLongitude,
                     m_codec->TagValueLabel(kLongitude, kGps) +
                         globals::TrimAtNull(m_codec->TagValueString(kLongitudeRef, kGps)));
        const std::optional<double> altitude = readAltitude();
        list.setText(i, ColAltitude, altitude ? vbnum::generalDouble(*altitude) + u'm' : QString());

        PhotoGpsValues values;
        values.fileName = globals::GetFileName(path);
        values.latitude = latitude;
        values.longitude = longitude;
        values.altitude = altitude.value_or(0.0);
        if (m_choice.isKml()) {
            m_lines.append(ComposeKmlLine(values));
        } else {
            for (const int tag : m_fields)
                values.labels.append(m_codec->TagValueLabel(tag, kGps));
            m_lines.append(ComposeTextLine(m_separator, values, m_form));
        }
        list.setStatus(i, status::kRead, RowIcon::Done);
    }

    // Metres, negative below sea level; empty when the photo has no altitude or its text is not a
    // number (one odd photo must not cost the lines already read).
    std::optional<double> readAltitude() const {
        if (!m_codec->IsTagExisted(kAltitude, kGps))
            return std::nullopt;
        const std::optional<double> value =
            vbnum::toDouble(m_codec->TagValueString(kAltitude, kGps));
        if (!value || !std::isfinite(*value))
            return std::nullopt;
        const bool below = vbnum::leadingValue(m_codec->TagValueString(kAltitudeRef, kGps)) != 0;
        return below ? -*value : *value;
    }

    // Confirming the overwrite prompt on one of the queued photos must not cost the photo. Names
    // are compared first, so a long list costs no file-system call unless a name matches.
    bool isListedPhoto(const QString& outputPath) const {
        const QFileInfo output(outputPath);
        const QString target = output.canonicalFilePath();
        if (target.isEmpty())
            return false;
        const QString name = output.fileName();
        for (int i = 0; i < m_ctx.list.count(); ++i) {
            const QString& photo = m_ctx.list.record(i).fileName;
            if (globals::GetFileName(photo).compare(name, Qt::CaseInsensitive) == 0 &&
                QFileInfo(photo).canonicalFilePath() == target)
                return true;
        }
        return false;
    }

    QString compose() const {
        if (m_choice.isKml()) {
            const int sub = m_choice.subFormat;
            const KmlVariant variant = sub == 1   ? KmlVariant::Path
                                       : sub == 2 ? KmlVariant::Polygon
                                                  : KmlVariant::Points;
            return ComposeKmlDocument(variant, m_lines);
        }
        const bool header = settingOn(settings::kBatchSetup, "ExportHeader");
        return ComposeTextFile(header, m_separator, m_fields, m_lines);
    }

    // After a complete run the list counts as processed, so "开始导出" stays off until photos are
    // added; the options only apply to text output.
    void giveControlsBack(bool exportAgain) {
        m_ctx.view.setEnabled(Control::cboAction, true);
        m_ctx.view.setEnabled(Control::cmdOpenEx, true);
        m_ctx.view.setEnabled(Control::cmdClear, true);
        m_ctx.view.setEnabled(Control::cmdOpenFolder, true);
        m_ctx.view.setEnabled(Control::cmdExport, exportAgain);
        m_ctx.view.setEnabled(Control::cmdOptions, !m_choice.isKml());
    }

    RoadContext& m_ctx;
    const ExportChoice m_choice;
    const QList<int> m_fields;
    const QChar m_separator;
    const CoordinateForm m_form;
    std::unique_ptr<codec::ICodec> m_codec;
    QStringList m_lines;
};

} // namespace

QString exportmessages::exported(const QString& path) {
    return QStringLiteral("成功导出到 ") + path + QStringLiteral("！");
}

SaveDialogSetup exportSaveDialog(const ExportChoice& choice) {
    const auto kind = choice.isKml() ? OutputKind::Kml : OutputKind::Text;
    const auto format = choice.subFormat == 0 ? TextFormat::Csv : TextFormat::Tsv;
    return {exportdialog::kTitle, exportdialog::kFilter,
            settings::ReadSetting(QString::fromUtf8(settings::kBatchSetup),
                                  QStringLiteral("LastFolder")),
            defaultFileName(kind, format), exportdialog::kFlags};
}

QList<int> selectedExportFields() {
    QList<int> fields;
    for (const ExportField& field : kExportFields) {
        if (settingOn(settings::kExportOptions, field.settingKey))
            fields.append(field.tag);
    }
    return fields;
}

bool beginExport(const RoadContext& ctx) {
    return ctx.list.count() > 0;
}

ExportOutcome runExport(RoadContext& ctx, const ExportChoice& choice, const QString& outputPath) {
    const QString path = globals::TrimAtNull(outputPath).trimmed();
    if (path.isEmpty() || ctx.list.count() == 0)
        return ExportOutcome::NothingToDo;
    return ExportRun(ctx, choice).run(path);
}
