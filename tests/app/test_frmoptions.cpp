// The export options dialog on the offscreen platform: what it shows from the settings, the fixed
// rows, its colours, and that only "确定" writes.

#include "app/frmoptions.h"
#include "base/settings.h"
#include "controls/uclistview.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QFile>
#include <QPushButton>
#include <QTest>

namespace {

const QStringList kOptionKeys{"GPSSpeed", "GPSTrack", "GPSImgDirection", "GPSDestBearing",
                              "GPSDestDistance"};

QString read(const char* section, const QString& key) {
    return settings::ReadSetting(QString::fromUtf8(section), key);
}

void write(const char* section, const QString& key, const QString& value) {
    QVERIFY(settings::WriteSetting(QString::fromUtf8(section), key, value));
}

QByteArray settingsBytes() {
    QFile f(settings::defaultSettingsFile());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<none>");
}

struct Dialog {
    Dialog() {
        list = dialog.findChild<UcListView*>(QStringLiteral("lvOptions"));
        header = dialog.findChild<QCheckBox*>(QStringLiteral("chkHeader"));
        ok = dialog.findChild<QPushButton*>(QStringLiteral("cmdOK"));
    }
    QList<bool> checks() const {
        QList<bool> result;
        for (int i = 0; i < list->Count(); ++i)
            result.append(list->ItemChecked(i));
        return result;
    }

    FrmOptions dialog;
    UcListView* list = nullptr;
    QCheckBox* header = nullptr;
    QPushButton* ok = nullptr;
};

} // namespace

class TestFrmOptions : public QObject {
    Q_OBJECT

private slots:
    void init() { QFile::remove(settings::defaultSettingsFile()); }

    void rows() {
        Dialog d;
        QVERIFY(d.list && d.header && d.ok);
        QCOMPARE(d.dialog.windowTitle(), QStringLiteral("自定义导出选项"));
        QCOMPARE(d.list->Count(), 8);
        // Wide enough for "GPS 目的地距离" beside its box and icon.
        QCOMPARE(d.list->ColumnWidth(0), 160);
        QCOMPARE(d.list->ColumnWidth(1), 218);
        QList<int> tags;
        for (int i = 0; i < d.list->Count(); ++i)
            tags.append(d.list->ItemTag(i));
        QCOMPARE(tags, (QList<int>{2, 4, 6, 13, 15, 17, 24, 26}));
        QCOMPARE(d.list->ItemText(5), QStringLiteral("GPS 朝向"));
        QCOMPARE(d.list->SubItemText(7, 1), QStringLiteral("GPSDestDistance, GPSDestDistanceRef"));
        for (int i = 0; i < 8; ++i)
            QCOMPARE(d.list->ItemGhosted(i), i < 3);
    }

    // What the dialog shows for what is stored.
    void shownFromSettings_data() {
        QTest::addColumn<QStringList>("stored");
        QTest::addColumn<QList<bool>>("checks");
        QTest::addColumn<bool>("header");
        const bool T = true;
        const bool F = false;
        QTest::newRow("never confirmed")
            << QStringList{} << QList<bool>{T, T, T, F, F, F, F, F} << false;
        QTest::newRow("odd on-values")
            << QStringList{"GPSTrack=2", "GPSDestBearing=-1", "ExportHeader=3"}
            << QList<bool>{T, T, T, F, T, F, T, F} << true;
        QTest::newRow("off-values")
            << QStringList{"GPSSpeed=0", "GPSTrack=abc", "GPSImgDirection=", "ExportHeader=0"}
            << QList<bool>{T, T, T, F, F, F, F, F} << false;
        QTest::newRow("all on") << QStringList{"GPSSpeed=1",        "GPSTrack=1",
                                               "GPSImgDirection=1", "GPSDestBearing=1",
                                               "GPSDestDistance=1", "ExportHeader=1"}
                                << QList<bool>{T, T, T, T, T, T, T, T} << true;
    }
    void shownFromSettings() {
        QFETCH(QStringList, stored);
        QFETCH(QList<bool>, checks);
        QFETCH(bool, header);
        for (const QString& entry : stored) {
            const QString key = entry.section(u'=', 0, 0);
            write(key == "ExportHeader" ? settings::kBatchSetup : settings::kExportOptions, key,
                  entry.section(u'=', 1));
        }
        Dialog d;
        QCOMPARE(d.checks(), checks);
        QCOMPARE(d.header->isChecked(), header);

        // The export reads the same choices at every run.
        const StoredTextOptions read = storedTextOptions();
        QList<int> columns;
        const int tags[] = {13, 15, 17, 24, 26};
        for (int i = 0; i < 5; ++i) {
            if (checks[3 + i])
                columns.append(tags[i]);
        }
        QCOMPARE(read.columns, columns);
        QCOMPARE(read.header, header);
    }

    void fixedRowsStayChecked() {
        Dialog d;
        d.dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d.dialog));
        for (int i = 0; i < 3; ++i) {
            d.list->setItemChecked(i, false);
            QVERIFY(d.list->ItemChecked(i));
        }
        // The user's way: Space on the focused row toggles its box.
        QAbstractItemView* view = d.list->hwnd();
        QVERIFY(view);
        view->setFocus();
        for (const int row : {0, 3}) {
            d.list->setItemSelected(row, true);
            QTest::keyClick(view, Qt::Key_Space);
        }
        QVERIFY(d.list->ItemChecked(0));
        QVERIFY(d.list->ItemChecked(3));
        d.list->setItemChecked(4, true);
        d.list->setItemChecked(4, false);
        QVERIFY(!d.list->ItemChecked(4));
    }

    // Fixed rows grey on very light grey, ticked rows light yellow, others the list's own.
    void colours_data() {
        QTest::addColumn<int>("row");
        QTest::addColumn<bool>("process");
        QTest::addColumn<quint32>("back");
        QTest::addColumn<quint32>("fore");
        QTest::newRow("fixed") << 0 << true << 0xF8F8F8u << 0x80000011u;
        QTest::newRow("ticked") << 3 << true << 0xCCFFFFu << 0u;
        QTest::newRow("not ticked") << 4 << false << 0u << 0u;
    }
    void colours() {
        QFETCH(int, row);
        QFETCH(bool, process);
        QFETCH(quint32, back);
        QFETCH(quint32, fore);
        write(settings::kExportOptions, "GPSSpeed", "1");
        Dialog d;
        for (int column = 0; column < 2; ++column) {
            quint32 b = 0;
            quint32 f = 0;
            bool p = false;
            emit d.list->OnSubItemPrePaint(row, column, b, f, p);
            QCOMPARE(p, process);
            QCOMPARE(b, back);
            QCOMPARE(f, fore);
        }
    }

    void okWritesSixKeys_data() {
        QTest::addColumn<QStringList>("stored");
        QTest::addColumn<QList<int>>("toggle"); // rows whose box the user flips
        QTest::addColumn<bool>("tickHeader");
        QTest::addColumn<QStringList>("written"); // ExportHeader, then the five keys
        QTest::newRow("nothing changed, nothing stored")
            << QStringList{} << QList<int>{} << false << QStringList{"0", "0", "0", "0", "0", "0"};
        QTest::newRow("odd values rewritten")
            << QStringList{"GPSTrack=2", "GPSSpeed=-1"} << QList<int>{} << false
            << QStringList{"0", "1", "1", "0", "0", "0"};
        QTest::newRow("direction then speed ticked") << QStringList{} << QList<int>{5, 3} << true
                                                     << QStringList{"1", "1", "0", "1", "0", "0"};
        QTest::newRow("untick, and a fixed row tried")
            << QStringList{"GPSDestDistance=1", "GPSDestBearing=1"} << QList<int>{7, 1} << false
            << QStringList{"0", "0", "0", "0", "1", "0"};
    }
    void okWritesSixKeys() {
        QFETCH(QStringList, stored);
        QFETCH(QList<int>, toggle);
        QFETCH(bool, tickHeader);
        QFETCH(QStringList, written);
        for (const QString& entry : stored)
            write(settings::kExportOptions, entry.section(u'=', 0, 0), entry.section(u'=', 1));
        Dialog d;
        d.dialog.show();
        for (const int row : toggle)
            d.list->setItemChecked(row, !d.list->ItemChecked(row));
        if (tickHeader)
            d.header->setChecked(true);
        QTest::mouseClick(d.ok, Qt::LeftButton);
        QCOMPARE(d.dialog.result(), int(QDialog::Accepted));
        QVERIFY(!d.dialog.isVisible());
        QStringList actual{read(settings::kBatchSetup, "ExportHeader")};
        for (const QString& key : kOptionKeys)
            actual.append(read(settings::kExportOptions, key));
        QCOMPARE(actual, written);
    }

    void otherClosingSavesNothing_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("Escape") << "Escape";
        QTest::newRow("close box") << "close";
        QTest::newRow("reject") << "reject";
    }
    void otherClosingSavesNothing() {
        QFETCH(QString, how);
        write(settings::kExportOptions, "GPSTrack", "2");
        const QByteArray before = settingsBytes();
        {
            Dialog d;
            d.dialog.show();
            QVERIFY(QTest::qWaitForWindowExposed(&d.dialog));
            d.list->setItemChecked(3, true);
            d.list->setItemChecked(4, false);
            d.header->setChecked(true);
            if (how == "Escape")
                QTest::keyClick(&d.dialog, Qt::Key_Escape);
            else if (how == "close")
                d.dialog.close();
            else
                d.dialog.reject();
            QVERIFY(!d.dialog.isVisible());
            QCOMPARE(d.dialog.result(), int(QDialog::Rejected));
        }
        QCOMPARE(settingsBytes(), before);
        Dialog again;
        QVERIFY(again.list->ItemChecked(4));
        QVERIFY(!again.list->ItemChecked(3));
        QVERIFY(!again.header->isChecked());
    }
};

QTEST_MAIN(TestFrmOptions)
#include "test_frmoptions.moc"
