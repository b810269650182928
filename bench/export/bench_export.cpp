// The command-line export of N tagged photos, the whole process from start to exit, against one
// process reading the first 64 KiB of each photo (bench_readheads) and against `exiftool -csv`.
// The contenders take turns in every round; each ratio (of wall time, and of CPU time, which a busy
// machine disturbs less) is taken within its round, and the median and range are printed. Goals:
// CSV at most 1.5 times the 64 KiB read, and at least 20 times faster than ExifTool.
//
//   bench_export [count=1000] [rounds=11]

#include "bench/benchstats.h"
#include "support/photofactory.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

// Eight different camera-sized photos, copied round-robin into count files.
bool makeCorpus(const QString& dir, int count) {
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
            return false;
    }
    const QString photos = dir + QStringLiteral("/photos");
    QDir().mkpath(photos);
    for (int i = 0; i < count; ++i) {
        const QString path = photos + QStringLiteral("/photo-%1.jpg").arg(i, 5, 10, QChar(u'0'));
        if (!QFile::copy(originals.at(i % originals.size()), path))
            return false;
    }
    return true;
}

double nowMs() {
    timespec t{};
    ::clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

struct Time {
    double wall = -1; // ms, negative when the program failed
    double cpu = 0;   // ms of user and system time
};

// Runs the program with its output thrown away. CPU time is the steadier figure on a shared
// machine, where waiting for a core counts in the wall time.
Time timed(const QStringList& command) {
    std::vector<QByteArray> bytes;
    for (const QString& part : command)
        bytes.push_back(QFile::encodeName(part));
    std::vector<char*> argv;
    for (QByteArray& b : bytes)
        argv.push_back(b.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const double start = nowMs();
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    rusage usage{};
    if (spawned != 0 || ::wait4(pid, &status, 0, &usage) != pid)
        return {};
    const double elapsed = nowMs() - start;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return {};
    const auto ms = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
    return {elapsed, ms(usage.ru_utime) + ms(usage.ru_stime)};
}

struct Series {
    const char* name;
    QStringList command;
    std::vector<double> ms;
    std::vector<double> ratios;
    std::vector<double> cpuRatios;
};

double median(std::vector<double> v) {
    return spreadOf(std::move(v)).median;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 1000;
    const int rounds = argc > 2 ? std::max(1, QString::fromLocal8Bit(argv[2]).toInt()) : 11;

    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    std::printf("making %d photos...\n", count);
    if (!makeCorpus(dir.path(), count)) {
        std::fprintf(stderr, "could not make the photos\n");
        return 1;
    }
    const QString photos = dir.filePath(QStringLiteral("photos"));
    const QString exe = QStringLiteral(CORVEXA_APP_EXE);
    // The export never reads the settings file; point it away from the user's all the same.
    qputenv("CORVEXA_SETTINGS_FILE", dir.filePath(QStringLiteral("SETTINGS.INI")).toLocal8Bit());

    const QStringList reference{QStringLiteral(CORVEXA_READHEADS_EXE), photos};
    std::vector<Series> series{
        {"--export CSV", {exe, "--export", dir.filePath("out.csv"), photos}, {}, {}, {}},
        {"--export CSV, header, speed",
         {exe, "--export", dir.filePath("speed.csv"), "--header", "--columns", "speed", photos},
         {},
         {},
         {}},
        {"--export GPX", {exe, "--export", dir.filePath("out.gpx"), photos}, {}, {}, {}},
    };

    // Warm the page cache and the program.
    timed(reference);
    for (const Series& s : series)
        timed(s.command);
    std::vector<double> referenceMs;
    std::vector<double> referenceCpu;
    for (int round = 0; round < rounds; ++round) {
        const Time ref = timed(reference);
        referenceMs.push_back(ref.wall);
        referenceCpu.push_back(ref.cpu);
        for (Series& s : series) {
            const Time t = timed(s.command);
            if (t.wall < 0 || ref.wall <= 0 || ref.cpu <= 0) {
                std::fprintf(stderr, "%s failed\n", s.name);
                return 1;
            }
            s.ms.push_back(t.wall);
            s.ratios.push_back(t.wall / ref.wall);
            s.cpuRatios.push_back(t.cpu / ref.cpu);
        }
    }

    std::printf("photos: %d of ~%lld KiB, %d rounds\n", count,
                QFile(photos + "/photo-00000.jpg").size() / 1024, rounds);
    std::printf("%-30s %8.1f ms (CPU %.1f ms)   1.00\n", "read first 64 KiB (process)",
                median(referenceMs), median(referenceCpu));
    for (const Series& s : series) {
        const auto [low, high] = std::minmax_element(s.ratios.begin(), s.ratios.end());
        const auto [cpuLow, cpuHigh] = std::minmax_element(s.cpuRatios.begin(), s.cpuRatios.end());
        std::printf("%-30s %8.1f ms   ratio %.2f (rounds %.2f-%.2f), CPU %.2f (%.2f-%.2f)\n",
                    s.name, median(s.ms), median(s.ratios), *low, *high, median(s.cpuRatios),
                    *cpuLow, *cpuHigh);
    }

    const QString exiftool = QStandardPaths::findExecutable(QStringLiteral("exiftool"));
    if (exiftool.isEmpty()) {
        std::printf("exiftool not found: no comparison with it\n");
        return 0;
    }
    std::vector<double> speedups;
    for (int round = 0; round < 3; ++round) {
        const double ours = timed(series.front().command).wall;
        const double theirs = timed({exiftool, "-q", "-csv", "-n", "-GPSLatitude", "-GPSLongitude",
                                     "-GPSAltitude", photos})
                                  .wall;
        if (ours > 0 && theirs > 0)
            speedups.push_back(theirs / ours);
    }
    const auto [low, high] = std::minmax_element(speedups.begin(), speedups.end());
    std::printf("exiftool -csv / --export CSV: %.1f times (rounds %.1f-%.1f; goal >= 20)\n",
                median(speedups), *low, *high);
    return 0;
}
