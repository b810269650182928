// The common dialog wrapper: filters, and the FileName, FilterIndex, FileTitle and BufferSize
// contract of the file dialogs, answered through the test hook; colour and font results.

#include "controls/commdialog.h"

#include <QColorDialog>
#include <QFile>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFontDialog>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr QChar kNul = QChar(u'\0');

void touch(const QString& path) {
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
}

// Types names into the dialog's file name box, as a user would, and presses OK.
void answer(QDialog& dialog, const QString& typed) {
    auto* files = qobject_cast<QFileDialog*>(&dialog);
    QVERIFY(files);
    auto* edit = files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    QVERIFY(edit);
    edit->setText(typed);
    dialog.accept(); // QFileDialog::accept() checks the names as the OK button does
}

// Every hook ends its dialog, also when a check inside it failed, so a failure never hangs.
void setHook(std::function<void(QDialog&)> hook) {
    CommDialog::setTestHook([hook](QDialog& dialog) {
        hook(dialog);
        if (dialog.result() != QDialog::Accepted)
            dialog.reject();
    });
}

const QString kLogFilter = QStringLiteral(
    "全部可读文件 (*.txt;*.log;*.csv;*.tsv;*.kml;*.xml)|*.txt;*.log;*.csv;*.tsv;*.kml;*.xml|"
    "文本文件 (*.txt;*.log;*.csv;*.tsv)|*.txt;*.log;*.csv;*.tsv|KML文件 (*.kml;*.xml)|*.kml;*.xml|"
    "所有文件 (*.*)|*.*");

} // namespace

class TestCommDialog : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void nameFilters_data();
    void nameFilters();
    void openOneFile();
    void openSeveralFiles_data();
    void openSeveralFiles();
    void cancelledDialogLeavesNothing();
    void bufferSize_data();
    void bufferSize();
    void saveProposesTheName();
    void folder();
    void colour();
    void font();

private:
    QTemporaryDir m_dir;
};

void TestCommDialog::initTestCase() {
    QVERIFY(m_dir.isValid());
    for (const char* name : {"a.jpg", "b.JPG", "c d.jpg", "notes.txt"})
        touch(m_dir.filePath(QString::fromLatin1(name)));
    QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("sub")));
}

void TestCommDialog::cleanup() {
    CommDialog::setTestHook({});
}

void TestCommDialog::nameFilters_data() {
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("empty") << QString() << QStringList();
    QTest::newRow("every file") << QStringLiteral("全部文件(*.*)|*.*")
                                << QStringList{QStringLiteral("全部文件(*.*) (*)")};
    QTest::newRow("no bar: a description alone")
        << QStringLiteral("Text") << QStringList{QStringLiteral("Text (*)")};
    QTest::newRow("trailing bar") << QStringLiteral("Pictures|*.jpg; *.tif|")
                                  << QStringList{QStringLiteral("Pictures (*.jpg *.tif)")};
    QTest::newRow("the log filter")
        << kLogFilter
        << QStringList{
               QStringLiteral("全部可读文件 (*.txt;*.log;*.csv;*.tsv;*.kml;*.xml) "
                              "(*.txt *.log *.csv *.tsv *.kml *.xml)"),
               QStringLiteral("文本文件 (*.txt;*.log;*.csv;*.tsv) (*.txt *.log *.csv *.tsv)"),
               QStringLiteral("KML文件 (*.kml;*.xml) (*.kml *.xml)"),
               QStringLiteral("所有文件 (*.*) (*)")};
}

void TestCommDialog::nameFilters() {
    QFETCH(QString, filter);
    QFETCH(QStringList, expected);
    QCOMPARE(CommDialog::nameFilters(filter), expected);
}

void TestCommDialog::openOneFile() {
    QWidget owner;
    CommDialog dialog;
    dialog.setHwnd(&owner);
    dialog.setDialogTitle(QStringLiteral("选择记录文件"));
    dialog.setFilter(kLogFilter);
    dialog.setInitDir(m_dir.path());
    dialog.setFilterIndex(0);
    bool shown = false;
    setHook([&](QDialog& d) {
        shown = true;
        auto& files = static_cast<QFileDialog&>(d);
        QCOMPARE(files.parentWidget(), &owner);
        QCOMPARE(files.windowTitle(), QStringLiteral("选择记录文件"));
        QCOMPARE(files.directory().absolutePath(), QDir(m_dir.path()).absolutePath());
        QCOMPARE(files.nameFilters().size(), 4);
        QCOMPARE(files.selectedNameFilter(),
                 QStringLiteral("全部可读文件 (*.txt;*.log;*.csv;*.tsv;*.kml;*.xml)"));
        files.selectNameFilter(files.nameFilters().at(3));
        answer(d, QStringLiteral("b.JPG"));
    });
    dialog.ShowOpen();
    QVERIFY(shown);
    QCOMPARE(dialog.FileName(), m_dir.filePath(QStringLiteral("b.JPG")));
    QCOMPARE(dialog.FileTitle(), QStringLiteral("b.JPG"));
    QCOMPARE(dialog.FilterIndex(), 4);
}

void TestCommDialog::openSeveralFiles_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("parts");
    QTest::newRow("one file: its full path")
        << QStringLiteral("\"c d.jpg\"") << QStringList{m_dir.filePath(QStringLiteral("c d.jpg"))};
    QTest::newRow("several: the folder, then the names")
        << QStringLiteral("\"a.jpg\" \"c d.jpg\" \"b.JPG\"")
        << QStringList{QDir(m_dir.path()).absolutePath(), QStringLiteral("a.jpg"),
                       QStringLiteral("c d.jpg"), QStringLiteral("b.JPG")};
}

void TestCommDialog::openSeveralFiles() {
    QFETCH(QString, typed);
    QFETCH(QStringList, parts);
    CommDialog dialog;
    dialog.setDialogTitle(QStringLiteral("添加待处理文件"));
    dialog.setFlags(CommDialog::OFN_EXPLORER | CommDialog::OFN_ALLOWMULTISELECT);
    dialog.setFilter(QStringLiteral("JPEG|*.jpg|所有文件|*.*"));
    dialog.setInitDir(m_dir.path());
    dialog.setBufferSize(8192);
    setHook([&](QDialog& d) {
        QCOMPARE(static_cast<QFileDialog&>(d).fileMode(), QFileDialog::ExistingFiles);
        answer(d, typed);
    });
    dialog.ShowOpen();
    QCOMPARE(dialog.FileName(), parts.join(kNul));
    QCOMPARE(dialog.FilterIndex(), 1);
    QCOMPARE(dialog.ExtendedError(), 0);
}

void TestCommDialog::cancelledDialogLeavesNothing() {
    CommDialog dialog;
    dialog.setFileName(QStringLiteral("results.csv"));
    dialog.setFilterIndex(2);
    setHook([](QDialog& d) { d.reject(); });
    dialog.ShowSave();
    QCOMPARE(dialog.FileName(), QString());
    QCOMPARE(dialog.FilterIndex(), 0);
    dialog.ShowOpen();
    QCOMPARE(dialog.FileName(), QString());
}

void TestCommDialog::bufferSize_data() {
    QTest::addColumn<int>("pathLength");
    QTest::addColumn<bool>("fits");
    QTest::newRow("254 characters fit 255") << 254 << true;
    QTest::newRow("255 characters do not") << 255 << false;
}

void TestCommDialog::bufferSize() {
    QFETCH(int, pathLength);
    QFETCH(bool, fits);
    const QString folder = QDir(m_dir.path()).absolutePath() + u'/';
    const int nameLength = pathLength - static_cast<int>(folder.size());
    QVERIFY(nameLength > 4 && nameLength < 250);
    const QString path = folder + QString(nameLength - 4, u'x') + QStringLiteral(".jpg");
    QCOMPARE(path.size(), pathLength);
    touch(path);

    CommDialog dialog; // BufferSize left at 255
    dialog.setInitDir(folder);
    setHook([&](QDialog& d) { answer(d, QFileInfo(path).fileName()); });
    dialog.ShowOpen();
    QCOMPARE(dialog.FileName(), fits ? path : QString());
    QCOMPARE(dialog.ExtendedError(), fits ? 0 : int(CommDialog::FNERR_BUFFERTOOSMALL));

    // A preset name that does not fit the buffer shows no dialog at all.
    bool shown = false;
    setHook([&](QDialog& d) {
        shown = true;
        d.reject();
    });
    dialog.setFileName(QString(pathLength, u'n'));
    dialog.ShowOpen();
    QCOMPARE(shown, fits);
    QCOMPARE(dialog.FileName(), QString());

    // Several files: folder, names, the terminators and the closing one must all fit.
    const QString typed = QStringLiteral("\"a.jpg\" \"b.JPG\"");
    const int needed =
        static_cast<int>(QDir(m_dir.path()).absolutePath().size()) + 1 + 5 + 1 + 5 + 2;
    dialog.setFileName(QString());
    dialog.setFlags(CommDialog::OFN_EXPLORER | CommDialog::OFN_ALLOWMULTISELECT);
    dialog.setInitDir(m_dir.path());
    dialog.setBufferSize(fits ? needed : needed - 1);
    setHook([&](QDialog& d) { answer(d, typed); });
    dialog.ShowOpen();
    QCOMPARE(dialog.FileName().isEmpty(), !fits);
}

void TestCommDialog::saveProposesTheName() {
    CommDialog dialog;
    dialog.setDialogTitle(QStringLiteral("导出 GPS 数据"));
    dialog.setFilter(QStringLiteral("全部文件(*.*)|*.*"));
    dialog.setInitDir(m_dir.path());
    dialog.setFileName(QStringLiteral("results.kml"));
    dialog.setFlags(CommDialog::OFN_OVERWRITEPROMPT);
    setHook([&](QDialog& d) {
        auto& files = static_cast<QFileDialog&>(d);
        QCOMPARE(files.acceptMode(), QFileDialog::AcceptSave);
        QVERIFY(!files.testOption(QFileDialog::DontConfirmOverwrite));
        d.accept(); // keeps the proposed name
    });
    dialog.ShowSave();
    QCOMPARE(dialog.FileName(), m_dir.filePath(QStringLiteral("results.kml")));
    QCOMPARE(dialog.FileTitle(), QStringLiteral("results.kml"));
}

void TestCommDialog::folder() {
    CommDialog dialog;
    dialog.setDialogTitle(QStringLiteral("请选择一个文件夹以导入图像:"));
    dialog.setInitDir(m_dir.path());
    setHook([&](QDialog& d) {
        auto& files = static_cast<QFileDialog&>(d);
        QCOMPARE(files.fileMode(), QFileDialog::Directory);
        files.selectFile(m_dir.filePath(QStringLiteral("sub")));
        d.accept();
    });
    dialog.ShowFolder();
    QCOMPARE(dialog.FileName(), m_dir.filePath(QStringLiteral("sub")));
    setHook([](QDialog& d) { d.reject(); });
    dialog.ShowFolder();
    QCOMPARE(dialog.FileName(), QString());
}

void TestCommDialog::colour() {
    CommDialog dialog;
    setHook([](QDialog& d) {
        static_cast<QColorDialog&>(d).setCurrentColor(QColor(10, 20, 30));
        d.accept();
    });
    dialog.ShowColor();
    QCOMPARE(dialog.Color(), qint64(0x1E140A)); // COLORREF: blue, green, red from the top
    setHook([](QDialog& d) { d.reject(); });
    dialog.ShowColor();
    QCOMPARE(dialog.Color(), qint64(-1));
}

void TestCommDialog::font() {
    CommDialog dialog;
    dialog.setFontSize(12);
    setHook([](QDialog& d) { d.reject(); });
    dialog.ShowFont();
    QCOMPARE(dialog.FontName(), QStringLiteral("宋体"));
    QCOMPARE(dialog.FontSize(), 12);

    // The dialog offers the styles a family has: take one with bold italic.
    QString family;
    for (const QString& f : QFontDatabase::families()) {
        if (QFontDatabase::styles(f).contains(QStringLiteral("Bold Italic"))) {
            family = f;
            break;
        }
    }
    if (family.isEmpty())
        QSKIP("no font family with a bold italic style");
    setHook([family](QDialog& d) {
        auto& fonts = static_cast<QFontDialog&>(d);
        QCOMPARE(fonts.currentFont().pointSize(), 12);
        QFont chosen(family);
        chosen.setBold(true);
        chosen.setItalic(true);
        chosen.setUnderline(true);
        chosen.setPointSize(14);
        fonts.setCurrentFont(chosen);
        d.accept();
    });
    dialog.ShowFont();
    QVERIFY(!dialog.FontName().isEmpty());
    QVERIFY(dialog.FontBold());
    QVERIFY(dialog.FontItalic());
    QVERIFY(dialog.FontUnderline());
    QVERIFY(!dialog.FontStrikethru());
    QCOMPARE(dialog.FontSize(), 14);
}

QTEST_MAIN(TestCommDialog)
#include "test_commdialog.moc"
