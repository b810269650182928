// The Exiv2 codec against photos made on the spot: what it writes reads back exactly (through the
// codec, through Exiv2 and through exiftool), sources never change, and every refusal leaves no
// file behind.

#include "codec/codec.h"
#include "codec/metadatacheck.h"
#include "codec/photofile.h"
#include "support/photofactory.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <exiv2/exiv2.hpp>
#include <exiv2/webpimage.hpp>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace codec;

namespace {

using Tags = QMap<QString, QString>;

struct TagWrite {
    int tag;
    int type;
    qint16 count;
    TagValue value;
};

// The writer's table for 33°52′7.68″S 151°12′33.48″E, 12.5 m below sea level.
std::vector<TagWrite> writerTags(bool withAltitude) {
    std::vector<TagWrite> tags{
        {0, Byte, 4, QByteArray("\x02\x03\x00\x00", 4)},
        {1, Ascii, 2, QStringLiteral("S")},
        {2, Rational, 3, std::vector<qint32>{33, 1, 52, 1, 768, 100}},
        {3, Ascii, 2, QString(QStringLiteral("E") + QChar(0))},
        {4, Rational, 3, std::vector<qint32>{151, 1, 12, 1, 3348, 100}},
    };
    if (withAltitude) {
        tags.push_back({5, Byte, 1, QByteArray("\x01", 1)});
        tags.push_back({6, Rational, 1, std::vector<qint32>{125, 10}});
    }
    return tags;
}

std::unique_ptr<ICodec> makeCodec() {
    return defaultCodecFactory().create(QString::fromLatin1(kProgId));
}

bool writeGps(ICodec& codec, const QString& source, const QString& dest, bool readMakerNote = true,
              bool withAltitude = true) {
    if (!isOpened(codec.OpenFile(source, readMakerNote, true)))
        return false;
    for (const auto& tag : writerTags(withAltitude))
        codec.AddTag(tag.tag, kGpsDirectory, tag.type, tag.count, tag.value, false);
    const bool saved = codec.SaveToJPEG(dest);
    if (!saved)
        qWarning() << "save failed:" << codec.LastError();
    return saved;
}

QString makePhoto(const QString& kind, const QString& dir, const QString& name,
                  const PhotoRecipe& recipe = {}) {
    if (kind == u"tiff")
        return makeTiff(dir, name, recipe);
    if (kind == u"exv")
        return makeExv(dir, name, recipe);
    return makeJpeg(dir, name, recipe);
}

// Every entry of a folder, hidden ones too: a leftover temporary file must show.
QStringList entries(const QString& dir) {
    return QDir(dir).entryList(
        QDir::Files | QDir::Dirs | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// Runs a program to its end; its output goes to output when given. False when it is missing or
// fails.
bool runs(const QString& program, const QStringList& arguments, QString* output = nullptr) {
    if (program.isEmpty() || !QFile::exists(program))
        return false;
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return false;
    if (output)
        *output = QString::fromUtf8(process.readAllStandardOutput());
    return true;
}

// The output of a program, or an empty text when it is missing or fails.
QString runTool(const QString& program, const QStringList& arguments) {
    QString output;
    return runs(program, arguments, &output) ? output : QString();
}

const QString kExiftool = QStringLiteral(CORVEXA_EXIFTOOL);

// Every tag exiftool sees outside the GPS block, as "[group] name: value" lines: what a copy must
// carry over. Offsets and the file system's own fields are where a copy may differ.
QStringList exiftoolNonGpsTags(const QString& path) {
    const QString dump = runTool(kExiftool, {"-a", "-G1", "-s", "-n", "-x", "ThumbnailOffset", "-x",
                                             "ExifToolVersion", path});
    QStringList tags;
    for (const QString& line : dump.split(u'\n', Qt::SkipEmptyParts)) {
        static const QStringList skipped{"[System]", "[File]", "[GPS]", "[Composite]"};
        if (!std::any_of(skipped.begin(), skipped.end(),
                         [&line](const QString& group) { return line.startsWith(group); }))
            tags << line.simplified();
    }
    return tags;
}

void appendBe32(QByteArray& out, quint32 v) {
    for (int shift : {24, 16, 8, 0})
        out.append(char((v >> shift) & 0xff));
}

QByteArray box(const char* type, const QByteArray& body) {
    QByteArray out;
    appendBe32(out, quint32(8 + body.size()));
    return out.append(type, 4).append(body);
}

// The smallest ISO media files a player takes: a movie header and an empty media box, under the
// major brand given (or none, as QuickTime files before 'ftyp').
QByteArray movieBytes(const char* brand) {
    QByteArray mvhd(100, '\0');
    mvhd[14] = 0x03; // time scale 1000
    mvhd[15] = char(0xe8);
    mvhd[21] = 0x01; // rate 1.0
    mvhd[24] = 0x01; // volume 1.0
    mvhd[37] = 0x01; // identity matrix
    mvhd[53] = 0x01;
    mvhd[68] = 0x40;
    mvhd[99] = 0x01; // next track
    QByteArray file;
    if (brand)
        file += box("ftyp", QByteArray(brand, 4) + QByteArray("\0\0\x02\0", 4) +
                                QByteArray(brand, 4) + "iso2mp41");
    return file + box("moov", box("mvhd", mvhd)) + box("mdat", {});
}

quint32 be32At(const QByteArray& bytes, qsizetype at) {
    const auto* p = reinterpret_cast<const uchar*>(bytes.constData() + at);
    return quint32(p[0]) << 24 | quint32(p[1]) << 16 | quint32(p[2]) << 8 | p[3];
}

qsizetype findBox(const QByteArray& bytes, qsizetype from, qsizetype end, const char* type) {
    while (from + 8 <= end) {
        if (bytes.mid(from + 4, 4) == type)
            return from;
        const quint32 size = be32At(bytes, from);
        if (size < 8)
            return -1;
        from += size;
    }
    return -1;
}

// heif-enc locates items by a base offset plus an extent offset; Exiv2 0.27 reads only the
// extent offset. The same file with each base folded into its extents (base offset size 0), which
// both layouts of ISO/IEC 14496-12 allow. Empty unless the file is laid out as heif-enc writes.
QByteArray withoutBaseOffsets(const QByteArray& heif) {
    const qsizetype meta = findBox(heif, 0, heif.size(), "meta");
    if (meta < 0)
        return {};
    const qsizetype iloc = findBox(heif, meta + 12, meta + be32At(heif, meta), "iloc");
    const int version = iloc < 0 ? -1 : heif[iloc + 8];
    if ((version != 0 && version != 1) || heif[iloc + 12] != 0x44 || heif[iloc + 13] != 0x40)
        return {};
    const auto u16 = [&heif](qsizetype at) {
        return quint16(uchar(heif[at]) << 8 | uchar(heif[at + 1]));
    };
    const int items = u16(iloc + 14);
    const quint32 shrink = 4 * quint32(items);
    QByteArray body = heif.mid(iloc + 8, 4) + QByteArray("\x44\x00", 2) + heif.mid(iloc + 14, 2);
    // An item: ID, construction method (version 1), data reference, base offset, extents.
    const int idSize = version == 1 ? 6 : 4;
    qsizetype at = iloc + 16;
    for (int i = 0; i < items; ++i) {
        const bool inFile = version == 0 || (u16(at + 2) & 0xf) == 0;
        const quint32 base = be32At(heif, at + idSize);
        const int extents = u16(at + idSize + 4);
        body += heif.mid(at, idSize) + heif.mid(at + idSize + 4, 2);
        at += idSize + 6;
        for (int e = 0; e < extents; ++e, at += 8) {
            // Items in the file sit after the box, which moves them shrink bytes forward.
            appendBe32(body, inFile ? base + be32At(heif, at) - shrink : be32At(heif, at));
            body += heif.mid(at + 4, 4);
        }
    }
    QByteArray result = heif.left(iloc) + box("iloc", body) + heif.mid(iloc + be32At(heif, iloc));
    const quint32 metaSize = be32At(heif, meta) - shrink;
    for (int k = 0; k < 4; ++k)
        result[meta + k] = char(metaSize >> (24 - 8 * k));
    return result;
}

// The folder holds nothing but the given names: no temporary file, hidden or not.
bool holdsOnly(const QString& dir, const QStringList& names) {
    const QStringList found = entries(dir);
    return std::all_of(found.begin(), found.end(),
                       [&names](const QString& name) { return names.contains(name); });
}

// Minimal TIFF walking for planting faults in a written EXIF block.
class TiffPatch {
public:
    TiffPatch(QByteArray& bytes, qsizetype base)
        : m_bytes(bytes), m_base(base), m_little(bytes.mid(base, 2) == "II") {}

    quint32 ifd0() const { return u32(4); }
    // The value (offset) of the entry tag in the directory at offset ifd; 0 when absent.
    quint32 entryValue(quint32 ifd, quint16 tag) const {
        const quint16 count = u16(ifd);
        for (quint16 i = 0; i < count; ++i) {
            const quint32 entry = ifd + 2 + 12 * i;
            if (u16(entry) == tag)
                return u32(entry + 8);
        }
        return 0;
    }
    // Points the entry tag of the directory at offset ifd to another value offset.
    bool setEntryValue(quint32 ifd, quint16 tag, quint32 value) {
        const quint16 count = u16(ifd);
        for (quint16 i = 0; i < count; ++i) {
            const quint32 entry = ifd + 2 + 12 * i;
            if (u16(entry) != tag)
                continue;
            for (int k = 0; k < 4; ++k) {
                const int shift = m_little ? 8 * k : 24 - 8 * k;
                m_bytes[m_base + entry + 8 + k] = char((value >> shift) & 0xff);
            }
            return true;
        }
        return false;
    }
    void setEntryCount(quint32 ifd, quint16 count) {
        const auto at = m_base + ifd;
        m_bytes[at] = char(m_little ? count & 0xff : count >> 8);
        m_bytes[at + 1] = char(m_little ? count >> 8 : count & 0xff);
    }

private:
    quint16 u16(quint32 offset) const {
        const auto* p = reinterpret_cast<const uchar*>(m_bytes.constData() + m_base + offset);
        return m_little ? quint16(p[0] | p[1] << 8) : quint16(p[0] << 8 | p[1]);
    }
    quint32 u32(quint32 offset) const {
        return m_little ? quint32(u16(offset)) | quint32(u16(offset + 2)) << 16
                        : quint32(u16(offset)) << 16 | quint32(u16(offset + 2));
    }

    QByteArray& m_bytes;
    qsizetype m_base;
    bool m_little;
};

bool writeBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

// A JPEG in which one directory ("exif", "gps" or "maker") claims an absurd number of entries.
QString jpegWithAbsurdDirectory(const QString& dir, const QString& name, const QString& which) {
    PhotoRecipe recipe;
    recipe.makerNote = true;
    recipe.gps = GpsSpec{31.2304, 121.4737, {}};
    const QString path = makeJpeg(dir, name, recipe);
    QByteArray bytes = fileBytes(path);
    TiffPatch tiff(bytes, bytes.indexOf(QByteArray("Exif\0\0", 6)) + 6);
    const quint32 exifIfd = tiff.entryValue(tiff.ifd0(), 0x8769);
    const quint32 target = which == u"gps"     ? tiff.entryValue(tiff.ifd0(), 0x8825)
                           : which == u"maker" ? tiff.entryValue(exifIfd, 0x927c)
                                               : exifIfd;
    if (exifIfd == 0 || target == 0)
        return {};
    tiff.setEntryCount(target, 0x7fff);
    return writeBytes(path, bytes) ? path : QString();
}

// The bytes from the first scan on: the compressed image a splice must carry over untouched.
QByteArray jpegScanData(const QByteArray& jpeg) {
    return jpeg.mid(jpeg.indexOf("\xff\xda"));
}

} // namespace

class TestCodec : public QObject {
    Q_OBJECT

private slots:
    void factory_data();
    void factory();
    void roundTrip_data();
    void roundTrip();
    void spliceMatchesExiv2Writer_data();
    void spliceMatchesExiv2Writer();
    void keepsOtherMetadata();
    void staleGpsCleared();
    void makerNote_data();
    void makerNote();
    void refusedFormats_data();
    void refusedFormats();
    void damagedInputs_data();
    void damagedInputs();
    void makerNoteDamageSkippedWhenLeftOut();
    void refusedDestinations_data();
    void refusedDestinations();
    void unwritableFolder();
    void existingDestinationReplaced();
    void sourceChangedSinceOpen();
    void refusedTagsFailTheSave_data();
    void refusedTagsFailTheSave();
    void readValues_data();
    void readValues();
    void exiftoolAgrees();
    void refusesOtherKinds_data();
    void refusesOtherKinds();
    void takesEveryPhotoKind_data();
    void takesEveryPhotoKind();
    void readsHeif();
    void keepsEveryTagOfADamagedSource();
    void dropsTheXmpPosition_data();
    void dropsTheXmpPosition();
    void permissionsAsCpGivesThem_data();
    void permissionsAsCpGivesThem();
    void fullDisk_data();
    void fullDisk();
    void nothingLeftWhenKilled_data();
    void nothingLeftWhenKilled();
    void altitudeWithBrokenReference_data();
    void altitudeWithBrokenReference();
    void metadataComparison_data();
    void metadataComparison();
    void copyRanges_data();
    void copyRanges();

private:
    QTemporaryDir m_dir;
};

void TestCodec::factory_data() {
    QTest::addColumn<QString>("progId");
    QTest::addColumn<bool>("created");
    QTest::newRow("our ProgID") << QStringLiteral("Quorel.cQuorel") << true;
    QTest::newRow("another ProgID") << QStringLiteral("Quorel.cOther") << false;
    QTest::newRow("empty") << QString() << false;
}

void TestCodec::factory() {
    QFETCH(QString, progId);
    QFETCH(bool, created);
    QCOMPARE(bool(defaultCodecFactory().create(progId)), created);
}

void TestCodec::roundTrip_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("withExif");
    QTest::addColumn<bool>("withAltitude");
    QTest::newRow("jpeg") << "jpeg"
                          << "a.jpg" << true << true;
    QTest::newRow("jpeg, five tags") << "jpeg"
                                     << "b.JPG" << true << false;
    QTest::newRow("jpeg without exif") << "jpeg"
                                       << "c.jpeg" << false << true;
    QTest::newRow("tiff") << "tiff"
                          << "d.tif" << true << true;
    QTest::newRow("dng") << "tiff"
                         << "e.dng" << true << true;
    QTest::newRow("nef") << "tiff"
                         << "f.nef" << true << false;
    QTest::newRow("pef") << "tiff"
                         << "g.pef" << true << true;
    QTest::newRow("srw") << "tiff"
                         << "h.srw" << true << true;
    QTest::newRow("exv") << "exv"
                         << "i.exv" << true << true;
    QTest::newRow("exif template") << "exv"
                                   << "j.exif" << true << true;
}

void TestCodec::roundTrip() {
    QFETCH(QString, kind);
    QFETCH(QString, name);
    QFETCH(bool, withExif);
    QFETCH(bool, withAltitude);
    const QString dir = m_dir.filePath(QTest::currentDataTag());
    QVERIFY(QDir().mkpath(dir + "/results"));
    PhotoRecipe recipe;
    recipe.exif = withExif;
    recipe.thumbnail = withExif && kind == u"jpeg";
    const QString source = makePhoto(kind, dir, name, recipe);
    QVERIFY(!source.isEmpty());
    const QByteArray before = fileBytes(source);
    const QString dest = dir + "/results/" + name;

    auto codec = makeCodec();
    QVERIFY(writeGps(*codec, source, dest, true, withAltitude));
    QCOMPARE(fileBytes(source), before);
    QCOMPARE(entries(dir + "/results"), QStringList{name});

    // Exactly the rationals, types and counts of the table, as Exiv2 reads them.
    auto image = Exiv2::ImageFactory::open(QFile::encodeName(dest).toStdString());
    image->readMetadata();
    const Exiv2::ExifData& exif = image->exifData();
    auto datum = [&exif](const char* key) { return exif.findKey(Exiv2::ExifKey(key)); };
    QCOMPARE(datum("Exif.GPSInfo.GPSVersionID")->toString(), std::string("2 3 0 0"));
    QCOMPARE(datum("Exif.GPSInfo.GPSLatitudeRef")->count(), 2L);
    QCOMPARE(datum("Exif.GPSInfo.GPSLatitudeRef")->toString(), std::string("S"));
    QCOMPARE(int(datum("Exif.GPSInfo.GPSLatitude")->typeId()), int(Exiv2::unsignedRational));
    QCOMPARE(datum("Exif.GPSInfo.GPSLatitude")->toString(), std::string("33/1 52/1 768/100"));
    QCOMPARE(datum("Exif.GPSInfo.GPSLongitude")->toString(), std::string("151/1 12/1 3348/100"));
    QCOMPARE(datum("Exif.GPSInfo.GPSLongitudeRef")->toString(), std::string("E"));
    QCOMPARE(datum("Exif.GPSInfo.GPSAltitude") != exif.end(), withAltitude);
    if (withAltitude) {
        QCOMPARE(int(datum("Exif.GPSInfo.GPSAltitudeRef")->typeId()), int(Exiv2::unsignedByte));
        QCOMPARE(datum("Exif.GPSInfo.GPSAltitude")->toString(), std::string("125/10"));
    }
    if (withExif)
        QCOMPARE(datum("Exif.Image.Model")->toString(), std::string("CTC-1"));

    // And through the codec, as the export reads them.
    QCOMPARE(codec->OpenFile(dest, false, false), qint32(Opened));
    QCOMPARE(codec->TagValueLabel(2, kGpsDirectory), QStringLiteral("33°52′7.68″"));
    QCOMPARE(codec->TagValueLabel(4, kGpsDirectory), QStringLiteral("151°12′33.48″"));
    QCOMPARE(codec->TagValueString(1, kGpsDirectory), QStringLiteral("S"));
    QCOMPARE(codec->TagValueString(6, kGpsDirectory),
             withAltitude ? QStringLiteral("12.5") : QString());
    QCOMPARE(codec->TagValueString(5, kGpsDirectory),
             withAltitude ? QStringLiteral("1") : QString());
    double latitude = 0, longitude = 0;
    QVERIFY(codec->GetGpsCoordinate(latitude, longitude));
    QCOMPARE(latitude, -(33 + 52 / 60.0 + 7.68 / 3600));
    QCOMPARE(longitude, 151 + 12 / 60.0 + 33.48 / 3600);

    if (kind == u"jpeg") {
        QCOMPARE(jpegScanData(fileBytes(dest)), jpegScanData(before));
        QCOMPARE(QImage(dest), QImage(source));
    }
}

// Photos with and without a position before: Exiv2 updates the old structure in the first case
// and builds one anew in the second.
void TestCodec::spliceMatchesExiv2Writer_data() {
    QTest::addColumn<bool>("gps");
    QTest::addColumn<bool>("extras"); // thumbnail and maker note
    QTest::newRow("position replaced") << true << true;
    QTest::newRow("first position") << false << true;
    QTest::newRow("first position, plain EXIF") << false << false;
}

void TestCodec::spliceMatchesExiv2Writer() {
    QFETCH(bool, gps);
    QFETCH(bool, extras);
    const QString dir = m_dir.filePath(QStringLiteral("same bytes %1%2").arg(gps).arg(extras));
    QVERIFY(QDir().mkpath(dir + "/results"));
    PhotoRecipe recipe;
    recipe.thumbnail = extras;
    recipe.makerNote = extras;
    if (gps)
        recipe.gps = GpsSpec{10, 20, 30};
    const QString source = makeJpeg(dir, "a.jpg", recipe);
    QVERIFY(writeGps(*makeCodec(), source, dir + "/results/a.jpg"));

    // Exiv2's own JPEG writer, given the same edit, must produce the very same file.
    const QString reference = dir + "/reference.jpg";
    QVERIFY(QFile::copy(source, reference));
    auto image = Exiv2::ImageFactory::open(QFile::encodeName(reference).toStdString());
    image->readMetadata();
    Exiv2::ExifData& exif = image->exifData();
    for (auto it = exif.begin(); it != exif.end();)
        it = it->groupName() == "GPSInfo" ? exif.erase(it) : std::next(it);
    Exiv2::Value::AutoPtr version = Exiv2::Value::create(Exiv2::unsignedByte);
    version->read("2 3 0 0");
    exif["Exif.GPSInfo.GPSVersionID"].setValue(version.get());
    exif["Exif.GPSInfo.GPSLatitudeRef"] = "S";
    exif["Exif.GPSInfo.GPSLatitude"].setValue("33/1 52/1 768/100");
    exif["Exif.GPSInfo.GPSLongitudeRef"] = "E";
    exif["Exif.GPSInfo.GPSLongitude"].setValue("151/1 12/1 3348/100");
    Exiv2::Value::AutoPtr below = Exiv2::Value::create(Exiv2::unsignedByte);
    below->read("1");
    exif["Exif.GPSInfo.GPSAltitudeRef"].setValue(below.get());
    exif["Exif.GPSInfo.GPSAltitude"].setValue("125/10");
    image->writeMetadata();
    QCOMPARE(fileBytes(dir + "/results/a.jpg"), fileBytes(reference));
}

void TestCodec::keepsOtherMetadata() {
    const QString dir = m_dir.filePath("keeps");
    QVERIFY(QDir().mkpath(dir + "/results"));
    PhotoRecipe recipe;
    recipe.thumbnail = true;
    const QString source = makeJpeg(dir, "a.jpg", recipe);
    {
        auto image = Exiv2::ImageFactory::open(QFile::encodeName(source).toStdString());
        image->readMetadata();
        image->xmpData()["Xmp.dc.title"] = "Harbour";
        image->setComment("a comment");
        image->writeMetadata();
    }
    QVERIFY(writeGps(*makeCodec(), source, dir + "/results/a.jpg"));

    auto image = Exiv2::ImageFactory::open(QFile::encodeName(dir + "/results/a.jpg").toStdString());
    image->readMetadata();
    QCOMPARE(image->xmpData()["Xmp.dc.title"].toString(),
             std::string("lang=\"x-default\" Harbour"));
    QCOMPARE(image->comment(), std::string("a comment"));
    Exiv2::ExifThumbC thumb(image->exifData());
    QVERIFY(thumb.copy().size_ > 0);
}

void TestCodec::staleGpsCleared() {
    const QString dir = m_dir.filePath("stale");
    QVERIFY(QDir().mkpath(dir + "/results"));
    PhotoRecipe recipe;
    recipe.gps = GpsSpec{10, 20, 300};
    recipe.tags = {{"Exif.GPSInfo.GPSSpeed", "50/1"}, {"Exif.GPSInfo.GPSImgDirection", "90/1"}};
    const QString source = makeJpeg(dir, "a.jpg", recipe);
    QVERIFY(writeGps(*makeCodec(), source, dir + "/results/a.jpg", true, false));

    const auto gps = readPhotoTags(dir + "/results/a.jpg", "Exif.GPSInfo.");
    QCOMPARE(gps.keys(), QStringList({"Exif.GPSInfo.GPSLatitude", "Exif.GPSInfo.GPSLatitudeRef",
                                      "Exif.GPSInfo.GPSLongitude", "Exif.GPSInfo.GPSLongitudeRef",
                                      "Exif.GPSInfo.GPSVersionID"}));
}

void TestCodec::makerNote_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("readMakerNote");
    QTest::newRow("jpeg, kept") << "jpeg" << true;
    QTest::newRow("jpeg, left out") << "jpeg" << false;
    QTest::newRow("tiff, kept") << "tiff" << true;
    QTest::newRow("tiff, left out") << "tiff" << false;
}

void TestCodec::makerNote() {
    QFETCH(QString, kind);
    QFETCH(bool, readMakerNote);
    const QString dir = m_dir.filePath(QStringLiteral("maker ") + QTest::currentDataTag());
    QVERIFY(QDir().mkpath(dir + "/results"));
    PhotoRecipe recipe;
    recipe.makerNote = true;
    const QString name = kind == u"jpeg" ? QStringLiteral("a.jpg") : QStringLiteral("a.tif");
    const QString source = makePhoto(kind, dir, name, recipe);
    QCOMPARE(readPhotoTags(source, "Exif.Canon.").value("Exif.Canon.OwnerName"),
             QStringLiteral("Test Photographer"));

    QVERIFY(writeGps(*makeCodec(), source, dir + "/results/" + name, readMakerNote));
    const auto tags = readPhotoTags(dir + "/results/" + name);
    QCOMPARE(tags.value("Exif.Canon.OwnerName"),
             readMakerNote ? QStringLiteral("Test Photographer") : QString());
    QCOMPARE(tags.contains("Exif.Photo.MakerNote"), readMakerNote);
    QCOMPARE(tags.value("Exif.GPSInfo.GPSLatitudeRef"), QStringLiteral("S"));
}

void TestCodec::refusedFormats_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("reason");
    // Exiv2 reads these (TIFF content), but its writer would drop tags or cannot write them.
    for (const QString suffix : {"arw", "sr2", "srf", "crw", "raf", "mrw", "rw2", "orf", "3fr",
                                 "erf", "dcr", "mef", "x3f"})
        QTest::newRow(qPrintable(suffix))
            << "tiff"
            << "a." + suffix << "此格式不支持写入（" + suffix.toUpper() + "）";
    QTest::newRow("tiff named jpg") << "tiff"
                                    << "a.jpg"
                                    << "扩展名与文件内容不符（TIFF）";
    QTest::newRow("jpeg named tif") << "jpeg"
                                    << "b.tif"
                                    << "扩展名与文件内容不符（JPEG）";
    QTest::newRow("png") << "png"
                         << "c.png"
                         << "此格式不支持写入（PNG）";
}

void TestCodec::refusedFormats() {
    QFETCH(QString, kind);
    QFETCH(QString, name);
    QFETCH(QString, reason);
    const QString dir = m_dir.filePath(QStringLiteral("refused ") + QTest::currentDataTag());
    QVERIFY(QDir().mkpath(dir + "/results"));
    QString source;
    if (kind == u"png") {
        source = dir + "/" + name;
        QImage image(32, 32, QImage::Format_RGB32);
        image.fill(Qt::darkGreen);
        QVERIFY(image.save(source, "PNG"));
    } else {
        source = makePhoto(kind, dir, name);
    }
    const QByteArray before = fileBytes(source);

    auto codec = makeCodec();
    QVERIFY(isOpened(codec->OpenFile(source, true, false)));
    QVERIFY(!writeGps(*codec, source, dir + "/results/" + name));
    QCOMPARE(codec->LastError(), reason);
    QCOMPARE(entries(dir + "/results"), QStringList());
    QCOMPARE(fileBytes(source), before);
}

void TestCodec::damagedInputs_data() {
    QTest::addColumn<QString>("damage");
    QTest::addColumn<qint32>("readResult");
    QTest::addColumn<qint32>("writeResult");
    QTest::newRow("missing") << "missing" << qint32(FileMissing) << qint32(FileMissing);
    QTest::newRow("folder") << "folder" << qint32(NotAFile) << qint32(NotAFile);
    QTest::newRow("empty file") << "empty" << qint32(UnknownType) << qint32(UnknownType);
    QTest::newRow("text named .jpg") << "text" << qint32(UnknownType) << qint32(UnknownType);
    QTest::newRow("cut inside exif") << "cut" << qint32(DamagedMetadata) << qint32(DamagedMetadata);
    // Reading needs the GPS directory only; a rewrite needs every directory.
    QTest::newRow("absurd entry count, Exif")
        << "exif" << qint32(Opened) << qint32(PartlyUnreadable);
    QTest::newRow("absurd entry count, GPS")
        << "gps" << qint32(OpenedWithWarnings) << qint32(PartlyUnreadable);
}

void TestCodec::damagedInputs() {
    QFETCH(QString, damage);
    QFETCH(qint32, readResult);
    QFETCH(qint32, writeResult);
    const QString dir = m_dir.filePath(QStringLiteral("damaged ") + QTest::currentDataTag());
    QVERIFY(QDir().mkpath(dir + "/results"));
    QString source = dir + "/a.jpg";
    if (damage == u"folder") {
        QVERIFY(QDir().mkpath(source));
    } else if (damage == u"empty") {
        QVERIFY(writeBytes(source, {}));
    } else if (damage == u"text") {
        QVERIFY(writeBytes(source, "latitude,longitude\r\n31.2,121.4\r\n"));
    } else if (damage == u"cut") {
        PhotoRecipe recipe;
        recipe.thumbnail = true;
        const QByteArray whole = fileBytes(makeJpeg(dir, "a.jpg", recipe));
        QVERIFY(writeBytes(source, whole.left(whole.indexOf(QByteArray("Exif\0\0", 6)) + 200)));
    } else if (damage == u"exif" || damage == u"gps") {
        QVERIFY(!jpegWithAbsurdDirectory(dir, "a.jpg", damage).isEmpty());
    }

    auto codec = makeCodec();
    QCOMPARE(codec->OpenFile(source, true, false), readResult);
    QCOMPARE(codec->OpenFile(source, true, true), writeResult);
    for (const auto& tag : writerTags(true))
        QVERIFY(!codec->AddTag(tag.tag, kGpsDirectory, tag.type, tag.count, tag.value, false));
    QVERIFY(!codec->SaveToJPEG(dir + "/results/a.jpg"));
    QCOMPARE(entries(dir + "/results"), QStringList());
    double latitude = 1, longitude = 1;
    QVERIFY(!codec->GetGpsCoordinate(latitude, longitude));
    QCOMPARE(latitude, 0.0);
}

void TestCodec::makerNoteDamageSkippedWhenLeftOut() {
    const QString dir = m_dir.filePath("maker damage");
    QVERIFY(QDir().mkpath(dir + "/results"));
    const QString source = jpegWithAbsurdDirectory(dir, "a.jpg", "maker");
    QVERIFY(!source.isEmpty());
    auto codec = makeCodec();
    QCOMPARE(codec->OpenFile(source, true, true), qint32(PartlyUnreadable));
    // Left out of the copy anyway, the unreadable maker note loses nothing.
    QVERIFY(writeGps(*codec, source, dir + "/results/a.jpg", false));
    const auto tags = readPhotoTags(dir + "/results/a.jpg");
    QCOMPARE(tags.value("Exif.Image.Model"), QStringLiteral("Canon EOS 5D"));
    QVERIFY(!tags.contains("Exif.Photo.MakerNote"));
}

void TestCodec::refusedDestinations_data() {
    QTest::addColumn<QString>("destination");
    QTest::newRow("the source itself") << "source";
    QTest::newRow("symlink to the source") << "symlink";
    QTest::newRow("hard link to the source") << "hardlink";
    QTest::newRow("missing folder") << "missing";
    QTest::newRow("a folder of that name") << "folder";
    QTest::newRow("empty path") << "empty";
    // procfs takes no new files, not even from root: a folder that cannot be written.
    QTest::newRow("a folder that takes no files") << "proc";
}

void TestCodec::refusedDestinations() {
    QFETCH(QString, destination);
    const QString dir = m_dir.filePath(QStringLiteral("dest ") + QTest::currentDataTag());
    QVERIFY(QDir().mkpath(dir));
    const QString source = makeJpeg(dir, "a.jpg");
    const QByteArray before = fileBytes(source);
    QString dest;
    if (destination == u"source") {
        dest = dir + "/./a.jpg";
    } else if (destination == u"symlink") {
        dest = dir + "/link.jpg";
        QVERIFY(QFile::link(source, dest));
    } else if (destination == u"hardlink") {
        dest = dir + "/hard.jpg";
        QCOMPARE(::link(QFile::encodeName(source).constData(), QFile::encodeName(dest).constData()),
                 0);
    } else if (destination == u"missing") {
        dest = dir + "/no such folder/a.jpg";
    } else if (destination == u"folder") {
        dest = dir + "/sub";
        QVERIFY(QDir().mkpath(dest));
    } else if (destination == u"proc") {
        if (!QFileInfo(QStringLiteral("/proc/self")).exists())
            QSKIP("no procfs here");
        dest = QStringLiteral("/proc/a.jpg");
    }
    const QStringList listed = entries(dir);

    QVERIFY(!writeGps(*makeCodec(), source, dest));
    QCOMPARE(fileBytes(source), before);
    QCOMPARE(entries(dir), listed);
    if (destination == u"proc")
        QVERIFY(!QFileInfo::exists(dest));
}

void TestCodec::unwritableFolder() {
    if (::geteuid() == 0)
        QSKIP(
            "permissions do not stop root (refusedDestinations covers a folder root cannot write)");
    const QString dir = m_dir.filePath("readonly");
    QVERIFY(QDir().mkpath(dir + "/results"));
    const QString source = makeJpeg(dir, "a.jpg");
    QVERIFY(QFile::setPermissions(dir + "/results", QFile::ReadOwner | QFile::ExeOwner));
    const bool saved = writeGps(*makeCodec(), source, dir + "/results/a.jpg");
    QFile::setPermissions(dir + "/results", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QVERIFY(!saved);
    QCOMPARE(entries(dir + "/results"), QStringList());
}

void TestCodec::existingDestinationReplaced() {
    const QString dir = m_dir.filePath("replace");
    QVERIFY(QDir().mkpath(dir + "/results"));
    const QString source = makeJpeg(dir, "a.jpg");
    QVERIFY(writeBytes(dir + "/results/a.jpg", "an older result"));
    QVERIFY(writeGps(*makeCodec(), source, dir + "/results/a.jpg"));
    QCOMPARE(readPhotoTags(dir + "/results/a.jpg").value("Exif.GPSInfo.GPSLatitudeRef"),
             QStringLiteral("S"));
    QCOMPARE(entries(dir + "/results"), QStringList{"a.jpg"});
}

void TestCodec::sourceChangedSinceOpen() {
    const QString dir = m_dir.filePath("changed");
    QVERIFY(QDir().mkpath(dir + "/results"));
    const QString source = makeJpeg(dir, "a.jpg");
    auto codec = makeCodec();
    QCOMPARE(codec->OpenFile(source, true, true), qint32(Opened));
    for (const auto& tag : writerTags(true))
        QVERIFY(codec->AddTag(tag.tag, kGpsDirectory, tag.type, tag.count, tag.value, false));
    QFile file(source);
    QVERIFY(file.open(QIODevice::Append));
    file.write("trailing bytes");
    file.close();
    QVERIFY(!codec->SaveToJPEG(dir + "/results/a.jpg"));
    QCOMPARE(entries(dir + "/results"), QStringList());
}

void TestCodec::refusedTagsFailTheSave_data() {
    QTest::addColumn<int>("tag");
    QTest::addColumn<int>("directory");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("count");
    QTest::addColumn<TagValue>("value");
    QTest::newRow("failed rational 0/0")
        << 2 << 3 << int(Rational) << 3 << TagValue(std::vector<qint32>{33, 1, 52, 1, 0, 0});
    QTest::newRow("negative rational")
        << 2 << 3 << int(Rational) << 3 << TagValue(std::vector<qint32>{33, 1, 52, 1, -7, 1});
    QTest::newRow("too few rationals")
        << 2 << 3 << int(Rational) << 3 << TagValue(std::vector<qint32>{33, 1, 52, 1});
    QTest::newRow("count without the NUL") << 1 << 3 << int(Ascii) << 1 << TagValue(QString("S"));
    QTest::newRow("non-ASCII text") << 1 << 3 << int(Ascii) << 2 << TagValue(QString("南"));
    QTest::newRow("bytes given as text") << 0 << 3 << int(Byte) << 4 << TagValue(QString("2300"));
    QTest::newRow("too few bytes") << 0 << 3 << int(Byte) << 4 << TagValue(QByteArray("\x02", 1));
    QTest::newRow("unknown type") << 0 << 3 << 7 << 4 << TagValue(QByteArray("\x02\x03\0\0", 4));
    QTest::newRow("not the GPS directory")
        << 2 << 2 << int(Rational) << 3 << TagValue(std::vector<qint32>{33, 1, 52, 1, 7, 1});
}

void TestCodec::refusedTagsFailTheSave() {
    QFETCH(int, tag);
    QFETCH(int, directory);
    QFETCH(int, type);
    QFETCH(int, count);
    QFETCH(TagValue, value);
    const QString dir = m_dir.filePath(QStringLiteral("tags ") + QTest::currentDataTag());
    QVERIFY(QDir().mkpath(dir + "/results"));
    const QString source = makeJpeg(dir, "a.jpg");
    auto codec = makeCodec();
    QCOMPARE(codec->OpenFile(source, true, true), qint32(Opened));
    for (const auto& good : writerTags(false))
        codec->AddTag(good.tag, kGpsDirectory, good.type, good.count, good.value, false);
    QVERIFY(!codec->AddTag(tag, directory, type, qint16(count), value, false));
    QVERIFY(!codec->SaveToJPEG(dir + "/results/a.jpg"));
    QCOMPARE(entries(dir + "/results"), QStringList());
}

void TestCodec::readValues_data() {
    QTest::addColumn<Tags>("tags");
    QTest::addColumn<int>("tag");
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QString>("string");
    QTest::addColumn<QString>("label");
    QTest::addColumn<bool>("position");
    const Tags none;
    QTest::newRow("latitude") << none << 2 << true << "31/1 13/1 4944/100"
                              << "31°13′49.44″" << true;
    QTest::newRow("latitude in decimal minutes")
        << Tags{{"Exif.GPSInfo.GPSLatitude", "31/1 13824/1000 0/1"}} << 2 << true
        << "31/1 13824/1000 0/1"
        << "31°13′49.44″" << true;
    QTest::newRow("longitude ref") << none << 3 << true << "E"
                                   << "东经" << true;
    QTest::newRow("altitude") << Tags{{"Exif.GPSInfo.GPSAltitude", "3525/10"}} << 6 << true
                              << "352.5"
                              << "352.5 m" << true;
    QTest::newRow("altitude ref below")
        << Tags{{"Exif.GPSInfo.GPSAltitudeRef", "1"}} << 5 << true << "1"
        << "海平面以下" << true;
    QTest::newRow("speed in knots")
        << Tags{{"Exif.GPSInfo.GPSSpeed", "125/10"}, {"Exif.GPSInfo.GPSSpeedRef", "N"}} << 13
        << true << "125/10"
        << "12.5 节" << true;
    QTest::newRow("speed, no ref")
        << Tags{{"Exif.GPSInfo.GPSSpeed", "50/1"}} << 13 << true << "50/1"
        << "50 km/h" << true;
    QTest::newRow("track, magnetic")
        << Tags{{"Exif.GPSInfo.GPSTrack", "12345/100"}, {"Exif.GPSInfo.GPSTrackRef", "M"}} << 15
        << true << "12345/100"
        << "123.45° (磁北)" << true;
    QTest::newRow("image direction, true")
        << Tags{{"Exif.GPSInfo.GPSImgDirection", "90/1"}, {"Exif.GPSInfo.GPSImgDirectionRef", "T"}}
        << 17 << true << "90/1"
        << "90° (真北)" << true;
    QTest::newRow("destination bearing")
        << Tags{{"Exif.GPSInfo.GPSDestBearing", "1/3"}} << 24 << true << "1/3"
        << "0.3333333°" << true;
    QTest::newRow("destination distance")
        << Tags{{"Exif.GPSInfo.GPSDestDistance", "7/2"}, {"Exif.GPSInfo.GPSDestDistanceRef", "N"}}
        << 26 << true << "7/2"
        << "3.5 海里" << true;
    QTest::newRow("numerator above 2^31")
        << Tags{{"Exif.GPSInfo.GPSLatitude", "3000000000/100000000 0/1 0/1"}} << 2 << true
        << "3000000000/100000000 0/1 0/1"
        << "30°0′0″" << true;
    QTest::newRow("missing tag") << none << 13 << false << ""
                                 << "" << true;
    QTest::newRow("zero denominator")
        << Tags{{"Exif.GPSInfo.GPSLatitude", "31/1 13/0 0/1"}} << 2 << false << ""
        << "" << false;
    QTest::newRow("two rationals")
        << Tags{{"Exif.GPSInfo.GPSLatitude", "31/1 13/1"}} << 2 << false << ""
        << "" << false;
    QTest::newRow("latitude above 90")
        << Tags{{"Exif.GPSInfo.GPSLatitude", "91/1 0/1 0/1"}} << 2 << false << ""
        << "" << false;
    QTest::newRow("unknown ref letter")
        << Tags{{"Exif.GPSInfo.GPSLatitudeRef", "X"}} << 1 << false << ""
        << "" << false;
    QTest::newRow("missing ref") << Tags{{"Exif.GPSInfo.GPSLongitudeRef", ""}} << 3 << false << ""
                                 << "" << false;
    QTest::newRow("altitude zero denominator")
        << Tags{{"Exif.GPSInfo.GPSAltitude", "12/0"}} << 6 << false << ""
        << "" << true;
}

void TestCodec::readValues() {
    QFETCH(Tags, tags);
    QFETCH(int, tag);
    QFETCH(bool, exists);
    QFETCH(QString, string);
    QFETCH(QString, label);
    QFETCH(bool, position);
    const QString dir = m_dir.filePath(QStringLiteral("read ") + QTest::currentDataTag());
    QVERIFY(QDir().mkpath(dir));
    PhotoRecipe recipe;
    recipe.gps = GpsSpec{31.2304, 121.4737, {}};
    recipe.tags = tags;
    recipe.tags.insert("Exif.GPSInfo.GPSLatitude",
                       tags.value("Exif.GPSInfo.GPSLatitude", "31/1 13/1 4944/100"));
    const QString source = makeJpeg(dir, "a.jpg", recipe);
    QVERIFY(!source.isEmpty());

    auto codec = makeCodec();
    QCOMPARE(codec->OpenFile(source, false, false), qint32(Opened));
    QCOMPARE(codec->IsTagExisted(tag, kGpsDirectory), exists);
    QCOMPARE(codec->TagValueString(tag, kGpsDirectory), string);
    QCOMPARE(codec->TagValueLabel(tag, kGpsDirectory), label);
    QVERIFY(!codec->IsTagExisted(tag, 2));
    double latitude = 0, longitude = 0;
    QCOMPARE(codec->GetGpsCoordinate(latitude, longitude), position);
}

void TestCodec::exiftoolAgrees() {
    const QString exiftool = QStringLiteral(CORVEXA_EXIFTOOL);
    if (exiftool.isEmpty() || !QFile::exists(exiftool))
        QSKIP("exiftool is not installed");
    const QString dir = m_dir.filePath("exiftool");
    QVERIFY(QDir().mkpath(dir + "/results"));
    struct Case {
        qint32 latDeg, latMin, latSecNum, latSecDen;
        QString latRef;
        qint32 lonDeg, lonMin, lonSecNum, lonSecDen;
        QString lonRef;
    };
    const std::vector<Case> cases{
        {31, 13, 4944, 100, "N", 121, 28, 2532, 100, "E"},
        {33, 52, 768, 100, "S", 151, 12, 3348, 100, "E"},
        {0, 0, 1, 1000, "S", 0, 0, 7, 8, "W"},
        {89, 59, 59999, 1000, "N", 179, 59, 123457, 2083, "W"},
        {51, 28, 5, 10, "N", 0, 7, 3999, 100, "W"},
    };
    auto codec = makeCodec();
    QStringList files;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        const QString name = QStringLiteral("p%1.jpg").arg(i);
        const QString source = makeJpeg(dir, name);
        QCOMPARE(codec->OpenFile(source, true, true), qint32(Opened));
        codec->AddTag(0, 3, Byte, 4, QByteArray("\x02\x03\x00\x00", 4), false);
        codec->AddTag(1, 3, Ascii, 2, c.latRef, false);
        codec->AddTag(2, 3, Rational, 3,
                      std::vector<qint32>{c.latDeg, 1, c.latMin, 1, c.latSecNum, c.latSecDen},
                      false);
        codec->AddTag(3, 3, Ascii, 2, c.lonRef, false);
        codec->AddTag(4, 3, Rational, 3,
                      std::vector<qint32>{c.lonDeg, 1, c.lonMin, 1, c.lonSecNum, c.lonSecDen},
                      false);
        QVERIFY(codec->SaveToJPEG(dir + "/results/" + name));
        files.append(dir + "/results/" + name);
    }

    QProcess process;
    process.start(exiftool,
                  QStringList{"-n", "-T", "-Composite:GPSLatitude", "-Composite:GPSLongitude"} +
                      files);
    QVERIFY(process.waitForFinished(60000));
    const QStringList lines =
        QString::fromUtf8(process.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), files.size());
    for (qsizetype i = 0; i < files.size(); ++i) {
        const QStringList fields = lines[i].trimmed().split('\t');
        QCOMPARE(fields.size(), 2);
        QCOMPARE(codec->OpenFile(files[i], false, false), qint32(Opened));
        double latitude = 0, longitude = 0;
        QVERIFY(codec->GetGpsCoordinate(latitude, longitude));
        QVERIFY2(qAbs(fields[0].toDouble() - latitude) < 1e-7, qPrintable(lines[i]));
        QVERIFY2(qAbs(fields[1].toDouble() - longitude) < 1e-7, qPrintable(lines[i]));
    }
}

void TestCodec::refusesOtherKinds_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("fileType"); // as exiftool names it; empty: not asked
    QTest::addColumn<QString>("reason");
    const QString video = QStringLiteral("不是支持的照片格式（视频）");
    QTest::newRow("MP4") << movieBytes("isom") << "MP4" << video;
    QTest::newRow("QuickTime") << movieBytes("qt  ") << "MOV" << video;
    QTest::newRow("QuickTime without ftyp") << movieBytes(nullptr) << "MOV" << video;
    // A video may list a still-image brand among its compatible ones; the major brand decides.
    QTest::newRow("MP4 compatible with heic")
        << box("ftyp", QByteArray("mp42\0\0\0\0heicmif1", 16)) + box("moov", {}) << "" << video;
    QTest::newRow("AVI") << QByteArray("RIFF\x04\0\0\0AVI LIST", 16) << "" << video;
    QTest::newRow("Matroska") << QByteArray("\x1a\x45\xdf\xa3\x93\x42\x82\x88matroska", 16) << ""
                              << video;
    QTest::newRow("BigTIFF") << QByteArray("II+\0\x08\0\0\0\x10\0\0\0\0\0\0\0", 16) << ""
                             << "不是支持的照片格式（BigTIFF）";
    QTest::newRow("GIF") << QByteArray("GIF89a\x01\0\x01\0\0\0\0;", 14) << ""
                         << "不是支持的照片格式";
}

void TestCodec::refusesOtherKinds() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, fileType);
    QFETCH(QString, reason);
    const QString dir = m_dir.filePath(QStringLiteral("kind ") + QTest::currentDataTag());
    QVERIFY(QDir().mkpath(dir + "/results"));
    const QString source = dir + "/clip.jpg";
    QVERIFY(writeBytes(source, bytes));
    if (!fileType.isEmpty() && QFile::exists(kExiftool))
        QCOMPARE(runTool(kExiftool, {"-s3", "-FileType", source}).trimmed(), fileType);

    auto codec = makeCodec();
    for (const bool forWriting : {false, true}) {
        QCOMPARE(codec->OpenFile(source, true, forWriting), qint32(UnknownType));
        QCOMPARE(codec->LastError(), reason);
    }
    QVERIFY(!writeGps(*codec, source, dir + "/results/clip.jpg"));
    QCOMPARE(entries(dir + "/results"), QStringList());
    QCOMPARE(fileBytes(source), bytes);
}

void TestCodec::takesEveryPhotoKind_data() {
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<int>("exiv2Type");
    const auto bytes = [](const char* text, int size) { return QByteArray(text, size); };
    QTest::newRow("ORF") << bytes("IIRO\x08\0\0\0", 8) << Exiv2::ImageType::orf;
    QTest::newRow("ORF, big-endian") << bytes("MMOR\0\0\0\x08", 8) << Exiv2::ImageType::orf;
    QTest::newRow("RW2") << bytes("IIU\0\x18\0\0\0", 8) << Exiv2::ImageType::rw2;
    QTest::newRow("CRW") << bytes("II\x1a\0\0\0HEAPCCDR", 14) << Exiv2::ImageType::crw;
    QTest::newRow("RAF") << bytes("FUJIFILMCCD-RAW 0201FF383501", 28) << Exiv2::ImageType::raf;
    QTest::newRow("MRW") << bytes("\0MRM\0\0\0\x08", 8) << Exiv2::ImageType::mrw;
    QTest::newRow("WebP") << bytes("RIFF\x24\0\0\0WEBPVP8X", 16) << Exiv2::ImageType::webp;
    QTest::newRow("EXV") << bytes("\xff\x01"
                                  "Exiv2\xff\xd9",
                                  9)
                         << Exiv2::ImageType::exv;
    QTest::newRow("HEIC") << box("ftyp", bytes("heic\0\0\0\0mif1heic", 16))
                          << Exiv2::ImageType::bmff;
    QTest::newRow("AVIF") << box("ftyp", bytes("avif\0\0\0\0avifmif1", 16))
                          << Exiv2::ImageType::bmff;
    QTest::newRow("CR3") << box("ftyp", bytes("crx \0\0\0\x01"
                                              "crx isom",
                                              16))
                         << Exiv2::ImageType::bmff;
}

// Heads that Exiv2 itself takes for each kind are let through to it (as damaged photos here).
void TestCodec::takesEveryPhotoKind() {
    QFETCH(QByteArray, head);
    QFETCH(int, exiv2Type);
    Exiv2::enableBMFF(true);
    const QByteArray bytes = head + QByteArray(256, '\0');
    QCOMPARE(Exiv2::ImageFactory::getType(reinterpret_cast<const Exiv2::byte*>(bytes.constData()),
                                          long(bytes.size())),
             exiv2Type);
    const QString dir = m_dir.filePath(QStringLiteral("takes ") + QTest::currentDataTag());
    QVERIFY(QDir().mkpath(dir));
    QVERIFY(writeBytes(dir + "/photo", bytes));
    auto codec = makeCodec();
    QVERIFY(codec->OpenFile(dir + "/photo", false, false) != UnknownType);
    QVERIFY(!codec->LastError().startsWith(QStringLiteral("不是支持的照片格式")));
}

void TestCodec::readsHeif() {
    const QString heifEnc = QStandardPaths::findExecutable(QStringLiteral("heif-enc"));
    if (heifEnc.isEmpty() || !QFile::exists(kExiftool))
        QSKIP("heif-enc or exiftool is not installed");
    const QString dir = m_dir.filePath("heif");
    QVERIFY(QDir().mkpath(dir + "/results"));
    PhotoRecipe recipe;
    recipe.exif = false;
    const QString jpeg = makeJpeg(dir, "tagged.jpg", recipe);
    QVERIFY(runs(kExiftool, {"-q", "-overwrite_original", "-GPSLatitude=33.5", "-GPSLatitudeRef=S",
                             "-GPSLongitude=151.25", "-GPSLongitudeRef=E", "-GPSAltitude=12.25",
                             "-GPSAltitudeRef=Below Sea Level", jpeg}));
    // heif-enc carries the JPEG's EXIF block over into the HEIC.
    QVERIFY(runs(heifEnc, {"-q", "50", jpeg, "-o", dir + "/made.heic"}));
    const QByteArray heic = withoutBaseOffsets(fileBytes(dir + "/made.heic"));
    QVERIFY(!heic.isEmpty());
    const QString source = dir + "/photo.heic";
    QVERIFY(writeBytes(source, heic));
    const QStringList read =
        runTool(kExiftool, {"-n", "-s3", "-GPSLatitude", "-GPSLongitude", "-GPSAltitude", source})
            .split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(read, QStringList({"-33.5", "151.25", "-12.25"}));

    auto codec = makeCodec();
    QCOMPARE(codec->OpenFile(source, false, false), qint32(Opened));
    double latitude = 0, longitude = 0;
    QVERIFY(codec->GetGpsCoordinate(latitude, longitude));
    QCOMPARE(latitude, -33.5);
    QCOMPARE(longitude, 151.25);
    QCOMPARE(codec->TagValueString(6, kGpsDirectory), QStringLiteral("12.25"));
    QCOMPARE(codec->TagValueString(5, kGpsDirectory), QStringLiteral("1"));
    // Read only: Exiv2 0.27 does not write these files.
    QVERIFY(!writeGps(*codec, source, dir + "/results/photo.heic"));
    QCOMPARE(codec->LastError(), QStringLiteral("此格式不支持写入（HEIF）"));
    QCOMPARE(entries(dir + "/results"), QStringList());
}

void TestCodec::keepsEveryTagOfADamagedSource() {
    if (!QFile::exists(kExiftool))
        QSKIP("exiftool is not installed");
    const QString dir = m_dir.filePath("overlap");
    QVERIFY(QDir().mkpath(dir + "/results"));
    PhotoRecipe recipe;
    recipe.thumbnail = true;
    recipe.gps = GpsSpec{10, 20, 30};
    // Exactly the tags the writer sets, so Exiv2 may update the old directory in place.
    recipe.tags = {{"Exif.GPSInfo.GPSTimeStamp", ""},
                   {"Exif.GPSInfo.GPSMapDatum", ""},
                   {"Exif.GPSInfo.GPSDateStamp", ""}};
    const QString source = makeJpeg(dir, "a.jpg", recipe);
    // The latitude's three rationals now lie on ExposureTime, FNumber and the date after them.
    QByteArray bytes = fileBytes(source);
    TiffPatch tiff(bytes, bytes.indexOf(QByteArray("Exif\0\0", 6)) + 6);
    const quint32 gps = tiff.entryValue(tiff.ifd0(), 0x8825);
    const quint32 exposure = tiff.entryValue(tiff.entryValue(tiff.ifd0(), 0x8769), 0x829a);
    QVERIFY(gps != 0 && exposure != 0);
    QVERIFY(tiff.setEntryValue(gps, 0x0002, exposure));
    QVERIFY(writeBytes(source, bytes));
    const QStringList before = exiftoolNonGpsTags(source);
    QVERIFY(before.filter("ExposureTime").size() == 1);

    QVERIFY(writeGps(*makeCodec(), source, dir + "/results/a.jpg"));
    QCOMPARE(exiftoolNonGpsTags(dir + "/results/a.jpg"), before);
    QCOMPARE(runTool(kExiftool, {"-n", "-s3", "-GPSLatitude", dir + "/results/a.jpg"}).toDouble(),
             -(33 + 52 / 60.0 + 7.68 / 3600));
}

void TestCodec::dropsTheXmpPosition_data() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("jpeg") << "jpeg";
    QTest::newRow("tiff") << "tiff";
}

void TestCodec::dropsTheXmpPosition() {
    QFETCH(QString, kind);
    if (!QFile::exists(kExiftool))
        QSKIP("exiftool is not installed");
    const QString dir = m_dir.filePath(QStringLiteral("xmp ") + kind);
    QVERIFY(QDir().mkpath(dir + "/results"));
    const QString name = kind == u"jpeg" ? QStringLiteral("a.jpg") : QStringLiteral("a.tif");
    const QString source = makePhoto(kind, dir, name);
    QVERIFY(runs(kExiftool, {"-q", "-overwrite_original", "-XMP-dc:Title=Harbour",
                             "-XMP-exif:GPSLatitude=48.85", "-XMP-exif:GPSLongitude=2.35",
                             "-XMP-exif:GPSAltitude=35", source}));
    const QString copy = dir + "/results/" + name;
    QVERIFY(writeGps(*makeCodec(), source, copy));

    // One position only, the new one, and the rest of the XMP kept.
    QCOMPARE(runTool(kExiftool, {"-s3", "-XMP-dc:Title", copy}).trimmed(),
             QStringLiteral("Harbour"));
    QCOMPARE(runTool(kExiftool, {"-s", "-XMP:all", copy}).count("GPS"), 0);
    QCOMPARE(runTool(kExiftool, {"-n", "-s3", "-GPS:GPSLatitude", copy}).toDouble(),
             33 + 52 / 60.0 + 7.68 / 3600);
}

void TestCodec::permissionsAsCpGivesThem_data() {
    QTest::addColumn<int>("sourceMode");
    QTest::addColumn<int>("umask");
    QTest::addColumn<int>("copyMode");
    QTest::newRow("private photo") << 0600 << 022 << 0600;
    QTest::newRow("shared photo") << 0644 << 022 << 0644;
    QTest::newRow("umask takes group write") << 0666 << 022 << 0644;
    QTest::newRow("read-only photo") << 0444 << 077 << 0400;
}

void TestCodec::permissionsAsCpGivesThem() {
    QFETCH(int, sourceMode);
    QFETCH(int, umask);
    QFETCH(int, copyMode);
    const QString dir = m_dir.filePath(QStringLiteral("mode ") + QTest::currentDataTag());
    QVERIFY(QDir().mkpath(dir + "/results"));
    const QString source = makeJpeg(dir, "a.jpg");
    QCOMPARE(::chmod(QFile::encodeName(source).constData(), mode_t(sourceMode)), 0);
    const mode_t saved = ::umask(mode_t(umask));
    for (const bool unnamed : {true, false}) {
        detail::TempFile::setUnnamedAllowed(unnamed);
        const bool written = writeGps(*makeCodec(), source, dir + "/results/a.jpg");
        struct stat st {};
        QVERIFY(written && ::stat(QFile::encodeName(dir + "/results/a.jpg").constData(), &st) == 0);
        QCOMPARE(int(st.st_mode & 07777), copyMode);
        QVERIFY(QFile::remove(dir + "/results/a.jpg"));
    }
    detail::TempFile::setUnnamedAllowed(true);
    ::umask(saved);
}

void TestCodec::fullDisk_data() {
    QTest::addColumn<bool>("unnamed");
    QTest::newRow("unnamed temporary file") << true;
    QTest::newRow("named temporary file") << false;
}

void TestCodec::fullDisk() {
    QFETCH(bool, unnamed);
    const QString dir = m_dir.filePath(QStringLiteral("full ") + QTest::currentDataTag());
    QVERIFY(QDir().mkpath(dir + "/results"));
    if (::mount("tmpfs", QFile::encodeName(dir + "/results").constData(), "tmpfs", 0, "size=64k") !=
        0)
        QSKIP("cannot mount a small file system here");
    PhotoRecipe recipe;
    recipe.noise = true;
    recipe.width = 400;
    recipe.height = 300;
    const QString source = makeJpeg(dir, "a.jpg", recipe);
    detail::TempFile::setUnnamedAllowed(unnamed);
    auto codec = makeCodec();
    const bool written = writeGps(*codec, source, dir + "/results/a.jpg");
    const QStringList left = entries(dir + "/results");
    detail::TempFile::setUnnamedAllowed(true);
    ::umount(QFile::encodeName(dir + "/results").constData());
    QVERIFY(QFileInfo(source).size() > 64 * 1024);
    QVERIFY(!written);
    QCOMPARE(codec->LastError(), QStringLiteral("磁盘空间不足"));
    QCOMPARE(left, QStringList());
}

void TestCodec::nothingLeftWhenKilled_data() {
    QTest::addColumn<int>("signal");
    QTest::addColumn<bool>("unnamed");
    QTest::newRow("SIGKILL, unnamed") << int(SIGKILL) << true;
    QTest::newRow("SIGTERM, unnamed") << int(SIGTERM) << true;
    QTest::newRow("SIGTERM, named") << int(SIGTERM) << false;
    QTest::newRow("SIGINT, named") << int(SIGINT) << false;
    QTest::newRow("SIGHUP, named") << int(SIGHUP) << false;
}

// A process writing copies over and over is ended mid-way: the folder holds complete copies only.
void TestCodec::nothingLeftWhenKilled() {
    QFETCH(int, signal);
    QFETCH(bool, unnamed);
    const QString dir = m_dir.filePath(QStringLiteral("killed ") + QTest::currentDataTag());
    QVERIFY(QDir().mkpath(dir + "/results"));
    PhotoRecipe recipe;
    recipe.noise = true;
    recipe.width = 2400;
    recipe.height = 1800;
    const QString source = makeJpeg(dir, "a.jpg", recipe);
    int ready[2];
    QCOMPARE(::pipe(ready), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        // The test framework's own handlers are not the program's.
        for (const int s : {SIGINT, SIGTERM, SIGHUP})
            std::signal(s, SIG_DFL);
        detail::TempFile::setUnnamedAllowed(unnamed);
        auto codec = makeCodec();
        for (int round = 0;; ++round) {
            const QString copy = dir + QStringLiteral("/results/c%1.jpg").arg(round % 3);
            if (!writeGps(*codec, source, copy))
                ::_exit(3);
            if (round == 2)
                (void)!::write(ready[1], "x", 1);
        }
    }
    ::close(ready[1]);
    char byte = 0;
    const bool started = ::read(ready[0], &byte, 1) == 1;
    ::close(ready[0]);
    if (!started) {
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        QFAIL("the writing process did not get going");
    }
    // A named temporary file is there to be cleaned up when the signal comes.
    bool named = false;
    QElapsedTimer waited;
    waited.start();
    while (!unnamed && !named && waited.elapsed() < 10000)
        named = entries(dir + "/results").value(0).startsWith(u'.');
    ::kill(child, signal);
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY(WIFSIGNALED(status));
    QCOMPARE(WTERMSIG(status), signal);
    QCOMPARE(named, !unnamed);

    QVERIFY2(holdsOnly(dir + "/results", {"c0.jpg", "c1.jpg", "c2.jpg"}),
             qPrintable(entries(dir + "/results").join(u' ')));
    for (const QString& name : entries(dir + "/results")) {
        QCOMPARE(jpegScanData(fileBytes(dir + "/results/" + name)),
                 jpegScanData(fileBytes(source)));
    }
}

void TestCodec::altitudeWithBrokenReference_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("altitude");
    QTest::newRow("byte 1") << int(Exiv2::unsignedByte) << "1"
                            << "12.25";
    QTest::newRow("text \"1\"") << int(Exiv2::asciiString) << "1"
                                << "";
    QTest::newRow("rational") << int(Exiv2::unsignedRational) << "1/1"
                              << "";
    QTest::newRow("two bytes") << int(Exiv2::unsignedByte) << "1 1"
                               << "";
    QTest::newRow("byte 2") << int(Exiv2::unsignedByte) << "2"
                            << "";
}

void TestCodec::altitudeWithBrokenReference() {
    QFETCH(int, type);
    QFETCH(QString, value);
    QFETCH(QString, altitude);
    const QString dir = m_dir.filePath(QStringLiteral("altref ") + QTest::currentDataTag());
    QVERIFY(QDir().mkpath(dir));
    PhotoRecipe recipe;
    recipe.gps = GpsSpec{31.5, 121.5, {}};
    recipe.tags = {{"Exif.GPSInfo.GPSAltitude", "1225/100"}};
    const QString source = makeJpeg(dir, "a.jpg", recipe);
    {
        auto image = Exiv2::ImageFactory::open(QFile::encodeName(source).toStdString());
        image->readMetadata();
        auto ref = Exiv2::Value::create(Exiv2::TypeId(type));
        ref->read(value.toStdString());
        image->exifData().add(Exiv2::ExifKey("Exif.GPSInfo.GPSAltitudeRef"), ref.get());
        image->writeMetadata();
    }
    auto codec = makeCodec();
    QCOMPARE(codec->OpenFile(source, false, false), qint32(Opened));
    QCOMPARE(codec->TagValueString(6, kGpsDirectory), altitude);
    QCOMPARE(codec->IsTagExisted(6, kGpsDirectory), !altitude.isEmpty());
    QCOMPARE(codec->IsTagExisted(5, kGpsDirectory), !altitude.isEmpty());
    double latitude = 0, longitude = 0;
    QVERIFY(codec->GetGpsCoordinate(latitude, longitude));
}

// The image data's copy, shifted as a new EXIF segment shifts it, across the mapping's windows,
// and a source shorter than the range asked for.
void TestCodec::copyRanges_data() {
    QTest::addColumn<qint64>("size");
    QTest::addColumn<qint64>("lead"); // bytes already in the destination
    QTest::addColumn<qint64>("offset");
    QTest::addColumn<qint64>("length");
    QTest::addColumn<bool>("copied");
    const qint64 big = 9 * 1024 * 1024 + 123;
    QTest::newRow("shifted") << 10000LL << 3LL << 5LL << 9000LL << true;
    QTest::newRow("aligned") << 20000LL << 0LL << 4096LL << 15904LL << true;
    QTest::newRow("across windows") << big << 7LL << 4097LL << big - 4097 << true;
    QTest::newRow("to the last byte") << big << 1LL << 0LL << big << true;
    QTest::newRow("past the end") << 10000LL << 3LL << 100LL << 20000LL << false;
    QTest::newRow("within the last page past the end")
        << 10000LL << 3LL << 100LL << 11900LL << false;
    QTest::newRow("pages past the end") << 10000LL << 3LL << 100LL << 200000LL << false;
}

void TestCodec::copyRanges() {
    QFETCH(qint64, size);
    QFETCH(qint64, lead);
    QFETCH(qint64, offset);
    QFETCH(qint64, length);
    QFETCH(bool, copied);
    QTemporaryDir dir;
    QByteArray data(size, Qt::Uninitialized);
    for (qint64 i = 0; i < size; ++i)
        data[i] = char((i * 7919) >> 5);
    QFile source(dir.filePath("source"));
    QVERIFY(source.open(QIODevice::WriteOnly) && source.write(data) == size);
    source.close();
    QFile target(dir.filePath("target"));
    QVERIFY(target.open(QIODevice::ReadWrite));
    QCOMPARE(target.write(QByteArray(lead, 'x')), lead);
    QVERIFY(target.flush());

    const detail::Fd in = detail::openForReading(source.fileName());
    std::vector<char> buffer;
    QCOMPARE(detail::copyRange(in.get(), offset, length, target.handle(), buffer), copied);
    if (copied) {
        QVERIFY(target.seek(0));
        QCOMPARE(target.readAll(), QByteArray(lead, 'x') + data.mid(offset, length));
    }
}

// The check of a copy's EXIF: every change to a tag, the maker note's included, is one; the order
// of the tags and the pointers to directories are not.
void TestCodec::metadataComparison_data() {
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("change"); // "value", "type", "erase", "add", "move"
    QTest::addColumn<bool>("same");
    QTest::newRow("nothing") << "Exif.Photo.ExposureTime"
                             << "" << true;
    QTest::newRow("order") << "Exif.Photo.ExposureTime"
                           << "move" << true;
    QTest::newRow("directory pointer") << "Exif.Image.ExifTag"
                                       << "value" << true;
    QTest::newRow("value") << "Exif.Photo.ExposureTime"
                           << "value" << false;
    QTest::newRow("type") << "Exif.Photo.ExposureTime"
                          << "type" << false;
    QTest::newRow("tag lost") << "Exif.Image.Model"
                              << "erase" << false;
    QTest::newRow("tag added") << "Exif.Photo.UserComment"
                               << "add" << false;
    QTest::newRow("maker note entry") << "Exif.Canon.OwnerName"
                                      << "value" << false;
    QTest::newRow("maker note entry lost") << "Exif.Canon.OwnerName"
                                           << "erase" << false;
    QTest::newRow("thumbnail") << "Exif.Thumbnail.JPEGInterchangeFormat"
                               << "value" << false;
}

void TestCodec::metadataComparison() {
    QFETCH(QString, key);
    QFETCH(QString, change);
    QFETCH(bool, same);
    PhotoRecipe recipe;
    recipe.thumbnail = true;
    recipe.makerNote = true;
    const QString path = makeJpeg(m_dir.path(), "compared.jpg", recipe);
    auto image = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
    image->readMetadata();
    const Exiv2::ExifData expected = image->exifData();
    Exiv2::ExifData actual = expected;
    const Exiv2::ExifKey exifKey(key.toStdString());
    auto datum = actual.findKey(exifKey);
    QVERIFY(change == "add" || datum != actual.end());
    if (change == "value" && datum->key() == "Exif.Thumbnail.JPEGInterchangeFormat") {
        const Exiv2::DataBuf area = datum->dataArea();
        std::vector<Exiv2::byte> bytes(area.pData_, area.pData_ + area.size_);
        bytes.back() ^= 1;
        datum->setDataArea(bytes.data(), long(bytes.size()));
    } else if (change == "value") {
        datum->setValue(datum->typeId() == Exiv2::asciiString ? "changed" : "7/3");
    } else if (change == "type") {
        const auto value = Exiv2::Value::create(Exiv2::signedRational);
        value->read(datum->toString());
        datum->setValue(value.get());
    } else if (change == "erase") {
        actual.erase(datum);
    } else if (change == "add") {
        actual[key.toStdString()] = "added";
    } else if (change == "move") {
        const Exiv2::Exifdatum moved = *datum;
        actual.erase(datum);
        actual.add(moved);
    }
    QCOMPARE(detail::sameExif(expected, actual), same);
}

QTEST_GUILESS_MAIN(TestCodec)
#include "test_codec.moc"
