// SPDX-License-Identifier: LGPL-2.1-or-later
#include "Quillon/StatisticCalculator.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <type_traits>
#include <utility>

namespace
{
thread_local int constructionsBeforeFailure = 0;

void countConstruction()
{
    if (constructionsBeforeFailure > 0 && --constructionsBeforeFailure == 0) {
        throw std::bad_alloc();
    }
}

// Whether a value may be NaN; infinities count too, as they cost no more than a
// partition that was not needed. An exponent of all ones carries into the sign bit
// of the magnitude. Integer operations without an early exit let the compiler
// vectorise the pass.
template<typename N>
bool mayContainNaN(const QList<N> &values)
{
    if constexpr (std::is_floating_point_v<N>) {
        using Bits = std::conditional_t<sizeof(N) == sizeof(quint64), quint64, quint32>;
        static_assert(sizeof(Bits) == sizeof(N));
        constexpr Bits sign = Bits(1) << (sizeof(N) * 8 - 1);
        constexpr Bits lowestExponentBit = Bits(1) << (std::numeric_limits<N>::digits - 1);
        Bits carries = 0;
        for (const N value : values) {
            Bits bits;
            std::memcpy(&bits, &value, sizeof bits);
            carries |= (bits & ~sign) + lowestExponentBit;
        }
        return (carries & sign) != 0;
    }
    return false;
}

// The largest of a non-empty range without NaNs. Four running maxima let the
// comparisons proceed side by side instead of each waiting for the one before.
template<typename Iterator>
auto largest(Iterator first, Iterator last)
{
    auto lanes = std::array{*first, *first, *first, *first};
    for (; last - first >= 4; first += 4) {
        for (int lane = 0; lane < 4; ++lane) {
            lanes[lane] = std::max(lanes[lane], first[lane]);
        }
    }
    for (; first != last; ++first) {
        lanes[0] = std::max(lanes[0], *first);
    }
    return std::max(std::max(lanes[0], lanes[1]), std::max(lanes[2], lanes[3]));
}
}

void Quillon::failCalculatorConstruction(int nth)
{
    constructionsBeforeFailure = nth;
}

template<typename N>
StatisticCalculator<N>::StatisticCalculator(std::optional<int> window)
    : window(window)
{
    countConstruction();
}

template<typename N>
StatisticCalculator<N>::~StatisticCalculator() = default;

template<typename N>
void StatisticCalculator<N>::addValue(N value)
{
    const double x = static_cast<double>(value);
    if (count == 0) {
        reference = x;
        minimum = value;
        maximum = value;
    } else {
        minimum = std::min(minimum, value);
        maximum = std::max(maximum, value);
    }
    ++count;
    const double shifted = x - reference;
    const double delta = shifted - shiftedMean;
    shiftedMean += delta / static_cast<double>(count);
    squaredDifferences += delta * (shifted - shiftedMean);
}

template<typename N>
void StatisticCalculator<N>::clear()
{
    count = 0;
    reference = 0.0;
    shiftedMean = 0.0;
    squaredDifferences = 0.0;
    minimum = N();
    maximum = N();
}

template<typename N>
void StatisticCalculator<N>::setLogValues(bool enabled)
{
    logging = enabled;
}

template<typename N>
bool StatisticCalculator<N>::logValues() const
{
    return logging;
}

template<typename N>
double StatisticCalculator<N>::getAverage() const
{
    return count == 0 ? 0.0 : reference + shiftedMean;
}

template<typename N>
double StatisticCalculator<N>::getDeviation() const
{
    return count == 0 ? 0.0 : std::sqrt(squaredDifferences / static_cast<double>(count));
}

template<typename N>
N StatisticCalculator<N>::getMinimum() const
{
    return minimum;
}

template<typename N>
N StatisticCalculator<N>::getMaximum() const
{
    return maximum;
}

template<typename N>
double StatisticCalculator<N>::getMedian(QList<N> values) const
{
    const int n = values.size();
    if (n == 0) {
        return 0.0;
    }
    // NaNs go last, behind the numbers, so that the selection among the numbers
    // compares with plain '<', which over NaNs could run past the end of the range.
    // A history rarely holds any, so the partition runs only after a quick check.
    auto numbersEnd = values.end();
    if (mayContainNaN(std::as_const(values))) {
        numbersEnd = std::partition(values.begin(), values.end(), [](N v) { return !std::isnan(v); });
    }
    const auto upper = values.begin() + n / 2;
    if (upper >= numbersEnd) {
        return static_cast<double>(*upper);
    }
    std::nth_element(values.begin(), upper, numbersEnd);
    const double upperValue = static_cast<double>(*upper);
    if (n % 2 != 0) {
        return upperValue;
    }
    const double lowerValue = static_cast<double>(largest(values.cbegin(), values.cbegin() + n / 2));
    return lowerValue / 2.0 + upperValue / 2.0;
}

template class StatisticCalculator<double>;
template class StatisticCalculator<float>;
template class StatisticCalculator<qint8>;
template class StatisticCalculator<quint8>;
template class StatisticCalculator<qint16>;
template class StatisticCalculator<quint16>;
template class StatisticCalculator<qint32>;
template class StatisticCalculator<quint32>;
template class StatisticCalculator<qint64>;
template class StatisticCalculator<quint64>;
