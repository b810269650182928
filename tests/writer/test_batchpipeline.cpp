// The batch writer with the real codec, which prepares each photo on a worker thread while the
// photo before it is written: every copy must hold its own row's position (read by ExifTool),
// rows must change in order, and the worker must hand back what it ran, in order.

#include "base/coordinates.h"
#include "support/fakeview.h"
#include "support/photofactory.h"
#include "support/testfiles.h"
#include "writer/batchwriter.h"
#include "writer/serialworker.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <stdexcept>

namespace {

const QString kExifTool = QStringLiteral(CORVEXA_EXIFTOOL);

enum class Kind { Jpeg, Tiff, NotAPhoto, Ghosted, Missing, MadeByTheTest };

struct Row {
    QString name;
    Kind kind;
    QString lat;
    QString lon;
    float altitude;
};

// Watches the rows at every yield: none after the current one may have been touched.
class OrderView : public FakeView {
public:
    explicit OrderView(const PhotoList& list) : m_list(list) {}
    void showRow(int i) override {
        FakeView::showRow(i);
        m_current = i;
    }
    void yield() override {
        FakeView::yield();
        for (int i = m_current + 1; i < m_list.count(); ++i)
            if (m_list.row(i).texts[ColStatus] != status::kPending)
                touchedEarly = true;
        if (onYield)
            onYield();
    }
    bool touchedEarly = false;
    std::function<void()> onYield;

private:
    const PhotoList& m_list;
    int m_current = -1;
};

struct Batch {
    QTemporaryDir dir;
    PhotoList list;
    GpsLogState log;
    AppState app;
    OrderView view{list};

    Batch() { log.logFolder = dir.path() + u'/'; }

    void add(const Row& wanted) {
        PhotoRecipe recipe;
        recipe.makerNote = true;
        recipe.thumbnail = true;
        recipe.gps = GpsSpec{48.1, 11.5, 520.0};
        switch (wanted.kind) {
        case Kind::Jpeg:
        case Kind::Ghosted:
            QVERIFY(!makeJpeg(dir.path(), wanted.name, recipe).isEmpty());
            break;
        case Kind::Tiff:
            recipe.makerNote = false;
            QVERIFY(!makeTiff(dir.path(), wanted.name, recipe).isEmpty());
            break;
        case Kind::NotAPhoto:
            writeFile(dir.filePath(wanted.name), "name,lat,lon\n");
            break;
        case Kind::Missing:
        case Kind::MadeByTheTest:
            break;
        }
        PhotoRow row;
        row.record.fileName = wanted.name;
        row.record.fileExists = wanted.kind != Kind::Missing;
        row.record.lat = *parseCoordinate(wanted.lat);
        row.record.lon = *parseCoordinate(wanted.lon);
        row.record.altitude = wanted.altitude;
        row.texts[ColFileName] = wanted.name;
        row.texts[ColStatus] = status::kPending;
        row.ghosted = wanted.kind == Kind::Ghosted;
        list.append(row);
    }

    BatchResult run() {
        RoadContext ctx{list, log, app, view};
        return cmdStart_Click(ctx);
    }
    QString copy(const QString& name) const { return dir.filePath("results/" + name); }
};

// ExifTool's reading of a copy: "lat lon alt" in signed decimal numbers, and whether the Canon
// maker note is there.
struct ReadBack {
    double lat = NAN;
    double lon = NAN;
    double alt = NAN;
    bool makerNote = false;
};

ReadBack readWithExifTool(const QString& path) {
    QProcess exiftool;
    exiftool.start(kExifTool,
                   {"-n", "-s3", "-f", "-GPS:GPSLatitude", "-GPS:GPSLongitude", "-GPS:GPSAltitude",
                    "-GPS:GPSLatitudeRef", "-GPS:GPSLongitudeRef", "-Canon:CanonModelID", path});
    if (!exiftool.waitForFinished(30000))
        return {};
    const QStringList lines =
        QString::fromUtf8(exiftool.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    if (lines.size() < 6)
        return {};
    ReadBack result{lines[0].toDouble(), lines[1].toDouble(), lines[2].toDouble(),
                    lines[5].trimmed() != u"-"};
    if (lines[3].trimmed() == u"S")
        result.lat = -result.lat;
    if (lines[4].trimmed() == u"W")
        result.lon = -result.lon;
    return result;
}

} // namespace

class TestBatchPipeline : public QObject {
    Q_OBJECT
private slots:
    void eachCopyHoldsItsOwnRowsPosition() {
        if (kExifTool.isEmpty())
            QSKIP("exiftool is not installed");
        Batch batch;
        const QList<Row> rows{
            {"a.jpg", Kind::Jpeg, "31.230416", "121.473701", 12.5f},
            {"b.jpg", Kind::Jpeg, "-33.868820", "151.209296", -3.25f},
            {"c.tif", Kind::Tiff, "51.507351", "-0.127758", 35.0f},
            {"d.jpg", Kind::Jpeg, "40.712776", "-74.005974", 10.125f},
            {"e.jpg", Kind::NotAPhoto, "1", "2", 0.0f},
            {"f.jpg", Kind::Ghosted, "3", "4", 0.0f},
            {"g.jpg", Kind::Missing, "5", "6", 0.0f},
            {"h.jpg", Kind::Jpeg, "-22.906847", "-43.172897", 7.0f},
            {"i.jpg", Kind::Jpeg, "35.676191", "139.650310", 40.0f},
        };
        for (const Row& row : rows)
            batch.add(row);

        const BatchResult result = batch.run();

        QCOMPARE(result.end, BatchEnd::Finished);
        QCOMPARE(result.written, 6);
        QVERIFY(!batch.view.touchedEarly);
        for (int i = 0; i < rows.size(); ++i) {
            const Row& row = rows[i];
            const QString status = batch.list.row(i).texts[ColStatus];
            const bool written = row.kind == Kind::Jpeg || row.kind == Kind::Tiff;
            QCOMPARE(QFileInfo::exists(batch.copy(row.name)), written);
            if (!written) {
                QVERIFY2(!status.startsWith(status::kWritten), qPrintable(row.name));
                continue;
            }
            QVERIFY2(status.startsWith(status::kWritten), qPrintable(row.name + ' ' + status));
            const ReadBack read = readWithExifTool(batch.copy(row.name));
            // The seconds are single precision: about 1e-7 degrees.
            QVERIFY2(std::fabs(read.lat - row.lat.toDouble()) < 2e-6, qPrintable(row.name));
            QVERIFY2(std::fabs(read.lon - row.lon.toDouble()) < 2e-6, qPrintable(row.name));
            QVERIFY2(std::fabs(read.alt - std::fabs(row.altitude)) < 1e-4, qPrintable(row.name));
        }
        QVERIFY(batch.list.row(4).texts[ColStatus].startsWith(QStringLiteral("打开失败")));
        QCOMPARE(batch.list.row(5).texts[ColStatus], status::kSkipped);
        QCOMPARE(batch.list.row(6).texts[ColStatus], status::kMissing);
        // No temporary file stays behind.
        QCOMPARE(QDir(batch.dir.filePath("results")).entryList(QDir::Files | QDir::Hidden).size(),
                 6);
    }

    // The next photo is prepared while this one is written; ticking "忽略厂商注释数据" in between
    // must still reach it.
    void makerNoteChoiceReachesThePhotoPreparedAhead() {
        if (kExifTool.isEmpty())
            QSKIP("exiftool is not installed");
        Batch batch;
        for (const QString name : {"a.jpg", "b.jpg", "c.jpg"})
            batch.add({name, Kind::Jpeg, "31.5", "121.5", 1.0f});
        batch.view.onYield = [&] { batch.view.skipMaker = batch.view.yields >= 2; };

        QCOMPARE(batch.run().written, 3);

        QVERIFY(readWithExifTool(batch.copy("a.jpg")).makerNote);
        QVERIFY(!readWithExifTool(batch.copy("b.jpg")).makerNote);
        QVERIFY(!readWithExifTool(batch.copy("c.jpg")).makerNote);
    }

    // A later row may name an earlier row's copy: it must read that copy as the earlier row left
    // it, not the file that had the name when the photo was prepared ahead.
    void aRowReadsTheCopyAnEarlierRowWrote() {
        if (kExifTool.isEmpty())
            QSKIP("exiftool is not installed");
        Batch batch;
        PhotoRecipe old;
        old.tags = {{"Exif.Image.Artist", "old"}};
        QVERIFY(QDir().mkpath(batch.dir.filePath("results")));
        QVERIFY(!makeJpeg(batch.dir.filePath("results"), "a.jpg", old).isEmpty());
        // Two large photos first: while they are copied, the worker prepares the rows after them.
        PhotoRecipe large;
        large.noise = true;
        large.width = 1600;
        large.height = 1200;
        for (const QString name : {"x.jpg", "y.jpg"}) {
            QVERIFY(!makeJpeg(batch.dir.path(), name, large).isEmpty());
            batch.add({name, Kind::MadeByTheTest, "1", "2", 3.0f});
        }
        batch.add({"a.jpg", Kind::Jpeg, "31.5", "121.5", 1.0f});
        QVERIFY(setPhotoTags(batch.dir.filePath("a.jpg"), {{"Exif.Image.Artist", "new"}}));
        batch.add({"results/a.jpg", Kind::MadeByTheTest, "40.5", "-74.5", 2.0f});

        QCOMPARE(batch.run().written, 4);

        QProcess exiftool;
        exiftool.start(kExifTool, {"-s3", "-Artist", batch.copy("results/a.jpg")});
        QVERIFY(exiftool.waitForFinished(30000));
        QCOMPARE(exiftool.readAllStandardOutput().trimmed(), QByteArray("new"));
        QCOMPARE(readWithExifTool(batch.copy("results/a.jpg")).lat, 40.5);
    }

    void workerRunsTasksInOrderAndHandsBackFailures() {
        std::vector<int> seen;
        std::vector<std::future<int>> results;
        {
            SerialWorker worker;
            for (int i = 0; i < 50; ++i)
                results.push_back(worker.run([i, &seen] {
                    seen.push_back(i);
                    return i * i;
                }));
            auto failing = worker.run([]() -> int { throw std::runtime_error("codec raised"); });
            QVERIFY_THROWS_EXCEPTION(std::runtime_error, failing.get());
            for (int i = 0; i < 50; ++i)
                QCOMPARE(results[std::size_t(i)].get(), i * i);
        }
        QCOMPARE(seen.size(), std::size_t(50));
        QVERIFY(std::is_sorted(seen.begin(), seen.end()));
    }
};

QTEST_GUILESS_MAIN(TestBatchPipeline)
#include "test_batchpipeline.moc"
