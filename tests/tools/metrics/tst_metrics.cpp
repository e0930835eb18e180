// SPDX-License-Identifier: LGPL-2.1-or-later
// The metrics part: the addresses it serves at, and the exposition that
// dashboards and alerting rules read by name and label.
#include "MetricFamilies.h"
#include "MetricsAddress.h"

#include <prometheus/text_serializer.h>

#include <QTest>

namespace
{
SignalSnapshot signalState(const char *name, const char *unit, const char *interfaceName, int sourceAddress)
{
    SignalSnapshot s;
    s.name = QString::fromUtf8(name);
    s.unit = QString::fromUtf8(unit);
    s.interfaceName = QString::fromUtf8(interfaceName);
    s.sourceAddress = sourceAddress;
    return s;
}

// A J1939 signal with samples, a database signal seen without any, a signal
// never seen, and the log they came from.
QByteArray exposedText()
{
    SignalSnapshot engine = signalState("engine speed", "rpm", "can0", 0x17);
    engine.frames = 12;
    engine.decodedSamples = 10;
    engine.notAvailableSamples = 2;
    engine.newest = 1500.0;
    engine.cachedAverage = 1200.5;
    engine.liveAverage = 999.0;
    engine.age = 0.25;
    SignalSnapshot temperature = signalState("Temp", "°C", "can1", -1);
    temperature.message = QStringLiteral("ENGINE_1");
    temperature.frames = 2;
    temperature.tooShortFrames = 2;
    SignalSnapshot fuel = signalState("fuel rate", "L/h", "", -1);
    fuel.stale = true;
    LiveFigures figures{{engine, temperature, fuel}, {InputFigures{QStringLiteral("drive.log"), 14, 3, 1}}, {}};
    FaultSender engineLamps;
    engineLamps.interfaceName = QStringLiteral("can0");
    engineLamps.lamps = {LampState::On, LampState::FastFlash, LampState::Off, LampState::NotAvailable};
    FaultCode active;
    active.interfaceName = QStringLiteral("can0");
    active.spn = 190;
    active.fmi = 2;
    active.occurrences = 5;
    active.active = true;
    FaultCode gone = active;
    gone.spn = 96;
    gone.fmi = 3;
    gone.occurrences = 127;
    gone.active = false;
    figures.diagnostics.senders = {engineLamps};
    figures.diagnostics.faults = {active, gone};
    return QByteArray::fromStdString(prometheus::TextSerializer().Serialize(metricFamilies(figures)));
}
}

class TestMetrics : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void address_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("error");
        QTest::newRow("loopback") << QStringLiteral("127.0.0.1:9108") << QString();
        QTest::newRow("everyInterface") << QStringLiteral("0.0.0.0:80") << QString();
        QTest::newRow("ipv6InBrackets") << QStringLiteral("[::1]:9108") << QString();
        QTest::newRow("noPort") << QStringLiteral("127.0.0.1") << QStringLiteral("expected ADDRESS:PORT");
        QTest::newRow("hostName") << QStringLiteral("localhost:9108")
                                  << QStringLiteral("localhost is not an IP address");
        QTest::newRow("ipv6WithoutBrackets")
            << QStringLiteral("::1:9108") << QStringLiteral("::1 is not an IP address");
        QTest::newRow("ipv4InBrackets") << QStringLiteral("[127.0.0.1]:9108")
                                        << QStringLiteral("[127.0.0.1] is not an IP address");
        QTest::newRow("portZero") << QStringLiteral("127.0.0.1:0") << QStringLiteral("port 0 is not 1 to 65535");
        QTest::newRow("port65536") << QStringLiteral("127.0.0.1:65536")
                                   << QStringLiteral("port 65536 is not 1 to 65535");
    }

    void address()
    {
        QFETCH(QString, text);
        QFETCH(QString, error);
        MetricsAddress address;
        QString message;
        QCOMPARE(MetricsAddress::parse(text, address, message), error.isEmpty());
        if (error.isEmpty()) {
            QCOMPARE(address.text(), text);
        } else {
            QVERIFY2(message.contains(error), qPrintable(message));
            QVERIFY(!address.isSet());
        }
    }

    void exposition_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<bool>("present");
        const auto row = [](const char *name, const char *line, bool present = true) {
            QTest::newRow(name) << QByteArray(line) << present;
        };
        row("newestWithItsLabels",
            "talveno_signal_value{signal=\"engine speed\",interface=\"can0\",source_address=\"0x17\"} 1500\n");
        row("cachedAverage",
            "talveno_signal_average{signal=\"engine speed\",interface=\"can0\",source_address=\"0x17\"} 1200.5\n");
        row("ageInSeconds",
            "talveno_signal_age_seconds{signal=\"engine speed\",interface=\"can0\",source_address=\"0x17\"} 0.25\n");
        row("counterTyped", "# TYPE talveno_signal_not_available_values_total counter\n");
        row("counterValue",
            "talveno_signal_not_available_values_total{signal=\"engine speed\",interface=\"can0\","
            "source_address=\"0x17\"} 2\n");
        row("messageLabelNoSourceAddress",
            "talveno_signal_frames_total{signal=\"Temp\",message=\"ENGINE_1\",interface=\"can1\"} 2\n");
        row("noStatisticsWithoutSamples", "talveno_signal_value{signal=\"Temp\"", false);
        row("staleOfSignalNeverSeen", "talveno_signal_stale{signal=\"fuel rate\"} 1\n");
        row("noCountersOfSignalNeverSeen", "talveno_signal_samples_total{signal=\"fuel rate\"", false);
        row("unitsInHelp",
            "# HELP talveno_signal_median The median of the stored history, in the signal's unit: rpm for engine "
            "speed; °C for Temp; L/h for fuel rate\n");
        row("inputCounter", "talveno_input_malformed_lines_total{input=\"drive.log\"} 3\n");
        row("faultActive",
            "talveno_j1939_fault_active{interface=\"can0\",source_address=\"0x00\",spn=\"190\",fmi=\"2\"} 1\n");
        row("faultGone",
            "talveno_j1939_fault_active{interface=\"can0\",source_address=\"0x00\",spn=\"96\",fmi=\"3\"} 0\n");
        row("occurrences",
            "talveno_j1939_fault_occurrences{interface=\"can0\",source_address=\"0x00\",spn=\"190\",fmi=\"2\"} 5\n");
        row("occurrencesNotAvailableLeftOut",
            "talveno_j1939_fault_occurrences{interface=\"can0\",source_address=\"0x00\",spn=\"96\"",
            false);
        row("lampFastFlash", "talveno_j1939_lamp{interface=\"can0\",source_address=\"0x00\",lamp=\"red_stop\"} 3\n");
        row("lampNotAvailableLeftOut", "lamp=\"protect\"", false);
    }

    void exposition()
    {
        QFETCH(QByteArray, line);
        QFETCH(bool, present);
        const QByteArray text = exposedText();
        QVERIFY2(text.contains(line) == present, text.constData());
    }
};

QTEST_GUILESS_MAIN(TestMetrics)
#include "tst_metrics.moc"
