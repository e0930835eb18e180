// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

// The dispatch of each calculator operation to whichever calculator the variant
// holds. Callers hold calculatorMutex around every use of the variant.

#include "NumericTypes.h"

#include <Talveno/CalculatorVariant.h>

#include <QList>
#include <QVariant>
#include <QVector>

#include <optional>
#include <utility>

namespace TalvenoCalculator
{
template<typename Calculator>
struct ElementOf;
template<typename N>
struct ElementOf<StatisticCalculator<N>>
{
    using type = N;
};
template<typename Calculator>
using ElementType = typename ElementOf<std::decay_t<Calculator>>::type;

// Destroys the held calculator first, then builds an empty one of N in its place;
// when that throws, the variant is left valueless.
template<typename N>
void replace(CalculatorVariant &calculator)
{
    calculator.template emplace<StatisticCalculator<N>>(std::optional<int>());
}

inline void addTyped(CalculatorVariant &calculator, const QVariant &value)
{
    std::visit([&value](auto &held) { held.addValue(TalvenoNumeric::readAs<ElementType<decltype(held)>>(value)); },
               calculator);
}

template<typename T>
void addAllScaled(CalculatorVariant &calculator, const QVector<T> &samples)
{
    std::visit(
        [&samples](auto &held) {
            using N = ElementType<decltype(held)>;
            for (const T &sample : samples) {
                held.addValue(TalvenoNumeric::readAs<N>(sample.scaledValue));
            }
        },
        calculator);
}

inline void clear(CalculatorVariant &calculator)
{
    std::visit([](auto &held) { held.clear(); }, calculator);
}

inline void setLogValues(CalculatorVariant &calculator, bool enabled)
{
    std::visit([enabled](auto &held) { held.setLogValues(enabled); }, calculator);
}

inline double average(const CalculatorVariant &calculator)
{
    return std::visit([](const auto &held) { return held.getAverage(); }, calculator);
}

inline double deviation(const CalculatorVariant &calculator)
{
    return std::visit([](const auto &held) { return held.getDeviation(); }, calculator);
}

inline double maximum(const CalculatorVariant &calculator)
{
    return std::visit([](const auto &held) { return static_cast<double>(held.getMaximum()); }, calculator);
}

inline double minimum(const CalculatorVariant &calculator)
{
    return std::visit([](const auto &held) { return static_cast<double>(held.getMinimum()); }, calculator);
}

// The samples' scaled values, oldest first, read as the held element type.
template<typename T>
double medianOfScaled(const CalculatorVariant &calculator, const QVector<T> &samples)
{
    return std::visit(
        [&samples](const auto &held) {
            using N = ElementType<decltype(held)>;
            QList<N> list;
            list.reserve(samples.size());
            // Qt 5's QList appends one element at a time through two out-of-line
            // calls. The list is grown by appending it to itself instead, which
            // QList copies in bulk, then every slot is written in place.
            if (!samples.isEmpty()) {
                list.append(N());
                while (list.size() * 2 <= samples.size()) {
                    list.append(list);
                }
                if (list.size() < samples.size()) {
                    list.append(list.mid(0, samples.size() - list.size()));
                }
            }
            auto slot = list.begin();
            for (const T &sample : samples) {
                *slot++ = TalvenoNumeric::readAs<N>(sample.scaledValue);
            }
            return held.getMedian(std::move(list));
        },
        calculator);
}
}
