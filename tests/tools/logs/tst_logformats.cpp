// SPDX-License-Identifier: LGPL-2.1-or-later
// Short hand-written logs of what the other tools' writers do not produce: each
// read through its format's reader, every record summed up as one line.
#include "LogFile.h"
#include "LogFormat.h"
#include "LogWriter.h"
#include "asc/AscReader.h"
#include "blf/BlfLayout.h"
#include "blf/BlfReader.h"
#include "trc/TrcReader.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <memory>

namespace
{
// Start of the hand-written TRC files: day 45000.5 after 1899-12-30.
const qint64 trcStart = QDateTime(QDate(1899, 12, 30).addDays(45000), QTime(12, 0), Qt::UTC).toMSecsSinceEpoch() * 1000;
const qint64 ascStart = QDateTime(QDate(2017, 9, 30), QTime(15, 6, 13, 191), Qt::UTC).toMSecsSinceEpoch() * 1000;
const qint64 blfStart = QDateTime(QDate(2024, 3, 1), QTime(12, 0, 0, 250), Qt::UTC).toMSecsSinceEpoch() * 1000;

// Each record as "CANn time id data", times from start; remote requests end in
// " r", CAN FD frames in " fd", 29-bit identifiers in "x".
QString summary(LogReader &reader, const InterfaceNames &names, qint64 start)
{
    QStringList lines;
    CanFrame frame;
    for (;;) {
        const LogReader::Next next = reader.next(frame);
        if (next == LogReader::Next::End || next == LogReader::Next::ReadError) {
            break;
        }
        const QString where =
            names.name(frame.interfaceIndex) + QLatin1Char(' ') + QString::number(frame.timeMicroseconds - start);
        if (next == LogReader::Next::Malformed) {
            lines << QStringLiteral("malformed: %1").arg(QString::fromLatin1(reader.error()));
        } else if (next == LogReader::Next::ErrorFrame) {
            lines << where + QStringLiteral(" error");
        } else {
            QString line =
                where + QLatin1Char(' ') + QString::number(frame.id, 16).toUpper()
                + QLatin1String(frame.extended ? "x " : " ")
                + QString::fromLatin1(
                    QByteArray(reinterpret_cast<const char *>(frame.data.data()), frame.length).toHex().toUpper());
            line += frame.remote ? QStringLiteral(" r") : frame.flexibleDataRate ? QStringLiteral(" fd") : QString();
            lines << line;
        }
    }
    lines << QStringLiteral("skipped %1").arg(reader.skipped());
    return lines.join(QLatin1Char('\n'));
}

QByteArray le16(quint16 v)
{
    QByteArray b(2, 0);
    qToLittleEndian(v, b.data());
    return b;
}
QByteArray le32(quint32 v)
{
    QByteArray b(4, 0);
    qToLittleEndian(v, b.data());
    return b;
}
QByteArray le64(quint64 v)
{
    QByteArray b(8, 0);
    qToLittleEndian(v, b.data());
    return b;
}

QByteArray padded(QByteArray object)
{
    return object + QByteArray(object.size() % 4, '\0');
}

// An object of the given header version, its timestamp in nanoseconds.
QByteArray blfObject(quint32 type, const QByteArray &body, quint64 nanoseconds, int headerVersion = 1)
{
    const int headerSize = headerVersion == 1 ? Blf::headerSizeV1 : Blf::headerSizeV2;
    QByteArray o = QByteArray(Blf::objectSignature) + le16(static_cast<quint16>(headerSize))
        + le16(static_cast<quint16>(headerVersion)) + le32(static_cast<quint32>(headerSize + body.size())) + le32(type)
        + le32(Blf::timeOneNanosecond) + le32(0) + le64(nanoseconds);
    if (headerVersion == 2) {
        o += le64(nanoseconds);
    }
    return padded(o + body);
}

QByteArray canMessage(quint16 channel, quint32 id, const QByteArray &data, bool remote = false, bool second = false)
{
    QByteArray body = le16(channel) + QByteArray(1, char(remote ? Blf::remoteFlag : 0)) + char(data.size()) + le32(id)
        + data.leftJustified(8, '\0');
    return second ? body + le32(111) + char(64) + QByteArray(3, '\0') : body;
}

// A CAN_FD_MESSAGE_64 with claimed valid bytes, holding only data.
QByteArray canFd64(quint32 id, int claimed, const QByteArray &data)
{
    return QByteArray(1, char(1)) + char(canFdDlc(claimed)) + char(claimed) + char(0) + le32(id) + le32(0)
        + le32(Blf::canFd64Format) + QByteArray(16, '\0') + le16(0) + char(0) + char(0) + le32(0) + data;
}

QByteArray canErrorExt(quint16 channel)
{
    return le16(channel) + le16(0) + QByteArray(Blf::canErrorExtSize - 4, '\0');
}

// The objects, cut into containers of at most split bytes each, stored or
// zlib-compressed, after the file's header.
QByteArray blfFile(const QByteArray &objects, int split, bool compressed)
{
    QByteArray header = QByteArray(Blf::fileSignature) + le32(Blf::fileHeaderSize);
    header += QByteArray(Blf::startTimeOffset - header.size(), '\0');
    for (const int field : {2024, 3, 5, 1, 12, 0, 0, 250}) {
        header += le16(static_cast<quint16>(field));
    }
    header += QByteArray(Blf::fileHeaderSize - header.size(), '\0');
    for (int at = 0; at < objects.size(); at += split) {
        const QByteArray data = objects.mid(at, split);
        // qCompress() puts the length before the zlib stream.
        const QByteArray stored = compressed ? qCompress(data).mid(4) : data;
        header += padded(QByteArray(Blf::objectSignature) + le16(16) + le16(1)
                         + le32(static_cast<quint32>(Blf::containerHeaderSize + stored.size()))
                         + le32(Blf::logContainer) + le16(compressed ? Blf::zlibDeflate : Blf::stored)
                         + QByteArray(6, '\0') + le32(static_cast<quint32>(data.size())) + le32(0) + stored);
    }
    return header;
}

QByteArray someBlfObjects()
{
    return blfObject(Blf::canMessage, canMessage(1, 0x123, QByteArray::fromHex("0102")), 1000)
        + blfObject(Blf::canMessage2,
                    canMessage(2, 0x18FEF100 | Blf::extendedFlag, QByteArray::fromHex("AABBCCDDEEFF0011"), false, true),
                    2500000,
                    2)
        + blfObject(Blf::canMessage, canMessage(1, 0x7FF, QByteArray(3, '\0'), true), 3000000)
        + blfObject(65, QByteArray(20, 'x'), 3500000) + blfObject(Blf::canErrorExt, canErrorExt(1), 4000000);
}

const char someBlfFrames[] = "CAN1 1 123 0102\n"
                             "CAN2 2500 18FEF100x AABBCCDDEEFF0011\n"
                             "CAN1 3000 7FF  r\n"
                             "CAN1 4000 error\n"
                             "skipped 1";
}

class TestLogFormats : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void read_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<QByteArray>("log");
        QTest::addColumn<qint64>("start");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char *name, LogFormat format, QByteArray log, qint64 start, const char *expected) {
            QTest::newRow(name) << int(format) << log << start << QString::fromLatin1(expected);
        };

        row("ascHexAbsoluteWithDate",
            LogFormat::Asc,
            "date Sat Sep 30 03:06:13.191 pm 2017\n"
            "base hex  timestamps absolute\n"
            "internal events logged\n"
            "// version 9.0.0\n"
            "Begin Triggerblock Sat Sep 30 03:06:13.191 pm 2017\n"
            "   0.000000 Start of measurement\n"
            "   0.015991 CAN 1 Status:chip status error active\n"
            "   0.100000 1  18FEF100x       Rx   d 8 01 02 03 04 05 06 07 08  Length = 273910 BitCount = 141 ID = "
            "419361024x\n"
            "   0.200000 2  123             Tx   d 2 0A 0B\n"
            "   0.250000 1  7FF             Rx   r 4\n"
            "   0.300000 1  1A              Rx   d A 01 02 03 04 05 06 07 08\n"
            "   0.400000 1  ErrorFrame\n"
            "   0.500000 1  Statistic: D 0 R 0 XD 0 XR 0 E 0 O 0 B 0.00%\n"
            "   0.600000 1  J1939TP FEF1p 6 0 0 - Rx d 9 01 02 03 04 05 06 07 08 09\n"
            "End TriggerBlock\n",
            ascStart,
            "CAN1 100000 18FEF100x 0102030405060708\n"
            "CAN2 200000 123 0A0B\n"
            "CAN1 250000 7FF  r\n"
            "CAN1 300000 1A 0102030405060708\n"
            "CAN1 400000 error\n"
            "skipped 4");
        row("ascDecimalRelative",
            LogFormat::Asc,
            "base dec  timestamps relative\n"
            "   1.000000 1  291             Rx   d 2 10 255\n"
            "   0.500000 1  100x            Rx   d 1 7\n",
            0,
            "CAN1 1000000 123 0AFF\n"
            "CAN1 1500000 64x 07\n"
            "skipped 0");
        row("ascFrameAndLineAsLongAsTheOneBefore",
            LogFormat::Asc,
            "base hex  timestamps absolute\n"
            "   0.100000 1  18FEF100x       Rx   d 8 01 02 03 04 05 06 07 08  xy\n"
            "   0.200000 1  18FEF100x       Rx   d 8 11 12 13 14 15 16 17 18\n"
            "zzz\n",
            0,
            "CAN1 100000 18FEF100x 0102030405060708\n"
            "CAN1 200000 18FEF100x 1112131415161718\n"
            "malformed: not a line of an ASC log\n"
            "skipped 0");
        row("ascTimesCutAndWhole",
            LogFormat::Asc,
            "base hex  timestamps absolute\n"
            "   1234.12345678 1  18FEF100x       Rx   d 8 01 02 03 04 05 06 07 08\n"
            "   1235 1  18FEF100x       Rx   d 8 11 12 13 14 15 16 17 18\n",
            0,
            "CAN1 1234123456 18FEF100x 0102030405060708\n"
            "CAN1 1235000000 18FEF100x 1112131415161718\n"
            "skipped 0");
        // Identifiers of two widths give lines of two shapes; the lines that are
        // not plain data frames in between are read as they stand.
        row("ascShapesAlternateRelative",
            LogFormat::Asc,
            "base hex  timestamps relative\n"
            "   0.100000 1  CF00400x       Rx   d 8 01 02 03 04 05 06 07 08\n"
            "   0.100000 1  18FEF100x       Rx   d 8 11 12 13 14 15 16 17 18\n"
            "   0.100000 2  CF00300x       Rx   d 2 21 22\n"
            "   0.100000 1  18FEF200x       Tx   d 1 31\n"
            "   0.100000 1  E1x       Rx   d 1 41\n"
            "   0.100000 1  123       Rxy   d 1 51\n"
            "   0.100000 1  123       Rx   d 8x 61\n"
            "   0.100000 1  124       Rx   d 1 71\n",
            0,
            "CAN1 100000 CF00400x 0102030405060708\n"
            "CAN1 200000 18FEF100x 1112131415161718\n"
            "CAN2 300000 CF00300x 2122\n"
            "CAN1 400000 18FEF200x 31\n"
            "CAN1 500000 E1x 41\n"
            "malformed: expected Rx or Tx after the identifier\n"
            "malformed: fewer data bytes than the DLC gives, or one that is not a byte in the log's base\n"
            "CAN1 800000 124 71\n"
            "skipped 0");
        row("ascCanFd",
            LogFormat::Asc,
            "base hex  timestamps absolute\n"
            "   0.010000 CANFD   1 Rx  18FEF100x    1 0 9 12 00 01 02 03 04 05 06 07 08 09 0A 0B  130000 130 "
            "00001000 0 0 0 0 0\n"
            "   0.020000 CANFD   2 Tx  123  Name  0 0 2 2 AA BB  130000 130 00000000 0 0 0 0 0\n"
            "   0.030000 CANFD   1 Rx  ErrorFrame 0 0 0 0 0\n",
            0,
            "CAN1 10000 18FEF100x 000102030405060708090A0B fd\n"
            "CAN2 20000 123 AABB\n"
            "CAN1 30000 error\n"
            "skipped 0");
        row("ascMalformedGoesOn",
            LogFormat::Asc,
            "base hex  timestamps absolute\n"
            "   0.1 1  123 Rx d 3 01 02\n"
            "   0.2 1  800 Rx d 1 01\n"
            "   0.3 1  123 Rx d 1 05\n",
            0,
            "malformed: fewer data bytes than the DLC gives, or one that is not a byte in the log's base\n"
            "malformed: 11-bit identifier above 7FF\n"
            "CAN1 300000 123 05\n"
            "skipped 0");

        row("ascRelativeBeyondRange",
            LogFormat::Asc,
            "base hex  timestamps relative\n"
            "   999999999999.0 1  123 Rx d 1 01\n"
            "   999999999999.0 1  123 Rx d 1 02\n",
            0,
            "malformed: time more than a thousand years from the start\n"
            "malformed: time more than a thousand years from the start\n"
            "skipped 0");
        row("trcStartTimeTooLarge",
            LogFormat::Trc,
            ";$FILEVERSION=1.1\n;$STARTTIME=450000000\n     1)      1.0  Rx         0300  1  05\n",
            0,
            "malformed: start time is not days since 1899-12-30\n"
            "CAN1 1000 300 05\n"
            "skipped 0");

        const char trc11[] = ";$FILEVERSION=1.1\n"
                             ";$STARTTIME=45000.5\n"
                             ";   Message Number\n"
                             ";---+--   ----+----  --+--  ----+---  +  -+ -- -- --\n"
                             "     1)      1059.9  Rx         0300  8  00 00 00 00 04 00 00 00\n"
                             "     2)      1159.9  Tx     18EFC9F2  2  01 02\n"
                             "     3)      1259.9  Rx         0100  4  RTR\n"
                             "     4)      1300.0  Warng  FFFFFFFF  4  00 00 00 04  BUSHEAVY\n"
                             "     5)      1350.0  Error      0097  5  00 19 08 00 00\n";
        row("trc11RemoteErrorStatus",
            LogFormat::Trc,
            trc11,
            trcStart,
            "CAN1 1059900 300 0000000004000000\n"
            "CAN1 1159900 18EFC9F2x 0102\n"
            "CAN1 1259900 100  r\n"
            "CAN1 1350000 error\n"
            "skipped 1");
        row("trc13BusAndReserved",
            LogFormat::Trc,
            ";$FILEVERSION=1.3\n"
            ";$STARTTIME=45000.5\n"
            "      1)        17.0 1  Rx        0300 -  8    00 00 00 00 04 00 00 00\n"
            "      2)        17.5 2  Rx    18EFC9F2 -  2    01 02\n",
            trcStart,
            "CAN1 17000 300 0000000004000000\n"
            "CAN2 17500 18EFC9F2x 0102\n"
            "skipped 0");
        row("trc20LengthInBytes",
            LogFormat::Trc,
            ";$FILEVERSION=2.0\n"
            ";$STARTTIME=45000.5\n"
            ";$COLUMNS=N,O,T,I,d,l,D\n"
            "      1        17.000 DT     0300 Rx 8  00 00 00 00 04 00 00 00\n"
            "      2        18.000 FD     0301 Rx 12 00 01 02 03 04 05 06 07 08 09 0A 0B\n"
            "      3        19.000 RR     0302 Rx 4\n"
            "      4        20.000 ER     Rx 5  00 19 08 00 00\n"
            "      5        21.000 ST     Rx 00 00 00 08\n"
            "      6        22.000 EC     Rx 02 00\n",
            trcStart,
            "CAN1 17000 300 0000000004000000\n"
            "CAN1 18000 301 000102030405060708090A0B fd\n"
            "CAN1 19000 302  r\n"
            "CAN1 20000 error\n"
            "skipped 2");
        row("trc21ShapesChange",
            LogFormat::Trc,
            ";$FILEVERSION=2.1\n"
            ";$STARTTIME=45000.5\n"
            ";$COLUMNS=N,O,T,B,I,d,R,L,D\n"
            "      1        17.000 DT 12 0300     Rx -  2    01 02\n"
            "      2        17.500 DT 1 20301     Rx -  2    03 04\n"
            "      3        18.000 FD  2 0302     Rx -  9    00 01 02 03 04 05 06 07 08 09 0A 0B\n"
            "      4        18.250 DT  1 18EFC9F2 Rx -  1    05\n"
            "      5        18.500 ER  1 0303     Rx -  2    06 07\n"
            "      6        19.000 DT  x 0304     Rx -  1    08\n"
            "      7        19.5   DT  3 0305     Rx -  1    09\n"
            "      8  4999999.5005 DT  1 0306     Rx -  1    0A\n",
            trcStart,
            "CAN12 17000 300 0102\n"
            "CAN1 17500 20301x 0304\n"
            "CAN2 18000 302 000102030405060708090A0B fd\n"
            "CAN1 18250 18EFC9F2x 05\n"
            "CAN1 18500 error\n"
            "CAN1 19000 304 08\n"
            "CAN3 19500 305 09\n"
            "CAN1 4999999500 306 0A\n"
            "skipped 0");
        // A line with the blanks of the line before is read by its words only
        // without control characters: a carriage return ends a word.
        row("trc21ShapeWithCarriageReturn",
            LogFormat::Trc,
            ";$FILEVERSION=2.1\n"
            ";$COLUMNS=N,O,T,B,I,d,R,L,D\n"
            "      1        17.000 DT  1 18EFC9F2 Rx -  8    01 02 03 04 05 06 07 08\n"
            "      \r        17.500 DT  1 18EFC9F2 Rx -  8    01 02 03 04 05 06 07 08\n"
            "      3        18.000 DT  1 18EFC9F2 R\r -  8    01 02 03 04 05 06 07 08\n",
            0,
            "CAN1 17000 18EFC9F2x 0102030405060708\n"
            "malformed: time offset is not milliseconds\n"
            "malformed: fewer columns than the header gives\n"
            "skipped 0");
        // A frame line as long as the one before ends in a line end only where
        // no earlier one lies within it: the short line after it stays a line.
        row("trc21RecordAndLineAsLongAsTheOneBefore",
            LogFormat::Trc,
            ";$FILEVERSION=2.1\n"
            ";$COLUMNS=N,O,T,B,I,d,R,L,D\n"
            "      1        17.000 DT  1 18EFC9F2 Rx -  8    01 02 03 04 05 06 07 08  \n"
            "      2        17.500 DT  1 18EFC9F2 Rx -  8    11 12 13 14 15 16 17 18\n"
            "x\n",
            0,
            "CAN1 17000 18EFC9F2x 0102030405060708\n"
            "CAN1 17500 18EFC9F2x 1112131415161718\n"
            "malformed: time offset is not milliseconds\n"
            "skipped 0");
        // Times read whole in the vector registers: a fraction cut to the unit
        // of the format, and none at all.
        row("trc21OffsetsCutAndWhole",
            LogFormat::Trc,
            ";$FILEVERSION=2.1\n"
            ";$COLUMNS=N,O,T,B,I,d,R,L,D\n"
            "      1     4321.98765 DT  1 18EFC9F2 Rx -  8    01 02 03 04 05 06 07 08\n"
            "      2     4322 DT  1 18EFC9F2 Rx -  8    11 12 13 14 15 16 17 18\n",
            0,
            "CAN1 4321987 18EFC9F2x 0102030405060708\n"
            "CAN1 4322000 18EFC9F2x 1112131415161718\n"
            "skipped 0");
        row("trc21DlcColumn",
            LogFormat::Trc,
            ";$FILEVERSION=2.1\n"
            ";$STARTTIME=45000.5\n"
            ";$COLUMNS=N,O,T,B,I,d,R,L,D\n"
            "      1        17.000 FB  3 18EFC9F2 Rx -  9    00 01 02 03 04 05 06 07 08 09 0A 0B\n"
            "      2        18.000 DT  1 0123     Tx -  2    AA BB\n",
            trcStart,
            "CAN3 17000 18EFC9F2x 000102030405060708090A0B fd\n"
            "CAN1 18000 123 AABB\n"
            "skipped 0");

        const QByteArray objects = someBlfObjects();
        row("blfCompressed", LogFormat::Blf, blfFile(objects, 1 << 20, true), blfStart, someBlfFrames);
        row("blfStored", LogFormat::Blf, blfFile(objects, 1 << 20, false), blfStart, someBlfFrames);
        // Every object begins in one container and ends in another.
        row("blfStraddlingCompressed", LogFormat::Blf, blfFile(objects, 7, true), blfStart, someBlfFrames);
        row("blfStraddlingStored", LogFormat::Blf, blfFile(objects, 13, false), blfStart, someBlfFrames);
        row("blfFdClaimsMoreThanHeld",
            LogFormat::Blf,
            blfFile(blfObject(Blf::canFdMessage64, canFd64(0x321, 64, QByteArray::fromHex("0102030405060708")), 5000)
                        + blfObject(Blf::canMessage, canMessage(1, 0x123, QByteArray::fromHex("09")), 6000),
                    1 << 20,
                    true),
            blfStart,
            "CAN1 5 321 0102030405060708"
            "0000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
            "000000"
            " fd\n"
            "CAN1 6 123 09\n"
            "skipped 0");
        const QByteArray whole = blfFile(objects, 1 << 20, false);
        const int secondObjectEnds = Blf::fileHeaderSize + Blf::containerHeaderSize
            + blfObject(Blf::canMessage, canMessage(1, 0x123, "\x01\x02"), 0).size() + 30;
        row("blfTruncated",
            LogFormat::Blf,
            whole.left(secondObjectEnds),
            blfStart,
            "CAN1 1 123 0102\nmalformed: file ends within a log container\nskipped 0");
        row("blfTruncatedCompressed",
            LogFormat::Blf,
            blfFile(objects, 1 << 20, true).chopped(12),
            blfStart,
            "CAN1 1 123 0102\n"
            "CAN2 2500 18FEF100x AABBCCDDEEFF0011\n"
            "CAN1 3000 7FF  r\n"
            "malformed: file ends within a log container\n"
            "skipped 1");
    }
    void read()
    {
        QFETCH(int, format);
        QFETCH(QByteArray, log);
        QFETCH(qint64, start);
        QFETCH(QString, expected);
        InterfaceNames names;
        std::unique_ptr<LogReader> reader;
        switch (LogFormat(format)) {
        case LogFormat::Asc:
            reader = std::make_unique<AscReader>(log, names);
            break;
        case LogFormat::Trc:
            reader = std::make_unique<TrcReader>(log, names);
            break;
        default:
            reader = std::make_unique<BlfReader>(log, names);
        }
        QCOMPARE(summary(*reader, names, start), expected);
        QCOMPARE(::detectLogFormat(log.constData(), static_cast<std::size_t>(log.size())), LogFormat(format));
    }

    // What a writer writes, its reader reads back the same, in each format.
    void writeAndReadBack_data()
    {
        QTest::addColumn<QString>("suffix");
        QTest::newRow("candump") << QStringLiteral(".log");
        QTest::newRow("asc") << QStringLiteral(".asc");
        QTest::newRow("blf") << QStringLiteral(".blf");
    }
    void writeAndReadBack()
    {
        QFETCH(QString, suffix);
        const QByteArray source = blfFile(someBlfObjects(), 9, true);
        InterfaceNames names;
        BlfReader reader(source, names);
        const QString expected =
            summary(reader, names, blfStart).remove(QRegularExpression(QStringLiteral("\nskipped .*")));

        QTemporaryDir directory;
        const QString path = directory.filePath(QLatin1String("out") + suffix);
        QString error;
        {
            BlfReader again(source, names);
            const std::unique_ptr<LogWriter> writer = LogWriter::create(path, names, error);
            QVERIFY2(writer, qPrintable(error));
            CanFrame frame;
            for (LogReader::Next next; (next = again.next(frame)) != LogReader::Next::End;) {
                writer->write(frame, next == LogReader::Next::ErrorFrame);
            }
            QVERIFY2(writer->finish(error), qPrintable(error));
        }
        LogFile written;
        QVERIFY2(written.open(path, error), qPrintable(error));
        InterfaceNames readNames;
        const std::unique_ptr<LogReader> back = written.reader(readNames, -1);
        QCOMPARE(back->format(), LogWriter::create(path, names, error)->format());
        const QString got =
            summary(*back, readNames, blfStart).remove(QRegularExpression(QStringLiteral("\nskipped .*")));
        QCOMPARE(got, expected);
    }

    // The first bytes choose the reader.
    void detectLogFormat_data()
    {
        QTest::addColumn<QByteArray>("start");
        QTest::addColumn<int>("format");
        QTest::newRow("blf") << QByteArray("LOGG\x90\0\0\0", 8) << int(LogFormat::Blf);
        QTest::newRow("ascDate") << QByteArray("date Mon Jan 1 00:00:00.000 2024\n") << int(LogFormat::Asc);
        QTest::newRow("ascBase") << QByteArray("base hex  timestamps absolute\n") << int(LogFormat::Asc);
        QTest::newRow("trcVersion") << QByteArray(";$FILEVERSION=2.1\n") << int(LogFormat::Trc);
        QTest::newRow("trcComment") << QByteArray(";##########\n") << int(LogFormat::Trc);
        QTest::newRow("candump") << QByteArray("(1.0) can0 123#00\n") << int(LogFormat::Candump);
        QTest::newRow("short") << QByteArray("LO") << int(LogFormat::Candump);
    }
    void detectLogFormat()
    {
        QFETCH(QByteArray, start);
        QFETCH(int, format);
        QCOMPARE(int(::detectLogFormat(start.constData(), static_cast<std::size_t>(start.size()))), format);
    }
};

QTEST_GUILESS_MAIN(TestLogFormats)
#include "tst_logformats.moc"
