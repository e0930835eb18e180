// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

// The numeric-type table, the reading of a QVariant as an element type, and the
// dispatch of each calculator operation to whichever calculator the variant holds.
// Callers hold calculatorMutex around every use of the variant.

#include <Talveno/CalculatorVariant.h>

#include <Orvanet/CANopenDataType.h>

#include <QList>
#include <QVariant>
#include <QVector>

#include <cstring>
#include <optional>
#include <utility>

namespace TalvenoCalculator
{
template<typename N>
struct NumericTag
{
    using type = N;
};

// Calls f(NumericTag<N>{}) for the element type N that the data type selects and
// returns true; returns false, without calling f, when it selects none.
template<typename F>
bool visitNumericType(CAN::CANopenDataType type, F &&f)
{
    switch (static_cast<quint32>(type)) {
    case 0:
    case 17:
        f(NumericTag<double>{});
        return true;
    case 2:
    case 18:
        f(NumericTag<qint8>{});
        return true;
    case 3:
        f(NumericTag<qint16>{});
        return true;
    case 4:
    case 16:
        f(NumericTag<qint32>{});
        return true;
    case 5:
        f(NumericTag<quint8>{});
        return true;
    case 6:
        f(NumericTag<quint16>{});
        return true;
    case 7:
    case 22:
        f(NumericTag<quint32>{});
        return true;
    case 8:
        f(NumericTag<float>{});
        return true;
    case 21:
        f(NumericTag<qint64>{});
        return true;
    case 24:
    case 25:
    case 27:
        f(NumericTag<quint64>{});
        return true;
    default:
        return false;
    }
}

// The stored N when the variant holds the meta-type of N, else the converted
// value, else 0.
template<typename N>
N readAs(const QVariant &value)
{
    // A variant that stores N itself (the usual case: a scaled value in the
    // signal's own type) is read in place, without the calls into QtCore that
    // value<N>() makes for every sample of a median list or a replay.
    const QVariant::DataPtr &data = value.data_ptr();
    if (data.type == static_cast<uint>(qMetaTypeId<N>()) && !data.is_shared) {
        N stored;
        std::memcpy(&stored, &data.data, sizeof stored);
        return stored;
    }
    return value.value<N>();
}

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
    std::visit([&value](auto &held) { held.addValue(readAs<ElementType<decltype(held)>>(value)); }, calculator);
}

template<typename T>
void addAllScaled(CalculatorVariant &calculator, const QVector<T> &samples)
{
    std::visit(
        [&samples](auto &held) {
            using N = ElementType<decltype(held)>;
            for (const T &sample : samples) {
                held.addValue(readAs<N>(sample.scaledValue));
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
                *slot++ = readAs<N>(sample.scaledValue);
            }
            return held.getMedian(std::move(list));
        },
        calculator);
}
}
