// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include "InterfaceNames.h"
#include "Monitor.h"
#include "MonitorOptions.h"
#include "Report.h"

#include <QTextStream>

/// One run of the monitor: the signals, the report they go to, and when the
/// next snapshot is due.
class Session
{
public:
    /// logTime: the frames come from a log, whose time drives the snapshots.
    Session(const QVector<SignalDefinition> &definitions,
            const MonitorOptions &options,
            bool logTime,
            QTextStream &out);

    InterfaceNames &interfaces();
    Monitor &monitor();
    RunSummary &summary();

    /// A frame of a log: the snapshots that fall due before its time go out
    /// first, then the frame is taken in.
    void logFrame(const CanFrame &frame);
    /// A snapshot now, labelled with the given time.
    void snapshot(double seconds);
    /// The final report, at the time the summary gives.
    void finish();

private:
    InterfaceNames names;
    Monitor signalMonitor;
    Report report;
    RunSummary runSummary;
    double every;
    double nextSnapshot;
};
