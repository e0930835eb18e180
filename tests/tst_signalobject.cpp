// SPDX-License-Identifier: LGPL-2.1-or-later
#include <Talveno/Talveno.h>

#include <QtTest>

#include <climits>

namespace
{
using Signal = GenericSignalImpl<CANopenObjectValue>;

// Samples are told apart by auxInt, which also serves as their raw value.
CANopenObjectValue sample(int id)
{
    CANopenObjectValue value;
    value.auxInt = id;
    value.rawValue = id;
    return value;
}

QVector<CANopenObjectValue> samples(int first, int count)
{
    QVector<CANopenObjectValue> result;
    for (int id = first; id < first + count; ++id) {
        result.append(sample(id));
    }
    return result;
}

QVector<int> ids(const QVector<CANopenObjectValue> &values)
{
    QVector<int> result;
    for (const CANopenObjectValue &value : values) {
        result.append(value.auxInt);
    }
    return result;
}
}

class TestSignalObject : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup()
    {
        GenericSignal::setMaxValueCount(1000);
    }

    void capacity_data()
    {
        QTest::addColumn<uint>("capacity");
        QTest::addColumn<int>("intakes");
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("count");
        const auto row = [](const char *name, uint capacity, int intakes, int first, int count) {
            QTest::newRow(name) << capacity << intakes << first << count;
        };
        row("capacity100Keeps110", 100, 110, 1, 110);
        row("capacity100TrimsOn111th", 100, 111, 12, 100);
        row("capacity100TrimsAgainOn122nd", 100, 122, 23, 100);
        row("capacity9TrimsOnTenth", 9, 10, 2, 9); // a tenth of 9 is 0
        row("capacity10Allows11", 10, 11, 1, 11);
        row("capacity10TrimsOnTwelfth", 10, 12, 3, 10);
        row("capacity1TrimsEveryIntake", 1, 5, 5, 1);
        row("capacity0NeverTrims", 0, 2000, 1, 2000);
        // M + M/10 is 2^32 or more: a 32-bit threshold would wrap and trim at once.
        row("thresholdOf2To32DoesNotWrap", 3904515724u, 50, 1, 50);
        row("largestCapacityDoesNotWrap", UINT_MAX, 50, 1, 50);
    }

    void capacity()
    {
        QFETCH(uint, capacity);
        QFETCH(int, intakes);
        GenericSignal::setMaxValueCount(capacity);
        Signal signal;
        signal.setValueHandling(GenericSignal::Append);
        for (int id = 1; id <= intakes; ++id) {
            QVERIFY(signal.setNewValue(sample(id)));
        }
        QFETCH(int, first);
        QFETCH(int, count);
        QCOMPARE(ids(signal.getValues()), ids(samples(first, count)));
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
        signal.appendValues(samples(1, prefilled), 1.0, 0.0);
        if (policy != 1) { // a new object replaces the newest
            signal.setValueHandling(static_cast<GenericSignal::NewValueHandlingType>(policy));
        }
        const bool accepted = policy == 1;
        for (int id = 101; id <= 103; ++id) {
            QCOMPARE(signal.setNewValue(sample(id), 1.0, 0.0), accepted);
        }
        QTEST(ids(signal.getValues()), "history");
        QCOMPARE(signal.getValue().auxInt, accepted ? 103 : 0);
        QCOMPARE(signal.getAgeInSeconds() >= 0.0, accepted);
    }

    void indexBounds_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("id"); // -1: not found, output untouched
        const auto row = [](const char *name, int size, int index, int id) {
            QTest::newRow(name) << size << index << id;
        };
        row("oldestAtZero", 3, 0, 1);
        row("newestAtCountMinusOne", 3, 2, 3);
        row("indexEqualToCount", 3, 3, -1);
        row("minusOne", 3, -1, -1);
        row("intMin", 3, INT_MIN, -1);
        row("emptyHistoryIndexZero", 0, 0, -1);
    }

    void indexBounds()
    {
        QFETCH(int, size);
        QFETCH(int, index);
        QFETCH(int, id);
        Signal signal;
        signal.appendValues(samples(1, size), 1.0, 0.0);
        CANopenObjectValue output = sample(-1);
        QCOMPARE(signal.getValue(index, output), id != -1);
        QCOMPARE(output.auxInt, id);
        QCOMPARE(output.scaledValue.isValid(), id != -1); // stored samples are scaled, the untouched one is not
    }

    void copyOfHistoryIsIsolated()
    {
        GenericSignal::setMaxValueCount(5);
        Signal signal;
        signal.setValueHandling(GenericSignal::Append);
        signal.appendValues(samples(1, 5), 1.0, 0.0);
        const QVector<CANopenObjectValue> copy = signal.getValues();
        QVERIFY(signal.setNewValue(sample(6))); // trims to 2..6
        QVector<CANopenObjectValue> changed = signal.getValues();
        changed[0].auxInt = 999;
        QCOMPARE(ids(signal.getValues()), ids(samples(2, 5)));
        QCOMPARE(ids(copy), ids(samples(1, 5)));
    }

    // The plain intake stores the sample unscaled and leaves the newest scaled one;
    // clearing empties the history and the calculator but keeps that newest sample,
    // the cached statistics and the age.
    void plainIntakeAndClearKeepNewest()
    {
        Signal signal;
        QVERIFY(signal.setNewValue(sample(2), 1.0, 0.0) && signal.setNewValue(sample(4), 1.0, 0.0));
        const double age = signal.getAgeInSeconds();
        QVERIFY(signal.setNewValue(sample(7)));
        CANopenObjectValue stored;
        QVERIFY(signal.getValue(0, stored) && stored.auxInt == 7 && !stored.scaledValue.isValid());
        QVERIFY(signal.getValue().auxInt == 4 && signal.getValue().scaledValue == QVariant(4.0));
        signal.clearValues();
        QVERIFY(signal.getValueCount() == 0 && signal.getValue().auxInt == 4 && signal.calcAverage() == 0.0);
        QVERIFY(signal.getAverage() == 3.0 && signal.getDeviation() == 1.0);
        QVERIFY(age >= 0.0 && signal.getAgeInSeconds() >= age);
    }
};

QTEST_GUILESS_MAIN(TestSignalObject)
#include "tst_signalobject.moc"
