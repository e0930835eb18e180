// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

// The two ways frames reach a session: a log read to its end, and buses read
// until a stop is requested.

#include "LogFile.h"
#include "MalformedLines.h"
#include "MonitorOptions.h"
#include "Session.h"

/// Reads the log into the session, up to its end, a stop request, a report that
/// cannot be written, or under --strict a malformed line. Returns the exit
/// status; the final report is still to be written unless it is unreadable.
int readLog(const MonitorOptions &options, const LogFile &log, Session &session, MalformedLines &malformed);

/// Reads options.buses into the session until a stop request, a bus failure or a
/// report that cannot be written. Returns done or busFailure; the final report
/// is still to be written.
int readBuses(const MonitorOptions &options, Session &session);
