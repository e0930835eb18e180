// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include <QtGlobal>

namespace CAN
{
/// Data type of a CANopen object, by the numbers of the CANopen basic data types.
/// Any 32-bit value may be stored in it; values without a name are legal too.
enum CANopenDataType : qint32 {
    Boolean = 0x01,
    Integer8 = 0x02,
    Integer16 = 0x03,
    Integer32 = 0x04,
    Unsigned8 = 0x05,
    Unsigned16 = 0x06,
    Unsigned32 = 0x07,
    Real32 = 0x08,
    VisibleString = 0x09,
    OctetString = 0x0A,
    UnicodeString = 0x0B,
    TimeOfDay = 0x0C,
    TimeDifference = 0x0D,
    Domain = 0x0F,
    Integer24 = 0x10,
    Real64 = 0x11,
    Integer40 = 0x12,
    Integer48 = 0x13,
    Integer56 = 0x14,
    Integer64 = 0x15,
    Unsigned24 = 0x16,
    Unsigned40 = 0x18,
    Unsigned48 = 0x19,
    Unsigned56 = 0x1A,
    Unsigned64 = 0x1B,
};
}
