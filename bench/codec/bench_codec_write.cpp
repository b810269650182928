// Writing GPS into copies of camera-sized and small JPEGs through the codec, against `cp` of the
// same files into a folder and ExifTool writing the same tags into copies (`exiftool -o`).
//
//   bench_codec_write [--big N] [--small N] [--runs R] [--dir PATH] [--no-exiftool]
//
// Defaults: 200 JPEGs of 5 to 8 MB, 1000 of about 300 KB, 5 interleaved rounds. The codec runs
// twice: one step per photo (SaveToJPEG), and in two steps on two threads as the batch writer
// runs it (the next photo prepared while this one is written). Every run writes into a folder of
// its own, deleted only when the set is done (see bench_silentbatch.cpp for why).

#include "benchcorpus.h"
#include "codec/codec.h"
#include "writer/serialworker.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cmath>
#include <cstdio>
#include <memory>
#include <unistd.h>

namespace {

struct Options {
    int big = 200;
    int small = 1000;
    int runs = 5;
    QString dir;
    bool exiftool = true;
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
        else if (arg == u"--runs")
            options.runs = std::max(1, next.toInt()), ++i;
        else if (arg == u"--dir")
            options.dir = next, ++i;
        else if (arg == u"--no-exiftool")
            options.exiftool = false;
    }
    return options;
}

// Opens a photo and adds the seven tags of a position below sea level.
bool openAndTag(codec::ICodec& codec, const QString& file) {
    static const QByteArray version("\x02\x03\x00\x00", 4);
    static const QByteArray below("\x01", 1);
    if (!codec::isOpened(codec.OpenFile(file, true, true)))
        return false;
    codec.AddTag(0, codec::kGpsDirectory, codec::Byte, 4, version, false);
    codec.AddTag(1, codec::kGpsDirectory, codec::Ascii, 2, QStringLiteral("S"), false);
    codec.AddTag(2, codec::kGpsDirectory, codec::Rational, 3,
                 std::vector<qint32>{33, 1, 52, 1, 768, 100}, false);
    codec.AddTag(3, codec::kGpsDirectory, codec::Ascii, 2, QStringLiteral("E"), false);
    codec.AddTag(4, codec::kGpsDirectory, codec::Rational, 3,
                 std::vector<qint32>{151, 1, 12, 1, 3348, 100}, false);
    codec.AddTag(5, codec::kGpsDirectory, codec::Byte, 1, below, false);
    codec.AddTag(6, codec::kGpsDirectory, codec::Rational, 1, std::vector<qint32>{125, 10}, false);
    return true;
}

QString copyName(const QString& outDir, const QString& file) {
    return outDir + QLatin1Char('/') + QFileInfo(file).fileName();
}

bool writeThroughCodec(codec::ICodec& codec, const QStringList& files, const QString& outDir) {
    for (const QString& file : files) {
        if (!openAndTag(codec, file) || !codec.SaveToJPEG(copyName(outDir, file)))
            return false;
    }
    return true;
}

// The batch writer's way: the worker opens and prepares photo k+1 while photo k is written here.
bool writeInTwoSteps(codec::ICodec& codec, const QStringList& files, const QString& outDir) {
    auto prepare = [&codec, &outDir](const QString& file) -> std::unique_ptr<codec::PreparedSave> {
        if (!openAndTag(codec, file))
            return nullptr;
        return codec.PrepareSave(copyName(outDir, file));
    };
    if (files.isEmpty())
        return true;
    SerialWorker worker;
    auto next = worker.run([&prepare, file = files.first()] { return prepare(file); });
    for (qsizetype i = 0; i < files.size(); ++i) {
        const std::unique_ptr<codec::PreparedSave> save = next.get();
        if (!save)
            return false;
        if (i + 1 < files.size())
            next = worker.run([&prepare, file = files[i + 1]] { return prepare(file); });
        if (!save->commit().isEmpty())
            return false;
    }
    return true;
}

double median(std::vector<double> values) {
    return spreadOf(std::move(values)).median;
}

void runSet(const char* label, const QString& root, const CorpusSpec& recipe,
            const Options& options, const QString& exiftool) {
    if (recipe.count <= 0)
        return;
    const QStringList files = makeCorpus(root + "/src", label, recipe);
    if (files.isEmpty()) {
        std::fprintf(stderr, "could not make the %s corpus\n", label);
        return;
    }
    // One untimed copy brings the sources into the page cache.
    resetFolder(root + "/warm");
    runProgram("cp", files + QStringList{root + "/warm"});
    QDir(root + "/warm").removeRecursively();

    auto codec = codec::defaultCodecFactory().create(QString::fromLatin1(codec::kProgId));
    std::vector<double> cpMs, oneMs, twoMs, toolMs, oneToCp, twoToCp, toolToTwo;
    QElapsedTimer timer;
    for (int round = 0; round < options.runs; ++round) {
        const QString cpOut = root + QStringLiteral("/cp%1").arg(round);
        const QString oneOut = root + QStringLiteral("/one%1").arg(round);
        const QString twoOut = root + QStringLiteral("/two%1").arg(round);
        const QString toolOut = root + QStringLiteral("/exiftool%1").arg(round);
        for (const QString& folder : {cpOut, oneOut, twoOut, toolOut})
            QDir().mkpath(folder);

        ::sync();
        const ProgramRun cp = timeProgram("cp", files + QStringList{cpOut});
        ::sync();
        timer.start();
        const bool one = writeThroughCodec(*codec, files, oneOut);
        const double oneTime = timer.nsecsElapsed() / 1e6;
        ::sync();
        timer.start();
        const bool two = writeInTwoSteps(*codec, files, twoOut);
        const double twoTime = timer.nsecsElapsed() / 1e6;
        ProgramRun tool;
        if (!exiftool.isEmpty()) {
            ::sync();
            tool = timeProgram(exiftool,
                               QStringList{"-q", "-GPSVersionID=2.3.0.0", "-GPSLatitudeRef=S",
                                           "-GPSLatitude=33 52 7.68", "-GPSLongitudeRef=E",
                                           "-GPSLongitude=151 12 33.48", "-GPSAltitudeRef=1",
                                           "-GPSAltitude=12.5", "-o", toolOut + "/"} +
                                   files);
        }
        if (!cp.ok || !one || !two) {
            std::fprintf(stderr, "%s round %d failed\n", label, round + 1);
            return;
        }
        cpMs.push_back(cp.ms);
        oneMs.push_back(oneTime);
        twoMs.push_back(twoTime);
        oneToCp.push_back(oneTime / cp.ms);
        twoToCp.push_back(twoTime / cp.ms);
        if (tool.ok) {
            toolMs.push_back(tool.ms);
            toolToTwo.push_back(tool.ms / twoTime);
        }
    }
    const Spread one = spreadOf(oneToCp);
    const Spread two = spreadOf(twoToCp);
    const Spread tool = spreadOf(toolToTwo);
    std::printf("%-6s %6lld files %7.1f MB | cp %7.1f ms | codec %7.1f ms, two threads %7.1f ms | "
                "exiftool %8.1f ms\n"
                "       codec / cp %.2f (%.2f-%.2f) | two threads / cp %.2f (%.2f-%.2f) | "
                "exiftool / two threads %.1f (%.1f-%.1f)\n",
                label, static_cast<long long>(files.size()), totalBytes(files) / 1e6, median(cpMs),
                median(oneMs), median(twoMs), median(toolMs), one.median, one.low, one.high,
                two.median, two.low, two.high, tool.median, tool.low, tool.high);
    std::fflush(stdout);
    QDir(root).removeRecursively();
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const Options options = parse(app.arguments());
    QTemporaryDir temp(options.dir.isEmpty() ? QDir::tempPath() + "/bench_codec_write-XXXXXX"
                                             : options.dir + "/bench_codec_write-XXXXXX");
    if (!temp.isValid()) {
        std::fprintf(stderr, "no temporary folder\n");
        return 1;
    }
    QString exiftool;
    if (options.exiftool) {
        exiftool = QStringLiteral(CORVEXA_EXIFTOOL);
        if (exiftool.isEmpty())
            exiftool = QStandardPaths::findExecutable("exiftool");
    }
    runSet("big", temp.filePath("big"), {options.big, 3000, 3560, false}, options, exiftool);
    runSet("small", temp.filePath("small"), {options.small, 640, 700, false}, options, exiftool);
    return 0;
}
