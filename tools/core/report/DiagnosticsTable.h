// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include "J1939Diagnostics.h"

#include <QTextStream>

/// The table's "Diagnostics" section: each sender of active faults with its
/// lamps, then a line per trouble code. Nothing when no sender was seen.
void writeDiagnosticsSection(QTextStream &out, const J1939Diagnostics &diagnostics);

/// The table footer's line on the transport sessions; empty when none was seen.
QString transportLine(const TransportCounts &counts);

/// The short description of a failure mode identifier, 0 to 31.
QString failureModeText(int fmi);
