// corvexa-gps --export end to end: the installed program's command line on photos made here and by
// ExifTool, its files read back by ExifTool's values, GPSBabel and an XML parser.

#include "support/exiftoolread.h"
#include "support/photofactory.h"
#include "support/testfiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>
#include <cmath>

namespace {

struct Run {
    int exit = -1;
    QString out;
    QString err;
};

using Position = ExifToolPosition;

QString tool(const char* path) {
    return QString::fromUtf8(path);
}

// The photos of the corpus in folder order, with what ExifTool says they hold.
const QStringList kFolderOrder{"a.jpg", "b.jpg", "c.jpg", "d.tif"};

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The GPX waypoints as GPSBabel reads them: name, latitude, longitude.
QStringList babelWaypoints(const QString& gpx) {
    QProcess babel;
    babel.start(tool(CORVEXA_GPSBABEL), {"-i", "gpx", "-f", gpx, "-o", "unicsv", "-F", "-"});
    if (!babel.waitForFinished(60000) || babel.exitCode() != 0)
        return {QStringLiteral("gpsbabel failed: ") + babel.readAllStandardError()};
    QStringList rows = QString::fromUtf8(babel.readAllStandardOutput()).split(u'\n');
    rows.removeFirst(); // the column names
    rows.removeAll(QString());
    return rows;
}

} // namespace

class TestExportCommand : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        m_photos = m_dir.filePath(QStringLiteral("photos"));
        QVERIFY(QDir().mkpath(m_photos));
        PhotoRecipe a;
        a.gps = GpsSpec{31.2304, 121.4737, 12.5};
        a.tags = {{"Exif.GPSInfo.GPSSpeedRef", "K"},
                  {"Exif.GPSInfo.GPSSpeed", "45/2"},
                  {"Exif.Photo.SubSecTimeOriginal", "25"},
                  {"Exif.Photo.OffsetTimeOriginal", "+08:00"}};
        QVERIFY(!makeJpeg(m_photos, "a.jpg", a).isEmpty());
        QVERIFY(!makeJpeg(m_photos, "c.jpg").isEmpty());
        PhotoRecipe d;
        d.gps = GpsSpec{51.500729, -0.124625, std::nullopt};
        QVERIFY(!makeTiff(m_photos, "d.tif", d).isEmpty());
        // b.jpg is tagged by ExifTool, as another program would leave it.
        QVERIFY(!makeJpeg(m_photos, "b.jpg").isEmpty());
        if (tool(CORVEXA_EXIFTOOL).isEmpty())
            QSKIP("exiftool is not installed");
        QProcess exiftool;
        exiftool.start(tool(CORVEXA_EXIFTOOL),
                       {"-q", "-overwrite_original", "-GPSLatitude=33.8568", "-GPSLatitudeRef=S",
                        "-GPSLongitude=151.2153", "-GPSLongitudeRef=E", "-GPSAltitude=12.25",
                        "-GPSAltitudeRef=1", "-GPSTrack=270.5", "-GPSTrackRef=T",
                        "-DateTimeOriginal=2023:12:31 23:59:59", "-SubSecTimeOriginal=5",
                        "-OffsetTimeOriginal=-03:30", m_photos + "/b.jpg"});
        QVERIFY(exiftool.waitForFinished(60000));
        QCOMPARE(exiftool.exitCode(), 0);
        m_expected = exiftoolPositions({m_photos});
        QCOMPARE(m_expected.size(), 3);
    }

    // Every type and option: the lines hold the photos with a position in argument order, and
    // their values agree with ExifTool's.
    void types_data() {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("firstLines"); // lines before the data, exactly
        QTest::newRow("csv by extension") << QStringList{} << "out.csv" << QStringList{};
        QTest::newRow("tsv, header, columns out of order")
            << QStringList{"--header", "--columns", "track,speed", "--type", "tsv"} << "out.txt"
            << QStringList{"文件名\t纬度\t经度\t海拔高度\t速度\t移动方向"};
        QTest::newRow("csv, dms") << QStringList{"--dms", "--columns=destdist"} << "out.csv"
                                  << QStringList{};
        QTest::newRow("kml points")
            << QStringList{"--type=kml-points"} << "out.kml" << QStringList{};
        QTest::newRow("kml path") << QStringList{"--type", "kml-path"} << "out.kml"
                                  << QStringList{};
        QTest::newRow("kml polygon")
            << QStringList{"--type", "kml-polygon"} << "out.kml" << QStringList{};
        QTest::newRow("gpx by extension") << QStringList{} << "out.gpx" << QStringList{};
    }
    void types() {
        QFETCH(QStringList, options);
        QFETCH(QString, file);
        QFETCH(QStringList, firstLines);
        const QString out = freshOutput(file);
        const Run run = exportTo(out, options + QStringList{m_photos});
        QCOMPARE(run.exit, 1); // c.jpg has no position
        QCOMPARE(run.err, m_photos + QStringLiteral("/c.jpg: 无 GPS 数据\n"));
        QCOMPARE(run.out, QStringLiteral("已导出 3 张照片的位置到 %1，1 张无位置\n").arg(out));

        const QByteArray bytes = readAll(out);
        QCOMPARE(bytes.count("\n"), bytes.count("\r\n"));
        const QStringList order{"a.jpg", "b.jpg", "d.tif"};
        if (file.endsWith(QStringLiteral(".kml"))) {
            checkKml(bytes, order);
        } else if (file.endsWith(QStringLiteral(".gpx"))) {
            checkGpx(out, bytes, order);
        } else {
            QStringList lines = QString::fromUtf8(bytes).split(QStringLiteral("\r\n"));
            QCOMPARE(lines.takeLast(), QString());
            QCOMPARE(lines.mid(0, firstLines.size()), firstLines);
            checkText(lines.mid(firstLines.size()), order, options);
        }
    }

    // Inputs in argument order: a name list (as the add-files dialog reads one), a folder, one
    // photo; the same photo twice is exported twice, as the window would.
    void inputsInArgumentOrder() {
        const QString list = m_dir.filePath(QStringLiteral("names.txt"));
        writeFile(list, "photos/d.tif\r\n\r\nphotos/b.jpg,1,2\r\nmissing\r\n");
        const QString out = freshOutput(QStringLiteral("order.csv"));
        const Run run = exportTo(out, {"@" + list, m_photos + "/a.jpg"});
        QCOMPARE(run.exit, 1);
        // A name without extension is taken as a JPEG, as in the add-files dialog.
        QCOMPARE(run.err, m_dir.filePath(QStringLiteral("missing.JPG: 未找到文件\n")));
        const QStringList lines = QString::fromUtf8(readAll(out)).split(QStringLiteral("\r\n"));
        QStringList names;
        for (const QString& line : lines)
            names.append(line.section(u',', 0, 0));
        QCOMPARE(names, (QStringList{"d.tif", "b.jpg", "a.jpg", ""}));
    }

    void exitStatuses_data() {
        QTest::addColumn<QStringList>("arguments"); // after --export; OUT is the first
        QTest::addColumn<int>("exit");
        QTest::addColumn<bool>("written");
        QTest::addColumn<QString>("err");
        const QString a = m_photos + "/a.jpg";
        const QString c = m_photos + "/c.jpg";
        QTest::newRow("every photo has a position") << QStringList{"@out", a} << 0 << true << "";
        QTest::newRow("no photo has a position")
            << QStringList{"@out", c} << 2 << false << "未找到有效 GPS 数据！";
        QTest::newRow("no input") << QStringList{"@out"} << 2 << false << "未给出照片";
        QTest::newRow("unknown type")
            << QStringList{"@out", "--type", "shp", a} << 2 << false << "未知的输出类型：shp";
        QTest::newRow("unknown column") << QStringList{"@out", "--columns", "speed,height", a} << 2
                                        << false << "未知的列：height";
        QTest::newRow("columns with kml")
            << QStringList{"@out", "--type", "kml-path", "--columns", "speed", a} << 2 << false
            << "只适用于 csv 和 tsv";
        QTest::newRow("unknown option")
            << QStringList{"@out", "--fast", a} << 2 << false << "未知的选项：--fast";
        QTest::newRow("XML as name list")
            << QStringList{"@out", "@" + m_dir.filePath("list.xml"), a} << 2 << false
            << "无效记录文件类型！";
        QTest::newRow("folder in a missing folder")
            << QStringList{m_dir.filePath("none/out.csv"), a} << 2 << false << "文件夹不存在";
        QTest::newRow("target is a folder")
            << QStringList{m_dir.path(), a} << 2 << false << "目标不是普通文件";
    }
    void exitStatuses() {
        QFETCH(QStringList, arguments);
        QFETCH(int, exit);
        QFETCH(bool, written);
        QFETCH(QString, err);
        writeFile(m_dir.filePath("list.xml"), "<?xml version=\"1.0\"?>\n<names/>\n");
        const QString out = freshOutput(QStringLiteral("status.csv"));
        if (arguments.first() == QStringLiteral("@out"))
            arguments.first() = out;
        const Run run = exportTo(arguments.takeFirst(), arguments);
        QCOMPARE(run.exit, exit);
        QCOMPARE(QFile::exists(out), written);
        QVERIFY2(run.err.contains(err), qPrintable(run.err));
        QCOMPARE(run.out.isEmpty(), !written);
    }

    // Whatever name leads to a queued photo, the photo is never written; the message says why.
    void queuedPhotoIsNeverTheTarget_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("same name") << "same name";
        QTest::newRow("symbolic link") << "symbolic link";
        QTest::newRow("hard link") << "hard link";
        QTest::newRow("through a linked folder") << "through a linked folder";
    }
    void queuedPhotoIsNeverTheTarget() {
        QFETCH(QString, how);
        const QString photo = m_photos + QStringLiteral("/a.jpg");
        const QByteArray before = readAll(photo);
        QString target = photo;
        const QString link = m_dir.filePath(QStringLiteral("target.csv"));
        QFile::remove(link);
        QDir(m_dir.filePath("linked")).removeRecursively();
        QFile::remove(m_dir.filePath("linked"));
        if (how == QStringLiteral("symbolic link")) {
            QVERIFY(QFile::link(photo, link));
            target = link;
        } else if (how == QStringLiteral("hard link")) {
            QCOMPARE(::link(qPrintable(photo), qPrintable(link)), 0);
            target = link;
        } else if (how == QStringLiteral("through a linked folder")) {
            QVERIFY(QFile::link(m_photos, m_dir.filePath("linked")));
            target = m_dir.filePath("linked/a.jpg");
        }
        const Run run = exportTo(target, {m_photos});
        QCOMPARE(run.exit, 2);
        QVERIFY2(run.err.contains(QStringLiteral("目标文件是待导出的照片")), qPrintable(run.err));
        QCOMPARE(readAll(photo), before);
        QFile::remove(link);
        QFile::remove(m_dir.filePath("linked"));
        QCOMPARE(QDir(m_photos).entryList(QDir::Files | QDir::Hidden), kFolderOrder);
    }

    // No display and no platform plugin (xcb without a display would abort), and the settings
    // file is neither made nor changed.
    void headlessAndWithoutSettings() {
        const QString settingsFile = m_dir.filePath(QStringLiteral("SETTINGS.INI"));
        QFile::remove(settingsFile);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("CORVEXA_SETTINGS_FILE"), settingsFile);
        const QString out = freshOutput(QStringLiteral("headless.csv"));
        const Run run = exportTo(out, {m_photos + "/a.jpg"}, env);
        QCOMPARE(run.exit, 0);
        QVERIFY(QFile::exists(out));
        QVERIFY(!QFile::exists(settingsFile));
    }

private:
    QString freshOutput(const QString& name) {
        const QString out = m_dir.filePath(name);
        QFile::remove(out);
        return out;
    }

    Run exportTo(const QString& out, const QStringList& arguments,
                 const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
        QProcess p;
        QProcessEnvironment withZone = env;
        // Photos without a zone of their own are taken in this computer's zone.
        withZone.insert(QStringLiteral("TZ"), QStringLiteral("JST-9"));
        p.setProcessEnvironment(withZone);
        p.start(tool(CORVEXA_APP_EXE), QStringList{"--export", out} + arguments);
        if (!p.waitForFinished(60000))
            return {};
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
                QString::fromUtf8(p.readAllStandardOutput()),
                QString::fromUtf8(p.readAllStandardError())};
    }

    // Against ExifTool's values; a photo without altitude counts as 0 where one is given.
    void compare(const QString& name, double latitude, double longitude,
                 std::optional<double> altitude) const {
        QVERIFY2(m_expected.contains(name), qPrintable(name));
        const Position& e = m_expected[name];
        QVERIFY2(std::fabs(latitude - e.latitude) < 1e-6, qPrintable(name));
        QVERIFY2(std::fabs(longitude - e.longitude) < 1e-6, qPrintable(name));
        if (altitude)
            QVERIFY2(std::fabs(altitude.value_or(0) - e.altitude.value_or(0)) < 1e-6,
                     qPrintable(name));
    }

    // 33°52′7.68″S as signed degrees.
    static double dmsValue(const QString& text) {
        static const QRegularExpression dms(QStringLiteral("^(\\d+)°(\\d+)′([\\d.]+)″([NSEW])$"));
        const auto m = dms.match(text);
        if (!m.hasMatch())
            return qQNaN();
        const double value = m.captured(1).toDouble() + m.captured(2).toDouble() / 60 +
                             m.captured(3).toDouble() / 3600;
        return m.captured(4) == "S" || m.captured(4) == "W" ? -value : value;
    }

    void checkText(const QStringList& lines, const QStringList& order,
                   const QStringList& options) const {
        const bool tsv = options.contains(QStringLiteral("tsv"));
        const bool dms = options.contains(QStringLiteral("--dms"));
        QCOMPARE(lines.size(), order.size());
        for (int i = 0; i < lines.size(); ++i) {
            const QStringList f = lines[i].split(tsv ? u'\t' : u',');
            QCOMPARE(f[0], order[i]);
            // DMS text keeps seconds to 0.01″ (0.3 m); decimal degrees are exact.
            if (dms) {
                QVERIFY(std::fabs(dmsValue(f[1]) - m_expected[f[0]].latitude) < 3e-6);
                QVERIFY(std::fabs(dmsValue(f[2]) - m_expected[f[0]].longitude) < 3e-6);
                QCOMPARE(f.size(), 5);
            } else {
                compare(f[0], f[1].toDouble(), f[2].toDouble(), f[3].toDouble());
            }
            if (tsv) {
                QCOMPARE(f.size(), 6);
                // Speed before track, whatever order --columns named them in.
                QCOMPARE(f[4], f[0] == "a.jpg" ? QStringLiteral("22.5 km/h") : QString());
                QVERIFY2(f[5].isEmpty() == (f[0] != "b.jpg"), qPrintable(lines[i]));
            }
        }
    }

    void checkKml(const QByteArray& kml, const QStringList& order) const {
        QXmlStreamReader xml(kml);
        QStringList tuples;
        while (!xml.atEnd()) {
            if (xml.readNext() == QXmlStreamReader::StartElement &&
                xml.name() == QLatin1String("coordinates"))
                tuples +=
                    xml.readElementText().split(QRegularExpression("\\s+"), Qt::SkipEmptyParts);
        }
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        QCOMPARE(tuples.size(), order.size());
        for (int i = 0; i < tuples.size(); ++i) {
            const QStringList v = tuples[i].split(u',');
            compare(order[i], v[1].toDouble(), v[0].toDouble(), v[2].toDouble());
        }
    }

    // GPX 1.1: the root's namespace, version and creator, waypoints with lat and lon, their
    // children in the schema's order (ele, time, name), ele only with an altitude, time in UTC.
    void checkGpx(const QString& path, const QByteArray& gpx, const QStringList& order) const {
        QXmlStreamReader xml(gpx);
        QVERIFY(xml.readNextStartElement());
        QCOMPARE(xml.name(), QLatin1String("gpx"));
        QCOMPARE(xml.namespaceUri(), QLatin1String("http://www.topografix.com/GPX/1/1"));
        QCOMPARE(xml.attributes().value("version"), QLatin1String("1.1"));
        QVERIFY(xml.attributes().value("creator").startsWith(QLatin1String("corvexa-gps")));
        const QStringList times{"2024-05-01T02:20:30.25Z", "2024-01-01T03:29:59.5Z",
                                "2024-05-01T01:20:30Z"};
        int i = 0;
        while (xml.readNextStartElement()) {
            QCOMPARE(xml.name(), QLatin1String("wpt"));
            QVERIFY(i < order.size());
            const double lat = xml.attributes().value("lat").toDouble();
            const double lon = xml.attributes().value("lon").toDouble();
            QStringList children;
            std::optional<double> ele;
            while (xml.readNextStartElement()) {
                children.append(xml.name().toString());
                const QString text = xml.readElementText();
                if (children.last() == "ele")
                    ele = text.toDouble();
                else if (children.last() == "time")
                    QCOMPARE(text, times[i]);
                else
                    QCOMPARE(text, order[i]);
            }
            const QStringList expected = m_expected[order[i]].altitude
                                             ? QStringList{"ele", "time", "name"}
                                             : QStringList{"time", "name"};
            QCOMPARE(children, expected);
            compare(order[i], lat, lon, ele);
            ++i;
        }
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        QCOMPARE(i, order.size());

        if (tool(CORVEXA_GPSBABEL).isEmpty())
            QSKIP("gpsbabel is not installed");
        const QStringList read = babelWaypoints(path);
        QCOMPARE(read.size(), order.size());
        for (int k = 0; k < read.size(); ++k) {
            const QStringList f = read[k].split(u',');
            QVERIFY2(f.size() >= 4, qPrintable(read[k]));
            QCOMPARE(f[3], QLatin1Char('"') + order[k] + QLatin1Char('"'));
            compare(order[k], f[1].toDouble(), f[2].toDouble(), std::nullopt);
        }
    }

    QTemporaryDir m_dir;
    QString m_photos;
    QHash<QString, Position> m_expected;
};

QTEST_GUILESS_MAIN(TestExportCommand)
#include "test_exportcommand.moc"
