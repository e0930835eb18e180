// SPDX-License-Identifier: LGPL-2.1-or-later
#include "TestSupport.h"

#include <QElapsedTimer>
#include <QSemaphore>
#include <QTest>
#include <QThread>

#include <atomic>
#include <cmath>
#include <thread>
#include <type_traits>
#include <vector>

namespace
{
using Signal = GenericSignalImpl<CANopenObjectValue>;

constexpr unsigned int capacity = 200;
constexpr int batchSize = 5;
// Policy 2 cuts back only past capacity + capacity/10, and appendValues adds a
// batch beyond that before the next intake cuts.
constexpr int mostSamples = capacity + capacity / 10 + batchSize;

// Counted in the reader threads, compared on the main thread.
std::atomic<int> failures{0};
std::atomic<const char *> firstFailure{nullptr};

#define CHECK(condition) check(condition, #condition)

void check(bool ok, const char *what)
{
    const char *none = nullptr;
    if (!ok && failures.fetch_add(1) == 0) {
        firstFailure.compare_exchange_strong(none, what);
    }
}

CANopenObjectValue numbered(qint64 number)
{
    return TestSupport::sample<CANopenObjectValue>(double(number));
}

// A sample is taken in raw and scaled a moment later, so a reader may meet it
// unscaled; once scaled, it must carry exactly its own raw value's scaling
// (factor 2, offset 1). The feeder numbers its samples upward, across clears too.
bool consistent(const QVector<CANopenObjectValue> &samples)
{
    for (int i = 0; i < samples.size(); ++i) {
        const double raw = samples.at(i).rawValue.toDouble();
        if ((samples.at(i).scaledValue.isValid() && samples.at(i).scaledValue.toDouble() != raw * 2.0 + 1.0)
            || (i > 0 && samples.at(i - 1).rawValue.toDouble() >= raw)) {
            return false;
        }
    }
    return true;
}

void readEverything(Signal &signal)
{
    // The history operations first, back to back and while this copy shares the
    // history: a reader that detached the shared vector under the read lock would
    // meet another reader here.
    const QVector<CANopenObjectValue> history = signal.getValues();
    CHECK(signal.getRating(1.0, false, 0.0, 0.0) <= 100 && signal.getRating(1.0, true, 0.0, 1e6) <= 100);
    const QVector<CANopenObjectValue> deviators = signal.getDeviators(1.0);
    const int count = signal.getValueCount();
    CANopenObjectValue sample;
    CHECK(!signal.getValue(count / 2, sample) || consistent({sample}));
    CHECK(signal.getValue().scaledValue.isValid() && consistent({signal.getValue()}));
    CHECK(count <= mostSamples && history.size() <= mostSamples && consistent(history) && consistent(deviators));
    double average = 0.0, median = 0.0, deviation = -1.0;
    QVariant maximum, minimum;
    unsigned int stored = 0;
    signal.getValueStatistics(average, maximum, minimum, median, deviation, stored);
    // A sum of the statistics is finite only if every one of them is.
    CHECK(std::isfinite(average + median + maximum.toDouble() + minimum.toDouble() + signal.getAverage()
                        + signal.getLowerThreshold(1.0) + signal.getUpperThreshold(1.0)));
    CHECK(deviation >= 0.0 && signal.getDeviation() >= 0.0 && stored <= unsigned(mostSamples));
    CHECK(signal.getAgeInSeconds() >= 0.0 && signal.getAgeInSeconds() < 600.0);
}

// A scaled value whose conversion waits to be let through; a rebuild converts it
// while it holds the calculator.
struct Gate
{
};
QSemaphore gateReached, gateOpened;

// An explicit instantiation may name private members: each one below defines
// memberOf() for its tag, so that the tests can probe the object's own locks.
template<typename Tag, typename Tag::Type pointer>
struct Expose
{
    friend typename Tag::Type memberOf(Tag)
    {
        return pointer;
    }
};
// clang-format off
struct ValuesLock { using Type = QReadWriteLock Signal::*; friend Type memberOf(ValuesLock); };
struct CalculatorMutex { using Type = QMutex Signal::*; friend Type memberOf(CalculatorMutex); };
struct SpareMutex { using Type = QMutex Signal::*; friend Type memberOf(SpareMutex); };
struct ValueChanged { using Type = std::atomic<bool> Signal::*; friend Type memberOf(ValueChanged); };
// clang-format on
template struct Expose<ValuesLock, &Signal::valuesLock>;
template struct Expose<CalculatorMutex, &Signal::calculatorMutex>;
template struct Expose<SpareMutex, &Signal::spareMutex>;
template struct Expose<ValueChanged, &Signal::valueChanged>;

template<typename Lock>
bool isFree(Lock &lock)
{
    bool taken = false;
    if constexpr (std::is_same_v<Lock, QReadWriteLock>) {
        taken = lock.tryLockForWrite();
    } else {
        taken = lock.tryLock();
    }
    if (taken) {
        lock.unlock();
    }
    return taken;
}
}
Q_DECLARE_METATYPE(Gate)

class TestConcurrency : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readersBesideFeederAndWorker()
    {
        // Bounded by time rather than by count, so that the instrumented build
        // takes as long as the plain one.
        constexpr qint64 runMilliseconds = 1500;
        const TestSupport::Capacity held(capacity);
        Signal signal;
        signal.setValueHandling(GenericSignal::Append); // starts the worker
        qint64 next = 0;
        QVERIFY(signal.setNewValue(numbered(next++), 2.0, 1.0));

        std::atomic<bool> stop{false};
        QSemaphore finished;
        std::atomic<qint64> passes[2] = {{0}, {0}};
        // std::thread, whose join the thread sanitizer sees, unlike QThread::wait.
        std::vector<std::thread> threads;
        for (std::atomic<qint64> &readerPasses : passes) {
            threads.emplace_back([&] {
                for (; !stop.load(); ++readerPasses) {
                    readEverything(signal);
                }
                finished.release();
            });
        }
        threads.emplace_back([&] {
            QElapsedTimer timer;
            timer.start();
            for (qint64 round = 1; timer.elapsed() < runMilliseconds; ++round) {
                check(signal.setNewValue(numbered(next++), 2.0, 1.0), "scaled intake refused");
                if (round % 97 == 0) {
                    QVector<CANopenObjectValue> batch;
                    for (int i = 0; i < batchSize; ++i) {
                        batch.append(numbered(next++));
                    }
                    signal.appendValues(batch, 2.0, 1.0);
                }
                if (round % 211 == 0) {
                    signal.rebuildStatisticsFromValues();
                }
                if (round % 1009 == 0) {
                    signal.clearValues();
                }
                // Pauses leave the readers stretches without a writer, in which
                // they share the history among themselves.
                if (round % 32 == 0) {
                    QThread::usleep(1000);
                }
            }
            stop.store(true);
            finished.release();
        });

        // A thread still running here is a deadlock; leaving the test would
        // destroy the signal under it.
        if (!finished.tryAcquire(int(threads.size()), 60000)) {
            qFatal("a thread did not finish: deadlock");
        }
        for (std::thread &thread : threads) {
            thread.join();
        }
        QVERIFY2(failures.load() == 0,
                 qPrintable(QStringLiteral("%1 failed checks, first: %2")
                                .arg(failures.load())
                                .arg(QLatin1String(firstFailure.load()))));
        QVERIFY(next > 1);
        QVERIFY(passes[0].load() > 0);
        QVERIFY(passes[1].load() > 0);
    }

    // A host reads its copy of the history and lets it go, holding none of the
    // signal's locks, while samples keep coming: the intake must not write into
    // storage that the copy may still be read from.
    void copiesLetGoBesideTheIntake()
    {
        const TestSupport::Capacity held(capacity);
        Signal signal;
        signal.setValueHandling(GenericSignal::Append);
        std::atomic<bool> stop{false};
        std::thread reader([&] {
            while (!stop.load()) {
                const QVector<CANopenObjectValue> history = signal.getValues();
                CHECK(history.size() <= mostSamples && consistent(history));
            }
        });
        for (qint64 next = 0; next < 20000; ++next) {
            check(signal.setNewValue(numbered(next), 2.0, 1.0), "scaled intake refused");
        }
        stop.store(true);
        reader.join();
        QCOMPARE(failures.load(), 0);
    }

    void initTestCase()
    {
        QMetaType::registerConverter<Gate, double>([](Gate) {
            gateReached.release();
            gateOpened.acquire();
            return 0.0;
        });
    }

    // The scaled intake stops at a gated raw value while it scales the stored sample,
    // or at a gated scaled value (an excluded sample keeps it) while it feeds it.
    void intakeTakesOneLockAtATime_data()
    {
        QTest::addColumn<bool>("gateInRaw");
        QTest::addColumn<bool>("valuesLockHeld");
        QTest::addColumn<bool>("calculatorMutexHeld");
        QTest::newRow("scalingAfterThePlainIntake") << true << true << false;
        QTest::newRow("feedingAfterTheHistory") << false << false << true;
    }

    void intakeTakesOneLockAtATime()
    {
        QFETCH(bool, gateInRaw);
        QFETCH(bool, valuesLockHeld);
        QFETCH(bool, calculatorMutexHeld);
        Signal signal;
        signal.setDatatype(CAN::Real64);
        const QVariant gate = QVariant::fromValue(Gate());
        const CANopenObjectValue gated = gateInRaw ? TestSupport::sample<CANopenObjectValue>(gate)
                                                   : TestSupport::sample<CANopenObjectValue>(1.0, gate, true);
        std::thread intake([&] { signal.setNewValue(gated, 2.0, 1.0); });
        const bool reached = gateReached.tryAcquire(1, 10000);
        const bool valuesLockFree = isFree(signal.*memberOf(ValuesLock()));
        const bool calculatorMutexFree = isFree(signal.*memberOf(CalculatorMutex()));
        const bool spareMutexFree = isFree(signal.*memberOf(SpareMutex()));
        const bool marked = (signal.*memberOf(ValueChanged())).load();
        const bool newestBefore = !signal.getValue().rawValue.isValid() && signal.getAgeInSeconds() == -1.0;
        gateOpened.release();
        intake.join();
        QVERIFY2(reached, "the intake never converted the gated value");
        QCOMPARE(valuesLockFree, !valuesLockHeld);
        QCOMPARE(calculatorMutexFree, !calculatorMutexHeld);
        QVERIFY(spareMutexFree);
        QVERIFY2(marked, "the plain intake's markers come before the scaling");
        QVERIFY2(newestBefore, "the newest sample and its age change only after the feed");
        QCOMPARE(signal.getValue().rawValue, gated.rawValue);
        QVERIFY(signal.getAgeInSeconds() >= 0.0);
    }

    // spareMutex guards nothing: every operation goes on while a host holds it.
    void spareMutexIsNeverTaken()
    {
        const TestSupport::Capacity held(3);
        Signal signal;
        QMutex &spare = signal.*memberOf(SpareMutex());
        spare.lock();
        QSemaphore done;
        std::thread user([&] {
            signal.setValueHandling(GenericSignal::Append);
            for (int i = 0; i < 5; ++i) {
                signal.setNewValue(numbered(i), 2.0, 1.0);
            }
            signal.rebuildStatisticsFromValues();
            signal.getValue();
            signal.getAgeInSeconds();
            signal.clearValues();
            signal.setValueHandling(GenericSignal::ReplaceNewest);
            done.release();
        });
        const bool finished = done.tryAcquire(1, 10000);
        spare.unlock();
        user.join();
        QVERIFY2(finished, "an operation waited for spareMutex");
    }

    void gettersBesideHeldCalculator()
    {
        Signal signal;
        signal.setDatatype(CAN::Real64);
        CANopenObjectValue gated;
        gated.scaledValue = QVariant::fromValue(Gate());
        QVERIFY(signal.setNewValue(gated)); // plain intake: stored as it is
        std::thread rebuild([&] { signal.rebuildStatisticsFromValues(); });
        const bool reached = gateReached.tryAcquire(1, 10000);
        QSemaphore answered;
        std::thread reader([&] {
            signal.getValue();
            signal.getAgeInSeconds();
            answered.release();
        });
        // Runs out only when a getter waits for the calculator.
        const bool prompt = answered.tryAcquire(1, 10000);
        gateOpened.release();
        rebuild.join();
        reader.join();
        QVERIFY2(reached, "the rebuild never converted the gated value");
        QVERIFY2(prompt, "a getter waited for the rebuild");
    }
};

QTEST_GUILESS_MAIN(TestConcurrency)
#include "tst_concurrency.moc"
