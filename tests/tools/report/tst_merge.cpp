// SPDX-License-Identifier: LGPL-2.1-or-later
// Reports merged exactly: the pairwise update, whatever the sizes and means.
#include "Merge.h"

#include <QTest>

#include <cmath>
#include <random>
#include <vector>

namespace
{
// Count, extremes, mean and sum of squared deviations, in two passes in extended precision.
SignalSnapshot described(const std::vector<double> &values)
{
    long double mean = 0;
    long double m2 = 0;
    for (const double x : values) {
        mean += x;
    }
    mean /= static_cast<long double>(values.size());
    for (const double x : values) {
        m2 += (x - mean) * (x - mean);
    }
    SignalSnapshot s;
    s.decodedSamples = values.size();
    s.liveAverage = static_cast<double>(mean);
    s.m2 = static_cast<double>(m2);
    s.deviation = static_cast<double>(std::sqrt(m2 / static_cast<long double>(values.size())));
    s.minimum = *std::min_element(values.cbegin(), values.cend());
    s.maximum = *std::max_element(values.cbegin(), values.cend());
    return s;
}
}

class TestMerge : public QObject
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
        std::mt19937 generator(1);
        std::normal_distribution<double> bigValues(bigMean, 1.0);
        std::normal_distribution<double> smallValues(smallMean, 0.5);
        std::vector<double> all(static_cast<std::size_t>(bigCount + smallCount));
        for (std::size_t i = 0; i < all.size(); ++i) {
            all[i] = i < static_cast<std::size_t>(bigCount) ? bigValues(generator) : smallValues(generator);
        }
        const auto split = all.cbegin() + bigCount;
        const SignalSnapshot whole = described(all);

        SignalSnapshot merged;
        mergeStatistics(merged, described({split, all.cend()}));
        mergeStatistics(merged, described({all.cbegin(), split}));
        mergeStatistics(merged, SignalSnapshot()); // adds nothing, not even a minimum of 0
        QCOMPARE(merged.decodedSamples, whole.decodedSamples);
        QVERIFY(merged.minimum == whole.minimum && merged.maximum == whole.maximum);
        const auto relative = [](double got, double want) {
            return std::fabs(got / want - 1.0);
        };
        QVERIFY2(relative(merged.liveAverage, whole.liveAverage) < 1e-12,
                 qPrintable(QString::number(merged.liveAverage)));
        QVERIFY2(relative(merged.m2, whole.m2) < 1e-12, qPrintable(QString::number(merged.m2)));
        QVERIFY(relative(merged.deviation, whole.deviation) < 1e-12);
    }
};

QTEST_GUILESS_MAIN(TestMerge)
#include "tst_merge.moc"
