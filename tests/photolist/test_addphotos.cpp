#include "base/settings.h"
#include "photolist/addphotos.h"
#include "support/fakeview.h"
#include "support/testfiles.h"

#include <QDir>
#include <QFile>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>
#include <fcntl.h>
#include <unistd.h>

namespace {

const QString kLastFolder = QStringLiteral("LastFolder");

QString lastFolderSetting() {
    return settings::ReadSetting(QString::fromLatin1(settings::kBatchSetup), kLastFolder);
}

QStringList messageTexts(const FakeView& view) {
    QStringList texts;
    for (const RecordedMessage& m : view.messages)
        texts.append(m.title + u'|' + m.text);
    return texts;
}

QString added(int n) {
    return QStringLiteral("提示|成功添加 %1 个文件！").arg(n);
}

QString leftOut(int n) {
    return QStringLiteral("提示|列表已满（最多 32767 行），另有 %1 个文件未添加！").arg(n);
}

QStringList photoNames(int n) {
    QStringList names;
    for (int i = 0; i < n; ++i)
        names.append(QStringLiteral("IMG_%1.JPG").arg(i, 4, 10, QChar(u'0')));
    return names;
}

} // namespace

class TestAddPhotos : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_folder; // with its closing "/"

    void makePhotos(const QStringList& names) {
        for (const QString& name : names)
            writeFile(m_folder + name);
    }

private slots:
    void init() {
        QVERIFY(m_dir.isValid());
        m_folder = m_dir.path() + u'/';
        QFile::remove(settings::defaultSettingsFile());
    }
    void cleanup() {
        QDir(m_dir.path()).removeRecursively();
        QDir().mkpath(m_dir.path());
    }

    void photoExtensions_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("photo");
        QTest::newRow("jpg") << "a.JPG" << true;
        QTest::newRow("jpeg") << "b.jpeg" << true;
        QTest::newRow("tiff mixed case") << "c.Tiff" << true;
        QTest::newRow("tif") << "c.tif" << true;
        QTest::newRow("exif") << "t.Exif" << true;
        QTest::newRow("exi") << "t.exi" << true;
        QTest::newRow("raw nef") << "d.nef" << true;
        QTest::newRow("raw 3fr") << "d.3FR" << true;
        QTest::newRow("text") << "e.txt" << false;
        QTest::newRow("jpeg without its dot") << "f.xjpeg" << false;
        QTest::newRow("tiff without its dot") << "tiff" << false;
        QTest::newRow("no extension") << "IMG_0001" << false;
        QTest::newRow("pattern text, not an extension") << "a;*.c" << false;
        QTest::newRow("bare RAW extension") << "nef" << false;
        QTest::newRow("one letter of the pattern") << "e" << false;
    }
    void photoExtensions() {
        QFETCH(QString, name);
        QFETCH(bool, photo);
        QCOMPARE(isPhotoFileName(name), photo);
    }

    // The add-files dialog answered with several names, or with one path.
    void chosenFiles_data() {
        QTest::addColumn<QStringList>("listed");
        QTest::addColumn<QStringList>("chosen");
        QTest::addColumn<int>("rows");
        QTest::addColumn<QStringList>("messages");
        const QStringList six = photoNames(6);
        const QStringList ten = photoNames(10);
        const QStringList twentyFive = photoNames(25);
        QTest::newRow("three photos, no message")
            << QStringList() << photoNames(3) << 3 << QStringList();
        QTest::newRow("six photos") << QStringList() << six << 6 << QStringList{added(6)};
        QTest::newRow("25 with 2 listed: no duplicate check")
            << twentyFive.mid(3, 2) << twentyFive << 27 << QStringList{added(25)};
        QTest::newRow("10 with 2 listed: duplicates skipped")
            << ten.mid(3, 2) << ten << 10 << QStringList{added(8)};
        QTest::newRow("one listed photo") << six.mid(0, 1) << six.mid(0, 1) << 1
                                          << QStringList{QStringLiteral("提醒|文件已存在！")};
        QTest::newRow("letter case makes another photo")
            << QStringList{QStringLiteral("a.jpg")} << QStringList{QStringLiteral("A.JPG")} << 2
            << QStringList();
    }
    void chosenFiles() {
        QFETCH(QStringList, listed);
        QFETCH(QStringList, chosen);
        QFETCH(int, rows);
        QFETCH(QStringList, messages);
        makePhotos(chosen + listed);
        FakeWindow w;
        auto ctx = w.context();
        for (const QString& name : listed)
            QCOMPARE(AddPhoto(ctx, m_folder + name, false), 0);
        w.view.messages.clear();

        beginAddFiles(ctx);
        QVERIFY(!w.view.isEnabled(Control::cmdExport));
        const QString answer = chosen.size() == 1 ? m_folder + chosen.first()
                                                  : m_dir.path() + QChar(0) + chosen.join(QChar(0));
        // The dialog pads its answer.
        addChosenFiles(ctx, answer + QChar(0) + QStringLiteral("  "));

        QCOMPARE(w.list.count(), rows);
        QCOMPARE(messageTexts(w.view), messages);
        for (int i = 0; i < w.list.count(); ++i) {
            const PhotoRow& row = w.list.row(i);
            QCOMPARE(row.texts[ColStatus], status::kToRead);
            QCOMPARE(row.texts[ColLatitude], QStringLiteral("-"));
            QVERIFY(!row.ghosted);
            QCOMPARE(row.record.fileName, m_folder + row.texts[ColFileName]);
        }
        QCOMPARE(w.log.logFolder, m_folder);
        QCOMPARE(lastFolderSetting(), m_folder);
        QVERIFY(w.view.isEnabled(Control::cmdExport));
        QVERIFY(w.view.isEnabled(Control::cmdClear));
        QVERIFY(w.view.isEnabled(Control::cmdOpenEx));
        QVERIFY(!w.view.busyCursor);
        QCOMPARE(w.view.focused, Control::cmdExport);
    }

    void missingOrRefusedPaths_data() {
        QTest::addColumn<QString>("path"); // relative to the temporary folder
        QTest::addColumn<bool>("create");
        QTest::addColumn<QString>("status"); // empty: no row
        QTest::newRow("missing file") << "gone.jpg" << false << status::kNotFound;
        QTest::newRow("hidden file") << ".hidden.jpg" << true << status::kNotFound;
        QTest::newRow("folder") << "photos.2020" << false << status::kNotFound;
        QTest::newRow("Windows recycle bin") << "$Recycle.Bin/S-1-5/$R1.jpg" << true << QString();
        QTest::newRow("desktop trash") << ".local/share/Trash/files/a.jpg" << true << QString();
        QTest::newRow("volume trash") << ".Trash-1000/files/a.jpg" << true << QString();
        QTest::newRow("a folder merely named Trash")
            << "Trash/a.jpg" << true << QString(status::kToRead);
    }
    void missingOrRefusedPaths() {
        QFETCH(QString, path);
        QFETCH(bool, create);
        QFETCH(QString, status);
        const QString full = m_folder + path;
        QDir().mkpath(QFileInfo(full).path());
        if (create)
            writeFile(full);
        if (path == u"photos.2020")
            QDir().mkpath(full);
        FakeWindow w;
        auto ctx = w.context();
        beginAddFiles(ctx);
        addChosenFiles(ctx, full);
        QVERIFY(w.view.messages.isEmpty());
        if (status.isEmpty()) {
            QCOMPARE(w.list.count(), 0);
            QVERIFY(!w.view.isEnabled(Control::cmdExport));
            return;
        }
        QCOMPARE(w.list.count(), 1);
        QCOMPARE(w.list.row(0).texts[ColStatus], status);
        QCOMPARE(w.list.row(0).ghosted, status == status::kNotFound);
        QCOMPARE(w.list.record(0).fileExists, status != status::kNotFound);
    }

    void finishedRunIsReplacedEvenWhenCancelled() {
        FakeWindow w;
        auto ctx = w.context();
        AddPhoto(ctx, m_folder + QStringLiteral("a.jpg"), false);
        w.log.batchDone = true;
        beginAddFiles(ctx);
        addChosenFiles(ctx, QString());
        QCOMPARE(w.list.count(), 0);
        QVERIFY(!w.view.isEnabled(Control::cmdExport));
        QVERIFY(!w.view.isEnabled(Control::cmdClear));
        QVERIFY(w.log.batchDone);
        QVERIFY(lastFolderSetting().isEmpty());
    }

    void folderTakesItsOwnPhotosInNameOrder() {
        makePhotos({"d.nef", "c.Tiff", "a.JPG", "e.txt", "f.xjpeg", "b.jpeg", ".g.jpg"});
        QDir().mkpath(m_folder + QStringLiteral("sub"));
        writeFile(m_folder + QStringLiteral("sub/h.jpg"));
        FakeWindow w;
        auto ctx = w.context();
        AddPhoto(ctx, QStringLiteral("/elsewhere/old.jpg"), false);
        w.log.batchDone = true;

        addFolder(ctx, m_dir.path() + QChar(0) + QStringLiteral("junk"));

        QCOMPARE(rowNames(w.list), (QStringList{"a.JPG", "b.jpeg", "c.Tiff", "d.nef"}));
        QCOMPARE(w.list.record(0).fileName, m_folder + QStringLiteral("a.JPG"));
        QCOMPARE(w.list.row(3).texts[ColStatus], status::kToRead);
        QCOMPARE(messageTexts(w.view), QStringList{added(4)});
        QCOMPARE(w.view.messages.first().icon, MessageIcon::Information);
        QCOMPARE(lastFolderSetting(), m_folder);
        QVERIFY(!w.log.batchDone);
        QVERIFY(w.view.isEnabled(Control::cmdExport));
        QVERIFY(w.view.isEnabled(Control::cboAction));
        QVERIFY(!w.view.busyCursor);
    }

    // Names from an archive of another system: invisible to Qt's listing, counted here.
    void undecodableNamesAreCountedNotAdded() {
        makePhotos({"a.jpg", "c.jpg"});
        const QByteArray raw = QFile::encodeName(m_folder) + "b\xff\xfe.jpg";
        const int fd = ::open(raw.constData(), O_CREAT | O_WRONLY, 0644);
        QVERIFY(fd >= 0);
        ::close(fd);
        FakeWindow w;
        auto ctx = w.context();

        addFolder(ctx, m_dir.path());

        QCOMPARE(::unlink(raw.constData()), 0); // before any check: Qt cannot remove it
        QCOMPARE(rowNames(w.list), (QStringList{"a.jpg", "c.jpg"}));
        QCOMPARE(messageTexts(w.view),
                 (QStringList{added(2), QStringLiteral("提示|1 个文件名无法识别，未添加")}));
    }

    void folderWithoutPhotos_data() {
        QTest::addColumn<QString>("folder");
        QTest::newRow("only other files") << "plain";
        QTest::newRow("missing folder") << "nowhere";
        QTest::newRow("in a recycle bin") << "$RECYCLE.BIN";
    }
    void folderWithoutPhotos() {
        QFETCH(QString, folder);
        QDir().mkpath(m_folder + QStringLiteral("plain"));
        QDir().mkpath(m_folder + QStringLiteral("$RECYCLE.BIN"));
        writeFile(m_folder + QStringLiteral("plain/notes.txt"));
        writeFile(m_folder + QStringLiteral("$RECYCLE.BIN/a.jpg"));
        FakeWindow w;
        auto ctx = w.context();
        AddPhoto(ctx, QStringLiteral("/elsewhere/old.jpg"), false);
        addFolder(ctx, m_folder + folder);
        QCOMPARE(w.list.count(), 0);
        QCOMPARE(messageTexts(w.view), QStringList{QStringLiteral("提示|未找到可添加的文件！")});
        QCOMPARE(w.view.messages.first().icon, MessageIcon::Warning);
        QVERIFY(!w.view.isEnabled(Control::cmdExport));
        QVERIFY(w.view.isEnabled(Control::cmdOpenFolder));
    }

    // The folder's photos given to the rows of a KML log, by position.
    void assignMode_data() {
        QTest::addColumn<int>("logRows");
        QTest::addColumn<QStringList>("photos");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("fewer photos than rows") << 3 << QStringList{"b.jpg", "a.JPG", "notes.txt"}
                                                << QStringList{"a.JPG", "b.jpg", "(无对应)"};
        QTest::newRow("more photos than rows")
            << 2 << QStringList{"1.jpg", "2.jpg", "3.jpg", "4.jpg", "5.jpg"}
            << QStringList{"1.jpg", "2.jpg"};
        QTest::newRow("no rows") << 0 << QStringList{"1.jpg"} << QStringList();
    }
    void assignMode() {
        QFETCH(int, logRows);
        QFETCH(QStringList, photos);
        QFETCH(QStringList, names);
        makePhotos(photos);
        FakeWindow w;
        auto ctx = w.context();
        for (int i = 0; i < logRows; ++i) {
            PhotoRow row;
            row.record.lat = {int16_t(10 + i), 0, 0.0f};
            row.texts = {QStringLiteral("(无对应)"), QStringLiteral("10°"), QString(), QString(),
                         status::kNotFound};
            row.ghosted = true;
            w.list.append(row);
        }
        qint32 count = 0;
        AddFolderPhotos(ctx, m_dir.path(), count, true);

        QCOMPARE(count, std::min<int>(logRows, photos.size() - photos.count("notes.txt")));
        QCOMPARE(w.list.count(), logRows);
        QCOMPARE(rowNames(w.list), names);
        for (int i = 0; i < logRows; ++i) {
            const PhotoRow& row = w.list.row(i);
            const bool assigned = i < count;
            QCOMPARE(row.record.fileName, assigned ? row.texts[ColFileName] : QString());
            QCOMPARE(row.record.fileExists, assigned);
            QCOMPARE(row.ghosted, !assigned);
            QCOMPARE(row.texts[ColStatus], assigned ? status::kPending : status::kNotFound);
            QCOMPARE(row.record.lat.deg, 10 + i);
            QCOMPARE(row.texts[ColLatitude], QStringLiteral("10°"));
        }
        QCOMPARE(w.log.logFolder, m_folder);
        QCOMPARE(lastFolderSetting(), m_folder);
        QVERIFY(w.view.messages.isEmpty());
    }

    void nameLists_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("autoSuffix");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QStringList>("messages");
        const QString invalid = QStringLiteral("错误|无效记录文件类型！");
        QTest::newRow("commas, CR LF") << QByteArray("a.jpg,31,121\r\nb.jpg,1,2\r\n") << true
                                       << QStringList{"a.jpg", "b.jpg"} << QStringList();
        QTest::newRow("blank lines are skipped")
            << QByteArray("a.jpg\r\n\r\n  \t \r\nb.jpg\r\n") << true
            << QStringList{"a.jpg", "b.jpg"} << QStringList();
        QTest::newRow("CR only") << QByteArray("a.jpg\rb.jpg\r") << true
                                 << QStringList{"a.jpg", "b.jpg"} << QStringList();
        QTest::newRow("LF, no end")
            << QByteArray("a.jpg\nb.jpg") << true << QStringList{"a.jpg", "b.jpg"} << QStringList();
        QTest::newRow("no word before the minus: one name")
            << QByteArray("IMG_0001 -31.5 -70.2\n") << true << QStringList{"IMG_0001 -31.5 -70.2"}
            << QStringList();
        QTest::newRow("blanks between words split")
            << QByteArray("  IMG_0002  31.5\t70.2\n") << true << QStringList{"IMG_0002.JPG"}
            << QStringList();
        QTest::newRow("no suffix when switched off") << QByteArray("IMG_0003 31.5 70.2\n") << false
                                                     << QStringList{"IMG_0003"} << QStringList();
        QTest::newRow("a name twice is queued twice")
            << QByteArray("a.jpg\na.jpg\n") << true << QStringList{"a.jpg", "a.jpg"}
            << QStringList();
        QTest::newRow("UTF-8 with byte-order mark") << QByteArray("\xEF\xBB\xBF照片.jpg\n") << true
                                                    << QStringList{"照片.jpg"} << QStringList();
        QTest::newRow("GB18030") << QByteArray(
                                        QStringEncoder("GB18030")(QStringLiteral("照片一.jpg\r\n")))
                                 << true << QStringList{"照片一.jpg"} << QStringList();
        QTest::newRow("XML refused") << QByteArray("<?xml version=\"1.0\"?>\n<kml>a.jpg</kml>\n")
                                     << true << QStringList() << QStringList{invalid};
    }
    void nameLists() {
        QFETCH(QByteArray, content);
        QFETCH(bool, autoSuffix);
        QFETCH(QStringList, names);
        QFETCH(QStringList, messages);
        const QString path = m_folder + QStringLiteral("track.TXT");
        writeFile(path, content);
        FakeWindow w;
        w.log.autoSuffix = autoSuffix;
        w.log.batchDone = true;
        auto ctx = w.context();
        AddPhoto(ctx, QStringLiteral("/elsewhere/old.jpg"), false);
        addChosenFiles(ctx, path + u' ');

        QCOMPARE(rowNames(w.list), names);
        QCOMPARE(messageTexts(w.view), messages);
        for (int i = 0; i < w.list.count(); ++i)
            QCOMPARE(w.list.record(i).fileName, m_folder + names.at(i));
        QCOMPARE(lastFolderSetting(), m_folder);
        QVERIFY(!w.log.batchDone);
        QCOMPARE(w.view.isEnabled(Control::cmdExport), !names.isEmpty());
        QVERIFY(w.view.isEnabled(Control::cboAction));
    }

    void unreadableNameList() {
        FakeWindow w;
        auto ctx = w.context();
        AddPhoto(ctx, QStringLiteral("/elsewhere/old.jpg"), false);
        LoadFileListLog(ctx, m_folder + QStringLiteral("missing.txt"));
        QCOMPARE(w.list.count(), 0);
        QCOMPARE(messageTexts(w.view), QStringList{QStringLiteral("错误|无效记录文件类型！")});
        QVERIFY(w.view.isEnabled(Control::cmdOpenEx));
        QVERIFY(!w.view.isEnabled(Control::cmdExport));
    }

    // Every way of adding stops at the 16-bit row limit and says how much it left out.
    void rowLimit_data() {
        QTest::addColumn<QString>("way");
        QTest::addColumn<int>("free");
        QTest::addColumn<int>("offered");
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("dialog, six names") << "dialog" << 2 << 6 << QStringList{leftOut(4)};
        QTest::newRow("dialog, 30 names")
            << "dialog" << 7 << 30 << QStringList{added(7), leftOut(23)};
        QTest::newRow("dialog, one name") << "dialog" << 0 << 1 << QStringList{leftOut(1)};
        QTest::newRow("dialog, fits exactly") << "dialog" << 6 << 6 << QStringList{added(6)};
        QTest::newRow("name list")
            << "list" << 0 << PhotoList::kMaxRows + 2 << QStringList{leftOut(2)};
    }
    void rowLimit() {
        QFETCH(QString, way);
        QFETCH(int, free);
        QFETCH(int, offered);
        QFETCH(QStringList, messages);
        FakeWindow w;
        auto ctx = w.context();
        if (way == u"list") {
            // A name list replaces the list, so only a list longer than the limit overflows.
            const QString list = m_folder + QStringLiteral("names.txt");
            writeFile(list, QByteArray("a.jpg\n").repeated(offered));
            addChosenFiles(ctx, list);
            QCOMPARE(w.list.count(), PhotoList::kMaxRows);
            QCOMPARE(messageTexts(w.view), messages);
            return;
        }
        const QStringList names = photoNames(offered);
        makePhotos(names);
        for (int i = 0; i < PhotoList::kMaxRows - free; ++i)
            w.list.append({});
        addChosenFiles(ctx, names.size() == 1 ? m_folder + names.first()
                                              : m_dir.path() + QChar(0) + names.join(QChar(0)));
        QCOMPARE(w.list.count(), PhotoList::kMaxRows);
        QCOMPARE(messageTexts(w.view), messages);
        QCOMPARE(w.list.row(PhotoList::kMaxRows - 1).texts[ColFileName],
                 free > 0 ? names.at(free - 1) : QString());
    }
};

QTEST_GUILESS_MAIN(TestAddPhotos)
#include "test_addphotos.moc"
