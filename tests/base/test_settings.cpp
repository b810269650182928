#include "base/settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

} // namespace

class TestSettings : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString m_file;

private slots:
    void init() {
        QVERIFY(m_dir.isValid());
        m_file = m_dir.filePath(QStringLiteral("SETTINGS.INI"));
        QFile::remove(m_file);
    }

    void missingFileSectionOrKeyReadsEmpty() {
        QCOMPARE(settings::ReadSetting("BatchSetup", "Action", m_file), QString());
        QVERIFY(settings::WriteSetting("BatchSetup", "Action", "1", m_file));
        QCOMPARE(settings::ReadSetting("ExportOptions", "Action", m_file), QString());
        QCOMPARE(settings::ReadSetting("BatchSetup", "OutputFormat", m_file), QString());
    }

    void writesCreateTheFileInTheIniFormat() {
        QVERIFY(settings::WriteSetting("BatchSetup", "Action", "1", m_file));
        QVERIFY(settings::WriteSetting("BatchSetup", "OutputFormat", "0", m_file));
        QVERIFY(settings::WriteSetting("ExportOptions", "GPSSpeed", "1", m_file));
        QVERIFY(settings::WriteSetting("BatchSetup", "Action", "0", m_file));
        QCOMPARE(readAll(m_file), QByteArray("[BatchSetup]\r\nAction=0\r\nOutputFormat=0\r\n"
                                             "[ExportOptions]\r\nGPSSpeed=1\r\n"));
    }

    void lookupIgnoresCaseAndBlanks() {
        writeAll(m_file, "[batchsetup]\nACTION = 1 \n  [ ExportOptions ]\r\ngpsspeed=0\n");
        QCOMPARE(settings::ReadSetting("BatchSetup", "Action", m_file), QStringLiteral("1"));
        QCOMPARE(settings::ReadSetting("EXPORTOPTIONS", "GPSSpeed", m_file), QStringLiteral("0"));
        QVERIFY(settings::WriteSetting("BATCHSETUP", "action", "0", m_file));
        QCOMPARE(settings::ReadSetting("BatchSetup", "Action", m_file), QStringLiteral("0"));
        QVERIFY(!readAll(m_file).contains("[BATCHSETUP]"));
    }

    // A user's own notes and unknown keys survive our writes.
    void rewritePreservesOtherLines() {
        writeAll(m_file, "; kept\r\n[Other]\r\nx=1\r\n\r\n[BatchSetup]\r\nAction=1\r\n"
                         "Unknown=y\r\n\r\n[Tail]\r\nz=2\r\n");
        QVERIFY(settings::WriteSetting("BatchSetup", "LastFolder", "/photos/", m_file));
        QVERIFY(settings::WriteSetting("BatchSetup", "Action", "0", m_file));
        QCOMPARE(readAll(m_file),
                 QByteArray("; kept\r\n[Other]\r\nx=1\r\n\r\n[BatchSetup]\r\nAction=0\r\n"
                            "Unknown=y\r\nLastFolder=/photos/\r\n\r\n[Tail]\r\nz=2\r\n"));
    }

    void valuesReadBackCutTo254Bytes_data() {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("expected");
        const QString ascii300(300, u'a');
        QTest::newRow("ascii") << ascii300 << ascii300.left(254);
        // 3 bytes each: 84 characters are 252 bytes, the 85th would pass 254.
        const QString chinese(100, u'照');
        QTest::newRow("chinese") << chinese << chinese.left(84);
        QTest::newRow("mixed") << (QString(253, u'a') + u'照') << QString(253, u'a');
        QTest::newRow("exactly 254") << QString(254, u'b') << QString(254, u'b');
        const QString emoji = QString(252, u'c') + QStringLiteral("😀");
        QTest::newRow("no half surrogate") << emoji << QString(252, u'c');
    }
    void valuesReadBackCutTo254Bytes() {
        QFETCH(QString, value);
        QFETCH(QString, expected);
        QVERIFY(settings::WriteSetting("BatchSetup", "LastFolder", value, m_file));
        QCOMPARE(settings::ReadSetting("BatchSetup", "LastFolder", m_file), expected);
    }

    void valuesKeepBackslashesCommasAndUnicode() {
        const QString folder = QStringLiteral("C:\\照片\\a,b;c=d\\");
        QVERIFY(settings::WriteSetting("BatchSetup", "LastFolder", folder, m_file));
        QCOMPARE(settings::ReadSetting("BatchSetup", "LastFolder", m_file), folder);
    }

    // A line break or NUL in a value would inject lines into the file.
    void refusesTextsThatWouldBreakTheFile_data() {
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::newRow("line feed in value") << "BatchSetup"
                                            << "LastFolder"
                                            << "/a\n[X]\ny=1";
        QTest::newRow("carriage return") << "BatchSetup"
                                         << "LastFolder"
                                         << "/a\r";
        QTest::newRow("nul") << "BatchSetup"
                             << "LastFolder" << QString(QChar(0));
        QTest::newRow("equals in key") << "BatchSetup"
                                       << "a=b"
                                       << "1";
        QTest::newRow("bracket in section") << "Batch]Setup"
                                            << "Action"
                                            << "1";
        QTest::newRow("empty key") << "BatchSetup"
                                   << ""
                                   << "1";
    }
    void refusesTextsThatWouldBreakTheFile() {
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QVERIFY(settings::WriteSetting("BatchSetup", "Action", "1", m_file));
        const QByteArray before = readAll(m_file);
        QVERIFY(!settings::WriteSetting(section, key, value, m_file));
        QCOMPARE(readAll(m_file), before);
    }

    void readsAWindowsFileInGb18030() {
        writeAll(m_file, QByteArray("[BatchSetup]\r\nLastFolder=C:\\") +
                             QByteArray::fromHex("d5d5c6ac") + "\\\r\n");
        QCOMPARE(settings::ReadSetting("BatchSetup", "LastFolder", m_file),
                 QStringLiteral("C:\\照片\\"));
    }

    void noCacheBetweenCalls() {
        QVERIFY(settings::WriteSetting("BatchSetup", "Action", "1", m_file));
        writeAll(m_file, "[BatchSetup]\nAction=0\n");
        QCOMPARE(settings::ReadSetting("BatchSetup", "Action", m_file), QStringLiteral("0"));
    }

    void createsTheFolderOnWrite() {
        const QString nested = m_dir.filePath(QStringLiteral("xdg/Corvexa/SETTINGS.INI"));
        QVERIFY(settings::WriteSetting("BatchSetup", "Action", "1", nested));
        QCOMPARE(settings::ReadSetting("BatchSetup", "Action", nested), QStringLiteral("1"));
    }

    // Whatever is in the way, a failed write is reported and leaves no stray file.
    void failedWriteReportsAndLeavesNothing() {
        const QTemporaryDir dir;
        writeAll(dir.filePath(QStringLiteral("plainfile")), "x");
        QVERIFY(!settings::WriteSetting("BatchSetup", "Action", "1",
                                        dir.filePath(QStringLiteral("plainfile/SETTINGS.INI"))));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder.ini")));
        QVERIFY(!settings::WriteSetting("BatchSetup", "Action", "1",
                                        dir.filePath(QStringLiteral("folder.ini"))));
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 (QStringList{"folder.ini", "plainfile"}));
    }

    void unwritableFolderKeepsTheFile() {
        QVERIFY(settings::WriteSetting("BatchSetup", "Action", "1", m_file));
        QFile::setPermissions(m_dir.path(), QFile::ReadOwner | QFile::ExeOwner);
        const bool written = settings::WriteSetting("BatchSetup", "Action", "0", m_file);
        QFile::setPermissions(m_dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        if (written)
            QSKIP("running with rights that ignore the folder's mode");
        QCOMPARE(settings::ReadSetting("BatchSetup", "Action", m_file), QStringLiteral("1"));
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files), QStringList{"SETTINGS.INI"});
    }

    void defaultFileFollowsTheEnvironment() {
        const QByteArray saved = qgetenv("CORVEXA_SETTINGS_FILE");
        qputenv("CORVEXA_SETTINGS_FILE", m_file.toUtf8());
        QCOMPARE(settings::defaultSettingsFile(), m_file);
        QVERIFY(settings::WriteSetting("BatchSetup", "Action", "1"));
        QCOMPARE(settings::ReadSetting("BatchSetup", "Action", m_file), QStringLiteral("1"));

        // Without it: beside the executable while that folder is writable.
        qunsetenv("CORVEXA_SETTINGS_FILE");
        QCOMPARE(settings::defaultSettingsFile(),
                 QCoreApplication::applicationDirPath() + QStringLiteral("/SETTINGS.INI"));
        qputenv("CORVEXA_SETTINGS_FILE", saved);
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "test_settings.moc"
