// SPDX-License-Identifier: LGPL-2.1-or-later
#include <Talveno/Talveno.h>

#include <QDir>
#include <QElapsedTimer>
#include <QTest>
#include <QThread>

#include <algorithm>
#include <memory>
#include <variant>

namespace
{
using Signal = GenericSignalImpl<CANopenObjectValue>;

// The worker is the only thread a signal starts, so the process's thread count
// shows whether one runs. A joined thread may linger in the count for a moment
// while it leaves, hence the waits on the count going down.
int threadCount()
{
    return QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size();
}

bool feed(Signal &signal, double raw)
{
    CANopenObjectValue sample;
    sample.rawValue = raw;
    return signal.setNewValue(sample, 1.0, 0.0);
}

// The scaled intake refreshes the cached statistics itself; a new, empty calculator
// does not. After this only a pass of the worker brings the cached average to 0.
void replaceCalculator(Signal &signal)
{
    signal.setDatatype(CAN::Real64);
}

// Polls finely, so that on return a worker pass wrote the cache moments ago.
bool cachedAverageTurnsZero(const Signal &signal)
{
    QElapsedTimer timer;
    timer.start();
    while (signal.getAverage() != 0.0) {
        if (timer.hasExpired(2000)) {
            return false;
        }
        QThread::usleep(200);
    }
    return true;
}

// Nothing may rewrite the cached average once the worker is gone.
void expectNoRefresh(Signal &signal)
{
    const double cached = signal.getAverage();
    QVERIFY(cached != 0.0);
    replaceCalculator(signal);
    QThread::msleep(300); // three worker periods
    QVERIFY(signal.getAverage() == cached);
}
}

class TestWorker : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        baseline = threadCount();
        if (baseline == 0) {
            QSKIP("needs /proc/self/task to count threads");
        }
    }

    void init()
    {
        QTRY_COMPARE_WITH_TIMEOUT(threadCount(), baseline, 2000);
    }

    void workerRefreshesCachedStatistics()
    {
        Signal signal;
        signal.setUpdatingEnabled(true);
        QVERIFY(feed(signal, 40.0));
        QVERIFY(feed(signal, 44.0));
        QVERIFY(signal.getDeviation() != 0.0);
        replaceCalculator(signal);
        QTRY_VERIFY_WITH_TIMEOUT(signal.getAverage() == 0.0 && signal.getDeviation() == 0.0, 2000);
    }

    void enableTwiceGivesOneWorker()
    {
        Signal signal;
        QCOMPARE(threadCount(), baseline);
        signal.setUpdatingEnabled(true);
        QCOMPARE(threadCount(), baseline + 1);
        signal.setUpdatingEnabled(true);
        QCOMPARE(threadCount(), baseline + 1);
        QVERIFY(feed(signal, 42.0));
        signal.setUpdatingEnabled(false);
        QTRY_COMPARE_WITH_TIMEOUT(threadCount(), baseline, 2000);
        expectNoRefresh(signal);
        signal.setUpdatingEnabled(false); // no worker: nothing to join
        QCOMPARE(threadCount(), baseline);
    }

    void setValueHandlingRunsWorkerUnderPolicy2_data()
    {
        QTest::addColumn<int>("handling");
        QTest::newRow("policy1") << 1;
        QTest::newRow("policy0") << 0;
        QTest::newRow("policy3") << 3;
    }

    void setValueHandlingRunsWorkerUnderPolicy2()
    {
        QFETCH(int, handling);
        Signal signal;
        signal.setValueHandling(GenericSignal::Append);
        QCOMPARE(threadCount(), baseline + 1);
        QVERIFY(feed(signal, 42.0));
        signal.setValueHandling(static_cast<GenericSignal::NewValueHandlingType>(handling));
        QCOMPARE(int(signal.getValueHandling()), handling);
        // Joined before setValueHandling returned: no pass may follow.
        expectNoRefresh(signal);
        QTRY_COMPARE_WITH_TIMEOUT(threadCount(), baseline, 2000);
    }

    void destructionJoinsRunningWorker()
    {
        for (int round = 0; round < 20; ++round) {
            auto signal = std::make_unique<Signal>();
            signal->setValueHandling(GenericSignal::Append);
            // Every other round the worker is still starting when the object goes.
            if (round % 2 == 1) {
                for (int i = 0; i < 50; ++i) {
                    QVERIFY(feed(*signal, i));
                }
                replaceCalculator(*signal);
                QTRY_VERIFY_WITH_TIMEOUT(signal->getAverage() == 0.0, 2000);
            }
            signal.reset();
        }
        QTRY_COMPARE_WITH_TIMEOUT(threadCount(), baseline, 2000);
    }

    void switchOffWhileWorkerSleepsReturnsPromptly()
    {
        Signal signal;
        QVector<qint64> durations;
        for (int round = 0; round < 7; ++round) {
            QVERIFY(feed(signal, 42.0));
            replaceCalculator(signal);
            signal.setUpdatingEnabled(true);
            // Once the first pass has written the cache, the worker goes to sleep.
            QVERIFY(cachedAverageTurnsZero(signal));
            QThread::msleep(5);
            QElapsedTimer timer;
            timer.start();
            signal.setUpdatingEnabled(false);
            durations.append(timer.elapsed());
        }
        // Sleeping out the period would take about 95 ms; a woken worker leaves at
        // once. The median keeps one slow round on a busy machine from failing it.
        std::sort(durations.begin(), durations.end());
        QVERIFY2(durations.at(3) < 50, qPrintable(QStringLiteral("median %1 ms").arg(durations.at(3))));
    }

    void workerSurvivesFailedCalculator()
    {
        Signal signal;
        signal.setUpdatingEnabled(true);
        Quillon::failCalculatorConstruction(1);
        QVERIFY_EXCEPTION_THROWN(replaceCalculator(signal), std::bad_alloc);
        // The worker's next pass meets the empty variant and ends its thread quietly.
        QTRY_COMPARE_WITH_TIMEOUT(threadCount(), baseline, 2000);
        QVERIFY_EXCEPTION_THROWN(signal.setUpdatingEnabled(false), std::bad_variant_access);

        replaceCalculator(signal);
        signal.setUpdatingEnabled(false);
        signal.setUpdatingEnabled(true);
        QCOMPARE(threadCount(), baseline + 1);
        QVERIFY(feed(signal, 42.0));
        replaceCalculator(signal);
        QTRY_VERIFY_WITH_TIMEOUT(signal.getAverage() == 0.0, 2000);

        // Destroyed with an empty variant: the worker is joined all the same.
        Quillon::failCalculatorConstruction(1);
        QVERIFY_EXCEPTION_THROWN(replaceCalculator(signal), std::bad_alloc);
    }

    void ageInSeconds()
    {
        Signal signal;
        QVERIFY(signal.getAgeInSeconds() == -1.0);
        CANopenObjectValue sample;
        sample.rawValue = 1.0;
        QVERIFY(signal.setNewValue(sample));
        signal.appendValues({sample}, 1.0, 0.0);
        QVERIFY(signal.getAgeInSeconds() == -1.0);

        QVERIFY(feed(signal, 1.0));
        const double fresh = signal.getAgeInSeconds();
        QVERIFY2(fresh >= 0.0 && fresh < 1.0, qPrintable(QString::number(fresh)));
        QThread::msleep(150);
        const double aged = signal.getAgeInSeconds();
        QVERIFY2(aged >= 0.1, qPrintable(QString::number(aged)));

        // Neither the plain intake, clearing nor a refused scaled intake restarts it.
        QVERIFY(signal.setNewValue(sample));
        signal.clearValues();
        signal.setValueHandling(static_cast<GenericSignal::NewValueHandlingType>(3));
        QVERIFY(!feed(signal, 1.0));
        QVERIFY(signal.getAgeInSeconds() >= aged);

        signal.setValueHandling(GenericSignal::ReplaceNewest);
        QVERIFY(feed(signal, 1.0));
        QVERIFY(signal.getAgeInSeconds() < aged);
    }

private:
    int baseline = 0;
};

QTEST_GUILESS_MAIN(TestWorker)
#include "tst_worker.moc"
