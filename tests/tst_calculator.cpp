// SPDX-License-Identifier: LGPL-2.1-or-later
#include <Talveno/Talveno.h>

#include <QtTest>

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
}

class TestCalculator : public QObject
{
    Q_OBJECT

private Q_SLOTS:
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
        QVERIFY2(std::isnan(expected) ? std::isnan(median) : median == expected, qPrintable(QString::number(median)));
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

    // Excluded samples keep the scaled value they came with, so the calculator
    // reads exactly the given QVariant, without the scaling in between.
    void readAsElementType_data()
    {
        QTest::addColumn<int>("datatype");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<bool>("excluded");
        QTest::addColumn<double>("expected");

        QTest::newRow("type2Qint8Wraps200") << 2 << QVariant(200) << true << -56.0;
        QTest::newRow("type18IsQint8LikeType2") << 18 << QVariant(200) << true << -56.0;
        QTest::newRow("qint8VariantTakenDirectly") << 2 << QVariant::fromValue<qint8>(-5) << true << -5.0;
        QTest::newRow("type3Qint16Wraps70000") << 3 << QVariant(70000) << true << 4464.0;
        QTest::newRow("type4Double2.4Gives2") << 4 << QVariant(2.4) << true << 2.0;
        // QVariant in Qt 5 rounds a double to the nearest integer.
        QTest::newRow("type4Double2.6Gives3") << 4 << QVariant(2.6) << true << 3.0;
        QTest::newRow("type5Quint8Wraps300") << 5 << QVariant(300) << true << 44.0;
        QTest::newRow("type6Quint16FromMinusOne") << 6 << QVariant(-1) << true << 65535.0;
        QTest::newRow("type22Quint32FromMinusOne") << 22 << QVariant(-1) << true << 4294967295.0;
        QTest::newRow("type8FloatPrecision") << 8 << QVariant(2.4) << true << double(2.4f);
        QTest::newRow("type17IsDouble") << 17 << QVariant(2.4) << true << 2.4;
        QTest::newRow("type21Qint64Minimum") << 21 << QVariant(LLONG_MIN) << true << -9223372036854775808.0;
        QTest::newRow("type27Quint64MaxGives2To64") << 27 << QVariant(ULLONG_MAX) << true << twoTo64;
        QTest::newRow("type24ScaledQuint64Above2To63")
            << 24 << QVariant(Q_UINT64_C(9223372036854777856)) << false << 9223372036854777856.0;
        QTest::newRow("stringOfDigitsConverts") << 4 << QVariant(QStringLiteral("42")) << true << 42.0;
        QTest::newRow("lettersGiveZero") << 4 << QVariant(QStringLiteral("abc")) << true << 0.0;
        QTest::newRow("invalidAsQint8GivesZero") << 2 << QVariant() << true << 0.0;
        QTest::newRow("invalidAsFloatGivesZero") << 8 << QVariant() << true << 0.0;
    }

    void readAsElementType()
    {
        QFETCH(int, datatype);
        QFETCH(QVariant, value);
        QFETCH(bool, excluded);
        QFETCH(double, expected);

        GenericSignalImpl<J1939Value> signal;
        J1939Value sample;
        sample.rawValue = sample.scaledValue = QVariant(99);
        QVERIFY(signal.setNewValue(sample, 1.0, 0.0)); // forgotten when the data type brings a new calculator
        signal.setDatatype(static_cast<CAN::CANopenDataType>(datatype));
        sample.rawValue = sample.scaledValue = value;
        sample.excluded = excluded;
        QVERIFY(signal.setNewValue(sample, 1.0, 0.0));
        QVERIFY2(signal.getMax() == expected, qPrintable(QString::number(signal.getMax(), 'g', 20)));
        QVERIFY(signal.getMin() == expected);
        QVERIFY(signal.calcAverage() == expected && signal.getAverage() == expected);
    }
};

QTEST_GUILESS_MAIN(TestCalculator)
#include "tst_calculator.moc"
