// SPDX-License-Identifier: LGPL-2.1-or-later
#include "Orvanet/GenericValue.h"

GenericValue::GenericValue()
    : auxInt(0)
    , auxDouble(0.0)
    , excluded(false)
{
}

float GenericValue::valueToFloat(bool scaled) const
{
    bool ok = false;
    const float value = (scaled ? scaledValue : rawValue).toFloat(&ok);
    return ok ? value : 0.0f;
}
