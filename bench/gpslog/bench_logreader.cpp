// Loads a generated log of the list's full 32767 rows through LoadGpsLog with a view that does
// nothing, and prints the time against plain line-by-line reading of the same file. With
// --window it loads the same log into the main window instead (offscreen, as a command-line log
// is loaded at start) and prints that time and the peak memory of the process.

#include "app/frmgps.h"
#include "gpslog/logreader.h"
#include "photolist/gpslogstate.h"
#include "photolist/photolist.h"
#include "road/mainview.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <memory>
#include <sys/resource.h>

namespace {

class NullView : public IMainView {
public:
    void message(const QString&, const QString&, MessageIcon) override {}
    void yield() override {}
    void setEnabled(Control, bool) override {}
    void setFocus(Control) override {}
    void setTips(const QString&) override {}
    void setInvalidDataShown(bool) override {}
    void setBusyCursor(bool) override {}
    void showRow(int) override {}
    bool skipMakerNote() const override { return false; }
    int action() const override { return 0; }
    void closeWindow() override {}
};

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return double(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

long peakRssKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Photo names, positions around Shanghai in decimal degrees and degrees:minutes:seconds, and
// altitudes, so that every conversion of a real log runs. Every tenth photo exists.
QString writeLog(const QTemporaryDir& dir, int lines) {
    QFile log(dir.filePath(QStringLiteral("track.txt")));
    if (!log.open(QIODevice::WriteOnly))
        qFatal("cannot write the log");
    for (int i = 0; i < lines; ++i) {
        const QByteArray name = "IMG_" + QByteArray::number(i).rightJustified(5, '0') + ".JPG";
        if (i % 10 == 0) {
            QFile photo(dir.filePath(QString::fromLatin1(name)));
            if (!photo.open(QIODevice::WriteOnly))
                qFatal("cannot write a photo");
        }
        const double lat = 31.2 + i * 1e-6;
        const double lon = 121.4 + i * 1e-6;
        QByteArray line = name;
        if (i % 2 == 0) {
            line += ',' + QByteArray::number(lat, 'f', 6) + ',' + QByteArray::number(lon, 'f', 6) +
                    ',' + QByteArray::number(10 + i % 50) + ".5\r\n";
        } else {
            line += '\t' + QByteArray("31:12:") + QByteArray::number(i % 60) +
                    ".25\t121:24:" + QByteArray::number(i % 60) + ".75\r\n";
        }
        log.write(line);
    }
    return log.fileName();
}

qint64 plainReadNs(const QString& path) {
    QElapsedTimer timer;
    timer.start();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read the log");
    qint64 fields = 0;
    while (!file.atEnd())
        fields += QString::fromUtf8(file.readLine()).split(u',').size();
    const qint64 ns = timer.nsecsElapsed();
    if (fields == 0)
        qFatal("empty log");
    return ns;
}

} // namespace

// The time the shown window takes to load the log through its open-log road, repainting as it
// goes, and the peak memory then.
int measureWindow(const QString& logPath, int lines) {
    AppState state;
    FrmGps window(state);
    window.show();
    QCoreApplication::processEvents();
    QElapsedTimer timer;
    timer.start();
    const double cpuBefore = cpuSeconds();
    RoadContext ctx = window.context();
    LoadGpsLog(ctx, logPath);
    QCoreApplication::processEvents();
    const qint64 loadNs = timer.nsecsElapsed();
    if (window.photoList().count() != lines)
        qFatal("the window did not load the log whole: %d rows", window.photoList().count());
    std::printf("window load, %d lines:   %8.1f ms (goal: < 2000 ms), %.1f s on the CPU\n", lines,
                loadNs / 1e6, cpuSeconds() - cpuBefore);
    std::printf("peak RSS:                  %8.1f MB (goal: < 150 MB)\n", peakRssKiB() / 1024.0);
    return 0;
}

int main(int argc, char** argv) {
    const bool throughWindow = argc > 1 && qstrcmp(argv[1], "--window") == 0;
    if (throughWindow && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    std::unique_ptr<QCoreApplication> app;
    if (throughWindow)
        app = std::make_unique<QApplication>(argc, argv);
    else
        app = std::make_unique<QCoreApplication>(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid())
        qFatal("no temporary folder");
    qputenv("CORVEXA_SETTINGS_FILE", dir.filePath(QStringLiteral("SETTINGS.INI")).toLocal8Bit());

    const int lines = PhotoList::kMaxRows;
    const QString logPath = writeLog(dir, lines);
    if (throughWindow)
        return measureWindow(logPath, lines);
    const long rssBefore = peakRssKiB();

    const qint64 referenceNs = plainReadNs(logPath);

    PhotoList list;
    GpsLogState log;
    AppState state;
    NullView view;
    RoadContext ctx{list, log, state, view};
    QElapsedTimer timer;
    timer.start();
    const LogLoadResult result = LoadGpsLog(ctx, logPath);
    const qint64 loadNs = timer.nsecsElapsed();
    const long rssAfter = peakRssKiB();

    if (result.status != LogLoadStatus::Loaded || result.rows != lines)
        qFatal("the log did not load whole: %d rows", result.rows);
    std::printf("LoadGpsLog, %d lines:      %8.1f ms\n", lines, loadNs / 1e6);
    std::printf("plain line reading:        %8.1f ms\n", referenceNs / 1e6);
    std::printf("ratio load / plain read:   %8.1f\n", double(loadNs) / double(referenceNs));
    std::printf("peak RSS before the load:  %8.1f MB\n", rssBefore / 1024.0);
    std::printf("peak RSS after the load:   %8.1f MB (goal through the window: < 150 MB)\n",
                rssAfter / 1024.0);
    return 0;
}
