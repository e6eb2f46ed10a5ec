// The runtime's text/number conversions that the quality box, the settings file and the
// convert button share.
#include "support/failures.h"
#include "window/failure.h"
#include "window/numbers.h"

#include <QTest>
#include <cmath>

using namespace pelk;
using pelk::test::thrownKind;

Q_DECLARE_METATYPE(pelk::FailureKind)

class NumbersTest : public QObject {
    Q_OBJECT

private slots:
    void readNumber_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("expected");
        QTest::newRow("plain") << "75" << 75.0;
        QTest::newRow("empty") << "" << 0.0;
        QTest::newRow("letters") << "abc" << 0.0;
        QTest::newRow("leading blanks") << "   42" << 42.0;
        QTest::newRow("tab blank") << "\t 9" << 9.0;
        QTest::newRow("stops at letter") << "  7.5x" << 7.5;
        QTest::newRow("negative") << "-5" << -5.0;
        QTest::newRow("plus") << "+12" << 12.0;
        QTest::newRow("fraction only") << ".5" << 0.5;
        QTest::newRow("point without fraction") << "5." << 5.0;
        QTest::newRow("second point stops") << "1.2.3" << 1.2;
        QTest::newRow("sign alone") << "-" << 0.0;
        QTest::newRow("point alone") << "." << 0.0;
        QTest::newRow("blank inside stops") << "1 2" << 1.0;
        QTest::newRow("comma is no point") << "3,5" << 3.0;
        QTest::newRow("full-width digits are no digits") << "７５" << 0.0;
        QTest::newRow("three digits") << "150" << 150.0;
    }
    void readNumber()
    {
        QFETCH(QString, text);
        QFETCH(double, expected);
        QCOMPARE(pelk::readNumber(text), expected);
    }

    void readNumberIgnoresTheLocale()
    {
        const QLocale previous;
        QLocale::setDefault(QLocale(QLocale::German));
        const double value = pelk::readNumber(u"7.5");
        QLocale::setDefault(previous);
        QCOMPARE(value, 7.5);
    }

    void readNumberOfAHugeNumberDoesNotFail()
    {
        const double value = pelk::readNumber(QString(400, u'9'));
        QVERIFY(std::isinf(value));
        QVERIFY_THROWS_EXCEPTION(Failure, toInt16(value));
    }

    void int16FromNumber_data()
    {
        QTest::addColumn<double>("number");
        QTest::addColumn<int>("expected");
        QTest::newRow("whole") << 42.0 << 42;
        QTest::newRow("half to even down") << 2.5 << 2;
        QTest::newRow("half to even up") << 3.5 << 4;
        QTest::newRow("negative half") << -2.5 << -2;
        QTest::newRow("top") << 32767.0 << 32767;
        QTest::newRow("bottom") << -32768.0 << -32768;
        QTest::newRow("rounds into range") << 32767.4 << 32767;
    }
    void int16FromNumber()
    {
        QFETCH(double, number);
        QFETCH(int, expected);
        QCOMPARE(int(toInt16(number)), expected);
    }

    void int16Overflow()
    {
        for (double number : {32767.5, 32768.0, -32768.6, 1e10, std::nan("")}) {
            QVERIFY2(thrownKind([&] { toInt16(number); }) == FailureKind::Overflow,
                     qPrintable(QStringLiteral("no overflow for %1").arg(number)));
        }
    }

    void int16FromText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("expected");  // -99999: a type mismatch; 99999: an overflow
        QTest::newRow("print form") << " 1 " << 1;
        QTest::newRow("negative print form") << "-1 " << -1;
        QTest::newRow("plain") << "2" << 2;
        QTest::newRow("fraction rounds") << "7.5" << 8;
        QTest::newRow("empty") << "" << -99999;
        QTest::newRow("blanks only") << "   " << -99999;
        QTest::newRow("letters") << "abc" << -99999;
        QTest::newRow("trailing letter") << "1x" << -99999;
        QTest::newRow("blank inside") << "1 2" << -99999;
        QTest::newRow("too big") << "40000" << 99999;
        QTest::newRow("too small") << "-40000" << 99999;
    }
    void int16FromText()
    {
        QFETCH(QString, text);
        QFETCH(int, expected);
        int value = 0;
        const std::optional<FailureKind> kind = thrownKind([&] { value = toInt16(QStringView(text)); });
        if (expected == -99999) {
            QCOMPARE(kind, FailureKind::TypeMismatch);
        } else if (expected == 99999) {
            QCOMPARE(kind, FailureKind::Overflow);
        } else {
            QCOMPARE(kind, std::optional<FailureKind>());
            QCOMPARE(value, expected);
        }
    }

    void byteRange()
    {
        QCOMPARE(int(toByte(0)), 0);
        QCOMPARE(int(toByte(255)), 255);
        QVERIFY_THROWS_EXCEPTION(Failure, toByte(256));
        QVERIFY_THROWS_EXCEPTION(Failure, toByte(-1));
    }

    void booleans()
    {
        QCOMPARE(booleanText(true), QStringLiteral("True"));
        QCOMPARE(booleanText(false), QStringLiteral("False"));
        QCOMPARE(toBoolean(booleanText(true)), true);
        QCOMPARE(toBoolean(booleanText(false)), false);
        QCOMPARE(toBoolean(u" true "), true);
        for (const char16_t* bad : {u"", u"yes", u"Truth"})
            QVERIFY_THROWS_EXCEPTION(Failure, toBoolean(bad));
    }

    void printFormAndNumberText()
    {
        QCOMPARE(printForm(0), QStringLiteral(" 0 "));
        QCOMPARE(printForm(2), QStringLiteral(" 2 "));
        QCOMPARE(printForm(-1), QStringLiteral("-1 "));
        QCOMPARE(printForm(-32768), QStringLiteral("-32768 "));
        QCOMPARE(numberText(75), QStringLiteral("75"));
        QCOMPARE(numberText(-5), QStringLiteral("-5"));
        QCOMPARE(numberText(0), QStringLiteral("0"));
        QCOMPARE(numberText(7.5), QStringLiteral("7.5"));
        QCOMPARE(numberText(150), QStringLiteral("150"));
    }

    // Whatever its size, a number goes into the box as plain digits: the box keeps the
    // first two characters, which must be the number's own.
    void numberTextHasNoExponent_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("text");
        QTest::newRow("10^15 - 1") << "999999999999999"
                                   << "999999999999999";
        QTest::newRow("2 * 10^15") << "2000000000000000"
                                   << "2000000000000000";
        QTest::newRow("-2 * 10^15") << "-2000000000000000"
                                    << "-2000000000000000";
        QTest::newRow("10^20") << "100000000000000000000"
                               << "100000000000000000000";
        QTest::newRow("10^308") << "1" + QString(308, u'0') << "1" + QString(308, u'0');
        QTest::newRow("a small fraction") << "0.00000001"
                                          << "0.00000001";
        QTest::newRow("-0") << "-0"
                            << "0";
    }
    void numberTextHasNoExponent()
    {
        QFETCH(QString, line);
        QFETCH(QString, text);
        const double value = pelk::readNumber(line);
        QCOMPARE(numberText(value), text);
        QCOMPARE(pelk::readNumber(numberText(value)), value);  // and reads back as the same number
    }
};

QTEST_GUILESS_MAIN(NumbersTest)
#include "test_numbers.moc"
