// The main window driven through its controls on the offscreen platform.

#include "app/frmgps.h"
#include "base/settings.h"
#include "controls/commdialog.h"
#include "controls/uclistview.h"
#include "support/fakecodec.h"
#include "support/messagesink.h"
#include "support/testfiles.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

namespace {

QString settingsFile() {
    return settings::defaultSettingsFile();
}

void setBatchSetup(const QString& key, const QString& value) {
    settings::WriteSetting(QStringLiteral("BatchSetup"), key, value);
}

QString batchSetup(const QString& key) {
    return settings::ReadSetting(QStringLiteral("BatchSetup"), key);
}

// Answers the next file dialog with the given files (all in one folder), or cancels it.
void answerFileDialog(const QStringList& files) {
    CommDialog::setTestHook([files](QDialog& dialog) {
        auto* fileDialog = qobject_cast<QFileDialog*>(&dialog);
        if (!fileDialog || files.isEmpty()) {
            dialog.reject();
            return;
        }
        fileDialog->setDirectory(QFileInfo(files.first()).absolutePath());
        QStringList quoted;
        for (const QString& file : files)
            quoted << QLatin1Char('"') + QFileInfo(file).fileName() + QLatin1Char('"');
        fileDialog->selectFile(files.size() == 1 ? QFileInfo(files.first()).fileName()
                                                 : quoted.join(QLatin1Char(' ')));
        dialog.accept();
    });
}

} // namespace

class TestFrmGps : public QObject {
    Q_OBJECT

    struct Window {
        explicit Window(AppState& app) : form(app) { form.setMessageSink(&sink); }
        template <typename T> T* find(const char* name) {
            return form.findChild<T*>(QLatin1String(name));
        }
        RecordingSink sink;
        FrmGps form;
    };

    AppState m_app;
    FakeCodecWorld m_codec;

private slots:
    void init() {
        QFile::remove(settingsFile());
        m_codec = FakeCodecWorld{};
        m_app = AppState{};
        m_app.codecFactory = m_codec.factory();
        CommDialog::setTestHook({});
    }

    void freshStartShowsDefaultsAndSavesThemOnClose() {
        {
            Window w(m_app);
            QCOMPARE(w.find<QComboBox>("cboAction")->currentIndex(), 0);
            QVERIFY(!w.find<QWidget>("fraImport")->isHidden());
            QVERIFY(w.find<QWidget>("fraExport")->isHidden());
            QCOMPARE(w.find<QComboBox>("cboOutFormat(0)")->currentIndex(), 0);
            QCOMPARE(w.find<QComboBox>("cboOutFormat(1)")->currentText(),
                     QStringLiteral("CSV 格式"));
            QCOMPARE(w.find<QComboBox>("cboOutFormat(2)")->currentIndex(), 0);
            QVERIFY(!w.find<QCheckBox>("chkMakerNote")->isChecked());
            QVERIFY(!w.find<QPushButton>("cmdStart")->isEnabled());
            QVERIFY(!w.find<QPushButton>("cmdToggle")->isEnabled());
            QVERIFY(w.form.close());
        }
        QCOMPARE(batchSetup("Action"), QStringLiteral("0"));
        QCOMPARE(batchSetup("OutputFormat"), QStringLiteral("0"));
        QCOMPARE(batchSetup("OutputDataFormat"), QStringLiteral("0"));
        QCOMPARE(batchSetup("SkipMakerNote"), QStringLiteral("0"));
        QCOMPARE(batchSetup("OutputSubFormatTEXT"), QStringLiteral("0"));
        QVERIFY(batchSetup("OutputSubFormatKML").isEmpty());
    }

    void settingsAreReadByTheirRules_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("control");
        QTest::addColumn<int>("index");
        QTest::newRow("format 7") << "OutputFormat"
                                  << "7"
                                  << "cboOutFormat(0)" << 0;
        QTest::newRow("format -1") << "OutputFormat"
                                   << "-1"
                                   << "cboOutFormat(0)" << 0;
        QTest::newRow("format abc") << "OutputFormat"
                                    << "abc"
                                    << "cboOutFormat(0)" << 0;
        QTest::newRow("format 0.5") << "OutputFormat"
                                    << "0.5"
                                    << "cboOutFormat(0)" << 0;
        QTest::newRow("format 1.5") << "OutputFormat"
                                    << "1.5"
                                    << "cboOutFormat(0)" << 2;
        QTest::newRow("format huge") << "OutputFormat"
                                     << "1e30"
                                     << "cboOutFormat(0)" << 0;
        QTest::newRow("format 1") << "OutputFormat"
                                  << "1"
                                  << "cboOutFormat(0)" << 1;
        QTest::newRow("format 2") << "OutputFormat"
                                  << "2"
                                  << "cboOutFormat(0)" << 2;
        QTest::newRow("action 2") << "Action"
                                  << "2"
                                  << "cboAction" << 1;
        QTest::newRow("action -1") << "Action"
                                   << "-1"
                                   << "cboAction" << 1;
        QTest::newRow("action empty") << "Action"
                                      << ""
                                      << "cboAction" << 0;
        QTest::newRow("data format 5") << "OutputDataFormat"
                                       << "5"
                                       << "cboOutFormat(2)" << 1;
        QTest::newRow("text sub-format 1") << "OutputSubFormatTEXT"
                                           << "1"
                                           << "cboOutFormat(1)" << 1;
    }
    void settingsAreReadByTheirRules() {
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QString, control);
        setBatchSetup(key, value);
        Window w(m_app);
        QTEST(w.form.findChild<QComboBox*>(control)->currentIndex(), "index");
    }

    void kmlFormatStartsWithItsStoredSubFormatAndDisablesTextChoices() {
        setBatchSetup("OutputFormat", "1");
        setBatchSetup("OutputSubFormatKML", "3");
        Window w(m_app);
        auto* sub = w.find<QComboBox>("cboOutFormat(1)");
        QCOMPARE(sub->count(), 3);
        QCOMPARE(sub->currentIndex(), 0);
        QVERIFY(!w.find<QComboBox>("cboOutFormat(2)")->isEnabled());
        QVERIFY(!w.find<QPushButton>("cmdOptions")->isEnabled());
    }

    void storedMakerNoteChoiceTicksSilentlyButTheUserIsWarned() {
        setBatchSetup("SkipMakerNote", "1");
        Window w(m_app);
        auto* box = w.find<QCheckBox>("chkMakerNote");
        QVERIFY(box->isChecked());
        QVERIFY(w.sink.messages.isEmpty());
        box->click(); // unticked: no word
        QVERIFY(w.sink.messages.isEmpty());
        box->click();
        QCOMPARE(w.sink.messages.size(), 1);
        QCOMPARE(w.sink.messages.first().title, QStringLiteral("警告"));
    }

    void addFilesThroughTheDialogAndSwitchingActionEmptiesTheList() {
        QTemporaryDir dir;
        QStringList photos;
        for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) {
            photos << dir.filePath(QLatin1String(name));
            writeFile(photos.last(), "x");
        }
        setBatchSetup("Action", "1");
        Window w(m_app);
        answerFileDialog(photos);
        w.find<QPushButton>("cmdOpenEx")->click();
        QCOMPARE(w.form.photoList().count(), 3);
        auto* list = w.find<UcListView>("lvFiles");
        QCOMPARE(list->Count(), 3);
        QCOMPARE(list->ItemText(1), QStringLiteral("b.jpg"));
        QCOMPARE(list->SubItemText(1, 4), QStringLiteral("待读取"));
        QVERIFY(w.find<QPushButton>("cmdExport")->isEnabled());
        QCOMPARE(batchSetup("LastFolder"), QDir(dir.path()).absolutePath() + QLatin1Char('/'));

        auto* action = w.find<QComboBox>("cboAction");
        action->setCurrentIndex(0);
        w.form.cboAction_Click();
        QCOMPARE(list->Count(), 0);
        QVERIFY(!w.find<QPushButton>("cmdExport")->isEnabled());
        QVERIFY(!w.find<QPushButton>("cmdClear")->isEnabled());
    }

    void rowColoursFollowEvenOddAndGhosting() {
        QTemporaryDir dir;
        writeFile(dir.filePath("a.jpg"), "x");
        writeFile(dir.filePath("c.jpg"), "x");
        setBatchSetup("Action", "1");
        Window w(m_app);
        w.form.lvFiles_OLEDragDrop(
            {dir.filePath("a.jpg"), dir.filePath("missing.jpg"), dir.filePath("c.jpg")});
        QCOMPARE(w.form.photoList().count(), 3);
        QVERIFY(w.find<UcListView>("lvFiles")->ItemGhosted(1));
        struct Cell {
            quint32 back = 0, fore = 0;
            bool process = false;
        };
        auto paint = [&](int item) {
            Cell cell;
            w.form.lvFiles_OnSubItemPrePaint(item, 0, cell.back, cell.fore, cell.process);
            return cell;
        };
        const Cell row0 = paint(0), row1 = paint(1), row2 = paint(2);
        QVERIFY(row0.process);
        QCOMPARE(row0.back, 0xF8F8F8u);
        QCOMPARE(row0.fore, 0u);
        QVERIFY(row1.process);
        QCOMPARE(row1.back, 0xFFFFFFu);
        QCOMPARE(row1.fore, 0x999999u);
        QCOMPARE(row2.back, 0xF8F8F8u);
        QVERIFY(!paint(3).process);
    }

    void closingIsRefusedWhileABatchRuns() {
        Window w(m_app);
        w.form.show();
        m_app.batchRunning = true;
        QVERIFY(!w.form.close());
        QVERIFY(w.form.isVisible());
        m_app.batchRunning = false;
        QVERIFY(w.form.close());
    }

    void commandLineLogIsLoadedAndWrittenThroughTheButtons() {
        QTemporaryDir dir;
        writeFile(dir.filePath("IMG_1.JPG"), "x");
        writeFile(dir.filePath("log.txt"), "IMG_1.JPG,-33.8688,151.2093,-12.5\nIMG_2,1,2\n");
        m_codec.photos.insert(dir.filePath("IMG_1.JPG"), FakePhoto{});
        m_app.commandLinePath = dir.filePath("log.txt");
        Window w(m_app);
        auto* list = w.find<UcListView>("lvFiles");
        QCOMPARE(list->Count(), 2);
        QCOMPARE(list->SubItemText(0, 1), QStringLiteral("33°52′7.68″S"));
        QCOMPARE(list->ItemText(1), QStringLiteral("IMG_2.JPG"));
        QVERIFY(list->ItemGhosted(1));
        QCOMPARE(w.find<QLabel>("lblTips")->text(), QStringLiteral("共载入2条数据！"));

        w.find<QPushButton>("cmdStart")->click();
        QCOMPARE(list->SubItemText(0, 4), QStringLiteral("处理成功！"));
        QCOMPARE(list->ItemIcon(0), 2);
        QCOMPARE(list->SubItemText(1, 4), QStringLiteral("跳过"));
        QCOMPARE(list->ItemIcon(1), 3);
        QCOMPARE(m_codec.saved, QStringList{dir.filePath("results/IMG_1.JPG")});
        QVERIFY(!w.find<QPushButton>("cmdStart")->isEnabled());
        QVERIFY(!w.sink.messages.isEmpty());
        QCOMPARE(w.sink.messages.last().title, QStringLiteral("完成处理"));
    }

    void swapButtonExchangesTheColumns() {
        QTemporaryDir dir;
        writeFile(dir.filePath("log.txt"), "a.jpg,121.5,31.25\n");
        m_app.commandLinePath = dir.filePath("log.txt");
        Window w(m_app);
        auto* list = w.find<UcListView>("lvFiles");
        const QString latitude = list->SubItemText(0, 1);
        w.find<QPushButton>("cmdToggle")->click();
        QCOMPARE(list->SubItemText(0, 2), latitude.chopped(1) + QLatin1Char('E'));
    }

    void exportWritesTheChosenFile() {
        QTemporaryDir dir;
        const QString photo = dir.filePath("p.jpg");
        writeFile(photo, "x");
        FakePhoto tagged;
        tagged.strings = {{1, "N"}, {3, "E"}, {6, "35.2"}, {5, "0"}};
        tagged.labels = {{2, "22°32′35.16″"}, {4, "114°3′28.44″"}};
        tagged.position = std::make_pair(22.5431, 114.0579);
        m_codec.photos.insert(photo, tagged);
        setBatchSetup("Action", "1");
        Window w(m_app);
        w.form.lvFiles_OLEDragDrop({photo});
        const QString output = dir.filePath("out.csv");
        answerFileDialog({output});
        w.find<QPushButton>("cmdExport")->click();
        QFile file(output);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("p.jpg,22.5431,114.0579,35.2\r\n"));
        auto* list = w.find<UcListView>("lvFiles");
        QCOMPARE(list->SubItemText(0, 4), QStringLiteral("已读出"));
        QVERIFY(!m_app.batchRunning);
    }

    void addFolderTakesThePhotosDirectlyInIt() {
        QTemporaryDir dir;
        for (const char* name : {"a.JPG", "b.jpeg", "c.Tiff", "d.nef", "e.txt", "f.xjpeg"})
            writeFile(dir.filePath(QLatin1String(name)), "x");
        QDir(dir.path()).mkdir("sub");
        writeFile(dir.filePath("sub/g.jpg"), "x");
        setBatchSetup("Action", "1");
        Window w(m_app);
        CommDialog::setTestHook([&dir](QDialog& dialog) {
            qobject_cast<QFileDialog*>(&dialog)->setDirectory(dir.path());
            qobject_cast<QFileDialog*>(&dialog)->selectFile(dir.path());
            dialog.accept();
        });
        w.find<QPushButton>("cmdOpenFolder")->click();
        auto* list = w.find<UcListView>("lvFiles");
        QCOMPARE(list->Count(), 4);
        QCOMPARE(list->ItemText(3), QStringLiteral("d.nef"));
        QCOMPARE(w.sink.messages.last().text, QStringLiteral("成功添加 4 个文件！"));
    }

    void aNameListChosenAloneIsReadForItsNames() {
        QTemporaryDir dir;
        writeFile(dir.filePath("IMG_1.JPG"), "x");
        writeFile(dir.filePath("names.txt"), "IMG_1\n\nIMG_2.JPG,1,2\n");
        setBatchSetup("Action", "1");
        Window w(m_app);
        answerFileDialog({dir.filePath("names.txt")});
        w.find<QPushButton>("cmdOpenEx")->click();
        auto* list = w.find<UcListView>("lvFiles");
        QCOMPARE(list->Count(), 2);
        QCOMPARE(list->SubItemText(0, 4), QStringLiteral("待读取"));
        QCOMPARE(list->SubItemText(1, 4), QStringLiteral("未找到文件"));
    }

    void aSelectionTooLongForTheDialogIsToldNotDropped() {
        QTemporaryDir dir;
        QStringList photos;
        for (int i = 0; i < 200; ++i) {
            photos << dir.filePath(QStringLiteral("a-rather-long-photo-name-from-a-camera-%1.jpg")
                                       .arg(i, 4, 10, QLatin1Char('0')));
            writeFile(photos.last(), "x");
        }
        setBatchSetup("Action", "1");
        Window w(m_app);
        answerFileDialog(photos);
        w.find<QPushButton>("cmdOpenEx")->click();
        QCOMPARE(w.form.photoList().count(), 0);
        QCOMPARE(w.sink.messages.size(), 1);
        QVERIFY(w.sink.messages.first().text.contains(QStringLiteral("过多")));
    }
};

QTEST_MAIN(TestFrmGps)
#include "test_frmgps.moc"
