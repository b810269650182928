// The silent batch (`corvexa-gps LOG -silent`) on folders of JPEGs, against `cp` of the same
// photos and ExifTool writing the same tags into copies, interleaved round by round.
//
//   bench_silentbatch [--big N] [--small N] [--rounds R] [--memory N] [--decimals D]
//                     [--program PATH] [--against PATH] [--dir PATH] [--no-exiftool] [--keep]
//
// Defaults: 200 JPEGs of 5 to 8 MB and 1000 of about 300 KB, 5 rounds, a log whose degrees carry
// 6 decimals (as loggers write them). --memory N adds one batch of N small photos (32767 is the
// list's limit) and reports its peak memory. --against adds another build of the program (an
// earlier one) to every round.
//
// Each round writes into fresh folders and nothing is deleted until the set is done: on an ext4
// without a journal the kernel skips inodes freed seconds ago, and a round that creates thousands
// of files right after another deleted thousands measures that search instead of the copy.
// Every contender runs after a sync, so none pays for another's writes.

#include "../codec/benchcorpus.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cmath>
#include <cstdio>
#include <unistd.h>
#include <vector>

namespace {

struct Options {
    int big = 200;
    int small = 1000;
    int rounds = 5;
    int memory = 0;
    int decimals = 6;
    QString program;
    QString against;
    QString dir;
    bool exiftool = true;
    bool keep = false; // leave the corpus and the copies, for a profiler
};

Options parse(const QStringList& args) {
    Options options;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& arg = args[i];
        const QString next = i + 1 < args.size() ? args[i + 1] : QString();
        if (arg == u"--big")
            options.big = next.toInt(), ++i;
        else if (arg == u"--small")
            options.small = next.toInt(), ++i;
        else if (arg == u"--rounds")
            options.rounds = std::max(1, next.toInt()), ++i;
        else if (arg == u"--memory")
            options.memory = next.toInt(), ++i;
        else if (arg == u"--decimals")
            options.decimals = std::clamp(next.toInt(), 0, 9), ++i;
        else if (arg == u"--program")
            options.program = next, ++i;
        else if (arg == u"--against")
            options.against = next, ++i;
        else if (arg == u"--dir")
            options.dir = next, ++i;
        else if (arg == u"--no-exiftool")
            options.exiftool = false;
        else if (arg == u"--keep")
            options.keep = true;
    }
    return options;
}

struct Fix {
    QString name;
    double lat;
    double lon;
    double alt;
};

// One position per photo, spread over the globe, as a logger writes them.
std::vector<Fix> makeFixes(const QStringList& files, int decimals) {
    QRandomGenerator random(20240501);
    const double scale = std::pow(10.0, decimals);
    std::vector<Fix> fixes;
    for (const QString& file : files)
        fixes.push_back({QFileInfo(file).fileName(),
                         std::round((random.generateDouble() * 160 - 80) * scale) / scale,
                         std::round((random.generateDouble() * 360 - 180) * scale) / scale,
                         std::round((random.generateDouble() * 3000 - 100) * 10) / 10});
    return fixes;
}

bool writeLog(const QString& path, const std::vector<Fix>& fixes, int decimals) {
    QFile log(path);
    if (!log.open(QIODevice::WriteOnly))
        return false;
    for (const Fix& fix : fixes)
        log.write(QStringLiteral("%1,%2,%3,%4\r\n")
                      .arg(fix.name)
                      .arg(fix.lat, 0, 'f', decimals)
                      .arg(fix.lon, 0, 'f', decimals)
                      .arg(fix.alt, 0, 'f', 1)
                      .toUtf8());
    return log.flush();
}

// ExifTool's argument file: one command per photo with that photo's position.
bool writeExifToolArgs(const QString& path, const QString& source, const QString& target,
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
        args += QStringLiteral("%1/%2\n-execute\n").arg(source, fix.name);
    }
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(args.toUtf8()) >= 0;
}

// A log folder of its own for one run: hard links to the photos (no data copied, no inodes
// made) and the log, so the run's "results" folder is new.
bool linkRunFolder(const QString& folder, const QStringList& files, const QString& log) {
    if (!QDir().mkpath(folder))
        return false;
    for (const QString& file : files) {
        const QByteArray to = QFile::encodeName(folder + u'/' + QFileInfo(file).fileName());
        if (::link(QFile::encodeName(file).constData(), to.constData()) != 0)
            return false;
    }
    return QFile::copy(log, folder + QStringLiteral("/log.txt"));
}

void printSpread(const char* what, const Spread& s, const char* unit) {
    std::printf("  %-26s %6.2f%s (%.2f-%.2f)\n", what, s.median, unit, s.low, s.high);
}

void runSet(const char* label, const QString& root, const CorpusSpec& recipe,
            const Options& options, const QString& program, const QString& exiftool) {
    if (recipe.count <= 0)
        return;
    const QString source = root + QStringLiteral("/src");
    const QStringList files = makeCorpus(source, QStringLiteral("IMG_"), recipe);
    const std::vector<Fix> fixes = makeFixes(files, options.decimals);
    const QString log = root + QStringLiteral("/log.txt");
    if (files.isEmpty() || !writeLog(log, fixes, options.decimals)) {
        std::fprintf(stderr, "could not make the %s corpus\n", label);
        return;
    }
    std::printf("%s: %lld photos, %.0f MB, log with %d decimals, %d rounds\n", label,
                static_cast<long long>(files.size()), totalBytes(files) / 1e6, options.decimals,
                options.rounds);
    std::fflush(stdout);
    // One untimed copy brings the photos into the page cache.
    resetFolder(root + QStringLiteral("/warm"));
    runProgram(QStringLiteral("cp"), files + QStringList{root + QStringLiteral("/warm")});
    QDir(root + QStringLiteral("/warm")).removeRecursively();

    std::vector<double> cpMs, oursMs, toolMs, oursToCp, toolToOurs, toolToCp, cpuToCp, otherToCp;
    long peakKiB = 0;
    for (int round = 0; round < options.rounds; ++round) {
        const QString cpOut = root + QStringLiteral("/cp%1").arg(round);
        const QString runFolder = root + QStringLiteral("/run%1").arg(round);
        const QString toolOut = root + QStringLiteral("/exiftool%1").arg(round);
        QDir().mkpath(cpOut);
        QDir().mkpath(toolOut);
        const QString args = root + QStringLiteral("/exiftool%1.args").arg(round);
        const QString otherFolder = root + QStringLiteral("/other%1").arg(round);
        if (!options.against.isEmpty() && !linkRunFolder(otherFolder, files, log)) {
            std::fprintf(stderr, "could not prepare round %d\n", round + 1);
            return;
        }
        if (!linkRunFolder(runFolder, files, log) ||
            (!exiftool.isEmpty() && !writeExifToolArgs(args, source, toolOut, fixes))) {
            std::fprintf(stderr, "could not prepare round %d\n", round + 1);
            return;
        }

        ::sync();
        const ProgramRun cp = timeProgram(QStringLiteral("cp"), files + QStringList{cpOut});
        ::sync();
        const ProgramRun ours = timeProgram(
            program, {runFolder + QStringLiteral("/log.txt"), QStringLiteral("-silent")});
        if (!options.against.isEmpty()) {
            ::sync();
            const ProgramRun other =
                timeProgram(options.against,
                            {otherFolder + QStringLiteral("/log.txt"), QStringLiteral("-silent")});
            if (other.ok && cp.ok)
                otherToCp.push_back(other.ms / cp.ms);
        }
        ProgramRun tool;
        if (!exiftool.isEmpty()) {
            ::sync();
            tool = timeProgram(exiftool, {QStringLiteral("-q"), QStringLiteral("-@"), args});
        }
        if (!cp.ok || !ours.ok) {
            std::fprintf(stderr, "round %d: %s failed\n", round + 1, cp.ok ? "corvexa-gps" : "cp");
            return;
        }
        cpMs.push_back(cp.ms);
        oursMs.push_back(ours.ms);
        oursToCp.push_back(ours.ms / cp.ms);
        if (ours.cpuMs > 0 && cp.cpuMs > 0)
            cpuToCp.push_back(ours.cpuMs / cp.cpuMs);
        peakKiB = std::max(peakKiB, ours.peakKiB);
        if (tool.ok) {
            toolMs.push_back(tool.ms);
            toolToOurs.push_back(tool.ms / ours.ms);
            toolToCp.push_back(tool.ms / cp.ms);
        }
        std::printf("  round %d: cp %.0f ms (cpu %.0f), corvexa-gps %.0f ms (cpu %.0f, %.2f x cp), "
                    "exiftool %s\n",
                    round + 1, cp.ms, cp.cpuMs, ours.ms, ours.cpuMs, ours.ms / cp.ms,
                    tool.ok ? qPrintable(QStringLiteral("%1 ms").arg(tool.ms, 0, 'f', 0))
                            : "not run");
        std::fflush(stdout);
    }
    printSpread("cp", spreadOf(cpMs), " ms");
    printSpread("corvexa-gps -silent", spreadOf(oursMs), " ms");
    printSpread("corvexa-gps / cp", spreadOf(oursToCp), " x");
    if (!cpuToCp.empty())
        printSpread("processor time, ours / cp", spreadOf(cpuToCp), " x");
    if (!otherToCp.empty())
        printSpread("--against build / cp", spreadOf(otherToCp), " x");
    if (!toolMs.empty()) {
        printSpread("exiftool", spreadOf(toolMs), " ms");
        printSpread("exiftool / cp", spreadOf(toolToCp), " x");
        printSpread("exiftool / corvexa-gps", spreadOf(toolToOurs), " x");
    }
    std::printf("  corvexa-gps peak memory    %.1f MB\n", peakKiB / 1024.0);
    std::fflush(stdout);
    if (!options.keep)
        QDir(root).removeRecursively();
}

// The list's longest batch, for its peak memory: small photos, one run.
void runMemory(const QString& root, int count, const Options& options, const QString& program) {
    if (count <= 0)
        return;
    const QStringList files = makeCorpus(root, QStringLiteral("IMG_"), {count, 160, 200, true});
    const QString log = root + QStringLiteral("/log.txt");
    if (files.isEmpty() || !writeLog(log, makeFixes(files, options.decimals), options.decimals)) {
        std::fprintf(stderr, "could not make the memory corpus\n");
        return;
    }
    ::sync();
    const ProgramRun run = timeProgram(program, {log, QStringLiteral("-silent")});
    std::printf("memory: %d photos (%.0f MB): %s in %.1f s, peak memory %.1f MB (goal < 40)\n",
                count, totalBytes(files) / 1e6, run.ok ? "written" : "FAILED", run.ms / 1000,
                run.peakKiB / 1024.0);
    std::fflush(stdout);
    if (!options.keep)
        QDir(root).removeRecursively();
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const Options options = parse(app.arguments());
    const QString program =
        options.program.isEmpty()
            ? qEnvironmentVariable("CORVEXA_APP_EXE", QStringLiteral(CORVEXA_APP_EXE))
            : options.program;
    if (!QFileInfo(program).isExecutable()) {
        std::fprintf(stderr, "no program at %s\n", qPrintable(program));
        return 1;
    }
    QString exiftool;
    if (options.exiftool)
        exiftool = QStandardPaths::findExecutable(QStringLiteral("exiftool"));
    QTemporaryDir temp(options.dir.isEmpty() ? QDir::tempPath() + "/bench_silentbatch-XXXXXX"
                                             : options.dir + "/bench_silentbatch-XXXXXX");
    if (!temp.isValid()) {
        std::fprintf(stderr, "no temporary folder\n");
        return 1;
    }
    temp.setAutoRemove(!options.keep);
    if (options.keep)
        std::printf("corpus kept in %s\n", qPrintable(temp.path()));
    // The settings of this run only: the maker note is kept, as a new user has it.
    qputenv("CORVEXA_SETTINGS_FILE", temp.filePath(QStringLiteral("settings.ini")).toUtf8());

    runSet("big", temp.filePath("big"), {options.big, 3000, 3560, false}, options, program,
           exiftool);
    runSet("small", temp.filePath("small"), {options.small, 640, 700, false}, options, program,
           exiftool);
    runMemory(temp.filePath("memory"), options.memory, options, program);
    std::printf("goals: corvexa-gps / cp at most 1.15 (big) and 1.20 (small); "
                "exiftool / corvexa-gps at least 6 on both; peak memory under 40 MB\n");
    return 0;
}
