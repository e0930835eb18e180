// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

// The running statistics in the element type of the data type, the median of the
// history, and the cached average and deviation.

#include "CalculatorVariant_impl.h"
#include "LockAnnotations.h"
#include "NewestSample.h"
#include "NumericTypes.h"
#include "SignalObject_impl.h"

template<typename T>
void GenericSignalImpl<T>::setDatatype(CAN::CANopenDataType type)
{
    datatype = type;
    const TalvenoLocks::MutexLocker locker(calculatorMutex);
    TalvenoNumeric::visitNumericType(datatype, [this](auto tag) {
        TalvenoCalculator::replace<typename decltype(tag)::type>(calculator);
    });
}

template<typename T>
double GenericSignalImpl<T>::calcAverage() const
{
    const TalvenoLocks::MutexLocker locker(calculatorMutex);
    return calcAverageLocked();
}

template<typename T>
double GenericSignalImpl<T>::calcDeviation() const
{
    const TalvenoLocks::MutexLocker locker(calculatorMutex);
    return calcDeviationLocked();
}

template<typename T>
double GenericSignalImpl<T>::calcAverageLocked() const
{
    return TalvenoCalculator::average(calculator);
}

template<typename T>
double GenericSignalImpl<T>::calcDeviationLocked() const
{
    return TalvenoCalculator::deviation(calculator);
}

template<typename T>
double GenericSignalImpl<T>::getMax() const
{
    const TalvenoLocks::MutexLocker locker(calculatorMutex);
    return TalvenoCalculator::maximum(calculator);
}

template<typename T>
double GenericSignalImpl<T>::getMin() const
{
    const TalvenoLocks::MutexLocker locker(calculatorMutex);
    return TalvenoCalculator::minimum(calculator);
}

template<typename T>
double GenericSignalImpl<T>::calcMedian() const
{
    if (valueHandling != GenericSignal::Append) {
        return 0.0;
    }
    const TalvenoLocks::ReadLocker valuesLocker(valuesLock);
    const TalvenoLocks::MutexLocker calculatorLocker(calculatorMutex);
    return TalvenoCalculator::medianOfScaled(calculator, values);
}

template<typename T>
double GenericSignalImpl<T>::getAverage() const
{
    return average.load();
}

template<typename T>
double GenericSignalImpl<T>::getDeviation() const
{
    return deviation.load();
}

template<typename T>
void GenericSignalImpl<T>::updateAverageAndDeviation()
{
    TalvenoSignal::markChanged(averageChanged);
    average.store(calcAverage());
    TalvenoSignal::markChanged(deviationChanged);
    deviation.store(calcDeviation());
}

template<typename T>
void GenericSignalImpl<T>::rebuildStatisticsFromValues()
{
    {
        const TalvenoLocks::ReadLocker valuesLocker(valuesLock);
        const TalvenoLocks::MutexLocker calculatorLocker(calculatorMutex);
        TalvenoCalculator::clear(calculator);
        TalvenoCalculator::addAllScaled(calculator, std::as_const(values));
        if (!values.isEmpty()) {
            T newest = values.constLast();
            const TalvenoNewest::Locker latestLocker(this);
            TalvenoNewest::swapRelocatable(lastValue, newest);
        }
    }
    updateAverageAndDeviation();
}

template<typename T>
void GenericSignalImpl<T>::getValueStatistics(double &average,
                                              QVariant &maximum,
                                              QVariant &minimum,
                                              double &median,
                                              double &deviation,
                                              unsigned int &count) const
{
    {
        const TalvenoLocks::ReadLocker locker(valuesLock);
        count = static_cast<unsigned int>(values.size());
    }
    average = calcAverage();
    deviation = calcDeviation();
    maximum = QVariant(getMax());
    minimum = QVariant(getMin());
    median = calcMedian();
}
