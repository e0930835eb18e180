// SPDX-License-Identifier: LGPL-2.1-or-later
// The scaled intake per sample, beside a floor that does the same logical work
// (append, trim by the capacity rule, scale, running statistics, keep the latest)
// on plain structs, without locks or variants; and beside the synchronization
// that the intake's lock rules fix per sample, doing no work under its locks.
#include "IntakeFloor.h"

#include <Talveno/Talveno.h>

#include <QElapsedTimer>
#include <QMutex>
#include <QReadWriteLock>

#include <benchmark/benchmark.h>

#include <atomic>
#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace
{
constexpr int ringSize = 1024;
using IntakeFloor::factor;
using IntakeFloor::offset;

std::vector<double> rawRing()
{
    std::mt19937 generator(7);
    std::uniform_real_distribution<double> distribution(0.0, 1000.0);
    std::vector<double> raws(ringSize);
    for (double &raw : raws) {
        raw = std::floor(distribution(generator));
    }
    return raws;
}

// The worker is switched off so that only the intake is measured; its wake-up
// every 100 ms would only add noise.
void scaledIntake(benchmark::State &state, CAN::CANopenDataType type, unsigned int capacity)
{
    GenericSignal::setMaxValueCount(capacity);
    GenericSignalImpl<J1939Value> signal;
    signal.setDatatype(type);
    if (capacity != 0) {
        signal.setValueHandling(GenericSignal::Append);
        signal.setUpdatingEnabled(false);
    }
    std::vector<J1939Value> samples(ringSize);
    const std::vector<double> raws = rawRing();
    for (int i = 0; i < ringSize; ++i) {
        samples[i].rawValue = type == CAN::Integer32 ? QVariant(static_cast<int>(raws[i])) : QVariant(raws[i]);
    }
    // Start from a history that has already been trimmed once.
    for (unsigned int i = 0; i <= capacity + capacity / 10; ++i) {
        signal.setNewValue(samples[i % ringSize], factor, offset);
    }

    unsigned int next = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(signal.setNewValue(samples[next++ % ringSize], factor, offset));
    }
    state.SetItemsProcessed(state.iterations());
    GenericSignal::setMaxValueCount(1000);
}

void intakeFloor(benchmark::State &state, unsigned int capacity)
{
    std::vector<IntakeFloor::PlainSample> samples(ringSize);
    const std::vector<double> raws = rawRing();
    for (int i = 0; i < ringSize; ++i) {
        samples[i].raw = raws[i];
    }
    IntakeFloor::PlainSignal signal;
    for (unsigned int i = 0; i <= capacity + capacity / 10; ++i) {
        signal.intake(samples[i % ringSize], capacity);
    }

    unsigned int next = 0;
    for (auto _ : state) {
        signal.intake(samples[next++ % ringSize], capacity);
        benchmark::DoNotOptimize(signal.average);
        benchmark::DoNotOptimize(signal.deviation);
        benchmark::DoNotOptimize(signal.latest);
    }
    state.SetItemsProcessed(state.iterations());
}

// The scaled intake's fixed cost per sample: the clock read for the age, the
// plain intake's write hold of the history, the scaling's second one, the
// calculator's mutex around the two sequentially consistent stores of the
// cached statistics, and the newest sample's brief lock around the age. The
// change markers are already set and only loaded, as in the intake.
struct IntakeLocks
{
    void intake(double scaled)
    {
        QElapsedTimer started;
        started.start();
        {
            const QWriteLocker locker(&valuesLock);
            newest = scaled;
        }
        benchmark::DoNotOptimize(changed.load());
        {
            const QWriteLocker locker(&valuesLock);
            newest = newest * factor + offset;
        }
        {
            const QMutexLocker locker(&calculatorMutex);
            average.store(newest);
            deviation.store(newest);
        }
        while (newestHeld.exchange(true, std::memory_order_acquire)) { }
        ageTimer = started;
        newestHeld.store(false, std::memory_order_release);
    }

    QReadWriteLock valuesLock;
    QMutex calculatorMutex;
    double newest = 0.0;
    std::atomic<bool> changed{true};
    std::atomic<double> average{0.0};
    std::atomic<double> deviation{0.0};
    std::atomic<bool> newestHeld{false};
    QElapsedTimer ageTimer;
};

void intakeLockFloor(benchmark::State &state)
{
    const std::vector<double> raws = rawRing();
    IntakeLocks locks;
    unsigned int next = 0;
    for (auto _ : state) {
        locks.intake(raws[next++ % ringSize]);
    }
    benchmark::DoNotOptimize(locks.ageTimer);
    state.SetItemsProcessed(state.iterations());
}

const bool registered = [] {
    const struct
    {
        const char *name;
        unsigned int capacity;
    } histories[] = {{"policy:1", 0}, {"capacity:1000", 1000}, {"capacity:10000", 10000}};
    for (const auto &history : histories) {
        const unsigned int capacity = history.capacity;
        benchmark::RegisterBenchmark(
            (std::string("ScaledIntake/double/") + history.name).c_str(),
            [capacity](benchmark::State &state) { scaledIntake(state, CAN::Real64, capacity); });
        benchmark::RegisterBenchmark(
            (std::string("ScaledIntake/qint32/") + history.name).c_str(),
            [capacity](benchmark::State &state) { scaledIntake(state, CAN::Integer32, capacity); });
        benchmark::RegisterBenchmark((std::string("IntakeFloor/") + history.name).c_str(),
                                     [capacity](benchmark::State &state) { intakeFloor(state, capacity); });
    }
    benchmark::RegisterBenchmark("IntakeLockFloor", intakeLockFloor);
    return true;
}();
}
