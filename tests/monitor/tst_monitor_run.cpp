// SPDX-License-Identifier: LGPL-2.1-or-later
// The monitor program end to end: exit status, what it prints, and what it writes.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

#include <algorithm>
#include <cmath>

namespace
{
struct Run
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// Arguments are separated by spaces; none of the paths used holds one.
Run runMonitor(const QString &arguments, const QByteArray &input = QByteArray())
{
    QProcess process;
    process.start(QStringLiteral(MONITOR_BINARY), arguments.split(QLatin1Char(' '), Qt::SkipEmptyParts));
    Run run;
    if (process.waitForStarted()) {
        process.write(input);
        process.closeWriteChannel();
        process.waitForFinished(60000);
        run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        run.out = process.readAllStandardOutput();
        run.err = process.readAllStandardError();
    }
    return run;
}

const QByteArray mixedLog = "(0.000000) can0 0CF00400#F1D0CD5A1D00FFCD\n"
                            "garbage\n"
                            "(0.010000) can0 0CF00400#F1D0CD00200000FF\n"
                            "(0.020000) can0 12345#00\n"
                            " (0.030000)  can0  0CF00400   [8]  F1 D0 CD 00 30 00 FF CD\n";
}

class TestMonitorRun : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sampleLog_tableListsEveryBuiltinSignal()
    {
        const Run run = runMonitor(QString());
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.err.isEmpty(), run.err.constData());
        for (const QByteArray &line : run.out.split('\n')) {
            QVERIFY2(QString::fromUtf8(line).size() <= 80, line.constData());
        }
        for (const char *name : {"engine speed (SPN 190)",
                                 "vehicle speed (SPN 84)",
                                 "coolant temperature (SPN 110)",
                                 "oil pressure (SPN 100)",
                                 "accelerator pedal (SPN 91)",
                                 "fuel rate (SPN 183)",
                                 "0 malformed lines"}) {
            QVERIFY2(run.out.contains(name), name);
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
        const QJsonObject report = QJsonDocument::fromJson(lines.last()).object();
        QCOMPARE(report.value(QLatin1String("type")).toString(), QStringLiteral("report"));
        QCOMPARE(report.value(QLatin1String("malformedLines")).toInt(-1), 0);
        const QJsonArray finalStates = report.value(QLatin1String("signals")).toArray();
        QCOMPARE(finalStates.size(), 6);
        const QJsonObject engine = finalStates.at(0).toObject();
        QCOMPARE(engine.value(QLatin1String("name")).toString(), QStringLiteral("engine speed (SPN 190)"));
        QVERIFY(engine.value(QLatin1String("samples")).toInt() > 500);
        QVERIFY(engine.value(QLatin1String("outsideBand")).toInt() > 0); // the generator's burst
        const double minimum = engine.value(QLatin1String("min")).toDouble();
        const double median = engine.value(QLatin1String("median")).toDouble();
        QVERIFY(minimum > 500.0 && minimum <= median && median <= engine.value(QLatin1String("max")).toDouble());
        QCOMPARE(QJsonDocument::fromJson(lines.at(1)).object().value(QLatin1String("time")).toDouble(), 10.0);

        QFile svg(plot);
        QVERIFY(svg.open(QIODevice::ReadOnly));
        QXmlStreamReader xml(&svg);
        int panels = 0;
        int marks = 0;
        while (!xml.atEnd()) {
            xml.readNext();
            panels += xml.isStartElement() && xml.name() == QLatin1String("polyline");
            marks += xml.isStartElement() && xml.attributes().value(QLatin1String("class")) == QLatin1String("outside");
        }
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        QVERIFY(panels == 6 && marks > 0);
    }

    void csv_malformedLinesSkippedAndReported()
    {
        const Run run = runMonitor(QStringLiteral("- --format csv"), mixedLog);
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.err.contains("2 malformed line(s) skipped"), run.err.constData());
        QVERIFY(run.err.contains("line 2: ") && run.err.contains("line 4: "));
        const QList<QByteArray> rows = run.out.split('\n');
        QVERIFY(rows.at(0).startsWith("time,signal,unit,samples,"));
        // 939.25, 1024 and 1536 rpm from both layouts.
        QVERIFY2(rows.at(1).startsWith("0.03,engine speed (SPN 190),rpm,3,3,1536,"), rows.at(1).constData());
    }

    // Only engine speed has samples in the mixed log: the others are blank, not 0.
    void signalWithoutSamples_blankNotZero()
    {
        const QJsonObject speed = QJsonDocument::fromJson(runMonitor(QStringLiteral("- --format json"), mixedLog).out)
                                      .object()
                                      .value(QLatin1String("signals"))
                                      .toArray()
                                      .at(1)
                                      .toObject();
        QCOMPARE(speed.value(QLatin1String("samples")).toInt(-1), 0);
        for (const char *key : {"liveAverage", "deviation", "min", "max", "median", "rating", "outsideBand"}) {
            QVERIFY2(speed.value(QLatin1String(key)).isNull(), key);
        }
        const QList<QByteArray> table = runMonitor(QStringLiteral("-"), mixedLog).out.split('\n');
        const auto row = std::find_if(table.cbegin(), table.cend(), [](const QByteArray &line) {
            return line.startsWith("vehicle speed");
        });
        QVERIFY(row != table.cend() && row + 1 != table.cend());
        QCOMPARE(row->simplified(), QByteArray("vehicle speed (SPN 84) [km/h] 0"));
        QVERIFY((row + 1)->trimmed().isEmpty());
        const QByteArray csv = runMonitor(QStringLiteral("- --format csv"), mixedLog).out.split('\n').at(2);
        QVERIFY2(csv.startsWith("0.03,vehicle speed (SPN 84),km/h,0,0,,,,,,,,,,,,0,0,"), csv.constData());
    }

    void plotPath_refusedBeforeTheLogIsRead_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("message");
        QTest::newRow("notSvg") << QStringLiteral("/tmp/plot.png") << QByteArray("ends in .svg");
        QTest::newRow("unwritable") << QStringLiteral("/nonexistent/plot.svg") << QByteArray("cannot write");
    }

    void plotPath_refusedBeforeTheLogIsRead()
    {
        QFETCH(QString, path);
        QFETCH(QByteArray, message);
        // Standard input stays open: a monitor that read it first would never end.
        QProcess process;
        process.start(QStringLiteral(MONITOR_BINARY), {QStringLiteral("-"), QStringLiteral("--plot"), path});
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitCode(), 2);
        QVERIFY(process.readAllStandardError().contains(message));
    }

    // Merged pieces of the log give the whole log's statistics.
    void merge_piecesEqualTheWholeLog()
    {
        QFile log(QStringLiteral(SAMPLE_LOG));
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = log.readAll().split('\n');
        QTemporaryDir dir;
        QStringList reports;
        for (int piece = 0; piece < 4; ++piece) {
            // Pieces of 1, 99, 900 and the rest of the lines.
            const int from = piece == 0 ? 0 : piece == 1 ? 1 : piece == 2 ? 100 : 1000;
            const int to = piece == 0 ? 1 : piece == 1 ? 100 : piece == 2 ? 1000 : lines.size();
            QFile report(dir.filePath(QStringLiteral("piece%1.json").arg(piece)));
            QVERIFY(report.open(QIODevice::WriteOnly));
            report.write(runMonitor(QStringLiteral("- --format json"), lines.mid(from, to - from).join('\n')).out);
            reports.append(report.fileName());
        }
        const auto signalsOf = [](const Run &run) {
            return QJsonDocument::fromJson(run.out).object().value(QLatin1String("signals")).toArray();
        };
        const QJsonArray whole = signalsOf(runMonitor(QStringLiteral(SAMPLE_LOG " --format json")));
        const QJsonArray merged =
            signalsOf(runMonitor(QStringLiteral("--format json --merge ") + reports.join(QLatin1Char(' '))));
        QCOMPARE(merged.size(), whole.size());
        for (int i = 0; i < whole.size(); ++i) {
            for (const char *key : {"count", "mean", "deviation", "min", "max", "notAvailable"}) {
                const double expected = whole.at(i).toObject().value(QLatin1String(key)).toDouble();
                const double got = merged.at(i).toObject().value(QLatin1String(key)).toDouble();
                QVERIFY2(std::fabs(got - expected) <= 1e-12 * std::fabs(expected), key);
            }
            QVERIFY(merged.at(i).toObject().value(QLatin1String("median")).isUndefined());
        }
    }

    void strict_stopsAtFirstMalformedLine()
    {
        const Run run = runMonitor(QStringLiteral("- --strict"), mixedLog);
        QCOMPARE(run.exitCode, 1);
        QVERIFY(run.out.isEmpty());
        QVERIFY2(run.err.contains("line 2 is malformed"), run.err.constData());
    }

    void unreadableInput_exits2_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::newRow("missingFile") << QStringLiteral("/nonexistent/can.log");
        QTest::newRow("directory") << QStringLiteral("/");
        QTest::newRow("missingDefinitions") << QStringLiteral("--definitions /nonexistent/signals.json");
        QTest::newRow("unknownFormat") << QStringLiteral("--format xml");
    }

    void unreadableInput_exits2()
    {
        QFETCH(QString, arguments);
        const Run run = runMonitor(arguments);
        QCOMPARE(run.exitCode, 2);
        QVERIFY(run.out.isEmpty());
        QVERIFY(run.err.startsWith("talveno-monitor: "));
    }
};

QTEST_GUILESS_MAIN(TestMonitorRun)
#include "tst_monitor_run.moc"
