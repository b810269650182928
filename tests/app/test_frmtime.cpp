// The time-correction dialog: what it reads from its controls, and the window's use of it: the
// rows of a timed track re-match while the values change, and the values are kept.

#include "app/frmgps.h"
#include "app/frmtime.h"
#include "base/settings.h"
#include "gpslog/logreader.h"
#include "support/messagesink.h"
#include "support/photofactory.h"
#include "support/testfiles.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

const QByteArray kTrack =
    "<?xml version=\"1.0\"?><gpx version=\"1.1\" xmlns=\"http://www.topografix.com/GPX/1/1\">"
    "<trk><trkseg><trkpt lat=\"31.2304\" lon=\"121.4737\"><time>2024-05-01T08:00:00Z</time>"
    "</trkpt><trkpt lat=\"31.2314\" lon=\"121.4747\"><time>2024-05-01T08:01:00Z</time></trkpt>"
    "</trkseg></trk></gpx>";

} // namespace

class TestFrmTime : public QObject {
    Q_OBJECT

private slots:
    void clockText_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("seconds");
        QTest::newRow("h:m:s behind") << QStringLiteral("-0:01:15") << -75;
        QTest::newRow("plain seconds") << QStringLiteral("90") << 90;
        QTest::newRow("typing half a value keeps the last one") << QStringLiteral("-0:") << 30;
        QTest::newRow("minutes beyond 59") << QStringLiteral("1:75:00") << 30;
    }

    void clockText() {
        QFETCH(QString, text);
        QFETCH(int, seconds);
        TimeSettings start;
        start.clockSeconds = 30;
        FrmTime dialog(start, std::nullopt);
        dialog.findChild<QLineEdit*>(QStringLiteral("txtClock"))->setText(text);
        QCOMPARE(dialog.values().clockSeconds, seconds);
    }

    void windowRematchesAndKeepsTheValues() {
        QTemporaryDir dir;
        writeFile(dir.filePath("track.gpx"), kTrack);
        PhotoRecipe recipe;
        recipe.tags = {{"Exif.Photo.DateTimeOriginal", "2024:05:01 16:00:30"}};
        QVERIFY(!makeJpeg(dir.path(), "a.jpg", recipe).isEmpty());
        QVERIFY(settings::WriteSetting(QLatin1String(settings::kBatchSetup),
                                       QStringLiteral("CameraTimeZone"), QStringLiteral("+00:00")));

        AppState app;
        FrmGps window(app);
        RecordingSink sink;
        window.setMessageSink(&sink);
        auto ctx = window.context();
        LoadGpsLog(ctx, dir.filePath("track.gpx"));
        QCOMPARE(window.photoList().row(0).texts[ColStatus], QStringLiteral("不在轨迹时间范围内"));

        QString suggestion;
        QString statusWhileOpen;
        QTimer::singleShot(0, this, [&] {
            auto* dialog = qobject_cast<FrmTime*>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            suggestion = dialog->findChild<QLabel*>(QStringLiteral("lblSuggestion"))->text();
            dialog->findChild<QPushButton*>(QStringLiteral("cmdSuggestion"))->click();
            statusWhileOpen = window.photoList().row(0).texts[ColStatus];
            dialog->accept();
        });
        window.cmdTime_Click();
        QCOMPARE(suggestion, QStringLiteral("建议相机时区：UTC+08:00"));
        QCOMPARE(statusWhileOpen, QStringLiteral("待处理（插值）"));
        QCOMPARE(settings::ReadSetting(QLatin1String(settings::kBatchSetup),
                                       QStringLiteral("CameraTimeZone")),
                 QStringLiteral("+08:00"));
    }
};

QTEST_MAIN(TestFrmTime)
#include "test_frmtime.moc"
