// The silent batch on a folder of camera-sized JPEGs, against copying the same photos with cp and
// against ExifTool writing the same tags into copies, all measured in the same run.
//
//   bench_silentbatch [photos=200] [program=corvexa-gps of this build] [decimals=6]
//
// decimals: how many the log's degrees carry (loggers write six; four keep the seconds to
// hundredths, which GetRational turns into a fraction at once).
//
// The corpus is made once per run in a temporary folder and read once before timing, so every
// contender finds the photos in the page cache.

#include "road/appstate.h"
#include "support/photofactory.h"
#include "writer/silentrun.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kDistinctPhotos = 8;
constexpr int kRounds = 3;
constexpr qint64 kMinBytes = 5'000'000;
constexpr qint64 kMaxBytes = 8'000'000;

QTextStream& out() {
    static QTextStream stream(stdout);
    return stream;
}

struct Fix {
    QString name;
    double lat;
    double lon;
    double alt;
};

// Camera-like JPEGs of 5 to 8 MB: noise keeps them that large at a modest pixel count.
bool makeCorpus(const QString& folder, int count, int decimals, std::vector<Fix>& fixes) {
    PhotoRecipe probe;
    probe.noise = true;
    probe.width = 400;
    probe.height = 300;
    const QString probePath = makeJpeg(folder, QStringLiteral("probe.jpg"), probe);
    const double bytesPerPixel = double(QFileInfo(probePath).size()) / (400 * 300);
    QFile::remove(probePath);

    QStringList bases;
    for (int i = 0; i < std::min(count, kDistinctPhotos); ++i) {
        const qint64 target =
            kMinBytes + 500'000 +
            (kMaxBytes - kMinBytes - 1'000'000) * i / std::max(1, kDistinctPhotos - 1);
        const double pixels = target / bytesPerPixel;
        PhotoRecipe recipe;
        recipe.noise = true;
        recipe.width = int(std::sqrt(pixels * 4 / 3));
        recipe.height = recipe.width * 3 / 4;
        recipe.thumbnail = true;
        recipe.makerNote = i % 2 == 1;
        recipe.gps = i % 3 == 0 ? std::optional<GpsSpec>(GpsSpec{48.1, 11.5, 520.0}) : std::nullopt;
        const QString base = makeJpeg(folder, QStringLiteral("base%1.jpg").arg(i), recipe);
        if (base.isEmpty())
            return false;
        bases << base;
    }

    QRandomGenerator random(20240501);
    QFile log(folder + QStringLiteral("/log.txt"));
    if (!log.open(QIODevice::WriteOnly))
        return false;
    for (int i = 0; i < count; ++i) {
        const double scale = std::pow(10.0, decimals);
        const Fix fix{QStringLiteral("IMG_%1.JPG").arg(i + 1, 4, 10, QLatin1Char('0')),
                      std::round((random.generateDouble() * 160 - 80) * scale) / scale,
                      std::round((random.generateDouble() * 360 - 180) * scale) / scale,
                      std::round((random.generateDouble() * 3000 - 100) * 10) / 10};
        if (!QFile::copy(bases[i % bases.size()], folder + u'/' + fix.name))
            return false;
        log.write(QStringLiteral("%1,%2,%3,%4\n")
                      .arg(fix.name)
                      .arg(fix.lat, 0, 'f', decimals)
                      .arg(fix.lon, 0, 'f', decimals)
                      .arg(fix.alt, 0, 'f', 1)
                      .toUtf8());
        fixes.push_back(fix);
    }
    for (const QString& base : bases)
        QFile::remove(base);
    return true;
}

qint64 readAll(const QString& folder) {
    qint64 total = 0;
    std::vector<char> buffer(1 << 20);
    for (const QFileInfo& info : QDir(folder).entryInfoList(QDir::Files)) {
        QFile file(info.filePath());
        if (!file.open(QIODevice::ReadOnly))
            continue;
        qint64 n = 0;
        while ((n = file.read(buffer.data(), qint64(buffer.size()))) > 0)
            total += n;
    }
    return total;
}

// Dirty pages of the step before are written out first, so no one pays for another's writes.
void settle() {
    ::sync();
}

// Wall time of a program, in seconds; negative when it failed.
double timeProgram(const QString& program, const QStringList& arguments, int okStatus = 0) {
    settle();
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    QElapsedTimer timer;
    timer.start();
    process.start(program, arguments);
    if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != okStatus) {
        out() << program << ": " << QString::fromLocal8Bit(process.readAll()) << Qt::endl;
        return -1;
    }
    return timer.nsecsElapsed() / 1e9;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

QString exifToolArguments(const QString& folder, const QString& target,
                          const std::vector<Fix>& fixes) {
    QString args;
    for (const Fix& fix : fixes) {
        args += QStringLiteral("-o\n%1/%2\n").arg(target, fix.name);
        args += QStringLiteral("-GPSVersionID=2.3.0.0\n");
        args += QStringLiteral("-GPSLatitudeRef=%1\n").arg(fix.lat < 0 ? u'S' : u'N');
        args += QStringLiteral("-GPSLatitude#=%1\n").arg(std::abs(fix.lat), 0, 'f', 6);
        args += QStringLiteral("-GPSLongitudeRef=%1\n").arg(fix.lon < 0 ? u'W' : u'E');
        args += QStringLiteral("-GPSLongitude#=%1\n").arg(std::abs(fix.lon), 0, 'f', 6);
        args += QStringLiteral("-GPSAltitudeRef#=%1\n").arg(fix.alt < 0 ? 1 : 0);
        args += QStringLiteral("-GPSAltitude#=%1\n").arg(std::abs(fix.alt), 0, 'f', 1);
        args += QStringLiteral("%1/%2\n-execute\n").arg(folder, fix.name);
    }
    return args;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int count = args.size() > 1 ? std::max(1, args[1].toInt()) : 200;
    const QString program =
        args.size() > 2 && !args[2].isEmpty()
            ? args[2]
            : qEnvironmentVariable("CORVEXA_APP_EXE", QStringLiteral(CORVEXA_APP_EXE));
    const int decimals = args.size() > 3 ? std::clamp(args[3].toInt(), 0, 9) : 6;
    const QString exiftool = QStandardPaths::findExecutable(QStringLiteral("exiftool"));

    QTemporaryDir work;
    const QString photos = work.filePath(QStringLiteral("photos"));
    const QString copies = work.filePath(QStringLiteral("copies"));
    const QString results = photos + QStringLiteral("/results");
    QDir().mkpath(photos);
    qputenv("CORVEXA_SETTINGS_FILE", work.filePath(QStringLiteral("settings.ini")).toUtf8());

    out() << "making " << count << " photos ..." << Qt::endl;
    std::vector<Fix> fixes;
    if (!makeCorpus(photos, count, decimals, fixes)) {
        out() << "could not make the photos" << Qt::endl;
        return 1;
    }
    settle();
    const qint64 bytes = readAll(photos);
    out() << QStringLiteral("corpus: %1 photos, %2 MB, log with %3 decimals")
                 .arg(count)
                 .arg(bytes / 1e6, 0, 'f', 0)
                 .arg(decimals)
          << Qt::endl;

    QStringList cpArguments;
    for (const Fix& fix : fixes)
        cpArguments << photos + u'/' + fix.name;
    cpArguments << copies;
    const QString log = photos + QStringLiteral("/log.txt");
    const bool haveProgram = QFileInfo(program).isExecutable();

    std::vector<double> cp, inProcess, executable;
    for (int round = 0; round < kRounds; ++round) {
        QDir(copies).removeRecursively();
        QDir().mkpath(copies);
        cp.push_back(timeProgram(QStringLiteral("cp"), cpArguments));

        QDir(results).removeRecursively();
        settle();
        QElapsedTimer timer;
        timer.start();
        AppState state;
        QString summary, messages;
        QTextStream summaryStream(&summary), messageStream(&messages);
        const int status = runSilentBatch(state, log, summaryStream, messageStream);
        inProcess.push_back(status == silentexit::kAllWritten ? timer.nsecsElapsed() / 1e9 : -1);

        if (haveProgram) {
            QDir(results).removeRecursively();
            executable.push_back(timeProgram(program, {log, QStringLiteral("-silent")}));
        }
    }

    double exifToolTime = -1;
    if (!exiftool.isEmpty()) {
        QDir(copies).removeRecursively();
        QDir().mkpath(copies);
        QFile argFile(work.filePath(QStringLiteral("exiftool.args")));
        argFile.open(QIODevice::WriteOnly);
        argFile.write(exifToolArguments(photos, copies, fixes).toUtf8());
        argFile.close();
        exifToolTime =
            timeProgram(exiftool, {QStringLiteral("-q"), QStringLiteral("-@"), argFile.fileName()});
    }

    const double cpTime = median(cp);
    auto line = [&](const char* what, double seconds) {
        if (seconds < 0) {
            out() << QStringLiteral("%1 failed").arg(QLatin1String(what), -28) << Qt::endl;
            return;
        }
        out() << QStringLiteral("%1 %2 s  %3 x cp")
                     .arg(QLatin1String(what), -28)
                     .arg(seconds, 7, 'f', 3)
                     .arg(seconds / cpTime, 5, 'f', 2)
              << Qt::endl;
    };
    line("cp", cpTime);
    line("runSilentBatch (in process)", median(inProcess));
    if (haveProgram)
        line("corvexa-gps -silent", median(executable));
    else
        out() << "corvexa-gps -silent          not found: " << program << Qt::endl;
    if (exifToolTime > 0) {
        line("exiftool -o", exifToolTime);
        const double ours = haveProgram ? median(executable) : median(inProcess);
        if (ours > 0)
            out() << QStringLiteral("exiftool / %1 %2 x")
                         .arg(QLatin1String(haveProgram ? "corvexa-gps" : "runSilentBatch"), -17)
                         .arg(exifToolTime / ours, 5, 'f', 2)
                  << Qt::endl;
    } else {
        out() << "exiftool not found" << Qt::endl;
    }
    out() << "goals: corvexa-gps at most 1.70 x cp, at least 4 x faster than exiftool" << Qt::endl;
    return 0;
}
