// SPDX-License-Identifier: LGPL-2.1-or-later
#include "TestSupport.h"

#include <QtTest>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <random>
#include <vector>

using TestSupport::sample;

namespace
{
using Signal = GenericSignalImpl<J1939Value>;

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
        mean = std::accumulate(sorted.begin(), sorted.end(), 0.0L) / n;
        for (const long double v : sorted) {
            deviation += (v - mean) * (v - mean);
        }
        deviation = std::sqrt(deviation / n);
        median = n % 2 != 0 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
    }

    std::vector<long double> sorted;
    long double mean = 0, deviation = 0, median = 0;
};

bool near(double actual, long double expected, long double tolerance)
{
    return std::fabs(static_cast<long double>(actual) - expected) <= tolerance;
}
}

class TestStatistics : public QObject
{
    Q_OBJECT

private Q_SLOTS:
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
        const TestSupport::Capacity held(100);
        Signal signal;
        appendWithoutWorker(signal, static_cast<CAN::CANopenDataType>(type));
        std::mt19937 generator(seed);
        std::uniform_real_distribution<double> distribution(low, high);
        std::vector<long double> fed;
        for (int i = 0; i < count; ++i) {
            double x = distribution(generator);
            x = type == CAN::Real32 ? static_cast<float>(x) : (type == CAN::Real64 || type == 0 ? x : std::floor(x));
            fed.push_back(x);
            QVERIFY(signal.setNewValue(sample(x), 1.0, 0.0));
        }

        const Reference all(fed);
        const Reference history(std::vector<long double>(fed.end() - signal.getValueCount(), fed.end()));
        const long double scale = std::max({std::fabs(all.mean), all.deviation, 1.0L});
        double average = -1.0, median = -1.0, deviation = -1.0;
        unsigned int stored = 0;
        QVariant maximum, minimum;
        signal.getValueStatistics(average, maximum, minimum, median, deviation, stored);
        const QByteArray context = "seed " + QByteArray::number(seed);
        QVERIFY2(near(average, all.mean, 1e-12L * scale), context);
        QVERIFY2(near(deviation, all.deviation, 1e-9L * all.deviation), context);
        QVERIFY2(minimum.toDouble() == double(all.sorted.front()), context);
        QVERIFY2(maximum.toDouble() == double(all.sorted.back()), context);
        QVERIFY2(near(median, history.median, 1e-15L * scale), context);
        QCOMPARE(stored, unsigned(signal.getValueCount()));
        QCOMPARE(maximum.userType(), int(QMetaType::Double));
        QVERIFY(average == signal.calcAverage());
        QVERIFY(deviation == signal.calcDeviation());
        QVERIFY(average == signal.getAverage());
        QVERIFY(deviation == signal.getDeviation());
    }

    // Large values with a small spread lose digits in a naive running sum of
    // squares, and in a running mean that is not kept relative to a reference.
    void calculatorAccuracy()
    {
        constexpr quint64 seed = 20240611;
        std::mt19937_64 generator(seed);
        std::uniform_real_distribution<double> noise(0.0, 1.0);
        StatisticCalculator<double> calculator{std::optional<int>()};
        std::vector<long double> values(1000000);
        for (long double &value : values) {
            value = 1e9 + noise(generator);
            calculator.addValue(static_cast<double>(value));
        }
        const Reference reference(std::move(values));
        const QByteArray context = "seed " + QByteArray::number(seed);
        QVERIFY2(near(calculator.getAverage(), reference.mean, 1e-13L * reference.mean), context);
        QVERIFY2(near(calculator.getDeviation(), reference.deviation, 1e-12L * reference.deviation), context);
    }

    // A new signal reports data type 0 yet computes in qint32, where 10.4 and 20.4
    // enter as 10 and 20. A listed type brings a new, empty calculator of its own
    // element type (the probe 2.5 enters qint32 rounded, as 3); an unlisted one
    // changes nothing but the data type.
    void setDatatype_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<bool>("listed");
        QTest::addColumn<double>("probeMaximum");
        QTest::newRow("double0") << 0 << true << 2.5;
        QTest::newRow("sameQint32StillEmpties") << 4 << true << 3.0;
        QTest::newRow("unlisted28KeepsCalculator") << 28 << false << 20.0;
    }

    void setDatatype()
    {
        QFETCH(int, type);
        QFETCH(bool, listed);
        QFETCH(double, probeMaximum);
        Signal signal;
        QCOMPARE(int(signal.getDatatype()), 0);
        QVERIFY(signal.setNewValue(sample(10.4), 1.0, 0.0));
        QVERIFY(signal.setNewValue(sample(20.4), 1.0, 0.0));
        signal.setDatatype(static_cast<CAN::CANopenDataType>(type));
        QCOMPARE(int(signal.getDatatype()), type);
        QVERIFY(signal.calcAverage() == (listed ? 0.0 : 15.0));
        QVERIFY(signal.getAverage() == 15.0);
        QVERIFY(signal.getValueCount() == 1);
        QVERIFY(signal.getValue().rawValue == QVariant(20.4));
        QVERIFY(signal.setNewValue(sample(2.5, 2.5, true), 1.0, 0.0));
        QVERIFY2(signal.getMax() == probeMaximum, qPrintable(QString::number(signal.getMax())));
    }

    // The median exists under policy 2 only, over the history's scaled values, where
    // samples taken in unscaled count as zeros; the calculator has seen only the
    // scaled intakes since it was made, until a rebuild replays the history into it
    // and makes the newest sample the latest. A rebuild of an empty history stores
    // the empty statistics and keeps the latest sample.
    void historyAndCalculatorApart()
    {
        Signal signal;
        signal.setDatatype(CAN::Real64);
        QVERIFY(signal.setNewValue(sample(7), 1.0, 0.0));
        QVERIFY(signal.calcMedian() == 0.0);
        signal.clearValues();
        appendWithoutWorker(signal, CAN::Real64);
        QVERIFY(signal.calcMedian() == 0.0);
        QVERIFY(signal.setNewValue(sample(5)));
        QVERIFY(signal.setNewValue(sample(7)));
        for (int raw = 10; raw <= 30; raw += 10) {
            QVERIFY(signal.setNewValue(sample(raw), 1.0, 0.0));
        }
        QVERIFY(signal.calcMedian() == 10.0);
        QVERIFY(signal.calcAverage() == 20.0);
        QVERIFY(signal.setNewValue(sample(40), 1.0, 0.0));
        QVERIFY(signal.calcMedian() == 15.0);
        QVERIFY(signal.setNewValue(sample(9)));
        QVERIFY(signal.getValue().rawValue == QVariant(40));
        signal.rebuildStatisticsFromValues();
        QVERIFY(std::fabs(signal.calcAverage() - 100.0 / 7.0) < 1e-12);
        QVERIFY(signal.getAverage() == signal.calcAverage());
        QVERIFY(std::fabs(signal.getDeviation() - std::sqrt(11000.0) / 7.0) < 1e-12);
        QVERIFY(signal.getValue().rawValue == QVariant(9));
        QVERIFY(!signal.getValue().scaledValue.isValid());
        signal.clearValues();
        signal.rebuildStatisticsFromValues();
        QVERIFY(signal.getAverage() == 0.0);
        QVERIFY(signal.getDeviation() == 0.0);
        QVERIFY(signal.getValue().rawValue == QVariant(9));
    }
};

QTEST_GUILESS_MAIN(TestStatistics)
#include "tst_statistics.moc"
