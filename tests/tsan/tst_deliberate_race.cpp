// SPDX-License-Identifier: LGPL-2.1-or-later
// Two threads write one counter without a lock. The race runs inside a QtTest
// slot on the main thread and inside a QThread, so that both stacks pass through
// frames of Qt's core, as the races of a real test would: the suppressions for
// that library must still let it through.

#include <QSemaphore>
#include <QThread>
#include <QtTest>

#include <memory>

class tst_DeliberateRace : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void unguardedCounterIsReported()
    {
        int counter = 0;
        // Qt's semaphores order the two writes out of the sanitizer's sight, and a
        // blocked thread records nothing: however long the main thread takes to
        // come, the writer's access stays in its history for the report.
        QSemaphore written;
        QSemaphore done;
        std::unique_ptr<QThread> writer(QThread::create([&counter, &written, &done] {
            ++counter;
            written.release();
            done.acquire();
        }));
        writer->start();
        written.acquire();
        ++counter;
        done.release();
        writer->wait();
    }
};

QTEST_GUILESS_MAIN(tst_DeliberateRace)
#include "tst_deliberate_race.moc"
