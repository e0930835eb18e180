// SPDX-License-Identifier: LGPL-2.1-or-later
// Two threads write one counter without a lock. The race runs inside a QtTest
// slot on the main thread and inside a QThread, so that both stacks pass through
// frames of Qt's core, as the races of a real test would: the suppressions for
// that library must still let it through.

#include <QThread>
#include <QtTest>

#include <atomic>
#include <memory>

class tst_DeliberateRace : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void unguardedCounterIsReported()
    {
        int counter = 0;
        // Relaxed atomics order the steps without telling the sanitizer of any
        // ordering, so the two writes below stay unordered for it.
        std::atomic<int> step{0};
        std::unique_ptr<QThread> writer(QThread::create([&counter, &step] {
            ++counter;
            step.store(1, std::memory_order_relaxed);
            while (step.load(std::memory_order_relaxed) != 2) {
                QThread::yieldCurrentThread();
            }
        }));
        writer->start();
        while (step.load(std::memory_order_relaxed) != 1) {
            QThread::yieldCurrentThread();
        }
        ++counter;
        step.store(2, std::memory_order_relaxed);
        writer->wait();
    }
};

QTEST_GUILESS_MAIN(tst_DeliberateRace)
#include "tst_deliberate_race.moc"
