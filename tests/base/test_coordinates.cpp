#include "base/coordinates.h"
#include "base/vbnum.h"

#include <QTest>
#include <cmath>
#include <limits>

class TestCoordinates : public QObject {
    Q_OBJECT
private slots:
    void parsesLogTexts_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("deg");
        QTest::addColumn<int>("min");
        QTest::addColumn<float>("sec");
        QTest::addColumn<QString>("latitude");
        QTest::addColumn<QString>("longitude");
        QTest::newRow("decimal") << "31.2304" << 31 << 13 << 49.44f << "31°13′49.44″N"
                                 << "31°13′49.44″E";
        QTest::newRow("decimal longitude") << "121.4737" << 121 << 28 << 25.32f << "121°28′25.32″N"
                                           << "121°28′25.32″E";
        QTest::newRow("negative decimal") << "-33.8688" << -33 << 52 << 7.68f << "33°52′7.68″S"
                                          << "33°52′7.68″W";
        QTest::newRow("half degree") << "31.5" << 31 << 30 << 0.0f << "31°30′0″N"
                                     << "31°30′0″E";
        // The floor of a minute a hair below 12 gives 59.99999… seconds: written as the minute.
        QTest::newRow("sixty seconds carried") << "31.2" << 31 << 12 << 0.0f << "31°12′0″N"
                                               << "31°12′0″E";
        QTest::newRow("dms") << "31:12:30" << 31 << 12 << 30.0f << "31°12′30″N"
                             << "31°12′30″E";
        QTest::newRow("negative dms") << "-33:52:7.68" << -33 << 52 << 7.68f << "33°52′7.68″S"
                                      << "33°52′7.68″W";
        QTest::newRow("no seconds") << "31:12" << 31 << 12 << 0.0f << "31°12′0″N"
                                    << "31°12′0″E";
        QTest::newRow("decimal minutes") << "31:13.824" << 31 << 13 << 49.44f << "31°13′49.44″N"
                                         << "31°13′49.44″E";
        QTest::newRow("degree marks") << "31°13′49.44″" << 31 << 13 << 49.44f << "31°13′49.44″N"
                                      << "31°13′49.44″E";
        QTest::newRow("ascii marks with blanks")
            << "31° 13' 49.44\"" << 31 << 13 << 49.44f << "31°13′49.44″N"
            << "31°13′49.44″E";
        QTest::newRow("letter after") << "31.2304N" << 31 << 13 << 49.44f << "31°13′49.44″N"
                                      << "31°13′49.44″E";
        QTest::newRow("letter before with a blank")
            << "S 33.8688" << -33 << 52 << 7.68f << "33°52′7.68″S"
            << "33°52′7.68″W";
        QTest::newRow("lower-case west after marks")
            << "0°7′40.08″w" << 0 << 7 << 40.08f << "0°7′40.08″S"
            << "0°7′40.08″W";
        QTest::newRow("U+2212 minus") << "\u221233.8688" << -33 << 52 << 7.68f << "33°52′7.68″S"
                                      << "33°52′7.68″W";
        QTest::newRow("plus sign, blanks around") << "  +31.5\t" << 31 << 30 << 0.0f << "31°30′0″N"
                                                  << "31°30′0″E";
        QTest::newRow("impossible but readable") << "200.5" << 200 << 30 << 0.0f << "200°30′0″N"
                                                 << "200°30′0″E";
        // Between -1 and 0 degrees the sign has no whole degree to live in.
        QTest::newRow("small negative decimal") << "-0.5" << 0 << 30 << 0.0f << "0°30′0″S"
                                                << "0°30′0″W";
        QTest::newRow("small negative dms") << "-0:30:00" << 0 << 30 << 0.0f << "0°30′0″S"
                                            << "0°30′0″W";
        QTest::newRow("negative zero") << "-0" << 0 << 0 << 0.0f << "0°0′0″N"
                                       << "0°0′0″E";
    }
    void parsesLogTexts() {
        QFETCH(QString, text);
        QFETCH(int, deg);
        QFETCH(int, min);
        QFETCH(float, sec);
        QFETCH(QString, latitude);
        QFETCH(QString, longitude);
        const auto dms = parseCoordinate(text);
        QVERIFY(dms);
        QCOMPARE(dms->deg, deg);
        QCOMPARE(dms->min, min);
        QCOMPARE(dms->sec, sec);
        QCOMPARE(latitudeText(*dms), latitude);
        QCOMPARE(longitudeText(*dms), longitude);
    }

    void refusesWhatIsNoCoordinate_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("letters") << "abc";
        QTest::newRow("empty") << "";
        QTest::newRow("blanks") << "  ";
        QTest::newRow("trailing letters") << "121.4737abc";
        QTest::newRow("exponent") << "1e2";
        QTest::newRow("overflowing exponent") << "1e309";
        QTest::newRow("NaN") << "NaN";
        QTest::newRow("infinity") << "-inf";
        QTest::newRow("two points") << "31.2.3";
        QTest::newRow("comma as decimal point") << "31,5";
        QTest::newRow("sign and letter") << "-31.5S";
        QTest::newRow("two letters") << "N31.5E";
        QTest::newRow("degrees beyond 16 bits") << "40000";
        QTest::newRow("seven digits") << "1214737";
        QTest::newRow("dms degrees beyond 16 bits") << "40000:0:0";
        QTest::newRow("75 minutes") << "31:75:00";
        QTest::newRow("90 seconds") << "121:28:90";
        QTest::newRow("signed minutes") << "31:-5:0";
        QTest::newRow("four parts") << "31:12:30:5";
        QTest::newRow("decimals before the last part") << "31.5:10";
        QTest::newRow("colon in markup") << "Day 1: Shanghai";
        QTest::newRow("time of day in a name") << "10:30, 12 km";
        QTest::newRow("xml attribute") << "xmlns=\"http://www.opengis.net/kml/2.2\"";
        QTest::newRow("minutes before degrees") << "13′31°";
        QTest::newRow("marks without degrees") << "13'49.44\"";
        QTest::newRow("empty dms part") << "31::30";
        QTest::newRow("sign after a blank") << "- 31.5";
    }
    void refusesWhatIsNoCoordinate() {
        QFETCH(QString, text);
        QVERIFY(!parseCoordinate(text));
    }

    void signFlagFollowsTheValue() {
        QCOMPARE(decimalToDms(-0.5)->negative, true);
        QCOMPARE(decimalToDms(-33.8688)->negative, true);
        QCOMPARE(decimalToDms(0.5)->negative, false);
        QCOMPARE(latitudeRef(Dms{-1, 0, 0.0f, false}), u'S');
        QCOMPARE(longitudeRef(Dms{0, 30, 0.0f, true}), u'W');
        QVERIFY(!decimalToDms(std::nan("")));
        QVERIFY(!decimalToDms(INFINITY));
        // A photo's 10°59′59.9999″ exports as the position a reader shows.
        QCOMPARE(latitudeText(*decimalToDms(10.99999999)), QStringLiteral("11°0′0″N"));
        QCOMPARE(decimalToDms(-32767.5)->deg, -32767);
    }

    // The seconds shown are those the writer stores: rounding residues are no exponent, and
    // seconds that round to 60 show as the next minute (or degree).
    void formatsSecondsAsWritten_data() {
        QTest::addColumn<int>("deg");
        QTest::addColumn<int>("min");
        QTest::addColumn<float>("sec");
        QTest::addColumn<QString>("text");
        QTest::newRow("residue of a whole minute") << 121 << 12 << 1.023182e-11f << "121°12′0″";
        QTest::newRow("two decimals") << 31 << 13 << 49.44f << "31°13′49.44″";
        QTest::newRow("rounded to two decimals") << 31 << 13 << 49.4399f << "31°13′49.44″";
        QTest::newRow("three decimals kept") << 31 << 13 << 49.483f << "31°13′49.483″";
        QTest::newRow("finer than milliseconds") << 31 << 13 << 49.4832f << "31°13′49.4832″";
        QTest::newRow("sixty") << 30 << 8 << 60.0f << "30°9′0″";
        QTest::newRow("just below sixty") << 10 << 59 << 59.9999f << "11°0′0″";
    }
    void formatsSecondsAsWritten() {
        QFETCH(int, deg);
        QFETCH(int, min);
        QFETCH(float, sec);
        QFETCH(QString, text);
        QCOMPARE(FormatDms(Dms{qint16(deg), qint16(min), sec, false}), text);
    }

    void letterOfTheOtherAxisIsRefused() {
        QVERIFY(parseCoordinate(u"31.5N", Axis::Latitude));
        QVERIFY(!parseCoordinate(u"31.5N", Axis::Longitude));
        QVERIFY(!parseCoordinate(u"E121.5", Axis::Latitude));
        QVERIFY(parseCoordinate(u"121.5", Axis::Latitude));
        QCOMPARE(readCoordinate(u"w 0.5")->axis, Axis::Longitude);
        QVERIFY(readCoordinate(u"w 0.5")->dms.isNegative());
    }

    void convertsBackToDecimal_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("decimal");
        QTest::newRow("31.2304") << "31.2304" << 31.2304;
        QTest::newRow("-33.8688") << "-33.8688" << -33.8688;
        QTest::newRow("-0.5") << "-0.5" << -0.5;
        QTest::newRow("-0:30:00") << "-0:30:00" << -0.5;
    }
    void convertsBackToDecimal() {
        QFETCH(QString, text);
        QFETCH(double, decimal);
        // Seconds are single precision: about 1e-6 arc seconds of them is lost.
        QVERIFY(std::fabs(dmsToDecimal(*parseCoordinate(text)) - decimal) < 1e-9);
    }

    void altitudeText_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("expected");
        QTest::newRow("12.5") << "12.5"
                              << "12.50m";
        QTest::newRow("-3") << "-3"
                            << "-3.00m";
        QTest::newRow("1234.567") << "1234.567"
                                  << "1234.57m";
        QTest::newRow("zero") << "0"
                              << "0.00m";
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("not numeric") << "high"
                                     << "";
        QTest::newRow("unit attached") << "12m"
                                       << "";
    }
    void altitudeText() {
        QFETCH(QString, field);
        QFETCH(QString, expected);
        QCOMPARE(::altitudeText(field), expected);
    }

    void rationals_data() {
        QTest::addColumn<float>("x");
        QTest::addColumn<int>("num");
        QTest::addColumn<int>("den");
        QTest::newRow("zero") << 0.0f << 0 << 10;
        QTest::newRow("one decimal") << 30.5f << 305 << 10;
        QTest::newRow("whole") << 45.0f << 450 << 10;
        QTest::newRow("two decimals") << 12.25f << 1225 << 100;
        QTest::newRow("seconds") << 49.44f << 4944 << 100;
        QTest::newRow("sixty") << 60.0f << 600 << 10;
        QTest::newRow("three decimals") << 12.125f << 97 << 8;
        QTest::newRow("negative three decimals") << -12.125f << -97 << 8;
        QTest::newRow("rounds to one decimal") << 12.9999f << 130 << 10;
        QTest::newRow("rounds to zero") << 1e-6f << 0 << 10;
    }
    void rationals() {
        QFETCH(float, x);
        QFETCH(int, num);
        QFETCH(int, den);
        QCOMPARE(GetRational(x, 6), (Rational{num, den}));
    }

    void failsWhenNoDenominatorFits() { QCOMPARE(GetRational(0.001f, 9), (Rational{0, 0})); }

    // Three decimals that are no short fraction: the fraction found lies within the tolerance.
    void longFractionsStayWithinTolerance_data() {
        QTest::addColumn<float>("x");
        QTest::newRow("25.321") << 25.321f;
        QTest::newRow("1234.567") << 1234.567f;
    }
    void longFractionsStayWithinTolerance() {
        QFETCH(float, x);
        const Rational r = GetRational(x, 6);
        QVERIFY(r.den > 0);
        QVERIFY(std::fabs(double(r.num) / r.den - double(x)) < 1e-3);
        QVERIFY(std::fabs(double(r.num) / double(x) - r.den) < 1e-6);
    }

    // The three-decimal search walks convergents; it must find the numerator that walking every
    // numerator from 1 finds, for every three-decimal seconds value, negative ones, altitudes
    // from the Dead Sea to Everest, and tolerances other than the writer's.
    void rationalSearchAgreesWithTheNumeratorWalk_data() {
        QTest::addColumn<double>("from");
        QTest::addColumn<double>("to");
        QTest::addColumn<double>("step");
        QTest::addColumn<int>("precision");
        QTest::newRow("seconds") << 1.0 << 60.0 << 0.001 << 6;
        // Below one second the old walk takes up to millions of steps: a sample.
        QTest::newRow("seconds below one") << 0.001 << 1.0 << 0.0097 << 6;
        QTest::newRow("negative seconds") << -60.0 << -1.0 << 0.007 << 6;
        QTest::newRow("altitudes") << -430.0 << 8849.0 << 0.0613 << 6;
        QTest::newRow("high altitudes") << 8000.0 << 20000.0 << 1.0009 << 6;
        QTest::newRow("seconds, precision 4") << 0.001 << 60.0 << 0.013 << 4;
        QTest::newRow("seconds, precision 8") << 1.0 << 60.0 << 0.131 << 8;
    }
    void rationalSearchAgreesWithTheNumeratorWalk() {
        QFETCH(double, from);
        QFETCH(double, to);
        QFETCH(double, step);
        QFETCH(int, precision);
        int compared = 0;
        for (double v = from; v < to; v += step) {
            const float x = float(std::round(v * 1000) / 1000);
            const QString text = vbnum::upTo3Decimals(x);
            if (text.size() - text.lastIndexOf(u'.') != 4)
                continue; // one or two decimals: no search
            const Rational expected = walkNumerators(x, precision);
            if (GetRational(x, precision) != expected)
                QFAIL(qPrintable(QStringLiteral("%1: %2/%3 expected")
                                     .arg(double(x), 0, 'g', 9)
                                     .arg(expected.num)
                                     .arg(expected.den)));
            ++compared;
        }
        QVERIFY(compared > 50);
    }

private:
    // The search as the writer first had it: i = 1, 2, 3, ... until i/x lies within 10^-precision
    // of a whole number. For |x| >= 1 only i = round(d*|x|) can pass for each whole d, and those
    // rise with d, so d is walked instead: the same i, |x| times sooner.
    static Rational walkNumerators(float x, int precision) {
        const double value = x;
        const double magnitude = std::fabs(value);
        const double tolerance = std::pow(0.1, precision);
        constexpr qint64 kLargest = std::numeric_limits<qint32>::max();
        for (qint64 d = 1, i = 1; i <= kLargest; ++d) {
            if (magnitude >= 1.0) {
                // d*|x| is exact in double (a float times d < 2^29), and so is its distance to the
                // nearest whole number (rounded by adding and taking away 2^52): far from one,
                // i/x cannot pass, so the division is skipped.
                const double exact = double(d) * magnitude;
                const double distance = exact - ((exact + 0x1p52) - 0x1p52);
                if (std::fabs(distance) >= 2 * tolerance * magnitude && d < (1 << 29))
                    continue;
                i = std::llround(exact);
            }
            if (double(i) / magnitude > kLargest + 0.5)
                return {0, 0}; // no denominator fits 32 bits
            const double q = double(i) / value;
            const double nearest = vbnum::roundHalfEven(q);
            if (std::fabs(q - nearest) < tolerance) {
                const auto den = vbnum::toInt32(nearest);
                if (!den || *den == std::numeric_limits<qint32>::min())
                    return {0, 0};
                return *den < 0 ? Rational{qint32(-i), -*den} : Rational{qint32(i), *den};
            }
            if (magnitude < 1.0)
                ++i;
        }
        return {0, 0};
    }
};

QTEST_GUILESS_MAIN(TestCoordinates)
#include "test_coordinates.moc"
