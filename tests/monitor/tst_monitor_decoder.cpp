// SPDX-License-Identifier: LGPL-2.1-or-later
#include "BuiltinSignals.h"
#include "DefinitionFile.h"
#include "Monitor.h"
#include "SignalDefinition.h"

#include <QTest>

namespace
{
CanFrame frameOf(quint32 id, const QByteArray &data, qint64 time = 0)
{
    CanFrame frame;
    frame.id = id;
    frame.extended = id > 0x7FF;
    frame.timeMicroseconds = time;
    frame.length = static_cast<quint8>(data.size());
    std::copy(data.cbegin(), data.cend(), frame.data.begin());
    return frame;
}
}

class TestMonitorDecoder : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void decode_data();
    void decode();
    void j1939Pgn_data();
    void j1939Pgn();
    void matches_j1939BySourceAddressAndIdByMask();
    void parseDefinitions_errors_data();
    void parseDefinitions_errors();
    void parseDefinitions_fields();
    void monitor_feedsScaledSamplesAndCountsNotAvailable();
};

void TestMonitorDecoder::decode_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("startBit");
    QTest::addColumn<int>("length");
    QTest::addColumn<bool>("bigEndian");
    QTest::addColumn<bool>("isSigned");
    QTest::addColumn<bool>("skipNotAvailable");
    QTest::addColumn<int>("decoding");
    QTest::addColumn<qint64>("raw");

    const QByteArray bytes = QByteArray::fromHex("F1D0CD5A1D00FFCD");
    const int sample = int(Decoding::Sample);
    QTest::newRow("little16AtByte4") << bytes << 24 << 16 << false << false << false << sample << qint64(0x1D5A);
    QTest::newRow("little12AtBit4") << QByteArray::fromHex("ABCD") << 4 << 12 << false << false << false << sample
                                    << qint64(0xCDA);
    QTest::newRow("little1BitAtBit7") << QByteArray::fromHex("80") << 7 << 1 << false << false << false << sample
                                      << qint64(1);
    QTest::newRow("little64") << QByteArray::fromHex("0102030405060708") << 0 << 64 << false << false << false << sample
                              << qint64(0x0807060504030201);
    QTest::newRow("big16FromBit7") << QByteArray::fromHex("1234") << 7 << 16 << true << false << false << sample
                                   << qint64(0x1234);
    QTest::newRow("big12FromBit3") << QByteArray::fromHex("0ABC") << 3 << 12 << true << false << false << sample
                                   << qint64(0xABC);
    QTest::newRow("signedLittle8Negative")
        << QByteArray::fromHex("FE") << 0 << 8 << false << true << false << sample << qint64(-2);
    QTest::newRow("signedLittle12Negative")
        << QByteArray::fromHex("FF0F") << 0 << 12 << false << true << false << sample << qint64(-1);
    QTest::newRow("signedBig16Positive") << QByteArray::fromHex("7FFF") << 7 << 16 << true << true << false << sample
                                         << qint64(0x7FFF);
    QTest::newRow("notAvailable16FB00") << QByteArray::fromHex("00FB") << 0 << 16 << false << false << true
                                        << int(Decoding::NotAvailable) << qint64(0);
    QTest::newRow("valid16FAFF") << QByteArray::fromHex("FFFA") << 0 << 16 << false << false << true << sample
                                 << qint64(0xFAFF);
    QTest::newRow("notAvailable8FB") << QByteArray::fromHex("FB") << 0 << 8 << false << false << true
                                     << int(Decoding::NotAvailable) << qint64(0);
    QTest::newRow("valid8FA") << QByteArray::fromHex("FA") << 0 << 8 << false << false << true << sample
                              << qint64(0xFA);
    QTest::newRow("notAvailable2BitError")
        << QByteArray::fromHex("02") << 0 << 2 << false << false << true << int(Decoding::NotAvailable) << qint64(0);
    QTest::newRow("skipOffKeepsFFFF") << QByteArray::fromHex("FFFF") << 0 << 16 << false << false << false << sample
                                      << qint64(0xFFFF);
    QTest::newRow("littleTooShort") << QByteArray::fromHex("0102") << 8 << 16 << false << false << false
                                    << int(Decoding::TooShort) << qint64(0);
    QTest::newRow("bigTooShort") << QByteArray::fromHex("0102") << 15 << 16 << true << false << false
                                 << int(Decoding::TooShort) << qint64(0);
}

void TestMonitorDecoder::decode()
{
    QFETCH(QByteArray, data);
    QFETCH(int, startBit);
    QFETCH(int, length);
    QFETCH(bool, bigEndian);
    QFETCH(bool, isSigned);
    QFETCH(bool, skipNotAvailable);
    QFETCH(int, decoding);
    SignalDefinition signal;
    signal.startBit = startBit;
    signal.length = length;
    signal.byteOrder = bigEndian ? SignalDefinition::ByteOrder::BigEndian : SignalDefinition::ByteOrder::LittleEndian;
    signal.isSigned = isSigned;
    signal.skipNotAvailable = skipNotAvailable;
    qint64 raw = 0;
    QCOMPARE(int(::decode(signal, frameOf(0x123, data), raw)), decoding);
    if (decoding == int(Decoding::Sample)) {
        QTEST(raw, "raw");
    }
}

void TestMonitorDecoder::j1939Pgn_data()
{
    QTest::addColumn<quint32>("id");
    QTest::addColumn<quint32>("pgn");
    QTest::newRow("eec1Broadcast") << 0x0CF00400u << 61444u;
    QTest::newRow("ccvs1Broadcast") << 0x18FEF117u << 65265u;
    QTest::newRow("pdu1DropsDestination") << 0x18EF1203u << 0xEF00u;
    QTest::newRow("dataPageKept") << 0x19FEF100u << 0x1FEF1u;
}

void TestMonitorDecoder::j1939Pgn()
{
    QFETCH(quint32, id);
    QTEST(::j1939Pgn(id), "pgn");
}

void TestMonitorDecoder::matches_j1939BySourceAddressAndIdByMask()
{
    const SignalDefinition engine = builtinSignals(0x00).first();
    QVERIFY(matches(engine, frameOf(0x0CF00400, QByteArray(8, '\0'))));
    QVERIFY(matches(engine, frameOf(0x18F00400, QByteArray(8, '\0')))); // priority does not count
    QVERIFY(!matches(engine, frameOf(0x0CF00401, QByteArray(8, '\0'))));
    QVERIFY(matches(builtinSignals(0x01).first(), frameOf(0x0CF00401, QByteArray(8, '\0'))));

    SignalDefinition byMask;
    byMask.extended = false;
    byMask.id = 0x120;
    byMask.mask = 0x7F0;
    QVERIFY(matches(byMask, frameOf(0x12F, QByteArray(1, '\0'))));
    QVERIFY(!matches(byMask, frameOf(0x130, QByteArray(1, '\0'))));
    CanFrame extended = frameOf(0x12F, QByteArray(1, '\0'));
    extended.extended = true;
    QVERIFY(!matches(byMask, extended));
}

void TestMonitorDecoder::parseDefinitions_errors_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("reason");
    QTest::newRow("notJson") << QByteArray("{") << QStringLiteral("not valid JSON");
    QTest::newRow("noSignalsArray") << QByteArray("{}") << QStringLiteral("\"signals\"");
    QTest::newRow("noName") << QByteArray(R"({"signals":[{"id":1}]})") << QStringLiteral("\"name\"");
    QTest::newRow("noAddress") << QByteArray(R"({"signals":[{"name":"a"}]})") << QStringLiteral("needs \"pgn\"");
    QTest::newRow("length65") << QByteArray(R"({"signals":[{"name":"a","id":1,"length":65}]})")
                              << QStringLiteral("\"length\"");
    QTest::newRow("byteOrderSideways") << QByteArray(R"({"signals":[{"name":"a","id":1,"byteOrder":"middle"}]})")
                                       << QStringLiteral("\"byteOrder\"");
    QTest::newRow("dataTypeString9") << QByteArray(R"({"signals":[{"name":"a","id":1,"dataType":9}]})")
                                     << QStringLiteral("numeric type");
    QTest::newRow("pgnPdu1WithLowByte") << QByteArray(R"({"signals":[{"name":"a","pgn":"0xEF12"}]})")
                                        << QStringLiteral("pgn");
    QTest::newRow("secondSignalNamed") << QByteArray(R"({"signals":[{"name":"a","id":1},{"name":"b","id":"x"}]})")
                                       << QStringLiteral("signal 2 (b): \"id\"");
}

void TestMonitorDecoder::parseDefinitions_errors()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, reason);
    QVector<SignalDefinition> definitions;
    QString error;
    QVERIFY(!parseDefinitions(json, definitions, error));
    QVERIFY2(error.contains(reason), qPrintable(error));
}

void TestMonitorDecoder::parseDefinitions_fields()
{
    const QByteArray json = R"({"signals":[
        {"name":"torque","unit":"Nm","id":"0x1A0","mask":"0x7F0","startBit":15,"length":12,"byteOrder":"big",
         "signed":true,"factor":0.5,"offset":-10,"dataType":"Integer16"},
        {"name":"retarder","pgn":61440,"sourceAddress":"0x29","startBit":8,"length":8}]})";
    QVector<SignalDefinition> definitions;
    QString error;
    QVERIFY2(parseDefinitions(json, definitions, error), qPrintable(error));
    QCOMPARE(definitions.size(), 2);
    const SignalDefinition &torque = definitions.at(0);
    QCOMPARE(torque.unit, QStringLiteral("Nm"));
    QVERIFY(!torque.j1939 && !torque.extended && torque.id == 0x1A0 && torque.mask == 0x7F0);
    QVERIFY(torque.startBit == 15 && torque.length == 12 && torque.isSigned);
    QVERIFY(torque.byteOrder == SignalDefinition::ByteOrder::BigEndian);
    QVERIFY(torque.factor == 0.5 && torque.offset == -10.0 && torque.dataType == CAN::Integer16);
    QVERIFY(!torque.skipNotAvailable);
    const SignalDefinition &retarder = definitions.at(1);
    QVERIFY(retarder.j1939 && retarder.pgn == 61440 && retarder.sourceAddress == 0x29 && retarder.skipNotAvailable);
    QVERIFY(retarder.dataType == CAN::Real64 && retarder.factor == 1.0);
}

void TestMonitorDecoder::monitor_feedsScaledSamplesAndCountsNotAvailable()
{
    GenericSignal::setMaxValueCount(0);
    Monitor monitor(builtinSignals(), 2.0);
    // Engine speed 0x1D5A * 0.125 = 939.25 rpm, then not available, then 0x2000 * 0.125 = 1024 rpm.
    monitor.processFrame(frameOf(0x0CF00400, QByteArray::fromHex("F1D0CD5A1D00FFCD"), 1000000));
    monitor.processFrame(frameOf(0x0CF00400, QByteArray::fromHex("F1D0CDFFFF00FFCD"), 1010000));
    monitor.processFrame(frameOf(0x0CF00400, QByteArray::fromHex("F1D0CD0020000000"), 1020000));
    monitor.processFrame(frameOf(0x18FEEE00, QByteArray::fromHex("7BFFFFFFFFFFFFFF"), 1030000)); // 83 degC
    monitor.processFrame(frameOf(0x18FEEE03, QByteArray::fromHex("00FFFFFFFFFFFFFF"), 1040000)); // other sender

    QCOMPARE(monitor.frameCount(), quint64(5));
    QVERIFY(monitor.lastLogSeconds() == 0.04);
    const QVector<SignalSnapshot> states = monitor.snapshot();
    const SignalSnapshot &engine = states.at(0);
    QCOMPARE(engine.decodedSamples, quint64(2));
    QCOMPARE(engine.notAvailableSamples, quint64(1));
    QCOMPARE(engine.storedSamples, 2);
    QVERIFY(engine.newest == 1024.0);
    QVERIFY(engine.minimum == 939.25 && engine.maximum == 1024.0);
    QVERIFY(engine.liveAverage == (939.25 + 1024.0) / 2);
    QVERIFY(engine.cachedAverage == engine.liveAverage);
    QVERIFY(engine.deviation == (1024.0 - 939.25) / 2);
    const SignalSnapshot &coolant = states.at(2);
    QCOMPARE(coolant.decodedSamples, quint64(1));
    QVERIFY(coolant.newest == 83.0);
    QCOMPARE(states.at(1).decodedSamples, quint64(0));

    const QVector<SignalSeries> series = monitor.series();
    QCOMPARE(series.at(0).samples, (QVector<QPointF>{{0.0, 939.25}, {0.02, 1024.0}}));
    GenericSignal::setMaxValueCount(1000);
}

QTEST_GUILESS_MAIN(TestMonitorDecoder)
#include "tst_monitor_decoder.moc"
