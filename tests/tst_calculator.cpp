// SPDX-License-Identifier: LGPL-2.1-or-later
#include <Talveno/Talveno.h>

#include <QRandomGenerator>
#include <QtTest>

#include <algorithm>
#include <climits>
#include <cmath>
#include <limits>

namespace
{
const double notANumber = std::numeric_limits<double>::quiet_NaN();
const double infinity = std::numeric_limits<double>::infinity();
const double twoTo64 = 18446744073709551616.0;

template<typename N>
double medianOf(const QList<N> &values)
{
    const StatisticCalculator<N> calculator{std::optional<int>()};
    return calculator.getMedian(values);
}

template<typename N>
void checkEmpty()
{
    StatisticCalculator<N> calculator{std::optional<int>()};
    for (int round = 0; round < 2; ++round) {
        QVERIFY(calculator.getAverage() == 0.0);
        QVERIFY(calculator.getDeviation() == 0.0);
        QVERIFY(calculator.getMinimum() == N(0));
        QVERIFY(calculator.getMaximum() == N(0));
        QVERIFY(calculator.getMedian(QList<N>()) == 0.0);
        calculator.addValue(N(7));
        calculator.addValue(N(3));
        calculator.clear();
    }
}

// Excluded samples keep the scaled value they came with, so the calculator
// reads exactly the QVariant given here, without the scaling in between.
GenericSignalImpl<J1939Value> &
feedScaled(GenericSignalImpl<J1939Value> &signal, const QVariant &value, bool excluded = false)
{
    J1939Value sample;
    sample.rawValue = value;
    sample.scaledValue = value;
    sample.excluded = excluded;
    signal.setNewValue(sample, 1.0, 0.0);
    return signal;
}
}

class TestCalculator : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void emptyCalculator()
    {
        checkEmpty<double>();
        checkEmpty<float>();
        checkEmpty<qint8>();
        checkEmpty<quint64>();
    }

    void logFlagChangesNoStatistic()
    {
        StatisticCalculator<qint32> calculator{std::optional<int>()};
        QVERIFY(!calculator.logValues());
        calculator.addValue(4);
        calculator.setLogValues(true);
        QVERIFY(calculator.logValues());
        calculator.addValue(6);
        QVERIFY(calculator.getAverage() == 5.0);
        calculator.setLogValues(false);
        QVERIFY(!calculator.logValues());
    }

    void median_data()
    {
        QTest::addColumn<QList<double>>("values");
        QTest::addColumn<double>("expected");

        QTest::newRow("single") << QList<double>{4.5} << 4.5;
        QTest::newRow("oddUnsorted") << QList<double>{9.0, -1.0, 3.0, 7.0, 0.5} << 3.0;
        QTest::newRow("evenMeanOfMiddleTwo") << QList<double>{8.0, 1.0, 4.0, 2.0} << 3.0;
        QTest::newRow("evenWithDuplicates") << QList<double>{5.0, 5.0, 1.0, 5.0} << 5.0;
        QTest::newRow("infinitiesAtTheEnds") << QList<double>{infinity, 2.0, -infinity} << 2.0;
        QTest::newRow("nanSortsLastOdd") << QList<double>{notANumber, 1.0, 3.0} << 3.0;
        QTest::newRow("nanSortsLastEven") << QList<double>{2.0, notANumber, 1.0, 3.0} << 2.5;
        QTest::newRow("nanInTheMiddlePosition") << QList<double>{notANumber, notANumber, 1.0} << notANumber;
        QTest::newRow("onlyNans") << QList<double>{notANumber, notANumber} << notANumber;
    }

    void median()
    {
        QFETCH(QList<double>, values);
        QFETCH(double, expected);
        const double median = medianOf(values);
        if (std::isnan(expected)) {
            QVERIFY(std::isnan(median));
        } else {
            QVERIFY2(median == expected, qPrintable(QString::number(median)));
        }
    }

    void medianOfElementTypes()
    {
        QVERIFY(medianOf<qint32>({1, 2}) == 1.5);
        QVERIFY(medianOf<qint8>({127, -128}) == -0.5);
        QVERIFY(medianOf<quint8>({255, 0, 254}) == 254.0);
        QVERIFY(medianOf<float>({1.5f, std::numeric_limits<float>::quiet_NaN(), 0.5f}) == 1.5);
        // The middle two are averaged in double, so neither end overflows.
        QVERIFY(medianOf<qint64>({LLONG_MIN, LLONG_MAX}) == 0.0);
        QVERIFY(medianOf<quint64>({ULLONG_MAX, ULLONG_MAX}) == twoTo64);
    }

    // Population deviation, and digits kept for large values with a small spread.
    void againstTwoPassReference()
    {
        const quint32 seed = 20240611;
        QRandomGenerator random(seed);
        StatisticCalculator<double> calculator{std::optional<int>()};
        QList<double> values;
        for (int i = 0; i < 1001; ++i) {
            const double value = 1e6 + (random.generateDouble() - 0.5) * 200.0;
            values.append(value);
            calculator.addValue(value);
        }
        QList<double> sorted = values;
        std::sort(sorted.begin(), sorted.end());
        double mean = 0.0;
        for (double value : values) {
            mean += value;
        }
        mean /= values.size();
        double squares = 0.0;
        for (double value : values) {
            squares += (value - mean) * (value - mean);
        }
        const double deviation = std::sqrt(squares / values.size());
        const QByteArray seedNote = "seed " + QByteArray::number(seed);
        QVERIFY2(qAbs(calculator.getAverage() - mean) <= 1e-9, seedNote.constData());
        QVERIFY2(qAbs(calculator.getDeviation() - deviation) <= 1e-9, seedNote.constData());
        QVERIFY2(calculator.getMinimum() == sorted.first(), seedNote.constData());
        QVERIFY2(calculator.getMaximum() == sorted.last(), seedNote.constData());
        QVERIFY2(calculator.getMedian(values) == sorted.at(500), seedNote.constData());
    }

    void readAsElementType_data()
    {
        QTest::addColumn<int>("datatype");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<bool>("excluded");
        QTest::addColumn<double>("expected");

        const QVariant invalid;
        QTest::newRow("type2Qint8Wraps200") << 2 << QVariant(200) << true << -56.0;
        QTest::newRow("type18IsQint8LikeType2") << 18 << QVariant(200) << true << -56.0;
        QTest::newRow("qint8VariantTakenDirectly") << 2 << QVariant::fromValue<qint8>(-5) << true << -5.0;
        QTest::newRow("type3Qint16Wraps70000") << 3 << QVariant(70000) << true << 4464.0;
        QTest::newRow("type4Double2.4Gives2") << 4 << QVariant(2.4) << true << 2.0;
        // QVariant in Qt 5 rounds a double to the nearest integer.
        QTest::newRow("type4Double2.6Gives3") << 4 << QVariant(2.6) << true << 3.0;
        QTest::newRow("type16IsQint32") << 16 << QVariant(70000) << true << 70000.0;
        QTest::newRow("type5Quint8Wraps300") << 5 << QVariant(300) << true << 44.0;
        QTest::newRow("type6Quint16FromMinusOne") << 6 << QVariant(-1) << true << 65535.0;
        QTest::newRow("type22IsQuint32") << 22 << QVariant(-1) << true << 4294967295.0;
        QTest::newRow("type8FloatPrecision") << 8 << QVariant(2.4) << true << double(2.4f);
        QTest::newRow("type17IsDouble") << 17 << QVariant(2.4) << true << 2.4;
        QTest::newRow("type21Qint64Minimum") << 21 << QVariant(LLONG_MIN) << true << -9223372036854775808.0;
        QTest::newRow("type27Quint64MaxGives2To64") << 27 << QVariant(ULLONG_MAX) << true << twoTo64;
        QTest::newRow("type24ScaledQuint64Above2To63")
            << 24 << QVariant(Q_UINT64_C(9223372036854777856)) << false << 9223372036854777856.0;
        QTest::newRow("stringOfDigitsConverts") << 4 << QVariant(QStringLiteral("42")) << true << 42.0;
        QTest::newRow("lettersGiveZero") << 4 << QVariant(QStringLiteral("abc")) << true << 0.0;
        QTest::newRow("invalidAsQint8GivesZero") << 2 << invalid << true << 0.0;
        QTest::newRow("invalidAsFloatGivesZero") << 8 << invalid << true << 0.0;
        QTest::newRow("invalidAsDoubleGivesZero") << 0 << invalid << true << 0.0;
    }

    void readAsElementType()
    {
        QFETCH(int, datatype);
        QFETCH(QVariant, value);
        QFETCH(bool, excluded);
        QFETCH(double, expected);
        GenericSignalImpl<J1939Value> signal;
        feedScaled(signal, QVariant(99)); // forgotten when the data type brings a new calculator
        signal.setDatatype(static_cast<CAN::CANopenDataType>(datatype));
        feedScaled(signal, value, excluded);
        QVERIFY2(signal.getMax() == expected, qPrintable(QString::number(signal.getMax(), 'g', 20)));
        QVERIFY(signal.getMin() == expected);
        QVERIFY(signal.calcAverage() == expected);
        QVERIFY(signal.getAverage() == expected);
    }

    void datatypeWithoutNumericType_data()
    {
        QTest::addColumn<int>("datatype");
        QTest::newRow("type1") << 1;
        QTest::newRow("type9") << 9;
        QTest::newRow("type19") << 19;
        QTest::newRow("type20") << 20;
        QTest::newRow("type26") << 26;
        QTest::newRow("type28") << 28;
        QTest::newRow("negative") << -1;
    }

    void datatypeWithoutNumericType()
    {
        QFETCH(int, datatype);
        GenericSignalImpl<CANopenObjectValue> signal;
        signal.setDatatype(static_cast<CAN::CANopenDataType>(0));
        CANopenObjectValue sample;
        for (double raw : {7.5, 2.5}) {
            sample.rawValue = raw;
            QVERIFY(signal.setNewValue(sample, 1.0, 0.0));
        }
        signal.setDatatype(static_cast<CAN::CANopenDataType>(datatype));
        QCOMPARE(int(signal.getDatatype()), datatype);
        QVERIFY(signal.calcAverage() == 5.0);
        QVERIFY(signal.getMax() == 7.5);
        // Still the double calculator: an integer one would take 1.5 as 2.
        sample.rawValue = 1.5;
        QVERIFY(signal.setNewValue(sample, 1.0, 0.0));
        QVERIFY(signal.getMin() == 1.5);
        QCOMPARE(signal.calcAverage(), 11.5 / 3.0);
    }

    void newObjectComputesInQint32UntilSetDatatype()
    {
        GenericSignalImpl<J1939Value> signal;
        feedScaled(feedScaled(signal, QVariant(2.4)), QVariant(2.6));
        QCOMPARE(signal.getValue().scaledValue, QVariant(2.6)); // scaled in double, data type 0
        QVERIFY(signal.getMin() == 2.0);
        QVERIFY(signal.getMax() == 3.0);
        QVERIFY(signal.calcAverage() == 2.5);

        signal.setDatatype(static_cast<CAN::CANopenDataType>(4));
        QVERIFY(signal.calcAverage() == 0.0);
        QVERIFY(signal.calcDeviation() == 0.0);
        QVERIFY(signal.getMax() == 0.0);
        QVERIFY(signal.getMin() == 0.0);

        signal.setDatatype(static_cast<CAN::CANopenDataType>(0));
        feedScaled(feedScaled(signal, QVariant(2.4)), QVariant(2.6));
        QVERIFY(signal.getMin() == 2.4);
        QVERIFY(signal.getMax() == 2.6);
    }
};

QTEST_GUILESS_MAIN(TestCalculator)
#include "tst_calculator.moc"
