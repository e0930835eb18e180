// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include <Quillon/quillon_export.h>

#include <QList>

#include <optional>

/// Running statistics of a stream of values of type N, kept in constant space.
///
/// Instantiated for double, float and the signed and unsigned 8-, 16-, 32- and
/// 64-bit integers. A calculator is used in place: it is neither copied nor moved.
template<typename N>
class StatisticCalculator
{
public:
    /// An empty window gives unbounded running statistics, the only kind this
    /// library offers; a given window size is accepted and treated the same way.
    explicit StatisticCalculator(std::optional<int> window);
    ~StatisticCalculator();
    StatisticCalculator(const StatisticCalculator &) = delete;
    StatisticCalculator &operator=(const StatisticCalculator &) = delete;

    /// Constant time; the update is numerically stable (no sum of squares).
    void addValue(N value);
    /// Forgets every value added so far.
    void clear();

    /// Keeps a flag for the host; it changes no statistic.
    void setLogValues(bool enabled);
    bool logValues() const;

    /// Arithmetic mean; 0 without values.
    double getAverage() const;
    /// Population standard deviation; 0 without values.
    double getDeviation() const;
    /// Smallest and largest value added; 0 without values.
    N getMinimum() const;
    N getMaximum() const;

    /// Median of the given list by selection in linear time: the middle value,
    /// or the mean of the two middle values for an even count; 0.0 for an empty
    /// list. NaNs sort above every number.
    double getMedian(QList<N> values) const;

private:
    std::optional<int> window;
    quint64 count = 0;
    // The running mean and the sum of squared differences are kept relative to
    // the first value, which keeps their digits for large values with small spread.
    double reference = 0.0;
    double shiftedMean = 0.0;
    double squaredDifferences = 0.0;
    N minimum = N();
    N maximum = N();
    bool logging = false;
};

namespace Quillon
{
/// For tests of failure paths: the nth construction of a calculator from now on,
/// on the calling thread, throws std::bad_alloc (1 = the next one; 0 = never).
QUILLON_EXPORT void failCalculatorConstruction(int nth);
}

extern template class QUILLON_EXPORT StatisticCalculator<double>;
extern template class QUILLON_EXPORT StatisticCalculator<float>;
extern template class QUILLON_EXPORT StatisticCalculator<qint8>;
extern template class QUILLON_EXPORT StatisticCalculator<quint8>;
extern template class QUILLON_EXPORT StatisticCalculator<qint16>;
extern template class QUILLON_EXPORT StatisticCalculator<quint16>;
extern template class QUILLON_EXPORT StatisticCalculator<qint32>;
extern template class QUILLON_EXPORT StatisticCalculator<quint32>;
extern template class QUILLON_EXPORT StatisticCalculator<qint64>;
extern template class QUILLON_EXPORT StatisticCalculator<quint64>;
