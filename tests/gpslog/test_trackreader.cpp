// Track files as GPSBabel and Google Earth write them, read by content: every shape gives the
// points of the GPX it was made from (or the points written by hand), segments kept apart.

#include "gpslog/logreader.h"
#include "gpslog/trackreader.h"
#include "support/fakeview.h"
#include "support/testfiles.h"

#include <QDateTime>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

namespace {

const QString kGpsBabel = QStringLiteral(CORVEXA_GPSBABEL);

// Two track segments, the second without elevation, and a waypoint without time.
QByteArray walkGpx(bool withFix) {
    const QByteArray fix = withFix ? "<fix>3d</fix>" : "";
    return "<?xml version=\"1.0\"?>\n"
           "<gpx version=\"1.1\" creator=\"hand\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n"
           "<wpt lat=\"31.0\" lon=\"121.0\"><name>camp</name></wpt>\n"
           "<trk><name>walk</name><trkseg>\n"
           "<trkpt lat=\"31.2304\" "
           "lon=\"121.4737\"><ele>10</ele><time>2024-05-01T08:00:00Z</time>" +
           fix +
           "</trkpt>\n"
           "<trkpt lat=\"31.2314\" "
           "lon=\"121.4747\"><ele>12</ele><time>2024-05-01T08:01:00Z</time>" +
           fix +
           "</trkpt>\n"
           "</trkseg><trkseg>\n"
           "<trkpt lat=\"-31.5\" lon=\"-70.25\"><time>2024-05-01T09:00:00Z</time>" +
           fix +
           "</trkpt>\n"
           "<trkpt lat=\"-31.51\" lon=\"-70.26\"><time>2024-05-01T09:00:30Z</time>" +
           fix +
           "</trkpt>\n"
           "</trkseg></trk></gpx>\n";
}

const QByteArray kKmlHead = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                            "<kml xmlns=\"http://www.opengis.net/kml/2.2\" "
                            "xmlns:gx=\"http://www.google.com/kml/ext/2.2\"><Document>";
const QByteArray kKmlTail = "</Document></kml>\n";

QString timeText(qint64 ms) {
    return QDateTime::fromMSecsSinceEpoch(ms, QTimeZone::utc())
        .toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz'Z'"));
}

QString pointText(const TrackPoint& p, int decimals) {
    QString text = QString::number(p.latitude, 'f', decimals) + u',' +
                   QString::number(p.longitude, 'f', decimals);
    if (p.hasAltitude())
        text += u',' + QString::number(p.altitude, 'f', 1);
    if (p.hasTime())
        text += u'@' + timeText(p.timeMs);
    return text;
}

// "segment sizes | skipped | points" with coordinates to the given decimals.
QString summary(const Track& track, int decimals) {
    QStringList sizes;
    for (size_t s = 0; s < track.segmentStarts.size(); ++s)
        sizes << QString::number(track.segmentEnd(s) - track.segmentStarts[s]);
    QStringList points;
    for (const TrackPoint& p : track.points)
        points << pointText(p, decimals);
    return sizes.join(u' ') + u'|' + QString::number(track.skipped) + u'|' + points.join(u' ');
}

const QString kWalk = QStringLiteral(
    "31.2304,121.4737,10.0@2024-05-01T08:00:00.000Z 31.2314,121.4747,12.0@2024-05-01T08:01:00.000Z "
    "-31.5000,-70.2500@2024-05-01T09:00:00.000Z -31.5100,-70.2600@2024-05-01T09:00:30.000Z");

} // namespace

class TestTrackReader : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString file(const QString& name, const QByteArray& bytes) {
        const QString path = m_dir.filePath(name);
        writeFile(path, bytes);
        return path;
    }

    // The GPX converted by GPSBabel into format, written as name.
    QString babel(const QByteArray& gpx, const QString& format, const QString& name) {
        const QString source = file(QStringLiteral("source.gpx"), gpx);
        const QString target = m_dir.filePath(name);
        QProcess::execute(kGpsBabel,
                          {QStringLiteral("-i"), QStringLiteral("gpx"), QStringLiteral("-f"),
                           source, QStringLiteral("-o"), format, QStringLiteral("-F"), target});
        return target;
    }

private slots:
    void shapes_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("decimals");
        QTest::addColumn<QString>("expected");
        if (kGpsBabel.isEmpty())
            QSKIP("gpsbabel is not installed");

        QTest::newRow("gpx as written: untimed waypoint left out and counted")
            << file("walk.gpx", walkGpx(false)) << int(TrackFormat::Gpx) << 4
            << QStringLiteral("2 2|1|") + kWalk;
        QTest::newRow("gpsbabel gpx")
            << babel(walkGpx(false), "gpx", "babel.gpx") << int(TrackFormat::Gpx) << 4
            << QStringLiteral("2 2|1|") + kWalk;
        // GPSBabel writes the track twice: timed placemarks and an untimed line; the line goes.
        QTest::newRow("gpsbabel kml")
            << babel(walkGpx(false), "kml", "babel.kml") << int(TrackFormat::Kml) << 4
            << QStringLiteral("4|0|") + kWalk;
        // NMEA minutes with 3 decimals: 1/60000 degree.
        QTest::newRow("gpsbabel nmea")
            << babel(walkGpx(true), "nmea", "babel.nmea") << int(TrackFormat::Nmea) << 4
            << QStringLiteral("4|0|31.2304,121.4737,10.0@2024-05-01T08:00:00.000Z "
                              "31.2314,121.4747,12.0@2024-05-01T08:01:00.000Z "
                              "-31.5000,-70.2500,0.0@2024-05-01T09:00:00.000Z "
                              "-31.5100,-70.2600,0.0@2024-05-01T09:00:30.000Z");
        QTest::newRow("gpsbabel kml waypoints: lon,lat without altitude")
            << babel("<?xml version=\"1.0\"?><gpx version=\"1.1\" "
                     "xmlns=\"http://www.topografix.com/GPX/1/1\"><wpt lat=\"31.25\" "
                     "lon=\"121.5\"/><wpt lat=\"-33.868\" lon=\"151.2093\"/></gpx>",
                     "kml", "waypoints.kml")
            << int(TrackFormat::Kml) << 4
            << QStringLiteral("1 1|0|31.2500,121.5000 -33.8680,151.2093");
        QTest::newRow("google earth placemarks, one per line")
            << file("placemarks.kml",
                    kKmlHead +
                        "\n<Placemark><name>a</name><Point><coordinates>121.4737,31.2304,0"
                        "</coordinates></Point></Placemark>\n<Placemark><name>b</name><Point>"
                        "<coordinates>121.4747,31.2314,0</coordinates></Point></Placemark>\n" +
                        kKmlTail)
            << int(TrackFormat::Kml) << 4
            << QStringLiteral("1 1|0|31.2304,121.4737,0.0 31.2314,121.4747,0.0");
        QTest::newRow("google earth path on one line, blanks and tabs between tuples")
            << file("path.kml", kKmlHead +
                                    "<Placemark><LineString><coordinates>121.1,31.1,0 "
                                    "121.2,31.2,5\t121.3,31.3,0 </coordinates></LineString>"
                                    "</Placemark>" +
                                    kKmlTail)
            << int(TrackFormat::Kml) << 1
            << QStringLiteral("3|0|31.1,121.1,0.0 31.2,121.2,5.0 31.3,121.3,0.0");
        QTest::newRow(
            "gx:Track; a time that cannot be read, a longitude beyond 180: left out, counted")
            << file("gxtrack.kml",
                    kKmlHead +
                        "<Placemark><gx:Track><when>2024-05-01T16:00:00+08:00</when>"
                        "<when>yesterday</when><when>2024-05-01T08:00:10.5Z</when>"
                        "<gx:coord>121.1 31.1 7</gx:coord><gx:coord>121.2 31.2 8</gx:coord>"
                        "<gx:coord>121.3 31.3 9</gx:coord><when>2024-05-01T08:00:20Z</when>"
                        "<gx:coord>221.3 31.3 9</gx:coord></gx:Track></Placemark>" +
                        kKmlTail)
            << int(TrackFormat::Kml) << 1
            << QStringLiteral("2|2|31.1,121.1,7.0@2024-05-01T08:00:00.000Z "
                              "31.3,121.3,9.0@2024-05-01T08:00:10.500Z");
        QTest::newRow("elements of other namespaces are not KML's")
            << file("foreign.kml", kKmlHead +
                                       "<Placemark><x:coordinates xmlns:x=\"urn:other\">1,2,3"
                                       "</x:coordinates><Point><coordinates>121.1,31.1"
                                       "</coordinates></Point></Placemark>" +
                                       kKmlTail)
            << int(TrackFormat::Kml) << 1 << QStringLiteral("1|0|31.1,121.1");
        QTest::newRow("nmea: bad checksum, void fix, other talkers")
            << file("mixed.nmea",
                    "$GNRMC,080000.00,A,3113.824,N,12128.422,E,0.0,0.0,010524,,,A*48\n"
                    "$GNGGA,080000.00,3113.824,N,12128.422,E,1,08,1.0,15.5,M,0.0,M,,*70\n"
                    "$GPRMC,080001.00,A,3113.900,N,12128.500,E,0.0,0.0,010524,,,A*50\n"
                    "$GPRMC,080002.00,V,3113.900,N,12128.500,E,0.0,0.0,010524,,,N*4A\n"
                    "$GLRMC,080003.00,A,3114.000,S,12129.000,W,0.0,0.0,010524,,,A*4A\n")
            << int(TrackFormat::Nmea) << 4
            << QStringLiteral("2|0|31.2304,121.4737,15.5@2024-05-01T08:00:00.000Z "
                              "-31.2333,-121.4833@2024-05-01T08:00:03.000Z");
    }

    void shapes() {
        QFETCH(QString, path);
        QFETCH(int, format);
        QFETCH(int, decimals);
        QFETCH(QString, expected);
        const TrackFile read = readTrackFile(path);
        QCOMPARE(int(read.format), format);
        QVERIFY2(read.ok, qPrintable(read.errorString));
        QCOMPARE(summary(read.track, decimals), expected);
    }

    void nmeaCountsWhatItRefused() {
        if (kGpsBabel.isEmpty())
            QSKIP("gpsbabel is not installed");
        // Without <fix>, GPSBabel marks every fix void.
        const TrackFile voids = readTrackFile(babel(walkGpx(false), "nmea", "void.nmea"));
        QVERIFY(voids.ok);
        QCOMPARE(voids.track.points.size(), size_t(0));
        QCOMPARE(voids.invalidFixes, 4);
        const TrackFile mixed = readTrackFile(m_dir.filePath("mixed.nmea"));
        QCOMPARE(mixed.badChecksums, 1);
        QCOMPARE(mixed.invalidFixes, 1);
    }

    // No entity is expanded: a document type declaring one is refused, not read.
    void entityDeclarationsAreRefused() {
        const QString path =
            file("entities.gpx", "<?xml version=\"1.0\"?><!DOCTYPE gpx [<!ENTITY a \"31.5\">]>"
                                 "<gpx xmlns=\"http://www.topografix.com/GPX/1/1\"><wpt "
                                 "lat=\"&a;\" lon=\"121\"/></gpx>");
        const TrackFile read = readTrackFile(path);
        QCOMPARE(read.format, TrackFormat::Gpx);
        QVERIFY(!read.ok);
    }

    // Through the import road: untimed shapes keep the folder-order assignment; a KML file that
    // is not well-formed XML loads line by line; a broken GPX loads nothing.
    void importRoad_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<bool>("loaded");
        QTest::newRow("path on one line, by folder order")
            << kKmlHead +
                   "<Placemark><LineString><coordinates>121.1,31.1 121.2,31.2 121.3,31.3"
                   "</coordinates></LineString></Placemark>" +
                   kKmlTail
            << QStringList{"a.jpg", "b.jpg", "(无对应)"} << true;
        QTest::newRow("not well-formed: line reading")
            << QByteArray("<?xml version=\"1.0\"?>\n<kml><Document><coordinates>\n"
                          "121.1,31.1,1\n121.2,31.2,2\n</Document>\n")
            << QStringList{"a.jpg", "b.jpg"} << true;
        QTest::newRow("broken gpx")
            << QByteArray("<gpx xmlns=\"http://www.topografix.com/GPX/1/1\"><wpt lat=\"1\" "
                          "lon=\"2\"><time>2024-05-01T08:00:00Z</time></wpt>")
            << QStringList{} << false;
    }

    void importRoad() {
        QFETCH(QByteArray, content);
        QFETCH(QStringList, rows);
        QFETCH(bool, loaded);
        QTemporaryDir folder;
        writeFile(folder.filePath("a.jpg"));
        writeFile(folder.filePath("b.jpg"));
        writeFile(folder.filePath("log.kml"), content);
        FakeWindow window;
        RoadContext ctx = window.context();
        const LogLoadResult result = LoadGpsLog(ctx, folder.filePath("log.kml"));
        QCOMPARE(result.status == LogLoadStatus::Loaded, loaded);
        QCOMPARE(rowNames(window.list), rows);
        QCOMPARE(window.view.messages.size(), loaded ? 0 : 1);
    }

    // A track that loaded line by line before loads the same rows through the XML reader: the
    // same file made not well-formed (so that it is read line by line) is the reference.
    void byOrderTracksLoadAsBefore_data() {
        QTest::addColumn<QString>("fixture");
        for (const char* name :
             {"track_2points.kml", "track_5points.kml", "track_commas_in_markup.kml"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }

    void byOrderTracksLoadAsBefore() {
        QFETCH(QString, fixture);
        QFile source(QStringLiteral(CORVEXA_TEST_DATA "/") + fixture);
        QVERIFY(source.open(QIODevice::ReadOnly));
        const QByteArray bytes = source.readAll();
        QTemporaryDir folder;
        writeFile(folder.filePath("a.jpg"));
        writeFile(folder.filePath("track.kml"), bytes);
        writeFile(folder.filePath("lines.kml"), bytes + "<unclosed>\n");
        const auto rows = [&](const QString& name) {
            FakeWindow window;
            RoadContext ctx = window.context();
            LoadGpsLog(ctx, folder.filePath(name));
            QStringList texts;
            for (int i = 0; i < window.list.count(); ++i) {
                const PhotoRow& row = window.list.row(i);
                texts << QStringList(row.texts.begin(), row.texts.end()).join(u'|') +
                             (row.record.gpsTimeMs ? "|timed" : "");
            }
            return texts;
        };
        QCOMPARE(readTrackFile(folder.filePath("lines.kml")).ok, false);
        const QStringList expected = rows(QStringLiteral("lines.kml"));
        QVERIFY(!expected.isEmpty());
        QCOMPARE(rows(QStringLiteral("track.kml")), expected);
    }
};

QTEST_GUILESS_MAIN(TestTrackReader)
#include "test_trackreader.moc"
