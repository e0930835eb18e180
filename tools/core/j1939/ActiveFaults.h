// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include "J1939Diagnostics.h"

#include <QHash>

#include <array>

/**
 * The active diagnostic trouble codes (DM1) of each sender on each interface,
 * from single frames and reassembled groups alike: the sender's four lamps as
 * its newest message shows them, and every code it has listed, active while
 * its newest message lists it.
 *
 * A message is two lamp bytes (status, then flash; two bits per lamp, the
 * malfunction indicator highest) and four bytes per code: SPN bits 0-15 in the
 * first two bytes, its bits 16-18 in the top three bits of the third byte below
 * them the FMI, then the conversion-method bit above the occurrence count.
 * Codes whose bytes are all zero (the message of a sender without faults) or
 * all ones (padding) are none.
 */
class ActiveFaults
{
public:
    /// Takes the message bytes of one sender, sent at the given stamp.
    void take(quint16 interfaceIndex, quint8 sourceAddress, qint64 microseconds, const quint8 *bytes, int length);

    struct Sender
    {
        std::array<LampState, 4> lamps{};
        qint64 lastSeen = 0;
    };
    struct Code
    {
        int occurrences = 127;
        bool active = false;
        bool olderConversionMethod = false;
        qint64 firstSeen = 0;
        qint64 lastSeen = 0;
    };

    /// Keyed by senderKey().
    const QHash<quint32, Sender> &senders() const;
    /// Keyed by codeKey().
    const QHash<quint64, Code> &codes() const;

    static quint32 senderKey(quint16 interfaceIndex, quint8 sourceAddress)
    {
        return (quint32(interfaceIndex) << 8) | sourceAddress;
    }
    static quint64 codeKey(quint32 sender, quint32 spn, int fmi)
    {
        return (quint64(sender) << 24) | (quint64(spn) << 5) | static_cast<quint64>(fmi);
    }

private:
    QHash<quint32, Sender> senderStates;
    QHash<quint64, Code> codeStates;
    /// The codes of each sender that its newest message lists.
    QHash<quint32, QVector<quint64>> activeBySender;
};
