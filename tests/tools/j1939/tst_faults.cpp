// SPDX-License-Identifier: LGPL-2.1-or-later
#include "J1939Script.h"
#include "J1939Traffic.h"
#include "SignalSnapshot.h"

#include <QTest>

Q_DECLARE_METATYPE(QVector<CanFrame>)

namespace
{
// "2 sessions" when any, "0x03 off,off,on,off" per sender, then "96/3 x5 active 0-200 ms" per code (x-
// for a count not available, "older" for the older conversion method), then
// "0x31 asks 65257 x2" per requested group, in order.
QString describe(const J1939Diagnostics &d)
{
    QStringList parts;
    if (d.transport.sessions > 0) {
        parts.append(QStringLiteral("%1 sessions").arg(d.transport.sessions));
    }
    for (const FaultSender &sender : d.senders) {
        QStringList lamps;
        for (const LampState lamp : sender.lamps) {
            lamps.append(lampStateText(lamp));
        }
        parts.append(sourceAddressText(sender.sourceAddress) + QLatin1Char(' ') + lamps.join(QLatin1Char(',')));
    }
    for (const FaultCode &code : d.faults) {
        parts.append(QStringLiteral("%1 %2/%3 x%4 %5 %6-%7 ms%8")
                         .arg(sourceAddressText(code.sourceAddress))
                         .arg(code.spn)
                         .arg(code.fmi)
                         .arg(code.occurrences == 127 ? QStringLiteral("-") : QString::number(code.occurrences))
                         .arg(code.active ? QStringLiteral("active") : QStringLiteral("gone"))
                         .arg(qRound(code.firstSeen * 1000))
                         .arg(qRound(code.lastSeen * 1000))
                         .arg(code.olderConversionMethod ? QStringLiteral(" older") : QString())
                     + (code.spnName.isEmpty() ? QString() : QLatin1Char(' ') + code.spnName));
    }
    for (const RequestCount &request : d.requests) {
        parts.append(QStringLiteral("%1 asks %2 x%3")
                         .arg(sourceAddressText(request.sourceAddress))
                         .arg(request.pgn)
                         .arg(request.count));
    }
    return parts.join(QStringLiteral("; "));
}

// A BAM of active faults from the sender: lamps, then the codes, as hex.
J1939Script &dm1OverBam(J1939Script &s, quint8 sender, const char *hex)
{
    const QByteArray message = QByteArray::fromHex(hex);
    s.control(sender, 0xFF, 32, message.size(), 0, (message.size() + 6) / 7, 65226);
    for (int packet = 0; packet * 7 < message.size(); ++packet) {
        QByteArray data(1, char(packet + 1));
        data += message.mid(packet * 7, 7).leftJustified(7, char(0xFF));
        s.after(10).frame(0x1CEBFF00u | sender, data);
    }
    return s;
}
}

class TestFaults : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void faults_data()
    {
        QTest::addColumn<QVector<CanFrame>>("frames");
        QTest::addColumn<QString>("expected");
        J1939Script one;
        one.dm1(0x03, "04FF60000305FFFF");
        QTest::newRow("oneCodeInASingleFrame") << one.frames << "0x03 off,off,on,off; 0x03 96/3 x5 active 0-0 ms";
        J1939Script several;
        dm1OverBam(several.at(100), 0x00, "40FF54000908BF000908ED141F01");
        QTest::newRow("severalCodesOverBam") << several.frames
                                             << "1 sessions; 0x00 on,off,off,off; 0x00 84/9 x8 active 20-20 ms engine "
                                                "speed; 0x00 191/9 x8 active 20-20 ms; "
                                                "0x00 5357/31 x1 active 20-20 ms";
        J1939Script flash;
        flash.dm1(0x00, "551B000000000000");
        QTest::newRow("lampsFlashCodes") << flash.frames << "0x00 slow flash,fast flash,on,on";
        J1939Script unknownCount;
        unknownCount.dm1(0x00, "00FF6000037FFFFF").after(50).dm1(0x00, "00FF600003FFFFFF");
        QTest::newRow("occurrences127IsNotAvailable")
            << unknownCount.frames << "0x00 off,off,off,off; 0x00 96/3 x- active 0-50 ms older";
        J1939Script cleared;
        cleared.dm1(0x31, "00FF600003050000").after(1000).dm1(0x31, "00FF00000000FFFF");
        QTest::newRow("clearingMessage") << cleared.frames << "0x31 off,off,off,off; 0x31 96/3 x5 gone 0-0 ms";
        J1939Script back;
        back.dm1(0x31, "00FF600003050000")
            .after(1000)
            .dm1(0x31, "00FF00000000FFFF")
            .after(1000)
            .dm1(0x31, "00FF600003060000");
        QTest::newRow("codeGoesAndComesBack") << back.frames << "0x31 off,off,off,off; 0x31 96/3 x6 active 0-2000 ms";
        J1939Script oneOfTwo;
        dm1OverBam(oneOfTwo, 0x00, "40FF6000030554000908").after(1000).dm1(0x00, "40FF54000908FFFF");
        QTest::newRow("oneOfTwoCodesGone")
            << oneOfTwo.frames
            << "1 sessions; 0x00 on,off,off,off; 0x00 84/9 x8 active 20-1020 ms engine speed; 0x00 "
               "96/3 x5 gone 20-20 ms";
        J1939Script requests;
        requests.frame(0x18EAFF31, QByteArray::fromHex("E9FE00"))
            .frame(0x18EA0031, QByteArray::fromHex("E9FE00"))
            .frame(0x18EAFF17, QByteArray::fromHex("CAFE00"))
            .frame(0x18EAFF17, QByteArray::fromHex("CAFE"));
        QTest::newRow("requestsPerSenderAndGroup") << requests.frames << "0x17 asks 65226 x1; 0x31 asks 65257 x2";
        J1939Script other;
        other.frame(0x18FECB00, QByteArray(8, '\0')).frame(0x1DECFF00, QByteArray::fromHex("200A0002FFCAFE00"));
        other.frame(0x18FECA00, QByteArray(8, '\0'));
        other.frames[2].extended = false;
        QTest::newRow("otherTrafficPassedOver") << other.frames << QString();
    }

    void faults()
    {
        QFETCH(QVector<CanFrame>, frames);
        InterfaceNames interfaces;
        interfaces.index(QStringLiteral("can0"));
        FrameTimes times;
        J1939Traffic traffic(interfaces, times, {{84, QStringLiteral("engine speed")}});
        for (const CanFrame &frame : std::as_const(frames)) {
            times.take(frame.timeMicroseconds);
            if (J1939Traffic::concerns(frame)) {
                traffic.take(frame);
            }
        }
        traffic.expire();
        QTEST(describe(traffic.diagnostics()), "expected");
    }
};

QTEST_GUILESS_MAIN(TestFaults)
#include "tst_faults.moc"
