// SPDX-License-Identifier: LGPL-2.1-or-later
// How reports write numbers: in full for machines, readably for a person.
#include "NumberText.h"

#include <QTest>

#include <limits>

class TestNumberText : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void machineAndPerson_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("exact");
        QTest::addColumn<QString>("readable");
        const auto row = [](const char *name, double value, const char *exact, const char *readable) {
            QTest::newRow(name) << value << QString::fromLatin1(exact) << QString::fromLatin1(readable);
        };
        row("zero", 0.0, "0", "0");
        row("shortDecimalInFull", 438978.375, "438978.375", "438978.375");
        row("thirdTo7Digits", 1.0 / 3.0, "0.3333333333333333", "0.3333333");
        row("wholeDigitsNeverCut", 123456789.123456, "123456789.123456", "123456789");
        row("negative", -2.5, "-2.5", "-2.5");
        row("smallestPlain", 1e-4, "0.0001", "0.0001");
        row("tinyInExponent", 1.5e-5, "1.5e-05", "1.5e-05");
        row("hugeInExponent", 1e12, "1e+12", "1e+12");
        row("hugeLongTo7Digits", 1.0e12 / 3.0, "333333333333.3333", "3.333333e+11");
        row("infinity", std::numeric_limits<double>::infinity(), "inf", "inf");
    }

    void machineAndPerson()
    {
        QFETCH(double, value);
        QTEST(NumberText::exact(value), "exact");
        QTEST(NumberText::readable(value), "readable");
    }

    // A signal's values in the table: the decimals of its factor, one to four.
    void value_data()
    {
        QTest::addColumn<double>("factor");
        QTest::addColumn<double>("value");
        QTest::addColumn<int>("decimals");
        QTest::addColumn<QString>("text");
        QTest::newRow("eighthRpm") << 0.125 << 1024.0 << 3 << QStringLiteral("1024.000");
        QTest::newRow("wholeKeepsOneDecimal") << 1.0 << 83.0 << 1 << QStringLiteral("83.0");
        QTest::newRow("negativeFactor") << -0.05 << 2.3 << 2 << QStringLiteral("2.30");
        QTest::newRow("atMostFour") << 1.0 / 256.0 << 23.41796875 << 4 << QStringLiteral("23.4180");
        QTest::newRow("beyondFifteenDigits") << 0.5 << 2e15 << 1 << QStringLiteral("2e+15");
        QTest::newRow("unknownFactor") << 0.0 << 1.0 / 3.0 << -1 << QStringLiteral("0.3333333");
        QTest::newRow("infiniteFactor") << std::numeric_limits<double>::infinity() << 2.5 << -1
                                        << QStringLiteral("2.5");
    }

    void value()
    {
        QFETCH(double, factor);
        QFETCH(double, value);
        QTEST(NumberText::decimalsOf(factor), "decimals");
        QTEST(NumberText::value(value, NumberText::decimalsOf(factor)), "text");
    }

    void exactTime_neverInExponent()
    {
        QCOMPARE(NumberText::exactTime(1e21), QStringLiteral("1000000000000000000000"));
        QCOMPARE(NumberText::exactTime(0.019935999999999954), QStringLiteral("0.019935999999999954"));
    }
};

QTEST_GUILESS_MAIN(TestNumberText)
#include "tst_numbertext.moc"
