// SPDX-License-Identifier: LGPL-2.1-or-later
// The median of the history beside a floor (a copy of plain doubles and one
// selection), the cached getters alone and while a writer feeds samples, and the
// live average.
#include "Writer.h"

#include <Talveno/Talveno.h>

#include <benchmark/benchmark.h>

#include <QVector>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace
{
std::vector<double> randomValues(int count)
{
    std::mt19937 generator(11);
    std::uniform_real_distribution<double> distribution(-1e3, 1e3);
    std::vector<double> values(count);
    for (double &value : values) {
        value = distribution(generator);
    }
    return values;
}

// A double signal under policy 2 whose history holds exactly the given raw values,
// scaled with factor 1; the worker is off.
void fill(GenericSignalImpl<J1939Value> &signal, const std::vector<double> &raws)
{
    signal.setDatatype(CAN::Real64);
    signal.setValueHandling(GenericSignal::Append);
    signal.setUpdatingEnabled(false);
    QVector<J1939Value> samples(static_cast<int>(raws.size()));
    for (int i = 0; i < samples.size(); ++i) {
        samples[i].rawValue = raws[i];
    }
    signal.appendValues(samples, 1.0, 0.0);
    signal.rebuildStatisticsFromValues();
}

void calcMedian(benchmark::State &state)
{
    const int count = static_cast<int>(state.range(0));
    GenericSignalImpl<J1939Value> signal;
    fill(signal, randomValues(count));
    for (auto _ : state) {
        benchmark::DoNotOptimize(signal.calcMedian());
    }
    state.SetItemsProcessed(state.iterations() * count);
}

void medianFloor(benchmark::State &state)
{
    const std::vector<double> history = randomValues(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        std::vector<double> copy(history);
        const auto middle = copy.begin() + copy.size() / 2;
        std::nth_element(copy.begin(), middle, copy.end());
        benchmark::DoNotOptimize(*middle);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void cachedAverage(benchmark::State &state)
{
    GenericSignalImpl<J1939Value> signal;
    fill(signal, randomValues(1000));
    for (auto _ : state) {
        benchmark::DoNotOptimize(signal.getAverage());
        benchmark::DoNotOptimize(signal.getDeviation());
    }
}

// The getters read two atomics and take no lock, so a writer running the scaled
// intake on the other core must not slow them down beyond cache traffic.
void cachedAverageWithWriter(benchmark::State &state)
{
    GenericSignalImpl<J1939Value> signal;
    fill(signal, randomValues(1000));
    const Writer writer(signal);
    for (auto _ : state) {
        benchmark::DoNotOptimize(signal.getAverage());
        benchmark::DoNotOptimize(signal.getDeviation());
    }
}

void calcAverage(benchmark::State &state)
{
    GenericSignalImpl<J1939Value> signal;
    fill(signal, randomValues(1000));
    for (auto _ : state) {
        benchmark::DoNotOptimize(signal.calcAverage());
    }
}

BENCHMARK(calcMedian)->Name("CalcMedian")->Arg(1000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(medianFloor)->Name("MedianFloor")->Arg(1000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(cachedAverage)->Name("CachedAverage");
BENCHMARK(cachedAverageWithWriter)->Name("CachedAverage/withWriter");
BENCHMARK(calcAverage)->Name("CalcAverage");
}
