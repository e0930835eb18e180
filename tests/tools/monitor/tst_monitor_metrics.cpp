// SPDX-License-Identifier: LGPL-2.1-or-later
// The monitor's metrics endpoint against clients that misbehave: the frames go
// on coming in, the monitor stays up, and a stop still brings the report.
#include "ToolTestSupport.h"

#include <QElapsedTimer>
#include <QTcpServer>

#include <memory>
#include <vector>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace
{
quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

QByteArray request(const char *method, const char *path)
{
    return QByteArray(method) + ' ' + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
}

// A client on a plain socket, whose receive buffer can be made small before it
// connects; closed with the object.
class Client
{
public:
    Client(quint16 port, int receiveBuffer = 0)
        : fd(::socket(AF_INET, SOCK_STREAM, 0))
    {
        if (receiveBuffer > 0) {
            ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof(receiveBuffer));
        }
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected = ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof(address)) == 0;
    }
    ~Client()
    {
        ::close(fd);
    }
    Client(const Client &) = delete;
    Client &operator=(const Client &) = delete;

    bool send(const QByteArray &bytes)
    {
        return connected
            && ::send(fd, bytes.constData(), static_cast<size_t>(bytes.size()), MSG_NOSIGNAL) == bytes.size();
    }
    // The answer up to its end, or what came within ten seconds.
    QByteArray answer(qsizetype atMost = -1)
    {
        const timeval wait{10, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof(wait));
        QByteArray bytes;
        char buffer[65536];
        for (ssize_t got; (atMost < 0 || bytes.size() < atMost) && (got = ::recv(fd, buffer, sizeof(buffer), 0)) > 0;) {
            bytes.append(buffer, static_cast<int>(got));
        }
        return bytes;
    }
    // "200" of "HTTP/1.1 200 OK", or 0 without an answer.
    int status()
    {
        const QList<QByteArray> words = answer().split(' ');
        return words.size() > 1 ? words.at(1).toInt() : 0;
    }

private:
    const int fd;
    bool connected = false;
};

// A whole answer to a scrape.
QByteArray scraped(quint16 port)
{
    Client client(port);
    return client.send(request("GET", "/metrics")) ? client.answer() : QByteArray();
}

// The monitor reading standard input with the metrics at port, once it serves
// them. Its server listens before the metrics are in place, and answers 404 in
// between: a connection alone does not tell that it serves them.
void startMonitor(QProcess &monitor, quint16 port, const QString &options = QString())
{
    start(monitor, MONITOR_BINARY, QStringLiteral("- --format json --metrics 127.0.0.1:%1 ").arg(port) + options);
    QTRY_VERIFY_WITH_TIMEOUT(scraped(port).startsWith("HTTP/1.1 200"), 10000);
}

// Why a client got another answer than expected, as far as the monitor tells:
// whether it still runs, and what it wrote to standard error (a sanitizer's
// report, say), which the test would otherwise never show.
QString unexpectedAnswer(QProcess &monitor, std::size_t client, int status)
{
    QString state = QStringLiteral("still runs");
    if (monitor.waitForFinished(1000)) {
        state = monitor.exitStatus() == QProcess::CrashExit ? QStringLiteral("crashed")
                                                            : QStringLiteral("ended with %1").arg(monitor.exitCode());
    }
    return QStringLiteral("client %1 got status %2; the monitor %3; its standard error: %4")
        .arg(client)
        .arg(status)
        .arg(state, QString::fromLocal8Bit(monitor.readAllStandardError()));
}

QByteArray sampleLog()
{
    QFile log(QStringLiteral(SAMPLE_LOG));
    return log.open(QIODevice::ReadOnly) ? log.readAll() : QByteArray();
}

// Engine speed from every source address on each of six parameter groups'
// identifiers: with --source-address all, 1,536 signals, an answer of megabytes.
QByteArray manySenders()
{
    QByteArray log;
    for (const char *group : {"0CF004", "0CF003", "18FEF1", "18FEEE", "18FEEF", "18FEF2"}) {
        for (int sender = 0; sender < 256; ++sender) {
            log += "(0.000000) can0 " + QByteArray(group) + QByteArray::number(sender, 16).rightJustified(2, '0')
                + "#F1D0CD5A1D00FFCD\n";
        }
    }
    return log;
}
}

class TestMonitorMetrics : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Found before anything is read: no report, the log untouched.
    void portInUse_endsTheRunBeforeAnyFrame()
    {
        QTcpServer taken;
        QVERIFY(taken.listen(QHostAddress::LocalHost, 0));
        const Run run = runMonitor(QStringLiteral("- --metrics 127.0.0.1:%1").arg(taken.serverPort()), sampleLog());
        QCOMPARE(run.exitCode, 5);
        QVERIFY2(run.err.contains("cannot serve metrics at 127.0.0.1:" + QByteArray::number(taken.serverPort())),
                 run.err.constData());
        QVERIFY(run.out.isEmpty());
    }

    void badClients_neverStallTheIntake_data()
    {
        QTest::addColumn<int>("clients");
        QTest::addColumn<QByteArrayList>("requests");
        QTest::addColumn<int>("receiveBuffer");
        QTest::addColumn<bool>("served");
        const QByteArray scrape = request("GET", "/metrics");
        QTest::newRow("silentClients") << 20 << QByteArrayList{QByteArray()} << 0 << false;
        QTest::newRow("slowReaders") << 20 << QByteArrayList{scrape} << 1024 << false;
        QTest::newRow("twoHundredAtOnce") << 200 << QByteArrayList{scrape} << 0 << true;
        QTest::newRow("otherPaths") << 1
                                    << QByteArrayList{request("GET", "/"),
                                                      request("GET", "/metricsx"),
                                                      request("GET", "/../../etc/passwd"),
                                                      request("POST", "/metrics"),
                                                      QByteArray("\x01\x02 not http\r\n\r\n")}
                                    << 0 << false;
    }

    // The clients hold their connections while the whole log goes in, and get
    // their answers while the run lasts; the run ends as soon as its input does,
    // having read every frame.
    void badClients_neverStallTheIntake()
    {
        QFETCH(int, clients);
        QFETCH(QByteArrayList, requests);
        QFETCH(int, receiveBuffer);
        QFETCH(bool, served);
        const quint16 port = freePort();
        QProcess monitor;
        startMonitor(monitor, port);
        std::vector<std::unique_ptr<Client>> held;
        for (int i = 0; i < clients; ++i) {
            for (const QByteArray &bytes : requests) {
                held.push_back(std::make_unique<Client>(port, receiveBuffer));
                QVERIFY(bytes.isEmpty() || held.back()->send(bytes));
            }
        }
        QElapsedTimer timer;
        timer.start();
        monitor.write(sampleLog());
        if (served || requests.size() > 1) {
            for (std::size_t i = 0; i < held.size(); ++i) {
                const int status = held[i]->status();
                if ((status == 200) != served) {
                    QFAIL(qPrintable(unexpectedAnswer(monitor, i, status)));
                }
            }
        }
        monitor.closeWriteChannel();
        QCOMPARE(stop(monitor), 0);
        QVERIFY2(timer.elapsed() < 15000, qPrintable(QString::number(timer.elapsed())));
        QCOMPARE(finalReport(monitor.readAllStandardOutput()).value(QLatin1String("frames")).toInt(), 2260);
    }

    void stop_whileAScrapeIsInFlight_data()
    {
        QTest::addColumn<int>("signalNumber");
        QTest::addColumn<QString>("ending");
        QTest::newRow("sigint") << int(SIGINT) << QStringLiteral("SIGINT");
        QTest::newRow("sigterm") << int(SIGTERM) << QStringLiteral("SIGTERM");
    }

    // A reader that takes the head of a long answer and no more holds the scrape
    // in the middle of sending it.
    void stop_whileAScrapeIsInFlight()
    {
        QFETCH(int, signalNumber);
        const quint16 port = freePort();
        QProcess monitor;
        startMonitor(monitor, port, QStringLiteral("--source-address all"));
        const QByteArray log = manySenders();
        monitor.write(log);
        QTRY_VERIFY(monitor.bytesToWrite() == 0);
        const QByteArray allRead = "talveno_input_frames_total{input=\"-\"} " + QByteArray::number(log.count('\n'));
        QTRY_VERIFY_WITH_TIMEOUT(scraped(port).contains(allRead), 20000);
        // Connected only now: a client silent for longer than the request timeout is dropped.
        Client reader(port, 1024);
        QVERIFY(reader.send(request("GET", "/metrics")));
        QVERIFY(reader.answer(4096).startsWith("HTTP/1.1 200"));
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(stop(monitor, signalNumber), 0);
        QVERIFY2(timer.elapsed() < 10000, qPrintable(QString::number(timer.elapsed())));
        const QJsonObject report = finalReport(monitor.readAllStandardOutput());
        QTEST(report.value(QLatin1String("ending")).toString(), "ending");
        QCOMPARE(report.value(QLatin1String("frames")).toInt(), log.count('\n'));
    }
};

QTEST_GUILESS_MAIN(TestMonitorMetrics)
#include "tst_monitor_metrics.moc"
