// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include <Talveno/talveno_export.h>

#include <Orvanet/GenericValue.h>

/// A sample of a J1939 parameter. Copied by value into and out of a signal's history.
class TALVENO_EXPORT J1939Value : public GenericValue
{
public:
    /// The base part as GenericValue() leaves it; auxByte1 and auxByte2 are 0.
    J1939Value();

    quint8 auxByte1;
    quint8 auxByte2;
};
Q_DECLARE_TYPEINFO(J1939Value, Q_MOVABLE_TYPE);
