// SPDX-License-Identifier: LGPL-2.1-or-later
#include "BuiltinSignals.h"
#include "Monitor.h"
#include "RouteTable.h"
#include "SignalDecoding.h"
#include "TestSupport.h"
#include "j1939/J1939Script.h"

#include <QSemaphore>
#include <QTest>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>

Q_DECLARE_METATYPE(SignalDefinition)

namespace
{
CanFrame frameOf(quint32 id, const QByteArray &data = QByteArray(8, '\0'), qint64 time = 0, quint16 interface = 0)
{
    CanFrame frame;
    frame.id = id;
    frame.extended = id > 0x7FF;
    frame.timeMicroseconds = time;
    frame.interfaceIndex = interface;
    frame.length = static_cast<quint8>(data.size());
    std::copy(data.cbegin(), data.cend(), frame.data.begin());
    return frame;
}
}

class TestEngine : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void decode_data()
    {
        QTest::addColumn<SignalDefinition>("signal");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<qint64>("raw");
        QTest::addColumn<int>("decoding");
        // flags: b big-endian, s signed, n skip not available. d left out: Decoding::Sample.
        const auto row =
            [](const char *name, const char *hex, int bit, int length, const char *flags, qint64 raw, Decoding d = {}) {
                SignalDefinition signal;
                signal.startBit = bit;
                signal.length = length;
                signal.byteOrder = std::strchr(flags, 'b') ? SignalDefinition::ByteOrder::BigEndian
                                                           : SignalDefinition::ByteOrder::LittleEndian;
                signal.isSigned = std::strchr(flags, 's');
                signal.skipNotAvailable = std::strchr(flags, 'n');
                QTest::newRow(name) << signal << QByteArray::fromHex(hex) << raw << int(d);
            };
        row("little16AtByte4", "F1D0CD5A1D00FFCD", 24, 16, "", 0x1D5A);
        row("little12AtBit4", "ABCD", 4, 12, "", 0xCDA);
        row("little64", "0102030405060708", 0, 64, "", 0x0807060504030201);
        row("little64AtBit4SpansNineBytes",
            "F123456789ABCDEF5A000000",
            4,
            64,
            "",
            static_cast<qint64>(0xAEFCDAB89674523Full));
        row("big16FromBit7", "1234", 7, 16, "b", 0x1234);
        row("big12FromBit3", "0ABC", 3, 12, "b", 0xABC);
        row("signedLittle12Negative", "FF0F", 0, 12, "s", -1);
        row("signedBig16Positive", "7FFF", 7, 16, "bs", 0x7FFF);
        row("reserved16FB00", "00FB", 0, 16, "n", 0, Decoding::NotAvailable);
        row("error16FE01", "01FE", 0, 16, "n", 0, Decoding::Error);
        row("valid16FAFF", "FFFA", 0, 16, "n", 0xFAFF);
        row("notAvailable8FB", "FB", 0, 8, "n", 0, Decoding::NotAvailable);
        row("valid8FA", "FA", 0, 8, "n", 0xFA);
        row("error2Bit", "02", 0, 2, "n", 0, Decoding::Error);
        row("notAvailable2Bit", "03", 0, 2, "n", 0, Decoding::NotAvailable);
        row("skipOffKeepsFFFF", "FFFF", 0, 16, "", 0xFFFF);
        row("littleTooShort", "0102", 8, 16, "", 0, Decoding::TooShort);
        row("bigTooShort", "0102", 15, 16, "b", 0, Decoding::TooShort);
    }

    void decode()
    {
        QFETCH(SignalDefinition, signal);
        QFETCH(QByteArray, data);
        QFETCH(int, decoding);
        qint64 raw = 0;
        QCOMPARE(int(::decode(signal, frameOf(0x123, data), raw)), decoding);
        if (decoding == int(Decoding::Sample)) {
            QTEST(raw, "raw");
        }
    }

    void j1939Pgn_data()
    {
        QTest::addColumn<quint32>("id");
        QTest::addColumn<quint32>("pgn");
        QTest::newRow("eec1Broadcast") << 0x0CF00400u << 61444u;
        QTest::newRow("ccvs1Broadcast") << 0x18FEF117u << 65265u;
        QTest::newRow("pdu1DropsDestination") << 0x18EF1203u << 0xEF00u;
        QTest::newRow("dataPageKept") << 0x19FEF100u << 0x1FEF1u;
    }

    void j1939Pgn()
    {
        QFETCH(quint32, id);
        QTEST(::j1939Pgn(id), "pgn");
    }

    void matches_j1939BySourceAddressAndIdByMask()
    {
        const SignalDefinition engine = builtinSignals(0x00).first();
        QVERIFY(matches(engine, frameOf(0x0CF00400)));
        QVERIFY(matches(engine, frameOf(0x18F00400))); // priority does not count
        QVERIFY(!matches(engine, frameOf(0x0CF00401)));
        QVERIFY(matches(builtinSignals(0x01).first(), frameOf(0x0CF00401)));

        SignalDefinition byMask;
        byMask.extended = false;
        byMask.id = 0x120;
        byMask.mask = 0x7F0;
        QVERIFY(matches(byMask, frameOf(0x12F)));
        QVERIFY(!matches(byMask, frameOf(0x130)));
        CanFrame extended = frameOf(0x12F);
        extended.extended = true;
        QVERIFY(!matches(byMask, extended));
    }

    // Enough identifiers to grow the table several times and to collide; every
    // third one feeds nothing and shares the empty route.
    void routeTable_keepsEveryRoute()
    {
        RouteTable<QVector<int>> table;
        const auto key = [](int i) {
            return quint64(0x18F00000 + i * 0x100) | quint64(i % 3) << 32;
        };
        const auto expected = [](int i) {
            return i % 3 == 1 ? QVector<int>() : QVector<int>({i, -i});
        };
        for (int i = 0; i < 500; ++i) {
            QCOMPARE(table.find(key(i)), nullptr);
            const QVector<int> &stored = i % 3 == 1 ? table.insertEmpty(key(i)) : table.insert(key(i), expected(i));
            QCOMPARE(stored, expected(i));
            QCOMPARE(table.isEmpty(stored), i % 3 == 1);
        }
        for (int i = 0; i < 500; ++i) {
            const QVector<int> *route = table.find(key(i));
            QVERIFY2(route, qPrintable(QString::number(i)));
            QVERIFY2(*route == expected(i), qPrintable(QString::number(i)));
            QVERIFY2(table.isEmpty(*route) == (i % 3 == 1), qPrintable(QString::number(i)));
        }
        QCOMPARE(table.find(key(500)), nullptr);
    }

    void monitor_feedsScaledSamplesAndCountsNotAvailable()
    {
        const TestSupport::Capacity every(0);
        InterfaceNames interfaces;
        interfaces.index(QStringLiteral("can0"));
        Monitor monitor(builtinSignals(), interfaces, RunSettings());
        // Engine speed 0x1D5A * 0.125 = 939.25 rpm, then not available, then 0x2000 * 0.125 = 1024 rpm.
        for (const char *hex : {"F1D0CD5A1D00FFCD", "F1D0CDFFFF00FFCD", "F1D0CD0020000000"}) {
            monitor.processFrame(frameOf(0x0CF00400, QByteArray::fromHex(hex), 1000000 + monitor.frameCount() * 10000));
        }
        monitor.processFrame(frameOf(0x18FEEE00, QByteArray::fromHex("7BFFFFFFFFFFFFFF"), 1030000)); // 83 degC
        monitor.processFrame(frameOf(0x18FEEE03, QByteArray::fromHex("00FFFFFFFFFFFFFF"), 1040000)); // other sender

        QCOMPARE(monitor.frameCount(), quint64(5));
        QVERIFY(monitor.lastLogSeconds() == 0.04);
        const QVector<SignalSnapshot> states = monitor.snapshot();
        const SignalSnapshot &engine = states.at(0);
        QVERIFY(engine.interfaceName == QStringLiteral("can0"));
        QVERIFY(engine.origin.isEmpty()); // one interface: plain
        QVERIFY(engine.decodedSamples == 2);
        QVERIFY(engine.notAvailableSamples == 1);
        QVERIFY(engine.storedSamples == 2);
        QVERIFY(engine.newest == 1024.0);
        QVERIFY(engine.minimum == 939.25);
        QVERIFY(engine.maximum == 1024.0);
        QVERIFY(engine.liveAverage == 981.625);
        QVERIFY(engine.cachedAverage == 981.625);
        QVERIFY(engine.deviation == 42.375);
        QVERIFY(states.at(2).decodedSamples == 1);
        QVERIFY(states.at(2).newest == 83.0);
        QVERIFY(states.at(1).decodedSamples == 0);
        const QVector<SignalSeries> series = monitor.series();
        QCOMPARE(series.at(0).samples, (QVector<QPointF>{{0.0, 939.25}, {0.02, 1024.0}}));
    }

    // The raw value goes to the library as the type it reads for the data type:
    // a 64-bit real as the number itself, whatever the bits' encoding and sign.
    void monitor_scalesRawValuesByDataType_data()
    {
        QTest::addColumn<int>("encoding");
        QTest::addColumn<bool>("isSigned");
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("dataType");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<double>("newest");
        const auto integer = int(SignalDefinition::Encoding::Integer);
        const auto float32 = int(SignalDefinition::Encoding::Float32);
        QTest::newRow("unsigned64AsReal64") << integer << false << 64 << int(CAN::Real64)
                                            << QByteArray::fromHex("F0FFFFFFFFFFFFFF") << 36893488147419103200.0;
        QTest::newRow("signed16AsReal64")
            << integer << true << 16 << int(CAN::Real64) << QByteArray::fromHex("38FF000000000000") << -400.0;
        QTest::newRow("signed16AsInteger32")
            << integer << true << 16 << int(CAN::Integer32) << QByteArray::fromHex("38FF000000000000") << -400.0;
        QTest::newRow("float32AsReal64") << float32 << false << 32 << int(CAN::Real64)
                                         << QByteArray::fromHex("0000C03F00000000") << 3.0;
        QTest::newRow("float32AsReal32") << float32 << false << 32 << int(CAN::Real32)
                                         << QByteArray::fromHex("0000C03F00000000") << 3.0;
    }

    void monitor_scalesRawValuesByDataType()
    {
        QFETCH(int, encoding);
        QFETCH(bool, isSigned);
        QFETCH(int, length);
        QFETCH(int, dataType);
        QFETCH(QByteArray, data);
        QFETCH(double, newest);
        SignalDefinition definition;
        definition.name = QStringLiteral("raw");
        definition.id = 0x123;
        definition.mask = 0x7FF;
        definition.extended = false;
        definition.length = length;
        definition.isSigned = isSigned;
        definition.encoding = static_cast<SignalDefinition::Encoding>(encoding);
        definition.dataType = static_cast<CAN::CANopenDataType>(dataType);
        definition.factor = 2.0;
        InterfaceNames interfaces;
        interfaces.index(QStringLiteral("can0"));
        Monitor monitor({definition}, interfaces, RunSettings());
        monitor.processFrame(frameOf(0x123, data));
        const SignalSnapshot state = monitor.snapshot().at(0);
        QCOMPARE(state.decodedSamples, quint64(1));
        QVERIFY2(state.newest == newest, qPrintable(QString::number(state.newest, 'g', 17)));
    }

    void monitor_keepsSendersAndInterfacesApart()
    {
        QVector<SignalDefinition> definitions = builtinSignals();
        definitions[2].anySourceAddress = true; // coolant temperature from every sender
        InterfaceNames interfaces;
        const quint16 can0 = interfaces.index(QStringLiteral("can0"));
        const quint16 can1 = interfaces.index(QStringLiteral("can1"));
        RunSettings settings;
        settings.staleAfter = 0.5;
        Monitor monitor(definitions, interfaces, settings);
        const auto feed = [&monitor](quint32 id, quint16 interface, int celsius, qint64 time) {
            monitor.processFrame(frameOf(id, char(celsius + 40) + QByteArray(7, char(0xFF)), time, interface));
        };
        feed(0x18FEEE03, can1, 90, 0);
        feed(0x18FEEE00, can0, 80, 100000);
        feed(0x18FEEE03, can0, 70, 200000);
        feed(0x18FEEE00, can0, 82, 1000000);
        QStringList seen;
        for (const SignalSnapshot &s : monitor.snapshot()) {
            if (s.name.startsWith(QLatin1String("coolant"))) {
                seen.append(
                    QStringLiteral("%1 %2 %3 %4").arg(s.origin).arg(s.decodedSamples).arg(s.newest).arg(s.stale));
            }
        }
        // Ordered by interface as first seen, then source address; stale in log time.
        QCOMPARE(seen,
                 QStringList({QStringLiteral("can0, SA 0x00 2 82 0"),
                              QStringLiteral("can0, SA 0x03 1 70 1"),
                              QStringLiteral("can1, SA 0x03 1 90 1")}));
    }

    // A group of the transport protocol feeds its signals from the whole payload;
    // a frame of the same group too short for them counts as such.
    void monitor_decodesReassembledGroups()
    {
        QVector<SignalDefinition> definitions = builtinSignals();
        SignalDefinition late;
        late.name = QStringLiteral("bytes 20 and 21");
        late.j1939 = true;
        late.pgn = 65251;
        late.startBit = 19 * 8;
        late.length = 16;
        late.frameLength = 34;
        definitions.append(late);
        InterfaceNames interfaces;
        interfaces.index(QStringLiteral("can0"));
        Monitor monitor(definitions, interfaces, RunSettings());
        J1939Script s;
        s.frame(0x18FEE300, QByteArray(8, char(1))).bam(34).packets(1, 5).dm1(0x00, "40FFBE000305FFFF");
        for (const CanFrame &frame : std::as_const(s.frames)) {
            monitor.processFrame(frame);
        }
        const SignalSnapshot group = monitor.snapshot().last();
        QCOMPARE(group.decodedSamples, quint64(1));
        QVERIFY(group.newest == messageByte(19) + 256.0 * messageByte(20));
        QCOMPARE(group.tooShortFrames, quint64(1));
        const J1939Diagnostics diagnostics = monitor.diagnostics();
        QCOMPARE(diagnostics.transport.completed, quint64(1));
        QCOMPARE(diagnostics.faults.size(), 1);
        QCOMPARE(diagnostics.faults[0].spn, 190u);
        QCOMPARE(diagnostics.faults[0].spnName, QStringLiteral("engine speed (SPN 190)"));
    }

    void monitor_medianAndOutsideOfTheHistory_data()
    {
        QTest::addColumn<int>("dataType");
        QTest::addColumn<bool>("againstRange");
        QTest::newRow("real64Band") << int(CAN::Real64) << false;
        QTest::newRow("real64Range") << int(CAN::Real64) << true;
        QTest::newRow("integer32Band") << int(CAN::Integer32) << false;
    }

    // Snapshots one after another as the history moves, its median away from the
    // last one's and back: each one's median and outside count are its history's.
    void monitor_medianAndOutsideOfTheHistory()
    {
        QFETCH(int, dataType);
        QFETCH(bool, againstRange);
        const TestSupport::Capacity capacity(20);
        QVector<SignalDefinition> definitions = builtinSignals();
        SignalDefinition &engineSpeed = definitions[0];
        engineSpeed.dataType = static_cast<CAN::CANopenDataType>(dataType);
        engineSpeed.rateAgainstRange = againstRange;
        engineSpeed.minimum = 1200.0;
        engineSpeed.maximum = 2400.0;
        InterfaceNames interfaces;
        interfaces.index(QStringLiteral("can0"));
        Monitor monitor(definitions, interfaces, RunSettings());
        const int rpm[] = {800, 1200, 1200, 1600, 2400, 4000, 1200, 1200, 1600, 2400, 2400, 2400, 2400, 3200, 900};
        for (int i = 0; i < 200; ++i) {
            const int raw = rpm[i * 7 % 15] * (i < 100 || i > 150 ? 8 : 9);
            monitor.processFrame(
                frameOf(0x0CF00400,
                        QByteArray::fromHex("F1D0CD")
                            + QByteArray::fromHex(QByteArray::number(raw & 0xFF, 16).rightJustified(2, '0'))
                            + char(raw >> 8) + QByteArray::fromHex("00FFCD"),
                        i * 10000));
            if (i % 9 != 0) {
                continue;
            }
            const SignalSnapshot s = monitor.snapshot().at(0);
            const QVector<SignalSeries> series = monitor.series();
            std::vector<double> history;
            for (const QPointF &point : series.at(0).samples) {
                history.push_back(point.y());
            }
            std::sort(history.begin(), history.end());
            const std::size_t n = history.size();
            const double median = n % 2 != 0 ? history[n / 2] : history[n / 2 - 1] / 2.0 + history[n / 2] / 2.0;
            const auto outside = std::count_if(history.cbegin(), history.cend(), [&s](double value) {
                return value < s.lowerThreshold || value > s.upperThreshold;
            });
            QVERIFY2(s.median == median, qPrintable(QStringLiteral("%1: %2, not %3").arg(i).arg(s.median).arg(median)));
            QCOMPARE(s.outsideBand, int(outside));
            QCOMPARE(s.storedSamples, int(n));
        }
    }

    // Snapshots taken on another thread while frames bring new interfaces, senders
    // and signals: each signal in them whole, and all of them in the last one.
    void monitor_snapshotsWhileFramesComeIn()
    {
        QVector<SignalDefinition> definitions = builtinSignals();
        for (SignalDefinition &definition : definitions) {
            definition.anySourceAddress = true;
        }
        InterfaceNames interfaces;
        Monitor monitor(definitions, interfaces, RunSettings());
        constexpr int senders = 200;
        constexpr int buses = 3;
        QSemaphore halfway;
        QSemaphore snapshotTaken;
        std::atomic<bool> done{false};
        std::thread intake([&] {
            for (int sender = 0; sender < senders; ++sender) {
                if (sender == senders / 2) {
                    halfway.release();
                    snapshotTaken.acquire();
                }
                for (int bus = 0; bus < buses; ++bus) {
                    const quint16 index = interfaces.index(QStringLiteral("can%1").arg(bus));
                    const qint64 time = (sender * buses + bus) * 1000;
                    monitor.processFrame(
                        frameOf(0x0CF00400 | quint32(sender), QByteArray::fromHex("F1D0CD5A1D00FFCD"), time, index));
                    monitor.processFrame(
                        frameOf(0x18FEEE00 | quint32(sender), QByteArray::fromHex("7BFFFFFFFFFFFFFF"), time, index));
                }
            }
            done = true;
        });
        halfway.acquire();
        int torn = 0;
        for (bool first = true; first || !done; first = false) {
            for (const SignalSnapshot &s : monitor.snapshot()) {
                torn += s.decodedSamples > 0 && (s.interfaceName.isEmpty() || s.storedSamples < 1 || s.frames < 1);
            }
            if (first) {
                snapshotTaken.release();
            }
        }
        intake.join();
        QCOMPARE(torn, 0);
        int fed = 0;
        for (const SignalSnapshot &s : monitor.snapshot()) {
            fed += s.decodedSamples == 1 && s.frames == 1;
        }
        QCOMPARE(fed, 2 * senders * buses);
    }
};

QTEST_GUILESS_MAIN(TestEngine)
#include "tst_engine.moc"
