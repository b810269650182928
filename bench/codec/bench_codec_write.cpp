// Writing GPS into copies of camera-sized and small JPEGs through the codec, against `cp` of the
// same files into a folder and ExifTool writing the same tags into copies (`exiftool -o`).
//
//   bench_codec_write [--big N] [--small N] [--runs R] [--dir PATH] [--no-exiftool]
//
// Defaults: 200 JPEGs of 5 to 8 MB, 1000 of about 300 KB, best of 3 runs (ExifTool: 1 run).

#include "benchcorpus.h"
#include "codec/codec.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cmath>
#include <cstdio>
#include <memory>

namespace {

struct Options {
    int big = 200;
    int small = 1000;
    int runs = 3;
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

bool writeThroughCodec(codec::ICodec& codec, const QStringList& files, const QString& outDir) {
    const QByteArray version("\x02\x03\x00\x00", 4);
    const QByteArray below("\x01", 1);
    for (const QString& file : files) {
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
        codec.AddTag(6, codec::kGpsDirectory, codec::Rational, 1, std::vector<qint32>{125, 10},
                     false);
        if (!codec.SaveToJPEG(outDir + QLatin1Char('/') + QFileInfo(file).fileName()))
            return false;
    }
    return true;
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
    const QString cpOut = root + "/cp";
    const QString codecOut = root + "/codec";
    const QString toolOut = root + "/exiftool";

    // One untimed copy brings the sources into the page cache.
    resetFolder(cpOut);
    runProgram("cp", files + QStringList{cpOut});

    auto codec = codec::defaultCodecFactory().create(QString::fromLatin1(codec::kProgId));
    Contender cp{[&] { resetFolder(cpOut); },
                 [&] { return runProgram("cp", files + QStringList{cpOut}); }};
    Contender ours{[&] { resetFolder(codecOut); },
                   [&] { return writeThroughCodec(*codec, files, codecOut); }};
    race(options.runs, {&cp, &ours});
    // ExifTool takes ten times as long: one run is enough to place it.
    Contender tool{[&] { resetFolder(toolOut); },
                   [&] {
                       const QStringList tags{"-q",
                                              "-GPSVersionID=2.3.0.0",
                                              "-GPSLatitudeRef=S",
                                              "-GPSLatitude=33 52 7.68",
                                              "-GPSLongitudeRef=E",
                                              "-GPSLongitude=151 12 33.48",
                                              "-GPSAltitudeRef=1",
                                              "-GPSAltitude=12.5",
                                              "-o",
                                              toolOut + "/"};
                       return runProgram(exiftool, tags + files);
                   }};
    if (!exiftool.isEmpty())
        race(1, {&tool});
    else
        tool.bestMs = std::nan("");
    const double cpMs = cp.bestMs;
    const double codecMs = ours.bestMs;
    const double toolMs = tool.bestMs;

    std::printf("%-6s %6lld files %8.1f MB | cp %9.1f ms | codec %9.1f ms | exiftool %9.1f ms | "
                "codec/cp %5.2f | exiftool/codec %5.1f\n",
                label, static_cast<long long>(files.size()), totalBytes(files) / 1e6, cpMs, codecMs,
                toolMs, codecMs / cpMs, toolMs / codecMs);
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
