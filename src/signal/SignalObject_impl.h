// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

// Construction, the plain intake and read access of the history.

#include "CalculatorVariant_impl.h"
#include "HistoryWriter.h"
#include "LockAnnotations.h"
#include "NewestSample.h"

#include <Talveno/GenericSignalImpl.h>

#include <QtGlobal>

#include <atomic>
#include <utility>

// The cached statistics and the flags are read without any lock: a platform whose
// atomics of these widths take a lock of their own is not one this library serves.
static_assert(std::atomic<double>::is_always_lock_free, "64-bit atomic double must be lock-free");
static_assert(std::atomic<bool>::is_always_lock_free, "atomic bool must be lock-free");

namespace TalvenoSignal
{
// Markers only ever go from false to true, so one that is already set needs no
// exchange: the exchange is a locked instruction, and every intake sets all three.
Q_ALWAYS_INLINE void markChanged(std::atomic<bool> &marker)
{
    if (!marker.load(std::memory_order_relaxed)) {
        marker.exchange(true);
    }
}

// Under policy 2 the history may run to M + M/10 samples before it is cut back to
// the newest M; computed in 64 bits so that a huge capacity cannot wrap.
template<typename T>
Q_ALWAYS_INLINE void holdToCapacity(QVector<T> &values)
{
    const quint64 capacity = GenericSignal::getMaxValueCount();
    if (capacity != 0 && static_cast<quint64>(values.size()) > capacity + capacity / 10) {
        values.erase(values.begin(), values.end() - static_cast<int>(capacity));
    }
}

// The plain intake's hold of valuesLock: reads the policy and stores the sample by
// it; false, with the history unchanged, for a policy other than 1 and 2. This and
// the helpers above are forced inline, as the compiler left them calls of their
// own on the path of every sample.
template<typename T>
Q_ALWAYS_INLINE bool storeUnderPolicy(QReadWriteLock &valuesLock,
                                      QVector<T> &values,
                                      const GenericSignal::NewValueHandlingType &handling,
                                      T &&value)
{
    const HistoryWriter<T> writer(valuesLock, values);
    switch (handling) {
    case GenericSignal::ReplaceNewest:
        if (!values.isEmpty()) {
            values.removeLast();
        }
        values.append(std::move(value));
        return true;
    case GenericSignal::Append:
        values.append(std::move(value));
        holdToCapacity(values);
        return true;
    default:
        return false;
    }
}

// Set after every stored sample, in this order.
inline void
markStored(std::atomic<bool> &averageChanged, std::atomic<bool> &deviationChanged, std::atomic<bool> &valueChanged)
{
    markChanged(averageChanged);
    markChanged(deviationChanged);
    markChanged(valueChanged);
}
}

template<typename T>
GenericSignalImpl<T>::GenericSignalImpl()
    : lastValue()
    , values()
    , datatype(static_cast<CAN::CANopenDataType>(0))
    , updateThread()
    , updatingEnabled(false)
    , ageTimer()
    , calculator(std::in_place_index<0>, std::optional<int>())
    , valuesLock(QReadWriteLock::NonRecursive)
    , averageChanged(false)
    , deviationChanged(false)
    , valueChanged(false)
    , average(0.0)
    , deviation(0.0)
    , valueHandling(GenericSignal::ReplaceNewest)
{
    TalvenoCalculator::replace<qint32>(calculator);
}

template<typename T>
bool GenericSignalImpl<T>::setNewValue(T value)
{
    if (!TalvenoSignal::storeUnderPolicy(valuesLock, values, valueHandling, std::move(value))) {
        return false;
    }
    TalvenoSignal::markStored(averageChanged, deviationChanged, valueChanged);
    return true;
}

template<typename T>
void GenericSignalImpl<T>::clearValues()
{
    const TalvenoLocks::WriteLocker valuesLocker(valuesLock);
    values = QVector<T>();
    const TalvenoLocks::MutexLocker calculatorLocker(calculatorMutex);
    TalvenoCalculator::clear(calculator);
}

template<typename T>
void GenericSignalImpl<T>::setValueHandling(GenericSignal::NewValueHandlingType handling)
{
    valueHandling = handling;
    setUpdatingEnabled(handling == GenericSignal::Append);
}

template<typename T>
GenericSignal::NewValueHandlingType GenericSignalImpl<T>::getValueHandling() const
{
    return valueHandling;
}

template<typename T>
CAN::CANopenDataType GenericSignalImpl<T>::getDatatype() const
{
    return datatype;
}

template<typename T>
T GenericSignalImpl<T>::getValue() const
{
    const TalvenoNewest::Locker locker(this);
    return lastValue;
}

template<typename T>
bool GenericSignalImpl<T>::getValue(int index, T &value) const
{
    const TalvenoLocks::ReadLocker locker(valuesLock);
    if (index < 0 || index >= values.size()) {
        return false;
    }
    value = values.at(index);
    return true;
}

template<typename T>
QVector<T> GenericSignalImpl<T>::getValues() const
{
    const TalvenoLocks::ReadLocker locker(valuesLock);
    return values;
}

template<typename T>
int GenericSignalImpl<T>::getValueCount() const
{
    const TalvenoLocks::ReadLocker locker(valuesLock);
    return values.size();
}
