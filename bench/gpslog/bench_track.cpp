// Timed tracks: loading a generated 1,000,000-point GPX (about 100 MB) against
// `xmllint --stream --noout` on the same file, with the peak memory of the process; matching
// 10,000 photo times against it; reading the capture times of 1000 camera-like JPEGs against
// reading their first 64 KiB. Each pair runs alternately, warm, several times; medians and ranges.
// The GPX pair is timed in processor time (xmllint as a child process), the rest in wall time.
//
// Usage: bench_track [points=1000000] [photos=1000] [runs=5]

#include "../codec/benchcorpus.h"
#include "codec/capturetime.h"
#include "gpslog/timematch.h"
#include "gpslog/trackreader.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <algorithm>
#include <cstdio>
#include <sys/resource.h>

namespace {

constexpr qint64 kStartMs = 1714550400000; // 2024-05-01T08:00:00Z

// One point a second, as loggers write, in GPSBabel's layout.
QString writeGpx(const QTemporaryDir& dir, int points) {
    QFile file(dir.filePath(QStringLiteral("big.gpx")));
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write the track");
    file.write("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<gpx version=\"1.1\" creator=\"bench\" "
               "xmlns=\"http://www.topografix.com/GPX/1/1\">\n  <trk>\n    <trkseg>\n");
    QByteArray chunk;
    for (int i = 0; i < points; ++i) {
        const int s = 8 * 3600 + i; // seconds since 2024-05-01T00:00:00Z
        char line[256];
        const int n = std::snprintf(line, sizeof line,
                                    "  <trkpt lat=\"%.7f\" lon=\"%.7f\">\n    <ele>%.3f</ele>\n"
                                    "    <time>2024-05-%02dT%02d:%02d:%02dZ</time>\n  </trkpt>\n",
                                    31.2 + i * 1e-6, 121.4 + i * 1.3e-6, 10.0 + (i % 500) * 0.1,
                                    1 + s / 86400, s / 3600 % 24, s / 60 % 60, s % 60);
        chunk.append(line, n);
        if (chunk.size() > (1 << 20)) {
            file.write(chunk);
            chunk.clear();
        }
    }
    file.write(chunk);
    file.write("    </trkseg>\n  </trk>\n</gpx>\n");
    return file.fileName();
}

// Processor time of this process or of its waited-for children: on a machine shared with other
// work, wall time measures the neighbours as much as the job.
double cpuMs(int who) {
    rusage usage{};
    getrusage(who, &usage);
    const auto ms = [](const timeval& t) { return double(t.tv_sec) * 1e3 + t.tv_usec / 1e3; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

// The floor under any reader built on QXmlStreamReader: every token read, the points' attributes
// taken, nothing converted.
double tokeniseMs(const QString& gpx) {
    const double before = cpuMs(RUSAGE_SELF);
    QFile file(gpx);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read the track");
    QXmlStreamReader xml(&file);
    qint64 attributes = 0;
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == u"trkpt")
            attributes += xml.attributes().size();
    }
    if (attributes == 0)
        qFatal("no point was read");
    return cpuMs(RUSAGE_SELF) - before;
}

long peakRssMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

struct Stats {
    std::vector<double> values;
    QString text(const char* unit, int decimals) const {
        std::vector<double> v(values);
        std::sort(v.begin(), v.end());
        return QStringLiteral("median %1%4 (range %2–%3%4)")
            .arg(v[v.size() / 2], 0, 'f', decimals)
            .arg(v.front(), 0, 'f', decimals)
            .arg(v.back(), 0, 'f', decimals)
            .arg(QLatin1String(unit));
    }
};

double timeMs(const std::function<void()>& job) {
    QElapsedTimer timer;
    timer.start();
    job();
    return double(timer.nsecsElapsed()) / 1e6;
}

void print(const QString& line) {
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int points = args.size() > 1 ? args[1].toInt() : 1'000'000;
    const int photos = args.size() > 2 ? args[2].toInt() : 1000;
    const int runs = args.size() > 3 ? args[3].toInt() : 5;
    QTemporaryDir dir;

    const QString gpx = writeGpx(dir, points);
    print(QStringLiteral("GPX: %1 points, %2 MB")
              .arg(points)
              .arg(double(QFileInfo(gpx).size()) / 1e6, 0, 'f', 1));
    Stats xmllint, ours, ratio;
    TrackFile loaded;
    for (int r = 0; r < runs; ++r) {
        const double childBefore = cpuMs(RUSAGE_CHILDREN);
        if (!runProgram(QStringLiteral("xmllint"), {"--stream", "--noout", gpx}))
            qFatal("xmllint failed");
        const double ref = cpuMs(RUSAGE_CHILDREN) - childBefore;
        const double selfBefore = cpuMs(RUSAGE_SELF);
        loaded = readTrackFile(gpx);
        const double mine = cpuMs(RUSAGE_SELF) - selfBefore;
        if (!loaded.ok || loaded.track.points.size() != size_t(points))
            qFatal("the track did not load whole");
        xmllint.values.push_back(ref);
        ours.values.push_back(mine);
        ratio.values.push_back(mine / ref);
    }
    print(QStringLiteral("  QXmlStreamReader alone:   %1 ms CPU (tokens and attributes only)")
              .arg(tokeniseMs(gpx), 0, 'f', 0));
    print(QStringLiteral("  xmllint --stream --noout: ") + xmllint.text(" ms CPU", 0));
    print(QStringLiteral("  readTrackFile:            ") + ours.text(" ms CPU", 0));
    print(QStringLiteral("  ratio (limit 2.5):        ") + ratio.text("", 2));
    print(QStringLiteral("  peak memory of the process: %1 MiB (limit 300)").arg(peakRssMiB()));

    Stats matching;
    const qint64 spanMs = qint64(points) * 1000;
    std::vector<qint64> times;
    for (int i = 0; i < 10'000; ++i)
        times.push_back(loaded.track.points.front().timeMs + spanMs * i / 10'000 + 333);
    int matched = 0;
    for (int r = 0; r < runs; ++r) {
        matching.values.push_back(timeMs([&] {
            const TimeIndex index(loaded.track, 1800);
            matched = index.countMatched(times);
        }));
    }
    print(QStringLiteral("Matching 10000 photo times (%1 inside): ").arg(matched) +
          matching.text(" ms", 1) + QStringLiteral(" (limit 1000 ms)"));

    const QStringList files =
        makeCorpus(dir.filePath(QStringLiteral("photos")), QStringLiteral("IMG_"),
                   CorpusSpec{photos, 1200, 2400, false});
    if (files.isEmpty())
        qFatal("cannot make the photos");
    print(QStringLiteral("Capture times of %1 photos, %2 MB")
              .arg(files.size())
              .arg(double(totalBytes(files)) / 1e6, 0, 'f', 0));
    Stats head, capture, captureRatio;
    int withTime = 0;
    for (int r = 0; r < runs; ++r) {
        qint64 bytes = 0;
        const double ref = timeMs([&] {
            for (const QString& path : files) {
                QFile file(path);
                if (file.open(QIODevice::ReadOnly))
                    bytes += file.read(64 * 1024).size();
            }
        });
        withTime = 0;
        const double mine = timeMs([&] {
            for (const QString& path : files)
                withTime += codec::readCaptureTime(path) ? 1 : 0;
        });
        head.values.push_back(ref);
        capture.values.push_back(mine);
        captureRatio.values.push_back(mine / ref);
    }
    if (withTime != files.size())
        qFatal("a photo had no capture time");
    print(QStringLiteral("  first 64 KiB:      ") + head.text(" ms", 1));
    print(QStringLiteral("  readCaptureTime:   ") + capture.text(" ms", 1));
    print(QStringLiteral("  ratio (limit 3):   ") + captureRatio.text("", 2));
    return 0;
}
