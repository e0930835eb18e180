// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include <Talveno/talveno_export.h>

#include <Orvanet/GenericValue.h>

/// A sample of a CANopen object. Copied by value into and out of a signal's history.
class TALVENO_EXPORT CANopenObjectValue : public GenericValue
{
public:
    /// The base part as GenericValue() leaves it; the four fields of its own are 0.
    CANopenObjectValue();
    ~CANopenObjectValue();
    CANopenObjectValue(const CANopenObjectValue &) = default;
    CANopenObjectValue &operator=(const CANopenObjectValue &) = default;

    /// True when rawValue (by QVariant equality), auxByte1, auxByte2, auxDouble1,
    /// auxDouble2 (by floating-point equality: NaN never equals) and auxInt are
    /// equal, tested in that order. scaledValue, auxDouble and excluded do not count.
    bool operator==(const CANopenObjectValue &other) const;

    qint8 auxByte1;
    qint8 auxByte2;
    double auxDouble1;
    double auxDouble2;
};
Q_DECLARE_TYPEINFO(CANopenObjectValue, Q_MOVABLE_TYPE);
