#include "base/settings.h"
#include "gpslog/logreader.h"
#include "gpslog/matching.h"
#include "gpslog/swap.h"
#include "support/fakeview.h"
#include "support/testfiles.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <fcntl.h>
#include <unistd.h>

namespace {

const QString kData = QStringLiteral(CORVEXA_TEST_DATA);

// One row as "name|latitude|longitude|altitude|status|ghosted-or-shown".
QString summary(const PhotoList& list, int i) {
    const PhotoRow& r = list.row(i);
    QStringList parts(r.texts.begin(), r.texts.end());
    parts.append(r.ghosted ? QStringLiteral("ghosted") : QStringLiteral("shown"));
    return parts.join(u'|');
}

QStringList summaries(const PhotoList& list) {
    QStringList rows;
    for (int i = 0; i < list.count(); ++i)
        rows.append(summary(list, i));
    return rows;
}

bool sameRecord(const GpsLogRecord& a, const GpsLogRecord& b) {
    return a.fileName == b.fileName && a.fileExists == b.fileExists && a.lat == b.lat &&
           a.lon == b.lon && a.altitude == b.altitude && a.noAltitude == b.noAltitude;
}

} // namespace

class TestLogReader : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    FakeWindow m_window;

    QString path(const QString& name) const { return m_dir.filePath(name); }

    QString writeFile(const QString& name, const QByteArray& bytes) {
        QFile file(path(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(file.fileName()));
        return file.fileName();
    }

    void makePhotos(const QStringList& names) {
        for (const QString& name : names)
            writeFile(name, QByteArrayLiteral("\xFF\xD8\xFF\xD9"));
    }

    QString copyFixture(const QString& name) {
        const QString target = path(name);
        if (!QFile::copy(kData + u'/' + name, target))
            qFatal("cannot copy fixture %s", qPrintable(name));
        QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);
        return target;
    }

    LogLoadResult load(const QString& logPath) {
        RoadContext ctx = m_window.context();
        return LoadGpsLog(ctx, logPath);
    }

    void swap() {
        RoadContext ctx = m_window.context();
        swapLatLon(ctx);
    }

    void verifyButtonsAndTips() {
        const int rows = m_window.list.count();
        QCOMPARE(m_window.view.isEnabled(Control::cmdStart),
                 rows > 0 && !m_window.view.invalidShown);
        QCOMPARE(m_window.view.isEnabled(Control::cmdToggle), rows > 0);
        const QString count = rows == 0 ? QStringLiteral("未找到可添加的数据！")
                                        : QStringLiteral("共载入%1条数据！").arg(rows);
        QVERIFY2(m_window.view.tips.startsWith(count), qPrintable(m_window.view.tips));
    }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        // A comma as decimal point must not change how logs are read.
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    }

    void init() {
        QVERIFY(m_dir.remove());
        QVERIFY(QDir().mkpath(m_dir.path()));
        m_window.list.clear();
        m_window.log = GpsLogState{};
        m_window.view = FakeView{};
    }

    void textLogRows_data() {
        QTest::addColumn<QByteArray>("log");
        QTest::addColumn<bool>("autoSuffix");
        QTest::addColumn<QStringList>("rows");

        const QString shanghai = QStringLiteral("31°13′49.44″N|121°28′25.32″E");
        const QString found = QStringLiteral("IMG_0001.JPG|") + shanghai;
        QTest::newRow("commas") << QByteArray("IMG_0001.JPG,31.2304,121.4737,12.5\n") << true
                                << QStringList{found + "|12.50m|待处理|shown"};
        QTest::newRow("tabs") << QByteArray("IMG_0001.JPG\t31.2304\t121.4737\t12.5\n") << true
                              << QStringList{found + "|12.50m|待处理|shown"};
        QTest::newRow("runs of blanks")
            << QByteArray("IMG_0001.JPG   31.2304  \t121.4737    12.5\n") << true
            << QStringList{found + "|12.50m|待处理|shown"};
        QTest::newRow("blanks before minus signs, auto suffix")
            << QByteArray("IMG_0001 -31.5 -70.25\n") << true
            << QStringList{"IMG_0001.JPG|31°30′0″S|70°15′0″W||待处理|shown"};
        QTest::newRow("degrees:minutes:seconds")
            << QByteArray("IMG_0001.JPG,31:12:30,121:28:25.32,-3\nIMG_0002.JPG,-33:52:7.68,"
                          "151:12\n")
            << true
            << QStringList{"IMG_0001.JPG|31°12′30″N|121°28′25.32″E|-3.00m|待处理|shown",
                           "IMG_0002.JPG|33°52′7.68″S|151°12′0″E||待处理|shown"};
        QTest::newRow("longitude first beyond 85, line by line")
            << QByteArray("IMG_0001.JPG,86,31\nIMG_0002.JPG,85,31\n") << true
            << QStringList{"IMG_0001.JPG|31°0′0″N|86°0′0″E||待处理|shown",
                           "IMG_0002.JPG|85°0′0″N|31°0′0″E||待处理|shown"};
        QTest::newRow("missing or non-numeric altitude")
            << QByteArray("IMG_0001.JPG,31.2304,121.4737\nIMG_0002.JPG,31.2304,121.4737,abc\n"
                          "IMG_0003.JPG 31.2304 121.4737   \n")
            << true
            << QStringList{found + "||待处理|shown", "IMG_0002.JPG|" + shanghai + "||待处理|shown",
                           "IMG_0003.JPG|" + shanghai + "||待处理|shown"};
        QTest::newRow("header line")
            << QByteArray("文件名,纬度,经度,海拔\nIMG_0001.JPG,31.2304,121.4737\n") << true
            << QStringList{found + "||待处理|shown"};
        QTest::newRow("spreadsheet quotes")
            << QByteArray("\"IMG_0001.JPG\",\"31.2304\",\" 121.4737 \",\"12.5\"\r\n") << true
            << QStringList{found + "|12.50m|待处理|shown"};
        QTest::newRow("full-width commas") << QString("IMG_0001.JPG，31.2304，121.4737\n").toUtf8()
                                           << true << QStringList{found + "||待处理|shown"};
        QTest::newRow("hemisphere letters and marks")
            << QString("IMG_0001.JPG 31.2304 N 121.4737 E\nIMG_0002.JPG,S 33°52′7.68″,"
                       "151°12'33.48\"E\n")
                   .toUtf8()
            << true
            << QStringList{found + "||待处理|shown",
                           "IMG_0002.JPG|33°52′7.68″S|151°12′33.48″E||待处理|shown"};
        QTest::newRow("letters tell a longitude-first line")
            << QByteArray("IMG_0001.JPG,0.1278W,51.5072N\n") << true
            << QStringList{"IMG_0001.JPG|51°30′25.92″N|0°7′40.08″W||待处理|shown"};
        QTest::newRow("missing photo")
            << QByteArray("IMG_9999.JPG,31.2304,121.4737,12.5\n") << true
            << QStringList{"IMG_9999.JPG|" + shanghai + "|12.50m|未找到文件|ghosted"};
        QTest::newRow("xml declaration after the first row stays a text log")
            << QByteArray("IMG_0001.JPG,31.2304,121.4737\n<?xml version=\"1.0\"?>\n"
                          "IMG_0002.JPG,31.2304,121.4737\n")
            << true
            << QStringList{found + "||待处理|shown", "IMG_0002.JPG|" + shanghai + "||待处理|shown"};
        QTest::newRow("two fields without blanks are not a line")
            << QByteArray("IMG_0001.JPG,31.2\n\n   \n") << true << QStringList{};
        QTest::newRow("Chinese name before blanks")
            << QString("海边 31.5 121.5\n").toUtf8() << true
            << QStringList{"海边.JPG|31°30′0″N|121°30′0″E||待处理|shown"};
        QTest::newRow("ideographic spaces")
            << QString("IMG_0001.JPG\u300031.5\u3000121.5\n").toUtf8() << true
            << QStringList{"IMG_0001.JPG|31°30′0″N|121°30′0″E||待处理|shown"};
        QTest::newRow("empty file") << QByteArray() << true << QStringList{};
        QTest::newRow("a dot anywhere keeps the name")
            << QByteArray("IMG.0001,31.5,121.5\n") << true
            << QStringList{"IMG.0001|31°30′0″N|121°30′0″E||未找到文件|ghosted"};
        QTest::newRow("no auto suffix")
            << QByteArray("IMG_0001,31.5,121.5\n") << false
            << QStringList{"IMG_0001|31°30′0″N|121°30′0″E||未找到文件|ghosted"};
        QTest::newRow("sign kept between -1 and 0 degrees")
            << QByteArray("IMG_0001.JPG,-0.5,-0.25\nIMG_0002.JPG,-0:30:00,-0:15\n") << true
            << QStringList{"IMG_0001.JPG|0°30′0″S|0°15′0″W||待处理|shown",
                           "IMG_0002.JPG|0°30′0″S|0°15′0″W||待处理|shown"};
        QTest::newRow("same photo twice")
            << QByteArray("IMG_0001.JPG,31.5,121.5\r\nIMG_0001.JPG,31.5,121.5\r\n") << true
            << QStringList{"IMG_0001.JPG|31°30′0″N|121°30′0″E||待处理|shown",
                           "IMG_0001.JPG|31°30′0″N|121°30′0″E||与第 1 行重复|ghosted"};
        QTest::newRow("same photo in another letter case, after a blank line")
            << QByteArray("IMG_0001.JPG,31.5,121.5\n\nimg_0001.jpg,31.6,121.6\n") << true
            << QStringList{"IMG_0001.JPG|31°30′0″N|121°30′0″E||待处理|shown",
                           "IMG_0001.JPG|31°36′0″N|121°36′0″E||与第 1 行重复|ghosted"};
        QTest::newRow("fields after the fourth ignored")
            << QByteArray("IMG_0001.JPG,31.5,121.5,7,extra,more\n") << true
            << QStringList{"IMG_0001.JPG|31°30′0″N|121°30′0″E|7.00m|待处理|shown"};
    }

    void textLogRows() {
        QFETCH(QByteArray, log);
        QFETCH(bool, autoSuffix);
        QFETCH(QStringList, rows);
        makePhotos({"IMG_0001.JPG", "IMG_0002.JPG", "IMG_0003.JPG", "IMG_0004.JPG", "海边.JPG"});
        m_window.log.autoSuffix = autoSuffix;

        const LogLoadResult result = load(writeFile("track.txt", log));

        QCOMPARE(result.status, LogLoadStatus::Loaded);
        QCOMPARE(summaries(m_window.list), rows);
        QCOMPARE(result.rows, int(rows.size()));
        QVERIFY(!m_window.view.invalidShown);
        verifyButtonsAndTips();
        QVERIFY(m_window.view.yields >= rows.size());
        QVERIFY(m_window.view.messages.isEmpty());
    }

    // Whatever is no coordinate is shown as the log wrote it, says why, and keeps the batch
    // from starting; no swap makes it writable.
    void unreadableCoordinatesAreShownAndBlockTheBatch_data() {
        QTest::addColumn<QString>("field");
        QTest::newRow("empty") << "";
        QTest::newRow("letters after") << "121.4737abc";
        QTest::newRow("NaN") << "NaN";
        QTest::newRow("infinity") << "-inf";
        QTest::newRow("exponent") << "1e309";
        QTest::newRow("too large for 16 bits") << "1214737";
        QTest::newRow("40000") << "40000";
        QTest::newRow("75 minutes") << "31:75:00";
        QTest::newRow("sign and letter") << "-31.2304S";
        QTest::newRow("comma as decimal point") << "\"31,2304\"";
    }
    void unreadableCoordinatesAreShownAndBlockTheBatch() {
        QFETCH(QString, field);
        makePhotos({"IMG_0001.JPG", "IMG_0002.JPG"});

        load(writeFile("track.txt",
                       "IMG_0001.JPG,31.5,121.5\nIMG_0002.JPG," + field.toUtf8() + ",121.4737\n"));

        QCOMPARE(m_window.list.count(), 2);
        const PhotoRow& row = m_window.list.row(1);
        const QString shown = QString(field).remove(u'"'); // as a spreadsheet meant it
        QCOMPARE(row.texts[ColLatitude], shown);
        QCOMPARE(row.texts[ColStatus], QStringLiteral("坐标无法识别"));
        QVERIFY(row.record.coordinatesUnreadable);
        QVERIFY(m_window.view.invalidShown);
        QVERIFY(!m_window.view.isEnabled(Control::cmdStart));
        QCOMPARE(m_window.view.shownRows, QList<int>{1});
        QCOMPARE(m_window.view.messages.size(), 1);
        QVERIFY(m_window.view.messages[0].text.contains(QStringLiteral("1 行坐标无法识别、0 行")));
        QVERIFY(m_window.view.messages[0].text.contains(QStringLiteral("第 2 行")));

        swap();
        QVERIFY(m_window.view.invalidShown);
        QCOMPARE(m_window.list.row(1).texts[ColLongitude], shown);
    }

    // A value beyond 90° proves the column order of the whole file.
    void columnOrderIsOnePerLog_data() {
        QTest::addColumn<QByteArray>("log");
        QTest::addColumn<QStringList>("positions");
        QTest::addColumn<QString>("tip");
        QTest::newRow("longitude first: Beijing, New York, Paris")
            << QByteArray("a.jpg,116.4074,39.9042\nb.jpg,-74.0060,40.7128\nc.jpg,2.2945,48.8584\n")
            << QStringList{"39°54′15.12″N|116°24′26.64″E", "40°42′46.08″N|74°0′21.6″W",
                           "48°51′30.24″N|2°17′40.2″E"}
            << "已按经度在前读取";
        QTest::newRow("latitude first: Beijing, New York, Paris")
            << QByteArray("a.jpg,39.9042,116.4074\nb.jpg,40.7128,-74.0060\nc.jpg,48.8584,2.2945\n")
            << QStringList{"39°54′15.12″N|116°24′26.64″E", "40°42′46.08″N|74°0′21.6″W",
                           "48°51′30.24″N|2°17′40.2″E"}
            << QString();
        QTest::newRow("polar, latitude first at 86°")
            << QByteArray("a.jpg,86.5,120.25\nb.jpg,86.25,-45.5\n")
            << QStringList{"86°30′0″N|120°15′0″E", "86°15′0″N|45°30′0″W"} << "已按纬度在前读取";
        QTest::newRow("mixed: line by line")
            << QByteArray("a.jpg,116.4074,39.9042\nb.jpg,-33.8688,151.2093\n")
            << QStringList{"39°54′15.12″N|116°24′26.64″E", "33°52′7.68″S|151°12′33.48″E"}
            << "顺序前后不一";
    }
    void columnOrderIsOnePerLog() {
        QFETCH(QByteArray, log);
        QFETCH(QStringList, positions);
        QFETCH(QString, tip);
        load(writeFile("track.txt", log));
        QStringList shown;
        for (int i = 0; i < m_window.list.count(); ++i)
            shown << summary(m_window.list, i).section(u'|', 1, 2);
        QCOMPARE(shown, positions);
        QVERIFY(!m_window.view.invalidShown);
        if (tip.isEmpty())
            QCOMPARE(m_window.view.tips, QStringLiteral("共载入%1条数据！").arg(positions.size()));
        else
            QVERIFY2(m_window.view.tips.contains(tip), qPrintable(m_window.view.tips));
    }

    void namesAreFoundAsAUserExpects_data() {
        QTest::addColumn<QStringList>("photos");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("found"); // empty: not found
        QTest::newRow("exact") << QStringList{"IMG_0001.JPG"} << "IMG_0001.JPG"
                               << "IMG_0001.JPG";
        QTest::newRow("other letter case") << QStringList{"img_0001.jpg"} << "IMG_0001.JPG"
                                           << "img_0001.jpg";
        QTest::newRow("automatic suffix finds .jpg") << QStringList{"IMG_0002.jpg"} << "IMG_0002"
                                                     << "IMG_0002.jpg";
        QTest::newRow("backslash") << QStringList{"day2/IMG_0004.JPG"} << "day2\\IMG_0004.JPG"
                                   << "day2/IMG_0004.JPG";
        QTest::newRow("backslash, folder and file in other cases")
            << QStringList{"Day2/img_0004.jpg"} << "day2\\IMG_0004.JPG"
            << "Day2/img_0004.jpg";
        QTest::newRow("exact name among case twins") << QStringList{"a.jpg", "A.JPG"} << "a.jpg"
                                                     << "a.jpg";
        QTest::newRow("ambiguous case twins") << QStringList{"a.jpg", "A.JPG"} << "A.jpg"
                                              << "";
        QTest::newRow("a folder is no photo") << QStringList{"IMG.JPG/x.jpg"} << "img.jpg"
                                              << "";
    }
    void namesAreFoundAsAUserExpects() {
        QFETCH(QStringList, photos);
        QFETCH(QString, name);
        QFETCH(QString, found);
        for (const QString& photo : photos) {
            QVERIFY(QDir().mkpath(QFileInfo(path(photo)).path()));
            makePhotos({photo});
        }
        load(writeFile("track.txt", name.toUtf8() + ",31.5,121.5\n"));
        const PhotoRow& row = m_window.list.row(0);
        QCOMPARE(row.record.fileExists, !found.isEmpty());
        if (!found.isEmpty()) {
            QCOMPARE(row.record.fileName, found);
            QCOMPARE(row.texts[ColFileName], found);
            QCOMPARE(row.texts[ColStatus], status::kPending);
        }
    }

    void linesThatGiveNoRowAreCounted() {
        makePhotos({"a.jpg", "c.jpg"});
        const LogLoadResult result = load(
            writeFile("track.txt", "name,lat,lon\na.jpg,31.5,121.5\n\njust words\nb.jpg，31.6\n"
                                   "\u3000\nc.jpg\u300031.7\u3000121.7\n"));
        QCOMPARE(rowNames(m_window.list), (QStringList{"a.jpg", "c.jpg"}));
        QVERIFY(result.headerSkipped);
        QCOMPARE(result.unusedCount, qint64(2));
        QCOMPARE(result.unused.size(), 2);
        QCOMPARE(result.unused[0].number, qint64(4));
        QCOMPARE(result.unused[1].text, QStringLiteral("b.jpg，31.6"));
        QVERIFY(m_window.view.tips.contains(QStringLiteral("表头")));
        QVERIFY(m_window.view.tips.contains(QStringLiteral("另有 2 行无法识别")));
        QVERIFY(!result.nothingLeftOut());
    }

    // Markup never becomes a point, however many commas and colons it holds; a tuple glued to
    // its tags does; inside <coordinates> a word that is no tuple is counted.
    void trackPointsComeOnlyFromTuples() {
        makePhotos({"a.jpg", "b.jpg"});
        const LogLoadResult result = load(writeFile(
            "track.kml", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                         "<kml xmlns=\"http://www.opengis.net/kml/2.2\"><Document>\n"
                         "<name>Day 1: Shanghai, 10:30, 12 km</name>\n"
                         "<!-- old track: <coordinates>\n121.0,31.0,0\n</coordinates> -->\n"
                         "<Placemark><Point><coordinates xmlns=\"http://www.opengis.net/kml/2.2\">"
                         "121.4737,31.2304,10</coordinates></Point></Placemark>\n"
                         "<Placemark><LineString><coordinates>\n"
                         "  121.4740,31.2310,11 121.4745,31.2315\n"
                         "  bogus\n"
                         "  121.4750,NaN,12\n"
                         "</coordinates></LineString></Placemark>\n"
                         "</Document></kml>\n"));
        QCOMPARE(result.rows, 4);
        QCOMPARE(summary(m_window.list, 0).section(u'|', 0, 3),
                 QStringLiteral("a.jpg|31°13′49.44″N|121°28′25.32″E|10.00m"));
        QCOMPARE(summary(m_window.list, 2).section(u'|', 0, 3),
                 QStringLiteral("(无对应)|31°13′53.4″N|121°28′28.2″E|"));
        // The damaged tuple keeps its place, so no later photo takes its neighbour's point.
        QCOMPARE(summary(m_window.list, 3).section(u'|', 1, 4),
                 QStringLiteral("NaN|121°28′30″E|12.00m|坐标无法识别"));
        QVERIFY(m_window.view.invalidShown);
        QCOMPARE(result.unusedCount, qint64(1));
        QCOMPARE(result.unused[0].number, qint64(10));
        QCOMPARE(result.folderPhotos, 2);
        QVERIFY(m_window.view.tips.contains(QStringLiteral("轨迹有 4 个点，文件夹中有 2 张照片")));
    }

    // A track exported by GPSBabel: waypoints and a path, tuples glued to their tags.
    void gpsbabelTrackGivesItsPointsInOrder() {
        if (QStringLiteral(CORVEXA_GPSBABEL).isEmpty())
            QSKIP("gpsbabel is not installed");
        makePhotos({"p1.jpg", "p2.jpg", "p3.jpg"});
        writeFile("in.csv", "lat,lon,ele\n31.2304,121.4737,10\n-33.8688,151.2093,58\n"
                            "51.5072,-0.1278,-12.5\n");
        QProcess gpsbabel;
        gpsbabel.start(QStringLiteral(CORVEXA_GPSBABEL),
                       {"-i", "unicsv", "-f", path("in.csv"), "-x", "transform,trk=wpt,del", "-o",
                        "kml,points=0", "-F", path("track.kml")});
        QVERIFY(gpsbabel.waitForFinished(30000));
        QCOMPARE(gpsbabel.exitCode(), 0);

        const LogLoadResult result = load(path("track.kml"));

        QCOMPARE(summaries(m_window.list),
                 (QStringList{"p1.jpg|31°13′49.44″N|121°28′25.32″E|10.00m|待处理|shown",
                              "p2.jpg|33°52′7.68″S|151°12′33.48″E|58.00m|待处理|shown",
                              "p3.jpg|51°30′25.92″N|0°7′40.08″W|-12.50m|待处理|shown"}));
        QVERIFY(result.nothingLeftOut());
        QCOMPARE(m_window.view.tips, QStringLiteral("共载入3条数据！"));
    }

    // A name in bytes of another system keeps its place and its point, so its neighbours keep
    // theirs.
    void undecodableNamesKeepTheirPoint() {
        makePhotos({"a.jpg", "c.jpg"});
        const QByteArray raw = QFile::encodeName(m_dir.path()) + "/b\xff\xfe.jpg";
        const int fd = ::open(raw.constData(), O_CREAT | O_WRONLY, 0644);
        QVERIFY(fd >= 0);
        ::close(fd);

        const LogLoadResult result = load(copyFixture("track_5points.kml"));
        QCOMPARE(::unlink(raw.constData()), 0); // before any check: Qt cannot remove it

        QCOMPARE(rowNames(m_window.list).mid(0, 3), (QStringList{"a.jpg", "(无对应)", "c.jpg"}));
        QCOMPARE(m_window.list.row(1).texts[ColStatus], QStringLiteral("文件名无法识别"));
        QVERIFY(m_window.list.row(1).ghosted);
        QCOMPARE(result.undecodableNames, 1);
        QVERIFY(m_window.view.tips.contains(QStringLiteral("1 个文件名无法识别，未添加")));
    }

    void recordsHoldWhatTheRowsShow() {
        makePhotos({"IMG_0001.JPG"});
        load(writeFile("track.txt", "IMG_0001.JPG,-33.8688,151.2093,-12.5\nIMG_0002,1,2\n"));

        const GpsLogRecord& found = m_window.list.record(0);
        QCOMPARE(found.fileName, QStringLiteral("IMG_0001.JPG"));
        QVERIFY(found.fileExists);
        QCOMPARE(found.lat, (Dms{-33, 52, found.lat.sec, true}));
        QCOMPARE(found.lat.sec, 7.68f);
        QCOMPARE(found.lon.deg, qint16(151));
        QCOMPARE(found.altitude, -12.5f);
        QVERIFY(!found.noAltitude);

        const GpsLogRecord& missing = m_window.list.record(1);
        QCOMPARE(missing.fileName, QStringLiteral("IMG_0002.JPG"));
        QVERIFY(!missing.fileExists);
        QVERIFY(missing.noAltitude);
    }

    void fixtures_data() {
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<QStringList>("photos");
        QTest::addColumn<QStringList>("rows");

        QTest::newRow("GB18030 names")
            << "log_gb18030_names.txt" << QStringList{"照片一.JPG", "照片二.JPG"}
            << QStringList{"照片一.JPG|31°13′49.44″N|121°28′25.32″E|12.50m|待处理|shown",
                           "照片二.JPG|33°52′7.68″S|151°12′33.48″E||待处理|shown"};
        QTest::newRow("UTF-8 byte-order mark")
            << "log_utf8_bom.csv" << QStringList{"IMG_0001.JPG", "海边.JPG"}
            << QStringList{"IMG_0001.JPG|31°13′49.44″N|121°28′25.32″E||待处理|shown",
                           "海边.JPG|31°30′0″N|121°30′0″E||待处理|shown"};
        QTest::newRow("CR line ends")
            << "log_cr_only.txt" << QStringList{"IMG_0001.JPG", "IMG_0002.JPG"}
            << QStringList{"IMG_0001.JPG|31°13′49.44″N|121°28′25.32″E|12.50m|待处理|shown",
                           "IMG_0002.JPG|31°30′0″N|121°30′0″E||待处理|shown",
                           "IMG_0003.JPG|31°45′0″N|121°45′0″E||未找到文件|ghosted"};
    }

    void fixtures() {
        QFETCH(QString, fixture);
        QFETCH(QStringList, photos);
        QFETCH(QStringList, rows);
        makePhotos(photos);
        load(copyFixture(fixture));
        QCOMPARE(summaries(m_window.list), rows);
        verifyButtonsAndTips();
    }

    void tracksTakeTheFolderImagesInNameOrder_data() {
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<QStringList>("photos");
        QTest::addColumn<QStringList>("names");

        const QString none = QStringLiteral("(无对应)");
        QTest::newRow("5 points, 3 photos")
            << "track_5points.kml" << QStringList{"c.jpg", "a.JPG", "b.tif", "notes.txt"}
            << QStringList{"a.JPG", "b.tif", "c.jpg", none, none};
        QTest::newRow("2 points, 5 photos")
            << "track_2points.kml" << QStringList{"e.jpg", "d.jpg", "c.jpg", "b.jpg", "a.jpg"}
            << QStringList{"a.jpg", "b.jpg"};
        QTest::newRow("markup lines with commas are not points")
            << "track_commas_in_markup.kml" << QStringList{"a.jpg", "b.jpg", "c.jpg"}
            << QStringList{"a.jpg", "b.jpg"};
        QTest::newRow("no photos")
            << "track_2points.kml" << QStringList{} << QStringList{none, none};
    }

    void tracksTakeTheFolderImagesInNameOrder() {
        QFETCH(QString, fixture);
        QFETCH(QStringList, photos);
        QFETCH(QStringList, names);
        makePhotos(photos);

        load(copyFixture(fixture));

        QCOMPARE(m_window.list.count(), names.size());
        for (int i = 0; i < m_window.list.count(); ++i) {
            const PhotoRow& row = m_window.list.row(i);
            const bool assigned = names[i] != QStringLiteral("(无对应)");
            QCOMPARE(row.texts[ColFileName], names[i]);
            QCOMPARE(row.texts[ColStatus], assigned ? status::kPending : status::kNotFound);
            QCOMPARE(row.ghosted, !assigned);
            QCOMPARE(row.record.fileExists, assigned);
            QCOMPARE(row.record.fileName, assigned ? names[i] : QString());
        }
        // Longitude first, then latitude, in a track.
        QCOMPARE(summary(m_window.list, 0).section(u'|', 1, 3),
                 QStringLiteral("31°13′49.44″N|121°28′25.32″E|10.00m"));
        verifyButtonsAndTips();
    }

    void trackWithoutDeclarationIsATextLog() {
        load(writeFile("track.kml", "<kml>\n<coordinates>\n121.4737,31.2304,10\n</coordinates>\n"));
        QCOMPARE(summaries(m_window.list),
                 QStringList{"121.4737|31°13′49.44″N|10°0′0″E||未找到文件|ghosted"});
    }

    void loadRemembersTheFolderAndReplacesTheList() {
        makePhotos({"IMG_0001.JPG"});
        const QString first = writeFile("first.txt", "IMG_0001.JPG,95.5,95.5\nIMG_0002.JPG,1,2\n");
        load(first);
        QVERIFY(m_window.view.invalidShown);
        m_window.log.batchDone = true;

        QVERIFY(QDir().mkpath(path("sub")));
        const QString second = writeFile("sub/second.txt", "IMG_0001.JPG,31.5,121.5\n");
        QDir::setCurrent(m_dir.path());
        const LogLoadResult result = load(QStringLiteral("  sub/second.txt  "));

        QCOMPARE(result.rows, 1);
        QCOMPARE(m_window.log.logFolder, QDir(path("sub")).absolutePath() + u'/');
        QCOMPARE(settings::ReadSetting(settings::kBatchSetup, kLastFolderKey),
                 m_window.log.logFolder);
        QVERIFY(!m_window.log.batchDone);
        QVERIFY(!m_window.log.invalidData);
        QVERIFY(!m_window.view.invalidShown);
        // The photo is looked up beside the log, not in the working folder.
        QCOMPARE(m_window.list.row(0).texts[ColStatus], status::kNotFound);
        verifyButtonsAndTips();
        QDir::setCurrent(QDir::tempPath());
    }

    void missingPathChangesNothing_data() {
        QTest::addColumn<QString>("logPath");
        QTest::newRow("empty") << QString();
        QTest::newRow("blanks") << QStringLiteral("   ");
        QTest::newRow("no such file") << QStringLiteral("/nonexistent/track.txt");
        QTest::newRow("a folder") << QDir::tempPath();
    }

    void missingPathChangesNothing() {
        QFETCH(QString, logPath);
        makePhotos({"IMG_0001.JPG"});
        load(writeFile("track.txt", "IMG_0001.JPG,31.5,121.5\n"));
        const QString folder = m_window.log.logFolder;
        m_window.view.tips.clear();

        QCOMPARE(load(logPath).status, LogLoadStatus::NoSuchFile);
        QCOMPARE(m_window.list.count(), 1);
        QCOMPARE(m_window.log.logFolder, folder);
        QVERIFY(m_window.view.tips.isEmpty());
    }

    void impossiblePositionsRaiseTheIndicator_data() {
        QTest::addColumn<QByteArray>("log");
        QTest::addColumn<bool>("invalid");
        QTest::newRow("latitude 95") << QByteArray("a.jpg,100,95\n") << true;
        QTest::newRow("longitude -180") << QByteArray("a.jpg,-180,10\n") << false;
        QTest::newRow("latitude 90") << QByteArray("a.jpg,90,90\n") << false;
        QTest::newRow("latitude 90.5") << QByteArray("a.jpg,100,90.5\n") << true;
        QTest::newRow("longitude 180°30′") << QByteArray("a.jpg,10,180:30:00\n") << true;
        QTest::newRow("negative minutes") << QByteArray("a.jpg,31:-5:0,121\n") << true;
        QTest::newRow("one bad row among good ones")
            << QByteArray("a.jpg,31,121\nb.jpg,100,95\nc.jpg,31,121\n") << true;
    }

    void impossiblePositionsRaiseTheIndicator() {
        QFETCH(QByteArray, log);
        QFETCH(bool, invalid);
        makePhotos({"a.jpg", "b.jpg", "c.jpg"});
        load(writeFile("track.txt", log));
        QCOMPARE(m_window.view.invalidShown, invalid);
        QCOMPARE(m_window.log.invalidData, invalid);
        // Shown unchanged, all the same; the first is selected and a message counts them.
        QCOMPARE(m_window.list.count(), int(log.count('\n')));
        QCOMPARE(m_window.view.messages.size(), invalid ? 1 : 0);
        QCOMPARE(m_window.view.shownRows.size(), invalid ? 1 : 0);
        verifyButtonsAndTips();
    }

    void swapThatMakesEveryRowValidClearsTheIndicator() {
        makePhotos({"IMG_0001.JPG"});
        // Letters name the axes; here they name them wrongly.
        load(writeFile("track.txt", "IMG_0001.JPG,95N,88E\n"));
        QVERIFY(m_window.view.invalidShown);
        QVERIFY(!m_window.view.isEnabled(Control::cmdStart));

        swap();

        QVERIFY(!m_window.view.invalidShown);
        QVERIFY(!m_window.log.invalidData);
        QVERIFY(m_window.view.isEnabled(Control::cmdStart));
        QCOMPARE(summary(m_window.list, 0),
                 QStringLiteral("IMG_0001.JPG|88°0′0″N|95°0′0″E||待处理|shown"));
        QCOMPARE(m_window.list.record(0).lat.deg, qint16(88));
        QCOMPARE(m_window.list.record(0).lon.deg, qint16(95));
    }

    void swapThatMakesALatitudeOf121RaisesTheIndicator_data() {
        QTest::addColumn<bool>("batchDone");
        QTest::newRow("fresh list") << false;
        QTest::newRow("after a batch") << true;
    }

    void swapThatMakesALatitudeOf121RaisesTheIndicator() {
        QFETCH(bool, batchDone);
        makePhotos({"IMG_0001.JPG"});
        load(writeFile("track.txt", "IMG_0001.JPG,31,121\nIMG_0002.JPG,10,20\n"));
        m_window.log.batchDone = batchDone;

        swap();
        QVERIFY(m_window.view.invalidShown);
        QVERIFY(!m_window.view.isEnabled(Control::cmdStart));

        swap();
        QVERIFY(!m_window.view.invalidShown);
        QCOMPARE(m_window.view.isEnabled(Control::cmdStart), !batchDone);
    }

    void twoSwapsRestoreEverything() {
        makePhotos({"IMG_0001.JPG"});
        load(writeFile("track.txt", "IMG_0001.JPG,31.2304,121.4737,12.5\n"
                                    "IMG_0002.JPG,-0.5,-33:52:7.68\n"
                                    "IMG_0003.JPG,100,95\n"));
        const QStringList rows = summaries(m_window.list);
        std::vector<GpsLogRecord> records;
        for (int i = 0; i < m_window.list.count(); ++i)
            records.push_back(m_window.list.record(i));
        QVERIFY(m_window.view.invalidShown);

        swap();
        QCOMPARE(m_window.list.row(1).texts[ColLatitude], QStringLiteral("33°52′7.68″S"));
        QCOMPARE(m_window.list.row(1).texts[ColLongitude], QStringLiteral("0°30′0″W"));
        swap();

        QCOMPARE(summaries(m_window.list), rows);
        for (int i = 0; i < m_window.list.count(); ++i)
            QVERIFY(sameRecord(m_window.list.record(i), records[size_t(i)]));
        QVERIFY(m_window.view.invalidShown);
        QVERIFY(!m_window.view.isEnabled(Control::cmdStart));
    }

    void swapOfAnEmptyListDoesNothing() {
        m_window.view.invalidShown = true;
        swap();
        QVERIFY(m_window.view.invalidShown);
        QVERIFY(m_window.view.enabled_.isEmpty());
    }

    void linesBeyondTheListLimitAreCountedAndReported() {
        QByteArray log;
        const int lines = PhotoList::kMaxRows + 3;
        log.reserve(lines * 24);
        for (int i = 0; i < lines; ++i) {
            log += "P" + QByteArray::number(i) + ".JPG,31.5,121.5\n";
            if (i == PhotoList::kMaxRows + 1)
                log += "just-one-field\n";
        }

        const LogLoadResult result = load(writeFile("long.txt", log));

        QCOMPARE(result.rows, PhotoList::kMaxRows);
        QCOMPARE(result.leftOut, qint64(3));
        QCOMPARE(m_window.list.count(), PhotoList::kMaxRows);
        QCOMPARE(m_window.view.tips,
                 QStringLiteral("共载入32767条数据！另有 1 行无法识别，未载入！"));
        QCOMPARE(m_window.view.messages.size(), 1);
        QCOMPARE(m_window.view.messages[0].title, QStringLiteral("警告"));
        QCOMPARE(m_window.view.messages[0].icon, MessageIcon::Warning);
        QVERIFY(m_window.view.messages[0].text.contains(QStringLiteral(" 3 ")));
    }

    void openLogRunsTheDialogBetweenDisabledButtons_data() {
        QTest::addColumn<bool>("cancel");
        QTest::newRow("chosen") << false;
        QTest::newRow("cancelled") << true;
    }

    void openLogRunsTheDialogBetweenDisabledButtons() {
        QFETCH(bool, cancel);
        makePhotos({"IMG_0001.JPG"});
        const QString logPath = writeFile("track.txt", "IMG_0001,31.5,121.5\n");
        load(logPath);
        QVERIFY(m_window.view.isEnabled(Control::cmdStart));

        RoadContext ctx = m_window.context();
        QString offeredFolder;
        openLog(ctx, false, [&](const QString& folder) {
            offeredFolder = folder;
            [&] {
                QVERIFY(!m_window.view.isEnabled(Control::cmdOpenLog));
                QVERIFY(!m_window.view.isEnabled(Control::cmdStart));
                QVERIFY(!m_window.view.isEnabled(Control::cmdToggle));
            }();
            return cancel ? QString() : logPath;
        });

        QCOMPARE(offeredFolder, m_dir.path() + u'/');
        QVERIFY(!m_window.log.autoSuffix);
        QVERIFY(m_window.view.isEnabled(Control::cmdOpenLog));
        QCOMPARE(m_window.list.count(), 1);
        // Without the suffix the name is looked up as written.
        QCOMPARE(m_window.list.row(0).texts[ColStatus],
                 cancel ? status::kPending : status::kNotFound);
        QCOMPARE(m_window.view.isEnabled(Control::cmdStart), !cancel);
        QCOMPARE(m_window.view.isEnabled(Control::cmdToggle), !cancel);
    }
};

QTEST_GUILESS_MAIN(TestLogReader)
#include "test_logreader.moc"
