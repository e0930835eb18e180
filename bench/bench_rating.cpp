// SPDX-License-Identifier: LGPL-2.1-or-later
// The rating of the newest sample for short and long histories (it copies one
// record, so the length must not show), and the rating and the band's thresholds
// while a writer feeds samples.
#include "Writer.h"

#include <Talveno/Talveno.h>

#include <benchmark/benchmark.h>

#include <QVector>

namespace
{
// A double signal under policy 1, so that nothing trims the appended history and
// no worker runs; the cached band comes from the values 0..999.
void fill(GenericSignalImpl<J1939Value> &signal, int length)
{
    QVector<J1939Value> samples(length);
    for (int i = 0; i < length; ++i) {
        samples[i].rawValue = double(i % 1000);
    }
    signal.appendValues(samples, 1.0, 0.0);
    signal.rebuildStatisticsFromValues();
}

void ratingByLength(benchmark::State &state)
{
    GenericSignalImpl<J1939Value> signal;
    fill(signal, static_cast<int>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(signal.getRating(1.0, false, 0.0, 0.0));
    }
}

// The writer feeds under policy 2; the worker is off so that only the writer
// competes with the reader.
void prepareForWriter(GenericSignalImpl<J1939Value> &signal)
{
    signal.setValueHandling(GenericSignal::Append);
    signal.setUpdatingEnabled(false);
    fill(signal, 1000);
}

void ratingWithWriter(benchmark::State &state)
{
    GenericSignalImpl<J1939Value> signal;
    prepareForWriter(signal);
    const Writer writer(signal);
    for (auto _ : state) {
        benchmark::DoNotOptimize(signal.getRating(1.0, false, 0.0, 0.0));
    }
}

void thresholdsWithWriter(benchmark::State &state)
{
    GenericSignalImpl<J1939Value> signal;
    prepareForWriter(signal);
    const Writer writer(signal);
    for (auto _ : state) {
        benchmark::DoNotOptimize(signal.getLowerThreshold(1.0));
        benchmark::DoNotOptimize(signal.getUpperThreshold(1.0));
    }
}

BENCHMARK(ratingByLength)->Name("Rating")->ArgName("length")->Arg(10)->Arg(1000)->Arg(100000);
BENCHMARK(ratingWithWriter)->Name("Rating/withWriter");
BENCHMARK(thresholdsWithWriter)->Name("Thresholds/withWriter");
}
