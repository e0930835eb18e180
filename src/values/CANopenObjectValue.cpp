// SPDX-License-Identifier: LGPL-2.1-or-later
#include "Talveno/CANopenObjectValue.h"

CANopenObjectValue::CANopenObjectValue()
    : GenericValue()
    , auxByte1(0)
    , auxByte2(0)
    , auxDouble1(0.0)
    , auxDouble2(0.0)
{
}

CANopenObjectValue::~CANopenObjectValue() = default;

bool CANopenObjectValue::operator==(const CANopenObjectValue &other) const
{
    return rawValue == other.rawValue && auxByte1 == other.auxByte1 && auxByte2 == other.auxByte2
        && auxDouble1 == other.auxDouble1 && auxDouble2 == other.auxDouble2 && auxInt == other.auxInt;
}
