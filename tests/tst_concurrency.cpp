// SPDX-License-Identifier: LGPL-2.1-or-later
#include <Talveno/Talveno.h>

#include <QElapsedTimer>
#include <QMutex>
#include <QSemaphore>
#include <QTest>
#include <QThread>

#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

namespace
{
using Signal = GenericSignalImpl<CANopenObjectValue>;

constexpr unsigned int capacity = 200;
constexpr int batchSize = 5;
// Policy 2 cuts back only past capacity + capacity/10, and appendValues adds a
// batch beyond that before the next intake cuts.
constexpr int mostSamples = capacity + capacity / 10 + batchSize;
constexpr double scaleFactor = 2.0;
constexpr double scaleOffset = 1.0;

// Written by the readers; compared on the main thread.
struct Findings
{
    std::atomic<int> failures{0};
    QMutex mutex;
    QString first;

    void check(bool ok, const char *what)
    {
        if (!ok && failures.fetch_add(1) == 0) {
            const QMutexLocker locker(&mutex);
            first = QString::fromLatin1(what);
        }
    }
};

#define CHECK(condition) findings.check(condition, #condition)

bool finite(double value)
{
    return std::isfinite(value);
}

// A sample is taken in raw and scaled a moment later, so a reader may meet it
// unscaled; once scaled, it must carry exactly its own raw value's scaling.
bool wellScaled(const CANopenObjectValue &sample)
{
    return !sample.scaledValue.isValid()
        || sample.scaledValue.toDouble() == sample.rawValue.toDouble() * scaleFactor + scaleOffset;
}

// The feeder numbers its samples upward, across clears too.
bool consistent(const QVector<CANopenObjectValue> &samples)
{
    for (int i = 0; i < samples.size(); ++i) {
        if (!wellScaled(samples.at(i))
            || (i > 0 && samples.at(i - 1).rawValue.toDouble() >= samples.at(i).rawValue.toDouble())) {
            return false;
        }
    }
    return true;
}

CANopenObjectValue numbered(qint64 number)
{
    CANopenObjectValue sample;
    sample.rawValue = double(number);
    return sample;
}

void readEverything(Signal &signal, Findings &findings)
{
    // The history operations first, back to back and while this copy shares the
    // history: a reader that detached the shared vector under the read lock would
    // meet another reader here.
    const QVector<CANopenObjectValue> history = signal.getValues();
    CHECK(history.size() <= mostSamples);
    CHECK(signal.getRating(1.0, false, 0.0, 0.0) <= 100);
    CHECK(signal.getRating(1.0, true, 0.0, 1e6) <= 100);
    const QVector<CANopenObjectValue> deviators = signal.getDeviators(1.0);
    CHECK(deviators.size() <= mostSamples && consistent(deviators));
    const int count = signal.getValueCount();
    CHECK(count >= 0 && count <= mostSamples);
    CANopenObjectValue sample;
    if (signal.getValue(count / 2, sample)) {
        CHECK(wellScaled(sample));
    }
    CHECK(!signal.getValue(mostSamples, sample));
    const CANopenObjectValue newest = signal.getValue();
    CHECK(newest.scaledValue.isValid() && wellScaled(newest));
    CHECK(consistent(history));

    CHECK(finite(signal.calcAverage()));
    CHECK(signal.calcDeviation() >= 0.0);
    CHECK(finite(signal.getAverage()));
    CHECK(signal.getDeviation() >= 0.0);
    CHECK(finite(signal.getMax()) && finite(signal.getMin()));
    CHECK(finite(signal.calcMedian()));
    double average = 0.0;
    double median = 0.0;
    double deviation = -1.0;
    QVariant maximum;
    QVariant minimum;
    unsigned int statisticsCount = 0;
    signal.getValueStatistics(average, maximum, minimum, median, deviation, statisticsCount);
    CHECK(finite(average) && deviation >= 0.0 && maximum.isValid() && minimum.isValid());
    CHECK(statisticsCount <= unsigned(mostSamples));
    CHECK(finite(signal.getLowerThreshold(1.0)) && finite(signal.getUpperThreshold(1.0)));
    const double age = signal.getAgeInSeconds();
    CHECK(age >= 0.0 && age < 600.0);
}
}

class TestConcurrency : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        GenericSignal::setMaxValueCount(capacity);
    }

    void readersBesideFeederAndWorker()
    {
        constexpr int readerCount = 2;
        // Bounded by time rather than by count, so that the instrumented build
        // takes as long as the plain one.
        constexpr qint64 runMilliseconds = 1500;

        Signal signal;
        signal.setValueHandling(GenericSignal::Append); // starts the worker
        qint64 next = 0;
        QVERIFY(signal.setNewValue(numbered(next++), scaleFactor, scaleOffset));

        Findings findings;
        std::atomic<bool> stop{false};
        QSemaphore ready;
        QSemaphore go;
        std::vector<std::atomic<qint64>> passes(readerCount);
        // std::thread, whose join the thread sanitizer sees, unlike QThread::wait.
        QSemaphore finished;
        std::vector<std::thread> threads;
        for (int reader = 0; reader < readerCount; ++reader) {
            threads.emplace_back([&, reader] {
                ready.release();
                go.acquire();
                while (!stop.load()) {
                    readEverything(signal, findings);
                    ++passes[reader];
                }
                finished.release();
            });
        }
        std::atomic<qint64> fed{0};
        threads.emplace_back([&] {
            ready.release();
            go.acquire();
            QElapsedTimer timer;
            timer.start();
            for (qint64 round = 1; timer.elapsed() < runMilliseconds; ++round) {
                findings.check(signal.setNewValue(numbered(next++), scaleFactor, scaleOffset), "scaled intake refused");
                if (round % 97 == 0) {
                    QVector<CANopenObjectValue> batch;
                    for (int i = 0; i < batchSize; ++i) {
                        batch.append(numbered(next++));
                    }
                    signal.appendValues(batch, scaleFactor, scaleOffset);
                }
                if (round % 211 == 0) {
                    signal.rebuildStatisticsFromValues();
                }
                if (round % 1009 == 0) {
                    signal.clearValues();
                }
                fed.store(round);
                // Pauses leave the readers stretches without a writer, in which
                // they share the history among themselves.
                if (round % 32 == 0) {
                    QThread::usleep(1000);
                }
            }
            stop.store(true);
            finished.release();
        });

        ready.acquire(int(threads.size()));
        go.release(int(threads.size()));
        // A thread still running here is a deadlock; leaving the test would
        // destroy the signal under it.
        if (!finished.tryAcquire(int(threads.size()), 60000)) {
            qFatal("a thread did not finish: deadlock");
        }
        for (std::thread &thread : threads) {
            thread.join();
        }

        QVERIFY2(findings.failures.load() == 0,
                 qPrintable(
                     QStringLiteral("%1 failed checks, first: %2").arg(findings.failures.load()).arg(findings.first)));
        QVERIFY(fed.load() > 0);
        for (const auto &count : passes) {
            QVERIFY(count.load() > 0);
        }
        qInfo("fed %lld samples; reader passes %lld and %lld", fed.load(), passes[0].load(), passes[1].load());
    }
};

QTEST_GUILESS_MAIN(TestConcurrency)
#include "tst_concurrency.moc"
