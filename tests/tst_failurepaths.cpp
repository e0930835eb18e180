// SPDX-License-Identifier: LGPL-2.1-or-later
// A calculator whose construction throws leaves the signal's calculator valueless;
// every operation that reaches it then throws, keeps what it did before, and
// releases its locks.
#include <Talveno/Talveno.h>

#include <Quillon/StatisticCalculator.h>

#include <QDir>
#include <QtTest>

#include <cmath>
#include <functional>
#include <memory>
#include <new>
#include <thread>
#include <variant>

namespace
{
using Signal = GenericSignalImpl<J1939Value>;
using Operation = std::function<void(Signal &)>;

J1939Value sample(int raw)
{
    J1939Value value;
    value.rawValue = raw;
    return value;
}

// Threads of this process; -1 where the system does not list them.
int threadCount()
{
    const QDir tasks(QStringLiteral("/proc/self/task"));
    return tasks.exists() ? tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot).size() : -1;
}
}
Q_DECLARE_METATYPE(Operation)

class TestFailurePaths : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup();
    void valuelessCalculator_data();
    void valuelessCalculator();
    void updatingFlagIsStoredBeforeDispatch();
    void destroyWhileValueless_data();
    void destroyWhileValueless();
    void constructionFailure_data();
    void constructionFailure();

private:
    // History of scaled 1, 2, 3 replayed into a double calculator (cached average 2,
    // latest sample 3, no scaled intake yet), then an unscaled 4, then a failed
    // switch to qint32.
    static bool makeValueless(Signal &signal);

    unsigned int statisticsCount = 0;
};

void TestFailurePaths::cleanup()
{
    Quillon::failCalculatorConstruction(0);
}

bool TestFailurePaths::makeValueless(Signal &signal)
{
    signal.setValueHandling(GenericSignal::Append);
    signal.setUpdatingEnabled(false);
    signal.setDatatype(CAN::Real64);
    signal.appendValues({sample(1), sample(2), sample(3)}, 1.0, 0.0);
    signal.rebuildStatisticsFromValues();
    if (!signal.setNewValue(sample(4))) {
        return false;
    }
    Quillon::failCalculatorConstruction(1);
    try {
        signal.setDatatype(CAN::Integer32);
    } catch (const std::bad_alloc &) {
        return signal.getDatatype() == CAN::Integer32;
    }
    return false;
}

void TestFailurePaths::valuelessCalculator_data()
{
    QTest::addColumn<Operation>("operation");
    QTest::addColumn<int>("countAfter");
    QTest::addColumn<QVariant>("newestScaled");

    const QVariant unscaled;
    QTest::newRow("clearValuesHasEmptiedHistory") << Operation([](Signal &s) { s.clearValues(); }) << 0 << unscaled;
    QTest::newRow("scaledIntakeHasStoredAndScaled")
        << Operation([](Signal &s) { s.setNewValue(sample(10), 2.0, 1.0); }) << 5 << QVariant(21);
    QTest::newRow("updatingOn") << Operation([](Signal &s) { s.setUpdatingEnabled(true); }) << 4 << unscaled;
    QTest::newRow("updatingOff") << Operation([](Signal &s) { s.setUpdatingEnabled(false); }) << 4 << unscaled;
    QTest::newRow("updateAverageAndDeviation")
        << Operation([](Signal &s) { s.updateAverageAndDeviation(); }) << 4 << unscaled;
    QTest::newRow("rebuild") << Operation([](Signal &s) { s.rebuildStatisticsFromValues(); }) << 4 << unscaled;
    QTest::newRow("calcAverage") << Operation([](Signal &s) { s.calcAverage(); }) << 4 << unscaled;
    QTest::newRow("calcDeviation") << Operation([](Signal &s) { s.calcDeviation(); }) << 4 << unscaled;
    QTest::newRow("getMax") << Operation([](Signal &s) { s.getMax(); }) << 4 << unscaled;
    QTest::newRow("getMin") << Operation([](Signal &s) { s.getMin(); }) << 4 << unscaled;
    QTest::newRow("calcMedianUnderAppend") << Operation([](Signal &s) { s.calcMedian(); }) << 4 << unscaled;
    QTest::newRow("getValueStatisticsHasCounted") << Operation([this](Signal &s) {
        double average = 0.0;
        double median = 0.0;
        double deviation = 0.0;
        QVariant maximum;
        QVariant minimum;
        s.getValueStatistics(average, maximum, minimum, median, deviation, statisticsCount);
    }) << 4 << unscaled;
}

void TestFailurePaths::valuelessCalculator()
{
    QFETCH(Operation, operation);
    QFETCH(int, countAfter);
    QFETCH(QVariant, newestScaled);

    Signal signal;
    QVERIFY(makeValueless(signal));
    const double deviation = signal.getDeviation();
    QVERIFY(std::fabs(deviation - std::sqrt(2.0 / 3.0)) < 1e-15);
    const int threads = threadCount();
    statisticsCount = 0;

    QVERIFY_EXCEPTION_THROWN(operation(signal), std::bad_variant_access);

    QCOMPARE(signal.getValueCount(), countAfter);
    if (countAfter > 0) {
        J1939Value newest;
        QVERIFY(signal.getValue(countAfter - 1, newest));
        QVERIFY(newest.scaledValue == newestScaled);
    }
    if (QTest::currentDataTag() == QByteArray("getValueStatisticsHasCounted")) {
        QCOMPARE(statisticsCount, 4u);
    }
    QVERIFY(signal.getAverage() == 2.0);
    QVERIFY(signal.getDeviation() == deviation);
    QVERIFY(signal.getValue().rawValue == QVariant(3));
    QVERIFY(signal.getAgeInSeconds() == -1.0);
    QVERIFY(threadCount() <= threads);

    // Every lock is free again: these would block on one still held by this thread.
    QVERIFY(signal.setNewValue(sample(5)));
    QCOMPARE(signal.getValueCount(), countAfter + 1);
    QVERIFY_EXCEPTION_THROWN(signal.calcMedian(), std::bad_variant_access);
    QVERIFY_EXCEPTION_THROWN(signal.clearValues(), std::bad_variant_access);
    QCOMPARE(signal.getValueCount(), 0);

    signal.setDatatype(CAN::Real64);
    QVERIFY(signal.calcAverage() == 0.0);
    QVERIFY(signal.setNewValue(sample(6), 1.0, 0.0));
    QVERIFY(signal.getAverage() == 6.0);
    QVERIFY(signal.calcMedian() == 6.0);
    QVERIFY(signal.getAgeInSeconds() >= 0.0);
}

void TestFailurePaths::updatingFlagIsStoredBeforeDispatch()
{
    Signal signal;
    QVERIFY(makeValueless(signal));
    const int threads = threadCount();
    QVERIFY_EXCEPTION_THROWN(signal.setUpdatingEnabled(true), std::bad_variant_access);
    QVERIFY(threadCount() <= threads);

    // With the flag on, the worker's loop runs when called directly: it stores the
    // new, empty calculator's average over the cached 2.
    signal.setDatatype(CAN::Real64);
    // std::thread, whose join the thread sanitizer sees, unlike QThread::wait.
    QSemaphore loopDone;
    std::thread loop([&] {
        signal.updateCalculations();
        loopDone.release();
    });
    QTRY_VERIFY_WITH_TIMEOUT(signal.getAverage() == 0.0, 10000);
    signal.setUpdatingEnabled(false);
    const bool loopReturned = loopDone.tryAcquire(1, 10000);
    loop.join();
    QVERIFY(loopReturned);

    // Switched on and off again while valueless, the loop returns at once.
    Quillon::failCalculatorConstruction(1);
    QVERIFY_EXCEPTION_THROWN(signal.setDatatype(CAN::Integer32), std::bad_alloc);
    QVERIFY_EXCEPTION_THROWN(signal.setUpdatingEnabled(true), std::bad_variant_access);
    QVERIFY_EXCEPTION_THROWN(signal.setUpdatingEnabled(false), std::bad_variant_access);
    signal.setDatatype(CAN::Real64);
    QSemaphore idleDone;
    std::thread idle([&] {
        signal.updateCalculations();
        idleDone.release();
    });
    const bool returned = idleDone.tryAcquire(1, 10000);
    if (!returned) {
        signal.setUpdatingEnabled(false);
    }
    idle.join();
    QVERIFY(returned);
}

void TestFailurePaths::destroyWhileValueless_data()
{
    QTest::addColumn<bool>("worker");
    QTest::newRow("withoutWorker") << false;
    QTest::newRow("withWorker") << true;
}

void TestFailurePaths::destroyWhileValueless()
{
    QFETCH(bool, worker);
    const int threads = threadCount();
    {
        Signal signal;
        if (worker) {
            signal.setValueHandling(GenericSignal::Append);
        } else {
            QVERIFY(signal.setNewValue(sample(1), 1.0, 0.0));
        }
        Quillon::failCalculatorConstruction(1);
        QVERIFY_EXCEPTION_THROWN(signal.setDatatype(CAN::Real64), std::bad_alloc);
        if (!worker) {
            QVERIFY(signal.calcMedian() == 0.0);
        }
    }
    QTRY_VERIFY_WITH_TIMEOUT(threadCount() <= threads, 10000);
}

void TestFailurePaths::constructionFailure_data()
{
    QTest::addColumn<int>("nth");
    QTest::newRow("doubleAlternativeThrows") << 1;
    QTest::newRow("qint32AlternativeThrows") << 2;
}

void TestFailurePaths::constructionFailure()
{
    QFETCH(int, nth);
    Quillon::failCalculatorConstruction(nth);
    QVERIFY_EXCEPTION_THROWN(std::make_unique<Signal>(), std::bad_alloc);
    Signal signal;
    QVERIFY(signal.setNewValue(sample(7), 1.0, 0.0));
    QVERIFY(signal.calcAverage() == 7.0);
}

QTEST_GUILESS_MAIN(TestFailurePaths)
#include "tst_failurepaths.moc"
