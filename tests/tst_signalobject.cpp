// SPDX-License-Identifier: LGPL-2.1-or-later
#include "TestSupport.h"

#include <QtTest>

#include <climits>

using TestSupport::sample;

namespace
{
using Signal = GenericSignalImpl<CANopenObjectValue>;

// Samples are told apart by their raw values.
QVector<CANopenObjectValue> numbered(int first, int count)
{
    QVector<CANopenObjectValue> result;
    for (int id = first; id < first + count; ++id) {
        result.append(sample<CANopenObjectValue>(id));
    }
    return result;
}

QVector<int> ids(const QVector<CANopenObjectValue> &values)
{
    QVector<int> result;
    for (const CANopenObjectValue &value : values) {
        result.append(value.rawValue.toInt());
    }
    return result;
}
}

class TestSignalObject : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void capacity_data()
    {
        QTest::addColumn<uint>("capacity");
        QTest::addColumn<int>("intakes");
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("count");
        QTest::newRow("capacity100Keeps110") << 100u << 110 << 1 << 110;
        QTest::newRow("capacity100TrimsOn111th") << 100u << 111 << 12 << 100;
        QTest::newRow("capacity100TrimsAgainOn122nd") << 100u << 122 << 23 << 100;
        QTest::newRow("capacity9TrimsOnTenth") << 9u << 10 << 2 << 9; // a tenth of 9 is 0
        QTest::newRow("capacity10Allows11") << 10u << 11 << 1 << 11;
        QTest::newRow("capacity10TrimsOnTwelfth") << 10u << 12 << 3 << 10;
        QTest::newRow("capacity1TrimsEveryIntake") << 1u << 5 << 5 << 1;
        QTest::newRow("capacity0NeverTrims") << 0u << 2000 << 1 << 2000;
        // M + M/10 is 2^32 or more: a 32-bit threshold would wrap and trim at once.
        QTest::newRow("thresholdOf2To32DoesNotWrap") << 3904515724u << 50 << 1 << 50;
        QTest::newRow("largestCapacityDoesNotWrap") << UINT_MAX << 50 << 1 << 50;
    }

    void capacity()
    {
        QFETCH(uint, capacity);
        QFETCH(int, intakes);
        const TestSupport::Capacity held(capacity);
        Signal signal;
        signal.setValueHandling(GenericSignal::Append);
        for (const CANopenObjectValue &value : numbered(1, intakes)) {
            QVERIFY(signal.setNewValue(value));
        }
        QFETCH(int, first);
        QFETCH(int, count);
        QCOMPARE(ids(signal.getValues()), ids(numbered(first, count)));
    }

    void policy_data()
    {
        QTest::addColumn<int>("policy");
        QTest::addColumn<int>("prefilled");
        QTest::addColumn<QVector<int>>("history");
        QTest::newRow("policy1EmptyHistoryKeepsLastOfThree") << 1 << 0 << QVector<int>{103};
        QTest::newRow("policy1FiveSamplesOnlyNewestReplaced") << 1 << 5 << QVector<int>{1, 2, 3, 4, 103};
        QTest::newRow("policy0Refused") << 0 << 3 << QVector<int>{1, 2, 3};
        QTest::newRow("policy3Refused") << 3 << 3 << QVector<int>{1, 2, 3};
        QTest::newRow("policy255Refused") << 255 << 3 << QVector<int>{1, 2, 3};
    }

    void policy()
    {
        QFETCH(int, policy);
        QFETCH(int, prefilled);
        Signal signal;
        signal.appendValues(numbered(1, prefilled), 1.0, 0.0);
        if (policy != 1) { // a new object replaces the newest
            signal.setValueHandling(static_cast<GenericSignal::NewValueHandlingType>(policy));
        }
        const bool accepted = policy == 1;
        for (const CANopenObjectValue &value : numbered(101, 3)) {
            QCOMPARE(signal.setNewValue(value, 1.0, 0.0), accepted);
        }
        QTEST(ids(signal.getValues()), "history");
        // A refused sample is neither fed nor made the latest, and starts no age.
        QCOMPARE(signal.calcAverage(), accepted ? 102.0 : 0.0);
        QCOMPARE(signal.getValue().rawValue.toInt(), accepted ? 103 : 0);
        QCOMPARE(signal.getAgeInSeconds() >= 0.0, accepted);
    }

    void indexBounds_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("id"); // -1: not found, output untouched
        QTest::newRow("oldestAtZero") << 3 << 0 << 1;
        QTest::newRow("newestAtCountMinusOne") << 3 << 2 << 3;
        QTest::newRow("indexEqualToCount") << 3 << 3 << -1;
        QTest::newRow("minusOne") << 3 << -1 << -1;
        QTest::newRow("intMin") << 3 << INT_MIN << -1;
        QTest::newRow("emptyHistoryIndexZero") << 0 << 0 << -1;
    }

    void indexBounds()
    {
        QFETCH(int, size);
        QFETCH(int, index);
        QFETCH(int, id);
        Signal signal;
        signal.appendValues(numbered(1, size), 1.0, 0.0);
        CANopenObjectValue output = sample<CANopenObjectValue>(-1);
        QCOMPARE(signal.getValue(index, output), id != -1);
        QCOMPARE(output.rawValue.toInt(), id);
        QCOMPARE(output.scaledValue.isValid(), id != -1); // stored samples are scaled, the untouched one is not
    }

    void copyOfHistoryIsIsolated()
    {
        const TestSupport::Capacity held(5);
        Signal signal;
        signal.setValueHandling(GenericSignal::Append);
        signal.appendValues(numbered(1, 5), 1.0, 0.0);
        const QVector<CANopenObjectValue> copy = signal.getValues();
        QVERIFY(signal.setNewValue(sample<CANopenObjectValue>(6))); // trims to 2..6
        QVector<CANopenObjectValue> changed = signal.getValues();
        changed[0].rawValue = 999;
        QCOMPARE(ids(signal.getValues()), ids(numbered(2, 5)));
        QCOMPARE(ids(copy), ids(numbered(1, 5)));
    }

    // The plain intake stores the sample unscaled and leaves the newest scaled one;
    // clearing empties the history and the calculator but keeps that newest sample,
    // the cached statistics and the age.
    void plainIntakeAndClearKeepNewest()
    {
        Signal signal;
        QVERIFY(signal.setNewValue(sample<CANopenObjectValue>(2), 1.0, 0.0));
        QVERIFY(signal.setNewValue(sample<CANopenObjectValue>(4), 1.0, 0.0));
        const double age = signal.getAgeInSeconds();
        QVERIFY(signal.setNewValue(sample<CANopenObjectValue>(7)));
        CANopenObjectValue stored;
        QVERIFY(signal.getValue(0, stored));
        QVERIFY(stored.rawValue == QVariant(7));
        QVERIFY(!stored.scaledValue.isValid());
        QVERIFY(signal.getValue().rawValue == QVariant(4));
        QVERIFY(signal.getValue().scaledValue == QVariant(4.0));
        signal.clearValues();
        QVERIFY(signal.getValueCount() == 0);
        QVERIFY(signal.getValue().rawValue == QVariant(4));
        QVERIFY(signal.calcAverage() == 0.0);
        QVERIFY(signal.getAverage() == 3.0);
        QVERIFY(signal.getDeviation() == 1.0);
        QVERIFY(age >= 0.0);
        QVERIFY(signal.getAgeInSeconds() >= age);
    }
};

QTEST_GUILESS_MAIN(TestSignalObject)
#include "tst_signalobject.moc"
