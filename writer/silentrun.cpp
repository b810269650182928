#include "writer/silentrun.h"

#include "base/settings.h"
#include "base/timesettings.h"
#include "base/vbnum.h"
#include "gpslog/logreader.h"
#include "photolist/gpslogstate.h"
#include "photolist/photolist.h"
#include "road/mainview.h"
#include "writer/batchwriter.h"

namespace {

// The window as silent mode has it: never shown, every message a line on standard error.
class SilentView final : public IMainView {
public:
    SilentView(QTextStream& err, bool skipMakerNote) : m_err(err), m_skipMakerNote(skipMakerNote) {}

    void message(const QString& title, const QString& text, MessageIcon) override {
        m_err << title << ": " << text << Qt::endl;
    }
    void yield() override {}
    void setEnabled(Control, bool) override {}
    void setFocus(Control) override {}
    void setTips(const QString& text) override { m_tips = text; }
    void setInvalidDataShown(bool) override {}
    void setBusyCursor(bool) override {}
    void showRow(int) override {}
    bool skipMakerNote() const override { return m_skipMakerNote; }
    int action() const override { return 0; }
    void closeWindow() override {}

    // The load's outcome ("共载入12条数据！"); the batch's own captions are not shown.
    const QString& tips() const { return m_tips; }

private:
    QTextStream& m_err;
    const bool m_skipMakerNote;
    QString m_tips;
};

bool storedSkipMakerNote() {
    const QString value = settings::ReadSetting(QLatin1String(settings::kBatchSetup),
                                                QStringLiteral("SkipMakerNote"));
    return vbnum::leadingValue(value) != 0;
}

// With no list to look at, every row that was not written is named, with the reason the load gave
// it ("不在轨迹时间范围内"); after a timed track every written photo is named with how it matched.
void reportRows(const PhotoList& list, const QStringList& loadStatus, bool timed,
                IMessageSink& sink) {
    for (int i = 0; i < list.count(); ++i) {
        const PhotoRow& row = list.row(i);
        QString text = row.texts[ColFileName] + u' ' + row.texts[ColStatus];
        if (loadStatus.at(i) != status::kPending && loadStatus.at(i) != status::kNotFound)
            text += QStringLiteral("（%1）").arg(loadStatus.at(i));
        if (row.icon != RowIcon::Done)
            sink.message(titles::kWarning, text, MessageIcon::Warning);
        else if (timed)
            sink.message(titles::kNotice, text, MessageIcon::Information);
    }
}

QString lineText(const LogLine& line) {
    return QStringLiteral("第 %1 行：%2").arg(line.number).arg(line.text);
}

// With no list to look at, every line the load could not use as it stands is named, with its
// number and text as the user finds them in the log.
void reportLogLines(const LogLoadResult& load, IMessageSink& sink) {
    for (const LogLine& line : load.unreadable)
        sink.message(titles::kError, lineText(line) + QStringLiteral("（坐标无法识别）"),
                     MessageIcon::Error);
    for (const LogLine& line : load.impossible)
        sink.message(titles::kError, lineText(line) + QStringLiteral("（坐标超出范围）"),
                     MessageIcon::Error);
    for (const LogLine& line : load.unused)
        sink.message(titles::kWarning, lineText(line) + QStringLiteral("（无法识别，未载入）"),
                     MessageIcon::Warning);
    if (load.unusedCount > load.unused.size())
        sink.message(
            titles::kWarning,
            QStringLiteral("另有 %1 行无法识别，未列出").arg(load.unusedCount - load.unused.size()),
            MessageIcon::Warning);
    for (const LogRowMaker::Repeat& repeat : load.repeats)
        sink.message(titles::kWarning,
                     lineText(repeat.line) + QStringLiteral("（") +
                         repeatsLineText(repeat.firstLine) + QStringLiteral("，不会写入）"),
                     MessageIcon::Warning);
}

} // namespace

int runSilentBatch(AppState& app, const QString& logPath, QTextStream& out, QTextStream& err) {
    app.silentMode = true;
    PhotoList list;
    GpsLogState log;
    log.time = timesettings::withOverrides(timesettings::read(), app.timeOverrides);
    SilentView view(err, storedSkipMakerNote());
    RoadContext ctx{list, log, app, view};

    const LogLoadResult load = LoadGpsLog(ctx, logPath);
    switch (load.status) {
    case LogLoadStatus::NoSuchFile:
        view.message(titles::kError, QStringLiteral("找不到记录文件：") + logPath.trimmed(),
                     MessageIcon::Error);
        return silentexit::kNoneWritten;
    case LogLoadStatus::Unreadable: // the reader has said why
        return silentexit::kNoneWritten;
    case LogLoadStatus::Loaded:
        break;
    }
    if (list.count() == 0) {
        view.message(titles::kError, view.tips(), MessageIcon::Error);
        reportLogLines(load, view);
        return silentexit::kNoneWritten;
    }
    view.message(titles::kNotice, view.tips(), MessageIcon::Information);
    QStringList loadStatus;
    for (int i = 0; i < list.count(); ++i)
        loadStatus.append(list.row(i).texts[ColStatus]);
    reportLogLines(load, view);

    const BatchResult result = cmdStart_Click(ctx);
    if (result.end != BatchEnd::Finished)
        return silentexit::kNoneWritten;
    reportRows(list, loadStatus, log.timedTrack != nullptr, view);
    out << batchSummary(result.written) << Qt::endl;
    if (result.written == 0)
        return silentexit::kNoneWritten;
    const bool everyLineWritten = result.written == result.rows && load.nothingLeftOut();
    return everyLineWritten ? silentexit::kAllWritten : silentexit::kSomeWritten;
}
