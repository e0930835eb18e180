// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include "SignalDefinition.h"

#include <QVector>

/// Common J1939 parameters (SPN 190, 84, 110, 100, 91, 183), sent by the ECU at
/// sourceAddress, little-endian, scaled in double, skipping not-available values.
QVector<SignalDefinition> builtinSignals(quint8 sourceAddress = 0x00);
