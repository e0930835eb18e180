// SPDX-License-Identifier: LGPL-2.1-or-later
#include <Talveno/Talveno.h>

#include <QTest>

#include <limits>

namespace
{
const double nan = std::numeric_limits<double>::quiet_NaN();

// Excluded samples keep the scaled value they bring under every data type with a
// numeric type, so the history holds exactly the values a row names. Policy 1
// throughout: appendValues ignores it, and no worker rewrites the cached statistics.
void appendScaled(GenericSignalImpl<J1939Value> &signal, const QVector<QVariant> &scaledValues)
{
    QVector<J1939Value> samples;
    for (const QVariant &value : scaledValues) {
        J1939Value sample;
        sample.rawValue = 0;
        sample.scaledValue = value;
        sample.excluded = true;
        samples.append(sample);
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
        row("shoulderWidthBelow1e-12RatesEdge100", 5, 5 + 2e-12, 5 + 2e-12, 100);
        row("shoulderWidthAbove1e-12", 5, 5 + 8e-12, 5 + 8e-12, 0);
        for (const int type : {1, 9, 26, 40, -1}) {
            row(qPrintable(QStringLiteral("type%1HasNoNumericType").arg(type)), 0, 8, 100.0, 100, type);
        }
        // float goes through valueToFloat(true): 0.1 as float lies 1.49e-9 above 0.1.
        row("type8ReadsFloat", 0.1, 0.1 + 1e-8, 0.1, 60, 8);
        row("type0ReadsDouble", 0.1, 0.1 + 1e-8, 0.1, 0, 0);
        row("type8ConvertsString", 0, 8, QStringLiteral("7"), 50, 8);
        // The integer types read the scaled value as QVariant::value<N>() does.
        row("type2Reads200AsQint8", -60, -52, 200, 100, 2);
        row("type5ReadsMinus1AsQuint8", 251, 259, -1, 100, 5);
        row("type3ReadsDoubleAsQint16", 0, 8, 6.6, 50, 3);
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
        const auto row = [](const char *name, QVector<QVariant> statistics, double factor, double value, int rating) {
            QTest::newRow(name) << statistics << factor << value << rating;
        };
        // Average 10, deviation 2: factor 1 gives 8..12 with the inner half 9..11.
        row("factor1InnerHalf", {8, 12}, 1, 11, 100);
        row("factor1OnEdge", {8, 12}, 1, 12, 0);
        row("factor1.5UpperShoulder", {8, 12}, 1.5, 12, 67);
        row("negativeFactor", {8, 12}, -1, 10, 0);
        row("zeroDeviationOwnValue", {5, 5}, 3, 5, 100);
        row("zeroDeviationOtherValue", {5, 5}, 3, 6, 0);
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

    // Under two samples every value rates 100; thresholds of the empty statistics are 0.
    void shortHistoryAndThresholds()
    {
        GenericSignalImpl<J1939Value> signal;
        QCOMPARE(int(signal.getRating(1.0, true, 0.0, 8.0)), 100);
        QVERIFY(signal.getDeviators(1.0).isEmpty() && signal.getUpperThreshold(1.0) == 0.0);
        appendScaled(signal, {50});
        QCOMPARE(int(signal.getRating(1.0, true, 0.0, 8.0)), 100);
        signal.clearValues();
        cacheStatistics(signal, {8, 12});
        QVERIFY(signal.getLowerThreshold(1.0) == 8.0 && signal.getUpperThreshold(1.0) == 12.0);
        QVERIFY(signal.getLowerThreshold(0.5) == 9.0);
        QVERIFY(signal.getLowerThreshold(-1.0) == 12.0 && signal.getUpperThreshold(-1.0) == 8.0);
    }

    void getDeviators_data()
    {
        QTest::addColumn<double>("factor");
        QTest::addColumn<QVector<int>>("deviators");
        // Indices into the history of getDeviators(): scaled 7, 8, NaN, 10, 12, 13.
        QTest::newRow("factor1StrictOnThresholds") << 1.0 << QVector<int>{0, 5};
        QTest::newRow("factor0AllButAverage") << 0.0 << QVector<int>{0, 1, 4, 5};
        QTest::newRow("factor1.5BandHoldsAll") << 1.5 << QVector<int>{};
        QTest::newRow("negativeFactorEveryNumber") << -1.0 << QVector<int>{0, 1, 3, 4, 5};
    }

    void getDeviators()
    {
        QFETCH(double, factor);
        GenericSignalImpl<J1939Value> signal;
        cacheStatistics(signal, {8, 12}); // average 10, deviation 2
        // Scaled with factor 2: the raw values lie inside the band, the scaled ones
        // are what is tested. The excluded last sample counts all the same.
        const double raws[] = {3.5, 4.0, nan, 5.0, 6.0, 0.0};
        QVector<J1939Value> history;
        for (int i = 0; i < 6; ++i) {
            J1939Value sample;
            sample.rawValue = raws[i];
            sample.auxInt = i;
            sample.excluded = i == 5;
            sample.scaledValue = sample.excluded ? QVariant(13.0) : QVariant();
            history.append(sample);
        }
        signal.appendValues(history, 2.0, 0.0);
        QVector<int> found;
        for (const J1939Value &sample : signal.getDeviators(factor)) {
            found.append(sample.auxInt);
        }
        QTEST(found, "deviators");
    }
};

QTEST_GUILESS_MAIN(TestRating)
#include "tst_rating.moc"
