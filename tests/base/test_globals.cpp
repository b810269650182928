#include "base/globals.h"

#include <QTest>

class TestGlobals : public QObject {
    Q_OBJECT
private slots:
    void fileName_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected");
        QTest::newRow("forward slashes") << "C:/photos/a.jpg"
                                         << "a.jpg";
        QTest::newRow("backslashes") << "C:\\photos\\a.jpg"
                                     << "a.jpg";
        QTest::newRow("unix path") << "/home/me/photos/b.jpg"
                                   << "b.jpg";
        QTest::newRow("bare name") << "a.jpg"
                                   << "a.jpg";
        QTest::newRow("ends in separator") << "C:\\photos\\"
                                           << "";
        QTest::newRow("blanks and inner blank") << " C:/photos/b c.jpg "
                                                << "b c.jpg";
        QTest::newRow("mixed") << "/photos\\sub/x.tif"
                               << "x.tif";
        QTest::newRow("empty") << ""
                               << "";
    }
    void fileName() {
        QFETCH(QString, path);
        QFETCH(QString, expected);
        QCOMPARE(globals::GetFileName(path), expected);
    }

    void trimAtNull() {
        QCOMPARE(globals::TrimAtNull(QStringLiteral("abc")), QStringLiteral("abc"));
        QCOMPARE(globals::TrimAtNull(QString::fromUtf8("ab\0cd", 5)), QStringLiteral("ab"));
        QCOMPARE(globals::TrimAtNull(QString::fromUtf8("\0x", 2)), QString());
    }

    void regexReplace_data() {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("replacement");
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("expected");
        QTest::newRow("blanks between words") << "\\b\\s+\\b"
                                              << "\t"
                                              << "a  b c"
                                              << "a\tb\tc";
        QTest::newRow("trailing blanks kept") << "\\b\\s+\\b"
                                              << "\t"
                                              << "a b  "
                                              << "a\tb  ";
        QTest::newRow("after a word") << "\\b\\s+"
                                      << "\t"
                                      << "a  b "
                                      << "a\tb\t";
        QTest::newRow("ignores case") << "JPG"
                                      << "tif"
                                      << "a.jpg B.Jpg"
                                      << "a.tif B.tif";
        QTest::newRow("group") << "(\\w+)\\.jpg"
                               << "$1.tif"
                               << "x.jpg"
                               << "x.tif";
        QTest::newRow("whole match and dollar") << "b"
                                                << "[$&$$]"
                                                << "abc"
                                                << "a[b$]c";
        QTest::newRow("backslash is literal") << "/"
                                              << "\\"
                                              << "a/b"
                                              << "a\\b";
        QTest::newRow("bad pattern unchanged") << "("
                                               << "x"
                                               << "a(b"
                                               << "a(b";
        // ASCII classes: CJK letters are no word characters and U+3000 no blank, so a
        // Chinese name's ideographic space is kept and no word boundary falls inside it.
        QTest::newRow("cjk is no word") << "\\w+"
                                        << "_"
                                        << "照片a1"
                                        << "照片_";
        QTest::newRow("ideographic space") << "\\s+"
                                           << "\t"
                                           << "照　片 a"
                                           << "照　片\ta";
        QTest::newRow("no-break space") << "\\s"
                                        << "_"
                                        << "a\u00a0b"
                                        << "a\u00a0b";
        QTest::newRow("cjk boundary") << "\\b\\s+\\b"
                                      << "\t"
                                      << "照 片"
                                      << "照 片";
    }
    void regexReplace() {
        QFETCH(QString, pattern);
        QFETCH(QString, replacement);
        QFETCH(QString, source);
        QFETCH(QString, expected);
        QCOMPARE(globals::RegexReplace(pattern, replacement, source), expected);
    }
};

QTEST_GUILESS_MAIN(TestGlobals)
#include "test_globals.moc"
