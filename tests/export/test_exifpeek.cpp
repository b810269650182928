// The quick look at a photo's GPS directory against the codec, on photos made here and by
// ExifTool and on thousands of damaged copies of them (fixed seed): wherever the quick look
// answers, the codec must read exactly the same position and altitude.

#include "base/vbnum.h"
#include "codec/codec.h"
#include "codec/exifpeek.h"
#include "support/photofactory.h"
#include "support/testfiles.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct CodecPosition {
    bool read = false;
    double latitude = 0;
    double longitude = 0;
    std::optional<double> altitude;
};

// What the export takes from the codec.
CodecPosition codecPosition(codec::ICodec& codec, const QString& path) {
    constexpr int gps = codec::kGpsDirectory;
    CodecPosition p;
    if (!codec::isOpened(codec.OpenFile(path, false, false)) || !codec.IsTagExisted(2, gps) ||
        !codec.IsTagExisted(4, gps) || !codec.GetGpsCoordinate(p.latitude, p.longitude))
        return p;
    p.read = true;
    if (codec.IsTagExisted(6, gps)) {
        p.altitude = vbnum::toDouble(codec.TagValueString(6, gps));
        if (p.altitude && vbnum::leadingValue(codec.TagValueString(5, gps)) != 0)
            p.altitude = -*p.altitude;
    }
    return p;
}

std::optional<double> asRead(std::optional<double> metres) {
    return metres ? vbnum::toDouble(vbnum::generalDouble(*metres)) : std::nullopt;
}

// Enough to meet every kind of damage several times; FUZZ_PER_PHOTO and FUZZ_SEED run longer
// rounds.
const int kPerBase = qEnvironmentVariableIntValue("FUZZ_PER_PHOTO") > 0
                         ? qEnvironmentVariableIntValue("FUZZ_PER_PHOTO")
                         : 600;

QByteArray mutate(QByteArray bytes, QRandomGenerator& random) {
    // Most of what the look reads sits in the first two kilobytes.
    const auto spot = [&] {
        return qsizetype(random.bounded(int(std::min<qsizetype>(bytes.size(), 2048))));
    };
    switch (random.bounded(5)) {
    case 0: // flip a few bits
        for (int i = 0, n = 1 + random.bounded(4); i < n; ++i)
            bytes[spot()] = char(bytes[spot()] ^ (1 << random.bounded(8)));
        break;
    case 1: // overwrite a few bytes
        for (int i = 0, n = 1 + random.bounded(8); i < n; ++i)
            bytes[spot()] = char(random.bounded(256));
        break;
    case 2: // cut short
        bytes.truncate(spot());
        break;
    case 3: // insert bytes
        bytes.insert(spot(), QByteArray(1 + random.bounded(16), char(random.bounded(256))));
        break;
    default: // remove bytes
        bytes.remove(spot(), 1 + random.bounded(16));
        break;
    }
    return bytes;
}

} // namespace

class TestExifPeek : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        const QString dir = m_dir.path();
        PhotoRecipe above;
        above.gps = GpsSpec{31.2304, 121.4737, 12.5};
        above.thumbnail = true;
        m_bases.append(makeJpeg(dir, "above.jpg", above));
        PhotoRecipe below;
        below.gps = GpsSpec{-33.8568, -151.2153, -12.25};
        below.makerNote = true;
        m_bases.append(makeJpeg(dir, "below.jpg", below));
        PhotoRecipe none;
        none.gps = GpsSpec{51.500729, -0.124625, std::nullopt};
        m_bases.append(makeJpeg(dir, "none.jpg", none));
        for (const QString& base : m_bases)
            QVERIFY(!base.isEmpty());
        if (QString(CORVEXA_EXIFTOOL).isEmpty())
            return;
        // ExifTool writes big-endian directories, in its own layout.
        const QString tagged = makeJpeg(dir, "exiftool.jpg");
        QProcess exiftool;
        exiftool.start(CORVEXA_EXIFTOOL,
                       {"-q", "-overwrite_original", "-GPSLatitude=22.5431", "-GPSLatitudeRef=N",
                        "-GPSLongitude=114.0579", "-GPSLongitudeRef=E", "-GPSAltitude=35.2",
                        "-GPSAltitudeRef=1", tagged});
        QVERIFY(exiftool.waitForFinished(60000));
        QCOMPARE(exiftool.exitCode(), 0);
        m_bases.append(tagged);
    }

    void agreesWithTheCodec() {
        const auto codec = codec::defaultCodecFactory().create(QString::fromLatin1(codec::kProgId));
        QVERIFY(codec);
        QRandomGenerator random(qEnvironmentVariableIntValue("FUZZ_SEED")
                                    ? quint32(qEnvironmentVariableIntValue("FUZZ_SEED"))
                                    : 20261207u);
        const QString path = m_dir.filePath(QStringLiteral("mutant.jpg"));
        int answered = 0;
        int inputs = 0;
        for (const QString& base : m_bases) {
            const QByteArray original = fileBytes(base);
            for (int i = 0; i < kPerBase; ++i, ++inputs) {
                const QByteArray bytes = i == 0 ? original : mutate(original, random);
                writeFile(path, bytes);
                const codec::PhotoPeek peek = codec::peekPhoto(path, {true, true});
                if (i == 0)
                    QVERIFY2(peek.position && peek.time, qPrintable(base));
                if (!peek.position)
                    continue;
                ++answered;
                const CodecPosition read = codecPosition(*codec, path);
                const QString where = base + QStringLiteral(" mutant ") + QString::number(i);
                QVERIFY2(read.read, qPrintable(where));
                QCOMPARE(peek.position->latitude, read.latitude);
                QCOMPARE(peek.position->longitude, read.longitude);
                const auto altitude = asRead(peek.position->altitude);
                QVERIFY2(altitude == read.altitude,
                         qPrintable(where + QStringLiteral(": %1 against %2")
                                                .arg(altitude ? QString::number(*altitude) : "none",
                                                     read.altitude ? QString::number(*read.altitude)
                                                                   : "none")));
            }
        }
        // The damage must leave enough photos readable for the comparison to mean something.
        QVERIFY2(answered > inputs / 4, qPrintable(QString::number(answered)));
        qInfo("%d inputs, %d answered by the quick look", inputs, answered);
    }

private:
    QTemporaryDir m_dir;
    QStringList m_bases;
};

QTEST_GUILESS_MAIN(TestExifPeek)
#include "test_exifpeek.moc"
