// SPDX-License-Identifier: LGPL-2.1-or-later
// The monitor program end to end: exit status, what it prints, and what it writes.
#include "BuiltinSignals.h"
#include "ToolTestSupport.h"

#include <QTemporaryDir>

#include <algorithm>
#include <cmath>

namespace
{
const QByteArray mixedLog = "(0.000000) can0 0CF00400#F1D0CD5A1D00FFCD\n"
                            "garbage\n"
                            "(0.010000) can0 0CF00400#F1D0CD00200000FF\n"
                            "(0.015000) can0 20000080#0000000000000000\n"
                            "(0.020000) can0 12345#00\n"
                            " (0.030000)  can0  0CF00400   [8]  F1 D0 CD 00 30 00 FF CD\n";
}

class TestMonitorRun : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // A name too long for the table is cut there, with an ellipsis.
    void sampleLog_tableListsEveryBuiltinSignal()
    {
        QTemporaryDir dir;
        QFile definitions(dir.filePath(QStringLiteral("long.json")));
        QVERIFY(definitions.open(QIODevice::WriteOnly));
        definitions.write(R"({"signals": [{"name": ")" + QByteArray(70, 'n') + R"(", "unit": "rpm", "pgn": 61444,
                             "startBit": 24, "length": 16, "factor": 0.125}]})");
        definitions.close();
        const Run run = runMonitor(QStringLiteral(SAMPLE_LOG " --definitions ") + definitions.fileName());
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.err.isEmpty(), run.err.constData());
        QVERIFY(run.out.contains(QByteArray(20, 'n') + "\u2026 [rpm]"));
        for (const QByteArray &line : run.out.split('\n')) {
            QVERIFY2(QString::fromUtf8(line).size() <= 80, line.constData());
        }
        for (const SignalDefinition &signal : builtinSignals()) {
            QVERIFY2(run.out.contains(signal.name.toUtf8()), qPrintable(signal.name));
        }
        for (const char *text :
             {"  count  rating  outside\n", "0 malformed lines", "the newest 1000 to 1100 samples"}) {
            QVERIFY2(run.out.contains(text), text);
        }
    }

    void sampleLog_jsonSnapshotsAndPlot()
    {
        QTemporaryDir dir;
        const QString plot = dir.filePath(QStringLiteral("plot.svg"));
        const Run run = runMonitor(QStringLiteral(SAMPLE_LOG " --format json --every 5 --plot ") + plot);
        QCOMPARE(run.exitCode, 0);
        // JSON Lines: a snapshot at 5, 10 and 15 s of the 20 s log, then the report.
        const QList<QByteArray> lines = run.out.trimmed().split('\n');
        QCOMPARE(lines.size(), 4);
        QCOMPARE(QJsonDocument::fromJson(lines.at(1)).object().value(QLatin1String("time")).toDouble(), 10.0);
        const QJsonObject report = finalReport(run.out);
        QCOMPARE(report.value(QLatin1String("type")).toString(), QStringLiteral("report"));
        QCOMPARE(report.value(QLatin1String("malformedLines")).toInt(-1), 0);
        const QJsonArray states = report.value(QLatin1String("signals")).toArray();
        QCOMPARE(states.size(), 6);
        QCOMPARE(field(states, 0, "name").toString(), QStringLiteral("engine speed (SPN 190)"));
        QVERIFY(field(states, 0, "samples").toInt() > 500);
        QVERIFY(field(states, 0, "outsideBand").toInt() > 0); // the generator's burst
        const double minimum = field(states, 0, "min").toDouble();
        const double median = field(states, 0, "median").toDouble();
        QVERIFY(minimum > 500.0);
        QVERIFY(minimum <= median);
        QVERIFY(median <= field(states, 0, "max").toDouble());

        QFile svg(plot);
        QVERIFY(svg.open(QIODevice::ReadOnly));
        const QByteArray svgText = svg.readAll();
        const Drawn drawn = drawnIn(svgText);
        QVERIFY(drawn.histories == 6);
        QVERIFY(!drawn.outsideX.isEmpty());
        QVERIFY(svgText.contains("engine speed (SPN 190) [rpm]"));
    }

    // Only engine speed has samples in the mixed log: the others are blank, not 0.
    void mixedLog_malformedSkippedAndEmptySignalsBlank()
    {
        const Run csv =
            runMonitor(QStringLiteral("- --format csv --every 0.02 --definitions " EXTRA_SIGNALS), mixedLog);
        QCOMPARE(csv.exitCode, 0);
        QVERIFY2(csv.err.contains("2 malformed line(s) skipped"), csv.err.constData());
        QVERIFY(csv.err.contains("line 2: "));
        QVERIFY(csv.err.contains("line 5: "));
        QVERIFY(csv.out.startsWith("time,signal,unit,samples,"));
        QVERIFY(csv.out.count("time,") == 1);
        // 939.25, 1024 and 1536 rpm from both layouts; whole rpm for the second definition of it.
        for (const char *row : {"0.02,engine speed (SPN 190),rpm,2,2,1024,",
                                "0.03,engine speed (SPN 190),rpm,3,3,1536,",
                                "0.03,vehicle speed (SPN 84),km/h,0,0,,,,,,,,,,,,,0,0,",
                                "0.03,\"engine speed, whole rpm (SPN 190)\",rpm,3,3,1536,,1166.3333333333333,"}) {
            QVERIFY2(csv.out.contains('\n' + QByteArray(row)), row);
        }

        const QJsonObject json = finalReport(runMonitor(QStringLiteral("- --format json"), mixedLog).out);
        QVERIFY(json.value(QLatin1String("frames")) == 3);
        QVERIFY(json.value(QLatin1String("errorFrames")) == 1);
        const QJsonArray states = json.value(QLatin1String("signals")).toArray();
        QCOMPARE(field(states, 1, "samples").toInt(-1), 0);
        for (const char *key : {"liveAverage", "deviation", "min", "max", "median", "rating", "outsideBand"}) {
            QVERIFY2(field(states, 1, key).isNull(), key);
        }
        const auto tableLine = [](const QByteArray &out, const char *start, int below) {
            const QList<QByteArray> lines = out.split('\n');
            for (int i = 0; i + below < lines.size(); ++i) {
                if (lines.at(i).startsWith(start)) {
                    return lines.at(i + below).simplified();
                }
            }
            return QByteArray("(none)");
        };
        const QByteArray table = runMonitor(QStringLiteral("-"), mixedLog).out;
        QCOMPARE(tableLine(table, "vehicle speed", 0), QByteArray("vehicle speed (SPN 84) [km/h] 0"));
        QCOMPARE(tableLine(table, "vehicle speed", 1), QByteArray());
        // Every value in the decimals of the 0.125 rpm resolution; CSV above keeps them whole.
        QCOMPARE(tableLine(table, "engine speed", 1),
                 QByteArray("1536.000 1166.417 263.615 939.250 1536.000 1024.000"));
        // A log is read faster than it was recorded: its age is told in log time only.
        const QByteArray wide = runMonitor(QStringLiteral("- --wide"), mixedLog).out;
        QCOMPARE(tableLine(wide, "vehicle speed", 0), QByteArray("vehicle speed (SPN 84) km/h 0 0 0 0"));
        QVERIFY(tableLine(wide, "signal", 0).endsWith("errors log age s"));
    }

    // A definition's own sender stays its only one under --source-address all, a
    // sender reads 0x.. in every format, and frames too short for a signal count.
    void definitions_ownSenderHexAndTooShort()
    {
        const QByteArray log = "(0.0) can0 18FEF117#0000100000000000\n"
                               "(0.1) can0 18FEF121#0000200000000000\n"
                               "(0.2) can0 123#0102\n";
        const QString arguments = QStringLiteral("- --source-address all --definitions " EXTRA_SIGNALS " --format ");
        const QByteArray csv = runMonitor(arguments + QLatin1String("csv"), log).out;
        QCOMPARE(csv.count("vehicle speed, cluster (SPN 84, SA 0x17)"), 1);
        QVERIFY2(csv.contains(",can0,0x21,"), csv.constData());
        const QJsonArray states = signalsOf(runMonitor(arguments + QLatin1String("json"), log).out);
        QCOMPARE(field(states, 2, "sourceAddress").toString(), QStringLiteral("0x21"));
        QCOMPARE(field(states, states.size() - 1, "tooShort").toInt(), 1); // body frame 123, byte 3
        const QByteArray table = runMonitor(arguments + QLatin1String("table"), log).out;
        QVERIFY2(table.contains("(SA 0x21)"), table.constData());
        QVERIFY2(table.contains("1 frame too short for the bits of body frame 123"), table.constData());
    }

    // A run merged twice would count twice; signals of two interfaces stay apart.
    void merge_refusesARunTwiceAndNamesInterfaces()
    {
        QTemporaryDir dir;
        const auto report = [&dir](const char *name, const QByteArray &log) {
            QFile file(dir.filePath(QLatin1String(name)));
            file.open(QIODevice::WriteOnly);
            file.write(runMonitor(QStringLiteral("- --format json"), log).out);
            return file.fileName();
        };
        const QString can0 = report("can0.json", "(0.0) can0 0CF00400#F1D0CD5A1D00FFCD\n");
        const QString can1 = report("can1.json", "(0.5) can1 0CF00400#F1D0CD5A1D00FFCD\n");
        const Run repeated = runMonitor(QStringLiteral("--merge %1 %2 %1").arg(can0, can1));
        QCOMPARE(repeated.exitCode, 2);
        QVERIFY2(repeated.err.contains(QStringLiteral("%1 repeats the run of %1").arg(can0).toUtf8()),
                 repeated.err.constData());
        const QByteArray table = runMonitor(QStringLiteral("--merge %1 %2").arg(can0, can1)).out;
        QVERIFY2(table.contains("[rpm] (can0)"), table.constData());
        QVERIFY2(table.contains("[rpm] (can1)"), table.constData());
        QVERIFY(runMonitor(QStringLiteral("--merge ") + can0).out.startsWith("merged from 1 report:\n"));
    }

    // A failure ends with its status and a message, and with no report, or the
    // report of what came before it where one is named.
    void failure_exitStatusAndMessage_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QString>("shell");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<QByteArray>("report");
        const auto row = [](const char *name, const char *arguments, int status, const char *message) {
            QTest::newRow(name) << QString::fromUtf8(arguments) << QByteArray() << QString() << status
                                << QByteArray(message) << QByteArray();
        };
        const auto shellRow =
            [](const char *name, const char *arguments, const char *shell, int status, const char *message) {
                QTest::newRow(name) << QString::fromUtf8(arguments)
                                    << QByteArray("{\"type\": \"report\", \"signals\": []}") << QString::fromUtf8(shell)
                                    << status << QByteArray(message) << QByteArray();
            };
        QTest::newRow("strictReportsTheLinesBeforeTheMalformedOne")
            << QStringLiteral("- --strict") << mixedLog << QString() << 1 << QByteArray("line 2 is malformed")
            << QByteArray("1 frames in 1 lines; 0 malformed lines skipped");
        QTest::newRow("notACanLog") << QStringLiteral("-") << QByteArray("{\n  \"signals\": []\n}\n") << QString() << 2
                                    << QByteArray("- is not a CAN log: none of its 3 lines is a frame") << QByteArray();
        row("missingFile", "/nonexistent/can.log", 2, "cannot read");
        row("directory", "/", 2, "is a directory");
        row("missingDefinitions", "--definitions /nonexistent/signals.json", 2, "signals.json");
        row("unknownFormat", "--format xml", 2, "--format");
        row("staleNotPositive", "--stale 0", 2, "--stale must be");
        row("definitionsNotJson", "--definitions " SAMPLE_LOG, 2, "sample.log: not valid JSON");
        row("mergeWithoutReports", "--merge", 2, "--merge needs");
        row("mergeOfNoReport", "--merge " SAMPLE_LOG, 2, "not a JSON report");
        // Standard input stays open: a monitor that read the log first would never end.
        row("plotNotSvgBeforeReading", "- --plot /tmp/plot.png", 2, "ends in .svg");
        row("plotUnwritableBeforeReading", "- --plot /nonexistent/plot.svg", 2, "cannot write");
        shellRow("standardInputClosed", "-", "exec %1 <&-", 2, "cannot read -: standard input is closed");
        shellRow("standardOutputClosed", SAMPLE_LOG, "exec %1 >&-", 4, "standard output is closed");
        shellRow("reportOnFullDisk", SAMPLE_LOG, "exec %1 >/dev/full", 4, "cannot write the report: No space");
        shellRow("snapshotOnFullDisk", SAMPLE_LOG " --every 1 --format csv", "exec %1 >/dev/full", 4, "No space");
        shellRow("mergeOnFullDisk", "--merge /dev/stdin", "exec %1 >/dev/full", 4, "No space");
        shellRow("helpOnFullDisk", "--help", "exec %1 >/dev/full", 4, "cannot write");
        // As other Unix tools, quietly: status 4 shows only where the pipe's status is asked for.
        shellRow("readerClosesThePipe",
                 SAMPLE_LOG " --every 0.01",
                 "set -o pipefail; trap '' PIPE; %1 | head -1 >/dev/null",
                 4,
                 "");
    }

    void failure_exitStatusAndMessage()
    {
        QFETCH(QString, arguments);
        QFETCH(QByteArray, input);
        QFETCH(QString, shell);
        QFETCH(QByteArray, message);
        QFETCH(QByteArray, report);
        const Run run = runMonitor(arguments, input, shell);
        QTEST(run.exitCode, "status");
        QVERIFY2(report.isEmpty() ? run.out.isEmpty() : run.out.contains(report), run.out.constData());
        QVERIFY2(message.isEmpty() == run.err.isEmpty(), run.err.constData());
        QVERIFY2(message.isEmpty() || run.err.startsWith("talveno-monitor: "), run.err.constData());
        QVERIFY2(run.err.contains(message), run.err.constData());
    }

    // Merged pieces of the log give the whole log's statistics.
    void merge_piecesEqualTheWholeLog()
    {
        QFile log(QStringLiteral(SAMPLE_LOG));
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = log.readAll().split('\n');
        // Pieces of 1, 99, 900 and the rest of the lines, reported as JSON Lines.
        const int cuts[] = {0, 1, 100, 1000, lines.size()};
        QTemporaryDir dir;
        QStringList reports;
        for (int piece = 0; piece < 4; ++piece) {
            QFile report(dir.filePath(QStringLiteral("piece%1.json").arg(piece)));
            QVERIFY(report.open(QIODevice::WriteOnly));
            const QByteArray text = lines.mid(cuts[piece], cuts[piece + 1] - cuts[piece]).join('\n');
            report.write(runMonitor(QStringLiteral("- --format json --every %1").arg(piece + 1), text).out);
            reports.append(report.fileName());
        }
        const QJsonObject wholeRun = finalReport(runMonitor(QStringLiteral(SAMPLE_LOG " --format json")).out);
        const QJsonObject mergedRun =
            finalReport(runMonitor(QStringLiteral("--format json --merge ") + reports.join(QLatin1Char(' '))).out);
        for (const char *key : {"lines", "frames"}) {
            QVERIFY2(mergedRun.value(QLatin1String(key)) == wholeRun.value(QLatin1String(key)), key);
        }
        const QJsonArray whole = wholeRun.value(QLatin1String("signals")).toArray();
        const QJsonArray merged = mergedRun.value(QLatin1String("signals")).toArray();
        QCOMPARE(merged.size(), whole.size());
        for (int i = 0; i < whole.size(); ++i) {
            for (const char *key : {"count", "mean", "deviation", "min", "max", "notAvailable"}) {
                const double expected = field(whole, i, key).toDouble();
                QVERIFY2(std::fabs(field(merged, i, key).toDouble() - expected) <= 1e-12 * std::fabs(expected), key);
            }
            QVERIFY(field(merged, i, "median").isUndefined());
        }
    }
};

QTEST_GUILESS_MAIN(TestMonitorRun)
#include "tst_monitor_run.moc"
