// SPDX-License-Identifier: LGPL-2.1-or-later
// What may differ on 32-bit x86, where the library ships: lock-free 64-bit atomics and
// capacities near the 32-bit limit. The 64-bit and rounding rows of the scaling live
// with the other scaling rows in tst_scaling.
#include <Talveno/Talveno.h>

#include <QTest>

#include <atomic>
#include <limits>

// The cached average and deviation and the flags are read without any lock.
static_assert(std::atomic<double>::is_always_lock_free, "64-bit atomic double must be lock-free");
static_assert(std::atomic<bool>::is_always_lock_free, "atomic bool must be lock-free");

class TestPlatform : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup()
    {
        GenericSignal::setMaxValueCount(1000);
    }

    void setNewValue_capacityNear32BitLimit_data()
    {
        QTest::addColumn<unsigned int>("capacity");
        QTest::addColumn<int>("count");

        // M + M/10 = 4294967296 wraps to 0 in 32 bits, which would trim at once.
        QTest::newRow("capacity3904515724DoesNotWrap") << 3904515724u << 12;
        QTest::newRow("capacity3904515723FitsExactly") << 3904515723u << 12;
        QTest::newRow("capacityUintMaxDoesNotWrap") << std::numeric_limits<unsigned int>::max() << 12;
        QTest::newRow("capacity10TrimsOnTwelfth") << 10u << 10;
    }

    void setNewValue_capacityNear32BitLimit()
    {
        QFETCH(unsigned int, capacity);
        QFETCH(int, count);

        GenericSignal::setMaxValueCount(capacity);
        GenericSignalImpl<J1939Value> signal;
        signal.setValueHandling(GenericSignal::Append);
        J1939Value sample;
        for (int i = 0; i < 12; ++i) {
            sample.rawValue = i;
            QVERIFY(signal.setNewValue(sample));
        }
        QCOMPARE(signal.getValueCount(), count);
        QVERIFY(signal.getValue(count - 1, sample));
        QCOMPARE(sample.rawValue.toInt(), 11);
    }
};

QTEST_GUILESS_MAIN(TestPlatform)
#include "tst_platform.moc"
