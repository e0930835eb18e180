// SPDX-License-Identifier: LGPL-2.1-or-later
#include <Talveno/Talveno.h>

#include <QtTest>

#include <cmath>
#include <cstring>
#include <limits>

namespace
{
using Signal = GenericSignalImpl<J1939Value>;

CAN::CANopenDataType dataType(int value)
{
    return static_cast<CAN::CANopenDataType>(value);
}

J1939Value sample(const QVariant &raw, const QVariant &scaled = QVariant(), bool excluded = false)
{
    J1939Value value;
    value.rawValue = raw;
    value.scaledValue = scaled;
    value.excluded = excluded;
    return value;
}

// QVariant's own equality is fuzzy for floating point; scaled values are exact.
bool identical(const QVariant &actual, const QVariant &expected)
{
    if (actual.userType() != expected.userType()) {
        return false;
    }
    if (actual.userType() == QMetaType::Double) {
        const double a = actual.toDouble();
        const double b = expected.toDouble();
        return std::memcmp(&a, &b, sizeof a) == 0;
    }
    if (actual.userType() == QMetaType::Float) {
        const float a = actual.value<float>();
        const float b = expected.value<float>();
        return std::memcmp(&a, &b, sizeof a) == 0;
    }
    return actual == expected;
}

QByteArray describe(const QVariant &value)
{
    return QByteArray(value.typeName() ? value.typeName() : "invalid") + ' '
        + value.toString().toLatin1();
}

constexpr double notANumber = std::numeric_limits<double>::quiet_NaN();
constexpr qint64 int64Min = std::numeric_limits<qint64>::min();
constexpr quint64 twoTo63 = quint64(1) << 63;
}

class TestScaling : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup();
    void scaledIntake_data();
    void scaledIntake();
    void excludedSampleIsStillFed();
    void appendValuesRescalesWholeHistory();
    void updateScaledValuesLeavesCalculatorAndCopies();
    void refusedIntakeChangesNothing();
    void replacePolicyFeedsEveryIntake();
};

void TestScaling::cleanup()
{
    GenericSignal::setMaxValueCount(1000);
}

void TestScaling::scaledIntake_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QVariant>("raw");
    QTest::addColumn<double>("factor");
    QTest::addColumn<double>("offset");
    QTest::addColumn<bool>("excluded");
    QTest::addColumn<QVariant>("incoming");
    QTest::addColumn<QVariant>("expected");

    const auto row = [](const char *name, int type, const QVariant &raw, double factor, double offset,
                        const QVariant &expected) {
        QTest::newRow(name) << type << raw << factor << offset << false << QVariant() << expected;
    };

    // Raw 3 with factor 0.5 and offset 0.5 for every data type: whole-number types
    // give 1 (1.5 cut to 1, plus 0.5 cut to 1), the floating types 2, and the
    // types without a numeric type the raw int 3 itself.
    const QVariant copy(3);
    const QVariant narrow(1);
    const QVariant typeResults[] = {
        QVariant(2.0), copy, narrow, narrow, narrow, narrow, narrow, QVariant(1u), QVariant(2.0f),
        copy, copy, copy, copy, copy, copy, copy,
        narrow, QVariant(2.0), narrow, copy, copy, QVariant(qlonglong(1)), QVariant(1u), copy,
        QVariant(qulonglong(1)), QVariant(qulonglong(1)), copy, QVariant(qulonglong(1)), copy};
    for (int type = 0; type <= 28; ++type) {
        QTest::addRow("dataType%d", type) << type << QVariant(3) << 0.5 << 0.5 << false << QVariant()
                                          << typeResults[type];
    }
    row("dataTypeMinus1Copies", -1, QVariant(3), 0.5, 0.5, copy);

    row("qint32CutsProductBeforeOffset", 4, QVariant(3), 0.5, 0.5, QVariant(1));
    row("qint32NegativeCutsTowardZero", 4, QVariant(-3), 0.5, 0.5, QVariant(0));
    row("qint32ReadsDigitString", 4, QVariant(QStringLiteral("12")), 1.0, 0.0, QVariant(12));
    row("qint32LettersGiveCutOffset", 4, QVariant(QStringLiteral("abc")), 2.0, 7.9, QVariant(7));
    row("qint32ClampsHugeProduct", 4, QVariant(1073741824), 4.0, 0.0, QVariant(std::numeric_limits<int>::min()));
    row("qint32ClampsOffsetOverflow", 4, QVariant(2147483647), 1.0, 1.0,
        QVariant(std::numeric_limits<int>::min()));
    row("qint32NanProductClampsBeforeOffset", 4, QVariant(1), notANumber, 10.0, QVariant(-2147483638));
    row("qint32NanOffsetClamps", 4, QVariant(1), 1.0, notANumber, QVariant(std::numeric_limits<int>::min()));
    row("doubleHasNoTruncation", 0, QVariant(501), 0.5, -40.25, QVariant(210.25));
    row("realDoubleHasNoTruncation", 17, QVariant(501), 0.5, -40.25, QVariant(210.25));
    row("doubleLettersGiveOffset", 0, QVariant(QStringLiteral("abc")), 2.0, 7.9, QVariant(7.9));

    row("qint8Wraps200ToMinus56", 2, QVariant(100), 2.0, 0.0, QVariant(-56));
    row("qint8Wraps300To44", 18, QVariant(100), 3.0, 0.0, QVariant(44));
    row("qint8Takes32767AsMinus1", 2, QVariant(1), 32767.0, 0.0, QVariant(-1));
    row("qint8Beyond16BitsGivesZeroBeforeOffset", 2, QVariant(100), 400.0, 3.0, QVariant(3));
    row("qint8BelowMinus32768GivesZero", 2, QVariant(100), -400.0, 0.0, QVariant(0));
    row("qint8NanGivesZero", 2, QVariant(1), 1.0, notANumber, QVariant(0));
    row("quint8Wraps300To44", 5, QVariant(3), 100.0, 0.0, QVariant(44));
    row("quint8WrapsMinus1To255", 5, QVariant(1), -1.0, 0.0, QVariant(255));
    row("quint8Beyond16BitsGivesZero", 5, QVariant(200), 200.0, 0.0, QVariant(0));
    row("quint8NanGivesZero", 5, QVariant(1), 1.0, notANumber, QVariant(0));
    row("qint16ClampsProductBeforeOffset", 3, QVariant(1000), 100.0, 5.0, QVariant(-32763));
    row("qint16ClampsProduct", 3, QVariant(1000), 100.0, 0.0, QVariant(-32768));
    row("qint16ClampsNegativeProduct", 3, QVariant(-1000), 100.0, 0.0, QVariant(-32768));
    row("qint16ClampsOffsetOverflow", 3, QVariant(32767), 1.0, 1.0, QVariant(-32768));
    row("qint16NanClamps", 3, QVariant(1), 1.0, notANumber, QVariant(-32768));
    row("quint16Wraps70000To4464", 6, QVariant(7), 10000.0, 0.0, QVariant(4464));
    row("quint16WrapsMinus1To65535", 6, QVariant(1), -1.0, 0.0, QVariant(65535));
    row("quint16Beyond32BitsGivesZero", 6, QVariant(60000), 60000.0, 0.0, QVariant(0));
    row("quint16NanGivesZero", 6, QVariant(1), 1.0, notANumber, QVariant(0));
    row("quint32WrapsMinus1", 7, QVariant(1), -1.0, 0.0, QVariant(4294967295u));
    row("quint32KeepsLow32Bits", 22, QVariant(4294967295u), 2.0, 0.0, QVariant(4294967294u));
    row("quint32Beyond64BitsGivesZero", 7, QVariant(4294967295u), 3e9, 0.0, QVariant(0u));
    row("quint32NanGivesZero", 7, QVariant(1), 1.0, notANumber, QVariant(0u));
    row("qint64ClampsHugeProduct", 21, QVariant(qlonglong(1) << 62), 4.0, 0.0, QVariant(qlonglong(int64Min)));
    row("qint64ClampsHugeNegativeProduct", 21, QVariant(-(qlonglong(1) << 62)), 4.0, 0.0,
        QVariant(qlonglong(int64Min)));
    row("qint64NanClamps", 21, QVariant(1), 1.0, notANumber, QVariant(qlonglong(int64Min)));
    row("qint64LosesBitsBeyond2To53", 21, QVariant((qlonglong(1) << 53) + 1), 1.0, 0.0,
        QVariant(qlonglong(1) << 53));
    row("quint64KeepsUpperHalfExact", 24, QVariant(qulonglong(twoTo63)), 1.5, 0.0,
        QVariant(qulonglong(13835058055282163712ULL)));
    row("quint64WrapsMinus1", 25, QVariant(0), 1.0, -1.0, QVariant(qulonglong(~quint64(0))));
    row("quint64MinusOneProductRoundsTo2To64", 27, QVariant(1), -1.0, 0.0, QVariant(qulonglong(0)));
    row("quint64At2To64GivesZeroBeforeOffset", 24, QVariant(qulonglong(twoTo63)), 2.0, 5.0,
        QVariant(qulonglong(5)));
    row("quint64BelowMinus2To63Gives2To63", 24, QVariant(qulonglong(twoTo63)), -2.0, 0.0,
        QVariant(qulonglong(twoTo63)));
    row("quint64NanGives2To63", 24, QVariant(1), 1.0, notANumber, QVariant(qulonglong(twoTo63)));

    // 1 * (1 + 2^-24) rounds to 1.0f on its own; a single rounding of the whole
    // sum would give the next float up.
    row("floatRoundsAfterEachStep", 8, QVariant(1), 1.0 + std::ldexp(1.0, -24), std::ldexp(1.0, -24),
        QVariant(1.0f));
    row("floatReadsDigitString", 8, QVariant(QStringLiteral("2.5")), 2.0, 0.0, QVariant(5.0f));
    row("floatLettersGiveOffset", 8, QVariant(QStringLiteral("abc")), 2.0, 0.25, QVariant(0.25f));

    QTest::newRow("excludedKeepsIncomingUnderNumericType")
        << 4 << QVariant(3) << 2.0 << 1.0 << true << QVariant(QStringLiteral("kept"))
        << QVariant(QStringLiteral("kept"));
    QTest::newRow("excludedKeepsInvalidUnderFloat")
        << 8 << QVariant(3) << 2.0 << 1.0 << true << QVariant() << QVariant();
    QTest::newRow("noTypeCopiesStringWhateverExcluded")
        << 9 << QVariant(QStringLiteral("abc")) << 2.0 << 1.0 << true << QVariant(5) << QVariant(QStringLiteral("abc"));
    QTest::newRow("noTypeCopiesDoubleExactly")
        << 28 << QVariant(7.75) << 2.0 << 1.0 << false << QVariant() << QVariant(7.75);
    QTest::newRow("noTypeCopiesInvalidOverIncoming")
        << 26 << QVariant() << 2.0 << 1.0 << true << QVariant(5) << QVariant();
    QTest::newRow("noTypeCopiesHugeUnsigned")
        << std::numeric_limits<int>::min() << QVariant(qulonglong(~quint64(0))) << 0.5 << 1.0 << false
        << QVariant() << QVariant(qulonglong(~quint64(0)));
}

void TestScaling::scaledIntake()
{
    QFETCH(int, type);
    QFETCH(QVariant, raw);
    QFETCH(double, factor);
    QFETCH(double, offset);
    QFETCH(bool, excluded);
    QFETCH(QVariant, incoming);
    QFETCH(QVariant, expected);

    Signal signal;
    signal.setDatatype(dataType(type));
    QVERIFY(signal.setNewValue(sample(raw, incoming, excluded), factor, offset));

    const QVariant latest = signal.getValue().scaledValue;
    QVERIFY2(identical(latest, expected), describe(latest) + " != " + describe(expected));
    J1939Value stored;
    QVERIFY(signal.getValue(0, stored));
    QVERIFY(identical(stored.scaledValue, expected));
    QVERIFY(identical(signal.getValue().rawValue, raw));
}

void TestScaling::excludedSampleIsStillFed()
{
    Signal signal;
    signal.setDatatype(CAN::Integer32);
    QVERIFY(signal.setNewValue(sample(QVariant(3), QVariant(40), true), 2.0, 1.0));
    QVERIFY(signal.getValue().scaledValue == QVariant(40));
    QVERIFY(signal.calcAverage() == 40.0);
    QVERIFY(signal.getAverage() == 40.0);
}

void TestScaling::appendValuesRescalesWholeHistory()
{
    GenericSignal::setMaxValueCount(2);
    Signal signal;
    signal.setDatatype(CAN::Integer32);
    signal.setValueHandling(GenericSignal::Append);
    signal.setUpdatingEnabled(false);
    QVERIFY(signal.setNewValue(sample(QVariant(1)), 1.0, 0.0));
    QVERIFY(signal.setNewValue(sample(QVariant(2), QVariant(-7), true), 1.0, 0.0));

    signal.appendValues({sample(QVariant(3)), sample(QVariant(4)), sample(QVariant(5))}, 10.0, 1.0);
    // No capacity rule: five samples stay although the capacity is two.
    QCOMPARE(signal.getValueCount(), 5);
    const int afterAppend[] = {11, -7, 31, 41, 51};
    for (int i = 0; i < 5; ++i) {
        J1939Value stored;
        QVERIFY(signal.getValue(i, stored));
        QVERIFY2(stored.scaledValue == QVariant(afterAppend[i]), qPrintable(stored.scaledValue.toString()));
    }
    // Nothing was fed and the latest sample is still the second intake.
    QVERIFY(signal.calcAverage() == -3.0);
    QVERIFY(signal.getValue().rawValue == QVariant(2));

    signal.appendValues({}, 2.0, 0.0);
    QCOMPARE(signal.getValueCount(), 5);
    J1939Value newest;
    QVERIFY(signal.getValue(4, newest));
    QVERIFY(newest.scaledValue == QVariant(10));
    QVERIFY(signal.getValue(1, newest));
    QVERIFY(newest.scaledValue == QVariant(-7));
}

void TestScaling::updateScaledValuesLeavesCalculatorAndCopies()
{
    Signal signal;
    signal.setDatatype(CAN::Real64);
    signal.setValueHandling(GenericSignal::Append);
    signal.setUpdatingEnabled(false);
    QVERIFY(signal.setNewValue(sample(QVariant(1.5)), 2.0, 0.0));
    QVERIFY(signal.setNewValue(sample(QVariant(2.5)), 2.0, 0.0));
    const QVector<J1939Value> before = signal.getValues();

    signal.updateScaledValues(-1.0, 0.25);
    const QVector<J1939Value> after = signal.getValues();
    QCOMPARE(after.size(), 2);
    QVERIFY(identical(after.at(0).scaledValue, QVariant(-1.25)));
    QVERIFY(identical(after.at(1).scaledValue, QVariant(-2.25)));
    QVERIFY(identical(before.at(1).scaledValue, QVariant(5.0)));
    QVERIFY(signal.calcAverage() == 4.0);
    QVERIFY(identical(signal.getValue().scaledValue, QVariant(5.0)));
}

void TestScaling::refusedIntakeChangesNothing()
{
    Signal signal;
    signal.setValueHandling(static_cast<GenericSignal::NewValueHandlingType>(3));
    QVERIFY(!signal.setNewValue(sample(QVariant(9)), 1.0, 0.0));
    QVERIFY(!signal.getValue().rawValue.isValid());
    QVERIFY(!signal.getValue().scaledValue.isValid());
    QVERIFY(signal.getAgeInSeconds() == -1.0);
    QCOMPARE(signal.getValueCount(), 0);
    QVERIFY(signal.calcAverage() == 0.0);
    QVERIFY(signal.getAverage() == 0.0);
}

void TestScaling::replacePolicyFeedsEveryIntake()
{
    GenericSignalImpl<CANopenObjectValue> signal;
    signal.setDatatype(CAN::Real64);
    const double raws[] = {1.0, 2.0, 6.0};
    for (double raw : raws) {
        CANopenObjectValue value;
        value.rawValue = raw;
        QVERIFY(signal.setNewValue(value, 0.5, 1.0));
    }
    QCOMPARE(signal.getValueCount(), 1);
    QVERIFY(identical(signal.getValue().scaledValue, QVariant(4.0)));
    QVERIFY(signal.getAverage() == 2.5);
    QVERIFY(signal.getMin() == 1.5);
    QVERIFY(signal.getMax() == 4.0);
    QVERIFY(signal.getAgeInSeconds() >= 0.0);
}

QTEST_GUILESS_MAIN(TestScaling)
#include "tst_scaling.moc"
