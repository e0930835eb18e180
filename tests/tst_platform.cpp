// SPDX-License-Identifier: LGPL-2.1-or-later
// What may differ on 32-bit x86, where the library ships: lock-free 64-bit atomics,
// capacities near the 32-bit limit, 64-bit integer scaling done without 64-bit
// registers, and floating-point rounding without the x87 unit's extended precision.
#include <Talveno/Talveno.h>

#include <QTest>

#include <atomic>
#include <cstring>
#include <limits>

// The cached average and deviation and the flags are read without any lock.
static_assert(std::atomic<double>::is_always_lock_free, "64-bit atomic double must be lock-free");
static_assert(std::atomic<bool>::is_always_lock_free, "atomic bool must be lock-free");

namespace
{
const double nan = std::numeric_limits<double>::quiet_NaN();
const qint64 twoTo62 = qint64(1) << 62;
const quint64 twoTo63 = quint64(1) << 63;

// The exact bits of a scaled value of any type the scaling stores, widened to 64 bits.
quint64 bitsOf(const QVariant &value)
{
    switch (value.userType()) {
    case QMetaType::Double: {
        const double d = value.toDouble();
        quint64 bits;
        std::memcpy(&bits, &d, sizeof bits);
        return bits;
    }
    case QMetaType::Float: {
        const float f = value.value<float>();
        quint32 bits;
        std::memcpy(&bits, &f, sizeof bits);
        return bits;
    }
    case QMetaType::LongLong:
        return static_cast<quint64>(value.toLongLong());
    case QMetaType::ULongLong:
        return value.toULongLong();
    case QMetaType::UInt:
        return value.toUInt();
    default:
        return static_cast<quint64>(value.toLongLong());
    }
}

class CapacityGuard
{
public:
    CapacityGuard(unsigned int capacity)
        : previous(GenericSignal::getMaxValueCount())
    {
        GenericSignal::setMaxValueCount(capacity);
    }
    ~CapacityGuard()
    {
        GenericSignal::setMaxValueCount(previous);
    }

private:
    unsigned int previous;
};
}

class TestPlatform : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void setNewValue_capacityNear32BitLimit_data()
    {
        QTest::addColumn<unsigned int>("capacity");
        QTest::addColumn<int>("intakes");
        QTest::addColumn<int>("count");

        // M + M/10 = 4294967296 wraps to 0 in 32 bits, which would trim at once.
        QTest::newRow("capacity3904515724DoesNotWrap") << 3904515724u << 12 << 12;
        QTest::newRow("capacity3904515723FitsExactly") << 3904515723u << 12 << 12;
        QTest::newRow("capacityUintMaxDoesNotWrap") << std::numeric_limits<unsigned int>::max() << 12 << 12;
        QTest::newRow("capacity10TrimsOnTwelfth") << 10u << 12 << 10;
    }

    void setNewValue_capacityNear32BitLimit()
    {
        QFETCH(unsigned int, capacity);
        QFETCH(int, intakes);
        QFETCH(int, count);

        const CapacityGuard guard(capacity);
        GenericSignalImpl<J1939Value> signal;
        signal.setValueHandling(GenericSignal::Append);
        for (int i = 0; i < intakes; ++i) {
            J1939Value sample;
            sample.rawValue = i;
            QVERIFY(signal.setNewValue(sample));
        }
        QCOMPARE(signal.getValueCount(), count);
        J1939Value newest;
        QVERIFY(signal.getValue(count - 1, newest));
        QCOMPARE(newest.rawValue.toInt(), intakes - 1);
    }

    void setNewValue_scaledWide_data()
    {
        QTest::addColumn<int>("datatype");
        QTest::addColumn<QVariant>("raw");
        QTest::addColumn<double>("factor");
        QTest::addColumn<double>("offset");
        QTest::addColumn<QVariant>("scaled");

        const int qint64Type = CAN::Integer64;
        const int quint64Type = CAN::Unsigned64;
        const int quint32Type = CAN::Unsigned32;

        QTest::newRow("qint64TwoTo62Times2Clamps") << qint64Type << QVariant(qlonglong(twoTo62)) << 2.0 << 0.0
                                                   << QVariant(std::numeric_limits<qlonglong>::min());
        QTest::newRow("qint64TwoTo62Times1.5Exact")
            << qint64Type << QVariant(qlonglong(twoTo62)) << 1.5 << 0.0 << QVariant(qlonglong(twoTo62 + twoTo62 / 2));
        QTest::newRow("qint64TwoTo53Plus1RoundsToEven") << qint64Type << QVariant(qlonglong(9007199254740993)) << 1.0
                                                        << 0.0 << QVariant(qlonglong(9007199254740992));
        QTest::newRow("qint64NaNOffsetGivesMin")
            << qint64Type << QVariant(qlonglong(5)) << 1.0 << nan << QVariant(std::numeric_limits<qlonglong>::min());

        QTest::newRow("quint64TwoTo63Plus2To11Exact") << quint64Type << QVariant(qulonglong(twoTo63 + 2048)) << 1.0
                                                      << 0.0 << QVariant(qulonglong(twoTo63 + 2048));
        QTest::newRow("quint64TwoTo63Plus1RoundsDown")
            << quint64Type << QVariant(qulonglong(twoTo63 + 1)) << 1.0 << 0.0 << QVariant(qulonglong(twoTo63));
        QTest::newRow("quint64OffsetMinus1WrapsToMax") << quint64Type << QVariant(qulonglong(0)) << 1.0 << -1.0
                                                       << QVariant(std::numeric_limits<qulonglong>::max());
        // The product -1 wraps to 2^64 - 1, which as a double is 2^64 and gives 0.
        QTest::newRow("quint64ProductMinus1RoundsTo2To64")
            << quint64Type << QVariant(qulonglong(1)) << -1.0 << 0.0 << QVariant(qulonglong(0));
        QTest::newRow("quint64TwoTo64GivesZero")
            << quint64Type << QVariant(qulonglong(twoTo63)) << 2.0 << 0.0 << QVariant(qulonglong(0));
        QTest::newRow("quint64BelowMinusTwoTo63GivesTwoTo63")
            << quint64Type << QVariant(qulonglong(0)) << 1.0 << -1e19 << QVariant(qulonglong(twoTo63));
        QTest::newRow("quint64NaNOffsetGivesTwoTo63")
            << quint64Type << QVariant(qulonglong(0)) << 1.0 << nan << QVariant(qulonglong(twoTo63));

        QTest::newRow("quint32OffsetMinus1Wraps")
            << quint32Type << QVariant(0u) << 1.0 << -1.0 << QVariant(4294967295u);
        QTest::newRow("quint32TwoTo32Plus5KeepsLow32Bits")
            << quint32Type << QVariant(0u) << 1.0 << 4294967301.0 << QVariant(5u);
        QTest::newRow("quint32Beyond64BitGivesZero") << quint32Type << QVariant(0u) << 1.0 << 1e19 << QVariant(0u);
        QTest::newRow("quint32NaNOffsetGivesZero") << quint32Type << QVariant(0u) << 1.0 << nan << QVariant(0u);

        // Extended precision would keep the product's 2^-60 (double) or 2^-30 (float).
        const double onePlus2ToMinus30 = 1.0 + 1.0 / 1073741824.0;
        QTest::newRow("doubleProductRoundedBeforeOffset") << int(CAN::Real64) << QVariant(onePlus2ToMinus30)
                                                          << onePlus2ToMinus30 << -1.0 << QVariant(2.0 / 1073741824.0);
        QTest::newRow("floatProductRoundedBeforeOffset")
            << int(CAN::Real32) << QVariant(1) << onePlus2ToMinus30 << -1.0 << QVariant(0.0f);
    }

    void setNewValue_scaledWide()
    {
        QFETCH(int, datatype);
        QFETCH(QVariant, raw);
        QFETCH(double, factor);
        QFETCH(double, offset);
        QFETCH(QVariant, scaled);

        GenericSignalImpl<J1939Value> signal;
        signal.setDatatype(static_cast<CAN::CANopenDataType>(datatype));
        J1939Value sample;
        sample.rawValue = raw;
        QVERIFY(signal.setNewValue(sample, factor, offset));

        const QVariant result = signal.getValue().scaledValue;
        QCOMPARE(result.userType(), scaled.userType());
        QCOMPARE(bitsOf(result), bitsOf(scaled));
    }
};

QTEST_GUILESS_MAIN(TestPlatform)
#include "tst_platform.moc"
