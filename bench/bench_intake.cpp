// SPDX-License-Identifier: LGPL-2.1-or-later
// The scaled intake per sample, beside a floor that does the same logical work
// (append, trim by the capacity rule, scale, running statistics, keep the latest)
// on plain structs, without locks or variants.
#include <Talveno/Talveno.h>

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace
{
constexpr int ringSize = 1024;
constexpr double factor = 0.5;
constexpr double offset = -40.25;

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

struct PlainSample
{
    double raw = 0.0;
    double scaled = 0.0;
    qint32 auxInt = 0;
    double auxDouble = 0.0;
    bool excluded = false;
    quint8 auxByte1 = 0;
    quint8 auxByte2 = 0;
};

// The update of the library's calculator: relative to the first value.
struct PlainStatistics
{
    void add(double x)
    {
        if (count == 0) {
            reference = x;
            minimum = x;
            maximum = x;
        } else {
            minimum = std::min(minimum, x);
            maximum = std::max(maximum, x);
        }
        ++count;
        const double shifted = x - reference;
        const double delta = shifted - mean;
        mean += delta / static_cast<double>(count);
        squares += delta * (shifted - mean);
    }

    quint64 count = 0;
    double reference = 0.0;
    double mean = 0.0;
    double squares = 0.0;
    double minimum = 0.0;
    double maximum = 0.0;
};

void intakeFloor(benchmark::State &state, unsigned int capacity)
{
    std::vector<PlainSample> samples(ringSize);
    const std::vector<double> raws = rawRing();
    for (int i = 0; i < ringSize; ++i) {
        samples[i].raw = raws[i];
    }
    std::vector<PlainSample> history;
    PlainStatistics statistics;
    PlainSample latest;
    double average = 0.0;
    double deviation = 0.0;
    const auto intake = [&](const PlainSample &sample) {
        if (capacity == 0) {
            if (!history.empty()) {
                history.pop_back();
            }
            history.push_back(sample);
        } else {
            history.push_back(sample);
            if (history.size() > capacity + capacity / 10) {
                history.erase(history.begin(), history.end() - capacity);
            }
        }
        PlainSample &newest = history.back();
        if (!newest.excluded) {
            newest.scaled = newest.raw * factor + offset;
        }
        statistics.add(newest.scaled);
        average = statistics.reference + statistics.mean;
        deviation = std::sqrt(statistics.squares / static_cast<double>(statistics.count));
        latest = newest;
    };
    for (unsigned int i = 0; i <= capacity + capacity / 10; ++i) {
        intake(samples[i % ringSize]);
    }

    unsigned int next = 0;
    for (auto _ : state) {
        intake(samples[next++ % ringSize]);
        benchmark::DoNotOptimize(average);
        benchmark::DoNotOptimize(deviation);
        benchmark::DoNotOptimize(latest);
    }
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
    return true;
}();
}
