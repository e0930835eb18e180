// SPDX-License-Identifier: LGPL-2.1-or-later
#include <Talveno/Talveno.h>

#include <QBuffer>
#include <QtTest>

#include <cstring>
#include <limits>

Q_DECLARE_METATYPE(J1939Value)
Q_DECLARE_METATYPE(CANopenObjectValue)
Q_DECLARE_METATYPE(QDataStream::ByteOrder)
Q_DECLARE_METATYPE(QDataStream::FloatingPointPrecision)

namespace
{
// The expected bytes are written out by hand from Qt's documented formats:
// a QVariant is quint32 type, qint8 null flag, then the value (int 2, uint 3,
// double 6, QString 10 as byte length and UTF-16; invalid is type 0, null 1).

// rawValue int -2, scaledValue double 1.5, auxInt 0x01020304, auxDouble -0.5.
const char j1939BigEndianHex[] = "0002 00000002 00 fffffffe 00000006 00 3ff8000000000000 01020304 bfe0000000000000";

// rawValue uint 7, scaledValue invalid, auxByte1 -1, auxByte2 127, auxDouble1 1.0,
// auxDouble2 -2.0, auxInt 0x11223344.
const char canopenBigEndianHex[] =
    "0001 00000003 00 00000007 00000000 01 ff 7f 3ff0000000000000 c000000000000000 11223344";

J1939Value simpleJ1939()
{
    J1939Value value;
    value.rawValue = QVariant(-2);
    value.scaledValue = QVariant(1.5);
    value.auxInt = 0x01020304;
    value.auxDouble = -0.5;
    return value;
}

CANopenObjectValue simpleCANopen()
{
    CANopenObjectValue value;
    value.rawValue = QVariant(7u);
    value.auxByte1 = -1;
    value.auxByte2 = 127;
    value.auxDouble1 = 1.0;
    value.auxDouble2 = -2.0;
    value.auxInt = 0x11223344;
    return value;
}

// Fields that a reader must not touch or a writer must not write, all off their defaults.
void setUnstreamed(J1939Value &value)
{
    value.auxByte1 = 0xab;
    value.auxByte2 = 0xcd;
    value.excluded = true;
}

void setUnstreamed(CANopenObjectValue &value)
{
    value.auxDouble = 42.5;
    value.excluded = true;
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
    setUnstreamed(value);
    return value;
}

template<>
CANopenObjectValue stale<CANopenObjectValue>()
{
    CANopenObjectValue value;
    value.rawValue = QVariant(QStringLiteral("stale"));
    value.scaledValue = QVariant(-99.0);
    value.auxInt = 77;
    value.auxByte1 = 5;
    value.auxByte2 = 6;
    value.auxDouble1 = 8.5;
    value.auxDouble2 = 9.5;
    setUnstreamed(value);
    return value;
}

bool sameBits(double a, double b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

void verifySameVariant(const QVariant &actual, const QVariant &expected)
{
    QCOMPARE(actual.userType(), expected.userType());
    QCOMPARE(actual.isNull(), expected.isNull());
    QCOMPARE(actual, expected);
}

void verifySame(const J1939Value &actual, const J1939Value &expected)
{
    verifySameVariant(actual.rawValue, expected.rawValue);
    verifySameVariant(actual.scaledValue, expected.scaledValue);
    QCOMPARE(actual.auxInt, expected.auxInt);
    QVERIFY2(sameBits(actual.auxDouble, expected.auxDouble), qPrintable(QString::number(actual.auxDouble)));
    QCOMPARE(actual.excluded, expected.excluded);
    QCOMPARE(actual.auxByte1, expected.auxByte1);
    QCOMPARE(actual.auxByte2, expected.auxByte2);
}

void verifySame(const CANopenObjectValue &actual, const CANopenObjectValue &expected)
{
    verifySameVariant(actual.rawValue, expected.rawValue);
    verifySameVariant(actual.scaledValue, expected.scaledValue);
    QCOMPARE(actual.auxInt, expected.auxInt);
    QVERIFY(sameBits(actual.auxDouble, expected.auxDouble));
    QCOMPARE(actual.excluded, expected.excluded);
    QCOMPARE(actual.auxByte1, expected.auxByte1);
    QCOMPARE(actual.auxByte2, expected.auxByte2);
    QVERIFY2(sameBits(actual.auxDouble1, expected.auxDouble1), qPrintable(QString::number(actual.auxDouble1)));
    QVERIFY2(sameBits(actual.auxDouble2, expected.auxDouble2), qPrintable(QString::number(actual.auxDouble2)));
}

void configure(QDataStream &stream,
               QDataStream::ByteOrder order,
               QDataStream::FloatingPointPrecision precision,
               int version = QDataStream::Qt_5_15)
{
    stream.setVersion(version);
    stream.setByteOrder(order);
    stream.setFloatingPointPrecision(precision);
}

void verifySettingsKept(const QDataStream &stream,
                        QDataStream::ByteOrder order,
                        QDataStream::FloatingPointPrecision precision,
                        int version = QDataStream::Qt_5_15)
{
    QCOMPARE(stream.version(), version);
    QCOMPARE(stream.byteOrder(), order);
    QCOMPARE(stream.floatingPointPrecision(), precision);
}

// The fields after the version, in stream order; a short stream leaves the first
// fieldsRead of them as written and stores 0 or an invalid QVariant in the rest.
J1939Value partlyRead(const J1939Value &written, int fieldsRead)
{
    J1939Value value = stale<J1939Value>();
    value.rawValue = fieldsRead > 0 ? written.rawValue : QVariant();
    value.scaledValue = fieldsRead > 1 ? written.scaledValue : QVariant();
    value.auxInt = fieldsRead > 2 ? written.auxInt : 0;
    value.auxDouble = fieldsRead > 3 ? written.auxDouble : 0.0;
    return value;
}

CANopenObjectValue partlyRead(const CANopenObjectValue &written, int fieldsRead)
{
    CANopenObjectValue value = stale<CANopenObjectValue>();
    value.rawValue = fieldsRead > 0 ? written.rawValue : QVariant();
    value.scaledValue = fieldsRead > 1 ? written.scaledValue : QVariant();
    value.auxByte1 = fieldsRead > 2 ? written.auxByte1 : 0;
    value.auxByte2 = fieldsRead > 3 ? written.auxByte2 : 0;
    value.auxDouble1 = fieldsRead > 4 ? written.auxDouble1 : 0.0;
    value.auxDouble2 = fieldsRead > 5 ? written.auxDouble2 : 0.0;
    value.auxInt = fieldsRead > 6 ? written.auxInt : 0;
    return value;
}

template<typename T>
void verifyBytes()
{
    QFETCH(QDataStream::ByteOrder, order);
    QFETCH(QDataStream::FloatingPointPrecision, precision);
    QFETCH(T, record);
    QFETCH(QByteArray, bytes);

    QByteArray written;
    QDataStream out(&written, QIODevice::WriteOnly);
    configure(out, order, precision);
    out << record;
    QCOMPARE(written.toHex(' '), bytes.toHex(' '));
    QCOMPARE(out.status(), QDataStream::Ok);
    verifySettingsKept(out, order, precision);

    QDataStream in(bytes);
    configure(in, order, precision);
    T read;
    setUnstreamed(read);
    in >> read;
    T expected = record;
    setUnstreamed(expected);
    verifySame(read, expected);
    QVERIFY(in.atEnd());
    QCOMPARE(in.status(), QDataStream::Ok);
    verifySettingsKept(in, order, precision);
}

template<typename T>
void verifyRoundTrip(const T &source,
                     int version,
                     QDataStream::ByteOrder order,
                     QDataStream::FloatingPointPrecision precision)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    configure(out, order, precision, version);
    out << source;

    QDataStream in(bytes);
    configure(in, order, precision, version);
    T target = stale<T>();
    in >> target;
    T expected = source;
    setUnstreamed(expected);
    verifySame(target, expected);
    QVERIFY(in.atEnd());
    QCOMPARE(in.status(), QDataStream::Ok);
}

template<typename T>
void verifyUntouchedRead(const QByteArray &bytes, qint64 consumed, QDataStream::Status status, const T &expected)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QDataStream in(&buffer);
    configure(in, QDataStream::BigEndian, QDataStream::DoublePrecision);
    T target = stale<T>();
    in >> target;
    QCOMPARE(buffer.pos(), consumed);
    QCOMPARE(in.status(), status);
    verifySame(target, expected);
}
}

class TestStreams : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void j1939Bytes_data()
    {
        QTest::addColumn<QDataStream::ByteOrder>("order");
        QTest::addColumn<QDataStream::FloatingPointPrecision>("precision");
        QTest::addColumn<J1939Value>("record");
        QTest::addColumn<QByteArray>("bytes");

        J1939Value simple = simpleJ1939();
        setUnstreamed(simple);
        QTest::newRow("bigEndianDouble") << QDataStream::BigEndian << QDataStream::DoublePrecision << simple
                                         << QByteArray::fromHex(j1939BigEndianHex);
        QTest::newRow("littleEndianDouble")
            << QDataStream::LittleEndian << QDataStream::DoublePrecision << simple
            << QByteArray::fromHex("0200 02000000 00 feffffff 06000000 00 000000000000f83f 04030201 000000000000e0bf");
        QTest::newRow("bigEndianSingle") << QDataStream::BigEndian << QDataStream::SinglePrecision << simple
                                         << QByteArray::fromHex("0002 00000002 00 fffffffe 00000006 00 3fc00000 "
                                                                "01020304 bf000000");

        J1939Value text;
        text.scaledValue = QVariant(QStringLiteral("Ab"));
        text.auxInt = -1;
        QTest::newRow("invalidRawStringScaled")
            << QDataStream::BigEndian << QDataStream::DoublePrecision << text
            << QByteArray::fromHex("0002 00000000 01 0000000a 00 00000004 0041 0062 ffffffff 0000000000000000");
    }

    void j1939Bytes()
    {
        verifyBytes<J1939Value>();
    }

    void canopenBytes_data()
    {
        QTest::addColumn<QDataStream::ByteOrder>("order");
        QTest::addColumn<QDataStream::FloatingPointPrecision>("precision");
        QTest::addColumn<CANopenObjectValue>("record");
        QTest::addColumn<QByteArray>("bytes");

        CANopenObjectValue simple = simpleCANopen();
        setUnstreamed(simple);
        QTest::newRow("bigEndianDoubleAuxByte1Minus1IsFF") << QDataStream::BigEndian << QDataStream::DoublePrecision
                                                           << simple << QByteArray::fromHex(canopenBigEndianHex);
        QTest::newRow("littleEndianDouble")
            << QDataStream::LittleEndian << QDataStream::DoublePrecision << simple
            << QByteArray::fromHex("0100 03000000 00 07000000 00000000 01 ff 7f 000000000000f03f 00000000000000c0 "
                                   "44332211");
        QTest::newRow("bigEndianSingle")
            << QDataStream::BigEndian << QDataStream::SinglePrecision << simple
            << QByteArray::fromHex("0001 00000003 00 00000007 00000000 01 ff 7f 3f800000 c0000000 11223344");
    }

    void canopenBytes()
    {
        verifyBytes<CANopenObjectValue>();
    }

    // Each case runs for both records: the doubles go to auxDouble, or to
    // auxDouble1 and (negated) auxDouble2.
    void roundTrip_data()
    {
        QTest::addColumn<bool>("canopen");
        QTest::addColumn<int>("version");
        QTest::addColumn<QDataStream::ByteOrder>("order");
        QTest::addColumn<QDataStream::FloatingPointPrecision>("precision");
        QTest::addColumn<QVariant>("raw");
        QTest::addColumn<QVariant>("scaled");
        QTest::addColumn<double>("number");

        const auto addBoth = [](const char *name,
                                int version,
                                QDataStream::ByteOrder order,
                                QDataStream::FloatingPointPrecision precision,
                                const QVariant &raw,
                                const QVariant &scaled,
                                double number) {
            for (const bool canopen : {false, true}) {
                QTest::addRow("%s%s", canopen ? "canopen" : "j1939", name)
                    << canopen << version << order << precision << raw << scaled << number;
            }
        };
        addBoth("LongLongAndUIntLittleEndian",
                QDataStream::Qt_5_15,
                QDataStream::LittleEndian,
                QDataStream::DoublePrecision,
                QVariant(qlonglong(-5000000000)),
                QVariant(4000000000u),
                1e300);
        addBoth("StringAndInvalid",
                QDataStream::Qt_5_15,
                QDataStream::BigEndian,
                QDataStream::DoublePrecision,
                QVariant(QStringLiteral("Öl 80 °C")),
                QVariant(),
                -0.0);
        addBoth("NaNKeepsItsBits",
                QDataStream::Qt_5_15,
                QDataStream::BigEndian,
                QDataStream::DoublePrecision,
                QVariant(true),
                QVariant(0.1),
                std::numeric_limits<double>::quiet_NaN());
        addBoth("SinglePrecisionExactValues",
                QDataStream::Qt_5_15,
                QDataStream::LittleEndian,
                QDataStream::SinglePrecision,
                QVariant(3),
                QVariant(2.5),
                0.25);
        // Before Qt 5.0 an invalid QVariant carried an empty string: the variant
        // format follows the stream's version.
        addBoth("Qt4_0InvalidVariant",
                QDataStream::Qt_4_0,
                QDataStream::BigEndian,
                QDataStream::DoublePrecision,
                QVariant(),
                QVariant(12),
                0.5);
    }

    void roundTrip()
    {
        QFETCH(bool, canopen);
        QFETCH(int, version);
        QFETCH(QDataStream::ByteOrder, order);
        QFETCH(QDataStream::FloatingPointPrecision, precision);
        QFETCH(QVariant, raw);
        QFETCH(QVariant, scaled);
        QFETCH(double, number);

        if (canopen) {
            CANopenObjectValue source;
            source.rawValue = raw;
            source.scaledValue = scaled;
            source.auxByte1 = -128;
            source.auxByte2 = 127;
            source.auxDouble1 = number;
            source.auxDouble2 = -number;
            source.auxInt = std::numeric_limits<qint32>::min();
            verifyRoundTrip(source, version, order, precision);
        } else {
            J1939Value source;
            source.rawValue = raw;
            source.scaledValue = scaled;
            source.auxInt = std::numeric_limits<qint32>::max();
            source.auxDouble = number;
            verifyRoundTrip(source, version, order, precision);
        }
    }

    void j1939Version1KeepsAuxDouble_data()
    {
        QTest::addColumn<QDataStream::ByteOrder>("order");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("bigEndian") << QDataStream::BigEndian
                                   << QByteArray::fromHex("0001 00000002 00 00000003 00000000 01 fffffff9");
        QTest::newRow("littleEndian") << QDataStream::LittleEndian
                                      << QByteArray::fromHex("0100 02000000 00 03000000 00000000 01 f9ffffff");
    }

    void j1939Version1KeepsAuxDouble()
    {
        QFETCH(QDataStream::ByteOrder, order);
        QFETCH(QByteArray, bytes);

        QDataStream in(bytes);
        configure(in, order, QDataStream::DoublePrecision);
        J1939Value target = stale<J1939Value>();
        in >> target;
        J1939Value expected = stale<J1939Value>();
        expected.rawValue = QVariant(3);
        expected.scaledValue = QVariant();
        expected.auxInt = -7;
        verifySame(target, expected);
        QVERIFY(in.atEnd());
        QCOMPARE(in.status(), QDataStream::Ok);
    }

    // A full record body follows the version, so a reader that went on would show.
    void unacceptedVersionConsumesTwoBytes_data()
    {
        QTest::addColumn<bool>("canopen");
        QTest::addColumn<QByteArray>("bytes");

        const QByteArray j1939Body = QByteArray::fromHex(j1939BigEndianHex).mid(2);
        const QByteArray canopenBody = QByteArray::fromHex(canopenBigEndianHex).mid(2);
        QTest::newRow("j1939Version0") << false << QByteArray::fromHex("0000") + j1939Body;
        QTest::newRow("j1939Version3") << false << QByteArray::fromHex("0003") + j1939Body;
        QTest::newRow("j1939VersionMinus1") << false << QByteArray::fromHex("ffff") + j1939Body;
        QTest::newRow("canopenVersion0") << true << QByteArray::fromHex("0000") + canopenBody;
        QTest::newRow("canopenVersion2") << true << QByteArray::fromHex("0002") + canopenBody;
        QTest::newRow("canopenVersion3") << true << QByteArray::fromHex("0003") + canopenBody;
        QTest::newRow("canopenVersionMinus1") << true << QByteArray::fromHex("ffff") + canopenBody;
    }

    void unacceptedVersionConsumesTwoBytes()
    {
        QFETCH(bool, canopen);
        QFETCH(QByteArray, bytes);
        if (canopen) {
            verifyUntouchedRead(bytes, 2, QDataStream::Ok, stale<CANopenObjectValue>());
        } else {
            verifyUntouchedRead(bytes, 2, QDataStream::Ok, stale<J1939Value>());
        }
    }

    // Cuts of the big-endian records above: fieldsRead counts the fields after the
    // version that were complete, -1 when the version itself was cut.
    void shortStream_data()
    {
        QTest::addColumn<bool>("canopen");
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("fieldsRead");

        QTest::newRow("j1939Empty") << false << 0 << -1;
        QTest::newRow("j1939HalfVersion") << false << 1 << -1;
        QTest::newRow("j1939VersionOnly") << false << 2 << 0;
        QTest::newRow("j1939CutInRawType") << false << 5 << 0;
        QTest::newRow("j1939CutInAuxInt") << false << 26 << 2;
        QTest::newRow("j1939NoAuxDouble") << false << 28 << 3;
        QTest::newRow("j1939LastByteMissing") << false << 35 << 3;
        QTest::newRow("canopenHalfVersion") << true << 1 << -1;
        QTest::newRow("canopenVersionOnly") << true << 2 << 0;
        QTest::newRow("canopenCutInAuxDouble1") << true << 22 << 4;
        QTest::newRow("canopenNoAuxInt") << true << 34 << 6;
        QTest::newRow("canopenLastByteMissing") << true << 37 << 6;
    }

    void shortStream()
    {
        QFETCH(bool, canopen);
        QFETCH(int, length);
        QFETCH(int, fieldsRead);

        if (canopen) {
            const QByteArray bytes = QByteArray::fromHex(canopenBigEndianHex);
            QCOMPARE(bytes.size(), 38);
            const CANopenObjectValue expected =
                fieldsRead < 0 ? stale<CANopenObjectValue>() : partlyRead(simpleCANopen(), fieldsRead);
            verifyUntouchedRead(bytes.left(length), length, QDataStream::ReadPastEnd, expected);
        } else {
            const QByteArray bytes = QByteArray::fromHex(j1939BigEndianHex);
            QCOMPARE(bytes.size(), 36);
            const J1939Value expected = fieldsRead < 0 ? stale<J1939Value>() : partlyRead(simpleJ1939(), fieldsRead);
            verifyUntouchedRead(bytes.left(length), length, QDataStream::ReadPastEnd, expected);
        }
    }
};

QTEST_GUILESS_MAIN(TestStreams)
#include "tst_streams.moc"
