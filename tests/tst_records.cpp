// SPDX-License-Identifier: LGPL-2.1-or-later
#include <Talveno/Talveno.h>

#include <QtTest>

#include <limits>

Q_DECLARE_METATYPE(CANopenObjectValue)

class TestRecords : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Members set explicitly, so that a default record copies, compares and streams the same every time.
    void defaultConstruction()
    {
        const J1939Value j;
        QVERIFY(!j.rawValue.isValid());
        QVERIFY(!j.scaledValue.isValid());
        QVERIFY(!j.excluded);
        QVERIFY(j.auxInt == 0);
        QVERIFY(j.auxDouble == 0.0);
        QVERIFY(j.auxByte1 == 0);
        QVERIFY(j.auxByte2 == 0);
        const CANopenObjectValue c;
        QVERIFY(c.auxByte1 == 0);
        QVERIFY(c.auxByte2 == 0);
        QVERIFY(c.auxDouble1 == 0.0);
        QVERIFY(c.auxDouble2 == 0.0);
    }

    void canopenEquality_data()
    {
        QTest::addColumn<CANopenObjectValue>("left");
        QTest::addColumn<CANopenObjectValue>("right");
        QTest::addColumn<bool>("equal");
        const auto with = [](auto change) {
            CANopenObjectValue value;
            value.rawValue = 17;
            value.auxInt = -42;
            value.auxByte1 = -100;
            value.auxByte2 = 7;
            value.auxDouble1 = 1.5;
            value.auxDouble2 = -2.5;
            change(value);
            return value;
        };
        const CANopenObjectValue base = with([](auto &) {});
        const double nan = std::numeric_limits<double>::quiet_NaN();
        const CANopenObjectValue nan2 = with([nan](auto &v) { v.auxDouble2 = nan; });
        QTest::newRow("scaledValueIgnored") << base << with([](auto &v) { v.scaledValue = 8.5; }) << true;
        QTest::newRow("auxDoubleIgnored") << base << with([](auto &v) { v.auxDouble = 99.0; }) << true;
        QTest::newRow("excludedIgnored") << base << with([](auto &v) { v.excluded = true; }) << true;
        QTest::newRow("rawValueDiffers") << base << with([](auto &v) { v.rawValue = 18; }) << false;
        QTest::newRow("auxByte1Differs") << base << with([](auto &v) { v.auxByte1 = 0; }) << false;
        QTest::newRow("auxByte2Differs") << base << with([](auto &v) { v.auxByte2 = 0; }) << false;
        QTest::newRow("auxDouble1Differs") << base << with([](auto &v) { v.auxDouble1 = 1.5000001; }) << false;
        QTest::newRow("auxDouble2Differs") << base << with([](auto &v) { v.auxDouble2 = 0.0; }) << false;
        QTest::newRow("auxIntDiffers") << base << with([](auto &v) { v.auxInt = 0; }) << false;
        QTest::newRow("nanAuxDouble1BothSides")
            << with([nan](auto &v) { v.auxDouble1 = nan; }) << with([nan](auto &v) { v.auxDouble1 = nan; }) << false;
        QTest::newRow("nanAuxDouble2RecordAndItsCopy") << nan2 << CANopenObjectValue(nan2) << false;
        QTest::newRow("signedZerosEqual")
            << with([](auto &v) { v.auxDouble1 = 0.0; }) << with([](auto &v) { v.auxDouble1 = -0.0; }) << true;
        QTest::newRow("rawIntFiveEqualsDoubleFive")
            << with([](auto &v) { v.rawValue = 5; }) << with([](auto &v) { v.rawValue = 5.0; }) << true;
    }

    void canopenEquality()
    {
        QFETCH(CANopenObjectValue, left);
        QFETCH(CANopenObjectValue, right);
        QTEST(left == right, "equal");
        QTEST(right == left, "equal");
    }
};

QTEST_GUILESS_MAIN(TestRecords)
#include "tst_records.moc"
