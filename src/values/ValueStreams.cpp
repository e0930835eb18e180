// SPDX-License-Identifier: LGPL-2.1-or-later
#include "Talveno/ValueStreams.h"

namespace
{
constexpr qint16 j1939WithoutAuxDouble = 1;
constexpr qint16 j1939Current = 2;
constexpr qint16 canopenCurrent = 1;
}

QDataStream &operator<<(QDataStream &stream, const J1939Value &value)
{
    stream << j1939Current << value.rawValue << value.scaledValue << value.auxInt << value.auxDouble;
    return stream;
}

// A short stream is left for the host to notice through the stream's status: every
// field after the break simply takes what QDataStream stores on a failed read.
QDataStream &operator>>(QDataStream &stream, J1939Value &value)
{
    qint16 version = 0;
    stream >> version;
    if (version != j1939WithoutAuxDouble && version != j1939Current) {
        return stream;
    }
    stream >> value.rawValue >> value.scaledValue >> value.auxInt;
    if (version == j1939Current) {
        stream >> value.auxDouble;
    }
    return stream;
}

QDataStream &operator<<(QDataStream &stream, const CANopenObjectValue &value)
{
    stream << canopenCurrent << value.rawValue << value.scaledValue << value.auxByte1 << value.auxByte2
           << value.auxDouble1 << value.auxDouble2 << value.auxInt;
    return stream;
}

QDataStream &operator>>(QDataStream &stream, CANopenObjectValue &value)
{
    qint16 version = 0;
    stream >> version;
    if (version != canopenCurrent) {
        return stream;
    }
    stream >> value.rawValue >> value.scaledValue >> value.auxByte1 >> value.auxByte2 >> value.auxDouble1
        >> value.auxDouble2 >> value.auxInt;
    return stream;
}
