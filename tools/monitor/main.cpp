// SPDX-License-Identifier: LGPL-2.1-or-later
// talveno-monitor: statistics of the CAN signals in a log, a pipe or on live buses.

#include "ExitStatus.h"
#include "Merge.h"
#include "Messages.h"
#include "MetricsEndpoint.h"
#include "MonitorOptions.h"
#include "QtSerialBus.h"
#include "Runs.h"
#include "Session.h"
#include "SignalSetup.h"
#include "StandardStreams.h"
#include "StopRequest.h"
#include "SvgPlot.h"

#include <Orvanet/GenericSignal.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace
{
// The plot's file is opened before anything is read, so that a path that cannot be
// written fails at once, not after a long log.
bool openPlot(QFile &file)
{
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        complain(QStringLiteral("cannot write %1: %2").arg(file.fileName(), file.errorString()));
        return false;
    }
    return true;
}

bool writePlot(QFile &file, Monitor &monitor)
{
    if (file.write(svgPlot(monitor.series())) < 0 || !file.flush()) {
        complain(QStringLiteral("cannot write %1: %2").arg(file.fileName(), file.errorString()));
        return false;
    }
    return true;
}

// What was written must have reached standard output; a reader that went away
// (| head) ends the run without a message.
int written(const StandardOutput &output, int status)
{
    if (!output.failed()) {
        return status;
    }
    if (!output.readerGone()) {
        complain(QStringLiteral("cannot write the report: %1").arg(output.failure()));
    }
    return ExitStatus::reportUnwritable;
}

// --help and the like went out through the C library's standard output.
int answered(const StandardOutput &output)
{
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) {
        return written(output, ExitStatus::done);
    }
    if (errno != EPIPE) {
        complain(
            QStringLiteral("cannot write to standard output: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
    }
    return ExitStatus::reportUnwritable;
}

int runMerge(const MonitorOptions &options, QTextStream &out, const StandardOutput &output)
{
    MergedReport merged;
    QString error;
    if (!mergeReports(options.mergeReports, merged, error)) {
        complain(error);
        return ExitStatus::unreadable;
    }
    Report::Settings settings;
    settings.format = options.format;
    settings.wide = options.wide;
    settings.merged = true;
    Report::make(settings, out)->finish(merged.summary, merged.signalStates);
    return written(output, ExitStatus::done);
}

// The sample log installed beside the program, or the one in the source tree.
QString sampleLog()
{
    const QString installed =
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral(TALVENO_INSTALLED_SAMPLE_LOG));
    return QFileInfo::exists(installed) ? QDir::cleanPath(installed) : QStringLiteral(TALVENO_SAMPLE_LOG);
}

}

int main(int argc, char *argv[])
{
    StandardStreams::claim();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("talveno-monitor"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TALVENO_VERSION));
    prepareQtSerialBus();

    MonitorOptions options;
    QString error;
    bool exitNow = false;
    if (!parseMonitorOptions(QCoreApplication::arguments(), sampleLog(), options, error, exitNow)) {
        complain(error + QStringLiteral(" (see --help)"));
        return ExitStatus::unreadable;
    }
    StandardOutput output;
    if (exitNow) {
        return answered(output);
    }
    // The log is opened before anything is written or read.
    LogFile log;
    if (!options.input.isEmpty() && !log.open(options.input, error)) {
        complain(error);
        return ExitStatus::unreadable;
    }
    if (options.inputFormat) {
        log.setFormat(*options.inputFormat);
    }
    if (output.failed()) {
        return written(output, ExitStatus::done);
    }
    QTextStream out(&output);
    out.setCodec("UTF-8");
    if (!options.mergeReports.isEmpty()) {
        return runMerge(options, out, output);
    }
    if (options.listSignals) {
        const bool listed = listDatabaseSignals(options, out);
        out.flush();
        return listed ? written(output, ExitStatus::done) : ExitStatus::unreadable;
    }
    QVector<SignalDefinition> definitions;
    if (!loadSignals(options, definitions)) {
        return ExitStatus::unreadable;
    }
    QFile plot(options.plotFile);
    if (!options.plotFile.isEmpty() && !openPlot(plot)) {
        return ExitStatus::unreadable;
    }
    if (!StopRequest::install()) {
        complain(QStringLiteral("cannot set up the handling of SIGINT, SIGTERM and SIGHUP"));
        return ExitStatus::unreadable;
    }

    GenericSignal::setMaxValueCount(options.run.historyCapacity);
    Session session(definitions, options, out);
    // Served from before the first frame until the report is out; gone before the session.
    std::unique_ptr<MetricsEndpoint> metrics;
    if (options.metrics.isSet()) {
        metrics = MetricsEndpoint::start(
            options.metrics,
            [&session] { return session.liveFigures(); },
            error);
        if (!metrics) {
            complain(error);
            return ExitStatus::metricsUnavailable;
        }
    }
    MalformedLines malformed;
    const int status =
        options.input.isEmpty() ? readBuses(options, session) : readLog(options, log, session, malformed);
    if (status == ExitStatus::unreadable) {
        return status;
    }
    // A report that could not be written has ended the run: no end follows.
    if (output.failed()) {
        return written(output, status);
    }
    session.finish();
    malformed.tell();
    if (plot.isOpen() && !writePlot(plot, session.monitor())) {
        return ExitStatus::unreadable;
    }
    return written(output, status);
}
