#include "base/settings.h"
#include "gpslog/drops.h"
#include "photolist/addphotos.h"
#include "support/fakeview.h"
#include "support/testfiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr int kImport = 0;
constexpr int kExport = 1;

} // namespace

class TestDrops : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString path(const QString& name) const { return m_dir.filePath(name); }

private slots:
    void init() {
        QVERIFY(m_dir.isValid());
        QFile::remove(settings::defaultSettingsFile());
    }

    void exportQueuesNamesWithADot() {
        writeFile(path("a.jpg"));
        writeFile(path("b.jpg"));
        writeFile(path("noext"));
        QDir().mkpath(path("photos.2020"));
        FakeWindow w;
        w.view.actionIndex = kExport;
        auto ctx = w.context();
        AddPhoto(ctx, path("a.jpg"), false);
        // Dropping onto a finished run's list extends it.
        w.log.batchDone = true;
        w.view.setEnabled(Control::cmdExport, false);

        dropFiles(ctx, {path("a.jpg"), path("b.jpg"), path("noext"), path("photos.2020")});

        QCOMPARE(rowNames(w.list), (QStringList{"a.jpg", "b.jpg", "photos.2020"}));
        QCOMPARE(w.list.row(1).texts[ColStatus], status::kToRead);
        QCOMPARE(w.list.row(2).texts[ColStatus], status::kNotFound);
        QVERIFY(w.list.row(2).ghosted);
        QVERIFY(w.view.messages.isEmpty());
        QVERIFY(w.view.isEnabled(Control::cmdExport));
        QVERIFY(w.view.isEnabled(Control::cmdClear));
        QCOMPARE(w.view.focused, Control::cmdExport);
        QVERIFY(w.log.batchDone);
        QVERIFY(settings::ReadSetting(QString::fromLatin1(settings::kBatchSetup),
                                      QStringLiteral("LastFolder"))
                    .isEmpty());
    }

    void importLoadsOnlyTheFirstLog() {
        writeFile(path("one.txt"), "a.jpg,31.5,121.2\r\nb.jpg,31.6,121.3\r\n");
        writeFile(path("two.txt"), "c.jpg,1,2\r\n");
        FakeWindow w;
        w.view.actionIndex = kImport;
        auto ctx = w.context();
        dropFiles(ctx, {path("one.txt"), path("two.txt")});
        QCOMPARE(rowNames(w.list), (QStringList{"a.jpg", "b.jpg"}));
        QCOMPARE(w.log.logFolder, m_dir.path() + u'/');
    }

    // A log always opens into the import action; a list of names dropped while exporting is
    // queued.
    void aLogDroppedWhileExportingOpensInTheImportAction_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("action");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("csv log with a header")
            << "log.csv" << QByteArray("photo,lat,lon\r\na.jpg,31.5,121.2\r\n") << kImport
            << QStringList{"a.jpg"};
        QTest::newRow("kml track") << "track.kml"
                                   << QByteArray("<?xml version=\"1.0\"?>\n<kml>\n<coordinates>\n"
                                                 "121.2,31.5,0\n</coordinates>\n</kml>\n")
                                   << kImport << QStringList{"a.jpg"};
        QTest::newRow("list of names") << "names.txt" << QByteArray("a.jpg\r\nb.jpg\r\n") << kExport
                                       << QStringList{"names.txt"};
    }
    void aLogDroppedWhileExportingOpensInTheImportAction() {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(int, action);
        QFETCH(QStringList, rows);
        writeFile(path(name), content);
        writeFile(path("a.jpg"));
        FakeWindow w;
        w.view.actionIndex = kExport;
        auto ctx = w.context();
        dropFiles(ctx, {path(name)});
        QCOMPARE(w.view.actionIndex, action);
        QCOMPARE(rowNames(w.list), rows);
    }

    void refusedWhileABatchRuns_data() {
        QTest::addColumn<int>("action");
        QTest::newRow("import") << kImport;
        QTest::newRow("export") << kExport;
    }
    void refusedWhileABatchRuns() {
        QFETCH(int, action);
        writeFile(path("log.txt"), "a.jpg,31.5,121.2\r\n");
        writeFile(path("a.jpg"));
        FakeWindow w;
        w.view.actionIndex = action;
        w.app.batchRunning = true;
        auto ctx = w.context();
        AddPhoto(ctx, path("old.jpg"), false);
        dropFiles(ctx, {path("log.txt"), path("a.jpg")});
        QCOMPARE(rowNames(w.list), QStringList{"old.jpg"});
        QVERIFY(w.view.enabled_.isEmpty());
        QVERIFY(!w.view.focused);
        QVERIFY(w.log.logFolder.isEmpty());
    }

    void stopsAtTheRowLimit() {
        const QStringList names{"x.jpg", "y.jpg", "z.jpg"};
        FakeWindow w;
        w.view.actionIndex = kExport;
        auto ctx = w.context();
        for (int i = 0; i < PhotoList::kMaxRows - 1; ++i)
            w.list.append({});
        QStringList paths;
        for (const QString& name : names)
            paths.append(path(name));
        dropFiles(ctx, paths);
        QCOMPARE(w.list.count(), PhotoList::kMaxRows);
        QCOMPARE(w.list.row(PhotoList::kMaxRows - 1).texts[ColFileName], QStringLiteral("x.jpg"));
        QCOMPARE(w.view.messages.size(), 1);
        QCOMPARE(w.view.messages.first().title, QStringLiteral("提示"));
        QCOMPARE(w.view.messages.first().text,
                 QStringLiteral("列表已满（最多 32767 行），另有 2 个文件未添加！"));
    }
};

QTEST_GUILESS_MAIN(TestDrops)
#include "test_drops.moc"
