// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

// Scaling of samples in the numeric type of the signal's data type, and the
// intakes that scale.

#include "CalculatorVariant_impl.h"
#include "LockAnnotations.h"
#include "NewestSample.h"
#include "NumericTypes.h"
#include "SignalObject_impl.h"

#include <cmath>
#include <limits>

namespace TalvenoScaling
{
constexpr double twoTo63 = 9223372036854775808.0;
constexpr double twoTo64 = 18446744073709551616.0;

inline bool within(double t, double low, double high)
{
    return t >= low && t <= high; // false for NaN
}

inline qint8 fromLowByte(quint8 byte)
{
    return byte < 128 ? static_cast<qint8>(byte) : static_cast<qint8>(static_cast<int>(byte) - 256);
}

// A whole number t, already cut toward zero, converted to N. Outside N's range the
// result wraps through a wider integer or clamps, as a processor's conversion does;
// NaN gives the same as a far-out value.
template<typename N>
N fromTruncated(double t);

template<>
inline qint8 fromTruncated<qint8>(double t)
{
    if (!within(t, -32768.0, 32767.0)) {
        return 0;
    }
    return fromLowByte(static_cast<quint8>(static_cast<quint16>(static_cast<qint16>(t))));
}

template<>
inline quint8 fromTruncated<quint8>(double t)
{
    if (!within(t, -32768.0, 32767.0)) {
        return 0;
    }
    return static_cast<quint8>(static_cast<quint16>(static_cast<qint16>(t)));
}

template<>
inline qint16 fromTruncated<qint16>(double t)
{
    return within(t, -32768.0, 32767.0) ? static_cast<qint16>(t) : std::numeric_limits<qint16>::min();
}

template<>
inline quint16 fromTruncated<quint16>(double t)
{
    if (!within(t, -2147483648.0, 2147483647.0)) {
        return 0;
    }
    return static_cast<quint16>(static_cast<quint32>(static_cast<qint32>(t)));
}

template<>
inline qint32 fromTruncated<qint32>(double t)
{
    return within(t, -2147483648.0, 2147483647.0) ? static_cast<qint32>(t) : std::numeric_limits<qint32>::min();
}

template<>
inline quint32 fromTruncated<quint32>(double t)
{
    if (!(t >= -twoTo63 && t < twoTo63)) {
        return 0;
    }
    return static_cast<quint32>(static_cast<quint64>(static_cast<qint64>(t)));
}

template<>
inline qint64 fromTruncated<qint64>(double t)
{
    return t >= -twoTo63 && t < twoTo63 ? static_cast<qint64>(t) : std::numeric_limits<qint64>::min();
}

template<>
inline quint64 fromTruncated<quint64>(double t)
{
    if (t >= 0.0 && t < twoTo64) {
        return static_cast<quint64>(t);
    }
    if (t < 0.0 && t >= -twoTo63) {
        return static_cast<quint64>(static_cast<qint64>(t));
    }
    if (t >= twoTo64) {
        return 0;
    }
    return quint64(1) << 63;
}

// The type a scaled value is stored as: narrow integers as int.
template<typename N>
auto stored(N value)
{
    if constexpr (sizeof(N) < 4) {
        return static_cast<int>(value);
    } else if constexpr (std::is_same_v<N, quint32>) {
        return static_cast<uint>(value);
    } else if constexpr (std::is_same_v<N, qint64>) {
        return static_cast<qlonglong>(value);
    } else if constexpr (std::is_same_v<N, quint64>) {
        return static_cast<qulonglong>(value);
    } else {
        return value;
    }
}

// rawValue * factor + offset in N, as the type it is stored as. For the integer
// types the product is cut to a whole N before the offset is added, and the sum is
// cut again; float rounds to float after each step.
template<typename N>
auto scaled(const GenericValue &sample, double factor, double offset)
{
    if constexpr (std::is_same_v<N, double>) {
        return TalvenoNumeric::readAs<double>(sample.rawValue) * factor + offset;
    } else if constexpr (std::is_same_v<N, float>) {
        const float product = static_cast<float>(static_cast<double>(sample.valueToFloat(false)) * factor);
        return static_cast<float>(static_cast<double>(product) + offset);
    } else {
        const N raw = TalvenoNumeric::readAs<N>(sample.rawValue);
        const N product = fromTruncated<N>(std::trunc(static_cast<double>(raw) * factor));
        return stored(fromTruncated<N>(std::trunc(static_cast<double>(product) + offset)));
    }
}

// The scaling rule of one sample in the numeric type of the data type; a data type
// without one copies the raw value, whatever `excluded` says.
template<typename T>
void scaleInPlace(CAN::CANopenDataType datatype, T &value, double factor, double offset)
{
    const bool numeric = TalvenoNumeric::visitNumericType(datatype, [&](auto tag) {
        // setValue() writes a number over a number in place, without a call into
        // QtCore; the variant is the same as one constructed from the value.
        if (!value.excluded) {
            value.scaledValue.setValue(scaled<typename decltype(tag)::type>(value, factor, offset));
        }
    });
    if (!numeric) {
        value.scaledValue = value.rawValue;
    }
}
}

template<typename T>
void GenericSignalImpl<T>::scaleAndAppendValue(T &value, double scaleFactor, double scaleOffset)
{
    TalvenoScaling::scaleInPlace(datatype, value, scaleFactor, scaleOffset);
}

// The steps in order, each lock taken alone: the plain intake's hold of valuesLock;
// a second hold that scales the newest sample in place and copies it; the markers;
// calculatorMutex around the feed and the cached statistics; then the newest sample
// and its age, read from the clock on arrival, handed over to the getters.
//
// The sample given, once moved into the history, carries the scaled copy out and
// takes the old lastValue back in exchange; the caller lets go of it as it would
// have let go of the emptied sample, so no record is made or destroyed here.
template<typename T>
bool GenericSignalImpl<T>::setNewValue(T value, double scaleFactor, double scaleOffset)
{
    // The age starts when the sample arrives. A clock read waits for every
    // instruction before it to finish, so it comes first, ahead of the
    // calculator's division and square root rather than behind them.
    QElapsedTimer started;
    started.start();
    if (!TalvenoSignal::storeUnderPolicy(valuesLock, values, valueHandling, std::move(value))) {
        return false;
    }
    TalvenoSignal::markStored(averageChanged, deviationChanged, valueChanged);
    {
        const TalvenoSignal::HistoryWriter<T> writer(valuesLock, values);
        if (values.isEmpty()) {
            return true; // emptied by another thread meanwhile
        }
        T &inHistory = values.last();
        TalvenoScaling::scaleInPlace(datatype, inHistory, scaleFactor, scaleOffset);
        value = std::as_const(inHistory);
    }
    TalvenoSignal::markStored(averageChanged, deviationChanged, valueChanged);
    {
        const TalvenoLocks::MutexLocker locker(calculatorMutex);
        TalvenoCalculator::addTyped(calculator, value.scaledValue);
        average.store(calcAverageLocked());
        deviation.store(calcDeviationLocked());
    }
    {
        const TalvenoNewest::Locker locker(this);
        TalvenoNewest::swapRelocatable(lastValue, value);
        ageTimer = started;
    }
    return true;
}

template<typename T>
void GenericSignalImpl<T>::appendValues(const QVector<T> &samples, double scaleFactor, double scaleOffset)
{
    {
        const TalvenoSignal::HistoryWriter<T> writer(valuesLock, values);
        values.append(samples);
    }
    updateScaledValues(scaleFactor, scaleOffset);
    TalvenoSignal::markChanged(averageChanged);
    TalvenoSignal::markChanged(deviationChanged);
}

template<typename T>
void GenericSignalImpl<T>::updateScaledValues(double scaleFactor, double scaleOffset)
{
    const TalvenoSignal::HistoryWriter<T> writer(valuesLock, values);
    for (T &sample : values) {
        TalvenoScaling::scaleInPlace(datatype, sample, scaleFactor, scaleOffset);
    }
}
