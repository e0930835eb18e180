// SPDX-License-Identifier: LGPL-2.1-or-later
#include "candump/CandumpLine.h"
#include "candump/CandumpReader.h"

#include <QDateTime>
#include <QTest>

class TestCandump : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Every layout, through the shortcut and the general parser alike.
    void parseCandumpLine_everyLayout_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("reason"); // a part of the error
        QTest::addColumn<qint64>("time"); // -1: the line has none
        QTest::addColumn<quint32>("id");
        QTest::addColumn<bool>("remote");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QByteArray>("interface");
        const auto row = [](const char *name,
                            const char *line,
                            qint64 time,
                            quint32 id,
                            const char *hex,
                            bool remote = false,
                            const char *interface = "can0") {
            QTest::newRow(name) << QByteArray(line) << int(LineParse::Frame) << QByteArray() << time << id << remote
                                << QByteArray::fromHex(hex) << QByteArray(interface);
        };
        const auto noFrame = [](const char *name, QByteArray line, const char *reason, int status = -1) {
            status = status >= 0 ? status : *reason ? LineParse::Malformed : LineParse::Blank;
            QTest::newRow(name) << line << status << QByteArray(reason) << qint64(0) << 0u << false << QByteArray()
                                << QByteArray();
        };
        row("compactAbsolute29Bit",
            "(1553794338.007083) can0 0CF00400#F1d0CD5a1D00FFcd\n",
            1553794338007083,
            0x0CF00400,
            "F1D0CD5A1D00FFCD");
        row("compactRelative11Bit", "(000.017118) vcan1 123#01ab7F", 17118, 0x123, "01AB7F", false, "vcan1");
        row("compactNoData", "(1.5) can0 7FF#\r\n", 1500000, 0x7FF, "");
        row("compactNanosecondsCut", "(2.123456789) can0 1FFFFFFF#00", 2123456, 0x1FFFFFFF, "00");
        row("compactRemote", "(0.000001) can0 456#R", 1, 0x456, "", true);
        row("compactTransmitMark", "(1.0) can0 123#0102 T\n", 1000000, 0x123, "0102");
        row("canFd12Bytes", "(0.1) can0 123##1000102030405060708090A0B", 100000, 0x123, "000102030405060708090A0B");
        row("screenRelative29Bit", " (000.017118)  can0  0CF00400   [3]  21 9B 9B\n", 17118, 0x0CF00400, "219B9B");
        row("screenAbsolute11Bit", " (1553794338.000001)  can0  123   [1]  0A", 1553794338000001, 0x123, "0A");
        row("screenZeroLength", "(5.000000) can0 001 [0]", 5000000, 0x001, "");
        row("screenRemote", " (0.5)  can0  1A2   [4]  remote request", 500000, 0x1A2, "", true);
        row("screenDateTimeAsUtc",
            " (2024-02-29 23:59:59.999999)  can0  0CF00400   [2]  F1 D0",
            1709251199999999,
            0x0CF00400,
            "F1D0");
        row("screenUntimed", "  can0  0CF00400   [3]  F1 D0 CD\n", -1, 0x0CF00400, "F1D0CD");
        row("screenDirectionColumns",
            " (0.25)  vcan10  TX B -  18FEF100   [2]  01 FF",
            250000,
            0x18FEF100,
            "01FF",
            false,
            "vcan10");
        row("screenAsciiColumn", " (0.5)  can0  123   [5]  41 27 20 7E 00   'A' ~.'", 500000, 0x123, "4127207E00");
        // The common J1939 line and its near misses, which its own shortcut must
        // read as the general parser does, or leave to it.
        row("j1939Relative", "(000.005001) can0 18fef1aa#A1b2C3d4E5f60708\n", 5001, 0x18FEF1AA, "A1B2C3D4E5F60708");
        row("j1939ShortestWithoutLineEnd",
            "(0.000001) a 18FEF100#0102030405060708",
            1,
            0x18FEF100,
            "0102030405060708",
            false,
            "a");
        row("j1939TwelveDigitSeconds",
            "(123456789012.999999) can0 18FEF100#0102030405060708\n",
            123456789012999999,
            0x18FEF100,
            "0102030405060708");
        row("j1939NameUpToColumn32",
            "(000.000001) abcdefghijklmnopqrs 18FEF100#0102030405060708\n",
            1,
            0x18FEF100,
            "0102030405060708",
            false,
            "abcdefghijklmnopqrs");
        row("j1939NameWithDigitsParenAndHighByte",
            "(1.000001) 0)\xe4 18FEF100#0102030405060708\n",
            1000001,
            0x18FEF100,
            "0102030405060708",
            false,
            "0)\xe4");
        row("j1939SevenDigitFraction",
            "(000.0000019) can0 18FEF100#0102030405060708\n",
            1,
            0x18FEF100,
            "0102030405060708");
        row("j1939TabAfterTime", "(000.000001)\tcan0 18FEF100#0102030405060708\n", 1, 0x18FEF100, "0102030405060708");
        row("j1939TwoBlanksAfterName",
            "(000.000001) can0  18FEF100#0102030405060708\n",
            1,
            0x18FEF100,
            "0102030405060708");
        row("j1939CarriageReturn",
            "(000.000001) can0 18FEF100#0102030405060708\r\n",
            1,
            0x18FEF100,
            "0102030405060708");
        noFrame("j1939ThirteenDigitSeconds",
                "(1234567890123.000001) can0 18FEF100#0102030405060708\n",
                "seconds.fraction");
        noFrame("j1939LetterInTime", "(0a0.000001) can0 18FEF100#0102030405060708\n", "seconds.fraction");
        noFrame("j1939CommaInTime", "(000,000001) can0 18FEF100#0102030405060708\n", "seconds.fraction");
        noFrame("j1939ErrorFlag", "(000.000001) can0 20000004#0000000000000000\n", "", LineParse::ErrorFrame);
        noFrame("j1939Above29Bits", "(000.000001) can0 40000000#0000000000000000\n", "above 1FFFFFFF");
        noFrame("j1939NoBlankBeforeIdentifier", "(000.000001) can0x18FEF100#0102030405060708\n", "identifier");
        noFrame("j1939DataNotHex", "(000.000001) can0 18FEF100#01020304050607G8\n", "after the data");
        noFrame("empty", "", "");
        noFrame("lineEndOnly", "\n", "");
        noFrame("whiteSpaceOnly", "  \t \r\n", "");
        noFrame("noTimestamp", "can0 123#00", "missing '('");
        noFrame("timestampWithoutFraction", "(12) can0 123#00", "seconds.fraction");
        noFrame("timestampUnclosed", "(1.0 can0 123#00", "missing ')'");
        noFrame("dateOutOfRange", " (2023-02-29 00:00:00.0)  can0  123   [0]", "out of range");
        noFrame("noInterface", "(1.0)", "interface");
        noFrame("noIdentifier", "(1.0) can0", "identifier");
        noFrame("identifier4Digits", "(1.0) can0 1234#00", "3 or 8 hex digits");
        noFrame("identifierNotHex", "(1.0) can0 0CF0G400#00", "3 or 8 hex digits");
        noFrame("identifier9DigitsReadAs8",
                "(1.0) can0 123456789#1122334455667788",
                "expected '#' or a blank after the identifier");
        noFrame("identifier11BitAbove7FF", "(1.0) can0 800#00", "above 7FF");
        noFrame("identifierAboveErrorFlag", "(1.0) can0 40000000#00", "above 1FFFFFFF");
        noFrame("errorFrameCompact", "(1.0) can0 20000080#0000000000000000", "", LineParse::ErrorFrame);
        noFrame("errorFrameScreenExplained",
                " (0.1)  can0  20000004   [8]  00 04 00 00 00 00 00 00   ERRORFRAME controller-problem{rx-warning}",
                "",
                LineParse::ErrorFrame);
        noFrame("oddHexDigits", "(1.0) can0 123#ABC", "whole hex bytes");
        noFrame("nineBytes", "(1.0) can0 123#000102030405060708", "more than 8");
        noFrame("canFdLength9", "(1.0) can0 123##1000102030405060708", "CAN FD");
        noFrame("trailingText", "(1.0) can0 123#00 X", "after the data");
        noFrame("screenTooFewBytes", "(1.0) can0 123 [3] 01 02", "fewer data bytes");
        noFrame("screenTooManyBytes", "(1.0) can0 123 [1] 01 02", "after the data");
        noFrame("screenLength9", "(1.0) can0 123 [9] 01", "length in brackets");
        noFrame("screenNoBrackets", "(1.0) can0 123 8 01", "length in brackets");
        noFrame("screenByteThreeDigits", "(1.0) can0 123 [1] 012", "two hex digits");
        noFrame("screenAsciiColumnOtherText", "(1.0) can0 123 [2] 41 0A 'B.'", "text column");
        noFrame("binaryJunk", QByteArray("\x00\xff(\x01", 4), "missing '('");
    }

    void parseCandumpLine_everyLayout()
    {
        QFETCH(QByteArray, line);
        QFETCH(int, status);
        QFETCH(QByteArray, reason);
        QFETCH(qint64, time);
        for (const auto parse : {parseCandumpLine, parseCandumpLineGeneral}) {
            CanFrame frame;
            const LineParse parsed = parse(line.constData(), static_cast<std::size_t>(line.size()), frame);
            QVERIFY2(int(parsed.status) == status, parsed.error);
            QVERIFY2(QByteArray(parsed.error).contains(reason), parsed.error);
            if (status != LineParse::Frame) {
                continue;
            }
            QCOMPARE(parsed.timed, time >= 0);
            QCOMPARE(frame.timeMicroseconds, std::max(time, qint64(0)));
            QTEST(frame.id, "id");
            QCOMPARE(frame.extended, frame.id > 0x7FF); // no row has an 11-bit value in 8 digits
            QTEST(frame.remote, "remote");
            QTEST(QByteArray(reinterpret_cast<const char *>(frame.data.data()), frame.length), "data");
            QTEST(line.mid(static_cast<int>(parsed.interfaceOffset), static_cast<int>(parsed.interfaceLength)),
                  "interface");
        }
    }

    // Lines of every length around the steps in which their ends are looked
    // for, and at the longest a line may be.
    void lineInput_findsEveryLineEnd()
    {
        QVector<int> lengths;
        for (int length = 0; length <= 144; ++length) {
            lengths.append(length);
        }
        lengths << LineInput::maxLineLength << LineInput::maxLineLength + 1 << 3;
        QByteArray text;
        for (const int length : lengths) {
            text += QByteArray(length, 'x') + '\n';
        }
        LineInput input(text + "last");
        for (const int length : lengths) {
            if (length > LineInput::maxLineLength) {
                QVERIFY(input.next() == LineInput::Next::Overlong);
                continue;
            }
            QVERIFY(input.next() == LineInput::Next::Line);
            QCOMPARE(int(input.lineLength()), length + 1);
        }
        QVERIFY(input.next() == LineInput::Next::Line);
        QCOMPARE(input.line(), QByteArray("last"));
        QVERIFY(input.next() == LineInput::Next::End);
    }

    void logReader_countsLinesAndSkipsOverlong()
    {
        QByteArray log("\tnot after an error frame\n(0.1) can0 123#01\n\n");
        log += "(0.2) can0 123#" + QByteArray(2 * LineInput::maxLineLength, 'A') + '\n';
        log += "(0.3) can0 123#03\nnot a frame\n";
        log += "(0.35) can0 20000004#0004000000000000\n\tcontroller-problem{rx-error-warning}\n  can1  123   [1]  05\n";
        log += "(0.4) can0 123#04";
        InterfaceNames interfaces;
        CandumpReader reader(log, interfaces);
        CanFrame frame;
        using Next = LogReader::Next;
        const auto next = [&](Next expected, qint64 line) {
            return reader.next(frame) == expected && reader.lineNumber() == line;
        };
        QVERIFY(next(Next::Malformed, 1));
        QVERIFY(next(Next::Frame, 2));
        QVERIFY(frame.data[0] == 1);
        QVERIFY(next(Next::Malformed, 4));
        QVERIFY(QByteArray(reader.error()).contains("longer than"));
        QVERIFY(next(Next::Frame, 5));
        QVERIFY(frame.data[0] == 3);
        QVERIFY(next(Next::Malformed, 6));
        QVERIFY(reader.line() == "not a frame");
        QVERIFY(next(Next::ErrorFrame, 7));
        const qint64 before = QDateTime::currentMSecsSinceEpoch() * 1000;
        QVERIFY(next(Next::Frame, 9));
        QVERIFY(interfaces.name(frame.interfaceIndex) == QLatin1String("can1"));
        QVERIFY(frame.timeMicroseconds >= before);
        QVERIFY(frame.timeMicroseconds <= QDateTime::currentMSecsSinceEpoch() * 1000 + 1000);
        QVERIFY(next(Next::Frame, 10));
        QVERIFY(frame.data[0] == 4);
        QVERIFY(next(Next::End, 10));
        QVERIFY(reader.bytesRead() == log.size());
    }
};

QTEST_GUILESS_MAIN(TestCandump)
#include "tst_candump.moc"
