// Takes the README's pictures of the main window: the import action after a batch on the bundled
// sample, the export action after reading the tagged copies back, and the add-files dialog. Run it
// on a real X server (scripts/screenshots.sh does so under Xvfb): screenshots.exe SAMPLES_DIR
// OUTPUT_DIR

#include "app/frmgps.h"
#include "app/uiglobals.h"
#include "controls/commdialog.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

namespace {

class Quiet : public IMessageSink {
public:
    void message(const QString&, const QString&, MessageIcon) override {}
};

bool copySamples(const QString& from, const QString& to) {
    const QDir source(from);
    for (const QString& name : source.entryList(QDir::Files)) {
        if (!QFile::copy(source.filePath(name), QDir(to).filePath(name)))
            return false;
    }
    return true;
}

bool save(QWidget& window, const QString& path) {
    window.raise();
    window.activateWindow();
    QTest::qWait(400);
    return window.grab().save(path);
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    LoadQtTranslation();
    QTextStream err(stderr);
    if (argc != 3) {
        err << "usage: screenshots SAMPLES_DIR OUTPUT_DIR\n";
        return 2;
    }
    QTemporaryDir work;
    if (!copySamples(QString::fromLocal8Bit(argv[1]), work.path())) {
        err << "cannot copy the samples\n";
        return 1;
    }
    const QDir output(QString::fromLocal8Bit(argv[2]));
    qputenv("CORVEXA_SETTINGS_FILE", work.filePath(QStringLiteral("SETTINGS.INI")).toUtf8());

    AppState state;
    state.commandLinePath = work.filePath(QStringLiteral("gps-log.txt"));
    Quiet quiet;
    FrmGps window(state);
    window.setMessageSink(&quiet);
    window.show();
    window.findChild<QPushButton*>(QStringLiteral("cmdStart"))->click();
    if (!save(window, output.filePath(QStringLiteral("screenshot-import.png"))))
        return 1;

    auto* action = window.findChild<QComboBox*>(QStringLiteral("cboAction"));
    action->setCurrentIndex(1);
    window.cboAction_Click();
    const QDir results(work.filePath(QStringLiteral("results")));
    QStringList photos;
    for (const QString& name : results.entryList(QDir::Files))
        photos << results.filePath(name);
    photos << work.filePath(QStringLiteral("IMG_0001.JPG"));
    window.lvFiles_OLEDragDrop(photos);
    const QString exported = work.filePath(QStringLiteral("positions.csv"));
    CommDialog::setTestHook([&exported](QDialog& dialog) {
        if (auto* files = qobject_cast<QFileDialog*>(&dialog))
            files->selectFile(exported);
        dialog.accept();
    });
    window.findChild<QPushButton*>(QStringLiteral("cmdExport"))->click();
    if (!save(window, output.filePath(QStringLiteral("screenshot-export.png"))))
        return 1;

    // Qt's own dialogs in the window's language: the add-files dialog over the sample folder.
    bool dialogSaved = false;
    CommDialog::setTestHook([&](QDialog& dialog) {
        if (auto* files = qobject_cast<QFileDialog*>(&dialog))
            files->setDirectory(work.path());
        dialog.resize(760, 420);
        dialog.show();
        dialogSaved = save(dialog, output.filePath(QStringLiteral("screenshot-dialog.png")));
        dialog.reject();
    });
    window.findChild<QPushButton*>(QStringLiteral("cmdOpenEx"))->click();
    return dialogSaved ? 0 : 1;
}
