// SPDX-License-Identifier: LGPL-2.1-or-later
#include "MonitorOptions.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace
{
const char description[] = "Reads CAN frames from a recorded log (every layout of can-utils' candump), from\n"
                           "standard input, or live from CAN buses through Qt SerialBus, decodes signals\n"
                           "from them and reports, for every signal, what libTalveno knows about it.\n"
                           "\n"
                           "The table fits 80 columns, two lines a signal: its name and unit, the sample\n"
                           "count, the rating and how many stored samples lie outside the band; then the\n"
                           "newest value, the average, deviation, minimum, maximum and median. --wide adds\n"
                           "the rest: stored samples, not-available and error values, the cached average,\n"
                           "the band's thresholds and the age. The table shows a signal's values in the\n"
                           "decimals of its resolution (the factor: 0.125 gives three; from one to four)\n"
                           "and cuts a name too long for it with an ellipsis. CSV and JSON carry every\n"
                           "field in full precision; a signal without samples has blanks (CSV) and nulls\n"
                           "(JSON) for its statistics.\n"
                           "\n"
                           "Rating: how typical the newest sample is, from 100 (within half the band\n"
                           "around the average) falling linearly to 0 at the band's edges, 0 outside it.\n"
                           "The band is average -/+ k x deviation (--band k).\n"
                           "\n"
                           "Average, deviation, minimum and maximum cover every sample since the start.\n"
                           "Median, rating, the outside count and the plot cover the stored history: with\n"
                           "--history N, the newest N to N + N/10 samples (it grows to N + N/10, then drops\n"
                           "back to the newest N); --history 0 keeps every sample.\n"
                           "\n"
                           "Signals: the J1939 engine speed (SPN 190), vehicle speed (84), coolant\n"
                           "temperature (110), oil pressure (100), accelerator pedal (91) and fuel rate\n"
                           "(183), plus those of a definition file (JSON). J1939 values marked not available\n"
                           "or reserved, and those marked as errors, are counted and skipped. Each signal is\n"
                           "scaled as raw x factor + offset in the numeric type its CANopen data type\n"
                           "selects: signals with a fractional factor need 17 (Real64, 64-bit real, the\n"
                           "default), since an integer type cuts the scaled value toward zero. Frames of\n"
                           "different interfaces (can0 and can1 in one log, or several --bus) make different\n"
                           "signals.\n"
                           "\n"
                           "Definition file: {\"signals\": [{...}, ...]}; each signal needs a name of its\n"
                           "own, either pgn (J1939; sourceAddress optional, default 0) or id (mask and\n"
                           "extended optional), startBit, length and factor. Optional: unit, byteOrder\n"
                           "(little or big), signed, offset, dataType, skipNotAvailable, and frameLength: 8\n"
                           "data bytes (the default) or a CAN FD length of 12, 16, 20, 24, 32, 48 or 64.\n"
                           "Bit n is bit n % 8 of byte n / 8; with byteOrder big, startBit is the most\n"
                           "significant bit, as CAN databases number it. dataType is a name such as\n"
                           "Unsigned16 or Real64 (the default), or its number; an integer type narrower\n"
                           "than length is refused, as it would wrap. The signal must fit in the frame in\n"
                           "its byte order; unknown keys are refused. Integers are numbers or strings,\n"
                           "decimal or 0x. See extra_signals.json beside the sample log. Frames that match\n"
                           "a signal but end before its last bit are counted as too short (\"tooShort\";\n"
                           "a line under the table).\n"
                           "\n"
                           "Live use: --bus reads until SIGINT (Ctrl-C), SIGTERM or SIGHUP (a closed\n"
                           "terminal), which end any run cleanly with the final report of what was read.\n"
                           "With --every, each snapshot is written and flushed as soon as it is due; on a\n"
                           "terminal, each table is drawn over the one before, in place (--no-redraw\n"
                           "scrolls instead); as JSON, the output is JSON Lines: one object per snapshot\n"
                           "(\"type\": \"snapshot\") and one for the end (\"type\": \"report\"). Snapshots follow\n"
                           "log time, and on input whose lines carry no time (candump's default layout) the\n"
                           "wall clock, so that they go on while no frame comes. A gap in log time brings\n"
                           "every snapshot due in it; of more than 100, the first and the last, and a line\n"
                           "(\"type\": \"skipped\" in JSON) that says how many were left out.\n"
                           "\n"
                           "The deviation is the population deviation (divided by the count). The age of a\n"
                           "signal is the seconds since its newest sample by the wall clock; a log is read\n"
                           "faster than it was recorded, so there \"logAge\" gives the age in log time, which\n"
                           "the wide table of a log shows instead. A signal is stale when either exceeds\n"
                           "--stale.\n"
                           "\n"
                           "Merging: --merge REPORT.json... combines JSON reports of this program (or\n"
                           "merged ones) exactly: counts add up, averages and deviations combine through\n"
                           "the sums of squared deviations (\"m2\"), minima and maxima combine. Medians,\n"
                           "ratings, thresholds and outside counts of bounded histories do not merge and\n"
                           "are left out of merged reports. Signals are matched by name, unit, interface\n"
                           "and source address; the table names the interface where reports saw several.\n"
                           "Each report names its run (input, bytes, frames, first and last frame stamp:\n"
                           "\"identities\"); a run given twice is refused.\n"
                           "\n"
                           "Exit status: 0 done, also when ended by SIGINT, SIGTERM or SIGHUP; 1 a\n"
                           "malformed line under --strict (the report of the lines before it follows); 2\n"
                           "unreadable input (also a closed standard input, and input of which no line is a\n"
                           "frame: not a CAN log), report, definition file or plot file, or a usage error;\n"
                           "3 a bus that could not be opened or connected, or failed or disconnected during\n"
                           "the run (the message names the plugin, the interface and Qt's error; the report\n"
                           "of what was read before still follows); 4 the report could not be written (a\n"
                           "full disk, a closed standard output). A reader that closes the pipe early\n"
                           "(| head) ends the run quietly.";

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
}

bool parseMonitorOptions(const QStringList &arguments,
                         const QString &sampleLog,
                         MonitorOptions &options,
                         QString &error,
                         bool &exitNow)
{
    exitNow = false;
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(description));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    parser.addPositionalArgument(
        QStringLiteral("log"),
        QStringLiteral("The CAN log, or - for standard input (default: the sample log %1); with --merge, the JSON "
                       "reports to merge.")
            .arg(sampleLog),
        QStringLiteral("[log | REPORT.json...]"));
    const QCommandLineOption merge(QStringLiteral("merge"),
                                   QStringLiteral("Merge the JSON reports given instead of reading frames."));
    const QCommandLineOption wide(QStringLiteral("wide"),
                                  QStringLiteral("One table line per signal with every column."));
    const QCommandLineOption bus(
        QStringLiteral("bus"),
        QStringLiteral("Read frames live from a CAN bus instead of a log, e.g. socketcan:can0, "
                       "virtualcan:can0 or virtualcan:tcp://127.0.0.1:35470/can0. May be "
                       "given several times."),
        QStringLiteral("PLUGIN:INTERFACE"));
    const QCommandLineOption listBuses(QStringLiteral("list-buses"),
                                       QStringLiteral("List Qt's CAN bus plugins and the interfaces each reports."));
    const QCommandLineOption stale(QStringLiteral("stale"),
                                   QStringLiteral("Mark a signal as stale when no sample has come for SECONDS."),
                                   QStringLiteral("SECONDS"));
    const QCommandLineOption format(QStringLiteral("format"),
                                    QStringLiteral("Output: table (default), csv or json."),
                                    QStringLiteral("format"),
                                    QStringLiteral("table"));
    const QCommandLineOption band(QStringLiteral("band"),
                                  QStringLiteral("Band factor k: the band is average -/+ k x deviation (default 2)."),
                                  QStringLiteral("k"),
                                  QStringLiteral("2"));
    const QCommandLineOption history(QStringLiteral("history"),
                                     QStringLiteral("Keep the newest N to N + N/10 samples of each signal for the "
                                                    "median, rating, outside count and plot (default 1000; 0: all)."),
                                     QStringLiteral("N"),
                                     QStringLiteral("1000"));
    const QCommandLineOption every(QStringLiteral("every"),
                                   QStringLiteral("Also report a snapshot every SECONDS: of log time on a log, of "
                                                  "wall-clock time on a bus."),
                                   QStringLiteral("SECONDS"));
    const QCommandLineOption plot(QStringLiteral("plot"),
                                  QStringLiteral("Draw each signal's history, band and outside samples into an SVG "
                                                 "file (its name ends in .svg)."),
                                  QStringLiteral("FILE.svg"));
    const QCommandLineOption definitions(QStringLiteral("definitions"),
                                         QStringLiteral("Further signals from a JSON definition file."),
                                         QStringLiteral("FILE.json"));
    const QCommandLineOption noBuiltins(QStringLiteral("no-builtin"),
                                        QStringLiteral("Leave out the built-in J1939 signals."));
    const QCommandLineOption sourceAddress(
        QStringLiteral("source-address"),
        QStringLiteral(
            "Source address of the built-in signals (default 0x00), or all: one signal per J1939 "
            "parameter and per source address seen, also for the definition file's J1939 signals that give no "
            "sourceAddress. Reports write source addresses in hex: 0x17."),
        QStringLiteral("SA"),
        QStringLiteral("0x00"));
    const QCommandLineOption strict(QStringLiteral("strict"),
                                    QStringLiteral("Stop at the first malformed line (exit status 1)."));
    const QCommandLineOption noRedraw(QStringLiteral("no-redraw"),
                                      QStringLiteral("On a terminal, let --every's snapshots scroll instead of "
                                                     "drawing each over the one before."));
    parser.addOptions({bus,
                       listBuses,
                       format,
                       wide,
                       band,
                       history,
                       every,
                       stale,
                       plot,
                       definitions,
                       noBuiltins,
                       sourceAddress,
                       strict,
                       noRedraw,
                       merge});

    if (!parser.parse(arguments)) {
        error = parser.errorText();
        return false;
    }
    if (parser.isSet(help) || parser.isSet(version) || parser.isSet(listBuses)) {
        const QString text = parser.isSet(help) ? parser.helpText()
            : parser.isSet(listBuses)           ? describeBuses()
                                                : QStringLiteral("%1 %2\n").arg(QCoreApplication::applicationName(),
                                                                      QCoreApplication::applicationVersion());
        std::fputs(text.toLocal8Bit().constData(), stdout);
        exitNow = true;
        return true;
    }

    const QStringList positional = parser.positionalArguments();
    if (parser.isSet(merge)) {
        if (positional.isEmpty() || parser.isSet(bus)) {
            error = QStringLiteral("--merge needs the JSON reports to merge, and no --bus");
            return false;
        }
        options.mergeReports = positional;
    } else if (positional.size() > 1) {
        error = QStringLiteral("give one log at most");
        return false;
    }
    for (const QString &text : parser.values(bus)) {
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
    if (!options.buses.isEmpty() && !positional.isEmpty()) {
        error = QStringLiteral("give a log or --bus, not both");
        return false;
    }
    if (options.buses.isEmpty() && options.mergeReports.isEmpty()) {
        options.input = positional.isEmpty() ? sampleLog : positional.first();
    }

    const QString formatName = parser.value(format);
    if (formatName == QLatin1String("table")) {
        options.format = ReportFormat::Table;
    } else if (formatName == QLatin1String("csv")) {
        options.format = ReportFormat::Csv;
    } else if (formatName == QLatin1String("json")) {
        options.format = ReportFormat::Json;
    } else {
        error = QStringLiteral("--format must be table, csv or json");
        return false;
    }
    if (!readNumber(parser.value(band), 0.0, 1e6, options.band)) {
        error = QStringLiteral("--band must be a number from 0 to 1000000");
        return false;
    }
    bool ok = false;
    options.history = parser.value(history).toUInt(&ok);
    if (!ok) {
        error = QStringLiteral("--history must be a whole number, 0 for unbounded");
        return false;
    }
    if (parser.isSet(every) && (!readNumber(parser.value(every), 1e-6, 1e9, options.every))) {
        error = QStringLiteral("--every must be a positive number of seconds");
        return false;
    }
    if (parser.isSet(stale) && (!readNumber(parser.value(stale), 1e-6, 1e9, options.staleAfter))) {
        error = QStringLiteral("--stale must be a positive number of seconds");
        return false;
    }
    options.everySourceAddress = parser.value(sourceAddress) == QLatin1String("all");
    const uint address = options.everySourceAddress ? 0 : parser.value(sourceAddress).toUInt(&ok, 0);
    if (!options.everySourceAddress && (!ok || address > 0xFF)) {
        error = QStringLiteral("--source-address must be 0 to 255 (0x00 to 0xFF), or all");
        return false;
    }
    options.sourceAddress = static_cast<quint8>(address);
    options.plotFile = parser.value(plot);
    if (!options.plotFile.isEmpty() && !options.plotFile.endsWith(QLatin1String(".svg"), Qt::CaseInsensitive)) {
        error = QStringLiteral("--plot %1: the plot is SVG; give a file name that ends in .svg").arg(options.plotFile);
        return false;
    }
    options.wide = parser.isSet(wide);
    options.definitionFile = parser.value(definitions);
    options.builtins = !parser.isSet(noBuiltins);
    options.strict = parser.isSet(strict);
    options.redraw = !parser.isSet(noRedraw);
    if (!options.builtins && options.definitionFile.isEmpty()) {
        error = QStringLiteral("--no-builtin needs --definitions");
        return false;
    }
    return true;
}
