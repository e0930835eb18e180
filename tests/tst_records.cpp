// SPDX-License-Identifier: LGPL-2.1-or-later
#include <Talveno/Talveno.h>

#include <QtTest>

#include <limits>

Q_DECLARE_METATYPE(CANopenObjectValue)

namespace
{
// Every field as text, so that one comparison covers a whole record; -0 and 0 differ.
QString describeBase(const GenericValue &value)
{
    const auto variant = [](const QVariant &v) {
        return v.isValid() ? QLatin1String(v.typeName()) + QLatin1Char(':') + v.toString() : QStringLiteral("invalid");
    };
    return QStringList{variant(value.rawValue),
                       variant(value.scaledValue),
                       QString::number(value.auxInt),
                       QString::number(value.auxDouble, 'g', 17),
                       QLatin1String(value.excluded ? "true" : "false")}
        .join(QLatin1Char(','));
}

QString describe(const J1939Value &value)
{
    return describeBase(value) + QStringLiteral(",%1,%2").arg(value.auxByte1).arg(value.auxByte2);
}

QString describe(const CANopenObjectValue &value)
{
    return describeBase(value)
        + QStringLiteral(",%1,%2,%3,%4")
              .arg(value.auxByte1)
              .arg(value.auxByte2)
              .arg(value.auxDouble1, 0, 'g', 17)
              .arg(value.auxDouble2, 0, 'g', 17);
}

// Every field set to a value that differs from its default.
template<typename T>
T filled()
{
    T value;
    value.rawValue = QVariant(17);
    value.scaledValue = QVariant(8.5);
    value.auxInt = -42;
    value.auxDouble = 3.25;
    value.excluded = true;
    value.auxByte1 = 100;
    value.auxByte2 = 7;
    return value;
}

CANopenObjectValue filledCANopen()
{
    CANopenObjectValue value = filled<CANopenObjectValue>();
    value.auxByte1 = -100;
    value.auxDouble1 = 1.5;
    value.auxDouble2 = -2.5;
    return value;
}

template<typename T>
void checkCopies(const T &original)
{
    T assigned;
    assigned = original;
    QCOMPARE(describe(T(original)), describe(original));
    QCOMPARE(describe(assigned), describe(original));
}
}

class TestRecords : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void defaultConstruction()
    {
        QCOMPARE(describe(J1939Value()), QStringLiteral("invalid,invalid,0,0,false,0,0"));
        QCOMPARE(describe(CANopenObjectValue()), QStringLiteral("invalid,invalid,0,0,false,0,0,0,0"));
    }

    void copyingPreservesEveryField()
    {
        checkCopies(filled<J1939Value>());
        checkCopies(filledCANopen());
    }

    void canopenEquality_data()
    {
        QTest::addColumn<CANopenObjectValue>("left");
        QTest::addColumn<CANopenObjectValue>("right");
        QTest::addColumn<bool>("equal");

        const CANopenObjectValue base = filledCANopen();
        const auto with = [&base](auto change) {
            CANopenObjectValue changed = base;
            change(changed);
            return changed;
        };
        const double nan = std::numeric_limits<double>::quiet_NaN();
        const CANopenObjectValue nanRecord = with([nan](auto &v) { v.auxDouble2 = nan; });

        QTest::newRow("scaledValueDiffers") << base << with([](auto &v) { v.scaledValue = -1000.0; }) << true;
        QTest::newRow("auxDoubleDiffers") << base << with([](auto &v) { v.auxDouble = 99.0; }) << true;
        QTest::newRow("excludedDiffers") << base << with([](auto &v) { v.excluded = false; }) << true;
        QTest::newRow("auxIntDiffers") << base << with([](auto &v) { v.auxInt = 0; }) << false;
        QTest::newRow("auxByte1Differs") << base << with([](auto &v) { v.auxByte1 = 0; }) << false;
        QTest::newRow("auxByte2Differs") << base << with([](auto &v) { v.auxByte2 = 0; }) << false;
        QTest::newRow("auxDouble1Differs") << base << with([](auto &v) { v.auxDouble1 = 1.5000001; }) << false;
        QTest::newRow("auxDouble2Differs") << base << with([](auto &v) { v.auxDouble2 = 0.0; }) << false;
        QTest::newRow("rawValueDiffers") << base << with([](auto &v) { v.rawValue = 18; }) << false;
        QTest::newRow("nanAuxDouble1BothSides")
            << with([nan](auto &v) { v.auxDouble1 = nan; }) << with([nan](auto &v) { v.auxDouble1 = nan; }) << false;
        QTest::newRow("nanRecordAndItsCopy") << nanRecord << CANopenObjectValue(nanRecord) << false;
        QTest::newRow("signedZerosEqual")
            << with([](auto &v) { v.auxDouble1 = 0.0; }) << with([](auto &v) { v.auxDouble1 = -0.0; }) << true;
        QTest::newRow("rawIntFiveEqualsDoubleFive")
            << with([](auto &v) { v.rawValue = 5; }) << with([](auto &v) { v.rawValue = 5.0; }) << true;
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
