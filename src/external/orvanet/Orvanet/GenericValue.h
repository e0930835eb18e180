// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include <Orvanet/orvanet_export.h>

#include <QVariant>

/// Base of every sample record: the value as received and as scaled, plus
/// fields that a record carries for its host.
class ORVANET_EXPORT GenericValue
{
public:
    /// Invalid variants, 0, 0.0 and false.
    GenericValue();

    /// rawValue (false) or scaledValue (true) as a float; 0 when it does not convert.
    float valueToFloat(bool scaled) const;

    QVariant rawValue;
    QVariant scaledValue;
    qint32 auxInt;
    double auxDouble;
    bool excluded;
};
Q_DECLARE_TYPEINFO(GenericValue, Q_MOVABLE_TYPE);
