// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

// The two ways frames reach a session: a log read to its end, and buses read
// until a stop is requested.

#include "MonitorOptions.h"
#include "Session.h"

#include <QString>
#include <QVector>

namespace ExitStatus
{
constexpr int done = 0;
constexpr int malformedStrict = 1;
constexpr int unreadable = 2;
constexpr int busFailure = 3;
constexpr int reportUnwritable = 4;
}

/// Writes "talveno-monitor: message" on standard error.
void complain(const QString &message);

/// A malformed line, kept for the end of the run.
struct MalformedLine
{
    qint64 lineNumber;
    QString why;
    QString text;
};

/// Reads the log of options.input into the session, up to its end, a stop
/// request, a report that cannot be written, or under --strict a malformed
/// line. Returns the exit status; the final report is still to be written
/// unless it is unreadable.
int readLog(const MonitorOptions &options, Session &session, QVector<MalformedLine> &malformed);

/// Reads options.buses into the session until a stop request, a bus failure or a
/// report that cannot be written. Returns done or busFailure; the final report
/// is still to be written.
int readBuses(const MonitorOptions &options, Session &session);
