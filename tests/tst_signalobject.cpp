// SPDX-License-Identifier: LGPL-2.1-or-later
#include <Talveno/Talveno.h>

#include <QtTest>

#include <climits>

namespace
{
// Samples are told apart by auxInt, which also serves as their raw value.
template<typename T>
T sample(int id)
{
    T value;
    value.auxInt = id;
    value.rawValue = id;
    return value;
}

template<typename T>
QVector<T> samples(int first, int count)
{
    QVector<T> result;
    for (int id = first; id < first + count; ++id) {
        result.append(sample<T>(id));
    }
    return result;
}

template<typename T>
QVector<int> ids(const QVector<T> &values)
{
    QVector<int> result;
    for (const T &value : values) {
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
        GenericSignalImpl<J1939Value> signal;
        signal.setValueHandling(GenericSignal::Append);
        for (int id = 1; id <= intakes; ++id) {
            QVERIFY(signal.setNewValue(sample<J1939Value>(id)));
        }
        QFETCH(int, first);
        QFETCH(int, count);
        QCOMPARE(ids(signal.getValues()), ids(samples<J1939Value>(first, count)));
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
        GenericSignalImpl<CANopenObjectValue> signal;
        signal.appendValues(samples<CANopenObjectValue>(1, prefilled), 1.0, 0.0);
        if (policy != 1) { // a new object replaces the newest
            signal.setValueHandling(static_cast<GenericSignal::NewValueHandlingType>(policy));
        }
        const bool accepted = policy == 1;
        for (int id = 101; id <= 103; ++id) {
            QCOMPARE(signal.setNewValue(sample<CANopenObjectValue>(id), 1.0, 0.0), accepted);
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
        GenericSignalImpl<CANopenObjectValue> signal;
        signal.appendValues(samples<CANopenObjectValue>(1, size), 1.0, 0.0);
        CANopenObjectValue output = sample<CANopenObjectValue>(-1);
        QCOMPARE(signal.getValue(index, output), id != -1);
        QCOMPARE(output.auxInt, id);
        QCOMPARE(output.scaledValue.isValid(), id != -1); // stored samples are scaled, the untouched one is not
    }

    void copyOfHistoryIsIsolated()
    {
        GenericSignal::setMaxValueCount(5);
        GenericSignalImpl<J1939Value> signal;
        signal.setValueHandling(GenericSignal::Append);
        for (int id = 1; id <= 5; ++id) {
            QVERIFY(signal.setNewValue(sample<J1939Value>(id)));
        }
        const QVector<J1939Value> copy = signal.getValues();
        QVERIFY(signal.setNewValue(sample<J1939Value>(6))); // trims to 2..6
        QVector<J1939Value> changed = signal.getValues();
        changed[0].auxInt = 999;
        QCOMPARE(ids(signal.getValues()), ids(samples<J1939Value>(2, 5)));
        QCOMPARE(ids(copy), ids(samples<J1939Value>(1, 5)));
    }

    void clearKeepsNewestStatisticsAndAge()
    {
        GenericSignalImpl<CANopenObjectValue> signal;
        QVERIFY(signal.setNewValue(sample<CANopenObjectValue>(2), 1.0, 0.0));
        QVERIFY(signal.setNewValue(sample<CANopenObjectValue>(4), 1.0, 0.0));
        const double age = signal.getAgeInSeconds();
        signal.clearValues();
        QVERIFY(signal.getValueCount() == 0 && signal.getValue().auxInt == 4);
        QVERIFY(signal.getAverage() == 3.0 && signal.getDeviation() == 1.0);
        QVERIFY(age >= 0.0 && signal.getAgeInSeconds() >= age);
        QVERIFY(signal.calcAverage() == 0.0); // the calculator itself forgets
    }

    void plainIntakeStoresUnscaledAndKeepsNewest()
    {
        GenericSignalImpl<J1939Value> signal;
        QVERIFY(signal.setNewValue(sample<J1939Value>(6), 2.0, 0.0));
        QVERIFY(signal.setNewValue(sample<J1939Value>(7)));
        QVERIFY(signal.getValue().auxInt == 6 && signal.getValue().scaledValue == QVariant(12.0));
        J1939Value stored;
        QVERIFY(signal.getValue(0, stored) && stored.auxInt == 7 && !stored.scaledValue.isValid());
    }
};

QTEST_GUILESS_MAIN(TestSignalObject)
#include "tst_signalobject.moc"
