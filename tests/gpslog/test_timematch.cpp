// Photos matched to a timed track by capture time: the photos' times are set by ExifTool, the
// positions checked against ExifTool's own geotagging of the same photos and track.

#include "base/settings.h"
#include "base/startup.h"
#include "gpslog/logreader.h"
#include "gpslog/timematch.h"
#include "gpslog/tracklog.h"
#include "support/fakeview.h"
#include "support/photofactory.h"
#include "support/testfiles.h"
#include "writer/batchwriter.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(TimeSettings)

namespace {

const QString kExifTool = QStringLiteral(CORVEXA_EXIFTOOL);

// Segment one: a point a minute from 08:00 to 08:10 UTC, then two more after a 40-minute gap
// (08:50, 08:51). Segment two: 10:00 to 10:05, without elevation.
QByteArray trackGpx() {
    QByteArray gpx = "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\" creator=\"hand\" "
                     "xmlns=\"http://www.topografix.com/GPX/1/1\"><trk><trkseg>\n";
    for (const int minute : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 50, 51}) {
        gpx += QStringLiteral("<trkpt lat=\"%1\" lon=\"%2\"><ele>%3</ele>"
                              "<time>2024-05-01T08:%4:00Z</time></trkpt>\n")
                   .arg(31.2304 + 0.001 * minute, 0, 'f', 7)
                   .arg(121.4737 + 0.0013 * minute, 0, 'f', 7)
                   .arg(10 + minute)
                   .arg(minute, 2, 10, QLatin1Char('0'))
                   .toUtf8();
    }
    gpx += "</trkseg><trkseg>\n";
    for (int minute = 0; minute <= 5; ++minute) {
        gpx += QStringLiteral("<trkpt lat=\"%1\" lon=\"%2\"><time>2024-05-01T10:0%3:00Z</time>"
                              "</trkpt>\n")
                   .arg(31.30 + 0.0005 * minute, 0, 'f', 7)
                   .arg(121.50 - 0.0007 * minute, 0, 'f', 7)
                   .arg(minute)
                   .toUtf8();
    }
    return gpx + "</trkseg></trk></gpx>\n";
}

struct Shot {
    const char* name;
    const char* dateTime; // DateTimeOriginal, empty for none
    const char* subSec;
    const char* offset; // OffsetTimeOriginal
};

// Camera clock on UTC+08:00 unless the photo says otherwise.
const Shot kShots[] = {
    {"a_inside.jpg", "2024:05:01 16:03:20", "", ""},
    {"b_subsec.jpg", "2024:05:01 16:04:10", "5", ""},
    {"c_own_zone.jpg", "2024:05:01 08:05:30", "", "+00:00"},
    {"d_before.jpg", "2024:05:01 15:59:20", "", ""},
    {"e_in_gap.jpg", "2024:05:01 16:12:00", "", ""},
    {"f_between.jpg", "2024:05:01 17:00:00", "", ""},
    {"g_no_time.jpg", "", "", ""},
    {"h_second.jpg", "2024:05:01 18:02:30", "", ""},
};

const QString kIn = QStringLiteral("待处理（插值）");
const QString kOut = QStringLiteral("不在轨迹时间范围内");
const QString kNoCapture = QStringLiteral("无拍摄时间");

QStringList statusTexts(const PhotoList& list) {
    QStringList texts;
    for (int i = 0; i < list.count(); ++i)
        texts << list.row(i).texts[ColStatus];
    return texts;
}

QString exiftool(const QStringList& arguments, const QByteArray& tz = "UTC") {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TZ"), QString::fromLatin1(tz));
    process.setProcessEnvironment(env);
    process.start(kExifTool, arguments);
    process.waitForFinished(60000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

// name -> GPSDateTime, latitude, longitude, as ExifTool reads the photos of folder.
QMap<QString, QStringList> geotags(const QString& folder) {
    QMap<QString, QStringList> tags;
    const QString text = exiftool(
        {"-n", "-T", "-filename", "-gpsdatetime", "-gpslatitude#", "-gpslongitude#", folder});
    for (const QString& line : text.split(u'\n', Qt::SkipEmptyParts)) {
        const QStringList f = line.split(u'\t');
        if (f.size() == 4 && f[2] != u'-')
            tags[f[0]] = f.mid(1);
    }
    return tags;
}

} // namespace

class TestTimeMatch : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    FakeWindow m_window;

    LogLoadResult load(const TimeSettings& time) {
        m_window.log.time = time;
        RoadContext ctx = m_window.context();
        return LoadGpsLog(ctx, m_dir.filePath("track.gpx"));
    }

    static TimeSettings zone(int minutes) {
        TimeSettings time;
        time.cameraZoneMinutes = minutes;
        return time;
    }

private slots:
    void initTestCase() {
        if (kExifTool.isEmpty())
            QSKIP("exiftool is not installed");
        writeFile(m_dir.filePath("track.gpx"), trackGpx());
        PhotoRecipe plain;
        plain.exif = false;
        for (const Shot& shot : kShots) {
            const QString path = makeJpeg(m_dir.path(), shot.name, plain);
            QStringList arguments{"-q", "-overwrite_original"};
            if (*shot.dateTime)
                arguments << QStringLiteral("-DateTimeOriginal=") + shot.dateTime;
            if (*shot.subSec)
                arguments << QStringLiteral("-SubSecTimeOriginal=") + shot.subSec;
            if (*shot.offset)
                arguments << QStringLiteral("-OffsetTimeOriginal=") + shot.offset;
            if (arguments.size() > 2)
                exiftool(arguments << path);
        }
    }

    void statuses_data() {
        QTest::addColumn<TimeSettings>("time");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QString>("tips");
        const QStringList usual{kIn,  kIn,  kIn,        QStringLiteral("相差 40 秒"),
                                kOut, kOut, kNoCapture, kIn};
        QTest::newRow("camera on UTC+08:00, 30 minutes gap")
            << zone(8 * 60) << usual << QStringLiteral("共载入19条数据！");
        TimeSettings wideGap = zone(8 * 60);
        wideGap.maxGapSeconds = 3600;
        QTest::newRow("a wider maximum gap bridges 40 minutes, never two segments")
            << wideGap
            << QStringList{kIn, kIn, kIn, QStringLiteral("相差 40 秒"), kIn, kOut, kNoCapture, kIn}
            << QString();
        TimeSettings clock = zone(7 * 60);
        clock.clockSeconds = -3600;
        QTest::newRow("UTC+07:00 and a clock an hour fast: the own-zone photo moves out")
            << clock << QStringList{kIn,  kIn,  kOut,       QStringLiteral("相差 40 秒"),
                                    kOut, kOut, kNoCapture, kIn}
            << QString();
        TimeSettings cameraZoneOnly = zone(8 * 60);
        cameraZoneOnly.photoZoneFirst = false;
        QTest::newRow("photo's own zone turned off")
            << cameraZoneOnly << QStringList{kIn,  kIn,  kOut,       QStringLiteral("相差 40 秒"),
                                             kOut, kOut, kNoCapture, kIn}
            << QString();
        QTest::newRow("camera zone left at UTC: only the photo with its own zone")
            << zone(0) << QStringList{kOut, kOut, kIn, kOut, kOut, kOut, kNoCapture, kOut}
            << QString();
        TimeSettings wrongZone = zone(-60);
        wrongZone.photoZoneFirst = false;
        QTest::newRow("no photo inside, nine hours off: the tips suggest UTC+08:00")
            << wrongZone << QStringList{kOut, kOut, kOut, kOut, kOut, kOut, kNoCapture, kOut}
            << QStringLiteral("照片时间与轨迹相差约 9 小时：相机时区可能应为 UTC+08:00");
    }

    void statuses() {
        QFETCH(TimeSettings, time);
        QFETCH(QStringList, expected);
        QFETCH(QString, tips);
        QCOMPARE(load(time).status, LogLoadStatus::Loaded);
        QCOMPARE(statusTexts(m_window.list), expected);
        QVERIFY2(m_window.view.tips.contains(tips), qPrintable(m_window.view.tips));
        QCOMPARE(m_window.view.isEnabled(Control::cmdStart), expected.contains(kIn));
    }

    // The index alone, on tracks where the arithmetic has edges.
    void interpolation_data() {
        QTest::addColumn<QList<double>>("points"); // lat, lon, seconds; a NaN starts a segment
        QTest::addColumn<double>("at");            // seconds
        QTest::addColumn<QString>("expected");     // kind lat lon nearest-ms
        const double cut = std::numeric_limits<double>::quiet_NaN();
        QTest::newRow("across 180°, the short way")
            << QList<double>{10, 179.9, 0, 10.2, -179.9, 10} << 5.0 << "0 10.1 180.0 5000";
        QTest::newRow("a lone point takes photos within a minute")
            << QList<double>{10, 20, 0} << 60.0 << "1 10.0 20.0 60000";
        QTest::newRow("just beyond a minute") << QList<double>{10, 20, 0} << 60.001 << "2";
        QTest::newRow("segments are not bridged, the nearer end wins")
            << QList<double>{10, 20, 0, 11, 21, 100, cut, 12, 22, 130} << 115.0
            << "1 12.0 22.0 15000";
    }

    void interpolation() {
        QFETCH(QList<double>, points);
        QFETCH(double, at);
        QFETCH(QString, expected);
        Track track;
        track.beginSegment();
        for (qsizetype i = 0; i < points.size();) {
            if (std::isnan(points[i])) {
                track.beginSegment();
                ++i;
                continue;
            }
            TrackPoint p;
            p.latitude = points[i];
            p.longitude = points[i + 1];
            p.timeMs = qint64(points[i + 2] * 1000);
            track.points.push_back(p);
            i += 3;
        }
        const TimeMatch m = TimeIndex(track, 1800).match(qint64(at * 1000));
        QString got = QString::number(int(m.kind));
        if (m.kind != MatchKind::OutOfRange)
            got += QStringLiteral(" %1 %2 %3")
                       .arg(m.latitude, 0, 'f', 1)
                       .arg(std::abs(m.longitude), 0, 'f', 1)
                       .arg(m.nearestMs);
        QCOMPARE(got, expected);
    }

    // The dialog's changes re-match the rows in place.
    void rematchFollowsTheSettings() {
        load(zone(0));
        const int rows = m_window.list.count();
        m_window.log.time = zone(8 * 60);
        RoadContext ctx = m_window.context();
        rematchTimedTrack(ctx);
        QCOMPARE(m_window.list.count(), rows);
        QCOMPARE(statusTexts(m_window.list).first(), kIn);
        QVERIFY(m_window.view.isEnabled(Control::cmdStart));
    }

    // Every photo inside a segment's span (and the one taking a segment's start) gets ExifTool's
    // position within 1e-6 degrees and its GPS date and time.
    void agreesWithExifTool() {
        load(zone(8 * 60));
        RoadContext ctx = m_window.context();
        const BatchResult result = cmdStart_Click(ctx);
        QCOMPARE(result.written, 5);

        QTemporaryDir oracle;
        for (const Shot& shot : kShots)
            QVERIFY(QFile::copy(m_dir.filePath(shot.name), oracle.filePath(shot.name)));
        // ExifTool reads a photo without zone in the zone of TZ (POSIX "CST-8" is UTC+08:00); the
        // later assignment, with sub-seconds and the photo's zone, wins where the photo has them.
        exiftool({"-q", "-overwrite_original", "-geotag", m_dir.filePath("track.gpx"),
                  "-geotime<DateTimeOriginal", "-geotime<SubSecDateTimeOriginal", "-api",
                  "GeoMaxExtSecs=60", oracle.path()},
                 "CST-8");
        const QMap<QString, QStringList> ours = geotags(m_dir.filePath("results"));
        const QMap<QString, QStringList> theirs = geotags(oracle.path());
        for (const char* name :
             {"a_inside.jpg", "b_subsec.jpg", "c_own_zone.jpg", "d_before.jpg", "h_second.jpg"}) {
            const QStringList a = ours.value(name);
            const QStringList b = theirs.value(name);
            QVERIFY2(a.size() == 3 && b.size() == 3,
                     qPrintable(name + (u' ' + a.join(u' ')) + u'/' + b.join(u' ')));
            QCOMPARE(a[0], b[0]);
            QVERIFY2(std::abs(a[1].toDouble() - b[1].toDouble()) < 1e-6, name);
            QVERIFY2(std::abs(a[2].toDouble() - b[2].toDouble()) < 1e-6, name);
        }
        QVERIFY(!ours.contains("e_in_gap.jpg"));
    }

    // The program itself: the options win over the stored zone, every photo is named with how it
    // matched or why not, and the exit status says some rows were not written.
    void silentRunWithOptions_data() {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("camera zone from the command line")
            << QStringList{"--tz=+08:00", "--max-gap=1800"} << 1
            << QStringList{"a_inside.jpg 处理成功！（待处理（插值））",
                           "d_before.jpg 处理成功！（相差 40 秒）",
                           "g_no_time.jpg 跳过（无拍摄时间）",
                           "成功处理 5 个文件，处理结果已保存到 results 子文件夹中！"};
        QTest::newRow("a zone off the 15-minute steps is refused")
            << QStringList{"--tz=+08:10"} << 2 << QStringList{"传入参数有误！"};
    }

    void silentRunWithOptions() {
        QFETCH(QStringList, options);
        QFETCH(int, exitCode);
        QFETCH(QStringList, lines);
        QVERIFY(settings::WriteSetting(QLatin1String(settings::kBatchSetup),
                                       QStringLiteral("CameraTimeZone"), QStringLiteral("-05:00")));
        QProcess program;
        program.start(QStringLiteral(CORVEXA_APP_EXE),
                      QStringList{m_dir.filePath("track.gpx"), "-silent"} + options);
        QVERIFY(program.waitForFinished(60000));
        const QString output =
            QString::fromUtf8(program.readAllStandardOutput() + program.readAllStandardError());
        QCOMPARE(program.exitCode(), exitCode);
        for (const QString& line : lines)
            QVERIFY2(output.contains(line), qPrintable(output));
    }

    void commandLineOptions_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("parsed"); // zone minutes, clock seconds, gap seconds
        QTest::newRow("all three") << QStringList{"--tz=+08:00", "--clock=-75", "--max-gap=900"}
                                   << QStringLiteral("480 -75 900");
        QTest::newRow("h:m:s clock, half-hour zone")
            << QStringList{"--tz=-03:30", "--clock=-0:01:15"} << QStringLiteral("-210 -75 -");
        QTest::newRow("zone off the 15-minute steps")
            << QStringList{"--tz=+08:10"} << QStringLiteral("malformed");
        QTest::newRow("zone beyond +14:00")
            << QStringList{"--tz=+15:00"} << QStringLiteral("malformed");
        QTest::newRow("gap of no seconds")
            << QStringList{"--max-gap=0"} << QStringLiteral("malformed");
    }

    void commandLineOptions() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, parsed);
        const CommandLine line = parseCommandLine(arguments << "log.gpx"
                                                            << "-silent");
        const auto text = [](const std::optional<int>& v) {
            return v ? QString::number(*v) : QStringLiteral("-");
        };
        QCOMPARE(line.malformed
                     ? QStringLiteral("malformed")
                     : text(line.time.cameraZoneMinutes) + u' ' + text(line.time.clockSeconds) +
                           u' ' + text(line.time.maxGapSeconds),
                 parsed);
        QCOMPARE(line.logPath, QStringLiteral("log.gpx"));
    }
};

QTEST_GUILESS_MAIN(TestTimeMatch)
#include "test_timematch.moc"
