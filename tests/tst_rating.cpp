// SPDX-License-Identifier: LGPL-2.1-or-later
#include "TestSupport.h"

#include <QTest>

#include <limits>

namespace
{
const double nan = std::numeric_limits<double>::quiet_NaN();

// Policy 1 throughout: appendValues ignores it, and no worker rewrites the cached
// statistics.
void appendScaled(GenericSignalImpl<J1939Value> &signal, const QVector<QVariant> &scaledValues)
{
    QVector<J1939Value> samples;
    for (const QVariant &value : scaledValues) {
        samples.append(TestSupport::sample(0, value, true));
    }
    signal.appendValues(samples, 1.0, 0.0);
}

// Leaves the statistics of the given history cached over an empty history: the
// band must come from the cached statistics, not the live ones of the rated history.
void cacheStatistics(GenericSignalImpl<J1939Value> &signal, const QVector<QVariant> &scaledValues)
{
    appendScaled(signal, scaledValues);
    signal.rebuildStatisticsFromValues();
    signal.clearValues();
}
}

class TestRating : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void getRating_fixedLimits_data()
    {
        QTest::addColumn<double>("lower");
        QTest::addColumn<double>("upper");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<int>("rating");
        QTest::addColumn<int>("datatype");
        const auto row = [](const char *name, double lower, double upper, QVariant value, int rating, int type = 0) {
            QTest::newRow(name) << lower << upper << value << rating << type;
        };
        row("band0to8Value1LowerShoulder", 0, 8, 1.0, 50);
        row("band0to8Value7UpperShoulder", 0, 8, 7.0, 50);
        row("band0to8Value2InnerLowEdge", 0, 8, 2.0, 100);
        row("band0to8Value0OnLowerEdge", 0, 8, 0.0, 0);
        row("band0to8Value8OnUpperEdge", 0, 8, 8.0, 0);
        row("band0to8Value0.25HalfRoundsUp", 0, 8, 0.25, 13);
        row("band0to8Value0.015625RoundsTo1", 0, 8, 0.015625, 1);
        row("band10to20Value18", 10, 20, 18.0, 80);
        row("zeroWidthBandOwnValue", 5, 5, 5.0, 100);
        row("zeroWidthBandOtherValue", 5, 5, 5.5, 0);
        row("zeroWidthBandNaN", 5, 5, nan, 100);
        row("normalBandNaN", 0, 8, nan, 0);
        row("reversedLimits", 8, 0, 4.0, 0);
        // A quarter of these bands is exactly 1e-12 wide on the side of the value.
        row("lowerShoulderWidthOf1e-12RatesEdge100", 0, 4e-12, 0.0, 100);
        row("upperShoulderWidthOf1e-12RatesEdge100", -4e-12, 0, 0.0, 100);
        row("shoulderWidthAbove1e-12", 5, 5 + 8e-12, 5 + 8e-12, 0);
        row("type26HasNoNumericType", 0, 8, 100.0, 100, 26);
        // float goes through valueToFloat(true): 0.1 as float lies 1.49e-9 above 0.1.
        row("type8ReadsFloat", 0.1, 0.1 + 1e-8, 0.1, 60, 8);
        row("type0ReadsDouble", 0.1, 0.1 + 1e-8, 0.1, 0, 0);
        row("type8ConvertsString", 0, 8, QStringLiteral("7"), 50, 8);
        // The integer types read the scaled value as QVariant::value<N>() does.
        row("type2Reads200AsQint8", -60, -52, 200, 100, 2);
        row("type0UnconvertibleIsZero", -4, 4, QStringLiteral("x"), 100, 0);
    }

    void getRating_fixedLimits()
    {
        QFETCH(double, lower);
        QFETCH(double, upper);
        QFETCH(QVariant, value);
        QFETCH(int, rating);
        QFETCH(int, datatype);
        GenericSignalImpl<J1939Value> signal;
        signal.setDatatype(static_cast<CAN::CANopenDataType>(datatype));
        appendScaled(signal, {1000, value});
        QCOMPARE(int(signal.getRating(1.0, true, lower, upper)), rating);
        QCOMPARE(int(signal.getRating(-7.0, true, lower, upper)), rating); // the factor is ignored
    }

    void getRating_derivedBand_data()
    {
        QTest::addColumn<QVector<QVariant>>("statistics");
        QTest::addColumn<double>("factor");
        QTest::addColumn<double>("value");
        QTest::addColumn<int>("rating");
        // Average 10, deviation 2: factor 1 gives 8..12 with the inner half 9..11.
        QTest::newRow("factor1InnerHalf") << QVector<QVariant>{8, 12} << 1.0 << 11.0 << 100;
        QTest::newRow("factor1.5UpperShoulder") << QVector<QVariant>{8, 12} << 1.5 << 12.0 << 67;
        QTest::newRow("negativeFactor") << QVector<QVariant>{8, 12} << -1.0 << 10.0 << 0;
        QTest::newRow("zeroDeviationOwnValue") << QVector<QVariant>{5, 5} << 3.0 << 5.0 << 100;
    }

    void getRating_derivedBand()
    {
        QFETCH(QVector<QVariant>, statistics);
        QFETCH(double, factor);
        QFETCH(double, value);
        GenericSignalImpl<J1939Value> signal;
        cacheStatistics(signal, statistics);
        appendScaled(signal, {0, value});
        QTEST(int(signal.getRating(factor, false, 1000.0, 2000.0)), "rating");
    }

    // Under two samples every value rates 100; the thresholds answer from the cached
    // statistics, also over an empty history.
    void shortHistoryAndThresholds()
    {
        GenericSignalImpl<J1939Value> signal;
        QCOMPARE(int(signal.getRating(1.0, true, 0.0, 8.0)), 100);
        QVERIFY(signal.getDeviators(1.0).isEmpty());
        appendScaled(signal, {50});
        QCOMPARE(int(signal.getRating(1.0, true, 0.0, 8.0)), 100);
        signal.clearValues();
        cacheStatistics(signal, {8, 12});
        QVERIFY(signal.getLowerThreshold(1.0) == 8.0);
        QVERIFY(signal.getUpperThreshold(1.0) == 12.0);
    }

    // Average 10, deviation 2 cached; the history's scaled values 7, 8, NaN, 10, 12,
    // 13 from raw values inside the band (factor 2): the scaled ones are tested.
    // The excluded last sample counts all the same.
    void getDeviators_data()
    {
        QTest::addColumn<double>("factor");
        QTest::addColumn<QVector<double>>("deviators");
        QTest::newRow("factor1StrictOnThresholds") << 1.0 << QVector<double>{7, 13};
        QTest::newRow("factor0AllButAverage") << 0.0 << QVector<double>{7, 8, 12, 13};
        QTest::newRow("factor1.5BandHoldsAll") << 1.5 << QVector<double>{};
        QTest::newRow("negativeFactorEveryNumber") << -1.0 << QVector<double>{7, 8, 10, 12, 13};
    }

    void getDeviators()
    {
        QFETCH(double, factor);
        GenericSignalImpl<J1939Value> signal;
        cacheStatistics(signal, {8, 12});
        QVector<J1939Value> history;
        for (const double raw : {3.5, 4.0, nan, 5.0, 6.0}) {
            history.append(TestSupport::sample(raw));
        }
        history.append(TestSupport::sample(0.0, 13.0, true));
        signal.appendValues(history, 2.0, 0.0);
        QVector<double> found;
        for (const J1939Value &sample : signal.getDeviators(factor)) {
            found.append(sample.scaledValue.toDouble());
        }
        QTEST(found, "deviators");
    }
};

QTEST_GUILESS_MAIN(TestRating)
#include "tst_rating.moc"
