// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include <Orvanet/orvanet_export.h>

#include <QtGlobal>

class ORVANET_EXPORT GenericSignal
{
public:
    /// How a signal takes in a new sample.
    enum NewValueHandlingType : quint8 {
        ReplaceNewest = 1, ///< the sample replaces the newest one of the history
        Append = 2, ///< the sample is appended; the history is held to the capacity
    };

    /// Capacity of every signal's history; 0 means unbounded. Thread-safe.
    static unsigned int getMaxValueCount();
    /// Chooses the capacity returned by getMaxValueCount() (default 1000). Thread-safe.
    static void setMaxValueCount(unsigned int count);
};
