// SPDX-License-Identifier: LGPL-2.1-or-later
// The monitor program end to end: exit status, what it prints, and what it writes.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

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
