// The batch writer against the scripted codec: what it hands the codec, the row statuses, the
// captions and messages, and both ways a batch can fail.

#include "base/coordinates.h"
#include "support/fakecodec.h"
#include "support/fakeview.h"
#include "writer/batchwriter.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <functional>

namespace {

using Rationals = std::vector<qint32>;

struct RowSpec {
    QString name;
    bool exists = true;
    bool ghosted = false;
    QString lat = QStringLiteral("31.2304");
    QString lon = QStringLiteral("121.4737");
    std::optional<float> altitude;
};

// Records the captions and the row states the user could see at every yield.
class WatchingView : public FakeView {
public:
    void setTips(const QString& text) override {
        FakeView::setTips(text);
        tipsSeen.append(text);
    }
    void yield() override {
        FakeView::yield();
        if (onYield)
            onYield();
    }
    QStringList tipsSeen;
    std::function<void()> onYield;
};

struct Batch {
    QTemporaryDir dir;
    FakeCodecWorld world;
    PhotoList list;
    GpsLogState log;
    AppState app;
    WatchingView view;

    Batch() {
        log.logFolder = dir.path() + u'/';
        app.codecFactory = world.factory();
        for (const Control c : {Control::cmdOpenLog, Control::cmdStart, Control::cmdToggle,
                                Control::cboAction, Control::chkMakerNote})
            view.setEnabled(c, true);
    }

    QString source(const QString& name) const { return log.logFolder + name; }
    QString copy(const QString& name) const { return log.logFolder + "results/" + name; }

    FakePhoto& add(const RowSpec& recipe) {
        PhotoRow row;
        row.record.fileName = recipe.name;
        row.record.fileExists = recipe.exists;
        row.record.lat = *parseCoordinate(recipe.lat);
        row.record.lon = *parseCoordinate(recipe.lon);
        row.record.noAltitude = !recipe.altitude;
        row.record.altitude = recipe.altitude.value_or(0);
        row.texts[ColFileName] = recipe.name;
        row.texts[ColStatus] = status::kPending;
        row.ghosted = recipe.ghosted;
        list.append(row);
        return world.photos[source(recipe.name)];
    }

    BatchResult run() {
        RoadContext ctx{list, log, app, view};
        return cmdStart_Click(ctx);
    }

    QString statusOf(int i) const { return list.row(i).texts[ColStatus]; }
    QStringList openCalls() const { return world.calls.filter(QStringLiteral("OpenFile")); }
};

QString asText(const codec::TagValue& value) {
    if (const auto* bytes = std::get_if<QByteArray>(&value)) {
        QStringList parts;
        for (const char b : *bytes)
            parts << QString::number(int(b));
        return parts.join(u'.');
    }
    if (const auto* text = std::get_if<QString>(&value))
        return u'"' + *text + u'"';
    const auto& numbers = std::get<Rationals>(value);
    QStringList parts;
    for (size_t i = 0; i + 1 < numbers.size(); i += 2)
        parts << QStringLiteral("%1/%2").arg(numbers[i]).arg(numbers[i + 1]);
    return parts.join(u' ');
}

// "tag:type:count=value" per tag, in the order written.
QStringList asText(const QList<AddedTag>& tags) {
    QStringList out;
    for (const AddedTag& t : tags)
        out << QStringLiteral("%1:%2:%3=%4")
                   .arg(t.tag)
                   .arg(t.type)
                   .arg(t.count)
                   .arg(asText(t.value));
    return out;
}

constexpr std::array kAllControls{Control::cmdOpenLog, Control::cmdStart, Control::cmdToggle,
                                  Control::cboAction, Control::chkMakerNote};

} // namespace

class TestBatchWriter : public QObject {
    Q_OBJECT
private slots:
    void writesTheTagsOfTheTable_data() {
        QTest::addColumn<QString>("lat");
        QTest::addColumn<QString>("lon");
        QTest::addColumn<std::optional<float>>("altitude");
        QTest::addColumn<QStringList>("tags");

        const QString version = QStringLiteral("0:1:4=2.3.0.0");
        QTest::newRow("south, below sea level") << "-33:52:7.68"
                                                << "151.2093" << std::optional<float>(-12.5f)
                                                << QStringList{version,
                                                               R"(1:2:2="S")",
                                                               "2:5:3=33/1 52/1 768/100",
                                                               R"(3:2:2="E")",
                                                               "4:5:3=151/1 12/1 3348/100",
                                                               "5:1:1=1",
                                                               "6:5:1=125/10"};
        QTest::newRow("no altitude gives five tags")
            << "31.2304"
            << "121.4737" << std::optional<float>()
            << QStringList{version, R"(1:2:2="N")", "2:5:3=31/1 13/1 4944/100", R"(3:2:2="E")",
                           "4:5:3=121/1 28/1 2532/100"};
        QTest::newRow("west of Greenwich by less than a degree")
            << "51.5007"
            << "-0.1278" << std::optional<float>(35.0f)
            << QStringList{version,        R"(1:2:2="N")",           "2:5:3=51/1 30/1 252/100",
                           R"(3:2:2="W")", "4:5:3=0/1 7/1 4008/100", "5:1:1=0",
                           "6:5:1=350/10"};
        QTest::newRow("sea level, three-decimal seconds")
            << "10:20:12.125"
            << "-20:0:0" << std::optional<float>(0.0f)
            << QStringList{version,        R"(1:2:2="N")",        "2:5:3=10/1 20/1 97/8",
                           R"(3:2:2="W")", "4:5:3=20/1 0/1 0/10", "5:1:1=0",
                           "6:5:1=0/10"};
        QTest::newRow("altitude too large for hundredths")
            << "1:0:0"
            << "2:0:0" << std::optional<float>(1.0e9f) << QStringList{version,
                                                                      R"(1:2:2="N")",
                                                                      "2:5:3=1/1 0/1 0/10",
                                                                      R"(3:2:2="E")",
                                                                      "4:5:3=2/1 0/1 0/10",
                                                                      "5:1:1=0",
                                                                      "6:5:1=1000000000/1"};
    }
    void writesTheTagsOfTheTable() {
        QFETCH(QString, lat);
        QFETCH(QString, lon);
        QFETCH(std::optional<float>, altitude);
        QFETCH(QStringList, tags);
        Batch batch;
        batch.add({"IMG_0001.JPG", true, false, lat, lon, altitude});

        const BatchResult result = batch.run();

        QCOMPARE(result.written, 1);
        QCOMPARE(batch.world.addedPerOpen.size(), 1);
        QCOMPARE(asText(batch.world.addedPerOpen.first()), tags);
        QCOMPARE(batch.world.calls.last(),
                 "SaveToJPEG " + batch.copy(QStringLiteral("IMG_0001.JPG")));
    }

    void setsEachRowsStatusAndIcon() {
        Batch batch;
        batch.add({"a.jpg"});
        batch.add({"ghost.jpg", false, true});
        batch.add({"gone.jpg", false});
        batch.add({"locked.jpg"}).openResult = codec::NotAFile;
        batch.add({"warned.jpg"}).openResult = codec::OpenedWithWarnings;
        batch.add({"no-reason.jpg"}).saveResult = false;
        FakePhoto& video = batch.add({"clip.jpg"});
        video.openResult = codec::UnknownType;
        video.lastError = QStringLiteral("不是支持的照片格式（视频）");
        FakePhoto& full = batch.add({"full-disk.jpg"});
        full.saveResult = false;
        full.lastError = QStringLiteral("磁盘空间不足");

        const BatchResult result = batch.run();

        const QList<std::pair<QString, RowIcon>> expected{
            {"处理成功！", RowIcon::Done},
            {"跳过", RowIcon::Failed},
            {"文件不存在！", RowIcon::Failed},
            {"打开失败！2", RowIcon::Failed},
            {"处理成功！", RowIcon::Done},
            {"保存失败！", RowIcon::Failed},
            {"打开失败：不是支持的照片格式（视频）", RowIcon::Failed},
            {"保存失败：磁盘空间不足", RowIcon::Failed}};
        for (int i = 0; i < expected.size(); ++i) {
            QCOMPARE(batch.statusOf(i), expected[i].first);
            QCOMPARE(batch.list.row(i).icon, expected[i].second);
        }
        QCOMPARE(result.end, BatchEnd::Finished);
        QCOMPARE(result.written, 2);
        // Skipped and missing rows never reach the codec; a failed open adds no tags.
        QCOMPARE(batch.openCalls().size(), 6);
        QCOMPARE(batch.world.addedPerOpen[1].size(), 0);
        QCOMPARE(batch.world.saved, QStringList({batch.copy("a.jpg"), batch.copy("warned.jpg")}));
        QCOMPARE(batch.world.created, 1);
    }

    void opensWithTheMakerNoteChoiceOfTheMoment() {
        Batch batch;
        batch.add({"a.jpg"});
        batch.add({"b.jpg"});
        // The box is ticked while the first photo is written.
        batch.view.onYield = [&] { batch.view.skipMaker = batch.view.yields >= 2; };

        batch.run();

        QCOMPARE(batch.openCalls(), QStringList({"OpenFile " + batch.source("a.jpg") + " 1 1",
                                                 "OpenFile " + batch.source("b.jpg") + " 0 1"}));
    }

    void showsProgressRowByRow() {
        Batch batch;
        for (int i = 1; i <= 10; ++i)
            batch.add({QStringLiteral("IMG_%1.JPG").arg(i)});
        QStringList statusAtFirstYield;
        bool runningThroughout = true;
        batch.view.onYield = [&] {
            runningThroughout = runningThroughout && batch.app.batchRunning;
            if (batch.view.yields % 2 == 1) {
                const int row = batch.view.yields / 2;
                statusAtFirstYield << batch.statusOf(row);
                QCOMPARE(batch.list.row(row).icon, RowIcon::Working);
            }
        };

        batch.run();

        QCOMPARE(batch.view.tipsSeen.at(2), QStringLiteral("正在处理 3/10 ..."));
        QCOMPARE(batch.view.tipsSeen.last(), QStringLiteral("成功处理 10 个文件！"));
        QCOMPARE(statusAtFirstYield, QStringList(10, QStringLiteral("正在处理...")));
        QCOMPARE(batch.view.yields, 20);
        QVERIFY(runningThroughout);
        QVERIFY(!batch.app.batchRunning);
        QCOMPARE(batch.view.shownRows.first(), 0);
        // The selection is cleared at the end.
        QCOMPARE(batch.view.shownRows.last(), -1);
    }

    void endsWithASummary_data() {
        QTest::addColumn<bool>("secondSaves");
        QTest::addColumn<QString>("summary");
        QTest::addColumn<QString>("tips");
        QTest::newRow("two of three written")
            << true << "成功处理 2 个文件，处理结果已保存到 results 子文件夹中！"
            << "成功处理 2 个文件！";
        QTest::newRow("nothing written") << false << "成功处理 0 个文件！"
                                         << "成功处理 0 个文件！";
    }
    void endsWithASummary() {
        QFETCH(bool, secondSaves);
        QFETCH(QString, summary);
        QFETCH(QString, tips);
        Batch batch;
        batch.add({"a.jpg"}).saveResult = secondSaves;
        batch.add({"b.jpg", false, true});
        batch.add({"c.jpg"}).saveResult = secondSaves;

        batch.run();

        QCOMPARE(batch.view.messages.size(), 1);
        QCOMPARE(batch.view.messages[0].title, QStringLiteral("完成处理"));
        QCOMPARE(batch.view.messages[0].text, summary);
        QCOMPARE(batch.view.messages[0].icon, MessageIcon::Information);
        QCOMPARE(batch.view.tips, tips);
        QVERIFY(batch.log.batchDone);
        QVERIFY(!batch.app.batchRunning);
        QVERIFY(!batch.view.closed);
        // A new batch needs a new load.
        QVERIFY(batch.view.isEnabled(Control::cmdOpenLog));
        QVERIFY(batch.view.isEnabled(Control::cboAction));
        QVERIFY(batch.view.isEnabled(Control::chkMakerNote));
        QVERIFY(!batch.view.isEnabled(Control::cmdStart));
        QVERIFY(!batch.view.isEnabled(Control::cmdToggle));
    }

    void silentModeClosesTheWindowWithoutASummary() {
        Batch batch;
        batch.app.silentMode = true;
        batch.add({"a.jpg"});

        const BatchResult result = batch.run();

        QCOMPARE(result.written, 1);
        QVERIFY(batch.view.closed);
        QVERIFY(batch.view.messages.isEmpty());
        QVERIFY(batch.log.batchDone);
    }

    void failsToStartAndGivesTheControlsBack_data() {
        QTest::addColumn<QString>("cause");
        QTest::addColumn<int>("codecsMade");
        QTest::addColumn<QString>("message");
        QTest::newRow("codec cannot be created")
            << "codec" << 0 << "内核调用失败！请重新安装 Corvexa 元数据编辑器后重试！";
        // The system's reason, not a reinstall of the codec.
        QTest::newRow("a file called results")
            << "file" << 1 << "无法创建 results 子文件夹：已有同名文件！\n%1results";
        QTest::newRow("log folder is gone")
            << "gone" << 1 << "无法创建 results 子文件夹：文件夹不存在！\n%1results";
    }
    void failsToStartAndGivesTheControlsBack() {
        QFETCH(QString, cause);
        QFETCH(int, codecsMade);
        QFETCH(QString, message);
        Batch batch;
        batch.world.failCreation = cause == u"codec";
        if (cause == u"file") {
            QFile blocker(batch.log.logFolder + "results");
            QVERIFY(blocker.open(QIODevice::WriteOnly));
        } else if (cause == u"gone") {
            batch.log.logFolder += QStringLiteral("gone/");
        }
        batch.add({"a.jpg"});

        const BatchResult result = batch.run();

        QCOMPARE(result.end, BatchEnd::CoreFailed);
        QCOMPARE(batch.world.created, codecsMade);
        QVERIFY(batch.openCalls().isEmpty());
        QCOMPARE(batch.view.messages.size(), 1);
        QCOMPARE(batch.view.messages[0].title, QStringLiteral("错误"));
        QCOMPARE(batch.view.messages[0].text,
                 message.contains(u'%') ? message.arg(batch.log.logFolder) : message);
        QCOMPARE(batch.view.messages[0].icon, MessageIcon::Error);
        QVERIFY(!batch.app.batchRunning);
        QVERIFY(!batch.log.batchDone);
        QCOMPARE(batch.statusOf(0), status::kPending);
        for (const Control c : kAllControls)
            QVERIFY(batch.view.isEnabled(c));
    }

    void reusesAnExistingResultsFolder() {
        Batch batch;
        QVERIFY(QDir(batch.log.logFolder).mkdir("results"));
        batch.add({"a.jpg"});

        QCOMPARE(batch.run().written, 1);
        QVERIFY(QFileInfo(batch.log.logFolder + "results").isDir());
    }

    void abortsOnAFailureRaisedDuringTheRows_data() {
        QTest::addColumn<QString>("member");
        QTest::newRow("open") << "OpenFile";
        QTest::newRow("add tag") << "AddTag";
        QTest::newRow("save") << "SaveToJPEG";
    }
    void abortsOnAFailureRaisedDuringTheRows() {
        QFETCH(QString, member);
        Batch batch;
        batch.app.silentMode = true;
        batch.add({"ghost.jpg", false, true});
        batch.add({"a.jpg"});
        batch.add({"b.jpg"});
        batch.world.throwOnCall = member;

        const BatchResult result = batch.run();

        QCOMPARE(result.end, BatchEnd::Aborted);
        QCOMPARE(batch.view.messages.size(), 1);
        QCOMPARE(batch.view.messages[0].title, QStringLiteral("错误"));
        QCOMPARE(batch.view.messages[0].text,
                 QStringLiteral("批处理过程中发生严重错误，将终止操作！"));
        // The row in hand shows where it stopped; the rest were not visited.
        QCOMPARE(batch.statusOf(0), status::kSkipped);
        QCOMPARE(batch.statusOf(1), status::kWorking);
        QCOMPARE(batch.list.row(1).icon, RowIcon::Working);
        QCOMPARE(batch.statusOf(2), status::kPending);
        QVERIFY(!batch.app.batchRunning);
        QVERIFY(!batch.log.batchDone);
        QVERIFY(!batch.view.closed);
        QVERIFY(batch.view.isEnabled(Control::cmdOpenLog));
        QVERIFY(batch.view.isEnabled(Control::cboAction));
        QVERIFY(batch.view.isEnabled(Control::chkMakerNote));
        QVERIFY(!batch.view.isEnabled(Control::cmdStart));
        QVERIFY(!batch.view.isEnabled(Control::cmdToggle));
    }

    void refusesAListWithInvalidData_data() {
        QTest::addColumn<bool>("silent");
        QTest::newRow("window") << false;
        QTest::newRow("silent") << true;
    }
    void refusesAListWithInvalidData() {
        QFETCH(bool, silent);
        Batch batch;
        batch.app.silentMode = silent;
        batch.add({"a.jpg", true, false, "95", "10"});
        batch.log.invalidData = true;

        const BatchResult result = batch.run();

        QCOMPARE(result.end, BatchEnd::Refused);
        QCOMPARE(batch.world.created, 0);
        QCOMPARE(batch.statusOf(0), status::kPending);
        QCOMPARE(batch.view.messages.size(), 1);
        QCOMPARE(batch.view.messages[0].title, QStringLiteral("错误"));
        QVERIFY(!batch.app.batchRunning);
        QVERIFY(!QFileInfo::exists(batch.log.logFolder + "results"));
    }

    void neverWritesOutsideTheResultsFolder_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("lat");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("saved");
        const QString outside = QStringLiteral("保存失败：文件名指向 results 子文件夹之外");
        QTest::newRow("climbs out of results") << "../other/IMG_0001.JPG"
                                               << "31.5" << outside << "";
        QTest::newRow("climbs to the log folder") << "x/../../IMG.JPG"
                                                  << "31.5" << outside << "";
        QTest::newRow("negative seconds have no EXIF form") << "a.jpg"
                                                            << "31:12:-5"
                                                            << "保存失败：坐标无法写成 EXIF 数值"
                                                            << "";
        QTest::newRow("a sub-folder is kept below results") << "day1/IMG_0001.JPG"
                                                            << "31.5"
                                                            << "处理成功！"
                                                            << "day1/IMG_0001.JPG";
    }
    void neverWritesOutsideTheResultsFolder() {
        QFETCH(QString, name);
        QFETCH(QString, lat);
        QFETCH(QString, status);
        QFETCH(QString, saved);
        Batch batch;
        batch.add({name, true, false, lat});

        batch.run();

        QCOMPARE(batch.statusOf(0), status);
        if (saved.isEmpty()) {
            QVERIFY(batch.openCalls().isEmpty());
            QVERIFY(batch.world.saved.isEmpty());
        } else {
            QCOMPARE(batch.world.saved, QStringList(batch.copy(saved)));
            QVERIFY(QFileInfo(batch.copy(saved)).dir().exists());
        }
    }
};

QTEST_GUILESS_MAIN(TestBatchWriter)
#include "test_batchwriter.moc"
