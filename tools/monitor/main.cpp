// SPDX-License-Identifier: LGPL-2.1-or-later
// talveno-monitor: statistics of the signals in a recorded CAN log.

#include "BuiltinSignals.h"
#include "DefinitionFile.h"
#include "LogReader.h"
#include "Monitor.h"
#include "MonitorOptions.h"
#include "ProgressBar.h"
#include "Report.h"
#include "SvgPlot.h"

#include <Orvanet/GenericSignal.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <cmath>
#include <cstdio>

namespace
{
constexpr int exitMalformedStrict = 1;
constexpr int exitUnreadable = 2;
constexpr int shownMalformedLines = 5;

void complain(const QString &message)
{
    std::fprintf(stderr, "talveno-monitor: %s\n", message.toLocal8Bit().constData());
}

// The line as a person can read it in a terminal: printable ASCII, at most 80 characters.
QString printable(const QByteArray &line)
{
    QString text;
    for (int i = 0; i < line.size() && i < 80; ++i) {
        const char c = line.at(i);
        text += c >= 0x20 && c < 0x7F ? QLatin1Char(c) : QLatin1Char('?');
    }
    return line.size() > 80 ? text + QStringLiteral("...") : text;
}

bool openInput(const QString &name, QFile &file)
{
    if (name == QLatin1String("-")) {
        return file.open(stdin, QIODevice::ReadOnly);
    }
    if (QFileInfo(name).isDir()) {
        complain(QStringLiteral("cannot read %1: it is a directory").arg(name));
        return false;
    }
    file.setFileName(name);
    if (!file.open(QIODevice::ReadOnly)) {
        complain(QStringLiteral("cannot read %1: %2").arg(name, file.errorString()));
        return false;
    }
    return true;
}

struct Malformed
{
    qint64 lineNumber;
    QString why;
    QString text;
};

// Reads the log into the monitor; snapshots go to the report on the way.
// Returns 0, or the exit status that ends the run early.
int readLog(QFile &file,
            const MonitorOptions &options,
            Monitor &monitor,
            Report &report,
            RunSummary &summary,
            QVector<Malformed> &malformed)
{
    LogReader reader(file);
    const qint64 size = file.isSequential() ? 0 : file.size();
    ProgressBar progress(size, ProgressBar::wanted(size));
    double nextSnapshot = options.every;
    CanFrame frame;
    for (;;) {
        const LogReader::Next next = reader.next(frame);
        if ((reader.lineNumber() & 0xFFF) == 0) {
            progress.update(reader.bytesRead());
        }
        if (next == LogReader::Next::End) {
            break;
        }
        if (next == LogReader::Next::ReadError) {
            progress.finish();
            complain(QStringLiteral("reading %1 failed: %2").arg(options.input, file.errorString()));
            return exitUnreadable;
        }
        if (next == LogReader::Next::Malformed) {
            ++summary.malformedLines;
            const Malformed line{reader.lineNumber(), QString::fromLatin1(reader.error()), printable(reader.line())};
            if (options.strict) {
                progress.finish();
                complain(QStringLiteral("line %1 is malformed (%2): %3").arg(line.lineNumber).arg(line.why, line.text));
                return exitMalformedStrict;
            }
            if (malformed.size() < shownMalformedLines) {
                malformed.append(line);
            }
            continue;
        }
        const double t = monitor.logSeconds(frame);
        if (options.every > 0.0 && t >= nextSnapshot) {
            report.addSnapshot(nextSnapshot, monitor.snapshot());
            nextSnapshot = (std::floor(t / options.every) + 1.0) * options.every;
        }
        monitor.processFrame(frame);
    }
    progress.finish();
    summary.lines = static_cast<quint64>(reader.lineNumber());
    return 0;
}

void reportMalformed(quint64 count, const QVector<Malformed> &malformed)
{
    if (count == 0) {
        return;
    }
    complain(QStringLiteral("%1 malformed line(s) skipped%2")
                 .arg(count)
                 .arg(count > 5 ? QStringLiteral(", the first 5:") : QStringLiteral(":")));
    for (const Malformed &line : malformed) {
        std::fprintf(stderr,
                     "  line %lld: %s: %s\n",
                     static_cast<long long>(line.lineNumber),
                     line.why.toLocal8Bit().constData(),
                     line.text.toLocal8Bit().constData());
    }
}

bool writePlot(const QString &fileName, Monitor &monitor)
{
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(svgPlot(monitor.series())) < 0
        || !file.flush()) {
        complain(QStringLiteral("cannot write %1: %2").arg(fileName, file.errorString()));
        return false;
    }
    return true;
}
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("talveno-monitor"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TALVENO_VERSION));

    MonitorOptions options;
    QString error;
    bool exitNow = false;
    if (!parseMonitorOptions(QCoreApplication::arguments(),
                             QStringLiteral(TALVENO_SAMPLE_LOG),
                             options,
                             error,
                             exitNow)) {
        complain(error + QStringLiteral(" (see --help)"));
        return exitUnreadable;
    }
    if (exitNow) {
        return 0;
    }

    QVector<SignalDefinition> definitions;
    if (options.builtins) {
        definitions = builtinSignals(options.sourceAddress);
    }
    if (!options.definitionFile.isEmpty() && !readDefinitionFile(options.definitionFile, definitions, error)) {
        complain(error);
        return exitUnreadable;
    }

    QFile file;
    if (!openInput(options.input, file)) {
        return exitUnreadable;
    }

    GenericSignal::setMaxValueCount(options.history);
    Monitor monitor(definitions, options.band);
    QTextStream out(stdout);
    out.setCodec("UTF-8");
    Report report(options.format, out);
    RunSummary summary;
    summary.input = options.input;
    summary.band = options.band;
    summary.historyCapacity = options.history;
    QVector<Malformed> malformed;
    if (const int status = readLog(file, options, monitor, report, summary, malformed)) {
        return status;
    }
    summary.frames = monitor.frameCount();
    summary.logSeconds = monitor.lastLogSeconds();
    report.finish(summary, monitor.snapshot());
    reportMalformed(summary.malformedLines, malformed);
    if (!options.plotFile.isEmpty() && !writePlot(options.plotFile, monitor)) {
        return exitUnreadable;
    }
    return 0;
}
