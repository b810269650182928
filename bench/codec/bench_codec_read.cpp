// Reading the GPS position of tagged JPEGs through the codec, with the calls the export makes,
// against reading the first 64 KiB of each file.
//
//   bench_codec_read [--count N] [--runs R] [--dir PATH]
//
// Defaults: 1000 JPEGs of about 300 KB, best of 3 runs.

#include "benchcorpus.h"
#include "codec/codec.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace {

bool readHeads(const QStringList& files) {
    std::vector<char> buffer(64 * 1024);
    for (const QString& file : files) {
        const int fd = ::open(QFile::encodeName(file).constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return false;
        const ssize_t got = ::read(fd, buffer.data(), buffer.size());
        ::close(fd);
        if (got <= 0)
            return false;
    }
    return true;
}

bool readThroughCodec(codec::ICodec& codec, const QStringList& files) {
    constexpr int gps = codec::kGpsDirectory;
    for (const QString& file : files) {
        if (!codec::isOpened(codec.OpenFile(file, false, false)))
            return false;
        if (!codec.IsTagExisted(2, gps) || !codec.IsTagExisted(4, gps))
            return false;
        const QString row = codec.TagValueLabel(2, gps) + codec.TagValueString(1, gps) +
                            codec.TagValueLabel(4, gps) + codec.TagValueString(3, gps);
        if (codec.IsTagExisted(6, gps) && (codec.TagValueString(6, gps).isEmpty() || row.isEmpty()))
            return false;
        codec.TagValueString(5, gps);
        double latitude = 0, longitude = 0;
        if (!codec.GetGpsCoordinate(latitude, longitude))
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int count = 1000;
    int runs = 3;
    QString dir;
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == u"--count")
            count = args[i + 1].toInt();
        else if (args[i] == u"--runs")
            runs = std::max(1, args[i + 1].toInt());
        else if (args[i] == u"--dir")
            dir = args[i + 1];
    }
    QTemporaryDir temp((dir.isEmpty() ? QDir::tempPath() : dir) + "/bench_codec_read-XXXXXX");
    const QStringList files = makeCorpus(temp.filePath("src"), "tagged", {count, 640, 700, true});
    if (files.isEmpty()) {
        std::fprintf(stderr, "could not make the corpus\n");
        return 1;
    }
    readHeads(files); // into the page cache

    auto codec = codec::defaultCodecFactory().create(QString::fromLatin1(codec::kProgId));
    Contender head{{}, [&] { return readHeads(files); }};
    Contender ours{{}, [&] { return readThroughCodec(*codec, files); }};
    race(runs, {&head, &ours});
    const double headMs = head.bestMs;
    const double codecMs = ours.bestMs;
    std::printf("read %lld files %.1f MB | first 64 KiB %8.1f ms | codec %8.1f ms | "
                "codec/head %5.2f\n",
                static_cast<long long>(files.size()), totalBytes(files) / 1e6, headMs, codecMs,
                codecMs / headMs);
    return 0;
}
