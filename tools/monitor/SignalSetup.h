// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include "MonitorOptions.h"
#include "SignalDefinition.h"

#include <QTextStream>
#include <QVector>

/// The signals the options ask for: the built-in ones, those of the definition
/// file and of the databases, as --signals selects them. False, with the message
/// on standard error, for a file that cannot be read or used, and for a pattern
/// that selects no signal; the databases' warnings go there too.
bool loadSignals(const MonitorOptions &options, QVector<SignalDefinition> &definitions);

/// --list-signals: what the databases define, as --signals selects it. False as
/// loadSignals() is.
bool listDatabaseSignals(const MonitorOptions &options, QTextStream &out);
