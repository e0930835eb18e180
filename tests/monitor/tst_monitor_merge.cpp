// SPDX-License-Identifier: LGPL-2.1-or-later
// Reports merged exactly: the pairwise update, whatever the sizes and means.
#include "Merge.h"

#include <QTest>

#include <cmath>
#include <random>
#include <vector>

namespace
{
struct Reference
{
    long double mean = 0;
    long double m2 = 0;
};

// Two passes in extended precision.
Reference reference(const std::vector<double> &values)
{
    Reference r;
    for (const double x : values) {
        r.mean += x;
    }
    r.mean /= static_cast<long double>(values.size());
    for (const double x : values) {
        r.m2 += (x - r.mean) * (x - r.mean);
    }
    return r;
}

SignalSnapshot described(const std::vector<double> &values)
{
    const Reference r = reference(values);
    SignalSnapshot s;
    s.decodedSamples = values.size();
    s.liveAverage = static_cast<double>(r.mean);
    s.m2 = static_cast<double>(r.m2);
    s.minimum = *std::min_element(values.cbegin(), values.cend());
    s.maximum = *std::max_element(values.cbegin(), values.cend());
    return s;
}

std::vector<double> noisy(std::size_t count, double mean, double spread, unsigned seed)
{
    std::mt19937 generator(seed);
    std::normal_distribution<double> distribution(mean, spread);
    std::vector<double> values(count);
    for (double &x : values) {
        x = distribution(generator);
    }
    return values;
}
}

class TestMonitorMerge : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void mergeStatistics_keepsDigits_data()
    {
        QTest::addColumn<int>("bigCount");
        QTest::addColumn<double>("bigMean");
        QTest::addColumn<int>("smallCount");
        QTest::addColumn<double>("smallMean");
        QTest::newRow("sameSizesNearMeans") << 1000 << 100.0 << 1000 << 101.0;
        QTest::newRow("millionBesideThree") << 1000000 << 1e9 << 3 << -1e3;
        QTest::newRow("farMeansSmallSpread") << 100000 << 1e12 << 100000 << 1.0;
    }

    void mergeStatistics_keepsDigits()
    {
        QFETCH(int, bigCount);
        QFETCH(double, bigMean);
        QFETCH(int, smallCount);
        QFETCH(double, smallMean);
        const std::vector<double> big = noisy(static_cast<std::size_t>(bigCount), bigMean, 1.0, 1);
        const std::vector<double> small = noisy(static_cast<std::size_t>(smallCount), smallMean, 0.5, 2);
        std::vector<double> all = big;
        all.insert(all.end(), small.cbegin(), small.cend());
        const Reference whole = reference(all);

        SignalSnapshot merged;
        mergeStatistics(merged, described(small));
        mergeStatistics(merged, described(big));
        QCOMPARE(merged.decodedSamples, quint64(all.size()));
        QVERIFY(merged.minimum == *std::min_element(all.cbegin(), all.cend()));
        const auto relative = [](long double got, long double want) {
            return std::fabs(got / want - 1.0L);
        };
        QVERIFY2(relative(merged.liveAverage, whole.mean) < 1e-12L, qPrintable(QString::number(merged.liveAverage)));
        QVERIFY2(relative(merged.m2, whole.m2) < 1e-12L, qPrintable(QString::number(merged.m2)));
        QVERIFY(relative(merged.deviation, std::sqrt(whole.m2 / all.size())) < 1e-12L);
    }
};

QTEST_GUILESS_MAIN(TestMonitorMerge)
#include "tst_monitor_merge.moc"
