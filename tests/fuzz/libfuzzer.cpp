// libFuzzer's entry (a Clang build with -DCORVEXA_LIBFUZZER=ON): its first byte picks the file's
// ending, which decides whether the codec may write a copy, the rest is the file. Runs the same
// calls as fuzz_codec, in process: libFuzzer itself reports crashes and slow inputs.
//   build-fuzz/bin/fuzz_codec_libfuzzer -max_total_time=600 -timeout=2 CORPUS_DIR
// (fuzz_codec --save-seeds CORPUS_DIR makes a corpus to start from, without the first byte.)

#include "drive.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <array>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const auto codec =
        codec::defaultCodecFactory().create(QString::fromLatin1(codec::kProgId));
    static const QTemporaryDir dir;
    static constexpr std::array<const char*, 13> kSuffixes{"jpg", "tif", "dng",  "nef",  "cr2",
                                                           "exv", "png", "webp", "heic", "orf",
                                                           "rw2", "raf", "mrw"};
    if (size == 0 || !codec)
        return 0;
    const QString suffix = QLatin1String(kSuffixes[data[0] % kSuffixes.size()]);
    const QString path = dir.filePath(QStringLiteral("input.") + suffix);
    const QString copy = dir.filePath(QStringLiteral("copy.") + suffix);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return 0;
    file.write(reinterpret_cast<const char*>(data + 1), qint64(size - 1));
    file.close();
    fuzz::drive(*codec, path, copy, fuzz::positionFor(data[0]), (data[0] & 0x80) != 0);
    QFile::remove(copy);
    return 0;
}
