// SPDX-License-Identifier: LGPL-2.1-or-later
#include <Talveno/Talveno.h>

#include <QBuffer>
#include <QtTest>

#include <cmath>
#include <limits>
#include <type_traits>

namespace
{
QString text(const QVariant &value)
{
    return value.isValid() ? QLatin1String(value.typeName()) + QLatin1Char(':') + value.toString()
                           : QStringLiteral("invalid");
}

QString text(double value)
{
    return value == 0.0 && std::signbit(value) ? QStringLiteral("-0") : QString::number(value, 'g', 17);
}

// The fields a format carries, in stream order; after the bar those it does not.
template<typename T>
QString fields(const T &v)
{
    QStringList out{text(v.rawValue), text(v.scaledValue)};
    if constexpr (std::is_same_v<T, CANopenObjectValue>) {
        out << QString::number(v.auxByte1) << QString::number(v.auxByte2) << text(v.auxDouble1) << text(v.auxDouble2)
            << QString::number(v.auxInt) << QStringLiteral("|") << text(v.auxDouble);
    } else {
        out << QString::number(v.auxInt) << text(v.auxDouble) << QStringLiteral("|") << QString::number(v.auxByte1)
            << QString::number(v.auxByte2);
    }
    return (out << QString::number(v.excluded)).join(QLatin1Char(' '));
}

void setFormat(QDataStream &stream, const QByteArray &format)
{
    stream.setVersion(QDataStream::Qt_5_15);
    stream.setByteOrder(format == "little" ? QDataStream::LittleEndian : QDataStream::BigEndian);
    stream.setFloatingPointPrecision(format == "single" ? QDataStream::SinglePrecision : QDataStream::DoublePrecision);
}

// Reads one record into a target with every field off its default, so that a read
// that changes one shows: the fields left, the bytes taken, the stream's status;
// and the record written back in the same format.
template<typename T>
QString readRecord(QByteArray bytes, const QByteArray &format, QByteArray *rewritten)
{
    T record;
    record.rawValue = QVariant(QStringLiteral("stale"));
    record.scaledValue = QVariant(-99.0);
    record.auxInt = 77;
    record.auxDouble = 7.25;
    record.auxByte1 = 5;
    record.auxByte2 = 6;
    record.excluded = true;
    if constexpr (std::is_same_v<T, CANopenObjectValue>) {
        record.auxDouble1 = 8.5;
        record.auxDouble2 = 9.5;
    }
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QDataStream in(&buffer);
    setFormat(in, format);
    in >> record;
    QDataStream out(rewritten, QIODevice::WriteOnly);
    setFormat(out, format);
    out << record;
    return fields(record) + QStringLiteral(" @%1 status %2").arg(buffer.pos()).arg(int(in.status()));
}
}

class TestStreams : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Bytes written out by hand from Qt's documented formats: a QVariant is quint32
    // type, qint8 null flag, then the value (int 2, uint 3, double 6; invalid is type
    // 0, null 1). Where the read accepts the record, writing it back gives the bytes
    // again; other reads leave what they did not reach as a failed read leaves it.
    void read_data()
    {
        QTest::addColumn<bool>("canopen");
        QTest::addColumn<QByteArray>("format");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<bool>("writesBack");

        const QByteArray j1939 =
            QByteArray::fromHex("0002 00000002 00 fffffffe 00000006 00 3ff8000000000000 01020304 bfe0000000000000");
        const QByteArray canopen = QByteArray::fromHex(
            "0001 00000003 00 00000007 00000000 01 ff 7f 3ff0000000000000 c000000000000000 11223344");
        const QString j1939Read = QStringLiteral("int:-2 double:1.5 16909060 -0.5 | 5 6 1 @36 status 0");
        const QString canopenRead = QStringLiteral("uint:7 invalid -1 127 1 -2 287454020 | 7.25 1 @38 status 0");
        const QString j1939Stale = QStringLiteral("QString:stale double:-99 77 7.25 | 5 6 1");
        const QString canopenStale = QStringLiteral("QString:stale double:-99 5 6 8.5 9.5 77 | 7.25 1");
        // clang-format off
        QTest::newRow("j1939BigEndianDouble") << false << QByteArray("big") << j1939 << j1939Read << true;
        QTest::newRow("j1939LittleEndianDouble") << false << QByteArray("little") << QByteArray::fromHex("0200 02000000 00 feffffff 06000000 00 000000000000f83f 04030201 000000000000e0bf") << j1939Read << true;
        QTest::newRow("j1939BigEndianSingle") << false << QByteArray("single") << QByteArray::fromHex("0002 00000002 00 fffffffe 00000006 00 3fc00000 01020304 bf000000") << QString(j1939Read).replace(QLatin1String("@36"), QLatin1String("@28")) << true;
        QTest::newRow("canopenBigEndianDoubleAuxByte1Minus1IsFF") << true << QByteArray("big") << canopen << canopenRead << true;
        QTest::newRow("canopenLittleEndianDouble") << true << QByteArray("little") << QByteArray::fromHex("0100 03000000 00 07000000 00000000 01 ff 7f 000000000000f03f 00000000000000c0 44332211") << canopenRead << true;
        QTest::newRow("j1939Version1KeepsAuxDouble") << false << QByteArray("big") << QByteArray::fromHex("0001") + j1939.mid(2, 26) << QStringLiteral("int:-2 double:1.5 16909060 7.25 | 5 6 1 @28 status 0") << false;
        // A full record body follows the version, so a reader that went on would show.
        QTest::newRow("j1939Version0") << false << QByteArray("big") << QByteArray::fromHex("0000") + j1939.mid(2) << j1939Stale + QStringLiteral(" @2 status 0") << false;
        QTest::newRow("j1939Version3") << false << QByteArray("big") << QByteArray::fromHex("0003") + j1939.mid(2) << j1939Stale + QStringLiteral(" @2 status 0") << false;
        QTest::newRow("j1939VersionMinus1") << false << QByteArray("big") << QByteArray::fromHex("ffff") + j1939.mid(2) << j1939Stale + QStringLiteral(" @2 status 0") << false;
        QTest::newRow("canopenVersion2") << true << QByteArray("big") << QByteArray::fromHex("0002") + canopen.mid(2) << canopenStale + QStringLiteral(" @2 status 0") << false;
        QTest::newRow("j1939CutInVersion") << false << QByteArray("big") << j1939.left(1) << j1939Stale + QStringLiteral(" @1 status 1") << false;
        QTest::newRow("j1939CutInRawVariant") << false << QByteArray("big") << j1939.left(5) << QStringLiteral("invalid invalid 0 0 | 5 6 1 @5 status 1") << false;
        QTest::newRow("j1939CutInAuxInt") << false << QByteArray("big") << j1939.left(26) << QStringLiteral("int:-2 double:1.5 0 0 | 5 6 1 @26 status 1") << false;
        QTest::newRow("j1939CutInAuxDouble") << false << QByteArray("big") << j1939.left(35) << QStringLiteral("int:-2 double:1.5 16909060 0 | 5 6 1 @35 status 1") << false;
        QTest::newRow("canopenCutInAuxDouble1") << true << QByteArray("big") << canopen.left(22) << QStringLiteral("uint:7 invalid -1 127 0 0 0 | 7.25 1 @22 status 1") << false;
        QTest::newRow("canopenCutInAuxInt") << true << QByteArray("big") << canopen.left(37) << QStringLiteral("uint:7 invalid -1 127 1 -2 0 | 7.25 1 @37 status 1") << false;
        // clang-format on
    }

    void read()
    {
        QFETCH(bool, canopen);
        QFETCH(QByteArray, format);
        QFETCH(QByteArray, bytes);
        QFETCH(bool, writesBack);
        QByteArray rewritten;
        const QString fields = canopen ? readRecord<CANopenObjectValue>(bytes, format, &rewritten)
                                       : readRecord<J1939Value>(bytes, format, &rewritten);
        QTEST(fields, "expected");
        if (writesBack) {
            QCOMPARE(rewritten.toHex(' '), bytes.toHex(' '));
        }
    }

    // Values that only a round trip through the library's own writer and reader covers.
    void roundTrip()
    {
        J1939Value wide;
        wide.rawValue = QVariant(qlonglong(-5000000000));
        wide.scaledValue = QVariant(4000000000u);
        wide.auxDouble = 1e300;
        CANopenObjectValue textual;
        textual.rawValue = QVariant(QStringLiteral("Öl 80 °C"));
        textual.scaledValue = QVariant(true);
        textual.auxDouble1 = -0.0;
        textual.auxDouble2 = std::numeric_limits<double>::quiet_NaN();
        const auto write = [](const auto &record) {
            QByteArray bytes;
            QDataStream out(&bytes, QIODevice::WriteOnly);
            out << record;
            return bytes;
        };
        QByteArray again;
        QCOMPARE(
            readRecord<J1939Value>(write(wide), "big", &again),
            QStringLiteral("qlonglong:-5000000000 uint:4000000000 0 1.0000000000000001e+300 | 5 6 1 @36 status 0"));
        QCOMPARE(readRecord<CANopenObjectValue>(write(textual), "big", &again),
                 QStringLiteral("QString:Öl 80 °C bool:true 0 0 -0 nan 0 | 7.25 1 @55 status 0"));
    }
};

QTEST_GUILESS_MAIN(TestStreams)
#include "tst_streams.moc"
