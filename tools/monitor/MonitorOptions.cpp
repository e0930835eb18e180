// SPDX-License-Identifier: LGPL-2.1-or-later
#include "MonitorOptions.h"
#include "MonitorHelp.h"
#include "QtSerialBus.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace
{
// Every option of the monitor, declared once.
struct CommandLine
{
    explicit CommandLine(const QString &sampleLog);

    QCommandLineParser parser;
    const QCommandLineOption help;
    const QCommandLineOption version;
    const QCommandLineOption merge{QStringLiteral("merge"),
                                   QStringLiteral("Merge the JSON reports given instead of reading frames.")};
    const QCommandLineOption wide{QStringLiteral("wide"),
                                  QStringLiteral("One table line per signal with every column.")};
    const QCommandLineOption bus{
        QStringLiteral("bus"),
        QStringLiteral("Read frames live from a CAN bus instead of a log, e.g. socketcan:can0, "
                       "virtualcan:can0 or virtualcan:tcp://127.0.0.1:35470/can0. May be "
                       "given several times."),
        QStringLiteral("PLUGIN:INTERFACE")};
    const QCommandLineOption inputFormat{
        QStringLiteral("input-format"),
        QStringLiteral("Read the log in this format: %1 (default: the one its first line shows).")
            .arg(logFormatOptions()),
        QStringLiteral("FORMAT")};
    const QCommandLineOption listBuses{QStringLiteral("list-buses"),
                                       QStringLiteral("List Qt's CAN bus plugins and the interfaces each reports.")};
    const QCommandLineOption stale{QStringLiteral("stale"),
                                   QStringLiteral("Mark a signal as stale when no sample has come for SECONDS."),
                                   QStringLiteral("SECONDS")};
    const QCommandLineOption format{QStringLiteral("format"),
                                    QStringLiteral("Output: table (default), csv or json."),
                                    QStringLiteral("format"),
                                    QStringLiteral("table")};
    const QCommandLineOption band{QStringLiteral("band"),
                                  QStringLiteral("Band factor k: the band is average -/+ k x deviation (default 2)."),
                                  QStringLiteral("k"),
                                  QStringLiteral("2")};
    const QCommandLineOption history{
        QStringLiteral("history"),
        QStringLiteral("Keep the newest N to N + N/10 samples of each signal for the median, rating, outside count "
                       "and plot (default 1000; 0: all)."),
        QStringLiteral("N"),
        QStringLiteral("1000")};
    const QCommandLineOption every{QStringLiteral("every"),
                                   QStringLiteral("Also report a snapshot every SECONDS: of log time on a log, of "
                                                  "wall-clock time on a bus."),
                                   QStringLiteral("SECONDS")};
    const QCommandLineOption plot{QStringLiteral("plot"),
                                  QStringLiteral("Draw each signal's history, band and outside samples into an SVG "
                                                 "file (its name ends in .svg)."),
                                  QStringLiteral("FILE.svg")};
    const QCommandLineOption definitions{QStringLiteral("definitions"),
                                         QStringLiteral("Further signals from a JSON definition file."),
                                         QStringLiteral("FILE.json")};
    const QCommandLineOption noBuiltins{QStringLiteral("no-builtin"),
                                        QStringLiteral("Leave out the built-in J1939 signals.")};
    const QCommandLineOption dbc{QStringLiteral("dbc"),
                                 QStringLiteral("Signals of a CAN database (DBC). May be given several times."),
                                 QStringLiteral("FILE.dbc")};
    const QCommandLineOption signalPatterns{
        QStringLiteral("signals"),
        QStringLiteral("Only the signals whose MESSAGE.SIGNAL or name matches the shell-style PATTERN (* ? [...]), "
                       "e.g. 'EEC1.*' or '*Speed*'. May be given several times."),
        QStringLiteral("PATTERN")};
    const QCommandLineOption listSignals{QStringLiteral("list-signals"),
                                         QStringLiteral("List what the databases define, and read no frames.")};
    const QCommandLineOption limits{
        QStringLiteral("limits"),
        QStringLiteral("band (default): rate against the band around the average; database: against the range "
                       "[min|max] that the database gives a signal, where it gives one other than 0 to 0."),
        QStringLiteral("band|database"),
        QStringLiteral("band")};
    const QCommandLineOption timing{QStringLiteral("timing"),
                                    QStringLiteral("Add the interval between the frames of each database message "
                                                   "with a cycle time (GenMsgCycleTime), per sender, rated against "
                                                   "that cycle time.")};
    const QCommandLineOption timingTolerance{
        QStringLiteral("timing-tolerance"),
        QStringLiteral("How far an interval may stray from the cycle time with --timing (default 10 %)."),
        QStringLiteral("PERCENT"),
        QStringLiteral("10")};
    const QCommandLineOption sourceAddress{
        QStringLiteral("source-address"),
        QStringLiteral("Source address of the built-in signals (default 0x00), or all: one signal per J1939 "
                       "parameter and per source address seen, also for the definition file's J1939 signals that "
                       "give no sourceAddress. Reports write source addresses in hex: 0x17."),
        QStringLiteral("SA"),
        QStringLiteral("0x00")};
    const QCommandLineOption strict{QStringLiteral("strict"),
                                    QStringLiteral("Stop at the first malformed line (exit status 1).")};
    const QCommandLineOption metrics{
        QStringLiteral("metrics"),
        QStringLiteral("Serve the signals' figures for Prometheus at http://ADDRESS:PORT/metrics while the run lasts, "
                       "e.g. 127.0.0.1:9108 (0.0.0.0:9108: on every interface of this machine)."),
        QStringLiteral("ADDRESS:PORT")};
    const QCommandLineOption noRedraw{QStringLiteral("no-redraw"),
                                      QStringLiteral("On a terminal, let --every's snapshots scroll instead of "
                                                     "drawing each over the one before.")};
};

CommandLine::CommandLine(const QString &sampleLog)
    : help(parser.addHelpOption())
    , version(parser.addVersionOption())
{
    parser.setApplicationDescription(monitorDescription());
    parser.addPositionalArgument(
        QStringLiteral("log"),
        QStringLiteral("The CAN log, or - for standard input (default: the sample log %1); with --merge, the JSON "
                       "reports to merge.")
            .arg(sampleLog),
        QStringLiteral("[log | REPORT.json...]"));
    parser.addOptions({inputFormat,     bus,        listBuses,     format, wide,           band,        history, every,
                       stale,           plot,       definitions,   dbc,    signalPatterns, listSignals, limits,  timing,
                       timingTolerance, noBuiltins, sourceAddress, strict, noRedraw,       metrics,     merge});
}

// --help, --version and --list-buses: whether one was asked for, and then
// answered on standard output.
bool answered(const CommandLine &line)
{
    const QCommandLineParser &parser = line.parser;
    QString text;
    if (parser.isSet(line.help)) {
        text = parser.helpText();
    } else if (parser.isSet(line.listBuses)) {
        text = describeBuses();
    } else if (parser.isSet(line.version)) {
        text =
            QStringLiteral("%1 %2\n").arg(QCoreApplication::applicationName(), QCoreApplication::applicationVersion());
    } else {
        return false;
    }
    std::fputs(text.toLocal8Bit().constData(), stdout);
    return true;
}

bool readNumber(const QString &text, double low, double high, double &value)
{
    bool ok = false;
    const double parsed = text.toDouble(&ok);
    if (!ok || !std::isfinite(parsed) || parsed < low || parsed > high) {
        return false;
    }
    value = parsed;
    return true;
}

// Each --bus once, by the bus it names.
bool readBuses(const CommandLine &line, MonitorOptions &options, QString &error)
{
    for (const QString &text : line.parser.values(line.bus)) {
        BusAddress address;
        if (!BusAddress::parse(text, address, error)) {
            return false;
        }
        const auto same =
            std::find_if(options.buses.cbegin(), options.buses.cend(), [&address](const BusAddress &other) {
                return other.canonical() == address.canonical();
            });
        if (same != options.buses.cend()) {
            error =
                QStringLiteral("--bus %1 and --bus %2 are the same bus; give each bus once").arg(same->text(), text);
            return false;
        }
        options.buses.append(address);
    }
    return true;
}

bool readInputFormat(const CommandLine &line, MonitorOptions &options, QString &error)
{
    if (!line.parser.isSet(line.inputFormat)) {
        return true;
    }
    LogFormat format = LogFormat::Candump;
    if (options.input.isEmpty() || !logFormatNamed(line.parser.value(line.inputFormat), format)) {
        error = QStringLiteral("--input-format must be %1, and is for a log").arg(logFormatOptions());
        return false;
    }
    options.inputFormat = format;
    return true;
}

// Where the frames come from: one log, buses, or reports to merge.
bool readInputs(const CommandLine &line, const QString &sampleLog, MonitorOptions &options, QString &error)
{
    const QStringList positional = line.parser.positionalArguments();
    if (line.parser.isSet(line.merge)) {
        if (positional.isEmpty() || line.parser.isSet(line.bus)) {
            error = QStringLiteral("--merge needs the JSON reports to merge, and no --bus");
            return false;
        }
        options.mergeReports = positional;
    } else if (positional.size() > 1) {
        error = QStringLiteral("give one log at most");
        return false;
    }
    if (!readBuses(line, options, error)) {
        return false;
    }
    if (!options.buses.isEmpty() && !positional.isEmpty()) {
        error = QStringLiteral("give a log or --bus, not both");
        return false;
    }
    if (options.buses.isEmpty() && options.mergeReports.isEmpty()) {
        options.input = positional.isEmpty() ? sampleLog : positional.first();
    }
    options.run.logTime = options.buses.isEmpty();
    return readInputFormat(line, options, error);
}

bool readFormat(const CommandLine &line, MonitorOptions &options, QString &error)
{
    const QString name = line.parser.value(line.format);
    if (name == QLatin1String("table")) {
        options.format = ReportFormat::Table;
    } else if (name == QLatin1String("csv")) {
        options.format = ReportFormat::Csv;
    } else if (name == QLatin1String("json")) {
        options.format = ReportFormat::Json;
    } else {
        error = QStringLiteral("--format must be table, csv or json");
        return false;
    }
    options.wide = line.parser.isSet(line.wide);
    return true;
}

// --band, --history, --every and --stale.
bool readFigures(const CommandLine &line, MonitorOptions &options, QString &error)
{
    const QCommandLineParser &parser = line.parser;
    if (!readNumber(parser.value(line.band), 0.0, 1e6, options.run.band)) {
        error = QStringLiteral("--band must be a number from 0 to 1000000");
        return false;
    }
    bool ok = false;
    options.run.historyCapacity = parser.value(line.history).toUInt(&ok);
    if (!ok) {
        error = QStringLiteral("--history must be a whole number, 0 for unbounded");
        return false;
    }
    if (parser.isSet(line.every) && !readNumber(parser.value(line.every), 1e-6, 1e9, options.every)) {
        error = QStringLiteral("--every must be a positive number of seconds");
        return false;
    }
    if (parser.isSet(line.stale) && !readNumber(parser.value(line.stale), 1e-6, 1e9, options.run.staleAfter)) {
        error = QStringLiteral("--stale must be a positive number of seconds");
        return false;
    }
    return true;
}

bool readSourceAddress(const CommandLine &line, MonitorOptions &options, QString &error)
{
    const QString text = line.parser.value(line.sourceAddress);
    options.everySourceAddress = text == QLatin1String("all");
    options.sourceAddressGiven = line.parser.isSet(line.sourceAddress);
    bool ok = true;
    const uint address = options.everySourceAddress ? 0 : text.toUInt(&ok, 0);
    if (!ok || address > 0xFF) {
        error = QStringLiteral("--source-address must be 0 to 255 (0x00 to 0xFF), or all");
        return false;
    }
    options.sourceAddress = static_cast<quint8>(address);
    return true;
}

bool readPlot(const CommandLine &line, MonitorOptions &options, QString &error)
{
    options.plotFile = line.parser.value(line.plot);
    if (!options.plotFile.isEmpty() && !options.plotFile.endsWith(QLatin1String(".svg"), Qt::CaseInsensitive)) {
        error = QStringLiteral("--plot %1: the plot is SVG; give a file name that ends in .svg").arg(options.plotFile);
        return false;
    }
    return true;
}

bool readMetrics(const CommandLine &line, MonitorOptions &options, QString &error)
{
    if (!line.parser.isSet(line.metrics)) {
        return true;
    }
    if (!options.mergeReports.isEmpty()) {
        error = QStringLiteral("--metrics serves the figures of a run; a merge has none");
        return false;
    }
    return MetricsAddress::parse(line.parser.value(line.metrics), options.metrics, error);
}

bool readDefinitions(const CommandLine &line, MonitorOptions &options, QString &error)
{
    options.definitionFile = line.parser.value(line.definitions);
    options.builtins = !line.parser.isSet(line.noBuiltins);
    options.databaseFiles = line.parser.values(line.dbc);
    options.signalPatterns = line.parser.values(line.signalPatterns);
    if (!options.builtins && options.definitionFile.isEmpty() && options.databaseFiles.isEmpty()) {
        error = QStringLiteral("--no-builtin needs --definitions or --dbc");
        return false;
    }
    return true;
}

// --list-signals, --limits, --timing and --timing-tolerance: what only databases have.
bool readDatabaseChoices(const CommandLine &line, MonitorOptions &options, QString &error)
{
    const QCommandLineParser &parser = line.parser;
    options.listSignals = parser.isSet(line.listSignals);
    options.timing = parser.isSet(line.timing);
    const QString limits = parser.value(line.limits);
    options.run.databaseLimits = limits == QLatin1String("database");
    QString percent = parser.value(line.timingTolerance).trimmed();
    if (percent.endsWith(QLatin1Char('%'))) {
        percent.chop(1);
    }
    double tolerance = 0.0;
    if (!options.run.databaseLimits && limits != QLatin1String("band")) {
        error = QStringLiteral("--limits must be band or database");
    } else if (!readNumber(percent, 0.0, 100.0, tolerance)) {
        error = QStringLiteral("--timing-tolerance must be a percentage from 0 to 100");
    } else if (parser.isSet(line.timingTolerance) && !options.timing) {
        error = QStringLiteral("--timing-tolerance goes with --timing");
    } else if (options.databaseFiles.isEmpty()
               && (options.listSignals || options.timing || options.run.databaseLimits)) {
        error = QStringLiteral("--list-signals, --timing and --limits database need --dbc");
    } else if (options.listSignals && (!parser.positionalArguments().isEmpty() || !options.buses.isEmpty())) {
        error = QStringLiteral("--list-signals reads no frames: give no log and no --bus");
    }
    options.timingTolerance = tolerance / 100.0;
    if (options.listSignals) {
        options.input.clear();
    }
    return error.isEmpty();
}
}

bool parseMonitorOptions(const QStringList &arguments,
                         const QString &sampleLog,
                         MonitorOptions &options,
                         QString &error,
                         bool &exitNow)
{
    CommandLine line(sampleLog);
    exitNow = false;
    if (!line.parser.parse(arguments)) {
        error = line.parser.errorText();
        return false;
    }
    if (answered(line)) {
        exitNow = true;
        return true;
    }
    options.strict = line.parser.isSet(line.strict);
    options.redraw = !line.parser.isSet(line.noRedraw);
    return readInputs(line, sampleLog, options, error) && readFormat(line, options, error)
        && readFigures(line, options, error) && readSourceAddress(line, options, error)
        && readPlot(line, options, error) && readDefinitions(line, options, error)
        && readDatabaseChoices(line, options, error) && readMetrics(line, options, error);
}
