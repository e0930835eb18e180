// SPDX-License-Identifier: LGPL-2.1-or-later
// talveno-monitor: statistics of the CAN signals in a log, a pipe or on live buses.

#include "BuiltinSignals.h"
#include "CanBus.h"
#include "DefinitionFile.h"
#include "Merge.h"
#include "MonitorOptions.h"
#include "Runs.h"
#include "Session.h"
#include "StopRequest.h"
#include "SvgPlot.h"

#include <Orvanet/GenericSignal.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>

namespace
{
void reportMalformed(quint64 count, const QVector<MalformedLine> &malformed)
{
    if (count == 0) {
        return;
    }
    complain(QStringLiteral("%1 malformed line(s) skipped%2")
                 .arg(count)
                 .arg(count > 5 ? QStringLiteral(", the first 5:") : QStringLiteral(":")));
    for (const MalformedLine &line : malformed) {
        std::fprintf(stderr,
                     "  line %lld: %s: %s\n",
                     static_cast<long long>(line.lineNumber),
                     line.why.toLocal8Bit().constData(),
                     line.text.toLocal8Bit().constData());
    }
}

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

int runMerge(const MonitorOptions &options, QTextStream &out)
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
    Report(settings, out).finish(merged.summary, merged.signalStates);
    return ExitStatus::done;
}

// The sample log installed beside the program, or the one in the source tree.
QString sampleLog()
{
    const QString installed =
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral(TALVENO_INSTALLED_SAMPLE_LOG));
    return QFileInfo::exists(installed) ? QDir::cleanPath(installed) : QStringLiteral(TALVENO_SAMPLE_LOG);
}

bool loadDefinitions(const MonitorOptions &options, QVector<SignalDefinition> &definitions)
{
    if (options.builtins) {
        definitions = builtinSignals(options.sourceAddress);
    }
    QString error;
    if (!options.definitionFile.isEmpty() && !readDefinitionFile(options.definitionFile, definitions, error)) {
        complain(error);
        return false;
    }
    for (SignalDefinition &definition : definitions) {
        definition.anySourceAddress = options.everySourceAddress && definition.j1939 && !definition.fixedSourceAddress;
    }
    return true;
}
}

void complain(const QString &message)
{
    std::fprintf(stderr, "talveno-monitor: %s\n", message.toLocal8Bit().constData());
    std::fflush(stderr);
}

int main(int argc, char *argv[])
{
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
    if (exitNow) {
        return ExitStatus::done;
    }
    QTextStream out(stdout);
    out.setCodec("UTF-8");
    if (!options.mergeReports.isEmpty()) {
        return runMerge(options, out);
    }
    QVector<SignalDefinition> definitions;
    if (!loadDefinitions(options, definitions)) {
        return ExitStatus::unreadable;
    }
    QFile plot(options.plotFile);
    if (!options.plotFile.isEmpty() && !openPlot(plot)) {
        return ExitStatus::unreadable;
    }
    if (!StopRequest::install()) {
        complain(QStringLiteral("cannot set up the handling of SIGINT and SIGTERM"));
        return ExitStatus::unreadable;
    }

    GenericSignal::setMaxValueCount(options.history);
    const bool fromBus = !options.buses.isEmpty();
    Session session(definitions, options, !fromBus, out);
    QVector<MalformedLine> malformed;
    const int status = fromBus ? readBuses(options, session) : readLog(options, session, malformed);
    if (status == ExitStatus::malformedStrict || status == ExitStatus::unreadable) {
        return status;
    }
    session.finish();
    reportMalformed(session.summary().malformedLines, malformed);
    if (plot.isOpen() && !writePlot(plot, session.monitor())) {
        return ExitStatus::unreadable;
    }
    return status;
}
