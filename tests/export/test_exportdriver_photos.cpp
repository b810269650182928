// The export run on real photos through the Exiv2 codec: the files it writes are read back by
// independent readers (ExifTool for the photos, GPSBabel and an XML parser for the KML).

#include "export/exportdriver.h"
#include "support/exiftoolread.h"
#include "support/fakeview.h"
#include "support/photofactory.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>
#include <cmath>

namespace {

struct Position {
    double latitude;
    double longitude;
    double altitude;
};

// Photos that cover both hemispheres, below sea level, no altitude and a value between -1 and 0.
const struct {
    const char* name;
    GpsSpec gps;
} kPhotos[] = {
    {"shanghai.jpg", {31.2304, 121.4737, 12.5}},
    {"sydney.jpg", {-33.8568, 151.2153, -12.25}},
    {"london.jpg", {51.500729, -0.124625, std::nullopt}},
    {"gulf.jpg", {-0.5, -0.25, 3.0}},
};

QString tool(const char* path) {
    return QString::fromUtf8(path);
}

// Every coordinate tuple of a KML document; false when it is not well-formed XML.
bool kmlTuples(const QByteArray& kml, QList<Position>& tuples, QString& root) {
    QXmlStreamReader xml(kml);
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (root.isEmpty())
            root = xml.namespaceUri().toString() + u' ' + xml.name().toString();
        if (xml.name() != QLatin1String("coordinates"))
            continue;
        const QString text = xml.readElementText();
        for (const QString& tuple : text.split(QRegularExpression("\\s+"), Qt::SkipEmptyParts)) {
            const QStringList v = tuple.split(u',');
            if (v.size() == 3)
                tuples.append({v[1].toDouble(), v[0].toDouble(), v[2].toDouble()});
        }
    }
    return !xml.hasError();
}

// The waypoints, route points and track points of a GPX document, in order.
QList<Position> gpxPoints(const QByteArray& gpx) {
    QList<Position> points;
    QXmlStreamReader xml(gpx);
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const auto name = xml.name();
        if (name == QLatin1String("wpt") || name == QLatin1String("rtept") ||
            name == QLatin1String("trkpt")) {
            const auto a = xml.attributes();
            points.append({a.value("lat").toDouble(), a.value("lon").toDouble(), 0});
        }
    }
    return points;
}

} // namespace

class TestExportDriverPhotos : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        for (const auto& photo : kPhotos) {
            PhotoRecipe recipe;
            recipe.gps = photo.gps;
            recipe.tags = {{"Exif.GPSInfo.GPSSpeedRef", "K"}, {"Exif.GPSInfo.GPSSpeed", "45/2"}};
            const QString path = makeJpeg(m_dir.path(), QString::fromUtf8(photo.name), recipe);
            QVERIFY(!path.isEmpty());
            m_paths.append(path);
        }
        m_paths.append(makeJpeg(m_dir.path(), "no-gps.jpg"));
        QVERIFY(!m_paths.last().isEmpty());
    }

    void textAgreesWithExiftool() {
        if (tool(CORVEXA_EXIFTOOL).isEmpty())
            QSKIP("exiftool is not installed");
        FakeWindow w;
        add(w);
        auto ctx = w.context();
        const QString out = m_dir.filePath("positions.tsv");
        QCOMPARE(runExport(ctx, exportOptions(ExportChoice{0, 1, 0}, {13}, false), out),
                 ExportOutcome::Exported);
        QCOMPARE(w.list.row(4).texts[ColStatus], QStringLiteral("无 GPS 数据"));
        QCOMPARE(w.list.row(1).texts[ColAltitude], QStringLiteral("-12.25m"));
        QCOMPARE(w.list.row(3).texts[ColLatitude], QStringLiteral("0°30′0″S"));

        const QHash<QString, ExifToolPosition> expected = exiftoolPositions(m_paths);
        QCOMPARE(expected.size(), 4);
        QFile f(out);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QStringList lines =
            QString::fromUtf8(f.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 4);
        for (const QString& line : lines) {
            const QStringList v = line.split(u'\t');
            QCOMPARE(v.size(), 5);
            QVERIFY2(expected.contains(v[0]), qPrintable(v[0]));
            const ExifToolPosition e = expected.value(v[0]);
            QVERIFY2(std::fabs(v[1].toDouble() - e.latitude) < 1e-7, qPrintable(line));
            QVERIFY2(std::fabs(v[2].toDouble() - e.longitude) < 1e-7, qPrintable(line));
            QVERIFY2(std::fabs(v[3].toDouble() - e.altitude.value_or(0)) < 1e-6, qPrintable(line));
            QVERIFY2(v[4].contains(QStringLiteral("22.5")), qPrintable(line));
        }
    }

    // Without a label column the rows' texts come from the quick look; with one, from the codec.
    void quickLookTextsMatchTheCodec() {
        FakeWindow quick;
        FakeWindow full;
        add(quick);
        add(full);
        auto quickContext = quick.context();
        auto fullContext = full.context();
        QCOMPARE(runExport(quickContext, exportOptions(ExportChoice{0, 0, 0}, {}, false),
                           m_dir.filePath("quick.csv")),
                 ExportOutcome::Exported);
        QCOMPARE(runExport(fullContext, exportOptions(ExportChoice{0, 0, 0}, {13}, false),
                           m_dir.filePath("full.csv")),
                 ExportOutcome::Exported);
        for (int i = 0; i < m_paths.size(); ++i) {
            for (const int column : {ColStatus, ColLatitude, ColLongitude, ColAltitude})
                QCOMPARE(quick.list.row(i).texts[column], full.list.row(i).texts[column]);
        }
        QCOMPARE(quick.list.row(3).texts[ColLongitude], QStringLiteral("0°15′0″W"));
    }

    void kmlReadBack_data() {
        QTest::addColumn<int>("variant");
        QTest::newRow("points") << 0;
        QTest::newRow("path") << 1;
        QTest::newRow("polygon") << 2;
    }
    void kmlReadBack() {
        QFETCH(int, variant);
        FakeWindow w;
        add(w);
        auto ctx = w.context();
        const QString out = m_dir.filePath(QStringLiteral("track-%1.kml").arg(variant));
        QCOMPARE(runExport(ctx, exportOptions(ExportChoice{1, variant, 1}, {}, false), out),
                 ExportOutcome::Exported);
        QFile f(out);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray kml = f.readAll();

        QList<Position> tuples;
        QString root;
        QVERIFY(kmlTuples(kml, tuples, root));
        QCOMPARE(root, QStringLiteral("http://www.opengis.net/kml/2.2 kml"));
        QCOMPARE(tuples.size(), 4);
        for (int i = 0; i < 4; ++i) {
            const GpsSpec& gps = kPhotos[i].gps;
            QVERIFY(std::fabs(tuples[i].latitude - gps.latitude) < 1e-7);
            QVERIFY(std::fabs(tuples[i].longitude - gps.longitude) < 1e-7);
            QVERIFY(std::fabs(tuples[i].altitude - gps.altitude.value_or(0)) < 1e-6);
        }

        if (tool(CORVEXA_GPSBABEL).isEmpty())
            QSKIP("gpsbabel is not installed");
        QProcess babel;
        babel.start(tool(CORVEXA_GPSBABEL), {"-i", "kml", "-f", out, "-o", "gpx", "-F", "-"});
        QVERIFY(babel.waitForFinished(60000));
        QCOMPARE(babel.exitCode(), 0);
        const QList<Position> read = gpxPoints(babel.readAllStandardOutput());
        QCOMPARE(read.size(), 4);
        for (int i = 0; i < 4; ++i) {
            QVERIFY(std::fabs(read[i].latitude - kPhotos[i].gps.latitude) < 1e-7);
            QVERIFY(std::fabs(read[i].longitude - kPhotos[i].gps.longitude) < 1e-7);
        }
    }

    // The window's third output kind: waypoints in list order.
    void gpxThroughTheWindowsRun() {
        FakeWindow w;
        add(w);
        auto ctx = w.context();
        const QString out = m_dir.filePath(QStringLiteral("photos.gpx"));
        QCOMPARE(runExport(ctx, exportOptions(ExportChoice{2, 0, 1}, {13}, true), out),
                 ExportOutcome::Exported);
        QFile f(out);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QList<Position> points = gpxPoints(f.readAll());
        QCOMPARE(points.size(), 4);
        for (int i = 0; i < 4; ++i) {
            QVERIFY(std::fabs(points[i].latitude - kPhotos[i].gps.latitude) < 1e-7);
            QVERIFY(std::fabs(points[i].longitude - kPhotos[i].gps.longitude) < 1e-7);
        }
        QCOMPARE(w.list.row(1).texts[ColAltitude], QStringLiteral("-12.25m"));
    }

private:
    void add(FakeWindow& w) const {
        for (const QString& path : m_paths) {
            PhotoRow row;
            row.record.fileName = path;
            row.record.fileExists = true;
            w.list.append(row);
        }
    }

    QTemporaryDir m_dir;
    QStringList m_paths;
};

QTEST_GUILESS_MAIN(TestExportDriverPhotos)
#include "test_exportdriver_photos.moc"
