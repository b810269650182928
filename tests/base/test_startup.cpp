#include "base/startup.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {
void writeRecord(const QString& folder, const QByteArray& version) {
    QDir().mkpath(folder + QStringLiteral("/Corvexa"));
    QFile file(folder + QStringLiteral("/Corvexa/Corvexa.conf"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[AppInfo]\nEditorVersion=" + version + "\n");
}
} // namespace

class TestStartup : public QObject {
    Q_OBJECT
private slots:
    void commandLine_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("silent");
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("malformed");
        QTest::newRow("nothing") << QStringList{} << false << QString() << false;
        QTest::newRow("path then switch")
            << QStringList{"/logs/a b.txt", "-SILENT"} << true << "/logs/a b.txt" << false;
        QTest::newRow("switch then path")
            << QStringList{"-silent", "/logs/a.txt"} << true << "/logs/a.txt" << false;
        QTest::newRow("switch inside a quoted path does not count")
            << QStringList{"\"/logs/x -silent.txt\""} << false << "/logs/x -silent.txt" << false;
        QTest::newRow("apostrophes act as quotes")
            << QStringList{"' /logs/a.txt '"} << false << "/logs/a.txt" << false;
        QTest::newRow("lone quote") << QStringList{"\"/logs/a.txt"} << false << QString() << true;
        QTest::newRow("only the first path")
            << QStringList{"/a.txt", "/b.txt"} << false << "/a.txt" << false;
    }
    void commandLine() {
        QFETCH(QStringList, arguments);
        const CommandLine line = parseCommandLine(arguments);
        QTEST(line.silent, "silent");
        QTEST(line.logPath, "path");
        QTEST(line.malformed, "malformed");
    }

    void helpAndVersion() {
        QVERIFY(parseCommandLine({"--help"}).help);
        QVERIFY(parseCommandLine({"--version"}).version);
    }

    void versionThreshold_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("missing reads as 0") << "0" << false;
        QTest::newRow("927") << "927" << true;
        QTest::newRow("926.9") << "926.9" << false;
        QTest::newRow("1000 with letters") << "1000abc" << true;
        QTest::newRow("letters") << "abc" << false;
    }
    void versionThreshold() {
        QFETCH(QString, text);
        QTEST(editorVersionAccepted(text), "accepted");
    }

    void versionRecordLookupOrder() {
        QTemporaryDir root;
        const QString user = root.filePath("user");
        const QString prefix = root.filePath("prefix");
        const QString system = root.filePath("system");
        qputenv("XDG_CONFIG_HOME", user.toUtf8());
        qputenv("XDG_CONFIG_DIRS", system.toUtf8());
        const QString appDir = prefix + "/bin";

        QCOMPARE(readEditorVersion(appDir), QStringLiteral("0"));
        writeRecord(system, "950");
        QCOMPARE(readEditorVersion(appDir), QStringLiteral("950"));
        writeRecord(prefix + "/etc/xdg", "1000");
        QCOMPARE(readEditorVersion(appDir), QStringLiteral("1000"));
        writeRecord(user, "926.9");
        QCOMPARE(readEditorVersion(appDir), QStringLiteral("926.9"));
    }
};

QTEST_GUILESS_MAIN(TestStartup)
#include "test_startup.moc"
