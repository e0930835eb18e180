// SPDX-License-Identifier: LGPL-2.1-or-later
// talveno-replay: plays a recorded CAN log onto a bus.

#include "ExitStatus.h"
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
const char description[] = "Writes the frames of a CAN log (every candump layout that talveno-monitor reads)\n"
                           "onto a CAN bus through Qt SerialBus, at the pace they were recorded, or faster.\n"
                           "\n"
                           "A live bench on any machine, with Qt's virtualcan plugin (no kernel module, no\n"
                           "hardware): the first device that connects hosts the bus on the loopback, so\n"
                           "start the monitor first, then the replay:\n"
                           "\n"
                           "  talveno-monitor --bus virtualcan:tcp://127.0.0.1:35470/can0 --every 1\n"
                           "  talveno-replay drive.log --bus virtualcan:tcp://127.0.0.1:35470/can0\n"
                           "\n"
                           "SIGINT, SIGTERM or SIGHUP stops the replay. Exit status: 0 played (or stopped),\n"
                           "2 an unreadable log or a usage error, 3 a bus that could not be opened or\n"
                           "connected, or failed during the replay.";

// Returns -1 after answering --help or --version, 2 for a usage error, else 0.
int parse(const QStringList &arguments, Replayer::Settings &settings)
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
    parser.addOptions({bus, speed, loop});
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
    if (parser.positionalArguments().size() != 1) {
        error = QStringLiteral("give one log");
    } else if (!parser.isSet(bus)) {
        error = QStringLiteral("give the bus with --bus PLUGIN:INTERFACE");
    } else {
        BusAddress::parse(parser.value(bus), settings.bus, error);
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
    const int parsed = parse(QCoreApplication::arguments(), settings);
    if (parsed != 0) {
        return parsed < 0 ? 0 : parsed;
    }
    if (!StopRequest::install()) {
        complain(QStringLiteral("cannot set up the handling of SIGINT, SIGTERM and SIGHUP"));
        return ExitStatus::unreadable;
    }
    Replayer replayer(settings);
    const Replayer::Outcome outcome = replayer.run();
    if (outcome.status != 0 && outcome.framesSent == 0) {
        return outcome.status;
    }
    complain(
        QStringLiteral("%1 frames in %2 s (%3 frames/s)%4")
            .arg(outcome.framesSent)
            .arg(outcome.seconds, 0, 'f', 3)
            .arg(outcome.seconds > 0.0 ? static_cast<double>(outcome.framesSent) / outcome.seconds : 0.0, 0, 'f', 0)
            .arg(outcome.malformedLines ? QStringLiteral(", %1 malformed lines skipped").arg(outcome.malformedLines)
                                        : QString()));
    return outcome.status;
}
