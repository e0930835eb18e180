// SPDX-License-Identifier: LGPL-2.1-or-later
#include "J1939Script.h"
#include "TransportSessions.h"

#include <QTest>

Q_DECLARE_METATYPE(QVector<CanFrame>)

namespace
{
QVector<int> countsOf(const TransportCounts &counts)
{
    QVector<int> result;
    for (const TransportCount &c : transportCounts) {
        result.append(static_cast<int>(counts.*c.count));
    }
    return result;
}
}

class TestTransport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sessions_data()
    {
        QTest::addColumn<QVector<CanFrame>>("frames");
        // sessions, completed, missing packet, timeout, aborted, interrupted
        QTest::addColumn<QVector<int>>("counts");
        // The size of the last group completed; 0 for none.
        QTest::addColumn<int>("bytes");
        const auto row = [](const char *name, const J1939Script &s, QVector<int> counts, int bytes) {
            QTest::newRow(name) << s.frames << counts << bytes;
        };
        row("bam9", J1939Script().bam(9).packets(1, 2), {1, 1, 0, 0, 0, 0}, 9);
        row("bam14FillsTwoPackets", J1939Script().bam(14).packets(1, 2), {1, 1, 0, 0, 0, 0}, 14);
        row("bam15NeedsAThird", J1939Script().bam(15).packets(1, 2), {1, 0, 0, 0, 0, 0}, 0);
        row("bam15", J1939Script().bam(15).packets(1, 3), {1, 1, 0, 0, 0, 0}, 15);
        row("bam1784", J1939Script().bam(1784).packets(1, 255), {1, 1, 0, 0, 0, 0}, 1784);
        row("bam1785", J1939Script().bam(1785).packets(1, 255), {1, 1, 0, 0, 0, 0}, 1785);
        row("bam1786IsNoSession", J1939Script().bam(1786).packets(1, 255), {0, 0, 0, 0, 0, 0}, 0);
        row("ctsWindowsOf1",
            J1939Script().rts(20).window(1, 1).window(2, 1).window(3, 1).acknowledge(),
            {1, 1, 0, 0, 0, 0},
            20);
        row("ctsWindowsOf16", J1939Script().rts(224).window(1, 16).window(17, 16), {1, 1, 0, 0, 0, 0}, 224);
        row("ctsAsksForAPacketAgain",
            J1939Script().rts(35).cts(5, 1).sent(1, 2).sent(4, 5).window(3, 1),
            {1, 1, 0, 0, 0, 0},
            35);
        row("holdThenWindow", J1939Script().rts(20).cts(0, 0).after(1000).window(1, 3), {1, 1, 0, 0, 0, 0}, 20);
        row("holdTooLong", J1939Script().rts(20).cts(0, 0).after(1100).window(1, 3), {1, 0, 0, 1, 0, 0}, 0);
        row("bamMissingPacket", J1939Script().bam(20).packets(1, 1).packets(3, 3), {1, 0, 1, 0, 0, 0}, 0);
        row("bamRepeatedPacket", J1939Script().bam(20).packets(1, 2).packets(2, 3), {1, 0, 1, 0, 0, 0}, 0);
        row("acknowledgedWithPacketMissing",
            J1939Script().rts(20).cts(3, 1).sent(1, 1).sent(3, 3).acknowledge(),
            {1, 0, 1, 0, 0, 0},
            0);
        row("newAnnouncementMidSession",
            J1939Script().bam(20).packets(1, 1).bam(9).packets(1, 2),
            {2, 1, 0, 0, 0, 1},
            9);
        row("abortByResponder", J1939Script().rts(20).cts(3, 1).sent(1, 1).abort().sent(2, 3), {1, 0, 0, 0, 1, 0}, 0);
        row("timeoutBetweenPacketsInLogTime",
            J1939Script().bam(20).packets(1, 1).after(800).packets(2, 3),
            {1, 0, 0, 1, 0, 0},
            0);
        row("noCtsByTheEnd", J1939Script().rts(20).after(1300).bam(9, 0x29).packets(1, 2, 0x29), {2, 1, 0, 1, 0, 0}, 9);
        row("twoSendersInterleaved",
            J1939Script().bam(20, 0x29).bam(20, 0x00).packets(1, 1, 0x29).packets(1, 3, 0x00).packets(2, 3, 0x29),
            {2, 2, 0, 0, 0, 0},
            20);
    }

    void sessions()
    {
        QFETCH(QVector<CanFrame>, frames);
        QFETCH(int, bytes);
        TransportSessions transport;
        int lastBytes = 0;
        for (const CanFrame &frame : std::as_const(frames)) {
            if (const J1939Group *group = transport.take(frame)) {
                lastBytes = static_cast<int>(group->payload.size());
                QCOMPARE(group->pgn, 65251u);
                QCOMPARE(group->timeMicroseconds, frame.timeMicroseconds);
                for (int i = 0; i < lastBytes; ++i) {
                    QCOMPARE(group->payload[static_cast<std::size_t>(i)], messageByte(i));
                }
            }
        }
        transport.expire(frames.last().timeMicroseconds);
        QTEST(countsOf(transport.counts()), "counts");
        QCOMPARE(lastBytes, bytes);
        const TransportCounts &c = transport.counts();
        QCOMPARE(static_cast<quint64>(transport.openSessions()),
                 c.sessions - c.completed - c.missingPacket - c.timeout - c.aborted - c.interrupted);
    }
};

QTEST_GUILESS_MAIN(TestTransport)
#include "tst_transport.moc"
