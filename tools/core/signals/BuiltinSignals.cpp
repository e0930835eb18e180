// SPDX-License-Identifier: LGPL-2.1-or-later
#include "BuiltinSignals.h"

namespace
{
// Bytes are counted from 1 as the J1939 parameter tables do.
SignalDefinition j1939Parameter(const char *name,
                                int spn,
                                const char *unit,
                                quint32 pgn,
                                int firstByte,
                                int bytes,
                                double factor,
                                double offset,
                                quint8 sourceAddress)
{
    SignalDefinition signal;
    signal.name = QString::fromLatin1(name);
    signal.unit = QString::fromUtf8(unit);
    signal.j1939 = true;
    signal.pgn = pgn;
    signal.sourceAddress = sourceAddress;
    signal.startBit = (firstByte - 1) * 8;
    signal.length = bytes * 8;
    signal.factor = factor;
    signal.offset = offset;
    signal.skipNotAvailable = true;
    signal.spn = spn;
    return signal;
}
}

QVector<SignalDefinition> builtinSignals(quint8 sourceAddress)
{
    return {
        j1939Parameter("engine speed (SPN 190)", 190, "rpm", 61444, 4, 2, 0.125, 0.0, sourceAddress),
        j1939Parameter("vehicle speed (SPN 84)", 84, "km/h", 65265, 2, 2, 1.0 / 256.0, 0.0, sourceAddress),
        j1939Parameter("coolant temperature (SPN 110)", 110, "°C", 65262, 1, 1, 1.0, -40.0, sourceAddress),
        j1939Parameter("oil pressure (SPN 100)", 100, "kPa", 65263, 4, 1, 4.0, 0.0, sourceAddress),
        j1939Parameter("accelerator pedal (SPN 91)", 91, "%", 61443, 2, 1, 0.4, 0.0, sourceAddress),
        j1939Parameter("fuel rate (SPN 183)", 183, "L/h", 65266, 1, 2, 0.05, 0.0, sourceAddress),
    };
}
