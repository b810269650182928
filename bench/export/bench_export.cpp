// Export of N tagged photos through the export run (real codec, CSV with a header and the speed
// field), against reading the first 64 KiB of each photo, both measured here on the same files
// from the page cache. Prints the ratio; the goal is at most 3.
//
//   bench_export [count=1000]

#include "base/settings.h"
#include "codec/codec.h"
#include "export/exportdriver.h"
#include "support/fakeview.h"
#include "support/photofactory.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <limits>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kRounds = 5;

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
        recipe.tags = {{"Exif.GPSInfo.GPSSpeedRef", "K"}, {"Exif.GPSInfo.GPSSpeed", "45/2"}};
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
qint64 readHeads(const QStringList& paths) {
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
    return timer.nsecsElapsed();
}

// The codec calls of the run alone, to tell the codec's share from the run's own.
qint64 codecOnly(const QStringList& paths) {
    constexpr int gps = codec::kGpsDirectory;
    const auto codec = codec::defaultCodecFactory().create(QString::fromLatin1(codec::kProgId));
    QElapsedTimer timer;
    timer.start();
    for (const QString& path : paths) {
        if (!codec::isOpened(codec->OpenFile(path, false, false)))
            continue;
        if (!codec->IsTagExisted(2, gps) || !codec->IsTagExisted(4, gps))
            continue;
        double latitude = 0;
        double longitude = 0;
        codec->GetGpsCoordinate(latitude, longitude);
        const QString texts = codec->TagValueLabel(2, gps) + codec->TagValueString(1, gps) +
                              codec->TagValueLabel(4, gps) + codec->TagValueString(3, gps) +
                              codec->TagValueString(6, gps) + codec->TagValueString(5, gps) +
                              codec->TagValueLabel(13, gps);
        if (texts.isEmpty())
            std::fprintf(stderr, "no texts\n");
    }
    return timer.nsecsElapsed();
}

qint64 exportAll(const QStringList& paths, const QString& output) {
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
    const ExportOutcome outcome = runExport(ctx, ExportOptions{ExportType::Csv, false, {13}, true}, output);
    const qint64 elapsed = timer.nsecsElapsed();
    if (outcome != ExportOutcome::Exported)
        std::fprintf(stderr, "export did not succeed (%d)\n", int(outcome));
    return elapsed;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 1000;

    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    qputenv("CORVEXA_SETTINGS_FILE", dir.filePath(QStringLiteral("SETTINGS.INI")).toLocal8Bit());
    settings::WriteSetting(QString::fromUtf8(settings::kBatchSetup), QStringLiteral("ExportHeader"),
                           QStringLiteral("1"));
    settings::WriteSetting(QString::fromUtf8(settings::kExportOptions), QStringLiteral("GPSSpeed"),
                           QStringLiteral("1"));

    std::printf("making %d photos...\n", count);
    const QStringList paths = makeCorpus(dir.path(), count);
    if (paths.isEmpty()) {
        std::fprintf(stderr, "could not make the photos\n");
        return 1;
    }
    qint64 bytes = 0;
    for (const QString& path : paths)
        bytes += QFile(path).size();

    // Warm the page cache, then alternate the two measurements and keep the best of each.
    readHeads(paths);
    exportAll(paths, dir.filePath(QStringLiteral("warm.csv")));
    qint64 bestRead = std::numeric_limits<qint64>::max();
    qint64 bestExport = std::numeric_limits<qint64>::max();
    qint64 bestCodec = std::numeric_limits<qint64>::max();
    for (int round = 0; round < kRounds; ++round) {
        bestRead = std::min(bestRead, readHeads(paths));
        bestCodec = std::min(bestCodec, codecOnly(paths));
        bestExport =
            std::min(bestExport, exportAll(paths, dir.filePath(QStringLiteral("out.csv"))));
    }

    const double readMs = bestRead / 1e6;
    const double exportMs = bestExport / 1e6;
    const double codecMs = bestCodec / 1e6;
    std::printf("photos: %d, %.1f KiB each on average\n", count, bytes / 1024.0 / count);
    std::printf("read first 64 KiB: %9.1f ms (%.3f ms per photo)\n", readMs, readMs / count);
    std::printf("codec calls alone: %9.1f ms (%.3f ms per photo)\n", codecMs, codecMs / count);
    std::printf("export run:        %9.1f ms (%.3f ms per photo)\n", exportMs, exportMs / count);
    std::printf("ratio codec alone / 64 KiB read: %.2f\n", codecMs / readMs);
    std::printf("ratio export / 64 KiB read: %.2f (goal <= 3)\n", exportMs / readMs);
    return 0;
}
