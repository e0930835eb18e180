// SPDX-License-Identifier: LGPL-2.1-or-later
// talveno-replay: plays a recorded CAN log onto a bus.

#include "ExitStatus.h"
#include "LogConversion.h"
#include "Messages.h"
#include "QtSerialBus.h"
#include "Replayer.h"
#include "StandardStreams.h"
#include "StopRequest.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cmath>
#include <cstdio>

namespace
{
const char description[] = "Writes the frames of a CAN log (candump's layouts, ASC, BLF or TRC: every log\n"
                           "that talveno-monitor reads) onto a CAN bus through Qt SerialBus, at the pace\n"
                           "they were recorded, or faster; or, with --write, into a log file of another\n"
                           "format, as they are.\n"
                           "\n"
                           "A live bench on any machine, with Qt's virtualcan plugin (no kernel module, no\n"
                           "hardware): the first device that connects hosts the bus on the loopback, so\n"
                           "start the monitor first, then the replay:\n"
                           "\n"
                           "  talveno-monitor --bus virtualcan:tcp://127.0.0.1:35470/can0 --every 1\n"
                           "  talveno-replay drive.log --bus virtualcan:tcp://127.0.0.1:35470/can0\n"
                           "\n"
                           "--write FILE writes the log's frames into FILE, in the format its name ends in:\n"
                           ".log for candump's compact layout (candump -l), .asc for ASC, .blf for BLF\n"
                           "(zlib-compressed). Each frame keeps its time, interface (channel n of an ASC,\n"
                           "BLF or TRC log is the interface CANn; CANn is channel n again, and another\n"
                           "interface ending in a number n, as can0, channel n + 1) and data; error frames\n"
                           "are written as such, with their time and interface only.\n"
                           "\n"
                           "SIGINT, SIGTERM or SIGHUP stops the replay (a file written so far is finished).\n"
                           "Exit status: 0 played or written (or stopped), 2 an unreadable log, a file that\n"
                           "cannot be written or a usage error, 3 a bus that could not be opened or\n"
                           "connected, or failed during the replay.";

// Returns -1 after answering --help or --version, 2 for a usage error, else 0.
int parse(const QStringList &arguments, Replayer::Settings &settings, QString &written)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(description));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("log"), QStringLiteral("The CAN log, or - for standard input."));
    const QCommandLineOption bus(QStringLiteral("bus"),
                                 QStringLiteral("The bus to write to, e.g. socketcan:can0 or "
                                                "virtualcan:tcp://127.0.0.1:35470/can0."),
                                 QStringLiteral("PLUGIN:INTERFACE"));
    const QCommandLineOption speed(QStringLiteral("speed"),
                                   QStringLiteral("Play FACTOR times as fast as recorded (default 1; at least 0.01, "
                                                  "a hundred times slower), or max: as fast as the bus takes the "
                                                  "frames."),
                                   QStringLiteral("FACTOR|max"),
                                   QStringLiteral("1"));
    const QCommandLineOption loop(QStringLiteral("loop"),
                                  QStringLiteral("Start the log over at its end, until stopped."));
    const QCommandLineOption write(
        QStringLiteral("write"),
        QStringLiteral("Write the frames into FILE instead of onto a bus: %1.").arg(writtenSuffixes()),
        QStringLiteral("FILE"));
    const QCommandLineOption inputFormat(
        QStringLiteral("input-format"),
        QStringLiteral("Read the log in this format: %1 (default: the one its first line shows).")
            .arg(logFormatOptions()),
        QStringLiteral("FORMAT"));
    parser.addOptions({bus, write, inputFormat, speed, loop});
    if (!parser.parse(arguments)) {
        complain(parser.errorText() + QStringLiteral(" (see --help)"));
        return ExitStatus::unreadable;
    }
    if (parser.isSet(help) || parser.isSet(version)) {
        const QString text = parser.isSet(help) ? parser.helpText()
                                                : QStringLiteral("%1 %2\n").arg(QCoreApplication::applicationName(),
                                                                                QCoreApplication::applicationVersion());
        std::fputs(text.toLocal8Bit().constData(), stdout);
        return -1;
    }
    QString error;
    written = parser.value(write);
    LogFormat format = LogFormat::Candump;
    if (parser.positionalArguments().size() != 1) {
        error = QStringLiteral("give one log");
    } else if (parser.isSet(write) == parser.isSet(bus)) {
        error = QStringLiteral("give the bus with --bus PLUGIN:INTERFACE, or a file with --write FILE");
    } else if (parser.isSet(write) && (parser.isSet(speed) || parser.isSet(loop))) {
        error = QStringLiteral("--write writes the log once, as fast as it can: no --speed, no --loop");
    } else if (parser.isSet(bus)) {
        BusAddress::parse(parser.value(bus), settings.bus, error);
    }
    if (error.isEmpty() && parser.isSet(inputFormat)) {
        if (logFormatNamed(parser.value(inputFormat), format)) {
            settings.inputFormat = format;
        } else {
            error = QStringLiteral("--input-format must be %1").arg(logFormatOptions());
        }
    }
    settings.log = parser.positionalArguments().value(0);
    settings.loop = parser.isSet(loop);
    if (error.isEmpty() && settings.loop && settings.log == QLatin1String("-")) {
        error = QStringLiteral("--loop needs a log file, not standard input");
    }
    if (error.isEmpty() && parser.value(speed) != QLatin1String("max")) {
        bool ok = false;
        settings.speed = parser.value(speed).toDouble(&ok);
        if (!ok || !std::isfinite(settings.speed) || settings.speed < Replayer::minimumSpeed) {
            error = QStringLiteral("--speed must be a factor of at least %1, or max").arg(Replayer::minimumSpeed);
        }
    } else if (error.isEmpty()) {
        settings.speed = 0.0;
    }
    if (!error.isEmpty()) {
        complain(error + QStringLiteral(" (see --help)"));
        return ExitStatus::unreadable;
    }
    return 0;
}
}

int main(int argc, char *argv[])
{
    StandardStreams::claim();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("talveno-replay"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TALVENO_VERSION));
    prepareQtSerialBus();

    Replayer::Settings settings;
    QString written;
    const int parsed = parse(QCoreApplication::arguments(), settings, written);
    if (parsed != 0) {
        return parsed < 0 ? 0 : parsed;
    }
    if (!StopRequest::install()) {
        complain(QStringLiteral("cannot set up the handling of SIGINT, SIGTERM and SIGHUP"));
        return ExitStatus::unreadable;
    }
    if (!written.isEmpty()) {
        return convertLog(settings.log, settings.inputFormat, written);
    }
    Replayer replayer(settings);
    const Replayer::Outcome outcome = replayer.run();
    if (outcome.status != 0 && outcome.framesSent == 0) {
        return outcome.status;
    }
    const LogFormatInfo &format = logFormatInfo(outcome.format);
    complain(
        QStringLiteral("%1 frames in %2 s (%3 frames/s), read as %4%5")
            .arg(outcome.framesSent)
            .arg(outcome.seconds, 0, 'f', 3)
            .arg(outcome.seconds > 0.0 ? static_cast<double>(outcome.framesSent) / outcome.seconds : 0.0, 0, 'f', 0)
            .arg(QLatin1String(format.name))
            .arg(outcome.malformedLines ? QStringLiteral(", %1 malformed %2s skipped")
                                              .arg(outcome.malformedLines)
                                              .arg(QLatin1String(format.record))
                                        : QString()));
    return outcome.status;
}
