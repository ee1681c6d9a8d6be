#include "data/clock.h"
#include "data/numeric.h"

#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

using namespace shop;

class TstNumeric : public QObject {
    Q_OBJECT

    // A locale whose decimal mark is a comma, built for the test (machines
    // often have none installed); its name, or empty when it cannot be built.
    QTemporaryDir localeDir_;
    QByteArray commaLocale_;

private slots:
    void initTestCase()
    {
        const QString target = localeDir_.filePath("de_DE.UTF-8");
        if (QProcess::execute("localedef", {"-i", "de_DE", "-f", "UTF-8", target}) != 0)
            return;
        qputenv("LOCPATH", QFile::encodeName(localeDir_.path()));
        commaLocale_ = "de_DE.UTF-8";
    }

    void numericValue_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("expected");
        QTest::newRow("decimal") << "12.5" << 12.5;
        QTest::newRow("unit after number") << "3箱" << 3.0;
        QTest::newRow("no number") << "abc" << 0.0;
        QTest::newRow("inner blank ignored") << "1 2" << 12.0;
        QTest::newRow("tab and line feed ignored") << "\t1\n2.\r\n5" << 12.5;
        QTest::newRow("leading point") << ".5" << 0.5;
        QTest::newRow("sign alone") << "-" << 0.0;
        QTest::newRow("negative") << "-7.25" << -7.25;
        QTest::newRow("plus sign") << "+4" << 4.0;
        QTest::newRow("signed form with blank") << " 15.5" << 15.5;
        QTest::newRow("second point stops") << "1.2.3" << 1.2;
        QTest::newRow("exponent E") << "1.5E3" << 1500.0;
        QTest::newRow("exponent D lower case") << "2d2" << 200.0;
        QTest::newRow("negative exponent") << "25e-1" << 2.5;
        QTest::newRow("exponent without digits") << "1e" << 1.0;
        QTest::newRow("point before exponent") << "5.e3" << 5000.0;
        QTest::newRow("leading point and exponent") << "-.5e1" << -5.0;
        QTest::newRow("zero with huge exponent") << "0e999999" << 0.0;
        QTest::newRow("exponent sign without digits") << "7e+" << 7.0;
        QTest::newRow("overflow reads as zero") << "1e400" << 0.0;
        QTest::newRow("hex") << "&HFF" << 255.0;
        QTest::newRow("hex lower case") << "&hff" << 255.0;
        QTest::newRow("octal") << "&O17" << 15.0;
        QTest::newRow("octal stops at 8") << "&O178" << 15.0;
        QTest::newRow("ampersand other letter") << "&X1" << 0.0;
        QTest::newRow("full-width digits are not digits") << "１２" << 0.0;
        QTest::newRow("currency suffix") << "100元" << 100.0;
        QTest::newRow("empty") << "" << 0.0;
        QTest::newRow("letters before digits") << "x12" << 0.0;
        QTest::newRow("CJK between digits stops") << "1元5" << 1.0;
        QTest::newRow("no-break space is not a blank") << "1\u00a05" << 1.0;
        QTest::newRow("one tenth") << "0.1" << 0.1;
        QTest::newRow("15 digits") << "3.14159265358979" << 3.14159265358979;
        QTest::newRow("15 decimals") << "0.000000000000001" << 1e-15;
        QTest::newRow("16 digits") << "1234567.891234567" << 1234567.891234567;
        QTest::newRow("beyond 2^53") << "9007199254740993" << 9007199254740992.0;
        QTest::newRow("negative zero") << "-0" << 0.0;
    }
    void numericValue()
    {
        QFETCH(QString, text);
        QFETCH(double, expected);
        QCOMPARE(shop::numericValue(text), expected);
        // The engine's UTF-8 bytes read exactly the same (not merely close).
        QVERIFY(shop::readNumberUtf8(text.toUtf8()).value == shop::numericValue(text));
    }

    // Decimals read to the very same double as the C library reads them,
    // whichever way the reader takes (short decimals skip strtod).
    void decimalsExactlyAsTheLibraryReadsThem()
    {
        QStringList texts = {"0.1",
                             "2.675",
                             "-0",
                             "-0.0",
                             "123456789012345",
                             "1234567890123456",
                             "0.000000000000001",
                             "99999.99999",
                             "9007199254740993",
                             "1.000000000000005",
                             "4.35",
                             "1e0",
                             "-123.456e-2"};
        quint64 x = 88172645463325252ull; // xorshift: the same cases every run
        for (int i = 0; i < 20000; ++i) {
            x ^= x << 13;
            x ^= x >> 7;
            x ^= x << 17;
            const int digits = 1 + static_cast<int>(x % 17);
            QString t = QString::number(x % 100000000000000000ull).right(digits);
            t.insert(static_cast<int>((x >> 20) % (t.size() + 1)), u'.');
            texts << ((x >> 40) % 2 ? "-" + t : t);
        }
        for (const QString& t : texts) {
            const double expected = std::strtod(t.toLatin1().constData(), nullptr);
            const double got = shop::numericValue(t);
            QVERIFY2(std::memcmp(&got, &expected, sizeof got) == 0, qPrintable(t));
        }
    }

    void overflowIsReported()
    {
        QVERIFY(readNumber("1e400").overflow);
        QVERIFY(readNumber("-1e400").overflow);
        QVERIFY(!readNumber("1e300").overflow);
    }

    void numberText_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("plain");
        QTest::addColumn<QString>("signedForm");
        QTest::newRow("whole") << 15.0 << "15"
                               << " 15";
        QTest::newRow("fraction") << 15.5 << "15.5"
                                  << " 15.5";
        QTest::newRow("negative") << -3.25 << "-3.25"
                                  << "-3.25";
        QTest::newRow("zero") << 0.0 << "0"
                              << " 0";
        QTest::newRow("negative zero") << -0.0 << "0"
                                       << " 0";
        QTest::newRow("binary fraction noise hidden") << 0.1 + 0.2 << "0.3"
                                                      << " 0.3";
        QTest::newRow("15 digits kept") << 123456789012345.0 << "123456789012345"
                                        << " 123456789012345";
        QTest::newRow("beyond 15 digits") << 1234567890123456.0 << "1.23456789012346E+15"
                                          << " 1.23456789012346E+15";
        QTest::newRow("small") << 0.00001 << "1E-05"
                               << " 1E-05";
        QTest::newRow("no grouping") << 1234567.0 << "1234567"
                                     << " 1234567";
    }
    void numberText()
    {
        QFETCH(double, value);
        QFETCH(QString, plain);
        QFETCH(QString, signedForm);
        QCOMPARE(shop::numberText(value), plain);
        QCOMPARE(shop::signedNumberText(value), signedForm);
        // What is written reads back as the same number.
        QCOMPARE(shop::numericValue(plain), shop::numericValue(signedForm));
    }

    // Qt programs on Unix take LC_NUMERIC from the environment; numbers are
    // read and written with a full stop all the same.
    void fullStopWhateverTheLocale_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("value");
        QTest::addColumn<bool>("written"); // value written gives text
        QTest::newRow("exponent") << "1.5E3" << 1500.0 << false;
        QTest::newRow("16 digits") << "1234567.891234567" << 1234567.891234567 << false;
        QTest::newRow("D exponent with sign") << "-2.5D-1" << -0.25 << false;
        QTest::newRow("plus sign and exponent") << "+1.5e2" << 150.0 << false;
        QTest::newRow("too small reads as zero") << "1.5e-400" << 0.0 << false;
        QTest::newRow("fraction written") << "15.5" << 15.5 << true;
        QTest::newRow("exponent form written") << "1.23456789012346E+15" << 1234567890123456.0 << true;
        QTest::newRow("small written") << "-1.5E-05" << -0.000015 << true;
    }
    void fullStopWhateverTheLocale()
    {
        QFETCH(QString, text);
        QFETCH(double, value);
        QFETCH(bool, written);
        if (commaLocale_.isEmpty())
            QSKIP("no locale with a decimal comma can be built here");
        const QByteArray was = std::setlocale(LC_NUMERIC, nullptr);
        QVERIFY(std::setlocale(LC_NUMERIC, commaLocale_.constData()));
        const auto restore = qScopeGuard([&was] { std::setlocale(LC_NUMERIC, was.constData()); });
        QCOMPARE(QByteArray(std::localeconv()->decimal_point), QByteArray(","));

        const NumericRead r = readNumber(text);
        QVERIFY(!r.overflow);
        QCOMPARE(r.value, value);
        if (written)
            QCOMPARE(shop::numberText(value), text);
        QVERIFY(readNumber("-1e400").overflow);
    }

    // Halves go to the even neighbour; a whole number beyond 64 bits is
    // no number at all, never a wrapped one.
    void roundWhole_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<bool>("fits");
        QTest::addColumn<qint64>("expected");
        QTest::newRow("2.5") << 2.5 << true << qint64(2);
        QTest::newRow("3.5") << 3.5 << true << qint64(4);
        QTest::newRow("12.5") << 12.5 << true << qint64(12);
        QTest::newRow("13.5") << 13.5 << true << qint64(14);
        QTest::newRow("-2.5") << -2.5 << true << qint64(-2);
        QTest::newRow("2.6") << 2.6 << true << qint64(3);
        QTest::newRow("0.5") << 0.5 << true << qint64(0);
        QTest::newRow("1.4999") << 1.4999 << true << qint64(1);
        QTest::newRow("lowest 64-bit")
            << -9223372036854775808.0 << true << std::numeric_limits<qint64>::min();
        QTest::newRow("2^63") << 9223372036854775808.0 << false << qint64(0);
        QTest::newRow("1e20 * 50%") << 1e20 * 50 / 100.0 << false << qint64(0);
        QTest::newRow("-1e19") << -1e19 << false << qint64(0);
        QTest::newRow("infinity") << std::numeric_limits<double>::infinity() << false << qint64(0);
        QTest::newRow("NaN") << std::numeric_limits<double>::quiet_NaN() << false << qint64(0);
    }
    void roundWhole()
    {
        QFETCH(double, value);
        QFETCH(bool, fits);
        QFETCH(qint64, expected);
        const auto r = shop::roundWhole(value);
        QCOMPARE(r.has_value(), fits);
        if (fits)
            QCOMPARE(*r, expected);
    }

    void dateTexts()
    {
        FixedClock c(QDateTime(QDate(2026, 3, 5), QTime(8, 4, 9)));
        QCOMPARE(todayText(c), QString("2026-03-05"));
        QCOMPARE(thirtyDaysAgoText(c), QString("2026-02-03"));
        QCOMPARE(dateTimeText(c.now()), QString("2026-03-05 08:04:09"));
        // Date texts sort as the dates they name.
        QVERIFY(dateText(QDate(2026, 9, 30)) < dateText(QDate(2026, 10, 1)));
        c.set(QDateTime(QDate(2027, 1, 10), QTime(0, 0)));
        QCOMPARE(thirtyDaysAgoText(c), QString("2026-12-11"));
    }

    void dateTimeTexts_data()
    {
        QTest::addColumn<QDateTime>("when");
        QTest::addColumn<QString>("text");
        QTest::newRow("midnight") << QDateTime(QDate(2026, 1, 1), QTime(0, 0)) << "2026-01-01 00:00:00";
        QTest::newRow("last second of a year")
            << QDateTime(QDate(2026, 12, 31), QTime(23, 59, 59, 999)) << "2026-12-31 23:59:59";
        QTest::newRow("first four-digit year")
            << QDateTime(QDate(1000, 2, 3), QTime(4, 5, 6)) << "1000-02-03 04:05:06";
        QTest::newRow("last four-digit year")
            << QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59)) << "9999-12-31 23:59:59";
        QTest::newRow("three-digit year")
            << QDateTime(QDate(999, 7, 8), QTime(9, 10, 11)) << "0999-07-08 09:10:11";
        QTest::newRow("no date") << QDateTime() << "";
    }

    void dateTimeTexts()
    {
        QFETCH(QDateTime, when);
        QFETCH(QString, text);
        QCOMPARE(dateTimeText(when), text);
    }
};

QTEST_GUILESS_MAIN(TstNumeric)
#include "tst_numeric.moc"
