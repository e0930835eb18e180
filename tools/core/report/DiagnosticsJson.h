// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include "J1939Diagnostics.h"

#include <QJsonObject>

/// Writes the diagnostics into a report's end: "transport", "lamps", "faults"
/// and "requests", always there, empty (or zeros) where nothing was seen.
void writeDiagnostics(const J1939Diagnostics &diagnostics, QJsonObject &report);
/// Reads them back from a report's end; a report without them has none.
J1939Diagnostics readDiagnostics(const QJsonObject &report);
