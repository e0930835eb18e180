// SPDX-License-Identifier: LGPL-2.1-or-later
#include <Talveno/Talveno.h>

#include <QTest>

#include <limits>

namespace
{
const double nan = std::numeric_limits<double>::quiet_NaN();

// An excluded sample keeps the scaled value it brings under every data type with a
// numeric type, so the history holds exactly the values a row names. rawValue stays 0.
J1939Value withScaled(const QVariant &scaledValue)
{
    J1939Value sample;
    sample.rawValue = 0;
    sample.scaledValue = scaledValue;
    sample.excluded = true;
    return sample;
}

// Policy 1 throughout: appendValues ignores the policy, and no worker thread
// rewrites the cached statistics behind the test's back.
void appendScaled(GenericSignalImpl<J1939Value> &signal, const QVector<double> &scaledValues)
{
    QVector<J1939Value> samples;
    for (const double value : scaledValues) {
        samples.append(withScaled(value));
    }
    signal.appendValues(samples, 1.0, 0.0);
}

// Cached average 10 and deviation 2 (population) from the scaled values 8 and 12.
void cacheAverage10Deviation2(GenericSignalImpl<J1939Value> &signal)
{
    appendScaled(signal, {8.0, 12.0});
    signal.rebuildStatisticsFromValues();
    QVERIFY(signal.getAverage() == 10.0);
    QVERIFY(signal.getDeviation() == 2.0);
}
}

class TestRating : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void getRating_fixedBand_data()
    {
        QTest::addColumn<double>("lower");
        QTest::addColumn<double>("upper");
        QTest::addColumn<double>("value");
        QTest::addColumn<int>("rating");

        QTest::newRow("band0to8Value1LowerShoulder") << 0.0 << 8.0 << 1.0 << 50;
        QTest::newRow("band0to8Value7UpperShoulder") << 0.0 << 8.0 << 7.0 << 50;
        QTest::newRow("band0to8Value2InnerLowEdge") << 0.0 << 8.0 << 2.0 << 100;
        QTest::newRow("band0to8Value4Middle") << 0.0 << 8.0 << 4.0 << 100;
        QTest::newRow("band0to8Value6InnerHighEdge") << 0.0 << 8.0 << 6.0 << 100;
        QTest::newRow("band0to8Value0OnLowerEdge") << 0.0 << 8.0 << 0.0 << 0;
        QTest::newRow("band0to8Value8OnUpperEdge") << 0.0 << 8.0 << 8.0 << 0;
        QTest::newRow("band0to8ValueMinus1Below") << 0.0 << 8.0 << -1.0 << 0;
        QTest::newRow("band0to8Value9Above") << 0.0 << 8.0 << 9.0 << 0;
        QTest::newRow("band0to8Value0.25HalfRoundsUp") << 0.0 << 8.0 << 0.25 << 13;
        QTest::newRow("band0to8Value0.015625RoundsTo1") << 0.0 << 8.0 << 0.015625 << 1;
        QTest::newRow("band10to20Value11") << 10.0 << 20.0 << 11.0 << 40;
        QTest::newRow("band10to20Value12") << 10.0 << 20.0 << 12.0 << 80;
        QTest::newRow("band10to20Value12.5") << 10.0 << 20.0 << 12.5 << 100;
        QTest::newRow("band10to20Value18") << 10.0 << 20.0 << 18.0 << 80;
        QTest::newRow("band10to20Value19") << 10.0 << 20.0 << 19.0 << 40;
        QTest::newRow("zeroWidthBandOwnValue") << 5.0 << 5.0 << 5.0 << 100;
        QTest::newRow("zeroWidthBandOtherValue") << 5.0 << 5.0 << 5.5 << 0;
        QTest::newRow("zeroWidthBandNaN") << 5.0 << 5.0 << nan << 100;
        QTest::newRow("reversedLimitsBetween") << 8.0 << 0.0 << 4.0 << 0;
        QTest::newRow("reversedLimitsOnLimit") << 8.0 << 0.0 << 8.0 << 0;
        QTest::newRow("normalBandNaN") << 0.0 << 8.0 << nan << 0;
        // Shoulders narrower than 1e-12 rate 100 even at the band's edge.
        QTest::newRow("shoulderWidthBelow1e-12") << 5.0 << 5.0 + 2e-12 << 5.0 + 2e-12 << 100;
        QTest::newRow("shoulderWidthAbove1e-12") << 5.0 << 5.0 + 8e-12 << 5.0 + 8e-12 << 0;
    }

    void getRating_fixedBand()
    {
        QFETCH(double, lower);
        QFETCH(double, upper);
        QFETCH(double, value);
        QFETCH(int, rating);

        GenericSignalImpl<J1939Value> signal;
        appendScaled(signal, {100.0, value});
        // The factor is ignored with fixed limits.
        QCOMPARE(int(signal.getRating(1.0, true, lower, upper)), rating);
        QCOMPARE(int(signal.getRating(-7.0, true, lower, upper)), rating);
    }

    void getRating_derivedBand_data()
    {
        QTest::addColumn<QVector<double>>("statistics");
        QTest::addColumn<double>("factor");
        QTest::addColumn<double>("value");
        QTest::addColumn<int>("rating");

        // Average 10, deviation 2: factor 1 gives 8..12 with the inner half 9..11.
        const QVector<double> spread{8.0, 12.0};
        QTest::newRow("factor1InnerHalf") << spread << 1.0 << 11.0 << 100;
        QTest::newRow("factor1LowerShoulder") << spread << 1.0 << 8.5 << 50;
        QTest::newRow("factor1OnEdge") << spread << 1.0 << 12.0 << 0;
        QTest::newRow("factor1.5UpperShoulder") << spread << 1.5 << 12.0 << 67;
        QTest::newRow("factor2Wider") << spread << 2.0 << 12.0 << 100;
        QTest::newRow("factor0OnAverage") << spread << 0.0 << 10.0 << 100;
        QTest::newRow("factor0OffAverage") << spread << 0.0 << 10.5 << 0;
        QTest::newRow("negativeFactor") << spread << -1.0 << 10.0 << 0;
        QTest::newRow("zeroDeviationOwnValue") << QVector<double>{5.0, 5.0} << 3.0 << 5.0 << 100;
        QTest::newRow("zeroDeviationOtherValue") << QVector<double>{5.0, 5.0} << 3.0 << 6.0 << 0;
    }

    void getRating_derivedBand()
    {
        QFETCH(QVector<double>, statistics);
        QFETCH(double, factor);
        QFETCH(double, value);
        QFETCH(int, rating);

        GenericSignalImpl<J1939Value> signal;
        appendScaled(signal, statistics);
        signal.rebuildStatisticsFromValues();
        // The rated history no longer feeds the calculator: the band must come from
        // the cached statistics, which clearValues keeps, not from the live ones.
        signal.clearValues();
        appendScaled(signal, {0.0, value});
        QCOMPARE(int(signal.getRating(factor, false, 1000.0, 2000.0)), rating);
    }

    void getRating_needsTwoSamples()
    {
        GenericSignalImpl<J1939Value> signal;
        QCOMPARE(int(signal.getRating(1.0, true, 0.0, 8.0)), 100);
        for (const double raw : {20.0, 30.0, 40.0}) {
            J1939Value sample;
            sample.rawValue = raw;
            QVERIFY(signal.setNewValue(sample, 1.0, 0.0)); // policy 1 replaces the newest
            QCOMPARE(signal.getValueCount(), 1);
            QCOMPARE(int(signal.getRating(1.0, true, 0.0, 8.0)), 100);
        }
    }

    void getRating_datatype_data()
    {
        QTest::addColumn<int>("datatype");
        QTest::addColumn<QVariant>("scaledValue");
        QTest::addColumn<double>("lower");
        QTest::addColumn<double>("upper");
        QTest::addColumn<int>("rating");

        for (const int type : {1, 9, 26, 40, -1}) {
            QTest::addRow("type%dHasNoNumericType", type) << type << QVariant(100.0) << 0.0 << 8.0 << 100;
        }
        // float goes through valueToFloat(true): 0.1 as float lies 1.49e-9 above 0.1.
        const double tenth = 0.1;
        QTest::newRow("type8ReadsFloat") << 8 << QVariant(tenth) << tenth << tenth + 1e-8 << 60;
        QTest::newRow("type0ReadsDouble") << 0 << QVariant(tenth) << tenth << tenth + 1e-8 << 0;
        QTest::newRow("type8ReadsScaledNotRaw") << 8 << QVariant(7.0f) << 0.0 << 8.0 << 50;
        QTest::newRow("type8ConvertsString") << 8 << QVariant(QStringLiteral("7")) << 0.0 << 8.0 << 50;
        // The integer types read the scaled value as QVariant::value<N>() does.
        QTest::newRow("type2Reads200AsQint8") << 2 << QVariant(200) << -60.0 << -52.0 << 100;
        QTest::newRow("type5ReadsMinus1AsQuint8") << 5 << QVariant(-1) << 251.0 << 259.0 << 100;
        QTest::newRow("type3ReadsDoubleAsQint16") << 3 << QVariant(6.6) << 0.0 << 8.0 << 50;
        QTest::newRow("type0UnconvertibleIsZero") << 0 << QVariant(QStringLiteral("x")) << -4.0 << 4.0 << 100;
    }

    void getRating_datatype()
    {
        QFETCH(int, datatype);
        QFETCH(QVariant, scaledValue);
        QFETCH(double, lower);
        QFETCH(double, upper);
        QFETCH(int, rating);

        GenericSignalImpl<J1939Value> signal;
        signal.setDatatype(static_cast<CAN::CANopenDataType>(datatype));
        signal.appendValues({withScaled(1000), withScaled(scaledValue)}, 1.0, 0.0);
        QCOMPARE(int(signal.getRating(1.0, true, lower, upper)), rating);
    }

    void thresholds()
    {
        GenericSignalImpl<J1939Value> signal;
        QVERIFY(signal.getLowerThreshold(1.0) == 0.0);
        QVERIFY(signal.getUpperThreshold(1.0) == 0.0);
        cacheAverage10Deviation2(signal);
        for (int round = 0; round < 2; ++round) {
            QVERIFY(signal.getLowerThreshold(1.0) == 8.0);
            QVERIFY(signal.getUpperThreshold(1.0) == 12.0);
            QVERIFY(signal.getLowerThreshold(0.5) == 9.0);
            QVERIFY(signal.getLowerThreshold(-1.0) == 12.0);
            QVERIFY(signal.getUpperThreshold(-1.0) == 8.0);
            // Clearing the history keeps the last computed statistics.
            signal.clearValues();
        }
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
        QFETCH(QVector<int>, deviators);

        GenericSignalImpl<J1939Value> signal;
        QVERIFY(signal.getDeviators(1.0).isEmpty());
        cacheAverage10Deviation2(signal);
        signal.clearValues();
        QVERIFY(signal.getDeviators(-1.0).isEmpty());

        // Scaled with factor 2: the raw values lie inside the band, the scaled ones
        // are what is tested. An excluded sample counts all the same.
        QVector<J1939Value> history;
        for (const double raw : {3.5, 4.0, nan, 5.0, 6.0, 0.0}) {
            J1939Value sample = history.size() == 5 ? withScaled(13.0) : J1939Value();
            sample.rawValue = raw;
            sample.auxInt = history.size();
            history.append(sample);
        }
        signal.appendValues(history, 2.0, 0.0);

        QVector<int> found;
        const QVector<J1939Value> result = signal.getDeviators(factor);
        for (const J1939Value &sample : result) {
            found.append(sample.auxInt);
        }
        QCOMPARE(found, deviators);
    }
};

QTEST_GUILESS_MAIN(TestRating)
#include "tst_rating.moc"
