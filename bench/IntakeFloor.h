// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include <QtGlobal>

#include <algorithm>
#include <cmath>
#include <vector>

// What the library does per sample, without locks, variants or a worker, on plain
// structs: append, trim by the capacity rule, scale, running statistics, keep the
// latest. The floor that the scaled intake is measured against.
namespace IntakeFloor
{
constexpr double factor = 0.5;
constexpr double offset = -40.25;

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

// One signal; capacity 0 keeps only the newest sample (the policy of one value).
struct PlainSignal
{
    void intake(const PlainSample &sample, unsigned int capacity)
    {
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
    }

    std::vector<PlainSample> history;
    PlainStatistics statistics;
    PlainSample latest;
    double average = 0.0;
    double deviation = 0.0;
};
}
