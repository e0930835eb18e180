// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

// The band around the cached average, the samples outside it, and the rating of
// the newest sample. All of it reads the history under the read lock only, and so
// through const access alone: a non-const access would detach the shared vector.

#include "CalculatorVariant_impl.h"
#include "LockAnnotations.h"
#include "NumericTypes.h"
#include "SignalObject_impl.h"

#include <QtMath>

#include <cmath>

namespace TalvenoRating
{
struct Band
{
    double lo;
    double hi;
};

// average -/+ factor * deviation, from one load of each: a recomputation between
// two loads must not give the two edges different statistics.
inline Band bandAround(const std::atomic<double> &average, const std::atomic<double> &deviation, double factor)
{
    const double mean = average.load();
    const double spread = factor * deviation.load();
    return {mean - spread, mean + spread};
}

// 100 in the middle half of lo..hi, falling linearly to 0 at lo and hi, 0 outside.
inline quint8 rateInBand(double v, double lo, double hi)
{
    if (lo > v || v > hi) {
        return 0;
    }
    const double quarter = (hi - lo) * 0.25;
    const double innerLow = lo + quarter;
    const double innerHigh = hi - quarter;
    if (innerLow <= v && v <= innerHigh) {
        return 100;
    }
    double percent = 0.0;
    if (v > innerHigh) {
        const double width = hi - innerHigh;
        if (std::abs(width) <= 1e-12) {
            return 100;
        }
        percent = (hi - v) / width * 100.0;
    } else { // the lower shoulder, which also takes a NaN
        const double width = innerLow - lo;
        if (std::abs(width) <= 1e-12) {
            return 100;
        }
        percent = (v - lo) / width * 100.0;
    }
    if (percent < 0.0) {
        return 0;
    }
    if (percent > 100.0) {
        return 100;
    }
    if (std::isnan(percent)) {
        return 0;
    }
    return static_cast<quint8>(qRound(percent));
}
}

template<typename T>
double GenericSignalImpl<T>::getLowerThreshold(double factor)
{
    return TalvenoRating::bandAround(average, deviation, factor).lo;
}

template<typename T>
double GenericSignalImpl<T>::getUpperThreshold(double factor)
{
    return TalvenoRating::bandAround(average, deviation, factor).hi;
}

template<typename T>
QVector<T> GenericSignalImpl<T>::getDeviators(double factor)
{
    const TalvenoRating::Band band = TalvenoRating::bandAround(average, deviation, factor);
    QVector<T> deviators;
    const TalvenoLocks::ReadLocker locker(valuesLock);
    for (const T &sample : std::as_const(values)) {
        // The scaled value, in the unit of the band.
        const double value = sample.scaledValue.toDouble();
        if (value > band.hi || value < band.lo) {
            deviators.append(sample);
        }
    }
    return deviators;
}

template<typename T>
quint8 GenericSignalImpl<T>::getRating(double factor, bool useFixedLimits, double lowerLimit, double upperLimit)
{
    T newest;
    {
        const TalvenoLocks::ReadLocker locker(valuesLock);
        if (values.size() < 2) {
            return 100;
        }
        newest = values.constLast();
    }
    const TalvenoRating::Band band = useFixedLimits ? TalvenoRating::Band{lowerLimit, upperLimit}
                                                    : TalvenoRating::bandAround(average, deviation, factor);
    double value = 0.0;
    const bool numeric = TalvenoNumeric::visitNumericType(datatype, [&](auto tag) {
        using N = typename decltype(tag)::type;
        if constexpr (std::is_same_v<N, float>) {
            value = static_cast<double>(newest.valueToFloat(true));
        } else {
            value = static_cast<double>(TalvenoNumeric::readAs<N>(newest.scaledValue));
        }
    });
    return numeric ? TalvenoRating::rateInBand(value, band.lo, band.hi) : 100;
}
