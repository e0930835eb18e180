// SPDX-License-Identifier: LGPL-2.1-or-later
#include "TestSupport.h"

#include <QtTest>

#include <cmath>
#include <limits>
#include <utility>

using TestSupport::bytesOf;
using TestSupport::sample;

namespace
{
using Signal = GenericSignalImpl<J1939Value>;

QVariantList scaled(const Signal &signal)
{
    QVariantList result;
    for (const J1939Value &value : signal.getValues()) {
        result << value.scaledValue;
    }
    return result;
}

// clang-format off
QVariant ll(qint64 value) { return QVariant(qlonglong(value)); }
QVariant ull(quint64 value) { return QVariant(qulonglong(value)); }
QVariant text(const char *value) { return QVariant(QString::fromLatin1(value)); }
// clang-format on

constexpr double notANumber = std::numeric_limits<double>::quiet_NaN();
constexpr int intMin = std::numeric_limits<int>::min();
constexpr qint64 int64Min = std::numeric_limits<qint64>::min();
constexpr quint64 twoTo63 = quint64(1) << 63;
}

class TestScaling : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void scaledIntake_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QVariant>("raw");
        QTest::addColumn<double>("factor");
        QTest::addColumn<double>("offset");
        QTest::addColumn<bool>("excluded");
        QTest::addColumn<QVariant>("incoming");
        QTest::addColumn<QVariant>("expected");

        const auto row = [](const char *name,
                            int type,
                            const QVariant &raw,
                            double factor,
                            double offset,
                            const QVariant &expected,
                            bool excluded = false,
                            const QVariant &incoming = QVariant()) {
            QTest::newRow(name) << type << raw << factor << offset << excluded << incoming << expected;
        };
        // clang-format off
        // Raw 3, factor 0.5, offset 0.5: whole-number types give 1 (1.5 cut to 1,
        // plus 0.5 cut to 1), the floating types 2, types without a numeric type a copy.
        const QVariant three(3);
        for (const int type : {1, 9, 10, 11, 12, 13, 14, 15, 19, 20, 23, 26, 28, -1}) {
            QTest::addRow("dataType%dCopies", type) << type << three << 0.5 << 0.5 << false << QVariant() << three;
        }
        const std::pair<int, QVariant> numericTypes[] = {
            {0, QVariant(2.0)}, {2, QVariant(1)}, {3, QVariant(1)}, {4, QVariant(1)}, {5, QVariant(1)},
            {6, QVariant(1)}, {7, QVariant(1u)}, {8, QVariant(2.0f)}, {16, QVariant(1)}, {17, QVariant(2.0)},
            {18, QVariant(1)}, {21, ll(1)}, {22, QVariant(1u)}, {24, ull(1)}, {25, ull(1)}, {27, ull(1)}};
        for (const auto &[type, expected] : numericTypes) {
            QTest::addRow("dataType%dIsNumeric", type) << type << three << 0.5 << 0.5 << false << QVariant() << expected;
        }
        row("qint32NegativeCutsTowardZero", 4, QVariant(-3), 0.5, 0.5, QVariant(0));
        row("qint32LettersGiveCutOffset", 4, text("abc"), 2.0, 7.9, QVariant(7));
        row("qint32ClampsHugeProduct", 4, QVariant(1073741824), 4.0, 0.0, QVariant(intMin));
        row("qint32ClampsOffsetOverflow", 4, QVariant(2147483647), 1.0, 1.0, QVariant(intMin));
        row("qint32NanProductClampsBeforeOffset", 4, QVariant(1), notANumber, 10.0, QVariant(-2147483638));
        row("qint32NanOffsetClamps", 4, QVariant(1), 1.0, notANumber, QVariant(intMin));
        row("doubleHasNoTruncation", 0, QVariant(501), 0.5, -40.25, QVariant(210.25));
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
        row("qint64ClampsHugeProduct", 21, ll(qint64(1) << 62), 4.0, 0.0, ll(int64Min));
        row("qint64ClampsHugeNegativeProduct", 21, ll(-(qint64(1) << 62)), 4.0, 0.0, ll(int64Min));
        row("qint64NanClamps", 21, QVariant(1), 1.0, notANumber, ll(int64Min));
        row("qint64TwoTo62Times1.5Exact", 21, ll(qint64(1) << 62), 1.5, 0.0, ll(qint64(3) << 61));
        row("qint64LosesBitsBeyond2To53", 21, ll((qint64(1) << 53) + 1), 1.0, 0.0, ll(qint64(1) << 53));
        row("quint64KeepsUpperHalfExact", 24, ull(twoTo63), 1.5, 0.0, ull(13835058055282163712ULL));
        row("quint64Above2To63RoundsDown", 24, ull(twoTo63 + 1), 1.0, 0.0, ull(twoTo63));
        row("quint64WrapsMinus1", 25, QVariant(0), 1.0, -1.0, ull(~quint64(0)));
        row("quint64MinusOneProductRoundsTo2To64", 27, QVariant(1), -1.0, 0.0, ull(0));
        row("quint64At2To64GivesZeroBeforeOffset", 24, ull(twoTo63), 2.0, 5.0, ull(5));
        row("quint64BelowMinus2To63Gives2To63", 24, ull(twoTo63), -2.0, 0.0, ull(twoTo63));
        row("quint64NanGives2To63", 24, QVariant(1), 1.0, notANumber, ull(twoTo63));
        // 1 * (1 + 2^-24) rounds to 1.0f on its own; one rounding of the whole sum would give the next float up.
        row("floatRoundsAfterEachStep", 8, QVariant(1), 1.0 + std::ldexp(1.0, -24), std::ldexp(1.0, -24), QVariant(1.0f));
        // Without x87 extended precision the product's 2^-60 is gone before the offset.
        row("doubleRoundsProductBeforeOffset", 0, QVariant(1.0 + std::ldexp(1.0, -30)), 1.0 + std::ldexp(1.0, -30), -1.0, QVariant(std::ldexp(1.0, -29)));

        // The excluded flag and an incoming scaled value.
        row("excludedKeepsIncomingUnderNumericType", 4, three, 2.0, 1.0, text("kept"), true, text("kept"));
        row("excludedKeepsInvalidUnderFloat", 8, three, 2.0, 1.0, QVariant(), true, QVariant());
        row("noTypeCopiesStringWhateverExcluded", 9, text("abc"), 2.0, 1.0, text("abc"), true, QVariant(5));
        row("noTypeCopiesInvalidOverIncoming", 26, QVariant(), 2.0, 1.0, QVariant(), true, QVariant(5));
        // A scaled value replaces whatever the sample brought, of any type.
        row("doubleOverIncomingInt", 0, three, 0.5, 0.5, QVariant(2.0), false, QVariant(7));
        row("qint32OverIncomingString", 4, three, 0.5, 0.5, QVariant(1), false, text("old"));
        row("floatOverIncomingDouble", 8, three, 0.5, 0.5, QVariant(2.0f), false, QVariant(9.5));
        // clang-format on
    }

    void scaledIntake()
    {
        QFETCH(int, type);
        QFETCH(QVariant, raw);
        QFETCH(double, factor);
        QFETCH(double, offset);
        QFETCH(bool, excluded);
        QFETCH(QVariant, incoming);
        QFETCH(QVariant, expected);

        Signal signal;
        signal.setDatatype(static_cast<CAN::CANopenDataType>(type));
        QVERIFY(signal.setNewValue(sample(raw, incoming, excluded), factor, offset));
        QCOMPARE(bytesOf(signal.getValue().scaledValue), bytesOf(expected));
        QCOMPARE(bytesOf(scaled(signal).value(0)), bytesOf(expected));
        QCOMPARE(bytesOf(signal.getValue().rawValue), bytesOf(raw));
    }

    // Both re-scale the whole history, past the capacity, except excluded samples; they feed
    // the calculator nothing and leave the copy of the latest intake as it was.
    void appendValuesAndUpdateScaledValues()
    {
        const TestSupport::Capacity held(2);
        Signal signal;
        signal.setDatatype(CAN::Integer32);
        signal.setValueHandling(GenericSignal::Append);
        signal.setUpdatingEnabled(false);
        QVERIFY(signal.setNewValue(sample(QVariant(1)), 1.0, 0.0));
        QVERIFY(signal.setNewValue(sample(QVariant(2)), 1.0, 0.0));

        signal.appendValues({sample(QVariant(3)), sample(QVariant(4), QVariant(-7), true), sample(QVariant(5))},
                            10.0,
                            1.0);
        QCOMPARE(bytesOf(scaled(signal)), bytesOf(QVariantList({11, 21, 31, -7, 51})));
        signal.appendValues({}, 2.0, 0.0);
        QCOMPARE(bytesOf(scaled(signal)), bytesOf(QVariantList({2, 4, 6, -7, 10})));
        signal.updateScaledValues(-1.0, 0.0);
        QCOMPARE(bytesOf(scaled(signal)), bytesOf(QVariantList({-1, -2, -3, -7, -5})));
        QVERIFY(signal.calcAverage() == 1.5);
        QCOMPARE(bytesOf(signal.getValue().scaledValue), bytesOf(QVariant(2)));
    }

    // Under policy 1 the calculator accumulates every intake while the history keeps
    // only the newest; the cached statistics follow without the worker.
    void replacingIntakeFeedsEverySample()
    {
        Signal signal;
        signal.setDatatype(CAN::Real64);
        for (const double raw : {1.0, 2.0, 6.0}) {
            QVERIFY(signal.setNewValue(sample(raw), 0.5, 1.0));
        }
        QCOMPARE(signal.getValueCount(), 1);
        QCOMPARE(bytesOf(signal.getValue().scaledValue), bytesOf(QVariant(4.0)));
        QVERIFY(signal.getAverage() == 2.5);
        QVERIFY(signal.getMin() == 1.5);
        QVERIFY(signal.getMax() == 4.0);
    }
};

QTEST_GUILESS_MAIN(TestScaling)
#include "tst_scaling.moc"
