// SPDX-License-Identifier: LGPL-2.1-or-later
#include <Talveno/Talveno.h>

#include <Quillon/StatisticCalculator.h>

#include <QtTest>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace
{
using Signal = GenericSignalImpl<J1939Value>;

J1939Value sample(const QVariant &raw, const QVariant &scaled = QVariant(), bool excluded = false)
{
    J1939Value value;
    value.rawValue = raw;
    value.scaledValue = scaled;
    value.excluded = excluded;
    return value;
}

// Policy 2 without the worker, so that nothing refreshes the cached statistics
// behind the test's back.
void appendWithoutWorker(Signal &signal, CAN::CANopenDataType type)
{
    signal.setDatatype(type);
    signal.setValueHandling(GenericSignal::Append);
    signal.setUpdatingEnabled(false);
}

// Naive two-pass statistics in long double over a sorted copy.
struct Reference
{
    explicit Reference(std::vector<long double> values)
        : sorted(std::move(values))
    {
        std::sort(sorted.begin(), sorted.end());
        const size_t n = sorted.size();
        long double sum = 0, squares = 0;
        for (long double v : sorted) {
            sum += v;
        }
        mean = sum / n;
        for (long double v : sorted) {
            squares += (v - mean) * (v - mean);
        }
        deviation = std::sqrt(squares / n);
        median = n % 2 != 0 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
    }

    std::vector<long double> sorted;
    long double mean;
    long double deviation;
    long double median;
};

bool near(double actual, long double expected, long double relative, long double scale)
{
    return std::fabs(static_cast<long double>(actual) - expected) <= relative * scale;
}
}

class TestStatistics : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup()
    {
        GenericSignal::setMaxValueCount(1000);
    }

    // More samples than the capacity: the calculator sees all, the median only the history.
    void againstReference_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<double>("low");
        QTest::addColumn<double>("high");
        QTest::addColumn<int>("count");
        QTest::addColumn<quint32>("seed");
        QTest::newRow("doubleEvenHistory") << int(CAN::Real64) << -1e3 << 1e3 << 500 << 11u;
        QTest::newRow("doubleOddHistory") << 0 << 1e6 << 1e6 + 1.0 << 501 << 12u;
        QTest::newRow("qint32") << int(CAN::Integer32) << -1e6 << 1e6 << 501 << 13u;
        QTest::newRow("quint8") << int(CAN::Unsigned8) << 0.0 << 255.0 << 500 << 14u;
        QTest::newRow("qint64") << int(CAN::Integer64) << -1e12 << 1e12 << 500 << 15u;
        QTest::newRow("float") << int(CAN::Real32) << -50.0 << 50.0 << 501 << 16u;
    }

    void againstReference()
    {
        QFETCH(int, type);
        QFETCH(double, low);
        QFETCH(double, high);
        QFETCH(int, count);
        QFETCH(quint32, seed);
        GenericSignal::setMaxValueCount(100);
        Signal signal;
        appendWithoutWorker(signal, static_cast<CAN::CANopenDataType>(type));
        std::mt19937 generator(seed);
        std::uniform_real_distribution<double> distribution(low, high);
        std::vector<long double> fed;
        for (int i = 0; i < count; ++i) {
            double x = distribution(generator);
            x = type == CAN::Real32 ? static_cast<float>(x) : (type == CAN::Real64 || type == 0 ? x : std::floor(x));
            fed.push_back(x);
            QVERIFY(signal.setNewValue(sample(QVariant(x)), 1.0, 0.0));
        }

        const Reference all(fed);
        const int stored = signal.getValueCount();
        const Reference history(std::vector<long double>(fed.end() - stored, fed.end()));
        const long double scale = std::max({std::fabs(all.mean), all.deviation, 1.0L});
        const QByteArray context = "seed " + QByteArray::number(seed);
        QVERIFY2(near(signal.calcAverage(), all.mean, 1e-12L, scale), context);
        QVERIFY2(near(signal.calcDeviation(), all.deviation, 1e-9L, all.deviation), context);
        QVERIFY2(signal.getMin() == static_cast<double>(all.sorted.front()), context);
        QVERIFY2(signal.getMax() == static_cast<double>(all.sorted.back()), context);
        QVERIFY2(near(signal.calcMedian(), history.median, 1e-15L, scale), context);
        QVERIFY2(signal.getAverage() == signal.calcAverage() && signal.getDeviation() == signal.calcDeviation(),
                 context);

        double average = -1.0, median = -1.0, deviation = -1.0;
        unsigned int statisticsCount = 0;
        QVariant maximum, minimum;
        signal.getValueStatistics(average, maximum, minimum, median, deviation, statisticsCount);
        QCOMPARE(statisticsCount, static_cast<unsigned int>(stored));
        QVERIFY(average == signal.calcAverage() && deviation == signal.calcDeviation()
                && median == signal.calcMedian());
        QCOMPARE(maximum.userType(), int(QMetaType::Double));
        QVERIFY(maximum.toDouble() == signal.getMax() && minimum.toDouble() == signal.getMin());
    }

    // Type 0 on a new object still computes in qint32 until setDatatype(0) is called.
    void newSignalComputesInQint32()
    {
        Signal signal;
        QCOMPARE(int(signal.getDatatype()), 0);
        QVERIFY(signal.setNewValue(sample(QVariant(2.4)), 1.0, 0.0));
        QVERIFY(signal.setNewValue(sample(QVariant(2.6)), 1.0, 0.0));
        QVERIFY(signal.getMin() == QVariant(2.4).value<qint32>() && signal.getMax() == QVariant(2.6).value<qint32>());
        signal.setDatatype(static_cast<CAN::CANopenDataType>(0));
        QVERIFY(signal.setNewValue(sample(QVariant(2.4)), 1.0, 0.0));
        QVERIFY(signal.calcAverage() == 2.4);
    }

    void setDatatype_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<bool>("listed");
        QTest::addColumn<double>("probeMaximum");
        QTest::newRow("double0") << 0 << true << 2.5;
        // The probe 2.5 enters a whole-number calculator as QVariant converts it.
        QTest::newRow("sameQint32StillEmpties") << 4 << true << double(QVariant(2.5).value<qint32>());
        for (const int type : {1, 9, 19, 20, 26, 28, -4}) {
            QTest::addRow("unlisted%d", type) << type << false << 20.0;
        }
    }

    void setDatatype()
    {
        QFETCH(int, type);
        QFETCH(bool, listed);
        QFETCH(double, probeMaximum);
        Signal signal;
        signal.setDatatype(CAN::Integer32);
        QVERIFY(signal.setNewValue(sample(QVariant(10)), 1.0, 0.0));
        QVERIFY(signal.setNewValue(sample(QVariant(20)), 1.0, 0.0));

        signal.setDatatype(static_cast<CAN::CANopenDataType>(type));
        QCOMPARE(int(signal.getDatatype()), type);
        QVERIFY(signal.calcAverage() == (listed ? 0.0 : 15.0) && signal.getAverage() == 15.0);
        QCOMPARE(signal.getValueCount(), 1);
        QVERIFY(signal.getValue().rawValue == QVariant(20));

        // Excluded keeps the scaled 2.5 under a numeric type; without one the raw 2.5
        // is copied. Either way the calculator is fed 2.5 in its own element type.
        QVERIFY(signal.setNewValue(sample(QVariant(2.5), QVariant(2.5), true), 1.0, 0.0));
        QVERIFY2(signal.getMax() == probeMaximum, qPrintable(QString::number(signal.getMax())));
    }

    void rebuildReplaysHistory()
    {
        Signal signal;
        appendWithoutWorker(signal, CAN::Real64);
        for (int raw = 1; raw <= 3; ++raw) {
            QVERIFY(signal.setNewValue(sample(QVariant(raw)), 1.0, 0.0));
        }
        signal.setDatatype(CAN::Real64);
        signal.appendValues({sample(QVariant(4)), sample(QVariant(5))}, 1.0, 0.0);
        QVERIFY(signal.calcAverage() == 0.0 && signal.getValue().rawValue == QVariant(3));

        signal.rebuildStatisticsFromValues();
        QVERIFY(signal.calcAverage() == 3.0 && signal.getAverage() == 3.0);
        QVERIFY(signal.getDeviation() == signal.calcDeviation());
        QVERIFY(std::fabs(signal.getDeviation() - std::sqrt(2.0)) < 1e-15);
        QVERIFY(signal.getValue().rawValue == QVariant(5) && signal.getValue().scaledValue == QVariant(5.0));

        // On an empty history the rebuild stores the empty statistics and keeps the latest sample.
        signal.clearValues();
        signal.rebuildStatisticsFromValues();
        QVERIFY(signal.getAverage() == 0.0 && signal.getDeviation() == 0.0);
        QVERIFY(signal.getValue().rawValue == QVariant(5));
    }

    void medianByPolicy()
    {
        Signal signal;
        signal.setDatatype(CAN::Real64);
        QVERIFY(signal.setNewValue(sample(QVariant(7)), 1.0, 0.0));
        QVERIFY(signal.calcMedian() == 0.0);

        signal.clearValues();
        appendWithoutWorker(signal, CAN::Real64);
        QVERIFY(signal.calcMedian() == 0.0);
        // Samples taken in without scaling have no scaled value and count as zeros.
        QVERIFY(signal.setNewValue(sample(QVariant(5))) && signal.setNewValue(sample(QVariant(7))));
        for (int raw = 10; raw <= 30; raw += 10) {
            QVERIFY(signal.setNewValue(sample(QVariant(raw)), 1.0, 0.0));
        }
        QVERIFY(signal.calcMedian() == 10.0);
        QVERIFY(signal.setNewValue(sample(QVariant(40)), 1.0, 0.0));
        QVERIFY(signal.calcMedian() == 15.0);
        signal.rebuildStatisticsFromValues();
        QVERIFY(std::fabs(signal.calcAverage() - 100.0 / 6.0) < 1e-12);
    }

    // Large values with a small spread lose digits in a naive running sum of squares:
    // 1e9 plus noise, and 1e8 plus and minus 1 in turn.
    void calculatorAccuracy()
    {
        constexpr int count = 1000000;
        constexpr quint64 seed = 20240611;
        for (const bool noisy : {true, false}) {
            std::mt19937_64 generator(seed);
            std::uniform_real_distribution<double> noise(0.0, 1.0);
            StatisticCalculator<double> calculator{std::optional<int>()};
            std::vector<long double> values(count);
            for (int i = 0; i < count; ++i) {
                values[i] = noisy ? 1e9 + noise(generator) : (i % 2 == 0 ? 1e8 + 1.0 : 1e8 - 1.0);
                calculator.addValue(static_cast<double>(values[i]));
            }
            const Reference reference(std::move(values));
            const QByteArray context = (noisy ? "noisy, seed " : "alternating, seed ") + QByteArray::number(seed);
            QVERIFY2(near(calculator.getAverage(), reference.mean, 1e-13L, reference.mean), context);
            QVERIFY2(near(calculator.getDeviation(), reference.deviation, 1e-12L, reference.deviation), context);
        }
    }
};

QTEST_GUILESS_MAIN(TestStatistics)
#include "tst_statistics.moc"
