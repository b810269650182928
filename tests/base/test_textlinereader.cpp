#include "base/textlinereader.h"

#include <QFile>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

using Encoding = TextLineReader::Encoding;

class TestTextLineReader : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString writeFile(const QByteArray& bytes) {
        QFile file(m_dir.filePath(QStringLiteral("text.txt")));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(file.fileName()));
        return file.fileName();
    }

    static QByteArray gb18030(const QString& text) {
        QStringEncoder encoder("GB18030");
        return encoder.encode(text);
    }

private slots:
    void linesAndEncodings_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<Encoding>("encoding");

        QTest::newRow("LF") << QByteArray("a\nb\n") << QStringList{"a", "b"} << Encoding::Utf8;
        QTest::newRow("CR LF") << QByteArray("a\r\nb\r\n") << QStringList{"a", "b"}
                               << Encoding::Utf8;
        QTest::newRow("CR") << QByteArray("a\rb\r") << QStringList{"a", "b"} << Encoding::Utf8;
        QTest::newRow("mixed, empty lines kept")
            << QByteArray("a\r\n\rb\n\nc") << QStringList{"a", "", "b", "", "c"} << Encoding::Utf8;
        QTest::newRow("LF CR is two line ends")
            << QByteArray("a\n\rb") << QStringList{"a", "", "b"} << Encoding::Utf8;
        QTest::newRow("empty file") << QByteArray() << QStringList{} << Encoding::Utf8;
        QTest::newRow("UTF-8") << QString("海边,31.5\n").toUtf8() << QStringList{"海边,31.5"}
                               << Encoding::Utf8;
        QTest::newRow("UTF-8 byte-order mark") << QByteArray("\xEF\xBB\xBF"
                                                             "a,1\n")
                                               << QStringList{"a,1"} << Encoding::Utf8;
        QTest::newRow("GB18030") << gb18030("文件名,纬度\r\n照片.JPG,31\r\n")
                                 << QStringList{"文件名,纬度", "照片.JPG,31"} << Encoding::Gb18030;
        QTest::newRow("UTF-16LE byte-order mark") << QByteArray("\xFF\xFE"
                                                                "a\0,\0"
                                                                "1\0\r\0\n\0",
                                                                12)
                                                  << QStringList{"a,1"} << Encoding::Utf16LE;
        QTest::newRow("invalid UTF-8 far from the start is still GB18030")
            << QByteArray(100000, 'x') + "\n" + gb18030("照片")
            << QStringList{QString(100000, u'x'), "照片"} << Encoding::Gb18030;
        QTest::newRow("CR LF split across two reads")
            << QByteArray(64 * 1024 - 1, 'a') + "\r\nb"
            << QStringList{QString(64 * 1024 - 1, u'a'), "b"} << Encoding::Utf8;
        QTest::newRow("character split across two reads")
            << QByteArray(64 * 1024 - 1, 'a') + QString("海\n").toUtf8()
            << QStringList{QString(64 * 1024 - 1, u'a') + u'海'} << Encoding::Utf8;
    }

    void linesAndEncodings() {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, lines);
        QFETCH(Encoding, encoding);

        TextLineReader reader(writeFile(bytes));
        QVERIFY(reader.open());
        QCOMPARE(reader.encoding(), encoding);
        QStringList read;
        while (const auto line = reader.readLine())
            read.append(*line);
        QCOMPARE(read, lines);
        QVERIFY(!reader.hasError());
    }

    void missingFileDoesNotOpen() {
        TextLineReader reader(m_dir.filePath(QStringLiteral("none.txt")));
        QVERIFY(!reader.open());
    }

    void utf8Validation_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("valid");
        QTest::newRow("ASCII") << QByteArray("abc") << true;
        QTest::newRow("four-byte character") << QByteArray("\xF0\x9F\x93\xB7") << true;
        QTest::newRow("overlong slash") << QByteArray("\xC0\xAF") << false;
        QTest::newRow("overlong three bytes") << QByteArray("\xE0\x80\xAF") << false;
        QTest::newRow("surrogate") << QByteArray("\xED\xA0\x80") << false;
        QTest::newRow("beyond U+10FFFF") << QByteArray("\xF4\x90\x80\x80") << false;
        QTest::newRow("unfinished at the end") << QByteArray("ab\xE6\x96") << false;
        QTest::newRow("lone continuation byte") << QByteArray("a\x80") << false;
        QTest::newRow("GB18030 text") << gb18030("纬度") << false;
    }

    void utf8Validation() {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, valid);
        // Fed byte by byte, as chunk boundaries may cut a character anywhere.
        Utf8Validator validator;
        for (const char byte : bytes)
            validator.feed(QByteArrayView(&byte, 1));
        QCOMPARE(validator.isValid(), valid);
    }
};

QTEST_GUILESS_MAIN(TestTextLineReader)
#include "test_textlinereader.moc"
