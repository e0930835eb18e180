// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

// The worker thread that keeps the cached average and deviation fresh, its stop
// (on switching off and on destruction), and the age of the newest scaled sample.

#include "CalculatorVariant_impl.h"
#include "LockAnnotations.h"
#include "NewestSample.h"
#include "SignalObject_impl.h"

#include <QDeadlineTimer>

#include <exception>

namespace TalvenoSignal
{
// Joins and deletes the worker thread, if any; no lock may be held.
inline void stopWorker(QPointer<QThread> &thread)
{
    if (thread.isNull()) {
        return;
    }
    thread->wait(QDeadlineTimer(QDeadlineTimer::Forever));
    TalvenoLocks::noteThreadJoined(&thread);
    if (!thread.isNull()) {
        delete thread.data();
    }
    thread = nullptr;
}
}

template<typename T>
GenericSignalImpl<T>::~GenericSignalImpl()
{
    try {
        setUpdatingEnabled(false);
    } catch (const std::bad_variant_access &) {
        // The calculator failed to take the flag; the worker must go all the same.
        TalvenoSignal::stopWorker(updateThread);
    }
}

template<typename T>
void GenericSignalImpl<T>::setUpdatingEnabled(bool enabled)
{
    {
        const TalvenoLocks::MutexLocker locker(updateMutex);
        updatingEnabled.store(enabled);
    }
    updateCondition.wakeAll();
    {
        const TalvenoLocks::MutexLocker locker(calculatorMutex);
        TalvenoCalculator::setLogValues(calculator, enabled);
    }
    if (!enabled) {
        TalvenoSignal::stopWorker(updateThread);
        return;
    }
    if (!updateThread.isNull()) {
        return;
    }
    QThread *const worker = QThread::create([this] {
        try {
            updateCalculations();
        } catch (const std::exception &) {
            // A calculator that failed to construct ends the worker quietly; the
            // owner joins the finished thread as usual.
        }
        TalvenoLocks::noteThreadEnd(&updateThread);
    });
    updateThread = worker;
    worker->start(QThread::InheritPriority);
}

template<typename T>
void GenericSignalImpl<T>::updateCalculations()
{
    while (updatingEnabled.load()) {
        average.store(calcAverage());
        deviation.store(calcDeviation());
        TalvenoLocks::MutexLocker locker(updateMutex);
        if (updatingEnabled.load()) {
            locker.wait(updateCondition, 100);
        }
    }
}

template<typename T>
double GenericSignalImpl<T>::getAgeInSeconds()
{
    QElapsedTimer started;
    {
        const TalvenoNewest::Locker locker(this);
        started = ageTimer;
    }
    if (!started.isValid()) {
        return -1.0;
    }
    return static_cast<double>(started.elapsed()) / 1000.0;
}
