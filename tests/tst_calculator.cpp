// SPDX-License-Identifier: LGPL-2.1-or-later
#include <Talveno/Talveno.h>

#include <QtTest>

#include <algorithm>
#include <climits>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

namespace
{
const double notANumber = std::numeric_limits<double>::quiet_NaN();
const double infinity = std::numeric_limits<double>::infinity();
const double twoTo64 = 18446744073709551616.0;

template<typename N>
double medianOf(const QList<N> &values)
{
    return StatisticCalculator<N>{std::optional<int>()}.getMedian(values);
}
}

class TestCalculator : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // NaNs sort above every number; infinities are numbers.
    void median_data()
    {
        QTest::addColumn<QList<double>>("values");
        QTest::addColumn<double>("expected");

        QTest::newRow("nanSortsLast") << QList<double>{2.0, notANumber, 1.0, 3.0} << 2.5;
        QTest::newRow("nanInTheMiddlePosition") << QList<double>{notANumber, notANumber, 1.0} << notANumber;
        QTest::newRow("infinitiesAreNumbers") << QList<double>{infinity, 1.0, notANumber, -infinity, 3.0} << 3.0;
    }

    void median()
    {
        QFETCH(QList<double>, values);
        QFETCH(double, expected);
        const double median = medianOf(values);
        QVERIFY2(std::isnan(expected) ? std::isnan(median) : median == expected, qPrintable(QString::number(median)));
    }

    // Every count up to 40 in many orders, against a sorted copy: the selection
    // leaves the lower half in an order of its own, so the lower middle may lie
    // anywhere in it, also behind the last whole group of four.
    void medianMatchesSortedCopy()
    {
        constexpr unsigned int seed = 7;
        std::mt19937 generator(seed);
        for (int count = 1; count <= 40; ++count) {
            for (int round = 0; round < 20; ++round) {
                QList<qint32> values;
                for (int i = 0; i < count; ++i) {
                    values.append(qint32(generator() % 1000));
                }
                std::vector<qint32> sorted(values.cbegin(), values.cend());
                std::sort(sorted.begin(), sorted.end());
                const int half = count / 2;
                const double expected = count % 2 != 0 ? sorted[half] : (sorted[half - 1] + sorted[half]) / 2.0;
                QVERIFY2(medianOf(values) == expected,
                         qPrintable(QStringLiteral("count %1, round %2, seed %3").arg(count).arg(round).arg(seed)));
            }
        }
    }

    // The middle two are averaged in double, so neither end overflows; float has
    // its own test for NaN.
    void medianOfElementTypes()
    {
        QVERIFY(medianOf<float>({2.0f, std::numeric_limits<float>::quiet_NaN(), 1.0f, 3.0f}) == 2.5);
        QVERIFY(medianOf<qint8>({127, -128}) == -0.5);
        QVERIFY(medianOf<qint64>({LLONG_MIN, LLONG_MAX}) == 0.0);
        QVERIFY(medianOf<quint64>({ULLONG_MAX, ULLONG_MAX}) == twoTo64);
    }

    // Excluded samples keep the scaled value they came with, so the calculator
    // reads exactly the given QVariant, without the scaling in between.
    void readAsElementType_data()
    {
        QTest::addColumn<int>("datatype");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<double>("expected");

        // clang-format off
        QTest::newRow("type2Qint8Wraps200") << 2 << QVariant(200) << -56.0;
        QTest::newRow("qint8VariantTakenDirectly") << 2 << QVariant::fromValue<qint8>(-5) << -5.0;
        QTest::newRow("type3Qint16Wraps70000") << 3 << QVariant(70000) << 4464.0;
        // QVariant in Qt 5 rounds a double to the nearest integer.
        QTest::newRow("type4Double2.6Gives3") << 4 << QVariant(2.6) << 3.0;
        QTest::newRow("type5Quint8Wraps300") << 5 << QVariant(300) << 44.0;
        QTest::newRow("type6Quint16FromMinusOne") << 6 << QVariant(-1) << 65535.0;
        QTest::newRow("type22Quint32FromMinusOne") << 22 << QVariant(-1) << 4294967295.0;
        QTest::newRow("type8FloatPrecision") << 8 << QVariant(2.4) << double(2.4f);
        QTest::newRow("type21Qint64Minimum") << 21 << QVariant(LLONG_MIN) << -9223372036854775808.0;
        QTest::newRow("type27Quint64MaxGives2To64") << 27 << QVariant(ULLONG_MAX) << twoTo64;
        QTest::newRow("type24Quint64Above2To63") << 24 << QVariant(Q_UINT64_C(9223372036854777856)) << 9223372036854777856.0;
        QTest::newRow("stringOfDigitsConverts") << 4 << QVariant(QStringLiteral("42")) << 42.0;
        QTest::newRow("lettersGiveZero") << 4 << QVariant(QStringLiteral("abc")) << 0.0;
        QTest::newRow("invalidGivesZero") << 2 << QVariant() << 0.0;
        // clang-format on
    }

    void readAsElementType()
    {
        QFETCH(int, datatype);
        QFETCH(QVariant, value);
        QFETCH(double, expected);

        GenericSignalImpl<J1939Value> signal;
        signal.setDatatype(static_cast<CAN::CANopenDataType>(datatype));
        J1939Value sample;
        sample.rawValue = sample.scaledValue = value;
        sample.excluded = true;
        QVERIFY(signal.setNewValue(sample, 1.0, 0.0));
        QVERIFY2(signal.getMax() == expected, qPrintable(QString::number(signal.getMax(), 'g', 20)));
        QVERIFY(signal.getMin() == expected);
        QVERIFY(signal.calcAverage() == expected);
        QVERIFY(signal.getAverage() == expected);
    }
};

QTEST_GUILESS_MAIN(TestCalculator)
#include "tst_calculator.moc"
