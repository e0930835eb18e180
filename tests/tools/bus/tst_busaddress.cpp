// SPDX-License-Identifier: LGPL-2.1-or-later
#include "BusAddress.h"

#include <QTest>

class TestBusAddress : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // What --bus accepts, the interface's own name, and the bus as Qt opens it, so
    // that two spellings of one bus compare equal.
    void parse_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("channel");
        QTest::addColumn<QString>("canonical");
        const auto row = [](const char *name, const char *text, const char *channel, const char *canonical) {
            QTest::newRow(name) << QString::fromLatin1(text) << QString::fromLatin1(channel)
                                << QString::fromLatin1(canonical);
        };
        row("socketcanAsGiven", "socketcan:can0", "can0", "socketcan:can0");
        row("virtualcanOnItsDefaultPort", "virtualcan:can1", "can1", "virtualcan:tcp://127.0.0.1:35468/can1");
        row("urlWithPort", "virtualcan:tcp://127.0.0.1:35470/can0", "can0", "virtualcan:tcp://127.0.0.1:35470/can0");
        row("urlWithoutPort", "virtualcan:tcp://127.0.0.1/can0", "can0", "virtualcan:tcp://127.0.0.1:35468/can0");
        row("urlWithoutHost", "virtualcan:tcp://:35470/can0", "can0", "virtualcan:tcp://127.0.0.1:35470/can0");
        row("urlIpv6", "virtualcan:tcp://[::1]:65535/can0", "can0", "virtualcan:tcp://::1:65535/can0");
    }

    void parse()
    {
        QFETCH(QString, text);
        BusAddress address;
        QString error;
        QVERIFY2(BusAddress::parse(text, address, error), qPrintable(error));
        QCOMPARE(address.text(), text);
        QTEST(address.channel(), "channel");
        QTEST(address.canonical(), "canonical");
    }

    void parse_refused_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("reason");
        const auto row = [](const char *name, const char *text, const char *reason) {
            QTest::newRow(name) << QString::fromLatin1(text) << QString::fromLatin1(reason);
        };
        row("noPlugin", "can0", "expected PLUGIN:INTERFACE");
        row("emptyPlugin", ":can0", "expected PLUGIN:INTERFACE");
        row("noInterface", "socketcan:", "expected PLUGIN:INTERFACE");
        row("schemeUdp", "virtualcan:udp://127.0.0.1:1/can0", "scheme must be tcp");
        row("urlWithoutName", "virtualcan:tcp://127.0.0.1:1", "expected tcp://HOST:PORT/NAME");
        row("hostName", "virtualcan:tcp://localhost:1/can0", "host localhost is not an IP address");
        row("port0", "virtualcan:tcp://127.0.0.1:0/can0", "port 0 is not 1 to 65535");
        row("port65536", "virtualcan:tcp://127.0.0.1:65536/can0", "port 65536 is not");
        row("portNotANumber", "virtualcan:tcp://127.0.0.1:x/can0", "port x is not");
    }

    void parse_refused()
    {
        QFETCH(QString, text);
        QFETCH(QString, reason);
        BusAddress address;
        QString error;
        QVERIFY(!BusAddress::parse(text, address, error));
        QVERIFY2(error.startsWith(QStringLiteral("--bus ") + text), qPrintable(error));
        QVERIFY2(error.contains(reason), qPrintable(error));
    }
};

QTEST_GUILESS_MAIN(TestBusAddress)
#include "tst_busaddress.moc"
