// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include <Talveno/CANopenObjectValue.h>
#include <Talveno/CalculatorVariant.h>
#include <Talveno/J1939Value.h>
#include <Talveno/talveno_export.h>

#include <Orvanet/CANopenDataType.h>
#include <Orvanet/GenericSignal.h>

#include <QElapsedTimer>
#include <QMutex>
#include <QPointer>
#include <QReadWriteLock>
#include <QThread>
#include <QVector>
#include <QWaitCondition>

#include <atomic>

/**
 * The recent history of one measured CAN signal, and statistics about it.
 *
 * Samples come in through setNewValue(). The history is held by the handling
 * policy: 1 replaces the newest sample, 2 appends and holds the history to the
 * capacity M = GenericSignal::getMaxValueCount() (0: unbounded): once it holds
 * more than M + M/10 samples, the oldest are dropped until M remain.
 *
 * Scaling: scaledValue = rawValue * factor + offset, formed in the numeric type
 * that the data type selects (0, 17: double; 2, 18: qint8; 3: qint16; 4, 16:
 * qint32; 5: quint8; 6: quint16; 7, 22: quint32; 8: float; 21: qint64; 24, 25,
 * 27: quint64; every other value, negative ones too: none, scaledValue becomes a
 * copy of rawValue). For the integer types the product is cut toward zero to the
 * type before the offset is added, and the sum is cut again; a value outside the
 * type wraps or clamps as the processor's conversion does. Values that do not
 * convert count as zero. Narrow integer results are stored as int.
 *
 * All operations may be called from any thread. The host calls setDatatype(),
 * setValueHandling(), setUpdatingEnabled() and the destructor for one object
 * from one thread at a time, and feeds one object from one thread at a time.
 * Errors are results, not exceptions: the only exceptions that leave an
 * operation are allocation failures and std::bad_variant_access after a
 * calculator failed to construct; every lock is free again afterwards.
 *
 * Instantiated for J1939Value and CANopenObjectValue only.
 */
template<typename T>
class GenericSignalImpl
{
public:
    /// No samples, policy 1, data type 0, no worker thread.
    GenericSignalImpl();
    /// Stops and joins the worker thread first.
    ~GenericSignalImpl();
    GenericSignalImpl(const GenericSignalImpl &) = delete;
    GenericSignalImpl &operator=(const GenericSignalImpl &) = delete;

    // History

    /// Stores the sample unscaled by the handling policy. False, and nothing
    /// changes, under a policy other than 1 and 2.
    bool setNewValue(T value);
    /// Empties the history and the calculator; the cached statistics, the newest
    /// sample and its age stay.
    void clearValues();
    /// Sets the policy and runs the worker thread exactly under policy 2.
    void setValueHandling(GenericSignal::NewValueHandlingType handling);
    GenericSignal::NewValueHandlingType getValueHandling() const;
    CAN::CANopenDataType getDatatype() const;
    /// The newest sample taken in by the scaled intake (or by a rebuild), whole.
    /// Waits at most for another thread's copy of one sample, never for the
    /// statistics, so a display may call it on every refresh.
    T getValue() const;
    /// Copies the sample at index (0 = oldest) into value; false, value untouched,
    /// when index is outside the history.
    bool getValue(int index, T &value) const;
    /// The history, oldest first; an implicitly shared copy.
    QVector<T> getValues() const;
    int getValueCount() const;

    // Scaled intake

    /// Stores the sample by the policy, scales it, feeds it to the calculator and
    /// refreshes the cached statistics, the newest sample and its age. Returns
    /// what setNewValue(T) returned.
    bool setNewValue(T value, double scaleFactor, double scaleOffset);
    /// Appends the samples (no capacity, no policy) and rescales the whole history.
    /// Feeds nothing to the calculator: see rebuildStatisticsFromValues().
    void appendValues(const QVector<T> &samples, double scaleFactor, double scaleOffset);
    /// Rescales every sample of the history.
    void updateScaledValues(double scaleFactor, double scaleOffset);
    /// Sets value.scaledValue from value.rawValue by the scaling rule above; a
    /// sample with excluded set keeps its scaledValue unless the data type has no
    /// numeric type. Takes no lock and changes nothing of the signal.
    void scaleAndAppendValue(T &value, double scaleFactor, double scaleOffset);

    // Statistics

    /// Stores the data type; a data type with a numeric type also gets a new,
    /// empty calculator of that type (the history is not replayed into it).
    void setDatatype(CAN::CANopenDataType type);
    /// Live statistics of every value fed to the calculator since it was made or cleared.
    double calcAverage() const;
    double calcDeviation() const;
    /// As calcAverage() and calcDeviation(), for a caller that holds the calculator's lock.
    double calcAverageLocked() const;
    double calcDeviationLocked() const;
    /// Median of the history's scaled values in the calculator's type; 0.0 unless policy 2.
    double calcMedian() const;
    /// Cached statistics: take no lock; 0.0 until first computed.
    double getAverage() const;
    double getDeviation() const;
    /// Largest and smallest value fed to the calculator, as double.
    double getMax() const;
    double getMin() const;
    /// Stores the live average and deviation into the cached ones.
    void updateAverageAndDeviation();
    /// Clears the calculator, feeds it the history's scaled values, makes the newest
    /// sample the latest and refreshes the cached statistics.
    void rebuildStatisticsFromValues();
    /// Live average, maximum and minimum (as double variants), median, deviation
    /// and the number of stored samples; each read on its own.
    void getValueStatistics(double &average,
                            QVariant &maximum,
                            QVariant &minimum,
                            double &median,
                            double &deviation,
                            unsigned int &count) const;

    // Rating

    /// 0 to 100 for the newest sample: 100 in the middle half of the band, falling
    /// linearly to 0 at its edges, 0 outside. The band is lowerLimit..upperLimit
    /// with useFixedLimits, else the cached average -/+ factor * deviation.
    /// 100 with fewer than two samples or a data type without a numeric type.
    quint8 getRating(double factor, bool useFixedLimits, double lowerLimit, double upperLimit);
    /// Cached average - factor * deviation.
    double getLowerThreshold(double factor);
    /// Cached average + factor * deviation.
    double getUpperThreshold(double factor);
    /// The stored samples whose scaled value lies strictly outside the band, in history order.
    QVector<T> getDeviators(double factor);

    // Background updating

    /// Starts (true) or stops and joins (false) the worker thread that refreshes
    /// the cached average and deviation about every 100 ms.
    void setUpdatingEnabled(bool enabled);
    /// The worker's loop: runs until updating is switched off.
    void updateCalculations();
    /// Seconds since the last successful scaled intake; -1.0 before the first.
    /// Waits no longer than getValue().
    double getAgeInSeconds();

private:
    // Locks, none of them recursive; every operation has released what it took when
    // it returns or throws.
    //
    //   valuesLock       the history `values`.
    //   calculatorMutex  `calculator`, around every call into it.
    //   spareMutex       nothing; no operation takes it.
    //   updateMutex      changes of `updatingEnabled` and the worker's wait. The worker
    //                    tests the flag under it right before it sleeps, so a switch-off
    //                    cannot fall between the test and the wait.
    //
    // Order: valuesLock, then calculatorMutex; updateMutex is always taken alone. The
    // scaled intake takes its locks one after the other, never two at once. The
    // atomics are read without a lock; `datatype` and `valueHandling` are set by the
    // host while no other thread uses the object.
    //
    // The newest sample `lastValue` and its age `ageTimer` are handed to getValue()
    // and getAgeInSeconds() under a brief lock of the library's own, outside these
    // members, held for one swap or one copy: so the getters never see half a sample
    // and never wait behind the history or the statistics.
    T lastValue;
    QVector<T> values;
    CAN::CANopenDataType datatype;
    QPointer<QThread> updateThread;
    std::atomic<bool> updatingEnabled;
    QElapsedTimer ageTimer;
    CalculatorVariant calculator;
    mutable QReadWriteLock valuesLock;
    mutable QMutex calculatorMutex;
    mutable QMutex spareMutex;
    QMutex updateMutex;
    QWaitCondition updateCondition;
    std::atomic<bool> averageChanged;
    std::atomic<bool> deviationChanged;
    std::atomic<bool> valueChanged;
    std::atomic<double> average;
    std::atomic<double> deviation;
    GenericSignal::NewValueHandlingType valueHandling;
};

extern template class TALVENO_EXPORT GenericSignalImpl<J1939Value>;
extern template class TALVENO_EXPORT GenericSignalImpl<CANopenObjectValue>;
