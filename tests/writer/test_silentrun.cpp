// The silent batch end to end: a log and real photos in, tagged copies out through the Exiv2
// codec, read back by ExifTool as an independent reader.

#include "base/settings.h"
#include "support/photofactory.h"
#include "writer/silentrun.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kExifTool = QStringLiteral(CORVEXA_EXIFTOOL);

// A GPS tag as stored: "int8u[4] 2.3.0.0", "string[2] S\0", "rational64u[3] 33/1 52/1 768/100".
using StoredTags = QMap<QString, QString>;

QString decode(const QString& type, const QByteArray& bytes, bool bigEndian) {
    QStringList parts;
    if (type == u"int8u") {
        for (const char b : bytes)
            parts << QString::number(quint8(b));
        return parts.join(u'.');
    }
    if (type == u"string")
        return QString::fromLatin1(bytes).replace(QChar(0), QStringLiteral("\\0"));
    if (type == u"rational64u") {
        auto word = [&](qsizetype at) {
            quint32 v = 0;
            for (int k = 0; k < 4; ++k) {
                const quint32 byte = quint8(bytes[at + (bigEndian ? k : 3 - k)]);
                v = (v << 8) | byte;
            }
            return v;
        };
        for (qsizetype at = 0; at + 8 <= bytes.size(); at += 8)
            parts << QStringLiteral("%1/%2").arg(word(at)).arg(word(at + 4));
        return parts.join(u' ');
    }
    return QStringLiteral("?") + bytes.toHex(' ');
}

// Every tag of the GPS directory with its stored type, count and value, from ExifTool's dump.
StoredTags exifToolGpsTags(const QString& path) {
    QProcess exiftool;
    exiftool.start(kExifTool, {QStringLiteral("-v3"), path});
    if (!exiftool.waitForFinished(30000))
        return {};
    const QStringList lines = QString::fromUtf8(exiftool.readAllStandardOutput()).split(u'\n');
    const bool bigEndian = lines.contains(QStringLiteral("  ExifByteOrder = MM"));

    static const QRegularExpression tagLine(QStringLiteral(R"(^  \| \| +\d+\)\s+(\w+) = )"));
    static const QRegularExpression typeLine(
        QStringLiteral(R"(- Tag 0x\w+ \(\d+ bytes, (\w+)\[(\d+)\]\))"));
    static const QRegularExpression hexLine(
        QStringLiteral(R"(^  \| \| +[0-9a-f]{4,}: ((?:[0-9a-f]{2} ?)+))"));
    StoredTags tags;
    bool inGps = false;
    QString name, type, count;
    QByteArray bytes;
    auto flush = [&] {
        if (!name.isEmpty())
            tags[name] =
                QStringLiteral("%1[%2] %3").arg(type, count, decode(type, bytes, bigEndian));
        name.clear();
        bytes.clear();
    };
    for (const QString& line : lines) {
        if (line.contains(QLatin1String("[GPS directory"))) {
            inGps = true;
            continue;
        }
        if (!inGps)
            continue;
        if (!line.startsWith(QLatin1String("  | | ")))
            break;
        if (const auto m = tagLine.match(line); m.hasMatch()) {
            flush();
            name = m.captured(1);
        } else if (const auto t = typeLine.match(line); t.hasMatch()) {
            type = t.captured(1);
            count = t.captured(2);
        } else if (const auto h = hexLine.match(line); h.hasMatch()) {
            bytes += QByteArray::fromHex(h.captured(1).remove(u' ').toLatin1());
        }
    }
    flush();
    return tags;
}

// The entropy-coded image data of a JPEG: everything from the start-of-scan segment on.
QByteArray jpegImageData(const QByteArray& jpeg) {
    qsizetype at = 2;
    while (at + 4 <= jpeg.size() && quint8(jpeg[at]) == 0xff) {
        const quint8 marker = quint8(jpeg[at + 1]);
        if (marker == 0xda)
            return jpeg.mid(at);
        at += 2 + ((quint8(jpeg[at + 2]) << 8) | quint8(jpeg[at + 3]));
    }
    return {};
}

// The program of this build: named by the build, or beside the test programs.
QString appExe() {
    for (const QString& candidate :
         {QStringLiteral(CORVEXA_APP_EXE),
          QCoreApplication::applicationDirPath() + QStringLiteral("/corvexa-gps")}) {
        if (QFileInfo(candidate).isExecutable())
            return candidate;
    }
    return {};
}

QString version() {
    return QStringLiteral("int8u[4] 2.3.0.0");
}
QString ascii(const char* letter) {
    return QStringLiteral("string[2] %1\\0").arg(letter);
}
QString rationals(const QString& values) {
    return QStringLiteral("rational64u[%1] ").arg(values.count(u'/')) + values;
}

struct Run {
    QTemporaryDir dir;
    int status = -1;
    QString out;
    QString err;

    QString path(const QString& name) const { return dir.filePath(name); }
    QString copy(const QString& name) const { return dir.filePath("results/" + name); }

    void writeLog(const QString& text, const QString& name = QStringLiteral("log.txt")) const {
        QFile file(path(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(text.toUtf8());
    }

    void photo(const QString& name, PhotoRecipe recipe = {}) const {
        QVERIFY(!makeJpeg(dir.path(), name, recipe).isEmpty());
    }

    void run(const QString& logName = QStringLiteral("log.txt"), bool codecFails = false) {
        AppState app;
        if (codecFails)
            app.codecFactory = {[](QStringView) { return std::unique_ptr<codec::ICodec>(); }};
        QTextStream outStream(&out);
        QTextStream errStream(&err);
        status = runSilentBatch(app, path(logName), outStream, errStream);
    }
};

} // namespace

class TestSilentRun : public QObject {
    Q_OBJECT
private slots:
    void init() { QFile::remove(settings::defaultSettingsFile()); }

    void writesExactlyTheTagsOfTheTable() {
        if (kExifTool.isEmpty())
            QSKIP("exiftool is not installed");
        Run run;
        PhotoRecipe camera;
        camera.thumbnail = true;
        camera.gps = GpsSpec{10.5, 20.5, 300.0}; // a stale position with time and datum
        run.photo("south.jpg", camera);
        run.photo("plain.jpg");
        run.photo("west.jpg", camera);
        run.writeLog("south.jpg,-33:52:7.68,151.2093,-12.5\n"
                     "plain.jpg 31.2304 121.4737\n"
                     "west.jpg\t51.5007\t-0.1278\t35\n");
        QMap<QString, QByteArray> sources;
        for (const QString name : {"south.jpg", "plain.jpg", "west.jpg"})
            sources[name] = fileBytes(run.path(name));

        run.run();

        QCOMPARE(run.status, silentexit::kAllWritten);
        QCOMPARE(run.out,
                 QStringLiteral("成功处理 3 个文件，处理结果已保存到 results 子文件夹中！\n"));
        QCOMPARE(exifToolGpsTags(run.copy("south.jpg")),
                 (StoredTags{{"GPSVersionID", version()},
                             {"GPSLatitudeRef", ascii("S")},
                             {"GPSLatitude", rationals("33/1 52/1 768/100")},
                             {"GPSLongitudeRef", ascii("E")},
                             {"GPSLongitude", rationals("151/1 12/1 3348/100")},
                             {"GPSAltitudeRef", "int8u[1] 1"},
                             {"GPSAltitude", rationals("125/10")}}));
        QCOMPARE(exifToolGpsTags(run.copy("plain.jpg")),
                 (StoredTags{{"GPSVersionID", version()},
                             {"GPSLatitudeRef", ascii("N")},
                             {"GPSLatitude", rationals("31/1 13/1 4944/100")},
                             {"GPSLongitudeRef", ascii("E")},
                             {"GPSLongitude", rationals("121/1 28/1 2532/100")}}));
        QCOMPARE(exifToolGpsTags(run.copy("west.jpg")),
                 (StoredTags{{"GPSVersionID", version()},
                             {"GPSLatitudeRef", ascii("N")},
                             {"GPSLatitude", rationals("51/1 30/1 252/100")},
                             {"GPSLongitudeRef", ascii("W")},
                             {"GPSLongitude", rationals("0/1 7/1 4008/100")},
                             {"GPSAltitudeRef", "int8u[1] 0"},
                             {"GPSAltitude", rationals("350/10")}}));
        for (auto it = sources.cbegin(); it != sources.cend(); ++it) {
            QCOMPARE(fileBytes(run.path(it.key())), it.value());
            const QByteArray image = jpegImageData(it.value());
            QVERIFY(!image.isEmpty());
            QCOMPARE(jpegImageData(fileBytes(run.copy(it.key()))), image);
        }
    }

    void exitStatusTellsTheOutcome_data() {
        QTest::addColumn<QString>("log");
        QTest::addColumn<QStringList>("photos");
        QTest::addColumn<bool>("codecFails");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");

        const QString two = QStringLiteral("a.jpg,31.5,121.5\nb.jpg,31.6,121.6\n");
        QTest::newRow("every row written")
            << two << QStringList{"a.jpg", "b.jpg"} << false << 0
            << "成功处理 2 个文件，处理结果已保存到 results 子文件夹中！\n"
            << "提示: 共载入2条数据！\n";
        QTest::newRow("a photo is missing")
            << two << QStringList{"a.jpg"} << false << 1
            << "成功处理 1 个文件，处理结果已保存到 results 子文件夹中！\n"
            << "提示: 共载入2条数据！\n警告: b.jpg 跳过\n";
        QTest::newRow("a photo cannot be opened")
            << two + "notes.jpg,1,2\n"
            << QStringList{"a.jpg", "b.jpg", "notes.jpg:text"} << false << 1
            << "成功处理 2 个文件，处理结果已保存到 results 子文件夹中！\n"
            << "提示: 共载入3条数据！\n警告: notes.jpg 打开失败：不是支持的照片格式\n";
        QTest::newRow("no photo at all")
            << two << QStringList{} << false << 2 << "成功处理 0 个文件！\n"
            << "提示: 共载入2条数据！\n警告: a.jpg 跳过\n警告: b.jpg 跳过\n";
        QTest::newRow("no such log") << QString() << QStringList{"a.jpg"} << false << 2 << ""
                                     << "错误: 找不到记录文件：";
        QTest::newRow("no usable line") << "a.jpg,31.5\nnothing here\n"
                                        << QStringList{"a.jpg"} << false << 2 << ""
                                        << "错误: 未找到可添加的数据！\n";
        QTest::newRow("impossible degrees")
            << "a.jpg,31.5,121.5\nb.jpg,31.5,200\n"
            << QStringList{"a.jpg", "b.jpg"} << false << 2 << ""
            << "提示: 共载入2条数据！\n错误: "
               "列表中含无效数据！请交换经纬度或修正记录文件后重试！\n";
        QTest::newRow("codec cannot be created")
            << two << QStringList{"a.jpg", "b.jpg"} << true << 2 << ""
            << "提示: 共载入2条数据！\n错误: 内核调用失败！请重新安装 Corvexa "
               "元数据编辑器后重试！\n";
    }
    void exitStatusTellsTheOutcome() {
        QFETCH(QString, log);
        QFETCH(QStringList, photos);
        QFETCH(bool, codecFails);
        QFETCH(int, status);
        QFETCH(QString, out);
        QFETCH(QString, err);
        Run run;
        for (const QString& photo : photos) {
            if (photo.endsWith(QLatin1String(":text"))) {
                QFile text(run.path(photo.chopped(5)));
                QVERIFY(text.open(QIODevice::WriteOnly));
                text.write("not a photo\n");
            } else {
                run.photo(photo);
            }
        }
        if (!log.isNull())
            run.writeLog(log);

        run.run(QStringLiteral("log.txt"), codecFails);

        QCOMPARE(run.status, status);
        QCOMPARE(run.out, out);
        QVERIFY2(run.err.startsWith(err), qPrintable(run.err));
        if (status == silentexit::kNoneWritten)
            QVERIFY(QDir(run.path("results")).isEmpty());
    }

    void keepsOrDropsTheMakerNoteAsStored_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("kept");
        QTest::newRow("not stored") << QString() << true;
        QTest::newRow("0") << "0" << true;
        QTest::newRow("1") << "1" << false;
    }
    void keepsOrDropsTheMakerNoteAsStored() {
        QFETCH(QString, stored);
        QFETCH(bool, kept);
        if (!stored.isNull())
            QVERIFY(settings::WriteSetting(settings::kBatchSetup, "SkipMakerNote", stored));
        Run run;
        PhotoRecipe canon;
        canon.makerNote = true;
        run.photo("canon.jpg", canon);
        QVERIFY(!readPhotoTags(run.path("canon.jpg"), "Exif.Canon.").isEmpty());
        run.writeLog("canon.jpg,31.5,121.5\n");

        run.run();

        QCOMPARE(run.status, silentexit::kAllWritten);
        QCOMPARE(!readPhotoTags(run.copy("canon.jpg"), "Exif.Canon.").isEmpty(), kept);
    }

    void theExecutableRunsTheBatchWithoutADisplay() {
        const QString program = appExe();
        if (program.isEmpty())
            QSKIP("the program is not built");
        Run run;
        run.photo("a.jpg");
        run.writeLog("a.jpg,-33.8688,151.2093,-12.5\nmissing.jpg,1,2\n", "my log.txt");
        QProcess app;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        app.setProcessEnvironment(env);
        app.start(program, {run.path("my log.txt"), QStringLiteral("-silent")});
        QVERIFY(app.waitForFinished(60000));

        QCOMPARE(app.exitStatus(), QProcess::NormalExit);
        QCOMPARE(app.exitCode(), silentexit::kSomeWritten);
        QCOMPARE(QString::fromUtf8(app.readAllStandardOutput()),
                 QStringLiteral("成功处理 1 个文件，处理结果已保存到 results 子文件夹中！\n"));
        QVERIFY(QString::fromUtf8(app.readAllStandardError()).contains("missing.jpg 跳过"));
        QCOMPARE(readPhotoTags(run.copy("a.jpg"), "Exif.GPSInfo.GPSLatitude"),
                 (QMap<QString, QString>{{"Exif.GPSInfo.GPSLatitude", "33/1 52/1 768/100"},
                                         {"Exif.GPSInfo.GPSLatitudeRef", "S"}}));
    }
};

QTEST_GUILESS_MAIN(TestSilentRun)
#include "test_silentrun.moc"
