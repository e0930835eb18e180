// SPDX-License-Identifier: LGPL-2.1-or-later
// A calculator whose construction throws leaves the signal's calculator valueless;
// every operation that reaches it then throws, keeps what it did before, and
// releases its locks.
#include "TestSupport.h"

#include <QtTest>

#include <atomic>
#include <functional>
#include <memory>
#include <new>
#include <thread>
#include <variant>

// Qt's hooks for tools that follow objects (exported by QtCore, declared in a
// private header): entries 3 and 4 are called as each QObject is made and destroyed.
extern quintptr Q_CORE_EXPORT qtHookData[];

namespace
{
using Signal = GenericSignalImpl<J1939Value>;
using Operation = std::function<void(Signal &)>;

// The QObjects alive, so that a worker's QThread that no one deletes shows.
std::atomic<int> liveObjects{0};

J1939Value sample(int raw)
{
    return TestSupport::sample(raw);
}

// History of scaled 1, 2, 3 replayed into a double calculator (cached average 2,
// latest sample 3, no scaled intake yet), then an unscaled 4, then a failed
// switch to qint32.
bool makeValueless(Signal &signal)
{
    signal.setValueHandling(GenericSignal::Append);
    signal.setUpdatingEnabled(false);
    signal.setDatatype(CAN::Real64);
    signal.appendValues({sample(1), sample(2), sample(3)}, 1.0, 0.0);
    signal.rebuildStatisticsFromValues();
    const bool taken = signal.setNewValue(sample(4));
    Quillon::failCalculatorConstruction(1);
    try {
        signal.setDatatype(CAN::Integer32);
    } catch (const std::bad_alloc &) {
        return taken && signal.getDatatype() == CAN::Integer32;
    }
    return false;
}

// Runs the worker's loop on a thread of its own (std::thread, whose join the
// thread sanitizer sees) beside f; true when the loop returned within ten seconds.
template<typename F>
bool loopReturns(Signal &signal, F f)
{
    QSemaphore done;
    std::thread loop([&] {
        signal.updateCalculations();
        done.release();
    });
    f();
    const bool returned = done.tryAcquire(1, 10000);
    signal.setUpdatingEnabled(false);
    loop.join();
    return returned;
}
}
Q_DECLARE_METATYPE(Operation)

class TestFailurePaths : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        qtHookData[3] = reinterpret_cast<quintptr>(+[](QObject *) { ++liveObjects; });
        qtHookData[4] = reinterpret_cast<quintptr>(+[](QObject *) { --liveObjects; });
    }

    void cleanup()
    {
        Quillon::failCalculatorConstruction(0);
    }

    void valuelessCalculator_data()
    {
        QTest::addColumn<Operation>("operation");
        QTest::addColumn<int>("countAfter");
        const auto row = [](const char *name, int count, const Operation &operation) {
            QTest::newRow(name) << operation << count;
        };
        row("clearValuesHasEmptiedHistory", 0, [](Signal &s) { s.clearValues(); });
        row("scaledIntakeHasStoredAndScaled", 5, [](Signal &s) { s.setNewValue(sample(10), 2.0, 1.0); });
        row("updatingOn", 4, [](Signal &s) { s.setUpdatingEnabled(true); });
        row("updatingOff", 4, [](Signal &s) { s.setUpdatingEnabled(false); });
        row("updateAverageAndDeviation", 4, [](Signal &s) { s.updateAverageAndDeviation(); });
        row("rebuild", 4, [](Signal &s) { s.rebuildStatisticsFromValues(); });
        row("calcAverage", 4, [](Signal &s) { s.calcAverage(); });
        row("calcDeviation", 4, [](Signal &s) { s.calcDeviation(); });
        row("getMax", 4, [](Signal &s) { s.getMax(); });
        row("getMin", 4, [](Signal &s) { s.getMin(); });
        row("calcMedianUnderAppend", 4, [](Signal &s) { s.calcMedian(); });
        row("getValueStatistics", 4, [](Signal &s) {
            double average = 0.0, median = 0.0, deviation = 0.0;
            unsigned int count = 0;
            QVariant maximum, minimum;
            s.getValueStatistics(average, maximum, minimum, median, deviation, count);
        });
    }

    void valuelessCalculator()
    {
        QFETCH(Operation, operation);
        QFETCH(int, countAfter);
        Signal signal;
        QVERIFY(makeValueless(signal));
        const double deviation = signal.getDeviation();

        QVERIFY_EXCEPTION_THROWN(operation(signal), std::bad_variant_access);
        QCOMPARE(signal.getValueCount(), countAfter);
        J1939Value newest;
        QVERIFY(countAfter != 5 || (signal.getValue(4, newest) && newest.scaledValue == QVariant(21)));
        QVERIFY(signal.getAverage() == 2.0);
        QVERIFY(signal.getDeviation() == deviation);
        QVERIFY(signal.getValue().rawValue == QVariant(3));
        QVERIFY(signal.getAgeInSeconds() == -1.0);

        // Every lock is free again: these would block on one still held by this thread.
        QVERIFY(signal.setNewValue(sample(5)));
        QCOMPARE(signal.getValueCount(), countAfter + 1);
        QVERIFY_EXCEPTION_THROWN(signal.calcMedian(), std::bad_variant_access);
    }

    // A switch that throws has stored its flag first: switched on, the worker's loop
    // runs when called directly (a pass stores the new, empty calculator's average
    // over the cached 2) until switched off; switched off, it returns at once.
    void updatingFlagIsStoredBeforeDispatch()
    {
        Signal signal;
        QVERIFY(makeValueless(signal));
        const int objects = liveObjects;
        QVERIFY_EXCEPTION_THROWN(signal.setUpdatingEnabled(true), std::bad_variant_access);
        QCOMPARE(liveObjects.load(), objects); // no worker started
        signal.setDatatype(CAN::Real64);
        QVERIFY(loopReturns(signal, [&] {
            QTRY_VERIFY_WITH_TIMEOUT(signal.getAverage() == 0.0, 10000);
            signal.setUpdatingEnabled(false);
        }));

        Quillon::failCalculatorConstruction(1);
        QVERIFY_EXCEPTION_THROWN(signal.setDatatype(CAN::Integer32), std::bad_alloc);
        QVERIFY_EXCEPTION_THROWN(signal.setUpdatingEnabled(true), std::bad_variant_access);
        QVERIFY_EXCEPTION_THROWN(signal.setUpdatingEnabled(false), std::bad_variant_access);
        signal.setDatatype(CAN::Real64);
        QVERIFY(loopReturns(signal, [] {}));
        QVERIFY(signal.setNewValue(sample(6), 1.0, 0.0));
        QVERIFY(signal.getAverage() == 6.0);
    }

    // With and without a running worker: the worker goes with its object all the
    // same, joined and deleted.
    void destroyWhileValueless()
    {
        const int objects = liveObjects;
        {
            Signal withWorker, withoutWorker;
            withWorker.setValueHandling(GenericSignal::Append);
            QVERIFY(withoutWorker.setNewValue(sample(1), 1.0, 0.0));
            for (Signal *signal : {&withWorker, &withoutWorker}) {
                Quillon::failCalculatorConstruction(1);
                QVERIFY_EXCEPTION_THROWN(signal->setDatatype(CAN::Real64), std::bad_alloc);
            }
            QVERIFY(withoutWorker.calcMedian() == 0.0);
        }
        QCOMPARE(liveObjects.load(), objects);
    }

    // The object's first calculator (double) or its qint32 replacement fails to construct.
    void constructionFailure()
    {
        for (const int nth : {1, 2}) {
            Quillon::failCalculatorConstruction(nth);
            QVERIFY_EXCEPTION_THROWN(std::make_unique<Signal>(), std::bad_alloc);
            Signal signal;
            QVERIFY(signal.setNewValue(sample(7), 1.0, 0.0));
            QVERIFY(signal.calcAverage() == 7.0);
        }
    }
};

QTEST_GUILESS_MAIN(TestFailurePaths)
#include "tst_failurepaths.moc"
