// SPDX-License-Identifier: LGPL-2.1-or-later
#include <Talveno/Talveno.h>

#include <QBuffer>
#include <QtTest>

#include <limits>
#include <type_traits>

Q_DECLARE_METATYPE(QDataStream::ByteOrder)
Q_DECLARE_METATYPE(QDataStream::FloatingPointPrecision)

namespace
{
// The expected bytes are written out by hand from Qt's documented formats:
// a QVariant is quint32 type, qint8 null flag, then the value (int 2, uint 3,
// double 6; invalid is type 0, null 1).
const QByteArray j1939Hex = "0002 00000002 00 fffffffe 00000006 00 3ff8000000000000 01020304 bfe0000000000000";
const QByteArray canopenHex = "0001 00000003 00 00000007 00000000 01 ff 7f 3ff0000000000000 c000000000000000 11223344";

template<typename T>
constexpr bool isCANopen = std::is_same_v<T, CANopenObjectValue>;

// The record behind j1939Hex or canopenHex.
template<typename T>
T simple()
{
    T value;
    if constexpr (isCANopen<T>) {
        value.rawValue = QVariant(7u);
        value.auxByte1 = -1;
        value.auxByte2 = 127;
        value.auxDouble1 = 1.0;
        value.auxDouble2 = -2.0;
        value.auxInt = 0x11223344;
    } else {
        value.rawValue = QVariant(-2);
        value.scaledValue = QVariant(1.5);
        value.auxInt = 0x01020304;
        value.auxDouble = -0.5;
    }
    return value;
}

// Every field off its default, so that a read that changes one shows.
template<typename T>
T stale()
{
    T value;
    value.rawValue = QVariant(QStringLiteral("stale"));
    value.scaledValue = QVariant(-99.0);
    value.auxInt = 77;
    value.auxDouble = 7.25;
    value.auxByte1 = 5;
    value.auxByte2 = 6;
    value.excluded = true;
    if constexpr (isCANopen<T>) {
        value.auxDouble1 = 8.5;
        value.auxDouble2 = 9.5;
    }
    return value;
}

// What a read of `written` into stale<T>() gives: the fields the format does not carry stay.
template<typename T>
T readBack(T written)
{
    const T target = stale<T>();
    written.excluded = target.excluded;
    if constexpr (isCANopen<T>) {
        written.auxDouble = target.auxDouble;
    } else {
        written.auxByte1 = target.auxByte1;
        written.auxByte2 = target.auxByte2;
    }
    return written;
}

// A stream cut after `fields` complete fields past the version (-1: inside the version):
// the rest get what a failed QDataStream read stores.
template<typename T>
T cutRead(int fields)
{
    const T w = simple<T>();
    T value = stale<T>();
    if (fields < 0) {
        return value;
    }
    value.rawValue = fields > 0 ? w.rawValue : QVariant();
    value.scaledValue = fields > 1 ? w.scaledValue : QVariant();
    if constexpr (isCANopen<T>) {
        value.auxByte1 = fields > 2 ? w.auxByte1 : 0;
        value.auxByte2 = fields > 3 ? w.auxByte2 : 0;
        value.auxDouble1 = fields > 4 ? w.auxDouble1 : 0.0;
        value.auxDouble2 = fields > 5 ? w.auxDouble2 : 0.0;
        value.auxInt = fields > 6 ? w.auxInt : 0;
    } else {
        value.auxInt = fields > 2 ? w.auxInt : 0;
        value.auxDouble = fields > 3 ? w.auxDouble : 0.0;
    }
    return value;
}

// Every field, the unstreamed ones too, as the hex of its own QDataStream encoding:
// variants keep their type and null flag, doubles their bits.
template<typename T>
QByteArray dump(const T &value)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << value.rawValue << value.scaledValue << value.auxInt << value.auxDouble << value.auxByte1 << value.auxByte2
        << value.excluded;
    if constexpr (isCANopen<T>) {
        out << value.auxDouble1 << value.auxDouble2;
    }
    return bytes.toHex(' ');
}

template<typename T>
QByteArray
write(const T &record, QDataStream::ByteOrder order, QDataStream::FloatingPointPrecision precision, int version)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(version);
    out.setByteOrder(order);
    out.setFloatingPointPrecision(precision);
    out << record;
    return out.status() == QDataStream::Ok ? bytes : QByteArray("write failed");
}

struct Read
{
    QByteArray record;
    qint64 consumed;
    int status;
};

// Reads one record from `bytes` into stale<T>().
template<typename T>
Read read(QByteArray bytes,
          QDataStream::ByteOrder order = QDataStream::BigEndian,
          QDataStream::FloatingPointPrecision precision = QDataStream::DoublePrecision,
          int version = QDataStream::Qt_5_15)
{
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QDataStream in(&buffer);
    in.setVersion(version);
    in.setByteOrder(order);
    in.setFloatingPointPrecision(precision);
    T target = stale<T>();
    in >> target;
    return {dump(target), buffer.pos(), in.status()};
}

template<typename T>
void verifyBytes()
{
    QFETCH(QDataStream::ByteOrder, order);
    QFETCH(QDataStream::FloatingPointPrecision, precision);
    QFETCH(QByteArray, bytes);
    QCOMPARE(write(simple<T>(), order, precision, QDataStream::Qt_5_15).toHex(' '), bytes.toHex(' '));
    const Read back = read<T>(bytes, order, precision);
    QCOMPARE(back.record, dump(readBack(simple<T>())));
    QVERIFY(back.consumed == bytes.size() && back.status == QDataStream::Ok);
}

// The number goes to auxDouble, or to auxDouble1 and (negated) auxDouble2.
template<typename T>
void verifyRoundTrip()
{
    QFETCH(int, version);
    QFETCH(QDataStream::ByteOrder, order);
    QFETCH(QDataStream::FloatingPointPrecision, precision);
    QFETCH(QVariant, raw);
    QFETCH(QVariant, scaled);
    QFETCH(double, number);
    T source = simple<T>();
    source.rawValue = raw;
    source.scaledValue = scaled;
    if constexpr (isCANopen<T>) {
        source.auxDouble1 = number;
        source.auxDouble2 = -number;
    } else {
        source.auxDouble = number;
    }
    const QByteArray bytes = write(source, order, precision, version);
    const Read back = read<T>(bytes, order, precision, version);
    QCOMPARE(back.record, dump(readBack(source)));
    QVERIFY(back.consumed == bytes.size() && back.status == QDataStream::Ok);
}

template<typename T>
void verifyRead()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, consumed);
    QFETCH(int, status);
    QFETCH(QByteArray, expected);
    const Read back = read<T>(bytes);
    QCOMPARE(back.record, expected);
    QCOMPARE(back.consumed, qint64(consumed));
    QCOMPARE(back.status, status);
}
}

class TestStreams : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void bytes_data()
    {
        QTest::addColumn<bool>("canopen");
        QTest::addColumn<QDataStream::ByteOrder>("order");
        QTest::addColumn<QDataStream::FloatingPointPrecision>("precision");
        QTest::addColumn<QByteArray>("bytes");

        const auto big = QDataStream::BigEndian;
        const auto little = QDataStream::LittleEndian;
        const auto dbl = QDataStream::DoublePrecision;
        const auto sgl = QDataStream::SinglePrecision;
        const auto hex = [](const char *text) {
            return QByteArray::fromHex(text);
        };
        QTest::newRow("j1939BigEndianDouble") << false << big << dbl << QByteArray::fromHex(j1939Hex);
        QTest::newRow("j1939LittleEndianDouble")
            << false << little << dbl
            << hex("0200 02000000 00 feffffff 06000000 00 000000000000f83f 04030201 000000000000e0bf");
        QTest::newRow("j1939BigEndianSingle")
            << false << big << sgl << hex("0002 00000002 00 fffffffe 00000006 00 3fc00000 01020304 bf000000");
        QTest::newRow("canopenBigEndianDoubleAuxByte1Minus1IsFF")
            << true << big << dbl << QByteArray::fromHex(canopenHex);
        QTest::newRow("canopenLittleEndianDouble")
            << true << little << dbl
            << hex("0100 03000000 00 07000000 00000000 01 ff 7f 000000000000f03f 00000000000000c0 44332211");
        QTest::newRow("canopenBigEndianSingle")
            << true << big << sgl << hex("0001 00000003 00 00000007 00000000 01 ff 7f 3f800000 c0000000 11223344");
    }

    void bytes()
    {
        QFETCH(bool, canopen);
        canopen ? verifyBytes<CANopenObjectValue>() : verifyBytes<J1939Value>();
    }

    void roundTrip_data()
    {
        QTest::addColumn<int>("version");
        QTest::addColumn<QDataStream::ByteOrder>("order");
        QTest::addColumn<QDataStream::FloatingPointPrecision>("precision");
        QTest::addColumn<QVariant>("raw");
        QTest::addColumn<QVariant>("scaled");
        QTest::addColumn<double>("number");

        const auto big = QDataStream::BigEndian;
        const auto dbl = QDataStream::DoublePrecision;
        const int qt5 = QDataStream::Qt_5_15;
        QTest::newRow("longLongAndUIntLittleEndian")
            << qt5 << QDataStream::LittleEndian << dbl << QVariant(qlonglong(-5000000000)) << QVariant(4000000000u)
            << 1e300;
        QTest::newRow("stringAndInvalid")
            << qt5 << big << dbl << QVariant(QStringLiteral("Öl 80 °C")) << QVariant() << -0.0;
        QTest::newRow("nanKeepsItsBits") << qt5 << big << dbl << QVariant(true) << QVariant(0.1)
                                         << std::numeric_limits<double>::quiet_NaN();
        // Before Qt 5.0 an invalid QVariant carried an empty string: the variant
        // format follows the stream's version.
        QTest::newRow("qt4_0InvalidVariant")
            << int(QDataStream::Qt_4_0) << big << dbl << QVariant() << QVariant(12) << 0.5;
    }

    void roundTrip()
    {
        verifyRoundTrip<J1939Value>();
        verifyRoundTrip<CANopenObjectValue>();
    }

    // Reads into a stale record from a big-endian stream: how many bytes a reader
    // takes, the status it leaves, and the record it leaves.
    void read_data()
    {
        QTest::addColumn<bool>("canopen");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("consumed");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("expected");

        const auto add = [](const char *name, const auto &expected, const QByteArray &bytes, int consumed, int status) {
            QTest::newRow(name) << isCANopen<std::decay_t<decltype(expected)>> << bytes << consumed << status
                                << dump(expected);
        };
        const int ok = QDataStream::Ok;
        const int readPastEnd = QDataStream::ReadPastEnd;

        J1939Value version1 = readBack(simple<J1939Value>());
        version1.auxDouble = stale<J1939Value>().auxDouble;
        add("j1939Version1KeepsAuxDouble",
            version1,
            QByteArray::fromHex("0001") + QByteArray::fromHex(j1939Hex).mid(2, 26),
            28,
            ok);

        // A full record body follows the version, so a reader that went on would show.
        const QByteArray j1939Body = QByteArray::fromHex(j1939Hex).mid(2);
        const QByteArray canopenBody = QByteArray::fromHex(canopenHex).mid(2);
        add("j1939Version0", stale<J1939Value>(), QByteArray::fromHex("0000") + j1939Body, 2, ok);
        add("j1939Version3", stale<J1939Value>(), QByteArray::fromHex("0003") + j1939Body, 2, ok);
        add("j1939VersionMinus1", stale<J1939Value>(), QByteArray::fromHex("ffff") + j1939Body, 2, ok);
        add("canopenVersion0", stale<CANopenObjectValue>(), QByteArray::fromHex("0000") + canopenBody, 2, ok);
        add("canopenVersion2", stale<CANopenObjectValue>(), QByteArray::fromHex("0002") + canopenBody, 2, ok);
        add("canopenVersion3", stale<CANopenObjectValue>(), QByteArray::fromHex("0003") + canopenBody, 2, ok);
        add("canopenVersionMinus1", stale<CANopenObjectValue>(), QByteArray::fromHex("ffff") + canopenBody, 2, ok);

        const auto j1939Cut = [&](const char *name, int length, int fields) {
            add(name, cutRead<J1939Value>(fields), QByteArray::fromHex(j1939Hex).left(length), length, readPastEnd);
        };
        const auto canopenCut = [&](const char *name, int length, int fields) {
            add(name,
                cutRead<CANopenObjectValue>(fields),
                QByteArray::fromHex(canopenHex).left(length),
                length,
                readPastEnd);
        };
        j1939Cut("j1939Empty", 0, -1);
        j1939Cut("j1939HalfVersion", 1, -1);
        j1939Cut("j1939VersionOnly", 2, 0);
        j1939Cut("j1939CutInRawType", 5, 0);
        j1939Cut("j1939CutInAuxInt", 26, 2);
        j1939Cut("j1939NoAuxDouble", 28, 3);
        j1939Cut("j1939LastByteMissing", 35, 3);
        canopenCut("canopenHalfVersion", 1, -1);
        canopenCut("canopenVersionOnly", 2, 0);
        canopenCut("canopenCutInAuxDouble1", 22, 4);
        canopenCut("canopenNoAuxInt", 34, 6);
        canopenCut("canopenLastByteMissing", 37, 6);
    }

    void read()
    {
        QFETCH(bool, canopen);
        canopen ? verifyRead<CANopenObjectValue>() : verifyRead<J1939Value>();
    }
};

QTEST_GUILESS_MAIN(TestStreams)
#include "tst_streams.moc"
