// SPDX-License-Identifier: LGPL-2.1-or-later
#include <Talveno/Talveno.h>

#include <QDir>
#include <QtTest>

#include <climits>
#include <numeric>

namespace
{
QVector<int> idRange(int first, int count)
{
    QVector<int> result(count);
    std::iota(result.begin(), result.end(), first);
    return result;
}

// A sample told apart by its auxInt; its raw value is the same number.
template<typename T>
T sample(int id)
{
    T value;
    value.auxInt = id;
    value.rawValue = QVariant(id);
    return value;
}

template<typename T>
QVector<T> samples(int first, int count)
{
    QVector<T> result;
    for (int id : idRange(first, count)) {
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

int threadCount()
{
    return QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size();
}

template<typename T>
void checkNewObject()
{
    const int threadsBefore = threadCount();
    GenericSignalImpl<T> signal;
    QVERIFY(threadCount() <= threadsBefore); // a finished worker of an earlier test may still be leaving
    QCOMPARE(signal.getValueHandling(), GenericSignal::ReplaceNewest);
    QCOMPARE(int(signal.getDatatype()), 0);
    QCOMPARE(signal.getValueCount(), 0);
    QVERIFY(signal.getValues().isEmpty());
    const T newest = signal.getValue();
    QVERIFY(!newest.rawValue.isValid());
    QVERIFY(!newest.scaledValue.isValid());
    QCOMPARE(newest.auxInt, 0);
    T output = sample<T>(7);
    QVERIFY(!signal.getValue(0, output));
    QCOMPARE(output.auxInt, 7);
    QVERIFY(signal.getAgeInSeconds() == -1.0);
}

template<typename T>
void checkCapacity(uint capacity, int intakes, int expectedFirst, int expectedCount)
{
    GenericSignal::setMaxValueCount(capacity);
    GenericSignalImpl<T> signal;
    signal.setValueHandling(GenericSignal::Append);
    for (int id = 1; id <= intakes; ++id) {
        if (!signal.setNewValue(sample<T>(id))) {
            QFAIL(qPrintable(QStringLiteral("intake %1 refused").arg(id)));
        }
    }
    QCOMPARE(signal.getValueCount(), expectedCount);
    QCOMPARE(ids(signal.getValues()), idRange(expectedFirst, expectedCount));
}

template<typename T>
void checkReplaceNewest(int prefilled)
{
    GenericSignalImpl<T> signal;
    signal.appendValues(samples<T>(1, prefilled), 1.0, 0.0);
    for (int id = 101; id <= 103; ++id) {
        QVERIFY(signal.setNewValue(sample<T>(id)));
    }
    QVector<int> expected = idRange(1, qMax(prefilled - 1, 0));
    expected.append(103);
    QCOMPARE(ids(signal.getValues()), expected);
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

    void newObject_data()
    {
        QTest::addColumn<bool>("canopen");
        QTest::newRow("j1939") << false;
        QTest::newRow("canopen") << true;
    }

    void newObject()
    {
        QFETCH(bool, canopen);
        canopen ? checkNewObject<CANopenObjectValue>() : checkNewObject<J1939Value>();
    }

    void capacity_data()
    {
        QTest::addColumn<bool>("canopen");
        QTest::addColumn<uint>("capacity");
        QTest::addColumn<int>("intakes");
        QTest::addColumn<int>("expectedFirst");
        QTest::addColumn<int>("expectedCount");

        QTest::newRow("capacity100Keeps110") << false << 100u << 110 << 1 << 110;
        QTest::newRow("capacity100TrimsOn111th") << true << 100u << 111 << 12 << 100;
        QTest::newRow("capacity100TrimsAgainOn122nd") << false << 100u << 122 << 23 << 100;
        QTest::newRow("capacity9KeepsNine") << true << 9u << 9 << 1 << 9;
        QTest::newRow("capacity9TrimsOnTenth") << false << 9u << 10 << 2 << 9;
        QTest::newRow("capacity10Allows11") << true << 10u << 11 << 1 << 11;
        QTest::newRow("capacity10TrimsOnTwelfth") << false << 10u << 12 << 3 << 10;
        QTest::newRow("capacity1TrimsEveryIntake") << true << 1u << 5 << 5 << 1;
        QTest::newRow("capacity0NeverTrims") << false << 0u << 2000 << 1 << 2000;
        // M + M/10 is exactly 2^32 here and would wrap to 0 in 32 bits.
        QTest::newRow("thresholdOf2To32DoesNotWrap") << true << 3904515724u << 50 << 1 << 50;
        QTest::newRow("thresholdPast2To32DoesNotWrap") << false << 3904515730u << 50 << 1 << 50;
        QTest::newRow("largestCapacityDoesNotWrap") << true << UINT_MAX << 50 << 1 << 50;
    }

    void capacity()
    {
        QFETCH(bool, canopen);
        QFETCH(uint, capacity);
        QFETCH(int, intakes);
        QFETCH(int, expectedFirst);
        QFETCH(int, expectedCount);
        canopen ? checkCapacity<CANopenObjectValue>(capacity, intakes, expectedFirst, expectedCount)
                : checkCapacity<J1939Value>(capacity, intakes, expectedFirst, expectedCount);
    }

    void replaceNewest_data()
    {
        QTest::addColumn<bool>("canopen");
        QTest::addColumn<int>("prefilled");
        QTest::newRow("emptyHistoryKeepsLastOfThree") << false << 0;
        QTest::newRow("fiveSamplesOnlyNewestReplaced") << true << 5;
    }

    void replaceNewest()
    {
        QFETCH(bool, canopen);
        QFETCH(int, prefilled);
        canopen ? checkReplaceNewest<CANopenObjectValue>(prefilled) : checkReplaceNewest<J1939Value>(prefilled);
    }

    void refusedPolicy_data()
    {
        QTest::addColumn<int>("policy");
        QTest::newRow("policy0") << 0;
        QTest::newRow("policy3") << 3;
        QTest::newRow("policy255") << 255;
    }

    void refusedPolicy()
    {
        QFETCH(int, policy);
        const auto handling = static_cast<GenericSignal::NewValueHandlingType>(policy);
        GenericSignalImpl<J1939Value> signal;
        signal.appendValues(samples<J1939Value>(1, 3), 1.0, 0.0);
        const QVector<J1939Value> before = signal.getValues();
        signal.setValueHandling(handling);
        QCOMPARE(signal.getValueHandling(), handling);

        QVERIFY(!signal.setNewValue(sample<J1939Value>(9)));
        QVERIFY(!signal.setNewValue(sample<J1939Value>(10), 1.0, 0.0));
        QCOMPARE(ids(signal.getValues()), idRange(1, 3));
        QCOMPARE(ids(before), idRange(1, 3));
        QVERIFY(!signal.getValue().rawValue.isValid());
        QVERIFY(signal.getAgeInSeconds() == -1.0);
    }

    void indexBounds_data()
    {
        QTest::addColumn<int>("historySize");
        QTest::addColumn<int>("index");
        QTest::addColumn<bool>("found");
        QTest::addColumn<int>("expectedId");

        QTest::newRow("oldestAtZero") << 3 << 0 << true << 1;
        QTest::newRow("newestAtCountMinusOne") << 3 << 2 << true << 3;
        QTest::newRow("indexEqualToCount") << 3 << 3 << false << -1;
        QTest::newRow("indexPastCount") << 3 << 4 << false << -1;
        QTest::newRow("minusOne") << 3 << -1 << false << -1;
        QTest::newRow("intMin") << 3 << INT_MIN << false << -1;
        QTest::newRow("emptyHistoryIndexZero") << 0 << 0 << false << -1;
    }

    void indexBounds()
    {
        QFETCH(int, historySize);
        QFETCH(int, index);
        QFETCH(bool, found);
        QFETCH(int, expectedId);
        GenericSignalImpl<CANopenObjectValue> signal;
        signal.appendValues(samples<CANopenObjectValue>(1, historySize), 1.0, 0.0);

        CANopenObjectValue output = sample<CANopenObjectValue>(-1);
        QCOMPARE(signal.getValue(index, output), found);
        QCOMPARE(output.auxInt, expectedId);
        QCOMPARE(output.rawValue, QVariant(expectedId));
        QCOMPARE(output.scaledValue.isValid(), found); // stored samples are scaled, the untouched one is not
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
        QCOMPARE(ids(signal.getValues()), idRange(2, 5));
        signal.setValueHandling(GenericSignal::ReplaceNewest);
        QVERIFY(signal.setNewValue(sample<J1939Value>(7)));
        QCOMPARE(ids(signal.getValues()), (QVector<int>{2, 3, 4, 5, 7}));
        QCOMPARE(ids(copy), idRange(1, 5));

        QVector<J1939Value> changed = signal.getValues();
        changed[0].auxInt = 999;
        changed.append(sample<J1939Value>(1000));
        QCOMPARE(ids(signal.getValues()), (QVector<int>{2, 3, 4, 5, 7}));

        signal.clearValues();
        QCOMPARE(signal.getValueCount(), 0);
        QCOMPARE(ids(copy), idRange(1, 5));
        QCOMPARE(ids(changed), (QVector<int>{999, 3, 4, 5, 7, 1000}));
    }

    void clearKeepsNewestStatisticsAndAge()
    {
        GenericSignalImpl<CANopenObjectValue> signal;
        QVERIFY(signal.setNewValue(sample<CANopenObjectValue>(2), 1.0, 0.0));
        QVERIFY(signal.setNewValue(sample<CANopenObjectValue>(4), 1.0, 0.0));
        const CANopenObjectValue newest = signal.getValue();
        QCOMPARE(newest.auxInt, 4);
        QVERIFY(signal.getAverage() == 3.0);
        QVERIFY(signal.getDeviation() == 1.0);
        const double age = signal.getAgeInSeconds();
        QVERIFY(age >= 0.0);

        signal.clearValues();
        QCOMPARE(signal.getValueCount(), 0);
        QVERIFY(signal.getValue() == newest);
        QCOMPARE(signal.getValue().scaledValue, newest.scaledValue);
        QVERIFY(signal.getAverage() == 3.0);
        QVERIFY(signal.getDeviation() == 1.0);
        QVERIFY(signal.getAgeInSeconds() >= age);
        QVERIFY(signal.calcAverage() == 0.0); // the calculator itself forgets
    }

    void plainIntakeStoresUnscaled()
    {
        GenericSignalImpl<J1939Value> signal;
        QVERIFY(signal.setNewValue(sample<J1939Value>(5)));
        J1939Value stored;
        QVERIFY(signal.getValue(0, stored));
        QCOMPARE(stored.rawValue, QVariant(5));
        QVERIFY(!stored.scaledValue.isValid());
        QVERIFY(!signal.getValue().rawValue.isValid());
        QVERIFY(signal.getAgeInSeconds() == -1.0);
        QVERIFY(signal.calcAverage() == 0.0);

        QVERIFY(signal.setNewValue(sample<J1939Value>(6), 2.0, 0.0));
        QVERIFY(signal.setNewValue(sample<J1939Value>(7)));
        QCOMPARE(signal.getValue().auxInt, 6);
        QCOMPARE(signal.getValue().scaledValue, QVariant(12.0));
        QVERIFY(signal.getValue(0, stored));
        QCOMPARE(stored.auxInt, 7);
        QVERIFY(!stored.scaledValue.isValid());
    }
};

QTEST_GUILESS_MAIN(TestSignalObject)
#include "tst_signalobject.moc"
