// The main window driven through its controls on the offscreen platform.

#include "app/frmgps.h"
#include "app/icons.h"
#include "app/messagebox.h"
#include "app/uiglobals.h"
#include "base/settings.h"
#include "controls/commdialog.h"
#include "controls/uclistview.h"
#include "support/fakecodec.h"
#include "support/messagesink.h"
#include "support/testfiles.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QWheelEvent>

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

bool hasChinese(const QString& text) {
    return std::any_of(text.begin(), text.end(),
                       [](QChar c) { return c.unicode() >= 0x4E00 && c.unicode() <= 0x9FFF; });
}

// The texts a user reads on a dialog: its buttons and, for a file dialog, its field labels.
QStringList dialogTexts(const QDialog& dialog) {
    QStringList texts;
    if (const auto* buttons = dialog.findChild<QDialogButtonBox*>())
        for (const QAbstractButton* button : buttons->buttons())
            texts << button->text();
    for (const char* label : {"lookInLabel", "fileNameLabel", "fileTypeLabel"})
        if (const auto* found = dialog.findChild<QLabel*>(QLatin1String(label)))
            texts << found->text();
    return texts;
}

// Pixels that read as magenta: red and blue high, green well below both.
int magentaPixels(const QImage& image) {
    int count = 0;
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y) {
        for (int x = 0; x < argb.width(); ++x) {
            const QColor c = QColor::fromRgba(argb.pixel(x, y));
            if (c.alpha() > 0 && c.red() > 150 && c.blue() > 150 &&
                c.green() < std::min(c.red(), c.blue()) - 60)
                ++count;
        }
    }
    return count;
}

// Records what QDesktopServices was asked to open.
class UrlRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened << url; }
};

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
    void initTestCase() { QVERIFY(LoadQtTranslation()); }

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

    void commandLineLogOpensInTheImportActionWhateverWasSaved() {
        QTemporaryDir dir;
        writeFile(dir.filePath("log.txt"), "a.jpg,31.25,121.5\n");
        setBatchSetup("Action", "1");
        m_app.commandLinePath = dir.filePath("log.txt");
        Window w(m_app);
        QCOMPARE(w.find<QComboBox>("cboAction")->currentIndex(), 0);
        QVERIFY(!w.find<QWidget>("fraImport")->isHidden());
        QCOMPARE(w.find<UcListView>("lvFiles")->Count(), 1);
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
        // The row in hand is shown once per frame, the last one when the run has ended.
        QTRY_VERIFY(list->ItemSelected(0));
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

    void qtDialogsSpeakChinese_data() {
        QTest::addColumn<QString>("dialog");
        QTest::newRow("message box") << "message";
        QTest::newRow("open file") << "open";
        QTest::newRow("save file") << "save";
        QTest::newRow("folder") << "folder";
        QTest::newRow("overwrite question") << "overwrite";
    }

    void qtDialogsSpeakChinese() {
        QFETCH(QString, dialog);
        QStringList texts;
        const auto read = [&texts](QDialog& shown) {
            texts = dialogTexts(shown);
            shown.reject();
        };
        if (dialog == u"message") {
            QTimer::singleShot(0, this, [&read] {
                if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
                    read(*box);
            });
            showMessageBox(nullptr, QStringLiteral("提示"), QStringLiteral("文本"),
                           MessageIcon::Information);
        } else if (dialog == u"overwrite") {
            // Accepting an existing name in the save dialog asks before replacing it.
            QTemporaryDir dir;
            writeFile(dir.filePath("out.csv"));
            CommDialog::setTestHook([&](QDialog& shown) {
                QTimer::singleShot(0, this, [&] {
                    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                        texts = dialogTexts(*box) << box->text();
                        box->reject();
                    }
                });
                auto* files = qobject_cast<QFileDialog*>(&shown);
                files->setDirectory(dir.path());
                files->selectFile(QStringLiteral("out.csv"));
                shown.accept(); // QFileDialog::accept asks first
                shown.reject();
            });
            CommDialog files;
            files.setFlags(CommDialog::OFN_OVERWRITEPROMPT);
            files.ShowSave();
        } else {
            CommDialog::setTestHook(read);
            CommDialog files;
            if (dialog == u"open")
                files.ShowOpen();
            else if (dialog == u"save")
                files.ShowSave();
            else
                files.ShowFolder();
        }
        QVERIFY(!texts.isEmpty());
        for (const QString& text : std::as_const(texts))
            QVERIFY2(hasChinese(text), qPrintable(text));
    }

    void statusIconsHaveNoMaskColourFringe() {
        const QImage strip = icons::statusStrip().toImage();
        QVERIFY(strip.hasAlphaChannel());
        QCOMPARE(qAlpha(strip.pixel(0, 0)), 0);
        QCOMPARE(magentaPixels(strip), 0);

        // The four icons as the list shows them, one row per state.
        QTemporaryDir dir;
        setBatchSetup("Action", "1");
        Window w(m_app);
        QStringList photos;
        for (int i = 0; i < 4; ++i) {
            photos << dir.filePath(QStringLiteral("p%1.jpg").arg(i));
            writeFile(photos.last());
        }
        w.form.lvFiles_OLEDragDrop(photos);
        auto* list = w.find<UcListView>("lvFiles");
        for (int i = 0; i < 4; ++i)
            list->setItemIcon(i, i);
        QCOMPARE(magentaPixels(list->grab().toImage()), 0);
    }

    // Enter presses the focused button; from elsewhere it reaches the export button.
    void enterPressesTheFocusedButton_data() {
        QTest::addColumn<int>("action");
        QTest::addColumn<QString>("focus");
        QTest::addColumn<QString>("dialogTitle"); // the dialog Enter opened, if any
        QTest::addColumn<int>("rowsAfter");
        QTest::newRow("clear") << 1 << "cmdClear"
                               << "" << 0;
        QTest::newRow("add files") << 1 << "cmdOpenEx"
                                   << "添加待处理文件" << 2;
        QTest::newRow("export") << 1 << "cmdExport"
                                << "导出 GPS 数据" << 2;
        QTest::newRow("data-format box") << 1 << "cboOutFormat(2)"
                                         << "导出 GPS 数据" << 2;
        QTest::newRow("photo list") << 1 << "lvFiles"
                                    << "导出 GPS 数据" << 2;
        QTest::newRow("start") << 0 << "cmdStart"
                               << "" << 2;
        QTest::newRow("open log") << 0 << "cmdOpenLog"
                                  << "选择记录文件" << 2;
    }

    void enterPressesTheFocusedButton() {
        QFETCH(int, action);
        QFETCH(QString, focus);
        QFETCH(QString, dialogTitle);
        QFETCH(int, rowsAfter);
        QTemporaryDir dir;
        writeFile(dir.filePath("a.jpg"), "x");
        writeFile(dir.filePath("log.txt"), "a.jpg,1,2\nb.jpg,3,4\n");
        m_codec.photos.insert(dir.filePath("a.jpg"), FakePhoto{});
        setBatchSetup("Action", QString::number(action));
        if (action == 0)
            m_app.commandLinePath = dir.filePath("log.txt");
        Window w(m_app);
        if (action == 1)
            w.form.lvFiles_OLEDragDrop({dir.filePath("a.jpg"), dir.filePath("b.jpg")});
        w.form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.form));
        QStringList titles;
        CommDialog::setTestHook([&titles](QDialog& dialog) {
            titles << dialog.windowTitle();
            dialog.reject();
        });
        QWidget* target = w.find<QWidget>(qPrintable(focus));
        if (auto* list = qobject_cast<UcListView*>(target))
            target = list->hwnd();
        target->setFocus();
        QTest::keyClick(target, Qt::Key_Return);
        QCOMPARE(titles, dialogTitle.isEmpty() ? QStringList() : QStringList{dialogTitle});
        QCOMPARE(w.form.photoList().count(), rowsAfter);
        if (focus == u"cmdStart")
            QCOMPARE(w.find<UcListView>("lvFiles")->SubItemText(0, 4),
                     QStringLiteral("处理成功！"));
    }

    void wheelOverAnUnfocusedBoxChangesNothing() {
        QTemporaryDir dir;
        setBatchSetup("Action", "1");
        Window w(m_app);
        w.form.lvFiles_OLEDragDrop({dir.filePath("a.jpg")});
        w.form.show();
        QApplication::setActiveWindow(&w.form);
        QVERIFY(QTest::qWaitForWindowActive(&w.form));
        auto* action = w.find<QComboBox>("cboAction");
        const auto turn = [action] {
            const QPointF at(action->rect().center());
            QWheelEvent wheel(at, action->mapToGlobal(at), {}, QPoint(0, 120), Qt::NoButton,
                              Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(action, &wheel);
        };
        w.find<QWidget>("cmdOpenEx")->setFocus();
        turn();
        QCOMPARE(action->currentIndex(), 1);
        QCOMPARE(w.form.photoList().count(), 1);

        // The same turn with the focus on the box is the user's choice.
        action->setFocus();
        turn();
        QCOMPARE(action->currentIndex(), 0);
        QCOMPARE(w.form.photoList().count(), 0);
    }

    void switchingActionEmptiesTheTips() {
        QTemporaryDir dir;
        writeFile(dir.filePath("log.txt"), "a.jpg,1,2\n");
        m_app.commandLinePath = dir.filePath("log.txt");
        Window w(m_app);
        auto* tips = w.find<QLabel>("lblTips");
        QCOMPARE(tips->text(), QStringLiteral("共载入1条数据！"));
        auto* action = w.find<QComboBox>("cboAction");
        for (const int index : {1, 0}) {
            action->setCurrentIndex(index);
            w.form.cboAction_Click();
        }
        QVERIFY(tips->text().isEmpty());
    }

    void aNameListWithoutNamesKeepsTheList_data() {
        QTest::addColumn<QByteArray>("contents");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("blank lines") << QByteArray("\r\n  \r\n\t\n");
        QTest::newRow("UTF-8 mark only") << QByteArray("\xEF\xBB\xBF\n");
    }

    void aNameListWithoutNamesKeepsTheList() {
        QFETCH(QByteArray, contents);
        QTemporaryDir dir;
        writeFile(dir.filePath("names.txt"), contents);
        setBatchSetup("Action", "1");
        Window w(m_app);
        w.form.lvFiles_OLEDragDrop({dir.filePath("a.jpg"), dir.filePath("b.jpg")});
        answerFileDialog({dir.filePath("names.txt")});
        w.find<QPushButton>("cmdOpenEx")->click();
        QCOMPARE(rowNames(w.form.photoList()), (QStringList{"a.jpg", "b.jpg"}));
        QCOMPARE(w.sink.messages.size(), 1);
        QCOMPARE(w.sink.messages.first().text, QStringLiteral("该文件中没有列出任何照片！"));
        QVERIFY(w.find<QPushButton>("cmdExport")->isEnabled());
    }

    void tabOrderFollowsThePlaces() {
        Window w(m_app);
        QStringList order;
        QWidget* start = w.find<UcListView>("lvFiles")->hwnd();
        QWidget* widget = start;
        do {
            // A control's inner widgets (the list's views, a box's parts) count as the control.
            QWidget* named = widget;
            const auto isGroup = [](const QWidget* parent) {
                return parent->objectName() == u"fraImport" || parent->objectName() == u"fraExport";
            };
            while (named->parentWidget() && named->parentWidget() != &w.form &&
                   !isGroup(named->parentWidget()))
                named = named->parentWidget();
            const QString name = named->objectName();
            if ((widget->focusPolicy() & Qt::TabFocus) && named != &w.form && !isGroup(named) &&
                name != u"chkAutoExt" && (order.isEmpty() || order.last() != name))
                order << name;
            widget = widget->nextInFocusChain();
        } while (widget != start);
        QCOMPARE(order, (QStringList{"lvFiles", "cboAction", "cmdOpenLog", "cmdToggle", "cmdStart",
                                     "cmdTime", "chkMakerNote", "cboOutFormat(0)",
                                     "cboOutFormat(1)", "cmdOpenEx", "cmdOpenFolder", "cmdClear",
                                     "cmdOptions", "cmdExport", "cboOutFormat(2)", "lnkWebsite"}));
    }

    void addingPhotosHandsTheFocusToExport() {
        QTemporaryDir dir;
        writeFile(dir.filePath("a.jpg"), "x");
        setBatchSetup("Action", "1");
        Window w(m_app);
        answerFileDialog({dir.filePath("a.jpg")});
        w.find<QPushButton>("cmdOpenEx")->click();
        QCOMPARE(w.form.focusWidget(), w.find<QWidget>("cmdExport"));
    }

    void linkIsGreyTurnsBlueAndOpensTheUserGuide() {
        Window w(m_app);
        auto* link = w.find<QWidget>("lnkWebsite");
        const auto shownColour = [link] {
            return link->findChild<QLabel*>()->palette().color(QPalette::WindowText);
        };
        QCOMPARE(shownColour(), QColor(0x40, 0x40, 0x40));
        w.form.show();
        QApplication::setActiveWindow(&w.form);
        QVERIFY(QTest::qWaitForWindowActive(&w.form));
        QCursor::setPos(link->mapToGlobal(link->rect().center()));
        QTRY_COMPARE(shownColour(), QColor(0x27, 0x56, 0xC5));

        UrlRecorder recorder;
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &recorder, "open");
        link->setFocus();
        QTest::keyClick(link, Qt::Key_Return);
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        QCOMPARE(recorder.opened.size(), 1);
        const QString guide = recorder.opened.first().toLocalFile();
        QCOMPARE(guide, userGuidePath());
        QFile file(guide);
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(guide));
        QVERIFY(QString::fromUtf8(file.readAll())
                    .contains(QStringLiteral("照片 GPS 数据批量导入导出工具")));
    }
};

QTEST_MAIN(TestFrmGps)
#include "test_frmgps.moc"
