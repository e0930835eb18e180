// SPDX-License-Identifier: LGPL-2.1-or-later
#include "Session.h"

#include <cmath>

namespace
{
Monitor::Settings monitorSettings(const MonitorOptions &options, bool logTime)
{
    Monitor::Settings settings;
    settings.band = options.band;
    settings.staleAfter = options.staleAfter;
    settings.logTime = logTime;
    return settings;
}

Report::Settings reportSettings(const MonitorOptions &options, bool logTime)
{
    Report::Settings settings;
    settings.format = options.format;
    settings.wide = options.wide;
    settings.snapshots = options.every > 0.0;
    settings.logTime = logTime;
    settings.staleAfter = options.staleAfter;
    return settings;
}
}

Session::Session(const QVector<SignalDefinition> &definitions,
                 const MonitorOptions &options,
                 bool logTime,
                 QTextStream &out)
    : signalMonitor(definitions, names, monitorSettings(options, logTime))
    , report(reportSettings(options, logTime), out)
    , every(options.every)
    , nextSnapshot(options.every)
{
    runSummary.band = options.band;
    runSummary.historyCapacity = options.history;
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

void Session::logFrame(const CanFrame &frame)
{
    if (every > 0.0) {
        const double t = signalMonitor.logSeconds(frame);
        if (t >= nextSnapshot) {
            snapshot(nextSnapshot);
            nextSnapshot = (std::floor(t / every) + 1.0) * every;
        }
    }
    signalMonitor.processFrame(frame);
}

void Session::snapshot(double seconds)
{
    report.addSnapshot(seconds, signalMonitor.snapshot());
}

void Session::finish()
{
    runSummary.frames = signalMonitor.frameCount();
    runSummary.firstFrameMicroseconds = signalMonitor.firstFrameMicroseconds();
    runSummary.lastFrameMicroseconds = signalMonitor.lastFrameMicroseconds();
    report.finish(runSummary, signalMonitor.snapshot());
}
