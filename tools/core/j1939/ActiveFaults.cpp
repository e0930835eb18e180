// SPDX-License-Identifier: LGPL-2.1-or-later
#include "ActiveFaults.h"

#include <algorithm>

namespace
{
// Status 01 is on; its flash bits then say 00 slow, 01 fast, anything else steady.
LampState lampOf(int status, int flash)
{
    switch (status) {
    case 0:
        return LampState::Off;
    case 1:
        return flash == 0 ? LampState::SlowFlash : flash == 1 ? LampState::FastFlash : LampState::On;
    default:
        return LampState::NotAvailable;
    }
}

bool filler(const quint8 *code)
{
    const auto same = [code](quint8 value) {
        return std::all_of(code, code + 4, [value](quint8 byte) { return byte == value; });
    };
    return same(0x00) || same(0xFF);
}
}

const QHash<quint32, ActiveFaults::Sender> &ActiveFaults::senders() const
{
    return senderStates;
}

const QHash<quint64, ActiveFaults::Code> &ActiveFaults::codes() const
{
    return codeStates;
}

void ActiveFaults::take(quint16 interfaceIndex,
                        quint8 sourceAddress,
                        qint64 microseconds,
                        const quint8 *bytes,
                        int length)
{
    if (length < 2) {
        return;
    }
    const quint32 sender = senderKey(interfaceIndex, sourceAddress);
    Sender &state = senderStates[sender];
    for (int lamp = 0; lamp < 4; ++lamp) {
        const int shift = 6 - 2 * lamp;
        state.lamps[static_cast<std::size_t>(lamp)] = lampOf((bytes[0] >> shift) & 3, (bytes[1] >> shift) & 3);
    }
    state.lastSeen = microseconds;

    QVector<quint64> &active = activeBySender[sender];
    for (const quint64 key : std::as_const(active)) {
        codeStates[key].active = false;
    }
    active.clear();
    for (int at = 2; at + 4 <= length; at += 4) {
        const quint8 *code = bytes + at;
        if (filler(code)) {
            continue;
        }
        const quint32 spn = code[0] | (quint32(code[1]) << 8) | (quint32(code[2] >> 5) << 16);
        const quint64 key = codeKey(sender, spn, code[2] & 0x1F);
        const bool known = codeStates.contains(key);
        Code &state = codeStates[key];
        if (!known) {
            state.firstSeen = microseconds;
        }
        state.active = true;
        state.lastSeen = microseconds;
        state.occurrences = code[3] & 0x7F;
        state.olderConversionMethod = (code[3] & 0x80) != 0;
        active.append(key);
    }
}
