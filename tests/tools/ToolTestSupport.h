// SPDX-License-Identifier: LGPL-2.1-or-later
// What the tools' tests share: running the programs, and reading their reports and plots.
#pragma once

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRectF>
#include <QTest>
#include <QXmlStreamReader>

#include <csignal>

struct Run
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// Arguments are separated by spaces; none of the paths used holds one.
inline void start(QProcess &process, const char *binary, const QString &arguments)
{
    process.start(QString::fromLocal8Bit(binary), arguments.split(QLatin1Char(' '), Qt::SkipEmptyParts));
    QVERIFY(process.waitForStarted());
}

// Sends the signal (0: none), waits, and returns the exit code: -1 for a crash or
// a process still running. A process that has already ended has no id, and
// kill(0) would stop the test's own process group.
inline int stop(QProcess &process, int signalNumber = 0)
{
    if (signalNumber != 0 && process.processId() > 0) {
        ::kill(static_cast<pid_t>(process.processId()), signalNumber);
    }
    process.waitForFinished(30000);
    const bool ended = process.state() == QProcess::NotRunning && process.exitStatus() == QProcess::NormalExit;
    return ended ? process.exitCode() : -1;
}

#ifdef MONITOR_BINARY
// Runs the monitor to its end. The input is written to its standard input, which
// is then closed; without input it stays open, so that a monitor that read it
// where it should not would never end. A shell command line, where given, runs
// the monitor in place of its %1, e.g. "%1 >/dev/full".
inline Run
runMonitor(const QString &arguments, const QByteArray &input = QByteArray(), const QString &shell = QString())
{
    QProcess process;
    if (shell.isEmpty()) {
        start(process, MONITOR_BINARY, arguments);
    } else {
        process.start(QStringLiteral("/bin/bash"),
                      {QStringLiteral("-c"), shell.arg(QStringLiteral(MONITOR_BINARY " ") + arguments)});
    }
    if (!input.isEmpty()) {
        process.write(input);
        process.closeWriteChannel();
    }
    Run run;
    run.exitCode = stop(process);
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}
#endif

// The final report: the whole output, or its last line when snapshots streamed.
inline QJsonObject finalReport(const QByteArray &out)
{
    const QJsonDocument whole = QJsonDocument::fromJson(out);
    return whole.isObject() ? whole.object() : QJsonDocument::fromJson(out.trimmed().split('\n').last()).object();
}

inline QJsonArray signalsOf(const QByteArray &out)
{
    return finalReport(out).value(QLatin1String("signals")).toArray();
}

inline QJsonValue field(const QJsonArray &signalStates, int index, const char *key)
{
    return signalStates.at(index).toObject().value(QLatin1String(key));
}

// What a plot draws; nothing when the SVG is not well-formed.
struct Drawn
{
    QRectF plotArea; // of the last panel
    int histories = 0;
    QVector<double> historyY;
    QVector<double> outsideX;
    int sampleDots = 0;
    bool saysNoSamples = false;
};

inline Drawn drawnIn(const QByteArray &svg)
{
    Drawn drawn;
    QXmlStreamReader xml(svg);
    while (!xml.atEnd()) {
        xml.readNext();
        const auto attribute = [&xml](const char *name) {
            return xml.attributes().value(QLatin1String(name)).toDouble();
        };
        const QStringRef kind = xml.attributes().value(QLatin1String("class"));
        if (!xml.isStartElement()) {
            drawn.saysNoSamples |= xml.isCharacters() && xml.text() == QLatin1String("no samples");
        } else if (kind == QLatin1String("plot-area")) {
            drawn.plotArea = QRectF(attribute("x"), attribute("y"), attribute("width"), attribute("height"));
        } else if (kind == QLatin1String("history")) {
            ++drawn.histories;
            const QString points = xml.attributes().value(QLatin1String("points")).toString();
            for (const QString &point : points.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
                drawn.historyY.append(point.section(QLatin1Char(','), 1).toDouble());
            }
        } else if (kind == QLatin1String("outside")) {
            drawn.outsideX.append(xml.name() == QLatin1String("circle") ? attribute("cx") : attribute("x1"));
        } else if (kind == QLatin1String("sample")) {
            ++drawn.sampleDots;
        }
    }
    return xml.hasError() ? Drawn() : drawn;
}
