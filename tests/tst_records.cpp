// SPDX-License-Identifier: LGPL-2.1-or-later
#include <Talveno/Talveno.h>

#include <QtTest>

#include <cmath>
#include <limits>

Q_DECLARE_METATYPE(CANopenObjectValue)

namespace
{
// Every field set to a value that differs from its default.
template<typename T>
T filledBase()
{
    T value;
    value.rawValue = QVariant(17);
    value.scaledValue = QVariant(8.5);
    value.auxInt = -42;
    value.auxDouble = 3.25;
    value.excluded = true;
    return value;
}

J1939Value filledJ1939()
{
    J1939Value value = filledBase<J1939Value>();
    value.auxByte1 = 200;
    value.auxByte2 = 7;
    return value;
}

CANopenObjectValue filledCANopen()
{
    CANopenObjectValue value = filledBase<CANopenObjectValue>();
    value.auxByte1 = -100;
    value.auxByte2 = 99;
    value.auxDouble1 = 1.5;
    value.auxDouble2 = -2.5;
    return value;
}

template<typename T>
void verifyDefaultBase(const T &value)
{
    QVERIFY(!value.rawValue.isValid());
    QVERIFY(!value.scaledValue.isValid());
    QCOMPARE(value.auxInt, 0);
    QVERIFY(value.auxDouble == 0.0);
    QCOMPARE(value.excluded, false);
}

template<typename T>
void verifySameBase(const T &copy, const T &original)
{
    QCOMPARE(copy.rawValue, original.rawValue);
    QCOMPARE(copy.scaledValue, original.scaledValue);
    QCOMPARE(copy.auxInt, original.auxInt);
    QVERIFY(copy.auxDouble == original.auxDouble);
    QCOMPARE(copy.excluded, original.excluded);
}
}

class TestRecords : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void defaultConstruction()
    {
        const J1939Value j1939;
        verifyDefaultBase(j1939);
        QCOMPARE(j1939.auxByte1, quint8(0));
        QCOMPARE(j1939.auxByte2, quint8(0));

        const CANopenObjectValue canopen;
        verifyDefaultBase(canopen);
        QCOMPARE(canopen.auxByte1, qint8(0));
        QCOMPARE(canopen.auxByte2, qint8(0));
        QVERIFY(canopen.auxDouble1 == 0.0);
        QVERIFY(canopen.auxDouble2 == 0.0);
        // Defined own fields make a default record equal to another default record.
        QVERIFY(canopen == CANopenObjectValue());
    }

    void copyingPreservesEveryField()
    {
        const J1939Value j1939 = filledJ1939();
        J1939Value j1939Assigned;
        j1939Assigned = j1939;
        for (const J1939Value &copy : {J1939Value(j1939), j1939Assigned}) {
            verifySameBase(copy, j1939);
            QCOMPARE(copy.auxByte1, j1939.auxByte1);
            QCOMPARE(copy.auxByte2, j1939.auxByte2);
        }

        const CANopenObjectValue canopen = filledCANopen();
        CANopenObjectValue canopenAssigned;
        canopenAssigned = canopen;
        for (const CANopenObjectValue &copy : {CANopenObjectValue(canopen), canopenAssigned}) {
            verifySameBase(copy, canopen);
            QCOMPARE(copy.auxByte1, canopen.auxByte1);
            QCOMPARE(copy.auxByte2, canopen.auxByte2);
            QVERIFY(copy.auxDouble1 == canopen.auxDouble1);
            QVERIFY(copy.auxDouble2 == canopen.auxDouble2);
        }
    }

    void canopenEquality_data()
    {
        QTest::addColumn<CANopenObjectValue>("left");
        QTest::addColumn<CANopenObjectValue>("right");
        QTest::addColumn<bool>("equal");

        const CANopenObjectValue base = filledCANopen();
        const double nan = std::numeric_limits<double>::quiet_NaN();
        CANopenObjectValue other = base;

        QTest::newRow("identical") << base << base << true;
        other.scaledValue = QVariant(-1000.0);
        QTest::newRow("scaledValueDiffers") << base << other << true;
        other = base;
        other.auxDouble = 99.0;
        QTest::newRow("auxDoubleDiffers") << base << other << true;
        other = base;
        other.excluded = false;
        QTest::newRow("excludedDiffers") << base << other << true;
        other = base;
        other.auxInt = base.auxInt + 1;
        QTest::newRow("auxIntDiffers") << base << other << false;
        other = base;
        other.auxByte1 = 0;
        QTest::newRow("auxByte1Differs") << base << other << false;
        other = base;
        other.auxByte2 = 0;
        QTest::newRow("auxByte2Differs") << base << other << false;
        other = base;
        other.auxDouble1 = 1.5000001;
        QTest::newRow("auxDouble1Differs") << base << other << false;
        other = base;
        other.auxDouble2 = 0.0;
        QTest::newRow("auxDouble2Differs") << base << other << false;
        other = base;
        other.rawValue = QVariant(18);
        QTest::newRow("rawValueDiffers") << base << other << false;

        CANopenObjectValue nanRecord = base;
        nanRecord.auxDouble1 = nan;
        QTest::newRow("nanAuxDouble1BothSides") << nanRecord << nanRecord << false;
        nanRecord = base;
        nanRecord.auxDouble2 = nan;
        QTest::newRow("nanAuxDouble2OwnCopy") << nanRecord << CANopenObjectValue(nanRecord) << false;

        CANopenObjectValue positiveZero = base;
        positiveZero.auxDouble1 = 0.0;
        CANopenObjectValue negativeZero = base;
        negativeZero.auxDouble1 = -0.0;
        QTest::newRow("signedZerosEqual") << positiveZero << negativeZero << true;

        CANopenObjectValue intFive = base;
        intFive.rawValue = QVariant(5);
        CANopenObjectValue doubleFive = base;
        doubleFive.rawValue = QVariant(5.0);
        QTest::newRow("rawIntFiveEqualsDoubleFive") << intFive << doubleFive << true;
    }

    void canopenEquality()
    {
        QFETCH(CANopenObjectValue, left);
        QFETCH(CANopenObjectValue, right);
        QFETCH(bool, equal);
        QCOMPARE(left == right, equal);
        QCOMPARE(right == left, equal);
    }

    void valueToFloat_data()
    {
        QTest::addColumn<QVariant>("raw");
        QTest::addColumn<QVariant>("scaled");
        QTest::addColumn<float>("expectedRaw");
        QTest::addColumn<float>("expectedScaled");

        QTest::newRow("numbers") << QVariant(3) << QVariant(2.5) << 3.0f << 2.5f;
        QTest::newRow("stringOfDigitsConverts") << QVariant(QStringLiteral("1.25")) << QVariant(-7) << 1.25f << -7.0f;
        QTest::newRow("lettersGiveZero") << QVariant(QStringLiteral("abc")) << QVariant(QStringLiteral("x1")) << 0.0f
                                         << 0.0f;
        QTest::newRow("invalidGivesZero") << QVariant() << QVariant() << 0.0f << 0.0f;
    }

    void valueToFloat()
    {
        QFETCH(QVariant, raw);
        QFETCH(QVariant, scaled);
        QFETCH(float, expectedRaw);
        QFETCH(float, expectedScaled);
        J1939Value value;
        value.rawValue = raw;
        value.scaledValue = scaled;
        QVERIFY(value.valueToFloat(false) == expectedRaw);
        QVERIFY(value.valueToFloat(true) == expectedScaled);
    }

    void markerIsConstructible()
    {
        const LibTalveno marker;
        Q_UNUSED(marker)
    }
};

QTEST_GUILESS_MAIN(TestRecords)
#include "tst_records.moc"
