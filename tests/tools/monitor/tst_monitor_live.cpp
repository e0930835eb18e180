// SPDX-License-Identifier: LGPL-2.1-or-later
// The monitor as a live tool: fed by the replay over a virtual CAN bus on the
// loopback, stopped by signals, losing its bus, and noticing silent signals.
#include "ToolTestSupport.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

namespace
{
// A port of its own, so that parallel runs never meet on Qt's default port.
QString virtualBus()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return QStringLiteral("virtualcan:tcp://127.0.0.1:%1/can0").arg(probe.serverPort());
}

// The program that hosts the virtual bus must listen before anything joins.
void waitForBus(const QString &bus)
{
    const quint16 port =
        static_cast<quint16>(bus.section(QLatin1Char(':'), 3).section(QLatin1Char('/'), 0, 0).toUInt());
    QTRY_VERIFY_WITH_TIMEOUT(
        [port] {
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, port);
            return socket.waitForConnected(100);
        }(),
        10000);
}
}

class TestMonitorLive : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void replayAtFullSpeed_equalsOfflineRun_data()
    {
        QTest::addColumn<QByteArray>("log");
        QFile sample(QStringLiteral(SAMPLE_LOG));
        QVERIFY(sample.open(QIODevice::ReadOnly));
        QTest::newRow("sampleLog") << sample.readAll();
        // For the definition file's frame 123: CAN FD frames of 12 bytes and of 8.
        QTest::newRow("canFdFrames") << QByteArray("(0.000000) can0 123##1112233445566778899AABBCC\n"
                                                   "(0.010000) can0 123##10011223344556677\n");
    }

    void replayAtFullSpeed_equalsOfflineRun()
    {
        QFETCH(QByteArray, log);
        const QString bus = virtualBus();
        const QString options = QStringLiteral("--format json --definitions " EXTRA_SIGNALS " --stale 0.2");
        QProcess monitor;
        start(monitor, MONITOR_BINARY, options + QStringLiteral(" --bus ") + bus);
        waitForBus(bus);
        QProcess replay;
        start(replay, REPLAY_BINARY, QStringLiteral("- --speed max --bus ") + bus);
        replay.write(log);
        replay.closeWriteChannel();
        QCOMPARE(stop(replay), 0);
        QTest::qWait(500); // the last frames cross the loopback; then every signal is older than 0.2 s
        QCOMPARE(stop(monitor, SIGTERM), 0);

        const QJsonObject live = finalReport(monitor.readAllStandardOutput());
        QCOMPARE(live.value(QLatin1String("ending")).toString(), QStringLiteral("SIGTERM"));
        const QJsonArray liveSignals = live.value(QLatin1String("signals")).toArray();
        const QJsonArray offline = signalsOf(runMonitor(QStringLiteral("- ") + options, log).out);
        QCOMPARE(liveSignals.size(), offline.size());
        for (int i = 0; i < liveSignals.size(); ++i) {
            for (const char *key : {"name", "samples", "liveAverage", "deviation", "min", "max", "median"}) {
                QVERIFY2(field(liveSignals, i, key) == field(offline, i, key), key);
            }
            QVERIFY(field(liveSignals, i, "stale").toBool());
            if (field(liveSignals, i, "samples").toInt() > 0) {
                QCOMPARE(field(liveSignals, i, "interface").toString(), bus.section(QLatin1Char(':'), 1)); // no plugin
            }
        }
    }

    void usageErrors_data()
    {
        QTest::addColumn<QByteArray>("program");
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<QByteArray>("message");
        const auto row = [](const char *name, const char *program, const char *arguments, const char *message) {
            QTest::newRow(name) << QByteArray(program) << QString::fromUtf8(arguments) << QByteArray(message);
        };
        row("sameBusTwice",
            MONITOR_BINARY,
            "--bus virtualcan:can1 --bus virtualcan:tcp://127.0.0.1:35468/can1",
            "are the same bus");
        row("portOutOfRange", MONITOR_BINARY, "--bus virtualcan:tcp://127.0.0.1:99999/can0", "port 99999 is not");
        row("hostNotAnAddress", REPLAY_BINARY, SAMPLE_LOG " --bus virtualcan:tcp://localhost:1/can0", "host localhost");
        row("speedTooSlow", REPLAY_BINARY, SAMPLE_LOG " --bus virtualcan:can0 --speed 1e-9", "--speed must be");
        row("metricsHostName", MONITOR_BINARY, "--metrics localhost:9108", "localhost is not an IP address");
        row("metricsOfMerge", MONITOR_BINARY, "--merge a.json --metrics 127.0.0.1:9108", "a merge has none");
    }

    // Refused before any bus is opened: nothing hosts a bus, nothing is written.
    void usageErrors()
    {
        QFETCH(QByteArray, program);
        QFETCH(QString, arguments);
        QFETCH(QByteArray, message);
        QProcess process;
        start(process, program.constData(), arguments);
        QCOMPARE(stop(process), 2);
        const QByteArray err = process.readAllStandardError();
        QVERIFY2(err.contains(message), err.constData());
        QVERIFY2(process.readAllStandardOutput().isEmpty(), err.constData());
    }

    // SIGHUP: the terminal that started the run has closed.
    void stopOnPipe_reportsWhatWasRead_data()
    {
        QTest::addColumn<int>("signalNumber");
        QTest::addColumn<QString>("ending");
        QTest::newRow("sigint") << int(SIGINT) << QStringLiteral("SIGINT");
        QTest::newRow("sighup") << int(SIGHUP) << QStringLiteral("SIGHUP");
    }

    void stopOnPipe_reportsWhatWasRead()
    {
        QFETCH(int, signalNumber);
        QProcess monitor;
        start(monitor, MONITOR_BINARY, QStringLiteral("- --format json --every 1"));
        QFile log(QStringLiteral(SAMPLE_LOG));
        QVERIFY(log.open(QIODevice::ReadOnly));
        // The first 100 frames, then the writer stays silent with the pipe open.
        for (int i = 0; i < 100; ++i) {
            monitor.write(log.readLine());
        }
        QTRY_VERIFY(monitor.bytesToWrite() == 0);
        // Generous: a sanitizer build on a busy machine takes a while to start and read them.
        QTest::qWait(1500);
        QCOMPARE(stop(monitor, signalNumber), 0);
        const QJsonObject report = finalReport(monitor.readAllStandardOutput());
        QTEST(report.value(QLatin1String("ending")).toString(), "ending");
        QCOMPARE(report.value(QLatin1String("frames")).toInt(), 100);
    }

    void busFailures_data()
    {
        QTest::addColumn<QString>("bus");
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<bool>("lostMidRun");
        QTest::newRow("unknownPlugin") << QStringLiteral("nosuchplugin:can0") << QByteArray("No such plugin") << false;
        QTest::newRow("unknownInterface")
            << QStringLiteral("socketcan:nosuch0") << QByteArray("cannot connect") << false;
        QTest::newRow("interfaceNotReported")
            << QStringLiteral("virtualcan:can7") << QByteArray("has no interface can7; it reports can0") << false;
        QTest::newRow("hostGoesAway") << virtualBus() << QByteArray("lost: ") << true;
    }

    void busFailures()
    {
        QFETCH(QString, bus);
        QFETCH(QByteArray, message);
        QFETCH(bool, lostMidRun);
        QProcess host;
        if (lostMidRun) {
            // The replay hosts the bus this time, and takes it along when it stops.
            start(host, REPLAY_BINARY, QStringLiteral(SAMPLE_LOG " --bus ") + bus);
            waitForBus(bus);
        }
        QProcess monitor;
        start(monitor, MONITOR_BINARY, QStringLiteral("--format json --bus ") + bus);
        if (lostMidRun) {
            QTest::qWait(1500);
            QCOMPARE(stop(host, SIGTERM), 0);
        }
        QCOMPARE(stop(monitor), 3);
        const QByteArray err = monitor.readAllStandardError();
        QVERIFY2(err.startsWith("talveno-monitor: bus " + bus.toUtf8()), err.constData());
        QVERIFY2(err.contains(message), err.constData());
        const QJsonObject report = finalReport(monitor.readAllStandardOutput());
        QCOMPARE(report.value(QLatin1String("ending")).toString(), QStringLiteral("bus failure"));
        QCOMPARE(report.value(QLatin1String("frames")).toInt() > 0, lostMidRun);
    }

    // Candump's default layout has no time: a quiet pipe still brings snapshots,
    // and shows its signal going stale.
    void untimedPipe_snapshotsFollowTheWallClock()
    {
        QProcess monitor;
        start(monitor, MONITOR_BINARY, QStringLiteral("- --format json --every 0.2 --stale 0.5"));
        monitor.write("  can0  0CF00400   [8]  F1 D0 CD 5A 1D 00 FF CD\n");
        QByteArray out;
        QTRY_VERIFY_WITH_TIMEOUT((out += monitor.readAllStandardOutput()).count('\n') >= 5, 10000);
        const QList<QByteArray> snapshots = out.trimmed().split('\n');
        QVERIFY(!field(signalsOf(snapshots.first()), 0, "stale").toBool());
        QVERIFY(field(signalsOf(snapshots.last()), 0, "stale").toBool());
        monitor.closeWriteChannel();
        QCOMPARE(stop(monitor), 0);
    }

    void frameStop_marksSignalStaleWithinItsWindow()
    {
        // Engine speed every 0.1 s for 4 s, but no frame at all from 1.0 to 3.0 s;
        // coolant temperature until 1.0 s only.
        QByteArray log;
        for (int i = 0; i <= 40; ++i) {
            if (i > 10 && i < 30) {
                continue;
            }
            const QByteArray time = QByteArray::number(i / 10.0, 'f', 6);
            log += "(" + time + ") can0 0CF00400#F1D0CD5A1D00FFCD\n";
            if (i <= 10) {
                log += "(" + time + ") can0 18FEEE00#7BFFFFFFFFFFFFFF\n";
            }
        }
        const Run run = runMonitor(QStringLiteral("- --format json --every 0.5 --stale 1"), log);
        QCOMPARE(run.exitCode, 0);
        // Last sample at 1.0 s: stale once more than 1 s of log time has passed, at
        // every later snapshot and at the end.
        QString staleness;
        for (const QByteArray &line : run.out.trimmed().split('\n')) {
            staleness += field(signalsOf(line), 2, "stale").toBool() ? QLatin1Char('S') : QLatin1Char('-');
        }
        QCOMPARE(staleness, QStringLiteral("----SSSSS")); // snapshots at 0.5, 1, ... 4 s, then the report

        // Of 1000 snapshots due in one gap, the first and the last, and a line for the rest.
        const QByteArray frame = " can0 0CF00400#F1D0CD5A1D00FFCD\n";
        const QList<QByteArray> gap =
            runMonitor(QStringLiteral("- --format json --every 0.01"), "(0.0)" + frame + "(10.0)" + frame)
                .out.split('\n');
        QCOMPARE(gap.size(), 5);
        QCOMPARE(QJsonDocument::fromJson(gap.at(1)).object().value(QLatin1String("snapshots")).toInt(), 998);
    }

    // On a terminal, each snapshot is drawn over the one before, in lines that keep
    // their widths though the values grow; --no-redraw lets them scroll.
    void liveView_redrawsInPlaceOnATerminal_data()
    {
        QTest::addColumn<QString>("options");
        QTest::addColumn<int>("redrawn");
        QTest::newRow("redraw") << QString() << 3;
        QTest::newRow("noRedraw") << QStringLiteral(" --no-redraw") << 0;
    }

    void liveView_redrawsInPlaceOnATerminal()
    {
        QFETCH(QString, options);
        QTemporaryDir dir;
        QFile log(dir.filePath(QStringLiteral("growing.log")));
        QVERIFY(log.open(QIODevice::WriteOnly));
        for (int i = 0; i < 30; ++i) {
            log.write("(" + QByteArray::number(i / 10.0, 'f', 1) + ") can0 0CF00400#F1D0CD" + (i < 10 ? "2800" : "E02E")
                      + "FFFFFF\n");
        }
        log.close();
        QProcess terminal;
        terminal.start(QStringLiteral("script"),
                       {QStringLiteral("-qfec"),
                        QStringLiteral(MONITOR_BINARY " --every 1 ") + log.fileName() + options,
                        QStringLiteral("/dev/null")});
        QCOMPARE(stop(terminal), 0);
        const QByteArray out = terminal.readAllStandardOutput();
        // Each drawing starts at the cursor's home; the first two are the snapshots.
        QList<QByteArray> pages;
        for (int from = 0, home = 0; home >= 0; from = home + 3) {
            home = out.indexOf("\x1b[H", from);
            pages.append(out.mid(from, home < 0 ? -1 : home - from));
        }
        QTEST(pages.size() - 1, "redrawn");
        const auto widths = [](QByteArray page) {
            QVector<int> result;
            const QList<QByteArray> lines = page.replace("\x1b[K", "").split('\n');
            for (const QByteArray &line : lines.mid(1)) {
                result.append(QString::fromUtf8(line).size());
            }
            return result;
        };
        QCOMPARE(widths(pages.value(1)), widths(pages.value(2)));
    }
};

QTEST_GUILESS_MAIN(TestMonitorLive)
#include "tst_monitor_live.moc"
