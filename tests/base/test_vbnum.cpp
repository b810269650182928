#include "base/vbnum.h"

#include <QTest>
#include <cmath>
#include <limits>

class TestVbNum : public QObject {
    Q_OBJECT
private slots:
    void leadingValue_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("expected");
        QTest::newRow("plain") << "12" << 12.0;
        QTest::newRow("trailing letters") << "12abc" << 12.0;
        QTest::newRow("no number") << "abc" << 0.0;
        QTest::newRow("empty") << "" << 0.0;
        QTest::newRow("blanks inside") << " 1 2" << 12.0;
        QTest::newRow("tab and line feed") << "\t1\n5" << 15.0;
        QTest::newRow("negative decimal") << "-33.8688" << -33.8688;
        QTest::newRow("sign then blank") << "- 3" << -3.0;
        QTest::newRow("second point stops") << "1.5.3" << 1.5;
        QTest::newRow("exponent") << "1.5E3" << 1500.0;
        QTest::newRow("hex") << "&H1A" << 26.0;
        QTest::newRow("hex 16-bit signed") << "&HFFFF" << -1.0;
        QTest::newRow("hex 32-bit") << "&H10000" << 65536.0;
        QTest::newRow("octal") << "&O17" << 15.0;
        QTest::newRow("ampersand alone") << "&" << 0.0;
    }
    void leadingValue() {
        QFETCH(QString, text);
        QFETCH(double, expected);
        QCOMPARE(vbnum::leadingValue(text), expected);
    }

    void leadingValueKeepsTheSignOfZero() {
        QVERIFY(std::signbit(vbnum::leadingValue(u"-0")));
        QVERIFY(!std::signbit(vbnum::leadingValue(u"0")));
    }

    void strictConversion_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<double>("expected");
        QTest::newRow("decimal") << "31.2304" << true << 31.2304;
        QTest::newRow("blanks around") << "  -33.8688 " << true << -33.8688;
        QTest::newRow("plus sign") << "+5" << true << 5.0;
        QTest::newRow("exponent") << "1e-3" << true << 0.001;
        QTest::newRow("empty") << "" << false << 0.0;
        QTest::newRow("trailing letter") << "12a" << false << 0.0;
        QTest::newRow("inner blank") << "1 2" << false << 0.0;
        QTest::newRow("comma") << "1,5" << false << 0.0;
        QTest::newRow("bare exponent") << "1e" << false << 0.0;
        QTest::newRow("inf") << "inf" << false << 0.0;
        QTest::newRow("nan") << "nan" << false << 0.0;
    }
    void strictConversion() {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(double, expected);
        const auto value = vbnum::toDouble(text);
        QCOMPARE(value.has_value(), ok);
        QCOMPARE(vbnum::isNumeric(text), ok);
        if (ok)
            QCOMPARE(*value, expected);
    }

    void roundsHalfToEven_data() {
        QTest::addColumn<double>("value");
        QTest::addColumn<double>("expected");
        QTest::newRow("0.5") << 0.5 << 0.0;
        QTest::newRow("1.5") << 1.5 << 2.0;
        QTest::newRow("2.5") << 2.5 << 2.0;
        QTest::newRow("3.5") << 3.5 << 4.0;
        QTest::newRow("-2.5") << -2.5 << -2.0;
        QTest::newRow("-3.5") << -3.5 << -4.0;
    }
    void roundsHalfToEven() {
        QFETCH(double, value);
        QFETCH(double, expected);
        QCOMPARE(vbnum::roundHalfEven(value), expected);
    }

    void toInt32RefusesWhatDoesNotFit() {
        QCOMPARE(vbnum::toInt32(1.5), std::optional<qint32>(2));
        QCOMPARE(vbnum::toInt32(2147483647.4), std::optional<qint32>(2147483647));
        QCOMPARE(vbnum::toInt32(-2147483648.5), std::optional<qint32>(-2147483648));
        QVERIFY(!vbnum::toInt32(2147483647.5));
        QVERIFY(!vbnum::toInt32(1e12));
        QVERIFY(!vbnum::toInt32(-1e12));
        QVERIFY(!vbnum::toInt32(std::numeric_limits<double>::quiet_NaN()));
        QVERIFY(!vbnum::toInt32(std::numeric_limits<double>::infinity()));
    }

    void generalSingle_data() {
        QTest::addColumn<float>("value");
        QTest::addColumn<QString>("expected");
        QTest::newRow("two decimals") << 49.44f << "49.44";
        QTest::newRow("whole") << 60.0f << "60";
        QTest::newRow("zero") << 0.0f << "0";
        QTest::newRow("rounded to seven") << 1.23456789f << "1.234568";
        QTest::newRow("tiny") << 1.705303e-12f << "1.705303E-12";
        QTest::newRow("1E-05") << 1e-5f << "1E-05";
        QTest::newRow("0.0001") << 1e-4f << "0.0001";
        QTest::newRow("large") << 12345678.0f << "1.234568E+07";
    }
    void generalSingle() {
        QFETCH(float, value);
        QFETCH(QString, expected);
        QCOMPARE(vbnum::generalSingle(value), expected);
    }

    void generalDouble_data() {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("expected");
        QTest::newRow("zero") << 0.0 << "0";
        QTest::newRow("half") << 123.5 << "123.5";
        QTest::newRow("negative") << -33.8568 << "-33.8568";
        QTest::newRow("longitude") << 151.2093 << "151.2093";
        QTest::newRow("fifteen digits") << 22.543099999999999 << "22.5431";
        QTest::newRow("many digits") << 1.0 / 3.0 << "0.333333333333333";
    }
    void generalDouble() {
        QFETCH(double, value);
        QFETCH(QString, expected);
        QCOMPARE(vbnum::generalDouble(value), expected);
    }

    void patterns_data() {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("fixed2");
        QTest::addColumn<QString>("upTo3");
        QTest::newRow("12.5") << 12.5 << "12.50"
                              << "12.5";
        QTest::newRow("-3") << -3.0 << "-3.00"
                            << "-3.0";
        QTest::newRow("1234.567") << 1234.567 << "1234.57"
                                  << "1234.567";
        QTest::newRow("12.125") << 12.125 << "12.13"
                                << "12.125";
        QTest::newRow("12.9999") << 12.9999 << "13.00"
                                 << "13.0";
        QTest::newRow("tiny negative") << -0.001 << "0.00"
                                       << "-0.001";
        QTest::newRow("decimal half") << 2.675 << "2.68"
                                      << "2.675";
        QTest::newRow("three-decimal half") << 0.0625 << "0.06"
                                            << "0.063";
        QTest::newRow("carry") << 99.999 << "100.00"
                               << "99.999";
        QTest::newRow("large") << 123456789.0 << "123456789.00"
                               << "123456789.0";
    }
    void patterns() {
        QFETCH(double, value);
        QFETCH(QString, fixed2);
        QFETCH(QString, upTo3);
        QCOMPARE(vbnum::fixed2(value), fixed2);
        QCOMPARE(vbnum::upTo3Decimals(value), upTo3);
    }
};

QTEST_GUILESS_MAIN(TestVbNum)
#include "test_vbnum.moc"
