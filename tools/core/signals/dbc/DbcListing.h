// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include "DbcDatabase.h"
#include "SignalSelection.h"

#include <QString>
#include <QVector>

/// What the databases define, as a table: a line per selected signal that can be
/// decoded, with its message, identifier (a J1939 message's parameter group),
/// bits as start|length, byte order, type, factor, offset, unit, range and
/// multiplexing (M for a multiplexer, NAME=VALUES for the multiplexers that
/// select the signal); each database's first line counts its messages and signals.
QString databaseListing(const QVector<DbcDatabase> &databases, const SignalSelection &selection);
