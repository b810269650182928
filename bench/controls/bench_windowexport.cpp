// Export of N tagged photos through the shown main window (real codec, CSV), against reading the
// first 64 KiB of each photo and against the same export without a window, measured in
// alternating rounds on the same files from the page cache. Prints each round's ratios, then
// their medians and ranges; the goal is at most 2 against the read.
// Run it on a real X server, where every scroll of the list used to cost a round trip:
//
//   xvfb-run -a bench_windowexport [count=1000] [rounds=5]

#include "app/frmgps.h"
#include "base/settings.h"
#include "bench/benchstats.h"
#include "export/exportdriver.h"
#include "support/fakeview.h"
#include "support/photofactory.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace {

class Quiet : public IMessageSink {
public:
    void message(const QString&, const QString&, MessageIcon) override {}
};

// Eight different camera-sized photos, copied round-robin into count files.
QStringList makeCorpus(const QString& dir, int count) {
    QStringList originals;
    for (int i = 0; i < 8; ++i) {
        PhotoRecipe recipe;
        recipe.width = 1024;
        recipe.height = 768;
        recipe.noise = true;
        recipe.thumbnail = true;
        recipe.gps = GpsSpec{31.2304 + i * 0.01, 121.4737 - i * 0.01, 12.5 + i};
        originals.append(makeJpeg(dir, QStringLiteral("original-%1.jpg").arg(i), recipe));
        if (originals.last().isEmpty())
            return {};
    }
    QStringList paths;
    for (int i = 0; i < count; ++i) {
        const QString path = dir + QStringLiteral("/photo-%1.jpg").arg(i, 5, 10, QChar(u'0'));
        if (!QFile::copy(originals.at(i % originals.size()), path))
            return {};
        paths.append(path);
    }
    return paths;
}

// The reference: open, read 64 KiB, close, with the plain system calls.
double readHeadsMs(const QStringList& paths) {
    QElapsedTimer timer;
    timer.start();
    std::vector<char> buffer(64 * 1024);
    qint64 total = 0;
    for (const QString& path : paths) {
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue;
        total += ::read(fd, buffer.data(), buffer.size());
        ::close(fd);
    }
    if (total <= 0)
        std::fprintf(stderr, "nothing read\n");
    return timer.nsecsElapsed() / 1e6;
}

// One export of the window's list into output, as the export button runs it once the save
// dialog has answered.
double exportMs(FrmGps& window, const QString& output) {
    RoadContext ctx = window.context();
    QElapsedTimer timer;
    timer.start();
    if (!beginExport(ctx))
        return -1;
    const ExportOutcome outcome = runExport(ctx, ExportOptions{}, output);
    QCoreApplication::processEvents(); // the last frame belongs to the run
    const double ms = timer.nsecsElapsed() / 1e6;
    if (outcome != ExportOutcome::Exported)
        std::fprintf(stderr, "export did not succeed (%d)\n", int(outcome));
    return ms;
}

// The same export on a window without widgets: what the run costs without the list.
double headlessMs(const QStringList& paths, const QString& output) {
    FakeWindow window;
    for (const QString& path : paths) {
        PhotoRow row;
        row.record.fileName = path;
        row.record.fileExists = true;
        window.list.append(row);
    }
    RoadContext ctx = window.context();
    QElapsedTimer timer;
    timer.start();
    runExport(ctx, ExportOptions{}, output);
    return timer.nsecsElapsed() / 1e6;
}

void printSpread(const char* what, std::vector<double> ratios, const char* goal) {
    const Spread spread = spreadOf(std::move(ratios));
    std::printf("ratio %s: median %.2f (%.2f-%.2f)%s\n", what, spread.median, spread.low,
                spread.high, goal);
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const int count = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 1000;
    const int rounds = argc > 2 ? std::max(1, QString::fromLocal8Bit(argv[2]).toInt()) : 5;

    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    qputenv("CORVEXA_SETTINGS_FILE", dir.filePath(QStringLiteral("SETTINGS.INI")).toLocal8Bit());
    // The window opens on the export action, where dropped photos are queued.
    settings::WriteSetting(QString::fromUtf8(settings::kBatchSetup), QStringLiteral("Action"),
                           QStringLiteral("1"));
    std::printf("platform %s; making %d photos...\n", qPrintable(QGuiApplication::platformName()),
                count);
    const QStringList paths = makeCorpus(dir.path(), count);
    if (paths.isEmpty()) {
        std::fprintf(stderr, "could not make the photos\n");
        return 1;
    }

    AppState state;
    Quiet quiet;
    FrmGps window(state);
    window.setMessageSink(&quiet);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        std::fprintf(stderr, "the window was not exposed\n");
    window.lvFiles_OLEDragDrop(paths);

    // Warm the page cache and the codec, then alternate the two measurements.
    readHeadsMs(paths);
    exportMs(window, dir.filePath(QStringLiteral("warm.csv")));
    std::vector<double> toRead;
    std::vector<double> toHeadless;
    for (int round = 0; round < rounds; ++round) {
        const double readMs = readHeadsMs(paths);
        const double bareMs = headlessMs(paths, dir.filePath(QStringLiteral("bare.csv")));
        const double runMs = exportMs(window, dir.filePath(QStringLiteral("out.csv")));
        toRead.push_back(runMs / readMs);
        toHeadless.push_back(runMs / bareMs);
        std::printf("round %d: 64 KiB read %6.1f ms, export without window %6.1f ms, "
                    "window export %6.1f ms\n",
                    round + 1, readMs, bareMs, runMs);
    }
    printSpread("window export / 64 KiB read", toRead, " (goal <= 2)");
    printSpread("window export / export without window", toHeadless, "");
    return 0;
}
