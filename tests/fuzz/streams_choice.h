// SPDX-License-Identifier: LGPL-2.1-or-later
// How the streams fuzz target reads its input, shared with the seed writer: the
// first byte chooses the stream's settings and the order of the records, the
// remaining bytes are the stream.
#pragma once

#include <QDataStream>

namespace StreamsChoice
{
// Bits 0-1: stream version; bit 2: little-endian; bit 3: single precision.
// Qt_5_0 is left out: at that version Qt 5.15's own QDateTime reader crashes on
// a date out of range with a time kind byte of 255 (a QVariant of type 16),
// which no record reader can prevent and which would hide everything else.
inline void configure(QDataStream &stream, quint8 choice)
{
    static const int versions[] = {QDataStream::Qt_4_0, QDataStream::Qt_4_6, QDataStream::Qt_5_2, QDataStream::Qt_5_15};
    stream.setVersion(versions[choice & 3]);
    stream.setByteOrder(choice & 4 ? QDataStream::LittleEndian : QDataStream::BigEndian);
    stream.setFloatingPointPrecision(choice & 8 ? QDataStream::SinglePrecision : QDataStream::DoublePrecision);
}

// Bits 4-7, repeated: whether the record at this index is a CANopenObjectValue
// (set) or a J1939Value.
inline bool isCANopen(quint8 choice, int index)
{
    return (choice >> (4 + index % 4)) & 1;
}
}
