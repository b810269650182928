#include "benchcorpus.h"

#include "support/photofactory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <cmath>
#include <cstdio>
#include <limits>
#include <unistd.h>

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
