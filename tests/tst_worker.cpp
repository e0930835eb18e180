// SPDX-License-Identifier: LGPL-2.1-or-later
#include "TestSupport.h"
#include "ThreadCount.h"

#include <QElapsedTimer>
#include <QTest>
#include <QThread>

#include <algorithm>
#include <memory>

using TestSupport::threadCount;

namespace
{
using Signal = GenericSignalImpl<CANopenObjectValue>;

// How long a wait for the worker may take before it counts as lost: a hundred
// periods, for a loaded machine and for Wine, whose threads start and leave
// through its server. The waits end as soon as their condition holds.
constexpr int patienceMs = 10000;

bool feed(Signal &signal, double raw)
{
    return signal.setNewValue(TestSupport::sample<CANopenObjectValue>(raw), 1.0, 0.0);
}
}

// The scaled intake refreshes the cached statistics itself, while a new, empty
// calculator from setDatatype() does not: after that only a pass of the worker
// brings the cached average to 0.
class TestWorker : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        baseline = threadCount();
        if (baseline < 0) {
            QSKIP("needs the system's list of this process's threads");
        }
    }

    // A joined thread may linger in the count for a moment while it leaves.
    void init()
    {
        QTRY_COMPARE_WITH_TIMEOUT(threadCount(), baseline, patienceMs);
    }

    void enableTwiceGivesOneRefreshingWorker()
    {
        Signal signal; // starts no worker under its first policy
        QCOMPARE(threadCount(), baseline);
        signal.setUpdatingEnabled(true);
        signal.setUpdatingEnabled(true);
        QCOMPARE(threadCount(), baseline + 1);
        QVERIFY(feed(signal, 40.0));
        QVERIFY(feed(signal, 44.0));
        QVERIFY(signal.getDeviation() != 0.0);
        signal.setDatatype(CAN::Real64);
        QTRY_VERIFY_WITH_TIMEOUT(signal.getAverage() == 0.0 && signal.getDeviation() == 0.0, patienceMs);
    }

    void switchOffJoins_data()
    {
        QTest::addColumn<int>("handling"); // -1: setUpdatingEnabled(false)
        QTest::newRow("setUpdatingEnabledFalse") << -1;
        QTest::newRow("setValueHandling1") << 1;
        QTest::newRow("setValueHandling0") << 0;
    }

    void switchOffJoins()
    {
        QFETCH(int, handling);
        Signal signal;
        signal.setValueHandling(GenericSignal::Append);
        QCOMPARE(threadCount(), baseline + 1);
        QVERIFY(feed(signal, 42.0));
        if (handling < 0) {
            signal.setUpdatingEnabled(false);
        } else {
            signal.setValueHandling(static_cast<GenericSignal::NewValueHandlingType>(handling));
        }
        // Joined before the call returned: no pass may follow.
        signal.setDatatype(CAN::Real64);
        QThread::msleep(300); // three worker periods
        QVERIFY(signal.getAverage() == 42.0);
        QTRY_COMPARE_WITH_TIMEOUT(threadCount(), baseline, patienceMs);
        signal.setUpdatingEnabled(false); // no worker: nothing to join, and no hang
    }

    void destructionJoinsRunningWorker()
    {
        for (int round = 0; round < 20; ++round) {
            auto signal = std::make_unique<Signal>();
            signal->setValueHandling(GenericSignal::Append);
            // Every other round the worker is still starting when the object goes.
            if (round % 2 == 1) {
                QVERIFY(feed(*signal, round));
                signal->setDatatype(CAN::Real64);
                QTRY_VERIFY_WITH_TIMEOUT(signal->getAverage() == 0.0, patienceMs);
            }
        }
        QTRY_COMPARE_WITH_TIMEOUT(threadCount(), baseline, patienceMs);
    }

    void switchOffWhileWorkerSleepsReturnsPromptly()
    {
        Signal signal;
        QVector<qint64> durations;
        for (int round = 0; round < 7; ++round) {
            QVERIFY(feed(signal, 42.0));
            signal.setDatatype(CAN::Real64);
            signal.setUpdatingEnabled(true);
            // Once the first pass has written the cache, the worker goes to sleep;
            // polled finely, so that the sleep has most of its period still to run.
            QElapsedTimer timer;
            timer.start();
            while (signal.getAverage() != 0.0 && !timer.hasExpired(patienceMs)) {
                QThread::usleep(200);
            }
            QVERIFY(signal.getAverage() == 0.0);
            QThread::msleep(5);
            timer.restart();
            signal.setUpdatingEnabled(false);
            durations.append(timer.elapsed());
        }
        // Sleeping out the period would take about 95 ms; a woken worker leaves at
        // once. The median keeps one slow round on a busy machine from failing it.
        std::sort(durations.begin(), durations.end());
        QVERIFY2(durations.at(3) < 50, qPrintable(QStringLiteral("median %1 ms").arg(durations.at(3))));
    }

    void ageInSeconds()
    {
        Signal signal;
        CANopenObjectValue sample;
        QVERIFY(signal.setNewValue(sample));
        signal.appendValues({sample}, 1.0, 0.0);
        QVERIFY(signal.getAgeInSeconds() == -1.0); // only the scaled intake starts it
        QVERIFY(feed(signal, 1.0));
        QThread::msleep(150);
        const double aged = signal.getAgeInSeconds();
        QVERIFY2(aged >= 0.1, qPrintable(QString::number(aged)));
        QVERIFY2(aged < 60.0, qPrintable(QString::number(aged)));
        // The plain intake does not restart it; clearing and refused intakes are the
        // signal-object test's.
        QVERIFY(signal.setNewValue(sample));
        QVERIFY(signal.getAgeInSeconds() >= aged);
        QVERIFY(feed(signal, 1.0));
        QVERIFY(signal.getAgeInSeconds() < aged);
    }

private:
    int baseline = 0;
};

QTEST_GUILESS_MAIN(TestWorker)
#include "tst_worker.moc"
