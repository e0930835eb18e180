// SPDX-License-Identifier: LGPL-2.1-or-later
// The latency of single calls of getValue() and getAgeInSeconds(), the getters a
// host's display thread calls on every refresh: first with no other thread, then
// while another thread rebuilds the statistics of a long history over and over,
// or feeds the scaled intake as fast as it can.
// Each run reports the worst call and the 99.9th percentile of both phases, in
// microseconds, and the ratio of the busy phase to the quiet one. A call can also
// be slow because the machine took the core away: the cached average, which takes
// no lock, measured the same way is the floor, and the busy phase counts the
// thread's preemptions beside the calls that took 50 us or more.
#include <Talveno/Talveno.h>

#include <benchmark/benchmark.h>

#include <QVector>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <sys/resource.h>

namespace
{
using Clock = std::chrono::steady_clock;

constexpr int historyLength = 2000000;
constexpr std::size_t quietCalls = 200000;
constexpr auto busyLimit = std::chrono::seconds(20);

// What the other thread does in the busy phase, and how many rounds of it the
// phase spans at least: several whole rebuilds, each of which holds the
// calculator for the length of the history, or a stream of intakes about as
// long, each of which changes the newest sample and its age.
enum class Other { Rebuilds = 8, Intakes = 200000 };

// One signal for every run: filling it takes longer than a run. Policy 1, so no
// worker runs; the last scaled intake starts the age.
GenericSignalImpl<J1939Value> &longSignal()
{
    static GenericSignalImpl<J1939Value> signal;
    static const bool filled = [] {
        signal.setDatatype(CAN::Real64);
        QVector<J1939Value> samples(historyLength);
        for (int i = 0; i < historyLength; ++i) {
            samples[i].rawValue = double(i % 1000);
        }
        signal.appendValues(samples, 0.5, 1.0);
        signal.rebuildStatisticsFromValues();
        return signal.setNewValue(samples.constFirst(), 0.5, 1.0);
    }();
    benchmark::DoNotOptimize(filled);
    return signal;
}

struct Latency
{
    double worstMicroseconds;
    double p999Microseconds;
    double meanSeconds;
    std::int64_t slowCalls;
    long preemptions;
};

constexpr std::int64_t slowNanoseconds = 50000;

// Involuntary context switches of the calling thread so far; 0 where unknown.
long preemptionCount()
{
#ifdef RUSAGE_THREAD
    rusage usage{};
    if (getrusage(RUSAGE_THREAD, &usage) == 0) {
        return usage.ru_nivcsw;
    }
#endif
    return 0;
}

// Times every call on its own, until at least `calls` calls were made and
// `enough` holds.
template<typename Getter, typename Enough>
Latency measure(Getter getter, std::size_t calls, Enough enough)
{
    // The first calls bind the symbols and warm the caches; they are not timed.
    for (std::size_t i = 0; i < calls / 100; ++i) {
        benchmark::DoNotOptimize(getter());
    }
    std::vector<std::int64_t> nanoseconds;
    nanoseconds.reserve(4 * calls);
    const long preemptionsBefore = preemptionCount();
    while (nanoseconds.size() < calls || !enough()) {
        const Clock::time_point start = Clock::now();
        benchmark::DoNotOptimize(getter());
        nanoseconds.push_back(std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count());
    }
    const long preemptions = preemptionCount() - preemptionsBefore;
    double total = 0.0;
    std::int64_t slowCalls = 0;
    for (const std::int64_t value : nanoseconds) {
        total += double(value);
        slowCalls += value >= slowNanoseconds ? 1 : 0;
    }
    const auto p999 = nanoseconds.begin() + std::ptrdiff_t(double(nanoseconds.size() - 1) * 0.999);
    std::nth_element(nanoseconds.begin(), p999, nanoseconds.end());
    const std::int64_t worst = *std::max_element(p999, nanoseconds.end());
    return {double(worst) / 1e3, double(*p999) / 1e3, total / double(nanoseconds.size()) / 1e9, slowCalls, preemptions};
}

template<typename Getter>
void getterBeside(benchmark::State &state, Other other, Getter getter)
{
    GenericSignalImpl<J1939Value> &signal = longSignal();
    for (auto _ : state) {
        const Latency quiet = measure([&] { return getter(signal); }, quietCalls, [] { return true; });

        std::atomic<bool> stop{false};
        std::atomic<int> rounds{-1};
        std::thread busyThread([&] {
            J1939Value sample;
            for (rounds.store(0); !stop.load(); rounds.fetch_add(1)) {
                if (other == Other::Rebuilds) {
                    signal.rebuildStatisticsFromValues();
                } else {
                    sample.rawValue = double(rounds.load(std::memory_order_relaxed) % 1000);
                    signal.setNewValue(sample, 0.5, 1.0);
                }
            }
        });
        while (rounds.load() < 0) {
            std::this_thread::yield();
        }
        const Clock::time_point deadline = Clock::now() + busyLimit;
        const Latency busy =
            measure([&] { return getter(signal); },
                    quietCalls,
                    [&] { return rounds.load(std::memory_order_relaxed) >= int(other) || Clock::now() > deadline; });
        stop.store(true);
        busyThread.join();

        state.SetIterationTime(busy.meanSeconds);
        state.counters["worst_us"] = busy.worstMicroseconds;
        state.counters["p999_us"] = busy.p999Microseconds;
        state.counters["quiet_worst_us"] = quiet.worstMicroseconds;
        state.counters["quiet_p999_us"] = quiet.p999Microseconds;
        state.counters["worst_ratio"] = busy.worstMicroseconds / quiet.worstMicroseconds;
        state.counters["p999_ratio"] = busy.p999Microseconds / quiet.p999Microseconds;
        state.counters["rounds"] = rounds.load();
        state.counters["slow_calls"] = double(busy.slowCalls);
        state.counters["preemptions"] = double(busy.preemptions);
    }
}

// The worst call of any repetition is the figure that counts.
double largest(const std::vector<double> &values)
{
    return *std::max_element(values.begin(), values.end());
}

void getValue(benchmark::State &state, Other other)
{
    getterBeside(state, other, [](GenericSignalImpl<J1939Value> &signal) { return signal.getValue(); });
}

void getAgeInSeconds(benchmark::State &state, Other other)
{
    getterBeside(state, other, [](GenericSignalImpl<J1939Value> &signal) { return signal.getAgeInSeconds(); });
}

// The cached average is one atomic load without a lock: what the machine allows.
void getAverage(benchmark::State &state, Other other)
{
    getterBeside(state, other, [](GenericSignalImpl<J1939Value> &signal) { return signal.getAverage(); });
}

const bool registered = [] {
    const std::pair<const char *, void (*)(benchmark::State &, Other)> getters[] = {
        {"Getter/getValue", getValue},
        {"Getter/getAgeInSeconds", getAgeInSeconds},
        {"GetterFloor/getAverage", getAverage},
    };
    for (const auto &[name, function] : getters) {
        for (const Other other : {Other::Rebuilds, Other::Intakes}) {
            const std::string suffix = other == Other::Rebuilds ? "/besideRebuilds" : "/besideIntakes";
            benchmark::RegisterBenchmark((name + suffix).c_str(), function, other)
                ->Iterations(1)
                ->UseManualTime()
                ->Unit(benchmark::kNanosecond)
                ->ComputeStatistics("max", largest);
        }
    }
    return true;
}();
}
