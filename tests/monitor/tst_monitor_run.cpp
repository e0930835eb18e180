// SPDX-License-Identifier: LGPL-2.1-or-later
// The monitor program end to end: exit status, what it prints, and what it writes.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

#include <cmath>

namespace
{
struct Run
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Run runMonitor(const QStringList &arguments, const QByteArray &input = QByteArray())
{
    QProcess process;
    process.start(QStringLiteral(MONITOR_BINARY), arguments);
    if (!process.waitForStarted()) {
        return Run();
    }
    process.write(input);
    process.closeWriteChannel();
    process.waitForFinished(60000);
    Run run;
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

const QStringList builtinNames = {QStringLiteral("engine speed (SPN 190)"),
                                  QStringLiteral("vehicle speed (SPN 84)"),
                                  QStringLiteral("coolant temperature (SPN 110)"),
                                  QStringLiteral("oil pressure (SPN 100)"),
                                  QStringLiteral("accelerator pedal (SPN 91)"),
                                  QStringLiteral("fuel rate (SPN 183)")};

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
    void sampleLog_tableListsEveryBuiltinSignal();
    void sampleLog_jsonSnapshotsAndPlot();
    void definitionFile_signalsInTheirDataTypes();
    void unreadableInput_exits2_data();
    void unreadableInput_exits2();
    void malformedLines_skippedAndReported();
    void strict_stopsAtFirstMalformedLine();
};

void TestMonitorRun::sampleLog_tableListsEveryBuiltinSignal()
{
    const Run run = runMonitor({});
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.err.isEmpty(), run.err.constData());
    const QString out = QString::fromUtf8(run.out);
    for (const QString &name : builtinNames) {
        QVERIFY2(out.contains(name), qPrintable(name));
    }
    QVERIFY(out.contains(QStringLiteral("0 malformed lines")));
}

void TestMonitorRun::sampleLog_jsonSnapshotsAndPlot()
{
    QTemporaryDir dir;
    const QString plot = dir.filePath(QStringLiteral("plot.svg"));
    const Run run = runMonitor({QStringLiteral(SAMPLE_LOG),
                                QStringLiteral("--format"),
                                QStringLiteral("json"),
                                QStringLiteral("--every"),
                                QStringLiteral("5"),
                                QStringLiteral("--plot"),
                                plot});
    QCOMPARE(run.exitCode, 0);
    const QJsonObject report = QJsonDocument::fromJson(run.out).object();
    QCOMPARE(report.value(QLatin1String("malformedLines")).toInt(-1), 0);
    const QJsonArray finalStates = report.value(QLatin1String("signals")).toArray();
    QCOMPARE(finalStates.size(), builtinNames.size());
    const QJsonObject engine = finalStates.at(0).toObject();
    QCOMPARE(engine.value(QLatin1String("name")).toString(), builtinNames.first());
    QVERIFY(engine.value(QLatin1String("samples")).toInt() > 500);
    QVERIFY(engine.value(QLatin1String("outsideBand")).toInt() > 0); // the generator's burst
    const double minimum = engine.value(QLatin1String("min")).toDouble();
    const double maximum = engine.value(QLatin1String("max")).toDouble();
    const double median = engine.value(QLatin1String("median")).toDouble();
    QVERIFY(minimum > 500.0 && minimum <= median && median <= maximum);
    const QJsonArray snapshots = report.value(QLatin1String("snapshots")).toArray();
    QCOMPARE(snapshots.size(), 3); // at 5, 10 and 15 s of a 20 s log
    QCOMPARE(snapshots.at(1).toObject().value(QLatin1String("time")).toDouble(), 10.0);

    QFile svg(plot);
    QVERIFY(svg.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&svg);
    int panels = 0;
    int marks = 0;
    while (!xml.atEnd()) {
        xml.readNext();
        panels += xml.isStartElement() && xml.name() == QLatin1String("polyline");
        marks += xml.isStartElement() && xml.name() == QLatin1String("circle");
    }
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    QCOMPARE(panels, builtinNames.size());
    QVERIFY(marks > 0);
}

void TestMonitorRun::definitionFile_signalsInTheirDataTypes()
{
    const Run run = runMonitor({QStringLiteral("--definitions"),
                                QStringLiteral(EXTRA_SIGNALS),
                                QStringLiteral("--no-builtin"),
                                QStringLiteral("--format"),
                                QStringLiteral("json")});
    QCOMPARE(run.exitCode, 0);
    const QJsonArray states = QJsonDocument::fromJson(run.out).object().value(QLatin1String("signals")).toArray();
    QCOMPARE(states.size(), 3);
    // Source address 17 on a 29-bit id, Unsigned16 cutting 0.125 rpm steps, an 11-bit id read big-endian.
    QCOMPARE(states.at(0).toObject().value(QLatin1String("samples")).toInt(), 200);
    const double wholeRpm = states.at(1).toObject().value(QLatin1String("min")).toDouble();
    QVERIFY(wholeRpm > 500.0 && wholeRpm == std::floor(wholeRpm));
    QVERIFY(states.at(2).toObject().value(QLatin1String("newest")).toDouble() == 127.0);
}

void TestMonitorRun::unreadableInput_exits2_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("missingFile") << QStringList{QStringLiteral("/nonexistent/can.log")};
    QTest::newRow("directory") << QStringList{QStringLiteral("/")};
    QTest::newRow("missingDefinitions") << QStringList{QStringLiteral("--definitions"),
                                                       QStringLiteral("/nonexistent/signals.json")};
    QTest::newRow("unknownFormat") << QStringList{QStringLiteral("--format"), QStringLiteral("xml")};
}

void TestMonitorRun::unreadableInput_exits2()
{
    QFETCH(QStringList, arguments);
    const Run run = runMonitor(arguments);
    QCOMPARE(run.exitCode, 2);
    QVERIFY(run.out.isEmpty());
    QVERIFY(run.err.startsWith("talveno-monitor: "));
}

void TestMonitorRun::malformedLines_skippedAndReported()
{
    const Run run = runMonitor({QStringLiteral("-"), QStringLiteral("--format"), QStringLiteral("csv")}, mixedLog);
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.err.contains("2 malformed line(s) skipped"), run.err.constData());
    QVERIFY(run.err.contains("line 2: ") && run.err.contains("line 4: "));
    const QList<QByteArray> rows = run.out.split('\n');
    QVERIFY(rows.at(0).startsWith("time,signal,unit,samples,"));
    // 939.25, 1024 and 1536 rpm from both layouts.
    QVERIFY2(rows.at(1).startsWith("0.03,engine speed (SPN 190),rpm,3,3,1536,"), rows.at(1).constData());
}

void TestMonitorRun::strict_stopsAtFirstMalformedLine()
{
    const Run run = runMonitor({QStringLiteral("-"), QStringLiteral("--strict")}, mixedLog);
    QCOMPARE(run.exitCode, 1);
    QVERIFY(run.out.isEmpty());
    QVERIFY2(run.err.contains("line 2 is malformed"), run.err.constData());
}

QTEST_GUILESS_MAIN(TestMonitorRun)
#include "tst_monitor_run.moc"
