// SPDX-License-Identifier: LGPL-2.1-or-later
#include "MonitorOptions.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cmath>
#include <cstdio>

namespace
{
const char description[] = "Reads a recorded CAN log (candump -l layout or the candump screen layout with\n"
                           "timestamps), decodes signals from its frames and reports, for every signal, what\n"
                           "libTalveno knows about it: samples, newest value, cached and live average,\n"
                           "deviation, minimum, maximum, median of the history, the rating of the newest\n"
                           "sample against the band average -/+ k x deviation, the thresholds and how many\n"
                           "stored samples lie outside the band.\n"
                           "\n"
                           "Signals: the J1939 engine speed (SPN 190), vehicle speed (84), coolant\n"
                           "temperature (110), oil pressure (100), accelerator pedal (91) and fuel rate\n"
                           "(183), plus those of a definition file (JSON). Each signal is scaled as\n"
                           "raw x factor + offset in the numeric type its CANopen data type selects: signals\n"
                           "with a fractional factor need 17 (Real64, 64-bit real, the default), since an\n"
                           "integer type cuts the scaled value toward zero.\n"
                           "\n"
                           "Definition file: {\"signals\": [{...}, ...]} with name, unit, either pgn and\n"
                           "sourceAddress (J1939) or id, mask and extended, startBit, length, byteOrder\n"
                           "(little or big), signed, factor, offset and dataType (number or name, e.g.\n"
                           "Real64); see extra_signals.json beside the sample log.\n"
                           "\n"
                           "Average, deviation, minimum and maximum cover every sample since the start;\n"
                           "median, rating, the outside count and the plot cover the stored history\n"
                           "(--history 0 keeps the whole log).\n"
                           "\n"
                           "Exit status: 0 done, 1 a malformed line under --strict, 2 unreadable input,\n"
                           "definition file or plot file, or a usage error.";

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
        QStringLiteral("The CAN log, or - for standard input (default: the sample log %1).").arg(sampleLog),
        QStringLiteral("[log]"));
    const QCommandLineOption format(QStringLiteral("format"),
                                    QStringLiteral("Output: table (default), csv or json."),
                                    QStringLiteral("format"),
                                    QStringLiteral("table"));
    const QCommandLineOption band(QStringLiteral("band"),
                                  QStringLiteral("Band factor k: the band is average -/+ k x deviation (default 2)."),
                                  QStringLiteral("k"),
                                  QStringLiteral("2"));
    const QCommandLineOption history(QStringLiteral("history"),
                                     QStringLiteral("History capacity per signal (default 1000; 0 = unbounded)."),
                                     QStringLiteral("N"),
                                     QStringLiteral("1000"));
    const QCommandLineOption every(QStringLiteral("every"),
                                   QStringLiteral("Also report a snapshot every SECONDS of log time."),
                                   QStringLiteral("SECONDS"));
    const QCommandLineOption plot(QStringLiteral("plot"),
                                  QStringLiteral("Draw each signal's history, band and outside samples as SVG."),
                                  QStringLiteral("FILE.svg"));
    const QCommandLineOption definitions(QStringLiteral("definitions"),
                                         QStringLiteral("Further signals from a JSON definition file."),
                                         QStringLiteral("FILE.json"));
    const QCommandLineOption noBuiltins(QStringLiteral("no-builtin"),
                                        QStringLiteral("Leave out the built-in J1939 signals."));
    const QCommandLineOption sourceAddress(QStringLiteral("source-address"),
                                           QStringLiteral("Source address of the built-in signals (default 0x00)."),
                                           QStringLiteral("SA"),
                                           QStringLiteral("0x00"));
    const QCommandLineOption strict(QStringLiteral("strict"),
                                    QStringLiteral("Stop at the first malformed line (exit status 1)."));
    parser.addOptions({format, band, history, every, plot, definitions, noBuiltins, sourceAddress, strict});

    if (!parser.parse(arguments)) {
        error = parser.errorText();
        return false;
    }
    if (parser.isSet(help) || parser.isSet(version)) {
        const QString text = parser.isSet(help) ? parser.helpText()
                                                : QStringLiteral("%1 %2\n").arg(QCoreApplication::applicationName(),
                                                                                QCoreApplication::applicationVersion());
        std::fputs(text.toLocal8Bit().constData(), stdout);
        exitNow = true;
        return true;
    }

    const QStringList positional = parser.positionalArguments();
    if (positional.size() > 1) {
        error = QStringLiteral("give one log at most");
        return false;
    }
    options.input = positional.isEmpty() ? sampleLog : positional.first();

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
    const uint address = parser.value(sourceAddress).toUInt(&ok, 0);
    if (!ok || address > 0xFF) {
        error = QStringLiteral("--source-address must be 0 to 255 (0x00 to 0xFF)");
        return false;
    }
    options.sourceAddress = static_cast<quint8>(address);
    options.plotFile = parser.value(plot);
    options.definitionFile = parser.value(definitions);
    options.builtins = !parser.isSet(noBuiltins);
    options.strict = parser.isSet(strict);
    if (!options.builtins && options.definitionFile.isEmpty()) {
        error = QStringLiteral("--no-builtin needs --definitions");
        return false;
    }
    return true;
}
