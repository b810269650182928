#include "export/exportformats.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>
#include <QXmlStreamReader>

using namespace exportformats;

Q_DECLARE_METATYPE(PhotoGpsValues)

namespace {

PhotoGpsValues shenzhen() {
    return {QStringLiteral("a.jpg"), 22.5431, 114.0579, 35.2, {}};
}
PhotoGpsValues sydney() {
    return {QStringLiteral("b.jpg"), -33.8568, 151.2093, 0.0, {}};
}
PhotoGpsValues deadSea() {
    return {QStringLiteral("c.jpg"), 31.5, 35.5, -12.5, {}};
}

QStringList kmlLines(const QList<PhotoGpsValues>& photos) {
    QStringList lines;
    for (const PhotoGpsValues& photo : photos)
        lines.append(ComposeKmlLine(photo));
    return lines;
}

struct KmlShape {
    int placemarks = 0;
    QStringList coordinates; // the trimmed text of every coordinates element
};

KmlShape parseKml(const QString& document) {
    QXmlStreamReader xml(document);
    KmlShape shape;
    bool sawRoot = false;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (!sawRoot) {
            sawRoot = true;
            if (xml.name() != u"kml" || xml.namespaceUri() != u"http://www.opengis.net/kml/2.2") {
                qWarning() << "root element" << xml.name() << xml.namespaceUri();
                return {};
            }
        }
        if (xml.name() == u"Placemark")
            ++shape.placemarks;
        else if (xml.name() == u"coordinates")
            shape.coordinates.append(xml.readElementText().trimmed());
    }
    if (xml.hasError() || !sawRoot) {
        qWarning() << xml.errorString() << xml.lineNumber();
        return {-1, {}};
    }
    return shape;
}

} // namespace

class TestExportFormats : public QObject {
    Q_OBJECT
private slots:
    void fieldTableIsInColumnOrder() {
        QList<int> tags;
        for (const ExportField& field : kExportFields)
            tags.append(field.tag);
        QCOMPARE(tags, (QList<int>{13, 15, 17, 24, 26}));
        QCOMPARE(QString::fromUtf8(exportField(17)->headerLabel), QStringLiteral("朝向"));
        QCOMPARE(exportField(2), nullptr);
    }

    void headerLine_data() {
        QTest::addColumn<QChar>("separator");
        QTest::addColumn<QList<int>>("fields");
        QTest::addColumn<QString>("expected");
        QTest::newRow("csv, no field")
            << kCsvSeparator << QList<int>{} << "文件名,纬度,经度,海拔高度";
        QTest::newRow("tsv, track and distance")
            << kTsvSeparator << QList<int>{15, 26}
            << "文件名\t纬度\t经度\t海拔高度\t移动方向\t目的地距离";
        QTest::newRow("csv, every field")
            << kCsvSeparator << QList<int>{13, 15, 17, 24, 26}
            << "文件名,纬度,经度,海拔高度,速度,移动方向,朝向,目的地方位,目的地距离";
    }
    void headerLine() {
        QFETCH(QChar, separator);
        QFETCH(QList<int>, fields);
        QFETCH(QString, expected);
        QCOMPARE(ComposeHeaderLine(separator, fields), expected);
    }

    void textLine_data() {
        QTest::addColumn<QChar>("separator");
        QTest::addColumn<PhotoGpsValues>("values");
        QTest::addColumn<int>("form");
        QTest::addColumn<QString>("expected");
        const auto decimal = int(CoordinateForm::Decimal);
        const auto dms = int(CoordinateForm::Dms);
        PhotoGpsValues withSpeed = shenzhen();
        withSpeed.labels = QStringList{QStringLiteral("5 km/h")};
        QTest::newRow("csv with speed")
            << kCsvSeparator << withSpeed << decimal << "a.jpg,22.5431,114.0579,35.2,5 km/h";
        QTest::newRow("no altitude")
            << kCsvSeparator << sydney() << decimal << "b.jpg,-33.8568,151.2093,0";
        QTest::newRow("below sea level")
            << kTsvSeparator << deadSea() << decimal << "c.jpg\t31.5\t35.5\t-12.5";
        QTest::newRow("dms") << kCsvSeparator << shenzhen() << dms
                             << "a.jpg,22°32′35.16″N,114°3′28.44″E,35.2";
        QTest::newRow("dms south west")
            << kTsvSeparator << PhotoGpsValues{"d.jpg", -0.5, -33.8688, 1, {}} << dms
            << "d.jpg\t0°30′0″S\t33°52′7.68″W\t1";

        PhotoGpsValues awkward = shenzhen();
        awkward.fileName = QStringLiteral("a,b \"c\".jpg");
        awkward.labels =
            QStringList{QStringLiteral("1,5"), QStringLiteral("x\r\ny"), QStringLiteral("plain")};
        QTest::newRow("csv quotes awkward fields")
            << kCsvSeparator << awkward << decimal
            << "\"a,b \"\"c\"\".jpg\",22.5431,114.0579,35.2,\"1,5\",\"x\r\ny\",plain";
        QTest::newRow("tsv never quotes")
            << kTsvSeparator << awkward << decimal
            << "a,b \"c\".jpg\t22.5431\t114.0579\t35.2\t1,5\tx\r\ny\tplain";
    }
    void textLine() {
        QFETCH(QChar, separator);
        QFETCH(PhotoGpsValues, values);
        QFETCH(int, form);
        QFETCH(QString, expected);
        QCOMPARE(ComposeTextLine(separator, values, CoordinateForm(form)), expected);
    }

    void kmlLineIsLongitudeFirst() {
        QCOMPARE(ComposeKmlLine(shenzhen()), QStringLiteral("114.0579,22.5431,35.2"));
        QCOMPARE(ComposeKmlLine(sydney()), QStringLiteral("151.2093,-33.8568,0"));
    }

    void textFile() {
        const QStringList lines{ComposeTextLine(kCsvSeparator, shenzhen()),
                                ComposeTextLine(kCsvSeparator, sydney())};
        QCOMPARE(ComposeTextFile(true, kCsvSeparator, {}, lines),
                 QStringLiteral("文件名,纬度,经度,海拔高度\r\na.jpg,22.5431,114.0579,35.2\r\n"
                                "b.jpg,-33.8568,151.2093,0\r\n"));
        QCOMPARE(ComposeTextFile(false, kCsvSeparator, {}, lines.mid(0, 1)),
                 QStringLiteral("a.jpg,22.5431,114.0579,35.2\r\n"));
        QCOMPARE(ComposeTextFile(true, kTsvSeparator, {13}, {}),
                 QStringLiteral("文件名\t纬度\t经度\t海拔高度\t速度\r\n\r\n"));
        QCOMPARE(ComposeTextFile(false, kCsvSeparator, {}, {}), QStringLiteral("\r\n"));
    }

    void choices() {
        QCOMPARE(defaultFileName(OutputKind::Text, TextFormat::Csv), QStringLiteral("results.csv"));
        QCOMPARE(defaultFileName(OutputKind::Text, TextFormat::Tsv), QStringLiteral("results.tsv"));
        QCOMPARE(defaultFileName(OutputKind::Kml, TextFormat::Tsv), QStringLiteral("results.kml"));
        QCOMPARE(separatorFor(TextFormat::Tsv), QChar(u'\t'));
        QCOMPARE(separatorFor(TextFormat::Csv), QChar(u','));
    }

    void kmlPointsDocumentExactly() {
        const QString expected = QStringLiteral(
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
            "<kml xmlns=\"http://www.opengis.net/kml/2.2\"><Document>\r\n"
            "<Placemark><Point><coordinates>114.0579,22.5431,35.2</coordinates></Point>"
            "</Placemark>\r\n"
            "</Document></kml>\r\n");
        QCOMPARE(ComposeKmlDocument(KmlVariant::Points, kmlLines({shenzhen()})), expected);
    }

    void kmlDocumentsParse_data() {
        QTest::addColumn<int>("variant");
        QTest::addColumn<int>("photos");
        QTest::addColumn<int>("placemarks");
        QTest::addColumn<int>("coordinateElements");
        QTest::newRow("points") << int(KmlVariant::Points) << 3 << 3 << 3;
        QTest::newRow("one point") << int(KmlVariant::Points) << 1 << 1 << 1;
        QTest::newRow("no point") << int(KmlVariant::Points) << 0 << 0 << 0;
        QTest::newRow("path") << int(KmlVariant::Path) << 3 << 1 << 1;
        QTest::newRow("path of one") << int(KmlVariant::Path) << 1 << 1 << 1;
        QTest::newRow("empty path") << int(KmlVariant::Path) << 0 << 1 << 1;
        QTest::newRow("polygon") << int(KmlVariant::Polygon) << 3 << 1 << 1;
        QTest::newRow("polygon of two") << int(KmlVariant::Polygon) << 2 << 1 << 1;
    }
    void kmlDocumentsParse() {
        QFETCH(int, variant);
        QFETCH(int, photos);
        QFETCH(int, placemarks);
        QFETCH(int, coordinateElements);
        const QStringList lines = kmlLines(QList{shenzhen(), sydney(), deadSea()}.mid(0, photos));
        const QString document = ComposeKmlDocument(KmlVariant(variant), lines);
        QVERIFY(document.endsWith(QStringLiteral("</Document></kml>\r\n")));
        QVERIFY(!document.contains(QRegularExpression(QStringLiteral("[^\r]\n"))));
        const KmlShape shape = parseKml(document);
        QCOMPARE(shape.placemarks, placemarks);
        QCOMPARE(shape.coordinates.size(), coordinateElements);
        // The ring is not closed: the corners go out exactly as the photos came.
        QCOMPARE(shape.coordinates.join(u'\n').split(u'\n', Qt::SkipEmptyParts),
                 QStringList(lines));
    }

    // Placemarks come back as waypoints, the path and the polygon's ring as a track.
    void gpsbabelReadsEveryVariant_data() {
        QTest::addColumn<int>("variant");
        QTest::addColumn<QString>("kind");
        QTest::newRow("points") << int(KmlVariant::Points) << "-w";
        QTest::newRow("path") << int(KmlVariant::Path) << "-t";
        QTest::newRow("polygon") << int(KmlVariant::Polygon) << "-t";
    }
    void gpsbabelReadsEveryVariant() {
        if (QString(CORVEXA_GPSBABEL).isEmpty())
            QSKIP("gpsbabel is not installed");
        QFETCH(int, variant);
        QFETCH(QString, kind);
        const QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("results.kml"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        const QList photos{shenzhen(), sydney(), deadSea()};
        file.write(ComposeKmlDocument(KmlVariant(variant), kmlLines(photos)).toUtf8());
        file.close();

        QProcess babel;
        babel.start(QStringLiteral(CORVEXA_GPSBABEL),
                    {kind, "-i", "kml", "-f", path, "-o", "unicsv", "-F", "-"});
        QVERIFY(babel.waitForFinished(30000));
        QVERIFY2(babel.exitCode() == 0, babel.readAllStandardError().constData());
        QStringList rows =
            QString::fromUtf8(babel.readAllStandardOutput())
                .split(QRegularExpression(QStringLiteral("\r?\n")), Qt::SkipEmptyParts);
        QVERIFY2(rows.size() == 4, qPrintable(rows.join(u'\n')));
        const QStringList header = rows.takeFirst().split(u',');
        const qsizetype lat = header.indexOf(QStringLiteral("Latitude"));
        const qsizetype lon = header.indexOf(QStringLiteral("Longitude"));
        const qsizetype alt = header.indexOf(QStringLiteral("Altitude"));
        QVERIFY(lat >= 0 && lon >= 0 && alt >= 0);
        for (qsizetype i = 0; i < photos.size(); ++i) {
            const QStringList row = rows[i].split(u',');
            QCOMPARE(row[lat].toDouble(), photos[i].latitude);
            QCOMPARE(row[lon].toDouble(), photos[i].longitude);
            QCOMPARE(row[alt].toDouble(), photos[i].altitude.value_or(0));
        }
    }

    // One waypoint as written: numbers without exponent or trailing zeros, names escaped and
    // cleared of what XML cannot hold, children in the schema's order.
    void gpxWaypoint_data() {
        QTest::addColumn<PhotoGpsValues>("photo");
        QTest::addColumn<QString>("line");
        PhotoGpsValues plain = shenzhen();
        plain.time = QDateTime(QDate(2024, 5, 1), QTime(2, 11, 12), QTimeZone::utc());
        QTest::newRow("altitude and time")
            << plain
            << "<wpt lat=\"22.5431\" lon=\"114.0579\"><ele>35.2</ele>"
               "<time>2024-05-01T02:11:12Z</time><name>a.jpg</name></wpt>";
        PhotoGpsValues tiny{QStringLiteral("<a & b>\x01\"c\".jpg"),
                            1e-7,
                            -0.0000000001,
                            std::nullopt,
                            {},
                            std::nullopt};
        QTest::newRow("tiny values, markup in the name")
            << tiny
            << "<wpt lat=\"0.0000001\" lon=\"0\"><name>&lt;a &amp; b&gt;\"c\".jpg</name></wpt>";
        PhotoGpsValues fraction = deadSea();
        fraction.time =
            QDateTime(QDate(2023, 12, 31), QTime(23, 59, 59, 500), QTimeZone(-3 * 3600 - 1800));
        QTest::newRow("below sea level, fraction of a second, zone")
            << fraction
            << "<wpt lat=\"31.5\" lon=\"35.5\"><ele>-12.5</ele>"
               "<time>2024-01-01T03:29:59.5Z</time><name>c.jpg</name></wpt>";
    }
    void gpxWaypoint() {
        QFETCH(PhotoGpsValues, photo);
        QFETCH(QString, line);
        const QStringList lines =
            ComposeGpxDocument({photo}, QStringLiteral("t")).split(QStringLiteral("\r\n"));
        QCOMPARE(lines.size(), 5);
        QCOMPARE(lines[2], line);
        QCOMPARE(lines[3], QStringLiteral("</gpx>"));
        QXmlStreamReader xml(lines.join(QStringLiteral("\r\n")));
        while (!xml.atEnd())
            xml.readNext();
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    }
};

QTEST_GUILESS_MAIN(TestExportFormats)
#include "test_exportformats.moc"
