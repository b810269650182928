#include "benchcorpus.h"

#include "support/photofactory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <limits>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {
constexpr int kBases = 4;
}

QStringList makeCorpus(const QString& dir, const QString& prefix, const CorpusSpec& recipe) {
    QDir().mkpath(dir);
    QStringList bases;
    for (int i = 0; i < kBases; ++i) {
        PhotoRecipe photo;
        photo.width = recipe.minWidth + (recipe.maxWidth - recipe.minWidth) * i / (kBases - 1);
        photo.height = photo.width * 2 / 3;
        photo.quality = 90;
        photo.noise = true;
        photo.thumbnail = true;
        photo.makerNote = true;
        if (recipe.withGps)
            photo.gps = GpsSpec{31.2304 + i * 0.01, 121.4737 - i * 0.01, 12.5 + i};
        const QString base =
            makeJpeg(dir, QStringLiteral(".base%1_%2.jpg").arg(prefix).arg(i), photo);
        if (base.isEmpty())
            return {};
        bases.append(base);
    }
    QStringList files;
    for (int i = 0; i < recipe.count; ++i) {
        const QString path = QDir(dir).filePath(
            QStringLiteral("%1%2.jpg").arg(prefix).arg(i, 5, 10, QLatin1Char('0')));
        QFile::remove(path);
        if (!QFile::copy(bases[i % kBases], path))
            return {};
        files.append(path);
    }
    for (const QString& base : bases)
        QFile::remove(base);
    return files;
}

qint64 totalBytes(const QStringList& files) {
    qint64 total = 0;
    for (const QString& file : files)
        total += QFileInfo(file).size();
    return total;
}

void race(int rounds, const std::vector<Contender*>& contenders) {
    for (int round = 0; round < rounds; ++round) {
        for (Contender* contender : contenders) {
            if (std::isnan(contender->bestMs))
                continue;
            if (contender->prepare)
                contender->prepare();
            ::sync();
            QElapsedTimer timer;
            timer.start();
            if (!contender->job()) {
                std::fprintf(stderr, "benchmark job failed\n");
                contender->bestMs = std::numeric_limits<double>::quiet_NaN();
                continue;
            }
            contender->bestMs = std::min(contender->bestMs, timer.nsecsElapsed() / 1e6);
        }
    }
}

void resetFolder(const QString& dir) {
    QDir(dir).removeRecursively();
    QDir().mkpath(dir);
}

bool runProgram(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(program, arguments);
    return process.waitForFinished(-1) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

ProgramRun timeProgram(const QString& program, const QStringList& arguments) {
    // A child's peak memory includes the memory of whoever started it up to its exec, so a large
    // benchmark would count itself: GNU time, small and standing between, counts for the child.
    static const QString kTime = QStringLiteral("/usr/bin/time");
    static const bool haveTime = QFileInfo(kTime).isExecutable();
    const QString peakFile = QDir::tempPath() + QStringLiteral("/benchpeak-%1").arg(::getpid());
    QStringList command{program};
    if (haveTime)
        command = QStringList{kTime,
                              QStringLiteral("-f"),
                              QStringLiteral("%U %S %M"),
                              QStringLiteral("-o"),
                              peakFile,
                              program};
    std::vector<QByteArray> storage;
    for (const QString& argument : command + arguments)
        storage.push_back(QFile::encodeName(argument));
    std::vector<char*> argv;
    for (QByteArray& text : storage)
        argv.push_back(text.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    QElapsedTimer timer;
    timer.start();
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return {};
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid)
        return {};
    const double ms = timer.nsecsElapsed() / 1e6;
    const bool ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    ProgramRun run{ok, ms};
    if (QFile peak(peakFile); haveTime && peak.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> fields = peak.readAll().trimmed().split('\n').last().split(' ');
        if (fields.size() == 3) {
            run.cpuMs = (fields[0].toDouble() + fields[1].toDouble()) * 1000;
            run.peakKiB = fields[2].toLong();
        }
        peak.remove();
    }
    return run;
}
