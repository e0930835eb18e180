// SPDX-License-Identifier: LGPL-2.1-or-later
#include <Talveno/Talveno.h>

#include <QBuffer>
#include <QtTest>

#include <limits>
#include <type_traits>

namespace
{
struct Format
{
    QDataStream::ByteOrder order = QDataStream::BigEndian;
    QDataStream::FloatingPointPrecision precision = QDataStream::DoublePrecision;

    void apply(QDataStream &stream) const
    {
        stream.setVersion(QDataStream::Qt_5_15);
        stream.setByteOrder(order);
        stream.setFloatingPointPrecision(precision);
    }
};

template<typename T>
constexpr bool isCANopen = std::is_same_v<T, CANopenObjectValue>;

// Calls f with a default record of the type a row names.
template<typename F>
void withType(bool canopen, F f)
{
    canopen ? f(CANopenObjectValue()) : f(J1939Value());
}

// The record behind the literal bytes.
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

// Each field as the hex of its own QDataStream encoding: variants keep their type and null
// flag, doubles their bits.
template<typename... F>
QByteArrayList encode(const F &...field)
{
    QByteArrayList result;
    const auto add = [&result](const auto &one) {
        QByteArray bytes;
        QDataStream out(&bytes, QIODevice::WriteOnly);
        out << one;
        result << bytes.toHex();
    };
    (add(field), ...);
    return result;
}

// The fields the format carries, in stream order, then those it does not.
template<typename T>
QByteArrayList fields(const T &v)
{
    if constexpr (isCANopen<T>) {
        return encode(v.rawValue, v.scaledValue, v.auxByte1, v.auxByte2, v.auxDouble1, v.auxDouble2, v.auxInt)
            + encode(v.auxDouble, v.excluded);
    } else {
        return encode(v.rawValue, v.scaledValue, v.auxInt, v.auxDouble) + encode(v.auxByte1, v.auxByte2, v.excluded);
    }
}

// What a read of `written` into stale<T>() leaves when the stream ends after `complete`
// fields past the version (-1: inside the version): the fields not reached get a failed
// read's zero, those the format does not carry stay.
template<typename T>
QByteArray afterRead(const T &written, int complete = 7)
{
    QByteArrayList result = fields(complete < 0 ? stale<T>() : T());
    const QByteArrayList given = fields(written);
    const QByteArrayList kept = fields(stale<T>());
    const int streamed = isCANopen<T> ? 7 : 4;
    for (int i = 0; i < result.size(); ++i) {
        result[i] = i >= streamed ? kept[i] : i < complete ? given[i] : result[i];
    }
    return result.join(' ');
}

template<typename T>
QByteArray write(const T &record, Format format = {})
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    format.apply(out);
    out << record;
    return bytes;
}

// Reads one record from `bytes` into stale<T>() and checks the record left, the bytes taken
// and the status.
template<typename T>
void verifyRead(QByteArray bytes, const QByteArray &expected, qint64 consumed, int status, Format format = {})
{
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QDataStream in(&buffer);
    format.apply(in);
    T target = stale<T>();
    in >> target;
    QCOMPARE(fields(target).join(' '), expected);
    QCOMPARE(buffer.pos(), consumed);
    QCOMPARE(int(in.status()), status);
}
}

Q_DECLARE_METATYPE(Format)

class TestStreams : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void bytes_data()
    {
        QTest::addColumn<bool>("canopen");
        QTest::addColumn<Format>("format");
        QTest::addColumn<QByteArray>("bytes");

        const Format big;
        const Format little{QDataStream::LittleEndian};
        const Format single{QDataStream::BigEndian, QDataStream::SinglePrecision};
        // Written out by hand from Qt's documented formats: a QVariant is quint32 type,
        // qint8 null flag, then the value (int 2, uint 3, double 6; invalid is type 0, null 1).
        // clang-format off
        QTest::newRow("j1939BigEndianDouble") << false << big << QByteArray::fromHex("0002 00000002 00 fffffffe 00000006 00 3ff8000000000000 01020304 bfe0000000000000");
        QTest::newRow("j1939LittleEndianDouble") << false << little << QByteArray::fromHex("0200 02000000 00 feffffff 06000000 00 000000000000f83f 04030201 000000000000e0bf");
        QTest::newRow("j1939BigEndianSingle") << false << single << QByteArray::fromHex("0002 00000002 00 fffffffe 00000006 00 3fc00000 01020304 bf000000");
        QTest::newRow("canopenBigEndianDoubleAuxByte1Minus1IsFF") << true << big << QByteArray::fromHex("0001 00000003 00 00000007 00000000 01 ff 7f 3ff0000000000000 c000000000000000 11223344");
        QTest::newRow("canopenLittleEndianDouble") << true << little << QByteArray::fromHex("0100 03000000 00 07000000 00000000 01 ff 7f 000000000000f03f 00000000000000c0 44332211");
        // clang-format on
    }

    void bytes()
    {
        QFETCH(bool, canopen);
        QFETCH(Format, format);
        QFETCH(QByteArray, bytes);
        withType(canopen, [&](auto type) {
            using T = decltype(type);
            QCOMPARE(write(simple<T>(), format).toHex(' '), bytes.toHex(' '));
            verifyRead<T>(bytes, afterRead(simple<T>()), bytes.size(), QDataStream::Ok, format);
        });
    }

    // The number goes to auxDouble, or to auxDouble1 and (negated) auxDouble2.
    void roundTrip_data()
    {
        QTest::addColumn<QVariant>("raw");
        QTest::addColumn<QVariant>("scaled");
        QTest::addColumn<double>("number");

        QTest::newRow("longLongAndUInt") << QVariant(qlonglong(-5000000000)) << QVariant(4000000000u) << 1e300;
        QTest::newRow("stringAndInvalid") << QVariant(QStringLiteral("Öl 80 °C")) << QVariant() << -0.0;
        QTest::newRow("nanKeepsItsBits") << QVariant(true) << QVariant(0.1) << std::numeric_limits<double>::quiet_NaN();
    }

    void roundTrip()
    {
        QFETCH(QVariant, raw);
        QFETCH(QVariant, scaled);
        QFETCH(double, number);
        const auto check = [&](auto source) {
            using T = decltype(source);
            source.rawValue = raw;
            source.scaledValue = scaled;
            if constexpr (isCANopen<T>) {
                source.auxDouble1 = number;
                source.auxDouble2 = -number;
            } else {
                source.auxDouble = number;
            }
            const QByteArray bytes = write(source);
            verifyRead<T>(bytes, afterRead(source), bytes.size(), QDataStream::Ok);
        };
        check(simple<J1939Value>());
        check(simple<CANopenObjectValue>());
    }

    // Reads into a stale record from a big-endian stream: the record a reader leaves,
    // how many bytes it takes, and the status.
    void read_data()
    {
        QTest::addColumn<bool>("canopen");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("expected");
        QTest::addColumn<int>("consumed");
        QTest::addColumn<int>("status");

        const int ok = QDataStream::Ok;
        const QByteArray j1939 = write(simple<J1939Value>());
        const QByteArray canopen = write(simple<CANopenObjectValue>());
        const QByteArray j1939Stale = afterRead(J1939Value(), -1);
        J1939Value version1 = simple<J1939Value>();
        version1.auxDouble = stale<J1939Value>().auxDouble;
        const auto cut = [](const char *name, auto type, int length, int complete) {
            using T = decltype(type);
            QTest::newRow(name) << isCANopen<T> << write(simple<T>()).left(length) << afterRead(simple<T>(), complete)
                                << length << int(QDataStream::ReadPastEnd);
        };
        // clang-format off
        QTest::newRow("j1939Version1KeepsAuxDouble") << false << QByteArray::fromHex("0001") + j1939.mid(2, 26) << afterRead(version1) << 28 << ok;
        // A full record body follows the version, so a reader that went on would show.
        QTest::newRow("j1939Version0") << false << QByteArray::fromHex("0000") + j1939.mid(2) << j1939Stale << 2 << ok;
        QTest::newRow("j1939Version3") << false << QByteArray::fromHex("0003") + j1939.mid(2) << j1939Stale << 2 << ok;
        QTest::newRow("j1939VersionMinus1") << false << QByteArray::fromHex("ffff") + j1939.mid(2) << j1939Stale << 2 << ok;
        QTest::newRow("canopenVersion2") << true << QByteArray::fromHex("0002") + canopen.mid(2) << afterRead(CANopenObjectValue(), -1) << 2 << ok;
        cut("j1939CutInVersion", J1939Value(), 1, -1);
        cut("j1939CutInRawVariant", J1939Value(), 5, 0);
        cut("j1939CutInAuxInt", J1939Value(), 26, 2);
        cut("j1939CutInAuxDouble", J1939Value(), 35, 3);
        cut("canopenCutInAuxDouble1", CANopenObjectValue(), 22, 4);
        cut("canopenCutInAuxInt", CANopenObjectValue(), 37, 6);
        // clang-format on
    }

    void read()
    {
        QFETCH(bool, canopen);
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, expected);
        QFETCH(int, consumed);
        QFETCH(int, status);
        withType(canopen, [&](auto type) { verifyRead<decltype(type)>(bytes, expected, consumed, status); });
    }
};

QTEST_GUILESS_MAIN(TestStreams)
#include "tst_streams.moc"
