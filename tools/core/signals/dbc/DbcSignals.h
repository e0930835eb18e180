// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include "DbcDatabase.h"
#include "SignalDefinition.h"
#include "SignalSelection.h"

#include <QString>
#include <QVector>

/// How a run takes the signals of its databases.
struct DatabaseChoices
{
    /// Which signals; all when null.
    const SignalSelection *selection = nullptr;
    /// The only sender of J1939 messages to watch; -1 for every one, each a signal
    /// of its own.
    int sourceAddress = -1;
    /// Rate against the signal's minimum and maximum where the database gives a
    /// range other than 0 to 0.
    bool databaseLimits = false;
    /// A signal "MESSAGE interval" per message with a cycle time: the milliseconds
    /// between its frames, rated against the cycle time -/+ timingTolerance.
    bool timing = false;
    double timingTolerance = 0.1;
};

/**
 * Appends the definition of every selected signal of the database that can be
 * decoded, named MESSAGE.SIGNAL and listed in reports once it has a sample,
 * and with timing, the interval signal of each message with a cycle time
 * whose name the selection selects. False, with error naming the file and
 * line and nothing appended, where a name is taken by an earlier definition:
 * reports and merges tell signals apart by name.
 */
bool appendDatabaseSignals(const DbcDatabase &database,
                           const DatabaseChoices &choices,
                           QVector<SignalDefinition> &definitions,
                           QString &error);

/// The data type a database signal scales in: for an integer factor and offset the
/// narrowest integer type that holds its raw, product and scaled values, all
/// within 2^53 so that every step is exact; for SIG_VALTYPE_ 1 and 2 Real32 and
/// Real64; else Real64. No scaled value is ever cut.
CAN::CANopenDataType scalingType(const DbcSignal &s);
