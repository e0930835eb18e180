// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include <QtGlobal>

/// The parts of a 29-bit J1939 identifier, and the parameter groups this part
/// listens to.
namespace J1939Ids
{
constexpr quint32 requestFormat = 0xEA;
constexpr quint32 dataTransferFormat = 0xEB;
constexpr quint32 connectionFormat = 0xEC;
/// Active diagnostic trouble codes (DM1).
constexpr quint32 activeFaultsPgn = 0xFECA;
constexpr quint8 globalAddress = 255;

/// The PDU format with the data page bits above it, so that the formats of the
/// first page alone compare equal to the constants above.
inline quint32 pduFormat(quint32 id)
{
    return (id >> 16) & 0x3FF;
}
/// The destination address of a group below PDU format 240.
inline quint8 pduSpecific(quint32 id)
{
    return static_cast<quint8>((id >> 8) & 0xFF);
}
inline quint8 sourceAddress(quint32 id)
{
    return static_cast<quint8>(id & 0xFF);
}
/// Data page bits, PDU format and specific: the parameter group of a broadcast
/// identifier (PDU format 240 and up).
inline quint32 broadcastPgn(quint32 id)
{
    return (id >> 8) & 0x3FFFF;
}
/// A parameter group number as the protocol carries it: three bytes, least
/// significant first.
inline quint32 pgnAt(const quint8 *bytes)
{
    return (quint32(bytes[0]) | (quint32(bytes[1]) << 8) | (quint32(bytes[2]) << 16)) & 0x3FFFF;
}
}
