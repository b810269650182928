// Loads a generated log of the list's full 32767 rows through LoadGpsLog, as -silent does (a view
// that does nothing) and into the shown main window (offscreen unless a platform is set), and
// prints both times against plain line-by-line reading of the same file, with the peak memory.
// Usage: bench_logreader [rounds]

#include "app/frmgps.h"
#include "bench/benchstats.h"
#include "gpslog/logreader.h"
#include "photolist/gpslogstate.h"
#include "photolist/photolist.h"
#include "road/mainview.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>
#include <vector>

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

void printRow(const char* what, const Spread& ms, const Spread& ratio, const char* goal) {
    std::printf("%-26s %7.1f ms (%6.1f-%6.1f)  ratio %5.1f (%5.1f-%5.1f)  %s\n", what, ms.median,
                ms.low, ms.high, ratio.median, ratio.low, ratio.high, goal);
}

// The core load as -silent runs it: a view that does nothing.
qint64 coreLoadNs(const QString& logPath, int lines) {
    PhotoList list;
    GpsLogState log;
    AppState state;
    NullView view;
    RoadContext ctx{list, log, state, view};
    QElapsedTimer timer;
    timer.start();
    const LogLoadResult result = LoadGpsLog(ctx, logPath);
    const qint64 ns = timer.nsecsElapsed();
    if (result.status != LogLoadStatus::Loaded || result.rows != lines)
        qFatal("the log did not load whole: %d rows", result.rows);
    return ns;
}

// A new shown window loading the log as a command-line log is loaded, repainting as it goes.
qint64 windowLoadNs(const QString& logPath, int lines) {
    AppState state;
    FrmGps window(state);
    window.show();
    QCoreApplication::processEvents();
    QElapsedTimer timer;
    timer.start();
    RoadContext ctx = window.context();
    LoadGpsLog(ctx, logPath);
    QCoreApplication::processEvents();
    const qint64 ns = timer.nsecsElapsed();
    if (window.photoList().count() != lines)
        qFatal("the window did not load the log whole: %d rows", window.photoList().count());
    return ns;
}

} // namespace

// Rounds interleave the reference, the core load and the window load, so that a busy moment of
// the machine falls on all three alike; ratios are taken within each round.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 7;
    QTemporaryDir dir;
    if (!dir.isValid())
        qFatal("no temporary folder");
    qputenv("CORVEXA_SETTINGS_FILE", dir.filePath(QStringLiteral("SETTINGS.INI")).toLocal8Bit());

    const int lines = PhotoList::kMaxRows;
    const QString logPath = writeLog(dir, lines);
    std::vector<double> plainMs, coreMs, windowMs, coreRatio, windowRatio;
    for (int round = 0; round < rounds; ++round) {
        const double plain = plainReadNs(logPath) / 1e6;
        const double core = coreLoadNs(logPath, lines) / 1e6;
        const double shown = windowLoadNs(logPath, lines) / 1e6;
        plainMs.push_back(plain);
        coreMs.push_back(core);
        windowMs.push_back(shown);
        coreRatio.push_back(core / plain);
        windowRatio.push_back(shown / plain);
    }
    std::printf("%d lines, %d rounds; ratios against plain line reading in the same round\n", lines,
                rounds);
    const Spread plain = spreadOf(plainMs);
    std::printf("%-26s %7.1f ms (%6.1f-%6.1f)\n", "plain line reading", plain.median, plain.low,
                plain.high);
    printRow("LoadGpsLog (-silent)", spreadOf(coreMs), spreadOf(coreRatio), "goal < 80 ms");
    printRow("LoadGpsLog in the window", spreadOf(windowMs), spreadOf(windowRatio),
             "goal < 150 ms");
    std::printf("%-26s %7.1f MB\n", "peak RSS", peakRssKiB() / 1024.0);
    return 0;
}
