// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include "InterfaceNames.h"
#include "MetricFamilies.h"
#include "Monitor.h"
#include "MonitorOptions.h"
#include "Relaxed.h"
#include "Report.h"

#include <QTextStream>

#include <memory>
#include <vector>

/// What the run has read from one input, counted as it goes; readable from any
/// thread.
struct InputCounts
{
    /// The log as given, or the bus as PLUGIN:INTERFACE.
    QString name;
    Relaxed<quint64> frames;
    Relaxed<quint64> malformedLines;
    Relaxed<quint64> errorFrames;
};

/// One run of the monitor: the signals, the report they go to, and when the
/// next snapshot is due.
class Session
{
public:
    Session(const QVector<SignalDefinition> &definitions, const MonitorOptions &options, QTextStream &out);

    InterfaceNames &interfaces();
    Monitor &monitor();
    RunSummary &summary();
    /// The run's inputs: the log, or each bus in the order given.
    InputCounts &input(int index);
    /// The signals and the inputs as they are now; from any thread.
    LiveFigures liveFigures();

    /// A frame of a log: the snapshots that fall due before its time go out
    /// first, then the frame is taken in. False once the report cannot be written.
    bool logFrame(const CanFrame &frame);
    /// For a log whose lines carry no time, whose frames are stamped by the wall
    /// clock as they are read: the log's present moves on to the given time
    /// (microseconds since the epoch) though no frame came, and the snapshots
    /// due by then go out. False once the report cannot be written.
    bool clockAt(qint64 microseconds);
    /// Milliseconds from the given time to the next snapshot; -1 when none falls due.
    int millisecondsToSnapshot(qint64 microseconds) const;
    /// A snapshot now, labelled with the given time. False once the report
    /// cannot be written.
    bool snapshot(double seconds);
    /// The run was ended by a stop request: its ending names the signal.
    void endByStopRequest();
    /// The final report, at the time the summary gives.
    void finish();

    /// Of a gap in log time, in which more snapshots fall due than this, only the
    /// first and the last go out, with a line that says how many were left out.
    static constexpr quint64 maxSnapshotsPerGap = 100;

private:
    bool snapshotsUntil(double seconds);
    bool snapshotAt(quint64 index);

    InterfaceNames names;
    Monitor signalMonitor;
    std::unique_ptr<Report> report;
    RunSummary runSummary;
    /// Made once, before the run: never moved while it is read.
    std::vector<InputCounts> inputs;
    double every;
    /// The next snapshot falls due at nextSnapshot x every seconds of log time.
    quint64 nextSnapshot = 1;
};
