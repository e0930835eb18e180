// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include "BusAddress.h"
#include "LogFormat.h"
#include "MetricsAddress.h"
#include "Report.h"
#include "RunSettings.h"

#include <QString>
#include <QStringList>
#include <QVector>

#include <optional>

/// What the command line asks for.
struct MonitorOptions
{
    /// A log file, or "-" for standard input; empty when reading buses.
    QString input;
    /// --input-format: the log's format, whatever its first bytes show.
    std::optional<LogFormat> inputFormat;
    /// Each --bus, in order.
    QVector<BusAddress> buses;
    /// The reports of --merge; empty when reading frames.
    QStringList mergeReports;
    ReportFormat format = ReportFormat::Table;
    /// One table line per signal with every column.
    bool wide = false;
    /// --band, --stale and --history, and whether the frames come from a log.
    RunSettings run;
    /// Seconds between snapshots, of log time on a log and of wall-clock time on
    /// a bus; 0: only the final report.
    double every = 0.0;
    QString plotFile;
    QString definitionFile;
    bool builtins = true;
    quint8 sourceAddress = 0x00;
    /// --source-address all: every sender of a J1939 parameter is a signal of its own.
    bool everySourceAddress = false;
    /// --source-address was given: the databases' J1939 messages then come from
    /// that sender only, not from every one.
    bool sourceAddressGiven = false;
    /// Each --dbc, in order.
    QStringList databaseFiles;
    /// Each --signals pattern; empty: every signal.
    QStringList signalPatterns;
    /// --list-signals: print what the databases define, and read no frames.
    bool listSignals = false;
    /// --timing, and its --timing-tolerance as a fraction of the cycle time.
    bool timing = false;
    double timingTolerance = 0.1;
    bool strict = false;
    /// On a terminal, --every redraws each snapshot in place (off: --no-redraw).
    bool redraw = true;
    /// --metrics: where to serve the figures for Prometheus while the run lasts.
    MetricsAddress metrics;
};

/// Reads the arguments (the program name first). Returns false with a message in
/// error for a usage fault; sets exitNow when --help, --version or --list-buses
/// was answered (--list-signals, which reads the databases, is left to the caller).
bool parseMonitorOptions(const QStringList &arguments,
                         const QString &sampleLog,
                         MonitorOptions &options,
                         QString &error,
                         bool &exitNow);
