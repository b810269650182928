// The export run against the scripted codec: row results, file contents, messages, controls and
// the ways a run can fail.

#include "export/exportdriver.h"
#include "support/fakecodec.h"
#include "support/fakeview.h"
#include "support/testfiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <memory>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

Q_DECLARE_METATYPE(FakePhoto)

namespace {

const QString kDir = QStringLiteral("/photos/");

// A view that also notes what the window looked like each time the run let the event loop run.
class ObservingView : public FakeView {
public:
    explicit ObservingView(const AppState& app) : m_app(app) {}
    void yield() override {
        FakeView::yield();
        runningAtYield.append(m_app.batchRunning);
        exportEnabledAtYield.append(isEnabled(Control::cmdExport));
    }
    QList<bool> runningAtYield;
    QList<bool> exportEnabledAtYield;

private:
    const AppState& m_app;
};

struct Window {
    Window() { app.codecFactory = world.factory(); }
    RoadContext context() { return {list, log, app, view}; }

    // Queues a photo the way adding photos does: full path in the record, "-" in the columns.
    void add(const QString& name, const FakePhoto& photo, bool ghosted = false) {
        addPath(kDir + name, photo, ghosted);
    }
    void addPath(const QString& path, const FakePhoto& photo, bool ghosted = false) {
        const QString name = path.section(u'/', -1);
        world.photos.insert(path, photo);
        PhotoRow row;
        row.record.fileName = path;
        row.record.fileExists = !ghosted;
        row.texts = {name, QStringLiteral("-"), QStringLiteral("-"), QStringLiteral("-"),
                     QStringLiteral("待读取")};
        row.ghosted = ghosted;
        list.append(row);
    }

    FakeCodecWorld world;
    PhotoList list;
    GpsLogState log;
    AppState app;
    ObservingView view{app};
};

// A photo as the codec reports one with a position: labels in the list's degree form.
FakePhoto tagged(double lat, double lon, const QString& alt = {}, const QString& altRef = {}) {
    FakePhoto p;
    p.position = std::make_pair(lat, lon);
    p.strings = {{1, lat < 0 ? QStringLiteral("S") : QStringLiteral("N")},
                 {3, lon < 0 ? QStringLiteral("W") : QStringLiteral("E")}};
    p.labels = {{2, QStringLiteral("31°13′49.44″")}, {4, QStringLiteral("121°28′25.32″")}};
    if (!alt.isNull())
        p.strings.insert(6, alt);
    if (!altRef.isNull())
        p.strings.insert(5, altRef);
    return p;
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

const ExportOptions kCsv{};

ExportOptions choose(int kind, int subFormat, int dataFormat, const QList<int>& columns = {},
                     bool header = false) {
    return exportOptions(ExportChoice{kind, subFormat, dataFormat}, columns, header);
}

} // namespace

class TestExportDriver : public QObject {
    Q_OBJECT

private slots:
    void init() {
        m_tmp = std::make_unique<QTemporaryDir>();
        QVERIFY(m_tmp->isValid());
        m_dir.setPath(m_tmp->path());
        m_out = m_dir.filePath(QStringLiteral("out.csv"));
    }

    void emptyListDoesNothing() {
        Window w;
        auto ctx = w.context();
        QVERIFY(!beginExport(ctx));
        QCOMPARE(runExport(ctx, kCsv, m_out), ExportOutcome::NothingToDo);
        QVERIFY(w.view.messages.isEmpty());
        QCOMPARE(w.world.created, 0);
        QVERIFY(!QFile::exists(m_out));
    }

    void cancelledDialogDoesNothing_data() {
        QTest::addColumn<QString>("fileName");
        QTest::newRow("empty") << QString();
        QTest::newRow("blanks") << QStringLiteral("   ");
        QTest::newRow("NUL first") << QString(QChar(0)) + QStringLiteral("abc");
    }
    void cancelledDialogDoesNothing() {
        QFETCH(QString, fileName);
        Window w;
        w.add(QStringLiteral("a.jpg"), tagged(31.2304, 121.4737));
        auto ctx = w.context();
        QVERIFY(beginExport(ctx));
        QCOMPARE(runExport(ctx, kCsv, fileName), ExportOutcome::NothingToDo);
        QVERIFY(w.view.messages.isEmpty());
        QCOMPARE(w.world.created, 0);
        QCOMPARE(w.list.row(0).texts[ColStatus], QStringLiteral("待读取"));
        QVERIFY(w.view.enabled_.isEmpty());
    }

    // One photo per case: what its row shows and what its line in a CSV file holds.
    void rowResult_data() {
        QTest::addColumn<FakePhoto>("photo");
        QTest::addColumn<bool>("ghosted");
        QTest::addColumn<QStringList>("texts"); // latitude, longitude, altitude, status
        QTest::addColumn<int>("icon");
        QTest::addColumn<QByteArray>("file");

        const QString dash = QStringLiteral("-");
        const QString lat = QStringLiteral("31°13′49.44″N");
        const QString lon = QStringLiteral("121°28′25.32″E");
        const QString read = QStringLiteral("已读出");
        const QString noGps = QStringLiteral("无 GPS 数据");
        const int done = int(RowIcon::Done);
        const int failed = int(RowIcon::Failed);

        QTest::newRow("altitude") << tagged(31.2304, 121.4737, "35.2", "0") << false
                                  << QStringList{lat, lon, "35.2m", read} << done
                                  << QByteArray("a.jpg,31.2304,121.4737,35.2\r\n");
        QTest::newRow("no altitude")
            << tagged(31.2304, 121.4737) << false << QStringList{lat, lon, "", read} << done
            << QByteArray("a.jpg,31.2304,121.4737,0\r\n");
        QTest::newRow("below sea level")
            << tagged(-33.8568, -151.2093, "12.5", "1") << false
            << QStringList{"31°13′49.44″S", "121°28′25.32″W", "-12.5m", read} << done
            << QByteArray("a.jpg,-33.8568,-151.2093,-12.5\r\n");
        QTest::newRow("reference text with numeric tail")
            << tagged(31.5, 121.5, "3", "1abc") << false << QStringList{lat, lon, "-3m", read}
            << done << QByteArray("a.jpg,31.5,121.5,-3\r\n");
        QTest::newRow("non-numeric altitude")
            << tagged(31.5, 121.5, "12,5 m", "0") << false << QStringList{lat, lon, "", read}
            << done << QByteArray("a.jpg,31.5,121.5,0\r\n");
        QTest::newRow("non-finite altitude")
            << tagged(31.5, 121.5, "1e999", "0") << false << QStringList{lat, lon, "", read} << done
            << QByteArray("a.jpg,31.5,121.5,0\r\n");

        FakePhoto nulRef = tagged(31.5, 121.5);
        nulRef.strings[1] = QStringLiteral("N") + QChar(0) + QStringLiteral("garbage");
        QTest::newRow("reference cut at NUL") << nulRef << false << QStringList{lat, lon, "", read}
                                              << done << QByteArray("a.jpg,31.5,121.5,0\r\n");

        FakePhoto warnings = tagged(31.5, 121.5);
        warnings.openResult = codec::OpenedWithWarnings;
        QTest::newRow("opened with warnings")
            << warnings << false << QStringList{lat, lon, "", read} << done
            << QByteArray("a.jpg,31.5,121.5,0\r\n");

        FakePhoto latOnly = tagged(31.5, 121.5);
        latOnly.labels.remove(4);
        QTest::newRow("latitude without longitude")
            << latOnly << false << QStringList{dash, dash, dash, noGps} << failed
            << QByteArray("\r\n");

        FakePhoto unusable = tagged(31.5, 121.5, "3");
        unusable.position.reset();
        QTest::newRow("tags present but no valid position")
            << unusable << false << QStringList{dash, dash, dash, noGps} << failed
            << QByteArray("\r\n");

        FakePhoto noGpsAtAll;
        QTest::newRow("no GPS") << noGpsAtAll << false << QStringList{dash, dash, dash, noGps}
                                << failed << QByteArray("\r\n");

        FakePhoto unreadable = tagged(31.5, 121.5);
        unreadable.openResult = codec::UnknownType;
        QTest::newRow("cannot open")
            << unreadable << false << QStringList{dash, dash, dash, "打开文件失败！"} << failed
            << QByteArray("\r\n");

        QTest::newRow("ghosted") << tagged(31.5, 121.5) << true
                                 << QStringList{dash, dash, dash, "跳过"} << failed
                                 << QByteArray("\r\n");
    }
    void rowResult() {
        QFETCH(FakePhoto, photo);
        QFETCH(bool, ghosted);
        QFETCH(QStringList, texts);
        QFETCH(int, icon);
        QFETCH(QByteArray, file);

        Window w;
        w.add(QStringLiteral("a.jpg"), photo, ghosted);
        auto ctx = w.context();
        const bool anyRead = texts.last() == QStringLiteral("已读出");
        QCOMPARE(runExport(ctx, kCsv, m_out),
                 anyRead ? ExportOutcome::Exported : ExportOutcome::NothingRead);

        const PhotoRow& row = w.list.row(0);
        QCOMPARE((QStringList{row.texts[ColLatitude], row.texts[ColLongitude],
                              row.texts[ColAltitude], row.texts[ColStatus]}),
                 texts);
        QCOMPARE(int(row.icon), icon);
        QCOMPARE(readAll(m_out), file);
        QCOMPARE(w.view.shownRows, QList<int>{0});
        QCOMPARE(w.view.yields, 1);
        QCOMPARE(w.view.messages.size(), 1);
        if (anyRead) {
            QCOMPARE(w.view.messages[0].text, QStringLiteral("成功导出到 ") + m_out + "！");
            QCOMPARE(w.view.messages[0].icon, MessageIcon::Information);
        } else {
            QCOMPARE(w.view.messages[0].text, QStringLiteral("未找到有效 GPS 数据！"));
            QCOMPARE(w.view.messages[0].icon, MessageIcon::Warning);
        }
        QCOMPARE(w.view.messages[0].title, QStringLiteral("提示"));
        QCOMPARE(w.world.calls.filter("OpenFile").size(), ghosted ? 0 : 1);
    }

    // One bad altitude must not cost the other rows: the run goes on past it.
    void oddAltitudeKeepsTheRun() {
        Window w;
        w.add(QStringLiteral("a.jpg"), tagged(1, 2, "5"));
        w.add(QStringLiteral("b.jpg"), tagged(3, 4, "abc"));
        w.add(QStringLiteral("c.jpg"), tagged(5, 6, "7"));
        auto ctx = w.context();
        QCOMPARE(runExport(ctx, kCsv, m_out), ExportOutcome::Exported);
        QCOMPARE(readAll(m_out), QByteArray("a.jpg,1,2,5\r\nb.jpg,3,4,0\r\nc.jpg,5,6,7\r\n"));
    }

    void everyRowIsVisitedInOrder() {
        Window w;
        w.view.skipMaker = true; // the export never reads maker notes anyway
        w.add(QStringLiteral("a.jpg"), tagged(1, 2));
        w.add(QStringLiteral("b.jpg"), tagged(3, 4), true);
        w.add(QStringLiteral("c.jpg"), tagged(5, 6));
        auto ctx = w.context();
        QCOMPARE(runExport(ctx, kCsv, m_out), ExportOutcome::Exported);
        QCOMPARE(w.view.shownRows, (QList<int>{0, 1, 2}));
        QCOMPARE(w.world.created, 1);
        QCOMPARE(w.world.calls.filter("OpenFile"),
                 (QStringList{"OpenFile /photos/a.jpg 0 0", "OpenFile /photos/c.jpg 0 0"}));
        QCOMPARE(readAll(m_out), QByteArray("a.jpg,1,2,0\r\nc.jpg,5,6,0\r\n"));
        // Busy from the first row to the last: closing and drops are refused meanwhile.
        QCOMPARE(w.view.runningAtYield, (QList<bool>{true, true, true}));
        QCOMPARE(w.view.exportEnabledAtYield, (QList<bool>{false, false, false}));
        QVERIFY(!w.app.batchRunning);
    }

    void allRowsGhosted_data() {
        QTest::addColumn<bool>("header");
        QTest::addColumn<QByteArray>("file");
        QTest::newRow("header off") << false << QByteArray("\r\n");
        QTest::newRow("header on")
            << true << QStringLiteral("文件名,纬度,经度,海拔高度\r\n\r\n").toUtf8();
    }
    void allRowsGhosted() {
        QFETCH(bool, header);
        QFETCH(QByteArray, file);
        Window w;
        w.add(QStringLiteral("a.jpg"), tagged(1, 2), true);
        w.add(QStringLiteral("b.jpg"), tagged(1, 2), true);
        auto ctx = w.context();
        QCOMPARE(runExport(ctx, choose(0, 0, 0, {}, header), m_out), ExportOutcome::NothingRead);
        QCOMPARE(w.list.row(0).texts[ColStatus], QStringLiteral("跳过"));
        QCOMPARE(w.list.row(1).texts[ColStatus], QStringLiteral("跳过"));
        QCOMPARE(readAll(m_out), file);
        QCOMPARE(w.view.messages.size(), 1);
        QCOMPARE(w.view.messages[0].text, QStringLiteral("未找到有效 GPS 数据！"));
    }

    // Fields go out in the table's order whatever order they were ticked in.
    void headerAndFields_data() {
        QTest::addColumn<QList<int>>("ticked");
        QTest::addColumn<bool>("header");
        QTest::addColumn<int>("subFormat");
        QTest::addColumn<QString>("expected");

        QTest::newRow("nothing ticked, header on")
            << QList<int>{} << true << 0
            << QStringLiteral("文件名,纬度,经度,海拔高度\r\na.jpg,1,2,0\r\n");
        QTest::newRow("direction ticked before speed")
            << QList<int>{17, 13} << true << 0
            << QStringLiteral("文件名,纬度,经度,海拔高度,速度,朝向\r\na.jpg,1,2,0,5 km/h,90°\r\n");
        QTest::newRow("TSV, distance before track")
            << QList<int>{26, 15} << true << 1
            << QStringLiteral("文件名\t纬度\t经度\t海拔高度\t移动方向\t目的地距离\r\n"
                              "a.jpg\t1\t2\t0\t180° T\t3 km\r\n");
        QTest::newRow("all five, header off")
            << QList<int>{26, 24, 17, 15, 13} << false << 0
            << QStringLiteral("a.jpg,1,2,0,5 km/h,180° T,90°,45°,3 km\r\n");
    }
    void headerAndFields() {
        QFETCH(QList<int>, ticked);
        QFETCH(bool, header);
        QFETCH(int, subFormat);
        QFETCH(QString, expected);
        Window w;
        FakePhoto p = tagged(1, 2);
        p.labels.insert(13, QStringLiteral("5 km/h"));
        p.labels.insert(15, QStringLiteral("180° T"));
        p.labels.insert(17, QStringLiteral("90°"));
        p.labels.insert(24, QStringLiteral("45°"));
        p.labels.insert(26, QStringLiteral("3 km"));
        w.add(QStringLiteral("a.jpg"), p);
        auto ctx = w.context();
        QCOMPARE(runExport(ctx, choose(0, subFormat, 0, ticked, header), m_out),
                 ExportOutcome::Exported);
        QCOMPARE(QString::fromUtf8(readAll(m_out)), expected);
    }

    // The data-format box: degree-minute-second text in text files, always decimal in KML; the
    // optional fields never reach a KML file.
    void dataFormat_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("dataFormat");
        QTest::addColumn<QString>("line");
        QTest::newRow("CSV decimal") << 0 << 0 << "a.jpg,-33.8688,151.2093,-12.5";
        QTest::newRow("CSV DMS") << 0 << 1 << "a.jpg,33°52′7.68″S,151°12′33.48″E,-12.5";
        QTest::newRow("KML ignores DMS") << 1 << 1
                                         << "<Placemark><Point><coordinates>151.2093,-33.8688,-12.5"
                                            "</coordinates></Point></Placemark>";
    }
    void dataFormat() {
        QFETCH(int, kind);
        QFETCH(int, dataFormat);
        QFETCH(QString, line);
        Window w;
        FakePhoto p = tagged(-33.8688, 151.2093, "12.5", "1");
        p.labels.insert(13, QStringLiteral("5 km/h"));
        w.add(QStringLiteral("a.jpg"), p);
        auto ctx = w.context();
        QCOMPARE(runExport(ctx, choose(kind, 0, dataFormat, {13}), m_out), ExportOutcome::Exported);
        const QStringList lines = QString::fromUtf8(readAll(m_out)).split(QStringLiteral("\r\n"));
        if (kind == 0) {
            QCOMPARE(lines.first(), line + QStringLiteral(",5 km/h"));
        } else {
            QVERIFY2(lines.contains(line), qPrintable(lines.join(u'|')));
            QVERIFY(!w.world.calls.contains(QStringLiteral("TagValueLabel 13")));
        }
    }

    // UTF-8 without byte-order mark, CR LF everywhere, and the path used as typed.
    void fileBytes() {
        Window w;
        w.add(QStringLiteral("照片 一.jpg"), tagged(1, 2));
        auto ctx = w.context();
        const QString bare = m_dir.filePath(QStringLiteral("结果"));
        QCOMPARE(runExport(ctx, choose(1, 1, 0), QStringLiteral("  ") + bare + "  "),
                 ExportOutcome::Exported);
        const QByteArray bytes = readAll(bare);
        QVERIFY(bytes.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"));
        QCOMPARE(bytes.count("\n"), bytes.count("\r\n"));
        QVERIFY(bytes.endsWith("\r\n"));
        QVERIFY(!QFile::exists(bare + ".kml"));

        writeFile(m_out, QByteArray(5000, 'x')); // an earlier, longer file is replaced whole
        Window t;
        t.add(QStringLiteral("照片 一.jpg"), tagged(1, 2));
        auto tctx = t.context();
        QCOMPARE(runExport(tctx, kCsv, m_out), ExportOutcome::Exported);
        QCOMPARE(readAll(m_out), QStringLiteral("照片 一.jpg,1,2,0\r\n").toUtf8());
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden),
                 (QStringList{"out.csv", "结果"}));
    }

    void controlsAfterRun_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("optionsEnabled");
        QTest::newRow("text") << 0 << true;
        QTest::newRow("KML") << 1 << false;
    }
    void controlsAfterRun() {
        QFETCH(int, kind);
        QFETCH(bool, optionsEnabled);
        Window w;
        w.add(QStringLiteral("a.jpg"), tagged(1, 2));
        auto ctx = w.context();
        QCOMPARE(runExport(ctx, choose(kind, 0, 0), m_out), ExportOutcome::Exported);
        for (const Control c : {Control::cboAction, Control::cmdOpenEx, Control::cmdClear,
                                Control::cmdOpenFolder, Control::chkMakerNote})
            QVERIFY(w.view.isEnabled(c));
        QVERIFY(!w.view.isEnabled(Control::cmdExport));
        QCOMPARE(w.view.isEnabled(Control::cmdOptions), optionsEnabled);
        QVERIFY(w.log.batchDone);
        QVERIFY(!w.app.batchRunning);
    }

    // A member that raises, or a codec that cannot be made: one message, no file, and the
    // window's commands back (the list was not processed, so exporting again is allowed).
    void readPhaseFailure_data() {
        QTest::addColumn<QString>("throwOn");
        QTest::addColumn<bool>("failCreation");
        QTest::addColumn<QString>("status"); // of row 1, the row in hand
        QTest::newRow("creation") << QString() << true << QStringLiteral("待读取");
        for (const char* member :
             {"OpenFile", "IsTagExisted", "TagValueString", "TagValueLabel", "GetGpsCoordinate"})
            QTest::newRow(member) << QString::fromLatin1(member) << false
                                  << QStringLiteral("正在处理...");
    }
    void readPhaseFailure() {
        QFETCH(QString, throwOn);
        QFETCH(bool, failCreation);
        QFETCH(QString, status);
        writeFile(m_out, "earlier");
        Window w;
        w.add(QStringLiteral("a.jpg"), tagged(1, 2), true);
        w.add(QStringLiteral("b.jpg"), tagged(1, 2, "3"));
        w.add(QStringLiteral("c.jpg"), tagged(1, 2));
        w.world.throwOnCall = throwOn;
        w.world.failCreation = failCreation;
        auto ctx = w.context();
        QCOMPARE(runExport(ctx, choose(1, 0, 0), m_out), ExportOutcome::ReadFailed);

        QCOMPARE(w.view.messages.size(), 1);
        QCOMPARE(w.view.messages[0].title, QStringLiteral("错误"));
        QCOMPARE(w.view.messages[0].text,
                 QStringLiteral("内核调用失败！请重新安装 Corvexa 元数据编辑器后重试！"));
        QCOMPARE(w.view.messages[0].icon, MessageIcon::Error);
        QCOMPARE(readAll(m_out), QByteArray("earlier"));
        QCOMPARE(w.list.row(1).texts[ColStatus], status);
        QCOMPARE(w.list.row(2).texts[ColStatus], QStringLiteral("待读取"));
        for (const Control c : {Control::cboAction, Control::cmdExport, Control::cmdOpenEx,
                                Control::cmdClear, Control::cmdOpenFolder})
            QVERIFY(w.view.isEnabled(c));
        QVERIFY(!w.view.isEnabled(Control::cmdOptions)); // KML output
        QVERIFY(!w.app.batchRunning);
        QVERIFY(!w.log.batchDone);
    }

    // The file cannot be written: the rows keep what was read, the message says why, the
    // controls come back as after any run, and an earlier file of that name is as it was.
    void unwritableTarget_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("message");
        QTest::newRow("folder is a file") << "folder is a file"
                                          << "导出失败：文件夹不存在！";
        QTest::newRow("target is a folder") << "target is a folder"
                                            << "导出失败：目标不是普通文件！";
        QTest::newRow("disk full") << "disk full"
                                   << "导出失败：磁盘空间不足！";
        const QString queued = QStringLiteral("导出失败：目标文件是待导出的照片，不能覆盖！");
        QTest::newRow("a queued photo") << "a queued photo" << queued;
        QTest::newRow("a link to a queued photo") << "a link to a queued photo" << queued;
        QTest::newRow("a hard link of a queued photo") << "a hard link of a queued photo" << queued;
    }
    void unwritableTarget() {
        QFETCH(QString, kind);
        QFETCH(QString, message);
        QString target = m_out;
        QStringList leftFiles{"out.csv"};
        if (kind == QStringLiteral("folder is a file")) {
            writeFile(m_out, "earlier");
            target = m_out + QStringLiteral("/results.csv");
        } else if (kind == QStringLiteral("target is a folder")) {
            target = m_dir.filePath(QStringLiteral("sub"));
            QVERIFY(m_dir.mkpath(QStringLiteral("sub")));
        } else {
            writeFile(m_out, "earlier");
        }
        if (kind == QStringLiteral("a link to a queued photo")) {
            target = m_dir.filePath(QStringLiteral("link.csv"));
            QVERIFY(QFile::link(m_out, target));
            leftFiles.prepend(QStringLiteral("link.csv"));
        } else if (kind == QStringLiteral("a hard link of a queued photo")) {
            target = m_dir.filePath(QStringLiteral("hard.csv"));
            QCOMPARE(::link(qPrintable(m_out), qPrintable(target)), 0);
            leftFiles.prepend(QStringLiteral("hard.csv"));
        }

        Window w;
        for (int i = 0; i < 200; ++i)
            w.add(QStringLiteral("photo-%1.jpg").arg(i), tagged(31.2304, 121.4737, "35.2"));
        if (kind.contains(QStringLiteral("queued photo")))
            w.addPath(m_out, tagged(1, 2));
        auto ctx = w.context();
        ExportOutcome outcome;
        {
            // The file-size limit stands in for a full disk: writes beyond it fail with EFBIG.
            rlimit old{};
            getrlimit(RLIMIT_FSIZE, &old);
            const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
            if (kind == QStringLiteral("disk full")) {
                rlimit small = old;
                small.rlim_cur = 4096;
                setrlimit(RLIMIT_FSIZE, &small);
            }
            outcome = runExport(ctx, kCsv, target);
            setrlimit(RLIMIT_FSIZE, &old);
            std::signal(SIGXFSZ, oldHandler);
        }
        QCOMPARE(outcome, ExportOutcome::WriteFailed);
        QCOMPARE(w.view.messages.size(), 1);
        QCOMPARE(w.view.messages[0].title, QStringLiteral("错误"));
        QCOMPARE(w.view.messages[0].text, message);
        QCOMPARE(w.view.messages[0].icon, MessageIcon::Error);
        QCOMPARE(w.list.row(199).texts[ColStatus], QStringLiteral("已读出"));
        QCOMPARE(w.list.row(w.list.count() - 1).texts[ColStatus], QStringLiteral("已读出"));
        QVERIFY(w.view.isEnabled(Control::cboAction));
        QVERIFY(w.view.isEnabled(Control::cmdOpenEx));
        QVERIFY(w.view.isEnabled(Control::cmdOptions));
        QVERIFY(!w.view.isEnabled(Control::cmdExport));
        QVERIFY(!w.app.batchRunning);
        if (kind != QStringLiteral("target is a folder")) {
            QCOMPARE(readAll(m_out), QByteArray("earlier"));
            // No temporary file is left beside it.
            QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
                     leftFiles);
        }
    }

    // A file that is replaced keeps its permission bits; a link keeps leading to it.
    void replacedFileKeepsModeAndLink() {
        writeFile(m_out, "earlier");
        QVERIFY(QFile::setPermissions(m_out, QFile::ReadOwner | QFile::WriteOwner));
        const QString link = m_dir.filePath(QStringLiteral("link.csv"));
        QVERIFY(QFile::link(m_out, link));
        Window w;
        w.add(QStringLiteral("a.jpg"), tagged(1, 2));
        auto ctx = w.context();
        QCOMPARE(runExport(ctx, kCsv, link), ExportOutcome::Exported);
        QCOMPARE(QFileInfo(link).symLinkTarget(), m_out);
        QCOMPARE(readAll(m_out), QByteArray("a.jpg,1,2,0\r\n"));
        struct stat st {};
        QCOMPARE(::stat(qPrintable(m_out), &st), 0);
        QCOMPARE(st.st_mode & 0777, 0600u);
    }

    void saveDialog_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("subFormat");
        QTest::addColumn<QString>("fileName");
        QTest::newRow("CSV") << 0 << 0 << "results.csv";
        QTest::newRow("TSV") << 0 << 1 << "results.tsv";
        QTest::newRow("KML points") << 1 << 0 << "results.kml";
        QTest::newRow("KML polygon") << 1 << 2 << "results.kml";
        QTest::newRow("GPX") << 2 << 0 << "results.gpx";
    }
    void saveDialog() {
        QFETCH(int, kind);
        QFETCH(int, subFormat);
        QFETCH(QString, fileName);
        const SaveDialogSetup setup =
            exportSaveDialog(ExportChoice{kind, subFormat, 0}, QStringLiteral("/srv/照片/"));
        QCOMPARE(setup.fileName, fileName);
        QCOMPARE(setup.initDir, QStringLiteral("/srv/照片/"));
        QCOMPARE(setup.title, QStringLiteral("导出 GPS 数据"));
        QCOMPARE(setup.filter, QStringLiteral("全部文件(*.*)|*.*"));
        QCOMPARE(setup.flags, 2);
    }

private:
    std::unique_ptr<QTemporaryDir> m_tmp;
    QDir m_dir;
    QString m_out;
};

QTEST_GUILESS_MAIN(TestExportDriver)
#include "test_exportdriver.moc"
