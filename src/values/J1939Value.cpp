// SPDX-License-Identifier: LGPL-2.1-or-later
#include "Talveno/J1939Value.h"

J1939Value::J1939Value()
    : GenericValue()
    , auxByte1(0)
    , auxByte2(0)
{
}
