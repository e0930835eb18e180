// SPDX-License-Identifier: LGPL-2.1-or-later
#include "LogParser.h"
#include "LogReader.h"

#include <QBuffer>
#include <QTest>

#include <cstring>

class TestMonitorParser : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parseLogLine_frames_data();
    void parseLogLine_frames();
    void parseLogLine_malformed_data();
    void parseLogLine_malformed();
    void parseLogLine_blank();
    void logReader_countsLinesAndSkipsOverlong();
};

void TestMonitorParser::parseLogLine_frames_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<qint64>("time");
    QTest::addColumn<quint32>("id");
    QTest::addColumn<bool>("extended");
    QTest::addColumn<bool>("remote");
    QTest::addColumn<QByteArray>("data");

    QTest::newRow("compactAbsolute29Bit")
        << QByteArray("(1553794338.007083) can0 0CF00400#F1D0CD5A1D00FFCD\n") << qint64(1553794338007083) << 0x0CF00400u
        << true << false << QByteArray::fromHex("F1D0CD5A1D00FFCD");
    QTest::newRow("compactRelative11Bit") << QByteArray("(000.017118) vcan1 123#01ab7F") << qint64(17118) << 0x123u
                                          << false << false << QByteArray::fromHex("01AB7F");
    QTest::newRow("compactNoData") << QByteArray("(1.5) can0 7FF#\r\n") << qint64(1500000) << 0x7FFu << false << false
                                   << QByteArray();
    QTest::newRow("compactNanosecondsCut") << QByteArray("(2.123456789) can0 1FFFFFFF#00") << qint64(2123456)
                                           << 0x1FFFFFFFu << true << false << QByteArray(1, '\0');
    QTest::newRow("compactRemote") << QByteArray("(0.000001) can0 456#R") << qint64(1) << 0x456u << false << true
                                   << QByteArray();
    QTest::newRow("compactCanFd12Bytes") << QByteArray("(0.1) can0 18FEF100##1000102030405060708090A0B")
                                         << qint64(100000) << 0x18FEF100u << true << false
                                         << QByteArray::fromHex("000102030405060708090A0B");
    QTest::newRow("screenRelative29Bit") << QByteArray(" (000.017118)  can0  0CF00400   [8]  21 9B 9B DD 2F 00 0F 9B\n")
                                         << qint64(17118) << 0x0CF00400u << true << false
                                         << QByteArray::fromHex("219B9BDD2F000F9B");
    QTest::newRow("screenAbsolute11Bit") << QByteArray(" (1553794338.000001)  can0  123   [2]  01 02")
                                         << qint64(1553794338000001) << 0x123u << false << false
                                         << QByteArray::fromHex("0102");
    QTest::newRow("screenZeroLength") << QByteArray("(5.000000) can0 001 [0]") << qint64(5000000) << 0x001u << false
                                      << false << QByteArray();
    QTest::newRow("screenRemote") << QByteArray(" (0.5)  can0  1A2   [4]  remote request") << qint64(500000) << 0x1A2u
                                  << false << true << QByteArray();
}

void TestMonitorParser::parseLogLine_frames()
{
    QFETCH(QByteArray, line);
    CanFrame frame;
    const LineParse parsed = parseLogLine(line.constData(), static_cast<std::size_t>(line.size()), frame);
    QVERIFY2(parsed.status == LineParse::Frame, parsed.error);
    QTEST(frame.timeMicroseconds, "time");
    QTEST(frame.id, "id");
    QTEST(frame.extended, "extended");
    QTEST(frame.remote, "remote");
    QFETCH(QByteArray, data);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(frame.data.data()), frame.length), data);
}

void TestMonitorParser::parseLogLine_malformed_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("reason");

    QTest::newRow("noTimestamp") << QByteArray("can0 123#00") << QByteArray("missing '('");
    QTest::newRow("timestampWithoutFraction") << QByteArray("(12) can0 123#00") << QByteArray("seconds.fraction");
    QTest::newRow("timestampUnclosed") << QByteArray("(1.0 can0 123#00") << QByteArray("missing ')'");
    QTest::newRow("noInterface") << QByteArray("(1.0)") << QByteArray("interface");
    QTest::newRow("noIdentifier") << QByteArray("(1.0) can0") << QByteArray("identifier");
    QTest::newRow("identifier4Digits") << QByteArray("(1.0) can0 1234#00") << QByteArray("3 or 8 hex digits");
    QTest::newRow("identifier11BitAbove7FF") << QByteArray("(1.0) can0 800#00") << QByteArray("above 7FF");
    QTest::newRow("errorFrameFlag") << QByteArray("(1.0) can0 20000080#0000000000000000")
                                    << QByteArray("above 1FFFFFFF");
    QTest::newRow("oddHexDigits") << QByteArray("(1.0) can0 123#ABC") << QByteArray("whole hex bytes");
    QTest::newRow("nineBytes") << QByteArray("(1.0) can0 123#000102030405060708") << QByteArray("more than 8");
    QTest::newRow("canFdLength9") << QByteArray("(1.0) can0 123##1000102030405060708") << QByteArray("CAN FD");
    QTest::newRow("trailingText") << QByteArray("(1.0) can0 123#00 T") << QByteArray("after the data");
    QTest::newRow("screenTooFewBytes") << QByteArray("(1.0) can0 123 [3] 01 02") << QByteArray("fewer data bytes");
    QTest::newRow("screenTooManyBytes") << QByteArray("(1.0) can0 123 [1] 01 02") << QByteArray("after the data");
    QTest::newRow("screenLength9") << QByteArray("(1.0) can0 123 [9] 01") << QByteArray("length in brackets");
    QTest::newRow("screenNoBrackets") << QByteArray("(1.0) can0 123 8 01") << QByteArray("length in brackets");
    QTest::newRow("screenByteThreeDigits") << QByteArray("(1.0) can0 123 [1] 012") << QByteArray("two hex digits");
    QTest::newRow("binaryJunk") << QByteArray("\x00\xff(\x01", 4) << QByteArray("missing '('");
}

void TestMonitorParser::parseLogLine_malformed()
{
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, reason);
    CanFrame frame;
    const LineParse parsed = parseLogLine(line.constData(), static_cast<std::size_t>(line.size()), frame);
    QCOMPARE(parsed.status, LineParse::Malformed);
    QVERIFY2(QByteArray(parsed.error).contains(reason), parsed.error);
}

void TestMonitorParser::parseLogLine_blank()
{
    CanFrame frame;
    for (const char *line : {"", "\n", "  \t \r\n"}) {
        QCOMPARE(parseLogLine(line, std::strlen(line), frame).status, LineParse::Blank);
    }
}

void TestMonitorParser::logReader_countsLinesAndSkipsOverlong()
{
    QByteArray log("(0.1) can0 123#01\n\n");
    log += "(0.2) can0 123#" + QByteArray(2 * LogReader::maxLineLength, 'A') + '\n';
    log += "(0.3) can0 123#03\nnot a frame\n(0.4) can0 123#04";
    QBuffer device(&log);
    QVERIFY(device.open(QIODevice::ReadOnly));
    LogReader reader(device);
    CanFrame frame;
    QCOMPARE(reader.next(frame), LogReader::Next::Frame);
    QCOMPARE(reader.next(frame), LogReader::Next::Malformed);
    QCOMPARE(reader.lineNumber(), qint64(3));
    QVERIFY(QByteArray(reader.error()).contains("longer than"));
    QCOMPARE(reader.next(frame), LogReader::Next::Frame);
    QCOMPARE(frame.data[0], quint8(3));
    QCOMPARE(reader.next(frame), LogReader::Next::Malformed);
    QCOMPARE(reader.lineNumber(), qint64(5));
    QCOMPARE(reader.line(), QByteArray("not a frame"));
    QCOMPARE(reader.next(frame), LogReader::Next::Frame);
    QCOMPARE(frame.data[0], quint8(4));
    QCOMPARE(reader.next(frame), LogReader::Next::End);
    QCOMPARE(reader.bytesRead(), qint64(log.size()));
}

QTEST_GUILESS_MAIN(TestMonitorParser)
#include "tst_monitor_parser.moc"
