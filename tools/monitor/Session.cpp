// SPDX-License-Identifier: LGPL-2.1-or-later
#include "Session.h"
#include "StandardStreams.h"
#include "StopRequest.h"

#include <cmath>
#include <csignal>

namespace
{
Report::Settings reportSettings(const MonitorOptions &options)
{
    Report::Settings settings;
    settings.format = options.format;
    settings.wide = options.wide;
    settings.snapshots = options.every > 0.0;
    settings.redraw = settings.snapshots && options.redraw && StandardStreams::outputIsTerminal();
    settings.run = options.run;
    return settings;
}
}

Session::Session(const QVector<SignalDefinition> &definitions, const MonitorOptions &options, QTextStream &out)
    : signalMonitor(definitions, names, options.run)
    , report(Report::make(reportSettings(options), out))
    , every(options.every)
{
    for (const BusAddress &bus : options.buses) {
        inputs.push_back(InputCounts{bus.text(), {}, {}, {}});
    }
    if (inputs.empty()) {
        inputs.push_back(InputCounts{options.input, {}, {}, {}});
    }
}

InterfaceNames &Session::interfaces()
{
    return names;
}

Monitor &Session::monitor()
{
    return signalMonitor;
}

RunSummary &Session::summary()
{
    return runSummary;
}

InputCounts &Session::input(int index)
{
    return inputs[static_cast<std::size_t>(index)];
}

LiveFigures Session::liveFigures()
{
    LiveFigures figures;
    figures.signalStates = signalMonitor.snapshot();
    for (const InputCounts &counts : inputs) {
        figures.inputs.append(InputFigures{counts.name, counts.frames, counts.malformedLines, counts.errorFrames});
    }
    return figures;
}

bool Session::logFrame(const CanFrame &frame)
{
    const bool written = every <= 0.0 || snapshotsUntil(signalMonitor.logSeconds(frame));
    signalMonitor.processFrame(frame);
    return written;
}

bool Session::clockAt(qint64 microseconds)
{
    const double seconds = signalMonitor.logSecondsAt(microseconds);
    const bool written = every <= 0.0 || snapshotsUntil(seconds);
    signalMonitor.advanceLogTime(seconds);
    return written;
}

int Session::millisecondsToSnapshot(qint64 microseconds) const
{
    if (every <= 0.0) {
        return -1;
    }
    const double left = static_cast<double>(nextSnapshot) * every - signalMonitor.logSecondsAt(microseconds);
    return static_cast<int>(std::ceil(qBound(0.0, left, 1e6) * 1000.0));
}

// Each snapshot shows the signals as they were at its own time, however late the
// frame that brought it due.
bool Session::snapshotAt(quint64 index)
{
    const double seconds = static_cast<double>(index) * every;
    signalMonitor.advanceLogTime(seconds);
    return snapshot(seconds);
}

bool Session::snapshotsUntil(double seconds)
{
    if (static_cast<double>(nextSnapshot) * every > seconds) {
        return true;
    }
    quint64 last = std::max(nextSnapshot, static_cast<quint64>(seconds / every));
    while (last > nextSnapshot && static_cast<double>(last) * every > seconds) {
        --last;
    }
    while (static_cast<double>(last + 1) * every <= seconds) {
        ++last;
    }
    const quint64 first = nextSnapshot;
    nextSnapshot = last + 1;
    if (last - first + 1 > maxSnapshotsPerGap) {
        return snapshotAt(first)
            && report->addSkipped(static_cast<double>(first) * every,
                                  static_cast<double>(last) * every,
                                  last - first - 1)
            && snapshotAt(last);
    }
    bool written = true;
    for (quint64 index = first; written && index <= last; ++index) {
        written = snapshotAt(index);
    }
    return written;
}

bool Session::snapshot(double seconds)
{
    return report->addSnapshot(seconds, signalMonitor.snapshot());
}

void Session::endByStopRequest()
{
    switch (StopRequest::signalNumber()) {
    case SIGINT:
        runSummary.ending = Ending::Interrupted;
        break;
    case SIGTERM:
        runSummary.ending = Ending::Terminated;
        break;
    case SIGHUP:
        runSummary.ending = Ending::HungUp;
        break;
    }
}

void Session::finish()
{
    runSummary.frames = signalMonitor.frameCount();
    runSummary.silentSignals = signalMonitor.silentSignals();
    runSummary.errorFrames = 0;
    for (const InputCounts &counts : inputs) {
        runSummary.errorFrames += counts.errorFrames;
    }
    runSummary.firstFrameMicroseconds = signalMonitor.frameTimes().first();
    runSummary.lastFrameMicroseconds = signalMonitor.frameTimes().last();
    report->finish(runSummary, signalMonitor.snapshot());
}
